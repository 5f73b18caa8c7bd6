#include "tools/PlayThread.h"

#include <cmath>
#include <cwchar>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tools/OrvalinPlayer.h"

namespace tw {

namespace {

constexpr CLSID kFilterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
constexpr DWORD kFilterContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// Releases and clears one interface; answers the count its release
// reported (0 when nothing was held).
template <class T> LONG ReleaseRef(T*& p) {
    const LONG left = p ? static_cast<LONG>(p->Release()) : 0;
    p = nullptr;
    return left;
}

// Releases one interface with its log line; a negative count means failure.
template <class T> void ReleaseLogged(TPlayThread& t, T*& p, const char* ok, const char* failed) {
    if (!p) return;
    LONG left = static_cast<LONG>(p->Release());
    p = nullptr;
    t.Log(left < 0 ? failed : ok);
}

// A number with `decimals` places as the system writes it: its own decimal
// separator (the C library's would always give a point).
std::string SystemDecimalText(double value, int decimals) {
    std::string text = Format("%.*f", decimals, value);
    wchar_t separator[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1) {
        const size_t point = text.find('.');
        if (point != std::string::npos) text.replace(point, 1, WideToUtf8(separator));
    }
    return text;
}

std::string PinName(const PIN_INFO& info) {
    wchar_t name[MAX_PIN_NAME + 1] = {};
    lstrcpynW(name, info.achName, MAX_PIN_NAME);
    return WideToUtf8(name);
}

} // namespace

// The graph interface of the building decisions over DirectShow. Filters are
// held here by handle; the same filter found again keeps its handle.
class TComPreviewGraph : public TPreviewGraph {
public:
    explicit TComPreviewGraph(IGraphBuilder*& graph) : graph_(graph) {}
    ~TComPreviewGraph() override { ReleaseAll(); }

    IFileSourceFilter* FileSource = nullptr;

    bool HasGraph() const override { return graph_ != nullptr; }

    THResult RenderFile(const std::string& file) override {
        return graph_->RenderFile(Utf8ToWide(file).c_str(), nullptr);
    }
    THResult AddSourceFilter(const std::string& file, const std::string& name, TFilterRef& filter) override {
        IBaseFilter* f = nullptr;
        HRESULT r = graph_->AddSourceFilter(Utf8ToWide(file).c_str(), Utf8ToWide(name).c_str(), &f);
        if (SUCCEEDED(r) && f) filter = Hold(f);
        ReleaseRef(f);
        return r;
    }
    std::string FilterClassId(TFilterRef filter) override {
        CLSID id = {};
        IBaseFilter* f = At(filter);
        if (!f || FAILED(f->GetClassID(&id))) return "";
        wchar_t text[64] = {};
        StringFromGUID2(id, text, 64);
        return UpperCase(WideToUtf8(text));
    }
    THResult CreateFilter(const std::string& classId, TFilterRef& filter) override {
        CLSID id = {};
        HRESULT r = CLSIDFromString(Utf8ToWide(classId).c_str(), &id);
        if (FAILED(r)) return r;
        IBaseFilter* f = nullptr;
        r = CoCreateInstance(id, nullptr, kFilterContext, IID_IBaseFilter, reinterpret_cast<void**>(&f));
        if (SUCCEEDED(r) && f) filter = Hold(f);
        ReleaseRef(f);
        return r;
    }
    THResult AddFilter(TFilterRef filter, const std::string& name) override {
        return graph_->AddFilter(At(filter), Utf8ToWide(name).c_str());
    }
    THResult QueryFileSource(TFilterRef filter) override {
        ReleaseRef(FileSource);
        return At(filter)->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&FileSource));
    }
    THResult LoadFile(const std::string& file) override {
        return FileSource->Load(Utf8ToWide(file).c_str(), nullptr);
    }
    THResult EnumPins(TFilterRef filter, std::vector<TPinInfo>& pins) override {
        Slot& s = slots_.at(static_cast<size_t>(filter - 1));
        ReleasePins(s);
        IEnumPins* e = nullptr;
        HRESULT r = s.Filter->EnumPins(&e);
        if (FAILED(r)) return r;
        e->Reset();
        IPin* pin = nullptr;
        while (e->Next(1, &pin, nullptr) == S_OK && pin) {
            TPinInfo info;
            PIN_INFO pi = {};
            if (SUCCEEDED(pin->QueryPinInfo(&pi))) {
                info.Name = PinName(pi);
                info.Direction = pi.dir == PINDIR_INPUT ? kPinInput : kPinOutput;
                ReleaseRef(pi.pFilter);
            } else {
                info.InfoOk = false;
            }
            pins.push_back(info);
            s.Pins.push_back(pin);
            pin = nullptr;
        }
        e->Release();
        return S_OK;
    }
    THResult RenderPin(TFilterRef filter, int pin) override { return graph_->Render(Pin(filter, pin)); }
    THResult Connect(TFilterRef from, int outPin, TFilterRef to, int inPin) override {
        return graph_->Connect(Pin(from, outPin), Pin(to, inPin));
    }
    THResult EnumFilters(std::vector<TFilterRef>& filters, std::vector<std::string>& names) override {
        IEnumFilters* e = nullptr;
        HRESULT r = graph_->EnumFilters(&e);
        if (FAILED(r)) return r;
        e->Reset();
        IBaseFilter* f = nullptr;
        while (e->Next(1, &f, nullptr) == S_OK && f) {
            FILTER_INFO info = {};
            std::string name;
            if (SUCCEEDED(f->QueryFilterInfo(&info))) {
                // The name fills its array without an end mark when it is
                // as long as the array.
                name = WideToUtf8(std::wstring(info.achName, wcsnlen(info.achName, MAX_FILTER_NAME)));
                ReleaseRef(info.pGraph);
            }
            filters.push_back(Hold(f));
            names.push_back(name);
            ReleaseRef(f);
        }
        e->Release();
        return S_OK;
    }
    THResult RemoveFilter(TFilterRef filter) override {
        HRESULT r = graph_->RemoveFilter(At(filter));
        if (SUCCEEDED(r)) {
            TFilterRef copy = filter;
            ReleaseFilter(copy);
        }
        return r;
    }
    void ReleaseFilter(TFilterRef& filter) override { ReleaseFilterCounted(filter); }
    // As ReleaseFilter, answering the count the filter's release reported
    // (0 when nothing was held); negative means the release failed.
    LONG ReleaseFilterCounted(TFilterRef& filter) {
        LONG left = 0;
        if (filter > 0 && static_cast<size_t>(filter) <= slots_.size()) {
            Slot& s = slots_[static_cast<size_t>(filter - 1)];
            ReleasePins(s);
            left = ReleaseRef(s.Filter);
        }
        filter = 0;
        return left;
    }
    void ReleaseAll() {
        for (Slot& s : slots_) {
            ReleasePins(s);
            ReleaseRef(s.Filter);
        }
        slots_.clear();
    }

private:
    struct Slot {
        IBaseFilter* Filter = nullptr;
        std::vector<IPin*> Pins; // of the last listing
    };
    IBaseFilter* At(TFilterRef f) const { return slots_.at(static_cast<size_t>(f - 1)).Filter; }
    IPin* Pin(TFilterRef f, int i) const {
        return slots_.at(static_cast<size_t>(f - 1)).Pins.at(static_cast<size_t>(i));
    }
    // Takes a reference of its own (the caller releases the one it got); a
    // filter already held keeps its handle.
    TFilterRef Hold(IBaseFilter* f) {
        for (size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].Filter == f) return static_cast<TFilterRef>(i + 1);
        f->AddRef();
        slots_.push_back({f, {}});
        return static_cast<TFilterRef>(slots_.size());
    }
    static void ReleasePins(Slot& s) {
        for (IPin*& p : s.Pins) ReleaseRef(p);
        s.Pins.clear();
    }

    IGraphBuilder*& graph_;
    std::vector<Slot> slots_;
};

std::atomic<int> TPlayThread::existing_{0};

TPlayThread::TPlayThread(TOrvalinPlayer* player)
    : link_(std::make_shared<TPlayerLink>()), fileName_(player->FileName),
      splitter_(player->DirectShowSplitterFilter), video_(player->DirectShowVideoFilter),
      audio_(player->DirectShowAudioFilter), preview_(player->HandleIfAllocated()), buildGraph_(BuildGraph),
      comGraph_(std::make_unique<TComPreviewGraph>(graph_)),
      builder_(std::make_unique<TFilterGraphBuilder>(*comGraph_, [this](const std::string& s) { Log(s); })) {
    link_->Player = player;
    ++existing_;
}

TPlayThread::~TPlayThread() {
    // The thread has ended (the player joins it, or it frees itself) and
    // released the graph; what an unexpected end left behind goes here.
    comGraph_->ReleaseAll();
    --existing_;
}

bool TPlayThread::GiveUp() {
    Terminate();
    {
        std::lock_guard<std::mutex> lk(link_->Lock);
        link_->Player = nullptr;
    }
    return FreeOnEnd();
}

std::function<bool(TFilterGraphBuilder&, const std::string&)> TPlayThread::BuildGraph =
    [](TFilterGraphBuilder& builder, const std::string& file) { return builder.BuildFilterGraph(file); };

const std::string& TPlayThread::LastError() const { return builder_->LastError; }
void TPlayThread::ClearLastError() { builder_->LastError.clear(); }

bool TPlayThread::CheckHResult(THResult r) { return builder_->CheckHResult(r); }

void TPlayThread::Log(const std::string& text) {
    bool wanted = false;
    WithPlayer([&](TOrvalinPlayer& p) { wanted = p.Debug && !p.DebugFileName.empty(); });
    if (!wanted) return;
    HandOver([this, &text] {
        if (TOrvalinPlayer* p = UiPlayer()) p->WriteDebugLog(text);
    });
}

std::string TPlayThread::GraphFilterNames() {
    if (TThread::Terminated() || !graph_) return "";
    return builder_->GraphFilterNames();
}

void TPlayThread::RemoveAllFilters() { builder_->RemoveAllFilters(); }

void TPlayThread::SetVideoWindowPosition(int left, int top, int width, int height) {
    if (!videoWindow_) {
        videoLeft_ = videoTop_ = videoWidth_ = videoHeight_ = 0;
        return;
    }
    POINT at{left, top};
    // A floating window is placed on the screen, over the preview.
    if (floating_ && preview_) ClientToScreen(preview_, &at);
    videoWindow_->SetWindowPosition(at.x, at.y, width, height);
    videoLeft_ = left;
    videoTop_ = top;
    videoWidth_ = width;
    videoHeight_ = height;
}

namespace {
// Whether drawing into a window reaches the screen: its device context
// answers for a pixel of its own.
bool DrawingReachesScreen(HWND window) {
    HDC dc = GetDC(window);
    if (!dc) return false;
    const COLORREF pixel = GetPixel(dc, 0, 0);
    ReleaseDC(window, dc);
    return pixel != CLR_INVALID;
}
} // namespace

void TPlayThread::MakeVideoWindowFloat(HWND preview) {
    HWND form = GetAncestor(preview, GA_ROOT);
    if (!videoHwnd_ || !form) return;
    Log("Video window shows no picture as a child: floating it over the preview");
    const bool visible = IsWindowVisible(videoHwnd_) != FALSE;
    SetParent(videoHwnd_, nullptr);
    SetWindowLongW(videoHwnd_, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_CLIPSIBLINGS | (visible ? WS_VISIBLE : 0)));
    // Owned by the form: above it, minimised and hidden with it.
    SetWindowLongPtrW(videoHwnd_, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(form));
    videoWindow_->put_MessageDrain(reinterpret_cast<OAHWND>(preview));
    floating_ = true;
    SetWindowPos(videoHwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TPlayThread::PauseGraph() {
    if (TThread::Terminated() || !mediaControl_) return;
    Log(CheckHResult(mediaControl_->Pause()) ? "MediaControl paused" : "MediaControl pause failed");
}

void TPlayThread::StopGraph() {
    if (!mediaControl_) return;
    OAFilterState state = State_Stopped;
    if (FAILED(mediaControl_->GetState(100, &state))) state = State_Stopped;
    if (state != State_Stopped)
        Log(CheckHResult(mediaControl_->Stop()) ? "MediaControl stopped" : "MediaControl stop failed");
}

void TPlayThread::ReportCouldNotPlay(const std::string& text) {
    HandOver([this, &text] {
        TOrvalinPlayer* p = UiPlayer();
        if (p && p->OnCouldNotPlayEvent) p->OnCouldNotPlayEvent(this, text);
    });
}

void TPlayThread::UninitializeCom() {
    if (!comInitialized_) return;
    comInitialized_ = false;
    CoUninitialize();
}

void TPlayThread::ReleaseAfterFailure() {
    if (videoWindow_) {
        videoWindow_->put_Visible(OAFALSE);
        if (floating_) videoWindow_->put_MessageDrain(0);
        videoWindow_->put_Owner(0);
    }
    floating_ = false;
    videoHwnd_ = nullptr;
    ReleaseRef(mediaPosition_);
    ReleaseRef(basicAudio_);
    ReleaseRef(basicVideo_);
    ReleaseRef(videoWindow_);
    ReleaseRef(mediaControl_);
    ReleaseRef(mediaSeeking_);
    ReleaseRef(mediaEvent_);
    builder_->SourceFilter = 0;
    ReleaseRef(comGraph_->FileSource);
    comGraph_->ReleaseAll();
    ReleaseRef(graph_);
}

std::function<HRESULT(IBasicAudio*, long*)> TPlayThread::ReadVolume = [](IBasicAudio* audio, long* db) {
    return audio->get_Volume(db);
};

bool TPlayThread::OpenMedia() {
    comInitialized_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    auto fail = [this](const std::string& text, bool removeFilters) {
        Log(text);
        if (removeFilters) RemoveAllFilters();
        ReleaseAfterFailure();
        UninitializeCom();
        ReportCouldNotPlay(text + "\r" + LastError());
        return false;
    };
    // One interface of the graph; what fails names the interface.
    auto take = [&](const IID& iid, void** out, const std::string& what, bool removeFilters) {
        if (!CheckHResult(graph_->QueryInterface(iid, out)) || !*out)
            return fail("Failed to create " + what, removeFilters);
        Log("Successfully created " + what);
        return true;
    };

    if (!CheckHResult(CoCreateInstance(kFilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                       reinterpret_cast<void**>(&graph_))) ||
        !graph_)
        return fail("Failed to create Graph Builder", false);
    Log("Successfully created Graph Builder");
    if (!take(IID_IMediaControl, reinterpret_cast<void**>(&mediaControl_), "Media Control", false)) return false;
    if (!take(IID_IMediaEventEx, reinterpret_cast<void**>(&mediaEvent_), "Media Event", false)) return false;

    builder_->Splitter = splitter_;
    builder_->Video = video_;
    builder_->Audio = audio_;
    if (!buildGraph_(*builder_, fileName_)) return fail("Failed to render file", true);
    // A build that came back after the player gave the thread up: its
    // window may be gone, so the graph is not placed on it.
    if (!UiPlayer()) return fail("Player closed while the file was rendered", true);
    Log("Successfully rendered file");
    Log(GraphFilterNames());
    if (!take(IID_IMediaSeeking, reinterpret_cast<void**>(&mediaSeeking_), "Media Seeking", true)) return false;
    if (!take(IID_IVideoWindow, reinterpret_cast<void**>(&videoWindow_), "Video Window", true)) return false;

    // The player made its window before it started the thread.
    HWND owner = preview_;
    int playerWidth = 0, playerHeight = 0;
    bool keepAspect = false;
    WithPlayer([&](TOrvalinPlayer& p) {
        playerWidth = p.Width();
        playerHeight = p.Height();
        keepAspect = p.KeepAspectRatio;
    });
    if (!CheckHResult(videoWindow_->put_Owner(reinterpret_cast<OAHWND>(owner))))
        Log("Failed to set video window owner");
    if (!CheckHResult(videoWindow_->put_WindowStyle(WS_CHILD))) Log("Failed to set video window style");
    SetVideoWindowPosition(0, 0, playerWidth, playerHeight);

    if (!take(IID_IBasicVideo, reinterpret_cast<void**>(&basicVideo_), "Basic Video", true)) return false;

    // Missing audio or position interfaces do not stop the opening.
    auto query = [this](const IID& iid, void** out) {
        return CheckHResult(graph_->QueryInterface(iid, out)) && *out;
    };
    long db = 0;
    if (!query(IID_IBasicAudio, reinterpret_cast<void**>(&basicAudio_))) {
        Log("Failed to create Basic Audio");
        WithPlayer([](TOrvalinPlayer& p) { p.hasBasicAudio_ = false; });
    } else {
        Log("Successfully created Basic Audio");
        if (!CheckHResult(ReadVolume(basicAudio_, &db))) {
            // A renderer that cannot tell its volume (Wine's answers
            // E_NOTIMPL) cannot be given one either: no volume control, not
            // an error. The log says which step failed, after the reason.
            Log("Failed to read Basic Audio volume, no volume control");
            ReleaseRef(basicAudio_);
            WithPlayer([](TOrvalinPlayer& p) {
                p.hasBasicAudio_ = false;
                p.volume_ = 0;
            });
        } else {
            WithPlayer([db](TOrvalinPlayer& p) {
                p.hasBasicAudio_ = true;
                p.volume_ = VolumeDbToPercent(db);
            });
        }
    }
    if (!query(IID_IMediaPosition, reinterpret_cast<void**>(&mediaPosition_))) {
        Log("Failed to create Media Position");
        WithPlayer([](TOrvalinPlayer& p) { p.hasMediaPosition_ = false; });
    } else {
        Log("Successfully created Media Position");
        WithPlayer([](TOrvalinPlayer& p) { p.hasMediaPosition_ = true; });
        double rate = 1.0;
        if (CheckHResult(mediaPosition_->get_Rate(&rate)))
            WithPlayer([rate](TOrvalinPlayer& p) { p.playbackRate_ = rate; });
    }

    WithPlayer([](TOrvalinPlayer& p) { p.movieTime_ = 0; });
    Log("Starting playback");
    if (!CheckHResult(mediaControl_->Run())) Log("Failed to run media control");
    Log("Pausing playback");
    if (!CheckHResult(mediaControl_->Pause())) Log("Failed to pause media control");
    // Shown by now (the renderer shows its window when the graph starts).
    videoHwnd_ = owner ? GetWindow(owner, GW_CHILD) : nullptr;
    if (videoHwnd_ && IsWindowVisible(videoHwnd_) && !DrawingReachesScreen(videoHwnd_)) MakeVideoWindowFloat(owner);

    LONGLONG duration = 0;
    if (!CheckHResult(mediaSeeking_->GetDuration(&duration))) {
        Log("Failed to get duration");
        duration = 0;
    }
    const uint32_t durationMs = static_cast<uint32_t>(duration / kMediaUnitsPerMs);
    WithPlayer([durationMs](TOrvalinPlayer& p) { p.movieDuration_ = durationMs; });
    Log("Video duration: " + PreviewMsToTimeText(durationMs));

    REFTIME perFrame = 0.0;
    if (CheckHResult(basicVideo_->get_AvgTimePerFrame(&perFrame))) {
        TFrameTiming timing = FrameTimingFrom(perFrame);
        WithPlayer([&timing](TOrvalinPlayer& p) {
            p.framesPerSecond_ = timing.FramesPerSecond;
            p.frameDuration_ = timing.FrameMs;
        });
        if (timing.Valid) {
            Log("Frames/sec: " + SystemDecimalText(timing.FramesPerSecond, 2));
            Log("Frame rate: " + IntToStr(timing.FrameMs) + "ms");
        } else {
            Log("Failed to calculate average time per frame");
        }
    } else {
        WithPlayer([](TOrvalinPlayer& p) {
            p.framesPerSecond_ = 0.0;
            p.frameDuration_ = 0;
        });
        Log("Failed to get average time per frame");
    }

    long width = 0, height = 0;
    if (!CheckHResult(basicVideo_->GetVideoSize(&width, &height))) {
        Log("Failed to get video size");
        width = height = 0;
    }
    if (width < 1 || height < 1) {
        width = playerWidth;
        height = playerHeight;
        Log("Will try to continue with default video size");
    }
    WithPlayer([width, height](TOrvalinPlayer& p) {
        p.resolutionX_ = static_cast<int>(width);
        p.resolutionY_ = static_cast<int>(height);
    });
    if (width < 1 || height < 1) {
        Log("Stopping playback");
        try {
            StopGraph();
            RemoveAllFilters();
            ReleaseAfterFailure();
            UninitializeCom();
        } catch (...) {
            // The report below matters more than a clean-up that failed.
        }
        ReportCouldNotPlay("Failed to get valid video size (" + IntToStr(width) + " x " + IntToStr(height) + ")");
        return false;
    }
    Log("Video size: " + IntToStr(width) + " x " + IntToStr(height));
    // Only now may the player use the graph's interfaces: until here this
    // thread still takes them, and a failure above releases them here.
    WithPlayer([](TOrvalinPlayer& p) { p.mediaOpen_ = true; });
    if (keepAspect) {
        HandOver([this] {
            if (TOrvalinPlayer* p = UiPlayer()) p->FitVideoToAspect();
        });
    } else {
        SetVideoWindowPosition(0, 0, playerWidth, playerHeight);
    }
    FireOpenMedia();
    return true;
}

void TPlayThread::FireOpenMedia() {
    HandOver([this] {
        TOrvalinPlayer* p = UiPlayer();
        if (p && p->OnOpenMediaEvent) p->OnOpenMediaEvent(this);
    });
}

THResult TPlayThread::GetEvent(long& code, intptr_t& p1, intptr_t& p2) {
    LONG c = 0;
    LONG_PTR a = 0, b = 0;
    HRESULT r = mediaEvent_->GetEvent(&c, &a, &b, 0);
    code = c;
    p1 = a;
    p2 = b;
    return r;
}

void TPlayThread::FreeEventParams(long code, intptr_t p1, intptr_t p2) {
    if (mediaEvent_) mediaEvent_->FreeEventParams(code, p1, p2);
}

THResult TPlayThread::GetPositions(int64_t& current, int64_t& stop) {
    LONGLONG c = 0, s = 0;
    HRESULT r = mediaSeeking_->GetPositions(&c, &s);
    current = c;
    stop = s;
    return r;
}

uint32_t TPlayThread::MovieTime() const {
    // The player's value only ever changes on this thread or while it is
    // held; a given-up thread reports nothing new.
    std::lock_guard<std::mutex> lk(link_->Lock);
    TOrvalinPlayer* p = link_->Player.load();
    return p ? p->movieTime_.load() : 0;
}
void TPlayThread::SetMovieTime(uint32_t ms) {
    WithPlayer([ms](TOrvalinPlayer& p) { p.movieTime_ = ms; });
}

void TPlayThread::FireNewTimeCode() {
    HandOver([this] {
        TOrvalinPlayer* p = UiPlayer();
        if (p && p->OnNewTimeCodeEvent) p->OnNewTimeCodeEvent(this);
    });
}

void TPlayThread::HandleEndOfMedia() {
    HandOver([this] {
        TOrvalinPlayer* player = UiPlayer();
        if (!player) return;
        bool pause = false, restart = false;
        if (player->OnEndOfMediaEvent) player->OnEndOfMediaEvent(this, pause, restart);
        // The owner may have closed the player meanwhile.
        player = UiPlayer();
        if (!player) return;
        if (pause) player->Pause();
        if (restart) player->SeekTo(0);
        if (!pause && !restart) {
            EndPlayback();
            Terminate();
        }
    });
}

void TPlayThread::EndPlayback() {
    Log("Destroying playback thread");
    DestroyGraph();
}

void TPlayThread::DestroyGraph() {
    WithPlayer([](TOrvalinPlayer& p) { p.mediaOpen_ = false; });
    Log("Destroying graph");
    StopGraph();
    RemoveAllFilters();
    ReleaseLogged(*this, mediaPosition_, "MediaPosition released", "MediaPosition release failed");
    ReleaseLogged(*this, basicAudio_, "BasicAudio released", "BasicAudio release failed");
    ReleaseLogged(*this, basicVideo_, "BasicVideo released", "BasicVideo release failed");
    if (videoWindow_) {
        videoWindow_->put_Visible(OAFALSE);
        if (floating_) videoWindow_->put_MessageDrain(0);
        videoWindow_->put_Owner(0);
    }
    floating_ = false;
    videoHwnd_ = nullptr;
    ReleaseLogged(*this, videoWindow_, "VideoWindow released", "VideoWindow release failed");
    ReleaseLogged(*this, mediaEvent_, "Event released", "Event release failed");
    ReleaseLogged(*this, mediaControl_, "MediaControl released", "MediaControl release failed");
    ReleaseLogged(*this, mediaSeeking_, "MediaSeeking released", "MediaSeeking release failed");
    if (builder_->SourceFilter)
        Log(comGraph_->ReleaseFilterCounted(builder_->SourceFilter) < 0 ? "Media Splitter source release failed"
                                                                         : "Media Splitter source released");
    ReleaseLogged(*this, comGraph_->FileSource, "File source interface released",
                  "File source interface release failed");
    comGraph_->ReleaseAll();
    ReleaseLogged(*this, graph_, "Graph released", "Graph release failed");
}

void TPlayThread::DetachFromPlayer() {
    TOrvalinPlayer* player = UiPlayer();
    if (!player) return; // given up: this thread frees itself
    player->opening_ = false;
    player->CloseDebugFile();
    if (player->thread_ == this) {
        // The player joins and frees the thread later, on this thread.
        player->finished_.reset(this);
        player->thread_ = nullptr;
    }
    if (player->HandleAllocated()) player->Invalidate();
}

void TPlayThread::Execute() {
    // Nothing may leave the thread: whatever happens, the graph is taken
    // down and the player released, or its waiting loops would never end.
    try {
        if (!OpenMedia()) Terminate();
        else WithPlayer([](TOrvalinPlayer& p) { p.opening_ = false; });
        while (!TThread::Terminated()) {
            if (!PollGraphOnce(*this)) break;
            SleepEx(8, TRUE);
        }
    } catch (const std::exception& e) {
        try {
            Log("Playback thread failed: " + std::string(e.what()));
        } catch (...) {
        }
    } catch (...) {
    }
    try {
        // A given-up thread takes its graph down itself: the
        // user-interface thread is not kept waiting on a graph that may
        // hang again.
        bool givenUp = true;
        HandOver([this, &givenUp] {
            if (!UiPlayer()) return;
            givenUp = false;
            EndPlayback();
        });
        if (givenUp) DestroyGraph();
    } catch (...) {
    }
    UninitializeCom();
    try {
        Log("Playback thread destroyed");
    } catch (...) {
    }
    try {
        HandOver([this] { DetachFromPlayer(); });
    } catch (...) {
        // The hand-over itself failed: the player must still see the end.
        WithPlayer([](TOrvalinPlayer& p) { p.opening_ = false; });
    }
}

} // namespace tw
