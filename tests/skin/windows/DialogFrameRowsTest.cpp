// A skinned system dialog under Wine, through real messages: the system menu
// taken from the window while the skin draws its buttons (and the keys that
// close it still working), a class that forbids closing, which button set a
// frame gets, the dialog's own scroll bars in the skin, and the repaints the
// focus and late children ask for.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::vector<std::pair<UINT, WPARAM>> g_heard;
std::map<HWND, WNDPROC> g_procs;

// Under the adapter: records the system commands and scroll messages that
// reach the dialog's own procedure (the commands are not run).
LRESULT CALLBACK HearingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) != SC_KEYMENU) {
        g_heard.emplace_back(msg, wp & 0xFFF0);
        return 0;
    }
    if (msg == WM_VSCROLL) {
        g_heard.emplace_back(msg, LOWORD(wp));
        return 0;
    }
    return CallWindowProcW(g_procs[wnd], wnd, msg, wp, lp);
}

BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptingEntry() { return AcceptLayered; }

// A dialog class that forbids closing (the system greys its close button).
const wchar_t* NoCloseClass()
{
    static const wchar_t* name = [] {
        WNDCLASSW wc{};
        wc.style = CS_NOCLOSE;
        wc.lpfnWndProc = DefDlgProcW;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TwNoCloseDialog";
        RegisterClassW(&wc);
        return L"TwNoCloseDialog";
    }();
    return name;
}

// The width of one glyph of a title-button mask, read from the skin's data.
int GlyphWidth(const TsSkinManager& sm, const char* name)
{
    const int i = sm.GetMaskIndex(sm.ConstData.IndexGlobalInfo, "GLOBALINFO", name);
    if (!sm.MaskIndexValid(i))
        return -1;
    const TsMaskData& m = sm.ma[size_t(i)];
    const int whole = m.Bmp ? m.Bmp->Width() : m.R.Width();
    return whole / std::max<int>(1, m.ImageCount);
}

class DialogFrameRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        g_heard.clear();
    }
    void TearDown() override
    {
        providers.clear();
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        DefaultManager = nullptr;
    }
    HWND Make(DWORD style, DWORD ex = 0, const wchar_t* cls = L"#32770")
    {
        HWND d = CreateWindowExW(ex, cls, L"Frame", WS_POPUP | WS_CAPTION | style, 70, 70, 340, 230, nullptr, nullptr,
                                 nullptr, nullptr);
        windows.push_back(d);
        g_procs[d] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HearingProc)));
        return d;
    }
    TacDialogWnd& Skin(HWND d)
    {
        auto p = std::make_unique<TacProvider>();
        p->Handle = d;
        p->DialogAdapter = std::make_unique<TacDialogWnd>(d, &manager);
        p->DialogAdapter->Provider = p.get();
        AdaptDialogChildren(*p, d);
        p->DialogAdapter->InitDialogState();
        ShowWindow(d, SW_SHOWNOACTIVATE);
        UpdateWindow(d);
        tw::Application->ProcessMessages();
        providers.push_back(std::move(p));
        return *providers.back()->DialogAdapter;
    }
    TacDialogWnd& Skinned(DWORD style, DWORD ex = 0, const wchar_t* cls = L"#32770") { return Skin(Make(style, ex, cls)); }
    static POINT Centre(HWND d, const TRect& r)
    {
        RECT wr;
        GetWindowRect(d, &wr);
        return POINT{wr.left + (r.Left + r.Right) / 2, wr.top + (r.Top + r.Bottom) / 2};
    }
    static LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }
    static void Click(HWND d, POINT p)
    {
        const int code = int(SendMessageW(d, WM_NCHITTEST, 0, At(p)));
        SendMessageW(d, WM_NCLBUTTONDOWN, WPARAM(code), At(p));
        SendMessageW(d, WM_NCLBUTTONUP, WPARAM(code), At(p));
        tw::Application->ProcessMessages();
    }
    std::vector<std::pair<UINT, WPARAM>> Heard()
    {
        tw::Application->ProcessMessages();
        std::vector<std::pair<UINT, WPARAM>> h;
        h.swap(g_heard);
        return h;
    }
    static std::vector<COLORREF> Pixels(const tw::TBitmap* bmp, const TRect& r)
    {
        std::vector<COLORREF> out;
        HDC dc = const_cast<tw::TBitmap*>(bmp)->Canvas().Handle();
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                out.push_back(GetPixel(dc, x, y));
        return out;
    }

    TsSkinManager manager;
    std::vector<std::unique_ptr<TacProvider>> providers;
    std::vector<HWND> windows;
};

const std::pair<UINT, WPARAM> kClose{WM_SYSCOMMAND, SC_CLOSE};

TEST_F(DialogFrameRowsTest, TheSystemMenuStyleIsTakenWhileSkinnedYetCloseAndAltF4StillClose)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    const HWND d = dialog.Handle();
    // The system draws no buttons of its own: the window has no system menu.
    EXPECT_EQ(GetWindowLongPtrW(d, GWL_STYLE) & WS_SYSMENU, 0);
    // The skin's buttons and menu go by the style the dialog came with.
    EXPECT_NE(dialog.Style() & WS_SYSMENU, 0);
    const TCaptionLayout b = dialog.Buttons();
    ASSERT_GT(b.Close.Right, b.Close.Left);
    ASSERT_GT(b.Max.Right, b.Max.Left);
    ASSERT_GT(b.Min.Right, b.Min.Left);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Close))), HTCLOSE);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Max))), HTMAXBUTTON);
    EXPECT_TRUE(dialog.SysMenu()->ItemClose->Visible());
    Click(d, Centre(d, b.Close));
    EXPECT_EQ(Heard(), std::vector{kClose});

    // Alt+F4 as the keyboard sends it to the active dialog still closes it.
    SetActiveWindow(d);
    SendMessageW(d, WM_SYSKEYDOWN, VK_F4, LPARAM(1) | (LPARAM(1) << 29));
    EXPECT_EQ(Heard(), std::vector{kClose});

    // Taken again (a skin change), the copy keeps the system menu.
    dialog.InitDialogState();
    EXPECT_NE(dialog.Style() & WS_SYSMENU, 0);
    EXPECT_GT(dialog.Buttons().Close.Right, dialog.Buttons().Close.Left);

    // Unskinned, the dialog has its system menu back.
    providers.clear();
    EXPECT_NE(GetWindowLongPtrW(d, GWL_STYLE) & WS_SYSMENU, 0);

    // A dialog without a system menu never gets one.
    TacDialogWnd& plain = Skinned(0);
    EXPECT_TRUE(plain.Buttons().Close.Right <= plain.Buttons().Close.Left);
    providers.clear();
    EXPECT_EQ(GetWindowLongPtrW(plain.Handle(), GWL_STYLE) & WS_SYSMENU, 0);
}

TEST_F(DialogFrameRowsTest, AClassThatForbidsClosingShowsCloseDisabledAndAPressRunsNothing)
{
    TacDialogWnd& open = Skinned(WS_SYSMENU);
    TacDialogWnd& shut = Skinned(WS_SYSMENU, 0, NoCloseClass());
    ASSERT_TRUE(open.CloseEnabled());
    ASSERT_FALSE(shut.CloseEnabled());
    const TRect closeOpen = open.Buttons().Close, closeShut = shut.Buttons().Close;
    ASSERT_GT(closeShut.Right, closeShut.Left);
    // Twins but for the class: the same title, a different close glyph.
    ASSERT_TRUE(closeOpen == closeShut);
    ASSERT_NE(open.Cache(), nullptr);
    ASSERT_NE(shut.Cache(), nullptr);
    const std::vector<COLORREF> enabledLook = Pixels(open.Cache(), closeOpen);
    const std::vector<COLORREF> disabledLook = Pixels(shut.Cache(), closeShut);
    EXPECT_NE(enabledLook, disabledLook);

    // The mouse over it or a press leaves the disabled look; nothing runs.
    const HWND d = shut.Handle();
    const POINT on = Centre(d, closeShut);
    SendMessageW(d, WM_NCHITTEST, 0, At(on));
    SendMessageW(d, WM_NCLBUTTONDOWN, HTCLOSE, At(on));
    EXPECT_EQ(Pixels(shut.Cache(), closeShut), disabledLook);
    SendMessageW(d, WM_NCLBUTTONUP, HTCLOSE, At(on));
    EXPECT_TRUE(Heard().empty());
    // The twin closes.
    Click(open.Handle(), Centre(open.Handle(), closeOpen));
    EXPECT_EQ(Heard(), std::vector{kClose});
}

TEST_F(DialogFrameRowsTest, SizeableAndPlainFramesTakeTheBigButtonsAndFixedFramesTheSmallOnes)
{
    const int big = GlyphWidth(manager, "BICONCLOSE");
    const int small = GlyphWidth(manager, "SICONCLOSE");
    ASSERT_GT(big, 0);
    // A tool window's frame is still a sizeable one: the big set.
    TacDialogWnd& tool = Skinned(WS_SYSMENU | WS_THICKFRAME, WS_EX_TOOLWINDOW);
    EXPECT_EQ(tool.BorderKind(), 3);
    EXPECT_EQ(tool.Buttons().Close.Width(), big);
    TacDialogWnd& plain = Skinned(WS_SYSMENU);
    EXPECT_EQ(plain.Buttons().Close.Width(), big);
    // A modal frame takes the small set, the big one when the skin has none.
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | DS_MODALFRAME);
    EXPECT_EQ(fixed.BorderKind(), 0);
    EXPECT_EQ(fixed.Buttons().Close.Width(), small > 0 ? small : big);
}

TEST_F(DialogFrameRowsTest, TheDialogsOwnScrollBarsWearTheSkinAndScrollIt)
{
    const HWND twin = Make(WS_SYSMENU | WS_VSCROLL);
    const HWND d = Make(WS_SYSMENU | WS_VSCROLL);
    for (HWND w : {twin, d}) {
        SCROLLINFO si{sizeof(si), SIF_ALL, 0, 100, 10, 0, 0};
        SetScrollInfo(w, SB_VERT, &si, FALSE);
    }
    ShowWindow(twin, SW_SHOWNOACTIVATE);
    UpdateWindow(twin);
    TacDialogWnd& dialog = Skin(d);
    ASSERT_TRUE(dialog.ShowsVertical());
    EXPECT_EQ(dialog.VerticalWidth(), GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_GT(dialog.PaintCount(), 0);
    const TRect bar = dialog.Bar(true).Rect;

    // The track's middle, printed: the skin's, not what the system shows
    // on the unskinned twin at the same place.
    int w = 0;
    const std::vector<uint32_t> skinned = test::PrintFrame(d, w);
    int tw = 0;
    const std::vector<uint32_t> system = test::PrintFrame(twin, tw);
    ASSERT_EQ(w, tw);
    const int x = (bar.Left + bar.Right) / 2;
    const int y = bar.Top + bar.Height() * 3 / 4;
    EXPECT_NE(skinned[size_t(y * w + x)], system[size_t(y * w + x)]);

    // A click on the lower arrow scrolls the dialog a line.
    RECT wr;
    GetWindowRect(d, &wr);
    const POINT arrow{wr.left + x, wr.top + bar.Bottom - bar.Width() / 2};
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(arrow)), HTVSCROLL);
    SendMessageW(d, WM_NCLBUTTONDOWN, HTVSCROLL, At(arrow));
    POINT client = arrow;
    ScreenToClient(d, &client);
    SendMessageW(d, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    const auto heard = Heard();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), (std::pair<UINT, WPARAM>{WM_VSCROLL, SB_LINEDOWN}));
    EXPECT_EQ(heard.back(), (std::pair<UINT, WPARAM>{WM_VSCROLL, SB_ENDSCROLL}));
}

TEST_F(DialogFrameRowsTest, FocusAndLateChildrenRepaintAtOnce)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    HWND child = CreateWindowW(L"STATIC", L"Label", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, d, nullptr, nullptr,
                               nullptr);
    tw::Application->ProcessMessages();
    SetActiveWindow(d);
    ASSERT_EQ(GetActiveWindow(), d);
    tw::Application->ProcessMessages();
    // The focus: the active window and its children are painted before
    // the message returns, nothing is left for later (what waited to be
    // painted included).
    InvalidateRect(d, nullptr, FALSE);
    InvalidateRect(child, nullptr, FALSE);
    ASSERT_TRUE(GetUpdateRect(d, nullptr, FALSE));
    ASSERT_TRUE(GetUpdateRect(child, nullptr, FALSE));
    SendMessageW(d, WM_SETFOCUS, 0, 0);
    EXPECT_FALSE(GetUpdateRect(d, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));
    // The system's dialogs' notice of late children: the same, at once.
    InvalidateRect(d, nullptr, FALSE);
    ASSERT_TRUE(GetUpdateRect(d, nullptr, FALSE));
    SendMessageW(d, 0x052E, 0, 0);
    EXPECT_FALSE(GetUpdateRect(d, nullptr, FALSE));
}

TEST_F(DialogFrameRowsTest, TheBorderWindowFollowsEveryPositionChangeAndGoesWhenHidden)
{
    const auto savedEntry = GlowLayeredEntry;
    GlowLayeredEntry = AcceptingEntry;
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    SendSkinCommand(d, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    TacBorderForm* border = dialog.BorderForm();
    ASSERT_NE(border, nullptr);
    const int before = border->Updates();
    WINDOWPOS pos{d, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER};
    SendMessageW(d, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    EXPECT_GT(border->Updates(), before);
    pos.flags |= SWP_HIDEWINDOW;
    SendMessageW(d, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
    EXPECT_EQ(dialog.BorderForm(), nullptr);
    manager.SetExtendedBorders(false);
    GlowLayeredEntry = savedEntry;
}

TEST_F(DialogFrameRowsTest, ADialogAdapterThatGoesTakesTheHalosWithIt)
{
    const auto savedEntry = GlowLayeredEntry;
    GlowLayeredEntry = AcceptingEntry;
    Skinned(WS_SYSMENU);
    const int id = ShowGlow(TRect(100, 100, 160, 124), TRect(0, 0, 60, 24), "BUTTON", &manager, nullptr, 0, "GLOW");
    ASSERT_GE(id, 0);
    ASSERT_NE(GlowWindow(id), nullptr);
    providers.clear();
    EXPECT_EQ(GlowWindow(id), nullptr);
    tw::Application->ProcessMessages();
    GlowLayeredEntry = savedEntry;
}

} // namespace
} // namespace skin

#endif
