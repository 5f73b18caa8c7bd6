#include <gtest/gtest.h>

#include "tools/engine/PreviewValues.h"

using namespace tw;

TEST(PreviewValues, ResultTextsCoverTheRunsAndNothingElse) {
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040200u)), "Invalid media type");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040216u)), "Not found");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040218u)), "Can not render");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040236u)), "Advice already set");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040237u)), "Unknown DirectX error"); // gap between runs
    EXPECT_EQ(HResultText(static_cast<THResult>(0x8004023Bu)), "No fullscreen");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80040296u)), "VMR not in mixer mode");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80070492u)), "Property set unsupported");
    EXPECT_EQ(HResultText(static_cast<THResult>(0x80070002u)), "Unknown DirectX error");
    EXPECT_EQ(HResultText(kE_FAIL), "Unknown DirectX error");
    EXPECT_EQ(HResultText(0x00040242), "");
    EXPECT_EQ(HResultText(kS_FALSE), "");
    EXPECT_EQ(HResultHex(static_cast<THResult>(0x80040154u)), "80040154");
    EXPECT_EQ(HResultHex(0x1A), "0000001A");
}

TEST(PreviewValues, TimeTexts) {
    EXPECT_EQ(PreviewMsToTimeText(3723004), "01:02:03.004");
    EXPECT_EQ(PreviewMsToTimeText(360000000), "00:00:00.000");
    EXPECT_EQ(PreviewMsToTimeText(59999), "00:00:59.999");
    EXPECT_EQ(PreviewMsToTimeText(4294967295u), "93:02:47.295");
    EXPECT_EQ(PreviewTimeTextToPts("00:00:01.000"), 90000);
    EXPECT_EQ(PreviewTimeTextToPts("01:02:03.004"), int64_t{3723004} * 90);
    EXPECT_EQ(PreviewTimeTextToPts("00:00:01.00"), 0); // 11 characters
    EXPECT_EQ(PreviewTimeTextToPts(""), 0);
    // Typing slips give no answer rather than a fault.
    EXPECT_FALSE(PreviewTimeTextToPts("00:0x:01.000").has_value());
    EXPECT_FALSE(PreviewTimeTextToPts("ab:cd:ef.ghi").has_value());
    EXPECT_FALSE(PreviewTimeTextToPts("-1:00:00.000").has_value());
    EXPECT_FALSE(PreviewTimeTextToPts("00:00: 1.000").has_value());
}

TEST(PreviewValues, VolumeInHundredthsOfDecibel) {
    struct Case {
        int percent, db, back;
    };
    for (Case c : {Case{0, -10000, 0}, Case{100, 0, 100}, Case{50, -602, 50}, Case{25, -1204, 25}, Case{1, -4000, 1},
                   Case{10, -2000, 10}, Case{-5, -10000, 0}, Case{150, 0, 100}}) {
        EXPECT_EQ(VolumePercentToDb(c.percent), c.db) << c.percent;
        EXPECT_EQ(VolumeDbToPercent(c.db), c.back) << c.percent;
    }
    // The renderer's answer comes from outside: a volume beyond the scale's
    // ends is shown at the end it passed, never as a number that wrapped.
    EXPECT_EQ(VolumeDbToPercent(2000000000L), 100);
    EXPECT_EQ(VolumeDbToPercent(1), 100);
    EXPECT_EQ(VolumeDbToPercent(-2000000000L), 0);
}

TEST(PreviewValues, FrameTimingOnlyForUsableTimes) {
    TFrameTiming pal = FrameTimingFrom(0.04);
    EXPECT_TRUE(pal.Valid);
    EXPECT_DOUBLE_EQ(pal.FramesPerSecond, 25.0);
    EXPECT_EQ(pal.FrameMs, 40);
    EXPECT_EQ(FrameTimingFrom(1.0 / 29.97).FrameMs, 33);
    for (double bad : {0.0, -0.04, 1.5}) {
        TFrameTiming f = FrameTimingFrom(bad);
        EXPECT_FALSE(f.Valid);
        EXPECT_EQ(f.FrameMs, 0);
        EXPECT_EQ(f.FramesPerSecond, 0.0);
    }
}

TEST(PreviewValues, VideoPlacedInItsAspect) {
    EXPECT_EQ(FitToAspect(538, 310, 1024, 576), (TVideoRect{0, 3, 538, 303}));
    EXPECT_EQ(FitToAspect(538, 310, 720, 576), (TVideoRect{75, 0, 388, 310})); // 387.5 to the even 388
    EXPECT_EQ(FitToAspect(400, 300, 0, 0), (TVideoRect{50, 0, 300, 300}));    // unknown video: square
    EXPECT_EQ(FitToAspect(0, 0, 720, 576), (TVideoRect{0, 0, 0, 0}));
}

TEST(PreviewValues, RelativeSeekStaysInsideTheMedia) {
    const int64_t s = kMediaUnitsPerMs * 1000;
    EXPECT_EQ(ClampedSeekTarget(3 * s, -10000, 60 * s), 0);
    EXPECT_EQ(ClampedSeekTarget(59 * s, 5000, 60 * s), 60 * s);
    EXPECT_EQ(ClampedSeekTarget(3 * s, 40, 60 * s), 3 * s + 40 * kMediaUnitsPerMs);
}

TEST(PreviewValues, DebugLogLinesAfterTheFirstAreIndented) {
    EXPECT_EQ(DebugLogText("one", "12:00:01.250"), "12:00:01.250: one\r\n");
    EXPECT_EQ(DebugLogText("a\r\nb\nc", "12:00:01.250"),
              "12:00:01.250: a\r\n            : b\r\n            : c\r\n");
    EXPECT_EQ(DebugLogText("a\r\rb", "T"), "T: a\r\n : \r\n : b\r\n");
    EXPECT_EQ(DebugLogText("", "12:00:01.250"), "");
}
