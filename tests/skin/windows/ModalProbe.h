#pragma once
// A watcher for a modal loop a test starts and cannot step itself (a system
// dialog, a popup menu, a modal form): a thread timer runs the step until it
// answers true or the deadline passes. At the deadline the loop is ended
// (every visible dialog of the thread cancelled, any menu closed), so the
// test goes on to fail instead of hanging. The timer dies with the probe on
// every path, and nothing the step throws crosses the system's timer frame.
#include <windows.h>

#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace skin::test {

// Whether a window and the thread's queue have nothing left to do: the
// window and its visible children hold no pending paint, and no posted or
// sent message waits. A probe's tick comes only after such work anyway (a
// timer is the queue's last message); this says it in so many words, so no
// fixed number of ticks stands in for it.
inline bool Settled(HWND wnd)
{
    if (!wnd || !IsWindow(wnd))
        return false;
    if (GetUpdateRect(wnd, nullptr, FALSE))
        return false;
    bool painted = true;
    EnumChildWindows(
        wnd,
        [](HWND c, LPARAM p) -> BOOL {
            if (IsWindowVisible(c) && GetUpdateRect(c, nullptr, FALSE)) {
                *reinterpret_cast<bool*>(p) = false;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&painted));
    return painted && HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE)) == 0;
}

// Whether what a window painted has reached the screen: a few of its pixels
// read from its own device context and from the screen's agree. The system
// copies a window's painting to the screen when the thread next waits, so a
// test that reads the screen right after a paint can see the blank window
// under it (white, on a busy machine); it waits for this instead.
inline bool OnScreen(HWND wnd)
{
    RECT wr{};
    if (!wnd || !IsWindowVisible(wnd) || !GetWindowRect(wnd, &wr) || wr.right - wr.left < 3 || wr.bottom - wr.top < 3)
        return false;
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    const POINT at[] = {{1, h / 2}, {w - 2, h / 2}, {w / 2, 1}, {w / 2, h - 2}, {w / 2, h / 2}, {w / 4, h / 4}};
    HDC own = GetWindowDC(wnd);
    HDC screen = GetDC(nullptr);
    bool same = own && screen;
    for (const POINT& p : at) {
        if (!same)
            break;
        same = GetPixel(own, p.x, p.y) == GetPixel(screen, wr.left + p.x, wr.top + p.y);
    }
    if (own)
        ReleaseDC(wnd, own);
    if (screen)
        ReleaseDC(nullptr, screen);
    return same;
}

// The thread's first visible window of a class ("#32770" a dialog, "#32768"
// a popup menu), or null.
inline HWND VisibleThreadWindow(const wchar_t* cls)
{
    struct TFind {
        const wchar_t* Cls;
        HWND Found = nullptr;
    } find{cls};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND wnd, LPARAM p) -> BOOL {
            auto* f = reinterpret_cast<TFind*>(p);
            wchar_t name[16] = {};
            GetClassNameW(wnd, name, 16);
            if (lstrcmpW(name, f->Cls) == 0 && IsWindowVisible(wnd)) {
                f->Found = wnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&find));
    return find.Found;
}

class TModalProbe {
public:
    // step answers true when it is done; the probe then stops ticking.
    explicit TModalProbe(std::function<bool()> step, DWORD deadlineMs = 20000, UINT periodMs = 30)
        : step_(std::move(step)), deadline_(GetTickCount64() + deadlineMs), periodMs_(periodMs)
    {
        timer_ = SetTimer(nullptr, 0, periodMs, &TModalProbe::Tick);
        if (timer_)
            Live()[timer_] = this;
        else
            ADD_FAILURE() << "no timer for the probe: " << GetLastError();
        if (!Filter())
            Filter() = SetWindowsHookExW(WH_MSGFILTER, &TModalProbe::PastDeadline, nullptr, GetCurrentThreadId());
    }
    ~TModalProbe()
    {
        Stop();
        if (Live().empty() && Filter()) {
            UnhookWindowsHookEx(Filter());
            Filter() = nullptr;
        }
    }
    TModalProbe(const TModalProbe&) = delete;
    TModalProbe& operator=(const TModalProbe&) = delete;

    // Ends a loop the probe does not know of (a modal form) at the deadline.
    std::function<void()> OnTimeout;

    bool Done() const { return done_; }
    bool TimedOut() const { return timedOut_; }
    void Stop()
    {
        if (!timer_)
            return;
        KillTimer(nullptr, timer_);
        Live().erase(timer_);
        timer_ = 0;
    }
    // Ends whatever modal loop is open: dialogs cancelled, menus closed. A
    // menu's window is told to cancel as well: the system ends only the
    // menu it took as the top one, and a loop whose cancel went elsewhere
    // would wait on.
    static void EndModalLoops()
    {
        EndMenu();
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND wnd, LPARAM) -> BOOL {
                wchar_t name[16] = {};
                GetClassNameW(wnd, name, 16);
                if (lstrcmpW(name, L"#32768") == 0 && IsWindowVisible(wnd))
                    PostMessageW(wnd, WM_CANCELMODE, 0, 0);
                return TRUE;
            },
            0);
        for (int i = 0; i < 16; ++i) {
            const HWND dlg = VisibleThreadWindow(L"#32770");
            if (!dlg)
                break;
            SendMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
            if (IsWindow(dlg) && IsWindowVisible(dlg))
                ShowWindow(dlg, SW_HIDE); // a dialog that will not cancel must not stop the search
        }
    }

private:
    static std::map<UINT_PTR, TModalProbe*>& Live()
    {
        static std::map<UINT_PTR, TModalProbe*> live;
        return live;
    }
    // The thread's message filter: every message a menu's or a dialog's
    // loop takes passes it. A loop that is never idle (a message or a
    // painting that brings on the next) never lets a timer come, so the
    // deadline is also kept here, and such a test fails instead of hanging.
    static HHOOK& Filter()
    {
        static HHOOK hook = nullptr;
        return hook;
    }
    static LRESULT CALLBACK PastDeadline(int code, WPARAM wp, LPARAM lp)
    {
        if (code >= 0) {
            std::vector<UINT_PTR> due;
            const ULONGLONG now = GetTickCount64();
            for (const auto& [id, probe] : Live())
                if (!probe->inStep_ && now > probe->deadline_ + kStarvedMs && now >= probe->nextFilterRun_)
                    due.push_back(id);
            for (UINT_PTR id : due)
                if (const auto it = Live().find(id); it != Live().end()) {
                    // As often as the timer would, not on every message (an
                    // end posts messages of its own).
                    it->second->nextFilterRun_ = now + it->second->periodMs_;
                    it->second->Run();
                }
        }
        return CallNextHookEx(Filter(), code, wp, lp);
    }
    // How long past its deadline a probe waits for its timer before the
    // filter takes over (the timer comes first wherever the loop idles).
    static constexpr ULONGLONG kStarvedMs = 1000;

    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        const auto it = Live().find(id);
        if (it == Live().end()) {
            KillTimer(nullptr, id);
            return;
        }
        it->second->Run();
    }
    void Run()
    {
        if (timedOut_ && !inStep_) {
            RunAfterDeadline();
            return;
        }
        if (inStep_ || done_ || timedOut_)
            return;
        inStep_ = true;
        bool finished = false;
        try {
            finished = step_();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "the probe's step threw: " << e.what();
            finished = true;
        } catch (...) {
            ADD_FAILURE() << "the probe's step threw";
            finished = true;
        }
        inStep_ = false;
        if (finished) {
            done_ = true;
            Stop();
        } else if (GetTickCount64() > deadline_) {
            timedOut_ = true;
            try {
                if (OnTimeout)
                    OnTimeout();
            } catch (...) {
                ADD_FAILURE() << "the probe's time-out step threw";
            }
            EndModalLoops();
        }
    }
    // After the deadline the probe keeps ticking, ending what is still open
    // on every tick: a loop waits for a message, and without the ticks a
    // cancel it missed would leave it waiting for good. It stops when no
    // menu or dialog of the thread is left on the screen, or ten seconds on.
    void RunAfterDeadline()
    {
        if (!VisibleThreadWindow(L"#32768") && !VisibleThreadWindow(L"#32770")) {
            Stop();
            return;
        }
        if (GetTickCount64() > deadline_ + 10000) {
            ADD_FAILURE() << "a modal loop would not end after the probe's deadline";
            Stop();
            return;
        }
        EndModalLoops();
    }

    std::function<bool()> step_;
    ULONGLONG deadline_;
    UINT periodMs_;
    ULONGLONG nextFilterRun_ = 0;
    UINT_PTR timer_ = 0;
    bool inStep_ = false, done_ = false, timedOut_ = false;
};

} // namespace skin::test
