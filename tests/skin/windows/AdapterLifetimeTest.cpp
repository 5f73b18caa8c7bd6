// An adapter freed by a message it passed on: the skin taken away (its
// removal sent, the skin switched off, the skin changed to one that cannot
// be used) while a frame or a form shows scroll bars. The message reaches
// the frame's adapter or the form's provider through the scroll adapter on
// the window, and they free the scroll adapter while its procedure is still
// running. Freed memory is watched: the procedure must not touch the
// adapter afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "FreedMemory.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

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
    tw::test::TFreedMemoryWatch watch(sizeof(TacScrollWnd));
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager));
    ASSERT_NE(adapter->ScrollAdapter(), nullptr);
    ASSERT_EQ(TacMainWnd::Of(wnd), adapter->ScrollAdapter());
    ASSERT_GE(watch.Watched(), 1);

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
    EXPECT_GE(watch.Freed(), 1) << "the scroll adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "the freed scroll adapter was touched";
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
    tw::test::TFreedMemoryWatch watch(sizeof(TacScrollWnd));
    ShowVerticalBar(wnd);
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), reinterpret_cast<LPARAM>(&manager));
    ASSERT_NE(provider->FormAdapter(), nullptr);
    ASSERT_EQ(TacMainWnd::Of(wnd), provider->FormAdapter());
    ASSERT_GE(watch.Watched(), 1);

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
    EXPECT_GE(watch.Freed(), 1) << "the scroll adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "the freed scroll adapter was touched";
    UseAfterwards(wnd);
    EXPECT_EQ(watch.Touches(), 0);
}

INSTANTIATE_TEST_SUITE_P(SkinGoes, FormAdapterLifetime,
                         ::testing::Values(TSkinGoes::RemovedMessage, TSkinGoes::SwitchedOff, TSkinGoes::ChangedToNone),
                         NameOf);

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
