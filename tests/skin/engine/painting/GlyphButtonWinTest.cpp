// A button's own glyph strip drawn into its cache, by the depth the glyph
// was given in.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/painting/ImageListGlyphs.h"
#include "ui/Graphics.h"

using namespace skin;
using skintest::Px;

namespace {

class TStripButton : public TsGlyphButton {
public:
    tw::TBitmap Strip;
    tw::TBitmap Cache{8, 8, tw::pf24bit};
    int State = 0;

    tw::TCustomImageList* Images() const override { return nullptr; }
    int ImageIndex() const override { return -1; }
    tw::TBitmap* Glyph() override { return &Strip; }
    int NumGlyphs() const override { return 2; }
    int Blend() const override { return 0; }
    bool Grayed() const override { return false; }
    bool Reflected() const override { return false; }
    unsigned DisabledGlyphKind() const override { return 0; }
    bool Down() const override { return false; }
    bool GlyphEnabled() const override { return true; }
    bool Skinned() const override { return true; }
    bool GlyphFocused() const override { return false; }
    tw::TBitmap* CacheBitmap() override { return &Cache; }
    TRect GlyphRect() override { return TRect(2, 2, 4, 4); }
    int CurrentState() override { return State; }
    int ButtonWidth() const override { return 8; }
    int ButtonHeight() const override { return 8; }
};

// Two 2 x 2 frames over a white key (the bottom row): frame 0 has black in
// its top-left pixel, frame 1 in its top-right one.
void PaintStrip(tw::TBitmap& b)
{
    b.Canvas().Brush().SetColor(tw::clWhite);
    b.Canvas().FillRect(tw::TRect(0, 0, 4, 2));
    b.Canvas().SetPixel(0, 0, tw::clBlack);
    b.Canvas().SetPixel(3, 0, tw::clBlack);
    GdiFlush();
}

TColor HotGlyphPixel(tw::TPixelFormat pf, TPoint at)
{
    TStripButton b;
    b.Strip.SetPixelFormat(pf);
    b.Strip.SetSize(4, 2);
    PaintStrip(b.Strip);
    b.Cache.Canvas().Brush().SetColor(0x777777);
    b.Cache.Canvas().FillRect(tw::TRect(0, 0, 8, 8));
    GdiFlush();
    b.State = 1;
    DrawBtnGlyph(&b, nullptr);
    GdiFlush();
    return Px(b.Cache.PixelView(), at.X, at.Y);
}

} // namespace

TEST(GlyphButton, AMonochromeStripKeepsItsNormalFrameWhenHot)
{
    // 24 bits: the hot frame (black top-right at glyph (1, 0) = cache (3, 2)).
    EXPECT_EQ(HotGlyphPixel(tw::pf24bit, {3, 2}), 0x000000);
    EXPECT_EQ(HotGlyphPixel(tw::pf24bit, {2, 2}), 0x777777);
    // 1 bit: no hot frame, the normal one (black top-left).
    EXPECT_EQ(HotGlyphPixel(tw::pf1bit, {2, 2}), 0x000000);
    EXPECT_EQ(HotGlyphPixel(tw::pf1bit, {3, 2}), 0x777777);
}
#endif
