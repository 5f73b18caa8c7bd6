// Fades and halos of the drawn caption buttons on a skinned form under Wine,
// driven by the messages the system sends: hit tests over a button, the
// mouse leaving the frame, a press. What the title shows is read back
// through WM_PRINT, which copies the provider's frame picture. The layered
// update of the halos goes through a recorder (the screen cannot be read).
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBAnimation.h"
#include "skin/windows/sSkinProvider.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

int g_layeredCalls = 0;
bool g_layered = true;

BOOL WINAPI RecordLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD)
{
    ++g_layeredCalls;
    return TRUE;
}
TUpdateLayeredWindow Entry() { return g_layered ? RecordLayered : nullptr; }

using TPixels = std::vector<uint32_t>;

class CaptionButtonFadeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        savedEntry = GlowLayeredEntry;
        GlowLayeredEntry = Entry;
        g_layered = true;
        g_layeredCalls = 0;
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        // The halos come from the skin's close-button glow.
        ASSERT_GT(manager.SkinData.BICloseGlow, 0);
        ASSERT_TRUE(manager.AllowGlowing());
    }
    void TearDown() override
    {
        delete form;
        ClearGlows(true);
        DefaultManager = nullptr;
        GlowLayeredEntry = savedEntry;
    }
    HWND Show()
    {
        form = new tw::TForm(tw::Application);
        form->SetText("Caption buttons");
        form->SetBounds(80, 80, 360, 240);
        provider = new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        // Lays the buttons out.
        test::NcHit(form->Handle(), 100, 10);
        return form->Handle();
    }
    TPoint CloseCentre() const
    {
        const TRect r = provider->Buttons().Close;
        return TPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    }
    void Hover() { EXPECT_EQ(test::NcHit(form->Handle(), CloseCentre().X, CloseCentre().Y), htClose); }
    void Leave() { SendMessageW(form->Handle(), WM_NCMOUSELEAVE, 0, 0); }
    const TacButtonFx& Close() const { return *provider->ButtonFx(htClose); }
    bool Fading() const { return Close().Animation && Close().Animation->Running(); }
    // Runs the message loop until the close button's fade is over.
    bool PumpUntilStill() { return PumpWhile([&] { return Fading(); }); }
    static bool PumpWhile(const std::function<bool()>& busy, DWORD limit = 3000)
    {
        const DWORD start = GetTickCount();
        while (busy()) {
            if (GetTickCount() - start > limit)
                return false;
            tw::Application->ProcessMessages();
            Sleep(2);
        }
        tw::Application->ProcessMessages();
        return true;
    }
    // The close button as the frame picture holds it now.
    TPixels Shown() const
    {
        int w = 0;
        const std::vector<uint32_t> frame = test::PrintFrame(form->Handle(), w);
        const TRect r = provider->Buttons().Close;
        TPixels out;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                out.push_back(frame[size_t(y) * size_t(w) + size_t(x)]);
        return out;
    }
    // No timer of the program is left to fire. A timer of the test's own,
    // of several fade intervals, is set on the same window; until it has
    // fired twice every fade timer still alive would have fired too. Any
    // other timer seen on the way is one left behind. The test's timer goes
    // on every path.
    static bool NoTimerPending()
    {
        constexpr UINT_PTR kWitness = 0x7E57;
        const HWND app = tw::Application->Handle();
        if (!SetTimer(app, kWitness, 4 * SBAnimationInterval, nullptr))
            return false;
        struct TKill {
            HWND Wnd;
            ~TKill() { KillTimer(Wnd, kWitness); }
        } kill{app};
        const ULONGLONG deadline = GetTickCount64() + 5000;
        int witnessed = 0;
        while (witnessed < 2) {
            if (GetTickCount64() > deadline)
                return false;
            MSG msg;
            if (!PeekMessageW(&msg, app, WM_TIMER, WM_TIMER, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_TIMER);
                continue;
            }
            if (msg.wParam != kWitness)
                return false;
            ++witnessed;
        }
        return true;
    }
    static int FadeComponents(const tw::TComponent& owner)
    {
        int n = 0;
        for (int i = 0; i < owner.ComponentCount(); ++i)
            n += dynamic_cast<TacSBAnimation*>(owner.Components(i)) ? 1 : 0;
        return n;
    }

    TUpdateLayeredWindow (*savedEntry)() = nullptr;
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr; // owned by the form
};

TEST_F(CaptionButtonFadeTest, HoverFadesInToTheHotPictureWithItsHaloAndLeavingFadesBack)
{
    Show();
    const TPixels normal = Shown();
    ASSERT_FALSE(normal.empty());
    EXPECT_EQ(Close().Animation, nullptr);
    EXPECT_EQ(Close().GlowId, -1);

    Hover();
    ASSERT_NE(Close().Animation, nullptr);
    EXPECT_TRUE(Close().Animation->Running());
    EXPECT_EQ(Close().Animation->NewState, 1);
    EXPECT_EQ(Close().Animation->FrameCount(), 10);
    EXPECT_EQ(Close().Animation->Interval(), SBAnimationInterval);
    // A frame painted while the fade runs shows the button's first frame;
    // the timer draws the rest.
    SendMessageW(form->Handle(), WM_NCPAINT, 1, 0);
    EXPECT_EQ(Shown(), normal);

    ASSERT_TRUE(PumpUntilStill());
    const TPixels hot = Shown();
    EXPECT_NE(hot, normal);
    ASSERT_GE(Close().GlowId, 0);
    const HWND halo = GlowWindow(Close().GlowId);
    ASSERT_NE(halo, nullptr);
    EXPECT_TRUE(IsWindowVisible(halo));
    // Around the button on the screen.
    RECT hr, wr;
    GetWindowRect(halo, &hr);
    GetWindowRect(form->Handle(), &wr);
    const POINT centre{wr.left + CloseCentre().X, wr.top + CloseCentre().Y};
    EXPECT_TRUE(PtInRect(&hr, centre));
    EXPECT_GT(g_layeredCalls, 0);

    // The halo goes as the mouse leaves, not at the end of the way back.
    const int glowId = Close().GlowId;
    Leave();
    EXPECT_EQ(Close().GlowId, -1);
    EXPECT_EQ(GlowWindow(glowId), nullptr);
    EXPECT_TRUE(Fading());
    EXPECT_EQ(Close().Animation->NewState, 0);
    ASSERT_TRUE(PumpUntilStill());
    EXPECT_FALSE(IsWindow(halo) && IsWindowVisible(halo));
    EXPECT_EQ(Shown(), normal);

    // Without fades the hot button looks the same: the fade ended where a
    // direct repaint puts it.
    manager.AnimEffects.Buttons.Events = 0;
    Hover();
    EXPECT_FALSE(Fading());
    EXPECT_EQ(Shown(), hot);
    Leave();
    EXPECT_EQ(Shown(), normal);
    EXPECT_EQ(Close().GlowId, -1);
}

TEST_F(CaptionButtonFadeTest, LeavingHalfWayTurnsBackAndAPressShowsAtOnce)
{
    HWND wnd = Show();
    const TPixels normal = Shown();
    Hover();
    Leave();
    // Turned back before a frame was shown: the way back is one frame, and
    // the button ends normal, not hot.
    ASSERT_TRUE(Fading());
    EXPECT_EQ(Close().Animation->NewState, 0);
    EXPECT_EQ(Close().Animation->FrameCount(), 1);
    ASSERT_TRUE(PumpUntilStill());
    EXPECT_EQ(Shown(), normal);
    EXPECT_EQ(Close().GlowId, -1);

    Hover();
    ASSERT_TRUE(PumpUntilStill());
    const TPixels hot = Shown();
    RECT wr;
    GetWindowRect(wnd, &wr);
    const LPARAM at = MAKELPARAM(wr.left + CloseCentre().X, wr.top + CloseCentre().Y);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htClose, at);
    // No message has been pumped: the pressed picture is there already.
    const TPixels pressed = Shown();
    EXPECT_NE(pressed, hot);
    EXPECT_NE(pressed, normal);
    EXPECT_EQ(Close().Animation->NewState, 2);
    ASSERT_TRUE(PumpUntilStill());
    EXPECT_EQ(Shown(), pressed);
    // Released elsewhere: nothing closes, and leaving fades the button back.
    SendMessageW(wnd, WM_NCLBUTTONUP, htCaption, MAKELPARAM(wr.left + 100, wr.top + 10));
    Leave();
    ASSERT_TRUE(PumpUntilStill());
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_EQ(Shown(), normal);
}

TEST_F(CaptionButtonFadeTest, NoFadeOrHaloWithoutGlowingOrLayeredWindows)
{
    Show();
    const TPixels normal = Shown();
    manager.SetAllowGlowing(false);
    Hover();
    EXPECT_EQ(Close().Animation, nullptr);
    EXPECT_EQ(Close().GlowId, -1);
    EXPECT_NE(Shown(), normal);
    Leave();
    EXPECT_EQ(Shown(), normal);

    manager.SetAllowGlowing(true);
    g_layered = false;
    Hover();
    EXPECT_EQ(Close().Animation, nullptr);
    EXPECT_EQ(Close().GlowId, -1);
    Leave();
}

TEST_F(CaptionButtonFadeTest, MovingTheFormEndsTheFadesAndTheirHalos)
{
    HWND wnd = Show();
    Hover();
    ASSERT_TRUE(PumpUntilStill());
    ASSERT_GE(Close().GlowId, 0);
    const HWND halo = GlowWindow(Close().GlowId);
    Leave();
    Hover();
    ASSERT_TRUE(Fading());
    // The halo and the fade's pictures belong to the old place.
    SendMessageW(wnd, WM_MOVE, 0, MAKELPARAM(90, 90));
    EXPECT_EQ(Close().Animation, nullptr);
    EXPECT_EQ(Close().GlowId, -1);
    EXPECT_EQ(FadeComponents(*provider), 0);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsWindow(halo) && IsWindowVisible(halo));
    EXPECT_TRUE(NoTimerPending());
    EXPECT_TRUE(provider->Skinned());
}

TEST_F(CaptionButtonFadeTest, TakingTheSkinAwayMidFadeFreesTheFadeAndTheHalo)
{
    HWND wnd = Show();
    Hover();
    ASSERT_TRUE(PumpUntilStill());
    ASSERT_GE(Close().GlowId, 0);
    const HWND halo = GlowWindow(Close().GlowId);
    Leave();
    Hover();
    ASSERT_TRUE(Fading());
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(provider->Skinned());
    EXPECT_EQ(Close().Animation, nullptr);
    EXPECT_EQ(Close().GlowId, -1);
    EXPECT_EQ(FadeComponents(*provider), 0);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsWindow(halo) && IsWindowVisible(halo));
    EXPECT_TRUE(NoTimerPending());

    // The next skin fades again.
    provider->ApplySkin();
    test::NcHit(wnd, 100, 10);
    Hover();
    EXPECT_TRUE(Fading());
}

TEST_F(CaptionButtonFadeTest, FormsDestroyedMidFadeLeaveNoTimerAndNoGdiObjects)
{
    auto cycle = [&](bool destroyWindowFirst) {
        Show();
        Hover();
        // A few frames, not all of them: the loop runs until the fade has
        // shown its second frame, one tick at a time.
        const DWORD start = GetTickCount();
        while (Fading() && Close().Animation->CurrentStep() < 3 && GetTickCount() - start < 3000) {
            MSG msg;
            if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            } else {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            }
        }
        ASSERT_TRUE(Fading());
        EXPECT_GE(Close().Animation->CurrentStep(), 3);
        EXPECT_LT(Close().Animation->CurrentStep(), Close().Animation->FrameCount());
        if (destroyWindowFirst) {
            // The window goes first (from outside); the provider follows
            // with its form.
            DestroyWindow(form->Handle());
            EXPECT_EQ(Close().Animation, nullptr);
        }
        delete form;
        form = nullptr;
        tw::Application->ProcessMessages();
    };
    cycle(false);
    cycle(true);
    EXPECT_TRUE(NoTimerPending());
    const DWORD before = tw::test::GdiObjects();
    for (int i = 0; i < 8; ++i)
        cycle(i % 2 == 0);
    ClearGlows();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(NoTimerPending());
    EXPECT_LE(tw::test::GdiObjects(), before + 2);
}

TEST_F(CaptionButtonFadeTest, UserTitleButtonsFadeAndTheirFadesGoWithThem)
{
    HWND wnd = Show();
    TsTitleButtons buttons;
    buttons.Add().Name = "Pin";
    provider->SetTitleButtons(buttons);
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    test::NcHit(wnd, 100, 10);
    ASSERT_EQ(provider->Buttons().User.size(), 1u);
    const TRect r = provider->Buttons().User[0];
    ASSERT_GT(r.Right, r.Left);
    EXPECT_EQ(test::NcHit(wnd, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), htUserButton);
    const TacButtonFx* fx = provider->ButtonFx(htUserButton);
    ASSERT_NE(fx, nullptr);
    ASSERT_NE(fx->Animation, nullptr);
    EXPECT_TRUE(fx->Animation->Running());
    // The skin gives user buttons no halo.
    ASSERT_TRUE(PumpWhile([&] { return fx->Animation->Running(); }));
    EXPECT_EQ(fx->GlowId, -1);
    Leave();
    EXPECT_TRUE(fx->Animation->Running());
    // Buttons replaced mid-fade: the old button's fade ends with it.
    provider->SetTitleButtons(TsTitleButtons());
    EXPECT_EQ(provider->ButtonFx(htUserButton), nullptr);
    EXPECT_EQ(FadeComponents(*provider), 0);
    EXPECT_TRUE(NoTimerPending());
}

TEST_F(CaptionButtonFadeTest, ASystemDialogFadesItsButtonsAndDropsItsHaloWhenItEnds)
{
    // With a minimize box the dialog takes the large pictures, whose close
    // button has a halo in the program's skin.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    HWND dlg = CreateWindowExW(0, L"#32770", L"Dialog", style, 100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dlg, nullptr);
    auto adapter = std::make_unique<TacDialogWnd>(dlg, &manager);
    ShowWindow(dlg, SW_SHOWNOACTIVATE);
    tw::Application->ProcessMessages();
    test::NcHit(dlg, 50, 10);
    const TRect r = adapter->Buttons().Close;
    ASSERT_GT(r.Right, r.Left);
    const TPoint centre((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    const TacButtonFx& fx = *adapter->ButtonFx(htClose);
    auto fading = [&] { return fx.Animation && fx.Animation->Running(); };

    EXPECT_EQ(test::NcHit(dlg, centre.X, centre.Y), htClose);
    ASSERT_TRUE(fading());
    EXPECT_EQ(fx.Animation->NewState, 1);
    ASSERT_TRUE(PumpWhile(fading));
    ASSERT_GE(fx.GlowId, 0);
    const HWND halo = GlowWindow(fx.GlowId);
    EXPECT_NE(halo, nullptr);

    // Leaving and coming back turns the fade; a press shows at once.
    SendMessageW(dlg, WM_NCMOUSELEAVE, 0, 0);
    EXPECT_EQ(fx.GlowId, -1);
    EXPECT_EQ(fx.Animation->NewState, 0);
    EXPECT_EQ(test::NcHit(dlg, centre.X, centre.Y), htClose);
    RECT wr;
    GetWindowRect(dlg, &wr);
    SendMessageW(dlg, WM_NCLBUTTONDOWN, htClose, MAKELPARAM(wr.left + centre.X, wr.top + centre.Y));
    EXPECT_EQ(fx.Animation->NewState, 2);
    EXPECT_GE(fx.GlowId, 0);

    // The dialog ends while its button is pressed and glowing: nothing of
    // the fade or the halo stays, though the adapter goes only later.
    const HWND pressedHalo = GlowWindow(fx.GlowId);
    DestroyWindow(dlg);
    EXPECT_EQ(fx.Animation, nullptr);
    EXPECT_EQ(fx.GlowId, -1);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsWindow(pressedHalo) && IsWindowVisible(pressedHalo));
    EXPECT_TRUE(NoTimerPending());
    adapter.reset();

    // Without glowing the button is drawn at once, as before.
    manager.SetAllowGlowing(false);
    dlg = CreateWindowExW(0, L"#32770", L"Dialog", style, 100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
    adapter = std::make_unique<TacDialogWnd>(dlg, &manager);
    ShowWindow(dlg, SW_SHOWNOACTIVATE);
    tw::Application->ProcessMessages();
    test::NcHit(dlg, 50, 10);
    EXPECT_EQ(test::NcHit(dlg, centre.X, centre.Y), htClose);
    EXPECT_EQ(adapter->HotButton(), htClose);
    EXPECT_EQ(adapter->ButtonFx(htClose)->Animation, nullptr);
    EXPECT_EQ(adapter->ButtonFx(htClose)->GlowId, -1);
    adapter.reset();
    DestroyWindow(dlg);
}

} // namespace
} // namespace skin

#endif
