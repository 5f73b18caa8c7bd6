// Menus drawn from the skin, under Wine with real input: the menu line of a
// skinned form, its dropdowns and popup menus opened by mouse and keyboard
// with their commands run, the popup window's frame, and the skinned system
// menu of the title with its skin list.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FreedMemory.h"
#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "base/WinText.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// What a probe saw of the popup menu that was open while it ran; the probe
// goes with it.
struct TMenuProbe {
    std::function<void(HWND popup)> Act;
    HWND Popup = nullptr;
    std::unique_ptr<test::TModalProbe> Probe;
};

HWND OpenPopupMenu() { return test::VisibleThreadWindow(L"#32768"); }

// Acts on the popup menu once it is up, painted, the main-window hook had
// its turn (the popup is skinned by a posted message after its first paint)
// and its painting is on the screen; Escape when there is nothing to do.
void WhenMenuOpens(TMenuProbe& probe)
{
    probe.Probe = std::make_unique<test::TModalProbe>([&probe] {
        const HWND popup = OpenPopupMenu();
        if (!popup || !test::Settled(popup) || !test::OnScreen(popup))
            return false;
        probe.Popup = popup;
        auto act = std::move(probe.Act);
        probe.Act = nullptr;
        if (act)
            act(popup);
        else
            PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
    });
}

void Key(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

void ClickAt(POINT screen, bool right = false)
{
    SetCursorPos(screen.x, screen.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

COLORREF ScreenPixel(int x, int y)
{
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(nullptr, dc);
    return c;
}

// Runs the message loop until done() or the deadline passed.
void PumpUntil(const std::function<bool()>& done, ULONGLONG deadlineMs = 10000)
{
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    while (!done() && GetTickCount64() < end) {
        tw::Application->ProcessMessages();
        Sleep(10);
    }
}

// The items (without their shortcuts) of the popup menu that open() brings
// up; the menu is closed again. Empty when none came.
std::vector<std::string> MenuItemsShownBy(const std::function<void()>& open)
{
    std::vector<std::string> items;
    TMenuProbe probe;
    probe.Act = [&](HWND popup) {
        if (HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)))
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t text[128] = {};
                GetMenuStringW(menu, UINT(i), text, 128, MF_BYPOSITION);
                std::string item = tw::WideToUtf8(text);
                if (!item.empty())
                    items.push_back(item.substr(0, item.find('\t')));
            }
        PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    WhenMenuOpens(probe);
    open();
    PumpUntil([&] { return probe.Popup && !OpenPopupMenu(); });
    EXPECT_NE(probe.Popup, nullptr) << "no menu";
    return items;
}

class SkinMenusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
    }
    void TearDown() override
    {
        test::TModalProbe::EndModalLoops();
        delete form;
        test::EndFormSkinning();
    }
    // A shown skinned form with File (Open Ctrl+O, Exit) on its menu line.
    HWND MakeForm()
    {
        form = new tw::TForm(tw::Application);
        form->SetText("Menus");
        form->SetBounds(80, 80, 420, 260);
        auto* menu = new tw::TMainMenu(form);
        file = new tw::TMenuItem(form);
        file->SetCaption("&File");
        menu->Items()->Add(file);
        open = file->AddItem("&Open...", [this](tw::TObject*) { ++opened; }, tw::TShortCut(tw::scCtrl | 'O'));
        file->AddItem("-");
        exitItem = file->AddItem("E&xit", [this](tw::TObject*) { ++exited; });
        auto* tools = new tw::TMenuItem(form);
        tools->SetCaption("&Tools");
        menu->Items()->Add(tools);
        tools->AddItem("&Cut");
        form->SetMenu(menu);
        form->Show();
        tw::Application->ProcessMessages();
        SetForegroundWindow(form->Handle());
        tw::Application->ProcessMessages();
        return form->Handle();
    }
    int Section(const char* name) { return manager.GetSkinIndex(name); }
    TColor SectionColor(const char* name) { return manager.gd[size_t(Section(name))].Color; }

    // A click on "File" (item: its place on the line, screen coordinates)
    // opens its dropdown, which must wear the skin; Enter on the first item
    // runs "Open...".
    void OpenFileByClickAndRunOpen(const RECT& item)
    {
        TMenuProbe probe;
        bool skinnedPopup = false;
        COLORREF itemPixel = 0;
        probe.Act = [&](HWND popup) {
            skinnedPopup = SendSkinCommand(popup, AC_SETACTIVESTATE) == 1;
            RECT r{};
            GetMenuItemRect(popup, file->Handle(), 2, &r);   // "Exit", not selected
            itemPixel = ScreenPixel(r.right - 6, r.top + 3);
            Key(VK_DOWN);
            Key(VK_RETURN);
        };
        WhenMenuOpens(probe);
        ClickAt(POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2});
        PumpUntil([&] { return opened > 0 || (probe.Popup && !OpenPopupMenu()); });
        ASSERT_NE(probe.Popup, nullptr) << "no dropdown opened";
        EXPECT_TRUE(skinnedPopup);
        EXPECT_EQ(itemPixel, COLORREF(SectionColor("MENUITEM")));
        EXPECT_EQ(opened, 1);
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TMenuItem* file = nullptr;
    tw::TMenuItem* open = nullptr;
    tw::TMenuItem* exitItem = nullptr;
    int opened = 0, exited = 0;
};

TEST_F(SkinMenusTest, TheMenuLineIsPaintedFromTheSkinAndOpensByMouse)
{
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_TRUE(provider && provider->Skinned());
    ASSERT_TRUE(provider->MenuLineSkinned());
    HMENU bar = GetMenu(wnd);
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(bar, 0, TRUE, &mi));
    EXPECT_TRUE(mi.fType & MFT_OWNERDRAW);

    // The whole line in the skin's colour, right of the last item too
    // (where the system would have drawn its menu colour).
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    ASSERT_TRUE(GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi));
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    tw::Application->ProcessMessages();
    PumpUntil([&] { return test::OnScreen(wnd); });
    const COLORREF line = ScreenPixel(mbi.rcBar.right - 4, (mbi.rcBar.top + mbi.rcBar.bottom) / 2);
    EXPECT_EQ(line, COLORREF(SectionColor("MENULINE")));
    RECT item{};
    ASSERT_TRUE(GetMenuItemRect(wnd, bar, 0, &item));
    // The item is as wide as its caption needs, no more than a tab.
    EXPECT_GT(item.right - item.left, 10);
    EXPECT_LT(item.right - item.left, 80);

    // A click on "File" opens its dropdown, skinned; Enter on the first
    // item runs "Open...".
    ASSERT_NO_FATAL_FAILURE(OpenFileByClickAndRunOpen(item));
    EXPECT_EQ(exited, 0);
}

TEST_F(SkinMenusTest, UnderTheSystemsFrameTheMainMenusDropdownsAreSkinned)
{
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_TRUE(provider && provider->Skinned());
    // A loose item (in no menu yet) of the form: handed over on its own.
    auto* loose = new tw::TMenuItem(form);
    loose->SetCaption("Loose");
    provider->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());
    HMENU bar = GetMenu(wnd);
    auto ownerDrawn = [](HMENU menu, UINT pos) {
        MENUITEMINFOW mi{};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE;
        return GetMenuItemInfoW(menu, pos, TRUE, &mi) && (mi.fType & MFT_OWNERDRAW) != 0;
    };
    // The frame is the system's, the line's items and its dropdowns are the
    // skin's, as every popup menu is.
    EXPECT_TRUE(ownerDrawn(bar, 0));
    EXPECT_TRUE(ownerDrawn(bar, 1));
    for (UINT pos = 0; pos < 3; ++pos)
        EXPECT_TRUE(ownerDrawn(file->Handle(), pos)) << pos;
    EXPECT_TRUE(loose->OwnerDraw());

    // The system measures and draws an item through the form.
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = exitItem->Command();
    mis.itemData = reinterpret_cast<ULONG_PTR>(exitItem);
    ASSERT_TRUE(SendMessageW(wnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)));
    EXPECT_GE(int(mis.itemHeight), kMenuMinItemHeight);
    tw::TBitmap bmp(160, 24, tw::pf24bit);
    bmp.Canvas().Brush().SetColor(tw::TColor(RGB(1, 2, 3)));
    bmp.Canvas().FillRect(TRect(0, 0, 160, 24));
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_MENU;
    dis.itemID = exitItem->Command();
    dis.itemAction = ODA_DRAWENTIRE;
    dis.hwndItem = reinterpret_cast<HWND>(file->Handle());
    dis.hDC = bmp.Canvas().Handle();
    dis.rcItem = RECT{0, 0, 160, 24};
    dis.itemData = reinterpret_cast<ULONG_PTR>(exitItem);
    ASSERT_TRUE(SendMessageW(wnd, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
    EXPECT_EQ(GetPixel(bmp.Canvas().Handle(), 130, 12), COLORREF(SectionColor("MENUITEM")));

    // Opened by a click on the system's line: the dropdown is skinned.
    RECT item{};
    ASSERT_TRUE(GetMenuItemRect(wnd, bar, 0, &item));
    ASSERT_NO_FATAL_FAILURE(OpenFileByClickAndRunOpen(item));

    // Without the skin every item is the system's again, with its text.
    manager.SetActive(false);
    tw::Application->ProcessMessages();
    for (UINT pos = 0; pos < 3; ++pos)
        EXPECT_FALSE(ownerDrawn(file->Handle(), pos)) << pos;
    EXPECT_FALSE(loose->OwnerDraw());
    EXPECT_FALSE(exitItem->OnAdvancedDrawItem);
    wchar_t text[32] = {};
    GetMenuStringW(file->Handle(), 2, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"E&xit");
    ASSERT_FALSE(SendMessageW(wnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)));
}

TEST_F(SkinMenusTest, AnItemOfTheMainMenuMeasuredBeforeTheSkinPreparedItTakesTheSkinsMeasure)
{
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    // Under the system's frame the main menu has no measure of its own for
    // its items: each item is handed its own when the form is prepared, so
    // one added since has none.
    provider->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());
    tw::TMenuItem* later = file->AddItem("A recording opened later");
    ASSERT_FALSE(later->OnMeasureItem);
    ASSERT_FALSE(form->Menu()->OnMeasureItem);

    // The skin's popup item: icon column 24, 8 on both sides of the text,
    // 16 for a submenu arrow; at least 20 high, 4 above and below the text.
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0));
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontIndirectW(&ncm.lfMenuFont);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE text{};
    GetTextExtentPoint32W(dc, L"A recording opened later", 24, &text);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);

    auto measure = [wnd](tw::TMenuItem* item) {
        MEASUREITEMSTRUCT mis{};
        mis.CtlType = ODT_MENU;
        mis.itemID = item->Command();
        mis.itemData = reinterpret_cast<ULONG_PTR>(item);
        SendMessageW(wnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
        return SIZE{LONG(mis.itemWidth), LONG(mis.itemHeight)};
    };
    const SIZE got = measure(later);
    EXPECT_EQ(got.cx, 24 + 8 + text.cx + 8 + 16);
    EXPECT_EQ(got.cy, std::max<LONG>(20, text.cy + 8));
    // And drawn by the skin from now on.
    EXPECT_TRUE(later->OnAdvancedDrawItem);

    // An item of a menu the form does not show is not the form's to skin.
    tw::TMainMenu other(nullptr);
    auto* stranger = new tw::TMenuItem(&other);
    stranger->SetCaption("Elsewhere");
    other.Items()->Add(stranger);
    const SIZE none = measure(stranger);
    EXPECT_EQ(none.cx, 0);
    EXPECT_FALSE(stranger->OnMeasureItem);
    EXPECT_FALSE(stranger->OnAdvancedDrawItem);
}

TEST_F(SkinMenusTest, TheKeyboardOpensTheMenuLineByAccessKey)
{
    HWND wnd = MakeForm();
    ASSERT_TRUE(FindProvider(form)->MenuLineSkinned());
    // Alt+F: the system finds no text in owner-drawn items and asks the
    // form, which answers from the captions; X runs "Exit".
    TMenuProbe probe;
    probe.Act = [&](HWND) {
        PostMessageW(wnd, WM_CHAR, 'x', 0);
    };
    WhenMenuOpens(probe);
    PostMessageW(wnd, WM_SYSCOMMAND, SC_KEYMENU, 'f');
    PumpUntil([&] { return exited > 0 || (probe.Popup && !OpenPopupMenu()); });
    ASSERT_NE(probe.Popup, nullptr) << "Alt+F opened nothing";
    EXPECT_EQ(exited, 1);
    EXPECT_EQ(opened, 0);
}

TEST_F(SkinMenusTest, APopupMenuIsSkinnedAndRunsItsCommand)
{
    MakeForm();
    auto* popup = new tw::TPopupMenu(form);
    int first = 0, second = 0;
    popup->Items()->AddItem("First", [&](tw::TObject*) { ++first; });
    tw::TMenuItem* disabled = popup->Items()->AddItem("Disabled", [&](tw::TObject*) { ++second; });
    disabled->SetEnabled(false);
    popup->Items()->AddItem("Second", [&](tw::TObject*) { ++second; });
    // Menus made after the skin came are prepared with the next application.
    FindProvider(form)->ApplySkin();
    ASSERT_TRUE(TsSkinableMenus::Of(&manager)->Prepared(popup));

    TMenuProbe probe;
    bool skinned = false;
    COLORREF frame = 0;
    const TacMenuInfo* record = nullptr;
    HMENU recordMenu = nullptr;
    probe.Act = [&](HWND wnd) {
        skinned = SendSkinCommand(wnd, AC_SETACTIVESTATE) == 1;
        // The window the painter reported is in the service's table, with
        // the menu it shows.
        record = TsSkinableMenus::GetMenuInfo(nullptr, false, wnd);
        if (record)
            recordMenu = record->Menu;
        RECT wr;
        GetWindowRect(wnd, &wr);
        frame = ScreenPixel(wr.left + 1, (wr.top + wr.bottom) / 2);
        // Up from nothing selected: the last item, "Second".
        Key(VK_UP);
        Key(VK_RETURN);
    };
    WhenMenuOpens(probe);
    popup->Popup(200, 200);
    tw::Application->ProcessMessages();
    ASSERT_NE(probe.Popup, nullptr);
    EXPECT_TRUE(skinned);
    EXPECT_NE(record, nullptr);
    EXPECT_EQ(recordMenu, popup->Handle());
    // The frame comes from MAINMENU, not the system's 3-D edge.
    EXPECT_NE(frame, COLORREF(GetSysColor(COLOR_MENU)));
    EXPECT_NE(frame, COLORREF(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);

    // Without SkinnedPopups the same menu is the system's again.
    manager.SetSkinnedPopups(false);
    FindProvider(form)->ApplySkin();
    EXPECT_FALSE(popup->OwnerDraw());
}

// Counts the popup reports the menu's loop takes (every message of the loop
// passes the thread's message filter). Reports that feed paintings that feed
// reports keep the loop so busy that a timer never comes, so past a bound
// the filter ends the menu itself and the test fails instead of hanging.
struct TPopupReportCount {
    static inline int Reports = 0;
    static inline HHOOK Hook = nullptr;
    static LRESULT CALLBACK Filter(int code, WPARAM wp, LPARAM lp)
    {
        if (code == MSGF_MENU && lp && reinterpret_cast<const MSG*>(lp)->message == WM_SKINPOPUPMENU &&
            ++Reports >= 50)
            EndMenu();
        return CallNextHookEx(Hook, code, wp, lp);
    }
    TPopupReportCount()
    {
        Reports = 0;
        Hook = SetWindowsHookExW(WH_MSGFILTER, Filter, nullptr, GetCurrentThreadId());
    }
    ~TPopupReportCount()
    {
        if (Hook)
            UnhookWindowsHookEx(Hook);
        Hook = nullptr;
    }
    TPopupReportCount(const TPopupReportCount&) = delete;
    TPopupReportCount& operator=(const TPopupReportCount&) = delete;
};

// A popup's record can outlive its popup: one whose window ended while the
// skin was away, or whose first item was freed, stays in the table. A new
// popup whose first item lies at the old one's address, or whose menu has
// the old one's handle, is still reported and painted again only once, and
// its menu closes when asked.
TEST_F(SkinMenusTest, ARecordLeftByAnEndedPopupDoesNotKeepANewOneRepainting)
{
    MakeForm();
    auto* popup = new tw::TPopupMenu(form);
    tw::TMenuItem* first = popup->Items()->AddItem("First", [](tw::TObject*) {});
    popup->Items()->AddItem("Second", [](tw::TObject*) {});
    FindProvider(form)->ApplySkin();
    ASSERT_TRUE(TsSkinableMenus::Of(&manager)->Prepared(popup));
    const HMENU otherMenu = CreatePopupMenu();
    const std::function<void()> leftBehind[] = {
        // The record of another menu, made when its first item lay here.
        [&] {
            TacMenuInfo* r = TsSkinableMenus::GetMenuInfo(first, true);
            ASSERT_NE(r, nullptr);
            r->Menu = otherMenu;
        },
        // The record of this menu's handle, its window ended unseen.
        [&] {
            const HWND ended = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
            TacMenuInfo* r = TsSkinableMenus::GetMenuInfo(nullptr, true, ended);
            ASSERT_NE(r, nullptr);
            r->Menu = popup->Items()->Handle();
            DestroyWindow(ended);
        },
    };
    for (size_t i = 0; i < std::size(leftBehind); ++i) {
        SCOPED_TRACE(i == 0 ? "a record of another menu naming the first item" : "a record of this menu, window ended");
        TsSkinableMenus::ClearMenuInfos();
        leftBehind[i]();
        TPopupReportCount count;
        TMenuProbe probe;
        WhenMenuOpens(probe);
        popup->Popup(200, 200);
        tw::Application->ProcessMessages();
        EXPECT_NE(probe.Popup, nullptr) << "the menu did not settle before it was ended";
        EXPECT_LE(TPopupReportCount::Reports, 1) << "the popup was reported on every painting";
        EXPECT_EQ(OpenPopupMenu(), nullptr);
    }
    TsSkinableMenus::ClearMenuInfos();
    DestroyMenu(otherMenu);
}

// A popup menu freed by a message its own loop ran: the loop ends by itself
// (nobody would close a menu whose items are gone), it shows a whole menu
// until it has returned, and nothing of the freed menu is read afterwards.
TEST_F(SkinMenusTest, APopupMenuFreedWhileItIsOpenEndsItsLoopAndIsNotTouchedAfterwards)
{
    MakeForm();
    tw::test::TFreedMemoryWatch watch({sizeof(tw::TPopupMenu)});
    auto* popup = new tw::TPopupMenu(form);
    ASSERT_TRUE(watch.Watches(popup));
    int closed = 0;
    popup->OnClose = [&](tw::TObject*) { ++closed; };
    popup->Items()->AddItem("First", [](tw::TObject*) {});
    popup->Items()->AddItem("Second", [](tw::TObject*) {});
    FindProvider(form)->ApplySkin();
    const HMENU handle = popup->Handle();
    bool freed = false, menuWhileOpen = false;
    test::TModalProbe probe([&] {
        if (!OpenPopupMenu())
            return false;
        delete popup;
        freed = true;
        menuWhileOpen = IsMenu(handle) != FALSE;
        return true;
    });
    // Only a menu that will not close is ended, at the deadline.
    test::TModalProbe guard([] { return false; }, 20000);
    popup->Popup(200, 200);
    const bool guardEnded = guard.TimedOut();
    guard.Stop();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(freed);
    EXPECT_TRUE(menuWhileOpen) << "the menu was destroyed under its own loop";
    EXPECT_FALSE(guardEnded) << "the menu's loop did not end with the menu";
    EXPECT_EQ(OpenPopupMenu(), nullptr);
    EXPECT_FALSE(IsMenu(handle)) << "the freed menu's handle outlived its loop";
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(watch.WasFreed(popup));
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
}

// The same for a form's skinned system menu, freed with its form while it
// is open.
TEST_F(SkinMenusTest, TheSystemMenuOfAFormFreedWhileItIsOpenIsNotTouchedAfterwards)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TsSystemMenu)});
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    const TsSystemMenu* menu = provider->SystemMenu();
    ASSERT_TRUE(watch.Watches(menu));
    bool freed = false;
    test::TModalProbe probe([&] {
        if (!OpenPopupMenu())
            return false;
        delete form;
        form = nullptr;
        freed = true;
        return true;
    });
    test::TModalProbe guard([] { return false; }, 20000);
    RECT wr;
    GetWindowRect(wnd, &wr);
    SendMessageW(wnd, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, wr.top + 10));
    const bool guardEnded = guard.TimedOut();
    guard.Stop();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(freed);
    EXPECT_FALSE(guardEnded) << "the menu's loop did not end with the menu";
    EXPECT_EQ(OpenPopupMenu(), nullptr);
    EXPECT_TRUE(watch.WasFreed(menu));
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
}

// A window whose message posts itself again, a bounded number of times:
// while the chain runs the thread is never idle, and no timer comes.
struct TBusyChain {
    static constexpr UINT kAgain = WM_APP + 0x2F1;
    static constexpr int kLinks = 2000000;
    static inline int Links = 0;
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == kAgain) {
            if (++Links < kLinks)
                PostMessageW(wnd, kAgain, 0, 0);
            return 0;
        }
        return DefWindowProcW(wnd, msg, wp, lp);
    }
    HWND Wnd = nullptr;
    TBusyChain()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TwTestBusyChain";
        RegisterClassW(&wc);
        Wnd = CreateWindowW(L"TwTestBusyChain", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        Links = 0;
    }
    ~TBusyChain()
    {
        if (Wnd)
            DestroyWindow(Wnd);
    }
    void Start() const { PostMessageW(Wnd, kAgain, 0, 0); }
};

// A probe's deadline ends a menu whose loop never idles (a message that
// brings on the next), where its timer cannot come: the test goes on to
// fail instead of hanging until the harness stops it.
TEST_F(SkinMenusTest, AProbesDeadlineEndsAMenuWhoseLoopLetsNoTimerCome)
{
    MakeForm();
    auto* popup = new tw::TPopupMenu(form);
    popup->Items()->AddItem("First", [](tw::TObject*) {});
    TBusyChain chain;
    ASSERT_NE(chain.Wnd, nullptr);
    bool started = false;
    // Opens the chain once the menu shows; past its short deadline the
    // probe ends the menu.
    test::TModalProbe probe(
        [&] {
            if (!started && OpenPopupMenu()) {
                started = true;
                chain.Start();
            }
            return false;
        },
        300);
    popup->Popup(200, 200);
    const int linksWhenEnded = TBusyChain::Links;
    probe.Stop();
    EXPECT_TRUE(started);
    EXPECT_TRUE(probe.TimedOut());
    EXPECT_LT(linksWhenEnded, TBusyChain::kLinks) << "the menu ended only when the chain did";
    EXPECT_EQ(OpenPopupMenu(), nullptr);
    // The chain ends with its next link (its window goes with the test).
    TBusyChain::Links = TBusyChain::kLinks;
    tw::Application->ProcessMessages();
}

// The submenu arrow of a popup's item, read from the screen: the pixels of
// the arrow's room at the item's right end, counted as the item's own
// background (its row's colour beside the room: a selected item may be
// shaded from top to bottom), the arrow's colour or anything else.
struct TArrowPixels {
    int Background = 0, Arrow = 0, Other = 0;
    COLORREF FirstOther = 0;
};

TArrowPixels ReadArrowRoom(HWND popup, HMENU menu, UINT pos, COLORREF arrow)
{
    TArrowPixels seen;
    RECT r{};
    if (!GetMenuItemRect(popup, menu, pos, &r))
        return seen;
    HDC dc = GetDC(nullptr);
    // Two pixels in from the item's edges: a selected item's frame may round
    // its corners there.
    for (int y = r.top + 2; y < r.bottom - 2; ++y) {
        const COLORREF background = GetPixel(dc, r.right - kMenuArrowRoom - 2, y);
        for (int x = r.right - kMenuArrowRoom; x < r.right - 2; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            if (c == background)
                ++seen.Background;
            else if (c == arrow)
                ++seen.Arrow;
            else if (!seen.Other++)
                seen.FirstOther = c;
        }
    }
    ReleaseDC(nullptr, dc);
    return seen;
}

TEST_F(SkinMenusTest, ASubmenuArrowWearsTheItemsColoursSelectedOrNot)
{
    MakeForm();
    auto* popup = new tw::TPopupMenu(form);
    popup->Items()->AddItem("First");
    tw::TMenuItem* more = popup->Items()->AddItem("More");
    more->AddItem("Inner");
    popup->Items()->AddItem("Last");
    FindProvider(form)->ApplySkin();
    ASSERT_TRUE(TsSkinableMenus::Of(&manager)->Prepared(popup));
    const TsGeneralData& item = manager.gd[size_t(Section("MENUITEM"))];
    ASSERT_NE(COLORREF(item.Color), COLORREF(item.FontColor[0]));

    // Seen unselected first, then with the item selected by the keyboard
    // (which does not open its submenu).
    TArrowPixels normal, hot;
    COLORREF normalBackground = 0;
    int stage = 0;
    HWND shown = nullptr;
    SetCursorPos(5, 5);
    test::TModalProbe probe([&] {
        const HWND wnd = OpenPopupMenu();
        if (!wnd || !test::Settled(wnd) || !test::OnScreen(wnd))
            return false;
        shown = wnd;
        HMENU menu = popup->Handle();
        if (stage == 0) {
            normal = ReadArrowRoom(wnd, menu, 1, COLORREF(item.FontColor[0]));
            RECT r{};
            GetMenuItemRect(wnd, menu, 1, &r);
            normalBackground = ScreenPixel(r.right - kMenuArrowRoom - 2, (r.top + r.bottom) / 2);
            PostMessageW(wnd, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(wnd, WM_KEYDOWN, VK_DOWN, 0);
            stage = 1;
            return false;
        }
        if (!(GetMenuState(menu, 1, MF_BYPOSITION) & MF_HILITE))
            return false;
        hot = ReadArrowRoom(wnd, menu, 1, COLORREF(item.HotFontColor[0]));
        PostMessageW(wnd, WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
    });
    popup->Popup(200, 200);
    tw::Application->ProcessMessages();
    ASSERT_NE(shown, nullptr) << "no popup menu";
    ASSERT_TRUE(probe.Done());
    // A triangle of a handful of pixels in the font's colour, on nothing but
    // the item's own background.
    EXPECT_EQ(normalBackground, COLORREF(item.Color));
    EXPECT_GE(normal.Arrow, 10);
    EXPECT_GT(normal.Background, normal.Arrow);
    EXPECT_EQ(normal.Other, 0) << std::hex << normal.FirstOther;
    EXPECT_GE(hot.Arrow, 10);
    EXPECT_GT(hot.Background, hot.Arrow);
    EXPECT_EQ(hot.Other, 0) << std::hex << hot.FirstOther;
}

TEST_F(SkinMenusTest, ANewSkinReachesTheMenuPainting)
{
    MakeForm();
    TsSkinableMenus* menus = TsSkinableMenus::Of(&manager);
    tw::TBitmap bmp(160, 24, tw::pf24bit);
    const TRect r(0, 0, 160, 24);
    auto bodyPixel = [&] {
        menus->DrawItem(exitItem, bmp.Canvas(), r, 0);
        return GetPixel(bmp.Canvas().Handle(), 150, 12);
    };
    const COLORREF before = bodyPixel();

    // The next skin's item section is a plain green one, found elsewhere in
    // its tables.
    constexpr COLORREF kGreen = RGB(10, 200, 30);
    const int old = Section("MENUITEM");
    ASSERT_GE(old, 0);
    ASSERT_NE(before, kGreen);
    manager.gd[size_t(old)].Name = "MENUITEM_BEFORE";
    TsGeneralData item;
    item.Name = "MENUITEM";
    item.Color = item.HotColor = TColor(kGreen);
    manager.gd.push_back(item);
    manager.SendNewSkin(false);
    EXPECT_EQ(bodyPixel(), kGreen);
}

TEST_F(SkinMenusTest, OwnerDrawnItemsMeasureRoomForTheShortcutColumn)
{
    MakeForm();
    TsSkinableMenus* menus = TsSkinableMenus::Of(&manager);
    tw::TCanvas canvas;
    HDC dc = CreateCompatibleDC(nullptr);
    canvas.SetHandle(dc);
    int wOpen = 0, hOpen = 0, wExit = 0, hExit = 0, wLine = 0, hLine = 0, wBar = 0, hBar = 0;
    menus->MeasureItem(open, canvas, wOpen, hOpen);
    menus->MeasureItem(exitItem, canvas, wExit, hExit);
    menus->MeasureItem(file->Items(1), canvas, wLine, hLine);
    menus->MeasureItem(file, canvas, wBar, hBar);
    // The shortcut adds its text and the gap before the column.
    EXPECT_GE(wOpen - wExit, kMenuShortCutGap + canvas.TextWidth("Ctrl+O") - canvas.TextWidth("Exit"));
    EXPECT_GE(hOpen, kMenuMinItemHeight);
    EXPECT_EQ(hLine, kMenuSeparatorHeight);
    // The menu line's item has no icon column and no arrow room.
    EXPECT_LT(wBar, kMenuIconColumn + kMenuArrowRoom + canvas.TextWidth("File"));
    canvas.SetHandle(nullptr);
    DeleteDC(dc);
}

TEST_F(SkinMenusTest, TheSystemMenuIsSkinnedListsTheSkinsAndCloses)
{
    // One stored skin to choose from.
    manager.InternalSkins.Add("Stored", std::make_shared<tw::TMemoryStream>());
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    provider->SetMakeSkinMenu(true);
    ASSERT_NE(provider->SystemMenu(), nullptr);
    bool closed = false;
    form->OnClose = [&](tw::TObject*, tw::TCloseAction& action) {
        closed = true;
        action = tw::caHide;
    };
    TMenuProbe probe;
    bool skinned = false;
    probe.Act = [&](HWND) {
        skinned = OpenPopupMenu() && SendSkinCommand(OpenPopupMenu(), AC_SETACTIVESTATE) == 1;
        // Up from nothing selected: the last item, Close.
        Key(VK_UP);
        Key(VK_RETURN);
    };
    WhenMenuOpens(probe);
    // A right click on the title.
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int titleY = wr.top + 10;
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 120, titleY)), HTCAPTION);
    SendMessageW(wnd, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, titleY));
    PumpUntil([&] { return closed; });
    ASSERT_NE(probe.Popup, nullptr) << "no system menu";
    EXPECT_TRUE(skinned);
    EXPECT_TRUE(closed);

    TsSystemMenu* sm = provider->SystemMenu();
    tw::TMenuItem* skins = sm->SkinItem();
    ASSERT_NE(skins, nullptr);
    ASSERT_EQ(skins->Count(), 1);
    EXPECT_EQ(skins->Items(0)->Name(), "SkinSelectItem0");
    EXPECT_EQ(skins->Items(0)->Caption(), "Stored");
    EXPECT_TRUE(skins->Items(0)->RadioItem());
    EXPECT_FALSE(skins->Items(0)->Checked());
    // Built again each time, never twice.
    sm->MakeSkinItems();
    int lists = 0;
    for (int i = 0; i < sm->Items()->Count(); ++i)
        lists += sm->Items()->Items(i)->Name() == kSkinSelectItem;
    EXPECT_EQ(lists, 1);
    EXPECT_EQ(sm->Items()->Items(sm->Items()->Count() - 1), sm->ItemClose);
}

// A form is made before the program turns the library's texts to its
// language at start; its system menu shows the texts in force when it opens.
TEST_F(SkinMenusTest, TheSystemMenuShowsTheTextsInForceWhenItOpens)
{
    test::TSystemMenuTexts keep;
    test::TSystemMenuTexts::Set(test::TSystemMenuTexts::German());
    HWND wnd = MakeForm();
    ASSERT_NE(FindProvider(form)->SystemMenu(), nullptr);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int titleY = wr.top + 10;
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 120, titleY)), HTCAPTION);
    // The command items as the open menu shows them (without the shortcut).
    auto shown = [&] {
        return MenuItemsShownBy([&] { SendMessageW(wnd, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, titleY)); });
    };
    test::TSystemMenuTexts::Set(test::TSystemMenuTexts::English());
    EXPECT_EQ(shown(), test::TSystemMenuTexts::English());
    test::TSystemMenuTexts::Set(test::TSystemMenuTexts::German());
    EXPECT_EQ(shown(), test::TSystemMenuTexts::German());
}

// The system draws the frame, the skin the menus: a right click on the
// title or on the icon brings the skin's system menu, not the system's. The
// system's texts are English; the skin's are set to German, so the menu that
// opens tells whose it is.
TEST_F(SkinMenusTest, ARightClickOnTheSystemsTitleOrIconOpensTheSkinnedSystemMenu)
{
    test::TSystemMenuTexts keep;
    test::TSystemMenuTexts::Set(test::TSystemMenuTexts::German());
    HWND wnd = MakeForm();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_NE(provider->SystemMenu(), nullptr);
    provider->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());
    ASSERT_TRUE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_SYSMENU);
    // Where the system's frame has its title and its icon.
    RECT wr;
    GetWindowRect(wnd, &wr);
    POINT title{}, icon{};
    for (int y = wr.top; y < wr.top + 40 && !(title.x && icon.x); ++y)
        for (int x = wr.left; x < wr.left + 200 && !(title.x && icon.x); ++x) {
            const LRESULT code = SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y));
            if (code == HTSYSMENU && !icon.x)
                icon = POINT{x + 2, y + 2};
            if (code == HTCAPTION && !title.x && x > wr.left + 120)
                title = POINT{x, y + 2};
        }
    ASSERT_NE(title.x, 0) << "no title";
    ASSERT_NE(icon.x, 0) << "no icon";
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(icon.x, icon.y)), HTSYSMENU);
    for (POINT at : {title, icon})
        EXPECT_EQ(MenuItemsShownBy([at] { ClickAt(at, true); }), test::TSystemMenuTexts::German()) << at.x << "," << at.y;
}

TEST_F(SkinMenusTest, SystemMenuAnswersFollowTheFormsFrameAndState)
{
    tw::TForm f(nullptr);
    TsSystemMenu menu(nullptr);
    menu.SetForm(&f);
    f.SetBorderStyle(tw::bsSizeable);
    EXPECT_TRUE(menu.VisibleClose());
    EXPECT_TRUE(menu.VisibleMax());
    EXPECT_TRUE(menu.EnabledMax());
    EXPECT_FALSE(menu.EnabledRestore());
    EXPECT_TRUE(menu.SizeAllowed());
    // A tool window shows neither maximize nor minimize.
    f.SetBorderStyle(tw::bsToolWindow);
    EXPECT_FALSE(menu.VisibleMax());
    EXPECT_FALSE(menu.VisibleMin());
    EXPECT_FALSE(menu.EnabledMax());
    EXPECT_FALSE(menu.SizeAllowed());
    // Without the system menu icon no button is visible at all.
    f.SetBorderStyle(tw::bsSingle);
    f.SetBorderIcons(tw::biMinimize | tw::biMaximize);
    EXPECT_FALSE(menu.VisibleClose());
    EXPECT_FALSE(menu.VisibleMax());
    EXPECT_FALSE(menu.VisibleMin());
    menu.UpdateItems();
    EXPECT_FALSE(menu.ItemClose->Visible());
    EXPECT_FALSE(menu.ItemMaximize->Visible());
    // Maximized: maximize is off, restore and move follow.
    f.SetBorderIcons(tw::biSystemMenu | tw::biMinimize | tw::biMaximize);
    f.Show();
    f.SetWindowState(tw::wsMaximized);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(menu.EnabledMax());
    EXPECT_TRUE(menu.EnabledRestore());
    EXPECT_FALSE(menu.MoveAllowed());
    menu.UpdateItems();
    EXPECT_TRUE(menu.ItemRestore->Enabled());
    EXPECT_FALSE(menu.ItemMove->Enabled());
    f.Hide();
}

} // namespace
} // namespace skin

#endif
