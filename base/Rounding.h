// Rounding to the nearest integer, halves to even (the default rounding mode),
// as one SSE2 conversion instruction.
//
// MinGW's nearbyint and nearbyintf save, change and restore the x87 control
// word on every call; the skin's pixel loops round per channel, and under
// Windows that call was a large share of their time. The conversion here uses
// the SSE rounding mode, which the program never changes, so the results are
// bit for bit those of nearbyint.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TW_ROUNDING_SSE2 1
#endif

namespace tw {

// NaN and values outside the 64-bit range give INT64_MIN (the conversion's
// "indefinite" result) instead of undefined behaviour.
inline int64_t RoundHalfEven(double v) {
#ifdef TW_ROUNDING_SSE2
    return _mm_cvtsd_si64(_mm_set_sd(v));
#else
    if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0)) return INT64_MIN;
    return static_cast<int64_t>(std::nearbyint(v));
#endif
}

inline int64_t RoundHalfEven(float v) {
#ifdef TW_ROUNDING_SSE2
    return _mm_cvtss_si64(_mm_set_ss(v));
#else
    return RoundHalfEven(static_cast<double>(v));
#endif
}

// A colour channel: rounded and held to 0..255; NaN gives 0.
inline uint8_t RoundToByte(double v) {
    return v >= 255.0 ? 255 : v > 0.0 ? static_cast<uint8_t>(RoundHalfEven(v)) : 0;
}
inline uint8_t RoundToByte(float v) {
    return v >= 255.0f ? 255 : v > 0.0f ? static_cast<uint8_t>(RoundHalfEven(v)) : 0;
}

} // namespace tw
