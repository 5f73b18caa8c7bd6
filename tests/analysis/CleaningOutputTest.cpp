// The cleaned copy of every reference recording. Each is checked for what it
// must hold on its own terms: our own look at its packets (structure, the
// streams its PMT names, per-stream packet counts against the recording, the
// PCRs and PTSs the recording carries, moved by one offset or not at all) and
// the outside decoder. Beside that, its digest: a change to the cleaning pass
// that is meant to keep its output (restructuring, speed) must keep these. A
// deliberate change of the output updates the digest of the recordings it
// affects, with the reason in the commit (h264_aac_eac3: its E-AC-3 stream of
// type 0x87 is carried now; m2ts_192: its MPEG audio, declared as private
// data without a descriptor, is carried now; h264_ac3_mp2 damaged: the packet
// behind the garbage in the middle is found again and carried).
#include "CleaningTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

using namespace tw;
using namespace tw::cleantest;

namespace {

// How the recording is taken before and during the pass.
// Every question is answered Yes (the wrap removed) but in vWrapDeclined.
enum TVariant { vPlain, vDamaged, vCutAndService, vWrapDeclined, vDuplicates };

struct TGolden {
    const char* File;
    TVariant Variant;
    const char* Digest; // FNV-1a 64 of the output, with its size; none for the rows without one
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
    {"m2ts_192.m2ts", vPlain, "6ACC98F1CFC2A879/61476"},
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
    {"analysis/h264_ac3_mp2.ts", vDamaged, "31A982C3A5DC0D1A/276924"},
    {"cleaning/h264_ac3_cbr.ts", vCutAndService, "662C059B3586F28C/138180"},
    {"analysis/mpeg2_mp2.ts", vCutAndService, "2C060706AF6B3728/227480"},
    {"pts_wrap.ts", vWrapDeclined, nullptr},
    {"analysis/pcr_wrap.ts", vWrapDeclined, nullptr},
    {"cleaning/h264_ac3_cbr.ts", vDuplicates, "753B3B3A9D6CA35B/263952"},
};

class CleaningOutput : public ::testing::TestWithParam<TGolden> {};

// The clock fields of a recording per PID, in file order (188-byte packets or
// 192-byte ones with a time code in front).
struct TStamps {
    std::map<int, std::vector<int64_t>> Pts, Pcr90;
};

TStamps StampsOf(const Bytes& b)
{
    TStamps s;
    const bool m2ts = b.size() > 196 && b[0] != 0x47 && b[4] == 0x47 && b[196] == 0x47;
    const size_t size = m2ts ? 192 : 188;
    for (size_t i = m2ts ? 4 : 0; i + 188 <= b.size(); i += size) {
        const uint8_t* p = b.data() + i;
        if (p[0] != 0x47 || (p[1] & 0x80))
            continue;
        int64_t pcr, escr, dts, pts;
        if (ReadPacketPcr(p, pcr))
            s.Pcr90[Pid(p)].push_back(pcr / 300);
        if (ReadPacketTimestamps(p, escr, dts, pts) && pts >= 0)
            s.Pts[Pid(p)].push_back(pts);
    }
    return s;
}

bool RunsBackwards(const std::vector<int64_t>& v)
{
    for (size_t i = 1; i < v.size(); ++i)
        if (v[i] < v[i - 1])
            return true;
    return false;
}

int64_t Mod33(int64_t v) { return ((v % kPtsModulus) + kPtsModulus) % kPtsModulus; }

void ExpectWhatTheCopyMustHold(Road& road, const TGolden& g, const std::string& recording, const std::string& out)
{
    const OutputCheck c = CheckOutput(out);
    EXPECT_TRUE(c.WholePackets);
    EXPECT_TRUE(c.AllSync);
    EXPECT_EQ(c.ContinuityErrors, 0);
    EXPECT_EQ(c.PatCrcErrors + c.PmtCrcErrors, 0);
    EXPECT_EQ(c.FirstPatPacket, 0);
    EXPECT_EQ(c.FirstPmtPacket, 1);

    // The stream set: exactly the streams the rebuilt PMT names, each one a
    // stream of the recording (under its new PID where it was remapped).
    const TAnalysisTables& t = road.engine->Tables();
    auto originalPid = [&t](int pid) {
        for (int i = 0; i < t.FoundStreamCount; ++i)
            if (t.FoundStreams[i].ReplacementPid == pid)
                return t.FoundStreams[i].Pid;
        return pid;
    };
    std::set<int> carried;
    for (int pid : c.Pids)
        if (pid != 0 && pid != c.PmtPid)
            carried.insert(pid);
    EXPECT_EQ(carried, std::set<int>(c.PmtStreamPids.begin(), c.PmtStreamPids.end())) << g.File;
    // The video always; audio streams as the analysis kept them.
    int videoPid = road.pass->VideoPid();
    const int videoIndex = t.FoundStreamIndex(videoPid);
    if (videoIndex >= 0 && t.FoundStreams[videoIndex].ReplacementPid >= 0)
        videoPid = t.FoundStreams[videoIndex].ReplacementPid;
    EXPECT_EQ(carried.count(videoPid), 1u) << g.File << " video PID " << videoPid;
    const std::map<int, int64_t> inCounts = PacketsPerPidOf(recording);
    // And every stream the settings keep, as an independent reading of the
    // recording finds them (not as the rebuilt PMT lists them): a copy that
    // lost a stream together with its PMT entry fails here.
    auto writtenPid = [&t](int pid) {
        const int k = t.FoundStreamIndex(pid);
        return k >= 0 && t.FoundStreams[k].ReplacementPid >= 0 ? t.FoundStreams[k].ReplacementPid : pid;
    };
    const std::map<int, int64_t> must = StreamsTheCopyMustHold(recording, c.PmtPid, c.ProgramNumber);
    EXPECT_FALSE(must.empty()) << g.File;
    for (const auto& [pid, n] : must)
        EXPECT_EQ(carried.count(writtenPid(pid)), 1u) << g.File << " stream PID " << pid << " is missing";
    const TStamps in = StampsOf(ReadFile(recording));
    const TStamps outStamps = StampsOf(ReadFile(out));
    const bool cut = g.Variant == vCutAndService;
    const bool damaged = g.Variant == vDamaged;
    // Packets lost to the damage done in the test, at most: every damaged
    // packet and the one each piece of garbage runs into.
    const int64_t lost = damaged ? 12 : 0;

    // The wrap is removed only where the recording's clock wraps and the
    // user agreed; then every stamp moves by one offset, else none moves.
    bool wraps = false;
    for (const auto& [pid, v] : in.Pcr90)
        wraps = wraps || RunsBackwards(v);
    const bool shifted = wraps && g.Variant != vWrapDeclined;
    std::set<int64_t> offsets;
    for (int pid : carried) {
        const int orig = originalPid(pid);
        const auto count = inCounts.find(orig);
        ASSERT_NE(count, inCounts.end()) << g.File << " PID " << pid;
        const int64_t n = c.PacketsPerPid.at(pid);
        if (cut) {
            EXPECT_LT(n, count->second) << g.File << " PID " << pid;
        } else {
            EXPECT_GE(n, count->second - lost) << g.File << " PID " << pid;
            EXPECT_LE(n, count->second) << g.File << " PID " << pid;
        }
        const auto stamps = [](const std::map<int, std::vector<int64_t>>& m, int pid) {
            const auto it = m.find(pid);
            return it == m.end() ? std::vector<int64_t>{} : it->second;
        };
        for (const bool pcrs : {false, true}) {
            const std::vector<int64_t> before = stamps(pcrs ? in.Pcr90 : in.Pts, orig);
            const std::vector<int64_t> after = stamps(pcrs ? outStamps.Pcr90 : outStamps.Pts, pid);
            if (shifted) {
                // Compared below: the same stamps, moved by one offset.
            } else if (cut || damaged) {
                // Every stamp written is one of the recording's.
                const std::set<int64_t> known(before.begin(), before.end());
                for (int64_t v : after)
                    EXPECT_EQ(known.count(v), 1u) << g.File << " PID " << pid << " stamp " << v;
            } else {
                EXPECT_EQ(after, before) << g.File << " PID " << pid;
            }
            if (shifted && !after.empty()) {
                EXPECT_EQ(after.size(), before.size()) << g.File << " PID " << pid;
                for (size_t i = 0; i < std::min(after.size(), before.size()); ++i)
                    offsets.insert(Mod33(before[i] - after[i]));
                if (pcrs)
                    EXPECT_FALSE(RunsBackwards(after)) << g.File << " PID " << pid;
            }
        }
    }
    if (shifted) {
        EXPECT_EQ(offsets.size(), 1u) << g.File;
        EXPECT_EQ(offsets.count(0), 0u) << g.File;
    }
    if (cut) {
        // The written clock starts at the cut-in and spans no more than the
        // cut range.
        for (const auto& [pid, v] : outStamps.Pcr90) {
            ASSERT_FALSE(v.empty());
            EXPECT_GE(v.front() - t.FirstPcr90k, road.pass->Options.CutIn) << g.File;
            EXPECT_LE(v.back() - v.front(), road.pass->Options.CutOut - road.pass->Options.CutIn) << g.File;
            EXPECT_FALSE(RunsBackwards(v)) << g.File;
        }
    }

    if (!HaveFfmpeg())
        return; // the outside decoder cannot run in this build
    // The outside decoder sees the same program and streams.
    const std::string probe = Probe(out, "program=program_id:stream=id");
    EXPECT_EQ(CountOccurrences(probe, "program_id="), 1) << probe;
    for (int pid : carried)
        EXPECT_NE(probe.find("id=0x" + LowerCase(IntToHex(pid, 1))), std::string::npos) << g.File << " " << probe;
    // Each stream once in its program and once in the list of streams.
    EXPECT_EQ(CountOccurrences(probe, "id=0x"), static_cast<int>(carried.size()) * 2) << probe;
    // The outside decoder finds each kept stream as what it is in the
    // recording (the audio as audio).
    const std::map<int, std::string> inTypes = ProbeCodecTypes(recording), outTypes = ProbeCodecTypes(out);
    for (const auto& [pid, n] : must) {
        const auto before = inTypes.find(pid);
        const auto after = outTypes.find(writtenPid(pid));
        ASSERT_NE(after, outTypes.end()) << g.File << " stream PID " << pid;
        if (before != inTypes.end())
            EXPECT_EQ(after->second, before->second) << g.File << " stream PID " << pid;
    }
    const std::string errors = DecodeErrors(out);
    EXPECT_EQ(errors.find("corrupt"), std::string::npos) << g.File << errors;
    if (!cut && !damaged) {
        EXPECT_EQ(errors, "") << g.File;
        EXPECT_EQ(VideoFrameCount(out), VideoFrameCount(recording)) << g.File;
    }
}

} // namespace

TEST_P(CleaningOutput, HoldsTheRecordingAndKeepsItsDigest)
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
    if (g.Variant == vWrapDeclined)
        road.host.Answers[TAnalysisQuestion::PcrWrap] = false;
    ASSERT_TRUE(road.Analyse(in));
    if (g.Variant == vCutAndService) {
        TAnalysisTables& t = road.engine->Tables();
        road.pass->Options.CutIn = t.Duration / 4;
        road.pass->Options.CutOut = t.Duration * 3 / 4;
        road.pass->Options.NewServiceId = 0x1234;
        ASSERT_GT(t.FoundStreamCount, 1);
        t.FoundStreams[1].ReplacementPid = 0x777;
        road.pass->Options.PidRemapCount = 1;
    }
    const TCleaningResult result = road.Clean(out);
    // Damage is reported as errors, and so are the streams of the programs a
    // copy of several leaves out; everything else is a plain success.
    const bool otherPrograms = test::ReadRecordingStreams(in).Programs.size() > 1;
    EXPECT_EQ(result, g.Variant == vDamaged || otherPrograms ? TCleaningResult::SuccessWithErrors
                                                               : TCleaningResult::Success)
        << g.File;
    ExpectWhatTheCopyMustHold(road, g, DataFile(g.File), out);
    if (g.Digest)
        EXPECT_EQ(Digest(ReadFile(out)), g.Digest) << g.File;
}

namespace {
std::string GoldenName(const ::testing::TestParamInfo<TGolden>& info)
{
    static const char* const kVariantNames[] = {"", "_damaged", "_cut_service", "_wrap_declined", "_duplicates"};
    std::string n = std::string(info.param.File) + kVariantNames[info.param.Variant];
    for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return n;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Fixtures, CleaningOutput, ::testing::ValuesIn(kGoldens), GoldenName);
