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

} // namespace
} // namespace tw::test
