// An adapter freed by a message it passed on: the skin taken away (its
// removal sent, the skin switched off, the skin changed to one that cannot
// be used) while a frame or a form shows scroll bars. The message reaches
// the frame's adapter or the form's provider through the scroll adapter on
// the window, and they free the scroll adapter while its procedure is still
// running. The same when a control's, a dialog's or a menu's own handling
// takes the skin away. Freed memory is watched: the procedures must not
// touch the adapter afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "FreedMemory.h"
#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

enum class TSkinGoes { RemovedMessage, SwitchedOff, ChangedToNone };

std::string NameOf(const ::testing::TestParamInfo<TSkinGoes>& p)
{
    switch (p.param) {
    case TSkinGoes::RemovedMessage: return "RemovedMessage";
    case TSkinGoes::SwitchedOff: return "SwitchedOff";
    default: return "ChangedToNone";
    }
}

void ShowVerticalBar(HWND wnd)
{
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VSCROLL);
    SetScrollRange(wnd, SB_VERT, 0, 100, FALSE);
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The window goes on working without its adapter: its bar and frame are the
// system's again.
void UseAfterwards(HWND wnd)
{
    SendMessageW(wnd, WM_VSCROLL, SB_LINEDOWN, 0);
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    tw::Application->ProcessMessages();
    EXPECT_EQ(TacMainWnd::Of(wnd), nullptr);
}

// A frame with a vertical bar on a form of its own, its adapter skinning it
// with the program's skin.
class FrameAdapterLifetime : public ::testing::TestWithParam<TSkinGoes> {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Frame with a bar");
        form->SetBounds(60, 60, 400, 300);
        form->Show();
        frame = new tw::TFrame(form);
        frame->SetParent(form);
        frame->SetBounds(20, 20, 200, 150);
        ShowVerticalBar(frame->Handle());
        adapter = new TsFrameAdapter(frame);
        tw::Application->ProcessMessages();
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TFrame* frame = nullptr;
    TsFrameAdapter* adapter = nullptr;
};

TEST_P(FrameAdapterLifetime, TheScrollAdapterFreedByTheSkinsGoingIsNotTouchedAfterwards)
{
    const HWND wnd = frame->Handle();
    tw::test::TFreedMemoryWatch watch({sizeof(TacScrollWnd)});
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager));
    const TacScrollWnd* scroll = adapter->ScrollAdapter();
    ASSERT_NE(scroll, nullptr);
    ASSERT_EQ(TacMainWnd::Of(wnd), scroll);
    ASSERT_TRUE(watch.Watches(scroll));

    switch (GetParam()) {
    case TSkinGoes::RemovedMessage:
        SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(&manager));
        break;
    case TSkinGoes::SwitchedOff:
        // The manager tells every form, and the form its children.
        manager.SetActive(false);
        break;
    case TSkinGoes::ChangedToNone:
        // The frame's section is one the skin does not have.
        adapter->SkinData().SetSkinSection("NOSUCHSECTION");
        break;
    }
    tw::Application->ProcessMessages();
    EXPECT_EQ(adapter->ScrollAdapter(), nullptr);
    EXPECT_TRUE(watch.WasFreed(scroll)) << "the scroll adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(wnd);
    EXPECT_EQ(watch.Touches(), 0);
}

INSTANTIATE_TEST_SUITE_P(SkinGoes, FrameAdapterLifetime,
                         ::testing::Values(TSkinGoes::RemovedMessage, TSkinGoes::SwitchedOff, TSkinGoes::ChangedToNone),
                         NameOf);

// A skinned form (its provider from the form skinning) that shows a
// vertical bar of its own.
class FormAdapterLifetime : public ::testing::TestWithParam<TSkinGoes> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = test::ShowForm("Form with a bar", 80, 80, 360, 260);
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
        ASSERT_TRUE(provider->Skinned());
    }
    void TearDown() override
    {
        delete form;
        test::EndFormSkinning();
    }
    TsSkinManager manager;
    TsSkinManager none;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_P(FormAdapterLifetime, TheScrollAdapterFreedByTheSkinsGoingIsNotTouchedAfterwards)
{
    const HWND wnd = form->Handle();
    tw::test::TFreedMemoryWatch watch({sizeof(TacScrollWnd)});
    ShowVerticalBar(wnd);
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), reinterpret_cast<LPARAM>(&manager));
    const TacScrollWnd* scroll = provider->FormAdapter();
    ASSERT_NE(scroll, nullptr);
    ASSERT_EQ(TacMainWnd::Of(wnd), scroll);
    ASSERT_TRUE(watch.Watches(scroll));

    switch (GetParam()) {
    case TSkinGoes::RemovedMessage:
        SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(&manager));
        break;
    case TSkinGoes::SwitchedOff:
        manager.SetActive(false);
        break;
    case TSkinGoes::ChangedToNone:
        // The form is given a manager without a skin.
        none.SetActive(false);
        provider->SetSkinManager(&none);
        break;
    }
    tw::Application->ProcessMessages();
    EXPECT_FALSE(provider->Skinned());
    EXPECT_EQ(provider->FormAdapter(), nullptr);
    EXPECT_TRUE(watch.WasFreed(scroll)) << "the scroll adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(wnd);
    EXPECT_EQ(watch.Touches(), 0);
}

INSTANTIATE_TEST_SUITE_P(SkinGoes, FormAdapterLifetime,
                         ::testing::Values(TSkinGoes::RemovedMessage, TSkinGoes::SwitchedOff, TSkinGoes::ChangedToNone),
                         NameOf);

// A list of skins on a skinned form: a click on one takes the skin away
// at once, while the key that made it passes the list's scroll adapter.
class ControlAdapterLifetime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Skins");
        form->SetBounds(80, 80, 300, 260);
        list = new tw::TListBox(form);
        list->SetParent(form);
        list->SetBounds(10, 10, 200, 120);
        for (int i = 0; i < 40; ++i)
            list->Items().Add("skin " + std::to_string(i));
    }
    void TearDown() override
    {
        delete form;
        test::EndFormSkinning();
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TListBox* list = nullptr;
};

TEST_F(ControlAdapterLifetime, AListWhoseClickTakesTheSkinAwayLeavesItsFreedAdapterUntouched)
{
    int clicks = 0;
    list->OnClick = [&](tw::TObject*) {
        ++clicks;
        manager.SetActive(false);
    };
    tw::test::TFreedMemoryWatch watch({sizeof(TacScrollWnd)});
    form->Show();
    tw::Application->ProcessMessages();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    ASSERT_NE(provider->CtrlAdapter(), nullptr);
    const TacMainWnd* scroll = provider->CtrlAdapter()->AdapterOf(list->Handle());
    ASSERT_NE(scroll, nullptr);
    ASSERT_TRUE(watch.Watches(scroll));

    SetFocus(list->Handle());
    SendMessageW(list->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    tw::Application->ProcessMessages();
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(provider->Skinned());
    EXPECT_EQ(TacMainWnd::Of(list->Handle()), nullptr);
    EXPECT_TRUE(watch.WasFreed(scroll)) << "the list's adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(list->Handle());
}

// A system dialog with a vertical bar skinned by the window hook, whose own
// procedure takes the skin away while it handles a message its adapter
// passed on.
struct TSkinTakingDialog {
    static TSkinTakingDialog* Current;
    // The same for a field of the dialog.
    static TSkinTakingDialog* Field;
    UINT TakeOn = 0;
    // How often the message passes before it takes the skin.
    int Skip = 0;
    TsSkinManager* Manager = nullptr;
    WNDPROC Own = nullptr;
    int Taken = 0;
    LRESULT Handle(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == TakeOn && Manager && Manager->Active() && Skip-- <= 0) {
            ++Taken;
            Manager->SetActive(false);
        }
        return CallWindowProcW(Own, wnd, msg, wp, lp);
    }
};
TSkinTakingDialog* TSkinTakingDialog::Current = nullptr;
TSkinTakingDialog* TSkinTakingDialog::Field = nullptr;

LRESULT CALLBACK SkinTakingDialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return TSkinTakingDialog::Current->Handle(wnd, msg, wp, lp);
}

LRESULT CALLBACK SkinTakingFieldProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    return TSkinTakingDialog::Field->Handle(wnd, msg, wp, lp);
}

std::string MessageName(const ::testing::TestParamInfo<UINT>& p)
{
    switch (p.param) {
    case WM_SETTEXT: return "SetText";
    case WM_SIZE: return "Size";
    case WM_ENABLE: return "Enable";
    case WM_WINDOWPOSCHANGED: return "WindowPosChanged";
    default: return "KeyDown";
    }
}

class DialogAdapterLifetime : public ::testing::TestWithParam<UINT> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        TSkinTakingDialog::Current = &taking;
        taking.Manager = &manager;
    }
    void TearDown() override
    {
        if (dialog)
            DestroyWindow(dialog);
        TSkinTakingDialog::Current = TSkinTakingDialog::Field = nullptr;
        test::EndFormSkinning();
    }
    // Made and skinned while the watch is on.
    void MakeDialog()
    {
        dialog = CreateWindowExW(0, L"#32770", L"Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VSCROLL, 70, 70, 340,
                                 230, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
        SetScrollRange(dialog, SB_VERT, 0, 100, FALSE);
        taking.Own = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinTakingDialogProc)));
        ASSERT_TRUE(HookActivatedWindow(dialog));
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        tw::Application->ProcessMessages();
        ASSERT_NE(FindProvider(dialog), nullptr);
        ASSERT_NE(dynamic_cast<TacDialogWnd*>(TacMainWnd::Of(dialog)), nullptr);
    }
    // A list on the dialog that takes the skin away as taking says, with
    // its adapter.
    TacScrollWnd* MakeField()
    {
        list = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 10, 10,
                               200, 120, dialog, nullptr, nullptr, nullptr);
        if (!list)
            return nullptr;
        for (int i = 0; i < 40; ++i)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"item"));
        TSkinTakingDialog::Field = &field;
        field.Manager = &manager;
        field.Own = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinTakingFieldProc)));
        if (TacProvider* p = FindProvider(dialog))
            AdaptDialogChildren(*p, dialog);
        return dynamic_cast<TacEditWnd*>(TacMainWnd::Of(list));
    }
    void PressedBarGoes(bool ownBar);
    // Presses the bar's lower arrow, and lets its repeat come once.
    static void PressAndRepeat(HWND wnd, TacScrollWnd& adapter)
    {
        adapter.UpdateScrollState(false);
        const TacScrollBarState bar = adapter.Bar(true);
        ASSERT_TRUE(bar.Visible && bar.Enabled);
        RECT wr;
        GetWindowRect(wnd, &wr);
        const POINT at{wr.left + (bar.Rect.Left + bar.Rect.Right) / 2, wr.top + bar.Rect.Bottom - 3};
        SendMessageW(wnd, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(at.x, at.y));
        ASSERT_EQ(adapter.PressedPart(), spLineMax);
        ASSERT_EQ(GetCapture(), wnd);
        SendMessageW(wnd, WM_TIMER, ScrollRepeatTimer, 0);
    }
    TsSkinManager manager;
    TSkinTakingDialog taking;
    TSkinTakingDialog field;
    HWND dialog = nullptr;
    HWND list = nullptr;
};

TEST_P(DialogAdapterLifetime, TheDialogsAdapterFreedByItsOwnProcedureIsNotTouchedAfterwards)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacDialogWnd)});
    MakeDialog();
    const TacMainWnd* adapter = TacMainWnd::Of(dialog);
    ASSERT_TRUE(watch.Watches(adapter));
    taking.TakeOn = GetParam();
    switch (GetParam()) {
    case WM_SETTEXT:
        SetWindowTextW(dialog, L"Renamed");
        break;
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
        SetWindowPos(dialog, nullptr, 0, 0, 360, 250, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    case WM_ENABLE:
        EnableWindow(dialog, FALSE);
        break;
    default:
        SendMessageW(dialog, GetParam(), VK_DOWN, 0);
        break;
    }
    tw::Application->ProcessMessages();
    EXPECT_EQ(taking.Taken, 1);
    EXPECT_EQ(FindProvider(dialog), nullptr);
    EXPECT_TRUE(watch.WasFreed(adapter)) << "the dialog's adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(dialog);
    EXPECT_EQ(watch.Touches(), 0);
}

INSTANTIATE_TEST_SUITE_P(Messages, DialogAdapterLifetime,
                         ::testing::Values(UINT(WM_SETTEXT), UINT(WM_SIZE), UINT(WM_ENABLE), UINT(WM_WINDOWPOSCHANGED),
                                           UINT(WM_KEYDOWN)),
                         MessageName);

// The skinned system menu of the dialog is open when the skin is switched
// off (the program's timers and hand-overs run in the menu's loop): the
// menu goes with the dialog's adapter and must not be touched when its loop
// returns.
TEST_F(DialogAdapterLifetime, TheDialogsSystemMenuFreedWhileItIsOpenIsNotTouchedWhenItCloses)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacDialogWnd), sizeof(TacSystemMenu)});
    MakeDialog();
    const auto* adapter = dynamic_cast<const TacDialogWnd*>(TacMainWnd::Of(dialog));
    ASSERT_NE(adapter, nullptr);
    const TacSystemMenu* menu = adapter->SysMenu();
    ASSERT_TRUE(watch.Watches(adapter));
    ASSERT_TRUE(watch.Watches(menu));
    SetForegroundWindow(dialog);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    bool opened = false;
    // The skin goes once the menu shows; the menu is then closed until it is
    // gone: on a busy machine the popup can show before its loop takes an
    // EndMenu, and a probe that stopped after one would leave it open.
    test::TModalProbe probe([&] {
        const HWND popup = test::VisibleThreadWindow(L"#32768");
        if (!opened) {
            if (!popup)
                return false;
            opened = true;
            manager.SetActive(false);
        }
        if (!popup)
            return true;
        EndMenu();
        return false;
    });
    probe.OnTimeout = [] { test::TModalProbe::EndModalLoops(); };
    RECT wr;
    GetWindowRect(dialog, &wr);
    SendMessageW(dialog, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, wr.top + 10));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(probe.TimedOut());
    EXPECT_EQ(FindProvider(dialog), nullptr);
    EXPECT_TRUE(watch.WasFreed(adapter)) << "the dialog's adapter was not freed";
    EXPECT_TRUE(watch.WasFreed(menu)) << "the dialog's system menu was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(dialog);
}

// The same without the test closing the menu: the menu goes with the skin,
// but not under the loop that shows it. It stays a menu until its loop has
// returned (the loop reads it once more when it ends), and the loop ends by
// itself: nobody else would close a menu whose skin is gone.
TEST_F(DialogAdapterLifetime, TheDialogsSystemMenuOutlivesItsSkinOnlyUntilItsLoopEnds)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacSystemMenu)});
    MakeDialog();
    const auto* adapter = dynamic_cast<const TacDialogWnd*>(TacMainWnd::Of(dialog));
    ASSERT_NE(adapter, nullptr);
    const TacSystemMenu* menu = adapter->SysMenu();
    ASSERT_TRUE(watch.Watches(menu));
    const HMENU handle = const_cast<TacSystemMenu*>(menu)->Handle();
    SetForegroundWindow(dialog);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    bool opened = false, menuWhileOpen = false, stillOpen = false;
    test::TModalProbe probe([&] {
        if (!test::VisibleThreadWindow(L"#32768"))
            return false;
        opened = true;
        manager.SetActive(false);
        menuWhileOpen = IsMenu(handle) != FALSE;
        stillOpen = test::VisibleThreadWindow(L"#32768") != nullptr;
        return true;
    });
    // Only a menu that will not close is ended, at the deadline: the test
    // fails instead of hanging.
    test::TModalProbe guard([] { return false; }, 20000);
    RECT wr;
    GetWindowRect(dialog, &wr);
    SendMessageW(dialog, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(wr.left + 120, wr.top + 10));
    const bool guardEnded = guard.TimedOut();
    guard.Stop();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(opened);
    EXPECT_TRUE(menuWhileOpen) << "the menu was destroyed under its own loop";
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(guardEnded) << "the menu's loop did not end with its skin";
    EXPECT_EQ(test::VisibleThreadWindow(L"#32768"), nullptr);
    EXPECT_FALSE(IsMenu(handle));
    EXPECT_TRUE(watch.WasFreed(menu)) << "the dialog's system menu was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(dialog);
}

// A press on a scroll bar whose repeated scroll takes the skin away: the
// adapter goes while its repeat runs. It touches nothing of itself
// afterwards, and the press ends with it: the mouse is given back and the
// repeat stops (a capture left behind would take every click of the
// program).
void DialogAdapterLifetime::PressedBarGoes(bool ownBar)
{
    tw::test::TFreedMemoryWatch watch({ownBar ? sizeof(TacDialogWnd) : sizeof(TacEditWnd)});
    MakeDialog();
    TacScrollWnd* adapter = ownBar ? dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(dialog)) : MakeField();
    ASSERT_NE(adapter, nullptr);
    ASSERT_TRUE(watch.Watches(adapter));
    const HWND wnd = ownBar ? dialog : list;
    TSkinTakingDialog& taker = ownBar ? taking : field;
    // The press scrolls once, the repeat's scroll takes the skin.
    taker.TakeOn = WM_VSCROLL;
    taker.Skip = 1;
    PressAndRepeat(wnd, *adapter);
    tw::Application->ProcessMessages();
    EXPECT_EQ(taker.Taken, 1);
    EXPECT_TRUE(watch.WasFreed(adapter)) << "the adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    EXPECT_NE(GetCapture(), wnd) << "the mouse is still held for the bar";
    EXPECT_FALSE(KillTimer(wnd, ScrollRepeatTimer)) << "the press still repeats";
    ReleaseCapture();
}

TEST_F(DialogAdapterLifetime, APressedFieldBarWhoseScrollTakesTheSkinAwayEndsWithItsAdapter)
{
    PressedBarGoes(false);
}

TEST_F(DialogAdapterLifetime, APressedDialogBarWhoseScrollTakesTheSkinAwayEndsWithItsAdapter)
{
    PressedBarGoes(true);
}

// The dialog's erase tells its children to take their background again; a
// child whose own handling of that takes the skin away frees the dialog's
// adapter while it erases.
TEST_F(DialogAdapterLifetime, TheDialogsAdapterFreedByAChildWhileItErasesIsNotTouchedAfterwards)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacDialogWnd)});
    MakeDialog();
    const TacMainWnd* adapter = TacMainWnd::Of(dialog);
    ASSERT_TRUE(watch.Watches(adapter));
    ASSERT_NE(MakeField(), nullptr);
    tw::Application->ProcessMessages();
    field.TakeOn = SM_ALPHACMD;
    HDC dc = GetDC(dialog);
    SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    ReleaseDC(dialog, dc);
    tw::Application->ProcessMessages();
    EXPECT_EQ(field.Taken, 1);
    EXPECT_TRUE(watch.WasFreed(adapter)) << "the dialog's adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    UseAfterwards(dialog);
}

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
