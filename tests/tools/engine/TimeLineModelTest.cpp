#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>
#include <vector>

#include "tools/engine/TimeLineModel.h"
#include "ts/TSClock.h"

using namespace tw;

namespace {
// A 400-pixel control with 25-pixel margins over one hour: 350 bar pixels.
TTimeLineModel HourLine() {
    TTimeLineModel m;
    m.SetWidth(400);
    m.SetSpaceH(25);
    EXPECT_FALSE(m.SetMaxPCR(kPcrPerHour).has_value());
    return m;
}
} // namespace

TEST(TimeLineModel, RangeChangesPastTheOtherEndAreRefused) {
    TTimeLineModel m;
    EXPECT_EQ(m.LengthPCR(), 3240000000LL);
    auto err = m.SetMinPCR(m.MaxPCR() + 1);
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->Low, -2147483647LL);
    EXPECT_EQ(err->High, m.MaxPCR() - 1);
    EXPECT_EQ(m.MinPCR(), 0);
    err = m.SetMaxPCR(-5);
    ASSERT_TRUE(err.has_value());
    EXPECT_EQ(err->Low, 1);
    EXPECT_EQ(m.MaxPCR(), 3240000000LL);
    // A layout being loaded may set them in any order.
    EXPECT_FALSE(m.SetMaxPCR(-5, true).has_value());
    EXPECT_EQ(m.LengthPCR(), -5);
}

TEST(TimeLineModel, NoLengthMeansNoMappingRatherThanADivisionByZero) {
    for (int64_t max : {int64_t{0}, int64_t{-1000}}) {
        TTimeLineModel m;
        m.SetWidth(400);
        m.SetMaxPCR(max, true);
        const int s = m.AddSlice();
        EXPECT_FALSE(m.HasScale());
        EXPECT_EQ(m.PcrToX(123456), m.SpaceH());
        EXPECT_EQ(m.HitTestSliceEdge(m.SpaceH()).Index, -1);
        m.DragSliceEdge(s, 300, false);
        EXPECT_EQ(m.Slice(s).Slice_Out_PCR(), 0);
        EXPECT_TRUE(m.ScaleTicks().empty());
        m.MouseMove(20, 10, false);
        EXPECT_EQ(m.Hot().Index, -1);
    }
}

TEST(TimeLineModel, BarFollowsResizeAndMargins) {
    TTimeLineModel m;
    EXPECT_EQ(m.BarRect().Right, 110); // 120 wide, 10 margin
    m.SetWidth(500);
    EXPECT_EQ(m.BarRect().Right, 490);
    m.SetSpaceH(25);
    m.SetSliceBarHeight(30);
    EXPECT_EQ(m.BarRect().Left, 25);
    EXPECT_EQ(m.BarRect().Top, 2);
    EXPECT_EQ(m.BarRect().Right, 475);
    EXPECT_EQ(m.BarRect().Bottom, 32);
    // The mouse at the new right end is over the bar.
    EXPECT_TRUE(m.MouseMove(470, 10, false));
    EXPECT_TRUE(m.MouseOverBar());
    m.SetWidth(30); // narrower than both margins
    EXPECT_EQ(m.BarWidth(), 0);
    EXPECT_FALSE(m.HasScale());
}

TEST(TimeLineModel, SliceMarksKeepInBeforeOutAndNotify) {
    TTimeLineModel m = HourLine();
    std::vector<std::tuple<int, bool, bool>> seen;
    m.OnChange = [&](int i, bool in, bool out) { seen.emplace_back(i, in, out); };
    const int s = m.AddSlice();
    m.SetSliceOutPcr(s, kPcrPerMinute * 10);
    EXPECT_EQ(m.Slice(s).Slice_Out(), "00:10:00.000");
    m.SetSliceInPcr(s, kPcrPerMinute * 11); // past Out: ignored
    EXPECT_EQ(m.Slice(s).Slice_In_PCR(), 0);
    m.SetSliceInPcr(s, kPcrPerMinute * 10); // onto Out: taken
    EXPECT_EQ(m.Slice(s).Slice_In(), "00:10:00.000");
    m.SetSliceOutPcr(s, kPcrPerMinute); // before In: ignored
    m.SetSliceInPcr(s, kPcrPerMinute * 10); // unchanged: silent
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_tuple(0, false, true));
    EXPECT_EQ(seen[1], std::make_tuple(0, true, false));

    // Texts: only valid, changed ones, and not compared with the other mark.
    m.SetSliceIn(s, "00:20:00.000");
    EXPECT_EQ(m.Slice(s).Slice_In_PCR(), kPcrPerMinute * 20);
    m.SetSliceOut(s, "00:6x:00.000");
    m.SetSliceOut(s, "00:61:00.000");
    m.SetSliceOut(s, "0:30:00.000");
    EXPECT_EQ(m.Slice(s).Slice_Out_PCR(), kPcrPerMinute * 10);
    EXPECT_EQ(seen.size(), 3u);
}

TEST(TimeLineModel, HitTestPrefersFirstSliceAndItsInMark) {
    TTimeLineModel m = HourLine();
    const int a = m.AddSlice();
    const int b = m.AddSlice();
    m.SetSliceOutPcr(a, kPcrPerMinute * 30); // x = 25 + 175 = 200
    m.SetSliceInPcr(a, kPcrPerMinute * 12);  // x = 25 + 70 = 95
    m.SetSliceOutPcr(b, kPcrPerMinute * 30);
    m.SetSliceInPcr(b, kPcrPerMinute * 30);  // both marks of b at 200
    EXPECT_EQ(m.PcrToX(kPcrPerMinute * 30), 200);
    TSliceHit h = m.HitTestSliceEdge(203);
    EXPECT_EQ(h.Index, a);
    EXPECT_TRUE(h.IsOut);
    EXPECT_EQ(h.EdgeX, 200);
    h = m.HitTestSliceEdge(92);
    EXPECT_EQ(h.Index, a);
    EXPECT_TRUE(h.IsIn);
    EXPECT_EQ(m.HitTestSliceEdge(204).Index, -1);
    // A slice of no length yields its In mark.
    TTimeLineModel z = HourLine();
    z.AddSlice();
    EXPECT_TRUE(z.HitTestSliceEdge(25).IsIn);
}

TEST(TimeLineModel, DragKeepsTheEdgeTakenAtButtonDown) {
    TTimeLineModel m = HourLine();
    std::vector<std::tuple<int, bool, bool>> seen;
    m.OnChange = [&](int i, bool in, bool out) { seen.emplace_back(i, in, out); };
    const int s = m.AddSlice();
    m.SetSliceOutPcr(s, kPcrPerHour);
    seen.clear();
    EXPECT_TRUE(m.MouseMove(374, 10, false)); // over the Out mark at 375
    EXPECT_TRUE(m.Hot().IsOut);
    EXPECT_TRUE(m.MouseMove(200, 10, true)); // dragged to the middle
    EXPECT_EQ(m.Slice(s).Slice_Out_PCR(), kPcrPerHour / 2);
    EXPECT_EQ(m.Slice(s).Slice_Out(), "00:30:00.000");
    m.MouseMove(20, 10, true); // left of the bar: nothing
    EXPECT_EQ(m.Slice(s).Slice_Out_PCR(), kPcrPerHour / 2);
    m.MouseMove(25, 10, true); // onto In exactly: accepted
    EXPECT_EQ(m.Slice(s).Slice_Out_PCR(), 0);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_FALSE(std::get<1>(seen.back()));
    // Leaving forgets the hover.
    m.MouseLeave();
    EXPECT_FALSE(m.MouseOverBar());
    EXPECT_EQ(m.Hot().Index, -1);
    EXPECT_FALSE(m.MouseMove(5, 40, false)); // outside, nothing to repaint
}

TEST(TimeLineModel, ScaleOfShortAndHourRanges) {
    TTimeLineModel m = HourLine();
    std::vector<std::string> labels;
    int minutes = 0;
    for (const TScaleTick& t : m.ScaleTicks()) {
        if (t.Label.empty())
            ++minutes;
        else
            labels.push_back(t.Label);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"0:10", "0:20", "0:30", "0:40", "0:50", "0:00", "1:00"}));
    EXPECT_EQ(minutes, 54);
    TTimeLineModel s = HourLine();
    s.SetMaxPCR(27000000LL * 29);
    const auto ticks = s.ScaleTicks();
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].Label, "0:00");
    EXPECT_EQ(ticks[0].X, 25);
    EXPECT_EQ(ticks[0].Y2, 20 + 16);
    EXPECT_EQ(TickLabelText(kPcrPerHour + 5 * kPcrPerMinute), "1:05");
    EXPECT_EQ(TickLabelText(12 * kPcrPerHour + 40 * kPcrPerMinute), "12:40");
}

// A slice set through its collection tells the owning time line with its
// own index; copies (of one slice or of the whole line) carry the marks
// without a word and tell only their new owner afterwards.
TEST(TimeLineModel, SlicesTellTheirOwnerAndCopiesTheirs) {
    TTimeLineModel m = HourLine();
    std::vector<std::tuple<int, bool, bool>> seen;
    m.OnChange = [&](int i, bool in, bool out) { seen.emplace_back(i, in, out); };
    TSliceCollection& slices = m.Slices();
    slices.Add();
    TSliceItem& second = slices.Add();
    EXPECT_EQ(second.DisplayName(), "SliceItem");
    EXPECT_EQ(second.Index(), 1);
    second.SetSlice_Out("00:40:00.000");
    second.SetSlice_In_PCR(kPcrPerMinute * 5);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_tuple(1, false, true));
    EXPECT_EQ(seen[1], std::make_tuple(1, true, false));
    EXPECT_EQ(second.Slice_In(), "00:05:00.000");

    // Assign: the values as they are, silently.
    TSliceCollection loose;
    TSliceItem& odd = loose.Add();
    odd.SetSlice_Out_PCR(kPcrPerMinute);
    odd.SetSlice_In_PCR(kPcrPerMinute);
    TSliceItem& far = loose.Add();
    far.SetSlice_Out_PCR(kPcrPerHour);
    far.SetSlice_In_PCR(kPcrPerHour);
    far.SetSlice_Out_PCR(kPcrPerHour / 2); // before In: refused
    EXPECT_EQ(far.Slice_Out_PCR(), kPcrPerHour);
    seen.clear();
    slices.Items(0).Assign(far);
    EXPECT_EQ(slices.Items(0).Slice_In(), "01:00:00.000");
    slices.Assign(loose);
    EXPECT_TRUE(seen.empty());
    ASSERT_EQ(slices.Count(), 2);
    EXPECT_EQ(slices.Items(1).Slice_In_PCR(), kPcrPerHour);
    EXPECT_EQ(slices.Items(1).Collection(), &slices);

    // A copy of the line has slices of its own that report to the copy.
    TTimeLineModel copy = m;
    std::vector<int> copySeen;
    copy.OnChange = [&](int i, bool, bool) { copySeen.push_back(i); };
    copy.Slices().Items(1).SetSlice_In("00:10:00.000");
    EXPECT_EQ(copySeen, std::vector<int>{1});
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(m.Slice(1).Slice_In_PCR(), kPcrPerHour);
}

// A mark far beyond the range (an end typed past a short recording's end)
// lies right of the control: the pointer never finds it inside the bar,
// and the slice's block reaches over the bar's end without being pixels
// wide by the million.
TEST(TimeLineModel, AMarkFarPastTheRangeStaysRightOfTheControl) {
    TTimeLineModel m;
    m.SetWidth(640);
    m.SetSpaceH(25);
    const int bar = m.BarWidth(); // 590
    // A recording of 37 ms, and an end typed a little after 2^32 bar pixels.
    const int64_t length = 1000000;
    ASSERT_FALSE(m.SetMaxPCR(length).has_value());
    const double target = 4294967296.0 + 200.0;
    const int64_t ms = static_cast<int64_t>(target * static_cast<double>(length) / bar / 27000.0);
    char typed[16];
    std::snprintf(typed, sizeof typed, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    ASSERT_TRUE(IsValidTimeText(typed)) << typed;
    const int s = m.AddSlice();
    m.SetSliceOut(s, typed);
    const int64_t out = m.Slice(s).Slice_Out_PCR();
    ASSERT_EQ(out, ms * 27000);
    // Where a 32-bit pixel position would wrap to: inside the bar.
    const double exact = static_cast<double>(out) * bar / static_cast<double>(length);
    const int wrapped = static_cast<int>(static_cast<int64_t>(exact) - 4294967296LL) + m.SpaceH();
    ASSERT_GT(wrapped, m.SpaceH() + 5);
    ASSERT_LT(wrapped, m.Width() - m.SpaceH() - 5);

    EXPECT_GT(m.PcrToX(out), m.Width());
    for (int x = wrapped - 4; x <= wrapped + 4; ++x) EXPECT_EQ(m.HitTestSliceEdge(x).Index, -1) << x;
    m.MouseMove(wrapped, 10, false);
    EXPECT_EQ(m.Hot().Index, -1);

    const TSliceBlock block = m.SliceBlock(s);
    EXPECT_EQ(block.X, m.SpaceH());
    EXPECT_GE(block.X + block.Width, m.Width());
    EXPECT_LE(block.Width, 3 * m.Width());
    // A block inside the control keeps its exact extent.
    m.SetSliceOut(s, "00:00:00.020");
    const TSliceBlock inside = m.SliceBlock(s);
    EXPECT_EQ(inside.X, m.SpaceH());
    EXPECT_EQ(inside.X + inside.Width, m.PcrToX(m.Slice(s).Slice_Out_PCR()));
}
