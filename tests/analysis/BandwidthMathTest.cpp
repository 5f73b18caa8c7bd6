#include "analysis/BandwidthMath.h"

#include <gtest/gtest.h>

using namespace tw;

namespace {

TEST(BandwidthMathTest, AStepTakesTheSumOfItsSamplesAndRepeatsWithoutSamples) {
    TBandwidthLine l;
    l.AddSample(100);
    l.AddSample(100);
    l.AddSample(100);
    l.Step(4, bdRightToLeft);
    EXPECT_EQ(l.Value(), 300);
    EXPECT_EQ(l.History(3), 300);
    EXPECT_EQ(l.Count(), 0);
    l.Step(4, bdRightToLeft);
    EXPECT_EQ(l.Value(), 300) << "no samples: previous value";
    EXPECT_EQ(l.History(2), 300);
    EXPECT_EQ(l.History(3), 300);
    l.AddSample(7);
    l.Step(4, bdRightToLeft);
    EXPECT_EQ(l.History(1), 300);
    EXPECT_EQ(l.History(2), 300);
    EXPECT_EQ(l.History(3), 7);
    EXPECT_EQ(l.History(0), 0);
    EXPECT_EQ(l.History(4), 0) << "slots past ValueCount stay untouched";
}

TEST(BandwidthMathTest, LeftToRightPutsTheNewestFirstAndSumsKeepTheirLow32Bits) {
    TBandwidthLine l;
    l.AddSample(1);
    l.Step(3, bdLeftToRight);
    l.AddSample(2);
    l.Step(3, bdLeftToRight);
    EXPECT_EQ(l.History(0), 2);
    EXPECT_EQ(l.History(1), 1);
    EXPECT_EQ(l.History(2), 0);

    TBandwidthLine big;
    big.AddSample(0x7FFFFFFF);
    big.AddSample(0x7FFFFFFF);
    big.AddSample(2);
    EXPECT_EQ(big.Sum(), 0x100000000LL);
    big.Step(1, bdRightToLeft);
    EXPECT_EQ(big.Value(), 0);

    // The history never grows past its capacity.
    TBandwidthLine full;
    for (int i = 0; i < 3000; ++i) {
        full.AddSample(i);
        full.Step(5000, bdRightToLeft);
    }
    EXPECT_EQ(full.History(kBandwidthHistory - 1), 2999);
    full.Clear();
    EXPECT_EQ(full.History(kBandwidthHistory - 1), 0);
}

TEST(BandwidthMathTest, LinearPointsSpanTheDrawableHeight) {
    int32_t h[4] = {0, 50, 100, 150};
    TBandwidthScale s;
    s.width = 100;
    s.height = 120;
    s.spacingTop = 10;
    s.spacingBottom = 10;
    s.valueMin = 0;
    s.valueMax = 100;
    s.valueCount = 4;
    std::vector<TBandwidthPoint> p;
    ASSERT_TRUE(BandwidthPoints(h, s, p));
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].x, 0);
    EXPECT_EQ(p[1].x, 25);
    EXPECT_EQ(p[3].x, 75);
    EXPECT_EQ(p[0].y, 110) << "zero sits on the base line";
    EXPECT_EQ(p[1].y, 60);
    EXPECT_EQ(p[2].y, 10) << "the maximum reaches the top spacing";
    EXPECT_EQ(p[3].y, 10) << "values are clamped to ValueMax";
}

TEST(BandwidthMathTest, LogarithmicScaleMapsTheFullRangeToTheFullHeight) {
    int32_t h[3] = {0, 1, 1000};
    TBandwidthScale s;
    s.width = 30;
    s.height = 104; // h = 100
    s.spacingTop = 2;
    s.spacingBottom = 2;
    s.valueMin = 0;
    s.valueMax = 1000;
    s.valueCount = 3;
    s.displayType = bdtLog10;
    EXPECT_DOUBLE_EQ(BandwidthLogDivisor(s), 2.0);
    std::vector<TBandwidthPoint> p;
    ASSERT_TRUE(BandwidthPoints(h, s, p));
    EXPECT_EQ(p[0].y, 102) << "0 on the base line";
    EXPECT_EQ(p[1].y, 102) << "a value of less than a pixel too";
    EXPECT_EQ(p[2].y, 2) << "ValueMax at the top";
    s.displayType = bdtLog2;
    int32_t mid[1] = {500};
    s.valueCount = 1;
    ASSERT_TRUE(BandwidthPoints(mid, s, p));
    // v*scale = 50 pixels; log2(50)/log2(100) of 100 = 84.9 -> 85
    EXPECT_EQ(p[0].y, 102 - 85);
}

TEST(BandwidthMathTest, AnEmptyRangeOrNoHeightDrawsNothing) {
    int32_t h[2] = {1, 2};
    TBandwidthScale s;
    s.width = 10;
    s.height = 50;
    s.valueMin = 5;
    s.valueMax = 5;
    s.valueCount = 2;
    std::vector<TBandwidthPoint> p;
    EXPECT_FALSE(BandwidthPoints(h, s, p));
    EXPECT_TRUE(p.empty());
    s.valueMax = 10;
    s.height = 20; // spacings eat it all
    EXPECT_FALSE(BandwidthPoints(h, s, p));
}

} // namespace
