// The dialog adapter's frame and caption: the dialog's state and measures,
// the frame picture with its title, icon and text, the window region, the
// hit test of the drawn frame, and the client background the children take.
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
#include "skin/engine/link/BorderPaintingWin.h"
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

TacDialogWnd::TacDialogWnd(HWND wnd, TsSkinManager* manager)
    : TacScrollWnd(wnd, manager, "DIALOG", "TacDialogWnd")
{
    // From version 7 on the system paints a dialog's client itself; only
    // dialogs with fields (which clear the flag) are painted by their own
    // procedure.
    PaintSuppressed = PlatformAnswers().MajorVersion() >= 7;
    style_ = GetWindowLongPtrW(wnd, GWL_STYLE);
    exStyle_ = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    sysMenu_ = std::make_unique<TacSystemMenu>(nullptr, this);
    sysMenu_->UpdateItems();
    skinActive_ = true;
    if (DwmCompositionEnabled())
        SetDwmTransitions(wnd, true);
    if (manager_ && manager_->SkinnedPopups())
        if (TsSkinableMenus* menus = TsSkinableMenus::Of(manager_); menus && menus->Active())
            menus->PrepareMenu(sysMenu_.get(), true);
}

TacDialogWnd::~TacDialogWnd()
{
    FreeButtonAnimations();
    // A halo of this dialog's buttons must not stay on the screen.
    ClearGlows();
    SetExtendedBorders(false);
    const HWND wnd = Handle();
    const bool ends = Unsubclassed();
    Unsubclass(false);
    if (!ends && IsWindow(wnd)) {
        if (sysMenuRemoved_)
            SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_SYSMENU);
        InitializeFlatScrollBars(wnd);
        // The system's frame back, with nothing of the skin left.
        SetWindowRgn(wnd, nullptr, FALSE);
        SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }
    if (clientBrush_)
        DeleteObject(clientBrush_);
    TacSystemMenu::Release(std::move(sysMenu_));
}

void TacDialogWnd::InitDialogState()
{
    const HWND wnd = Handle();
    // Taken again, a copy keeps the system menu this adapter took away.
    style_ = GetWindowLongPtrW(wnd, GWL_STYLE) | (sysMenuRemoved_ ? LONG_PTR(WS_SYSMENU) : 0);
    exStyle_ = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    if ((style_ & WS_POPUP) && !Has(style_, WS_CAPTION))
        borderKind_ = 2;
    else if (style_ & WS_THICKFRAME)
        borderKind_ = 3;
    else if (style_ & DS_MODALFRAME)
        borderKind_ = 0;
    else
        borderKind_ = 3;
    // The title shows the window's small icon, else its big one made small.
    iconHandle_ = reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_SMALL, 0));
    if (!iconHandle_)
        iconHandle_ = reinterpret_cast<HICON>(SendMessageW(wnd, WM_GETICON, ICON_BIG, 0));
    // A dialog without an icon of its own (the system's file and message
    // dialogs) is the program's: its title shows the program's icon, not
    // the system's blank page.
    if (!iconHandle_ && tw::Application)
        iconHandle_ = reinterpret_cast<HICON>(SendMessageW(tw::Application->Handle(), WM_GETICON, ICON_SMALL2, 0));
    iconBitmap_.reset();
    if (iconHandle_) {
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        iconBitmap_ = std::make_unique<tw::TBitmap>(cx, cy, tw::pf24bit);
        const RECT all{0, 0, cx, cy};
        TSolidBrush key;
        FillRect(iconBitmap_->Canvas().Handle(), &all, key.Of(RGB(255, 0, 255)));
        DrawTitleIcon(iconBitmap_->Canvas().Handle(), TRect(0, 0, cx, cy));
    }
    captionFont_.reset();
    if (HFONT font = CreateCaptionFont()) {
        LOGFONTW lf{};
        GetObjectW(font, sizeof(lf), &lf);
        DeleteObject(font);
        lf.lfWeight = FW_BOLD;
        if (HFONT bold = CreateFontIndirectW(&lf))
            captionFont_ = std::make_unique<TGdiObject>(bold);
    }
    if (sysMenu_)
        sysMenu_->UpdateItems();
    // Without a system menu the system draws no caption buttons of its own
    // (a repaint of the frame it runs on its own would show them over the
    // skin's); the buttons and the menu go by the copies taken above.
    if (const LONG_PTR live = GetWindowLongPtrW(wnd, GWL_STYLE); live & WS_SYSMENU) {
        SetWindowLongPtrW(wnd, GWL_STYLE, live & ~LONG_PTR(WS_SYSMENU));
        sysMenuRemoved_ = true;
    }
    LoadTitleButtonMasks();
}

bool TacDialogWnd::MaximizeEnabled() const
{
    return (style_ & WS_MAXIMIZEBOX) && !IsZoomed(Handle()) &&
           (borderKind_ == 1 || borderKind_ == 3 || borderKind_ == 5);
}

bool TacDialogWnd::RestoreEnabled() const
{
    // A minimized dialog is always given back its place, also one that
    // cannot be maximized: its minimize box put it down there.
    return IsIconic(Handle()) || ((style_ & WS_MAXIMIZEBOX) && IsZoomed(Handle()));
}

bool TacDialogWnd::MinimizeEnabled() const { return (style_ & WS_MINIMIZEBOX) && !IsIconic(Handle()); }

bool TacDialogWnd::CloseEnabled() const { return !(GetClassLongPtrW(Handle(), GCL_STYLE) & CS_NOCLOSE); }

bool TacDialogWnd::SkinShown() const
{
    return manager_ && manager_->Active() && manager_->SkinIndexValid(manager_->GetSkinIndex("DIALOG"));
}

int TacDialogWnd::CaptionHeight() const
{
    const HWND wnd = Handle();
    if (!Has(style_, WS_CAPTION) && !IsIconic(wnd))
        return 0;
    if (borderForm_ && manager_ && manager_->SkinData.TitleHeight != 0)
        return manager_->SkinData.TitleHeight;
    return GetSystemMetrics(SM_CYCAPTION);
}

void TacDialogWnd::AdaptChildren()
{
    if (Provider && !Unsubclassed())
        AdaptDialogChildren(*Provider, Handle());
}

void TacDialogWnd::ClearHot()
{
    pressed_ = false;
    SetHotButton(0);
}

void TacDialogWnd::PopupSysMenu(int x, int y, const RECT* title)
{
    if (!sysMenu_)
        return;
    const TLife life(*this);
    ClearHot();
    if (life.Alive() && sysMenu_)
        sysMenu_->PopupAt(x, y, title);
}

TRect TacDialogWnd::IconRect(const TMeasures& ms) const
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    const int left = ms.Border + (manager_ ? manager_->SkinData.BILeft : 0);
    const int top = (ms.Border + ms.Title - cy) / 2;
    return TRect(left, top, left + cx, top + cy);
}

void TacDialogWnd::DrawTitleIcon(HDC dc, const TRect& r)
{
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    HICON copy = iconHandle_ ? static_cast<HICON>(CopyImage(iconHandle_, IMAGE_ICON, cx, cy, LR_COPYFROMRESOURCE))
                             : nullptr;
    if (copy) {
        DrawIconEx(dc, r.Left, r.Top, copy, cx, cy, 0, nullptr, DI_NORMAL);
        DestroyIcon(copy);
    } else {
        DrawIconEx(dc, r.Left, r.Top, LoadIconW(nullptr, IDI_APPLICATION), cx, cy, 0, nullptr, DI_NORMAL);
    }
}

TacDialogWnd::TMeasures TacDialogWnd::Measure() const
{
    TMeasures ms;
    const HWND wnd = Handle();
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int left = origin.x - wr.left, top = origin.y - wr.top;
    ms.SysBorder = left;
    ms.SysTop = top;
    // Under the extended border the border window draws the skin's frame,
    // which may reach beyond the window, inside the border's margins.
    ms.Ext = ExtendedActive();
    const TRect f = ms.Ext ? FrameExtent() : TRect();
    const TRect m = ms.Ext ? borderForm_->Margins() : TRect();
    ms.Width = wr.right - wr.left + f.Left + f.Right;
    ms.Height = wr.bottom - wr.top + f.Top + f.Bottom;
    ms.FrameOrg = TPoint(m.Left, m.Top);
    ms.WindowOrg = TPoint(m.Left + f.Left, m.Top + f.Top);
    ms.CacheWidth = ms.Width + m.Left + m.Right;
    ms.CacheHeight = ms.Height + m.Top + m.Bottom;
    if (IsIconic(wnd)) {
        // A minimized window has no client area: the system puts its origin
        // at the window's corner. Its frame is the style's and its title
        // the system's caption height (the border window's title when one
        // draws it); what would be the client lies right below the title.
        const LONG_PTR live = GetWindowLongPtrW(wnd, GWL_STYLE);
        const int frame = (live & WS_THICKFRAME)                 ? GetSystemMetrics(SM_CXFRAME)
                          : (live & (WS_BORDER | WS_DLGFRAME))   ? GetSystemMetrics(SM_CXFIXEDFRAME)
                                                                 : 0;
        ms.SysBorder = frame;
        ms.SysTop = frame + CaptionHeight();
        ms.Border = frame + f.Left;
        ms.Title = CaptionHeight();
        const int cl = ms.WindowOrg.X + frame, ct = ms.WindowOrg.Y + ms.SysTop;
        ms.Client = TRect(cl, ct, cl, ct);
        return ms;
    }
    const int cl = left + ms.WindowOrg.X, ct = top + ms.WindowOrg.Y;
    ms.Client = TRect(cl, ct, cl + cr.right, ct + cr.bottom);
    ms.Border = left + f.Left;
    ms.Title = std::max(0, top + f.Top - ms.Border);
    return ms;
}

int TacDialogWnd::NormMask() const
{
    const int i = MaskOf(manager_, "BICONNORM");
    if (manager_->MaskIndexValid(i))
        return i;
    // A skin may keep the restore picture with the dialog's own section.
    return manager_->GetMaskIndex(manager_->GetSkinIndex("DIALOG"), "DIALOG", "BICONNORM");
}

void TacDialogWnd::LoadTitleButtonMasks()
{
    titleMasks_[0].HitCode = htClose;
    titleMasks_[1].HitCode = htMaxButton;
    titleMasks_[2].HitCode = htMinButton;
    titleMasks_[3].HitCode = htHelp;
    if (!manager_ || !manager_->SkinIndexValid(manager_->ConstData.IndexGlobalInfo)) {
        // No picture of an earlier skin may index this skin's masks.
        for (TTitleButtonMask& m : titleMasks_)
            m = TTitleButtonMask{m.HitCode, -1, true};
        return;
    }
    // Sizeable and plain frames take the big button set, fixed and popup
    // frames the small one. The sets are not mixed: a skin without a small
    // close picture has no small set, and the big one is taken whole; a
    // small picture missing from a small set leaves its button without a
    // glyph (help alone, which most skins draw big only, is lent).
    bool big = borderKind_ == 1 || borderKind_ == 3;
    if (!big && !manager_->MaskIndexValid(MaskOf(manager_, "SICONCLOSE")))
        big = true;
    const char* names[4][2] = {{"BICONCLOSE", "SICONCLOSE"},
                               {"BICONMAX", "SICONMAX"},
                               {"BICONMIN", "SICONMIN"},
                               {"BICONHELP", "SICONHELP"}};
    for (int i = 0; i < 4; ++i) {
        int mask = MaskOf(manager_, names[i][big ? 0 : 1]);
        if (!big && i == 3 && !manager_->MaskIndexValid(mask))
            mask = MaskOf(manager_, "BICONHELP");
        titleMasks_[i].Mask = mask;
        titleMasks_[i].BigIcon = big;
    }
}

TCaptionLayoutInput TacDialogWnd::LayoutInput(const TMeasures& ms) const
{
    const HWND wnd = Handle();
    // The styles as the dialog had them: the window itself no longer has
    // WS_SYSMENU while it is skinned.
    const LONG_PTR style = style_;
    const LONG_PTR ex = exStyle_;
    TCaptionLayoutInput in;
    // The button set LoadTitleButtonMasks chose.
    in.Large = titleMasks_[0].BigIcon;
    in.WindowWidth = ms.Width;
    in.WindowHeight = ms.Height;
    in.RightBorder = ms.Border;
    in.SkinBorderWidth = ms.Border;
    in.TitleBarHeight = ms.Title;
    // A minimized window shows a title whatever its style.
    in.HasTitle = Has(style, WS_CAPTION) || IsIconic(wnd);
    in.Zoomed = IsZoomed(wnd);
    in.Iconic = IsIconic(wnd);
    in.Help = (ex & WS_EX_CONTEXTHELP) != 0;
    in.BIRight = manager_->SkinData.BIRight;
    in.BISpace = manager_->SkinData.BISpace;
    in.BIVAlign = manager_->SkinData.BIVAlign;
    in.SysFrame = GetSystemMetrics(SM_CXFRAME);
    in.Menu.VisibleClose = (style & WS_SYSMENU) != 0;
    in.Menu.VisibleMax = (style & WS_MAXIMIZEBOX) != 0;
    in.Menu.VisibleMin = (style & WS_MINIMIZEBOX) || in.Iconic;
    in.Menu.EnabledMax = MaximizeEnabled();
    in.Menu.EnabledMin = MinimizeEnabled();
    in.Menu.EnabledRestore = RestoreEnabled();
    auto width = [&](int i) {
        return manager_->MaskIndexValid(i) ? MaskFrameWidth(manager_->ma[size_t(i)]) : 21;
    };
    in.CloseWidth = width(titleMasks_[0].Mask);
    in.MaxWidth = width(titleMasks_[1].Mask);
    in.MinWidth = width(titleMasks_[2].Mask);
    in.HelpWidth = width(titleMasks_[3].Mask);
    // The restore picture (always of the large set) takes maximize's place
    // on a zoomed dialog and minimize's on a minimized one: the place is as
    // wide as the picture, or it would run over the button beside it.
    if (in.Zoomed || in.Iconic) {
        const int restore = NormMask();
        if (manager_->MaskIndexValid(restore))
            (in.Zoomed ? in.MaxWidth : in.MinWidth) = MaskFrameWidth(manager_->ma[size_t(restore)]);
    }
    const int close = titleMasks_[0].Mask;
    in.ButtonHeight = manager_->MaskIndexValid(close) ? MaskFrameHeight(manager_->ma[size_t(close)]) : 21;
    return in;
}

TCaptionLayout TacDialogWnd::LayoutButtons(const TCaptionLayoutInput& li) const
{
    TCaptionLayout b = LayoutCaptionButtons(li);
    // BORDERMODE 1 centres the title's pieces by the skin's own offset.
    if (UseExt())
        for (TRect* r : {&b.Close, &b.Max, &b.Min, &b.Help})
            if (r->Right > r->Left) {
                r->Top += manager_->SkinData.CenterOffset;
                r->Bottom += manager_->SkinData.CenterOffset;
            }
    KeepButtonsInWindow(b, li.WindowHeight);
    return b;
}

int TacDialogWnd::DialogHitTest(TPoint p)
{
    const TMeasures ms = Measure();
    LoadTitleButtonMasks();
    const TCaptionLayoutInput li = LayoutInput(ms);
    buttons_ = LayoutButtons(li);
    frameOrg_ = ms.FrameOrg;
    windowOrg_ = ms.WindowOrg;
    THitTestInput in;
    in.Width = ms.Width;
    in.Height = ms.Height;
    in.Zoomed = li.Zoomed;
    in.Iconic = li.Iconic;
    in.Style = uint32_t(style_);
    in.BorderWidth = ms.Border;
    in.SysBorderWidth = ms.Border;
    in.TitleHeight = ms.Title;
    in.Help = li.Help;
    in.Menu = li.Menu;
    in.Buttons = buttons_;
    if (li.HasTitle)
        in.IconRect = IconRect(ms);
    // In the frame's coordinates (the skin's frame can reach beyond the window).
    const int dx = ms.WindowOrg.X - ms.FrameOrg.X, dy = ms.WindowOrg.Y - ms.FrameOrg.Y;
    const TPoint at(p.X + dx, p.Y + dy);
    const int code = FormHitTest(in, at);
    // Minimized, the maximize button is the dialog's own even where it is
    // greyed: it takes the pointer as a button (and its release runs
    // nothing), not as the title to drag.
    if (code == htCaption && li.Iconic && (style_ & WS_MAXIMIZEBOX) && buttons_.Max.Right > buttons_.Max.Left &&
        buttons_.Max.Contains(at))
        return htMaxButton;
    return code;
}

TPoint TacDialogWnd::WindowPoint(LPARAM screenPoint) const
{
    RECT wr;
    GetWindowRect(Handle(), &wr);
    return TPoint(GET_X_LPARAM(screenPoint) - wr.left, GET_Y_LPARAM(screenPoint) - wr.top);
}

COLORREF TacDialogWnd::TextColor() const
{
    const int i = manager_->GetSkinIndex("DIALOG");
    return manager_->SkinIndexValid(i) ? COLORREF(manager_->gd[size_t(i)].FontColor[0]) : GetSysColor(COLOR_BTNTEXT);
}

HBRUSH TacDialogWnd::Brush()
{
    return brush_.Of(COLORREF(manager_->GetGlobalColor()));
}

void TacDialogWnd::UpdateDialogRegion(bool redraw)
{
    const HWND wnd = Handle();
    if (!SkinShown()) {
        // The system's frame, with no corner of the skin cut from it.
        if (regionSize_.cx != 0 || regionSize_.cy != 0)
            SetWindowRgn(wnd, nullptr, redraw && IsWindowVisible(wnd));
        regionSize_ = {0, 0};
        return;
    }
    // A caption-less popup keeps its square frame, sizeable or not, unless
    // it is minimized; restored, it drops the region cut for the icon
    // (which would hide all of the window but that small piece).
    if (borderKind_ == 2 && !IsIconic(wnd)) {
        if (regionSize_.cx != 0 || regionSize_.cy != 0)
            SetWindowRgn(wnd, nullptr, redraw && IsWindowVisible(wnd));
        regionSize_ = {0, 0};
        return;
    }
    // A window that sets its own region says so. The question reaches the
    // dialog's own procedure, which may free the adapter; so does setting
    // the region (the window hears that its frame changed), which comes last.
    const TLife life(*this);
    if (SendMessageW(wnd, 0xBC4D, 0x41A2, 0) == 0x41A2 || !life.Alive())
        return;
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    const bool ext = ExtendedActive();
    if (size.cx == regionSize_.cx && size.cy == regionSize_.cy && ext == regionExt_)
        return;
    regionSize_ = size;
    regionExt_ = ext;
    if (ext) {
        // The border window shows the frame and title: the dialog keeps
        // what lies inside its own border only.
        RECT wr2;
        GetWindowRect(wnd, &wr2);
        POINT origin{0, 0};
        ClientToScreen(wnd, &origin);
        const int border = origin.x - wr2.left, top = origin.y - wr2.top;
        SetWindowRgn(wnd, CreateRectRgn(border, top, size.cx - border, size.cy - border),
                     redraw && IsWindowVisible(wnd));
        return;
    }
    BuildRegionRects(size.cx, size.cy);
    HRGN rgn = CreateRegionWithout({0, 0, size.cx, size.cy}, regionRects_);
    SetWindowRgn(wnd, rgn, redraw && IsWindowVisible(wnd));
}

void TacDialogWnd::BuildRegionRects(int width, int height)
{
    regionRects_.clear();
    const int section = manager_->GetSkinIndex("DIALOG");
    const int border = manager_->GetMaskIndex(section, "DIALOG", "BORDERSMASK");
    if (manager_->MaskIndexValid(border)) {
        const TsMaskData& mask = manager_->ma[size_t(border)];
        GetMaskTransRects(regionRects_, width, mask, 0, false);
        GetMaskTransRects(regionRects_, width, mask, height - mask.WB, true);
    }
    // The title's own rounded corners are cut too.
    const int titleSection = manager_->GetSkinIndex("FORMTITLE");
    if (manager_->SkinIndexValid(titleSection)) {
        const int title = manager_->GetMaskIndex(titleSection, "FORMTITLE", "BORDERSMASK");
        if (manager_->MaskIndexValid(title))
            GetMaskTransRects(regionRects_, width, manager_->ma[size_t(title)], 0, false);
    }
}

bool TacDialogWnd::CacheFits() const
{
    if (!cache_)
        return false;
    const TMeasures ms = Measure();
    return cache_->Width() == ms.CacheWidth && cache_->Height() == ms.CacheHeight &&
           cache_->PixelFormat() == (ms.Ext ? tw::pf32bit : tw::pf24bit);
}

void TacDialogWnd::PaintTitle(tw::TBitmap& bmp, const TMeasures& ms, TPoint org, bool useExt)
{
    const HWND wnd = Handle();
    const int titleBottom = ms.Border + ms.Title;
    if (!useExt) {
        // Under BORDERMODE 1 the border picture is the title's background.
        const TColor face = TColor(GetSysColor(COLOR_BTNFACE));
        tw::TBitmap title(ms.Width, titleBottom, tw::pf24bit);
        PaintItemByName(title, "FORMTITLE", "", active_ ? 1 : 0, manager_, {0, 0}, face, nullptr);
        BitBlt(bmp.Canvas().Handle(), org.X, org.Y, ms.Width, titleBottom, title.Canvas().Handle(), 0, 0, SRCCOPY);
    }
    wchar_t text[512] = {};
    GetWindowTextW(wnd, text, 512);
    TRect icon = IconRect(ms);
    icon = TRect(icon.Left + org.X, icon.Top + org.Y, icon.Right + org.X, icon.Bottom + org.Y);
    DrawTitleIcon(bmp.Canvas().Handle(), icon);
    const int shift = useExt ? manager_->SkinData.CenterOffset : 0;
    // Between the icon and the buttons, from just below the frame's top
    // edge down to the end of the title.
    TRect r(icon.Right + 4, org.Y + 2 + shift, org.X + ms.Width - TitleButtonsWidth(layout_) - 6,
            org.Y + titleBottom + shift);
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return;
    // The caption in the system's caption font, made bold, set on the
    // canvas itself: the text writer selects the canvas's font for every
    // pass.
    tw::TCanvas& canvas = bmp.Canvas();
    LOGFONTW lf{};
    if (captionFont_ && GetObjectW(captionFont_->Get(), sizeof(lf), &lf)) {
        canvas.Font().SetName(tw::WideToUtf8(lf.lfFaceName));
        canvas.Font().SetHeight(lf.lfHeight);
        canvas.Font().SetCharset(lf.lfCharSet);
        canvas.Font().SetStyle(tw::fsBold);
    }
    canvas.RequireState();
    // The line as high as the text, in the middle of the strip.
    const std::wstring wide(text);
    SIZE extent{};
    if (!wide.empty() && GetTextExtentPoint32W(canvas.Handle(), wide.c_str(), int(wide.size()), &extent) &&
        extent.cy > 0) {
        r.Top += (r.Bottom - r.Top - extent.cy) / 2;
        r.Bottom = r.Top + extent.cy;
    }
    const std::string caption = tw::WideToUtf8(text);
    WriteSectionText(&canvas, caption.c_str(), true, r,
                     DT_LEFT | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX,
                     manager_->GetSkinIndex("FORMTITLE"), active_, manager_);
}

bool TacDialogWnd::PaintDialogCache()
{
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0 || !SkinShown())
        return false;
    LoadTitleButtonMasks();
    layout_ = LayoutInput(ms);
    const TCaptionLayoutInput& li = layout_;
    buttons_ = LayoutButtons(li);
    const tw::TPixelFormat pf = ms.Ext ? tw::pf32bit : tw::pf24bit;
    if (!cache_ || cache_->Width() != ms.CacheWidth || cache_->Height() != ms.CacheHeight || cache_->PixelFormat() != pf)
        cache_ = std::make_unique<tw::TBitmap>(ms.CacheWidth, ms.CacheHeight, pf);
    cacheClient_ = ms.Client;
    frameOrg_ = ms.FrameOrg;
    windowOrg_ = ms.WindowOrg;
    clientBrushStale_ = true;
    titleBg_.reset();
    const bool useExt = UseExt();
    // Under the extended border the frame is painted on its own and placed
    // inside the border's margins; otherwise straight into the cache.
    std::unique_ptr<tw::TBitmap> own =
        ms.Ext ? std::make_unique<tw::TBitmap>(ms.Width, ms.Height, tw::pf24bit) : nullptr;
    tw::TBitmap& frame = own ? *own : *cache_;
    const TColor face = TColor(GetSysColor(COLOR_BTNFACE));
    const int state = active_ ? 1 : 0;
    if (useExt) {
        // Only the section's background: the border picture is the frame.
        const TPixelView v = frame.PixelView();
        PaintItemBG(manager_, manager_->GetSkinIndex("DIALOG"), "DIALOG", MakeCacheInfo(v), state,
                    TRect(0, 0, ms.Width, ms.Height), TPoint(0, 0), v);
    } else {
        PaintItemByName(frame, "DIALOG", "", state, manager_, {0, 0}, face, nullptr);
    }
    const int titleBottom = ms.Border + ms.Title;
    const bool hasTitle = li.HasTitle && titleBottom > 0;
    if (hasTitle && !useExt)
        PaintTitle(frame, ms, TPoint(0, 0), false);
    if (ms.Ext)
        ComposeExtendedBorder(ms, frame);
    if (!hasTitle)
        return true;
    const TRect strip(0, 0, ms.CacheWidth, ms.FrameOrg.Y + titleBottom);
    if (useExt) {
        // The title's icon and text over the border picture: what they
        // drew is opaque, the picture keeps its own transparency.
        TPixelImage before(ms.CacheWidth, strip.Bottom, 32);
        CopyPixels(before.View(), cache_->PixelView(), strip);
        PaintTitle(*cache_, ms, ms.FrameOrg, true);
        OpaqueWhereChanged(cache_->PixelView(), before.View(), strip);
    }
    // The strip behind the buttons is kept, then the buttons in their states.
    titleBg_ = std::make_unique<tw::TBitmap>(ms.CacheWidth, strip.Bottom, pf);
    CopyPixels(titleBg_->PixelView(), cache_->PixelView(), strip);
    PaintTitleButtons();
    return true;
}

void TacDialogWnd::PaintTitleButtons()
{
    for (int code : {htClose, htMaxButton, htMinButton, htHelp})
        DrawTitleButton(code);
}

void TacDialogWnd::PaintNonClient()
{
    const HWND wnd = Handle();
    // The children's adapters and the new region reach the children's and
    // the dialog's own procedures, which may free the adapter.
    const TLife life(*this);
    // Children made since the last paint (pages of a wizard, a file
    // dialog's late fields) are adapted too.
    AdaptChildren();
    if (!life.Alive())
        return;
    UpdateDialogRegion();
    if (!life.Alive())
        return;
    skinActive_ = false;
    if (!PaintDialogCache())
        return;
    if (ExtendedActive()) {
        // The border window shows the frame; the dialog's own non-client
        // area lies outside its region.
        UpdateBorderWindow();
        if (life.Alive())
            UpdateScrollState(true);
        return;
    }
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, cacheClient_.Left, cacheClient_.Top, cacheClient_.Right, cacheClient_.Bottom);
    BitBlt(dc, 0, 0, cache_->Width(), cache_->Height(), cache_->Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
    // The frame was painted over the system's scroll bars: the skin's go on top.
    UpdateScrollState(true);
}

TacDialogWnd* TacDialogWnd::DialogOf(HWND wnd)
{
    for (HWND w = wnd; w; w = GetAncestor(w, GA_PARENT)) {
        if (auto* d = dynamic_cast<TacDialogWnd*>(TacMainWnd::Of(w)))
            return d->Unsubclassed() ? nullptr : d;
        if (!(GetWindowLongPtrW(w, GWL_STYLE) & WS_CHILD))
            break;
    }
    return nullptr;
}

bool TacDialogWnd::ClientPictureReady()
{
    return SkinShown() && (CacheFits() || PaintDialogCache());
}

bool TacDialogWnd::PaintBackgroundOf(HWND wnd, HDC dc)
{
    if (!dc || !ClientPictureReady())
        return false;
    POINT origin{0, 0};
    if (wnd != Handle())
        MapWindowPoints(wnd, Handle(), &origin, 1);
    RECT r;
    GetClientRect(wnd, &r);
    BitBlt(dc, 0, 0, r.right, r.bottom, cache_->Canvas().Handle(), cacheClient_.Left + origin.x,
           cacheClient_.Top + origin.y, SRCCOPY);
    return true;
}

HBRUSH TacDialogWnd::BackgroundBrushFor(HWND wnd, HDC dc)
{
    if (!dc || !ClientPictureReady())
        return nullptr;
    const int w = cacheClient_.Right - cacheClient_.Left, h = cacheClient_.Bottom - cacheClient_.Top;
    if (w <= 0 || h <= 0)
        return nullptr;
    if (clientBrushStale_ || !clientBrush_) {
        tw::TBitmap client(w, h, tw::pf24bit);
        BitBlt(client.Canvas().Handle(), 0, 0, w, h, cache_->Canvas().Handle(), cacheClient_.Left, cacheClient_.Top,
               SRCCOPY);
        HBRUSH made = CreatePatternBrush(client.Handle());
        if (!made)
            return nullptr;
        if (clientBrush_)
            DeleteObject(clientBrush_);
        clientBrush_ = made;
        clientBrushStale_ = false;
    }
    // The pattern starts at the dialog's client origin, wherever the child
    // lies in it.
    POINT origin{0, 0};
    if (wnd != Handle())
        MapWindowPoints(wnd, Handle(), &origin, 1);
    SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
    return clientBrush_;
}

void TacDialogWnd::EraseClient(HDC dc)
{
    const HWND wnd = Handle();
    const int saved = SaveDC(dc);
    // A transparent child (the file dialogs' tool bars) asks its parent to
    // erase into the child's own device context: all of it is its
    // background then, nothing is left out.
    const HWND painted = WindowFromDC(dc);
    const bool forChild = painted && painted != wnd;
    // The children that paint their own background are left out; labels
    // that take the focus and group boxes are painted over (they draw only
    // their text and edge over what lies under them).
    for (HWND c = forChild ? nullptr : GetTopWindow(wnd); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
        if (!(style & WS_VISIBLE) || !(style & WS_CHILD))
            continue;
        if ((style & 7) == 7 || ((style & WS_TABSTOP) && Lower(GetWndClassName(c)) == "static"))
            continue;
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&r), 2);
        ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
    }
    if (!PaintBackgroundOf(wnd, dc)) {
        RECT r;
        GetClientRect(wnd, &r);
        FillRect(dc, &r, Brush());
    }
    RestoreDC(dc, saved);
    if (!forChild)
        RefreshChildWindows(wnd);
}

void TacDialogWnd::Repaint()
{
    const HWND wnd = Handle();
    regionSize_ = {-1, -1};
    UpdateDialogRegion();
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

} // namespace skin
