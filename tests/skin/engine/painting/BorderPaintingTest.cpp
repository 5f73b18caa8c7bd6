// Border pictures over tiny buttons: which frame, which pieces, how corners
// shrink, and the key-coloured runs that window regions leave out.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

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

namespace {

// What a region of bands covers, pixel by pixel, within a w x h area.
std::vector<int> Coverage(const TRectList& bands, int w, int h)
{
    std::vector<int> c(size_t(w * h), 0);
    for (const TRect& r : bands)
        for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, h); ++y)
            for (int x = std::max(r.Left, 0); x < std::min(r.Right, w); ++x) ++c[size_t(y * w + x)];
    return c;
}

// The form the system keeps a region in: bands top to bottom, a band's
// rectangles of one height left to right and apart, no two touching bands
// of the same spans.
void ExpectBandForm(const TRectList& bands)
{
    size_t i = 0;
    std::vector<std::pair<int, int>> previous;
    int previousBottom = INT_MIN;
    while (i < bands.size()) {
        const int top = bands[i].Top, bottom = bands[i].Bottom;
        ASSERT_LT(top, bottom);
        ASSERT_GE(top, previousBottom) << "bands overlap or are out of order at " << i;
        std::vector<std::pair<int, int>> spans;
        int right = INT_MIN;
        for (; i < bands.size() && bands[i].Top == top; ++i) {
            ASSERT_EQ(bands[i].Bottom, bottom) << "one band, one height, at " << i;
            ASSERT_LT(bands[i].Left, bands[i].Right);
            ASSERT_GT(bands[i].Left, right) << "touching or unsorted spans at " << i;
            right = bands[i].Right;
            spans.emplace_back(bands[i].Left, bands[i].Right);
        }
        EXPECT_FALSE(top == previousBottom && spans == previous) << "bands of the same spans not joined at row " << top;
        previous = spans;
        previousBottom = bottom;
    }
}

} // namespace

TEST(RegionBands, CoverExactlyWhatTheRectanglesLeaveInTheirFormWhateverTheOrder)
{
    // Random rectangles, overlapping, touching, out of order, partly outside
    // the whole: the bands are compared pixel by pixel with a plain count.
    uint32_t seed = 12345;
    auto next = [&](int n) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 8) % uint32_t(n));
    };
    const int W = 23, H = 19;
    for (int round = 0; round < 200; ++round) {
        TRectList cut;
        const int count = next(30);
        for (int i = 0; i < count; ++i) {
            const int l = next(W + 6) - 3, t = next(H + 6) - 3;
            cut.push_back({l, t, l + next(9), t + next(round % 2 ? 2 : 7)});   // some empty, many one row high
        }
        const TRect whole{1, 2, W - 1, H - 2};
        const TRectList without = BandsWithout(whole, cut), of = BandsOf(cut);
        ExpectBandForm(without);
        ExpectBandForm(of);
        const std::vector<int> kept = Coverage(without, W, H), covered = Coverage(of, W, H),
                               each = Coverage(cut, W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const size_t at = size_t(y * W + x);
                const bool inWhole = x >= whole.Left && x < whole.Right && y >= whole.Top && y < whole.Bottom;
                ASSERT_EQ(kept[at], inWhole && each[at] == 0 ? 1 : 0) << "round " << round << " at " << x << "," << y;
                ASSERT_EQ(covered[at], each[at] > 0 ? 1 : 0) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(RegionBands, EdgeCasesAndACheckerboardInBandsOfItsRuns)
{
    EXPECT_TRUE(BandsWithout({5, 5, 5, 9}, {}).empty());          // no area
    EXPECT_TRUE(BandsOf({{3, 3, 3, 8}, {4, 4, 9, 4}}).empty());   // empty rectangles
    EXPECT_EQ(BandsWithout({0, 0, 8, 6}, {}), (TRectList{{0, 0, 8, 6}}));
    EXPECT_TRUE(BandsWithout({0, 0, 8, 6}, {{-1, -1, 9, 7}}).empty());
    // The middle rows cut in the middle: three bands, the two whole ones apart.
    EXPECT_EQ(BandsWithout({0, 0, 8, 6}, {{3, 2, 5, 3}, {3, 3, 5, 4}}),
              (TRectList{{0, 0, 8, 2}, {0, 2, 3, 4}, {5, 2, 8, 4}, {0, 4, 8, 6}}));
    // Two rectangles side by side, touching: one span.
    EXPECT_EQ(BandsOf({{4, 0, 6, 2}, {0, 0, 4, 2}}), (TRectList{{0, 0, 6, 2}}));

    // A 300 x 300 checkerboard of single key pixels, as CollectColorRects
    // gives it: each row a band of 150 spans, none joined with the next.
    TRectList runs;
    for (int y = 0; y < 300; ++y)
        for (int x = y % 2; x < 300; x += 2) runs.push_back({x, y, x + 1, y + 1});
    const TRectList kept = BandsWithout({0, 0, 300, 300}, runs);
    ASSERT_EQ(kept.size(), runs.size());
    ExpectBandForm(kept);
    EXPECT_EQ(kept[0], (TRect{1, 0, 2, 1}));
    EXPECT_EQ(kept.back(), (TRect{298, 299, 299, 300}));
}
