#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/EsBuilder.h"
#include "ts/TSPesReader.h"
#include "ts/TSStreamType.h"

using namespace tw;
using namespace tw::test;

namespace {

// A PES reader feeding a sniffer; each Sniff call sends one PES packet and
// completes it with a following start.
struct SniffRig {
    TComponent owner{nullptr};
    TTSPesReader* pes = new TTSPesReader(&owner);
    TTSStreamTypeReader* sniffer = new TTSStreamTypeReader(&owner);
    TPesFeeder feed;
    std::string lastText;
    int identified = 0, notIdentified = 0;

    SniffRig() {
        pes->SetPID(0x44);
        sniffer->SetTSPesReader(pes);
        sniffer->Loaded();
        pes->SetActive(true);
        sniffer->SetActive(true);
        sniffer->OnIdentified = [this](TObject*, TEsStreamType, const std::string& t) {
            ++identified;
            lastText = t;
        };
        sniffer->OnNotIdentified = [this](TObject*, const std::string& t) {
            ++notIdentified;
            lastText = t;
        };
    }
    TEsStreamType Sniff(int streamId, const Bytes& payload) {
        feed.Feed(*pes, MakePes(streamId, payload, 1000));
        feed.Feed(*pes, MakePes(streamId, Bytes{0xAA}, 2000)); // completes the one before
        pes->SetActive(false); // and starts afresh, so the closing packet is never handed on
        pes->SetActive(true);
        return sniffer->ESStreamType();
    }
};

} // namespace

TEST(StreamTypeSniffer, ClassifiesBySignatureBehindTheStreamIdGate) {
    struct Case {
        int id;
        Bytes payload;
        TEsStreamType expected;
    };
    const Case cases[] = {
        {0xE0, {0, 0, 0, 1, 9, 0xF0}, estH264},
        {0xE0, {0, 0, 1, 0xB3, 0x2D, 0x02}, estMPEG2Video},
        {0xE0, {0x12, 0, 0, 0, 1, 0x67}, estH264}, // found behind the first byte
        {0xC0, {0xFF, 0xFC, 0xC4, 0x00}, estMPEG1Audio},
        {0xC0, {0xFF, 0xFD, 0x94, 0x00}, estMPEG1Audio},
        {0xBD, MakeAc3Frame(0, 28, 2, false, 8), estAC3},
        {0xBD, MakeEac3Frame(767, 0, 3, 2, false, 16), estEAC3},
        {0xBD, {0x7F, 0xFE, 0x80, 0x01, 0x00}, estDTS},
        {0xBD, {0xFF, 0xFC, 0x94, 0x00}, estAC3},
        {0xBD, {0x10, 0x02, 0x2C, 0x55, 0xE4, 0x00}, estTeletext},
        {0xE0, {0x10, 0x02, 0x2C, 0x55, 0xE4, 0x00}, estTeletext}, // teletext passes every gate
        {0xBD, {0x20, 0x00, 0x0F, 0x10}, estSubTitles},
        {0xC0, {0xFF, 0xF1, 0x4C, 0x80}, estAAC},
        {0xFA, {0x56, 0xE0, 0x02, 0x20, 0x00}, estAACLatm},
    };
    for (const Case& c : cases) {
        SniffRig r;
        EXPECT_EQ(r.Sniff(c.id, c.payload), c.expected) << std::hex << c.id << " " << int(c.payload[0]);
        EXPECT_EQ(r.sniffer->ScannedPackets(), 1);
    }
}

TEST(StreamTypeSniffer, EveryValidMpegAudioAndAdtsHeader) {
    const struct {
        Bytes header;
        TEsStreamType expected;
    } cases[] = {
        {{0xFF, 0xFD, 0xA4, 0x00}, estMPEG1Audio}, // layer II, 192 kbit/s, 48 kHz, no CRC
        {{0xFF, 0xFD, 0xE4, 0x00}, estMPEG1Audio}, // layer II, 384 kbit/s
        {{0xFF, 0xFD, 0x10, 0x00}, estMPEG1Audio}, // 32 kbit/s, 44.1 kHz
        {{0xFF, 0xFB, 0x90, 0x64}, estMPEG1Audio}, // layer III
        {{0xFF, 0xFF, 0x98, 0x00}, estMPEG1Audio}, // layer I
        {{0xFF, 0xF3, 0x64, 0x00}, estMPEG1Audio}, // MPEG-2 layer III, 24 kHz
        {{0xFF, 0xE3, 0x48, 0x00}, estMPEG1Audio}, // MPEG-2.5 layer III
        {{0xFF, 0xFD, 0x04, 0x00}, estUnknown},    // free format
        {{0xFF, 0xFD, 0xF4, 0x00}, estUnknown},    // forbidden bit rate
        {{0xFF, 0xFD, 0xAC, 0x00}, estUnknown},    // reserved sample rate
        {{0xFF, 0xF1, 0x50, 0x80}, estAAC},        // ADTS, 44.1 kHz
        {{0xFF, 0xF9, 0x4C, 0x80}, estAAC},        // ADTS, MPEG-2 ID
        {{0xFF, 0xF0, 0x98, 0x80}, estAAC},        // ADTS with CRC, 24 kHz
        {{0xFF, 0xF1, 0x74, 0x80}, estUnknown},    // reserved sampling index 13
    };
    for (const auto& c : cases) {
        SniffRig r;
        EXPECT_EQ(r.Sniff(0xC0, c.header), c.expected)
            << std::hex << int(c.header[1]) << " " << int(c.header[2]);
    }
    // The gates stay: MPEG audio is not looked for in private streams.
    SniffRig r;
    EXPECT_EQ(r.Sniff(0xBD, {0xFF, 0xFD, 0xA4, 0x00}), estUnknown);
    EXPECT_EQ(r.Sniff(0xE0, {0xFF, 0xFD, 0xA4, 0x00}), estUnknown);
}

// LOAS framing of AAC: an 11-bit sync and a 13-bit frame length. A sync is
// believed where the frame it declares ends at the payload's end or at the
// next sync, so that the two bytes in passing do not make audio AAC.
TEST(StreamTypeSniffer, LatmFramesAreTheirOwnKindAndFoundByTheirLength) {
    auto frames = [](int first, int count, int length) {
        Bytes b;
        for (int k = 0; k < count; ++k) {
            b.push_back(0x56);
            b.push_back(static_cast<uint8_t>(first | (length >> 8)));
            b.push_back(static_cast<uint8_t>(length & 0xFF));
            b.insert(b.end(), static_cast<size_t>(length), 0x20);
        }
        return b;
    };
    SniffRig r;
    EXPECT_EQ(r.Sniff(0xC0, frames(0xE0, 3, 300)), estAACLatm);  // a length over 8 bits
    EXPECT_EQ(r.Sniff(0xC0, frames(0xE0, 1, 40)), estAACLatm);   // one frame fills the payload
    EXPECT_EQ(r.Sniff(0xC0, frames(0xFF, 2, 0)), estAACLatm);    // the sync's low bits set
    EXPECT_EQ(StreamTypeName(estAACLatm), "AAC LATM Audio");
    SniffRig misses;
    Bytes tooLong = frames(0xE0, 1, 40);
    tooLong.pop_back();                                            // the frame runs past the payload
    EXPECT_EQ(misses.Sniff(0xC0, tooLong), estUnknown);
    Bytes noNext = frames(0xE0, 2, 40);
    noNext[43] = 0x57;                                             // no sync where the next frame begins
    EXPECT_EQ(misses.Sniff(0xC0, noNext), estUnknown);
    EXPECT_EQ(misses.Sniff(0xC0, frames(0xC0, 2, 40)), estUnknown); // 0x2B6: not the sync
    EXPECT_EQ(misses.Sniff(0xE0, frames(0xE0, 2, 40)), estUnknown); // not looked for in video
}

TEST(StreamTypeSniffer, GatesKeepSignaturesOfOtherStreamKinds) {
    SniffRig r;
    // A video start code inside audio, an AC-3 sync word inside video.
    EXPECT_EQ(r.Sniff(0xC0, {0x00, 0x00, 0x01, 0xB3}), estUnknown);
    EXPECT_EQ(r.Sniff(0xE0, {0x0B, 0x77, 0x00, 0x00, 0x00, 0x40}), estUnknown);
    EXPECT_EQ(r.notIdentified, 2);
    EXPECT_EQ(r.identified, 0);

    // Without a source every gate is open.
    TComponent owner(nullptr);
    auto* s = new TTSStreamTypeReader(&owner);
    s->SetActive(true);
    auto block = std::make_unique<TPesCollection>();
    const Bytes pes = MakePes(0xC0, {0x00, 0x00, 0x01, 0xB3, 0x11}, 5);
    std::copy(pes.begin(), pes.end(), block->Bytes);
    block->Count = static_cast<int32_t>(pes.size());
    s->SniffStreamType(block.get(), 14, static_cast<int>(pes.size()) - 14, 0, 0);
    EXPECT_EQ(s->ESStreamType(), estMPEG2Video);
}

TEST(StreamTypeSniffer, VotesRepeatTheLastMatchAndTiesGoToTheLowerType) {
    SniffRig r;
    r.Sniff(0xBD, {0x01, 0x02, 0x03, 0x04}); // nothing yet
    EXPECT_EQ(r.sniffer->Votes(estUnknown), 1);
    r.Sniff(0xBD, MakeAc3Frame(0, 10, 2, false, 8));
    r.Sniff(0xBD, {0x01, 0x02, 0x03, 0x04}); // unmatched: votes for AC-3 again
    EXPECT_EQ(r.sniffer->Votes(estAC3), 2);
    r.Sniff(0xBD, MakeEac3Frame(300, 0, 3, 2, false, 16));
    r.Sniff(0xBD, MakeEac3Frame(300, 0, 3, 2, false, 16));
    EXPECT_EQ(r.sniffer->Votes(estEAC3), 2);
    EXPECT_EQ(r.sniffer->VotedStreamType(), estAC3); // 2 : 2, the lower type wins
    r.Sniff(0xBD, MakeEac3Frame(300, 0, 3, 2, false, 16));
    EXPECT_EQ(r.sniffer->VotedStreamType(), estEAC3);
    EXPECT_EQ(r.sniffer->ScannedPackets(), 6);
    EXPECT_EQ(StreamTypeName(r.sniffer->VotedStreamType()), "E-AC3 Audio");

    // Changing Active clears the votes.
    r.sniffer->SetActive(false);
    EXPECT_EQ(r.sniffer->VotedStreamType(), estUnknown);
    EXPECT_EQ(r.sniffer->ScannedPackets(), 0);
}

TEST(StreamTypeSniffer, NeverLooksBehindThePayload) {
    SniffRig r;
    // A long packet leaves an AC-3 header in the collection buffer...
    r.Sniff(0xBD, Concat({Repeat(0x01, 20), MakeAc3Frame(0, 10, 2, false, 8)}));
    EXPECT_EQ(r.sniffer->ESStreamType(), estAC3);
    // ...a shorter one that ends in the middle of a sync word must not be
    // completed by those stale bytes. Rebuild the rig so that no earlier
    // vote hides the outcome.
    SniffRig r2;
    r2.Sniff(0xBD, Concat({Repeat(0x01, 20), MakeAc3Frame(0, 10, 2, false, 8)}));
    r2.sniffer->SetActive(false);
    r2.sniffer->SetActive(true);
    r2.Sniff(0xBD, Concat({Repeat(0x01, 20), Bytes{0x0B, 0x77, 0x00}}));
    EXPECT_EQ(r2.sniffer->ESStreamType(), estUnknown);
    EXPECT_EQ(r2.notIdentified, 1);
    // Eight entries always, zeros behind a short payload.
    SniffRig r3;
    r3.Sniff(0xE0, {0x00, 0x00, 0x00, 0x01, 0x09});
    EXPECT_EQ(r3.lastText, "00,00,00,01,09,00,00,00,");
    r3.Sniff(0xE0, {0x00, 0x00, 0x00, 0x01, 0x09, 0xF0, 0x00, 0x00, 0x00, 0x01});
    EXPECT_EQ(r3.lastText, "00,00,00,01,09,F0,00,00,");
}

TEST(StreamTypeSniffer, DisplayNames) {
    EXPECT_EQ(StreamTypeName(estUnknown), "");
    EXPECT_EQ(StreamTypeName(estMPEG2Video), "MPEG2 Video");
    EXPECT_EQ(StreamTypeName(estMPEG1Audio), "MPEG1 Audio");
    EXPECT_EQ(StreamTypeName(estMP3), "MP3 Audio");
    EXPECT_EQ(StreamTypeName(estH264), "H264 Video");
    EXPECT_EQ(StreamTypeName(astMPEG4), "MPEG4 Video");
    EXPECT_EQ(StreamTypeName(estTeletext), "Teletext");
    EXPECT_EQ(StreamTypeName(estSubTitles), "Subtitles");
    EXPECT_EQ(StreamTypeName(estAC3), "AC3 Audio");
}
