// A system dialog skinned from outside: placed where a message was asked to
// show, and its skinned system menu's Move by the window's state.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class DialogPlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
    }
    void TearDown() override
    {
        DialogPos = TPoint(-1, -1);
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        UninstallDialogSkinning();
        DefaultManager = nullptr;
    }
    HWND Dialog(DWORD style)
    {
        HWND d = CreateWindowW(L"#32770", L"Placed", WS_POPUP | WS_CAPTION | WS_SYSMENU | style, 40, 50, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
        windows.push_back(d);
        ShowWindow(d, SW_SHOWNOACTIVATE);
        return d;
    }
    static POINT TopLeft(HWND d)
    {
        RECT r;
        GetWindowRect(d, &r);
        return {r.left, r.top};
    }

    TsSkinManager manager;
    std::vector<HWND> windows;
};

// With a place asked for, the dialog goes there when it is skinned; without
// one it stays where it was made.
TEST_F(DialogPlacementTest, ASkinnedDialogGoesToTheAskedPlace)
{
    const HWND here = Dialog(0);
    ASSERT_TRUE(HookActivatedWindow(here));
    EXPECT_EQ(TopLeft(here).x, 40);
    EXPECT_EQ(TopLeft(here).y, 50);
    ShowWindow(here, SW_HIDE);   // a visible skinned dialog would keep the next one unskinned

    DialogPos = TPoint(333, 222);
    const HWND there = Dialog(0);
    ASSERT_TRUE(HookActivatedWindow(there));
    EXPECT_EQ(TopLeft(there).x, 333);
    EXPECT_EQ(TopLeft(there).y, 222);
}

// Move is offered unless the dialog is zoomed: a minimized dialog can be
// moved, a maximized one cannot.
TEST_F(DialogPlacementTest, MoveIsOfferedUnlessZoomed)
{
    const HWND d = Dialog(WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    ASSERT_TRUE(HookActivatedWindow(d));
    TacProvider* p = FindProvider(d);
    ASSERT_TRUE(p && p->DialogAdapter);
    TacSystemMenu* menu = p->DialogAdapter->SysMenu();
    ASSERT_NE(menu, nullptr);
    struct TCase {
        int Show;
        bool Move;
    };
    for (const TCase c : {TCase{SW_SHOWMAXIMIZED, false}, TCase{SW_SHOWMINNOACTIVE, true}, TCase{SW_SHOWNOACTIVATE, true}}) {
        ShowWindow(d, c.Show);
        tw::Application->ProcessMessages();
        menu->UpdateItems();
        EXPECT_EQ(menu->ItemMove->Enabled(), c.Move) << c.Show;
        EXPECT_TRUE(menu->ItemMove->Visible()) << c.Show;
    }
}

} // namespace
} // namespace skin

#endif
