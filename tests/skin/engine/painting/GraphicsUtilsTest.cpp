// Colour mixing, merging, turning, resampling, textures and button layout.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Exceptions.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

TEST(ColourMixing, AverageAndBlendRoundAsWritten)
{
    EXPECT_EQ(AverageColor(0xFFFFFF, 0x000000), 0x7E7E7E);
    EXPECT_EQ(AverageColor(0x000000, 0xFFFFFF), 0x808080);
    EXPECT_EQ(BlendColors(0x000001, 0x000002, 0.5), 0x000002);   // 1.5 -> 2
    EXPECT_EQ(BlendColors(0x000002, 0x000003, 0.5), 0x000002);   // 2.5 -> 2
    EXPECT_EQ(uint32_t(BlendColors(TColor(0x7F000000), 0, 0.5)) >> 24, 0x7Fu);
}

TEST(MergeBitmaps, WeightsAndSizes)
{
    TPixelImage a = Picture(2, 2, 24, 0xC8C8C8), b = Picture(2, 2, 24, 0x646464), dst = Picture(2, 2, 32, 0);
    MergeBitmaps32(dst.View(), a.View(), b.View(), 256);
    EXPECT_EQ(Px(dst.View(), 1, 1), 0xC8C8C8);
    MergeBitmaps32(dst.View(), a.View(), b.View(), 0);
    EXPECT_EQ(Px(dst.View(), 1, 1), 0x646464);
    MergeBitmaps32(dst.View(), a.View(), b.View(), 128);   // (100 * 128 + 100 * 256) >> 8 = 150
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x969696);
    // A destination of another size or format is left alone, not overrun.
    TPixelImage small = Picture(1, 1, 32, 0x111111), d24 = Picture(2, 2, 24, 0x111111);
    MergeBitmaps32(small.View(), a.View(), b.View(), 256);
    MergeBitmaps32(d24.View(), a.View(), b.View(), 256);
    EXPECT_EQ(Px(small.View(), 0, 0), 0x111111);
    EXPECT_EQ(Px(d24.View(), 0, 0), 0x111111);
}

TEST(Resample, BoxFilterAndSmallPictures)
{
    TPixelImage src = Picture(2, 2, 24, 0);
    SetPx(src.View(), 0, 0, 100), SetPx(src.View(), 1, 0, 50), SetPx(src.View(), 0, 1, 100), SetPx(src.View(), 1, 1, 50);
    TPixelImage dst;
    ResampleBitmap(src.View(), dst, 4, 2, rfBox);
    EXPECT_EQ(Px(dst.View(), 0, 0), 100);
    EXPECT_EQ(Px(dst.View(), 1, 0), 150);   // both neighbours weigh 1 at a distance of one half
    ResampleBitmap(src.View(), dst, 2, 2, rfMitchell);
    EXPECT_EQ(Px(dst.View(), 1, 1), 50);
    TPixelImage thin = Picture(1, 5, 24);
    EXPECT_THROW(ResampleBitmap(thin.View(), dst, 3, 3, rfTriangle), tw::Exception);
    // Wide filters on tiny pictures and strong shrinking stay inside the source.
    for (int f = rfBox; f <= rfMitchell; ++f) {
        ResampleBitmap(src.View(), dst, 1, 1, f);
        ResampleBitmap(src.View(), dst, 7, 3, f);
    }
    EXPECT_EQ(dst.Width(), 7);
}

TEST(Rotate, ClockwiseAndBack)
{
    TPixelImage src = Picture(3, 2, 32, 0);
    SetPx(src.View(), 2, 0, 0x0000FF);
    auto cw = RotateBitmap90(src.View(), true);
    ASSERT_EQ(cw->Width(), 2);
    EXPECT_EQ(Px(cw->View(), 1, 2), 0x0000FF);   // (x, y) -> (H - 1 - y, x)
    auto ccw = RotateBitmap90(src.View(), false);
    EXPECT_EQ(Px(ccw->View(), 0, 0), 0x0000FF);  // (x, y) -> (y, W - 1 - x)
}

TEST(ButtonLayout, GlyphLeftOfTheCaption)
{
    TPoint glyph;
    TRect text;
    CalcButtonLayout({10, 20, 110, 44}, {16, 16}, {40, 14}, 0, 0, -1, 4, glyph, text, 0);
    EXPECT_EQ(glyph.X, 12);
    EXPECT_EQ(glyph.Y, 24);   // (24 - 16 + 1) div 2 = 4
    EXPECT_EQ(text.Left, 10 + 2 + 16 + 4);
    CalcButtonLayout({0, 0, 100, 24}, {16, 16}, {40, 14}, 0, 2, -1, 4, glyph, text, 2);   // right to left: glyph right
    EXPECT_EQ(text.Left, 20);
    EXPECT_EQ(glyph.X, 64);
}

TEST(Textures, TilesAndZeroSizedTiles)
{
    TsSkinManager sm;
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 2, 24, 0x0000AA));
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, 2, 2};
    m.ImageCount = 1;
    TPixelImage dst = Picture(5, 100, 24, 0);
    TRect r{0, 0, 5, 100};
    PaintTexture(dst.View(), r, nullptr, 0, &m);
    EXPECT_EQ(r, (TRect{-1, -1, -1, -1}));
    EXPECT_EQ(Px(dst.View(), 4, 99), 0x0000AA);
    m.R = {0, 0, 2, 20};
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 20, 24, 0x0000AA));
    r = {0, 0, 5, 100};
    PaintTexture(dst.View(), r, nullptr, 2, &m);
    EXPECT_EQ(r.Top, 20);
    m.R = {0, 0, 0, 0};   // a tile of no size: returns at once
    r = {0, 0, 5, 100};
    PaintTexture(dst.View(), r, nullptr, 0, &m);
    PaintTextureBmp(dst.View(), r, EmptyCacheInfo(), 0, m);
    TileGraphic(dst.View(), r, TPixelView());
    EXPECT_EQ(r, (TRect{0, 0, 5, 100}));
}

TEST(GlyphStrip, PressedTwoFrameStripDrawsFrameOne)
{
    TPixelImage strip = Picture(4, 2, 24, clKeyColor);
    SetPx(strip.View(), 0, 0, 0x000011);
    SetPx(strip.View(), 2, 0, 0x000022);
    TPixelImage dst = Picture(2, 2, 24, 0x777777);
    DrawGlyphBitmap(strip.View(), dst.View(), {0, 0, 2, 2}, 2, true, 0, 2, 0, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x000022);
    EXPECT_EQ(Px(dst.View(), 1, 1), 0x777777);   // key pixels stay transparent
    TPixelImage grey = Picture(2, 2, 24, 0x777777);
    DrawGlyphBitmap(strip.View(), grey.View(), {0, 0, 2, 2}, 1, false, dkGrayed, 0, 0, 0);
    EXPECT_EQ(Px(grey.View(), 0, 0), 0x050505);   // 0x11 div 3
    EXPECT_EQ(Px(grey.View(), 1, 1), 0x777777);
}
