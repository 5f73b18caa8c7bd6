#pragma once
// Background of skin items: the answer a control gives when its child asks
// what lies under it, and its conversion to the cache information the
// painters take.
#include <cstdint>
#include <string>

#include "base/PixelView.h"
#include "skin/engine/data/sGradient.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

enum TBGType : uint8_t { btUnknown = 0, btFill = 1, btCache = 2 };

// What a control answers when its child asks for the background under it.
struct BGInfo {
    TPixelView Bmp;             // the answering control's cache (btCache)
    TColor Color = 0;           // btFill
    int OffsetX = 0, OffsetY = 0;
    TRect R;
    uint8_t BgType = btUnknown;
    bool PleaseDraw = false;
    uintptr_t DrawDC = 0;       // device context to draw into when asked
};
// The name most of the painters were written with.
using TacBGInfo = BGInfo;

TCacheInfo BGInfoToCacheInfo(const TacBGInfo& info);

class TsSkinManager;

// The background of one item into r of item (24 or 32 bits): texture,
// gradient and colour of the section for the state (0 normal, else the HOT
// values), mixed with what lies under it (ci, the item at pP inside it) by
// the section's transparency. customColor other than the key colour paints
// that colour alone. A missing manager or section paints nothing.
void PaintItemBG(TsSkinManager* manager, int skinIndex, const std::string& section, const TCacheInfo& ci, int state,
                 const TRect& r, TPoint pP, const TPixelView& item, int textureIndex = -1, int hotTextureIndex = -1,
                 TColor customColor = clKeyColor);
// The background, the section's corner pictures and its border.
void PaintItem(TsSkinManager* manager, int skinIndex, const std::string& section, TCacheInfo ci, bool filling, int state,
               const TRect& r, TPoint pP, const TPixelView& item, int textureIndex = -1, int hotTextureIndex = -1);
// The background by the given textures, then the given mask as border.
void PaintItemWithMask(TsSkinManager* manager, int skinIndex, int maskIndex, int textureIndex, int hotTextureIndex,
                       TCacheInfo& ci, bool filling, int state, const TRect& r, TPoint pP, const TPixelView& item);
// A section's gradient into r of item; the triangle mode needs the
// platform's gradient fill and paints nothing without it.
void PaintSectionGradient(const TPixelView& item, const TRect& r, const TsGradArray& data);

// Fills r (clipped) with one colour; alpha 255 in 32-bit pictures.
void FillRectPixels(const TPixelView& item, const TRect& r, TColor c);

// Colour helpers of the skin's hue and saturation shifts.
TColor SwapRedBlue(TColor c);

} // namespace skin
