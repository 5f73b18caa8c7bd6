#include "skin/engine/effects/sFade.h"

#include <algorithm>
#include <cstdint>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {

bool AnimEventAllowed(TacAnimatEvent event, TacAnimatEvents events, const TsSkinManager* manager)
{
    if (events & (1u << event))
        return true;
    if (!(events & (1u << aeGlobalDef)) || event == aeGlobalDef)
        return false;
    if (!manager)
        manager = DefaultManager;
    // aeMouseEnter..aeMouseUp map one to one onto the manager's button events.
    return manager && (manager->AnimEffects.Buttons.Events & (1u << static_cast<unsigned>(event)));
}

void TFadeSteps::Begin(bool running, int iterations, bool fast, uint8_t direction)
{
    CurrentStep = running ? iterations : 1;
    FrameCount = iterations;
    if (Direction == 1)
        FrameCount = CurrentStep;
    else if (Direction == 2)
        FrameCount = iterations - CurrentStep;
    if (fast)
        FrameCount /= 2;
    if (CurrentStep >= FrameCount || CurrentStep < 1)
        CurrentStep = 1;
    Direction = direction;
}

uint8_t TFadeSteps::Alpha() const
{
    if (FrameCount <= 0)
        return 0;
    // The frame count is the skin's: weighed in 64 bits, any count stays a
    // share of the fade.
    return static_cast<uint8_t>(std::clamp<int64_t>(255 - (int64_t(CurrentStep) * 256) / FrameCount, 0, 255));
}

} // namespace skin
