// Packets sent twice in a row with the same counter, as the standard allows,
// in a recording made by ffmpeg: the copy keeps every other packet as it
// was, counter included, and either keeps the second sending as it is or
// (with the duplicate setting) drops it; neither is a continuity gap, while
// a real gap still is. A count restarted where the adaptation field flags a
// discontinuity is kept the same way.
#include "tests/analysis/CleaningTestSupport.h"

#include <cstring>

using namespace tw;
using namespace tw::cleantest;

namespace {

constexpr int kVideo = 0x100, kAudio = 0x101;

// A recording's packets with a chosen few sent twice in a row (the copy
// right behind its original), and the ones left out.
struct Repeated {
    Bytes File;
    size_t Repeats = 0;
};

Repeated WithRepeats(const Bytes& in, const std::set<size_t>& repeat, const std::set<size_t>& lose = {})
{
    Repeated r;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        if (lose.count(i))
            continue;
        const auto p = in.begin() + static_cast<long>(i * 188);
        r.File.insert(r.File.end(), p, p + 188);
        if (repeat.count(i)) {
            r.File.insert(r.File.end(), p, p + 188);
            ++r.Repeats;
        }
    }
    return r;
}

// Every packet of the PIDs given, in file order.
std::vector<Bytes> PacketsOf(const Bytes& file, const std::set<int>& pids)
{
    std::vector<Bytes> v;
    for (size_t i = 0; i + 188 <= file.size(); i += 188)
        if (pids.count(Pid(file.data() + i)))
            v.emplace_back(file.begin() + static_cast<long>(i), file.begin() + static_cast<long>(i + 188));
    return v;
}

// 25 video packets (payload starts among them) and 3 audio packets, none
// with a PCR, spread over the recording.
std::set<size_t> ChosenRepeats(const Bytes& in)
{
    std::set<size_t> chosen;
    std::vector<size_t> video, audio, starts;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        const uint8_t* p = in.data() + i * 188;
        int64_t pcr;
        if (!((p[3] >> 4) & 1) || ReadPacketPcr(p, pcr))
            continue;
        if (Pid(p) == kVideo)
            ((p[1] & 0x40) ? starts : video).push_back(i);
        else if (Pid(p) == kAudio)
            audio.push_back(i);
    }
    EXPECT_GT(video.size(), 1000u);
    EXPECT_GT(starts.size(), 10u);
    EXPECT_GT(audio.size(), 100u);
    for (size_t k = 0; k < 5 && k * 7 < starts.size(); ++k)
        chosen.insert(starts[k * 7]);
    for (size_t k = 1; chosen.size() < 25; ++k)
        chosen.insert(video[k * 80 % video.size()]);
    for (size_t k : {10u, 50u, 90u})
        chosen.insert(audio[k]);
    return chosen;
}

struct CleanedCopy {
    TCleaningResult Result = TCleaningResult::Failed;
    Bytes Out;
    std::string Log;
};

CleanedCopy Clean(const Bytes& recording, bool duplicateHandling, const std::string& tag)
{
    const std::string in = TempName(tag + "_in");
    const std::string out = TempName(tag + "_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    WriteFile(in, recording);
    Road road;
    road.host.DuplicateHandling = duplicateHandling;
    CleanedCopy c;
    EXPECT_TRUE(road.Analyse(in)) << AllLog();
    c.Result = road.Clean(out);
    c.Out = ReadFile(out);
    c.Log = AllLog();
    return c;
}

} // namespace

// Without the duplicate setting every packet of the streams, the repeats
// among them, reaches the copy exactly as it was: no counter rewritten, none
// of the later packets renumbered, no gap reported.
TEST(RepeatedPackets, TheCopyKeepsEveryPacketAndCounterAsItWas)
{
    const Bytes original = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    const Repeated in = WithRepeats(original, ChosenRepeats(original));
    ASSERT_EQ(in.Repeats, 28u);
    const CleanedCopy c = Clean(in.File, false, "repeats_kept");
    EXPECT_EQ(c.Result, TCleaningResult::Success) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Starting correction of TS packet ContinuityCounter"), 0) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Paket discontinuity"), 0) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "PES ERROR"), 0) << c.Log;
    const std::vector<Bytes> want = PacketsOf(in.File, {kVideo, kAudio});
    const std::vector<Bytes> got = PacketsOf(c.Out, {kVideo, kAudio});
    ASSERT_EQ(got.size(), want.size());
    size_t changed = 0, firstChanged = want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (got[i] != want[i]) {
            ++changed;
            firstChanged = std::min(firstChanged, i);
        }
    EXPECT_EQ(changed, 0u) << "first changed stream packet: " << firstChanged;
}

// With the duplicate setting the second sendings are dropped, in the
// video's PES packets without a length as in the audio's with one, and
// nothing else: the copy's streams are the recording's without the repeats.
TEST(RepeatedPackets, TheDuplicateSettingDropsTheSecondSendingsOnly)
{
    const Bytes original = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    const Repeated in = WithRepeats(original, ChosenRepeats(original));
    const CleanedCopy c = Clean(in.File, true, "repeats_dropped");
    EXPECT_EQ(c.Result, TCleaningResult::Success) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Deleting repeated paket $"), 28) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Starting correction of TS packet ContinuityCounter"), 0) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Paket discontinuity"), 0) << c.Log;
    EXPECT_TRUE(PacketsOf(c.Out, {kVideo, kAudio}) == PacketsOf(original, {kVideo, kAudio}));
}

// A real gap among the repeats is still one gap: reported once, and its
// repair renumbers from there as before, while the repeats keep the counter
// of the packet they repeat.
TEST(RepeatedPackets, ARealGapAmongRepeatsIsStillReportedAndRepaired)
{
    const Bytes original = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    std::set<size_t> repeats = ChosenRepeats(original);
    // Lose an audio packet between two repeated ones.
    std::vector<size_t> audio;
    for (size_t i = 0; i < original.size() / 188; ++i)
        if (Pid(original.data() + i * 188) == kAudio && !repeats.count(i))
            audio.push_back(i);
    const size_t lost = audio[70];
    const Repeated in = WithRepeats(original, repeats, {lost});
    const CleanedCopy c = Clean(in.File, false, "repeats_gap");
    EXPECT_EQ(CountOccurrences(c.Log, "Paket discontinuity"), 1) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "TS  WARNING: For PID 0101 $"), 1) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Starting correction of TS packet ContinuityCounter for PID 0101"), 1) << c.Log;
    // In the copy the audio counts on without a break; each repeat carries
    // its original's counter; the video is untouched.
    int last = -1, breaks = 0, sameAsBefore = 0;
    for (const Bytes& p : PacketsOf(c.Out, {kAudio})) {
        const int cc = p[3] & 15;
        if (last >= 0 && cc == last)
            ++sameAsBefore;
        else if (last >= 0 && cc != ((last + 1) & 15))
            ++breaks;
        last = cc;
    }
    EXPECT_EQ(breaks, 0);
    EXPECT_EQ(sameAsBefore, 3);
    EXPECT_TRUE(PacketsOf(c.Out, {kVideo}) == PacketsOf(in.File, {kVideo}));
}

// A packet whose adaptation field flags a discontinuity may restart the
// count: the video's counter jumps there (every later video packet moved on
// by 5), and the copy keeps every packet as it was, with no gap reported.
TEST(RepeatedPackets, AFlaggedRestartOfTheCountIsKept)
{
    const Bytes original = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    Bytes in = original;
    size_t flagged = 0, seen = 0;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        uint8_t* p = in.data() + i * 188;
        if (Pid(p) != kVideo)
            continue;
        ++seen;
        if (!flagged && seen > 500 && ((p[3] >> 4) & 3) == 3 && p[4] > 0 && ((p[3] >> 4) & 1)) {
            p[5] |= 0x80;
            flagged = i;
        }
        if (flagged)
            p[3] = static_cast<uint8_t>((p[3] & 0xF0) | ((p[3] + 5) & 15));
    }
    ASSERT_GT(flagged, 0u);
    const CleanedCopy c = Clean(in, false, "flagged_restart");
    EXPECT_EQ(c.Result, TCleaningResult::Success) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Paket discontinuity"), 0) << c.Log;
    EXPECT_EQ(CountOccurrences(c.Log, "Starting correction of TS packet ContinuityCounter"), 0) << c.Log;
    EXPECT_TRUE(PacketsOf(c.Out, {kVideo, kAudio}) == PacketsOf(in, {kVideo, kAudio}));
}

// A packet with a PCR may be sent twice as well, the second sending with a
// later clock. Both sendings reach the copy with their counter,
// with or without the duplicate setting, and the second clock sample is no
// fault of the clock.
TEST(RepeatedPackets, ARepeatedPacketWithAClockIsKeptWithItsCounter)
{
    const Bytes original = ReadFile(DataFile("analysis/mpeg2_mp2.ts"));
    ASSERT_FALSE(original.empty());
    std::set<size_t> withPcr;
    for (size_t i = 0; i < original.size() / 188; ++i) {
        const uint8_t* p = original.data() + i * 188;
        int64_t pcr;
        if (((p[3] >> 4) & 1) && ReadPacketPcr(p, pcr) && i % 3 == 0)
            withPcr.insert(i);
    }
    ASSERT_GT(withPcr.size(), 5u);
    Repeated in = WithRepeats(original, withPcr);
    // Each second sending carries the clock one 27 MHz tick later (the base
    // one 90 kHz tick later, the extension as it was).
    for (size_t i = 188; i + 188 <= in.File.size(); i += 188) {
        uint8_t* p = in.File.data() + i;
        int64_t pcr;
        if (!ReadPacketPcr(p, pcr) || std::memcmp(p, p - 188, 6) != 0)
            continue;
        const uint64_t base = ((uint64_t(p[6]) << 25) | (uint64_t(p[7]) << 17) | (uint64_t(p[8]) << 9) |
                               (uint64_t(p[9]) << 1) | (p[10] >> 7)) + 1;
        p[6] = uint8_t(base >> 25);
        p[7] = uint8_t(base >> 17);
        p[8] = uint8_t(base >> 9);
        p[9] = uint8_t(base >> 1);
        p[10] = uint8_t((p[10] & 0x7F) | ((base & 1) << 7));
        i += 188;
    }
    for (bool duplicateHandling : {false, true}) {
        const CleanedCopy c = Clean(in.File, duplicateHandling, duplicateHandling ? "pcr_repeats_on" : "pcr_repeats");
        EXPECT_EQ(c.Result, TCleaningResult::Success) << c.Log;
        EXPECT_EQ(CountOccurrences(c.Log, "Deleting repeated paket $"), 0) << c.Log;
        EXPECT_EQ(CountOccurrences(c.Log, "Paket discontinuity"), 0) << c.Log;
        EXPECT_EQ(CountOccurrences(c.Log, "Starting correction of TS packet ContinuityCounter"), 0) << c.Log;
        EXPECT_EQ(CountOccurrences(c.Log, "PCR"), CountOccurrences(Clean(original, duplicateHandling, "pcr_plain").Log, "PCR"))
            << c.Log;
        EXPECT_TRUE(PacketsOf(c.Out, {kVideo, kAudio}) == PacketsOf(in.File, {kVideo, kAudio}));
    }
}
