// Halo placement around a control (whole, cut by its parent's edges, too
// small to show) and the halo's picture from a glow mask.
#include <gtest/gtest.h>

#include "tests/skin/engine/SkinTestSupport.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/images/SkinPictures.h"

using namespace skin;
using skintest::Alpha;
using skintest::Picture;
using skintest::Px;
using skintest::SetPx;

TEST(GlowPlacement, WholeControlGetsTheMaskBordersMinusTheMargin)
{
    // 40 x 20 control at (100, 50), borders 12, margin 3.
    const TGlowPlacement p = GlowPlacement(TRect(100, 50, 140, 70), TRect(0, 0, 40, 20), 12, 12, 12, 12, 3);
    ASSERT_TRUE(p.Valid());
    EXPECT_EQ(p.Width, 40 + 24 - 6);
    EXPECT_EQ(p.Height, 20 + 24 - 6);
    EXPECT_EQ(p.CropX, 0);
    EXPECT_EQ(p.Pos.X, 100 - 12 + 3);
    EXPECT_EQ(p.Pos.Y, 50 - 12 + 3);
}

TEST(GlowPlacement, ControlCutByItsParentGetsAHaloCutAtThatEdge)
{
    // Left 10 pixels hidden: the halo starts at the visible edge.
    TGlowPlacement p = GlowPlacement(TRect(100, 50, 140, 70), TRect(10, 0, 40, 20), 12, 12, 12, 12, 3);
    EXPECT_EQ(p.CropX, 12 + 10 - 3);
    EXPECT_EQ(p.Pos.X, 110);
    EXPECT_EQ(p.Width, 30 + 12 - 3);   // visible part and the right halo
    EXPECT_EQ(p.Height, 38);

    // Right and bottom hidden: only the halo beyond the visible part is cut.
    p = GlowPlacement(TRect(100, 50, 140, 70), TRect(0, 0, 25, 15), 12, 12, 12, 12, 3);
    EXPECT_EQ(p.CropX, 0);
    EXPECT_EQ(p.Width, 12 - 3 + 25);
    EXPECT_EQ(p.Height, 12 - 3 + 15);
    EXPECT_EQ(p.Pos.X, 100 - 9);

    // Cut on the top and on the bottom: the visible strip alone.
    p = GlowPlacement(TRect(100, 50, 140, 70), TRect(0, 5, 40, 12), 12, 12, 12, 12, 3);
    EXPECT_EQ(p.Height, 7);
    EXPECT_EQ(p.Pos.Y, 55);
}

TEST(GlowPlacement, NothingToShowBelowOnePixel)
{
    // A hidden control (its empty visible part would still leave a strip of
    // halo), and one whose halo is eaten by a large margin.
    EXPECT_FALSE(GlowPlacement(TRect(0, 0, 40, 20), TRect(0, 0, 0, 0), 12, 12, 12, 12, 3).Valid());
    EXPECT_FALSE(GlowPlacement(TRect(0, 0, 4, 4), TRect(0, 0, 4, 4), 1, 1, 1, 1, 3).Valid());
    EXPECT_FALSE(GlowPlacement(TRect(0, 0, 0, 20), TRect(0, 0, 0, 20), 0, 0, 0, 0, 0).Valid());
    EXPECT_TRUE(CutGlowPicture(TPixelImage(4, 4, 32), TGlowPlacement()).View().Empty());
}

TEST(GlowPicture, MaskFrameStretchedOverTheHaloThenCutAndPremultiplied)
{
    TsSkinManager sm;
    TsMaskData& m = sm.ma.emplace_back();
    m.Manager = &sm;
    m.SectionName = "BUTTON";
    m.PropertyName = "GLOW0";
    m.Bmp = std::make_unique<TPixelImage>(Picture(6, 6, 32, 0x0000FF));
    SetPx(m.Bmp->View(), 0, 0, 0x0000FF, 102);      // corners fade out
    SetPx(m.Bmp->View(), 5, 5, 0x00FF00, 0);
    m.R = {0, 0, 6, 6};
    m.ImageCount = 1;
    m.WL = m.WT = m.WR = m.WB = 2;
    ASSERT_EQ(sm.GetMaskIndexByName("BUTTON", "GLOW0"), 0);

    const TPixelImage full = CreateGlowPicture(sm, 0, 10, 8);
    ASSERT_EQ(full.Width(), 10);
    EXPECT_EQ(Alpha(full.View(), 0, 0), 102);
    EXPECT_EQ(Px(full.View(), 9, 7), 0x00FF00);
    EXPECT_EQ(Alpha(full.View(), 9, 7), 0);
    EXPECT_EQ(Alpha(full.View(), 5, 0), 255);        // top side
    EXPECT_EQ(Alpha(full.View(), 5, 4), 0);          // the centre lies under the control

    TGlowPlacement p;
    p.CropX = 0;
    p.Width = 10;
    p.Height = 8;
    const TPixelImage cut = CutGlowPicture(full, p);
    EXPECT_EQ(Px(cut.View(), 0, 0), 0x000066);      // 255 * 102 / 255 red
    EXPECT_EQ(Px(cut.View(), 9, 7), 0x000000);      // no colour where nothing covers
    EXPECT_EQ(Px(cut.View(), 5, 0), 0x0000FF);

    // Without a mask the halo stays transparent.
    const TPixelImage none = CreateGlowPicture(sm, 3, 4, 4);
    EXPECT_EQ(Alpha(none.View(), 1, 1), 0);

    // A skin's piece widths of 32767 around a control ask for a halo larger
    // than any picture a skin may bring: there is none, and nothing is
    // allocated for it.
    EXPECT_EQ(CreateGlowPicture(sm, 0, 100 + 2 * 32767, 30).Width(), 0);
    EXPECT_EQ(CreateGlowPicture(sm, 0, 8000, 4200).Width(), 0);
    EXPECT_EQ(CreateGlowPicture(sm, 0, 8000, 4000).Width(), 8000);

    // Nor is the refused halo's cut piece: the whole halo shown is as large
    // as the halo refused.
    const TGlowPlacement wide = GlowPlacement(TRect(0, 0, 100, 30), TRect(0, 0, 100, 30), 32767, 0, 32767, 0, 0);
    ASSERT_TRUE(wide.Valid());
    EXPECT_EQ(CreateGlowPicture(sm, 0, wide.FullWidth, wide.FullHeight).Width(), 0);
    EXPECT_TRUE(CutGlowPicture(TPixelImage(), wide).View().Empty());
    TGlowPlacement beyond;
    beyond.Width = beyond.FullWidth = kMaxPictureSide + 1;
    beyond.Height = beyond.FullHeight = 2;
    EXPECT_TRUE(CutGlowPicture(TPixelImage(4, 4, 32), beyond).View().Empty());
}
