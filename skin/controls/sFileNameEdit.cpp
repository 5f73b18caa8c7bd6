#include "skin/controls/sFileNameEdit.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

void TsFilenameEdit::SetFileName(const std::string& value)
{
    // Control characters (a pasted tab or line break) no file name holds either.
    const bool control = std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 32; });
    if (!value.empty() && (control || !IsValidFileName(value))) throw tw::Exception("Invalid file name");
    SetText(value);
}

} // namespace skin
