// UTF-8 <-> UTF-16 at the Win32 boundary (Windows build only).
#pragma once
#ifdef _WIN32
#include <string>

namespace tw {
std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& s);
std::string WideToUtf8(const wchar_t* s);
} // namespace tw
#endif
