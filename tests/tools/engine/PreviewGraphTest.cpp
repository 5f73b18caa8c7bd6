// The preview's graph-building decisions on a fake graph that behaves like
// DirectShow under Wine: a source asked for by a name that is not installed
// comes back as the file reader labelled with that name.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tools/engine/PreviewGraph.h"

using namespace tw;

namespace {

constexpr THResult kClassNotRegistered = static_cast<THResult>(0x80040154u);
constexpr THResult kCanNotRender = static_cast<THResult>(0x80040218u);
constexpr THResult kCanNotConnect = static_cast<THResult>(0x80040217u);

struct FakeFilter {
    std::string Name;
    std::string ClassId;
    std::vector<TPinInfo> Pins;
    bool InGraph = false;
    THResult RemoveResult = kS_OK;
    bool StaysAfterRemoval = false; // answers S_OK yet is still listed
    // ... and listed under a new handle, as the real graph does once it has
    // let go of a removed filter (a few times, so a faulty pass still ends).
    int RelistsUnderNewHandle = 0;
};

class FakeGraph : public TPreviewGraph {
public:
    // Filters that CreateFilter can make, by class identifier.
    std::map<std::string, FakeFilter> Installed;
    THResult RenderFileResult = kCanNotRender;
    // Render results by pin name (S_OK when absent).
    std::map<std::string, THResult> RenderResults;
    THResult ConnectResult = kS_OK;
    THResult EnumPinsResult = kS_OK;
    std::vector<FakeFilter> Filters; // handle = index + 1
    std::vector<std::string> Calls;
    bool Graph = true;

    FakeGraph() {
        Installed[kFileSourceAsync.ClassId] = {kFileSourceAsync.Name, kFileSourceAsync.ClassId, {{true, "Output", kPinOutput}}};
    }
    void InstallSplitter(const TOutsideFilter& f) {
        Installed[f.ClassId] = {f.Name, f.ClassId, {{true, "Video", kPinOutput}, {true, "Audio", kPinOutput}}};
    }
    void InstallDecoder(const TOutsideFilter& f) {
        Installed[f.ClassId] = {f.Name, f.ClassId, {{true, f.InputPin, kPinInput}, {true, f.OutputPin, kPinOutput}}};
    }
    FakeFilter& At(TFilterRef f) { return Filters.at(static_cast<size_t>(f - 1)); }
    std::vector<std::string> InGraph() {
        std::vector<std::string> names;
        for (const FakeFilter& f : Filters)
            if (f.InGraph) names.push_back(f.Name);
        return names;
    }

    bool HasGraph() const override { return Graph; }
    THResult RenderFile(const std::string&) override {
        Calls.push_back("RenderFile");
        return RenderFileResult;
    }
    THResult AddSourceFilter(const std::string&, const std::string& name, TFilterRef& filter) override {
        Calls.push_back("AddSourceFilter " + name);
        FakeFilter f = Installed[kFileSourceAsync.ClassId];
        for (const auto& [id, known] : Installed)
            if (known.Name == name) f = known;
        f.Name = name;
        f.InGraph = true;
        Filters.push_back(f);
        filter = static_cast<TFilterRef>(Filters.size());
        return kS_OK;
    }
    std::string FilterClassId(TFilterRef f) override { return At(f).ClassId; }
    THResult CreateFilter(const std::string& classId, TFilterRef& filter) override {
        Calls.push_back("CreateFilter " + classId);
        auto it = Installed.find(classId);
        if (it == Installed.end()) return kClassNotRegistered;
        Filters.push_back(it->second);
        filter = static_cast<TFilterRef>(Filters.size());
        return kS_OK;
    }
    THResult AddFilter(TFilterRef f, const std::string& name) override {
        At(f).InGraph = true;
        At(f).Name = name;
        return kS_OK;
    }
    THResult QueryFileSource(TFilterRef) override { return kS_OK; }
    THResult LoadFile(const std::string&) override { return kS_OK; }
    THResult EnumPins(TFilterRef f, std::vector<TPinInfo>& pins) override {
        if (EnumPinsResult != kS_OK) return EnumPinsResult;
        pins = At(f).Pins;
        return kS_OK;
    }
    THResult RenderPin(TFilterRef f, int pin) override {
        const std::string& name = At(f).Pins.at(static_cast<size_t>(pin)).Name;
        Calls.push_back("Render " + At(f).Name + "." + name);
        auto it = RenderResults.find(name);
        return it == RenderResults.end() ? kS_OK : it->second;
    }
    THResult Connect(TFilterRef from, int outPin, TFilterRef to, int inPin) override {
        Calls.push_back("Connect " + At(from).Pins.at(static_cast<size_t>(outPin)).Name + " -> " + At(to).Name + "." +
                        At(to).Pins.at(static_cast<size_t>(inPin)).Name);
        return ConnectResult;
    }
    THResult EnumFilters(std::vector<TFilterRef>& filters, std::vector<std::string>& names) override {
        for (size_t i = 0; i < Filters.size(); ++i)
            if (Filters[i].InGraph) {
                filters.push_back(static_cast<TFilterRef>(i + 1));
                names.push_back(Filters[i].Name);
            }
        return kS_OK;
    }
    THResult RemoveFilter(TFilterRef f) override {
        Calls.push_back("Remove " + At(f).Name);
        const THResult r = At(f).RemoveResult;
        if (r == kS_OK && At(f).RelistsUnderNewHandle > 0) {
            FakeFilter again = At(f);
            --again.RelistsUnderNewHandle;
            At(f).InGraph = false;
            Filters.push_back(again);
        } else if (r == kS_OK && !At(f).StaysAfterRemoval) {
            At(f).InGraph = false;
        }
        return r;
    }
    void ReleaseFilter(TFilterRef& f) override { f = 0; }
};

struct Built {
    FakeGraph graph;
    std::vector<std::string> log;
    TFilterGraphBuilder builder{graph, [this](const std::string& s) { log.push_back(s); }};
    bool Logged(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }
};

} // namespace

TEST(PreviewGraph, AutomaticRendersTheFileOrFallsBackToTheFileSource) {
    Built ok;
    ok.graph.RenderFileResult = kS_OK;
    ok.builder.Video = dsvfCoreAVC; // decoder choices mean nothing without a splitter
    ok.builder.Audio = dsafffdshow;
    EXPECT_TRUE(ok.builder.BuildFilterGraph("a.ts"));
    EXPECT_EQ(ok.graph.Calls, std::vector<std::string>{"RenderFile"});
    EXPECT_EQ(ok.builder.SourceFilter, 0);

    Built fallback;
    EXPECT_TRUE(fallback.builder.BuildFilterGraph("a.ts"));
    EXPECT_EQ(fallback.graph.Calls, (std::vector<std::string>{"RenderFile", "CreateFilter " + std::string(kFileSourceAsync.ClassId),
                                                              "Render File Source (Async.).Output"}));
    EXPECT_TRUE(fallback.Logged("Can not render"));
    EXPECT_TRUE(fallback.Logged("Automatic render file failed"));
    EXPECT_TRUE(fallback.Logged("Rendering source pin: Output"));
    EXPECT_NE(fallback.builder.SourceFilter, 0);

    // Random bytes: neither way renders.
    Built neither;
    neither.graph.RenderResults["Output"] = kCanNotRender;
    EXPECT_FALSE(neither.builder.BuildFilterGraph("a.ts"));
}

TEST(PreviewGraph, NamedSplitterThatIsNotInstalledFailsWithTheCreationError) {
    for (TDSSplitterFilter choice : {dssfTessu, dssfMovrak}) {
        Built b;
        b.builder.Splitter = choice;
        EXPECT_FALSE(b.builder.BuildFilterGraph("a.ts"));
        const TOutsideFilter& splitter = choice == dssfTessu ? kTessuSplitter : kMovrakSplitter;
        // The file reader the graph added under the splitter's name is taken
        // out again rather than used as a splitter.
        EXPECT_TRUE(b.graph.InGraph().empty());
        EXPECT_EQ(b.builder.LastError,
                  "Error CoCreateInstance " + std::string(splitter.Name) + "\rError code: 0x80040154");
        EXPECT_EQ(b.builder.SourceFilter, 0);
        if (choice == dssfTessu) {
            EXPECT_TRUE(b.Logged("Rendering file using Tessu Media failed"));
            EXPECT_TRUE(b.Logged("Adding Tessu Media Splitter source failed"));
        } else {
            EXPECT_TRUE(b.Logged("Try to add Movrak Splitter source and let Windows automatically connect needed filters"));
            EXPECT_TRUE(b.Logged("Adding Movrak Splitter source failed"));
        }
    }
}

TEST(PreviewGraph, SplitterWithAutomaticDecodersIsJudgedByItsVideoPin) {
    Built b;
    b.graph.InstallSplitter(kTessuSplitter);
    b.graph.Installed[kTessuSplitter.ClassId].Pins[0].Name = "vIdEo";
    b.graph.RenderResults["Audio"] = kCanNotRender;
    b.builder.Splitter = dssfTessu;
    EXPECT_TRUE(b.builder.BuildFilterGraph("a.ts"));
    EXPECT_TRUE(b.Logged("Successfully added Tessu Media Splitter source"));
    EXPECT_TRUE(b.Logged("Rendering source pin: Audio"));

    Built noVideo;
    noVideo.graph.InstallSplitter(kTessuSplitter);
    noVideo.graph.RenderResults["Video"] = kCanNotRender;
    noVideo.builder.Splitter = dssfTessu;
    EXPECT_FALSE(noVideo.builder.BuildFilterGraph("a.ts"));
}

TEST(PreviewGraph, ChosenDecodersAreConnectedToTheSplitterPins) {
    // Audio decoder only: the graph renders the video, ffdshow takes the
    // audio, and its failure does not stop the opening.
    Built audio;
    audio.graph.InstallSplitter(kMovrakSplitter);
    audio.builder.Splitter = dssfMovrak;
    audio.builder.Audio = dsafffdshow;
    EXPECT_TRUE(audio.builder.BuildFilterGraph("a.ts"));
    EXPECT_EQ(audio.builder.LastError, "Error CoCreateInstance ffdshow Audio Decoder\rError code: 0x80040154");
    EXPECT_EQ(audio.graph.Calls.back(), "CreateFilter " + std::string(kFfdshowAudio.ClassId));
    EXPECT_TRUE(audio.Logged("Rendering source pin: Video"));

    // Video decoder only: the audio pin first, then the decoder decides.
    Built video;
    video.graph.InstallSplitter(kTessuSplitter);
    video.graph.InstallDecoder(kElecardMpeg2Video);
    video.builder.Splitter = dssfTessu;
    video.builder.Video = dsvfElecardMpeg2;
    EXPECT_TRUE(video.builder.BuildFilterGraph("a.ts"));
    EXPECT_NE(std::find(video.graph.Calls.begin(), video.graph.Calls.end(),
                        "Connect Video -> Elecard MPEG-2 Video Decoder.MPEG In"),
              video.graph.Calls.end());
    EXPECT_EQ(video.graph.Calls.back(), "Render Elecard MPEG-2 Video Decoder.Video Out");
    EXPECT_TRUE(video.Logged("Rendering Elecard MPEG-2 Video Decoder successfully"));

    // Both: the audio decoder's result is not used, the video decoder's is.
    Built both;
    both.graph.InstallSplitter(kTessuSplitter);
    both.graph.InstallDecoder(kCoreAvcVideo);
    both.builder.Splitter = dssfTessu;
    both.builder.Video = dsvfCoreAVC;
    both.builder.Audio = dsafffdshow;
    EXPECT_TRUE(both.builder.BuildFilterGraph("a.ts"));
    both.graph.RenderResults["Output"] = kCanNotRender;
    EXPECT_FALSE(both.builder.BuildFilterGraph("a.ts"));
    EXPECT_EQ(both.builder.LastError, "Error renderining CoreAVC Video Decoder output pin!\rError code: 0x80040218");
}

TEST(PreviewGraph, ConnectDecoderFailures) {
    Built b;
    b.graph.InstallSplitter(kTessuSplitter);
    b.graph.InstallDecoder(kFfdshowVideo);
    b.graph.Installed[kFfdshowVideo.ClassId].Pins[0].Name = "Input"; // where "In" is expected
    TFilterRef splitter = 0;
    ASSERT_EQ(b.graph.CreateFilter(kTessuSplitter.ClassId, splitter), kS_OK);
    EXPECT_FALSE(b.builder.ConnectDecoder(splitter, kFfdshowVideo, "Video"));
    EXPECT_TRUE(b.Logged("Getting ffdshow Video Decoder input pin failed"));

    EXPECT_FALSE(b.builder.ConnectDecoder(splitter, kFfdshowVideo, "Subtitles"));
    EXPECT_TRUE(b.Logged("Getting Mpeg Splitter Subtitles output pin failed"));

    b.graph.Installed[kFfdshowVideo.ClassId].Pins[0].Name = "In";
    b.graph.ConnectResult = kCanNotConnect;
    EXPECT_FALSE(b.builder.ConnectDecoder(splitter, kFfdshowVideo, "Video"));
    EXPECT_EQ(b.builder.LastError, "Error connecting ffdshow Video Decoder pin to source pin!\rError code: 0x80040217");

    b.graph.ConnectResult = kS_OK;
    b.graph.Installed[kFfdshowVideo.ClassId].Pins[1].Direction = kPinInput;
    EXPECT_FALSE(b.builder.ConnectDecoder(splitter, kFfdshowVideo, "Video"));
    EXPECT_EQ(b.builder.LastError, "Error finding ffdshow Video Decoder output pin!\rError code: 0x00000001");
}

TEST(PreviewGraph, PinsAreFoundByExactNameAndDirection) {
    Built b;
    b.graph.InstallSplitter(kTessuSplitter);
    TFilterRef f = 0;
    b.graph.CreateFilter(kTessuSplitter.ClassId, f);
    b.graph.At(f).Pins.insert(b.graph.At(f).Pins.begin(), TPinInfo{false, "Audio", kPinOutput});
    int pin = -1;
    EXPECT_EQ(b.builder.FindPinByName(f, "Audio", kPinOutput, pin), kS_OK);
    EXPECT_EQ(pin, 2); // the pin whose information failed is passed over
    EXPECT_EQ(b.builder.FindPinByName(f, "audio", kPinOutput, pin), kS_FALSE);
    EXPECT_EQ(b.builder.FindPinByName(f, "Audio", kPinInput, pin), kS_FALSE);
    EXPECT_EQ(pin, -1);
    b.graph.EnumPinsResult = kE_FAIL;
    EXPECT_EQ(b.builder.FindPinByName(f, "Audio", kPinOutput, pin), kE_FAIL);
    EXPECT_FALSE(b.builder.RenderOutputPinByName(f, "Audio"));
    EXPECT_FALSE(b.builder.RenderAllSourcePins(f));
}

TEST(PreviewGraph, RemovingAllFiltersEndsAlsoWhenOneStays) {
    Built b;
    for (const char* n : {"Reader", "Splitter", "Renderer"}) {
        b.graph.Filters.push_back({n, "{}", {}, true});
    }
    b.graph.Filters[1].RemoveResult = kE_FAIL;
    EXPECT_EQ(b.builder.GraphFilterNames(), "Reader\r\nSplitter\r\nRenderer");
    b.builder.RemoveAllFilters();
    EXPECT_EQ(b.graph.InGraph(), std::vector<std::string>{"Splitter"});
    EXPECT_EQ(b.graph.Calls, (std::vector<std::string>{"Remove Reader", "Remove Splitter", "Remove Renderer"}));
    EXPECT_TRUE(b.Logged("Removing filter:Splitter : Failed"));
    EXPECT_TRUE(b.Logged("Removing filter:Renderer : OK"));

    // A filter whose removal says yes while the graph still lists it is
    // asked once, and the pass still ends.
    b.graph.Filters[1].RemoveResult = kS_OK;
    b.graph.Filters[1].StaysAfterRemoval = true;
    b.graph.Calls.clear();
    b.builder.RemoveAllFilters();
    EXPECT_EQ(b.graph.Calls, std::vector<std::string>{"Remove Splitter"});

    // The same when the graph lists it under a new handle each time: the
    // pass asks no more often than there were filters when it began.
    b.graph.Filters[1].StaysAfterRemoval = false;
    b.graph.Filters[1].RelistsUnderNewHandle = 20;
    b.graph.Calls.clear();
    b.builder.RemoveAllFilters();
    EXPECT_EQ(b.graph.Calls, std::vector<std::string>{"Remove Splitter"});

    b.graph.Graph = false;
    b.log.clear();
    b.builder.RemoveAllFilters();
    EXPECT_EQ(b.log, (std::vector<std::string>{"Removing all filters", "Graph already removed"}));
    EXPECT_EQ(b.builder.GraphFilterNames(), "");
}

namespace {

class FakePoll : public TPollHost {
public:
    std::vector<std::string> Calls;
    THResult EventResult = kE_ABORT;
    long EventCode = 0;
    bool EventHeld = true;
    bool StopAtEnd = true;
    int64_t Position = 0;
    uint32_t Time = 0;
    bool Stop = false;

    bool Terminated() const override { return Stop; }
    bool HasMediaEvent() const override { return EventHeld; }
    THResult GetEvent(long& code, intptr_t& p1, intptr_t& p2) override {
        code = EventCode;
        p1 = 11;
        p2 = 22;
        return EventResult;
    }
    void FreeEventParams(long, intptr_t, intptr_t) override {
        Calls.push_back(EventHeld ? "free" : "free after release");
    }
    void HandleEndOfMedia() override {
        Calls.push_back("end of media");
        if (StopAtEnd) {
            EventHeld = false; // the graph is torn down
            Stop = true;
        }
    }
    bool HasMediaSeeking() const override { return true; }
    THResult GetPositions(int64_t& current, int64_t& stop) override {
        current = Position;
        stop = 0;
        return kS_OK;
    }
    uint32_t MovieTime() const override { return Time; }
    void SetMovieTime(uint32_t ms) override { Time = ms; }
    void FireNewTimeCode() override { Calls.push_back("time " + std::to_string(Time)); }
};

} // namespace

TEST(PreviewGraph, PollFreesEventsBeforeTheEndOfMediaTearsTheGraphDown) {
    FakePoll p;
    p.Position = 40 * kMediaUnitsPerMs + 9999;
    EXPECT_TRUE(PollGraphOnce(p)); // no event waiting
    EXPECT_TRUE(PollGraphOnce(p)); // same millisecond: no second time event
    EXPECT_EQ(p.Calls, std::vector<std::string>{"time 40"});

    p.Calls.clear();
    p.EventResult = kS_OK;
    p.EventCode = 14; // any other event is only freed
    EXPECT_TRUE(PollGraphOnce(p));
    EXPECT_EQ(p.Calls, std::vector<std::string>{"free"});

    p.Calls.clear();
    p.EventCode = kEcComplete;
    EXPECT_FALSE(PollGraphOnce(p));
    EXPECT_EQ(p.Calls, (std::vector<std::string>{"free", "end of media"}));
    EXPECT_EQ(p.Time, 40u); // nothing read from a graph that is gone

    FakePoll paused;
    paused.StopAtEnd = false; // the owner chose to pause: polling goes on
    paused.EventResult = kS_OK;
    paused.EventCode = kEcComplete;
    paused.Position = 5000 * kMediaUnitsPerMs;
    EXPECT_TRUE(PollGraphOnce(paused));
    EXPECT_EQ(paused.Calls, (std::vector<std::string>{"free", "end of media", "time 5000"}));
}
