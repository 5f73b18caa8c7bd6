// The cleaned copy of every reference recording, byte for byte: a change to
// the cleaning pass that is meant to keep its output (restructuring, speed)
// must keep these digests. A deliberate change of the output updates the
// digest of the recordings it affects, with the reason in the commit
// (h264_aac_eac3: its E-AC-3 stream of type 0x87 is carried now).
#include "CleaningTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;
using namespace tw::cleantest;

namespace {

// How the recording is taken before and during the pass.
enum TVariant { vPlain, vDamaged, vCutAndService, vTimerPatch, vDuplicates };

struct TGolden {
    const char* File;
    TVariant Variant;
    const char* Digest; // FNV-1a 64 of the output, with its size
};

std::string Digest(const Bytes& b)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t v : b) {
        h ^= v;
        h *= 1099511628211ull;
    }
    return IntToHex(static_cast<int64_t>(h >> 32), 8) + IntToHex(static_cast<int64_t>(h & 0xFFFFFFFFu), 8) + "/" +
           IntToStr(static_cast<int64_t>(b.size()));
}

const TGolden kGoldens[] = {
    {"h264_ac3.ts", vPlain, "443C50B41096608D/79524"},
    {"m2ts_192.m2ts", vPlain, "6E088A539122BAA6/48692"},
    {"mpeg2_mp2.ts", vPlain, "26126F9E10DB0686/115432"},
    {"pts_wrap.ts", vPlain, "39AB1C3A872BB8D4/115432"},
    {"two_programs.ts", vPlain, "806DC46778047F70/61476"},
    {"analysis/h264_aac_eac3.ts", vPlain, "762FC937A545F641/160740"},
    {"analysis/h264_ac3_mp2.ts", vPlain, "4B30FDDCCCE7EB5A/278052"},
    {"analysis/m2ts_192.m2ts", vPlain, "D74CC65418E18080/100956"},
    {"analysis/mpeg2_mp2.ts", vPlain, "127BC08382EBC606/485416"},
    {"analysis/pcr_wrap.ts", vPlain, "635EB817BB39887B/100956"},
    {"analysis/two_programs.ts", vPlain, "18BFAFF973808F9F/364908"},
    {"cleaning/h264_ac3_cbr.ts", vPlain, "753B3B3A9D6CA35B/263952"},
    {"cleaning/h264_fullrange.ts", vPlain, "4777205F7A1A38C8/121824"},
    {"cleaning/h264_ac3_cbr.ts", vDamaged, "088BFBE4135FD91C/263388"},
    {"analysis/h264_ac3_mp2.ts", vDamaged, "AF3A57820D93564B/276736"},
    {"cleaning/h264_ac3_cbr.ts", vCutAndService, "662C059B3586F28C/138180"},
    {"analysis/mpeg2_mp2.ts", vCutAndService, "2C060706AF6B3728/227480"},
    {"pts_wrap.ts", vTimerPatch, "39AB1C3A872BB8D4/115432"},
    {"analysis/pcr_wrap.ts", vTimerPatch, "635EB817BB39887B/100956"},
    {"cleaning/h264_ac3_cbr.ts", vDuplicates, "753B3B3A9D6CA35B/263952"},
};

class CleaningOutput : public ::testing::TestWithParam<TGolden> {};

} // namespace

TEST_P(CleaningOutput, IsByteIdenticalToTheReference)
{
    const TGolden g = GetParam();
    Road road;
    const std::string out = TempName("golden");
    Cleanup cleanup{{out, ChangeFileExt(out, ".log")}};
    std::string in = DataFile(g.File);
    if (g.Variant == vDamaged || g.Variant == vDuplicates) {
        const Bytes plain = ReadFile(in);
        Damage d;
        if (g.Variant == vDamaged) {
            d.LeadingGarbage = 77;
            d.MidGarbageAtPacket = 400;
            d.MidGarbage = 61;
            d.BitErrorPackets = {30, 31, 500, 900};
            d.TransportErrorPackets = {120, 121, 700};
            d.LostPackets = {250, 800};
            d.TruncateTail = 50;
        } else {
            const std::vector<size_t> video = PayloadPacketsOf(plain, 0x100);
            for (size_t i = 10; i < video.size() && d.RepeatedPackets.size() < 5; i += 97)
                d.RepeatedPackets.push_back(video[i]);
            road.host.DuplicateHandling = true;
        }
        in = TempName("golden_in");
        cleanup.Files.push_back(in);
        WriteFile(in, Damaged(plain, d));
    }
    if (g.Variant == vTimerPatch)
        road.host.TimerPatchMode = 2;
    ASSERT_TRUE(road.Analyse(in));
    if (g.Variant == vCutAndService) {
        TAnalysisTables& t = road.engine->Tables();
        road.pass->Options.CutIn = t.Duration / 4;
        road.pass->Options.CutOut = t.Duration * 3 / 4;
        road.pass->Options.NewServiceId = 0x1234;
        ASSERT_GT(t.FoundStreamCount, 1);
        t.FoundStreams[1].ReplacementPid = 0x777;
    }
    road.Clean(out);
    EXPECT_EQ(Digest(ReadFile(out)), g.Digest) << g.File;
}

namespace {
std::string GoldenName(const ::testing::TestParamInfo<TGolden>& info)
{
    static const char* const kVariantNames[] = {"", "_damaged", "_cut_service", "_timer_patch", "_duplicates"};
    std::string n = std::string(info.param.File) + kVariantNames[info.param.Variant];
    for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Fixtures, CleaningOutput, ::testing::ValuesIn(kGoldens), GoldenName);
