// Glow windows under Wine: the halo's window (styles, place, size, click-
// through), the picture it is given, and the glow list's ids. The layered
// update goes through a recorder: its result cannot be seen on screen here.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "ui/Application.h"
#include "ui/Forms.h"

namespace skin {
namespace {

struct TLayeredCall {
    HWND Wnd = nullptr;
    SIZE Size{};
    DWORD Flags = 0;
    BLENDFUNCTION Blend{};
    std::vector<uint32_t> Pixels;   // top row first
};
std::vector<TLayeredCall> Calls;

BOOL WINAPI RecordLayered(HWND wnd, HDC, POINT*, SIZE* size, HDC src, POINT*, COLORREF, BLENDFUNCTION* blend,
                          DWORD flags)
{
    TLayeredCall c;
    c.Wnd = wnd;
    c.Size = *size;
    c.Flags = flags;
    c.Blend = *blend;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = size->cx;
    bi.bmiHeader.biHeight = -size->cy;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    c.Pixels.resize(size_t(size->cx) * size_t(size->cy));
    GetDIBits(src, static_cast<HBITMAP>(GetCurrentObject(src, OBJ_BITMAP)), 0, UINT(size->cy), c.Pixels.data(), &bi,
              DIB_RGB_COLORS);
    Calls.push_back(std::move(c));
    return TRUE;
}
TUpdateLayeredWindow Recorder() { return RecordLayered; }
TUpdateLayeredWindow NoLayeredWindows() { return nullptr; }

class GlowTest : public ::testing::Test {
protected:
    TsSkinManager sm;
    void SetUp() override
    {
        tw::Application->Initialize();
        Calls.clear();
        GlowLayeredEntry = Recorder;
        // BUTTON's "GLOW0": 6 x 6, borders 2; red, its top-left corner at
        // alpha 102.
        TsMaskData& m = sm.ma.emplace_back();
        m.Manager = &sm;
        m.SectionName = "BUTTON";
        m.PropertyName = "GLOW0";
        m.Bmp = std::make_unique<TPixelImage>(6, 6, 32);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x) {
                uint8_t* p = m.Bmp->View().Pixel(x, y);
                p[2] = 255;
                p[3] = x == 0 && y == 0 ? 102 : 255;
            }
        m.R = {0, 0, 6, 6};
        m.ImageCount = 1;
        m.WL = m.WT = m.WR = m.WB = 2;
    }
    void TearDown() override
    {
        ClearGlows(true);
        GlowLayeredEntry = UpdateLayeredWindowEntry;
    }
};

} // namespace

TEST_F(GlowTest, HaloWindowIsLayeredClickThroughAndPlacedAroundTheControl)
{
    const int id = ShowGlow(TRect(100, 60, 140, 80), TRect(0, 0, 40, 20), "BUTTON", &sm, nullptr, 1, "GLOW");
    ASSERT_EQ(id, 0);
    HWND wnd = GlowWindow(id);
    ASSERT_TRUE(wnd);
    const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(ex & WS_EX_TOPMOST);
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_CAPTION);
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_NE(GetForegroundWindow(), wnd);
    RECT wr;
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.left, 100 - 2 + 1);
    EXPECT_EQ(wr.top, 60 - 2 + 1);
    EXPECT_EQ(wr.right - wr.left, 40 + 4 - 2);
    EXPECT_EQ(wr.bottom - wr.top, 20 + 4 - 2);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(110, 65)), HTTRANSPARENT);

    ASSERT_EQ(Calls.size(), 1u);
    const TLayeredCall& c = Calls[0];
    EXPECT_EQ(c.Wnd, wnd);
    EXPECT_EQ(c.Size.cx, 42);
    EXPECT_EQ(c.Size.cy, 22);
    EXPECT_EQ(c.Flags, DWORD(ULW_ALPHA));
    EXPECT_EQ(c.Blend.SourceConstantAlpha, 255);
    EXPECT_EQ(c.Blend.AlphaFormat, AC_SRC_ALPHA);
    // The corner's colour comes multiplied by its alpha, as layered windows
    // take it; the centre under the control stays clear.
    EXPECT_EQ(c.Pixels[0], 0x66660000u);
    EXPECT_EQ(c.Pixels[5], 0xFFFF0000u);
    EXPECT_EQ(c.Pixels[size_t(10) * 42 + 20], 0u);
}

TEST_F(GlowTest, IdsStayStableAndHidingTwiceOrOutOfRangeDoesNothing)
{
    const int a = ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW");
    const int b = ShowGlow(TRect(50, 0, 70, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW");
    ASSERT_EQ(a, 0);
    ASSERT_EQ(b, 1);
    HWND first = GlowWindow(a);
    HideGlow(a);
    EXPECT_EQ(GlowWindow(a), nullptr);
    for (int id : {a, -1, 7}) HideGlow(id);
    EXPECT_TRUE(GlowWindow(b));
    // The hidden glow's window goes once the message loop runs.
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW"), 2);

    HWND second = GlowWindow(b);
    ClearGlows(true);
    EXPECT_FALSE(IsWindow(second));
    EXPECT_EQ(GlowWindow(b), nullptr);
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW"), 0);
}

TEST_F(GlowTest, NoHaloWithoutMaskLayeredWindowsOrAnythingToShow)
{
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "EDIT", &sm, nullptr, 0, "GLOW"), -1);
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "SHINE"), -1);
    // Hidden control; a halo eaten by its margin.
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 0, 0), "BUTTON", &sm, nullptr, 0, "GLOW"), -1);
    EXPECT_EQ(ShowGlow(TRect(0, 0, 2, 2), TRect(0, 0, 2, 2), "BUTTON", &sm, nullptr, 4, "GLOW"), -1);
    GlowLayeredEntry = NoLayeredWindows;
    EXPECT_EQ(ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW"), -1);
    EXPECT_TRUE(Calls.empty());
}

TEST_F(GlowTest, HaloOfATopmostHostStaysOnTopAndIsCutWithItsControl)
{
    tw::TForm host(nullptr);
    host.SetFormStyle(tw::fsStayOnTop);
    host.SetBounds(10, 10, 200, 100);
    ASSERT_TRUE(GetWindowLongPtrW(host.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    // The control's left 10 pixels lie outside its parent.
    const int id = ShowGlow(TRect(100, 60, 140, 80), TRect(10, 0, 40, 20), "BUTTON", &sm, host.Handle(), 1, "GLOW");
    ASSERT_GE(id, 0);
    HWND wnd = GlowWindow(id);
    EXPECT_TRUE(GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT wr;
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.left, 110);
    EXPECT_EQ(wr.right - wr.left, 30 + 2 - 1);
    ASSERT_EQ(Calls.size(), 1u);
    // The cut halo starts inside the full one: no corner pixel at its left.
    EXPECT_EQ(Calls[0].Pixels[0], 0xFFFF0000u);
}

} // namespace skin

namespace skin {

TEST_F(GlowTest, PlatformLayeredUpdateTakesTheHalo)
{
    GlowLayeredEntry = UpdateLayeredWindowEntry;
    if (!LayeredWindowsAvailable()) GTEST_SKIP() << "no layered windows";
    const int id = ShowGlow(TRect(0, 0, 20, 20), TRect(0, 0, 20, 20), "BUTTON", &sm, nullptr, 0, "GLOW");
    ASSERT_EQ(id, 0);
    EXPECT_TRUE(IsWindowVisible(GlowWindow(id)));
    BYTE alpha = 0;
    DWORD flags = 0;
    // The window holds a per-pixel picture, not a constant alpha or key.
    EXPECT_FALSE(GetLayeredWindowAttributes(GlowWindow(id), nullptr, &alpha, &flags) && (flags & LWA_ALPHA));
}

} // namespace skin

#ifdef TW_SKIN_ARCHIVE
#include <cmath>

#include "SkinTestControls.h"
#include "skin/engine/data/FormGeometry.h"
#include "skin/windows/acSBAnimation.h"

namespace skin {
namespace {

// A layered window with per-pixel alpha adds each colour as given over what
// lies below: a colour above its alpha brightens the screen, a transparent
// pixel that keeps a colour shows as a box around the halo. The own skin's
// halos are soft PNG pictures whose outer corners keep their colour at alpha
// 0, the case a missed multiplication shows at once.
class OwnSkinGlowTest : public ::testing::Test {
protected:
    TsSkinManager manager;
    void SetUp() override
    {
        tw::Application->Initialize();
        Calls.clear();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        GlowLayeredEntry = Recorder;
    }
    void TearDown() override
    {
        ClearGlows(true);
        GlowLayeredEntry = UpdateLayeredWindowEntry;
        DefaultManager = nullptr;
    }

    // Every pixel premultiplied; alpha 0 is black.
    static void ExpectPremultiplied(const TLayeredCall& c)
    {
        int faults = 0;
        for (uint32_t p : c.Pixels) {
            const uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (r > a || g > a || b > a) ++faults;
        }
        EXPECT_EQ(faults, 0) << "pixels with a colour above their alpha";
    }

    // The corner of a halo picture as the skin draws it: transparent
    // inside, fading out over m pixels as (1 - d/m)^2 * 150, in one colour.
    static void ExpectCorner(const TLayeredCall& c, int m, int red, int green, int blue)
    {
        for (int y = 0; y < m; ++y)
            for (int x = 0; x < m; ++x) {
                const double d = std::hypot(double(m - x), double(m - y));
                const double f = std::max(0.0, 1 - d / m);
                const int a = int(std::lround(f * f * 150));
                const uint32_t p = c.Pixels[size_t(y) * size_t(c.Size.cx) + size_t(x)];
                const int pa = int(p >> 24), pr = int((p >> 16) & 0xFF), pg = int((p >> 8) & 0xFF), pb = int(p & 0xFF);
                EXPECT_NEAR(pa, a, 1) << x << "," << y;
                EXPECT_NEAR(pr, red * a / 255.0, 1.5) << x << "," << y;
                EXPECT_NEAR(pg, green * a / 255.0, 1.5) << x << "," << y;
                EXPECT_NEAR(pb, blue * a / 255.0, 1.5) << x << "," << y;
            }
    }
};

} // namespace

TEST_F(OwnSkinGlowTest, ControlAndCaptionHalosReachTheWindowPremultiplied)
{
    // A button's halo (BTNGLOW: 12-pixel borders, the accent colour).
    const int id = ShowGlow(TRect(200, 150, 280, 175), TRect(0, 0, 80, 25), "BUTTON", &manager, nullptr, 3, "GLOW");
    ASSERT_GE(id, 0);
    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Size.cx, 80 + 24 - 6);
    ExpectPremultiplied(Calls[0]);
    ExpectCorner(Calls[0], 12, 74, 144, 217);
    EXPECT_EQ(Calls[0].Pixels[0], 0u);
    // The middle, where the button itself shows, is clear.
    EXPECT_EQ(Calls[0].Pixels[size_t(Calls[0].Size.cy / 2) * size_t(Calls[0].Size.cx) + size_t(Calls[0].Size.cx / 2)], 0u);

    // The close button's halo, as a hot caption button shows it.
    ASSERT_TRUE(manager.AllowGlowing());
    TacButtonFx fx;
    ShowCaptionGlow(fx, &manager, TCaptionGlyph{htClose, true, false, false}, tw::TRect(300, 100, 330, 122), nullptr);
    ASSERT_GE(fx.GlowId, 0);
    ASSERT_EQ(Calls.size(), 2u);
    ExpectPremultiplied(Calls[1]);
    ExpectCorner(Calls[1], 8, 230, 90, 90);
    HideCaptionGlow(fx);
}

} // namespace skin
#endif
