// Minimized windows wearing the skin, judged by what the screen shows and
// driven by real pointer and key input: a minimized system dialog keeps its
// title with icon and buttons, and its restore button restores it; a
// minimized form answers as a title everywhere (a double click on its top
// row restores it) and Alt+Space opens its menu below the title.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "TitlePictures.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::vector<WPARAM> g_commands;
std::map<HWND, WNDPROC> g_procs;

// Under the adapter: notes the system commands that reach the dialog's own
// procedure, and lets them run.
LRESULT CALLBACK NotingDialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) != SC_KEYMENU)
        g_commands.push_back(wp & 0xFFF0);
    return CallWindowProcW(g_procs[wnd], wnd, msg, wp, lp);
}

// Minimized windows stand where the system puts them (the screen's bottom,
// where a menu below them has no room); they are moved up, as a user may.
void MinimizeAt(HWND wnd, int x, int y)
{
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    SetWindowPos(wnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
}

// The frame a window of this style has, as the system measures it.
int FrameOf(HWND wnd)
{
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    return (style & WS_THICKFRAME) ? GetSystemMetrics(SM_CXFRAME) : GetSystemMetrics(SM_CXFIXEDFRAME);
}

// What a timer saw of the popup menu open (closed again at once).
struct TMenuSeen {
    bool Opened = false;
    RECT Rect{};
};
TMenuSeen* g_menu = nullptr;

void CALLBACK MenuProbe(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_menu)
        return;
    const HWND popup = test::VisibleThreadWindow(L"#32768");
    if (!popup)
        return;
    if (!g_menu->Opened) {
        g_menu->Opened = true;
        GetWindowRect(popup, &g_menu->Rect);
    }
    EndMenu();
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
}

// Opens the menu by the input given and notes where it showed (closed again
// at once by the probe).
TMenuSeen MenuOpenedBy(void (*input)(POINT), POINT at = {})
{
    TMenuSeen seen;
    g_menu = &seen;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, MenuProbe);
    input(at);
    test::PumpUntil([&] { return seen.Opened; });
    test::PumpUntil([&] { return !test::VisibleThreadWindow(L"#32768"); }, 5000);
    KillTimer(nullptr, timer);
    g_menu = nullptr;
    return seen;
}
void AltSpace(POINT) { test::PressAltSpace(); }

// The centre of where the window answers code on its title (screen
// coordinates), found by its own hit test; (-1, -1) when nowhere.
POINT FindOnTitle(HWND wnd, LRESULT code)
{
    RECT wr;
    GetWindowRect(wnd, &wr);
    LONG left = wr.right, top = wr.bottom, right = wr.left - 1, bottom = wr.top - 1;
    for (LONG y = wr.top; y < wr.top + 40 && y < wr.bottom; ++y)
        for (LONG x = wr.left; x < wr.right; ++x)
            if (SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == code) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return right < left ? POINT{-1, -1} : POINT{(left + right) / 2, (top + bottom) / 2};
}
void ClickIcon(POINT at) { test::ClickAt(at); }

// The title of a window: its top rows down to the end of the caption.
RECT TitleOf(HWND wnd)
{
    RECT wr;
    GetWindowRect(wnd, &wr);
    return RECT{wr.left, wr.top, wr.right, wr.top + FrameOf(wnd) + GetSystemMetrics(SM_CYCAPTION)};
}

// Moves a window so that its bottom lies on the work area's bottom (where
// the system puts minimized windows): no menu fits below its title.
void ToTheBottom(HWND wnd)
{
    RECT work, wr;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(wnd, &wr);
    SetWindowPos(wnd, nullptr, 300, work.bottom - (wr.bottom - wr.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
}

// The menu opened from a title at the screen's bottom opens above it and
// leaves every row of the title in view.
void ExpectAboveTheTitle(const TMenuSeen& seen, const RECT& title)
{
    ASSERT_TRUE(seen.Opened) << "no menu opened";
    EXPECT_LE(seen.Rect.bottom, title.top) << "menu from " << seen.Rect.top << " over the title at " << title.top;
}

class MinimizedTitleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        g_commands.clear();
    }
    void TearDown() override
    {
        providers.clear();
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        if (icon)
            DestroyIcon(icon);
        DefaultManager = nullptr;
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    // A plain red icon: every pixel of it on a title is red.
    HICON RedIcon()
    {
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        std::vector<uint8_t> opaque(size_t(cx * cy / 8 + cy * 2), 0);
        std::vector<uint32_t> red(size_t(cx * cy), 0x00DC0000u);
        icon = CreateIcon(nullptr, cx, cy, 1, 32, opaque.data(), reinterpret_cast<const BYTE*>(red.data()));
        return icon;
    }
    // A shown system dialog with its skinned frame.
    TacDialogWnd& Dialog(DWORD style)
    {
        HWND d = CreateWindowExW(0, L"#32770", L"Minimized", WS_POPUP | WS_CAPTION | style, 80, 80, 360, 240, nullptr,
                                 nullptr, nullptr, nullptr);
        windows.push_back(d);
        SendMessageW(d, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(RedIcon()));
        g_procs[d] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&NotingDialogProc)));
        auto p = std::make_unique<TacProvider>();
        p->Handle = d;
        p->DialogAdapter = std::make_unique<TacDialogWnd>(d, &manager);
        p->DialogAdapter->Provider = p.get();
        AdaptDialogChildren(*p, d);
        p->DialogAdapter->InitDialogState();
        ShowWindow(d, SW_SHOW);
        UpdateWindow(d);
        tw::Application->ProcessMessages();
        providers.push_back(std::move(p));
        return *providers.back()->DialogAdapter;
    }

    TsSkinManager manager;
    std::vector<std::unique_ptr<TacProvider>> providers;
    std::vector<HWND> windows;
    HICON icon = nullptr;
};

// The minimized dialog's title: its icon where a title's icon stands, the
// restore glyph and (for a dialog that may maximize) the maximize glyph,
// found on the screen; a real click on the restore glyph restores it.
TEST_F(MinimizedTitleTest, AMinimizedDialogShowsItsTitleAndItsRestoreGlyphRestoresIt)
{
    const test::TCoverPicture restore1 = test::GlyphPicture(manager, "BICONNORM", 1);
    ASSERT_GT(restore1.OpaqueCount(), 0);
    for (DWORD frame : {DWORD(WS_THICKFRAME), DWORD(DS_MODALFRAME)}) {
        SCOPED_TRACE(frame == WS_THICKFRAME ? "sizeable" : "fixed frame");
        TacDialogWnd& dialog = Dialog(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | frame);
        const HWND d = dialog.Handle();
        MinimizeAt(d, 300, 200);
        ASSERT_TRUE(IsIconic(d));
        // Active, so that only a disabled button shows the inactive row.
        SetActiveWindow(d);
        tw::Application->ProcessMessages();
        const tw::test::ScreenShot shot = tw::test::RepaintedScreenShot(d);
        ASSERT_GT(shot.Width(), 0);
        const int border = FrameOf(d), title = GetSystemMetrics(SM_CYCAPTION);
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        // The icon, centred in the title below the frame's top edge.
        const int iconX = border + manager.SkinData.BILeft + cx / 2, iconY = (border + title - cy) / 2 + cy / 2;
        ASSERT_LT(iconY, shot.Height());
        EXPECT_EQ(shot.Pixels[size_t(iconY * shot.Width() + iconX)], 0xDC0000u);
        // The buttons, on the title (a minimized window is short: they take
        // most of it).
        const RECT right{0, 0, shot.Width(), shot.Height()};
        const POINT at = test::FindPicture(shot, restore1, right);
        ASSERT_GE(at.x, 0) << "no restore glyph on the minimized title";
        // Whole, left of the maximize box (the restore picture is a large
        // one, whatever set the dialog's other buttons come from).
        const TRect box = dialog.Buttons().Max;
        ASSERT_GT(box.Right, box.Left);
        EXPECT_LE(at.x + restore1.Width, box.Left) << "the restore glyph runs over the maximize box";
        // A sizeable dialog shows its maximize glyph enabled; a fixed one may
        // not maximize, and takes its buttons from the skin's small set
        // where the skin has one.
        const bool small = frame == DS_MODALFRAME &&
                           manager.MaskIndexValid(manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO",
                                                                       "SICONCLOSE"));
        const test::TCoverPicture max1 = test::GlyphPicture(manager, small ? "SICONMAX" : "BICONMAX", 1);
        ASSERT_GT(max1.OpaqueCount(), 0);
        const POINT enabledMax = test::FindPicture(shot, max1, right);
        if (frame == DS_MODALFRAME) {
            // Greyed: not the enabled look, but a glyph is there, and the
            // place answers as the maximize button (whose click then runs
            // nothing).
            EXPECT_LT(enabledMax.x, 0);
            const TRect m = dialog.Buttons().Max;
            ASSERT_GT(m.Right, m.Left);
            bool drawn = false;
            for (int y = m.Top; y < m.Bottom && y < shot.Height(); ++y)
                for (int x = m.Left; x < m.Right; ++x)
                    drawn = drawn || !test::Near(shot.Pixels[size_t(y * shot.Width() + x)],
                                                 shot.Pixels[size_t(y * shot.Width() + m.Left)], 40);
            EXPECT_TRUE(drawn) << "nothing drawn on the maximize place";
            const POINT centre{shot.Rect.left + (m.Left + m.Right) / 2, shot.Rect.top + (m.Top + m.Bottom) / 2};
            EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(centre.x, centre.y)), HTMAXBUTTON);
            g_commands.clear();
            test::ClickAt(centre);
            test::PumpUntil([] { return false; }, 300);
            EXPECT_TRUE(IsIconic(d));
            EXPECT_TRUE(g_commands.empty());
        } else {
            EXPECT_GE(enabledMax.x, 0) << "no maximize glyph";
        }
        g_commands.clear();
        test::ClickAt(POINT{shot.Rect.left + at.x + restore1.Width / 2, shot.Rect.top + at.y + restore1.Height / 2});
        EXPECT_TRUE(test::PumpUntil([&] { return !IsIconic(d); })) << "the restore glyph did not restore";
        EXPECT_EQ(g_commands, std::vector<WPARAM>{WPARAM(SC_RESTORE)});
    }
}

// A dialog that may be minimized but not maximized comes back from its
// minimized title as any other: by a real double click on the title, and
// its menu offers Restore.
TEST_F(MinimizedTitleTest, ADialogWithoutAMaximizeBoxIsRestoredFromItsMinimizedTitle)
{
    TacDialogWnd& dialog = Dialog(WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME);
    const HWND d = dialog.Handle();
    MinimizeAt(d, 300, 200);
    ASSERT_TRUE(IsIconic(d));
    EXPECT_TRUE(dialog.RestoreEnabled());
    SetForegroundWindow(d);
    tw::Application->ProcessMessages();
    RECT wr;
    GetWindowRect(d, &wr);
    g_commands.clear();
    test::ClickAt(POINT{wr.left + 60, wr.top + GetSystemMetrics(SM_CYCAPTION) / 2}, 2);
    EXPECT_TRUE(test::PumpUntil([&] { return !IsIconic(d); })) << "a double click on the title did not restore";
}

// ---------------------------------------------------------------------------
// Minimized forms

class MinimizedFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    HWND MinimizedForm(tw::TBorderStyle style = tw::bsSizeable)
    {
        form = new tw::TForm(tw::Application);
        form->SetText("Minimized");
        form->SetBorderStyle(style);
        form->SetBounds(120, 100, 400, 260);
        new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        const HWND wnd = form->Handle();
        MinimizeAt(wnd, 300, 200);
        return wnd;
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
};

// A minimized form is a title only: its top and side rows answer as the
// title (no sizing cursor there), so a real double click on the top row
// restores it.
TEST_F(MinimizedFormTest, TheEdgesOfAMinimizedTitleAreTitleAndADoubleClickThereRestores)
{
    const HWND wnd = MinimizedForm();
    ASSERT_TRUE(IsIconic(wnd));
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int midY = (wr.top + wr.bottom) / 2;
    for (POINT p : {POINT{wr.left + 60, wr.top}, POINT{wr.left, midY}, POINT{wr.right - 1, midY}})
        EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)), HTCAPTION)
            << "at " << p.x - wr.left << "," << p.y - wr.top;
    SetForegroundWindow(wnd);
    tw::Application->ProcessMessages();
    test::ClickAt(POINT{wr.left + 60, wr.top}, 2);
    EXPECT_TRUE(test::PumpUntil([&] { return !IsIconic(wnd); })) << "a double click on the top row did not restore";
}

// Alt+Space on a minimized form opens its menu below the title, where it
// opens for a restored form, not over the title at the window's corner.
TEST_F(MinimizedFormTest, AltSpaceOpensTheMenuBelowAMinimizedTitle)
{
    for (const tw::TBorderStyle style : {tw::bsSizeable, tw::bsSingle}) {
        SCOPED_TRACE(style == tw::bsSingle ? "fixed frame" : "sizing frame");
        delete form;
        const HWND wnd = MinimizedForm(style);
        ASSERT_TRUE(IsIconic(wnd));
        SetForegroundWindow(wnd);
        SetActiveWindow(wnd);
        tw::Application->ProcessMessages();
        const TMenuSeen seen = MenuOpenedBy(AltSpace);
        ASSERT_TRUE(seen.Opened) << "Alt+Space opened no menu";
        RECT wr;
        GetWindowRect(wnd, &wr);
        // The frame its style gives it (a fixed one is narrower).
        const int border = FrameOf(wnd);
        EXPECT_EQ(seen.Rect.left, wr.left + border);
        EXPECT_EQ(seen.Rect.top, wr.top + border + GetSystemMetrics(SM_CYCAPTION));
    }
}

// At the screen's bottom the menu of a minimized form, opened by Alt+Space
// or by a click on the title icon, opens above the title; so does the menu
// of a restored form whose title lies at the screen's bottom.
TEST_F(MinimizedFormTest, AtTheScreensBottomTheMenuOpensAboveTheTitle)
{
    const HWND wnd = MinimizedForm();
    ASSERT_TRUE(IsIconic(wnd));
    ToTheBottom(wnd);
    SetForegroundWindow(wnd);
    SetActiveWindow(wnd);
    tw::Application->ProcessMessages();
    {
        SCOPED_TRACE("Alt+Space, minimized");
        ExpectAboveTheTitle(MenuOpenedBy(AltSpace), TitleOf(wnd));
    }
    {
        SCOPED_TRACE("a click on the icon, minimized");
        const POINT icon = FindOnTitle(wnd, HTSYSMENU);
        ASSERT_GE(icon.x, 0);
        ExpectAboveTheTitle(MenuOpenedBy(ClickIcon, icon), TitleOf(wnd));
        EXPECT_TRUE(IsIconic(wnd));
    }
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
    ASSERT_FALSE(IsIconic(wnd));
    // Restored, its title on the screen's last rows, the rest below them.
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(wnd, nullptr, 200, work.bottom - FrameOf(wnd) - GetSystemMetrics(SM_CYCAPTION) - 4, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    SetForegroundWindow(wnd);
    tw::Application->ProcessMessages();
    SCOPED_TRACE("Alt+Space, title at the bottom");
    ExpectAboveTheTitle(MenuOpenedBy(AltSpace), TitleOf(wnd));
}

// The same for a skinned system dialog, minimized at the screen's bottom.
TEST_F(MinimizedTitleTest, AtTheScreensBottomADialogsMenuOpensAboveItsMinimizedTitle)
{
    TacDialogWnd& dialog = Dialog(WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME);
    const HWND d = dialog.Handle();
    MinimizeAt(d, 300, 200);
    ASSERT_TRUE(IsIconic(d));
    SetForegroundWindow(d);
    SetActiveWindow(d);
    tw::Application->ProcessMessages();
    {
        SCOPED_TRACE("a click on the icon, room below");
        const TMenuSeen seen = MenuOpenedBy(ClickIcon, FindOnTitle(d, HTSYSMENU));
        ASSERT_TRUE(seen.Opened);
        EXPECT_GE(seen.Rect.top, TitleOf(d).bottom) << "the menu covers the title's lower rows";
    }
    ToTheBottom(d);
    const RECT title = TitleOf(d);
    {
        SCOPED_TRACE("Alt+Space");
        ExpectAboveTheTitle(MenuOpenedBy(AltSpace), title);
    }
    SCOPED_TRACE("a click on the icon");
    const POINT at = FindOnTitle(d, HTSYSMENU);
    ASSERT_GE(at.x, 0);
    ExpectAboveTheTitle(MenuOpenedBy(ClickIcon, at), title);
    EXPECT_TRUE(IsIconic(d));
}

} // namespace
} // namespace skin

#endif
