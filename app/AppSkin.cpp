#include "app/AppSkin.h"

#include <windows.h>

#include "app/MainForm.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/painting/acPNGGraphic.h"
#include "ui/Application.h"

namespace tw {

namespace {

// A form's part in the registry. Owned by the form, so it goes when the form
// goes (after the form's window, which still calls through it).
class TFormSkinLink final : public TComponent, public skin::TSkinnedFormLink {
public:
    explicit TFormSkinLink(TCustomForm* form) : TComponent(form), form_(form), ownColor_(form->Color()) {
        SetName("sSkinLink");
        saved_ = form->WindowProc;
        form->WindowProc = [this](TMessage& m) { Dispatch(m); };
        skin::AddSkinnedForm(form);
        ApplySkin(skin::DefaultManager);
    }
    ~TFormSkinLink() override {
        skin::RemoveSkinnedForm(form_);
        // A form that is going away keeps its procedure: its window is gone.
        if (!form_->IsDestroying()) form_->WindowProc = saved_;
    }

    skin::TsSkinManager* LinkManager() const override { return skin::DefaultManager; }
    // The frame stays the system's until forms get skinned frames.
    bool FormSkinned() const override { return false; }
    void SetSkinChangeLock(bool locked) override { locked_ = locked; }
    bool HasBorderWindow() const override { return false; }
    void UpdateFormRegion() override {}
    void UpdateBorderWindow(uint8_t) override {}

private:
    void Dispatch(TMessage& m) {
        if (m.Msg == skin::SM_ALPHACMD) {
            switch (skin::SkinCommandOf(m.WParam)) {
            case skin::AC_QUERYPROVIDER:
                m.Result = reinterpret_cast<LRESULT>(static_cast<skin::TSkinnedFormLink*>(this));
                return;
            case skin::AC_QUERYSKINNED:
                // The registry brings it the skin-wide messages: the
                // broadcast to the application's forms passes it by.
                m.Result = 1;
                return;
            case skin::AC_SKINLOADED:
                ApplySkin(reinterpret_cast<skin::TsSkinManager*>(m.LParam));
                break;
            case skin::AC_SKINREMOVED:
                form_->SetColor(ownColor_);
                break;
            default:
                break;
            }
        } else if (m.Msg == WM_PAINT && locked_) {
            // Drawn once the change is over; what is drawn now would be
            // half the old skin and half the new one.
            ValidateRect(form_->Handle(), nullptr);
            m.Result = 0;
            return;
        }
        saved_(m);
    }
    void ApplySkin(skin::TsSkinManager* manager) {
        // The manager counts the skin as loaded only after announcing it.
        if (manager && !manager->gd.empty()) form_->SetColor(manager->GetGlobalColor());
    }

    TCustomForm* form_;
    TWndMethod saved_;
    TColor ownColor_;
    bool locked_ = false;
};

} // namespace

void StartSkinUnit() {
    skin::RegisterPNGGraphic();
    skin::SkinManagerUnitStart(ProgramParameters());
}

skin::TsSkinManager* CreateProgramSkinManager(TComponent* owner) {
    auto* manager = new skin::TsSkinManager(owner);
    manager->SetName("sSkinManager1");
    skin::AddInternalSkinFromResource(*manager, skin::kOwnSkinResource, kProgramSkinName);
    manager->SetSkinName(kProgramSkinName);
    return manager;
}

void JoinSkin(TCustomForm* form) {
    if (!form || form->FindComponent("sSkinLink")) return;
    new TFormSkinLink(form);
}

} // namespace tw
