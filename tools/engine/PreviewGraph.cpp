#include "tools/engine/PreviewGraph.h"

#include <algorithm>
#include <cstdint>

#include "base/SysUtils.h"

namespace tw {

const TOutsideFilter kFileSourceAsync = {"File Source (Async.)", "{E436EBB5-524F-11CE-9F53-0020AF0BA770}", "",
                                         "Output"};
const TOutsideFilter kTessuSplitter = {"Tessu Media Splitter", "{55DA30FC-F16B-49FC-BAA5-AE59FC65F82D}", "", ""};
const TOutsideFilter kMovrakSplitter = {"MPC - Mpeg Source (Movrak)", "{1365BE7A-C86A-473C-9A41-C0A6E82C9FA3}", "",
                                        ""};
const TOutsideFilter kFfdshowVideo = {"ffdshow Video Decoder", "{04FE9017-F873-410E-871E-AB91661A4EF7}", "In",
                                      "Out"};
const TOutsideFilter kFfdshowAudio = {"ffdshow Audio Decoder", "{0F40E1E5-4F79-4988-B1A9-CC98794E6B55}", "In",
                                      "Out"};
const TOutsideFilter kCoreAvcVideo = {"CoreAVC Video Decoder", "{09571A4B-F1FE-4C60-9760-DE6D310C7C31}", "Input",
                                      "Output"};
const TOutsideFilter kElecardMpeg2Video = {"Elecard MPEG-2 Video Decoder", "{BC4EB321-771F-4E9F-AF67-37C631ECA106}",
                                           "MPEG In", "Video Out"};

namespace {
constexpr char kCR = '\r';
} // namespace

bool TFilterGraphBuilder::CheckHResult(THResult r) {
    if (HrSucceeded(r)) return true;
    Log(HResultText(r));
    return false;
}

const TOutsideFilter& TFilterGraphBuilder::VideoDecoder() const {
    switch (Video) {
    case dsvfCoreAVC: return kCoreAvcVideo;
    case dsvfElecardMpeg2: return kElecardMpeg2Video;
    default: return kFfdshowVideo;
    }
}

bool TFilterGraphBuilder::BuildFilterGraph(const std::string& file) {
    if (Splitter == dssfTessu)
        return BuildWithSplitter(file, kTessuSplitter, "Tessu Media", "Tessu Media Splitter");
    if (Splitter == dssfMovrak)
        return BuildWithSplitter(file, kMovrakSplitter, "Movrak Splitter", "Movrak Splitter");
    Log("Try to render file and let Windows automatically connect needed filters");
    if (CheckHResult(graph_.RenderFile(file))) return true;
    Log("Automatic render file failed");
    Log("Try to add File Source (Async.) and let Windows automatically connect needed filters");
    if (AddSourceFilterByClsid(file, kFileSourceAsync, SourceFilter))
        return RenderOutputPinByName(SourceFilter, kFileSourceAsync.OutputPin);
    Log("Adding File Source (Async.) failed");
    return false;
}

// shortName: "Tessu Media" / "Movrak Splitter"; longName: the name in the
// "using ... source" and "added ... source" lines.
bool TFilterGraphBuilder::BuildWithSplitter(const std::string& file, const TOutsideFilter& splitter,
                                            const std::string& shortName, const std::string& longName) {
    Log("Try to render file using " + longName + " source");
    graph_.ReleaseFilter(SourceFilter);
    bool added = CheckHResult(graph_.AddSourceFilter(file, splitter.Name, SourceFilter));
    if (added && !SameText(graph_.FilterClassId(SourceFilter), splitter.ClassId)) {
        // Asked by name for a splitter that is not installed, the graph adds
        // its own file reader under that name instead: that is no splitter.
        Log("Source filter added as " + std::string(splitter.Name) + " is " + graph_.FilterClassId(SourceFilter));
        graph_.RemoveFilter(SourceFilter);
        graph_.ReleaseFilter(SourceFilter);
        added = false;
    }
    if (!added) {
        Log("Rendering file using " + shortName + " failed");
        Log("Try to add " + shortName + " source and let Windows automatically connect needed filters");
        added = AddSourceFilterByClsid(file, splitter, SourceFilter);
    }
    if (!added) {
        Log("Adding " + longName + " source failed");
        graph_.ReleaseFilter(SourceFilter);
        return false;
    }
    Log("Successfully added " + longName + " source");
    bool audioChosen = Audio == dsafffdshow;
    bool videoChosen = Video != dsvfAutomatic;
    if (!audioChosen && !videoChosen) return RenderAllSourcePins(SourceFilter);
    if (audioChosen && videoChosen) {
        ConnectDecoder(SourceFilter, kFfdshowAudio, "Audio");
        return ConnectDecoder(SourceFilter, VideoDecoder(), "Video");
    }
    if (audioChosen) {
        bool ok = RenderOutputPinByName(SourceFilter, "Video");
        if (ok) ConnectDecoder(SourceFilter, kFfdshowAudio, "Audio");
        return ok;
    }
    bool ok = RenderOutputPinByName(SourceFilter, "Audio");
    if (ok) ok = ConnectDecoder(SourceFilter, VideoDecoder(), "Video");
    return ok;
}

bool TFilterGraphBuilder::AddSourceFilterByClsid(const std::string& file, const TOutsideFilter& f, TFilterRef& out) {
    std::string name = f.Name;
    graph_.ReleaseFilter(out);
    THResult r = graph_.CreateFilter(f.ClassId, out);
    if (!CheckHResult(r)) {
        Log("Creating new filter " + name + " failed");
        LastError = "Error CoCreateInstance " + name + kCR + "Error code: 0x" + HResultHex(r);
        return false;
    }
    Log("Successfully created new filter " + name);
    if (!CheckHResult(graph_.AddFilter(out, name))) {
        Log("Adding " + name + " to graph failed");
        return false;
    }
    Log("Successfully added " + name + " to graph");
    if (!CheckHResult(graph_.QueryFileSource(out))) {
        Log("Query file source failed");
        return false;
    }
    Log("Successfully queried file source");
    if (CheckHResult(graph_.LoadFile(file))) {
        Log("Successfully loaded file");
        return true;
    }
    Log("Loading file failed");
    return false;
}

bool TFilterGraphBuilder::ConnectDecoder(TFilterRef splitter, const TOutsideFilter& decoder,
                                         const std::string& splitterPin) {
    std::string name = decoder.Name;
    TFilterRef filter = 0;
    THResult r = graph_.CreateFilter(decoder.ClassId, filter);
    if (!CheckHResult(r)) {
        Log("Creating new filter " + name + " failed");
        LastError = "Error CoCreateInstance " + name + kCR + "Error code: 0x" + HResultHex(r);
        return false;
    }
    // The graph holds the decoder once it is added; our own hold ends here.
    struct Release {
        TPreviewGraph& g;
        TFilterRef& f;
        ~Release() { g.ReleaseFilter(f); }
    } release{graph_, filter};
    Log("Successfully created new filter " + name);
    if (!CheckHResult(graph_.AddFilter(filter, name))) return false;
    Log("Successfully added " + name);
    int outPin = -1, inPin = -1, decoderOut = -1;
    if (FindPinByName(splitter, splitterPin, kPinOutput, outPin) != kS_OK) {
        Log("Getting Mpeg Splitter " + splitterPin + " output pin failed");
        return false;
    }
    if (FindPinByName(filter, decoder.InputPin, kPinInput, inPin) != kS_OK) {
        Log("Getting " + name + " input pin failed");
        return false;
    }
    r = graph_.Connect(splitter, outPin, filter, inPin);
    if (!CheckHResult(r)) {
        Log("Connecting Splitter to Decoder failed");
        LastError = "Error connecting " + name + " pin to source pin!" + kCR + "Error code: 0x" + HResultHex(r);
        return false;
    }
    Log("Connecting Splitter to Decoder successfully");
    r = FindPinByName(filter, decoder.OutputPin, kPinOutput, decoderOut);
    if (r != kS_OK) {
        Log("Getting " + name + " output pin failed");
        LastError = "Error finding " + name + " output pin!" + kCR + "Error code: 0x" + HResultHex(r);
        return false;
    }
    r = graph_.RenderPin(filter, decoderOut);
    if (CheckHResult(r)) {
        Log("Rendering " + name + " successfully");
        return true;
    }
    Log("Rendering " + name + " failed");
    LastError = "Error renderining " + name + " output pin!" + kCR + "Error code: 0x" + HResultHex(r);
    return false;
}

THResult TFilterGraphBuilder::FindPinByName(TFilterRef filter, const std::string& name, int direction, int& pin) {
    pin = -1;
    std::vector<TPinInfo> pins;
    THResult r = graph_.EnumPins(filter, pins);
    if (!CheckHResult(r)) return r;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (!pins[i].InfoOk) continue;
        if (pins[i].Name == name && pins[i].Direction == direction) {
            pin = static_cast<int>(i);
            return kS_OK;
        }
    }
    return kS_FALSE;
}

bool TFilterGraphBuilder::RenderOutputPinByName(TFilterRef filter, const std::string& name) {
    std::vector<TPinInfo> pins;
    if (!CheckHResult(graph_.EnumPins(filter, pins))) return false;
    bool result = false;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (!pins[i].InfoOk || !SameText(pins[i].Name, name)) continue;
        Log("Rendering source pin: " + pins[i].Name);
        result = CheckHResult(graph_.RenderPin(filter, static_cast<int>(i)));
    }
    return result;
}

bool TFilterGraphBuilder::RenderAllSourcePins(TFilterRef filter) {
    std::vector<TPinInfo> pins;
    if (!CheckHResult(graph_.EnumPins(filter, pins))) return false;
    bool result = false;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (!pins[i].InfoOk) continue;
        Log("Rendering source pin: " + pins[i].Name);
        THResult r = graph_.RenderPin(filter, static_cast<int>(i));
        if (UpperCase(pins[i].Name) == "VIDEO") result = CheckHResult(r);
    }
    return result;
}

void TFilterGraphBuilder::RemoveAllFilters() {
    Log("Removing all filters");
    if (!graph_.HasGraph()) {
        Log("Graph already removed");
        return;
    }
    // The graph changes with every removal, so the listing starts again
    // each time. Each filter is asked once: one that refuses to leave, or
    // says it left and is still listed, is passed over from then on, so the
    // pass ends whatever the graph answers. A graph that has let go of a
    // removed filter may list it under a new handle, so the pass also asks no
    // more often than there were filters when it began (none are added).
    std::vector<TFilterRef> asked;
    for (size_t atStart = SIZE_MAX; asked.size() < atStart;) {
        std::vector<TFilterRef> filters;
        std::vector<std::string> names;
        if (!HrSucceeded(graph_.EnumFilters(filters, names))) break;
        if (atStart == SIZE_MAX) atStart = filters.size();
        size_t i = 0;
        while (i < filters.size() && std::find(asked.begin(), asked.end(), filters[i]) != asked.end()) ++i;
        if (i == filters.size()) break;
        bool ok = CheckHResult(graph_.RemoveFilter(filters[i]));
        Log("Removing filter:" + names[i] + " : " + (ok ? "OK" : "Failed"));
        asked.push_back(filters[i]);
    }
}

std::string TFilterGraphBuilder::GraphFilterNames() {
    std::vector<TFilterRef> filters;
    std::vector<std::string> names;
    if (!graph_.HasGraph() || !HrSucceeded(graph_.EnumFilters(filters, names))) return "";
    std::string text;
    for (const std::string& n : names) text += n.substr(0, 128) + "\r\n";
    return Trim(text);
}

bool PollGraphOnce(TPollHost& host) {
    long code = 0;
    intptr_t p1 = 0, p2 = 0;
    if (host.HasMediaEvent() && HrSucceeded(host.GetEvent(code, p1, p2))) {
        // The end-of-media decision may release the event interface, so its
        // parameters are freed before it runs.
        host.FreeEventParams(code, p1, p2);
        if (code == kEcComplete) {
            host.HandleEndOfMedia();
            if (host.Terminated()) return false;
        }
    }
    int64_t current = 0, stop = 0;
    if (host.Terminated()) return false;
    if (host.HasMediaSeeking() && HrSucceeded(host.GetPositions(current, stop))) {
        if (host.Terminated()) return false;
        uint32_t ms = static_cast<uint32_t>(current / kMediaUnitsPerMs);
        bool changed = static_cast<int64_t>(ms) != static_cast<int64_t>(host.MovieTime());
        host.SetMovieTime(ms);
        if (changed) host.FireNewTimeCode();
    }
    return !host.Terminated();
}

} // namespace tw
