// The provider's handling of mouse buttons and system commands on the drawn
// frame, printing the form, and the form fading in when it is shown.
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
#include "ui/Guards.h"
#include "ui/Menus.h"
#include "skin/windows/sSkinProviderInternal.h"

namespace skin {

using namespace provider_detail;

uint32_t TsSkinProvider::ShowAnimationTime() const
{
    const TsSkinManager* sm = SkinManager();
    if (!sm || !skinned_ || form_->Parent())
        return 0;
    const tw::TBorderStyle bs = form_->BorderStyle();
    const TacFormAnimation& effect = bs == tw::bsSingle || bs == tw::bsSizeable
                                         ? static_cast<const TacFormAnimation&>(sm->AnimEffects.FormShow)
                                         : static_cast<const TacFormAnimation&>(sm->AnimEffects.DialogShow);
    return effect.Active ? effect.Time : 0;
}

bool TsSkinProvider::PrepareTransparent()
{
    HWND wnd = form_->Handle();
    const TUpdateLayeredWindow update = UpdateLayeredWindowEntry();
    const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    if (!update || (ex & WS_EX_LAYERED))
        return false;
    SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    // An empty, all but transparent picture of the window's size (a layered
    // window takes the size of its picture): the window is there but shows
    // nothing of itself.
    RECT wr{};
    GetWindowRect(wnd, &wr);
    SIZE size{std::max<LONG>(wr.right - wr.left, 1), std::max<LONG>(wr.bottom - wr.top, 1)};
    tw::TBitmap empty(size.cx, size.cy, tw::pf32bit);
    TWindowDC screen(nullptr);
    POINT origin{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 10, AC_SRC_ALPHA};
    if (!update(wnd, screen.Handle(), nullptr, &size, empty.Canvas().Handle(), &origin, 0x1FFFFFFF, &blend, ULW_ALPHA)) {
        SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex);
        return false;
    }
    return true;
}

void TsSkinProvider::AnimatedShowing(tw::TMessage& m)
{
    // Only a form that shows with a picture still to be made is prepared.
    if (!m.WParam || !drawNonClient_ || !skinData_->BGChangedFlag || form_->IsDestroying()) {
        CallSaved(m);
        return;
    }
    // The window the form shows in (its own showing would make it first).
    form_->Handle();
    // The menus and controls the form got while it was hidden wear the
    // skin from its first look on.
    const TsSkinManager* sm = SkinManager();
    if (!SkinLoading && !(sm && (sm->ComponentState() & tw::csDesigning))) {
        menusBehind_ = false;
        PrepareMenus(skinned_);
    }
    if (ctrlAdapter_)
        ctrlAdapter_->AdaptControls();
    else
        CreateCtrlAdapter();
    const uint32_t time = !AnimationRunning ? ShowAnimationTime() : 0;
    // Shown at once, the form starts at rest; faded in, it is drawn active.
    if (time == 0)
        skinData_->SetActiveState(false);
    // The manager's extended borders may have changed while the form was
    // hidden: the form is shown with the ones it has now.
    if (SkinManager())
        SetExtBorders(SkinManager()->ExtendedBorders());
    if (time == 0) {
        CallSaved(m);
        AttachAdapters();
        return;
    }
    HWND wnd = form_->Handle();
    // Every step taken before the form's own procedure runs is undone on
    // every way out: an OnShow that throws must not leave the form locked,
    // transparent or with children that never draw again.
    struct TShowSteps {
        TsSkinProvider& Provider;
        HWND Wnd;
        bool ActiveState;
        bool Transparent = false;
        std::vector<HWND> Children;   // their drawing is off while listed
        void ChildrenDraw()
        {
            for (HWND c : Children)
                if (IsWindow(c))
                    SendMessageW(c, WM_SETREDRAW, TRUE, 0);
            Children.clear();
        }
        bool Unmarked = false;   // WS_VISIBLE taken away for the fade
        void Opaque()
        {
            if (Transparent && IsWindow(Wnd))
                SetWindowLongPtrW(Wnd, GWL_EXSTYLE, GetWindowLongPtrW(Wnd, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_LAYERED));
            Transparent = false;
        }
        void Unprepare()
        {
            SetWindowLongPtrW(Wnd, GWL_STYLE, GetWindowLongPtrW(Wnd, GWL_STYLE) & ~LONG_PTR(WS_VISIBLE));
            Unmarked = true;
            Opaque();
        }
        void VisibleAgain()
        {
            if (Unmarked && IsWindow(Wnd) && !(GetWindowLongPtrW(Wnd, GWL_STYLE) & WS_VISIBLE))
                SetWindowLongPtrW(Wnd, GWL_STYLE, GetWindowLongPtrW(Wnd, GWL_STYLE) | WS_VISIBLE);
            Unmarked = false;
        }
        void Unlock()
        {
            Provider.changeLocked_ = false;
            Provider.skinData_->SetActiveState(ActiveState);
        }
        ~TShowSteps()
        {
            // Only left to do when the way out was an exception; nothing
            // here throws. The region is rebuilt at the next change.
            if (Children.empty() && !Transparent && !Unmarked && !Provider.changeLocked_)
                return;
            ChildrenDraw();
            VisibleAgain();
            Opaque();
            Provider.regionSize_ = {-1, -1};
            Unlock();
            if (IsWindow(Wnd) && IsWindowVisible(Wnd))
                RedrawWindow(Wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
        }
    } steps{*this, wnd, skinData_->ActiveState()};
    skinData_->SetActiveState(true);
    changeLocked_ = true;
    steps.Transparent = PrepareTransparent();
    if (steps.Transparent) {
        // The outline is the skin's from the fade's first frame on.
        regionSize_ = {-1, -1};
        UpdateFormRegion(false);
        regionBusy_ = false;
    }
    // The children draw once, into the faded picture, not on the screen.
    // The form itself is not visible yet: a child's own style says whether
    // it will show.
    for (HWND c = GetWindow(wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (GetWindowLongPtrW(c, GWL_STYLE) & WS_VISIBLE) {
            steps.Children.push_back(c);
            SendMessageW(c, WM_SETREDRAW, FALSE, 0);
        }
    {
        struct TShown {
            bool& Flag;
            ~TShown() { Flag = false; }
        } shown{animatedShow_};
        animatedShow_ = true;
        CallSaved(m);
    }
    AttachAdapters();
    steps.ChildrenDraw();
    // OnShow may have hidden it again.
    if (form_->Visible() && IsWindowVisible(wnd)) {
        // The fade shows the form from here: it is made opaque and marked
        // invisible, so that nothing of its own is drawn until the fade's
        // end marks it visible again (its WM_SETREDRAW).
        if (steps.Transparent)
            steps.Unprepare();
        AnimShowControl(form_, time);
        steps.VisibleAgain();
    }
    steps.Opaque();
    regionSize_ = {-1, -1};
    UpdateFormRegion();
    steps.Unlock();
    // The fade's last frame is the picture the form paints whole: where the
    // form may draw its hot look it paints without an erase first.
    if (IsWindowVisible(wnd))
        RedrawWindow(wnd, nullptr, nullptr,
                     RDW_INVALIDATE | (skinData_->HotStateAllowed() ? RDW_NOERASE : RDW_ERASE) | RDW_ALLCHILDREN |
                         RDW_UPDATENOW | RDW_FRAME);
    regionBusy_ = false;
}

void TsSkinProvider::Print(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    // The frame and the client come from the skin's picture; the child
    // windows print themselves.
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    // A form the show animation marked invisible is printed all the same:
    // its picture is what the fade shows.
    if (!dc || !form_->Visible() || form_->IsLoading() || (form_->ControlState() & tw::csCreating))
        return;
    // A form printed before it was ever activated has its menu line
    // measured for the skin too; the print is of the form at rest.
    if (!mainMenuRefreshed_ && InitMainMenu())
        mainMenuRefreshed_ = true;
    skinData_->SetActiveState(false);
    const TMeasures ms = Measure();
    if ((m.LParam & PRF_NONCLIENT) && !drawNonClient_)
        // The system's frame, drawn by the system alone.
        DefWindowProcW(wnd, WM_PRINT, m.WParam, PRF_NONCLIENT);
    if ((m.LParam & PRF_NONCLIENT) && drawNonClient_) {
        if (CacheOutdated(ms))
            PaintAll(ms);
        if (MenuLineSkinned())
            PaintSkinnedMenuLine(ms);
        {
            tw::TSavedDCState keep(dc);
            // The extended picture starts left of and above the window.
            const TRect f = ExtActive() ? ExtendedFrame() : TRect();
            OffsetViewportOrgEx(dc, -f.Left, -f.Top, nullptr);
            ExcludeClipRect(dc, ms.Client.Left, ms.Client.Top, ms.Client.Right, ms.Client.Bottom);
            BitBlt(dc, 0, 0, ms.Width, ms.Height, ncCache_->Canvas().Handle(), 0, 0, SRCCOPY);
        }
        m.LParam &= ~LPARAM(PRF_NONCLIENT);
    }
    if (m.LParam & (PRF_CLIENT | PRF_ERASEBKGND)) {
        // The client as the screen shows it: the form's picture, the owner's
        // drawing and the graphic controls; the windows on it print
        // themselves. The DC's origin is the window's corner (the picture
        // may start further out, beyond the window).
        const TRect client = GetClientRectInWindow(wnd);
        // The caller's context goes back as it came, also when the form's
        // own drawing throws.
        tw::TSavedDCState keep(dc);
        OffsetViewportOrgEx(dc, client.Left, client.Top, nullptr);
        IntersectClipRect(dc, 0, 0, client.Right - client.Left, client.Bottom - client.Top);
        PaintClient(dc, false);
        RunOnPaint(dc);
    }
    if (m.LParam & PRF_CHILDREN)
        PrintChildren(dc, m.LParam);
    // The form's own procedure never prints: its system frame and caption
    // would land over the skin's.
}

void TsSkinProvider::PrintChildren(HDC dc, LPARAM flags)
{
    HWND wnd = form_->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    // Bottom of the z-order first, so the upper windows print over it.
    std::vector<HWND> children;
    for (HWND c = GetWindow(wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    // Each child by its own mark: the form itself may be marked invisible
    // while its picture is taken for the show animation.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        HWND c = *it;
        if (!(GetWindowLongPtrW(c, GWL_STYLE) & WS_VISIBLE))
            continue;
        RECT cr;
        GetWindowRect(c, &cr);
        tw::TSavedDCState keep(dc);
        OffsetViewportOrgEx(dc, cr.left - wr.left, cr.top - wr.top, nullptr);
        IntersectClipRect(dc, 0, 0, cr.right - cr.left, cr.bottom - cr.top);
        SendMessageW(c, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags & ~LPARAM(PRF_CHECKVISIBLE));
    }
}

void TsSkinProvider::MaximizeButtonUp(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    m.Result = 0;
    // A button the system menu forbids is drawn disabled: its release does
    // nothing at all.
    const TSysMenuState menu = MenuState();
    const bool zoomed = IsZoomed(wnd) != FALSE;
    if (!menu.EnabledMax && !(zoomed && menu.EnabledRestore))
        return;
    if (!(pressed_ && hotCode_ == htMaxButton)) {
        // Not pressed here: the system's own button sees the release.
        SetHotButton(0);
        CallSaved(m);
        return;
    }
    // The button is normal again before the frame changes its size.
    SetHotButton(0);
    if (zoomed) {
        form_->SetWindowState(tw::wsNormal);
        SendMessageW(wnd, WM_SYSCOMMAND, SC_RESTORE, m.LParam);
        if (IsWindow(wnd))
            form_->Repaint();
    } else {
        SendMessageW(wnd, WM_SYSCOMMAND, SC_MAXIMIZE, m.LParam);
    }
    // Maximize and restore change places in the system menu.
    if (IsWindow(wnd) && systemMenu_)
        systemMenu_->UpdateItems();
}

// The mouse buttons on the drawn frame and on the client while an outline
// is dragged, and the system commands; true when the message was taken,
// false when it goes on to the form's own procedure.
bool TsSkinProvider::ButtonAndCommandMessage(tw::TMessage& m)
{
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    switch (m.Msg) {
    case WM_NCLBUTTONDOWN: {
        const int code = int(m.WParam);
        if (!drawNonClient_ && code == htSysMenu && form_->BorderStyle() != tw::bsNone) {
            // The system's frame, the skin's menu; a double click on the
            // icon still closes the form (the system's frame does that).
            if (!SecondClickOnIcon())
                ShowSystemMenuUnderIcon();
            m.Result = 0;
            return true;
        }
        // A minimized form is a title alone: wherever it is taken, the icon
        // is dragged.
        if (drawNonClient_ && IsIconic(wnd) && !IsButtonCode(code) && code != htSysMenu && code != HTMENU) {
            form_->Perform(WM_SYSCOMMAND, kScDragMove, 0);
            m.Result = 0;
            return true;
        }
        // The outline belongs to the drawn frame; the system's frame is
        // sized and moved by the system.
        if (drawNonClient_ && resizeMode_ == rmBorder && !g_drag.Owner && IsFrameCode(code) && !IsZoomed(wnd)) {
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            BeginOutline(code, PointOf(m.LParam));
            m.Result = 0;
            return true;
        }
        if (drawNonClient_ && IsButtonCode(code)) {
            SetPressedButton(code);
            if (code >= htUserButton && code - htUserButton < titleButtons_.Count()) {
                TsTitleButton& b = titleButtons_.Items(code - htUserButton);
                b.State = 2;
                if (b.OnMouseDown)
                    b.OnMouseDown(b, 0, PointOf(m.LParam));
            }
            m.Result = 0;
            return true;
        }
        if (drawNonClient_ && code == htSysMenu && sysMenuRemoved_) {
            // Under the icon, as the system shows its own.
            const TMeasures ms = Measure();
            const TRect icon = IconRect(ms);
            RECT wr;
            GetWindowRect(wnd, &wr);
            // Kept off the title (above it at the screen's bottom).
            const RECT title{wr.left, wr.top, wr.right, wr.top + ms.Border + ms.Title};
            ShowSystemMenu(wr.left + icon.Left, wr.top + ms.Border + ms.Title, &title);
            m.Result = 0;
            return true;
        }
        // A click on the title of a maximized form only activates it.
        if (drawNonClient_ && code == htCaption && IsZoomed(wnd)) {
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            m.Result = 0;
            return true;
        }
        if (drawNonClient_ && code != HTMENU) {
            SetHotButton(0);
            CallSaved(m);
            // The system's move or size loop ran inside the call: the
            // extended border of a form without owner is placed again
            // around it, with the picture it has.
            if (borderForm_ && wnd && IsWindow(wnd) && !GetWindow(wnd, GW_OWNER) &&
                !borderForm_->UpdateBorderWindow(false, 255))
                SetExtBorders(false);
            return true;
        }
        break;
    }
    case WM_NCLBUTTONDBLCLK: {
        const int code = int(m.WParam);
        if (!drawNonClient_)
            break;
        if (code == htSysMenu) {
            PostMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            m.Result = 0;
            return true;
        }
        if (code == htCaption) {
            const TSysMenuState s = MenuState();
            // A minimized form without a title of its own shows one as an
            // icon: a double click on it brings the form back.
            const bool titleless = form_->BorderStyle() == tw::bsNone;
            if ((s.VisibleClose && (s.EnabledMax || s.EnabledRestore)) || (titleless && IsIconic(wnd))) {
                PostMessageW(wnd, WM_SYSCOMMAND, IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
                if (systemMenu_)
                    systemMenu_->UpdateItems();
            }
            m.WParam = 0;
            m.Result = 0;
            return true;
        }
        // The drawn frame answers no other double click, nor does the system.
        // A button's first click pressed it and its release ran the command:
        // pressed again, the second release would run it once more
        // (maximize and restore at once, a second close).
        m.Result = 0;
        return true;
    }
    case WM_MOUSEMOVE:
        if (Dragging()) {
            POINT p{short(LOWORD(m.LParam)), short(HIWORD(m.LParam))};
            ClientToScreen(wnd, &p);
            FollowOutline(TPoint(p.x, p.y));
            m.Result = 0;
            return true;
        }
        CallSaved(m);
        // The pointer is over the form itself: no control of it is hot.
        if (DefaultManager && !(DefaultManager->ComponentState() & tw::csDesigning))
            SetManagerActiveControl(*DefaultManager, nullptr);
        return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        // The click that ends a drag started from the system menu is not
        // the form's.
        if (Dragging()) {
            m.Result = 0;
            return true;
        }
        break;
    case WM_LBUTTONUP:
        if (Dragging()) {
            EndOutline(true);
            m.Result = 0;
            return true;
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
            return true;
        }
        if (drawNonClient_ && int(m.WParam) == htMaxButton) {
            MaximizeButtonUp(m);
            return true;
        }
        if (drawNonClient_ && IsButtonCode(int(m.WParam))) {
            const int code = int(m.WParam);
            if (!(pressed_ && hotCode_ == code)) {
                // Released over a button that was not pressed: close does
                // nothing at all; the others lose their hot look, and the
                // system's own maximize and minimize see the release.
                if (code != htClose)
                    SetHotButton(0);
                if (code == htMaxButton || code == htMinButton)
                    break;
                m.Result = 0;
                return true;
            }
            if (code == htMinButton) {
                // The press counts only where the button is.
                RECT wr;
                GetWindowRect(wnd, &wr);
                const TRect f = ExtActive() ? ExtendedFrame() : TRect();
                const TPoint at = PointOf(m.LParam);
                // (Maximized, the strip above it at the screen's edge is
                // the button's too, as the hit test answers.)
                const bool on = ButtonRect(code).Contains(TPoint(at.X - wr.left + f.Left, at.Y - wr.top + f.Top)) ||
                                (IsZoomed(wnd) && !ExtActive() && HitTest(at) == code);
                if (!on)
                    break;
            }
            ButtonUp(code, m.LParam);
            m.Result = 0;
            return true;
        }
        if (pressed_) {
            // Released off the button: the press ends without a command.
            pressed_ = false;
            SetHotButton(0);
        }
        break;
    case WM_NCRBUTTONUP: {
        if (!wnd || form_->BorderStyle() == tw::bsNone)
            break;
        // The code the button went up over, as the drawn frame answers it;
        // on the system's frame the system's own answer, which the message
        // brings (the drawn frame's layout is not what the screen shows).
        const TPoint at = PointOf(m.LParam);
        int code = int(m.WParam);
        if (drawNonClient_)
            code = code == HTTRANSPARENT && ExtActive() ? ExtendedHitTest(POINT{at.X, at.Y}) : HitTest(at);
        if (code == htCaption || code == htSysMenu) {
            SetHotButton(0);
            PopupSystemMenu(POINT{at.X, at.Y});
        }
        m.Result = 0;
        return true;
    }
    case WM_SYSCOMMAND: {
        const WPARAM kind = m.WParam & 0xFFF0;
        // The window is dragged as it is shown: a pending paint first.
        if ((m.WParam & 0xFFFF) == kScDragMove)
            form_->Repaint();
        if (resizeMode_ == rmBorder && !g_drag.Owner && (kind == SC_MOVE || kind == SC_SIZE) && !IsZoomed(wnd) &&
            !IsIconic(wnd)) {
            // The system's own move loop would drag a second frame: the
            // outline takes the mouse instead.
            StartMenuDrag(kind == SC_MOVE);
            m.Result = 0;
            return true;
        }
        CallSaved(m);
        if (kind == SC_KEYMENU && m.LParam == ' ') {
            // Alt+Space, after the form's own procedure had it: the menu at
            // the client's top-left corner, below title and menu line. Only
            // a form that shows its close button has a system menu at all.
            if (drawNonClient_ && form_->BorderStyle() != tw::bsNone && IsWindow(wnd) && MenuState().VisibleClose) {
                const TMeasures ms = Measure();
                RECT wr;
                GetWindowRect(wnd, &wr);
                // Title and menu line stay in view: at the screen's bottom
                // the menu opens above them.
                const RECT title{wr.left, wr.top, wr.right, wr.top + ms.Client.Top};
                ShowSystemMenu(wr.left + ms.Client.Left, wr.top + ms.Client.Top, &title);
            }
            m.Result = 0;
            return true;
        }
        if (kind == SC_MAXIMIZE || kind == SC_RESTORE) {
            pressed_ = false;
            SetHotButton(0);
            if (kind == SC_RESTORE) {
                skinData_->BGChangedFlag = true;
                if (form_->BorderStyle() != tw::bsNone) {
                    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
                } else {
                    // The region cut its minimized title; the form has none.
                    iconRegion_ = false;
                    regionSize_ = {-1, -1};
                    SetWindowRgn(wnd, nullptr, TRUE);
                }
            }
        } else if (kind == SC_MINIMIZE) {
            ncCache_.reset();
        }
        return true;
    }
    default:
        break;
    }
    return false;
}

} // namespace skin
