// The client area of a skinned form: its background from the form's picture,
// the answer to the controls that take their parent's background, and the
// rows of the window procedure that keep the controls on the client in step
// (children made or destroyed, a tab page changed, a speed button entered).
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Buttons.h"
#include "ui/Guards.h"
#include "ui/Menus.h"

namespace skin {

namespace {

// The system's "system menu on the taskbar button" request.
constexpr UINT WM_TASKBARMENU = 0x0313;

} // namespace

TColor TsSkinProvider::FormColor() const
{
    const TsSkinManager* sm = SkinManager();
    if (skinned_ && sm && !skinData_->CustomColor() && sm->SkinIndexValid(skinData_->SkinIndex)) {
        const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
        return formActive_ ? s.HotColor : s.Color;
    }
    return form_ ? TColor(tw::ColorToRGB(form_->Color())) : TColor(tw::ColorToRGB(tw::clBtnFace));
}

bool TsSkinProvider::ClientHasPicture() const
{
    const TsSkinManager* sm = SkinManager();
    if (!skinned_ || !sm || skinData_->CustomColor() || !sm->SkinIndexValid(skinData_->SkinIndex))
        return false;
    // The client is painted in the state of the title: the active form in
    // the section's hot values.
    const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
    const int gradient = formActive_ ? s.HotGradientPercent : s.GradientPercent;
    const int image = formActive_ ? s.HotImagePercent : s.ImagePercent;
    return gradient + image > 0;
}

namespace {

// The window's size less its client's.
SIZE NonClientSize(HWND wnd)
{
    RECT wr{}, cr{};
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    return SIZE{(wr.right - wr.left) - cr.right, (wr.bottom - wr.top) - cr.bottom};
}

} // namespace

int TsSkinProvider::ClientOriginX() const
{
    if (!form_ || !form_->HandleAllocated())
        return 0;
    if (ExtActive())
        return Measure().Client.Left;
    // The frame is as wide on both sides; a vertical scroll bar the form's
    // adapter shows takes room on one side only.
    const int bar = formAdapter_ && formAdapter_->ShowsVertical() ? formAdapter_->VerticalWidth() : 0;
    return (NonClientSize(form_->HandleIfAllocated()).cx - bar) / 2;
}

int TsSkinProvider::ClientOriginY() const
{
    if (!form_ || !form_->HandleAllocated())
        return 0;
    if (ExtActive())
        return Measure().Client.Top;
    const HWND wnd = form_->HandleIfAllocated();
    // Everything above the client: what is not the bottom border nor a
    // horizontal scroll bar the form's adapter shows.
    const int bottom = (GetWindowLongPtrW(wnd, GWL_STYLE) & WS_BORDER) ? ClientOriginX() : 0;
    const int bar = formAdapter_ && formAdapter_->ShowsHorizontal() ? formAdapter_->HorizontalHeight() : 0;
    return NonClientSize(wnd).cy - bottom - bar;
}

tw::TBitmap* TsSkinProvider::ClientPicture(bool* rebuilt)
{
    if (rebuilt)
        *rebuilt = false;
    if (!skinned_ || !form_ || !form_->HandleAllocated() || form_->IsDestroying())
        return nullptr;
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0)
        return nullptr;
    const bool outdated = CacheOutdated(ms);
    // While the form is being updated the picture of before stands in.
    if (outdated && (!skinData_->Updating || !ncCache_)) {
        PaintAll(ms);
        if (rebuilt)
            *rebuilt = true;
    }
    if (!ncCache_ || ncCache_->Width() < ms.Client.Right || ncCache_->Height() < ms.Client.Bottom)
        return nullptr;
    return ncCache_.get();
}

void TsSkinProvider::PaintClient(HDC dc, bool notify)
{
    if (!dc || !form_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    RECT cr;
    GetClientRect(wnd, &cr);
    bool rebuilt = false;
    tw::TBitmap* picture = ClientHasPicture() ? ClientPicture(&rebuilt) : nullptr;
    if (picture) {
        const TMeasures ms = Measure();
        // The graphic controls are painted over their own piece of the
        // background below: the picture is not laid under them first, so a
        // screen DC does not show the background flash where they stand.
        const int saved = SaveDC(dc);
        ExcludeControls(dc, form_, 0, 0);
        BitBlt(dc, 0, 0, cr.right, cr.bottom, picture->Canvas().Handle(), ms.Client.Left, ms.Client.Top, SRCCOPY);
        RestoreDC(dc, saved);
    } else {
        FillDC(dc, TRect(cr.left, cr.top, cr.right, cr.bottom), FormColor());
    }
    PaintGrip(dc);
    PaintGraphicChildren(dc, form_, TPoint(0, 0));
    // The windowed children drew themselves over the background they took
    // before: they take it again, and so do the controls the adapter holds
    // (also those that are not the form's own children).
    if (notify || rebuilt)
        RefreshChildren(form_);
    if (notify && ctrlAdapter_) {
        tw::TMessage refresh{SM_ALPHACMD, SkinWParam(AC_REFRESHSTATE), 0, 0};
        ctrlAdapter_->SkinMessage(refresh);
    }
}

void TsSkinProvider::EraseBackground(HDC dc)
{
    if (!form_ || form_->IsDestroying() || !form_->HandleAllocated() || changeLocked_)
        return;
    HWND wnd = form_->Handle();
    if (dc) {
        PaintClient(dc, true);
        return;
    }
    tw::TWindowDC own(wnd);
    if (own)
        PaintClient(own, true);
}

void TsSkinProvider::RunOnPaint(HDC dc)
{
    if (!form_->OnPaint || redrawCount_ > 0)
        return;
    // The handler draws through the form's own canvas, here on whatever the
    // form is being painted into (the screen, a print, the skin's picture).
    tw::TCanvasAttachment attached(form_->Canvas(), dc, form_->Font(), form_->Color());
    form_->OnPaint(form_);
}

void TsSkinProvider::PaintForm(tw::TMessage& m)
{
    // The form is being painted as a copy of itself (into another control's
    // picture): that copy is drawn elsewhere, nothing of it here.
    if (form_->ControlState() & tw::csPaintCopy)
        return;
    HWND wnd = form_->Handle();
    m.Result = 0;
    if (changeLocked_) {
        // Drawn once the change is over; what is drawn now would be half the
        // old skin and half the new one.
        ValidateRect(wnd, nullptr);
        return;
    }
    if (!Showing()) {
        // A hidden window that still draws itself somewhere: a layered one
        // or one behind its extended border.
        if (!skinData_->HotStateAllowed() || borderForm_ || (GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED))
            CallSaved(m);
        return;
    }
    if (!skinData_->HotStateAllowed()) {
        // A container whose look waits for its focus: the background comes
        // with the erase; this paint only takes the dirty area away.
        if (form_->IsDestroying())
            return;
        if (skinData_->BGChangedFlag)
            InvalidateRect(wnd, nullptr, FALSE);
        PAINTSTRUCT ps;
        BeginPaint(wnd, &ps);
        EndPaint(wnd, &ps);
        if (form_->OnPaint) {
            tw::TWindowDC client(wnd);
            if (client)
                RunOnPaint(client);
        }
        return;
    }
    if (HDC given = reinterpret_cast<HDC>(m.WParam)) {
        PaintClient(given, false);
        RunOnPaint(given);
        return;
    }
    RECT cr;
    GetClientRect(wnd, &cr);
    // The erase BeginPaint asks for is the provider's own and left out.
    inOwnPaint_ = true;
    tw::TPaintDC paint(wnd);
    inOwnPaint_ = false;
    const RECT& dirty = paint.PaintRect();
    HDC dc = paint.Handle();
    if (dc && cr.right > 0 && cr.bottom > 0) {
        // Off screen first: the background, the owner's drawing and the
        // graphic controls reach the screen together, without flicker.
        tw::TBitmap buffer(cr.right, cr.bottom, tw::pf24bit);
        HDC mem = buffer.Canvas().Handle();
        PaintClient(mem, false);
        RunOnPaint(mem);
        BitBlt(dc, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, mem, dirty.left, dirty.top, SRCCOPY);
    }
}

void TsSkinProvider::AnswerBGInfo(TacBGInfo& info)
{
    tw::TBitmap* picture = ClientHasPicture() ? ClientPicture() : nullptr;
    if (!picture) {
        info.BgType = btFill;
        info.Color = FormColor();
        if (info.PleaseDraw && info.DrawDC)
            FillDC(HDC(info.DrawDC), info.R, info.Color);
        return;
    }
    const TMeasures ms = Measure();
    info.BgType = btCache;
    if (info.PleaseDraw) {
        // The caller's offset is a place on the client.
        if (info.DrawDC)
            BitBlt(HDC(info.DrawDC), info.R.Left, info.R.Top, info.R.Width(), info.R.Height(),
                   picture->Canvas().Handle(), info.OffsetX + ms.Client.Left, info.OffsetY + ms.Client.Top, SRCCOPY);
        return;
    }
    info.Bmp = picture->PixelView();
    info.OffsetX = ms.Client.Left;
    info.OffsetY = ms.Client.Top;
}

bool TsSkinProvider::ClientMessage(tw::TMessage& m)
{
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    switch (m.Msg) {
    case WM_ERASEBKGND:
        if (!Showing() || !wnd) {
            CallSaved(m);
            return true;
        }
        // The provider's own paint covers the whole client.
        if (!inOwnPaint_)
            EraseBackground(reinterpret_cast<HDC>(m.WParam));
        m.Result = 1;
        return true;
    case WM_PAINT:
        PaintForm(m);
        return true;
    case WM_PARENTNOTIFY: {
        const UINT event = LOWORD(m.WParam);
        CallSaved(m);
        if (IsLoading() || form_->IsLoading() || (event != WM_CREATE && event != WM_DESTROY))
            return true;
        if (event == WM_CREATE && ctrlAdapter_)
            ctrlAdapter_->AdaptControls();
        // A new control may be the first that needs the form's picture.
        tw::TMessage flag{SM_ALPHACMD, SkinWParam(AC_CONTAINERFLAG), 1, 0};
        BroadcastToChildren(form_, flag);
        if (drawNonClient_ && formAdapter_)
            formAdapter_->UpdateScrollState(true);
        return true;
    }
    case WM_NOTIFY:
        CallSaved(m);
        // A tab control's new page shows controls that were not adapted yet.
        if (m.LParam && reinterpret_cast<const NMHDR*>(m.LParam)->code == UINT(TCN_SELCHANGE) && ctrlAdapter_)
            ctrlAdapter_->AdaptControls();
        return true;
    case tw::CM_MOUSEENTER: {
        CallSaved(m);
        // One hot speed button at a time: the mouse entered another control.
        auto* entered = reinterpret_cast<tw::TControl*>(m.LParam);
        for (int i = 0; i < form_->ControlCount(); ++i) {
            auto* button = dynamic_cast<tw::TSpeedButton*>(form_->Controls(i));
            if (!button || button == entered || !AskControl(button, AC_QUERYSKINNED))
                continue;
            if (SendSkinCommandToControl(button, AC_QUERYACTIVE) == 1)
                button->Perform(tw::CM_MOUSELEAVE, 0, 0);
        }
        return true;
    }
    case WM_EXITSIZEMOVE:
        CallSaved(m);
        if (borderForm_) {
            // The moved window may have covered the extended border of a
            // modal window: every skinned window looks at its own again.
            ForEachDialogProvider([](TacProvider& dialog) {
                if (IsWindow(dialog.Handle))
                    SendSkinCommand(dialog.Handle, AC_RESETCACHE);
            });
            for (tw::TCustomForm* f : std::vector<tw::TCustomForm*>(SkinnedForms()))
                if (f->HandleAllocated() && f != form_)
                    SendSkinCommand(f->Handle(), AC_RESETCACHE);
            if (form_->Modal())
                UpdateBorderWindow(255);
        }
        return true;
    case WM_TASKBARMENU: {
        const TPoint p = GetMousePos();
        ShowSystemMenu(p.X, p.Y);
        return true;
    }
    case WM_SYSCOLORCHANGE:
        CallSaved(m);
        // The menu line takes the new system colours where the skin has none.
        if (tw::TMainMenu* menu = form_->Menu(); menu && SkinManager() == DefaultManager && DefaultManager) {
            TsSkinableMenus* service = TsSkinableMenus::Of(DefaultManager);
            service->PrepareMainMenu(menu, service->Active() && drawNonClient_);
        }
        skinData_->BGChangedFlag = true;
        return true;
    default:
        return false;
    }
}

} // namespace skin
