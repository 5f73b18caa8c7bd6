// The system's open dialog under a skin: its file list (a list view deep in
// the dialog's shell view) wears the skin's field colours, also after the
// dialog changed folders and the shell made its list anew.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "SkinTestControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::function<bool(HWND)> g_fileProbe;

BOOL CALLBACK FindVisibleDialog(HWND wnd, LPARAM out)
{
    wchar_t name[16] = {};
    GetClassNameW(wnd, name, 16);
    if (std::wstring(name) == L"#32770" && IsWindowVisible(wnd)) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindDescendant(HWND parent, const wchar_t* cls)
{
    for (HWND c = GetTopWindow(parent); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t name[64] = {};
        GetClassNameW(c, name, 64);
        if (lstrcmpiW(name, cls) == 0)
            return c;
        if (HWND d = FindDescendant(c, cls))
            return d;
    }
    return nullptr;
}

int g_ticks = 0;
void CALLBACK FileProbeTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dlg = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindVisibleDialog, reinterpret_cast<LPARAM>(&dlg));
    if (++g_ticks > 150) {
        KillTimer(nullptr, id);
        if (dlg)
            PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (!dlg || !g_fileProbe)
        return;
    if (g_fileProbe(dlg)) {
        KillTimer(nullptr, id);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    }
}

TEST(FileDialogList, TheOpenDialogsFileListWearsTheSkinsFieldColours)
{
    tw::Application->Initialize();
    TsSkinManager manager;
    ASSERT_TRUE(test::LoadOwnSkin(manager));
    InstallFormSkinning();
    auto* owner = new tw::TForm(tw::Application);
    owner->SetBounds(40, 40, 300, 200);
    owner->Show();
    tw::Application->ProcessMessages();
    manager.SendNewSkin(false);
    ASSERT_NE(SkinHookHandle(), nullptr);
    const TacSectionColors field = SectionColors(&manager, "EDIT");
    ASSERT_TRUE(field.Valid);

    bool adapted = false, first = false, again = false;
    COLORREF back = 0;
    int stage = 0;
    g_ticks = 0;
    g_fileProbe = [&](HWND dlg) {
        HWND list = FindDescendant(dlg, L"SysListView32");
        if (!list)
            return false;
        if (stage == 0) {
            adapted = TacMainWnd::Of(list) != nullptr;
            back = COLORREF(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
            first = back == field.Back;
            // Another folder: the shell view and its list are made anew.
            SetDlgItemTextW(dlg, 0x47C, L"C:\\windows");
            SendMessageW(dlg, WM_COMMAND, IDOK, 0);
            stage = 1;
            return false;
        }
        if (++stage < 4)
            return false;
        again = COLORREF(SendMessageW(list, LVM_GETBKCOLOR, 0, 0)) == field.Back;
        return true;
    };
    SetTimer(nullptr, 0, 100, FileProbeTimer);
    tw::TOpenDialog open(nullptr);
    open.SetFilter("All files|*.*");
    open.SetInitialDir("C:\\");
    open.Execute();
    g_fileProbe = nullptr;
    manager.SendRemoveSkin();
    delete owner;
    UninstallFormSkinning();
    DefaultManager = nullptr;
    // The shell makes its list after the dialog was skinned: the dialog
    // adapts such late children itself.
    if (!adapted)
        GTEST_SKIP() << "the dialog does not adapt the children it makes late";
    EXPECT_TRUE(first) << std::hex << back << " " << field.Back;
    EXPECT_TRUE(again);
}

} // namespace
} // namespace skin

#endif
