// Windows the program does not make, under Wine with real messages: which
// dialogs the creation hook skins, every popup-menu window getting the skin's
// frame, and a skinned system dialog's title: what its buttons, its icon and
// double clicks run, its own system menu, the skin's questions it answers and
// a skin without a dialog section; and the save dialog's client wearing the
// skin's grain, not one plain colour.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Dialogs.h"
#include "ui/Graphics.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

constexpr UINT kGetMenuHandle = 0x01E1; // MN_GETHMENU

// A 32-bit picture a window prints itself into (WM_PRINT, WM_PRINTCLIENT
// or WM_ERASEBKGND), read back by point.
class TPrinted {
public:
    TPrinted(HWND wnd, UINT msg, LPARAM flags, bool client = false)
    {
        RECT r;
        if (client)
            GetClientRect(wnd, &r);
        else
            GetWindowRect(wnd, &r);
        BITMAPINFO bi{};
        bi.bmiHeader = {sizeof(BITMAPINFOHEADER), r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB};
        void* bits = nullptr;
        dc_ = CreateCompatibleDC(nullptr);
        bmp_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bmp_);
        if (msg)
            SendMessageW(wnd, msg, reinterpret_cast<WPARAM>(dc_), flags);
    }
    ~TPrinted()
    {
        SelectObject(dc_, old_);
        DeleteObject(bmp_);
        DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }
    HDC Dc() const { return dc_; }

private:
    HDC dc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
};

// What a probe saw of the popup menu open while it ran; it then posts the
// keys to the menu (Escape when none are given). The probe goes with it.
struct TPopupSeen {
    HMENU Menu = nullptr;
    bool Skinned = false;
    std::vector<WPARAM> Keys;
    std::function<void(HWND)> Look;
    std::unique_ptr<test::TModalProbe> Probe;
};

// Looks at the popup menu once it is up and painted, and the messages its
// skinning posts are handled.
void WhenPopupOpens(TPopupSeen& seen)
{
    seen.Probe = std::make_unique<test::TModalProbe>([&seen] {
        const HWND popup = test::VisibleThreadWindow(L"#32768");
        if (!popup || !test::Settled(popup))
            return false;
        seen.Menu = reinterpret_cast<HMENU>(SendMessageW(popup, kGetMenuHandle, 0, 0));
        seen.Skinned = SendSkinCommand(popup, AC_QUERYSKINNED) == 1;
        if (seen.Look)
            seen.Look(popup);
        if (seen.Keys.empty())
            seen.Keys.push_back(VK_ESCAPE);
        for (WPARAM k : seen.Keys)
            PostMessageW(popup, WM_KEYDOWN, k, 0);
        return true;
    });
}

// ---------------------------------------------------------------------------
// The hook's decisions

class DialogHookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        composition = PlatformAnswers().CompositionEnabled;
        ASSERT_TRUE(test::LoadOwnSkin(manager));
    }
    void TearDown() override
    {
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        for (tw::TCustomForm* f : forms)
            delete f;
        // Frees the providers the hook's decisions made.
        UninstallDialogSkinning();
        PlatformAnswers().CompositionEnabled = composition;
        DefaultManager = nullptr;
    }
    HWND Dialog(const wchar_t* title)
    {
        HWND d = CreateWindowW(L"#32770", title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 40, 40, 300, 200,
                               nullptr, nullptr, nullptr, nullptr);
        windows.push_back(d);
        return d;
    }

    TsSkinManager manager;
    std::function<bool()> composition;
    std::vector<HWND> windows;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(DialogHookTest, ASecondDialogIsSkinnedOnlyWhenItHoldsAToolBar)
{
    const HWND first = Dialog(L"First");
    EXPECT_EQ(VisibleDialogCount(), 0);
    ASSERT_TRUE(HookActivatedWindow(first));
    EXPECT_EQ(SendSkinCommand(first, AC_QUERYSKINNED), 1);
    EXPECT_EQ(VisibleDialogCount(), 1);
    // Served already: not skinned twice.
    EXPECT_FALSE(HookActivatedWindow(first));
    EXPECT_EQ(DialogProviders().size(), 1u);

    // A message box over the skinned one stays the system's.
    const HWND second = Dialog(L"Second");
    EXPECT_FALSE(HookActivatedWindow(second));
    EXPECT_EQ(SendSkinCommand(second, AC_QUERYSKINNED), 0);
    EXPECT_EQ(FindProvider(second), nullptr);

    // A file dialog (its tool bar deep inside a page) opened from it is skinned.
    const HWND files = Dialog(L"Open");
    HWND page = CreateWindowW(L"#32770", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, files, nullptr, nullptr, nullptr);
    CreateWindowW(TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 24, page, nullptr, nullptr, nullptr);
    EXPECT_TRUE(HasDescendantOfClass(files, "toolbarwindow32"));
    EXPECT_TRUE(HookActivatedWindow(files));
    EXPECT_EQ(VisibleDialogCount(), 2);

    // A hidden skinned dialog does not count: the next one is skinned again.
    ShowWindow(first, SW_HIDE);
    ShowWindow(files, SW_HIDE);
    EXPECT_EQ(VisibleDialogCount(), 0);
    EXPECT_TRUE(HookActivatedWindow(second));
}

TEST_F(DialogHookTest, ADestroyedDialogsProviderGoesAtTheNextSweepAndTheOthersStay)
{
    const HWND gone = Dialog(L"Gone");
    ASSERT_TRUE(HookActivatedWindow(gone));
    const HWND stays = Dialog(L"Stays");
    ShowWindow(gone, SW_HIDE);
    ASSERT_TRUE(HookActivatedWindow(stays));
    ShowWindow(gone, SW_SHOW);
    ASSERT_EQ(DialogProviders().size(), 2u);
    TacProvider* kept = FindProvider(stays);
    ASSERT_NE(kept, nullptr);

    // The window's end hands its procedure back; the record goes at the
    // next sweep, and only that one.
    DestroyWindow(gone);
    SweepDestroyedDialogs();
    EXPECT_EQ(FindProvider(gone), nullptr);
    ASSERT_EQ(DialogProviders().size(), 1u);
    EXPECT_EQ(DialogProviders()[0], kept);
    EXPECT_EQ(SendSkinCommand(stays, AC_QUERYSKINNED), 1);
    SweepDestroyedDialogs();
    EXPECT_EQ(FindProvider(stays), kept);
    // Only the dialog left on the screen counts.
    EXPECT_EQ(VisibleDialogCount(), 1);

    // Under the manager's hook the end of a later window sweeps (the
    // system may end windows of the dialog's own after it, which do).
    InstallFormSkinning();
    manager.SendNewSkin(false);
    ASSERT_NE(SkinHookHandle(), nullptr);
    kept = FindProvider(stays);
    ASSERT_NE(kept, nullptr);
    DestroyWindow(stays);
    DestroyWindow(CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(FindProvider(stays), nullptr);
    EXPECT_TRUE(DialogProviders().empty());
    manager.SendRemoveSkin();
    UninstallFormSkinning();
}

TEST_F(DialogHookTest, StandardDialogsOffLeavesDialogsAndMessageFormsButNotOtherForms)
{
    manager.SkinningRules = srStdForms;
    const HWND dialog = Dialog(L"Plain");
    EXPECT_FALSE(HookActivatedWindow(dialog));
    EXPECT_EQ(SendSkinCommand(dialog, AC_QUERYSKINNED), 0);

    tw::TForm* message = tw::CreateMessageDialog("Text", tw::mtInformation, tw::mbOK);
    forms.push_back(message);
    char cls[32] = {};
    GetClassNameA(message->Handle(), cls, sizeof(cls));
    ASSERT_STREQ(cls, "TMessageForm");
    EXPECT_FALSE(HookActivatedWindow(message->Handle()));
    EXPECT_EQ(FindProvider(message), nullptr);

    auto* form = new tw::TForm(tw::Application);
    forms.push_back(form);
    EXPECT_TRUE(HookActivatedWindow(form->Handle()));
    ASSERT_NE(FindProvider(form), nullptr);
    EXPECT_FALSE(FindProvider(form)->MakeSkinMenu());

    // A form tagged to be left alone never is skinned from outside.
    auto* excluded = new tw::TForm(tw::Application);
    forms.push_back(excluded);
    excluded->SetTag(acNoSkinTag);
    EXPECT_FALSE(HookActivatedWindow(excluded->Handle()));

    // With standard dialogs on, the library's message box is skinned too.
    manager.SkinningRules = srStdForms | srStdDialogs;
    EXPECT_TRUE(HookActivatedWindow(message->Handle()));
    EXPECT_NE(FindProvider(message), nullptr);
    manager.SkinningRules = srStdDialogs;
    auto* other = new tw::TForm(tw::Application);
    forms.push_back(other);
    EXPECT_FALSE(HookActivatedWindow(other->Handle()));
}

TEST_F(DialogHookTest, TheFormHookLeavesTheMessageBoxAloneWithStandardDialogsOff)
{
    InstallFormSkinning();
    manager.SkinningRules = srStdForms;
    // Every form the class library makes gets a provider; the message box's
    // stays off, the way the rules leave standard dialogs.
    tw::TForm* message = tw::CreateMessageDialog("Text", tw::mtInformation, tw::mbOK);
    forms.push_back(message);
    message->Handle();
    ASSERT_NE(FindProvider(message), nullptr);
    EXPECT_FALSE(FindProvider(message)->Skinned());
    // A skin loaded later does not change that.
    SendSkinCommand(message->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(FindProvider(message)->Skinned());

    // Any other form is skinned as before.
    auto* form = new tw::TForm(tw::Application);
    forms.push_back(form);
    form->Handle();
    ASSERT_NE(FindProvider(form), nullptr);
    EXPECT_TRUE(FindProvider(form)->Skinned());

    // With standard dialogs on, the next message box wears the skin.
    manager.SkinningRules = srStdForms | srStdDialogs;
    tw::TForm* skinned = tw::CreateMessageDialog("Text", tw::mtWarning, tw::mbOK);
    forms.push_back(skinned);
    skinned->Handle();
    ASSERT_NE(FindProvider(skinned), nullptr);
    EXPECT_TRUE(FindProvider(skinned)->Skinned());
    for (tw::TCustomForm* f : forms)
        delete f;
    forms.clear();
    UninstallFormSkinning();
}

TEST_F(DialogHookTest, EveryPopupMenuWindowGetsTheSkinsFrameWhoeverMadeIt)
{
    InstallFormSkinning();
    manager.SendNewSkin(false); // the default manager's hook
    ASSERT_NE(SkinHookHandle(), nullptr);
    ClearMnuArray();
    auto popupWindow = [&] {
        HWND w = CreateWindowExW(WS_EX_TOOLWINDOW, L"#32768", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                 nullptr);
        windows.push_back(w);
        return w;
    };
    const HWND one = popupWindow();
    ASSERT_EQ(TacMnuArray().size(), 1u);
    EXPECT_EQ(TacMnuArray()[0]->Handle(), one);
    EXPECT_EQ(TacMnuArray()[0]->Section(), "MAINMENU");
    EXPECT_EQ(SendSkinCommand(one, AC_QUERYSKINNED), 1);
    // The menu painter sees it skinned and does not subclass it again.
    EXPECT_EQ(SendSkinCommand(one, AC_SETACTIVESTATE), 1);
    popupWindow();
    EXPECT_EQ(TacMnuArray().size(), 2u);
    // Other windows are left alone.
    windows.push_back(CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(TacMnuArray().size(), 2u);
    // Emptied, the adapters still hold their windows until these end.
    ClearMnuArray();
    EXPECT_TRUE(TacMnuArray().empty());
    EXPECT_EQ(SendSkinCommand(one, AC_QUERYSKINNED), 1);
    DestroyWindow(one);

    // The compositor draws menus itself; without skinned popups the system does.
    PlatformAnswers().CompositionEnabled = [] { return true; };
    EXPECT_EQ(SendSkinCommand(popupWindow(), AC_QUERYSKINNED), 0);
    PlatformAnswers().CompositionEnabled = [] { return false; };
    manager.SetSkinnedPopups(false);
    EXPECT_EQ(SendSkinCommand(popupWindow(), AC_QUERYSKINNED), 0);
    EXPECT_TRUE(TacMnuArray().empty());
    manager.SetSkinnedPopups(true);

    // A menu the program never prepared (made straight by the system) opens
    // in the skin's frame and still runs its command.
    HWND owner = CreateWindowW(L"STATIC", L"Owner", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr,
                               nullptr, nullptr);
    windows.push_back(owner);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 11, L"First");
    AppendMenuW(menu, MF_STRING, 12, L"Second");
    TPopupSeen seen;
    COLORREF frame = 0;
    seen.Look = [&](HWND popup) {
        RECT cr;
        GetClientRect(popup, &cr);
        frame = TPrinted(popup, WM_PRINTCLIENT, PRF_CLIENT, true).At(0, cr.bottom / 2);
    };
    seen.Keys = {VK_DOWN, VK_DOWN, VK_RETURN};
    WhenPopupOpens(seen);
    const UINT chosen = UINT(TrackPopupMenu(menu, TPM_RETURNCMD, 150, 150, 0, owner, nullptr));
    DestroyMenu(menu);
    EXPECT_EQ(seen.Menu, menu);
    EXPECT_TRUE(seen.Skinned);
    EXPECT_FALSE(TacMnuArray().empty());
    EXPECT_NE(frame, COLORREF(GetSysColor(COLOR_MENU)));
    EXPECT_NE(frame, COLORREF(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(chosen, 12u);

    manager.SendRemoveSkin();
    UninstallFormSkinning();
    EXPECT_TRUE(TacMnuArray().empty());
}

// ---------------------------------------------------------------------------
// The title of a skinned system dialog

std::vector<WPARAM> g_commands;
std::map<HWND, WNDPROC> g_dialogProcs;
int g_doubleClicks = 0;

// Under the adapter: records the system commands that reach the dialog's
// own procedure instead of running them, and counts the double clicks on
// the frame that reach it.
LRESULT CALLBACK RecordingDialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) != SC_KEYMENU) {
        g_commands.push_back(wp & 0xFFF0);
        return 0;
    }
    if (msg == WM_NCLBUTTONDBLCLK)
        ++g_doubleClicks;
    return CallWindowProcW(g_dialogProcs[wnd], wnd, msg, wp, lp);
}

class DialogTitleTest : public ::testing::Test {
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
    }
    // A shown dialog with a recording procedure under its skinned frame.
    TacDialogWnd& Skinned(DWORD style, DWORD ex = 0, HICON withIcon = nullptr)
    {
        HWND d = CreateWindowExW(ex, L"#32770", L"Title", WS_POPUP | WS_CAPTION | style, 60, 60, 360, 240, nullptr,
                                 nullptr, nullptr, nullptr);
        windows.push_back(d);
        if (withIcon)
            SendMessageW(d, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(withIcon));
        g_dialogProcs[d] = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingDialogProc)));
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
    static POINT Centre(HWND d, const TRect& r)
    {
        RECT wr;
        GetWindowRect(d, &wr);
        return POINT{wr.left + (r.Left + r.Right) / 2, wr.top + (r.Top + r.Bottom) / 2};
    }
    static LPARAM At(POINT p) { return MAKELPARAM(p.x, p.y); }
    // Press and release on a title element as the system sends them.
    static void Click(HWND d, POINT p, POINT releaseAt)
    {
        const int down = int(SendMessageW(d, WM_NCHITTEST, 0, At(p)));
        SendMessageW(d, WM_NCLBUTTONDOWN, WPARAM(down), At(p));
        const int up = int(SendMessageW(d, WM_NCHITTEST, 0, At(releaseAt)));
        SendMessageW(d, WM_NCLBUTTONUP, WPARAM(up == HTCAPTION ? down : up), At(releaseAt));
        tw::Application->ProcessMessages();
    }
    std::vector<WPARAM> Commands()
    {
        tw::Application->ProcessMessages();
        std::vector<WPARAM> c;
        c.swap(g_commands);
        return c;
    }

    TsSkinManager manager;
    std::vector<std::unique_ptr<TacProvider>> providers;
    std::vector<HWND> windows;
    HICON icon = nullptr;
};

TEST_F(DialogTitleTest, TitleButtonsRunTheirSystemCommands)
{
    TacDialogWnd& sizing = Skinned(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    const HWND d = sizing.Handle();
    const TCaptionLayout b = sizing.Buttons();
    ASSERT_FALSE(b.Close.Right <= b.Close.Left);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Close))), HTCLOSE);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Max))), HTMAXBUTTON);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, b.Min))), HTMINBUTTON);
    for (auto [r, command] : {std::pair{b.Close, SC_CLOSE}, std::pair{b.Max, SC_MAXIMIZE}, std::pair{b.Min, SC_MINIMIZE}}) {
        Click(d, Centre(d, r), Centre(d, r));
        EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(command)});
    }
    // Pressed on close, released on the title: the press ends, nothing runs.
    RECT wr;
    GetWindowRect(d, &wr);
    const POINT title{wr.left + 120, Centre(d, b.Close).y};
    Click(d, Centre(d, b.Close), title);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(sizing.HotButton(), 0);
    // A release without a press runs nothing either.
    SendMessageW(d, WM_NCLBUTTONUP, HTCLOSE, At(Centre(d, b.Close)));
    EXPECT_TRUE(Commands().empty());

    // Help has its own button and command.
    TacDialogWnd& help = Skinned(WS_SYSMENU, WS_EX_CONTEXTHELP);
    const HWND h = help.Handle();
    ASSERT_FALSE(help.Buttons().Help.Right <= help.Buttons().Help.Left);
    EXPECT_EQ(SendMessageW(h, WM_NCHITTEST, 0, At(Centre(h, help.Buttons().Help))), HTHELP);
    Click(h, Centre(h, help.Buttons().Help), Centre(h, help.Buttons().Help));
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_CONTEXTHELP)});
    // Only close on a dialog with nothing but its system menu.
    EXPECT_TRUE(help.Buttons().Max.Right <= help.Buttons().Max.Left);
    EXPECT_TRUE(help.Buttons().Min.Right <= help.Buttons().Min.Left);
}

// Minimized, the minimize button shows the restore glyph: it answers as
// that button and its click restores, with or without a maximize box.
TEST_F(DialogTitleTest, AMinimizedDialogsRestoreGlyphRestoresIt)
{
    for (DWORD boxes : {DWORD(WS_MINIMIZEBOX | WS_MAXIMIZEBOX), DWORD(WS_MINIMIZEBOX)}) {
        SCOPED_TRACE(boxes & WS_MAXIMIZEBOX ? "both boxes" : "minimize box only");
        TacDialogWnd& dialog = Skinned(WS_SYSMENU | boxes);
        const HWND d = dialog.Handle();
        ShowWindow(d, SW_SHOWMINNOACTIVE);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsIconic(d));
        // The buttons laid out for the minimized frame.
        RECT wr;
        GetWindowRect(d, &wr);
        SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 1, wr.top + 1));
        const TRect min = dialog.Buttons().Min;
        ASSERT_GT(min.Right, min.Left);
        EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, min))), HTMINBUTTON);
        Click(d, Centre(d, min), Centre(d, min));
        EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_RESTORE)});
        // Restored, the same button minimizes again.
        ShowWindow(d, SW_SHOWNOACTIVATE);
        tw::Application->ProcessMessages();
        ASSERT_FALSE(IsIconic(d));
        GetWindowRect(d, &wr);
        SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 1, wr.top + 1));
        const TRect shown = dialog.Buttons().Min;
        EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(Centre(d, shown))), HTMINBUTTON);
        Click(d, Centre(d, shown), Centre(d, shown));
        EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_MINIMIZE)});
    }
}

TEST_F(DialogTitleTest, TheIconShowsOnTheTitleAndDoubleClicksCloseOrMaximize)
{
    // A plain red icon (an all-opaque mask): every pixel of it on the title is red.
    const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
    std::vector<uint8_t> opaque(size_t(cx * cy / 8 + cy * 2), 0);
    std::vector<uint32_t> red(size_t(cx * cy), 0x00DC0000u);
    icon = CreateIcon(nullptr, cx, cy, 1, 32, opaque.data(), reinterpret_cast<const BYTE*>(red.data()));
    ASSERT_NE(icon, nullptr);

    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MAXIMIZEBOX, 0, icon);
    const HWND d = dialog.Handle();
    EXPECT_EQ(dialog.IconHandle(), icon);
    ASSERT_NE(dialog.IconBitmap(), nullptr);
    EXPECT_EQ(GetPixel(const_cast<tw::TBitmap*>(dialog.IconBitmap())->Canvas().Handle(), cx / 2, cy / 2),
              RGB(220, 0, 0));
    // Read back from the frame as the window prints it.
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const int border = client.x - wr.left, title = client.y - wr.top;
    const POINT iconAt{border + manager.SkinData.BILeft + cx / 2, (title - cy) / 2 + cy / 2};
    EXPECT_EQ(TPrinted(d, WM_PRINT, PRF_NONCLIENT).At(iconAt.x, iconAt.y), RGB(220, 0, 0));
    const LPARAM onIcon = MAKELPARAM(wr.left + iconAt.x, wr.top + iconAt.y);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, onIcon), HTSYSMENU);

    // Double clicks: on the title a dialog with a maximize box maximizes,
    // on the icon it closes.
    SendMessageW(d, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + 150, wr.top + title / 2));
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_MAXIMIZE)});
    SendMessageW(d, WM_NCLBUTTONDBLCLK, HTSYSMENU, onIcon);
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_CLOSE)});
    // Zoomed: the title restores, and the frame's rest at the screen's
    // edge is not the dialog's.
    ShowWindow(d, SW_MAXIMIZE);
    GetWindowRect(d, &wr);
    SendMessageW(d, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + 150, wr.top + 12));
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_RESTORE)});
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 1, wr.top + 1)), HTTRANSPARENT);
    ShowWindow(d, SW_RESTORE);
    GetWindowRect(d, &wr);
    // Without a maximize box a double click on the title does nothing.
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | DS_MODALFRAME);
    SendMessageW(fixed.Handle(), WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + 150, wr.top + title / 2));
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(fixed.BorderKind(), 0);
}

// Whether a menu's loop ran, even one that ended before anyone looked.
bool g_menuLoopRan = false;
LRESULT CALLBACK MenuLoopSeen(int code, WPARAM wp, LPARAM lp)
{
    if (code == MSGF_MENU)
        g_menuLoopRan = true;
    return CallNextHookEx(nullptr, code, wp, lp);
}

// With the real mouse: a double click on the icon closes the dialog (the
// first press must not open the menu, whose loop would eat the second
// click), and a single click still opens the menu.
TEST_F(DialogTitleTest, ARealDoubleClickOnTheIconClosesAndASingleClickOpensTheMenu)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MINIMIZEBOX);
    const HWND d = dialog.Handle();
    SetForegroundWindow(d);
    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const POINT onIcon{client.x + GetSystemMetrics(SM_CXSMICON) / 2, (wr.top + client.y) / 2};
    ASSERT_EQ(SendMessageW(d, WM_NCHITTEST, 0, At(onIcon)), HTSYSMENU);

    bool menuSeen = false;
    auto clickTimes = [&](int n) {
        menuSeen = g_menuLoopRan = false;
        Commands();
        HHOOK loop = SetWindowsHookExW(WH_MSGFILTER, MenuLoopSeen, nullptr, GetCurrentThreadId());
        // Any menu that comes up is seen and closed again.
        test::TModalProbe probe([&] {
            const HWND popup = test::VisibleThreadWindow(L"#32768");
            if (!popup)
                return false;
            menuSeen = true;
            PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
            return true;
        });
        SetCursorPos(onIcon.x, onIcon.y);
        std::vector<INPUT> in(size_t(n * 2));
        for (size_t i = 0; i < in.size(); ++i) {
            in[i].type = INPUT_MOUSE;
            in[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
        }
        SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
        // Until the close arrives or a menu came and went.
        const ULONGLONG end = GetTickCount64() + 20000;
        while (!menuSeen && g_commands.empty() && GetTickCount64() < end) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
        }
        if (loop)
            UnhookWindowsHookEx(loop);
        menuSeen = menuSeen || g_menuLoopRan;
        return Commands();
    };
    EXPECT_EQ(clickTimes(2), std::vector<WPARAM>{WPARAM(SC_CLOSE)});
    EXPECT_FALSE(menuSeen);
    EXPECT_TRUE(clickTimes(1).empty());
    EXPECT_TRUE(menuSeen);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}

// A double click on a title button runs its command once, as one click
// does (the system sends press, release, double click and release), and
// none of it reaches the dialog's own procedure, wherever it is. Beside the
// buttons the edge of a fixed frame is its border: a press there does not
// move the dialog.
TEST_F(DialogTitleTest, DoubleClicksOnButtonsActOnceAndTheFrameEdgeIsTheBorder)
{
    TacDialogWnd& sizing = Skinned(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME);
    HWND d = sizing.Handle();
    TCaptionLayout b = sizing.Buttons();
    g_doubleClicks = 0;
    for (auto [r, command] : {std::pair{b.Max, SC_MAXIMIZE}, std::pair{b.Min, SC_MINIMIZE}, std::pair{b.Close, SC_CLOSE}}) {
        const LPARAM at = At(Centre(d, r));
        const WPARAM code = WPARAM(SendMessageW(d, WM_NCHITTEST, 0, at));
        for (const UINT msg : {WM_NCLBUTTONDOWN, WM_NCLBUTTONUP, WM_NCLBUTTONDBLCLK, WM_NCLBUTTONUP})
            SendMessageW(d, msg, code, at);
        EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(command)});
    }
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | DS_MODALFRAME, WS_EX_DLGMODALFRAME);
    d = fixed.Handle();
    b = fixed.Buttons();
    RECT wr;
    GetWindowRect(d, &wr);
    const int row = wr.top + (b.Close.Top + b.Close.Bottom) / 2;
    for (const LPARAM edge : {MAKELPARAM(wr.left, row), MAKELPARAM(wr.right - 1, row)}) {
        ASSERT_EQ(DefWindowProcW(d, WM_NCHITTEST, 0, edge), HTBORDER);
        const WPARAM code = WPARAM(SendMessageW(d, WM_NCHITTEST, 0, edge));
        EXPECT_EQ(code, WPARAM(HTBORDER));
        SendMessageW(d, WM_NCLBUTTONDOWN, code, edge);
        SendMessageW(d, WM_NCLBUTTONDBLCLK, code, edge);
    }
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(g_doubleClicks, 0);
    EXPECT_EQ(SendMessageW(d, WM_NCHITTEST, 0, MAKELPARAM((wr.left + wr.right) / 2, row)), HTCAPTION);
}

TEST_F(DialogTitleTest, TheSkinnedSystemMenuOpensByIconRightClickAndAltSpace)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    const HWND d = dialog.Handle();
    TacSystemMenu* menu = dialog.SysMenu();
    ASSERT_NE(menu, nullptr);
    // A plain sizeable-looking frame: every item, restore not yet possible.
    EXPECT_EQ(dialog.BorderKind(), 3);
    EXPECT_TRUE(menu->ItemRestore->Visible());
    EXPECT_FALSE(menu->ItemRestore->Enabled());
    EXPECT_TRUE(menu->ItemMaximize->Visible() && menu->ItemMaximize->Enabled());
    EXPECT_TRUE(menu->ItemMinimize->Visible() && menu->ItemMinimize->Enabled());
    EXPECT_TRUE(menu->ItemClose->Visible());
    // In the program's language, from the library's texts in force when
    // the menu opens (which updates the items first).
    EXPECT_EQ(menu->ItemClose->Caption(), tw::StdText(tw::stMenuClose));
    EXPECT_EQ(menu->ItemRestore->Caption(), tw::StdText(tw::stMenuRestore));
    {
        test::TSystemMenuTexts keep;
        for (const auto& texts : {test::TSystemMenuTexts::English(), test::TSystemMenuTexts::German()}) {
            test::TSystemMenuTexts::Set(texts);
            menu->UpdateItems();
            EXPECT_EQ((std::vector<std::string>{menu->ItemRestore->Caption(), menu->ItemMove->Caption(),
                                                menu->ItemSize->Caption(), menu->ItemMinimize->Caption(),
                                                menu->ItemMaximize->Caption(), menu->ItemClose->Caption()}),
                      texts);
        }
    }
    SetForegroundWindow(d);
    // The pointer, left anywhere by an earlier test, must not rest on the
    // menu when it opens: it would choose the item under it.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);

    RECT wr;
    GetWindowRect(d, &wr);
    // A right click on the title: the menu comes up; Close (the last item) chosen.
    TPopupSeen seen;
    seen.Keys = {VK_UP, VK_RETURN};
    WhenPopupOpens(seen);
    EXPECT_EQ(SendMessageW(d, WM_NCRBUTTONDOWN, HTCAPTION, MAKELPARAM(wr.left + 120, wr.top + 10)), 0);
    SendMessageW(d, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, wr.top + 10));
    EXPECT_EQ(seen.Menu, menu->Handle());
    EXPECT_EQ(Commands(), std::vector<WPARAM>{WPARAM(SC_CLOSE)});

    // Alt+Space and a click on the icon open the same menu.
    TPopupSeen keyed;
    WhenPopupOpens(keyed);
    SendMessageW(d, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    EXPECT_EQ(keyed.Menu, menu->Handle());
    TPopupSeen clicked;
    WhenPopupOpens(clicked);
    SendMessageW(d, WM_NCLBUTTONDOWN, HTSYSMENU, MAKELPARAM(wr.left + 10, wr.top + 10));
    EXPECT_EQ(clicked.Menu, menu->Handle());
    EXPECT_TRUE(Commands().empty());

    // A fixed dialog's menu has no size commands.
    TacDialogWnd& fixed = Skinned(WS_SYSMENU | DS_MODALFRAME);
    TacSystemMenu* small = fixed.SysMenu();
    EXPECT_FALSE(small->ItemRestore->Visible());
    EXPECT_FALSE(small->ItemSize->Visible());
    EXPECT_FALSE(small->ItemMaximize->Visible());
    EXPECT_FALSE(small->ItemMinimize->Visible());
    EXPECT_TRUE(small->ItemMove->Visible());
    EXPECT_TRUE(small->ItemClose->Visible());
}

TEST_F(DialogTitleTest, TheDialogAnswersTheSkinsQuestionsAndAdaptsLateChildren)
{
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    const int section = manager.GetSkinIndex("DIALOG");
    ASSERT_TRUE(manager.SkinIndexValid(section));
    const TsGeneralData& g = manager.gd[size_t(section)];
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYCOLOR), LRESULT(g.Color));
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYUPDATING), g.GradientPercent + g.ImagePercent > 0 ? 1 : 0);
    SendMessageW(d, SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 1), 0);
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYACTIVE), 1);
    SendMessageW(d, SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 0), 0);
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYACTIVE), 0);

    RECT wr;
    GetWindowRect(d, &wr);
    POINT client{0, 0};
    ClientToScreen(d, &client);
    const LRESULT origin = SendSkinCommand(d, AC_QUERYCLIENTORIGIN);
    EXPECT_EQ(LOWORD(origin), client.x - wr.left);
    EXPECT_EQ(HIWORD(origin), client.y - wr.top);

    // The background answer is the skin's client picture, where the client
    // lies in it: what it draws is what the erase paints.
    const int w = 120, h = 80;
    TPrinted shot(d, 0, 0, true);
    const HDC dc = shot.Dc();
    TacBGInfo info;
    info.PleaseDraw = true;
    info.DrawDC = reinterpret_cast<uintptr_t>(dc);
    info.R = TRect(0, 0, w, h);
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info)), 1);
    EXPECT_EQ(info.BgType, btCache);
    EXPECT_EQ(info.OffsetX, LOWORD(origin));
    EXPECT_EQ(info.OffsetY, HIWORD(origin));
    std::vector<COLORREF> drawn;
    for (int x = 5; x < w; x += 20)
        drawn.push_back(shot.At(x, 40));
    SendMessageW(d, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    for (size_t i = 0; i < drawn.size(); ++i)
        EXPECT_EQ(shot.At(5 + int(i) * 20, 40), drawn[i]);

    // Children that come later are adapted by the messages that follow them.
    auto late = [&] {
        HWND c = CreateWindowW(L"BUTTON", L"Late", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 24, d, nullptr,
                               nullptr, nullptr);
        EXPECT_EQ(SendSkinCommand(c, AC_QUERYSKINNED), 0);
        return c;
    };
    HWND c1 = late();
    SendMessageW(d, SM_ALPHACMD, SkinWParam(28), 0);
    EXPECT_EQ(SendSkinCommand(c1, AC_QUERYSKINNED), 1);
    HWND c2 = late();
    SendMessageW(d, DM_SETDEFID, IDOK, 0);
    EXPECT_EQ(SendSkinCommand(c2, AC_QUERYSKINNED), 1);
    HWND c3 = late();
    SendMessageW(d, 0x052E, 0, 0);
    EXPECT_EQ(SendSkinCommand(c3, AC_QUERYSKINNED), 1);
    HWND c4 = late();
    SendMessageW(d, WM_NCPAINT, 1, 0);
    EXPECT_EQ(SendSkinCommand(c4, AC_QUERYSKINNED), 1);
}

TEST_F(DialogTitleTest, TheTitlesOwnRoundedCornersAreCutFromTheRegion)
{
    // The dialog's border mask lent to the title (and the form's, which the
    // dialog would fall back to, put aside): only the title's corners, the
    // top ones, can be cut then.
    auto own = [&](const char* section) {
        for (size_t i = 0; i < manager.ma.size(); ++i)
            if (manager.ma[i].SectionName == section && manager.ma[i].PropertyName == "BORDERSMASK")
                return int(i);
        return -1;
    };
    const int mask = own("DIALOG"), form = own("FORM");
    ASSERT_TRUE(manager.MaskIndexValid(mask));
    manager.ma[size_t(mask)].SectionName = "FORMTITLE";
    if (manager.MaskIndexValid(form))
        manager.ma[size_t(form)].SectionName = "NOFORM";
    manager.ForgetNameIndexes();
    const HWND d = Skinned(WS_SYSMENU).Handle();
    RECT wr;
    GetWindowRect(d, &wr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d, rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    EXPECT_FALSE(PtInRegion(rgn, w - 1, 0));
    EXPECT_TRUE(PtInRegion(rgn, 0, h - 1));
    EXPECT_TRUE(PtInRegion(rgn, w / 2, 0));
    DeleteObject(rgn);
    manager.ma[size_t(mask)].SectionName = "DIALOG";
    if (manager.MaskIndexValid(form))
        manager.ma[size_t(form)].SectionName = "FORM";
    manager.ForgetNameIndexes();
    // The skin changed, the size did not: the region is cut anew, the
    // dialog's bottom corners too.
    SendSkinCommand(d, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d, rgn), ERROR);
    EXPECT_FALSE(PtInRegion(rgn, 0, h - 1));
    EXPECT_FALSE(PtInRegion(rgn, 0, 0));
    EXPECT_TRUE(PtInRegion(rgn, w / 2, h / 2));
    DeleteObject(rgn);
}

BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow LayeredEntry() { return AcceptLayered; }

TEST_F(DialogTitleTest, ExtendedBordersShowTheBorderPictureAroundTheDialogAndInItsCutCorners)
{
    // The screen cannot show layered windows here: a stand-in accepts them.
    const test::TLayeredEntryScope layered(LayeredEntry);
    auto shadow = std::make_shared<tw::TPixelImage>(48, 48, 32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x) {
            uint8_t* p = shadow->View().Pixel(x, y);
            p[0] = p[1] = p[2] = 200;
            p[3] = 128;
        }
    manager.ShadowActive = manager.ShadowInactive = shadow;
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    EXPECT_EQ(dialog.BorderForm(), nullptr);

    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    SendSkinCommand(d, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    TacBorderForm* border = dialog.BorderForm();
    ASSERT_NE(border, nullptr);
    EXPECT_TRUE(border->Shown());
    RECT wr;
    GetWindowRect(d, &wr);
    const TRect m = manager.ExtBorderMargins;
    ASSERT_GT(m.Left, 0);
    // Around the skin's frame, which may reach beyond the window's own.
    const TRect f = border->FrameExtent();
    EXPECT_TRUE(border->Bounds() == TRect(wr.left - m.Left - f.Left, wr.top - m.Top - f.Top, wr.right + m.Right + f.Right,
                                          wr.bottom + m.Bottom + f.Bottom));
    const tw::TPixelImage& picture = border->Picture();
    ASSERT_EQ(picture.Width(), border->Bounds().Width());
    auto alpha = [&](int x, int y) { return picture.View().Pixel(x, y)[3]; };
    // Around the dialog the border picture; inside it the dialog's own
    // picture, opaque, but where the skin cuts a corner the border picture
    // shows there too.
    EXPECT_EQ(alpha(m.Left / 2, picture.Height() / 2), 128);
    EXPECT_EQ(picture.View().Pixel(m.Left / 2, picture.Height() / 2)[0], 200 * 128 / 255);
    EXPECT_EQ(alpha(picture.Width() / 2, picture.Height() / 2), 255);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d, rgn), ERROR);
    const bool cornerCut = !PtInRegion(rgn, 0, 0);
    DeleteObject(rgn);
    ASSERT_TRUE(cornerCut);
    EXPECT_EQ(alpha(m.Left, m.Top), 128);

    // The border goes with the manager's setting.
    manager.SetExtendedBorders(false);
    SendSkinCommand(d, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(dialog.BorderForm(), nullptr);
}

TEST_F(DialogTitleTest, ASkinWithoutADialogSectionKeepsTheSystemsFrame)
{
    // The system's own picture of a twin dialog, unskinned.
    auto print = [](HWND d, int x, int y) {
        return TPrinted(d, WM_PRINT, PRF_NONCLIENT | PRF_ERASEBKGND | PRF_CLIENT).At(x, y);
    };
    HWND twin = CreateWindowW(L"#32770", L"Title", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 60, 320, 360,
                              240, nullptr, nullptr, nullptr, nullptr);
    windows.push_back(twin);
    const int section = manager.GetSkinIndex("DIALOG");
    ASSERT_TRUE(manager.SkinIndexValid(section));
    const std::string name = manager.gd[size_t(section)].Name;
    manager.gd[size_t(section)].Name = "NODIALOG";
    manager.ForgetNameIndexes();
    ASSERT_FALSE(manager.SkinIndexValid(manager.GetSkinIndex("DIALOG")));
    TacDialogWnd& dialog = Skinned(WS_SYSMENU);
    const HWND d = dialog.Handle();
    EXPECT_FALSE(dialog.SkinShown());
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYSKINNED), 1);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(d, rgn), ERROR);
    DeleteObject(rgn);
    for (POINT p : {POINT{1, 1}, POINT{40, 10}, POINT{2, 120}, POINT{180, 120}})
        EXPECT_EQ(print(d, p.x, p.y), print(twin, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_NE(print(d, 180, 120), RGB(255, 255, 255));
    manager.gd[size_t(section)].Name = name;
    manager.ForgetNameIndexes();
}

// ---------------------------------------------------------------------------
// The system's file dialogs in the skin

struct TClientColours {
    int Free = 0;            // client pixels under no visible child
    int ScreenCommonest = 0; // of those, how many show the commonest colour
};

// The free client of a dialog as the screen shows it (every other pixel).
TClientColours MeasureFreeClient(HWND dlg)
{
    TClientColours r;
    RECT cr;
    GetClientRect(dlg, &cr);
    std::vector<RECT> kids;
    for (HWND c = GetTopWindow(dlg); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c))
            continue;
        RECT k;
        GetWindowRect(c, &k);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&k), 2);
        kids.push_back(k);
    }
    HDC screen = GetDC(dlg);
    std::map<COLORREF, int> onScreen;
    for (int y = 0; y < cr.bottom; y += 2)
        for (int x = 0; x < cr.right; x += 2) {
            const POINT p{x, y};
            bool under = false;
            for (const RECT& k : kids)
                under = under || PtInRect(&k, p);
            if (under)
                continue;
            ++r.Free;
            ++onScreen[GetPixel(screen, x, y)];
        }
    ReleaseDC(dlg, screen);
    for (auto& [c, n] : onScreen)
        r.ScreenCommonest = std::max(r.ScreenCommonest, n);
    return r;
}

class SystemDialogPatternTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
    }
    void TearDown() override
    {
        manager.SendRemoveSkin();
        test::EndFormSkinning();
    }
    TsSkinManager manager;
};

TEST_F(SystemDialogPatternTest, TheSaveDialogShowsTheDialogSectionsPattern)
{
    manager.SendNewSkin(false);
    ASSERT_NE(SkinHookHandle(), nullptr);
    TClientColours colours;
    bool skinned = false;
    // The dialog looked at once it is up and painted; the probe goes with
    // the test however it ends, the dialog cancelled if it never settles.
    test::TModalProbe probe([&] {
        const HWND dlg = test::VisibleThreadWindow(L"#32770");
        if (!dlg || !test::Settled(dlg))
            return false;
        skinned = SendSkinCommand(dlg, AC_QUERYSKINNED) == 1;
        RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        colours = MeasureFreeClient(dlg);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
        return true;
    });
    tw::TSaveDialog save(nullptr);
    save.SetFilter("Transport streams|*.ts");
    save.Execute();
    probe.Stop();
    ASSERT_FALSE(probe.TimedOut()) << "the save dialog never came";
    EXPECT_TRUE(skinned);
    ASSERT_GT(colours.Free, 500);
    // The section's grain shows between the children: no colour covers
    // more than half of the free client.
    EXPECT_LT(colours.ScreenCommonest * 100 / colours.Free, 50);
}

} // namespace
} // namespace skin

#endif
