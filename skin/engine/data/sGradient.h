#pragma once
// Background gradients of skin sections: the GRADIENTDATA text parsed once
// when a skin loads, painted into a picture whenever a control is drawn.
#include <cstdint>
#include <string>
#include <vector>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

struct TsGradPie {
    TColor Color1 = 0;
    TColor Color2 = 0;
    uint8_t Percent = 0;
    int32_t Mode = 0;
};
using TsGradArray = std::vector<TsGradPie>;

// Values separated by ";", five to a step (the fifth is not read). A value
// that is not a decimal or "$" hexadecimal number raises EConvertError.
void PrepareGradArray(const std::string& text, TsGradArray& data);

// Paints modes 0 (bands downwards) and 1 (bands rightwards) into a 24- or
// 32-bit picture inside r, clipped to the picture. Mode 2 needs the
// platform's triangle fill: PaintGradTriangles on Windows.
void PaintGrad(const TPixelView& bmp, TRect r, const TsGradArray& data, int offsetX = 0, int offsetY = 0);

// The five vertices of mode 2 in order (corners and centre), each colour the
// Color1 of its step or of the vertex before it.
struct TsGradVertex {
    int X = 0, Y = 0;
    TColor Color = 0;
};
bool GradTriangleVertices(const TRect& r, const TsGradArray& data, TsGradVertex (&v)[5]);

#ifdef _WIN32
} // namespace skin
namespace tw {
class TBitmap;
}
namespace skin {
// Mode 2 into a bitmap's device context; nothing without GradientFill.
void PaintGradTriangles(tw::TBitmap& bmp, TRect r, const TsGradArray& data);
bool GradientFillAvailable();
#endif

} // namespace skin
