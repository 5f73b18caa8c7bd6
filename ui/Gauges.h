// The percent gauge: a bar filled to Progress between MinValue and MaxValue
// with the percentage written in the middle.
#pragma once

#include "ui/Controls.h"

namespace tw {

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar };

class TGauge : public TGraphicControl {
public:
    explicit TGauge(TComponent* owner);
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    int Progress() const { return progress_; }
    void SetMinValue(int v);
    void SetMaxValue(int v);
    // Clamped to MinValue..MaxValue.
    void SetProgress(int v);
    void AddProgress(int v) { SetProgress(progress_ + v); }
    // 0..100, rounded down; 0 when MinValue = MaxValue.
    int PercentDone() const;
    TGaugeKind Kind() const { return kind_; }
    void SetKind(TGaugeKind k) { kind_ = k; Invalidate(); }
    TColor ForeColor() const { return foreColor_; }
    void SetForeColor(TColor c) { foreColor_ = c; Invalidate(); }
    TColor BackColor() const { return backColor_; }
    void SetBackColor(TColor c) { backColor_ = c; Invalidate(); }
    bool ShowText() const { return showText_; }
    void SetShowText(bool s) { showText_ = s; Invalidate(); }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle b) { borderStyle_ = b; Invalidate(); }

protected:
    void Paint() override;
    int min_ = 0, max_ = 100, progress_ = 0;
    TGaugeKind kind_ = gkHorizontalBar;
    TColor foreColor_ = clBlack;
    TColor backColor_ = clWhite;
    bool showText_ = true;
    TBorderStyle borderStyle_ = bsSingle;
};

} // namespace tw
