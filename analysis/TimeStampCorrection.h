// Time-stamp correction of the cleaning pass: one offset shifts every PCR,
// PTS, DTS and ESCR of the written packets so that the recording starts at
// 300 ticks of 90 kHz and the written part stays clear of the 33-bit wrap,
// which some players cannot handle. Also the cut-point tests that count
// across that wrap and the time texts the main window prints.
//
// Everything here is plain arithmetic on clock values; the bit layouts of
// the fields themselves are ts/TSTimeStamp.h's, and the packet reader
// writes the shifted values back through it.
#pragma once

#include <cstdint>
#include <string>

#include "ts/TSClock.h"
#include "ts/TSTimeStamp.h"

namespace tw {

// The shift works modulo the clock's own wrap, 2^33 (and 2^33 x 300 for
// 27 MHz values): the offset is 2^33 - start + 300, so a stamp from the start
// up to the wrap moves down and a stamp taken after the wrap moves up by the
// same amount, and the output counts on without a wrap and without losing a
// tick. (A modulus of 2^33 - 1 would put every stamp after the wrap one tick
// early, which shortens the streams of a recording that crosses the wrap.)
constexpr int64_t kPtsWrap = kPtsModulus;
constexpr int64_t kTimerTargetStart = 300; // 90 kHz ticks

// The base of the offset: the first PTS, or the first DTS when that is above
// 0 and below it, or the first PCR (90 kHz) when that is lower still.
int64_t CleaningStartTime(int64_t firstPts, int64_t firstDts, int64_t firstPcr90);
// 2^33 - start + 300.
int64_t TimerOffsetFor(int64_t cleaningStartTime);
// Whether the pass shifts its time stamps: only recordings with PCR; always
// under mode 2, under mode 1 when the written part crosses the wrap (mode 0
// becomes 1 when the user agrees during the analysis).
bool TimerCorrectionApplies(int timerPatchMode, bool pcrAvailable, bool passCrossesWrap);
// The written part crosses the wrap when first PCR + cut-out reaches 2^33.
bool PassCrossesWrap(int64_t firstPcr90, int64_t cutOut);

int64_t ShiftPts(int64_t pts, int64_t offset90);     // (pts + offset) mod 2^33
int64_t ShiftPcr(int64_t pcr27, int64_t offset27);   // (pcr + offset) mod 2^33*300
int64_t ShiftEscr(int64_t escr27, int64_t offset90); // (offset*300 + escr) mod 2^33*300

// Cut tests on the latest PCR in 90 kHz (L, -1 before the first). A target
// at or past 2^33 is reached only after L wrapped below the first PCR.
bool CutInReached(int64_t latestPcr90, int64_t firstPcr90, int64_t cutIn);
bool CutOutReached(int64_t latestPcr90, int64_t firstPcr90, int64_t endLimit);

// Time texts of the main window (hh:mm:ss.zzz, whole days dropped, "-" in
// front of a negative difference); 27 MHz values use PcrToTimeText.
std::string PtsToTimeText(int64_t pts90);
int64_t PcrToPts(int64_t pcr27);                 // / 300, rounded, halves to even
int64_t TimeTextToPts(const std::string& text);  // 0 for texts under 12 chars

} // namespace tw
