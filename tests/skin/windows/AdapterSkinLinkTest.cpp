// Every window adapter has a skin link: the one of the window's control when
// it has one, else its own, made with the adapter's section and kept current
// through skin loads and removals; a dialog's border window carries its link.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptingEntry() { return AcceptLayered; }

class AdapterSkinLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        dialog = CreateWindowW(L"#32770", L"Links", WS_POPUP | WS_CAPTION | WS_SYSMENU, 40, 40, 300, 200, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    HWND dialog = nullptr;
};

TEST_F(AdapterSkinLinkTest, AnAdapterWithoutALinkMakesItsOwnWithItsSectionAndKeepsItCurrent)
{
    HWND edit = CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 120, 22, dialog, nullptr,
                              nullptr, nullptr);
    std::unique_ptr<TacMainWnd> adapter = std::make_unique<TacEditWnd>(edit, &manager, "EDIT");
    ASSERT_NE(adapter, nullptr);
    TsCommonData* link = adapter->SkinData();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->SkinSection(), "EDIT");
    EXPECT_EQ(link->SkinManager(), &manager);
    const int index = manager.GetSkinIndex("EDIT");
    ASSERT_TRUE(manager.SkinIndexValid(index));
    EXPECT_EQ(link->SkinIndex, index);
    // The skin goes: the link has no section of it; it comes back: again.
    SendSkinCommand(edit, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(link->SkinIndex, -1);
    SendSkinCommand(edit, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(link->SkinIndex, index);

    // A popup menu's adapter and a dialog's have theirs as well.
    HWND popup = CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr,
                                 nullptr);
    {
        TacMnuWnd menu(popup, &manager);
        ASSERT_NE(menu.SkinData(), nullptr);
        EXPECT_EQ(menu.SkinData()->SkinSection(), "MAINMENU");
        EXPECT_EQ(menu.SkinData()->SkinIndex, manager.GetSkinIndex("MAINMENU"));
        SendSkinCommand(popup, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
        EXPECT_EQ(menu.SkinData()->SkinIndex, -1);
    }
    DestroyWindow(popup);
    TacDialogWnd frame(dialog, &manager);
    EXPECT_EQ(frame.SkinData()->SkinSection(), "DIALOG");
    EXPECT_EQ(frame.SkinData()->SkinIndex, manager.GetSkinIndex("DIALOG"));
}

TEST_F(AdapterSkinLinkTest, AScrollAdapterOfAControlSharesTheControlsLink)
{
    auto* form = new tw::TForm(tw::Application);
    form->SetBounds(60, 60, 300, 200);
    auto* memo = new tw::TMemo(form);
    memo->SetParent(form);
    memo->SetBounds(10, 10, 150, 120);
    memo->SetScrollBars(tw::ssVertical);
    form->HandleNeeded();
    TsCommonData link(memo, false);
    link.SetSkinManager(&manager);
    link.SetSkinSection("EDIT");
    std::unique_ptr<TacScrollWnd> adapter;
    AttachScrollAdapter(&link, memo->Handle(), adapter);
    ASSERT_NE(adapter, nullptr);
    EXPECT_EQ(adapter->SkinData(), &link);
    // A link with a section keeps it; the adapter's own section stays empty.
    EXPECT_EQ(link.SkinSection(), "EDIT");
    EXPECT_TRUE(adapter->Section().empty());
    adapter.reset();
    delete form;
}

TEST_F(AdapterSkinLinkTest, ADialogsBorderWindowCarriesTheDialogsLink)
{
    const auto savedEntry = GlowLayeredEntry;
    GlowLayeredEntry = AcceptingEntry;
    auto adapter = std::make_unique<TacDialogWnd>(dialog, &manager);
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    adapter->SetExtendedBorders(true);
    ASSERT_NE(adapter->BorderForm(), nullptr);
    EXPECT_EQ(adapter->BorderForm()->SkinData, adapter->SkinData());
    adapter->SetExtendedBorders(false);
    manager.SetExtendedBorders(false);
    adapter.reset();
    GlowLayeredEntry = savedEntry;
}

} // namespace
} // namespace skin

#endif
