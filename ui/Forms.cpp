#include "ui/Forms.h"

#include <shellapi.h>

#include <algorithm>

#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/ComCtrls.h"
#include "ui/Consts.h"
#include "ui/Guards.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace tw {

TScreen* Screen = new TScreen();
TFormCreationHook FormCreationHook;

// ---------------------------------------------------------------- TScreen

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }
TRect TScreen::WorkAreaRect() const {
    RECT r;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return TRect(r);
}
int TScreen::PixelsPerInch() const { return ScreenPixelsPerInch(); }
TCustomForm* TScreen::ActiveForm() const {
    HWND a = GetActiveWindow();
    for (TCustomForm* f : forms_)
        if (f->HandleIfAllocated() == a && a) return f;
    return nullptr;
}
void TScreen::SetCursor(TCursor c) {
    cursor_ = c;
    POINT p;
    GetCursorPos(&p);
    // Show the new cursor at once, not only at the next mouse move.
    if (c != crDefault)
        ::SetCursor(CursorHandle(c));
    else
        SetCursorPos(p.x, p.y);
}

// ---------------------------------------------------------------- TCustomForm

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
    visible_ = false;
    parentFont_ = false;
    parentColor_ = false;
    left_ = 100;
    top_ = 100;
    width_ = 320;
    height_ = 240;
    Screen->forms_.push_back(this);
    if (FormCreationHook) FormCreationHook(this);
}

TCustomForm::~TCustomForm() {
    Destroying();
    if (OnDestroy) {
        try {
            OnDestroy(this);
        } catch (...) {
            Application->HandleException(this);
        }
    }
    if (menu_) menu_->form_ = nullptr;
    menu_ = nullptr;
    // Owned components first, while the form is still whole.
    DestroyComponents();
    auto& v = Screen->forms_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    if (Application && Application->MainForm() == this) Application->SetMainForm(nullptr);
}

TForm::TForm(TComponent* owner) : TCustomForm(owner) {}

// ---------------------------------------------------------------- TCustomFrame

TCustomFrame::TCustomFrame(TComponent* owner) : TWinControl(owner) {
    width_ = 320;
    height_ = 240;
}

TCustomFrame::~TCustomFrame() {
    Destroying();
    DestroyComponents();
}

void TCustomFrame::CreateParams(TCreateParams& p) {
    TWinControl::CreateParams(p);
    // Its controls are reached by Tab like the form's own.
    p.Style |= WS_CLIPCHILDREN;
    p.ExStyle |= WS_EX_CONTROLPARENT;
}

TFrame::TFrame(TComponent* owner) : TCustomFrame(owner) {}

void TCustomForm::CreateParams(TCreateParams& p) {
    p.ClassName = Utf8ToWide(ClassName());
    p.ClassStyle = CS_DBLCLKS;
    p.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    p.ExStyle = WS_EX_CONTROLPARENT;
    switch (borderStyle_) {
    case bsNone: p.Style |= WS_POPUP; break;
    case bsSingle: p.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: p.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
        p.Style |= WS_POPUP | WS_CAPTION | DS_MODALFRAME;
        p.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
        break;
    case bsToolWindow:
        p.Style |= WS_CAPTION;
        p.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    case bsSizeToolWin:
        p.Style |= WS_CAPTION | WS_THICKFRAME;
        p.ExStyle |= WS_EX_TOOLWINDOW;
        break;
    }
    if (borderStyle_ != bsNone) {
        if (borderIcons_ & biSystemMenu) p.Style |= WS_SYSMENU;
        bool minMax = borderStyle_ == bsSingle || borderStyle_ == bsSizeable;
        if (minMax && (borderIcons_ & biMinimize)) p.Style |= WS_MINIMIZEBOX;
        if (minMax && (borderIcons_ & biMaximize)) p.Style |= WS_MAXIMIZEBOX;
        if ((borderIcons_ & biHelp) && (borderStyle_ == bsDialog || !(p.Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))))
            p.ExStyle |= WS_EX_CONTEXTHELP;
    }
    if (formStyle_ == fsStayOnTop) p.ExStyle |= WS_EX_TOPMOST;
    if (acceptFiles_) p.ExStyle |= WS_EX_ACCEPTFILES;
    if (!enabled_) p.Style |= WS_DISABLED;
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
    if (position_ == poDefault || position_ == poDefaultPosOnly) p.X = p.Y = CW_USEDEFAULT;
    // Secondary forms belong to the main form: they stay above it and
    // minimise with it.
    TCustomForm* mf = Application ? Application->MainForm() : nullptr;
    if (mf && mf != this && mf->HandleAllocated()) p.WndParent = mf->HandleIfAllocated();
}

void TCustomForm::HandleCreated() {
    if (alphaBlend_) ApplyAlphaBlend();
    if (menu_) SetMenu(menu_);
    if (!icon_.Empty()) SendMessageW(handle_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_.Handle()));
    if (position_ == poDefault || position_ == poDefaultPosOnly) UpdateBoundsFromWindow();
}

void TCustomForm::SetAlphaBlend(bool a) {
    if (a == alphaBlend_) return;
    alphaBlend_ = a;
    ApplyAlphaBlend();
}

void TCustomForm::SetAlphaBlendValue(uint8_t v) {
    if (v == alphaBlendValue_) return;
    alphaBlendValue_ = v;
    if (alphaBlend_) ApplyAlphaBlend();
}

void TCustomForm::ApplyAlphaBlend() {
    if (!handle_) return;
    const LONG_PTR ex = GetWindowLongPtrW(handle_, GWL_EXSTYLE);
    if (!alphaBlend_) {
        if (ex & WS_EX_LAYERED) SetWindowLongPtrW(handle_, GWL_EXSTYLE, ex & ~LONG_PTR(WS_EX_LAYERED));
        return;
    }
    if (!(ex & WS_EX_LAYERED)) SetWindowLongPtrW(handle_, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    SetLayeredWindowAttributes(handle_, 0, alphaBlendValue_, LWA_ALPHA);
}

void TCustomForm::Loaded() {
    TWinControl::Loaded();
    if (!created_) {
        created_ = true;
        DoCreate();
    }
}

void TCustomForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TCustomForm::SetBorderStyle(TBorderStyle b) {
    if (b == borderStyle_) return;
    borderStyle_ = b;
    ApplyStyles();
}

void TCustomForm::SetBorderIcons(TBorderIcons b) {
    if (b == borderIcons_) return;
    borderIcons_ = b;
    ApplyStyles();
}

void TCustomForm::ApplyStyles() {
    if (!handle_) return;
    TCreateParams p;
    CreateParams(p);
    DWORD vis = static_cast<DWORD>(GetWindowLongPtrW(handle_, GWL_STYLE)) & (WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    SetWindowLongPtrW(handle_, GWL_STYLE, static_cast<LONG_PTR>(p.Style | vis));
    SetWindowLongPtrW(handle_, GWL_EXSTYLE, static_cast<LONG_PTR>(p.ExStyle));
    SetWindowPos(handle_, formStyle_ == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TCustomForm::SetFormStyle(TFormStyle s) {
    if (s == formStyle_) return;
    formStyle_ = s;
    ApplyStyles();
}

TWindowState TCustomForm::WindowState() const {
    if (handle_ && IsWindowVisible(handle_)) {
        if (IsIconic(handle_)) return wsMinimized;
        if (IsZoomed(handle_)) return wsMaximized;
        return wsNormal;
    }
    return windowState_;
}

void TCustomForm::SetWindowState(TWindowState s) {
    windowState_ = s;
    if (handle_ && IsWindowVisible(handle_))
        ShowWindow(handle_, s == wsMinimized ? SW_MINIMIZE : s == wsMaximized ? SW_MAXIMIZE : SW_RESTORE);
}

void TCustomForm::SetMenu(TMainMenu* m) {
    if (menu_ && menu_ != m) menu_->form_ = nullptr;
    menu_ = m;
    if (m) m->form_ = this;
    if (handle_) {
        ::SetMenu(handle_, m ? m->Handle() : nullptr);
        DrawMenuBar(handle_);
        Perform(CM_MENUCHANGED, 0, 0);
    }
}

void TCustomForm::SetActiveControl(TWinControl* c) {
    activeControl_ = c;
    if (c && handle_ && IsWindowVisible(handle_) && c->CanFocus()) c->SetFocus();
}

void TCustomForm::SetAcceptFiles(bool a) {
    acceptFiles_ = a;
    if (handle_) DragAcceptFiles(handle_, a ? TRUE : FALSE);
}

void TCustomForm::Show() {
    SetVisible(true);
    BringToFront();
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::SetVisible(bool v) {
    bool isShown = handle_ && IsWindowVisible(handle_);
    if (v == visible_ && v == isShown) return;
    visible_ = v;
    // The showing itself happens in the handler of CM_SHOWINGCHANGED, so
    // that whoever holds WindowProc (a skin) can take part in it.
    Perform(CM_SHOWINGCHANGED, v ? 1 : 0, 0);
    Perform(CM_VISIBLECHANGED, v ? 1 : 0, 0);
}

void TCustomForm::ApplyPosition() {
    TRect area = Screen->WorkAreaRect();
    TRect ref = area;
    if (position_ == poMainFormCenter || position_ == poOwnerFormCenter) {
        TCustomForm* mf = Application->MainForm();
        if (position_ == poOwnerFormCenter) {
            if (auto* o = dynamic_cast<TCustomForm*>(Owner())) mf = o;
        }
        if (mf && mf != this && mf->HandleAllocated() && IsWindowVisible(mf->HandleIfAllocated()))
            ref = mf->BoundsRect();
    } else if (position_ != poScreenCenter && position_ != poDesktopCenter) {
        return;
    }
    int x = ref.Left + (ref.Width() - width_) / 2;
    int y = ref.Top + (ref.Height() - height_) / 2;
    x = std::max(area.Left, std::min(x, area.Right - width_));
    y = std::max(area.Top, std::min(y, area.Bottom - height_));
    SetBounds(x, y, width_, height_);
}

void TCustomForm::KeepOnWorkArea() {
    if (!handle_ || parent_) return;
    // The monitor the form opens on: the one its rectangle mostly lies on,
    // else the nearest.
    const RECT bounds{left_, top_, left_ + width_, top_ + height_};
    HMONITOR monitor = MonitorFromRect(&bounds, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) return;
    const TRect area(info.rcWork);
    const TRect r = KeptOnArea(TRect(bounds), area);
    if (r.Left != left_ || r.Top != top_ || r.Width() != width_ || r.Height() != height_)
        SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

TRect KeptOnArea(const TRect& r, const TRect& area) {
    if (area.Width() <= 0 || area.Height() <= 0) return r;
    const int w = std::min(r.Width(), area.Width());
    const int h = std::min(r.Height(), area.Height());
    const int x = std::max(area.Left, std::min(r.Left, area.Right - w));
    const int y = std::max(area.Top, std::min(r.Top, area.Bottom - h));
    return TRect(x, y, x + w, y + h);
}

void TCustomForm::BringToFront() {
    if (handle_ && IsWindowVisible(handle_)) SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

bool TCustomForm::Active() const { return handle_ && GetActiveWindow() == handle_; }

TModalResult TCustomForm::ShowModal() {
    if (visible_ || modal_) throw EInvalidOperation(StdText(stVisibleModal));
    if (GetCapture()) ReleaseCapture();
    Application->CancelHint();
    HWND prevActive = GetActiveWindow();
    Handle();
    std::vector<HWND> others;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND h, LPARAM lp) -> BOOL {
        auto* v = reinterpret_cast<std::vector<HWND>*>(lp);
        if (IsWindowVisible(h) && IsWindowEnabled(h)) v->push_back(h);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&others));
    others.erase(std::remove(others.begin(), others.end(), handle_), others.end());
    for (HWND h : others) EnableWindow(h, FALSE);
    modal_ = true;
    ++Application->modalLevel_;
    modalResult_ = mrNone;
    bool release = false;
    // However the loop ends, the other windows come back and this one goes.
    TScopeExit end([&] {
        for (HWND h : others)
            if (IsWindow(h)) EnableWindow(h, TRUE);
        modal_ = false;
        --Application->modalLevel_;
        Hide();
    });
    Show();
    for (;;) {
        Application->HandleMessage();
        if (Application->Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
        if (modalResult_ != mrNone) {
            TCloseAction action = caHide;
            if (CloseQuery()) {
                DoClose(action);
                if (action == caNone) modalResult_ = mrNone;
                if (action == caFree) release = true;
            } else {
                modalResult_ = mrNone;
            }
            if (Application->Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
            if (modalResult_ != mrNone) break;
        }
    }
    end.Run();
    if (prevActive && IsWindow(prevActive)) SetActiveWindow(prevActive);
    TModalResult r = modalResult_;
    if (release) Release();
    return r;
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Close() {
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
    }
}

void TCustomForm::Release() {
    if (handle_) {
        releaseRequested_ = true;
        PostMessageW(handle_, CM_RELEASE, 0, 0);
    }
    else
        delete this;
}

namespace {

// The form's windowed controls in tab order: each container's children in
// their TabOrder, each child followed by its own. A hidden or disabled
// container (a page that is not shown) is left out with all it holds.
void CollectTabOrder(const TWinControl* parent, std::vector<TWinControl*>& out) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
        auto* w = dynamic_cast<TWinControl*>(parent->Controls(i));
        if (!w || !w->Visible() || !w->Enabled()) continue;
        out.push_back(w);
        CollectTabOrder(w, out);
    }
}

bool TakesTab(const TWinControl* w) { return w->TabStop() && w->CanFocus() && w->HandleAllocated(); }

// The library control a window belongs to (an inner window such as a
// combo box's edit answers for its control).
TWinControl* ControlOfWindow(HWND h, HWND stop) {
    for (; h && h != stop; h = GetParent(h))
        if (TWinControl* c = TWinControl::FromHandle(h)) return c;
    return nullptr;
}

// Whether caption marks ch as its accelerator ("&x"), as a menu's caption
// marks its access key.
bool IsAccel(wchar_t ch, const std::string& caption) {
    const wchar_t key = HotkeyOf(caption);
    CharUpperBuffW(&ch, 1);
    return key != 0 && key == ch;
}

bool Usable(const TControl* c) {
    for (; c; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

} // namespace

void TCustomForm::SelectNext(bool forward) {
    if (!handle_) return;
    std::vector<TWinControl*> order;
    CollectTabOrder(this, order);
    if (order.empty()) return;
    TWinControl* current = ControlOfWindow(GetFocus(), handle_);
    const auto at = std::find(order.begin(), order.end(), current);
    const size_t n = order.size();
    // Without a focused control the walk starts before the first (after
    // the last) control.
    size_t i = at == order.end() ? (forward ? n - 1 : 0) : static_cast<size_t>(at - order.begin());
    for (size_t step = 0; step < n; ++step) {
        i = forward ? (i + 1) % n : (i + n - 1) % n;
        if (order[i] != current && TakesTab(order[i])) {
            order[i]->SetFocus();
            return;
        }
    }
}

bool TCustomForm::DialogChar(wchar_t ch) {
    if (!handle_ || ch < L' ') return false;
    std::vector<TControl*> stack{this};
    std::vector<TControl*> all;
    // Depth first in the order of the controls, as Tab visits them.
    while (!stack.empty()) {
        TControl* c = stack.back();
        stack.pop_back();
        if (c != this) all.push_back(c);
        if (!c->IsWindowed() || !c->Visible() || !c->Enabled()) continue;
        auto* w = static_cast<TWinControl*>(c);
        for (int i = w->ControlCount() - 1; i >= 0; --i) stack.push_back(w->Controls(i));
    }
    for (TControl* c : all) {
        if (!Usable(c)) continue;
        if (auto* label = dynamic_cast<TLabel*>(c)) {
            TWinControl* target = label->FocusControl();
            if (!label->ShowAccelChar() || !target || !IsAccel(ch, label->Caption())) continue;
            if (!target->CanFocus()) continue;
            target->SetFocus();
            return true;
        }
        if (!IsAccel(ch, c->Caption())) continue;
        if (auto* b = dynamic_cast<TButton*>(c)) {
            b->Click();
            return true;
        }
        if (auto* box = dynamic_cast<TCheckBox*>(c)) {
            box->SetFocus();
            box->Toggle();
            return true;
        }
        if (auto* radio = dynamic_cast<TRadioButton*>(c)) {
            radio->SetFocus();
            radio->SetChecked(true);
            return true;
        }
        if (auto* group = dynamic_cast<TGroupBox*>(c)) {
            // The checked button of a radio group, else the first control
            // the box holds that takes the focus.
            std::vector<TWinControl*> inside;
            CollectTabOrder(group, inside);
            TWinControl* first = nullptr;
            for (TWinControl* w : inside) {
                if (!TakesTab(w)) continue;
                if (!first) first = w;
                if (auto* r = dynamic_cast<TRadioButton*>(w); r && r->Checked()) {
                    first = w;
                    break;
                }
            }
            if (first) {
                first->SetFocus();
                return true;
            }
        }
    }
    return false;
}

bool TCustomForm::IsShortCut(TShortCut sc) {
    if (!menu_ || sc == 0) return false;
    return menu_->IsShortCut(sc);
}

bool TCustomForm::DispatchMenuCommand(UINT id) {
    TMenuItem* item = TMenuItem::FindByCommand(id);
    if (!item) return false;
    item->Click();
    return true;
}

TButton* TCustomForm::FindDialogButton(bool defaultButton) const {
    std::vector<const TWinControl*> stack{this};
    while (!stack.empty()) {
        const TWinControl* w = stack.back();
        stack.pop_back();
        for (int i = 0; i < w->ControlCount(); ++i) {
            TControl* c = w->Controls(i);
            if (auto* b = dynamic_cast<TButton*>(c)) {
                if (b->Visible() && b->Enabled() && (defaultButton ? b->Default() : b->Cancel())) return b;
            }
            if (c->IsWindowed() && c->Visible()) stack.push_back(static_cast<TWinControl*>(c));
        }
    }
    return nullptr;
}

bool TCustomForm::PreviewKey(MSG& msg) {
    TWinControl* target = TWinControl::FromHandle(msg.hwnd);
    if (keyPreview_ && target != this) {
        if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
            WORD key = static_cast<WORD>(msg.wParam);
            if (OnKeyDown) OnKeyDown(this, key, KeyboardShiftState());
            if (key == 0) return true;
            msg.wParam = key;
        } else if (msg.message == WM_CHAR) {
            auto key = static_cast<wchar_t>(msg.wParam);
            if (OnKeyPress) OnKeyPress(this, key);
            if (key == 0) return true;
            msg.wParam = key;
        } else if (msg.message == WM_KEYUP) {
            WORD key = static_cast<WORD>(msg.wParam);
            if (OnKeyUp) OnKeyUp(this, key, KeyboardShiftState());
            if (key == 0) return true;
            msg.wParam = key;
        }
    }
    if (msg.message == WM_SYSCHAR) {
        // Alt+letter: a control that owns the letter comes before the menu
        // bar, which opens when none does.
        return DialogChar(static_cast<wchar_t>(msg.wParam));
    }
    if (msg.message == WM_CHAR) {
        // The letter alone acts where the focused control takes no
        // characters (a button, a check box), as in a message box.
        if (KeyboardShiftState() & (ssCtrl | ssAlt)) return false;
        const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, reinterpret_cast<LPARAM>(&msg));
        if (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) return false;
        return DialogChar(static_cast<wchar_t>(msg.wParam));
    }
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
    WORD vk = static_cast<WORD>(msg.wParam);
    TShiftState shift = KeyboardShiftState();
    if (IsShortCut(ShortCut(vk, shift))) return true;
    if (msg.message == WM_KEYDOWN && (shift & ssCtrl) && !(shift & ssAlt) &&
        (vk == VK_TAB || vk == VK_NEXT || vk == VK_PRIOR)) {
        // Ctrl+Tab, Ctrl+Shift+Tab, Ctrl+PgDn and Ctrl+PgUp turn the pages
        // of the page control that has the focus or holds it, unless the
        // focused control takes these keys itself.
        const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
        if (code & (DLGC_WANTALLKEYS | (vk == VK_TAB ? DLGC_WANTTAB : 0))) return false;
        for (TWinControl* c = ControlOfWindow(msg.hwnd, handle_); c && c != this; c = c->Parent())
            if (auto* pages = dynamic_cast<TPageControl*>(c)) {
                const bool forward = vk == VK_TAB ? !(shift & ssShift) : vk == VK_NEXT;
                pages->SelectNextPage(forward);
                return true;
            }
        return false;
    }
    if (msg.message != WM_KEYDOWN || (shift & (ssCtrl | ssAlt))) return false;
    LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
    if (vk == VK_TAB && !(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
        SelectNext(!(shift & ssShift));
        return true;
    }
    if (vk == VK_RETURN && !(code & DLGC_WANTALLKEYS)) {
        if (auto* b = dynamic_cast<TButton*>(target)) {
            b->Click();
            return true;
        }
        if (TButton* b = FindDialogButton(true)) {
            b->Click();
            return true;
        }
    }
    if (vk == VK_ESCAPE && !(code & DLGC_WANTALLKEYS)) {
        if (TButton* b = FindDialogButton(false)) {
            b->Click();
            return true;
        }
    }
    return false;
}

void TCustomForm::SetBounds(int l, int t, int w, int h) {
    TWinControl::SetBounds(l, t, std::max(w, constraints_.MinWidth), std::max(h, constraints_.MinHeight));
}

void TCustomForm::SetClientSize(int w, int h) {
    TRect cr = ClientRect();
    SetBounds(left_, top_, width_ - cr.Width() + w, height_ - cr.Height() + h);
}

TRect TCustomForm::ClientRect() const {
    if (handle_) return TWinControl::ClientRect();
    TCreateParams p;
    const_cast<TCustomForm*>(this)->CreateParams(p);
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, p.Style, menu_ != nullptr, p.ExStyle);
    int w = width_ - (r.right - r.left);
    int h = height_ - (r.bottom - r.top);
    return TRect(0, 0, w < 0 ? 0 : w, h < 0 ? 0 : h);
}

TPoint TCustomForm::ClientOrigin() const {
    if (handle_) return TWinControl::ClientOrigin();
    TCreateParams p;
    const_cast<TCustomForm*>(this)->CreateParams(p);
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, p.Style, menu_ != nullptr, p.ExStyle);
    return TPoint(left_ - r.left, top_ - r.top);
}

void TCustomForm::PaintWindow(HDC dc) {
    if (OnPaint) {
        TCanvasAttachment attached(canvas_, dc, *font_, color_);
        OnPaint(this);
    }
}

void TCustomForm::WndProc(TMessage& m) {
    // The form's own activation notices are not the application's: the
    // hooks hear those from the application's window.
    if (Application && Application->MainForm() == this && m.Msg != CM_ACTIVATE && m.Msg != CM_DEACTIVATE &&
        Application->CallMainWindowHooks(m))
        return;
    switch (m.Msg) {
    case CM_SHOWINGCHANGED: {
        if (m.WParam) {
            Handle();
            if (!shownOnce_ || position_ == poScreenCenter || position_ == poMainFormCenter ||
                position_ == poDesktopCenter || position_ == poOwnerFormCenter)
                ApplyPosition();
            DoShow();
            if (!visible_) return; // OnShow hid it again
            if (windowState_ == wsNormal && keepOnWorkArea_) KeepOnWorkArea();
            int cmd = windowState_ == wsMinimized ? SW_SHOWMINIMIZED
                      : windowState_ == wsMaximized ? SW_SHOWMAXIMIZED
                                                    : SW_SHOWNORMAL;
            if (shownOnce_ && windowState_ == wsNormal) cmd = SW_SHOW;
            ShowWindow(handle_, cmd);
            shownOnce_ = true;
            if (formStyle_ == fsStayOnTop)
                SetWindowPos(handle_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            if (activeControl_ && activeControl_->CanFocus() && activeControl_->HandleAllocated() &&
                GetActiveWindow() == handle_)
                ::SetFocus(activeControl_->HandleIfAllocated());
        } else {
            DoHide();
            if (handle_) {
                windowState_ = WindowState();
                ShowWindow(handle_, SW_HIDE);
            }
        }
        return;
    }
    case WM_CLOSE:
        Close();
        m.Result = 0;
        return;
    case WM_ACTIVATE:
        DefaultHandler(m);
        if (LOWORD(m.WParam) != WA_INACTIVE) {
            if (activeControl_ && activeControl_->HandleAllocated() && activeControl_->CanFocus())
                ::SetFocus(activeControl_->HandleIfAllocated());
            else if (!activeControl_)
                SelectNext(true);
            if (OnActivate) OnActivate(this);
        } else {
            if (OnDeactivate) OnDeactivate(this);
        }
        // Whatever took over the form's procedure hears of it too.
        Perform(LOWORD(m.WParam) != WA_INACTIVE ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
        return;
    case WM_ACTIVATEAPP:
        DefaultHandler(m);
        if (Application) Application->ActivateApp(m.WParam != 0);
        return;
    case WM_COMMAND:
        if (m.LParam == 0 && HIWORD(m.WParam) == 0) {
            if (DispatchMenuCommand(LOWORD(m.WParam))) {
                m.Result = 0;
                return;
            }
        }
        break;
    case WM_INITMENUPOPUP:
        if (TMenuItem* item = menu_ ? menu_->FindItem(reinterpret_cast<HMENU>(m.WParam)) : nullptr) {
            // The parent item's click runs when its submenu opens.
            if (item->ParentItem()) item->Click();
            m.Result = 0;
            return;
        }
        break;
    case WM_GETMINMAXINFO:
        DefaultHandler(m);
        if (auto* mmi = reinterpret_cast<MINMAXINFO*>(m.LParam)) {
            mmi->ptMinTrackSize.x = std::max<LONG>(mmi->ptMinTrackSize.x, constraints_.MinWidth);
            mmi->ptMinTrackSize.y = std::max<LONG>(mmi->ptMinTrackSize.y, constraints_.MinHeight);
        }
        return;
    case WM_SIZE:
        DefaultHandler(m);
        if (m.WParam == SIZE_MINIMIZED) return;
        UpdateBoundsFromWindow();
        return;
    default:
        break;
    }
    TWinControl::WndProc(m);
}

} // namespace tw
