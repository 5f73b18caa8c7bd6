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

namespace skin {


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
    const TIsEnabled isEnabled = DwmEntry<TIsEnabled>("DwmIsCompositionEnabled");
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

// The manager's shadow margins ask the same seam.
[[maybe_unused]] const bool g_compositionQueryInstalled = [] {
    DesktopCompositionQuery = DwmCompositionEnabled;
    return true;
}();

void SetDwmTransitions(HWND wnd, bool off)
{
    if (!DwmCompositionEnabled())
        return;
    using TSetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    const TSetAttribute setAttribute = DwmEntry<TSetAttribute>("DwmSetWindowAttribute");
    const DWORD value = off ? 1 : 0;
    if (setAttribute)
        setAttribute(wnd, 3 /* DWMWA_TRANSITIONS_FORCEDISABLED */, &value, sizeof(value));
}

// ---------------------------------------------------------------------------

namespace {

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
    // Started from the system menu and the mouse has not moved since: a
    // size drag takes its start point (and, when unknown, its edge) from
    // the first move.
    bool NotMovedYet = false;
};
TOutlineDrag g_drag;

// Drawn with R2_NOT: drawing the same outline again erases it.
void DrawOutline(const TRect& r)
{
    POINT pts[5] = {{r.Left, r.Top}, {r.Right - 1, r.Top}, {r.Right - 1, r.Bottom - 1}, {r.Left, r.Bottom - 1},
                    {r.Left, r.Top}};
    Polyline(g_drag.DesktopDC, pts, 5);
}

// Moving a window with the mouse button already down (a kind of SC_MOVE).
constexpr WPARAM kScDragMove = 0xF012;
// The request to draw the extended border again.
constexpr uint16_t AC_UPDATEEXTBORDER = 37;

// Messages of the class library's own that the provider looks at.
constexpr UINT CM_OWNREGIONQUERY = 0xBC4D;
constexpr WPARAM kOwnRegionAnswer = 0x41A2;

} // namespace

// ---------------------------------------------------------------------------

TsTitleButton& TsTitleButtons::Add()
{
    items_.push_back(std::make_unique<TsTitleButton>());
    items_.back()->HitCode = htUserButton + int(items_.size()) - 1;
    return *items_.back();
}

void TsTitleButtons::Assign(const TsTitleButtons& other)
{
    if (&other == this)
        return;
    items_.clear();
    for (const auto& b : other.items_) {
        TsTitleButton& n = Add();
        n.Name = b->Name;
        n.Hint = b->Hint;
        n.Enabled = b->Enabled;
        n.Visible = b->Visible;
        n.UseSkinData = b->UseSkinData;
        n.Glyph = b->Glyph;
        n.OnMouseDown = b->OnMouseDown;
        n.OnMouseUp = b->OnMouseUp;
    }
}

TsSkinProvider* FindProvider(tw::TCustomForm* form)
{
    if (!form)
        return nullptr;
    for (int i = 0; i < form->ComponentCount(); ++i)
        if (auto* p = dynamic_cast<TsSkinProvider*>(form->Components(i)))
            return p;
    return nullptr;
}

TsSkinProvider::TsSkinProvider(tw::TComponent* owner, bool applyNow)
    : tw::TComponent(owner), form_(GetOwnerForm(owner))
{
    SetName("sSkinProvider1");
    skinData_ = std::make_unique<TsCommonData>(form_, false);
    skinData_->SetSkinSection("FORM");
    skinData_->COC = COC_TsSkinProvider;
    skinData_->SetFormProvider(this);
    if (!form_)
        return;
    // The newest provider wins: an older one gives the form back first, so
    // the procedure saved below is the form's own.
    for (int i = form_->ComponentCount() - 1; i >= 0; --i) {
        auto* other = dynamic_cast<TsSkinProvider*>(form_->Components(i));
        if (other && other != this)
            delete other;
    }
    saved_ = form_->WindowProc;
    form_->WindowProc = [this](tw::TMessage& m) { ProviderWindowProc(m); };
    hooked_ = true;
    AddSkinnedForm(form_);
    registered_ = true;
    if (applyNow)
        ApplySkin();
}

TsSkinProvider::~TsSkinProvider()
{
    // A record of the window hook that names this provider goes with it.
    ForgetFormProvider(this);
    // The fades draw with the border window and through this provider: both
    // go before anything else of the provider does.
    FreeButtonAnimations();
    borderForm_.reset();
    ReleaseAdapters();
    if (Dragging())
        EndOutline(false);
    if (form_ && hooked_) {
        if (skinned_ && !form_->IsDestroying())
            RemoveSkin();
        skinned_ = false;
        if (registered_)
            RemoveSkinnedForm(form_);
        // The form destroys its components while it is still whole, so its
        // procedure can be given back here; a window it still has calls the
        // form's own procedure from now on.
        form_->WindowProc = saved_;
    }
}

TsSkinManager* TsSkinProvider::SkinManager() const { return skinData_->SkinManager(); }

void TsSkinProvider::SetSkinManager(TsSkinManager* m) { skinData_->SetSkinManager(m); }

void TsSkinProvider::LinkSectionChanged() { ncCache_.reset(); }

void TsSkinProvider::LinkManagerChanged(uint16_t command, TsSkinManager* manager)
{
    // The form re-skins or un-skins itself exactly as when the manager
    // announces a skin or its removal.
    if (form_ && !form_->IsDestroying())
        form_->Perform(SM_ALPHACMD, SkinWParam(command), reinterpret_cast<LPARAM>(manager));
}

void TsSkinProvider::Notification(tw::TComponent* component, tw::TOperation operation)
{
    tw::TComponent::Notification(component, operation);
    const bool inserted = operation == tw::opInsert;
    if (auto* m = dynamic_cast<TsSkinManager*>(component)) {
        if (inserted && !skinData_->SkinManager())
            skinData_->SetSkinManager(m);
        else if (!inserted && skinData_->SkinManager() == m)
            skinData_->SetSkinManager(nullptr);
        return;
    }
    auto* control = dynamic_cast<tw::TWinControl*>(component);
    if (inserted && control && control != form_ && ctrlAdapter_ && !IsDestroying() && ctrlAdapter_->CanAdapt(control))
        ctrlAdapter_->AdaptControl(control);
}

void TsSkinProvider::Loaded()
{
    tw::TComponent::Loaded();
    // The form's own properties are set by now: the colour it keeps without
    // the skin is the one it was designed with.
    if (form_ && !skinned_)
        ApplySkin();
}

bool TsSkinProvider::Showing() const
{
    return form_ && form_->HandleAllocated() && IsWindowVisible(form_->Handle());
}

void TsSkinProvider::InvalidateFrame()
{
    skinData_->BGChangedFlag = true;
    hotCode_ = -1;
    if (Showing())
        SendMessageW(form_->Handle(), WM_NCPAINT, 1, 0);
}

void TsSkinProvider::SetDrawNonClientArea(bool d)
{
    if (drawNonClient_ == d)
        return;
    drawNonClient_ = d;
    if (!form_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    if (!d) {
        SetExtBorders(false);
        SetSysMenuStyle(false);
        // The main menu's line goes back to the system's drawing (its
        // dropdowns stay skinned like every popup), and so do the form's own
        // scroll bars and theme.
        if (skinned_)
            PrepareFormMenus(true);
        formAdapter_.reset();
        if (TSetWindowTheme setTheme = SetWindowThemeProc())
            setTheme(wnd, nullptr, nullptr);
    } else if (skinned_) {
        SetSysMenuStyle(true);
        titleBg_.reset();
        PrepareFormMenus(true);
    }
    if (!d && !form_->IsDestroying())
        SetWindowRgn(wnd, nullptr, IsWindowVisible(wnd));
    regionSize_ = {-1, -1};
    skinData_->BGChangedFlag = true;
    if (d && skinned_)
        UpdateFormRegion();
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (d && skinned_) {
        SetExtBorders(SkinManager()->ExtendedBorders());
        if (IsWindowVisible(wnd))
            RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_FRAME);
        AttachAdapters();
    }
}

void TsSkinProvider::SetUseGlobalColor(bool u)
{
    if (useGlobalColor_ == u)
        return;
    useGlobalColor_ = u;
    if (!form_)
        return;
    if (u && skinned_ && !skinData_->CustomColor()) {
        TakeColor(true);
    } else {
        // Switched off, or on while nothing gives a skin colour: the form
        // shows the system's face, whatever colour it had.
        colorTaken_ = false;
        form_->SetColor(tw::clBtnFace);
    }
}

void TsSkinProvider::SetCaptionAlignment(tw::TAlignment a)
{
    if (captionAlignment_ == a)
        return;
    captionAlignment_ = a;
    InvalidateFrame();
}

void TsSkinProvider::SetShowAppIcon(bool s)
{
    if (showAppIcon_ == s)
        return;
    showAppIcon_ = s;
    InvalidateFrame();
}

void TsSkinProvider::SetGripMode(TsGripMode g)
{
    if (gripMode_ == g)
        return;
    gripMode_ = g;
    if (Showing())
        InvalidateRect(form_->Handle(), nullptr, TRUE);
}

void TsSkinProvider::SetTitleSkin(const std::string& s)
{
    if (titleSkin_ == s)
        return;
    titleSkin_ = s;
    regionSize_ = {-1, -1};
    if (skinned_)
        UpdateFormRegion();
    InvalidateFrame();
    if (borderForm_)
        UpdateBorderWindow(255);
}

void TsSkinProvider::SetAllowExtBorders(bool a)
{
    if (allowExtBorders_ == a)
        return;
    allowExtBorders_ = a;
    // The extended-border window itself comes with the border effects; the
    // frame is redrawn so a change is seen either way.
    skinData_->BGChangedFlag = true;
    if (!IsLoading() && skinned_)
        SetExtBorders(SkinManager()->ExtendedBorders());
    if (!IsLoading() && Showing())
        RedrawWindow(form_->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
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
    return form_ && !form_->IsDestroying() && form_->Tag() != acNoSkinTag && sm && sm->Active() &&
           sm->SkinIndexValid(sm->ConstData.IndexGlobalInfo) && !ExcludedByRules();
}

bool TsSkinProvider::ExcludedByRules() const
{
    // The class library's message box is a standard dialog: it wears the
    // skin only where standard dialogs do. Its class is known once the form
    // is whole, not yet when the hook runs.
    if (!givenToNewForm_ || !form_ || form_->ClassName() != "TMessageForm")
        return false;
    const TsSkinManager* sm = SkinManager();
    return sm && !(sm->SkinningRules & srStdDialogs);
}

TsSkinProvider* TsSkinProvider::GiveToNewForm(tw::TCustomForm* form)
{
    // The form is not built yet: the skin comes with its layout or window.
    auto* provider = new TsSkinProvider(form, false);
    provider->givenToNewForm_ = true;
    return provider;
}

void TsSkinProvider::ApplySkin()
{
    if (form_ && form_->Tag() == acNoSkinTag && registered_) {
        // Excluded forms (covers, halos) stay out of the skin-wide messages.
        RemoveSkinnedForm(form_);
        registered_ = false;
    }
    if (!CanSkin())
        return;
    if (!registered_) {
        AddSkinnedForm(form_);
        registered_ = true;
    }
    skinned_ = true;
    skinData_->UpdateIndexes();
    // Fades of the old skin's pictures end here.
    FreeButtonAnimations();
    hotCode_ = -1;
    pressed_ = false;
    skinData_->BGChangedFlag = true;
    if (useGlobalColor_ && !skinData_->CustomColor())
        TakeColor(true);
    for (int i = 0; i < titleButtons_.Count(); ++i) {
        TsTitleButton& b = titleButtons_.Items(i);
        b.ImageIndex = b.UseSkinData ? MaskIndex("TITLEBUTTON") : -1;
    }
    if (!systemMenu_) {
        systemMenu_ = new TsSystemMenu(this);
        systemMenu_->SetForm(form_);
    }
    systemMenu_->SetSkinManager(SkinManager());
    systemMenu_->UpdateItems();
    // While the manager is still reading a skin its menu sections may be
    // half there; the menus follow once the form is activated again.
    if (SkinLoading) {
        menusBehind_ = true;
    } else {
        PrepareFormMenus(true);
        menusBehind_ = false;
    }
    // The new skin's menu font and heights: the menu line is measured again.
    mainMenuRefreshed_ = false;
    menuRows_ = -1;
    if (InitMainMenu())
        mainMenuRefreshed_ = true;
    if (!form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    SetDwmTransitions(wnd, true);
    regionSize_ = {-1, -1};
    UpdateFormRegion();
    if (IsWindowVisible(wnd))
        RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE);
    AttachAdapters();
    SetSysMenuStyle(true);
    if (!IsLoading())
        SetExtBorders(SkinManager()->ExtendedBorders());
}

void TsSkinProvider::RemoveSkin()
{
    FreeButtonAnimations();
    ReleaseAdapters();
    SetExtBorders(false);
    if (!skinned_)
        return;
    if (form_->HandleAllocated() && !form_->IsDestroying()) {
        SetSysMenuStyle(false);
    }
    skinned_ = false;
    PrepareFormMenus(false);
    hotCode_ = -1;
    pressed_ = false;
    ncCache_.reset();
    titleBg_.reset();
    cutouts_.clear();
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

void TsSkinProvider::CallSaved(tw::TMessage& m)
{
    if (saved_)
        saved_(m);
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
    ms.Border = IsIconic(wnd) ? GetSystemMetrics(SM_CXFRAME) : left;
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
    if (!showAppIcon_ || (bs != tw::bsSingle && bs != tw::bsSizeable) || !(form_->BorderIcons() & tw::biSystemMenu))
        return TRect();
    const int own = titleIcon_.Width ? titleIcon_.Width : titleIcon_.Height;
    const int size = TitleIconSize(own, SkinManager()->SkinData.TitleHeight, true);
    const int left = ms.Border + SkinManager()->SkinData.BILeft;
    // Centred in the title strip; the extended title holds its top border.
    const int top = ExtActive() ? (ms.Border + ms.Title - size) / 2 : ms.Border + (ms.Title - size) / 2;
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
    const int w = MaskFrameWidth(mask), h = MaskFrameHeight(mask);
    return TRect(ms.Client.Right - w, ms.Client.Bottom - h, ms.Client.Right, ms.Client.Bottom);
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
    in.IconRect = IconRect(ms);
    in.GripRect = GripRect(ms);
    if (in.GripRect.Right <= in.GripRect.Left && formAdapter_ && formAdapter_->ShowsVertical() &&
        formAdapter_->ShowsHorizontal() && !IsZoomed(wnd)) {
        // Both scroll bars leave the corner between them: it sizes the
        // form as the grip does.
        const int grip = MaskIndex("GRIPIMAGE");
        if (SkinManager()->MaskIndexValid(grip)) {
            const TsMaskData& mask = SkinManager()->ma[size_t(grip)];
            const int w = MaskFrameWidth(mask), h = MaskFrameHeight(mask);
            in.GripRect = TRect(ms.Client.Right - w, ms.Client.Bottom - h, ms.Client.Right, ms.Client.Bottom);
        }
    }
    in.Help = (form_->BorderIcons() & tw::biHelp) != 0;
    in.Menu = MenuState();
    return in;
}

int TsSkinProvider::HitTest(TPoint screen)
{
    const TMeasures ms = Measure();
    layoutIn_ = CaptionInput(ms);
    buttons_ = LayoutCaptionButtons(layoutIn_);
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

void TsSkinProvider::SetHotButton(int code, bool repaint)
{
    if (!drawNonClient_)
        return;
    RedrawPendingMenuItem();
    if (code == hotCode_ || (hotCode_ == -1 && code == 0))
        return;
    const int old = hotCode_;
    hotCode_ = code;
    pressed_ = false;
    if (old >= htUserButton)
        HideButtonHint();
    // Only the buttons that change are drawn again.
    if (repaint && IsButtonCode(old))
        RepaintButton(old);
    if (repaint && IsButtonCode(code))
        RepaintButton(code);
    if (code >= htUserButton && Showing())
        ShowButtonHint(code);
}

void TsSkinProvider::RedrawPendingMenuItem()
{
    const TacPendingMenuItem* pending = PendingMenuLineItem();
    if (!pending)
        return;
    const TacPendingMenuItem p = *pending;
    HMENU bar = GetMenu(p.Wnd);
    const int count = bar ? GetMenuItemCount(bar) : 0;
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
        break;
    }
    // The item under the mouse keeps the look the system gave it.
    RECT wr;
    POINT cursor;
    if (GetWindowRect(p.Wnd, &wr) && GetCursorPos(&cursor) && cursor.x >= wr.left + p.Rect.Left &&
        cursor.x < wr.left + p.Rect.Right && cursor.y >= wr.top + p.Rect.Top && cursor.y < wr.top + p.Rect.Bottom)
        return;
    ClearPendingMenuLineItem();
    auto* menu = static_cast<tw::TMainMenu*>(p.Item->ParentItem()->GetParentMenu());
    if (TsSkinProvider* provider = FindProvider(menu->Form()))
        provider->RedrawMenuItem(p.Item, p.Rect);
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
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, shown.Left, shown.Top, shown.Right, shown.Bottom);
    TsSkinableMenus::Of(SkinManager())->DrawItem(item, canvas, r, state);
    RestoreDC(dc, saved);
    canvas.SetHandle(nullptr);
    TWindowDC wdc(form_->Handle());
    BitBlt(wdc.Handle(), shown.Left - f.Left, shown.Top - f.Top, shown.Width(), shown.Height(), dc, shown.Left,
           shown.Top, SRCCOPY);
}

TRect TsSkinProvider::DrawButton(int code, int forced)
{
    TsSkinManager* sm = SkinManager();
    HWND wnd = form_->Handle();
    const TPixelView view = ncCache_->PixelView();
    const TCacheInfo ci = MakeCacheInfo(view, 0, 0);
    const TSysMenuState menu = layoutIn_.Menu;
    TRect r;
    const char* large = nullptr;
    const char* small = nullptr;
    bool enabled = true;
    int mask = -1;
    switch (code) {
    case htClose:
        r = buttons_.Close, large = "BICONCLOSE", small = "SICONCLOSE";
        break;
    case htMaxButton:
        r = buttons_.Max;
        if (IsZoomed(wnd))
            large = small = "BICONNORM", enabled = menu.EnabledRestore;
        else
            large = "BICONMAX", small = "SICONMAX", enabled = menu.EnabledMax;
        break;
    case htMinButton:
        r = buttons_.Min;
        if (IsIconic(wnd))
            large = small = "BICONNORM", enabled = menu.EnabledRestore;
        else
            large = "BICONMIN", small = "SICONMIN", enabled = menu.EnabledMin;
        break;
    case htHelp:
        r = buttons_.Help, large = "BICONHELP", small = HelpMaskName(layoutIn_.Large);
        break;
    default: {
        const int i = code - htUserButton;
        if (i < 0 || i >= titleButtons_.Count() || size_t(i) >= buttons_.User.size())
            return TRect();
        const TsTitleButton& b = titleButtons_.Items(i);
        r = buttons_.User[size_t(i)];
        enabled = b.Enabled;
        mask = b.ImageIndex;
        break;
    }
    }
    if (r.Right <= r.Left || r.Bottom <= r.Top)
        return TRect();
    // The title strip behind it first, so a state drawn before leaves nothing.
    if (titleBg_)
        BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top,
               titleBg_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    if (large)
        mask = MaskIndex(layoutIn_.Large ? large : small);
    if (large && !sm->MaskIndexValid(mask) && std::string(large) == "BICONNORM")
        // The restore picture may be the form section's own.
        mask = sm->GetMaskIndex(skinData_->SkinIndex, skinData_->SkinSection(), "BICONNORM");
    int state = forced >= 0 ? forced : ButtonState(code);
    if (!enabled)
        state = 0;
    if (forced < 0)
        state = PaintedButtonState(Fx(code), state);
    if (sm->MaskIndexValid(mask)) {
        const int row = (!formActive_ || !enabled) && state == 0 ? 2 : 1;
        DrawMaskGlyph(view, TPoint(r.Left, r.Top), state, row, sm->ma[size_t(mask)], ci);
    }
    if (code >= htUserButton) {
        PaintUserGlyph(*ncCache_, titleButtons_.Items(code - htUserButton), r, state);
    }
    return r;
}

TRect TsSkinProvider::ButtonRect(int code) const
{
    switch (code) {
    case htClose: return buttons_.Close;
    case htMaxButton: return buttons_.Max;
    case htMinButton: return buttons_.Min;
    case htHelp: return buttons_.Help;
    default:
        if (code >= htUserButton && size_t(code - htUserButton) < buttons_.User.size())
            return buttons_.User[size_t(code - htUserButton)];
        return TRect();
    }
}

int TsSkinProvider::ButtonState(int code) const { return hotCode_ == code ? (pressed_ ? 2 : 1) : 0; }

TacButtonFx* TsSkinProvider::Fx(int code)
{
    switch (code) {
    case htClose: return &fx_[0];
    case htMaxButton: return &fx_[1];
    case htMinButton: return &fx_[2];
    case htHelp: return &fx_[3];
    default:
        if (code >= htUserButton && code - htUserButton < titleButtons_.Count())
            return &titleButtons_.Items(code - htUserButton).Fx;
        return nullptr;
    }
}

const TacButtonFx* TsSkinProvider::ButtonFx(int code) const { return const_cast<TsSkinProvider*>(this)->Fx(code); }

bool TsSkinProvider::FadesButton(const TacButtonFx& fx, int state) const
{
    return CaptionFadeAllowed(SkinManager(), borderForm_ != nullptr, fx.State, state);
}

void TsSkinProvider::RepaintButton(int code)
{
    TacButtonFx* fx = Fx(code);
    const int state = ButtonState(code);
    if (!skinned_ || !drawNonClient_ || changeLocked_ || !ncCache_ || captionDirty_ || skinData_->BGChangedFlag ||
        !Showing()) {
        // The whole frame is drawn again: a fade would blend old pictures.
        if (fx) {
            FreeBtnAnimation(fx->Animation);
            fx->State = state;
            if (state == 0)
                HideButtonGlow(*fx);
        }
        PaintNonClient();
        return;
    }
    if (fx && FadesButton(*fx, state)) {
        fx->State = state;
        const TacSBAnimationOwner owner{this, this, borderForm_.get(), form_->Handle(), skinData_.get()};
        // Hot in ten steps, pressed at once, and back without restarting.
        StartBtnAnimation(*fx, code, state, state == 2 ? 1 : 10, owner, state != 0);
        return;
    }
    if (fx) {
        FreeBtnAnimation(fx->Animation);
        fx->State = state;
    }
    const TRect r = DrawButton(code);
    if (fx && state != 0)
        ShowButtonGlow(code, *fx);
    PutButton(r);
}

void TsSkinProvider::PutButton(const TRect& r)
{
    if (r.Right <= r.Left || r.Bottom <= r.Top || !ncCache_ || changeLocked_ || !Showing() || AnimPaintDC)
        return;
    if (ExtActive()) {
        // The buttons lie on the extended border's title.
        UpdateBorderWindow(borderForm_->Alpha());
        return;
    }
    HWND wnd = form_->Handle();
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    BitBlt(dc, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, ncCache_->Canvas().Handle(), r.Left, r.Top, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
}

// ---------------------------------------------------------------------------
// Fades and halos of the caption buttons

namespace {

// A piece of a picture as a bitmap of its own.
void CopyPiece(tw::TBitmap& from, const TRect& r, tw::TBitmap& out)
{
    out.SetPixelFormat(tw::pf24bit);
    out.SetSize(r.Right - r.Left, r.Bottom - r.Top);
    BitBlt(out.Canvas().Handle(), 0, 0, out.Width(), out.Height(), from.Canvas().Handle(), r.Left, r.Top, SRCCOPY);
}

bool OnPicture(const TRect& r, const tw::TBitmap* bmp)
{
    return bmp && r.Right > r.Left && r.Bottom > r.Top && r.Left >= 0 && r.Top >= 0 && r.Right <= bmp->Width() &&
           r.Bottom <= bmp->Height();
}

} // namespace

bool TsSkinProvider::ButtonPicture(int code, int state, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return false;
    // Drawn into the frame picture and taken out again; the picture keeps
    // what the title shows.
    tw::TBitmap keep;
    CopyPiece(*ncCache_, r, keep);
    DrawButton(code, state);
    CopyPiece(*ncCache_, r, out);
    BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, keep.Width(), keep.Height(), keep.Canvas().Handle(), 0, 0,
           SRCCOPY);
    return true;
}

bool TsSkinProvider::ShownButtonPicture(int code, tw::TBitmap& out)
{
    const TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return false;
    CopyPiece(*ncCache_, r, out);
    return true;
}

void TsSkinProvider::ShowButtonPicture(int code, tw::TBitmap& picture)
{
    TRect r = ButtonRect(code);
    if (!skinned_ || !OnPicture(r, ncCache_.get()))
        return;
    // A frame made before the title was laid out again covers no more than it did.
    r.Right = r.Left + std::min(r.Right - r.Left, picture.Width());
    r.Bottom = r.Top + std::min(r.Bottom - r.Top, picture.Height());
    BitBlt(ncCache_->Canvas().Handle(), r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top, picture.Canvas().Handle(),
           0, 0, SRCCOPY);
    PutButton(r);
}

void TsSkinProvider::ButtonGlow(int code, bool show)
{
    TacButtonFx* fx = Fx(code);
    if (!fx)
        return;
    if (show)
        ShowButtonGlow(code, *fx);
    else
        HideButtonGlow(*fx);
}

void TsSkinProvider::ButtonFadeEnded(int code)
{
    if (!skinned_ || !ncCache_)
        return;
    PutButton(DrawButton(code));
}

void TsSkinProvider::ShowButtonGlow(int code, TacButtonFx& fx)
{
    if (!Showing())
        return;
    HWND wnd = form_->Handle();
    const TRect r = ButtonRect(code);
    RECT wr;
    GetWindowRect(wnd, &wr);
    if (ExtActive()) {
        // The button lies on the extended border's title.
        const TRect f = ExtendedFrame();
        wr.left -= f.Left;
        wr.top -= f.Top;
    }
    const TRect screen(wr.left + r.Left, wr.top + r.Top, wr.left + r.Right, wr.top + r.Bottom);
    HWND host = form_->Parent() ? form_->Parent()->HandleIfAllocated() : wnd;
    ShowCaptionGlow(fx, SkinManager(), TCaptionGlyph{code, layoutIn_.Large, IsZoomed(wnd) != 0, IsIconic(wnd) != 0},
                    screen, host);
}

void TsSkinProvider::HideButtonGlow(TacButtonFx& fx) { HideCaptionGlow(fx); }

void TsSkinProvider::FreeButtonAnimations()
{
    for (TacButtonFx& fx : fx_) {
        FreeBtnAnimation(fx.Animation);
        HideButtonGlow(fx);
        fx.State = 0;
    }
    for (int i = 0; i < titleButtons_.Count(); ++i) {
        TacButtonFx& fx = titleButtons_.Items(i).Fx;
        FreeBtnAnimation(fx.Animation);
        HideButtonGlow(fx);
        fx.State = 0;
    }
}

void TsSkinProvider::ButtonUp(int code, LPARAM lp)
{
    const bool was = pressed_ && hotCode_ == code;
    pressed_ = false;
    if (was && code == htClose)
        // The form goes: the button is left as it is on the screen.
        SetHotButton(0, false);
    else if (IsButtonCode(code))
        RepaintButton(code);
    if (!was)
        return;
    HWND wnd = form_->Handle();
    if (code >= htUserButton) {
        const int i = code - htUserButton;
        if (i < titleButtons_.Count()) {
            TsTitleButton& b = titleButtons_.Items(i);
            b.State = 0;
            if (b.OnMouseUp)
                b.OnMouseUp(b, 0, PointOf(lp));
        }
        return;
    }
    WPARAM command = 0;
    switch (code) {
    case htClose: command = SC_CLOSE; break;
    case htMaxButton: command = IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE; break;
    case htMinButton:
        // The main form's minimize takes the whole program down with it.
        if (tw::Application && tw::Application->MainForm() == form_) {
            command = SC_MINIMIZE;
            skinData_->BGChangedFlag = true;
        } else {
            command = IsIconic(wnd) ? SC_RESTORE : SC_MINIMIZE;
        }
        break;
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
    HRGN rgn = CreateRectRgn(dx, dy, dx + wr.right - wr.left, dy + wr.bottom - wr.top);
    for (const TRect& r : cutouts_) {
        HRGN piece = CreateRectRgn(dx + r.Left, dy + r.Top, dx + r.Right, dy + r.Bottom);
        CombineRgn(rgn, rgn, piece, RGN_DIFF);
        DeleteObject(piece);
    }
    return rgn;
}

void TsSkinProvider::UpdateFormRegion()
{
    if (!skinned_ || !drawNonClient_ || regionBusy_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    if (form_->BorderStyle() == tw::bsNone && !IsIconic(wnd))
        return;
    // A window that keeps a region of its own says so; once the frame has
    // been painted whole the provider's region stands.
    if (!firstPainted_ && SendMessageW(wnd, CM_OWNREGIONQUERY, kOwnRegionAnswer, 0) == LRESULT(kOwnRegionAnswer))
        return;
    if (form_->Parent()) {
        SetWindowRgn(wnd, nullptr, TRUE);
        return;
    }
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE size{wr.right - wr.left, wr.bottom - wr.top};
    const bool zoomed = IsZoomed(wnd);
    if (size.cx == regionSize_.cx && size.cy == regionSize_.cy)
        return;
    regionSize_ = size;
    regionBusy_ = true;
    HRGN rgn = nullptr;
    if (ExtActive()) {
        // The extended border draws the title and the frame outside the
        // form's own client (and menu line).
        const int b = FormBorderWidth(false);
        const int t = b + TitleBarHeight(false) - (titleRaised_ ? 4 : 0);
        rgn = CreateRectRgn(b, t, size.cx - b, size.cy - b);
        CollectBorderCutouts();
    } else if (zoomed) {
        const int b = Measure().Border;
        const TRect r = MaximizedRegionRect(size.cx, size.cy, b, b);
        rgn = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
        cutouts_.clear();
    } else {
        CollectBorderCutouts();
        rgn = MakeFormRegion(0, 0);
    }
    skinData_->BGChangedFlag = true;
    // The system owns the region once it is set.
    SetWindowRgn(wnd, rgn, IsWindowVisible(wnd));
    regionBusy_ = false;
}

HRGN TsSkinProvider::AnimationRegion()
{
    if (!skinned_ || !drawNonClient_ || form_->Parent() || !form_->HandleAllocated() ||
        form_->BorderStyle() == tw::bsNone)
        return nullptr;
    CollectBorderCutouts();
    return MakeFormRegion(0, 0);
}

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
    const uint32_t time =
        m.WParam && drawNonClient_ && skinData_->BGChangedFlag && !AnimationRunning ? ShowAnimationTime() : 0;
    // The manager's extended borders may have changed while the form was
    // hidden: the form is shown with the ones it has now.
    if (m.WParam && drawNonClient_ && skinData_->BGChangedFlag && SkinManager() && form_->HandleAllocated())
        SetExtBorders(SkinManager()->ExtendedBorders());
    if (time == 0) {
        CallSaved(m);
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
        void Opaque()
        {
            if (Transparent && IsWindow(Wnd))
                SetWindowLongPtrW(Wnd, GWL_EXSTYLE, GetWindowLongPtrW(Wnd, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_LAYERED));
            Transparent = false;
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
            if (Children.empty() && !Transparent && !Provider.changeLocked_)
                return;
            ChildrenDraw();
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
    // The children draw once, into the faded picture, not on the screen.
    for (HWND c = GetWindow(wnd, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (IsWindowVisible(c)) {
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
    steps.ChildrenDraw();
    // OnShow may have hidden it again.
    if (form_->Visible() && IsWindowVisible(wnd)) {
        // The form stays transparent while the fade runs over it: the overlay
        // captures what lies below it, and printing it still works.
        AnimShowControl(form_, time);
    }
    steps.Opaque();
    regionSize_ = {-1, -1};
    UpdateFormRegion();
    steps.Unlock();
    if (IsWindowVisible(wnd))
        RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
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
        const int title = Measure().Title;
        int c = 0;
        if ((style & WS_CAPTION) == WS_CAPTION)
            c = title > s + b ? title - s - b : b;
        const TsSkinData& sd = SkinManager()->SkinData;
        const int d = sd.TitleHeight != sd.MaxHeight ? sd.TitleHeight - sd.MaxHeight + sd.CenterOffset : 0;
        // The frame the system draws lies beyond the work area on each side.
        mmi->ptMaxPosition.x = w.left - mi.rcMonitor.left - b;
        mmi->ptMaxPosition.y = w.top - mi.rcMonitor.top + c - b - d;
        mmi->ptMaxSize.x = (w.right - w.left) + 2 * b;
        mmi->ptMaxSize.y = 2 * b + (w.bottom - w.top) - c + d;
        m.Result = 0;
    }
    CallSaved(m);
}

bool TsSkinProvider::PictureOutdated(const TMeasures& ms) const
{
    return !ncCache_ || captionDirty_ || skinData_->BGChangedFlag || ncCache_->Width() != ms.Width ||
           ncCache_->Height() != ms.Height;
}

void TsSkinProvider::BuildNonClientPicture(const TMeasures& ms)
{
    captionDirty_ = false;
    TsSkinManager* sm = SkinManager();
    layoutIn_ = CaptionInput(ms);
    buttons_ = LayoutCaptionButtons(layoutIn_);
    ncCache_ = std::make_unique<tw::TBitmap>(ms.Width, ms.Height, tw::pf24bit);
    tw::TBitmap& bmp = *ncCache_;
    const TColor face = ColorToRGB(clSysBtnFace);
    PaintItemByName(bmp, skinData_->SkinSection(), "", formActive_ ? 1 : 0, sm, {0, 0}, face, nullptr);
    const int titleBottom = ms.Border + ms.Title;
    titleBg_.reset();
    if (form_->BorderStyle() == tw::bsNone || titleBottom <= 0) {
        skinData_->BGChangedFlag = false;
        PaintOwnerIntoPicture(ms);
        return;
    }
    const std::string titleSection = titleSkin_.empty() ? std::string("FORMTITLE") : titleSkin_;
    tw::TBitmap title(ms.Width, titleBottom, tw::pf24bit);
    PaintItemByName(title, titleSection, "", formActive_ ? 1 : 0, sm, {0, 0}, face, nullptr);
    BitBlt(bmp.Canvas().Handle(), 0, 0, ms.Width, titleBottom, title.Canvas().Handle(), 0, 0, SRCCOPY);

    const TRect icon = IconRect(ms);
    PaintAppIcon(bmp, icon, titleBottom);
    PaintTitleBarMask(bmp, ms);

    // Caption text between the icon and the buttons: the icon's rectangle
    // already starts after the skin's left inset, which counts only once.
    TRect text(ms.Border + icon.Width() + 4 + sm->SkinData.BILeft, ms.Border,
               ms.Width - TitleButtonsWidth(layoutIn_) - 6, titleBottom);
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
        const UINT align = captionAlignment_ == tw::taCenter        ? DT_CENTER
                           : captionAlignment_ == tw::taRightJustify ? DT_RIGHT
                                                                     : DT_LEFT;
        WriteSectionText(&bmp.Canvas(), caption.c_str(), true, text,
                         align | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX,
                         sm->GetSkinIndex(titleSection), formActive_, sm);
        if (old) SelectObject(bmp.Canvas().Handle(), old);
        if (bold) DeleteObject(bold);
        if (font) DeleteObject(font);
    }

    // The strip behind the buttons is kept, then the buttons in their states.
    titleBg_ = std::make_unique<tw::TBitmap>(ms.Width, titleBottom, tw::pf24bit);
    BitBlt(titleBg_->Canvas().Handle(), 0, 0, ms.Width, titleBottom, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    for (int code : {htClose, htMaxButton, htMinButton, htHelp})
        DrawButton(code);
    for (int i = 0; i < titleButtons_.Count(); ++i)
        DrawButton(htUserButton + i);
    skinData_->BGChangedFlag = false;
    PaintOwnerIntoPicture(ms);
}

void TsSkinProvider::PaintOwnerIntoPicture(const TMeasures& ms)
{
    // What the form draws itself belongs to its background: the controls
    // that take their piece of the picture show it behind them too.
    if (!form_->OnPaint || !ncCache_ || !skinData_->HotStateAllowed() || ms.Client.Right <= ms.Client.Left ||
        ms.Client.Bottom <= ms.Client.Top)
        return;
    HDC dc = ncCache_->Canvas().Handle();
    const int saved = SaveDC(dc);
    OffsetViewportOrgEx(dc, ms.Client.Left, ms.Client.Top, nullptr);
    IntersectClipRect(dc, 0, 0, ms.Client.Right - ms.Client.Left, ms.Client.Bottom - ms.Client.Top);
    RunOnPaint(dc);
    RestoreDC(dc, saved);
}

void TsSkinProvider::PaintNonClient()
{
    if (!skinned_ || !drawNonClient_ || changeLocked_ || !form_->HandleAllocated())
        return;
    HWND wnd = form_->Handle();
    const TMeasures ms = Measure();
    if (ms.Width <= 0 || ms.Height <= 0)
        return;
    if (PictureOutdated(ms))
        BuildNonClientPicture(ms);
    else {
        // The same picture; only the button states may have changed.
        layoutIn_ = CaptionInput(ms);
        buttons_ = LayoutCaptionButtons(layoutIn_);
        for (int code : {htClose, htMaxButton, htMinButton, htHelp})
            DrawButton(code);
        for (int i = 0; i < titleButtons_.Count(); ++i)
            DrawButton(htUserButton + i);
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
    HDC dc = GetWindowDC(wnd);
    if (!dc)
        return;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, ms.Client.Left, ms.Client.Top, ms.Client.Right, ms.Client.Bottom);
    // The menu line is the system's unless the menus are drawn from the skin.
    if (MenuLineSkinned())
        PaintSkinnedMenuLine(ms);
    else if (ms.MenuRect.Right > ms.MenuRect.Left)
        ExcludeClipRect(dc, ms.MenuRect.Left, ms.MenuRect.Top, ms.MenuRect.Right, ms.MenuRect.Bottom);
    BitBlt(dc, 0, 0, ms.Width, ms.Height, ncCache_->Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
    ReleaseDC(wnd, dc);
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

// ---------------------------------------------------------------------------
// Menus: the menu line painted from the skin, the form's menus switched to
// the skinned painter, and the system menu of the title.

bool TsSkinProvider::InitMainMenu()
{
    // Laying the line out again sends the form's own messages, which may
    // come back here.
    static bool busy = false;
    if (busy || !form_ || !form_->HandleAllocated())
        return false;
    tw::TMainMenu* menu = form_->Menu();
    HWND wnd = form_->Handle();
    HMENU bar = GetMenu(wnd);
    if (!menu || !bar || menu->Items()->Count() == 0 || GetMenuItemCount(bar) <= 0)
        return false;
    busy = true;
    // Setting the first item again drops the sizes the system keeps for the
    // line: every item is measured anew the next time it is shown.
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID | MIIM_STATE;
    bool done = false;
    if (GetMenuItemInfoW(bar, 0, TRUE, &mi)) {
        done = SetMenuItemInfoW(bar, 0, TRUE, &mi) != FALSE;
        DrawMenuBar(wnd);
    }
    busy = false;
    return done;
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

void TsSkinProvider::CatchUpMenus()
{
    if (!menusBehind_ || !skinned_ || SkinLoading)
        return;
    menusBehind_ = false;
    PrepareFormMenus(true);
}

void TsSkinProvider::PrepareFormMenus(bool skinned)
{
    TsSkinManager* sm = SkinManager();
    // Only the default manager's service paints menus (one look per program).
    if (!form_ || !sm || sm != DefaultManager)
        return;
    TsSkinableMenus* service = TsSkinableMenus::Of(sm);
    service->UpdateFromSkin();
    const bool on = skinned && service->Active();
    // A main menu's line is skinned only with the provider's own frame; its
    // dropdowns follow the popups, also under the system's frame. Each item
    // once, however many ways lead to it.
    std::set<tw::TMenuItem*> done;
    std::function<void(tw::TMenuItem*)> prepareItems = [&](tw::TMenuItem* parent) {
        for (int k = 0; k < parent->Count(); ++k) {
            tw::TMenuItem* item = parent->Items(k);
            if (done.insert(item).second) {
                service->PrepareMenu(item, on);
                prepareItems(item);
            }
        }
    };
    auto prepareMain = [&](tw::TMainMenu* main) {
        if (!done.insert(main->Items()).second)
            return;
        service->PrepareMainMenu(main, on && drawNonClient_);
        prepareItems(main->Items());
    };
    if (form_->Menu())
        prepareMain(form_->Menu());
    for (int i = 0; i < form_->ComponentCount(); ++i) {
        tw::TComponent* c = form_->Components(i);
        if (auto* main = dynamic_cast<tw::TMainMenu*>(c)) {
            prepareMain(main);
        } else if (auto* popup = dynamic_cast<tw::TPopupMenu*>(c)) {
            service->PrepareMenu(popup, on);
        } else if (auto* item = dynamic_cast<tw::TMenuItem*>(c)) {
            if (auto* main = dynamic_cast<tw::TMainMenu*>(item->GetParentMenu()))
                prepareMain(main);
            else if (done.insert(item).second)
                service->PrepareMenu(item, on);
        }
    }
    if (systemMenu_)
        service->PrepareMenu(systemMenu_, on);
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
    const int saved = SaveDC(dc);
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
    RestoreDC(dc, saved);
    canvas.SetHandle(nullptr);
}

void TsSkinProvider::ShowSystemMenuUnderIcon()
{
    const TMeasures ms = Measure();
    RECT wr;
    GetWindowRect(form_->Handle(), &wr);
    ShowSystemMenu(wr.left + ms.Border, wr.top + ms.Border + ms.Title);
}

void TsSkinProvider::ShowSystemMenu(int x, int y)
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
        systemMenu_->Popup(x, y);
        return;
    }
    // The system's own menu, its commands set by what the drawn frame
    // allows; with the window marked invisible the system draws no caption
    // while it prepares the menu.
    HMENU menu = GetSystemMenu(wnd, FALSE);
    if (!menu)
        return;
    TsSystemMenu probe(nullptr);
    probe.SetForm(form_);
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    SetWindowLongPtrW(wnd, GWL_STYLE, style & ~LONG_PTR(WS_VISIBLE));
    auto enable = [menu](UINT cmd, bool on) {
        EnableMenuItem(menu, cmd, MF_BYCOMMAND | (on ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
    };
    enable(SC_RESTORE, probe.RestoreAllowed());
    enable(SC_MOVE, !IsZoomed(wnd) && !IsIconic(wnd));
    enable(SC_SIZE, probe.SizeAllowed());
    enable(SC_MINIMIZE, probe.VisibleMin() && probe.EnabledMin());
    enable(SC_MAXIMIZE, probe.VisibleMax() && probe.EnabledMax());
    enable(SC_CLOSE, probe.VisibleClose());
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | (style & WS_VISIBLE));
    const UINT cmd = UINT(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, wnd, nullptr));
    if (cmd)
        PostMessageW(wnd, WM_SYSCOMMAND, cmd, 0);
}

bool TsSkinProvider::SecondClickOnIcon()
{
    // A double click on the icon closes the form: the menu waits that long
    // for a second click, which is left in the queue (nothing is dispatched
    // meanwhile, so the form cannot go away under us). The manager may have
    // the menu open at once.
    sysMenuDoubleClick_ = false;
    const TsSkinManager* sm = SkinManager();
    if (sm && sm->NoSystemMenuWait)
        return false;
    HWND wnd = form_->Handle();
    const DWORD start = GetTickCount();
    MSG next;
    while (GetTickCount() - start < 200) {
        if (PeekMessageW(&next, wnd, WM_NCLBUTTONDOWN, WM_NCLBUTTONDBLCLK, PM_NOREMOVE)) {
            sysMenuDoubleClick_ = true;
            break;
        }
        Sleep(10);
    }
    return sysMenuDoubleClick_;
}

bool TsSkinProvider::SystemMenuMessage(tw::TMessage& m)
{
    if (!drawNonClient_ || !form_->HandleAllocated() || form_->BorderStyle() == tw::bsNone)
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
    case WM_NCRBUTTONDOWN:
        if (int(m.WParam) != htCaption && int(m.WParam) != htSysMenu)
            return false;
        m.Result = 0;
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------------------
// The window procedure: a first pass over the skin messages whatever the
// state, then the skinned dispatch, or everything to the form's own
// procedure while no skin is applied.

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
        if (command == AC_SKINLOADED) {
            // The provider's own business: the controls hear of the new
            // skin from the manager's broadcast, the form's own procedure
            // does not.
            if (own)
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
        PrepareFormMenus(skinData_->Skinned());
        menusBehind_ = false;
    }
    // The frame's corners may be cut otherwise now: the region is made
    // again once the form shows.
    if (form_->BorderStyle() != tw::bsNone)
        regionSize_ = {-1, -1};
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
            if (ms.Width > 0 && ms.Height > 0 && PictureOutdated(ms))
                BuildNonClientPicture(ms);
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
        // transparent control); on the title the system's caption
        // buttons and icon are not there, so its answer is only taken
        // where it agrees with the drawn title.
        CallSaved(m);
        if (code == htCaption && m.Result != HTCAPTION && m.Result != HTCLIENT)
            m.Result = code;
        return;
    }
    SetHotButton(IsButtonCode(code) ? code : 0);
    m.Result = code;
}

void TsSkinProvider::Print(tw::TMessage& m)
{
    HWND wnd = form_->Handle();
    // The frame and the client come from the skin's picture; the child
    // windows print themselves.
    HDC dc = reinterpret_cast<HDC>(m.WParam);
    if (!dc || !IsWindowVisible(wnd) || form_->IsLoading())
        return;
    const TMeasures ms = Measure();
    if ((m.LParam & PRF_NONCLIENT) && !drawNonClient_)
        // The system's frame, drawn by the system alone.
        DefWindowProcW(wnd, WM_PRINT, m.WParam, PRF_NONCLIENT);
    if ((m.LParam & PRF_NONCLIENT) && drawNonClient_) {
        if (PictureOutdated(ms))
            BuildNonClientPicture(ms);
        if (MenuLineSkinned())
            PaintSkinnedMenuLine(ms);
        const int saved = SaveDC(dc);
        // The extended picture starts left of and above the window.
        const TRect f = ExtActive() ? ExtendedFrame() : TRect();
        OffsetViewportOrgEx(dc, -f.Left, -f.Top, nullptr);
        ExcludeClipRect(dc, ms.Client.Left, ms.Client.Top, ms.Client.Right, ms.Client.Bottom);
        BitBlt(dc, 0, 0, ms.Width, ms.Height, ncCache_->Canvas().Handle(), 0, 0, SRCCOPY);
        RestoreDC(dc, saved);
        m.LParam &= ~LPARAM(PRF_NONCLIENT);
    }
    if (m.LParam & (PRF_CLIENT | PRF_ERASEBKGND)) {
        // The client as the screen shows it: the form's picture, the owner's
        // drawing and the graphic controls; the windows on it print
        // themselves. The DC's origin is the window's corner (the picture
        // may start further out, beyond the window).
        const TRect client = GetClientRectInWindow(wnd);
        const int saved = SaveDC(dc);
        OffsetViewportOrgEx(dc, client.Left, client.Top, nullptr);
        IntersectClipRect(dc, 0, 0, client.Right - client.Left, client.Bottom - client.Top);
        PaintClient(dc, false);
        RunOnPaint(dc);
        RestoreDC(dc, saved);
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
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        HWND c = *it;
        if (!IsWindowVisible(c))
            continue;
        RECT cr;
        GetWindowRect(c, &cr);
        const int saved = SaveDC(dc);
        OffsetViewportOrgEx(dc, cr.left - wr.left, cr.top - wr.top, nullptr);
        IntersectClipRect(dc, 0, 0, cr.right - cr.left, cr.bottom - cr.top);
        SendMessageW(c, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags | PRF_CHECKVISIBLE);
        RestoreDC(dc, saved);
    }
}

void TsSkinProvider::SkinnedDispatch(tw::TMessage& m)
{
    HWND wnd = form_->HandleAllocated() ? form_->Handle() : nullptr;
    if (SystemMenuMessage(m))
        return;
    if (ClientMessage(m))
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
                PrepareFormMenus(skinned_);
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
            for (TacButtonFx& fx : fx_)
                HideButtonGlow(fx);
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
        // The compositor draws the windows off screen: an outline drawn on
        // the desktop would not be seen, so the system moves and sizes.
        if (resizeMode_ == rmBorder && DwmCompositionEnabled())
            resizeMode_ = rmStandard;
        // Nothing of the system's frame while the form is not on screen.
        if (Showing() && !changeLocked_) {
            PaintNonClient();
            if (!MenuLineSkinned())
                PaintMenuLine();
        }
        m.Result = 0;
        return;
    case WM_NCACTIVATE:
        // Before the frame is drawn: the menu line may be one of them.
        CatchUpMenus();
        if (!drawNonClient_)
            break;
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
    case WM_NCLBUTTONDOWN: {
        const int code = int(m.WParam);
        if (!drawNonClient_ && code == htSysMenu && form_->BorderStyle() != tw::bsNone) {
            // The system's frame, the skin's menu; a double click on the
            // icon still closes the form (the system's frame does that).
            if (!SecondClickOnIcon())
                ShowSystemMenuUnderIcon();
            m.Result = 0;
            return;
        }
        if (resizeMode_ == rmBorder && !g_drag.Owner && IsFrameCode(code) && !IsZoomed(wnd)) {
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            BeginOutline(code, PointOf(m.LParam));
            m.Result = 0;
            return;
        }
        if (drawNonClient_ && IsButtonCode(code)) {
            if (code == htMaxButton) {
                // A maximize button the system menu does not allow is shown
                // disabled: it takes no press.
                const TSysMenuState menu = MenuState();
                if (!menu.EnabledMax && !(IsZoomed(wnd) && menu.EnabledRestore)) {
                    SetHotButton(0);
                    m.Result = 0;
                    return;
                }
            }
            hotCode_ = code;
            pressed_ = true;
            HideButtonHint();
            RepaintButton(code);
            if (code >= htUserButton && code - htUserButton < titleButtons_.Count()) {
                TsTitleButton& b = titleButtons_.Items(code - htUserButton);
                b.State = 2;
                if (b.OnMouseDown)
                    b.OnMouseDown(b, 0, PointOf(m.LParam));
            }
            m.Result = 0;
            return;
        }
        if (drawNonClient_ && code == htSysMenu && sysMenuRemoved_) {
            // Under the icon, as the system shows its own.
            const TMeasures ms = Measure();
            const TRect icon = IconRect(ms);
            RECT wr;
            GetWindowRect(wnd, &wr);
            PopupSystemMenu(POINT{wr.left + icon.Left, wr.top + ms.Border + ms.Title});
            m.Result = 0;
            return;
        }
        // A click on the title of a maximized form only activates it.
        if (drawNonClient_ && code == htCaption && IsZoomed(wnd)) {
            if (GetActiveWindow() != wnd)
                SetActiveWindow(wnd);
            m.Result = 0;
            return;
        }
        break;
    }
    case WM_NCLBUTTONDBLCLK: {
        const int code = int(m.WParam);
        if (!drawNonClient_)
            break;
        if (IsButtonCode(code)) {
            hotCode_ = code;
            pressed_ = true;
            RepaintButton(code);
            m.Result = 0;
            return;
        }
        if (code == htSysMenu) {
            PostMessageW(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
            m.Result = 0;
            return;
        }
        if (code == htCaption) {
            const TSysMenuState s = MenuState();
            if (s.VisibleClose && (s.EnabledMax || s.EnabledRestore))
                PostMessageW(wnd, WM_SYSCOMMAND, IsZoomed(wnd) || IsIconic(wnd) ? SC_RESTORE : SC_MAXIMIZE, 0);
            m.Result = 0;
            return;
        }
        break;
    }
    case WM_MOUSEMOVE:
        if (Dragging()) {
            POINT p{short(LOWORD(m.LParam)), short(HIWORD(m.LParam))};
            ClientToScreen(wnd, &p);
            FollowOutline(TPoint(p.x, p.y));
            m.Result = 0;
            return;
        }
        CallSaved(m);
        // The pointer is over the form itself: no control of it is hot.
        if (DefaultManager && !(DefaultManager->ComponentState() & tw::csDesigning))
            SetManagerActiveControl(*DefaultManager, nullptr);
        return;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        // The click that ends a drag started from the system menu is not
        // the form's.
        if (Dragging()) {
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
                return;
            }
            if (code == htMinButton) {
                // The press counts only where the button is.
                RECT wr;
                GetWindowRect(wnd, &wr);
                const TRect f = ExtActive() ? ExtendedFrame() : TRect();
                const TPoint at = PointOf(m.LParam);
                if (!ButtonRect(code).Contains(TPoint(at.X - wr.left + f.Left, at.Y - wr.top + f.Top)))
                    break;
            }
            ButtonUp(code, m.LParam);
            m.Result = 0;
            return;
        }
        if (pressed_) {
            // Released off the button: the press ends without a command.
            pressed_ = false;
            SetHotButton(0);
        }
        break;
    case WM_NCRBUTTONUP: {
        if (!drawNonClient_ || !wnd || form_->BorderStyle() == tw::bsNone)
            break;
        // The code the button went up over, as the drawn frame answers it.
        const TPoint at = PointOf(m.LParam);
        int code = int(m.WParam);
        if (code == HTTRANSPARENT && ExtActive())
            code = ExtendedHitTest(POINT{at.X, at.Y});
        else
            code = HitTest(at);
        if (code == htCaption || code == htSysMenu) {
            SetHotButton(0);
            PopupSystemMenu(POINT{at.X, at.Y});
        }
        m.Result = 0;
        return;
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
            return;
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
                PopupSystemMenu(POINT{wr.left + ms.Client.Left, wr.top + ms.Client.Top});
            }
            m.Result = 0;
            return;
        }
        if (kind == SC_MAXIMIZE || kind == SC_RESTORE) {
            pressed_ = false;
            SetHotButton(0);
            if (kind == SC_RESTORE) {
                skinData_->BGChangedFlag = true;
                RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
            }
        } else if (kind == SC_MINIMIZE) {
            ncCache_.reset();
        }
        return;
    }
    case WM_INITMENUPOPUP:
        // The drawn frame is sized by the mouse only.
        if (HIWORD(m.LParam))
            EnableMenuItem(reinterpret_cast<HMENU>(m.WParam), SC_SIZE, MF_BYCOMMAND | MF_GRAYED);
        break;
    case WM_ENTERIDLE:
        m.Result = 0;
        return;
    case CM_OWNREGIONQUERY:
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
    case tw::CM_ENABLEDCHANGED:
        CallSaved(m);
        if (drawNonClient_) {
            skinData_->BGChangedFlag = true;
            if (Showing())
                SendMessageW(wnd, WM_NCPAINT, 1, 0);
        }
        return;
    case WM_SETTINGCHANGE:
        skinData_->BGChangedFlag = true;
        break;
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

// ---------------------------------------------------------------------------
// Adapters of the skinned state

void TsSkinProvider::CreateCtrlAdapter()
{
    if (!skinned_ || !form_ || form_->IsDestroying())
        return;
    if (!ctrlAdapter_) {
        ctrlAdapter_ = std::make_unique<TacCtrlAdapter>(form_, SkinManager());
        ctrlAdapter_->OnSkinItem = [this](tw::TComponent* item, bool& canBeAdded, std::string& section) {
            if (OnSkinItem)
                OnSkinItem(item, canBeAdded, section);
        };
    }
    ctrlAdapter_->AdaptControls();
}

void TsSkinProvider::AttachAdapters()
{
    if (!skinned_ || !form_ || form_->IsDestroying() || !form_->HandleAllocated())
        return;
    // The form's own scroll bars, when it shows any.
    if (WantsScrollAdapter(form_->Handle()))
        AttachScrollAdapter(skinData_.get(), form_->Handle(), formAdapter_);
    CreateCtrlAdapter();
    ctrlAdapter_->Refresh();
}

// ---------------------------------------------------------------------------
// Extended borders and the system menu's style

void TsSkinProvider::SetExtBorders(bool on)
{
    const bool can = on && skinned_ && form_ && !form_->IsDestroying() && form_->HandleAllocated() && drawNonClient_ &&
                     allowExtBorders_ && form_->BorderStyle() != tw::bsNone && !form_->Parent();
    if (!can) {
        if (borderForm_) {
            borderForm_.reset();
            if (!form_ || form_->IsDestroying())
                return;
            // The form draws its own frame again, in its own coordinates.
            titleRaised_ = false;
            ncCache_.reset();
            skinData_->BGChangedFlag = true;
            regionSize_ = {-1, -1};
            UpdateFormRegion();
        }
        return;
    }
    if (!borderForm_) {
        borderForm_ = std::make_unique<TacBorderForm>(form_->Handle(), SkinManager());
        borderForm_->SkinData = skinData_.get();
        borderForm_->SetActive(formActive_);
        borderForm_->OnDestroy = [this] { FreeButtonAnimations(); };
        borderForm_->OnHitTest = [this](POINT p) {
            if (!OnExtHitTest)
                return 0;
            // Unanswered, the message keeps HTTRANSPARENT.
            tw::TMessage msg{WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y), HTTRANSPARENT};
            OnExtHitTest(msg);
            return msg.Result == HTTRANSPARENT ? 0 : int(msg.Result);
        };
        borderForm_->OnTitleHitTest = [this](POINT p) { return ExtendedHitTest(p); };
        borderForm_->OnFrameExtent = [this] { return ExtActive() ? ExtendedFrame() : TRect(); };
        borderForm_->OnPaintFrame = [this](const tw::TPixelView& v, const TRect& inner) {
            if (ExtActive())
                PaintExtendedFrame(v, inner);
        };
        skinData_->BGChangedFlag = true;
        ncCache_.reset();
        regionSize_ = {-1, -1};
        UpdateFormRegion();
    }
    UpdateBorderWindow(255);
}

void TsSkinProvider::UpdateBorderWindow(uint8_t alpha)
{
    // Without layered windows there is nothing to show it with.
    if (borderForm_ && !borderForm_->UpdateBorderWindow(true, alpha))
        SetExtBorders(false);
}

TRect TsSkinProvider::ExtBorderMargins() const
{
    return borderForm_ ? borderForm_->Margins() : TRect();
}

void TsSkinProvider::SetSysMenuStyle(bool active)
{
    if (!form_ || !form_->HandleAllocated())
        return;
    const HWND wnd = form_->Handle();
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    if (active) {
        // A form designed without a system menu never gains one.
        if (!(style & WS_SYSMENU) && !sysMenuRemoved_)
            return;
        // The menu itself is made while the style is there, so it stays.
        GetSystemMenu(wnd, FALSE);
        SetWindowLongPtrW(wnd, GWL_STYLE, drawNonClient_ ? style & ~LONG_PTR(WS_SYSMENU) : style | WS_SYSMENU);
        sysMenuRemoved_ = drawNonClient_;
    } else if (sysMenuRemoved_) {
        SetWindowLongPtrW(wnd, GWL_STYLE, style | WS_SYSMENU);
        sysMenuRemoved_ = false;
    }
}

void TsSkinProvider::PopupSystemMenu(POINT screen)
{
    ShowSystemMenu(screen.x, screen.y);
}

void TsSkinProvider::ReleaseAdapters()
{
    // The controls' windows get their own procedures back before the form's;
    // the controls hear first that the skin goes (not while they are freed).
    if (ctrlAdapter_ && form_ && !form_->IsDestroying()) {
        tw::TMessage removed{SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(SkinManager()), 0};
        ctrlAdapter_->SkinMessage(removed);
    }
    ctrlAdapter_.reset();
    formAdapter_.reset();
}

// ---------------------------------------------------------------------------

namespace {

void GiveFormAProvider(tw::TCustomForm* form)
{
    TsSkinProvider::GiveToNewForm(form);
}

// The program never posts the skin's message; a posted one that carries a
// pointer comes from another process and is dropped before any window
// follows it, in every message loop of the thread (menus and dialogs too).
HHOOK g_postedSkinFilter = nullptr;

LRESULT CALLBACK PostedSkinFilter(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION && lp) {
        auto* msg = reinterpret_cast<MSG*>(lp);
        if (msg->message == SM_ALPHACMD && SkinCommandCarriesPointer(SkinCommandOf(msg->wParam)))
            msg->message = WM_NULL;
    }
    return CallNextHookEx(g_postedSkinFilter, code, wp, lp);
}

} // namespace

void InstallFormSkinning()
{
    tw::FormCreationHook = GiveFormAProvider;
    if (!g_postedSkinFilter)
        g_postedSkinFilter = SetWindowsHookExW(WH_GETMESSAGE, PostedSkinFilter, nullptr, GetCurrentThreadId());
    InstallDialogSkinning();
}

void UninstallFormSkinning()
{
    tw::FormCreationHook = nullptr;
    if (g_postedSkinFilter)
        UnhookWindowsHookEx(g_postedSkinFilter);
    g_postedSkinFilter = nullptr;
    UninstallDialogSkinning();
}

} // namespace skin
