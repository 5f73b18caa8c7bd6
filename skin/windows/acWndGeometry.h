#pragma once
// The place of a window as the window adapters keep it.
#include <windows.h>

namespace skin {

// Where a window lies: its screen rectangle, its parent, its top-left
// corner in the parent's client area, its size and the parent's screen
// rectangle.
struct TacWndGeometry {
    RECT WndRect{};
    HWND Parent = nullptr;
    POINT PosInParent{};
    SIZE Size{};
    RECT ParentRect{};
};
TacWndGeometry WndRectInParent(HWND wnd);

} // namespace skin
