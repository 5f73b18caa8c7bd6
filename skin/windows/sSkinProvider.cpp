// The skin provider as a component: its making and end, its published
// properties and their setters, what it hears of other components, and the
// form-creation hook that gives every form of the program its provider.
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
    // Made on a frame it still serves the form the frame lies on.
    if (dynamic_cast<tw::TCustomFrame*>(owner))
        ShowWarning("TsSkinProvider component must be used with forms only!");
    skinData_ = std::make_unique<TsCommonData>(form_, false);
    skinData_->SetSkinSection("FORM");
    skinData_->COC = COC_TsSkinProvider;
    skinData_->SetFormProvider(this);
    // A form that is being made or read starts out active.
    if (form_ && form_->ControlState() != 0)
        skinData_->SetActiveState(true);
    if (!form_)
        return;
    if (Designing()) {
        // A designer keeps the form as it is drawn; a second provider is
        // refused there, the first one stays.
        for (int i = 0; i < form_->ComponentCount(); ++i) {
            auto* other = dynamic_cast<TsSkinProvider*>(form_->Components(i));
            if (other && other != this) {
                form_ = nullptr;
                ShowWarning("Only one instance of the TsSkinProvider component is allowed!");
                break;
            }
        }
        return;
    }
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

bool TsSkinProvider::Designing() const
{
    const tw::TComponent* owner = Owner();
    return (ComponentState() & tw::csDesigning) || (owner && (owner->ComponentState() & tw::csDesigning));
}

void TsSkinProvider::Loaded()
{
    tw::TComponent::Loaded();
    // The form's own properties are set by now: the colour it keeps without
    // the skin is the one it was designed with, and the skin's is taken.
    if (form_ && !Designing())
        ApplySkin();
}

bool TsSkinProvider::Showing() const
{
    return form_ && form_->HandleAllocated() && IsWindowVisible(form_->Handle());
}

void TsSkinProvider::InvalidateAll()
{
    // The whole picture, the menu line's rows too.
    skinData_->BGChangedFlag = true;
    captionDirty_ = true;
    menuRows_ = -1;
    hotCode_ = -1;
    if (Showing())
        SendMessageW(form_->Handle(), WM_NCPAINT, 1, 0);
}

void TsSkinProvider::SetDrawNonClientArea(bool d)
{
    if (drawNonClient_ == d)
        return;
    drawNonClient_ = d;
    if (!form_ || !form_->HandleAllocated() || Designing())
        return;
    HWND wnd = form_->Handle();
    if (!d) {
        SetExtBorders(false);
        SetSysMenuStyle(false);
        // The main menu's line goes back to the system's drawing (its
        // dropdowns stay skinned like every popup), and so do the form's own
        // scroll bars and theme.
        if (skinned_)
            PrepareMenus(true);
        formAdapter_.reset();
        if (TSetWindowTheme setTheme = SetWindowThemeProc())
            setTheme(wnd, nullptr, nullptr);
    } else if (skinned_) {
        SetSysMenuStyle(true);
        titleBg_.reset();
        buttonsBg_.reset();
        PrepareMenus(true);
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
    InvalidateAll();
}

void TsSkinProvider::SetShowAppIcon(bool s)
{
    if (showAppIcon_ == s)
        return;
    showAppIcon_ = s;
    InvalidateAll();
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
    InvalidateAll();
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

TsSkinProvider* TsSkinProvider::GiveToNewForm(tw::TCustomForm* form)
{
    // The form is not built yet: the skin comes with its layout or window.
    auto* provider = new TsSkinProvider(form, false);
    provider->givenToNewForm_ = true;
    return provider;
}

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
