#include "skin/controls/sCheckBox.h"

#include <algorithm>

#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

namespace {

// Space between the check mark and the text.
constexpr int kTextGap = 4;

} // namespace

int CheckMaskIndex(TsCommonData& data, const TsCheckLook& look)
{
    static const char* const box[3] = {"BOXUNCHECKED", "BOXCHECKED", "BOXGRAYED"};
    static const char* const radio[3] = {"RADIOUNCHECKED", "RADIOCHECKED", "RADIOGRAYED"};
    TsSkinManager* sm = data.SkinManager();
    if (!sm) return -1;
    const int check = look.Check < 0 ? 0 : look.Check > 2 ? 2 : look.Check;
    const std::string name = (look.Radio ? radio : box)[check];
    const int own = sm->GetMaskIndex(data.SkinIndex, data.SkinSection(), name);
    if (sm->MaskIndexValid(own)) return own;
    const int common = sm->GetMaskIndexByName("GLOBALINFO", name);
    return sm->MaskIndexValid(common) ? common : -1;
}

void PaintCheckControl(tw::TWinControl& control, TsCommonData& data, const TsCheckLook& look, HDC dc)
{
    const int w = control.Width(), h = control.Height();
    PaintThroughCache(data, w, h, dc, [&](tw::TBitmap& cache) {
        PaintControlItem(data, data.GetParentCacheInfo(), true, look.State, TRect{0, 0, w, h}, {0, 0}, cache, false);
        TRect text{0, 0, w, h};
        const int maskIndex = CheckMaskIndex(data, look);
        if (maskIndex >= 0) {
            const TsMaskData& mask = data.SkinManager()->ma[size_t(maskIndex)];
            const int mw = MaskFrameWidth(mask), mh = MaskFrameHeight(mask);
            const int x = look.TextLeft ? w - mw : 0;
            DrawMaskGlyph(cache.PixelView(), {x, (h - mh) / 2}, std::min(look.State, mask.ImageCount - 1), 1, mask,
                          MakeCacheInfo(cache.PixelView()));
            if (look.TextLeft)
                text.Right = x - kTextGap;
            else
                text.Left = mw + kTextGap;
        }
        tw::TCanvas& canvas = cache.Canvas();
        canvas.Font().Assign(control.Font());
        const std::string caption = control.Caption();
        const UINT flags = DT_SINGLELINE | DT_VCENTER | (look.TextLeft ? DT_RIGHT : DT_LEFT);
        DrawControlText(&canvas, caption.c_str(), control.Enabled(), text, flags, &data, look.State != 0);
        PaintDisabledCache(data, look.DisabledKind);
    });
}

TsCheckLook TsCheckBox::Look()
{
    TsCheckLook look;
    look.Check = State() == tw::cbChecked ? 1 : State() == tw::cbGrayed ? 2 : 0;
    look.State = ButtonState();
    look.TextLeft = Alignment() == tw::taLeftJustify;
    return look;
}

TsCheckLook TsRadioButton::Look()
{
    TsCheckLook look;
    look.Check = Checked() ? 1 : 0;
    look.State = ButtonState();
    look.Radio = true;
    return look;
}

} // namespace skin
