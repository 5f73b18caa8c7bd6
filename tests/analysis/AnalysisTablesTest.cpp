// The analysis tables, the panel texts and the small decisions of the
// analysis that are plain arithmetic.
#include <gtest/gtest.h>

#include "AnalysisTestHost.h"
#include "analysis/StartEndScan.h"
#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/AnalysisTables.h"
#include "analysis/AnalysisTexts.h"

namespace tw::test {
namespace {

TEST(AnalysisTables, KeptPidListHasNoDuplicatesAndMovesUp) {
    auto t = std::make_unique<TAnalysisTables>();
    t->AddSelectedPid(0x100);
    t->AddSelectedPid(0x101);
    t->AddSelectedPid(0x100);
    EXPECT_EQ(t->KeptPidCount, 2);
    t->RemoveSelectedPid(0x999); // absent: nothing
    EXPECT_EQ(t->KeptPidCount, 2);
    EXPECT_EQ(t->SelectedPidIndex(0x100), 0);
    EXPECT_EQ(t->SelectedPidIndex(0x555), 0); // absent reads as the first place
    EXPECT_EQ(t->SelectedPidIndex(0x101), 1);
    t->RemoveSelectedPid(0x100);
    EXPECT_EQ(t->KeptPids[0], 0x101);
    EXPECT_EQ(t->KeptPidText(), "$0101");
    for (int pid = 0; pid < 150; ++pid) t->AddSelectedPid(0x200 + pid);
    EXPECT_EQ(t->KeptPidCount, MAX_KEPT_PIDS); // a full list takes no more
}

TEST(AnalysisTables, ErrorsAndWarningsCountInEveryRecordOfTheirPid) {
    // A table that lists one PID twice has two records for it: each counts.
    auto t = std::make_unique<TAnalysisTables>();
    t->AddPidRecord(0x101, 0);
    t->AddPidRecord(0x102, 1);
    t->AddPidRecord(0x101, 2);
    t->CountError(0x101);
    t->CountWarning(0x101);
    t->CountWarning(0x101);
    t->CountError(0x102);
    t->CountError(0x777); // no record: nothing
    EXPECT_EQ(t->PidRecords[0].Errors, 1);
    EXPECT_EQ(t->PidRecords[2].Errors, 1);
    EXPECT_EQ(t->PidRecords[0].Warnings, 2);
    EXPECT_EQ(t->PidRecords[2].Warnings, 2);
    EXPECT_EQ(t->PidRecords[1].Errors, 1);
    EXPECT_EQ(t->PidRecords[1].Warnings, 0);
    EXPECT_EQ(t->TotalErrors(), 3);
    EXPECT_EQ(t->TotalWarnings(), 4);
}

TEST(AnalysisTables, FoundStreamsAndTheirShares) {
    auto t = std::make_unique<TAnalysisTables>();
    EXPECT_EQ(t->MostFrequentPid(), -1);
    t->AddFoundPid(0x100, 5, "H264 Video");
    t->AddFoundPid(0x101, 12, "AC3 Audio");
    t->AddFoundPid(0x102, 12, "");
    t->AddFoundPid(0x103, 71, "a type text longer than fifteen");
    t->AddFoundPid(0x100, 99, "ignored");
    EXPECT_EQ(t->FoundStreamCount, 4);
    EXPECT_EQ(t->FoundStreams[3].TypeText, "a type text lon");
    t->FoundStreams[3].PacketCount = 12;
    // Equal counts: the one added first.
    EXPECT_EQ(t->MostFrequentPid(), 0x101);
    t->FoundStreams[3].PacketCount = 71;
    t->SetFoundStreamType(0x101, 0xBD, psid_private_stream_1);
    const std::string text = t->LogPidLine();
    EXPECT_NE(text.find("$0100: 5%   = H264 Video\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("$0101: 12%  = AC3 Audio (PES_StreamID $BD = Private_Stream_1)\r\n"), std::string::npos);
    EXPECT_EQ(t->FirstPcrPid(), 0);
    t->FoundStreams[2].HasPcr = true;
    t->FoundStreams[3].HasPcr = true;
    EXPECT_EQ(t->FirstPcrPid(), 0x102);
    EXPECT_EQ(t->CountPcrPids(), 2);
    EXPECT_TRUE(t->PidHasPcr(0x103));
    EXPECT_FALSE(t->PidHasPcr(0x777));
    t->ResetAnalysis();
    EXPECT_EQ(t->FoundStreamIndex(0x100), -1);
}

TEST(AnalysisTables, PidRecordReductions) {
    auto t = std::make_unique<TAnalysisTables>();
    int pid = 0;
    EXPECT_EQ(t->MaxFirstPts(&pid), -1);
    t->AddPidRecord(0x100, 0);
    t->AddPidRecord(0x101, 1);
    t->AddPidRecord(0x102, 2);
    t->PidRecords[0].FirstPts = 1000;
    t->PidRecords[1].FirstPts = 2000;
    t->PidRecords[2].FirstPts = -1;
    EXPECT_EQ(t->MaxFirstPts(&pid), 2000);
    EXPECT_EQ(pid, 0x101);
    t->PidRecords[0].LastPts = 5;
    t->PidRecords[2].LastPts = 9;
    EXPECT_EQ(t->MaxLastPts(&pid), 9);
    EXPECT_EQ(pid, 0x102);
    t->CountError(0x101);
    t->CountError(0x555); // no record: not counted
    t->CountWarning(0x100);
    EXPECT_EQ(t->TotalErrors(), 1);
    EXPECT_EQ(t->TotalWarnings(), 1);
}

TEST(AnalysisTables, PatchEntriesAreUniqueByPidAndKind) {
    auto t = std::make_unique<TAnalysisTables>();
    EXPECT_TRUE(t->AddPatchEntry(0x101, PATCH_KIND_STREAM_ID, 0xBD, 0xC0));
    EXPECT_FALSE(t->AddPatchEntry(0x101, PATCH_KIND_STREAM_ID, 0xBD, 0xC1));
    EXPECT_TRUE(t->HasPatchEntry(0x101, PATCH_KIND_STREAM_ID));
    EXPECT_FALSE(t->HasPatchEntry(0x101, 0));
    EXPECT_EQ(t->FindPatchEntry(0x102, PATCH_KIND_STREAM_ID), -1);
}

TEST(AnalysisTexts, NumbersRatesAndDetails) {
    EXPECT_EQ(NumberText(25), "25");
    EXPECT_EQ(NumberText(30000.0 / 1001.0), "29.970");
    EXPECT_EQ(SampleRateText(48000), "48kHz");
    EXPECT_EQ(SampleRateText(44100), "44.1kHz");
    EXPECT_EQ(SampleRateText(22050), "22kHz"); // 0.5 rounds to even
    EXPECT_EQ(VideoDetailsText(1920, 1088, "High", 4.0, 25, true), "High@4.0\r25 FPS interlaced\r1920 x 1088");
    EXPECT_EQ(VideoDetailsText(720, 576, "Main@Main", 0, 25, false), "Main@Main\r25 FPS progressive\r720 x 576");
    EXPECT_EQ(VideoDetailsText(0, 0, "", 0, 0, false), "Progessiv");
    EXPECT_EQ(PanelStreamTypeName(6, 2, 0), "AC3");
    EXPECT_EQ(PanelStreamTypeName(6, 0, 1), "Teletext");
    EXPECT_EQ(PanelStreamTypeName(6, 0, 0), "Text");
    EXPECT_EQ(PanelStreamTypeName(27, 0, 0), "H264");
    EXPECT_EQ(PanelStreamTypeName(99, 0, 0), "Unknown");
}

TEST(AnalysisSteps, CaptionsAndColours) {
    EXPECT_STREQ(StepCaption(asGarbageScan), "Garbage scan");
    EXPECT_STREQ(StepCaption(asStartEndCheck), "Start/End check");
    EXPECT_STREQ(StepCaption(asAudioDetailsScan), "Audio details scan");
    EXPECT_STREQ(StepLabelName(asVideoDetailsScan), "VideoDetailScanLabel");
    EXPECT_EQ(StepStatusColours(StepStateColour(TStepState::Failed)).Shadow, 0x000080u);
    EXPECT_STREQ(StepStatusColours(StepStateColour(TStepState::Running)).SkinSection, "BARPANEL_BLACK_YELLOW");
    EXPECT_STREQ(StepStatusColours(StepStateColour(TStepState::Idle)).SkinSection, "BARPANEL_BLACK_BLUE");
    EXPECT_EQ(StepStatusColours(0x123456).Font, 0xC0C0C0u);
}

TEST(AnalysisSelection, OwnPmtCodesAndPcrWrap) {
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("MPEG1 Audio"), 4);
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("E-AC3 Audio"), 6);
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("AAC Audio"), 15);
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("AAC LATM Audio"), 17);
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("Subtitles"), 70001);
    EXPECT_EQ(TTableSelection::OwnPmtStreamCode("PCR"), -1);

    TRecordingHost host;
    TAnalysisEngine engine(&host);
    TAnalysisTables& t = engine.Tables();
    t.FirstPcr90k = 8589000000;
    t.LastPcr90k = 500000;
    t.FirstPcr = t.FirstPcr90k * 300;
    t.LastPcr = t.LastPcr90k * 300;
    EXPECT_EQ(engine.StartEnd().CheckPcrWrap(), 1434592);
    EXPECT_TRUE(t.PcrWrap);
    EXPECT_TRUE(host.Has("PCR wrap at 00:00:10.384 detected!")) << host.All();
    t.FirstPcr = 300;
    t.LastPcr = 900301;
    EXPECT_EQ(engine.StartEnd().CheckPcrWrap(), 3000);
}

// A last PCR below the first is a wrap only when the clock went the short way
// round through 2^33; a clock that stepped back far from the wrap has not
// wrapped, and taking it for one would shift every stamp of the copy by the
// rest of the 26.5 hours.
TEST(AnalysisSelection, AClockSteppingBackIsNoWrap) {
    struct Case {
        int64_t first90, last90, firstPts, lastPts;
        bool wrap;
        int64_t duration;
    };
    const int64_t hour = 90000LL * 3600;
    const int64_t cycle = int64_t{1} << 33; // the 90 kHz clock's wrap
    const Case cases[] = {
        // 10 h, back 100 s; the stamps ran on for 2 s: their span is the length.
        {10 * hour, 10 * hour - 9000000, 10 * hour + 3600, 10 * hour + 183600, false, 180000},
        // The same step back just below the wrap's half-way point.
        {cycle / 2 - 1000, cycle / 2 - 9001000, 500, 900500, false, 900000},
        // A clock stepping back 100 s just before the wrap, while its stamps
        // run on through it: the recording wraps all the same.
        {cycle - 900000, cycle - 9900000, cycle - 880000, 20000, true, 900000},
        // Stamps that stepped back too give no length to measure.
        {3 * hour, 2 * hour, 3 * hour, 2 * hour, false, 0},
        // Through the wrap the short way: 7 s before it to 3 s after it.
        {cycle - 630000, 270000, cycle - 620000, 260000, true, 900000},
        // A wrap that took longer than half the clock's cycle still reads as one
        // when it is the shorter way round: 20 h to 5 h.
        {20 * hour, 5 * hour, 20 * hour, 5 * hour, true, cycle - 15 * hour},
    };
    for (const Case& c : cases) {
        TRecordingHost host;
        TAnalysisEngine engine(&host);
        TAnalysisTables& t = engine.Tables();
        t.FirstPcr90k = c.first90;
        t.LastPcr90k = c.last90;
        t.FirstPcr = c.first90 * 300;
        t.LastPcr = c.last90 * 300;
        t.FirstPts = c.firstPts;
        t.LastPts = c.lastPts;
        SCOPED_TRACE(std::to_string(c.first90) + " -> " + std::to_string(c.last90));
        EXPECT_EQ(engine.StartEnd().CheckPcrWrap(), c.duration);
        EXPECT_EQ(t.PcrWrap, c.wrap);
        EXPECT_EQ(host.Has("wrap at"), c.wrap) << host.All();
    }
}

} // namespace
} // namespace tw::test
