// Pattern textures laid over a finished item background, glyph strips of
// disabled and blended buttons, and the clean-up of fully transparent white
// in loaded skin pictures: every pixel worked out from the mixing rules.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/ItemPainting.h"

using namespace skin;
using skintest::Alpha;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {

// A parent picture whose every pixel tells where it was taken.
TColor ParentAt(int x, int y) { return TColor(0x800000 | (y * 16) << 8 | x * 16); }

// round(s - (s - d) * k) per channel, ties to even: the glyph blend.
TColor Blend(TColor s, TColor d, double k)
{
    TColor r = 0;
    for (int i = 0; i < 3; ++i) {
        const int sc = (s >> (8 * i)) & 0xFF, dc = (d >> (8 * i)) & 0xFF;
        r |= TColor(std::nearbyint(sc - (sc - dc) * k)) << (8 * i);
    }
    return r;
}

} // namespace

TEST(PatternOverlay, ModeTenTextureGoesOverTheNormalBackgroundOnly)
{
    TsSkinManager sm;
    TsGeneralData s;
    s.Name = "ITEM";
    s.Color = 0x345678;
    s.HotColor = 0x0000AA;
    sm.gd.push_back(std::move(s));
    // One 2 x 2 tile: red under weight 0, black under weight 255, two key
    // pixels; its transparency band below it.
    TsMaskData m;
    m.Bmp = std::make_unique<TPixelImage>(Picture(2, 4, 24, clKeyColor));
    SetPx(m.Bmp->View(), 0, 0, 0x0000FF);
    SetPx(m.Bmp->View(), 1, 0, 0x000000);
    SetPx(m.Bmp->View(), 0, 2, 0x000000);
    SetPx(m.Bmp->View(), 1, 2, 0xFFFFFF);
    m.R = {0, 0, 2, 4};
    m.ImageCount = 1;
    m.MaskType = 1;
    m.StretchMode = 10;
    m.Manager = &sm;
    sm.ma.push_back(std::move(m));

    TPixelImage parent = Picture(8, 8, 24, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) SetPx(parent.View(), x, y, ParentAt(x, y));
    TPixelImage item = Picture(5, 3, 24, 0x010203);
    const TPoint pP{1, 2};
    PaintItemBG(&sm, 0, "ITEM", MakeCacheInfo(parent.View()), 0, {0, 0, 5, 3}, pP, item.View(), 0);
    // The two whole tiles: the glyph colour, the item's colour through
    // weight 255 (x * 255 shr 8), the parent where the tile has the key.
    for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(Px(item.View(), 2 * t, 0), 0x0000FF) << t;
        EXPECT_EQ(Px(item.View(), 2 * t + 1, 0), 0x335577) << t;
        EXPECT_EQ(Px(item.View(), 2 * t, 1), ParentAt(2 * t + 1, 3)) << t;
        EXPECT_EQ(Px(item.View(), 2 * t + 1, 1), ParentAt(2 * t + 2, 3)) << t;
    }
    // No cut tiles: the strips right of and below the whole tiles show the
    // parent at the item's offset.
    for (int y = 0; y < 2; ++y) EXPECT_EQ(Px(item.View(), 4, y), ParentAt(5, y + 2)) << y;
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(item.View(), x, 2), ParentAt(x + 1, 4)) << x;

    // The hot state has no overlay: only the hot colour.
    PaintItemBG(&sm, 0, "ITEM", MakeCacheInfo(parent.View()), 1, {0, 0, 5, 3}, pP, item.View(), 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(item.View(), x, y), 0x0000AA);
    // Without a background the strips take the fill colour.
    TCacheInfo none = EmptyCacheInfo();
    none.FillColor = 0x00C0C0;
    PaintItemBG(&sm, 0, "ITEM", none, 0, {0, 0, 5, 3}, {0, 0}, item.View(), 0);
    EXPECT_EQ(Px(item.View(), 4, 0), 0x00C0C0);
    EXPECT_EQ(Px(item.View(), 0, 2), 0x00C0C0);
    EXPECT_EQ(Px(item.View(), 0, 0), 0x0000FF);
    EXPECT_EQ(Px(item.View(), 2, 0), 0x0000FF);

    // A control with its own colour gets the overlay over that colour:
    // black under weight 255 gives 0x102030 * 255 shr 8 per channel.
    PaintItemBG(&sm, 0, "ITEM", none, 0, {0, 0, 5, 3}, {0, 0}, item.View(), 0, -1, 0x102030);
    EXPECT_EQ(Px(item.View(), 0, 0), 0x0000FF);
    EXPECT_EQ(Px(item.View(), 1, 0), 0x0F1F2F);
    EXPECT_EQ(Px(item.View(), 4, 0), 0x00C0C0);
}

TEST(GlyphStrip, DisabledAndBlendedFrames)
{
    // Three frames of 2 x 2, the key colour in each frame's bottom-left.
    TPixelImage strip = Picture(6, 2, 24, 0x00FF00);
    for (int f = 0; f < 3; ++f) {
        SetPx(strip.View(), 2 * f, 0, 0x101010 * TColor(f + 1));
        SetPx(strip.View(), 2 * f + 1, 0, 0x202020 * TColor(f + 1));
    }
    const TColor under = 0x806040;
    // Disabled in the normal state with a blend: frame 0 mixed in, k = 0.3
    // the share of what was there, the key pixels skipped.
    TPixelImage dst = Picture(3, 3, 24, under);
    DrawGlyphBitmap(strip.View(), dst.View(), {1, 1, 3, 3}, 3, false, dkBlended, 0, 30, 0);
    EXPECT_EQ(Px(dst.View(), 1, 1), Blend(0x101010, under, 0.3));
    EXPECT_EQ(Px(dst.View(), 2, 1), Blend(0x202020, under, 0.3));
    EXPECT_EQ(Px(dst.View(), 1, 2), under);
    EXPECT_EQ(Px(dst.View(), 0, 0), under);
    // Disabled but hot: frame 0 copied as it is.
    dst = Picture(3, 3, 24, under);
    DrawGlyphBitmap(strip.View(), dst.View(), {0, 0, 2, 2}, 3, false, dkBlended, 1, 30, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x101010);
    EXPECT_EQ(Px(dst.View(), 0, 1), under);
    // Enabled and pressed in a three-frame strip: frame 2.
    DrawGlyphBitmap(strip.View(), dst.View(), {0, 0, 2, 2}, 3, true, 0, 2, 0, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x303030);

    // One glyph: grey and then half blended when disabled with both kinds.
    TPixelImage one = Picture(2, 2, 24, clKeyColor);
    SetPx(one.View(), 0, 0, 0x0000F0);   // grey of it: 0x50
    SetPx(one.View(), 1, 0, 0x202020);
    dst = Picture(2, 2, 24, under);
    DrawGlyphBitmap(one.View(), dst.View(), {0, 0, 2, 2}, 1, false, dkBlended | dkGrayed, 0, 0, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), Blend(0x505050, under, 0.5));
    EXPECT_EQ(Px(dst.View(), 1, 0), Blend(0x202020, under, 0.5));
    EXPECT_EQ(Px(dst.View(), 0, 1), under);   // the key stays the key, also in grey
    // Blended only: the colours kept.
    dst = Picture(2, 2, 24, under);
    DrawGlyphBitmap(one.View(), dst.View(), {0, 0, 2, 2}, 1, false, dkBlended, 0, 0, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), Blend(0x0000F0, under, 0.5));
    // Enabled with a blend in the normal state, and unblended when hot.
    dst = Picture(2, 2, 24, under);
    DrawGlyphBitmap(one.View(), dst.View(), {0, 0, 2, 2}, 1, true, 0, 0, 40, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), Blend(0x0000F0, under, 0.4));
    DrawGlyphBitmap(one.View(), dst.View(), {0, 0, 2, 2}, 1, true, 0, 1, 40, 0);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x0000F0);
}

TEST(SkinPictureCleanUp, OnlyFullyTransparentWhiteBecomesZero)
{
    TPixelImage p = Picture(3, 2, 32, 0xFFFFFF);
    SetPx(p.View(), 0, 0, 0xFFFFFF, 0);
    SetPx(p.View(), 1, 0, 0xFFFFFF, 1);
    SetPx(p.View(), 2, 0, 0xFFFFFE, 0);
    ClearTransparentWhite(p.View());
    EXPECT_EQ(Px(p.View(), 0, 0), 0x000000);
    EXPECT_EQ(Alpha(p.View(), 0, 0), 0);
    EXPECT_EQ(Px(p.View(), 1, 0), 0xFFFFFF);
    EXPECT_EQ(Alpha(p.View(), 1, 0), 1);
    EXPECT_EQ(Px(p.View(), 2, 0), 0xFFFFFE);
    EXPECT_EQ(Px(p.View(), 0, 1), 0xFFFFFF);   // opaque white stays
    // A 24-bit picture has no alpha to judge by: untouched.
    TPixelImage q = Picture(2, 2, 24, 0xFFFFFF);
    ClearTransparentWhite(q.View());
    EXPECT_EQ(Px(q.View(), 0, 0), 0xFFFFFF);
    // A picture one pixel wide or high is cleared all the same.
    for (const auto& [w, h] : {std::pair{1, 3}, std::pair{3, 1}, std::pair{1, 1}}) {
        TPixelImage t = Picture(w, h, 32, 0xFFFFFF);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) SetPx(t.View(), x, y, 0xFFFFFF, 0);
        ClearTransparentWhite(t.View());
        EXPECT_EQ(Px(t.View(), w - 1, h - 1), 0x000000) << w << "x" << h;
        EXPECT_EQ(Px(t.View(), 0, 0), 0x000000) << w << "x" << h;
    }
}

TEST(MaskStretch, SidesAreAveragedOverEachPixelsArea)
{
    // Shrinking keeps every source pixel's share; enlarging blends where a
    // pixel straddles two source pixels.
    TPixelImage row = Picture(4, 1, 24, 0);
    for (int x = 0; x < 4; ++x) SetPx(row.View(), x, 0, TColor(x == 3 ? 250 : 100 * x));
    TPixelImage small = Picture(2, 2, 24, 0x777777);
    HalftoneStretchPixels(small.View(), {0, 0, 2, 1}, row.View(), {0, 0, 4, 1});
    EXPECT_EQ(Px(small.View(), 0, 0), 50);
    EXPECT_EQ(Px(small.View(), 1, 0), 225);
    EXPECT_EQ(Px(small.View(), 0, 1), 0x777777);   // nothing outside the rectangle
    TPixelImage wide = Picture(3, 2, 24, 0);
    HalftoneStretchPixels(wide.View(), {0, 0, 3, 2}, row.View(), {1, 0, 3, 1});
    EXPECT_EQ(Px(wide.View(), 0, 1), 100);
    EXPECT_EQ(Px(wide.View(), 1, 1), 150);
    EXPECT_EQ(Px(wide.View(), 2, 1), 200);

    // A stretching border mask: a 4 x 3 frame, corners of one pixel, its
    // top side two pixels (black, red 200) laid over three.
    TsSkinManager sm;
    TsMaskData m;
    m.Bmp = std::make_unique<TPixelImage>(Picture(4, 3, 24, 0x101010));
    SetPx(m.Bmp->View(), 1, 0, 0x000000);
    SetPx(m.Bmp->View(), 2, 0, 0x0000C8);
    m.R = {0, 0, 4, 3};
    m.ImageCount = 1;
    m.StretchMode = 1 | 4;
    m.WL = m.WT = m.WR = m.WB = 1;
    m.Manager = &sm;
    TPixelImage dst = Picture(5, 3, 24, 0x777777);
    DrawMaskRect(dst.View(), {0, 0, 5, 3}, true, EmptyCacheInfo(), m, 0, false);
    EXPECT_EQ(Px(dst.View(), 1, 0), 0x000000);
    EXPECT_EQ(Px(dst.View(), 2, 0), 0x000064);
    EXPECT_EQ(Px(dst.View(), 3, 0), 0x0000C8);
    // The button painter stretches its sides the same way.
    TPixelImage button = Picture(5, 3, 24, 0x777777);
    DrawButtonMask(button.View(), nullptr, true, m, 0);
    EXPECT_EQ(Px(button.View(), 2, 0), 0x000064);
    EXPECT_EQ(Px(button.View(), 3, 0), 0x0000C8);
}

TEST(MaskStretch, AHugeSourceOntoAFewPixelsReadsWhatThePixelsNeed)
{
    // A border whose mask is a whole 8192 x 2048 picture, painted onto a
    // 31 x 10 button: the reads follow the button, not the picture.
    TPixelImage huge = Picture(8192, 2048, 24, 0x204060);
    for (int y = 0; y < 2048; ++y)
        for (int x = 4096; x < 8192; ++x) SetPx(huge.View(), x, y, 0x6080A0);
    TPixelImage button = Picture(31, 10, 24, 0);
    const uint64_t before = HalftoneSourceReads();
    HalftoneStretchPixels(button.View(), {0, 0, 31, 10}, huge.View(), {0, 0, 8192, 2048});
    EXPECT_LE(HalftoneSourceReads() - before, uint64_t(31 * 10 * 16));
    EXPECT_EQ(Px(button.View(), 0, 0), 0x204060);   // a plain area stays its colour
    EXPECT_EQ(Px(button.View(), 30, 9), 0x6080A0);
    // The pixel straddling the two halves shows both.
    const TColor mid = Px(button.View(), 15, 5);
    EXPECT_GT(mid & 0xFF, 0x60);
    EXPECT_LT(mid & 0xFF, 0xA0);

    // Up to 4 source pixels to 1 every pixel still counts: 8 to 2.
    TPixelImage row = Picture(8, 1, 24, 0);
    for (int x = 0; x < 8; ++x) SetPx(row.View(), x, 0, TColor(x * 20));
    TPixelImage two = Picture(2, 1, 24, 0);
    HalftoneStretchPixels(two.View(), {0, 0, 2, 1}, row.View(), {0, 0, 8, 1});
    EXPECT_EQ(Px(two.View(), 0, 0), 30);
    EXPECT_EQ(Px(two.View(), 1, 0), 110);
    // 39 to 10, under 4 to 1 but a span over five pixels: the second pixel
    // weighs 3.9 to 7.8 by area, (15 + 200 + 250 + 300 + 280) / 39.
    TPixelImage ramp = Picture(39, 1, 24, 0);
    for (int x = 0; x < 39; ++x) SetPx(ramp.View(), x, 0, TColor(x * 5));
    TPixelImage ten = Picture(10, 1, 24, 0);
    HalftoneStretchPixels(ten.View(), {0, 0, 10, 1}, ramp.View(), {0, 0, 39, 1});
    EXPECT_EQ(Px(ten.View(), 1, 0), 27);
}
