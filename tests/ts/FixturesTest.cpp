// Recordings made by an outside muxer (ffmpeg, see tests/data/make-fixtures.sh)
// must parse to what an independent tool (ffprobe, its JSON committed beside
// them) says: programs, PMT PIDs, PCR PIDs, stream PIDs, types and languages.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/Fixtures.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

using namespace tw;
using namespace tw::test;

namespace {

struct Scan {
    std::unique_ptr<TComponent> form = std::make_unique<TComponent>(nullptr);
    TTSPacketReader* reader = nullptr;
    TTSPatReader* pat = nullptr;
    std::map<int, TTSPmtReader*> pmts; // by program number
    int invalid = 0;
    int discontinuities = 0;
    int noStart = 0;
    bool m2ts = false;
};

// Two passes, as the program does: the PAT names the PMT PIDs, then one PMT
// reader per program.
std::unique_ptr<Scan> ScanFile(const std::string& file) {
    auto s = std::make_unique<Scan>();
    {
        TComponent form(nullptr);
        auto* r = new TTSPacketReader(&form);
        auto* pat = new TTSPatReader(&form);
        pat->SetTSPacketReader(r);
        pat->SetActive(true);
        form.LoadTree();
        r->SetFileName(file);
        r->SetActive(true);
        while (!r->Eof() && pat->PATEntryCount() == 0) r->Next();
        s->pat = new TTSPatReader(s->form.get());
        for (int i = 0; i < pat->PATEntryCount(); ++i) s->pat->SetEntry(i, pat->Entry(i));
        s->pat->SetPATEntryCount(pat->PATEntryCount());
    }
    s->reader = new TTSPacketReader(s->form.get());
    for (int i = 0; i < s->pat->PATEntryCount(); ++i) {
        auto* pmt = new TTSPmtReader(s->form.get());
        pmt->SetTSPacketReader(s->reader);
        pmt->SetPID(s->pat->Entry(i).PID);
        pmt->SetActive(true);
        s->pmts[s->pat->Entry(i).ProgramNumber] = pmt;
    }
    s->form->LoadTree();
    Scan* raw = s.get();
    s->reader->OnInvalidPacketEvent = [raw](TObject*, int64_t, const std::string&) { ++raw->invalid; };
    // Null packets (the 192-byte muxer pads with them) carry no counter.
    s->reader->OnDisconinuity = [raw](TObject*, int64_t, int pid, int, int) {
        if (pid != 0x1FFF) ++raw->discontinuities;
    };
    s->reader->OnNoValidStartByte = [raw](TObject*, int, bool&) { ++raw->noStart; };
    s->reader->OnM2TSPacketsDetectEvent = [raw](TObject*, bool&) { raw->m2ts = true; };
    s->reader->SetFileName(file);
    s->reader->SetActive(true);
    while (!s->reader->Eof()) s->reader->Next();
    return s;
}

// "[27][0][0][0]" -> 27; -1 when ffprobe shows a codec tag instead.
int StreamTypeOf(const JsonValue& stream) {
    const std::string tag = stream["codec_tag_string"].AsString();
    if (tag.size() < 3 || tag[0] != '[') return -1;
    return std::atoi(tag.c_str() + 1);
}

void CompareWithProbe(const std::string& name, const std::string& ext) {
    SCOPED_TRACE(name);
    const std::string dir = TestDataDir() + "/";
    auto scan = ScanFile(dir + name + ext);
    ASSERT_TRUE(scan->reader->Active());
    EXPECT_EQ(scan->invalid, 0);
    EXPECT_EQ(scan->discontinuities, 0);
    EXPECT_EQ(scan->noStart, 0);

    const JsonValue probe = LoadJsonFile(dir + name + ".json");
    const JsonValue& programs = probe["programs"];
    ASSERT_EQ(static_cast<int>(programs.Size()), scan->pat->PATEntryCount());
    for (size_t p = 0; p < programs.Size(); ++p) {
        const JsonValue& prog = programs[p];
        const int number = prog["program_num"].AsInt();
        SCOPED_TRACE(number);
        ASSERT_EQ(scan->pmts.count(number), 1u);
        TTSPmtReader* pmt = scan->pmts[number];
        EXPECT_EQ(pmt->PID(), prog["pmt_pid"].AsInt());
        EXPECT_EQ(pmt->ProgramNumber(), number);
        EXPECT_EQ(pmt->PcrPid(), prog["pcr_pid"].AsInt());
        EXPECT_EQ(pmt->CRC32(), pmt->CRC32_Calculated());
        const JsonValue& streams = prog["streams"];
        ASSERT_EQ(pmt->PMTEntryCount(), static_cast<int>(streams.Size()));
        for (size_t k = 0; k < streams.Size(); ++k) {
            const JsonValue& st = streams[k];
            const int pid = st["id"].AsInt();
            const int i = pmt->IndexOfPid(pid);
            ASSERT_GE(i, 0) << pid;
            const TPmtEntry& e = pmt->Entry(i);
            const int type = StreamTypeOf(st);
            if (type >= 0) EXPECT_EQ(e.StreamType, type) << pid;
            const std::string lang = st["tags"]["language"].AsString();
            if (!lang.empty()) EXPECT_EQ(e.Language, lang) << pid;
            const std::string codec = st["codec_name"].AsString();
            if (codec == "ac3") {
                EXPECT_TRUE(e.AC3);
                EXPECT_TRUE(e.IsAudio);
            }
            // (In 192-byte mode the muxer marks MPEG audio as private data,
            // which without descriptors is "other".)
            if (codec == "mp2" && e.StreamType != 6) {
                EXPECT_TRUE(e.IsAudio);
            }
            if (codec == "mpeg2video" || codec == "h264") {
                EXPECT_TRUE(e.IsVideo);
            }
        }
    }
}

} // namespace

TEST(Fixtures, Mpeg2WithMpegAudio) {
    CompareWithProbe("mpeg2_mp2", ".ts");
    auto scan = ScanFile(TestDataDir() + "/mpeg2_mp2.ts");
    EXPECT_EQ(scan->pat->Entry(0).ProgramNumber, 0x2A);
    EXPECT_EQ(scan->pmts[0x2A]->PID(), 0x200);
}

TEST(Fixtures, H264WithDvbAc3) {
    CompareWithProbe("h264_ac3", ".ts");
    auto scan = ScanFile(TestDataDir() + "/h264_ac3.ts");
    TTSPmtReader* pmt = scan->pmts[0x1234];
    ASSERT_NE(pmt, nullptr);
    const TPmtEntry& ac3 = pmt->Entry(pmt->IndexOfPid(0x301));
    // Signalled the DVB way: private data with an AC-3 descriptor.
    EXPECT_EQ(ac3.StreamType, 6);
    EXPECT_NE(ac3.Description.find(" (AC3)"), std::string::npos);
    EXPECT_EQ(pmt->Entry(pmt->IndexOfPid(0x300)).StreamType, 27);
}

TEST(Fixtures, M2tsStartsAtItsFirstPacket) {
    CompareWithProbe("m2ts_192", ".m2ts");
    auto scan = ScanFile(TestDataDir() + "/m2ts_192.m2ts");
    EXPECT_TRUE(scan->m2ts);
    EXPECT_TRUE(scan->reader->M2TSMode());
    EXPECT_EQ(scan->reader->GarbageOffset(), 0);
    EXPECT_EQ(scan->reader->PacketCount(), scan->reader->FileSize() / 192);
}

TEST(Fixtures, TwoPrograms) {
    CompareWithProbe("two_programs", ".ts");
}

TEST(Fixtures, TimeStampsCrossThe33BitWrap) {
    CompareWithProbe("pts_wrap", ".ts");
    TTSPacketReader r(nullptr);
    r.SetFileName(TestDataDir() + "/pts_wrap.ts");
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    int64_t maxPts = -1, minPts = -1;
    int64_t maxPcr = -1, minPcr = -1;
    bool sawWrap = false;
    int64_t last = -1;
    for (; !r.Eof(); r.Next()) {
        const TTSPacketHeader& h = *r.TSPacketHeader();
        if (!h.Valid()) continue;
        if (h.AdaptationField()->PCRFlag()) {
            const int64_t pcr = h.AdaptationField()->PCR()->PCR();
            if (maxPcr < 0 || pcr > maxPcr) maxPcr = pcr;
            if (minPcr < 0 || pcr < minPcr) minPcr = pcr;
        }
        if (h.PID() != 0x100) continue;
        int64_t e, d, p;
        if (!TTSPacketReader::PacketTimestamps(r.RawPacket(), h, e, d, p)) continue;
        if (last >= 0 && p < last - (int64_t{1} << 32)) sawWrap = true;
        last = p;
        if (maxPts < 0 || p > maxPts) maxPts = p;
        if (minPts < 0 || p < minPts) minPts = p;
    }
    EXPECT_TRUE(sawWrap);
    EXPECT_GT(maxPts, (int64_t{1} << 33) - 90000 * 3);
    EXPECT_LT(minPts, 90000 * 3);
    EXPECT_GT(maxPcr, ((int64_t{1} << 33) - 90000 * 3) * 300);
    EXPECT_LT(minPcr, 90000LL * 3 * 300);
}
