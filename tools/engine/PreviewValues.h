// Values of the cut editor's video preview that need no DirectShow: the
// filter choices, result texts, time texts, volume in decibels, frame timing,
// the video's place in the player and the debug log's line layout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tw {

enum TDSSplitterFilter { dssfAutomatic, dssfTessu, dssfMovrak };
enum TDSVideoFilter { dsvfAutomatic, dsvfffdshow, dsvfCoreAVC, dsvfElecardMpeg2 };
enum TDSAudioFilter { dsafAutomatic, dsafffdshow };

// A COM result code, kept portable.
using THResult = int32_t;
constexpr THResult kS_OK = 0;
constexpr THResult kS_FALSE = 1;
constexpr THResult kE_NOTIMPL = static_cast<THResult>(0x80004001u);
constexpr THResult kE_ABORT = static_cast<THResult>(0x80004004u);
constexpr THResult kE_FAIL = static_cast<THResult>(0x80004005u);
inline bool HrSucceeded(THResult r) { return r >= 0; }

// The short English text of a DirectShow failure, "Unknown DirectX error"
// for other failures, empty for success codes.
std::string HResultText(THResult code);
// Eight upper-case hexadecimal digits.
std::string HResultHex(THResult code);

// DirectShow media times count 100 ns units.
constexpr int64_t kMediaUnitsPerMs = 10000;

// The player's position as "hh:mm:ss.zzz"; the hours wrap at 100 (the main
// window's time texts drop whole days instead).
std::string PreviewMsToTimeText(uint32_t ms);
// 90 kHz ticks of a typed time text; a text shorter than 12 characters gives
// 0, one whose fields are not all digits gives no answer.
std::optional<int64_t> PreviewTimeTextToPts(const std::string& text);

// Volume percent 0..100 to hundredths of a decibel (-10000..0) and back.
int VolumePercentToDb(int percent);
int VolumeDbToPercent(long db);

// From the video's average time per frame in seconds; outside (0, 1] both
// values are 0.
struct TFrameTiming {
    bool Valid = false;
    double FramesPerSecond = 0.0;
    int FrameMs = 0;
};
TFrameTiming FrameTimingFrom(double avgTimePerFrame);

struct TVideoRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TVideoRect& o) const {
        return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
    }
};
// The largest rectangle of the video's aspect centred in the control.
TVideoRect FitToAspect(int width, int height, int videoWidth, int videoHeight);

// A relative seek in media units, kept between 0 and the stop position.
int64_t ClampedSeekTarget(int64_t current, int64_t deltaMs, int64_t stop);

// The debug log's form of a message: the time before its first line, as
// many blanks before every further line; each line ends in CR LF.
std::string DebugLogText(const std::string& text, const std::string& timeText);

} // namespace tw
