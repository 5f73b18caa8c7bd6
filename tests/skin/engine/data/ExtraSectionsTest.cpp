// The program's own further sections beside a skin: the rectangles, bitmap
// files and textures they name, read after the skin's own.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"
#include "tests/support/TsBuilder.h"

using namespace skin;
using skintest::Picture;

namespace {

void WriteFile(const std::string& name, const std::string& bytes)
{
    tw::TFileStream f(name, tw::fmCreate);
    f.WriteBuffer(bytes.data(), int64_t(bytes.size()));
}

const TsMaskData* Mask(const TsSkinManager& sm, const std::string& section, const std::string& key)
{
    const int i = sm.GetMaskIndexByName(section, key);
    return i < 0 ? nullptr : &sm.ma[size_t(i)];
}

int Pattern(const TsSkinManager& sm, const std::string& section, const std::string& key)
{
    for (size_t i = 0; i < sm.pa.size(); ++i)
        if (sm.pa[i].SectionName == section && sm.pa[i].PropertyName == key) return int(i);
    return -1;
}

} // namespace

TEST(ExtraSections, RectanglesBitmapsAndTexturesComeFromTheSkinsFolderOnly)
{
    const std::string dir = tw::IncludeTrailingPathDelimiter(tw::test::UniqueTempName("extrasections", ""));
    ASSERT_TRUE(tw::ForceDirectories(dir));
    WriteFile(dir + "EXTRA.BMP", skintest::BmpFile(Picture(9, 6, 24, 0x0000FF).View()));
    WriteFile(dir + "TEX.JPG", skintest::JpegFile(6, 4, 0x334455));

    const std::vector<std::string> extra = {"[GLOBALINFO]", "Skipped=a# (0,0,4,4) (1,0)", "[MyPanel]",
                                            "Frame=x# (0,0,12,12) (3,1)", "Pic=extra.bmp", "Packed=PACKED.BMP",
                                            "Tex=tex.jpg", "Missing=none.bmp"};
    skintest::TPackedSkin pack;
    pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(24, 12, 24, 0x405060).View());
    pack.Files["PACKED.BMP"] = skintest::BmpFile(Picture(9, 6, 24, 0x00FF00).View());

    TsSkinManager sm;
    pack.Attach(sm);
    sm.SkinPath = dir;
    sm.CommonSections = extra;
    const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n[PANEL]\nCOLOR=1\n";
    LoadSkinTables(sm, &text);

    // GLOBALINFO of the further sections names no masks.
    EXPECT_EQ(sm.GetMaskIndexByName("GLOBALINFO", "SKIPPED"), -1);
    const TsMaskData* frame = Mask(sm, "MYPANEL", "FRAME");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->R, TRect(0, 0, 12, 12));
    EXPECT_EQ(frame->ImageCount, 3);
    EXPECT_EQ(frame->MaskType, 1);
    EXPECT_EQ(frame->Bmp, nullptr);
    const TsMaskData* pic = Mask(sm, "MYPANEL", "PIC");
    ASSERT_NE(pic, nullptr);
    ASSERT_NE(pic->Bmp, nullptr);
    EXPECT_EQ(pic->Bmp->Width(), 9);
    EXPECT_EQ(pic->Bmp->BitsPerPixel(), 24);
    EXPECT_EQ(skintest::Px(pic->Bmp->View(), 4, 3), 0x0000FF);
    // The archive is not searched for the further sections' pictures.
    EXPECT_EQ(Mask(sm, "MYPANEL", "PACKED"), nullptr);
    EXPECT_EQ(Mask(sm, "MYPANEL", "MISSING"), nullptr);
    // Their textures stay textures of the pattern table, however small.
    EXPECT_EQ(Mask(sm, "MYPANEL", "TEX"), nullptr);
    const int tex = Pattern(sm, "MYPANEL", "TEX");
    ASSERT_GE(tex, 0);
    EXPECT_EQ(sm.pa[size_t(tex)].Img->Width(), 6);

    // A skin without a master bitmap still has one, empty: the rectangles of
    // the further sections are read as for any skin, and name nothing in it.
    TsSkinManager bare;
    pack.Attach(bare);
    bare.SkinPath = dir;
    bare.CommonSections = extra;
    const std::string plain = "[PANEL]\nCOLOR=1\n";
    LoadSkinTables(bare, &plain);
    const TsMaskData* empty = Mask(bare, "MYPANEL", "FRAME");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->R.Width(), 0);
    EXPECT_EQ(empty->ImageCount, 3);
    EXPECT_NE(Mask(bare, "MYPANEL", "PIC"), nullptr);

    tw::RemoveFile(dir + "EXTRA.BMP");
    tw::RemoveFile(dir + "TEX.JPG");
}
