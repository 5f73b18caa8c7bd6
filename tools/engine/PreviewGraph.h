// How the preview's filter graph is built and taken down: which splitter and
// decoders are used, the fall-backs, the pins rendered, and one poll of the
// graph's events and position. Written against TPreviewGraph, which the play
// thread implements over DirectShow and the tests over a fake.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/engine/PreviewValues.h"

namespace tw {

// The graph's handle of one filter; 0 is none. The same filter keeps its
// handle for as long as the graph holds it.
using TFilterRef = int;
constexpr int kPinInput = 0;
constexpr int kPinOutput = 1;

struct TPinInfo {
    bool InfoOk = true; // QueryPinInfo answered
    std::string Name;
    int Direction = kPinOutput;
};

class TPreviewGraph {
public:
    virtual ~TPreviewGraph() = default;
    virtual bool HasGraph() const = 0;
    virtual THResult RenderFile(const std::string& file) = 0;
    // Adds the file's source filter under the name.
    virtual THResult AddSourceFilter(const std::string& file, const std::string& name, TFilterRef& filter) = 0;
    // The filter's class identifier in the registry form, upper case.
    virtual std::string FilterClassId(TFilterRef filter) = 0;
    virtual THResult CreateFilter(const std::string& classId, TFilterRef& filter) = 0;
    virtual THResult AddFilter(TFilterRef filter, const std::string& name) = 0;
    // Queries the filter's file-source interface (kept as the graph's file
    // source) and loads the file through it.
    virtual THResult QueryFileSource(TFilterRef filter) = 0;
    virtual THResult LoadFile(const std::string& file) = 0;
    virtual THResult EnumPins(TFilterRef filter, std::vector<TPinInfo>& pins) = 0;
    virtual THResult RenderPin(TFilterRef filter, int pin) = 0;
    virtual THResult Connect(TFilterRef from, int outPin, TFilterRef to, int inPin) = 0;
    // The filters now in the graph, in the graph's order.
    virtual THResult EnumFilters(std::vector<TFilterRef>& filters, std::vector<std::string>& names) = 0;
    virtual THResult RemoveFilter(TFilterRef filter) = 0;
    // Gives up this side's hold of the filter; the handle becomes 0.
    virtual void ReleaseFilter(TFilterRef& filter) = 0;
};

// The outside filters the preview can be told to use.
struct TOutsideFilter {
    const char* Name;
    const char* ClassId;
    const char* InputPin;
    const char* OutputPin;
};
extern const TOutsideFilter kFileSourceAsync;
extern const TOutsideFilter kTessuSplitter;
extern const TOutsideFilter kMovrakSplitter;
extern const TOutsideFilter kFfdshowVideo;
extern const TOutsideFilter kFfdshowAudio;
extern const TOutsideFilter kCoreAvcVideo;
extern const TOutsideFilter kElecardMpeg2Video;

class TFilterGraphBuilder {
public:
    using TLog = std::function<void(const std::string&)>;
    TFilterGraphBuilder(TPreviewGraph& graph, TLog log) : graph_(graph), log_(std::move(log)) {}

    TDSSplitterFilter Splitter = dssfAutomatic;
    TDSVideoFilter Video = dsvfAutomatic;
    TDSAudioFilter Audio = dsafAutomatic;
    // Detail of the last failure described here, for the failure message.
    std::string LastError;
    // The splitter or file source the graph was built from, when added here.
    TFilterRef SourceFilter = 0;

    // True for success; a failure's text goes to the log.
    bool CheckHResult(THResult r);
    bool BuildFilterGraph(const std::string& file);
    bool AddSourceFilterByClsid(const std::string& file, const TOutsideFilter& f, TFilterRef& out);
    bool ConnectDecoder(TFilterRef splitter, const TOutsideFilter& decoder, const std::string& splitterPin);
    // S_OK with the pin's index, S_FALSE when no pin matches, or the
    // failure of listing the pins.
    THResult FindPinByName(TFilterRef filter, const std::string& name, int direction, int& pin);
    bool RenderOutputPinByName(TFilterRef filter, const std::string& name);
    bool RenderAllSourcePins(TFilterRef filter);
    // Ends also when a filter refuses to leave the graph.
    void RemoveAllFilters();
    // The graph's filter names, one per line.
    std::string GraphFilterNames();

private:
    void Log(const std::string& s) {
        if (log_) log_(s);
    }
    bool BuildWithSplitter(const std::string& file, const TOutsideFilter& splitter, const std::string& shortName,
                           const std::string& usingText);
    const TOutsideFilter& VideoDecoder() const;

    TPreviewGraph& graph_;
    TLog log_;
};

// One round of the play thread's poll, through the thread's side.
class TPollHost {
public:
    virtual ~TPollHost() = default;
    virtual bool Terminated() const = 0;
    virtual bool HasMediaEvent() const = 0;
    virtual THResult GetEvent(long& code, intptr_t& p1, intptr_t& p2) = 0;
    virtual void FreeEventParams(long code, intptr_t p1, intptr_t p2) = 0;
    // Runs the end-of-media decision on the user-interface thread; it may
    // tear the graph down and tell the thread to stop.
    virtual void HandleEndOfMedia() = 0;
    virtual bool HasMediaSeeking() const = 0;
    virtual THResult GetPositions(int64_t& current, int64_t& stop) = 0;
    virtual uint32_t MovieTime() const = 0;
    virtual void SetMovieTime(uint32_t ms) = 0;
    virtual void FireNewTimeCode() = 0;
};

constexpr long kEcComplete = 1;

// Fetches one event without waiting and reports a changed position. False
// when the thread was told to stop.
bool PollGraphOnce(TPollHost& host);

} // namespace tw
