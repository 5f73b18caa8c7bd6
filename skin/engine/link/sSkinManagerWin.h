#pragma once
// Windows only. The skin manager's ties to the program file and the
// application window: the skin kept as a resource, the version switch, the
// window hook that skins popup menus, and the seam of the window-creation
// hook that skins windows the program does not create.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace tw {
class TPopupMenu;
}

namespace skin {

class TsSkinManager;

// Name of the RCDATA resource that holds the program's own skin archive.
inline constexpr const wchar_t* kOwnSkinResource = L"TARNWICKSKIN";

// Adds the archive of an RCDATA resource of the program file as a stored
// skin; false when the program has no such resource.
bool AddInternalSkinFromResource(TsSkinManager& manager, const wchar_t* resourceName, const std::string& skinName);

// Once at start-up: "/acver" on the command line shows the library's version.
void SkinManagerUnitStart(const std::vector<std::string>& args);

// The window-creation (CBT) hook procedure comes with the skinning of
// windows the program does not create; until that is there no hook is set.
extern HOOKPROC SkinCBTHookProc;
// Called just before the hook is removed: the hook's list of popup-menu
// adapters is emptied first.
extern void (*SkinHookRemoving)();
HHOOK SkinHookHandle();

// Redraws every visible window skinned from outside (the foreign dialogs and
// their children) after a skin change; set by the dialog skinning.
extern void (*RedrawAdaptedWindows)();
// Makes the menu painter look its skin section up again; set by the menu
// skinning, which caches the index between paints.
extern std::function<void(TsSkinManager&)> ResetMenuSkinCache;

// Makes the manager's menu skinning take the skin's menu setting again (the
// manager's SkinnedPopups switched back on); set by the menu skinning.
extern void (*UpdateMenusFromSkin)(TsSkinManager& manager);
// Whether desktop composition is on, as the form skinning's seam answers it
// (tests set the answer there); set by the form skinning.
extern bool (*DesktopCompositionQuery)();
// Switches a control's popup menu into or out of skinned painting (by the
// menu skinning's state) before it opens, wherever the menu was made; set by
// the menu skinning.
extern void (*PreparePopupMenu)(tw::TPopupMenu* menu, TsSkinManager* manager);
// Makes a new manager's menu skinning service (owned by the manager); set by
// the menu skinning.
extern void (*MakeMenuService)(TsSkinManager& manager);

// Skins one popup menu window; set by the menu skinning.
extern std::function<void(HWND)> SubclassPopupMenuWindow;
// A popup menu window of this thread: the only kind the menu messages may
// lead to (another program's window under the mouse must stay alone).
bool IsOwnPopupMenuWindow(HWND wnd);

// A new hot control: the previous window hears AC_DEACTIVATED, the new one
// AC_ACTIVATED, both with the manager.
void SetManagerActiveControl(TsSkinManager& manager, HWND wnd);

// Messages the menu painter posts for a newly opened popup menu.
inline constexpr UINT WM_SKINPOPUPMENU = 0xBCB3;        // LParam: the menu
inline constexpr UINT WM_SKINPOPUPMENUWINDOW = 0xBCB4;  // LParam: its window

} // namespace skin
