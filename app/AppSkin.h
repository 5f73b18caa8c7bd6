// The program's skin: the unit start-up of the skin engine (with the frame
// provider every form gets when it is made), and the main window's skin
// manager with our own skin.
#pragma once

#include <functional>
#include <string>

#include "base/Object.h"
#include "ui/Forms.h"

namespace skin {
class TsSkinManager;
}

namespace tw {

// The name our own skin is stored under in the skin manager.
inline constexpr const char* kProgramSkinName = "Tarnwick8 (internal)";

// Once, before any window exists: "png" as a picture format, the "/acver"
// switch of the command line, the frame provider of every form, the
// skinned message dialogs and the skinned hint window.
void StartSkinUnit();

// The program's message boxes and questions (MessageDlg, ShowMessage, the
// skin library's messages, Application->MessageBox) built from skinned
// labels and buttons and joined to the skin, with the library's layout,
// answers and keys.
void InstallSkinnedMessageDialogs();

// The skin manager of the main window (owned by it): the program's only one,
// so the default manager, holding our own skin from the program's resources
// and loading it by name.
skin::TsSkinManager* CreateProgramSkinManager(TComponent* owner);
// The program's settings of that manager: show and page-change fades, no
// fade on a skin change, the icon strip of the menus, the foreign classes.
void ConfigureProgramSkinManager(skin::TsSkinManager& manager);

// For tests: when set, the skin folder the program's manager searches
// (instead of the system-wide one).
extern std::function<std::string()> SkinDirectoryHook;

// A skin of the skin folder that could not be loaded (the internal skin took
// its place) is told to the user once: a message naming the file and the
// reason. Nothing happens when the last load had no such failure.
void ReportSkinLoadError(skin::TsSkinManager* manager, bool german);

// Gives a form made before the skin set-up its frame provider, which puts
// it into the skinned-form registry for its lifetime: skin-wide messages
// reach it once, and it stops drawing while the skin changes. A form that
// has a provider keeps it.
void JoinSkin(TCustomForm* form);

} // namespace tw
