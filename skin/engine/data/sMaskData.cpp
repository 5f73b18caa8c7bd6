#include "skin/engine/data/sMaskData.h"

namespace skin {

int MaskFrameWidth(const TsMaskData& m)
{
    return m.ImageCount <= 0 ? 0 : m.R.Width() / m.ImageCount;
}

int MaskFrameHeight(const TsMaskData& m)
{
    return m.MaskType < 0 ? 0 : m.R.Height() / (m.MaskType + 1);
}

} // namespace skin
