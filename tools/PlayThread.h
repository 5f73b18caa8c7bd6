// The worker behind the preview player: in its own COM apartment it builds
// the DirectShow graph for the player's file, runs it once and pauses on the
// first picture, then polls the graph's events and position every 8 ms until
// it is told to stop. Everything that concerns the player (events, log lines,
// window placement, detaching at its end) is handed over to the
// user-interface thread.
#pragma once

#include <windows.h>

#include <dshow.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/Thread.h"
#include "tools/engine/PreviewGraph.h"

namespace tw {

class TOrvalinPlayer;
class TComPreviewGraph;

// What the thread knows of its player. The player clears it when it gives
// a thread up that does not end (see GiveUp); the thread and its late
// hand-overs then find no player. Cleared on the user-interface thread
// only, under the lock, which the play thread holds while it writes to the
// player directly.
struct TPlayerLink {
    std::mutex Lock;
    std::atomic<TOrvalinPlayer*> Player{nullptr};
};

class TPlayThread : public TThread, private TPollHost {
public:
    // Made on the user-interface thread, with the player's window made.
    explicit TPlayThread(TOrvalinPlayer* player);
    ~TPlayThread() override;

    // On the user-interface thread, for a thread that does not end when told
    // to (a graph call that never returns): from now on the thread touches
    // neither the player nor its window, and frees itself when it ends.
    // False when the thread has ended already; the caller then still owns
    // and joins it.
    bool GiveUp();
    // Play threads that exist, given-up ones among them.
    static int Existing() { return existing_; }

    // Detail of the last failure the thread described itself.
    const std::string& LastError() const;
    void ClearLastError();

    IGraphBuilder* Graph() const { return graph_; }
    IMediaControl* MediaControl() const { return mediaControl_; }
    IMediaSeeking* MediaSeeking() const { return mediaSeeking_; }
    IVideoWindow* VideoWindow() const { return videoWindow_; }
    IBasicAudio* BasicAudio() const { return basicAudio_; }
    IMediaPosition* MediaPosition() const { return mediaPosition_; }

    void SetVideoWindowPosition(int left, int top, int width, int height);
    int VideoLeft() const { return videoLeft_; }
    int VideoTop() const { return videoTop_; }
    int VideoWidth() const { return videoWidth_; }
    int VideoHeight() const { return videoHeight_; }
    // Whether the video window floats over the preview instead of being its
    // child (a child window that reaches no screen).
    bool VideoFloats() const { return floating_; }
    HWND VideoHandle() const { return videoHwnd_; }

    // Told to stop (also what the poll asks).
    bool Terminated() const override { return TThread::Terminated(); }
    // The media control's Pause, logged.
    void PauseGraph();
    bool CheckHResult(THResult r);
    void Log(const std::string& text);
    std::string GraphFilterNames();
    void RemoveAllFilters();
    // On the user-interface thread: tears the graph down; a second run finds
    // nothing left.
    void DestroyGraph();

    // How the opening reads the audio renderer's volume; renderers differ in
    // whether they can tell it, and tests stand in for either kind.
    static std::function<HRESULT(IBasicAudio* audio, long* db)> ReadVolume;
    // How the opening builds the graph for a file; a thread takes the one
    // set when it is made. Tests stand in for a build that never returns.
    static std::function<bool(TFilterGraphBuilder& builder, const std::string& file)> BuildGraph;

protected:
    void Execute() override;

private:
    // Some systems (Wine) give a renderer's window that was made a child of
    // another window no picture on the screen: such a window is made an
    // owned window of the preview's form, placed over the preview in screen
    // coordinates, its mouse and keys still going to the preview.
    void MakeVideoWindowFloat(HWND preview);
    bool OpenMedia();
    void ReportCouldNotPlay(const std::string& text);
    void FireOpenMedia();
    void HandleEndOfMedia() override;
    void EndPlayback();
    void DetachFromPlayer();
    // Releases every graph interface still held, the video window first
    // unhooked from the player, without log lines (failed openings).
    void ReleaseAfterFailure();
    void UninitializeCom();
    // Stops the graph as the player's Stop does.
    void StopGraph();

    // TPollHost
    bool HasMediaEvent() const override { return mediaEvent_ != nullptr; }
    THResult GetEvent(long& code, intptr_t& p1, intptr_t& p2) override;
    void FreeEventParams(long code, intptr_t p1, intptr_t p2) override;
    bool HasMediaSeeking() const override { return mediaSeeking_ != nullptr; }
    THResult GetPositions(int64_t& current, int64_t& stop) override;
    uint32_t MovieTime() const override;
    void SetMovieTime(uint32_t ms) override;
    void FireNewTimeCode() override;

    // The player on the user-interface thread; null once it gave this
    // thread up.
    TOrvalinPlayer* UiPlayer() const { return link_->Player.load(); }
    // Runs `f` with the player while it still holds this thread; from the
    // play thread this is the only way to touch it. Never hands over inside.
    template <class F> bool WithPlayer(F&& f) {
        std::lock_guard<std::mutex> lk(link_->Lock);
        TOrvalinPlayer* p = link_->Player.load();
        if (!p) return false;
        f(*p);
        return true;
    }

    // Runs `fn` on the user-interface thread while the player holds this
    // thread. A given-up thread hands nothing over: nobody may take
    // hand-overs any more (the program may be ending).
    void HandOver(const std::function<void()>& fn) {
        if (UiPlayer()) Synchronize(fn);
    }

    std::shared_ptr<TPlayerLink> link_;
    // Taken from the player when the thread is made.
    std::string fileName_;
    TDSSplitterFilter splitter_;
    TDSVideoFilter video_;
    TDSAudioFilter audio_;
    HWND preview_ = nullptr;
    std::function<bool(TFilterGraphBuilder&, const std::string&)> buildGraph_;
    static std::atomic<int> existing_;
    bool comInitialized_ = false;
    IGraphBuilder* graph_ = nullptr;
    IMediaControl* mediaControl_ = nullptr;
    IMediaEventEx* mediaEvent_ = nullptr;
    IMediaSeeking* mediaSeeking_ = nullptr;
    IVideoWindow* videoWindow_ = nullptr;
    IBasicVideo* basicVideo_ = nullptr;
    IBasicAudio* basicAudio_ = nullptr;
    IMediaPosition* mediaPosition_ = nullptr;
    std::unique_ptr<TComPreviewGraph> comGraph_;
    std::unique_ptr<TFilterGraphBuilder> builder_;
    int videoLeft_ = 0, videoTop_ = 0, videoWidth_ = 0, videoHeight_ = 0;
    // The renderer's window, and whether it floats over the preview as a
    // window of its own (see MakeVideoWindowFloat).
    HWND videoHwnd_ = nullptr;
    bool floating_ = false;
};

} // namespace tw
