#include "skin/controls/sAlphaListBox.h"

#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {

namespace {

constexpr int kTextIndent = 2;
constexpr int kMarkGap = 4;
constexpr int kSelectionEdge = 1;
constexpr int kSelectionRadius = 4;

} // namespace

void PaintListItem(TsCommonData& data, const tw::TFont& font, HDC dc, const TRect& r, const TsListItemLook& look)
{
    const int w = r.Width(), h = r.Height();
    TsSkinManager* sm = data.SkinManager();
    if (w <= 0 || h <= 0 || !dc || !sm) return;
    tw::TBitmap item(w, h, tw::pf24bit);
    const TRect whole{0, 0, w, h};
    FillRectPixels(item.PixelView(), whole, data.GetControlBGColor(false));
    // The selection as a rounded shape of the highlight over the list's
    // colour, its edge ring softened into it.
    if (look.Selected) PaintRoundedShape(item, whole, 0, sm->GetHighlightColor(), kSelectionEdge, kSelectionRadius);
    TRect text{kTextIndent, 0, w, h};
    if (sm->MaskIndexValid(look.CheckMask)) {
        const TsMaskData& mask = sm->ma[size_t(look.CheckMask)];
        const int mh = MaskFrameHeight(mask);
        DrawMaskGlyph(item.PixelView(), {kTextIndent, (h - mh) / 2}, 0, 1, mask, MakeCacheInfo(item.PixelView()));
        text.Left += MaskFrameWidth(mask) + kMarkGap;
    }
    tw::TCanvas& canvas = item.Canvas();
    canvas.Font().Assign(font);
    const UINT flags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (look.Selected) {
        canvas.Brush().SetStyle(tw::bsClear);
        canvas.Font().SetColor(sm->GetHighlightFontColor());
        DrawTextOnDC(canvas, look.Text.c_str(), text, flags);
    } else {
        DrawControlText(&canvas, look.Text.c_str(), look.Enabled, text, flags, &data, false);
    }
    BitBlt(dc, r.Left, r.Top, w, h, canvas.Handle(), 0, 0, SRCCOPY);
}

void TsAlphaListBox::SetItemIndex(int index)
{
    const int old = ItemIndex();
    TListBox::SetItemIndex(index);
    if (old >= 0 && old != ItemIndex() && HandleAllocated()) {
        const RECT r = ItemRect(old).ToRECT();
        InvalidateRect(Handle(), &r, FALSE);
    }
}

void TsAlphaListBox::DrawItem(int index, const TRect& r, UINT state, HDC dc)
{
    if (!SkinData.Skinned()) {
        TListBox::DrawItem(index, r, state, dc);
        return;
    }
    TsListItemLook look;
    if (index >= 0 && index < Items().Count()) look.Text = Items().Get(index);
    look.Selected = (state & ODS_SELECTED) != 0;
    look.Enabled = Enabled();
    PaintListItem(SkinData, Font(), dc, r, look);
}

} // namespace skin
