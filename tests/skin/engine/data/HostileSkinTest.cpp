// Skins made to freeze the program or to take its memory: rectangles, sizes
// and numbers far beyond their pictures are bounded where they are read, and
// look-ups by name stay exact when the tables are read again.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Exceptions.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/SkinIni.h"
#include "skin/engine/data/SkinColors.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/images/acPNG.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/ItemPainting.h"
#include "tests/skin/engine/PngBuilder.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;

namespace {

struct TLoaded {
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    void Load(const std::string& text) { pack.Attach(sm); LoadSkinTables(sm, &text); }
    const TsMaskData& Mask(const std::string& section, const std::string& key)
    {
        const int i = sm.GetMaskIndexByName(section, key);
        EXPECT_GE(i, 0) << section << "/" << key;
        static const TsMaskData none;
        return i < 0 ? none : sm.ma[size_t(i)];
    }
};

std::string AsText(const test::Bytes& b) { return std::string(b.begin(), b.end()); }

// A small JPEG whose frame header declares another size; its scan data is
// that of the small picture.
std::string JpegDeclaring(int w, int h)
{
    std::string f = skintest::JpegFile(8, 8, 0x405060);
    for (size_t i = 2; i + 8 < f.size(); ++i)
        if (uint8_t(f[i]) == 0xFF && (uint8_t(f[i + 1]) == 0xC0 || uint8_t(f[i + 1]) == 0xC2)) {
            f[i + 5] = char(h >> 8), f[i + 6] = char(h), f[i + 7] = char(w >> 8), f[i + 8] = char(w);
            return f;
        }
    ADD_FAILURE() << "no frame header";
    return f;
}

// The picture with its last scan's header repeated until it has `scans`
// scans, each without data: the decoder goes over the whole picture for
// every one of them all the same.
std::string WithScans(const std::string& jpeg, int scans)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (uint8_t(jpeg[i]) == 0xFF && uint8_t(jpeg[i + 1]) == 0xDA) starts.push_back(i);
    const size_t end = jpeg.size() - 2;   // the end-of-image marker
    EXPECT_FALSE(starts.empty());
    EXPECT_EQ(uint8_t(jpeg[end + 1]), 0xD9);
    const size_t at = starts.back();
    const std::string header = jpeg.substr(at, 2 + size_t(uint8_t(jpeg[at + 2]) << 8 | uint8_t(jpeg[at + 3])));
    std::string out = jpeg.substr(0, end);
    for (int i = int(starts.size()); i < scans; ++i) out += header;
    return out + jpeg.substr(end);
}

std::string JpegError(const std::string& jpeg)
{
    try {
        LoadJpegPicture(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size());
    } catch (const EInvalidPicture& e) {
        return e.what();
    }
    return "";
}

// A PNG whose header declares w x h RGBA pixels over one row of image data,
// padded by an ancillary chunk to the given size.
test::Bytes PngDeclaring(uint32_t w, uint32_t h, size_t padding)
{
    test::Bytes row(1 + 4 * size_t(w), 0);
    return test::Png(test::Ihdr(w, h, 8, 6), row, {test::Chunk("tEXt", test::Bytes(padding, 'x'))});
}

} // namespace

TEST(HostileSkin, MaskRectanglesAreClippedToTheirPictureWhenRead)
{
    TLoaded s;
    s.pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(24, 12, 24, 0x405060).View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n"
           "[BUTTON]\nTALL=R# (0,0,12,200000000) (1,0)\n"
           "WIDEST=R# (-2147483648,-5,2147483647,2147483647) (2,1)\n"
           "BORDER=^0001^0005^0010^0999999991553255926290446384^1^1\n"
           "GLYPH=@0000@0000@9999@9999@3@1\n"
           "TEXTURE=~0020~0000~9999~0012~01\n"
           "OUTSIDE=@0100@0100@0200@0200@1@0\n");
    EXPECT_EQ(s.Mask("BUTTON", "TALL").R, (TRect{0, 0, 12, 12}));
    EXPECT_EQ(s.Mask("BUTTON", "WIDEST").R, (TRect{0, 0, 24, 12}));
    EXPECT_EQ(s.Mask("BUTTON", "WIDEST").WL, 4);   // a third of a frame of the clipped rectangle
    const TsMaskData& border = s.Mask("BUTTON", "BORDER");
    EXPECT_EQ(border.R, (TRect{1, 5, 10, 12}));
    EXPECT_EQ(border.WL, 9999);                    // widths are the painters' to fit
    EXPECT_EQ(s.Mask("BUTTON", "GLYPH").R, (TRect{0, 0, 24, 12}));
    EXPECT_EQ(s.Mask("BUTTON", "TEXTURE").R, (TRect{20, 0, 24, 12}));
    EXPECT_EQ(s.Mask("BUTTON", "OUTSIDE").R, (TRect{24, 12, 24, 12}));   // nothing of the picture

    // The tall mask paints its picture's twelve rows: a frame of 12 x 12.
    const TsMaskData& tall = s.Mask("BUTTON", "TALL");
    EXPECT_EQ(MaskFrameWidth(tall), 12);
    EXPECT_EQ(MaskFrameHeight(tall), 12);
    TPixelImage button = Picture(16, 16, 24, 0x111111);
    DrawMaskRect(button.View(), {0, 0, 16, 16}, true, EmptyCacheInfo(), tall, 0, false);
    EXPECT_EQ(Px(button.View(), 0, 0), 0x405060);
    EXPECT_EQ(Px(button.View(), 15, 15), 0x405060);
}

TEST(HostileSkin, StoredRectanglesAreClippedToTheStoredMasterBitmap)
{
    TsSkinManager* const saved = DefaultManager;
    DefaultManager = nullptr;
    {
        TsSkinManager sm;
        sm.SetSkinDirectory("/nonexistent-skin-folder");
        TsStoredSkin& st = sm.InternalSkins.Add();
        st.SetName("S");
        st.MasterBitmap = Picture(12, 10, 24, 0x0000FF);
        TsSkinImage& item = st.Images.Add();
        item.SectionName = "BUTTON";
        item.PropertyName = "BORDERSMASK";
        item.Left = -5;
        item.Top = 2;
        item.Right = 100000;
        item.Bottom = INT_MAX;
        item.ImageCount = 1;
        item.WL = -7;
        item.WR = 70000;
        sm.SetSkinName("S");
        const int i = sm.GetMaskIndexByName("BUTTON", "BORDERSMASK");
        ASSERT_GE(i, 0);
        EXPECT_EQ(sm.ma[size_t(i)].R, (TRect{0, 2, 12, 10}));
        EXPECT_EQ(sm.ma[size_t(i)].WL, 0);      // no negative piece
        EXPECT_EQ(sm.ma[size_t(i)].WR, 32767);  // no wrap into a negative one
    }
    DefaultManager = saved;
}

TEST(HostileSkin, PercentagesNearTheIntegerLimitAreBounded)
{
    TLoaded s;
    s.Load("[PANEL]\nCOLOR=$0000FF\nTRANSPARENCY=2147483647\nIMAGEPERCENT=2147483647\n"
           "GRADIENTPERCENT=-2147483648\nHOTTRANSPARENCY=-2147483648\nHOTGRADIENTPERCENT=2147483647\n"
           "HOTIMAGEPERCENT=2147483647\nGLOWMARGIN=-2147483647\n"
           "[BUTTON]\nPARENTCLASS=PANEL\nTRANSPARENCY=150\n");
    const TsGeneralData& p = s.sm.gd[size_t(s.sm.GetSkinIndex("PANEL"))];
    EXPECT_EQ(p.Transparency, 10000);
    EXPECT_EQ(p.ImagePercent, 10000);
    EXPECT_EQ(p.GradientPercent, -10000);
    EXPECT_EQ(p.HotTransparency, -10000);
    EXPECT_EQ(p.HotGradientPercent, 10000);
    EXPECT_EQ(p.HotImagePercent, 10000);
    EXPECT_EQ(p.GlowMargin, -16384);
    const TsGeneralData& b = s.sm.gd[size_t(s.sm.GetSkinIndex("BUTTON"))];
    EXPECT_EQ(b.Transparency, 150);   // within the bound: as written
    EXPECT_EQ(b.ImagePercent, 10000);

    // Painted, a transparency beyond 100 shows the parent as 100 would
    // (weight 255 of 256); the section's colour takes no share.
    TPixelImage parent = Picture(4, 4, 24, 0x00FF00), item = Picture(4, 4, 24, 0x000000);
    PaintItem(&s.sm, s.sm.GetSkinIndex("BUTTON"), "BUTTON", MakeCacheInfo(parent.View()), true, 0, {0, 0, 4, 4},
              {0, 0}, item.View(), -1, -1);
    EXPECT_EQ(Px(item.View(), 1, 1), 0x00FE00);
}

TEST(HostileSkin, FadeStepsAreBoundedWhereverASectionComesFrom)
{
    // One frame every 10 ms: a billion steps would hold a hovered control
    // for months; beyond 255 no frame differs from the one before.
    TLoaded s;
    s.sm.CommonSections = {"[EXTRAHUGE]", "FADINGITERATIONS=2000000000", "[EXTRAHEIR]", "PARENTCLASS=HUGE"};
    s.Load("[HUGE]\nFADINGITERATIONS=1000000000\n[EDGE]\nFADINGITERATIONS=255\n[NEGATIVE]\nFADINGITERATIONS=-7\n"
           "[HEIR]\nPARENTCLASS=HUGE\n[SHORT]\nFADINGITERATIONS=12\n");
    auto steps = [&](const char* name) {
        const int i = s.sm.GetSkinIndex(name);
        EXPECT_GE(i, 0) << name;
        return i < 0 ? -1 : s.sm.gd[size_t(i)].FadingIterations;
    };
    EXPECT_EQ(steps("HUGE"), 255);
    EXPECT_EQ(steps("EDGE"), 255);
    EXPECT_EQ(steps("NEGATIVE"), 0);   // fades nothing, as a negative count did
    EXPECT_EQ(steps("HEIR"), 255);
    EXPECT_EQ(steps("SHORT"), 12);     // within the bound: as written
    EXPECT_EQ(steps("EXTRAHUGE"), 255);
    EXPECT_EQ(steps("EXTRAHEIR"), 255);
}

TEST(HostileSkin, TheFramesMeasuresStayWithinWhatAFormCanShow)
{
    // Each measure beyond both ends, also past the 16-bit wrap-around: a
    // negative gap moves the caption buttons off the window, a title of
    // thousands of pixels puts them below a small one.
    struct TCase {
        const char* Key;
        int Low, High;             // what the file says
        int16_t TsSkinData::*Field;
        int LowIs, HighIs;         // what the form may take
    };
    const TCase cases[] = {
        {"BORDERWIDTH", -20, 40000, &TsSkinData::BorderWidth, 0, 32},
        {"TITLEHEIGHT", -5, 5000, &TsSkinData::TitleHeight, 0, 100},
        {"CENTEROFFSET", -32767, 32767, &TsSkinData::CenterOffset, -32, 32},
        {"FORMOFFSET", -99999, 99999, &TsSkinData::FormOffset, 0, 64},
        {"BISPACE", -7, 70000, &TsSkinData::BISpace, 0, 8},
        {"BIRIGHT", -30000, 65535, &TsSkinData::BIRight, 0, 16},
        {"BILEFT", -1, 32767, &TsSkinData::BILeft, 0, 16},
        {"BICONCLOSEGLOWMARGIN", -99999, 99999, &TsSkinData::BICloseGlowMargin, -16384, 16384},
        {"BICONMAXGLOWMARGIN", -99999, 99999, &TsSkinData::BIMaxGlowMargin, -16384, 16384},
        {"BICONMINGLOWMARGIN", -99999, 99999, &TsSkinData::BIMinGlowMargin, -16384, 16384},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Key);
        TLoaded low, high;
        low.Load(std::string("[GLOBALINFO]\n") + c.Key + "=" + std::to_string(c.Low) + "\n");
        high.Load(std::string("[GLOBALINFO]\n") + c.Key + "=" + std::to_string(c.High) + "\n");
        EXPECT_EQ(low.sm.SkinData.*c.Field, c.LowIs);
        EXPECT_EQ(high.sm.SkinData.*c.Field, c.HighIs);
    }
    // The maximized title: 0 or less is none given and takes the title's
    // height, beyond the bound it stops there whatever the title.
    TLoaded maxLow, maxHigh;
    maxLow.Load("[GLOBALINFO]\nTITLEHEIGHT=22\nMAXHEIGHT=-32768\n");
    maxHigh.Load("[GLOBALINFO]\nTITLEHEIGHT=22\nMAXHEIGHT=99999\n");
    EXPECT_EQ(maxLow.sm.SkinData.MaxHeight, 22);
    EXPECT_EQ(maxHigh.sm.SkinData.MaxHeight, 100);

    // A skin's usual measures are kept as written, a negative centre offset
    // too; missing ones take their defaults.
    TLoaded usual;
    usual.Load("[GLOBALINFO]\nTITLEHEIGHT=23\nMAXHEIGHT=21\nBORDERWIDTH=3\nCENTEROFFSET=-2\nBISPACE=1\nBILEFT=5\n");
    const TsSkinData& d = usual.sm.SkinData;
    EXPECT_EQ(d.TitleHeight, 23);
    EXPECT_EQ(d.MaxHeight, 21);
    EXPECT_EQ(d.BorderWidth, 3);
    EXPECT_EQ(d.CenterOffset, -2);
    EXPECT_EQ(d.BISpace, 1);
    EXPECT_EQ(d.BILeft, 5);
    EXPECT_EQ(d.FormOffset, 8);
    EXPECT_EQ(d.BIRight, 0);
}

#ifdef TW_SKIN_ARCHIVE
TEST(HostileSkin, TheProgramsOwnSkinKeepsEveryMeasureItGives)
{
    std::unique_ptr<TacSkinConvertor> sc;
    LoadPackedFile(TW_SKIN_ARCHIVE, sc, false);
    ASSERT_TRUE(sc && sc->Options);
    const std::string text(reinterpret_cast<const char*>(sc->Options->Memory()), size_t(sc->Options->Size()));
    const TsIniText options(text);
    TsSkinManager sm;
    LoadPackedSkinTables(sm, *sc);
    const TsSkinData& d = sm.SkinData;
    const std::pair<const char*, int> read[] = {
        {"BORDERWIDTH", d.BorderWidth}, {"TITLEHEIGHT", d.TitleHeight}, {"MAXHEIGHT", d.MaxHeight},
        {"FORMOFFSET", d.FormOffset},   {"CENTEROFFSET", d.CenterOffset}, {"BISPACE", d.BISpace},
        {"BIRIGHT", d.BIRight},         {"BILEFT", d.BILeft},             {"BICONCLOSEGLOWMARGIN", d.BICloseGlowMargin},
    };
    for (const auto& [key, value] : read) {
        ASSERT_NE(options.ReadString("GLOBALINFO", key, "?"), "?") << key;
        EXPECT_EQ(value, options.ReadInteger("GLOBALINFO", key, 0)) << key;
    }
}
#endif

TEST(HostileSkin, PicturesLargerThanASkinCanShowAreRefusedBeforeDecoding)
{
    // Sides and areas beyond the limit, whatever the file's size.
    EXPECT_FALSE(PictureSizeAllowed(kMaxPictureSide + 1, 1));
    EXPECT_FALSE(PictureSizeAllowed(1, kMaxPictureSide + 1));
    EXPECT_FALSE(PictureSizeAllowed(8192, 4097));
    EXPECT_TRUE(PictureSizeAllowed(8192, 4096));
    EXPECT_TRUE(PictureSizeAllowed(7680, 4320));   // an 8K screen

    // A JPEG of a few hundred bytes that declares a large frame.
    const std::string jpeg = JpegDeclaring(17000, 1700);
    EXPECT_LT(jpeg.size(), 1000u);
    EXPECT_THROW(LoadJpegPicture(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size()), EInvalidPicture);
    const std::string fine = JpegDeclaring(16, 16);
    EXPECT_EQ(LoadJpegPicture(reinterpret_cast<const uint8_t*>(fine.data()), fine.size())->Width(), 16);

    // A BMP wider than the limit (its pixels all present).
    const std::string wide = skintest::BmpFile(Picture(kMaxPictureSide + 1, 2, 24, 0x102030).View());
    EXPECT_THROW(LoadBmpPicture(reinterpret_cast<const uint8_t*>(wide.data()), wide.size()), EInvalidPicture);

    // PNG: beyond the limit, and a header that claims more image data than
    // its stream can inflate to once every sample of a pixel is counted
    // (4000 x 4000 RGBA needs 62,000 bytes; the file has 20,000).
    const char* invalid = "Cannot load image. Invalid or unexpected PNG image format.";
    auto pngError = [](const test::Bytes& f) {
        TPNGGraphic g;
        try {
            g.LoadFromMemory(f.data(), f.size());
        } catch (const tw::Exception& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(pngError(PngDeclaring(kMaxPictureSide + 1, 1, 0)), invalid);
    EXPECT_EQ(pngError(PngDeclaring(8192, 4097, 140000)), invalid);
    const test::Bytes claims = PngDeclaring(4000, 4000, 20000);
    EXPECT_LT(claims.size(), 21000u);
    EXPECT_EQ(pngError(claims), invalid);
    // Only image data counts: one row of it with 140 KB of padding that an
    // archive packs away, or with the padding between the IDAT chunks.
    EXPECT_EQ(pngError(PngDeclaring(8192, 4096, 140000)), invalid);
    EXPECT_EQ(pngError(PngDeclaring(4000, 4000, 63000)), invalid);
    test::Bytes split = test::Png(test::Ihdr(4000, 4000, 8, 6), test::Bytes(16001, 0), {},
                                  {test::Chunk("tEXt", test::Bytes(70000, 'x')), test::Chunk("IDAT", test::Bytes(70000, 0))});
    EXPECT_EQ(pngError(split), invalid);
    // With all of its image data there, a picture loads.
    TPNGGraphic g;
    const test::Bytes enough = test::Png(test::Ihdr(1000, 1000, 8, 6), test::Bytes(size_t(4001) * 1000, 0));
    g.LoadFromMemory(enough.data(), enough.size());
    EXPECT_EQ(g.Width(), 1000);
    EXPECT_EQ(g.Height(), 1000);

    // Through the options reader: a "!" picture of a refused size ends the
    // load with the picture's error rather than taking the memory.
    TLoaded s;
    s.pack.Files["HUGE.JPG"] = jpeg;
    EXPECT_THROW(s.Load("[FORM]\nPATTERN=HUGE.JPG\n"), EInvalidPicture);
}

TEST(HostileSkin, AJpegOfMoreScansOrPixelsThanItsBytesCouldHoldIsRefused)
{
    // Every scan of a progressive picture goes over all of it, and a scan
    // costs the file a dozen bytes: scans are counted as they come, and a
    // large picture gets fewer of them.
    const std::string progressive = skintest::GreyJpegFile(64, 64, 0x60, true);
    const std::string most = WithScans(progressive, kMaxJpegScans);
    EXPECT_EQ(JpegError(most), "");
    EXPECT_EQ(LoadJpegPicture(reinterpret_cast<const uint8_t*>(most.data()), most.size())->Width(), 64);
    const std::string tooMany = WithScans(progressive, kMaxJpegScans + 1);
    EXPECT_NE(JpegError(tooMany).find("scans"), std::string::npos);
    EXPECT_NE(JpegError(WithScans(progressive, 2000)).find("scans"), std::string::npos);
    const std::string large = skintest::GreyJpegFile(4096, 4096, 0x60, true);
    const int fit = int(kMaxJpegScanPixels / (4096 * 4096));
    ASSERT_LT(fit, kMaxJpegScans);
    EXPECT_EQ(JpegError(WithScans(large, fit)), "");
    EXPECT_NE(JpegError(WithScans(large, fit + 1)).find("scans"), std::string::npos);
    TLoaded s;
    s.pack.Files["MANY.JPG"] = tooMany;
    EXPECT_THROW(s.Load("[FORM]\nPATTERN=MANY.JPG\n"), EInvalidPicture);

    // Huffman coding spends a bit on every 8 x 8 block at the least: the
    // flattest grey picture an encoder makes stays within the bound, one
    // declaring more pixels than its bytes could code is refused before
    // its decoder takes memory for them.
    for (bool p : {false, true}) {
        const std::string flat = skintest::GreyJpegFile(2048, 1024, 0x60, p);
        EXPECT_GT(int64_t(2048) * 1024, int64_t(flat.size()) * kMaxJpegPixelsPerByte / 4) << flat.size();
        EXPECT_EQ(JpegError(flat), "") << p;
    }
    const std::string small = JpegDeclaring(16, 16);
    EXPECT_EQ(JpegError(small), "");
    const int side = int(std::sqrt(double(small.size()) * kMaxJpegPixelsPerByte)) + 8;
    EXPECT_NE(JpegError(JpegDeclaring(side, side)), "");
}

TEST(HostileSkin, TheScansOfASkinsJpegsShareOneBoundCountedInTheBlocksTheyCover)
{
    // One picture named again and again is decoded each time: its scans
    // count against the skin, not against each naming alone.
    auto sections = [](int count) {
        std::string text;
        for (int i = 0; i < count; ++i) text += "[S" + std::to_string(i) + "]\nPATTERN=A.JPG\n";
        return text;
    };
    const std::string square = WithScans(skintest::GreyJpegFile(1024, 1024, 0x60, true), kMaxJpegScans);
    const int squares = int(kMaxJpegScanPixels / (int64_t(kMaxJpegScans) * 1024 * 1024));
    {
        TLoaded s;
        s.pack.Files["A.JPG"] = square;
        s.Load(sections(squares));
        EXPECT_EQ(s.sm.pa.size() + s.sm.ma.size(), size_t(squares));
        // Each load of a skin starts the count afresh.
        s.Load(sections(squares));
        EXPECT_EQ(s.sm.pa.size() + s.sm.ma.size(), size_t(squares));
    }
    {
        TLoaded s;
        s.pack.Files["A.JPG"] = square;
        EXPECT_THROW(s.Load(sections(squares + 1)), EInvalidPicture);
    }
    // A picture one pixel high is decoded in blocks of eight rows: the
    // bound counts the blocks, not the pixels the header declares.
    const std::string line = WithScans(skintest::GreyJpegFile(16384, 1, 0x60, true), kMaxJpegScans);
    const int lines = int(kMaxJpegScanPixels / (int64_t(kMaxJpegScans) * 16384 * 8));
    {
        TLoaded s;
        s.pack.Files["A.JPG"] = line;
        s.Load(sections(lines));
        EXPECT_EQ(s.sm.pa.size() + s.sm.ma.size(), size_t(lines));
    }
    TLoaded s;
    s.pack.Files["A.JPG"] = line;
    EXPECT_THROW(s.Load(sections(lines + 1)), EInvalidPicture);
}

TEST(HostileSkin, APackedPictureMakesNoMorePixelsThanItsArchiveBytesCouldHold)
{
    // Image data of a uniform picture deflates well twice: as IDAT and again
    // in the archive. Its pixels are bounded by what the archive holds.
    const test::Bytes png = test::Png(test::Ihdr(4096, 2048, 8, 0), test::Bytes(size_t(4097) * 2048, 0));
    const std::string options = "[GLOBALINFO]\nVERSION=1\n[BUTTON]\nA=!U.PNG!1!0!0\n";
    tw::TMemoryStream archive;
    WritePackedData(archive, {{"Options.dat", options}, {"U.PNG", AsText(png)}});
    EXPECT_LT(archive.Size(), 1000);
    TsSkinManager sm;
    TacSkinConvertor sc;
    sc.SetPackedData(&archive, false);
    sc.ExtractPackedData();
    EXPECT_THROW(LoadPackedSkinTables(sm, sc), EInvalidGraphic);
    sc.FreePackedData();

    // The same file read as it stands (a folder skin's picture), or a
    // packed picture whose data the archive could not shrink, loads.
    TLoaded folder;
    folder.pack.Files["U.PNG"] = AsText(png);
    folder.Load(options);
    EXPECT_EQ(folder.Mask("BUTTON", "A").R, (TRect{0, 0, 4096, 2048}));
    test::Bytes noisy(size_t(257) * 64);
    uint32_t x = 99;
    for (uint8_t& b : noisy) b = uint8_t((x = x * 1103515245u + 12345u) >> 24);
    for (size_t y = 0; y < 64; ++y) noisy[y * 257] = 0;
    tw::TMemoryStream fine;
    WritePackedData(fine, {{"Options.dat", options}, {"U.PNG", AsText(test::Png(test::Ihdr(256, 64, 8, 0), noisy))}});
    TsSkinManager sm2;
    TacSkinConvertor sc2;
    sc2.SetPackedData(&fine, false);
    sc2.ExtractPackedData();
    LoadPackedSkinTables(sm2, sc2);
    sc2.FreePackedData();
    const int i = sm2.GetMaskIndexByName("BUTTON", "A");
    ASSERT_GE(i, 0);
    EXPECT_EQ(sm2.ma[size_t(i)].R, (TRect{0, 0, 256, 64}));

    // A JPEG that declares an 8K picture and pads itself with comments to
    // the bytes such a picture would need: the archive packs them away.
    std::string jpeg = JpegDeclaring(8192, 4096);
    const std::string comment = "\xFF\xFE\xFF\xF0" + std::string(0xFFF0 - 2, ' ');
    jpeg.insert(2, comment + comment + comment);
    ASSERT_GT(int64_t(jpeg.size()) * kMaxJpegPixelsPerByte, int64_t(8192) * 4096);
    tw::TMemoryStream padded;
    WritePackedData(padded, {{"Options.dat", "[FORM]\nPATTERN=HUGE.JPG\n"}, {"HUGE.JPG", jpeg}});
    EXPECT_LT(padded.Size(), 2000);
    TsSkinManager sm3;
    TacSkinConvertor sc3;
    sc3.SetPackedData(&padded, false);
    sc3.ExtractPackedData();
    EXPECT_THROW(LoadPackedSkinTables(sm3, sc3), EInvalidPicture);
    sc3.FreePackedData();
}

TEST(HostileSkin, APngWithoutImageDataLoadsEmptyAndTheSkinKeepsItsOtherPictures)
{
    test::Bytes noData = test::Signature();
    test::Append(noData, test::Chunk("IHDR", test::Ihdr(4, 4, 8, 6)));
    test::Append(noData, test::Chunk("IEND", {}));
    TLoaded s;
    s.pack.Files["EMPTY.PNG"] = AsText(noData);
    s.pack.Files["B.BMP"] = skintest::BmpFile(Picture(6, 6, 24, 0x00FF00).View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=EMPTY.PNG\n[BUTTON]\nA=!EMPTY.PNG!1!0!0\nB=!B.BMP!1!0!0\n");
    EXPECT_EQ(s.sm.GetMaskIndexByName("BUTTON", "A"), -1);
    EXPECT_EQ(s.Mask("BUTTON", "B").R, (TRect{0, 0, 6, 6}));
    ASSERT_TRUE(s.sm.MasterBitmap);
    EXPECT_EQ(s.sm.MasterBitmap->Width(), 0);
}

TEST(HostileSkin, BadNumbersInTheFixedAndPictureFormsEndTheLoad)
{
    auto load = [](const std::string& value) {
        TLoaded s;
        s.pack.Files["B.BMP"] = skintest::BmpFile(Picture(6, 6, 24, 0x00FF00).View());
        s.Load("[BUTTON]\nM=" + value + "\n");
        return s.sm.ma.size();
    };
    for (const char* bad : {"@0001@0002", "^0000^0000^0006^0006^0002^0002^0002^0002^1^1^1", "~0000~0000~0002~0002",
                            "@00x0@0000@0006@0006@1@0", "!B.BMP", "!B.BMP!1!0", "!B.BMP!x!0!0", "!B.BMP!1!0!0!2!2",
                            "!MISSING.BMP!1!0"})
        EXPECT_THROW(load(bad), tw::EConvertError) << bad;
    // Not a mask at all: no number is read.
    EXPECT_EQ(load("!B.TXT!x"), 0u);
    // Complete values load; a "~" value of 23 characters has its mode.
    EXPECT_EQ(load("!B.BMP!1!0!0"), 1u);
    EXPECT_EQ(load("!B.BMP!1!0!0!2!2!2!2"), 1u);
    EXPECT_EQ(load("~0000~0000~0002~0002~1"), 1u);
}

TEST(SkinIniIndex, SectionsAndKeysAreFoundWhateverTheirCaseFirstKeyCounting)
{
    const TsIniText ini("[Button]\nColor=1\ncolor=2\n[OTHER]\nX=1\n[BUTTON]\nCOLOR=3\nNew=4\n");
    EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Button", "OTHER"}));
    EXPECT_EQ(ini.SectionKeys("bUtToN"), (std::vector<std::string>{"Color", "color", "COLOR", "New"}));
    EXPECT_EQ(ini.ReadString("BUTTON", "COLOR", "?"), "1");
    EXPECT_EQ(ini.ReadString("button", "new", "?"), "4");
    EXPECT_EQ(ini.ReadInteger("other", "x", -1), 1);
    EXPECT_EQ(ini.ReadString("NONE", "X", "?"), "?");
    EXPECT_EQ(ini.ReadString("OTHER", "Y", "?"), "?");
    // Bytes beyond ASCII are compared as they are.
    const TsIniText utf8("[\xC3\xA4]\nK=1\n");
    EXPECT_EQ(utf8.ReadString("\xC3\xA4", "k", "?"), "1");
    EXPECT_EQ(utf8.ReadString("\xC3\x84", "k", "?"), "?");
}

TEST(SkinIniIndex, ASkinReadAgainIsFoundByItsNewNames)
{
    // The second skin has as many sections and masks as the first: its
    // tables can take the very same memory.
    TLoaded s;
    s.pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(8, 8, 24, 0x405060).View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n[A]\nM=@0000@0000@0002@0002@1@0\n[B]\n");
    EXPECT_EQ(s.sm.GetSkinIndex("A"), 1);
    EXPECT_EQ(s.sm.GetMaskIndexByName("A", "M"), 0);
    const std::string second = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n[C]\nN=@0000@0000@0002@0002@1@0\n[D]\n";
    LoadSkinTables(s.sm, &second);
    EXPECT_EQ(s.sm.GetSkinIndex("A"), -1);
    EXPECT_EQ(s.sm.GetSkinIndex("D"), 2);
    EXPECT_EQ(s.sm.GetMaskIndexByName("A", "M"), -1);
    EXPECT_EQ(s.sm.GetMaskIndexByName("C", "N"), 0);
    // Records added by hand are found too, the first of a name counting.
    TsGeneralData extra;
    extra.Name = "D";
    s.sm.gd.push_back(extra);
    extra.Name = "E";
    s.sm.gd.push_back(extra);
    EXPECT_EQ(s.sm.GetSkinIndex("D"), 2);
    EXPECT_EQ(s.sm.GetSkinIndex("E"), 4);
    // A record renamed in place is no longer found by its old name.
    s.sm.gd[2].Name = "Dx";
    s.sm.ma[0].PropertyName = "Nx";
    EXPECT_EQ(s.sm.GetSkinIndex("D"), 3);
    EXPECT_EQ(s.sm.GetMaskIndexByName("C", "N"), -1);
    EXPECT_EQ(s.sm.GetSkinIndex("Dx"), 2);
    EXPECT_EQ(s.sm.GetMaskIndexByName("C", "Nx"), 0);
}

TEST(SkinIniIndex, ManySectionsChainedByTheirParentInheritToTheDepthBound)
{
    // 3,000 sections, each the parent of the next: values come down at most
    // the depth bound, and every section is found by its name.
    std::string text = "[S0]\nCOLOR=$00FF00\n";
    for (int i = 1; i < 3000; ++i) text += "[S" + std::to_string(i) + "]\nPARENTCLASS=S" + std::to_string(i - 1) + "\n";
    TsSkinManager sm;
    LoadSkinTables(sm, &text);
    ASSERT_EQ(sm.gd.size(), 3000u);
    const int depth = TsSkinManager::MaxParentDepth;
    EXPECT_EQ(sm.gd[size_t(sm.GetSkinIndex("S" + std::to_string(depth)))].Color, 0x00FF00);
    EXPECT_EQ(sm.gd[size_t(sm.GetSkinIndex("S" + std::to_string(depth + 1)))].Color, 0xFFFFFF);
    EXPECT_EQ(sm.GetSkinIndex("S2999"), 2999);
}

TEST(SkinIniIndex, PackedPicturesAreFoundByNameTheFirstOfANameCounting)
{
    auto stream = [](const std::string& bytes) {
        auto s = std::make_unique<tw::TMemoryStream>();
        s->WriteBuffer(bytes.data(), int64_t(bytes.size()));
        return s;
    };
    TacSkinConvertor sc;
    const std::pair<const char*, TColor> files[] = {
        {"Pic.bmp", 0x00FF00}, {"PIC.BMP", 0x0000FF}, {"empty.bmp", 0}, {"Other.bmp", 0xFF0000}};
    for (const auto& [name, colour] : files) {
        TacPackedFile& f = sc.Files.emplace_back();
        f.FileName = name;
        if (colour != 0) f.Data = stream(skintest::BmpFile(Picture(4, 4, 24, colour).View()));
    }
    sc.Options = stream("[S]\nA=!PIC.BMP!1!0!0\nB=!OTHER.BMP!1!0!0\nC=!EMPTY.BMP!1!0!0\nD=!Pic.bmp!1!0!0\n");
    TsSkinManager sm;
    LoadPackedSkinTables(sm, sc);
    ASSERT_GE(sm.GetMaskIndexByName("S", "A"), 0);
    EXPECT_EQ(Px(sm.ma[size_t(sm.GetMaskIndexByName("S", "A"))].Bmp->View(), 1, 1), 0x00FF00);
    ASSERT_GE(sm.GetMaskIndexByName("S", "B"), 0);
    EXPECT_EQ(Px(sm.ma[size_t(sm.GetMaskIndexByName("S", "B"))].Bmp->View(), 1, 1), 0xFF0000);
    EXPECT_EQ(sm.GetMaskIndexByName("S", "C"), -1);   // an entry without data is none
    EXPECT_EQ(sm.GetMaskIndexByName("S", "D"), -1);   // names are compared as written, upper case
}

TEST(HostileSkin, SectionsInheritingAGradientShareItsParsedSteps)
{
    // One long gradient (3,900 characters, 150 steps) and 4,000 sections
    // that inherit it: ten kilobytes packed, and each section must not cost
    // a parse and a copy of its own.
    std::string steps;
    for (int i = 0; i < 150; ++i) steps += "$00102030;$00405060;1;0;0;";
    std::string text = "[P]\nGRADIENTDATA=" + steps + "\nHOTGRADIENTDATA=" + steps + "\n";
    for (int i = 0; i < 4000; ++i) text += "[C" + std::to_string(i) + "]\nPARENTCLASS=P\n";
    TsSkinManager sm;
    sm.HueOffset = 90;   // colours changed once per parsed gradient, not per section
    LoadSkinTables(sm, &text);
    ASSERT_EQ(sm.gd.size(), 4001u);
    const TsGeneralData& parent = sm.gd[0];
    ASSERT_EQ(parent.GradientArray.size(), 150u);
    EXPECT_EQ(parent.GradientArray[0].Color1, ChangeHue(90, 0x00102030));
    EXPECT_EQ(parent.HotGradientArray[149].Color2, ChangeHue(90, 0x00405060));
    // Shared: the very same steps and the very same text, not equal copies.
    auto textOf = [](const std::string& text) { return text.data(); };
    for (const TsGeneralData& g : sm.gd) {
        ASSERT_EQ(&g.GradientArray[0], &parent.GradientArray[0]) << g.Name;
        ASSERT_EQ(&g.HotGradientArray[0], &parent.HotGradientArray[0]) << g.Name;
        ASSERT_EQ(textOf(g.GradientData), textOf(parent.GradientData)) << g.Name;
        ASSERT_EQ(textOf(g.HotGradientData), textOf(parent.HotGradientData)) << g.Name;
    }
    EXPECT_EQ(static_cast<const std::string&>(parent.GradientData), steps);

    // A section of its own gradient keeps it; one written as the parent's
    // text again shares the parse too.
    text += "[OWN]\nGRADIENTDATA=1;2;3;0;0\n[SAME]\nGRADIENTDATA=" + steps + "\n";
    LoadSkinTables(sm, &text);
    const TsGeneralData& own = sm.gd[size_t(sm.GetSkinIndex("OWN"))];
    ASSERT_EQ(own.GradientArray.size(), 1u);
    EXPECT_EQ(own.GradientArray[0].Color1, ChangeHue(90, 1));
    EXPECT_EQ(&sm.gd[size_t(sm.GetSkinIndex("SAME"))].GradientArray[0], &sm.gd[0].GradientArray[0]);
    EXPECT_EQ(static_cast<const std::string&>(own.GradientData), "1;2;3;0;0");
    EXPECT_EQ(textOf(sm.gd[size_t(sm.GetSkinIndex("SAME"))].GradientData), textOf(sm.gd[0].GradientData));
    // Sections without a gradient of their own share the one blank default.
    EXPECT_EQ(textOf(own.HotGradientData), textOf(sm.gd[size_t(sm.GetSkinIndex("SAME"))].HotGradientData));

    // Sections the program adds inherit the same way.
    sm.CommonSections = {"[EXTRA]", "PARENTCLASS=P", "HOTGRADIENTDATA=1;2;3;0;0"};
    LoadSkinTables(sm, &text);
    const TsGeneralData& extra = sm.gd[size_t(sm.GetSkinIndex("EXTRA"))];
    EXPECT_EQ(textOf(extra.GradientData), textOf(sm.gd[0].GradientData));
    EXPECT_EQ(&extra.GradientArray[0], &sm.gd[0].GradientArray[0]);
    EXPECT_EQ(textOf(extra.HotGradientData), textOf(sm.gd[size_t(sm.GetSkinIndex("OWN"))].GradientData));
}
