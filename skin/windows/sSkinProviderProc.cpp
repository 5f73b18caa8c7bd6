// The provider's window procedure: the skin messages answered whatever the
// state, the skin manager's commands, and the rows of the skinned dispatch
// (sizing, placing, hit test, activation, the class library's notices).
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

void TsSkinProvider::CallSaved(tw::TMessage& m)
{
    if (saved_)
        saved_(m);
}

void TsSkinProvider::ProviderWindowProc(tw::TMessage& m)
{
    // No catch here: what the form's handlers throw goes on to the class
    // library's window procedure, which reports it once through the
    // application, as it does for a form without a skin.
    // No fade may outlive the window it draws on, skinned or not.
    if (m.Msg == WM_DESTROY)
        FreeButtonAnimations();
    if (m.Msg == SM_ALPHACMD && ForeignSkinPointer(m.WParam, m.LParam)) {
        m.Result = 0;
        return;
    }
    if (m.Msg == SM_ALPHACMD && AlphaFirstPass(m))
        return;
    // A manager that went away without a word leaves the form unskinned.
    if (skinned_ && !SkinManager())
        skinned_ = false;
    if (skinned_ && !form_->IsDestroying()) {
        if (m.Msg == SM_ALPHACMD)
            SkinnedAlphaCommand(m);
        else
            SkinnedDispatch(m);
        return;
    }
    if (m.Msg == tw::CM_SHOWINGCHANGED && m.WParam && !form_->HandleAllocated() && !form_->IsDestroying()) {
        // The form's first showing makes its window, and the window
        // brings the skin: that showing fades in like any later one.
        form_->Handle();
        if (skinned_) {
            AnimatedShowing(m);
            return;
        }
    }
    if (m.Msg == SM_ALPHACMD) {
        const uint16_t command = SkinCommandOf(m.WParam);
        const auto* from = reinterpret_cast<TsSkinManager*>(m.LParam);
        const bool own = !form_->IsDestroying() && (!from || from == SkinManager());
        if (command == AC_SKINLOADED && own) {
            // The provider's own business: the controls hear of the new
            // skin from the manager's broadcast, the form's own procedure
            // does not. Another manager's skin is the form's to hear.
            ApplySkin();
            return;
        }
        if (command == AC_SKINREFRESH) {
            CallSaved(m);
            if (own)
                ApplySkin();
            return;
        }
    }
    CallSaved(m);
    switch (m.Msg) {
    case WM_NCCREATE:
    case WM_CREATE:
        // A form built without a layout is skinned when its window comes.
        if (!form_->IsDestroying())
            ApplySkin();
        break;
    case WM_DESTROY:
    case WM_NCDESTROY:
        regionSize_ = {-1, -1};
        break;
    default:
        break;
    }
}

bool TsSkinProvider::AlphaFirstPass(tw::TMessage& m)
{
    switch (SkinCommandOf(m.WParam)) {
    case AC_SKINREMOVED:
        SkinRemovedMessage(m);
        return true;
    case AC_QUERYSKINNED:
        m.Result = 1;
        return true;
    case AC_QUERYPROVIDER:
        m.Result = reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(this));
        return true;
    case AC_CONTAINERFLAG:
        m.Result = skinData_->CtrlSkinState;
        return true;
    case AC_QUERYAPPLICATION:
        m.Result = reinterpret_cast<LRESULT>(tw::Application);
        return true;
    case AC_QUERYSKININDEX: {
        // The section whose colours the client wears, for the controls that
        // take their text colour from their parent (labels straight on the
        // form). 0 while no skin is on.
        const TsSkinManager* sm = SkinManager();
        const int index = sm ? sm->ConstData.IndexGlobalInfo : -1;
        m.Result = skinned_ && sm && sm->SkinIndexValid(index) ? index + 1 : 0;
        return true;
    }
    case AC_QUERYCLIENTORIGIN: {
        const TMeasures ms = form_->HandleAllocated() ? Measure() : TMeasures();
        m.Result = MAKELONG(ms.Client.Left, ms.Client.Top);
        return true;
    }
    case AC_QUERYBGINFO:
        if (!skinned_ || !m.LParam)
            return false;
        // The controls on the client take the part of the form's picture
        // that lies behind them.
        AnswerBGInfo(*reinterpret_cast<TacBGInfo*>(m.LParam));
        return true;
    default:
        return false;
    }
}

void TsSkinProvider::SkinRemovedMessage(tw::TMessage& m)
{
    const auto* from = reinterpret_cast<TsSkinManager*>(m.LParam);
    if (from && from != SkinManager()) {
        // Another manager's skin: the controls may wear it.
        if (form_)
            BroadcastToChildren(form_, m);
        return;
    }
    RemoveSkin();
    hotCode_ = -1;
    if (form_ && !form_->IsDestroying()) {
        // The skin link's own handling: its cache goes and the labels
        // straight on the form get the window text colour back.
        CommonMessage(m, skinData_.get());
        BroadcastToChildren(form_, m);
        // The menu line is laid out again for the system's look.
        mainMenuRefreshed_ = false;
        menuRows_ = -1;
        if (form_->HandleAllocated() && InitMainMenu())
            mainMenuRefreshed_ = true;
        // The skin's colour goes with the skin: the form shows the system's
        // face, not a colour it had before it was skinned.
        if (useGlobalColor_ && !skinData_->CustomColor())
            form_->SetColor(tw::clBtnFace);
    }
    // Not passed on to the form's own procedure: the controls heard of it
    // above, and what the form draws itself follows its controls.
}

void TsSkinProvider::NotifyAdapter(tw::TMessage& m)
{
    if (!ctrlAdapter_ || !form_ || (ComponentState() & tw::csDesigning))
        return;
    // Every window that has its adapter from here hears the message.
    std::vector<HWND> windows;
    std::function<void(tw::TWinControl*)> walk = [&](tw::TWinControl* parent) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            auto* w = dynamic_cast<tw::TWinControl*>(parent->Controls(i));
            if (!w || w->IsDestroying())
                continue;
            if (HWND h = w->HandleIfAllocated(); h && ctrlAdapter_->AdapterOf(h))
                windows.push_back(h);
            walk(w);
        }
    };
    walk(form_);
    for (HWND h : windows)
        if (IsWindow(h))
            SendMessageW(h, m.Msg, m.WParam, m.LParam);
}

void TsSkinProvider::SkinRefresh()
{
    skinData_->UpdateIndexes();
    if (ctrlAdapter_)
        ctrlAdapter_->AdaptControls();
    else
        CreateCtrlAdapter();
    if (drawNonClient_ && form_->HandleAllocated() && WantsScrollAdapter(form_->Handle()))
        AttachScrollAdapter(skinData_.get(), form_->Handle(), formAdapter_);
    hotCode_ = -1;
    titleBg_.reset();
    buttonsBg_.reset();
    TsSkinManager* sm = SkinManager();
    if (SkinLoading || !sm || sm->Loading()) {
        // Half read, the skin's menu sections may not be there yet: the
        // menus follow at the next activation.
        menusBehind_ = true;
    } else {
        mainMenuRefreshed_ = false;
        menuRows_ = -1;
        if (InitMainMenu())
            mainMenuRefreshed_ = true;
        PrepareMenus(skinData_->Skinned());
        menusBehind_ = false;
    }
    // The frame's corners may be cut otherwise now: the region is made
    // again once the form shows.
    if (form_->BorderStyle() != tw::bsNone) {
        regionSize_ = {-1, -1};
        ncChanged_ = true;
    }
    if (!Showing())
        return;
    HWND wnd = form_->Handle();
    skinData_->BGChangedFlag = true;
    if (sm)
        SetExtBorders(sm->ExtendedBorders());
    UpdateFormRegion();
    if (!changeLocked_)
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    if (useGlobalColor_ && !skinData_->CustomColor() && sm)
        TakeColor(true);
    skinData_->SetActiveState(false);
    tw::TMessage refresh{SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), reinterpret_cast<LPARAM>(sm), 0};
    NotifyAdapter(refresh);
    if (borderForm_)
        UpdateBorderWindow(255);
}

void TsSkinProvider::SkinnedAlphaCommand(tw::TMessage& m)
{
    const auto* from = reinterpret_cast<TsSkinManager*>(m.LParam);
    switch (SkinCommandOf(m.WParam)) {
    case AC_SKINLOADED:
        if (!from || from == SkinManager())
            ApplySkin();
        return;
    case AC_SKINREFRESH:
        if (!from || from == SkinManager())
            SkinRefresh();
        return;
    case AC_SETACTIVESTATE:
        skinData_->SetActiveState(LOWORD(m.WParam) == 1);
        if (skinData_->CalcActiveState())
            skinData_->BGChangedFlag = true;
        return;
    case AC_SETUPDATING:
        CommonMessage(m, skinData_.get());
        // While the form is updated its picture of now stands in for it:
        // it is made current before the updates begin.
        if (skinData_->Updating && Showing() && drawNonClient_) {
            const TMeasures ms = Measure();
            if (ms.Width > 0 && ms.Height > 0 && CacheOutdated(ms))
                PaintAll(ms);
            if (ncCache_ && MenuLineSkinned())
                PaintSkinnedMenuLine(ms);
        }
        return;
    case AC_QUERYACTIVE:
        m.Result = !changeLocked_ && skinData_->HotStateAllowed() && skinData_->ActiveState() ? 1 : 0;
        return;
    case AC_QUERYUPDATING: {
        const TsSkinManager* sm = SkinManager();
        const bool valid = sm->SkinIndexValid(skinData_->SkinIndex);
        const bool picture =
            valid && sm->gd[size_t(skinData_->SkinIndex)].GradientPercent + sm->gd[size_t(skinData_->SkinIndex)].ImagePercent > 0;
        m.LParam = picture ? 1 : 0;
        m.Result = m.LParam;
        return;
    }
    case AC_QUERYCOLOR: {
        const TsSkinManager* sm = SkinManager();
        if (!skinData_->CustomColor() && sm->SkinIndexValid(skinData_->SkinIndex)) {
            const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
            m.Result = formActive_ ? s.HotColor : s.Color;
        } else {
            m.Result = LRESULT(tw::ColorToRGB(form_->Color()));
        }
        return;
    }
    case AC_BEFORESCROLL:
        if (skinData_->Updating)
            SendMessageW(form_->Handle(), WM_SETREDRAW, FALSE, 0);
        return;
    case AC_AFTERSCROLL:
        if (skinData_->Updating) {
            SendMessageW(form_->Handle(), WM_SETREDRAW, TRUE, 0);
            RedrawWindow(form_->Handle(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        }
        return;
    case AC_CONTROLLOADED:
        // A control finished loading after the form was adapted: it gets
        // its adapter now (0: the whole form is walked again).
        if (form_ && !form_->IsDestroying() && !form_->IsLoading() && ctrlAdapter_) {
            if (m.LParam)
                ctrlAdapter_->AdaptControl(reinterpret_cast<tw::TControl*>(m.LParam));
            else
                ctrlAdapter_->AdaptControls();
        }
        return;
    case AC_RESETCACHE:
        // Another form's move or size loop ended: a modal form's extended
        // border may have been covered meanwhile.
        if (borderForm_ && form_->Modal())
            UpdateBorderWindow(255);
        return;
    case AC_UPDATEEXTBORDER:
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    default:
        // Sub-commands a skinned form does not answer end here.
        return;
    }
}

void TsSkinProvider::Size(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    const int cw = LOWORD(m.LParam), ch = HIWORD(m.LParam);
    TsSkinManager* sm = SkinManager();
    // A picture anchored at the right or bottom edge moves with it: its old
    // and new places are drawn again.
    auto invalidateCorner = [&](int w, int h, bool top) {
        RECT before{prevClient_.Right - w, top ? 0 : prevClient_.Bottom - h, prevClient_.Right,
                    top ? h : prevClient_.Bottom};
        RECT after{cw - w, top ? 0 : ch - h, cw, top ? h : ch};
        InvalidateRect(wnd, &before, TRUE);
        InvalidateRect(wnd, &after, TRUE);
    };
    if (GripShown()) {
        const TRect g = GripRect(Measure());
        invalidateCorner(g.Right - g.Left, g.Bottom - g.Top, false);
        const bool widthChanged = cw != prevClient_.Right, heightChanged = ch != prevClient_.Bottom;
        if (sm && (widthChanged || heightChanged)) {
            for (const char* name : {"IMGTOPRIGHT", "IMGBTMRIGHT"}) {
                const int i = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), name);
                if (sm->MaskIndexValid(i))
                    invalidateCorner(MaskFrameWidth(sm->ma[size_t(i)]), MaskFrameHeight(sm->ma[size_t(i)]),
                                     std::string(name) == "IMGTOPRIGHT");
            }
        }
    }
    // A gradient spans the whole client: every pixel of it changes.
    if (sm && sm->SkinIndexValid(skinData_->SkinIndex) && sm->gd[size_t(skinData_->SkinIndex)].GradientPercent != 0)
        InvalidateRect(wnd, nullptr, TRUE);
    // The border's picture reaches into the client along the right and
    // bottom edges: where those edges were, the client's middle is drawn
    // now, and where they are now the border, though the system counts
    // those pixels as still valid.
    if (sm && sm->MaskIndexValid(skinData_->BorderIndex) && ClientHasPicture() &&
        (cw != prevClient_.Right || ch != prevClient_.Bottom)) {
        const TsMaskData& mask = sm->ma[size_t(skinData_->BorderIndex)];
        const int r = std::max<int>(mask.WR, 1), b = std::max<int>(mask.WB, 1);
        for (const int right : {int(prevClient_.Right), cw}) {
            RECT strip{right - r, 0, right, std::max<int>(prevClient_.Bottom, ch)};
            InvalidateRect(wnd, &strip, TRUE);
        }
        for (const int bottom : {int(prevClient_.Bottom), ch}) {
            RECT strip{0, bottom - b, std::max<int>(prevClient_.Right, cw), bottom};
            InvalidateRect(wnd, &strip, TRUE);
        }
    }
    prevClient_ = TRect(0, 0, cw, ch);
    CallSaved(m);
    if (changeLocked_)
        return;
    if (!Showing()) {
        skinData_->BGChangedFlag = true;
        return;
    }
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int ww = wr.right - wr.left, wh = wr.bottom - wr.top;
    // The compositor does not draw a minimized window: a picture made for
    // the icon's size would only be thrown away at the restore.
    const bool iconicComposed = IsIconic(wnd) && DwmCompositionEnabled();
    if (!iconicComposed && (!ncCache_ || ncCache_->Width() != ww || ncCache_->Height() != wh)) {
        // A picture missing, or larger than the window, leaves pieces of the
        // client that the next paint would take from it.
        const bool stale = !ncCache_ || (skinData_->HotStateAllowed() && (ncCache_->Width() > ww || ncCache_->Height() > wh));
        ncChanged_ = true;
        skinData_->BGChangedFlag = true;
        hotCode_ = -1;
        menuRows_ = -1;
        // The buttons move: their fades and halos would stay where they were.
        FreeButtonAnimations();
        if (drawNonClient_)
            SendMessageW(wnd, WM_NCPAINT, 1, 0);
        if (stale && !DwmCompositionEnabled())
            InvalidateRect(wnd, nullptr, FALSE);
    }
    if (borderForm_)
        UpdateBorderWindow(255);
}

void TsSkinProvider::PosChanging(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    // Setting the region moves nothing; let it through untouched.
    if (regionBusy_)
        return;
    if (screenSnap_ && m.LParam && !IsZoomed(wnd)) {
        auto* wp = reinterpret_cast<WINDOWPOS*>(m.LParam);
        if (!(wp->flags & SWP_NOMOVE) && (wp->x != 0 || wp->y != 0)) {
            MONITORINFO mi{};
            mi.cbSize = sizeof(mi);
            GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi);
            RECT wr;
            GetWindowRect(wnd, &wr);
            const int w = (wp->flags & SWP_NOSIZE) ? wr.right - wr.left : wp->cx;
            const int h = (wp->flags & SWP_NOSIZE) ? wr.bottom - wr.top : wp->cy;
            // The extended border draws its frame and title outside the
            // window: its edges are the ones that meet the work area's.
            int d = 0, t = 0;
            if (borderForm_) {
                d = FormBorderWidth(true) - FormBorderWidth(false);
                t = TitleBarHeight(true) - TitleBarHeight(false) - FormBorderWidth(false);
            }
            wp->x = SnapCoordinate(wp->x, w + d, mi.rcWork.right, snapBuffer_);
            wp->y = SnapCoordinate(wp->y, h + d, mi.rcWork.bottom, snapBuffer_);
            wp->x = SnapCoordinate(wp->x, -d, mi.rcWork.left, snapBuffer_);
            wp->y = SnapCoordinate(wp->y, -t, mi.rcWork.top, snapBuffer_);
        }
    }
    CallSaved(m);
}

void TsSkinProvider::NcHitTest(tw::TMessage& m)
{
    const int code = HitTest(PointOf(m.LParam));
    if (Dragging() && g_drag.Edge == 0 && code >= htLeft && code <= htBottomRight)
        g_drag.Edge = code;
    // Leaving a pressed button ends the press: a release elsewhere
    // runs nothing.
    if (code == htNowhere || code == htClient || code == htCaption || code == htMenu) {
        SetHotButton(0);
        // The form decides over its own client area (a splitter, a
        // transparent control) and over its title as far as it does not
        // name the system's caption parts, which are not where it thinks.
        CallSaved(m);
        if (code == htCaption)
            m.Result = CaptionAnswer(int(m.Result), IsZoomed(form_->Handle()) || IsIconic(form_->Handle()));
        return;
    }
    // A sizing edge resets the hot button altogether, as a skin change
    // does: no button is hot until the pointer reaches one again.
    const bool frame = code >= htLeft && code <= htBottomRight;
    SetHotButton(IsButtonCode(code) ? code : frame ? -1 : 0);
    m.Result = code;
}

void TsSkinProvider::SkinnedDispatch(tw::TMessage& m)
{
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    if (SystemMenuMessage(m))
        return;
    if (ClientMessage(m))
        return;
    if (ButtonAndCommandMessage(m))
        return;
    switch (m.Msg) {
    case WM_NCCREATE:
    case WM_CREATE:
        CallSaved(m);
        ApplySkin();
        return;
    case WM_SIZE:
        Size(m);
        return;
    case WM_MOVE:
        // The fades' pictures and halos were taken at the old place.
        FreeButtonAnimations();
        CallSaved(m);
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    case WM_MEASUREITEM:
        // An item added to the form's menu since the skin came is measured
        // and drawn by the skin from its first showing, not only after the
        // form is activated again.
        if (auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
            mis && mis->CtlType == ODT_MENU && form_->Menu() && SkinManager() && SkinManager() == DefaultManager) {
            tw::TMenuItem* item = tw::TMenuItem::FromOwnerDraw(mis->itemID, mis->itemData);
            TsSkinableMenus* service = TsSkinableMenus::Of(SkinManager());
            if (item && item->GetParentMenu() == form_->Menu() && !item->OnMeasureItem && service->Active())
                service->PrepareMenu(item, true);
        }
        break;
    case WM_CONTEXTMENU:
        // A popup menu given to the form after the skin came.
        if (form_->PopupMenu())
            PrepareMenus(skinned_, form_->PopupMenu());
        break;
    case WM_CHILDACTIVATE:
        CallSaved(m);
        PrepareMenus(skinned_, form_->Menu());
        return;
    case WM_ACTIVATE:
        CallSaved(m);
        if (!Showing())
            return;
        if (drawNonClient_ && !formAdapter_)
            AttachAdapters();
        if (!form_->IsLoading()) {
            hotCode_ = -1;
            // Menus the form got since the skin came (and those left behind
            // while a skin was read) are drawn from the skin from now on.
            const TsSkinManager* sm = SkinManager();
            if (!SkinLoading && !(sm && (sm->ComponentState() & tw::csDesigning))) {
                menusBehind_ = false;
                PrepareMenus(skinned_);
            }
            if (systemMenu_)
                systemMenu_->UpdateItems();
            // A form without a frame of its own: its controls take the
            // active look of their parent again.
            if (form_->BorderStyle() == tw::bsNone)
                RefreshChildren(form_);
        }
        return;
    case WM_SETREDRAW:
        if (m.WParam)
            redrawCount_ = std::max(0, redrawCount_ - 1);
        else
            ++redrawCount_;
        CallSaved(m);
        return;
    case WM_SETTEXT:
        if (!Showing() || form_->IsLoading() || !drawNonClient_) {
            CallSaved(m);
            return;
        }
        if (DwmCompositionEnabled()) {
            // The compositor shows the form's own drawing only once it is
            // done: the title is simply drawn again after the system's.
            CallSaved(m);
            RepaintCaption();
        } else {
            // The system draws its caption with the new text: the cover
            // keeps it off the screen.
            skinData_->BGChangedFlag = true;
            CallSavedCovered(m);
            // The frame is drawn again at once: the system may have drawn
            // more than its caption where the cover did not lie (frame,
            // menu line); where the windows over a form do not clip its
            // drawing (Wine gives every top-level window a picture of its
            // own) the caption reached the form's picture too; and a
            // layered form is not repainted by what the cover uncovers.
            if (Showing())
                SendMessageW(wnd, WM_NCPAINT, 1, 0);
        }
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    case WM_GETMINMAXINFO:
        MaxInfo(m);
        return;
    case WM_SHOWWINDOW:
        // The compositor keeps the picture of before: shown again, the
        // form is drawn whole.
        if (m.WParam && DwmCompositionEnabled() && !changeLocked_ && wnd &&
            !(GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED))
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_FRAME);
        ParentClosing(m);
        // A hidden form leaves no halo on the screen.
        if (!m.WParam)
            FreeButtonAnimations();
        CallSaved(m);
        // The children's windows exist by now.
        if (m.WParam && !form_->IsDestroying())
            AttachAdapters();
        return;
    case WM_WINDOWPOSCHANGING:
        PosChanging(m);
        return;
    case WM_WINDOWPOSCHANGED:
        CallSaved(m);
        // The halos stay where they were shown; a moved form drops them.
        if (m.LParam && !(reinterpret_cast<const WINDOWPOS*>(m.LParam)->flags & SWP_NOMOVE))
            for (TsCaptionButton& b : captionButtons_)
                HideButtonGlow(b.Fx);
        UpdateTitleRaised();
        UpdateFormRegion();
        // The extended border follows: moved, sized, shown or hidden.
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    case WM_SETICON:
        if (!Showing() || !drawNonClient_)
            break;
        CallSavedHidden(m);
        skinData_->BGChangedFlag = true;
        PaintNonClient();
        return;
    case WM_NCHITTEST:
        // A minimized form shows its drawn title and buttons as well, so it
        // answers for them too.
        if (!drawNonClient_ || !wnd || (form_->BorderStyle() == tw::bsNone && !IsIconic(wnd)))
            break;
        NcHitTest(m);
        return;
    case WM_NCPAINT:
        if (!drawNonClient_)
            break;
        NCPaint();
        m.Result = 0;
        return;
    case WM_NCACTIVATE: {
        // Menus the form got since the skin came (and those left behind while
        // a skin was read) follow the skin at each activation, before the
        // frame is drawn: the menu line may be one of them.
        const TsSkinManager* sm = SkinManager();
        if (!SkinLoading && !(sm && (sm->ComponentState() & tw::csDesigning))) {
            menusBehind_ = false;
            PrepareMenus(skinned_);
        }
        if (!drawNonClient_) {
            // The system draws the frame; the client's colour still follows
            // the activation.
            formActive_ = m.WParam != 0;
            skinData_->BGChangedFlag = true;
            if (!m.WParam && windowState_ == 3)
                windowState_ = 0;
            else
                skinData_->SetActiveState(m.WParam && windowState_ == 3);
            CallSaved(m);
            if (!mainMenuRefreshed_ && InitMainMenu())
                mainMenuRefreshed_ = true;
            if (skinned_ && !ctrlAdapter_)
                CreateCtrlAdapter();
            return;
        }
        {
            const bool wasActive = formActive_;
            formActive_ = m.WParam != 0;
            skinData_->BGChangedFlag = true;
            // A form the owner's closing had left zoomed shows active again.
            if (!m.WParam && windowState_ == 3)
                windowState_ = 0;
            else if (m.WParam && windowState_ == 3)
                skinData_->SetActiveState(true);
            else
                skinData_->SetActiveState(false);
            if (borderForm_)
                borderForm_->SetActive(formActive_);
            if (!Showing()) {
                CallSaved(m);
            } else if (animatedShow_) {
                // The form is still transparent and its picture not taken:
                // nothing of the system's may reach it.
                struct TDrawAgain {
                    HWND Wnd;
                    ~TDrawAgain() { SendMessageW(Wnd, WM_SETREDRAW, TRUE, 0); }
                } again{wnd};
                SendMessageW(wnd, WM_SETREDRAW, FALSE, 0);
                CallSaved(m);
            } else if (DwmCompositionEnabled()) {
                CallSavedHidden(m);
            } else {
                // The border window draws the title outside the form's
                // region: the system's caption falls outside it too, only
                // a menu line of the system's would show.
                if (borderForm_) {
                    regionSize_ = {-1, -1};
                    UpdateFormRegion();
                }
                if (borderForm_ && !GetMenu(wnd))
                    CallSaved(m);
                else
                    CallSavedCovered(m);
            }
            // The buttons are drawn in the other row now: none stays hot.
            if (!form_->IsLoading() && wasActive != formActive_)
                hotCode_ = -1;
        }
        // The menu line is measured once for the skin it shows now.
        if (!mainMenuRefreshed_ && InitMainMenu())
            mainMenuRefreshed_ = true;
        if (skinned_ && !ctrlAdapter_)
            CreateCtrlAdapter();
        PaintNonClient();
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    }
    case WM_NCMOUSEMOVE:
        if (drawNonClient_ && !trackingLeave_) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, wnd, 0};
            trackingLeave_ = TrackMouseEvent(&tme) != 0;
        }
        if (IsButtonCode(int(m.WParam))) {
            m.Result = 0;
            return;
        }
        break;
    case WM_NCMOUSELEAVE:
    case WM_MOUSELEAVE:
    case tw::CM_MOUSELEAVE:
        if (m.Msg == WM_NCMOUSELEAVE)
            trackingLeave_ = false;
        pressed_ = false;
        SetHotButton(0);
        break;
    case WM_INITMENUPOPUP:
        InitSysMenuPopup(m);
        return;
    case WM_ENTERIDLE:
        m.Result = 0;
        return;
    case CM_OWNREGIONQUERY:
    case CM_INVALIDATE:
        // The framework's invalidate notice ends here: the skinned form's
        // picture is repainted by the provider when it changes.
        m.Result = 0;
        return;
    case WM_PRINT:
        Print(m);
        return;
    case WM_PRINTCLIENT:
        // The client prints through WM_PRINT, from the skin's picture.
        return;
    case tw::CM_SHOWINGCHANGED:
        AnimatedShowing(m);
        return;
    case tw::CM_VISIBLECHANGED:
        CallSaved(m);
        if (borderForm_)
            UpdateBorderWindow(255);
        if (!m.WParam) {
            if (!form_->IsDestroying()) {
                ncCache_.reset();
                if (skinData_->CacheBmp())
                    skinData_->CacheBmp()->SetSize(0, 0);
            }
            FreeButtonAnimations();
        } else if (form_->Parent()) {
            RefreshChildren(form_);
        }
        return;
    case tw::CM_COLORCHANGED:
        // The skin gives the colour unless the form keeps its own.
        if (!skinData_->CustomColor())
            return;
        if (!form_->IsLoading())
            skinData_->BGChangedFlag = true;
        break;
    case tw::CM_ACTIVATE:
        CallSaved(m);
        // The extended border shows the form's activation too.
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    case tw::CM_MENUCHANGED:
        // Items added, taken away or renamed: the line may have more or
        // fewer rows now, and the picture is made again as a whole.
        menuRows_ = -1;
        if (!form_->IsLoading() && wnd && IsWindowVisible(wnd))
            captionDirty_ = true;
        break;
    case tw::CM_CONTROLLISTCHANGE:
        ControlListChange(m);
        return;
    case CM_FLOAT:
        CallSaved(m);
        // The adapter held the window the form had before; the refresh
        // adapts the one it has now.
        formAdapter_.reset();
        if (form_->HandleAllocated() && !form_->IsDestroying())
            SendSkinCommand(form_->Handle(), AC_SKINREFRESH, reinterpret_cast<LPARAM>(SkinManager()));
        return;
    case tw::CM_ENABLEDCHANGED:
        CallSaved(m);
        if (drawNonClient_) {
            skinData_->BGChangedFlag = true;
            if (Showing())
                SendMessageW(wnd, WM_NCPAINT, 1, 0);
        }
        return;
    case WM_SETTINGCHANGE:
        // The caption's metrics may have changed: the kept title strip
        // would no longer fit the frame.
        skinData_->BGChangedFlag = true;
        titleBg_.reset();
        break;
    case WM_SIZING:
        CallSaved(m);
        // The border follows the frame while it is dragged.
        if (borderForm_)
            UpdateBorderWindow(255);
        return;
    case WM_DESTROY:
    case WM_NCDESTROY:
        if (Dragging())
            EndOutline(false);
        // A new window (RecreateWnd) gets its region afresh.
        regionSize_ = {-1, -1};
        hotCode_ = -1;
        pressed_ = false;
        trackingLeave_ = false;
        ncCache_.reset();
        break;
    default:
        break;
    }
    CallSaved(m);
}

void TsSkinProvider::BeginUpdateLock()
{
    if (!form_ || !form_->HandleAllocated())
        return;
    skinData_->NotifyMouseEnter();
    // The form heard of the mark: its window may have gone meanwhile.
    if (form_->HandleAllocated())
        SendMessageW(form_->Handle(), WM_SETREDRAW, FALSE, 0);
}

void TsSkinProvider::EndUpdateLock()
{
    if (!form_ || !form_->HandleAllocated())
        return;
    skinData_->NotifyMouseLeave();
    // The form heard of the mark: its window may have gone meanwhile.
    if (form_->HandleAllocated())
        SendMessageW(form_->Handle(), WM_SETREDRAW, TRUE, 0);
}

void TsSkinProvider::NCPaint()
{
    // The compositor draws the windows off screen: an outline drawn on the
    // desktop would not be seen, so the system moves and sizes.
    if (resizeMode_ == rmBorder && DwmCompositionEnabled())
        resizeMode_ = rmStandard;
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    // A minimized form's title is drawn anew each time: what it shows
    // was not kept up to date while it was an icon.
    if (wnd && IsIconic(wnd))
        skinData_->BGChangedFlag = true;
    // Nothing, not even the system's frame, while the form is not on
    // screen, fades in, is read or has not had its skin applied yet.
    if (!Showing() || animatedShow_ || IsLoading() || !systemMenu_)
        return;
    if (!ctrlAdapter_)
        CreateCtrlAdapter();
    // A picture not made yet: the extended border may have come or gone.
    if (!ncCache_)
        if (TsSkinManager* sm = SkinManager())
            SetExtBorders(sm->ExtendedBorders());
    // The menu line is measured once for the skin it shows now.
    if (!mainMenuRefreshed_ && InitMainMenu())
        mainMenuRefreshed_ = true;
    // The frame changed (a skin, a size): its cut-outs are taken again and
    // the region set from them before the frame is drawn into it. A form
    // that is maximized is drawn by the repaint the new region brings.
    const bool sizeable = (GetWindowLongPtrW(wnd, GWL_STYLE) & WS_THICKFRAME) != 0;
    if (!regionBusy_ && ncChanged_ && (form_->BorderStyle() != tw::bsNone || sizeable || IsIconic(wnd))) {
        ncChanged_ = false;
        CollectBorderCutouts();
        regionSize_ = {-1, -1};
        if (IsZoomed(wnd)) {
            if (UpdateFormRegion(true) && !changeLocked_)
                return;
        } else {
            UpdateFormRegion(false);
        }
    }
    // Painted now, the form is at rest; a picture emptied is made anew.
    skinData_->SetActiveState(false);
    if ((ncCache_ && ncCache_->Width() == 0) || (skinData_->CacheBmp() && skinData_->CacheBmp()->Width() == 0))
        skinData_->BGChangedFlag = true;
    if (!changeLocked_) {
        PaintNonClient();
        if (!MenuLineSkinned())
            PaintMenuLine();
    }
}

void TsSkinProvider::InitSysMenuPopup(tw::TMessage& m)
{
    // The drawn frame is sized by the mouse only.
    if (HIWORD(m.LParam))
        EnableMenuItem(reinterpret_cast<HMENU>(m.WParam), SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
    else
        SetSystemMenuUp(false);
    CallSaved(m);
}

void TsSkinProvider::ControlListChange(tw::TMessage& m)
{
    CallSaved(m);
    auto* control = reinterpret_cast<tw::TControl*>(m.WParam);
    // Only an insertion: a control on its way out would take this form's
    // adapter along to wherever it goes.
    if (!control || !m.LParam || form_->IsDestroying() || control->IsDestroying())
        return;
    // A control put on the form while it runs (its window may have been
    // made elsewhere, so no creation notice came) gets its adapter, and it
    // and its children work out again whether they hold others.
    tw::TMessage flag{SM_ALPHACMD, SkinWParam(AC_CONTAINERFLAG), 1, 0};
    if (auto* win = dynamic_cast<tw::TWinControl*>(control)) {
        if (ctrlAdapter_ && win->HandleAllocated())
            ctrlAdapter_->AdaptControls(win);
        BroadcastToChildren(win, flag);
    }
    control->Perform(flag.Msg, flag.WParam, flag.LParam);
}

} // namespace skin
