#include "skin/engine/common/SkinMessages.h"

#include <algorithm>

namespace skin {

TColor MixTransparentColor(TColor parent, TColor section, int transparency)
{
    TColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int p = (parent >> shift) & 0xFF;
        const int s = (section >> shift) & 0xFF;
        const int v = std::clamp((transparency * (p - s) + s * 256) / 256, 0, 255);
        out |= v << shift;
    }
    return out;
}

} // namespace skin
