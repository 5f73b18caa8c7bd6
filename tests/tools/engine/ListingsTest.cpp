// The packet protocol's columns for known packets and the duplicate finder on
// recordings with duplicated packets made here, including different packets
// that share a CRC, a table tag or the key of an earlier finder (they must
// not be reported).
#include <gtest/gtest.h>

#include <cstring>
#include <unordered_map>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/CollidingPackets.h"
#include "tests/support/FailingInput.h"
#include "tests/support/TsBuilder.h"
#include "tools/engine/PacketListings.h"
#include "ts/TSPacketReader.h"
#include "ts/dvb_crc32.h"

using namespace tw;
using namespace tw::test;

namespace {

std::string ReadText(const std::string& name) {
    const Bytes b = [&] {
        TFileStream f(name, fmOpenRead);
        Bytes d(static_cast<size_t>(f.Size()));
        if (!d.empty()) f.ReadBuffer(d.data(), static_cast<int64_t>(d.size()));
        return d;
    }();
    return std::string(b.begin(), b.end());
}

Bytes Filler(int pid, int cc, uint8_t fill) {
    TsPacketOptions o;
    o.pid = pid;
    o.cc = cc;
    o.payload.assign(184, fill);
    return MakePacket(o);
}

// A packet whose last four bytes are the CRC of the rest: the CRC over all
// 188 bytes is then 0, whatever the rest holds, so two such packets collide.
Bytes CrcZeroPacket(int pid, uint8_t fill) {
    Bytes p = Filler(pid, 0, fill);
    const uint32_t crc = Crc32Mpeg(p.data(), 0xFFFFFFFFu, 184);
    p[184] = static_cast<uint8_t>(crc >> 24);
    p[185] = static_cast<uint8_t>(crc >> 16);
    p[186] = static_cast<uint8_t>(crc >> 8);
    p[187] = static_cast<uint8_t>(crc);
    return p;
}

// The duplicate groups of a PID in a recording, hashed under a key of the
// test's choosing when it gives one.
std::vector<TDuplicateGroup> GroupsOf(const TsStream& ts, int pid, const TKeyedHash* key = nullptr) {
    TempFile in;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TDuplicateFinder finder(reader);
    if (key) finder.SetHashKey(*key);
    std::string error;
    EXPECT_TRUE(finder.Run(in.Name(), pid, error)) << error;
    return finder.Groups();
}

} // namespace

TEST(PacketProtocol, HeaderLinesAndFixedColumnsPerPacket) {
    TsStream ts;
    TsPacketOptions a;
    a.pid = 0x11;
    a.cc = 5;
    a.payloadStart = true;
    a.payload.assign(184, 1);
    ts.Add(a, false);
    TsPacketOptions b;
    b.pid = 0x1FFF;
    b.cc = 0xC;
    b.priority = true;
    b.transportError = true;
    b.scrambling = 3;
    b.adaptation = true;
    b.payload.assign(100, 2);
    ts.Add(b, false);
    // In the two packets above the flag pairs V and PS, E and P agree; these
    // part them, so a column that shows its neighbour's flag is seen.
    TsPacketOptions c;
    c.pid = 0x100;
    c.cc = 7;
    c.priority = true;
    c.payload.assign(184, 3);
    ts.Add(c, false);
    TsPacketOptions d;
    d.pid = 0x200;
    d.cc = 0xA;
    d.transportError = true;
    d.payloadStart = true;
    d.scrambling = 1;
    d.adaptation = true;
    d.afc = 2;
    ts.Add(d, false);
    TsPacketOptions e;
    e.pid = 0x300;
    e.afc = 0;
    e.payloadStart = true;
    e.priority = true;
    ts.Add(e, false);
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    std::string error;
    ASSERT_TRUE(WritePacketProtocol(reader, in.Name(), out.Name(), error)) << error;
    const auto crc = [&](size_t i) { return Crc32Mpeg(ts.Packet(i).data(), 0xFFFFFFFFu, 188); };
    const std::string expect =
        "V=Valid,C=ContinuityCounter,E=Transport Error,P=Transport Priority,S=TransportScramblingControl,"
        "PS=PayloadStart,AFC=AdaptationFieldControl\r\n \r\nPacket   PID  CRC32    V C E P S PS AFC\r\n"
        "00000000 0011 " + IntToHex(crc(0), 8) + " Y 5 N N 0 Y  NO \r\n"
        "00000001 1FFF " + IntToHex(crc(1), 8) + " N C Y Y 3 N  AFP\r\n"
        "00000002 0100 " + IntToHex(crc(2), 8) + " Y 7 N Y 0 N  NO \r\n"
        "00000003 0200 " + IntToHex(crc(3), 8) + " N A Y N 1 Y  AON\r\n"
        "00000004 0300 " + IntToHex(crc(4), 8) + " N 0 N Y 0 Y  RES\r\n";
    EXPECT_EQ(ReadText(out.Name()), expect);
    EXPECT_FALSE(reader.Active());
}

TEST(DuplicateFinder, RepeatsOfOnePidInOneLineInFileOrder) {
    TsStream ts;
    for (int i = 0; i < 40; ++i) ts.AddRaw(Filler(i % 2 ? 0x100 : 0x200, i & 15, static_cast<uint8_t>(i)));
    const Bytes dup = Filler(0x100, 3, 0xAB);
    for (size_t i : {10u, 20u, 30u}) ts.Packet(i) = dup;
    ts.Packet(12) = Filler(0x100, 4, 0xCD);
    ts.Packet(33) = Filler(0x100, 4, 0xCD);
    ts.Packet(25) = Filler(0x200, 3, 0xAB); // same content on another PID: not ours
    TempFile in, out;
    ts.Save(in.Name());
    TTSPacketReader reader(nullptr);
    TDuplicateFinder finder(reader);
    std::string error;
    ASSERT_TRUE(finder.WriteListing(in.Name(), 0x100, out.Name(), error)) << error;
    EXPECT_EQ(ReadText(out.Name()),
              "Packets: 40\r\nPID: $0100\r\n \r\n"
              "Dupplicate packet: $0000000A > $00000014, $0000001E, \r\n"
              "Dupplicate packet: $0000000C > $00000021, \r\n");

    ASSERT_TRUE(finder.WriteListing(in.Name(), 0x1234, out.Name(), error));
    EXPECT_EQ(ReadText(out.Name()), "Packets: 40\r\nPID: $1234\r\n \r\n");
}

TEST(DuplicateFinder, EqualCrcButDifferentBytesIsNoDuplicate) {
    TsStream ts;
    const Bytes x = CrcZeroPacket(0x100, 1), y = CrcZeroPacket(0x100, 2);
    ASSERT_NE(x, y);
    ts.AddRaw(x);
    ts.AddRaw(y);
    ts.AddRaw(y);
    ts.AddRaw(x);
    const auto groups = GroupsOf(ts, 0x100);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].First, 0);
    EXPECT_EQ(groups[0].Repeats, std::vector<int64_t>{3});
    EXPECT_EQ(groups[1].First, 1);
    EXPECT_EQ(groups[1].Repeats, std::vector<int64_t>{2});
}

// Two different packets whose hashes share the table's tag (found by trying
// payloads under a known key until two tags meet) are told apart by the rest
// of their hashes.
TEST(DuplicateFinder, EqualTagButDifferentPacketsIsNoDuplicate) {
    const TKeyedHash key(0x0123456789ABCDEFull, 0xFEDCBA9876543210ull);
    Bytes x = Filler(0x100, 5, 0x33), y;
    std::unordered_map<uint32_t, uint32_t> seen;
    for (uint32_t k = 0; k < 4000000 && y.empty(); ++k) {
        std::memcpy(x.data() + 100, &k, 4);
        const auto [at, added] = seen.emplace(DuplicateTag(key(x.data(), 188)), k);
        if (!added) {
            y = x;
            std::memcpy(x.data() + 100, &at->second, 4);
        }
    }
    ASSERT_FALSE(y.empty()) << "no two payloads share a tag";
    ASSERT_NE(x, y);
    ASSERT_EQ(DuplicateTag(key(x.data(), 188)), DuplicateTag(key(y.data(), 188)));
    TsStream ts;
    for (const Bytes* p : {&x, &y, &y, &x, &y}) ts.AddRaw(*p);
    const auto groups = GroupsOf(ts, 0x100, &key);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].First, 0);
    EXPECT_EQ(groups[0].Repeats, std::vector<int64_t>{3});
    EXPECT_EQ(groups[1].First, 1);
    EXPECT_EQ(groups[1].Repeats, (std::vector<int64_t>{2, 4}));
}

// Hundreds of different packets made to share the key an earlier finder
// filed packets under, among ordinary packets and repeats of both kinds: the
// groups are those a plain byte-for-byte comparison of every pair gives.
TEST(DuplicateFinder, PacketsCraftedToShareAKeyGiveTheGroupsOfAByteCompare) {
    constexpr int kPid = 0x100;
    constexpr uint32_t kCrafted = 300;
    const uint64_t former = FormerKeySum(CollidingPacket(kPid, 0).data());
    TsStream ts;
    uint32_t seed = 7, crafted = 0;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    while (crafted < kCrafted) {
        const uint32_t r = next() >> 24;
        if (r < 100) {
            const Bytes p = CollidingPacket(kPid, crafted++);
            ASSERT_EQ(FormerKeySum(p.data()), former);
            ts.AddRaw(p);
        } else if (r < 130 && crafted > 0) {
            ts.AddRaw(CollidingPacket(kPid, next() % crafted)); // a repeat of a crafted packet
        } else if (r < 200) {
            ts.AddRaw(Filler(kPid, static_cast<int>(r & 15), static_cast<uint8_t>(r % 40))); // repeats now and then
        } else {
            ts.AddRaw(Filler(0x200, static_cast<int>(r & 15), static_cast<uint8_t>(r)));
        }
    }
    // The expected groups: each packet of the PID not yet reported, with every
    // later packet of the same bytes.
    std::vector<TDuplicateGroup> expect;
    std::vector<bool> reported(ts.PacketCount(), false);
    for (size_t i = 0; i < ts.PacketCount(); ++i) {
        const Bytes& p = ts.Packet(i);
        if (reported[i] || (((p[1] & 0x1F) << 8) | p[2]) != kPid) continue;
        TDuplicateGroup g{static_cast<int64_t>(i), {}};
        for (size_t j = i + 1; j < ts.PacketCount(); ++j)
            if (!reported[j] && ts.Packet(j) == p) {
                reported[j] = true;
                g.Repeats.push_back(static_cast<int64_t>(j));
            }
        if (!g.Repeats.empty()) expect.push_back(std::move(g));
    }
    ASSERT_GT(expect.size(), 50u);
    const auto groups = GroupsOf(ts, kPid);
    ASSERT_EQ(groups.size(), expect.size());
    for (size_t i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i].First, expect[i].First) << i;
        EXPECT_EQ(groups[i].Repeats, expect[i].Repeats) << i;
    }
}

TEST(DuplicateFinder, ComparesThePacketsOf192ByteRecordings) {
    TsStream ts(192);
    for (int i = 0; i < 12; ++i) ts.AddRaw(Filler(0x100, i & 15, static_cast<uint8_t>(i)));
    ts.Packet(9) = ts.Packet(4);
    const auto groups = GroupsOf(ts, 0x100);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].First, 4);
    EXPECT_EQ(groups[0].Repeats, std::vector<int64_t>{9});
}

TEST(DuplicateFinder, FindsRepeatsBehindGarbageThatMovedThePacketGrid) {
    TsStream ts;
    for (int i = 0; i < 20; ++i) ts.AddRaw(Filler(0x100, i & 15, static_cast<uint8_t>(i)));
    ts.Packet(15) = ts.Packet(12); // both behind the garbage
    ts.Packet(17) = ts.Packet(3);  // one before, one behind
    ts.InsertGarbageBefore(8, Garbage(57, 9));
    const auto groups = GroupsOf(ts, 0x100);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].First, 3);
    EXPECT_EQ(groups[1].First, 12);
    ASSERT_EQ(groups[0].Repeats.size(), 1u);
    ASSERT_EQ(groups[1].Repeats.size(), 1u);
    // The grid moved by the garbage: the repeats keep their reader numbers.
    EXPECT_EQ(groups[1].Repeats[0] - groups[1].First, 3);
    EXPECT_EQ(groups[0].Repeats[0] - groups[1].Repeats[0], 2);
}

// A listing that stops where the recording could not be read is a failure
// with the recording's name and the reason, for the packet protocol and the
// duplicate finder alike.
TEST(PacketListings, ARecordingThatFailsMidwayFailsTheListing) {
    TsStream ts;
    for (int i = 0; i < 3000; ++i) ts.AddRaw(Filler(0x100, i & 15, static_cast<uint8_t>(i)));
    TempFile in, out(".txt");
    ts.Save(in.Name());
    const int64_t failAt = 1500 * 188 + 20;
    for (const std::string& reason : {std::string("The device is not ready."), std::string()}) {
        const std::string why = reason.empty() ? "shorter than when it was opened" : reason;
        TTSPacketReader reader(nullptr);
        FailInputAt(reader, failAt, reason);
        std::string error;
        EXPECT_FALSE(WritePacketProtocol(reader, in.Name(), out.Name(), error));
        EXPECT_EQ(error.rfind("Reading " + in.Name() + " failed: ", 0), 0u) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
        TDuplicateFinder finder(reader);
        error.clear();
        EXPECT_FALSE(finder.Run(in.Name(), 0x100, error));
        EXPECT_EQ(error.rfind("Reading " + in.Name() + " failed: ", 0), 0u) << error;
        EXPECT_NE(error.find(why), std::string::npos) << error;
    }
}
