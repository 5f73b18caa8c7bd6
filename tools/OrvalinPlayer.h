// The cut editor's video preview: a windowed control that plays one recording
// through a DirectShow filter graph built by its play thread, shows the video
// in its client area and reports the position in milliseconds.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/Streams.h"
#include "tools/engine/PreviewValues.h"
#include "ui/Controls.h"

namespace tw {

class TPlayThread;

using TEndOfFileEvent = std::function<void(TObject* sender, bool& pause, bool& restart)>;
using TCouldNotPlayEvent = std::function<void(TObject* sender, std::string errorString)>;
using TOpenDebugFileEvent = std::function<void(TObject* sender, std::string& text)>;

class TOrvalinPlayer : public TCustomControl {
public:
    explicit TOrvalinPlayer(TComponent* owner);
    // Closes the player first: the play thread refers to the control until
    // it has detached.
    ~TOrvalinPlayer() override;

    void Loaded() override;

    // --- published values
    std::string DebugFileName;
    bool Debug = false;
    TDSSplitterFilter DirectShowSplitterFilter = dssfAutomatic;
    TDSVideoFilter DirectShowVideoFilter = dsvfAutomatic;
    TDSAudioFilter DirectShowAudioFilter = dsafAutomatic;
    const std::string& EmptyCaption() const { return emptyCaption_; }
    void SetEmptyCaption(const std::string& s);
    bool KeepAspectRatio = true;
    int Volume() const { return volume_; }
    void SetVolume(int percent);
    double PlaybackRate() const { return playbackRate_; }
    void SetPlaybackRate(double rate);
    int MovieResolution_X() const { return resolutionX_; }
    int MovieResolution_Y() const { return resolutionY_; }
    double MovieFramePerSecond() const { return framesPerSecond_; }
    std::string FileName;
    uint32_t MovieTime() const { return movieTime_; }
    uint32_t MovieDuration() const { return movieDuration_; }
    int FrameDuration() const { return frameDuration_; }
    bool HasBasicAudio() const { return hasBasicAudio_; }
    bool HasMediaPosition() const { return hasMediaPosition_; }

    // Raised by the play thread on the user-interface thread (sender: the
    // thread); OnOpenDebugFileEvent by the control itself.
    TNotifyEvent OnNewTimeCodeEvent;
    TNotifyEvent OnOpenMediaEvent;
    TEndOfFileEvent OnEndOfMediaEvent;
    TCouldNotPlayEvent OnCouldNotPlayEvent;
    TOpenDebugFileEvent OnOpenDebugFileEvent;

    // --- operations
    // Opens FileName (returning once the graph is built or has failed) or
    // resumes an open one.
    void Play();
    void Pause();
    void Stop();
    void ClosePlayer();
    void SeekTo(uint32_t ms);
    void SeekRelative(int64_t deltaMs);
    void StepForward();
    void StepBackward();
    bool IsMediaOpen() const { return mediaOpen_; }
    std::string GraphFilterNames();
    bool ShowFilterPropertyPage(const std::string& filterName);
    void FitVideoToAspect();
    // Places the video window over the control again (after a resize, or
    // when the form moved and the video window floats over it).
    void PlaceVideoWindow();
    static std::string MsToTimeText(uint32_t ms);
    // No answer for a text whose fields are not digits.
    static std::optional<int64_t> TimeTextToPts(const std::string& text);
    void WriteDebugLog(const std::string& text);
    void CloseDebugFile();
    static std::string HResultText(THResult code);
    bool CheckHResult(THResult code);

    TPlayThread* PlayThread() const { return thread_; }
    // The longest Play waits for a graph to open; the graph may still open
    // later. Tests shorten it.
    int OpenWaitLimitMs = 30000;
    // The longest ClosePlayer and the destructor wait for the play thread
    // to end. A thread stuck in a graph call after it is given up: the
    // player goes on without it (the log says so). Tests shorten it.
    int CloseWaitLimitMs = 10000;

protected:
    void Paint() override;
    void Resize() override;
    void WndProc(TMessage& m) override;

private:
    friend class TPlayThread;
    // Usable only while the play thread exists and was not told to stop.
    TPlayThread* LiveThread() const;
    // The live thread once its media is open: before that the thread is
    // still taking the graph's interfaces (and releases them itself when the
    // opening fails), so the control must not touch them.
    TPlayThread* OpenThread() const;
    void SeekToMediaTime(int64_t units);
    void PaintBorders(HDC dc);
    // Joins a thread that has detached itself.
    void ReapFinishedThread();
    // Tells the thread to stop and waits for it within CloseWaitLimitMs,
    // taking messages in `stepMs` steps; then gives it up.
    void EndThread(int stepMs);
    void GiveUpThread();

    std::string emptyCaption_ = "Video";
    int volume_ = 0;
    double playbackRate_ = 0.0;
    int resolutionX_ = 0, resolutionY_ = 0;
    double framesPerSecond_ = 0.0;
    std::atomic<uint32_t> movieTime_{0};
    uint32_t movieDuration_ = 0;

    TPlayThread* thread_ = nullptr;
    std::unique_ptr<TPlayThread> finished_;
    std::atomic<bool> opening_{false};
    std::atomic<bool> mediaOpen_{false};
    int frameDuration_ = 0;
    std::unique_ptr<TFileStream> debugStream_;
    bool hasBasicAudio_ = false;
    bool hasMediaPosition_ = false;
};

} // namespace tw
