// What the painters leave to their device contexts: graphic children kept
// out of a parent's painting, and solid fills of system colours.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <memory>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"

using namespace skin;
using skintest::Px;

TEST(ClipAndFill, VisibleGraphicChildrenAreLeftOutOfTheParentsPainting)
{
    tw::TForm form(nullptr);
    form.SetBounds(0, 0, 60, 40);
    auto* shown = new tw::TPaintBox(&form);
    shown->SetParent(&form);
    shown->SetBounds(2, 3, 5, 4);
    auto* hidden = new tw::TPaintBox(&form);
    hidden->SetParent(&form);
    hidden->SetBounds(20, 3, 5, 4);
    hidden->SetVisible(false);
    auto* windowed = new tw::TPanel(&form);
    windowed->SetParent(&form);
    windowed->SetBounds(30, 3, 5, 4);

    tw::TBitmap bmp(50, 20, tw::pf24bit);
    HDC dc = bmp.Canvas().Handle();
    FillDC(dc, {0, 0, 50, 20}, 0x000000);
    const int saved = SaveDC(dc);
    // The parent's picture lies 10 to the right and 1 down in the context.
    ExcludeControls(dc, &form, 10, 1);
    FillDC(dc, {0, 0, 50, 20}, 0x0000FF);
    RestoreDC(dc, saved);
    GdiFlush();
    const TPixelView v = bmp.PixelView();
    EXPECT_EQ(Px(v, 12, 4), 0x000000);   // the shown graphic child, its top-left
    EXPECT_EQ(Px(v, 16, 7), 0x000000);   // and its bottom-right
    EXPECT_EQ(Px(v, 17, 7), 0x0000FF);   // just beside it
    EXPECT_EQ(Px(v, 12, 8), 0x0000FF);   // just below it
    EXPECT_EQ(Px(v, 2, 3), 0x0000FF);    // where it lies without the offset
    EXPECT_EQ(Px(v, 31, 5), 0x0000FF);   // the hidden one is painted over
    EXPECT_EQ(Px(v, 41, 5), 0x0000FF);   // so is the windowed one
    ExcludeControls(dc, nullptr, 0, 0);   // no parent: nothing
}

TEST(ClipAndFill, SolidFillsTakeSystemColoursAndLeaveTheContextAsItWas)
{
    tw::TBitmap bmp(8, 6, tw::pf24bit);
    HDC dc = bmp.Canvas().Handle();
    FillDC(dc, {0, 0, 8, 6}, 0x00FF00);
    const HGDIOBJ brush = GetCurrentObject(dc, OBJ_BRUSH);
    FillDC(dc, {1, 1, 4, 3}, tw::clBtnFace);
    FillDC(dc, {5, 5, 5, 6}, 0x0000FF);   // empty: nothing
    FillDC(dc, {7, 4, 6, 6}, 0x0000FF);   // inside out: nothing
    GdiFlush();
    const TPixelView v = bmp.PixelView();
    EXPECT_EQ(Px(v, 1, 1), TColor(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(Px(v, 3, 2), TColor(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(Px(v, 4, 2), 0x00FF00);
    EXPECT_EQ(Px(v, 5, 5), 0x00FF00);
    EXPECT_EQ(Px(v, 6, 4), 0x00FF00);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);

    // The border strips in a system colour as well.
    FillDCBorder(dc, {0, 0, 8, 6}, 1, 1, 1, 1, tw::clWindow);
    GdiFlush();
    EXPECT_EQ(Px(v, 0, 0), TColor(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(Px(v, 7, 5), TColor(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(Px(v, 4, 3), 0x00FF00);
}
#endif
