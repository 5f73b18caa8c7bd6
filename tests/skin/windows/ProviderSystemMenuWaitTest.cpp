// A click on a skinned form's icon: by default the system menu waits for the
// second click of a double click (which closes the form instead); the skin
// manager can have it open at once.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinTestForms.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A popup menu came up while the click was handled: its loop filtered a
// message, or the guard had to end it.
bool g_menuCame = false;
void CALLBACK EndMenuGuard(HWND, UINT, UINT_PTR, DWORD)
{
    g_menuCame = true;
    EndMenu();
}
LRESULT CALLBACK MenuLoopSeen(int code, WPARAM wp, LPARAM lp)
{
    if (code == MSGF_MENU)
        g_menuCame = true;
    return CallNextHookEx(nullptr, code, wp, lp);
}

class ProviderSystemMenuWait : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = test::ShowForm("Icon", 80, 80, 320, 220);
        ASSERT_NE(FindProvider(form), nullptr);
        wnd = form->Handle();
    }
    void TearDown() override
    {
        delete form;
        test::EndFormSkinning();
    }
    // Shown again (the menu's loop may have let a queued click through), a
    // double click on the icon closes the form.
    void DoubleClickOnTheIconCloses()
    {
        tw::Application->ProcessMessages();
        form->Show();
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsWindowVisible(wnd));
        SendMessageW(wnd, WM_NCLBUTTONDBLCLK, HTSYSMENU, 0);
        tw::Application->ProcessMessages();
        EXPECT_FALSE(IsWindowVisible(wnd));
    }
    // A click on the icon while the second click of a double click already
    // waits in the queue; true when a menu came up. The queued click is
    // taken away again.
    bool ClickWithSecondQueued() { return ClickWithQueued(WM_NCLBUTTONDBLCLK); }
    // The same with another message of the mouse waiting instead (the
    // single click's own release).
    bool ClickWithQueued(UINT queued, WPARAM code = HTSYSMENU)
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        const LPARAM at = MAKELPARAM(wr.left + 10, wr.top + 10);
        PostMessageW(wnd, queued, code, at);
        g_menuCame = false;
        HHOOK seen = SetWindowsHookExW(WH_MSGFILTER, MenuLoopSeen, nullptr, GetCurrentThreadId());
        const UINT_PTR guard = SetTimer(nullptr, 0, 300, EndMenuGuard);
        SendMessageW(wnd, WM_NCLBUTTONDOWN, HTSYSMENU, at);
        KillTimer(nullptr, guard);
        if (seen)
            UnhookWindowsHookEx(seen);
        MSG left;
        while (PeekMessageW(&left, wnd, queued, queued, PM_REMOVE)) {
        }
        return g_menuCame;
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    HWND wnd = nullptr;
};

TEST_F(ProviderSystemMenuWait, TheMenuWaitsForADoubleClickUnlessTheManagerSaysNot)
{
    // A new manager waits: the queued second click wins, no menu.
    EXPECT_FALSE(manager.NoSystemMenuWait);
    EXPECT_FALSE(ClickWithSecondQueued());

    // Switched off: the menu comes at once, whatever follows.
    manager.NoSystemMenuWait = true;
    EXPECT_TRUE(ClickWithSecondQueued());

    // The double click itself still closes the form (the menu's loop may
    // have let the queued one through already: the form is shown again).
    ASSERT_NO_FATAL_FAILURE(DoubleClickOnTheIconCloses());
}

// The system's frame drawn (the skin only gives the menu): a double click on
// its icon closes the form as well, the single click's menu waits for it.
TEST_F(ProviderSystemMenuWait, UnderTheSystemsFrameTheMenuWaitsToo)
{
    TsSkinProvider* provider = FindProvider(form);
    provider->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(ClickWithSecondQueued());
    manager.NoSystemMenuWait = true;
    EXPECT_TRUE(ClickWithSecondQueued());
    manager.NoSystemMenuWait = false;

    ASSERT_NO_FATAL_FAILURE(DoubleClickOnTheIconCloses());
}

// Only the second click of a double click stops the menu: the release of the
// single click that opened it is no double click on the icon, wherever the
// mouse went meanwhile.
TEST_F(ProviderSystemMenuWait, ASingleClicksReleaseStillOpensTheMenu)
{
    for (bool systemFrame : {false, true}) {
        SCOPED_TRACE(systemFrame ? "the system's frame" : "the skin's frame");
        if (systemFrame) {
            FindProvider(form)->SetDrawNonClientArea(false);
            tw::Application->ProcessMessages();
        }
        EXPECT_TRUE(ClickWithQueued(WM_NCLBUTTONUP));
        EXPECT_TRUE(ClickWithQueued(WM_NCLBUTTONUP, HTCAPTION));
        // The double click is still seen through all of it.
        EXPECT_FALSE(ClickWithSecondQueued());
    }
    ASSERT_NO_FATAL_FAILURE(DoubleClickOnTheIconCloses());
}

} // namespace
} // namespace skin
#endif
