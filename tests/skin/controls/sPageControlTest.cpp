// The skinned page control with real windows: tabs and sheets painted from
// the skin, pages switched by real clicks, the hot tab from the mouse, and
// the system tabs again when the skin is off.
#include "ControlWindows.h"

#include <commctrl.h>

#include "skin/controls/sPageControl.h"

namespace skin {
namespace {

class TsPageControlTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        manager->AnimEffects.PageChange.Active = false;
        pages = new TsPageControl(form.get());
        pages->SetParent(form.get());
        pages->SetBounds(10, 10, 300, 200);
        for (const char* caption : {"General", "Cleaning", "Files"}) {
            auto* sheet = new TsTabSheet(form.get());
            sheet->SetCaption(caption);
            sheet->SetPageControl(pages);
            sheets.push_back(sheet);
        }
        ShowAll();
    }
    TRect TabRect(int i)
    {
        RECT r{};
        SendMessageW(pages->Handle(), TCM_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r));
        return TRect(r);
    }
    TsPageControl* pages = nullptr;
    std::vector<TsTabSheet*> sheets;
};

TEST_F(TsPageControlTest, SectionsAndCaches)
{
    EXPECT_EQ(pages->SkinData.SkinSection(), "PAGECONTROL");
    EXPECT_EQ(sheets[0]->SkinData.SkinSection(), "TABSHEET");
    EXPECT_EQ(pages->SkinData.CacheBmp()->Width(), 300);
    EXPECT_FALSE(pages->SkinData.BGChangedFlag);
    EXPECT_EQ(sheets[0]->SkinData.CacheBmp()->Width(), sheets[0]->Width());
    EXPECT_TRUE(sheets[0]->SkinData.IsUpdating());   // a sheet never paints by itself
}

TEST_F(TsPageControlTest, ClickOnATabSwitchesThePageAndRepaintsTheTabs)
{
    const TRect second = TabRect(1);
    const TPoint at{(second.Left + second.Right) / 2, (second.Top + second.Bottom) / 2};
    const TColor before = pages->SkinData.CacheBmp()->Canvas().Pixels(at.X, second.Top + 2);
    MouseDown(pages, at.X, at.Y);
    MouseUp(pages, at.X, at.Y);
    EXPECT_EQ(pages->ActivePage(), sheets[1]);
    EXPECT_TRUE(sheets[1]->Visible());
    PaintNow(pages);
    EXPECT_NE(pages->SkinData.CacheBmp()->Canvas().Pixels(at.X, second.Top + 2), before);
}

// A page switched by the program shows its tab as the selected one, as a
// click does.
TEST_F(TsPageControlTest, APageSetInCodeRepaintsTheTabs)
{
    const TRect second = TabRect(1);
    const int x = (second.Left + second.Right) / 2;
    PaintNow(pages);
    const TColor before = pages->SkinData.CacheBmp()->Canvas().Pixels(x, second.Top + 2);
    pages->SetActivePageIndex(1);
    PaintNow(pages);
    EXPECT_NE(pages->SkinData.CacheBmp()->Canvas().Pixels(x, second.Top + 2), before);
}

TEST_F(TsPageControlTest, MouseOverATabMakesItHot)
{
    const TRect third = TabRect(2);
    SendMessageW(pages->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(third.Left + 3, third.Top + 3));
    EXPECT_EQ(pages->HotTab(), 2);
    EXPECT_TRUE(pages->SkinData.BGChangedFlag);
    pages->Perform(tw::CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(pages->HotTab(), -1);
}

TEST_F(TsPageControlTest, PageChangeFadesWhenTheSkinAsks)
{
    manager->AnimEffects.PageChange.Active = true;
    manager->AnimEffects.PageChange.Time = 16;
    pages->SetActivePageIndex(2);
    EXPECT_EQ(pages->ActivePage(), sheets[2]);
    EXPECT_EQ(FadeWindow, nullptr);   // the fade ended with the call
}

TEST_F(TsPageControlTest, SkinOffAndOn)
{
    SwitchSkin(false);
    EXPECT_EQ(pages->SkinData.SkinIndex, -1);
    PaintNow(pages);
    pages->SetActivePageIndex(1);
    EXPECT_EQ(pages->ActivePage(), sheets[1]);
    SwitchSkin(true);
    PaintNow(pages);
    EXPECT_EQ(pages->SkinData.CacheBmp()->Width(), 300);
}

} // namespace
} // namespace skin

namespace skin {
namespace {

// The colour the screen shows at a point of a window's client.
COLORREF ScreenPixelOf(tw::TWinControl* c, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(c->Handle(), &p);
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

void Settle()
{
    MSG msg;
    for (int i = 0; i < 50; ++i)
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// A sheet paints its whole client: the controls it holds must be left out
// of that paint, or a paint of the sheet alone wipes them until they happen
// to paint again. The same after a repaint and a new size of the pages.
TEST_F(TsPageControlTest, ASheetsOwnPaintLeavesTheControlsOnItShowing)
{
    auto* panel = new tw::TPanel(form.get());
    panel->SetParent(sheets[0]);
    panel->SetBounds(20, 20, 80, 40);
    panel->SetBevelOuter(tw::bvNone);
    panel->SetColor(static_cast<tw::TColor>(0x0000FF));
    ShowAll();
    Settle();
    ASSERT_EQ(ScreenPixelOf(panel, 40, 20), COLORREF(0x0000FF));
    RedrawWindow(sheets[0]->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_NOCHILDREN);
    Settle();
    EXPECT_EQ(ScreenPixelOf(panel, 40, 20), COLORREF(0x0000FF));
    sheets[0]->Repaint();
    Settle();
    EXPECT_EQ(ScreenPixelOf(panel, 40, 20), COLORREF(0x0000FF));
    pages->SetBounds(10, 10, 320, 220);
    Settle();
    EXPECT_EQ(ScreenPixelOf(panel, 40, 20), COLORREF(0x0000FF));
}

} // namespace
} // namespace skin
