#pragma once
// What the provider's own source files share and nobody else needs: the
// outline drag of the process, the few message numbers the provider looks at
// and the small conversions the window procedure's rows use.
#include <windows.h>

#include <cstdint>

#include "skin/windows/sSkinProvider.h"

namespace skin::provider_detail {

inline TPoint PointOf(LPARAM lp) { return TPoint(short(LOWORD(lp)), short(HIWORD(lp))); }

inline bool IsFrameCode(int code) { return code == htCaption || (code >= htLeft && code <= htBottomRight); }

// One outline drag at a time in the process: the mouse is captured by the
// form that started it.
struct TOutlineDrag {
    TsSkinProvider* Owner = nullptr;
    int Edge = 0;         // htCaption: moving
    TPoint Start, Last;   // screen points
    TRect Form;           // the window when the drag began
    TRect Outline;
    HDC DesktopDC = nullptr;
    int SavedDC = 0;
    // Started from the system menu and the mouse has not moved since: a
    // size drag takes its start point (and, when unknown, its edge) from
    // the first move.
    bool NotMovedYet = false;
};
// Defined with the drag (sSkinProviderDrag.cpp).
extern TOutlineDrag g_drag;

// Moving a window with the mouse button already down (a kind of SC_MOVE).
inline constexpr WPARAM kScDragMove = 0xF012;
// The request to draw the extended border again.
inline constexpr uint16_t AC_UPDATEEXTBORDER = 37;

// Messages of the class library's own that the provider looks at.
inline constexpr UINT CM_OWNREGIONQUERY = 0xBC4D;
// The framework's notice that a control is to be invalidated.
inline constexpr UINT CM_INVALIDATE = 0xB034;
// The framework's notice that a control was docked into or out of a host:
// the window it had may be another now.
inline constexpr UINT CM_FLOAT = 0xB03A;
inline constexpr WPARAM kOwnRegionAnswer = 0x41A2;

} // namespace skin::provider_detail
