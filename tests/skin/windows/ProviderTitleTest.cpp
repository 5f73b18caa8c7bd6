// The provider's title and frame under Wine: the extended border drawing the
// form's title and frame while the form keeps only its client, its hit test
// and clicks reaching the form, the measures with and without it, the raised
// title of a zoomed form, the owner-closing state, user button hints and
// glyphs, the help button of the small set, and the layered show fade.
// Layered windows cannot be seen under Wine: a recorder stands in for the
// layered update and the pictures are read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

struct TLayeredCall {
    HWND Wnd;
    SIZE Size;
    BYTE Alpha;
};
std::vector<TLayeredCall> g_calls;

BOOL WINAPI RecordLayered(HWND wnd, HDC, POINT*, SIZE* size, HDC, POINT*, COLORREF, BLENDFUNCTION* blend, DWORD)
{
    g_calls.push_back({wnd, size ? *size : SIZE{}, blend ? blend->SourceConstantAlpha : BYTE(0)});
    return TRUE;
}
TUpdateLayeredWindow Entry() { return RecordLayered; }

class ProviderTitleTest : public test::LayeredFormTest {
protected:
    ProviderTitleTest() : LayeredFormTest("Title", 320, 220, Entry) {}
    void SetUp() override
    {
        g_calls.clear();
        LayeredFormTest::SetUp();
    }
    // The form's frame picture as WM_PRINT gives it, in window coordinates.
    std::vector<uint32_t> Print(int& w) { return test::PrintFrame(form->Handle(), w); }
    static POINT Centre(const TRect& r, const TRect& origin)
    {
        return POINT{origin.Left + (r.Left + r.Right) / 2, origin.Top + (r.Top + r.Bottom) / 2};
    }
};

TEST_F(ProviderTitleTest, MeasuresFollowTheExtendedBorder)
{
    // Without the border window the system's metrics decide.
    EXPECT_EQ(provider->SkinBorderWidth(), 0);
    EXPECT_EQ(provider->SkinTitleHeight(), 0);
    EXPECT_EQ(provider->TitleBarHeight(true), GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(provider->FormBorderWidth(true), GetSystemMetrics(SM_CXFRAME));
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    EXPECT_EQ(provider->SkinBorderWidth(), manager.SkinData.BorderWidth);
    EXPECT_EQ(provider->SkinTitleHeight(), manager.SkinData.TitleHeight);
    EXPECT_EQ(provider->TitleBarHeight(true), manager.SkinData.TitleHeight);
    EXPECT_EQ(provider->TitleBarHeight(false), GetSystemMetrics(SM_CYCAPTION));
    EXPECT_EQ(provider->FormBorderWidth(false), GetSystemMetrics(SM_CXFRAME));
    EXPECT_FALSE(provider->TitleHeightRaised());

    // A zoomed form whose skin title is lower than the system's gets it raised.
    manager.SkinData.TitleHeight = 10;
    ShowWindow(form->Handle(), SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(provider->TitleHeightRaised());
    EXPECT_EQ(provider->TitleBarHeight(true), GetSystemMetrics(SM_CYCAPTION) + 4);
    ShowWindow(form->Handle(), SW_RESTORE);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(provider->TitleHeightRaised());

    // Raised below the system caption height plus 4, not from there on.
    for (const int title : {GetSystemMetrics(SM_CYCAPTION) + 3, GetSystemMetrics(SM_CYCAPTION) + 4}) {
        manager.SkinData.TitleHeight = title;
        ShowWindow(form->Handle(), SW_MAXIMIZE);
        tw::Application->ProcessMessages();
        EXPECT_EQ(provider->TitleHeightRaised(), title < GetSystemMetrics(SM_CYCAPTION) + 4) << title;
        ShowWindow(form->Handle(), SW_RESTORE);
        tw::Application->ProcessMessages();
    }
}

// A maximized form keeps its title on the extended border: the border window
// stays and draws the title right above the form's region, answers for the
// title and its buttons, and shows nothing beyond the work area. A skin
// title lower than the system's caption plus 4 is raised to that.
TEST_F(ProviderTitleTest, AMaximizedFormKeepsItsTitleOnTheExtendedBorder)
{
    const int sys = GetSystemMetrics(SM_CXFRAME), cap = GetSystemMetrics(SM_CYCAPTION);
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const HWND wnd = form->Handle();
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi));
    const auto regionTop = [wnd] {
        RECT box{};
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        GetWindowRgn(wnd, rgn);
        GetRgnBox(rgn, &box);
        DeleteObject(rgn);
        return box.top;
    };
    // -1 off the picture: a rule broken fails the test, it does not read
    // beyond the picture.
    const auto alpha = [b](int x, int y) {
        const tw::TPixelView& v = b->Picture().View();
        x -= b->Bounds().Left;
        y -= b->Bounds().Top;
        return x >= 0 && y >= 0 && x < v.Width && y < v.Height ? int(v.Pixel(x, y)[3]) : -1;
    };
    const auto hit = [b](int x, int y) { return SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
    for (const int title : {10, cap + 12}) {
        SCOPED_TRACE(title);
        manager.SkinData.TitleHeight = manager.SkinData.MaxHeight = title;
        const bool raised = title < cap + 4;
        const int height = raised ? cap + 4 : title;
        ShowWindow(wnd, SW_MAXIMIZE);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsZoomed(wnd));
        ASSERT_EQ(provider->BorderForm(), b);
        EXPECT_TRUE(IsWindowVisible(b->Handle()));
        EXPECT_EQ(provider->TitleHeightRaised(), raised);
        EXPECT_EQ(provider->TitleBarHeight(true), height);
        EXPECT_EQ(provider->TitleBarHeight(false), raised ? cap + 4 : cap);
        // The region from (B, T - 4), T = B + the raised title: below the
        // system's title either way.
        EXPECT_EQ(regionTop(), sys + cap);
        // The same when the region is made again with the title raised (an
        // activation makes it anew).
        SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
        EXPECT_EQ(regionTop(), sys + cap);

        // On the screen the raised title begins where the work area does; a
        // higher one has its top border beyond the screen, as the sides.
        RECT wr;
        GetWindowRect(wnd, &wr);
        const int x = (wr.left + wr.right) / 2, top = wr.top + sys + cap;
        EXPECT_EQ(wr.left, mi.rcWork.left - sys);
        if (raised)
            EXPECT_GE(top - height, mi.rcWork.top);
        else
            EXPECT_EQ(top - height, mi.rcWork.top - sys);
        // The border's picture: the title opaque down to the region, the
        // client clear; nothing of frame or shadow beyond the work area
        // (a neighbouring monitor, the taskbar), and no click taken there.
        EXPECT_EQ(alpha(x, mi.rcWork.top), 0xFF);
        EXPECT_EQ(alpha(x, top - 1), 0xFF);
        EXPECT_EQ(alpha(x, top + 2), 0);
        EXPECT_EQ(alpha(mi.rcWork.left - 1, top - 2), 0);
        EXPECT_EQ(alpha(x, mi.rcWork.top - 1), 0);
        EXPECT_EQ(hit(mi.rcWork.left - 1, top - 2), HTTRANSPARENT);

        // The title and its restore button answer on the border; the button
        // gives the form its size back, with the skin's own title.
        EXPECT_EQ(hit(x - 30, top - 5), HTCAPTION);
        const TRect m = b->Margins();
        const POINT restore = Centre(provider->Buttons().Max, TRect(b->Bounds().Left + m.Left, b->Bounds().Top + m.Top, 0, 0));
        ASSERT_LT(restore.y, top);
        EXPECT_EQ(hit(restore.x, restore.y), HTMAXBUTTON);
        SendMessageW(b->Handle(), WM_NCLBUTTONDOWN, HTMAXBUTTON, MAKELPARAM(restore.x, restore.y));
        SendMessageW(b->Handle(), WM_NCLBUTTONUP, HTMAXBUTTON, MAKELPARAM(restore.x, restore.y));
        tw::Application->ProcessMessages();
        ASSERT_FALSE(IsZoomed(wnd));
        EXPECT_FALSE(provider->TitleHeightRaised());
        EXPECT_EQ(provider->TitleBarHeight(true), title);
        EXPECT_TRUE(IsWindowVisible(b->Handle()));
    }
}

TEST_F(ProviderTitleTest, ExtendedBorderDrawsTheTitleAndTheFormKeepsItsClient)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    HWND wnd = form->Handle();
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    const int sys = GetSystemMetrics(SM_CXFRAME), cap = GetSystemMetrics(SM_CYCAPTION);

    // The region: the client inside the system's frame and title.
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(wnd, rgn), ERROR);
    RECT box;
    GetRgnBox(rgn, &box);
    DeleteObject(rgn);
    EXPECT_EQ(box.left, sys);
    EXPECT_EQ(box.top, sys + cap);
    EXPECT_EQ(box.right, w - sys);
    EXPECT_EQ(box.bottom, h - sys);

    // The border window lies around the form by the margins and the skin's
    // wider frame and higher title.
    const TRect f = b->FrameExtent();
    EXPECT_EQ(f.Left, manager.SkinData.BorderWidth - sys);
    EXPECT_EQ(f.Top, manager.SkinData.TitleHeight - sys - cap);
    const TRect m = b->Margins();
    EXPECT_EQ(b->Bounds().Left, wr.left - m.Left - f.Left);
    EXPECT_EQ(b->Bounds().Top, wr.top - m.Top - f.Top);

    // Its picture: the title opaque (the form's title colour), the client clear.
    const tw::TPixelImage& pic = b->Picture();
    ASSERT_EQ(pic.Width(), b->Bounds().Width());
    const uint8_t* title = pic.View().Pixel(m.Left + 40, m.Top + manager.SkinData.TitleHeight / 2);
    EXPECT_EQ(title[3], 0xFF);
    const uint8_t* client = pic.View().Pixel(pic.Width() / 2, pic.Height() / 2);
    EXPECT_EQ(client[3], 0);

    // The title and its buttons answer on the border window.
    const TRect inner(b->Bounds().Left + m.Left, b->Bounds().Top + m.Top, 0, 0);
    const POINT onTitle{inner.Left + 60, inner.Top + manager.SkinData.TitleHeight / 2};
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(onTitle.x, onTitle.y)), HTCAPTION);
    const POINT close = Centre(provider->Buttons().Close, inner);
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(close.x, close.y)), HTCLOSE);
    EXPECT_EQ(provider->HotCode(), HTCLOSE);
    // The shadow lets the mouse through.
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(b->Bounds().Left + 1, b->Bounds().Top + 1)),
              HTTOPLEFT);

    // The form's OnExtHitTest is asked first.
    provider->OnExtHitTest = [](tw::TMessage& msg) { msg.Result = HTBORDER; };
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(onTitle.x, onTitle.y)), HTBORDER);
    provider->OnExtHitTest = [](tw::TMessage&) {};
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(onTitle.x, onTitle.y)), HTCAPTION);

    // The mouse leaving the border ends the hot state.
    EXPECT_EQ(SendMessageW(b->Handle(), WM_NCHITTEST, 0, MAKELPARAM(close.x, close.y)), HTCLOSE);
    SendMessageW(b->Handle(), WM_NCMOUSELEAVE, 0, 0);
    EXPECT_EQ(provider->HotCode(), 0);
    // A double click on the border's title maximizes the form, whose title
    // stays on the border; restored, it is where it was.
    SendMessageW(b->Handle(), WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(onTitle.x, onTitle.y));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsZoomed(wnd));
    EXPECT_TRUE(b->Shown());
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
    ASSERT_EQ(provider->BorderForm(), b);
    EXPECT_TRUE(b->Shown());
    EXPECT_EQ(b->Bounds().Top, wr.top - m.Top - f.Top);

    // A click on the close button on the border closes the form.
    SendMessageW(b->Handle(), WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(close.x, close.y));
    EXPECT_TRUE(provider->ButtonPressed());
    SendMessageW(b->Handle(), WM_NCLBUTTONUP, HTCLOSE, MAKELPARAM(close.x, close.y));
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsWindowVisible(wnd));
}

TEST_F(ProviderTitleTest, BorderModeOneLeavesTheFrameToTheSkinsPicture)
{
    // The skin's extended border: a 24-pixel picture whose outer 6 pixels
    // are a half-transparent green shadow and whose next 6 an opaque blue
    // frame; its margins (12) less the form offset (6) lie outside the form.
    TsMaskData mask;
    mask.SectionName = "GLOBALINFO";
    mask.PropertyName = "EXBORDER";
    mask.ImageCount = 1;
    mask.Manager = &manager;
    mask.WL = mask.WT = mask.WR = mask.WB = 12;
    mask.Bmp = std::make_unique<tw::TPixelImage>(24, 24, 32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            uint8_t* p = mask.Bmp->View().Pixel(x, y);
            const bool shadow = std::min({x, y, 23 - x, 23 - y}) < 6;
            p[0] = shadow ? 10 : 200, p[1] = shadow ? 200 : 10, p[2] = 10, p[3] = shadow ? 100 : 255;
        }
    mask.R = TRect(0, 0, 24, 24);
    manager.ma.push_back(std::move(mask));
    manager.ConstData.ExBorder = int(manager.ma.size()) - 1;
    manager.SkinData.FormOffset = 6;
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const TRect m = b->Margins();
    EXPECT_EQ(m.Left, 6);
    EXPECT_EQ(m.Top, 6);
    ASSERT_GE(manager.SkinData.BorderWidth, 2);
    const int frameX = m.Left + 1;
    const int midY = b->Picture().Height() / 2;
    const int titleY = m.Top + manager.SkinData.TitleHeight / 2;
    auto pixel = [&](int x, int y) {
        const uint8_t* p = b->Picture().View().Pixel(x, y);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    // Premultiplied, as the layered window takes them.
    const uint32_t shadow = 3u | 78u << 8 | 3u << 16 | 100u << 24;
    const uint32_t blue = 200u | 10u << 8 | 10u << 16 | 255u << 24;
    // The margin shows the shadow; the frame is the form section's, opaque.
    EXPECT_EQ(pixel(m.Left - 1, midY), shadow);
    EXPECT_EQ(pixel(frameX, midY) >> 24, 0xFFu);
    EXPECT_NE(pixel(frameX, midY), blue);

    // BORDERMODE 1: the skin's extended picture is the frame; the title's
    // own pieces still lie over it, and the margin is the form offset.
    manager.SkinData.BorderMode = 1;
    manager.UpdateExtBorderImages();
    provider->UpdateBorderWindow(255);
    ASSERT_EQ(provider->BorderForm(), b);
    EXPECT_EQ(b->Margins().Left, 6);
    EXPECT_EQ(pixel(frameX, midY), blue);
    EXPECT_EQ(pixel(m.Left - 1, midY), shadow);
    EXPECT_EQ(pixel(m.Left + 60, titleY) >> 24, 0xFFu);
}

TEST_F(ProviderTitleTest, TitleBarMaskLiesBehindTheButtons)
{
    // A plain green title-bar mask of the form's section: three states of
    // nine pieces, 2 pixels each.
    TsMaskData mask;
    mask.SectionName = "FORM";
    mask.PropertyName = "TITLEBAR";
    mask.ImageCount = 3;
    mask.StretchMode = 4;   // with its centre
    mask.Manager = &manager;
    mask.WL = mask.WT = mask.WR = mask.WB = 2;
    // An own picture holds the frames in its upper half.
    mask.Bmp = std::make_unique<tw::TPixelImage>(18, 12, 24);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 18; ++x) {
            uint8_t* p = mask.Bmp->View().Pixel(x, y);
            p[0] = 0, p[1] = 200, p[2] = 0;
        }
    mask.R = TRect(0, 0, 18, 6);
    manager.ma.push_back(std::move(mask));
    provider->SkinData().BGChangedFlag = true;
    int w = 0;
    const std::vector<uint32_t> pic = Print(w);
    const TRect min = provider->Buttons().Min;
    ASSERT_GT(min.Right, min.Left);
    // Between the buttons (the spacing) and at their left edge: green; far
    // left: not.
    const int y = min.Top + 1;
    EXPECT_EQ(pic[size_t(y) * size_t(w) + size_t(min.Right)], 0x00C800u);
    EXPECT_EQ(pic[size_t(y) * size_t(w) + size_t(min.Left)], 0x00C800u);
    EXPECT_NE(pic[size_t(y) * size_t(w) + size_t(60)], 0x00C800u);
}

TEST_F(ProviderTitleTest, WithoutTheBorderTheFormGetsItsFrameBack)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    provider->SetAllowExtBorders(false);
    ASSERT_EQ(provider->BorderForm(), nullptr);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    const int kind = GetWindowRgn(form->Handle(), rgn);
    RECT box{};
    GetRgnBox(rgn, &box);
    DeleteObject(rgn);
    // The whole window again (less the skin's corner cut-outs).
    EXPECT_NE(kind, ERROR);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(test::NcHit(form->Handle(), 60, GetSystemMetrics(SM_CXFRAME) + 4), HTCAPTION);
}

TEST_F(ProviderTitleTest, OwnerClosingKeepsTheWindowState)
{
    HWND wnd = form->Handle();
    EXPECT_EQ(provider->WindowStateFlag(), 0);
    SendMessageW(wnd, WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING);
    EXPECT_EQ(provider->WindowStateFlag(), 1);
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    SendMessageW(wnd, WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING);
    EXPECT_EQ(provider->WindowStateFlag(), 3);
    // Other reasons leave it alone; a deactivation ends the zoomed mark.
    SendMessageW(wnd, WM_SHOWWINDOW, FALSE, SW_OTHERZOOM);
    EXPECT_EQ(provider->WindowStateFlag(), 3);
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(provider->WindowStateFlag(), 0);
}

TEST_F(ProviderTitleTest, UserButtonShowsItsHintWhileHot)
{
    TsTitleButton& pin = provider->TitleButtons().Add();
    pin.Hint = "Pin the window";
    SendSkinCommand(form->Handle(), AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    int w = 0;
    Print(w);
    const TRect r = provider->Buttons().User.at(0);
    ASSERT_GT(r.Right, r.Left);
    const int code = test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    EXPECT_EQ(code, htUserButton);
    ASSERT_NE(provider->ButtonHint(), nullptr);
    EXPECT_EQ(provider->ButtonHint()->Text(), "Pin the window");
    EXPECT_TRUE(IsWindowVisible(provider->ButtonHint()->Handle()));
    EXPECT_TRUE(GetWindowLongPtrW(provider->ButtonHint()->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    // A long hint is broken into lines within 200 pixels.
    test::NcHit(form->Handle(), 60, 10);
    pin.Hint = "A rather long hint that a user reads on more than one line of the small window";
    test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    ASSERT_NE(provider->ButtonHint(), nullptr);
    EXPECT_LE(provider->ButtonHint()->Width(), 200);
    EXPECT_NE(provider->ButtonHint()->Text().find('\n'), std::string::npos);
    EXPECT_NE(provider->ButtonHint()->Text().find("small window"), std::string::npos);
    // Pressed, or left: gone.
    SendMessageW(form->Handle(), WM_NCLBUTTONDOWN, htUserButton, 0);
    EXPECT_EQ(provider->ButtonHint(), nullptr);
    test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    test::NcHit(form->Handle(), 60, 10);
    EXPECT_EQ(provider->ButtonHint(), nullptr);
    // Hot again without a press, then left: the hint goes with the hot look.
    test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    ASSERT_NE(provider->ButtonHint(), nullptr);
    test::NcHit(form->Handle(), 60, 10);
    EXPECT_EQ(provider->ButtonHint(), nullptr);
}

TEST_F(ProviderTitleTest, ThirtyTwoBitGlyphsAreBlendedByTheirAlpha)
{
    // A user glyph half-transparent pure red, and a title icon fully opaque blue.
    auto glyph = std::make_shared<tw::TBitmap>(8, 8, tw::pf32bit);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = glyph->PixelView().Pixel(x, y);
            p[0] = 0, p[1] = 0, p[2] = 128, p[3] = 128;   // premultiplied red at half
        }
    TsTitleButton& b = provider->TitleButtons().Add();
    b.UseSkinData = false;
    b.Glyph = glyph;
    auto icon = std::make_shared<tw::TBitmap>(6, 6, tw::pf32bit);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            uint8_t* p = icon->PixelView().Pixel(x, y);
            p[0] = 255, p[1] = 0, p[2] = 0, p[3] = 255;
        }
    provider->TitleIcon().Glyph = icon;
    SendSkinCommand(form->Handle(), AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    int w = 0;
    const std::vector<uint32_t> before = Print(w);
    const TRect r = provider->Buttons().User.at(0);
    ASSERT_GT(r.Right, r.Left);
    const int cx = r.Left + (r.Right - r.Left - 8) / 2 + 4, cy = r.Top + (r.Bottom - r.Top - 8) / 2 + 4;
    const uint32_t px = before[size_t(cy) * size_t(w) + size_t(cx)];
    const int red = (px >> 16) & 0xFF, green = (px >> 8) & 0xFF;
    // Neither the glyph's own red nor the title's colour: a blend of both.
    const uint32_t bg = before[size_t(r.Top + 1) * size_t(w) + size_t(r.Left - 3)];
    EXPECT_GT(red, int((bg >> 16) & 0xFF));
    EXPECT_LT(red, 128);
    EXPECT_LT(green, red);
    // The opaque icon: at its own size, blue where it stands.
    const int left = GetSystemMetrics(SM_CXFRAME) + manager.SkinData.BILeft;
    int blue = 0, firstX = -1;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x)
            if (const uint32_t c = before[size_t(y) * size_t(w) + size_t(x)];
                (c & 0xFF) > 240 && ((c >> 8) & 0xFF) < 40 && ((c >> 16) & 0xFF) < 40) {
                ++blue;
                if (firstX < 0) firstX = x;
            }
    EXPECT_EQ(blue, 36);
    EXPECT_EQ(firstX, left);
}

TEST_F(ProviderTitleTest, ToolWindowTakesTheSmallSetOrTheLargeOneWithoutASmallClose)
{
    delete form;
    form = new tw::TForm(tw::Application);
    form->SetBorderStyle(tw::bsToolWindow);
    form->SetBounds(100, 100, 300, 200);
    form->Show();
    tw::Application->ProcessMessages();
    provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    const int info = manager.ConstData.IndexGlobalInfo;
    const int small = manager.GetMaskIndex(info, "GLOBALINFO", "SICONCLOSE");
    const int large = manager.GetMaskIndex(info, "GLOBALINFO", "BICONCLOSE");
    ASSERT_TRUE(manager.MaskIndexValid(small));
    ASSERT_TRUE(manager.MaskIndexValid(large));
    const int smallWidth = MaskFrameWidth(manager.ma[size_t(small)]);
    const int largeWidth = MaskFrameWidth(manager.ma[size_t(large)]);
    ASSERT_NE(smallWidth, largeWidth);   // the sets are told apart by size
    auto closeWidth = [&] {
        provider->SkinData().BGChangedFlag = true;
        int w = 0;
        Print(w);
        const TRect close = provider->Buttons().Close;
        return close.Right - close.Left;
    };
    EXPECT_EQ(closeWidth(), smallWidth);
    // No small close picture in the skin: the large set serves the form.
    TsMaskData& mask = manager.ma[size_t(small)];
    const std::string name = mask.PropertyName;
    mask.PropertyName = "SICONCLOSE_GONE";
    manager.ForgetNameIndexes();
    ASSERT_FALSE(manager.MaskIndexValid(manager.GetMaskIndex(info, "GLOBALINFO", "SICONCLOSE")));
    const int fallback = closeWidth();
    mask.PropertyName = name;
    manager.ForgetNameIndexes();
    EXPECT_EQ(fallback, largeWidth);
}

TEST_F(ProviderTitleTest, SmallSetTakesTheLargeHelpPictureWhenItHasNone)
{
    delete form;
    form = new tw::TForm(tw::Application);
    form->SetBorderStyle(tw::bsToolWindow);
    form->SetBorderIcons(tw::biSystemMenu | tw::biHelp);
    form->SetBounds(100, 100, 300, 200);
    form->Show();
    tw::Application->ProcessMessages();
    provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    int w = 0;
    const std::vector<uint32_t> pic = Print(w);
    const TRect help = provider->Buttons().Help;
    ASSERT_GT(help.Right, help.Left);
    // The large help picture's width, and drawn: more than one colour on it.
    const int mask = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONHELP");
    ASSERT_TRUE(manager.MaskIndexValid(mask));
    EXPECT_EQ(help.Right - help.Left, MaskFrameWidth(manager.ma[size_t(mask)]));
    std::vector<uint32_t> colours;
    for (int y = help.Top; y < help.Bottom; ++y)
        for (int x = help.Left; x < help.Right; ++x)
            colours.push_back(pic[size_t(y) * size_t(w) + size_t(x)]);
    std::sort(colours.begin(), colours.end());
    EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 1);
}

TEST_F(ProviderTitleTest, MenuLineSectionAndSkinItemEvent)
{
    EXPECT_EQ(provider->MenuLineSection(), "MENULINE");
    provider->SetMenuLineSkin("NOSUCHSECTION");
    EXPECT_EQ(provider->MenuLineSection(), "MENULINE");
    provider->SetMenuLineSkin("PANEL");
    EXPECT_EQ(provider->MenuLineSection(), "PANEL");

    // A control the event refuses keeps its own look.
    auto* memo = new tw::TMemo(form);
    memo->SetParent(form);
    memo->SetBounds(10, 10, 120, 80);
    memo->SetScrollBars(tw::ssBoth);
    std::vector<tw::TComponent*> asked;
    provider->OnSkinItem = [&](tw::TComponent* item, bool& canBeAdded, std::string&) {
        asked.push_back(item);
        canBeAdded = false;
    };
    provider->CreateCtrlAdapter();
    ASSERT_NE(provider->CtrlAdapter(), nullptr);
    EXPECT_NE(std::find(asked.begin(), asked.end(), memo), asked.end());
    EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);
    provider->OnSkinItem = nullptr;
    provider->CreateCtrlAdapter();
    EXPECT_NE(provider->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);
}

TEST_F(ProviderTitleTest, ExtendedBorderFormFadesInThroughTheLayeredPath)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    // The provider answers what the show needs of it.
    TSkinnedFormLink* link = QueryProvider(form);
    ASSERT_EQ(link, static_cast<TSkinnedFormLink*>(provider));
    EXPECT_EQ(link->BorderWindow(), b->Handle());
    const SIZE size = link->PaintAll();
    EXPECT_EQ(size.cx, b->Bounds().Width());
    EXPECT_EQ(size.cy, b->Bounds().Bottom - b->Bounds().Top);

    bool layered = false;
    std::vector<uint8_t> probe;
    AnimationProbe = [&](const tw::TBitmap& picture, HWND, bool l) {
        layered = l;
        // The title in the picture is opaque.
        const tw::TPixelView v = const_cast<tw::TBitmap&>(picture).PixelView();
        const TRect m = b->Margins();
        probe.push_back(v.Pixel(m.Left + 40, m.Top + 4)[3]);
    };
    std::vector<BYTE> fade;
    AnimationFrameProbe = [&](HWND, uint8_t alpha) { fade.push_back(alpha); };
    g_calls.clear();
    AnimShowControl(form, 64);
    AnimationProbe = nullptr;
    AnimationFrameProbe = nullptr;
    EXPECT_TRUE(layered);
    ASSERT_EQ(probe.size(), 1u);
    EXPECT_EQ(probe[0], 0xFF);
    // Eight frames and one more, rising by a step each to opaque.
    ASSERT_EQ(fade.size(), 9u);
    for (size_t i = 1; i < fade.size(); ++i)
        EXPECT_GT(fade[i], fade[i - 1]);
    EXPECT_EQ(fade.front(), 255 / 8);
    EXPECT_GT(fade[4], 0);
    EXPECT_LT(fade[4], 255);
    EXPECT_EQ(fade.back(), 255);
    // The border window is back over its place with its own picture.
    EXPECT_TRUE(IsWindowVisible(b->Handle()));
    EXPECT_EQ(AnimPaintDC, nullptr);
}

} // namespace
} // namespace skin

#endif
