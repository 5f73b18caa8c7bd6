// Window regions of skins' key pixels: the region built at once from its
// bands is the one cutting every run by itself gave, at a cost that follows
// the runs (a skin's corners or a hint's texture may hold thousands).
#ifdef _WIN32
#include <gtest/gtest.h>

#include <vector>

#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/painting/BorderPainting.h"
#include "ui/Graphics.h"

using namespace skin;

namespace {

// The expected region built independently: one rectangle per kept pixel,
// joined one at a time.
HRGN PixelByPixel(const std::vector<std::vector<bool>>& keep, int dx = 0, int dy = 0)
{
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    for (size_t y = 0; y < keep.size(); ++y)
        for (size_t x = 0; x < keep[y].size(); ++x)
            if (keep[y][x]) {
                HRGN px = CreateRectRgn(int(x) + dx, int(y) + dy, int(x) + dx + 1, int(y) + dy + 1);
                CombineRgn(rgn, rgn, px, RGN_OR);
                DeleteObject(px);
            }
    return rgn;
}

uint32_t seed = 777;
int Next(int n)
{
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(n));
}

} // namespace

TEST(MaskRegion, TheRegionOfAMaskIsExactlyItsPixelsWithoutTheKey)
{
    for (int round = 0; round < 12; ++round) {
        const int w = 2 + Next(30), h = 2 + Next(20);
        tw::TBitmap b(w, h, tw::pf24bit);
        std::vector<std::vector<bool>> keep(static_cast<size_t>(h), std::vector<bool>(static_cast<size_t>(w)));
        const int density = 1 + Next(4);   // from sparse key pixels to mostly key
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool key = Next(5) < density;
                b.Canvas().SetPixel(x, y, key ? clKeyColor : TColor(0x102030));
                keep[size_t(y)][size_t(x)] = !key;
            }
        HRGN rgn = nullptr;
        CreateMaskRegion(rgn, b.PixelView(), clKeyColor);
        ASSERT_NE(rgn, nullptr);
        HRGN expected = PixelByPixel(keep);
        EXPECT_TRUE(EqualRgn(rgn, expected)) << "round " << round << ", " << w << " x " << h;
        for (int y = -1; y <= h; ++y)
            for (int x = -1; x <= w; ++x) {
                const bool in = x >= 0 && y >= 0 && x < w && y < h && keep[size_t(y)][size_t(x)];
                ASSERT_EQ(PtInRegion(rgn, x, y) != FALSE, in) << "round " << round << " at " << x << "," << y;
            }
        DeleteObject(expected);
        DeleteObject(rgn);
    }
}

TEST(MaskRegion, RunsCutFromAnyRegionAndAMovedWholeAsOneAtATime)
{
    // Overlapping and out-of-order rectangles cut from an ellipse.
    TRectList cut;
    for (int i = 0; i < 40; ++i) {
        const int l = Next(50) - 5, t = Next(40) - 5;
        cut.push_back({l, t, l + Next(12), t + 1 + Next(4)});
    }
    HRGN rgn = CreateEllipticRgn(0, 0, 44, 34);
    HRGN expected = CreateEllipticRgn(0, 0, 44, 34);
    for (const TRect& r : cut) {
        HRGN piece = CreateRectRgn(r.Left, r.Top, r.Right, r.Bottom);
        CombineRgn(expected, expected, piece, RGN_DIFF);
        DeleteObject(piece);
    }
    CutRectsFromRegion(rgn, cut);
    EXPECT_TRUE(EqualRgn(rgn, expected));
    DeleteObject(rgn);
    DeleteObject(expected);

    // The whole of a form moved by an offset, as a form's region is made.
    HRGN moved = CreateRegionWithout({0, 0, 40, 30}, cut, 7, -3);
    HRGN movedExpected = CreateRectRgn(7, -3, 47, 27);
    for (const TRect& r : cut) {
        HRGN piece = CreateRectRgn(r.Left + 7, r.Top - 3, r.Right + 7, r.Bottom - 3);
        CombineRgn(movedExpected, movedExpected, piece, RGN_DIFF);
        DeleteObject(piece);
    }
    EXPECT_TRUE(EqualRgn(moved, movedExpected));
    DeleteObject(moved);
    DeleteObject(movedExpected);

    // Everything cut: an empty region, not none.
    HRGN none = CreateRegionWithout({0, 0, 10, 10}, {{-5, -5, 20, 20}});
    ASSERT_NE(none, nullptr);
    RECT box;
    EXPECT_EQ(GetRgnBox(none, &box), NULLREGION);
    DeleteObject(none);
}

TEST(MaskRegion, ACheckerboardOfTensOfThousandsOfRunsTakesFewRegionCallsButNoWindowTakesIt)
{
    // 300 x 300 single key pixels: 45,000 runs. Cutting each by itself
    // took one region combination per run, each at the cost of all before.
    const int side = 300;
    tw::TBitmap b(side, side, tw::pf24bit);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) b.Canvas().SetPixel(x, y, (x + y) % 2 ? clKeyColor : TColor(0));
    TRectList runs;
    CollectColorRects(runs, b.PixelView(), clKeyColor);
    ASSERT_EQ(runs.size(), size_t(side * side / 2));
    const uint64_t before = BandsRegionCalls();
    HRGN rgn = CreateBandsRegion(BandsWithout({0, 0, side, side}, runs));
    const uint64_t calls = BandsRegionCalls() - before;
    ASSERT_NE(rgn, nullptr);
    EXPECT_LE(calls, uint64_t(side * side / 2 / 8)) << "one call per few runs at most";
    EXPECT_EQ(GetRegionData(rgn, 0, nullptr), sizeof(RGNDATAHEADER) + sizeof(RECT) * size_t(side * side / 2));
    for (int y = 0; y < side; y += 7)
        for (int x = 0; x < side; ++x) ASSERT_EQ(PtInRegion(rgn, x, y) != FALSE, (x + y) % 2 == 0) << x << "," << y;
    DeleteObject(rgn);

    // As a window's outline it is too complex to paint through: the mask's
    // region is its whole picture, and the runs are not cut from another.
    CreateMaskRegion(rgn, b.PixelView(), clKeyColor);
    ASSERT_NE(rgn, nullptr);
    RECT box;
    EXPECT_EQ(GetRgnBox(rgn, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, side);
    EXPECT_EQ(box.bottom, side);
    CutRectsFromRegion(rgn, runs);
    EXPECT_EQ(GetRgnBox(rgn, &box), SIMPLEREGION);
    DeleteObject(rgn);
}
#endif
