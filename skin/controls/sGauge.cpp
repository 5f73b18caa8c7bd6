#include "skin/controls/sGauge.h"

#include <algorithm>

#include "skin/controls/sControlCache.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinText.h"

namespace skin {

TsGauge::TsGauge(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsGauge) {}

void TsGauge::SetProgress(int value)
{
    value = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (value == progress_) return;
    const int shown = PercentDone();
    progress_ = value;
    if (PercentDone() != shown) Invalidate();
    if (OnChange) OnChange(this);
}

void TsGauge::SetSuffix(const std::string& value)
{
    if (suffix_ == value) return;
    suffix_ = value;
    Invalidate();
}

std::string TsGauge::ShownText() const { return std::to_string(PercentDone()) + suffix_; }

void TsGauge::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TGauge::Paint();
        return;
    }
    // Kind, text and colours are set through the plain gauge, which only invalidates.
    NoteCacheLook(SkinData,
                  ShownText() + ',' + std::to_string(int(kind_)) + ',' + std::to_string(showText_) + ',' +
                      std::to_string(Font().Color()) + ',' + std::to_string(Enabled()),
                  paintedLook_);
    if (UpdateControlCache(SkinData, 0, paintedState_)) {
        TsSkinManager* manager = SkinData.SkinManager();
        tw::TBitmap& cache = *SkinData.CacheBmp();
        const bool vertical = kind_ == tw::gkVerticalBar;
        const int border = SkinData.BorderMaxWidth();
        const TRect inner(border, border, Width() - border, Height() - border);
        const int percent = PercentDone();
        TRect bar = inner;
        if (vertical) bar.Top = inner.Bottom - inner.Height() * percent / 100;
        else bar.Right = inner.Left + inner.Width() * percent / 100;
        const std::string barSection = vertical ? "PROGRESSV" : "PROGRESSH";
        int barIndex = manager->GetSkinIndex(barSection);
        if (!manager->SkinIndexValid(barIndex)) barIndex = manager->GetSkinIndex("PROGRESSH");
        if (kind_ != tw::gkText && manager->SkinIndexValid(barIndex) && bar.Width() > 0 && bar.Height() > 0) {
            const TCacheInfo under = MakeCacheInfo(cache.PixelView(), 0, 0);
            PaintItem(manager, barIndex, manager->gd[size_t(barIndex)].Name, under, true, 0, bar, TPoint{0, 0},
                      cache.PixelView());
        }
        if (showText_) {
            tw::TCanvas& c = cache.Canvas();
            c.Font().Assign(Font());
            DrawSectionText(&c, ShownText().c_str(), Enabled(), inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
                            SkinData.SkinIndex, false, manager);
        }
        PaintDisabledCache(SkinData, DisabledKind());
    }
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
}

} // namespace skin
