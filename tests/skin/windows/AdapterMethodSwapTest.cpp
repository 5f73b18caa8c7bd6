// An adapter on a control or form of the class library takes the control's
// WindowProc, not its window procedure: Perform reaches the adapter as well
// as the window's messages, and the control's own WindowProc comes back when
// the adapter goes, also when another method was put on top of it meanwhile.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A method of the test's own type, so that the test can tell whether it is
// the control's WindowProc again; it counts what reaches it.
struct CountingMethod {
    tw::TWndMethod Next;
    std::shared_ptr<std::vector<UINT>> Heard;
    void operator()(tw::TMessage& m) const
    {
        Heard->push_back(m.Msg);
        Next(m);
    }
};

class AdapterMethodSwap : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetBounds(60, 60, 300, 200);
        panel = new tw::TPanel(form);
        panel->SetParent(form);
        panel->SetBounds(10, 10, 120, 80);
        form->HandleNeeded();
        panel->HandleNeeded();
        // The panel's own WindowProc, recognisable by its type.
        panel->WindowProc = CountingMethod{panel->WindowProc, heard};
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    LRESULT Query(tw::TControl* c) { return c->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0); }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TPanel* panel = nullptr;
    std::shared_ptr<std::vector<UINT>> heard = std::make_shared<std::vector<UINT>>();
};

TEST_F(AdapterMethodSwap, PerformReachesTheAdapterAndTheWindowProcComesBack)
{
    const LONG_PTR windowProc = GetWindowLongPtrW(panel->Handle(), GWLP_WNDPROC);
    ASSERT_EQ(Query(panel), 0);   // the panel alone is not skinned
    auto adapter = std::make_unique<TacMainWnd>(panel->Handle(), &manager, "PANEL", "TacMainWnd");
    // The window procedure stays the class library's; the adapter answers
    // through the WindowProc, for Perform and for sent messages alike.
    EXPECT_EQ(GetWindowLongPtrW(panel->Handle(), GWLP_WNDPROC), windowProc);
    EXPECT_EQ(panel->WindowProc.target<CountingMethod>(), nullptr);
    EXPECT_EQ(Query(panel), 1);
    EXPECT_EQ(SendMessageW(panel->Handle(), SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    // What the adapter does not answer goes on to the panel's own method.
    heard->clear();
    panel->Perform(WM_USER + 7, 0, 0);
    ASSERT_EQ(heard->size(), 1u);
    EXPECT_EQ(heard->front(), UINT(WM_USER + 7));

    adapter.reset();
    EXPECT_NE(panel->WindowProc.target<CountingMethod>(), nullptr);
    EXPECT_EQ(Query(panel), 0);
    EXPECT_EQ(TacMainWnd::Of(panel->Handle()), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(panel->Handle(), GWLP_WNDPROC), windowProc);
}

TEST_F(AdapterMethodSwap, AFormsAdapterHearsPerformToo)
{
    ASSERT_EQ(Query(form), 0);
    auto adapter = std::make_unique<TacMainWnd>(form->Handle(), &manager, "FORM", "TacMainWnd");
    EXPECT_EQ(Query(form), 1);
    adapter.reset();
    EXPECT_EQ(Query(form), 0);
}

TEST_F(AdapterMethodSwap, UnderAnotherMethodTheChainStaysWholeAndTheControlEndsCleanly)
{
    auto adapter = std::make_unique<TacMainWnd>(panel->Handle(), &manager, "PANEL", "TacMainWnd");
    // Another method comes after the adapter; then the skin goes.
    auto upper = std::make_shared<std::vector<UINT>>();
    panel->WindowProc = CountingMethod{panel->WindowProc, upper};
    adapter.reset();
    // The upper method keeps its place, the adapter no longer answers, and
    // messages still reach the panel's own method below.
    EXPECT_NE(panel->WindowProc.target<CountingMethod>(), nullptr);
    heard->clear();
    EXPECT_EQ(Query(panel), 0);
    EXPECT_EQ(heard->size(), 1u);
    EXPECT_FALSE(upper->empty());

    // The skin comes back while the upper method is still there.
    adapter = std::make_unique<TacMainWnd>(panel->Handle(), &manager, "PANEL", "TacMainWnd");
    EXPECT_EQ(Query(panel), 1);
    adapter.reset();
    EXPECT_EQ(Query(panel), 0);

    // The control makes a new window under the adapter's method (the class
    // library tells nobody): the adapter has ended with its window and the
    // new window is not taken for it; the chain below still answers.
    adapter = std::make_unique<TacMainWnd>(panel->Handle(), &manager, "PANEL", "TacMainWnd");
    ASSERT_EQ(Query(panel), 1);
    panel->RecreateWnd();
    ASSERT_TRUE(panel->HandleAllocated());
    heard->clear();
    EXPECT_EQ(Query(panel), 0);
    EXPECT_EQ(heard->size(), 1u);
    EXPECT_TRUE(adapter->Unsubclassed());
    EXPECT_NE(panel->WindowProc.target<CountingMethod>(), nullptr);
    adapter.reset();
    EXPECT_EQ(SendMessageW(panel->Handle(), SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
}

} // namespace
} // namespace skin
#endif
