// The system's open dialog under a skin: its file list (a list view deep in
// the dialog's shell view) wears the skin's field colours, also after the
// dialog changed folders and the shell made its list anew.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "ModalProbe.h"
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

// The skin and the form skinning for one test, taken back on every path.
class FileDialogList : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        InstallFormSkinning();
        installed = true;
        owner = new tw::TForm(tw::Application);
        owner->SetBounds(40, 40, 300, 200);
        owner->Show();
        tw::Application->ProcessMessages();
        manager.SendNewSkin(false);
    }
    void TearDown() override
    {
        test::TModalProbe::EndModalLoops();
        if (installed)
            manager.SendRemoveSkin();
        delete owner;
        if (installed)
            UninstallFormSkinning();
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    tw::TForm* owner = nullptr;
    bool installed = false;
};

TEST_F(FileDialogList, TheOpenDialogsFileListWearsTheSkinsFieldColours)
{
    ASSERT_NE(SkinHookHandle(), nullptr);
    const TacSectionColors field = SectionColors(&manager, "EDIT");
    ASSERT_TRUE(field.Valid);
    // What the skin's section says, read from its data, not from the
    // adapter: the field colour of the EDIT section.
    const int edit = manager.GetSkinIndex("EDIT");
    ASSERT_TRUE(manager.SkinIndexValid(edit));
    const COLORREF expected = COLORREF(manager.gd[size_t(edit)].Color) & 0xFFFFFF;
    ASSERT_EQ(field.Back, expected);
    // A system list view starts white: the skin must change it.
    ASSERT_NE(expected, RGB(255, 255, 255));

    HWND firstList = nullptr;
    bool adapted = false, adaptedAgain = false;
    COLORREF back = 0, backAgain = 0;
    int stage = 0;
    ULONGLONG seenAt = 0;
    // The shell makes its list after the dialog was skinned, and anew for
    // every folder: each one is looked at once it is there and painted, and
    // given a few seconds to be adapted (the dialog does so when the shell
    // tells it of its new children).
    auto adaptedOrLate = [&](HWND list) {
        if (!seenAt)
            seenAt = GetTickCount64();
        return TacMainWnd::Of(list) != nullptr || GetTickCount64() - seenAt > 5000;
    };
    test::TModalProbe probe([&] {
        const HWND dlg = test::VisibleThreadWindow(L"#32770");
        const HWND list = dlg ? FindDescendant(dlg, L"SysListView32") : nullptr;
        if (!list || !test::Settled(dlg))
            return false;
        if (stage == 0) {
            if (!adaptedOrLate(list))
                return false;
            firstList = list;
            adapted = TacMainWnd::Of(list) != nullptr;
            back = COLORREF(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
            // Another folder: the shell view and its list are made anew.
            SetDlgItemTextW(dlg, 0x47C, L"C:\\windows");
            SendMessageW(dlg, WM_COMMAND, IDOK, 0);
            stage = 1;
            seenAt = 0;
            return false;
        }
        if (IsWindow(firstList) || !adaptedOrLate(list))
            return false;
        adaptedAgain = TacMainWnd::Of(list) != nullptr;
        backAgain = COLORREF(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    tw::TOpenDialog open(nullptr);
    open.SetFilter("All files|*.*");
    open.SetInitialDir("C:\\");
    open.Execute();
    probe.Stop();
    ASSERT_FALSE(probe.TimedOut()) << "the open dialog's file list never came (stage " << stage << ")";
    EXPECT_TRUE(adapted) << "the dialog does not adapt the list the shell makes late";
    EXPECT_EQ(back, expected) << std::hex << back;
    EXPECT_TRUE(adaptedAgain) << "the list made for another folder is not adapted";
    EXPECT_EQ(backAgain, expected) << std::hex << backAgain;
}

} // namespace
} // namespace skin

#endif
