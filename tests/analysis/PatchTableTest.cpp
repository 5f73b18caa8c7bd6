#include "analysis/AnalysisTables.h"
#include "analysis/PatchTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace tw;

TEST(PreserveList, FillSkipsKeptPatAndPmt)
{
    TPreserveList list;
    std::set<int> kept{0x100, 0x101};
    list.Fill({{0, "PAT"}, {0x100, "H264 Video"}, {0x20, "PMT"}, {0x123, ""}, {0x1FFF, "Stuffing"}, {0x101, "x"}},
              [&](int pid) { return kept.count(pid) > 0; }, 0x20, "Unknown");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(0).Text, "$0123: Unknown");
    EXPECT_EQ(list.Item(1).Text, "$1FFF: Stuffing");
    EXPECT_FALSE(list.Item(0).Checked);
}

TEST(PreserveList, TickedStreamsComeBack)
{
    TPreserveList list;
    list.Add("$0123: Teletext");
    list.Add("$0124: Data");
    list.Add("xyz: broken");
    list.Add("$0100: already kept");
    for (int i = 0; i < list.Count(); ++i)
        list.Item(i).Checked = i != 1;
    std::set<int> kept{0x100};
    std::vector<std::string> log;
    TPreserveContext ctx;
    ctx.IsKept = [&](int pid) { return kept.count(pid) > 0; };
    ctx.AddKept = [&](int pid) { kept.insert(pid); };
    ctx.RestorePmtEntry = [&](int pid) { return pid == 0x123; };
    ctx.Log = [&](const std::string& s) { log.push_back(s); };
    EXPECT_TRUE(list.PreserveStreams(ctx));
    EXPECT_EQ(kept, (std::set<int>{0x100, 0x123}));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "Preserving $0123: Teletext");
    EXPECT_EQ(log[1], "Restoring PMT entry for $0123");

    // Without a saved PMT entry the PID is kept but nothing is restored.
    list.Item(0).Checked = false;
    list.Item(1).Checked = true;
    log.clear();
    EXPECT_FALSE(list.PreserveStreams(ctx));
    EXPECT_TRUE(kept.count(0x124));
    EXPECT_EQ(log, (std::vector<std::string>{"Preserving $0124: Data"}));
}

TEST(PatchTable, HoldsAHundredEntriesAndRefusesTheNext)
{
    auto t = std::make_unique<TAnalysisTables>();
    // A hundred, counted here rather than taken from the table's own bound,
    // so that a smaller table is caught.
    const int hundred = 100;
    for (int i = 0; i < hundred; ++i)
        ASSERT_TRUE(t->AddPatchEntry(0x100 + i, PATCH_KIND_STREAM_ID, 0xBD, 0xC0)) << i;
    EXPECT_FALSE(t->AddPatchEntry(0x1000, PATCH_KIND_STREAM_ID, 0xBD, 0xC0));
    EXPECT_EQ(t->PatchCount, hundred);
    EXPECT_EQ(t->FindPatchEntry(0x1000, PATCH_KIND_STREAM_ID), -1);
    // The records kept: both counters start at zero, the values as given.
    const int last = t->FindPatchEntry(0x100 + hundred - 1, PATCH_KIND_STREAM_ID);
    ASSERT_EQ(last, hundred - 1);
    EXPECT_EQ(t->Patches[last].NewValue, 0xBD);
    EXPECT_EQ(t->Patches[last].OldValue, 0xC0);
    EXPECT_EQ(t->Patches[last].PatchedCount + t->Patches[last].FailedCount, 0);
    // A new file's analysis empties the table.
    t->ResetAnalysis();
    EXPECT_EQ(t->PatchCount, 0);
    EXPECT_TRUE(t->AddPatchEntry(0x1000, PATCH_KIND_STREAM_ID, 0xBD, 0xC0));
}
