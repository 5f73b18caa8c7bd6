// Windows only. The process's live GDI objects, for tests that check that
// windows, pictures and skins give back what they take.
#pragma once

#include <windows.h>

namespace tw::test {

// Wine does not count them for GetGuiResources; there a handle's low word is
// its slot in the process's handle table, and a handle without the upper
// word names whatever lives in that slot, so the live slots can be counted.
inline DWORD GdiObjects() {
    SetLastError(0);
    const DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return n;
    DWORD live = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(slot))) ++live;
    return live;
}

} // namespace tw::test
