// Packets of one PID that are all different and yet all share the 32-bit key
// an earlier duplicate finder filed packets under: that key summed products
// of word pairs, (w[i] + c[i]) * (w[i+1] + c[i+1]), so a pair whose two
// factors are 2^t and 2^(31-t) gives 2^31 whatever t is. Each of four word
// pairs of the payload takes one of 32 such splits, which makes about a
// million packets with one key; the old finder compared each new packet with
// every earlier one by reading it again, quadratic in their number. Used by
// the finder's tests and its benchmark.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace tw::test {

// The offsets the former key added to the words of the packet, by position.
inline constexpr uint32_t kFormerKeyOffsets[48] = {
    0xCA276A15u, 0xB4FBDAAFu, 0xD7A5DAEDu, 0xE2971EB7u, 0x38ACB887u, 0x43FCC28Fu, 0xEA32AB2Du, 0x00F65319u,
    0x3DCDEC1Bu, 0x12006CB1u, 0xB0B82FD5u, 0x44D51D39u, 0x644F0F51u, 0x4383DAE3u, 0xE71D131Fu, 0x59EAAEEFu,
    0x4CA29575u, 0x4409A11Fu, 0xFB73B049u, 0x1D61E63Du, 0x1B9393AFu, 0x0688E9C5u, 0xB17982D3u, 0x823D2C39u,
    0xB7D81581u, 0x7FE1DA95u, 0x7950D283u, 0x58062619u, 0x1C8B9AF7u, 0x3F13B009u, 0x4391594Du, 0xD3A6D5FFu,
    0xD19A883Du, 0x0A345C31u, 0x50218B83u, 0x66B91EBBu, 0x348A20B3u, 0x8262F391u, 0x79AC40B3u, 0xAB09A999u,
    0xE333EFB1u, 0xADEBD4BDu, 0x97BBB28Du, 0x12C8CC0Bu, 0x32E568E9u, 0x0C66ACA3u, 0xEE38BC0Fu, 0x2D41511Fu};

// The former key of a 188-byte packet (before its final mixing, which does
// not change whether two keys are equal).
inline uint64_t FormerKeySum(const uint8_t* p) {
    auto word = [p](int i) {
        uint32_t w;
        std::memcpy(&w, p + 4 * i, 4);
        return w;
    };
    uint64_t sum = 0;
    for (int i = 0; i < 46; i += 2)
        sum += uint64_t(word(i) + kFormerKeyOffsets[i]) * (word(i + 1) + kFormerKeyOffsets[i + 1]);
    return sum + uint64_t(word(46) + kFormerKeyOffsets[46]) * kFormerKeyOffsets[47];
}

// The n-th colliding packet of pid (n below 2^20): continuity counter 0 and
// the same header for all, so that only the crafted words differ.
inline std::vector<uint8_t> CollidingPacket(int pid, uint32_t n) {
    std::vector<uint8_t> p(188, 0xA5);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((pid >> 8) & 0x1F);
    p[2] = static_cast<uint8_t>(pid);
    p[3] = 0x10;
    // Word pairs (2,3), (4,5), (6,7), (8,9): bytes 8 to 39 of the payload.
    for (int pair = 0; pair < 4; ++pair) {
        const uint32_t t = (n >> (5 * pair)) & 31;
        const int i = 2 + 2 * pair;
        const uint32_t a = (1u << t) - kFormerKeyOffsets[i];
        const uint32_t b = (1u << (31 - t)) - kFormerKeyOffsets[i + 1];
        std::memcpy(p.data() + 4 * i, &a, 4);
        std::memcpy(p.data() + 4 * (i + 1), &b, 4);
    }
    return p;
}

} // namespace tw::test
