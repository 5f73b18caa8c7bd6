// The patch and preserve choices on the whole road of a recording: what the
// dialogs would show after the analysis, and what the cleaned copy carries
// after they were taken back (program number, remapped PIDs, preserved
// streams), checked by our own reading of the output and by ffprobe where
// it is installed.
#include <gtest/gtest.h>

#include "tests/analysis/CleaningTestSupport.h"
#include "tests/support/ProgramNumbers.h"
#include "tools/engine/PatchChoices.h"
#include "ts/TSPmtReader.h"

using namespace tw;
using namespace tw::cleantest;

namespace {

// Program number and PCR PID of the output's first PAT and PMT.
struct Programs {
    int ProgramNumber = -1;
    int PcrPid = -1;
};

Programs ReadPrograms(const std::string& file)
{
    Programs p;
    const OutputCheck c = CheckOutput(file);
    const Bytes b = ReadFile(file);
    for (size_t i = 0; i + 188 <= b.size(); i += 188) {
        const uint8_t* k = b.data() + i;
        if (!(k[1] & 0x40) || ((k[3] >> 4) & 1) == 0)
            continue;
        const uint8_t* s = k + 5 + k[4];
        if (Pid(k) == 0 && p.ProgramNumber < 0)
            p.ProgramNumber = (s[8] << 8) | s[9];
        else if (Pid(k) == c.PmtPid && p.PcrPid < 0)
            p.PcrPid = ((s[8] & 0x1F) << 8) | s[9];
    }
    return p;
}

} // namespace

TEST(PatchChoices, DialogRowsAndChecks)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    const TPatchChoices c = FillPatchChoices(*road.engine, -1);
    EXPECT_EQ(c.CurrentSid, "$1234");
    EXPECT_EQ(c.NewSid, "$1234");
    // PID 0 and the PMT's PID ($0100) are not offered.
    for (const auto& [key, value] : c.Rows) {
        EXPECT_NE(key, "$0000");
        EXPECT_NE(key, "$0100");
        EXPECT_EQ(key, value);
    }
    EXPECT_NE(std::find(c.Rows.begin(), c.Rows.end(), std::make_pair(std::string("$0300"), std::string("$0300"))),
              c.Rows.end());
    EXPECT_EQ(FillPatchChoices(*road.engine, 0x55).NewSid, "$0055");

    int pid = 0;
    EXPECT_TRUE(ParseStreamPid("$1FFE", pid));
    EXPECT_EQ(pid, 8190);
    EXPECT_TRUE(ParseStreamPid("1", pid));
    for (const char* bad : {"0", "8191", "$1FFF", "8192", "65535", "x", ""})
        EXPECT_FALSE(ParseStreamPid(bad, pid)) << bad;
    // The grid's own check: any PID up to 8191, nothing else.
    for (const char* good : {"1", "$0001", "8191", "$1FFF", "$0300"}) EXPECT_TRUE(GridPidAccepted(good)) << good;
    for (const char* bad : {"0", "8192", "$2000", "-1", "x", ""}) EXPECT_FALSE(GridPidAccepted(bad)) << bad;
    EXPECT_TRUE(CheckPatchRows({{"$0300", "$0300"}, {"$0301", "$0400"}}, 0x100, false).empty());
    EXPECT_NE(CheckPatchRows({{"$0300", "$2000"}}, 0x100, false).find("8190"), std::string::npos);
    EXPECT_FALSE(CheckPatchRows({{"$0300", "$0400"}, {"$0301", "$0400"}}, 0x100, false).empty());
    EXPECT_FALSE(CheckPatchRows({{"$0300", "$0100"}}, 0x100, true).empty());

    // OK takes only a program number: a typo would close the dialog and
    // drop the new PIDs chosen with it, a number out of range the new SID,
    // each without a word. The message names what was typed.
    for (const bool german : {false, true})
        for (const char* bad : {"$12G4", "", "0", "-1", "65536", "$10000"}) {
            const std::string m = CheckPatchSid(bad, c.CurrentSid, german);
            EXPECT_NE(m.find(german ? "Programmnummer" : "program number"), std::string::npos) << bad;
            EXPECT_EQ(m.substr(m.find('\r') + 1), bad) << m;
        }
    for (const char* good : {"1", "$0001", "$1234", "65535", "$FFFF", " $0077 "})
        EXPECT_EQ(CheckPatchSid(good, c.CurrentSid, false), "") << good;

    // The same SID as now keeps it; a row left unchanged counts as a remap.
    TPatchResult r = ApplyPatchChoices(*road.engine, "$1234", c.Rows);
    EXPECT_EQ(r.NewServiceId, -1);
    EXPECT_EQ(r.RemapCount, static_cast<int>(c.Rows.size()));
    // Program number 0 would name the network PID: not taken.
    EXPECT_EQ(ApplyPatchChoices(*road.engine, "0", {}).NewServiceId, -1);
    // A SID that does not convert leaves the replacement PIDs alone.
    r = ApplyPatchChoices(*road.engine, "$12G4", {{"$0300", "$0555"}});
    EXPECT_EQ(r.RemapCount, -1);
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_EQ(t.FoundStreams[t.FoundStreamIndex(0x300)].ReplacementPid, 0x300);
}

// A table of a broken muxer may give the program the number 0, which a PAT
// takes for the network PID. The copy carries a number a program may take
// instead, and the dialog shows that one as the current number: left as it
// is, OK takes it as no change, so the PIDs can be patched all the same; a
// new one typed in still goes out in the copy's PAT and PMT.
TEST(PatchChoices, ProgramNumberZeroLeftAsItIsPasses)
{
    Bytes b = ReadFile(DataFile("h264_ac3.ts"));
    const test::TProgramNumberEdits edits = test::RewriteProgramNumber(b, 0x100, 0, 0);
    ASSERT_GT(edits.PatEntries, 0);
    ASSERT_GT(edits.PmtSections, 0);
    Cleanup files;
    const std::string in = TempName("sid0"), out = TempName("sid0_patched");
    files.Files = {in, out, ChangeFileExt(out, ".log")};
    WriteFile(in, b);
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    const TPatchChoices c = FillPatchChoices(*road.engine, -1);
    EXPECT_EQ(c.CurrentSid, "$0001");
    EXPECT_EQ(c.NewSid, "$0001");
    EXPECT_EQ(CheckPatchSid(c.NewSid, c.CurrentSid, false), "");
    EXPECT_NE(CheckPatchSid("0", c.CurrentSid, false), "");
    // Whatever number is shown as current passes when left as it is.
    EXPECT_EQ(CheckPatchSid("0", "$0000", false), "");
    EXPECT_NE(CheckPatchSid("65536", "$0000", false), "");
    const TPatchResult r = ApplyPatchChoices(*road.engine, c.NewSid, {{"$0300", "$0400"}});
    EXPECT_EQ(r.NewServiceId, -1);
    EXPECT_EQ(r.RemapCount, 1);

    const TPatchResult chosen = ApplyPatchChoices(*road.engine, "$0077", {});
    ASSERT_EQ(chosen.NewServiceId, 0x77);
    road.pass->Options.NewServiceId = chosen.NewServiceId;
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_TRUE(HasLine("Patching ProgramNumber(SID) from $0001 to $0077")) << AllLog();
    const OutputCheck o = CheckOutput(out);
    EXPECT_EQ(o.PatPrograms, 1);
    EXPECT_EQ(o.ProgramNumber, 0x77);
    EXPECT_EQ(o.PmtProgramNumber, 0x77);
    EXPECT_EQ(o.PmtPid, 0x100);
}

TEST(PatchChoices, CleanedCopyCarriesTheNewSidAndPids)
{
    Cleanup files;
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    const TPatchResult r = ApplyPatchChoices(*road.engine, "$0077", {{"$0300", "$0400"}, {"$0301", "$0401"}});
    EXPECT_EQ(r.NewServiceId, 0x77);
    EXPECT_EQ(r.RemapCount, 2);
    // Opened again, the dialog shows these choices, not the recording's.
    const TPatchChoices again = FillPatchChoices(*road.engine, r.NewServiceId);
    EXPECT_EQ(again.CurrentSid, "$1234");
    EXPECT_EQ(again.NewSid, "$0077");
    EXPECT_NE(std::find(again.Rows.begin(), again.Rows.end(), std::make_pair(std::string("$0300"), std::string("$0400"))),
              again.Rows.end());
    EXPECT_NE(std::find(again.Rows.begin(), again.Rows.end(), std::make_pair(std::string("$0301"), std::string("$0401"))),
              again.Rows.end());
    road.pass->Options.NewServiceId = r.NewServiceId;
    road.pass->Options.PidRemapCount = r.RemapCount;
    const std::string out = TempName("patched");
    files.Files = {out, ChangeFileExt(out, ".log")};
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success);

    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x400, 0x401}));
    EXPECT_EQ(c.Pids.count(0x300) + c.Pids.count(0x301), 0u);
    EXPECT_EQ(c.Pids.count(0x400) + c.Pids.count(0x401), 2u);
    EXPECT_EQ(c.PmtCrcErrors + c.PatCrcErrors, 0);
    const Programs p = ReadPrograms(out);
    EXPECT_EQ(p.ProgramNumber, 0x77);
    // The clock moved with its stream.
    EXPECT_EQ(p.PcrPid, 0x400);

    if (!HaveFfmpeg())
        GTEST_SKIP() << "the outside decoder cannot run in this build";
    const std::string probe = Probe(out, "program=program_num:stream=id");
    EXPECT_NE(probe.find("program_num=119"), std::string::npos) << probe;
    EXPECT_NE(probe.find("id=0x400"), std::string::npos) << probe;
    EXPECT_NE(probe.find("id=0x401"), std::string::npos) << probe;
    EXPECT_EQ(probe.find("id=0x300"), std::string::npos) << probe;
}

// OK on the dialog with every row left at its own PID still counts each row
// as a remap: the copy's PMT is rebuilt and logged as recreated, the
// streams keep their PIDs. Without the dialog the PMT is left as it was.
TEST(PatchChoices, RowsLeftAtTheirOwnPidStillRecreateThePmt)
{
    Cleanup files;
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("h264_ac3.ts")));
    const std::string plain = TempName("unpatched"), patched = TempName("patched_same");
    files.Files = {plain, ChangeFileExt(plain, ".log"), patched, ChangeFileExt(patched, ".log")};
    ASSERT_EQ(road.Clean(plain), TCleaningResult::Success);
    const std::string before = AllLog();
    EXPECT_EQ(before.find("Recreated PMT:"), std::string::npos) << before;

    const TPatchChoices c = FillPatchChoices(*road.engine, -1);
    // The rows as the dialog shows them, each key its own value.
    ASSERT_FALSE(c.Rows.empty());
    for (const auto& [key, value] : c.Rows) EXPECT_EQ(key, value);
    const TPatchResult r = ApplyPatchChoices(*road.engine, c.NewSid, c.Rows);
    EXPECT_EQ(r.NewServiceId, -1);
    EXPECT_EQ(r.RemapCount, static_cast<int>(c.Rows.size()));
    road.pass->Options.NewServiceId = r.NewServiceId;
    road.pass->Options.PidRemapCount = r.RemapCount;
    ASSERT_EQ(road.Clean(patched), TCleaningResult::Success);
    const std::string after = AllLog().substr(before.size());
    EXPECT_NE(after.find("Recreated PMT:"), std::string::npos) << after;
    // No entry moved: nothing to patch in it.
    EXPECT_EQ(after.find("Patching PMT entry"), std::string::npos) << after;
    const OutputCheck o = CheckOutput(patched);
    EXPECT_EQ(o.PmtStreamPids, (std::vector<int>{0x300, 0x301}));
    EXPECT_EQ(o.PmtCrcErrors + o.PatCrcErrors, 0);
    EXPECT_EQ(ReadFile(patched), ReadFile(plain));

    // A new recording forgets the count with the other choices.
    road.pass->ForgetRecordingChoices();
    EXPECT_EQ(road.pass->Options.PidRemapCount, 0);
}

// A recording muxed at a constant rate, as broadcasts are, fills up with
// null packets, and the dialog offers their PID like any found stream's.
// OK must take that row as it is shown, so a new SID alone reaches the copy;
// only moving the null packets, or a stream onto their PID, is refused.
TEST(PatchChoices, NullPacketsRowLetsANewSidThrough)
{
    const std::string in = DataFile("cleaning/h264_ac3_cbr.ts");
    const int64_t nullPackets = PacketsPerPidOf(in)[0x1FFF];
    ASSERT_GT(nullPackets, 100) << "the recording fills up with null packets";
    Cleanup files;
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    const int pmtPid = 0x100;
    const TPatchChoices c = FillPatchChoices(*road.engine, -1);
    EXPECT_EQ(c.CurrentSid, "$0077");
    EXPECT_NE(std::find(c.Rows.begin(), c.Rows.end(), std::make_pair(std::string("$1FFF"), std::string("$1FFF"))),
              c.Rows.end());
    EXPECT_EQ(CheckPatchRows(c.Rows, pmtPid, false), "");
    EXPECT_EQ(CheckPatchRows(c.Rows, pmtPid, true), "");
    // The grid's own check keeps the row as it is, typed either way.
    EXPECT_TRUE(GridPidAccepted("$1FFF"));
    EXPECT_TRUE(GridPidAccepted("8191"));
    EXPECT_EQ(CheckPatchRows({{"$0200", "$0200"}, {"$1FFF", "8191"}}, pmtPid, false), "");

    // Null packets on another PID would become a stream nobody declared; a
    // stream on $1FFF would be thrown away by every receiver. Each is named.
    for (const bool german : {false, true}) {
        const std::string moved = CheckPatchRows({{"$0200", "$0200"}, {"$1FFF", "$0400"}}, pmtPid, german);
        EXPECT_NE(moved.find("$1FFF = $0400"), std::string::npos) << moved;
        EXPECT_NE(moved.find(german ? "Nullpakete" : "null packets"), std::string::npos) << moved;
        const std::string taken = CheckPatchRows({{"$0200", "$1FFF"}, {"$1FFF", "$1FFF"}}, pmtPid, german);
        EXPECT_NE(taken.find("$0200 = $1FFF"), std::string::npos) << taken;
        EXPECT_NE(taken.find(german ? "Nullpakete" : "null packets"), std::string::npos) << taken;
        EXPECT_NE(moved, taken);
        EXPECT_FALSE(CheckPatchRows({{"$1FFF", "$2000"}}, pmtPid, german).empty());
        EXPECT_FALSE(CheckPatchRows({{"$1FFF", "x"}}, pmtPid, german).empty());
    }
    // Rows that never passed the check do not move a PID when taken back.
    TAnalysisTables& t = road.engine->Tables();
    ApplyPatchChoices(*road.engine, "$0077", {{"$0200", "$1FFF"}, {"$1FFF", "$0400"}});
    EXPECT_EQ(t.FoundStreams[t.FoundStreamIndex(0x200)].ReplacementPid, -1);
    EXPECT_EQ(t.FoundStreams[t.FoundStreamIndex(0x1FFF)].ReplacementPid, -1);
    // A key beyond any PID names no stream, whatever its low bits say.
    ApplyPatchChoices(*road.engine, "$0077", {{"$100000200", "$0400"}});
    EXPECT_EQ(t.FoundStreams[t.FoundStreamIndex(0x200)].ReplacementPid, -1);

    // The rows as shown and a new SID. Every row counts, the null
    // packets' included, as any row left at its own PID does.
    const TPatchResult r = ApplyPatchChoices(*road.engine, "$0042", c.Rows);
    EXPECT_EQ(r.NewServiceId, 0x42);
    EXPECT_EQ(r.RemapCount, static_cast<int>(c.Rows.size()));
    road.pass->Options.NewServiceId = r.NewServiceId;
    road.pass->Options.PidRemapCount = r.RemapCount;
    const std::string out = TempName("null_sid"), kept = TempName("null_sid_kept");
    files.Files = {out, ChangeFileExt(out, ".log"), kept, ChangeFileExt(kept, ".log")};
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    OutputCheck o = CheckOutput(out);
    EXPECT_EQ(o.ProgramNumber, 0x42);
    EXPECT_EQ(ReadPrograms(out).ProgramNumber, 0x42);
    EXPECT_EQ(o.PmtStreamPids, (std::vector<int>{0x200, 0x201}));
    EXPECT_EQ(o.PmtCrcErrors + o.PatCrcErrors, 0);
    // Null packets belong to no kept stream: the copy leaves them out.
    EXPECT_EQ(o.Pids.count(0x1FFF), 0u);
    EXPECT_NE(AllLog().find("Discarded pakets (not needed): "), std::string::npos);

    // Preserved, they are copied, every one of them and under their own PID.
    TPreserveList& list = road.pass->PreserveList;
    FillPreserveList(*road.engine, list);
    bool offered = false;
    for (int i = 0; i < list.Count(); ++i) {
        int pid = 0;
        if (TPreserveList::ItemPid(list.Item(i).Text, pid) && pid == 0x1FFF)
            offered = list.Item(i).Checked = true;
    }
    ASSERT_TRUE(offered);
    ASSERT_EQ(road.Clean(kept), TCleaningResult::Success) << AllLog();
    o = CheckOutput(kept);
    EXPECT_EQ(o.ProgramNumber, 0x42);
    EXPECT_EQ(o.PmtStreamPids, (std::vector<int>{0x200, 0x201}));
    EXPECT_EQ(o.PacketsPerPid[0x1FFF], nullPackets);
    if (!HaveFfmpeg())
        GTEST_SKIP() << "the outside decoder cannot run in this build";
    const std::string probe = Probe(kept, "program=program_num:stream=id");
    EXPECT_NE(probe.find("program_num=66"), std::string::npos) << probe;
    EXPECT_NE(probe.find("id=0x200"), std::string::npos) << probe;
}

TEST(PreserveChoices, TickedStreamReachesTheCopyAndItsPmt)
{
    // Video, audio and a stream of private sections, whose entry the
    // analysis takes out of the PMT (neither video, audio nor text).
    const test::TsStream s = test::SmallProgram({{2, 0x101, {}}, {3, 0x102, {}}, {0x05, 0x104, {}}}, 0x104,
                                                [](int64_t) { return test::PesPacket(0xBF, test::Bytes(150, 0x33)); });
    Cleanup files;
    const std::string in = TempName("preserve_in");
    const std::string out = TempName("preserved");
    files.Files = {in, out, ChangeFileExt(out, ".log")};
    s.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    ASSERT_FALSE(road.engine->Tables().IsSelectedPid(0x104));
    TPreserveList& list = road.pass->PreserveList;
    FillPreserveList(*road.engine, list);
    int tick = -1;
    for (int i = 0; i < list.Count(); ++i) {
        int pid = 0;
        ASSERT_TRUE(TPreserveList::ItemPid(list.Item(i).Text, pid));
        EXPECT_NE(pid, 0);
        EXPECT_NE(pid, 0x100);
        if (pid == 0x104)
            tick = i;
    }
    ASSERT_GE(tick, 0) << "the data stream is offered";
    list.Item(tick).Checked = true;
    // The recording is undamaged and the stream left out is back: a plain
    // success (the left-out stream is a warning of the analysis, no error).
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_EQ(road.host.Messages.back().second, "Process successfully completed!");
    const OutputCheck c = CheckOutput(out);
    EXPECT_EQ(c.Pids.count(0x104), 1u);
    EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102, 0x104}));
    if (!HaveFfmpeg())
        GTEST_SKIP() << "the outside decoder cannot run in this build";
    EXPECT_NE(Probe(out, "stream=id").find("id=0x104"), std::string::npos);
}
