// The skinned title of a form: where the caption text starts, which forms
// open a system menu on Alt+Space and where, and who owns the hint of a
// user title button.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that notes when its own procedure had Alt+Space.
class TKeyMenuForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    bool KeyMenuSeen = false;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_KEYMENU)
            KeyMenuSeen = true;
        tw::TForm::WndProc(m);
    }
};

// What a timer saw of the popup menu open while Alt+Space was handled.
struct TPopupSeen {
    bool Opened = false;
    RECT Rect{};
    bool FormHadItFirst = false;
    TKeyMenuForm* Form = nullptr;
};
TPopupSeen* g_seen = nullptr;

BOOL CALLBACK FindMenuWindow(HWND wnd, LPARAM out)
{
    wchar_t name[16] = {};
    GetClassNameW(wnd, name, 16);
    if (std::wstring(name) == L"#32768" && IsWindowVisible(wnd)) {
        *reinterpret_cast<HWND*>(out) = wnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK PopupProbe(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_seen)
        return;
    HWND popup = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindMenuWindow, reinterpret_cast<LPARAM>(&popup));
    if (!popup)
        return;
    if (g_seen->Opened) {
        // Closed until it is gone: a busy machine's menu can show before
        // its loop reads the keys, and one Escape may have gone before it.
        EndMenu();
        PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    g_seen->Opened = true;
    GetWindowRect(popup, &g_seen->Rect);
    g_seen->FormHadItFirst = g_seen->Form->KeyMenuSeen;
    PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
}

class ProviderCaptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
    }
    void TearDown() override { DefaultManager = nullptr; }
    TKeyMenuForm* MakeForm(tw::TBorderIcons icons)
    {
        auto* form = new TKeyMenuForm(tw::Application);
        form->SetText("Keys");
        form->SetBounds(150, 120, 360, 240);
        form->SetBorderIcons(icons);
        new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        return form;
    }
    // Alt+Space to the form; what popped up (closed again at once).
    TPopupSeen AltSpace(TKeyMenuForm* form)
    {
        TPopupSeen seen;
        seen.Form = form;
        g_seen = &seen;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, PopupProbe);
        SendMessageW(form->Handle(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
        // The menu opens in the command, or from what the command posted:
        // a menu that did not open when the queue is empty never will. The
        // deadline only ends a queue that never empties.
        const ULONGLONG until = GetTickCount64() + 20000;
        while (!seen.Opened && GetTickCount64() < until) {
            tw::Application->ProcessMessages();
            if (HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT)) == 0)
                break;
        }
        KillTimer(nullptr, timer);
        g_seen = nullptr;
        return seen;
    }

    TsSkinManager manager;
};

TEST_F(ProviderCaptionTest, AltSpaceOpensTheMenuOnlyWithACloseButtonBelowTheTitleAfterTheForm)
{
    TKeyMenuForm* plain = MakeForm(tw::TBorderIcons(tw::biSystemMenu | tw::biMinimize | tw::biMaximize));
    const TPopupSeen seen = AltSpace(plain);
    ASSERT_TRUE(seen.Opened);
    EXPECT_TRUE(seen.FormHadItFirst);
    // At the client's top-left corner: below the skinned title, not under
    // the title icon.
    POINT client{0, 0};
    ClientToScreen(plain->Handle(), &client);
    EXPECT_EQ(seen.Rect.left, client.x);
    EXPECT_EQ(seen.Rect.top, client.y);
    delete plain;

    // Designed without a system menu (a progress window, the patch form):
    // the form's procedure hears the key, and no menu comes.
    TKeyMenuForm* bare = MakeForm(tw::TBorderIcons(0));
    const TPopupSeen none = AltSpace(bare);
    EXPECT_FALSE(none.Opened);
    EXPECT_TRUE(bare->KeyMenuSeen);
    delete bare;
}

// The title strip of a form's frame: which columns of it differ between two
// captions, the leftmost such column.
int FirstTextColumn(tw::TForm* form, TsSkinProvider* provider)
{
    int w = 0;
    form->SetText("");
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    const std::vector<uint32_t> empty = test::PrintFrame(form->Handle(), w);
    form->SetText("WWWW");
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    const std::vector<uint32_t> text = test::PrintFrame(form->Handle(), w);
    RECT wr;
    GetWindowRect(form->Handle(), &wr);
    POINT client{0, 0};
    ClientToScreen(form->Handle(), &client);
    const int titleBottom = client.y - wr.top;
    (void)provider;
    for (int x = 0; x < w / 2; ++x)
        for (int y = 0; y < titleBottom; ++y)
            if (empty[size_t(y) * w + x] != text[size_t(y) * w + x])
                return x;
    return -1;
}

TEST_F(ProviderCaptionTest, CaptionStartsAfterTheIconAndOneLeftInset)
{
    auto* form = new tw::TForm(tw::Application);
    form->SetBounds(100, 100, 420, 200);
    auto* provider = new TsSkinProvider(form);
    provider->SetShowAppIcon(true);
    provider->TitleIcon().Width = 20;
    form->Show();
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());
    RECT wr;
    GetWindowRect(form->Handle(), &wr);
    POINT client{0, 0};
    ClientToScreen(form->Handle(), &client);
    // Left frame, the skin's left inset, the 20-pixel icon, 4 pixels of
    // space; the first stroke of a bold "W" lies within a pixel of it.
    const int border = client.x - wr.left;
    const int expected = border + manager.SkinData.BILeft + 20 + 4;
    const int first = FirstTextColumn(form, provider);
    EXPECT_GE(first, expected);
    EXPECT_LE(first, expected + 1);
    delete form;
}

TEST_F(ProviderCaptionTest, AButtonHintBelongsToItsProviderAlone)
{
    const int before = tw::Application->ComponentCount();
    auto* form = new tw::TForm(tw::Application);
    form->SetText("Hint");
    form->SetBounds(100, 100, 400, 200);
    auto* provider = new TsSkinProvider(form);
    TsTitleButton& pin = provider->TitleButtons().Add();
    pin.Hint = "Pin the window";
    form->Show();
    tw::Application->ProcessMessages();
    SendSkinCommand(form->Handle(), AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    int w = 0;
    test::PrintFrame(form->Handle(), w);
    const TRect r = provider->Buttons().User.at(0);
    ASSERT_GT(r.Right, r.Left);
    test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    ASSERT_NE(provider->ButtonHint(), nullptr);
    ASSERT_TRUE(IsWindowVisible(provider->ButtonHint()->Handle()));
    // Only the form is the application's: at the end of the program the
    // application deletes its components last first, and the shown hint
    // must not be among them.
    ASSERT_EQ(tw::Application->ComponentCount(), before + 1);
    EXPECT_EQ(provider->ButtonHint()->Owner(), nullptr);
    HWND hint = provider->ButtonHint()->Handle();
    while (tw::Application->ComponentCount() > before)
        delete tw::Application->Components(tw::Application->ComponentCount() - 1);
    EXPECT_FALSE(IsWindow(hint));
}

} // namespace
} // namespace skin

#endif
