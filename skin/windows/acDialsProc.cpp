// The dialog adapter's window procedure: the skin manager's commands and the
// messages of the skinned dialog.
#include "skin/windows/acDials.h"

#include <windowsx.h>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "base/WinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"
#include "skin/windows/acDialsInternal.h"

namespace skin {

using namespace dials_detail;

namespace {

// The dialog's children are to be adapted again (sent by whoever adds some).
constexpr uint16_t kAdaptChildrenAgain = 28;
// The class library's notice that a control was shown or hidden.
constexpr UINT kVisibleChanged = 0xB00B;
// Sent by the system's dialogs when they have set up late children.
constexpr UINT kChildrenSetUp = 0x052E;

// True when the second click of a double click on the icon follows within
// the wait a form's icon grants too. The double click itself is left in the
// queue (nothing is dispatched meanwhile, so the dialog cannot go away under
// us); it closes the dialog when it arrives. The manager may have the menu
// open at once.
bool SecondClickOnDialogIcon(HWND wnd, const TsSkinManager* manager)
{
    if (manager && manager->NoSystemMenuWait)
        return false;
    const DWORD start = GetTickCount();
    MSG next;
    while (GetTickCount() - start < 200) {
        if (PeekMessageW(&next, wnd, WM_NCLBUTTONDBLCLK, WM_NCLBUTTONDBLCLK, PM_NOREMOVE))
            return true;
        Sleep(10);
    }
    return false;
}

} // namespace

LRESULT TacDialogWnd::SkinCommand(WPARAM wp, LPARAM lp)
{
    const HWND wnd = Handle();
    const int section = manager_ ? manager_->GetSkinIndex("DIALOG") : -1;
    const bool hasSection = manager_ && manager_->SkinIndexValid(section);
    switch (SkinCommandOf(wp)) {
    case AC_QUERYSKINNED:
        return 1;
    case AC_SKINLOADED: {
        // The border window, the children's handling and the new region
        // (heard by the dialog's own procedure) may free the adapter.
        const TLife life(*this);
        const bool own = reinterpret_cast<TsSkinManager*>(lp) == manager_;
        SetExtendedBorders(manager_ && manager_->ExtendedBorders());
        if (own && life.Alive()) {
            BroadcastToTopChildren(wnd, tw::TMessage{SM_ALPHACMD, wp, lp, 0});
            if (life.Alive())
                Repaint();
        }
        return 0;
    }
    case AC_SKINREFRESH: {
        const TLife life(*this);
        SetExtendedBorders(manager_ && manager_->ExtendedBorders());
        if (life.Alive())
            Repaint();
        if (life.Alive())
            UpdateBorderWindow();
        return 0;
    }
    case AC_SETACTIVESTATE:
        skinActive_ = LOWORD(wp) == 1;
        if (skinActive_)
            clientBrushStale_ = true;
        return CallSaved(SM_ALPHACMD, wp, lp);
    case AC_QUERYACTIVE:
        return skinActive_ ? 1 : 0;
    case AC_RESETCACHE: {
        const TNextProc next = NextProc();
        UpdateBorderWindow();
        return next(SM_ALPHACMD, wp, lp);
    }
    case AC_QUERYUPDATING: {
        // Asked here whether the client is more than one colour.
        if (!hasSection)
            return 0;
        const TsGeneralData& g = manager_->gd[size_t(section)];
        return g.GradientPercent + g.ImagePercent > 0 ? 1 : 0;
    }
    case AC_QUERYCOLOR:
        return hasSection ? LRESULT(manager_->gd[size_t(section)].Color) : LRESULT(manager_->GetGlobalColor());
    case kAdaptChildrenAgain: {
        const TNextProc next = NextProc();
        AdaptChildren();
        return next(SM_ALPHACMD, wp, lp);
    }
    case AC_QUERYBGINFO: {
        auto* info = reinterpret_cast<TacBGInfo*>(lp);
        if (!info)
            return 0;
        if (ClientPictureReady()) {
            // The skin's client picture, where the client lies in it.
            info->BgType = btCache;
            info->Bmp = cache_->PixelView();
            info->OffsetX += cacheClient_.Left;
            info->OffsetY += cacheClient_.Top;
            if (info->PleaseDraw && info->DrawDC) {
                const TRect& r = info->R;
                BitBlt(HDC(info->DrawDC), r.Left, r.Top, r.Width(), r.Height(), cache_->Canvas().Handle(),
                       cacheClient_.Left + r.Left, cacheClient_.Top + r.Top, SRCCOPY);
            }
        } else {
            info->BgType = btFill;
            info->Color = manager_ ? manager_->GetGlobalColor() : TColor(GetSysColor(COLOR_BTNFACE));
            if (info->PleaseDraw && info->DrawDC)
                FillDC(HDC(info->DrawDC), info->R, info->Color);
        }
        return 1;
    }
    case AC_QUERYCLIENTORIGIN: {
        const TMeasures ms = Measure();
        return MAKELONG(ms.Client.Left, ms.Client.Top);
    }
    default:
        return CallSaved(SM_ALPHACMD, wp, lp);
    }
}

LRESULT TacDialogWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const HWND wnd = Handle();
    // A message passed on to the dialog (and what the adapter sends its own
    // window) may free the adapter: the dialog's procedure may take the skin
    // away or end the dialog. Nothing of the adapter is touched after that
    // unless it is still there.
    const TLife life(*this);
    if (msg == SM_ALPHACMD) {
        KeepOwnLinkCurrent(wp, lp);
        return SkinCommand(wp, lp);
    }
    // A skin without a dialog section leaves the dialog as the system
    // draws it; only its children wear the skin.
    if (!SkinShown())
        return CallSaved(msg, wp, lp);
    if (msg == WM_NCLBUTTONDOWN || msg == WM_NCLBUTTONUP || msg == WM_NCLBUTTONDBLCLK) {
        if (msg == WM_NCLBUTTONDOWN && borderForm_ && wp == HTOBJECT)
            return CallSaved(msg, wp, lp);
        // -1: a click on the border window, which knows what lies there.
        if (wp == WPARAM(-1))
            wp = WPARAM(borderForm_ ? borderForm_->HitTest(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)})
                                    : DialogHitTest(WindowPoint(lp)));
    }
    switch (msg) {
    case WM_NCPAINT:
        if (!IsWindowVisible(wnd))
            return 0;
        if (borderForm_ && !borderForm_->Shown() && ExtendedActive()) {
            UpdateBorderWindow();
            if (!life.Alive())
                return 0;
            // Under the compositor the border window is shown over the
            // dialog: the dialog's region goes to its client now, and the
            // dialog takes the focus back from it.
            if (borderForm_ && borderForm_->Shown() && DwmCompositionEnabled()) {
                regionSize_ = {-1, -1};
                UpdateDialogRegion();
                if (!life.Alive())
                    return 0;
                SetFocus(wnd);
                if (!life.Alive())
                    return 0;
            }
        }
        PaintNonClient();
        return 0;
    case WM_NCACTIVATE: {
        // Kept while hidden too: the dialog is shown with the right title.
        active_ = wp != 0;
        if (!IsWindowVisible(wnd))
            break;
        // -1: the system takes the activation but draws no caption.
        CallSaved(msg, wp, -1);
        if (!life.Alive())
            return TRUE;
        // The title's look changed: the frame is drawn again, and so are
        // the children, which show the dialog's picture under them.
        if (borderForm_)
            PaintDialogCache();
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
        UpdateBorderWindow();
        return TRUE;
    }
    case WM_SETTEXT: {
        const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
        if (!(style & WS_VISIBLE))
            return CallSaved(msg, wp, lp);
        // Marked invisible, the system draws no caption of its own. The
        // style change is heard by the dialog too.
        const TNextProc next = NextProc();
        SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
        const LRESULT r = next(msg, wp, lp);
        SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VISIBLE);
        if (!life.Alive())
            return r;
        PaintNonClient();
        if (life.Alive())
            UpdateBorderWindow();
        return r;
    }
    case WM_ENABLE: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (life.Alive() && IsWindowVisible(wnd))
            PaintNonClient();
        return r;
    }
    case WM_NCHITTEST: {
        const int code = DialogHitTest(WindowPoint(lp));
        if (IsTitleButton(code)) {
            if (!pressed_)
                SetHotButton(code);
            return code;
        }
        // Leaving the pressed button ends the press.
        if (hot_)
            SetHotButton(0);
        if (!life.Alive())
            return code;
        if (IsZoomed(wnd) && code != HTSYSMENU) {
            // The frame of a zoomed dialog lies off the screen's edge: what
            // is left of it is not the dialog's.
            RECT wr;
            GetWindowRect(wnd, &wr);
            const int x = GET_X_LPARAM(lp) - wr.left, y = GET_Y_LPARAM(lp) - wr.top;
            if (x < 2 || y < 2 || x >= wr.right - wr.left - 4 || y >= wr.bottom - wr.top - 4)
                return HTTRANSPARENT;
        }
        if (code == htClient || code == htCaption) {
            const LRESULT own = CallSaved(msg, wp, lp);
            return code == htCaption ? CaptionAnswer(int(own), IsZoomed(wnd) || IsIconic(wnd)) : own;
        }
        return code;
    }
    case WM_NCMOUSEMOVE:
        if (!tracking_) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, wnd, 0};
            tracking_ = TrackMouseEvent(&tme) != 0;
        }
        if (IsTitleButton(int(wp)))
            return 0;
        break;
    case WM_NCMOUSELEAVE:
        tracking_ = false;
        SetHotButton(0);
        if (!life.Alive())
            return 0;
        break;
    case WM_MOUSEMOVE:
        // The pointer is over the dialog, on none of the program's controls.
        if (IsWindowEnabled(wnd) && manager_)
            SetManagerActiveControl(*manager_, nullptr);
        break;
    case WM_MOUSELEAVE:
        ClearHot();
        if (!life.Alive())
            return 0;
        break;
    case WM_NCLBUTTONDOWN:
        if (wp == HTSYSMENU) {
            // The menu waits for the second click of a double click on the
            // icon, as a form's does: opened at once, its loop would take
            // that click and the double click that closes would never come.
            if (SecondClickOnDialogIcon(wnd, manager_))
                return 0;
            RECT wr;
            GetWindowRect(wnd, &wr);
            const TMeasures ms = Measure();
            // Opened from the title, it keeps the title clear (above it at
            // the screen's bottom).
            const RECT title{wr.left, wr.top, wr.right, wr.top + ms.Border + ms.Title};
            PopupSysMenu(wr.left + ms.Border, wr.top + ms.Border + GetSystemMetrics(SM_CYSMICON), &title);
            return 0;
        }
        if (IsTitleButton(int(wp))) {
            SetPressedButton(int(wp));
            return 0;
        }
        if (IsIconic(wnd)) {
            SendMessageW(wnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lp);
            return 0;
        }
        ClearHot();
        if (!life.Alive())
            return 0;
        if (IsZoomed(wnd) && wp == HTCAPTION) {
            // A zoomed dialog does not move by its title; it only takes the
            // activation.
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            return 0;
        }
        break;
    case WM_NCLBUTTONDBLCLK:
        // Only the title and the icon answer a double click. On a button the
        // first click's press and release ran its command already; pressed
        // again, the second release would run it once more (maximize and
        // restore at once). Nothing goes on to the system's frame either.
        if (wp == HTSYSMENU) {
            // A double click on the icon closes, as on the system's.
            PostMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (wp == HTCAPTION && (MaximizeEnabled() || RestoreEnabled())) {
            PostMessageW(wnd, WM_SYSCOMMAND, IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
        }
        return 0;
    case WM_NCLBUTTONUP:
        if (IsTitleButton(int(wp)) && !pressed_) {
            // Let go over a button that was not pressed: nothing runs, and
            // the button loses its hot look until the mouse moves again;
            // close stays as it is.
            if (wp != htClose)
                ClearHot();
            return 0;
        }
        if (IsTitleButton(int(wp))) {
            bool run = pressed_ && hot_ == int(wp);
            pressed_ = false;
            RepaintTitleButton(int(wp));
            if (life.Alive() && hot_ != int(wp))
                RepaintTitleButton(hot_);
            if (!life.Alive())
                return 0;
            if (run && wp == htClose && !CloseEnabled())
                run = false;
            if (run && !(wp == htMaxButton && IsIconic(wnd) && !MaximizeEnabled() && !RestoreEnabled())) {
                WPARAM command = SC_CLOSE;
                if (wp == htMaxButton)
                    command = IsZoomed(wnd) ? SC_RESTORE : SC_MAXIMIZE;
                else if (wp == htMinButton)
                    command = IsIconic(wnd) ? SC_RESTORE : SC_MINIMIZE;
                else if (wp == htHelp)
                    command = SC_CONTEXTHELP;
                PostMessageW(wnd, WM_SYSCOMMAND, command, lp);
                // The click is over: the button looks normal again, even
                // when the dialog does not run the command.
                ClearHot();
                if (life.Alive() && wp == htHelp) {
                    // The help mode may follow a change of the dialog's
                    // state: the menu and the whole frame catch up.
                    if (sysMenu_)
                        sysMenu_->UpdateItems();
                    SendMessageW(wnd, WM_NCPAINT, 1, 0);
                }
            }
            return 0;
        }
        break;
    case WM_NCRBUTTONDOWN:
        if (wp == HTCAPTION || wp == HTSYSMENU)
            return 0;
        break;
    case WM_NCRBUTTONUP:
        if (wp == HTCAPTION || wp == HTSYSMENU) {
            PopupSysMenu(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
            return 0;
        }
        break;
    case WM_SYSCOMMAND: {
        const WPARAM command = wp & 0xFFF0;
        if (command == SC_KEYMENU && lp == ' ') {
            // Alt+Space opens the skin's menu under the title icon.
            RECT wr;
            GetWindowRect(wnd, &wr);
            const TMeasures ms = Measure();
            const RECT title{wr.left, wr.top, wr.right, wr.top + ms.Border + ms.Title};
            PopupSysMenu(wr.left + ms.Border, wr.top + ms.Border + ms.Title, &title);
            return 0;
        }
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!life.Alive() || !IsWindow(wnd))
            return r;
        if (command == SC_MOVE && (wp & 0xF) == HTCAPTION) {
            UpdateWindow(wnd);
            if (life.Alive())
                UpdateBorderWindow();
        } else if (command == SC_MAXIMIZE || command == SC_RESTORE || command == SC_MINIMIZE) {
            // Maximize shows the other picture now, whatever ran the
            // command (its button, the menu, the keyboard): taken as hot,
            // it is drawn again as it is cleared.
            if (command != SC_MINIMIZE && (style_ & WS_MAXIMIZEBOX))
                hot_ = htMaxButton;
            ClearHot();
            if (life.Alive() && sysMenu_)
                sysMenu_->UpdateItems();
        }
        return r;
    }
    case WM_SIZE: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!life.Alive())
            return r;
        UpdateBorderWindow();
        if (IsWindowVisible(wnd))
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
        return r;
    }
    case WM_SETFOCUS: {
        const LRESULT r = CallSaved(msg, wp, lp);
        // The focus frame moved inside the dialog: all of the active window
        // is painted at once, not at some later WM_PAINT.
        if (HWND active = GetActiveWindow())
            RedrawWindow(active, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return r;
    }
    case WM_MOVE:
    case WM_SIZING: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (life.Alive())
            UpdateBorderWindow();
        return r;
    }
    case WM_WINDOWPOSCHANGING: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!life.Alive())
            return r;
        if (borderForm_ && lp && (reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_HIDEWINDOW))
            SetExtendedBorders(false);
        else
            UpdateBorderWindow();
        return r;
    }
    case WM_WINDOWPOSCHANGED: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!life.Alive())
            return r;
        // The halos stay where they were shown; a moved dialog drops them.
        if (lp && !(reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_NOMOVE))
            for (TacButtonFx& fx : fx_)
                HideCaptionGlow(fx);
        UpdateDialogRegion();
        if (life.Alive())
            UpdateBorderWindow();
        return r;
    }
    case WM_SHOWWINDOW: {
        // A hidden dialog leaves no halo on the screen.
        if (!wp)
            FreeButtonAnimations();
        if (!DwmCompositionEnabled())
            break;
        // Shown layered, the compositor does not flash the system's frame.
        // The style change is heard by the dialog too.
        const TNextProc next = NextProc();
        const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
        SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        const LRESULT r = next(msg, wp, lp);
        SetWindowLongPtrW(wnd, GWL_EXSTYLE, GetWindowLongPtrW(wnd, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_LAYERED));
        return r;
    }
    case kVisibleChanged: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (life.Alive() && !wp)
            FreeButtonAnimations();
        return r;
    }
    case WM_PAINT:
        if (PaintSuppressed) {
            PAINTSTRUCT ps;
            BeginPaint(wnd, &ps);
            EndPaint(wnd, &ps);
            return 0;
        }
        break;
    case WM_ERASEBKGND: {
        if (!childrenAdapted_) {
            childrenAdapted_ = true;
            AdaptChildren();
            if (!life.Alive())
                return 1;
        }
        HDC dc = reinterpret_cast<HDC>(wp);
        const bool own = !dc;
        if (own)
            dc = GetDC(wnd);
        // The children are told to take their background again, and their
        // handling may free the adapter.
        if (dc)
            EraseClient(dc);
        if (own && dc)
            ReleaseDC(wnd, dc);
        if (life.Alive())
            skinActive_ = false;
        return 1;
    }
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR: {
        // The skinned system menu's items are drawn through its window.
        tw::TMessage m{msg, wp, lp, 0};
        if (tw::DispatchMenuOwnerDraw(m))
            return m.Result;
        if (msg == WM_DRAWITEM && lp && reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->CtlType == ODT_STATIC)
            SetBkMode(reinterpret_cast<const DRAWITEMSTRUCT*>(lp)->hDC, TRANSPARENT);
        break;
    }
    case WM_GETDLGCODE:
        return 0;
    case WM_PRINT: {
        // The skin's frame from the picture, the client by the dialog at its
        // place inside it.
        HDC dc = reinterpret_cast<HDC>(wp);
        if (!dc || !(lp & PRF_NONCLIENT) || !PaintDialogCache())
            break;
        const int saved = SaveDC(dc);
        // The window's part of the picture (under the extended border the
        // picture holds the border's margins too).
        const TRect client(cacheClient_.Left - windowOrg_.X, cacheClient_.Top - windowOrg_.Y,
                           cacheClient_.Right - windowOrg_.X, cacheClient_.Bottom - windowOrg_.Y);
        ExcludeClipRect(dc, client.Left, client.Top, client.Right, client.Bottom);
        BitBlt(dc, 0, 0, cache_->Width(), cache_->Height(), cache_->Canvas().Handle(), windowOrg_.X, windowOrg_.Y,
               SRCCOPY);
        RestoreDC(dc, saved);
        // The bars tell the dialog they were painted.
        const TNextProc next = NextProc();
        UpdateScrollState(false);
        PaintBars(dc);
        POINT org{0, 0};
        OffsetViewportOrgEx(dc, client.Left, client.Top, &org);
        const LRESULT r = next(msg, wp, lp & ~LPARAM(PRF_NONCLIENT));
        SetViewportOrgEx(dc, org.x, org.y, nullptr);
        return r;
    }
    case DM_SETDEFID: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (life.Alive())
            AdaptChildren();
        return r;
    }
    case kChildrenSetUp: {
        const LRESULT r = CallSaved(msg, wp, lp);
        if (!life.Alive())
            return r;
        AdaptChildren();
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
        return r;
    }
    case WM_CTLCOLORDLG:
        // The dialog's own erase paints the skin's picture; what asks for
        // the dialog's colour gets the skin's one.
        return reinterpret_cast<LRESULT>(Brush());
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
        if (!fieldBrushes_)
            fieldBrushes_ = std::make_unique<TacBrushes>();
        if (const LRESULT brush = SkinCtlColor(manager_, *fieldBrushes_, msg, reinterpret_cast<HDC>(wp),
                                               reinterpret_cast<HWND>(lp)))
            return brush;
        break;
    case WM_CTLCOLORSTATIC:
        // A read-only edit asks as a label does; it stays a field.
        if (TacMainWnd* child = TacMainWnd::Of(reinterpret_cast<HWND>(lp));
            child && std::strcmp(child->Kind(), "TacEditWnd") == 0) {
            if (!fieldBrushes_)
                fieldBrushes_ = std::make_unique<TacBrushes>();
            if (const LRESULT brush = SkinCtlColor(manager_, *fieldBrushes_, WM_CTLCOLOREDIT,
                                                   reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp)))
                return brush;
        }
        [[fallthrough]];
    case WM_CTLCOLORBTN: {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, TextColor());
        SetBkColor(dc, COLORREF(manager_->GetGlobalColor()));
        SetBkMode(dc, TRANSPARENT);
        // Labels, check boxes and icons fill with this brush: they show
        // the skin's client under them, not a plain colour.
        if (HBRUSH pattern = BackgroundBrushFor(reinterpret_cast<HWND>(lp), dc))
            return reinterpret_cast<LRESULT>(pattern);
        return reinterpret_cast<LRESULT>(Brush());
    }
    default:
        break;
    }
    return TacScrollWnd::AdapterWndProc(msg, wp, lp);
}

} // namespace skin
