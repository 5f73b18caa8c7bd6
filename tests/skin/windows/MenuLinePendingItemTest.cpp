// A menu-line item the system drew hot or open onto a skinned form does not
// stay highlighted when the mouse moves on to a title button: the provider
// draws it normal again, onto the window, before the button turns hot. Under
// Wine with the program's own skin; the item is drawn hot the way the system
// does (WM_DRAWITEM with the window's DC and window coordinates), the button
// made hot by the hit test the mouse would cause.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// The pixels of a rectangle of the window as it is on the screen now
// (window coordinates), each 0x00RRGGBB.
std::vector<uint32_t> WindowPixels(HWND wnd, const RECT& r)
{
    return test::CapturePixels(r.right - r.left, r.bottom - r.top, [&](HDC mem) {
        HDC dc = GetWindowDC(wnd);
        BitBlt(mem, 0, 0, r.right - r.left, r.bottom - r.top, dc, r.left, r.top, SRCCOPY);
        ReleaseDC(wnd, dc);
    });
}

class MenuLinePendingItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Pending");
        form->SetBounds(90, 90, 420, 260);
        auto* menu = new tw::TMainMenu(form);
        file = new tw::TMenuItem(form);
        file->SetCaption("&File");
        menu->Items()->Add(file);
        file->AddItem("&Open");
        auto* tools = new tw::TMenuItem(form);
        tools->SetCaption("&Tools");
        menu->Items()->Add(tools);
        tools->AddItem("&Cut");
        form->SetMenu(menu);
        form->Show();
        tw::Application->ProcessMessages();
        wnd = form->Handle();
        // The mouse away from the form: nothing of it is hot.
        SetCursorPos(2, 2);
        ClearPendingMenuLineItem();
    }
    void TearDown() override
    {
        ClearPendingMenuLineItem();
        delete form;
        test::EndFormSkinning();
    }
    // The item's rectangle in window coordinates.
    RECT ItemRect(UINT pos)
    {
        RECT r{}, wr{};
        GetMenuItemRect(wnd, GetMenu(wnd), pos, &r);
        GetWindowRect(wnd, &wr);
        OffsetRect(&r, -wr.left, -wr.top);
        return r;
    }
    // Draws the menu-bar item as the system does when the mouse is on it or
    // its menu opens.
    void SystemDrawsItem(UINT pos, UINT state)
    {
        HMENU bar = GetMenu(wnd);
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_ID | MIIM_DATA;
        ASSERT_TRUE(GetMenuItemInfoW(bar, pos, TRUE, &mi));
        DRAWITEMSTRUCT di{};
        di.CtlType = ODT_MENU;
        di.itemID = mi.wID;
        di.itemAction = ODA_SELECT;
        di.itemState = state;
        di.hwndItem = reinterpret_cast<HWND>(bar);
        di.hDC = GetWindowDC(wnd);
        di.rcItem = ItemRect(pos);
        di.itemData = mi.dwItemData;
        SendMessageW(wnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&di));
        ReleaseDC(wnd, di.hDC);
    }
    // A screen point on the title's close button, found by the hit test (the
    // title's other parts are hit on the way: nothing may be pending then).
    POINT ClosePoint()
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        const RECT item = ItemRect(0);
        for (int y = wr.top + 2; y < wr.top + item.top; ++y)
            for (int x = wr.right - 2; x > wr.left + (wr.right - wr.left) / 2; --x)
                if (SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE)
                    return POINT{x, y};
        return POINT{-1, -1};
    }
    // The mouse moves onto the close button: the hit test makes it hot.
    void HoverClose(POINT p) { SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)); }
    void Repaint()
    {
        RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
        tw::Application->ProcessMessages();
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TMenuItem* file = nullptr;
    HWND wnd = nullptr;
};

TEST_F(MenuLinePendingItemTest, AHotMenuItemIsDrawnNormalWhenATitleButtonTurnsHot)
{
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_TRUE(provider && provider->MenuLineSkinned());
    const POINT close = ClosePoint();
    ASSERT_NE(close.x, -1) << "no close button on the title";
    HoverClose(POINT{close.x, close.y + 200});   // back to the client: no button hot
    Repaint();
    const RECT item = ItemRect(0);
    ASSERT_GT(item.right - item.left, 4);
    const std::vector<uint32_t> normal = WindowPixels(wnd, item);

    // Hot on the menu line, then the mouse goes on to the close button.
    SystemDrawsItem(0, ODS_HOTLIGHT);
    const std::vector<uint32_t> hot = WindowPixels(wnd, item);
    ASSERT_NE(hot, normal) << "the item was not drawn hot";
    HoverClose(close);
    EXPECT_EQ(provider->HotCode(), HTCLOSE);
    EXPECT_EQ(WindowPixels(wnd, item), normal) << "the item stayed highlighted";
    EXPECT_EQ(PendingMenuLineItem(), nullptr);

    // The same for an item whose menu was open (selected), the second item,
    // and a change of the hot button back to none.
    const RECT tools = ItemRect(1);
    const std::vector<uint32_t> toolsNormal = WindowPixels(wnd, tools);
    SystemDrawsItem(1, ODS_SELECTED);
    ASSERT_NE(WindowPixels(wnd, tools), toolsNormal);
    HoverClose(POINT{close.x, close.y + 200});
    EXPECT_EQ(provider->HotCode(), 0);
    EXPECT_EQ(WindowPixels(wnd, tools), toolsNormal);

    // While the mouse stays on the hot item the hit tests of the menu line
    // leave it hot; the item is drawn normal once the mouse has moved on.
    RECT wr;
    GetWindowRect(wnd, &wr);
    const POINT on{wr.left + (item.left + item.right) / 2, wr.top + (item.top + item.bottom) / 2};
    SetCursorPos(on.x, on.y);
    SystemDrawsItem(0, ODS_HOTLIGHT);
    SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(on.x, on.y));
    EXPECT_EQ(WindowPixels(wnd, item), hot);
    SetCursorPos(close.x, close.y);
    HoverClose(close);
    EXPECT_EQ(WindowPixels(wnd, item), normal);
}

TEST_F(MenuLinePendingItemTest, WithoutAPendingItemTheMenuLineIsLeftAlone)
{
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_TRUE(provider && provider->MenuLineSkinned());
    const POINT close = ClosePoint();
    ASSERT_NE(close.x, -1);
    Repaint();
    // A mark of someone else's on the menu line (no item drawn hot by the
    // painter): a hot-button change draws nothing over it.
    const RECT item = ItemRect(0);
    HDC dc = GetWindowDC(wnd);
    HBRUSH mark = CreateSolidBrush(RGB(1, 254, 3));
    FillRect(dc, &item, mark);
    DeleteObject(mark);
    ReleaseDC(wnd, dc);
    const std::vector<uint32_t> marked = WindowPixels(wnd, item);
    ASSERT_EQ(marked.front(), 0x01FE03u);
    HoverClose(close);
    EXPECT_EQ(provider->HotCode(), HTCLOSE);
    EXPECT_EQ(WindowPixels(wnd, item), marked);

    // The item drawn normal by the system leaves nothing pending either.
    SystemDrawsItem(0, 0);
    EXPECT_EQ(PendingMenuLineItem(), nullptr);
}

TEST_F(MenuLinePendingItemTest, APendingItemGoesWithItsItemItsMenuAndItsForm)
{
    const POINT close = ClosePoint();
    ASSERT_NE(close.x, -1);
    // The item itself freed while it is pending.
    SystemDrawsItem(0, ODS_HOTLIGHT);
    ASSERT_NE(PendingMenuLineItem(), nullptr);
    delete file;
    file = nullptr;
    EXPECT_EQ(PendingMenuLineItem(), nullptr);
    HoverClose(close);   // nothing of the freed item is drawn

    // The form's menu taken away, then the form freed.
    SystemDrawsItem(0, ODS_HOTLIGHT);
    ASSERT_NE(PendingMenuLineItem(), nullptr);
    tw::TMainMenu* menu = form->Menu();
    form->SetMenu(nullptr);
    EXPECT_EQ(PendingMenuLineItem(), nullptr);
    form->SetMenu(menu);
    tw::Application->ProcessMessages();
    SystemDrawsItem(0, ODS_SELECTED);
    ASSERT_NE(PendingMenuLineItem(), nullptr);
    delete form;
    form = nullptr;
    EXPECT_EQ(PendingMenuLineItem(), nullptr);
}

// The captions change while an item is pending (a new language chosen in a
// dialog the item's menu opened): the items stand at new places, and the
// pending item drawn normal later is drawn where the line now has it, not
// at its old place over its neighbours.
TEST_F(MenuLinePendingItemTest, APendingItemIsDrawnWhereTheLineHasItAfterItsCaptionsChanged)
{
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_TRUE(provider && provider->MenuLineSkinned());
    const POINT close = ClosePoint();
    ASSERT_NE(close.x, -1);
    HoverClose(POINT{close.x, close.y + 200});
    Repaint();
    SystemDrawsItem(1, ODS_SELECTED);
    ASSERT_NE(PendingMenuLineItem(), nullptr);
    const RECT oldTools = ItemRect(1);
    file->SetCaption("&Dateien und Ordner");
    tw::Application->ProcessMessages();
    // The line is painted at its new layout before the mouse moves on.
    Repaint();
    // The mouse goes on to the close button: the pending item is drawn normal.
    HoverClose(close);
    EXPECT_EQ(provider->HotCode(), HTCLOSE);
    const RECT tools = ItemRect(1);
    ASSERT_GT(tools.left, oldTools.left) << "the item did not move";
    const RECT line{ItemRect(0).left, tools.top, tools.right + 40, tools.bottom};
    const std::vector<uint32_t> shown = WindowPixels(wnd, line);
    Repaint();
    EXPECT_EQ(shown, WindowPixels(wnd, line)) << "the menu line differs from the line painted whole";
}

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
