// Masks whose own picture carries alpha (PNG glyphs and borders): what is
// transparent shows what lies under it, never black.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"

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
