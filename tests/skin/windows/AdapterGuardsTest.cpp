// The adapters of a system dialog's children, of a scroll bar under the
// mouse and of an MDI client, each freed by what the message it passed on
// set off: a click reaches the dialog, whose own procedure takes the skin
// away; a scroll reaches the window, which does the same; an MDI child's
// activation makes the helper let its client go. Freed memory is watched:
// after passing the message on, each adapter must not touch itself.
// And a dialog's fields decide who paints its client, a hidden edit too.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

#include "FreedMemory.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sMDIForm.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A window's own procedure, under the adapter that the dialog skinning puts
// on top of it, that takes the skin away once when it handles a message
// that When picks.
class TSkinTaker {
public:
    TSkinTaker(HWND wnd, std::function<bool(UINT, WPARAM, LPARAM)> when, std::function<void()> take)
        : wnd_(wnd), when_(std::move(when)), take_(std::move(take))
    {
        SetPropW(wnd_, kProperty, this);
        own_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    // The window's own procedure back, where the taker is still on top.
    ~TSkinTaker()
    {
        if (!IsWindow(wnd_))
            return;
        if (GetWindowLongPtrW(wnd_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Proc))
            SetWindowLongPtrW(wnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own_));
        RemovePropW(wnd_, kProperty);
    }
    TSkinTaker(const TSkinTaker&) = delete;
    TSkinTaker& operator=(const TSkinTaker&) = delete;

    // Nothing is taken until the test arms the taker.
    bool Armed = false;
    int Taken = 0;

private:
    static constexpr const wchar_t* kProperty = L"TwTestSkinTaker";
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        auto* self = static_cast<TSkinTaker*>(GetPropW(wnd, kProperty));
        if (msg == WM_NCDESTROY)
            RemovePropW(wnd, kProperty);
        if (!self)
            return DefWindowProcW(wnd, msg, wp, lp);
        const WNDPROC own = self->own_;
        if (self->Armed && self->when_(msg, wp, lp)) {
            self->Armed = false;
            ++self->Taken;
            self->take_();
        }
        return CallWindowProcW(own, wnd, msg, wp, lp);
    }
    HWND wnd_;
    std::function<bool(UINT, WPARAM, LPARAM)> when_;
    std::function<void()> take_;
    WNDPROC own_ = nullptr;
};

// What the dialog hears of a child: the notification code of a WM_COMMAND
// or the scroll message that the child sends.
std::function<bool(UINT, WPARAM, LPARAM)> CommandFrom(HWND child, WORD code)
{
    return [child, code](UINT msg, WPARAM wp, LPARAM lp) {
        return msg == WM_COMMAND && HIWORD(wp) == code && reinterpret_cast<HWND>(lp) == child;
    };
}

std::function<bool(UINT, WPARAM, LPARAM)> ScrollOf(WORD code)
{
    return [code](UINT msg, WPARAM wp, LPARAM) { return msg == WM_VSCROLL && LOWORD(wp) == code; };
}

// A system dialog skinned by the window hook with the program's skin, its
// children made before, so that the hook adapts them with it.
class AdapterGuards : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_UPDOWN_CLASS};
        InitCommonControlsEx(&icc);
        dialog = CreateWindowExW(0, L"#32770", L"Dialog", WS_POPUP | WS_CAPTION | WS_SYSMENU, 70, 70, 340, 230,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override
    {
        ReleaseCapture();
        if (dialog)
            DestroyWindow(dialog);
        taker.reset();
        test::EndFormSkinning();
    }
    HWND Child(const wchar_t* cls, DWORD style, int x, int y, int w, int h, int id = 0)
    {
        return CreateWindowExW(0, cls, L"Choice", WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog,
                               reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
    }
    // The skin taken away by the window's own procedure when it handles
    // what when picks; then the dialog skinned and shown.
    void SkinWithTaker(HWND wnd, std::function<bool(UINT, WPARAM, LPARAM)> when)
    {
        taker = std::make_unique<TSkinTaker>(wnd, std::move(when), [this] { manager.SetActive(false); });
        ASSERT_TRUE(HookActivatedWindow(dialog));
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        tw::Application->ProcessMessages();
        ASSERT_NE(FindProvider(dialog), nullptr);
    }
    // After the skin went: the adapter was freed, and not touched since.
    // by: the window that took it, when it was not the taker's.
    void ExpectFreedUntouched(const tw::test::TFreedMemoryWatch& watch, const TacMainWnd* adapter, HWND wnd,
                              const TSkinTaker* by = nullptr)
    {
        tw::Application->ProcessMessages();
        EXPECT_EQ((by ? by : taker.get())->Taken, 1) << "the skin was not taken away";
        EXPECT_EQ(FindProvider(dialog), nullptr);
        EXPECT_EQ(TacMainWnd::Of(wnd), nullptr);
        EXPECT_TRUE(watch.WasFreed(adapter)) << "the adapter was not freed";
        EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    }
    TsSkinManager manager;
    HWND dialog = nullptr;
    std::unique_ptr<TSkinTaker> taker;
};

// The push button's adapter is the base with one flag more, which lies in
// the base's tail padding or one alignment step beyond it.
constexpr std::size_t kBaseAdapter = sizeof(TacMainWnd);
constexpr std::size_t kBaseAdapterAndFlag = sizeof(TacMainWnd) + alignof(TacMainWnd);

TEST_F(AdapterGuards, AButtonWhoseClickTakesTheSkinAwayLeavesItsFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({kBaseAdapter, kBaseAdapterAndFlag});
    const HWND button = Child(L"BUTTON", BS_PUSHBUTTON, 20, 20, 100, 26, 101);
    ASSERT_NE(button, nullptr);
    SkinWithTaker(dialog, CommandFrom(button, BN_CLICKED));
    const TacMainWnd* adapter = TacMainWnd::Of(button);
    ASSERT_NE(adapter, nullptr);
    ASSERT_STREQ(adapter->Kind(), "TacBtnWnd");
    ASSERT_TRUE(watch.Watches(adapter));
    taker->Armed = true;
    SendMessageW(button, BM_CLICK, 0, 0);
    ExpectFreedUntouched(watch, adapter, button);
}

TEST_F(AdapterGuards, ACheckBoxWhoseClickTakesTheSkinAwayLeavesItsFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacCheckBoxWnd)});
    const HWND box = Child(L"BUTTON", BS_AUTOCHECKBOX, 20, 20, 140, 22, 102);
    ASSERT_NE(box, nullptr);
    SkinWithTaker(dialog, CommandFrom(box, BN_CLICKED));
    const auto* adapter = dynamic_cast<const TacCheckBoxWnd*>(TacMainWnd::Of(box));
    ASSERT_NE(adapter, nullptr);
    ASSERT_TRUE(adapter->Painted());
    ASSERT_TRUE(watch.Watches(adapter));
    taker->Armed = true;
    SendMessageW(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    ExpectFreedUntouched(watch, adapter, box);
}

TEST_F(AdapterGuards, AnEditWhoseFocusTakesTheSkinAwayLeavesItsFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacEditWnd)});
    const HWND edit = Child(L"EDIT", WS_BORDER, 20, 20, 160, 24, 103);
    ASSERT_NE(edit, nullptr);
    SkinWithTaker(dialog, CommandFrom(edit, EN_SETFOCUS));
    const auto* adapter = dynamic_cast<const TacEditWnd*>(TacMainWnd::Of(edit));
    ASSERT_NE(adapter, nullptr);
    ASSERT_TRUE(watch.Watches(adapter));
    taker->Armed = true;
    SetFocus(edit);
    ExpectFreedUntouched(watch, adapter, edit);
}

TEST_F(AdapterGuards, ASpinWhosePressTakesTheSkinAwayLeavesItsFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacSpinWnd)});
    const HWND spin = Child(UPDOWN_CLASSW, 0, 20, 20, 20, 40, 104);
    ASSERT_NE(spin, nullptr);
    SendMessageW(spin, UDM_SETRANGE32, 0, 100);
    SendMessageW(spin, UDM_SETPOS32, 0, 50);
    // The spin tells its dialog of the new position.
    SkinWithTaker(dialog, [spin](UINT msg, WPARAM, LPARAM lp) {
        return msg == WM_VSCROLL && reinterpret_cast<HWND>(lp) == spin;
    });
    const auto* adapter = dynamic_cast<const TacSpinWnd*>(TacMainWnd::Of(spin));
    ASSERT_NE(adapter, nullptr);
    ASSERT_TRUE(watch.Watches(adapter));
    taker->Armed = true;
    // On the upper button.
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
    ExpectFreedUntouched(watch, adapter, spin);
    SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
}

// A list on the dialog whose bar the skin draws; the list's own procedure
// takes the skin away when it hears the scroll the press on the bar sends.
class ScrollAdapterGuards : public AdapterGuards {
protected:
    void MakeList(std::function<bool(UINT, WPARAM, LPARAM)> when)
    {
        list = Child(L"LISTBOX", WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 10, 10, 200, 120);
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < 40; ++i)
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"item"));
        SkinWithTaker(list, std::move(when));
        adapter = dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(list));
        ASSERT_NE(adapter, nullptr);
    }
    // Presses the bar fromTop pixels below its top (a negative value counts
    // from its bottom): the part there is pressed, the mouse held.
    void Press(int fromTop, TsScrollPart part)
    {
        Aim(fromTop);
        SendMessageW(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(at.x, at.y));
        ASSERT_EQ(adapter->PressedPart(), part);
        ASSERT_EQ(GetCapture(), list);
    }
    void Aim(int fromTop)
    {
        adapter->UpdateScrollState(false);
        const TacScrollBarState bar = adapter->Bar(true);
        ASSERT_TRUE(bar.Visible && bar.Enabled);
        RECT wr;
        GetWindowRect(list, &wr);
        at = POINT{wr.left + (bar.Rect.Left + bar.Rect.Right) / 2,
                   wr.top + (fromTop >= 0 ? bar.Rect.Top + fromTop : bar.Rect.Bottom + fromTop)};
    }
    // A point of the list's client, as the mouse messages of a held mouse
    // give it, dy pixels below where the bar was pressed.
    LPARAM ClientPoint(int dy) const
    {
        POINT p{at.x, at.y + dy};
        ScreenToClient(list, &p);
        return MAKELPARAM(p.x, p.y);
    }
    void ExpectPressEnded()
    {
        EXPECT_NE(GetCapture(), list) << "the mouse is still held for the bar";
        EXPECT_FALSE(KillTimer(list, ScrollRepeatTimer)) << "the press still repeats";
    }
    HWND list = nullptr;
    TacScrollWnd* adapter = nullptr;
    POINT at{0, 0};
};

TEST_F(ScrollAdapterGuards, AReleaseWhoseEndOfScrollTakesTheSkinAwayLeavesTheFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacEditWnd)});
    MakeList(ScrollOf(SB_ENDSCROLL));
    ASSERT_TRUE(watch.Watches(adapter));
    Press(-3, spLineMax);
    taker->Armed = true;
    SendMessageW(list, WM_LBUTTONUP, 0, ClientPoint(0));
    ExpectFreedUntouched(watch, adapter, list);
    ExpectPressEnded();
}

// The bar drawn in its released look (no part hot any more) tells the
// window that the skin painted it; the window's handling of that takes the
// skin away.
TEST_F(ScrollAdapterGuards, AReleaseWhoseRepaintTakesTheSkinAwayLeavesTheFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacEditWnd)});
    // Asked only while the adapter lives: the taker is disarmed once it took.
    MakeList([this](UINT msg, WPARAM wp, LPARAM) {
        return msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_SCROLLPAINT && adapter->HotPart() == spNone;
    });
    ASSERT_TRUE(watch.Watches(adapter));
    Press(-3, spLineMax);
    taker->Armed = true;
    SendMessageW(list, WM_LBUTTONUP, 0, ClientPoint(0));
    ExpectFreedUntouched(watch, adapter, list);
    ExpectPressEnded();
}

TEST_F(ScrollAdapterGuards, ADraggedThumbWhoseScrollTakesTheSkinAwayLeavesTheFreedAdapterUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacEditWnd)});
    MakeList(ScrollOf(SB_THUMBTRACK));
    ASSERT_TRUE(watch.Watches(adapter));
    // The thumb lies under the upper arrow at the first position.
    Press(GetSystemMetrics(SM_CXVSCROLL) + 3, spThumb);
    taker->Armed = true;
    SendMessageW(list, WM_MOUSEMOVE, MK_LBUTTON, ClientPoint(30));
    ExpectFreedUntouched(watch, adapter, list);
    ExpectPressEnded();
}

// Each message the bar's adapter passes on to the list, or sets off while
// it handles a press, whose handling takes the skin away.
enum class TPassedOn {
    FramePaint,
    Print,
    FocusByPress,
    MouseHeldElsewhere,
    PressedLook,
    FirstScroll,
    RepaintAfterScroll,
    MouseLeft,
    MouseTaken
};

std::string PassedOnName(const ::testing::TestParamInfo<TPassedOn>& p)
{
    switch (p.param) {
    case TPassedOn::FramePaint: return "FramePaint";
    case TPassedOn::Print: return "Print";
    case TPassedOn::FocusByPress: return "FocusByPress";
    case TPassedOn::MouseHeldElsewhere: return "MouseHeldElsewhere";
    case TPassedOn::PressedLook: return "PressedLook";
    case TPassedOn::FirstScroll: return "FirstScroll";
    case TPassedOn::RepaintAfterScroll: return "RepaintAfterScroll";
    case TPassedOn::MouseLeft: return "MouseLeft";
    default: return "MouseTaken";
    }
}

class PassedOnScrollGuards : public ScrollAdapterGuards, public ::testing::WithParamInterface<TPassedOn> {
protected:
    void TearDown() override
    {
        ScrollAdapterGuards::TearDown();
        holder.reset();
    }
    // A label on the dialog that holds the mouse before the press, and
    // takes the skin away when it loses it.
    std::unique_ptr<TSkinTaker> holder;
};

TEST_P(PassedOnScrollGuards, TheBarsAdapterFreedByTheListsHandlingIsNotTouchedAfterwards)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacEditWnd)});
    const auto is = [](UINT wanted) { return [wanted](UINT msg, WPARAM, LPARAM) { return msg == wanted; }; };
    switch (GetParam()) {
    case TPassedOn::FramePaint: MakeList(is(WM_NCPAINT)); break;
    case TPassedOn::Print: MakeList(is(WM_PRINT)); break;
    case TPassedOn::FocusByPress: MakeList(is(WM_SETFOCUS)); break;
    case TPassedOn::PressedLook:
        // The first paint of the bar with its arrow held.
        MakeList([this](UINT msg, WPARAM wp, LPARAM) {
            return msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_SCROLLPAINT && adapter->PressedPart() != spNone;
        });
        break;
    case TPassedOn::MouseHeldElsewhere: {
        const HWND label = Child(L"STATIC", 0, 220, 10, 80, 20);
        ASSERT_NE(label, nullptr);
        holder = std::make_unique<TSkinTaker>(
            label, [](UINT msg, WPARAM, LPARAM) { return msg == WM_CAPTURECHANGED; },
            [this] { manager.SetActive(false); });
        MakeList([](UINT, WPARAM, LPARAM) { return false; });
        SetCapture(label);
        holder->Armed = true;
        break;
    }
    case TPassedOn::FirstScroll: MakeList(ScrollOf(SB_LINEDOWN)); break;
    case TPassedOn::RepaintAfterScroll:
        // The bar painted again once the scroll the press made is over.
        MakeList([scrolled = false](UINT msg, WPARAM wp, LPARAM) mutable {
            if (msg != SM_ALPHACMD)
                return false;
            scrolled = scrolled || SkinCommandOf(wp) == AC_AFTERSCROLL;
            return scrolled && SkinCommandOf(wp) == AC_SCROLLPAINT;
        });
        break;
    case TPassedOn::MouseLeft: MakeList(is(WM_NCMOUSELEAVE)); break;
    case TPassedOn::MouseTaken: MakeList(is(WM_CAPTURECHANGED)); break;
    }
    ASSERT_TRUE(watch.Watches(adapter));
    const TacMainWnd* freed = adapter;
    if (GetParam() == TPassedOn::FocusByPress) {
        // A press on the bar of a list without the focus gives it the focus.
        SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | WS_TABSTOP);
        ASSERT_NE(GetFocus(), list);
    }
    if (GetParam() == TPassedOn::MouseTaken)
        Press(-3, spLineMax);
    else
        Aim(-3);
    taker->Armed = true;
    switch (GetParam()) {
    case TPassedOn::FramePaint:
        SendMessageW(list, WM_NCPAINT, 1, 0);
        break;
    case TPassedOn::Print: {
        RECT wr;
        GetWindowRect(list, &wr);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, wr.right - wr.left, wr.bottom - wr.top);
        HGDIOBJ old = SelectObject(dc, bmp);
        SendMessageW(list, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_NONCLIENT);
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        break;
    }
    case TPassedOn::MouseLeft:
        SendMessageW(list, WM_NCMOUSELEAVE, 0, 0);
        break;
    case TPassedOn::MouseTaken:
        // Another window takes the mouse while the arrow is held.
        ReleaseCapture();
        break;
    default:
        SendMessageW(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(at.x, at.y));
        break;
    }
    ExpectFreedUntouched(watch, freed, list, holder.get());
    ExpectPressEnded();
}

INSTANTIATE_TEST_SUITE_P(Messages, PassedOnScrollGuards,
                         ::testing::Values(TPassedOn::FramePaint, TPassedOn::Print, TPassedOn::FocusByPress,
                                           TPassedOn::MouseHeldElsewhere, TPassedOn::PressedLook,
                                           TPassedOn::FirstScroll, TPassedOn::RepaintAfterScroll,
                                           TPassedOn::MouseLeft, TPassedOn::MouseTaken),
                         PassedOnName);

// An MDI parent's client window whose adapter the form's helper lets go
// while a child is made: the new child, told that it is active, has the
// helper drop the client's adapter.
std::function<void()> g_childActivated;

LRESULT CALLBACK GuardMdiChildProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_MDIACTIVATE && reinterpret_cast<HWND>(lp) == wnd && g_childActivated) {
        const std::function<void()> once = std::move(g_childActivated);
        g_childActivated = nullptr;
        once();
    }
    return DefMDIChildProcW(wnd, msg, wp, lp);
}

class MdiAdapterGuard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = test::ShowForm("MDI parent", 60, 60, 400, 300);
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
        CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
        client = CreateWindowW(L"MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 380, 250,
                               form->Handle(), nullptr, nullptr, &ccs);
        ASSERT_NE(client, nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = GuardMdiChildProc;
        wc.lpszClassName = L"TwGuardMdiChild";
        RegisterClassW(&wc);
    }
    void TearDown() override
    {
        g_childActivated = nullptr;
        helper.reset();
        delete form;
        test::EndFormSkinning();
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
    HWND client = nullptr;
    std::unique_ptr<TsMDIForm> helper;
};

TEST_F(MdiAdapterGuard, AChildWhoseActivationFreesTheClientsAdapterLeavesItUntouched)
{
    tw::test::TFreedMemoryWatch watch({sizeof(TacMDIWnd)});
    helper = std::make_unique<TsMDIForm>(provider, client);
    helper->ConnectToClientIfNeeded();
    const TacMDIWnd* adapter = helper->MDIAdapter();
    ASSERT_NE(adapter, nullptr);
    ASSERT_TRUE(watch.Watches(adapter));
    const int repaints = helper->FrameRepaints();
    int activated = 0;
    g_childActivated = [&] {
        ++activated;
        helper->DisconnectFromClient();
    };
    MDICREATESTRUCTW mcs{L"TwGuardMdiChild", L"child", nullptr, 0, 0, 120, 80, 0, 0};
    const HWND child = reinterpret_cast<HWND>(SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)));
    tw::Application->ProcessMessages();
    EXPECT_NE(child, nullptr);
    EXPECT_EQ(activated, 1) << "the child was not activated";
    EXPECT_EQ(helper->MDIAdapter(), nullptr);
    EXPECT_EQ(TacMainWnd::Of(client), nullptr);
    EXPECT_TRUE(watch.WasFreed(adapter)) << "the client's adapter was not freed";
    EXPECT_EQ(watch.Touches(), 0) << "freed memory was touched at " << tw::test::TFreedMemoryWatch::LastTouchAt();
    // The adapter that went has the frame repainted no more.
    EXPECT_EQ(helper->FrameRepaints(), repaints);
}

// From version 7 on the system paints a dialog's client and the skin lets
// the dialog's own painting go; a dialog with a field paints its client
// itself, even when the field is a hidden edit.
class DialogClientPainting : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        savedVersion = PlatformAnswers().MajorVersion;
        PlatformAnswers().MajorVersion = [] { return DWORD(7); };
    }
    void TearDown() override
    {
        PlatformAnswers().MajorVersion = savedVersion;
        test::EndFormSkinning();
    }
    // How often the dialog's own procedure painted its client, once the
    // dialog with the given field (none when cls is null) was skinned and
    // its client drawn.
    int OwnPaints(const wchar_t* cls, DWORD style)
    {
        const HWND dialog = CreateWindowExW(0, L"#32770", L"Dialog", WS_POPUP | WS_CAPTION, 70, 70, 300, 200, nullptr,
                                            nullptr, nullptr, nullptr);
        if (!dialog)
            return -1;
        CreateWindowExW(0, L"STATIC", L"Name:", WS_CHILD | WS_VISIBLE, 10, 10, 80, 20, dialog, nullptr, nullptr,
                        nullptr);
        if (cls)
            CreateWindowExW(0, cls, L"", WS_CHILD | style, 10, 40, 160, 24, dialog, nullptr, nullptr, nullptr);
        int paints = 0;
        TSkinTaker counter(
            dialog,
            [&](UINT msg, WPARAM, LPARAM) {
                paints += msg == WM_PAINT;
                return false;
            },
            [] {});
        counter.Armed = true;
        const bool skinned = HookActivatedWindow(dialog) && FindProvider(dialog);
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        tw::Application->ProcessMessages();
        DestroyWindow(dialog);
        SweepDestroyedDialogs();
        return skinned ? paints : -1;
    }
    TsSkinManager manager;
    std::function<DWORD()> savedVersion;
};

TEST_F(DialogClientPainting, AHiddenEditStillHasTheDialogPaintItsOwnClient)
{
    EXPECT_EQ(OwnPaints(nullptr, 0), 0) << "a dialog without fields painted its own client";
    EXPECT_GT(OwnPaints(L"EDIT", 0), 0) << "a dialog with a hidden edit did not paint its own client";
    EXPECT_GT(OwnPaints(L"EDIT", WS_VISIBLE), 0);
}

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
