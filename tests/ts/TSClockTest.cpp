// Clock conversions and time texts.
#include <gtest/gtest.h>

#include <cstdint>

#include "ts/TSClock.h"

using namespace tw;

TEST(TSClock, PcrToTimeText) {
    EXPECT_EQ(PcrToTimeText(0), "00:00:00.000");
    EXPECT_EQ(PcrToTimeText(27000), "00:00:00.001");
    EXPECT_EQ(PcrToTimeText(97200000000LL), "01:00:00.000");
    EXPECT_EQ(PcrToTimeText(97200000000LL * 25), "01:00:00.000"); // wraps at a day
    EXPECT_EQ(PcrToTimeText(TimeTextToPcr("23:59:59.999")), "23:59:59.999");
    EXPECT_EQ(PcrToTimeText(13499), "00:00:00.000");
    EXPECT_EQ(PcrToTimeText(13501), "00:00:00.001");
    // The largest PCR (33-bit base) is 26:30:43.717, shown as its time of day.
    EXPECT_EQ(PcrToTimeText(((int64_t{1} << 33) - 1) * 300 + 299), "02:30:43.718");
}

TEST(TSClock, DateTimeToTimeText) {
    EXPECT_EQ(DateTimeToTimeText(0.5), "12:00:00.000");
    EXPECT_EQ(DateTimeToTimeText(3.25), "06:00:00.000");
    EXPECT_EQ(DateTimeToTimeText(1.0 - 1e-10), "00:00:00.000");
    EXPECT_EQ(DateTimeToTimeText((10 * 3600 + 11 * 60 + 12.013) / 86400.0), "10:11:12.013");
}

TEST(TSClock, NegativeTimesAreTheirDistanceFromZeroInTwelveCharacters) {
    // A time text is a time of day: whole days are dropped. Below zero the
    // text is the time part of the magnitude, so a frame 40 ms before the
    // stream's start reads 00:00:00.040; every text is a valid time text.
    EXPECT_EQ(PcrToTimeText(-27000), "00:00:00.001");
    EXPECT_EQ(PcrToTimeText(-97200000000LL), "01:00:00.000");
    EXPECT_EQ(DateTimeToTimeText(-0.25), "06:00:00.000");
    EXPECT_EQ(DateTimeToTimeText(-1.5), "12:00:00.000");
    EXPECT_EQ(DateTimeToTimeText(-1e-10), "00:00:00.000");
    EXPECT_EQ(MsToTimeText(-1), "00:00:00.001");
    EXPECT_EQ(MsToTimeText(-86400000), "00:00:00.000");
    EXPECT_EQ(MsToTimeText(INT64_MIN), "07:12:55.808");
    for (int64_t pcr : {-27000LL, -2700000000LL, -97200000000LL * 25 - 1}) {
        const std::string t = PcrToTimeText(pcr);
        EXPECT_EQ(t.size(), 12u) << t;
        EXPECT_TRUE(IsValidTimeText(t)) << t;
        const int64_t day = 27000000LL * 86400;
        EXPECT_EQ(TimeTextToPcr(t), (-pcr / 27000 * 27000) % day) << t;
    }
}

TEST(TSClock, TimeTextToPcr) {
    EXPECT_EQ(TimeTextToPcr("01:02:03.004"), 100521108000LL);
    EXPECT_EQ(TimeTextToPcr("01-02-03x004"), 100521108000LL); // separators are not looked at
    EXPECT_EQ(TimeTextToPcr("99:59:59.999extra"), (99LL * 3600000 + 59 * 60000 + 59999) * 27000);
    EXPECT_EQ(TimeTextToPcr("0:00:00.000"), 0);
    EXPECT_EQ(TimeTextToPcr("0a:00:00.000"), 0);
    EXPECT_EQ(TimeTextToPcr(""), 0);
}

TEST(TSClock, IsValidTimeText) {
    EXPECT_TRUE(IsValidTimeText("00:00:00.000"));
    EXPECT_TRUE(IsValidTimeText("99:00:00.999"));
    EXPECT_FALSE(IsValidTimeText("00:60:00.000"));
    EXPECT_FALSE(IsValidTimeText("00:00:60.000"));
    EXPECT_FALSE(IsValidTimeText("0:00:00.000"));
    EXPECT_FALSE(IsValidTimeText("00:00:00.0000"));
    EXPECT_FALSE(IsValidTimeText("00:0 :00.000"));
    EXPECT_FALSE(IsValidTimeText("-1:00:00.000"));
}

TEST(TSClock, PtsToMsRoundsHalvesToEven) {
    EXPECT_EQ(PtsToMs(135), 2);
    EXPECT_EQ(PtsToMs(225), 2);
    EXPECT_EQ(PtsToMs(315), 4);
    EXPECT_EQ(PtsToMs(90000), 1000);
    EXPECT_EQ(PtsToMs(44), 0);
    EXPECT_EQ(PtsToMs(46), 1);
    EXPECT_EQ(PtsToMs((int64_t{1} << 33) - 1), 95443718);
    EXPECT_EQ(PtsToMs(-135), -2);
}
