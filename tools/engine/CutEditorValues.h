// The cut editor's decisions that need no window: which typed cut points the
// main window takes, the position bar's mapping, the speed box and the
// preview's filter choice from the settings.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/FilterChoices.h"
#include "tools/engine/PreviewValues.h"

namespace tw {

// The main window's cut points, 90 kHz from the stream start.
struct TCutPoints {
    int64_t CutIn = 0;
    int64_t CutOut = 0;
};

// The begin is taken when it lies before the current cut-out, then the end
// when it lies after that cut-in and not past the stream. A text that is not
// a time text leaves its point as it was.
TCutPoints ApplyCutEditorTimes(TCutPoints current, int64_t streamLength, const std::string& beginText,
                               const std::string& endText);

// Position bar <-> milliseconds; a media without a duration keeps the bar at 0.
int PositionBarFromMs(int64_t ms, int64_t durationMs, int barMax);
int64_t MsFromPositionBar(int position, int64_t durationMs, int barMax);

// The speed box: the rate of an item, and the item that shows a rate read back.
double RateOfSpeedItem(int item);
int SpeedItemOfRate(double rate);

struct TPlayerFilterChoice {
    TDSSplitterFilter Splitter = dssfAutomatic;
    TDSAudioFilter Audio = dsafAutomatic;
    TDSVideoFilter Video = dsvfAutomatic;
    std::string AudioChain;
    std::string VideoChain;
};

// From the settings MpegSplitter, MpegAudioFilter, MpegVideoFilter and
// H264VideoFilter and what the probe found; videoKind 2 is H.264.
TPlayerFilterChoice ChoosePlayerFilters(int videoKind, int mpegSplitter, int mpegAudio, int mpegVideo, int h264Video,
                                        const TFilterAvailability& a);

} // namespace tw
