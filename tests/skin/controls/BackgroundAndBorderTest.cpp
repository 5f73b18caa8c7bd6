// What lies under a control, asked of controls and of bare windows (the
// answer, the colour when nobody answers, the parent painting itself into
// the asker's DC), and control borders with a mask: the strips up to the
// control's own border width, a mask whose lower half weighs the
// background, and the plain strip fillers and copiers.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinnedControls.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

using test::Fill;
using test::Pixel;
// x * 255 shr 8 per channel: a mask weight of 255 over black.
COLORREF Weighed(COLORREF c)
{
    COLORREF r = 0;
    for (int i = 0; i < 3; ++i) r |= (((c >> (8 * i)) & 0xFF) * 255 >> 8) << (8 * i);
    return r;
}

class BackgroundQuery : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        form->SetBounds(10, 10, 300, 200);
        plain = Add<tw::TPanel>(form.get(), 0, 0, 100, 60);
        plain->SetBevelOuter(tw::bvNone);
        plain->SetColor(0x123456);
        skinned = Add<TsPanel>(form.get(), 120, 0, 100, 60);
        // A section with a gradient answers with its picture.
        skinned->SkinData.SetSkinSection("BARTITLE");
        ShowForm();
    }
    tw::TPanel* plain = nullptr;
    TsPanel* skinned = nullptr;
};

TEST_F(BackgroundQuery, ControlsAnswerOrGiveTheirColourOrPaintThemselves)
{
    TacBGInfo info;
    EXPECT_TRUE(GetBGInfo(info, skinned, false));
    EXPECT_EQ(info.BgType, btCache);
    EXPECT_EQ(info.Bmp.Width, 100);

    // Nobody answers: the control's own colour.
    info = TacBGInfo{};
    EXPECT_FALSE(GetBGInfo(info, plain, false));
    EXPECT_EQ(info.BgType, btFill);
    EXPECT_EQ(info.Color, TColor(0x123456));

    // Nobody answers and the asker wants a picture: the control paints
    // itself into the asker's DC, R in the DC, the DC's origin at
    // (OffsetX, OffsetY) of the control.
    tw::TBitmap bmp(30, 20, tw::pf24bit);
    Fill(bmp, 0x010203);
    info = TacBGInfo{};
    info.PleaseDraw = true;
    info.DrawDC = uintptr_t(bmp.Canvas().Handle());
    info.R = {0, 0, 10, 8};
    info.OffsetX = 5;
    info.OffsetY = 3;
    EXPECT_FALSE(GetBGInfo(info, plain, true));
    EXPECT_EQ(info.BgType, btUnknown);
    EXPECT_EQ(Pixel(bmp, 2, 2), 0x123456u);
    EXPECT_EQ(Pixel(bmp, 9, 7), 0x123456u);
    EXPECT_EQ(Pixel(bmp, 10, 2), 0x010203u);   // outside R nothing changes
    EXPECT_EQ(Pixel(bmp, 2, 8), 0x010203u);
}

TEST_F(BackgroundQuery, BareWindowsAnswerOrGiveTheSkinsColour)
{
    TacBGInfo info;
    EXPECT_TRUE(GetBGInfoWnd(info, skinned->Handle(), false));
    EXPECT_EQ(info.BgType, btCache);

    // A window of no skinned control: the skin's global colour, and
    // clBtnFace without a manager; nothing is filled.
    tw::TBitmap bmp(30, 20, tw::pf24bit);
    Fill(bmp, 0x010203);
    info = TacBGInfo{};
    info.DrawDC = uintptr_t(bmp.Canvas().Handle());
    info.R = {0, 0, 10, 8};
    EXPECT_FALSE(GetBGInfoWnd(info, plain->Handle(), false));
    EXPECT_EQ(info.BgType, btFill);
    ASSERT_TRUE(DefaultManager);
    EXPECT_EQ(info.Color, DefaultManager->GetGlobalColor());
    EXPECT_EQ(Pixel(bmp, 2, 2), 0x010203u);
    TsSkinManager* saved = DefaultManager;
    DefaultManager = nullptr;
    info = TacBGInfo{};
    GetBGInfoWnd(info, plain->Handle(), false);
    DefaultManager = saved;
    EXPECT_EQ(info.Color, TColor(tw::ColorToRGB(tw::clBtnFace)));

    // Asked for a picture: the window paints itself into the DC.
    info = TacBGInfo{};
    info.PleaseDraw = true;
    info.DrawDC = uintptr_t(bmp.Canvas().Handle());
    info.R = {4, 4, 12, 10};
    EXPECT_FALSE(GetBGInfoWnd(info, plain->Handle(), true));
    EXPECT_EQ(Pixel(bmp, 5, 5), 0x123456u);
    EXPECT_EQ(Pixel(bmp, 2, 2), 0x010203u);
}

// A 3 x 3 border mask with a lower half: black everywhere, its top-left
// pixel fully transparent (weight 255).
int AddWeighedMask(TsSkinManager& sm)
{
    TsMaskData m;
    m.Bmp = std::make_unique<TPixelImage>(3, 6, 24);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = m.Bmp->View().Pixel(x, y);
            p[0] = p[1] = p[2] = 0;
        }
    uint8_t* weight = m.Bmp->View().Pixel(0, 3);
    weight[0] = weight[1] = weight[2] = 255;
    m.R = {0, 0, 3, 6};
    m.ImageCount = 1;
    m.MaskType = 1;
    m.StretchMode = 4;
    m.WL = m.WT = m.WR = m.WB = 1;
    m.Manager = &sm;
    sm.ma.push_back(std::move(m));
    return int(sm.ma.size()) - 1;
}

TEST_F(BackgroundQuery, MaskBorderWithAWiderOwnBorderWidth)
{
    tw::TEdit edit(form.get());
    edit.SetParent(form.get());
    edit.SetBounds(5, 100, 60, 22);
    TsCommonData data(&edit, true);
    data.COC = COC_TsEdit;
    data.Loaded();
    ASSERT_GE(data.BorderIndex, 0);
    const TsMaskData& m = manager->ma[size_t(data.BorderIndex)];
    const int bw = std::max({int(m.WL), int(m.WT), int(m.WR), int(m.WB)}) + 2;
    data.InitCacheBmp();
    Fill(*data.CacheBmp(), 0x010203);
    tw::TBitmap target(60, 22, tw::pf24bit);
    Fill(target, 0x0A0B0C);
    TRect client;
    PaintControlBorder(target.Canvas().Handle(), {0, 0, 60, 22}, bw, data, 0, client);
    EXPECT_EQ(client, (TRect{bw, bw, 60 - bw, 22 - bw}));
    const COLORREF bg = COLORREF(data.GetControlBGColor(false));
    // Between the mask's border and the own width: the background colour.
    tw::TBitmap& cache = *data.CacheBmp();
    EXPECT_EQ(Pixel(cache, m.WL, 11), bg);
    EXPECT_EQ(Pixel(cache, bw - 1, 11), bg);
    EXPECT_EQ(Pixel(cache, 30, bw - 1), bg);
    EXPECT_EQ(Pixel(cache, 59 - m.WR, 11), bg);
    EXPECT_EQ(Pixel(cache, bw, 11), 0x010203u);   // the client is the control's own
    // The target gets the border strips only.
    for (int x : {0, int(m.WL), bw - 1}) EXPECT_EQ(Pixel(target, x, 11), Pixel(cache, x, 11)) << x;
    EXPECT_EQ(Pixel(target, 30, 21), Pixel(cache, 30, 21));
    EXPECT_EQ(Pixel(target, bw, 11), 0x0A0B0Cu);
    EXPECT_EQ(Pixel(target, 30, 11), 0x0A0B0Cu);

    // A border width inside the mask's own: the client by the border width.
    PaintControlBorder(cache.Canvas().Handle(), {0, 0, 60, 22}, 1, data, 0, client);
    EXPECT_EQ(client, (TRect{1, 1, 59, 21}));
}

TEST_F(BackgroundQuery, MaskWithAWeightHalfShowsWhatLiesUnder)
{
    const int index = AddWeighedMask(*manager);
    // Over a plain parent: the strips first take the background colour,
    // which the transparent corner pixel then shows.
    tw::TEdit onForm(form.get());
    onForm.SetParent(form.get());
    onForm.SetBounds(5, 100, 20, 10);
    TsCommonData a(&onForm, true);
    a.COC = COC_TsEdit;
    a.Loaded();
    a.BorderIndex = index;
    a.InitCacheBmp();
    Fill(*a.CacheBmp(), 0x010203);
    TRect client;
    PaintControlBorder(a.CacheBmp()->Canvas().Handle(), {0, 0, 20, 10}, 0, a, 0, client);
    EXPECT_EQ(client, (TRect{1, 1, 19, 9}));
    EXPECT_EQ(Pixel(*a.CacheBmp(), 0, 0), Weighed(COLORREF(a.GetControlBGColor(false))));
    EXPECT_EQ(Pixel(*a.CacheBmp(), 1, 0), 0u);          // weight 0: the mask's black
    EXPECT_EQ(Pixel(*a.CacheBmp(), 5, 5), 0x010203u);   // the centre is not drawn

    // Over a parent with a picture: the corner shows that picture.
    tw::TEdit onPanel(form.get());
    onPanel.SetParent(skinned);
    onPanel.SetBounds(7, 9, 20, 10);
    TsCommonData b(&onPanel, true);
    b.COC = COC_TsEdit;
    b.Loaded();
    b.BorderIndex = index;
    b.InitCacheBmp();
    Fill(*b.CacheBmp(), 0x010203);
    PaintControlBorder(b.CacheBmp()->Canvas().Handle(), {0, 0, 20, 10}, 0, b, 0, client);
    TacBGInfo info;
    ASSERT_TRUE(GetBGInfo(info, skinned, false));
    const COLORREF under = GetPixel(skinned->SkinData.CacheBmp()->Canvas().Handle(), info.OffsetX + 7, info.OffsetY + 9);
    EXPECT_EQ(Pixel(*b.CacheBmp(), 0, 0), Weighed(under));
    // The parent's picture went under the whole rectangle first.
    EXPECT_EQ(Pixel(*b.CacheBmp(), 5, 5),
              GetPixel(skinned->SkinData.CacheBmp()->Canvas().Handle(), info.OffsetX + 12, info.OffsetY + 14));
}

TEST(BorderStrips, FillAndCopyTheFourStripsOnly)
{
    tw::TBitmap b(12, 10, tw::pf24bit);
    Fill(b, 0x010203);
    FillDCBorder(b.Canvas().Handle(), {1, 1, 11, 9}, 1, 2, 3, 1, 0x00FF00);
    auto at = [&](int x, int y) { return Pixel(b, x, y); };
    EXPECT_EQ(at(1, 1), 0x00FF00u);   // top, two rows
    EXPECT_EQ(at(10, 2), 0x00FF00u);
    EXPECT_EQ(at(1, 5), 0x00FF00u);   // left, one column
    EXPECT_EQ(at(2, 5), 0x010203u);
    EXPECT_EQ(at(8, 5), 0x00FF00u);   // right, three columns
    EXPECT_EQ(at(7, 5), 0x010203u);
    EXPECT_EQ(at(5, 8), 0x00FF00u);   // bottom, one row
    EXPECT_EQ(at(5, 7), 0x010203u);
    EXPECT_EQ(at(0, 0), 0x010203u);   // nothing outside the rectangle
    EXPECT_EQ(at(11, 9), 0x010203u);

    // The copier takes each strip from the same place of the source.
    tw::TBitmap src(20, 20, tw::pf24bit);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) SetPixel(src.Canvas().Handle(), x, y, RGB(x * 10, y * 10, 7));
    Fill(b, 0x010203);
    BitBltBorder(b.Canvas().Handle(), 1, 1, 9, 7, src.Canvas().Handle(), 3, 2, 2);
    for (int y = 1; y < 8; ++y)
        for (int x = 1; x < 10; ++x) {
            const bool strip = x < 3 || x >= 8 || y < 3 || y >= 6;
            const COLORREF want = strip ? RGB((x + 2) * 10, (y + 1) * 10, 7) : 0x010203u;
            EXPECT_EQ(at(x, y), want) << x << "," << y;
        }
    EXPECT_EQ(at(0, 0), 0x010203u);
    EXPECT_EQ(at(10, 8), 0x010203u);
}

} // namespace
} // namespace skin
