// The one rounding of the program: halves to even, exactly as nearbyint in
// the default rounding mode, for doubles and floats, and the channel clamp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/Rounding.h"

using namespace tw;

TEST(Rounding, HalvesGoToTheEvenNeighbourLikeNearbyint) {
    const double halves[] = {-2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 254.5, 255.5, 1e15 + 0.5};
    const int64_t expected[] = {-2, -2, 0, 0, 2, 2, 254, 256, 1000000000000000};
    for (size_t i = 0; i < std::size(halves); ++i) {
        EXPECT_EQ(RoundHalfEven(halves[i]), expected[i]) << halves[i];
        if (std::fabs(halves[i]) < 1e6) EXPECT_EQ(RoundHalfEven(static_cast<float>(halves[i])), expected[i]) << halves[i];
    }
    // A sweep across fractions near the halves, where a truncating or
    // half-away-from-zero rounding would differ.
    for (int i = -4000; i <= 4000; ++i) {
        const double d = i / 16.0 + (i % 3) * 1e-9;
        ASSERT_EQ(RoundHalfEven(d), static_cast<int64_t>(std::nearbyint(d))) << d;
        const float f = static_cast<float>(i) / 8.0f;
        ASSERT_EQ(RoundHalfEven(f), static_cast<int64_t>(std::nearbyintf(f))) << f;
    }
    // The largest double below one half is not a half.
    EXPECT_EQ(RoundHalfEven(std::nextafter(0.5, 0.0)), 0);
    EXPECT_EQ(RoundHalfEven(std::nextafter(0.5, 1.0)), 1);
}

TEST(Rounding, ChannelsAreHeldToAByteAndNaNGivesZero) {
    EXPECT_EQ(RoundToByte(-3.7), 0);
    EXPECT_EQ(RoundToByte(127.5), 128);
    EXPECT_EQ(RoundToByte(128.5), 128);
    EXPECT_EQ(RoundToByte(254.5), 254);
    EXPECT_EQ(RoundToByte(255.4999), 255);
    EXPECT_EQ(RoundToByte(1e30), 255);
    EXPECT_EQ(RoundToByte(-1e30), 0);
    EXPECT_EQ(RoundToByte(300.0f), 255);
    EXPECT_EQ(RoundToByte(2.5f), 2);
    EXPECT_EQ(RoundToByte(std::numeric_limits<double>::quiet_NaN()), 0);
}
