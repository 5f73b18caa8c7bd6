#include "analysis/TableSelection.h"
#include "analysis/CleaningChain.h"
#include "analysis/CleaningPass.h"

#include "analysis/AppLog.h"
#include "analysis/MainTexts.h"
#include "analysis/PacketHandlers.h"
#include "analysis/PesHandlers.h"
#include "analysis/TimeStampCorrection.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSAC3Reader.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <system_error>

namespace tw {

namespace {

// The ring of the clean writer must still hold the first packet of a PES
// packet when that PES completes: the duplicate fix deletes packets of the
// completed PES from the queue and the full-range fix patches the SPS at its
// start. A PES packet spans at most 6,001 transport packets of its PID (the
// PES reader's record table); the writer flushes the oldest third of its ring
// when full, so a ring of 30,000 always holds the newest 20,000 queued
// packets, enough for such a PES even when the other kept streams take two
// thirds of the multiplex.
constexpr int kCleanWriterRing = 30000;
// The rebuilt PAT and PMT go out again after this many written packets.
constexpr int64_t kTableRepeat = 10000;
// How often (in read packets) the window gets its messages and the writer's
// health is looked at; not a multiple of kTableRepeat, so the two never
// fall on the same packet.
constexpr int64_t kMessageEvery = 10003;
// The window's messages are fetched at most this often, however fast the
// packets go by. Under Wine every look into the message queue is a round
// trip to the server that costs the pass up to a millisecond on a busy
// machine: once per 10,003 packets that was a tenth of a pass from the page
// cache, once per broken packet it was most of a damaged recording's pass.
// Fifty times a second keeps the cancel button as quick as ever.
constexpr uint64_t kMessagesEveryMs = 20;
// With PCR, the end limit lies this many 90 kHz ticks (about one frame)
// before the cut-out point: the PCR runs ahead of the frames it carries, and
// the last frame written should end at the cut-out, not after it.
constexpr int64_t kPcrCutOutLead = 3500;

const char* const kCleaningCaptionEn = "Cleaning transport stream";
const char* const kCleaningCaptionDe = "S\xC3\xA4" "ubere Transportstream";

std::string Hex8(int64_t v) { return IntToHex(v, 8); }
std::string Hex4(int64_t v) { return IntToHex(v, 4); }

bool CarriesPcr(const TTSPacketHeader& hd)
{
    const TAdaptationFieldControl afc = hd.AdaptationFieldControl();
    return (afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
           hd.AdaptationField()->PCRFlag();
}

// A packet with its adaptation field (and the PCR in it) and no payload: the
// field is stuffed to the end of the packet, no unit starts, nothing is
// scrambled, and the flags that speak of the payload (random access, stream
// priority) are cleared. Its continuity counter is the writer's to set.
void KeepAdaptationFieldOnly(TTSPacketBuffer& packet)
{
    uint8_t* d = packet.Data;
    const int afc = (d[3] >> 4) & 3;
    int length = (afc & 2) ? d[4] : 0;
    if (length > 183)
        length = 183;
    d[1] = static_cast<uint8_t>(d[1] & ~0x40);
    d[3] = static_cast<uint8_t>(0x20 | (d[3] & 0x0F));
    d[4] = 183;
    if (length > 0)
        d[5] = static_cast<uint8_t>(d[5] & ~0x60);
    std::fill(d + 5 + length, d + TS_PACKET_SIZE, uint8_t{0xFF});
}

} // namespace

TCleaningPass::TCleaningPass(TComponent* owner, TAnalysisEngine* engine, ICleaningHost* host)
    : TComponent(owner), engine_(engine), host_(host)
{
    TSPacketWriter1 = new TTSPacketWriter(this);
    TSPacketWriter1->SetName("TSPacketWriter1");
    TSPacketWriter1->SetAutoContinuityCounter(true);
    packetHandlers_ = std::make_unique<TPacketHandlers>(*this);
    pesHandlers_ = std::make_unique<TPesHandlers>(*this);
    packetHandlers_->Bind();
    pesHandlers_->Bind();
}

TCleaningPass::~TCleaningPass() = default;

std::string TCleaningPass::DefaultOutputName(const std::string& inputFileName)
{
    return ChangeFileExt(inputFileName, "_fixed.ts");
}

std::string TCleaningPass::CheckOutputName(const std::string& input, const std::string& output) const
{
    const bool de = engine_->German();
    if (output.empty())
        return de ? "Kein Dateiname f\xC3\xBCr den neuen Stream!" : "No file name for the new stream!";
    if (SameFilePath(input, output))
        return de ? "Die neue Datei darf nicht die ge\xC3\xB6" "ffnete Aufnahme sein!\rBitte anderen Namen w\xC3\xA4hlen."
                  : "The new file must not be the opened recording!\rPlease choose another name.";
    return LogNameRefusal(input, output, ChangeFileExt(output, ".log"), de);
}

int TCleaningPass::VideoPid() const { return engine_->Chain().VideoPes().PID(); }

int64_t TCleaningPass::StreamFirstPts() const { return engine_->Tables().FirstPts; }

std::string TCleaningPass::RelTime(int64_t pts) const { return PtsToTimeText(pts - StreamFirstPts()); }

std::string TCleaningPass::MsgText(int id) const { return MessageTextIn(id, engine_->German()); }

int64_t TCleaningPass::TotalErrors() const { return State.GlobalErrors + engine_->Tables().TotalErrors(); }

int64_t TCleaningPass::TotalWarnings() const
{
    // A stream left out that the user preserved is no longer left out.
    return engine_->Tables().TotalWarnings() - State.PreservedLeftOut + State.DiscontinuityCount +
           State.LateStreamsLeftOut + State.StreamTypeChanges + State.ClockMoves;
}

void TCleaningPass::ResetRunState()
{
    State = TRunState();
    packetHandlers_->ResetPass();
    pesHandlers_->ResetPass();
    lastTimeTextPts_ = -1;
    timeTextTick_ = 0;
    for (TStreamIdPatched& p : streamIdPatched_)
        p = TStreamIdPatched();
    messagesPumped_ = false;
    splitStamps_.Clear();
    splitDone_ = TSplitDone();
    expectedWritten_ = 0;
    terminateRequested_ = false;
    indexedPidRecords_ = -1; // a new analysis may have as many records for other PIDs
    clockPid_ = clockOnlyPid_ = lastClockPid_ = -1;
    pcrsWritten_ = 0;
    clocks_.reset();
    clockOnly_.reset();
    clockPids_.clear();
    passPmt_.reset();
    passPmtPid_ = passProgram_ = -1;
    passPmtVersions_ = 0;
    passPmtCrcSeen_ = false;
    typeWarned_.reset();
    namedClocks_.reset();
    namedClockCount_ = 0;
}

// ---------------------------------------------------------------------------
// START

TCleaningResult TCleaningPass::Run(const std::string& outputFileName)
{
    if (running_ || engine_->Busy())
        return TCleaningResult::NotRun;
    IQuestions& h = engine_->Questions();
    const std::string refusal = CheckOutputName(engine_->FileName(), outputFileName);
    if (!refusal.empty()) {
        h.ShowMessage(TMessageKind::Error, refusal);
        return TCleaningResult::NotRun;
    }
    outputFileName_ = outputFileName;
    logFileName_ = ChangeFileExt(outputFileName, ".log");
    TSPacketWriter1->SetFileName(outputFileName);
    engine_->Chain().Reader().SetFileName(engine_->TSPacketReader1->FileName());

    running_ = true;
    try {
        CleanStream();
    } catch (const std::exception& e) {
        running_ = false;
        State.Failed = true;
        const std::string first = DescribeExceptionWithAddress(e);
        const std::string second = "TS paket: $" + Hex8(engine_->Chain().Reader().PacketIndex());
        // The windows are put away and the log saved before the one message,
        // so that nothing of the pass stays on screen behind or after it.
        Deactivate();
        DisposeFailedOutput();
        Log("");
        Log(engine_->Settings().ProgramNameVersion());
        Log(first);
        Log(second);
        SaveLogFile();
        h.PlaySound("ERROR");
        h.ShowMessage(TMessageKind::Error, first + "\r\n" + second + (outputNote_.empty() ? "" : "\r\n" + outputNote_) +
                                               (logSaveError_.empty() ? "" : "\r\n" + logSaveError_));
        terminateRequested_ = true;
        return TCleaningResult::Failed;
    }
    running_ = false;
    // However the pass ended, its progress window goes now.
    engine_->Progress().HideProgress();

    if (State.Failed) {
        // The user learns why the output could not be made, not only that;
        // a log that could not be saved either belongs to the same message,
        // and so does what became of the output.
        // A recording that could not be read is the cause even when the
        // output failed as well.
        const std::string& reason = !State.ReadError.empty()    ? State.ReadError
                                    : !State.WriteError.empty() ? State.WriteError
                                                                : State.OutputError;
        h.PlaySound("STREAMCLEANINGFAILED");
        h.ShowMessage(TMessageKind::Error, MsgText(mmAbortedWithErrors) + (reason.empty() ? "" : "\r" + reason) +
                                               (outputNote_.empty() ? "" : "\r" + outputNote_) +
                                               (logSaveError_.empty() ? "" : "\r" + logSaveError_));
        return TCleaningResult::Failed;
    }
    if (State.Aborted) {
        h.PlaySound("STREAMCLEANINGFAILED");
        h.ShowMessage(TMessageKind::Warning, MsgText(mmAborted));
        return TCleaningResult::Aborted;
    }
    // A copy without a stream whose packets the analysis identified as
    // sound, picture or text is no plain success, even when nothing was
    // broken (a data stream the program does not carry is only a warning);
    // nor is one whose table declares one type for a stream that changed it.
    if (TotalErrors() <= 0 && !engine_->Tables().IdentifiedStreamMissing() && State.LateStreamsLeftOut == 0 &&
        engine_->Tables().StreamTypeChanges == 0 && engine_->Tables().ClockMoves == 0 &&
        State.StreamTypeChanges == 0 && State.ClockMoves == 0) {
        h.PlaySound("STREAMCLEANINGSUCCESSFULLYCOMPLETED");
        h.ShowMessage(TMessageKind::Information, MsgText(mmSuccess));
        return TCleaningResult::Success;
    }
    h.PlaySound("PROBLEMSFOUND");
    h.ShowMessage(TMessageKind::Warning, MsgText(mmSuccess) + "\r" + MsgText(mmButErrors));
    return TCleaningResult::SuccessWithErrors;
}

// ---------------------------------------------------------------------------
// Preparation

bool TCleaningPass::PmtHasUnkeptEntries() const
{
    const TTSPmtReader* pmt = &engine_->Selection().Pmt();
    for (int i = 0; i < pmt->PMTEntryCount(); ++i)
        if (!engine_->Tables().IsSelectedPid(pmt->Entry(i).PID))
            return true;
    return false;
}

void TCleaningPass::NotePreservedStreams()
{
    // The analysis named these streams as left out; ticked in the preserve
    // list they are carried after all, and the log must not leave the user
    // believing otherwise. A stream no kept table lists goes in without an
    // entry, so a player has to be pointed at it.
    TAnalysisTables& t = engine_->Tables();
    State.PreservedLeftOut = 0;
    for (int pid = 0; pid < 8192; ++pid) {
        if (!t.IdentifiedLeftOut(pid) || !t.IsSelectedPid(pid))
            continue;
        ++State.PreservedLeftOut;
        const TTSPmtReader& pmt = engine_->Selection().Pmt();
        Log("Stream PID $" + Hex4(pid) + " is preserved: it is carried into the cleaned stream" +
            (pmt.IndexOfPid(pid) >= 0 ? std::string(".") : std::string(" without an entry in the program's table.")));
    }
}

bool TCleaningPass::PrepareTables()
{
    TAnalysisTables& t = engine_->Tables();
    TTSPmtReader* pmt = &engine_->Selection().Pmt();
    TTSPatReader* pat = &engine_->Selection().Pat();
    // The program's tables are read on as the pass meets them, by the
    // number the recording gives the program (the user may give it another).
    passPmtPid_ = pmt->PID();
    passProgram_ = engine_->Selection().KeptProgramNumber();
    if (passPmtPid_ > 0 && passPmtPid_ < 0x1FFF && passProgram_ >= 0) {
        passPmt_ = std::make_unique<TTSPmtReader>(nullptr);
        passPmt_->SetPID(passPmtPid_);
        passPmt_->SetActive(true);
        passPmt_->OnPmtReceived = [this](TObject*) { NotePassPmt(); };
    } else {
        passPmtPid_ = -1;
    }
    bool pmtChanged = tw::PreserveStreams(*engine_, PreserveList);
    NotePreservedStreams();
    // A language code the user changed goes out in the PMT; the log shows it.
    if (t.LanguageDescriptorChanged)
        pmtChanged = true;

    if (Options.NewServiceId >= 0) {
        Log("Patching ProgramNumber(SID) from $" + Hex4(pmt->ProgramNumber()) + " to $" +
            Hex4(Options.NewServiceId));
        pmt->SetProgramNumber(Options.NewServiceId);
        pmt->BuildPmtPackets();
        if (pat->PATEntryCount() > 0) {
            TPatEntry e = pat->Entry(0);
            e.ProgramNumber = Options.NewServiceId;
            pat->SetEntry(0, e);
        }
        pat->BuildPatPacket();
        pmtChanged = true;
    }

    // Every PMT entry whose PID is not kept goes: dropped audio streams, but
    // also text and data streams the user dropped or never kept.
    bool rebuild = false;
    if (t.KeptAudioStreamCount() < t.AudioEntryCount || PmtHasUnkeptEntries()) {
        engine_->Selection().DeletePmtEntry();
        rebuild = true;
    }
    // The entry of the clock's stream may be gone with it; the clock is not,
    // and the table keeps naming its PID.
    clockPid_ = pcrMode_ && t.PidHasPcr(pmt->PcrPid()) ? pmt->PcrPid() : -1;
    clockOnlyPid_ = ClockOnlyPid();
    AddClock(clockPid_);
    // The PIDs the clock rides on under the program's other table versions.
    if (pcrMode_)
        for (int pid : engine_->Selection().KeptClocks())
            AddClock(pid);
    lastClockPid_ = pmt->PcrPid();
    // The packets are always built from the entries as they stand now, so
    // whatever the analysis changed in the table reaches the output.
    {
        if (!pmt->BuildPmtPackets()) {
            Deactivate();
            State.Failed = true;
            Log("");
            Log("Problem creating modified PMT");
            // The builder refuses only a section that does not fit.
            Log("New PMT would be too large!");
            return false;
        }
        if (rebuild)
            pmtChanged = true;
    }
    if (pat->OutputPacket().Length != TS_PACKET_SIZE)
        pat->BuildPatPacket();

    remaps_ = Options.PidRemapCount > 0;
    if (remaps_) {
        engine_->Selection().PatchPmtEntry();
        pmt->BuildPmtPackets();
        pmtChanged = true;
    }
    if (pmtChanged) {
        Log("");
        Log("Recreated PMT:");
        engine_->LogPmtDump(pmt, 0);
        Log("");
    }
    return true;
}

int TCleaningPass::ClockOnlyPid() const
{
    if (clockPid_ < 0)
        return -1;
    return IsTablePid(clockPid_) || !engine_->Tables().IsSelectedPid(clockPid_) ? clockPid_ : -1;
}

bool TCleaningPass::IsTablePid(int pid) const
{
    // A table's own packets go out rebuilt; copied beside the rebuilt ones
    // they would be a second table under the same version.
    return pid == 0 || pid == engine_->Selection().Pmt().PID() || engine_->Tables().HasPmtPid(pid);
}

void TCleaningPass::AddClock(int pid)
{
    if (pid < 0 || pid >= 0x1FFF || clocks_[static_cast<size_t>(pid)])
        return;
    clocks_.set(static_cast<size_t>(pid));
    clockPids_.push_back(pid);
    if (!IsTablePid(pid) && engine_->Tables().IsSelectedPid(pid))
        return;
    clockOnly_.set(static_cast<size_t>(pid));
    Log("PCR of PID $" + Hex4(pid) +
        " is carried into the cleaned stream without the rest of its packets (adaptation fields only)");
}

void TCleaningPass::ReadPassPmt()
{
    const TTSPacketReader& r = engine_->Chain().Reader();
    passPmt_->ProcessPacket(r.RawPacket(), r.PacketIndex());
}

void TCleaningPass::NotePassPmt()
{
    const TTSPmtReader& r = *passPmt_;
    if (!r.CurrentNextIndicator() || r.ProgramNumber() != passProgram_)
        return;
    if (passPmtCrcSeen_ && r.CRC32() == passPmtCrc_)
        return;
    passPmtCrcSeen_ = true;
    passPmtCrc_ = r.CRC32();
    // A table that changes all the time is read no longer than it tells
    // something new.
    if (++passPmtVersions_ > kMaxPassPmtVersions) {
        passPmtPid_ = -1;
        return;
    }
    const TAnalysisTables& t = engine_->Tables();
    const int32_t program = TAnalysisTables::ProgramKey(passPmtPid_, passProgram_);
    for (int i = 0; i < r.PMTEntryCount(); ++i) {
        const TPmtEntry& e = r.Entry(i);
        if (e.PID < 0 || e.PID >= 8192 || !t.IsSelectedPid(e.PID))
            continue;
        const size_t p = static_cast<size_t>(e.PID);
        // The analysis warned of a change it saw already.
        if (typeWarned_[p] || t.ListedTypeChanged[p] || t.ListedTypeProgram[p] != program ||
            t.ListedType[p] == TAnalysisTables::TYPE_UNLISTED)
            continue;
        if (TAnalysisTables::TypeKey(e.StreamType, e.AC3, e.EAC3, e.AAC, e.DTS, e.Teletext, e.Subtitle) ==
            t.ListedType[p])
            continue;
        typeWarned_.set(p);
        Log("TS  WARNING: The PMT changes the type of stream PID $" + Hex4(e.PID) + " during the recording (to stream type " +
            IntToStr(e.StreamType) + " = " + e.Description + "): the cleaned stream declares one type for all of it!");
        ++State.StreamTypeChanges;
    }
    const int pcrPid = r.PcrPid();
    if (!pcrMode_ || pcrPid < 0 || pcrPid >= 0x1FFF)
        return;
    const size_t p = static_cast<size_t>(pcrPid);
    // A PID the analysed tables named already was judged by the analysis
    // (one that carries no PCR is no clock).
    bool listed = false;
    for (const TAnalysisTables::TListedClock& c : t.ListedClocks)
        listed = listed || (c.Program == program && c.Pid == pcrPid);
    if (!clocks_[p] && !listed && !namedClocks_[p]) {
        namedClocks_.set(p);
        ++namedClockCount_;
        movedFrom_[p] = static_cast<int16_t>(lastClockPid_);
    }
    lastClockPid_ = pcrPid;
}

void TCleaningPass::ClockMovedTo(int pid)
{
    const size_t p = static_cast<size_t>(pid);
    namedClocks_.reset(p);
    --namedClockCount_;
    AddClock(pid);
    packetHandlers_->FollowClock(pid);
    Log("TS  WARNING: The clock (PCR) of the program moves from PID $" + Hex4(movedFrom_[p]) + " to PID $" + Hex4(pid) +
        " during the recording: the cleaned stream's PMT names PID $" + Hex4(engine_->Selection().Pmt().PcrPid()) +
        " for all of it!");
    ++State.ClockMoves;
}

void TCleaningPass::CheckClockCopied()
{
    if (clockPid_ < 0 || !State.Started || pcrsWritten_ > 0 || State.Failed || State.Aborted)
        return;
    Log("");
    Log("TS  ERROR: The cleaned stream carries no PCR of PID $" + Hex4(clockPid_) + ", the clock of the recording!");
    ++State.GlobalErrors;
}

int TCleaningPass::InsertTablePackets()
{
    TTSPatReader* pat = &engine_->Selection().Pat();
    TTSPmtReader* pmt = &engine_->Selection().Pmt();
    TTSPacketBuffer buf = pat->OutputPacket();
    TTSPacketWriter::SetPacketCC(buf, State.PatCC);
    State.PatCC = (State.PatCC + 1) & 15;
    TSPacketWriter1->QueuePacket(buf, -1);
    int n = 1;
    for (int i = 0; i < pmt->OutputPacketCount(); ++i) {
        buf = pmt->OutputPacket(i);
        TTSPacketWriter::SetPacketCC(buf, State.PmtCC);
        State.PmtCC = (State.PmtCC + 1) & 15;
        TSPacketWriter1->QueuePacket(buf, -1);
        ++n;
    }
    expectedWritten_ += n;
    return n;
}

int TCleaningPass::CopyPid(int pid) const
{
    if (!remaps_)
        return pid;
    const TAnalysisTables& t = engine_->Tables();
    const int i = t.FoundStreamIndex(pid);
    return i >= 0 && t.FoundStreams[i].ReplacementPid >= 0 ? t.FoundStreams[i].ReplacementPid : pid;
}

void TCleaningPass::RemapPacketPid(TTSPacketBuffer& packet)
{
    const int pid = ((packet.Data[1] & 0x1F) << 8) | packet.Data[2];
    const int to = CopyPid(pid);
    if (to != pid)
        TTSPacketWriter::SetPacketPID(packet, to);
}

bool TCleaningPass::PatchPacketPcr(int64_t offset27)
{
    TTSPacketReader* r = &engine_->Chain().Reader();
    const int64_t pcr = r->TSPacketHeader()->AdaptationField()->PCR()->PCR();
    return r->SetPacketPCR(ShiftPcr(pcr, offset27));
}

bool TCleaningPass::PatchPesTimers(int64_t offset90)
{
    TTSPacketReader* r = &engine_->Chain().Reader();
    const TTSPacketHeader* hd = r->TSPacketHeader();
    const TTSPacketBuffer& raw = r->RawPacket();
    const int s = hd->Payload()->PayloadStartByte();
    const int n = raw.Length < TS_PACKET_SIZE ? raw.Length : TS_PACKET_SIZE;
    if (s < 0 || s >= n)
        return true;
    int64_t escr = -1, dts = -1, pts = -1;
    int needed = 0;
    const TPesStamps got = PesHeaderStamps(raw.Data + s, n - s, escr, dts, pts, needed);
    if (got == TPesStamps::Incomplete) {
        // The rest of the header comes with the next packet of the PID.
        splitStamps_.Begin(hd->PID(), r->PacketIndex(), hd->ContinuityCounter(), s, raw.Data + s, n - s, needed);
        return true;
    }
    if (got != TPesStamps::Found || pts < 0)
        return true;
    bool ok = true;
    if (pts >= 0 && !r->SetPacketPTS(ShiftPts(pts, offset90)))
        ok = false;
    if (dts >= 0 && !r->SetPacketDTS(ShiftPts(dts, offset90)))
        ok = false;
    if (escr >= 0 && !r->SetPacketESCR(ShiftEscr(escr, offset90)))
        ok = false;
    return ok;
}

bool TCleaningPass::ContinueSplitStamps(int64_t no)
{
    TTSPacketReader* r = &engine_->Chain().Reader();
    const TTSPacketHeader* hd = r->TSPacketHeader();
    const TTSPacketBuffer& raw = r->RawPacket();
    const int pid = hd->PID();
    const int s = hd->Payload()->PayloadStartByte();
    const int n = raw.Length < TS_PACKET_SIZE ? raw.Length : TS_PACKET_SIZE;
    const int length = s >= 0 && s < n ? std::min(hd->Payload()->PayloadLength(), n - s) : 0;
    const bool repeat = r->RepeatedPacket();
    const int64_t startNo = splitStamps_.StartPacket(pid);
    const TSplitPesStamps::TStep step = splitStamps_.Continue(pid, no, hd->ContinuityCounter(), hd->PayloadStart(),
                                                              repeat, s, length > 0 ? raw.Data + s : raw.Data, length);
    if (step == TSplitPesStamps::TStep::Waiting)
        return repeat;
    if (step == TSplitPesStamps::TStep::Broken) {
        splitStamps_.Drop(pid);
        PatchTimersFailed(startNo, pid);
        return false;
    }
    std::vector<TSplitPesStamps::TByteWrite> writes;
    bool ok = splitStamps_.Shift(pid, State.TimerOffset, writes);
    splitDone_ = TSplitDone();
    splitDone_.Pid = pid;
    for (const TSplitPesStamps::TByteWrite& w : writes) {
        if (w.PacketNo == no) {
            ok = r->SetPacketByte(w.Value, w.Index) && ok;
            splitDone_.Writes.push_back(w);
        } else {
            ok = PatchQueuedByte(w.PacketNo, w.Index, w.Value) && ok;
        }
    }
    if (!ok)
        PatchTimersFailed(startNo, pid);
    return false;
}

bool TCleaningPass::PatchQueuedByte(int64_t packetNo, int index, uint8_t value)
{
    // Only a packet still in the queue can be changed; one handed to the
    // disk already keeps its old bytes, and the patch failed.
    const int slot = TSPacketWriter1->FindQueuedPacket(packetNo);
    if (slot < 0)
        return false;
    const uint8_t old = TSPacketWriter1->QueuedPacketByte(slot, index);
    for (int bit = 0; bit < 8; ++bit) {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> bit);
        const bool on = (value & mask) != 0;
        if (((old & mask) != 0) != on && !TSPacketWriter1->SetQueuedPacketBit(slot, index * 8 + bit, on))
            return false;
    }
    return true;
}

void TCleaningPass::PatchTimersFailed(int64_t startNo, int pid)
{
    Log("TS  ERROR: Patching PTS/DTS/ESCR for paket $" + Hex8(startNo) + " failed!");
    TAnalysisTables& t = engine_->Tables();
    if (t.IsSelectedPid(pid) && t.PidRecordIndex(pid) >= 0)
        t.CountError(pid);
    else
        ++State.GlobalErrors;
}

void TCleaningPass::FailPendingSplitStamps()
{
    // Headers whose rest never came into the copy (the end of the
    // recording or the cut-out came first) keep their old stamps.
    for (const int pid : splitStamps_.PendingPids())
        PatchTimersFailed(splitStamps_.StartPacket(pid), pid);
    splitStamps_.Clear();
}

void TCleaningPass::PatchAudioStreamId(int slot)
{
    TAnalysisTables& t = engine_->Tables();
    TTSPesReader* pes = &engine_->Chain().AudioPes(slot);
    const int idx = t.FindPatchEntry(pes->PID(), PATCH_KIND_STREAM_ID);
    if (idx < 0)
        return;
    TPatchEntry& e = t.Patches[idx];
    TTSPacketReader* r = &engine_->Chain().Reader();
    const int64_t startNo = pes->PayloadStartIndex();
    streamIdPatched_[slot] = TStreamIdPatched();
    if (startNo == r->PacketIndex()) {
        const int pos = r->TSPacketHeader()->Payload()->PayloadStartByte() + 3;
        const int value = (pos < r->RawPacket().Length) ? r->RawPacket().Data[pos] : -1;
        if (value != e.OldValue)
            Log("Warning (unexpected value " + IntToStr(value) + "<>" + IntToStr(e.OldValue) +
                ") while patching of StreamID at $" + Hex8(startNo));
        if (r->SetPacketByte(static_cast<uint8_t>(e.NewValue), pos)) {
            ++e.PatchedCount;
            streamIdPatched_[slot] = {startNo, pos, static_cast<uint8_t>(e.NewValue)};
            return;
        }
    }
    ++e.FailedCount;
    Log("Patching of StreamID failed for packet: $" + Hex8(startNo));
}

void TCleaningPass::PatchRepeatedStreamId(int pid)
{
    // The original is the packet before on this PID and started the PES its
    // audio reader holds; only when that start was patched is the repeat.
    for (int slot = 0; slot < AUDIO_SLOTS; ++slot) {
        const TTSPesReader& pes = engine_->Chain().AudioPes(slot);
        const TStreamIdPatched& p = streamIdPatched_[slot];
        if (!pes.Active() || pes.PID() != pid || p.Pos < 0 || p.StartNo != pes.PayloadStartIndex())
            continue;
        engine_->Chain().Reader().SetPacketByte(p.Value, p.Pos);
        return;
    }
}

void TCleaningPass::ComputeTimerOffset()
{
    const TAnalysisTables& t = engine_->Tables();
    if (!pcrMode_ || !TimerCorrectionApplies(t.TimerPatchMode, true, passWraps_))
        return;
    State.TimerOffset = TimerOffsetFor(CleaningStartTime(t.FirstPts, t.FirstDts, t.FirstPcr90k));
    Log("Patching timer PCR/PTS/DTS/ESCR with offset " + PtsToTimeText(State.TimerOffset));
    Log("");
}

// ---------------------------------------------------------------------------
// The pass

bool TCleaningPass::RefuseChangedRecording()
{
    // A recording that is gone is left to the opening, which reports it
    // with the platform's reason.
    if (!FileExists(engine_->FileName()) || !engine_->RecordingChanged())
        return false;
    // The packet count, the cut points, the kept streams and the time stamps
    // all come from the analysis: a copy of another state of the file would
    // stop short or run past them under a plain success. Nothing is created,
    // not even the log beside the copy.
    ResetRunState();
    outputCreated_ = false;
    outputNote_.clear();
    logSaveError_.clear();
    FailAsChanged();
    Log("");
    Log("---------- ABORTED ----------");
    return true;
}

void TCleaningPass::FailAsChanged()
{
    State.Failed = true;
    State.ReadError = RecordingChangedText(engine_->German()) + "\r" + engine_->FileName();
    Log("");
    Log("TS  ERROR: " + TAnalysisEngine::RecordingChangedLogText(engine_->FileName()));
}

void TCleaningPass::CleanStream()
{
    TTSPacketReader* r = &engine_->Chain().Reader();
    if (RefuseChangedRecording())
        return;
    if (!BeginPass()) {
        EndOfPass();
        return;
    }
    LogCutPoints();
    // The video's PES header, looked at for every packet, is fetched once
    // rather than through the engine and its chain each time.
    const TTSPesHeader* videoHeader = engine_->Chain().VideoPes().PESHeader();
    while (!r->Eof() && !State.Ended && !State.Failed) {
        const int64_t no = r->PacketIndex();
        if (videoHeader->PTS_Fixed() != lastTimeTextPts_)
            UpdateTimePanel();
        if (AbortRequested(no))
            break;
        HandlePacket(no);
        if (no % kMessageEvery == 0)
            KeepWindowAlive();
        EndAtFillPackets(no);
        if (State.Ended || State.Failed || State.Aborted)
            break;
        if (State.Started)
            State.BytesPassed += r->PacketSize();
        r->Next();
    }
    if (splitStamps_.AnyPending())
        FailPendingSplitStamps();
    // A read that failed ended the loop as the end of the file would: the
    // copy misses the rest of the recording, so the pass fails.
    if (!r->ReadErrorText().empty()) {
        State.ReadError = r->ReadErrorText();
        State.Failed = true;
    }
    // A recording rewritten or grown while it was copied gives a copy of
    // neither state of it: the pass fails as for a change before START.
    if (!State.Failed && !State.Aborted && FileExists(engine_->FileName()) && engine_->RecordingChanged())
        FailAsChanged();
    // The time panel is throttled: its last value is shown now.
    if (lastTimeTextPts_ >= 0)
        host_->SetTimeText(PtsToTimeText(State.ElapsedPts));
    if (State.Ended)
        State.CutAtEnd = packetCount_ - r->PacketIndex();
    EndOfPass();
}

bool TCleaningPass::BeginPass()
{
    TAnalysisEngine& en = *engine_;
    TAnalysisTables& t = en.Tables();
    TTSPacketReader* r = &en.Chain().Reader();

    startTick_ = GetTickCount64Ms();
    ResetRunState();
    outputCreated_ = false;
    outputNote_.clear();
    pcrMode_ = t.FirstPcr >= 0 && t.CountPcrPids() > 0;
    cutIn_ = Options.CutIn;
    cutOut_ = Options.CutOut >= 0 ? Options.CutOut : t.Duration;

    en.TSPacketReader1->SetActive(false);
    // The recording is opened first: when it cannot be opened, or it is not
    // the analysed one any more, no output is created, and a file of the
    // output's name is left as it was rather than emptied for nothing.
    r->SetActive(true);
    if (r->Active() && r->FileSize() != en.AnalysedStamp().Size) {
        FailAsChanged();
        return false;
    }
    if (r->Active()) {
        // The writer creates the output empty, so an existing file is
        // replaced whole and no old tail survives.
        TSPacketWriter1->SetPacketBufferSize(Options.WriterBufferPackets > 0 ? Options.WriterBufferPackets
                                                                           : kCleanWriterRing);
        TSPacketWriter1->SetActive(true);
        outputCreated_ = TSPacketWriter1->Active();
    }

    referencePts_ = t.FirstPcrRecordStart();

    host_->ClearMeter();
    host_->ShowCleaningControls(true);
    en.ShowProgress(r->PacketCount(), 0);
    host_->SetMeterLineVisible(0, true);
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        host_->SetMeterLineVisible(i + 1, en.Chain().AudioPes(i).Active());

    if (!PrepareTables())
        return false;

    if (!TSPacketWriter1->Active() || !r->Active()) {
        // Nothing can be written or read: the pass fails instead of reporting
        // an empty success.
        State.Failed = true;
        Log("");
        if (!r->Active()) {
            // The message names the recording: the platform may give no
            // reason (a file that is gone).
            const std::string why = r->LastErrorText();
            State.OutputError = "Could not open the recording " + r->FileName() + (why.empty() ? "" : " (" + why + ")");
            Log("TS  ERROR: " + State.OutputError);
        }
        if (r->Active() && !TSPacketWriter1->Active()) {
            State.OutputError = TSPacketWriter1->LastErrorText();
            Log("TS  ERROR: Could not create the output file " + outputFileName_ +
                (State.OutputError.empty() ? "" : " (" + State.OutputError + ")"));
        }
        return false;
    }

    en.Progress().SetProgressStatus(en.German() ? kCleaningCaptionDe : kCleaningCaptionEn);
    pesHandlers_->ClearNalStatistics();
    // The tables are final now (preserved streams, new PIDs): the clock the
    // pass checks and the streams that witness it are known.
    packetHandlers_->FollowKeptProgram();
    r->SetPacketIndex(0);
    State.Written = InsertTablePackets();
    packetCount_ = r->PacketCount();
    return true;
}

void TCleaningPass::LogCutPoints()
{
    const TAnalysisTables& t = engine_->Tables();
    Log("");
    passWraps_ = false;
    if (!pcrMode_) {
        Log("Cut in  at PTS: " + PtsToTimeText(cutIn_) + " (" + PtsToTimeText(referencePts_ + cutIn_) + ")");
        Log("Cut out at PCR: " + PtsToTimeText(cutOut_) + " (" + PtsToTimeText(referencePts_ + cutOut_) + ")");
    } else {
        passWraps_ = PassCrossesWrap(t.FirstPcr90k, cutOut_);
        Log("Cut in  at PCR: " + PtsToTimeText(cutIn_) + " (" + PtsToTimeText(t.FirstPcr90k + cutIn_) + ")");
        const int64_t absOut = t.FirstPcr90k + cutOut_;
        Log("Cut out at PCR: " + PtsToTimeText(cutOut_) + " (" +
            PtsToTimeText(passWraps_ ? absOut % kPtsWrap : absOut) + (passWraps_ ? ") [with PCR warp]" : ")"));
    }
}

void TCleaningPass::UpdateTimePanel()
{
    // Once per video PES, not per packet: the text is made only when the
    // video's PTS moved on. A window text costs the Windows program several
    // system calls; once a frame it took a quarter of the pass. Ten times a
    // second is all the eye reads; the last value is shown when the loop ends.
    constexpr uint64_t kTimeTextEveryMs = 100;
    const int64_t fixed = engine_->Chain().VideoPes().PESHeader()->PTS_Fixed();
    if (fixed != lastTimeTextPts_) {
        lastTimeTextPts_ = fixed;
        const uint64_t now = GetTickCount64Ms();
        if (now - timeTextTick_ >= kTimeTextEveryMs) {
            timeTextTick_ = now;
            host_->SetTimeText(PtsToTimeText(State.ElapsedPts));
        }
    }
}

bool TCleaningPass::AbortRequested(int64_t no)
{
    return host_->CancelPressed() && AbortConfirmed(no);
}

bool TCleaningPass::AbortConfirmed(int64_t no)
{
    if (host_->AskAbort(MsgText(mmAbortQuestion))) {
        Log("Aborted at paket $" + Hex8(no) + " " + PtsToTimeText(engine_->Chain().VideoPes().PESHeader()->PTS()));
        State.Aborted = true;
        return true;
    }
    host_->ClearCancel();
    return false;
}

void TCleaningPass::HandlePacket(int64_t no)
{
    TAnalysisTables& t = engine_->Tables();
    const TTSPacketHeader* hd = engine_->Chain().Reader().TSPacketHeader();
    const int pid = hd->PID();
    if (!hd->Valid()) {
        DiscardBrokenPacket(no, *hd);
        return;
    }
    if (pid == passPmtPid_)
        ReadPassPmt();
    if (namedClockCount_ > 0 && namedClocks_[static_cast<size_t>(pid)] && CarriesPcr(*hd))
        ClockMovedTo(pid);
    if (clockOnly_[static_cast<size_t>(pid)]) {
        if (!CarriesPcr(*hd)) {
            ++State.NotNeeded;
            return;
        }
    } else if (!t.IsSelectedPid(pid)) {
        ++State.NotNeeded;
        NoteLateStream(pid);
        return;
    }
    if (!State.Started && CutInReachedAt(no))
        StartWriting();
    if (State.Started && !State.Ended)
        CheckCutOut(no);
    if (!State.Started)
        ++State.CutAtBeginning;
    else if (State.Ended)
        ++State.CutAtEnd;
    else if (!DropRepeat(no))
        WritePacket(no, pid);
}

void TCleaningPass::NoteLateStream(int pid)
{
    // Only what would have been written counts: packets outside the cut
    // range are left out by the user's choice, and packets without payload
    // carry nothing of the stream.
    const TAnalysisTables& t = engine_->Tables();
    const int streamType = t.ListedNotFoundType(pid);
    if (streamType < 0 || pid < 0 || pid >= 8192 || State.LateStreamNamed[static_cast<size_t>(pid)])
        return;
    if (!State.Started || State.Ended)
        return;
    const TAdaptationFieldControl afc = engine_->Chain().Reader().TSPacketHeader()->AdaptationFieldControl();
    if (afc != afc_no_adaptation_field && afc != afc_adaptation_field_followed_by_payload)
        return;
    State.LateStreamNamed[static_cast<size_t>(pid)] = true;
    ++State.LateStreamsLeftOut;
    const char* why = t.PidScanEndedInDamage
                          ? " is listed in the PMT but the analysis did not see it: its scan ended in damaged packets"
                          : " is listed in the PMT but begins after the part of the recording the analysis scanned";
    Log("TS  WARNING: Stream PID $" + Hex4(pid) + " type " + IntToStr(streamType) + why +
        ": it is not carried into the cleaned stream!");
}

bool TCleaningPass::DropRepeat(int64_t no)
{
    // A packet sent twice in a row with the same counter is allowed, and a
    // decoder drops the second sending: the copy loses nothing without it,
    // whether its PES has a length (where the repeat would break it) or not
    // (video, where nothing else finds it). A repeat with a PCR stays: its
    // clock may be a new sample. Without the setting it is copied as it is,
    // counter and all (the writer keeps its counter).
    const TTSPacketReader& r = engine_->Chain().Reader();
    if (!engine_->DuplicatePacketHandling || !r.RepeatedPacket())
        return false;
    const TTSPacketHeader* hd = r.TSPacketHeader();
    if (hd->AdaptationFieldControl() == afc_adaptation_field_followed_by_payload && hd->AdaptationField()->PCRFlag())
        return false;
    Log("Deleting repeated paket $" + Hex8(no) + " (sent twice with the same continuity counter)");
    return true;
}

void TCleaningPass::DiscardBrokenPacket(int64_t no, const TTSPacketHeader& header)
{
    // Broken packets are never written. The reader's report of the packet
    // counted its error already; one that came without a report (a short
    // read) is counted here, on its PID only when its header was read.
    TAnalysisTables& t = engine_->Tables();
    ++State.InvalidDiscarded;
    if (State.BrokenCountedAt != no) {
        const int pid = header.PID();
        if (header.Synch() && t.IsSelectedPid(pid) && t.PidRecordIndex(pid) >= 0)
            t.CountError(pid);
        else
            ++State.GlobalErrors;
    }
    PumpMessages();
}

bool TCleaningPass::CutInReachedAt(int64_t no)
{
    const TAnalysisTables& t = engine_->Tables();
    if (cutIn_ == 0) {
        State.StartValue = referencePts_;
        State.PcrStartValue = t.FirstPcr90k;
        Log("");
        if (!pcrMode_) {
            Log("Starting at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.StartValue - t.FirstPts) + " (" +
                PtsToTimeText(State.StartValue) + ")");
        } else {
            ComputeTimerOffset();
            Log("Starting at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.PcrStartValue - t.FirstPcr90k) +
                " (" + PtsToTimeText(State.PcrStartValue) + ")");
        }
        return true;
    }
    if (!pcrMode_) {
        if (State.LastPesPts < referencePts_ + cutIn_)
            return false;
        State.StartValue = State.LastPesPts;
        Log("");
        Log("Starting at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.LastPesPts - referencePts_) + " (" +
            PtsToTimeText(State.LastPesPts) + ")");
        return true;
    }
    if (!tw::CutInReached(State.CurrentPts, t.FirstPcr90k, cutIn_))
        return false;
    State.PcrStartValue = State.CurrentPts;
    ComputeTimerOffset();
    Log("");
    Log("Starting at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.PcrStartValue - t.FirstPcr90k) + " (" +
        PtsToTimeText(State.CurrentPts) + ")");
    return true;
}

void TCleaningPass::StartWriting()
{
    State.Started = true;
    State.CutInReached = true;
    // Only on the starting packet: the video's PTS counts from here.
    if (State.StartValue >= 0)
        engine_->Chain().VideoPes().PESHeader()->SetPTS_Fix_Offset(State.StartValue);
    if (cutOut_ == engine_->Tables().Duration) {
        Log("No cutting at the end needed");
        State.EndLimit = -1;
    } else {
        State.EndLimit = pcrMode_ ? State.PcrStartValue + cutOut_ - cutIn_ - kPcrCutOutLead : cutOut_ - cutIn_;
    }
}

void TCleaningPass::CheckCutOut(int64_t no)
{
    const TTSPesHeader* video = engine_->Chain().VideoPes().PESHeader();
    if (!video->Valid() || State.EndLimit < 0)
        return;
    if (!pcrMode_) {
        // Before the video's first stamp its time is not known, not 0.
        if (video->StampPTS() >= 0 && video->PTS_Fixed() >= State.EndLimit)
            EndAtCutOut(no);
    } else if (tw::CutOutReached(State.CurrentPts, engine_->Tables().FirstPcr90k, State.EndLimit)) {
        EndAtCutOut(no);
    }
}

void TCleaningPass::EndAtCutOut(int64_t no)
{
    State.Ended = true;
    State.CutOutPassed = true;
    if (!pcrMode_)
        Log("Cutting the end at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.LastPesPts - referencePts_) +
                " (" + PtsToTimeText(State.LastPesPts) + ")");
    else
        Log("Cutting the end at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.ElapsedPts) + " (" +
            PtsToTimeText(State.CurrentPts) + ")");
}

void TCleaningPass::WritePacket(int64_t no, int pid)
{
    TTSPacketReader* r = &engine_->Chain().Reader();
    if (State.TimerOffset != 0)
        ShiftPacketTimers(no);
    if (r->RepeatedPacket() && engine_->Tables().PatchCount > 0 && r->TSPacketHeader()->PayloadStart())
        PatchRepeatedStreamId(pid);
    const bool clockOnly = clockOnly_[static_cast<size_t>(pid)];
    if (clocks_[static_cast<size_t>(pid)] && CarriesPcr(*r->TSPacketHeader()))
        ++pcrsWritten_;
    if (remaps_ || clockOnly) {
        packet_ = r->RawPacket();
        if (clockOnly)
            KeepAdaptationFieldOnly(packet_);
        if (remaps_)
            RemapPacketPid(packet_);
        TSPacketWriter1->QueuePacket(packet_, no);
    } else {
        TSPacketWriter1->QueuePacket(r->RawPacket(), no);
    }
    ++expectedWritten_;
    // Every written packet is counted in its PID's record: found through the
    // index by PID, not searched for among all records.
    TAnalysisTables& t = engine_->Tables();
    const int16_t k = t.PidRecordCount == indexedPidRecords_ ? pidRecordOf_[pid & 0x1FFF] : kSeveralPidRecords;
    if (k >= 0) {
        TPidRecord& rec = t.PidRecords[k];
        ++rec.PacketCount;
        rec.LastValue = State.LastPesPts;
    } else if (k == kSeveralPidRecords) {
        CountPidPacket(pid, State.LastPesPts);
    }
    ++State.Written;
    if (State.Written % kTableRepeat == 0)
        State.Written += InsertTablePackets();
}

void TCleaningPass::ShiftPacketTimers(int64_t no)
{
    const TTSPacketHeader* hd = engine_->Chain().Reader().TSPacketHeader();
    const TAdaptationFieldControl afc = hd->AdaptationFieldControl();
    if ((afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
        hd->AdaptationField()->PCRFlag() && !PatchPacketPcr(State.TimerOffset * kClockRatio)) {
        Log("TS  ERROR: Patching PCR for paket $" + Hex8(no) + " failed!");
        if (engine_->Tables().PidRecordIndex(hd->PID()) >= 0)
            engine_->Tables().CountError(hd->PID());
        else
            ++State.GlobalErrors;
    }
    const int pid = hd->PID();
    if (splitDone_.Pid == pid) {
        // The packet that completed a header over packets, sent again.
        if (engine_->Chain().Reader().RepeatedPacket())
            for (const TSplitPesStamps::TByteWrite& w : splitDone_.Writes)
                engine_->Chain().Reader().SetPacketByte(w.Value, w.Index);
        else
            splitDone_ = TSplitDone();
    }
    if (splitStamps_.AnyPending() && splitStamps_.Pending(pid) && ContinueSplitStamps(no))
        return;
    if (hd->PayloadStart() && !PatchPesTimers(State.TimerOffset))
        PatchTimersFailed(no, pid);
}

void TCleaningPass::PumpMessages()
{
    const uint64_t now = GetTickCount64Ms();
    if (messagesPumped_ && now - messagesTick_ < kMessagesEveryMs)
        return;
    messagesPumped_ = true;
    messagesTick_ = now;
    engine_->Progress().ProcessMessages();
}

void TCleaningPass::KeepWindowAlive()
{
    PumpMessages();
    CheckWriterHealth();
    if (!State.WriteError.empty())
        State.Failed = true;
}

void TCleaningPass::EndAtFillPackets(int64_t no)
{
    const int64_t fillAtEnd = engine_->Tables().FillPacketsAtEnd;
    if (State.Ended || fillAtEnd <= 0 || no < packetCount_ - fillAtEnd)
        return;
    EndAtFill(no);
}

void TCleaningPass::EndAtFill(int64_t no)
{
    const TAnalysisTables& t = engine_->Tables();
    State.Ended = true;
    State.CutOutPassed = true;
    if (!pcrMode_)
        Log("Ending at paket $" + Hex8(no) + " PTS: " + PtsToTimeText(State.LastPesPts - referencePts_) + " (" +
            PtsToTimeText(State.LastPesPts) + ")");
    else
        Log("Ending at paket $" + Hex8(no) + " PCR: " + PtsToTimeText(State.CurrentPts - t.FirstPcr90k) + " (" +
            PtsToTimeText(State.CurrentPts) + ")");
}

void TCleaningPass::CountPidPacket(int pid, int64_t timeStamp)
{
    TAnalysisTables& t = engine_->Tables();
    if (t.PidRecordCount != indexedPidRecords_)
        IndexPidRecords();
    for (int i = 0; i < t.PidRecordCount; ++i) {
        TPidRecord& rec = t.PidRecords[i];
        if (rec.Pid == pid) {
            ++rec.PacketCount;
            rec.LastValue = timeStamp;
        }
    }
}

void TCleaningPass::UncountPidPacket(int pid)
{
    TAnalysisTables& t = engine_->Tables();
    for (int i = 0; i < t.PidRecordCount; ++i)
        if (t.PidRecords[i].Pid == pid)
            --t.PidRecords[i].PacketCount;
}

void TCleaningPass::IndexPidRecords()
{
    const TAnalysisTables& t = engine_->Tables();
    std::fill(std::begin(pidRecordOf_), std::end(pidRecordOf_), kNoPidRecord);
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const int pid = t.PidRecords[i].Pid;
        if (pid < 0 || pid > 0x1FFF)
            continue; // never a packet's PID
        int16_t& k = pidRecordOf_[pid];
        k = k == kNoPidRecord ? static_cast<int16_t>(i) : kSeveralPidRecords;
    }
    indexedPidRecords_ = t.PidRecordCount;
}

void TCleaningPass::CheckWriterHealth()
{
    if (!State.WriteError.empty())
        return;
    State.WriteError = TSPacketWriter1->LastErrorText();
}

void TCleaningPass::CountWhatTheFileHolds(int64_t inFile)
{
    // The stream panels say what the copy holds, not what was queued: after
    // a failed write the two differ. The writer counts the whole packets
    // that reached the file per PID; when those do not add up to the file's
    // size (a disk that took less than it said), the file itself is read.
    std::vector<int64_t> perPid(8192, 0);
    int64_t total = 0;
    for (int pid = 0; pid < 8192; ++pid)
        total += perPid[static_cast<size_t>(pid)] = TSPacketWriter1->WrittenPackets(pid);
    if (total != inFile) {
        std::fill(perPid.begin(), perPid.end(), 0);
        TSPacketWriter1->SetActive(false);
        try {
            TFileStream f(outputFileName_, fmOpenRead | fmShareDenyNone);
            std::vector<uint8_t> chunk(static_cast<size_t>(TS_PACKET_SIZE) * 4096);
            for (int64_t left = inFile; left > 0;) {
                const int64_t n = std::min<int64_t>(left, 4096);
                if (f.Read(chunk.data(), n * TS_PACKET_SIZE) != n * TS_PACKET_SIZE)
                    break;
                for (int64_t k = 0; k < n; ++k) {
                    const uint8_t* p = chunk.data() + k * TS_PACKET_SIZE;
                    ++perPid[static_cast<size_t>(((p[1] & 0x1F) << 8) | p[2])];
                }
                left -= n;
            }
        } catch (const std::exception& e) {
            Log("TS  ERROR: Reading " + outputFileName_ + " back failed: " + DescribeException(e));
        }
    }
    TAnalysisTables& t = engine_->Tables();
    for (int i = 0; i < t.PidRecordCount; ++i) {
        TPidRecord& rec = t.PidRecords[i];
        if (rec.Pid < 0 || rec.Pid > 0x1FFF)
            continue;
        // A remapped stream is in the file under its new PID.
        const int k = t.FoundStreamIndex(rec.Pid);
        const int written = k >= 0 && t.FoundStreams[k].ReplacementPid >= 0 ? t.FoundStreams[k].ReplacementPid : rec.Pid;
        rec.PacketCount = written >= 0 && written <= 0x1FFF ? perPid[static_cast<size_t>(written)] : 0;
    }
}

void TCleaningPass::EndOfPass()
{
    TAnalysisEngine& en = *engine_;
    if (TSPacketWriter1->Active()) {
        TSPacketWriter1->Flush();
        CheckWriterHealth();
        // The file must hold every packet that was queued and not deleted.
        const int64_t expected = expectedWritten_ - State.DuplicatesDeleted;
        const int64_t inFile = TSPacketWriter1->PacketCount();
        if (State.WriteError.empty() && inFile != expected)
            State.WriteError = "the output holds " + IntToStr(inFile) + " packets instead of " + IntToStr(expected);
        CountWhatTheFileHolds(inFile);
    }
    if (!State.ReadError.empty()) {
        Log("");
        Log("TS  ERROR: Reading " + en.Chain().Reader().FileName() + " failed: " + State.ReadError);
    }
    if (!State.WriteError.empty()) {
        Log("");
        Log("TS  ERROR: Writing " + outputFileName_ + " failed: " + State.WriteError);
        State.Failed = true;
    }
    if (State.Failed || State.Aborted) {
        Log("");
        Log("---------- ABORTED ----------");
        Log("");
    }
    CheckClockCopied();
    if (en.Chain().H264().Active()) {
        Log("");
        std::string statistics;
        pesHandlers_->LogNalStatistics(statistics);
        Log(statistics);
        Log("");
    }
    Log("Cutted pakets at the beginning: " + IntToStr(State.CutAtBeginning));
    Log("Cutted pakets at the end: " + IntToStr(State.CutAtEnd));
    if (State.NotNeeded > 0)
        Log("Discarded pakets (not needed): " + IntToStr(State.NotNeeded));
    if (State.InvalidDiscarded > 0)
        Log("Discarded invalid pakets : " + IntToStr(State.InvalidDiscarded));
    if (const int64_t rest = engine_->Chain().Reader().TrailingBytes(); rest > 0)
        Log("The recording ends in an incomplete paket of " + IntToStr(rest) + " bytes, which is left out");
    if (State.ScrambledCount > 0)
        Log("Scrambled pakets : " + IntToStr(State.ScrambledCount));
    if (State.FullRangeCorrected > 0)
        Log("Changed Sequence Parameter Sets: " + IntToStr(State.FullRangeCorrected) + " of " +
            IntToStr(State.NalCounters[7]));
    Log("");
    Log("ERRORS : " + IntToStr(TotalErrors()));
    Log("WARNINGS : " + IntToStr(TotalWarnings()));
    Log("");
    // The speed is the pass's own: it ends with the last packet written, not
    // with the windows put away (hiding a window waits two seconds under Wine
    // without a window manager, which made a pass look slow).
    const uint64_t ms = GetTickCount64Ms() - startTick_;
    UpdateStreamLabels();
    Deactivate();
    if (State.Failed)
        DisposeFailedOutput();
    // A pass over a tiny file can take less than a millisecond.
    const double seconds = ms > 0 ? double(ms) / 1000.0 : 0.001;
    Log(Format("Speed: %.1f MBytes/sec", double(State.BytesPassed) / 1024.0 / 1024.0 / seconds));
    const uint64_t secs = ms / 1000;
    Log(Format("Duration: %02llu:%02llu:%02llu", static_cast<unsigned long long>(secs / 3600),
               static_cast<unsigned long long>((secs / 60) % 60), static_cast<unsigned long long>(secs % 60)));
    SaveLogFile();
    en.Progress().ProcessMessages();
}

void TCleaningPass::ForgetRecordingChoices()
{
    Options.CutIn = 0;
    Options.CutOut = -1;
    Options.NewServiceId = -1;
    Options.PidRemapCount = 0;
    PreserveList.Clear();
}

void TCleaningPass::DisposeFailedOutput()
{
    // Only a file this pass made is touched, and only once it is closed.
    if (!outputCreated_ || outputFileName_.empty() || TSPacketWriter1->Active())
        return;
    outputCreated_ = false;
    if (!State.Started) {
        // The tables at most and nothing of the recording: a file the user
        // could take for a copy is worse than none.
        if (!FileExists(outputFileName_) || RemoveFile(outputFileName_)) {
            Log("Unfinished output deleted: " + outputFileName_);
            outputNote_ = OutputNoteText(TOutputNote::Removed, engine_->German());
            return;
        }
    }
    // Part of the recording was written: it stays for the user to judge,
    // and the message says that it is not the whole copy.
    Log("Unfinished output kept: " + outputFileName_);
    outputNote_ = OutputNoteText(TOutputNote::Incomplete, engine_->German()) + " " + outputFileName_;
}

void TCleaningPass::Deactivate()
{
    TAnalysisEngine& en = *engine_;
    // However the pass ends (an exception included), what was queued goes
    // out now, and the stream panels count what of it the file holds.
    if (TSPacketWriter1->Active()) {
        TSPacketWriter1->Flush();
        CountWhatTheFileHolds(TSPacketWriter1->PacketCount());
    }
    TSPacketWriter1->SetActive(false);
    en.Chain().Reader().SetActive(false);
    packetHandlers_->EndRun();
    en.TSPacketReader1->SetActive(false);
    en.Chain().VideoPes().SetActive(false);
    en.Chain().VideoPes().PESHeader()->SetPTS_Fix_Offset(0);
    en.Chain().H264().SetActive(false);
    en.Chain().Mpeg2().SetActive(false);
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        en.Chain().AudioPes(i).SetActive(false);
    for (int i = 0; i < TEXT_SLOTS; ++i)
        en.Chain().TextPes(i).SetActive(false);
    en.Selection().Pmt().SetActive(false);
    en.Selection().Pat().SetActive(false);
    UpdateStreamLabels();
    host_->ShowCleaningControls(false);
    en.Progress().HideProgress();
}

void TCleaningPass::SaveLogFile()
{
    logSaveError_.clear();
    try {
        if (FileExists(logFileName_))
            RemoveFile(logFileName_);
        SaveLogToFile(logFileName_);
    } catch (const std::exception& e) {
        const bool german = engine_->German();
        const std::string reason = DescribeException(e);
        Log((german ? "Fehler beim Speichern des Logfiles! " : "Error while saving log file! ") + reason);
        logSaveError_ =
            (german ? "Fehler beim Speichern des Logfiles!" : "Error while saving log file!") + std::string("\r") + reason;
        // A failed pass has a message of its own, which carries this one:
        // one failure (an unwritable folder) makes one box, not two.
        if (!State.Failed)
            engine_->Questions().ShowMessage(TMessageKind::Error, logSaveError_);
    }
}

void TCleaningPass::UpdateStreamLabels()
{
    const TAnalysisTables& t = engine_->Tables();
    for (int i = 0; i < t.PidRecordCount; ++i) {
        const TPidRecord& rec = t.PidRecords[i];
        host_->UpdateStreamLabel("$" + Hex4(rec.Pid), SizeText(rec.PacketCount * TS_PACKET_SIZE),
                                 IntToStr(rec.Errors));
    }
}

std::string TCleaningPass::NalStatisticsText() const { return pesHandlers_->NalStatisticsText(); }

} // namespace tw
