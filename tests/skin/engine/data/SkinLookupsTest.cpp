// Look-ups of a loaded skin and the whole-skin colour transforms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/SkinColors.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

TEST(SkinColours, SaturationAndHueByHand)
{
    // m = 150: red 100 - 49 * 0.5 = 75.5 -> 76; blue 200 + 24.5 -> 224.
    EXPECT_EQ(ChangeSaturation(100 | 150 << 8 | 200 << 16, -49), 76 | 150 << 8 | 224 << 16);
    EXPECT_EQ(ChangeSaturation(clSysBtnFace, 0), clSysBtnFace);
    EXPECT_EQ(ChangeHue(120, 0x0000FF), 0x00FF00);
    EXPECT_EQ(ChangeHue(-120, 0x0000FF), 0xFF0000);
    EXPECT_EQ(ChangeHue(77, 0x808080), 0x808080);
}

TEST(SkinColours, SkinSaturationSparesKeyAndGrey)
{
    TsSkinManager sm;
    sm.Saturation = 150;   // acts as -49
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 2, 24, 0x808080));
    SetPx(sm.MasterBitmap->View(), 0, 0, clKeyColor);
    SetPx(sm.MasterBitmap->View(), 1, 0, 100 | 150 << 8 | 200 << 16);
    const std::string text = "[S]\nCOLOR=$C89664\nFONTCOLOR=-1\nGRADIENTDATA=$C89664;0;100;0;0\n";
    skintest::TPackedSkin none;
    none.Attach(sm);
    // The master bitmap is read by the load; fill it again afterwards and transform by hand.
    LoadSkinTables(sm, &text);
    EXPECT_EQ(sm.gd[0].Color, 76 | 150 << 8 | 224 << 16);
    EXPECT_EQ(sm.gd[0].GradientArray[0].Color1, 76 | 150 << 8 | 224 << 16);
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 2, 24, 0x808080));
    SetPx(sm.MasterBitmap->View(), 0, 0, clKeyColor);
    SetPx(sm.MasterBitmap->View(), 1, 0, 100 | 150 << 8 | 200 << 16);
    sm.ChangeSkinSaturation(-30);   // amount 30 towards grey: 100 + 15 = 115, 200 - 15 = 185
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 0), 115 | 150 << 8 | 185 << 16);
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 0, 0), clKeyColor);
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 1), 0x808080);
    // Saturation and hue leave a grey as it is in any case, so the rule that
    // spares grey pixels shows only in the pixel walk both transforms use,
    // given a change that would move every colour: it must not be handed a
    // key or a grey pixel, in 24 bits (the master bitmap) or in 32 bits (a
    // mask's own picture, whose alpha stays).
    for (int bits : {24, 32}) {
        TPixelImage pic = Picture(4, 1, bits, 0x808080);
        SetPx(pic.View(), 0, 0, clKeyColor);
        SetPx(pic.View(), 1, 0, 0x302010, 77);
        SetPx(pic.View(), 3, 0, 0x000000);
        std::vector<TColor> handed;
        ChangePixelColours(pic.View(), [&](TColor c) {
            handed.push_back(c);
            return c ^ 0xFFFFFF;
        });
        EXPECT_EQ(handed, std::vector<TColor>{0x302010}) << bits;
        EXPECT_EQ(Px(pic.View(), 0, 0), clKeyColor) << bits;
        EXPECT_EQ(Px(pic.View(), 1, 0), 0xCFDFEF) << bits;
        EXPECT_EQ(Px(pic.View(), 2, 0), 0x808080) << bits;
        EXPECT_EQ(Px(pic.View(), 3, 0), 0x000000) << bits;
        if (bits == 32) EXPECT_EQ(skintest::Alpha(pic.View(), 1, 0), 77);
    }
}

TEST(SkinColours, HueKeepsTheCloseIconWhenAsked)
{
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(4, 2, 24, 0x0000FF).View());
    pack.Attach(sm);
    const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nBIKEEPHUE=2\nBICONCLOSE=@0000@0000@0002@0001@1@0\n";
    LoadSkinTables(sm, &text);
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(4, 2, 24, 0x0000FF));
    sm.ChangeSkinHue(120);
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 0), 0x0000FF);   // inside the kept icon
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 2, 0), 0x00FF00);
}

TEST(SkinColours, HueKeepsTheOtherTitleIconsOnlyForOne)
{
    // The close icon in the top row, the maximize icon below it: 0 keeps
    // neither, 1 keeps both, any other value the close icon alone.
    for (int keep : {0, 1, 2}) {
        TsSkinManager sm;
        skintest::TPackedSkin pack;
        pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(4, 2, 24, 0x0000FF).View());
        pack.Attach(sm);
        const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nBIKEEPHUE=" + std::to_string(keep) +
                                 "\nBICONCLOSE=@0000@0000@0002@0001@1@0\nBICONMAX=@0000@0001@0002@0002@1@0\n";
        LoadSkinTables(sm, &text);
        sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(4, 2, 24, 0x0000FF));
        sm.ChangeSkinHue(120);
        EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 0), keep != 0 ? 0x0000FF : 0x00FF00) << keep;
        EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 1), keep == 1 ? 0x0000FF : 0x00FF00) << keep;
        EXPECT_EQ(Px(sm.MasterBitmap->View(), 2, 1), 0x00FF00) << keep;
    }
}

TEST(SkinLookups, ColoursAndIndexes)
{
    TsSkinManager sm;
    EXPECT_EQ(sm.GetGlobalColor(), ColorToRGB(clSysBtnFace));
    skintest::TPackedSkin pack;   // a master bitmap that holds every rectangle below
    pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(8, 4, 24, 0x102030).View());
    pack.Attach(sm);
    const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nCOLOR=$202020\nFONTCOLOR=$C0C0C0\nBOXCHECKED=@0000@0000@0003@0001@3@0\n"
                             "EXBORDER=^0000^0000^0006^0002^0002^0002^0002^0002^2^0^0^0\n"
                             "[MENUITEM]\nHOTCOLOR=$FFFFFF\nHOTFONTCOLOR=$00FF00\n"
                             "[TABTOP]\nBORDERSMASK=^0000^0000^0003^0003^0001^0001^0001^0001^1^0^0^0\n"
                             "[COMBOBOX]\nGLYPHMASK=@0000@0000@0003@0001@3@0\n";
    LoadSkinTables(sm, &text);
    EXPECT_EQ(sm.GetGlobalColor(), 0x202020);
    EXPECT_EQ(sm.GetGlobalFontColor(), 0xC0C0C0);
    EXPECT_EQ(sm.GetHighlightColor(), ColorToRGB(clSysHighlight));
    EXPECT_EQ(sm.GetHighlightFontColor(), ColorToRGB(clSysHighlightText));
    EXPECT_EQ(sm.GetEditHotFontColor(), clKeyColor);
    EXPECT_GE(sm.ConstData.CheckBoxChecked, 0);
    EXPECT_EQ(sm.ConstData.RadioButtonChecked, -1);
    EXPECT_GE(sm.ConstData.MaskTabTop, 0);
    EXPECT_GE(sm.ConstData.ComboGlyph, 0);
    EXPECT_EQ(sm.gd[size_t(sm.GetSkinIndex("TABTOP"))].BorderIndex, sm.ConstData.MaskTabTop);
    EXPECT_EQ(sm.MaskWidthLeft(sm.ConstData.ExBorder), 2);
    EXPECT_EQ(sm.GetMaskFrameSize(sm.ConstData.CheckBoxChecked).X, 1);

    static skintest::TLayeredAnnouncer layered;   // outlives the manager
    sm.Announcer = &layered;
    sm.SetExtendedBorders(true);
    sm.SkinData.FormOffset = 1;
    sm.UpdateExtBorderImages();
    EXPECT_EQ(sm.ExtBorderMargins, (TRect{1, 1, 1, 1}));
    EXPECT_EQ(sm.ExtBorderActive->Width(), 3);
    EXPECT_EQ(sm.ExtBorderActive->BitsPerPixel(), 32);
}

TEST(SkinLookups, BuiltInShadowMarginsGrowByOneUnderDesktopComposition)
{
    struct TComposing : skintest::TLayeredAnnouncer {
        bool Composition = false;
        bool CompositionEnabled() const override { return Composition; }
    };
    static TComposing platform;   // outlives the manager
    TsSkinManager sm;
    sm.Announcer = &platform;
    const std::string text = "[GLOBALINFO]\nCOLOR=$202020\n";   // no EXBORDER: the built-in shadows
    LoadSkinTables(sm, &text);
    auto shadow = std::make_shared<const TPixelImage>(skintest::Picture(30, 30, 32, 0x101010));
    sm.ShadowActive = sm.ShadowInactive = shadow;
    sm.SetExtendedBorders(true);
    sm.UpdateExtBorderImages();
    EXPECT_EQ(sm.ExtBorderMargins, (TRect{11, 7, 11, 11}));
    platform.Composition = true;
    sm.UpdateExtBorderImages();
    EXPECT_EQ(sm.ExtBorderMargins, (TRect{12, 8, 12, 12}));
    EXPECT_EQ(sm.ExtBorderActive->Width(), 30);
}

// The extended border's margins: BORDERMODE 0 takes each piece width less
// the form offset (3 - 1, 5 - 1, 2 - 1, 4 - 1), any other mode the offset
// on all four sides.
TEST(SkinLookups, ExtendedBorderMarginsFollowTheBorderMode)
{
    static skintest::TLayeredAnnouncer layered;   // outlives the managers
    for (int mode : {0, 1}) {
        TsSkinManager sm;
        skintest::TPackedSkin pack;
        pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(12, 10, 24, 0x102030).View());
        pack.Attach(sm);
        const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nBORDERMODE=" + std::to_string(mode) +
                                 "\nEXBORDER=^0000^0000^0012^0010^0003^0005^0002^0004^1^0^0^0\n";
        LoadSkinTables(sm, &text);
        sm.Announcer = &layered;
        sm.SetExtendedBorders(true);
        sm.SkinData.FormOffset = 1;
        sm.UpdateExtBorderImages();
        EXPECT_EQ(sm.ExtBorderMargins, mode == 0 ? (TRect{2, 4, 1, 3}) : (TRect{1, 1, 1, 1})) << mode;
        // An offset beyond the pieces would put the border inside the form,
        // a huge one make a layered window of that size around it.
        sm.SkinData.FormOffset = 20;
        sm.UpdateExtBorderImages();
        EXPECT_EQ(sm.ExtBorderMargins, mode == 0 ? (TRect{0, 0, 0, 0}) : (TRect{20, 20, 20, 20})) << mode;
        sm.SkinData.FormOffset = 30000;
        sm.UpdateExtBorderImages();
        EXPECT_EQ(sm.ExtBorderMargins, mode == 0 ? (TRect{0, 0, 0, 0}) : (TRect{64, 64, 64, 64})) << mode;
    }
}

// A kept title icon keeps its glow mask too (the icon's name and "GLOW0"),
// whether the glow is cut from the master bitmap or has a picture of its
// own; a glow of an icon that is not kept changes.
TEST(SkinColours, HueKeepsTheGlowOfAKeptIcon)
{
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(4, 3, 24, 0x0000FF).View());
    pack.Files["GLOW.BMP"] = skintest::BmpFile(Picture(3, 2, 24, 0x0000FF).View());
    pack.Attach(sm);
    const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nBIKEEPHUE=2\n"
                             "BICONCLOSEGLOW0=@0000@0001@0002@0002@1@0\nSICONCLOSEGLOW0=!GLOW.BMP!1!0!3\n"
                             "BICONMAXGLOW0=@0000@0002@0002@0003@1@0\n";
    LoadSkinTables(sm, &text);
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(4, 3, 24, 0x0000FF));
    sm.ChangeSkinHue(120);
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 1), 0x0000FF);   // BICONCLOSEGLOW0
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 1, 2), 0x00FF00);   // BICONMAXGLOW0, not kept under 2
    EXPECT_EQ(Px(sm.MasterBitmap->View(), 3, 1), 0x00FF00);   // outside every mask
    const int own = sm.GetMaskIndex(sm.GetSkinIndex("GLOBALINFO"), "GLOBALINFO", "SICONCLOSEGLOW0");
    ASSERT_GE(own, 0);
    EXPECT_EQ(Px(sm.ma[size_t(own)].Bmp->View(), 1, 1), 0x0000FF);
}

// The frame of a mask with a picture of its own is a third of the picture's
// width and half its height, whatever its image count and mask type say; a
// mask cut from the master bitmap has its frame from those.
TEST(SkinLookups, FrameSizeOfAMaskWithItsOwnPicture)
{
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(12, 8, 24, 0x102030).View());
    pack.Files["GLYPH.BMP"] = skintest::BmpFile(Picture(12, 8, 24, 0x102030).View());
    pack.Attach(sm);
    const std::string text = "[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\nOWN=!GLYPH.BMP!1!0!2\nCUT=@0000@0000@0012@0008@2@1\n";
    LoadSkinTables(sm, &text);
    const int g = sm.GetSkinIndex("GLOBALINFO");
    EXPECT_EQ(sm.GetMaskFrameSize(sm.GetMaskIndex(g, "GLOBALINFO", "OWN")), (TPoint{4, 4}));
    EXPECT_EQ(sm.GetMaskFrameSize(sm.GetMaskIndex(g, "GLOBALINFO", "CUT")), (TPoint{6, 4}));
}
