#include "skin/engine/ItemPaintingWin.h"

#include "skin/engine/GdiGuards.h"
#include "ui/Graphics.h"

namespace skin {

void FillDC(HDC dc, const TRect& r, TColor color)
{
    if (!dc || r.Left >= r.Right || r.Top >= r.Bottom) return;
    const TGdiObject brush(CreateSolidBrush(tw::ColorToRGB(color)));
    const RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    FillRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
}

} // namespace skin
