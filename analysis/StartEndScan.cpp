// The start/end check: per PID the first and last PTS and DTS, for the
// stream its first and last PCR, whether the PCR wraps, and the duration.
#include "analysis/StartEndScan.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/ScanPasses.h"

#include <cstdlib>
#include <limits>

#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"

namespace tw {

namespace {

constexpr int64_t kJump = 2147483648LL; // 2^31 ticks: a jump or a wrap

bool HasPcr(const TTSPacketHeader* h) {
    return h->Valid() &&
           (h->AdaptationFieldControl() == afc_adaptation_field_only ||
            h->AdaptationFieldControl() == afc_adaptation_field_followed_by_payload) &&
           h->AdaptationField()->PCRFlag();
}

int64_t AbsDiff(int64_t a, int64_t b) { return a > b ? a - b : b - a; }

} // namespace

int64_t TStartEndScan::FindNextPcr(int pid, int64_t limit) {
    TTSPacketReader* r = scan_.Reader();
    int64_t result = -1;
    // A dropout before the first PCR silences the log after 40 broken
    // packets, as in every scan.
    int errors = 0;
    r->SetPacketIndex(0);
    while (r->PacketIndex() < limit && !r->Eof() && r->PacketCount() > 0) {
        const TTSPacketHeader* h = r->TSPacketHeader();
        if (scan_.IsBrokenPacket()) scan_.CountBrokenPacket(errors, std::numeric_limits<int>::max());
        if (h->PID() == pid && HasPcr(h)) {
            result = h->AdaptationField()->PCR()->PCR();
            break;
        }
        const int64_t before = r->PacketIndex();
        r->Next();
        if (r->PacketIndex() == before) break;
    }
    engine_.Tables().LogSuppressed = false;
    return result;
}

int64_t TStartEndScan::FindPreviousPcr(int pid, int64_t limit) {
    TTSPacketReader* r = scan_.Reader();
    int64_t result = -1;
    int errors = 0;
    if (r->PacketCount() > 0) {
        r->SetPacketIndex(r->PacketCount() - 1);
        const int64_t stop = r->PacketCount() - limit;
        while (r->PacketIndex() > stop) {
            const TTSPacketHeader* h = r->TSPacketHeader();
            if (!h->Valid()) {
                ++errors;
                if (errors > SCAN_LOG_ERROR_LIMIT && !engine_.Tables().LogSuppressed) {
                    engine_.Tables().LogSuppressed = true;
                    engine_.Log("");
                    engine_.Log("Too many errors skipping log entries!");
                    engine_.Log("");
                }
            } else if (h->PID() == pid && HasPcr(h)) {
                result = h->AdaptationField()->PCR()->PCR();
                break;
            }
            if (r->PacketIndex() == 0) break;
            r->Previous();
        }
    }
    engine_.Tables().LogSuppressed = false;
    return result;
}

int64_t TStartEndScan::CheckPcrWrap() {
    TAnalysisTables& t = engine_.Tables();
    // One PCR (or one value throughout) is a recording of no measurable length.
    if (t.FirstPcr <= t.LastPcr) return Round(static_cast<double>(t.LastPcr - t.FirstPcr) / kClockRatio);
    if (!PassedClockWrap(t.FirstPcr, t.LastPcr, kPcrModulus)) {
        // The clock stepped back far from its wrap: no wrap, and its ends
        // give no length. The stamps, which a clock stepping alone leaves
        // running on, measure it instead; when they stepped back too there
        // is no length to tell.
        int64_t span = 0;
        if (t.FirstPts >= 0 && t.LastPts >= 0) {
            if (t.LastPts >= t.FirstPts)
                span = t.LastPts - t.FirstPts;
            else if (PassedClockWrap(t.FirstPts, t.LastPts, kPtsWrap))
                span = kPtsWrap - t.FirstPts + t.LastPts;
        }
        engine_.Log("PCR steps back from " + PcrToTimeText(t.FirstPcr) + " to " + PcrToTimeText(t.LastPcr) +
                    " (no wrap)");
        // The program's time, which the stamps keep, may still pass the
        // wrap (the clock stepped back just before it): that recording
        // wraps all the same.
        if (span > 0 && PassCrossesWrap(t.FirstPcr90k, span)) {
            engine_.Log("PCR wrap at " + PtsToTimeText(kPtsWrap - t.FirstPcr90k) + " detected!");
            t.PcrWrap = true;
        }
        return span;
    }
    const int64_t toWrap = kPtsWrap - t.FirstPcr90k;
    engine_.Log("PCR wrap at " + PtsToTimeText(toWrap) + " detected!");
    t.PcrWrap = true;
    return toWrap + t.LastPcr90k;
}

void TStartEndScan::ScanStartEnd(int64_t limit) {
    TAnalysisTables& t = engine_.Tables();
    TTSPacketReader* r = scan_.Reader();
    scan_.PesScan()->SetActive(false);
    if (limit > r->PacketCount()) limit = r->PacketCount();
    if (t.PidRecordCount == 0) {
        t.LogSuppressed = false;
        return;
    }
    const int64_t fillEnd = t.FillPacketsAtEnd;
    for (int i = 0; i < t.PidRecordCount && !engine_.CancelRequested(); ++i) {
        TPidRecord& rec = t.PidRecords[static_cast<size_t>(i)];
        scan_.PesScan()->SetPID(rec.Pid);
        scan_.PesScan()->SetActive(true);
        rec.FirstPts = rec.FirstDts = rec.LastPts = rec.LastDts = -1;
        scan_.ScanPesPts = scan_.ScanPesDts = -1;
        int64_t prevPts = -1, prevDts = -1;

        // Start phase.
        int errors = 0;
        r->SetPacketIndex(0);
        while (r->PacketIndex() < limit && !r->Eof()) {
            const TTSPacketHeader* h = r->TSPacketHeader();
            if (scan_.IsBrokenPacket()) {
                if (scan_.CountBrokenPacket(errors, SCAN_ERROR_LIMIT)) break;
            } else {
                // A jump is between two stamps: the first DTS after PES
                // packets without one is no jump from anything.
                if (((prevPts >= 0 && AbsDiff(scan_.ScanPesPts, prevPts) >= kJump) ||
                     (prevDts >= 0 && AbsDiff(scan_.ScanPesDts, prevDts) >= kJump)) &&
                    rec.FirstPts >= 0)
                    break;
                if (scan_.ScanPesPts < rec.FirstPts || (rec.FirstPts == -1 && scan_.ScanPesPts >= 0)) rec.FirstPts = scan_.ScanPesPts;
                if (scan_.ScanPesDts < rec.FirstDts || (rec.FirstDts == -1 && scan_.ScanPesDts >= 0)) rec.FirstDts = scan_.ScanPesDts;
                prevPts = scan_.ScanPesPts;
                prevDts = scan_.ScanPesDts;
            }
            (void)h;
            const int64_t before = r->PacketIndex();
            r->Next();
            if (r->PacketIndex() == before) break;
        }
        // A value of -1 is "not found", never "smaller than found".
        if (rec.FirstPts < -1) rec.FirstPts = -1;

        // End phase. Its start never lies before the first packet, also when
        // the window covers a whole short recording.
        int64_t start = r->PacketCount() - limit - fillEnd;
        if (start < 0) start = 0;
        scan_.ScanPesPts = scan_.ScanPesDts = -1;
        prevPts = -1;
        errors = 0;
        r->SetPacketIndex(start);
        const int64_t stop = r->PacketCount() - fillEnd - 1;
        while (r->PacketIndex() < stop && !r->Eof()) {
            const TTSPacketHeader* h = r->TSPacketHeader();
            if (!h->Valid()) {
                if (scan_.CountBrokenPacket(errors, SCAN_ERROR_LIMIT)) break;
            } else {
                if (scan_.ScanPesPts > rec.LastPts || AbsDiff(scan_.ScanPesPts, prevPts) >= kJump) rec.LastPts = scan_.ScanPesPts;
                if (scan_.ScanPesDts > rec.LastDts || AbsDiff(scan_.ScanPesDts, prevPts) >= kJump) rec.LastDts = scan_.ScanPesDts;
                prevPts = scan_.ScanPesPts;
            }
            const int64_t before = r->PacketIndex();
            r->Next();
            if (r->PacketIndex() == before) break;
        }
        scan_.PesScan()->SetActive(false);
    }
    t.LogSuppressed = false;
}

} // namespace tw
