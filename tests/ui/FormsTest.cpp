// Forms: creation events, modal runs ended by messages and timers, close
// actions, menus and their command dispatch.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

using namespace tw;

namespace {

class FormsTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
};

class TSampleForm : public TForm {
public:
    TButton* OkButton;
    TEdit* Edit1;
    int created = 0;
    int shown = 0;
    explicit TSampleForm(TComponent* owner) : TForm(owner) {
        SetCaption("Sample");
        SetBorderStyle(bsDialog);
        SetClientSize(240, 100);
        Edit1 = new TEdit(this);
        Edit1->SetName("Edit1");
        Edit1->SetParent(this);
        Edit1->SetBounds(8, 8, 200, 21);
        OkButton = new TButton(this);
        OkButton->SetName("OkButton");
        OkButton->SetParent(this);
        OkButton->SetBounds(8, 60, 75, 25);
        OkButton->SetCaption("OK");
        OkButton->SetModalResult(mrOk);
        OnCreate = [this](TObject*) { ++created; };
        OnShow = [this](TObject*) { ++shown; };
        LoadTree();
    }
};

} // namespace

TEST_F(FormsTest, LoadTreeFiresOnCreateOnceAndShowFiresOnShow) {
    TSampleForm f(nullptr);
    EXPECT_EQ(f.created, 1);
    EXPECT_FALSE(f.Visible());
    EXPECT_EQ(f.FindComponent("Edit1"), f.Edit1);
    f.Show();
    EXPECT_TRUE(IsWindowVisible(f.Handle()));
    EXPECT_EQ(f.shown, 1);
    f.Hide();
    EXPECT_FALSE(IsWindowVisible(f.Handle()));
    EXPECT_EQ(f.ClientWidth(), 240);
}

TEST_F(FormsTest, ShowModalEndsWithTheModalResultOfAClickedButton) {
    TSampleForm f(nullptr);
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        PostMessageW(f.OkButton->Handle(), BM_CLICK, 0, 0);
    };
    EXPECT_EQ(f.ShowModal(), mrOk);
    EXPECT_FALSE(f.Visible());
    EXPECT_FALSE(f.Modal());
}

TEST_F(FormsTest, ClosingAModalFormGivesCancelAndCloseQueryCanRefuseOnce) {
    TSampleForm f(nullptr);
    int asked = 0;
    f.OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++asked > 1; };
    TTimer timer(nullptr);
    timer.SetInterval(30);
    timer.OnTimer = [&](TObject*) {
        PostMessageW(f.Handle(), WM_CLOSE, 0, 0);
        if (asked >= 1) timer.SetEnabled(false);
    };
    EXPECT_EQ(f.ShowModal(), mrCancel);
    EXPECT_EQ(asked, 2);
}

TEST_F(FormsTest, ModalFormDisablesTheOtherWindowsWhileItRuns) {
    TSampleForm owner(nullptr);
    owner.Show();
    TSampleForm dlg(nullptr);
    bool ownerEnabledDuring = true;
    TTimer timer(nullptr);
    timer.SetInterval(30);
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        ownerEnabledDuring = IsWindowEnabled(owner.Handle()) != 0;
        dlg.SetModalResult(mrYes);
    };
    EXPECT_EQ(dlg.ShowModal(), mrYes);
    EXPECT_FALSE(ownerEnabledDuring);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
}

TEST_F(FormsTest, CloseActionFreeReleasesTheFormAfterItsHandlers) {
    auto* f = new TSampleForm(Application);
    bool destroyed = false;
    f->OnDestroy = [&](TObject*) { destroyed = true; };
    f->OnClose = [](TObject*, TCloseAction& a) { a = caFree; };
    f->Show();
    f->Close();
    EXPECT_FALSE(destroyed); // still alive inside the caller
    Application->ProcessMessages();
    EXPECT_TRUE(destroyed);
}

TEST_F(FormsTest, CloseActionHideAndNone) {
    TSampleForm f(nullptr);
    f.Show();
    TCloseAction next = caNone;
    f.OnClose = [&](TObject*, TCloseAction& a) { a = next; };
    SendMessageW(f.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(f.Handle()));
    next = caHide;
    SendMessageW(f.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(f.Handle()));
}

TEST_F(FormsTest, ScreenCentredFormSitsInTheMiddleOfTheWorkArea) {
    TSampleForm f(nullptr);
    f.SetPosition(poScreenCenter);
    f.Show();
    TRect wa = Screen->WorkAreaRect();
    EXPECT_NEAR(f.Left() + f.Width() / 2, wa.Left + wa.Width() / 2, 1);
    EXPECT_NEAR(f.Top() + f.Height() / 2, wa.Top + wa.Height() / 2, 1);
}

// A window that would open partly off the screen (below it, right of it,
// larger than it) opens whole on the work area of its monitor; one that
// fits stays where it was put, and a second showing is kept in as well.
TEST_F(FormsTest, FormsOpenWholeOnTheWorkArea) {
    const TRect wa = Screen->WorkAreaRect();
    auto inside = [&](const TForm& f) {
        return f.Left() >= wa.Left && f.Top() >= wa.Top && f.Left() + f.Width() <= wa.Right &&
               f.Top() + f.Height() <= wa.Bottom;
    };
    struct Case {
        const char* what;
        int left, top, width, height;
    };
    const Case cases[] = {
        {"below", wa.Left + 10, wa.Bottom - 80, 300, 250},
        {"right", wa.Right - 50, wa.Top + 10, 300, 200},
        {"above and left", wa.Left - 200, wa.Top - 100, 300, 200},
        {"wider", wa.Left + 20, wa.Top + 20, wa.Width() + 258, 200},
        {"taller and wider", wa.Left, wa.Top, wa.Width() + 100, wa.Height() + 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TSampleForm f(nullptr);
        f.SetBounds(c.left, c.top, c.width, c.height);
        f.Show();
        EXPECT_TRUE(inside(f)) << f.Left() << "," << f.Top() << " " << f.Width() << "x" << f.Height();
        RECT real;
        GetWindowRect(f.Handle(), &real);
        EXPECT_EQ(TRect(real), f.BoundsRect());
        EXPECT_EQ(f.Width(), std::min(c.width, wa.Width()));
        EXPECT_EQ(f.Height(), std::min(c.height, wa.Height()));
        // Moved off while hidden: the next showing brings it back.
        f.Hide();
        f.SetBounds(wa.Right - 10, wa.Bottom - 10, f.Width(), f.Height());
        f.Show();
        EXPECT_TRUE(inside(f));
        f.Hide();
    }
    TSampleForm fits(nullptr);
    fits.SetBounds(wa.Left + 30, wa.Top + 40, 200, 150);
    fits.Show();
    EXPECT_EQ(fits.BoundsRect(), TRect(wa.Left + 30, wa.Top + 40, wa.Left + 230, wa.Top + 190));
    fits.Hide();
}

TEST_F(FormsTest, MenuCommandsReachTheirItems) {
    TSampleForm f(nullptr);
    auto* menu = new TMainMenu(&f);
    auto* file = new TMenuItem(&f);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    int opened = 0, fileOpened = 0;
    auto* open = file->AddItem("&Open...", [&](TObject*) { ++opened; }, ShortCut('O', ssCtrl));
    file->OnClick = [&](TObject*) { ++fileOpened; };
    auto* a = file->AddItem("Normal");
    auto* b = file->AddItem("High");
    a->SetRadioItem(true);
    b->SetRadioItem(true);
    a->SetChecked(true);
    f.SetMenu(menu);
    HWND h = f.Handle();
    ASSERT_EQ(GetMenu(h), menu->Handle());
    EXPECT_EQ(GetMenuItemCount(file->Handle()), 3);

    SendMessageW(h, WM_COMMAND, MAKEWPARAM(open->Command(), 0), 0);
    EXPECT_EQ(opened, 1);
    // Opening the submenu runs the parent item's click first.
    SendMessageW(h, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file->Handle()), 0);
    EXPECT_EQ(fileOpened, 1);
    EXPECT_TRUE(f.IsShortCut(ShortCut('O', ssCtrl)));
    EXPECT_EQ(opened, 2);
    EXPECT_FALSE(f.IsShortCut(ShortCut('P', ssCtrl)));

    open->SetEnabled(false);
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(open->Command(), 0), 0);
    EXPECT_EQ(opened, 2);
    MENUITEMINFOW mi{sizeof(mi), MIIM_STATE};
    GetMenuItemInfoW(file->Handle(), 0, TRUE, &mi);
    EXPECT_TRUE(mi.fState & MFS_DISABLED);

    b->SetChecked(true);
    EXPECT_FALSE(a->Checked());
    GetMenuItemInfoW(file->Handle(), 1, TRUE, &mi);
    EXPECT_FALSE(mi.fState & MFS_CHECKED);
    GetMenuItemInfoW(file->Handle(), 2, TRUE, &mi);
    EXPECT_TRUE(mi.fState & MFS_CHECKED);

    // Hidden items leave the native menu; positions of the rest follow.
    a->SetVisible(false);
    EXPECT_EQ(GetMenuItemCount(file->Handle()), 2);
    b->SetCaption("Higher");
    wchar_t text[32] = {0};
    GetMenuStringW(file->Handle(), 1, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Higher");
}

TEST_F(FormsTest, AnItemOwnerDrawnOnItsOwnIsMeasuredAndDrawnByItsHandler) {
    TSampleForm f(nullptr);
    auto* menu = new TMainMenu(&f);
    auto* file = new TMenuItem(&f);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    auto* plain = file->AddItem("Plain");
    auto* drawn = file->AddItem("Drawn");
    f.SetMenu(menu);
    HWND h = f.Handle();
    constexpr COLORREF kInk = RGB(12, 200, 99);
    int draws = 0;
    UINT seenState = 0;
    drawn->OnAdvancedDrawItem = [&](TObject*, TCanvas& c, const TRect& r, UINT state) {
        ++draws;
        seenState = state;
        c.Brush().SetColor(TColor(kInk));
        c.FillRect(r);
    };
    drawn->OnMeasureItem = [](TObject*, TCanvas&, int& w, int& ht) {
        w = 77;
        ht = 23;
    };
    auto ownerDrawn = [&](UINT pos) {
        MENUITEMINFOW mi{sizeof(mi), MIIM_FTYPE};
        return GetMenuItemInfoW(file->Handle(), pos, TRUE, &mi) && (mi.fType & MFT_OWNERDRAW) != 0;
    };
    // Handlers alone change nothing: the menu is not owner-drawn.
    EXPECT_FALSE(ownerDrawn(1));
    drawn->SetOwnerDraw(true);
    EXPECT_FALSE(menu->OwnerDraw());
    EXPECT_FALSE(ownerDrawn(0));
    EXPECT_TRUE(ownerDrawn(1));

    // The system's requests, sent to the form as it sends them.
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_MENU;
    mis.itemID = drawn->Command();
    mis.itemData = reinterpret_cast<ULONG_PTR>(drawn);
    EXPECT_TRUE(SendMessageW(h, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis)));
    EXPECT_EQ(mis.itemWidth, 77u);
    EXPECT_EQ(mis.itemHeight, 23u);
    TBitmap bmp(40, 20, pf24bit);
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_MENU;
    dis.itemID = drawn->Command();
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = ODS_SELECTED;
    dis.hwndItem = reinterpret_cast<HWND>(file->Handle());
    dis.hDC = bmp.Canvas().Handle();
    dis.rcItem = RECT{0, 0, 40, 20};
    dis.itemData = reinterpret_cast<ULONG_PTR>(drawn);
    EXPECT_TRUE(SendMessageW(h, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis)));
    EXPECT_EQ(draws, 1);
    EXPECT_EQ(seenState, UINT(ODS_SELECTED));
    EXPECT_EQ(GetPixel(bmp.Canvas().Handle(), 20, 10), kInk);

    // The submenu built again (an item hidden and shown) keeps it so.
    plain->SetVisible(false);
    plain->SetVisible(true);
    EXPECT_TRUE(ownerDrawn(1));
    EXPECT_FALSE(ownerDrawn(0));

    // Back to the system's drawing, with its text.
    drawn->SetOwnerDraw(false);
    EXPECT_FALSE(ownerDrawn(1));
    wchar_t text[32] = {0};
    GetMenuStringW(file->Handle(), 1, text, 32, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Drawn");
}

TEST_F(FormsTest, OnPaintDrawsThroughTheFormsCanvasOntoTheScreen) {
    TForm f(nullptr);
    f.SetBounds(140, 120, 300, 200);
    f.SetColor(TColor(RGB(250, 250, 250)));
    constexpr COLORREF kInk = RGB(200, 30, 40);
    int painted = 0;
    bool attached = true;
    f.OnPaint = [&](TObject*) {
        ++painted;
        attached = attached && f.Canvas().HandleAllocated();
        f.Canvas().Brush().SetColor(TColor(kInk));
        f.Canvas().FillRect(TRect(20, 10, 60, 40));
    };
    f.Show();
    HWND h = f.Handle();
    SetForegroundWindow(h);
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Application->ProcessMessages();
    ASSERT_GT(painted, 0);
    EXPECT_TRUE(attached);
    // The canvas has a DC only while the handler runs.
    EXPECT_FALSE(f.Canvas().HandleAllocated());
    POINT o{0, 0};
    ClientToScreen(h, &o);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, o.x + 21, o.y + 11), kInk);
    EXPECT_EQ(GetPixel(screen, o.x + 59, o.y + 39), kInk);
    EXPECT_NE(GetPixel(screen, o.x + 19, o.y + 11), kInk);
    EXPECT_NE(GetPixel(screen, o.x + 21, o.y + 41), kInk);
    ReleaseDC(nullptr, screen);
}

TEST_F(FormsTest, KeyPreviewShowsKeysToTheFormFirst) {
    TSampleForm f(nullptr);
    f.SetKeyPreview(true);
    std::wstring typed;
    f.OnKeyPress = [&](TObject*, wchar_t& k) {
        typed += k;
        if (k == L'x') k = 0; // swallowed
    };
    f.Show();
    f.Edit1->SetFocus();
    PostMessageW(f.Edit1->Handle(), WM_CHAR, L'a', 0);
    PostMessageW(f.Edit1->Handle(), WM_CHAR, L'x', 0);
    Application->ProcessMessages();
    EXPECT_EQ(typed, L"ax");
    EXPECT_EQ(f.Edit1->Text(), "a");
}

TEST_F(FormsTest, MainWindowHooksSeeTheMainFormsMessagesFirst) {
    TSampleForm f(nullptr);
    TCustomForm* oldMain = Application->MainForm();
    Application->SetMainForm(&f);
    int seen = 0;
    int key = Application->HookMainWindow([&](TMessage& m) {
        if (m.Msg != WM_APP + 5) return false;
        ++seen;
        m.Result = 42;
        return true;
    });
    EXPECT_EQ(SendMessageW(f.Handle(), WM_APP + 5, 0, 0), 42);
    Application->UnhookMainWindow(key);
    EXPECT_EQ(SendMessageW(f.Handle(), WM_APP + 5, 0, 0), 0);
    EXPECT_EQ(seen, 1);
    Application->SetMainForm(oldMain);
}

// A form's least size holds for sizes set in code and is what the user's
// dragging is told (WM_GETMINMAXINFO); larger sizes and a form without
// limits keep the system's answer.
TEST_F(FormsTest, ConstraintsKeepAFormAtItsLeastSize) {
    auto askMinTrack = [](TForm& f) {
        // Filled with the system's own least size, as the system asks.
        MINMAXINFO mmi{};
        mmi.ptMinTrackSize = {GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
        SendMessageW(f.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        return mmi.ptMinTrackSize;
    };
    TSampleForm plain(nullptr);
    plain.SetBorderStyle(bsSizeable);
    plain.Show();
    const POINT systemMin = askMinTrack(plain);
    EXPECT_EQ(systemMin.x, GetSystemMetrics(SM_CXMINTRACK));
    EXPECT_EQ(systemMin.y, GetSystemMetrics(SM_CYMINTRACK));
    plain.Hide();

    TSampleForm f(nullptr);
    f.SetBorderStyle(bsSizeable);
    f.Constraints().MinWidth = 330;
    f.Constraints().MinHeight = 210;
    f.SetBounds(40, 40, 100, 80);
    EXPECT_EQ(f.Width(), 330);
    EXPECT_EQ(f.Height(), 210);
    f.Show();
    RECT real;
    GetWindowRect(f.Handle(), &real);
    EXPECT_EQ(real.right - real.left, 330);
    EXPECT_EQ(real.bottom - real.top, 210);
    const POINT least = askMinTrack(f);
    EXPECT_EQ(least.x, std::max<LONG>(330, systemMin.x));
    EXPECT_EQ(least.y, std::max<LONG>(210, systemMin.y));
    // A client size too small for the limits gives the least outer size.
    f.SetClientSize(50, 50);
    EXPECT_EQ(f.Width(), 330);
    EXPECT_EQ(f.Height(), 210);
    f.SetBounds(40, 40, 500, 400);
    EXPECT_EQ(f.Width(), 500);
    EXPECT_EQ(f.Height(), 400);
    f.Hide();
}

// A window's picture does not depend on where it stands on the screen: a form
// that is only moved (the log window follows every step of a drag of the
// main window) keeps what it shows and is not painted again for it. A
// control inside a form may show its parent's picture, and is.
TEST_F(FormsTest, AMovedFormKeepsItsPixelsAMovedControlPaintsAgain) {
    TSampleForm f(nullptr);
    f.SetBounds(40, 40, 300, 160);
    f.Show();
    auto settle = [&] {
        RedrawWindow(f.Handle(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    };
    settle();
    ASSERT_FALSE(GetUpdateRect(f.Handle(), nullptr, FALSE));
    f.SetBounds(60, 50, 300, 160);
    EXPECT_FALSE(GetUpdateRect(f.Handle(), nullptr, FALSE)) << "a form only moved is painted again";
    settle();
    f.OkButton->SetBounds(20, 60, 75, 25);
    EXPECT_TRUE(GetUpdateRect(f.OkButton->Handle(), nullptr, FALSE)) << "a moved control keeps its old pixels";
}
