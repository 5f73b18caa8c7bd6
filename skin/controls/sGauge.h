#pragma once
// The skinned gauge: the GAUGE section with the filled part from the
// PROGRESSH (PROGRESSV) section and the value with its suffix over it. The
// cache is painted again only when the shown percentage or the background
// changed.
#include <string>

#include "skin/controls/sControlBase.h"
#include "ui/Gauges.h"

namespace skin {

class TsGauge : public TsSkinnedControl<tw::TGauge> {
public:
    explicit TsGauge(tw::TComponent* owner);
    // Limited to MinValue..MaxValue; repaints only when the shown
    // percentage changes; OnChange runs when the value changed.
    void SetProgress(int value);
    void AddProgress(int value) { SetProgress(progress_ + value); }
    const std::string& Suffix() const { return suffix_; }
    void SetSuffix(const std::string& value);
    // The text the gauge shows: the percentage and the suffix.
    std::string ShownText() const;
    tw::TNotifyEvent OnChange;

protected:
    void Paint() override;

private:
    std::string suffix_ = "%";
};

} // namespace skin
