// What the window adapters answer when a child asks what lies under it: the
// picture of their section (frame, texture and all), read back by pixel
// against the skin's own data and the window's own painting; and a popup
// menu's adapter answering the questions every adapter answers.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "ui/Application.h"
#include "ui/Graphics.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

COLORREF At(const TPixelView& v, int x, int y)
{
    const uint8_t* p = v.Pixel(x, y);
    return RGB(p[2], p[1], p[0]);
}

LRESULT Ask(HWND wnd, uint16_t cmd, LPARAM lp = 0) { return SendMessageW(wnd, SM_ALPHACMD, SkinWParam(cmd), lp); }

class AdapterBackgroundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        dialog = CreateWindowW(L"#32770", L"Under", WS_POPUP | WS_CAPTION | WS_VISIBLE, 50, 50, 420, 300, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        adapters.clear();
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        DefaultManager = nullptr;
    }
    HWND Adapted(const char* kind, const char* section, const wchar_t* cls, DWORD style, int w, int h)
    {
        HWND c = CreateWindowW(cls, L"", WS_CHILD | WS_VISIBLE | style, 10, 10, w, h, dialog, nullptr, nullptr,
                               nullptr);
        adapters.push_back(MakeDialogChildAdapter(kind, c, &manager, section));
        EXPECT_NE(adapters.back(), nullptr);
        return c;
    }
    COLORREF SectionColor(const char* section) const
    {
        const int i = manager.GetSkinIndex(section);
        EXPECT_TRUE(manager.SkinIndexValid(i));
        return COLORREF(manager.gd[size_t(i)].Color) & 0xFFFFFF;
    }

    TsSkinManager manager;
    HWND dialog = nullptr;
    std::vector<std::unique_ptr<TacMainWnd>> adapters;
};

TEST_F(AdapterBackgroundTest, APanelAnswersItsSectionsPictureFrameIncluded)
{
    const HWND panel = Adapted("TacDlgPanelWnd", "PANEL", L"STATIC", 0, 160, 90);
    TacBGInfo info;
    Ask(panel, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.BgType, btCache);
    ASSERT_EQ(info.Bmp.Width, 160);
    ASSERT_EQ(info.Bmp.Height, 90);
    // Inside the frame the section's colour, on the frame something else.
    EXPECT_EQ(At(info.Bmp, 80, 45), SectionColor("PANEL"));
    int frame = 0;
    for (int x = 0; x < 160; ++x)
        frame += At(info.Bmp, x, 0) != SectionColor("PANEL");
    EXPECT_GT(frame, 80);
    // The same picture the panel shows.
    tw::TBitmap shown(160, 90, tw::pf24bit);
    SendMessageW(panel, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(shown.Canvas().Handle()), PRF_CLIENT);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{1, 45}, std::pair{80, 1}, std::pair{159, 89}, std::pair{80, 45}})
        EXPECT_EQ(At(info.Bmp, x, y), COLORREF(shown.Canvas().Pixels(x, y)) & 0xFFFFFF) << x << "," << y;

    // Asked to draw, it draws the asked part into the asker's DC.
    tw::TBitmap into(160, 90, tw::pf24bit);
    TacBGInfo draw;
    draw.PleaseDraw = true;
    draw.DrawDC = reinterpret_cast<uintptr_t>(into.Canvas().Handle());
    draw.R = TRect(0, 0, 160, 90);
    Ask(panel, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(COLORREF(into.Canvas().Pixels(0, 0)) & 0xFFFFFF, At(info.Bmp, 0, 0));
    EXPECT_EQ(COLORREF(into.Canvas().Pixels(80, 45)) & 0xFFFFFF, SectionColor("PANEL"));
}

TEST_F(AdapterBackgroundTest, ATabControlAndAToolBarAnswerWhatTheyPaint)
{
    const HWND tabs = Adapted("TacTabControlWnd", "PAGECONTROL", WC_TABCONTROLW, 0, 200, 100);
    TacBGInfo info;
    Ask(tabs, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.BgType, btCache);
    // The page from the section, painted by itself for comparison.
    tw::TBitmap section(200, 100, tw::pf24bit);
    PaintItemByName(section, "PAGECONTROL", "", 0, &manager, {0, 0}, manager.GetGlobalColor(), nullptr);
    RECT body{0, 0, 200, 100};
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&body));
    InflateRect(&body, 2, 2);
    const int x = (body.left + body.right) / 2, y = (body.top + body.bottom) / 2;
    EXPECT_EQ(At(info.Bmp, x, y), COLORREF(section.Canvas().Pixels(x - body.left, y - body.top)) & 0xFFFFFF);
    EXPECT_EQ(At(info.Bmp, body.left, y), COLORREF(section.Canvas().Pixels(0, y - body.top)) & 0xFFFFFF);

    // A tool bar with the bar section: its frame and colour.
    const HWND bar = Adapted("TacToolBarWnd", "BAR", TOOLBARCLASSNAMEW, CCS_NORESIZE | CCS_NODIVIDER, 180, 40);
    TacBGInfo barInfo;
    Ask(bar, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&barInfo));
    ASSERT_EQ(barInfo.BgType, btCache);
    RECT cr;
    GetClientRect(bar, &cr);
    ASSERT_EQ(barInfo.Bmp.Width, cr.right);
    EXPECT_EQ(At(barInfo.Bmp, cr.right / 2, cr.bottom / 2), SectionColor("BAR"));
    tw::TBitmap barAlone(cr.right, cr.bottom, tw::pf24bit);
    PaintItemByName(barAlone, "BAR", "", 0, &manager, {0, 0}, manager.GetGlobalColor(), nullptr);
    EXPECT_EQ(At(barInfo.Bmp, 0, cr.bottom / 2), COLORREF(barAlone.Canvas().Pixels(0, cr.bottom / 2)) & 0xFFFFFF);
}

TEST_F(AdapterBackgroundTest, APopupMenusAdapterAnswersWhatEveryAdapterAnswers)
{
    HWND popup = CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 300, 300, 120, 80, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(popup, nullptr);
    {
        TacMnuWnd menu(popup, &manager);
        EXPECT_EQ(Ask(popup, AC_QUERYSKINNED), 1);
        // The menu's picture from its section.
        TacBGInfo info;
        Ask(popup, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
        ASSERT_EQ(info.BgType, btCache);
        RECT cr;
        GetClientRect(popup, &cr);
        EXPECT_EQ(At(info.Bmp, cr.right / 2, cr.bottom / 2), SectionColor("MAINMENU"));
        // Scrolls pass with the window's own answer (none: go ahead).
        EXPECT_EQ(Ask(popup, AC_BEFORESCROLL), 1);
        Ask(popup, AC_SCROLLPAINT);
        EXPECT_EQ(menu.ScrollPaints, 1);
        // After a scroll a shown menu is drawn again, frame and all.
        ShowWindow(popup, SW_SHOWNOACTIVATE);
        ValidateRect(popup, nullptr);
        Ask(popup, AC_AFTERSCROLL);
        RECT dirty;
        EXPECT_TRUE(GetUpdateRect(popup, &dirty, FALSE));
        ShowWindow(popup, SW_HIDE);
        // Before painting or a fade, where the window is now.
        SetWindowPos(popup, nullptr, 333, 344, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Ask(popup, AC_PREPARECHILD);
        EXPECT_EQ(menu.Geometry.WndRect.left, 333);
        SetWindowPos(popup, nullptr, 301, 302, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Ask(popup, AC_FADESTART);
        EXPECT_EQ(menu.Geometry.WndRect.top, 302);
        EXPECT_EQ(Ask(popup, AC_QUERYCAPTIONHEIGHT), 0);
        // The menu painter's own question still has its answer.
        EXPECT_EQ(Ask(popup, AC_SETACTIVESTATE), 1);
    }
    DestroyWindow(popup);
}

} // namespace
} // namespace skin

#endif
