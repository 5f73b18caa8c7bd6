// Nine-piece stretching, corner re-composition, disabled looks and the
// band-weighted mixers on pictures of a few pixels.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {
// 3 x 3 source, pixel (x, y) = 1 + x + 3y.
TPixelImage Numbered()
{
    TPixelImage src = Picture(3, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) SetPx(src.View(), x, y, 1 + x + 3 * y);
    return src;
}
} // namespace

TEST(NinePieces, CornersStayAndSidesRepeat)
{
    TPixelImage src = Numbered(), dst = Picture(5, 4, 24, 0xAAAAAA);
    const int modes[4] = {0, 0, 0, 0};
    StretchBmpByMargins(dst.View(), src.View(), {0, 0, 5, 4}, {0, 0, 3, 3}, {1, 1, 1, 1}, {1, 1, 1, 1}, modes, 0, false);
    EXPECT_EQ(Px(dst.View(), 0, 0), 1);
    EXPECT_EQ(Px(dst.View(), 4, 3), 9);
    EXPECT_EQ(Px(dst.View(), 3, 0), 2);
    EXPECT_EQ(Px(dst.View(), 0, 2), 4);
    EXPECT_EQ(Px(dst.View(), 2, 2), 0xAAAAAA);
    StretchBmpByMargins(dst.View(), src.View(), {0, 0, 5, 4}, {0, 0, 3, 3}, {1, 1, 1, 1}, {1, 1, 1, 1}, modes, 1, true);
    EXPECT_EQ(Px(dst.View(), 2, 2), 5);
    // A zero corner limit leaves the top row of the corners to the top side.
    TPixelImage cut = Picture(5, 4, 24, 0xAAAAAA);
    StretchBmpByMargins(cut.View(), src.View(), {0, 0, 5, 4}, {0, 0, 3, 3}, {1, 1, 1, 1}, {1, 0, 1, 1}, modes, 0, false);
    EXPECT_EQ(Px(cut.View(), 0, 0), 1);   // l2 x (top - t2) from (0, 0)
}

TEST(CacheBorder, KeyCornersShowTheParent)
{
    TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(6, 2, 24, 0x101010));
    SetPx(sm.MasterBitmap->View(), 0, 0, clKeyColor);   // frame 0, top-left
    SetPx(sm.MasterBitmap->View(), 5, 1, clKeyColor);   // frame 1, bottom-right
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 6, 2};
    m.ImageCount = 2;
    m.WL = m.WT = m.WR = m.WB = 1;
    TPixelImage cache = Picture(4, 4, 24, 0x222222), parent = Picture(10, 10, 24, 0x333333);
    SetPx(parent.View(), 2, 1, 0x0000EE);
    PaintCacheBorderSides(cache.View(), m, 0, 15, MakeCacheInfo(parent.View(), 2, 1));
    EXPECT_EQ(Px(cache.View(), 0, 0), 0x0000EE);   // parent at the control's offset
    EXPECT_EQ(Px(cache.View(), 3, 3), 0x222222);
    TCacheInfo colour;
    colour.FillColor = 0x00CC00;
    PaintCacheBorderSides(cache.View(), m, 1, 8, colour);   // state 1: its own frame's corner
    EXPECT_EQ(Px(cache.View(), 3, 3), 0x00CC00);
}

TEST(DisabledLook, GreyThenHalfTheParentColour)
{
    TPixelImage bmp = Picture(2, 2, 24, 0x0000F0);   // grey: 240 div 3 = 80
    TCacheInfo none;
    PaintDisabledState(bmp.View(), dkGrayed | dkBlended, 0x000000, none, {0, 0});
    EXPECT_EQ(Px(bmp.View(), 1, 1), 0x282828);       // 80 * 0.5 + 0 * 0.5
    TPixelImage b2 = Picture(2, 2, 24, 0x646464), parent = Picture(4, 4, 24, 0xC8C8C8);
    PaintDisabledState(b2.View(), dkBlended, 0, MakeCacheInfo(parent.View(), 1, 1), {1, 1});
    EXPECT_EQ(Px(b2.View(), 0, 0), 0xA0A0A0);        // parent 200 over 100 at 0.4: 200 - (200 - 100) * 0.4 = 160
}

TEST(BandMixers, TextureTilesAndWeightedGlyphs)
{
    // A 2 x 4 texture mask: colour 0x000040 above, weight 128 below; key in one pixel.
    TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 4, 24, 0x808080));
    SetPx(sm.MasterBitmap->View(), 0, 0, 0x000040), SetPx(sm.MasterBitmap->View(), 1, 0, clKeyColor);
    SetPx(sm.MasterBitmap->View(), 0, 1, 0x000040), SetPx(sm.MasterBitmap->View(), 1, 1, 0x000040);
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 2, 4};
    m.ImageCount = 1;
    m.MaskType = 1;
    TPixelImage dst = Picture(3, 3, 24, 0x000000);
    TCacheInfo fill;
    fill.FillColor = 0x00AA00;
    TRect r{0, 0, 3, 3};
    PaintTextureBmp(dst.View(), r, fill, 10, m);
    EXPECT_EQ(r, (TRect{-1, -1, -1, -1}));
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x000020);   // red ((0 - 64) * 128 + 64 * 256) >> 8 = 32
    EXPECT_EQ(Px(dst.View(), 1, 0), 0x00AA00);   // key pixel: the fill colour
    EXPECT_EQ(Px(dst.View(), 2, 2), 0x00AA00);   // strips beyond the whole tiles: the fill colour

    TPixelImage g = Picture(2, 2, 24, 0x000000);
    BlendMaskGlyph({0, 0, 2, 2}, {0, 0, 2, 2}, g.View(), m, 2, clKeyColor, sm.MasterBitmap->View());
    // k = min(128 + 100, 255) = 228: ((0 - 64) * 228 + 64 * 256) >> 8 = 7
    EXPECT_EQ(Px(g.View(), 0, 0), 0x000007);
}

TEST(BandMixers, SumMultiplyAndColour)
{
    TPixelImage a = Picture(2, 2, 24, 0x000000), b = Picture(2, 2, 24, 0xFFFFFF);
    SumBitmaps(a.View(), b.View(), 128);   // (255 * 127 + 0 * 128 + 127) >> 8 = 127
    EXPECT_EQ(Px(a.View(), 1, 1), 0x7F7F7F);
    TPixelImage p = Picture(2, 2, 24, 0xFFFFFF), mask = Picture(2, 2, 24, 0xFFFFFF);
    SetPx(mask.View(), 0, 0, 0x000000);
    MultiplyByMask(p.View(), mask.View(), 0x0000FF);
    EXPECT_EQ(Px(p.View(), 0, 0), 0x0000FF);   // black mask: the colour
    // A white mask keeps the picture to within 1/256: ((255 - 0) * 255 + 0) >> 8 = 254.
    EXPECT_EQ(Px(p.View(), 1, 1), 0xFEFEFF);
    TPixelImage c = Picture(2, 1, 24, 0x646464);
    SetPx(c.View(), 1, 0, clKeyColor);
    BlendBmpWithColor(c.View(), 0x000000, clKeyColor, 0.5);
    EXPECT_EQ(Px(c.View(), 0, 0), 0x323232);
    EXPECT_EQ(Px(c.View(), 1, 0), clKeyColor);
}
