// The analysers against ffprobe's view of small recordings made by ffmpeg
// (tests/data/es, see make-es-fixtures.sh there): the whole chain from the
// packet reader through the PES readers to the analysers, as the main window
// wires it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>

#include "tests/support/EsBuilder.h"
#include "tests/support/Fixtures.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSStreamType.h"

using namespace tw;
using namespace tw::test;

namespace {

struct Fixture {
    const char* name;
    TEsStreamType video;
    TEsStreamType audio;
};

const Fixture kFixtures[] = {
    {"mpeg2_sd43_mp2", estMPEG2Video, estMPEG1Audio},
    {"mpeg2_sd169_ac3", estMPEG2Video, estAC3},
    {"h264_1080i25_ac3_51", estH264, estAC3},
    {"h264_720p50_fullrange_ac3_441", estH264, estAC3},
    {"h264_1080p25_eac3_51", estH264, estEAC3},
    // Layer II at 192 kbit/s without CRC (FF FD A4), as most encoders write it.
    {"h264_720p25_main_mp2", estH264, estMPEG1Audio},
    {"h264_576i25_ac3_640", estH264, estAC3},
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.name; }

double Rate(const std::string& fraction) {
    int num = 0, den = 1;
    std::sscanf(fraction.c_str(), "%d/%d", &num, &den);
    return den ? static_cast<double>(num) / den : 0;
}

// One recording through packet reader, two PES readers, two sniffers and the
// analysers of its types, wired through Loaded as a window layout does.
struct Chain {
    TComponent owner{nullptr};
    TTSPacketReader* reader = new TTSPacketReader(&owner);
    TTSPesReader* videoPes = new TTSPesReader(&owner);
    TTSPesReader* audioPes = new TTSPesReader(&owner);
    TTSStreamTypeReader* videoSniffer = new TTSStreamTypeReader(&owner);
    TTSStreamTypeReader* audioSniffer = new TTSStreamTypeReader(&owner);
    TTSMPEG2Reader* mpeg2 = new TTSMPEG2Reader(&owner);
    TTSH264Reader* h264 = new TTSH264Reader(&owner);
    TTSAC3Reader* ac3 = new TTSAC3Reader(&owner);
    int crcErrors = 0;
    int h264Errors = 0;
    int spsSeen = 0;
    int flagBitsChecked = 0;
    int flagBitsSet = 0;
    Bytes file;

    Chain(const std::string& ts, int videoPid, int audioPid) {
        file = ReadFileBytes(ts);
        reader->SetFileName(ts);
        videoPes->SetTSPacketReader(reader);
        videoPes->SetPID(videoPid);
        audioPes->SetTSPacketReader(reader);
        audioPes->SetPID(audioPid);
        videoSniffer->SetTSPesReader(videoPes);
        audioSniffer->SetTSPesReader(audioPes);
        mpeg2->SetTSPesReader(videoPes);
        h264->SetTSPesReader(videoPes);
        ac3->SetTSPesReader(audioPes);
        ac3->OnCRCError = [this](TObject*, int, int64_t, int64_t) { ++crcErrors; };
        h264->OnH264Error = [this](TObject*, int64_t, TH264ErrorType, int64_t, int64_t, int64_t) { ++h264Errors; };
        // Where the analyser says the flag is, the recording must hold it:
        // map it to its transport packet as the cleaning pass does.
        h264->OnSequenceParameterSet = [this](TObject*, int64_t) {
            ++spsSeen;
            const int bit = h264->VideoFullRangeFlagPesBit();
            if (bit <= 0) return;
            int64_t packet;
            uint8_t offset;
            ASSERT_TRUE(videoPes->PacketOfPESOffset(bit / 8, packet, offset));
            const size_t at = static_cast<size_t>(packet) * 188 + offset;
            ASSERT_LT(at, file.size());
            const bool set = (file[at] >> (7 - bit % 8)) & 1;
            ++flagBitsChecked;
            flagBitsSet += set;
            EXPECT_EQ(set, h264->VideoFullRangeFlag());
        };
        owner.LoadTree();
        for (TComponent* c : {static_cast<TComponent*>(videoPes), static_cast<TComponent*>(audioPes)})
            static_cast<TTSPesReader*>(c)->SetActive(true);
        videoSniffer->SetActive(true);
        audioSniffer->SetActive(true);
        mpeg2->SetActive(true);
        h264->SetActive(true);
        ac3->SetActive(true);
    }
    void Run() {
        reader->SetActive(true);
        ASSERT_TRUE(reader->Active());
        while (!reader->Eof()) reader->Next();
    }
};

} // namespace

class EsFixtures : public ::testing::TestWithParam<Fixture> {};

TEST_P(EsFixtures, AnalysersAgreeWithFfprobe) {
    const Fixture& fx = GetParam();
    const std::string base = TestDataDir() + "/es/" + fx.name;
    const JsonValue probe = LoadJsonFile(base + ".json");
    const JsonValue& streams = probe["streams"];
    ASSERT_EQ(streams.Size(), 2u);
    const JsonValue& v = streams[0];
    const JsonValue& a = streams[1];
    ASSERT_EQ(v["codec_type"].AsString(), "video");

    Chain c(base + ".ts", v["id"].AsInt(), a["id"].AsInt());
    c.Run();

    EXPECT_EQ(c.videoSniffer->VotedStreamType(), fx.video);
    EXPECT_EQ(c.audioSniffer->VotedStreamType(), fx.audio);
    EXPECT_GT(c.videoPes->PESPacketCount(), 3);

    const std::string codec = v["codec_name"].AsString();
    const bool interlaced = v["field_order"].AsString() != "progressive";
    if (codec == "mpeg2video") {
        const TTSMPEG2VideoInfo& i = *c.mpeg2->MPEG2VideoInfo();
        EXPECT_EQ(i.Resolution_H(), v["width"].AsInt());
        EXPECT_EQ(i.Resolution_V(), v["height"].AsInt());
        EXPECT_DOUBLE_EQ(i.FramesPerSecond(), Rate(v["r_frame_rate"].AsString()));
        std::string aspect = v["display_aspect_ratio"].AsString();
        aspect[aspect.find(':')] = '/';
        EXPECT_EQ(i.AspectRatio(), aspect);
        EXPECT_EQ(v["profile"].AsString(), "Main");
        EXPECT_EQ(i.Profile(), 4);
        EXPECT_EQ(i.Level(), v["level"].AsInt());
    } else {
        ASSERT_EQ(codec, "h264");
        const TTSH264VideoInfo& i = *c.h264->H264VideoInfo();
        EXPECT_GT(c.spsSeen, 0);
        EXPECT_EQ(c.h264Errors, 0);
        EXPECT_FALSE(c.h264->Sps().Bad);
        EXPECT_EQ(i.Resolution_H(), v["width"].AsInt());
        // Cropping is not applied: the coded height in whole macroblock pairs.
        const int unit = interlaced ? 32 : 16;
        EXPECT_EQ(i.Resolution_V(), (v["coded_height"].AsInt() + unit - 1) / unit * unit);
        EXPECT_EQ(i.Interlaced(), interlaced);
        EXPECT_EQ(i.Profile(), v["profile"].AsString());
        EXPECT_NEAR(i.Level() * 10, v["level"].AsInt(), 1e-9);
        EXPECT_DOUBLE_EQ(i.FramesPerSecond(), Rate(v["r_frame_rate"].AsString()));
        const bool fullRange = v["color_range"].AsString() == "pc";
        EXPECT_EQ(c.h264->VideoFullRangeFlag(), fullRange);
        // x264 writes a video signal type only when the range is not the default.
        if (fullRange) EXPECT_GT(c.flagBitsSet, 0);
        EXPECT_EQ(c.flagBitsSet, fullRange ? c.flagBitsChecked : 0);
        EXPECT_EQ(c.mpeg2->Synched(), false);
    }

    const std::string audio = a["codec_name"].AsString();
    if (audio == "ac3" || audio == "eac3") {
        const TTSAC3Frame& f = *c.ac3->AC3Frame();
        EXPECT_GT(c.ac3->AC3FrameCount(), 3);
        EXPECT_EQ(c.crcErrors, 0);
        EXPECT_EQ(f.EAC3(), audio == "eac3");
        EXPECT_EQ(SamplingRateHz(f.SamplingRate()), std::stoi(a["sample_rate"].AsString()));
        EXPECT_EQ(TTSAC3Reader::ChannelsFromAudioMode(f.AC3AudioMode()), a["channels"].AsInt());
        EXPECT_EQ(f.BitRate() * 1000, std::stoi(a["bit_rate"].AsString()));
    } else {
        EXPECT_EQ(c.ac3->AC3FrameCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Recordings, EsFixtures, ::testing::ValuesIn(kFixtures),
                         [](const ::testing::TestParamInfo<Fixture>& i) { return std::string(i.param.name); });
