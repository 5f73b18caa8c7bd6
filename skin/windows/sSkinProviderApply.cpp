// Applying and removing the skin: the form's colour, its menus, the
// adapters of the skinned state, the system menu's style and the extended
// border window around the form.
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
    // The form's own colour is the one its layout gives: until the provider
    // is loaded the skin's colour would be taken for it.
    if (useGlobalColor_ && !skinData_->CustomColor() && !IsLoading())
        TakeColor(true);
    UpdateIconIndexes();
    for (int i = 0; i < titleButtons_.Count(); ++i) {
        TsTitleButton& b = titleButtons_.Items(i);
        b.ImageIndex = b.UseSkinData ? titleButtonMask_ : -1;
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
        PrepareMenus(true);
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
    // Unskinned from here on: a frame paint that the steps below bring
    // about must not make the adapters or the border window again.
    const bool wasSkinned = skinned_;
    skinned_ = false;
    ReleaseAdapters();
    SetExtBorders(false);
    if (!wasSkinned)
        return;
    if (form_->HandleAllocated() && !form_->IsDestroying()) {
        SetSysMenuStyle(false);
    }
    PrepareMenus(false);
    hotCode_ = -1;
    pressed_ = false;
    ncCache_.reset();
    titleBg_.reset();
    buttonsBg_.reset();
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

void TsSkinProvider::PrepareMenus(bool skinned, tw::TMenu* only)
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
    // The line's own items are the skin's while popups are, also under the
    // system's frame (they are owner-drawn with the line otherwise).
    auto prepareMain = [&](tw::TMainMenu* main) {
        if (!done.insert(main->Items()).second)
            return;
        service->PrepareMainMenu(main, on && drawNonClient_);
        prepareItems(main->Items());
        for (int k = 0; k < main->Items()->Count(); ++k)
            main->Items()->Items(k)->SetOwnerDraw(on);
    };
    if (only) {
        if (auto* main = dynamic_cast<tw::TMainMenu*>(only); main && main == form_->Menu())
            prepareMain(main);
        else if (auto* popup = dynamic_cast<tw::TPopupMenu*>(only))
            service->PrepareMenu(popup, on);
        return;
    }
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
        borderForm_->ShowsZoomedOwner = true;
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

void TsSkinProvider::RemoveAdapter()
{
    // The controls hear first that the skin goes (not while they are freed).
    if (ctrlAdapter_ && form_ && !form_->IsDestroying()) {
        tw::TMessage removed{SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(SkinManager()), 0};
        ctrlAdapter_->SkinMessage(removed);
    }
    ctrlAdapter_.reset();
}

void TsSkinProvider::ReleaseAdapters()
{
    // The controls' windows get their own procedures back before the form's.
    RemoveAdapter();
    formAdapter_.reset();
}

} // namespace skin
