// Plain image-list glyphs on a skinned button's cache: the key colour stays
// out, and blend, grayed and disabled looks follow focus and state.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/painting/ImageListGlyphs.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

namespace {
// 2 x 1 glyph: a red pixel and a key-coloured one.
TPixelImage RedGlyph()
{
    TPixelImage g = Picture(2, 1, 24, clKeyColor);
    SetPx(g.View(), 0, 0, 0x0000FF);
    return g;
}
} // namespace

TEST(ListGlyph, EnabledGlyphIsCopiedWithoutItsKeyColourUnlessBlended)
{
    TPixelImage g = RedGlyph(), cache = Picture(4, 2, 24, 0x808080);
    TListGlyphLook look;
    DrawListGlyph(g.View(), clKeyColor, cache.View(), 1, 1, look);
    EXPECT_EQ(Px(cache.View(), 1, 1), 0x0000FF);
    EXPECT_EQ(Px(cache.View(), 2, 1), 0x808080);
    EXPECT_EQ(Px(cache.View(), 0, 0), 0x808080);

    // Blend 50, not focused: half of what lies beneath shows through.
    TPixelImage blended = Picture(4, 2, 24, 0x000000);
    g = RedGlyph();
    look.Blend = 50;
    DrawListGlyph(g.View(), clKeyColor, blended.View(), 0, 0, look);
    EXPECT_EQ(Px(blended.View(), 0, 0), 0x000080);
    EXPECT_EQ(Px(blended.View(), 1, 0), 0x000000);

    // The same button focused shows its glyph unblended and ungrayed.
    TPixelImage focused = Picture(4, 2, 24, 0x000000);
    g = RedGlyph();
    look.Focused = true;
    look.Grayed = true;
    DrawListGlyph(g.View(), clKeyColor, focused.View(), 0, 0, look);
    EXPECT_EQ(Px(focused.View(), 0, 0), 0x0000FF);
}

TEST(ListGlyph, GrayedAndDisabledLooks)
{
    TListGlyphLook look;
    look.Grayed = true;
    TPixelImage g = RedGlyph(), cache = Picture(2, 1, 24, 0x000000);
    DrawListGlyph(g.View(), clKeyColor, cache.View(), 0, 0, look);
    TColor grey = Px(cache.View(), 0, 0);
    EXPECT_EQ(grey & 0xFF, (grey >> 8) & 0xFF);
    EXPECT_EQ(grey & 0xFF, (grey >> 16) & 0xFF);
    EXPECT_EQ(Px(cache.View(), 1, 0), 0x000000);

    // Disabled, blended only: half way between glyph and background, in colour.
    look = {};
    look.Enabled = false;
    look.DisabledKind = 1;
    g = RedGlyph();
    cache = Picture(2, 1, 24, 0x000000);
    DrawListGlyph(g.View(), clKeyColor, cache.View(), 0, 0, look);
    EXPECT_EQ(Px(cache.View(), 0, 0), 0x000080);

    // Disabled without any kind: copied as it is; Blend does not count.
    look.DisabledKind = 0;
    look.Blend = 90;
    g = RedGlyph();
    cache = Picture(2, 1, 24, 0x000000);
    DrawListGlyph(g.View(), clKeyColor, cache.View(), 0, 0, look);
    EXPECT_EQ(Px(cache.View(), 0, 0), 0x0000FF);

    // Nothing drawn into or from an empty picture; outside the cache is cut.
    DrawListGlyph(TPixelView{}, clKeyColor, cache.View(), 0, 0, look);
    DrawListGlyph(g.View(), clKeyColor, cache.View(), 5, -3, look);
    EXPECT_EQ(Px(cache.View(), 0, 0), 0x0000FF);
}
