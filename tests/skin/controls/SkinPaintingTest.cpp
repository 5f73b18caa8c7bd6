// Painting with our own skin on real device contexts: section texts and
// their passes, control borders, item painting onto a DC, and no GDI handle
// left behind over many skin switches.
#include <gtest/gtest.h>

#include <windows.h>

#include "OwnSkin.h"
#include "SkinnedControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/BorderPaintingWin.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

struct TPassLog {
    std::vector<COLORREF> Colours;
    std::vector<RECT> Rects;
};
TPassLog* g_log = nullptr;

int RecordingDrawText(HDC dc, const std::wstring&, RECT* r, UINT)
{
    g_log->Colours.push_back(GetTextColor(dc));
    g_log->Rects.push_back(*r);
    return 1;
}

class SkinPainting : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = test::MakeOwnSkinManager();
        ASSERT_TRUE(manager);
        g_log = &log;
        SkinDrawText = RecordingDrawText;
    }
    void TearDown() override
    {
        SkinDrawText = saved;
        g_log = nullptr;
        manager.reset();
    }
    TsGeneralData& Section(const std::string& name) { return manager->gd[size_t(manager->GetSkinIndex(name))]; }
    int (*saved)(HDC, const std::wstring&, RECT*, UINT) = SkinDrawText;
    std::unique_ptr<TsSkinManager> manager;
    TPassLog log;
    tw::TBitmap bmp{40, 20, tw::pf24bit};
};

TEST_F(SkinPainting, ContourPassesThenTheMainText)
{
    TsGeneralData& s = Section("PANEL");
    s.FontColor = {0x0000FF, 0x00FF00, -1, -1, -1};
    DrawSectionText(&bmp.Canvas(), "Step", true, {2, 2, 30, 18}, DT_LEFT, manager->GetSkinIndex("PANEL"), false);
    ASSERT_EQ(log.Colours.size(), 2u);
    EXPECT_EQ(log.Colours[0], 0x00FF00u);        // the left contour, one pixel out
    EXPECT_EQ(log.Rects[0].left, 1);
    EXPECT_EQ(log.Colours[1], 0x0000FFu);
    EXPECT_EQ(log.Rects[1].left, 2);
}

TEST_F(SkinPainting, DisabledTextMixesFontAndSectionColour)
{
    TsGeneralData& s = Section("PANEL");
    s.FontColor = {0x000000, 0x00FF00, 0x00FF00, -1, -1};
    s.Color = 0xFFFFFF;
    DrawSectionText(&bmp.Canvas(), "Step", false, {0, 0, 30, 18}, 0, manager->GetSkinIndex("PANEL"), false);
    ASSERT_EQ(log.Colours.size(), 1u);   // no contours when disabled
    EXPECT_EQ(log.Colours[0], 0x999999u); // round(255 * 0.6) = 153
}

TEST_F(SkinPainting, NothingWithoutCanvasTextOrSection)
{
    const int panel = manager->GetSkinIndex("PANEL");
    DrawSectionText(nullptr, "x", true, {0, 0, 10, 10}, 0, panel, false);
    DrawSectionText(&bmp.Canvas(), nullptr, true, {0, 0, 10, 10}, 0, panel, false);
    DrawSectionText(&bmp.Canvas(), "x", true, {0, 0, 10, 10}, 0, 100000, false);
    EXPECT_TRUE(log.Colours.empty());
    // An empty rectangle is no reason to leave the text out: the caller's
    // flags decide (with DT_NOCLIP the text stands at the corner).
    Section("PANEL").FontColor = {0x0000FF, -1, -1, -1, -1};
    DrawSectionText(&bmp.Canvas(), "x", true, {5, 0, 5, 10}, 0, panel, false);
    DrawSectionText(&bmp.Canvas(), "x", true, {0, 9, 10, 3}, 0, panel, false);
    ASSERT_EQ(log.Colours.size(), 2u);
    EXPECT_EQ(log.Rects[0].left, 5);
    EXPECT_EQ(log.Rects[0].right, 5);
    EXPECT_EQ(log.Rects[1].top, 9);
}

TEST_F(SkinPainting, AnEmptyRectangleTakesTheTextAsTheCallerAsks)
{
    SkinDrawText = saved;   // real text on the bitmap
    const int panel = manager->GetSkinIndex("PANEL");
    TsGeneralData& s = Section("PANEL");
    s.FontColor = {0x0000FF, -1, -1, -1, -1};
    // Text pixels: whatever is no longer the white ground.
    auto textPixels = [](tw::TBitmap& b, const TRect& area) {
        int n = 0;
        for (int y = area.Top; y < area.Bottom; ++y)
            for (int x = area.Left; x < area.Right; ++x)
                if (GetPixel(b.Canvas().Handle(), x, y) != RGB(255, 255, 255)) ++n;
        return n;
    };
    test::Fill(bmp, RGB(255, 255, 255));
    // No width at all, but DT_NOCLIP: the text starts at the rectangle.
    DrawSectionText(&bmp.Canvas(), "WW", true, {4, 2, 4, 18}, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOCLIP, panel, false);
    EXPECT_GT(textPixels(bmp, {4, 0, 40, 20}), 0);
    EXPECT_EQ(textPixels(bmp, {0, 0, 3, 20}), 0);
    // Clipped the text stays out, but the canvas is set up as for any text.
    test::Fill(bmp, RGB(255, 255, 255));
    bmp.Canvas().Brush().SetStyle(tw::bsSolid);
    DrawSectionText(&bmp.Canvas(), "WW", true, {4, 2, 4, 18}, DT_LEFT | DT_TOP | DT_SINGLELINE, panel, false);
    EXPECT_EQ(textPixels(bmp, {0, 0, 40, 20}), 0);
    EXPECT_EQ(bmp.Canvas().Brush().Style(), tw::bsClear);

    // A control's text is clipped to its rectangle: nothing of it shows, but
    // the canvas takes the control's font and the clear brush.
    tw::TForm form(nullptr);
    tw::TLabel label(&form);
    label.SetParent(&form);
    label.Font().SetName("Courier New");
    label.Font().SetHeight(-17);
    TsCommonData data(&label, false);
    data.SetSkinSection("WEBBUTTON");
    tw::TBitmap other(40, 20, tw::pf24bit);
    test::Fill(other, RGB(255, 255, 255));
    other.Canvas().Brush().SetStyle(tw::bsSolid);
    DrawControlText(&other.Canvas(), "WW", true, {4, 2, 4, 18}, DT_LEFT | DT_SINGLELINE, &data, true);
    EXPECT_EQ(other.Canvas().Font().Name(), "Courier New");
    EXPECT_EQ(other.Canvas().Font().Height(), -17);
    EXPECT_TRUE(other.Canvas().Font().Style() & tw::fsUnderline);
    EXPECT_EQ(other.Canvas().Brush().Style(), tw::bsClear);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(GetPixel(other.Canvas().Handle(), x, y), RGB(255, 255, 255));
}

TEST_F(SkinPainting, CanvasTextMeasuresAndClipsInTheCanvasFont)
{
    SkinDrawText = saved;
    tw::TCanvas& c = bmp.Canvas();
    c.Font().SetName("Courier New");
    c.Font().SetHeight(-16);
    // Measured against the platform with the same font selected.
    c.RequireState();
    SIZE ref{};
    ASSERT_TRUE(GetTextExtentPoint32W(c.Handle(), L"WWW", 3, &ref));
    EXPECT_EQ(CanvasTextWidth(c, "WWW"), ref.cx);
    EXPECT_EQ(CanvasTextHeight(c, "WWW"), ref.cy);
    const SIZE both = CanvasTextExtent(c, "WWW");
    EXPECT_EQ(both.cx, ref.cx);
    EXPECT_EQ(both.cy, ref.cy);
    EXPECT_GT(CanvasTextWidth(c, "WWWW"), CanvasTextWidth(c, "WWW"));
    // TextRect: the text from (x, y), nothing of it outside the rectangle.
    test::Fill(bmp, RGB(255, 255, 255));
    c.Font().SetColor(0x000000);
    c.Brush().SetColor(0xFFFFFF);
    CanvasTextRect(c, {2, 0, 12, 20}, 2, 0, "WWWWWW");
    int inside = 0, outside = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            if (GetPixel(c.Handle(), x, y) != RGB(255, 255, 255)) ++((x >= 2 && x < 12) ? inside : outside);
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
}

TEST_F(SkinPainting, HotWebButtonIsUnderlined)
{
    tw::TForm form(nullptr);
    tw::TLabel label(&form);
    label.SetParent(&form);
    TsCommonData data(&label, false);
    data.SetSkinSection("WEBBUTTON");
    DrawControlText(&bmp.Canvas(), "link", true, {0, 0, 30, 18}, 0, &data, true);
    EXPECT_TRUE(bmp.Canvas().Font().Style() & tw::fsUnderline);
    tw::TBitmap other(40, 20, tw::pf24bit);
    DrawControlText(&other.Canvas(), "link", true, {0, 0, 30, 18}, 0, &data, false);
    EXPECT_FALSE(other.Canvas().Font().Style() & tw::fsUnderline);
}

TEST_F(SkinPainting, CheckBoxOnATransparentParentTakesTheParentsFontColours)
{
    // The panel gives its own font; the check box's section is see-through.
    TsGeneralData& panelSection = Section("PANEL");
    panelSection.GiveOwnFont = true;
    panelSection.Transparency = 0;
    panelSection.FontColor = {0x123456, -1, -1, -1, -1};
    Section("CHECKBOX").Transparency = 100;
    Section("CHECKBOX").FontColor = {0x654321, -1, -1, -1, -1};
    tw::TForm form(nullptr);
    struct TSkinnedPanel : tw::TPanel {
        TSkinnedPanel(tw::TComponent* o) : tw::TPanel(o), SkinData(this, false) { SkinData.COC = COC_TsPanel; }
        TsCommonData SkinData;
        void WndProc(tw::TMessage& m) override
        {
            if (!CommonWndProc(m, &SkinData)) tw::TPanel::WndProc(m);
        }
    } panel(&form);
    panel.SetParent(&form);
    panel.SkinData.Loaded();
    tw::TCheckBox box(&form);
    box.SetParent(&panel);
    form.Handle();
    TsCommonData data(&box, false);
    data.COC = COC_TsCheckBox;
    data.Loaded();
    DrawControlText(&bmp.Canvas(), "Repair", true, {0, 0, 30, 18}, 0, &data, false);
    ASSERT_EQ(log.Colours.size(), 1u);
    EXPECT_EQ(log.Colours[0], 0x123456u);
}

TEST_F(SkinPainting, CutTextEndsInDotsOrNothing)
{
    tw::TCanvas& c = bmp.Canvas();
    EXPECT_EQ(CutText(c, "Analysis", 0), "");
    EXPECT_EQ(CutText(c, "Analysis", 1000), "Analysis");
    const std::string cut = CutText(c, "Analysis of the recording", c.TextWidth("Analysis..."));
    EXPECT_EQ(cut, "Analysis...");
    EXPECT_EQ(CutText(c, "Analysis", 1), "");
}

TEST_F(SkinPainting, BorderlessSectionWithoutWidthPaintsNothing)
{
    tw::TForm form(nullptr);
    tw::TPanel panel(&form);
    panel.SetParent(&form);
    TsCommonData data(&panel, true);
    data.SetSkinSection("NOSUCHSECTION");
    bmp.Canvas().Brush().SetColor(0x010203);
    bmp.Canvas().FillRect({0, 0, 40, 20});
    TRect client;
    PaintControlBorder(bmp.Canvas().Handle(), {0, 0, 40, 20}, 0, data, 0, client);
    EXPECT_EQ(client, (TRect{0, 0, 40, 20}));
    EXPECT_EQ(bmp.Canvas().Pixels(0, 0), 0x010203);
    // With a width the strips take the background colour.
    PaintControlBorder(bmp.Canvas().Handle(), {0, 0, 40, 20}, 2, data, 0, client);
    EXPECT_EQ(client, (TRect{2, 2, 38, 18}));
    EXPECT_NE(bmp.Canvas().Pixels(0, 0), 0x010203);
    EXPECT_EQ(bmp.Canvas().Pixels(5, 5), 0x010203);
}

TEST_F(SkinPainting, SkinnedEditBorderLeavesTheClientInsideTheMask)
{
    tw::TForm form(nullptr);
    form.SetBounds(0, 0, 200, 100);
    tw::TEdit edit(&form);
    edit.SetParent(&form);
    edit.SetBounds(5, 5, 60, 22);
    TsCommonData data(&edit, true);
    data.COC = COC_TsEdit;
    data.Loaded();
    ASSERT_GE(data.BorderIndex, 0);
    data.InitCacheBmp();
    TRect client;
    PaintControlBorder(data.CacheBmp()->Canvas().Handle(), {0, 0, 60, 22}, 0, data, 0, client);
    const TsMaskData& m = manager->ma[size_t(data.BorderIndex)];
    EXPECT_EQ(client, (TRect{m.WL, m.WT, 60 - m.WR, 22 - m.WB}));
}

TEST_F(SkinPainting, RegionWithoutKeyPixels)
{
    tw::TBitmap b(4, 3, tw::pf24bit);
    b.Canvas().Brush().SetColor(0x000000);
    b.Canvas().FillRect({0, 0, 4, 3});
    b.Canvas().SetPixel(0, 0, clKeyColor);
    b.Canvas().SetPixel(3, 2, clKeyColor);
    HRGN rgn = nullptr;
    CreateMaskRegion(rgn, b.PixelView(), clKeyColor);
    ASSERT_NE(rgn, nullptr);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    EXPECT_TRUE(PtInRegion(rgn, 1, 0));
    EXPECT_FALSE(PtInRegion(rgn, 3, 2));
    EXPECT_TRUE(PtInRegion(rgn, 2, 2));
    DeleteObject(rgn);
}

TEST_F(SkinPainting, ItemOntoADeviceContext)
{
    const int panel = manager->GetSkinIndex("PANEL");
    TsGeneralData& s = Section("PANEL");
    s.Transparency = s.GradientPercent = s.ImagePercent = 0;
    s.Color = 0x204080;
    PaintItemToDC(panel, "PANEL", EmptyCacheInfo(), true, 0, {10, 4, 30, 16}, {0, 0}, bmp.Canvas().Handle(), nullptr);
    EXPECT_EQ(bmp.Canvas().Pixels(20, 10), 0x204080);
    EXPECT_EQ(PaintItemByName(bmp, "NOSUCH", "PANEL", 0, nullptr, {0, 0}, clKeyColor, nullptr), panel);
}

TEST_F(SkinPainting, HundredSkinSwitchesLeaveNoGdiHandles)
{
    tw::TForm form(nullptr);
    tw::TPanel panel(&form);
    panel.SetParent(&form);
    panel.SetBounds(0, 0, 80, 30);
    TsCommonData data(&panel, true);
    data.COC = COC_TsPanel;
    auto cycle = [&] {
        manager->SetActive(false);
        manager->SetActive(true);
        data.UpdateIndexes();
        data.InitCacheBmp();
        PaintControlItem(data, EmptyCacheInfo(), true, 0, {0, 0, 80, 30}, {0, 0}, *data.CacheBmp(), true);
        DrawSectionText(&data.CacheBmp()->Canvas(), "Step", true, {0, 0, 80, 30}, 0, data.SkinIndex, false);
    };
    cycle();
    const DWORD before = tw::test::GdiObjects();
    for (int i = 0; i < 100; ++i) cycle();
    EXPECT_LE(tw::test::GdiObjects(), before);
}

} // namespace
} // namespace skin

namespace skin {
namespace {

TEST_F(SkinPainting, AdaptedGroupBoxFrameBelowItsCaption)
{
    struct TCaptioned : tw::TPanel {
        using tw::TPanel::TPanel;
        void WndProc(tw::TMessage& m) override
        {
            if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_QUERYCAPTIONHEIGHT) {
                m.Result = 8;
                return;
            }
            tw::TPanel::WndProc(m);
        }
    };
    tw::TForm form(nullptr);
    TCaptioned box(&form);
    box.SetParent(&form);
    box.SetBounds(0, 0, 40, 20);
    form.Handle();
    bmp.Canvas().Brush().SetColor(0x010203);
    bmp.Canvas().FillRect({0, 0, 40, 20});
    PaintGroupBox(box.Handle(), bmp.Canvas().Handle());
    EXPECT_EQ(bmp.Canvas().Pixels(0, 3), 0x010203);     // the caption strip
    EXPECT_NE(bmp.Canvas().Pixels(0, 14), 0x010203);    // the left border
    EXPECT_EQ(bmp.Canvas().Pixels(20, 14), 0x010203);   // the inside
}

} // namespace
} // namespace skin

namespace skin {
namespace {

TEST_F(SkinPainting, TriangleGradientsComeThroughThePlatform)
{
    const int bar = manager->GetSkinIndex("BARTITLE");
    TsGeneralData& s = Section("BARTITLE");
    ASSERT_FALSE(s.GradientArray.empty());
    ASSERT_EQ(s.GradientArray[0].Mode, 2);
    s.GradientPercent = 100;
    s.ImagePercent = s.Transparency = 0;
    s.Color = 0x0000FF;
    tw::TBitmap item(40, 20, tw::pf24bit);
    PaintItemBG(manager.get(), bar, "BARTITLE", EmptyCacheInfo(), 0, {0, 0, 40, 20}, {0, 0}, item.PixelView());
    EXPECT_NE(item.Canvas().Pixels(20, 10), 0x0000FF);
    EXPECT_NE(item.Canvas().Pixels(0, 0), item.Canvas().Pixels(20, 10));
}

} // namespace
} // namespace skin
