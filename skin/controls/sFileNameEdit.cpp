#include "skin/controls/sFileNameEdit.h"

#include "base/Exceptions.h"

namespace skin {

bool ValidFileName(const std::string& name)
{
    for (unsigned char c : name)
        if (c < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
    return true;
}

void TsFilenameEdit::SetFileName(const std::string& value)
{
    if (!value.empty() && !ValidFileName(value)) throw tw::Exception("Invalid file name");
    SetText(value);
}

} // namespace skin
