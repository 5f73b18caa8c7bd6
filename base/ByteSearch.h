// A search for one byte value, as memchr does. The Windows build's C library
// (msvcrt) compares byte by byte, which made the stream readers' start-code
// searches the Windows program's hottest spot; there the search compares
// sixteen bytes at a time. Elsewhere the C library's own is faster still.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(_WIN32) && defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tw {

// The first byte equal to value in [p, end), or nullptr.
inline const uint8_t* FindByte(const uint8_t* p, const uint8_t* end, uint8_t value) {
    if (p >= end) return nullptr;
#if defined(_WIN32) && defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(value));
    while (end - p >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
        if (mask) return p + __builtin_ctz(mask);
        p += 16;
    }
    for (; p < end; ++p)
        if (*p == value) return p;
    return nullptr;
#else
    return static_cast<const uint8_t*>(std::memchr(p, value, static_cast<size_t>(end - p)));
#endif
}

} // namespace tw
