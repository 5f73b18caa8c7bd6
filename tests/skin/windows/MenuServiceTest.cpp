// The menu-skinning service of a skin manager: there from the manager's
// start, one item prepared on its own painting itself from the skin, and the
// service's records of the popups its painter met.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinMenus.h"
#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

int MenuServices(TsSkinManager& m)
{
    int n = 0;
    for (int i = 0; i < m.ComponentCount(); ++i)
        n += dynamic_cast<TsSkinableMenus*>(m.Components(i)) != nullptr;
    return n;
}

TEST(MenuServiceTest, EveryManagerMakesItsMenuServiceAtItsStart)
{
    tw::Application->Initialize();
    TsSkinManager first;
    EXPECT_EQ(MenuServices(first), 1);
    TsSkinManager second;
    EXPECT_EQ(MenuServices(second), 1);
    // Asked for, it is the one made then, not a second one.
    TsSkinableMenus* s = TsSkinableMenus::Of(&second);
    EXPECT_EQ(MenuServices(second), 1);
    EXPECT_EQ(s->Manager(), &second);
    DefaultManager = nullptr;
}

class MenuServiceItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        popup = new tw::TPopupMenu(tw::Application);
        first = popup->Items()->AddItem("&First");
        second = popup->Items()->AddItem("&Second");
    }
    void TearDown() override
    {
        TsSkinableMenus::ClearMenuInfos();
        delete popup;
        DefaultManager = nullptr;
    }
    COLORREF SectionColor(const char* name)
    {
        const int i = manager.GetSkinIndex(name);
        EXPECT_TRUE(manager.SkinIndexValid(i));
        return COLORREF(manager.gd[size_t(i)].Color) & 0xFFFFFF;
    }
    TsSkinManager manager;
    tw::TPopupMenu* popup = nullptr;
    tw::TMenuItem* first = nullptr;
    tw::TMenuItem* second = nullptr;
};

TEST_F(MenuServiceItemTest, OneItemPreparedAlonePaintsItselfFromTheSkinUntilUnprepared)
{
    TsSkinableMenus* menus = TsSkinableMenus::Of(&manager);
    EXPECT_FALSE(second->OnAdvancedDrawItem);
    menus->PrepareMenu(second, true);
    ASSERT_TRUE(second->OnAdvancedDrawItem);
    ASSERT_TRUE(second->OnMeasureItem);
    // The other item and the menu are left as they are.
    EXPECT_FALSE(first->OnAdvancedDrawItem);
    EXPECT_FALSE(menus->Prepared(popup));

    // Through its own handler: the item's body in the skin's item colour
    // (right of the text, left of where a submenu arrow would go).
    tw::TBitmap bmp(160, 24, tw::pf24bit);
    bmp.Canvas().Brush().SetColor(tw::TColor(RGB(1, 2, 3)));
    bmp.Canvas().FillRect(TRect(0, 0, 160, 24));
    second->OnAdvancedDrawItem(second, bmp.Canvas(), TRect(0, 0, 160, 24), 0);
    EXPECT_EQ(GetPixel(bmp.Canvas().Handle(), 130, 12), SectionColor("MENUITEM"));
    int w = 0, h = 0;
    tw::TCanvas canvas;
    HDC dc = CreateCompatibleDC(nullptr);
    canvas.SetHandle(dc);
    second->OnMeasureItem(second, canvas, w, h);
    EXPECT_GE(h, kMenuMinItemHeight);
    EXPECT_GE(w, kMenuIconColumn + kMenuArrowRoom + canvas.TextWidth("Second"));
    canvas.SetHandle(nullptr);
    DeleteDC(dc);

    menus->PrepareMenu(second, false);
    EXPECT_FALSE(second->OnAdvancedDrawItem);
    EXPECT_FALSE(second->OnMeasureItem);
}

TEST_F(MenuServiceItemTest, ThePopupsRecordIsFoundByItsFirstItemOrItsWindow)
{
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(first, false), nullptr);
    TacMenuInfo* made = TsSkinableMenus::GetMenuInfo(first, true);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->FirstItem, first);
    EXPECT_EQ(made->Menu, popup->Items()->Handle());
    EXPECT_EQ(made->Wnd, nullptr);
    // Found again, not made twice.
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(first, true), made);
    // By a window: none known, one made when asked to.
    HWND wnd = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(nullptr, false, wnd), nullptr);
    TacMenuInfo* byWindow = TsSkinableMenus::GetMenuInfo(nullptr, true, wnd);
    ASSERT_NE(byWindow, nullptr);
    EXPECT_EQ(byWindow->Wnd, wnd);
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(nullptr, false, wnd), byWindow);
    // Its window gone, the record goes with it.
    ForgetMenuWindow(wnd);
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(nullptr, false, wnd), nullptr);
    DestroyWindow(wnd);
    // A popup without a window yet shows no skinned window.
    EXPECT_FALSE(SkinnedMenuWindow(popup->Items()->Handle()));
    TsSkinableMenus::ClearMenuInfos();
    EXPECT_EQ(TsSkinableMenus::GetMenuInfo(first, false), nullptr);
}

} // namespace
} // namespace skin

#endif
