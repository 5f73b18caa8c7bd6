#include "ts/dvb_crc32.h"

#include <array>

namespace tw {

namespace {

using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

// Table k advances a byte that still has k bytes behind it in the block: the
// CRC of byte value i followed by k zero bytes.
constexpr TCrcTables MakeTables() {
    TCrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : (c << 1);
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
    return t;
}

// Built by the compiler from the polynomial, stored as constant data.
constexpr TCrcTables kTables = MakeTables();

} // namespace

uint32_t Crc32Mpeg(const void* data, uint32_t start, int64_t length) {
    uint32_t crc = start;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    // Eight bytes per step through eight independent look-ups instead of a
    // chain of eight dependent ones: the duplicate finder takes the CRC of
    // every packet of a recording, and byte by byte it was a third of its time.
    const auto& t = kTables;
    for (; length >= 8; length -= 8, p += 8) {
        const uint32_t w = crc ^ (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
        crc = t[7][w >> 24] ^ t[6][(w >> 16) & 0xFF] ^ t[5][(w >> 8) & 0xFF] ^ t[4][w & 0xFF] ^ t[3][p[4]] ^ t[2][p[5]] ^
              t[1][p[6]] ^ t[0][p[7]];
    }
    for (int64_t i = 0; i < length; ++i) crc = (crc << 8) ^ t[0][((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

} // namespace tw
