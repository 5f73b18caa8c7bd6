// The provider's title pieces and measures under Wine, read back from the
// frame picture: the title icon's own glyph in the size it is given, the
// restore picture taken from the form's section when the skin's global one
// is missing, the snap to the work area with the extended border's frame
// beyond the window, a maximized form covering its work area exactly (read
// from the screen), and the title icon following the maximized title.
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

// A plain window of one colour over a whole monitor, behind the form: on the
// screen it shows wherever the form does not.
constexpr COLORREF kBackdrop = RGB(0, 255, 0);
LRESULT CALLBACK BackdropProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_ERASEBKGND) {
        RECT r;
        GetClientRect(wnd, &r);
        HBRUSH brush = CreateSolidBrush(kBackdrop);
        FillRect(reinterpret_cast<HDC>(wp), &r, brush);
        DeleteObject(brush);
        return 1;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

class TBackdrop {
public:
    explicit TBackdrop(const RECT& r)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = BackdropProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TwTestBackdrop";
        RegisterClassW(&wc);
        wnd_ = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, L"TwTestBackdrop", L"", WS_POPUP, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowPos(wnd_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        UpdateWindow(wnd_);
    }
    ~TBackdrop() { DestroyWindow(wnd_); }
    TBackdrop(const TBackdrop&) = delete;
    TBackdrop& operator=(const TBackdrop&) = delete;
    HWND Handle() const { return wnd_; }

private:
    HWND wnd_;
};

class ProviderGeometryRowsTest : public test::LayeredFormTest {
protected:
    ProviderGeometryRowsTest() : LayeredFormTest("Geometry", 320, 220, Entry) {}
    std::vector<uint32_t> Print(int& w)
    {
        provider->SkinData().BGChangedFlag = true;
        return test::PrintFrame(form->Handle(), w);
    }
    // The window's region in screen coordinates (its bounding box).
    static RECT RegionOnScreen(HWND wnd)
    {
        RECT box{}, wr;
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        if (GetWindowRgn(wnd, rgn) != ERROR)
            GetRgnBox(rgn, &box);
        DeleteObject(rgn);
        GetWindowRect(wnd, &wr);
        OffsetRect(&box, wr.left, wr.top);
        return box;
    }
    // The rows (window coordinates, those of the extended border's picture
    // when it draws the title) where the form answers HTSYSMENU, as [first,
    // last]; {-1, -1} for none. The icon is found on a coarse grid first.
    std::pair<int, int> SysMenuRows()
    {
        const HWND wnd = form->Handle();
        RECT wr;
        GetWindowRect(wnd, &wr);
        const auto hit = [&](int x, int y) {
            return SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(wr.left + x, wr.top + y)) == HTSYSMENU;
        };
        int column = -1000;
        for (int y = -40; y < 60 && column == -1000; y += 3)
            for (int x = -40; x < 80 && column == -1000; x += 3)
                if (hit(x, y))
                    column = x;
        int first = -1, last = -1;
        for (int y = -40; y < 60 && column != -1000; ++y)
            if (hit(column, y)) {
                if (first < 0)
                    first = y;
                last = y;
            }
        return {first, last};
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

// Maximized, the form is all of its work area on the screen: the system's
// frame beyond it is cut away, and where a maximized title lower than the
// normal one raises the window, no less than the frame at the top (nor more
// where the title is not lower: the top rows of the screen are the form's,
// they show it and take its clicks).
TEST_F(ProviderGeometryRowsTest, AMaximizedFormCoversItsWorkAreaExactly)
{
    const HWND wnd = form->Handle();
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi));
    const RECT work = mi.rcWork;
    const TBackdrop backdrop(mi.rcMonitor);
    const int title = manager.SkinData.TitleHeight;
    // The program's skin has a lower maximized title; the other skin none.
    ASSERT_LT(manager.SkinData.MaxHeight, title);
    for (const int maxHeight : {int(manager.SkinData.MaxHeight), title}) {
        SCOPED_TRACE(maxHeight);
        manager.SkinData.MaxHeight = int16_t(maxHeight);
        ShowWindow(wnd, SW_MAXIMIZE);
        SetForegroundWindow(wnd);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsZoomed(wnd));
        // The region is the work area, no more and no less.
        const RECT shown = RegionOnScreen(wnd);
        EXPECT_TRUE(EqualRect(&shown, &work)) << shown.left << "," << shown.top << " " << shown.right << ","
                                               << shown.bottom;
        // The screen's top rows, its edges and its last row take the form's
        // clicks and show the form, not what lies behind it.
        const int w = work.right - work.left, h = work.bottom - work.top;
        std::vector<POINT> edge;
        for (int x = 0; x < w; x += 7)
            for (int y = 0; y < 4; ++y)
                edge.push_back(POINT{work.left + x, work.top + y});
        for (int y = 0; y < h; y += 7) {
            edge.push_back(POINT{work.left, work.top + y});
            edge.push_back(POINT{work.right - 1, work.top + y});
        }
        for (int x = 0; x < w; x += 7)
            edge.push_back(POINT{work.left + x, work.bottom - 1});
        for (const POINT& p : edge)
            ASSERT_EQ(WindowFromPoint(p), wnd) << p.x << "," << p.y;
        // Read once the form is drawn there (the backdrop goes as it is).
        const auto behind = [&] {
            HDC screen = GetDC(nullptr);
            int n = 0;
            for (const POINT& p : edge)
                n += GetPixel(screen, p.x, p.y) == kBackdrop;
            ReleaseDC(nullptr, screen);
            return n;
        };
        const DWORD deadline = GetTickCount() + 5000;
        while (behind() > 0 && GetTickCount() < deadline) {
            tw::Application->ProcessMessages();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        EXPECT_EQ(behind(), 0);
        ShowWindow(wnd, SW_RESTORE);
        tw::Application->ProcessMessages();
    }
}

// The title icon and its HTSYSMENU area move with the caption buttons: up
// or down by half of what the maximized title lacks, less 2, on a maximized
// form; down by the skin's centre offset under the extended border.
TEST_F(ProviderGeometryRowsTest, TheTitleIconFollowsTheMaximizedTitleAndTheCentreOffset)
{
    const HWND wnd = form->Handle();
    POINT client{0, 0};
    ClientToScreen(wnd, &client);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int column = client.x - wr.left + manager.SkinData.BILeft + 4;
    const int title = manager.SkinData.TitleHeight;
    manager.SkinData.CenterOffset = 0;
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    manager.SkinData.MaxHeight = int16_t(title);
    const auto level = SysMenuRows();
    ASSERT_GE(level.first, 0);
    const int closeLevel = provider->Buttons().Close.Top;
    // 2 lower: half of it less 2, one row up, as the buttons go; 10 lower:
    // three rows down.
    for (const auto& [lower, shift] : {std::pair{2, -1}, std::pair{10, 3}}) {
        SCOPED_TRACE(lower);
        manager.SkinData.MaxHeight = int16_t(title - lower);
        const auto rows = SysMenuRows();
        EXPECT_EQ(rows.first, level.first + shift);
        EXPECT_EQ(rows.second, level.second + shift);
        EXPECT_EQ(provider->Buttons().Close.Top - closeLevel, shift);
    }
    // The icon is drawn where it answers.
    manager.SkinData.MaxHeight = int16_t(title - 2);
    auto glyph = std::make_shared<tw::TBitmap>(4, 4, tw::pf24bit);
    {
        HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0xF0));
        RECT all{0, 0, 4, 4};
        FillRect(glyph->Canvas().Handle(), &all, brush);
        DeleteObject(brush);
    }
    provider->TitleIcon().Glyph = glyph;
    int w = 0;
    const std::vector<uint32_t> frame = Print(w);
    int top = -1, bottom = -1;
    for (int y = 0; y < int(frame.size()) / w; ++y)
        if (frame[size_t(y) * w + size_t(column)] == 0x1234F0) {
            if (top < 0)
                top = y;
            bottom = y;
        }
    EXPECT_EQ(top, level.first - 1);
    EXPECT_EQ(bottom, level.second - 1);
    provider->TitleIcon().Glyph.reset();
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    // Under the extended border the icon moves down by the centre offset.
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    ASSERT_FALSE(IsZoomed(wnd));
    const auto ext = SysMenuRows();
    ASSERT_NE(ext.first, -1);
    manager.SkinData.CenterOffset = 3;
    const auto offset = SysMenuRows();
    EXPECT_EQ(offset.first, ext.first + 3);
    EXPECT_EQ(offset.second, ext.second + 3);
    manager.SkinData.CenterOffset = 0;
}

} // namespace
} // namespace skin

#endif
