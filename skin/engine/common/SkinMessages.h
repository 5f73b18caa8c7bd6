#pragma once
// The one window message the skin library talks through. A receiver that
// knows the sub-command (high word of WParam) acts on it or answers it; every
// other receiver passes it on, so each query has a meaningful 0 answer: not
// skinned, no provider, no colour.
#include <cstdint>

#include "skin/engine/common/SkinUtils.h"

namespace skin {

// Fixed rather than registered: every window of the library compares against
// this number, also windows of another instance that skins ours.
inline constexpr uint32_t SM_ALPHACMD = 0xA100;
#ifdef _WIN32
// The name is still registered once at start, as other skinned programs do;
// the number the system gives for it is kept but never compared against.
extern const uint32_t RegisteredSkinMessage;
#endif

enum TSkinCommand : uint16_t {
    AC_SKINLOADED = 1,
    AC_SKINREMOVED = 2,
    AC_SKINREFRESH = 3,
    AC_QUERYPROVIDER = 4,
    AC_PREPARECHILD = 5,
    AC_REFRESHSTATE = 6,
    AC_QUERYSKINNED = 7,
    AC_SETACTIVESTATE = 8,
    AC_SETUPDATING = 9,
    AC_QUERYACTIVE = 10,
    AC_QUERYSPECIAL = 11,
    AC_PARENTBGCHANGED = 12,
    AC_INVALIDATE = 13,
    AC_MENUPREPARED = 14,
    AC_STOPANIMATION = 16,
    AC_BGCHANGED = 17,
    AC_RESETCACHE = 18,
    AC_QUERYUPDATING = 19,
    AC_ENDUPDATE = 20,
    AC_QUERYCOLOR = 21,
    AC_SETSPECIAL = 22,
    AC_FADESTART = 23,
    AC_FADEFRAME = 24,
    AC_CONTROLLOADED = 25,
    AC_QUERYSKININDEX = 26,
    AC_QUERYCAPTIONHEIGHT = 27,
    AC_ACTIVATED = 29,
    AC_DEACTIVATED = 30,
    AC_MOUSEENTER = 31,
    AC_MOUSELEAVE = 32,
    AC_QUERYBGINFO = 34,
    AC_SCROLLPAINT = 35,
    AC_CONTAINERFLAG = 36,
    AC_BEFORESCROLL = 51,
    AC_AFTERSCROLL = 52,
    AC_QUERYAPPLICATION = 60,
    AC_QUERYCLIENTORIGIN = 61,
};

// The common handler of a control's skin link answers nothing above this.
inline constexpr uint16_t AC_LASTCOMMON = AC_QUERYAPPLICATION;

// WParam of the message: sub-command in the high word, its argument in the low.
inline constexpr uintptr_t SkinWParam(uint16_t command, uint16_t arg = 0)
{
    return (uintptr_t(command) << 16) | arg;
}
inline constexpr uint16_t SkinCommandOf(uintptr_t wparam) { return uint16_t(wparam >> 16); }
inline constexpr uint16_t SkinArgOf(uintptr_t wparam) { return uint16_t(wparam & 0xFFFF); }

// The colour a partly transparent section answers to AC_QUERYCOLOR: the
// parent's colour shows through by Transparency/256 per channel (the weight
// is against 256, so 100 still leaves a trace of the section's colour).
TColor MixTransparentColor(TColor parent, TColor section, int transparency);

} // namespace skin
