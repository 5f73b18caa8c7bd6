#pragma once
// Colour transforms of a whole skin (HueOffset, Saturation) and the pixel loop
// that applies them to pictures.
#include <functional>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

// Moves each channel towards the mean of the three by percent (a negative
// percent away from it), rounded and limited to 0..255; 0 keeps the colour.
TColor ChangeSaturation(TColor c, int percent);
// Turns the hue by delta degrees; grey keeps its value; top byte 0.
TColor ChangeHue(int delta, TColor c);

// Applies change to every pixel that is neither the key colour nor grey.
void ChangePixelColours(const TPixelView& v, const std::function<TColor(TColor)>& change);

} // namespace skin
