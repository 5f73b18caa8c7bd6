// The worker behind the preview player: in its own COM apartment it builds
// the DirectShow graph for the player's file, runs it once and pauses on the
// first picture, then polls the graph's events and position every 8 ms until
// it is told to stop. Everything that concerns the player (events, log lines,
// window placement, detaching at its end) is handed over to the
// user-interface thread.
#pragma once

#include <windows.h>

#include <dshow.h>

#include <functional>
#include <memory>
#include <string>

#include "base/Thread.h"
#include "tools/engine/PreviewGraph.h"

namespace tw {

class TOrvalinPlayer;
class TComPreviewGraph;

class TPlayThread : public TThread, private TPollHost {
public:
    explicit TPlayThread(TOrvalinPlayer* player);
    ~TPlayThread() override;

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

    TOrvalinPlayer* player_;
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
