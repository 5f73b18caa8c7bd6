// Border pictures over tiny buttons: which frame, which pieces, how corners
// shrink, and the key-coloured runs that window regions leave out.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/BorderPainting.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {

struct Border : ::testing::Test {
    TsSkinManager sm;
    // A mask of its own picture, frames side by side.
    TsMaskData Mask(TPixelImage img, int count, int w)
    {
        TsMaskData m;
        m.R = {0, 0, img.Width(), img.Height()};
        m.Bmp = std::make_unique<TPixelImage>(std::move(img));
        m.ImageCount = int16_t(count);
        m.Manager = &sm;
        m.WL = m.WT = m.WR = m.WB = int16_t(w);
        return m;
    }
};

} // namespace

TEST(ColorRects, RunsRowByRowAndNothingOnATinyPicture)
{
    TRectList rects;
    CollectColorRects(rects, Picture(1, 1, 24, clKeyColor).View(), clKeyColor);
    EXPECT_TRUE(rects.empty());
    TPixelImage p = Picture(3, 2, 24, 0);
    SetPx(p.View(), 0, 0, clKeyColor);
    SetPx(p.View(), 1, 0, clKeyColor);
    SetPx(p.View(), 2, 1, clKeyColor);
    CollectColorRects(rects, p.View(), clKeyColor);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_TRUE(rects[0] == (TRect{0, 0, 2, 1}));
    EXPECT_TRUE(rects[1] == (TRect{2, 1, 3, 2}));   // closed at the row's end
}

TEST_F(Border, StateBeyondTheFramesTakesTheLastAndTheCentreOnlyWhenDrawn)
{
    TPixelImage frames = Picture(9, 3, 24, 0x111111);
    for (int y = 0; y < 3; ++y)
        for (int x = 6; x < 9; ++x) SetPx(frames.View(), x, y, 0x333333);
    TsMaskData m = Mask(std::move(frames), 3, 1);
    TPixelImage bmp = Picture(4, 4, 24, 0xABCDEF);
    DrawButtonMask(bmp.View(), nullptr, true, m, 5);
    EXPECT_EQ(Px(bmp.View(), 0, 0), 0x333333);
    EXPECT_EQ(Px(bmp.View(), 3, 3), 0x333333);
    EXPECT_EQ(Px(bmp.View(), 2, 0), 0x333333);
    EXPECT_EQ(Px(bmp.View(), 1, 1), 0xABCDEF);   // StretchMode without bit 4: the centre stays
    m.StretchMode = 4;
    DrawButtonMask(bmp.View(), nullptr, true, m, 5);
    EXPECT_EQ(Px(bmp.View(), 1, 1), 0x333333);
}

TEST_F(Border, NarrowButtonShrinksBothCornersTheRightOneMoreWhenOdd)
{
    TPixelImage frame = Picture(8, 3, 24, 0x505050);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) SetPx(frame.View(), x, y, 0x0000AA);
        for (int x = 5; x < 8; ++x) SetPx(frame.View(), x, y, 0xAA0000);
    }
    TsMaskData m = Mask(std::move(frame), 1, 3);
    m.WT = m.WB = 1;
    TPixelImage bmp = Picture(5, 3, 24, 0);
    DrawButtonMask(bmp.View(), nullptr, false, m, 0);
    // (3 + 3 - 5) div 2 = 0: the left keeps 3 columns, the right 2.
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Px(bmp.View(), x, 0), 0x0000AA) << x;
    for (int x = 3; x < 5; ++x) EXPECT_EQ(Px(bmp.View(), x, 0), 0xAA0000) << x;
}

TEST_F(Border, KeyPixelsOfCornersStayAndAreCutOut)
{
    TPixelImage frame = Picture(3, 3, 24, 0x222222);
    SetPx(frame.View(), 0, 0, clKeyColor);
    TsMaskData m = Mask(std::move(frame), 1, 1);
    TPixelImage bmp = Picture(6, 4, 24, 0x777777);
    TRectList cut;
    DrawButtonMask(bmp.View(), &cut, false, m, 0);
    EXPECT_EQ(Px(bmp.View(), 0, 0), 0x777777);
    EXPECT_EQ(Px(bmp.View(), 1, 0), 0x222222);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_TRUE(cut[0] == (TRect{0, 0, 1, 1}));
}

TEST_F(Border, TransparencyHalfWeighsTheDestination)
{
    // Frame 2 x 2 above its transparency band: 128 everywhere.
    TPixelImage img = Picture(2, 4, 24, 0x646464);
    for (int y = 2; y < 4; ++y)
        for (int x = 0; x < 2; ++x) SetPx(img.View(), x, y, 0x808080);
    TsMaskData m = Mask(std::move(img), 1, 1);
    m.MaskType = 1;
    TPixelImage bmp = Picture(2, 2, 24, 0xC8C8C8);
    CopyMaskPiece(0, 0, 1, 1, 0, 0, 1, 1, bmp.View(), nullptr, m, false);
    // ((200 - 100) * 128 + 100 * 256) shr 8 = 150.
    EXPECT_EQ(Px(bmp.View(), 1, 1), 0x969696);
}

TEST_F(Border, TransparencyHalfAboveThePictureIsNotRead)
{
    // A rectangle with its bottom above its top puts the transparency band
    // above row 0: those rows are left alone rather than read from outside.
    TsMaskData m = Mask(Picture(2, 4, 24, 0x646464), 1, 1);
    m.MaskType = 1;
    m.R = {0, 4, 2, 0};
    TPixelImage bmp = Picture(2, 2, 24, 0xC8C8C8);
    CopyMaskPiece(0, 0, 1, 1, 0, 0, 1, 1, bmp.View(), nullptr, m, false);
    EXPECT_EQ(Px(bmp.View(), 0, 0), 0xC8C8C8);
    EXPECT_EQ(Px(bmp.View(), 1, 1), 0xC8C8C8);
}

TEST_F(Border, TransparentCornerRunsPlacedForTheTarget)
{
    TPixelImage frame = Picture(4, 3, 24, 0x101010);
    SetPx(frame.View(), 0, 0, clKeyColor);
    SetPx(frame.View(), 3, 0, clKeyColor);
    SetPx(frame.View(), 3, 2, clKeyColor);
    TsMaskData m = Mask(std::move(frame), 1, 2);
    m.WT = m.WB = 1;
    TRectList rects;
    GetMaskTransRects(rects, 10, m, 5, false);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_TRUE(rects[0] == (TRect{0, 5, 1, 6}));
    EXPECT_TRUE(rects[1] == (TRect{9, 5, 10, 6}));
    rects.clear();
    GetMaskTransRects(rects, 10, m, 0, true);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_TRUE(rects[0] == (TRect{9, 0, 10, 1}));
}
