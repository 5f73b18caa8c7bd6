#include "tools/engine/ToolFiles.h"

#include "base/SysUtils.h"

namespace tw {

std::string ToolOutputName(const std::string& input, const std::string& suffix) {
    return ChangeFileExt(input, suffix + ExtractFileExt(input));
}

std::string DollarHex(int64_t v, int digits) {
    std::string s(1, '$');
    s += IntToHex(v, digits);
    return s;
}

} // namespace tw
