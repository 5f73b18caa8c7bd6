// The preview's splitter and decoder choices of the preferences dialog and
// the rules that keep them to filters the probe found installed.
#pragma once

#include <string>
#include <vector>

namespace tw {

// What the DirectShow filter probe found; everything missing until it ran.
struct TFilterAvailability {
    bool TessuSplitter = false;
    bool MovrakSplitter = false;
    bool FfdshowVideo = false;
    bool FfdshowAudio = false;
    bool CoreAvcVideo = false;
    bool ElecardMpeg2Video = false;
    std::string DirectXVersion;
};

// Positions in the four lists and whether each decoder list is enabled.
// Position 0 of every list is "Default (Merit)".
struct TFilterChoices {
    int Splitter = 0;
    int Mpeg2Video = 0;
    int H264Video = 0;
    int Audio = 0;
    bool Mpeg2VideoEnabled = false;
    bool H264VideoEnabled = false;
    bool AudioEnabled = false;
};

// The fixed list entries, in their order.
const std::vector<std::string>& SplitterEntries();
const std::vector<std::string>& Mpeg2VideoEntries();
const std::vector<std::string>& H264VideoEntries();
const std::vector<std::string>& AudioDecoderEntries();

// The splitter rule: a splitter that is not installed is reported and reset
// to the default; the default disables and resets the decoder lists, any
// other splitter enables the disabled ones at their default (an enabled
// list keeps its choice). Returns the messages to show, in order.
std::vector<std::string> ApplySplitterRule(TFilterChoices& c, const TFilterAvailability& a);
// The decoder rules, each on a change of its own list: a decoder that is not
// installed is reported and the splitter (not the decoder list) goes back to
// the default. Returns the message, or "" when the choice stands.
std::string ApplyMpeg2VideoRule(TFilterChoices& c, const TFilterAvailability& a);
std::string ApplyH264VideoRule(TFilterChoices& c, const TFilterAvailability& a);
std::string ApplyAudioDecoderRule(TFilterChoices& c, const TFilterAvailability& a);

} // namespace tw
