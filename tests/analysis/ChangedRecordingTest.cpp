// A recording that changed between its analysis and START: cut short, grown
// (still being recorded), or replaced by another file of the same size. The
// analysis no longer describes it, so the copy stops before it writes
// anything and says why; a new analysis makes the copy possible again.
#include "CleaningTestSupport.h"

#include "analysis/MainTexts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

using namespace tw;
using namespace tw::cleantest;

namespace {

namespace fs = std::filesystem;

// Moves the file's time of change away from what it is, whatever the
// granularity of the file system's clock.
void ShiftWriteTime(const std::string& name, std::chrono::seconds by)
{
    const fs::path p(name);
    fs::last_write_time(p, fs::last_write_time(p) + by);
}

struct Change {
    const char* what;
    std::function<void(const std::string&, const Bytes&)> apply;
};

const Change kChanges[] = {
    {"cut short", [](const std::string& f, const Bytes& b) { fs::resize_file(f, b.size() / 2 + 100); }},
    {"grown",
     [](const std::string& f, const Bytes& b) {
         // A recording still being written: whole packets appended.
         Bytes more = b;
         more.insert(more.end(), b.begin(), b.begin() + 188 * 40);
         WriteFile(f, more);
     }},
    {"same size, other time",
     [](const std::string& f, const Bytes& b) {
         // Another recording of the same length put in its place.
         Bytes other = b;
         other[other.size() / 2] ^= 0x5A;
         WriteFile(f, other);
         ShiftWriteTime(f, std::chrono::seconds(-90));
     }},
    {"only touched", [](const std::string& f, const Bytes&) { ShiftWriteTime(f, std::chrono::seconds(5)); }},
};

// A host whose window, kept alive by the pass, lets a test act meanwhile.
struct ChangingHost : TestHost {
    std::function<void()> During;
    void ProcessMessages() override
    {
        if (During) During();
    }
};

} // namespace

TEST(ChangedRecording, StartStopsBeforeWritingAndTheFailureSaysTheAnalysisIsStale)
{
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    ASSERT_GT(original.size(), 188u * 100);
    for (const Change& change : kChanges) {
        SCOPED_TRACE(change.what);
        const std::string in = TempName("changed_in");
        const std::string out = TempName("changed_out");
        const std::string log = ChangeFileExt(out, ".log");
        Cleanup files{{in, out, log}};
        WriteFile(in, original);
        // A file of the output's name stays as it was.
        const Bytes earlier(188 * 7, 0x47);
        WriteFile(out, earlier);
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        // The analysis lets go of the file as the program does before START.
        road.engine->TSPacketReader1->SetActive(false);
        change.apply(in, original);

        EXPECT_EQ(road.Clean(out), TCleaningResult::Failed) << AllLog();
        EXPECT_EQ(ReadFile(out), earlier) << "a copy was written";
        EXPECT_FALSE(FileExists(log)) << "a log of a copy that never began";
        ASSERT_EQ(road.host.Messages.size(), 1u);
        EXPECT_EQ(road.host.Messages[0].first, TMessageKind::Error);
        const std::string& message = road.host.Messages[0].second;
        EXPECT_EQ(message.rfind("Process aborted with errors!\r", 0), 0u) << message;
        EXPECT_NE(message.find(RecordingChangedText(false) + "\r" + in), std::string::npos) << message;
        ASSERT_FALSE(road.host.Sounds.empty());
        EXPECT_EQ(road.host.Sounds.back(), "STREAMCLEANINGFAILED");
        EXPECT_NE(AllLog().find("TS  ERROR: The recording has changed since its analysis!"), std::string::npos)
            << AllLog();
        EXPECT_EQ(AllLog().find("Process successfully completed"), std::string::npos);

        // Analysed again, the file as it is now may be copied.
        road.host.Messages.clear();
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const TCleaningResult again = road.Clean(out);
        EXPECT_TRUE(again == TCleaningResult::Success || again == TCleaningResult::SuccessWithErrors) << AllLog();
        EXPECT_GT(ReadFile(out).size(), earlier.size());
    }
}

TEST(ChangedRecording, AChangeWhileTheCopyIsWrittenFailsThePass)
{
    // Grown (still being recorded) or rewritten in place at the same size
    // while the pass runs: the copy is of neither state of the file.
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    for (const Change& change : {kChanges[1], kChanges[2], kChanges[3]}) {
        SCOPED_TRACE(change.what);
        const std::string in = TempName("changing_in");
        const std::string out = TempName("changing_out");
        Cleanup files{{in, out, ChangeFileExt(out, ".log")}};
        WriteFile(in, original);
        RoadWith<ChangingHost> road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        road.engine->TSPacketReader1->SetActive(false);
        bool changed = false;
        // The pass keeps the window alive from its first packet on.
        road.host.During = [&] {
            if (changed) return;
            changed = true;
            change.apply(in, original);
        };
        EXPECT_EQ(road.Clean(out), TCleaningResult::Failed) << AllLog();
        EXPECT_TRUE(changed);
        EXPECT_NE(AllLog().find("TS  ERROR: The recording has changed since its analysis!"), std::string::npos)
            << AllLog();
        EXPECT_EQ(AllLog().find("Process successfully completed"), std::string::npos);
    }
}

TEST(ChangedRecording, TheToolsOfTheAnalysisRefuseAChangedFileOnceWithTheMessage)
{
    const std::string in = TempName("changed_tools");
    Cleanup files{{in}};
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    Road road;
    ASSERT_TRUE(road.Analyse(in));
    road.engine->TSPacketReader1->SetActive(false);
    EXPECT_FALSE(road.engine->RecordingChanged());
    EXPECT_TRUE(road.engine->CheckRecordingUnchanged());
    EXPECT_TRUE(road.host.Messages.empty());

    ShiftWriteTime(in, std::chrono::seconds(-3));
    EXPECT_TRUE(road.engine->RecordingChanged());
    EXPECT_FALSE(road.engine->CheckRecordingUnchanged());
    ASSERT_EQ(road.host.Messages.size(), 1u);
    EXPECT_EQ(road.host.Messages[0].first, TMessageKind::Error);
    EXPECT_EQ(road.host.Messages[0].second, RecordingChangedText(false) + "\r" + in);
    EXPECT_TRUE(HasLine("TS  ERROR: The recording has changed since its analysis! Please analyse the recording "
                        "again: " + in))
        << AllLog();

    // A file that is gone no longer is the analysed one either.
    ASSERT_TRUE(RemoveFile(in));
    EXPECT_TRUE(road.engine->RecordingChanged());
}

// A recording removed after its analysis cannot be copied: the pass fails
// with the reason, and a file of the output's name is left as it was rather
// than emptied for a copy that can never begin.
TEST(ChangedRecording, ARecordingGoneBeforeStartLeavesTheOutputsNameAlone)
{
    const std::string in = TempName("gone_in");
    const std::string out = TempName("gone_out");
    Cleanup files{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, ReadFile(DataFile("mpeg2_mp2.ts")));
    const Bytes earlier(188 * 7, 0x47);
    WriteFile(out, earlier);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    road.engine->TSPacketReader1->SetActive(false);
    ASSERT_TRUE(RemoveFile(in));

    EXPECT_EQ(road.Clean(out), TCleaningResult::Failed) << AllLog();
    EXPECT_EQ(ReadFile(out), earlier) << "the output's name was emptied";
    EXPECT_NE(AllLog().find("TS  ERROR: Could not open the recording " + in), std::string::npos) << AllLog();
    EXPECT_EQ(AllLog().find("Could not create the output file"), std::string::npos) << AllLog();
}
