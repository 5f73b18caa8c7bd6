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
    // Destination pixel 1 lies at source 0.5: the box takes t = 0.5 - 0
    // (inside its -0.5 < t <= 0.5) and not t = 0.5 - 1 = -0.5: 100 alone.
    EXPECT_EQ(Px(dst.View(), 1, 0), 100);
    EXPECT_EQ(Px(dst.View(), 2, 0), 50);
    EXPECT_EQ(Px(dst.View(), 3, 0), 50);    // 1.5: source 1, its mirror 2 weighs 0
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

namespace {

// A texture of four different pixels in a 2 x 2 tile, so that a stretched
// tile and a repeated one give different pictures.
struct Tile2x2 {
    TsSkinManager sm;
    TsMaskData m;
    const TColor px[2][2] = {{0x000011, 0x000022}, {0x000033, 0x000044}};   // [y][x]
    explicit Tile2x2(int maskType = 0)
    {
        TPixelImage img = Picture(2, maskType ? 4 : 2, 24, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x) SetPx(img.View(), x, y, px[y][x]);
        m.Manager = &sm;
        m.R = {0, 0, 2, img.Height()};
        m.ImageCount = 1;
        m.MaskType = int16_t(maskType);
        m.Bmp = std::make_unique<TPixelImage>(std::move(img));
    }
    TColor At(int x, int y) const { return px[y % 2][x % 2]; }
};

} // namespace

TEST(Textures, BandsOfModesTwoAndThreeRepeatTheTile)
{
    Tile2x2 t;
    TPixelImage dst = Picture(5, 6, 24, 0);
    TRect r{0, 0, 5, 6};
    PaintTexture(dst.View(), r, nullptr, 2, &t.m);
    EXPECT_EQ(r, (TRect{0, 2, 5, 6}));   // what is left: below the band
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(dst.View(), x, y), y < 2 ? t.At(x, y) : 0) << x << "," << y;

    dst = Picture(5, 6, 24, 0);
    r = {0, 0, 5, 6};
    PaintTexture(dst.View(), r, nullptr, 3, &t.m);
    EXPECT_EQ(r, (TRect{2, 0, 5, 6}));   // what is left: right of the band
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(dst.View(), x, y), x < 2 ? t.At(x, y) : 0) << x << "," << y;
}

TEST(Textures, ModeTenCoversTheRowBelowTheWholeTiles)
{
    // 5 x 5 with 2 x 2 tiles: two whole rows, then a row one pixel high.
    Tile2x2 t;
    TPixelImage dst = Picture(5, 5, 24, 0xABCDEF);
    TRect r{0, 0, 5, 5};
    PaintTexture(dst.View(), r, nullptr, 10, &t.m);
    EXPECT_EQ(r, (TRect{-1, -1, -1, -1}));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(dst.View(), x, y), t.At(x, y)) << x << "," << y;
}

TEST(Textures, AlphaTextureCoversEveryRowInModeZero)
{
    // Colour band over a transparency band of 64: each channel becomes
    // ((d - c) * 64 + c * 256) shr 8. Over d = 16 in red:
    // c 0x11 -> ((16 - 17) * 64 + 17 * 256) >> 8 = 16.75 -> 16,
    // c 0x22 -> 29.5 -> 29, c 0x33 -> 42.25 -> 42, c 0x44 -> 55;
    // green and blue (c 0) -> 16 * 64 >> 8 = 4.
    Tile2x2 t(1);
    for (int y = 2; y < 4; ++y)
        for (int x = 0; x < 2; ++x) SetPx(t.m.Bmp->View(), x, y, 0x404040);
    const int expected[4] = {16, 29, 42, 55};   // red channel of px[0][0], [0][1], [1][0], [1][1]
    for (TRect r : {TRect{0, 0, 4, 4}, TRect{1, 1, 6, 4}}) {
        const TRect area = r;
        TPixelImage dst = Picture(6, 5, 24, 0x101010);
        PaintTextureBmp(dst.View(), r, EmptyCacheInfo(), 0, t.m);
        EXPECT_EQ(r, (TRect{-1, -1, -1, -1}));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                const bool inside = x >= area.Left && x < area.Right && y >= area.Top && y < area.Bottom;
                const int tx = (x - area.Left) % 2, ty = (y - area.Top) % 2;
                const TColor want = inside ? TColor(0x040400 | expected[ty * 2 + tx]) : TColor(0x101010);
                EXPECT_EQ(Px(dst.View(), x, y), want) << x << "," << y;
            }
    }
}

TEST(Textures, AlphaTextureModeTenTilesWholeTilesAndShowsTheBackgroundBeside)
{
    // 4 x 5 with 2 x 2 tiles: two whole columns and rows, the last row is
    // the background's (FillColor here, the cache picture when it is ready).
    Tile2x2 t(1);   // transparency band 0: the colour band as it stands
    TPixelImage dst = Picture(4, 5, 24, 0);
    TRect r{0, 0, 4, 5};
    TCacheInfo ci = EmptyCacheInfo();
    ci.FillColor = 0x5A5A5A;
    PaintTextureBmp(dst.View(), r, ci, 10, t.m);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(dst.View(), x, y), y < 4 ? t.At(x, y) : 0x5A5A5A) << x << "," << y;

    TPixelImage cache = Picture(10, 10, 24, 0);
    SetPx(cache.View(), 3 + 1, 2 + 4, 0x0A0B0C);
    dst = Picture(4, 5, 24, 0);
    r = {0, 0, 4, 5};
    PaintTextureBmp(dst.View(), r, MakeCacheInfo(cache.View(), 3, 2), 10, t.m);
    EXPECT_EQ(Px(dst.View(), 1, 4), 0x0A0B0C);
    EXPECT_EQ(Px(dst.View(), 3, 3), t.At(3, 3));
}

TEST(GaugeCopy, SourceBlendedByItsAlphaWhereTheStencilAllows)
{
    // d := ((s - d) * alpha + d * 256) shr 8 where the stencil's red byte
    // is not 255.
    TPixelImage dst = Picture(3, 2, 24, 0x202020), src = Picture(3, 2, 32, 0xA0A0A0), stencil = Picture(3, 2, 24, 0);
    SetPx(src.View(), 0, 0, 0xA0A0A0, 128);   // (128 * 128 + 32 * 256) >> 8 = 96
    SetPx(src.View(), 2, 1, 0xA0A0A0, 0);     // alpha 0 keeps the destination
    SetPx(stencil.View(), 1, 0, 0x0000FF);    // red 255: left alone
    SetPx(stencil.View(), 2, 0, 0xFF00FE);    // red 254, blue 255: blended
    GaugeCopyPart(dst.View(), src.View(), stencil.View(), {0, 0, 3, 2});
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x606060);
    EXPECT_EQ(Px(dst.View(), 1, 0), 0x202020);
    EXPECT_EQ(Px(dst.View(), 2, 0), 0x9F9F9F);   // (128 * 255 + 8192) >> 8 = 159
    EXPECT_EQ(Px(dst.View(), 2, 1), 0x202020);
    // Right and bottom exclusive; a part of the picture.
    dst = Picture(3, 2, 24, 0x202020);
    GaugeCopyPart(dst.View(), src.View(), stencil.View(), {1, 1, 2, 2});
    EXPECT_EQ(Px(dst.View(), 1, 1), 0x9F9F9F);
    EXPECT_EQ(Px(dst.View(), 0, 1), 0x202020);
    EXPECT_EQ(Px(dst.View(), 2, 1), 0x202020);
    // A destination smaller than the rect is left alone.
    TPixelImage small = Picture(2, 2, 24, 0x202020);
    GaugeCopyPart(small.View(), src.View(), stencil.View(), {0, 0, 3, 2});
    EXPECT_EQ(Px(small.View(), 0, 0), 0x202020);
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

TEST(GlyphStrip, MonochromeStripsShowTheirNormalFrameWhenHotOrPressed)
{
    // Three frames: 0x11, 0x22, 0x33 in the top-left pixel of each.
    TPixelImage strip = Picture(6, 2, 24, clKeyColor);
    for (int f = 0; f < 3; ++f) SetPx(strip.View(), 2 * f, 0, 0x000011 * TColor(f + 1));
    auto drawn = [&](int frames, int state, int down, bool mono) {
        TPixelImage dst = Picture(2, 2, 24, 0x777777);
        TPixelImage two = Picture(4, 2, 24, clKeyColor);
        for (int x = 0; x < 4; ++x) SetPx(two.View(), x, 0, Px(strip.View(), x, 0));
        DrawGlyphBitmap(frames == 3 ? strip.View() : two.View(), dst.View(), {0, 0, 2, 2}, frames, true, 0, state, 0,
                        down, mono);
        return Px(dst.View(), 0, 0);
    };
    EXPECT_EQ(drawn(2, 1, 0, false), 0x000022);
    EXPECT_EQ(drawn(2, 1, 0, true), 0x000011);    // hot: frame 0
    EXPECT_EQ(drawn(2, 2, 0, false), 0x000022);
    EXPECT_EQ(drawn(2, 2, 0, true), 0x000011);    // pressed without a pressed frame: frame 0
    EXPECT_EQ(drawn(3, 2, 0, true), 0x000033);    // a pressed frame is taken whatever the depth
}

// The other layouts of a glyph button: glyph right, above and below the
// caption, every alignment, spacing and margin worked out, and the right to
// left reading order. Client 100 x 40 at (10, 20), glyph 16 x 16, caption
// 30 x 10.
TEST(ButtonLayoutRows, EveryLayoutAlignmentAndSpacing)
{
    const TRect client{10, 20, 110, 60};
    TPoint glyph;
    TRect text;
    auto layout = [&](int l, int alignment, int margin, int spacing, unsigned biDi = 0, TPoint caption = {30, 10}) {
        CalcButtonLayout(client, {16, 16}, caption, l, alignment, margin, spacing, glyph, text, biDi);
    };
    // Glyph right, aligned right, margin 5: glyph at 100 - 5 - 16, caption 4 before it;
    // both centred across: (40 - 16 + 1) div 2 and (40 - 10 + 1) div 2.
    layout(1, 1, 5, 4);
    EXPECT_EQ(glyph, TPoint(10 + 79, 20 + 12));
    EXPECT_EQ(text, TRect(10 + 45, 20 + 15, 10 + 75, 20 + 25));
    // Right to left turns glyph-left into glyph-right.
    layout(0, 1, 5, 4, 2);
    EXPECT_EQ(glyph, TPoint(10 + 79, 20 + 12));
    // Glyph above, centred: (40 - 10 - 4 - 16) div 2 = 5 down, caption after 16 + 4.
    layout(2, 2, -1, 4);
    EXPECT_EQ(glyph, TPoint(10 + 42, 20 + 5));
    EXPECT_EQ(text, TRect(10 + 35, 20 + 25, 10 + 65, 20 + 35));
    // Glyph below with spacing and margin free: margin (40 - 26) div 3 = 4 is
    // the spacing too; c = (40 - 10 - 4 - 16) div 2 = 5, glyph 40 - 16 - 5 down.
    layout(3, 0, -1, -1);
    EXPECT_EQ(glyph, TPoint(10 + 42, 20 + 19));
    EXPECT_EQ(text.Top, 20 + 5);
    // A given margin with free spacing: (100 - 0 - 16 - 30) div 2 = 27 between
    // them, the pair centred: (100 - 30 - 27 - 16) div 2 = 13.
    layout(0, 2, 0, -1);
    EXPECT_EQ(glyph.X, 10 + 13);
    EXPECT_EQ(text.Left, 10 + 13 + 16 + 27);
    // Without a caption there is no spacing: the glyph alone in the middle.
    layout(0, 2, -1, 4, 0, {0, 0});
    EXPECT_EQ(glyph.X, 10 + 42);
}

// The triangle filter worked out by hand: doubling puts the mean between
// two pixels and mirrors the last one at the edge; halving weighs a pixel
// with half of each neighbour (the left edge mirrored into the picture).
TEST(ResampleFilters, TriangleGrowsAndShrinksByItsWeights)
{
    TPixelImage src = Picture(2, 2, 24, 0);
    for (int y = 0; y < 2; ++y) SetPx(src.View(), 1, y, 100);
    TPixelImage dst;
    ResampleBitmap(src.View(), dst, 4, 2, rfTriangle);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0);
    EXPECT_EQ(Px(dst.View(), 1, 0), 50);
    EXPECT_EQ(Px(dst.View(), 2, 1), 100);
    EXPECT_EQ(Px(dst.View(), 3, 1), 100);

    TPixelImage wide = Picture(4, 2, 24, 0);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) SetPx(wide.View(), x, y, TColor(40 * x));
    ResampleBitmap(wide.View(), dst, 2, 2, rfTriangle);
    EXPECT_EQ(Px(dst.View(), 0, 0), 20);   // (0 * 2 + 40 + 40) / 4, source -1 mirrored to 1
    EXPECT_EQ(Px(dst.View(), 1, 1), 80);   // (40 + 80 * 2 + 120) / 4
}
