#include "analysis/TableSelection.h"
#include "analysis/CleaningChain.h"
#include "analysis/PacketHandlers.h"

#include "analysis/CleaningPass.h"
#include "analysis/MainTexts.h"
#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPmtReader.h"

#include <functional>

namespace tw {

namespace {

// Decode times run ahead of the clock by a decoder's buffer delay, a second
// or two; further ahead than this (90 kHz, the bound the PCR check takes for
// a sound lead) they are damage, not a buffer.
constexpr int64_t kFarStampLead = 10 * 90000;

// a - b on the 33-bit clock of the stamps, the shorter way round.
int64_t SignedStampDistance(int64_t a90, int64_t b90)
{
    const int64_t d = WrapClock(a90 - b90, kPtsModulus);
    return d >= kPtsModulus / 2 ? d - kPtsModulus : d;
}

} // namespace

// Defined ahead of its binding, so that the per-packet call can be inlined.
void TPacketHandlers::RemuxPacketReaderNewPacket(TObject* sender)
{
    // Bound to the packet readers only: the sender is the reader.
    NewPacket(*static_cast<TTSPacketReader*>(sender));
}

void TPacketHandlers::Bind()
{
    using namespace std::placeholders;
    TAnalysisEngine& en = pass_.Engine();
    BindReader(en.Chain().Reader());
    // The packet filter's copy goes through the same handlers: what it
    // copies is checked, logged, counted and repaired like a cleaned packet.
    BindReader(en.FilterReader());
    pass_.TSPacketWriter1->OnContinuityCounterCorrected =
        std::bind(&TPacketHandlers::TSPacketWriter1ContinuityCounterCorrected, this, _1, _2, _3, _4, _5);
}

void TPacketHandlers::BindReader(TTSPacketReader& reader)
{
    using namespace std::placeholders;
    TTSPacketReader* r = &reader;
    r->OnScrambledPacketEvent =
        std::bind(&TPacketHandlers::RemuxPacketReaderScrambledPacketEvent, this, _1, _2, _3, _4, _5);
    r->OnInvalidPacketEvent = std::bind(&TPacketHandlers::RemuxPacketReaderInvalidPacketEvent, this, _1, _2, _3);
    r->OnPacketResynchEvent = std::bind(&TPacketHandlers::TSPacketReader1PacketResynchEvent, this, _1, _2, _3);
    r->OnDisconinuity = std::bind(&TPacketHandlers::RemuxPacketReaderDisconinuity, this, _1, _2, _3, _4, _5);
    r->OnNewPacket = [this](TObject* sender) { RemuxPacketReaderNewPacket(sender); };
}

void TPacketHandlers::RemuxPacketReaderScrambledPacketEvent(TObject*, int64_t packetNo, int pid,
                                                            int& transport_scrambling_control, bool& Ignore)
{
    ScrambledPacket(packetNo, pid, transport_scrambling_control, Ignore);
}

void TPacketHandlers::RemuxPacketReaderInvalidPacketEvent(TObject* sender, int64_t packetNo, const std::string& errors)
{
    // Bound to the packet readers only: the sender is the reader.
    InvalidPacket(*static_cast<TTSPacketReader*>(sender), packetNo, errors);
}

void TPacketHandlers::TSPacketReader1PacketResynchEvent(TObject*, int64_t packetNo, int64_t offset)
{
    Resync(packetNo, offset);
}

void TPacketHandlers::RemuxPacketReaderDisconinuity(TObject*, int64_t packetNo, int pid, int currentDiscontID,
                                                    int lastDiscontID)
{
    Discontinuity(packetNo, pid, currentDiscontID, lastDiscontID);
}

void TPacketHandlers::TSPacketWriter1ContinuityCounterCorrected(TObject*, int pid, int64_t packetNo,
                                                                int correctedContCount, int oldContCount)
{
    ContinuityCounterCorrected(pid, packetNo, correctedContCount, oldContCount);
}

void TPacketHandlers::TSPacketWriter1AfterBufferWritten(TObject*, int, int) {}

void TPacketHandlers::BeginFilterRun(const std::string& input)
{
    ResetPass();
    // The filter copies the whole recording: all of it is inside the range.
    pass_.State.CutInReached = true;
    // It keeps every program, so it checks every program's clock, each by
    // the stamps of its own program's streams (and the clock's own PID's,
    // for a table that does not list it).
    followEveryClock_ = true;
    programs_ = TProgramClocks::ReadPrograms(pass_.Engine().FilterReader(), input);
    if (programs_.empty()) {
        // No tables: a recording with one clock is one program, and the
        // stamps of all its streams witness that clock (a clock on a PID of
        // its own has none). With several clocks nothing tells which
        // streams run on which: each clock is then followed as it is met,
        // judged by its own PID's stamps alone.
        TProgramMap only = TProgramClocks::ReadOnlyClock(pass_.Engine().FilterReader(), input);
        if (only.PcrPid >= 0)
            programs_.push_back(only);
    }
    for (TProgramMap& m : programs_) {
        m.Streams.set(static_cast<size_t>(m.PcrPid));
        clocks_.Follow(m.PcrPid, m.Streams);
    }
}

int TPacketHandlers::ClocksLeftOut(const TPidSet& dropped)
{
    int n = 0;
    for (const TProgramMap& m : programs_) {
        const size_t carrier = static_cast<size_t>(m.PcrPid);
        // The carrier is one of the program's streams as BeginFilterRun
        // reads them; a program whose every stream goes loses nothing.
        if (!dropped[carrier] || (m.Streams & ~dropped).none())
            continue;
        pass_.Engine().Log("TS  WARNING: PID $" + IntToHex(m.PcrPid, 4) + " carries the clock (PCR) of program " +
                           IntToStr(m.Number) + ", whose other streams are kept: the copy has no clock for them");
        CountPcrError(m.PcrPid);
        ++n;
    }
    return n;
}

int64_t TPacketHandlers::ErrorsCounted() const { return pass_.TotalErrors(); }

void TPacketHandlers::FollowKeptProgram()
{
    clocks_.Clear();
    followEveryClock_ = false;
    keepsInvalid_ = false;
    programs_.clear();
    TPidSet witnesses;
    for (int pid = 0; pid < 8192; ++pid)
        if (OnProgramClock(pid))
            witnesses.set(static_cast<size_t>(pid));
    keptWitnesses_ = witnesses;
    // The clock may ride on other PIDs in parts of the recording (a new
    // table version moved it): each is the same program's clock.
    clocks_.Follow(ReadPcrPid(), witnesses);
    for (int pid : pass_.ClockPids())
        clocks_.Follow(pid, witnesses);
}

void TPacketHandlers::FollowClock(int pcrPid)
{
    if (!followEveryClock_)
        clocks_.Follow(pcrPid, keptWitnesses_);
}

void TPacketHandlers::EndRun() { clocks_.CloseLooks(); }

TProgramClock* TPacketHandlers::ClockOf(int pcrPid)
{
    if (TProgramClock* c = clocks_.Find(pcrPid))
        return c;
    if (!followEveryClock_)
        return nullptr;
    // A PID carrying PCRs that no table names as a clock: judged by the
    // program that lists it as a stream, else by its own stamps.
    TPidSet witnesses;
    witnesses.set(static_cast<size_t>(pcrPid));
    for (const TProgramMap& m : programs_)
        if (m.Streams[static_cast<size_t>(pcrPid)])
            witnesses |= m.Streams;
    return clocks_.Follow(pcrPid, witnesses);
}

void TPacketHandlers::ResetPass()
{
    TCleaningPass::TRunState& s = pass_.State;
    clocks_.Clear();
    followEveryClock_ = false;
    programs_.clear();
    s.AskPcrCorrection = true;
    s.CorrectPcr = false;
    s.ScrambledCount = 0;
    s.DiscontinuityCount = 0;
    s.ElapsedPts = 0;
    s.CutInReached = false;
    s.CutOutPassed = false;
    pass_.Engine().LastResyncOffset = 0;
}

void TPacketHandlers::ScrambledPacket(int64_t packetNo, int pid, int& scramblingControl, bool& ignore)
{
    TAnalysisEngine& en = pass_.Engine();
    if (en.Tables().IsSelectedPid(pid)) {
        ++pass_.State.ScrambledCount;
        en.AskScrambledMode();
    }
    if (en.ScrambledMode == TScrambledMode::IgnoreControl) {
        ignore = true;
        scramblingControl = 0;
    }
}

void TPacketHandlers::InvalidPacket(TTSPacketReader& reader, int64_t packetNo, const std::string& errors)
{
    TAnalysisEngine& en = pass_.Engine();
    // Without a sync byte nothing of the header was read: the PID the header
    // view still holds is the packet before's, which this one must not be
    // charged to. Each broken packet is one error, counted here only (the
    // pass's discard counts a packet only when no report came before it).
    const TTSPacketHeader* h = reader.TSPacketHeader();
    const bool readable = h->Synch();
    const int pid = h->PID();
    TAnalysisTables& t = en.Tables();
    if (readable && t.IsSelectedPid(pid) && t.PidRecordIndex(pid) >= 0)
        t.CountError(pid);
    else
        ++pass_.State.GlobalErrors;
    pass_.State.BrokenCountedAt = packetNo;
    if (en.ScrambledMode == TScrambledMode::SkipScrambled && errors == "transport_scrambling_control")
        return;
    en.Log("TS  ERROR: Invalid paket $" + IntToHex(packetNo, 8) +
           (readable ? " for PID $" + IntToHex(pid, 4) : std::string()) +
           (keepsInvalid_ ? ", copied! Error: " : ", skipped! Error: ") + errors);
}

void TPacketHandlers::Resync(int64_t packetNo, int64_t offset)
{
    TAnalysisEngine& en = pass_.Engine();
    if (en.LogSuppressed())
        return;
    const int64_t last = en.LastResyncOffset;
    if (offset >= last) {
        // The packet found is delivered under the number whose read lost
        // the sync: that is the one named.
        en.Log("Resync found for paket $" + IntToHex(packetNo, 8) + " with Offset: " + IntToStr(offset));
    } else {
        en.Log("TS  ERROR: Paket $" + IntToHex(packetNo - 1, 8) + " with " + IntToStr(last - offset) +
               " missing bytes");
        en.Log("Resync found for paket $" + IntToHex(packetNo, 8) + " with Offset: " + IntToStr(offset));
    }
    en.LastResyncOffset = offset;
}

void TPacketHandlers::Discontinuity(int64_t packetNo, int pid, int currentCC, int lastCC)
{
    // Null packets carry no continuity: their counter means nothing.
    if (!pass_.State.InRange() || pid == kPatPid || pid == kNullPid)
        return;
    pass_.Log("TS  WARNING: For PID " + IntToHex(pid, 4) + " $" + IntToHex(packetNo, 8) + ": Paket discontinuity " +
              IntToStr(lastCC) + "," + IntToStr(currentCC));
    ++pass_.State.DiscontinuityCount;
}

void TPacketHandlers::NoteTimeStamps(const TTSPacketReader& reader, const TTSPacketHeader& header)
{
    int64_t escr, dts, pts;
    if (!PacketTimestamps(reader.RawPacket(), header, escr, dts, pts))
        return;
    const int pid = header.PID();
    for (int i = 0; i < clocks_.Count(); ++i) {
        TProgramClock& c = clocks_.At(i);
        if (!c.Witnesses[static_cast<size_t>(pid)])
            continue;
        const int64_t stamp = dts >= 0 ? dts : pts;
        c.Clock.NoteTimeStamp(stamp);
        if (stamp >= 0 && (c.StampSincePcr < 0 || SignedStampDistance(stamp, c.StampSincePcr) < 0)) {
            c.StampSincePcr = stamp;
            c.StampSincePcrPid = pid;
        }
    }
}

void TPacketHandlers::NewPacket(TTSPacketReader& reader)
{
    const TTSPacketHeader* h = reader.TSPacketHeader();
    const TAdaptationFieldControl afc = h->AdaptationFieldControl();
    if (h->PayloadStart() ||
        ((afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
         h->AdaptationField()->PCRFlag()))
        PacketWithTimes(reader);
}

void TPacketHandlers::PacketWithTimes(TTSPacketReader& reader)
{
    TAnalysisEngine& en = pass_.Engine();
    TTSPacketReader* r = &reader;
    TTSPacketHeader* h = r->TSPacketHeader();
    // A program's decode times are the clock its PCRs are judged by.
    if (h->PayloadStart() && h->Valid() && clocks_.IsWitness(h->PID()))
        NoteTimeStamps(*r, *h);
    const TAdaptationFieldControl afc = h->AdaptationFieldControl();
    if ((afc != afc_adaptation_field_only && afc != afc_adaptation_field_followed_by_payload) ||
        !h->AdaptationField()->PCRFlag())
        return;
    // Each clock by itself: another program's PCR PID runs on a clock of
    // its own, and comparing the two would "correct" good PCRs.
    const int pid = h->PID();
    TProgramClock* clock = ClockOf(pid);
    if (!clock)
        return;
    TCleaningPass::TRunState& s = pass_.State;
    const int64_t n = r->PacketIndex();
    TTSPacketAdaptationField* af = h->AdaptationField();
    int64_t p = af->PCR()->PCR();
    // The program's stamps after this PCR, read ahead in the recording
    // (what the look needs is passed as one pointer, which the function
    // object holds without allocating).
    struct TLook {
        TProgramClock* Clock;
        const TTSPacketReader* Reader;
        int64_t PacketNo;
    } look{clock, r, n};
    const TPcrClock::TStampAhead ahead = [&look] {
        return TProgramClocks::StampAhead(*look.Clock, *look.Reader, look.PacketNo);
    };
    const TPcrClock::TVerdict v = clock->Clock.Judge(n, p, af->DiscontinuityIndicator(), ahead);
    if (v.Wrapped)
        en.Log("PCR wrap between paket $" + IntToHex(v.ReferencePacket, 8) + " and paket $" + IntToHex(n, 8) +
               " on PID $" + IntToHex(pid, 4) + " detected!");
    if (v.OutOfRange && v.Reference < 0) {
        // The first PCR far from its stamps: nothing before it draws a line
        // to put it on, so there is nothing to ask; it stays, and counts.
        en.Log("TS  ERROR: PCR for PID " + IntToHex(pid, 4) + " at paket $" + IntToHex(n, 8) +
               " does not agree with the time stamps after it: PCR:" + PcrToTimeText(p) +
               " time stamp:" + PtsToTimeText(v.StampAhead));
        CountPcrError(pid);
    } else if (v.OutOfRange) {
        if (s.AskPcrCorrection) {
            const bool de = en.German();
            s.CorrectPcr = pass_.CleaningHost().AskPcrCorrection(MessageTextIn(mmPcrOutOfRange, de) + "\r" +
                                                                 MessageTextIn(mmPcrCorrect, de));
            s.AskPcrCorrection = false;
        }
        en.Log("TS  ERROR: PCR timing for PID " + IntToHex(pid, 4) + " last PCR:" + PcrToTimeText(v.Reference) +
               " current PCR:" + PcrToTimeText(p) + " at paket $" + IntToHex(n, 8) +
               " TimeBase:" + IntToStr(af->PCR()->PCRBase()) + " PCRExtension:" + IntToStr(af->PCR()->PCRExtension()));
        // Without a measured rate there is nothing sound to put in its place:
        // the value stays and counts as an error, so the pass cannot end as
        // a plain success.
        if (s.CorrectPcr && v.Correction >= 0 && r->SetPacketPCR(v.Correction)) {
            p = af->PCR()->PCR();
            en.Log("Try to correct PCR value to " + PcrToTimeText(p));
            en.CountWarning(pid);
            // The copy is judged by what the correction was to achieve: a
            // clock in step with the program's time stamps. Put back where
            // the stamps are not (they jumped as well, by another amount),
            // it is still broken, and the pass must not end as a success.
            if (v.StampAhead >= 0 && !TPcrClock::InStep(p, v.StampAhead)) {
                en.Log("TS  ERROR: PCR for PID " + IntToHex(pid, 4) + " at paket $" + IntToHex(n, 8) +
                       " does not agree with the time stamps after it: PCR:" + PcrToTimeText(p) +
                       " time stamp:" + PtsToTimeText(v.StampAhead));
                CountPcrError(pid);
            }
        } else {
            CountPcrError(pid);
        }
    }
    if (!v.OutOfRange)
        CheckStampLead(*clock, p, n);
    clock->StampSincePcr = -1;
    clock->LastPcr = p;
    // The pass's time is the kept program's clock; the filter has no time.
    if (followEveryClock_)
        return;
    const int64_t pts = PcrToPts(p);
    if (s.CutInReached)
        s.ElapsedPts = WrapClock(pts - s.PcrStartValue, kPtsModulus);
    s.CurrentPts = pts;
}

void TPacketHandlers::CheckStampLead(TProgramClock& clock, int64_t pcr27, int64_t packetNo)
{
    // A clock in step with itself whose program's stamps lie far ahead of it:
    // the stamps jumped on their own, and a decoder holds a still picture
    // until the clock gets there. Nothing is rewritten (which of the two is
    // right cannot be told here), but the copy is not sound. The earliest
    // stamp since the last PCR is taken, so that one stream's odd stamp does
    // not speak for the program. They must lie far ahead of the PCRs on
    // both sides of them: a splice of clock and stamps together falls
    // between two PCRs, and stamps from before it are far ahead of a clock
    // that went back (as stamps after a gap are of the PCR before it).
    if (clock.StampSincePcr < 0 || clock.LastPcr < 0)
        return;
    const int64_t lead = SignedStampDistance(clock.StampSincePcr, pcr27 / kClockRatio);
    const int64_t leadBefore = SignedStampDistance(clock.StampSincePcr, clock.LastPcr / kClockRatio);
    if (lead <= kFarStampLead || leadBefore <= kFarStampLead) {
        clock.StampsAhead = false;
        return;
    }
    if (clock.StampsAhead)
        return;
    clock.StampsAhead = true;
    const int pid = clock.StampSincePcrPid;
    pass_.Engine().Log("TS  ERROR: Time stamps of PID $" + IntToHex(pid, 4) + " jump " +
                       PtsToTimeText(lead) + " ahead of the clock on PID $" + IntToHex(clock.PcrPid, 4) +
                       " at paket $" + IntToHex(packetNo, 8) + ": PCR:" + PcrToTimeText(pcr27) +
                       " time stamp:" + PtsToTimeText(clock.StampSincePcr));
    CountPcrError(pid);
}

int TPacketHandlers::ReadPcrPid() const
{
    // The rebuilt PMT names the clock's PID as the copy carries it: where the
    // user gave that PID another number, the packets still come in under the
    // old one, and the check must follow them (or no PCR would be checked, and
    // the cut range measured by the clock would never be reached). The new
    // number may be one another stream had in the recording (the user may
    // swap two): only the stream the copy carries under it is the clock.
    const TAnalysisTables& t = pass_.Engine().Tables();
    const int named = pass_.Engine().Selection().Pmt().PcrPid();
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        if (f.HasPcr && pass_.CopyPid(f.Pid) == named)
            return f.Pid;
    }
    return named;
}

bool TPacketHandlers::OnProgramClock(int pid) const
{
    // The kept program's own streams, as its table lists them (under the
    // number the copy gives them). A stream of another program that the user
    // preserved is copied too, but its stamps run on its own program's
    // clock: judged by them, a sound clock would be "corrected" and a jumped
    // one left alone.
    return pass_.Engine().Tables().IsSelectedPid(pid) &&
           pass_.Engine().Selection().Pmt().IndexOfPid(pass_.CopyPid(pid)) >= 0;
}

void TPacketHandlers::CountPcrError(int pid)
{
    // A clock on a PID of its own has no record to count on; its fault must
    // still keep the pass from a plain success.
    TAnalysisTables& t = pass_.Engine().Tables();
    if (t.PidRecordIndex(pid) >= 0)
        t.CountError(pid);
    else
        ++pass_.State.GlobalErrors;
}

void TPacketHandlers::ContinuityCounterCorrected(int pid, int64_t packetNo, int corrected, int old)
{
    pass_.Log("Starting correction of TS packet ContinuityCounter for PID " + IntToHex(pid, 4) + " $" +
              IntToHex(packetNo, 8) + ": " + IntToStr(old) + " to " + IntToStr(corrected));
}

} // namespace tw
