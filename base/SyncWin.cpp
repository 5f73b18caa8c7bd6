#ifdef _WIN32
#include "base/SyncWin.h"

#include <windows.h>

#include "base/Sync.h"

namespace tw {

namespace {
HWND g_waker = nullptr;
constexpr UINT WM_TW_SYNC = WM_APP + 0x2F0;

LRESULT CALLBACK WakerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TW_SYNC) {
        // No exception may cross this frame; hand-overs report their own.
        try {
            CheckSynchronize();
        } catch (...) {
        }
        return 0;
    }
    return DefWindowProcW(h, msg, wp, lp);
}
} // namespace

void* InstallMainThreadWaker() {
    if (g_waker) return g_waker;
    SetMainThread();
    WNDCLASSW wc{};
    wc.lpfnWndProc = WakerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TarnwickSyncWaker";
    RegisterClassW(&wc);
    g_waker = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    HWND h = g_waker;
    SetWakeMainThread([h] { PostMessageW(h, WM_TW_SYNC, 0, 0); });
    return g_waker;
}

void RemoveMainThreadWaker() {
    SetWakeMainThread(nullptr);
    if (g_waker) DestroyWindow(g_waker);
    g_waker = nullptr;
}

} // namespace tw
#endif
