// Controls on real windows: ownership and destruction, the swappable
// message procedure, layout, graphic controls fed by their parent, and
// exceptions kept out of the window procedures.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ui/Application.h"
#include "ui/ComCtrls.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Gauges.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"
#include "tests/ui/RefusedAllocations.h"

using namespace tw;

namespace {

int g_destroyed = 0;

template <class Base> class Counted : public Base {
public:
    using Base::Base;
    ~Counted() override { ++g_destroyed; }
};

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application->Initialize();
        g_destroyed = 0;
    }
};

} // namespace

TEST_F(ControlsTest, FormDestroysOwnedAndParentedControlsAndTheirWindows) {
    auto* form = new Counted<TForm>(Application);
    auto* panel = new Counted<TPanel>(form);
    panel->SetParent(form);
    auto* box = new Counted<TGroupBox>(form);
    box->SetParent(panel);
    auto* button = new Counted<TButton>(form);
    button->SetParent(box);
    auto* label = new Counted<TLabel>(form);
    label->SetParent(box);
    // Parented but owned by nobody: goes with its parent.
    auto* orphan = new Counted<TEdit>(nullptr);
    orphan->SetParent(panel);
    form->LoadTree();
    HWND hForm = form->Handle();
    HWND hButton = button->Handle();
    HWND hOrphan = orphan->Handle();
    ASSERT_TRUE(IsWindow(hButton));
    EXPECT_EQ(GetParent(hButton), box->Handle());
    EXPECT_EQ(TWinControl::FromHandle(hButton), button);

    delete form;
    EXPECT_EQ(g_destroyed, 6);
    EXPECT_FALSE(IsWindow(hForm));
    EXPECT_FALSE(IsWindow(hButton));
    EXPECT_FALSE(IsWindow(hOrphan));
}

TEST_F(ControlsTest, ControlDeletedByHandLeavesParentAndOwner) {
    TForm form(nullptr);
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    auto* edit = new TEdit(&form);
    edit->SetParent(panel);
    form.Handle();
    EXPECT_EQ(panel->ControlCount(), 1);
    int owned = form.ComponentCount();
    delete edit;
    EXPECT_EQ(panel->ControlCount(), 0);
    EXPECT_EQ(form.ComponentCount(), owned - 1);
}

TEST_F(ControlsTest, AWindowBelongsToItsControlUntilEitherGoes) {
    TForm form(nullptr);
    form.SetBounds(40, 40, 200, 120);
    auto* panel = new TPanel(&form);
    panel->SetParent(&form);
    const HWND first = panel->Handle();
    EXPECT_EQ(TWinControl::FromHandle(first), panel);
    EXPECT_EQ(TWinControl::FromHandle(nullptr), nullptr);

    // A window destroyed behind the library's back is nobody's, and the
    // control makes itself a new one when asked.
    DestroyWindow(first);
    EXPECT_FALSE(panel->HandleAllocated());
    EXPECT_EQ(TWinControl::FromHandle(first), nullptr);
    const HWND second = panel->Handle();
    ASSERT_NE(second, first);
    EXPECT_EQ(TWinControl::FromHandle(second), panel);

    // A window the library ends (made again, or the control going) sends
    // its last messages past the control, to the class's own procedure;
    // messages reach the control through the new window only.
    std::vector<UINT> heard;
    TWndMethod saved = panel->WindowProc;
    panel->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_USER + 7 || m.Msg == WM_DESTROY || m.Msg == WM_NCDESTROY) heard.push_back(m.Msg);
        saved(m);
    };
    panel->RecreateWnd();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_TRUE(heard.empty());
    const HWND third = panel->Handle();
    EXPECT_EQ(TWinControl::FromHandle(second), nullptr);
    EXPECT_EQ(TWinControl::FromHandle(third), panel);
    SendMessageW(third, WM_USER + 7, 0, 0);
    SendMessageW(second, WM_USER + 7, 0, 0);
    EXPECT_EQ(heard, std::vector<UINT>{WM_USER + 7});
    heard.clear();
    delete panel;
    EXPECT_FALSE(IsWindow(third));
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(TWinControl::FromHandle(third), nullptr);

    // Only this program's own table counts: a window that carries a control
    // pointer as a property (as a window of another copy of the program
    // would) is not taken for one of ours.
    const HWND foreign = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(foreign);
    SetPropW(foreign, L"TwControl", reinterpret_cast<HANDLE>(0x1234));
    EXPECT_EQ(TWinControl::FromHandle(foreign), nullptr);
    RemovePropW(foreign, L"TwControl");
    DestroyWindow(foreign);
}

namespace {

// The system names a window before its first message: memory runs out for
// the first allocation after that, the one that notes the window's control.
HWND g_announced = nullptr;
LRESULT CALLBACK RefuseTheNextAllocation(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_CREATEWND && !g_announced) {
        g_announced = reinterpret_cast<HWND>(wp);
        test::RefuseAllocations(1);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

} // namespace

TEST_F(ControlsTest, AWindowItsControlCannotNoteIsRefusedAndLeavesNothingBehind) {
    TForm form(nullptr);
    form.SetBounds(40, 40, 200, 120);
    const HWND formWnd = form.Handle();
    auto* panel = new TPanel(&form);
    std::vector<UINT> heard;
    TWndMethod saved = panel->WindowProc;
    panel->WindowProc = [&](TMessage& m) {
        heard.push_back(m.Msg);
        saved(m);
    };

    // The control says it has no window, and hears nothing of the one the
    // system had begun (not even its end, when memory is back by then).
    g_announced = nullptr;
    const HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseTheNextAllocation, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    std::string error;
    try {
        panel->SetParent(&form);
    } catch (const EWin32Error& e) {
        error = e.what();
    }
    UnhookWindowsHookEx(hook);
    const int refused = test::RefusedAllocations();
    test::RefuseAllocations(0);
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(error, "Cannot create window of TPanel");
    ASSERT_TRUE(g_announced);
    EXPECT_FALSE(IsWindow(g_announced));
    EXPECT_EQ(TWinControl::FromHandle(g_announced), nullptr);
    EXPECT_FALSE(panel->HandleAllocated());
    EXPECT_TRUE(heard.empty()) << "first message heard: " << heard.front();

    // With memory back the control makes its window as ever. (Had the
    // table kept its lock when the entry failed, the dying window's own
    // look-up would have stopped the program; the hang watch names the test.)
    const HWND made = panel->Handle();
    EXPECT_TRUE(IsWindow(made));
    EXPECT_EQ(GetParent(made), formWnd);
    EXPECT_EQ(TWinControl::FromHandle(made), panel);
    EXPECT_FALSE(heard.empty());
    panel->WindowProc = saved;
}

TEST_F(ControlsTest, AControlHearsItsWindowFromTheFirstMessageAndAChildMadeMeanwhileIsItsOwn) {
    TForm form(nullptr);
    form.SetBounds(40, 40, 200, 120);
    auto* edit = new TEdit(&form);
    std::vector<UINT> heard;
    TWndMethod saved = form.WindowProc;
    form.WindowProc = [&](TMessage& m) {
        heard.push_back(m.Msg);
        // A child of a system class made while the form's window is.
        if (m.Msg == WM_CREATE) edit->SetParent(&form);
        saved(m);
    };
    const HWND formWnd = form.Handle();
    form.WindowProc = saved;
    // A top-level window hears of its size limits before WM_NCCREATE.
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), static_cast<UINT>(WM_GETMINMAXINFO));
    EXPECT_EQ(TWinControl::FromHandle(formWnd), &form);
    ASSERT_TRUE(edit->HandleAllocated());
    const HWND editWnd = edit->Handle();
    EXPECT_EQ(GetParent(editWnd), formWnd);
    EXPECT_EQ(TWinControl::FromHandle(editWnd), edit);
    edit->SetText("typed");
    EXPECT_EQ(edit->Text(), "typed");
}

TEST_F(ControlsTest, AControlThatCannotMakeItsWindowLeavesNoCreationPending) {
    TForm form(nullptr);
    form.SetBounds(40, 40, 200, 120);
    form.Handle();
    auto* panel = new TPanel(&form);
    // Memory runs out for the window's text, as the window is being made.
    panel->SetText(std::string(1500, 'x'));
    test::RefuseAllocations(1, 3000);
    EXPECT_THROW(panel->SetParent(&form), std::bad_alloc);
    const int refused = test::RefusedAllocations();
    test::RefuseAllocations(0);
    EXPECT_EQ(refused, 1);
    EXPECT_FALSE(panel->HandleAllocated());

    // A window of the control's class made later, outside the library, is
    // not taken for the window the control failed to make.
    const HWND stray = CreateWindowExW(0, L"TPanel", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(stray);
    EXPECT_EQ(TWinControl::FromHandle(stray), nullptr);
    EXPECT_FALSE(panel->HandleAllocated());
    DestroyWindow(stray);

    const HWND made = panel->Handle();
    EXPECT_TRUE(IsWindow(made));
    EXPECT_EQ(TWinControl::FromHandle(made), panel);
}

TEST_F(ControlsTest, SwappedWindowProcSeesEveryMessageAndChains) {
    TForm form(nullptr);
    form.SetCaption("Chain");
    HWND h = form.Handle();
    std::vector<UINT> seen;
    TWndMethod saved = form.WindowProc;
    form.WindowProc = [&](TMessage& m) {
        seen.push_back(m.Msg);
        saved(m);
    };
    constexpr UINT kPrivate = 0xA100;
    SendMessageW(h, kPrivate, 1, 2);
    // A message answered further down the chain keeps its result.
    LRESULT len = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
    EXPECT_EQ(len, 5);
    form.SetBounds(10, 10, 300, 200); // WM_WINDOWPOSCHANGING, WM_SIZE...
    EXPECT_EQ(form.Perform(CM_MOUSEENTER), 0);
    auto has = [&](UINT msg) { return std::find(seen.begin(), seen.end(), msg) != seen.end(); };
    EXPECT_TRUE(has(kPrivate));
    EXPECT_TRUE(has(WM_GETTEXTLENGTH));
    EXPECT_TRUE(has(WM_SIZE));
    EXPECT_TRUE(has(CM_MOUSEENTER));
    EXPECT_EQ(form.Width(), 300);

    // Restoring the saved procedure takes the hook out exactly.
    form.WindowProc = saved;
    seen.clear();
    SendMessageW(h, kPrivate, 0, 0);
    EXPECT_TRUE(seen.empty());
}

TEST_F(ControlsTest, WindowProcOfAControlCanSwallowMessages) {
    TForm form(nullptr);
    auto* edit = new TEdit(&form);
    edit->SetParent(&form);
    edit->SetText("abc");
    HWND h = edit->Handle();
    TWndMethod saved = edit->WindowProc;
    edit->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_SETTEXT) {
            m.Result = TRUE; // swallowed
            return;
        }
        saved(m);
    };
    SetWindowTextW(h, L"changed");
    EXPECT_EQ(edit->Text(), "abc");
    edit->WindowProc = saved;
}

TEST_F(ControlsTest, AlignAndAnchorsFollowTheParentSize) {
    TForm form(nullptr);
    form.SetBorderStyle(bsNone);
    form.SetBounds(0, 0, 400, 300);
    auto* top = new TPanel(&form);
    top->SetParent(&form);
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* status = new TStatusBar(&form);
    status->SetParent(&form);
    auto* client = new TPanel(&form);
    client->SetParent(&form);
    client->SetAlign(alClient);
    auto* ok = new TButton(client);
    ok->SetParent(client);
    ok->SetBounds(300, 200, 75, 25);
    ok->SetAnchors(akRight | akBottom);
    form.Handle();
    EXPECT_EQ(top->BoundsRect(), Rect(0, 0, 400, 30));
    EXPECT_EQ(status->Top(), 300 - status->Height());
    EXPECT_EQ(client->BoundsRect(), Rect(0, 30, 400, 300 - status->Height()));
    int okRight = client->Width() - ok->Left();

    form.SetBounds(0, 0, 500, 360);
    EXPECT_EQ(top->Width(), 500);
    EXPECT_EQ(client->Height(), 360 - 30 - status->Height());
    // Anchored right and bottom: the distance to the corner stays.
    EXPECT_EQ(client->Width() - ok->Left(), okRight);
    EXPECT_EQ(ok->Width(), 75);
}

TEST_F(ControlsTest, GraphicControlsGetTheirParentsMouseMessages) {
    TForm form(nullptr);
    form.SetBorderStyle(bsNone);
    form.SetBounds(0, 0, 200, 100);
    auto* label = new TLabel(&form);
    label->SetParent(&form);
    label->SetAutoSize(false);
    label->SetBounds(20, 20, 50, 20);
    int clicks = 0, enters = 0, leaves = 0;
    TPoint down;
    label->OnClick = [&](TObject* s) {
        EXPECT_EQ(s, label);
        ++clicks;
    };
    label->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) { down = TPoint(x, y); };
    label->OnMouseEnter = [&](TObject*) { ++enters; };
    label->OnMouseLeave = [&](TObject*) { ++leaves; };
    HWND h = form.Handle();
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(30, 25));
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 25));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(31, 26));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(down, TPoint(10, 5)); // in the label's own coordinates
    EXPECT_EQ(enters, 1);
    SendMessageW(h, WM_MOUSEMOVE, 0, MAKELPARAM(150, 80));
    EXPECT_EQ(leaves, 1);
    EXPECT_TRUE(label->MouseInControl() == false);
    // Released outside: no click.
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 25));
    SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(150, 80));
    EXPECT_EQ(clicks, 1);
}

namespace {
void CALLBACK CloseOpenMenu(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    // Any open popup menu of this thread takes the Escape.
    PostMessageW(GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(GetActiveWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
}
} // namespace

TEST_F(ControlsTest, ARightClickOnAGraphicChildOpensItsPopupMenu) {
    TForm form(nullptr);
    form.SetBounds(40, 40, 300, 160);
    auto* box = new TGroupBox(&form);
    box->SetParent(&form);
    box->SetBounds(10, 10, 260, 100);
    auto* label = new TLabel(&form);
    label->SetParent(box);
    label->SetAutoSize(false);
    label->SetBounds(20, 30, 80, 20);
    auto* menu = new TPopupMenu(&form);
    menu->Items()->AddItem("Change");
    int popups = 0;
    menu->OnPopup = [&](TObject*) { ++popups; };
    box->SetPopupMenu(menu);
    label->SetPopupMenu(menu);
    form.Show();
    Application->ProcessMessages();
    HWND h = box->Handle();
    // On the label: the child's menu, the label named as its component.
    SetTimer(nullptr, 0, 100, CloseOpenMenu);
    SendMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 35));
    SendMessageW(h, WM_RBUTTONUP, 0, MAKELPARAM(30, 35));
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(menu->PopupComponent(), label);
    // Beside it, on the box itself.
    SetTimer(nullptr, 0, 100, CloseOpenMenu);
    SendMessageW(h, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(200, 80));
    SendMessageW(h, WM_RBUTTONUP, 0, MAKELPARAM(200, 80));
    EXPECT_EQ(popups, 2);
    EXPECT_EQ(menu->PopupComponent(), box);
}

TEST_F(ControlsTest, ButtonsReportClicksFromTheSystemControl) {
    TForm form(nullptr);
    auto* check = new TCheckBox(&form);
    check->SetParent(&form);
    auto* button = new TButton(&form);
    button->SetParent(&form);
    button->SetTop(40);
    int checkClicks = 0, buttonClicks = 0;
    check->OnClick = [&](TObject*) { ++checkClicks; };
    button->OnClick = [&](TObject*) { ++buttonClicks; };
    form.Handle();
    SendMessageW(check->Handle(), BM_CLICK, 0, 0);
    EXPECT_TRUE(check->Checked());
    EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    check->SetChecked(false);
    EXPECT_EQ(checkClicks, 2);
    EXPECT_EQ(SendMessageW(check->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(buttonClicks, 1);
}

TEST_F(ControlsTest, RadioButtonsUnderOneParentExcludeEachOther) {
    TForm form(nullptr);
    auto* group = new TRadioGroup(&form);
    group->SetParent(&form);
    group->Items().Add("one");
    group->Items().Add("two");
    group->Items().Add("three");
    group->SetItemIndex(0);
    int clicks = 0;
    group->OnClick = [&](TObject*) { ++clicks; };
    form.Handle();
    SendMessageW(group->Buttons(2)->Handle(), BM_CLICK, 0, 0);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_FALSE(group->Buttons(0)->Checked());
    EXPECT_EQ(clicks, 1);
}

// Notices the library hands over by a direct call carry pointers; from
// another thread or program they are dropped, and only a form that asked to
// be released is deleted by CM_RELEASE.
namespace {
struct TDeathNote : TButton {
    using TButton::TButton;
    bool* Gone = nullptr;
    ~TDeathNote() override {
        if (Gone) *Gone = true;
    }
};
} // namespace

TEST_F(ControlsTest, PointerNoticesAndReleaseFromElsewhereAreDropped) {
    auto* form = new TForm(nullptr);
    form->SetBounds(40, 40, 200, 120);
    bool buttonGone = false;
    auto* button = new TDeathNote(form);
    button->Gone = &buttonGone;
    button->SetParent(form);
    form->Show();
    std::vector<UINT> heard;
    TWndMethod saved = form->WindowProc;
    form->WindowProc = [&](TMessage& m) {
        // Only what the other thread sent (the form hears the library's
        // own notices meanwhile, by direct calls).
        if (m.Msg >= CM_BASE && m.Msg <= 0xBFFF && m.WParam == 0x10 && m.LParam == 0x10) heard.push_back(m.Msg);
        saved(m);
    };
    const HWND wnd = form->Handle(), buttonWnd = button->Handle();
    std::atomic<bool> done{false};
    std::thread other([&] {
        // Pointers that point nowhere: following any of them would crash.
        for (UINT msg : {CM_CONTROLLISTCHANGE, CM_MOUSEENTER, CM_MOUSELEAVE, CN_NOTIFY, CN_DRAWITEM, CN_MEASUREITEM})
            SendMessageW(wnd, msg, WPARAM(0x10), LPARAM(0x10));
        PostMessageW(wnd, CM_RELEASE, 0, 0);
        PostMessageW(buttonWnd, CM_RELEASE, 0, 0);
        done = true;
    });
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Application->ProcessMessages();
    }
    other.join();
    Application->ProcessMessages();
    EXPECT_TRUE(heard.empty());
    EXPECT_FALSE(buttonGone);
    EXPECT_TRUE(IsWindow(wnd));
    EXPECT_TRUE(IsWindow(buttonWnd));

    // The form's own Release still works.
    form->WindowProc = saved;
    form->Release();
    Application->ProcessMessages();
    EXPECT_TRUE(buttonGone);
    EXPECT_FALSE(IsWindow(wnd));
}

TEST_F(ControlsTest, ExceptionInAHandlerGoesToOnExceptionNotThroughUser32) {
    TForm form(nullptr);
    auto* button = new TButton(&form);
    button->SetParent(&form);
    button->OnClick = [](TObject*) { throw EConvertError("bad number"); };
    std::string caught;
    TObject* sender = nullptr;
    auto saved = Application->OnException;
    Application->OnException = [&](TObject* s, const std::exception& e) {
        caught = e.what();
        sender = s;
    };
    SendMessageW(button->Handle(), BM_CLICK, 0, 0);
    Application->OnException = saved;
    EXPECT_EQ(caught, "bad number");
    EXPECT_NE(sender, nullptr);
}

TEST_F(ControlsTest, AnErrorThatComesWhileAnotherIsShownIsReportedAfterIt) {
    // The first report runs a message loop (its message box); a second
    // handler that fails meanwhile must not go unreported.
    TForm form(nullptr);
    auto* first = new TButton(&form);
    first->SetParent(&form);
    auto* second = new TButton(&form);
    second->SetParent(&form);
    first->OnClick = [](TObject*) { throw EConvertError("first"); };
    second->OnClick = [](TObject*) { throw EConvertError("second"); };
    std::vector<std::string> reported;
    auto saved = Application->OnException;
    Application->OnException = [&](TObject*, const std::exception& e) {
        reported.push_back(e.what());
        if (reported.size() == 1)
            SendMessageW(second->Handle(), BM_CLICK, 0, 0);
    };
    SendMessageW(first->Handle(), BM_CLICK, 0, 0);
    Application->OnException = saved;
    EXPECT_EQ(reported, (std::vector<std::string>{"first", "second"}));
}

TEST_F(ControlsTest, ListsKeepTheirItemsAcrossWindowRecreation) {
    TForm form(nullptr);
    auto* combo = new TComboBox(&form);
    combo->SetParent(&form);
    combo->SetStyle(csDropDownList);
    combo->Items().Add("Größe");
    combo->Items().Add("two");
    form.Handle();
    combo->SetItemIndex(0);
    EXPECT_EQ(combo->Text(), "Größe");
    combo->SetSorted(true); // recreates the window
    EXPECT_EQ(SendMessageW(combo->Handle(), CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(combo->ItemIndex(), 0);
    auto* list = new TListBox(&form);
    list->SetParent(&form);
    list->Items().Add("a");
    list->Items().Insert(0, "b");
    EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCOUNT, 0, 0), 2);
    list->Items().Delete(0);
    EXPECT_EQ(list->Items().Get(0), "a");
    EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCOUNT, 0, 0), 1);
}

TEST_F(ControlsTest, ADroppedDownComboListWearsTheCombosColours) {
    // The list of a drop-down combo box is a window of the system's, not a
    // control of ours: it still asks for the combo's colours.
    constexpr COLORREF kBack = RGB(20, 60, 30), kText = RGB(230, 220, 100);
    TForm form(nullptr);
    form.SetBounds(100, 100, 300, 200);
    auto* combo = new TComboBox(&form);
    combo->SetParent(&form);
    combo->SetStyle(csDropDownList);
    combo->SetBounds(10, 10, 150, 24);
    combo->SetColor(TColor(kBack));
    combo->Font().SetColor(TColor(kText));
    for (const char* item : {"one", "two", "three"}) combo->Items().Add(item);
    form.Show();
    Application->ProcessMessages();
    SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetComboBoxInfo(combo->Handle(), &info));
    ASSERT_TRUE(IsWindowVisible(info.hwndList));
    UpdateWindow(info.hwndList);
    Application->ProcessMessages();
    RECT item{};
    ASSERT_NE(SendMessageW(info.hwndList, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item)), LB_ERR);
    HDC dc = GetDC(info.hwndList);
    // Right of the text of an item not selected: the list's background.
    const COLORREF back = GetPixel(dc, item.right - 3, (item.top + item.bottom) / 2);
    ReleaseDC(info.hwndList, dc);
    SendMessageW(combo->Handle(), CB_SHOWDROPDOWN, FALSE, 0);
    EXPECT_EQ(back, kBack);
    // The list's text colour comes with its background.
    const HDC probe = CreateCompatibleDC(nullptr);
    SendMessageW(combo->Handle(), WM_CTLCOLORLISTBOX, reinterpret_cast<WPARAM>(probe),
                 reinterpret_cast<LPARAM>(info.hwndList));
    EXPECT_EQ(GetTextColor(probe), kText);
    DeleteDC(probe);
}

TEST_F(ControlsTest, GaugePercentAndPageControlPages) {
    TForm form(nullptr);
    auto* gauge = new TGauge(&form);
    gauge->SetParent(&form);
    gauge->SetProgress(150);
    EXPECT_EQ(gauge->Progress(), 100);
    gauge->SetMaxValue(3);
    gauge->SetProgress(1);
    EXPECT_EQ(gauge->PercentDone(), 33);
    gauge->SetMinValue(3);
    EXPECT_EQ(gauge->PercentDone(), 0);

    auto* pc = new TPageControl(&form);
    pc->SetParent(&form);
    auto* a = new TTabSheet(&form);
    a->SetPageControl(pc);
    a->SetCaption("A");
    auto* b = new TTabSheet(&form);
    b->SetPageControl(pc);
    b->SetCaption("B");
    form.Handle();
    EXPECT_EQ(pc->ActivePage(), a);
    EXPECT_EQ(SendMessageW(pc->Handle(), TCM_GETITEMCOUNT, 0, 0), 2);
    pc->SetActivePageIndex(1);
    EXPECT_TRUE(b->Visible());
    EXPECT_FALSE(a->Visible());
    b->SetTabVisible(false);
    EXPECT_EQ(SendMessageW(pc->Handle(), TCM_GETITEMCOUNT, 0, 0), 1);
}

namespace {

// A parent whose erase has its windowed children paint at once, as a skin
// that lays its picture under them does.
class TRepaintingForm : public TForm {
public:
    using TForm::TForm;
    void WndProc(TMessage& m) override {
        TForm::WndProc(m);
        if (m.Msg != WM_ERASEBKGND) return;
        for (int i = 0; i < ControlCount(); ++i)
            if (auto* w = dynamic_cast<TWinControl*>(Controls(i)); w && w->HandleAllocated()) w->Repaint();
    }
};

// Records, at each paint, the width it knows against its window's.
class TWidthPainter : public TCustomControl {
public:
    using TCustomControl::TCustomControl;
    std::vector<std::pair<int, int>> Paints; // known width, window width

protected:
    void Paint() override {
        RECT r{};
        GetClientRect(Handle(), &r);
        Paints.emplace_back(Width(), int(r.right));
    }
};

} // namespace

// A control laid out again paints at the size it has: no paint comes while
// its window has the new size and the control still knows the old one (which
// would take the window's dirty area and leave the picture of before), and
// the last paint is at the new size.
TEST_F(ControlsTest, AControlLaidOutAgainPaintsOnlyAtTheSizeItKnows) {
    TRepaintingForm form(nullptr);
    form.SetBounds(40, 40, 320, 200);
    auto* box = new TWidthPainter(&form);
    box->SetParent(&form);
    box->SetBounds(10, 10, 240, 120);
    auto* beside = new TWidthPainter(&form);
    beside->SetParent(&form);
    beside->SetBounds(260, 10, 40, 120);
    form.Show();
    Application->ProcessMessages();
    for (const int width : {180, 230, 100}) {
        SCOPED_TRACE(width);
        box->Paints.clear();
        box->SetWidth(width); // narrower uncovers the parent, which erases
        beside->SetLeft(width + 20);
        for (int i = 0; i < 1000 && (GetUpdateRect(box->Handle(), nullptr, FALSE) ||
                                     GetUpdateRect(form.Handle(), nullptr, FALSE));
             ++i)
            Application->ProcessMessages();
        ASSERT_FALSE(box->Paints.empty());
        for (const auto& [known, real] : box->Paints) EXPECT_EQ(known, real);
        EXPECT_EQ(box->Paints.back().second, width);
    }
}

namespace {

// Fills its whole client with one colour, as a skinned page or box lays its
// picture over all of it.
template <class Base> class TFilled : public Base {
public:
    TFilled(TComponent* owner, COLORREF color) : Base(owner), color_(color) {}

protected:
    void Paint() override {
        this->Canvas().Brush().SetColor(TColor(color_));
        this->Canvas().FillRect(TRect(0, 0, this->Width(), this->Height()));
    }

private:
    COLORREF color_;
};

} // namespace

// A container that fills its whole client leaves the windowed controls it
// holds in sight when it is painted without them: on its window's own DC, as
// a skin draws a fade's frame or has a parent's children paint from its
// erase, with no paint of the children to follow.
TEST_F(ControlsTest, AContainerPaintedAloneKeepsTheControlsItHolds) {
    constexpr COLORREF kBack = RGB(200, 30, 40), kChild = RGB(30, 160, 60);
    TForm form(nullptr);
    form.SetBounds(60, 60, 360, 260);
    auto* pages = new TPageControl(&form);
    pages->SetParent(&form);
    pages->SetBounds(10, 10, 300, 200);
    auto* sheet = new TFilled<TTabSheet>(&form, kBack);
    sheet->SetPageControl(pages);
    sheet->SetCaption("Page");
    auto* box = new TFilled<TGroupBox>(&form, kBack);
    box->SetParent(&form);
    box->SetBounds(10, 10, 300, 200);
    auto* panel = new TFilled<TPanel>(&form, kBack);
    panel->SetParent(&form);
    panel->SetBounds(10, 10, 300, 200);
    struct Holder {
        const char* name;
        TWinControl* outer; // what shows it
        TWinControl* container;
    };
    const Holder holders[] = {{"tab sheet", pages, sheet}, {"group box", box, box}, {"panel", panel, panel}};
    form.Show();
    SetForegroundWindow(form.Handle());
    for (const Holder& h : holders) {
        SCOPED_TRACE(h.name);
        for (const Holder& other : holders) other.outer->SetVisible(other.outer == h.outer);
        auto* child = new TFilled<TCustomControl>(&form, kChild);
        child->SetParent(h.container);
        child->SetBounds(20, 40, 60, 30);
        for (int i = 0; i < 1000 && (GetUpdateRect(h.container->Handle(), nullptr, FALSE) ||
                                     GetUpdateRect(child->Handle(), nullptr, FALSE));
             ++i)
            Application->ProcessMessages();
        HDC own = GetDC(h.container->Handle());
        SendMessageW(h.container->Handle(), WM_PAINT, WPARAM(own), 0);
        ReleaseDC(h.container->Handle(), own);
        // An empty queue hands what was drawn to the screen.
        Application->ProcessMessages();
        GdiFlush();
        POINT inChild{30, 15}, beside{5, 5};
        ClientToScreen(child->Handle(), &inChild);
        ClientToScreen(h.container->Handle(), &beside);
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(GetPixel(screen, inChild.x, inChild.y), kChild);
        EXPECT_EQ(GetPixel(screen, beside.x, beside.y), kBack); // the container did paint
        ReleaseDC(nullptr, screen);
        delete child;
    }
}
