// The extended border of a skinned form under Wine: made only when the
// manager asks for it and layered windows can be shown (a recorder stands in
// for the layered update, as the screen cannot be checked), it follows its
// form, is freed with the skin and when it cannot be shown; the system menu
// style taken off while the frame is drawn and given back; the hooks left
// for the skinned menus are called.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acSBAnimation.h"
#include "skin/windows/sSkinProvider.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

struct TLayeredCall {
    HWND Wnd;
    POINT Pos;
    SIZE Size;
    BYTE Alpha;
};
std::vector<TLayeredCall> g_calls;
bool g_layered = true;

BOOL WINAPI RecordLayered(HWND wnd, HDC, POINT* pos, SIZE* size, HDC, POINT*, COLORREF, BLENDFUNCTION* blend, DWORD)
{
    g_calls.push_back({wnd, pos ? *pos : POINT{}, size ? *size : SIZE{}, blend ? blend->SourceConstantAlpha : BYTE(0)});
    return TRUE;
}

TUpdateLayeredWindow Entry() { return g_layered ? RecordLayered : nullptr; }

class BorderFormTest : public test::LayeredFormTest {
protected:
    BorderFormTest() : LayeredFormTest("Bordered", 300, 200, Entry) {}
    void SetUp() override
    {
        g_layered = true;
        g_calls.clear();
        LayeredFormTest::SetUp();
    }
    void Send(uint16_t command)
    {
        SendSkinCommand(form->Handle(), command, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    }
    TRect Expected() const
    {
        RECT wr;
        GetWindowRect(form->Handle(), &wr);
        const TRect m = manager.ExtBorderMargins;
        // The skin's frame and title beyond the form's window are the border's too.
        const TRect f = provider->BorderForm() ? provider->BorderForm()->FrameExtent() : TRect();
        return TRect(wr.left - m.Left - f.Left, wr.top - m.Top - f.Top, wr.right + m.Right + f.Right,
                     wr.bottom + m.Bottom + f.Bottom);
    }
};

TEST_F(BorderFormTest, OnlyWhenTheManagerAsksAndLayeredWindowsExist)
{
    EXPECT_EQ(provider->BorderForm(), nullptr);
    EXPECT_FALSE(provider->HasBorderWindow());
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    // Its fades and halos paint with the form's own skin link.
    EXPECT_EQ(b->SkinData, &provider->SkinData());
    const TRect m = manager.ExtBorderMargins;
    ASSERT_GT(m.Left + m.Top + m.Right + m.Bottom, 0);
    EXPECT_TRUE(b->Shown());
    EXPECT_TRUE(b->Bounds() == Expected());
    EXPECT_TRUE(provider->ExtBorderMargins() == m);
    ASSERT_FALSE(g_calls.empty());
    EXPECT_EQ(g_calls.back().Wnd, b->Handle());
    EXPECT_EQ(g_calls.back().Size.cx, Expected().Width());
    EXPECT_EQ(g_calls.back().Alpha, 255);
    EXPECT_EQ(GetWindow(b->Handle(), GW_OWNER), form->Handle());
    // Not allowed, or no layered windows: none.
    provider->SetAllowExtBorders(false);
    EXPECT_EQ(provider->BorderForm(), nullptr);
    EXPECT_TRUE(provider->ExtBorderMargins().IsEmpty());
    provider->SetAllowExtBorders(true);
    ASSERT_NE(provider->BorderForm(), nullptr);
    g_layered = false;
    form->SetBounds(120, 100, 300, 200);
    EXPECT_EQ(provider->BorderForm(), nullptr);
    g_layered = true;
    // A form without a title, or inside another control, never has one.
    form->SetBorderStyle(tw::bsNone);
    Send(AC_SKINLOADED);
    EXPECT_EQ(provider->BorderForm(), nullptr);
    form->SetBorderStyle(tw::bsSizeable);
    Send(AC_SKINLOADED);
    EXPECT_NE(provider->BorderForm(), nullptr);
    tw::TForm* inner = new tw::TForm(form);
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    inner->SetParent(panel);
    inner->Show();
    tw::Application->ProcessMessages();
    TsSkinProvider* ip = FindProvider(inner);
    ASSERT_NE(ip, nullptr);
    ip->SetExtBorders(true);
    EXPECT_EQ(ip->BorderForm(), nullptr);
}

TEST_F(BorderFormTest, TheBorderFollowsItsForm)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    form->SetBounds(150, 130, 360, 240);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(b->Bounds() == Expected());
    EXPECT_EQ(g_calls.back().Pos.x, Expected().Left);
    EXPECT_EQ(g_calls.back().Size.cy, Expected().Bottom - Expected().Top);
    form->Hide();
    tw::Application->ProcessMessages();
    EXPECT_FALSE(b->Shown());
    EXPECT_FALSE(IsWindowVisible(b->Handle()));
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(b->Shown());
    // The hit test: sizing edges of a sizeable form, the provider first.
    const TRect r = b->Bounds();
    EXPECT_EQ(b->HitTest(POINT{r.Left + 1, (r.Top + r.Bottom) / 2}), HTLEFT);
    EXPECT_EQ(b->HitTest(POINT{r.Right - 1, r.Bottom - 1}), HTBOTTOMRIGHT);
    EXPECT_EQ(b->HitTest(POINT{r.Left - 5, r.Top}), HTNOWHERE);
    provider->OnExtHitTest = [](tw::TMessage& m) { m.Result = HTCAPTION; };
    EXPECT_EQ(b->HitTest(POINT{r.Left + 1, r.Top + 1}), HTCAPTION);
}

TEST_F(BorderFormTest, TheBorderIsDrawnAgainWhileTheFormIsSizedByItsFrame)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const HWND wnd = form->Handle();
    RECT r;
    GetWindowRect(wnd, &r);
    const int updates = b->Updates();
    // The sizing notice comes before the window moves: the border follows
    // the frame as it is dragged, and the form's own procedure hears it.
    SendMessageW(wnd, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(b->Updates(), updates + 1);
}

TEST_F(BorderFormTest, TheBorderGoesWithTheSkinAndLeavesNothingBehind)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    const HWND border = provider->BorderForm()->Handle();
    Send(AC_SKINREMOVED);
    EXPECT_EQ(provider->BorderForm(), nullptr);
    EXPECT_FALSE(IsWindow(border));
    for (int i = 0; i < 3; ++i) {
        Send(AC_SKINLOADED);
        Send(AC_SKINREMOVED);
    }
    const DWORD gdi = tw::test::GdiObjects();
    for (int i = 0; i < 20; ++i) {
        Send(AC_SKINLOADED);
        form->SetBounds(100 + i, 100, 300, 200);
        Send(AC_SKINREMOVED);
    }
    EXPECT_LE(tw::test::GdiObjects(), gdi);
}

TEST_F(BorderFormTest, CaptionButtonsFadeWithTheBorderAndTheirFadesGoWithIt)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    // With an extended border the buttons fade even where glowing is off.
    manager.SetAllowGlowing(false);
    const HWND wnd = form->Handle();
    test::NcHit(wnd, 100, 10);
    const TRect close = provider->Buttons().Close;
    ASSERT_GT(close.Right, close.Left);
    EXPECT_EQ(test::NcHit(wnd, (close.Left + close.Right) / 2, (close.Top + close.Bottom) / 2), htClose);
    const TacButtonFx& fx = *provider->ButtonFx(htClose);
    ASSERT_NE(fx.Animation, nullptr);
    EXPECT_TRUE(fx.Animation->Running());
    EXPECT_EQ(fx.Animation->BorderForm, provider->BorderForm());
    EXPECT_EQ(fx.GlowId, -1);
    // The border window goes, and the fade that drew with it goes too.
    provider->SetAllowExtBorders(false);
    EXPECT_EQ(provider->BorderForm(), nullptr);
    EXPECT_EQ(fx.Animation, nullptr);
}

TEST_F(BorderFormTest, TheSystemMenuStyleIsTakenOffWhileTheFrameIsDrawn)
{
    const HWND wnd = form->Handle();
    EXPECT_TRUE(provider->SysMenuStyleRemoved());
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_SYSMENU);
    Send(AC_SKINREMOVED);
    EXPECT_FALSE(provider->SysMenuStyleRemoved());
    EXPECT_TRUE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_SYSMENU);
    Send(AC_SKINLOADED);
    provider->SetDrawNonClientArea(false);
    EXPECT_TRUE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_SYSMENU);
    provider->SetDrawNonClientArea(true);
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_SYSMENU);
    // A form designed without a system menu never gains one.
    Send(AC_SKINREMOVED);
    form->SetBorderIcons(0);
    Send(AC_SKINLOADED);
    Send(AC_SKINREMOVED);
    EXPECT_FALSE(GetWindowLongPtrW(form->Handle(), GWL_STYLE) & WS_SYSMENU);
}

TEST_F(BorderFormTest, TheBorderIsDrawnAgainWhenAskedAndAfterAMoveLoopOverAModalForm)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const HWND wnd = form->Handle();
    // What reached the screen: the layered updates the recorder took for a
    // border's window since a point, not the border's own count.
    const auto drawn = [](HWND border, size_t from) {
        int n = 0;
        for (size_t i = from; i < g_calls.size(); ++i)
            n += g_calls[i].Wnd == border;
        return n;
    };
    int updates = b->Updates();
    size_t at = g_calls.size();
    // Asked outright: drawn again.
    SendSkinCommand(wnd, 37, 0);
    EXPECT_EQ(b->Updates(), ++updates);
    EXPECT_EQ(drawn(b->Handle(), at), 1);
    // Another window's move loop ended: a form that is not modal keeps its
    // picture.
    at = g_calls.size();
    SendSkinCommand(wnd, AC_RESETCACHE, 0);
    EXPECT_EQ(b->Updates(), updates);
    EXPECT_EQ(drawn(b->Handle(), at), 0);

    // A modal form with a border of its own over the first one.
    auto* modal = new tw::TForm(tw::Application);
    modal->SetText("Modal");
    modal->SetBounds(160, 160, 240, 160);
    struct {
        bool Bordered = false;
        int Reset = -1, OthersLoop = -1, OwnLoop = -1, FirstOnOthersLoop = -1, FirstOnOwnLoop = -1;
        int ResetDrawn = -1, OthersLoopDrawn = -1, OwnLoopDrawn = -1, FirstDrawn = -1;
    } seen;
    test::TModalProbe probe([&] {
        if (!modal->Modal() || !IsWindowVisible(modal->Handle()))
            return false;
        TsSkinProvider* mp = FindProvider(modal);
        TacBorderForm* mb = mp ? mp->BorderForm() : nullptr;
        seen.Bordered = mb != nullptr;
        if (mb) {
            int n = mb->Updates();
            size_t from = g_calls.size();
            // The reset command: a modal form looks at its border again.
            SendSkinCommand(modal->Handle(), AC_RESETCACHE, 0);
            seen.Reset = mb->Updates() - n;
            seen.ResetDrawn = drawn(mb->Handle(), from);
            // The first form's move loop ends (it may have covered the
            // modal one): the modal form draws its border again, the first
            // keeps its own.
            n = mb->Updates();
            int f = b->Updates();
            from = g_calls.size();
            const size_t loopsFrom = from;
            SendMessageW(wnd, WM_EXITSIZEMOVE, 0, 0);
            seen.OthersLoop = mb->Updates() - n;
            seen.FirstOnOthersLoop = b->Updates() - f;
            seen.OthersLoopDrawn = drawn(mb->Handle(), from);
            // The modal form's own loop ends: its border is drawn again
            // too; the first form is not modal and keeps its picture.
            n = mb->Updates();
            f = b->Updates();
            from = g_calls.size();
            SendMessageW(modal->Handle(), WM_EXITSIZEMOVE, 0, 0);
            seen.OwnLoop = mb->Updates() - n;
            seen.FirstOnOwnLoop = b->Updates() - f;
            seen.OwnLoopDrawn = drawn(mb->Handle(), from);
            seen.FirstDrawn = drawn(b->Handle(), loopsFrom);
        }
        modal->SetModalResult(tw::mrCancel);
        return true;
    });
    probe.OnTimeout = [&] { modal->SetModalResult(tw::mrCancel); };
    modal->ShowModal();
    probe.Stop();
    delete modal;
    ASSERT_FALSE(probe.TimedOut()) << "the modal form was never shown";
    ASSERT_TRUE(seen.Bordered) << "the modal form has no extended border";
    EXPECT_EQ(seen.Reset, 1);
    EXPECT_EQ(seen.OthersLoop, 1);
    EXPECT_EQ(seen.FirstOnOthersLoop, 0);
    EXPECT_EQ(seen.OwnLoop, 1);
    EXPECT_EQ(seen.FirstOnOwnLoop, 0);
    EXPECT_EQ(seen.ResetDrawn, 1);
    EXPECT_EQ(seen.OthersLoopDrawn, 1);
    EXPECT_EQ(seen.OwnLoopDrawn, 1);
    EXPECT_EQ(seen.FirstDrawn, 0);
    // Modal no more: the reset command leaves the first form alone again.
    updates = b->Updates();
    at = g_calls.size();
    SendSkinCommand(wnd, AC_RESETCACHE, 0);
    EXPECT_EQ(b->Updates(), updates);
    EXPECT_EQ(drawn(b->Handle(), at), 0);
}

TEST_F(BorderFormTest, AFormShownAgainTakesTheBordersTheManagerHasNow)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    form->Hide();
    tw::Application->ProcessMessages();
    // Switched off while the form was hidden.
    manager.SetExtendedBorders(false);
    provider->SkinData().BGChangedFlag = true;
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_EQ(provider->BorderForm(), nullptr);
    form->Hide();
    tw::Application->ProcessMessages();
    manager.SetExtendedBorders(true);
    provider->SkinData().BGChangedFlag = true;
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_NE(provider->BorderForm(), nullptr);
}

TEST_F(BorderFormTest, TheGripStandsOnTheClientsOwnPieceOfThePicture)
{
    BordersOn();
    ASSERT_NE(provider->BorderForm(), nullptr);
    const TRect m = manager.ExtBorderMargins;
    ASSERT_GT(m.Left + m.Top, 0);
    const int gripMask = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "GRIPIMAGE");
    ASSERT_TRUE(manager.MaskIndexValid(gripMask));
    HWND wnd = form->Handle();
    RECT cr;
    GetClientRect(wnd, &cr);
    // The twin: the same client without a grip.
    provider->SetGripMode(gmNone);
    tw::TBitmap bare(cr.right, cr.bottom, tw::pf24bit);
    SendMessageW(wnd, WM_ERASEBKGND, WPARAM(bare.Canvas().Handle()), 0);
    provider->SetGripMode(gmRightBottom);
    ASSERT_TRUE(provider->ClientHasPicture());
    tw::TBitmap erased(cr.right, cr.bottom, tw::pf24bit);
    SendMessageW(wnd, WM_ERASEBKGND, WPARAM(erased.Canvas().Handle()), 0);
    TacBGInfo info;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.BgType, btCache);

    // In the client's corner, pixel for pixel: where the grip's picture
    // has its key colour the client's own background shows, as without the
    // grip; elsewhere the grip's picture as the skin has it. A grip or a
    // background one pixel off fails here.
    const TsMaskData& grip = manager.ma[size_t(gripMask)];
    const int gw = MaskFrameWidth(grip), gh = MaskFrameHeight(grip);
    ASSERT_GT(gw * gh, 0);
    int wrong = 0, keyed = 0, drawn = 0;
    for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
            const int cx = cr.right - gw + x, cy = cr.bottom - gh + y;
            const COLORREF picture = test::MaskPixel(grip, 0, x, y);
            const bool key = picture == RGB(255, 0, 255);
            const COLORREF expected = key ? GetPixel(bare.Canvas().Handle(), cx, cy) : picture;
            keyed += key;
            drawn += !key;
            wrong += GetPixel(erased.Canvas().Handle(), cx, cy) != expected;
        }
    ASSERT_GT(keyed, 0);
    ASSERT_GT(drawn, 0);
    EXPECT_EQ(wrong, 0) << wrong << " of " << gw * gh << " grip pixels are not where the skin puts them";
}

TEST_F(BorderFormTest, APressTheSystemHandlesPlacesTheBorderAgainAfterIt)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const HWND wnd = form->Handle();
    ASSERT_EQ(GetWindow(wnd, GW_OWNER), nullptr);
    const auto drawn = [&](size_t from) {
        int n = 0;
        for (size_t i = from; i < g_calls.size(); ++i)
            n += g_calls[i].Wnd == b->Handle();
        return n;
    };
    // A press the system's procedure takes (its move or size loop would
    // run inside it): the border is put where the form is afterwards,
    // there and nowhere else.
    size_t at = g_calls.size();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTBORDER, 0);
    ASSERT_EQ(drawn(at), 1);
    const TLayeredCall& placed = g_calls.back();
    const TRect e = Expected();
    EXPECT_EQ(placed.Pos.x, e.Left);
    EXPECT_EQ(placed.Pos.y, e.Top);
    EXPECT_EQ(placed.Size.cx, e.Width());
    EXPECT_EQ(placed.Alpha, 255);
    // A press on the menu line is the menu's: the border stays as it is.
    at = g_calls.size();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMENU, 0);
    EXPECT_EQ(drawn(at), 0);
}

} // namespace
} // namespace skin

#endif
