// libFuzzer target: arbitrary bytes through the skin's PNG reader. A load
// either gives a picture or raises one of our exceptions.
#include <cstddef>
#include <cstdint>

#include "skin/engine/images/acPNG.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    skin::TPNGGraphic g;
    try {
        g.LoadFromMemory(data, size);
    } catch (const tw::Exception&) {
        return 0;
    }
    // Expand small pictures too: the palette lookups run on what was decoded.
    if (int64_t(g.Width()) * g.Height() <= (1 << 20)) {
        const skin::TPixelImage image = g.Image();
        (void)image;
    }
    return 0;
}
