// The Windows side of the painting toolkit on real DIB sections: the view a
// bitmap hands out, frames, rounded shapes and the triangle gradient.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sGradient.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
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
#endif
