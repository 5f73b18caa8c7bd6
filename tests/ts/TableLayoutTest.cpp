// PAT and PMT sections laid out in their packets in the other ways the
// standard allows: after an adaptation field, over packets of which some
// carry an adaptation field or nothing else, a new section starting in the
// packet that ends the one before, several sections back to back in one
// packet; and the layouts no packet may have, which must read nothing past
// the packet's end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"
#include "ts/dvb_crc32.h"

using namespace tw;
using namespace tw::test;

namespace {

constexpr int kNoAdaptation = -1;
constexpr int kAdaptationOnly = -2;

// A packet of `pid`: the header, an adaptation field of `af` bytes after its
// length byte (flags 0, then stuffing) when af >= 0, an adaptation field
// alone (length 183) for kAdaptationOnly, then `payload`; the rest is 0xFF.
TTSPacketBuffer Packet(int pid, bool start, int cc, int af, const Bytes& payload) {
    TTSPacketBuffer b;
    b.Length = 188;
    std::memset(b.Data, 0xFF, sizeof b.Data);
    b.Data[0] = 0x47;
    b.Data[1] = static_cast<uint8_t>((start ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    b.Data[2] = static_cast<uint8_t>(pid);
    const int afc = af == kNoAdaptation ? 1 : (af == kAdaptationOnly ? 2 : 3);
    b.Data[3] = static_cast<uint8_t>((afc << 4) | (cc & 15));
    int at = 4;
    if (af != kNoAdaptation) {
        const int length = af == kAdaptationOnly ? 183 : af;
        b.Data[at++] = static_cast<uint8_t>(length);
        if (length > 0) b.Data[at] = 0x00;
        at += length;
    }
    EXPECT_LE(at + static_cast<int>(payload.size()), 188);
    if (af != kAdaptationOnly) std::memcpy(b.Data + at, payload.data(), payload.size());
    return b;
}

// The bytes of a payload unit (pointer_field first) spread over packets of
// `pid`, the k-th packet with the adaptation field plan[k] (the last entry
// for any after it); the first packet has the start flag.
std::vector<TTSPacketBuffer> Spread(int pid, const Bytes& unit, const std::vector<int>& plan) {
    std::vector<TTSPacketBuffer> out;
    size_t at = 0;
    for (int k = 0; at < unit.size(); ++k) {
        const int af = plan[std::min(static_cast<size_t>(k), plan.size() - 1)];
        const size_t room = af == kAdaptationOnly ? 0 : (af == kNoAdaptation ? 184 : static_cast<size_t>(183 - af));
        const size_t n = std::min(room, unit.size() - at);
        out.push_back(Packet(pid, k == 0, k, af, Bytes(unit.begin() + static_cast<long>(at),
                                                       unit.begin() + static_cast<long>(at + n))));
        at += n;
    }
    return out;
}

Bytes WithCrc(Bytes section) {
    section.resize(section.size() - 4);
    const uint32_t crc = Crc32Mpeg(section.data(), 0xFFFFFFFFu, static_cast<int64_t>(section.size()));
    for (int k = 3; k >= 0; --k) section.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    return section;
}

uint32_t CrcOf(const Bytes& section) {
    const size_t n = section.size();
    return (static_cast<uint32_t>(section[n - 4]) << 24) | (static_cast<uint32_t>(section[n - 3]) << 16) |
           (static_cast<uint32_t>(section[n - 2]) << 8) | section[n - 1];
}

struct PatSeen {
    std::vector<int> programs;
    std::vector<uint32_t> crcs;
    std::vector<std::string> errors;
    void Attach(TTSPatReader& r) {
        // The table's programs as the last section leaves them (a table of
        // several sections keeps those of each), in program order.
        r.OnPatReceived = [this, &r](TObject*) {
            crcs.push_back(r.CRC32());
            programs.clear();
            for (int k = 0; k < r.PATEntryCount(); ++k) programs.push_back(r.Entry(k).ProgramNumber);
            std::sort(programs.begin(), programs.end());
        };
        r.OnInvalidPat = [this](TObject*, const std::string& e, int, int64_t) { errors.push_back(e); };
    }
};

// What a PMT reader told at each table it read.
struct PmtSeen {
    struct Table {
        int program, version, entries, packets;
        int64_t index;
        uint32_t crc;
    };
    std::vector<Table> tables;
    int errors = 0;
    void Attach(TTSPmtReader& r) {
        r.OnPmtReceived = [this, &r](TObject*) {
            tables.push_back({r.ProgramNumber(), r.VersionNumber(), r.PMTEntryCount(), r.PMTPacketCount(),
                              r.PacketIndex(), r.CRC32()});
        };
        r.OnPmtErrorReceived = [this](TObject*) { ++errors; };
    }
};

std::vector<PmtStream> Streams(int n, int firstPid = 0x200) {
    std::vector<PmtStream> s;
    for (int i = 0; i < n; ++i) s.push_back({4, firstPid + i, LanguageDescriptor("deu")});
    return s;
}

// A payload unit: the pointer_field, the tail of an earlier section, then
// the sections that start in it.
Bytes Unit(int pointer, const Bytes& tail, std::initializer_list<Bytes> sections) {
    Bytes u(1, static_cast<uint8_t>(pointer));
    for (uint8_t c : tail) u.push_back(c);
    for (const Bytes& s : sections)
        for (uint8_t c : s) u.push_back(c);
    return u;
}

} // namespace

TEST(TableLayout, APatAfterAnAdaptationFieldIsReadAsAtTheFront) {
    const Bytes section = PatSection(0x77, 5, {{1, 0x100}, {2, 0x200}});
    TTSPatReader plain(nullptr);
    plain.ProcessPacket(Packet(0, true, 3, kNoAdaptation, Unit(0, {}, {section})), 0);
    ASSERT_EQ(plain.PATEntryCount(), 2);
    plain.BuildPatPacket();
    const int most = 183 - 1 - static_cast<int>(section.size());
    struct Layout {
        int af, pointer;
    };
    for (const Layout l : {Layout{0, 0}, Layout{1, 0}, Layout{7, 0}, Layout{40, 3}, Layout{most, 0}}) {
        SCOPED_TRACE("adaptation field " + std::to_string(l.af) + ", pointer " + std::to_string(l.pointer));
        TTSPatReader pat(nullptr);
        PatSeen seen;
        seen.Attach(pat);
        pat.ProcessPacket(Packet(0, true, 3, l.af, Unit(l.pointer, Bytes(static_cast<size_t>(l.pointer), 0xA5),
                                                        {section})),
                          9);
        EXPECT_TRUE(seen.errors.empty()) << seen.errors.front();
        ASSERT_EQ(seen.crcs.size(), 1u);
        EXPECT_EQ(pat.CRC32(), CrcOf(section));
        EXPECT_EQ(pat.TransportStreamID(), 0x77);
        ASSERT_EQ(pat.PATEntryCount(), 2);
        EXPECT_EQ(pat.Entry(1).PID, 0x200);
        EXPECT_EQ(pat.PacketIndex(), 9);
        // The copy is written as ever: no adaptation field, pointer_field 0.
        pat.BuildPatPacket();
        EXPECT_EQ(0, std::memcmp(pat.OutputPacket().Data, plain.OutputPacket().Data, 188));
    }

    // An adaptation field alone carries no table, and is no broken one.
    TTSPatReader pat(nullptr);
    PatSeen seen;
    seen.Attach(pat);
    pat.ProcessPacket(Packet(0, false, 4, kAdaptationOnly, {}), 1);
    EXPECT_TRUE(seen.errors.empty());
    // An adaptation field that fills the packet or claims more than it has,
    // and a pointer_field after it that leads past the end: no section,
    // whatever the bytes after the packet hold.
    auto bad = Packet(0, true, 5, 7, Unit(0, {}, {section}));
    std::memcpy(bad.Data + 188, bad.Data + 12, 60);
    bad.Data[4] = 183;
    pat.ProcessPacket(bad, 2);
    bad.Data[4] = 200;
    pat.ProcessPacket(bad, 3);
    bad.Data[4] = 7;
    bad.Data[12] = static_cast<uint8_t>(188 - 13);
    pat.ProcessPacket(bad, 4);
    EXPECT_EQ(seen.errors, std::vector<std::string>(3, "Section Sync Indicator"));
    EXPECT_TRUE(seen.crcs.empty());
    EXPECT_EQ(pat.PATEntryCount(), 0);
}

TEST(TableLayout, EverySectionOfAPatPacketIsRead) {
    // A table sent in two sections, back to back: the programs of both.
    Bytes first = PatSection(1, 0, {{1, 0x100}, {2, 0x200}});
    Bytes second = PatSection(1, 0, {{3, 0x300}});
    first[7] = 1;
    second[6] = 1;
    second[7] = 1;
    first = WithCrc(first);
    second = WithCrc(second);
    TTSPatReader pat(nullptr);
    PatSeen seen;
    seen.Attach(pat);
    pat.ProcessPacket(Packet(0, true, 0, kNoAdaptation, Unit(0, {}, {first, second})), 0);
    EXPECT_TRUE(seen.errors.empty());
    EXPECT_EQ(seen.programs, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(seen.crcs, (std::vector<uint32_t>{CrcOf(first), CrcOf(second)}));
    EXPECT_EQ(pat.SectionNumber(), 1);

    // After an adaptation field too; zeros after the last section are no
    // section and no error.
    seen = PatSeen();
    seen.Attach(pat);
    pat.ProcessPacket(Packet(0, true, 1, 20, Unit(0, {}, {first, second, Bytes(30, 0x00)})), 1);
    EXPECT_TRUE(seen.errors.empty());
    EXPECT_EQ(seen.programs, (std::vector<int>{1, 2, 3}));

    // A second section the packet's end cuts off is reported, and the
    // first is read as the table's (whose other section came before).
    seen = PatSeen();
    seen.Attach(pat);
    const int room = 183 - static_cast<int>(first.size());
    Bytes cut = PatSection(1, 0, {{4, 0x400}});
    cut[2] = static_cast<uint8_t>(room + 4);
    cut.resize(static_cast<size_t>(room), 0x5A);
    auto packet = Packet(0, true, 2, kNoAdaptation, Unit(0, {}, {first, cut}));
    std::memset(packet.Data + 188, 0x00, sizeof packet.Data - 188);
    pat.ProcessPacket(packet, 2);
    EXPECT_EQ(seen.crcs, std::vector<uint32_t>{CrcOf(first)});
    EXPECT_EQ(seen.programs, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(seen.errors, std::vector<std::string>{"PAT too big (" + std::to_string(room + 4) + ")"});
}

TEST(TableLayout, APmtWithAdaptationFieldsInItsPacketsIsReadWhole) {
    const Bytes small = PmtSection(1, 0, 0x200, {}, {{2, 0x200, {}}, {4, 0x201, LanguageDescriptor("deu")}});
    const Bytes big = PmtSection(7, 2, 0x200, {}, Streams(40));
    ASSERT_GT(big.size(), 2u * 184);
    TTSPmtReader plain(nullptr);
    for (const auto& p : Spread(0x100, Unit(0, {}, {big}), {kNoAdaptation})) plain.ProcessPacket(p, 0);
    ASSERT_EQ(plain.PMTEntryCount(), 40);
    ASSERT_TRUE(plain.BuildPmtPackets());

    // One packet, its table after stuffing in the adaptation field, as some
    // muxers write it.
    {
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        pmt.ProcessPacket(Packet(0x100, true, 0, 100, Unit(0, {}, {small})), 4);
        ASSERT_EQ(seen.tables.size(), 1u);
        EXPECT_EQ(seen.tables[0].crc, CrcOf(small));
        ASSERT_EQ(pmt.PMTEntryCount(), 2);
        EXPECT_EQ(pmt.Entry(1).PID, 0x201);
        EXPECT_EQ(pmt.Entry(1).Language, "deu");
    }
    // Over packets of which the first and a later one carry an adaptation
    // field and one carries nothing else.
    struct Plan {
        const char* what;
        std::vector<int> afs;
    };
    for (const Plan& plan : {Plan{"first", {20, kNoAdaptation}}, Plan{"middle", {kNoAdaptation, 30, kNoAdaptation}},
                             Plan{"alone", {kNoAdaptation, kAdaptationOnly, kNoAdaptation}},
                             Plan{"all", {8, kAdaptationOnly, 0, 150, 1}}}) {
        SCOPED_TRACE(plan.what);
        const auto packets = Spread(0x100, Unit(0, {}, {big}), plan.afs);
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        for (size_t k = 0; k < packets.size(); ++k) pmt.ProcessPacket(packets[k], static_cast<int64_t>(10 + k));
        EXPECT_EQ(seen.errors, 0);
        ASSERT_EQ(seen.tables.size(), 1u);
        EXPECT_EQ(seen.tables[0].crc, CrcOf(big));
        EXPECT_EQ(seen.tables[0].index, 10);
        // Every packet of the PID the table spans is counted, so that the
        // table can be read again from its first packet.
        EXPECT_EQ(seen.tables[0].packets, static_cast<int>(packets.size()));
        ASSERT_EQ(pmt.PMTEntryCount(), 40);
        EXPECT_EQ(pmt.Entry(39).PID, 0x200 + 39);
        ASSERT_TRUE(pmt.BuildPmtPackets());
        ASSERT_EQ(pmt.OutputPacketCount(), plain.OutputPacketCount());
        for (int k = 0; k < pmt.OutputPacketCount(); ++k)
            EXPECT_EQ(0, std::memcmp(pmt.OutputPacket(k).Data, plain.OutputPacket(k).Data, 188)) << k;
    }
}

TEST(TableLayout, ASectionThatStartsWhereTheOneBeforeEndsIsReadAndSoIsThatOne) {
    const Bytes a = PmtSection(1, 0, 0x200, {}, Streams(20));
    const Bytes b = PmtSection(1, 1, 0x200, {}, Streams(2));
    const Bytes c = PmtSection(2, 0, 0x300, {}, {{2, 0x300, {}}});
    ASSERT_GT(a.size(), 183u);
    const Bytes head(a.begin(), a.begin() + 183);
    const Bytes tail(a.begin() + 183, a.end());

    // The next packet of the PID holds the tail, then a new table and
    // another program's table after it.
    {
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        pmt.ProcessPacket(Packet(0x100, true, 0, kNoAdaptation, Unit(0, {}, {head})), 0);
        pmt.ProcessPacket(Packet(0x100, true, 1, kNoAdaptation,
                                 Unit(static_cast<int>(tail.size()), tail, {b, c})),
                          1);
        EXPECT_EQ(seen.errors, 0);
        ASSERT_EQ(seen.tables.size(), 3u);
        EXPECT_EQ(seen.tables[0].crc, CrcOf(a));
        EXPECT_EQ(seen.tables[0].entries, 20);
        EXPECT_EQ(seen.tables[0].packets, 2);
        EXPECT_EQ(seen.tables[0].index, 0);
        EXPECT_EQ(seen.tables[1].crc, CrcOf(b));
        EXPECT_EQ(seen.tables[1].version, 1);
        EXPECT_EQ(seen.tables[1].index, 1);
        EXPECT_EQ(seen.tables[2].crc, CrcOf(c));
        EXPECT_EQ(seen.tables[2].program, 2);
        EXPECT_EQ(pmt.ProgramNumber(), 2);
    }
    // The new table runs on into the next packet, which has an adaptation
    // field; the packet with the tail has one too.
    {
        const Bytes next = PmtSection(1, 1, 0x200, {}, Streams(20, 0x400));
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        pmt.ProcessPacket(Packet(0x100, true, 0, kNoAdaptation, Unit(0, {}, {head})), 0);
        const Bytes second = Unit(static_cast<int>(tail.size()), tail, {next});
        const size_t room = 183 - 12;
        pmt.ProcessPacket(Packet(0x100, true, 1, 12, Bytes(second.begin(), second.begin() + room)), 1);
        pmt.ProcessPacket(Packet(0x100, false, 2, 40, Bytes(second.begin() + room, second.end())), 2);
        EXPECT_EQ(seen.errors, 0);
        ASSERT_EQ(seen.tables.size(), 2u);
        EXPECT_EQ(seen.tables[0].crc, CrcOf(a));
        EXPECT_EQ(seen.tables[1].crc, CrcOf(next));
        EXPECT_EQ(seen.tables[1].index, 1);
        EXPECT_EQ(seen.tables[1].packets, 2);
        EXPECT_EQ(pmt.Entry(19).PID, 0x400 + 19);
    }
    // A new section that starts before the one being collected is complete
    // cuts that one short: it is reported broken, the new one is read.
    {
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        pmt.ProcessPacket(Packet(0x100, true, 0, kNoAdaptation, Unit(0, {}, {head})), 0);
        pmt.ProcessPacket(Packet(0x100, true, 1, kNoAdaptation, Unit(10, Bytes(tail.begin(), tail.begin() + 10), {b})),
                          1);
        EXPECT_EQ(seen.errors, 1);
        ASSERT_EQ(seen.tables.size(), 1u);
        EXPECT_EQ(seen.tables[0].crc, CrcOf(b));
    }
}

TEST(TableLayout, APmtAfterAnotherTablesSectionInItsPacketIsRead) {
    // A private section (table_id $80, 10 bytes of data) on the PMT's PID,
    // then the table; and two programs' tables on one PID.
    const Bytes priv = {0x80, 0x70, 0x0A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const Bytes one = PmtSection(1, 0, 0x200, {}, {{2, 0x200, {}}});
    const Bytes two = PmtSection(2, 0, 0x300, {}, {{2, 0x300, {}}, {3, 0x301, {}}});
    for (int af : {kNoAdaptation, 9}) {
        SCOPED_TRACE(af);
        TTSPmtReader pmt(nullptr);
        PmtSeen seen;
        seen.Attach(pmt);
        pmt.ProcessPacket(Packet(0x100, true, 0, af, Unit(0, {}, {priv, one})), 0);
        pmt.ProcessPacket(Packet(0x100, true, 1, af, Unit(0, {}, {one, two})), 1);
        pmt.ProcessPacket(Packet(0x100, true, 2, af, Unit(0, {}, {two, priv})), 2);
        EXPECT_EQ(seen.errors, 0);
        ASSERT_EQ(seen.tables.size(), 4u);
        EXPECT_EQ(seen.tables[0].program, 1);
        EXPECT_EQ(seen.tables[1].program, 1);
        EXPECT_EQ(seen.tables[2].program, 2);
        EXPECT_EQ(seen.tables[2].entries, 2);
        EXPECT_EQ(seen.tables[3].program, 2);
        // The other table's section after it does not take it away.
        EXPECT_EQ(pmt.ProgramNumber(), 2);
        EXPECT_EQ(pmt.PMTEntryCount(), 2);
    }
}

TEST(TableLayout, PmtLayoutsNoPacketMayHaveReadNothingPastThePacket) {
    const Bytes a = PmtSection(1, 0, 0x200, {}, Streams(20));
    const Bytes head(a.begin(), a.begin() + 183);
    const Bytes tail(a.begin() + 183, a.end());
    TTSPmtReader pmt(nullptr);
    PmtSeen seen;
    seen.Attach(pmt);

    // The rest of a section in the buffer after the packet's 188 bytes.
    auto first = Packet(0x100, true, 0, kNoAdaptation, Unit(0, {}, {head}));
    first.Length = sizeof first.Data;
    std::memcpy(first.Data + 188, tail.data(), tail.size());
    pmt.ProcessPacket(first, 0);
    EXPECT_TRUE(seen.tables.empty());
    EXPECT_TRUE(pmt.SectionContinues());

    // A pointer_field past the packet's end in the packet that should
    // hold the tail: the section is broken, and no new one starts.
    auto second = Packet(0x100, true, 1, kNoAdaptation, Unit(0xF0, tail, {}));
    pmt.ProcessPacket(second, 1);
    EXPECT_EQ(seen.errors, 1);
    EXPECT_FALSE(pmt.SectionContinues());
    EXPECT_EQ(pmt.PMTEntryCount(), 0);

    // An adaptation field that claims more than the packet: no payload, in
    // a first packet or a later one.
    auto bad = Packet(0x100, true, 2, 7, Unit(0, {}, {Bytes(head.begin(), head.begin() + 100)}));
    bad.Data[4] = 190;
    pmt.ProcessPacket(bad, 2);
    EXPECT_FALSE(pmt.SectionContinues());
    pmt.ProcessPacket(Packet(0x100, true, 3, kNoAdaptation, Unit(0, {}, {head})), 3);
    auto later = Packet(0x100, false, 4, 3, tail);
    later.Data[4] = 184;
    pmt.ProcessPacket(later, 4);
    EXPECT_TRUE(pmt.SectionContinues());
    pmt.ProcessPacket(Packet(0x100, false, 5, kNoAdaptation, tail), 5);
    EXPECT_EQ(seen.errors, 1);
    ASSERT_EQ(seen.tables.size(), 1u);
    EXPECT_EQ(seen.tables[0].crc, CrcOf(a));

    // A section_length past what the reader holds: dropped, the table
    // after it read.
    Bytes huge = PmtSection(1, 0, 0x200, {}, Streams(10));
    huge[1] = 0xBF;
    huge[2] = 0xFF;
    std::vector<TTSPacketBuffer> packets = Spread(0x100, Unit(0, {}, {huge}), {kNoAdaptation});
    for (int k = 0; k < 12; ++k) packets.push_back(Packet(0x100, false, k, kNoAdaptation, Bytes(184, 0x5A)));
    for (const auto& p : packets) pmt.ProcessPacket(p, 6);
    pmt.ProcessPacket(Packet(0x100, true, 0, kNoAdaptation, Unit(0, {}, {head})), 7);
    pmt.ProcessPacket(Packet(0x100, false, 1, kNoAdaptation, tail), 8);
    EXPECT_EQ(seen.errors, 1);
    ASSERT_EQ(seen.tables.size(), 2u);
    EXPECT_EQ(seen.tables[1].index, 7);
}
