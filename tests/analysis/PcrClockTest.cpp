// The PCR judge of the cleaning pass: what counts as out of range, where a
// bad PCR belongs, and when there is no sound place for it.
#include <gtest/gtest.h>

#include "analysis/PcrClock.h"
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

// The system layer allows a tenth of a second between two PCRs, so the
// first PCR after the wrap may lie up to that far past it; wherever the wrap
// falls between two of them, the clock goes on without a fault.
TEST(PcrClock, PcrsATenthOfASecondApartCrossTheWrapWherever)
{
    for (const int64_t step90 : {int64_t(3600), int64_t(8100), int64_t(9000)}) {
        for (int64_t phase = 0; phase < step90; phase += 450) {
            TPcrClock clock;
            int64_t pcr90 = kPtsModulus - 10 * step90 + phase, packet = 0;
            for (int i = 0; i < 20; ++i) {
                packet += 60;
                pcr90 += step90;
                const int64_t stamp = WrapClock(pcr90 + 63000, kPtsModulus);
                clock.NoteTimeStamp(stamp);
                const TPcrClock::TVerdict v =
                    clock.Judge(packet, WrapClock(pcr90, kPtsModulus) * 300, false, [stamp] { return stamp; });
                ASSERT_FALSE(v.OutOfRange) << step90 << " " << phase << " " << i;
            }
        }
    }
}

// A low-rate recording as a muxer writes it: a PCR every 80 ms with only a
// few packets between (far more ticks per packet than the limit), its PES
// headers' decode times 0.7 s ahead of the clock and moving with it.
struct LowRateFeed {
    static constexpr int64_t kPcrStep90 = 7200;
    static constexpr int64_t kLead90 = 63000;
    TPcrClock clock;
    int64_t packet = 0, pcr90 = 63000;
    // The next PCR packet, its PES header in front; returns the verdict.
    TPcrClock::TVerdict Next(int64_t packets, int64_t pcr90Override = -1)
    {
        packet += packets;
        pcr90 += kPcrStep90;
        clock.NoteTimeStamp((pcr90 + kLead90) % kPtsModulus);
        // Audio between, behind the video: no step back for the clock.
        clock.NoteTimeStamp((pcr90 + kLead90 - 12000) % kPtsModulus);
        return clock.Judge(packet, (pcr90Override >= 0 ? pcr90Override : pcr90 % kPtsModulus) * 300, false);
    }
};

TEST(PcrClock, LowRateStepsThatTheTimeStampsMakeTooAreNoError)
{
    LowRateFeed f;
    f.clock.NoteTimeStamp(f.pcr90 + LowRateFeed::kLead90);
    f.clock.Judge(0, f.pcr90 * 300, false);
    for (int i = 0; i < 200; ++i)
        ASSERT_FALSE(f.Next(3 + i % 5).OutOfRange) << i; // 7,200 x 300 / 3 = 720,000 per packet
    // An unannounced jump: a few PCRs that agree with each other, then
    // the new clock is taken, however few packets lie between.
    f.pcr90 += 3600 * 90000;
    int outOfRange = 0;
    for (int i = 0; i < 10; ++i)
        outOfRange += f.Next(4).OutOfRange ? 1 : 0;
    EXPECT_EQ(outOfRange, 4);
    // Across the wrap of the clock as well.
    f.pcr90 = kPtsModulus - 20 * LowRateFeed::kPcrStep90;
    f.clock.Judge(f.packet += 40, f.pcr90 * 300, true);
    for (int i = 0; i < 40; ++i)
        ASSERT_FALSE(f.Next(4).OutOfRange) << i;
}

TEST(PcrClock, LowRateStillCatchesPcrsThatLeaveTheTimeStamps)
{
    LowRateFeed f;
    f.clock.Judge(0, f.pcr90 * 300, false);
    for (int i = 0; i < 20; ++i)
        f.Next(5);
    // Half a second ahead of its stamps, and ten seconds: damage both.
    TPcrClock::TVerdict v = f.Next(4, f.pcr90 + LowRateFeed::kPcrStep90 + 45000);
    EXPECT_TRUE(v.OutOfRange);
    EXPECT_EQ(v.Correction, (f.pcr90 - LowRateFeed::kPcrStep90) * 300 + 4 * (LowRateFeed::kPcrStep90 * 300 / 5));
    EXPECT_TRUE(f.Next(4, f.pcr90 + LowRateFeed::kPcrStep90 + 900000).OutOfRange);
    EXPECT_FALSE(f.Next(5).OutOfRange);
    // A damaged stamp far ahead explains nothing.
    f.clock.NoteTimeStamp(f.pcr90 + 3600 * 90000);
    EXPECT_TRUE(f.Next(4, f.pcr90 + LowRateFeed::kPcrStep90 + 900000).OutOfRange);
    // Nor do stamps that stood still while the clock leapt.
    TPcrClock still;
    still.NoteTimeStamp(100000);
    still.Judge(0, 40000 * 300, false);
    still.NoteTimeStamp(100000);
    EXPECT_TRUE(still.Judge(4, 67000 * 300, false).OutOfRange);
}

// The clock judged by the stamps after each PCR (0.7 s ahead of it, as a
// muxer writes them): a PCR every 100 packets, 40 ms apart; pcrShift and
// stampShift are what the PCRs and the stamps carry beyond the recording's
// own clock. Returns the verdict; inStep whether the PCR written (the
// correction where there is one) is in step with the stamps.
struct StampedFeed {
    TPcrClock clock;
    int64_t packet = 0, pcr90 = 900000, pcrShift = 0, stampShift = 0;
    bool inStep = false;
    // The next PCR carries the discontinuity indicator.
    bool announce = false;
    TPcrClock::TVerdict Next()
    {
        packet += kGap;
        pcr90 += kStep / 300;
        const int64_t stamp = WrapClock(pcr90 + 63000 + stampShift, kPtsModulus);
        clock.NoteTimeStamp(stamp);
        const int64_t pcr = WrapClock(pcr90 + pcrShift, kPtsModulus) * 300;
        const TPcrClock::TVerdict v = clock.Judge(packet, pcr, announce, [stamp] { return stamp; });
        announce = false;
        inStep = TPcrClock::InStep(v.OutOfRange ? v.Correction : pcr, stamp);
        return v;
    }
};

TEST(PcrClock, AJumpIsJudgedByTheStampsAfterIt)
{
    // The clock alone 100 s on (also across the wrap): every PCR put back,
    // in step, until the stamps make the jump too (asked again within a
    // second of the clock); back to the old clock by itself, taken at once.
    for (const int64_t start : {int64_t(900000), kPtsModulus - 50 * 3600}) {
        StampedFeed f;
        f.pcr90 = start;
        for (int i = 0; i < 10; ++i)
            ASSERT_FALSE(f.Next().OutOfRange);
        f.pcrShift = 100 * 90000;
        for (int i = 0; i < 100; ++i)
            ASSERT_TRUE(f.Next().OutOfRange && f.inStep) << i;
        f.stampShift = f.pcrShift;
        int putBack = 0;
        for (int i = 0; i < 100; ++i)
            putBack += f.Next().OutOfRange ? 1 : 0;
        EXPECT_LT(putBack, 30);
        f.pcrShift += 20 * 90000;
        EXPECT_TRUE(f.Next().OutOfRange);
        f.pcrShift -= 20 * 90000;
        EXPECT_FALSE(f.Next().OutOfRange);
    }
    // Clock and stamps jumped together, forward, back, by half the clock's
    // range: no fault.
    for (const int64_t jump : {int64_t(10 * 90000), int64_t(3600 * 90000), int64_t(-20 * 90000), kPtsModulus / 2 + 5}) {
        StampedFeed f;
        for (int i = 0; i < 10; ++i)
            f.Next();
        f.pcrShift = f.stampShift = jump;
        for (int i = 0; i < 20; ++i)
            ASSERT_FALSE(f.Next().OutOfRange) << jump << " " << i;
    }
    // Right after the first PCR (no stamps seen yet to compare with) the
    // stamps after it alone tell.
    StampedFeed f;
    f.Next();
    f.pcrShift = f.stampShift = 30 * 90000;
    EXPECT_FALSE(f.Next().OutOfRange);
    f.pcrShift += 30 * 90000;
    EXPECT_TRUE(f.Next().OutOfRange);
}

// The discontinuity indicator announces a new time base; whether there is
// one the stamps after it tell. Set on a clock that jumped alone, the jump is
// put back like any other; set where clock and stamps jumped together, the
// new clock is taken; with no stamps to ask, the announcement stands.
TEST(PcrClock, AnAnnouncedJumpIsJudgedByTheStampsAfterItAsWell)
{
    for (const int64_t jump : {int64_t(100 * 90000), int64_t(-100 * 90000), int64_t(5 * 90000)}) {
        StampedFeed alone;
        for (int i = 0; i < 10; ++i)
            ASSERT_FALSE(alone.Next().OutOfRange);
        alone.pcrShift = jump;
        alone.announce = true;
        for (int i = 0; i < 50; ++i) {
            const TPcrClock::TVerdict v = alone.Next();
            ASSERT_TRUE(v.OutOfRange && alone.inStep) << jump << " " << i;
        }
        StampedFeed both;
        for (int i = 0; i < 10; ++i)
            both.Next();
        both.pcrShift = both.stampShift = jump;
        both.announce = true;
        for (int i = 0; i < 50; ++i)
            ASSERT_FALSE(both.Next().OutOfRange) << jump << " " << i;
    }
    TPcrClock blind;
    int64_t pcr = 1000000;
    for (int i = 0; i < 5; ++i, pcr += kStep)
        blind.Judge(i * kGap, pcr, false, [] { return int64_t(-1); });
    EXPECT_FALSE(blind.Judge(5 * kGap, 500000000000LL, true, [] { return int64_t(-1); }).OutOfRange);
    EXPECT_FALSE(blind.Judge(6 * kGap, 500000000000LL + kStep, false, [] { return int64_t(-1); }).OutOfRange);
}

// A clock put back ends its correction at the first PCR whose stamps made the
// same jump: not one PCR more is rewritten away from them. (In steps of a
// PCR, so that wherever the stamps catch up, the next PCR sees it.)
TEST(PcrClock, APutBackClockEndsWhereTheStampsMadeTheJump)
{
    for (int putBackFor = 1; putBackFor < 40; putBackFor += 3) {
        StampedFeed f;
        for (int i = 0; i < 10; ++i)
            f.Next();
        f.pcrShift = 100 * 90000;
        for (int i = 0; i < putBackFor; ++i)
            ASSERT_TRUE(f.Next().OutOfRange) << putBackFor;
        f.stampShift = f.pcrShift;
        for (int i = 0; i < 30; ++i) {
            const TPcrClock::TVerdict v = f.Next();
            ASSERT_FALSE(v.OutOfRange) << putBackFor << " " << i;
            ASSERT_TRUE(f.inStep) << putBackFor << " " << i;
        }
    }
}

// The wrap is the clock's as written: a clock that jumped alone a little
// before its wrap passes the wrap at once while its put-back line has not;
// that is one wrap, where the line passes it, not one per PCR between.
TEST(PcrClock, AClockPutBackAcrossTheWrapWrapsOnce)
{
    for (const int64_t jump : {int64_t(5 * 90000), int64_t(20 * 90000), int64_t(-5 * 90000)}) {
        StampedFeed f;
        f.pcr90 = kPtsModulus - 2 * 90000;
        int wraps = 0, putBack = 0;
        for (int i = 0; i < 10; ++i)
            wraps += f.Next().Wrapped ? 1 : 0;
        f.pcrShift = jump;
        for (int i = 0; i < 150; ++i) {
            const TPcrClock::TVerdict v = f.Next();
            wraps += v.Wrapped ? 1 : 0;
            putBack += v.OutOfRange ? 1 : 0;
            ASSERT_TRUE(f.inStep) << jump << " " << i;
        }
        EXPECT_EQ(putBack, 150) << jump;
        EXPECT_EQ(wraps, 1) << jump;
    }
}

} // namespace
} // namespace tw

namespace tw {
namespace {

// The first PCR has no line before it: the stamps after it judge it. A
// clock off its stamps all along is reported once, not at every PCR.
TEST(PcrClock, AClockOffItsStampsFromTheStartIsReportedOnce)
{
    StampedFeed off;
    off.pcrShift = -20 * 90000;
    int reported = 0;
    for (int i = 0; i < 50; ++i)
        reported += off.Next().OutOfRange ? 1 : 0;
    EXPECT_EQ(reported, 1);

    StampedFeed sound;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(sound.Next().OutOfRange) << i;
}

} // namespace
} // namespace tw
