#include "app/AppSkin.h"

#include <windows.h>

#include "app/MainForm.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sLabel.h"
#include "skin/engine/SkinMessages.h"
#include "skin/engine/SkinnedForms.h"
#include "skin/engine/acPNGGraphic.h"
#include "skin/engine/sSkinManager.h"
#include "skin/engine/sSkinManagerWin.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

void StartSkinUnit() {
    skin::RegisterPNGGraphic();
    skin::SkinManagerUnitStart(ProgramParameters());
    // Every form made from now on gets its frame provider as it is made.
    skin::InstallFormSkinning();
    InstallSkinnedMessageDialogs();
}

void InstallSkinnedMessageDialogs() {
    TMessageDialogParts parts;
    parts.NewLabel = [](TComponent* owner) -> TLabel* { return new skin::TsLabel(owner); };
    parts.NewButton = [](TComponent* owner) -> TButton* { return new skin::TsBitBtn(owner); };
    parts.Finish = [](TForm& form) { JoinSkin(&form); };
    SetMessageDialogParts(std::move(parts));
}

skin::TsSkinManager* CreateProgramSkinManager(TComponent* owner) {
    auto* manager = new skin::TsSkinManager(owner);
    manager->SetName("sSkinManager1");
    skin::AddInternalSkinFromResource(*manager, skin::kOwnSkinResource, kProgramSkinName);
    manager->SetSkinName(kProgramSkinName);
    return manager;
}

void JoinSkin(TCustomForm* form) {
    if (!form || skin::FindProvider(form)) return;
    new skin::TsSkinProvider(form);
}

} // namespace tw
