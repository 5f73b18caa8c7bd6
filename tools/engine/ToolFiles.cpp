#include "tools/engine/ToolFiles.h"

#include "base/SysUtils.h"

namespace tw {

std::string ToolOutputName(const std::string& input, const std::string& suffix) {
    return ChangeFileExt(input, suffix + ExtractFileExt(input));
}

std::string ReplaceFileQuestion(const std::string& fileName, bool german) {
    return german ? "Datei " + fileName + " existiert bereits!\rDatei \xC3\xBC" "berschreiben?"
                  : "File " + fileName + " already exists!\rOverwrite file?";
}

std::string DollarHex(int64_t v, int digits) {
    std::string s(1, '$');
    s += IntToHex(v, digits);
    return s;
}

std::string ReadFailureText(const std::string& fileName, int64_t position, int64_t got, int64_t wanted,
                            const std::string& reason) {
    return "Reading " + fileName + " failed: " + std::to_string(got < 0 ? 0 : got) + " of " + std::to_string(wanted) +
           " bytes read at byte " + std::to_string(position) + " (" +
           (reason.empty() ? std::string("the file is shorter than when it was opened") : reason) + ")";
}

} // namespace tw
