// A program table whose CRC holds but whose entries do not add up: the
// video entry's descriptors claim more bytes than the section has and swallow
// the audio entry behind them. The copy keeps every stream the packets show
// to belong to the program and says the table was damaged; a stream the copy
// leaves out is named and the result is not a plain success.
#include "CleaningTestSupport.h"

#include "analysis/PatchTable.h"
#include "analysis/TableSelection.h"
#include "ts/TSPmtReader.h"
#include "tests/support/EsBuilder.h"

#include <gtest/gtest.h>

using namespace tw;
using namespace tw::cleantest;

namespace {

// The section with a fresh CRC over what precedes its last four bytes.
Bytes Recrc(Bytes section)
{
    section.resize(section.size() - 4);
    const uint32_t crc = Crc32Mpeg(section.data(), 0xFFFFFFFFu, static_cast<int64_t>(section.size()));
    for (int k = 3; k >= 0; --k)
        section.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    return section;
}

// Program 1's PMT listing video $0101 and audio $0102, whose first entry's
// ES_info_length (32) runs past the section's end: read as the muxer wrote
// it, the audio entry becomes the video entry's descriptor bytes.
Bytes SwallowingPmt()
{
    Bytes s = test::PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}, {3, 0x102, {}}});
    s[15] = 0xF0;
    s[16] = 0x20;
    return Recrc(s);
}

struct TTable {
    int Pid;
    Bytes Section;
};

struct TExtra {
    int Pid;
    int StreamId;
};

// MPEG-2 video with the PCR on $0101 and MPEG audio on $0102 and on every
// extra PID, 40 ms a frame; the PAT with `programs` and the tables every 25
// frames.
std::string Build(const std::vector<test::PatProgram>& programs, const std::vector<TTable>& tables,
                  const std::vector<TExtra>& extras, Cleanup& cleanup, const std::string& tag)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0) {
            s.AddPat(programs);
            for (const TTable& t : tables)
                s.AddSection(t.Pid, t.Section);
        }
        s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
        for (const TExtra& x : extras)
            s.AddPes(x.Pid, test::PesPacket(x.StreamId, MpegAudioFrames(), pts));
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

std::string Output(const std::string& tag, Cleanup& cleanup)
{
    const std::string out = TempName(tag);
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    return out;
}

int64_t PacketsOf(const std::map<int, int64_t>& perPid, int pid)
{
    const auto it = perPid.find(pid);
    return it == perPid.end() ? 0 : it->second;
}

} // namespace

TEST(DamagedPmt, TheStreamItSwallowedIsKeptAndTheDamageLogged)
{
    Cleanup cleanup;
    const std::string in = Build({{1, 0x100}}, {{0x100, SwallowingPmt()}}, {}, cleanup, "swallow");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(HasLine("TS  WARNING: PMT damaged: entry for PID $0101 cut short!")) << AllLog();
    EXPECT_TRUE(HasLine("Stream PID $0102 (MPEG1 Audio) is not listed in the damaged PMT: "
                        "entry added with stream type 4"))
        << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_EQ(t.Audio[0].Pid, 0x102);
    EXPECT_TRUE(t.IsSelectedPid(0x102));
    // The table gives the added stream no language, so none is made up.
    const TTSPmtReader& pmt = road.engine->Selection().Pmt();
    ASSERT_GE(pmt.IndexOfPid(0x102), 0);
    EXPECT_EQ(pmt.Entry(pmt.IndexOfPid(0x102)).Language, "");

    const std::string out = Output("swallow_out", cleanup);
    // Nothing is lost: the table's damage is a warning of the log.
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_TRUE(HasLine("WARNINGS : 1")) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtCrcErrors, 0);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102}));
    // Counted on the disk: every audio packet of the recording is in the copy.
    const int64_t audioIn = PacketsOf(PacketsPerPidOf(in), 0x102);
    ASSERT_GT(audioIn, 0);
    EXPECT_EQ(PacketsOf(c.PacketsPerPid, 0x102), audioIn);
    if (HaveFfmpeg())
        EXPECT_EQ(ProbeCodecTypes(out)[0x102], "audio");
}

TEST(DamagedPmt, AnotherProgramsStreamStaysWithItsProgram)
{
    // Program 2 is a radio program with its own sound table; program 1's
    // damaged table is the one with video. Its lost audio comes back, the
    // other program's audio does not join it.
    Cleanup cleanup;
    const Bytes radio = test::PmtSection(2, 0, 0x202, {}, {{3, 0x202, {}}});
    const std::string in = Build({{1, 0x100}, {2, 0x200}}, {{0x100, SwallowingPmt()}, {0x200, radio}},
                                 {{0x202, 0xC0}}, cleanup, "twoprog");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ASSERT_EQ(road.engine->Selection().Pmt().PID(), 0x100) << AllLog();
    EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x102)) << AllLog();
    EXPECT_FALSE(road.engine->Tables().IsSelectedPid(0x202)) << AllLog();
    // Named as the other program's, not as a stream the table lost.
    EXPECT_TRUE(HasLine("TS  WARNING: Stream PID $0202 (MPEG1 Audio) of program 2 is not carried into the cleaned "
                        "stream!"))
        << AllLog();
    EXPECT_EQ(AllLog().find("PID $0202 (MPEG1 Audio) is not listed"), std::string::npos) << AllLog();

    // The copy carries one program: the other's sound is lost to it, and
    // the result says so.
    const std::string out = Output("twoprog_out", cleanup);
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102}));
    EXPECT_EQ(PacketsOf(c.PacketsPerPid, 0x102), PacketsOf(PacketsPerPidOf(in), 0x102));
    EXPECT_EQ(c.Pids.count(0x202), 0u);
}

TEST(DamagedPmt, AStreamNoTableListsIsNamedAndTheResultWarnsUnlessPreserved)
{
    // An intact table of video and one audio stream, and a second audio
    // stream that no table lists: the copy follows the table, and the log
    // names what it leaves out.
    Cleanup cleanup;
    const Bytes pmt = test::PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}, {3, 0x102, {}}});
    const std::string in = Build({{1, 0x100}}, {{0x100, pmt}}, {{0x103, 0xC1}}, cleanup, "unlisted");
    for (const bool preserve : {false, true}) {
        SCOPED_TRACE(preserve ? "preserved" : "left out");
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_TRUE(HasLine("TS  WARNING: Stream PID $0103 (MPEG1 Audio) is not carried into the cleaned stream!"))
            << AllLog();
        EXPECT_EQ(AllLog().find("damaged"), std::string::npos) << AllLog();
        ASSERT_FALSE(road.engine->Tables().IsSelectedPid(0x103));
        if (preserve) {
            // Ticked in the preserve list, the stream is in the copy after all.
            TPreserveList& list = road.pass->PreserveList;
            FillPreserveList(*road.engine, list);
            for (int i = 0; i < list.Count(); ++i)
                list.Item(i).Checked = list.Item(i).Text.rfind("$0103", 0) == 0;
        }
        const std::string out = Output(preserve ? "unlisted_kept" : "unlisted_out", cleanup);
        const TCleaningResult r = road.Clean(out);
        const OutputCheck c = CheckOutput(out);
        if (preserve) {
            EXPECT_EQ(r, TCleaningResult::Success) << AllLog();
            EXPECT_EQ(PacketsOf(c.PacketsPerPid, 0x103), PacketsOf(PacketsPerPidOf(in), 0x103));
        } else {
            EXPECT_EQ(r, TCleaningResult::SuccessWithErrors) << AllLog();
            EXPECT_EQ(road.host.Sounds.back(), "PROBLEMSFOUND");
            EXPECT_EQ(road.host.Messages.back().second,
                      "Process successfully completed!\rBut Errors occurred, please check log!");
            EXPECT_EQ(c.Pids.count(0x103), 0u);
        }
    }
}

TEST(DamagedPmt, ATableThatGivesWayToTheOwnPmtNamesNoStreamAsLeftOut)
{
    // An intact table that lists none of the streams the recording carries
    // (a receiver that moved the PIDs and kept the broadcaster's table): the
    // table is dropped and the own PMT carries the streams, so neither is
    // named as left out of the copy, nor counted as a warning.
    Cleanup cleanup;
    const Bytes pmt = test::PmtSection(1, 0, 0x601, {}, {{2, 0x601, {}}, {3, 0x602, {}}});
    const std::string in = Build({{1, 0x100}}, {{0x100, pmt}}, {}, cleanup, "moved");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ASSERT_TRUE(road.engine->Tables().CreationMode) << AllLog();
    EXPECT_EQ(AllLog().find("is not carried"), std::string::npos) << AllLog();

    const std::string out = Output("moved_out", cleanup);
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_TRUE(HasLine("WARNINGS : 0")) << AllLog();
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(PacketsOf(c.PacketsPerPid, 0x101), PacketsOf(PacketsPerPidOf(in), 0x101));
    EXPECT_EQ(PacketsOf(c.PacketsPerPid, 0x102), PacketsOf(PacketsPerPidOf(in), 0x102));
}
