#pragma once
// Windows only. The skinned number edit with up and down buttons.
#include "skin/controls/sEdit.h"
#include "ui/Spin.h"

namespace skin {

class TsSpinEdit : public TsEditFrame<tw::TSpinEdit> {
public:
    explicit TsSpinEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsSpinEdit) {}
};

} // namespace skin
