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
    UINT TakeOn = 0;
    TsSkinManager* Manager = nullptr;
    WNDPROC Own = nullptr;
    int Taken = 0;
};
TSkinTakingDialog* TSkinTakingDialog::Current = nullptr;

LRESULT CALLBACK SkinTakingDialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    TSkinTakingDialog* d = TSkinTakingDialog::Current;
    if (d && msg == d->TakeOn && d->Manager && d->Manager->Active()) {
        ++d->Taken;
        d->Manager->SetActive(false);
    }
    return CallWindowProcW(d->Own, wnd, msg, wp, lp);
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
        TSkinTakingDialog::Current = nullptr;
        if (dialog)
            DestroyWindow(dialog);
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
    TsSkinManager manager;
    TSkinTakingDialog taking;
    HWND dialog = nullptr;
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
    test::TModalProbe probe([&] {
        const HWND popup = test::VisibleThreadWindow(L"#32768");
        if (!popup)
            return false;
        opened = true;
        manager.SetActive(false);
        EndMenu();
        return true;
    });
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

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
