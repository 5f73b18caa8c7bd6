// The Windows side of sSkinManager.h's program folder.
#include <windows.h>

#include <string>

#include "base/WinText.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {

std::string ProgramFolderOfProcess()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0) return {};
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);
    }
    const size_t slash = name.find_last_of(L"\\/");
    return tw::WideToUtf8(slash == std::wstring::npos ? std::wstring() : name.substr(0, slash + 1));
}

} // namespace skin
