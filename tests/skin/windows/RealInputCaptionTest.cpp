// A skinned form's caption buttons, title and system-menu icon driven by the
// pointer as the system delivers it (SendInput): between a press and its
// release the system asks the form for its hit code again, and the button
// must still act. Judged by the window's state and place, never by what was
// sent to it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "ModalProbe.h"
#include "RealInput.h"
#include "SkinTestForms.h"
#include "TitlePictures.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

using test::Click;
using test::Drag;
using test::Mouse;
using test::Park;
using test::WaitFor;

class RealInputCaptionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Pointer");
        form->SetBounds(160, 120, 420, 300);
        form->SetBorderIcons(tw::TBorderIcons(tw::biSystemMenu | tw::biMinimize | tw::biMaximize));
        new TsSkinProvider(form);
        form->Show();
        wnd = form->Handle();
        SetForegroundWindow(wnd);
        ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
        GetWindowRect(wnd, &start);
    }
    void TearDown() override
    {
        Park();
        delete form;
        DefaultManager = nullptr;
    }

    // The centre of the part of the title that answers code (screen
    // coordinates).
    POINT Find(LRESULT code) const { return test::FindHitCode(wnd, code, 60); }

    RECT Rect() const
    {
        RECT r;
        GetWindowRect(wnd, &r);
        return r;
    }
    static bool SameRect(const RECT& a, const RECT& b)
    {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    HWND wnd = nullptr;
    RECT start{};
};

TEST_F(RealInputCaptionTest, MaximizeRestoreAndMinimizeByClicks)
{
    const POINT max = Find(HTMAXBUTTON);
    ASSERT_GE(max.x, 0);
    Click(max);
    EXPECT_TRUE(WaitFor([&] { return IsZoomed(wnd) != FALSE; })) << "maximize";
    Park();
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
    // The same place of a zoomed form is its restore button.
    const POINT restore = Find(HTMAXBUTTON);
    ASSERT_GE(restore.x, 0);
    Click(restore);
    EXPECT_TRUE(WaitFor([&] { return !IsZoomed(wnd) && SameRect(Rect(), start); })) << "restore";
    Park();
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));

    const POINT min = Find(HTMINBUTTON);
    ASSERT_GE(min.x, 0);
    Click(min);
    EXPECT_TRUE(WaitFor([&] { return IsIconic(wnd) != FALSE; })) << "minimize";
    ShowWindow(wnd, SW_RESTORE);
}

TEST_F(RealInputCaptionTest, TitleDragMovesTheFormAndCloseClosesIt)
{
    const POINT title = Find(HTCAPTION);
    ASSERT_GE(title.x, 0);
    Drag(title, {title.x + 60, title.y + 40}, 6);
    EXPECT_TRUE(WaitFor([&] {
        const RECT r = Rect();
        return r.left == start.left + 60 && r.top == start.top + 40 && r.right - r.left == start.right - start.left;
    })) << "now at " << Rect().left << "," << Rect().top;
    Park();
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));

    const POINT close = Find(HTCLOSE);
    ASSERT_GE(close.x, 0);
    Click(close);
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(wnd); })) << "close";
}

// One click on the title icon opens the system menu (closed again by a key,
// as a user would); the form stays as it was.
TEST_F(RealInputCaptionTest, ClickOnTheIconOpensTheSystemMenu)
{
    const POINT icon = Find(HTSYSMENU);
    ASSERT_GE(icon.x, 0);
    bool opened = false;
    test::TModalProbe probe([&] {
        if (!test::VisibleThreadWindow(L"#32768"))
            return false;
        opened = true;
        INPUT keys[2]{};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(2, keys, sizeof(INPUT));
        return true;
    });
    Click(icon);
    EXPECT_TRUE(WaitFor([&] { return opened && !test::VisibleThreadWindow(L"#32768"); }));
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_FALSE(IsZoomed(wnd) || IsIconic(wnd));
    EXPECT_TRUE(SameRect(Rect(), start));
}

// A maximized form's frame lies off the screen: a pointer thrown into the
// screen's top-right corner presses close (and it shows pressed), and the
// top row above the restore button is that button's.
TEST_F(RealInputCaptionTest, AMaximizedFormsButtonsTakeClicksAtTheScreensEdge)
{
    const int last = GetSystemMetrics(SM_CXSCREEN) - 1;
    ShowWindow(wnd, SW_MAXIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(wnd) && test::Settled(wnd); }));
    const POINT restore = Find(HTMAXBUTTON);
    ASSERT_GE(restore.x, 0);
    Click({restore.x, 0});
    EXPECT_TRUE(WaitFor([&] { return !IsZoomed(wnd); })) << "the top row above restore did not restore";
    Park();
    ShowWindow(wnd, SW_MAXIMIZE);
    ASSERT_TRUE(WaitFor([&] { return IsZoomed(wnd) && test::Settled(wnd); }));

    // What close looks like pressed: pressed on the button itself, off
    // which it is let go (nothing closes).
    const POINT close = Find(HTCLOSE);
    ASSERT_GE(close.x, 0);
    const auto look = [&] {
        RECT wr;
        GetWindowRect(wnd, &wr);
        const tw::test::ScreenShot shot = tw::test::TakeScreenShot(wnd);
        std::vector<uint32_t> part;
        for (int y = std::max(0, int(close.y - 6 - shot.Rect.top)); y < close.y + 6 - shot.Rect.top; ++y)
            for (int x = close.x - 6 - shot.Rect.left; x < close.x + 6 - shot.Rect.left; ++x)
                part.push_back(shot.Pixels[size_t(y * shot.Width() + x)]);
        return part;
    };
    const std::vector<uint32_t> normal = look();
    const auto press = [&](POINT at) {
        std::vector<INPUT> down{Mouse(MOUSEEVENTF_MOVE, at), Mouse(MOUSEEVENTF_LEFTDOWN)};
        SendInput(UINT(down.size()), down.data(), sizeof(INPUT));
    };
    press(close);
    ASSERT_TRUE(WaitFor([&] { return look() != normal; })) << "close never showed pressed";
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
    const std::vector<uint32_t> pressed = look();
    std::vector<INPUT> off{Mouse(MOUSEEVENTF_MOVE, {last / 2, 300}), Mouse(MOUSEEVENTF_LEFTUP)};
    SendInput(UINT(off.size()), off.data(), sizeof(INPUT));
    ASSERT_TRUE(WaitFor([&] { return look() == normal; }));
    ASSERT_TRUE(IsWindowVisible(wnd));

    // The same press in the screen's top-right corner.
    press({last, 0});
    EXPECT_TRUE(WaitFor([&] { return look() == pressed; })) << "close does not show pressed from the corner";
    std::vector<INPUT> up{Mouse(MOUSEEVENTF_LEFTUP)};
    SendInput(1, up.data(), sizeof(INPUT));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(wnd); })) << "the corner did not close the form";
}

// A system dialog skinned from outside answers real clicks on its buttons
// the same way.
TEST_F(RealInputCaptionTest, ADialogsMaximizeButtonTakesARealClick)
{
    form->Hide();
    HWND d = CreateWindowW(L"#32770", L"Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX,
                           150, 110, 360, 240, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(d, nullptr);
    ShowWindow(d, SW_SHOW);
    ASSERT_TRUE(HookActivatedWindow(d));
    SetForegroundWindow(d);
    std::swap(wnd, d);
    ASSERT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
    const POINT max = Find(HTMAXBUTTON);
    EXPECT_GE(max.x, 0);
    if (max.x >= 0) {
        Click(max);
        EXPECT_TRUE(WaitFor([&] { return IsZoomed(wnd) != FALSE; }));
        // Maximized, the screen's top row above its restore button is the
        // button's too.
        Park();
        EXPECT_TRUE(WaitFor([&] { return test::Settled(wnd); }));
        const POINT restore = Find(HTMAXBUTTON);
        EXPECT_GE(restore.x, 0);
        Click({restore.x, 0});
        EXPECT_TRUE(WaitFor([&] { return !IsZoomed(wnd); })) << "the top row above restore did not restore";
    }
    Park();
    DestroyWindow(wnd);
    wnd = d;
    UninstallDialogSkinning();
}

} // namespace
} // namespace skin

#endif
