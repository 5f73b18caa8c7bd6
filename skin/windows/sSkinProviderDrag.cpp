// Moving and sizing with an outline (ResizeMode rmBorder): the outline is
// drawn on the desktop while the mouse drags it and the window is moved or
// sized once at the release; and the placement of a maximized skinned form.
#include "skin/windows/sSkinProvider.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"
#include "skin/windows/sSkinProviderInternal.h"

namespace skin {

using namespace provider_detail;

namespace provider_detail {
TOutlineDrag g_drag;
} // namespace provider_detail

namespace {

// Drawn with R2_NOT: drawing the same outline again erases it.
void DrawOutline(const TRect& r)
{
    POINT pts[5] = {{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1},
                    {r.Left, r.Top}};
    Polyline(g_drag.DesktopDC, pts, 5);
}

} // namespace

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

bool TsSkinProvider::NotMovedYet() { return g_drag.Owner && g_drag.NotMovedYet; }

void TsSkinProvider::StartMenuDrag(bool moving)
{
    if (resizeMode_ != rmBorder || g_drag.Owner || !form_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    if (IsZoomed(wnd) || IsIconic(wnd))
        return;
    const TPoint p = GetMousePos();
    if (GetActiveWindow() != wnd)
        SetActiveWindow(wnd);
    // The edge of a size drag is not known yet: the pointer's way decides.
    BeginOutline(moving ? htCaption : 0, p);
    g_drag.NotMovedYet = true;
}

namespace {

// The edge a size drag started from the system menu takes: the one the
// pointer moves towards (a corner when it goes both ways); 0 while the
// move is too small to tell.
int EdgeByDirection(TPoint from, TPoint to)
{
    const int dx = to.X - from.X, dy = to.Y - from.Y;
    const int most = std::max(std::abs(dx), std::abs(dy));
    if (most < 3)
        return 0;
    const int h = std::abs(dx) * 2 >= most ? (dx < 0 ? -1 : 1) : 0;
    const int v = std::abs(dy) * 2 >= most ? (dy < 0 ? -1 : 1) : 0;
    if (v < 0)
        return h < 0 ? htTopLeft : h > 0 ? htTopRight : htTop;
    if (v > 0)
        return h < 0 ? htBottomLeft : h > 0 ? htBottomRight : htBottom;
    return h < 0 ? htLeft : htRight;
}

} // namespace

void TsSkinProvider::FollowOutline(TPoint screen)
{
    if (g_drag.NotMovedYet) {
        g_drag.NotMovedYet = false;
        // A size drag measures from where the pointer first moved.
        if (g_drag.Edge != htCaption) {
            g_drag.Start = g_drag.Last = screen;
            return;
        }
    }
    if (g_drag.Edge == 0) {
        const int code = HitTest(screen);
        g_drag.Edge = code >= htLeft && code <= htBottomRight ? code : EdgeByDirection(g_drag.Start, screen);
        if (g_drag.Edge == 0)
            return;
    }
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

void TsSkinProvider::MaxInfo(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    if (skinned_ && drawNonClient_ && !form_->Parent() && m.LParam) {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(m.LParam);
        const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
        const bool tool = (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0;
        const int b = (style & WS_THICKFRAME) ? GetSystemMetrics(SM_CXFRAME)
                      : (style & WS_BORDER)   ? GetSystemMetrics(SM_CXFIXEDFRAME)
                                              : 0;
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi);
        const RECT& w = mi.rcWork;
        const int s = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION);
        // The whole title, its top border included: with an extended border
        // the skin's, whose top border then lies beyond the screen as the
        // sides do.
        const int title = TitleBarHeight(true);
        int c = 0;
        if ((style & WS_CAPTION) == WS_CAPTION)
            c = title > s + b ? title - s - b : b;
        const TsSkinData& sd = SkinManager()->SkinData;
        int d = sd.TitleHeight != sd.MaxHeight ? sd.TitleHeight - sd.MaxHeight + sd.CenterOffset : 0;
        // A skin whose maximized title is the taller one, or whose centre
        // offset is negative, would lower the window instead of raising it:
        // the screen's top rows would show what lies behind and take its
        // clicks. Drawn by the form alone, the window reaches the work
        // area's top at least (the region cuts what lies beyond it).
        if (!ExtActive())
            d = std::max(d, c - b);
        // The heights are the skin's, 16-bit each: a hostile skin raises the
        // window out of sight. It rises at most by its frame and the
        // system's title, which is all the form itself keeps above its client.
        d = std::min(d, c + s);
        // The frame the system draws lies beyond the work area on each side.
        mmi->ptMaxPosition.x = w.left - mi.rcMonitor.left - b;
        mmi->ptMaxPosition.y = w.top - mi.rcMonitor.top + c - b - d;
        mmi->ptMaxSize.x = (w.right - w.left) + 2 * b;
        mmi->ptMaxSize.y = 2 * b + (w.bottom - w.top) - c + d;
        // The system makes no window taller than the largest size a drag may
        // give (the screen and a little): a maximized title much lower than
        // the normal one asks for more, and the work area's bottom rows would
        // stay uncovered.
        mmi->ptMaxTrackSize.x = std::max(mmi->ptMaxTrackSize.x, mmi->ptMaxSize.x);
        mmi->ptMaxTrackSize.y = std::max(mmi->ptMaxTrackSize.y, mmi->ptMaxSize.y);
        m.Result = 0;
    }
    CallSaved(m);
}

} // namespace skin
