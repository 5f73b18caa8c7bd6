// The copying tools on recordings made in the test and on an ffmpeg-made one:
// the packet filter (chosen PIDs gone, every other packet intact and in
// order, continuity intact; damaged and scrambled packets dropped on request,
// what the cleaning pass's packet handlers report logged) and the
// low-level fix (garbage inside a packet, missing bytes, leading garbage:
// every sync byte right and every sound packet kept). Both refuse to write
// over their input.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "tests/analysis/CleaningTestSupport.h"
#include "tests/support/FailingInput.h"
#include "analysis/PacketHandlers.h"
#include "tools/engine/LowLevelFix.h"
#include "tools/engine/PacketFilter.h"
#include "tools/engine/ToolCopy.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"

using namespace tw;
using namespace tw::test;
using tw::cleantest::CheckOutput;

namespace {

// A small recording: PAT, PMT and two PES streams with running counters.
TsStream TwoStreams(int packetsPerPid) {
    TsStream ts;
    ts.AddPat({{1, 0x1000}});
    ts.AddPmt(0x1000, 1, 0x100, {{0x1B, 0x100, {}}, {0x81, 0x101, {}}});
    for (int i = 0; i < packetsPerPid; ++i) {
        TsPacketOptions v;
        v.pid = 0x100;
        v.payloadStart = i % 10 == 0;
        v.payload.assign(184, static_cast<uint8_t>(i));
        ts.Add(v);
        TsPacketOptions a;
        a.pid = 0x101;
        a.payload.assign(184, static_cast<uint8_t>(0x80 + i % 64));
        ts.Add(a);
    }
    return ts;
}

std::vector<Bytes> Packets(const Bytes& file) {
    std::vector<Bytes> out;
    for (size_t p = 0; p + 188 <= file.size(); p += 188) out.emplace_back(file.begin() + p, file.begin() + p + 188);
    return out;
}

int PidOf(const Bytes& p) { return ((p[1] & 0x1F) << 8) | p[2]; }

const char kDiskFull[] = "There is not enough space on the disk.";

// An output file that takes the first `limit` bytes and then refuses more,
// as a full disk does.
class FillingFileStream : public TFileStream {
public:
    FillingFileStream(const std::string& name, int64_t limit) : TFileStream(name, fmCreate), limit_(limit) {}
    int64_t Write(const void* buffer, int64_t count) override {
        const int64_t room = std::max<int64_t>(0, limit_ - written_);
        const int64_t put = TFileStream::Write(buffer, std::min(count, room));
        written_ += put;
        if (put < count) SetLastErrorText(kDiskFull);
        return put;
    }

private:
    int64_t limit_;
    int64_t written_ = 0;
};

struct Counter {
    int shows = 0, messages = 0;
    TToolProgress Progress() {
        return {[this](int64_t, int64_t) { ++shows; }, [this] { ++messages; }};
    }
};

} // namespace

TEST(PacketFilter, DropsChosenPidsAndKeepsEverythingElseInOrder) {
    TsStream ts = TwoStreams(60);
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    filter.Pids = {0x101};
    Counter c;
    const auto res = filter.Run(in.Name(), out.Name(), c.Progress());
    ASSERT_TRUE(res.Ok) << res.Error;
    EXPECT_EQ(res.DroppedPid, 60);
    EXPECT_EQ(c.shows, 1); // packet 0 only in so small a file

    std::vector<Bytes> kept;
    for (const Bytes& p : Packets(in.Read()))
        if (PidOf(p) != 0x101) kept.push_back(p);
    EXPECT_EQ(Packets(out.Read()), kept);
    const auto check = CheckOutput(out.Name());
    EXPECT_TRUE(check.AllSync);
    EXPECT_EQ(check.ContinuityErrors, 0);
    EXPECT_EQ(check.Pids.count(0x101), 0u);
    EXPECT_EQ(res.Written, static_cast<int64_t>(kept.size()));
}

// Stray bytes between two packets cost the filter no packet: the one found
// behind them is copied like any other, with or without damaged packets
// being deleted.
TEST(PacketFilter, StrayBytesBetweenPacketsLoseNoPacket) {
    TsStream ts = TwoStreams(30);
    TempFile clean, in, out;
    ts.Save(clean.Name());
    const Bytes whole = clean.Read();
    Bytes stray = whole;
    stray.insert(stray.begin() + 12 * 188, 33, 0x5A);
    in.Write(stray);
    std::vector<Bytes> kept;
    for (const Bytes& p : Packets(whole))
        if (PidOf(p) != 0x101) kept.push_back(p);
    for (bool deleteInvalid : {false, true}) {
        TTSPacketReader reader(nullptr);
        TPacketFilter filter(reader);
        filter.Pids = {0x101};
        filter.DeleteInvalid = deleteInvalid;
        Counter c;
        const auto res = filter.Run(in.Name(), out.Name(), c.Progress());
        ASSERT_TRUE(res.Ok) << res.Error;
        EXPECT_EQ(Packets(out.Read()), kept) << deleteInvalid;
    }
}

TEST(PacketFilter, DeleteInvalidDropsDamagedAndScrambledPackets) {
    TsStream ts = TwoStreams(20);
    const size_t scrambled = 6, broken = 9, afBroken = 12;
    ts.SetScrambled(scrambled, 2);
    ts.SetTransportError(broken);
    ts.Packet(afBroken)[3] = static_cast<uint8_t>(ts.Packet(afBroken)[3] & 0xCF); // reserved control
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    filter.DeleteInvalid = true;
    const auto res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok) << res.Error;
    // The filter cannot descramble: a scrambled packet is one it cannot
    // vouch for, like a damaged one.
    EXPECT_EQ(res.DroppedInvalid, 3);
    const auto inPackets = Packets(in.Read());
    std::vector<Bytes> expect;
    for (size_t i = 0; i < inPackets.size(); ++i)
        if (i != broken && i != afBroken && i != scrambled) expect.push_back(inPackets[i]);
    EXPECT_EQ(Packets(out.Read()), expect);

    // Without the box every packet is copied as it is.
    filter.DeleteInvalid = false;
    ASSERT_TRUE(filter.Run(in.Name(), out.Name(), {}).Ok);
    EXPECT_EQ(out.Read(), in.Read());
}

namespace {

std::string WholeLog() {
    std::string all;
    for (const std::string& l : LogLines()) all += l + "\n";
    return all;
}

// A program whose video PID carries the clock, 40 ms per PES; the PCR of
// PES `badPcr` lies 10 s off.
TsStream ClockedProgram(int pesCount, int badPcr) {
    TsStream ts;
    ts.AddPat({{1, 0x1000}});
    ts.AddPmt(0x1000, 1, 0x100, {{2, 0x100, {}}, {3, 0x101, {}}});
    int64_t pts = 900000;
    for (int k = 0; k < pesCount; ++k, pts += 3600) {
        const int64_t pcr = (pts - 9000 + (k == badPcr ? 900000 : 0)) * 300;
        ts.AddPes(0x100, PesPacket(0xE0, Bytes(1500, 0x11), pts), pcr);
        ts.AddPes(0x101, PesPacket(0xC0, Bytes(300, 0x22), pts));
    }
    return ts;
}

// The same program whose clock from PES `from` on jumped by pcrJump90
// while its stamps jumped by stampJump90.
TsStream JumpingProgram(int pesCount, int from, int64_t pcrJump90, int64_t stampJump90) {
    TsStream ts;
    ts.AddPat({{1, 0x1000}});
    ts.AddPmt(0x1000, 1, 0x100, {{2, 0x100, {}}, {3, 0x101, {}}});
    int64_t pts = 900000;
    for (int k = 0; k < pesCount; ++k, pts += 3600) {
        const int64_t stamp = pts + (k >= from ? stampJump90 : 0);
        const int64_t pcr = (pts - 9000 + (k >= from ? pcrJump90 : 0)) * 300;
        ts.AddPes(0x100, PesPacket(0xE0, Bytes(1500, 0x11), stamp), pcr);
        ts.AddPes(0x101, PesPacket(0xC0, Bytes(300, 0x22), stamp));
    }
    return ts;
}

size_t NthOfPid(TsStream& ts, int pid, int n) {
    for (size_t i = 0; i < ts.PacketCount(); ++i)
        if (PidOf(ts.Packet(i)) == pid && n-- == 0) return i;
    return 0;
}

} // namespace

// An ffmpeg recording with packets sent twice in a row (the copy right
// behind its original) and one packet lost: through the cleaning handlers
// the filter reports the one gap and no repeat, and copies every packet,
// the repeats with their counters, as it was.
TEST(PacketFilter, ARepeatedPacketIsNoGapAndIsCopiedAsItIs) {
    const Bytes original = cleantest::ReadFile(cleantest::DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    std::vector<Bytes> packets = Packets(original);
    std::vector<Bytes> with;
    int videoSeen = 0, audioSeen = 0, repeats = 0;
    for (const Bytes& p : packets) {
        const bool payload = (p[3] >> 4) & 1;
        if (PidOf(p) == 0x101 && ++audioSeen == 40) continue; // lost
        with.push_back(p);
        if (payload && ((PidOf(p) == 0x100 && ++videoSeen % 150 == 0) || (PidOf(p) == 0x101 && audioSeen % 60 == 0))) {
            with.push_back(p);
            ++repeats;
        }
    }
    ASSERT_GT(repeats, 15);
    Bytes file;
    for (const Bytes& p : with) file.insert(file.end(), p.begin(), p.end());
    TempFile in, out;
    in.Write(file);
    cleantest::Road road;
    TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
    ClearLog();
    const auto res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok) << res.Error;
    const std::string log = WholeLog();
    EXPECT_EQ(cleantest::CountOccurrences(log, "Paket discontinuity"), 1) << log;
    EXPECT_EQ(cleantest::CountOccurrences(log, "TS  WARNING: For PID 0101 $"), 1) << log;
    EXPECT_EQ(Packets(out.Read()), with);
}

// A video packet that lost 50 bytes inside it, followed by a sound packet:
// the reader finds the sound packet's sync inside the video packet. That
// packet is the damaged one: "Delete invalid packets" drops it alone (the
// sound packet behind it is copied whole), it is logged once under its own
// number and PID, and without the box it is copied and said to be.
TEST(PacketFilter, APacketCutShortIsTheInvalidOneAndNamedOnce) {
    TsStream ts = TwoStreams(30);
    TempFile clean, in, out;
    ts.Save(clean.Name());
    const Bytes whole = clean.Read();
    const size_t cut = 12; // video, followed by sound
    ASSERT_EQ(PidOf(Packets(whole)[cut]), 0x100);
    ASSERT_EQ(PidOf(Packets(whole)[cut + 1]), 0x101);
    Bytes damaged = whole;
    damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(cut * 188 + 100),
                  damaged.begin() + static_cast<std::ptrdiff_t>(cut * 188 + 150));
    in.Write(damaged);
    for (const bool deleteInvalid : {true, false}) {
        SCOPED_TRACE(deleteInvalid);
        cleantest::Road road;
        TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
        filter.DeleteInvalid = deleteInvalid;
        ClearLog();
        const auto res = filter.Run(in.Name(), out.Name(), {});
        ASSERT_TRUE(res.Ok) << res.Error;
        const std::string log = WholeLog();
        std::vector<Bytes> expect = Packets(whole);
        if (deleteInvalid) {
            expect.erase(expect.begin() + static_cast<std::ptrdiff_t>(cut));
            EXPECT_EQ(res.DroppedInvalid, 1);
        } else {
            // As read: its own first 138 bytes, then the sound packet's start.
            Bytes asRead(damaged.begin() + static_cast<std::ptrdiff_t>(cut * 188),
                         damaged.begin() + static_cast<std::ptrdiff_t>(cut * 188 + 188));
            expect[cut] = asRead;
        }
        EXPECT_EQ(Packets(out.Read()), expect);
        EXPECT_EQ(cleantest::CountOccurrences(log, "Invalid paket"), 1) << log;
        EXPECT_EQ(cleantest::CountOccurrences(log, "TS  ERROR: Invalid paket $0000000C for PID $0100, " +
                                                       std::string(deleteInvalid ? "skipped!" : "copied!")),
                  1)
            << log;
        EXPECT_EQ(res.Errors, 1) << log;
    }
}

// The main window's filter reader runs through the cleaning pass's packet
// handlers: a damaged packet it copies is logged and counted, a continuity
// gap is logged, a PCR far off the clock is asked about once and rewritten
// in the copy; a scrambled packet counts as invalid.
TEST(PacketFilter, CopiesThroughTheCleaningHandlers) {
    TsStream ts = ClockedProgram(80, 40);
    const size_t broken = NthOfPid(ts, 0x101, 10);
    ts.SetTransportError(broken);
    ts.Drop(NthOfPid(ts, 0x100, 100)); // a gap in the video's counter
    const size_t scrambled = NthOfPid(ts, 0x101, 20);
    ts.SetScrambled(scrambled, 2);
    TempFile in, out;
    ts.Save(in.Name());
    cleantest::Road road;
    road.host.PcrCorrectionAnswer = true;
    TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
    ClearLog();
    auto res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok) << res.Error;
    std::string log = WholeLog();
    EXPECT_NE(log.find("TS  ERROR: Invalid paket $" + IntToHex(static_cast<int64_t>(broken), 8) +
                       " for PID $0101, copied! Error: "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("TS  WARNING: For PID 0100 $"), std::string::npos) << log;
    EXPECT_NE(log.find("Paket discontinuity"), std::string::npos);
    EXPECT_EQ(road.host.PcrQuestions, 1);
    EXPECT_EQ(cleantest::CountOccurrences(log, "TS  ERROR: PCR timing for PID 0100"), 1) << log;
    EXPECT_EQ(cleantest::CountOccurrences(log, "Try to correct PCR value to "), 1);
    // Everything copied, the bad PCR back on the clock's line.
    auto check = CheckOutput(out.Name());
    EXPECT_EQ(check.Packets, static_cast<int64_t>(ts.PacketCount()));
    ASSERT_EQ(check.Pcr90.size(), 80u);
    for (size_t i = 1; i < check.Pcr90.size(); ++i) EXPECT_NEAR(check.Pcr90[i] - check.Pcr90[i - 1], 3600, 900) << i;

    // A second copy starts its clock afresh: no question left over from the
    // first, nothing judged against the first copy's last PCR.
    ClearLog();
    road.host.PcrQuestions = 0;
    filter.DeleteInvalid = true;
    res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok);
    EXPECT_EQ(road.host.PcrQuestions, 1);
    EXPECT_EQ(res.DroppedInvalid, 2); // the damaged and the scrambled packet
    // Told to ignore the scrambling control, the reader takes the packet and
    // the copy carries it with the control cleared; it is still a packet
    // the reader found scrambled, which the box drops.
    road.engine->ScrambledMode = TScrambledMode::IgnoreControl;
    res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok);
    EXPECT_EQ(res.DroppedInvalid, 2);
    filter.DeleteInvalid = false;
    res = filter.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok);
    const auto outPackets = Packets(out.Read());
    ASSERT_EQ(outPackets.size(), ts.PacketCount());
    EXPECT_EQ(outPackets[scrambled][3] & 0xC0, 0);
    EXPECT_EQ(Packets(in.Read())[scrambled][3] & 0xC0, 0x80);
}

// The filter judges a clock jump by the stamps of the PCR's own PID: a gap
// in the recording (clock and stamps 10 s on) is left alone; a clock that
// jumped 100 s without its stamps is put back to the end.
TEST(PacketFilter, AClockJumpIsJudgedByTheStampsOfItsPid) {
    for (const bool gap : {true, false}) {
        TsStream ts = JumpingProgram(80, 40, gap ? 900000 : 9000000, gap ? 900000 : 0);
        TempFile in, out;
        ts.Save(in.Name());
        cleantest::Road road;
        road.host.PcrCorrectionAnswer = true;
        TPacketFilter filter(road.engine->FilterReader(), &road.pass->PacketHandlers());
        ClearLog();
        const auto res = filter.Run(in.Name(), out.Name(), {});
        ASSERT_TRUE(res.Ok) << res.Error;
        const std::string log = WholeLog();
        EXPECT_EQ(road.host.PcrQuestions, gap ? 0 : 1) << log;
        EXPECT_EQ(cleantest::CountOccurrences(log, "Try to correct PCR value to "), gap ? 0 : 40) << log;
        auto check = CheckOutput(out.Name());
        ASSERT_EQ(check.Pcr90.size(), 80u);
        for (size_t i = 1; i < check.Pcr90.size(); ++i)
            EXPECT_NEAR(check.Pcr90[i] - check.Pcr90[i - 1], i == 40 && gap ? 3600 + 900000 : 3600, 900) << i;
    }
}

TEST(PacketFilter, RefusesTooManyPidsAndAnOutputThatIsTheInput) {
    TsStream ts = TwoStreams(5);
    TempFile in;
    ts.Save(in.Name());
    const Bytes before = in.Read();
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    filter.Pids = {0x101};
    for (const std::string& same : {in.Name(), UpperCase(in.Name()), ExtractFilePath(in.Name()) + "./" + ExtractFileName(in.Name())}) {
        const auto res = filter.Run(in.Name(), same, {});
        EXPECT_FALSE(res.Ok) << same;
        EXPECT_FALSE(res.Error.empty());
    }
    EXPECT_EQ(in.Read(), before);

    TempFile out;
    filter.Pids.assign(256, 0x200);
    EXPECT_FALSE(filter.Run(in.Name(), out.Name(), {}).Ok);
    filter.Pids.assign(255, 0x101);
    EXPECT_TRUE(filter.Run(in.Name(), out.Name(), {}).Ok);

    // An input that does not open: said so, and no output is made.
    const std::string missing = in.Name() + ".gone";
    const std::string never = out.Name() + ".new";
    const auto res = filter.Run(missing, never, {});
    EXPECT_FALSE(res.Ok);
    EXPECT_EQ(res.Error.rfind("Could not open " + missing, 0), 0u) << res.Error;
    EXPECT_FALSE(FileExists(never));
}

// An input without a single packet (empty, or nothing but garbage) has
// nothing to copy: both tools say so and leave no output behind.
TEST(CopyTools, AnInputWithoutPacketsIsRefusedAndLeavesNoOutput) {
    TempFile empty, garbage, out;
    empty.Write({});
    garbage.Write(Bytes(188 * 3 + 17, 0x11));
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    TLowLevelFix fix(reader);
    for (const std::string& input : {empty.Name(), garbage.Name()}) {
        if (FileExists(out.Name())) RemoveFile(out.Name());
        auto r1 = filter.Run(input, out.Name(), {});
        EXPECT_FALSE(r1.Ok) << input;
        EXPECT_EQ(r1.Error, NoPacketsText(input));
        EXPECT_FALSE(FileExists(out.Name())) << input;
        auto r2 = fix.Run(input, out.Name(), {});
        EXPECT_FALSE(r2.Ok) << input;
        EXPECT_EQ(r2.Error, NoPacketsText(input));
        EXPECT_FALSE(FileExists(out.Name())) << input;
    }
    // One packet is a recording.
    TsStream one;
    one.AddPat({{1, 0x1000}});
    one.Save(empty.Name());
    EXPECT_TRUE(filter.Run(empty.Name(), out.Name(), {}).Ok);
    EXPECT_EQ(FileSizeOf(out.Name()), 188);
}

TEST(PacketFilter, AFullDiskIsReportedNotASuccess) {
    TsStream ts = TwoStreams(400);
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    // The output file takes 20 packets and then refuses more, as a full disk
    // does, with the platform's words for it.
    const int64_t kRoom = 20 * 188;
    filter.Writer().CreateOutputStream = [kRoom](const std::string& name) {
        return std::unique_ptr<TFileStream>(std::make_unique<FillingFileStream>(name, kRoom));
    };
    const auto res = filter.Run(in.Name(), out.Name(), {});
    EXPECT_FALSE(res.Ok);
    EXPECT_NE(res.Error.find("failed"), std::string::npos) << res.Error;
    EXPECT_NE(res.Error.find(kDiskFull), std::string::npos) << res.Error;
    // Nothing is counted as written that the disk did not take.
    EXPECT_LE(res.Written * 188, kRoom);
    EXPECT_LE(FileSizeOf(out.Name()), kRoom);
#if !defined(_WIN32)
    // Where the system has a device that is always full, the real thing too.
    if (FileExists("/dev/full")) {
        TPacketFilter real(reader);
        const auto full = real.Run(in.Name(), "/dev/full", {});
        EXPECT_FALSE(full.Ok);
        EXPECT_NE(full.Error.find("failed"), std::string::npos) << full.Error;
    }
#endif
}

TEST(PacketFilter, RealRecordingStaysPlayableWithoutTheDroppedStream) {
    const std::string src = TestDataDir() + "/h264_ac3.ts";
    TempFile out;
    TTSPacketReader reader(nullptr);
    TPacketFilter filter(reader);
    filter.Pids = {0x301};
    const auto res = filter.Run(src, out.Name(), {});
    ASSERT_TRUE(res.Ok) << res.Error;
    EXPECT_GT(res.DroppedPid, 0);
    const auto check = CheckOutput(out.Name());
    EXPECT_TRUE(check.AllSync);
    EXPECT_EQ(check.ContinuityErrors, 0);
    EXPECT_EQ(check.Pids.count(0x301), 0u);
    EXPECT_EQ(check.Pids.count(0x300), 1u);
    if (!cleantest::HaveFfmpeg()) GTEST_SKIP() << "the outside decoder cannot run in this build";
    // The PMT still names the stream; ffprobe must find no packet of it.
    const std::string streams =
        cleantest::RunCapture("ffprobe -v error -count_packets -show_entries stream=id,nb_read_packets -of csv=p=0 '" +
                              out.Name() + "' 2>&1");
    EXPECT_NE(streams.find("0x300,"), std::string::npos) << streams;
    EXPECT_EQ(streams.find("0x300,0"), std::string::npos) << streams;
    EXPECT_TRUE(streams.find("0x301,N/A") != std::string::npos || streams.find("0x301,0\n") != std::string::npos)
        << streams;
    EXPECT_EQ(cleantest::DecodeErrors(out.Name()), "");
}

TEST(LowLevelFix, GarbageInsidePacketsAndMissingBytesLeaveOnlyWellFramedPackets) {
    TsStream ts = TwoStreams(30);
    const size_t n = ts.PacketCount();
    const Bytes clean = ts.Render();
    const auto original = Packets(clean);
    // Garbage in the middle of packet 10, 23 bytes missing from packet 30,
    // and leading garbage.
    Bytes damaged(Garbage(50, 7));
    for (size_t i = 0; i < n; ++i) {
        const Bytes& p = original[i];
        if (i == 10) {
            damaged.insert(damaged.end(), p.begin(), p.begin() + 90);
            const Bytes g = Garbage(77, 3);
            damaged.insert(damaged.end(), g.begin(), g.end());
            damaged.insert(damaged.end(), p.begin() + 90, p.end());
        } else if (i == 30) {
            damaged.insert(damaged.end(), p.begin(), p.end() - 23);
        } else {
            damaged.insert(damaged.end(), p.begin(), p.end());
        }
    }
    TempFile in, out;
    in.Write(damaged);
    TTSPacketReader reader(nullptr);
    TLowLevelFix fix(reader);
    std::vector<std::string> log;
    fix.OnLog = [&](const std::string& l) { log.push_back(l); };
    const auto res = fix.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok) << res.Error;
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "Cutting 50 bytes at the start");

    const Bytes written = out.Read();
    ASSERT_EQ(written.size() % 188, 0u);
    const auto outPackets = Packets(written);
    for (const Bytes& p : outPackets) ASSERT_EQ(p[0], 0x47);
    // Every sound packet is kept, in order.
    size_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i == 10 || i == 30) continue;
        while (at < outPackets.size() && outPackets[at] != original[i]) ++at;
        ASSERT_LT(at, outPackets.size()) << "packet " << i << " lost";
    }
    EXPECT_EQ(res.Written, static_cast<int64_t>(outPackets.size()));
    // None twice: the packets behind the damage are found once, and the two
    // damaged ones keep their headers, so all n are there.
    for (size_t i = 0; i < n; ++i)
        EXPECT_LE(std::count(outPackets.begin(), outPackets.end(), original[i]), 1) << "packet " << i;
    EXPECT_EQ(outPackets.size(), n);
    EXPECT_EQ(log[log.size() - 2], std::to_string(res.Skipped) + " packets skipped");
    EXPECT_EQ(res.Skipped, 0);
}

TEST(LowLevelFix, SoundRecordingIsCopiedWholeAndTheInputIsNeverTheOutput) {
    TsStream ts = TwoStreams(10);
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TLowLevelFix fix(reader);
    std::vector<std::string> log;
    fix.OnLog = [&](const std::string& l) { log.push_back(l); };
    auto res = fix.Run(in.Name(), out.Name(), {});
    ASSERT_TRUE(res.Ok);
    EXPECT_EQ(res.Skipped, 0);
    EXPECT_EQ(out.Read(), in.Read());
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "0 packets skipped");
    EXPECT_EQ(log[1], std::to_string(ts.PacketCount()) + " packets written incl. 0 invalid packets");

    const Bytes before = in.Read();
    res = fix.Run(in.Name(), in.Name(), {});
    EXPECT_FALSE(res.Ok);
    EXPECT_EQ(in.Read(), before);
    EXPECT_EQ(ToolOutputName("C:\\rec\\a.b.ts", "_lowLevelFixed"), "C:\\rec\\a.b_lowLevelFixed.ts");
}

// The log goes under the proposed name with ".log" once the copy is made,
// whatever name the user chose: an output by that name (in any spelling)
// would be overwritten by its own log and is refused in the cleaning pass's
// words. For a recording named "*.log" that is the proposal itself.
TEST(LowLevelFix, AnOutputTheLogWouldOverwriteIsRefused) {
    const std::string in = "/rec/film.ts";
    EXPECT_EQ(LowLevelOutputName(in), "/rec/film_lowLevelFixed.ts");
    EXPECT_EQ(LowLevelLogName(in), "/rec/film_lowLevelFixed.log");
    EXPECT_EQ(CheckLowLevelOutput(in, "/rec/film_lowLevelFixed.log", false),
              "The log beside the new file (film_lowLevelFixed.log) would replace it or the recording!\r"
              "Please choose another name.");
    EXPECT_EQ(CheckLowLevelOutput(in, "/rec/sub/../FILM_lowLevelFixed.LOG", true),
              "Das Log neben der neuen Datei (film_lowLevelFixed.log) w\xC3\xBCrde sie oder die Aufnahme ersetzen!\r"
              "Bitte anderen Namen w\xC3\xA4hlen.");
    for (const char* fine : {"/rec/film_lowLevelFixed.ts", "/rec/film.log", "/rec/other/film_lowLevelFixed.log"})
        EXPECT_EQ(CheckLowLevelOutput(in, fine, false), "") << fine;
    EXPECT_EQ(LowLevelOutputName("/rec/notes.log"), "/rec/notes_lowLevelFixed.log");
    EXPECT_NE(CheckLowLevelOutput("/rec/notes.log", LowLevelOutputName("/rec/notes.log"), false), "");
}

// A recording that cannot be read to its end makes no finished copy: the
// packet filter and the low-level fix fail with the recording's name and
// the reason (a failing medium, or a file cut short while it was read),
// never as done and never blaming their output.
TEST(CopyTools, ARecordingThatFailsMidwayFailsTheCopy) {
    TsStream ts = TwoStreams(3000);
    TempFile in, out;
    ts.Save(in.Name());
    const int64_t failAt = static_cast<int64_t>(ts.PacketCount()) * 188 / 2 + 50;
    for (const std::string& reason : {std::string("The device is not ready."), std::string()}) {
        const std::string why = reason.empty() ? "shorter than when it was opened" : reason;
        {
            TTSPacketReader reader(nullptr);
            FailInputAt(reader, failAt, reason);
            TPacketFilter filter(reader);
            const auto res = filter.Run(in.Name(), out.Name(), {});
            EXPECT_FALSE(res.Ok);
            EXPECT_EQ(res.Error.rfind("Reading " + in.Name() + " failed: ", 0), 0u) << res.Error;
            EXPECT_NE(res.Error.find(why), std::string::npos) << res.Error;
            EXPECT_EQ(res.Error.find(out.Name()), std::string::npos) << res.Error;
            EXPECT_LT(res.Written * 188, static_cast<int64_t>(ts.PacketCount()) * 188 / 2 + 188);
        }
        {
            TTSPacketReader reader(nullptr);
            FailInputAt(reader, failAt, reason);
            TLowLevelFix fix(reader);
            const auto res = fix.Run(in.Name(), out.Name(), {});
            EXPECT_FALSE(res.Ok);
            EXPECT_EQ(res.Error.rfind("Reading " + in.Name() + " failed: ", 0), 0u) << res.Error;
            EXPECT_NE(res.Error.find(why), std::string::npos) << res.Error;
        }
    }
}
