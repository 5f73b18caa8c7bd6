#include "base/ByteSearch.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tw;

// Every start and length around the sixteen-byte blocks, the value at every
// place (and twice, and nowhere), against a plain loop.
TEST(FindByte, FindsTheFirstMatchAtEveryAlignmentAndNothingPastTheEnd) {
    std::vector<uint8_t> buf(80);
    auto plain = [](const uint8_t* p, const uint8_t* end, uint8_t v) -> const uint8_t* {
        for (; p < end; ++p)
            if (*p == v) return p;
        return nullptr;
    };
    for (size_t start = 0; start < 17; ++start) {
        for (size_t len = 0; start + len <= buf.size(); ++len) {
            const uint8_t* p = buf.data() + start;
            const uint8_t* end = p + len;
            for (size_t at = 0; at <= len; ++at) { // at == len: not in the range
                for (size_t k = 0; k < buf.size(); ++k) buf[k] = static_cast<uint8_t>(0x80 | k);
                if (start + at < buf.size()) buf[start + at] = 0; // may lie just past the end
                if (at + 5 < len) buf[start + at + 5] = 0;         // a second match after it
                ASSERT_EQ(FindByte(p, end, 0), plain(p, end, 0)) << start << " " << len << " " << at;
            }
        }
    }
    const uint8_t one[] = {0xFF};
    EXPECT_EQ(FindByte(one, one, 0xFF), nullptr);
    EXPECT_EQ(FindByte(one, one + 1, 0xFF), one);
}

// Pairs of zeros at every place around the 16- and 64-byte steps (pairs
// across a step's last byte included), lone zeros that must not stop it, and
// a pair cut in half by the end.
TEST(FindZeroPair, FindsTheFirstPairAtEveryAlignmentAndNothingPastTheEnd) {
    std::vector<uint8_t> buf(180);
    auto plain = [](const uint8_t* p, const uint8_t* end) -> const uint8_t* {
        for (; end - p >= 2; ++p)
            if (p[0] == 0 && p[1] == 0) return p;
        return nullptr;
    };
    for (size_t start = 0; start < 17; ++start) {
        for (size_t len = 0; start + len <= buf.size(); ++len) {
            const uint8_t* p = buf.data() + start;
            const uint8_t* end = p + len;
            for (size_t at = 0; at <= len; ++at) {
                // Zeros every third byte: plenty of them, never two together.
                for (size_t k = 0; k < buf.size(); ++k) buf[k] = k % 3 == 0 ? 0 : static_cast<uint8_t>(0x40 | k);
                if (start + at + 1 < buf.size()) buf[start + at] = buf[start + at + 1] = 0; // may end past the end
                ASSERT_EQ(FindZeroPair(p, end), plain(p, end)) << start << " " << len << " " << at;
            }
        }
    }
    const uint8_t two[] = {0, 0};
    EXPECT_EQ(FindZeroPair(two, two + 1), nullptr);
    EXPECT_EQ(FindZeroPair(two, two + 2), two);
}

TEST(FindStartCode01, FindsTheFirstCodeAtEveryAlignmentAmongLoneOnesAndZeros) {
    std::vector<uint8_t> buf(200);
    auto plain = [](const uint8_t* p, const uint8_t* end) -> const uint8_t* {
        for (; p < end; ++p)
            if (p[0] == 1 && p[-1] == 0 && p[-2] == 0) return p;
        return nullptr;
    };
    // Picture data full of near misses: 01 after one zero, 01 after a
    // nonzero, zero pairs followed by other bytes.
    auto fill = [&buf] {
        for (size_t k = 0; k < buf.size(); ++k) {
            const size_t r = k % 5;
            buf[k] = r == 0 ? 0 : r == 1 ? 1 : r == 2 ? 0 : r == 3 ? 0 : 2;
        }
    };
    for (size_t start = 2; start < 19; ++start) {
        for (size_t len = 0; start + len <= buf.size(); ++len) {
            const uint8_t* p = buf.data() + start;
            const uint8_t* end = p + len;
            fill();
            ASSERT_EQ(FindStartCode01(p, end), plain(p, end)) << start << " " << len;
            for (size_t at = 0; at < len; ++at) {
                fill();
                // A code whose zeros may lie before p or whose 01 lies at the last byte.
                buf[start + at - 2] = 0;
                buf[start + at - 1] = 0;
                buf[start + at] = 1;
                ASSERT_EQ(FindStartCode01(p, end), plain(p, end)) << start << " " << len << " " << at;
            }
        }
    }
}
