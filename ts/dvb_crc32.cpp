#include "ts/dvb_crc32.h"

#include <array>

namespace tw {

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : (c << 1);
        t[i] = c;
    }
    return t;
}

// Built by the compiler from the polynomial, stored as constant data.
constexpr std::array<uint32_t, 256> kTable = MakeTable();

} // namespace

uint32_t Crc32Mpeg(const void* data, uint32_t start, int64_t length) {
    uint32_t crc = start;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (int64_t i = 0; i < length; ++i) crc = (crc << 8) ^ kTable[((crc >> 24) ^ p[i]) & 0xFF];
    return crc;
}

} // namespace tw
