#include "skin/engine/link/ItemPaintingWin.h"

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "ui/Controls.h"
#include "ui/Graphics.h"

namespace skin {

void FillDC(HDC dc, const TRect& r, TColor color)
{
    if (!dc || r.Left >= r.Right || r.Top >= r.Bottom) return;
    const TGdiObject brush(CreateSolidBrush(tw::ColorToRGB(color)));
    const RECT rc{r.Left, r.Top, r.Right, r.Bottom};
    FillRect(dc, &rc, static_cast<HBRUSH>(brush.Get()));
}


namespace {

bool CanPaint(TsCommonData& d, const TRect& r, tw::TBitmap& item)
{
    const TsSkinManager* sm = d.SkinManager();
    return sm && sm->SkinIndexValid(d.SkinIndex) && !item.Empty() && item.Width() >= r.Right &&
           item.Height() >= r.Bottom && r.Left >= 0 && r.Top >= 0;
}

} // namespace

void PaintControlBG(TsCommonData& data, const TCacheInfo& ci, int state, const TRect& r, TPoint pP, tw::TBitmap& item)
{
    TColor custom = clKeyColor;
    if (data.CustomColor() && data.OwnerControl()) custom = TColor(tw::ColorToRGB(data.OwnerControl()->Color()));
    PaintItemBG(data.SkinManager(), data.SkinIndex, data.SkinSection(), ci, state, r, pP, item.PixelView(), data.Texture,
                data.HotTexture, custom);
}

void PaintControlItem(TsCommonData& data, TCacheInfo ci, bool filling, int state, const TRect& r, TPoint pP,
                      tw::TBitmap& item, bool updateCorners)
{
    if (!CanPaint(data, r, item)) return;
    PaintControlBG(data, ci, state, r, pP, item);
    ci.X += pP.X;
    ci.Y += pP.Y;
    TsSkinManager* sm = data.SkinManager();
    const TPixelView view = item.PixelView();
    if (sm->MaskIndexValid(data.BorderIndex))
        DrawMaskRect(view, r, filling, ci, sm->ma[size_t(data.BorderIndex)], state, updateCorners);
    // Corners over the border here (the plain item painter puts them under it).
    const TsGeneralData& s = sm->gd[size_t(data.SkinIndex)];
    const int corners[] = {s.ImgTopLeft, s.ImgTopRight, s.ImgBottomLeft, s.ImgBottomRight};
    const TCacheInfo itself = MakeCacheInfo(view, 0, 0);
    for (int i = 0; i < 4; ++i) {
        if (!sm->MaskIndexValid(corners[i])) continue;
        const TsMaskData& m = sm->ma[size_t(corners[i])];
        const TPoint at{i % 2 == 0 ? r.Left : r.Right - MaskFrameWidth(m), i < 2 ? r.Top : r.Bottom - MaskFrameHeight(m)};
        DrawMaskGlyph(view, at, state, 1, m, itself);
    }
}

void PaintItemOnParentBG(TsCommonData& data, tw::TControl* parent, bool filling, int state, const TRect& r, TPoint pP,
                         tw::TBitmap& item, bool updateCorners)
{
    if (!CanPaint(data, r, item)) return;
    TacBGInfo info;
    GetBGInfo(info, parent, false);
    PaintControlItem(data, BGInfoToCacheInfo(info), filling, state, r, pP, item, updateCorners);
}

void PaintItemToDC(int skinIndex, const std::string& section, const TCacheInfo& ci, bool filling, int state,
                   const TRect& r, TPoint pP, HDC dc, TsSkinManager* manager)
{
    TsSkinManager* sm = manager ? manager : DefaultManager;
    if (!sm || !sm->SkinIndexValid(skinIndex) || r.Left < 0 || r.Top < 0 || r.Left >= r.Right || r.Top >= r.Bottom)
        return;
    tw::TBitmap bmp(r.Width(), r.Height(), tw::pf24bit);
    PaintItem(sm, skinIndex, section, ci, filling, state, {0, 0, r.Width(), r.Height()}, pP, bmp.PixelView());
    const int saved = SaveDC(dc);
    BitBlt(dc, r.Left, r.Top, r.Width(), r.Height(), bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    RestoreDC(dc, saved);
}

int PaintItemByName(tw::TBitmap& bmp, const std::string& sectionName, const std::string& secondName, int state,
                    TsSkinManager* manager, TPoint srcPoint, TColor fillColor, HDC srcDC)
{
    TsSkinManager* sm = manager ? manager : DefaultManager;
    if (!sm) return -1;
    int index = sm->GetSkinIndex(sectionName);
    if (!sm->SkinIndexValid(index)) index = sm->GetSkinIndex(secondName);
    if (!sm->SkinIndexValid(index)) return index;
    TCacheInfo ci;
    ci.FillColor = fillColor;
    if (srcDC) {
        BitBlt(bmp.Canvas().Handle(), 0, 0, bmp.Width(), bmp.Height(), srcDC, srcPoint.X, srcPoint.Y, SRCCOPY);
        ci = MakeCacheInfo(bmp.PixelView(), 0, 0);
        ci.FillColor = fillColor;
    }
    // The index is this manager's: painted with another manager's tables it
    // would name another section or none.
    PaintItem(sm, index, sm->gd[size_t(index)].Name, ci, true, state,
              {0, 0, bmp.Width(), bmp.Height()}, {0, 0}, bmp.PixelView());
    return index;
}

} // namespace skin
