// The whole road of one recording: analyse, then clean, on ffmpeg-made
// recordings and on streams built in code, checked by our own look at the
// output bytes (always) and by ffprobe/ffmpeg where installed.
#include "CleaningTestSupport.h"

#include "app/engine/PesHandlers.h"
#include "ts/TSPesReader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "../../support/TsBuilder.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

struct Outcome {
    TCleaningResult Result = TCleaningResult::NotRun;
    OutputCheck Check;
    std::string Log;
};

std::string AllLog()
{
    std::string s;
    for (const std::string& l : LogLines())
        s += l + "\n";
    return s;
}

void ExpectSoundOutput(const OutputCheck& c)
{
    EXPECT_TRUE(c.WholePackets);
    EXPECT_TRUE(c.AllSync);
    EXPECT_EQ(c.ContinuityErrors, 0);
    EXPECT_GE(c.PatSections, 1);
    EXPECT_GE(c.PmtSections, 1);
    EXPECT_EQ(c.PatCrcErrors, 0);
    EXPECT_EQ(c.PmtCrcErrors, 0);
    // The rebuilt tables come first.
    EXPECT_EQ(c.FirstPatPacket, 0);
    EXPECT_EQ(c.FirstPmtPacket, 1);
}

} // namespace

TEST(CleaningRoad, UndamagedRecordingKeepsEverything)
{
    Road road;
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    ASSERT_TRUE(road.Analyse(in));
    const std::string out = TempName("plain");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    // Kept PIDs only: the PAT, the PMT and the program's streams.
    for (int pid : c.Pids) {
        if (pid == 0 || pid == c.PmtPid)
            continue;
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(pid)) << pid;
    }
    ASSERT_EQ(road.host.Sounds.size(), 1u);
    EXPECT_EQ(road.host.Sounds[0], "STREAMCLEANINGSUCCESSFULLYCOMPLETED");
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().second, "Process successfully completed!");
    // The log lands beside the output.
    const std::string logText(reinterpret_cast<const char*>(ReadFile(ChangeFileExt(out, ".log")).data()),
                              ReadFile(ChangeFileExt(out, ".log")).size());
    EXPECT_NE(logText.find("Cutted pakets at the beginning: 0"), std::string::npos);
    EXPECT_NE(logText.find("ERRORS : 0"), std::string::npos);
    EXPECT_NE(logText.find("Speed: "), std::string::npos);
    EXPECT_EQ(logText.find("Discarded invalid pakets"), std::string::npos);
    // The time panel is updated sparingly, but its last text is the end.
    const std::vector<std::string>& times = road.host.TimeTexts;
    ASSERT_GE(times.size(), 2u);
    EXPECT_LT(times.front(), times.back());
    EXPECT_EQ(times.back(), *std::max_element(times.begin(), times.end()));

    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed: independent checks skipped";
    EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
    EXPECT_EQ(DecodeErrors(out), "");
    EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(in));
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

// Damage that the cleaning can repair: the output must decode without a
// single complaint. Damage that loses data must still give a sound file.
struct DamageCase {
    const char* Name;
    const char* Fixture;
    Damage D;
    bool Repairable;
};

class CleaningDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(CleaningDamage, OutputIsSoundAndDecodes)
{
    const DamageCase& dc = GetParam();
    const Bytes original = ReadFile(DataFile(dc.Fixture));
    ASSERT_FALSE(original.empty());
    const std::string in = TempName(std::string("in_") + dc.Name);
    WriteFile(in, Damaged(original, dc.D));
    Road road;
    road.host.DuplicateHandling = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName(std::string("out_") + dc.Name);
    const TCleaningResult r = road.Clean(out);
    EXPECT_TRUE(r == TCleaningResult::Success || r == TCleaningResult::SuccessWithErrors) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    if (HaveFfmpeg()) {
        EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
        const std::string errors = DecodeErrors(out);
        EXPECT_EQ(errors.find("corrupt"), std::string::npos) << errors;
        if (dc.Repairable) {
            EXPECT_EQ(errors, "") << AllLog();
            if (dc.D.TruncateTail == 0 && dc.D.RepeatedPackets.empty())
                EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(DataFile(dc.Fixture)));
        }
    }
    RemoveFile(in);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, CleaningDamage,
    ::testing::Values(
        DamageCase{"garbage_start", "h264_ac3.ts", [] { Damage d; d.LeadingGarbage = 1000; return d; }(), true},
        DamageCase{"garbage_mid", "mpeg2_mp2.ts",
                   [] { Damage d; d.MidGarbageAtPacket = 300; d.MidGarbage = 77; return d; }(), false},
        DamageCase{"bit_errors", "h264_ac3.ts", [] { Damage d; d.BitErrorPackets = {50, 120, 200}; return d; }(),
                   false},
        DamageCase{"transport_errors", "mpeg2_mp2.ts",
                   [] { Damage d; d.TransportErrorPackets = {40, 41, 300}; return d; }(), false},
        DamageCase{"lost_packets", "h264_ac3.ts", [] { Damage d; d.LostPackets = {60, 61, 250}; return d; }(), false},
        DamageCase{"partial_last", "mpeg2_mp2.ts", [] { Damage d; d.TruncateTail = 100; return d; }(), true},
        DamageCase{"dropped_psi", "mpeg2_mp2.ts", [] { Damage d; d.DropPsi = true; return d; }(), true},
        DamageCase{"m2ts_192", "m2ts_192.m2ts", Damage{}, true},
        DamageCase{"pts_wrap", "pts_wrap.ts", Damage{}, true}),
    [](const ::testing::TestParamInfo<DamageCase>& i) { return std::string(i.param.Name); });

TEST(CleaningRoad, RepeatedPacketsAreDeletedOnlyWhenConfirmed)
{
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    // Repeat two payload packets of the audio in the middle of PES packets
    // (its PES packets carry their length, so the surplus shows).
    const std::vector<size_t> audio = PayloadPacketsOf(original, 0x211);
    ASSERT_GT(audio.size(), 60u);
    Damage d;
    d.RepeatedPackets = {audio[20], audio[50]};
    const std::string in = TempName("dup_in");
    WriteFile(in, Damaged(original, d));

    for (bool handling : {true, false}) {
        Road road;
        road.host.DuplicateHandling = handling;
        ASSERT_TRUE(road.Analyse(in));
        const std::string out = TempName("dup_out");
        road.Clean(out);
        const std::string log = AllLog();
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c);
        const std::string ref = TempName("dup_ref");
        Road refRoad;
        ASSERT_TRUE(refRoad.Analyse(DataFile("mpeg2_mp2.ts")));
        refRoad.Clean(ref);
        const int64_t refPackets = CheckOutput(ref).Packets;
        if (handling) {
            EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $"), 2) << log;
            EXPECT_EQ(c.Packets, refPackets);
            EXPECT_EQ(ReadFile(out), ReadFile(ref));
        } else {
            EXPECT_EQ(CountOccurrences(log, "Deleting redundant paket $"), 0);
            EXPECT_EQ(c.Packets, refPackets + 2);
        }
        RemoveFile(out);
        RemoveFile(ref);
        RemoveFile(ChangeFileExt(out, ".log"));
        RemoveFile(ChangeFileExt(ref, ".log"));
    }
    RemoveFile(in);
}

TEST(CleaningRoad, TimerPatchMode2RemovesTheWrap)
{
    const std::string in = DataFile("pts_wrap.ts");
    Road road;
    road.host.TimerPatchMode = 2;
    ASSERT_TRUE(road.Analyse(in));
    const std::string out = TempName("wrap");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    road.Clean(out);
    const std::string log = AllLog();
    EXPECT_NE(log.find("Patching timer PCR/PTS/DTS/ESCR with offset "), std::string::npos);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    ASSERT_FALSE(c.Pcr90.empty());
    ASSERT_FALSE(c.Pts.empty());
    // The earliest stamp starts near 300 ticks and the clock never wraps.
    const int64_t start = CleaningStartTime(road.engine->Tables().FirstPts, road.engine->Tables().FirstDts,
                                            road.engine->Tables().FirstPcr90k);
    EXPECT_EQ(c.Pcr90.front(), road.engine->Tables().FirstPcr90k - start + 300);
    for (size_t i = 1; i < c.Pcr90.size(); ++i)
        EXPECT_GE(c.Pcr90[i], c.Pcr90[i - 1]) << i;
    for (int64_t p : c.Pts)
        EXPECT_LT(p, 90000 * 60) << p;
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg not installed";
    const std::string before = Probe(in, "stream=duration");
    const std::string after = Probe(out, "stream=duration");
    EXPECT_EQ(before, after);
    EXPECT_EQ(DecodeErrors(out), "");
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningRoad, FullRangeFlagIsClearedOnlyAfterTheUserAgreed)
{
    const std::string in = DataFile("cleaning/h264_fullrange.ts");
    for (int answer = 0; answer < 2; ++answer) {
        Road road;
        road.host.Answers[TAnalysisQuestion::VideoFullRange] = answer == 1;
        ASSERT_TRUE(road.Analyse(in));
        const std::string out = TempName("fullrange");
        road.Clean(out);
        const std::string log = AllLog();
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c);
        if (answer == 1) {
            EXPECT_NE(log.find("Changed Sequence Parameter Sets: "), std::string::npos) << log;
            EXPECT_EQ(log.find("video_full_range_flag in paket"), std::string::npos) << log;
        } else {
            EXPECT_EQ(log.find("Changed Sequence Parameter Sets: "), std::string::npos);
            // Declined: the output equals the input's packets of the kept PIDs.
        }
        if (HaveFfmpeg()) {
            const std::string range = Probe(out, "stream=color_range");
            if (answer == 1)
                EXPECT_EQ(range.find("color_range=pc"), std::string::npos) << range;
            else
                EXPECT_NE(range.find("color_range=pc"), std::string::npos) << range;
            EXPECT_EQ(DecodeErrors(out), "");
            EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(in));
        }
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
}

TEST(CleaningRoad, RefusesOutputThatWouldReplaceInputOrItsLog)
{
    const std::string in = TempName("self");
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    const Bytes before = ReadFile(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    EXPECT_EQ(road.Clean(in), TCleaningResult::NotRun);
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Error);
    EXPECT_EQ(ReadFile(in), before);
    // An output ending .log would be overwritten by its own log.
    EXPECT_EQ(road.Clean(TempName("x", ".log")), TCleaningResult::NotRun);
    // An output whose log would be the recording itself.
    const std::string logIn = TempName("rec", ".log");
    WriteFile(logIn, before);
    Road road2;
    road2.Analyse(logIn);
    EXPECT_EQ(road2.Clean(ChangeFileExt(logIn, ".ts")), TCleaningResult::NotRun);
    EXPECT_EQ(ReadFile(logIn), before);
    EXPECT_TRUE(road.host.Sounds.empty());
    RemoveFile(in);
    RemoveFile(logIn);
}

TEST(CleaningRoad, UnwritableOutputFailsInsteadOfSucceeding)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
    const TCleaningResult r = road.Clean("/nonexistent_tw_dir/sub/out.ts");
    EXPECT_EQ(r, TCleaningResult::Failed);
    ASSERT_FALSE(road.host.Sounds.empty());
    EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
    EXPECT_EQ(road.host.Messages.back().second, "Process aborted with errors!");
    EXPECT_NE(AllLog().find("Could not create the output file"), std::string::npos);
}

TEST(CleaningRoad, ExistingOutputIsReplacedWhole)
{
    const std::string out = TempName("old");
    WriteFile(out, Bytes(2000000, 0x47));
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("cleaning/h264_ac3_cbr.ts")));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    EXPECT_LT(ReadFile(out).size(), 1000000u);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningRoad, CancelAsksAndStops)
{
    {
        Road road;
        ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
        road.host.CancelAfterChecks = 10;
        const std::string out = TempName("cancel");
        EXPECT_EQ(road.Clean(out), TCleaningResult::Aborted);
        EXPECT_EQ(road.host.AbortQuestions, 1);
        const std::string log = AllLog();
        EXPECT_NE(log.find("Aborted at paket $"), std::string::npos);
        EXPECT_NE(log.find("---------- ABORTED ----------"), std::string::npos);
        EXPECT_EQ(road.host.Messages.back().second, "Process aborted!");
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
    {
        Road road;
        ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
        road.host.CancelAfterChecks = 10;
        road.host.AbortAnswer = false;
        const std::string out = TempName("nocancel");
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        EXPECT_EQ(road.host.AbortQuestions, 1);
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
    }
}

TEST(CleaningRoad, DroppedTextStreamLeavesThePmt)
{
    // Video, audio and a teletext stream; the teletext is dropped, and no
    // audio stream with it: its entry must still leave the rebuilt PMT.
    const std::vector<test::PmtStream> streams = {
        {2, 0x101, {}}, {3, 0x102, {}}, {6, 0x103, test::Descriptor(0x56, {'d', 'e', 'u', 0x09, 0x00})}};
    const test::TsStream s = test::SmallProgram(
        streams, 0x103, [](int64_t pts) { return test::PesPacket(0xBD, test::Bytes(180, 0x10), pts); });
    const std::string in = TempName("text");
    s.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    if (t.IsSelectedPid(0x103))
        road.engine->ToggleTextStream(0);
    ASSERT_FALSE(t.IsSelectedPid(0x103));
    ASSERT_TRUE(t.IsSelectedPid(0x102));
    const std::string out = TempName("text_out");
    road.Clean(out);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102}));
    EXPECT_EQ(c.Pids.count(0x103), 0u);
    EXPECT_NE(AllLog().find("Deleting PMT entry: PID $0103"), std::string::npos);
    if (HaveFfmpeg())
        EXPECT_EQ(CountOccurrences(Probe(out, "program=program_id"), "program_id="), 1);
    RemoveFile(in);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningRoad, TablesRepeatEveryTenThousandWrittenPackets)
{
    // A long stream built in code: PAT, PMT, one MPEG-2-typed PID with PCR.
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
    int64_t pts = 900000;
    while (s.PacketCount() < 25000) {
        test::Bytes es(3000, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300);
        pts += 3600;
        if (s.PacketCount() % 500 < 20) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        }
    }
    const std::string in = TempName("long");
    s.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("long_out");
    road.Clean(out);
    const OutputCheck c = CheckOutput(out);
    ExpectSoundOutput(c);
    const Bytes b = ReadFile(out);
    std::vector<int64_t> patAt;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (Pid(b.data() + i * 188) == 0)
            patAt.push_back(static_cast<int64_t>(i));
    ASSERT_GE(patAt.size(), 3u);
    EXPECT_EQ(patAt[0], 0);
    // The PAT is queued when the written count reaches 10,000: it becomes
    // packet 10,000 of the file (counting from 0).
    EXPECT_EQ(patAt[1], 10000);
    EXPECT_EQ(patAt[2], 20000);
    RemoveFile(in);
    RemoveFile(out);
    RemoveFile(ChangeFileExt(out, ".log"));
}

TEST(CleaningHandlers, H264ErrorsCountOnTheVideoPid)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    TPesHandlers handlers(*road.pass);
    const int video = road.pass->VideoPid();
    TAnalysisTables& t = road.engine->Tables();
    const int rec = t.PidRecordIndex(video);
    ASSERT_GE(rec, 0);
    const int64_t before = t.PidRecords[rec].Errors;
    handlers.H264Error(90000, 0);
    EXPECT_EQ(t.PidRecords[rec].Errors, before + 1);
    EXPECT_FALSE(road.pass->State.Failed);
    handlers.H264Error(90000, 1);
    EXPECT_EQ(t.PidRecords[rec].Errors, before + 2);
    EXPECT_TRUE(road.pass->State.Failed);
    const std::string log = AllLog();
    EXPECT_NE(log.find("ES  ERROR: H264 Unknown error 00:00:01.000"), std::string::npos);
    EXPECT_NE(log.find("ES  ERROR: H264 Emulation prevention buffer overflow 00:00:01.000"), std::string::npos);
}

TEST(CleaningHandlers, NalStatisticsHaveFourteenLines)
{
    Road road;
    TPesHandlers handlers(*road.pass);
    road.pass->State.CutInReached = true;
    handlers.H264SliceReceived(5);
    handlers.H264SliceReceived(99); // unknown types count as 0
    const std::string s = handlers.NalStatisticsText();
    EXPECT_EQ(CountOccurrences(s, "\r\n"), 15);
    EXPECT_NE(s.find("IDR Picture            : 1\r\n"), std::string::npos);
    EXPECT_EQ(s.rfind("Unknown / other        : 1\r\n"), s.size() - 28);
    // Outside the cut range nothing is counted.
    road.pass->State.CutInReached = false;
    handlers.H264SliceReceived(5);
    EXPECT_EQ(road.pass->State.NalCounters[5], 1);
}

namespace {

// PAT, PMT (MPEG-2 video with PCR, MPEG audio), then PES packets with a PCR
// every video PES; the PCR of PES number badAt (when >= 0) is 10 s off.
std::string BuildPcrStream(int badAt, int audioStreamId = 0xC0)
{
    test::TsStream s;
    const std::vector<test::PmtStream> streams = {{2, 0x101, {}}, {3, 0x102, {}}};
    int64_t pts = 900000;
    for (int k = 0; k < 300; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        test::Bytes es(1500, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        int64_t pcr = (pts - 9000) * 300;
        if (k == badAt)
            pcr += 900000LL * 300;
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), pcr);
        s.AddPes(0x102, test::PesPacket(audioStreamId, test::Bytes(300, 0x22), pts));
        pts += 3600;
    }
    const std::string in = TempName("pcr");
    s.Save(in);
    return in;
}

} // namespace

TEST(CleaningHandlers, OutOfRangePcrIsCorrectedAfterOneQuestion)
{
    const std::string in = BuildPcrStream(150);
    Cleanup cleanup{{in}};
    for (bool agree : {true, false}) {
        Road road;
        road.host.PcrCorrectionAnswer = agree;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const std::string out = TempName("pcr_out");
        cleanup.Files.push_back(out);
        cleanup.Files.push_back(ChangeFileExt(out, ".log"));
        road.Clean(out);
        const std::string log = AllLog();
        EXPECT_EQ(road.host.PcrQuestions, 1);
        EXPECT_GE(CountOccurrences(log, "TS  ERROR: PCR timing for PID 0101"), 1) << log;
        const OutputCheck c = CheckOutput(out);
        ExpectSoundOutput(c);
        ASSERT_GT(c.Pcr90.size(), 200u);
        int64_t maxStep = 0;
        for (size_t i = 1; i < c.Pcr90.size(); ++i)
            maxStep = std::max(maxStep, c.Pcr90[i] - c.Pcr90[i - 1]);
        if (agree) {
            EXPECT_NE(log.find("Try to correct PCR value to "), std::string::npos);
            // The outlier is gone: it was rewritten at the measured rate.
            EXPECT_LT(maxStep, 90000);
            EXPECT_GE(road.pass->TotalWarnings(), 1);
        } else {
            EXPECT_EQ(log.find("Try to correct PCR value to "), std::string::npos);
            EXPECT_GE(maxStep, 900000);
            EXPECT_GE(road.pass->TotalErrors(), 1);
        }
    }
}

TEST(CleaningHandlers, AudioStreamIdIsPatchedAtEveryPesStart)
{
    const std::string in = BuildPcrStream(-1, 0xC0);
    Cleanup cleanup{{in}};
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    ASSERT_TRUE(t.AddPatchEntry(0x102, PATCH_KIND_STREAM_ID, 0xBD, 0xC0));
    const std::string out = TempName("sid_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    road.Clean(out);
    const int e = t.FindPatchEntry(0x102, PATCH_KIND_STREAM_ID);
    EXPECT_EQ(t.Patches[e].PatchedCount, 300);
    EXPECT_EQ(t.Patches[e].FailedCount, 0);
    const Bytes b = ReadFile(out);
    int starts = 0;
    for (size_t i = 0; i < b.size() / 188; ++i) {
        const uint8_t* p = b.data() + i * 188;
        if (Pid(p) == 0x102 && (p[1] & 0x40)) {
            const int s = PacketPayloadStart(p);
            ASSERT_GE(s, 0);
            EXPECT_EQ(p[s + 3], 0xBD);
            ++starts;
        }
    }
    EXPECT_EQ(starts, 300);
}
