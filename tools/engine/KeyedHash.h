// A 128-bit hash under a secret key: SipHash-2-4 with its 128-bit output.
// Whoever made the data cannot know the key, so cannot choose data whose
// hashes meet: two different inputs share a hash with probability 2^-128,
// whatever they hold. The duplicate finder decides that two packets are equal
// by it, without keeping or reading the packets again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tw {

struct THash128 {
    uint64_t Low = 0;
    uint64_t High = 0;
    bool operator==(const THash128&) const = default;
};

class TKeyedHash {
public:
    // The key as its 16 bytes, little-endian halves (the usual notation).
    TKeyedHash(uint64_t k0, uint64_t k1) : k0_(k0), k1_(k1) {}
    // A key drawn from the system's random source.
    static TKeyedHash WithRandomKey();
    THash128 operator()(const uint8_t* data, size_t length) const;

private:
    uint64_t k0_;
    uint64_t k1_;
};

} // namespace tw
