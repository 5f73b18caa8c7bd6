#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/EsBuilder.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPesReader.h"

using namespace tw;
using namespace tw::test;

namespace {

struct Mpeg2Rig {
    TComponent owner{nullptr};
    TTSMPEG2Reader* m = new TTSMPEG2Reader(&owner);
    std::unique_ptr<TPesCollection> block = std::make_unique<TPesCollection>();
    std::vector<std::string> units;

    Mpeg2Rig() {
        m->SetActive(true);
        m->OnNewSequence = [this](TObject*, int no, int size, const std::string& name) {
            units.push_back(name + ":" + std::to_string(size));
            EXPECT_EQ(name, TTSMPEG2Reader::Mpeg2StartCodeName(no));
        };
    }
    // Hands one PES packet (a 14-byte header, then the elementary bytes).
    void Pes(const Bytes& es, int64_t packetIndex = 0) {
        const Bytes p = MakePes(0xE0, es, 1000, -1, 0);
        std::copy(p.begin(), p.end(), block->Bytes);
        block->Count = static_cast<int32_t>(p.size());
        m->ProcessPES(block.get(), 14, static_cast<int>(es.size()), 1000, packetIndex);
    }
};

Bytes Picture(int slices = 2) {
    Bytes b = Mpeg2PictureHeader();
    for (int s = 1; s <= slices; ++s) b = Concat({b, Mpeg2Slice(s, 30)});
    return b;
}

} // namespace

TEST(Mpeg2Reader, PictureStartCodeMustLieWhollyInsideThePayload) {
    Mpeg2Rig r;
    // Slice and sequence codes and a code cut off by the payload's end do
    // not synchronise; every position but the last counts as skipped.
    r.Pes(Concat({Repeat(0x00, 7), Bytes{0x00, 0x00, 0x01, 0x01}, Repeat(0x01, 5), Bytes{0x00, 0x00, 0x01}}));
    EXPECT_FALSE(r.m->Synched());
    EXPECT_EQ(r.m->BytesBeforeSyncMark(), 18);
    // A one-byte payload examines nothing.
    r.Pes(Bytes{0x00});
    EXPECT_EQ(r.m->BytesBeforeSyncMark(), 18);
    // A code right at the payload's end is taken; the bytes before it count.
    r.Pes(Concat({Bytes{0x00, 0x01, 0x00}, Bytes{0x00, 0x00, 0x01, 0x00}}));
    EXPECT_TRUE(r.m->Synched());
    EXPECT_EQ(r.m->BytesBeforeSyncMark(), 21);
}

TEST(Mpeg2Reader, WaitsForAPictureThenReadsSequenceHeaderAndExtension) {
    Mpeg2Rig r;
    // Data before any picture start code is only counted.
    r.Pes(Repeat(0x11, 50));
    EXPECT_FALSE(r.m->Synched());
    EXPECT_EQ(r.m->BytesBeforeSyncMark(), 49);
    EXPECT_TRUE(r.units.empty());

    const Bytes seq = Mpeg2SequenceHeader(720, 576, 2, 3);
    const Bytes ext = Mpeg2SequenceExtension(0x48, false);
    r.Pes(Concat({seq, ext, Picture(2)}));
    EXPECT_TRUE(r.m->Synched());
    EXPECT_EQ(r.m->BytesBeforeSyncMark(), 49 + static_cast<int>(seq.size() + ext.size()));
    // The sequence header in front of the picture is still parsed: the whole payload is kept.
    ASSERT_GE(r.units.size(), 3u);
    EXPECT_EQ(r.units[0], "sequence_header_code:" + std::to_string(seq.size()));
    EXPECT_EQ(r.units[1], "extension_start_code:" + std::to_string(ext.size()));
    EXPECT_EQ(r.units[2], "picture_start_code:" + std::to_string(Mpeg2PictureHeader().size()));
    const TTSMPEG2VideoInfo& v = *r.m->MPEG2VideoInfo();
    EXPECT_EQ(v.Resolution_H(), 720);
    EXPECT_EQ(v.Resolution_V(), 576);
    EXPECT_EQ(v.AspectRatio(), "4/3");
    EXPECT_DOUBLE_EQ(v.FramesPerSecond(), 25.0);
    EXPECT_EQ(v.Profile(), 4);
    EXPECT_EQ(v.Level(), 8);
    EXPECT_TRUE(v.Interlaced());
    EXPECT_EQ(r.m->ProfileLevelText(), "Main@Main");
    EXPECT_EQ(r.m->BitRateValue(), 15000u);

    // The last slice stays until the next start code arrives.
    const size_t before = r.units.size();
    r.Pes(Concat({Mpeg2SequenceHeader(1920, 1080, 3, 4), Picture(1)}));
    EXPECT_EQ(r.units[before], "slice_start_code_02:34");
    EXPECT_EQ(v.Resolution_H(), 1920);
    EXPECT_EQ(v.AspectRatio(), "16/9");
    EXPECT_NEAR(v.FramesPerSecond(), 29.97, 0.001);
}

TEST(Mpeg2Reader, UnitsAreCutAcrossPesBoundaries) {
    Mpeg2Rig r;
    const Bytes es = Concat({Picture(3), Mpeg2SequenceHeader(544, 576, 3, 3), Picture(1), Mpeg2PictureHeader()});
    // Split the stream at every awkward place, including inside a start code.
    for (size_t pos = 0; pos < es.size();) {
        const size_t n = std::min<size_t>(5, es.size() - pos);
        r.Pes(Bytes(es.begin() + static_cast<long>(pos), es.begin() + static_cast<long>(pos + n)));
        pos += n;
    }
    std::vector<std::string> expected = {"picture_start_code:8",     "slice_start_code_01:34", "slice_start_code_02:34",
                                         "slice_start_code_03:34",   "sequence_header_code:12", "picture_start_code:8",
                                         "slice_start_code_01:34"};
    EXPECT_EQ(r.units, expected);
    EXPECT_EQ(r.m->MPEG2VideoInfo()->Resolution_H(), 544);
}

// Start codes at every offset against the search's blocks, behind runs of
// zeros, among lone 01 bytes and codes that miss a zero, fed in pieces of odd
// sizes: the units are exactly the gaps between the codes.
TEST(Mpeg2Reader, EveryStartCodeIsFoundWhereverItFalls) {
    Mpeg2Rig r;
    const uint8_t fill[] = {0x00, 0x00, 0x01, 0x5A, 0xFF, 0x00, 0xB3};
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    Bytes es = {0x00, 0x00, 0x01, 0x00}; // a picture first: the reader synchronises on it
    std::vector<size_t> codes = {0};
    for (int k = 0; k < 400; ++k) {
        const size_t gap = 4 + next() % 90;
        for (size_t i = 0; i < gap; ++i) es.push_back(fill[(next() >> 8) % sizeof fill]);
        codes.push_back(es.size());
        es.insert(es.end(), {0x00, 0x00, 0x01, static_cast<uint8_t>(k % 3 == 0 ? 0x00 : 1 + k % 0xAF)});
    }
    es.insert(es.end(), 20, 0x77);
    // Only the planted codes are codes: a chance 00 00 01 in the filling loses its 01.
    for (size_t i = 0, c = 0; i + 2 < es.size(); ++i) {
        while (c < codes.size() && codes[c] < i) ++c;
        if (es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1 && !(c < codes.size() && codes[c] == i)) es[i + 2] = 0x02;
    }
    std::vector<std::string> expected;
    for (size_t c = 0; c + 1 < codes.size(); ++c)
        expected.push_back(TTSMPEG2Reader::Mpeg2StartCodeName(es[codes[c] + 3]) + ":" +
                           std::to_string(codes[c + 1] - codes[c]));
    for (size_t pos = 0, piece = 0; pos < es.size(); ++piece) {
        const size_t n = std::min<size_t>(piece % 2 ? 7 : 333, es.size() - pos);
        r.Pes(Bytes(es.begin() + static_cast<long>(pos), es.begin() + static_cast<long>(pos + n)));
        pos += n;
    }
    EXPECT_EQ(r.units, expected);
}

TEST(Mpeg2Reader, FewerThanEightBytesCutNothing) {
    Mpeg2Rig r;
    r.Pes({0, 0, 1, 0, 0, 0, 1});
    EXPECT_TRUE(r.m->Synched());
    EXPECT_TRUE(r.units.empty());
    EXPECT_EQ(r.m->BufferedBytes(), 7);
}

TEST(Mpeg2Reader, OverflowDropsThePayloadAndReportsIt) {
    Mpeg2Rig r;
    int64_t at = -1;
    int size = 0, max = 0;
    r.m->OnMpeg2BufferOverflowError = [&](TObject*, int64_t idx, int s, int m) {
        at = idx;
        size = s;
        max = m;
    };
    // One picture start and then no further start code: the unit grows.
    r.Pes(Concat({Mpeg2PictureHeader(), Repeat(0x55, 1500000)}), 1);
    EXPECT_EQ(at, -1);
    r.Pes(Repeat(0x55, 600000), 7);
    EXPECT_EQ(at, 7);
    EXPECT_EQ(max, kMpeg2BufferCapacity + 1);
    EXPECT_EQ(size, r.m->BufferedBytes() + 600000);
    EXPECT_LE(r.m->BufferedBytes(), kMpeg2BufferCapacity);
}

TEST(Mpeg2Reader, ActiveResetsTheSequenceButKeepsProfile) {
    Mpeg2Rig r;
    r.Pes(Concat({Mpeg2SequenceHeader(720, 576, 3, 3), Mpeg2SequenceExtension(0x48, true), Picture(1), Picture(1)}));
    ASSERT_EQ(r.m->MPEG2VideoInfo()->Resolution_H(), 720);
    EXPECT_FALSE(r.m->MPEG2VideoInfo()->Interlaced());
    r.m->SetActive(false);
    EXPECT_FALSE(r.m->Synched());
    EXPECT_EQ(r.m->MPEG2VideoInfo()->Resolution_H(), 0);
    EXPECT_EQ(r.m->MPEG2VideoInfo()->AspectRatio(), "");
    EXPECT_EQ(r.m->MPEG2VideoInfo()->FramesPerSecond(), 0);
    EXPECT_EQ(r.m->MPEG2VideoInfo()->Profile(), 4);
    EXPECT_EQ(r.m->BufferedBytes(), 0);
}

TEST(Mpeg2Reader, StartCodeNamesAndProfileTexts) {
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0x00), "picture_start_code");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0x01), "slice_start_code_01");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xAF), "slice_start_code_AF");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB0), "reserved");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB6), "reserved");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB2), "user_data_start_code");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB4), "sequence_error_code");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB7), "sequence_end_code");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB8), "group_start_code");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xB9), "system_start_code_01");
    EXPECT_EQ(TTSMPEG2Reader::Mpeg2StartCodeName(0xFF), "system_start_code_47");

    const struct {
        int pl;
        const char* text;
    } cases[] = {{0x14, "High@High"}, {0x46, "Main@High 1440"}, {0x5A, "Simple@Low"}, {0x38, "SNR Scalable@Main"},
                 {0x26, "Spatially Scalable@High 1440"}, {0x64, "@High"}, {0x45, "Main@"}};
    for (const auto& c : cases) {
        Mpeg2Rig r;
        r.Pes(Concat({Mpeg2SequenceExtension(c.pl, true), Picture(1), Picture(1)}));
        EXPECT_EQ(r.m->ProfileLevelText(), c.text) << std::hex << c.pl;
    }
    Mpeg2Rig none;
    EXPECT_EQ(none.m->ProfileLevelText(), "");
}

TEST(Mpeg2Reader, WiredThroughThePesReader) {
    TComponent owner(nullptr);
    auto* pes = new TTSPesReader(&owner);
    auto* m = new TTSMPEG2Reader(&owner);
    pes->SetPID(0x1FF);
    m->SetTSPesReader(pes);
    EXPECT_EQ(m->PID(), 0x1FF);
    m->Loaded();
    pes->SetActive(true);
    m->SetActive(true);
    TPesFeeder f;
    f.Feed(*pes, MakePes(0xE0, Concat({Mpeg2SequenceHeader(704, 576, 3, 3), Picture(2)}), 1, -1, 0));
    EXPECT_EQ(m->MPEG2VideoInfo()->Resolution_H(), 0); // not yet complete
    f.Feed(*pes, MakePes(0xE0, Picture(1), 2, -1, 0));
    EXPECT_EQ(m->MPEG2VideoInfo()->Resolution_H(), 704);
}

// The reader cuts units out of the bytes it kept and the new PES bytes
// without joining them in one buffer. Against a reference that joins them
// (and reads a unit's fields from the joined bytes): short sequence headers
// and extensions whose fields run into the next unit or PES packet, codes
// split by PES boundaries, runs of zeros; every unit, every field and the
// bytes kept must agree after every PES packet.
TEST(Mpeg2Reader, UnitsAndFieldsMatchAJoinedBufferWhereverThePesPacketsEnd) {
    struct Reference {
        Bytes buf;
        int scanPos = 4;
        std::vector<std::string> units;
        void Feed(const Bytes& d) {
            buf.insert(buf.end(), d.begin(), d.end());
            int first = -1;
            for (int i = 0; i + 4 <= static_cast<int>(buf.size()); ++i)
                if (buf[i] == 0 && buf[i + 1] == 0 && buf[i + 2] == 1) {
                    first = i;
                    break;
                }
            if (first < 0) {
                buf.clear();
                scanPos = 0;
                return;
            }
            int base = first;
            for (;;) {
                const int n = static_cast<int>(buf.size()) - base;
                if (n < 8) break;
                int found = -1;
                for (int p = base + (scanPos < 1 ? 1 : scanPos) + 2; p < base + n - 2; ++p)
                    if (buf[p] == 1 && buf[p - 1] == 0 && buf[p - 2] == 0) {
                        found = p - 2 - base;
                        break;
                    }
                if (found < 0) {
                    scanPos = n - 5;
                    break;
                }
                std::string u = std::to_string(found);
                for (int k = 3; k < 11; ++k) u += "," + std::to_string(k < n ? buf[base + k] : 0);
                units.push_back(u);
                base += found;
                scanPos = 4;
            }
            buf.erase(buf.begin(), buf.begin() + base);
        }
    };

    Mpeg2Rig r;
    std::vector<std::string> got;
    r.m->OnNewSequence = [&](TObject*, int no, int size, const std::string&) {
        // The fields each unit leaves: the code and the bytes read behind it.
        std::string u = std::to_string(size) + "," + std::to_string(no);
        if (no == 0xB3) {
            const int h = r.m->HorizontalSizeValue(), v = r.m->VerticalSizeValue();
            const int a = r.m->AspectRatioInformation(), f = r.m->FrameRateCode();
            const uint32_t bits = r.m->BitRateValue();
            u += "," + std::to_string(h >> 4) + "," + std::to_string(((h & 15) << 4) | (v >> 8)) + "," +
                 std::to_string(v & 0xFF) + "," + std::to_string((a << 4) | f) + "," + std::to_string(bits >> 10) +
                 "," + std::to_string((bits >> 2) & 0xFF) + "," + std::to_string((bits & 3) << 6);
        }
        got.push_back(u);
    };
    Reference ref;
    uint32_t seed = 99;
    auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    Bytes es = {0x00, 0x00, 0x01, 0x00, 0x10};
    for (int k = 0; k < 1500; ++k) {
        const int kind = static_cast<int>(next() % 4);
        const uint8_t code = kind == 0 ? 0xB3 : kind == 1 ? 0xB5 : kind == 2 ? 0x00 : static_cast<uint8_t>(1 + next() % 0xAF);
        es.insert(es.end(), {0x00, 0x00, 0x01, code});
        // Often shorter than the fields read behind the code.
        const int len = next() % 3 == 0 ? static_cast<int>(next() % 8) : static_cast<int>(next() % 300);
        for (int i = 0; i < len; ++i) es.push_back(next() % 4 == 0 ? 0 : static_cast<uint8_t>(next()));
    }
    size_t pos = 0;
    while (pos < es.size()) {
        const size_t n = std::min<size_t>(1 + next() % 700, es.size() - pos);
        const Bytes piece(es.begin() + static_cast<long>(pos), es.begin() + static_cast<long>(pos + n));
        pos += n;
        const size_t before = got.size();
        r.Pes(piece);
        if (!r.m->Synched()) continue; // waits for the first picture, as the reference does not
        ref.Feed(piece);
        ASSERT_EQ(r.m->BufferedBytes(), static_cast<int>(ref.buf.size())) << "at " << pos;
        ASSERT_EQ(got.size(), ref.units.size()) << "at " << pos;
        for (size_t k = before; k < got.size(); ++k) {
            // Compare the code and, for sequence headers, the seven field bytes.
            std::string want = ref.units[k];
            std::vector<std::string> f;
            for (size_t a = 0, b; a <= want.size(); a = b + 1) {
                b = want.find(',', a);
                if (b == std::string::npos) b = want.size();
                f.push_back(want.substr(a, b - a));
            }
            std::string expect = f[0] + "," + f[1];
            if (f[1] == "179") // only the top two bits of the last byte belong to the bit rate
                expect += "," + f[2] + "," + f[3] + "," + f[4] + "," + f[5] + "," + f[6] + "," + f[7] + "," +
                          std::to_string((std::stoi(f[8]) >> 6) << 6);
            ASSERT_EQ(got[k], expect) << "unit " << k;
        }
    }
    EXPECT_GT(got.size(), 1000u);
}
