// The Windows side of the section gradient of ItemPainting.h: triangle
// gradients go through the platform.
#include "skin/engine/data/sGradient.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/ItemPainting.h"
#include "ui/Graphics.h"

namespace skin {

void PaintSectionGradient(const TPixelView& item, const TRect& r, const TsGradArray& data)
{
    if (data.empty() || data[0].Mode != 2) {
        PaintGrad(item, r, data);
        return;
    }
    // Triangles through the platform, in a bitmap of the rectangle's size.
    if (r.Width() <= 0 || r.Height() <= 0) return;
    tw::TBitmap tmp(r.Width(), r.Height(), item.BitsPerPixel == 32 ? tw::pf32bit : tw::pf24bit);
    // Without the platform's triangles nothing is painted: the item's own
    // pixels go back unchanged.
    CopyRectPixels(tmp.PixelView(), {0, 0, r.Width(), r.Height()}, item, {r.Left, r.Top});
    PaintGradTriangles(tmp, {0, 0, r.Width(), r.Height()}, data);
    CopyRectPixels(item, r, tmp.PixelView(), {0, 0});
}

} // namespace skin
