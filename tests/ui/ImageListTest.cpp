// Image lists over the platform's lists: what goes in comes back out, masked
// colours and alpha are honoured when drawn, and the list's bookkeeping.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>

#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/ImgList.h"

using namespace tw;

namespace {

class ImageListTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
};

uint32_t Pixel32(const TBitmap& b, int x, int y) { return reinterpret_cast<const uint32_t*>(b.ScanLine(y))[x]; }

// 24-bit pixel as 0x00RRGGBB.
uint32_t Pixel24(const TBitmap& b, int x, int y) {
    const uint8_t* p = b.ScanLine(y) + x * 3;
    return static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
}

void Fill24(TBitmap& b, uint32_t rgb) {
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            uint8_t* p = b.ScanLine(y) + x * 3;
            p[0] = rgb & 0xFF;
            p[1] = (rgb >> 8) & 0xFF;
            p[2] = (rgb >> 16) & 0xFF;
        }
}

// A 4x4 image: blue square of 2x2 in the middle, fuchsia around it.
void SquareImage(TBitmap& b, int width = 4) {
    b.SetPixelFormat(pf24bit);
    b.SetSize(width, 4);
    Fill24(b, 0xFF00FF);
    for (int y = 1; y < 3; ++y)
        for (int x = 1; x < 3; ++x) {
            uint8_t* p = b.ScanLine(y) + x * 3;
            p[0] = 0xFF;
            p[1] = 0;
            p[2] = 0;
        }
}

} // namespace

TEST_F(ImageListTest, MaskedColourIsTransparentWhenDrawnAndInThePixels) {
    TImageList list(nullptr);
    list.SetSize(4, 4);
    TBitmap img;
    SquareImage(img);
    ASSERT_EQ(list.AddMasked(img, clFuchsia), 0);
    EXPECT_EQ(list.Count(), 1);

    TBitmap dst(4, 4, pf24bit);
    Fill24(dst, 0xFFFFFF);
    list.Draw(dst.Canvas(), 0, 0, 0);
    GdiFlush();
    EXPECT_EQ(Pixel24(dst, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(Pixel24(dst, 1, 1), 0x0000FFu);

    TBitmap out;
    ASSERT_TRUE(list.GetImageBitmap(0, out));
    ASSERT_EQ(out.Width(), 4);
    ASSERT_EQ(out.PixelFormat(), pf32bit);
    EXPECT_EQ(Pixel32(out, 0, 0) >> 24, 0u);
    EXPECT_EQ(Pixel32(out, 2, 2), 0xFF0000FFu);

    // With a background colour the transparent pixels take it.
    list.SetBkColor(clRed);
    Fill24(dst, 0xFFFFFF);
    list.Draw(dst.Canvas(), 0, 0, 0);
    GdiFlush();
    EXPECT_EQ(Pixel24(dst, 0, 0), 0xFF0000u);
    EXPECT_EQ(Pixel24(dst, 1, 2), 0x0000FFu);
}

TEST_F(ImageListTest, ThirtyTwoBitImagesKeepTheirStraightAlpha) {
    TImageList list(nullptr);
    list.SetColorDepth(cd32Bit);
    list.SetMasked(false);
    list.SetSize(3, 1);
    TBitmap img(3, 1, pf32bit);
    auto* row = reinterpret_cast<uint32_t*>(img.ScanLine(0));
    row[0] = 0xFF204080;   // opaque
    row[1] = 0x80000000 | 0x0000FF; // half covering blue
    row[2] = 0x00000000;   // nothing
    ASSERT_EQ(list.Add(img), 0);

    TBitmap out;
    ASSERT_TRUE(list.GetImageBitmap(0, out));
    EXPECT_EQ(Pixel32(out, 0, 0), 0xFF204080u);
    EXPECT_EQ(Pixel32(out, 1, 0), 0x800000FFu);
    EXPECT_EQ(Pixel32(out, 2, 0) >> 24, 0u);

    TBitmap dst(3, 1, pf24bit);
    Fill24(dst, 0xFFFFFF);
    list.Draw(dst.Canvas(), 0, 0, 0);
    GdiFlush();
    EXPECT_EQ(Pixel24(dst, 0, 0), 0x204080u);
    EXPECT_EQ(Pixel24(dst, 2, 0), 0xFFFFFFu);
    uint32_t half = Pixel24(dst, 1, 0);
    EXPECT_EQ(half & 0xFF, 0xFFu);
    EXPECT_NEAR(static_cast<int>((half >> 16) & 0xFF), 127, 2);
}

TEST_F(ImageListTest, AddReplaceDeleteAndResizeKeepTheCountRight) {
    TImageList list(nullptr);
    list.SetSize(4, 4);
    int changes = 0;
    list.OnChange = [&](TObject*) { ++changes; };
    TBitmap strip;
    SquareImage(strip, 12); // three images side by side
    EXPECT_EQ(list.Add(strip), 0);
    EXPECT_EQ(list.Count(), 3);

    TBitmap red(4, 4, pf24bit);
    Fill24(red, 0xFF0000);
    EXPECT_TRUE(list.Replace(2, red));
    EXPECT_FALSE(list.Replace(3, red));
    EXPECT_FALSE(list.Replace(-1, red));
    TBitmap out;
    ASSERT_TRUE(list.GetImageBitmap(2, out));
    EXPECT_EQ(Pixel32(out, 0, 0), 0xFFFF0000u);

    // Pictures of other formats are converted on the way in.
    TBitmap paletted(4, 4, pf8bit);
    paletted.Canvas().Brush().SetColor(clLime);
    paletted.Canvas().FillRect(TRect(0, 0, 4, 4));
    EXPECT_TRUE(list.Replace(1, paletted));
    ASSERT_TRUE(list.GetImageBitmap(1, out));
    EXPECT_EQ(Pixel32(out, 2, 2), 0xFF00FF00u);

    EXPECT_TRUE(list.Delete(0));
    EXPECT_FALSE(list.Delete(5));
    EXPECT_EQ(list.Count(), 2);
    ASSERT_TRUE(list.GetImageBitmap(1, out));
    EXPECT_EQ(Pixel32(out, 3, 3), 0xFFFF0000u);
    EXPECT_FALSE(list.GetImageBitmap(2, out));

    // Invalid indexes draw nothing.
    TBitmap dst(4, 4, pf24bit);
    Fill24(dst, 0x123456);
    list.Draw(dst.Canvas(), 0, 0, 2);
    list.Draw(dst.Canvas(), 0, 0, -1);
    GdiFlush();
    EXPECT_EQ(Pixel24(dst, 1, 1), 0x123456u);

    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    list.Add(strip);
    list.SetSize(8, 8);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Width(), 8);
    EXPECT_GE(changes, 6);
}
