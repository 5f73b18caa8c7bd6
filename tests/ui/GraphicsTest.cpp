// Bitmaps of every pixel format, JPEG and PNG pictures, the picture format
// registry.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "base/Streams.h"
#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/ImageFormats.h"

using namespace tw;

namespace {

class GraphicsTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
};

std::string Data(const char* name) { return std::string(TW_UI_TEST_DATA) + "/" + name; }

// Fills every pixel's bits with a pattern that depends on row and column,
// staying inside the row's used bits.
void FillPattern(TBitmap& b) {
    int usedBytes = (b.Width() * b.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < b.Height(); ++y) {
        uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < usedBytes; ++x) p[x] = static_cast<uint8_t>((y * 37 + x * 11 + 5) & 0xFF);
    }
}

void ExpectPattern(const TBitmap& b) {
    int usedBytes = (b.Width() * b.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < b.Height(); ++y) {
        const uint8_t* p = b.ScanLine(y);
        for (int x = 0; x < usedBytes; ++x) {
            // the last byte of 1- and 4-bit rows holds bits beyond the width
            if (x == usedBytes - 1 && (b.Width() * b.BitsPerPixel()) % 8 != 0) continue;
            ASSERT_EQ(p[x], static_cast<uint8_t>((y * 37 + x * 11 + 5) & 0xFF)) << "row " << y << " byte " << x;
        }
    }
}

} // namespace

TEST_F(GraphicsTest, EveryPixelFormatRoundTripsItsScanLines) {
    for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(pf);
        TBitmap b(13, 7, pf);
        ASSERT_EQ(b.PixelFormat(), pf);
        EXPECT_EQ(b.RowBytes() % 4, 0);
        FillPattern(b);
        ExpectPattern(b);
        // Through the BMP file format and back.
        TMemoryStream ms;
        b.SaveToStream(ms);
        ms.SetPosition(0);
        TBitmap c;
        c.LoadFromStream(ms);
        EXPECT_EQ(c.Width(), 13);
        EXPECT_EQ(c.Height(), 7);
        EXPECT_EQ(c.PixelFormat(), pf);
        ExpectPattern(c);
        // And through Assign.
        TBitmap d;
        d.Assign(b);
        ExpectPattern(d);
    }
}

TEST_F(GraphicsTest, ScanLineZeroIsTheTopRow) {
    TBitmap b(4, 3, pf24bit);
    b.Canvas().Brush().SetColor(clWhite);
    b.Canvas().FillRect(TRect(0, 0, 4, 3));
    uint8_t* top = b.ScanLine(0);
    top[0] = 0x00; // blue
    top[1] = 0x00; // green
    top[2] = 0xFF; // red
    EXPECT_EQ(b.Canvas().Pixels(0, 0), clRed);
    EXPECT_EQ(b.Canvas().Pixels(0, 2), clWhite);
    // Rows are stored bottom-up: the top row is the last in memory.
    EXPECT_GT(b.ScanLine(0), b.ScanLine(2));
    // A bitmap drawn on through its canvas still draws elsewhere.
    TBitmap target(4, 3, pf24bit);
    target.Canvas().Draw(0, 0, &b);
    EXPECT_EQ(target.Canvas().Pixels(0, 0), clRed);
    EXPECT_EQ(target.Canvas().Pixels(3, 2), clWhite);
}

TEST_F(GraphicsTest, ResizeKeepsContentAndFillsNewAreaWhite) {
    TBitmap b(10, 10, pf32bit);
    b.Canvas().Brush().SetColor(clBlue);
    b.Canvas().FillRect(TRect(0, 0, 10, 10));
    b.SetSize(20, 5);
    EXPECT_EQ(b.Canvas().Pixels(9, 4), clBlue);
    EXPECT_EQ(b.Canvas().Pixels(15, 2), clWhite);
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.Canvas().Pixels(9, 4), clBlue);
    b.SetSize(0, 0);
    EXPECT_TRUE(b.Empty());
}

TEST_F(GraphicsTest, TransparentColourIsTheBottomLeftPixelUnlessFixed) {
    TBitmap b(4, 4, pf24bit);
    b.Canvas().Brush().SetColor(clLime);
    b.Canvas().FillRect(TRect(0, 0, 4, 4));
    b.Canvas().SetPixel(0, 3, clFuchsia);
    EXPECT_EQ(b.TransparentColor(), clFuchsia);
    b.SetTransparentColor(clLime);
    EXPECT_EQ(b.TransparentColor(), clLime);
}

TEST_F(GraphicsTest, JpegLoadsAndDraws) {
    TPicture pic;
    pic.LoadFromFile(Data("small.jpg"));
    auto* jpg = dynamic_cast<TJPEGImage*>(pic.Graphic());
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(pic.Width(), 16);
    EXPECT_EQ(pic.Height(), 12);
    const uint8_t* p = jpg->Bitmap().ScanLine(5);
    EXPECT_NEAR(p[0], 0xC0, 6); // blue
    EXPECT_NEAR(p[1], 0x80, 6);
    EXPECT_NEAR(p[2], 0x30, 6);
    TBitmap target(32, 24, pf24bit);
    target.Canvas().StretchDraw(TRect(0, 0, 32, 24), pic.Graphic());
    COLORREF c = static_cast<COLORREF>(target.Canvas().Pixels(20, 20));
    EXPECT_NEAR(GetRValue(c), 0x30, 8);
    EXPECT_NEAR(GetBValue(c), 0xC0, 8);
}

TEST_F(GraphicsTest, PngLoadsFromFileAndFromAResourceByNumber) {
    TPicture pic;
    pic.LoadFromFile(Data("small.png"));
    auto* png = dynamic_cast<TPngImage*>(pic.Graphic());
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->Width(), 8);
    EXPECT_EQ(png->Height(), 6);
    EXPECT_FALSE(png->HasAlpha());
    const uint8_t* top = png->Bitmap().ScanLine(0);
    EXPECT_GT(top[2], 200); // gradient starts red at the top
    EXPECT_LT(top[0], 60);

    TPngImage res;
    res.LoadFromResourceID(GetModuleHandleW(nullptr), 100);
    EXPECT_EQ(res.Width(), 8);
    EXPECT_EQ(std::memcmp(res.Bitmap().ScanLine(3), png->Bitmap().ScanLine(3), 8 * 3), 0);
    EXPECT_THROW(res.LoadFromResourceID(GetModuleHandleW(nullptr), 4711), EResNotFound);
}

TEST_F(GraphicsTest, PngWithAlphaKeepsStraightAlphaAndBlends) {
    TPngImage png;
    png.LoadFromFile(Data("alpha.png"));
    ASSERT_TRUE(png.HasAlpha());
    ASSERT_EQ(png.Bitmap().PixelFormat(), pf32bit);
    const uint8_t* p = png.Bitmap().ScanLine(0);
    EXPECT_EQ(p[2], 255); // the opaque red point
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[4 + 1], 255); // green, half transparent
    EXPECT_NEAR(p[4 + 3], 128, 1);
    TBitmap target(8, 6, pf24bit);
    target.Canvas().Brush().SetColor(clBlack);
    target.Canvas().FillRect(TRect(0, 0, 8, 6));
    target.Canvas().Draw(0, 0, &png);
    COLORREF c = static_cast<COLORREF>(target.Canvas().Pixels(3, 3));
    EXPECT_NEAR(GetGValue(c), 128, 4);
    EXPECT_EQ(static_cast<COLORREF>(target.Canvas().Pixels(0, 0)), RGB(255, 0, 0));
}

TEST_F(GraphicsTest, BrokenPicturesThrowAndUnknownExtensionsAreRefused) {
    TPngImage png;
    const uint8_t junk[] = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13, 'I', 'H'};
    EXPECT_THROW(png.LoadFromMemory(junk, sizeof(junk)), EInvalidGraphic);
    TJPEGImage jpg;
    const uint8_t junk2[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F'};
    EXPECT_THROW(jpg.LoadFromMemory(junk2, sizeof(junk2)), EInvalidGraphic);
    TPicture pic;
    EXPECT_THROW(pic.LoadFromFile(Data("x.tiff")), EInvalidGraphic);
    EXPECT_TRUE(TPicture::IsRegisteredFormat("jpeg"));
    EXPECT_TRUE(TPicture::IsRegisteredFormat("JPG"));
    EXPECT_TRUE(TPicture::IsRegisteredFormat("png"));
}

TEST_F(GraphicsTest, ColorToRgbResolvesSystemColours) {
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clRed), RGB(255, 0, 0));
    EXPECT_EQ(ColorToRGB(clNone), RGB(0, 0, 0));
}
