// Steps and weights of a cross-fade, and which events a control fades on.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/sFade.h"

namespace skin {
namespace {

std::vector<int> Alphas(TFadeSteps s)
{
    std::vector<int> out;
    for (; !s.Ended(); ++s.CurrentStep)
        out.push_back(s.Alpha());
    return out;
}

TEST(FadeSteps, NewFadeRunsItsFramesDownToTheNewPicture)
{
    TFadeSteps s;
    s.Begin(false, 4, false, 1);
    EXPECT_EQ(s.Direction, 1);
    EXPECT_EQ(s.CurrentStep, 1);
    EXPECT_EQ(Alphas(s), (std::vector<int>{191, 127, 63, 0}));

    TFadeSteps fast;
    fast.Begin(false, 4, true, 2);
    EXPECT_EQ(Alphas(fast), (std::vector<int>{127, 0}));
}

TEST(FadeSteps, ARestartedFadeContinuesFromTheRunningOne)
{
    // Replacing a fade-out leaves nothing to show: the first tick ends it.
    TFadeSteps s;
    s.Begin(false, 5, false, 2);
    s.Begin(true, 5, false, 1);
    EXPECT_EQ(s.FrameCount, 0);
    EXPECT_EQ(s.CurrentStep, 1);
    EXPECT_TRUE(s.Ended());
    EXPECT_EQ(s.Direction, 1);

    // Replacing a fade-in runs the whole length again from the first step.
    s.Begin(true, 5, false, 2);
    EXPECT_EQ(s.FrameCount, 5);
    EXPECT_EQ(s.CurrentStep, 1);

    // A skin that asks for no frames at all fades at once.
    TFadeSteps none;
    none.Begin(false, 0, false, 1);
    EXPECT_TRUE(none.Ended());
    EXPECT_EQ(none.Alpha(), 0);
}

TEST(FadeSteps, ASkinsFrameCountNearTheIntegerLimitWeighsItsStepsAlike)
{
    // FADINGITERATIONS is the skin's to choose: a fade of 2^31 - 1 frames
    // is half way at its middle step, not wrapped into another weight.
    TFadeSteps s;
    s.Begin(false, INT32_MAX, false, 1);
    EXPECT_EQ(s.Alpha(), 255);
    s.CurrentStep = INT32_MAX / 2;
    EXPECT_EQ(s.Alpha(), 128);
    s.CurrentStep = INT32_MAX;
    EXPECT_EQ(s.Alpha(), 0);
}

TEST(FadeSteps, EventsComeFromTheControlOrTheManager)
{
    TsSkinManager m;
    m.AnimEffects.Buttons.Events = (1u << beMouseEnter) | (1u << beMouseUp);
    EXPECT_TRUE(AnimEventAllowed(aeMouseEnter, DefaultAnimatEvents, &m));
    EXPECT_FALSE(AnimEventAllowed(aeMouseLeave, DefaultAnimatEvents, &m));
    EXPECT_TRUE(AnimEventAllowed(aeMouseUp, DefaultAnimatEvents, &m));
    // The control's own set wins and does not ask the manager.
    EXPECT_TRUE(AnimEventAllowed(aeMouseLeave, 1u << aeMouseLeave, &m));
    EXPECT_FALSE(AnimEventAllowed(aeMouseEnter, 1u << aeMouseLeave, &m));
    // Without a manager of its own the default one answers; without any, no.
    // (The first manager made becomes the default one.)
    DefaultManager = nullptr;
    EXPECT_FALSE(AnimEventAllowed(aeMouseEnter, DefaultAnimatEvents, nullptr));
    DefaultManager = &m;
    EXPECT_TRUE(AnimEventAllowed(aeMouseEnter, DefaultAnimatEvents, nullptr));
    DefaultManager = nullptr;
}

} // namespace
} // namespace skin
