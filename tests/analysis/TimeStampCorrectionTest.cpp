#include "analysis/TimeStampCorrection.h"

#include <gtest/gtest.h>

using namespace tw;

TEST(TimeStampArithmetic, OffsetMovesEarliestStampTo300)
{
    const int64_t firstPts = 1000000, firstDts = 990000, firstPcr90 = 980000;
    const int64_t start = CleaningStartTime(firstPts, firstDts, firstPcr90);
    EXPECT_EQ(start, 980000);
    const int64_t off = TimerOffsetFor(start);
    EXPECT_EQ(ShiftPts(firstPcr90, off), 300);
    EXPECT_EQ(ShiftPts(firstPts, off), 300 + 20000);
    // First PCR earliest: written as 90,000 plus its 27 MHz remainder.
    EXPECT_EQ(ShiftPcr(firstPcr90 * 300 + 123, off * 300), 90000 + 123);
    // DTS of 0 or below is not a candidate; a lower PCR still wins.
    EXPECT_EQ(CleaningStartTime(500, 0, 600), 500);
    EXPECT_EQ(CleaningStartTime(500, 400, 600), 400);
    EXPECT_EQ(CleaningStartTime(500, 400, 300), 300);
    // Without PCR the plain minimum of PTS and DTS.
    EXPECT_EQ(CleaningStartTime(500, 400, -1), 400);
}

TEST(TimeStampArithmetic, StartJustBeforeTheWrapTakesThePcr)
{
    // First PCR 0.16 s before the wrap, first PTS/DTS already past it: the
    // PCR is the earliest stamp, and everything counts on from 300.
    const int64_t pcr = kPtsWrap - 14192, pts = 52408, dts = 48808;
    const int64_t start = CleaningStartTime(pts, dts, pcr);
    EXPECT_EQ(start, pcr);
    const int64_t off = TimerOffsetFor(start);
    EXPECT_EQ(ShiftPts(pcr, off), 300);
    EXPECT_EQ(ShiftPts(dts, off), 300 + 14192 + 48808);
    // A DTS slightly before a PCR that lies just after the wrap wins.
    EXPECT_EQ(CleaningStartTime(1000, kPtsWrap - 500, 200), kPtsWrap - 500);
}

TEST(TimeStampArithmetic, StampsAcrossTheWrapCountOn)
{
    const int64_t base = kPtsWrap - 90000; // one second before the wrap
    const int64_t off = TimerOffsetFor(base);
    const int64_t beforeWrap = ShiftPts(kPtsWrap - 9000, off);
    const int64_t afterWrap = ShiftPts(81000, off);
    EXPECT_EQ(ShiftPts(base, off), 300);
    EXPECT_EQ(beforeWrap, 300 + 81000);
    // 0.1 s before the wrap to 0.9 s after: exactly one second later in the
    // output, not a tick lost at the wrap.
    EXPECT_EQ(afterWrap - beforeWrap, 90000);
    EXPECT_LT(afterWrap, kPtsWrap);
    // ESCR follows the PCR arithmetic.
    EXPECT_EQ(ShiftEscr(base * 300 + 7, off), 300 * 300 + 7);
}

TEST(TimeStampArithmetic, CorrectionDecisionFollowsModeAndPcr)
{
    EXPECT_TRUE(TimerCorrectionApplies(2, true, false));
    EXPECT_FALSE(TimerCorrectionApplies(2, false, true)); // PTS mode never shifts
    EXPECT_TRUE(TimerCorrectionApplies(1, true, true));
    EXPECT_FALSE(TimerCorrectionApplies(1, true, false));
    EXPECT_FALSE(TimerCorrectionApplies(0, true, true));
    EXPECT_TRUE(PassCrossesWrap(kPtsWrap - 100, 100));
    EXPECT_FALSE(PassCrossesWrap(kPtsWrap - 100, 99));
}

TEST(TimeStampArithmetic, CutTestsCountAcrossTheWrap)
{
    const int64_t first = kPtsWrap - 90000;
    // Target 2 s after the first PCR lies beyond the wrap.
    EXPECT_FALSE(CutInReached(first + 80000, first, 180000));
    EXPECT_FALSE(CutInReached(kPtsWrap - 1, first, 180000)); // still above first
    EXPECT_FALSE(CutInReached(80000, first, 180000));
    EXPECT_TRUE(CutInReached(90000, first, 180000));
    EXPECT_FALSE(CutInReached(-1, 0, 0));
    EXPECT_TRUE(CutInReached(0, 0, 0));
    // Without a wrap it is a plain comparison.
    EXPECT_FALSE(CutOutReached(999, 0, 1000));
    EXPECT_TRUE(CutOutReached(1000, 0, 1000));
    EXPECT_FALSE(CutOutReached(-1, 0, 0));
    EXPECT_FALSE(CutOutReached(first + 10, first, kPtsWrap + 10));
    EXPECT_TRUE(CutOutReached(10, first, kPtsWrap + 10));
}

TEST(TimeStampTexts, ConversionsAndTexts)
{
    EXPECT_EQ(TimeTextToPts("00:01:00.500"), 5445000);
    EXPECT_EQ(TimeTextToPts("00:01:00.50"), 0);
    EXPECT_EQ(TimeTextToPts("ab:01:00.500"), 0);
    EXPECT_EQ(PtsToTimeText(0), "00:00:00.000");
    EXPECT_EQ(PtsToTimeText(5445000), "00:01:00.500");
    EXPECT_EQ(PtsToTimeText(90LL * 3600000 * 25), "01:00:00.000"); // days dropped
    // A time before the stream's start reads as its distance from it, in
    // twelve characters.
    EXPECT_EQ(PtsToTimeText(-90), "00:00:00.001");
    EXPECT_EQ(PtsToTimeText(-5445000), "00:01:00.500");
    EXPECT_EQ(PcrToPts(449), 1);
    EXPECT_EQ(PcrToPts(450), 2); // 1.5 to even
    EXPECT_EQ(PcrToPts(750), 2); // 2.5 to even
    EXPECT_EQ(PcrToPts(751), 3);
    EXPECT_EQ(PcrToPts(-451), -2);
}

TEST(TimeStampArithmetic, ShiftsStayInRange)
{
    // Offsets that carry a value past the wrap, or below zero, still give a
    // stamp of the clock's own range.
    EXPECT_EQ(ShiftPts(kPtsModulus - 1, 2), 1);
    EXPECT_EQ(ShiftPts(5, -10), kPtsModulus - 5);
    EXPECT_EQ(ShiftPcr(kPcrModulus - 1, kPcrModulus + 1), 0);
    EXPECT_EQ(ShiftPcr(0, -1), kPcrModulus - 1);
    EXPECT_EQ(ShiftEscr(kPcrModulus - 300, 1), 0);
}
