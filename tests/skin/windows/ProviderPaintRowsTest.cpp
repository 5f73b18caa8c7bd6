// The provider's painting and mouse rows under Wine, read back in pixels and
// window state: presses and releases of the caption buttons, clicks on a
// minimized form and on the system's frame, a form painted as a copy, the
// print, the showing, the caption's place, the title repainted alone, the
// controls told of a new picture, and the extended border's pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

constexpr WPARAM kDragMove = 0xF012;

// A form that notes what its own procedure gets, and keeps the messages
// that would start one of the system's modal loops to itself.
class TRowsForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<UINT> Seen;
    std::vector<WPARAM> Commands;   // WM_SYSCOMMAND
    bool KeepShowing = false;       // CM_SHOWINGCHANGED noted, not handled
    bool KeepMinimize = false;      // SC_MINIMIZE noted, the form stays as it is
    int Measures = 0;
    std::function<void(HMENU)> InitPopup;   // a popup menu about to open
    void WndProc(tw::TMessage& m) override
    {
        Seen.push_back(m.Msg);
        if (m.Msg == WM_INITMENUPOPUP && InitPopup)
            InitPopup(reinterpret_cast<HMENU>(m.WParam));
        if (m.Msg == WM_MEASUREITEM)
            ++Measures;
        if (m.Msg == WM_SYSCOMMAND) {
            Commands.push_back(m.WParam);
            // Help too: the system's help mode would wait for a click.
            if ((m.WParam & 0xFFF0) == SC_MOVE || (m.WParam & 0xFFF0) == SC_SIZE ||
                (m.WParam & 0xFFF0) == SC_CONTEXTHELP || (KeepMinimize && (m.WParam & 0xFFF0) == SC_MINIMIZE))
                return;
        }
        if (m.Msg == WM_NCLBUTTONDOWN || (m.Msg == tw::CM_SHOWINGCHANGED && KeepShowing))
            return;
        tw::TForm::WndProc(m);
    }
    bool Saw(UINT msg) const { return std::find(Seen.begin(), Seen.end(), msg) != Seen.end(); }
    bool Commanded(WPARAM c) const { return std::find(Commands.begin(), Commands.end(), c) != Commands.end(); }
};

// Counts what a window gets before the class library sees it.
WNDPROC g_prev = nullptr;
int g_erases = 0;
int g_refreshes = 0;
int g_paints = 0;
int g_ncPaintCount = 0;
int g_posChanges = 0;
LRESULT CALLBACK CountingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_WINDOWPOSCHANGED)
        ++g_posChanges;
    if (msg == WM_NCPAINT)
        ++g_ncPaintCount;
    if (msg == WM_ERASEBKGND)
        ++g_erases;
    if (msg == WM_PAINT)
        ++g_paints;
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_REFRESHSTATE)
        ++g_refreshes;
    return CallWindowProcW(g_prev, wnd, msg, wp, lp);
}

struct TSubclass {
    HWND Wnd;
    explicit TSubclass(HWND w) : Wnd(w)
    {
        g_prev = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    }
    ~TSubclass()
    {
        if (IsWindow(Wnd))
            SetWindowLongPtrW(Wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_prev));
    }
};

// Closes whatever menu is open when it fires.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

// The pixels of a rectangle of a w-wide picture.
std::vector<uint32_t> Piece(const std::vector<uint32_t>& all, int w, const TRect& r)
{
    std::vector<uint32_t> out;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            out.push_back(all[size_t(y) * size_t(w) + size_t(x)]);
    return out;
}

class ProviderPaintRowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        // The buttons change at once, without fades.
        manager.SetAllowGlowing(false);
    }
    void TearDown() override
    {
        for (auto it = forms.rbegin(); it != forms.rend(); ++it)
            delete *it;
        test::EndFormSkinning();
    }
    TRowsForm* NewForm(const char* caption = "Rows", int w = 400, int h = 300)
    {
        auto* f = new TRowsForm(tw::Application);
        forms.push_back(f);
        f->SetText(caption);
        f->SetBounds(60, 60, w, h);
        return f;
    }
    static HWND Shown(tw::TCustomForm* f)
    {
        f->Show();
        tw::Application->ProcessMessages();
        return f->Handle();
    }
    static LPARAM ScreenPoint(HWND wnd, int x, int y)
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        return MAKELPARAM(wr.left + x, wr.top + y);
    }
    static LPARAM Centre(HWND wnd, const TRect& r)
    {
        return ScreenPoint(wnd, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    }

    TsSkinManager manager;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(ProviderPaintRowsTest, PressingAButtonLeavesTheHotOneNormal)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
    const TRect close = p->Buttons().Close, min = p->Buttons().Min;
    ASSERT_GT(close.Right, close.Left);
    int w = 0;
    const std::vector<uint32_t> normal = test::PrintFrame(wnd, w);
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, close)), HTCLOSE);
    const std::vector<uint32_t> hot = test::PrintFrame(wnd, w);
    ASSERT_NE(Piece(hot, w, close), Piece(normal, w, close));
    // Pressed down on minimize while close was hot: close is normal again.
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMINBUTTON, Centre(wnd, min));
    const std::vector<uint32_t> pressed = test::PrintFrame(wnd, w);
    EXPECT_EQ(Piece(pressed, w, close), Piece(normal, w, close));
    EXPECT_NE(Piece(pressed, w, min), Piece(normal, w, min));
    EXPECT_TRUE(p->ButtonPressed());
}

// A double click on a caption button acts once, as one click does: the
// system sends press, release, double click and release, and only the
// first pair counts (maximize does not maximize and restore at once).
TEST_F(ProviderPaintRowsTest, DoubleClicksOnButtonsActOnce)
{
    TRowsForm* f = NewForm();
    TsTitleButton& user = FindProvider(f)->TitleButtons().Add();
    user.Hint = "Mark the cut";
    int downs = 0, ups = 0;
    user.OnMouseDown = [&](TsTitleButton&, int, TPoint) { ++downs; };
    user.OnMouseUp = [&](TsTitleButton&, int, TPoint) { ++ups; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    const auto doubleClick = [&](int code, LPARAM at) {
        for (const UINT msg : {WM_NCLBUTTONDOWN, WM_NCLBUTTONUP, WM_NCLBUTTONDBLCLK, WM_NCLBUTTONUP})
            SendMessageW(wnd, msg, WPARAM(code), at);
        tw::Application->ProcessMessages();
    };
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
    ASSERT_FALSE(p->Buttons().User.empty());
    const TRect userRect = p->Buttons().User[0];
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, userRect)), 1000);
    doubleClick(1000, Centre(wnd, userRect));
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
    EXPECT_FALSE(p->ButtonPressed());
    // Maximize: maximized, and it stays so.
    const TRect maxButton = p->Buttons().Max;
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, maxButton)), HTMAXBUTTON);
    doubleClick(HTMAXBUTTON, Centre(wnd, maxButton));
    EXPECT_TRUE(IsZoomed(wnd));
    EXPECT_FALSE(p->ButtonPressed());
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));

    // A maximize button the system menu forbids (the minimized form shows
    // both boxes; maximizing is not the form's) takes no press from a
    // double click either, and its release maximizes nothing.
    TRowsForm* g = NewForm("Boxes");
    g->SetBorderIcons(tw::TBorderIcons(tw::biSystemMenu | tw::biMinimize));
    HWND gw = Shown(g);
    TsSkinProvider* q = FindProvider(g);
    ShowWindow(gw, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(gw));
    SendMessageW(gw, WM_NCHITTEST, 0, ScreenPoint(gw, 3, 3));
    const TRect max = q->Buttons().Max;
    ASSERT_GT(max.Right, max.Left);
    SendMessageW(gw, WM_NCLBUTTONDBLCLK, HTMAXBUTTON, Centre(gw, max));
    EXPECT_FALSE(q->ButtonPressed());
    EXPECT_EQ(q->HotCode(), 0);
    g->Seen.clear();
    SendMessageW(gw, WM_NCLBUTTONUP, HTMAXBUTTON, Centre(gw, max));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsIconic(gw));
    // Nothing at all: not even the system's own button hears the release.
    EXPECT_FALSE(g->Saw(WM_NCLBUTTONUP));
    ShowWindow(gw, SW_RESTORE);
    tw::Application->ProcessMessages();
}

// On the drawn title the form's own answer stands where it names its
// border: the edge of a fixed frame does not move the form.
TEST_F(ProviderPaintRowsTest, TheEdgeOfAFixedFrameIsItsBorder)
{
    TRowsForm* f = NewForm("Fixed");
    f->SetBorderStyle(tw::bsSingle);
    HWND wnd = Shown(f);
    RECT wr;
    GetWindowRect(wnd, &wr);
    for (const LPARAM edge : {ScreenPoint(wnd, 0, 8), ScreenPoint(wnd, wr.right - wr.left - 1, 8)}) {
        ASSERT_EQ(DefWindowProcW(wnd, WM_NCHITTEST, 0, edge), HTBORDER);
        EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, edge), HTBORDER);
    }
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, (wr.right - wr.left) / 2, 8)), HTCAPTION);
}

TEST_F(ProviderPaintRowsTest, MaximizeReleaseChangesTheFormAtOnce)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_NE(p->SystemMenu(), nullptr);
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
    int w = 0;
    const std::vector<uint32_t> before = test::PrintFrame(wnd, w);
    const TRect max = p->Buttons().Max;
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, max)), HTMAXBUTTON);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMAXBUTTON, Centre(wnd, max));
    ASSERT_TRUE(p->ButtonPressed());
    f->Commands.clear();
    SendMessageW(wnd, WM_NCLBUTTONUP, HTMAXBUTTON, Centre(wnd, max));
    // Sent, not left in the queue: the form is maximized when the release
    // has been handled, no button is hot and the menu offers restore only.
    EXPECT_TRUE(IsZoomed(wnd));
    EXPECT_TRUE(f->Commanded(SC_MAXIMIZE));
    EXPECT_EQ(p->HotCode(), 0);
    EXPECT_FALSE(p->ButtonPressed());
    EXPECT_FALSE(p->SystemMenu()->ItemMaximize->Enabled());
    EXPECT_TRUE(p->SystemMenu()->ItemRestore->Enabled());

    // The restore button of the maximized form: back at once, as it was.
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
    const TRect restore = p->Buttons().Max;
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, restore)), HTMAXBUTTON);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMAXBUTTON, Centre(wnd, restore));
    SendMessageW(wnd, WM_NCLBUTTONUP, HTMAXBUTTON, Centre(wnd, restore));
    EXPECT_FALSE(IsZoomed(wnd));
    EXPECT_EQ(p->HotCode(), 0);
    EXPECT_TRUE(p->SystemMenu()->ItemMaximize->Enabled());
    EXPECT_FALSE(p->SystemMenu()->ItemRestore->Enabled());
    tw::Application->ProcessMessages();
    const std::vector<uint32_t> after = test::PrintFrame(wnd, w);
    EXPECT_EQ(Piece(after, w, max), Piece(before, w, max));
}

TEST_F(ProviderPaintRowsTest, ReleasedButtonsRunTheirCommandAndAreNormalAgain)
{
    TRowsForm* f = NewForm();
    f->SetBorderIcons(tw::TBorderIcons(tw::biSystemMenu | tw::biHelp));
    TsSkinProvider* p = FindProvider(f);
    TsTitleButton& user = p->TitleButtons().Add();
    int ups = 0;
    user.OnMouseUp = [&](TsTitleButton&, int, TPoint) { ++ups; };
    HWND wnd = Shown(f);
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
    const TRect help = p->Buttons().Help;
    ASSERT_GT(help.Right, help.Left);
    ASSERT_FALSE(p->Buttons().User.empty());
    const TRect userRect = p->Buttons().User[0];
    int w = 0;
    const std::vector<uint32_t> normal = test::PrintFrame(wnd, w);

    // Help: the command goes to the form and no button stays hot or
    // pressed; the button shows as it did before the mouse came.
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, help)), HTHELP);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTHELP, Centre(wnd, help));
    ASSERT_TRUE(p->ButtonPressed());
    f->Commands.clear();
    SendMessageW(wnd, WM_NCLBUTTONUP, HTHELP, Centre(wnd, help));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(f->Commanded(SC_CONTEXTHELP));
    EXPECT_EQ(p->HotCode(), 0);
    EXPECT_FALSE(p->ButtonPressed());
    EXPECT_EQ(Piece(test::PrintFrame(wnd, w), w, help), Piece(normal, w, help));

    // A user button: its OnMouseUp runs once, and it is left normal.
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, userRect)), 1000);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, 1000, Centre(wnd, userRect));
    ASSERT_TRUE(p->ButtonPressed());
    SendMessageW(wnd, WM_NCLBUTTONUP, 1000, Centre(wnd, userRect));
    EXPECT_EQ(ups, 1);
    EXPECT_EQ(p->HotCode(), 0);
    EXPECT_EQ(user.State, 0);
    EXPECT_EQ(Piece(test::PrintFrame(wnd, w), w, userRect), Piece(normal, w, userRect));
}

TEST_F(ProviderPaintRowsTest, ATitleClickOnAMaximizedFormOnlyActivatesIt)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TRowsForm* other = NewForm("Other", 200, 150);
    HWND ow = Shown(other);
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    SetActiveWindow(ow);
    tw::Application->ProcessMessages();
    ASSERT_EQ(GetActiveWindow(), ow);
    f->Seen.clear();
    f->Commands.clear();
    // Nothing is moved: the form's own procedure (the system's move loop)
    // never sees the press.
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTCAPTION, ScreenPoint(wnd, 60, 12));
    tw::Application->ProcessMessages();
    EXPECT_EQ(GetActiveWindow(), wnd);
    EXPECT_FALSE(f->Saw(WM_NCLBUTTONDOWN));
    EXPECT_TRUE(f->Commands.empty());
    EXPECT_TRUE(IsZoomed(wnd));
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
}

TEST_F(ProviderPaintRowsTest, TheSystemsOwnMenuOffersWhatTheFormsStateAllows)
{
    manager.SetSkinnedPopups(false);
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // The commands as the menu offers them when it opens (the platform may
    // set a system menu's commands again after that).
    std::map<UINT, bool> grey;
    f->InitPopup = [&](HMENU menu) {
        for (UINT command : {SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE, SC_RESTORE, SC_CLOSE})
            grey[command] = (GetMenuState(menu, command, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };
    auto popup = [&] {
        grey.clear();
        const UINT_PTR closer = SetTimer(nullptr, 0, 100, CloseMenu);
        p->ShowSystemMenu(100, 100);
        KillTimer(nullptr, closer);
        tw::Application->ProcessMessages();
        return !grey.empty();
    };
    ASSERT_TRUE(popup());
    EXPECT_FALSE(grey[SC_MOVE]);
    EXPECT_FALSE(grey[SC_SIZE]);
    EXPECT_FALSE(grey[SC_MINIMIZE]);
    EXPECT_FALSE(grey[SC_MAXIMIZE]);
    EXPECT_TRUE(grey[SC_RESTORE]);
    EXPECT_FALSE(grey[SC_CLOSE]);
    // Maximized: the form is neither moved nor sized from the menu.
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    ASSERT_TRUE(popup());
    EXPECT_TRUE(grey[SC_MOVE]);
    EXPECT_TRUE(grey[SC_SIZE]);
    EXPECT_TRUE(grey[SC_MAXIMIZE]);
    EXPECT_FALSE(grey[SC_RESTORE]);
    EXPECT_FALSE(grey[SC_CLOSE]);
    // The window kept its visibility through the menu's preparation.
    EXPECT_TRUE(IsWindowVisible(wnd));
    f->InitPopup = nullptr;
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
    manager.SetSkinnedPopups(true);
}

TEST_F(ProviderPaintRowsTest, MinimizedFormIsDraggedAndTheSystemsFrameSizedByTheSystem)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    // Anywhere but on a button the icon is dragged.
    f->Seen.clear();
    f->Commands.clear();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTCAPTION, ScreenPoint(wnd, 10, 5));
    EXPECT_TRUE(f->Commanded(kDragMove));
    EXPECT_FALSE(f->Saw(WM_NCLBUTTONDOWN));
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    // Without the drawn frame the outline is not the provider's: the
    // system's frame sizes the form.
    p->SetDrawNonClientArea(false);
    p->SetResizeMode(rmBorder);
    tw::Application->ProcessMessages();
    f->Seen.clear();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTLEFT, ScreenPoint(wnd, 1, 100));
    const bool dragging = p->Dragging();
    if (dragging)
        SendMessageW(wnd, WM_CAPTURECHANGED, 0, 0);
    EXPECT_FALSE(dragging);
    EXPECT_TRUE(f->Saw(WM_NCLBUTTONDOWN));
    p->SetResizeMode(rmStandard);
}

TEST_F(ProviderPaintRowsTest, FormPaintedAsACopyDrawsNothingOfItsOwn)
{
    TRowsForm* f = NewForm();
    int painted = 0;
    f->OnPaint = [&](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    f->SetControlState(f->ControlState() | tw::csPaintCopy);
    painted = 0;
    f->Seen.clear();
    InvalidateRect(wnd, nullptr, FALSE);
    SendMessageW(wnd, WM_PAINT, 0, 0);
    EXPECT_EQ(painted, 0);
    EXPECT_FALSE(f->Saw(WM_PAINT));
    // Still to be painted when the copy is done.
    RECT dirty;
    EXPECT_TRUE(GetUpdateRect(wnd, &dirty, FALSE));
    f->SetControlState(f->ControlState() & ~tw::csPaintCopy);
    SendMessageW(wnd, WM_PAINT, 0, 0);
    EXPECT_GT(painted, 0);
    EXPECT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
}

TEST_F(ProviderPaintRowsTest, PrintLaysTheMenuLineOutForTheSkinAndShowsTheFormAtRest)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_FALSE(p->MainMenuRefreshed());   // no menu when the skin came or the form was activated
    auto* menu = new tw::TMainMenu(f);
    auto* item = new tw::TMenuItem(menu);
    item->SetCaption("&Recording");
    menu->Items()->Add(item);
    f->SetMenu(menu);
    tw::Application->ProcessMessages();
    p->SkinData().SetActiveState(true);
    f->Seen.clear();
    int w = 0;
    test::PrintFrame(wnd, w);
    // The line was laid out for the skin (the system sizes it again), the
    // form is printed at rest, and its own procedure never saw the print.
    EXPECT_TRUE(p->MainMenuRefreshed());
    EXPECT_FALSE(p->SkinData().ActiveState());
    EXPECT_FALSE(f->Saw(WM_PRINT));
}

TEST_F(ProviderPaintRowsTest, TheFramePaintMeasuresTheMenuLineCutsTheFormAgainAndLeavesItAtRest)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_FALSE(p->MainMenuRefreshed());
    auto* menu = new tw::TMainMenu(f);
    auto* item = new tw::TMenuItem(menu);
    item->SetCaption("&Recording");
    menu->Items()->Add(item);
    f->SetMenu(menu);
    tw::Application->ProcessMessages();

    // Marked active (an update under way): the form tells its controls so.
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 1), 0);
    ASSERT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYACTIVE), 0), 1);
    // The frame painted: the menu line was laid out for the skin, and the
    // form is at rest for its controls again.
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_TRUE(p->MainMenuRefreshed());
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYACTIVE), 0), 0);

    // A new skin while the form's picture is locked, and the region taken
    // away meanwhile (as an old system's end of a skin change does): the
    // first frame paint after the lock cuts the form again.
    p->SetSkinChangeLock(true);
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    SetWindowRgn(wnd, nullptr, FALSE);
    p->SetSkinChangeLock(false);
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    RECT box{};
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    GetRgnBox(rgn, &box);
    DeleteObject(rgn);
    RECT wr;
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(box.right - box.left, wr.right - wr.left);
    EXPECT_EQ(box.bottom - box.top, wr.bottom - wr.top);
}

TEST_F(ProviderPaintRowsTest, ACaptionButtonTakesTheInactiveRowOnlyAtRest)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    const TRect close = p->Buttons().Close;
    ASSERT_GT(close.Width(), 0);
    const int mi = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONCLOSE");
    ASSERT_TRUE(manager.MaskIndexValid(mi));
    const TsMaskData& mask = manager.ma[size_t(mi)];
    ASSERT_GE(mask.ImageCount, 2);
    // The pixels the skin's picture covers whole in a state, as the skin
    // has them: how many of them the printed frame shows unchanged.
    const auto shown = [&](int state, int& covered) {
        int w = 0;
        const std::vector<uint32_t> frame = test::PrintFrame(wnd, w);
        int same = 0;
        covered = 0;
        for (int y = 0; y < std::min(close.Height(), MaskFrameHeight(mask)); ++y)
            for (int x = 0; x < std::min(close.Width(), MaskFrameWidth(mask)); ++x) {
                const COLORREF c = test::MaskPixel(mask, state, x, y);
                if (c == RGB(255, 0, 255) || (mask.MaskType == 1 && test::MaskPixel(mask, state, x, y, true) != 0))
                    continue;
                ++covered;
                const uint32_t px = frame[size_t(close.Top + y) * size_t(w) + size_t(close.Left + x)];
                same += RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF) == c;
            }
        return same;
    };
    int covered = 0;
    // Active and at rest: the active row, pixel for pixel.
    EXPECT_EQ(shown(0, covered), covered);
    ASSERT_GT(covered, 0);
    // Inactive and at rest: the inactive row, which is not the picture as
    // it stands.
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    const int inactive = shown(0, covered);
    EXPECT_LT(inactive, covered);
    // Inactive but under the mouse: the active row again, hot.
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, Centre(wnd, close)), HTCLOSE);
    ASSERT_EQ(p->HotCode(), HTCLOSE);
    EXPECT_EQ(shown(1, covered), covered);
}

TEST_F(ProviderPaintRowsTest, RestoreRedrawsATitledFormAndTakesTheRegionOfOneWithout)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    RECT dirty;
    ASSERT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
    // Restored (from wherever): the frame and the client are drawn again.
    SendMessageW(wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(GetUpdateRect(wnd, &dirty, FALSE));
    tw::Application->ProcessMessages();

    // A form without a title keeps no region once it is restored.
    TRowsForm* bare = NewForm("Bare");
    bare->SetBorderStyle(tw::bsNone);
    HWND bw = Shown(bare);
    HRGN cut = CreateRectRgn(0, 0, 50, 50);
    SetWindowRgn(bw, cut, FALSE);
    SendMessageW(bw, WM_SYSCOMMAND, SC_RESTORE, 0);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(bw, rgn), ERROR);
    DeleteObject(rgn);
}

TEST_F(ProviderPaintRowsTest, AFormIsPaintedBeforeItIsDragged)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    int painted = 0;
    f->OnPaint = [&](tw::TObject*) { ++painted; };
    InvalidateRect(wnd, nullptr, FALSE);
    // The drag itself stays with the form's own procedure here (no
    // system move loop): what is pending is painted before it starts.
    SendMessageW(wnd, WM_SYSCOMMAND, kDragMove, 0);
    EXPECT_TRUE(f->Commanded(kDragMove));
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
    EXPECT_GT(painted, 0);
}

TEST_F(ProviderPaintRowsTest, TheSkinnedSystemMenuIsMarkedUpUntilAnotherPopupOfTheFormOpens)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(manager.SkinnedPopups());
    ASSERT_NE(p->SystemMenu(), nullptr);
    SetSystemMenuUp(false);
    const UINT_PTR closer = SetTimer(nullptr, 0, 100, CloseMenu);
    RECT wr;
    GetWindowRect(wnd, &wr);
    p->ShowSystemMenu(wr.left + 20, wr.top + 40);
    KillTimer(nullptr, closer);
    EXPECT_TRUE(SystemMenuUp());
    // The window menu the system tracks: its Size is greyed, the mark stays.
    HMENU sys = GetSystemMenu(wnd, FALSE);
    ASSERT_NE(sys, nullptr);
    SendMessageW(wnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sys), MAKELPARAM(0, 1));
    EXPECT_TRUE(SystemMenuUp());
    EXPECT_TRUE(GetMenuState(sys, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED);
    // A popup of the form's own opens: the mark goes.
    HMENU popup = CreatePopupMenu();
    AppendMenuW(popup, MF_STRING, 1, L"Item");
    SendMessageW(wnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(0, 0));
    EXPECT_FALSE(SystemMenuUp());
    DestroyMenu(popup);
    GetSystemMenu(wnd, TRUE);
}

TEST_F(ProviderPaintRowsTest, AFormToBeMinimizedDropsItsPicture)
{
    TRowsForm* f = NewForm();
    f->KeepMinimize = true;
    HWND wnd = Shown(f);
    // A pixel of the picture's client part, through the answer the
    // controls get for their background.
    auto mark = [&](bool set) {
        TacBGInfo info;
        info.PleaseDraw = false;
        f->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYBGINFO), reinterpret_cast<LPARAM>(&info));
        if (info.BgType != btCache || info.Bmp.Empty() || info.Bmp.Height <= info.OffsetY + 30 ||
            info.Bmp.Width <= info.OffsetX + 30)
            return false;
        uint8_t* px = const_cast<uint8_t*>(info.Bmp.Row(info.OffsetY + 30)) + (info.OffsetX + 30) * (info.Bmp.BitsPerPixel / 8);
        if (set) {
            px[0] = 0x12;
            px[1] = 0x34;
            px[2] = 0x56;
        }
        return px[0] == 0x12 && px[1] == 0x34 && px[2] == 0x56;
    };
    ASSERT_TRUE(mark(true));
    ASSERT_TRUE(mark(false));   // kept while nothing changes
    SendMessageW(wnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(f->Commanded(SC_MINIMIZE));
    // The picture went with the command: the next one is made anew.
    EXPECT_FALSE(mark(false));
}

TEST_F(ProviderPaintRowsTest, ShowingPreparesTheMenusAndStartsAtRest)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    ASSERT_TRUE(service->Active());
    auto* popup = new tw::TPopupMenu(f);
    auto* entry = new tw::TMenuItem(popup);
    entry->SetCaption("Copy");
    popup->Items()->Add(entry);
    ASSERT_FALSE(service->Prepared(popup));
    manager.AnimEffects.FormShow.Active = false;
    p->SkinData().SetActiveState(true);
    p->SkinData().BGChangedFlag = true;
    f->KeepShowing = true;
    f->Seen.clear();
    f->Perform(tw::CM_SHOWINGCHANGED, 1, 0);
    f->KeepShowing = false;
    EXPECT_TRUE(f->Saw(tw::CM_SHOWINGCHANGED));
    EXPECT_TRUE(service->Prepared(popup));
    EXPECT_FALSE(p->SkinData().ActiveState());
    EXPECT_TRUE(IsWindowVisible(wnd));
}

TEST_F(ProviderPaintRowsTest, CaptionLineIsAsHighAsItsTextInTheMiddleOfTheTitle)
{
    TRowsForm* f = NewForm("Hg");
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // The caption in the system's caption font, bold, as the title draws it.
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0));
    ncm.lfCaptionFont.lfWeight = FW_BOLD;
    HFONT font = CreateFontIndirectW(&ncm.lfCaptionFont);
    SIZE extent{};
    int inkTop = -1, inkBottom = -1;
    test::CapturePixels(60, 60, [&](HDC dc) {
        HGDIOBJ old = SelectObject(dc, font);
        GetTextExtentPoint32W(dc, L"Hg", 2, &extent);
        RECT all{0, 0, 60, 60};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        RECT r{0, 0, 60, extent.cy};
        DrawTextW(dc, L"Hg", 2, &r, DT_SINGLELINE | DT_NOPREFIX);
        GdiFlush();
        for (int y = 0; y < extent.cy; ++y)
            for (int x = 0; x < 60; ++x)
                if ((GetPixel(dc, x, y) & 0xFFFFFF) != 0xFFFFFF) {
                    if (inkTop < 0)
                        inkTop = y;
                    inkBottom = y;
                }
        SelectObject(dc, old);
    });
    DeleteObject(font);
    ASSERT_GE(inkTop, 0);

    // Where the caption's ink lies in the title: what differs from the
    // same title without a caption.
    auto inkRows = [&](int& first, int& last) {
        SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 200, 150));
        const int right = p->Buttons().Min.Left;
        int w = 0;
        f->SetText("Hg");
        tw::Application->ProcessMessages();
        const std::vector<uint32_t> with = test::PrintFrame(wnd, w);
        f->SetText("");
        tw::Application->ProcessMessages();
        const std::vector<uint32_t> without = test::PrintFrame(wnd, w);
        POINT origin{0, 0};
        ClientToScreen(wnd, &origin);
        RECT wr;
        GetWindowRect(wnd, &wr);
        first = last = -1;
        for (int y = 0; y < origin.y - wr.top; ++y)
            for (int x = 0; x < right; ++x)
                if (with[size_t(y) * size_t(w) + size_t(x)] != without[size_t(y) * size_t(w) + size_t(x)]) {
                    if (first < 0)
                        first = y;
                    last = y;
                }
        return origin.y - wr.top;   // the title's bottom (no menu line)
    };
    // The line starts 2 pixels below the window's top and ends at the
    // title's bottom; the text's own line is centred in it.
    int first = 0, last = 0;
    int bottom = inkRows(first, last);
    int line = 2 + (bottom - 2 - extent.cy) / 2;
    EXPECT_EQ(first, line + inkTop);
    EXPECT_EQ(last, line + inkBottom);

    // Zoomed, half the frame lies beyond the screen: the line starts below
    // half of it.
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    bottom = inkRows(first, last);
    const int top = GetSystemMetrics(SM_CXFRAME) / 2 + 1;
    line = top + (bottom - top - extent.cy) / 2;
    EXPECT_EQ(first, line + inkTop);
    EXPECT_EQ(last, line + inkBottom);
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
}

TEST_F(ProviderPaintRowsTest, CaptionIsWrittenInTheSystemsCaptionFontMadeBold)
{
    const wchar_t* const kText = L"Wide caption MMMM";
    TRowsForm* f = NewForm("Wide caption MMMM", 500, 300);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // How wide the caption's ink is in the caption font of a given weight.
    auto inkWidth = [&](LONG weight) {
        NONCLIENTMETRICSW ncm{};
        ncm.cbSize = sizeof(ncm);
        SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
        ncm.lfCaptionFont.lfWeight = weight;
        HFONT font = CreateFontIndirectW(&ncm.lfCaptionFont);
        int left = -1, right = -1;
        test::CapturePixels(400, 60, [&](HDC dc) {
            HGDIOBJ old = SelectObject(dc, font);
            RECT all{0, 0, 400, 60};
            FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            SetBkMode(dc, TRANSPARENT);
            DrawTextW(dc, kText, -1, &all, DT_SINGLELINE | DT_NOPREFIX);
            GdiFlush();
            for (int x = 0; x < 400; ++x)
                for (int y = 0; y < 60; ++y)
                    if ((GetPixel(dc, x, y) & 0xFFFFFF) != 0xFFFFFF) {
                        if (left < 0)
                            left = x;
                        right = x;
                        break;
                    }
            SelectObject(dc, old);
        });
        DeleteObject(font);
        return right - left + 1;
    };
    const int bold = inkWidth(FW_BOLD);
    ASSERT_NE(bold, inkWidth(FW_NORMAL));   // the weights are told apart here

    // The caption's ink in the title: what differs from the title without it.
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 250, 150));
    const int right = p->Buttons().Min.Left;
    int w = 0;
    const std::vector<uint32_t> with = test::PrintFrame(wnd, w);
    f->SetText("");
    tw::Application->ProcessMessages();
    const std::vector<uint32_t> without = test::PrintFrame(wnd, w);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    RECT wr;
    GetWindowRect(wnd, &wr);
    int first = -1, last = -1;
    for (int x = 0; x < right; ++x)
        for (int y = 0; y < origin.y - wr.top; ++y)
            if (with[size_t(y) * size_t(w) + size_t(x)] != without[size_t(y) * size_t(w) + size_t(x)]) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    ASSERT_GE(first, 0);
    EXPECT_EQ(last - first + 1, bold);
}

TEST_F(ProviderPaintRowsTest, ANewPictureIsAnnouncedAndAnActivationRepaintsOnlyTheTitle)
{
    TRowsForm* f = NewForm();
    auto* panel = new test::TNotingPanel(f);
    panel->SetParent(f);
    panel->SetBounds(10, 10, 100, 60);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // The picture made anew: the controls work out again whether they take
    // their background from it; made over, they hear nothing.
    SendMessageW(wnd, tw::CM_VISIBLECHANGED, 0, 0);
    panel->Commands.clear();
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_GT(panel->Count(AC_CONTAINERFLAG), 0);
    panel->Commands.clear();
    p->SkinData().BGChangedFlag = true;
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_EQ(panel->Count(AC_CONTAINERFLAG), 0);

    // With a border that looks the same in both states, a change of the
    // activation paints the title again and nothing else of the picture.
    const int border = p->SkinData().BorderIndex;
    ASSERT_TRUE(manager.MaskIndexValid(border));
    const int16_t images = manager.ma[size_t(border)].ImageCount;
    manager.ma[size_t(border)].ImageCount = 1;
    p->SkinData().BGChangedFlag = true;
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    auto mark = [&](bool set) {
        // A pixel of the picture's client part, through the answer the
        // controls get for their background.
        TacBGInfo info;
        info.PleaseDraw = false;
        tw::TMessage query{SM_ALPHACMD, SkinWParam(AC_QUERYBGINFO), reinterpret_cast<LPARAM>(&info), 0};
        f->Perform(query.Msg, query.WParam, query.LParam);
        if (info.BgType != btCache || info.Bmp.Empty())
            return false;
        uint8_t* px = const_cast<uint8_t*>(info.Bmp.Row(info.OffsetY + 30)) + (info.OffsetX + 30) * (info.Bmp.BitsPerPixel / 8);
        if (set) {
            px[0] = 0x12;
            px[1] = 0x34;
            px[2] = 0x56;
        }
        return px[0] == 0x12 && px[1] == 0x34 && px[2] == 0x56;
    };
    ASSERT_TRUE(mark(true));
    int w = 0;
    const std::vector<uint32_t> active = test::PrintFrame(wnd, w);
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_TRUE(mark(false));
    const std::vector<uint32_t> inactive = test::PrintFrame(wnd, w);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const TRect title(0, 0, w, origin.y - wr.top);
    EXPECT_NE(Piece(inactive, w, title), Piece(active, w, title));
    // A menu changed: the picture is made whole.
    SendMessageW(wnd, tw::CM_MENUCHANGED, 0, 0);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_FALSE(mark(false));
    // What the form draws itself lies in the picture's client part: drawn
    // into it again only when the picture is made whole, as it is for a
    // form with a colour of its own (the colour may be what changed).
    int owner = 0;
    f->OnPaint = [&](tw::TObject*) { ++owner; };
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(owner, 0);
    p->SkinData().SetCustomColor(true);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_GT(owner, 0);
    f->OnPaint = nullptr;
    manager.ma[size_t(border)].ImageCount = images;
}

TEST_F(ProviderPaintRowsTest, AnEraseRefreshesEveryControlTheAdapterHolds)
{
    TRowsForm* f = NewForm();
    auto* panel = new tw::TPanel(f);
    panel->SetParent(f);
    panel->SetBounds(10, 10, 200, 120);
    auto* memo = new tw::TMemo(f);
    memo->SetParent(panel);
    memo->SetBounds(10, 10, 150, 80);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_NE(p->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);
    TSubclass counted(memo->Handle());
    g_refreshes = 0;
    HDC dc = GetDC(wnd);
    SendMessageW(wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(wnd, dc);
    EXPECT_GT(g_refreshes, 0);
}

// The fade is recorded, not shown (Wine cannot show layered windows).
BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptEntry() { return AcceptLayered; }

TEST_F(ProviderPaintRowsTest, FadedInFormIsPaintedWithoutAnEraseWhereItMayShowItsHotLook)
{
    test::TLayeredEntryScope layered(AcceptEntry);
    manager.AnimEffects.FormShow.Time = 16;
    TRowsForm* f = NewForm();
    const HWND form = f->Handle();
    // Counted from the fade's picture on: what the provider redraws after it.
    std::unique_ptr<TSubclass> counted;
    AnimationProbe = [&](const tw::TBitmap&, HWND, bool) {
        if (!counted)
            counted = std::make_unique<TSubclass>(form);
        g_erases = 0;
        g_paints = 0;
    };
    HWND wnd = Shown(f);
    AnimationProbe = nullptr;
    ASSERT_NE(counted, nullptr);
    const int erases = g_erases, paints = g_paints;
    counted.reset();
    ASSERT_TRUE(FindProvider(f)->SkinData().HotStateAllowed());
    EXPECT_GT(paints, 0);
    EXPECT_EQ(erases, 0);
    EXPECT_TRUE(IsWindowVisible(wnd));
}

// A shadow whose columns tell where they were taken from: the left pieces
// red, the stretched middle green but for one blue column in its middle.
std::shared_ptr<tw::TPixelImage> ColumnShadow()
{
    auto shadow = std::make_shared<tw::TPixelImage>(60, 60, 32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            uint8_t* px = shadow->View().Pixel(x, y);
            const bool left = x < 19, middle = x == 30;
            px[0] = middle ? 200 : 0;
            px[1] = !left && !middle ? 200 : 0;
            px[2] = left ? 200 : 0;
            px[3] = 255;
        }
    return shadow;
}

class ProviderBorderPiecesTest : public test::LayeredFormTest {
protected:
    ProviderBorderPiecesTest() : LayeredFormTest("Pieces", 400, 300, AcceptEntry) {}
};

TEST_F(ProviderBorderPiecesTest, ExtendedBorderIsCutWhereTheFormsFrameBegins)
{
    manager.ShadowActive = ColumnShadow();
    manager.ShadowInactive = ColumnShadow();
    manager.SkinData.FormOffset = 8;
    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    SendSkinCommand(form->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    b->UpdateBorderWindow(true);
    const TRect m = b->Margins();
    ASSERT_EQ(m.Left, 11);
    const tw::TPixelView& v = b->Picture().View();
    // The left piece is the margin and the offset wide: 19 columns as they
    // are, then the middle stretched along the whole edge.
    for (int x = 0; x < 19; ++x)
        EXPECT_EQ(v.Pixel(x, 0)[2], 200) << x;
    for (int x : {19, 25, 35, 45})
        EXPECT_EQ(v.Pixel(x, 0)[1], 200) << x;
    EXPECT_EQ(v.Pixel(v.Width / 2, 0)[0], 200);
}

TEST_F(ProviderBorderPiecesTest, UnderBorderModeOneTheMasksOwnBordersCutThePicture)
{
    // An extended-border mask of the skin's own, 10 pixels each side, whose
    // column 14 is blue and column 10 on green.
    auto picture = std::make_unique<tw::TPixelImage>(60, 60, 32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) {
            uint8_t* px = picture->View().Pixel(x, y);
            px[0] = x == 14 ? 200 : 0;
            px[1] = x >= 10 && x != 14 ? 200 : 0;
            px[2] = x < 10 ? 200 : 0;
            px[3] = 255;
        }
    TsMaskData mask;
    mask.Bmp = std::move(picture);
    mask.SectionName = "GLOBALINFO";
    mask.PropertyName = "EXBORDER";
    mask.R = TRect(0, 0, 60, 60);
    mask.ImageCount = 1;
    mask.WL = mask.WT = mask.WR = mask.WB = 10;
    mask.Manager = &manager;
    manager.ma.push_back(std::move(mask));
    manager.ConstData.ExBorder = int(manager.ma.size()) - 1;
    manager.SkinData.BorderMode = 1;
    manager.SkinData.FormOffset = 8;
    ASSERT_GE(manager.SkinData.BorderWidth + 8, 10);
    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    SendSkinCommand(form->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(b->Margins().Left, 8);
    b->UpdateBorderWindow(true);
    const tw::TPixelView& v = b->Picture().View();
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(v.Pixel(x, 0)[2], 200) << x;
    // From column 10 on the middle of the mask is stretched: its blue
    // column lies far to the right of where it was drawn.
    for (int x : {10, 14, 20})
        EXPECT_EQ(v.Pixel(x, 0)[1], 200) << x;
    manager.SetExtendedBorders(false);
    manager.ConstData.ExBorder = -1;
}

TEST_F(ProviderPaintRowsTest, TheMenuLinesRightEndIsCopiedAsThePictureHasIt)
{
    TRowsForm* f = NewForm();
    auto* menu = new tw::TMainMenu(f);
    auto* item = new tw::TMenuItem(menu);
    item->SetCaption("&Recording");
    menu->Items()->Add(item);
    f->SetMenu(menu);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    int w = 0;
    const std::vector<uint32_t> frame = test::PrintFrame(wnd, w);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int h = wr.bottom - wr.top;
    ASSERT_EQ(w, f->Width());

    constexpr uint32_t kMarker = 0x123456;
    const int stripH = GetSystemMetrics(SM_CYMENU) + 3;
    tw::TBitmap out(60, stripH, tw::pf24bit);
    for (int y = 0; y < stripH; ++y)
        for (int x = 0; x < 60; ++x) {
            uint8_t* px = out.ScanLine(y) + x * 3;
            px[0] = kMarker & 0xFF;
            px[1] = (kMarker >> 8) & 0xFF;
            px[2] = (kMarker >> 16) & 0xFF;
        }
    p->CopyMenuLineEnd(out.Canvas());
    GdiFlush();

    // The strip starts the border's width left of the form's right end
    // plus 60, at the top of the menu line; what lies inside the picture's
    // frame is the picture's, what lies beyond it stays as it was.
    const TRect margins = p->ExtBorderMargins();
    const int left = p->FormBorderWidth(true) + w - 60 - margins.Right;
    const int top = p->TitleBarHeight(true) + margins.Top;
    const int clientTop = p->ClientOriginY();
    int same = 0, compared = 0, kept = 0, beyond = 0;
    for (int y = 0; y < stripH; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint8_t* px = out.ScanLine(y) + x * 3;
            const uint32_t got = uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
            const int fx = left + x, fy = top + y;
            if (fx >= w || fy >= h) {
                ++beyond;
                kept += got == kMarker;
            } else if (fy < clientTop) {
                ++compared;
                same += got == frame[size_t(fy) * size_t(w) + size_t(fx)];
            }
        }
    ASSERT_GT(compared, 60);
    EXPECT_EQ(same, compared);
    if (left + 60 > w)
        EXPECT_GT(beyond, 0);
    EXPECT_EQ(kept, beyond);
}

TEST_F(ProviderPaintRowsTest, AFramePictureMadeAnewLeavesTheFormAtRest)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    // Marked active (an update under way), then a new icon: the frame's
    // picture is made again and copied straight to the window, with no
    // frame paint around it. The form is at rest for its controls again.
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 1), 0);
    ASSERT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYACTIVE), 0), 1);
    SendMessageW(wnd, WM_SETICON, ICON_SMALL, 0);
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYACTIVE), 0), 0);
}

TEST_F(ProviderPaintRowsTest, AMaximizedFormCutAgainIsDrawnByTheRepaintAndSettles)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    SetWindowRgn(wnd, nullptr, FALSE);
    g_erases = g_refreshes = g_paints = g_ncPaintCount = 0;
    {
        TSubclass counting(wnd);
        // A new skin: the frame paint that follows cuts the form again and
        // leaves the drawing to the repaint the new region brings. That
        // repaint draws the frame and nothing more comes of it: no region
        // set again, no paint after paint.
        SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
        MSG msg;
        for (int i = 0; i < 500 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        EXPECT_FALSE(PeekMessageW(&msg, wnd, WM_PAINT, WM_PAINT, PM_NOREMOVE));
        // Once cut, the form keeps its region: a later frame paint draws
        // and sets nothing again (each new region repaints the whole form).
        g_posChanges = 0;
        SendMessageW(wnd, WM_NCPAINT, 1, 0);
        EXPECT_EQ(g_posChanges, 0);
    }
    EXPECT_GE(g_ncPaintCount, 2);
    EXPECT_LE(g_ncPaintCount, 4);
    EXPECT_LE(g_paints, 3);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
    // Drawn whole: the picture is made and the form at rest for its controls.
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYACTIVE), 0), 0);
}

} // namespace
} // namespace skin

#endif
