#include "analysis/FilterChoices.h"

namespace tw {

const std::vector<std::string>& SplitterEntries() {
    static const std::vector<std::string> e{"Default (Merit)", "Tessu Media Splitter", "Movrak Splitter"};
    return e;
}
const std::vector<std::string>& Mpeg2VideoEntries() {
    static const std::vector<std::string> e{"Default (Merit)", "ffdshow Video Filter", "Elecard MPEG-2 Filter"};
    return e;
}
const std::vector<std::string>& H264VideoEntries() {
    static const std::vector<std::string> e{"Default (Merit)", "ffdshow Video Filter", "CoreAVC"};
    return e;
}
const std::vector<std::string>& AudioDecoderEntries() {
    static const std::vector<std::string> e{"Default (Merit)", "ffdshow Audio Filter"};
    return e;
}

std::vector<std::string> ApplySplitterRule(TFilterChoices& c, const TFilterAvailability& a) {
    std::vector<std::string> messages;
    if (c.Splitter == 1 && !a.TessuSplitter) {
        messages.push_back("Tessu Media Splitter not found!");
        c.Splitter = 0;
    } else if (c.Splitter == 2 && !a.MovrakSplitter) {
        messages.push_back("Movrak Media Splitter not found!");
        c.Splitter = 0;
    }
    struct List {
        int& position;
        bool& enabled;
    };
    for (List l : {List{c.Mpeg2Video, c.Mpeg2VideoEnabled}, List{c.H264Video, c.H264VideoEnabled},
                   List{c.Audio, c.AudioEnabled}}) {
        if (c.Splitter == 0) {
            l.enabled = false;
            l.position = 0;
        } else if (!l.enabled) {
            l.enabled = true;
            l.position = 0;
        }
    }
    return messages;
}

namespace {
std::string DecoderMissing(TFilterChoices& c, const char* message) {
    c.Splitter = 0;
    return message;
}
} // namespace

std::string ApplyMpeg2VideoRule(TFilterChoices& c, const TFilterAvailability& a) {
    if (c.Mpeg2Video == 1 && !a.FfdshowVideo) return DecoderMissing(c, "ffdshow video filter not found!");
    if (c.Mpeg2Video == 2 && !a.ElecardMpeg2Video) return DecoderMissing(c, "Elecard MPEG-2 video filter not found!");
    return "";
}

std::string ApplyH264VideoRule(TFilterChoices& c, const TFilterAvailability& a) {
    if (c.H264Video == 1 && !a.FfdshowVideo) return DecoderMissing(c, "ffdshow video filter not found!");
    if (c.H264Video == 2 && !a.CoreAvcVideo) return DecoderMissing(c, "CoreAVC video filter not found!");
    return "";
}

std::string ApplyAudioDecoderRule(TFilterChoices& c, const TFilterAvailability& a) {
    if (c.Audio == 1 && !a.FfdshowAudio) return DecoderMissing(c, "ffdshow audio filter not found!");
    return "";
}

} // namespace tw
