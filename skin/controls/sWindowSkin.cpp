#include "skin/controls/sWindowSkin.h"

#include "skin/engine/link/SkinText.h"
#include "skin/engine/painting/ItemPainting.h"

namespace skin {

void FillFromParent(tw::TBitmap& cache, const TCacheInfo& parent, const TRect& r)
{
    if (parent.Ready)
        CopyRectPixels(cache.PixelView(), r, parent.Bmp, {parent.X, parent.Y});
    else
        FillRectPixels(cache.PixelView(), r, parent.FillColor);
}

void PaintTextItem(tw::TBitmap& cache, TsSkinManager* manager, int skinIndex, const std::string& section,
                   const TsTextItem& item, bool enabled)
{
    if (item.R.Left >= item.R.Right || item.R.Top >= item.R.Bottom) return;
    PaintItem(manager, skinIndex, section, MakeCacheInfo(cache.PixelView()), true, item.State, item.R, {0, 0},
              cache.PixelView());
    const TRect text{item.R.Left + item.TextIndent, item.R.Top, item.R.Right - item.TextIndent, item.R.Bottom};
    DrawSectionText(&cache.Canvas(), item.Text.c_str(), enabled, text, item.Flags, skinIndex, item.State != 0, manager);
}

} // namespace skin
