#pragma once
// Windows only. The skinned multi-line text view (logs, change log).
#include "skin/controls/sEdit.h"

namespace skin {

class TsMemo : public TsEditFrame<tw::TMemo> {
public:
    explicit TsMemo(tw::TComponent* owner) : TsEditFrame(owner, COC_TsMemo) {}
};

} // namespace skin
