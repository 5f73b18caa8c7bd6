// A control whose window a skin adapter has is marked as adapted (its control
// state), and gets no second adapter: not from its form's control adapter
// walking the form again, after a move to another parent or a new window, nor
// from a frame's own adapter when the form's control adapter took the frame
// first. The mark goes with the adapter and with the window. Under Wine on a
// form skinned with the program's own skin.
#include <gtest/gtest.h>

#include <functional>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

bool Marked(const tw::TControl* c) { return (c->ControlState() & tw::csSkinAdapted) != 0; }

bool PumpUntil(const std::function<bool()>& done)
{
    const ULONGLONG end = GetTickCount64() + 5000;
    while (!done() && GetTickCount64() < end) {
        tw::Application->ProcessMessages();
        Sleep(5);
    }
    return done();
}

class AdapterMarkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Marks");
        form->SetBounds(70, 70, 420, 300);
        panel = new tw::TPanel(form);
        panel->SetParent(form);
        panel->SetBounds(200, 10, 180, 200);
        memo = new tw::TMemo(form);
        memo->SetParent(form);
        memo->SetBounds(10, 10, 150, 120);
        memo->SetScrollBars(tw::ssVertical);
        form->Show();
        tw::Application->ProcessMessages();
        provider = FindProvider(form);
    }
    void TearDown() override
    {
        delete form;
        test::EndFormSkinning();
    }
    TacCtrlAdapter* Ctrl() const { return provider ? provider->CtrlAdapter() : nullptr; }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TPanel* panel = nullptr;
    tw::TMemo* memo = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_F(AdapterMarkTest, AnAdaptedControlIsMarkedAndAdaptedOnceThroughWalksAndMoves)
{
    ASSERT_NE(Ctrl(), nullptr);
    TacMainWnd* first = Ctrl()->AdapterOf(memo->Handle());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(TacMainWnd::Of(memo->Handle()), first);
    EXPECT_TRUE(Marked(memo));
    EXPECT_FALSE(Marked(panel));   // a panel has no window adapter of its own
    const int count = Ctrl()->Count();

    // Walked again: by the adapter itself and through the skin's refresh.
    Ctrl()->AdaptControl(memo);
    Ctrl()->AdaptControls();
    SendMessageW(form->Handle(), SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    ASSERT_NE(Ctrl(), nullptr);
    EXPECT_EQ(Ctrl()->Count(), count);
    EXPECT_EQ(Ctrl()->AdapterOf(memo->Handle()), TacMainWnd::Of(memo->Handle()));
    EXPECT_FALSE(Ctrl()->CanAdapt(memo));

    // Moved onto the panel: the same window, the same single adapter.
    const HWND wnd = memo->Handle();
    memo->SetParent(panel);
    tw::Application->ProcessMessages();
    ASSERT_EQ(memo->Handle(), wnd);
    EXPECT_EQ(Ctrl()->Count(), count);
    EXPECT_TRUE(Marked(memo));

    // Without a parent the window goes, and the mark with it; back on the
    // form the new window gets one adapter and the mark again.
    memo->SetParent(nullptr);
    EXPECT_FALSE(memo->HandleAllocated());
    EXPECT_FALSE(Marked(memo));
    memo->SetParent(form);
    ASSERT_TRUE(PumpUntil([&] { return Ctrl() && Ctrl()->AdapterOf(memo->HandleIfAllocated()); }));
    EXPECT_TRUE(Marked(memo));
    EXPECT_EQ(Ctrl()->Count(), count);
    Ctrl()->AdaptControls();
    EXPECT_EQ(Ctrl()->Count(), count);

    // The skin removed: the adapters go, and the mark.
    manager.SetActive(false);
    tw::Application->ProcessMessages();
    EXPECT_EQ(TacMainWnd::Of(memo->Handle()), nullptr);
    EXPECT_FALSE(Marked(memo));
}

TEST_F(AdapterMarkTest, AFrameTheFormsControlAdapterTookGetsNoSecondFromItsOwnAdapter)
{
    ASSERT_NE(Ctrl(), nullptr);
    auto* frame = new tw::TFrame(form);
    frame->SetParent(form);
    frame->SetBounds(200, 10, 150, 150);
    const HWND wnd = frame->Handle();
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) | WS_VSCROLL);
    SetScrollRange(wnd, SB_VERT, 0, 100, TRUE);
    Ctrl()->AdaptControls();
    TacMainWnd* taken = Ctrl()->AdapterOf(wnd);
    ASSERT_NE(taken, nullptr);
    EXPECT_TRUE(Marked(frame));

    // The frame's adapter comes later and hears the skin (and the frame is
    // shown again): the window keeps the one adapter it has.
    auto* adapter = new TsFrameAdapter(frame);
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager));
    frame->Perform(tw::CM_SHOWINGCHANGED, 0, 0);
    EXPECT_EQ(adapter->ScrollAdapter(), nullptr) << "a second adapter on the frame's window";
    EXPECT_EQ(TacMainWnd::Of(wnd), taken);
    delete adapter;
    EXPECT_TRUE(Marked(frame));
    EXPECT_EQ(Ctrl()->AdapterOf(wnd), taken);

    // A frame nobody took gets its own adapter's, marked while it lasts.
    SetWindowLongPtrW(wnd, GWL_STYLE, GetWindowLongPtrW(wnd, GWL_STYLE) & ~WS_VSCROLL);
    delete frame;
    auto* other = new tw::TFrame(form);
    other->SetParent(form);
    other->SetBounds(200, 10, 150, 150);
    auto* own = new TsFrameAdapter(other);
    const HWND ownWnd = other->Handle();
    SetWindowLongPtrW(ownWnd, GWL_STYLE, GetWindowLongPtrW(ownWnd, GWL_STYLE) | WS_VSCROLL);
    SendMessageW(ownWnd, SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager));
    ASSERT_NE(own->ScrollAdapter(), nullptr);
    EXPECT_TRUE(Marked(other));
    Ctrl()->AdaptControls();
    EXPECT_EQ(Ctrl()->AdapterOf(ownWnd), nullptr);
    delete own;
    EXPECT_FALSE(Marked(other));
}

} // namespace
} // namespace skin

#endif // TW_SKIN_ARCHIVE
