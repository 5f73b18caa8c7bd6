// The per-control skin link with real windows: sections by control kind,
// the protocol's answers, hover and focus through real messages, and what
// a skin removal leaves behind.
#include <algorithm>

#include <gtest/gtest.h>

#include <windows.h>

#include "SkinnedControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

// Controls wired the way every skinned control is: the link sees each
// message first.
template <class Base> class TLinked : public Base {
public:
    TLinked(tw::TComponent* owner, int32_t kind) : Base(owner), SkinData(this, true) { SkinData.COC = kind; }
    TsCommonData SkinData;
    std::vector<uint16_t> Activations;
    int Paints = 0;
    int RemovalDepth = 0, DeepestRemoval = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_PAINT) ++Paints;
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_SKINREMOVED) {
            // Counts how deep a removal re-enters; a runaway is cut off here
            // so that the test reports it instead of overflowing the stack.
            if (RemovalDepth >= 8) return;
            ++RemovalDepth;
            DeepestRemoval = std::max(DeepestRemoval, RemovalDepth);
            if (!CommonWndProc(m, &SkinData)) Base::WndProc(m);
            --RemovalDepth;
            return;
        }
        if (m.Msg == SM_ALPHACMD && (SkinCommandOf(m.WParam) == AC_ACTIVATED || SkinCommandOf(m.WParam) == AC_DEACTIVATED))
            Activations.push_back(SkinCommandOf(m.WParam));
        if (CommonWndProc(m, &SkinData)) return;
        Base::WndProc(m);
    }
};
using TLinkedPanel = TLinked<tw::TPanel>;
using TLinkedEdit = TLinked<tw::TEdit>;
using TLinkedFrame = TLinked<tw::TFrame>;

class TsSkinLinkTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        form->SetBounds(10, 10, 300, 200);
        panel = Add<TLinkedPanel>(form.get(), 0, 0, 200, 150, COC_TsPanel);
        edit = Add<TLinkedEdit>(panel, 10, 10, 100, 22, COC_TsEdit);
        form->Handle();
        panel->SkinData.Loaded();
        edit->SkinData.Loaded();
    }
    TsGeneralData& Section(const std::string& name) { return manager->gd[size_t(manager->GetSkinIndex(name))]; }
    LRESULT Ask(tw::TWinControl* c, uint16_t cmd, LPARAM lp = 0)
    {
        return SendMessageW(c->Handle(), SM_ALPHACMD, SkinWParam(cmd), lp);
    }
    TLinkedPanel* panel = nullptr;
    TLinkedEdit* edit = nullptr;
};

TEST_F(TsSkinLinkTest, SectionsComeFromTheKindOrTheClassName)
{
    EXPECT_EQ(panel->SkinData.SkinSection(), "PANEL");
    EXPECT_EQ(edit->SkinData.SkinSection(), "EDIT");
    EXPECT_EQ(edit->SkinData.SkinIndex, manager->GetSkinIndex("EDIT"));
    EXPECT_EQ(edit->SkinData.BorderIndex, Section("EDIT").BorderIndex);
    TsCommonData group(panel, false);
    group.COC = COC_TsRadioGroup;
    group.Loaded();
    EXPECT_EQ(group.SkinSection(), "GROUPBOX");
    tw::TBevel bevel(nullptr);
    TsCommonData other(&bevel, false);
    other.COC = 9999;
    other.Loaded();
    EXPECT_EQ(other.SkinSection(), "TBEVEL");   // the owner's class name; no such section
    EXPECT_EQ(other.SkinIndex, -1);
    other.SetSkinSection("");
    EXPECT_EQ(other.SkinSection(), "UNKNOWN");
}

TEST_F(TsSkinLinkTest, ProtocolAnswers)
{
    EXPECT_EQ(Ask(edit, AC_QUERYSKINNED), 1);
    EXPECT_EQ(Ask(edit, AC_QUERYSKININDEX), manager->GetSkinIndex("EDIT") + 1);
    // Half transparent over a white parent: the weight is against 256.
    TsGeneralData& s = Section("EDIT");
    s.Transparency = 50;
    s.Color = 0x000000;
    panel->SkinData.SetCustomColor(false);
    Section("PANEL").Color = 0xFFFFFF;
    Section("PANEL").Transparency = 0;
    EXPECT_EQ(Ask(edit, AC_QUERYCOLOR), 0x313131);
    // Fully transparent: the parent's answer whole, its own colour nowhere;
    // a parent that answers the key colour is taken at its Color.
    s.Transparency = 100;
    Section("PANEL").Color = 0x123456;
    EXPECT_EQ(Ask(edit, AC_QUERYCOLOR), 0x123456);
    Section("PANEL").Color = clKeyColor;
    panel->SetColor(tw::TColor(0x00ABCD));
    EXPECT_EQ(Ask(edit, AC_QUERYCOLOR), 0x00ABCD);
    s.Transparency = 50;
    // No section: SkinIndex -1 answers 0.
    edit->SkinData.SetSkinSection("NOSUCHSECTION");
    EXPECT_EQ(Ask(edit, AC_QUERYSKININDEX), 0);
}

TEST_F(TsSkinLinkTest, UpdatingAnswersAndTheirForwarding)
{
    // A fully transparent control answers what its parent answers, whatever
    // its own section holds.
    TsGeneralData& e = Section("EDIT");
    e.Transparency = 100;
    e.ImagePercent = 10;
    e.GradientPercent = 0;
    TsGeneralData& p = Section("PANEL");
    p.Transparency = 0;
    p.ImagePercent = 0;
    p.GradientPercent = 0;
    ASSERT_EQ(Ask(panel, AC_QUERYUPDATING), 0);
    EXPECT_EQ(Ask(edit, AC_QUERYUPDATING), 0);
    p.GradientPercent = 40;
    EXPECT_EQ(Ask(edit, AC_QUERYUPDATING), 1);

    // A container that is updating passes the end of the update on to its
    // children; one that is not keeps it.
    edit->SkinData.Updating = true;
    edit->SkinData.BGChangedFlag = false;
    Ask(panel, AC_ENDUPDATE);
    EXPECT_FALSE(edit->SkinData.BGChangedFlag);
    panel->SkinData.Updating = true;
    Ask(panel, AC_ENDUPDATE);
    EXPECT_TRUE(edit->SkinData.BGChangedFlag);
}

TEST_F(TsSkinLinkTest, AChangedParentBackgroundConcernsOnlyTransparentControls)
{
    auto told = [&](uint16_t low) {
        edit->SkinData.BGChangedFlag = false;
        SendMessageW(edit->Handle(), SM_ALPHACMD, SkinWParam(AC_PARENTBGCHANGED, low), 0);
        return edit->SkinData.BGChangedFlag;
    };
    Section("EDIT").Transparency = 0;
    EXPECT_FALSE(told(1));
    Section("EDIT").Transparency = 1;
    EXPECT_TRUE(told(1));
    EXPECT_FALSE(told(0));
}

TEST_F(TsSkinLinkTest, RemovalGivesTheLabelsOfAContainerTheWindowTextColour)
{
    auto* label = new tw::TLabel(panel);
    label->SetParent(panel);
    label->Font().SetColor(tw::clRed);
    TsSkinManager other;
    Ask(panel, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&other));   // not its manager
    EXPECT_EQ(label->Font().Color(), tw::clRed);
    Ask(panel, AC_SKINREMOVED, reinterpret_cast<LPARAM>(manager.get()));
    EXPECT_EQ(label->Font().Color(), tw::clWindowText);
}

TEST_F(TsSkinLinkTest, SkinLoadedOfAnotherManagerIsIgnored)
{
    TsSkinManager other;
    edit->SkinData.SkinIndex = -1;
    // Another manager's announcement leaves the broadcast's state alone too.
    SendingNewSkin = true;
    Ask(edit, AC_SKINLOADED, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(edit->SkinData.SkinIndex, -1);
    EXPECT_TRUE(SendingNewSkin);
    Ask(edit, AC_SKINLOADED, reinterpret_cast<LPARAM>(manager.get()));
    EXPECT_EQ(edit->SkinData.SkinIndex, manager->GetSkinIndex("EDIT"));
    EXPECT_FALSE(SendingNewSkin);
}

TEST_F(TsSkinLinkTest, SkinRefreshIsTakenOnlyFromTheLinksOwnManager)
{
    // The edit's colour is the one a refresh would replace.
    Section("EDIT").Color = 0x123456;
    edit->SetColor(0x00FF00);
    edit->SkinData.SetActiveState(true);
    edit->SkinData.BGChangedFlag = false;
    // No manager in LParam (as the fade timers send it): the link is not
    // the receiver it names.
    Ask(edit, AC_SKINREFRESH, 0);
    EXPECT_EQ(edit->Color(), 0x00FF00);
    EXPECT_FALSE(edit->SkinData.BGChangedFlag);
    EXPECT_EQ(Ask(edit, AC_QUERYACTIVE), 1);   // the active state stands
    TsSkinManager other;
    Ask(edit, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(edit->Color(), 0x00FF00);
    Ask(edit, AC_SKINREFRESH, reinterpret_cast<LPARAM>(manager.get()));
    EXPECT_EQ(edit->Color(), 0x123456);
    EXPECT_TRUE(edit->SkinData.BGChangedFlag);
}

TEST_F(TsSkinLinkTest, InvalidateReachesOnlyTheControlsOfTheSectionFilter)
{
    struct TRestore {
        ~TRestore() { SectionFilter.clear(); }
    } restore;
    // Whether the control painted itself on the command.
    auto sent = [&](auto* c) {
        RedrawWindow(form->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const int before = c->Paints;
        Ask(c, AC_INVALIDATE);
        RedrawWindow(c->Handle(), nullptr, nullptr, RDW_UPDATENOW);
        return c->Paints > before;
    };
    form->Show();
    edit->SkinData.BGChangedFlag = panel->SkinData.BGChangedFlag = false;
    // The program's filter is empty: controls with a section stay as they are.
    EXPECT_FALSE(sent(edit));
    EXPECT_FALSE(edit->SkinData.BGChangedFlag);
    SectionFilter = "EDIT";
    edit->SkinData.SetSkinSection("edit");   // kept upper case, compared so
    edit->SkinData.BGChangedFlag = false;
    SendingNewSkin = true;
    EXPECT_TRUE(sent(edit));
    EXPECT_TRUE(edit->SkinData.BGChangedFlag);
    EXPECT_FALSE(SendingNewSkin);
    EXPECT_FALSE(sent(panel));
    EXPECT_FALSE(panel->SkinData.BGChangedFlag);
}

TEST_F(TsSkinLinkTest, AFrameIsAContainerLikeAPanel)
{
    auto* frame = Add<TLinkedFrame>(form.get(), 210, 0, 80, 80, COC_TsPanel);
    form->Handle();
    frame->SkinData.Loaded();
    // A plain section: the children draw their own background.
    TsGeneralData& s = Section("PANEL");
    s.Transparency = 0;
    s.GradientPercent = 0;
    s.ImagePercent = 0;
    Ask(frame, AC_CONTAINERFLAG, 1);
    Ask(panel, AC_CONTAINERFLAG, 1);
    EXPECT_EQ(Ask(frame, AC_CONTAINERFLAG) & 1, 0);
    EXPECT_EQ(Ask(panel, AC_CONTAINERFLAG) & 1, 0);
    // A picture behind them: the children must take the frame's, as the panel's.
    s.ImagePercent = 50;
    Ask(frame, AC_CONTAINERFLAG, 1);
    Ask(panel, AC_CONTAINERFLAG, 1);
    EXPECT_EQ(Ask(frame, AC_CONTAINERFLAG) & 1, 1);
    EXPECT_EQ(Ask(panel, AC_CONTAINERFLAG) & 1, 1);
    // An edit is never a container.
    Ask(edit, AC_CONTAINERFLAG, 1);
    EXPECT_EQ(Ask(edit, AC_CONTAINERFLAG) & 1, 0);
}

TEST_F(TsSkinLinkTest, HoverMarksEditsHotButNotPanels)
{
    edit->SkinData.BGChangedFlag = false;
    edit->Perform(tw::CM_MOUSEENTER, 0, 0);
    EXPECT_TRUE(edit->SkinData.MouseAbove);
    EXPECT_TRUE(edit->SkinData.BGChangedFlag);
    EXPECT_EQ(manager->ActiveControl, reinterpret_cast<uintptr_t>(edit->Handle()));
    panel->Perform(tw::CM_MOUSEENTER, 0, 0);
    EXPECT_FALSE(panel->SkinData.MouseAbove);
    // The edit stopped being the manager's hot control when the panel took over.
    EXPECT_EQ(edit->Activations, (std::vector<uint16_t>{AC_ACTIVATED, AC_DEACTIVATED}));
    edit->Perform(tw::CM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(edit->SkinData.MouseAbove);
}

TEST_F(TsSkinLinkTest, FocusThroughRealMessages)
{
    form->Show();
    edit->SetFocus();
    EXPECT_TRUE(edit->SkinData.Focused);
    EXPECT_TRUE(edit->SkinData.ControlFocused());
    panel->SetFocus();
    EXPECT_FALSE(edit->SkinData.Focused);
}

TEST_F(TsSkinLinkTest, RemovalGivesEditsTheirSystemColours)
{
    edit->SkinData.InitCacheBmp();
    EXPECT_EQ(edit->SkinData.CacheBmp()->Width(), 100);
    manager->SetActive(false);   // the form is not registered: tell the controls ourselves
    Ask(edit, AC_SKINREMOVED, reinterpret_cast<LPARAM>(manager.get()));
    EXPECT_EQ(edit->SkinData.SkinIndex, -1);
    EXPECT_EQ(edit->SkinData.CacheBmp()->Width(), 0);
    EXPECT_EQ(edit->Color(), tw::clWindow);
    EXPECT_EQ(edit->Font().Color(), tw::clWindowText);
}

TEST_F(TsSkinLinkTest, ALinkForgetsASecondManagerThatGoesBeforeIt)
{
    // A second manager of its own for the edit; it goes while the edit still
    // links to it. The edit must fall back on the default manager instead
    // of keeping the freed one.
    auto second = std::make_unique<TsSkinManager>();
    second->SetSkinDirectory(manager->SkinDirectory());
    ASSERT_TRUE(AddInternalSkinFromResource(*second, kOwnSkinResource, test::kOwnSkinName));
    second->SetSkinName(test::kOwnSkinName);
    ASSERT_FALSE(second->IsDefault());
    edit->SkinData.SetSkinManager(second.get());
    ASSERT_EQ(edit->SkinData.SkinManager(), second.get());
    ASSERT_EQ(edit->SkinData.SkinIndex, second->GetSkinIndex("EDIT"));
    // The removal reaches the form's controls as it reaches every skinned form.
    AddSkinnedForm(form.get());
    const TsSkinManager* gone = second.get();
    second.reset();
    RemoveSkinnedForm(form.get());
    EXPECT_NE(edit->SkinData.SkinManager(), gone);
    EXPECT_EQ(edit->SkinData.SkinManager(), manager.get());
    EXPECT_EQ(edit->Color(), tw::clWindow);
    // The default manager's skin takes the edit up again: its colours come
    // from the default manager's EDIT section.
    Section("EDIT").Color = 0x123456;
    Ask(edit, AC_SKINLOADED, reinterpret_cast<LPARAM>(manager.get()));
    Ask(edit, AC_SKINREFRESH, reinterpret_cast<LPARAM>(manager.get()));
    EXPECT_EQ(edit->SkinData.SkinIndex, manager->GetSkinIndex("EDIT"));
    EXPECT_EQ(edit->Color(), 0x123456);
}

TEST_F(TsSkinLinkTest, TheDefaultManagerGoingReachesALinkWithoutASectionOnce)
{
    // A panel whose section the skin lacks, on a registered form, linked to
    // no manager of its own: when the default manager goes, the removal
    // reaches it once. Forgetting a manager it never had changes nothing and
    // must not send the removal again.
    panel->SkinData.SetSkinSection("NOSUCHSECTION");
    ASSERT_EQ(panel->SkinData.SkinIndex, -1);
    ASSERT_EQ(panel->SkinData.SkinManager(), manager.get());
    panel->DeepestRemoval = 0;
    AddSkinnedForm(form.get());
    manager.reset();
    RemoveSkinnedForm(form.get());
    EXPECT_EQ(panel->DeepestRemoval, 1);
    EXPECT_EQ(panel->SkinData.SkinIndex, -1);
}

TEST_F(TsSkinLinkTest, DisabledControlPaintsItselfUnlessItsParentHasAGradient)
{
    Section("EDIT").Transparency = 0;
    Section("PANEL").GradientPercent = 0;
    Section("PANEL").ImagePercent = 0;
    Section("PANEL").Transparency = 0;
    form->Show();
    edit->SetEnabled(false);
    EXPECT_FALSE(edit->SkinData.IsUpdating());
    Section("PANEL").GradientPercent = 50;
    EXPECT_TRUE(edit->SkinData.IsUpdating());
}

TEST_F(TsSkinLinkTest, EnabledChangeDropsTheCache)
{
    edit->SkinData.InitCacheBmp();
    edit->Perform(tw::CM_ENABLEDCHANGED, 0, 0);
    EXPECT_EQ(edit->SkinData.CacheBmp()->Width(), 0);
}

TEST_F(TsSkinLinkTest, OpaqueSectionAnswersItsColour)
{
    TsGeneralData& s = Section("PANEL");
    s.Transparency = 0;
    s.GradientPercent = 0;
    s.ImagePercent = 0;
    TacBGInfo info;
    Ask(panel, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.BgType, btFill);
    EXPECT_EQ(info.Color, s.Color);
    // The edit asks its parent through GetBGInfo.
    TacBGInfo asked;
    EXPECT_TRUE(GetBGInfo(asked, panel, false));
    EXPECT_EQ(asked.Color, s.Color);
}

} // namespace
} // namespace skin

namespace skin {
namespace {

TEST(BoundLabel, PlacedByLayoutAndNamedAfterItsControl)
{
    tw::Application->Initialize();
    tw::TForm form(nullptr);
    form.SetBounds(0, 0, 400, 200);
    tw::TEdit edit(&form);
    edit.SetName("FileEdit");
    edit.SetParent(&form);
    edit.SetBounds(150, 60, 100, 22);
    form.Handle();
    TsBoundLabel bound(&edit, nullptr);
    bound.SetIndent(3);
    bound.SetActive(true);
    TsEditLabel* label = bound.Label();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Caption(), "FileEdit");
    EXPECT_EQ(label->Name(), "FileEditLabel");
    EXPECT_EQ(label->FocusControl(), &edit);
    EXPECT_EQ(label->Alignment(), tw::taRightJustify);
    EXPECT_GT(label->Width(), 0);
    EXPECT_EQ(label->Left() + label->Width() + 4 + 3, 150);
    EXPECT_EQ(label->Top(), 60 + (22 - label->Height()) / 2 - 1);
    bound.SetLayout(sclTopCenter);
    bound.SetCaption("File");
    label = bound.Label();
    EXPECT_EQ(label->Left(), 150 + (100 - label->Width()) / 2);
    EXPECT_EQ(label->Top(), 60 - label->Height() - 3);
    bound.SetMaxWidth(40);
    EXPECT_EQ(label->Width(), 40);
    EXPECT_TRUE(label->WordWrap());
    bound.SetActive(false);
    EXPECT_EQ(bound.Label(), nullptr);
    EXPECT_EQ(form.ControlCount(), 1);
}

} // namespace
} // namespace skin

namespace skin {
namespace {

TEST(CacheBlit, ChildrenStayOutOfTheCopy)
{
    tw::Application->Initialize();
    tw::TForm form(nullptr);
    tw::TPanel panel(&form);
    panel.SetParent(&form);
    panel.SetBounds(0, 0, 60, 40);
    tw::TEdit edit(&form);
    edit.SetParent(&panel);
    edit.SetBounds(10, 10, 20, 10);
    tw::TLabel seeThrough(&form);
    seeThrough.SetParent(&panel);
    seeThrough.SetAutoSize(false);
    seeThrough.SetBounds(40, 0, 10, 10);
    form.Handle();
    TsCommonData data(&panel, true);
    data.InitCacheBmp();
    data.CacheBmp()->Canvas().Brush().SetColor(0x00AA00);
    data.CacheBmp()->Canvas().FillRect({0, 0, 60, 40});
    tw::TBitmap target(60, 40, tw::pf24bit);
    target.Canvas().Brush().SetColor(0x0000AA);
    target.Canvas().FillRect({0, 0, 60, 40});
    BlitControlCache(&panel, data, 0, 0, {0, 0}, false, target.Canvas().Handle(), {0, 0, 60, 40});
    EXPECT_EQ(target.Canvas().Pixels(5, 5), 0x00AA00);
    EXPECT_EQ(target.Canvas().Pixels(15, 12), 0x0000AA);   // the edit paints itself
    EXPECT_EQ(target.Canvas().Pixels(45, 5), 0x00AA00);    // a see-through label shows the cache
}

} // namespace
} // namespace skin
