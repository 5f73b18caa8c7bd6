#include "skin/controls/sRadioGroup.h"

#include <algorithm>

#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

namespace {

// Where the caption starts on the frame's top edge, and its margin.
constexpr int kCaptionIndent = 8;
constexpr int kCaptionMargin = 2;

} // namespace

void PaintGroupFrame(tw::TWinControl& control, TsCommonData& data, HDC dc)
{
    const int w = control.Width(), h = control.Height();
    PaintThroughCache(data, w, h, dc, [&](tw::TBitmap& cache) {
        tw::TCanvas& canvas = cache.Canvas();
        canvas.Font().Assign(control.Font());
        const std::string caption = control.Caption();
        const int captionHeight = canvas.TextExtent(caption.empty() ? "0" : caption).cy;
        const TCacheInfo parent = data.GetParentCacheInfo();
        // The strip above the frame shows the parent; the frame starts at
        // the caption's middle.
        const TRect strip{0, 0, w, std::min(captionHeight / 2, h)};
        FillFromParent(cache, parent, strip);
        PaintControlItem(data, parent, true, 0, TRect{0, strip.Bottom, w, h}, {0, 0}, cache, false);
        if (!caption.empty()) {
            const int textWidth = canvas.TextExtent(caption).cx;
            const TRect text{kCaptionIndent, 0, std::min(w, kCaptionIndent + textWidth + 2 * kCaptionMargin),
                             captionHeight};
            DrawControlText(&canvas, caption.c_str(), control.Enabled(), text, DT_SINGLELINE | DT_CENTER, &data, false);
        }
    });
}

void TsRadioGroup::SetItemIndex(int index)
{
    if (IsLoading()) {
        itemIndex_ = index;
        return;
    }
    TRadioGroup::SetItemIndex(std::clamp(index, -1, Items().Count() - 1));
}

void TsRadioGroup::Loaded()
{
    TsSkinnedControl::Loaded();
    itemIndex_ = std::clamp(itemIndex_, -1, Items().Count() - 1);
    updating_ = true;
    for (size_t k = 0; k < buttons_.size(); ++k) buttons_[k]->SetChecked(static_cast<int>(k) == itemIndex_);
    updating_ = false;
}

void TsRadioGroup::Paint()
{
    if (!SkinData.Skinned()) {
        TRadioGroup::Paint();
        return;
    }
    PaintGroupFrame(*this, SkinData, Canvas().Handle());
}

} // namespace skin
