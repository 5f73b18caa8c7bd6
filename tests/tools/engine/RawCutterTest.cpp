// The raw cutter on real files: the copied range against dd's copy of the
// same bytes, the dialog's arithmetic, and the copy's refusals and failures.
#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "tests/analysis/CleaningTestSupport.h"
#include "tools/engine/RawCutter.h"
#include "tools/engine/StreamProbe.h"

using namespace tw;
using cleantest::Bytes;

namespace {

// Passes the first `limit` bytes on, then fails like a full disk.
class FailingStream : public TStream {
public:
    FailingStream(std::unique_ptr<TStream> inner, int64_t limit) : inner_(std::move(inner)), limit_(limit) {}
    int64_t Read(void* b, int64_t n) override { return inner_->Read(b, n); }
    int64_t Write(const void* b, int64_t n) override
    {
        const int64_t room = std::max<int64_t>(0, limit_ - written_);
        const int64_t w = inner_->Write(b, std::min(n, room));
        written_ += w;
        return w;
    }
    int64_t Seek(int64_t o, TSeekOrigin s) override { return inner_->Seek(o, s); }
    void SetSize(int64_t n) override { inner_->SetSize(n); }

private:
    std::unique_ptr<TStream> inner_;
    int64_t limit_;
    int64_t written_ = 0;
};

// The same bytes as cut by dd; the Windows build, run under Wine, has no dd
// and takes them from the file itself.
Bytes DdRange(const std::string& file, int64_t start, int64_t count)
{
#if defined(_WIN32)
    const Bytes all = cleantest::ReadFile(file);
    return Bytes(all.begin() + start, all.begin() + start + count);
#else
    const std::string out = test::UniqueTempName("raw_dd", ".ts");
    const std::string cmd = "dd if='" + file + "' of='" + out + "' bs=65536 iflag=skip_bytes,count_bytes skip=" +
                            IntToStr(start) + " count=" + IntToStr(count) + " status=none";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    Bytes b = cleantest::ReadFile(out);
    RemoveFile(out);
    return b;
#endif
}

// A recording with leading garbage in 192-byte packets.
std::string MakeGarbage192(test::TempFile& f, size_t garbage, int packets)
{
    test::TsStream s(192);
    for (int i = 0; i < packets; ++i)
        s.Add({.pid = 0x100 + i % 3, .payload = Bytes(184, static_cast<uint8_t>(i))});
    s.SetLeadingGarbage(test::Garbage(garbage));
    s.Save(f.Name());
    return f.Name();
}

} // namespace

TEST(RawCutter, RangeMatchesDdByteForByte)
{
    const std::string in = cleantest::DataFile("cleaning/h264_ac3_cbr.ts");
    const TStreamProbe p = ProbeStreamFile(in);
    ASSERT_TRUE(p.Found);
    const TRawCutSetup s = RawCutSetup(p.PacketSize, p.GarbageOffset, p.FileSize, true);
    ASSERT_EQ(s.PacketCount, p.FileSize / 188);
    // Packets 1000..2063: more than one block of 1,000,001 bytes is not
    // needed to see the boundaries, so the block is checked below.
    const TRawRange r = RawCutRange(1000, 2063, s.PacketSize, s.Offset);
    const std::string out = test::UniqueTempName("raw_out", ".ts");
    int calls = 0;
    const TRawCopyReport rep = RawCopyFile(in, out, r.Start, r.End, [&](int64_t, int64_t) { return ++calls > 0; });
    EXPECT_EQ(rep.Result, TRawCopyResult::Done);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(rep.Copied, 1064 * 188);
    EXPECT_EQ(cleantest::ReadFile(out), DdRange(in, r.Start, r.End - r.Start));
    RemoveFile(out);
}

TEST(RawCutter, BlocksAreAtMostOneMillionAndOneBytes)
{
    test::TempFile in;
    Bytes data(kRawCopyBlock + 1);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    in.Write(data);
    const std::string out = test::UniqueTempName("raw_blocks", ".ts");
    std::vector<int64_t> done;
    auto progress = [&](int64_t, int64_t d) {
        done.push_back(d);
        return true;
    };
    EXPECT_EQ(RawCopyFile(in.Name(), out, 0, kRawCopyBlock, progress).Result, TRawCopyResult::Done);
    EXPECT_EQ(done.size(), 1u);
    done.clear();
    EXPECT_EQ(RawCopyFile(in.Name(), out, 0, kRawCopyBlock + 1, progress).Result, TRawCopyResult::Done);
    EXPECT_EQ(done, (std::vector<int64_t>{0, kRawCopyBlock}));
    EXPECT_EQ(cleantest::ReadFile(out), data);
    RemoveFile(out);
}

TEST(RawCutter, GarbageIsSkippedOnRequest)
{
    test::TempFile f;
    MakeGarbage192(f, 100, 50);
    const TStreamProbe p = ProbeStreamFile(f.Name());
    ASSERT_TRUE(p.Found);
    EXPECT_EQ(p.PacketSize, 192);
    EXPECT_EQ(p.GarbageOffset, 100);
    const TRawCutSetup yes = RawCutSetup(p.PacketSize, p.GarbageOffset, p.FileSize, true);
    EXPECT_EQ(yes.From, 0);
    EXPECT_EQ(yes.Offset, 100);
    EXPECT_EQ(yes.To, (p.FileSize - 100) / 192 - 1);
    EXPECT_EQ(RawCutRange(yes.From, yes.To, 192, yes.Offset).Start, 100);
    const TRawCutSetup no = RawCutSetup(p.PacketSize, p.GarbageOffset, p.FileSize, false);
    EXPECT_EQ(no.Offset, 0);
    // Nothing found: 188-byte packets, the whole file.
    const TRawCutSetup none = RawCutSetup(0, 0, 1000, true);
    EXPECT_EQ(none.PacketSize, 188);
    EXPECT_EQ(none.To, 1000 / 188 - 1);
}

TEST(RawCutter, EditArithmetic)
{
    EXPECT_EQ(RawToFromSize(1, 10, 188), 10 + Round(1048576.0 / 188));
    EXPECT_EQ(RawToFromSize(1, 10, 188), 5588);
    EXPECT_EQ(RawToFromSize(0, 10, 188), 10);
    // The From edit rounds, the To edit truncates.
    EXPECT_EQ(RawRangeSizeMB(0, 8000, 188, true), 1);
    EXPECT_EQ(RawRangeSizeMB(0, 8000, 188, false), 1);
    EXPECT_EQ(RawRangeSizeMB(0, 5000, 188, true), 1);
    EXPECT_EQ(RawRangeSizeMB(0, 5000, 188, false), 0);
    // To equal to From is one packet.
    const TRawRange one = RawCutRange(7, 7, 188, 60);
    EXPECT_EQ(one.End - one.Start, 188);
    EXPECT_EQ(one.Start, 7 * 188 + 60);
    EXPECT_EQ(RawCutterOutputName("C:\\rec\\a.b.ts"), "C:\\rec\\a.b_cutted.ts");
    EXPECT_TRUE(RawNumberKeyAllowed('7', ""));
    EXPECT_TRUE(RawNumberKeyAllowed('$', ""));
    EXPECT_TRUE(RawNumberKeyAllowed('\b', "12"));
    EXPECT_FALSE(RawNumberKeyAllowed('a', "12"));
    EXPECT_TRUE(RawNumberKeyAllowed('a', "$1"));
    EXPECT_TRUE(RawNumberKeyAllowed('F', "$"));
    EXPECT_FALSE(RawNumberKeyAllowed('g', "$1"));
}

TEST(RawCutter, OutputEqualToInputIsRefusedAndTheInputKept)
{
    test::TempFile in;
    const Bytes data(188 * 10, 0x47);
    in.Write(data);
    // Also under another spelling of the same name.
    const std::string other = ExtractFilePath(in.Name()) + "." + PathDelim() + ExtractFileName(in.Name());
    for (const std::string& out : {in.Name(), other}) {
        const TRawCopyReport r = RawCopyFile(in.Name(), out, 0, 188, nullptr);
        EXPECT_EQ(r.Result, TRawCopyResult::Refused);
        EXPECT_FALSE(r.Error.empty());
        EXPECT_EQ(in.Read(), data);
    }
}

TEST(RawCutter, ToBeyondTheEndStopsAtTheEnd)
{
    test::TempFile in;
    Bytes data(188 * 10);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    in.Write(data);
    const std::string out = test::UniqueTempName("raw_beyond", ".ts");
    const TRawRange r = RawCutRange(5, 1000000, 188, 0);
    const TRawCopyReport rep = RawCopyFile(in.Name(), out, r.Start, r.End, nullptr);
    EXPECT_EQ(rep.Result, TRawCopyResult::Done);
    EXPECT_TRUE(rep.Shortened);
    EXPECT_EQ(cleantest::ReadFile(out), Bytes(data.begin() + 5 * 188, data.end()));
    // Starting beyond the end copies nothing, and is refused.
    const TRawCopyReport none = RawCopyFile(in.Name(), out, 5000, 6000, nullptr);
    EXPECT_EQ(none.Copied, 0);
    EXPECT_EQ(none.Result, TRawCopyResult::Refused);
    RemoveFile(out);
}

// A To typed far beyond any file (or as the largest hexadecimal number)
// reaches the end of the file; a range that holds no byte of the file is
// refused before the output is touched, never reported as a copy.
TEST(RawCutter, HugeNumbersSaturateAtTheEndAndAnEmptyRangeIsRefused)
{
    test::TempFile in;
    Bytes data(188 * 20);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 3);
    in.Write(data);
    const std::string out = test::UniqueTempName("raw_huge", ".ts");
    for (const char* toText : {"50000000000000000", "$7FFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE(toText);
        const int64_t to = StrToInt64(toText);
        for (const int packetSize : {188, 192}) {
            const TRawRange r = RawCutRange(2, to, packetSize, 7);
            EXPECT_EQ(r.Start, 2 * packetSize + 7);
            EXPECT_EQ(r.End, INT64_MAX);
            // The size box shows the largest size, never a negative one.
            EXPECT_GT(RawRangeSizeMB(2, to, packetSize, true), 0);
            EXPECT_GT(RawRangeSizeMB(2, to, packetSize, false), 0);
        }
        const TRawRange r = RawCutRange(3, to, 188, 0);
        const TRawCopyReport rep = RawCopyFile(in.Name(), out, r.Start, r.End, nullptr);
        EXPECT_EQ(rep.Result, TRawCopyResult::Done);
        EXPECT_TRUE(rep.Shortened);
        EXPECT_EQ(rep.Copied, 17 * 188);
        EXPECT_EQ(cleantest::ReadFile(out), Bytes(data.begin() + 3 * 188, data.end()));
        RemoveFile(out);
    }
    // Huge From and To: both beyond the end.
    const TRawRange far = RawCutRange(StrToInt64("$7FFFFFFFFFFFFFFF"), StrToInt64("$7FFFFFFFFFFFFFFF"), 188, 0);
    EXPECT_EQ(far.Start, INT64_MAX);
    EXPECT_EQ(far.End, INT64_MAX);
    // A size beyond every file gives the largest To, not a negative one.
    EXPECT_EQ(RawToFromSize(StrToInt64("$7FFFFFFFFFFFFFFF"), 0, 188), INT64_MAX);
    EXPECT_EQ(RawToFromSize(StrToInt64("50000000000000000"), 5, 192), INT64_MAX);
    // From at the end, From beyond it, and an empty file: refused with a
    // reason, and an output that was there stays as it was.
    test::TempFile empty;
    empty.Write(Bytes{});
    struct Case {
        std::string input;
        int64_t start, end;
    };
    for (const Case& c : {Case{in.Name(), 20 * 188, INT64_MAX}, Case{in.Name(), far.Start, far.End},
                          Case{empty.Name(), 0, INT64_MAX}, Case{in.Name(), 188, 188}}) {
        {
            TFileStream keep(out, fmCreate);
            keep.WriteBuffer("kept", 4);
        }
        const TRawCopyReport rep = RawCopyFile(c.input, out, c.start, c.end, nullptr);
        EXPECT_EQ(rep.Result, TRawCopyResult::Refused) << c.start;
        EXPECT_EQ(rep.Copied, 0);
        EXPECT_FALSE(rep.Error.empty());
        EXPECT_EQ(cleantest::ReadFile(out), (Bytes{'k', 'e', 'p', 't'}));
    }
    RemoveFile(out);
}

TEST(RawCutter, WriteFailureEndsAsFailureAndKeepsWhatWasWritten)
{
    test::TempFile in;
    Bytes data(kRawCopyBlock * 2);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7 + i / 251);
    in.Write(data);
    const std::string out = test::UniqueTempName("raw_fail", ".ts");
    // The disk fills 10 bytes into the second block.
    auto failing = [](const std::string& name) -> std::unique_ptr<TStream> {
        return std::make_unique<FailingStream>(std::make_unique<TFileStream>(name, fmCreate), kRawCopyBlock + 10);
    };
    const TRawCopyReport r = RawCopyFile(in.Name(), out, 0, kRawCopyBlock * 2, nullptr, failing);
    EXPECT_EQ(r.Result, TRawCopyResult::Failed);
    EXPECT_FALSE(r.Error.empty());
    EXPECT_EQ(r.Copied, kRawCopyBlock);
    // The part that reached the disk stays, as the input's own first bytes.
    ASSERT_TRUE(FileExists(out));
    const Bytes kept = cleantest::ReadFile(out);
    ASSERT_EQ(kept.size(), static_cast<size_t>(kRawCopyBlock + 10));
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), data.begin()));
    RemoveFile(out);
    // A missing input fails before any output exists.
    EXPECT_NE(RawCopyFile(in.Name() + ".missing", out, 0, 10, nullptr).Result, TRawCopyResult::Done);
    EXPECT_FALSE(FileExists(out));
}

TEST(RawCutter, CancelKeepsWhatWasCopied)
{
    test::TempFile in;
    in.Write(Bytes(kRawCopyBlock * 3, 0x22));
    const std::string out = test::UniqueTempName("raw_cancel", ".ts");
    int n = 0;
    const TRawCopyReport r = RawCopyFile(in.Name(), out, 0, kRawCopyBlock * 3, [&](int64_t, int64_t) { return ++n < 2; });
    EXPECT_EQ(r.Result, TRawCopyResult::Cancelled);
    EXPECT_EQ(r.Copied, kRawCopyBlock);
    EXPECT_EQ(FileSizeOf(out), kRawCopyBlock);
    RemoveFile(out);
}

// An input cut short while it is copied (another program truncated it, or
// the medium went) ends the copy as failed with the input's name, never as
// done.
TEST(RawCutter, AnInputThatShrinksMidwayFailsTheCopy)
{
    test::TempFile in;
    in.Write(Bytes(kRawCopyBlock * 3, 0x33));
    const std::string out = test::UniqueTempName("raw_shrink", ".ts");
    int calls = 0;
    const TRawCopyReport r = RawCopyFile(in.Name(), out, 0, kRawCopyBlock * 3, [&](int64_t, int64_t) {
        if (++calls == 2)
            std::filesystem::resize_file(in.Name(), kRawCopyBlock + kRawCopyBlock / 2);
        return true;
    });
    EXPECT_EQ(r.Result, TRawCopyResult::Failed);
    EXPECT_EQ(r.Error.rfind("Reading " + in.Name() + " failed: ", 0), 0u) << r.Error;
    EXPECT_NE(r.Error.find("shorter than when it was opened"), std::string::npos) << r.Error;
    EXPECT_EQ(r.Copied, kRawCopyBlock);
}

// A copy that ends early (the disk is full, the user cancels) keeps whole
// packets of the range: the block that stopped it does not end on a packet.
TEST(RawCutter, ACopyThatEndsEarlyKeepsWholePackets)
{
    test::TempFile in;
    Bytes data(kRawCopyBlock * 3);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + i / 997);
    in.Write(data);
    const std::string out = test::UniqueTempName("raw_whole", ".ts");
    for (const int packetSize : {188, 192}) {
        SCOPED_TRACE(packetSize);
        const int64_t start = 60;
        auto failing = [](const std::string& name) -> std::unique_ptr<TStream> {
            return std::make_unique<FailingStream>(std::make_unique<TFileStream>(name, fmCreate), kRawCopyBlock + 10);
        };
        TRawCopyReport r = RawCopyFile(in.Name(), out, start, kRawCopyBlock * 3, nullptr, failing, packetSize);
        EXPECT_EQ(r.Result, TRawCopyResult::Failed);
        const int64_t whole = (kRawCopyBlock + 10) / packetSize * packetSize;
        EXPECT_EQ(FileSizeOf(out), whole);
        EXPECT_EQ(cleantest::ReadFile(out), Bytes(data.begin() + start, data.begin() + start + whole));
        int n = 0;
        r = RawCopyFile(in.Name(), out, start, kRawCopyBlock * 3, [&](int64_t, int64_t) { return ++n < 2; }, nullptr,
                        packetSize);
        EXPECT_EQ(r.Result, TRawCopyResult::Cancelled);
        EXPECT_EQ(FileSizeOf(out), kRawCopyBlock / packetSize * packetSize);
        // A copy that reaches its end keeps every byte of the range.
        r = RawCopyFile(in.Name(), out, start, start + 5 * packetSize + 7, nullptr, nullptr, packetSize);
        EXPECT_EQ(r.Result, TRawCopyResult::Done);
        EXPECT_EQ(FileSizeOf(out), 5 * packetSize + 7);
    }
    RemoveFile(out);
}
