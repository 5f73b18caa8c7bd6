// The skinned mask edit (the cut editor's time texts) with its caption
// label, and the sticky label that keeps its place beside a control.
#include "SkinnedControls.h"
#include "skin/controls/sMaskEdit.h"
#include "skin/controls/sStickyLabel.h"
#include "ui/ExtCtrls.h"

namespace skin {
namespace {

class SkinnedMaskEditTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        edit = new TsMaskEdit(form.get());
        edit->SetParent(form.get());
        edit->SetBounds(120, 20, 100, 24);
        edit->SetEditMask("!90:00:00.000;1;_");
        ShowForm();
    }
    void Type(const std::wstring& keys)
    {
        for (wchar_t k : keys) SendMessageW(edit->Handle(), WM_CHAR, k, 0);
    }
    TsMaskEdit* edit = nullptr;
};

TEST_F(SkinnedMaskEditTest, TypingFillsTheTimeMask)
{
    EXPECT_EQ(edit->SkinData.SkinSection(), "EDIT");
    EXPECT_TRUE(edit->SkinData.Skinned());
    // The section's colours on the edit while skinned.
    EXPECT_EQ(edit->Color(), manager->gd[size_t(edit->SkinData.SkinIndex)].Color);
    EXPECT_EQ(edit->EditText(), "__:__:__.___");
    EXPECT_EQ(edit->MaxLength(), 12);
    SetFocus(edit->Handle());
    SendMessageW(edit->Handle(), EM_SETSEL, 0, 0);
    Type(L"0123x4");   // a letter has no place in it
    EXPECT_EQ(edit->EditText(), "01:23:4_.___");
    EXPECT_FALSE(edit->IsComplete());
    edit->SetText("01:02:03.456");
    EXPECT_EQ(edit->Text(), "01:02:03.456");
    EXPECT_TRUE(edit->IsComplete());
    // Without the skin the edit is a plain one with the system's colours.
    SkinOff();
    EXPECT_EQ(edit->Color(), tw::clWindow);
    EXPECT_EQ(edit->Text(), "01:02:03.456");
}

TEST_F(SkinnedMaskEditTest, CaptionLabelFollowsTheEdit)
{
    TsBoundLabel& bound = edit->BoundLabel();
    bound.SetCaption("Anfangspunkt");
    bound.SetActive(true);
    TsEditLabel* label = bound.Label();
    ASSERT_TRUE(label);
    EXPECT_EQ(label->Parent(), form.get());
    EXPECT_EQ(label->Caption(), "Anfangspunkt");
    // Left of the edit, 4 pixels away, middle to middle.
    EXPECT_EQ(label->Left() + label->Width() + 4, edit->Left());
    edit->SetBounds(200, 100, 100, 24);
    EXPECT_EQ(label->Left() + label->Width() + 4, 200);
    EXPECT_EQ(label->Top(), 100 + (24 - label->Height()) / 2 - 1);
    edit->SetVisible(false);
    EXPECT_FALSE(label->Visible());
    edit->SetVisible(true);
    edit->SetEnabled(false);
    EXPECT_FALSE(label->Enabled());
    // Above, centred.
    bound.SetLayout(sclTopCenter);
    label = bound.Label();
    EXPECT_EQ(label->Top() + label->Height(), 100);
    EXPECT_EQ(label->Left(), 200 + (100 - label->Width()) / 2);
}

class StickyLabelTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        panel = new tw::TPanel(form.get());
        panel->SetParent(form.get());
        panel->SetBounds(100, 60, 120, 30);
        label = new TsStickyLabel(form.get());
        label->SetCaption("Current position");
        label->SetAttachTo(panel);
        ShowForm();
    }
    tw::TPanel* panel = nullptr;
    TsStickyLabel* label = nullptr;
};

TEST_F(StickyLabelTest, KeepsItsPlaceBesideTheControl)
{
    EXPECT_EQ(label->Parent(), form.get());
    EXPECT_EQ(label->AttachTo(), panel);
    // Above, left edges together, Gap between.
    EXPECT_EQ(label->Left(), 100);
    EXPECT_EQ(label->Top() + label->Height() + label->Gap(), 60);
    panel->SetBounds(40, 150, 120, 30);
    EXPECT_EQ(label->Left(), 40);
    EXPECT_EQ(label->Top() + label->Height() + 2, 150);
    label->SetAlignTo(saRight);
    EXPECT_EQ(label->Left(), 40 + 120 + 2);
    EXPECT_EQ(label->Top(), 150 + (30 - label->Height()) / 2);
    label->SetAlignTo(saLeft);
    label->SetGap(5);
    EXPECT_EQ(label->Left() + label->Width() + 5, 40);
    // A longer text keeps the label's right edge at the control.
    label->SetCaption("The current position of the preview");
    EXPECT_EQ(label->Left() + label->Width() + 5, 40);
    label->SetAlignTo(saBottom);
    EXPECT_EQ(label->Top(), 150 + 30 + 5);
    // It shows and hides with the control.
    panel->SetVisible(false);
    EXPECT_FALSE(label->Visible());
    panel->SetVisible(true);
    EXPECT_TRUE(label->Visible());
}

TEST_F(StickyLabelTest, EitherMayGoFirst)
{
    delete panel;
    EXPECT_EQ(label->AttachTo(), nullptr);
    label->UpdatePosition();   // nothing to follow: stays where it is
    // The label goes before the control it was attached to.
    auto* other = new tw::TPanel(form.get());
    other->SetParent(form.get());
    other->SetBounds(10, 10, 50, 20);
    label->SetAttachTo(other);
    delete label;
    other->SetBounds(20, 30, 50, 20);
    other->SetVisible(false);
    EXPECT_EQ(other->Left(), 20);
}

} // namespace
} // namespace skin
