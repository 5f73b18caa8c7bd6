#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/EsBuilder.h"
#include "ts/TSPesReader.h"
#include "ts/TSStreamType.h"

using namespace tw;
using namespace tw::test;

namespace {

// A PES reader with a sniffer behind it, so that dispatched packets can be
// counted, and the events recorded as text.
struct PesRig {
    TComponent owner{nullptr};
    TTSPesReader* pes = new TTSPesReader(&owner);
    TTSStreamTypeReader* sniffer = new TTSStreamTypeReader(&owner);
    TPesFeeder feed;
    std::vector<std::string> log;
    std::vector<int> completedSizes;
    std::vector<bool> completedValid;

    PesRig() {
        pes->SetPID(0x100);
        sniffer->SetTSPesReader(pes);
        sniffer->Loaded(); // registers with the PES reader
        pes->SetActive(true);
        sniffer->SetActive(true);
        pes->OnPESPacketCompleted = [this](TObject*, int64_t pts, int pid, int hdr, int size, int count, bool valid) {
            completedSizes.push_back(size);
            completedValid.push_back(valid);
            log.push_back("completed pts=" + std::to_string(pts) + " hdr=" + std::to_string(hdr) +
                          " size=" + std::to_string(size) + " packets=" + std::to_string(count) +
                          (valid ? " valid" : " invalid"));
        };
        pes->OnPESHeaderError = [this](TObject*, const std::string& text, int, int64_t idx) {
            log.push_back("header error " + text + " @" + std::to_string(idx));
        };
        pes->OnPESPacketSizeError = [this](TObject*, int64_t, int, int inHeader, int inStream) {
            log.push_back("size " + std::to_string(inHeader) + "/" + std::to_string(inStream));
        };
        pes->OnUnknownStreamID = [this](TObject*, int64_t, int pid) { log.push_back("unknown " + std::to_string(pid)); };
        pes->OnBufferOverflow = [this](TObject*, int64_t, int) { log.push_back("overflow"); };
    }
    int64_t Dispatched() const { return sniffer->ScannedPackets(); }
    bool Logged(const std::string& s) const {
        for (const auto& l : log)
            if (l == s) return true;
        return false;
    }
};

Bytes Payload(size_t n, uint8_t seed = 1) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

} // namespace

TEST(PesReader, CollectsCompletesAndDispatchesOnlyOnTheNextStart) {
    PesRig r;
    // Payload that belongs to a PES begun before the recording: ignored.
    const Bytes tail = Payload(100);
    r.feed.Packet(*r.pes, tail.data(), 100, false);
    EXPECT_EQ(r.pes->Collection().Count, 0);

    const Bytes p1 = MakePes(0xC0, Payload(500), 90000);
    r.feed.Feed(*r.pes, p1);
    EXPECT_TRUE(r.log.empty()) << r.log[0];
    EXPECT_EQ(r.pes->PESDataStart(), 14);
    EXPECT_EQ(r.pes->PESDataLength(), 500);
    EXPECT_EQ(r.pes->TSPacketCount(), 3);
    EXPECT_EQ(r.pes->FirstPTS(), 90000);
    EXPECT_EQ(r.pes->MissingPESBytes(), 0);
    EXPECT_EQ(r.Dispatched(), 0);

    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(10), 93600));
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_EQ(r.log[0], "completed pts=90000 hdr=14 size=500 packets=3 valid");
    EXPECT_EQ(r.Dispatched(), 1);
    EXPECT_EQ(r.pes->PESPacketCount(), 2);
    EXPECT_EQ(r.pes->PayloadStartIndex(), 4);
    // The last packet of a run is never completed.
    EXPECT_EQ(r.pes->PESDataLength(), 10);
}

TEST(PesReader, SizeMismatchMakesThePacketInvalidAndKeepsItFromTheAnalysers) {
    PesRig r;
    Bytes p = MakePes(0xC0, Payload(300), 1000);
    p[5] = static_cast<uint8_t>(p[5] + 4); // header claims four bytes more
    r.feed.Feed(*r.pes, p);
    EXPECT_EQ(r.pes->MissingPESBytes(), 4);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(10), 2000));
    EXPECT_TRUE(r.Logged("size " + std::to_string(300 + 8 + 4) + "/" + std::to_string(300 + 8)));
    ASSERT_FALSE(r.completedValid.empty());
    EXPECT_FALSE(r.completedValid[0]);
    EXPECT_EQ(r.Dispatched(), 0);
    EXPECT_EQ(TTSPesReader::PesErrorsText(r.pes->PESHeader()->PaketErrors()), ""); // the new header is clean
}

TEST(PesReader, UnboundedVideoPacketIsNotSizeChecked) {
    PesRig r;
    r.feed.Feed(*r.pes, MakePes(0xE0, Payload(70000), 5000, 1000, 0));
    r.feed.Feed(*r.pes, MakePes(0xE0, Payload(10), 8600, 4600, 0));
    ASSERT_EQ(r.completedValid.size(), 1u);
    EXPECT_TRUE(r.completedValid[0]);
    EXPECT_EQ(r.completedSizes[0], 70000);
    EXPECT_EQ(r.Dispatched(), 1);
}

TEST(PesReader, ParsesTimeStampsAndOptionalFields) {
    PesRig r;
    const int64_t pts = (int64_t(1) << 33) - 12345, dts = 0x123456789LL & ((int64_t(1) << 33) - 1);
    r.feed.Feed(*r.pes, MakePes(0xE0, Payload(20), pts, dts));
    const TTSPesHeader& h = *r.pes->PESHeader();
    EXPECT_TRUE(h.Valid());
    EXPECT_EQ(h.PTS(), pts);
    EXPECT_EQ(h.DTS(), dts);
    EXPECT_EQ(h.PTSPosition(), 9);
    EXPECT_EQ(h.DTSPosition(), 14);
    EXPECT_EQ(h.HeaderLength(), 19);
    EXPECT_EQ(h.StreamIDType(), psid_video_stream);
    EXPECT_TRUE(h.DataAlignmentIndicator());

    // ESCR, ES rate, trick mode, additional copy info and CRC in one header.
    PesRig r2;
    Bytes p = {0, 0, 1, 0xBD, 0, 0, 0x80, 0x80 | 0x20 | 0x10 | 0x08 | 0x04 | 0x02, 0};
    const Bytes ts = TimeStampField(2, 777);
    p.insert(p.end(), ts.begin(), ts.end());
    // ESCR base 0x1ABCDEF01 (33 bits), extension 0x155.
    const int64_t base = 0x1ABCDEF01LL, ext = 0x155;
    p.push_back(static_cast<uint8_t>(0xC0 | ((base >> 30) & 7) << 3 | 4 | ((base >> 28) & 3)));
    p.push_back(static_cast<uint8_t>(base >> 20));
    p.push_back(static_cast<uint8_t>(((base >> 15) & 31) << 3 | 4 | ((base >> 13) & 3)));
    p.push_back(static_cast<uint8_t>(base >> 5));
    p.push_back(static_cast<uint8_t>((base & 31) << 3 | 4 | ((ext >> 7) & 3)));
    p.push_back(static_cast<uint8_t>((ext & 0x7F) << 1 | 1));
    const int rate = 12345;
    p.push_back(static_cast<uint8_t>(0x80 | (rate >> 15)));
    p.push_back(static_cast<uint8_t>(rate >> 7));
    p.push_back(static_cast<uint8_t>((rate & 0x7F) << 1 | 1));
    p.push_back(0x1F);      // trick mode
    p.push_back(0x80 | 42); // additional copy info
    p.push_back(0xBE);
    p.push_back(0xEF);
    p[8] = static_cast<uint8_t>(p.size() - 9);
    p.insert(p.end(), 10, 0x11);
    p[5] = static_cast<uint8_t>(p.size() - 6);
    r2.feed.Feed(*r2.pes, p);
    const TTSPesHeader& h2 = *r2.pes->PESHeader();
    EXPECT_TRUE(h2.Valid()) << TTSPesReader::PesErrorsText(h2.PaketErrors());
    EXPECT_EQ(h2.PTS(), 777);
    EXPECT_EQ(h2.ESCR(), base * 300 + ext);
    EXPECT_EQ(h2.ElementaryStreamRate(), int64_t(rate) * 400);
    EXPECT_EQ(h2.AdditionalCopyInfo(), 42);
    EXPECT_EQ(h2.PESPreviousCRC(), 0xBEEF);
    EXPECT_EQ(r2.pes->PESDataLength(), 10);
}

TEST(PesReader, HeaderChecksReportTheirTexts) {
    PesRig r;
    Bytes p = MakePes(0xC0, Payload(20), 1234);
    p[2] = 2;            // prefix 00 00 02
    p[6] = 0x40 | 0x10;  // wrong control bits, scrambled
    p[11] &= 0xFE;       // second PTS marker
    r.feed.Feed(*r.pes, p);
    EXPECT_TRUE(r.Logged("header error Wrong PSCPrefix (000002) @0"));
    EXPECT_TRUE(r.Logged("header error Wrong controlbits (header) @0"));
    EXPECT_TRUE(r.Logged("header error Scrambling control not zero (header) @0"));
    EXPECT_TRUE(r.Logged("header error Wrong markerbit2 (PTS) @0"));
    const TTSPesHeader& h = *r.pes->PESHeader();
    EXPECT_FALSE(h.Valid());
    EXPECT_EQ(TTSPesReader::PesErrorsText(h.PaketErrors()), "PSCPrefix,Scrambled,ControlBitsHd,MarkerBit2PTS");
    EXPECT_EQ(TTSPesReader::PesErrorsText({pseScrambled, psePSCPrefix}), "PSCPrefix,Scrambled");
    EXPECT_EQ(TTSPesReader::PesErrorsText({}), "");

    // PTS and DTS with the wrong prefixes.
    PesRig r2;
    Bytes q = MakePes(0xE0, Payload(20), 10, 5);
    q[9] = static_cast<uint8_t>((q[9] & 0x0F) | 0x20);
    q[14] = static_cast<uint8_t>((q[14] & 0x0F) | 0x30);
    r2.feed.Feed(*r2.pes, q);
    EXPECT_TRUE(r2.Logged("header error Wrong controlbits (PTS PTS/DTS) @0"));
    EXPECT_TRUE(r2.Logged("header error Wrong controlbits (DTS PTS/DTS) @0"));
}

TEST(PesReader, UnknownStreamIdIsReportedAndDropped) {
    PesRig r;
    Bytes bad = MakePes(0xC0, Payload(400), 100);
    bad[3] = 0x05;
    r.feed.Feed(*r.pes, bad);
    EXPECT_TRUE(r.Logged("header error Wrong stream type ($05) @0"));
    EXPECT_TRUE(r.Logged("unknown 256"));
    EXPECT_EQ(r.pes->Collection().Count, 0);
    EXPECT_EQ(r.pes->TSPacketCount(), 0);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(10), 200));
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(10), 300));
    EXPECT_EQ(r.Dispatched(), 1); // only the good one
}

TEST(PesReader, PacketsWithoutOptionalHeader) {
    PesRig r;
    r.feed.Feed(*r.pes, MakePlainPes(0xBE, Repeat(0xFF, 50)));
    const TTSPesHeader& h = *r.pes->PESHeader();
    EXPECT_TRUE(h.Valid());
    EXPECT_EQ(h.HeaderLength(), 6);
    EXPECT_EQ(h.StreamIDType(), psid_padding_stream);
    EXPECT_EQ(r.pes->PESDataLength(), 50);
    // PTS_DTS_flags 1 reads nothing and reports nothing.
    PesRig r2;
    Bytes p = MakePes(0xC0, Payload(8));
    p[7] = 0x40;
    r2.feed.Feed(*r2.pes, p);
    EXPECT_TRUE(r2.pes->PESHeader()->Valid());
    EXPECT_EQ(r2.pes->PESHeader()->PTS(), 0);
}

TEST(PesReader, HeaderLongerThanTheFirstPayloadWaitsForItsBytes) {
    PesRig r;
    int64_t startIndex = -1;
    int starts = 0;
    r.pes->OnPayloadStart = [&](TObject*, int64_t pts, int64_t dts, int, int64_t idx) {
        ++starts;
        startIndex = idx;
        EXPECT_EQ(pts, 4242);
        EXPECT_EQ(dts, 4000);
    };
    const Bytes p = MakePes(0xE0, Payload(40), 4242, 4000);
    r.feed.nextIndex = 10;
    r.feed.Packet(*r.pes, p.data(), 7, true); // header not complete yet
    EXPECT_EQ(starts, 0);
    r.feed.Packet(*r.pes, p.data() + 7, static_cast<int>(p.size()) - 7, false);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(startIndex, 10);
    EXPECT_TRUE(r.pes->PESHeader()->Valid());
    EXPECT_EQ(r.pes->PESHeader()->PTS(), 4242);
    EXPECT_EQ(r.pes->PESDataLength(), 40);

    // A packet that ends inside its own header is reported short, not read
    // from stale bytes.
    PesRig r2;
    r2.feed.Packet(*r2.pes, p.data(), 7, true);
    r2.feed.Feed(*r2.pes, MakePes(0xE0, Payload(5), 1));
    ASSERT_EQ(r2.completedValid.size(), 1u);
    EXPECT_FALSE(r2.completedValid[0]);
    EXPECT_EQ(r2.Dispatched(), 0);
}

TEST(PesReader, PtsWrapDetection) {
    struct Case {
        int64_t a, b;
        int bits;
        int64_t offset;
    };
    const int64_t k33 = int64_t(1) << 33;
    const Case cases[] = {
        {k33 - 256, 256, 33, k33},
        {1000, 1000 + 0x7FFFFFFFLL, 0, 0},          // exactly 2^31 - 1: no wrap
        {1000 + 0x80000000LL, 1000, 32, int64_t(1) << 32}, // 2^31 down
        {1000, 1000 + 0xFFFFFFFFLL, 32, 0},          // 2^32 - 1 up: 32 bits, offset cleared
        {1000, 1000 + 0x100000000LL, 33, 0},         // 2^32 up: 33 bits
        {1000 + 0x100000001LL, 1000, 33, k33},       // above 2^32 down
    };
    for (const Case& c : cases) {
        PesRig r;
        int bitsSeen = 0;
        r.pes->OnPTSWrapArround = [&](TObject*, int64_t, int64_t oldPts, int64_t newPts, int, int bits) {
            bitsSeen = bits;
            EXPECT_EQ(oldPts, c.a);
            EXPECT_EQ(newPts, c.b);
        };
        r.pes->PESHeader()->SetPTS_Fix_Offset(100);
        r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), c.a));
        EXPECT_EQ(bitsSeen, 0) << "first packet never wraps";
        r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), c.b));
        EXPECT_EQ(bitsSeen, c.bits) << c.a << " -> " << c.b;
        EXPECT_EQ(r.pes->PESHeader()->PTS_Fix_WrapOffset(), c.offset);
        EXPECT_EQ(r.pes->PESHeader()->PTS_Fixed(), c.b - 100 + c.offset);
    }
    // The offset stays until the next big jump replaces it.
    PesRig r;
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), k33 - 256));
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), 256));
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), 4000));
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fix_WrapOffset(), k33);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), k33 - 100));
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fix_WrapOffset(), 0);
}

// The cleaning pass sets the offset after the header of the current packet
// was read and writes PTS_Fixed straight away: the new offset must show at
// once, not only from the next PES packet on.
TEST(PesReader, ANewFixOffsetMovesTheCurrentFixedStampAtOnce) {
    PesRig r;
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), 90000));
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), 93600)); // completes the first
    TTSPesHeader* h = r.pes->PESHeader();
    ASSERT_EQ(h->PTS(), 93600);
    h->SetPTS_Fix_Offset(3600);
    EXPECT_EQ(h->PTS_Fixed(), 90000);
    h->SetPTS_Fix_Offset(-400);
    EXPECT_EQ(h->PTS_Fixed(), 94000);
    h->SetPTS_Fix_Offset(0);
    EXPECT_EQ(h->PTS_Fixed(), 93600);

    // With no stamp read yet there is nothing to move.
    PesRig fresh;
    fresh.pes->PESHeader()->SetPTS_Fix_Offset(3600);
    EXPECT_EQ(fresh.pes->PESHeader()->PTS_Fixed(), 0);
}

TEST(PesReader, MapsPesOffsetsToTransportPackets) {
    PesRig r;
    const Bytes p = MakePes(0xE0, Payload(1000), 1, -1, 0);
    r.feed.nextIndex = 50;
    // Payloads of 100, 184, 184, ... bytes: the first packet carries an adaptation field.
    r.feed.Packet(*r.pes, p.data(), 100, true);
    size_t pos = 100;
    while (pos < p.size()) {
        const int n = static_cast<int>(std::min<size_t>(184, p.size() - pos));
        r.feed.Packet(*r.pes, p.data() + pos, n, false);
        pos += static_cast<size_t>(n);
    }
    int64_t idx;
    uint8_t off;
    ASSERT_TRUE(r.pes->PacketOfPESOffset(0, idx, off));
    EXPECT_EQ(idx, 50);
    EXPECT_EQ(off, 88); // payload starts at 188 - 100
    ASSERT_TRUE(r.pes->PacketOfPESOffset(99, idx, off));
    EXPECT_EQ(idx, 50);
    EXPECT_EQ(off, 187);
    ASSERT_TRUE(r.pes->PacketOfPESOffset(100, idx, off));
    EXPECT_EQ(idx, 51);
    EXPECT_EQ(off, 4);
    ASSERT_TRUE(r.pes->PacketOfPESOffset(100 + 184 + 5, idx, off));
    EXPECT_EQ(idx, 52);
    EXPECT_EQ(off, 9);
    EXPECT_FALSE(r.pes->PacketOfPESOffset(static_cast<int>(p.size()), idx, off));
    EXPECT_EQ(idx, 0);
    EXPECT_FALSE(r.pes->PacketOfPESOffset(-1, idx, off));
}

TEST(PesReader, EveryByteMapsToThePacketThatCarriedIt) {
    // Payloads of all lengths, packets without payload between them (some
    // in a row, one last), and a shorter PES packet after a longer one:
    // each offset names the packet whose payload held that byte, and
    // offsets outside the bytes name none.
    PesRig r;
    const std::vector<int> first{100, 0, 184, 7, 0, 0, 1, 184, 30, 0, 183, 2, 0};
    const std::vector<int> second{50, 0, 60};
    for (const std::vector<int>* lengths : {&first, &second}) {
        int total = 0;
        for (int n : *lengths) total += n;
        const Bytes p = MakePes(0xE0, Payload(static_cast<size_t>(total - 14)), 1, -1, 0);
        ASSERT_EQ(p.size(), static_cast<size_t>(total));
        const int64_t base = r.feed.nextIndex;
        int pos = 0;
        for (size_t k = 0; k < lengths->size(); ++k) {
            const int n = (*lengths)[k];
            r.feed.Packet(*r.pes, p.data() + pos, n, k == 0);
            pos += n;
        }
        ASSERT_EQ(r.pes->TSPacketCount(), static_cast<int>(lengths->size()));
        for (int offset = -2; offset <= total + 2; ++offset) {
            int64_t expected = -1;
            int begin = 0;
            for (size_t k = 0; k < lengths->size() && expected < 0; ++k) {
                if (offset >= begin && offset < begin + (*lengths)[k]) expected = static_cast<int64_t>(k);
                else begin += (*lengths)[k];
            }
            int64_t idx = -5;
            uint8_t off = 0;
            const bool found = r.pes->PacketOfPESOffset(offset, idx, off);
            ASSERT_EQ(found, expected >= 0) << offset;
            if (!found) continue;
            ASSERT_EQ(idx, base + expected) << offset;
            // The feeder puts a payload of n bytes at 188 - n.
            ASSERT_EQ(off, 188 - (*lengths)[static_cast<size_t>(expected)] + (offset - begin)) << offset;
        }
    }
}

TEST(PesReader, RecordTableIsBoundedForPacketsOfTinyPayloads) {
    PesRig r;
    const Bytes p = MakePes(0xE0, Payload(7000), 1, -1, 0);
    r.feed.Feed(*r.pes, p, 1); // 7,014 transport packets of one byte each
    EXPECT_EQ(r.pes->TSPacketCount(), kPesPacketRecordCapacity);
    EXPECT_TRUE(r.pes->RecordsOverflowed());
    EXPECT_EQ(r.pes->Collection().Count, static_cast<int>(p.size()));
    int64_t idx;
    uint8_t off;
    EXPECT_TRUE(r.pes->PacketOfPESOffset(6000, idx, off));
    EXPECT_EQ(idx, 6000);
    EXPECT_FALSE(r.pes->PacketOfPESOffset(6001, idx, off));
    r.pes->CalcPacketCrcs();
    r.feed.Feed(*r.pes, MakePes(0xE0, Payload(3), 2, -1, 0));
    EXPECT_EQ(r.Dispatched(), 1);
    EXPECT_FALSE(r.pes->RecordsOverflowed());
}

TEST(PesReader, CollectionIsBoundedAndOverflowIsReported) {
    PesRig r;
    const Bytes p = MakePes(0xE0, Payload(kPesCollectionCapacity + 1000), 1, -1, 0);
    r.feed.Feed(*r.pes, p);
    EXPECT_TRUE(r.Logged("overflow"));
    EXPECT_LE(r.pes->Collection().Count, kPesCollectionCapacity);
    EXPECT_GT(r.pes->Collection().Count, kPesCollectionCapacity - 184);
}

TEST(PesReader, FindsDuplicatedTransportPayloads) {
    PesRig r;
    Bytes p = MakePes(0xC0, Payload(184 * 3 - 14), 1);
    r.feed.Packet(*r.pes, p.data(), 184, true);
    r.feed.Packet(*r.pes, p.data() + 184, 184, false);
    r.feed.Packet(*r.pes, p.data() + 184, 184, false); // the same payload again
    r.feed.Packet(*r.pes, p.data() + 368, 184, false);
    EXPECT_EQ(r.pes->MissingPESBytes(), -184);
    r.pes->CalcPacketCrcs();
    EXPECT_NE(r.pes->PacketRecord(1).PayloadCrc, 0u);
    EXPECT_EQ(r.pes->PacketRecord(1).PayloadCrc, r.pes->PacketRecord(2).PayloadCrc);
    EXPECT_EQ(r.pes->MarkDuplicatePackets(), 1);
    EXPECT_FALSE(r.pes->PacketRecord(1).Duplicate);
    EXPECT_TRUE(r.pes->PacketRecord(2).Duplicate);
    EXPECT_EQ(r.pes->PacketRecord(2).PacketIndex, 2);
}

TEST(PesReader, MarksEveryRepeatOfAnEarlierPayloadAndNamesTheFirst) {
    // Hundreds of packets whose payloads repeat in scrambled order, some of
    // one content at different lengths: a record is marked exactly when an
    // earlier record carried the same bytes, and it names the first of them,
    // however the records lie. The expectation comes from the contents
    // given, not from the CRCs.
    PesRig r;
    const Bytes head = MakePes(0xC0, Payload(170), 1); // 184 bytes, a record of its own
    r.feed.Packet(*r.pes, head.data(), 184, true);
    std::vector<int> kinds{-1};
    uint32_t seed = 12345;
    for (int i = 0; i < 700; ++i) {
        seed = seed * 1103515245u + 12345u;
        kinds.push_back(static_cast<int>((seed >> 16) % 45));
    }
    for (size_t i = 1; i < kinds.size(); ++i) {
        // Kinds 0 to 29 differ in content; 30 and up share one content cut
        // to different lengths.
        const int k = kinds[i];
        const int length = k >= 30 ? 60 + 3 * (k - 30) : 184;
        const Bytes body = Payload(184, static_cast<uint8_t>(k >= 30 ? 200 : 3 + 7 * k));
        r.feed.Packet(*r.pes, body.data(), length, false);
    }
    ASSERT_EQ(r.pes->TSPacketCount(), static_cast<int>(kinds.size()));
    // Before the CRCs are taken all are 0: all records but the first are
    // marked, and the marking with the CRCs must clear that first.
    EXPECT_EQ(r.pes->MarkDuplicatePackets(), static_cast<int>(kinds.size()) - 1);
    r.pes->CalcPacketCrcs();
    std::vector<int> firstOfKind(45, -1);
    int expectedMarked = 0;
    for (size_t i = 1; i < kinds.size(); ++i) {
        int& first = firstOfKind[static_cast<size_t>(kinds[i])];
        if (first < 0) first = static_cast<int>(i);
        else ++expectedMarked;
    }
    // Twice: the marks are cleared and found again.
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(r.pes->MarkDuplicatePackets(), expectedMarked);
        EXPECT_FALSE(r.pes->PacketRecord(0).Duplicate);
        EXPECT_EQ(r.pes->DuplicateOf(0), -1);
        for (size_t i = 1; i < kinds.size(); ++i) {
            const int first = firstOfKind[static_cast<size_t>(kinds[i])];
            const bool repeat = first != static_cast<int>(i);
            ASSERT_EQ(r.pes->PacketRecord(static_cast<int>(i)).Duplicate, repeat) << i;
            ASSERT_EQ(r.pes->DuplicateOf(static_cast<int>(i)), repeat ? first : -1) << i;
        }
    }
    // The next PES packet has three records; nothing of the last one's
    // marks is left beyond them.
    const Bytes two = MakePes(0xC0, Payload(170), 2);
    r.feed.Packet(*r.pes, two.data(), 184, true);
    const Bytes body = Payload(184, 9);
    r.feed.Packet(*r.pes, body.data(), 184, false);
    r.feed.Packet(*r.pes, body.data(), 184, false);
    r.pes->CalcPacketCrcs();
    EXPECT_EQ(r.pes->MarkDuplicatePackets(), 1);
    EXPECT_EQ(r.pes->DuplicateOf(2), 1);
    EXPECT_EQ(r.pes->DuplicateOf(1), -1);
    EXPECT_EQ(r.pes->DuplicateOf(3), -1);
}

TEST(PesReader, DeactivationResetsTheCollection) {
    PesRig r;
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(50), 5000));
    r.pes->PESHeader()->SetPTS_Fix_Offset(77);
    r.pes->SetActive(false);
    EXPECT_EQ(r.pes->Collection().Count, 0);
    EXPECT_EQ(r.pes->PESPacketCount(), 0);
    EXPECT_EQ(r.pes->FirstPTS(), 0);
    EXPECT_EQ(r.pes->PESHeader()->PTS(), 0);
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fix_Offset(), 77); // the user's offset survives
    r.pes->SetActive(true);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(50), 6000));
    EXPECT_TRUE(r.completedValid.empty()); // a new run: the first start completes nothing
}

TEST(PesReader, StreamIdClassesAndNames) {
    EXPECT_EQ(TTSPesReader::StreamIdName(0xBB), "Unknown_Stream");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xBC), "Program_Stream");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xBD), "Private_Stream_1");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xC3), "Audio_Stream_3");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xDF), "Audio_Stream_31");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xE0), "Video_Stream_0");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xF4), "H222_1_a_Stream");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xF8), "H222_1_e_Stream");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xFE), "Reserved_Data_Stream");
    EXPECT_EQ(TTSPesReader::StreamIdName(0xFF), "Program_Stream_Directory");
    EXPECT_EQ(TTSPesReader::StreamIdType(0xF9), psid_ancillary_stream);
    EXPECT_EQ(TTSPesReader::StreamIdType(0xFB), psid_flexmux_stream);
}

namespace {

// Any consumer, not only the program's four analysers: the reader knows
// them only through the consumer interface.
struct FakePesConsumer : TComponent, TTSPesConsumer {
    explicit FakePesConsumer(std::vector<std::string>& log, std::string name)
        : TComponent(nullptr), log_(log), name_(std::move(name)) {}
    bool active = true;
    bool PesConsumerActive() const override { return active; }
    void ConsumePesPacket(const TPesCollection* block, int start, int length, int64_t pts, int64_t) override {
        log_.push_back(name_ + " " + std::to_string(pts) + " " + std::to_string(length) + " " +
                       std::to_string(block->Bytes[start]));
    }
    std::vector<std::string>& log_;
    std::string name_;
};

} // namespace

TEST(PesReader, ConsumersGetEveryCompletePacketInRegistrationOrder) {
    TComponent owner(nullptr);
    auto* pes = new TTSPesReader(&owner);
    std::vector<std::string> log;
    FakePesConsumer first(log, "first"), idle(log, "idle"), second(log, "second");
    idle.active = false;
    pes->AddReader(&first);
    pes->AddReader(&idle);
    pes->AddReader(&second);
    pes->SetActive(true);
    TPesFeeder f;
    f.Feed(*pes, MakePes(0xC0, Payload(5), 1000));
    EXPECT_TRUE(log.empty()); // not complete before the next start
    f.Feed(*pes, MakePes(0xC0, Payload(7), 2000));
    const std::vector<std::string> expected = {"first 1000 5 " + std::to_string(Payload(5)[0]),
                                               "second 1000 5 " + std::to_string(Payload(5)[0])};
    EXPECT_EQ(log, expected);
}

TEST(PesReader, AddReaderTakesOnlyAnalysers) {
    TComponent owner(nullptr);
    auto* pes = new TTSPesReader(&owner);
    auto* other = new TTSPesReader(&owner);
    std::vector<std::string> log;
    FakePesConsumer analyser(log, "analyser");
    pes->AddReader(other); // not an analyser: refused
    pes->AddReader(nullptr);
    pes->AddReader(&analyser);
    pes->SetActive(true);
    TPesFeeder f;
    f.Feed(*pes, MakePes(0xC0, Payload(5), 1));
    f.Feed(*pes, MakePes(0xC0, Payload(5), 2));
    EXPECT_EQ(pes->PESPacketCount(), 2);
    // The completed packet went to the one analyser, once: the refused reader
    // took no place in the list, and was handed nothing.
    EXPECT_EQ(log, (std::vector<std::string>{"analyser 1 5 " + std::to_string(Payload(5)[0])}));
    EXPECT_EQ(other->PESPacketCount(), 0);
    EXPECT_FALSE(other->Active());
}

TEST(PesReader, HeadersWithoutPtsTakeNoPartInWrapsAndFixedTime) {
    // Far above 2^31, where broadcast clocks often stand: a PES without a PTS
    // between stamped ones is legal and must not read as a jump to 0 and
    // back, nor move the fixed time.
    const int64_t base = (int64_t(1) << 32) + 12345;
    PesRig r;
    int wraps = 0;
    std::vector<int64_t> completedPts;
    r.pes->OnPTSWrapArround = [&](TObject*, int64_t, int64_t, int64_t, int, int) { ++wraps; };
    r.pes->OnPESPacketCompleted = [&](TObject*, int64_t pts, int, int, int, int, bool) { completedPts.push_back(pts); };
    r.pes->PESHeader()->SetPTS_Fix_Offset(base - 900);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), base));
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fixed(), 900);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5)));
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fixed(), 900) << "an absent stamp leaves the time where it was";
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fix_WrapOffset(), 0);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5), base + 3600));
    EXPECT_EQ(r.pes->PESHeader()->PTS_Fixed(), 4500);
    r.feed.Feed(*r.pes, MakePes(0xC0, Payload(5)));
    EXPECT_EQ(wraps, 0);
    EXPECT_EQ(r.pes->FirstPTS(), base + 3600);
    // The completed packet without a stamp is reported with the stamp the
    // stream had reached, never with 0.
    ASSERT_EQ(completedPts.size(), 3u);
    EXPECT_EQ(completedPts[0], base);
    EXPECT_EQ(completedPts[1], base);
    EXPECT_EQ(completedPts[2], base + 3600);

    // A stream whose first packets carry no stamp: the first stamp seen is
    // no jump from anything.
    PesRig late;
    int lateWraps = 0;
    late.pes->OnPTSWrapArround = [&](TObject*, int64_t, int64_t, int64_t, int, int) { ++lateWraps; };
    late.feed.Feed(*late.pes, MakePes(0xC0, Payload(5)));
    late.feed.Feed(*late.pes, MakePes(0xC0, Payload(5)));
    late.feed.Feed(*late.pes, MakePes(0xC0, Payload(5), base));
    late.feed.Feed(*late.pes, MakePes(0xC0, Payload(5), base + 3600));
    EXPECT_EQ(lateWraps, 0);
    // Setting the offset while the current header has no stamp still moves
    // the fixed time of the stamp the stream stands at.
    late.feed.Feed(*late.pes, MakePes(0xC0, Payload(5)));
    late.pes->PESHeader()->SetPTS_Fix_Offset(base);
    EXPECT_EQ(late.pes->PESHeader()->PTS_Fixed(), 3600);
}
