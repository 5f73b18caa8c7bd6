#include "ui/Application.h"

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <map>

#include "base/Sync.h"
#include "base/SyncWin.h"
#include "base/WinText.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Graphics.h"
#include "ui/Guards.h"
#include "ui/Menus.h"

namespace tw {

TApplication* Application = new TApplication();

namespace {
constexpr UINT_PTR kHintShowTimer = 1;
constexpr UINT_PTR kHintHideTimer = 2;
UINT_PTR g_nextTimerId = 100;
std::map<UINT_PTR, TTimer*>& Timers() {
    static std::map<UINT_PTR, TTimer*> m;
    return m;
}

std::string ShortHint(const std::string& hint) {
    size_t p = hint.find('|');
    return p == std::string::npos ? hint : hint.substr(0, p);
}

} // namespace

// ---------------------------------------------------------------- THintWindow

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
    visible_ = false;
    color_ = clInfoBk;
    font_->SetColor(clInfoText);
}

void THintWindow::CreateParams(TCreateParams& p) {
    TCustomControl::CreateParams(p);
    p.Style = WS_POPUP | WS_BORDER;
    p.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE;
    p.ClassStyle = CS_SAVEBITS;
    p.WndParent = nullptr;
}

namespace {
std::string NormaliseLines(const std::string& t) {
    std::string r;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r') {
            r += '\n';
            if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
        } else {
            r += t[i];
        }
    }
    return r;
}
} // namespace

TRect THintWindow::CalcHintRect(const std::string& text) {
    TWindowDC dc;
    TSelection font(dc, font_->Handle());
    std::wstring w = Utf8ToWide(NormaliseLines(text));
    RECT r{0, 0, 600, 0};
    ::DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    return TRect(0, 0, r.right + 8, r.bottom + 6);
}

void THintWindow::ActivateHint(TPoint pos, const std::string& text) {
    SetText(text);
    TRect r = CalcHintRect(text);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = std::min<int>(pos.X, work.right - r.Width());
    int y = pos.Y;
    if (y + r.Height() > work.bottom) y = pos.Y - r.Height() - 24;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    HWND h = Handle();
    StoreBounds(x, y, r.Width(), r.Height());
    visible_ = true;
    SetWindowPos(h, HWND_TOPMOST, x, y, r.Width(), r.Height(), SWP_SHOWWINDOW | SWP_NOACTIVATE);
    InvalidateRect(h, nullptr, TRUE);
}

void THintWindow::ReleaseHint() {
    visible_ = false;
    if (HandleAllocated()) ShowWindow(HandleIfAllocated(), SW_HIDE);
}

void THintWindow::Paint() {
    TRect r = ClientRect();
    Canvas().Brush().SetColor(color_);
    Canvas().FillRect(r);
    Canvas().Brush().SetStyle(bsClear);
    r.Inflate(-3, -2);
    Canvas().DrawText(NormaliseLines(Text()), r, DT_NOPREFIX | DT_LEFT);
}

void THintWindow::WndProc(TMessage& m) {
    if (m.Msg == WM_NCHITTEST) {
        m.Result = HTTRANSPARENT;
        return;
    }
    if (m.Msg == WM_MOUSEACTIVATE) {
        m.Result = MA_NOACTIVATE;
        return;
    }
    TCustomControl::WndProc(m);
}

// ---------------------------------------------------------------- TApplication

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
    if (initialized_) SetMessagePump(nullptr);
    if (handle_) DestroyWindow(handle_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    if (bigIcon_) DestroyIcon(bigIcon_);
}

HICON TApplication::Icon(bool smallSize) {
    if (!iconsLoaded_) {
        iconsLoaded_ = true;
        // Each size from the resource itself, not one picture scaled.
        const HINSTANCE inst = GetModuleHandleW(nullptr);
        smallIcon_ = static_cast<HICON>(LoadImageW(inst, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
        bigIcon_ = static_cast<HICON>(LoadImageW(inst, L"MAINICON", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    }
    return smallSize ? smallIcon_ : bigIcon_;
}

void TApplication::Initialize() {
    if (initialized_) return;
    initialized_ = true;
    SetMainThread();
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                              ICC_TAB_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    InstallMainThreadWaker();
    // Portable code that waits for a worker (the packet writer's flush) lets
    // the windows' messages run through this meanwhile.
    SetMessagePump([this] { ProcessMessages(); });
    RegisterStandardPictureFormats();
    Handle();
}

std::string TApplication::ExeName() const {
    std::wstring buf(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    buf.resize(n);
    return WideToUtf8(buf);
}

HINSTANCE TApplication::Instance() const { return GetModuleHandleW(nullptr); }

LRESULT CALLBACK TApplication::AppWndProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER) {
        try {
            if (wp == kHintShowTimer || wp == kHintHideTimer) {
                Application->HintTimerFired(wp);
            } else {
                auto it = Timers().find(wp);
                if (it != Timers().end()) it->second->Fire();
            }
        } catch (...) {
            Application->HandleException(nullptr);
        }
        return 0;
    }
    // Popup menus shown without an active form belong to this window; the
    // main-window hooks hear what is posted to it.
    // The program's icon for whoever shows the application (a task list,
    // a title that has no icon of its own).
    if (msg == WM_GETICON && Application) {
        if (HICON icon = Application->Icon(wp != ICON_BIG)) return reinterpret_cast<LRESULT>(icon);
    }
    TMessage m{msg, wp, lp, 0};
    if (DispatchMenuOwnerDraw(m)) return m.Result;
    if (Application && msg >= WM_USER) {
        try {
            if (Application->CallMainWindowHooks(m)) return m.Result;
        } catch (...) {
            Application->HandleException(nullptr);
            return 0;
        }
    }
    return DefWindowProcW(h, msg, wp, lp);
}

HWND TApplication::Handle() {
    if (!handle_) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = AppWndProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TApplication";
        RegisterClassW(&wc);
        handle_ = CreateWindowExW(0, wc.lpszClassName, Utf8ToWide(title_).c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, wc.hInstance, nullptr);
    }
    return handle_;
}

void TApplication::Run() {
    if (!initialized_) Initialize();
    if (mainForm_ && showMainForm_ && !terminated_) {
        if (mainForm_->WindowState() == wsMinimized) {
            mainForm_->Show();
        } else {
            mainForm_->Show();
        }
    }
    while (!terminated_) HandleMessage();
}

void TApplication::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    PostQuitMessage(0);
}

bool TApplication::IsKeyMsg(MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN && msg.message != WM_CHAR &&
        msg.message != WM_SYSCHAR && msg.message != WM_KEYUP)
        return false;
    HWND h = msg.hwnd;
    TWinControl* c = nullptr;
    while (h && !(c = TWinControl::FromHandle(h))) h = GetParent(h);
    if (!c) return false;
    TCustomForm* f = c->ParentForm();
    if (!f) return false;
    return f->PreviewKey(msg);
}

bool TApplication::ProcessMessage(MSG& msg) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
        terminated_ = true;
        return true;
    }
    switch (msg.message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        CancelHint();
        break;
    default:
        break;
    }
    bool handled = false;
    try {
        handled = IsKeyMsg(msg);
    } catch (...) {
        HandleException(nullptr);
        handled = true;
    }
    if (!handled) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (ProcessMessage(msg)) {
    }
    try {
        CheckSynchronize();
    } catch (...) {
        HandleException(nullptr);
    }
}

void TApplication::Idle() {
    bool done = true;
    try {
        if (OnIdle) OnIdle(this, done);
        CheckSynchronize();
    } catch (...) {
        HandleException(nullptr);
    }
    if (done) WaitMessage();
}

void TApplication::HandleMessage() {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
}

void TApplication::DestroyForms() {
    CancelHint();
    DestroyComponents();
    mainForm_ = nullptr;
    hintWindow_ = nullptr;
}

void TApplication::ShowException(const std::exception& e) {
    std::string msg = e.what();
    if (!msg.empty() && msg.back() != '.') msg += ".";
    ::MessageBoxW(nullptr, Utf8ToWide(msg).c_str(), Utf8ToWide(title_).c_str(), MB_OK | MB_ICONSTOP | MB_TASKMODAL);
}

void TApplication::HandleException(TObject* sender) {
    // Must be called from inside a catch block. An exception that comes
    // while an earlier one is being shown (its message box runs a message
    // loop) waits its turn instead of being lost.
    if (handlingException_) {
        // The sender may be gone by the time the first box closes.
        (void)sender;
        pendingExceptions_.push_back(std::current_exception());
        return;
    }
    handlingException_ = true;
    ReportException(std::current_exception(), sender);
    while (!pendingExceptions_.empty()) {
        std::exception_ptr next = pendingExceptions_.front();
        pendingExceptions_.erase(pendingExceptions_.begin());
        ReportException(next, nullptr);
    }
    handlingException_ = false;
}

void TApplication::ReportException(std::exception_ptr error, TObject* sender) {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            if (dynamic_cast<const EAbort*>(&e)) {
                // silent exception
            } else if (OnException) {
                OnException(sender, e);
            } else {
                ShowException(e);
            }
        } catch (...) {
            Exception e("Unknown exception");
            if (OnException)
                OnException(sender, e);
            else
                ShowException(e);
        }
    } catch (...) {
        // The handler itself failed: nothing sensible is left to do.
    }
}

void TApplication::ActivateApp(bool active) {
    // Every top-level window of the thread hears WM_ACTIVATEAPP: one notice
    // per change.
    if (active == active_) return;
    active_ = active;
    PostMessageW(Handle(), active ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
}

int TApplication::HookMainWindow(TMessageHandler hook) {
    int k = nextHookKey_++;
    hooks_.push_back(Hook{k, std::move(hook)});
    return k;
}

void TApplication::UnhookMainWindow(int key) {
    hooks_.erase(std::remove_if(hooks_.begin(), hooks_.end(), [key](const Hook& h) { return h.key == key; }),
                 hooks_.end());
}

bool TApplication::CallMainWindowHooks(TMessage& m) {
    if (hooks_.empty()) return false;
    std::vector<Hook> copy = hooks_;
    for (auto& h : copy)
        if (h.fn && h.fn(m)) return true;
    return false;
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, UINT flags) {
    TDialogRequest rq;
    rq.Kind = dkMessageBox;
    rq.Text = text;
    rq.Caption = caption;
    rq.Flags = flags;
    if (auto r = CallDialogHook(rq)) return *r;
    if (auto r = ShowMessageBoxWithParts(text, caption, flags)) return *r;
    HWND owner = GetActiveWindow();
    if (!owner && mainForm_) owner = mainForm_->HandleIfAllocated();
    return ::MessageBoxW(owner, Utf8ToWide(text).c_str(), Utf8ToWide(caption).c_str(), flags);
}

void TApplication::CancelHint() {
    if (handle_) {
        KillTimer(handle_, kHintShowTimer);
        KillTimer(handle_, kHintHideTimer);
    }
    hintControl_ = nullptr;
    if (hintWindow_) hintWindow_->ReleaseHint();
}

void TApplication::SetHintWindowClass(std::function<THintWindow*(TComponent* owner)> make) {
    CancelHint();
    delete hintWindow_;
    hintWindow_ = nullptr;
    makeHintWindow_ = std::move(make);
}

void TApplication::ActivateHint(const std::string& text, TPoint screenPos) {
    if (!hintWindow_) hintWindow_ = makeHintWindow_ ? makeHintWindow_(this) : new THintWindow(this);
    hintWindow_->SetColor(hintColor_);
    hintWindow_->ActivateHint(screenPos, text);
    if (hintHidePause_ > 0) SetTimer(Handle(), kHintHideTimer, static_cast<UINT>(hintHidePause_), nullptr);
}

void TApplication::HintTimerFired(UINT_PTR id) {
    KillTimer(handle_, id);
    if (id == kHintHideTimer) {
        if (hintWindow_) hintWindow_->ReleaseHint();
        return;
    }
    if (!hintControl_ || hintControl_ != mouseControl_) return;
    std::string text = ShortHint(hintControl_->Hint());
    if (text.empty()) return;
    if (OnHint) OnHint(hintControl_);
    POINT pt;
    GetCursorPos(&pt);
    ActivateHint(text, TPoint(pt.x, pt.y + 20));
}

void TApplication::SetMouseControl(TControl* c) {
    if (c == mouseControl_) return;
    TControl* old = mouseControl_;
    mouseControl_ = c;
    if (old) old->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(c));
    // The leave handler may have moved on already.
    if (mouseControl_ != c) return;
    if (c) c->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(c));
    // Hints follow the mouse.
    if (hintWindow_) hintWindow_->ReleaseHint();
    if (handle_) KillTimer(handle_, kHintShowTimer);
    hintControl_ = nullptr;
    if (c && showHint_ && c->EffectiveShowHint() && !c->Hint().empty()) {
        hintControl_ = c;
        SetTimer(Handle(), kHintShowTimer, static_cast<UINT>(hintPause_ > 0 ? hintPause_ : 1), nullptr);
    }
}

void TApplication::ControlDestroyed(TControl* c) {
    if (mouseControl_ == c) mouseControl_ = nullptr;
    if (hintControl_ == c) CancelHint();
    if (mainForm_ == c) mainForm_ = nullptr;
    if (static_cast<TControl*>(hintWindow_) == c) hintWindow_ = nullptr;
}

void TApplication::Minimize() {
    if (mainForm_ && mainForm_->HandleAllocated()) ShowWindow(mainForm_->HandleIfAllocated(), SW_MINIMIZE);
}

void TApplication::Restore() {
    if (mainForm_ && mainForm_->HandleAllocated()) ShowWindow(mainForm_->HandleIfAllocated(), SW_RESTORE);
}

void TApplication::BringToFront() {
    if (mainForm_ && mainForm_->HandleAllocated()) SetForegroundWindow(mainForm_->HandleIfAllocated());
}

// ---------------------------------------------------------------- TTimer

TTimer::TTimer(TComponent* owner) : TComponent(owner) { Apply(); }

TTimer::~TTimer() {
    enabled_ = false;
    Apply();
}

void TTimer::SetEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    Apply();
}

void TTimer::SetInterval(unsigned ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Apply();
}

void TTimer::Loaded() {
    TComponent::Loaded();
    Apply();
}

void TTimer::Apply() {
    if (id_) {
        KillTimer(Application->Handle(), id_);
        Timers().erase(id_);
        id_ = 0;
    }
    if (enabled_ && interval_ > 0 && !IsLoading() && !IsDestroying()) {
        id_ = g_nextTimerId++;
        Timers()[id_] = this;
        SetTimer(Application->Handle(), id_, interval_, nullptr);
    }
}

void TTimer::Fire() {
    if (enabled_ && OnTimer) OnTimer(this);
}

} // namespace tw
