#pragma once
// The skinned group box: the GROUPBOX section painted into its cache, the
// caption in the section's font colour.
#include "skin/controls/sControlBase.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsGroupBox : public TsSkinnedControl<tw::TGroupBox> {
public:
    explicit TsGroupBox(tw::TComponent* owner);

protected:
    void Paint() override;
    bool SkinnedMessage(tw::TMessage& m) override;
};

} // namespace skin
