// A skinned form that shows its own scroll bars: the provider's client origin
// leaves the bars out (they are not frame), so the background it hands to
// its controls lines up with the client the system placed.
#include <gtest/gtest.h>

#include <windows.h>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class ProviderScrollOrigin : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        InstallFormSkinning();
        form = new tw::TForm(tw::Application);
        form->SetText("Scrolled");
        form->SetBounds(70, 70, 340, 260);
    }
    void TearDown() override
    {
        delete form;
        UninstallFormSkinning();
        DefaultManager = nullptr;
    }
    // Where the system put the client, in window coordinates.
    static POINT SystemClientOrigin(HWND wnd)
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        POINT p{0, 0};
        ClientToScreen(wnd, &p);
        return POINT{p.x - wr.left, p.y - wr.top};
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
};

TEST_F(ProviderScrollOrigin, TheFormsScrollBarsAreNotCountedAsFrame)
{
    HWND wnd = form->Handle();
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VSCROLL | WS_HSCROLL);
    SetScrollRange(wnd, SB_VERT, 0, 500, FALSE);
    SetScrollRange(wnd, SB_HORZ, 0, 500, FALSE);
    SetWindowPos(wnd, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    form->Show();
    tw::Application->ProcessMessages();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->Skinned());
    TacScrollWnd* bars = provider->FormAdapter();
    ASSERT_NE(bars, nullptr);
    bars->UpdateScrollState(false);
    ASSERT_TRUE(bars->ShowsVertical());
    ASSERT_TRUE(bars->ShowsHorizontal());
    EXPECT_EQ(bars->VerticalWidth(), GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(bars->HorizontalHeight(), GetSystemMetrics(SM_CYHSCROLL));

    // Both bars take room right and below the client: the origin is the
    // system's, not half the bar further right.
    const POINT origin = SystemClientOrigin(wnd);
    EXPECT_EQ(provider->ClientOriginX(), origin.x);
    EXPECT_EQ(provider->ClientOriginY(), origin.y);
    TacBGInfo info;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.OffsetX, origin.x);
    EXPECT_EQ(info.OffsetY, origin.y);

    // The bars go: the origin stays where the system keeps the client.
    ShowScrollBar(wnd, SB_BOTH, FALSE);
    bars->UpdateScrollState(false);
    EXPECT_FALSE(bars->ShowsVertical());
    EXPECT_FALSE(bars->ShowsHorizontal());
    const POINT plain = SystemClientOrigin(wnd);
    EXPECT_EQ(provider->ClientOriginX(), plain.x);
    EXPECT_EQ(provider->ClientOriginY(), plain.y);
}

} // namespace
} // namespace skin
#endif
