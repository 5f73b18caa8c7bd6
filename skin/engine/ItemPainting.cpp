#include "skin/engine/ItemPainting.h"

#include "skin/engine/sSkinManager.h"

namespace skin {

TCacheInfo BGInfoToCacheInfo(const TacBGInfo& info)
{
    if (info.BgType == btCache) return MakeCacheInfo(info.Bmp, info.OffsetX, info.OffsetY);
    TCacheInfo ci;
    ci.FillColor = ColorToRGB(info.Color);
    return ci;
}

} // namespace skin
