#pragma once
// Background of skin items: the answer a control gives when its child asks
// what lies under it, and its conversion to the cache information the
// painters take.
#include <cstdint>

#include "skin/engine/AlphaPrimitives.h"
#include "skin/engine/PixelView.h"

namespace skin {

enum TBGType : uint8_t { btUnknown = 0, btFill = 1, btCache = 2 };

struct TacBGInfo {
    TPixelView Bmp;             // the answering control's cache (btCache)
    TColor Color = 0;           // btFill
    int OffsetX = 0, OffsetY = 0;
    TRect R;
    uint8_t BgType = btUnknown;
    bool PleaseDraw = false;
    uintptr_t DrawDC = 0;       // device context to draw into when asked
};

TCacheInfo BGInfoToCacheInfo(const TacBGInfo& info);

} // namespace skin
