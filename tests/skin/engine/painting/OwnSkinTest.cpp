// Tarnwick's own skin, as the generator makes it, through the whole core:
// archive, pictures, options file, look-ups and the painters.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/painting/AlphaPrimitives.h"

#ifdef TW_SKIN_ARCHIVE

using namespace skin;

namespace {

struct OwnSkin : ::testing::Test {
    TsSkinManager sm;
    std::unique_ptr<TacSkinConvertor> sc;
    void SetUp() override
    {
        LoadPackedFile(TW_SKIN_ARCHIVE, sc, false);
        ASSERT_TRUE(sc) << TW_SKIN_ARCHIVE;
        LoadPackedSkinTables(sm, *sc);
    }
    int Section(const std::string& name) { return sm.GetSkinIndex(name); }
    int Mask(const std::string& section, const std::string& mask) { return sm.GetMaskIndex(Section(section), section, mask); }
};

} // namespace

TEST_F(OwnSkin, EverySectionTheWindowsUseResolves)
{
    const char* sections[] = {
        "GLOBALINFO", "FORM", "FORMTITLE", "DIALOG", "MENULINE", "MENUITEM", "MAINMENU", "ICOLINE", "MDIAREA", "PANEL",
        "PANEL_LOW", "GROUPBOX", "BUTTON", "SPEEDBUTTON", "SPEEDBUTTON_SMALL", "TOOLBUTTON", "WEBBUTTON", "EDIT",
        "COMBOBOX", "COMBOBTN", "CHECKBOX", "RADIOBUTTON", "GAUGE", "PROGRESSH", "TRACKBAR", "STATUSBAR", "TOOLBAR",
        "DRAGBAR", "SPLITTER", "PAGECONTROL", "TABSHEET", "TABTOP", "TABBOTTOM", "TABLEFT", "TABRIGHT", "BAR",
        "BARTITLE", "SCROLLBTNTOP", "SCROLLBTNBOTTOM", "SCROLLBTNLEFT", "SCROLLBTNRIGHT", "SCROLLSLIDERV",
        "SCROLLSLIDERH", "SCROLLBAR1H", "SCROLLBAR1V", "SCROLLBAR2H", "SCROLLBAR2V", "TIMELINEB", "TIMELINEBBG"};
    for (const char* s : sections) EXPECT_GE(Section(s), 0) << s;
    const char* bordered[] = {"FORM", "DIALOG", "BUTTON", "SPEEDBUTTON_SMALL", "TOOLBUTTON", "EDIT", "COMBOBOX", "PANEL",
                              "PANEL_LOW", "GROUPBOX", "GAUGE", "PROGRESSH", "STATUSBAR", "DRAGBAR", "SPLITTER",
                              "TABBOTTOM", "TABSHEET", "SCROLLBTNLEFT", "SCROLLSLIDERH", "SCROLLBAR2V", "TIMELINEB",
                              "TIMELINEBBG", "MENUITEM", "MAINMENU", "COMBOBTN", "BAR"};
    for (const char* s : bordered) EXPECT_GE(sm.gd[size_t(Section(s))].BorderIndex, 0) << s;
    EXPECT_EQ(sm.SkinData.TitleHeight, 26);
    EXPECT_DOUBLE_EQ(sm.SkinData.Version, 1.0);
    EXPECT_EQ(sm.MasterBitmap->BitsPerPixel(), 24);
}

TEST_F(OwnSkin, MasksOfTheGlobalSectionAndTheCommonIndexes)
{
    for (const char* m : {"BOXCHECKED", "BOXUNCHECKED", "BOXGRAYED", "RADIOCHECKED", "RADIOUNCHECKED", "RADIOGRAYED",
                          "SMALLCHECKED", "SMALLUNCHECKED", "SMALLGRAYED", "CHECK", "GRIPIMAGE", "TITLEBUTTON"})
        EXPECT_GE(Mask("GLOBALINFO", m), 0) << m;
    for (const char* m : {"BICONCLOSE", "BICONMAX", "BICONNORM", "BICONMIN", "BICONHELP", "SICONCLOSE", "SICONMAX",
                          "SICONNORM", "SICONMIN"}) {
        const int i = Mask("GLOBALINFO", m);
        ASSERT_GE(i, 0) << m;
        EXPECT_EQ(sm.ma[size_t(i)].ImageCount, 3) << m;
    }
    const TsConstData& c = sm.ConstData;
    for (int i : {c.IndexGlobalInfo, c.MaskTabTop, c.MaskTabBottom, c.MaskTabLeft, c.MaskTabRight, c.CheckBoxChecked,
                  c.RadioButtonGrayed, c.SmallCheckBoxUnChecked, c.ComboBtnBorder, c.ComboGlyph})
        EXPECT_GE(i, 0);
    for (const TsConstData::TScrollPart* p : {&c.ScrollBtnTop, &c.ScrollBtnBottom, &c.ScrollBtnLeft, &c.ScrollBtnRight,
                                              &c.ScrollSliderV, &c.ScrollSliderH}) {
        EXPECT_GE(p->MaskIndex, 0);
        EXPECT_GE(p->GlyphIndex, 0);
    }
    EXPECT_GE(c.ScrollSliderH.BGTexture, 0);   // from SCROLLSLIDERV
    EXPECT_EQ(c.ExBorder, -1);                 // the shadows of acSHDA/acSHDI serve instead
    // Every picture cut from the master bitmap lies inside it.
    for (const TsMaskData& m : sm.ma) {
        const TPixelImage* img = m.Bmp ? m.Bmp.get() : sm.MasterBitmap.get();
        EXPECT_LE(m.R.Right, img->Width()) << m.SectionName << "." << m.PropertyName;
        EXPECT_LE(m.R.Bottom, img->Height()) << m.SectionName << "." << m.PropertyName;
    }
}

TEST_F(OwnSkin, EveryKindOfPictureIsThere)
{
    const int glow = sm.GetMaskIndexByName("BUTTON", "GLOW0");
    ASSERT_GE(glow, 0);
    EXPECT_EQ(sm.ma[size_t(glow)].ImgType, itisaGlow);
    EXPECT_EQ(sm.ma[size_t(glow)].Bmp->BitsPerPixel(), 32);
    EXPECT_GE(sm.GetMaskIndexByName("GLOBALINFO", "BICONCLOSEGLOW0"), 0);
    // Every section with a GLOW value that buttons use has its halo mask.
    for (const char* section : {"BUTTON", "SPEEDBUTTON"}) {
        SCOPED_TRACE(section);
        EXPECT_GE(sm.gd[size_t(Section(section))].GlowCount, 1);
        EXPECT_GE(sm.GetMaskIndexByName(section, "GLOW0"), 0);
    }
    EXPECT_GE(sm.GetPatternIndex(Section("FORM"), "FORM", "PATTERN"), 0);           // large JPEG
    EXPECT_GE(sm.GetTextureIndex(Section("PANEL_LOW"), "PANEL_LOW", "HOTPATTERN"), 0);   // small JPEG
    EXPECT_GE(sm.GetTextureIndex(Section("MDIAREA"), "MDIAREA", "PATTERN"), 0);     // tile of the master
    EXPECT_GE(sm.GetMaskIndexByName("DRAGBAR", "BORDERSMASK"), 0);                  // "#" form
    EXPECT_GE(sm.GetMaskIndexByName("SPLITTER", "BORDERSMASK"), 0);                 // bitmap file form
    const TsGeneralData& title = sm.gd[size_t(Section("FORMTITLE"))];
    ASSERT_FALSE(title.GradientArray.empty());
    EXPECT_EQ(title.GradientArray[0].Mode, 0);
    EXPECT_EQ(sm.gd[size_t(Section("PROGRESSH"))].GradientArray[0].Mode, 1);
    EXPECT_EQ(sm.gd[size_t(Section("BARTITLE"))].GradientArray[0].Mode, 2);
    EXPECT_TRUE(sm.gd[size_t(Section("BUTTON"))].FadingEnabled);
    EXPECT_EQ(sm.gd[size_t(Section("SPEEDBUTTON_SMALL"))].Color, sm.gd[size_t(Section("BUTTON"))].Color);
}

TEST_F(OwnSkin, HotButtonBorderIsTheAccent)
{
    const int b = sm.gd[size_t(Section("BUTTON"))].BorderIndex;
    TPixelImage pic = skintest::Picture(40, 24, 32, 0x3B302B);
    DrawMaskRect(pic.View(), {0, 0, 40, 24}, true, EmptyCacheInfo(), sm.ma[size_t(b)], 1, false);
    EXPECT_EQ(skintest::Px(pic.View(), 20, 0), 0xD9904A);    // the accent, 74 144 217
    const TColor corner = skintest::Px(pic.View(), 0, 0);     // rounded: mostly the background
    EXPECT_LT(std::abs((corner & 0xFF) - 0x2B), std::abs((corner & 0xFF) - 0x4A));
}

TEST_F(OwnSkin, ShadowPicturesMakeTheExtendedBorders)
{
    const std::string dir = tw::ExtractFilePath(TW_SKIN_ARCHIVE);
    auto load = [&](const std::string& name) {
        tw::TFileStream f(dir + name, tw::fmOpenRead);
        std::vector<uint8_t> bytes(size_t(f.Size()));
        f.ReadBuffer(bytes.data(), int64_t(bytes.size()));
        return std::shared_ptr<const TPixelImage>(LoadPngPicture(bytes.data(), bytes.size()));
    };
    sm.ShadowActive = load("acSHDA.png");
    sm.ShadowInactive = load("acSHDI.png");
    EXPECT_EQ(sm.ShadowActive->BitsPerPixel(), 32);
    static skintest::TLayeredAnnouncer layered;   // outlives the manager
    sm.Announcer = &layered;
    sm.SetExtendedBorders(true);
    sm.UpdateCommonIndexes();
    EXPECT_EQ(sm.ExtBorderMargins, (TRect{11, 7, 11, 11}));
    EXPECT_EQ(sm.ExtBorderActive->Width(), sm.ShadowActive->Width());
}

#endif
