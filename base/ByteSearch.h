// A search for one byte value, as memchr does. The Windows build's C library
// (msvcrt) compares byte by byte, which made the stream readers' start-code
// searches the Windows program's hottest spot; there the search compares
// sixteen bytes at a time. Elsewhere the C library's own is faster still.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
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

// The first p in [p, end - 1) with p[0] == 0 and p[1] == 0, or nullptr.
// Every H.264 start code and emulation-prevention byte begins so. Compressed
// video holds a zero byte every few dozen bytes but two in a row seldom, so
// a search for single zeros stopped far too often; this one stops only at a
// pair. A byte of p[k] | p[k + 1] is zero just where a pair starts at k, so
// 64 bytes a step are looked at with a few vector operations.
inline const uint8_t* FindZeroPair(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    auto pairsAt = [](const uint8_t* q) {
        return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1)));
    };
    auto zeroMask = [&zero](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))); };
    while (end - p > 64) {
        const __m128i v0 = pairsAt(p), v1 = pairsAt(p + 16), v2 = pairsAt(p + 32), v3 = pairsAt(p + 48);
        const __m128i least = _mm_min_epu8(_mm_min_epu8(v0, v1), _mm_min_epu8(v2, v3));
        if (zeroMask(least) != 0) {
            if (const unsigned m = zeroMask(v0)) return p + __builtin_ctz(m);
            if (const unsigned m = zeroMask(v1)) return p + 16 + __builtin_ctz(m);
            if (const unsigned m = zeroMask(v2)) return p + 32 + __builtin_ctz(m);
            return p + 48 + __builtin_ctz(zeroMask(v3));
        }
        p += 64;
    }
    while (end - p > 16) {
        if (const unsigned m = zeroMask(pairsAt(p))) return p + __builtin_ctz(m);
        p += 16;
    }
#endif
    for (; end - p >= 2; ++p)
        if (p[0] == 0 && p[1] == 0) return p;
    return nullptr;
}

// The first q in [p, end) with q[-2] == 0, q[-1] == 0 and q[0] == 1: the 01
// byte of an MPEG start code 00 00 01. The two bytes before p must be
// readable. Looking for the 01 byte alone stopped at every 01 of the picture
// data (a few in every hundred bytes of MPEG-2 video); this looks at the
// three bytes together, 64 positions a step.
inline const uint8_t* FindStartCode01(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    auto codesAt = [&](const uint8_t* q) {
        const __m128i ones = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), one);
        const __m128i zeros = _mm_cmpeq_epi8(_mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 1)),
                                                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(q - 2))),
                                             zero);
        return _mm_and_si128(ones, zeros);
    };
    auto mask = [](__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); };
    while (end - p >= 64) {
        const __m128i v0 = codesAt(p), v1 = codesAt(p + 16), v2 = codesAt(p + 32), v3 = codesAt(p + 48);
        if (mask(_mm_or_si128(_mm_or_si128(v0, v1), _mm_or_si128(v2, v3))) != 0) {
            if (const unsigned m = mask(v0)) return p + __builtin_ctz(m);
            if (const unsigned m = mask(v1)) return p + 16 + __builtin_ctz(m);
            if (const unsigned m = mask(v2)) return p + 32 + __builtin_ctz(m);
            return p + 48 + __builtin_ctz(mask(v3));
        }
        p += 64;
    }
    while (end - p >= 16) {
        if (const unsigned m = mask(codesAt(p))) return p + __builtin_ctz(m);
        p += 16;
    }
#endif
    for (; p < end; ++p)
        if (p[0] == 1 && p[-1] == 0 && p[-2] == 0) return p;
    return nullptr;
}

} // namespace tw
