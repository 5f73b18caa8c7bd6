// Windowed skinned buttons painted by the button painter: a border mask
// with key-coloured corners cuts them from the window's outline, a mask
// whose corners weigh the background shows what lies under the button
// there, and without the skin the window is whole again.
#include <vector>

#include "SkinnedControls.h"
#include "skin/controls/sButton.h"
#include "skin/controls/sButtons.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {
namespace {

class ButtonOutline : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        button = new TsButton(form.get());
        button->SetParent(form.get());
        button->SetBounds(10, 10, 80, 26);
        bit = new TsBitBtn(form.get());
        bit->SetParent(form.get());
        bit->SetBounds(10, 50, 80, 26);
        ShowForm();
    }
    // A 3 x 3 mask of one frame, its four corner pixels in the key colour.
    int AddKeyCornerMask()
    {
        TsMaskData m;
        m.Bmp = std::make_unique<TPixelImage>(3, 3, 24);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                uint8_t* p = m.Bmp->View().Pixel(x, y);
                const bool corner = (x != 1) && (y != 1);
                p[0] = corner ? 0xFF : 0x20, p[1] = corner ? 0x00 : 0x20, p[2] = corner ? 0xFF : 0x20;
            }
        m.R = {0, 0, 3, 3};
        m.ImageCount = 1;
        m.StretchMode = 4;
        m.WL = m.WT = m.WR = m.WB = 1;
        m.Manager = manager.get();
        manager->ma.push_back(std::move(m));
        return int(manager->ma.size()) - 1;
    }
    template <class B> void Repaint(B* b, int borderIndex)
    {
        b->SkinData.BorderIndex = borderIndex;
        b->SkinData.BGChangedFlag = true;
        b->Invalidate();
        PaintNow();
    }
    static bool HasRegion(HWND wnd)
    {
        HRGN r = CreateRectRgn(0, 0, 0, 0);
        const bool has = GetWindowRgn(wnd, r) != ERROR;
        DeleteObject(r);
        return has;
    }
    static bool InRegion(HWND wnd, int x, int y)
    {
        HRGN r = CreateRectRgn(0, 0, 0, 0);
        GetWindowRgn(wnd, r);
        const bool in = PtInRegion(r, x, y) != FALSE;
        DeleteObject(r);
        return in;
    }
    TsButton* button = nullptr;
    TsBitBtn* bit = nullptr;
};

TEST_F(ButtonOutline, KeyCornersAreCutFromTheWindow)
{
    const int own = button->SkinData.BorderIndex;
    ASSERT_GE(own, 0);
    const int keyed = AddKeyCornerMask();
    for (tw::TWinControl* b : {static_cast<tw::TWinControl*>(button), static_cast<tw::TWinControl*>(bit)}) {
        if (b == button) Repaint(button, keyed);
        else Repaint(bit, keyed);
        HWND wnd = b->Handle();
        ASSERT_TRUE(HasRegion(wnd));
        EXPECT_FALSE(InRegion(wnd, 0, 0));
        EXPECT_FALSE(InRegion(wnd, 79, 0));
        EXPECT_FALSE(InRegion(wnd, 0, 25));
        EXPECT_FALSE(InRegion(wnd, 79, 25));
        EXPECT_TRUE(InRegion(wnd, 1, 0));
        EXPECT_TRUE(InRegion(wnd, 40, 13));
    }
    // The side pixels are the mask's; the key pixels the parent's colour.
    tw::TBitmap* cache = button->SkinData.CacheBmp();
    EXPECT_EQ(test::CachePixel(cache, 40, 0), RGB(0x20, 0x20, 0x20));
    EXPECT_EQ(test::CachePixel(cache, 0, 0), COLORREF(GetControlColor(form.get())));

    // Back to the skin's own mask: its rounded outline.
    Repaint(button, own);
    ASSERT_TRUE(HasRegion(button->Handle()));
    EXPECT_FALSE(InRegion(button->Handle(), 0, 0));
    EXPECT_TRUE(InRegion(button->Handle(), 0, 13));
    EXPECT_TRUE(InRegion(button->Handle(), 40, 13));
    // Without the skin no outline stays behind.
    ASSERT_TRUE(HasRegion(bit->Handle()));
    SkinOff();
    EXPECT_FALSE(HasRegion(bit->Handle()));
    EXPECT_FALSE(HasRegion(button->Handle()));
}

TEST_F(ButtonOutline, WeighedCornersShowWhatLiesUnderTheButton)
{
    // Our skin's button mask: fully transparent corner pixels are cut from
    // the window, partly transparent ones are weighed against what lies
    // under the button, so a new form colour shows in them.
    const TsMaskData& m = manager->ma[size_t(button->SkinData.BorderIndex)];
    ASSERT_EQ(m.MaskType, 1);
    HWND wnd = button->Handle();
    ASSERT_TRUE(HasRegion(wnd));
    EXPECT_FALSE(InRegion(wnd, 0, 0));
    tw::TBitmap* cache = button->SkinData.CacheBmp();
    std::vector<COLORREF> before;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) before.push_back(test::CachePixel(cache, x, y));
    const COLORREF middle = test::CachePixel(cache, 40, 13);
    form->SetColor(TColor(GetControlColor(form.get()) ^ 0x404040));
    Repaint(button, button->SkinData.BorderIndex);
    int changed = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            if (InRegion(wnd, x, y) && test::CachePixel(cache, x, y) != before[size_t(y * 3 + x)]) ++changed;
    EXPECT_GT(changed, 0);
    EXPECT_EQ(test::CachePixel(cache, 40, 13), middle);   // the face itself is the section's
}

TEST_F(ButtonOutline, FocusedButtonShowsDots)
{
    button->SetFocus();
    button->Invalidate();
    PaintNow();
    HDC dc = GetDC(button->Handle());
    const COLORREF dot = GetPixel(dc, 3, 3), between = GetPixel(dc, 4, 3), shadow = GetPixel(dc, 5, 2);
    const COLORREF nextDot = GetPixel(dc, 6, 3), down = GetPixel(dc, 3, 6);
    ReleaseDC(button->Handle(), dc);
    // Every third pixel black along the edges, its white shadow up and
    // left of it; the face between them.
    EXPECT_EQ(dot, 0u);
    EXPECT_EQ(nextDot, 0u);
    EXPECT_EQ(down, 0u);
    EXPECT_EQ(shadow, 0xFFFFFFu);
    EXPECT_NE(between, 0u);
}

} // namespace
} // namespace skin
