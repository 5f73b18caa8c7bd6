// Background of skin items on tiny pictures, each pixel worked out from the
// mixing rules: section colour, parent picture, transparency, texture share.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/ItemPainting.h"

using namespace skin;
using skintest::Picture;
using skintest::Px;

namespace {

struct ItemBG : ::testing::Test {
    TsSkinManager sm;
    TPixelImage item = Picture(4, 3, 24, 0x010203);
    TPixelImage parent = Picture(8, 8, 24, 0x00FF00);

    int Section(TColor color, int transparency = 0, int imagePercent = 0, int gradientPercent = 0)
    {
        TsGeneralData s;
        s.Name = "ITEM" + std::to_string(sm.gd.size());
        s.Color = color;
        s.Transparency = transparency;
        s.ImagePercent = imagePercent;
        s.GradientPercent = gradientPercent;
        s.HotColor = 0x0000AA;
        sm.gd.push_back(std::move(s));
        return int(sm.gd.size()) - 1;
    }
    // Two by two: the blenders take no picture thinner than that.
    void Paint(int index, const TCacheInfo& ci, int state = 0, TRect r = {1, 1, 3, 3}, TPoint pP = {0, 0})
    {
        PaintItemBG(&sm, index, sm.gd[size_t(index)].Name, ci, state, r, pP, item.View());
    }
    // A JPEG-like texture of one colour for the section's PATTERN.
    void AddPattern(int section, TColor colour)
    {
        TsPatternData p;
        p.Img = std::make_unique<TPixelImage>(Picture(2, 2, 24, colour));
        p.SectionName = sm.gd[size_t(section)].Name;
        p.PropertyName = "PATTERN";
        sm.pa.push_back(std::move(p));
    }
    TColor At(int x, int y) { return Px(item.View(), x, y); }
};

} // namespace

TEST_F(ItemBG, OpaqueSectionFillsOnlyTheRectangleAndHotStatesTakeHotValues)
{
    const int s = Section(0x345678);
    Paint(s, EmptyCacheInfo());
    EXPECT_EQ(At(1, 1), 0x345678);
    EXPECT_EQ(At(2, 1), 0x345678);
    EXPECT_EQ(At(0, 1), 0x010203);
    EXPECT_EQ(At(3, 1), 0x010203);
    EXPECT_EQ(At(1, 0), 0x010203);
    Paint(s, EmptyCacheInfo(), 2);
    EXPECT_EQ(At(1, 1), 0x0000AA);
}

TEST_F(ItemBG, HalfTransparentSectionMixesWithTheParentPicture)
{
    // A = 50 * 255 div 100 = 127; (section * 128 + parent * 127 + 127) shr 8.
    const int s = Section(0x0000FF, 50);
    Paint(s, MakeCacheInfo(parent.View(), 2, 3));
    EXPECT_EQ(At(1, 1), 0x007F7F);
    EXPECT_EQ(At(0, 0), 0x010203);
}

TEST_F(ItemBG, FullyTransparentSectionShowsTheParentAtItsOffset)
{
    skintest::SetPx(parent.View(), 2, 3, 0xABCDEF);
    const int s = Section(0x0000FF, 100);
    Paint(s, MakeCacheInfo(parent.View(), 1, 2), 0, {1, 1, 3, 3}, {1, 1});
    // The rectangle's corner comes from the item's place in the parent,
    // (1 + 1, 2 + 1).
    EXPECT_EQ(At(1, 1), 0xABCDEF);
    EXPECT_EQ(At(2, 1), 0x00FF00);
    // Its own picture as the parent: nothing at all is painted.
    Paint(s, MakeCacheInfo(item.View(), 0, 0));
    EXPECT_EQ(At(1, 1), 0xABCDEF);
}

TEST_F(ItemBG, NoBackgroundAtAllKeepsTheKeyColour)
{
    // Nothing to show through: transparency is not applied and the colour
    // share falls back to the (key) fill colour.
    const int s = Section(0x0000FF, 50);
    Paint(s, EmptyCacheInfo());
    EXPECT_EQ(At(1, 1), clKeyColor);
    TCacheInfo coloured;
    coloured.FillColor = 0x204060;
    Paint(s, coloured);
    EXPECT_EQ(At(1, 1), 0x204060);
}

TEST_F(ItemBG, TextureShareThenColourOverIt)
{
    const int s = Section(0x646464, 0, 60);
    AddPattern(s, 0xC8C8C8);
    Paint(s, EmptyCacheInfo());
    // round(200 * 0.6 + 100 * 0.4) = 160.
    EXPECT_EQ(At(1, 1), 0xA0A0A0);
    EXPECT_EQ(At(2, 1), 0xA0A0A0);
}

TEST_F(ItemBG, MissingTextureOrGradientLeavesTheColour)
{
    Paint(Section(0x112233, 0, 50), EmptyCacheInfo());
    EXPECT_EQ(At(1, 1), 0x112233);
    Paint(Section(0x445566, 0, 0, 100), EmptyCacheInfo());
    EXPECT_EQ(At(1, 1), 0x445566);
}

TEST_F(ItemBG, ThirtyTwoBitItemsGetOpaqueAlpha)
{
    TPixelImage item32 = Picture(3, 3, 32, 0);
    skintest::SetPx(item32.View(), 1, 1, 0, 0);
    const int s = Section(0x0A0B0C);
    PaintItemBG(&sm, s, sm.gd[size_t(s)].Name, EmptyCacheInfo(), 0, {0, 0, 3, 3}, {0, 0}, item32.View());
    EXPECT_EQ(Px(item32.View(), 1, 1), 0x0A0B0C);
    EXPECT_EQ(skintest::Alpha(item32.View(), 1, 1), 255);
}

TEST_F(ItemBG, ItemPainterRefusesRectanglesItCannotHold)
{
    const int s = Section(0x777777);
    for (TRect r : {TRect{0, 0, 0, 3}, TRect{-1, 0, 2, 2}, TRect{0, 0, 5, 3}, TRect{2, 0, 1, 3}}) {
        PaintItem(&sm, s, "ITEM0", EmptyCacheInfo(), true, 0, r, {0, 0}, item.View());
        EXPECT_EQ(At(0, 0), 0x010203) << r.Left << "," << r.Right;
    }
    PaintItem(&sm, s + 1, "NONE", EmptyCacheInfo(), true, 0, {0, 0, 2, 2}, {0, 0}, item.View());
    EXPECT_EQ(At(0, 0), 0x010203);
    PaintItem(&sm, s, "ITEM0", EmptyCacheInfo(), true, 0, {0, 0, 4, 3}, {0, 0}, item.View());
    EXPECT_EQ(At(3, 2), 0x777777);
}

TEST(ItemColours, SwapRedBlue)
{
    EXPECT_EQ(SwapRedBlue(0x123456), 0x563412);
    EXPECT_EQ(SwapRedBlue(0xFF0000), 0x0000FF);
}

TEST_F(ItemBG, ItemWithAGivenMaskTakesOnlyTheGivenTexturesAndNoKeyFill)
{
    // The named pattern is not looked up: only the colour remains.
    const int s = Section(0x646464, 0, 60);
    AddPattern(s, 0xC8C8C8);
    TCacheInfo ci = EmptyCacheInfo();
    PaintItemWithMask(&sm, s, -1, -1, -1, ci, true, 0, {1, 1, 3, 3}, {0, 0}, item.View());
    EXPECT_EQ(At(1, 1), 0x646464);
    // Nothing under it and half transparent: the colour, not the key colour.
    const int t = Section(0x0000FF, 50);
    PaintItemWithMask(&sm, t, -1, -1, -1, ci, true, 0, {1, 1, 3, 3}, {2, 2}, item.View());
    EXPECT_EQ(At(2, 2), 0x0000FF);
    EXPECT_EQ(ci.X, 0);   // the caller's record comes back as it was
}

// A gradient laid over a texture at ImagePercent 50, the gradient here the
// section's black colour, the texture 200: the item painter weighs the
// texture by 50 * 255 div 100 = 127, (200 * 127 + 127) shr 8 = 99; the fast
// painter of the mask items by min(255, 50 * 256 div 100) = 128,
// (200 * 128 + 127) shr 8 = 100.
TEST_F(ItemBG, GradientOverTextureWeighsTheTextureByEachPaintersRule)
{
    sm.MasterBitmap = std::make_unique<TPixelImage>(Picture(2, 2, 24, 0xC8C8C8));
    TsMaskData texture;
    texture.Manager = &sm;
    texture.R = {0, 0, 2, 2};
    texture.ImageCount = 1;
    texture.ImgType = itisaTexture;
    sm.ma.push_back(std::move(texture));
    const int s = Section(0x000000, 0, 50, 50);
    PaintItemBG(&sm, s, sm.gd[size_t(s)].Name, EmptyCacheInfo(), 0, {1, 1, 3, 3}, {0, 0}, item.View(), 0);
    EXPECT_EQ(At(1, 1), 0x636363);
    TCacheInfo ci = EmptyCacheInfo();
    PaintItemWithMask(&sm, s, -1, 0, -1, ci, true, 0, {1, 1, 3, 3}, {0, 0}, item.View());
    EXPECT_EQ(At(1, 1), 0x646464);
    EXPECT_EQ(At(2, 2), 0x646464);
}
