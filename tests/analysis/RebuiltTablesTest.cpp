// The tables the cleaned recording starts with: the rebuilt PAT keeps the
// recording's stream id and version, a PMT of the program's own takes the
// last stream with a clock as its PCR PID, and the program never goes out
// under the number 0.
#include "CleaningTestSupport.h"

#include "analysis/TableSelection.h"
#include "tests/support/EsBuilder.h"
#include "tests/support/ProgramNumbers.h"
#include "ts/TSPmtReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

using namespace tw;
using namespace tw::cleantest;

namespace {

// MPEG-2 video on $0101 and MPEG audio on $0102, 40 ms a frame; the PAT
// (program 1 on $0100) and PMT every 25 frames when `tables`, and a PCR on
// the audio's packets too when `audioClock`.
std::string Build(bool tables, int tsid, int version, bool audioClock, Cleanup& cleanup, const std::string& tag)
{
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (tables && k % 25 == 0) {
            s.AddPat({{1, 0x100}}, tsid, version);
            s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}, {3, 0x102, {}}});
        }
        s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts), audioClock ? (pts - 8000) * 300 : -1);
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

} // namespace

TEST(RebuiltTables, ThePatKeepsTheRecordingsStreamIdAndVersion)
{
    Cleanup cleanup;
    const std::string in = Build(true, 0x1234, 5, false, cleanup, "patid");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_EQ(road.engine->Tables().TransportStreamId, 0x1234);
    const std::string out = TempName("patid_out");
    cleanup.Files = {out, ChangeFileExt(out, ".log")};
    ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
    const Bytes b = ReadFile(out);
    ASSERT_GE(b.size(), 188u);
    // Sync, payload start on PID 0, payload only with counter 0, pointer 0,
    // table 0; then the stream id and the version of the recording's PAT.
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{0x47, 0x40, 0x00, 0x10, 0x00, 0x00}));
    EXPECT_EQ((b[8] << 8) | b[9], 0x1234);
    EXPECT_EQ((b[10] >> 1) & 0x1F, 5);
    EXPECT_EQ(CheckOutput(out).PatCrcErrors, 0);
}

TEST(RebuiltTables, AnOwnPmtTakesTheLastStreamWithAClockAsPcrPid)
{
    // No PAT and no PMT; both streams carry a PCR. The own PMT names each
    // and takes the later one in the found streams.
    Cleanup cleanup;
    const std::string in = Build(false, 0, 0, true, cleanup, "ownpcr");
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_TRUE(road.engine->Tables().CreationMode);
    EXPECT_TRUE(HasLine("PCR for selfmade PMT: $0101")) << AllLog();
    EXPECT_TRUE(HasLine("PCR for selfmade PMT: $0102"));
    EXPECT_EQ(road.engine->Selection().Pmt().PcrPid(), 0x102);
    ASSERT_EQ(road.engine->Selection().Pmt().PMTEntryCount(), 2);
    EXPECT_EQ(road.engine->Selection().Pmt().Entry(0).StreamType, 2);
    // "MPEG1 Audio" is entered with the MPEG-2 audio code.
    EXPECT_EQ(road.engine->Selection().Pmt().Entry(1).StreamType, 4);
}

// A broken muxer's tables give the program the number 0, which in a PAT
// names the network PID: a copy whose PAT said so would carry no program at
// all. The copy takes the number the recording's PAT gives the PMT's PID,
// else the number of the program's own tables; its PAT and PMT agree, the
// log says so, and an outside reader finds the program with its streams.
TEST(RebuiltTables, AProgramNumberZeroNeverReachesTheCopy)
{
    struct Case {
        const char* Tag;
        int PatNumber; // -1: the PAT keeps its own ($1234)
        int Expected;
        const char* Line;
    };
    for (const Case& k : {Case{"sid0_both", 0, 1, "Program number $0000 in PMT and PAT invalid, using $0001!"},
                          Case{"sid0_pmt", -1, 0x1234, "Program number $0000 in PMT invalid, using $1234 from PAT!"}}) {
        SCOPED_TRACE(k.Tag);
        Bytes b = ReadFile(DataFile("h264_ac3.ts"));
        const test::TProgramNumberEdits edits = test::RewriteProgramNumber(b, 0x100, k.PatNumber, 0);
        ASSERT_GT(edits.PmtSections, 0);
        ASSERT_EQ(edits.PatEntries > 0, k.PatNumber >= 0);
        Cleanup files;
        const std::string in = TempName(k.Tag), out = TempName(std::string(k.Tag) + "_out");
        files.Files = {in, out, ChangeFileExt(out, ".log")};
        WriteFile(in, b);

        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_TRUE(HasLine(k.Line)) << AllLog();
        ASSERT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        const OutputCheck c = CheckOutput(out);
        EXPECT_EQ(c.PatCrcErrors + c.PmtCrcErrors, 0);
        EXPECT_EQ(c.PatPrograms, 1);
        EXPECT_EQ(c.ProgramNumber, k.Expected);
        EXPECT_EQ(c.PmtPid, 0x100);
        EXPECT_EQ(c.PmtProgramNumber, k.Expected);
        EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x300, 0x301}));

        if (!HaveFfmpeg())
            continue;
        const std::string probe = Probe(out, "program=program_num,pmt_pid:program_stream=id");
        EXPECT_NE(probe.find("program_num=" + std::to_string(k.Expected) + "\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("pmt_pid=256\n"), std::string::npos) << probe;
        EXPECT_NE(probe.find("id=0x300"), std::string::npos) << probe;
        EXPECT_NE(probe.find("id=0x301"), std::string::npos) << probe;
    }
}

namespace {

struct CopyEntry {
    int Type = -1;
    std::string Language; // of the first ISO 639 descriptor (0x0A), if any
};

// The entries of the last whole PMT in a copy, by PID, read from the bytes
// as the standard lays them out: the PAT on PID 0 names the PMT's PID, the
// PMT section may run over several packets.
std::map<int, CopyEntry> CopyPmtEntries(const std::string& file)
{
    const Bytes b = ReadFile(file);
    std::map<int, CopyEntry> entries;
    int pmtPid = -1;
    std::map<int, Bytes> open;
    for (size_t at = 0; at + 188 <= b.size(); at += 188) {
        const uint8_t* p = b.data() + at;
        const int pid = Pid(p);
        if (p[0] != 0x47 || (pid != 0 && pid != pmtPid) || !((p[3] >> 4) & 1))
            continue;
        int s = 4 + (((p[3] >> 4) & 2) ? 1 + p[4] : 0);
        Bytes& a = open[pid];
        if (p[1] & 0x40) {
            s += 1 + p[s];
            a.clear();
        }
        if (s >= 188)
            continue;
        a.insert(a.end(), p + s, p + 188);
        if (a.size() < 3 || a.size() < size_t(3 + (((a[1] & 0x0F) << 8) | a[2])))
            continue;
        const int len = ((a[1] & 0x0F) << 8) | a[2];
        if (Crc32Mpeg(a.data(), 0xFFFFFFFFu, len + 3) != 0)
            continue;
        if (pid == 0 && a[0] == 0x00 && len >= 13) {
            pmtPid = ((a[10] & 0x1F) << 8) | a[11];
        } else if (pid == pmtPid && a[0] == 0x02) {
            entries.clear();
            for (int q = 12 + (((a[10] & 0x0F) << 8) | a[11]); q + 5 <= len + 3 - 4;) {
                CopyEntry& e = entries[((a[q + 1] & 0x1F) << 8) | a[q + 2]];
                e.Type = a[q];
                const int end = q + 5 + (((a[q + 3] & 0x0F) << 8) | a[q + 4]);
                for (int d = q + 5; d + 2 <= end; d += 2 + a[d + 1])
                    if (a[d] == 0x0A && a[d + 1] >= 3 && e.Language.empty())
                        e.Language.assign(a.begin() + d + 2, a.begin() + d + 5);
                q = end;
            }
        }
        a.clear();
    }
    return entries;
}

// AAC frames with ADTS headers: MPEG-4 AAC LC, 48 kHz, stereo, 200 bytes.
Bytes AdtsFrames()
{
    Bytes f;
    for (int k = 0; k < 2; ++k) {
        const Bytes h = {0xFF, 0xF1, 0x4C, 0x80, 0x19, 0x1F, 0xFC};
        f.insert(f.end(), h.begin(), h.end());
        f.insert(f.end(), 200 - h.size(), 0x21);
    }
    return f;
}

// AAC in LOAS frames (LATM): the 11-bit sync, a 13-bit length, 180 bytes.
Bytes LatmFrames()
{
    Bytes f;
    for (int k = 0; k < 2; ++k) {
        const Bytes h = {0x56, 0xE0, 180};
        f.insert(f.end(), h.begin(), h.end());
        f.insert(f.end(), 180, 0x21);
    }
    return f;
}

} // namespace

// Without a PAT the program makes its own tables; the recording's own PMT,
// where there is one, still knows each stream's language, and a stream it
// gives none gets none made up. AAC with ADTS headers is declared as such
// (15), AAC in LATM as LATM (17), or players cannot decode the copy's sound.
TEST(RebuiltTables, AnOwnPmtDeclaresAdtsAudioAndKeepsTheRecordingsLanguages)
{
    Cleanup cleanup;
    test::TsStream s;
    int64_t pts = 900000;
    for (int k = 0; s.PacketCount() < 3000; ++k) {
        if (k % 25 == 0)
            s.AddPmt(0x100, 1, 0x101,
                     {{2, 0x101, {}}, {4, 0x102, test::LanguageDescriptor("spa")},
                      {15, 0x103, test::LanguageDescriptor("fra")}, {17, 0x104, {}}});
        s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
        s.AddPes(0x103, test::PesPacket(0xC1, AdtsFrames(), pts));
        s.AddPes(0x104, test::PesPacket(0xC2, LatmFrames(), pts));
        pts += 3600;
    }
    const std::string in = TempName("ownlang"), out = TempName("ownlang_out");
    s.Save(in);
    cleanup.Files = {in, out, ChangeFileExt(out, ".log")};
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ASSERT_TRUE(road.engine->Tables().CreationMode);
    ASSERT_NE(road.Clean(out), TCleaningResult::Failed) << AllLog();
    const std::map<int, CopyEntry> e = CopyPmtEntries(out);
    ASSERT_EQ(e.count(0x102), 1u) << AllLog();
    ASSERT_EQ(e.count(0x103), 1u) << AllLog();
    EXPECT_EQ(e.at(0x103).Type, 15);
    EXPECT_EQ(e.at(0x102).Language, "spa");
    EXPECT_EQ(e.at(0x103).Language, "fra");
    ASSERT_EQ(e.count(0x104), 1u) << AllLog();
    EXPECT_EQ(e.at(0x104).Type, 17);
    EXPECT_EQ(e.at(0x104).Language, "");
    ASSERT_EQ(e.count(0x101), 1u) << AllLog();
    EXPECT_EQ(e.at(0x101).Language, "");
}

// A programme change may send a stream on under another type (AC-3, then
// MPEG audio on the same PID). The copy goes out with one table for all of
// it: the user is told, and the result is no plain success. A new version
// of the table that keeps the types changes nothing.
TEST(RebuiltTables, AStreamWhoseTypeTheTablesChangeIsNamedAndNoPlainSuccess)
{
    for (bool change : {true, false}) {
        SCOPED_TRACE(change);
        Cleanup cleanup;
        test::TsStream s;
        int64_t pts = 900000;
        const std::vector<test::PmtStream> before = {
            {2, 0x101, {}}, change ? test::PmtStream{6, 0x102, test::Descriptor(0x6A, {0x00})} : test::PmtStream{4, 0x102, {}}};
        const std::vector<test::PmtStream> after = {{2, 0x101, {}}, {4, 0x102, {}}};
        for (int k = 0; s.PacketCount() < 3000; ++k) {
            if (k % 25 == 0) {
                s.AddPat({{1, 0x100}});
                s.AddPmt(0x100, 1, 0x101, s.PacketCount() < 1500 ? before : after, s.PacketCount() < 1500 ? 0 : 1);
            }
            s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
            s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
            pts += 3600;
        }
        const std::string in = TempName("typechange"), out = TempName("typechange_out");
        s.Save(in);
        cleanup.Files = {in, out, ChangeFileExt(out, ".log")};
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        const std::string line = "TS  WARNING: The PMT changes the type of stream PID $0102 during the recording: the "
                                 "cleaned stream declares stream type 4 = ISO/IEC 13818-3 Audio for all of it!";
        EXPECT_EQ(HasLine(line), change) << AllLog();
        EXPECT_EQ(road.Clean(out), change ? TCleaningResult::SuccessWithErrors : TCleaningResult::Success) << AllLog();
        EXPECT_EQ(CopyPmtEntries(out).at(0x102).Type, 4);
    }
}
