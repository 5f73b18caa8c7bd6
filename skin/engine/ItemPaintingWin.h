#pragma once
// Windows only. The solid fill every painter uses on a device context.
#include <windows.h>

#include "skin/engine/ItemPainting.h"

namespace skin {

// System colours are accepted; the DC is left as it was.
void FillDC(HDC dc, const TRect& r, TColor color);

} // namespace skin
