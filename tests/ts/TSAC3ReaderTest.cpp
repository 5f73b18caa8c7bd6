#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/EsBuilder.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSPesReader.h"

using namespace tw;
using namespace tw::test;

namespace {

struct Ac3Rig {
    TComponent owner{nullptr};
    TTSPesReader* pes = new TTSPesReader(&owner);
    TTSAC3Reader* a = new TTSAC3Reader(&owner);
    std::unique_ptr<TPesCollection> block = std::make_unique<TPesCollection>();
    std::vector<std::string> log;
    int frames = 0, crcErrors = 0;

    Ac3Rig() {
        pes->SetPID(0x123);
        a->SetTSPesReader(pes);
        a->SetActive(true);
        a->OnFrameReceived = [this](TObject*, int64_t pts, int64_t prev) {
            ++frames;
            log.push_back("frame " + std::to_string(pts) + " prev " + std::to_string(prev));
        };
        a->OnCRCError = [this](TObject*, int pid, int64_t idx, int64_t pts) {
            ++crcErrors;
            log.push_back("crc " + std::to_string(pid) + " " + std::to_string(idx) + " " + std::to_string(pts));
        };
        a->OnAC3PropertyChange = [this](TObject*, int, int64_t, const std::string& o, const std::string& n) {
            log.push_back("change " + o + " >>> " + n);
        };
        a->OnFirstFrameSynch = [this](TObject*, int64_t pts, int64_t before) {
            log.push_back("first " + std::to_string(pts) + " " + std::to_string(before));
        };
    }
    void Pes(const Bytes& es, int64_t pts = 3600, int64_t index = 0) {
        const Bytes p = MakePes(0xBD, es, pts);
        std::copy(p.begin(), p.end(), block->Bytes);
        block->Count = static_cast<int32_t>(p.size());
        a->ProcessPES(block.get(), 14, static_cast<int>(es.size()), pts, index);
    }
    bool Logged(const std::string& s) const {
        for (const auto& l : log)
            if (l == s) return true;
        return false;
    }
};

} // namespace

TEST(AC3Reader, ParsesFrameHeadersAndChecksCrcs) {
    struct Case {
        int fscod, frmsizecod, acmod;
        bool lfe;
        int size, rate;
        const char* mode;
        TSamplingRate sr;
    };
    const Case cases[] = {
        {0, 28, 2, false, 1536, 384, "2.0", sr48k}, {0, 30, 7, true, 1792, 448, "5.1", sr48k},
        {1, 24, 2, false, 1114, 256, "2.0", sr44_1k}, {1, 25, 1, true, 1116, 256, "1.1", sr44_1k},
        {1, 3, 6, false, 176, 40, "4.0", sr44_1k},   {2, 10, 3, true, 480, 80, "3.1", sr32k},
        {0, 37, 4, false, 2560, 640, "3.0", sr48k},  {0, 0, 5, true, 128, 32, "4.1", sr48k},
    };
    for (const Case& c : cases) {
        Ac3Rig r;
        r.Pes(Concat({MakeAc3Frame(c.fscod, c.frmsizecod, c.acmod, c.lfe), MakeAc3Frame(c.fscod, c.frmsizecod, c.acmod, c.lfe)}));
        const TTSAC3Frame& f = *r.a->AC3Frame();
        EXPECT_EQ(r.frames, 2) << c.frmsizecod;
        EXPECT_EQ(r.crcErrors, 0) << c.fscod << "/" << c.frmsizecod; // 44.1 kHz frames of odd word counts included
        EXPECT_EQ(f.FrameSize(), c.size);
        EXPECT_EQ(f.BitRate(), c.rate);
        EXPECT_EQ(f.AC3AudioMode(), c.mode);
        EXPECT_EQ(f.SamplingRate(), c.sr);
        EXPECT_EQ(f.AudioCodingMode(), c.acmod);
        EXPECT_EQ(f.LFEPresent(), c.lfe);
        EXPECT_FALSE(f.EAC3());
        EXPECT_EQ(f.BitStreamID(), 8);
        EXPECT_EQ(f.frmsizcod(), c.frmsizecod);
        EXPECT_EQ(f.FrameByteCount(), c.size);
    }
}

TEST(AC3Reader, DamagedFramesRaiseCrcErrorsButStillCount) {
    Ac3Rig r;
    Bytes f1 = MakeAc3Frame(0, 28, 2, false);
    Bytes f2 = f1, f3 = f1;
    f2[100] ^= 0x10;  // inside the part crc1 protects
    f3[1400] ^= 0x01; // inside the part only crc2 protects
    r.Pes(Concat({f1, f2, f3}), 9000, 77);
    EXPECT_EQ(r.frames, 3);
    EXPECT_EQ(r.crcErrors, 2);
    EXPECT_TRUE(r.Logged("crc 291 77 9000"));
    EXPECT_EQ(r.a->AC3Frame()->CRC1(), (f1[2] << 8) | f1[3]);
    EXPECT_EQ(r.a->AC3Frame()->CRC2(), (f3[1534] << 8) | f3[1535]);
}

TEST(AC3Reader, EnhancedAc3Frames) {
    Ac3Rig r;
    r.Pes(Concat({MakeEac3Frame(767, 0, 3, 7, true), MakeEac3Frame(767, 0, 3, 7, true)}));
    const TTSAC3Frame& f = *r.a->AC3Frame();
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(r.crcErrors, 0);
    EXPECT_TRUE(f.EAC3());
    EXPECT_EQ(f.BitStreamID(), 16);
    EXPECT_EQ(f.FrameSize(), 1536);
    EXPECT_EQ(f.BitRate(), 384);
    EXPECT_EQ(f.AC3AudioMode(), "5.1");
    EXPECT_EQ(f.CRC1(), 0);
    EXPECT_EQ(f.frmsizcod(), 0);
    EXPECT_EQ(f.AudioCodingMode(), 0); // E-AC-3 leaves it alone

    // fscod 3 takes the rate from fscod2 and always six blocks.
    Ac3Rig r2;
    Bytes e = MakeEac3Frame(383, 3, 0, 2, false);
    r2.Pes(Concat({e, e}));
    EXPECT_EQ(r2.a->AC3Frame()->SamplingRate(), sr24k);
    EXPECT_EQ(r2.a->AC3Frame()->BitRate(), 96); // 24000 * 768 / (6 * 32000)
    EXPECT_EQ(r2.crcErrors, 0);
    Bytes bad = e;
    bad[300] ^= 4;
    r2.Pes(bad);
    EXPECT_EQ(r2.crcErrors, 1);
}

TEST(AC3Reader, FalseSyncWordsAreSteppedOver) {
    Ac3Rig r;
    const Bytes good = MakeAc3Frame(0, 20, 2, false);
    // Before the real frame: 0B 77 with bsid 31, and one with frmsizecod 50.
    Bytes fakeBsid = {0x0B, 0x77, 0x12, 0x34, 0x1C, 0xF8, 0x40, 0x00, 0x00};
    Bytes fakeSize = {0x0B, 0x77, 0x12, 0x34, 0x32, 0x40, 0x40, 0x00, 0x00};
    r.Pes(Concat({Bytes{0x0B, 0x77, 0x55, 0x55, 0x00, 0xF8, 0, 0, 0}, fakeSize, good, fakeBsid, good}));
    EXPECT_EQ(r.frames, 2);
    EXPECT_EQ(r.crcErrors, 0);
    EXPECT_EQ(r.a->AC3Frame()->FrameSize(), 768);
    EXPECT_EQ(r.a->BufferedBytes(), 0);
    EXPECT_FALSE(r.Logged("change 2.0 48kHz >>> 2.0 48kHz"));
}

TEST(AC3Reader, SynchronisationCountsTheSkippedBytes) {
    Ac3Rig r;
    r.Pes(Repeat(0x33, 40), 100);
    EXPECT_FALSE(r.a->Synched());
    EXPECT_EQ(r.a->BytesBeforeFrameStart(), 39);
    const Bytes f = MakeAc3Frame(0, 8, 2, false);
    r.Pes(Concat({Repeat(0x33, 10), f, Bytes(f.begin(), f.begin() + 100)}), 200);
    EXPECT_TRUE(r.a->Synched());
    EXPECT_EQ(r.a->BytesBeforeFrameStart(), 49);
    EXPECT_TRUE(r.Logged("first 200 49"));
    EXPECT_EQ(r.frames, 1);
    // The second frame began in that packet and keeps its PTS when the next
    // one completes it.
    r.Pes(Bytes(f.begin() + 100, f.end()), 300);
    EXPECT_EQ(r.frames, 2);
    EXPECT_TRUE(r.Logged("frame 200 prev 200"));
    r.Pes(f, 400);
    EXPECT_TRUE(r.Logged("frame 400 prev 200"));
    EXPECT_EQ(r.a->AC3FrameCount(), 3);
}

TEST(AC3Reader, PropertyChangesAreReportedFromTheSecondFrameOn) {
    Ac3Rig r;
    r.Pes(MakeAc3Frame(0, 28, 2, false));
    r.Pes(MakeAc3Frame(0, 28, 2, false));
    const Bytes surround = MakeAc3Frame(0, 28, 7, true);
    // The first 5.1 frame arrives in two halves.
    r.Pes(Bytes(surround.begin(), surround.begin() + 700));
    r.Pes(Bytes(surround.begin() + 700, surround.end()));
    ASSERT_TRUE(r.Logged("change 2.0 48kHz >>> 5.1 48kHz"));
    int changes = 0;
    for (const auto& l : r.log) changes += l.rfind("change", 0) == 0;
    EXPECT_EQ(changes, 1);
    r.Pes(MakeAc3Frame(1, 28, 7, true));
    EXPECT_TRUE(r.Logged("change 5.1 48kHz >>> 5.1 44.1kHz"));
}

TEST(AC3Reader, OverflowEmptiesTheBuffer) {
    Ac3Rig r;
    int overflows = 0;
    r.a->OnAC3BufferOverflow = [&](TObject*, int pid, int64_t, int64_t idx) {
        ++overflows;
        EXPECT_EQ(pid, 0x123);
        EXPECT_EQ(idx, 5);
    };
    // A frame waiting for its rest, then a packet too large to join it.
    Bytes f = MakeAc3Frame(0, 36, 2, false);
    f.resize(100);
    r.Pes(f);
    r.Pes(Repeat(0x22, kAC3BufferCapacity - 50), 1, 5);
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(r.a->BufferedBytes(), 0);
    EXPECT_TRUE(r.a->Synched());
    r.Pes(Concat({MakeAc3Frame(0, 4, 2, false), MakeAc3Frame(0, 4, 2, false)}));
    EXPECT_EQ(r.frames, 2);
}

TEST(AC3Reader, ActiveResetsFrameAndCounters) {
    Ac3Rig r;
    r.Pes(MakeAc3Frame(0, 28, 7, true));
    r.a->SetActive(false);
    const TTSAC3Frame& f = *r.a->AC3Frame();
    EXPECT_EQ(r.a->AC3FrameCount(), 0);
    EXPECT_FALSE(r.a->Synched());
    EXPECT_EQ(f.FrameSize(), 0);
    EXPECT_EQ(f.AC3AudioMode(), "");
    EXPECT_EQ(f.PTS(), -1);
    EXPECT_EQ(f.PreviousPTS(), 3600); // kept
    EXPECT_EQ(r.a->PID(), 0x123);
    r.a->SetTSPesReader(nullptr);
    EXPECT_EQ(r.a->PID(), 0);
}

TEST(AC3Reader, ChannelsAndCrcTable) {
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode("5.1"), 6);
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode("2.0"), 2);
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode("2.0 "), 0);
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode("x.1"), 0);
    EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode(""), 0);
    TComponent owner(nullptr);
    auto* a = new TTSAC3Reader(&owner);
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(a->Crc16(check, 9), 0xFEE8); // CRC-16/UMTS (poly 0x8005, init 0)
    EXPECT_EQ(a->Crc16(check, 9), Crc16Ac3(check, 9));
    // Every length around the eight- and four-byte steps, from several start
    // values.
    uint8_t frame[40];
    for (size_t i = 0; i < sizeof frame; ++i) frame[i] = static_cast<uint8_t>(i * 37 + 11);
    for (uint16_t start : {uint16_t(0), uint16_t(0xFFFF), uint16_t(0x8001)})
        for (int n = 0; n <= 27; ++n)
            EXPECT_EQ(a->Crc16(frame + 3, n, start), Crc16Ac3(frame + 3, static_cast<size_t>(n), start)) << n;
}
