// The skin link's riskier answers with real windows: the background a
// transparent control hands on, whether a container's children may draw
// without its picture, whose font colours a control takes, the hot state a
// control paints with, and what hovering does to sibling speed buttons and
// to the halos on screen.
#include <gtest/gtest.h>

#include <windows.h>

#include "OwnSkin.h"
#include "skin/controls/sButtons.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

// Controls wired the way every skinned control is: the link first.
template <class Base> class TLinked : public Base {
public:
    TLinked(tw::TComponent* owner, int32_t kind) : Base(owner), SkinData(this, true) { SkinData.COC = kind; }
    TsCommonData SkinData;
    void WndProc(tw::TMessage& m) override
    {
        if (CommonWndProc(m, &SkinData)) return;
        Base::WndProc(m);
    }
};
using TLinkedPanel = TLinked<tw::TPanel>;
using TLinkedEdit = TLinked<tw::TEdit>;

class SkinLinkStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = test::MakeOwnSkinManager();
        ASSERT_TRUE(manager);
        form = std::make_unique<tw::TForm>(nullptr);
        form->SetBounds(10, 10, 320, 220);
        outer = new TLinkedPanel(form.get(), COC_TsPanel);
        outer->SetParent(form.get());
        outer->SetBounds(0, 0, 300, 200);
        inner = new TLinkedPanel(form.get(), COC_TsPanel);
        inner->SetParent(outer);
        inner->SetBounds(20, 30, 200, 120);
        inner->SkinData.SetSkinSection("PANEL_LOW");
        edit = new TLinkedEdit(form.get(), COC_TsEdit);
        edit->SetParent(inner);
        edit->SetBounds(5, 7, 100, 22);
        form->Handle();
        for (TsCommonData* d : {&outer->SkinData, &inner->SkinData, &edit->SkinData}) d->Loaded();
        // Plain sections to start from: each test makes one of them less so.
        for (const char* name : {"PANEL", "PANEL_LOW", "EDIT"}) {
            TsGeneralData& s = Section(name);
            s.Transparency = s.HotTransparency = 0;
            s.GradientPercent = s.HotGradientPercent = 0;
            s.ImagePercent = s.HotImagePercent = 0;
            s.GiveOwnFont = false;
        }
        for (TsCommonData* d : {&outer->SkinData, &inner->SkinData, &edit->SkinData}) d->BorderIndex = -1;
    }
    void TearDown() override
    {
        ClearGlows(true);
        form.reset();
        manager.reset();
    }
    TsGeneralData& Section(const std::string& name) { return manager->gd[size_t(manager->GetSkinIndex(name))]; }
    // A border mask of the given side widths for a link.
    void WideBorder(TsCommonData& d, int wl, int wr)
    {
        TsMaskData& m = manager->ma.emplace_back();
        m.Manager = manager.get();
        m.WL = wl;
        m.WR = wr;
        m.WT = m.WB = 1;
        d.BorderIndex = int(manager->ma.size()) - 1;
    }
    static TacBGInfo Ask(tw::TControl* c)
    {
        TacBGInfo info;
        GetBGInfo(info, c, false);
        return info;
    }

    std::unique_ptr<TsSkinManager> manager;
    std::unique_ptr<tw::TForm> form;
    TLinkedPanel* outer = nullptr;
    TLinkedPanel* inner = nullptr;
    TLinkedEdit* edit = nullptr;
};

} // namespace

TEST_F(SkinLinkStateTest, AFullyTransparentControlHandsOnWhatLiesBehindIt)
{
    // Over an opaque plain parent: the parent's colour.
    Section("EDIT").Transparency = 100;
    Section("PANEL_LOW").Color = 0x203040;
    TacBGInfo info = Ask(edit);
    EXPECT_EQ(info.BgType, btFill);
    EXPECT_EQ(info.Color, 0x203040);

    // Through two transparent levels to a picture: the offsets add up to
    // where the edit lies in that picture.
    Section("PANEL_LOW").Transparency = 100;
    Section("PANEL").GradientPercent = 100;
    outer->SkinData.InitCacheBmp();
    info = Ask(edit);
    EXPECT_EQ(info.BgType, btCache);
    EXPECT_EQ(info.Bmp.Width, 300);
    EXPECT_EQ(info.OffsetX, 20 + 5);
    EXPECT_EQ(info.OffsetY, 30 + 7);

    // A border as wide as 25 pixels is the control's own picture; without
    // one made yet the parent's colour stands in.
    WideBorder(edit->SkinData, 13, 12);
    edit->SkinData.FreeCacheBmp();
    info = Ask(edit);
    EXPECT_EQ(info.BgType, btFill);
    edit->SkinData.InitCacheBmp();
    info = Ask(edit);
    EXPECT_EQ(info.BgType, btCache);
    EXPECT_EQ(info.Bmp.Width, 100);
    EXPECT_EQ(info.OffsetX, 0);
    // One pixel narrower and it is transparent again.
    WideBorder(edit->SkinData, 12, 12);
    EXPECT_EQ(Ask(edit).OffsetX, 25);

    // A hot control asks with its hot values: opaque when hot, it is its
    // own hot colour.
    Section("EDIT").HotColor = 0x0A0B0C;
    TacBGInfo hot;
    edit->SkinData.GetOwnBGInfo(hot, true);
    EXPECT_EQ(hot.BgType, btFill);
    EXPECT_EQ(hot.Color, 0x0A0B0C);
}

TEST_F(SkinLinkStateTest, ChildrenTakeTheContainersPictureOnlyWhereItIsNotPlain)
{
    auto flag = [](tw::TWinControl* c) { return SendSkinCommandToControl(c, AC_CONTAINERFLAG) & 1; };
    outer->SkinData.UpdateContainerFlag(false);
    EXPECT_TRUE(outer->SkinData.ChildrenDrawOwnBG());
    EXPECT_EQ(flag(outer), 0);

    for (auto change : {+[](TsGeneralData& s) { s.GradientPercent = 10; }, +[](TsGeneralData& s) { s.ImagePercent = 10; },
                        +[](TsGeneralData& s) { s.Transparency = 40; }}) {
        TsGeneralData saved = Section("PANEL");
        change(Section("PANEL"));
        EXPECT_FALSE(outer->SkinData.ChildrenDrawOwnBG());
        Section("PANEL") = saved;
    }
    // A border wider than 30 pixels on either axis.
    WideBorder(outer->SkinData, 16, 15);
    EXPECT_FALSE(outer->SkinData.ChildrenDrawOwnBG());
    WideBorder(outer->SkinData, 15, 15);
    EXPECT_TRUE(outer->SkinData.ChildrenDrawOwnBG());

    // A transparent container follows its parent's answer; the forwarded
    // sub-command makes every child ask again.
    Section("PANEL_LOW").Transparency = 100;
    Section("PANEL").GradientPercent = 10;
    SendSkinCommandToControl(outer, AC_CONTAINERFLAG, 1);
    EXPECT_EQ(flag(outer), 1);
    EXPECT_TRUE(inner->SkinData.ChildrenDrawOwnBG());
    EXPECT_EQ(flag(inner), 0);
    Section("PANEL").GradientPercent = 0;
    SendSkinCommandToControl(outer, AC_CONTAINERFLAG, 1);
    EXPECT_EQ(flag(outer), 0);
    EXPECT_FALSE(inner->SkinData.ChildrenDrawOwnBG());
    EXPECT_EQ(flag(inner), 1);
    // A control that is no container never sets the flag.
    Section("EDIT").GradientPercent = 50;
    edit->SkinData.UpdateContainerFlag(false);
    EXPECT_EQ(edit->SkinData.CtrlSkinState & 1, 0);
}

TEST_F(SkinLinkStateTest, FontColoursComeFromTheFirstOpaqueParentThatGivesThem)
{
    const int own = manager->GetSkinIndex("EDIT");
    const int low = manager->GetSkinIndex("PANEL_LOW");
    const int panel = manager->GetSkinIndex("PANEL");
    EXPECT_EQ(GetFontIndex(nullptr, own, manager.get()), own);
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), own);
    Section("PANEL_LOW").GiveOwnFont = true;
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), low);
    // A mostly transparent parent passes the question up.
    Section("PANEL_LOW").Transparency = 51;
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), own);
    Section("PANEL").GiveOwnFont = true;
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), panel);
    Section("PANEL_LOW").Transparency = 50;
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), low);
    // A parent without a section ends the question.
    inner->SkinData.SkinIndex = -1;
    EXPECT_EQ(GetFontIndex(edit, own, manager.get()), own);
    // So does a control without parent.
    TLinkedEdit alone(nullptr, COC_TsEdit);
    EXPECT_EQ(GetFontIndex(&alone, own, manager.get()), own);
}

TEST_F(SkinLinkStateTest, TheHotStateComesFromTheControlOrItsParent)
{
    TsCommonData& e = edit->SkinData;
    inner->SkinData.BGChangedFlag = false;
    inner->SkinData.SetActiveState(false);
    e.SetActiveState(false);
    EXPECT_FALSE(e.CalcActiveState());
    e.SetActiveState(true);
    EXPECT_TRUE(e.CalcActiveState());
    // A hot or changing parent paints its children hot too.
    e.SetActiveState(false);
    inner->SkinData.SetActiveState(true);
    EXPECT_TRUE(e.CalcActiveState());
    inner->SkinData.SetActiveState(false);
    inner->SkinData.BGChangedFlag = true;
    EXPECT_TRUE(e.CalcActiveState());

    // A container whose children need its picture is hot only while it is
    // focused or under the mouse; otherwise its own flag stands.
    Section("PANEL_LOW").GradientPercent = 50;
    inner->SkinData.UpdateContainerFlag(false);
    ASSERT_EQ(inner->SkinData.CtrlSkinState & 1, 1);
    outer->SkinData.SetActiveState(true);
    inner->SkinData.SetActiveState(false);
    EXPECT_FALSE(inner->SkinData.HotStateAllowed());
    EXPECT_FALSE(inner->SkinData.CalcActiveState());
    inner->SkinData.MouseAbove = true;   // a panel is never hot by the mouse
    EXPECT_FALSE(inner->SkinData.CalcActiveState());
    inner->SkinData.MouseAbove = false;
    inner->SkinData.Focused = true;
    EXPECT_TRUE(inner->SkinData.HotStateAllowed());
    EXPECT_TRUE(inner->SkinData.CalcActiveState());   // the hot parent decides
    // No manager, no hot state.
    TsSkinManager* saved = DefaultManager;
    DefaultManager = nullptr;
    EXPECT_FALSE(e.CalcActiveState());
    DefaultManager = saved;
}

TEST_F(SkinLinkStateTest, HoveringOneSpeedButtonTakesTheHotStateFromItsSiblings)
{
    auto* a = new TsSpeedButton(form.get());
    auto* b = new TsSpeedButton(form.get());
    auto* c = new TsSpeedButton(form.get());
    for (TsSpeedButton* s : {a, b, c}) s->SetParent(outer);
    a->SetBounds(200, 10, 24, 24);
    b->SetBounds(230, 10, 24, 24);
    c->SetBounds(260, 10, 24, 24);
    form->Show();
    tw::Application->ProcessMessages();
    a->Perform(tw::CM_MOUSEENTER, 0, 0);
    b->Perform(tw::CM_MOUSEENTER, 0, 0);
    ASSERT_TRUE(a->MouseInControl());
    ASSERT_TRUE(a->SkinData.MouseAbove);
    // The mouse comes to c through the panel: the panel hears of it with c
    // as the sender, and every other hovered button lets go.
    c->Perform(tw::CM_MOUSEENTER, 0, 0);
    outer->Perform(tw::CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(c));
    EXPECT_FALSE(a->MouseInControl());
    EXPECT_FALSE(a->SkinData.MouseAbove);
    EXPECT_FALSE(b->MouseInControl());
    EXPECT_FALSE(b->SkinData.MouseAbove);
    EXPECT_TRUE(c->MouseInControl());
    EXPECT_TRUE(c->SkinData.MouseAbove);
}

TEST_F(SkinLinkStateTest, LeavingAGlowingControlTakesEveryHaloOffTheScreen)
{
    if (!LayeredWindowsAvailable()) GTEST_SKIP() << "no layered windows";
    const int a = ShowGlow(TRect(100, 100, 160, 124), TRect(0, 0, 60, 24), "BUTTON", manager.get(), nullptr, 0, "GLOW");
    const int b = ShowGlow(TRect(200, 100, 260, 124), TRect(0, 0, 60, 24), "BUTTON", manager.get(), nullptr, 0, "GLOW");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    // The halos' own windows, on the screen now.
    const HWND haloA = GlowWindow(a), haloB = GlowWindow(b);
    ASSERT_TRUE(IsWindowVisible(haloA));
    ASSERT_TRUE(IsWindowVisible(haloB));
    auto onScreen = [](HWND w) { return IsWindow(w) && IsWindowVisible(w); };
    // A panel never glows: its leaving leaves the halos alone.
    outer->Perform(tw::CM_MOUSELEAVE, 0, 0);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(onScreen(haloA));
    EXPECT_TRUE(onScreen(haloB));
    // An edit may: when the mouse leaves it, no halo stays anywhere: both
    // windows are off the screen, gone, once the loop has run.
    edit->Perform(tw::CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(GlowWindow(a), nullptr);
    EXPECT_EQ(GlowWindow(b), nullptr);
    EXPECT_EQ(edit->SkinData.GlowID, -1);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(onScreen(haloA));
    EXPECT_FALSE(onScreen(haloB));
    EXPECT_FALSE(IsWindow(haloA));
    EXPECT_FALSE(IsWindow(haloB));
}

} // namespace skin
