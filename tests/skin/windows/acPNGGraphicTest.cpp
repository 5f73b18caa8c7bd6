// PNG pictures as bitmaps of the class library: loaded through the picture
// registry, drawn with their alpha at their size, scaled and with a
// reflection, never into an empty rectangle; icons with alpha from them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "base/Streams.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/painting/acPNGGraphic.h"
#include "tests/skin/engine/PngBuilder.h"

namespace skin {
namespace {

using test::Bytes;

// A w x h RGBA picture: the left half opaque blue, the right half blue at
// alpha 128.
Bytes HalfTransparentBlue(int w, int h)
{
    Bytes rows;
    for (int y = 0; y < h; ++y) {
        rows.push_back(0);
        for (int x = 0; x < w; ++x) {
            const uint8_t px[4] = {0, 0, 255, uint8_t(x < w / 2 ? 255 : 128)};
            rows.insert(rows.end(), px, px + 4);
        }
    }
    return test::Png(test::Ihdr(w, h, 8, 6), rows);
}

std::unique_ptr<TPNGBitmap> Load(const Bytes& file)
{
    tw::TMemoryStream s;
    s.Write(file.data(), static_cast<int64_t>(file.size()));
    s.SetPosition(0);
    auto png = std::make_unique<TPNGBitmap>();
    png->LoadFromStream(s);
    return png;
}

// A red canvas to draw on.
std::unique_ptr<tw::TBitmap> RedCanvas(int w, int h)
{
    auto bmp = std::make_unique<tw::TBitmap>(w, h, tw::pf24bit);
    const TPixelView v = bmp->PixelView();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = v.Pixel(x, y);
            p[0] = 0, p[1] = 0, p[2] = 255;
        }
    return bmp;
}

uint32_t Rgb(tw::TBitmap& bmp, int x, int y)
{
    const uint8_t* p = bmp.PixelView().Pixel(x, y);
    return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

TEST(PngGraphic, RegisteredAsThePictureFormatPng)
{
    RegisterPNGGraphic();
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string name = std::string(dir) + "tarnwick_skin_test.png";
    {
        const Bytes file = HalfTransparentBlue(4, 2);
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
    }
    tw::TPicture picture;
    picture.LoadFromFile(name);
    auto* png = dynamic_cast<TPNGBitmap*>(picture.Graphic());
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(png->Width(), 4);
    EXPECT_EQ(png->PixelFormat(), tw::pf32bit);
    UnregisterPNGGraphic();
    EXPECT_FALSE(tw::TPicture::IsRegisteredFormat("png"));
    std::remove(name.c_str());
    // Broken data raises, as the reader does.
    EXPECT_THROW(Load(Bytes{1, 2, 3}), tw::Exception);
}

TEST(PngGraphic, ATransparentColourOfAGreyOrRgbPictureMakesTheBitmapTransparent)
{
    // 2 x 1 RGB, green then red, with red named transparent by tRNS.
    const Bytes rgbRows{0, 0, 255, 0, 255, 0, 0};
    auto rgb = Load(test::Png(test::Ihdr(2, 1, 8, 2), rgbRows, {test::Chunk("tRNS", Bytes{0, 255, 0, 0, 0, 0})}));
    EXPECT_TRUE(rgb->Transparent());
    EXPECT_EQ(rgb->TransparentMode(), tw::tmFixed);
    EXPECT_EQ(rgb->TransparentColor(), tw::TColor(0x0000FF));
    // Drawn over blue, the red pixel lets the canvas through, the green one covers it.
    auto canvas = RedCanvas(2, 1);
    const TPixelView v = canvas->PixelView();
    for (int x = 0; x < 2; ++x) v.Pixel(x, 0)[0] = 255, v.Pixel(x, 0)[2] = 0;
    rgb->Draw(canvas->Canvas(), tw::Bounds(0, 0, 2, 1));
    EXPECT_EQ(Rgb(*canvas, 0, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(*canvas, 1, 0), 0x0000FFu);

    // 8-bit grey: level 0x40 transparent.
    const Bytes greyRows{0, 0x40, 0x80};
    auto grey = Load(test::Png(test::Ihdr(2, 1, 8, 0), greyRows, {test::Chunk("tRNS", Bytes{0, 0x40})}));
    EXPECT_TRUE(grey->Transparent());
    EXPECT_EQ(grey->TransparentColor(), tw::TColor(0x404040));

    // Without tRNS the picture stays opaque.
    EXPECT_FALSE(Load(test::Png(test::Ihdr(2, 1, 8, 2), rgbRows))->Transparent());
}

TEST(PngGraphic, DrawsItsAlphaOverTheCanvas)
{
    auto png = Load(HalfTransparentBlue(4, 2));
    auto canvas = RedCanvas(10, 10);
    png->Draw(canvas->Canvas(), tw::Bounds(3, 4, 4, 2));
    // Opaque blue (the blend's 8-bit weights leave 254).
    EXPECT_GE(Rgb(*canvas, 3, 4), 0x0000FEu);
    EXPECT_LE(Rgb(*canvas, 3, 4), 0x0000FFu);
    const uint32_t mixed = Rgb(*canvas, 6, 5);     // half over red
    EXPECT_NEAR(int(mixed >> 16), 127, 2);
    EXPECT_NEAR(int(mixed & 0xFF), 128, 2);
    EXPECT_EQ(Rgb(*canvas, 2, 4), 0xFF0000u);     // outside: untouched
    EXPECT_EQ(Rgb(*canvas, 3, 6), 0xFF0000u);

    // An empty or turned-round rectangle draws nothing (it used to fail).
    auto before = RedCanvas(10, 10);
    auto empty = RedCanvas(10, 10);
    png->Draw(empty->Canvas(), tw::TRect(5, 5, 5, 9));
    png->Draw(empty->Canvas(), tw::TRect(5, 5, 2, 2));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(Rgb(*empty, x, y), 0xFF0000u);
}

TEST(PngGraphic, ScaledColourAndAlphaAreBothResampled)
{
    auto png = Load(HalfTransparentBlue(4, 2));
    auto canvas = RedCanvas(12, 12);
    png->Draw(canvas->Canvas(), tw::Bounds(0, 0, 8, 4));
    EXPECT_GE(Rgb(*canvas, 0, 0), 0x0000FEu);
    EXPECT_LE(Rgb(*canvas, 0, 0), 0x0000FFu);
    const uint32_t right = Rgb(*canvas, 7, 3);
    EXPECT_NEAR(int(right >> 16), 127, 3);
    EXPECT_NEAR(int(right & 0xFF), 128, 3);
    EXPECT_EQ(Rgb(*canvas, 8, 0), 0xFF0000u);
    EXPECT_EQ(Rgb(*canvas, 0, 4), 0xFF0000u);
}

TEST(PngGraphic, ReflectionTakesHalfTheHeightBelow)
{
    auto png = Load(HalfTransparentBlue(4, 4));
    png->Reflected = 1;
    auto canvas = RedCanvas(8, 10);
    png->Draw(canvas->Canvas(), tw::Bounds(0, 0, 4, 4));
    // The row below the picture shows a faint copy of it.
    EXPECT_NE(Rgb(*canvas, 0, 4), 0xFF0000u);
    EXPECT_EQ(Rgb(*canvas, 0, 7), 0xFF0000u);

    // An assignment keeps the reflection setting of the target.
    TPNGBitmap other;
    other.Assign(*png);
    EXPECT_EQ(other.Reflected, 0);
    EXPECT_EQ(other.Width(), 4);
}

TEST(PngGraphic, IconsKeepAlphaOrTakeTheCornerAsKey)
{
    tw::TBitmap bmp(4, 4, tw::pf24bit);
    const TPixelView v = bmp.PixelView();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            uint8_t* p = v.Pixel(x, y);
            const bool key = x < 2;
            p[0] = key ? 255 : 10, p[1] = key ? 0 : 20, p[2] = key ? 255 : 30;
        }
    HICON icon = MakeIcon32(bmp, false);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(bmp.PixelFormat(), tw::pf32bit);
    const TPixelView v32 = bmp.PixelView();
    EXPECT_EQ(v32.Pixel(0, 0)[3], 0);
    EXPECT_EQ(v32.Pixel(1, 3)[3], 0);
    EXPECT_EQ(v32.Pixel(2, 0)[3], 255);
    EXPECT_EQ(v32.Pixel(3, 3)[3], 255);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(info.fIcon);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);

    // A 32-bit picture keeps its own alpha.
    v32.Pixel(0, 0)[3] = 77;
    icon = MakeIcon32(bmp, false);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(bmp.PixelView().Pixel(0, 0)[3], 77);
    DestroyIcon(icon);
    tw::TBitmap none;
    EXPECT_EQ(MakeIcon32(none, true), nullptr);
}

} // namespace
} // namespace skin
