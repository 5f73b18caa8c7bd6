// Sending skin commands to controls and windows, broadcasting into control
// trees, and the colour and owner look-ups, on real windows.
#include <gtest/gtest.h>

#include "SkinTestControls.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

using test::TSkinnedGraphic;
using test::TSkinnedPanel;

class VclUtilsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        form = new tw::TForm(tw::Application);
        form->SetBounds(10, 10, 300, 200);
    }
    void TearDown() override { delete form; }
    tw::TForm* form = nullptr;
};

TEST_F(VclUtilsTest, BroadcastSkipsForeignWindowsButReachesTheirChildren)
{
    auto* a = new TSkinnedPanel(form);
    a->SetParent(form);
    auto* foreign = new TSkinnedPanel(form);
    foreign->Skinned = false;
    foreign->SetParent(form);
    auto* inner = new TSkinnedPanel(form);
    inner->SetParent(foreign);
    auto* graphic = new TSkinnedGraphic(form);
    graphic->SetParent(foreign);
    form->LoadTree();
    form->Handle();

    tw::TMessage m{SM_ALPHACMD, SkinWParam(AC_SKINREFRESH), 0, 0};
    BroadcastToChildren(form, m);
    EXPECT_EQ(a->Commands, std::vector<uint16_t>{AC_SKINREFRESH});
    EXPECT_TRUE(foreign->Commands.empty());
    EXPECT_EQ(inner->Commands, std::vector<uint16_t>{AC_SKINREFRESH});
    EXPECT_EQ(graphic->Commands, std::vector<uint16_t>{AC_SKINREFRESH});

    // Children of a window without handle get it through their procedure.
    auto* loose = new TSkinnedPanel(form);
    auto* unmade = new TSkinnedPanel(form);
    unmade->SetParent(loose);
    BroadcastToChildren(loose, m);
    EXPECT_FALSE(unmade->HandleAllocated());
    EXPECT_EQ(unmade->Commands, std::vector<uint16_t>{AC_SKINREFRESH});
}

TEST_F(VclUtilsTest, BroadcastStopsAtAChildGoingAway)
{
    auto* first = new TSkinnedPanel(form);
    first->SetParent(form);
    auto* dying = new TSkinnedPanel(form);
    dying->SetParent(form);
    auto* last = new TSkinnedPanel(form);
    last->SetParent(form);
    form->Handle();
    dying->Destroying();
    tw::TMessage m{SM_ALPHACMD, SkinWParam(AC_RESETCACHE), 0, 0};
    BroadcastToChildren(form, m);
    EXPECT_EQ(first->Commands.size(), 1u);
    EXPECT_TRUE(dying->Commands.empty());
    EXPECT_TRUE(last->Commands.empty());
    // Nor does a single command reach it.
    EXPECT_EQ(SendSkinCommandToControl(dying, AC_QUERYCOLOR), 0);
}

TEST_F(VclUtilsTest, AnswersAreOnlyYesWhenExactlyOne)
{
    auto* p = new TSkinnedPanel(form);
    p->SetParent(form);
    form->Handle();
    EXPECT_TRUE(AskWindow(p->Handle(), AC_QUERYSKINNED));
    EXPECT_FALSE(AskWindow(p->Handle(), AC_QUERYCOLOR)); // answers $123456
    EXPECT_FALSE(AskWindow(form->Handle(), AC_QUERYSKINNED));
    EXPECT_EQ(SendSkinCommand(p->Handle(), AC_QUERYCOLOR), 0x123456);

    // A plain button knows nothing of the protocol and answers 0.
    auto* b = new tw::TButton(form);
    b->SetParent(form);
    EXPECT_EQ(AskControl(b, AC_QUERYSKINNED), 0);
}

TEST_F(VclUtilsTest, ColoursOfControlsAndWindows)
{
    EXPECT_EQ(GetControlColor(nullptr), clKeyColor);
    EXPECT_EQ(GetWindowColor(nullptr), clKeyColor);
    auto* p = new TSkinnedPanel(form);
    p->SetParent(form);
    auto* plain = new tw::TPanel(form);
    plain->SetParent(form);
    plain->SetColor(0x00AABB);
    form->Handle();
    EXPECT_EQ(GetControlColor(p), 0x123456);
    EXPECT_EQ(GetWindowColor(p->Handle()), 0x123456);
    EXPECT_EQ(GetControlColor(plain), 0x00AABB);
    // A system colour is turned into its RGB value.
    plain->SetColor(tw::clWindow);
    EXPECT_EQ(GetControlColor(plain), static_cast<TColor>(GetSysColor(COLOR_WINDOW)));
}

TEST_F(VclUtilsTest, OwnersParentsAndReadiness)
{
    EXPECT_EQ(GetOwnerForm(form), form);
    auto* p = new TSkinnedPanel(form);
    auto* owned = new tw::TTimer(p);
    EXPECT_EQ(GetOwnerForm(owned), form);
    EXPECT_EQ(GetOwnerForm(tw::Application), nullptr);
    EXPECT_FALSE(ControlIsReady(p)); // no parent, no window
    p->SetParent(form);
    auto* inner = new TSkinnedPanel(form);
    inner->SetParent(p);
    form->Handle();
    EXPECT_TRUE(ControlIsReady(p));
    EXPECT_EQ(GetTopParentWindow(inner->Handle()), form->Handle());
    EXPECT_FALSE(ControlIsReady(nullptr));
}

TEST_F(VclUtilsTest, RefreshReachesShowingWindowedChildrenOnly)
{
    auto* shown = new TSkinnedPanel(form);
    shown->SetParent(form);
    auto* hidden = new TSkinnedPanel(form);
    hidden->SetParent(form);
    hidden->SetVisible(false);
    auto* graphic = new TSkinnedGraphic(form);
    graphic->SetParent(form);
    form->Show();
    RefreshChildren(form);
    EXPECT_EQ(shown->Commands, std::vector<uint16_t>{AC_REFRESHSTATE});
    EXPECT_TRUE(hidden->Commands.empty());
    EXPECT_TRUE(graphic->Commands.empty());

    AnimationRunning = 1;
    RefreshChildren(form);
    AnimationRunning = 0;
    EXPECT_EQ(shown->Commands.size(), 1u);

    RefreshChildWindows(form->Handle());
    EXPECT_EQ(shown->Commands.size(), 2u);
    EXPECT_EQ(hidden->Commands.size(), 1u);
}

TEST_F(VclUtilsTest, ChildWindowBroadcastReachesDirectChildrenOnly)
{
    auto* outer = new TSkinnedPanel(form);
    outer->SetParent(form);
    auto* inner = new TSkinnedPanel(form);
    inner->SetParent(outer);
    form->Handle();
    tw::TMessage m{SM_ALPHACMD, SkinWParam(AC_BGCHANGED), 0, 0};
    BroadcastToChildWindows(form->Handle(), m);
    EXPECT_EQ(outer->Commands.size(), 1u);
    EXPECT_TRUE(inner->Commands.empty());
}

TEST_F(VclUtilsTest, GeometryAndTextFlags)
{
    auto* top = new tw::TPanel(form);
    top->SetParent(form);
    top->SetAlign(tw::alTop);
    top->SetHeight(30);
    auto* top2 = new tw::TPanel(form);
    top2->SetParent(form);
    top2->SetAlign(tw::alTop);
    top2->SetHeight(20);
    auto* label = new tw::TLabel(form);
    label->SetParent(form);
    label->SetAlign(tw::alTop);
    label->SetHeight(15);
    form->Handle();
    EXPECT_EQ(AlignedChildrenSize(form, tw::alTop, false), 50);
    EXPECT_EQ(AlignedChildrenSize(form, tw::alTop, true), 65);
    EXPECT_EQ(AlignedChildrenSize(form, tw::alLeft, true), 0);

    const TRect client = GetClientRectInWindow(form->Handle());
    RECT cr;
    GetClientRect(form->Handle(), &cr);
    EXPECT_EQ(client.Width(), cr.right);
    EXPECT_GT(client.Top, 0); // below the caption

    EXPECT_EQ(TextFlagsByAlignment(tw::taCenter), UINT(DT_CENTER | DT_EXPANDTABS | DT_VCENTER));
    EXPECT_EQ(TextFlagsByAlignment(tw::taRightJustify), UINT(DT_RIGHT | DT_EXPANDTABS | DT_VCENTER));
}

} // namespace
} // namespace skin
