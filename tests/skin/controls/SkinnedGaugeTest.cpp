// Skinned gauge, status bar and hint window with real windows: the gauge's
// value, its repaint only when the shown percentage changes, the bar's
// painting under and without the skin, and hints in skinned windows.
#include "SkinnedControls.h"
#include "skin/controls/sGauge.h"
#include "skin/controls/sHintWindow.h"
#include "skin/controls/sStatusBar.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/data/sMaskData.h"
#include "ui/Application.h"

namespace skin {
namespace {

// A pixel of the picture a window's paint draws into a memory device
// context of its client size (WM_PAINT with the context given).
COLORREF PaintedPixel(HWND wnd, int x, int y)
{
    RECT r;
    GetClientRect(wnd, &r);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, r.right > 0 ? r.right : 1, r.bottom > 0 ? r.bottom : 1);
    HGDIOBJ old = SelectObject(mem, bmp);
    SendMessageW(wnd, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
    const COLORREF c = GetPixel(mem, x, y);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return c;
}

class SkinnedGaugeTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        gauge = new TsGauge(form.get());
        gauge->SetParent(form.get());
        gauge->SetBounds(10, 10, 200, 24);
        bar = new TsStatusBar(form.get());
        bar->SetParent(form.get());
        bar->SetAlign(tw::alBottom);
        bar->SetSimplePanel(true);
        bar->SetSimpleText("recording.ts");
        ShowForm();
    }
    TsGauge* gauge = nullptr;
    TsStatusBar* bar = nullptr;
};

TEST_F(SkinnedGaugeTest, ProgressIsLimitedAndChangesAreReported)
{
    int changes = 0;
    gauge->OnChange = [&](tw::TObject*) { ++changes; };
    gauge->SetProgress(150);
    EXPECT_EQ(gauge->Progress(), 100);
    gauge->SetProgress(-5);
    EXPECT_EQ(gauge->Progress(), 0);
    gauge->SetProgress(0);   // no change, no event
    EXPECT_EQ(changes, 2);
    gauge->SetProgress(42);
    EXPECT_EQ(gauge->ShownText(), "42%");
    gauge->SetSuffix(" %");
    EXPECT_EQ(gauge->ShownText(), "42 %");
}

TEST_F(SkinnedGaugeTest, RepaintsOnlyWhenTheShownPercentageChanges)
{
    EXPECT_EQ(gauge->SkinData.SkinSection(), "GAUGE");
    gauge->SetMaxValue(1000);
    gauge->SetProgress(0);
    PaintNow();
    tw::TBitmap* cache = gauge->SkinData.CacheBmp();
    ASSERT_EQ(cache->Width(), 200);
    test::MarkCache(cache, 100, 12);
    for (int v = 1; v < 10; ++v) gauge->SetProgress(v);   // still 0 %
    PaintNow();
    EXPECT_TRUE(test::CacheMarked(cache, 100, 12));
    gauge->SetProgress(500);
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 100, 12));
    // Half done: the filled part differs from the empty one.
    gauge->SetShowText(false);   // through the plain gauge: still a new face
    PaintNow();
    EXPECT_NE(test::CachePixel(cache, 50, 12), test::CachePixel(cache, 150, 12));
}

TEST_F(SkinnedGaugeTest, StatusBarPaintsFromItsSectionAndPlainWithoutTheSkin)
{
    EXPECT_EQ(bar->SkinData.SkinSection(), "STATUSBAR");
    EXPECT_EQ(bar->SkinData.CacheBmp()->Width(), bar->Width());
    // A new text is painted over the cache, which stays the background.
    test::MarkCache(bar->SkinData.CacheBmp(), bar->Width() - 30, 2);
    bar->SetSimpleText("other.ts");
    PaintNow();
    EXPECT_TRUE(test::CacheMarked(bar->SkinData.CacheBmp(), bar->Width() - 30, 2));
    SkinOff();
    EXPECT_FALSE(bar->SkinData.Skinned());
    EXPECT_FALSE(gauge->SkinData.Skinned());
    bar->SetSimpleText("plain.ts");
    gauge->SetProgress(30);
    PaintNow();
    EXPECT_EQ(bar->SkinData.CacheBmp()->Width(), 0);
    EXPECT_EQ(gauge->SkinData.CacheBmp()->Width(), 0);
    SkinOn();
    EXPECT_EQ(bar->SkinData.CacheBmp()->Width(), bar->Width());
    EXPECT_EQ(gauge->SkinData.CacheBmp()->Width(), 200);
}

TEST_F(SkinnedGaugeTest, HintsComeInSkinnedWindowsAndPlainOnesAgain)
{
    UseSkinnedHints(true);
    tw::Application->ActivateHint("first line\nsecond line", TPoint{50, 50});
    auto* hint = dynamic_cast<TacCustomHintWindow*>(tw::Application->HintWindow());
    ASSERT_NE(hint, nullptr);
    const int oneLine = hint->CalcHintRect("first line").Height();
    EXPECT_GT(hint->Height(), oneLine);
    EXPECT_GT(hint->Width(), hint->CalcHintRect("first").Width());
    UpdateWindow(hint->Handle());
    const COLORREF plainColour = static_cast<COLORREF>(tw::ColorToRGB(hint->Color()));
    const COLORREF skinned = PaintedPixel(hint->Handle(), 1, 1);
    EXPECT_NE(skinned, plainColour) << "the skinned hint paints its section, not the plain hint colour";
    // Without the skin the same window paints plainly: its own colour.
    manager->SetActive(false);
    InvalidateRect(hint->Handle(), nullptr, TRUE);
    UpdateWindow(hint->Handle());
    EXPECT_EQ(PaintedPixel(hint->Handle(), 1, 1), plainColour);
    manager->SetActive(true);
    UseSkinnedHints(false);
    tw::Application->ActivateHint("plain", TPoint{50, 50});
    EXPECT_EQ(dynamic_cast<TacCustomHintWindow*>(tw::Application->HintWindow()), nullptr);
    tw::Application->CancelHint();
}

TEST_F(SkinnedGaugeTest, TheSkinnedHintIsCutToItsSectionsTransparentCorners)
{
    UseSkinnedHints(true);
    tw::Application->ActivateHint("a hint of some length", TPoint{50, 50});
    auto* hint = dynamic_cast<TacCustomHintWindow*>(tw::Application->HintWindow());
    ASSERT_NE(hint, nullptr);
    HWND wnd = hint->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;

    int section = manager->GetSkinIndex("HINT");
    if (!manager->SkinIndexValid(section))
        section = manager->GetSkinIndex("PANEL");
    ASSERT_TRUE(manager->SkinIndexValid(section));
    const int maskIndex = manager->GetMaskIndex(section, manager->gd[size_t(section)].Name, "BORDERSMASK");
    ASSERT_GE(maskIndex, 0);
    const TsMaskData& mask = manager->ma[size_t(maskIndex)];
    const tw::TPixelView& src = mask.Bmp ? mask.Bmp->View() : manager->MasterBitmap->View();
    const int left = mask.Bmp ? 0 : mask.R.Left, top = mask.Bmp ? 0 : mask.R.Top;
    const int fw = MaskFrameWidth(mask);
    ASSERT_LT(mask.WL + mask.WR, w);
    auto isKey = [&](int x, int y) {
        const uint8_t* p = src.Pixel(left + x, top + y);
        return p[0] == 0xFF && p[1] == 0x00 && p[2] == 0xFF;
    };

    TGdiObject rgnObject(CreateRectRgn(0, 0, 0, 0));
    const HRGN rgn = static_cast<HRGN>(rgnObject.Get());
    ASSERT_NE(GetWindowRgn(wnd, rgn), ERROR);
    // The upper corners, pixel by pixel: a key pixel of the mask is outside
    // the window, any other inside.
    int keys = 0;
    for (int y = 0; y < mask.WT; ++y)
        for (int x = 0; x < mask.WL; ++x) {
            keys += isKey(x, y);
            EXPECT_EQ(PtInRegion(rgn, x, y) != 0, !isKey(x, y)) << "top-left " << x << "," << y;
            const int sx = fw - 1 - x;
            EXPECT_EQ(PtInRegion(rgn, w - 1 - x, y) != 0, !isKey(sx, y)) << "top-right " << x << "," << y;
        }
    EXPECT_GT(keys, 0) << "the skin's corner has transparent pixels to cut";
    EXPECT_TRUE(PtInRegion(rgn, w / 2, h / 2));
    EXPECT_TRUE(PtInRegion(rgn, w / 2, 0));

    // Without the skin the next hint is a plain rectangle again.
    manager->SetActive(false);
    tw::Application->ActivateHint("a plain hint", TPoint{60, 60});
    EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    manager->SetActive(true);
    tw::Application->CancelHint();
    UseSkinnedHints(false);
}

} // namespace
} // namespace skin
