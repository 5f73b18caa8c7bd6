// The non-client picture: the frame built from the skin and copied to the
// window, the menu line painted from the skin, and the system menu that the
// title icon, the title and Alt+Space pop up.
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

void TsSkinProvider::RedrawPendingMenuItem()
{
    const TacPendingMenuItem* pending = PendingMenuLineItem();
    if (!pending)
        return;
    const TacPendingMenuItem p = *pending;
    HMENU bar = GetMenu(p.Wnd);
    const int count = bar ? GetMenuItemCount(bar) : 0;
    RECT wr{};
    GetWindowRect(p.Wnd, &wr);
    // Where the line has the item now: its captions or the window's width
    // may have changed since it was drawn hot, which moves the items; the
    // place it had then would draw it over its neighbours.
    TRect place;
    for (int pos = 0; pos < count; ++pos) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE;
        if (!GetMenuItemInfoW(bar, UINT(pos), TRUE, &mi) || tw::TMenuItem::FromOwnerDraw(mi.wID, mi.dwItemData) != p.Item)
            continue;
        // The system still holds the item open (its menu is up): the look it
        // gave the item is the right one, and it draws the item normal itself
        // when the menu closes.
        if (mi.fState & MFS_HILITE)
            return;
        RECT r{};
        if (GetMenuItemRect(p.Wnd, bar, UINT(pos), &r))
            place = TRect(r.left - wr.left, r.top - wr.top, r.right - wr.left, r.bottom - wr.top);
        break;
    }
    // The item under the mouse keeps the look the system gave it.
    POINT cursor;
    if (GetCursorPos(&cursor) && cursor.x >= wr.left + place.Left && cursor.x < wr.left + place.Right &&
        cursor.y >= wr.top + place.Top && cursor.y < wr.top + place.Bottom)
        return;
    ClearPendingMenuLineItem();
    // An item no longer on the line has nothing to draw.
    if (place.Right <= place.Left || place.Bottom <= place.Top)
        return;
    auto* menu = static_cast<tw::TMainMenu*>(p.Item->ParentItem()->GetParentMenu());
    if (TsSkinProvider* provider = FindProvider(menu->Form()))
        provider->RedrawMenuItem(p.Item, place);
}

void TsSkinProvider::RedrawMenuItem(tw::TMenuItem* item, const TRect& windowRect)
{
    if (!drawNonClient_ || !MenuLineSkinned() || !ncCache_ || skinData_->BGChangedFlag)
        return;
    const TMeasures ms = Measure();
    if (ncCache_->Width() != ms.Width || ncCache_->Height() != ms.Height)
        return;
    // The picture is larger than the window by the extended border.
    const TRect f = ExtActive() ? ExtendedFrame() : TRect();
    TRect r(windowRect.Left + f.Left, windowRect.Top + f.Top, windowRect.Right + f.Left, windowRect.Bottom + f.Top);
    TRect shown(std::max(r.Left, ms.MenuRect.Left), std::max(r.Top, ms.MenuRect.Top),
                std::min(r.Right, ms.MenuRect.Right), std::min(r.Bottom, ms.MenuRect.Bottom));
    if (shown.Right <= shown.Left || shown.Bottom <= shown.Top)
        return;
    HDC dc = ncCache_->Canvas().Handle();
    UINT state = kMenuLineState | ODS_NOFOCUSRECT;
    if (!item->Enabled())
        state |= ODS_DISABLED | ODS_GRAYED;
    tw::TCanvas canvas;
    canvas.SetHandle(dc);
    {
        tw::TSavedDCState keep(dc);
        IntersectClipRect(dc, shown.Left, shown.Top, shown.Right, shown.Bottom);
        TsSkinableMenus::Of(SkinManager())->DrawItem(item, canvas, r, state);
    }
    canvas.SetHandle(nullptr);
    TWindowDC wdc(form_->Handle());
    BitBlt(wdc.Handle(), shown.Left - f.Left, shown.Top - f.Top, shown.Width(), shown.Height(), dc, shown.Left,
           shown.Top, SRCCOPY);
}

bool TsSkinProvider::CacheOutdated(const TMeasures& ms) const
{
    return !ncCache_ || captionDirty_ || skinData_->BGChangedFlag || ncCache_->Width() != ms.Width ||
           ncCache_->Height() != ms.Height;
}

bool TsSkinProvider::OnlyTitleChanged(const TMeasures& ms) const
{
    // A colour of the form's own may have changed: its client goes with it.
    if (!skinData_->BGChangedFlag || captionDirty_ || borderForm_ || !ncCache_ || !titleBg_ || skinData_->CustomColor() ||
        form_->BorderStyle() == tw::bsNone || ms.Border + ms.Title <= 0)
        return false;
    if (titleBg_->Width() != ms.Width || ncCache_->Width() != ms.Width || ncCache_->Height() != ms.Height)
        return false;
    const TsSkinManager* sm = SkinManager();
    if (!sm || !sm->SkinIndexValid(skinData_->SkinIndex))
        return false;
    // A border with a picture per state, or a client that looks otherwise
    // while the form is active, changes beyond the title.
    if (sm->MaskIndexValid(skinData_->BorderIndex) && sm->ma[size_t(skinData_->BorderIndex)].ImageCount > 1)
        return false;
    const TsGeneralData& s = sm->gd[size_t(skinData_->SkinIndex)];
    return s.Color == s.HotColor && s.ImagePercent == s.HotImagePercent && s.GradientPercent == s.HotGradientPercent;
}

void TsSkinProvider::PaintTitle(const TMeasures& ms)
{
    TsSkinManager* sm = SkinManager();
    tw::TBitmap& bmp = *ncCache_;
    const int titleBottom = ms.Border + ms.Title;
    const std::string titleSection = titleSkin_.empty() ? std::string("FORMTITLE") : titleSkin_;
    tw::TBitmap title(ms.Width, titleBottom, tw::pf24bit);
    PaintItemByName(title, titleSection, "", formActive_ ? 1 : 0, sm, {0, 0}, ColorToRGB(clSysBtnFace), nullptr);
    BitBlt(bmp.Canvas().Handle(), 0, 0, ms.Width, titleBottom, title.Canvas().Handle(), 0, 0, SRCCOPY);

    PaintAppIcon(bmp, IconRect(ms), titleBottom);
    PaintTitleBarMask(bmp, ms);

    PaintCaptionText(ms);
    // The strip behind the buttons is kept, then the buttons in their states.
    SaveTitleBackground(titleBottom);
    SaveButtonsBackground(titleBottom);
    PaintCaptionButtons();
}

void TsSkinProvider::PaintTitleOnly(const TMeasures& ms)
{
    // The title's own background first: what the title section leaves
    // clear shows what lay there before, not the last state's pieces.
    BitBlt(ncCache_->Canvas().Handle(), 0, 0, titleBg_->Width(), titleBg_->Height(), titleBg_->Canvas().Handle(), 0, 0,
           SRCCOPY);
    buttonsBg_.reset();
    PaintTitle(ms);
}

void TsSkinProvider::PaintAll(const TMeasures& ms)
{
    TsSkinManager* sm = SkinManager();
    PlaceCaptionButtons(ms);
    // Only the activation or the buttons changed: the borders and the
    // client part of the picture stay as they are.
    if (OnlyTitleChanged(ms)) {
        if (drawNonClient_)
            PaintTitleOnly(ms);
        captionDirty_ = false;
        skinData_->BGChangedFlag = false;
        return;
    }
    captionDirty_ = false;
    const bool made = !ncCache_;
    if (made)
        ncCache_ = std::make_unique<tw::TBitmap>(ms.Width, ms.Height, tw::pf24bit);
    else
        ncCache_->SetSize(ms.Width, ms.Height);
    tw::TBitmap& bmp = *ncCache_;
    const TColor face = ColorToRGB(clSysBtnFace);
    PaintItemByName(bmp, skinData_->SkinSection(), "", formActive_ ? 1 : 0, sm, {0, 0}, face, nullptr);
    const int titleBottom = ms.Border + ms.Title;
    titleBg_.reset();
    buttonsBg_.reset();
    if (form_->BorderStyle() != tw::bsNone && titleBottom > 0)
        PaintTitle(ms);
    skinData_->BGChangedFlag = false;
    PaintOwnerIntoPicture(ms);
    if (made) {
        // A new picture: the form and its controls work out again whether
        // they take their background from it. Told once the picture is
        // whole, so a control that asks for its piece gets this one.
        skinData_->UpdateContainerFlag(false);
        if (!form_->IsLoading()) {
            tw::TMessage flag{SM_ALPHACMD, SkinWParam(AC_CONTAINERFLAG), 1, 0};
            BroadcastToChildren(form_, flag);
        }
    }
}

void TsSkinProvider::PaintOwnerIntoPicture(const TMeasures& ms)
{
    // What the form draws itself belongs to its background: the controls
    // that take their piece of the picture show it behind them too.
    if (!form_->OnPaint || !ncCache_ || !skinData_->HotStateAllowed() || ms.Client.Right <= ms.Client.Left ||
        ms.Client.Bottom <= ms.Client.Top)
        return;
    HDC dc = ncCache_->Canvas().Handle();
    // Finished only once the form has drawn: a handler that throws leaves
    // the picture to be made again, and its origin and clipping as they were.
    struct TUnfinished {
        TsCommonData& Link;
        bool Done = false;
        ~TUnfinished()
        {
            if (!Done)
                Link.BGChangedFlag = true;
        }
    } unfinished{*skinData_};
    {
        tw::TSavedDCState keep(dc);
        OffsetViewportOrgEx(dc, ms.Client.Left, ms.Client.Top, nullptr);
        IntersectClipRect(dc, 0, 0, ms.Client.Right - ms.Client.Left, ms.Client.Bottom - ms.Client.Top);
        RunOnPaint(dc);
    }
    unfinished.Done = true;
}

void TsSkinProvider::PaintNonClient()
{
    if (!skinned_ || !drawNonClient_ || changeLocked_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0)
        return;
    if (CacheOutdated(ms)) {
        PaintAll(ms);
        // The picture is whole again: the controls may paint from it.
        skinData_->SetActiveState(false);
    } else {
        // The same picture; only the button states may have changed.
        PlaceCaptionButtons(ms);
        PaintCaptionButtons();
    }
    // An animated show is rendering its picture: the screen waits for it.
    if (AnimPaintDC)
        return;
    if (ExtActive()) {
        // The title and frame are on the extended border; the form keeps
        // only its menu line between the title and the client.
        if (MenuLineSkinned() && ms.MenuRect.Right > ms.MenuRect.Left) {
            PaintSkinnedMenuLine(ms);
            const TRect f = ExtendedFrame();
            TWindowDC wdc(wnd);
            BitBlt(wdc.Handle(), ms.MenuRect.Left - f.Left, ms.MenuRect.Top - f.Top, ms.MenuRect.Right - ms.MenuRect.Left,
                   ms.MenuRect.Bottom - ms.MenuRect.Top, ncCache_->Canvas().Handle(), ms.MenuRect.Left,
                   ms.MenuRect.Top, SRCCOPY);
        }
        UpdateBorderWindow(borderForm_->Alpha());
        firstPainted_ = true;
        return;
    }
    TWindowDC wdc(wnd);
    HDC dc = wdc.Handle();
    if (!dc)
        return;
    ExcludeClipRect(dc, ms.Client.Left, ms.Client.Top, ms.Client.Right, ms.Client.Bottom);
    // The menu line is the system's unless the menus are drawn from the skin.
    if (MenuLineSkinned())
        PaintSkinnedMenuLine(ms);
    else if (ms.MenuRect.Right > ms.MenuRect.Left)
        ExcludeClipRect(dc, ms.MenuRect.Left, ms.MenuRect.Top, ms.MenuRect.Right, ms.MenuRect.Bottom);
    BitBlt(dc, 0, 0, ms.Width, ms.Height, ncCache_->Canvas().Handle(), 0, 0, SRCCOPY);
    firstPainted_ = true;
}

void TsSkinProvider::PaintMenuLine()
{
    const TMeasures ms = Measure();
    if (ms.MenuRect.Right <= ms.MenuRect.Left)
        return;
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    // The system paints its non-client area only inside the region given:
    // here the menu line alone, the skinned frame around it stays.
    HRGN rgn = CreateRectRgn(wr.left + ms.MenuRect.Left, wr.top + ms.MenuRect.Top, wr.left + ms.MenuRect.Right,
                             wr.top + ms.MenuRect.Bottom);
    tw::TMessage paint{WM_NCPAINT, reinterpret_cast<WPARAM>(rgn), 0, 0};
    CallSaved(paint);
    DeleteObject(rgn);
}

bool TsSkinProvider::MenuVisible() const
{
    if (!form_ || form_->BorderStyle() == tw::bsDialog)
        return false;
    tw::TMainMenu* menu = form_->Menu();
    if (!menu)
        return false;
    for (int i = 0; i < menu->Items()->Count(); ++i)
        if (menu->Items()->Items(i)->Visible())
            return true;
    return false;
}

int TsSkinProvider::MenuRows() const
{
    if (!MenuVisible() || !form_->HandleAllocated())
        return 1;
    if (menuRows_ > 0)
        return menuRows_;
    HWND wnd = form_->Handle();
    HMENU bar = GetMenu(wnd);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int border = FormBorderWidth(false);
    // The line breaks where the next item no longer fits beside the others.
    const int room = (wr.right - wr.left) - 2 * border;
    int rows = 1, x = border;
    const int count = bar ? GetMenuItemCount(bar) : 0;
    for (int pos = 0; pos < count; ++pos) {
        RECT r;
        if (!GetMenuItemRect(wnd, bar, UINT(pos), &r))
            continue;
        const int width = r.right - r.left;
        if (width <= 0)
            continue;
        if (x + width > room && x > border) {
            ++rows;
            x = border;
        }
        x += width;
    }
    menuRows_ = rows;
    return rows;
}

bool TsSkinProvider::MenuLineSkinned() const
{
    tw::TMainMenu* menu = form_ ? form_->Menu() : nullptr;
    TsSkinManager* sm = SkinManager();
    if (!skinned_ || !drawNonClient_ || !menu || !sm || sm != DefaultManager)
        return false;
    TsSkinableMenus* service = TsSkinableMenus::Of(sm);
    return service->Active() && service->Prepared(menu);
}

void TsSkinProvider::PaintSkinnedMenuLine(const TMeasures& ms)
{
    tw::TMainMenu* menu = form_->Menu();
    TsSkinManager* sm = SkinManager();
    if (!menu || !sm || !ncCache_ || ms.MenuRect.Right <= ms.MenuRect.Left)
        return;
    HDC dc = ncCache_->Canvas().Handle();
    const std::string section = MenuLineSection();
    int line = sm->GetSkinIndex(section);
    TCacheInfo ci;
    ci.FillColor = form_->Color();
    if (sm->SkinIndexValid(line))
        PaintItemToDC(line, section, ci, true, 0, ms.MenuRect, {0, 0}, dc, sm);
    else
        FillDC(dc, ms.MenuRect, form_->Color());
    HWND wnd = form_->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    HMENU bar = GetMenu(wnd);
    TsSkinableMenus* service = TsSkinableMenus::Of(sm);
    tw::TCanvas canvas;
    canvas.SetHandle(dc);
    tw::TSavedDCState keep(dc);
    IntersectClipRect(dc, ms.MenuRect.Left, ms.MenuRect.Top, ms.MenuRect.Right, ms.MenuRect.Bottom);
    const int count = bar ? GetMenuItemCount(bar) : 0;
    for (int pos = 0; pos < count; ++pos) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE | MIIM_FTYPE;
        RECT r;
        if (!GetMenuItemInfoW(bar, UINT(pos), TRUE, &mi) || !(mi.fType & MFT_OWNERDRAW) ||
            !GetMenuItemRect(wnd, bar, UINT(pos), &r))
            continue;
        tw::TMenuItem* item = tw::TMenuItem::FromOwnerDraw(mi.wID, mi.dwItemData);
        if (!item)
            continue;
        // In the extended picture the window starts further in.
        const TRect f = ExtActive() ? ExtendedFrame() : TRect();
        const TRect ir(r.left - wr.left + f.Left, r.top - wr.top + f.Top, r.right - wr.left + f.Left,
                       r.bottom - wr.top + f.Top);
        UINT state = kMenuLineState | ODS_NOFOCUSRECT;
        if (mi.fState & MFS_DISABLED)
            state |= ODS_DISABLED | ODS_GRAYED;
        service->DrawItem(item, canvas, ir, state);
    }
    canvas.SetHandle(nullptr);
}

void TsSkinProvider::CopyMenuLineEnd(tw::TCanvas& canvas)
{
    constexpr int kStripWidth = 60;
    HDC dc = canvas.Handle();
    if (!dc || !ncCache_ || !form_ || !form_->HandleAllocated())
        return;
    const TRect margins = ExtBorderMargins();
    const int left = FormBorderWidth(true) + form_->Width() - kStripWidth - margins.Right;
    const int top = TitleBarHeight(true) + margins.Top;
    const int height = GetSystemMetrics(SM_CYMENU) + 3;
    // The strip may reach past the picture's edges (a narrow form, a wide
    // border): reading beyond them would copy whatever the bitmap's memory
    // holds, so only the part inside is taken.
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = std::min(left + kStripWidth, ncCache_->Width());
    const int y1 = std::min(top + height, ncCache_->Height());
    if (x1 <= x0 || y1 <= y0)
        return;
    BitBlt(dc, x0 - left, y0 - top, x1 - x0, y1 - y0, ncCache_->Canvas().Handle(), x0, y0, SRCCOPY);
}

void TsSkinProvider::ShowSystemMenuUnderIcon()
{
    const TMeasures ms = Measure();
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    // The menu belongs to the title: where the screen ends below it (a
    // minimized form at the bottom), it opens above the title, not over it.
    const RECT title{wr.left, wr.top, wr.right, wr.top + ms.Border + ms.Title};
    ShowSystemMenu(wr.left + ms.Border, wr.top + ms.Border + ms.Title, &title);
}

void TsSkinProvider::ShowSystemMenu(int x, int y, const RECT* title)
{
    if (!form_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    TsSkinManager* sm = SkinManager();
    if (systemMenu_ && sm && sm->SkinnedPopups()) {
        systemMenu_->UpdateItems();
        if (makeSkinMenu_ && systemMenu_->Items()->Count() > 0)
            systemMenu_->MakeSkinItems();
        if (sm == DefaultManager)
            TsSkinableMenus::Of(sm)->PrepareMenu(systemMenu_, TsSkinableMenus::Of(sm)->Active());
        SetSystemMenuUp(true);
        systemMenu_->Popup(x, y, title);
        return;
    }
    // The system's own menu, its commands set by what the drawn frame
    // allows; with the window marked invisible the system draws no caption
    // while it prepares the menu.
    HMENU menu = GetSystemMenu(wnd, FALSE);
    if (!menu)
        return;
    // Asked while the window is still visible: a hidden form answers with
    // the state it was last given, not the one the window is in (a form
    // maximized by its button or by the system would offer Maximize).
    TsSystemMenu probe(nullptr);
    probe.SetForm(form_);
    const std::pair<UINT, bool> commands[] = {
        {SC_RESTORE, probe.RestoreAllowed()},
        {SC_MOVE, !IsZoomed(wnd) && !IsIconic(wnd)},
        {SC_SIZE, probe.SizeAllowed()},
        {SC_MINIMIZE, probe.VisibleMin() && probe.EnabledMin()},
        {SC_MAXIMIZE, probe.VisibleMax() && probe.EnabledMax()},
        {SC_CLOSE, probe.VisibleClose()},
    };
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
    for (const auto& [command, on] : commands)
        EnableMenuItem(menu, command, MF_BYCOMMAND | (on ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | (style & WS_VISIBLE));
    const UINT cmd = tw::TrackMenuKeepingClear(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, wnd, title);
    if (cmd)
        PostMessageW(wnd, WM_SYSCOMMAND, cmd, 0);
}

bool TsSkinProvider::SecondClickOnIcon()
{
    // A double click on the icon closes the form: the menu waits that long
    // for a second click, which is left in the queue (nothing is dispatched
    // meanwhile, so the form cannot go away under us). The manager may have
    // the menu open at once. Only the double click itself counts: the
    // release of this very click is on its way too.
    sysMenuDoubleClick_ = false;
    const TsSkinManager* sm = SkinManager();
    if (sm && sm->NoSystemMenuWait)
        return false;
    HWND wnd = form_->Handle();
    const DWORD start = GetTickCount();
    MSG next;
    while (GetTickCount() - start < 200) {
        if (PeekMessageW(&next, wnd, WM_NCLBUTTONDBLCLK, WM_NCLBUTTONDBLCLK, PM_NOREMOVE)) {
            sysMenuDoubleClick_ = true;
            break;
        }
        Sleep(10);
    }
    return sysMenuDoubleClick_;
}

bool TsSkinProvider::SystemMenuMessage(tw::TMessage& m)
{
    if (!form_->HandleAllocated() || form_->BorderStyle() == tw::bsNone)
        return false;
    // The right button's press on the title or the icon is not passed on,
    // whoever draws the frame: the system would open its own menu there
    // (or wait in a loop of its own for the release); the skinned menu
    // comes with the release.
    if (m.Msg == WM_NCRBUTTONDOWN) {
        if (int(m.WParam) != htCaption && int(m.WParam) != htSysMenu)
            return false;
        m.Result = 0;
        return true;
    }
    if (!drawNonClient_)
        return false;
    switch (m.Msg) {
    case WM_NCLBUTTONDOWN: {
        if (int(m.WParam) != htSysMenu || Dragging())
            return false;
        SetHotButton(0);
        if (!SecondClickOnIcon())
            ShowSystemMenuUnderIcon();
        m.Result = 0;
        return true;
    }
    case WM_NCLBUTTONDBLCLK:
        if (int(m.WParam) == htSysMenu)
            sysMenuDoubleClick_ = true;
        return false;
    default:
        return false;
    }
}

} // namespace skin
