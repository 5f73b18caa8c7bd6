// The painters take masks as anyone may make them, not only as the options
// reader bounds them: negative mask types and frame counts, and piece widths
// far beyond the picture. They paint what lies inside their pictures and
// walk only that.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/painting/GraphicsUtils.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {

constexpr TColor kCorner = 0x0000FF, kSide = 0x00FF00, kCentre = 0xFF0000, kOther = 0x808080;

// A 6 x 6 picture: one-pixel corners of kCorner at its four corners, sides
// kSide, the centre kCentre.
TPixelImage Framed()
{
    TPixelImage img = Picture(6, 6, 24, kCentre);
    for (int i = 0; i < 6; ++i) {
        SetPx(img.View(), i, 0, kSide);
        SetPx(img.View(), i, 5, kSide);
        SetPx(img.View(), 0, i, kSide);
        SetPx(img.View(), 5, i, kSide);
    }
    for (int x : {0, 5})
        for (int y : {0, 5}) SetPx(img.View(), x, y, kCorner);
    return img;
}

struct Unbounded : ::testing::Test {
    TsSkinManager sm;
    TsMaskData Mask(TPixelImage img, int count, int maskType, int w)
    {
        TsMaskData m;
        m.R = {0, 0, img.Width(), img.Height()};
        m.Bmp = std::make_unique<TPixelImage>(std::move(img));
        m.ImageCount = int16_t(count);
        m.MaskType = int16_t(maskType);
        m.Manager = &sm;
        m.WL = m.WT = m.WR = m.WB = int16_t(w);
        return m;
    }
};

} // namespace

TEST_F(Unbounded, NegativeMaskTypesAndFrameCountsPaintAsOnePlainPicture)
{
    for (int maskType : {-1, -2, -32768})
        for (int count : {1, 0, -3}) {
            const TsMaskData m = Mask(Framed(), count, maskType, 1);
            TPixelImage button = Picture(8, 8, 24, kOther);
            DrawButtonMask(button.View(), nullptr, false, m, 2);
            EXPECT_EQ(Px(button.View(), 0, 0), kCorner) << maskType << "/" << count;
            EXPECT_EQ(Px(button.View(), 7, 7), kCorner) << maskType << "/" << count;
            EXPECT_EQ(Px(button.View(), 3, 0), kSide) << maskType << "/" << count;
            EXPECT_EQ(Px(button.View(), 7, 4), kSide) << maskType << "/" << count;
            EXPECT_EQ(Px(button.View(), 4, 4), kOther) << maskType << "/" << count;   // not filling

            // The piece copier reads the colour half only.
            TPixelImage piece = Picture(4, 4, 24, kOther);
            CopyMaskPiece(0, 0, 3, 3, 0, 0, 3, 3, piece.View(), nullptr, m, false);
            EXPECT_EQ(Px(piece.View(), 0, 0), kCorner);
            EXPECT_EQ(Px(piece.View(), 1, 1), kCentre);

            // The others paint nothing for a mask without frames or halves,
            // and read nothing outside the picture.
            TPixelImage dst = Picture(8, 8, 32, kOther);
            DrawMaskRect(dst.View(), {0, 0, 8, 8}, true, EmptyCacheInfo(), m, 1, true);
            DrawMaskGlyph(dst.View(), {-2, -2}, 1, 1, m, EmptyCacheInfo());
            PaintCacheBorderSides(dst.View(), m, 1, 15u, EmptyCacheInfo());
            TRect r{0, 0, 8, 8};
            PaintTextureBmp(dst.View(), r, EmptyCacheInfo(), 0, m);
            TileMaskPiece({0, 0, 8, 8}, m.R, dst.View(), m, EmptyCacheInfo());
            CopyBGToKeyPixels(dst.View(), dst.View(), {0, 0, 8, 8}, {0, 0}, 0, nullptr, 17);
            TRectList cut;
            GetMaskTransRects(cut, 8, m, 0, true);
            if (maskType < 0 && count < 1) EXPECT_EQ(Px(dst.View(), 4, 4), kOther);
        }
}

TEST_F(Unbounded, CornersWiderThanEverythingCoverOnlyThePicture)
{
    // Corner widths of 32767 over a 5 x 4 cache: every corner reaches over
    // the whole cache. The left corners read the mask's picture at the same
    // place, the right ones one column further (the frame is one wider than
    // the cache); a cache pixel under a key pixel of either shows the parent.
    TPixelImage img = Picture(6, 4, 24, kCentre);
    SetPx(img.View(), 5, 0, clKeyColor);
    SetPx(img.View(), 0, 3, clKeyColor);
    const TsMaskData m = Mask(std::move(img), 1, 0, 32767);
    TPixelImage cache = Picture(5, 4, 24, kOther), parent = Picture(9, 9, 24, kSide);
    SetPx(parent.View(), 3, 3, kCorner);   // the parent's pixel under cache (0, 3), offset by (3, 0)
    PaintCacheBorderSides(cache.View(), m, 0, 15u, MakeCacheInfo(parent.View(), 3, 0));
    EXPECT_EQ(Px(cache.View(), 4, 0), kSide);
    EXPECT_EQ(Px(cache.View(), 0, 3), kCorner);
    EXPECT_EQ(Px(cache.View(), 3, 0), kOther);
    EXPECT_EQ(Px(cache.View(), 2, 2), kOther);

    // Key pixels over a rect far larger than any picture: only what lies in
    // the destination, the source and the mask is touched.
    TPixelImage dst = Picture(6, 4, 32, kOther), src = Picture(6, 4, 32, kSide);
    SetPx(dst.View(), 2, 1, clKeyColor, 0);
    CopyBGToKeyPixels(dst.View(), src.View(), {-30000, -30000, 32767, 32767}, {-30000, -30000}, -1, nullptr, 13);
    EXPECT_EQ(Px(dst.View(), 2, 1), kSide);
    EXPECT_EQ(skintest::Alpha(dst.View(), 2, 1), 255);
    EXPECT_EQ(Px(dst.View(), 3, 1), kOther);
}

TEST_F(Unbounded, TilesKeepTheirPlaceWhenTheAreaReachesFarOutside)
{
    // A 2 x 1 tile laid from x = -1000001: column 0 of the picture is the
    // tile's second column.
    TPixelImage tile = Picture(2, 1, 24, kCorner);
    SetPx(tile.View(), 1, 0, kSide);
    TsMaskData m = Mask(std::move(tile), 1, 0, 0);
    TPixelImage dst = Picture(4, 2, 24, kOther);
    TRect r{-1000001, 0, 4, 2};
    PaintTexture(dst.View(), r, nullptr, 0, &m);
    EXPECT_EQ(Px(dst.View(), 0, 0), kSide);
    EXPECT_EQ(Px(dst.View(), 1, 1), kCorner);
    EXPECT_EQ(Px(dst.View(), 3, 1), kCorner);

    // A border over a rect that starts far above and left of the picture:
    // the sides and the centre of one pixel are tiled from the rect's corner.
    TsMaskData b = Mask(Framed(), 1, 0, 1);
    b.StretchMode = 4;   // the centre is drawn, sides are tiled
    TPixelImage big = Picture(6, 6, 24, kOther);
    DrawMaskRect(big.View(), {-100000, -100000, 6, 6}, true, EmptyCacheInfo(), b, 0, false);
    EXPECT_EQ(Px(big.View(), 5, 5), kCorner);
    EXPECT_EQ(Px(big.View(), 5, 0), kSide);    // right side
    EXPECT_EQ(Px(big.View(), 0, 5), kSide);    // bottom side
    EXPECT_EQ(Px(big.View(), 2, 2), kCentre);
}

TEST(UnboundedTiles, OnlyTilesThatReachTheClipAreVisited)
{
    // A 2 x 1 piece over an area two million pixels wide, clipped to four
    // columns: three tiles are drawn, the first keeping its place on the
    // area's grid (one column left of the clip).
    std::vector<TRect> seen;
    ForEachTile({-1000001, 0, 1000000, 1}, 2, 1, {0, 0, 4, 1}, [&](const TRect& t) { seen.push_back(t); });
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (TRect{-1, 0, 1, 1}));
    EXPECT_EQ(seen[2], (TRect{3, 0, 5, 1}));

    // The last tile is cut to the area, and an area beside the clip draws nothing.
    seen.clear();
    ForEachTile({0, 0, 5, 3}, 2, 2, {0, 0, 100, 100}, [&](const TRect& t) { seen.push_back(t); });
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen.back(), (TRect{4, 2, 5, 3}));
    seen.clear();
    ForEachTile({-50, 0, -10, 10}, 1, 1, {0, 0, 100, 100}, [&](const TRect& t) { seen.push_back(t); });
    EXPECT_TRUE(seen.empty());
}

TEST_F(Unbounded, KeyPixelsOfADestinationSmallerThanItsSourceStayInIt)
{
    // The source and the mask's picture are larger than the destination:
    // the destination alone bounds the walk.
    TPixelImage dst = Picture(3, 2, 24, kOther), src = Picture(40, 40, 24, kSide);
    SetPx(dst.View(), 2, 1, clKeyColor);
    CopyBGToKeyPixels(dst.View(), src.View(), {0, 0, 32767, 32767}, {0, 0}, -1, nullptr, 13);
    EXPECT_EQ(Px(dst.View(), 2, 1), kSide);
    EXPECT_EQ(Px(dst.View(), 1, 1), kOther);

    TPixelImage keys = Picture(40, 40, 24, clKeyColor);
    sm.ma.push_back(Mask(std::move(keys), 1, 0, 0));
    TPixelImage small = Picture(3, 2, 24, kOther);
    CopyBGToKeyPixels(small.View(), src.View(), {0, 0, 32767, 32767}, {0, 0}, int(sm.ma.size()) - 1, &sm, 13);
    EXPECT_EQ(Px(small.View(), 2, 1), kSide);
    EXPECT_EQ(Px(small.View(), 0, 0), kSide);
}
