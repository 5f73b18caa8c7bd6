// The provider's title pieces and measures under Wine, read back from the
// frame picture: the title icon's own glyph in the size it is given, the
// restore picture taken from the form's section when the skin's global one
// is missing, the snap to the work area with the extended border's frame
// beyond the window, a maximized form covering its work area exactly (read
// from the screen), and the title icon following the maximized title.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
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
    // The rows (window coordinates; the extended border's picture's when
    // it draws the title) where the form answers HTSYSMENU: [first, last].
    // The icon's column is found on a coarse grid first.
    std::pair<int, int> SysMenuRows()
    {
        RECT wr;
        GetWindowRect(form->Handle(), &wr);
        const auto hit = [&](int x, int y) {
            return SendMessageW(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y)) == HTSYSMENU;
        };
        int column = -100;
        for (int y = -40; y < 60 && column == -100; y += 4)
            for (int x = -40; x < 80 && column == -100; x += 4)
                column = hit(x, y) ? x : column;
        std::pair<int, int> rows{-1, -1};
        for (int y = -40; y < 60 && column != -100; ++y)
            if (hit(column, y))
                rows = {rows.first < 0 ? y : rows.first, y};
        return rows;
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

// Maximized, the form is all of its work area on the screen, with the
// program's skin (whose maximized title is lower, which raises the window)
// and with one whose maximized title is not: the region is the work area,
// and the screen's top rows, edges and last row are the form's (they take
// its clicks and show it, not the plain window behind it).
TEST_F(ProviderGeometryRowsTest, AMaximizedFormCoversItsWorkAreaExactly)
{
    const HWND wnd = form->Handle();
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi));
    const RECT work = mi.rcWork;
    constexpr COLORREF kBehind = RGB(0, 255, 0);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hbrBackground = CreateSolidBrush(kBehind);
    wc.lpszClassName = L"TwTestBehind";
    RegisterClassW(&wc);
    const HWND behind = CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                        mi.rcMonitor.right, mi.rcMonitor.bottom, nullptr, nullptr, nullptr, nullptr);
    SetWindowPos(behind, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    std::vector<POINT> edge;
    for (int x = work.left; x < work.right; x += 7)
        for (const int y : {0, 1, 2, 3, int(work.bottom - work.top - 1)})
            edge.push_back(POINT{x, work.top + y});
    for (int y = work.top; y < work.bottom; y += 7)
        edge.insert(edge.end(), {POINT{work.left, y}, POINT{work.right - 1, y}});
    const int title = manager.SkinData.TitleHeight;
    ASSERT_LT(manager.SkinData.MaxHeight, title);
    // The program's skin, one whose maximized title is as high as its normal
    // one, one whose maximized title is much lower (the window is taller than
    // the system lets a window grow by default), two that would lower the
    // window instead of raising it (a taller maximized title, a negative
    // centre offset) and a hostile one that would raise it out of sight.
    const int offset = manager.SkinData.CenterOffset;
    const std::pair<int, int> cases[] = {{manager.SkinData.MaxHeight, offset},
                                         {title, 0},
                                         {title - 14, 0},
                                         {title + 6, 0},
                                         {title - 2, -5},
                                         {-32768, 32767}};
    for (const auto& [maxHeight, centerOffset] : cases) {
        SCOPED_TRACE(testing::Message() << maxHeight << " " << centerOffset);
        manager.SkinData.MaxHeight = int16_t(maxHeight);
        manager.SkinData.CenterOffset = int16_t(centerOffset);
        ShowWindow(wnd, SW_MAXIMIZE);
        SetForegroundWindow(wnd);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsZoomed(wnd));
        RECT shown{}, wr;
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        GetWindowRgn(wnd, rgn);
        GetRgnBox(rgn, &shown);
        DeleteObject(rgn);
        GetWindowRect(wnd, &wr);
        OffsetRect(&shown, wr.left, wr.top);
        EXPECT_TRUE(EqualRect(&shown, &work)) << shown.left << "," << shown.top << " " << shown.right << ","
                                               << shown.bottom;
        for (const POINT& p : edge)
            ASSERT_EQ(WindowFromPoint(p), wnd) << p.x << "," << p.y;
        // Read once the form is drawn there.
        const auto uncovered = [&] {
            HDC screen = GetDC(nullptr);
            const auto n = std::count_if(edge.begin(), edge.end(),
                                         [&](POINT p) { return GetPixel(screen, p.x, p.y) == kBehind; });
            ReleaseDC(nullptr, screen);
            return n;
        };
        for (const DWORD deadline = GetTickCount() + 5000; uncovered() > 0 && GetTickCount() < deadline;)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), tw::Application->ProcessMessages();
        EXPECT_EQ(uncovered(), 0);
        ShowWindow(wnd, SW_RESTORE);
        tw::Application->ProcessMessages();
    }
    manager.SkinData.CenterOffset = int16_t(offset);
    DestroyWindow(behind);
    DeleteObject(wc.hbrBackground);
}

// The title icon, where it is drawn and where it answers HTSYSMENU, moves
// with the caption buttons on a maximized form (by half of what its title
// lacks, less 2), and down by the centre offset under the extended border.
TEST_F(ProviderGeometryRowsTest, TheTitleIconFollowsTheMaximizedTitleAndTheCentreOffset)
{
    const HWND wnd = form->Handle();
    const int title = manager.SkinData.TitleHeight;
    manager.SkinData.CenterOffset = 0;
    manager.SkinData.MaxHeight = int16_t(title);
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    const auto level = SysMenuRows();
    ASSERT_GE(level.first, 0);
    const int closeLevel = provider->Buttons().Close.Top;
    for (const auto& [lower, shift] : {std::pair{2, -1}, std::pair{10, 3}}) {
        SCOPED_TRACE(lower);
        manager.SkinData.MaxHeight = int16_t(title - lower);
        EXPECT_EQ(SysMenuRows(), std::pair(level.first + shift, level.second + shift));
        EXPECT_EQ(provider->Buttons().Close.Top - closeLevel, shift);
    }
    // Drawn where it answers: a glyph of one colour, read from the print.
    manager.SkinData.MaxHeight = int16_t(title - 2);
    auto glyph = std::make_shared<tw::TBitmap>(4, 4, tw::pf24bit);
    glyph->Canvas().Brush().SetColor(tw::TColor(0xF03412));
    glyph->Canvas().FillRect(tw::TRect(0, 0, 4, 4));
    provider->TitleIcon().Glyph = glyph;
    int w = 0;
    const std::vector<uint32_t> frame = Print(w);
    POINT client{0, 0};
    ClientToScreen(wnd, &client);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const size_t column = size_t(client.x - wr.left + manager.SkinData.BILeft + 4);
    std::pair<int, int> drawn{-1, -1};
    for (int y = 0; y < 60; ++y)
        if (frame[size_t(y) * size_t(w) + column] == 0x1234F0)
            drawn = {drawn.first < 0 ? y : drawn.first, y};
    EXPECT_EQ(drawn, std::pair(level.first - 1, level.second - 1));
    provider->TitleIcon().Glyph.reset();
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    const auto ext = SysMenuRows();
    ASSERT_GE(ext.first, 0);
    manager.SkinData.CenterOffset = 3;
    EXPECT_EQ(SysMenuRows(), std::pair(ext.first + 3, ext.second + 3));
    manager.SkinData.CenterOffset = 0;
}

} // namespace
} // namespace skin

#endif
