// Gradient texts and the two painted modes, checked against values worked
// out by hand from the band rules.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Exceptions.h"
#include "skin/engine/data/sGradient.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;

TEST(GradientText, GroupsOfFiveWithLimits)
{
    TsGradArray a;
    PrepareGradArray("", a);
    EXPECT_TRUE(a.empty());
    PrepareGradArray("1;2;3;4", a);
    EXPECT_TRUE(a.empty());
    PrepareGradArray("-1;$FF;110;1;0;7;8", a);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].Color1, 0);
    EXPECT_EQ(a[0].Color2, 0xFF);
    EXPECT_EQ(a[0].Percent, 100);
    EXPECT_EQ(a[0].Mode, 1);
    PrepareGradArray("14079702;11842740;110;0;0;11842740;11842740;-5;0;0", a);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].Color1, 14079702);
    EXPECT_EQ(a[1].Percent, 0);
    EXPECT_THROW(PrepareGradArray("1;2;x;4;5", a), tw::EConvertError);
}

TEST(GradientPaint, RightwardsRoundsHalvesToEven)
{
    // 3 x 1, red 0 -> 255 over n = 2 steps: the middle is 127.5, stored as 128;
    // green 0 -> 1 gives 0.5 in the middle, stored as 0.
    TPixelImage img = Picture(3, 1, 32, 0x123456);
    TsGradArray a;
    PrepareGradArray("0;$0001FF;100;1;0", a);
    PaintGrad(img.View(), {0, 0, 3, 1}, a);
    EXPECT_EQ(Px(img.View(), 0, 0), 0x000000);
    EXPECT_EQ(Px(img.View(), 1, 0), 0x000080);
    EXPECT_EQ(Px(img.View(), 2, 0), 0x0001FF);
    EXPECT_EQ(skintest::Alpha(img.View(), 1, 0), 255);
}

TEST(GradientPaint, DownwardsBandsShareTheirBorderRow)
{
    TPixelImage img = Picture(2, 10, 24, 0x777777);
    TsGradArray a;
    PrepareGradArray("$0000FF;$0000FF;50;0;0;$00FF00;$00FF00;50;0;0", a);
    PaintGrad(img.View(), {0, 0, 2, 10}, a);
    EXPECT_EQ(Px(img.View(), 1, 4), 0x0000FF);
    EXPECT_EQ(Px(img.View(), 0, 5), 0x00FF00);   // painted by both, the second wins
    EXPECT_EQ(Px(img.View(), 1, 9), 0x00FF00);

    // 2 x 1 downwards from black to blue over two rows of a 2 x 2 picture.
    TPixelImage small = Picture(2, 2, 24, 0x777777);
    PrepareGradArray("0;$FF0000;0;0;0", a);   // 0 percent: the last step still runs to the bottom
    PaintGrad(small.View(), {0, 0, 2, 2}, a);
    EXPECT_EQ(Px(small.View(), 1, 0), 0x000000);
    EXPECT_EQ(Px(small.View(), 0, 1), 0xFF0000);
}

TEST(GradientPaint, ClipsToThePicture)
{
    TPixelImage img = Picture(2, 2, 24, 0x777777);
    TsGradArray a;
    PrepareGradArray("$00FF00;$00FF00;100;1;0", a);
    PaintGrad(img.View(), {-5, -5, 50, 50}, a);
    EXPECT_EQ(Px(img.View(), 0, 0), 0x00FF00);
    EXPECT_EQ(Px(img.View(), 1, 1), 0x00FF00);
    PrepareGradArray("$00FF00;$00FF00;100;5;0", a);   // unknown mode: nothing
    TPixelImage other = Picture(2, 2, 24, 0x777777);
    PaintGrad(other.View(), {0, 0, 2, 2}, a);
    EXPECT_EQ(Px(other.View(), 0, 0), 0x777777);
}

TEST(GradientPaint, TriangleVerticesTakeTheColourBefore)
{
    TsGradArray a;
    PrepareGradArray("$0000FF;0;0;2;0", a);
    TsGradVertex v[5];
    ASSERT_TRUE(GradTriangleVertices({0, 0, 10, 6}, a, v));
    EXPECT_EQ(v[1].X, 5);
    EXPECT_EQ(v[1].Y, 3);
    for (const TsGradVertex& x : v) EXPECT_EQ(x.Color, 0x0000FF);
}

TEST(GradientText, NumbersBeyondThirtyTwoBitsAreNoNumbers)
{
    // A colour of eleven digits is not a colour that wrapped into one.
    TsGradArray a;
    EXPECT_THROW(PrepareGradArray("99999999999;0;100;0;0", a), tw::EConvertError);
    EXPECT_THROW(PrepareGradArray("0;$1FFFFFFFF;100;0;0", a), tw::EConvertError);
    EXPECT_THROW(PrepareGradArray("0;0;100;4294967296;0", a), tw::EConvertError);
    PrepareGradArray("$FFFFFFFF;2147483647;100;-2147483648;0", a);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].Color1, 0);   // -1 as a colour is none: 0
    EXPECT_EQ(a[0].Color2, 2147483647);
    EXPECT_EQ(a[0].Mode, INT32_MIN);
}
