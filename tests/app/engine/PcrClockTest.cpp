// The PCR judge of the cleaning pass: what counts as out of range, where a
// bad PCR belongs, and when there is no sound place for it.
#include <gtest/gtest.h>

#include "app/engine/PcrClock.h"
#include "ts/TSTimeStamp.h"

namespace tw {
namespace {

// A PCR every 100 packets, 1,080,000 ticks (40 ms) apart.
constexpr int64_t kStep = 1080000;
constexpr int64_t kGap = 100;

TEST(PcrClock, BadValuesAreCorrectedFromTheLastGoodOneAtTheGoodRate)
{
    TPcrClock clock;
    int64_t pcr = 5000000;
    for (int i = 0; i < 10; ++i, pcr += kStep)
        EXPECT_FALSE(clock.Judge(i * kGap, pcr, false).OutOfRange);
    // Two wrong values in a row, then the clock goes on as before.
    const TPcrClock::TVerdict a = clock.Judge(10 * kGap, pcr + 270000000, false);
    const TPcrClock::TVerdict b = clock.Judge(11 * kGap, 123, false);
    ASSERT_TRUE(a.OutOfRange);
    ASSERT_TRUE(b.OutOfRange);
    EXPECT_EQ(a.Correction, pcr);
    EXPECT_EQ(b.Correction, pcr + kStep);
    EXPECT_EQ(b.Reference, pcr - kStep); // the last good one, not the bad one before
    EXPECT_FALSE(clock.Judge(12 * kGap, pcr + 2 * kStep, false).OutOfRange);
}

TEST(PcrClock, WithoutAMeasuredRateThereIsNoCorrection)
{
    TPcrClock clock;
    EXPECT_FALSE(clock.Judge(0, 1000000, false).OutOfRange);
    const TPcrClock::TVerdict v = clock.Judge(100, 900000000000LL, false);
    EXPECT_TRUE(v.OutOfRange);
    EXPECT_EQ(v.Correction, -1);
    // A clock that only stood still or went back has no rate either.
    EXPECT_FALSE(clock.Judge(200, 1000000, false).OutOfRange);
    EXPECT_EQ(clock.Judge(300, 900000000000LL, false).Correction, -1);
}

TEST(PcrClock, CorrectionsStayInRangeAndRunForwardAcrossTheWrap)
{
    TPcrClock clock;
    int64_t pcr = kPcrModulus - 5 * kStep;
    for (int i = 0; i < 4; ++i, pcr += kStep)
        clock.Judge(i * kGap, pcr, false);
    int64_t last = -1;
    bool wrappedOnce = false;
    for (int i = 4; i < 12; ++i) {
        // Garbage that never agrees with itself (every other one far back).
        const TPcrClock::TVerdict v = clock.Judge(i * kGap, (i % 2) ? kPcrModulus / 3 : kPcrModulus / 2, false);
        ASSERT_TRUE(v.OutOfRange) << i;
        ASSERT_GE(v.Correction, 0);
        ASSERT_LT(v.Correction, kPcrModulus);
        const int64_t unwrapped = v.Correction < kStep * 10 ? v.Correction + kPcrModulus : v.Correction;
        wrappedOnce = wrappedOnce || v.Correction < kStep * 10;
        EXPECT_GT(unwrapped, last) << i;
        last = unwrapped;
    }
    EXPECT_TRUE(wrappedOnce);
}

TEST(PcrClock, ARealJumpBecomesTheNewReference)
{
    TPcrClock clock;
    int64_t pcr = 1000000;
    for (int i = 0; i < 5; ++i, pcr += kStep)
        clock.Judge(i * kGap, pcr, false);
    // Announced by the stream: taken at once.
    EXPECT_FALSE(clock.Judge(5 * kGap, 500000000000LL, true).OutOfRange);
    EXPECT_FALSE(clock.Judge(6 * kGap, 500000000000LL + kStep, false).OutOfRange);
    // Unannounced: a few PCRs that agree with each other, then accepted.
    int64_t jumped = 900000000000LL;
    int outOfRange = 0;
    for (int i = 7; i < 20; ++i, jumped += kStep)
        outOfRange += clock.Judge(i * kGap, jumped, false).OutOfRange ? 1 : 0;
    EXPECT_EQ(outOfRange, 4);
}

TEST(PcrClock, WrapIsReportedAndInRange)
{
    TPcrClock clock;
    clock.Judge(0, kPcrModulus - kStep / 2, false);
    const TPcrClock::TVerdict v = clock.Judge(kGap, kStep / 2, false);
    EXPECT_TRUE(v.Wrapped);
    EXPECT_FALSE(v.OutOfRange);
}

} // namespace
} // namespace tw
