#include "tools/engine/CutEditorValues.h"

#include <optional>

namespace tw {

namespace {
// 90 kHz ticks of a time text typed in the editor; nothing for a text with
// slips in it, so that a half-typed time never moves a cut point.
std::optional<int64_t> TypedPts(const std::string& text) {
    if (text.size() < 12) return std::nullopt;
    return PreviewTimeTextToPts(text);
}
} // namespace

TCutPoints ApplyCutEditorTimes(TCutPoints current, int64_t streamLength, const std::string& beginText,
                               const std::string& endText) {
    TCutPoints r = current;
    if (auto begin = TypedPts(beginText); begin && *begin < current.CutOut) r.CutIn = *begin;
    if (auto end = TypedPts(endText); end && *end <= streamLength && *end > r.CutIn) r.CutOut = *end;
    return r;
}

int PositionBarFromMs(int64_t ms, int64_t durationMs, int barMax) {
    if (durationMs <= 0 || ms <= 0) return 0;
    if (ms >= durationMs) return barMax;
    return static_cast<int>(ms * barMax / durationMs);
}

int64_t MsFromPositionBar(int position, int64_t durationMs, int barMax) {
    if (barMax <= 0 || durationMs <= 0) return 0;
    return static_cast<int64_t>(position) * durationMs / barMax;
}

double RateOfSpeedItem(int item) {
    switch (item) {
    case 0: return 0.25;
    case 1: return 0.5;
    case 3: return 1.5;
    case 4: return 2.0;
    default: return 1.0;
    }
}

int SpeedItemOfRate(double rate) {
    if (rate > 0.24 && rate < 0.26) return 0;
    if (rate > 0.49 && rate < 0.51) return 1;
    if (rate > 1.49 && rate < 1.51) return 3;
    if (rate > 1.99 && rate < 2.01) return 4;
    return 2;
}

TPlayerFilterChoice ChoosePlayerFilters(int videoKind, int mpegSplitter, int mpegAudio, int mpegVideo, int h264Video,
                                        const TFilterAvailability& a) {
    TPlayerFilterChoice c;
    std::string prefix;
    if (mpegSplitter == 1 && a.TessuSplitter) {
        c.Splitter = dssfTessu;
        prefix = "[Tessu Splitter] -> ";
    } else if (mpegSplitter == 2 && a.MovrakSplitter) {
        c.Splitter = dssfMovrak;
        prefix = "[Movrak Splitter] -> ";
    } else {
        // Decoders are connected to the splitter's pins; without one the
        // system builds the whole graph.
        mpegAudio = mpegVideo = h264Video = 0;
    }
    c.AudioChain = prefix;
    c.VideoChain = prefix;
    if (mpegAudio == 1 && a.FfdshowAudio) {
        c.Audio = dsafffdshow;
        c.AudioChain += "[ffdshow audio filter] -> [Audio Renderer]";
    } else {
        c.AudioChain += "[Automatic]";
    }
    const std::string ffdshowVideo = "[ffdshow video filter] -> [Video Renderer]";
    if (videoKind != 2) {
        if (mpegVideo == 1 && a.FfdshowVideo) {
            c.Video = dsvfffdshow;
            c.VideoChain += ffdshowVideo;
        } else if (mpegVideo == 2 && a.ElecardMpeg2Video) {
            c.Video = dsvfElecardMpeg2;
            c.VideoChain += "[Elecard MPEG-2 video filter] -> [Video Renderer]";
        } else {
            c.VideoChain = "[Automatic]";
        }
    } else {
        if (h264Video == 1 && a.FfdshowVideo) {
            c.Video = dsvfffdshow;
            c.VideoChain += ffdshowVideo;
        } else if (h264Video == 2 && a.CoreAvcVideo) {
            c.Video = dsvfCoreAVC;
            c.VideoChain += "[CoreAVC filter] -> [Video Renderer]";
        } else {
            c.VideoChain = "[Automatic]";
        }
    }
    return c;
}

} // namespace tw
