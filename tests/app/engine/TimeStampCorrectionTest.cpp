#include "app/engine/TimeStampCorrection.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

using namespace tw;

namespace {

using Packet = std::array<uint8_t, 188>;

// A packet with an adaptation field carrying a PCR and a PES header with
// the given PTS/DTS flags (2 = PTS, 3 = PTS+DTS) and optional ESCR.
Packet PesPacket(bool withPcr, int ptsDtsFlags, bool withEscr, int64_t pts = 0, int64_t dts = 0)
{
    Packet p{};
    p.fill(0xFF);
    p[0] = 0x47;
    p[1] = 0x40 | 0x01; // payload start, PID 0x100
    p[2] = 0x00;
    int s = 4;
    if (withPcr) {
        p[3] = 0x30; // adaptation field and payload
        p[4] = 7;
        p[5] = 0x10;
        for (int i = 6; i < 12; ++i)
            p[i] = 0;
        p[10] = 0x7E; // reserved bits set, as encoders write them
        s = 12;
    } else {
        p[3] = 0x10;
    }
    p[s] = 0;
    p[s + 1] = 0;
    p[s + 2] = 1;
    p[s + 3] = 0xE0;
    p[s + 4] = 0;
    p[s + 5] = 0;
    p[s + 6] = 0x80;
    p[s + 7] = uint8_t((ptsDtsFlags << 6) | (withEscr ? 0x20 : 0));
    int len = (ptsDtsFlags == 2 ? 5 : ptsDtsFlags == 3 ? 10 : 0) + (withEscr ? 6 : 0);
    p[s + 8] = uint8_t(len);
    int pos = s + 9;
    auto stamp = [&](int prefix, int64_t v) {
        p[pos] = uint8_t((prefix << 4) | (((v >> 30) & 7) << 1) | 1);
        p[pos + 1] = uint8_t(v >> 22);
        p[pos + 2] = uint8_t(((v >> 15) & 0x7F) << 1 | 1);
        p[pos + 3] = uint8_t(v >> 7);
        p[pos + 4] = uint8_t((v & 0x7F) << 1 | 1);
        pos += 5;
    };
    if (ptsDtsFlags == 2)
        stamp(2, pts);
    if (ptsDtsFlags == 3) {
        stamp(3, pts);
        stamp(1, dts);
    }
    if (withEscr) {
        // reserved bits 11, markers 1, value 0
        p[pos] = 0xC4;
        p[pos + 1] = 0;
        p[pos + 2] = 0x04;
        p[pos + 3] = 0;
        p[pos + 4] = 0x04;
        p[pos + 5] = 0x01;
    }
    return p;
}

} // namespace

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
    EXPECT_EQ(PcrToTimeText(97200000000LL), "01:00:00.000");
    EXPECT_EQ(PcrToTimeText(27000), "00:00:00.001");
    EXPECT_EQ(PcrToPts(449), 1);
    EXPECT_EQ(PcrToPts(450), 2); // 1.5 to even
    EXPECT_EQ(PcrToPts(750), 2); // 2.5 to even
    EXPECT_EQ(PcrToPts(751), 3);
}

TEST(TimeStampPacket, PcrReadWriteKeepsReservedBits)
{
    Packet p = PesPacket(true, 2, false, 1000);
    EXPECT_TRUE(WritePacketPcr(p.data(), 2 * 300 + 5));
    EXPECT_EQ(p[6], 0);
    EXPECT_EQ(p[9], 1);
    EXPECT_EQ(p[10], 0x7E);
    EXPECT_EQ(p[11], 5);
    int64_t pcr = 0;
    ASSERT_TRUE(ReadPacketPcr(p.data(), pcr));
    EXPECT_EQ(pcr, 605);
    const int64_t big = (kPtsWrap - 1) * 300 + 299;
    ASSERT_TRUE(WritePacketPcr(p.data(), big));
    ASSERT_TRUE(ReadPacketPcr(p.data(), pcr));
    EXPECT_EQ(pcr, big);
    EXPECT_TRUE(PatchPacketPcr(p.data(), 300 * 300));
    ASSERT_TRUE(ReadPacketPcr(p.data(), pcr));
    EXPECT_EQ(pcr, (big + 90000) % kPcrModulus);

    Packet noPcr = PesPacket(false, 2, false, 1000);
    Packet copy = noPcr;
    EXPECT_FALSE(PatchPacketPcr(noPcr.data(), 300));
    EXPECT_EQ(noPcr, copy);
}

TEST(TimeStampPacket, PesTimersShiftOnlyWhatIsPresent)
{
    const int64_t off = 5000;
    Packet onlyPts = PesPacket(true, 2, false, kPtsModulus - 1);
    Packet before = onlyPts;
    ASSERT_TRUE(PatchPesTimers(onlyPts.data(), off));
    int64_t escr, dts, pts;
    ASSERT_TRUE(ReadPacketTimestamps(onlyPts.data(), escr, dts, pts));
    EXPECT_EQ(pts, (kPtsModulus - 1 + off) % kPtsModulus);
    EXPECT_EQ(dts, -1);
    EXPECT_EQ(escr, -1);
    // Only the five PTS bytes changed; marker bits stay set.
    for (int i = 0; i < 188; ++i)
        if (i < 21 || i > 25)
            EXPECT_EQ(onlyPts[i], before[i]) << i;

    Packet all = PesPacket(false, 3, true, 1000, 900);
    ASSERT_TRUE(PatchPesTimers(all.data(), off));
    ASSERT_TRUE(ReadPacketTimestamps(all.data(), escr, dts, pts));
    EXPECT_EQ(pts, 6000);
    EXPECT_EQ(dts, 5900);
    EXPECT_EQ(escr, off * 300);
    ASSERT_TRUE(WritePacketEscr(all.data(), (kPtsWrap - 1) * 300 + 299));
    ASSERT_TRUE(ReadPacketTimestamps(all.data(), escr, dts, pts));
    EXPECT_EQ(escr, (kPtsWrap - 1) * 300 + 299);

    // A continuation packet (no payload start) is left alone and succeeds.
    Packet cont = PesPacket(false, 2, false, 1000);
    cont[1] &= ~0x40;
    Packet contBefore = cont;
    EXPECT_TRUE(PatchPesTimers(cont.data(), off));
    EXPECT_EQ(cont, contBefore);
    EXPECT_FALSE(ReadPacketTimestamps(cont.data(), escr, dts, pts));
    EXPECT_EQ(pts, -1);

    // Broken marker: nothing is written, success reported.
    Packet broken = PesPacket(false, 2, false, 1000);
    broken[4 + 9] &= ~1;
    Packet brokenBefore = broken;
    EXPECT_TRUE(PatchPesTimers(broken.data(), off));
    EXPECT_EQ(broken, brokenBefore);
}

TEST(TimeStampPacket, FieldsBeyondThePacketAreRefused)
{
    // Adaptation field leaves 8 bytes of payload: a PES start with flags
    // whose PTS would lie beyond the packet.
    Packet p = PesPacket(false, 2, false, 1000);
    p[3] = 0x30;
    p[4] = 175; // payload at 180
    p[5] = 0;
    p[180] = 0;
    p[181] = 0;
    p[182] = 1;
    p[183] = 0xE0;
    p[186] = 0x80;
    p[187] = 0x80;
    int64_t escr, dts, pts;
    EXPECT_FALSE(ReadPacketTimestamps(p.data(), escr, dts, pts));
    EXPECT_FALSE(WritePacketPts(p.data(), 1));
    EXPECT_TRUE(PatchPesTimers(p.data(), 1));
}
