// Skinned non-client scroll bars under Wine with real messages: the memo,
// the list and the grid of a skinned form get a scroll adapter from the
// form's control adapter; its arrows, page areas and slider scroll the
// window; the wheel stays the window's; the adapters go with the skin and
// come back with it without leaving GDI objects behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sSkinProvider.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

TPoint Center(const TRect& r) { return TPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }

class ScrollAdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        InstallFormSkinning();
        form = new tw::TForm(tw::Application);
        form->SetText("Scrolling");
        form->SetBounds(40, 40, 420, 360);
        memo = new tw::TMemo(form);
        memo->SetParent(form);
        memo->SetScrollBars(tw::ssVertical);
        memo->SetBounds(8, 8, 200, 150);
        for (int i = 0; i < 300; ++i)
            memo->Lines().Add("line " + std::to_string(i));
        list = new tw::TListBox(form);
        list->SetParent(form);
        list->SetBounds(220, 8, 180, 150);
        grid = new tw::TValueListEditor(form);
        grid->SetParent(form);
        grid->SetBounds(8, 170, 300, 140);
        for (int i = 0; i < 60; ++i)
            grid->Strings().Add("key" + std::to_string(i) + "=value");
        form->Show();
        tw::Application->ProcessMessages();
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
    }
    void TearDown() override
    {
        delete form;
        UninstallFormSkinning();
        DefaultManager = nullptr;
    }
    TacScrollWnd* Adapter(HWND wnd) { return dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(wnd)); }
    // Screen point of a bar point (bar coordinates).
    static POINT OnBar(HWND wnd, const TacScrollBarState& bar, TPoint p)
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        return POINT{wr.left + bar.Rect.Left + p.X, wr.top + bar.Rect.Top + p.Y};
    }
    static void Press(HWND wnd, POINT screen)
    {
        SendMessageW(wnd, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(screen.x, screen.y));
    }
    static void Release(HWND wnd, POINT screen)
    {
        POINT c = screen;
        ScreenToClient(wnd, &c);
        SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
    }
    static void MoveTo(HWND wnd, POINT screen)
    {
        POINT c = screen;
        ScreenToClient(wnd, &c);
        SendMessageW(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(c.x, c.y));
    }
    void SkinOff()
    {
        SendSkinCommand(form->Handle(), AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    }
    void SkinOn()
    {
        SendSkinCommand(form->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TMemo* memo = nullptr;
    tw::TListBox* list = nullptr;
    tw::TValueListEditor* grid = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_F(ScrollAdapterTest, TheScrollingControlsOfASkinnedFormGetTheSkinnedBars)
{
    ASSERT_NE(provider->CtrlAdapter(), nullptr);
    for (HWND wnd : {memo->Handle(), list->Handle(), grid->Handle()}) {
        TacScrollWnd* a = Adapter(wnd);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(wnd), a);
    }
    TacScrollWnd* a = Adapter(memo->Handle());
    const TacScrollBarState& bar = a->Bar(true);
    EXPECT_TRUE(bar.Visible);
    EXPECT_TRUE(bar.Enabled);
    EXPECT_FALSE(a->Bar(false).Visible);
    EXPECT_EQ(bar.Rect.Width(), GetSystemMetrics(SM_CXVSCROLL));
    // Painted by the skin when the frame is painted.
    const int before = a->PaintCount();
    RedrawWindow(memo->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(a->PaintCount(), before);
    // An empty list shows no usable bar: nothing to scroll, nothing pressed.
    TacScrollWnd* l = Adapter(list->Handle());
    l->UpdateScrollState(false);
    EXPECT_FALSE(l->Bar(true).Visible && l->Bar(true).Enabled);
}

TEST_F(ScrollAdapterTest, AnAdapterPaintsItsBarsAtOnceOnlyWhenAskedTo)
{
    HWND wnd = CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 520, 80,
                               160, 120, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(wnd, nullptr);
    for (int i = 0; i < 40; ++i)
        SendMessageW(wnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"item"));
    UpdateWindow(wnd);
    tw::Application->ProcessMessages();
    RECT wr;
    GetWindowRect(wnd, &wr);
    // The middle of the bar's track.
    const int x = (wr.right - wr.left) - GetSystemMetrics(SM_CXVSCROLL) / 2, y = (wr.bottom - wr.top) / 2;
    auto barPixel = [&] {
        HDC dc = GetWindowDC(wnd);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(wnd, dc);
        return c;
    };
    const COLORREF system = barPixel();
    {
        // Taken over quietly: the system's bar stays until the next paint.
        TacScrollWnd quiet(wnd, &manager, "", "TacScrollWnd", nullptr, false);
        EXPECT_EQ(barPixel(), system);
        EXPECT_EQ(quiet.PaintCount(), 0);
        quiet.Unsubclass(false);
    }
    {
        TacScrollWnd painted(wnd, &manager, "", "TacScrollWnd", nullptr, true);
        EXPECT_NE(barPixel(), system);
        // Once each time: the window's notice that its bars were painted
        // changes no scroll state, and must not paint them again.
        EXPECT_EQ(painted.PaintCount(), 1);
        painted.UpdateScrollState(true);
        EXPECT_EQ(painted.PaintCount(), 2);
        painted.Unsubclass(false);
    }
    DestroyWindow(wnd);
}

TEST_F(ScrollAdapterTest, AHorizontalBarsArrowsAreAsWideAsTheSystemSaidAtStart)
{
    EXPECT_EQ(ScrollBtnLength, GetSystemMetrics(SM_CXHSCROLL));
    auto* wide = new tw::TMemo(form);
    wide->SetParent(form);
    wide->SetScrollBars(tw::ssBoth);
    wide->SetBounds(220, 170, 180, 140);
    // Lines too long and too many for the box: both bars are needed.
    for (int i = 0; i < 40; ++i)
        wide->Lines().Add(std::string(200, 'x'));
    tw::Application->ProcessMessages();
    TacScrollWnd* a = Adapter(wide->Handle());
    ASSERT_NE(a, nullptr);
    a->UpdateScrollState(false);
    const TacScrollBarState& bar = a->Bar(false);
    ASSERT_TRUE(bar.Visible);
    ASSERT_GT(bar.Rect.Width(), 100);
    RECT wr;
    GetWindowRect(wide->Handle(), &wr);
    // The bars as painted, one row through the middle of the horizontal one.
    auto row = [&] {
        tw::TBitmap bmp(wr.right - wr.left, wr.bottom - wr.top, tw::pf24bit);
        a->PaintBars(bmp.Canvas().Handle());
        std::vector<COLORREF> v;
        const int y = (bar.Rect.Top + bar.Rect.Bottom) / 2;
        for (int x = bar.Rect.Left; x < bar.Rect.Right; ++x)
            v.push_back(GetPixel(bmp.Canvas().Handle(), x, y));
        return v;
    };
    const int saved = ScrollBtnLength;
    const std::vector<COLORREF> system = row();
    ScrollBtnLength = 40;
    const std::vector<COLORREF> longArrows = row();
    ScrollBtnLength = saved;
    // The left arrow reaches further in: the columns between the system's
    // arrow end and 40 pixels now belong to it; beyond both arrows (the
    // middle of the track) nothing changed.
    ASSERT_EQ(system.size(), longArrows.size());
    const size_t from = size_t(saved) + 2, to = 38;
    ASSERT_LT(from, to);
    EXPECT_NE(std::vector<COLORREF>(system.begin() + from, system.begin() + to),
              std::vector<COLORREF>(longArrows.begin() + from, longArrows.begin() + to));
    const size_t mid = system.size() / 2;
    EXPECT_EQ(system[mid], longArrows[mid]);
    EXPECT_EQ(row(), system);
}

TEST_F(ScrollAdapterTest, ArrowsAndPageAreasScrollTheWindowOneStepPerClick)
{
    HWND wnd = memo->Handle();
    TacScrollWnd* a = Adapter(wnd);
    ASSERT_NE(a, nullptr);
    const TacScrollBarState bar = a->Bar(true);
    const TsScrollGeometry g = ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, bar.Pos);
    EXPECT_EQ(memo->TopLine(), 0);
    // The lower arrow, pressed and released: one line, drawn pressed meanwhile.
    const POINT down = OnBar(wnd, bar, Center(g.LineMax));
    Press(wnd, down);
    EXPECT_EQ(a->PressedPart(), spLineMax);
    EXPECT_EQ(GetCapture(), wnd);
    Release(wnd, down);
    EXPECT_EQ(a->PressedPart(), spNone);
    EXPECT_NE(GetCapture(), wnd);
    EXPECT_EQ(memo->TopLine(), 1);
    EXPECT_EQ(a->Bar(true).Pos, 1);
    // The page area below the thumb: one page.
    const TsScrollGeometry g2 =
        ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, a->Bar(true).Pos);
    const POINT page = OnBar(wnd, bar, TPoint(Center(g2.Track).X, g2.Thumb.Bottom + 4));
    Press(wnd, page);
    Release(wnd, page);
    EXPECT_EQ(memo->TopLine(), 1 + memo->VisibleLineCount());
    // The upper arrow back by one.
    const POINT up = OnBar(wnd, bar, Center(g.LineMin));
    Press(wnd, up);
    Release(wnd, up);
    EXPECT_EQ(memo->TopLine(), memo->VisibleLineCount());
    // A press on a bar with nothing to scroll takes no capture.
    memo->Lines().Clear();
    tw::Application->ProcessMessages();
    a->UpdateScrollState(false);
    Press(wnd, up);
    EXPECT_EQ(a->PressedPart(), spNone);
    EXPECT_NE(GetCapture(), wnd);
}

TEST_F(ScrollAdapterTest, DraggingTheSliderScrollsAsItGoesAndEndsWhereItIsLeft)
{
    for (HWND wnd : {memo->Handle(), grid->Handle()}) {
        TacScrollWnd* a = Adapter(wnd);
        ASSERT_NE(a, nullptr);
        a->UpdateScrollState(false);
        const TacScrollBarState bar = a->Bar(true);
        ASSERT_TRUE(bar.Enabled);
        const TsScrollGeometry g =
            ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, bar.Pos);
        ASSERT_FALSE(g.Thumb.IsEmpty());
        const TPoint grip = Center(g.Thumb);
        Press(wnd, OnBar(wnd, bar, grip));
        EXPECT_EQ(a->PressedPart(), spThumb);
        // Half the way: the window follows while the slider is held.
        const POINT half = OnBar(wnd, bar, TPoint(grip.X, grip.Y + g.Room / 2));
        MoveTo(wnd, half);
        const int expected = g.PositionAt(g.Thumb.Top + g.Room / 2);
        EXPECT_EQ(a->Bar(true).Pos, expected);
        // Far beyond the end: the last position, not more.
        const POINT beyond = OnBar(wnd, bar, TPoint(grip.X, grip.Y + g.Room + 200));
        MoveTo(wnd, beyond);
        Release(wnd, beyond);
        EXPECT_EQ(a->PressedPart(), spNone);
        EXPECT_EQ(a->Bar(true).Pos, bar.Max);
    }
    EXPECT_EQ(memo->TopLine(), memo->Lines().Count() - memo->VisibleLineCount());
}

TEST_F(ScrollAdapterTest, TheWheelStaysTheWindowsAndTheBarsFollowIt)
{
    HWND wnd = memo->Handle();
    TacScrollWnd* a = Adapter(wnd);
    ASSERT_NE(a, nullptr);
    const int painted = a->PaintCount();
    SendMessageW(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    EXPECT_EQ(memo->TopLine(), 3);
    EXPECT_EQ(a->Bar(true).Pos, 3);
    EXPECT_GT(a->PaintCount(), painted);
    // A capture taken away mid-drag ends the drag (no stuck pressed look).
    const TacScrollBarState bar = a->Bar(true);
    const TsScrollGeometry g = ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, bar.Pos);
    Press(wnd, OnBar(wnd, bar, Center(g.LineMax)));
    ASSERT_EQ(a->PressedPart(), spLineMax);
    SetCapture(form->Handle());
    EXPECT_EQ(a->PressedPart(), spNone);
    ReleaseCapture();
}

TEST_F(ScrollAdapterTest, TheAdaptersGoWithTheSkinAndComeBackWithoutLeaks)
{
    HWND wnd = memo->Handle();
    ASSERT_NE(Adapter(wnd), nullptr);
    SkinOff();
    EXPECT_EQ(provider->CtrlAdapter(), nullptr);
    EXPECT_EQ(TacMainWnd::Of(wnd), nullptr);
    const LONG_PTR ownProc = GetWindowLongPtrW(wnd, GWLP_WNDPROC);
    SkinOn();
    ASSERT_NE(Adapter(wnd), nullptr);
    // A control of the class library keeps its window procedure: the adapter
    // takes its WindowProc, so that Perform reaches it too.
    EXPECT_EQ(GetWindowLongPtrW(wnd, GWLP_WNDPROC), ownProc);
    EXPECT_EQ(memo->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    for (int i = 0; i < 3; ++i) {
        SkinOff();
        SkinOn();
    }
    const DWORD gdi = tw::test::GdiObjects();
    for (int i = 0; i < 30; ++i) {
        SkinOff();
        SkinOn();
        SendMessageW(wnd, WM_MOUSEWHEEL, MAKEWPARAM(0, i % 2 ? WHEEL_DELTA : -WHEEL_DELTA), 0);
    }
    EXPECT_LE(tw::test::GdiObjects(), gdi);
    SkinOff();
    EXPECT_EQ(GetWindowLongPtrW(wnd, GWLP_WNDPROC), ownProc);
    EXPECT_EQ(memo->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
    // A window made again gets a new adapter on the next walk.
    SkinOn();
    memo->SetScrollBars(tw::ssBoth);
    memo->Lines().Add(std::string(400, 'w'));
    tw::Application->ProcessMessages();
    HWND again = memo->Handle();
    provider->CreateCtrlAdapter();
    TacScrollWnd* a = Adapter(again);
    ASSERT_NE(a, nullptr);
    EXPECT_TRUE(a->Bar(false).Visible);
    EXPECT_EQ(provider->CtrlAdapter()->Count(), 3);
}

} // namespace
} // namespace skin

#endif
