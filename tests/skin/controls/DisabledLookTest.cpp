// Disabled skinned controls in the skin's disabled look: the finished cache
// mixed with what lies under it (the parent's picture 60 to 40, or its
// colour half and half) or made grey, and back to the enabled face when
// enabled again. Expected pixels are worked out from the pixels of the
// enabled face and of the parent.
#include <cmath>

#include "SkinnedControls.h"
#include "skin/controls/sButton.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/painting/BorderPainting.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {
namespace {

uint8_t Channel(COLORREF c, int i) { return uint8_t((c >> (8 * i)) & 0xFF); }

// Each channel round(a * ka + b * (1 - ka)), ties to even.
COLORREF Mix(COLORREF a, COLORREF b, double ka)
{
    COLORREF r = 0;
    for (int i = 0; i < 3; ++i) {
        const double v = Channel(a, i) * ka + Channel(b, i) * (1 - ka);
        r |= COLORREF(std::nearbyint(v)) << (8 * i);
    }
    return r;
}

class DisabledLookTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        panel = new TsPanel(form.get());
        panel->SetParent(form.get());
        panel->SetBounds(0, 100, 340, 120);
        // A section with a gradient: the panel answers with its picture.
        panel->SkinData.SetSkinSection("BARTITLE");
        onForm = new TsButton(form.get());
        onForm->SetParent(form.get());
        onForm->SetBounds(10, 10, 90, 30);
        onPanel = new TsSpeedButton(form.get());
        onPanel->SetParent(panel);
        onPanel->SetBounds(20, 20, 80, 30);
        check = new TsCheckBox(form.get());
        check->SetParent(form.get());
        check->SetBounds(120, 10, 120, 24);
        check->SetCaption("");
        ShowForm();
    }
    TsPanel* panel = nullptr;
    TsButton* onForm = nullptr;
    TsSpeedButton* onPanel = nullptr;
    TsCheckBox* check = nullptr;
};

TEST_F(DisabledLookTest, ButtonOverAPlainParentMixesWithItsColour)
{
    tw::TBitmap* cache = onForm->SkinData.CacheBmp();
    const int x = cache->Width() / 2, y = 3;
    const COLORREF enabled = test::CachePixel(cache, x, y);
    const COLORREF parent = COLORREF(GetControlColor(form.get()));
    onForm->SetEnabled(false);
    PaintNow();
    EXPECT_EQ(test::CachePixel(cache, x, y), Mix(enabled, parent, 0.5));
    onForm->SetEnabled(true);
    PaintNow();
    EXPECT_EQ(test::CachePixel(cache, x, y), enabled);
}

TEST_F(DisabledLookTest, ButtonOverASkinnedPanelShowsThePanelsPicture)
{
    tw::TBitmap* cache = onPanel->SkinData.CacheBmp();
    const int x = cache->Width() / 2, y = 3;
    const COLORREF enabled = test::CachePixel(cache, x, y);
    TacBGInfo info;
    ASSERT_TRUE(GetBGInfo(info, panel, false));
    ASSERT_EQ(info.BgType, btCache);
    const COLORREF under = COLORREF(PixelColor(info.Bmp, info.OffsetX + onPanel->Left() + x, info.OffsetY + onPanel->Top() + y));
    onPanel->SetEnabled(false);
    PaintNow();
    EXPECT_EQ(test::CachePixel(cache, x, y), Mix(under, enabled, 0.6));
    EXPECT_NE(test::CachePixel(cache, x, y), enabled);
}

TEST_F(DisabledLookTest, GrayedKindAndCheckBox)
{
    tw::TBitmap* cache = onForm->SkinData.CacheBmp();
    const int x = cache->Width() / 2, y = 3;
    const COLORREF enabled = test::CachePixel(cache, x, y);
    onForm->SetDisabledKind(dkGrayed);
    onForm->SetEnabled(false);
    PaintNow();
    const uint8_t grey = uint8_t((Channel(enabled, 0) + Channel(enabled, 1) + Channel(enabled, 2)) / 3);
    EXPECT_EQ(test::CachePixel(cache, x, y), RGB(grey, grey, grey));
    // No kind at all: the disabled face is the enabled one.
    onForm->SetDisabledKind(0);
    PaintNow();
    EXPECT_EQ(test::CachePixel(cache, x, y), enabled);

    tw::TBitmap* box = check->SkinData.CacheBmp();
    const int bx = box->Width() - 3, by = box->Height() / 2;
    const COLORREF boxEnabled = test::CachePixel(box, bx, by);
    check->SetEnabled(false);
    PaintNow();
    EXPECT_EQ(test::CachePixel(box, bx, by), Mix(boxEnabled, COLORREF(GetControlColor(form.get())), 0.5));
}

} // namespace
} // namespace skin
