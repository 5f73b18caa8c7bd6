#pragma once
// Windows only. The skinned combo box: the system list with the skin's
// edit frame over the edge it draws inside its own window.
#include "skin/controls/sEdit.h"

namespace skin {

class TsComboBox : public TsSkinnedControl<tw::TComboBox> {
public:
    explicit TsComboBox(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsComboBox) {}

protected:
    void SkinChanged() override { TakeEditColors(*this, SkinData); }
    // The system combo box paints its own inside.
    bool EraseFromCache() const override { return false; }
    bool SkinnedMessage(tw::TMessage& m) override;
};

} // namespace skin
