// The alpha image list: a state of side-by-side frames blended by its alpha
// into a bitmap or onto a device context, its disabled and reflected looks.
#include <gtest/gtest.h>

#include <windows.h>

#include "skin/controls/acAlphaImageList.h"
#include "ui/Application.h"

namespace skin {
namespace {

class TsAlphaImageListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        list = std::make_unique<TsAlphaImageList>(nullptr);
        list->SetSize(8, 4);   // two states of 4 x 4
        tw::TBitmap image(8, 4, tw::pf32bit);
        TPixelView v = image.PixelView();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                uint8_t* p = v.Pixel(x, y);
                // State 0 opaque red, state 1 half transparent blue.
                p[0] = x < 4 ? 0 : 255;
                p[1] = 0;
                p[2] = x < 4 ? 255 : 0;
                p[3] = x < 4 ? 255 : 128;
            }
        ASSERT_EQ(list->Add(image), 0);
    }
    static void Whiten(tw::TBitmap& b)
    {
        b.Canvas().Brush().SetColor(0xFFFFFF);
        b.Canvas().FillRect({0, 0, b.Width(), b.Height()});
        GdiFlush();
    }
    std::unique_ptr<TsAlphaImageList> list;
};

TEST_F(TsAlphaImageListTest, StatesAreBlendedByTheirAlpha)
{
    TsAlphaImages& images = *list;
    tw::TBitmap dst(10, 10, tw::pf32bit);
    Whiten(dst);
    images.DrawAlphaImage(0, dst, {2, 2}, 0, 2, false, false);
    EXPECT_EQ(dst.Canvas().Pixels(3, 3), 0x0000FF);    // opaque red
    EXPECT_EQ(dst.Canvas().Pixels(7, 3), 0xFFFFFF);    // outside the frame
    EXPECT_EQ(dst.Canvas().Pixels(1, 1), 0xFFFFFF);
    images.DrawAlphaImage(0, dst, {2, 2}, 1, 2, false, false);
    const TColor mixed = dst.Canvas().Pixels(3, 3);
    EXPECT_GT(mixed >> 16 & 0xFF, 0x70);   // half blue over red
    EXPECT_LT(mixed & 0xFF, 0xA0);
    // A state beyond the last takes the last; an unknown image draws nothing.
    tw::TBitmap last(10, 10, tw::pf32bit), beyond(10, 10, tw::pf32bit);
    Whiten(last);
    Whiten(beyond);
    images.DrawAlphaImage(0, last, {2, 2}, 1, 2, false, false);
    images.DrawAlphaImage(0, beyond, {2, 2}, 9, 2, false, false);
    EXPECT_EQ(beyond.Canvas().Pixels(3, 3), last.Canvas().Pixels(3, 3));
    tw::TBitmap untouched(10, 10, tw::pf32bit);
    Whiten(untouched);
    images.DrawAlphaImage(5, untouched, {2, 2}, 0, 2, false, false);
    images.DrawAlphaImage(-1, untouched, {2, 2}, 0, 2, false, false);
    EXPECT_EQ(untouched.Canvas().Pixels(3, 3), 0xFFFFFF);
}

TEST_F(TsAlphaImageListTest, DisabledIsGreyAndReflectionFadesBelow)
{
    tw::TBitmap dst(10, 12, tw::pf32bit);
    Whiten(dst);
    list->DrawAlphaImage(0, dst, {0, 0}, 0, 2, true, true);
    const TColor grey = dst.Canvas().Pixels(1, 1);
    EXPECT_EQ(grey & 0xFF, grey >> 8 & 0xFF);
    EXPECT_EQ(grey & 0xFF, grey >> 16 & 0xFF);
    EXPECT_NE(grey, 0xFFFFFFu);
    EXPECT_NE(dst.Canvas().Pixels(1, 4), 0xFFFFFFu);   // the mirror image just below
    EXPECT_EQ(dst.Canvas().Pixels(1, 11), 0xFFFFFFu);
}

TEST_F(TsAlphaImageListTest, OntoADeviceContextKeepsWhatItShowedAround)
{
    tw::TBitmap target(12, 12, tw::pf32bit);
    Whiten(target);
    target.Canvas().Brush().SetColor(0x00FF00);
    target.Canvas().FillRect({0, 0, 12, 6});
    list->DrawAlphaImageDC(0, target.Canvas().Handle(), {4, 4}, 0, 2, false, false);
    GdiFlush();
    const TColor red = target.Canvas().Pixels(5, 5);   // the blend may round a step down
    EXPECT_GE(red & 0xFF, 0xFEu);
    EXPECT_EQ(red & 0xFFFF00, 0u);
    EXPECT_EQ(target.Canvas().Pixels(3, 5), 0x00FF00);
    EXPECT_EQ(target.Canvas().Pixels(9, 9), 0xFFFFFF);
}

} // namespace
} // namespace skin
