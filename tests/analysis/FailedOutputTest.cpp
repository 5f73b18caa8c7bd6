// What a failed cleaning pass leaves where the user asked for the copy: a
// file that holds nothing of the recording is deleted again; one that holds
// part of it stays, and the result message says that it is incomplete.
#include "CleaningTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tw;
using namespace tw::cleantest;

namespace {


// A host whose window side fails once the pass has written some packets, as
// an exception from a window call would in the program.
class FailingMeterHost : public TestHost {
public:
    int64_t FailAfterBits = 0;
    void MeterSample(int line, int64_t bits) override
    {
        TestHost::MeterSample(line, bits);
        if (MeterBits > FailAfterBits)
            throw std::runtime_error("meter failed");
    }
};

using FailingRoad = RoadWith<FailingMeterHost>;

} // namespace

TEST(FailedOutput, ARecordingGoneBeforeTheCopyLeavesNoOutputAndTheMessageSaysSo)
{
    const std::string in = TempName("gone_in");
    const std::string out = TempName("gone_out");
    Cleanup files{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    // The recording is taken away between the analysis and START (the
    // analysis lets go of it first: Windows deletes no open file).
    road.engine->TSPacketReader1->SetActive(false);
    ASSERT_TRUE(RemoveFile(in));

    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed);
    EXPECT_FALSE(FileExists(out)) << "an empty copy stayed behind";
    ASSERT_FALSE(road.host.Messages.empty());
    const std::string& message = road.host.Messages.back().second;
    EXPECT_EQ(message.rfind("Process aborted with errors!\r", 0), 0u) << message;
    // The message says which file is missing; no output was begun, so none
    // had to be deleted again.
    EXPECT_NE(message.find("Could not open the recording " + in), std::string::npos) << message;
    EXPECT_EQ(message.find("The output that was begun has been deleted again."), std::string::npos) << message;
    // The log beside it is kept: it tells what happened.
    EXPECT_TRUE(FileExists(ChangeFileExt(out, ".log")));
    EXPECT_NE(AllLog().find("TS  ERROR: Could not open the recording " + in), std::string::npos) << AllLog();
    EXPECT_EQ(AllLog().find("Unfinished output deleted: " + out), std::string::npos) << AllLog();
}

TEST(FailedOutput, APassThatFailsAfterWritingKeepsThePartAndCallsItIncomplete)
{
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const std::string out = TempName("partial_out");
    Cleanup files{{out, ChangeFileExt(out, ".log")}};
    FailingRoad road;
    ASSERT_TRUE(road.Analyse(in));
    road.host.FailAfterBits = 200000 * 8;

    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed);
    EXPECT_TRUE(road.pass->TerminateRequested());
    ASSERT_TRUE(FileExists(out));
    const size_t written = ReadFile(out).size();
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, ReadFile(in).size());
    ASSERT_FALSE(road.host.Messages.empty());
    const std::string& message = road.host.Messages.back().second;
    EXPECT_NE(message.find("meter failed"), std::string::npos) << message;
    EXPECT_NE(message.find("The output is incomplete: " + out), std::string::npos) << message;
    ASSERT_FALSE(road.host.Sounds.empty());
    EXPECT_EQ(road.host.Sounds.back(), "ERROR");
}

TEST(FailedOutput, TheNextPassStartsWithoutTheLastOnesNoteAndAnUntouchedOutputOfAnotherName)
{
    const std::string in = TempName("next_in");
    const std::string out = TempName("next_out");
    const std::string keep = TempName("next_keep");
    Cleanup files{{in, out, keep, ChangeFileExt(out, ".log"), ChangeFileExt(keep, ".log")}};
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    EXPECT_EQ(road.Clean(keep), TCleaningResult::Success) << AllLog();
    const size_t kept = ReadFile(keep).size();
    ASSERT_GT(kept, 0u);

    ASSERT_TRUE(road.Analyse(in));
    road.engine->TSPacketReader1->SetActive(false);
    ASSERT_TRUE(RemoveFile(in));
    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed);
    // The earlier copy is the user's: a later failure must not reach it.
    EXPECT_EQ(ReadFile(keep).size(), kept);
    EXPECT_FALSE(FileExists(out));

    // An output that cannot be created was never ours: no note about it.
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    ASSERT_TRUE(road.Analyse(in));
    road.host.Messages.clear();
    EXPECT_EQ(road.Clean("/nonexistent_tw_dir/sub/out.ts"), TCleaningResult::Failed);
    ASSERT_FALSE(road.host.Messages.empty());
    EXPECT_EQ(road.host.Messages.back().second.find("deleted again"), std::string::npos);
    EXPECT_EQ(road.host.Messages.back().second.find("incomplete"), std::string::npos);
}

TEST(FailedOutput, ForgottenChoicesLeaveTheWholeRecordingToTheNextCopy)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("mpeg2_mp2.ts")));
    road.pass->Options.CutIn = 5 * 90000;
    road.pass->Options.CutOut = 15 * 90000;
    road.pass->Options.NewServiceId = 0x77;
    road.pass->ForgetRecordingChoices();
    const std::string out = TempName("whole");
    Cleanup files{{out, ChangeFileExt(out, ".log")}};
    EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_NE(AllLog().find("Cutted pakets at the beginning: 0"), std::string::npos) << AllLog();
    // The program number is the recording's own: the copy's PAT names the
    // number the recording's PAT gives its program (read by the test probe).
    const OutputCheck c = CheckOutput(out);
    EXPECT_TRUE(c.WholePackets && c.AllSync);
    EXPECT_EQ(c.ContinuityErrors, 0);
    EXPECT_EQ(AllLog().find("$0077"), std::string::npos);
    const test::TRecordingStreams recording = test::ReadRecordingStreams(DataFile("mpeg2_mp2.ts"));
    ASSERT_EQ(recording.Programs.size(), 1u);
    EXPECT_EQ(recording.Programs[0].Number, 0x2A); // as the fixture script made it
    EXPECT_EQ(c.ProgramNumber, recording.Programs[0].Number);
    EXPECT_NE(c.ProgramNumber, 0x77);
    EXPECT_EQ(c.PmtPid, recording.Programs[0].PmtPid);
    // Every stream whole: no cut range reached this copy.
    for (const auto& [pid, n] : StreamsTheCopyMustHold(DataFile("mpeg2_mp2.ts"), c.PmtPid, c.ProgramNumber))
        EXPECT_EQ(c.PacketsPerPid.count(pid) ? c.PacketsPerPid.at(pid) : 0, n) << "PID " << pid;
    // Nearly every packet of the recording is in the copy (the analysis may
    // drop a few damaged or superfluous ones, never a ten-second range).
    EXPECT_GT(c.Packets * 188, static_cast<int64_t>(ReadFile(DataFile("mpeg2_mp2.ts")).size()) * 9 / 10);
}
