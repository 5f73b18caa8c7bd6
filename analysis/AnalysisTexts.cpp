#include "analysis/AnalysisTexts.h"

#include <cmath>

#include "base/Rounding.h"
#include "base/SysUtils.h"

namespace tw {

std::string NumberText(double value) {
    const int64_t r = RoundHalfEven(value);
    if (static_cast<double>(r) == value) return IntToStr(r);
    return Format("%.3f", value);
}

std::string SampleRateText(int hz) {
    std::string s = IntToStr(hz / 1000);
    const int64_t tenth = Round(static_cast<double>(hz % 1000) / 100.0);
    if (tenth > 0) s += "." + IntToStr(tenth);
    return s + "kHz";
}

std::string LevelText(double level) { return Format("%.1f", level); }

std::string VideoDetailsText(int width, int height, const std::string& profile, double level, double frameRate,
                             bool interlaced) {
    std::string lines[3];
    if (!profile.empty()) {
        lines[0] = profile;
        if (level > 0) lines[0] += "@" + LevelText(level);
    } else if (level > 0) {
        lines[0] = LevelText(level);
    }
    if (frameRate > 0)
        lines[1] = NumberText(frameRate) + (interlaced ? " FPS interlaced" : " FPS progressive");
    else
        lines[1] = interlaced ? "Interlaced" : "Progessiv";
    if (width >= 1 && height >= 1) lines[2] = IntToStr(width) + " x " + IntToStr(height);
    std::string out;
    for (const std::string& l : lines) {
        if (l.empty()) continue;
        if (!out.empty()) out += "\r";
        out += l;
    }
    return out;
}

std::string PanelStreamTypeName(int streamType, int audioKind, int textKind) {
    switch (audioKind) {
    case 2: return "AC3";
    case 3: return "DTS";
    case 4: return "AAC";
    case 5: return "E-AC3";
    default: break;
    }
    switch (streamType) {
    case 2: return "MPEG2";
    case 3:
    case 4: return "MPEG";
    case 27: return "H264";
    case 234: return "VC-1";
    case 17: return "HE-AAC+";
    case 6: return textKind == 1 ? "Teletext" : textKind == 2 ? "Subtitle" : "Text";
    default: return "Unknown";
    }
}

} // namespace tw
