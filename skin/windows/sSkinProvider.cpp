#include "skin/windows/sSkinProvider.h"

#include <algorithm>
#include <string>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "ui/Graphics.h"

namespace skin {

// ---------------------------------------------------------------------------
// Desktop composition, looked up at run time: systems before version 6 have
// no dwmapi.dll.

namespace {

HMODULE DwmLibrary()
{
    static HMODULE lib = LoadLibraryW(L"DWMAPI.DLL");
    return lib;
}

template <class F> F DwmEntry(const char* name)
{
    HMODULE lib = DwmLibrary();
    return lib ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(lib, name))) : nullptr;
}

DWORD SystemMajorVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExW(&info) ? info.dwMajorVersion : 0;
#pragma GCC diagnostic pop
}

bool SystemComposition()
{
    using TIsEnabled = HRESULT(WINAPI*)(BOOL*);
    static const TIsEnabled isEnabled = DwmEntry<TIsEnabled>("DwmIsCompositionEnabled");
    BOOL on = FALSE;
    return isEnabled && isEnabled(&on) == S_OK && on;
}

} // namespace

TPlatformAnswers& PlatformAnswers()
{
    static TPlatformAnswers answers{SystemComposition, SystemMajorVersion};
    return answers;
}

bool DwmCompositionEnabled()
{
    const TPlatformAnswers& a = PlatformAnswers();
    return a.MajorVersion() >= 6 && a.CompositionEnabled();
}

void SetDwmTransitions(HWND wnd, bool off)
{
    if (!DwmCompositionEnabled())
        return;
    using TSetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    static const TSetAttribute setAttribute = DwmEntry<TSetAttribute>("DwmSetWindowAttribute");
    const DWORD value = off ? 1 : 0;
    if (setAttribute)
        setAttribute(wnd, 3 /* DWMWA_TRANSITIONS_FORCEDISABLED */, &value, sizeof(value));
}

// ---------------------------------------------------------------------------

namespace {

bool IsButtonCode(int code)
{
    return code == htMinButton || code == htMaxButton || code == htClose || code == htHelp || code >= htUserButton;
}

TPoint PointOf(LPARAM lp) { return TPoint(short(LOWORD(lp)), short(HIWORD(lp))); }

bool IsFrameCode(int code) { return code == htCaption || (code >= htLeft && code <= htBottomRight); }

// One outline drag at a time in the process: the mouse is captured by the
// form that started it.
struct TOutlineDrag {
    TsSkinProvider* Owner = nullptr;
    int Edge = 0;         // htCaption: moving
    TPoint Start, Last;   // screen points
    TRect Form;           // the window when the drag began
    TRect Outline;
    HDC DesktopDC = nullptr;
    int SavedDC = 0;
};
TOutlineDrag g_drag;

// Every provider, so that those without their form hear of a new skin.
std::vector<TsSkinProvider*>& Providers()
{
    static std::vector<TsSkinProvider*> list;
    return list;
}

void WakeIdleProviders(tw::TMessage& m)
{
    if (m.Msg != SM_ALPHACMD || (SkinCommandOf(m.WParam) != AC_SKINLOADED && SkinCommandOf(m.WParam) != AC_SKINREFRESH))
        return;
    // A copy: applying a skin may create or free forms.
    for (TsSkinProvider* p : std::vector<TsSkinProvider*>(Providers())) {
        const auto& all = Providers();
        if (std::find(all.begin(), all.end(), p) != all.end() && !p->Subclassed())
            p->ApplySkin();
    }
}

// Drawn with R2_NOT: drawing the same outline again erases it.
void DrawOutline(const TRect& r)
{
    POINT pts[5] = {{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1},
                    {r.Left, r.Top}};
    Polyline(g_drag.DesktopDC, pts, 5);
}

} // namespace

TsSkinProvider::TsSkinProvider(tw::TComponent* owner)
    : tw::TComponent(owner), form_(dynamic_cast<tw::TCustomForm*>(owner))
{
    Providers().push_back(this);
    BroadcastToIdleProviders = WakeIdleProviders;
    ApplySkin();
}

TsSkinProvider::~TsSkinProvider()
{
    if (Dragging())
        EndOutline(false);
    auto& all = Providers();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    // The form destroys its components while it is still whole, so its
    // procedure can be given back here.
    if (subclassed_)
        RemoveSkin();
}

TsSkinManager* TsSkinProvider::SkinManager() const { return manager_ ? manager_ : DefaultManager; }

void TsSkinProvider::SetDrawNonClientArea(bool d)
{
    if (drawNonClient_ == d)
        return;
    drawNonClient_ = d;
    if (form_ && form_->HandleAllocated())
        SetWindowPos(form_->Handle(), nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TsSkinProvider::SetUseGlobalColor(bool u)
{
    if (useGlobalColor_ == u)
        return;
    useGlobalColor_ = u;
    if (subclassed_)
        TakeColor(u);
}

void TsSkinProvider::TakeColor(bool take)
{
    if (take && !colorTaken_) {
        ownColor_ = form_->Color();
        colorTaken_ = true;
    }
    if (take)
        form_->SetColor(SkinManager()->GetGlobalColor());
    else if (colorTaken_) {
        form_->SetColor(ownColor_);
        colorTaken_ = false;
    }
}

bool TsSkinProvider::CanSkin() const
{
    const TsSkinManager* sm = SkinManager();
    return form_ && form_->Tag() != acNoSkinTag && sm && sm->SkinIndexValid(sm->ConstData.IndexGlobalInfo);
}

void TsSkinProvider::ApplySkin()
{
    if (!CanSkin())
        return;
    if (!subclassed_)
        Subclass();
    hotCode_ = 0;
    pressed_ = false;
    if (useGlobalColor_)
        TakeColor(true);
    if (!form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    SetDwmTransitions(wnd, true);
    regionSize_ = {-1, -1};
    UpdateFormRegion();
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
}

void TsSkinProvider::RemoveSkin()
{
    if (!subclassed_)
        return;
    Unsubclass();
    hotCode_ = 0;
    pressed_ = false;
    TakeColor(false);
    if (!form_->HandleAllocated() || form_->IsDestroying())
        return;
    HWND wnd = form_->Handle();
    SetDwmTransitions(wnd, false);
    SetWindowRgn(wnd, nullptr, TRUE);
    regionSize_ = {-1, -1};
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

void TsSkinProvider::Subclass()
{
    saved_ = form_->WindowProc;
    form_->WindowProc = [this](tw::TMessage& m) { NewWndProc(m); };
    subclassed_ = true;
    AddSkinnedForm(form_);
}

void TsSkinProvider::Unsubclass()
{
    // Replacing WindowProc may destroy the closure this call came through:
    // nothing of it is used afterwards.
    RemoveSkinnedForm(form_);
    subclassed_ = false;
    form_->WindowProc = saved_;
}

void TsSkinProvider::CallSaved(tw::TMessage& m)
{
    if (saved_)
        saved_(m);
}

void TsSkinProvider::CallSavedHidden(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    if (style & WS_VISIBLE)
        SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
    CallSaved(m);
    if (style & WS_VISIBLE)
        SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
}

TsSkinProvider::TMeasures TsSkinProvider::Measure() const
{
    TMeasures ms;
    HWND wnd = form_->Handle();
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    ms.Width = wr.right - wr.left;
    ms.Height = wr.bottom - wr.top;
    const int left = origin.x - wr.left, top = origin.y - wr.top;
    ms.Client = TRect(left, top, left + cr.right, top + cr.bottom);
    // The system keeps the non-client sizes; the provider draws over them, so
    // the frame is what lies around the client area.
    ms.Border = IsIconic(wnd) ? GetSystemMetrics(SM_CXFRAME) : left;
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    if (GetMenu(wnd) && GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi))
        ms.Menu = mbi.rcBar.bottom - mbi.rcBar.top + 1;
    ms.Title = IsIconic(wnd) ? GetSystemMetrics(SM_CYCAPTION) : std::max(0, top - ms.Border - ms.Menu);
    return ms;
}

TSysMenuState TsSkinProvider::MenuState() const
{
    TSysMenuState s;
    const tw::TBorderIcons icons = form_->BorderIcons();
    const tw::TBorderStyle bs = form_->BorderStyle();
    const bool boxes = bs == tw::bsSingle || bs == tw::bsSizeable;
    HWND wnd = form_->Handle();
    const bool zoomed = IsZoomed(wnd), iconic = IsIconic(wnd);
    s.VisibleClose = (icons & tw::biSystemMenu) && GetSystemMenu(wnd, FALSE);
    // The system shows both boxes as soon as one of them is asked for.
    s.VisibleMax = s.VisibleMin = boxes && (icons & (tw::biMinimize | tw::biMaximize));
    s.EnabledMax = (icons & tw::biMaximize) && !zoomed;
    s.EnabledMin = (icons & tw::biMinimize) && !iconic;
    s.EnabledRestore = zoomed || iconic;
    return s;
}

int TsSkinProvider::MaskIndex(const char* name) const
{
    const TsSkinManager* sm = SkinManager();
    return sm->GetMaskIndex(sm->ConstData.IndexGlobalInfo, "GLOBALINFO", name);
}

TCaptionLayoutInput TsSkinProvider::CaptionInput(const TMeasures& ms) const
{
    const TsSkinManager* sm = SkinManager();
    TCaptionLayoutInput in;
    const tw::TBorderStyle bs = form_->BorderStyle();
    in.Large = bs == tw::bsSingle || bs == tw::bsSizeable;
    // Without a small close picture the skin's large set serves every form.
    if (!in.Large && !sm->MaskIndexValid(MaskIndex("SICONCLOSE")))
        in.Large = true;
    HWND wnd = form_->Handle();
    in.WindowWidth = ms.Width;
    in.RightBorder = ms.Border;
    in.SkinBorderWidth = ms.Border;
    in.TitleBarHeight = ms.Title;
    in.HasTitle = bs != tw::bsNone;
    in.Zoomed = IsZoomed(wnd);
    in.Iconic = IsIconic(wnd);
    in.Help = (form_->BorderIcons() & tw::biHelp) != 0;
    in.BIRight = sm->SkinData.BIRight;
    in.BISpace = sm->SkinData.BISpace;
    in.BIVAlign = sm->SkinData.BIVAlign;
    in.SysFrame = GetSystemMetrics(SM_CXFRAME);
    in.Menu = MenuState();
    auto width = [&](const char* large, const char* small) {
        const int i = MaskIndex(in.Large ? large : small);
        return sm->MaskIndexValid(i) ? MaskFrameWidth(sm->ma[size_t(i)]) : 21;
    };
    in.CloseWidth = width("BICONCLOSE", "SICONCLOSE");
    in.MaxWidth = width("BICONMAX", "SICONMAX");
    in.MinWidth = width("BICONMIN", "SICONMIN");
    in.HelpWidth = width("BICONHELP", "SICONHELP");
    const int close = MaskIndex(in.Large ? "BICONCLOSE" : "SICONCLOSE");
    in.ButtonHeight = sm->MaskIndexValid(close) ? MaskFrameHeight(sm->ma[size_t(close)]) : 21;
    return in;
}

TRect TsSkinProvider::IconRect(const TMeasures& ms) const
{
    const tw::TBorderStyle bs = form_->BorderStyle();
    if ((bs != tw::bsSingle && bs != tw::bsSizeable) || !(form_->BorderIcons() & tw::biSystemMenu))
        return TRect();
    const int size = TitleIconSize(0, SkinManager()->SkinData.TitleHeight, true);
    const int left = ms.Border + SkinManager()->SkinData.BILeft;
    const int top = ms.Border + (ms.Title - size) / 2;
    return TRect(left, top, left + size, top + size);
}

THitTestInput TsSkinProvider::HitInput(const TMeasures& ms) const
{
    HWND wnd = form_->Handle();
    THitTestInput in;
    in.Width = ms.Width;
    in.Height = ms.Height;
    in.Zoomed = IsZoomed(wnd);
    in.Iconic = IsIconic(wnd);
    in.Style = uint32_t(GetWindowLongPtrW(wnd, GWL_STYLE));
    in.BorderWidth = ms.Border;
    in.SysBorderWidth = ms.Border;
    in.TitleHeight = ms.Title;
    in.MenuHeight = ms.Menu;
    in.IconRect = IconRect(ms);
    in.Help = (form_->BorderIcons() & tw::biHelp) != 0;
    in.Menu = MenuState();
    return in;
}

int TsSkinProvider::HitTest(TPoint screen)
{
    const TMeasures ms = Measure();
    buttons_ = LayoutCaptionButtons(CaptionInput(ms));
    THitTestInput in = HitInput(ms);
    in.Buttons = buttons_;
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    return FormHitTest(in, TPoint(screen.X - wr.left, screen.Y - wr.top));
}

void TsSkinProvider::SetHotButton(int code)
{
    if (!drawNonClient_ || code == hotCode_ || (hotCode_ == -1 && code == 0))
        return;
    const bool repaint = IsButtonCode(code) || IsButtonCode(hotCode_);
    hotCode_ = code;
    pressed_ = false;
    if (repaint)
        PaintNonClient();
}

void TsSkinProvider::ButtonUp(int code, LPARAM lp)
{
    const bool was = pressed_ && hotCode_ == code;
    pressed_ = false;
    PaintNonClient();
    if (!was)
        return;
    HWND wnd = form_->Handle();
    WPARAM command = 0;
    switch (code) {
    case htClose: command = SC_CLOSE; break;
    case htMaxButton: command = IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE; break;
    case htMinButton: command = IsIconic(wnd) ? SC_RESTORE : SC_MINIMIZE; break;
    case htHelp: command = SC_CONTEXTHELP; break;
    default: return;
    }
    // Posted: closing may free the form, and with it this provider, while
    // its own message is still being handled.
    PostMessageW(wnd, WM_SYSCOMMAND, command, lp);
}

bool TsSkinProvider::Dragging() const { return g_drag.Owner == this; }

void TsSkinProvider::BeginOutline(int code, TPoint screen)
{
    HWND wnd = form_->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    g_drag.Owner = this;
    g_drag.Edge = code;
    g_drag.Start = g_drag.Last = screen;
    g_drag.Form = g_drag.Outline = TRect(wr.left, wr.top, wr.right, wr.bottom);
    HWND desktop = GetDesktopWindow();
    g_drag.DesktopDC = GetWindowDC(desktop);
    g_drag.SavedDC = SaveDC(g_drag.DesktopDC);
    SetROP2(g_drag.DesktopDC, R2_NOT);
    DrawOutline(g_drag.Outline);
    SetCapture(wnd);
}

void TsSkinProvider::FollowOutline(TPoint screen)
{
    DrawOutline(g_drag.Outline);
    if (g_drag.Edge == htCaption) {
        const int dx = screen.X - g_drag.Last.X, dy = screen.Y - g_drag.Last.Y;
        g_drag.Outline = TRect(g_drag.Outline.Left + dx, g_drag.Outline.Top + dy, g_drag.Outline.Right + dx,
                               g_drag.Outline.Bottom + dy);
        g_drag.Last = screen;
    } else {
        // The form may raise the system's least tracking size.
        MINMAXINFO mmi{};
        mmi.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
        SendMessageW(form_->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        g_drag.Outline = SizeOutline(g_drag.Edge, screen, g_drag.Start, g_drag.Form, std::max(0L, mmi.ptMinTrackSize.x),
                                     std::max(0L, mmi.ptMinTrackSize.y));
    }
    DrawOutline(g_drag.Outline);
}

void TsSkinProvider::EndOutline(bool apply)
{
    // Cleared first: releasing the capture sends WM_CAPTURECHANGED here.
    const TOutlineDrag drag = g_drag;
    g_drag = TOutlineDrag();
    DrawOutline(drag.Outline);
    RestoreDC(drag.DesktopDC, drag.SavedDC);
    ReleaseDC(GetDesktopWindow(), drag.DesktopDC);
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    if (wnd && GetCapture() == wnd)
        ReleaseCapture();
    const TRect& r = drag.Outline;
    if (apply && wnd && !(r == drag.Form))
        MoveWindow(wnd, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, TRUE);
}

void TsSkinProvider::UpdateFormRegion()
{
    if (!subclassed_ || !drawNonClient_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    if (form_->BorderStyle() == tw::bsNone && !IsIconic(wnd))
        return;
    if (form_->Parent()) {
        SetWindowRgn(wnd, nullptr, TRUE);
        return;
    }
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    if (size.cx == regionSize_.cx && size.cy == regionSize_.cy)
        return;
    regionSize_ = size;
    TRect r(0, 0, size.cx, size.cy);
    if (IsZoomed(wnd)) {
        const int b = Measure().Border;
        r = MaximizedRegionRect(size.cx, size.cy, b, b);
    }
    // The system owns the region once it is set.
    SetWindowRgn(wnd, CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom), IsWindowVisible(wnd));
}

void TsSkinProvider::PaintNonClient()
{
    if (!subclassed_ || !drawNonClient_ || changeLocked_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    TsSkinManager* sm = SkinManager();
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0)
        return;
    const TCaptionLayoutInput layoutIn = CaptionInput(ms);
    buttons_ = LayoutCaptionButtons(layoutIn);

    tw::TBitmap bmp(ms.Width, ms.Height, tw::pf24bit);
    const TColor face = ColorToRGB(clSysBtnFace);
    PaintItemByName(bmp, "FORM", "", 0, sm, {0, 0}, face, nullptr);
    const int titleBottom = ms.Border + ms.Title;
    if (form_->BorderStyle() != tw::bsNone && titleBottom > 0) {
        tw::TBitmap title(ms.Width, titleBottom, tw::pf24bit);
        PaintItemByName(title, "FORMTITLE", "", formActive_ ? 1 : 0, sm, {0, 0}, face, nullptr);
        BitBlt(bmp.Canvas().Handle(), 0, 0, ms.Width, titleBottom, title.Canvas().Handle(), 0, 0, SRCCOPY);

        const TRect icon = IconRect(ms);
        if (icon.Right > icon.Left) {
            HICON h = form_->Icon().Handle();
            if (!h) h = ApplicationIcon(false);
            if (!h) h = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
            DrawIconEx(bmp.Canvas().Handle(), icon.Left, icon.Top, h, icon.Right - icon.Left, icon.Bottom - icon.Top,
                       0, nullptr, DI_NORMAL);
        }

        // Caption text between the icon and the buttons.
        TRect text(std::max(icon.Right, ms.Border) + 4 + sm->SkinData.BILeft, ms.Border,
                   ms.Width - TitleButtonsWidth(layoutIn) - 6, titleBottom);
        if (text.Right > text.Left) {
            HFONT font = CreateCaptionFont();
            LOGFONTW lf{};
            HFONT bold = nullptr;
            if (font && GetObjectW(font, sizeof(lf), &lf)) {
                lf.lfWeight = FW_BOLD;
                bold = CreateFontIndirectW(&lf);
            }
            HGDIOBJ old = bold ? SelectObject(bmp.Canvas().Handle(), bold) : nullptr;
            const std::string caption = form_->Text();
            WriteSectionText(&bmp.Canvas(), caption.c_str(), true, text,
                             DT_LEFT | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX,
                             sm->GetSkinIndex("FORMTITLE"), formActive_, sm);
            if (old) SelectObject(bmp.Canvas().Handle(), old);
            if (bold) DeleteObject(bold);
            if (font) DeleteObject(font);
        }

        // Caption buttons in their states.
        const TPixelView view = bmp.PixelView();
        const TCacheInfo ci = MakeCacheInfo(view, 0, 0);
        const bool zoomed = IsZoomed(wnd);
        auto draw = [&](const TRect& r, int code, const char* large, const char* small, bool enabled) {
            if (r.Right <= r.Left) return;
            const int i = MaskIndex(layoutIn.Large ? large : small);
            if (!sm->MaskIndexValid(i)) return;
            int state = hotCode_ == code ? (pressed_ ? 2 : 1) : 0;
            if (!enabled) state = 0;
            const int row = (!formActive_ || !enabled) && state == 0 ? 2 : 1;
            DrawMaskGlyph(view, TPoint(r.Left, r.Top), state, row, sm->ma[size_t(i)], ci);
        };
        const TSysMenuState menu = layoutIn.Menu;
        draw(buttons_.Close, htClose, "BICONCLOSE", "SICONCLOSE", true);
        if (zoomed)
            draw(buttons_.Max, htMaxButton, "BICONNORM", "BICONNORM", menu.EnabledRestore);
        else
            draw(buttons_.Max, htMaxButton, "BICONMAX", "SICONMAX", menu.EnabledMax);
        if (IsIconic(wnd))
            draw(buttons_.Min, htMinButton, "BICONNORM", "BICONNORM", menu.EnabledRestore);
        else
            draw(buttons_.Min, htMinButton, "BICONMIN", "SICONMIN", menu.EnabledMin);
        draw(buttons_.Help, htHelp, "BICONHELP", "SICONHELP", true);
    }

    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, ms.Client.Left, ms.Client.Top, ms.Client.Right, ms.Client.Bottom);
    BitBlt(dc, 0, 0, ms.Width, ms.Height, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

void TsSkinProvider::NewWndProc(tw::TMessage& m)
{
    switch (m.Msg) {
    case SM_ALPHACMD:
        switch (SkinCommandOf(m.WParam)) {
        case AC_QUERYPROVIDER:
            m.Result = reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(this));
            return;
        case AC_QUERYSKINNED:
            m.Result = 1;
            return;
        case AC_SKINREMOVED: {
            // The controls hear of it too, through the form's own procedure.
            tw::TWndMethod saved = saved_;
            RemoveSkin();
            saved(m);
            return;
        }
        case AC_SKINLOADED:
        case AC_SKINREFRESH:
            CallSaved(m);
            ApplySkin();
            return;
        default:
            CallSaved(m);
            return;
        }
    case WM_NCHITTEST: {
        if (!drawNonClient_ || IsIconic(form_->Handle()))
            break;
        const int code = HitTest(PointOf(m.LParam));
        if (!pressed_)
            SetHotButton(IsButtonCode(code) ? code : 0);
        m.Result = code;
        return;
    }
    case WM_NCPAINT:
        if (!drawNonClient_)
            break;
        PaintNonClient();
        m.Result = 0;
        return;
    case WM_NCACTIVATE:
        if (!drawNonClient_)
            break;
        formActive_ = m.WParam != 0;
        // -1: the system handles the activation but draws no caption.
        m.LParam = -1;
        CallSaved(m);
        m.Result = TRUE;
        PaintNonClient();
        return;
    case WM_SETTEXT:
    case WM_SETICON:
        if (!drawNonClient_ || !form_->HandleAllocated())
            break;
        CallSavedHidden(m);
        PaintNonClient();
        return;
    case WM_NCMOUSEMOVE:
        if (drawNonClient_ && !trackingLeave_) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, form_->Handle(), 0};
            trackingLeave_ = TrackMouseEvent(&tme) != 0;
        }
        if (IsButtonCode(int(m.WParam))) {
            m.Result = 0;
            return;
        }
        break;
    case WM_NCMOUSELEAVE:
        trackingLeave_ = false;
        pressed_ = false;
        SetHotButton(0);
        break;
    case WM_NCLBUTTONDOWN:
        if (resizeMode_ == rmBorder && !g_drag.Owner && IsFrameCode(int(m.WParam)) && !IsZoomed(form_->Handle())) {
            if (GetActiveWindow() != form_->Handle())
                SetActiveWindow(form_->Handle());
            BeginOutline(int(m.WParam), PointOf(m.LParam));
            m.Result = 0;
            return;
        }
        [[fallthrough]];
    case WM_NCLBUTTONDBLCLK:
        if (drawNonClient_ && IsButtonCode(int(m.WParam))) {
            hotCode_ = int(m.WParam);
            pressed_ = true;
            PaintNonClient();
            m.Result = 0;
            return;
        }
        break;
    case WM_MOUSEMOVE:
        if (Dragging()) {
            POINT p{short(LOWORD(m.LParam)), short(HIWORD(m.LParam))};
            ClientToScreen(form_->Handle(), &p);
            FollowOutline(TPoint(p.x, p.y));
            m.Result = 0;
            return;
        }
        break;
    case WM_LBUTTONUP:
        if (Dragging()) {
            EndOutline(true);
            m.Result = 0;
            return;
        }
        break;
    case WM_CAPTURECHANGED:
        // Capture taken away (another window, Escape in a menu): the drag
        // ends without moving anything, and the desktop keeps no outline.
        if (Dragging())
            EndOutline(false);
        break;
    case WM_NCLBUTTONUP:
        if (Dragging()) {
            EndOutline(true);
            m.Result = 0;
            return;
        }
        if (drawNonClient_ && IsButtonCode(int(m.WParam))) {
            ButtonUp(int(m.WParam), m.LParam);
            m.Result = 0;
            return;
        }
        break;
    case WM_WINDOWPOSCHANGED:
        CallSaved(m);
        UpdateFormRegion();
        return;
    case WM_DESTROY:
    case WM_NCDESTROY:
        if (Dragging())
            EndOutline(false);
        // A new window (RecreateWnd) gets its region afresh.
        regionSize_ = {-1, -1};
        hotCode_ = 0;
        pressed_ = false;
        trackingLeave_ = false;
        break;
    default:
        break;
    }
    CallSaved(m);
}

} // namespace skin
