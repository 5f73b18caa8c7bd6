#include "app/AppSkin.h"

#include <windows.h>

#include "app/MainForm.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sLabel.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/painting/acPNGGraphic.h"
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

std::function<std::string()> SkinDirectoryHook;

skin::TsSkinManager* CreateProgramSkinManager(TComponent* owner) {
    auto* manager = new skin::TsSkinManager(owner);
    manager->SetName("sSkinManager1");
    if (SkinDirectoryHook) manager->SetSkinDirectory(SkinDirectoryHook());
    skin::AddInternalSkinFromResource(*manager, skin::kOwnSkinResource, kProgramSkinName);
    manager->SetSkinName(kProgramSkinName);
    return manager;
}

void ReportSkinLoadError(skin::TsSkinManager* manager, bool german) {
    if (!manager || manager->LoadError.empty()) return;
    const std::string text =
        german ? "Der Skin \"" + manager->LoadErrorFile + "\" kann nicht geladen werden:\r" + manager->LoadError +
                     "\rDer eingebaute Skin wird verwendet."
               : "The skin \"" + manager->LoadErrorFile + "\" cannot be loaded:\r" + manager->LoadError +
                     "\rThe program's own skin is used.";
    // Once: a reload of the same skin later (hue, saturation) says nothing new.
    manager->LoadError.clear();
    manager->LoadErrorFile.clear();
    Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONWARNING);
}

void JoinSkin(TCustomForm* form) {
    if (!form || skin::FindProvider(form)) return;
    new skin::TsSkinProvider(form);
}

} // namespace tw
