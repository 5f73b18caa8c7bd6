#pragma once
// The skinned group box: the caption on what lies under the box, the
// GROUPBOX section's frame below it in the cache.
#include "skin/controls/sControlBase.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsGroupBox : public TsSkinnedControl<tw::TGroupBox> {
public:
    explicit TsGroupBox(tw::TComponent* owner);

protected:
    void Paint() override;
    bool SkinnedMessage(tw::TMessage& m) override;

private:
    int CaptionHeight();
};

} // namespace skin
