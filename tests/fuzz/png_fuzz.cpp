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
    // Expand every picture as the skin does: the reader bounds what it
    // accepts, so whatever it gave must be affordable; the palette lookups
    // run on what was decoded.
    const skin::TPixelImage image = g.Image();
    (void)image;
    return 0;
}
