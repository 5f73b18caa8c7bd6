#pragma once
// The skinned gauge: the GAUGE section with the filled part from the
// PROGRESSH (PROGRESSV) section and the value with its suffix over it. The
// cache is painted again only when the shown percentage or the background
// changed.
#include <string>

#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
#include "ui/Gauges.h"

namespace skin {

class TsGauge : public tw::TGauge {
public:
    explicit TsGauge(tw::TComponent* owner);
    ~TsGauge() override;
    TsCommonData SkinData;
    // Limited to MinValue..MaxValue; repaints only when the shown
    // percentage changes; OnChange runs when the value changed.
    void SetProgress(int value);
    void AddProgress(int value) { SetProgress(progress_ + value); }
    const std::string& Suffix() const { return suffix_; }
    void SetSuffix(const std::string& value);
    // The text the gauge shows: the percentage and the suffix.
    std::string ShownText() const;
    tw::TNotifyEvent OnChange;
    void WndProc(tw::TMessage& m) override;
    void Loaded() override;

protected:
    void Paint() override;

private:
    std::string suffix_ = "%";
    TsFadeTimer* fade_ = nullptr;
    int paintedState_ = -1;
};

} // namespace skin
