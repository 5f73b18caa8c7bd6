// The pixel layer on pictures of a few pixels, expected values worked out by
// hand from the blend and piece rules.
#include <gtest/gtest.h>

#include <vector>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

TEST(AlphaBlend, TwoPictureSumDividesBy256)
{
    TPixelImage dst = Picture(2, 2, 24, 0xFFFFFF), src = Picture(2, 2, 24, 0x000000);
    TacFastSum24 sum;
    ASSERT_TRUE(sum.Attach(src.View(), dst.View()));
    sum.Alpha = 255;
    sum.DestRect = sum.SourceRect = {0, 0, 2, 2};
    sum.Blend();
    EXPECT_EQ(Px(dst.View(), 1, 1), 0xFEFEFE);   // a = 255 over white: 254

    TPixelImage d2 = Picture(2, 2, 32, 0x000000), s2 = Picture(2, 2, 32, 0xFFFFFF);
    MixBitmapsRect(d2.View(), s2.View(), 0, {0, 0, 2, 2}, {0, 0});
    EXPECT_EQ(Px(d2.View(), 0, 0), 0xFEFEFE);   // a = 0, white source: 254
    // 24 against 32 bits: nothing.
    TPixelImage d3 = Picture(2, 2, 24, 0x000000);
    MixBitmapsRect(d3.View(), s2.View(), 0, {0, 0, 2, 2}, {0, 0});
    EXPECT_EQ(Px(d3.View(), 0, 0), 0);
    TacFast24 f;
    EXPECT_FALSE(f.Attach(Picture(1, 5, 24).View()));
    EXPECT_EQ(f.Width, 0);
}

TEST(AlphaBlend, ColourRectPercentIsTheOldPixel)
{
    TPixelImage img = Picture(3, 3, 32, 0x102030);
    BlendColorRect(img.View(), {0, 0, 3, 3}, 100, 0xFFFFFF);
    EXPECT_EQ(Px(img.View(), 2, 2), 0x102030);
    BlendColorRect(img.View(), {0, 0, 3, 3}, 50, 0x000000);
    // 0x30 * 0.5 = 24, 0x20 * 0.5 = 16, 0x10 * 0.5 = 8; every pixel (rect of the whole size).
    EXPECT_EQ(Px(img.View(), 2, 2), 0x081018);
    EXPECT_EQ(Px(img.View(), 0, 0), 0x081018);
    EXPECT_EQ(skintest::Alpha(img.View(), 1, 1), 255);
    BlendColorRect(img.View(), {0, 0, 3, 3}, 0, 0x0000FF);
    EXPECT_EQ(Px(img.View(), 1, 1), 0x0000FF);
    FillRect32(img.View(), {1, 1, 9, 9}, 0x123456);   // clipped, opaque
    EXPECT_EQ(Px(img.View(), 2, 2), 0x123456);
    EXPECT_EQ(skintest::Alpha(img.View(), 2, 2), 255);
    EXPECT_EQ(Px(img.View(), 0, 0), 0x0000FF);
}

TEST(AlphaBlend, ColourRectBlendsEachChannelWithItsOwnColourAndHalvesTiesToEven)
{
    // Every value of every channel, blended half and half with a colour of
    // odd channels: a sum that is odd gives a half, which goes to the even
    // neighbour. Only the inner rows and columns named by the rect change.
    TPixelImage img = Picture(258, 3, 24, 0x000000);
    for (int x = 0; x < 256; ++x)
        SetPx(img.View(), x + 1, 1, TColor(x | (255 - x) << 8 | (x ^ 0x5A) << 16));
    const TColor colour = 0x030507; // blue 3, green 5, red 7
    BlendColorRect(img.View(), {1, 1, 256, 1}, 50, colour);
    auto half = [](int a, int b) { return (a + b) / 2 + ((a + b) % 4 == 3 ? 1 : 0); };
    for (int x = 0; x < 256; ++x) {
        const int want = half(x, 7) | half(255 - x, 5) << 8 | half(x ^ 0x5A, 3) << 16;
        ASSERT_EQ(Px(img.View(), x + 1, 1), want) << "value " << x;
    }
    EXPECT_EQ(Px(img.View(), 0, 1), 0);
    EXPECT_EQ(Px(img.View(), 257, 1), 0);
    EXPECT_EQ(Px(img.View(), 5, 0), 0);
    EXPECT_EQ(Px(img.View(), 5, 2), 0);
}

namespace {

// A 3 x 3 border mask in the master bitmap: distinct corner, side and
// centre colours, piece widths 1.
struct TMaskSkin {
    TsSkinManager sm;
    TMaskSkin(int maskType, int stretchMode)
    {
        sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(3, 6, 24));
        const TColor c[3][3] = {{0x000001, 0x000002, 0x000003}, {0x000004, 0x000005, 0x000006}, {0x000007, 0x000008, 0x000009}};
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                SetPx(sm.MasterBitmap->View(), x, y, c[y][x]);
                SetPx(sm.MasterBitmap->View(), x, y + 3, 0x808080);   // weights of a mask half
            }
        TsMaskData m;
        m.Manager = &sm;
        m.R = {0, 0, 3, maskType ? 6 : 3};
        m.ImageCount = 1;
        m.MaskType = int16_t(maskType);
        m.StretchMode = int16_t(stretchMode);
        m.WL = m.WT = m.WR = m.WB = 1;
        sm.ma.push_back(std::move(m));
    }
    const TsMaskData& Mask() const { return sm.ma[0]; }
};

} // namespace

TEST(MaskRect, NinePiecesOfAThreeByThreeMask)
{
    TMaskSkin s(0, 4);
    TPixelImage dst = Picture(5, 4, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 5, 4}, false, EmptyCacheInfo(), s.Mask(), 0, false);
    const TPixelView& v = dst.View();
    EXPECT_EQ(Px(v, 0, 0), 1);
    EXPECT_EQ(Px(v, 4, 0), 3);
    EXPECT_EQ(Px(v, 0, 3), 7);
    EXPECT_EQ(Px(v, 4, 3), 9);
    EXPECT_EQ(Px(v, 2, 0), 2);    // top side tiled from the one middle column
    EXPECT_EQ(Px(v, 0, 2), 4);    // left side
    EXPECT_EQ(Px(v, 4, 1), 6);
    EXPECT_EQ(Px(v, 3, 3), 8);
    EXPECT_EQ(Px(v, 2, 2), 0xAAAAAA);   // no centre without the caller's flag
    DrawMaskRect(dst.View(), {0, 0, 5, 4}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    EXPECT_EQ(Px(v, 2, 2), 5);
}

TEST(MaskRect, CentreNeedsStretchBitFourAndStateZeroCanBeHidden)
{
    TMaskSkin s(0, 0);
    TPixelImage dst = Picture(4, 4, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 4, 4}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    EXPECT_EQ(Px(dst.View(), 1, 1), 0xAAAAAA);
    s.sm.ma[0].StretchMode = 2;
    TPixelImage none = Picture(4, 4, 24, 0xAAAAAA);
    DrawMaskRect(none.View(), {0, 0, 4, 4}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    EXPECT_EQ(Px(none.View(), 0, 0), 0xAAAAAA);
    DrawMaskRect(none.View(), {0, 0, 4, 4}, true, EmptyCacheInfo(), s.Mask(), 5, false);   // beyond the last frame
    EXPECT_EQ(Px(none.View(), 0, 0), 1);
}

TEST(MaskRect, KeyCornerShowsTheCacheShiftedByItsOffset)
{
    TMaskSkin s(0, 4);
    SetPx(s.sm.MasterBitmap->View(), 0, 0, clKeyColor);
    TPixelImage bg = Picture(4, 4, 24, 0x111111);
    SetPx(bg.View(), 2, 3, 0x0ABCDE);
    TPixelImage dst = Picture(3, 3, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 3, 3}, true, MakeCacheInfo(bg.View(), 2, 3), s.Mask(), 0, true);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x0ABCDE);
    TPixelImage left = Picture(3, 3, 24, 0xAAAAAA);
    DrawMaskRect(left.View(), {0, 0, 3, 3}, true, MakeCacheInfo(bg.View(), 2, 3), s.Mask(), 0, false);
    EXPECT_EQ(Px(left.View(), 0, 0), 0xAAAAAA);   // flag off: the key pixel stays
}

TEST(MaskRect, MaskHalfWeighsTheBackground)
{
    // s = 1..9 in red, m = 128, d = 0xAA: (s * 128 + 170 * 128) >> 8.
    TMaskSkin s(1, 4);
    TPixelImage dst = Picture(3, 3, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 3, 3}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    EXPECT_EQ(Px(dst.View(), 0, 0), (((1 + 170) * 128) >> 8) | 0x555500);
    EXPECT_EQ(Px(dst.View(), 1, 1), (((5 + 170) * 128) >> 8) | 0x555500);
}

TEST(MaskRect, NarrowRectShrinksTheCorners)
{
    // Frame 9 wide, WL = WR = 4; a 5 wide rect: corners 3 and 2 wide.
    TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(9, 3, 24));
    for (int x = 0; x < 9; ++x)
        for (int y = 0; y < 3; ++y) SetPx(sm.MasterBitmap->View(), x, y, x + 1);
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 9, 3};
    m.ImageCount = 1;
    m.WL = m.WR = 4;
    m.WT = m.WB = 1;
    TPixelImage dst = Picture(5, 3, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 5, 3}, false, EmptyCacheInfo(), m, 0, false);
    EXPECT_EQ(Px(dst.View(), 2, 0), 3);
    EXPECT_EQ(Px(dst.View(), 3, 0), 8);
    EXPECT_EQ(Px(dst.View(), 4, 0), 9);
}

TEST(MaskRect, ZeroSizedPiecesAndBrokenMasksDrawNothing)
{
    TMaskSkin s(0, 0);
    s.sm.ma[0].WL = s.sm.ma[0].WR = 2;   // no middle column left: cw = 0
    s.sm.ma[0].R = {0, 0, 3, 3};
    TPixelImage dst = Picture(50, 50, 24, 0xAAAAAA);
    DrawMaskRect(dst.View(), {0, 0, 50, 50}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    // The corners and side columns are drawn; the top and bottom edges,
    // whose source piece has no width, are not (and never loop), nor is the
    // centre (not stretched or tiled in this mode).
    EXPECT_EQ(Px(dst.View(), 0, 0), 1);
    EXPECT_EQ(Px(dst.View(), 1, 0), 2);
    EXPECT_EQ(Px(dst.View(), 0, 20), 4);
    EXPECT_EQ(Px(dst.View(), 0, 49), 7);
    for (int x = 2; x < 48; ++x) {
        EXPECT_EQ(Px(dst.View(), x, 0), 0xAAAAAA) << x;
        EXPECT_EQ(Px(dst.View(), x, 49), 0xAAAAAA) << x;
        EXPECT_EQ(Px(dst.View(), x, 25), 0xAAAAAA) << x;
    }
    auto pixels = [](const TPixelImage& img) {
        std::vector<TColor> v;
        for (int y = 0; y < img.Height(); ++y)
            for (int x = 0; x < img.Width(); ++x) v.push_back(Px(img.View(), x, y));
        return v;
    };
    const std::vector<TColor> before = pixels(dst);
    // A mask without frames draws nothing at all.
    s.sm.ma[0].ImageCount = 0;
    DrawMaskRect(dst.View(), {0, 0, 50, 50}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    DrawMaskGlyph(dst.View(), {10, 10}, 0, 1, s.Mask(), EmptyCacheInfo());
    EXPECT_EQ(pixels(dst), before);
    // A mask reaching beyond the master bitmap is clipped to it: whatever is
    // drawn is one of the master's nine colours, never bytes from outside it.
    s.sm.ma[0].ImageCount = 1;
    s.sm.ma[0].R = {1, 1, 40, 40};
    TPixelImage fresh = Picture(50, 50, 24, 0xAAAAAA);
    DrawMaskRect(fresh.View(), {-5, -5, 60, 60}, true, EmptyCacheInfo(), s.Mask(), 0, false);
    DrawMaskGlyph(fresh.View(), {48, 48}, 0, 1, s.Mask(), EmptyCacheInfo());
    for (TColor c : pixels(fresh)) EXPECT_TRUE(c == 0xAAAAAA || (c >= 1 && c <= 9)) << std::hex << c;
    // The glyph's first pixel lies inside the master: (1, 1), colour 5.
    EXPECT_EQ(Px(fresh.View(), 48, 48), 5);
}

TEST(MaskRect, InsideOutMaskStaysInsideThePictures)
{
    // A mask made in code with its bottom above its top: the mask half then
    // lies above the frame, and every painter must stop at row 0 as it does
    // at the last row.
    TMaskSkin s(1, 4);
    s.sm.ma[0].R = {0, 5, 3, 0};
    s.sm.ma[0].WL = s.sm.ma[0].WT = s.sm.ma[0].WR = s.sm.ma[0].WB = 2;
    const TsMaskData& m = s.Mask();
    TPixelImage dst = Picture(8, 8, 24, 0xAAAAAA), bg = Picture(8, 8, 24, 0x111111);
    for (int state = 0; state < 3; ++state)
        DrawMaskRect(dst.View(), {0, 0, 8, 8}, true, MakeCacheInfo(bg.View(), 0, 0), m, state, true);
    BlendMaskGlyph({0, 0, 3, 3}, {0, 0, 3, 3}, dst.View(), m, 1, clKeyColor, s.sm.MasterBitmap->View());
    TileMaskPiece({0, 0, 8, 8}, {0, 0, 3, 3}, dst.View(), m, EmptyCacheInfo());
    CopyMaskPieceOverBG({0, 0, 3, 3}, {0, 0, 3, 3}, dst.View(), s.sm.MasterBitmap->View(), EmptyCacheInfo(), false, m);
    // Rows whose mask row would lie above the picture are left as they were.
    TPixelImage row0 = Picture(3, 1, 24, 0xAAAAAA);
    CopyMaskPieceOverBG({0, 0, 3, 1}, {0, 0, 3, 1}, row0.View(), s.sm.MasterBitmap->View(), EmptyCacheInfo(), false, m);
    EXPECT_EQ(Px(row0.View(), 0, 0), 0xAAAAAA);
    EXPECT_EQ(Px(row0.View(), 2, 0), 0xAAAAAA);
}

TEST(MaskGlyph, LeftOfThePictureSkipsColumnsNotFrames)
{
    TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(10, 2, 24));
    for (int x = 0; x < 10; ++x) SetPx(sm.MasterBitmap->View(), x, 0, x + 1), SetPx(sm.MasterBitmap->View(), x, 1, x + 1);
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 10, 2};
    m.ImageCount = 2;
    TPixelImage dst = Picture(4, 2, 24, 0xAAAAAA);
    DrawMaskGlyph(dst.View(), {-3, 0}, 0, 1, m, EmptyCacheInfo());
    EXPECT_EQ(Px(dst.View(), 0, 0), 4);
    EXPECT_EQ(Px(dst.View(), 1, 0), 5);
    EXPECT_EQ(Px(dst.View(), 2, 0), 0xAAAAAA);
    DrawMaskGlyph(dst.View(), {0, 0}, 7, 1, m, EmptyCacheInfo());   // last frame
    EXPECT_EQ(Px(dst.View(), 0, 1), 6);
}

TEST(KeyPixels, BackgroundGoesWhereTheKeyIsAndStopsAtEveryEdge)
{
    TPixelImage dst = Picture(3, 3, 32, 0x010101), src = Picture(3, 3, 32, 0x0000EE);
    SetPx(dst.View(), 2, 2, clKeyColor, 17);   // the alpha byte does not matter
    SetPx(dst.View(), 1, 1, clKeyColor);
    CopyBGToKeyPixels(dst.View(), src.View(), {1, 1, 40, 40}, {1, 1}, -1, nullptr, 13);
    EXPECT_EQ(Px(dst.View(), 2, 2), 0x0000EE);
    EXPECT_EQ(Px(dst.View(), 1, 1), 0x0000EE);
    EXPECT_EQ(Px(dst.View(), 2, 1), 0x010101);

    TPixelImage d2 = Picture(2, 2, 24, 0x222222), s2 = Picture(3, 3, 24, 0x333333);
    BlendBmpRect(d2.View(), 1, 1, s2.View(), {0, 0, 3, 3}, 1.0, clNone);   // k = 1: as it was
    EXPECT_EQ(Px(d2.View(), 1, 1), 0x222222);
    BlendBmpRect(d2.View(), 1, 1, s2.View(), {0, 0, 3, 3}, 0.0, clNone);
    EXPECT_EQ(Px(d2.View(), 1, 1), 0x333333);
    EXPECT_EQ(Px(d2.View(), 0, 0), 0x222222);
}

TEST(AlphaGlyph, AlphaZeroKeepsAndFullAlphaCopies)
{
    TPixelImage dst = Picture(2, 2, 24, 0x404040), src = Picture(2, 2, 32, 0x0000FF);
    SetPx(src.View(), 0, 0, 0x0000FF, 0);
    SetPx(src.View(), 1, 0, 0x0000FF, 255);
    SetPx(src.View(), 0, 1, clKeyColor, 128);
    DrawAlphaGlyph({0, 0, 2, 2}, {0, 0, 2, 2}, dst.View(), src.View(), EmptyCacheInfo(), false);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x404040);
    // red ((255 - 64) * 255 + 64 * 256) >> 8 = 254; the others (-64 * 255 + 64 * 256) >> 8 = 0
    EXPECT_EQ(Px(dst.View(), 1, 0), 0x0000FE);
    // The key pixel without a ready cache is blended like any other: red and blue
    // ((255 - 64) * 128 + 64 * 256) >> 8 = 159, green (-64 * 128 + 16384) >> 8 = 32.
    EXPECT_EQ(Px(dst.View(), 0, 1), 0x9F209F);
}

// A picture with alpha drawn with a tint, a blend value and its fading
// mirror image below it, over black; values worked out from the blend rules.
TEST(AlphaBitmap, TintBlendAndTheFadingMirrorImage)
{
    // Source 2 x 6: colour blue 30, green 60, red 90; row 4 has alpha 150.
    auto source = [] {
        TPixelImage src = Picture(2, 6, 32, 0x1E3C5A);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 2; ++x) SetPx(src.View(), x, y, 0x1E3C5A, y == 4 ? 150 : 255);
        return src;
    };

    // Tint $FF8040 on grey 60: blue 60, green round(60 * 128 / 255) = 30, red
    // round(60 * 64 / 255) = 15; the key pixel is not tinted.
    TPixelImage src = source(), dst = Picture(2, 10, 24, 0);
    SetPx(src.View(), 1, 5, clKeyColor, 255);
    DrawAlphaBitmap({0, 0, 2, 6}, {0, 0, 2, 6}, dst.View(), src.View(), EmptyCacheInfo(), false, 0xFF8040, 0, true);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x3B1D0E);   // (c * 255) >> 8
    EXPECT_EQ(Px(dst.View(), 0, 4), 0x231108);   // (c * 150) >> 8
    EXPECT_EQ(Px(dst.View(), 1, 5), 0xFE00FE);   // the key pixel, blended as it is
    // Mirror: source rows 5 and 4 upward, weights (255 div 3) * 255 div 255 = 85
    // and (150 div 3) * 170 div 255 = 33; then nothing (half the source less one).
    EXPECT_EQ(Px(dst.View(), 0, 6), 0x130904);
    EXPECT_EQ(Px(dst.View(), 1, 6), 0);          // no mirror of a key pixel
    EXPECT_EQ(Px(dst.View(), 0, 7), 0x070301);
    EXPECT_EQ(Px(dst.View(), 0, 8), 0);

    // Blend 40: alpha 255 * 60 / 100 = 153 and 150 -> 90 in the picture; the
    // mirror weighs (a * 60) div 300 by the fade: 51, then 30 * 170 div 255 = 20.
    TPixelImage src2 = source(), dst2 = Picture(2, 10, 32, 0);
    DrawAlphaBitmap({0, 0, 2, 6}, {0, 0, 2, 6}, dst2.View(), src2.View(), EmptyCacheInfo(), false, clNoTint, 40, true);
    EXPECT_EQ(Px(dst2.View(), 0, 0), 0x112335);
    EXPECT_EQ(Px(dst2.View(), 0, 4), 0x0A151F);
    EXPECT_EQ(Px(dst2.View(), 0, 6), 0x050B11);
    EXPECT_EQ(Px(dst2.View(), 1, 7), 0x020407);
    EXPECT_EQ(dst2.View().Pixel(1, 7)[3], 255);
    EXPECT_EQ(Px(dst2.View(), 1, 8), 0);
}
