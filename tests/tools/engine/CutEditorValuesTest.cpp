#include <gtest/gtest.h>

#include "tools/engine/CutEditorValues.h"

using namespace tw;

TEST(CutEditorValues, TypedTimesMoveCutPointsOnlyWhenTheyFit) {
    const int64_t len = 90000LL * 600; // ten minutes
    const TCutPoints cur{90000LL * 60, 90000LL * 120};
    TCutPoints r = ApplyCutEditorTimes(cur, len, "00:00:30.000", "00:05:00.000");
    EXPECT_EQ(r.CutIn, 90000LL * 30);
    EXPECT_EQ(r.CutOut, 90000LL * 300);
    // The begin is compared with the old cut-out before the end is taken.
    r = ApplyCutEditorTimes(cur, len, "00:03:00.000", "00:04:00.000");
    EXPECT_EQ(r.CutIn, cur.CutIn);
    EXPECT_EQ(r.CutOut, 90000LL * 240);
    // An end at the stream length is taken; one equal to the cut-in or past the stream is not.
    EXPECT_EQ(ApplyCutEditorTimes(cur, len, "00:01:00.000", "00:10:00.000").CutOut, len);
    EXPECT_EQ(ApplyCutEditorTimes(cur, len, "00:01:00.000", "00:01:00.000").CutOut, cur.CutOut);
    EXPECT_EQ(ApplyCutEditorTimes(cur, len, "00:01:00.000", "00:10:00.001").CutOut, cur.CutOut);
    // Slips in a text leave its point alone instead of cutting at zero.
    r = ApplyCutEditorTimes(cur, len, "00:0_:30.000", "00:__:__.___");
    EXPECT_EQ(r.CutIn, cur.CutIn);
    EXPECT_EQ(r.CutOut, cur.CutOut);
    EXPECT_EQ(ApplyCutEditorTimes(cur, len, "", "").CutIn, cur.CutIn);
}

TEST(CutEditorValues, PositionBarAndSpeed) {
    EXPECT_EQ(PositionBarFromMs(5000, 0, 32767), 0); // no duration known yet
    EXPECT_EQ(PositionBarFromMs(5000, 10000, 32767), 16383);
    EXPECT_EQ(PositionBarFromMs(20000, 10000, 32767), 32767);
    EXPECT_EQ(MsFromPositionBar(32767, 4000000000LL, 32767), 4000000000LL); // no 32-bit overflow
    EXPECT_EQ(MsFromPositionBar(100, 10000, 0), 0);
    EXPECT_EQ(SpeedItemOfRate(RateOfSpeedItem(0)), 0);
    EXPECT_EQ(SpeedItemOfRate(RateOfSpeedItem(4)), 4);
    EXPECT_EQ(SpeedItemOfRate(1.25), 2);
    EXPECT_EQ(RateOfSpeedItem(7), 1.0);
}

TEST(CutEditorValues, FilterChoiceAndChainTexts) {
    TFilterAvailability none;
    TPlayerFilterChoice c = ChoosePlayerFilters(1, 1, 1, 1, 1, none);
    EXPECT_EQ(c.Splitter, dssfAutomatic);
    EXPECT_EQ(c.Audio, dsafAutomatic);
    EXPECT_EQ(c.AudioChain, "[Automatic]");
    EXPECT_EQ(c.VideoChain, "[Automatic]");
    TFilterAvailability all;
    all.TessuSplitter = all.MovrakSplitter = all.FfdshowAudio = all.FfdshowVideo = true;
    all.CoreAvcVideo = all.ElecardMpeg2Video = true;
    c = ChoosePlayerFilters(1, 1, 0, 0, 0, all);
    EXPECT_EQ(c.Splitter, dssfTessu);
    EXPECT_EQ(c.AudioChain, "[Tessu Splitter] -> [Automatic]");
    EXPECT_EQ(c.VideoChain, "[Automatic]");
    c = ChoosePlayerFilters(1, 2, 1, 2, 1, all);
    EXPECT_EQ(c.Splitter, dssfMovrak);
    EXPECT_EQ(c.Audio, dsafffdshow);
    EXPECT_EQ(c.Video, dsvfElecardMpeg2);
    EXPECT_EQ(c.VideoChain, "[Movrak Splitter] -> [Elecard MPEG-2 video filter] -> [Video Renderer]");
    c = ChoosePlayerFilters(2, 1, 0, 2, 2, all);
    EXPECT_EQ(c.Video, dsvfCoreAVC);
    EXPECT_EQ(c.VideoChain, "[Tessu Splitter] -> [CoreAVC filter] -> [Video Renderer]");
    all.CoreAvcVideo = false;
    EXPECT_EQ(ChoosePlayerFilters(2, 1, 0, 2, 2, all).VideoChain, "[Automatic]");
}
