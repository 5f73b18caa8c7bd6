// Skinned panel, group box and labels with real windows: sections from the
// skin, a cache painted again exactly when the background changed, labels
// in the skin's font colours, and the plain look while the skin is off.
#include <vector>

#include "SkinnedControls.h"
#include "skin/controls/sControlCache.h"
#include "skin/controls/sGroupBox.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"

namespace skin {
namespace {

class SkinnedPanelTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        panel = Add<TsPanel>(form.get(), 10, 10, 200, 120);
        panel->SetCaption("Step");
        box = Add<TsGroupBox>(form.get(), 220, 10, 120, 120);
        box->SetCaption("Options");
        label = Add<TsLabel>(panel, 5, 5, 80, 16);
        label->SetCaption("Label");
        ShowForm();
    }
    TsPanel* panel = nullptr;
    TsGroupBox* box = nullptr;
    TsLabel* label = nullptr;
};

TEST_F(SkinnedPanelTest, SectionsComeFromTheSkin)
{
    EXPECT_EQ(panel->SkinData.SkinSection(), "PANEL");
    EXPECT_EQ(panel->SkinData.SkinIndex, manager->GetSkinIndex("PANEL"));
    EXPECT_EQ(box->SkinData.SkinSection(), "GROUPBOX");
    EXPECT_TRUE(box->SkinData.Skinned());
    // Painted once at showing, at the control's size.
    EXPECT_EQ(panel->SkinData.CacheBmp()->Width(), 200);
    EXPECT_EQ(panel->SkinData.CacheBmp()->Height(), 120);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 120);
    EXPECT_GT(SendSkinCommand(box->Handle(), AC_QUERYCAPTIONHEIGHT), 0);
}

TEST_F(SkinnedPanelTest, CacheIsPaintedAgainExactlyWhenTheBackgroundChanged)
{
    tw::TBitmap* cache = panel->SkinData.CacheBmp();
    test::MarkCache(cache, 100, 100);
    // A repaint alone (children, other windows passing over) copies the cache.
    PaintNow();
    EXPECT_TRUE(test::CacheMarked(cache, 100, 100));
    // The caption is written over the copy: the background stays.
    panel->SetCaption("Step 2");
    PaintNow();
    EXPECT_TRUE(test::CacheMarked(cache, 100, 100));
    // The skin says the background changed.
    SendMessageW(panel->Handle(), SM_ALPHACMD, SkinWParam(AC_BGCHANGED), 0);
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 100, 100));
    // A new size is a new background.
    test::MarkCache(cache, 100, 100);
    panel->SetBounds(10, 10, 180, 110);
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 100, 100));
    EXPECT_EQ(cache->Width(), 180);
    // The reset and refresh sub-commands paint it again too.
    test::MarkCache(cache, 100, 100);
    SendMessageW(panel->Handle(), SM_ALPHACMD, SkinWParam(AC_RESETCACHE), 0);
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 100, 100));
}

TEST_F(SkinnedPanelTest, CacheShowsTheSectionNotTheControlColour)
{
    const TColor section = manager->gd[size_t(panel->SkinData.SkinIndex)].Color;
    panel->SetColor(tw::clRed);
    SendMessageW(panel->Handle(), SM_ALPHACMD, SkinWParam(AC_BGCHANGED), 0);
    PaintNow();
    const COLORREF middle = test::CachePixel(panel->SkinData.CacheBmp(), 100, 100);
    EXPECT_NE(middle, COLORREF(tw::clRed));
    // Flat sections show their colour in the middle (gradients come close).
    if (manager->gd[size_t(panel->SkinData.SkinIndex)].GradientPercent == 0 &&
        manager->gd[size_t(panel->SkinData.SkinIndex)].ImagePercent == 0)
        EXPECT_EQ(middle, COLORREF(section));
}

TEST_F(SkinnedPanelTest, LabelsTakeTheFontColourOfTheSectionTheyAreOn)
{
    TColor color = -1;
    ASSERT_TRUE(ParentSkinFontColor(label, color));
    EXPECT_EQ(color, manager->gd[size_t(panel->SkinData.SkinIndex)].FontColor[0]);
    // On a form without a skin the label keeps its own colour.
    TsLabel onForm(form.get());
    onForm.SetParent(form.get());
    EXPECT_FALSE(ParentSkinFontColor(&onForm, color));
    SkinOff();
    EXPECT_FALSE(ParentSkinFontColor(label, color));
}

TEST_F(SkinnedPanelTest, SkinOffGivesThePlainLookAndOnAgainTheSkin)
{
    SkinOff();
    EXPECT_FALSE(panel->SkinData.Skinned());
    EXPECT_FALSE(box->SkinData.Skinned());
    // Nothing is painted into the caches while the skin is off.
    EXPECT_EQ(panel->SkinData.CacheBmp()->Width(), 0);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 0);
    // The plain panel paints its own colour.
    panel->SetColor(tw::clRed);
    PaintNow();
    HDC dc = GetDC(panel->Handle());
    EXPECT_EQ(GetPixel(dc, 100, 100), COLORREF(tw::clRed));
    ReleaseDC(panel->Handle(), dc);
    SkinOn();
    EXPECT_TRUE(panel->SkinData.Skinned());
    EXPECT_EQ(panel->SkinData.CacheBmp()->Width(), 200);
    EXPECT_NE(test::CachePixel(panel->SkinData.CacheBmp(), 100, 100), COLORREF(tw::clRed));
}

TEST(SkinnedLabelFX, KindAndShadowColours)
{
    TsLabelFX label(nullptr);
    label.Kind().SetColor(tw::clYellow);
    EXPECT_EQ(label.Kind().Color(), tw::clYellow);
    label.Shadow().SetColor(0x112233);
    EXPECT_EQ(label.Shadow().R(), 0x33);
    EXPECT_EQ(label.Shadow().G(), 0x22);
    EXPECT_EQ(label.Shadow().B(), 0x11);
    // System colours are kept as their present RGB parts.
    label.Shadow().SetColor(tw::clBtnFace);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(label.Shadow().R(), GetRValue(face));
    EXPECT_EQ(label.Shadow().B(), GetBValue(face));
}

TEST_F(SkinnedPanelTest, GroupBoxFrameStartsBelowItsCaption)
{
    tw::TBitmap* cache = box->SkinData.CacheBmp();
    ASSERT_EQ(cache->Width(), 120);
    const int caption = int(SendSkinCommand(box->Handle(), AC_QUERYCAPTIONHEIGHT));
    ASSERT_GT(caption, 4);
    // Right of the caption text, the strip shows what lies under the box.
    const COLORREF under = COLORREF(tw::ColorToRGB(form->Color()));
    EXPECT_EQ(test::CachePixel(cache, 110, 0), under);
    EXPECT_EQ(test::CachePixel(cache, 110, caption - 2), under);
    // Below it the section: its frame, then its inside.
    EXPECT_NE(test::CachePixel(cache, 110, caption + 1), under);
    EXPECT_NE(test::CachePixel(cache, 60, 80), under);
    // A caption in a larger font moves the frame down.
    test::MarkCache(cache, 60, 80);
    box->Font().SetSize(16);
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 60, 80));
    EXPECT_EQ(test::CachePixel(cache, 110, caption + 1), under);
}

// The box's pixels as its window shows them now.
std::vector<COLORREF> Shown(tw::TWinControl* c)
{
    tw::TBitmap shot(c->Width(), c->Height(), tw::pf32bit);
    HDC dc = GetDC(c->Handle());
    BitBlt(shot.Canvas().Handle(), 0, 0, c->Width(), c->Height(), dc, 0, 0, SRCCOPY);
    ReleaseDC(c->Handle(), dc);
    std::vector<COLORREF> out;
    for (int y = 0; y < c->Height(); ++y)
        for (int x = 0; x < c->Width(); ++x) out.push_back(test::Pixel(shot, x, y));
    return out;
}

// A group box drawn enabled or disabled shows the new state once its paint
// has run, with nothing else asking for a repaint: its caption's colour
// comes from its own state.
TEST_F(SkinnedPanelTest, GroupBoxShowsItsNewEnabledStateAtOnce)
{
    for (const bool enabled : {false, true, false}) {
        SCOPED_TRACE(enabled ? "enabled" : "disabled");
        box->SetEnabled(enabled);
        // Only what is invalid is painted.
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        tw::Application->ProcessMessages();
        const std::vector<COLORREF> after = Shown(box);
        RedrawWindow(box->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        EXPECT_EQ(after, Shown(box)) << "the box shows its old state until it is painted whole";
    }
}

} // namespace
} // namespace skin
