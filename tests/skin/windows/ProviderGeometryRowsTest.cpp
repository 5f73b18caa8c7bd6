// The provider's title pieces and measures under Wine, read back from the
// frame picture: the title icon's own glyph in the size it is given, the
// restore picture taken from the form's section when the skin's global one
// is missing, and the snap to the work area with the extended border's
// frame beyond the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

BOOL WINAPI NoLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow Entry() { return NoLayered; }

class ProviderGeometryRowsTest : public test::LayeredFormTest {
protected:
    ProviderGeometryRowsTest() : LayeredFormTest("Geometry", 320, 220, Entry) {}
    std::vector<uint32_t> Print(int& w)
    {
        provider->SkinData().BGChangedFlag = true;
        return test::PrintFrame(form->Handle(), w);
    }
};

TEST_F(ProviderGeometryRowsTest, TitleGlyphIsStretchedToTheIconsWidthAndHeight)
{
    constexpr uint32_t kColour = 0x1234F0;   // as the print gives it: 0xRRGGBB
    auto glyph = std::make_shared<tw::TBitmap>(4, 4, tw::pf24bit);
    {
        HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0xF0));
        RECT all{0, 0, 4, 4};
        FillRect(glyph->Canvas().Handle(), &all, brush);
        DeleteObject(brush);
    }
    provider->TitleIcon().Glyph = glyph;
    provider->TitleIcon().Width = 20;
    provider->TitleIcon().Height = 10;
    int w = 0;
    const std::vector<uint32_t> frame = Print(w);
    const int h = int(frame.size()) / w;
    int left = w, right = -1, top = h, bottom = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (frame[size_t(y) * w + x] == kColour) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    ASSERT_GE(right, left);
    EXPECT_EQ(right - left + 1, 20);
    EXPECT_EQ(bottom - top + 1, 10);
}

TEST_F(ProviderGeometryRowsTest, RestorePictureFallsBackToTheFormsSection)
{
    HWND wnd = form->Handle();
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    const int global = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONNORM");
    ASSERT_TRUE(manager.MaskIndexValid(global));
    auto buttonPixels = [&] {
        int w = 0;
        const std::vector<uint32_t> frame = Print(w);
        const TRect r = provider->Buttons().Max;
        std::vector<uint32_t> out;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                out.push_back(frame[size_t(y) * w + x]);
        return out;
    };
    // The twin: the skin's own restore picture in GLOBALINFO.
    const std::vector<uint32_t> expected = buttonPixels();
    ASSERT_FALSE(expected.empty());
    // The same picture given by the form's section only.
    TsMaskData& mask = manager.ma[size_t(global)];
    const std::string section = mask.SectionName;
    mask.SectionName = "FORM";
    // Look-ups by name go through an index made from the names as read.
    manager.ForgetNameIndexes();
    ASSERT_FALSE(manager.MaskIndexValid(
        manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONNORM")));
    const std::vector<uint32_t> fallback = buttonPixels();
    mask.SectionName = section;
    manager.ForgetNameIndexes();
    EXPECT_EQ(fallback, expected);
    ShowWindow(wnd, SW_RESTORE);
}

TEST_F(ProviderGeometryRowsTest, SnapMeetsTheWorkAreaWithTheExtendedFrame)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    HWND wnd = form->Handle();
    provider->SetScreenSnap(true);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    // What the extended border draws beyond the window, from the skin's
    // measures against the system's.
    const int sysFrame = GetSystemMetrics(SM_CXFRAME);
    const int skinFrame = manager.SkinData.BorderWidth ? manager.SkinData.BorderWidth : sysFrame;
    const int skinTitle = manager.SkinData.TitleHeight ? manager.SkinData.TitleHeight : GetSystemMetrics(SM_CYCAPTION);
    const int d = skinFrame - sysFrame;
    const int t = skinTitle - GetSystemMetrics(SM_CYCAPTION) - sysFrame;
    ASSERT_TRUE(d != 0 || t != 0);
    SetWindowPos(wnd, nullptr, work.left + d + 3, work.top + t + 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
    RECT wr;
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.left, work.left + d);
    EXPECT_EQ(wr.top, work.top + t);
    // At the right and bottom edges the frame beyond the window counts too.
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    SetWindowPos(wnd, nullptr, work.right - w - d - 4, work.bottom - h - d - 4, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.right, work.right - d);
    EXPECT_EQ(wr.bottom, work.bottom - d);
}

// A skin whose frame is wider than the system's: at the right and bottom
// edges of the work area it is the drawn frame that meets them.
TEST_F(ProviderGeometryRowsTest, SnapAtTheFarEdgesCountsTheWiderFrame)
{
    const int sysFrame = GetSystemMetrics(SM_CXFRAME);
    manager.SkinData.BorderWidth = int16_t(sysFrame + 4);
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    HWND wnd = form->Handle();
    provider->SetScreenSnap(true);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    SetWindowPos(wnd, nullptr, work.right - w - 4 - 3, work.bottom - h - 4 - 3, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.right, work.right - 4);
    EXPECT_EQ(wr.bottom, work.bottom - 4);
}

} // namespace
} // namespace skin

#endif
