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
    void WndProc(tw::TMessage& m) override;

protected:
    void Paint() override;

private:
    // The window's shape: the section's picture without its key-coloured
    // (transparent) corners; the plain rectangle without a skin.
    void UpdateRegion();
    bool shaped_ = false;
};

// Hints of the application come in skinned windows from now on (off: plain ones).
void UseSkinnedHints(bool on);

} // namespace skin
