#include "skin/controls/sMaskEdit.h"

namespace skin {

TsMaskEdit::TsMaskEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsMaskEdit) {}

} // namespace skin
