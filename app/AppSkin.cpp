#include "app/AppSkin.h"

#include <windows.h>

#include "app/MainForm.h"
#include "skin/engine/SkinMessages.h"
#include "skin/engine/SkinnedForms.h"
#include "skin/engine/acPNGGraphic.h"
#include "skin/engine/sSkinManager.h"
#include "skin/engine/sSkinManagerWin.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"

namespace tw {

void StartSkinUnit() {
    skin::RegisterPNGGraphic();
    skin::SkinManagerUnitStart(ProgramParameters());
    // Every form made from now on gets its frame provider as it is made.
    skin::InstallFormSkinning();
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
