// The program's own icon wherever a skinned title shows one: the
// application's window answers for it, a form without an icon of its own
// shows it, and so does a system dialog that has none (the file and message
// dialogs); judged on the screen against the icon in the program file.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "TitlePictures.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class TitleIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        own = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, cx, cy, 0));
        ASSERT_NE(own, nullptr) << "the test program carries no MAINICON";
        expected = test::IconPicture(own, cx, cy);
        ASSERT_GT(expected.OpaqueCount(), 0);
    }
    void TearDown() override
    {
        if (own)
            DestroyIcon(own);
        DefaultManager = nullptr;
    }
    // The program's icon shows in the left part of the window's title.
    ::testing::AssertionResult ShowsOwnIcon(HWND wnd)
    {
        const tw::test::ScreenShot shot = tw::test::RepaintedScreenShot(wnd);
        const RECT left{0, 0, std::min(shot.Width(), 80), std::min(shot.Height(), 40)};
        if (test::FindPicture(shot, expected, left).x < 0)
            return ::testing::AssertionFailure() << "the title does not show the program's icon";
        return ::testing::AssertionSuccess();
    }

    TsSkinManager manager;
    HICON own = nullptr;
    test::TCoverPicture expected;
};

TEST_F(TitleIconTest, TheApplicationsWindowAnswersWithTheProgramsIcon)
{
    const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
    const HICON big = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"MAINICON", IMAGE_ICON, cx, cy, 0));
    ASSERT_NE(big, nullptr);
    const test::TCoverPicture bigPicture = test::IconPicture(big, cx, cy);
    DestroyIcon(big);
    for (WPARAM kind : {WPARAM(ICON_SMALL), WPARAM(ICON_SMALL2), WPARAM(ICON_BIG)}) {
        const auto answer = reinterpret_cast<HICON>(SendMessageW(tw::Application->Handle(), WM_GETICON, kind, 0));
        ASSERT_NE(answer, nullptr) << "kind " << kind;
        const test::TCoverPicture& want = kind == ICON_BIG ? bigPicture : expected;
        EXPECT_EQ(test::IconPicture(answer, want.Width, want.Height).Pixels, want.Pixels) << "kind " << kind;
    }
}

TEST_F(TitleIconTest, AFormAndADialogWithoutIconsOfTheirOwnShowTheProgramsIcon)
{
    auto* form = new tw::TForm(tw::Application);
    form->SetText("Icon");
    form->SetBounds(100, 100, 380, 220);
    new TsSkinProvider(form);
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(ShowsOwnIcon(form->Handle())) << "form";
    // Minimized, the title keeps it.
    ShowWindow(form->Handle(), SW_MINIMIZE);
    SetWindowPos(form->Handle(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(ShowsOwnIcon(form->Handle())) << "minimized form";
    delete form;

    // A system dialog that has no icon.
    HWND d = CreateWindowExW(0, L"#32770", L"Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU, 90, 90, 360, 220, nullptr,
                             nullptr, nullptr, nullptr);
    TacProvider p;
    p.Handle = d;
    p.DialogAdapter = std::make_unique<TacDialogWnd>(d, &manager);
    p.DialogAdapter->Provider = &p;
    AdaptDialogChildren(p, d);
    p.DialogAdapter->InitDialogState();
    ShowWindow(d, SW_SHOW);
    UpdateWindow(d);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(ShowsOwnIcon(d)) << "dialog";
    p.DialogAdapter.reset();
    DestroyWindow(d);
}

// Forms with a dialog frame (the log window), with or without a system menu
// (the file merger has none), show no icon while restored; minimized, their
// title is all that shows of them and carries the program's icon as every
// minimized title does.
TEST_F(TitleIconTest, MinimizedDialogFramedFormsShowTheProgramsIcon)
{
    for (const tw::TBorderIcons icons : {tw::TBorderIcons(tw::biSystemMenu), tw::TBorderIcons(0)}) {
        SCOPED_TRACE(icons ? "with a system menu" : "without a system menu");
        auto* form = new tw::TForm(tw::Application);
        form->SetText("Dialog frame");
        form->SetBorderStyle(tw::bsDialog);
        form->SetBorderIcons(icons);
        form->SetBounds(100, 100, 380, 220);
        new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        EXPECT_FALSE(ShowsOwnIcon(form->Handle())) << "restored";
        ShowWindow(form->Handle(), SW_MINIMIZE);
        SetWindowPos(form->Handle(), nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsIconic(form->Handle()));
        EXPECT_TRUE(ShowsOwnIcon(form->Handle())) << "minimized";
        delete form;
    }
}

} // namespace
} // namespace skin

#endif
