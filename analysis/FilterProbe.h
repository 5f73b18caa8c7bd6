// The main window's probe of the outside DirectShow filters the preview can
// be told to use: which are installed, the lists the log names them in.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/FilterChoices.h"

namespace tw {

struct TFilterProbeResult {
    TFilterAvailability Filters;
    // "Tessu,Movrak" and the like; empty when none was found.
    std::string Splitters;
    std::string AudioFilters;
    std::string VideoFilters;
    std::vector<std::string> LogLines;
};

// isInstalled answers for a filter's friendly name; it is asked in a fixed
// order (splitter, video, audio, CoreAVC, Elecard, Movrak).
TFilterProbeResult ProbeFilters(const std::string& directXVersion,
                                const std::function<bool(const std::string& friendlyName)>& isInstalled);

} // namespace tw
