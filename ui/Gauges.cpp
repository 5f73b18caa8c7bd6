#include "ui/Gauges.h"

#include <algorithm>

#include "ui/Guards.h"

namespace tw {

TGauge::TGauge(TComponent* owner) : TGraphicControl(owner) {
    width_ = 100;
    height_ = 100;
}

void TGauge::SetMinValue(int v) {
    min_ = v;
    if (max_ < min_) max_ = min_;
    progress_ = std::max(min_, std::min(progress_, max_));
    Invalidate();
}

void TGauge::SetMaxValue(int v) {
    max_ = v;
    if (min_ > max_) min_ = max_;
    progress_ = std::max(min_, std::min(progress_, max_));
    Invalidate();
}

void TGauge::SetProgress(int v) {
    v = std::max(min_, std::min(v, max_));
    if (v == progress_) return;
    int before = PercentDone();
    progress_ = v;
    // Redraw only when the picture changes (callers update it per packet).
    if (PercentDone() != before || kind_ == gkHorizontalBar || kind_ == gkVerticalBar) Invalidate();
}

int TGauge::PercentDone() const {
    if (max_ == min_) return 0;
    return static_cast<int>((static_cast<long long>(progress_) - min_) * 100 / (static_cast<long long>(max_) - min_));
}

void TGauge::Paint() {
    TCanvas& c = Canvas();
    TRect r(0, 0, width_, height_);
    if (borderStyle_ == bsSingle) {
        RECT b = r.ToRECT();
        DrawEdge(c.Handle(), &b, BDR_SUNKENOUTER, BF_RECT);
        r.Inflate(-1, -1);
    }
    c.Brush().SetColor(backColor_);
    c.FillRect(r);
    TRect fill = r;
    long long span = static_cast<long long>(max_) - min_;
    long long done = static_cast<long long>(progress_) - min_;
    if (kind_ == gkHorizontalBar) {
        fill.Right = r.Left + static_cast<int>(span > 0 ? r.Width() * done / span : 0);
    } else if (kind_ == gkVerticalBar) {
        fill.Top = r.Bottom - static_cast<int>(span > 0 ? r.Height() * done / span : 0);
    } else {
        fill = TRect();
    }
    if (!fill.IsEmpty()) {
        c.Brush().SetColor(foreColor_);
        c.FillRect(fill);
    }
    if (showText_) {
        std::string t = std::to_string(PercentDone()) + "%";
        c.Brush().SetStyle(bsClear);
        // The text shows in the background colour over the filled part.
        TSavedDCState clip(c.Handle());
        c.Font().SetColor(foreColor_);
        c.DrawText(t, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (!fill.IsEmpty()) {
            IntersectClipRect(c.Handle(), fill.Left, fill.Top, fill.Right, fill.Bottom);
            c.Font().SetColor(backColor_);
            c.DrawText(t, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
}

} // namespace tw
