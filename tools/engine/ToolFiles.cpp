#include "tools/engine/ToolFiles.h"

#include <vector>

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

namespace {

// Lower-case ASCII, one separator kind, "." and ".." folded, no trailing
// separator. Names differing in letter case are one file on Windows.
std::string NormalName(const std::string& name) {
    std::vector<std::string> parts;
    std::string part;
    std::string prefix;
    size_t i = 0;
    // Keep a drive ("C:") or a leading separator as the root.
    if (name.size() >= 2 && name[1] == ':') {
        prefix = LowerCase(name.substr(0, 2));
        i = 2;
    }
    if (i < name.size() && (name[i] == '/' || name[i] == '\\')) prefix += '/';
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (prefix.empty()) parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '/' || c == '\\') flush();
        else part += c;
    }
    flush();
    std::string out = prefix;
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += LowerCase(parts[k]);
    }
    return out;
}

} // namespace

bool SameFileName(const std::string& a, const std::string& b) { return NormalName(a) == NormalName(b); }

} // namespace tw
