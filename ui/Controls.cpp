#include "ui/Controls.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <new>

#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Guards.h"
#include "ui/Menus.h"
#include "ui/WindowTable.h"

namespace tw {

namespace {

const wchar_t* const kDefProcProp = L"TwDefProc";
thread_local TWinControl* g_creating = nullptr;

// The control of each window of ours. Never destroyed: a window may still
// get messages while the program's statics go.
TWindowTable<TWinControl>& WindowControls() {
    static auto* table = new TWindowTable<TWinControl>;
    return *table;
}

// The control takes the window: messages reach it from now on, and its class
// procedure stays known for the window's last messages. False when there was
// no memory to note it (the window then belongs to no control).
bool AttachWindow(HWND h, TWinControl* c, WNDPROC defProc) {
    try {
        WindowControls().Set(h, c);
    } catch (const std::bad_alloc&) {
        return false;
    }
    SetPropW(h, kDefProcProp, reinterpret_cast<HANDLE>(defProc));
    return true;
}

struct ClassEntry {
    std::wstring base;
    WNDPROC defProc;
};
std::map<std::wstring, ClassEntry>& Classes() {
    static std::map<std::wstring, ClassEntry> m;
    return m;
}

bool IsMouseMsg(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST && m != WM_MOUSEWHEEL && m != WM_MOUSEHWHEEL; }

TPoint PointFromLParam(LPARAM lp) {
    return TPoint(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
}
LPARAM LParamFromPoint(TPoint p) {
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(p.X)), static_cast<WORD>(static_cast<short>(p.Y)));
}

} // namespace

TShiftState KeyboardShiftState() {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeysToShiftState(WPARAM keys) {
    TShiftState s = 0;
    if (keys & MK_SHIFT) s |= ssShift;
    if (keys & MK_CONTROL) s |= ssCtrl;
    if (keys & MK_LBUTTON) s |= ssLeft;
    if (keys & MK_RBUTTON) s |= ssRight;
    if (keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

HCURSOR CursorHandle(TCursor c) {
    LPCWSTR id = IDC_ARROW;
    switch (c) {
    case crNone: return nullptr;
    case crCross: id = IDC_CROSS; break;
    case crIBeam: id = IDC_IBEAM; break;
    case crSizeNESW: id = IDC_SIZENESW; break;
    case crSizeNS: id = IDC_SIZENS; break;
    case crSizeNWSE: id = IDC_SIZENWSE; break;
    case crSizeWE: id = IDC_SIZEWE; break;
    case crUpArrow: id = IDC_UPARROW; break;
    case crHourGlass: id = IDC_WAIT; break;
    case crNo: id = IDC_NO; break;
    case crAppStart: id = IDC_APPSTARTING; break;
    case crHandPoint: id = IDC_HAND; break;
    case crSizeAll: id = IDC_SIZEALL; break;
    default: break;
    }
    return LoadCursorW(nullptr, id);
}

std::string GetWindowTextUtf8(HWND h) {
    int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    n = GetWindowTextW(h, w.data(), n + 1);
    w.resize(static_cast<size_t>(n < 0 ? 0 : n));
    return WideToUtf8(w);
}

void SetWindowTextUtf8(HWND h, const std::string& s) { SetWindowTextW(h, Utf8ToWide(s).c_str()); }

// ---------------------------------------------------------------- window procedure

namespace {

bool LibraryPointerNotice(UINT msg) {
    switch (msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
    case CM_CONTROLLISTCHANGE:
    case CN_NOTIFY:
    case CN_DRAWITEM:
    case CN_MEASUREITEM:
        return true;
    default:
        return false;
    }
}

} // namespace

LRESULT CALLBACK ControlWindowProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    auto* c = WindowControls().Find(h);
    // A window that ends before its control took it (refused below) is not
    // taken at its last messages.
    if (!c && g_creating && !g_creating->handle_ && msg != WM_DESTROY && msg != WM_NCDESTROY) {
        // Nothing may unwind through the system here: a window whose control
        // cannot be noted is refused at WM_NCCREATE, and the control says it
        // could not make its window.
        if (!AttachWindow(h, g_creating, g_creating->defWndProc_))
            return msg == WM_NCCREATE ? FALSE : DefWindowProcW(h, msg, wp, lp);
        c = g_creating;
        c->handle_ = h;
    }
    if (!c) {
        // A window whose control is gone (or a foreign one of our class):
        // the class's original procedure answers.
        auto def = reinterpret_cast<WNDPROC>(GetPropW(h, kDefProcProp));
        if (msg == WM_NCDESTROY) RemovePropW(h, kDefProcProp);
        if (def) return CallWindowProcW(def, h, msg, wp, lp);
        return DefWindowProcW(h, msg, wp, lp);
    }
    if (msg == CM_RELEASE) {
        // Release: the form deletes itself now that its handlers returned.
        // Any other CM_RELEASE comes from elsewhere and is dropped.
        if (!c->releaseRequested_) return 0;
        try {
            delete c;
        } catch (...) {
            Application->HandleException(nullptr);
        }
        return 0;
    }
    // The library hands these to its controls by a direct call, never
    // through the system; one that comes this way was sent by another
    // program or thread, and the pointer it carries is not ours to follow.
    if (LibraryPointerNotice(msg)) return 0;
    TMessage m{msg, wp, lp, 0};
    try {
        if (c->WindowProc)
            c->WindowProc(m);
        else
            c->WndProc(m);
    } catch (...) {
        // No exception may unwind through user32.
        Application->HandleException(c);
    }
    if (msg == WM_NCDESTROY) {
        WindowControls().Remove(h, c);
        RemovePropW(h, kDefProcProp);
        if (c->handle_ == h) c->handle_ = nullptr;
    }
    return m.Result;
}

namespace {

// Registers the window class of a control once: an own class, or a
// superclass of a system class under the control's class name.
WNDPROC RegisterControlClass(TCreateParams& p) {
    auto& classes = Classes();
    auto it = classes.find(p.ClassName);
    if (it != classes.end() && it->second.base != p.BaseClassName) {
        p.ClassName += L"." + p.BaseClassName;
        it = classes.find(p.ClassName);
    }
    if (it != classes.end()) return it->second.defProc;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    WNDPROC def = DefWindowProcW;
    if (!p.BaseClassName.empty()) {
        if (!GetClassInfoExW(nullptr, p.BaseClassName.c_str(), &wc))
            throw EWin32Error("Window class not found: " + WideToUtf8(p.BaseClassName));
        def = wc.lpfnWndProc;
        wc.style &= ~static_cast<UINT>(CS_GLOBALCLASS);
    } else {
        wc.style = p.ClassStyle;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = nullptr;
    }
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ControlWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = p.ClassName.c_str();
    if (p.BaseClassName.empty()) {
        wc.hIcon = LoadIconW(wc.hInstance, L"MAINICON");
        if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    }
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw EWin32Error("Cannot register window class " + WideToUtf8(p.ClassName));
    classes[p.ClassName] = ClassEntry{p.BaseClassName, def};
    return def;
}

} // namespace

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
    WindowProc = [this](TMessage& m) { WndProc(m); };
    font_->OnChange = [this] {
        if (!updatingFont_) parentFont_ = false;
        FontChanged();
    };
}

TControl::~TControl() {
    // What the control owns goes while the control is still whole: an owned
    // component may give back something it took from its owner (a message
    // procedure, a colour) in its destructor.
    Destroying();
    DestroyComponents();
    if (Application) Application->ControlDestroyed(this);
    if (TCustomForm* f = ParentForm()) {
        if (f->activeControl_ == this) f->activeControl_ = nullptr;
    }
    if (parent_) {
        TWinControl* p = parent_;
        parent_ = nullptr;
        auto& v = p->controls_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        if (p->captureControl_ == this) p->captureControl_ = nullptr;
        if (!IsWindowed() && visible_ && p->HandleAllocated()) {
            RECT r = BoundsRect().ToRECT();
            InvalidateRect(p->HandleIfAllocated(), &r, TRUE);
        }
    }
    font_->OnChange = nullptr;
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw EInvalidOperation("A control cannot be its own parent");
    if (parent_) {
        parent_->Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(this), 0);
        if (!IsWindowed()) Invalidate();
        auto& v = parent_->controls_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        if (parent_->captureControl_ == this) parent_->captureControl_ = nullptr;
        TWinControl* old = parent_;
        parent_ = nullptr;
        if (align_ != alNone) old->Realign();
    }
    parent_ = parent;
    if (parent_) {
        parent_->controls_.push_back(this);
        if (parentFont_) ParentFontChanged();
        if (parentColor_) ParentColorChanged();
        if (align_ != alNone) parent_->Realign();
        if (!IsWindowed()) {
            Invalidate();
            // A windowed control tells its parent once its window is made.
            parent_->Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(this), 1);
        }
    }
}

TCustomForm* TControl::ParentForm() const {
    const TControl* c = this;
    while (c->parent_) c = c->parent_;
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(c));
}

TCustomForm* GetParentForm(TControl* c) { return c ? c->ParentForm() : nullptr; }

void TControl::StoreBounds(int l, int t, int w, int h) {
    left_ = l;
    top_ = t;
    width_ = w < 0 ? 0 : w;
    height_ = h < 0 ? 0 : h;
}

void TControl::SetBounds(int l, int t, int w, int h) {
    if (l == left_ && t == top_ && w == width_ && h == height_) return;
    bool sized = w != width_ || h != height_;
    Invalidate();
    StoreBounds(l, t, w, h);
    Invalidate();
    BoundsChanged();
    if (sized) Resize();
    RequestAlign();
}

void TControl::RequestAlign() {
    if (parent_ && align_ != alNone && !parent_->aligning_) parent_->Realign();
}

void TControl::SetClientSize(int w, int h) {
    TRect cr = ClientRect();
    SetBounds(left_, top_, width_ - cr.Width() + w, height_ - cr.Height() + h);
}

TPoint TControl::ClientOrigin() const {
    if (!parent_) return TPoint(left_, top_);
    TPoint p = parent_->ClientOrigin();
    return TPoint(p.X + left_, p.Y + top_);
}

TPoint TControl::ClientToScreen(TPoint p) const {
    TPoint o = ClientOrigin();
    return TPoint(p.X + o.X, p.Y + o.Y);
}

TPoint TControl::ScreenToClient(TPoint p) const {
    TPoint o = ClientOrigin();
    return TPoint(p.X - o.X, p.Y - o.Y);
}

void TControl::SetAlign(TAlign a) {
    if (a == align_) return;
    align_ = a;
    if (parent_) parent_->Realign();
}

void TControl::SetVisible(bool v) {
    if (v == visible_) return;
    visible_ = v;
    VisibleChanged();
    Perform(CM_VISIBLECHANGED, v ? 1 : 0, 0);
    if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::VisibleChanged() {
    if (parent_ && parent_->HandleAllocated()) {
        RECT r = BoundsRect().ToRECT();
        InvalidateRect(parent_->HandleIfAllocated(), &r, TRUE);
    }
}

bool TControl::Showing() const {
    const TControl* c = this;
    while (c) {
        if (!c->visible_) return false;
        if (c->IsWindowed()) {
            HWND h = static_cast<const TWinControl*>(c)->HandleIfAllocated();
            return h && IsWindowVisible(h);
        }
        c = c->parent_;
    }
    return false;
}

void TControl::SetEnabled(bool e) {
    if (e == enabled_) return;
    enabled_ = e;
    EnabledChanged();
    Perform(CM_ENABLEDCHANGED, 0, 0);
}

void TControl::EnabledChanged() { Invalidate(); }

void TControl::SetColor(TColor c) {
    parentColor_ = false;
    if (c == color_) return;
    color_ = c;
    ColorChanged();
    Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool p) {
    parentColor_ = p;
    if (p && parent_) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!parent_) return;
    if (color_ != parent_->color_) {
        color_ = parent_->color_;
        ColorChanged();
    }
}

void TControl::ColorChanged() { Invalidate(); }

void TControl::SetParentFont(bool p) {
    parentFont_ = p;
    if (p && parent_) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!parent_ || font_->SameAs(*parent_->font_)) return;
    updatingFont_ = true;
    font_->Assign(*parent_->font_);
    updatingFont_ = false;
}

void TControl::FontChanged() { Invalidate(); }

void TControl::SetText(const std::string& t) {
    if (t == text_) return;
    text_ = t;
    TextChanged();
    Perform(CM_TEXTCHANGED, 0, 0);
    Invalidate();
}

bool TControl::EffectiveShowHint() const {
    const TControl* c = this;
    while (c) {
        if (!c->parentShowHint_ || !c->parent_) return c->showHint_;
        c = c->parent_;
    }
    return false;
}

void TControl::Invalidate() {
    if (parent_ && parent_->HandleAllocated() && visible_) {
        RECT r = BoundsRect().ToRECT();
        InvalidateRect(parent_->HandleIfAllocated(), &r, TRUE);
    }
}

void TControl::BringToFront() {
    if (!parent_) return;
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
    if (IsWindowed()) {
        HWND h = static_cast<TWinControl*>(this)->HandleIfAllocated();
        if (h) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    Invalidate();
}

void TControl::SendToBack() {
    if (!parent_) return;
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.insert(v.begin(), this);
    if (IsWindowed()) {
        HWND h = static_cast<TWinControl*>(this)->HandleIfAllocated();
        if (h) SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    Invalidate();
}

LRESULT TControl::Perform(UINT msg, WPARAM wp, LPARAM lp) {
    TMessage m{msg, wp, lp, 0};
    if (WindowProc)
        WindowProc(m);
    else
        WndProc(m);
    return m.Result;
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::MouseDown(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseDown) OnMouseDown(this, b, s, x, y);
}
void TControl::MouseUp(TMouseButton b, TShiftState s, int x, int y) {
    if (OnMouseUp) OnMouseUp(this, b, s, x, y);
}
void TControl::MouseMove(TShiftState s, int x, int y) {
    if (OnMouseMove) OnMouseMove(this, s, x, y);
}
void TControl::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::Loaded() { TComponent::Loaded(); }

void TControl::WndProc(TMessage& m) {
    switch (m.Msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        TPoint p = PointFromLParam(m.LParam);
        TMouseButton b = m.Msg == WM_LBUTTONDOWN ? mbLeft : m.Msg == WM_RBUTTONDOWN ? mbRight : mbMiddle;
        if (b == mbLeft && clickOnMouseUp_) clicking_ = true;
        MouseDown(b, KeysToShiftState(m.WParam), p.X, p.Y);
        break;
    }
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK: {
        TPoint p = PointFromLParam(m.LParam);
        TMouseButton b = m.Msg == WM_LBUTTONDBLCLK ? mbLeft : m.Msg == WM_RBUTTONDBLCLK ? mbRight : mbMiddle;
        if (b == mbLeft && clickOnMouseUp_) clicking_ = true;
        MouseDown(b, KeysToShiftState(m.WParam) | ssDouble, p.X, p.Y);
        if (b == mbLeft && OnDblClick) OnDblClick(this);
        break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        TPoint p = PointFromLParam(m.LParam);
        TMouseButton b = m.Msg == WM_LBUTTONUP ? mbLeft : m.Msg == WM_RBUTTONUP ? mbRight : mbMiddle;
        bool click = b == mbLeft && clicking_;
        if (b == mbLeft) clicking_ = false;
        MouseUp(b, KeysToShiftState(m.WParam), p.X, p.Y);
        if (click && p.X >= 0 && p.Y >= 0 && p.X < width_ && p.Y < height_ && enabled_) Click();
        break;
    }
    case WM_MOUSEMOVE: {
        TPoint p = PointFromLParam(m.LParam);
        if (Application) Application->SetMouseControl(this);
        MouseMove(KeysToShiftState(m.WParam), p.X, p.Y);
        break;
    }
    case CM_MOUSEENTER:
        mouseIn_ = true;
        MouseEnter();
        return;
    case CM_MOUSELEAVE:
        mouseIn_ = false;
        MouseLeave();
        return;
    default:
        break;
    }
    DefaultHandler(m);
}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
    // Owned components first, while the window and the children are there
    // (an adapter on this control gives the window procedure back).
    Destroying();
    DestroyComponents();
    // Children still parented here go with their parent (as owned ones go
    // with their owner).
    while (!controls_.empty()) delete controls_.back();
    DestroyWnd();
    WindowControls().RemoveAll(this);
    if (bgBrush_) DeleteObject(bgBrush_);
}

TWinControl* TWinControl::FromHandle(HWND h) {
    if (!h) return nullptr;
    return WindowControls().Find(h);
}

HWND TWinControl::Handle() {
    if (!handle_ && !(controlState_ & csCreating)) {
        controlState_ |= csCreating;
        TScopeExit created([this] { controlState_ &= ~csCreating; });
        CreateWnd();
    }
    return handle_;
}

void TWinControl::CreateParams(TCreateParams& p) {
    p.ClassName = Utf8ToWide(ClassName());
    // A control's own drawing (frames, edges, pictures laid to its size)
    // changes all over when its size does: the whole window is painted
    // again, not only the strip a larger size uncovers.
    p.ClassStyle = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    p.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (visible_) p.Style |= WS_VISIBLE;
    if (tabStop_) p.Style |= WS_TABSTOP;
    if (!enabled_) p.Style |= WS_DISABLED;
    p.ExStyle = WS_EX_NOPARENTNOTIFY;
    p.X = left_;
    p.Y = top_;
    p.Width = width_;
    p.Height = height_;
}

void TWinControl::CreateWnd() {
    HWND parentWnd = nullptr;
    if (parent_) parentWnd = parent_->Handle();
    if (handle_) return; // the parent's creation made this one too
    TCreateParams p;
    CreateParams(p);
    if (!p.WndParent) p.WndParent = parentWnd;
    if ((p.Style & WS_CHILD) && !p.WndParent) {
        // A child without a parent window cannot exist yet; stay lazy.
        return;
    }
    defWndProc_ = RegisterControlClass(p);
    CreateWindowHandle(p);
    if (!handle_) throw EWin32Error("Cannot create window of " + ClassName());
    SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_->Handle()), 0);
    RECT cr;
    GetClientRect(handle_, &cr);
    lastClientW_ = cr.right;
    lastClientH_ = cr.bottom;
    HandleCreated();
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c->IsWindowed()) static_cast<TWinControl*>(c)->Handle();
    }
    // Keep the children's z-order as their list order.
    Realign();
    if (!announced_) {
        // The owner's components hear of the control once it is whole and
        // has its window (its class is only final after its constructor):
        // a skin on the form adapts a control made after the form was
        // skinned.
        announced_ = true;
        NotifyOwner(opInsert);
    }
}

void TWinControl::CreateWindowHandle(const TCreateParams& p) {
    // The text first: nothing that can throw may come between naming the
    // control being made and the system's call, or the name would outlive it.
    const std::wstring text = Utf8ToWide(text_);
    TWinControl* prev = g_creating;
    g_creating = this;
    HWND h = CreateWindowExW(p.ExStyle, p.ClassName.c_str(), text.c_str(), p.Style, p.X, p.Y, p.Width, p.Height,
                             p.WndParent, nullptr, GetModuleHandleW(nullptr), nullptr);
    g_creating = prev;
    if (h && !handle_) {
        if (AttachWindow(h, this, defWndProc_))
            handle_ = h;
        else
            DestroyWindow(h);
    }
}

void TWinControl::DestroyWnd() {
    if (!handle_) return;
    for (TControl* c : controls_) {
        if (c->IsWindowed()) static_cast<TWinControl*>(c)->DestroyWnd();
    }
    HandleDestroying();
    // An adapter had this window, not the next one.
    controlState_ &= ~csSkinAdapted;
    HWND h = handle_;
    // Messages of the dying window go to the class procedure, not to a
    // half-destroyed object.
    WindowControls().Remove(h, this);
    handle_ = nullptr;
    DestroyWindow(h);
}

void TWinControl::RecreateWnd() {
    if (!handle_) return;
    text_ = Text();
    DestroyWnd();
    Handle();
}

void TWinControl::SetText(const std::string& t) {
    if (handle_) {
        if (GetWindowTextUtf8(handle_) != t) SetWindowTextUtf8(handle_, t);
    }
    if (t == text_) return;
    text_ = t;
    TextChanged();
    Perform(CM_TEXTCHANGED, 0, 0);
}

std::string TWinControl::Text() const {
    if (handle_) return GetWindowTextUtf8(handle_);
    return text_;
}

void TWinControl::SetBounds(int l, int t, int w, int h) {
    if (l == left_ && t == top_ && w == width_ && h == height_) return;
    if (handle_) {
        // No copy of the old pixels: what a control shows may depend on its
        // place (the picture of its parent under it), and a copy would keep
        // what it showed where it was. A window of its own shows the same
        // wherever it stands: only moved (the log window following each step
        // of a drag of the main window), it keeps its pixels. No erase of the
        // parent inside the move either: it comes before the control hears
        // its new size, and a parent that has its children paint at once
        // from its erase (as the skin's does) would have this one paint at
        // the size it knew, over the window's whole dirty area, which no
        // later paint redoes.
        const bool child = (GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD) != 0;
        const bool copy = !child && w == width_ && h == height_;
        SetWindowPos(handle_, nullptr, l, t, w, h,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_DEFERERASE | (copy ? 0 : SWP_NOCOPYBITS));
        // WM_SIZE / WM_MOVE stored what the system made of it; keep the
        // asked-for values where the system left them alone (hidden, etc.).
        if (!IsIconic(handle_)) StoreBounds(l, t, w, h);
        Realign();
    } else {
        bool sized = w != width_ || h != height_;
        StoreBounds(l, t, w, h);
        if (sized) {
            Realign();
            Resize();
        }
    }
    BoundsChanged();
    RequestAlign();
}

void TWinControl::UpdateBoundsFromWindow() {
    if (!handle_ || IsIconic(handle_)) return;
    RECT r;
    GetWindowRect(handle_, &r);
    HWND parentWnd = GetParent(handle_);
    if ((GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD) && parentWnd)
        MapWindowPoints(HWND_DESKTOP, parentWnd, reinterpret_cast<POINT*>(&r), 2);
    bool sized = (r.right - r.left) != width_ || (r.bottom - r.top) != height_;
    StoreBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
    RECT cr;
    GetClientRect(handle_, &cr);
    if (cr.right != lastClientW_ || cr.bottom != lastClientH_) {
        Realign();
        sized = true;
    }
    if (sized) Resize();
}

TRect TWinControl::ClientRect() const {
    if (handle_) {
        RECT r;
        GetClientRect(handle_, &r);
        return TRect(r);
    }
    TCreateParams p;
    const_cast<TWinControl*>(this)->CreateParams(p);
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, p.Style & ~static_cast<DWORD>(WS_VISIBLE), FALSE, p.ExStyle);
    int w = width_ - (r.right - r.left);
    int h = height_ - (r.bottom - r.top);
    return TRect(0, 0, w < 0 ? 0 : w, h < 0 ? 0 : h);
}

TPoint TWinControl::ClientOrigin() const {
    if (handle_) {
        POINT p{0, 0};
        ::ClientToScreen(handle_, &p);
        return TPoint(p.x, p.y);
    }
    return TControl::ClientOrigin();
}

void TWinControl::Invalidate() {
    if (handle_) InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::Update() {
    if (handle_) UpdateWindow(handle_);
}

void TWinControl::SetTabStop(bool t) {
    tabStop_ = t;
    if (handle_) {
        LONG_PTR s = GetWindowLongPtrW(handle_, GWL_STYLE);
        SetWindowLongPtrW(handle_, GWL_STYLE, t ? (s | WS_TABSTOP) : (s & ~static_cast<LONG_PTR>(WS_TABSTOP)));
    }
}

int TWinControl::TabOrder() const {
    if (!parent_) return -1;
    int i = 0;
    for (TControl* c : parent_->controls_) {
        if (c == this) return i;
        if (c->IsWindowed()) ++i;
    }
    return -1;
}

void TWinControl::SetTabOrder(int order) {
    if (!parent_) return;
    // Tab order is the order of the windowed children (and of their windows).
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), static_cast<TControl*>(this)), v.end());
    int i = 0;
    auto it = v.begin();
    for (; it != v.end(); ++it) {
        if ((*it)->IsWindowed()) {
            if (i == order) break;
            ++i;
        }
    }
    HWND after = HWND_TOP;
    if (it != v.begin()) {
        for (auto j = it; j != v.begin();) {
            --j;
            if ((*j)->IsWindowed()) {
                after = static_cast<TWinControl*>(*j)->handle_;
                break;
            }
        }
    }
    v.insert(it, this);
    if (handle_ && after) SetWindowPos(handle_, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool TWinControl::CanFocus() const {
    const TControl* c = this;
    while (c) {
        if (!c->visible_ || !c->enabled_) return false;
        c = c->parent_;
    }
    return true;
}

void TWinControl::SetFocus() {
    if (TCustomForm* f = ParentForm()) {
        if (f != this) f->activeControl_ = this;
    }
    if (Handle()) ::SetFocus(handle_);
}

bool TWinControl::Focused() const { return handle_ && GetFocus() == handle_; }

void TWinControl::EnableAlign() {
    if (alignLock_ > 0 && --alignLock_ == 0) Realign();
}

void TWinControl::Realign() {
    if (alignLock_ > 0 || aligning_) return;
    aligning_ = true;
    TScopeExit aligned([this] { aligning_ = false; });
    TRect cr = ClientRect();
    if (lastClientW_ >= 0 && (cr.Width() != lastClientW_ || cr.Height() != lastClientH_))
        AnchorChildren(lastClientW_, lastClientH_, cr.Width(), cr.Height());
    lastClientW_ = cr.Width();
    lastClientH_ = cr.Height();
    TRect r = AdjustedClientRect();
    AlignControls(r);
}

void TWinControl::AnchorChildren(int oldW, int oldH, int newW, int newH) {
    int dx = newW - oldW, dy = newH - oldH;
    if (dx == 0 && dy == 0) return;
    for (TControl* c : controls_) {
        if (c->align_ != alNone) continue;
        TAnchors a = c->anchors_;
        int l = c->left_, t = c->top_, w = c->width_, h = c->height_;
        if (a & akRight) {
            if (a & akLeft)
                w += dx;
            else
                l += dx;
        }
        if (a & akBottom) {
            if (a & akTop)
                h += dy;
            else
                t += dy;
        }
        if (l != c->left_ || t != c->top_ || w != c->width_ || h != c->height_) c->SetBounds(l, t, w, h);
    }
}

void TWinControl::AlignControls(TRect& r) {
    auto group = [&](TAlign a) {
        std::vector<TControl*> v;
        for (TControl* c : controls_)
            if (c->align_ == a && c->visible_) v.push_back(c);
        auto key = [a](TControl* c) {
            switch (a) {
            case alTop: return c->top_;
            case alBottom: return -(c->top_ + c->height_);
            case alLeft: return c->left_;
            case alRight: return -(c->left_ + c->width_);
            default: return 0;
            }
        };
        std::stable_sort(v.begin(), v.end(), [&](TControl* x, TControl* y) { return key(x) < key(y); });
        return v;
    };
    for (TControl* c : group(alTop)) {
        c->SetBounds(r.Left, r.Top, r.Width(), c->height_);
        r.Top += c->height_;
    }
    for (TControl* c : group(alBottom)) {
        c->SetBounds(r.Left, r.Bottom - c->height_, r.Width(), c->height_);
        r.Bottom -= c->height_;
    }
    for (TControl* c : group(alLeft)) {
        c->SetBounds(r.Left, r.Top, c->width_, r.Height());
        r.Left += c->width_;
    }
    for (TControl* c : group(alRight)) {
        c->SetBounds(r.Right - c->width_, r.Top, c->width_, r.Height());
        r.Right -= c->width_;
    }
    for (TControl* c : group(alClient)) c->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

TControl* TWinControl::ControlAtPos(TPoint p, bool allowDisabled, bool allowWinControls) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (c->IsWindowed() && !allowWinControls) continue;
        if (!c->visible_ || (!c->enabled_ && !allowDisabled)) continue;
        if (c->BoundsRect().Contains(p)) return c;
    }
    return nullptr;
}

void TWinControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    TControl::SetParent(parent);
    if (handle_) {
        // A window moves to a parent that has one; otherwise it goes and is
        // made again when needed.
        if (parent && parent->HandleAllocated())
            ::SetParent(handle_, parent->HandleIfAllocated());
        else
            DestroyWnd();
    }
    if (parent && parent->HandleAllocated() && !handle_) Handle();
    if (parent_ == parent && parent) parent->Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(this), 1);
}

void TWinControl::ColorChanged() {
    for (TControl* c : controls_)
        if (c->parentColor_) c->ParentColorChanged();
    Invalidate();
}

void TWinControl::FontChanged() {
    if (handle_) SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_->Handle()), TRUE);
    for (TControl* c : controls_)
        if (c->parentFont_) c->ParentFontChanged();
    Perform(CM_FONTCHANGED, 0, 0);
    Invalidate();
}

void TWinControl::VisibleChanged() {
    if (handle_) {
        SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                         (visible_ ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    } else if (visible_ && parent_ && parent_->HandleAllocated()) {
        Handle();
    }
}

void TWinControl::EnabledChanged() {
    if (handle_) EnableWindow(handle_, enabled_ ? TRUE : FALSE);
}

HBRUSH TWinControl::BackgroundBrush() {
    COLORREF c = ColorToRGB(color_);
    if (!bgBrush_ || c != bgBrushColor_) {
        if (bgBrush_) DeleteObject(bgBrush_);
        bgBrush_ = CreateSolidBrush(c);
        bgBrushColor_ = c;
    }
    return bgBrush_;
}

LRESULT TWinControl::CtlColor(HDC dc) {
    SetTextColor(dc, ColorToRGB(font_->Color()));
    SetBkColor(dc, ColorToRGB(color_));
    return reinterpret_cast<LRESULT>(BackgroundBrush());
}

bool TWinControl::DoKeyDown(WORD& key, TShiftState shift) {
    if (OnKeyDown) OnKeyDown(this, key, shift);
    return key == 0;
}

bool TWinControl::DoKeyPress(wchar_t& key) {
    if (OnKeyPress) OnKeyPress(this, key);
    return key == 0;
}

void TWinControl::Broadcast(TMessage& m) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c->WindowProc)
            c->WindowProc(m);
        else
            c->WndProc(m);
        if (m.Result != 0) return;
    }
}

void TWinControl::PaintControls(HDC dc, TControl* first) {
    bool started = first == nullptr;
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (!started) {
            started = c == first;
            if (!started) continue;
        }
        if (c->IsWindowed() || !c->visible_) continue;
        RECT r = c->BoundsRect().ToRECT();
        if (!RectVisible(dc, &r)) continue;
        TSavedDCState saved(dc);
        OffsetViewportOrgEx(dc, c->left_, c->top_, nullptr);
        IntersectClipRect(dc, 0, 0, c->width_, c->height_);
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    }
}

void TWinControl::PaintWindow(HDC dc) {
    TMessage pm{WM_PAINT, reinterpret_cast<WPARAM>(dc), 0, 0};
    DefaultHandler(pm);
}

void TWinControl::PaintHandler(TMessage& m) {
    m.Result = 0;
    if (HDC given = reinterpret_cast<HDC>(m.WParam)) {
        PaintWindow(given);
        PaintControls(given);
        return;
    }
    TPaintDC dc(handle_);
    if (!doubleBuffered_) {
        PaintWindow(dc);
        PaintControls(dc);
        return;
    }
    // The whole client area is drawn off screen and copied in one go.
    RECT cr;
    GetClientRect(handle_, &cr);
    TMemoryDC mem(dc);
    TGdiObject<HBITMAP> bmp(CreateCompatibleBitmap(dc, cr.right > 0 ? cr.right : 1, cr.bottom > 0 ? cr.bottom : 1));
    TSelection selected(mem, bmp);
    FillRect(mem, &cr, BackgroundBrush());
    PaintWindow(mem);
    PaintControls(mem);
    BitBlt(dc, 0, 0, cr.right, cr.bottom, mem, 0, 0, SRCCOPY);
}

void TWinControl::PaintTo(HDC dc, int x, int y) {
    if (!Handle()) return;
    // The control paints a copy of itself: a skin must not treat this as
    // the window's own paint.
    const TControlState before = controlState_;
    controlState_ |= csPaintCopy;
    TScopeExit copied([this, before] { controlState_ = (controlState_ & ~csPaintCopy) | (before & csPaintCopy); });
    TSavedDCState saved(dc);
    OffsetViewportOrgEx(dc, x, y, nullptr);
    SendMessageW(handle_, WM_PRINT, reinterpret_cast<WPARAM>(dc),
                 PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
}

void TWinControl::DefaultHandler(TMessage& m) {
    if (!handle_) return;
    if (defWndProc_)
        m.Result = CallWindowProcW(defWndProc_, handle_, m.Msg, m.WParam, m.LParam);
    else
        m.Result = DefWindowProcW(handle_, m.Msg, m.WParam, m.LParam);
}

void TWinControl::WndProc(TMessage& m) {
    bool done = false;
    switch (m.Msg) {
    case WM_PAINT: done = PaintMessage(m); break;
    case WM_ERASEBKGND: done = EraseBackground(m); break;
    case WM_SIZE:
    case WM_MOVE: done = BoundsMessage(m); break;
    case WM_DRAWITEM:
    case WM_MEASUREITEM: done = ReflectNotification(m) || DispatchMenuOwnerDraw(m); break;
    case WM_MENUCHAR: done = DispatchMenuOwnerDraw(m); break;
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
    case WM_HSCROLL:
    case WM_VSCROLL: done = ReflectNotification(m); break;
    case CN_CTLCOLORBTN:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSTATIC:
    case CN_CTLCOLORSCROLLBAR:
        m.Result = CtlColor(reinterpret_cast<HDC>(m.WParam));
        done = true;
        break;
    case WM_SETCURSOR: done = CursorMessage(m); break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: done = FocusMessage(m); break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR: done = KeyMessage(m); break;
    case WM_CONTEXTMENU: done = ContextMenuMessage(m); break;
    case WM_MOUSELEAVE: MouseLeft(); break;
    case CM_CONTROLLISTCHANGE:
        // Controls placed anywhere on a form are news to the form: the
        // notice goes up to it.
        if (parent_) parent_->Perform(m.Msg, m.WParam, m.LParam);
        done = true;
        break;
    default: done = IsMouseMsg(m.Msg) && RouteMouseMessage(m); break;
    }
    if (!done) TControl::WndProc(m);
}

bool TWinControl::PaintMessage(TMessage& m) {
    // A system class paints itself unless graphic children or the off-screen
    // buffer need the library's painting.
    bool hasGraphic = false;
    for (TControl* c : controls_)
        if (!c->IsWindowed() && c->visible_) hasGraphic = true;
    if (defWndProc_ != DefWindowProcW && !hasGraphic && !doubleBuffered_)
        DefaultHandler(m);
    else
        PaintHandler(m);
    return true;
}

bool TWinControl::EraseBackground(TMessage& m) {
    // System classes erase their own way; the library's own windows fill
    // with their colour (or leave it to the off-screen buffer).
    if (defWndProc_ != DefWindowProcW) return false;
    if (!doubleBuffered_) {
        RECT r;
        GetClientRect(handle_, &r);
        FillRect(reinterpret_cast<HDC>(m.WParam), &r, BackgroundBrush());
    }
    m.Result = 1;
    return true;
}

bool TWinControl::BoundsMessage(TMessage& m) {
    DefaultHandler(m);
    UpdateBoundsFromWindow();
    return true;
}

namespace {
bool IsCtlColorMessage(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }
} // namespace

TWinControl* TWinControl::NotifyingChild(const TMessage& m) const {
    switch (m.Msg) {
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<const NMHDR*>(m.LParam);
        return hdr && hdr->hwndFrom != handle_ ? FromHandle(hdr->hwndFrom) : nullptr;
    }
    case WM_DRAWITEM: {
        auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
        return di && di->CtlType != ODT_MENU ? FromHandle(di->hwndItem) : nullptr;
    }
    case WM_MEASUREITEM: {
        auto* mi = reinterpret_cast<const MEASUREITEMSTRUCT*>(m.LParam);
        if (!mi || mi->CtlType == ODT_MENU || !mi->CtlID) return nullptr;
        return FromHandle(GetDlgItem(handle_, static_cast<int>(mi->CtlID)));
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
        // A window's own scroll bars report with the window itself.
        TWinControl* c = FromHandle(reinterpret_cast<HWND>(m.LParam));
        return c != this ? c : nullptr;
    }
    default: // WM_COMMAND and WM_CTLCOLOR*: the child's window in LParam
        return FromHandle(reinterpret_cast<HWND>(m.LParam));
    }
}

bool TWinControl::ReflectNotification(TMessage& m) {
    TWinControl* c = NotifyingChild(m);
    if (!c) return false;
    m.Result = c->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
    // A child that leaves its colours alone gets the system's.
    return !IsCtlColorMessage(m.Msg) || m.Result != 0;
}

bool TWinControl::CursorMessage(TMessage& m) {
    if (reinterpret_cast<HWND>(m.WParam) != handle_ || LOWORD(m.LParam) != HTCLIENT) return false;
    // The application's cursor first, then the graphic child's under the
    // mouse, then this control's.
    TCursor cur = Screen ? Screen->Cursor() : crDefault;
    if (cur == crDefault) {
        POINT pt;
        GetCursorPos(&pt);
        ::ScreenToClient(handle_, &pt);
        TControl* c = ControlAtPos(TPoint(pt.x, pt.y), true);
        cur = c && c->Cursor() != crDefault ? c->Cursor() : cursor_;
    }
    if (cur == crDefault) return false;
    ::SetCursor(CursorHandle(cur));
    m.Result = 1;
    return true;
}

bool TWinControl::FocusMessage(TMessage& m) {
    DefaultHandler(m);
    if (m.Msg == WM_SETFOCUS) {
        if (TCustomForm* f = ParentForm()) {
            if (f != this) f->activeControl_ = this;
        }
        if (OnEnter) OnEnter(this);
    } else if (OnExit) {
        OnExit(this);
    }
    return true;
}

bool TWinControl::KeyMessage(TMessage& m) {
    // The events may swallow the key (set it to 0) or change it.
    if (m.Msg == WM_CHAR) {
        auto key = static_cast<wchar_t>(m.WParam);
        if (DoKeyPress(key)) return true;
        m.WParam = key;
        return false;
    }
    WORD key = static_cast<WORD>(m.WParam);
    if (m.Msg == WM_KEYDOWN || m.Msg == WM_SYSKEYDOWN) {
        if (DoKeyDown(key, KeyboardShiftState())) return true;
    } else {
        if (OnKeyUp) OnKeyUp(this, key, KeyboardShiftState());
        if (key == 0) return true;
    }
    m.WParam = key;
    return false;
}

bool TWinControl::ContextMenuMessage(TMessage& m) {
    TPoint sp(static_cast<short>(LOWORD(m.LParam)), static_cast<short>(HIWORD(m.LParam)));
    TControl* target = this;
    if (m.LParam == -1) {
        // From the keyboard: the menu opens over the middle of the control.
        sp = ClientToScreen(TPoint(width_ / 2, height_ / 2));
    } else if (TControl* c = ControlAtPos(ScreenToClient(sp), false)) {
        target = c;
    }
    TPopupMenu* pm = target->PopupMenu();
    if (!pm && target != this) pm = popupMenu_;
    if (!pm || !pm->AutoPopup()) return false;
    pm->SetPopupComponent(target);
    pm->Popup(sp.X, sp.Y);
    m.Result = 1;
    return true;
}

void TWinControl::MouseLeft() {
    if (!Application) return;
    TControl* mc = Application->MouseControl();
    if (mc == this || (mc && mc->parent_ == this && !mc->IsWindowed())) Application->SetMouseControl(nullptr);
}

bool TWinControl::RouteMouseMessage(TMessage& m) {
    TPoint p = PointFromLParam(m.LParam);
    if (m.Msg == WM_MOUSEMOVE && handle_) {
        // Ask for WM_MOUSELEAVE, which ends the hover of the control.
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, handle_, 0};
        TrackMouseEvent(&tme);
    }
    // A graphic child under the mouse (or holding it) gets the message in
    // its own coordinates.
    TControl* target = captureControl_;
    if (!target) target = ControlAtPos(p, false);
    if (target) {
        if (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_LBUTTONDBLCLK) {
            captureControl_ = target;
            if (handle_) SetCapture(handle_);
        }
        bool up = m.Msg == WM_LBUTTONUP || m.Msg == WM_RBUTTONUP || m.Msg == WM_MBUTTONUP;
        TPoint cp(p.X - target->left_, p.Y - target->top_);
        target->Perform(m.Msg, m.WParam, LParamFromPoint(cp));
        if (up && captureControl_) {
            captureControl_ = nullptr;
            if (GetCapture() == handle_) ReleaseCapture();
        }
        // The system makes no context-menu request of a click it never saw:
        // a right click on a graphic child (a label, a picture) asks here,
        // where the child's popup menu is found.
        if (m.Msg == WM_RBUTTONUP && handle_) {
            POINT sp{p.X, p.Y};
            ::ClientToScreen(handle_, &sp);
            SendMessageW(handle_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(handle_), MAKELPARAM(sp.x, sp.y));
        }
        m.Result = 0;
        return true;
    }
    // The library's own windows hold the mouse between down and up, so that
    // the click lands where it began.
    if (m.Msg == WM_LBUTTONDOWN && clickOnMouseUp_ && defWndProc_ == DefWindowProcW && handle_) SetCapture(handle_);
    if (m.Msg == WM_LBUTTONUP && GetCapture() == handle_ && defWndProc_ == DefWindowProcW) ReleaseCapture();
    return false;
}

// ---------------------------------------------------------------- TGraphicControl

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), canvas_(std::make_unique<TCanvas>()) {}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::Update() {
    if (parent_) parent_->Update();
}

void TGraphicControl::WndProc(TMessage& m) {
    if (m.Msg == WM_PAINT) {
        HDC dc = reinterpret_cast<HDC>(m.WParam);
        if (!dc) return;
        TCanvasAttachment attached(*canvas_, dc, *font_, color_);
        Paint();
        return;
    }
    TControl::WndProc(m);
}

// ---------------------------------------------------------------- TCustomControl

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), canvas_(std::make_unique<TCanvas>()) {}

TCustomControl::~TCustomControl() = default;

void TCustomControl::WndProc(TMessage& m) {
    // A printed copy of the window (the picture a page change or a fade
    // shows before the window paints itself) is what its paint draws, with
    // the graphic controls on it; the system's default prints nothing.
    if (m.Msg == WM_PRINTCLIENT && m.WParam && handle_) {
        TMessage pm{WM_PAINT, m.WParam, 0, 0};
        PaintHandler(pm);
        m.Result = 0;
        return;
    }
    TWinControl::WndProc(m);
}

void TCustomControl::EnabledChanged() {
    TWinControl::EnabledChanged();
    // The control draws its own look, which shows its state (a greyed
    // caption): the system repaints only its own classes on an enable.
    Invalidate();
}

void TCustomControl::PaintWindow(HDC dc) {
    TCanvasAttachment attached(*canvas_, dc, *font_, color_);
    Paint();
}

void TCustomControl::Paint() {
    if (OnPaint) OnPaint(this);
}

} // namespace tw
