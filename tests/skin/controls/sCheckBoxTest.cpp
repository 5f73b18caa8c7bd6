// Skinned check boxes and the radio group with real windows: sections,
// the cache rebuilt exactly when its background changed, check and pressed
// looks from real mouse messages, and the skin switched off and on.
#include "ControlWindows.h"
#include "tests/support/GdiObjects.h"

#include "skin/controls/sCheckBox.h"
#include "skin/controls/sRadioGroup.h"
#include "base/Exceptions.h"
#include "ui/Application.h"

namespace skin {
namespace {

class TsCheckBoxTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        box = new TsCheckBox(form.get());
        box->SetParent(form.get());
        box->SetBounds(10, 10, 150, 20);
        box->SetCaption("Correct time stamps");
        ShowAll();
    }
    // The pixels of the check mark's place in the cache.
    std::vector<TColor> MarkPixels()
    {
        std::vector<TColor> v;
        for (int y = 3; y < 17; ++y)
            for (int x = 0; x < 14; ++x) v.push_back(box->SkinData.CacheBmp()->Canvas().Pixels(x, y));
        return v;
    }
    TsCheckBox* box = nullptr;
};

TEST_F(TsCheckBoxTest, TakesItsSectionAndPaintsItsCache)
{
    EXPECT_EQ(box->SkinData.SkinSection(), "CHECKBOX");
    EXPECT_EQ(box->SkinData.SkinIndex, manager->GetSkinIndex("CHECKBOX"));
    ASSERT_NE(box->SkinData.CacheBmp(), nullptr);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 150);
    EXPECT_FALSE(box->SkinData.BGChangedFlag);
}

TEST_F(TsCheckBoxTest, CacheIsRebuiltOnlyWhenTheBackgroundChanged)
{
    tw::TCanvas& cache = box->SkinData.CacheBmp()->Canvas();
    const TColor painted = cache.Pixels(140, 10);
    cache.SetPixel(140, 10, painted ^ 0x00FFFF);
    PaintNow(box);
    EXPECT_EQ(cache.Pixels(140, 10), painted ^ 0x00FFFF);   // copied as it was
    Ask(box, AC_BGCHANGED);
    PaintNow(box);
    EXPECT_EQ(box->SkinData.CacheBmp()->Canvas().Pixels(140, 10), painted);
}

TEST_F(TsCheckBoxTest, ClickChecksAndShowsTheMark)
{
    const std::vector<TColor> unchecked = MarkPixels();
    MouseDown(box, 5, 10);
    EXPECT_TRUE(SendMessageW(box->Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED);
    const std::vector<TColor> pressed = MarkPixels();
    EXPECT_NE(pressed, unchecked);
    MouseUp(box, 5, 10);
    EXPECT_TRUE(box->Checked());
    const std::vector<TColor> checked = MarkPixels();
    EXPECT_NE(checked, unchecked);
    EXPECT_NE(checked, pressed);
    box->SetChecked(false);
    EXPECT_EQ(MarkPixels(), unchecked);
}

TEST_F(TsCheckBoxTest, HoverGivesTheHotLook)
{
    const std::vector<TColor> normal = MarkPixels();
    box->Perform(tw::CM_MOUSEENTER, 0, 0);
    EXPECT_TRUE(box->SkinData.MouseAbove);
    EXPECT_NE(MarkPixels(), normal);
    box->Perform(tw::CM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(MarkPixels(), normal);
}

TEST_F(TsCheckBoxTest, TheControlsOwnFadeEventsDecideBeforeTheManagers)
{
    TsGeneralData& s = manager->gd[size_t(box->SkinData.SkinIndex)];
    s.FadingEnabled = true;
    s.FadingIterations = 50;   // long enough to be seen running
    const std::vector<TColor> normal = MarkPixels();
    auto hover = [&](bool enter) {
        PaintNow(box);   // a cache on screen to fade from
        box->Perform(enter ? tw::CM_MOUSEENTER : tw::CM_MOUSELEAVE, 0, 0);
        return box->Fading();
    };
    // By default the manager's button events decide: every hover fades.
    EXPECT_EQ(box->AnimatEvents, DefaultAnimatEvents);
    EXPECT_TRUE(hover(true));
    EXPECT_TRUE(hover(false));
    // Only leaving fades now: entering shows the hot look at once.
    box->AnimatEvents = 1u << aeMouseLeave;
    EXPECT_FALSE(hover(true));
    EXPECT_NE(MarkPixels(), normal);
    EXPECT_TRUE(hover(false));
    // With the global default beside its own events the manager's count too,
    // and switched off there, only the control's own remain.
    manager->AnimEffects.Buttons.Events = 0;
    box->AnimatEvents = (1u << aeMouseLeave) | DefaultAnimatEvents;
    EXPECT_FALSE(hover(true));
    EXPECT_TRUE(hover(false));
    box->AnimatEvents = DefaultAnimatEvents;
    EXPECT_FALSE(hover(true));
    EXPECT_FALSE(hover(false));
    EXPECT_EQ(MarkPixels(), normal);
}

TEST_F(TsCheckBoxTest, SkinOffLeavesTheSystemButtonAndOnAgainRepaints)
{
    SwitchSkin(false);
    EXPECT_EQ(box->SkinData.SkinIndex, -1);
    PaintNow(box);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 0);   // the system paints; no cache
    MouseDown(box, 5, 10);
    MouseUp(box, 5, 10);
    EXPECT_TRUE(box->Checked());
    SwitchSkin(true);
    EXPECT_EQ(box->SkinData.SkinIndex, manager->GetSkinIndex("CHECKBOX"));
    PaintNow(box);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 150);
    EXPECT_FALSE(box->SkinData.BGChangedFlag);
}

TEST_F(TsCheckBoxTest, SkinSwitchesLeaveNoGdiHandles)
{
    // One round first: caches and fonts that stay for the program's life.
    SwitchSkin(false);
    PaintNow(box);
    SwitchSkin(true);
    PaintNow(box);
    const DWORD before = tw::test::GdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 100; ++i) {
        SwitchSkin(false);
        PaintNow(box);
        SwitchSkin(true);
        PaintNow(box);
    }
    EXPECT_LE(tw::test::GdiObjects(), before);
}

TEST_F(TsCheckBoxTest, AThrowingClickHandlerStopsAtTheWindowProcedure)
{
    std::vector<std::string> caught;
    tw::Application->OnException = [&](tw::TObject*, const std::exception& e) { caught.push_back(e.what()); };
    box->OnClick = [](tw::TObject*) { throw tw::Exception("handler failed"); };
    MouseDown(box, 5, 10);
    MouseUp(box, 5, 10);
    tw::Application->OnException = nullptr;
    EXPECT_EQ(caught, std::vector<std::string>{"handler failed"});
    PaintNow(box);   // still alive and painting
    EXPECT_FALSE(box->SkinData.BGChangedFlag);
}

TEST_F(TsCheckBoxTest, NoSectionOrNoSizePaintsNothingAndThrowsNothing)
{
    // A section the skin lacks: the box is no longer skinned, and painting
    // leaves the skin's cache as it was.
    tw::TCanvas& cache = box->SkinData.CacheBmp()->Canvas();
    cache.SetPixel(140, 10, 0x030201);
    box->SkinData.SetSkinSection("NOSUCHSECTION");
    EXPECT_FALSE(manager->SkinIndexValid(box->SkinData.SkinIndex));
    EXPECT_NO_THROW(PaintNow(box));
    ASSERT_NE(box->SkinData.CacheBmp(), nullptr);
    if (box->SkinData.CacheBmp()->Width() > 0)
        EXPECT_EQ(box->SkinData.CacheBmp()->Canvas().Pixels(140, 10), 0x030201);
    // Its section back but no size: nothing is painted into the cache
    // either, though the next background change is still pending.
    box->SetBounds(10, 10, 0, 0);
    box->SkinData.SetSkinSection("CHECKBOX");
    EXPECT_EQ(box->SkinData.SkinIndex, manager->GetSkinIndex("CHECKBOX"));
    tw::TBitmap* before = box->SkinData.CacheBmp();
    const int widthBefore = before ? before->Width() : 0;
    EXPECT_NO_THROW(PaintNow(box));
    tw::TBitmap* after = box->SkinData.CacheBmp();
    EXPECT_EQ(after ? after->Width() : 0, widthBefore);
    if (after && after->Width() > 140)
        EXPECT_EQ(after->Canvas().Pixels(140, 10), 0x030201);
    // Given a size again, it paints its section whole.
    box->SetBounds(10, 10, 150, 20);
    PaintNow(box);
    ASSERT_NE(box->SkinData.CacheBmp(), nullptr);
    EXPECT_EQ(box->SkinData.CacheBmp()->Width(), 150);
    EXPECT_NE(box->SkinData.CacheBmp()->Canvas().Pixels(140, 10), 0x030201);
}

class TsRadioGroupTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        group = new TsRadioGroup(form.get());
        group->SetParent(form.get());
        group->SetBounds(10, 10, 200, 100);
        group->SetCaption("Time stamps");
        group->Items().Add("Keep");
        group->Items().Add("Correct");
        group->Items().Add("Ask");
        ShowAll();
    }
    TsRadioGroup* group = nullptr;
};

TEST_F(TsRadioGroupTest, SkinnedButtonsInAGroupFrame)
{
    EXPECT_EQ(group->SkinData.SkinSection(), "GROUPBOX");
    for (int i = 0; i < 3; ++i) {
        auto* b = dynamic_cast<TsRadioButton*>(group->Buttons(i));
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->SkinData.SkinSection(), "RADIOBUTTON");
    }
    EXPECT_EQ(group->SkinData.CacheBmp()->Width(), 200);
    EXPECT_FALSE(group->SkinData.BGChangedFlag);
}

TEST_F(TsRadioGroupTest, ItemIndexIsLimitedAndAClickMovesIt)
{
    group->SetItemIndex(7);
    EXPECT_EQ(group->ItemIndex(), 2);
    EXPECT_TRUE(group->Buttons(2)->Checked());
    group->SetItemIndex(-4);
    EXPECT_EQ(group->ItemIndex(), -1);
    EXPECT_FALSE(group->Buttons(2)->Checked());
    tw::TWinControl* second = group->Buttons(1);
    MouseDown(second, 5, 5);
    MouseUp(second, 5, 5);
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(group->Buttons(1)->Checked());
}

TEST(TsRadioGroupLoading, IndexSetWhileLoadingReachesTheButtonsWhenLoaded)
{
    auto manager = test::MakeOwnSkinManager();
    ASSERT_TRUE(manager);
    tw::TForm form(nullptr);
    auto* group = new TsRadioGroup(&form);
    group->SetParent(&form);
    group->Items().Add("a");
    group->Items().Add("b");
    group->BeginLoading();
    group->SetItemIndex(1);
    EXPECT_FALSE(group->Buttons(1)->Checked());
    group->Loaded();
    EXPECT_EQ(group->ItemIndex(), 1);
    EXPECT_TRUE(group->Buttons(1)->Checked());
}

} // namespace
} // namespace skin
