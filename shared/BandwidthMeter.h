// TOvBandwidthMeter: a strip chart of up to 16 value lines that scrolls one
// step per Step. Producers add samples to a line between steps; a step takes
// their sum. Drawing goes to a back buffer; painting copies it. A pass steps
// the meter once per second of video, hundreds of times a second on a fast
// disk: steps only mark the picture stale and invalidate at most ten times a
// second; the buffer is redrawn when it is painted (or read), and a step
// that came too soon is shown by a timer, so the last value always appears.
#pragma once

#include <memory>

#include "analysis/BandwidthMath.h"
#include "ui/Controls.h"
#include "ui/Graphics.h"

namespace tw {

class TOvBandwidthMeter;
class TTimer;

class TOvLine : public TObject {
public:
    explicit TOvLine(TOvBandwidthMeter* owner) : owner_(owner) {}
    TColor Color() const { return color_; }
    void SetColor(TColor c) { color_ = c; }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { visible_ = v; }
    int32_t Value() const { return data_.Value(); }
    void SetValue(int32_t v) { data_.SetValue(v); }
    void AddSample(int32_t v) { data_.AddSample(v); }
    TBandwidthLine& Data() { return data_; }
    const TBandwidthLine& Data() const { return data_; }
    TOvBandwidthMeter* Owner() const { return owner_; }

private:
    TOvBandwidthMeter* owner_;
    TColor color_ = clBlack;
    bool visible_ = false;
    TBandwidthLine data_;
};

class TOvBandwidthMeter : public TGraphicControl {
public:
    explicit TOvBandwidthMeter(TComponent* owner);
    ~TOvBandwidthMeter() override;

    TOvLine* Lines(int index) const;

    int32_t ValueMin() const { return scale_.valueMin; }
    void SetValueMin(int32_t v) { scale_.valueMin = v; }
    int32_t ValueMax() const { return scale_.valueMax; }
    void SetValueMax(int32_t v) { scale_.valueMax = v; }
    int ValueCount() const { return scale_.valueCount; }
    void SetValueCount(int v);
    TColor BackColor() const { return Color(); }
    // The background colour: stored, redrawn, invalidated when it changes.
    void SetMeterColor(TColor c);
    TBandwidthDirection Direction() const { return direction_; }
    void SetDirection(TBandwidthDirection d) { direction_ = d; }
    TBandwidthDisplayType DisplayType() const { return scale_.displayType; }
    void SetDisplayType(TBandwidthDisplayType t) { scale_.displayType = t; }
    int Spacing_Top() const { return scale_.spacingTop; }
    void SetSpacing_Top(int v) { scale_.spacingTop = v; }
    int Spacing_Bottom() const { return scale_.spacingBottom; }
    void SetSpacing_Bottom(int v) { scale_.spacingBottom = v; }
    // Optional background picture, stretched over the meter.
    TPicture& Background() { return *background_; }

    // Advances every line by one step; the picture follows within 100 ms.
    void Step();
    // Zeroes every line's history and samples; the picture follows as for Step.
    void Clear();
    // The logarithmic divisor of the last redraw (1.0 for linear).
    double LogDivisor() const { return logDivisor_; }
    // The back buffer, redrawn first if steps came since it was drawn.
    TBitmap& BackBuffer();

    void Loaded() override;

    // A skin was loaded, refreshed or removed: the skin's broadcast reaches
    // every control, the meter among them, while the form it sits on keeps
    // those messages to its skin provider. Whoever picks the meter's colours
    // hears of it here.
    TNotifyEvent OnSkinChange;

protected:
    void Paint() override;
    void WndProc(TMessage& m) override;
    void Resize() override;
    void Redraw();
    // Marks the picture stale and invalidates now or, within 100 ms of the
    // last invalidation, when the timer fires.
    void ScheduleRepaint();

private:
    std::unique_ptr<TOvLine> lines_[kBandwidthLines];
    std::unique_ptr<TBitmap> buffer_;
    std::unique_ptr<TPicture> background_;
    TBandwidthScale scale_;
    TBandwidthDirection direction_ = bdRightToLeft;
    double logDivisor_ = 1.0;
    std::vector<TBandwidthPoint> points_;
    std::vector<TPoint> poly_;
    std::unique_ptr<TTimer> repaintTimer_;
    uint64_t lastInvalidateMs_ = 0;
    bool stale_ = false;
};

} // namespace tw
