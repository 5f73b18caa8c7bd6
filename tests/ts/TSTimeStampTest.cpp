// The one codec of the clock fields: exact bytes for known values, round
// trips at the range limits, and the bits a patch must leave alone.
#include <gtest/gtest.h>

#include <array>

#include "ts/TSTimeStamp.h"

using namespace tw;

namespace {

constexpr int64_t kMaxBase = kPtsModulus - 1;
constexpr int64_t kMaxPcr = kMaxBase * kClockRatio + 299;

} // namespace

TEST(TSTimeStamp, ConstantsAreTheClockRatios) {
    EXPECT_EQ(kClockRatio, 27000000 / 90000);
    EXPECT_EQ(kPtsModulus, 8589934592LL);
    EXPECT_EQ(kPcrModulus, 2576980377600LL);
    EXPECT_EQ(WrapClock(-1, kPtsModulus), kPtsModulus - 1);
    EXPECT_EQ(WrapClock(kPcrModulus + 5, kPcrModulus), 5);
}

TEST(TSTimeStamp, PcrBytesAndRoundTrips) {
    std::array<uint8_t, kPcrFieldSize> f{};
    MakePcr(f.data(), 0);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0, 0, 0, 0, 0x7E, 0}));

    MakePcr(f.data(), kMaxPcr);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x2B}));
    TPcrFields r = ReadPcrFields(f.data());
    EXPECT_EQ(r.Base, kMaxBase);
    EXPECT_EQ(r.Reserved, 0x3F);
    EXPECT_EQ(r.Extension, 299);
    EXPECT_EQ(ReadPcr(f.data()), kPcrModulus - 1);

    MakePcr(f.data(), 0x123456789LL * kClockRatio + 123);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0x91, 0xA2, 0xB3, 0xC4, 0xFE, 0x7B}));

    // Every extension and the base's lowest and highest bits survive.
    for (int64_t base : {int64_t{0}, int64_t{1}, int64_t{2}, kMaxBase / 2, kMaxBase - 1, kMaxBase})
        for (int ext : {0, 1, 255, 256, 298, 299}) {
            MakePcr(f.data(), base * kClockRatio + ext);
            r = ReadPcrFields(f.data());
            EXPECT_EQ(r.Base, base);
            EXPECT_EQ(r.Extension, ext);
        }

    // Values outside the range are reduced into it.
    WritePcr(f.data(), kPcrModulus + 301);
    EXPECT_EQ(ReadPcr(f.data()), 301);
    WritePcr(f.data(), -1);
    EXPECT_EQ(ReadPcr(f.data()), kPcrModulus - 1);
}

TEST(TSTimeStamp, PcrPatchKeepsReservedBits) {
    // A muxer that writes its reserved bits as zero keeps them zero.
    std::array<uint8_t, kPcrFieldSize> f{0, 0, 0, 0, 0x00, 0};
    WritePcr(f.data(), kMaxPcr);
    EXPECT_EQ(f[4], 0x81); // base bit 0 and extension bit 8 only
    EXPECT_EQ(ReadPcrFields(f.data()).Reserved, 0);
    EXPECT_EQ(ReadPcr(f.data()), kMaxPcr);
    f[4] = 0x2A;
    WritePcr(f.data(), 0);
    EXPECT_EQ(f[4], 0x2A);
}

TEST(TSTimeStamp, PtsBytesPrefixAndMarkers) {
    std::array<uint8_t, kPtsFieldSize> f{};
    MakePts(f.data(), kPtsOnlyPrefix, 0);
    EXPECT_EQ(f, (std::array<uint8_t, 5>{0x21, 0, 0x01, 0, 0x01}));
    EXPECT_EQ(PtsFieldFaults(f.data(), kPtsOnlyPrefix), 0);

    MakePts(f.data(), kPtsOnlyPrefix, 0x123456789LL);
    EXPECT_EQ(f, (std::array<uint8_t, 5>{0x29, 0x8D, 0x15, 0xCF, 0x13}));
    EXPECT_EQ(ReadPts(f.data()), 0x123456789LL);

    // The PTS of a pair and its DTS carry their own prefixes.
    MakePts(f.data(), kPtsBeforeDtsPrefix, kMaxBase);
    EXPECT_EQ(f, (std::array<uint8_t, 5>{0x3F, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(ReadPts(f.data()), kMaxBase);
    EXPECT_EQ(PtsFieldFaults(f.data(), kPtsBeforeDtsPrefix), 0);
    EXPECT_EQ(PtsFieldFaults(f.data(), kPtsOnlyPrefix), sfPrefix);
    MakePts(f.data(), kDtsPrefix, kMaxBase);
    EXPECT_EQ(f[0], 0x1F);
    EXPECT_EQ(PtsFieldFaults(f.data(), kDtsPrefix), 0);

    // Each marker is named by its own bit; the value reads regardless.
    MakePts(f.data(), kDtsPrefix, 12345);
    f[0] &= 0xFE;
    f[2] &= 0xFE;
    EXPECT_EQ(PtsFieldFaults(f.data(), kDtsPrefix), sfMarker1 | sfMarker2);
    f[4] &= 0xFE;
    EXPECT_EQ(PtsFieldFaults(f.data(), kPtsOnlyPrefix), sfPrefix | sfMarker1 | sfMarker2 | sfMarker3);
    EXPECT_EQ(ReadPts(f.data()), 12345);

    for (int64_t v :
         {int64_t{0}, int64_t{1}, int64_t{0x7F}, int64_t{0x8000}, int64_t{1} << 30, kMaxBase - 1, kMaxBase}) {
        MakePts(f.data(), kPtsOnlyPrefix, v);
        EXPECT_EQ(ReadPts(f.data()), v);
    }
    WritePts(f.data(), kPtsModulus + 7);
    EXPECT_EQ(ReadPts(f.data()), 7);
    WritePts(f.data(), -1);
    EXPECT_EQ(ReadPts(f.data()), kMaxBase);
}

TEST(TSTimeStamp, PtsPatchKeepsPrefixAndMarkers) {
    // A patch changes the clock only: a broken marker stays broken, so the
    // output is as damaged as the input and no more.
    std::array<uint8_t, kPtsFieldSize> f{};
    MakePts(f.data(), kDtsPrefix, 0);
    f[2] = 0;
    WritePts(f.data(), kMaxBase);
    EXPECT_EQ(f, (std::array<uint8_t, 5>{0x1F, 0xFF, 0xFE, 0xFF, 0xFF}));
    EXPECT_EQ(PtsFieldFaults(f.data(), kDtsPrefix), sfMarker2);
    WritePts(f.data(), 0);
    EXPECT_EQ(f, (std::array<uint8_t, 5>{0x11, 0, 0, 0, 0x01}));
}

TEST(TSTimeStamp, EscrBytesAndReservedBits) {
    std::array<uint8_t, kEscrFieldSize> f{};
    MakeEscr(f.data(), 0);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0xC4, 0, 0x04, 0, 0x04, 0x01}));

    MakeEscr(f.data(), kMaxPcr);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x57}));
    EXPECT_EQ(ReadEscr(f.data()), kMaxPcr);

    MakeEscr(f.data(), 0x123456789LL * kClockRatio + 123);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0xE6, 0x34, 0x57, 0x3C, 0x4C, 0xF7}));
    EXPECT_EQ(ReadEscr(f.data()), 0x123456789LL * kClockRatio + 123);

    for (int64_t base : {int64_t{0}, int64_t{1}, int64_t{1} << 13, int64_t{1} << 15, int64_t{1} << 28,
                         int64_t{1} << 30, kMaxBase})
        for (int ext : {0, 1, 127, 128, 299}) {
            MakeEscr(f.data(), base * kClockRatio + ext);
            EXPECT_EQ(ReadEscr(f.data()), base * kClockRatio + ext);
        }

    // Reserved and marker bits are not the writer's to change.
    f = {0, 0, 0, 0, 0, 0};
    WriteEscr(f.data(), kMaxPcr);
    EXPECT_EQ(f, (std::array<uint8_t, 6>{0x3B, 0xFF, 0xFB, 0xFF, 0xFA, 0x56}));
    EXPECT_EQ(ReadEscr(f.data()), kMaxPcr);
    WriteEscr(f.data(), kPcrModulus);
    EXPECT_EQ(ReadEscr(f.data()), 0);
}
