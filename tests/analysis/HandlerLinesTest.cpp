// The log lines and counts of the stream event handlers, read as the log
// window would show them: exact texts, the cut-range guard, and what is
// counted on which PID.
#include "CleaningTestSupport.h"
#include "analysis/PacketHandlers.h"
#include "analysis/PesHandlers.h"
#include "tests/support/EsBuilder.h"
#include "ts/TSH264Reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

using namespace tw;
using namespace tw::cleantest;

namespace {

// MPEG-2 video on 0x101 with its PCR, PAT and PMT every 500 packets; the
// tables at `brokenAt` (a packet count) are followed by a PAT and a PMT with
// a broken CRC.
test::TsStream VideoWithBrokenTables(size_t brokenAt)
{
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
    int64_t pts = 900000;
    bool broken = false;
    while (s.PacketCount() < 3000) {
        test::Bytes es(3000, 0x11);
        es[0] = 0;
        es[1] = 0;
        es[2] = 1;
        es[3] = 0xB3;
        s.AddPes(0x101, test::PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300);
        pts += 3600;
        if (!broken && s.PacketCount() >= brokenAt) {
            broken = true;
            s.AddPat({{1, 0x100}}, 1, 0, true);
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}}, 0, true);
        }
        if (s.PacketCount() % 500 < 20) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        }
    }
    return s;
}

} // namespace

TEST(HandlerLines, BrokenTablesMetByTheScansAreLoggedAndIgnored)
{
    const test::TsStream s = VideoWithBrokenTables(700);
    Cleanup cleanup;
    const std::string in = TempName("brokentables");
    s.Save(in);
    cleanup.Files.push_back(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    // The broken PAT: its table id in decimal, its packet in 8 hex digits,
    // then the reader's own error text.
    const std::regex pat(R"(Invalid PAT \(0\) in paket \$[0-9A-F]{8}: PAT CRC error \(\$[0-9A-F]{8} <> \$[0-9A-F]{8}\))");
    bool crcText = false;
    for (const std::string& l : LogLines())
        crcText = crcText || std::regex_match(l, pat);
    EXPECT_TRUE(crcText) << AllLog();
    EXPECT_TRUE(HasLine("PES Error: Invalid PMT. Ignoring this PMT!")) << AllLog();
    // The good tables still win: the analysis keeps the video.
    EXPECT_GE(road.engine->Tables().PidRecordIndex(0x101), 0);
}

TEST(HandlerLines, PacketLayerLinesAndTheirGuards)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts"))) << AllLog();
    TPacketHandlers handlers(*road.pass);
    handlers.ResetPass();
    TCleaningPass::TRunState& st = road.pass->State;
    ClearLog();

    // Continuity gaps: logged and counted only inside the cut range and not
    // on PID 0; never on a per-PID counter.
    const int video = road.pass->VideoPid();
    TAnalysisTables& t = road.engine->Tables();
    const int rec = t.PidRecordIndex(video);
    ASSERT_GE(rec, 0);
    const int64_t warningsBefore = t.PidRecords[rec].Warnings;
    handlers.Discontinuity(0x20, video, 7, 5);
    EXPECT_TRUE(LogLines().empty()) << "outside the cut range";
    st.CutInReached = true;
    handlers.Discontinuity(0x21, 0, 7, 5);
    EXPECT_TRUE(LogLines().empty()) << "PID 0";
    handlers.Discontinuity(0x1234, video, 7, 5);
    EXPECT_TRUE(HasLine("TS  WARNING: For PID " + IntToHex(video, 4) + " $00001234: Paket discontinuity 5,7"))
        << AllLog();
    EXPECT_EQ(st.DiscontinuityCount, 1);
    EXPECT_EQ(t.PidRecords[rec].Warnings, warningsBefore);
    st.CutOutPassed = true;
    handlers.Discontinuity(0x1235, video, 8, 6);
    EXPECT_EQ(st.DiscontinuityCount, 1) << "past the cut-out point";

    // A resync at a smaller offset than the last reports the difference as
    // missing bytes of the packet before.
    ClearLog();
    handlers.Resync(0x10, 40);
    handlers.Resync(0x30, 12);
    EXPECT_TRUE(HasLine("TS  ERROR: Paket $0000002F with 28 missing bytes")) << AllLog();
    EXPECT_TRUE(HasLine("Resync found for paket $00000030 with Offset: 12")) << AllLog();
    // The stray bytes of a large damaged recording add up past 2 GB: the
    // offsets and the missing bytes are logged whole.
    ClearLog();
    handlers.Resync(0x40, int64_t{5000000000});
    handlers.Resync(0x50, int64_t{4999999000});
    EXPECT_TRUE(HasLine("Resync found for paket $00000040 with Offset: 5000000000")) << AllLog();
    EXPECT_TRUE(HasLine("TS  ERROR: Paket $0000004F with 1000 missing bytes")) << AllLog();
    EXPECT_TRUE(HasLine("Resync found for paket $00000050 with Offset: 4999999000")) << AllLog();

    // The writer's counter repair: PID in 4 hex digits, counters decimal.
    ClearLog();
    handlers.ContinuityCounterCorrected(0x1FF, 0xABC, 3, 14);
    EXPECT_TRUE(HasLine("Starting correction of TS packet ContinuityCounter for PID 01FF $00000ABC: 14 to 3"))
        << AllLog();

    // With transport_scrambling_control ignored, also an unkept PID's packet
    // is taken with control value 0, but only kept PIDs count.
    road.engine->ScrambledMode = TScrambledMode::IgnoreControl;
    int tsc = 2;
    bool ignore = false;
    handlers.ScrambledPacket(5, 0x1ABC, tsc, ignore);
    EXPECT_TRUE(ignore);
    EXPECT_EQ(tsc, 0);
    EXPECT_EQ(st.ScrambledCount, 0);
    tsc = 3;
    ignore = false;
    handlers.ScrambledPacket(6, video, tsc, ignore);
    EXPECT_TRUE(ignore);
    EXPECT_EQ(tsc, 0);
    EXPECT_EQ(st.ScrambledCount, 1);
}

TEST(HandlerLines, PesAndElementaryStreamLines)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts"))) << AllLog();
    TPesHandlers handlers(*road.pass);
    handlers.ResetPass();
    TCleaningPass::TRunState& st = road.pass->State;
    TAnalysisTables& t = road.engine->Tables();
    const int video = road.pass->VideoPid();
    const int rec = t.PidRecordIndex(video);
    ASSERT_GE(rec, 0);
    ClearLog();

    // PTS wraps: direction by the two values, 32 or 33 bits; not guarded by
    // the cut range and nothing counted.
    const int64_t warnings = t.PidRecords[rec].Warnings, errors = t.PidRecords[rec].Errors;
    handlers.PtsWrap(0x10, 5000, 100, 0x1A2, 32);
    handlers.PtsWrap(0x11, 100, 5000, 0x1A2, 32);
    handlers.PtsWrap(0x12, 5000, 100, 0x1A2, 33);
    handlers.PtsWrap(0x13, 100, 5000, 0x1A2, 33);
    const std::vector<std::string> wraps = LogLines();
    ASSERT_EQ(wraps.size(), 4u) << AllLog();
    EXPECT_EQ(wraps[0], "PTS wrap > (32 bit) at paket $00000010 on PID $01A2 detected!");
    EXPECT_EQ(wraps[1], "PTS wrap < (32 bit) at paket $00000011 on PID $01A2 detected!");
    EXPECT_EQ(wraps[2], "PTS wrap > (33 bit) at paket $00000012 on PID $01A2 detected!");
    EXPECT_EQ(wraps[3], "PTS wrap < (33 bit) at paket $00000013 on PID $01A2 detected!");

    // A change of the H.264 picture: three lines and one warning on the video
    // PID, inside the cut range only.
    TTSH264VideoInfo oldInfo, newInfo;
    oldInfo.SetResolution_H(1280);
    oldInfo.SetResolution_V(720);
    oldInfo.SetFramesPerSecond(50);
    newInfo.SetResolution_H(1920);
    newInfo.SetResolution_V(1080);
    newInfo.SetInterlaced(true);
    newInfo.SetFramesPerSecond(29.97);
    ClearLog();
    const int64_t first = t.FirstPts;
    handlers.H264VideoInfoChange(first + 90000, oldInfo, newInfo);
    EXPECT_TRUE(LogLines().empty()) << "outside the cut range";
    st.CutInReached = true;
    handlers.H264VideoInfoChange(first + 90000, oldInfo, newInfo);
    const std::vector<std::string> change = LogLines();
    ASSERT_EQ(change.size(), 3u) << AllLog();
    EXPECT_EQ(change[0], "ES  WARNING: H264 video resolution info changed at 00:00:01.000");
    EXPECT_EQ(change[1], "             from 1280x720, Progressiv / 50 fps / @0.0");
    EXPECT_EQ(change[2], "             to   1920x1080, Interlaced / 29.970 fps / @0.0");
    EXPECT_EQ(t.PidRecords[rec].Warnings, warnings + 1);
    EXPECT_EQ(t.PidRecords[rec].Errors, errors);
}

TEST(HandlerLines, APcrWrapInTheCleaningPassIsLoggedNotCounted)
{
    // The recording's clock passes its largest value: the pass names the
    // two packets around the wrap and takes it for no timing error.
    const std::string in = DataFile("pts_wrap.ts");
    Road road;
    road.host.TimerPatchMode = 0;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("pcrwrap");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    ClearLog();
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const std::regex wrap(R"(PCR wrap between paket \$[0-9A-F]{8} and paket \$[0-9A-F]{8} on PID \$0100 detected!)");
    int wraps = 0;
    for (const std::string& l : LogLines())
        wraps += std::regex_match(l, wrap) ? 1 : 0;
    EXPECT_EQ(wraps, 1) << AllLog();
    EXPECT_EQ(AllLog().find("PCR timing"), std::string::npos) << AllLog();
    EXPECT_EQ(road.host.PcrQuestions, 0);
}

namespace {

// H.264 on 0x101 (with its PCR): every access unit carries an SPS, the
// ones from frame `changeAt` on the second set of parameters.
std::string SaveH264WithTwoSps(const test::TSpsParams& first, const test::TSpsParams& second, int frames,
                               int changeAt, Cleanup& cleanup)
{
    using namespace test;
    TsStream s;
    const std::vector<PmtStream> streams = {{0x1B, 0x101, {}}};
    int64_t pts = 900000;
    for (int k = 0; k < frames; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        // A PES is complete when the next one starts: the last access unit
        // carries no parameter set, so that every set is seen.
        const Bytes sps = k + 1 < frames ? NalUnit(7, SpsRbsp(k < changeAt ? first : second)) : Bytes();
        const Bytes es = Concat({NalUnit(9, {0xF0}, true, 0), sps, NalUnit(8, {0xEE, 0x3C, 0x80}),
                                 NalUnit(5, Repeat(0x88, 60))});
        s.AddPes(0x101, PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300, k % 25 == 0);
        pts += 3600;
    }
    const std::string name = TempName("fullrange2");
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

} // namespace

TEST(HandlerLines, ASecondSequenceParameterSetWithAnotherFlagByteIsReportedAndStillCleared)
{
    // Two parameter sets with the flag set and the flag at the same place;
    // the byte that holds it differs in its other bits.
    test::TSpsParams a;
    a.video_full_range_flag = true;
    const int bit = test::SpsFullRangeBit(a);
    ASSERT_GT(bit, 0);
    test::TSpsParams b = a;
    b.video_format = (bit % 8) >= 3 ? 2 : a.video_format; // the three bits before the flag
    if ((bit % 8) < 3)
        b.colour_primaries = 6; // the bits after it
    ASSERT_EQ(test::SpsFullRangeBit(b), bit);
    const test::Bytes ra = test::SpsRbsp(a), rb = test::SpsRbsp(b);
    const size_t at = static_cast<size_t>(bit / 8);
    ASSERT_NE(ra[at], rb[at]) << "the flag's byte must differ between the two sets";

    Cleanup cleanup;
    const std::string in = SaveH264WithTwoSps(a, b, 201, 150, cleanup);
    Road road;
    road.host.Answers[TAnalysisQuestion::VideoFullRange] = true;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("fullrange2_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    ClearLog();
    road.pass->Run(out);
    const std::string log = AllLog();
    // The sets of the second kind each report their byte against the first
    // one's, counted from the first set of the pass.
    const std::regex line(R"(ES  ERROR: Sequence Parameter Set \((\d+)\) video_full_range_flag byte is (\d+) and should be (\d+) !)");
    int reported = 0;
    for (const std::string& l : LogLines()) {
        std::smatch m;
        if (!std::regex_match(l, m, line))
            continue;
        ++reported;
        EXPECT_NE(m[2].str(), m[3].str()) << l;
    }
    EXPECT_EQ(reported, 50) << log;
    // Every set had its flag cleared all the same: the copy holds each set
    // as it is with the flag off, and none with it on.
    EXPECT_NE(log.find("Changed Sequence Parameter Sets: 200 of 200"), std::string::npos) << log;
    const Bytes copy = ReadFile(out);
    auto count = [&copy](const test::TSpsParams& p) {
        const test::Bytes nal = test::NalUnit(7, test::SpsRbsp(p));
        int n = 0;
        for (auto it = copy.begin(); (it = std::search(it, copy.end(), nal.begin(), nal.end())) != copy.end(); ++it)
            ++n;
        return n;
    };
    test::TSpsParams aOff = a, bOff = b;
    aOff.video_full_range_flag = bOff.video_full_range_flag = false;
    EXPECT_EQ(count(a), 0);
    EXPECT_EQ(count(b), 0);
    EXPECT_EQ(count(aOff), 150);
    EXPECT_EQ(count(bOff), 50);
}

TEST(HandlerLines, AnInvalidPesIsNamedWithItsErrorsAndOnlyASizeMismatchWithItsSizes)
{
    // MPEG-2 video, one frame with a PES_packet_length 10 bytes too large,
    // a later one with a broken marker bit in its PTS.
    const int sizeFrame = 100, markerFrame = 150;
    test::TsStream s;
    test::Bytes es(3000, 0x11);
    es[0] = 0;
    es[1] = 0;
    es[2] = 1;
    es[3] = 0xB3;
    int declaredTooLong = 0, received = 0;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        }
        test::Bytes pes = test::PesPacket(0xE0, es, pts);
        if (k == sizeFrame) {
            received = static_cast<int>(pes.size()) - 6;
            declaredTooLong = received + 10;
            pes = test::PesPacket(0xE0, es, pts, -1, declaredTooLong);
        }
        if (k == markerFrame)
            pes[9] &= 0xFE; // the PTS field's first marker bit
        s.AddPes(0x101, pes, pts * 300 - 9000 * 300);
        pts += 3600;
    }
    Cleanup cleanup;
    const std::string in = TempName("invalidpes");
    s.Save(in);
    cleanup.Files.push_back(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    TAnalysisTables& t = road.engine->Tables();
    const int rec = t.PidRecordIndex(0x101);
    ASSERT_GE(rec, 0);
    const int64_t errorsBefore = t.PidRecords[rec].Errors;
    const std::string out = TempName("invalidpes_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    ClearLog();
    road.pass->Run(out);
    std::vector<std::string> invalid;
    for (const std::string& l : LogLines())
        if (l.rfind("PES ERROR: For PID 0101 ", 0) == 0)
            invalid.push_back(l);
    ASSERT_EQ(invalid.size(), 2u) << AllLog();
    // Times count from the recording's first PTS (frame k is k x 40 ms in).
    const std::regex sized(R"(PES ERROR: For PID 0101 00:00:04\.000 PES paket \$[0-9A-F]{8} is invalid \(SizeMismatch\), starting with TS paket \$[0-9A-F]{8} Size: (\d+) should be (\d+))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(invalid[0], m, sized)) << invalid[0];
    EXPECT_EQ(m[1].str(), IntToStr(received));
    EXPECT_EQ(m[2].str(), IntToStr(declaredTooLong));
    const std::regex marker(R"(PES ERROR: For PID 0101 00:00:06\.000 PES paket \$[0-9A-F]{8} is invalid \(MarkerBit1PTS\), starting with TS paket \$[0-9A-F]{8})");
    EXPECT_TRUE(std::regex_match(invalid[1], marker)) << invalid[1];
    EXPECT_GE(t.PidRecords[rec].Errors - errorsBefore, 2);
}

namespace {

// Records what the pass feeds the bandwidth meter, line by line.
class MeterHost : public TestHost {
public:
    std::map<int, int64_t> BitsPerLine;
    // The number of video samples taken when each step came.
    std::vector<int> StepAtVideoSample;
    int VideoSamples = 0;
    void MeterSample(int line, int64_t bits) override
    {
        TestHost::MeterSample(line, bits);
        BitsPerLine[line] += bits;
        if (line == 0)
            ++VideoSamples;
    }
    void MeterStep() override
    {
        TestHost::MeterStep();
        StepAtVideoSample.push_back(VideoSamples);
    }
};

} // namespace

TEST(HandlerLines, TheMeterTakesEachStreamOnItsLineAndStepsAfterMoreThanOneSecondOfVideo)
{
    // Video frames 40 ms apart: 25 frames are exactly one second, which is
    // not yet enough; the 26th frame after a step steps again.
    test::TsStream s = VideoWithBrokenTables(1u << 30);
    Cleanup cleanup;
    const std::string in = TempName("meter");
    s.Save(in);
    cleanup.Files.push_back(in);
    RoadWith<MeterHost> road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string out = TempName("meter_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    // Every PES but the last is completed (the last has no successor).
    int frames = 0;
    for (size_t i = 0; i < s.PacketCount(); ++i) {
        const uint8_t* p = s.Packet(i).data();
        frames += (Pid(p) == 0x101 && (p[1] & 0x40)) ? 1 : 0;
    }
    ASSERT_GT(frames, 60);
    int expected = 0;
    int64_t last = 0;
    for (int f = 0; f < frames - 1; ++f) {
        const int64_t fixed = int64_t(f) * 3600;
        if (fixed - last >= 90001) {
            ++expected;
            last = fixed;
        }
    }
    EXPECT_EQ(road.host.Steps, expected);
    EXPECT_EQ(expected, (frames - 2) / 26);
    // The frame exactly one second in (the 26th) does not step yet; the 27th
    // does, and so does every 26th after it.
    ASSERT_FALSE(road.host.StepAtVideoSample.empty());
    for (size_t k = 0; k < road.host.StepAtVideoSample.size(); ++k)
        EXPECT_EQ(road.host.StepAtVideoSample[k], 27 + 26 * static_cast<int>(k)) << k;
    // Only the video's line got samples: the PES sizes in bits.
    ASSERT_EQ(road.host.BitsPerLine.size(), 1u);
    EXPECT_EQ(road.host.BitsPerLine.begin()->first, 0);
    EXPECT_EQ(road.host.BitsPerLine[0] % 8, 0);
    EXPECT_EQ(road.host.BitsPerLine[0], int64_t(frames - 1) * 3000 * 8);

    // With an audio stream beside the video, the audio takes line 1.
    RoadWith<MeterHost> both;
    ASSERT_TRUE(both.Analyse(DataFile("mpeg2_mp2.ts"))) << AllLog();
    const std::string out2 = TempName("meter_out2");
    cleanup.Files.push_back(out2);
    cleanup.Files.push_back(ChangeFileExt(out2, ".log"));
    ASSERT_EQ(both.Clean(out2), TCleaningResult::Success) << AllLog();
    ASSERT_EQ(both.host.BitsPerLine.size(), 2u);
    EXPECT_GT(both.host.BitsPerLine[0], 0);
    EXPECT_GT(both.host.BitsPerLine[1], 0);
}
