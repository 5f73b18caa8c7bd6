// Starting one test of this test program in a process of its own, for tests
// of Wine's real video graph, which can stall or take its process down as it
// ends. The child gets a watch over a hung test of its own, shorter than the
// caller's wait, so that a hung child names its test and ends first.
#pragma once

#include <windows.h>

#include <string>

#include "base/WinText.h"

namespace tw::test {

// The child's process handle (its thread handle closed), or nullptr with
// `error` set. `extraArgs` follow the filter on the command line.
inline HANDLE StartOwnTest(const std::string& name, const std::wstring& extraArgs, int hangSeconds, DWORD& error) {
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" --gtest_also_run_disabled_tests --gtest_filter=" +
                        Utf8ToWide(name) + extraArgs;
    wchar_t ownHang[32] = {};
    const DWORD hadHang = GetEnvironmentVariableW(L"TW_TEST_HANG_SECONDS", ownHang, 32);
    SetEnvironmentVariableW(L"TW_TEST_HANG_SECONDS", std::to_wstring(hangSeconds).c_str());
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const BOOL started = CreateProcessW(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    error = started ? 0 : GetLastError();
    SetEnvironmentVariableW(L"TW_TEST_HANG_SECONDS", hadHang > 0 && hadHang < 32 ? ownHang : nullptr);
    if (!started) return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

} // namespace tw::test
