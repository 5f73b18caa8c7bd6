#include "skin/engine/link/sVclUtils.h"

#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"
#include "ui/Graphics.h"

namespace skin {

uint8_t AnimationRunning = 0;
bool WindowAnimating = false;

LRESULT SendSkinCommand(HWND wnd, uint16_t command, LPARAM lparam)
{
    return SendMessageW(wnd, SM_ALPHACMD, SkinWParam(command), lparam);
}

namespace {

bool IsWindowedControl(tw::TControl* control, tw::TWinControl*& win)
{
    win = control->IsWindowed() ? static_cast<tw::TWinControl*>(control) : nullptr;
    return win != nullptr;
}

} // namespace

LRESULT SendSkinCommandToControl(tw::TControl* control, uint16_t command, LPARAM lparam)
{
    if (!control)
        return 0;
    tw::TWinControl* win;
    if (!IsWindowedControl(control, win))
        return control->Perform(SM_ALPHACMD, SkinWParam(command), lparam);
    if (win->IsDestroying() || !win->HandleAllocated())
        return 0;
    return SendMessageW(win->Handle(), SM_ALPHACMD, SkinWParam(command), lparam);
}

LRESULT AskControl(tw::TControl* control, uint16_t command)
{
    return SendSkinCommandToControl(control, command, 0);
}

bool AskWindow(HWND wnd, uint16_t command)
{
    return SendSkinCommand(wnd, command, 0) == 1;
}

void NotifyParentForm(tw::TControl* control)
{
    if (!control || control->IsLoading() || (control->ComponentState() & tw::csDesigning))
        return;
    if (tw::TCustomForm* form = control->ParentForm()) {
        const TOwnSkinPointer own(control);
        SendSkinCommand(form->Handle(), AC_CONTROLLOADED, reinterpret_cast<LPARAM>(control));
    }
}

void RefreshChildren(tw::TWinControl* parent)
{
    if (AnimationRunning || !parent)
        return;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        tw::TWinControl* win;
        if (!IsWindowedControl(child, win) || child->IsDestroying())
            continue; // graphic children are painted by their parent
        if (win->HandleAllocated() && win->Showing())
            SendSkinCommand(win->Handle(), AC_REFRESHSTATE);
    }
}

void RefreshChildWindows(HWND wnd)
{
    for (HWND child = GetTopWindow(wnd); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongPtrW(child, GWL_STYLE) & WS_CHILD)
            SendSkinCommand(child, AC_REFRESHSTATE);
    }
}

void BroadcastToChildren(tw::TWinControl* parent, tw::TMessage& message)
{
    if (!parent)
        return;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        if (child->IsDestroying())
            break;
        tw::TWinControl* win;
        if (!IsWindowedControl(child, win) || !win->HandleAllocated()) {
            message.Result = child->Perform(message.Msg, message.WParam, message.LParam);
        } else if (AskWindow(win->Handle(), AC_QUERYSKINNED)) {
            message.Result = SendMessageW(win->Handle(), message.Msg, message.WParam, message.LParam);
        }
        if (win)
            BroadcastToChildren(win, message);
    }
}

namespace {

struct TChildBroadcast {
    HWND Parent;
    tw::TMessage* Message;
};

BOOL CALLBACK BroadcastChildWindow(HWND wnd, LPARAM data)
{
    auto* b = reinterpret_cast<TChildBroadcast*>(data);
    if (GetParent(wnd) == b->Parent)
        b->Message->Result = SendMessageW(wnd, b->Message->Msg, b->Message->WParam, b->Message->LParam);
    return TRUE;
}

} // namespace

void BroadcastToChildWindows(HWND wnd, tw::TMessage& message)
{
    TChildBroadcast b{wnd, &message};
    EnumChildWindows(wnd, BroadcastChildWindow, reinterpret_cast<LPARAM>(&b));
}

TColor GetControlColor(tw::TControl* control)
{
    if (!control)
        return clKeyColor;
    if (AskControl(control, AC_QUERYSKINNED) == 1) {
        const auto answer = static_cast<tw::TColor>(control->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYCOLOR), clKeyColor));
        return static_cast<TColor>(tw::ColorToRGB(answer));
    }
    return static_cast<TColor>(tw::ColorToRGB(control->Color()));
}

TColor GetWindowColor(HWND wnd)
{
    if (!wnd)
        return clKeyColor;
    const auto answer = static_cast<tw::TColor>(SendSkinCommand(wnd, AC_QUERYCOLOR, clKeyColor));
    return static_cast<TColor>(tw::ColorToRGB(answer));
}

tw::TCustomForm* GetOwnerForm(tw::TComponent* component)
{
    for (; component; component = component->Owner()) {
        if (auto* form = dynamic_cast<tw::TCustomForm*>(component))
            return form;
    }
    return nullptr;
}

tw::TCustomFrame* GetOwnerFrame(tw::TComponent* component)
{
    for (; component; component = component->Owner()) {
        if (auto* frame = dynamic_cast<tw::TCustomFrame*>(component))
            return frame;
    }
    return nullptr;
}

TSkinnedFormLink* NotifyProviderHook(tw::TCustomForm* form, tw::TMessage& message)
{
    for (int i = 0; form && i < form->ComponentCount(); ++i) {
        tw::TComponent* c = form->Components(i);
        auto* provider = dynamic_cast<TSkinnedFormLink*>(c);
        if (!provider || (c->ComponentState() & tw::csDestroying))
            continue;
        provider->NotifyHook(message);
        return provider;
    }
    return nullptr;
}

HWND GetTopParentWindow(HWND wnd)
{
    while (HWND parent = GetParent(wnd))
        wnd = parent;
    return wnd;
}

bool ControlIsReady(tw::TControl* control)
{
    if (!control)
        return false;
    tw::TWinControl* win;
    if (IsWindowedControl(control, win) && !win->HandleAllocated())
        return false;
    return !(control->ControlState() & tw::csCreating) && !control->IsLoading() && !control->IsDestroying() && control->Parent() != nullptr;
}

TPoint GetMousePos()
{
    POINT p{};
    GetCursorPos(&p);
    return TPoint(p.x, p.y);
}

TRect GetClientRectInWindow(HWND wnd)
{
    RECT client{}, window{};
    GetClientRect(wnd, &client);
    GetWindowRect(wnd, &window);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    TRect r(client);
    r.Offset(origin.x - window.left, origin.y - window.top);
    return r;
}

int AlignedChildrenSize(tw::TWinControl* parent, tw::TAlign align, bool withGraphic)
{
    int size = 0;
    for (int i = 0; parent && i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        if (!child->Visible() || child->Align() != align || (!withGraphic && !child->IsWindowed()))
            continue;
        size += (align == tw::alTop || align == tw::alBottom) ? child->Height() : child->Width();
    }
    return size;
}

UINT TextFlagsByAlignment(tw::TAlignment alignment)
{
    static constexpr UINT byAlignment[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    return byAlignment[alignment] | DT_EXPANDTABS | DT_VCENTER;
}

TSetWindowTheme SetWindowThemeProc()
{
    // Loaded once and kept for the life of the process: adapters call it
    // on every window they take over.
    static const TSetWindowTheme proc = [] {
        HMODULE lib = LoadLibraryW(L"uxtheme.dll");
        return lib ? reinterpret_cast<TSetWindowTheme>(reinterpret_cast<void*>(GetProcAddress(lib, "SetWindowTheme")))
                   : nullptr;
    }();
    return proc;
}

} // namespace skin

// ---------------------------------------------------------------------------
// Painting a control tree and showing windows animated

#include <algorithm>
#include <memory>
#include <vector>

#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/data/FormGeometry.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/StdCtrls.h"

namespace skin {

HDC AnimPaintDC = nullptr;
HWND FadeWindow = nullptr;

void PlaceAfterControl(tw::TWinControl* overlay, tw::TWinControl* control)
{
    if (!overlay || !control || overlay->Parent() != control->Parent() || !control->HandleAllocated())
        return;
    HWND above = GetWindow(control->Handle(), GW_HWNDPREV);
    SetWindowPos(overlay->Handle(), above ? above : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
}

namespace {

// The DC's origin moved to a child and its state restored afterwards.
class TOriginScope {
public:
    TOriginScope(HDC dc, int dx, int dy) : dc_(dc), saved_(SaveDC(dc)) { OffsetViewportOrgEx(dc, dx, dy, nullptr); }
    ~TOriginScope() { RestoreDC(dc_, saved_); }
    TOriginScope(const TOriginScope&) = delete;
    TOriginScope& operator=(const TOriginScope&) = delete;

private:
    HDC dc_;
    int saved_;
};

constexpr LPARAM kPrintSelf = PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND;

void PaintTree(HDC dc, tw::TControl* control, TSkinnedFormLink* provider)
{
    const bool extended = provider && provider->HasBorderWindow();
    if (!extended)
        IntersectClipRect(dc, 0, 0, control->Width(), control->Height());
    if (!control->IsWindowed()) {
        // Graphic controls paint on the DC their parent hands them.
        const bool skinned = AskControl(control, AC_QUERYSKINNED) == 1;
        control->Perform(skinned ? WM_PRINT : WM_PAINT, reinterpret_cast<WPARAM>(dc), skinned ? kPrintSelf : 0);
        return;
    }
    auto* win = static_cast<tw::TWinControl*>(control);
    // Children are painted below, each once: no PRF_CHILDREN here.
    SendMessageW(win->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dc), kPrintSelf);
    // Children sit in the client area, which may lie inside a frame.
    const TRect client = GetClientRectInWindow(win->Handle());
    for (int i = 0; i < win->ControlCount(); ++i) {
        tw::TControl* child = win->Controls(i);
        if (!child->IsWindowed() || !child->Visible() || child->IsDestroying())
            continue;
        if (dynamic_cast<tw::TCustomForm*>(child) && !child->Parent())
            continue;
        TOriginScope origin(dc, client.Left + child->Left(), client.Top + child->Top());
        PaintTree(dc, child, nullptr);
    }
}

} // namespace

namespace {

POINT LayeredOffset(tw::TCustomForm* form, TSkinnedFormLink* link);

// The form is opaque: a picture printed by GDI into a 32-bit bitmap leaves
// its alpha at 0, which the layered window would show as clear.
void OpaqueRect(const tw::TPixelView& v, TRect r)
{
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, v.Width);
    r.Bottom = std::min(r.Bottom, v.Height);
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            v.Row(y)[x * 4 + 3] = 0xFF;
}

// A layered picture shows what GDI left at alpha 0 as a hole: the form's
// client, which its controls painted with GDI, is made opaque.
void MakeClientOpaque(tw::TBitmap& bitmap, tw::TControl* control, int x, int y, TSkinnedFormLink* provider)
{
    auto* form = dynamic_cast<tw::TCustomForm*>(control);
    if (!form || !form->HandleAllocated() || bitmap.PixelFormat() != tw::pf32bit)
        return;
    GdiFlush();
    const TRect client = GetClientRectInWindow(form->Handle());
    const POINT off = LayeredOffset(form, provider);
    const int left = x + off.x + client.Left, top = y + off.y + client.Top;
    OpaqueRect(bitmap.PixelView(), TRect(left, top, left + client.Width(), top + client.Height()));
}

} // namespace

void PaintControlTree(tw::TBitmap& bitmap, tw::TControl* control, int x, int y, TSkinnedFormLink* provider)
{
    if (!control)
        return;
    HDC dc = bitmap.Canvas().Handle();
    if (control->Visible()) {
        if (control->IsWindowed() && !static_cast<tw::TWinControl*>(control)->Handle())
            return;
        {
            TOriginScope origin(dc, x, y);
            PaintTree(dc, control, provider);
        }
        if (provider && provider->HasBorderWindow())
            MakeClientOpaque(bitmap, control, x, y, provider);
        return;
    }
    if (control->Parent() && !provider) {
        // Where the control would be, the parent's background shows: its
        // picture where it has one, else its colour.
        TacBGInfo info;
        GetBGInfo(info, control->Parent(), false);
        const TRect r{x, y, x + control->Width(), y + control->Height()};
        if (info.BgType == btCache && !info.Bmp.Empty()) {
            GdiFlush();
            CopyRectPixels(bitmap.PixelView(), r, info.Bmp,
                           {info.OffsetX + control->Left(), info.OffsetY + control->Top()});
            return;
        }
        const TColor color = info.BgType == btFill ? info.Color : GetControlColor(control->Parent());
        TGdiObject brush(CreateSolidBrush(static_cast<COLORREF>(tw::ColorToRGB(tw::TColor(color)))));
        const RECT rr = r.ToRECT();
        FillRect(dc, &rr, static_cast<HBRUSH>(brush.Get()));
    }
}

bool GraphicChildNeedsPaint(tw::TControl* child, HDC dc)
{
    if (!child || child->IsWindowed() || child->IsDestroying())
        return false;
    if (!child->Visible() && !(child->ComponentState() & tw::csDesigning))
        return false;
    if (child->Width() < 1 || child->Height() < 1 || (child->ControlStyle() & tw::csNoDesignVisible))
        return false;
    const RECT r = child->BoundsRect().ToRECT();
    return RectVisible(dc, &r) != FALSE;
}

namespace {

// A graphic child that paints every pixel of its own (a label that is not
// transparent, for one) says so in its control style.
bool OpaqueGraphicChild(tw::TControl* child) { return (child->ControlStyle() & tw::csOpaque) != 0; }

// What lies behind a graphic child: its own colour when it is opaque, else
// the parent's picture at the child's place, or the parent's colour.
void FillChildBackground(HDC mem, const TPixelView& buffer, tw::TWinControl* parent, const TacBGInfo& info,
                         tw::TControl* child)
{
    const TRect r = child->BoundsRect();
    if (!OpaqueGraphicChild(child) && info.BgType == btCache && !info.Bmp.Empty()) {
        GdiFlush();
        CopyRectPixels(buffer, r, info.Bmp, {info.OffsetX + r.Left, info.OffsetY + r.Top});
        return;
    }
    const TColor color = OpaqueGraphicChild(child) ? GetControlColor(child)
                         : info.BgType == btFill  ? info.Color
                                                  : GetControlColor(parent);
    TGdiObject brush(CreateSolidBrush(static_cast<COLORREF>(tw::ColorToRGB(tw::TColor(color)))));
    const RECT rr = r.ToRECT();
    FillRect(mem, &rr, static_cast<HBRUSH>(brush.Get()));
}

} // namespace

void PaintGraphicChildren(HDC dc, tw::TWinControl* parent, TPoint offset)
{
    if (!parent || parent->ControlCount() == 0)
        return;
    if (!parent->Visible() && !(parent->ComponentState() & tw::csDesigning))
        return;
    RECT clip{};
    if (GetClipBox(dc, &clip) == NULLREGION || clip.right <= clip.left || clip.bottom <= clip.top) {
        if (parent->HandleAllocated())
            SendSkinCommand(parent->Handle(), AC_SETSPECIAL);
        return;
    }
    const int w = std::max(parent->Width(), 1), h = std::max(parent->Height(), 1);
    std::unique_ptr<tw::TBitmap> buffer;
    std::vector<tw::TControl*> painted;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* child = parent->Controls(i);
        if (!GraphicChildNeedsPaint(child, dc))
            continue;
        if (!buffer) {
            // The children paint over what lies behind each of them.
            buffer = std::make_unique<tw::TBitmap>(w, h, tw::pf24bit);
            TacBGInfo info;
            GetBGInfo(info, parent, false);
            for (int j = i; j < parent->ControlCount(); ++j) {
                tw::TControl* other = parent->Controls(j);
                if (GraphicChildNeedsPaint(other, dc))
                    FillChildBackground(buffer->Canvas().Handle(), buffer->PixelView(), parent, info, other);
            }
        }
        RECT target = child->BoundsRect().ToRECT();
        OffsetRect(&target, offset.X, offset.Y);
        if (!RectVisible(dc, &target))
            SendSkinCommandToControl(child, AC_SETSPECIAL);
        HDC mem = buffer->Canvas().Handle();
        {
            TOriginScope origin(mem, child->Left(), child->Top());
            IntersectClipRect(mem, 0, 0, child->Width(), child->Height());
            // A parent that paints a copy of itself has its children paint
            // copies too, for this one call.
            const tw::TControlState before = child->ControlState();
            const bool copy = (parent->ControlState() & tw::csPaintCopy) != 0;
            if (copy)
                child->SetControlState(before | tw::csPaintCopy);
            struct TRestore {
                tw::TControl* c;
                tw::TControlState s;
                bool on;
                ~TRestore()
                {
                    if (on)
                        c->SetControlState((c->ControlState() & ~tw::csPaintCopy) | (s & tw::csPaintCopy));
                }
            } restore{child, before, copy};
            child->Perform(WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
        }
        painted.push_back(child);
    }
    for (tw::TControl* child : painted) {
        // The key colour at the corner marks a child that paints nothing.
        if (GetPixel(buffer->Canvas().Handle(), child->Left(), child->Top()) == RGB(255, 0, 255))
            continue;
        BitBlt(dc, child->Left() + offset.X, child->Top() + offset.Y, child->Width(), child->Height(),
               buffer->Canvas().Handle(), child->Left(), child->Top(), SRCCOPY);
    }
}

TOutputWindow::TOutputWindow(tw::TComponent* owner) : tw::TCustomControl(owner)
{
    SetVisible(false);
    SetCaption("acOutputWindow");
    SetColor(0x800080);
}

void TOutputWindow::CreateParams(tw::TCreateParams& p)
{
    tw::TCustomControl::CreateParams(p);
    if (Parent())
        return;
    p.Style = WS_POPUP;
    p.ExStyle = 0;
    // Owned by the owner control's top-level window, so it stays above it
    // (the application's own window is a message-only one here).
    auto* owner = dynamic_cast<tw::TWinControl*>(Owner());
    if (owner && owner->HandleAllocated()) {
        p.WndParent = GetTopParentWindow(owner->Handle());
        if (GetWindowLongPtrW(owner->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST)
            p.ExStyle |= WS_EX_TOPMOST;
    }
}

void TOutputWindow::WndProc(tw::TMessage& m)
{
    switch (m.Msg) {
    case WM_ERASEBKGND:
        m.Result = 1;
        return;
    case WM_NCPAINT:
    case WM_PAINT: {
        // What shows here is copied in by the animation.
        if (m.Msg == WM_PAINT) {
            PAINTSTRUCT ps;
            BeginPaint(Handle(), &ps);
            EndPaint(Handle(), &ps);
        }
        m.Result = 0;
        return;
    }
    }
    tw::TCustomControl::WndProc(m);
}

namespace {

// One animation at a time: what ShowOutputWindow prepared for it.
struct TAnimState {
    TOutputWindow* Overlay = nullptr;
    std::unique_ptr<tw::TBitmap> Capture;
};

TAnimState& Anim()
{
    static TAnimState state;
    return state;
}

TRect WindowRect(HWND wnd)
{
    RECT r{};
    GetWindowRect(wnd, &r);
    return TRect(r);
}

void NotifyFadeWindow()
{
    if (FadeWindow)
        SendSkinCommand(FadeWindow, AC_SKINREFRESH);
}

// Releases everything one animation made, also when it fails half-way.
struct TAnimCleanup {
    ~TAnimCleanup()
    {
        TAnimState& a = Anim();
        delete a.Overlay;
        a.Overlay = nullptr;
        a.Capture.reset();
        AnimPaintDC = nullptr;
        AnimationRunning = 0;
    }
};

} // namespace

void ShowOutputWindow(tw::TWinControl* control)
{
    if (!control || !control->HandleAllocated())
        return;
    TAnimState& a = Anim();
    const TRect wr = WindowRect(control->Handle());
    if (!a.Capture) {
        a.Capture = std::make_unique<tw::TBitmap>(std::max(wr.Width(), 1), std::max(wr.Height(), 1), tw::pf32bit);
        TWindowDC screen(nullptr);
        BitBlt(a.Capture->Canvas().Handle(), 0, 0, wr.Width(), wr.Height(), screen.Handle(), wr.Left, wr.Top,
               SRCCOPY);
    }
    if (!a.Overlay) {
        a.Overlay = new TOutputWindow(control);
        if (control->Parent()) {
            a.Overlay->SetParent(control->Parent());
            a.Overlay->SetBoundsRect(control->BoundsRect());
            PlaceAfterControl(a.Overlay, control);
            ShowWindow(a.Overlay->Handle(), SW_SHOWNA);
        } else {
            a.Overlay->SetBoundsRect(wr);
            HWND above = GetWindow(control->Handle(), GW_HWNDPREV);
            SetWindowPos(a.Overlay->Handle(), above, 0, 0, 0, 0,
                         SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        }
        // Paint the old picture now, before the control changes below it.
        TWindowDC dc(a.Overlay->Handle());
        BitBlt(dc.Handle(), 0, 0, wr.Width(), wr.Height(), a.Capture->Canvas().Handle(), 0, 0, SRCCOPY);
    }
}

namespace {

// Fills the frames' picture of a layered window: the whole picture, with
// its own alpha, at the window's position.
bool ShowLayered(TUpdateLayeredWindow update, HWND wnd, HDC screen, SIZE size, HDC picture, uint8_t alpha)
{
    BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
    POINT origin{0, 0};
    return update(wnd, screen, nullptr, &size, picture, &origin, 0, &blend, ULW_ALPHA) != FALSE;
}

// Where the provider's picture starts, left of and above the form's window:
// the picture holds the shadow margins and the skin's frame, which is wider
// and taller than the system's.
POINT LayeredOffset(tw::TCustomForm* form, TSkinnedFormLink* link)
{
    const TsSkinManager* sm = link->LinkManager();
    if (!sm)
        return {0, 0};
    const TsSkinData& d = sm->SkinData;
    const TRect& margin = sm->ExtBorderMargins;
    TFrameMetrics metrics;
    metrics.CxFrame = GetSystemMetrics(SM_CXFRAME);
    metrics.CxFixedFrame = GetSystemMetrics(SM_CXFIXEDFRAME);
    const uint32_t style = static_cast<uint32_t>(GetWindowLongPtrW(form->Handle(), GWL_STYLE));
    const int sysBorder = FormBorderWidth(style, 0, false, metrics);
    POINT off{d.BorderWidth - sysBorder + margin.Left, margin.Top};
    if (!link->TitleHeightRaised()) {
        off.y += d.TitleHeight - GetSystemMetrics(SM_CYCAPTION) - sysBorder;
        if (IsZoomed(form->Handle()) && d.TitleHeight != d.MaxHeight)
            off.y += d.TitleHeight - d.MaxHeight;
    }
    return off;
}

// The skin's frame beyond the form's window (left, right and bottom) and
// its title above it: what the extended border draws of the form.
int LayeredFrameLeft(tw::TCustomForm* form, TSkinnedFormLink* link)
{
    const TsSkinManager* sm = link->LinkManager();
    if (!sm)
        return 0;
    TFrameMetrics metrics;
    metrics.CxFrame = GetSystemMetrics(SM_CXFRAME);
    metrics.CxFixedFrame = GetSystemMetrics(SM_CXFIXEDFRAME);
    const uint32_t style = static_cast<uint32_t>(GetWindowLongPtrW(form->Handle(), GWL_STYLE));
    return std::max(0, sm->SkinData.BorderWidth - FormBorderWidth(style, 0, false, metrics));
}

int LayeredFrameTop(tw::TCustomForm* form, TSkinnedFormLink* link)
{
    const TsSkinManager* sm = link->LinkManager();
    return sm ? std::max(0, int(LayeredOffset(form, link).y - sm->ExtBorderMargins.Top)) : 0;
}

void AddExStyle(HWND wnd, LONG_PTR bits)
{
    SetWindowLongPtrW(wnd, GWL_EXSTYLE, GetWindowLongPtrW(wnd, GWL_EXSTYLE) | bits);
}

// A form with extended borders fades in as one layered picture (frame,
// shadow and client) in a window of its own over the border window's place;
// the border window then takes the finished picture.
void AnimShowLayered(tw::TCustomForm* form, TSkinnedFormLink* link, HWND border, uint32_t duration)
{
    const TUpdateLayeredWindow update = UpdateLayeredWindowEntry();
    // A form drawn with its own opacity fades up to that opacity and keeps
    // it; while the fade runs the form itself is all but invisible.
    const uint8_t target = form->AlphaBlend() ? form->AlphaBlendValue() : 255;
    struct TOpacityBack {
        tw::TCustomForm* Form;
        uint8_t Value;
        ~TOpacityBack()
        {
            if (Form->AlphaBlend())
                Form->SetAlphaBlendValue(Value);
        }
    } opacityBack{form, target};
    if (form->AlphaBlend())
        form->SetAlphaBlendValue(1);
    const SIZE size = link->PaintAll();
    const int w = std::max<int>(size.cx, form->Width()), h = std::max<int>(size.cy, form->Height());
    tw::TBitmap picture(std::max(w, 1), std::max(h, 1), tw::pf32bit);
    const TRect wr = WindowRect(form->Handle());
    const POINT off = LayeredOffset(form, link);
    AnimPaintDC = picture.Canvas().Handle();
    // The form's window lies at the offset in the picture; its frame and
    // title, printed by the provider, reach out to the margins.
    PaintControlTree(picture, form, off.x, off.y, link);
    OpaqueRect(picture.PixelView(), TRect(off.x - LayeredFrameLeft(form, link), off.y - LayeredFrameTop(form, link),
                                          off.x + wr.Width() + LayeredFrameLeft(form, link),
                                          off.y + wr.Height() + LayeredFrameLeft(form, link)));
    const int frames = static_cast<int>((duration & 0xFFFF) >> 3);
    uint8_t alpha = frames > 0 ? 0 : target;

    const bool topmost = (GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // The fading window is a plain borderless form that the skin leaves alone.
    tw::TForm fader(nullptr);
    fader.SetTag(-98);   // the tag that keeps a form out of the skinning
    fader.SetBorderStyle(tw::bsNone);
    if (topmost)
        fader.SetFormStyle(tw::fsStayOnTop);
    HWND fw = fader.Handle();
    AddExStyle(fw, WS_EX_LAYERED | WS_EX_NOACTIVATE);
    AddExStyle(border, WS_EX_LAYERED | WS_EX_NOACTIVATE);
    SetWindowPos(fw, topmost ? HWND_TOPMOST : GetWindow(form->Handle(), GW_HWNDPREV), wr.Left - off.x, wr.Top - off.y,
                 w, h, SWP_NOCOPYBITS | SWP_NOACTIVATE | SWP_NOREDRAW);
    TWindowDC screen(nullptr);
    const HDC pic = picture.Canvas().Handle();
    ShowLayered(update, fw, screen.Handle(), {w, h}, pic, alpha);
    ShowWindow(fw, SW_SHOWNOACTIVATE);
    if (frames > 0) {
        const int step = target / frames;
        for (int i = 0; i <= frames; ++i) {
            alpha = static_cast<uint8_t>(std::min<int>(alpha + step, target));
            ShowLayered(update, fw, screen.Handle(), {w, h}, pic, alpha);
            if (AnimationFrameProbe)
                AnimationFrameProbe(fw, alpha);
            NotifyFadeWindow();
            Sleep(8);
        }
        alpha = target;
    }
    ShowWindow(border, SW_HIDE);
    SetWindowPos(border, nullptr, wr.Left - off.x, wr.Top - off.y, w, h,
                 SWP_NOZORDER | SWP_NOCOPYBITS | SWP_NOACTIVATE | SWP_NOREDRAW);
    ShowLayered(update, border, screen.Handle(), {w, h}, pic, alpha);
    AnimationRunning = 0;
    SendMessageW(form->Handle(), WM_SETREDRAW, TRUE, 0);
    link->RestoreBorderRegion();
    RedrawWindow(form->Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    if (AnimationProbe)
        AnimationProbe(picture, fw, true);
    AnimPaintDC = nullptr;
    ShowWindow(border, SW_SHOWNOACTIVATE);
    SetWindowPos(border, form->Handle(), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

} // namespace

std::function<void(const tw::TBitmap& picture, HWND window, bool layered)> AnimationProbe;
std::function<DWORD()> AnimationMajorVersion = [] {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(&info) ? info.dwMajorVersion : DWORD(0);
#pragma GCC diagnostic pop
};
std::function<void(HWND window, uint8_t alpha)> AnimationFrameProbe;

void AnimShowControl(tw::TWinControl* control, uint32_t duration)
{
    if (!control || !control->HandleAllocated())
        return;
    AnimationRunning = 1;
    TAnimCleanup cleanup;
    TAnimState& a = Anim();
    // A form shows with the frame its provider draws.
    auto* form = dynamic_cast<tw::TCustomForm*>(control);
    TSkinnedFormLink* link = form ? QueryProvider(form) : nullptr;
    if (link && link->BorderWindow() && LayeredWindowsAvailable()) {
        // The screen is not captured on this path: drop an overlay made before.
        delete a.Overlay;
        a.Overlay = nullptr;
        AnimShowLayered(form, link, link->BorderWindow(), duration);
        return;
    }
    if (!a.Overlay)
        ShowOutputWindow(control);
    const int w = std::max(control->Width(), 1), h = std::max(control->Height(), 1);
    tw::TBitmap picture(w, h, tw::pf32bit);
    AnimPaintDC = picture.Canvas().Handle();
    PaintControlTree(picture, control, 0, 0, nullptr);
    AnimPaintDC = nullptr;
    tw::TBitmap work(w, h, tw::pf32bit);
    if (a.Capture->Width() != w || a.Capture->Height() != h)
        a.Capture->SetSize(w, h);

    HWND overlay = a.Overlay->Handle();
    // The overlay takes the skin's outline of the form (its rounded corners).
    if (link && link->FormSkinned())
        if (HRGN region = link->AnimationRegion())
            SetWindowRgn(overlay, region, FALSE);
    if (AnimationProbe)
        AnimationProbe(picture, overlay, false);
    TWindowDC overlayDC(overlay);
    HDC dc = overlayDC.Handle();
    const int frames = static_cast<int>((duration & 0xFFFF) >> 3);
    if (frames > 0) {
        const int step = 255 / frames;
        for (int i = 0; i <= frames; ++i) {
            const int weight = std::max(0, 255 - i * step);
            MergeBitmaps32(work.PixelView(), a.Capture->PixelView(), picture.PixelView(), static_cast<uint16_t>(weight));
            BitBlt(dc, 0, 0, w, h, work.Canvas().Handle(), 0, 0, SRCCOPY);
            if (AnimationFrameProbe)
                AnimationFrameProbe(overlay, static_cast<uint8_t>(weight));
            NotifyFadeWindow();
            Sleep(8);
        }
    }
    BitBlt(dc, 0, 0, w, h, picture.Canvas().Handle(), 0, 0, SRCCOPY);
    NotifyFadeWindow();
    AnimationRunning = 0;
    SendMessageW(control->Handle(), WM_SETREDRAW, TRUE, 0);
    const bool layeredForm =
        !control->Parent() && (GetWindowLongPtrW(control->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED);
    // The overlay goes first, its last picture left on the screen, and the
    // control then paints over it: a paint while the overlay still stood
    // above was clipped away, so whatever the printed picture lacked (a
    // window class printing its own look, a control that prints nothing)
    // stayed on the screen until something else had the control repaint.
    if (!layeredForm)
        SetWindowPos(overlay, nullptr, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE);
    // Before version 6 the overlay's last picture stands until the control
    // paints itself.
    if (AnimationMajorVersion() >= 6)
        RedrawWindow(control->Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
}

} // namespace skin
