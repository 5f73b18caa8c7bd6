#pragma once
// The skinned panel: the PANEL section (or the one it is given) painted
// into its cache, its caption in the section's font colour.
#include "skin/controls/sControlBase.h"
#include "ui/ExtCtrls.h"

namespace skin {

class TsPanel : public TsSkinnedControl<tw::TPanel> {
public:
    explicit TsPanel(tw::TComponent* owner);

protected:
    void Paint() override;
};

} // namespace skin
