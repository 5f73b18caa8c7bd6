// Skins kept taken apart inside the program: the stored items, and a manager
// loading such a skin from its collections instead of an options text.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/data/sStoredSkins.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;

TEST(StoredSkin, NewItemsHoldTheirDefaultsAndCopiesOwnTheirPictures)
{
    TsStoredSkins skins;
    TsStoredSkin& s = skins.Add();
    EXPECT_EQ(s.Collection(), &skins);
    EXPECT_EQ(s.Shadow1Blur, -1);
    EXPECT_EQ(s.BorderColor, 0xFF00FF);
    EXPECT_EQ(s.GeneralData.Count() + s.Images.Count() + s.Patterns.Count(), 0);
    EXPECT_EQ(s.Images.Owner(), &s);
    EXPECT_FALSE(s.HasPackedData());

    // A copied collection keeps its pictures when the original's change
    // (a copy that shared the rows would follow them).
    TsSkinImages source(nullptr);
    TsSkinImage& img = source.Add();
    img.Image = Picture(3, 2, 24, 0x112233);
    s.SetImages(source);
    skintest::SetPx(source.Items(0).Image.View(), 0, 0, 0x445566);
    EXPECT_EQ(Px(s.Images.Items(0).Image.View(), 0, 0), 0x112233);
    EXPECT_EQ(s.Images.Owner(), &s);

    TPixelImage a = Picture(2, 2, 32, 0x010203);
    TPixelImage b;
    b = a;
    skintest::SetPx(a.View(), 1, 1, 0x0A0B0C);
    EXPECT_EQ(Px(b.View(), 1, 1), 0x010203);

    skins.Add("B", nullptr);
    EXPECT_EQ(skins.IndexOfSkin("B"), 1);
    EXPECT_EQ(skins.IndexOfSkin("b"), -1);
    ASSERT_NE(skins.Items(1).Data, nullptr);   // an empty stream, never none
}

TEST(StoredSkin, FontColourTextsNeedExactlyFiveNumbers)
{
    EXPECT_EQ(StoredFontColors("1 2 3 4 $10"), (std::array<TColor, 5>{1, 2, 3, 4, 16}));
    EXPECT_EQ(StoredFontColors("  7  8 9 10 11 "), (std::array<TColor, 5>{7, 8, 9, 10, 11}));
    EXPECT_EQ(StoredFontColors("1 2 3 4"), (std::array<TColor, 5>{0, -1, -1, -1, -1}));
    EXPECT_EQ(StoredFontColors(""), (std::array<TColor, 5>{0, -1, -1, -1, -1}));
    EXPECT_THROW(StoredFontColors("1 2 x 4 5"), tw::EConvertError);
}

namespace {

struct StoredLoad : ::testing::Test {
    std::unique_ptr<TsSkinManager> sm;
    TsStoredSkin* stored = nullptr;

    void SetUp() override
    {
        DefaultManager = nullptr;
        sm = std::make_unique<TsSkinManager>();
        sm->SetSkinDirectory("/nonexistent-skin-folder");
        stored = &sm->InternalSkins.Add();
        stored->SetName("Stored");
        stored->MasterBitmap = Picture(90, 30, 32, 0x00FF00);
        stored->Version = 7.5;
        stored->Author = "us";
        stored->BorderColor = 0x123456;

        TsSkinGeneral& button = stored->GeneralData.Add();
        button.SectionName = "BUTTON";
        button.ParentClass = "PANEL";
        button.Color = TColor(0xFF00000F);   // a system colour stays as stored
        button.FontColor = "1 2 3 4 5";
        button.HotFontColor = "9";
        button.GradientData = "1;2;3;0;0";
        button.FadingIterations = 4;
        TsSkinGeneral& panel = stored->GeneralData.Add();
        panel.SectionName = "PANEL";

        TsSkinImage& border = stored->Images.Add();   // a rectangle of the master
        border.SectionName = "button";
        border.PropertyName = "bordersmask";
        border.Left = 0, border.Top = 0, border.Right = 90, border.Bottom = 30;
        TsSkinImage& glyph = stored->Images.Add();    // a picture of its own
        glyph.SectionName = "Panel";
        glyph.PropertyName = "Glyph";
        glyph.Name = "glyph.png";
        glyph.Image = Picture(12, 4, 32, 0x0000FF);
        glyph.ImageCount = 2;
        glyph.BorderWidth = 1;
        glyph.ImgType = itisaGlyph;
        TsSkinImage& lost = stored->Images.Add();     // named, but without picture
        lost.SectionName = "PANEL";
        lost.PropertyName = "LOST";
        lost.Name = "lost.bmp";

        TsSkinPattern& tex = stored->Patterns.Add();
        tex.SectionName = "form";
        tex.PropertyName = "pattern";
        tex.Name = "wood.jpg";
        tex.Image = Picture(5, 5, 24, 0x808080);
        TsSkinPattern& shared = stored->Patterns.Add();
        shared.SectionName = "PANEL";
        shared.PropertyName = "PATTERN";
        shared.Name = "wood.jpg";
        TsSkinPattern& none = stored->Patterns.Add();
        none.SectionName = "EDIT";
        none.PropertyName = "PATTERN";
        none.Name = "missing.jpg";
    }
    void TearDown() override { sm.reset(); }
    const TsGeneralData& Section(const std::string& name)
    {
        const int i = sm->GetSkinIndex(name);
        EXPECT_GE(i, 0) << name;
        return sm->gd.at(size_t(i));
    }
};

} // namespace

TEST_F(StoredLoad, SkinWithoutPackedDataIsReadFromItsCollections)
{
    sm->SkinData.TitleHeight = 77;   // not stored with a skin: kept
    sm->SetSkinName("Stored");
    ASSERT_TRUE(sm->SkinLoaded());
    EXPECT_FALSE(sm->PackedSkin());
    EXPECT_EQ(sm->SkinInfo(), "7.5");
    EXPECT_EQ(sm->SkinData.Author, "us");
    EXPECT_EQ(sm->SkinData.BorderColor, 0x123456);
    EXPECT_EQ(sm->SkinData.Shadow1Blur, -1);
    EXPECT_EQ(sm->SkinData.TitleHeight, 77);

    ASSERT_NE(sm->MasterBitmap, nullptr);
    EXPECT_EQ(sm->MasterBitmap->BitsPerPixel(), 24);
    EXPECT_EQ(Px(sm->MasterBitmap->View(), 5, 5), 0x00FF00);

    // Names upper-cased; ImageCount 0 means three frames with a mask half;
    // the piece widths by the frame size.
    const int b = sm->GetMaskIndexByName("BUTTON", "BORDERSMASK");
    ASSERT_GE(b, 0);
    const TsMaskData& border = sm->ma[size_t(b)];
    EXPECT_EQ(border.Bmp, nullptr);
    EXPECT_EQ(border.R, TRect(0, 0, 90, 30));
    EXPECT_EQ(border.ImageCount, 3);
    EXPECT_EQ(border.MaskType, 1);
    EXPECT_EQ(border.WL, 10);
    EXPECT_EQ(border.WT, 5);
    EXPECT_EQ(border.Manager, sm.get());
    EXPECT_EQ(Section("BUTTON").BorderIndex, b);   // the index pass ran

    const int g = sm->GetMaskIndexByName("PANEL", "GLYPH");
    ASSERT_GE(g, 0);
    const TsMaskData& glyph = sm->ma[size_t(g)];
    ASSERT_NE(glyph.Bmp, nullptr);
    EXPECT_EQ(glyph.Bmp->BitsPerPixel(), 24);
    EXPECT_EQ(glyph.R, TRect(0, 0, 12, 4));
    EXPECT_EQ(glyph.ImgType, itisaGlyph);
    EXPECT_EQ(glyph.WL, 1);   // the border width
    // The tables never share a picture with the stored items.
    skintest::SetPx(stored->Images.Items(1).Image.View(), 0, 0, 0xFFFFFF);
    EXPECT_EQ(Px(glyph.Bmp->View(), 0, 0), 0x0000FF);

    const int lost = sm->GetMaskIndexByName("PANEL", "LOST");
    ASSERT_GE(lost, 0);
    EXPECT_EQ(sm->ma[size_t(lost)].Bmp, nullptr);
    EXPECT_EQ(sm->ma[size_t(lost)].R.Width(), 0);

    // Stored textures stay patterns, small as they are; one without a
    // picture shares the picture of its name.
    ASSERT_EQ(sm->pa.size(), 3u);
    EXPECT_EQ(sm->pa[0].SectionName, "FORM");
    EXPECT_EQ(sm->pa[0].PropertyName, "PATTERN");
    ASSERT_EQ(sm->pa[1].Img->Width(), 5);
    EXPECT_EQ(Px(sm->pa[1].Img->View(), 2, 2), 0x808080);
    EXPECT_EQ(sm->pa[2].Img->Width(), 0);

    const TsGeneralData& button = Section("BUTTON");
    EXPECT_EQ(button.ParentClass, "PANEL");
    EXPECT_EQ(button.Color, TColor(0xFF00000F));
    EXPECT_EQ(button.FontColor, (std::array<TColor, 5>{1, 2, 3, 4, 5}));
    EXPECT_EQ(button.HotFontColor, (std::array<TColor, 5>{0, -1, -1, -1, -1}));
    EXPECT_EQ(button.GradientArray.size(), 1u);
    EXPECT_EQ(button.FadingIterations, 4);
}

TEST_F(StoredLoad, StoredFadeStepsAreBoundedAsTheOptionsFileIs)
{
    stored->GeneralData.Items(0).FadingIterations = 1000000000;
    stored->GeneralData.Items(1).FadingIterations = -3;
    sm->SetSkinName("Stored");
    ASSERT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(Section("BUTTON").FadingIterations, 255);
    EXPECT_EQ(Section("PANEL").FadingIterations, 0);
}

TEST_F(StoredLoad, ProgramSectionsAreAddedToAStoredSkinToo)
{
    sm->SetCommonSections({"[EXTRA]", "COLOR=$0000FF", "[PANEL]", "COLOR=$00FF00"});
    sm->SetSkinName("Stored");
    ASSERT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(Section("EXTRA").Color, 0x0000FF);
    EXPECT_EQ(Section("EXTRA").ParentClass, "-1");
    EXPECT_EQ(Section("PANEL").Color, 0);   // the skin's own section stays
}

TEST_F(StoredLoad, BrokenColourTextEndsTheLoadAndTheNextStartsClean)
{
    stored->GeneralData.Items(0).FontColor = "1 2 three 4 5";
    EXPECT_THROW(sm->SetSkinName("Stored"), tw::EConvertError);
    EXPECT_FALSE(SkinLoading);
    EXPECT_FALSE(sm->SkinLoaded());
    stored->GeneralData.Items(0).FontColor = "";
    sm->SetSkinName("Stored");
    EXPECT_TRUE(sm->SkinLoaded());
    EXPECT_EQ(Section("BUTTON").FontColor[0], 0);
}

TEST(ManagerSettings, SkinFolderBecomesTheSkinPathAndMenusGetTheirIconStrip)
{
    DefaultManager = nullptr;
    TsSkinManager sm;
    sm.ProgramFolder = "/opt/app/";
    sm.SetSkinDirectory("Skins");
    EXPECT_EQ(sm.SkinPath, std::string("/opt/app/Skins") + tw::PathDelim());
    // Empty: the program's folder until the component is loaded.
    sm.SetSkinDirectory("");
    EXPECT_EQ(sm.SkinDirectory(), "");
    EXPECT_EQ(sm.SkinPath, std::string("/opt/app") + tw::PathDelim());
    EXPECT_EQ(sm.GetFullSkinDirectory(), std::string("/opt/app") + tw::PathDelim());

    EXPECT_TRUE(sm.MenuSupport.IcoLineSkin.empty());
    EXPECT_EQ(sm.MenuSupport.ExtraLineWidth, 32);
    sm.Loaded();
    EXPECT_EQ(sm.SkinDirectory(), kDefaultSkinDirectory);
    EXPECT_EQ(sm.MenuSupport.IcoLineSkin, "ICOLINE");
    sm.MenuSupport.IcoLineSkin = "MYLINE";
    sm.Loaded();
    EXPECT_EQ(sm.MenuSupport.IcoLineSkin, "MYLINE");
}

namespace {

std::string Bytes(tw::TMemoryStream& s)
{
    return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size()));
}

void Fill(tw::TMemoryStream& s, const std::string& bytes)
{
    s.Clear();
    s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
}

} // namespace

TEST(StoredSkin, DataStreamsOutAndInWithItsBytesUnchangedEvenWhenEmpty)
{
    TsStoredSkins skins;
    TsStoredSkin& full = skins.Add();
    const std::string payload("PK\0\x01\xFF\x80z", 7);
    Fill(*full.Data, payload);
    TsStoredSkin& empty = skins.Add();

    tw::TMemoryStream out;
    full.WriteDataProperty(out);
    empty.WriteDataProperty(out);
    // Name as a short string, the binary kind 10, the count low byte first.
    const std::string expected = std::string("\x04" "Data" "\x0A" "\x07\x00\x00\x00", 10) + payload +
                                 std::string("\x04" "Data" "\x0A" "\x00\x00\x00\x00", 10);
    EXPECT_EQ(Bytes(out), expected);

    TsStoredSkin& first = skins.Add();
    TsStoredSkin& second = skins.Add();
    Fill(*second.Data, "old bytes");
    out.SetPosition(0);
    first.ReadDataProperty(out);
    second.ReadDataProperty(out);
    EXPECT_EQ(Bytes(*first.Data), payload);
    EXPECT_EQ(first.Data->Position(), 0);   // ready for the archive reader
    EXPECT_EQ(second.Data->Size(), 0);      // the empty stream replaces what was there
    EXPECT_FALSE(second.HasPackedData());
    EXPECT_EQ(out.Position(), out.Size());
}

TEST(StoredSkin, DamagedDataPropertiesAreRefusedAndLeaveTheSkinAlone)
{
    TsStoredSkins skins;
    TsStoredSkin& skin = skins.Add();
    Fill(*skin.Data, "kept");
    tw::TMemoryStream in;
    for (const std::string& damaged : {std::string("\x04" "Date" "\x0A" "\x00\x00\x00\x00", 10),   // another name
                                       std::string("\x04" "Data" "\x06" "\x00\x00\x00\x00", 10),   // not binary
                                       std::string("\x04" "Data" "\x0A" "\xFF\xFF\xFF\x7F" "ab", 12),   // count beyond
                                       std::string("\x04" "Da", 3)}) {                          // cut short
        Fill(in, damaged);
        EXPECT_THROW(skin.ReadDataProperty(in), tw::EReadError) << damaged.size();
        EXPECT_EQ(Bytes(*skin.Data), "kept");
    }
}
