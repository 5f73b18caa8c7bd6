// TDetailScans: the scans of steps 9 and 10: the picture format of the video
// stream and the audio mode of each AC-3 / E-AC-3 stream (sampled at seven
// places and settled by vote). They read through the scanning chain.
#pragma once

#include <cstdint>
#include <functional>

namespace tw {

class TAnalysisEngine;
class TScanPasses;

class TDetailScans {
public:
    TDetailScans(TAnalysisEngine& engine, TScanPasses& scan) : engine_(engine), scan_(scan) {}

    // Steps the scan reader on from where it stands, at most `limit` packets,
    // until found() holds; keeps the window alive and stops on cancel.
    bool ScanUntil(int64_t limit, const std::function<bool()>& found);
    // Fill the tables' video info; true when the format was found.
    bool ScanH264Details(int pid, int64_t limit);
    bool ScanMpeg2Details(int64_t limit);
    // The audio mode of audio slot `slot` within `budget` packets.
    bool ScanAudioDetails(int slot, int64_t budget);
    // What the last H.264 scan saw of video_full_range_flag.
    bool FullRangeFlag() const { return fullRangeFlag_; }

private:
    TAnalysisEngine& engine_;
    TScanPasses& scan_;
    bool fullRangeFlag_ = false;
};

} // namespace tw
