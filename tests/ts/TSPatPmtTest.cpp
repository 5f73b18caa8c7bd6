// PAT and PMT readers fed through a packet reader (as in the program) and
// directly: parsing, CRC and length checks, change detection, descriptor
// decoding, builders and the dump texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"
#include "ts/dvb_crc32.h"
#include "base/SysUtils.h"

using namespace tw;
using namespace tw::test;

namespace {

TTSPacketBuffer ToBuffer(const Bytes& p) {
    TTSPacketBuffer b;
    b.Length = static_cast<int32_t>(p.size());
    std::memcpy(b.Data, p.data(), p.size());
    return b;
}

// The packets of one section on a PID.
std::vector<TTSPacketBuffer> SectionPackets(int pid, const Bytes& section) {
    TsStream s;
    s.AddSection(pid, section);
    std::vector<TTSPacketBuffer> out;
    for (size_t i = 0; i < s.PacketCount(); ++i) out.push_back(ToBuffer(s.Packet(i)));
    return out;
}

// The packets of one section on a PID that starts `pointer` bytes into the
// first payload, after the tail of an earlier section.
std::vector<TTSPacketBuffer> PacketsAfterPointer(int pid, const Bytes& section, int pointer) {
    Bytes payload{static_cast<uint8_t>(pointer)};
    payload.insert(payload.end(), static_cast<size_t>(pointer), 0xA5);
    payload.insert(payload.end(), section.begin(), section.end());
    std::vector<TTSPacketBuffer> out;
    for (size_t at = 0, cc = 0; at < payload.size(); at += 184, ++cc) {
        TTSPacketBuffer b;
        b.Length = 188;
        std::memset(b.Data, 0xFF, 188);
        b.Data[0] = 0x47;
        b.Data[1] = static_cast<uint8_t>((at == 0 ? 0x40 : 0) | ((pid >> 8) & 0x1F));
        b.Data[2] = static_cast<uint8_t>(pid);
        b.Data[3] = static_cast<uint8_t>(0x10 | (cc & 15));
        std::memcpy(b.Data + 4, payload.data() + at, std::min<size_t>(184, payload.size() - at));
        out.push_back(b);
    }
    return out;
}

struct PatEvents {
    int received = 0, changed = 0;
    std::vector<std::string> errors;
    void Attach(TTSPatReader& r) {
        r.OnPatReceived = [this](TObject*) { ++received; };
        r.OnPatChange = [this](TObject*) { ++changed; };
        r.OnInvalidPat = [this](TObject*, const std::string& e, int, int64_t) { errors.push_back(e); };
    }
};

// Reads a built table back from the builder's own output packets.
void FeedOutput(const TTSPmtReader& built, TTSPmtReader& reader) {
    for (int k = 0; k < built.OutputPacketCount(); ++k) reader.ProcessPacket(built.OutputPacket(k), k);
}

struct PmtEvents {
    int received = 0, changed = 0, errors = 0;
    void Attach(TTSPmtReader& r) {
        r.OnPmtReceived = [this](TObject*) { ++received; };
        r.OnPmtChange = [this](TObject*) { ++changed; };
        r.OnPmtErrorReceived = [this](TObject*) { ++errors; };
    }
};

// A PSI section made one of several (section_number of last_section_number),
// or announced for later (current_next_indicator 0), its CRC made anew.
Bytes Resectioned(Bytes s, int number, int last, bool currentNext = true) {
    s[5] = static_cast<uint8_t>((s[5] & 0xFE) | (currentNext ? 1 : 0));
    s[6] = static_cast<uint8_t>(number);
    s[7] = static_cast<uint8_t>(last);
    const size_t body = s.size() - 4;
    const uint32_t crc = Crc32Mpeg(s.data(), 0xFFFFFFFFu, static_cast<int>(body));
    for (int k = 0; k < 4; ++k) s[body + static_cast<size_t>(k)] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    return s;
}

} // namespace

TEST(TSPatReader, WiredThroughThePacketReaderWhenLoaded) {
    TsStream s;
    s.AddPat({{1, 0x100}, {2, 0x200}}, 0x77, 3);
    s.AddNull(2);
    s.AddPat({{1, 0x100}, {2, 0x200}}, 0x77, 3); // same table again
    s.AddPat({{1, 0x100}, {2, 0x200}}, 0x77, 4); // new version
    s.AddNull(2);
    TempFile f;
    f.Write(s.Render());

    TComponent form(nullptr);
    auto* reader = new TTSPacketReader(&form);
    auto* pat = new TTSPatReader(&form);
    pat->SetTSPacketReader(reader);
    pat->SetPID(0);
    pat->SetActive(true);
    PatEvents ev;
    ev.Attach(*pat);
    form.LoadTree();
    ASSERT_EQ(reader->ReaderCount(), 1);

    reader->SetFileName(f.Name());
    reader->SetActive(true);
    while (!reader->Eof()) reader->Next();
    EXPECT_EQ(ev.received, 3);
    EXPECT_EQ(ev.changed, 2);
    EXPECT_TRUE(ev.errors.empty());
    EXPECT_EQ(pat->TransportStreamID(), 0x77);
    EXPECT_EQ(pat->VersionNumber(), 4);
    ASSERT_EQ(pat->PATEntryCount(), 2);
    EXPECT_EQ(pat->Entry(1).ProgramNumber, 2);
    EXPECT_EQ(pat->Entry(1).PID, 0x200);
    EXPECT_EQ(pat->PacketIndex(), 4);
    EXPECT_EQ(pat->SectionLength(), 17);
}

TEST(TSPatReader, BrokenSectionsAreReportedAndLeaveTheFieldsReset) {
    TTSPatReader pat(nullptr);
    PatEvents ev;
    ev.Attach(pat);

    auto bad = SectionPackets(0, PatSection(1, 0, {{1, 0x100}}, true));
    pat.ProcessPacket(bad[0], 12);
    ASSERT_EQ(ev.errors.size(), 1u);
    const uint32_t good = Crc32Mpeg(bad[0].Data + 5, 0xFFFFFFFFu, 12);
    char expect[64];
    std::snprintf(expect, sizeof expect, "PAT CRC error ($%08X <> $%08X)", good ^ 0x00010000u, good);
    EXPECT_EQ(ev.errors[0], expect);
    EXPECT_EQ(pat.PATEntryCount(), 0);
    EXPECT_EQ(pat.TransportStreamID(), 0);

    // A pointer_field that leads past the packet's end: no section there.
    TsPacketOptions o;
    o.pid = 0;
    o.payloadStart = true;
    o.padWithAdaptation = false;
    o.payload = Concat({{0xB8}, PatSection(1, 0, {{1, 0x100}})});
    pat.ProcessPacket(ToBuffer(MakePacket(o)), 13);
    ASSERT_EQ(ev.errors.size(), 2u);
    EXPECT_EQ(ev.errors[1], "Section Sync Indicator");

    // Not a PAT at all.
    auto pmt = SectionPackets(0, PmtSection(1, 0, 0x101, {}, {}));
    pat.ProcessPacket(pmt[0], 14);
    EXPECT_EQ(ev.errors.back(), "Section Sync Indicator");

    // Longer than one packet.
    auto big = SectionPackets(0, PatSection(1, 0, {{1, 0x100}}));
    big[0].Data[6] = 0xB0;
    big[0].Data[7] = 185;
    pat.ProcessPacket(big[0], 15);
    EXPECT_EQ(ev.errors.back(), "PAT too big (185)");
    EXPECT_EQ(ev.received, 0);
}

TEST(TSPatReader, TheLargestSectionsStayInsideThePacket) {
    // 42 programs (section_length 177) end with their CRC at the packet's
    // last byte; 43 (181) or a length up to 184 would need a second packet,
    // and their CRC must not be looked for past the packet's end.
    auto packetOf = [](int programs, int lengthField) {
        std::vector<PatProgram> list;
        for (int k = 0; k < programs; ++k) list.push_back({k + 1, 0x100 + k});
        const Bytes section = PatSection(1, 0, list);
        TsPacketOptions o;
        o.pid = 0;
        o.payloadStart = true;
        o.padWithAdaptation = false;
        o.payload = Concat({{0x00}, section});
        o.payload.resize(184);
        TTSPacketBuffer b = ToBuffer(MakePacket(o));
        b.Data[7] = static_cast<uint8_t>(lengthField);
        // Bytes beyond the packet that a read past its end would take.
        std::memset(b.Data + 188, 0xAB, sizeof b.Data - 188);
        return b;
    };
    TTSPatReader pat(nullptr);
    PatEvents ev;
    ev.Attach(pat);
    pat.ProcessPacket(packetOf(42, 177), 1);
    EXPECT_TRUE(ev.errors.empty());
    EXPECT_EQ(ev.received, 1);
    EXPECT_EQ(pat.PATEntryCount(), 42);
    for (int length : {178, 180, 181, 182, 184}) {
        pat.ProcessPacket(packetOf(43, length), 2);
        ASSERT_FALSE(ev.errors.empty()) << length;
        EXPECT_EQ(ev.errors.back(), "PAT too big (" + std::to_string(length) + ")");
        EXPECT_EQ(pat.PATEntryCount(), 0);
    }
    EXPECT_EQ(ev.received, 1);
}

TEST(TSPatReader, ASectionAfterAPointerFieldIsReadAndRebuiltAsAtTheFront) {
    const Bytes section = PatSection(0x77, 5, {{1, 0x100}, {2, 0x200}});
    TTSPatReader plain(nullptr);
    plain.ProcessPacket(SectionPackets(0, section)[0], 0);
    ASSERT_EQ(plain.PATEntryCount(), 2);
    plain.BuildPatPacket();
    // From one byte to the most the packet leaves before the section.
    const int most = 183 - static_cast<int>(section.size());
    for (int pointer : {1, 7, most}) {
        SCOPED_TRACE(pointer);
        TTSPatReader pat(nullptr);
        PatEvents ev;
        ev.Attach(pat);
        pat.ProcessPacket(PacketsAfterPointer(0, section, pointer)[0], 3);
        EXPECT_TRUE(ev.errors.empty()) << ev.errors.front();
        EXPECT_EQ(ev.received, 1);
        EXPECT_EQ(pat.TransportStreamID(), 0x77);
        EXPECT_EQ(pat.VersionNumber(), 5);
        ASSERT_EQ(pat.PATEntryCount(), 2);
        EXPECT_EQ(pat.Entry(1).ProgramNumber, 2);
        EXPECT_EQ(pat.Entry(1).PID, 0x200);
        EXPECT_EQ(pat.CRC32(), plain.CRC32());
        // The copy's table is written as ever: from byte 5, pointer_field 0.
        pat.BuildPatPacket();
        EXPECT_EQ(0, std::memcmp(pat.OutputPacket().Data, plain.OutputPacket().Data, 188));
    }
    // A section the packet's end cuts off is not read.
    TTSPatReader cut(nullptr);
    PatEvents ev;
    ev.Attach(cut);
    cut.ProcessPacket(PacketsAfterPointer(0, section, most + 1)[0], 4);
    EXPECT_EQ(ev.received, 0);
    EXPECT_EQ(cut.PATEntryCount(), 0);
}

TEST(TSPatReader, ATableOverSeveralSectionsKeepsTheProgramsOfEachAndAnAnnouncedTableWaits) {
    TTSPatReader pat(nullptr);
    PatEvents ev;
    ev.Attach(pat);
    const auto first = SectionPackets(0, Resectioned(PatSection(0x77, 4, {{1, 0x100}, {2, 0x200}}), 0, 1));
    const auto second = SectionPackets(0, Resectioned(PatSection(0x77, 4, {{3, 0x300}}), 1, 1));
    auto programs = [&pat]() {
        std::vector<int> v;
        for (int k = 0; k < pat.PATEntryCount(); ++k) v.push_back(pat.Entry(k).ProgramNumber * 0x10000 + pat.Entry(k).PID);
        std::sort(v.begin(), v.end());
        return v;
    };
    const std::vector<int> all = {0x10100, 0x20200, 0x30300};
    pat.ProcessPacket(first[0], 1);
    pat.ProcessPacket(second[0], 2);
    EXPECT_EQ(programs(), all);
    // The table comes round again: each program once.
    pat.ProcessPacket(first[0], 3);
    pat.ProcessPacket(second[0], 4);
    EXPECT_EQ(programs(), all);
    EXPECT_EQ(ev.received, 4);

    // The next version, announced but not yet in force, changes nothing.
    const Bytes next = PatSection(0x77, 5, {{9, 0x900}});
    pat.ProcessPacket(SectionPackets(0, Resectioned(next, 0, 0, false))[0], 5);
    EXPECT_EQ(ev.received, 4);
    EXPECT_TRUE(ev.errors.empty());
    EXPECT_EQ(pat.VersionNumber(), 4);
    EXPECT_EQ(programs(), all);
    // In force, it replaces the whole table.
    pat.ProcessPacket(SectionPackets(0, next)[0], 6);
    EXPECT_EQ(ev.received, 5);
    EXPECT_EQ(pat.VersionNumber(), 5);
    EXPECT_EQ(programs(), std::vector<int>{0x90900});
}

TEST(TSPatReader, SingleProgramPatBytes) {
    TTSPatReader pat(nullptr);
    PatEvents ev;
    ev.Attach(pat);
    pat.BuildSingleProgramPat(1, 0x100);
    const uint8_t expect[] = {0x47, 0x40, 0x00, 0x10, 0x00, 0x00, 0xB0, 0x0D, 0x00,
                              0x06, 0xD7, 0x00, 0x00, 0x00, 0x01, 0xE1, 0x00};
    const TTSPacketBuffer& in = pat.InputPacket();
    EXPECT_EQ(in.Length, 188);
    EXPECT_EQ(0, std::memcmp(in.Data, expect, sizeof expect));
    EXPECT_EQ(Crc32Mpeg(in.Data + 5, 0xFFFFFFFFu, 16), 0u);
    for (int i = 21; i < 188; ++i) ASSERT_EQ(in.Data[i], 0xFF) << i;
    EXPECT_EQ(ev.received, 1);
    EXPECT_EQ(ev.changed, 1);
    EXPECT_EQ(pat.VersionNumber(), 11);
    EXPECT_EQ(pat.TransportStreamID(), 6);

    pat.BuildPatPacket();
    EXPECT_EQ(0, std::memcmp(pat.OutputPacket().Data, in.Data, 188));
}

TEST(TSPatReader, BuildPatPacketFromEditedTable) {
    TTSPatReader pat(nullptr);
    pat.BuildSingleProgramPat(1, 0x100);
    pat.SetPATEntryCount(0);
    pat.BuildPatPacket();
    const uint8_t* o = pat.OutputPacket().Data;
    EXPECT_EQ(o[7], 9);
    EXPECT_EQ(Crc32Mpeg(o + 5, 0xFFFFFFFFu, 12), 0u); // CRC right after byte 12
    EXPECT_EQ(o[17], 0xFF);

    // More programs than fit: 42 are written.
    pat.SetPATEntryCount(60);
    for (int i = 0; i < 60; ++i) pat.SetEntry(i, TPatEntry{i + 1, 0x100 + i, 7});
    pat.BuildPatPacket();
    EXPECT_EQ(o[7], 9 + 4 * 42);
    EXPECT_EQ(Crc32Mpeg(o + 5, 0xFFFFFFFFu, 3 + 9 + 4 * 42), 0u);

    // The built packet parses back to the same programs.
    TTSPatReader back(nullptr);
    back.ProcessPacket(pat.OutputPacket(), 0);
    ASSERT_EQ(back.PATEntryCount(), 42);
    EXPECT_EQ(back.Entry(41).PID, 0x100 + 41);
}

TEST(TSPatReader, DumpText) {
    TTSPatReader pat(nullptr);
    pat.BuildSingleProgramPat(0x1234, 0x1FF);
    const std::string t = pat.PatDumpText();
    EXPECT_EQ(t.substr(0, 29), "Table ID                 : 0\r");
    EXPECT_NE(t.find("Section Length           : 13\r\n"), std::string::npos);
    EXPECT_NE(t.find("Reserved Bit 0           : 0\r\nReserved Bit 1           : 1\r\n"), std::string::npos);
    EXPECT_NE(t.find("\r\n\r\n  Program Number : $1234\r\n  Map PID        : $01FF\r\n"), std::string::npos);
    const std::string crc = IntToHex(pat.CRC32(), 8);
    EXPECT_NE(t.find("\r\n\r\nCRC32                    : $" + crc + " = $" + crc + "\r\n"), std::string::npos);
    EXPECT_EQ(t.substr(t.size() - 2), "\r\n");
}

// --- PMT --------------------------------------------------------------------

TEST(TSPmtReader, DescriptorsDecideKindAndLanguage) {
    std::vector<PmtStream> streams = {
        {2, 0x101, Descriptor(0x02, {0x80 | (3 << 3) | 0x04})},
        {3, 0x102, Concat({Descriptor(0x03, {0x40 | 0x20 | 0x08}), LanguageDescriptor("deu")})},
        {6, 0x103, Concat({LanguageDescriptor("eng"), Descriptor(0x6A, {0x00})})},
        {6, 0x104, Descriptor(0x56, {'g', 'e', 'r', 0x09, 0x00, 'f', 'r', 'a', 0x11, 0x50})},
        {6, 0x105, Concat({Descriptor(0x59, {'d', 'e', 'u', 0x10, 0, 1, 0, 1}), Descriptor(0x52, {0x06})})},
        {132, 0x106, {}},
        {6, 0x107, Descriptor(0x05, {'A', 'C', '-', '3'})},
        {6, 0x108, Concat({Descriptor(0x7A, {0}), Descriptor(0x7C, {0})})},
        {27, 0x109, Descriptor(0x50, {0x02, 0x03, 0x01, 'i', 't', 'a', 'X'})},
    };
    auto packets = SectionPackets(0x100, PmtSection(0x55, 2, 0x101, Descriptor(0x09, {1, 2, 3, 4}), streams));
    ASSERT_EQ(packets.size(), 1u);
    TTSPmtReader pmt(nullptr);
    pmt.SetPID(0x100);
    PmtEvents ev;
    ev.Attach(pmt);
    pmt.ProcessPacket(packets[0], 3);
    ASSERT_EQ(ev.received, 1);
    EXPECT_EQ(ev.errors, 0);
    EXPECT_EQ(pmt.ProgramNumber(), 0x55);
    EXPECT_EQ(pmt.VersionNumber(), 2);
    EXPECT_EQ(pmt.PcrPid(), 0x101);
    EXPECT_EQ(pmt.Description()->DescriptionLength(), 6);
    ASSERT_EQ(pmt.PMTEntryCount(), 9);

    const TPmtEntry& v = pmt.Entry(0);
    EXPECT_TRUE(v.IsVideo);
    EXPECT_TRUE(v.HasVideoDescriptor);
    EXPECT_TRUE(v.MultipleFrameRate);
    EXPECT_EQ(v.FrameRateCode, 3);
    EXPECT_TRUE(v.MPEG1Only);

    const TPmtEntry& a = pmt.Entry(1);
    EXPECT_TRUE(a.IsAudio);
    EXPECT_TRUE(a.HasAudioDescriptor);
    EXPECT_EQ(a.AudioID, 1);
    EXPECT_EQ(a.Layer, 2);
    EXPECT_TRUE(a.VariableRate);
    EXPECT_EQ(a.Language, "deu");
    EXPECT_EQ(a.DescriptorCount, 2);

    const TPmtEntry& ac3 = pmt.Entry(2);
    EXPECT_EQ(ac3.Description,
              "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 PES packets containing private data (AC3)");
    EXPECT_TRUE(ac3.IsAudio);
    EXPECT_FALSE(ac3.IsOther);
    EXPECT_TRUE(ac3.AC3);
    EXPECT_EQ(ac3.Language, "eng");

    const TPmtEntry& tt = pmt.Entry(3);
    EXPECT_TRUE(tt.Teletext);
    EXPECT_TRUE(tt.IsOther);
    EXPECT_FALSE(tt.IsAudio);
    EXPECT_EQ(tt.Language, "gerfraP"); // bytes below 32 dropped, languages run together
    EXPECT_NE(tt.Description.find(" (Teletext)"), std::string::npos);

    const TPmtEntry& sub = pmt.Entry(4);
    EXPECT_TRUE(sub.Subtitle);
    EXPECT_EQ(sub.ComponentTag, 6);
    EXPECT_NE(sub.Description.find(" (Subtitle)"), std::string::npos);

    const TPmtEntry& eac3 = pmt.Entry(5);
    EXPECT_EQ(eac3.Description, "User private (EAC3)");
    EXPECT_TRUE(eac3.IsAudio);
    EXPECT_TRUE(eac3.EAC3);
    EXPECT_FALSE(TTSPmtReader::IsAudioType(132));

    EXPECT_TRUE(pmt.Entry(6).AC3); // registration "AC-3"
    EXPECT_TRUE(pmt.Entry(7).AAC); // a later kind clears the earlier one
    EXPECT_FALSE(pmt.Entry(7).EAC3);
    EXPECT_EQ(pmt.Entry(8).Language, "itaX"); // the whole printable payload
    EXPECT_EQ(pmt.VideoEntryCount(), 2);
    EXPECT_EQ(pmt.IndexOfPid(0x105), 4);
    EXPECT_EQ(pmt.IndexOfPid(0x1FF), -1);
}

TEST(TSPmtReader, SectionOverTwoPacketsAndChangeDetection) {
    std::vector<PmtStream> streams;
    for (int i = 0; i < 20; ++i) streams.push_back({4, 0x200 + i, LanguageDescriptor("deu")});
    const Bytes section = PmtSection(1, 0, 0x200, {}, streams);
    ASSERT_GT(section.size(), 184u);
    TsStream s;
    s.AddSection(0x100, section);
    s.AddNull(1);
    s.AddSection(0x100, section);
    s.AddSection(0x100, PmtSection(1, 1, 0x200, {}, streams));
    s.AddNull(1);
    TempFile f;
    f.Write(s.Render());

    TComponent form(nullptr);
    auto* reader = new TTSPacketReader(&form);
    auto* pmt = new TTSPmtReader(&form);
    pmt->SetTSPacketReader(reader);
    pmt->SetPID(0x100);
    pmt->SetActive(true);
    PmtEvents ev;
    ev.Attach(*pmt);
    std::vector<int> countsAtReceive;
    pmt->OnPmtReceived = [&](TObject*) {
        ++ev.received;
        countsAtReceive.push_back(pmt->PMTPacketCount());
    };
    form.LoadTree();
    reader->SetFileName(f.Name());
    reader->SetActive(true);
    while (!reader->Eof()) reader->Next();
    EXPECT_EQ(ev.received, 3);
    EXPECT_EQ(ev.changed, 2);
    EXPECT_EQ(ev.errors, 0);
    EXPECT_EQ(countsAtReceive, (std::vector<int>{2, 2, 2}));
    EXPECT_EQ(pmt->PMTEntryCount(), 20);
    EXPECT_EQ(pmt->VersionNumber(), 1);
    EXPECT_EQ(pmt->RecordedIndexCount(), 2);
    EXPECT_EQ(pmt->PacketIndex(), 5);
    EXPECT_EQ(pmt->Size(), static_cast<int>(section.size()) + 5);
}

namespace {

// Sets a new CRC on a section whose bytes a test changed, so that only the
// changed lengths are wrong.
Bytes WithCrc(Bytes section) {
    section.resize(section.size() - 4);
    const uint32_t crc = Crc32Mpeg(section.data(), 0xFFFFFFFFu, static_cast<int64_t>(section.size()));
    for (int k = 3; k >= 0; --k) section.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    return section;
}

} // namespace

TEST(TSPmtReader, LengthsRunningPastTheSectionEndTheWalk) {
    TTSPmtReader pmt(nullptr);
    PmtEvents ev;
    ev.Attach(pmt);
    auto feed = [&](const Bytes& section) {
        for (const auto& p : SectionPackets(0x100, WithCrc(section))) pmt.ProcessPacket(p, 0);
    };
    const std::vector<PmtStream> two = {{2, 0x101, LanguageDescriptor("deu")}, {3, 0x102, LanguageDescriptor("eng")}};

    // The last descriptor claims more bytes than its ES info holds: the
    // table stays, with both streams; only that descriptor is dropped.
    Bytes s1 = PmtSection(1, 0, 0x101, {}, two);
    const size_t secondDescriptor = 12 + 5 + 6 + 5;
    s1[secondDescriptor + 1] = 30;
    feed(s1);
    EXPECT_EQ(ev.errors, 0);
    ASSERT_EQ(ev.received, 1);
    ASSERT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_EQ(pmt.Entry(0).Language, "deu");
    EXPECT_EQ(pmt.Entry(1).PID, 0x102);
    EXPECT_EQ(pmt.Entry(1).Language, "");
    EXPECT_EQ(pmt.Entry(1).EsInfoLength, 0);
    EXPECT_EQ(pmt.Entry(1).DescriptorCount, 0);
    // Whatever had to be cut is damage the table's reader is told of.
    EXPECT_TRUE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), 0x102);

    // The first entry's ES_info_length swallows the second entry: the
    // table holds one stream, and says it was cut at that entry.
    Bytes swallow = PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}, {3, 0x102, {}}});
    swallow[16] = 0x20;
    feed(swallow);
    ASSERT_EQ(pmt.PMTEntryCount(), 1);
    EXPECT_EQ(pmt.Entry(0).EsInfoLength, 0);
    EXPECT_TRUE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), 0x101);

    // The same table whole: nothing cut.
    feed(PmtSection(1, 0, 0x101, {}, two));
    EXPECT_FALSE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), -1);

    // The last ES_info_length points into the CRC: the walk stops at the
    // section's end and the descriptor cut by it is dropped.
    Bytes s2 = PmtSection(1, 0, 0x101, {}, two);
    s2[12 + 5 + 6 + 4] = 0x20;
    feed(s2);
    EXPECT_EQ(ev.errors, 0);
    ASSERT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_EQ(pmt.Entry(0).Language, "deu");
    EXPECT_EQ(pmt.Entry(1).PID, 0x102);
    EXPECT_EQ(pmt.Entry(1).Language, "eng");
    EXPECT_TRUE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), 0x102);

    // An entry header cut by the CRC: the streams before it stay.
    Bytes s3 = PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}});
    s3.insert(s3.end() - 4, {0x02, 0xE1});
    s3[2] = static_cast<uint8_t>(s3[2] + 2);
    feed(s3);
    EXPECT_EQ(ev.errors, 0);
    ASSERT_EQ(pmt.PMTEntryCount(), 1);
    EXPECT_EQ(pmt.Entry(0).PID, 0x101);
    EXPECT_TRUE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), -1);
    EXPECT_EQ(ev.received, 5);

    // More entries than the table holds: the 255 first stay.
    std::vector<PmtStream> many;
    for (int i = 0; i < 260; ++i) many.push_back({4, 0x200 + i, {}});
    feed(PmtSection(1, 0, 0x200, {}, many));
    EXPECT_EQ(pmt.PMTEntryCount(), 255);
    EXPECT_TRUE(pmt.CutShort());
    EXPECT_EQ(pmt.CutShortPid(), -1);
    EXPECT_EQ(ev.received, 6);

    // program_info_length beyond the section leaves nothing to read.
    Bytes s4 = PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}});
    s4[10] = 0xF0;
    s4[11] = 0x40;
    feed(s4);
    EXPECT_EQ(ev.errors, 1);
    EXPECT_EQ(pmt.PMTEntryCount(), 0);

    // A broken CRC.
    auto bad = SectionPackets(0x100, PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}}, true));
    pmt.ProcessPacket(bad[0], 0);
    EXPECT_EQ(ev.errors, 2);
    EXPECT_EQ(ev.received, 6);
}

TEST(TSPmtReader, AnAnnouncedTableIsNotTakenForTheCurrentOne) {
    TTSPmtReader pmt(nullptr);
    pmt.SetPID(0x100);
    PmtEvents ev;
    ev.Attach(pmt);
    const Bytes now = PmtSection(1, 3, 0x101, {}, {{2, 0x101, {}}, {6, 0x102, Descriptor(0x6A, {0})}});
    const Bytes next = PmtSection(1, 4, 0x101, {}, {{2, 0x101, {}}, {4, 0x102, {}}});
    pmt.ProcessPacket(SectionPackets(0x100, now)[0], 1);
    ASSERT_EQ(ev.received, 1);
    pmt.ProcessPacket(SectionPackets(0x100, Resectioned(next, 0, 0, false))[0], 2);
    EXPECT_EQ(ev.received, 1);
    EXPECT_EQ(ev.changed, 1);
    EXPECT_EQ(ev.errors, 0);
    // In force, the same table is taken and is a change.
    pmt.ProcessPacket(SectionPackets(0x100, next)[0], 3);
    EXPECT_EQ(ev.received, 2);
    EXPECT_EQ(ev.changed, 2);
    EXPECT_EQ(pmt.VersionNumber(), 4);
    ASSERT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_EQ(pmt.Entry(1).StreamType, 4);
}

TEST(TSPmtReader, OverlongSectionIsDroppedAndTheNextOneTaken) {
    TTSPmtReader pmt(nullptr);
    PmtEvents ev;
    ev.Attach(pmt);
    std::vector<PmtStream> many;
    for (int i = 0; i < 100; ++i) many.push_back({4, 0x200 + i, Concat({LanguageDescriptor("deu"), LanguageDescriptor("eng"), LanguageDescriptor("fra")})});
    const Bytes huge = PmtSection(1, 0, 0x200, {}, many);
    ASSERT_GT(huge.size(), 2048u);
    for (const auto& p : SectionPackets(0x100, huge)) pmt.ProcessPacket(p, 0);
    EXPECT_EQ(ev.received, 0);
    for (const auto& p : SectionPackets(0x100, PmtSection(1, 0, 0x200, {}, {{2, 0x200, {}}}))) pmt.ProcessPacket(p, 0);
    EXPECT_EQ(ev.received, 1);
    EXPECT_EQ(pmt.PMTEntryCount(), 1);
}

TEST(TSPmtReader, ASectionAfterAPointerFieldIsReadOverItsPacketsAndRebuiltAsAtTheFront) {
    std::vector<PmtStream> streams;
    for (int i = 0; i < 20; ++i) streams.push_back({4, 0x200 + i, LanguageDescriptor("deu")});
    const Bytes section = PmtSection(7, 2, 0x200, {}, streams);
    ASSERT_GT(section.size(), 184u);
    TTSPmtReader plain(nullptr);
    for (const auto& p : SectionPackets(0x100, section)) plain.ProcessPacket(p, 0);
    ASSERT_EQ(plain.PMTEntryCount(), 20);
    ASSERT_TRUE(plain.BuildPmtPackets());
    for (int pointer : {1, 30, 183 - 17}) {
        SCOPED_TRACE(pointer);
        TTSPmtReader pmt(nullptr);
        PmtEvents ev;
        ev.Attach(pmt);
        const auto packets = PacketsAfterPointer(0x100, section, pointer);
        for (size_t k = 0; k < packets.size(); ++k) pmt.ProcessPacket(packets[k], static_cast<int64_t>(k));
        EXPECT_EQ(ev.received, 1);
        EXPECT_EQ(ev.errors, 0);
        EXPECT_EQ(pmt.ProgramNumber(), 7);
        ASSERT_EQ(pmt.PMTEntryCount(), 20);
        EXPECT_EQ(pmt.Entry(19).PID, 0x200 + 19);
        EXPECT_EQ(pmt.Entry(19).Language, "deu");
        EXPECT_EQ(pmt.PacketIndex(), 0);
        EXPECT_EQ(pmt.Size(), plain.Size());
        EXPECT_EQ(pmt.CRC32(), plain.CRC32());
        ASSERT_TRUE(pmt.BuildPmtPackets());
        ASSERT_EQ(pmt.OutputPacketCount(), plain.OutputPacketCount());
        for (int k = 0; k < pmt.OutputPacketCount(); ++k)
            EXPECT_EQ(0, std::memcmp(pmt.OutputPacket(k).Data, plain.OutputPacket(k).Data, 188)) << k;
    }
}

TEST(TSPmtReader, BuildPacketsRoundTripOverSeveralPackets) {
    std::vector<PmtStream> streams;
    for (int i = 0; i < 40; ++i) streams.push_back({4, 0x300 + i, LanguageDescriptor("deu")});
    TTSPmtReader pmt(nullptr);
    for (const auto& p : SectionPackets(0x100, PmtSection(9, 3, 0x300, Descriptor(0x09, {1, 2}), streams)))
        pmt.ProcessPacket(p, 0);
    ASSERT_EQ(pmt.PMTEntryCount(), 40);
    const int sectionBytes = pmt.Size() - 5;
    ASSERT_TRUE(pmt.BuildPmtPackets());
    EXPECT_EQ(pmt.SectionLength(), sectionBytes - 3);
    const int expected = 1 + (sectionBytes + 5 - 188 + 183) / 184;
    ASSERT_EQ(pmt.OutputPacketCount(), expected);
    EXPECT_TRUE(pmt.OutputPacket(0).Data[1] & 0x40);
    for (int k = 1; k < pmt.OutputPacketCount(); ++k) {
        EXPECT_FALSE(pmt.OutputPacket(k).Data[1] & 0x40);
        EXPECT_EQ(pmt.OutputPacket(k).Data[2], 0x00);
    }

    TTSPmtReader back(nullptr);
    PmtEvents ev;
    ev.Attach(back);
    FeedOutput(pmt, back);
    ASSERT_EQ(ev.received, 1);
    EXPECT_EQ(back.ProgramNumber(), 9);
    EXPECT_EQ(back.VersionNumber(), 3);
    EXPECT_EQ(back.PMTEntryCount(), 40);
    EXPECT_EQ(back.Entry(39).PID, 0x300 + 39);
    EXPECT_EQ(back.Entry(39).Language, "deu");
    EXPECT_EQ(back.Description()->DescriptionLength(), 4);
    EXPECT_EQ(back.CRC32(), pmt.CRC32());

    // Too many entries for eight packets.
    for (int i = 0; i < 150; ++i) {
        TPmtEntry e;
        e.PID = 0x1000 + i;
        e.StreamType = 4;
        e.EsInfoLength = 6;
        pmt.AddEntry(e);
    }
    EXPECT_FALSE(pmt.BuildPmtPackets());
    EXPECT_EQ(pmt.OutputPacketCount(), 0);
}

TEST(TSPmtReader, BuildFromStreamsWithDefaultDescriptors) {
    TTSPmtReader pmt(nullptr);
    PmtEvents ev;
    ev.Attach(pmt);
    TPmtStreams st;
    st.PmtPid = 0x100;
    st.PcrPid = 0x101;
    st.Pairs[0] = {0x101, 27};
    st.Pairs[1] = {0x102, 55}; // unknown: left out
    st.Pairs[5] = {0x103, TTSPmtReader::TELETEXT_TYPE};
    pmt.BuildPmtFromStreams(st);
    EXPECT_EQ(ev.received, 0); // building fires nothing
    ASSERT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_EQ(pmt.PID(), 0x100);
    EXPECT_EQ(pmt.Entry(0).StreamType, 27);
    EXPECT_EQ(pmt.Entry(0).Language, "eng");
    EXPECT_EQ(pmt.Entry(1).StreamType, 6);
    EXPECT_TRUE(pmt.Entry(1).Teletext);
    EXPECT_EQ(pmt.Entry(1).Language, "ger");
    EXPECT_EQ(pmt.SectionBuffer()[3], 0x12);
    EXPECT_EQ(pmt.ProgramNumber(), 1);
    EXPECT_EQ(TTSPmtReader::DefaultEsDescriptors(3), "UNKNOWN");
}

TEST(TSPmtReader, StreamEntriesAddedAsTheOwnTableWritesThem) {
    // A table read from the stream gets entries for streams it lost, each
    // with the stream type and descriptors an own table gives it.
    TTSPmtReader pmt(nullptr);
    for (const auto& p : SectionPackets(0x100, PmtSection(1, 0, 0x101, {}, {{2, 0x101, {}}}))) pmt.ProcessPacket(p, 0);
    ASSERT_EQ(pmt.PMTEntryCount(), 1);
    EXPECT_EQ(pmt.AddStreamEntry(0x102, 4), 1);
    EXPECT_EQ(pmt.AddStreamEntry(0x103, TTSPmtReader::DTS_AUDIO_TYPE), 2);
    EXPECT_EQ(pmt.AddStreamEntry(0x104, TTSPmtReader::SUBTITLE_TYPE), 3);
    EXPECT_EQ(pmt.AddStreamEntry(0x105, 3), -1); // no descriptors for it
    EXPECT_EQ(pmt.AddStreamEntry(0x101, 27), -1); // listed already
    EXPECT_EQ(pmt.Entry(1).StreamType, 4);
    EXPECT_TRUE(pmt.Entry(1).IsAudio);
    EXPECT_EQ(pmt.Entry(1).Language, "deu");
    EXPECT_EQ(pmt.Entry(2).StreamType, 6);
    EXPECT_TRUE(pmt.Entry(2).DTS);
    EXPECT_TRUE(pmt.Entry(2).IsAudio);
    EXPECT_EQ(pmt.Entry(3).StreamType, 6);
    EXPECT_TRUE(pmt.Entry(3).Subtitle);
    EXPECT_FALSE(pmt.Entry(3).IsAudio);
}

TEST(TSPmtReader, BuildFromNineStreamsKeepsEveryStream) {
    // H.264, four type-6 audio streams and four subtitle streams need more
    // than one packet: every one of them is in the table and in its packets.
    TTSPmtReader pmt(nullptr);
    TPmtStreams st;
    st.PmtPid = 0xB1;
    st.PcrPid = 0x101;
    st.Pairs[0] = {0x101, 27};
    for (int k = 1; k <= 4; ++k) st.Pairs[k] = {0x110 + k, 6};
    for (int k = 5; k <= 8; ++k) st.Pairs[k] = {0x120 + k, TTSPmtReader::SUBTITLE_TYPE};
    pmt.BuildPmtFromStreams(st);
    ASSERT_EQ(pmt.PMTEntryCount(), 9);
    EXPECT_EQ(pmt.Entry(8).PID, 0x128);
    EXPECT_TRUE(pmt.Entry(8).Subtitle);
    ASSERT_TRUE(pmt.BuildPmtPackets());
    ASSERT_EQ(pmt.OutputPacketCount(), 2);

    TTSPmtReader back(nullptr);
    PmtEvents ev;
    ev.Attach(back);
    FeedOutput(pmt, back);
    ASSERT_EQ(ev.received, 1);
    ASSERT_EQ(back.PMTEntryCount(), 9);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(back.Entry(k).PID, st.Pairs[k].PID) << k;
    EXPECT_EQ(back.Entry(4).Language, "ger");
}

TEST(TSPmtReader, SetEntryLanguageWritesOnlyLanguageFields) {
    const Bytes component = Descriptor(0x50, {0x02, 0x03, 0x07, 'e', 'n', 'g', 'x'});
    TTSPmtReader pmt(nullptr);
    for (const auto& p : SectionPackets(
             0x100, PmtSection(1, 0, 0x101, {},
                               {{4, 0x101, Concat({LanguageDescriptor("eng"), component})},
                                {6, 0x102, Descriptor(0x56, {'e', 'n', 'g', 0x09, 0x00})}})))
        pmt.ProcessPacket(p, 0);
    ASSERT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_TRUE(pmt.SetEntryLanguage(0x101, "deu"));
    const TPmtEntry& e = pmt.Entry(0);
    EXPECT_EQ(e.Language, "deu");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.EsInfo + 2), 3), "deu");
    EXPECT_EQ(e.EsInfo[5], 0); // audio type kept
    // stream_content, component_type and component_tag stay; the code changes.
    const uint8_t* c = e.EsInfo + 6 + 2;
    EXPECT_EQ(c[0], 0x02);
    EXPECT_EQ(c[1], 0x03);
    EXPECT_EQ(c[2], 0x07);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(c + 3), 3), "deu");
    EXPECT_EQ(c[6], 'x');
    EXPECT_TRUE(pmt.SetEntryLanguage(0x102, "fra"));
    EXPECT_EQ(pmt.Entry(1).EsInfo[5], 0x09);
    EXPECT_FALSE(pmt.SetEntryLanguage(0x1FF, "fra"));

    // The rebuilt table carries the new languages.
    ASSERT_TRUE(pmt.BuildPmtPackets());
    TTSPmtReader back(nullptr);
    back.ProcessPacket(pmt.OutputPacket(0), 0);
    EXPECT_EQ(back.Entry(0).Language, "deux"); // the component descriptor came last
    EXPECT_EQ(back.Entry(1).Language, "fra");
}

TEST(TSPmtReader, EntryTableEditing) {
    TTSPmtReader pmt(nullptr);
    TPmtEntry e;
    e.PID = 0x101;
    EXPECT_EQ(pmt.AddEntry(e), 0);
    EXPECT_EQ(pmt.AddEntry(e), -1);
    e.PID = 0x102;
    EXPECT_EQ(pmt.AddEntry(e), 1);
    e.PID = 0x103;
    EXPECT_EQ(pmt.AddEntry(e), 2);
    pmt.DeleteEntry(0);
    pmt.DeleteEntry(7);
    EXPECT_EQ(pmt.PMTEntryCount(), 2);
    EXPECT_EQ(pmt.Entry(0).PID, 0x102);
    EXPECT_TRUE(pmt.SetEntryStreamType(0x103, 27));
    EXPECT_TRUE(pmt.Entry(1).IsVideo);
    EXPECT_EQ(pmt.Entry(1).Description, TTSPmtReader::StreamTypeDescription(27));
    EXPECT_FALSE(pmt.SetEntryStreamType(0x999, 2));
}

TEST(TSPmtReader, DumpTextLines) {
    TTSPmtReader pmt(nullptr);
    pmt.SetPID(0x100);
    for (const auto& p : SectionPackets(0x100, PmtSection(0x2A, 1, 0x101, {},
                                                          {{6, 0x102, Descriptor(0x6A, {0x41})},
                                                           {6, 0x103, Descriptor(0x0A, {'d', 0xE4, 0x7E, 0xFF, 0x80})}})))
        pmt.ProcessPacket(p, 0x10);
    const std::string t = pmt.PmtDumpText();
    EXPECT_EQ(t.substr(0, 38), "Packet                   : $00000010\r\n");
    EXPECT_NE(t.find("PID                      : $0100\r\n"), std::string::npos);
    EXPECT_NE(t.find("Program Number           : $002A\r\n"), std::string::npos);
    EXPECT_NE(t.find("PCR PID                  : $0101\r\n\r\nProgram Info Length      : 0\r\n"), std::string::npos);
    EXPECT_NE(t.find("  ES Info        : $6A, $01, $41\r\n  ES Info Text   : j_A\r\n"), std::string::npos);
    // Descriptor bytes from 0x80 on reach the UTF-8 log as their ISO 8859-1 characters.
    EXPECT_NE(t.find("  ES Info Text   : __d\xC3\xA4~\xC3\xBF\xC2\x80\r\n"), std::string::npos);
    EXPECT_NE(t.find(" = $"), std::string::npos);
}
