#include "tools/engine/KeyedHash.h"

#include <bit>
#include <cstring>
#include <random>

namespace tw {

namespace {

constexpr uint64_t Rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct TState {
    uint64_t v0, v1, v2, v3;
    void Round() {
        v0 += v1;
        v1 = Rotl(v1, 13);
        v1 ^= v0;
        v0 = Rotl(v0, 32);
        v2 += v3;
        v3 = Rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = Rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = Rotl(v1, 17);
        v1 ^= v2;
        v2 = Rotl(v2, 32);
    }
    void Absorb(uint64_t m) {
        v3 ^= m;
        Round();
        Round();
        v0 ^= m;
    }
    uint64_t Squeeze() {
        for (int i = 0; i < 4; ++i) Round();
        return v0 ^ v1 ^ v2 ^ v3;
    }
};

static_assert(std::endian::native == std::endian::little, "the words are read as they lie in memory");

uint64_t LoadLe64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

} // namespace

TKeyedHash TKeyedHash::WithRandomKey() {
    std::random_device source;
    uint64_t k[2];
    for (uint64_t& half : k) half = (uint64_t(source()) << 32) ^ source();
    return TKeyedHash(k[0], k[1]);
}

THash128 TKeyedHash::operator()(const uint8_t* data, size_t length) const {
    TState s{k0_ ^ 0x736F6D6570736575ull, k1_ ^ 0x646F72616E646F6Dull ^ 0xEE, k0_ ^ 0x6C7967656E657261ull,
             k1_ ^ 0x7465646279746573ull};
    const uint8_t* p = data;
    for (size_t n = length / 8; n > 0; --n, p += 8) s.Absorb(LoadLe64(p));
    uint64_t last = uint64_t(length & 0xFF) << 56;
    for (size_t i = 0; i < (length & 7); ++i) last |= uint64_t(p[i]) << (8 * i);
    s.Absorb(last);
    s.v2 ^= 0xEE;
    THash128 h;
    h.Low = s.Squeeze();
    s.v1 ^= 0xDD;
    h.High = s.Squeeze();
    return h;
}

} // namespace tw
