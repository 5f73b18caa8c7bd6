#pragma once
// Windows only. Item painting onto device contexts and class-library
// bitmaps, and the solid fill every painter uses.
#include <windows.h>

#include <string>

#include "skin/engine/painting/ItemPainting.h"

namespace tw {
class TBitmap;
class TControl;
} // namespace tw

namespace skin {

// System colours are accepted; the DC is left as it was.
void FillDC(HDC dc, const TRect& r, TColor color);


class TsCommonData;
class TsSkinManager;

// Item painting by a control's skin link: its section, textures, manager
// and (when it keeps its own) colour.
void PaintControlBG(TsCommonData& data, const TCacheInfo& ci, int state, const TRect& r, TPoint pP, tw::TBitmap& item);
void PaintControlItem(TsCommonData& data, TCacheInfo ci, bool filling, int state, const TRect& r, TPoint pP,
                      tw::TBitmap& item, bool updateCorners);
void PaintItemOnParentBG(TsCommonData& data, tw::TControl* parent, bool filling, int state, const TRect& r, TPoint pP,
                         tw::TBitmap& item, bool updateCorners);
// Through a 24-bit picture of r's size onto the DC.
void PaintItemToDC(int skinIndex, const std::string& section, const TCacheInfo& ci, bool filling, int state,
                   const TRect& r, TPoint pP, HDC dc, TsSkinManager* manager);
// The whole of bmp from the section (or secondName when there is none),
// over what srcDC shows at srcPoint; returns the section index used.
int PaintItemByName(tw::TBitmap& bmp, const std::string& sectionName, const std::string& secondName, int state,
                    TsSkinManager* manager, TPoint srcPoint, TColor fillColor, HDC srcDC);

} // namespace skin
