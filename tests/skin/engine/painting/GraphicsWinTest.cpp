// The Windows side of the painting toolkit on real DIB sections: the view a
// bitmap hands out, frames, rounded shapes and the triangle gradient.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sGradient.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "ui/Graphics.h"

using namespace skin;
using skintest::Px;

TEST(BitmapView, TopRowFirstOverABottomUpSection)
{
    tw::TBitmap bmp(3, 2, tw::pf32bit);
    TPixelView v = bmp.PixelView();
    ASSERT_FALSE(v.Empty());
    EXPECT_LT(v.Stride, 0);
    EXPECT_EQ(v.Bits, bmp.ScanLine(0));
    EXPECT_EQ(v.Row(1), bmp.ScanLine(1));
    tw::TBitmap mono(3, 2, tw::pf8bit);
    EXPECT_TRUE(mono.PixelView().Empty());
}

TEST(RectFrame, NestedFramesShrinkTheRect)
{
    tw::TBitmap bmp(10, 10, tw::pf24bit);
    TRect r{0, 0, 10, 10};
    int width = 2;
    DrawRectFrame(bmp.Canvas().Handle(), r, 0x0000FF, width, 0x00FF00);
    GdiFlush();
    EXPECT_EQ(r, (TRect{2, 2, 8, 8}));
    EXPECT_EQ(width, 0);
    EXPECT_EQ(Px(bmp.PixelView(), 0, 5), 0x0000FF);   // left: first colour
    EXPECT_EQ(Px(bmp.PixelView(), 9, 5), 0x00FF00);   // right: second colour
    EXPECT_EQ(Px(bmp.PixelView(), 8, 5), 0x00FF00);   // the inner frame
}

TEST(RoundedShape, OpaqueShapeInTheColour)
{
    tw::TBitmap bmp(20, 12, tw::pf24bit);
    PaintRoundedShape(bmp, {0, 0, 20, 12}, 0, 0x0000FF, 0, 4);
    EXPECT_EQ(Px(bmp.PixelView(), 10, 6), 0x0000FF);
}

TEST(TriangleGradient, OneStepPaintsOneColour)
{
    if (!GradientFillAvailable()) GTEST_SKIP() << "no GradientFill";
    tw::TBitmap bmp(8, 8, tw::pf24bit);
    TsGradArray a;
    PrepareGradArray("$00FF00;0;0;2;0", a);
    PaintGradTriangles(bmp, {0, 0, 8, 8}, a);
    GdiFlush();
    EXPECT_EQ(Px(bmp.PixelView(), 4, 3), 0x00FF00);
}

// A triangle gradient is as opaque as the other modes and the solid fills,
// painted alone or as a section's gradient into part of a 32-bit item; what
// lies outside its rectangle keeps its alpha.
TEST(TriangleGradient, OpaqueInA32BitItem)
{
    if (!GradientFillAvailable()) GTEST_SKIP() << "no GradientFill";
    TsGradArray a;
    PrepareGradArray("$00FF00;0;0;2;0", a);
    tw::TBitmap bmp(8, 8, tw::pf32bit);
    PaintGradTriangles(bmp, {0, 0, 8, 8}, a);
    GdiFlush();
    for (TPoint p : {TPoint{0, 0}, TPoint{4, 3}, TPoint{7, 7}}) EXPECT_EQ(skintest::Alpha(bmp.PixelView(), p.X, p.Y), 255);

    tw::TBitmap item(10, 10, tw::pf32bit);
    const TPixelView v = item.PixelView();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) skintest::SetPx(v, x, y, 0x123456, 7);
    PaintSectionGradient(v, {2, 2, 8, 8}, a);
    EXPECT_EQ(Px(v, 4, 4), 0x00FF00);
    EXPECT_EQ(skintest::Alpha(v, 4, 4), 255);
    EXPECT_EQ(skintest::Alpha(v, 2, 2), 255);
    EXPECT_EQ(Px(v, 1, 1), 0x123456);
    EXPECT_EQ(skintest::Alpha(v, 1, 1), 7);
}
// The focus mark: black dots every third pixel on the rectangle's edges, each
// with a white one a pixel up and left of it; rect (5, 5, 14, 11) has dots at
// x = 5, 8, 11, 14 and y = 5, 8, 11.
TEST(FocusDots, BlackEveryThirdPixelWithWhiteAboveLeft)
{
    tw::TBitmap bmp(20, 16, tw::pf24bit);
    bmp.Canvas().Brush().SetColor(tw::TColor(0x808080));
    bmp.Canvas().FillRect(tw::TRect(0, 0, 20, 16));
    PaintFocusDots(bmp.Canvas(), {5, 5, 14, 11});
    GdiFlush();
    const TPixelView v = bmp.PixelView();
    for (int x : {5, 8, 11, 14}) {
        EXPECT_EQ(Px(v, x, 5), 0) << x;
        EXPECT_EQ(Px(v, x, 11), 0) << x;
        EXPECT_EQ(Px(v, x - 1, 4), 0xFFFFFF) << x;
    }
    for (int y : {5, 8, 11}) {
        EXPECT_EQ(Px(v, 5, y), 0) << y;
        EXPECT_EQ(Px(v, 14, y), 0) << y;
        EXPECT_EQ(Px(v, 4, y - 1), 0xFFFFFF) << y;
    }
    EXPECT_EQ(Px(v, 13, 10), 0xFFFFFF);
    // Between the dots and inside the mark the picture stays.
    EXPECT_EQ(Px(v, 6, 5), 0x808080);
    EXPECT_EQ(Px(v, 7, 11), 0x808080);
    EXPECT_EQ(Px(v, 9, 8), 0x808080);
    EXPECT_EQ(Px(v, 15, 8), 0x808080);
}
#endif
