// Fades of a control on real 10 ms timers: the frames it is offered, the end
// of the fade (the timer freed after its own tick), a control disabled on
// the way, and the cases that repaint at once.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/sFade.h"
#include "ui/Application.h"

namespace skin {
namespace {

// A control with the skin link a fade needs; it paints its frames itself
// when PaintsFrames is set and stops its fade when told to.
class TFadingControl : public tw::TCustomControl, public TFadeLink {
public:
    explicit TFadingControl(tw::TComponent* owner, TsSkinManager* m) : tw::TCustomControl(owner), manager(m)
    {
        cache = std::make_unique<tw::TBitmap>(8, 6, tw::pf24bit);
    }
    TsSkinManager* manager;
    std::unique_ptr<tw::TBitmap> cache;
    bool bgChanged = false, PaintsFrames = true;
    TsFadeTimer* Fade = nullptr;
    std::vector<int> FrameBlue;   // first byte of each frame offered
    std::vector<COLORREF> Shown;  // the window's first pixel when a frame is offered or the fade stops
    int Stops = 0, Glows = 0, Starts = 0;

    tw::TControl* FadeOwner() const override { return const_cast<TFadingControl*>(this); }
    bool FadeSkinned() const override { return true; }
    TsSkinManager* FadeManager() const override { return manager; }
    int FadeSkinIndex() const override { return 0; }
    tw::TBitmap* FadeCache() const override { return cache.get(); }
    bool BGChanged() const override { return bgChanged; }
    void SetBGChanged(bool c) override { bgChanged = c; }
    void UpdateControlGlow(bool) override { ++Glows; }
    int Invalidations = 0;
    void InvalidateOwner() override
    {
        bgChanged = true;
        ++Invalidations;
        Invalidate();
    }

    void Fill(uint8_t value)
    {
        for (int y = 0; y < cache->Height(); ++y)
            std::fill_n(cache->ScanLine(y), cache->Width() * 3, value);
    }
    COLORREF WindowPixel()
    {
        HDC dc = GetDC(Handle());
        const COLORREF c = GetPixel(dc, 0, 0);
        ReleaseDC(Handle(), dc);
        return c;
    }
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD) {
            switch (SkinCommandOf(m.WParam)) {
            case AC_FADEFRAME:
                Shown.push_back(WindowPixel());
                FrameBlue.push_back(reinterpret_cast<tw::TBitmap*>(m.LParam)->ScanLine(0)[0]);
                m.Result = PaintsFrames ? 1 : 0;
                return;
            case AC_STOPANIMATION:
                Shown.push_back(WindowPixel());
                ++Stops;
                StopFadeEffect(Fade);
                return;
            case AC_FADESTART:
                ++Starts;
                return;
            }
        }
        tw::TCustomControl::WndProc(m);
    }
};

class FadeTimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        TsGeneralData section;
        section.Name = "BUTTON";
        section.FadingEnabled = true;
        section.FadingIterations = 4;
        manager.gd.push_back(section);
        form = new tw::TForm(tw::Application);
        form->SetBounds(30, 30, 100, 80);
        control = new TFadingControl(form, &manager);
        control->SetParent(form);
        control->SetBounds(4, 4, 8, 6);
        form->Show();
    }
    void TearDown() override { delete form; }

    // Pumps messages until the condition holds (bounded, so a broken fade
    // fails instead of hanging).
    bool PumpUntil(const std::function<bool()>& done)
    {
        const DWORD start = GetTickCount();
        while (!done() && GetTickCount() - start < 5000) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            tw::Application->ProcessMessages();
        }
        return done();
    }
    // The old picture white, the new one black.
    void StartFade(bool fast = false, uint8_t direction = 1)
    {
        control->Fill(255);
        StartFadeEffect(control->Fade, control, fast, direction, true);
        control->Fill(0);
        control->bgChanged = false;
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TFadingControl* control = nullptr;
};

TEST_F(FadeTimerTest, FramesBlendTowardsTheNewPictureAndTheTimerGoesAfterwards)
{
    StartFade();
    ASSERT_NE(control->Fade, nullptr);
    EXPECT_EQ(control->Starts, 1);
    EXPECT_EQ(control->Glows, 1);
    EXPECT_EQ(control->ComponentCount(), 1);
    ASSERT_TRUE(PumpUntil([&] { return control->Stops > 0; }));
    // Weights 191, 127, 63, 0 of white over black.
    EXPECT_EQ(control->FrameBlue, (std::vector<int>{190, 127, 63, 0}));
    EXPECT_EQ(control->Fade, nullptr);
    // Stopped inside its own tick, freed right after it.
    EXPECT_TRUE(PumpUntil([&] { return control->ComponentCount() == 0; }));
    EXPECT_EQ(control->Stops, 1);
}

TEST_F(FadeTimerTest, FastFadeHalvesTheFramesAndFramesAreDrawnWhenTheControlDoesNot)
{
    control->PaintsFrames = false;
    StartFade(true);
    ASSERT_TRUE(PumpUntil([&] { return control->Stops > 0; }));
    EXPECT_EQ(control->FrameBlue, (std::vector<int>{127, 0}));
    // Each frame went onto the window: the next offer finds it there.
    ASSERT_EQ(control->Shown.size(), 3u);
    EXPECT_EQ(control->Shown[1], RGB(127, 127, 127));
    EXPECT_EQ(control->Shown[2], RGB(0, 0, 0));
}

TEST_F(FadeTimerTest, AControlThatPaintsItsFramesGetsNothingDrawnOnItsWindow)
{
    form->Update();
    const COLORREF before = control->WindowPixel();
    ASSERT_NE(before, RGB(0, 0, 0));
    ASSERT_NE(before, RGB(127, 127, 127));
    StartFade(true);
    ASSERT_TRUE(PumpUntil([&] { return control->Stops > 0; }));
    EXPECT_EQ(control->FrameBlue, (std::vector<int>{127, 0}));
    for (COLORREF c : control->Shown)
        EXPECT_EQ(c, before);
}

TEST_F(FadeTimerTest, ReplacingAFadeOutEndsOnTheFirstTick)
{
    StartFade(false, 2);
    TsFadeTimer* first = control->Fade;
    StartFade(false, 1);
    EXPECT_EQ(control->Fade, first); // the running timer is reused
    EXPECT_EQ(control->Fade->Steps.FrameCount, 0);
    ASSERT_TRUE(PumpUntil([&] { return control->Stops > 0; }));
    EXPECT_TRUE(control->FrameBlue.empty());
}

TEST_F(FadeTimerTest, ADisabledControlEndsItsFadeAtOnce)
{
    StartFade();
    control->SetEnabled(false);
    TsFadeTimer* fade = control->Fade;
    ASSERT_TRUE(PumpUntil([&] { return !fade->Enabled(); }));
    EXPECT_EQ(fade->Steps.FrameCount, 0);
    EXPECT_TRUE(control->FrameBlue.empty());
    // The cache is rebuilt, not just shown again: it holds the enabled look.
    EXPECT_EQ(control->Invalidations, 1);
    EXPECT_TRUE(control->bgChanged);
    StopFadeEffect(control->Fade);
    EXPECT_EQ(control->ComponentCount(), 0);
}

TEST_F(FadeTimerTest, NoFadeWithoutTheSkinsConsentOrWhileLoading)
{
    // Not allowed by the event set.
    StartFadeEffect(control->Fade, control, false, 1, false);
    EXPECT_EQ(control->Fade, nullptr);
    EXPECT_TRUE(control->bgChanged);
    EXPECT_EQ(control->Glows, 1);

    // A fade that may not go on ends where it is: the running timer goes.
    control->bgChanged = false;
    StartFade();
    ASSERT_NE(control->Fade, nullptr);
    StartFadeEffect(control->Fade, control, false, 1, false);
    EXPECT_EQ(control->Fade, nullptr);
    EXPECT_EQ(control->Glows, 3);

    // The cache is already out of date: nothing to fade from.
    StartFadeEffect(control->Fade, control, false, 1, true);
    EXPECT_EQ(control->Fade, nullptr);

    // While a skin loads.
    control->bgChanged = false;
    {
        TsSkinManager::TLoadingScope loading(manager);
        StartFadeEffect(control->Fade, control, false, 1, true);
    }
    EXPECT_EQ(control->Fade, nullptr);

    // A section without fading, and one that does not exist.
    control->bgChanged = false;
    manager.gd[0].FadingEnabled = false;
    StartFadeEffect(control->Fade, control, false, 1, true);
    EXPECT_EQ(control->Fade, nullptr);
    manager.gd.clear();
    control->bgChanged = false;
    StartFadeEffect(control->Fade, control, false, 1, true);
    EXPECT_EQ(control->Fade, nullptr);
    EXPECT_EQ(control->Starts, 1);   // only the one started on purpose above
}

TEST_F(FadeTimerTest, AnimationTimerHandsBlendedFramesToAControlThatPaintsThem)
{
    // The owner is told to drop its cache after each frame and paints Frame.
    std::vector<uint16_t> told;
    std::vector<int> frames;
    auto* anim = new TsAnimTimer(control);
    tw::TWndMethod previous = control->WindowProc;
    control->WindowProc = [&](tw::TMessage& m) {
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_RESETCACHE)
            frames.push_back(anim->Frame->ScanLine(0)[0]);
        if (m.Msg == SM_ALPHACMD)
            told.push_back(SkinCommandOf(m.WParam));
        if (m.Msg != SM_ALPHACMD || SkinCommandOf(m.WParam) != AC_STOPANIMATION)
            previous(m);
    };
    control->Fill(255);
    anim->Saved = std::make_unique<tw::TBitmap>();
    anim->Saved->Assign(*control->cache);
    control->Fill(0);
    anim->Start(control);
    anim->Steps.CurrentStep = 1;
    anim->SetEnabled(true);
    ASSERT_TRUE(PumpUntil([&] { return !anim->Enabled(); }));
    control->WindowProc = previous;
    EXPECT_EQ(frames, (std::vector<int>{190, 127, 63, 0}));
    EXPECT_EQ(told.size(), 9u);
    EXPECT_EQ(told[0], AC_SETACTIVESTATE);
    EXPECT_EQ(told[1], AC_RESETCACHE);
    EXPECT_EQ(told.back(), AC_STOPANIMATION);
}

} // namespace
} // namespace skin
