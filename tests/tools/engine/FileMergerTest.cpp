// The merger on real files: a recording split at packet and non-packet
// boundaries with overlaps comes back whole in the cut-to-packets mode; a
// receiver folder made here is counted, titled and merged; and the faults of
// old (destination among the sources, empty sources, one short match
// trusted, a fixed table) stay away.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <filesystem>

#include "base/Streams.h"
#include "base/StringList.h"
#include "base/SysUtils.h"
#include "tests/analysis/CleaningTestSupport.h"
#include "tools/engine/DvrParts.h"
#include "tools/engine/FileMerger.h"

using namespace tw;
using cleantest::Bytes;

namespace {

struct RecordingHost : IMergeHost {
    std::vector<std::string> Actions;
    int CancelAfter = -1; // blocks
    int Blocks = 0;
    void SetAction(const std::string& t) override { Actions.push_back(t); }
    bool Cancelled() override { return CancelAfter >= 0 && ++Blocks > CancelAfter; }
};

// Files removed at the end of the test.
struct Files {
    std::vector<std::string> Names;
    std::string Add(const std::string& tag, const Bytes& data)
    {
        Names.push_back(test::UniqueTempName(tag, ".ts"));
        cleantest::WriteFile(Names.back(), data);
        return Names.back();
    }
    std::string Name(const std::string& tag)
    {
        Names.push_back(test::UniqueTempName(tag, ".ts"));
        return Names.back();
    }
    ~Files()
    {
        for (const std::string& n : Names) {
            RemoveFile(n);
            RemoveFile(MergeLogName(n));
        }
    }
};

Bytes Slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

// Passes the first `limit` bytes on, then fails like a full disk.
class FullDisk : public TStream {
public:
    FullDisk(std::unique_ptr<TStream> inner, int64_t limit) : inner_(std::move(inner)), limit_(limit) {}
    int64_t Read(void* b, int64_t n) override { return inner_->Read(b, n); }
    int64_t Write(const void* b, int64_t n) override
    {
        const int64_t room = std::max<int64_t>(0, limit_ - inner_->Position());
        return inner_->Write(b, std::min(n, room));
    }
    int64_t Seek(int64_t o, TSeekOrigin s) override { return inner_->Seek(o, s); }
    void SetSize(int64_t n) override { inner_->SetSize(n); }

private:
    std::unique_ptr<TStream> inner_;
    int64_t limit_;
};

TMergeSourceTable Probe(const std::vector<std::string>& names)
{
    TMergeSourceTable t;
    for (const std::string& n : names)
        t.Add(ProbeMergeSource(n));
    return t;
}

// cmp where there is one; the Windows build, run under Wine, compares the
// bytes itself.
bool Cmp(const std::string& a, const std::string& b)
{
#if defined(_WIN32)
    return cleantest::ReadFile(a) == cleantest::ReadFile(b);
#else
    return std::system(("cmp -s '" + a + "' '" + b + "'").c_str()) == 0;
#endif
}

} // namespace

TEST(FileMerger, SplitRecordingWithOverlapsComesBackWhole)
{
    const std::string original = cleantest::DataFile("cleaning/h264_ac3_cbr.ts");
    const Bytes all = cleantest::ReadFile(original);
    ASSERT_EQ(all.size() % 188, 0u);
    Files f;
    // Part 1 ends inside packet 1064; part 2 starts inside packet 1000 and
    // ends inside packet 2000; part 3 starts on the boundary of packet 1990.
    const std::vector<std::string> parts = {f.Add("merge_p1", Slice(all, 0, 200050)),
                                            f.Add("merge_p2", Slice(all, 188100, 376130)),
                                            f.Add("merge_p3", Slice(all, 188 * 1990, all.size()))};
    const TMergeSourceTable table = Probe(parts);
    EXPECT_EQ(table.Entry(1).SyncOffset, 88);
    EXPECT_EQ(table.Entry(0).Remainder, 18);
    const std::string dest = f.Name("merge_dest");
    RecordingHost host;
    const TMergeReport r = MergeFiles(parts, table, dest, true, host);
    ASSERT_EQ(r.Outcome, TMergeOutcome::Success) << r.Error;
    EXPECT_TRUE(Cmp(dest, original));
    TStringList log;
    log.LoadFromFile(MergeLogName(dest));
    EXPECT_EQ(log[0], dest);
    EXPECT_NE(log.Text().find("       Overlapping  : 63 packets"), std::string::npos);
    EXPECT_NE(log.Text().find("       Overlapping  : 10 packets"), std::string::npos);
    EXPECT_NE(log.Text().find("       Byte offset  : 11932"), std::string::npos); // 88 + 63 x 188
    EXPECT_NE(log.Text().find("Duration: "), std::string::npos);

    // Without the cut mode the parts are joined as they are.
    const std::string plain = f.Name("merge_plain");
    EXPECT_EQ(MergeFiles(parts, table, plain, false, host).Outcome, TMergeOutcome::Success);
    Bytes joined;
    for (const std::string& p : parts) {
        const Bytes b = cleantest::ReadFile(p);
        joined.insert(joined.end(), b.begin(), b.end());
    }
    EXPECT_EQ(cleantest::ReadFile(plain), joined);
}

TEST(FileMerger, OverlapOnlyWhenTheWholeTailRepeats)
{
    Bytes tail(188 * 20), head(188 * 20);
    for (size_t i = 0; i < tail.size(); ++i) {
        tail[i] = static_cast<uint8_t>(i * 13 + 1);
        head[i] = static_cast<uint8_t>(i * 31 + 5);
    }
    // The last 8 packets of the tail start the head: found.
    std::copy(tail.end() - 8 * 188, tail.end(), head.begin());
    EXPECT_EQ(FindMergeOverlap(tail.data(), 3760, head.data(), 3760, 188), 8 * 188);
    // The head repeats 1,024 bytes of the tail but the tail goes on
    // differently after them: no overlap, nothing removed.
    Bytes head2(188 * 20, 0x55);
    std::copy(tail.begin() + 188 * 4, tail.begin() + 188 * 4 + 1024, head2.begin());
    EXPECT_EQ(FindMergeOverlap(tail.data(), 3760, head2.data(), 3760, 188), 0);
    // Fewer than 1,024 repeated bytes are not trusted.
    Bytes head3 = head;
    std::copy(tail.end() - 5 * 188, tail.end(), head3.begin());
    std::fill(head3.begin() + 5 * 188, head3.end(), 0x99);
    EXPECT_EQ(FindMergeOverlap(tail.data(), 3760, head3.data(), 3760, 188), 0);
    // A short probe is not searched.
    EXPECT_EQ(FindMergeOverlap(tail.data(), 3760, head.data(), 1000, 188), 0);
}

TEST(FileMerger, TwentyRepeatedPacketsAreWrittenOnce)
{
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Files f;
    const std::vector<std::string> parts = {f.Add("rep_p1", Slice(all, 0, 188 * 1500)),
                                            f.Add("rep_p2", Slice(all, 188 * 1480, 188 * 2000 + 77))};
    const std::string dest = f.Name("rep_dest");
    RecordingHost host;
    const TMergeReport r = MergeFiles(parts, Probe(parts), dest, true, host);
    ASSERT_EQ(r.Outcome, TMergeOutcome::Success);
    EXPECT_NE(std::find(r.Log.begin(), r.Log.end(), "       Overlapping  : 20 packets"), r.Log.end());
    // The partial packet at the end is not copied.
    EXPECT_EQ(cleantest::ReadFile(dest), Slice(all, 0, 188 * 2000));
}

TEST(FileMerger, ShortFirstSourceIsNotComparedAndEmptySourcesAreHarmless)
{
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Files f;
    const std::vector<std::string> parts = {f.Add("short_p1", Slice(all, 0, 188 * 100)), f.Add("short_empty", {}),
                                            f.Add("short_p2", Slice(all, 188 * 90, 188 * 200))};
    const TMergeSourceTable table = Probe(parts);
    EXPECT_EQ(table.Entry(1).PacketSize, 0);
    EXPECT_EQ(table.TotalMergeSize(), 188 * 210);
    const std::string dest = f.Name("short_dest");
    RecordingHost host;
    const TMergeReport r = MergeFiles(parts, table, dest, true, host);
    ASSERT_EQ(r.Outcome, TMergeOutcome::Success);
    EXPECT_EQ(FileSizeOf(dest), 188 * 210);
    EXPECT_GE(r.SpeedMBs, 0.0);
    EXPECT_EQ(MergeSpeedText(0), "0.0");
}

TEST(FileMerger, MissingSourceAndCancelEndAsFailureWithTheLogWritten)
{
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Files f;
    const std::string a = f.Add("miss_a", Slice(all, 0, 188 * 10));
    const std::string missing = f.Name("miss_gone");
    const std::string dest = f.Name("miss_dest");
    RecordingHost host;
    TMergeReport r = MergeFiles({a, missing}, Probe({a}), dest, false, host);
    EXPECT_EQ(r.Outcome, TMergeOutcome::MissingSource);
    EXPECT_EQ(r.MissingFile, missing);
    EXPECT_EQ(FileSizeOf(dest), 188 * 10);
    TStringList log;
    log.LoadFromFile(MergeLogName(dest));
    EXPECT_NE(log.Text().find("File " + missing + " not found!"), std::string::npos);
    EXPECT_EQ(MergeResultText(r, false), "Merging failed!");

    host.CancelAfter = 0;
    r = MergeFiles({a, a}, Probe({a}), dest, false, host);
    EXPECT_EQ(r.Outcome, TMergeOutcome::Cancelled);
}

TEST(FileMerger, SourcesWithoutASinglePacketAreCopiedWholeAsTheUserAgreedToAddThem)
{
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Files f;
    const std::string empty = f.Add("nopk_empty", {});
    const Bytes noise(1000, 0x11);
    const std::string garbage = f.Add("nopk_garbage", noise);
    const Bytes packets = Slice(all, 0, 188 * 20);
    const std::string good = f.Add("nopk_good", packets);
    const std::string dest = f.Name("nopk_dest");
    RecordingHost host;
    for (bool cut : {false, true}) {
        // Only a source the user added after the question gets here: it is
        // copied whole, as 188-byte packets for the log's numbers.
        TMergeReport r = MergeFiles({garbage}, Probe({garbage}), dest, cut, host);
        EXPECT_EQ(r.Outcome, TMergeOutcome::Success) << cut;
        EXPECT_EQ(cleantest::ReadFile(dest), noise) << cut;
        r = MergeFiles({empty, garbage, good}, Probe({empty, garbage, good}), dest, cut, host);
        EXPECT_EQ(r.Outcome, TMergeOutcome::Success) << cut;
        Bytes expected = noise;
        expected.insert(expected.end(), packets.begin(), packets.end());
        EXPECT_EQ(cleantest::ReadFile(dest), expected) << cut;
        TStringList log;
        log.LoadFromFile(MergeLogName(dest));
        EXPECT_NE(log.Text().find("Merging file        : " + garbage), std::string::npos) << log.Text();
        EXPECT_NE(log.Text().find("       Packet size  : 188"), std::string::npos) << log.Text();
    }
    // Nothing to merge at all is no success, and an existing destination
    // is not emptied for it.
    cleantest::WriteFile(dest, Bytes(188, 0x47));
    EXPECT_EQ(MergeFiles({}, TMergeSourceTable(), dest, false, host).Outcome, TMergeOutcome::Failed);
    EXPECT_EQ(FileSizeOf(dest), 188);
    TStringList log;
    log.LoadFromFile(MergeLogName(dest));
    EXPECT_NE(log.Text().find("Error: "), std::string::npos) << log.Text();
}

// A merge that ends early (the disk is full, the user cancels) leaves a run
// of whole packets and says that the destination is incomplete.
TEST(FileMerger, AMergeThatEndsEarlyLeavesWholePacketsAndSaysSo)
{
    const Bytes one = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Bytes big;
    while (big.size() <= static_cast<size_t>(kMergeBlock))
        big.insert(big.end(), one.begin(), one.end());
    Files f;
    // Three bytes of garbage before the packets: the copy keeps them
    // outside the cut mode, and the packets stay whole behind them.
    Bytes shifted(3, 0x00);
    shifted.insert(shifted.end(), one.begin(), one.end());
    const std::string a = f.Add("torn_a", shifted);
    const std::string b = f.Add("torn_b", big);
    const std::string dest = f.Name("torn_dest");
    RecordingHost host;
    for (bool cut : {false, true}) {
        SCOPED_TRACE(cut);
        const int64_t aCopied = cut ? static_cast<int64_t>(one.size()) : static_cast<int64_t>(shifted.size());
        // The disk fills 50 bytes into the 1,000th packet of the second source.
        const int64_t limit = aCopied + 188 * 999 + 50;
        auto fullDisk = [limit](const std::string& name) -> std::unique_ptr<TStream> {
            return std::make_unique<FullDisk>(std::make_unique<TFileStream>(name, fmCreate), limit);
        };
        TMergeReport r = MergeFiles({a, b}, Probe({a, b}), dest, cut, host, fullDisk);
        EXPECT_EQ(r.Outcome, TMergeOutcome::Failed);
        EXPECT_EQ(FileSizeOf(dest), aCopied + 188 * 999);
        Bytes expected = cut ? one : shifted;
        expected.insert(expected.end(), big.begin(), big.begin() + 188 * 999);
        EXPECT_EQ(cleantest::ReadFile(dest), expected);
        EXPECT_EQ(r.Incomplete, dest);
        EXPECT_NE(MergeResultText(r, false).find("The output is incomplete: " + dest), std::string::npos)
            << MergeResultText(r, false);
        EXPECT_NE(MergeResultText(r, true).find("Die Ausgabedatei ist unvollst\xC3\xA4ndig: " + dest), std::string::npos);
        TStringList log;
        log.LoadFromFile(MergeLogName(dest));
        EXPECT_NE(log.Text().find("The output is incomplete: " + dest), std::string::npos) << log.Text();

        // Cancelled after the first block of the second source: that block
        // does not end on a packet boundary.
        host.CancelAfter = 1;
        host.Blocks = 0;
        r = MergeFiles({a, b}, Probe({a, b}), dest, cut, host);
        host.CancelAfter = -1;
        EXPECT_EQ(r.Outcome, TMergeOutcome::Cancelled);
        EXPECT_EQ(FileSizeOf(dest), aCopied + kMergeBlock / 188 * 188);
        EXPECT_EQ(r.Incomplete, dest);
        EXPECT_NE(MergeResultText(r, false).find("The output is incomplete: " + dest), std::string::npos);
    }
    // A merge that ends at a source's end is not cut further.
    RecordingHost host2;
    EXPECT_EQ(MergeFiles({a}, Probe({a}), dest, false, host2).Outcome, TMergeOutcome::Success);
    EXPECT_EQ(cleantest::ReadFile(dest), shifted);
}

TEST(FileMerger, DestinationMayNotBeASourceNorItsLogReplaceOne)
{
    Files f;
    const std::string a = f.Add("dest_a", Bytes(188, 0x47));
    const std::string b = f.Add("dest_b", Bytes(188, 0x47));
    EXPECT_FALSE(CheckMergeDestination(a, {a, b}, false).empty());
    EXPECT_FALSE(CheckMergeDestination(ChangeFileExt(a, ".log"), {b}, true).empty());
    EXPECT_FALSE(CheckMergeDestination(ChangeFileExt(b, ".x"), {ChangeFileExt(b, ".log")}, false).empty());
    EXPECT_TRUE(CheckMergeDestination(MergedDestinationName(b), {a, b}, false).empty());
    EXPECT_EQ(MergedDestinationName("/r/b.ts"), "/r/b_merged.ts");
}

TEST(FileMerger, SourceTableGrowsAndKeepsOneEntryPerName)
{
    TMergeSourceTable t;
    for (int i = 0; i < kMaxDvrParts; ++i)
        EXPECT_TRUE(t.Add({"/rec/" + DvrPartFileName(i), 188, 0, 10, 0}));
    EXPECT_FALSE(t.Add({"/REC/000.DVR", 188, 0, 10, 0}));
    EXPECT_EQ(t.Count(), kMaxDvrParts);
    EXPECT_EQ(t.TotalMergeSize(), int64_t(188) * 10 * kMaxDvrParts);
    EXPECT_EQ(t.FindMergeSource("/rec/999.dvr"), 999);
    EXPECT_TRUE(t.RemoveMergeSource("/rec/500.dvr"));
    EXPECT_EQ(t.FindMergeSource("/rec/999.dvr"), 998);
    EXPECT_EQ(t.FindMergeSource("/rec/500.dvr"), -1);
}

TEST(ReceiverParts, FolderIsCountedTitledAndMergedInOrder)
{
    namespace fs = std::filesystem;
    const std::string dir = test::UniqueTempName("dvr", "") + "/";
    fs::create_directories(dir);
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    std::vector<std::string> parts;
    for (int i = 0; i < 5; ++i) {
        parts.push_back(dir + DvrPartFileName(i));
        cleantest::WriteFile(parts.back(), Slice(all, 188 * 500 * i, 188 * 500 * (i + 1)));
    }
    Bytes info(kDvrInfoSize, 0);
    const std::string title = "Tatort";
    for (size_t i = 0; i < title.size(); ++i)
        info[i * 2 + 1] = static_cast<uint8_t>(title[i]);
    cleantest::WriteFile(dir + "info.dvr", info);

    EXPECT_EQ(CountDvrParts(dir), 5);
    EXPECT_EQ(ReadDvrInfoTitle(dir + "info.dvr"), "Tatort");
    EXPECT_EQ(DvrRecordingDestination(dir + "info.dvr", "Tatort"), dir + "Tatort.ts");

    TMergeSourceTable table;
    for (int i = 0; i < CountDvrParts(dir); ++i)
        table.Add(ProbeMergeSource(dir + DvrPartFileName(i)));
    const std::string dest = DvrRecordingDestination(dir + "info.dvr", ReadDvrInfoTitle(dir + "info.dvr"));
    RecordingHost host;
    ASSERT_EQ(MergeFiles(parts, table, dest, false, host).Outcome, TMergeOutcome::Success);
    EXPECT_EQ(cleantest::ReadFile(dest), Slice(all, 0, 188 * 2500));

    // A gap hides the later parts.
    RemoveFile(dir + "002.dvr");
    EXPECT_EQ(CountDvrParts(dir), 2);
    fs::remove_all(dir);
}

TEST(ReceiverParts, NamesAndTitles)
{
    namespace fs = std::filesystem;
    EXPECT_EQ(DvrPartFileName(0), "000.dvr");
    EXPECT_EQ(DvrPartFileName(42), "042.dvr");
    EXPECT_EQ(DvrPartFileName(999), "999.dvr");
    const std::string dir = test::UniqueTempName("dvr_t", "") + "/";
    fs::create_directories(dir);
    EXPECT_EQ(CountDvrParts(dir), 0);
    Bytes info(kDvrInfoSize, 0);
    cleantest::WriteFile(dir + "INFO.DVR", info);
    // No part yet: no title.
    EXPECT_EQ(ReadDvrInfoTitle(dir + "INFO.DVR"), "");
    cleantest::WriteFile(dir + "000.dvr", Bytes(188, 0x47));
    // Sixteen characters without an end, one of them U+0141 (low byte 'A')
    // and one U+00E9 (kept as the Latin-1 character, in UTF-8).
    const char* t = "ABCDEFGHIJKLMNOP";
    for (int i = 0; i < 16; ++i)
        info[i * 2 + 1] = static_cast<uint8_t>(t[i]);
    info[0] = 0x01;
    info[1] = 0x41;
    info[3] = 0xE9;
    cleantest::WriteFile(dir + "INFO.DVR", info);
    EXPECT_EQ(ReadDvrInfoTitle(dir + "INFO.DVR"), "A\xC3\xA9" "CDEFGHIJKLMNOP");
    cleantest::WriteFile(dir + "info.dvr.bak", info);
    EXPECT_EQ(ReadDvrInfoTitle(dir + "info.dvr.bak"), "");
    info.pop_back();
    cleantest::WriteFile(dir + "INFO.DVR", info);
    EXPECT_EQ(ReadDvrInfoTitle(dir + "INFO.DVR"), "");
    fs::remove_all(dir);
}

// A source cut short while it is merged (another program truncated it, or
// the medium went) ends the merge as failed with that source's name.
TEST(FileMerger, ASourceThatShrinksMidwayFailsTheMerge)
{
    const Bytes all = cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts"));
    Files f;
    const std::string a = f.Add("shrink_a", Slice(all, 0, 188 * 100));
    const std::string b = f.Add("shrink_b", Slice(all, 188 * 100, 188 * 200));
    const std::string dest = f.Name("shrink_dest");
    struct Shrinking : RecordingHost {
        std::string Victim;
        void SetAction(const std::string& t) override
        {
            RecordingHost::SetAction(t);
            if (t == "Merging: " + ExtractFileName(Victim))
                std::filesystem::resize_file(Victim, 188 * 40);
        }
    } host;
    host.Victim = b;
    const TMergeReport r = MergeFiles({a, b}, Probe({a, b}), dest, false, host);
    EXPECT_EQ(r.Outcome, TMergeOutcome::Failed);
    EXPECT_EQ(r.Error.rfind("Reading " + b + " failed: ", 0), 0u) << r.Error;
    EXPECT_NE(r.Error.find("shorter than when it was opened"), std::string::npos) << r.Error;
    EXPECT_NE(MergeResultText(r, false).find(b), std::string::npos);
}

// A title comes from the receiver's index file: whatever it holds, the
// merged recording gets a plain name inside the recording's folder.
TEST(ReceiverParts, TitlesBecomeNamesAFileCanHaveInsideTheFolder)
{
    namespace fs = std::filesystem;
    const std::string dir = test::UniqueTempName("dvr_n", "") + "/";
    fs::create_directories(dir);
    const Bytes part = Slice(cleantest::ReadFile(cleantest::DataFile("cleaning/h264_ac3_cbr.ts")), 0, 188 * 50);
    cleantest::WriteFile(dir + "000.dvr", part);
    struct Case {
        std::string title, name;
    };
    const Case cases[] = {
        {"Tatort: 1/2", "Tatort_ 1_2"},
        {"a\\b*c?\"d<e>f|g", "a_b_c__d_e_f_g"},
        {"..\\..\\x", ".._.._x"},
        {"/etc/passwd", "_etc_passwd"},
        {"Tab\there\x7F\x1F", "Tab_here__"},
        {"CON", "CON_"},
        {"nul.x", "nul_.x"},
        {"Com1 ", "Com1_ "},
        {"LPT9.", "LPT9_."},
        {"COM\xC2\xB9", "COM\xC2\xB9_"},
        {"lpt\xC2\xB3.doc", "lpt\xC2\xB3_.doc"},
        {"Com\xC2\xB2 ", "Com\xC2\xB2_ "},
        {"COM\xC2\xB4", "COM\xC2\xB4"},
        {"LPT\xC2\xB9\xC2\xB9", "LPT\xC2\xB9\xC2\xB9"},
        {"aux:", "aux_"},
        {"CONSOLE", "CONSOLE"},
        {"Tatort", "Tatort"},
        {"Caf\xC3\xA9", "Caf\xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string dest = DvrRecordingDestination(dir + "info.dvr", c.title);
        EXPECT_EQ(dest, dir + c.name + ".ts");
        EXPECT_EQ(ExtractFilePath(dest), dir);
    }
    // The same through the index file as a receiver writes it.
    Bytes info(kDvrInfoSize, 0);
    const std::string title = "Tatort: 1/2";
    for (size_t i = 0; i < title.size(); ++i)
        info[i * 2 + 1] = static_cast<uint8_t>(title[i]);
    cleantest::WriteFile(dir + "info.dvr", info);
    ASSERT_EQ(ReadDvrInfoTitle(dir + "info.dvr"), title);
    const std::string dest = DvrRecordingDestination(dir + "info.dvr", ReadDvrInfoTitle(dir + "info.dvr"));
    TMergeSourceTable table;
    table.Add(ProbeMergeSource(dir + "000.dvr"));
    RecordingHost host;
    ASSERT_EQ(MergeFiles({dir + "000.dvr"}, table, dest, false, host).Outcome, TMergeOutcome::Success);
    EXPECT_EQ(cleantest::ReadFile(dir + "Tatort_ 1_2.ts"), part);
    EXPECT_FALSE(fs::exists(dir + "Tatort: 1"));
    fs::remove_all(dir);
}
