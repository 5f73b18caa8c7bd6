// The control adapter of a skinned form passing the skin's messages on to
// every control it adapted: the windows with an adapter hear them, the
// foreign controls with a link of their own drop the skin on its removal.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acCtrlAdapter.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::vector<uint16_t> g_heard;
WNDPROC g_memoProc = nullptr;
LRESULT CALLBACK HeardBelow(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD)
        g_heard.push_back(SkinCommandOf(wp));
    return CallWindowProcW(g_memoProc, wnd, msg, wp, lp);
}

class ControlAdapterMessagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetBounds(60, 60, 320, 220);
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
};

TEST_F(ControlAdapterMessagesTest, EveryAdaptedControlHearsTheSkinsMessagesAndLinksDropTheSkinOnRemoval)
{
    manager.ThirdParty.SetString(ThirdPartyList::ThirdPanels, "TPanel");
    manager.UpdateThirdLists();
    auto* memo = new tw::TMemo(form);
    memo->SetParent(form);
    memo->SetBounds(10, 10, 150, 120);
    memo->SetScrollBars(tw::ssVertical);
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    panel->SetBounds(170, 10, 120, 120);
    form->HandleNeeded();
    memo->HandleNeeded();
    panel->HandleNeeded();
    // Under the adapter that will come: what the memo's window hears.
    g_heard.clear();
    g_memoProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(memo->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HeardBelow)));

    TacCtrlAdapter adapter(form, &manager);
    adapter.AdaptControls();
    ASSERT_NE(adapter.AdapterOf(memo->Handle()), nullptr);
    TsCommonData* link = adapter.SkinLinkOf(panel);
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(link->Skinned());
    ASSERT_GE(link->SkinIndex, 0);

    // A refresh reaches the memo's window through its adapter.
    tw::TMessage refresh{SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), reinterpret_cast<LPARAM>(&manager), 0};
    adapter.SkinMessage(refresh);
    EXPECT_EQ(g_heard, std::vector<uint16_t>{AC_SKINREFRESH});
    EXPECT_TRUE(link->BGChangedFlag);

    // The removal: the link has no section of the skin left, the memo heard it.
    g_heard.clear();
    tw::TMessage removed{SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(&manager), 0};
    adapter.SkinMessage(removed);
    EXPECT_EQ(g_heard, std::vector<uint16_t>{AC_SKINREMOVED});
    EXPECT_EQ(link->SkinIndex, -1);
    EXPECT_EQ(link->BorderIndex, -1);

    // Other messages are not the adapter's to pass.
    g_heard.clear();
    tw::TMessage other{WM_USER + 7, 0, 0, 0};
    adapter.SkinMessage(other);
    EXPECT_TRUE(g_heard.empty());
}

} // namespace
} // namespace skin

#endif
