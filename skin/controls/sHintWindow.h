#pragma once
// The skinned hint window: the HINT section of the skin (a panel where the
// skin has none) behind the hint text, which the HTML renderer writes, so
// hints may carry simple markup.
#include <string>

#include "ui/Application.h"

namespace skin {

class TacCustomHintWindow : public tw::THintWindow {
public:
    explicit TacCustomHintWindow(tw::TComponent* owner);
    tw::TRect CalcHintRect(const std::string& text) override;

protected:
    void Paint() override;
};

// Hints of the application come in skinned windows from now on (off: plain ones).
void UseSkinnedHints(bool on);

} // namespace skin
