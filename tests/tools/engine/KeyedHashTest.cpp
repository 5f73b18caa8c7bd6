// The keyed hash the duplicate finder decides equality by: SipHash-2-4 with
// 128-bit output, checked against the reference vectors (key 00 01 .. 0F,
// message 00 01 02 .. of each length, hash as its 16 bytes), and a key drawn
// anew each time.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/engine/KeyedHash.h"

using namespace tw;

namespace {

std::string Hex(const THash128& h) {
    std::string s;
    char b[3];
    for (uint64_t half : {h.Low, h.High})
        for (int i = 0; i < 8; ++i) {
            std::snprintf(b, sizeof b, "%02X", static_cast<unsigned>((half >> (8 * i)) & 0xFF));
            s += b;
        }
    return s;
}

} // namespace

TEST(KeyedHash, ReferenceVectorsAndAKeyDrawnEachTime) {
    const TKeyedHash reference(0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull);
    const struct {
        size_t length;
        const char* hash;
    } vectors[] = {{0, "A3817F04BA25A8E66DF67214C7550293"},   {7, "A1F1EBBED8DBC153C0B84AA61FF08239"},
                   {8, "3B62A9BA6258F5610F83E264F31497B4"},   {15, "5493E99933B0A8117E08EC0F97CFC3D9"},
                   {63, "5150D1772F50834A503E069A973FBD7C"},  {188, "2E780E3D9844E99230DB8830B85D0395"}};
    std::vector<uint8_t> message(188);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i);
    for (const auto& v : vectors) EXPECT_EQ(Hex(reference(message.data(), v.length)), v.hash) << v.length;

    // A random key, not a fixed one: the same packet hashes differently each
    // time, so no recording can be made to meet under the key of its search.
    const THash128 a = TKeyedHash::WithRandomKey()(message.data(), 188);
    const THash128 b = TKeyedHash::WithRandomKey()(message.data(), 188);
    EXPECT_NE(a, reference(message.data(), 188));
    EXPECT_NE(a, b);
}
