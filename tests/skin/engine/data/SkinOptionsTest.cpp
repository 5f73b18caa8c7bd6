// The options file into the skin tables: inheritance, mask forms, textures,
// pictures by name, and the faults of broken skins.
#include <gtest/gtest.h>

#include <clocale>

#include "tests/skin/engine/SkinTestSupport.h"
#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/BorderPainting.h"
#include "tests/skin/engine/PngBuilder.h"
#include "tests/support/TsBuilder.h"

using namespace skin;
using skintest::Picture;

namespace {

// Loads an options text with the given packed pictures.
struct TLoaded {
    TsSkinManager sm;
    skintest::TPackedSkin pack;
    void Load(const std::string& text) { pack.Attach(sm); LoadSkinTables(sm, &text); }
    const TsGeneralData& Section(const std::string& name)
    {
        const int i = sm.GetSkinIndex(name);
        EXPECT_GE(i, 0) << name;
        return sm.gd.at(size_t(i));
    }
    const TsMaskData* Mask(const std::string& section, const std::string& key)
    {
        const int i = sm.GetMaskIndexByName(section, key);
        return i < 0 ? nullptr : &sm.ma[size_t(i)];
    }
};

} // namespace

TEST(SkinOptions, SectionsInheritThroughTheirParent)
{
    TLoaded s;
    s.Load("[PANEL]\nCOLOR=$00FF00\nFONTCOLOR=$123\nSHOWFOCUS=true\n"
           "[BUTTON]\nPARENTCLASS=PANEL\nSHOWFOCUS=1\n"
           "[EDIT]\nPARENTCLASS=PANEL\nCOLOR=-1\nGRADIENTDATA=1;2;3;0;0\n"
           "[SELF]\nPARENTCLASS=SELF\n"
           "[HEX]\nCOLOR=0x0000FF\nFADINGITERATIONS=abc\n");
    EXPECT_EQ(s.Section("BUTTON").Color, 0x00FF00);
    EXPECT_EQ(s.Section("BUTTON").FontColor[0], 0x123);
    EXPECT_EQ(s.Section("BUTTON").ParentClass, "PANEL");
    EXPECT_TRUE(s.Section("PANEL").ShowFocus);
    EXPECT_FALSE(s.Section("BUTTON").ShowFocus);
    EXPECT_EQ(s.Section("EDIT").Color, 0x00FF00);
    ASSERT_EQ(s.Section("EDIT").GradientArray.size(), 1u);
    EXPECT_EQ(s.Section("SELF").Color, 0xFFFFFF);
    EXPECT_EQ(s.Section("SELF").FontColor[1], -1);
    EXPECT_EQ(s.Section("SELF").GradientData, " ");
    EXPECT_TRUE(s.Section("SELF").GradientArray.empty());
    EXPECT_EQ(s.Section("HEX").Color, 0x0000FF);
    EXPECT_EQ(s.Section("HEX").FadingIterations, 5);
}

TEST(SkinOptions, ParentLoopsEndAtTheDepthBound)
{
    TLoaded s;
    s.Load("[A]\nPARENTCLASS=B\n[B]\nPARENTCLASS=A\nX=@0000@0000@0002@0002@1@0\n");
    EXPECT_EQ(s.Section("A").Color, 0xFFFFFF);
    EXPECT_EQ(s.sm.GetMaskIndex(s.sm.GetSkinIndex("A"), "A", "Y"), -1);
    EXPECT_EQ(s.sm.GetMaskIndex(s.sm.GetSkinIndex("A"), "A", "X"), 0);   // found one level up
    EXPECT_EQ(s.sm.ReadInheritedString("A", "NOWHERE", "d"), "d");
}

TEST(SkinOptions, GlobalInfoDefaultsAndVersionWithADot)
{
    // Whatever the system's decimal separator: "." is the separator.
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    TLoaded s;
    s.Load("[GLOBALINFO]\nVERSION=12.5\nTITLEHEIGHT=22\nMAXHEIGHT=0\nSHADOW1BLUR=$3\n");
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_DOUBLE_EQ(s.sm.SkinData.Version, 12.5);
    EXPECT_EQ(s.sm.SkinData.MaxHeight, 22);
    EXPECT_EQ(s.sm.SkinData.BorderWidth, 4);
    EXPECT_EQ(s.sm.SkinData.Shadow1Blur, 3);
    TLoaded d;
    d.Load("[GLOBALINFO]\nVERSION=1,5\n");
    EXPECT_DOUBLE_EQ(d.sm.SkinData.Version, 0.0);
    EXPECT_EQ(d.sm.SkinData.TitleHeight, 30);
    EXPECT_EQ(d.sm.SkinData.MaxHeight, 30);
    EXPECT_EQ(d.sm.SkinData.Shadow1Blur, -1);
    // Infinity or "not a number" is no version either: "inf" would claim a
    // skin newer than every program.
    for (const char* v : {"inf", "INF", "-inf", "nan", "infinity", "1e999", "-1e999"}) {
        TLoaded n;
        n.Load(std::string("[GLOBALINFO]\nVERSION=") + v + "\n");
        EXPECT_EQ(n.sm.SkinData.Version, 0.0) << v;
    }
}

TEST(SkinOptions, FixedMaskFormsByPosition)
{
    TLoaded s;
    s.pack.Files["MASTER.BMP"] = skintest::BmpFile(Picture(260, 260, 24, 0x405060).View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n"
           "[B]\nBORDERSMASK=^0181^0202^0205^0250^0004^0004^0004^0004^1^1^1^1\n"
           "GLYPHMASK=@0112@0204@0160@0240@3@1\n"
           "T24=~0205~0217~0207~0219~10\n"
           "T25=~0205~0217~0207~0219~10~1\n"
           "ZERO=^0000^0000^0009^0012^0000^0000^0000^0000^0^0^0^0\n");
    const TsMaskData* b = s.Mask("B", "BORDERSMASK");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->R, (TRect{181, 202, 205, 250}));
    EXPECT_EQ(b->WL, 4);
    EXPECT_EQ(b->StretchMode, 1);
    EXPECT_EQ(b->ImgType, itisaBorder);
    const TsMaskData* g = s.Mask("B", "GLYPHMASK");
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->ImageCount, 3);
    EXPECT_EQ(g->MaskType, 1);
    EXPECT_EQ(MaskFrameWidth(*g), 16);
    EXPECT_EQ(MaskFrameHeight(*g), 18);
    EXPECT_EQ(s.Mask("B", "T24")->MaskType, 0);
    EXPECT_EQ(s.Mask("B", "T25")->MaskType, 1);
    EXPECT_EQ(s.Mask("B", "T25")->StretchMode, 10);
    const TsMaskData* z = s.Mask("B", "ZERO");  // ImageCount 0 and no widths: no division by zero
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(z->WL, 3);
    EXPECT_EQ(z->WT, 4);
    EXPECT_EQ(MaskFrameWidth(*z), 0);
    TsMaskData minus;
    minus.MaskType = -1;
    minus.R = {0, 0, 4, 4};
    EXPECT_EQ(MaskFrameHeight(minus), 0);
}

TEST(SkinOptions, RectanglesTurnedInsideOutAreRefused)
{
    // A bottom above its top (or a right left of its left) names no piece
    // of the master bitmap; painted, such a mask made the painters reach
    // rows above the picture.
    TLoaded s;
    // The upper half holds the colour, the lower half the transparency
    // band: 0 there shows the colour alone.
    TPixelImage master = Picture(24, 12, 24, 0x405060);
    for (int y = 6; y < 12; ++y)
        for (int x = 0; x < 24; ++x) skintest::SetPx(master.View(), x, y, 0);
    s.pack.Files["master.bmp"] = skintest::BmpFile(master.View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n"
           "[BUTTON]\nBORDER=^0000^0005^0010^0000^0002^0002^0002^0002^1^1^1^1\n"
           "WIDE=^0010^0000^0000^0006^0002^0002^0002^0002^1^1^1^1\n"
           "GLYPH=@0000@0008@0012@0002@3@1\n"
           "RECT=R# (0,5,10,0) (1,1)\n"
           "FLAT=^0000^0004^0012^0004^0000^0000^0000^0000^1^1^1^1\n"
           "GOOD=^0000^0000^0012^0012^0002^0002^0002^0002^1^1^1^1\n");
    EXPECT_EQ(s.Mask("BUTTON", "BORDER"), nullptr);
    EXPECT_EQ(s.Mask("BUTTON", "WIDE"), nullptr);
    EXPECT_EQ(s.Mask("BUTTON", "GLYPH"), nullptr);
    EXPECT_EQ(s.Mask("BUTTON", "RECT"), nullptr);
    EXPECT_NE(s.Mask("BUTTON", "FLAT"), nullptr);   // empty is not inside out
    ASSERT_NE(s.Mask("BUTTON", "GOOD"), nullptr);
    EXPECT_EQ(s.sm.ma.size(), 2u);
    // What was kept paints inside its pictures in every state: the border
    // of GOOD (two pixels wide, no centre) in the colour of the upper half;
    // the glyph stays left of column 9 and above row 8; FLAT has no rows.
    TPixelImage dst = Picture(20, 14, 32, 0xAAAAAA), bg = Picture(20, 14, 24, 0x111111);
    for (const TsMaskData& m : s.sm.ma)
        for (int state = 0; state < 4; ++state) {
            DrawMaskRect(dst.View(), {-2, -1, 19, 15}, true, MakeCacheInfo(bg.View(), 1, 1), m, state, true);
            DrawMaskGlyph(dst.View(), {-3, 2}, state, state, m, EmptyCacheInfo());
        }
    EXPECT_EQ(skintest::Px(dst.View(), 15, 0), 0x405060);   // top side
    EXPECT_EQ(skintest::Px(dst.View(), 18, 10), 0x405060);  // right side
    EXPECT_EQ(skintest::Px(dst.View(), 12, 13), 0x405060);  // bottom side
    EXPECT_EQ(skintest::Px(dst.View(), 12, 10), 0xAAAAAA);  // no centre
    EXPECT_EQ(skintest::Px(dst.View(), 10, 4), 0xAAAAAA);   // beside the glyph
}

TEST(SkinOptions, PictureFilesAndTheRectForm)
{
    TLoaded s;
    TPixelImage pic = Picture(18, 12, 24, 0x00FF00);
    s.pack.Files["Glow.bmp"] = skintest::BmpFile(pic.View());
    s.pack.Files["master.bmp"] = skintest::BmpFile(Picture(40, 30, 24, 0x010203).View());
    s.pack.Files["Tex.jpg"] = skintest::JpegFile(299, 300, 0x808080);
    s.pack.Files["Big.jpg"] = skintest::JpegFile(300, 300, 0x808080);
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n"
           "[S]\nA=!GLOW.BMP!1!0!3!0018!0018!0018!0018\n"
           "B=!GLOW.BMP!3!1!7\n"
           "C=!glow.bmp!1!0!3\n"
           "D=R# (1,2,3,4) (0,-1)\n"
           "E=glow.bmp\n"
           "PATTERN=tex.jpg\nHOTPATTERN=BIG.JPG\n"
           "FADINGINTERVALIN=200\nSUID=5\n");
    EXPECT_EQ(s.sm.MasterBitmap->Width(), 40);
    const TsMaskData* a = s.Mask("S", "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->ImgType, itisaGlow);
    EXPECT_EQ(a->WB, 18);
    EXPECT_EQ(a->StretchMode, 4);
    EXPECT_EQ(a->R, (TRect{0, 0, 18, 12}));
    const TsMaskData* b = s.Mask("S", "B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->ImgType, itisaPngGlyph);
    EXPECT_EQ(b->WL, 2);   // 18 div (3 * 3)
    EXPECT_EQ(b->WT, 2);   // 12 div (2 * 3)
    EXPECT_EQ(s.Mask("S", "C"), nullptr);   // the "!" name is compared as written
    const TsMaskData* d = s.Mask("S", "D");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->R, (TRect{1, 2, 3, 4}));
    EXPECT_EQ(d->ImageCount, 1);
    EXPECT_EQ(d->MaskType, 0);
    EXPECT_EQ(d->StretchMode, 1);
    const TsMaskData* e = s.Mask("S", "E");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->ImageCount, 3);
    EXPECT_EQ(e->WL, 2);
    const int t = s.sm.GetTextureIndex(s.sm.GetSkinIndex("S"), "S", "PATTERN");
    ASSERT_GE(t, 0);
    EXPECT_EQ(s.sm.ma[size_t(t)].Bmp->Width(), 299);
    EXPECT_EQ(s.sm.GetPatternIndex(s.sm.GetSkinIndex("S"), "S", "HOTPATTERN"), 0);
    EXPECT_EQ(s.sm.pa.size(), 1u);
    EXPECT_EQ(s.sm.ma.size(), 5u);   // the numeric keys leave no trace
}

TEST(SkinOptions, FolderSkinPicturesBesideTheOptions)
{
    // Names read from a skin are taken in capitals: the folders are named so.
    const std::string top = tw::IncludeTrailingPathDelimiter(tw::test::UniqueTempName("skinfolder", ""));
    const std::string dir = top + "SKIN/";
    ASSERT_TRUE(tw::ForceDirectories(dir + "SUB"));
    const std::string bmp = skintest::BmpFile(Picture(9, 6, 24, 0x0000FF).View());
    for (const std::string& name : {dir + "PIC.BMP", top + "OUT.BMP"}) {
        tw::TFileStream f(name, tw::fmCreate);
        f.WriteBuffer(bmp.data(), int64_t(bmp.size()));
    }
    TsSkinManager sm;
    sm.SkinPath = dir;
    // The same picture beside the folder: a skin cannot reach it by a climb
    // out of its folder or by a path of its own.
    const std::string text = "[S]\nM=pic.bmp\nN=missing.bmp\nUP=../OUT.BMP\nUPB=SUB\\..\\..\\OUT.BMP\nABS=" + top +
                             "OUT.BMP\nDRIVE=Z:" + top + "OUT.BMP\n";
    LoadSkinTables(sm, &text);
    EXPECT_GE(sm.GetMaskIndexByName("S", "M"), 0);
    EXPECT_EQ(sm.GetMaskIndexByName("S", "N"), -1);
    for (const char* key : {"UP", "UPB", "ABS", "DRIVE"})
        EXPECT_EQ(sm.GetMaskIndexByName("S", key), -1) << key;
    tw::RemoveFile(dir + "PIC.BMP");
    tw::RemoveFile(top + "OUT.BMP");
}

TEST(SkinOptions, ExtraSectionsFillWhatTheSkinLacks)
{
    TLoaded s;
    s.sm.CommonSections = {"[PANEL]", "COLOR=1", "[MYPANEL]", "PARENTCLASS=panel", "GLOW=-1", "[LONE]"};
    s.Load("[PANEL]\nCOLOR=$334455\nGLOW=3\n");
    EXPECT_EQ(s.Section("PANEL").Color, 0x334455);
    EXPECT_EQ(s.Section("MYPANEL").Color, 0x334455);
    EXPECT_EQ(s.Section("MYPANEL").GlowCount, 3);
    EXPECT_EQ(s.Section("LONE").ParentClass, "-1");
    EXPECT_EQ(s.Section("LONE").Color, 0xFFFFFF);
}

TEST(SkinOptions, FailuresLeaveTheLoadingFlagCleared)
{
    TsSkinManager sm;
    EXPECT_THROW(LoadSkinTables(sm, nullptr), EInvalidSkin);   // no "Options.dat"
    EXPECT_FALSE(sm.Loading());
    const std::string bad = "[GLOBALINFO]\nSHADOW1OFFSET=abc\n";
    EXPECT_THROW(LoadSkinTables(sm, &bad), tw::EConvertError);
    EXPECT_FALSE(sm.Loading());
    EXPECT_EQ(sm.SkinIni, nullptr);
    const std::string hash = "[GLOBALINFO]\nDESCRIPTION=Skin #1\n";   // any "#" value is the rect form
    EXPECT_THROW(LoadSkinTables(sm, &hash), tw::EConvertError);
    const std::string fine = "[X]\nCOLOR=1\n";
    LoadSkinTables(sm, &fine);
    EXPECT_FALSE(sm.Loading());
    EXPECT_EQ(sm.gd.size(), 1u);
}

namespace {

// A 32-bit RGBA PNG of one opaque colour (r, g, b), as skins keep masks.
std::string RgbaPng(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b)
{
    using namespace skin::test;
    Bytes rows;
    for (uint32_t y = 0; y < h; ++y) {
        rows.push_back(0);   // no filter
        for (uint32_t x = 0; x < w; ++x) rows.insert(rows.end(), {r, g, b, 255});
    }
    const Bytes f = Png(Ihdr(w, h, 8, 6), rows);
    return std::string(f.begin(), f.end());
}

} // namespace

TEST(SkinOptions, MaskTypesAndFrameCountsOutsideTheFormatAreBoundedAndPaintable)
{
    // A mask type of -1 made the button painter divide by zero; one of
    // 65535 wrapped to -1 in 16 bits. Negative ones read as a plain picture
    // (no mask half), negative frame counts as none given.
    TLoaded s;
    s.pack.Files["B.BMP"] = skintest::BmpFile(Picture(12, 12, 24, 0x00FF00).View());
    s.Load("[S]\nM1=!B.BMP!1!-1!0!0002!0002!0002!0002\n"
           "WRAP=!B.BMP!1!65535!0!0002!0002!0002!0002\n"
           "NEG=!B.BMP!-3!-9!0\n"
           "HUGE=!B.BMP!70000!70000!0\n");
    for (const char* key : {"M1", "WRAP", "NEG", "HUGE"}) {
        const TsMaskData* m = s.Mask("S", key);
        ASSERT_NE(m, nullptr) << key;
        EXPECT_GE(m->MaskType, 0) << key;
        EXPECT_GE(m->ImageCount, 0) << key;
        TPixelImage button = Picture(8, 6, 24, 0x111111);
        TRectList cut;
        DrawButtonMask(button.View(), &cut, true, *m, 2);
        GetMaskTransRects(cut, 8, *m, 0, true);
        DrawMaskRect(button.View(), {0, 0, 8, 6}, true, EmptyCacheInfo(), *m, 1, true);
        DrawMaskGlyph(button.View(), {0, 0}, 1, 1, *m, EmptyCacheInfo());
    }
    EXPECT_EQ(s.Mask("S", "M1")->MaskType, 0);
    EXPECT_EQ(s.Mask("S", "WRAP")->MaskType, 32767);
    EXPECT_EQ(s.Mask("S", "NEG")->ImageCount, 0);
    // Bounded to a plain one-frame picture, the corner is the picture's.
    TPixelImage button = Picture(8, 6, 24, 0x111111);
    DrawButtonMask(button.View(), nullptr, false, *s.Mask("S", "M1"), 0);
    EXPECT_EQ(skintest::Px(button.View(), 0, 0), 0x00FF00);
    EXPECT_EQ(skintest::Px(button.View(), 7, 5), 0x00FF00);
    EXPECT_EQ(skintest::Px(button.View(), 4, 3), 0x111111);   // not filling: the centre stays
}

TEST(SkinOptions, RectFormCountsBeyondSixteenBitsStopAtTheLimit)
{
    // 65536 frames and mask type 65535 kept in 16 bits would wrap to 0 and
    // -1: no frame at all and a frame height divided by zero.
    TLoaded s;
    s.pack.Files["master.bmp"] = skintest::BmpFile(Picture(12, 12, 24, 0x00FF00).View());
    s.Load("[GLOBALINFO]\nMASTERBITMAP=MASTER.BMP\n"
           "[S]\nW=R# (0,0,12,12) (65536,65535,2)\n"
           "B=R# (0,0,12,12) (1,0,65535)\n");
    const TsMaskData* m = s.Mask("S", "W");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->ImageCount, 32767);
    EXPECT_EQ(m->MaskType, 32767);
    EXPECT_EQ(m->WL, 2);   // the border width, as given
    // A border width of 65535 is not one of -1 either.
    ASSERT_NE(s.Mask("S", "B"), nullptr);
    EXPECT_EQ(s.Mask("S", "B")->BorderWidth, 32767);
    // 32767 frames of a 12-pixel picture have no width and no height: only
    // the two-pixel corner at the frame's start lies in the picture; the
    // other pieces, the sides and the centre leave the button as it was.
    TPixelImage button = Picture(8, 6, 24, 0x111111);
    DrawButtonMask(button.View(), nullptr, true, *m, 0);
    EXPECT_EQ(skintest::Px(button.View(), 0, 0), 0x00FF00);
    EXPECT_EQ(skintest::Px(button.View(), 1, 5), 0x111111);
    EXPECT_EQ(skintest::Px(button.View(), 7, 0), 0x111111);
    EXPECT_EQ(skintest::Px(button.View(), 4, 3), 0x111111);
    EXPECT_EQ(skintest::Px(button.View(), 4, 0), 0x111111);
    // With a band of no height the corner is its own transparency: green
    // 255 over 0x11 gives (255 * 1 + 0x11 * 255) >> 8 = 0x11, red and blue 0.
    TPixelImage rect = Picture(8, 6, 24, 0x111111);
    DrawMaskRect(rect.View(), {0, 0, 8, 6}, true, EmptyCacheInfo(), *m, 0, true);
    EXPECT_EQ(skintest::Px(rect.View(), 0, 0), 0x001100);
    EXPECT_EQ(skintest::Px(rect.View(), 7, 5), 0x111111);
    EXPECT_EQ(skintest::Px(rect.View(), 4, 3), 0x111111);
    EXPECT_EQ(skintest::Px(rect.View(), 4, 0), 0x111111);
}

TEST(SkinOptions, StoredMasksWithANegativeMaskTypeAreBounded)
{
    DefaultManager = nullptr;
    TsSkinManager sm;
    sm.SetSkinDirectory("/nonexistent-skin-folder");
    TsStoredSkin& st = sm.InternalSkins.Add();
    st.SetName("S");
    st.MasterBitmap = Picture(12, 12, 24, 0x0000FF);
    TsSkinImage& item = st.Images.Add();
    item.SectionName = "BUTTON";
    item.PropertyName = "BORDERSMASK";
    item.Right = 12;
    item.Bottom = 12;
    item.ImageCount = 1;
    item.MaskType = -1;
    sm.SetSkinName("S");
    const int i = sm.GetMaskIndexByName("BUTTON", "BORDERSMASK");
    ASSERT_GE(i, 0);
    EXPECT_EQ(sm.ma[size_t(i)].MaskType, 0);
    TPixelImage button = Picture(9, 9, 24, 0x111111);
    DrawButtonMask(button.View(), nullptr, false, sm.ma[size_t(i)], 0);
    EXPECT_EQ(skintest::Px(button.View(), 0, 0), 0x0000FF);
}

TEST(SkinOptions, PngMasksKeepTheirDepthAndStillFrameButtons)
{
    // A "!" PNG mask stays 32 bits; the button painter reads its colour
    // channels like those of a 24-bit picture.
    TLoaded s;
    s.pack.Files["BTN.PNG"] = RgbaPng(6, 6, 0x30, 0x60, 0x90);
    s.Load("[BUTTON]\nBORDERSMASK=!BTN.PNG!1!0!0!0002!0002!0002!0002\n");
    const TsMaskData* m = s.Mask("BUTTON", "BORDERSMASK");
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->Bmp->BitsPerPixel(), 32);
    TPixelImage button = Picture(10, 8, 24, 0x111111);
    TRectList cut;
    DrawButtonMask(button.View(), &cut, true, *m, 0);
    const TColor rgb = 0x906030;   // $00BBGGRR of r 0x30, g 0x60, b 0x90
    EXPECT_EQ(skintest::Px(button.View(), 0, 0), rgb);       // corner
    EXPECT_EQ(skintest::Px(button.View(), 5, 0), rgb);       // top side
    EXPECT_EQ(skintest::Px(button.View(), 9, 7), rgb);       // corner
    EXPECT_EQ(skintest::Px(button.View(), 5, 4), rgb);       // centre (StretchMode 4)
    EXPECT_TRUE(cut.empty());
}
