// A skin's pictures together: a small packed picture that decodes large,
// named again and again, must not take the memory one copy at a time.
#include <gtest/gtest.h>

#include <string>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "tests/skin/engine/PngBuilder.h"
#include "tests/support/TsBuilder.h"

using namespace skin;

namespace {

// A plain grey RGB picture of w x h: deflated, a few kilobytes per megapixel.
std::string GreyPng(uint32_t w, uint32_t h)
{
    using namespace skin::test;
    Bytes rows;
    rows.reserve(size_t(h) * (1 + 3 * size_t(w)));
    for (uint32_t y = 0; y < h; ++y) {
        rows.push_back(0);
        rows.insert(rows.end(), 3 * size_t(w), 0x80);
    }
    const Bytes f = Png(Ihdr(w, h, 8, 2), rows);
    return std::string(f.begin(), f.end());
}

int64_t TablePixels(const TsSkinManager& sm)
{
    int64_t n = sm.MasterBitmap ? int64_t(sm.MasterBitmap->Width()) * sm.MasterBitmap->Height() : 0;
    for (const TsMaskData& m : sm.ma)
        if (m.Bmp) n += int64_t(m.Bmp->Width()) * m.Bmp->Height();
    for (const TsPatternData& p : sm.pa)
        if (p.Img) n += int64_t(p.Img->Width()) * p.Img->Height();
    return n;
}

} // namespace

TEST(SkinPictureBudget, OnePictureNamedManyTimesStopsAtWhatASkinMayHold)
{
    // A quarter of what a skin may hold in all: the fifth copy is too many.
    const uint32_t w = 4096, h = uint32_t(kMaxSkinPixels / 4 / w);
    skintest::TPackedSkin pack;
    pack.Files["BIG.PNG"] = GreyPng(w, h);
    pack.Files["SMALL.BMP"] = skintest::BmpFile(skintest::Picture(9, 6, 24, 0x0000FF).View());
    std::string text = "[S]\n";
    for (int i = 0; i < 6; ++i) text += "K" + std::to_string(i) + "=!BIG.PNG!1!0!0\n";
    // Pictures after the skin ran out of room are not read either.
    text += "LATE=SMALL.BMP\n";

    TsSkinManager sm;
    pack.Attach(sm);
    LoadSkinTables(sm, &text);
    EXPECT_LE(TablePixels(sm), kMaxSkinPixels);
    int big = 0;
    for (const TsMaskData& m : sm.ma)
        if (m.Bmp && m.Bmp->Width() == int(w)) ++big;
    EXPECT_EQ(big, 4);
    EXPECT_EQ(sm.GetMaskIndexByName("S", "LATE"), -1);

    // The next load starts with all the room again.
    const std::string small = "[S]\nK=SMALL.BMP\n";
    LoadSkinTables(sm, &small);
    EXPECT_GE(sm.GetMaskIndexByName("S", "K"), 0);
}

TEST(SkinPictureBudget, ATallNarrowPictureNamedManyTimesStopsAtTheRowsASkinMayDecode)
{
    // One pixel wide and as high as a picture may be: each copy is nothing
    // against the pixels a skin may hold, but every row costs its decoding.
    const int64_t copies = kMaxSkinPictureRows / kMaxPictureSide;
    skintest::TPackedSkin pack;
    pack.Files["TALL.PNG"] = GreyPng(1, uint32_t(kMaxPictureSide));
    std::string text = "[S]\n";
    for (int64_t i = 0; i < copies + 3; ++i) text += "K" + std::to_string(i) + "=!TALL.PNG!1!0!0\n";
    TsSkinManager sm;
    pack.Attach(sm);
    LoadSkinTables(sm, &text);
    EXPECT_GE(sm.GetMaskIndexByName("S", "K" + std::to_string(copies - 1)), 0);
    for (int64_t i = copies; i < copies + 3; ++i)
        EXPECT_EQ(sm.GetMaskIndexByName("S", "K" + std::to_string(i)), -1) << i;
}

TEST(SkinPictureBudget, AFolderSkinReadsNoMoreFileBytesThanAPackedSkinMayHold)
{
    // A small picture at the head of a file of megabytes, named again and
    // again: each name read the whole file once more.
    const std::string dir = tw::IncludeTrailingPathDelimiter(tw::test::UniqueTempName("picturebytes", ""));
    ASSERT_TRUE(tw::ForceDirectories(dir));
    std::string file = skintest::BmpFile(skintest::Picture(2, 2, 24, 0x0000FF).View());
    file.resize(size_t(kMaxPackedSkinBytes / 4), '\0');
    {
        tw::TFileStream f(dir + "PADDED.BMP", tw::fmCreate);
        f.WriteBuffer(file.data(), int64_t(file.size()));
    }
    std::string text = "[S]\n";
    for (int i = 0; i < 6; ++i) text += "K" + std::to_string(i) + "=!PADDED.BMP!1!0!0\n";
    TsSkinManager sm;
    sm.SkinPath = dir;
    LoadSkinTables(sm, &text);
    int read = 0;
    for (int i = 0; i < 6; ++i) read += sm.GetMaskIndexByName("S", "K" + std::to_string(i)) >= 0 ? 1 : 0;
    EXPECT_EQ(read, 4);
    tw::RemoveFile(dir + "PADDED.BMP");
}

TEST(SkinPictureBudget, APictureThatWouldOvershootTheRoomIsNotKept)
{
    // Three tenths of the room each: the fourth would not fit whole, and it
    // is not kept beside the three; nor is anything after it.
    const uint32_t w = 4096, h = uint32_t(kMaxSkinPixels * 3 / 10 / w);
    skintest::TPackedSkin pack;
    pack.Files["BIG.PNG"] = GreyPng(w, h);
    pack.Files["SMALL.BMP"] = skintest::BmpFile(skintest::Picture(9, 6, 24, 0x0000FF).View());
    std::string text = "[S]\n";
    for (int i = 0; i < 4; ++i) text += "K" + std::to_string(i) + "=!BIG.PNG!1!0!0\n";
    text += "LATE=SMALL.BMP\n";
    TsSkinManager sm;
    pack.Attach(sm);
    LoadSkinTables(sm, &text);
    EXPECT_LE(TablePixels(sm), kMaxSkinPixels);
    EXPECT_GE(sm.GetMaskIndexByName("S", "K2"), 0);
    EXPECT_EQ(sm.GetMaskIndexByName("S", "K3"), -1);
    EXPECT_EQ(sm.GetMaskIndexByName("S", "LATE"), -1);
}

TEST(SkinPictureBudget, EachLoadOfAFolderSkinStartsWithAllItsFileBytes)
{
    // Three quarters of what a skin may hold, read by one load, and again by
    // the next load of the same manager.
    const std::string dir = tw::IncludeTrailingPathDelimiter(tw::test::UniqueTempName("picturebytesagain", ""));
    ASSERT_TRUE(tw::ForceDirectories(dir));
    std::string file = skintest::BmpFile(skintest::Picture(2, 2, 24, 0x0000FF).View());
    file.resize(size_t(kMaxPackedSkinBytes / 4 * 3), '\0');
    {
        tw::TFileStream f(dir + "PADDED.BMP", tw::fmCreate);
        f.WriteBuffer(file.data(), int64_t(file.size()));
    }
    const std::string text = "[S]\nK=!PADDED.BMP!1!0!0\n";
    TsSkinManager sm;
    sm.SkinPath = dir;
    for (int load = 0; load < 2; ++load) {
        LoadSkinTables(sm, &text);
        EXPECT_GE(sm.GetMaskIndexByName("S", "K"), 0) << load;
    }
    tw::RemoveFile(dir + "PADDED.BMP");
}

TEST(SkinPictureBudget, APackedSkinDecodesNoMoreBytesThanItMayHold)
{
    // A picture of one pixel with a note of megabytes in it, named again and
    // again: each name read the whole note once more, its check sum with it.
    using namespace skin::test;
    const Bytes note(size_t(kMaxPackedSkinBytes / 4) - 200, 'n');
    Bytes text = {'a', 0};
    Append(text, note);
    const Bytes png = Png(Ihdr(1, 1, 8, 2), {0, 1, 2, 3}, {Chunk("zTXt", text)});
    skintest::TPackedSkin pack;
    ASSERT_LE(png.size(), size_t(kMaxPackedSkinBytes / 4));
    pack.Files["NOTE.PNG"] = std::string(png.begin(), png.end());
    std::string options = "[S]\n";
    for (int i = 0; i < 6; ++i) options += "K" + std::to_string(i) + "=!NOTE.PNG!1!0!0\n";
    TsSkinManager sm;
    pack.Attach(sm);
    LoadSkinTables(sm, &options);
    int read = 0;
    for (int i = 0; i < 6; ++i) read += sm.GetMaskIndexByName("S", "K" + std::to_string(i)) >= 0 ? 1 : 0;
    EXPECT_EQ(read, 4);
}
