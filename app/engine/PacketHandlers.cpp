#include "app/engine/PacketHandlers.h"

#include "app/engine/CleaningPass.h"
#include "app/engine/MainTexts.h"
#include "app/engine/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPmtReader.h"

#include <cstdlib>

namespace tw {

namespace {
// 30 s below the largest PCR: a PCR above this followed by a tiny one wraps.
constexpr int64_t kPcrNearWrap = 0x257D0000000LL;
constexpr int64_t kPcrAfterWrap = 0x200000;
// More than this many 27 MHz ticks per packet between two PCRs is out of range.
constexpr int64_t kPcrRateLimit = 280000;
} // namespace

void TPacketHandlers::Bind()
{
    TAnalysisEngine& en = pass_.Engine();
    TTSPacketReader* r = en.RemuxPacketReader;
    r->OnScrambledPacketEvent = [this](TObject*, int64_t no, int pid, int& tsc, bool& ignore) {
        ScrambledPacket(no, pid, tsc, ignore);
    };
    r->OnInvalidPacketEvent = [this](TObject*, int64_t no, const std::string& errors) { InvalidPacket(no, errors); };
    r->OnPacketResynchEvent = [this](TObject*, int64_t no, int offset) { Resync(no, offset); };
    r->OnDisconinuity = [this](TObject*, int64_t no, int pid, int cur, int last) { Discontinuity(no, pid, cur, last); };
    r->OnNewPacket = [this](TObject*) { NewPacket(); };
    pass_.TSPacketWriter1->OnContinuityCounterCorrected = [this](TObject*, int pid, int64_t no, int corrected,
                                                                 int old) {
        ContinuityCounterCorrected(pid, no, corrected, old);
    };
}

void TPacketHandlers::ResetPass()
{
    TCleaningPass::TRunState& s = pass_.State;
    s.PrevPcr = -1;
    s.PrevPcrPacket = -1;
    s.PcrRate = 0;
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
        if (en.ScrambledMode == 0) {
            en.Log("Scrambled pakets detected!");
            const bool de = en.German();
            const std::string text = MessageTextIn(mmScrambledDetected, de) + "\r" + MessageTextIn(mmSkipScrambled, de);
            if (en.Host().Ask(TAnalysisQuestion::Scrambled, text)) {
                en.ScrambledMode = 3;
                en.Log("Ignore scrambled pakets!");
            } else {
                en.ScrambledMode = 1;
                en.Log("Ignore transport_scrambling_control!");
            }
        }
    }
    if (en.ScrambledMode == 1) {
        ignore = true;
        scramblingControl = 0;
    }
}

void TPacketHandlers::InvalidPacket(int64_t packetNo, const std::string& errors)
{
    TAnalysisEngine& en = pass_.Engine();
    const int pid = en.RemuxPacketReader->TSPacketHeader()->PID();
    en.CountError(pid);
    if (en.ScrambledMode == 3 && errors == "transport_scrambling_control")
        return;
    en.Log("TS  ERROR: Invalid paket $" + IntToHex(packetNo, 8) + " for PID $" + IntToHex(pid, 4) +
           ", skipped! Error: " + errors);
}

void TPacketHandlers::Resync(int64_t packetNo, int offset)
{
    TAnalysisEngine& en = pass_.Engine();
    if (en.LogSuppressed())
        return;
    const int last = en.LastResyncOffset;
    if (offset >= last) {
        en.Log("Resync found for next paket $" + IntToHex(packetNo + 1, 8) + " with Offset: " + IntToStr(offset));
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
    if (!pass_.State.InRange() || pid == 0 || pid == 0x1FFF)
        return;
    pass_.Log("TS  WARNING: For PID " + IntToHex(pid, 4) + " $" + IntToHex(packetNo, 8) + ": Paket discontinuity " +
              IntToStr(lastCC) + "," + IntToStr(currentCC));
    ++pass_.State.DiscontinuityCount;
}

void TPacketHandlers::NewPacket()
{
    TAnalysisEngine& en = pass_.Engine();
    TTSPacketReader* r = en.RemuxPacketReader;
    TTSPacketHeader* h = r->TSPacketHeader();
    const TAdaptationFieldControl afc = h->AdaptationFieldControl();
    if ((afc != afc_adaptation_field_only && afc != afc_adaptation_field_followed_by_payload) ||
        !h->AdaptationField()->PCRFlag())
        return;
    // Only the program's own clock: another program's PCR PID runs on a
    // clock of its own, and comparing the two would "correct" good PCRs.
    const int pid = h->PID();
    if (pid != en.RebuildPmt->PcrPid())
        return;
    TCleaningPass::TRunState& s = pass_.State;
    const int64_t n = r->PacketIndex();
    int64_t p = h->AdaptationField()->PCR()->PCR();

    int64_t d;
    if (s.PrevPcr == -1) {
        d = 0;
    } else if (s.PrevPcr > kPcrNearWrap && p < kPcrAfterWrap) {
        en.Log("PCR wrap between paket $" + IntToHex(s.PrevPcrPacket, 8) + " and paket $" + IntToHex(n, 8) +
               " on PID $" + IntToHex(pid, 4) + " detected!");
        d = p;
    } else {
        d = p - s.PrevPcr;
    }
    const int64_t k = s.PrevPcrPacket == -1 ? 0 : n - s.PrevPcrPacket;
    if (k > 0 && std::llabs(d / k) > kPcrRateLimit) {
        if (s.AskPcrCorrection) {
            const bool de = en.German();
            s.CorrectPcr = pass_.CleaningHost().AskPcrCorrection(MessageTextIn(mmPcrOutOfRange, de) + "\r" +
                                                                 MessageTextIn(mmPcrCorrect, de));
            s.AskPcrCorrection = false;
        }
        en.Log("TS  ERROR: PCR timing for PID " + IntToHex(pid, 4) + " last PCR:" + PcrToTimeText(s.PrevPcr) +
               " current PCR:" + PcrToTimeText(p) + " at paket $" + IntToHex(n, 8) +
               " TimeBase:" + IntToStr(h->AdaptationField()->PCR()->PCRBase()) +
               " PCRExtension:" + IntToStr(h->AdaptationField()->PCR()->PCRExtension()));
        if (s.CorrectPcr) {
            if (r->SetPacketPCR(s.PrevPcr + s.PcrRate * k)) {
                p = h->AdaptationField()->PCR()->PCR();
                en.Log("Try to correct PCR value to " + PcrToTimeText(p));
                en.CountWarning(pid);
            } else {
                en.CountError(pid);
            }
        } else {
            en.CountError(pid);
        }
    }
    const int64_t pts = PcrToPts(p);
    if (s.CutInReached)
        s.ElapsedPts = (pts - s.PcrStartValue) & 0x1FFFFFFFFLL;
    s.CurrentPts = pts;
    s.PrevPcr = p;
    s.PrevPcrPacket = n;
    if (k > 0)
        s.PcrRate = d / k;
}

void TPacketHandlers::ContinuityCounterCorrected(int pid, int64_t packetNo, int corrected, int old)
{
    pass_.Log("Starting correction of TS packet ContinuityCounter for PID " + IntToHex(pid, 4) + " $" +
              IntToHex(packetNo, 8) + ": " + IntToStr(old) + " to " + IntToStr(corrected));
}

} // namespace tw
