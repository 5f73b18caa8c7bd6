// The Windows side of glyph drawing: shapes whose soft edges GDI draws.
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "base/Rounding.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "ui/Graphics.h"

namespace skin {

void PaintRoundedShape(tw::TBitmap& bmp, const TRect& r, int transparency, TColor color, int edgeWidth, int radius)
{
    const int w = r.Width(), h = r.Height();
    if (w <= 0 || h <= 0) return;
    TPixelImage b(w, h, 24);
    CopyPixels(b.View(), 0, 0, bmp.PixelView(), r);
    tw::TBitmap mask(w, h, tw::pf24bit);
    const int n = std::min({w / 2, h / 2, edgeWidth}), rr = std::min({w / 2, h / 2, radius});
    const int t = transparency * 255 / 100;
    const double d = (255 - t) / double(n + 1);
    {
        HDC dc = mask.Canvas().Handle();
        TGdiSelection pen(dc, GetStockObject(NULL_PEN));
        int grey = 255;
        // Rings from the outside in, each a step less transparent.
        for (int i = 0; i <= n; ++i) {
            TGdiObject brush(CreateSolidBrush(RGB(grey, grey, grey)));
            TGdiSelection selected(dc, brush.Get());
            RoundRect(dc, i, i, w - i, h - i, rr, rr);
            grey = (int(tw::RoundHalfEven((n - i) * d)) + t) & 0xFF;
        }
        TGdiObject brush(CreateSolidBrush(RGB(grey, grey, grey)));
        TGdiSelection selected(dc, brush.Get());
        RoundRect(dc, n, n, w - n, h - n, n, n);
        GdiFlush();
    }
    MultiplyByMask(b.View(), mask.PixelView(), color);
    CopyPixels(bmp.PixelView(), r.Left, r.Top, b.View(), {0, 0, w, h});
}

} // namespace skin
