// Windows that other parts of the program bring; the start-up creates them
// at their place in the order when they are registered. The tools fill the
// record in, the start-up reads it: it lies below both.
#pragma once

#include <functional>

#include "ui/Forms.h"

namespace tw {

struct TStartupHooks {
    std::function<TCustomForm*(TComponent* owner)> createTrashForm;     // preserve-streams window
    std::function<TCustomForm*(TComponent* owner)> createRawCutterForm; // raw cutter
};

} // namespace tw
