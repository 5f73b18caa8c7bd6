// A skinned system dialog's title under Wine, read in pixels and window
// state: which pictures its buttons take when the skin lacks some, the look
// of an inactive dialog's buttons, what activation, the system commands and
// a help click draw again, the colour the dialog answers, the border window
// shown for the first time under the compositor, the region of a popup
// without a caption, and a maximize button that cannot run.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::vector<WPARAM> g_commands;
std::map<HWND, WNDPROC> g_procs;
std::map<HWND, int> g_paints;
std::map<HWND, int> g_presses;
std::map<HWND, bool> g_ownRegion;

// Under the adapter: records the system commands that reach the dialog's
// own procedure instead of running them.
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) != SC_KEYMENU) {
        g_commands.push_back(wp & 0xFFF0);
        return 0;
    }
    if (msg == WM_PAINT)
        ++g_paints[wnd];
    if (msg == WM_NCLBUTTONDOWN)
        ++g_presses[wnd];
    // A window that keeps a region of its own says so when asked.
    if (msg == 0xBC4D && wp == 0x41A2 && g_ownRegion[wnd])
        return 0x41A2;
    // A dialog that would take every key: the skinned one asks for none.
    if (msg == WM_GETDLGCODE)
        return DLGC_WANTALLKEYS;
    return CallWindowProcW(g_procs[wnd], wnd, msg, wp, lp);
}

BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptingEntry() { return AcceptLayered; }

constexpr COLORREF kScribble = RGB(1, 254, 3);

class DialogTitleRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        // Buttons change at once, not in fades.
        manager.SetAllowGlowing(false);
        composition = PlatformAnswers().CompositionEnabled;
        g_commands.clear();
    }
    void TearDown() override
    {
        providers.clear();
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        PlatformAnswers().CompositionEnabled = composition;
        DefaultManager = nullptr;
    }
    HWND Make(DWORD style, DWORD ex = 0, bool caption = true)
    {
        HWND d = CreateWindowExW(ex, L"#32770", L"Rows", WS_POPUP | (caption ? WS_CAPTION : 0) | style, 80, 60, 360,
                                 240, nullptr, nullptr, nullptr, nullptr);
        windows.push_back(d);
        g_procs[d] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc)));
        return d;
    }
    TacDialogWnd& Skin(HWND d, bool show = true)
    {
        auto p = std::make_unique<TacProvider>();
        p->Handle = d;
        p->DialogAdapter = std::make_unique<TacDialogWnd>(d, &manager);
        p->DialogAdapter->Provider = p.get();
        AdaptDialogChildren(*p, d);
        p->DialogAdapter->InitDialogState();
        if (show) {
            ShowWindow(d, SW_SHOWNOACTIVATE);
            SetWindowPos(d, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            UpdateWindow(d);
            tw::Application->ProcessMessages();
        }
        providers.push_back(std::move(p));
        return *providers.back()->DialogAdapter;
    }
    TacDialogWnd& Skinned(DWORD style, DWORD ex = 0) { return Skin(Make(style, ex)); }
    std::vector<WPARAM> Commands()
    {
        tw::Application->ProcessMessages();
        std::vector<WPARAM> c;
        c.swap(g_commands);
        return c;
    }
    // A skin's mask moved to another section.
    void MoveMask(const char* section, const char* name, const char* to)
    {
        for (TsMaskData& m : manager.ma)
            if (m.SectionName == section && m.PropertyName == name)
                m.SectionName = to;
        manager.ForgetNameIndexes();
    }
    int GlobalMask(const char* name) const
    {
        return manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", name);
    }
    static POINT Centre(HWND d, const TRect& r)
    {
        RECT wr;
        GetWindowRect(d, &wr);
        return POINT{wr.left + (r.Left + r.Right) / 2, wr.top + (r.Top + r.Bottom) / 2};
    }
    static LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }
    // What the dialog's window shows in r (window coordinates).
    static std::vector<COLORREF> OnWindow(HWND d, const TRect& r)
    {
        std::vector<COLORREF> out;
        HDC dc = GetWindowDC(d);
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                out.push_back(GetPixel(dc, x, y));
        ReleaseDC(d, dc);
        return out;
    }
    static void Scribble(HWND d, const TRect& r)
    {
        HDC dc = GetWindowDC(d);
        HBRUSH b = CreateSolidBrush(kScribble);
        const RECT rr{r.Left, r.Top, r.Right, r.Bottom};
        FillRect(dc, &rr, b);
        DeleteObject(b);
        ReleaseDC(d, dc);
        GdiFlush();
    }
    static bool AllScribble(const std::vector<COLORREF>& px)
    {
        return std::all_of(px.begin(), px.end(), [](COLORREF c) { return c == kScribble; });
    }
    static std::vector<COLORREF> InCache(const TacDialogWnd& dialog, const TRect& r)
    {
        std::vector<COLORREF> out;
        HDC dc = const_cast<tw::TBitmap*>(dialog.Cache())->Canvas().Handle();
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                out.push_back(GetPixel(dc, x, y));
        return out;
    }
    // Of the glyph frame's pixels that are not the key colour, how many the
    // cache shows exactly as the skin's picture has them at the button.
    std::pair<int, int> GlyphPixelsShownAsIs(const TacDialogWnd& dialog, int maskIndex, int frame, TPoint at) const
    {
        const TsMaskData& m = manager.ma[size_t(maskIndex)];
        const TPixelView src = m.Bmp ? m.Bmp->View() : manager.MasterBitmap->View();
        const TPixelView dst = const_cast<tw::TBitmap*>(dialog.Cache())->PixelView();
        const int fw = MaskFrameWidth(m), fh = MaskFrameHeight(m);
        int same = 0, all = 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x) {
                const uint8_t* s = src.Pixel(m.R.Left + fw * frame + x, m.R.Top + y);
                if (s[0] == 0xFF && s[1] == 0x00 && s[2] == 0xFF)
                    continue;
                const uint8_t* c = dst.Pixel(at.X + x, at.Y + y);
                ++all;
                same += c[0] == s[0] && c[1] == s[1] && c[2] == s[2];
            }
        return {same, all};
    }

    TsSkinManager manager;
    std::function<bool()> composition;
    std::vector<std::unique_ptr<TacProvider>> providers;
    std::vector<HWND> windows;
};

TEST_F(DialogTitleRowsTest, TheRestorePictureFallsBackToTheDialogsSectionAndTheSmallSetIsNotMixed)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX);
    const HWND d = dialog.Handle();
    ShowWindow(d, SW_MAXIMIZE);
    UpdateWindow(d);
    const TRect max = dialog.Buttons().Max;
    ASSERT_GT(max.Width(), 0);
    const std::vector<COLORREF> global = InCache(dialog, max);
    auto repaint = [&] {
        RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
        EXPECT_TRUE(dialog.Buttons().Max == max);
        return InCache(dialog, max);
    };
    // Kept with the dialog's section, the restore picture is the same.
    MoveMask("GLOBALINFO", "BICONNORM", "DIALOG");
    EXPECT_EQ(repaint(), global);
    // Nowhere, the button shows no picture: it was the picture that showed.
    MoveMask("DIALOG", "BICONNORM", "NOSECTION");
    EXPECT_NE(repaint(), global);
    ShowWindow(d, SW_RESTORE);

    // A fixed frame takes the small set; a small picture it lacks is not
    // lent from the big set (its button is the default size, without a
    // glyph), except help, which skins draw big only.
    MoveMask("GLOBALINFO", "SICONMIN", "NOSECTION");
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME, WS_EX_CONTEXTHELP);
    const HWND f = fixed.Handle();
    ASSERT_EQ(fixed.BorderKind(), 0);
    const TCaptionLayout b = fixed.Buttons();
    EXPECT_EQ(b.Close.Width(), MaskFrameWidth(manager.ma[size_t(GlobalMask("SICONCLOSE"))]));
    EXPECT_EQ(b.Help.Width(), MaskFrameWidth(manager.ma[size_t(GlobalMask("BICONHELP"))]));
    EXPECT_EQ(b.Min.Width(), 21);
    // Hot, the button without a glyph looks as before.
    const std::vector<COLORREF> normal = InCache(fixed, b.Min);
    EXPECT_EQ(SendMessageW(f, WM_NCHITTEST, 0, At(Centre(f, b.Min))), HTMINBUTTON);
    EXPECT_EQ(fixed.HotButton(), HTMINBUTTON);
    EXPECT_EQ(InCache(fixed, b.Min), normal);
}

// Rows and columns of r where two pictures differ: what a caption drew.
TRect InkBounds(const tw::TBitmap& a, const tw::TBitmap& b, const TRect& r)
{
    TRect ink(r.Right, r.Bottom, r.Left - 1, r.Top - 1);
    HDC da = const_cast<tw::TBitmap&>(a).Canvas().Handle(), db = const_cast<tw::TBitmap&>(b).Canvas().Handle();
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            if (GetPixel(da, x, y) != GetPixel(db, x, y)) {
                ink.Left = std::min(ink.Left, x);
                ink.Top = std::min(ink.Top, y);
                ink.Right = std::max(ink.Right, x);
                ink.Bottom = std::max(ink.Bottom, y);
            }
    return ink;
}

TEST_F(DialogTitleRowsTest, TheCaptionIsWrittenBoldAndCentredByItsExtentBelowTheTopEdge)
{
    // Edges make the frame wide: the text's place tells where its line starts.
    const DWORD ex = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
    const HWND empty = Make(WS_SYSMENU | WS_THICKFRAME, ex);
    SetWindowTextW(empty, L"");
    TacDialogWnd& blank = Skin(empty);
    TacDialogWnd& titled = Skinned(WS_SYSMENU | WS_THICKFRAME, ex);
    const HWND d = titled.Handle();
    const wchar_t* caption = L"Rows";
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const int border = client.x - wr.left, titleBottom = client.y - wr.top;
    ASSERT_GE(border, 6);
    const int width = wr.right - wr.left;
    const TRect strip(0, 0, width, titleBottom);
    ASSERT_NE(titled.Cache(), nullptr);
    ASSERT_NE(blank.Cache(), nullptr);
    const TRect drawn = InkBounds(*titled.Cache(), *blank.Cache(), strip);
    ASSERT_LT(drawn.Left, drawn.Right);

    // Worked by hand: the system's caption font in bold, in the title's
    // active text colour, after the icon, on a line as high as the text in
    // the middle of the strip from two pixels below the top.
    tw::TBitmap expected(blank.Cache()->Width(), blank.Cache()->Height(), tw::pf24bit);
    HDC dc = expected.Canvas().Handle();
    BitBlt(dc, 0, 0, expected.Width(), expected.Height(), const_cast<tw::TBitmap*>(blank.Cache())->Canvas().Handle(),
           0, 0, SRCCOPY);
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0));
    ncm.lfCaptionFont.lfWeight = FW_BOLD;
    HFONT font = CreateFontIndirectW(&ncm.lfCaptionFont);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, caption, 4, &extent);
    const int left = border + manager.SkinData.BILeft + GetSystemMetrics(SM_CXSMICON) + 4;
    const int top = 2 + (titleBottom - 2 - extent.cy) / 2;
    RECT line{left, top, titled.Buttons().Close.Left, top + extent.cy};
    SetBkMode(dc, TRANSPARENT);
    const int title = manager.GetSkinIndex("FORMTITLE");
    ASSERT_TRUE(manager.SkinIndexValid(title));
    SetTextColor(dc, COLORREF(manager.gd[size_t(title)].FontColor[0]));
    DrawTextW(dc, caption, 4, &line, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteObject(font);
    const TRect want = InkBounds(expected, *blank.Cache(), strip);
    ASSERT_LT(want.Left, want.Right);
    // The skin's contour passes may reach a pixel further.
    EXPECT_NEAR(drawn.Left, want.Left, 1);
    EXPECT_NEAR(drawn.Right, want.Right, 1);
    EXPECT_NEAR(drawn.Top, want.Top, 1);
    EXPECT_NEAR(drawn.Bottom, want.Bottom, 1);
}

TEST_F(DialogTitleRowsTest, AnInactiveDialogsButtonsLookInactiveInEveryState)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    const int close = GlobalMask("BICONCLOSE");
    ASSERT_TRUE(manager.MaskIndexValid(close));
    const TRect r = dialog.Buttons().Close;
    const LPARAM onClose = At(Centre(d, r));
    RECT wr;
    GetWindowRect(d, &wr);
    const LPARAM onTitle = MAKELPARAM(wr.left + 100, Centre(d, r).y);

    SendMessageW(d, WM_NCACTIVATE, TRUE, 0);
    UpdateWindow(d);
    SendMessageW(d, WM_NCHITTEST, 0, onClose);
    ASSERT_EQ(dialog.HotButton(), HTCLOSE);
    // Active and hot: the skin's hot picture as it is.
    const auto active = GlyphPixelsShownAsIs(dialog, close, 1, TPoint(r.Left, r.Top));
    ASSERT_GT(active.second, 0);
    EXPECT_EQ(active.first, active.second);

    SendMessageW(d, WM_NCHITTEST, 0, onTitle);
    SendMessageW(d, WM_NCACTIVATE, FALSE, 0);
    UpdateWindow(d);
    SendMessageW(d, WM_NCHITTEST, 0, onClose);
    ASSERT_EQ(dialog.HotButton(), HTCLOSE);
    // Inactive, hot too: the picture blended into the title, not as it is.
    const auto inactive = GlyphPixelsShownAsIs(dialog, close, 1, TPoint(r.Left, r.Top));
    EXPECT_LT(inactive.first, inactive.second / 2);
}

TEST_F(DialogTitleRowsTest, ActivationDrawsTheChildrenAgainAndTheDialogAnswersTheSkinsColour)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    HWND child = CreateWindowW(L"STATIC", L"Label", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, d, nullptr, nullptr,
                               nullptr);
    UpdateWindow(d);
    UpdateWindow(child);
    ASSERT_FALSE(GetUpdateRect(child, nullptr, FALSE));
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const TRect title(client.x - wr.left + 60, 4, client.x - wr.left + 64, client.y - wr.top - 4);
    SendMessageW(d, WM_NCACTIVATE, TRUE, 0);
    UpdateWindow(d);
    const std::vector<COLORREF> activeTitle = InCache(dialog, title);

    // The children show the dialog's picture under them: they are drawn
    // again with the frame.
    SendMessageW(d, WM_NCACTIVATE, FALSE, 0);
    EXPECT_TRUE(GetUpdateRect(child, nullptr, FALSE));
    UpdateWindow(d);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(GetUpdateRect(child, nullptr, FALSE));
    EXPECT_NE(InCache(dialog, title), activeTitle);

    // The dialog's colour is a plain brush of the skin's global colour.
    tw::TBitmap bmp(4, 4, tw::pf24bit);
    const HDC dc = bmp.Canvas().Handle();
    const HBRUSH brush = reinterpret_cast<HBRUSH>(SendMessageW(d, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                                               reinterpret_cast<LPARAM>(d)));
    ASSERT_NE(brush, nullptr);
    LOGBRUSH lb{};
    ASSERT_EQ(GetObjectW(brush, sizeof(lb), &lb), int(sizeof(lb)));
    EXPECT_EQ(lb.lbStyle, UINT(BS_SOLID));
    const RECT all{0, 0, 4, 4};
    FillRect(dc, &all, brush);
    const COLORREF global = COLORREF(manager.GetGlobalColor());
    EXPECT_EQ(GetPixel(dc, 0, 0), global);
    EXPECT_EQ(GetPixel(dc, 3, 3), global);
}

TEST_F(DialogTitleRowsTest, TheHotButtonAndTheMaximizeCommandsReachTheWindowAtOnce)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX);
    const HWND d = dialog.Handle();
    const TCaptionLayout b = dialog.Buttons();
    ASSERT_GT(b.Close.Width(), 0);
    ASSERT_GT(b.Max.Width(), 0);
    // Over close: its hot look is on the window before the message returns.
    Scribble(d, b.Close);
    ASSERT_TRUE(AllScribble(OnWindow(d, b.Close)));
    SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Close)));
    ASSERT_EQ(dialog.HotButton(), HTCLOSE);
    const std::vector<COLORREF> hot = OnWindow(d, b.Close);
    EXPECT_FALSE(AllScribble(hot));
    EXPECT_EQ(hot, InCache(dialog, b.Close));
    // Off it again: the normal look, at once as well.
    RECT wr;
    GetWindowRect(d, &wr);
    Scribble(d, b.Close);
    SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 100, Centre(d, b.Close).y));
    ASSERT_EQ(dialog.HotButton(), 0);
    EXPECT_EQ(OnWindow(d, b.Close), InCache(dialog, b.Close));
    EXPECT_NE(OnWindow(d, b.Close), hot);

    // Maximize and restore from wherever (nothing hot): the maximize button
    // is drawn again, as its picture changes with them.
    for (WPARAM command : {WPARAM(SC_RESTORE), WPARAM(SC_MAXIMIZE)}) {
        Scribble(d, b.Max);
        SendMessageW(d, WM_SYSCOMMAND, command, 0);
        EXPECT_EQ(Commands(), std::vector<WPARAM>{command});
        const std::vector<COLORREF> shown = OnWindow(d, b.Max);
        EXPECT_FALSE(AllScribble(shown)) << command;
        EXPECT_EQ(shown, InCache(dialog, b.Max));
    }
}

TEST_F(DialogTitleRowsTest, AHelpClickBringsTheMenuAndTheWholeFrameUpToDate)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX, WS_EX_CONTEXTHELP);
    const HWND d = dialog.Handle();
    // Zoomed without the system command: the menu does not know yet.
    ShowWindow(d, SW_MAXIMIZE);
    UpdateWindow(d);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(d));
    ASSERT_FALSE(dialog.SysMenu()->ItemRestore->Enabled());
    const TRect help = dialog.Buttons().Help;
    ASSERT_GT(help.Width(), 0);
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const int top = client.y - wr.top;
    const TRect title((wr.right - wr.left) / 3, top / 2 - 2, (wr.right - wr.left) / 3 + 12, top / 2 + 2);
    Scribble(d, title);
    ASSERT_TRUE(AllScribble(OnWindow(d, title)));

    const POINT on = Centre(d, help);
    ASSERT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(on)), HTHELP);
    SendMessageW(d, WM_NCLBUTTONDOWN, HTHELP, At(on));
    SendMessageW(d, WM_NCLBUTTONUP, HTHELP, At(on));
    EXPECT_EQ(dialog.HotButton(), 0);
    // The whole frame, far from the button, is drawn again.
    const std::vector<COLORREF> shown = OnWindow(d, title);
    EXPECT_FALSE(AllScribble(shown));
    EXPECT_EQ(shown, InCache(dialog, title));
    EXPECT_TRUE(dialog.SysMenu()->ItemRestore->Enabled());
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_CONTEXTHELP)});
}

TEST_F(DialogTitleRowsTest, TheBorderWindowShownFirstUnderTheCompositorTakesTheRegionAndTheFocus)
{
    const test::TLayeredEntryScope layered(AcceptingEntry);
    for (const bool compositor : {false, true}) {
        PlatformAnswers().CompositionEnabled = [compositor] { return compositor; };
        HWND other = CreateWindowW(L"EDIT", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 500, 400, 100, 30, nullptr,
                                   nullptr, nullptr, nullptr);
        windows.push_back(other);
        SetActiveWindow(other);
        SetFocus(other);
        ASSERT_EQ(GetFocus(), other);

        // Skinned hidden: the extended border comes before the window shows.
        const HWND d = Make(WS_SYSMENU);
        TacDialogWnd& dialog = Skin(d, false);
        manager.SetExtendedBorders(true);
        manager.UpdateExtBorderImages();
        SendSkinCommand(d, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
        TacBorderForm* border = dialog.BorderForm();
        ASSERT_NE(border, nullptr);
        ASSERT_FALSE(border->Shown());
        ShowWindow(d, SW_SHOWNOACTIVATE);
        UpdateWindow(d);
        tw::Application->ProcessMessages();
        EXPECT_TRUE(border->Shown());
        // The dialog keeps its client only.
        RECT wr;
        GetWindowRect(d, &wr);
        POINT client{0, 0};
        ClientToScreen(d, &client);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(d, rgn), ERROR);
        EXPECT_FALSE(PtInRegion(rgn, (wr.right - wr.left) / 2, 1));
        EXPECT_TRUE(PtInRegion(rgn, client.x - wr.left + 2, client.y - wr.top + 2));
        DeleteObject(rgn);
        const HWND focus = GetFocus();
        if (compositor)
            EXPECT_TRUE(focus == d || IsChild(d, focus));
        else
            EXPECT_EQ(focus, other);
        providers.clear();
        manager.SetExtendedBorders(false);
        DestroyWindow(d);
    }
}

TEST_F(DialogTitleRowsTest, APopupWithoutACaptionHasNoRegionWhileNotMinimizedSizeableOrNot)
{
    for (const DWORD sizing : {DWORD(0), DWORD(WS_THICKFRAME)}) {
        TacDialogWnd& dialog = Skin(Make(WS_BORDER | WS_SYSMENU | sizing, 0, false));
        const HWND d = dialog.Handle();
        ASSERT_EQ(dialog.BorderKind(), 2);
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(d, rgn), ERROR) << sizing;
        // Sized, still square.
        SetWindowPos(d, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateWindow(d);
        EXPECT_EQ(GetWindowRgn(d, rgn), ERROR) << sizing;
        DeleteObject(rgn);
    }
    // Minimized it is a title with the skin's corners; restored, nothing
    // of the region cut for the small title is left to hide the window.
    TacDialogWnd& popup = Skin(Make(WS_BORDER | WS_SYSMENU | WS_MINIMIZEBOX, 0, false));
    const HWND p = popup.Handle();
    ShowWindow(p, SW_MINIMIZE);
    UpdateWindow(p);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(p));
    HRGN iconic = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(p, iconic), ERROR);
    ShowWindow(p, SW_RESTORE);
    UpdateWindow(p);
    tw::Application->ProcessMessages();
    ASSERT_FALSE(IsIconic(p));
    EXPECT_EQ(GetWindowRgn(p, iconic), ERROR);
    DeleteObject(iconic);
    // The same frame with a caption has its corners cut: the skin cuts some.
    TacDialogWnd& titled = Skinned(WS_SYSMENU | WS_THICKFRAME);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(titled.Handle(), rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    DeleteObject(rgn);
}

TEST_F(DialogTitleRowsTest, AMaximizeButtonThatCannotRunIsNotPressed)
{
    // A fixed frame with a maximize box: maximizing is not enabled.
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX | DS_MODALFRAME);
    const HWND d = fixed.Handle();
    ASSERT_FALSE(fixed.MaximizeEnabled());
    const TRect max = fixed.Buttons().Max;
    ASSERT_GT(max.Width(), 0);
    const std::vector<COLORREF> look = InCache(fixed, max);
    const LPARAM on = At(Centre(d, max));
    SendMessageW(d, WM_NCLBUTTONDOWN, HTMAXBUTTON, on);
    EXPECT_EQ(InCache(fixed, max), look);
    SendMessageW(d, WM_NCLBUTTONUP, HTMAXBUTTON, on);
    EXPECT_TRUE(Commands().empty());
    // A sizeable twin's maximize runs.
    TacDialogWnd& sizing = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME);
    const HWND s = sizing.Handle();
    const LPARAM onMax = At(Centre(s, sizing.Buttons().Max));
    SendMessageW(s, WM_NCLBUTTONDOWN, HTMAXBUTTON, onMax);
    SendMessageW(s, WM_NCLBUTTONUP, HTMAXBUTTON, onMax);
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_MAXIMIZE)});
}

TEST_F(DialogTitleRowsTest, AReleaseWithoutAPressRunsNothingAndLeavesOnlyCloseHot)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME, WS_EX_CONTEXTHELP);
    const HWND d = dialog.Handle();
    const TCaptionLayout b = dialog.Buttons();
    // The button was pressed elsewhere (or not at all) and the mouse let go
    // over it: minimize, maximize and help lose their hot look, close keeps it.
    const std::pair<int, TRect> buttons[] = {
        {HTMINBUTTON, b.Min}, {HTMAXBUTTON, b.Max}, {HTHELP, b.Help}, {HTCLOSE, b.Close}};
    for (const auto& [code, rect] : buttons) {
        ASSERT_GT(rect.Width(), 0) << code;
        const LPARAM on = At(Centre(d, rect));
        ASSERT_EQ(SendMessageW(d, WM_NCHITTEST, 0, on), code);
        ASSERT_EQ(dialog.HotButton(), code);
        SendMessageW(d, WM_NCLBUTTONUP, WPARAM(code), on);
        EXPECT_EQ(dialog.HotButton(), code == HTCLOSE ? code : 0) << code;
        EXPECT_EQ(OnWindow(d, rect), InCache(dialog, rect)) << code;
        EXPECT_TRUE(Commands().empty()) << code;
    }
}

TEST_F(DialogTitleRowsTest, AClickThatRunsItsCommandLeavesNoButtonHotOrPressed)
{
    // The dialog's procedure here only notes the commands: the dialog stays
    // as it is, as one that refuses to close would.
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME);
    const HWND d = dialog.Handle();
    const TCaptionLayout b = dialog.Buttons();
    const std::pair<int, TRect> buttons[] = {{HTCLOSE, b.Close}, {HTMAXBUTTON, b.Max}, {HTMINBUTTON, b.Min}};
    for (const auto& [code, rect] : buttons) {
        ASSERT_GT(rect.Width(), 0) << code;
        const LPARAM on = At(Centre(d, rect));
        ASSERT_EQ(SendMessageW(d, WM_NCHITTEST, 0, on), code);
        SendMessageW(d, WM_NCLBUTTONDOWN, WPARAM(code), on);
        SendMessageW(d, WM_NCLBUTTONUP, WPARAM(code), on);
        EXPECT_EQ(dialog.HotButton(), 0) << code;
        EXPECT_EQ(Commands().size(), 1u) << code;
        EXPECT_EQ(OnWindow(d, rect), InCache(dialog, rect)) << code;
    }
}

TEST_F(DialogTitleRowsTest, ANewCaptionOrAnEnableDrawsTheFrameAgainAtOnce)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const int top = client.y - wr.top, width = wr.right - wr.left;
    // Where the caption is written.
    const TRect text(top + 24, top / 4, width / 2, top - top / 4);
    Scribble(d, text);
    ASSERT_TRUE(AllScribble(OnWindow(d, text)));
    const std::vector<COLORREF> before = InCache(dialog, text);
    SetWindowTextW(d, L"Another and much longer caption");
    std::vector<COLORREF> shown = OnWindow(d, text);
    EXPECT_FALSE(AllScribble(shown));
    EXPECT_EQ(shown, InCache(dialog, text));
    EXPECT_NE(shown, before);

    for (const BOOL enable : {FALSE, TRUE}) {
        Scribble(d, text);
        EnableWindow(d, enable);
        shown = OnWindow(d, text);
        EXPECT_FALSE(AllScribble(shown)) << enable;
        EXPECT_EQ(shown, InCache(dialog, text)) << enable;
    }
}

TEST_F(DialogTitleRowsTest, AHiddenDialogDropsItsButtonFades)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    const TRect close = dialog.Buttons().Close;
    ASSERT_GT(close.Width(), 0);
    manager.SetAllowGlowing(true);
    for (const UINT hide : {UINT(0xB00B), UINT(WM_SHOWWINDOW)}) {
        SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, close)));
        ASSERT_EQ(dialog.HotButton(), HTCLOSE) << hide;
        ASSERT_NE(dialog.ButtonFx(HTCLOSE)->Animation, nullptr) << hide;
        SendMessageW(d, hide, 0, 0);
        EXPECT_EQ(dialog.ButtonFx(HTCLOSE)->Animation, nullptr) << hide;
        EXPECT_EQ(dialog.ButtonFx(HTCLOSE)->State, 0) << hide;
        SendMessageW(d, WM_MOUSELEAVE, 0, 0);
    }
    manager.SetAllowGlowing(false);
}

TEST_F(DialogTitleRowsTest, TheDialogsOwnMessagesPaintMoveAndLeaveAsTheSkinAsks)
{
    // Up to version 6 the dialog paints its own client; from 7 on the
    // system does, and the dialog's WM_PAINT only validates.
    const auto version = PlatformAnswers().MajorVersion;
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    TacDialogWnd& older = Skinned(WS_SYSMENU);
    PlatformAnswers().MajorVersion = [] { return DWORD(7); };
    TacDialogWnd& newer = Skinned(WS_SYSMENU | WS_MINIMIZEBOX);
    PlatformAnswers().MajorVersion = version;
    EXPECT_FALSE(older.PaintSuppressed);
    ASSERT_TRUE(newer.PaintSuppressed);
    const HWND d = newer.Handle();
    for (const HWND w : {older.Handle(), d}) {
        g_paints[w] = 0;
        InvalidateRect(w, nullptr, FALSE);
        SendMessageW(w, WM_PAINT, 0, 0);
        EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
    }
    EXPECT_EQ(g_paints[older.Handle()], 1);
    EXPECT_EQ(g_paints[d], 0);

    // The dialog asks for no keys of its own, whatever its procedure wants.
    EXPECT_EQ(SendMessageW(d, WM_GETDLGCODE, 0, 0), 0);

    // An owner-drawn label is written over the dialog's picture.
    HDC dc = GetDC(d);
    SetBkMode(dc, OPAQUE);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.hDC = dc;
    SendMessageW(d, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(d, dc);

    // The mouse leaving the client takes the hot look from the title.
    const TRect close = newer.Buttons().Close;
    ASSERT_GT(close.Width(), 0);
    SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, close)));
    ASSERT_EQ(newer.HotButton(), HTCLOSE);
    SendMessageW(d, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(newer.HotButton(), 0);
    EXPECT_EQ(OnWindow(d, close), InCache(newer, close));

    // A minimized dialog moves by a press anywhere on it.
    ShowWindow(d, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(d));
    Commands();
    RECT wr;
    GetWindowRect(d, &wr);
    g_presses[d] = 0;
    SendMessageW(d, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(wr.left + 2, wr.top + 2));
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_MOVE)});
    EXPECT_EQ(g_presses[d], 0);

    // A zoomed one does not move by its title: the press ends there.
    const HWND z = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX | WS_THICKFRAME).Handle();
    ShowWindow(z, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(z));
    Commands();
    g_presses[z] = 0;
    GetWindowRect(z, &wr);
    POINT zc{0, 0};
    ClientToScreen(z, &zc);
    const LPARAM onTitle = MAKELPARAM((wr.left + wr.right) / 3, (wr.top + zc.y) / 2);
    ASSERT_EQ(SendMessageW(z, WM_NCHITTEST, 0, onTitle), HTCAPTION);
    SendMessageW(z, WM_NCLBUTTONDOWN, HTCAPTION, onTitle);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(g_presses[z], 0);
    EXPECT_TRUE(IsZoomed(z));
}

TEST_F(DialogTitleRowsTest, ADialogThatKeepsItsOwnRegionKeepsItWhateverHappens)
{
    const HWND d = Make(WS_SYSMENU | WS_THICKFRAME);
    g_ownRegion[d] = true;
    SetWindowRgn(d, CreateEllipticRgn(0, 0, 360, 240), FALSE);
    TacDialogWnd& dialog = Skin(d);
    auto box = [&] {
        RECT r{};
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        EXPECT_NE(GetWindowRgn(d, rgn), ERROR);
        GetRgnBox(rgn, &r);
        const bool corner = PtInRegion(rgn, 2, 2);
        DeleteObject(rgn);
        EXPECT_FALSE(corner);
        return r;
    };
    const RECT before = box();
    HRGN own = CreateEllipticRgn(0, 0, 360, 240);
    RECT ownBox{};
    GetRgnBox(own, &ownBox);
    DeleteObject(own);
    EXPECT_TRUE(EqualRect(&before, &ownBox));
    // Sized, painted and given a new skin: the region stays the dialog's.
    SetWindowPos(d, nullptr, 0, 0, 400, 260, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(d, WM_NCPAINT, 1, 0);
    SendSkinCommand(d, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    const RECT after = box();
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_NE(dialog.Cache(), nullptr);
    g_ownRegion.erase(d);
}

} // namespace
} // namespace skin

#endif
