#include "skin/controls/sGauge.h"

#include <algorithm>

#include "skin/controls/sControlCache.h"
#include "skin/engine/SkinText.h"
#include "skin/engine/sSkinManager.h"

namespace skin {

TsGauge::TsGauge(tw::TComponent* owner) : tw::TGauge(owner), SkinData(this, true)
{
    SkinData.COC = COC_TsGauge;
    SkinData.SetDefaultSection();
}

TsGauge::~TsGauge() { StopFadeEffect(fade_); }

void TsGauge::Loaded()
{
    tw::TGauge::Loaded();
    SkinData.Loaded();
}

void TsGauge::SetProgress(int value)
{
    value = std::clamp(value, std::min(min_, max_), std::max(min_, max_));
    if (value == progress_) return;
    const int shown = PercentDone();
    progress_ = value;
    if (PercentDone() != shown) {
        SkinData.BGChangedFlag = true;
        Invalidate();
    }
    if (OnChange) OnChange(this);
}

void TsGauge::SetSuffix(const std::string& value)
{
    if (suffix_ == value) return;
    suffix_ = value;
    SkinData.BGChangedFlag = true;
    Invalidate();
}

std::string TsGauge::ShownText() const { return std::to_string(PercentDone()) + suffix_; }

void TsGauge::WndProc(tw::TMessage& m)
{
    if (CommonWndProc(m, &SkinData)) return;
    if (AnswerControlCommand(m, SkinData, fade_)) return;
    tw::TGauge::WndProc(m);
}

void TsGauge::Paint()
{
    if (!SkinData.Skinned()) {
        tw::TGauge::Paint();
        return;
    }
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
    }
    DrawControlCache(SkinData, Canvas().Handle(), 0, 0);
}

} // namespace skin
