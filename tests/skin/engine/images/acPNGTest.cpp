// The PNG reader and its colour manager on small pictures made in code, with
// expected pixels worked out by hand.
#include "skin/engine/images/acPNG.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/skin/engine/PngBuilder.h"

namespace skin {
namespace {

using test::Bytes;
using test::Chunk;
using test::Ihdr;
using test::Png;

TPNGGraphic Load(const Bytes& file)
{
    TPNGGraphic g;
    g.LoadFromMemory(file.data(), file.size());
    return g;
}

void LoadInto(TPNGGraphic& g, const Bytes& file) { g.LoadFromMemory(file.data(), file.size()); }

std::string LoadError(const Bytes& file)
{
    TPNGGraphic g;
    try {
        g.LoadFromMemory(file.data(), file.size());
    } catch (const tw::Exception& e) {
        return e.Message();
    }
    return "";
}

// Pixel x of scan line y as (index) for palette formats.
int Index(const TPNGGraphic& g, int x, int y)
{
    const int bpp = g.BitsPerPixel();
    const int bit = x * bpp;
    return (g.ScanLine(y)[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1);
}

TEST(Crc32, MatchesThePngStandardAndContinues)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32Update(0, text, 9), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(Crc32Update(0, text, 4), text + 4, 5), 0xCBF43926u);
    EXPECT_EQ(Crc32Update(0x1234, nullptr, 5), 0u);
}

TEST(ColorManager, ConvertsSamplesAsSpecified)
{
    TColorManager cm;
    // Grey with alpha into 8-bit indices: the grey samples, alpha skipped.
    cm.SetSourceColorScheme(TColorLayout::GrayAlpha);
    cm.SetTargetColorScheme(TColorLayout::Indexed);
    cm.SetSourceBitsPerSample(8);
    cm.SetTargetBitsPerSample(8);
    cm.SetSourceSamplesPerPixel(1);
    cm.SetTargetSamplesPerPixel(1);
    const uint8_t ga[] = {10, 200, 20, 201, 30, 202};
    uint8_t out[3] = {};
    cm.ConvertRow({ga}, out, 3, 0xFF);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[1], 20);
    EXPECT_EQ(out[2], 30);

    // Mask $AA writes pixels 0, 2, 4, 6 and takes one source pixel for each.
    cm.SetSourceColorScheme(TColorLayout::Gray);
    cm.SetTargetColorScheme(TColorLayout::Gray);
    const uint8_t grey[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    uint8_t line[9] = {90, 91, 92, 93, 94, 95, 96, 97, 98};
    cm.ConvertRow({grey}, line, 9, 0xAA);
    const uint8_t expected[9] = {1, 91, 2, 93, 3, 95, 4, 97, 5};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(line[i], expected[i]) << i;

    // 16-bit big-endian $FFFF is 255 and $8000 is 127 (truncating).
    cm.SetSourceColorScheme(TColorLayout::RGB);
    cm.SetTargetColorScheme(TColorLayout::BGR);
    cm.SetSourceBitsPerSample(16);
    cm.SetSourceSamplesPerPixel(3);
    cm.SetTargetSamplesPerPixel(3);
    cm.SetSourceOptions(coNeedByteSwap);
    const uint8_t rgb16[] = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01};
    uint8_t bgr[3] = {};
    cm.ConvertRow({rgb16}, bgr, 1, 0xFF);
    EXPECT_EQ(bgr[2], 255);
    EXPECT_EQ(bgr[1], 127);
    EXPECT_EQ(bgr[0], 0);

    // Indexed and non-indexed never meet.
    cm.SetTargetColorScheme(TColorLayout::Indexed);
    EXPECT_THROW(cm.ConvertRow({rgb16}, bgr, 1, 0xFF), EColorConversionError);
}

TEST(ColorManager, PacksNarrowSamplesAndSpreadsPalettes)
{
    TColorManager cm;
    cm.SetSourceColorScheme(TColorLayout::Indexed);
    cm.SetTargetColorScheme(TColorLayout::Indexed);
    cm.SetSourceBitsPerSample(2);
    cm.SetTargetBitsPerSample(4);
    cm.SetSourceSamplesPerPixel(1);
    cm.SetTargetSamplesPerPixel(1);
    const uint8_t two[] = {0x1B}; // 0, 1, 2, 3
    uint8_t four[2] = {};
    cm.ConvertRow({two}, four, 4, 0xFF);
    EXPECT_EQ(four[0], 0x05);
    EXPECT_EQ(four[1], 0xAF);

    // The file's entry k lands on indices 5k to 5k + 4.
    const uint8_t plte[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    TPalette pal = cm.MakeColorPalette({plte}, 0, 4, false);
    ASSERT_EQ(pal.size(), 16u);
    EXPECT_EQ(pal[4], (TPaletteEntry{1, 2, 3}));
    EXPECT_EQ(pal[5], (TPaletteEntry{4, 5, 6}));
    EXPECT_EQ(pal[15], (TPaletteEntry{10, 11, 12}));

    // Grey ramp of 4 bits: 16 levels 17 apart, or reversed.
    TPalette ramp = cm.MakeGrayPalette(true);
    ASSERT_EQ(ramp.size(), 16u);
    EXPECT_EQ(ramp[0].Red, 255);
    EXPECT_EQ(ramp[14].Green, 17);
}

TEST(ColorManager, SettersCheckAndTrackChanges)
{
    TColorManager cm;
    EXPECT_THROW(cm.SetSourceBitsPerSample(17), EColorConversionError);
    EXPECT_THROW(cm.SetTargetSamplesPerPixel(5), EColorConversionError);
    EXPECT_EQ(cm.SourceBitsPerSample(), 8); // a failed setter keeps the value
    cm.SetSourceBitsPerSample(12);          // 3 and 12 pass the check
    const uint8_t px[] = {1, 2, 3, 4, 5, 6};
    uint8_t out[3];
    cm.SetSourceBitsPerSample(8);
    cm.ConvertRow({px}, out, 1, 0xFF);
    EXPECT_FALSE(cm.Changed());
    cm.SetSourceBitsPerSample(8);
    EXPECT_FALSE(cm.Changed());
    EXPECT_EQ(cm.TargetPixelFormat(1), 24);

    // Gamma 0 and 0 is gamma 1.0 with a display of 2.2.
    TColorManager other;
    cm.SetGamma(0, 0);
    other.SetGamma(1.0f, 2.2f);
    EXPECT_EQ(0, std::memcmp(cm.GammaTable(), other.GammaTable(), 256));
    EXPECT_EQ(cm.GammaTable()[255], 255);
    EXPECT_EQ(cm.GammaTable()[128], std::lrint(std::pow(128 / 255.0, double(float(1 / 2.2))) * 255));
}

TEST(ColorManager, ConvertsOtherLayouts)
{
    TColorManager cm;
    cm.SetSourceColorScheme(TColorLayout::CMYK);
    cm.SetSourceSamplesPerPixel(4);
    // c=255, m=0, y=0, k=0 -> red 0, green 255, blue 255.
    const uint8_t cmyk[] = {255, 0, 0, 0};
    uint8_t bgr[3] = {};
    cm.ConvertRow({cmyk}, bgr, 1, 0xFF);
    EXPECT_EQ(bgr[0], 255);
    EXPECT_EQ(bgr[1], 255);
    EXPECT_EQ(bgr[2], 0);

    cm.SetSourceColorScheme(TColorLayout::YCbCr);
    cm.SetSourceSamplesPerPixel(3);
    const uint8_t ycc[] = {100, 128, 128};
    cm.ConvertRow({ycc}, bgr, 1, 0xFF);
    EXPECT_EQ(bgr[0], 100);
    EXPECT_EQ(bgr[1], 100);
    EXPECT_EQ(bgr[2], 100);

    // L* 100 with a* = b* = 0 is white; L* 0 is black.
    cm.SetSourceColorScheme(TColorLayout::CIELab);
    const uint8_t lab[] = {100, 0, 0, 0, 0, 0};
    uint8_t two[6] = {};
    cm.ConvertRow({lab}, two, 2, 0xFF);
    EXPECT_EQ(two[0], 255);
    EXPECT_EQ(two[1], 255);
    EXPECT_EQ(two[2], 255);
    EXPECT_EQ(two[3] + two[4] + two[5], 0);

    cm.SetSourceColorScheme(TColorLayout::BGR);
    cm.SetTargetColorScheme(TColorLayout::RGB);
    const uint8_t b[] = {1, 2, 3};
    cm.ConvertRow({b}, bgr, 1, 0xFF);
    EXPECT_EQ(bgr[0], 3);
    EXPECT_EQ(bgr[2], 1);

    // Planar RGB: one pointer per sample.
    cm.SetSourceColorScheme(TColorLayout::RGB);
    cm.SetTargetColorScheme(TColorLayout::BGR);
    const uint8_t r[] = {10, 11}, g[] = {20, 21}, bl[] = {30, 31};
    cm.ConvertRow({r, g, bl}, two, 2, 0xFF);
    EXPECT_EQ(two[3], 31);
    EXPECT_EQ(two[4], 21);
    EXPECT_EQ(two[5], 11);
}

TEST(ColorManager, PalettesFromEveryDataFormat)
{
    TColorManager cm;
    const uint8_t quads[] = {1, 2, 3, 99, 4, 5, 6, 99};
    TPalette p = cm.MakeColorPalette({quads}, 1, 2, false);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1], (TPaletteEntry{4, 5, 6}));
    p = cm.MakeColorPalette({quads}, 1, 2, true);
    EXPECT_EQ(p[0], (TPaletteEntry{3, 2, 1}));
    const uint8_t red[] = {7, 8}, green[] = {9, 10}, blue[] = {11, 12};
    p = cm.MakeColorPalette({red, green, blue}, 2, 2, false);
    EXPECT_EQ(p[1], (TPaletteEntry{8, 10, 12}));
    // 16-bit values, high byte first when swapping: $FFFF -> 255, $8000 -> 127.
    cm.SetSourceOptions(coNeedByteSwap);
    const uint8_t wide[] = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00};
    p = cm.MakeColorPalette({wide}, 4, 1, false);
    EXPECT_EQ(p[0], (TPaletteEntry{255, 127, 0}));
    // More than 256 colours are cut to 256.
    std::vector<uint8_t> many(3 * 300, 1);
    EXPECT_EQ(cm.MakeColorPalette({many.data()}, 0, 300, false).size(), 256u);
}

TEST(PngReader, PixelFormatsFollowTheColourType)
{
    // RGBA 2x1: 32-bit with alpha, blue first.
    TPNGGraphic rgba = Load(Png(Ihdr(2, 1, 8, 6), {0, 10, 20, 30, 40, 50, 60, 70, 80}));
    ASSERT_EQ(rgba.BitsPerPixel(), 32);
    const uint8_t* p = rgba.ScanLine(0);
    EXPECT_EQ(p[0], 30);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(p[3], 40);
    EXPECT_EQ(p[7], 80);

    TPNGGraphic rgb = Load(Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}));
    EXPECT_EQ(rgb.BitsPerPixel(), 24);
    EXPECT_EQ(rgb.ScanLine(0)[0], 3);

    // 2-bit grey: a 4-bit bitmap with indices 0, 5, 10, 15 of a 16-level ramp.
    TPNGGraphic grey2 = Load(Png(Ihdr(4, 1, 2, 0), {0, 0x1B}));
    ASSERT_EQ(grey2.BitsPerPixel(), 4);
    EXPECT_EQ(Index(grey2, 0, 0), 0);
    EXPECT_EQ(Index(grey2, 1, 0), 5);
    EXPECT_EQ(Index(grey2, 2, 0), 10);
    EXPECT_EQ(Index(grey2, 3, 0), 15);
    EXPECT_EQ(grey2.Image().View().Pixel(1, 0)[0], 85);

    // 16-bit grey with alpha: opaque 8-bit grey.
    TPNGGraphic ga16 = Load(Png(Ihdr(1, 1, 16, 4), {0, 0x80, 0x00, 0x12, 0x34}));
    ASSERT_EQ(ga16.BitsPerPixel(), 8);
    EXPECT_EQ(Index(ga16, 0, 0), 127);
    EXPECT_EQ(ga16.Image().View().BitsPerPixel, 24);
}

TEST(PngReader, PalettesAndBackgroundChunks)
{
    Bytes plte(768);
    for (size_t i = 0; i < 768; ++i) plte[i] = uint8_t(i / 3);
    TPNGGraphic p8 = Load(Png(Ihdr(1, 1, 8, 3), {0, 200}, {Chunk("PLTE", plte)}));
    ASSERT_EQ(p8.Palette().size(), 256u);
    EXPECT_EQ(p8.Image().View().Pixel(0, 0)[2], 200);

    // A palette in an RGB picture is read and ignored.
    TPNGGraphic rgb = Load(Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {Chunk("PLTE", {9, 9, 9})}));
    EXPECT_TRUE(rgb.Palette().empty());
    EXPECT_EQ(rgb.ScanLine(0)[2], 1);

    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 3), {0, 0}, {Chunk("PLTE", {1, 2})})),
              "Cannot load image. Palette in PNG file is invalid.");

    // tRNS and bKGD before the image data count, after it they do not.
    TPNGGraphic t = Load(Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3},
                             {Chunk("tRNS", {0, 1, 0, 2, 0, 3}), Chunk("bKGD", {0, 4, 0, 5, 0, 6})}));
    EXPECT_TRUE(t.Transparent());
    EXPECT_EQ(t.TransparentColor(), 0x030201);
    EXPECT_EQ(t.BackgroundColor(), 0x060504);
    TPNGGraphic late = Load(Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {},
                                {Chunk("tRNS", {0, 1, 0, 2, 0, 3}), Chunk("bKGD", {0, 4, 0, 5, 0, 6})}));
    EXPECT_FALSE(late.Transparent());
    EXPECT_EQ(late.ScanLine(0)[0], 3);
}

TEST(PngReader, ChunkTypesAndErrors)
{
    const Bytes ok = Png(Ihdr(1, 1, 8, 0), {0, 7}, {Chunk("abCD", {1, 2, 3})});
    EXPECT_EQ(Load(ok).BitsPerPixel(), 8);
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 0), {0, 7}, {Chunk("ABCD", {1})})),
              "Cannot load PNG image. Unexpected but critical chunk detected.");
    EXPECT_EQ(LoadError(Png(Ihdr(0, 1, 8, 0), {0})), "Cannot load image. Invalid or unexpected PNG image format.");
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 3, 0), {0, 0})), "Invalid color format in PNG file.");
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 1), {0, 0})), "Invalid color format in PNG file.");

    // A lower-case end chunk ends the loop; data after it is never read.
    Bytes lower = test::Signature();
    for (const Bytes& c : {Chunk("IHDR", Ihdr(1, 1, 8, 0)), Chunk("IDAT", test::Deflate({0, 9})), Chunk("iend", {})})
        test::Append(lower, c);
    test::Append(lower, Bytes{0x55});
    EXPECT_EQ(Load(lower).ScanLine(0)[0], 9);

    // First chunk not IHDR; a broken CRC; compression method 1; a second IHDR.
    Bytes noHeader = test::Signature();
    Bytes c = Chunk("gAMA", {0, 0, 0, 1});
    test::Append(noHeader, c);
    EXPECT_EQ(LoadError(noHeader), "Cannot load image. Invalid or unexpected PNG image format.");
    // A CRC that fails in the properties scan (the header, a gAMA) makes the
    // picture one of an unexpected format; a later one is a CRC error.
    Bytes scanCrc = Png(Ihdr(1, 1, 8, 0), {0, 7}, {Chunk("gAMA", {0, 1, 0x86, 0xA0}), Chunk("bKGD", {0, 1})});
    for (size_t at : {size_t(8 + 8 + 12), size_t(33 + 8 + 4)}) {
        Bytes b = scanCrc;
        b[at] ^= 1;
        EXPECT_EQ(LoadError(b), "Cannot load image. Invalid or unexpected PNG image format.") << at;
    }
    scanCrc[49 + 8 + 2] ^= 1;   // bKGD, read after the scan
    EXPECT_EQ(LoadError(scanCrc), "Cannot load image. CRC error found in PNG file.");
    Bytes badCrc = ok;
    badCrc[33 + 8] ^= 1; // data of the skipped abCD chunk: never tested
    EXPECT_EQ(LoadError(badCrc), "");
    badCrc[48 + 8] ^= 1; // first byte of the image data
    EXPECT_EQ(LoadError(badCrc), "Cannot load image. CRC error found in PNG file.");
    Bytes method = Ihdr(1, 1, 8, 0);
    method[10] = 1;
    EXPECT_EQ(LoadError(Png(method, {0, 0})), "Cannot load image. The compression scheme is not supported for PNG files.");
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 0), {0, 0}, {Chunk("IHDR", Ihdr(1, 1, 8, 0))})),
              "Cannot load PNG image. Unexpected but critical chunk detected.");
    // A zlib stream that ends before the rows are filled, or with bytes
    // after its end, is the extra-data error; more rows in the stream than
    // the picture has are not looked at.
    EXPECT_EQ(LoadError(Png(Ihdr(2, 2, 8, 0), {0, 1, 2, 0, 1})),
              "Cannot load image. Extra compressed data found in PNG file.");
    // A stream that ends with a row boundary leaves the missing rows filled.
    TPNGGraphic shortData = Load(Png(Ihdr(1, 2, 8, 0), {0, 1}, {Chunk("bKGD", {0, 9})}));
    EXPECT_EQ(Index(shortData, 0, 1), 9);
    Bytes trailing = test::Deflate({0, 1});
    test::Append(trailing, Bytes{7, 7});
    Bytes f = test::Signature();
    for (const Bytes& k : {Chunk("IHDR", Ihdr(1, 1, 8, 0)), Chunk("IDAT", trailing), Chunk("IEND", {})})
        test::Append(f, k);
    EXPECT_EQ(LoadError(f), "Cannot load image. Extra compressed data found in PNG file.");
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 0), {0, 1, 0, 2})), "");
    // Later image data chunks are read (CRC tested) and dropped.
    EXPECT_EQ(LoadError(Png(Ihdr(1, 1, 8, 0), {0, 1}, {}, {Chunk("IDAT", {1, 2})})), "");
}

TEST(PngReader, FiltersInterlacingAndSplitImageData)
{
    // Two rows of 3 grey pixels: Sub, then Up, Average and Paeth by hand.
    const Bytes sub = {1, 10, 5, 5, 2, 1, 1, 1};
    TPNGGraphic g = Load(Png(Ihdr(3, 2, 8, 0), sub));
    EXPECT_EQ(Index(g, 0, 0), 10);
    EXPECT_EQ(Index(g, 1, 0), 15);
    EXPECT_EQ(Index(g, 2, 0), 20);
    EXPECT_EQ(Index(g, 2, 1), 21);
    TPNGGraphic avg = Load(Png(Ihdr(3, 2, 8, 0), {0, 10, 20, 30, 3, 1, 1, 1}));
    EXPECT_EQ(Index(avg, 0, 1), 1 + 10 / 2);
    EXPECT_EQ(Index(avg, 1, 1), 1 + (6 + 20) / 2);
    TPNGGraphic paeth = Load(Png(Ihdr(3, 2, 8, 0), {0, 10, 20, 30, 4, 1, 1, 1}));
    // x=0: left 0, up 10, upper-left 0 -> up; x=1: left 11, up 20, ul 10 -> p=21, up wins.
    EXPECT_EQ(Index(paeth, 0, 1), 11);
    EXPECT_EQ(Index(paeth, 1, 1), 21);
    // An unknown filter type leaves the bytes as they are.
    TPNGGraphic five = Load(Png(Ihdr(2, 1, 8, 0), {5, 7, 8}));
    EXPECT_EQ(Index(five, 1, 0), 8);

    // Interlaced 3x3 grey: passes 1 (0,0), 4 (2,0), 5 (0,2)(2,2), 6 (1,0)(1,2),
    // 7 (0..2, 1); passes 2 and 3 start beyond the width or the height.
    const Bytes inter = {0, 1, 0, 3, 0, 7, 9, 0, 2, 0, 8, 0, 4, 5, 6};
    TPNGGraphic i = Load(Png(Ihdr(3, 3, 8, 0, 1), inter));
    const int expected[3][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(Index(i, x, y), expected[y][x]) << x << "," << y;

    // Image data split into many chunks, one of them empty, mid-row.
    Bytes z = test::Deflate({0, 1, 2, 3, 0, 4, 5, 6});
    Bytes f = test::Signature();
    auto add = [&](const Bytes& b) { test::Append(f, b); };
    add(Chunk("IHDR", Ihdr(3, 2, 8, 0)));
    for (size_t k = 0; k < z.size(); k += 3) {
        add(Chunk("IDAT", Bytes(z.begin() + long(k), z.begin() + long(std::min(z.size(), k + 3)))));
        if (k == 3) add(Chunk("IDAT", {}));
    }
    add(Chunk("IEND", {}));
    TPNGGraphic split = Load(f);
    EXPECT_EQ(Index(split, 2, 1), 6);
}

TEST(PngReader, GammaAppliesToRowsAndPalettesOfItsOwnLoadOnly)
{
    Bytes gama = {0, 0, 0xB1, 0x8F}; // 45455: a gamma of 1/2.2
    TPNGGraphic g;
    LoadInto(g, Png(Ihdr(1, 1, 8, 2), {0, 128, 64, 32}, {Chunk("gAMA", {0, 1, 0x86, 0xA0})})); // 1.0
    const float e = float(1.0 / (double(1.0f) * double(2.2f)));
    auto gamma = [&](int v) { return int(std::nearbyint(std::pow(v / 255.0, double(e)) * 255)); };
    EXPECT_EQ(g.ScanLine(0)[2], gamma(128));
    EXPECT_EQ(g.ScanLine(0)[0], gamma(32));
    // The next picture without a gAMA chunk is not corrected.
    LoadInto(g, Png(Ihdr(1, 1, 8, 2), {0, 128, 64, 32}));
    EXPECT_EQ(g.ScanLine(0)[2], 128);
    // Palette pictures carry the gamma in their palette.
    LoadInto(g, Png(Ihdr(1, 1, 8, 3), {0, 0}, {Chunk("gAMA", {0, 1, 0x86, 0xA0}), Chunk("PLTE", {128, 0, 255})}));
    EXPECT_EQ(g.Palette()[0].Red, gamma(128));
    EXPECT_EQ(g.Palette()[0].Blue, 255);
    (void)gama;
}

TEST(PngReader, AGammaAfterThePaletteLeavesPalettePicturesOfFewBitsAsWritten)
{
    const Bytes one = {0, 1, 0x86, 0xA0};   // a file gamma of 1.0
    // Every index of 1, 2 and 4 bits once: the palette was made before the
    // gamma, so the colours are the palette's as written, and the bitmap
    // keeps the depth set up at the palette (2 bits in a 4-bit bitmap).
    for (int depth : {1, 2, 4}) {
        const int entries = 1 << depth;
        Bytes plte, row(1 + size_t((entries * depth + 7) / 8), 0);
        for (int i = 0; i < entries; ++i) {
            for (int v : {10 + i, 100 + i, 200 - i}) plte.push_back(uint8_t(v));
            row[1 + size_t(i * depth / 8)] |= uint8_t(i << (8 - depth - i * depth % 8));
        }
        const TPNGGraphic g = Load(Png(Ihdr(uint32_t(entries), 1, uint8_t(depth), 3), row,
                                       {Chunk("PLTE", plte), Chunk("gAMA", one)}));
        EXPECT_EQ(g.BitsPerPixel(), depth == 2 ? 4 : depth);
        const TPixelImage image = g.Image();
        for (int x = 0; x < entries; ++x) {
            const uint8_t* p = image.View().Pixel(x, 0);
            EXPECT_EQ(p[2], 10 + x) << depth << " " << x;
            EXPECT_EQ(p[1], 100 + x) << depth << " " << x;
            EXPECT_EQ(p[0], 200 - x) << depth << " " << x;
        }
    }
    // A gamma before the palette goes into its colours, the depth the same.
    const TPNGGraphic before = Load(Png(Ihdr(2, 1, 1, 3), {0, 0x40}, {Chunk("gAMA", one), Chunk("PLTE", {0, 0, 0, 128, 64, 255})}));
    EXPECT_EQ(before.BitsPerPixel(), 1);
    const float e = float(1.0 / (double(1.0f) * double(2.2f)));
    auto gamma = [&](int v) { return int(std::nearbyint(std::pow(v / 255.0, double(e)) * 255)); };
    const TPixelImage image = before.Image();
    EXPECT_EQ(image.View().Pixel(1, 0)[2], gamma(128));
    EXPECT_EQ(image.View().Pixel(1, 0)[1], gamma(64));
    EXPECT_EQ(image.View().Pixel(0, 0)[2], 0);
}

TEST(PngReader, PalettePicturesExpandEveryIndexAtEveryWidth)
{
    // Each depth at widths that end a row inside a byte and on its edge, over
    // two rows of different indices. The file's palette is one entry short,
    // so (but for 2 bits, whose palette is spread over a 4-bit one) the last
    // index shows black. The expected colour comes from the index in the
    // scan line and the palette the bitmap carries.
    for (int depth : {1, 2, 4, 8}) {
        const int entries = (1 << depth) - 1;
        Bytes plte;
        for (int i = 0; i < entries; ++i)
            for (int v : {3 + i, 90 + i, 250 - i}) plte.push_back(uint8_t(v));
        for (uint32_t width = 1; width <= uint32_t(2 * 8 / depth + 3); ++width) {
            const size_t rowBytes = (size_t(width) * size_t(depth) + 7) / 8;
            Bytes rows;
            for (int y = 0; y < 2; ++y) {
                rows.push_back(0);
                for (size_t b = 0; b < rowBytes; ++b) rows.push_back(uint8_t(0x9C + 0x35 * b + 0x61 * size_t(y)));
            }
            const TPNGGraphic g = Load(Png(Ihdr(width, 2, uint8_t(depth), 3), rows, {Chunk("PLTE", plte)}));
            const TPalette& pal = g.Palette();
            if (depth != 2) ASSERT_EQ(pal.size(), size_t(entries));
            const TPixelImage image = g.Image();
            ASSERT_EQ(image.View().Width, int(width));
            ASSERT_EQ(image.View().BitsPerPixel, 24);
            int blacks = 0;
            for (int y = 0; y < 2; ++y) {
                for (int x = 0; x < int(width); ++x) {
                    const size_t i = size_t(Index(g, x, y));
                    const TPaletteEntry e = i < pal.size() ? pal[i] : TPaletteEntry{};
                    blacks += i >= pal.size();
                    const uint8_t* p = image.View().Pixel(x, y);
                    EXPECT_EQ(p[0], e.Blue) << depth << " bits, width " << width << " at " << x << "," << y;
                    EXPECT_EQ(p[1], e.Green) << depth << " bits, width " << width << " at " << x << "," << y;
                    EXPECT_EQ(p[2], e.Red) << depth << " bits, width " << width << " at " << x << "," << y;
                }
            }
            if (depth == 1 && width >= 2) EXPECT_GT(blacks, 0) << width;
        }
    }
}

TEST(PngReader, DamagedLengthsAndSizesAreRefused)
{
    // An IHDR of 5 bytes, with its CRC right.
    Bytes shortHeader = test::Signature();
    Bytes c = Chunk("IHDR", {0, 0, 0, 1, 0});
    test::Append(shortHeader, c);
    c = Chunk("IEND", {});
    test::Append(shortHeader, c);
    EXPECT_EQ(LoadError(shortHeader), "Cannot load image. Invalid or unexpected PNG image format.");

    // gAMA, bKGD and tRNS too short for what they carry are passed over.
    TPNGGraphic g = Load(Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3},
                             {Chunk("gAMA", {1}), Chunk("bKGD", {0, 1}), Chunk("tRNS", {0})}));
    EXPECT_FALSE(g.Transparent());
    EXPECT_EQ(g.ScanLine(0)[2], 1);
    EXPECT_EQ(g.BackgroundColor(), 0xFFFFFF);
    TPNGGraphic grey = Load(Png(Ihdr(1, 1, 8, 0), {0, 1}, {Chunk("bKGD", {0}), Chunk("tRNS", {})}));
    EXPECT_FALSE(grey.Transparent());

    // Sizes no stream of this length can fill, and beyond a bitmap's limit.
    EXPECT_EQ(LoadError(Png(Ihdr(0x7FFFFFFF, 0x7FFFFFFF, 8, 6), {0})),
              "Cannot load image. Invalid or unexpected PNG image format.");
    EXPECT_EQ(LoadError(Png(Ihdr(0x80000000u, 1, 8, 0), {0})),
              "Cannot load image. Invalid or unexpected PNG image format.");
    EXPECT_EQ(LoadError(Png(Ihdr(100000, 100000, 1, 0), {0})),
              "Cannot load image. Invalid or unexpected PNG image format.");

    // A chunk that claims 4 GiB is refused before anything is allocated.
    Bytes huge = Png(Ihdr(1, 1, 8, 0), {0, 1}, {Chunk("tEXt", {1, 2, 3})});
    const size_t at = 8 + 25;   // the tEXt chunk's length field
    huge[at] = huge[at + 1] = huge[at + 2] = huge[at + 3] = 0xFF;
    huge[at + 4] = 'g';         // make it one that is read: gAMA
    huge[at + 5] = 'A';
    huge[at + 6] = 'M';
    huge[at + 7] = 'A';
    TPNGGraphic h;
    EXPECT_THROW(h.LoadFromMemory(huge.data(), huge.size()), tw::EReadError);

    // No image data at all: the picture loads empty, without an error.
    Bytes noData = test::Signature();
    for (const Bytes& k : {Chunk("IHDR", Ihdr(1, 1, 8, 0)), Chunk("IEND", {})})
        test::Append(noData, k);
    EXPECT_EQ(LoadError(noData), "");
    TPNGGraphic empty = Load(noData);
    EXPECT_TRUE(empty.Empty());
    EXPECT_EQ(empty.Width(), 0);

    // A short stream fails with the stream's read error.
    Bytes cut = Png(Ihdr(1, 1, 8, 0), {0, 1});
    cut.resize(cut.size() - 6);
    EXPECT_THROW(Load(cut), tw::EReadError);
}

TEST(PngReader, ReportsProgressRowByRow)
{
    TPNGGraphic g;
    std::vector<std::pair<TProgressStage, int>> calls;
    int lastTop = -1;
    g.OnProgress = [&](TPNGGraphic&, TProgressStage stage, int percent, bool, const TRect& r, const std::string&) {
        calls.emplace_back(stage, percent);
        if (stage == psRunning) lastTop = r.Top;
    };
    LoadInto(g, Png(Ihdr(1, 4, 8, 0), {0, 1, 0, 2, 0, 3, 0, 4}));
    ASSERT_GE(calls.size(), 7u);
    EXPECT_EQ(calls.front().first, psStarting);
    EXPECT_EQ(calls.back().first, psEnding);
    int running = 0;
    for (auto& c : calls)
        if (c.first == psRunning) EXPECT_EQ(c.second, 25 * running++);
    EXPECT_EQ(running, 4);
    EXPECT_EQ(lastTop, 3);

    // The rectangle starts as wide as the header's picture, whatever chunk
    // the properties scan read last (a gAMA of any length).
    for (const Bytes& gama : {Bytes{0, 0, 0xB1, 0x8F}, Bytes{7}, Bytes{}}) {
        TPNGGraphic p;
        TRect first{-1, -1, -1, -1};
        p.OnProgress = [&](TPNGGraphic&, TProgressStage, int, bool, const TRect& r, const std::string& msg) {
            if (msg == "Preparing...") first = r;
        };
        LoadInto(p, Png(Ihdr(5, 1, 8, 0), {0, 1, 2, 3, 4, 5}, {Chunk("gAMA", gama)}));
        EXPECT_EQ(first, (TRect{0, 0, 5, 1})) << gama.size();
    }
}

} // namespace
} // namespace skin

namespace skin {
namespace {

// A hostile picture: image data cut into thousands of runs, each after a
// chunk of its own. The picture is made and filled once; the later runs
// are read and dropped, so the work grows with the file, not with the
// number of runs times the picture's size.
TEST(PngReaderHostile, ImageDataInManyRunsMakesThePictureOnce)
{
    const uint32_t w = 1024, h = 1024;
    // All rows there: a picture is only made for image data that can fill it.
    Bytes rows((size_t(w) * 4 + 1) * h, 0);
    rows[1] = 10; rows[2] = 20; rows[3] = 30; rows[4] = 40;
    std::vector<Bytes> after;
    for (int i = 0; i < 4000; ++i) {
        after.push_back(Chunk("tEXt", {'a', 0, 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i'}));
        after.push_back(Chunk("IDAT", {}));
    }
    int starts = 0;
    TPNGGraphic g;
    g.OnProgress = [&](TPNGGraphic&, TProgressStage stage, int, bool, const TRect&, const std::string& msg) {
        if (stage == psStarting && msg == "Transfering...") ++starts;
    };
    const Bytes file = Png(Ihdr(w, h, 8, 6), rows, {Chunk("bKGD", {0, 1, 0, 2, 0, 3})}, after);
    g.LoadFromMemory(file.data(), file.size());
    EXPECT_EQ(starts, 1);
    ASSERT_EQ(g.Width(), int(w));
    ASSERT_EQ(g.BitsPerPixel(), 32);
    // Every row came from the image data; a later run made nothing again
    // (the picture would show the background, blue 3, red 1, again).
    EXPECT_EQ(g.ScanLine(0)[0], 30);
    EXPECT_EQ(g.ScanLine(0)[3], 40);
    EXPECT_EQ(g.ScanLine(int(h) - 1)[0], 0);
    EXPECT_EQ(g.ScanLine(int(h) - 1)[2], 0);

    // A later run is read with its CRC test like the run's own chunks.
    Bytes bad = Png(Ihdr(1, 1, 8, 0), {0, 1}, {}, {Chunk("tEXt", {'a', 0}), Chunk("IDAT", {1, 2})});
    bad[bad.size() - 12 - 3] ^= 1;
    EXPECT_EQ(LoadError(bad), "Cannot load image. CRC error found in PNG file.");
}

} // namespace
} // namespace skin
