#pragma once
// Pointer input as the system delivers it (SendInput), for the tests that
// drive caption buttons, title drags and menus the way a user does.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "ui/Application.h"

namespace skin::test {

// Pumps messages until done() holds or a generous deadline passes.
inline bool WaitFor(const std::function<bool()>& done)
{
    const ULONGLONG until = GetTickCount64() + 20000;
    while (!done()) {
        if (GetTickCount64() > until)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        tw::Application->ProcessMessages();
    }
    return true;
}

inline INPUT Mouse(DWORD flags, POINT at = {0, 0})
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    if (flags & MOUSEEVENTF_MOVE) {
        in.mi.dwFlags |= MOUSEEVENTF_ABSOLUTE;
        in.mi.dx = LONG((int64_t(at.x) * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1));
        in.mi.dy = LONG((int64_t(at.y) * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1));
    }
    return in;
}

// Moves there, presses, moves along the way given, releases.
inline void Drag(POINT from, POINT to, int steps)
{
    std::vector<INPUT> in{Mouse(MOUSEEVENTF_MOVE, from), Mouse(MOUSEEVENTF_LEFTDOWN)};
    for (int i = 1; i <= steps; ++i)
        in.push_back(Mouse(MOUSEEVENTF_MOVE, {from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}));
    in.push_back(Mouse(MOUSEEVENTF_LEFTUP));
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

inline void Click(POINT at) { Drag(at, at, 0); }

// The pointer out of the way, in the screen's last corner.
inline void Park() { SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1); }

// The centre of what answers code to the window's own hit test within its
// first `rows` rows (screen coordinates), {-1, -1} when nothing does; a grid
// fine enough for the smallest button.
inline POINT FindHitCode(HWND wnd, LRESULT code, LONG rows = LONG_MAX)
{
    RECT wr;
    GetWindowRect(wnd, &wr);
    const LONG last = rows < wr.bottom - wr.top ? wr.top + rows : wr.bottom;
    LONG left = wr.right, top = wr.bottom, right = wr.left - 1, bottom = wr.top - 1;
    for (LONG y = wr.top; y < last; y += 2)
        for (LONG x = wr.left; x < wr.right; x += 2)
            if (SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == code) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < left)
        return {-1, -1};
    return {(left + right) / 2, (top + bottom) / 2};
}

} // namespace skin::test
