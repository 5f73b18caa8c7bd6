// Masks whose own picture carries alpha (PNG glyphs and borders): what is
// transparent shows what lies under it, never black.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "tests/skin/engine/PngBuilder.h"

using namespace skin;
using skintest::Alpha;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {

constexpr TColor kGrey = 0x808080;

// A mask of one frame with its own 32-bit picture.
TsMaskData OwnPictureMask(TsSkinManager& sm, TPixelImage pic, int maskType)
{
    TsMaskData m;
    m.Manager = &sm;
    m.R = {0, 0, pic.Width(), pic.Height()};
    m.Bmp = std::make_unique<TPixelImage>(std::move(pic));
    m.ImageCount = 1;
    m.MaskType = int16_t(maskType);
    m.StretchMode = 4;
    return m;
}

} // namespace

// Over grey 128: a half-transparent red (alpha 128) mixes to
// red 255 * 128/255 + 128 * 127/255 = 191.75 -> 192 and green, blue
// 128 * 127/255 = 63.75 -> 64; a transparent black pixel leaves grey.
TEST(PngGlyph, TransparentShowsWhatIsUnderHalfTransparentMixes)
{
    TsSkinManager sm;
    for (int maskType : {0, 1}) {
        TPixelImage pic = Picture(3, maskType + 1, 32, 0);
        SetPx(pic.View(), 0, 0, 0x000000, 0);
        SetPx(pic.View(), 1, 0, 0x0000FF, 128);
        SetPx(pic.View(), 2, 0, 0x00FF00, 255);
        // The band below the colours (MaskType 1) shows the glyph whole.
        if (maskType == 1)
            for (int x = 0; x < 3; ++x) SetPx(pic.View(), x, 1, 0x000000, 255);
        TsMaskData m = OwnPictureMask(sm, std::move(pic), maskType);
        for (int bpp : {24, 32}) {
            TPixelImage dst = Picture(4, 2, bpp, kGrey);
            DrawMaskGlyph(dst.View(), {1, 1}, 0, 1, m, EmptyCacheInfo());
            SCOPED_TRACE(testing::Message() << "mask type " << maskType << ", " << bpp << " bits");
            EXPECT_EQ(Px(dst.View(), 1, 1), kGrey);
            EXPECT_EQ(Px(dst.View(), 2, 1), 0x4040C0);
            EXPECT_EQ(Px(dst.View(), 3, 1), 0x00FF00);
            EXPECT_EQ(Px(dst.View(), 0, 1), kGrey);   // beside the glyph
            if (bpp == 32) {
                EXPECT_EQ(Alpha(dst.View(), 1, 1), 255);
                EXPECT_EQ(Alpha(dst.View(), 2, 1), 255);
            }
        }
    }
}

// A border of a PNG: transparent corners and sides drawn into a picture
// without alpha leave it as it was, the opaque centre is drawn, whether the
// pieces are tiled or stretched.
TEST(PngBorder, TransparentPiecesLeaveTheTargetAsItWas)
{
    TsSkinManager sm;
    for (int stretch : {4, 5}) {
        TPixelImage pic = Picture(3, 3, 32, 0);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) SetPx(pic.View(), x, y, 0xFFFFFF, 0);
        SetPx(pic.View(), 1, 1, 0xFF0000, 255);
        TsMaskData m = OwnPictureMask(sm, std::move(pic), 0);
        m.StretchMode = int16_t(stretch);
        m.WL = m.WT = m.WR = m.WB = 1;
        TPixelImage dst = Picture(6, 5, 24, kGrey);
        DrawMaskRect(dst.View(), {0, 0, 6, 5}, true, EmptyCacheInfo(), m, 0, false);
        SCOPED_TRACE(stretch);
        for (TPoint p : {TPoint{0, 0}, TPoint{5, 0}, TPoint{0, 4}, TPoint{5, 4}, TPoint{3, 0}, TPoint{0, 2}, TPoint{5, 2},
                         TPoint{2, 4}})
            EXPECT_EQ(Px(dst.View(), p.X, p.Y), kGrey) << p.X << "," << p.Y;
        EXPECT_EQ(Px(dst.View(), 2, 2), 0xFF0000);
    }
}

// A corner drawn over the parent's picture: a transparent pixel of the piece
// shows the parent, not black.
TEST(PngBorder, CornerOverTheParentShowsTheParent)
{
    TPixelImage pic = Picture(2, 1, 32, 0);
    SetPx(pic.View(), 0, 0, 0x000000, 0);
    SetPx(pic.View(), 1, 0, 0x00FF00, 255);
    TPixelImage parent = Picture(8, 8, 24, 0x0000EE);
    TPixelImage dst = Picture(2, 1, 24, kGrey);
    CopyKeyColorPiece(dst.View(), pic.View(), 0, 0, {0, 0, 1, 0}, clKeyColor, MakeCacheInfo(parent.View(), 3, 3), true);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x0000EE);
    EXPECT_EQ(Px(dst.View(), 1, 0), 0x00FF00);
}

namespace {

// A w x h picture of transparent black.
TPixelImage Clear(int w, int h)
{
    TPixelImage pic = Picture(w, h, 32, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPx(pic.View(), x, y, 0, 0);
    return pic;
}

// A 3 x 3 border, transparent but for its opaque red centre.
TsMaskData RedCentreBorder(TsSkinManager& sm)
{
    TPixelImage pic = Clear(3, 3);
    SetPx(pic.View(), 1, 1, 0xFF0000, 255);
    TsMaskData m = OwnPictureMask(sm, std::move(pic), 0);
    m.WL = m.WT = m.WR = m.WB = 1;
    return m;
}

} // namespace

// A PNG texture is laid over the section's colour, tiled or stretched; a
// 32-bit BMP texture, whose fourth byte says nothing, is opaque.
TEST(PngTexture, TransparentPixelsShowTheSectionColour)
{
    using namespace skin::test;
    DefaultManager = nullptr;
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    // Opaque green, half-transparent red (alpha 128); a row of transparent black.
    const Bytes png = Png(Ihdr(2, 2, 8, 6), {0, 0, 255, 0, 255, 255, 0, 0, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    pack.Files["TEX.PNG"] = std::string(png.begin(), png.end());
    pack.Files["TEX.BMP"] = skintest::BmpFile(Picture(2, 2, 32, 0xFF0000).View());   // alpha 0
    pack.Attach(sm);
    const std::string text = "[P]\nCOLOR=8421504\nIMAGEPERCENT=100\nPATTERN=!TEX.PNG!1!0!1\n"
                             "[B]\nCOLOR=8421504\nIMAGEPERCENT=100\nPATTERN=!TEX.BMP!1!0!1\n";
    LoadSkinTables(sm, &text);
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        TPixelImage item = Picture(4, 4, bpp, 0), plain = Picture(4, 4, bpp, 0);
        PaintItemBG(&sm, sm.GetSkinIndex("P"), "P", EmptyCacheInfo(), 0, {0, 0, 4, 4}, {0, 0}, item.View());
        PaintItemBG(&sm, sm.GetSkinIndex("B"), "B", EmptyCacheInfo(), 0, {0, 0, 4, 4}, {0, 0}, plain.View());
        // Stretched along the top (the "!" form's mode), the colour below.
        EXPECT_EQ(Px(item.View(), 1, 0), 0x00FF00);
        EXPECT_EQ(Px(item.View(), 2, 0), 0x4040C0);
        EXPECT_EQ(Px(item.View(), 1, 1), kGrey);
        EXPECT_EQ(Px(plain.View(), 1, 1), 0xFF0000);
        if (bpp == 32) EXPECT_EQ(Alpha(item.View(), 1, 1) + Alpha(plain.View(), 1, 1), 510);
    }
    const int tex = sm.GetMaskIndexByName("P", "PATTERN");
    ASSERT_GE(tex, 0);
    for (int mode : {0, 1}) {
        TPixelImage dst = Picture(4, 4, 24, kGrey);
        TRect r{0, 0, 4, 4};
        PaintTexture(dst.View(), r, nullptr, mode, &sm.ma[size_t(tex)]);
        EXPECT_EQ(Px(dst.View(), 2 * mode + 1, 0), 0x4040C0) << mode;
        EXPECT_EQ(Px(dst.View(), 1, 3), kGrey) << mode;
    }
}

// Transparent corners and sides of a PNG border: the button painter leaves
// the button as it was; a 32-bit item over a ready parent shows the parent
// at the corner and its own colour at the side, opaque as a 24-bit item
// would; a glow's picture, painted for itself, keeps the alpha.
TEST(PngBorder, TransparentPiecesShowWhatLiesBehindInEveryPainter)
{
    TsSkinManager sm;
    TsMaskData m = RedCentreBorder(sm);
    for (int stretch : {4, 5}) {
        SCOPED_TRACE(stretch);
        m.StretchMode = int16_t(stretch);
        TPixelImage button = Picture(6, 5, 24, kGrey);
        DrawButtonMask(button.View(), nullptr, true, m, 0);
        for (TPoint p : {TPoint{0, 0}, TPoint{5, 4}, TPoint{3, 0}, TPoint{0, 2}})
            EXPECT_EQ(Px(button.View(), p.X, p.Y), kGrey) << p.X << "," << p.Y;
        EXPECT_EQ(Px(button.View(), 2, 2), 0xFF0000);

        TPixelImage parent = Picture(10, 10, 32, 0x0000EE), item = Picture(6, 5, 32, kGrey);
        DrawMaskRect(item.View(), {0, 0, 6, 5}, true, MakeCacheInfo(parent.View(), 0, 0), m, 0, true);
        EXPECT_EQ(Px(item.View(), 0, 0), 0x0000EE);
        EXPECT_EQ(Px(item.View(), 3, 0), kGrey);
        EXPECT_EQ(Alpha(item.View(), 0, 0) + Alpha(item.View(), 3, 0), 510);

        TPixelImage glow = Clear(6, 5);
        DrawMaskRect(glow.View(), {0, 0, 6, 5}, true, EmptyCacheInfo(), m, 0, false);
        EXPECT_EQ(Alpha(glow.View(), 0, 0) + Alpha(glow.View(), 3, 0), 0);
        EXPECT_EQ(Alpha(glow.View(), 2, 2), 255);
    }
    // A band below the colours (all 0: the colour whole): transparent and
    // half-transparent red, through the button and the item painters.
    TPixelImage band = Clear(2, 2);
    SetPx(band.View(), 1, 0, 0x0000FF, 128);
    SetPx(band.View(), 0, 1, 0, 255);
    SetPx(band.View(), 1, 1, 0, 255);
    TsMaskData bm = OwnPictureMask(sm, std::move(band), 1);
    TPixelImage button = Picture(3, 3, 24, kGrey);
    CopyMaskPiece(0, 0, 1, 0, 0, 0, 1, 0, button.View(), nullptr, bm, true);
    EXPECT_EQ(Px(button.View(), 0, 0), kGrey);
    EXPECT_EQ(Px(button.View(), 1, 0), 0x4040C0);
    for (int bpp : {24, 32}) {
        TPixelImage item = Picture(2, 2, bpp, kGrey);
        CopyMaskPieceOverBG({0, 0, 2, 1}, {0, 0, 2, 1}, item.View(), bm.Bmp->View(), EmptyCacheInfo(), false, bm);
        EXPECT_EQ(Px(item.View(), 0, 0), kGrey) << bpp;
        EXPECT_EQ(Px(item.View(), 1, 0), 0x4040C0) << bpp;
    }
}

// A 32-bit glyph of several frames, blended or greyed goes by its alpha, not
// by the colour of its bottom-left pixel.
TEST(PngGlyph, FramesBlendAndGreyGoByAlpha)
{
    TPixelImage g = Clear(4, 2);
    SetPx(g.View(), 0, 0, 0x0000FF, 128);   // half-transparent red
    SetPx(g.View(), 2, 0, 0x00FF00, 255);   // the second frame
    SetPx(g.View(), 3, 1, 0xFFFFFF, 0);     // another transparent colour
    TPixelImage dst = Picture(2, 2, 24, kGrey);
    DrawGlyphBitmap(g.View(), dst.View(), {0, 0, 2, 2}, 2, true, 0, 0, 0, 0, false);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x4040C0);
    EXPECT_EQ(Px(dst.View(), 1, 0), kGrey);
    DrawGlyphBitmap(g.View(), dst.View(), {0, 0, 2, 2}, 2, true, 0, 1, 0, 0, false);
    EXPECT_EQ(Px(dst.View(), 0, 0), 0x00FF00);
    EXPECT_EQ(Px(dst.View(), 1, 1), kGrey);

    // One frame blended by 60 %: opaque red keeps 40 % over grey
    // (255 * 0.4 + 128 * 0.6 = 178.8, 128 * 0.6 = 76.8).
    TPixelImage one = Clear(2, 1);
    SetPx(one.View(), 0, 0, 0x0000FF, 255);
    TPixelImage blended = Picture(2, 1, 24, kGrey);
    DrawGlyphBitmap(one.View(), blended.View(), {0, 0, 2, 1}, 1, true, 0, 0, 60, 0, false);
    const TColor c = Px(blended.View(), 0, 0);
    EXPECT_NEAR(c & 0xFF, 179, 1);
    EXPECT_NEAR((c >> 8) & 0xFF, 77, 1);
    EXPECT_EQ(Px(blended.View(), 1, 0), kGrey);
    TPixelImage greyed = Picture(2, 1, 24, 0x00FF00);
    DrawGlyphBitmap(one.View(), greyed.View(), {0, 0, 2, 1}, 1, false, dkGrayed, 0, 0, 0, false);
    EXPECT_EQ(Px(greyed.View(), 0, 0), 0x555555);   // (0 + 0 + 255) / 3
    EXPECT_EQ(Px(greyed.View(), 1, 0), 0x00FF00);
}

// Items one pixel high or wide are filled and mixed like any other.
TEST(ThinItem, FilledAndMixedLikeAnyOther)
{
    for (TPoint size : {TPoint{5, 1}, TPoint{1, 5}}) {
        SCOPED_TRACE(testing::Message() << size.X << "x" << size.Y);
        TPixelImage dst = Clear(size.X, size.Y);
        FillRectPixels(dst.View(), {0, 0, size.X, size.Y}, 0x00FF00);
        EXPECT_EQ(Px(dst.View(), size.X - 1, size.Y - 1), 0x00FF00);
        EXPECT_EQ(Alpha(dst.View(), 0, 0), 255);
        for (int bpp : {24, 32}) {
            // (200 * (255 - 128) + 100 * 128 + 127) >> 8 = 149
            TPixelImage under = Picture(size.X, size.Y, bpp, 0x646464), over = Picture(size.X, size.Y, bpp, 0xC8C8C8);
            MixBitmapsRect(under.View(), over.View(), 128, {0, 0, size.X, size.Y}, {0, 0});
            EXPECT_EQ(Px(under.View(), 0, 0), 0x959595) << bpp;
        }
    }
}
