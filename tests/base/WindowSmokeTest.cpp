#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "base/Sync.h"
#include "base/SyncWin.h"

namespace {

constexpr UINT kPing = WM_APP + 7;
int g_pings = 0;
LPARAM g_lastParam = 0;

LRESULT CALLBACK ProbeProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kPing) {
        ++g_pings;
        g_lastParam = lp;
        return static_cast<LRESULT>(wp * 2);
    }
    return DefWindowProcW(h, msg, wp, lp);
}

} // namespace

TEST(Window, RealWindowAnswersSentAndPostedMessages) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TwSmokeProbe";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND h = CreateWindowExW(0, wc.lpszClassName, L"Tarnwick \u00e4\u00f6\u00fc", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                             nullptr, wc.hInstance, nullptr);
    ASSERT_NE(h, nullptr);
    ShowWindow(h, SW_SHOWNORMAL);

    // A pointer-sized value survives the trip through LPARAM (64-bit only).
    LPARAM big = static_cast<LPARAM>(0x123456789ABCLL);
    EXPECT_EQ(SendMessageW(h, kPing, 21, big), 42);
    EXPECT_EQ(g_lastParam, big);

    PostMessageW(h, kPing, 1, 5);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_EQ(g_pings, 2);
    EXPECT_EQ(g_lastParam, 5);

    wchar_t title[64];
    GetWindowTextW(h, title, 64);
    EXPECT_STREQ(title, L"Tarnwick \u00e4\u00f6\u00fc");
    DestroyWindow(h);
}

TEST(Window, HandOversRunFromAPlainMessageLoop) {
    tw::InstallMainThreadWaker();
    std::atomic<bool> done{false};
    DWORD mainId = GetCurrentThreadId();
    DWORD ranOn = 0;
    std::thread worker([&] {
        tw::Synchronize([&] { ranOn = GetCurrentThreadId(); });
        done = true;
    });
    // Only GetMessage/DispatchMessage here: the hidden window must do the rest.
    DWORD start = GetTickCount();
    MSG m;
    while (!done && GetTickCount() - start < 10000) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0)
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(ranOn, mainId);
    tw::RemoveMainThreadWaker();
}
