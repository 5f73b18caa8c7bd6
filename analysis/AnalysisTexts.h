// The number and format texts of the result panels and the analysis log
// (language-neutral). The language-dependent texts come from MainTexts.h.
#pragma once

#include <string>

namespace tw {

// Panel texts.
// Whole values as integers, others with three decimals ("25", "29.970").
std::string NumberText(double value);
// "48kHz", "44.1kHz", "22kHz".
std::string SampleRateText(int hz);
// The level with one decimal and a point ("4.0").
std::string LevelText(double level);
// Details of the video panel, lines joined by CR.
std::string VideoDetailsText(int width, int height, const std::string& profile, double level, double frameRate,
                             bool interlaced);
// Panel title by stream_type, audio kind and text kind ("H264", "AC3", "Teletext").
std::string PanelStreamTypeName(int streamType, int audioKind, int textKind);

} // namespace tw
