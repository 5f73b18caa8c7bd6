#include "analysis/TimeStampCorrection.h"

namespace tw {

namespace {

// Rounds |num| / den to whole units, halves to the even neighbour.
int64_t RoundedQuotient(int64_t num, int64_t den)
{
    if (num < 0)
        num = -num;
    int64_t q = num / den;
    const int64_t r2 = (num % den) * 2;
    if (r2 > den || (r2 == den && (q & 1)))
        ++q;
    return q;
}

} // namespace

int64_t CleaningStartTime(int64_t firstPts, int64_t firstDts, int64_t firstPcr90)
{
    if (firstPcr90 < 0) {
        int64_t start = firstPts;
        if (firstDts > 0 && firstDts < start)
            start = firstDts;
        return start;
    }
    // The stamps are compared on the circle of the 33-bit clock around the
    // first PCR: when the recording begins just before the wrap, its first
    // PTS may already have wrapped to a small value although it lies after
    // the first PCR. A plain signed minimum would then take that PTS as the
    // start and shift the PCR to just below the modulus, so the output would
    // wrap at once.
    auto rel = [firstPcr90](int64_t v) {
        int64_t d = (v - firstPcr90) % kPtsWrap;
        if (d < 0)
            d += kPtsWrap;
        return d >= kPtsWrap / 2 ? d - kPtsWrap : d;
    };
    int64_t earliest = 0;
    if (firstPts >= 0 && rel(firstPts) < earliest)
        earliest = rel(firstPts);
    if (firstDts > 0 && rel(firstDts) < earliest)
        earliest = rel(firstDts);
    int64_t start = firstPcr90 + earliest;
    if (start < 0)
        start += kPtsWrap;
    return start;
}

int64_t TimerOffsetFor(int64_t cleaningStartTime)
{
    return kPtsModulus - cleaningStartTime + kTimerTargetStart;
}

bool TimerCorrectionApplies(int timerPatchMode, bool pcrAvailable, bool passCrossesWrap)
{
    if (!pcrAvailable)
        return false;
    return timerPatchMode == 2 || (timerPatchMode == 1 && passCrossesWrap);
}

bool PassCrossesWrap(int64_t firstPcr90, int64_t cutOut)
{
    return firstPcr90 + cutOut >= kPtsWrap;
}

int64_t ShiftPts(int64_t pts, int64_t offset90) { return WrapClock(pts + offset90, kPtsModulus); }

int64_t ShiftPcr(int64_t pcr27, int64_t offset27) { return WrapClock(pcr27 + offset27, kPcrModulus); }

int64_t ShiftEscr(int64_t escr27, int64_t offset90)
{
    return WrapClock(offset90 * kClockRatio + escr27, kPcrModulus);
}

bool CutInReached(int64_t latestPcr90, int64_t firstPcr90, int64_t cutIn)
{
    if (latestPcr90 < 0)
        return false;
    const int64_t target = firstPcr90 + cutIn;
    if (target >= kPtsWrap && latestPcr90 > firstPcr90)
        return false; // the clock has not wrapped yet
    return latestPcr90 >= target % kPtsWrap;
}

bool CutOutReached(int64_t latestPcr90, int64_t firstPcr90, int64_t endLimit)
{
    if (latestPcr90 < 0)
        return false;
    if (endLimit >= kPtsWrap && latestPcr90 > firstPcr90)
        return false;
    return latestPcr90 >= endLimit % kPtsWrap;
}

std::string PtsToTimeText(int64_t pts90) { return MsToTimeText(PtsToMs(pts90)); }

int64_t PcrToPts(int64_t pcr27)
{
    const int64_t q = RoundedQuotient(pcr27, kClockRatio);
    return pcr27 < 0 ? -q : q;
}

int64_t TimeTextToPts(const std::string& text) { return TimeTextToPcr(text) / kClockRatio; }

} // namespace tw
