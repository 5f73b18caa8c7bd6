// Glyphs of skinned glyph buttons from their own bitmap or an image list:
// where they are drawn (cache or canvas), which path an alpha list takes, and
// that invalid indexes draw nothing.
#include <gtest/gtest.h>

#include <windows.h>

#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/ImageListGlyphs.h"
#include "ui/Application.h"
#include "ui/Graphics.h"
#include "ui/ImgList.h"

namespace skin {
namespace {

uint32_t Rgb(tw::TBitmap& b, int x, int y)
{
    GdiFlush();
    const uint8_t* p = b.ScanLine(y) + x * (b.PixelFormat() == tw::pf32bit ? 4 : 3);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

void Fill(tw::TBitmap& b, tw::TColor c)
{
    b.Canvas().Brush().SetColor(c);
    b.Canvas().FillRect(tw::TRect(0, 0, b.Width(), b.Height()));
    GdiFlush();
}

class TFakeButton : public TsGlyphButton {
public:
    tw::TCustomImageList* List = nullptr;
    int Index = 0;
    tw::TBitmap OwnGlyph;
    int Glyphs = 1, BlendValue = 0, State = 0;
    bool IsGrayed = false, IsDown = false, IsEnabled = true, IsSkinned = true, IsFocused = false;
    unsigned Kind = 0;
    tw::TBitmap Cache{8, 8, tw::pf24bit};

    tw::TCustomImageList* Images() const override { return List; }
    int ImageIndex() const override { return Index; }
    tw::TBitmap* Glyph() override { return &OwnGlyph; }
    int NumGlyphs() const override { return Glyphs; }
    int Blend() const override { return BlendValue; }
    bool Grayed() const override { return IsGrayed; }
    bool Reflected() const override { return false; }
    unsigned DisabledGlyphKind() const override { return Kind; }
    bool Down() const override { return IsDown; }
    bool GlyphEnabled() const override { return IsEnabled; }
    bool Skinned() const override { return IsSkinned; }
    bool GlyphFocused() const override { return IsFocused; }
    tw::TBitmap* CacheBitmap() override { return &Cache; }
    TRect GlyphRect() override { return TRect(2, 2, 6, 6); }
    int CurrentState() override { return State; }
    int ButtonWidth() const override { return 8; }
    int ButtonHeight() const override { return 8; }
};

// An alpha image list that records how it was asked to draw.
class TRecordingAlphaList : public tw::TImageList, public TsAlphaImages {
public:
    using tw::TImageList::TImageList;
    int Calls = 0, LastState = -1;
    bool ToBitmap = false, LastDisabled = false;
    void DrawAlphaImage(int, tw::TBitmap&, TPoint, int state, int, bool, bool disabled) override
    {
        ++Calls, ToBitmap = true, LastState = state, LastDisabled = disabled;
    }
    void DrawAlphaImageDC(int, HDC, TPoint, int state, int, bool, bool disabled) override
    {
        ++Calls, ToBitmap = false, LastState = state, LastDisabled = disabled;
    }
};

// A 4x4 list image: blue with a fuchsia border of one pixel.
void AddBlueSquare(tw::TCustomImageList& list)
{
    list.SetSize(4, 4);
    tw::TBitmap img(4, 4, tw::pf24bit);
    Fill(img, tw::clFuchsia);
    img.Canvas().Brush().SetColor(tw::clBlue);
    img.Canvas().FillRect(tw::TRect(1, 1, 3, 3));
    list.AddMasked(img, tw::clFuchsia);
}

class ImageListGlyphsTest : public ::testing::Test {
protected:
    void SetUp() override { tw::Application->Initialize(); }
};

} // namespace

TEST_F(ImageListGlyphsTest, PlainListFillsKeyColourAndDrawsIntoTheCache)
{
    tw::TImageList list(nullptr);
    AddBlueSquare(list);
    EXPECT_EQ(GetImageCount(&list), 1);
    EXPECT_EQ(GetImageCount(nullptr), 0);

    tw::TBitmap work;
    FillGlyphFromImageList(work, list, 0);
    EXPECT_EQ(work.PixelFormat(), tw::pf24bit);
    EXPECT_EQ(Rgb(work, 0, 0), 0xFF00FFu);
    EXPECT_EQ(Rgb(work, 1, 1), 0x0000FFu);

    TFakeButton b;
    b.List = &list;
    Fill(b.Cache, tw::clGray);
    DrawBtnGlyph(&b, nullptr);
    EXPECT_EQ(Rgb(b.Cache, 3, 3), 0x0000FFu);   // glyph rect starts at (2, 2)
    EXPECT_EQ(Rgb(b.Cache, 2, 2), 0x808080u);   // the key colour stays out

    // An index equal to the count, or -1, draws nothing; so does a null button.
    Fill(b.Cache, tw::clGray);
    for (int index : {1, -1}) {
        b.Index = index;
        DrawBtnGlyph(&b, nullptr);
    }
    DrawBtnGlyph(nullptr, nullptr);
    EXPECT_EQ(Rgb(b.Cache, 3, 3), 0x808080u);
}

TEST_F(ImageListGlyphsTest, UnskinnedButtonDrawsOnItsCanvasWithTheKeyTransparent)
{
    tw::TImageList list(nullptr);
    AddBlueSquare(list);
    TFakeButton b;
    b.List = &list;
    b.IsSkinned = false;
    Fill(b.Cache, tw::clGray);
    tw::TBitmap screen(8, 8, tw::pf24bit);
    Fill(screen, tw::clWhite);
    DrawBtnGlyph(&b, &screen.Canvas());
    EXPECT_EQ(Rgb(screen, 3, 3), 0x0000FFu);
    EXPECT_EQ(Rgb(screen, 2, 2), 0xFFFFFFu);
    EXPECT_EQ(Rgb(b.Cache, 3, 3), 0x808080u);

    // Disabled and grayed: the blue turns grey, the key stays out.
    b.IsEnabled = false;
    b.Kind = dkGrayed;
    Fill(screen, tw::clWhite);
    DrawBtnGlyph(&b, &screen.Canvas());
    const uint32_t grey = Rgb(screen, 3, 3);
    EXPECT_EQ(grey & 0xFF, (grey >> 16) & 0xFF);
    EXPECT_EQ(Rgb(screen, 2, 2), 0xFFFFFFu);
}

TEST_F(ImageListGlyphsTest, AlphaListDrawsItselfWithTheDownStateAndTheRightTarget)
{
    TRecordingAlphaList list(nullptr);
    AddBlueSquare(list);
    TFakeButton b;
    b.List = &list;
    b.State = 1;
    b.IsDown = true;
    DrawBtnGlyph(&b, nullptr);
    EXPECT_EQ(list.Calls, 1);
    EXPECT_TRUE(list.ToBitmap);
    EXPECT_EQ(list.LastState, 2);

    b.IsSkinned = false;
    b.IsDown = false;
    b.IsEnabled = false;
    tw::TBitmap screen(8, 8, tw::pf24bit);
    DrawBtnGlyph(&b, &screen.Canvas());
    EXPECT_EQ(list.Calls, 2);
    EXPECT_FALSE(list.ToBitmap);
    EXPECT_EQ(list.LastState, 1);
    EXPECT_TRUE(list.LastDisabled);
}

TEST_F(ImageListGlyphsTest, OwnGlyphWinsOverTheListAndKeepsItsAlpha)
{
    tw::TImageList list(nullptr);
    AddBlueSquare(list);
    TFakeButton b;
    b.List = &list;
    b.OwnGlyph.SetPixelFormat(tw::pf32bit);
    b.OwnGlyph.SetSize(2, 1);
    auto* row = reinterpret_cast<uint32_t*>(b.OwnGlyph.ScanLine(0));
    row[0] = 0xFF00FF00; // opaque green
    row[1] = 0x00000000; // nothing
    Fill(b.Cache, tw::clGray);
    DrawBtnGlyph(&b, nullptr);
    EXPECT_GE(Rgb(b.Cache, 2, 2), 0x00FD00u);   // the platform's blend may round down
    EXPECT_LE(Rgb(b.Cache, 2, 2), 0x00FF00u);
    EXPECT_EQ(Rgb(b.Cache, 3, 2), 0x808080u);
    EXPECT_EQ(Rgb(b.Cache, 3, 3), 0x808080u); // no list image under it

    // Two glyphs side by side (normal, hot) over a key-coloured bottom row,
    // drawn through a working bitmap onto another canvas: the first one for
    // an enabled button in its normal state.
    b.OwnGlyph.SetPixelFormat(tw::pf24bit);
    b.OwnGlyph.SetSize(4, 3);
    Fill(b.OwnGlyph, tw::clFuchsia);
    b.OwnGlyph.Canvas().Brush().SetColor(tw::clRed);
    b.OwnGlyph.Canvas().FillRect(tw::TRect(0, 0, 2, 2));
    b.OwnGlyph.Canvas().Brush().SetColor(tw::clLime);
    b.OwnGlyph.Canvas().FillRect(tw::TRect(2, 0, 4, 2));
    b.Glyphs = 2;
    tw::TBitmap screen(8, 8, tw::pf24bit);
    Fill(screen, tw::clWhite);
    DrawBtnGlyph(&b, &screen.Canvas());
    EXPECT_EQ(Rgb(screen, 2, 2), 0xFF0000u);
    EXPECT_EQ(Rgb(screen, 2, 4), 0xFFFFFFu);
    EXPECT_EQ(Rgb(screen, 0, 0), 0xFFFFFFu);
    b.State = 1;
    DrawBtnGlyph(&b, &screen.Canvas());
    EXPECT_EQ(Rgb(screen, 2, 2), 0x00FF00u);
}

} // namespace skin
