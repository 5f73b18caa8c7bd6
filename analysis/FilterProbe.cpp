#include "analysis/FilterProbe.h"

namespace tw {

namespace {

void AddListLine(TFilterProbeResult& r, const char* label, const std::string& list) {
    if (!list.empty()) r.LogLines.push_back(label + list);
}

std::string WithoutTrailingComma(std::string s) {
    if (!s.empty() && s.back() == ',') s.pop_back();
    return s;
}

} // namespace

TFilterProbeResult ProbeFilters(const std::string& directXVersion,
                                const std::function<bool(const std::string& friendlyName)>& isInstalled) {
    TFilterProbeResult r;
    TFilterAvailability& f = r.Filters;
    f.DirectXVersion = directXVersion;
    r.LogLines.push_back("DirectX Version: " + directXVersion);
    f.TessuSplitter = isInstalled("Tessu Media Splitter");
    f.FfdshowVideo = isInstalled("ffdshow Video Decoder");
    f.FfdshowAudio = isInstalled("ffdshow Audio Decoder");
    f.CoreAvcVideo = isInstalled("CoreAVC Video Decoder");
    f.ElecardMpeg2Video = isInstalled("Elecard MPEG-2 Video Decoder");
    f.MovrakSplitter = isInstalled("MPC - Mpeg Source (Movrak)");

    std::string splitters, audio, video;
    if (f.TessuSplitter) splitters += "Tessu,";
    if (f.MovrakSplitter) splitters += "Movrak,";
    if (f.FfdshowAudio) audio += "ffdshow,";
    if (f.FfdshowVideo) video += "ffdshow,";
    if (f.CoreAvcVideo) video += "CoreAVC,";
    r.Splitters = WithoutTrailingComma(splitters);
    r.AudioFilters = WithoutTrailingComma(audio);
    r.VideoFilters = WithoutTrailingComma(video);
    AddListLine(r, "Supported splitter filter found: ", r.Splitters);
    AddListLine(r, "Supported audio filter found   : ", r.AudioFilters);
    AddListLine(r, "Supported video filter found   : ", r.VideoFilters);
    return r;
}

} // namespace tw
