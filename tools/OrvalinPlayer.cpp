#include "tools/OrvalinPlayer.h"

#include <windows.h>

#include <olectl.h>

#include <algorithm>
#include <cmath>
#include <ctime>

#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tools/PlayThread.h"
#include "ui/Application.h"
#include "ui/Menus.h"

namespace tw {

namespace {

constexpr IID kISpecifyPropertyPages = {0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

std::string LocalTimeText() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return Format("%02u:%02u:%02u.%03u", t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

bool Designing(const TComponent* c) { return (c->ComponentState() & csDesigning) != 0; }

} // namespace

TOrvalinPlayer::TOrvalinPlayer(TComponent* owner) : TCustomControl(owner) { SetColor(clBlack); }

TOrvalinPlayer::~TOrvalinPlayer() {
    // The thread refers to this control until it has detached (or was
    // given up): stop it and wait, then join it, before anything of the
    // control goes.
    try {
        EndThread(20);
    } catch (...) {
    }
    debugStream_.reset();
}

void TOrvalinPlayer::Loaded() {
    TCustomControl::Loaded();
    if (PopupMenu()) PopupMenu()->SetAutoPopup(true);
}

void TOrvalinPlayer::ReapFinishedThread() {
    if (!finished_) return;
    finished_->WaitFor();
    finished_.reset();
}

void TOrvalinPlayer::EndThread(int stepMs) {
    if (thread_) {
        thread_->Terminate();
        const uint64_t limit = GetTickCount64Ms() + static_cast<uint64_t>(std::max(CloseWaitLimitMs, 0));
        while (thread_ && GetTickCount64Ms() < limit) {
            SleepEx(static_cast<DWORD>(stepMs), FALSE);
            Application->ProcessMessages();
        }
        if (thread_) GiveUpThread();
    }
    ReapFinishedThread();
}

void TOrvalinPlayer::GiveUpThread() {
    TPlayThread* t = thread_;
    thread_ = nullptr;
    opening_ = false;
    mediaOpen_ = false;
    // A thread that ended at this very moment is joined as usual.
    if (!t->GiveUp()) {
        ReapFinishedThread();
        finished_.reset(t);
    }
    WriteDebugLog("The preview could not be closed cleanly: its playback thread did not end within " +
                  IntToStr(CloseWaitLimitMs / 1000) + " s and was left behind");
    CloseDebugFile();
    if (HandleAllocated()) Invalidate();
}

TPlayThread* TOrvalinPlayer::LiveThread() const {
    return thread_ && !thread_->Terminated() ? thread_ : nullptr;
}

TPlayThread* TOrvalinPlayer::OpenThread() const { return mediaOpen_ ? LiveThread() : nullptr; }

void TOrvalinPlayer::SetEmptyCaption(const std::string& s) {
    emptyCaption_ = s;
    Invalidate();
}

// ---------------------------------------------------------------- playing

void TOrvalinPlayer::Play() {
    if (!FileExists(FileName)) return;
    if (mediaOpen_) {
        if (TPlayThread* t = OpenThread(); t && t->MediaControl()) {
            t->MediaControl()->Run();
            WriteDebugLog("Resuming playback");
        }
        return;
    }
    if (thread_) return; // a graph is still being built or taken down
    ReapFinishedThread();
    std::string header;
    if (OnOpenDebugFileEvent) {
        OnOpenDebugFileEvent(this, header);
        if (!header.empty()) WriteDebugLog(header);
    }
    WriteDebugLog("File: " + FileName);
    WriteDebugLog("INIT PLAYBACK");
    movieTime_ = 0;
    movieDuration_ = 0;
    resolutionX_ = resolutionY_ = 0;
    framesPerSecond_ = 0.0;
    hasBasicAudio_ = false;
    hasMediaPosition_ = false;
    opening_ = true;
    WriteDebugLog("Creating playback thread");
    // The video window is parented to this control's window, which must be
    // made here on the user-interface thread.
    HandleNeeded();
    thread_ = new TPlayThread(this);
    thread_->ClearLastError();
    thread_->SetPriority(tpNormal);
    thread_->Start();
    uint64_t limit = GetTickCount64Ms() + static_cast<uint64_t>(OpenWaitLimitMs);
    while (opening_ && GetTickCount64Ms() < limit) {
        SleepEx(20, TRUE);
        Application->ProcessMessages();
    }
}

void TOrvalinPlayer::Stop() {
    TPlayThread* t = OpenThread();
    if (!t || !t->MediaControl()) return;
    OAFilterState state = State_Stopped;
    if (FAILED(t->MediaControl()->GetState(100, &state))) state = State_Stopped;
    if (state == State_Stopped) return;
    WriteDebugLog(CheckHResult(t->MediaControl()->Stop()) ? "MediaControl stopped" : "MediaControl stop failed");
}

void TOrvalinPlayer::Pause() {
    if (TPlayThread* t = OpenThread()) t->PauseGraph();
}

void TOrvalinPlayer::ClosePlayer() {
    TPlayThread* t = LiveThread();
    if (!t) {
        if (!thread_) ReapFinishedThread();
        return;
    }
    if (t->MediaControl() && mediaOpen_) Stop();
    EndThread(100);
}

// ---------------------------------------------------------------- positions

void TOrvalinPlayer::SeekToMediaTime(int64_t units) {
    TPlayThread* t = OpenThread();
    if (!t || !t->MediaSeeking()) return;
    LONGLONG current = units, stop = 0;
    CheckHResult(t->MediaSeeking()->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &stop,
                                                 AM_SEEKING_NoPositioning));
}

void TOrvalinPlayer::SeekTo(uint32_t ms) {
    if (mediaOpen_) SeekToMediaTime(static_cast<int64_t>(ms) * kMediaUnitsPerMs);
}

void TOrvalinPlayer::SeekRelative(int64_t deltaMs) {
    TPlayThread* t = OpenThread();
    if (!t || !t->MediaSeeking()) return;
    LONGLONG current = 0, stop = 0;
    if (!CheckHResult(t->MediaSeeking()->GetPositions(&current, &stop))) return;
    SeekToMediaTime(ClampedSeekTarget(current, deltaMs, stop));
}

void TOrvalinPlayer::StepForward() {
    if (mediaOpen_ && frameDuration_ >= 1) SeekRelative(frameDuration_);
}

void TOrvalinPlayer::StepBackward() {
    if (mediaOpen_ && frameDuration_ >= 1) SeekRelative(-frameDuration_);
}

std::string TOrvalinPlayer::MsToTimeText(uint32_t ms) { return PreviewMsToTimeText(ms); }

std::optional<int64_t> TOrvalinPlayer::TimeTextToPts(const std::string& text) { return PreviewTimeTextToPts(text); }

// ---------------------------------------------------------------- volume and rate

void TOrvalinPlayer::SetVolume(int percent) {
    if (!thread_) {
        volume_ = 0;
        return;
    }
    TPlayThread* t = OpenThread();
    IBasicAudio* audio = t ? t->BasicAudio() : nullptr;
    if (!hasBasicAudio_ || !audio) return;
    long db = VolumePercentToDb(percent);
    // A renderer that takes no volume leaves the control without one.
    if (FAILED(audio->put_Volume(db)) || FAILED(audio->get_Volume(&db))) {
        volume_ = 0;
        hasBasicAudio_ = false;
        return;
    }
    volume_ = VolumeDbToPercent(db);
}

void TOrvalinPlayer::SetPlaybackRate(double rate) {
    if (!hasMediaPosition_ || !thread_) {
        playbackRate_ = 1.0;
        return;
    }
    TPlayThread* t = OpenThread();
    IMediaPosition* position = t ? t->MediaPosition() : nullptr;
    if (!position) return;
    if (rate < 0.0) {
        LONG can = 0;
        if (FAILED(position->CanSeekBackward(&can)) || can == 0) rate = std::fabs(rate);
    }
    position->put_Rate(rate);
    double now = playbackRate_;
    if (SUCCEEDED(position->get_Rate(&now))) playbackRate_ = now;
}

// ---------------------------------------------------------------- video window

void TOrvalinPlayer::FitVideoToAspect() {
    TPlayThread* t = OpenThread();
    if (!t || !t->VideoWindow()) return;
    TVideoRect r = FitToAspect(Width(), Height(), resolutionX_, resolutionY_);
    t->SetVideoWindowPosition(r.Left, r.Top, r.Width, r.Height);
}

void TOrvalinPlayer::Resize() {
    TCustomControl::Resize();
    PlaceVideoWindow();
}

void TOrvalinPlayer::PlaceVideoWindow() {
    TPlayThread* t = OpenThread();
    if (!t || !t->VideoWindow()) return;
    if (KeepAspectRatio) FitVideoToAspect();
    else t->SetVideoWindowPosition(0, 0, Width(), Height());
}

void TOrvalinPlayer::Paint() {
    if (thread_) return; // the video window covers the control
    TCanvas& c = Canvas();
    c.Brush().SetStyle(bsSolid);
    if (Designing(this)) {
        c.Brush().SetColor(clWhite);
        c.Rectangle(0, 0, Width(), Height());
        c.DrawFocusRect(TRect{0, 0, Width(), Height()});
    } else {
        c.Brush().SetColor(Color());
        c.FillRect(TRect{0, 0, Width(), Height()});
    }
    c.Font().SetName("Arial");
    c.Font().SetSize(12);
    c.Font().SetColor(static_cast<TColor>(0x008000));
    c.Brush().SetStyle(bsClear);
    c.TextOut((Width() - c.TextWidth(emptyCaption_)) / 2, (Height() - c.TextHeight(emptyCaption_)) / 2,
              emptyCaption_);
}

void TOrvalinPlayer::PaintBorders(HDC dc) {
    TPlayThread* t = thread_;
    if (!t || Designing(this)) return;
    HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
    auto fill = [&](int l, int tp, int r, int b) {
        RECT rc{l, tp, r, b};
        FillRect(dc, &rc, brush);
    };
    int left = t->VideoLeft(), top = t->VideoTop(), width = t->VideoWidth(), height = t->VideoHeight();
    if (top > 0) {
        fill(0, 0, Width(), top);
        fill(0, top + height, Width(), Height());
    }
    if (left > 0) {
        fill(0, 0, left, Height());
        fill(left + width, 0, Width(), Height());
    }
    DeleteObject(brush);
}

void TOrvalinPlayer::WndProc(TMessage& m) {
    if (m.Msg == WM_ERASEBKGND && !Designing(this) && thread_) {
        PaintBorders(reinterpret_cast<HDC>(m.WParam));
        m.Result = 1;
        return;
    }
    TCustomControl::WndProc(m);
}

// ---------------------------------------------------------------- graph queries

std::string TOrvalinPlayer::GraphFilterNames() {
    TPlayThread* t = OpenThread();
    if (!t || !t->Graph()) return "";
    return t->GraphFilterNames();
}

bool TOrvalinPlayer::ShowFilterPropertyPage(const std::string& filterName) {
    TPlayThread* t = OpenThread();
    if (!t || !t->Graph()) return false;
    IBaseFilter* filter = nullptr;
    std::wstring name = Utf8ToWide(filterName);
    if (!CheckHResult(t->Graph()->FindFilterByName(name.c_str(), &filter)) || !filter) {
        Application->MessageBox("Filter not Found " + filterName, Application->Title(), MB_OK);
        return false;
    }
    bool result = false;
    ISpecifyPropertyPages* pages = nullptr;
    if (SUCCEEDED(filter->QueryInterface(kISpecifyPropertyPages, reinterpret_cast<void**>(&pages))) && pages) {
        CAUUID list = {0, nullptr};
        if (SUCCEEDED(pages->GetPages(&list)) && list.cElems > 0) {
            IUnknown* object = filter;
            HWND owner = Parent() ? Parent()->Handle() : nullptr;
            result = CheckHResult(OleCreatePropertyFrame(owner, 0, 0, name.c_str(), 1, &object, list.cElems,
                                                         list.pElems, 0, 0, nullptr));
        }
        if (list.pElems) CoTaskMemFree(list.pElems);
        pages->Release();
    }
    filter->Release();
    return result;
}

// ---------------------------------------------------------------- debug log and results

void TOrvalinPlayer::WriteDebugLog(const std::string& text) {
    if (!Debug || DebugFileName.empty()) return;
    // The log is a help for finding faults; it never reports its own.
    try {
        if (!debugStream_) {
            if (FileExists(DebugFileName)) {
                debugStream_ = std::make_unique<TFileStream>(DebugFileName, fmOpenReadWrite | fmShareDenyNone);
                debugStream_->Seek(0, soEnd);
            } else {
                debugStream_ = std::make_unique<TFileStream>(DebugFileName, fmCreate);
            }
        }
        std::string lines = DebugLogText(text, LocalTimeText());
        if (!lines.empty()) debugStream_->WriteBuffer(lines.data(), static_cast<int64_t>(lines.size()));
    } catch (...) {
        debugStream_.reset();
    }
}

void TOrvalinPlayer::CloseDebugFile() { debugStream_.reset(); }

std::string TOrvalinPlayer::HResultText(THResult code) { return tw::HResultText(code); }

bool TOrvalinPlayer::CheckHResult(THResult code) {
    std::string text = HResultText(code);
    if (!text.empty()) WriteDebugLog(text);
    return HrSucceeded(code);
}

} // namespace tw
