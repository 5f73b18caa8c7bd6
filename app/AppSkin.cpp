#include "app/AppSkin.h"

#include <windows.h>

#include "app/MainForm.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sHintWindow.h"
#include "skin/controls/sLabel.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
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
    // Hints of every window, the tools' included, are drawn by the skin.
    skin::UseSkinnedHints(true);
}

void InstallSkinnedMessageDialogs() {
    TMessageDialogParts parts;
    parts.NewLabel = [](TComponent* owner) -> TLabel* { return new skin::TsLabel(owner); };
    parts.NewButton = [](TComponent* owner) -> TButton* { return new skin::TsBitBtn(owner); };
    parts.Finish = [](TForm& form) { JoinSkin(&form); };
    SetMessageDialogParts(std::move(parts));
}

std::function<std::string()> SkinDirectoryHook;

void ConfigureProgramSkinManager(skin::TsSkinManager& manager) {
    // Forms and pages fade in; a skin change repaints at once.
    manager.AnimEffects.FormShow.Time = 150;
    manager.AnimEffects.DialogShow.Time = 80;
    manager.AnimEffects.PageChange.Time = 80;
    manager.AnimEffects.SkinChanging.Active = false;
    manager.MenuSupport.IcoLineSkin = "ICOLINE";
    // The class library's standard controls, and the usual names of their
    // relatives, may be skinned from outside where no skinned class is used.
    using L = skin::ThirdPartyList;
    const struct {
        int index;
        const char* text;
    } lists[] = {
        {L::ThirdEdits, "TEdit\r\nTMemo\r\nTMaskEdit\r\nTLabeledEdit\r\nTSpinEdit\r\nTListBox\r\nTCheckListBox\r\nTRichEdit\r\nTHotKey"},
        {L::ThirdButtons, "TButton"},
        {L::ThirdBitBtns, "TBitBtn"},
        {L::ThirdCheckBoxes, "TCheckBox\r\nTRadioButton"},
        {L::ThirdComboBoxes, "TComboBox\r\nTColorBox"},
        {L::ThirdGrids, "TStringGrid\r\nTDrawGrid\r\nTValueListEditor"},
        {L::ThirdGroupBoxes, "TGroupBox\r\nTRadioGroup"},
        {L::ThirdListViews, "TListView"},
        {L::ThirdPanels, "TPanel"},
        {L::ThirdTreeViews, "TTreeView"},
        {L::ThirdPageControl, "TPageControl"},
        {L::ThirdTabControl, "TTabControl"},
        {L::ThirdToolBar, "TToolBar"},
        {L::ThirdStatusBar, "TStatusBar"},
        {L::ThirdSpeedButton, " "},
    };
    for (const auto& list : lists) manager.ThirdParty.SetString(list.index, list.text);
    manager.UpdateThirdLists();
}

skin::TsSkinManager* CreateProgramSkinManager(TComponent* owner) {
    auto* manager = new skin::TsSkinManager(owner);
    // Set up as a layout would set it: the skin is read now, and announced
    // once, without a repaint, when the owner's tree is loaded.
    manager->BeginLoading();
    manager->SetName("sSkinManager1");
    ConfigureProgramSkinManager(*manager);
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
    skin::ShowWarning(text);
}

void JoinSkin(TCustomForm* form) {
    if (!form) return;
    skin::TsSkinProvider* provider = skin::FindProvider(form);
    if (!provider) provider = new skin::TsSkinProvider(form);
    // The program's icon stands on the main window only; the other windows
    // show their caption centred.
    if (form != Application->MainForm()) {
        provider->SetShowAppIcon(false);
        provider->SetCaptionAlignment(taCenter);
    }
}

} // namespace tw
