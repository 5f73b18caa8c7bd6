// The tables the cleaned recording starts with: the rebuilt PAT keeps the
// recording's stream id and version, a PMT of the program's own takes the
// last stream with a clock as its PCR PID, and the program never goes out
// under the number 0.
#include "CleaningTestSupport.h"

#include "analysis/TableSelection.h"
#include "tests/support/EsBuilder.h"
#include "tests/support/ProgramNumbers.h"
#include "ts/TSPmtReader.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tw;
using namespace tw::cleantest;

namespace {

// MPEG-2 video on $0101 and MPEG audio on $0102, 40 ms a frame; the PAT
// (program 1 on $0100) and PMT every 25 frames when `tables`, and a PCR on
// the audio's packets too when `audioClock`.
std::string Build(bool tables, int tsid, int version, bool audioClock, Cleanup& cleanup, const std::string& tag)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (tables && k % 25 == 0) {
            s.AddPat({{1, 0x100}}, tsid, version);
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}});
        }
        s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts), audioClock ? (pts - 8000) * 300 : -1);
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

} // namespace

TEST(RebuiltTables, ThePatKeepsTheRecordingsStreamIdAndVersion)
{
    Cleanup cleanup;
    const std::string in = Build(true, 0x1234, 5, false, cleanup, "patid");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_EQ(road.engine->Tables().TransportStreamId, 0x1234);
    const std::string out = TempName("patid_out");
    cleanup.Files = {out, ChangeFileExt(out, ".log")};
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const Bytes b = ReadFile(out);
    ASSERT_GE(b.size(), 188u);
    // Sync, payload start on PID 0, payload only with counter 0, pointer 0,
    // table 0; then the stream id and the version of the recording's PAT.
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{0x47, 0x40, 0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ((b[8] << 8) | b[9], 0x1234);
    EXPECT_EQ((b[10] >> 1) & 0x1F, 5);
    EXPECT_EQ(CheckOutput(out).PatCrcErrors, 0);
}

TEST(RebuiltTables, AnOwnPmtTakesTheLastStreamWithAClockAsPcrPid)
{
    // No PAT and no PMT; both streams carry a PCR. The own PMT names each
    // and takes the later one in the found streams.
    Cleanup cleanup;
    const std::string in = Build(false, 0, 0, true, cleanup, "ownpcr");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(road.engine->Tables().CreationMode);
    EXPECT_TRUE(HasLine("PCR for selfmade PMT: $0101")) << AllLog();
    EXPECT_TRUE(HasLine("PCR for selfmade PMT: $0102"));
    EXPECT_EQ(road.engine->Selection().Pmt().PcrPid(), 0x102);
    ASSERT_EQ(road.engine->Selection().Pmt().PMTEntryCount(), 2);
    EXPECT_EQ(road.engine->Selection().Pmt().Entry(0).StreamType, 2);
    // "MPEG1 Audio" is entered with the MPEG-2 audio code.
    EXPECT_EQ(road.engine->Selection().Pmt().Entry(1).StreamType, 4);
}

// A broken muxer's tables give the program the number 0, which in a PAT
// names the network PID: a copy whose PAT said so would carry no program at
// all. The copy takes the number the recording's PAT gives the PMT's PID,
// else the number of the program's own tables; its PAT and PMT agree, the
// log says so, and an outside reader finds the program with its streams.
TEST(RebuiltTables, AProgramNumberZeroNeverReachesTheCopy)
{
    struct Case {
        const char* Tag;
        int PatNumber; // -1: the PAT keeps its own ($1234)
        int Expected;
        const char* Line;
    };
    for (const Case& k : {Case{"sid0_both", 0, 1, "Program number $0000 in PMT and PAT invalid, using $0001!"},
                          Case{"sid0_pmt", -1, 0x1234, "Program number $0000 in PMT invalid, using $1234 from PAT!"}}) {
        SCOPED_TRACE(k.Tag);
        Bytes b = ReadFile(DataFile("h264_ac3.ts"));
        const test::TProgramNumberEdits edits = test::RewriteProgramNumber(b, 0x100, k.PatNumber, 0);
        ASSERT_GT(edits.PmtSections, 0);
        ASSERT_EQ(edits.PatEntries > 0, k.PatNumber >= 0);
        Cleanup files;
        const std::string in = TempName(k.Tag), out = TempName(std::string(k.Tag) + "_out");
        files.Files = {in, out, ChangeFileExt(out, ".log")};
        WriteFile(in, b);

        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_TRUE(HasLine(k.Line)) << AllLog();
        ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        const OutputCheck c = CheckOutput(out);
        EXPECT_EQ(c.PatCrcErrors + c.PmtCrcErrors, 0);
        EXPECT_EQ(c.PatPrograms, 1);
        EXPECT_EQ(c.ProgramNumber, k.Expected);
        EXPECT_EQ(c.PmtPid, 0x100);
        EXPECT_EQ(c.PmtProgramNumber, k.Expected);
        EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x300, 0x301}));

        if (!HaveFfmpeg())
            continue;
        const std::string probe = Probe(out, "program=program_num,pmt_pid:program_stream=id");
        EXPECT_NE(probe.find("program_num=" + std::to_string(k.Expected) + "\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("pmt_pid=256\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("id=0x300"), std::string::npos) << probe;
        EXPECT_NE(probe.find("id=0x301"), std::string::npos) << probe;
    }
}
