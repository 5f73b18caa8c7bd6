#pragma once
// Windows only. The skinned edit with an input mask (time texts such as
// "00:00:00.000"): the class library's mask edit in the skin's edit frame,
// with a caption label of its own.
#include "skin/controls/sEdit.h"
#include "ui/Mask.h"

namespace skin {

class TsMaskEdit : public TsEditFrame<tw::TMaskEdit> {
public:
    explicit TsMaskEdit(tw::TComponent* owner);
};

} // namespace skin
