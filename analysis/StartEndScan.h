// TStartEndScan: the start/end check of the analysis: per PID the first and
// last PTS and DTS, for the stream its first and last PCR, whether the PCR
// wraps, and the duration. It reads through the scanning chain.
#pragma once

#include <cstdint>

namespace tw {

class TAnalysisEngine;
class TScanPasses;

class TStartEndScan {
public:
    TStartEndScan(TAnalysisEngine& engine, TScanPasses& scan) : engine_(engine), scan_(scan) {}

    // The first (last) PCR of the PID within `limit` packets of the start
    // (end); -1 when none.
    int64_t FindNextPcr(int pid, int64_t limit);
    int64_t FindPreviousPcr(int pid, int64_t limit);
    // The duration (90 kHz) from the tables' first and last PCR; a last PCR
    // below the first is a wrap (logged and noted in the tables).
    int64_t CheckPcrWrap();
    // First and last PTS/DTS of every PID record.
    void ScanStartEnd(int64_t limit);

private:
    TAnalysisEngine& engine_;
    TScanPasses& scan_;
};

} // namespace tw
