// The provider's geometry: the frame's measures, where the caption buttons,
// icon and grip lie, the hit test of the drawn frame, the window region with
// the skin's cut-outs, and the desktop composition the frame has to live with.
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
#include "skin/engine/link/BorderPaintingWin.h"
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

// ---------------------------------------------------------------------------
// Desktop composition, looked up at run time: systems before version 6 have
// no dwmapi.dll.

namespace {

// Loaded on first use, freed when the program ends; the entries are looked
// up each time, so none outlives the module.
struct TDwmModule {
    HMODULE Lib = LoadLibraryW(L"DWMAPI.DLL");
    ~TDwmModule()
    {
        if (Lib)
            FreeLibrary(std::exchange(Lib, nullptr));
    }
};

HMODULE DwmLibrary()
{
    static TDwmModule module;
    return module.Lib;
}

FARPROC DwmLibraryEntry(const char* name)
{
    HMODULE lib = DwmLibrary();
    return lib ? GetProcAddress(lib, name) : nullptr;
}

template <class F> F DwmEntry(const char* name)
{
    const FARPROC entry = PlatformAnswers().DwmEntry(name);
    return reinterpret_cast<F>(reinterpret_cast<void*>(entry));
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
    const TIsEnabled isEnabled = DwmEntry<TIsEnabled>("DwmIsCompositionEnabled");
    BOOL on = FALSE;
    return isEnabled && isEnabled(&on) == S_OK && on;
}

} // namespace

TPlatformAnswers& PlatformAnswers()
{
    static TPlatformAnswers answers{SystemComposition, SystemMajorVersion, DwmLibraryEntry};
    return answers;
}

bool DwmCompositionEnabled()
{
    const TPlatformAnswers& a = PlatformAnswers();
    return a.MajorVersion() >= 6 && a.CompositionEnabled();
}

// The manager's shadow margins ask the same seam.
[[maybe_unused]] const bool g_compositionQueryInstalled = [] {
    DesktopCompositionQuery = DwmCompositionEnabled;
    return true;
}();

HRESULT DwmSetWindowAttribute(HWND wnd, DWORD attribute, LPCVOID value, DWORD size)
{
    using TSetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    const TSetAttribute setAttribute = DwmEntry<TSetAttribute>("DwmSetWindowAttribute");
    return setAttribute ? setAttribute(wnd, attribute, value, size) : E_NOTIMPL;
}

void SetDwmTransitions(HWND wnd, bool off)
{
    if (!DwmCompositionEnabled())
        return;
    const DWORD value = off ? 1 : 0;
    DwmSetWindowAttribute(wnd, 3 /* DWMWA_TRANSITIONS_FORCEDISABLED */, &value, sizeof(value));
}

void TsSkinProvider::CallSavedHidden(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    // The form is visible again however its procedure ends.
    struct TVisibleAgain {
        HWND Wnd;
        bool Was;
        ~TVisibleAgain()
        {
            if (Was && IsWindow(Wnd))
                SetWindowLongPtrW(Wnd, GWL_STYLE, GetWindowLongPtrW(Wnd, GWL_STYLE) | WS_VISIBLE);
        }
    } again{wnd, (style & WS_VISIBLE) != 0};
    if (again.Was)
        SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
    CallSaved(m);
}

TsSkinProvider::TMeasures TsSkinProvider::Measure() const
{
    if (ExtActive())
        return ExtendedMeasures();
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
    // Minimized, the client tells nothing: the frame is the one the style
    // gives (a fixed frame is narrower than a sizing one).
    ms.Border = IsIconic(wnd) ? FormBorderWidth(false) : left;
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    if (GetMenu(wnd) && GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi))
    {
        ms.Menu = mbi.rcBar.bottom - mbi.rcBar.top + 1;
        // With the line the system draws below it.
        ms.MenuRect = TRect(mbi.rcBar.left - wr.left, mbi.rcBar.top - wr.top, mbi.rcBar.right - wr.left,
                            mbi.rcBar.bottom - wr.top + 1);
    } else if (GetMenu(wnd) && MenuVisible() && !IsIconic(wnd)) {
        // The system does not tell where its line is: it lies right above
        // the client, as many rows high as the items need.
        ms.Menu = MenuRows() * (GetSystemMetrics(SM_CYMENU) - 1) + 1;
        ms.MenuRect = TRect(left, std::max(0, top - ms.Menu), left + cr.right, top);
    }
    // The system's title as the style gives it; what lies above the client
    // beyond it and the menu line is frame.
    ms.Title = IsIconic(wnd) ? GetSystemMetrics(SM_CYCAPTION) : std::min(TitleBarHeight(false), std::max(0, top - ms.Border - ms.Menu));
    if (IsIconic(wnd)) {
        // A minimized window has no client area; the system puts its origin
        // at the window's corner. What would be the client starts right
        // below the title, where a menu opened from the keyboard belongs.
        const int below = ms.Border + ms.Title;
        ms.Client = TRect(ms.Border, below, ms.Border, below);
    }
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
    s.VisibleClose = (icons & tw::biSystemMenu) && (sysMenuRemoved_ || GetSystemMenu(wnd, FALSE));
    // The system shows both boxes as soon as one of them is asked for.
    s.VisibleMax = s.VisibleMin = boxes && (icons & (tw::biMinimize | tw::biMaximize));
    s.EnabledMax = (icons & tw::biMaximize) && !zoomed;
    s.EnabledMin = (icons & tw::biMinimize) && !iconic;
    s.EnabledRestore = zoomed || iconic;
    // The caption buttons follow the skinned system menu's rule, so that a
    // button and its menu item are never of two minds.
    if (systemMenu_ && systemMenu_->Form() == form_) {
        s.VisibleClose = s.VisibleClose && systemMenu_->VisibleClose();
        s.VisibleMax = systemMenu_->VisibleMax();
        s.VisibleMin = systemMenu_->VisibleMin();
        s.EnabledMax = systemMenu_->EnabledMax();
        s.EnabledMin = systemMenu_->EnabledMin();
        s.EnabledRestore = systemMenu_->EnabledRestore();
    }
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
    in.WindowHeight = ms.Height;
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
    in.ExtBorders = ExtActive();
    in.BorderMode = sm->SkinData.BorderMode;
    in.SkinTitleHeight = sm->SkinData.TitleHeight;
    in.SkinMaxHeight = sm->SkinData.MaxHeight;
    in.CenterOffset = sm->SkinData.CenterOffset;
    in.Menu = MenuState();
    auto width = [&](const char* large, const char* small) {
        const int i = MaskIndex(in.Large ? large : small);
        return sm->MaskIndexValid(i) ? MaskFrameWidth(sm->ma[size_t(i)]) : 21;
    };
    in.CloseWidth = width("BICONCLOSE", "SICONCLOSE");
    in.MaxWidth = width("BICONMAX", "SICONMAX");
    in.MinWidth = width("BICONMIN", "SICONMIN");
    in.HelpWidth = width("BICONHELP", HelpMaskName(in.Large));
    // The restore picture stands in for maximize on a zoomed form and for
    // minimize on an iconic one, in the large set whatever set the others
    // come from: its place is as wide as it is, or it would run over its
    // neighbour.
    if (in.Zoomed || in.Iconic) {
        int restore = MaskIndex("BICONNORM");
        if (!sm->MaskIndexValid(restore))
            restore = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), "BICONNORM");
        if (sm->MaskIndexValid(restore))
            (in.Zoomed ? in.MaxWidth : in.MinWidth) = MaskFrameWidth(sm->ma[size_t(restore)]);
    }
    const int close = MaskIndex(in.Large ? "BICONCLOSE" : "SICONCLOSE");
    in.ButtonHeight = sm->MaskIndexValid(close) ? MaskFrameHeight(sm->ma[size_t(close)]) : 21;
    const int title = MaskIndex("TITLEBUTTON");
    const int skinWidth = sm->MaskIndexValid(title) ? MaskFrameWidth(sm->ma[size_t(title)]) : 21;
    for (int i = 0; i < titleButtons_.Count(); ++i) {
        const TsTitleButton& b = titleButtons_.Items(i);
        TUserButtonInput u;
        u.Visible = b.Visible;
        u.Enabled = b.Enabled;
        u.Width = std::max(b.Glyph ? b.Glyph->Width() + 2 : 0, skinWidth);
        in.User.push_back(u);
    }
    return in;
}

TRect TsSkinProvider::IconRect(const TMeasures& ms) const
{
    const tw::TBorderStyle bs = form_->BorderStyle();
    // A minimized form is its title alone, and every minimized title shows
    // the program's icon (the skinned dialogs' do too), whatever frame or
    // system menu the restored form has.
    const bool iconic = form_->HandleAllocated() && IsIconic(form_->Handle());
    if (!iconic && (!showAppIcon_ || (bs != tw::bsSingle && bs != tw::bsSizeable) ||
                    !(form_->BorderIcons() & tw::biSystemMenu)))
        return TRect();
    const int own = titleIcon_.Width ? titleIcon_.Width : titleIcon_.Height;
    // Sized by the skin's title height; where the skin gives none that could
    // hold an icon (0: the system's title), by the title really drawn, so
    // the icon is not a single pixel on a full title.
    const int skinTitle = SkinManager()->SkinData.TitleHeight;
    const int size = TitleIconSize(own, skinTitle > 8 ? skinTitle : ms.Title, true);
    const int left = ms.Border + SkinManager()->SkinData.BILeft;
    // Centred in the title strip; the extended title holds its top border
    // and is centred lower by the skin's centre offset.
    const TsSkinData& sd = SkinManager()->SkinData;
    int top = ExtActive() ? (ms.Border + ms.Title - size) / 2 + sd.CenterOffset : ms.Border + (ms.Title - size) / 2;
    // A maximized form stands higher by what its lower maximized title
    // leaves out: the icon moves with the caption buttons (integer division
    // rounds towards zero, as for them).
    if (sd.TitleHeight != 0 && sd.TitleHeight != sd.MaxHeight && IsZoomed(form_->Handle()))
        top += (sd.TitleHeight - sd.MaxHeight) / 2 - 2;
    return TRect(left, top, left + size, top + size);
}

bool TsSkinProvider::GripShown() const
{
    if (gripMode_ != gmRightBottom || !form_->HandleAllocated())
        return false;
    HWND wnd = form_->Handle();
    return !IsZoomed(wnd) && (GetWindowLongPtrW(wnd, GWL_STYLE) & WS_THICKFRAME) &&
           SkinManager()->MaskIndexValid(MaskIndex("GRIPIMAGE"));
}

TRect TsSkinProvider::GripRect(const TMeasures& ms) const
{
    if (!GripShown())
        return TRect();
    const TsMaskData& mask = SkinManager()->ma[size_t(MaskIndex("GRIPIMAGE"))];
    return GripCorner(ms.Client, MaskFrameWidth(mask), MaskFrameHeight(mask));
}

void TsSkinProvider::PaintGrip(HDC dc)
{
    if (!GripShown())
        return;
    const TMeasures ms = Measure();
    const TRect g = GripRect(ms);
    const int w = g.Right - g.Left, h = g.Bottom - g.Top;
    if (w <= 0 || h <= 0)
        return;
    // The form's background behind it, the picture over that.
    tw::TBitmap bmp(w, h, tw::pf24bit);
    FillGripBackground(bmp, g, ms);
    const TPixelView view = bmp.PixelView();
    DrawMaskGlyph(view, TPoint(0, 0), 0, 1, SkinManager()->ma[size_t(MaskIndex("GRIPIMAGE"))], MakeCacheInfo(view, 0, 0));
    BitBlt(dc, g.Left - ms.Client.Left, g.Top - ms.Client.Top, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
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
    // The icon opens the system menu only where the form has one (a
    // minimized form shows it whatever).
    if (form_->BorderIcons() & tw::biSystemMenu)
        in.IconRect = IconRect(ms);
    in.GripRect = GripRect(ms);
    if (in.GripRect.Right <= in.GripRect.Left && formAdapter_ && formAdapter_->ShowsVertical() &&
        formAdapter_->ShowsHorizontal() && !IsZoomed(wnd)) {
        // Both scroll bars leave the corner between them: it sizes the
        // form as the grip does.
        const int grip = MaskIndex("GRIPIMAGE");
        if (SkinManager()->MaskIndexValid(grip)) {
            const TsMaskData& mask = SkinManager()->ma[size_t(grip)];
            in.GripRect = GripCorner(ms.Client, MaskFrameWidth(mask), MaskFrameHeight(mask));
        }
    }
    in.Help = (form_->BorderIcons() & tw::biHelp) != 0;
    in.Menu = MenuState();
    return in;
}

int TsSkinProvider::HitTest(TPoint screen)
{
    const TMeasures ms = Measure();
    PlaceCaptionButtons(ms);
    THitTestInput in = HitInput(ms);
    in.Buttons = buttons_;
    in.User = layoutIn_.User;
    for (int i = 0; i < titleButtons_.Count() && size_t(i) < buttons_.User.size(); ++i)
        titleButtons_.Items(i).Rect = buttons_.User[size_t(i)];
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    if (ExtActive()) {
        // The picture starts left of and above the form's window.
        const TRect f = ExtendedFrame();
        in.BorderForm = true;
        wr.left -= f.Left;
        wr.top -= f.Top;
    }
    return FormHitTest(in, TPoint(screen.X - wr.left, screen.Y - wr.top));
}

void TsSkinProvider::CollectBorderCutouts()
{
    cutouts_.clear();
    if (!form_->HandleAllocated())
        return;
    const TsSkinManager* sm = SkinManager();
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    const int width = wr.right - wr.left, height = wr.bottom - wr.top;
    const int border = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), "BORDERSMASK");
    if (sm->MaskIndexValid(border)) {
        const TsMaskData& mask = sm->ma[size_t(border)];
        GetMaskTransRects(cutouts_, width, mask, 0, false);
        GetMaskTransRects(cutouts_, width, mask, height - mask.WB, true);
    }
    const std::string title = titleSkin_.empty() ? std::string("FORMTITLE") : titleSkin_;
    const int ti = sm->GetSkinIndex(title);
    if (sm->SkinIndexValid(ti)) {
        const int tm = sm->GetMaskIndex(ti, title, "BORDERSMASK");
        if (sm->MaskIndexValid(tm))
            GetMaskTransRects(cutouts_, width, sm->ma[size_t(tm)], 0, false);
    }
    skinData_->BGChangedFlag = true;
}

HRGN TsSkinProvider::MakeFormRegion(int dx, int dy) const
{
    RECT wr{};
    GetWindowRect(form_->Handle(), &wr);
    // Built at once: a skin's corners may hold thousands of runs.
    return CreateRegionWithout({0, 0, wr.right - wr.left, wr.bottom - wr.top}, cutouts_, dx, dy);
}

bool TsSkinProvider::UpdateFormRegion(bool redraw)
{
    if (!skinned_ || !drawNonClient_ || regionBusy_ || !form_->HandleAllocated())
        return false;
    HWND wnd = form_->Handle();
    if (form_->BorderStyle() == tw::bsNone && !IsIconic(wnd)) {
        // Only a minimized form without a title shows a drawn title to cut;
        // restored, whatever restored it, the form is whole again.
        if (iconRegion_) {
            iconRegion_ = false;
            regionSize_ = {-1, -1};
            SetWindowRgn(wnd, nullptr, redraw && IsWindowVisible(wnd));
            return true;
        }
        return false;
    }
    // A window that keeps a region of its own says so; once the frame has
    // been painted whole the provider's region stands.
    if (!firstPainted_ && SendMessageW(wnd, CM_OWNREGIONQUERY, kOwnRegionAnswer, 0) == LRESULT(kOwnRegionAnswer))
        return false;
    if (form_->Parent()) {
        SetWindowRgn(wnd, nullptr, redraw);
        return true;
    }
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    const bool zoomed = IsZoomed(wnd);
    TRect onWork;
    if (zoomed && !ExtActive()) {
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi);
        onWork = WorkAreaRegionRect(TRect(wr.left, wr.top, wr.right, wr.bottom),
                                    TRect(mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom));
    }
    if (size.cx == regionSize_.cx && size.cy == regionSize_.cy && onWork == regionOnWork_)
        return false;
    regionSize_ = size;
    regionOnWork_ = onWork;
    regionBusy_ = true;
    HRGN rgn = nullptr;
    if (ExtActive()) {
        // The extended border draws the title and the frame outside the
        // form's own client (and menu line); a maximized form's title too.
        const int b = FormBorderWidth(false);
        const int t = b + SystemTitleHeight();
        rgn = CreateRectRgn(b, t, size.cx - b, size.cy - b);
        // A maximized form has no rounded corners to cut.
        if (zoomed)
            cutouts_.clear();
        else
            CollectBorderCutouts();
    } else if (zoomed) {
        // What lies beyond the work area is cut: the system's frame at the
        // sides and the bottom, and at the top as much of the frame and the
        // title as the maximized placement raised beyond the screen's edge
        // (not always the frame: the screen's top rows are the form's).
        rgn = CreateRectRgn(onWork.Left, onWork.Top, onWork.Right, onWork.Bottom);
        cutouts_.clear();
    } else {
        CollectBorderCutouts();
        rgn = MakeFormRegion(0, 0);
    }
    skinData_->BGChangedFlag = true;
    // The system owns the region once it is set.
    SetWindowRgn(wnd, rgn, redraw && IsWindowVisible(wnd));
    iconRegion_ = form_->BorderStyle() == tw::bsNone;
    regionBusy_ = false;
    return true;
}

HRGN TsSkinProvider::AnimationRegion()
{
    if (!skinned_ || !drawNonClient_ || form_->Parent() || !form_->HandleAllocated() ||
        form_->BorderStyle() == tw::bsNone)
        return nullptr;
    CollectBorderCutouts();
    return MakeFormRegion(0, 0);
}

} // namespace skin
