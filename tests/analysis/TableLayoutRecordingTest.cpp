// Recordings whose tables lie in their packets as other muxers than the
// usual ones write them: after an adaptation field of stuffing (a recording
// made by ffmpeg, its table packets rewritten), each table starting in the
// packet that ends the one before, two programs' tables in one packet. The
// analysis reads the recording's own program from its tables, and the copy
// keeps that program with all its streams.
#include "CleaningTestSupport.h"

#include "analysis/TableSelection.h"
#include "tests/support/EsBuilder.h"
#include "ts/TSPmtReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

using namespace tw;
using namespace tw::cleantest;

namespace {

// The packets of `pid` that start a section get an adaptation field (no
// flags, then stuffing) in front of their payload, sized so that the
// section ends with the packet. Returns how many were rewritten.
int StuffTablePackets(Bytes& ts, int pid)
{
    int rewritten = 0;
    for (size_t at = 0; at + 188 <= ts.size(); at += 188) {
        uint8_t* p = ts.data() + at;
        const bool start = (p[1] & 0x40) != 0;
        const int afc = (p[3] >> 4) & 3;
        if (p[0] != 0x47 || (((p[1] & 0x1F) << 8) | p[2]) != pid || !start || afc != 1 || p[4] != 0)
            continue;
        const int section = 3 + (((p[6] & 0x0F) << 8) | p[7]);
        const int af = 188 - 5 - 1 - section; // after the length byte
        if (af < 1)
            continue;
        Bytes unit(p + 4, p + 5 + section);
        p[3] = static_cast<uint8_t>((p[3] & 0xCF) | 0x30);
        p[4] = static_cast<uint8_t>(af);
        p[5] = 0x00;
        std::memset(p + 6, 0xFF, static_cast<size_t>(af - 1));
        std::memcpy(p + 5 + af, unit.data(), unit.size());
        ++rewritten;
    }
    return rewritten;
}

// The sections of a table PID written as one run of bytes: each packet is
// filled, and one where a section starts carries the start flag and a
// pointer_field over the tail of the section before.
struct SectionRun {
    int Pid;
    Bytes Tail;
    void Add(test::TsStream& s, const Bytes& section)
    {
        Bytes unit(1, static_cast<uint8_t>(Tail.size()));
        for (uint8_t c : Tail)
            unit.push_back(c);
        for (uint8_t c : section)
            unit.push_back(c);
        size_t at = 0;
        for (bool first = true; first || unit.size() - at >= 184; first = false) {
            test::TsPacketOptions o;
            o.pid = Pid;
            o.payloadStart = first;
            o.padWithAdaptation = false;
            const size_t n = std::min<size_t>(184, unit.size() - at);
            o.payload.assign(unit.begin() + static_cast<long>(at), unit.begin() + static_cast<long>(at + n));
            s.Add(o);
            at += n;
        }
        // A tail that leaves the next packet no room for the next section's
        // start goes into a packet of its own.
        if (unit.size() - at > 170) {
            test::TsPacketOptions o;
            o.pid = Pid;
            o.padWithAdaptation = false;
            o.payload.assign(unit.begin() + static_cast<long>(at), unit.end());
            s.Add(o);
            at = unit.size();
        }
        // What is left ends the section in the packet that starts the next.
        Tail.assign(unit.begin() + static_cast<long>(at), unit.end());
    }
};

// MPEG-2 video with the PCR on $0101 and MPEG audio on $0102 and $0202, 40
// ms a frame; every 25 frames the PAT and what `tables` writes.
std::string Build(const std::vector<test::PatProgram>& programs, const std::function<void(test::TsStream&)>& tables,
                  Cleanup& cleanup, const std::string& tag)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0) {
            s.AddPat(programs);
            tables(s);
        }
        s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
        s.AddPes(0x202, test::PesPacket(0xC1, MpegAudioFrames(), pts));
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

} // namespace

TEST(TableLayoutRecording, ATableThatEndsWhereTheNextStartsIsSelectedAndNamed)
{
    // Program 1's table runs over two packets; each sending ends in the
    // packet where the next one starts.
    std::vector<test::PmtStream> streams{{2, 0x101, {}}, {3, 0x102, {}}};
    for (int k = 0; k < 19; ++k)
        streams.push_back({6, 0x300 + k, test::LanguageDescriptor("deu")});
    const Bytes pmt = test::PmtSection(1, 0, 0x101, {}, streams);
    ASSERT_GT(pmt.size(), 184u);
    Cleanup cleanup;
    SectionRun run{0x100, {}};
    const std::string in = Build({{1, 0x100}}, [&](test::TsStream& s) { run.Add(s, pmt); }, cleanup, "runon");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(HasLine("CRC OK!")) << AllLog();
    EXPECT_FALSE(HasLine("PMT not found!")) << AllLog();
    const TTSPmtReader& selected = road.engine->Selection().Pmt();
    EXPECT_EQ(selected.PID(), 0x100);
    EXPECT_EQ(selected.ProgramNumber(), 1);
    EXPECT_EQ(selected.CRC32(), selected.CRC32_Calculated());
    EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x101));
    EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x102));
    // The stream type scan names the table's PID for what it carries.
    const TAnalysisTables& t = road.engine->Tables();
    std::string typeText = "(not found)";
    for (int i = 0; i < t.FoundStreamCount; ++i)
        if (t.FoundStreams[static_cast<size_t>(i)].Pid == 0x100)
            typeText = t.FoundStreams[static_cast<size_t>(i)].TypeText;
    EXPECT_EQ(typeText, "PMT");
}

TEST(TableLayoutRecording, OfTwoProgramsTablesInOnePacketTheOneWithVideoIsSelected)
{
    // A radio program's table and the TV program's table back to back in one
    // packet of one PID: the TV program is the one kept.
    const Bytes radio = test::PmtSection(1, 0, 0x202, {}, {{3, 0x202, {}}});
    const Bytes tv = test::PmtSection(2, 0, 0x101, {}, {{2, 0x101, {}}, {3, 0x102, {}}});
    Bytes unit(1, 0x00);
    for (const Bytes* section : {&radio, &tv})
        for (uint8_t c : *section)
            unit.push_back(c);
    Cleanup cleanup;
    const std::string in = Build(
        {{1, 0x100}, {2, 0x100}},
        [&](test::TsStream& s) {
            test::TsPacketOptions o;
            o.pid = 0x100;
            o.payloadStart = true;
            o.padWithAdaptation = false;
            o.payload = unit;
            s.Add(o);
        },
        cleanup, "twotables");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(HasLine("Found 2 different PMTs")) << AllLog();
    EXPECT_TRUE(HasLine("CRC OK!")) << AllLog();
    const TTSPmtReader& selected = road.engine->Selection().Pmt();
    EXPECT_EQ(selected.ProgramNumber(), 2);
    ASSERT_EQ(selected.PMTEntryCount(), 2);
    EXPECT_EQ(selected.Entry(0).PID, 0x101);
    EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x101));
    EXPECT_FALSE(road.engine->Tables().IsSelectedPid(0x202));
}

TEST(TableLayoutRecording, TablesAfterAnAdaptationFieldKeepTheProgramAndItsStreams)
{
    // ffmpeg's recording: program 42, its table on $0200, MPEG-2 video on
    // $0210 (with the clock) and MP2 sound on $0211.
    const Bytes original = ReadFile(DataFile("mpeg2_mp2.ts"));
    ASSERT_GT(original.size(), 188u * 100);
    struct Variant {
        const char* what;
        bool pat;
    };
    for (const Variant v : {Variant{"PMT", false}, Variant{"PAT and PMT", true}}) {
        SCOPED_TRACE(v.what);
        Bytes changed = original;
        ASSERT_GT(StuffTablePackets(changed, 0x200), 0);
        if (v.pat)
            ASSERT_GT(StuffTablePackets(changed, 0x0000), 0);
        const std::string in = TempName("stuffed_tables");
        const std::string out = TempName("stuffed_tables_out");
        Cleanup files{{in, out, ChangeFileExt(out, ".log")}};
        WriteFile(in, changed);

        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_FALSE(HasLine("PMT missing warning!")) << AllLog();
        EXPECT_TRUE(HasLine("CRC OK!")) << AllLog();
        const TTSPmtReader& pmt = road.engine->Selection().Pmt();
        EXPECT_EQ(pmt.PID(), 0x200);
        EXPECT_EQ(pmt.ProgramNumber(), 42);
        ASSERT_EQ(pmt.PMTEntryCount(), 2);
        EXPECT_EQ(pmt.Entry(0).PID, 0x210);
        EXPECT_EQ(pmt.Entry(1).PID, 0x211);
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x210));
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x211));

        const TCleaningResult r = road.Clean(out);
        EXPECT_EQ(r, TCleaningResult::Success) << AllLog();
        const OutputCheck c = CheckOutput(out);
        EXPECT_EQ(c.PmtCrcErrors, 0);
        EXPECT_EQ(c.PmtPid, 0x200);
        EXPECT_EQ(c.ProgramNumber, 42);
        EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x210, 0x211}));
        // Every video and sound packet of the recording is in the copy.
        const std::map<int, int64_t> inPackets = PacketsPerPidOf(in);
        for (const int pid : {0x210, 0x211}) {
            ASSERT_GT(inPackets.count(pid), 0u) << pid;
            EXPECT_EQ(c.PacketsPerPid.count(pid) ? c.PacketsPerPid.at(pid) : 0, inPackets.at(pid)) << pid;
        }
    }
}
