// Packets sent twice in a row with the same counter, as the standard allows,
// in a recording made by ffmpeg: the copy keeps every other packet as it
// was, counter included, and either keeps the second sending as it is or
// (with the duplicate setting) drops it; neither is a continuity gap, while
// a real gap still is. A count restarted where the adaptation field flags a
// discontinuity is kept the same way.
#include "tests/analysis/CleaningTestSupport.h"
#include "analysis/TableSelection.h"
#include "tests/support/EsBuilder.h"
#include "ts/TSPmtReader.h"

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

namespace {

// Where one video_full_range_flag lies in a recording: the packet's index in
// the file, the byte in the packet and the bit's mask.
struct FlagAt {
    size_t Packet = 0;
    size_t Byte = 0;
    uint8_t Mask = 0;
};

// MSB-first reader of an SPS's bits with exp-Golomb codes; every bit read
// is mapped back to the byte of the recording that carries it.
class SpsBits {
public:
    SpsBits(const std::vector<uint8_t>& rbsp, const std::vector<size_t>& at) : rbsp_(rbsp), at_(at) {}
    uint32_t Bits(int n)
    {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k, ++pos_) {
            if (pos_ / 8 >= rbsp_.size()) {
                ok_ = false;
                return 0;
            }
            v = (v << 1) | ((rbsp_[pos_ / 8] >> (7 - pos_ % 8)) & 1u);
        }
        return v;
    }
    uint32_t Ue()
    {
        int zeros = 0;
        while (ok_ && Bits(1) == 0 && zeros < 32)
            ++zeros;
        return (1u << zeros) - 1 + Bits(zeros);
    }
    bool Ok() const { return ok_; }
    // The next bit's place in the recording.
    FlagAt Next() const
    {
        const size_t fileByte = at_[pos_ / 8];
        return {fileByte / 188, fileByte % 188, static_cast<uint8_t>(0x80 >> (pos_ % 8))};
    }

private:
    const std::vector<uint8_t>& rbsp_;
    const std::vector<size_t>& at_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Reads an SPS from after its NAL header up to video_full_range_flag (the
// syntax x264 writes: no scaling matrices); false when it carries no flag.
bool FullRangeFlagOf(SpsBits& b, FlagAt& flag)
{
    const uint32_t profile = b.Bits(8);
    b.Bits(16); // constraint flags, level_idc
    b.Ue();     // seq_parameter_set_id
    if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 || profile == 83 ||
        profile == 86 || profile == 118 || profile == 128) {
        if (b.Ue() == 3) // chroma_format_idc
            b.Bits(1);
        b.Ue();
        b.Ue();
        b.Bits(1);
        EXPECT_EQ(b.Bits(1), 0u) << "scaling matrices are not read here";
    }
    b.Ue(); // log2_max_frame_num_minus4
    const uint32_t pocType = b.Ue();
    if (pocType == 0)
        b.Ue();
    EXPECT_NE(pocType, 1u) << "picture order count type 1 is not read here";
    b.Ue();     // max_num_ref_frames
    b.Bits(1);  // gaps_in_frame_num_value_allowed_flag
    b.Ue();     // pic_width_in_mbs_minus1
    b.Ue();     // pic_height_in_map_units_minus1
    if (!b.Bits(1)) // frame_mbs_only_flag
        b.Bits(1);
    b.Bits(1); // direct_8x8_inference_flag
    if (b.Bits(1))
        for (int k = 0; k < 4; ++k)
            b.Ue();
    if (!b.Bits(1)) // vui_parameters_present_flag
        return false;
    if (b.Bits(1) && b.Bits(8) == 255) // aspect_ratio_info_present_flag, aspect_ratio_idc
        b.Bits(32);
    if (b.Bits(1)) // overscan_info_present_flag
        b.Bits(1);
    if (!b.Bits(1)) // video_signal_type_present_flag
        return false;
    b.Bits(3); // video_format
    flag = b.Next();
    b.Bits(1);
    return b.Ok();
}

// Every video_full_range_flag of the SPSs on a PID, read from the bytes with
// the standard's syntax (not through the program's readers): the payloads
// joined, each SPS found by its start code, emulation prevention taken out.
std::vector<FlagAt> FullRangeFlags(const Bytes& file, int pid)
{
    std::vector<uint8_t> es;
    std::vector<size_t> at;
    for (size_t i = 0; i + 188 <= file.size(); i += 188) {
        const uint8_t* p = file.data() + i;
        const int start = PacketPayloadStart(p);
        if (Pid(p) != pid || start < 0)
            continue;
        for (size_t k = static_cast<size_t>(start); k < 188; ++k) {
            es.push_back(p[k]);
            at.push_back(i + k);
        }
    }
    std::vector<FlagAt> flags;
    for (size_t k = 0; k + 4 < es.size(); ++k) {
        if (es[k] != 0 || es[k + 1] != 0 || es[k + 2] != 1 || (es[k + 3] & 0x9F) != 7)
            continue;
        std::vector<uint8_t> rbsp;
        std::vector<size_t> rbspAt;
        int zeros = 0;
        for (size_t q = k + 4; q < es.size() && rbsp.size() < 64; ++q) {
            if (zeros >= 2 && es[q] == 3) {
                zeros = 0;
                continue;
            }
            zeros = es[q] == 0 ? zeros + 1 : 0;
            rbsp.push_back(es[q]);
            rbspAt.push_back(at[q]);
        }
        SpsBits bits(rbsp, rbspAt);
        FlagAt flag;
        if (FullRangeFlagOf(bits, flag))
            flags.push_back(flag);
    }
    return flags;
}

} // namespace

// The packet that holds an SPS's video_full_range_flag sent twice: with the
// user's Yes to the flag's correction both sendings lose the flag alike, so
// the second is still a byte-for-byte repeat of the first with its counter,
// and a decoder that keeps either sees the flag cleared. The packet after a
// flag's packet sent once is another packet and keeps its bytes; nothing
// else in the copy changes either, with the duplicate setting or without it
// (these packets carry the clock, so the setting keeps their repeats).
TEST(RepeatedPackets, TheFullRangeCorrectionReachesBothSendingsOfTheFlagsPacket)
{
    constexpr int kH264 = 0x200, kMp2 = 0x201;
    const Bytes original = ReadFile(DataFile("cleaning/h264_fullrange.ts"));
    ASSERT_FALSE(original.empty());
    const std::vector<FlagAt> flags = FullRangeFlags(original, kH264);
    ASSERT_EQ(flags.size(), 3u);
    for (const FlagAt& f : flags)
        ASSERT_TRUE(original[f.Packet * 188 + f.Byte] & f.Mask) << "the fixture signals full range";
    // The first and the last flag's packets are sent twice, the middle one once.
    const std::set<size_t> repeat = {flags[0].Packet, flags[2].Packet};
    const Repeated in = WithRepeats(original, repeat);
    ASSERT_EQ(in.Repeats, 2u);
    // The copy must be the recording with each flag cleared in the packet
    // that holds it and in its second sending, right behind it.
    Bytes want = in.File;
    size_t shift = 0;
    for (const FlagAt& f : flags) {
        const size_t sendings = repeat.count(f.Packet) ? 2 : 1;
        for (size_t k = 0; k < sendings; ++k)
            want[(f.Packet + shift + k) * 188 + f.Byte] &= static_cast<uint8_t>(~f.Mask);
        shift += sendings - 1;
    }
    // Read again, each repeated flag is found twice: in the packet and in its repeat.
    ASSERT_EQ(FullRangeFlags(want, kH264).size(), 5u);
    for (const bool duplicateHandling : {false, true}) {
        SCOPED_TRACE(duplicateHandling ? "with the duplicate setting" : "without the duplicate setting");
        const std::string inName = TempName("fullrange_repeat_in");
        const std::string out = TempName("fullrange_repeat_out");
        Cleanup cleanup{{inName, out, ChangeFileExt(out, ".log")}};
        WriteFile(inName, in.File);
        Road road;
        road.host.DuplicateHandling = duplicateHandling;
        road.host.Answers[TAnalysisQuestion::VideoFullRange] = true;
        ASSERT_TRUE(road.Analyse(inName)) << AllLog();
        EXPECT_EQ(road.Clean(out), TCleaningResult::Success) << AllLog();
        const std::string log = AllLog();
        EXPECT_NE(log.find("Changed Sequence Parameter Sets: 3 of 3"), std::string::npos) << log;
        EXPECT_EQ(CountOccurrences(log, "Deleting repeated paket $"), 0) << log;
        const Bytes copy = ReadFile(out);
        const std::vector<Bytes> got = PacketsOf(copy, {kH264, kMp2});
        const std::vector<Bytes> expected = PacketsOf(want, {kH264, kMp2});
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_TRUE(got[i] == expected[i]) << "stream packet " << i << " of the copy";
        // Both second sendings follow their originals as exact copies,
        // counter included.
        size_t repeatsSeen = 0;
        for (size_t i = 1; i < got.size(); ++i)
            if (got[i] == got[i - 1])
                ++repeatsSeen;
        EXPECT_EQ(repeatsSeen, 2u);
        const std::vector<FlagAt> copied = FullRangeFlags(copy, kH264);
        EXPECT_EQ(copied.size(), 5u);
        for (const FlagAt& f : copied)
            EXPECT_FALSE(copy[f.Packet * 188 + f.Byte] & f.Mask) << "flag left set in packet " << f.Packet;
    }
}

// A program's table over three packets, one of them sent twice in every
// sending: the selection reads the table to its end and keeps it.
TEST(RepeatedPackets, AProgramsTableOverSeveralPacketsWithOneSentTwiceIsKept)
{
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE("repeated packet " + std::to_string(which));
        std::vector<test::PmtStream> streams{{2, 0x101, {}}, {3, 0x102, {}}};
        for (int k = 0; k < 35; ++k)
            streams.push_back({6, 0x300 + k, test::LanguageDescriptor("deu")});
        Cleanup cleanup;
        test::TsStream s;
        int64_t pts = 900000;
        for (int k = 0; s.PacketCount() < 3000; ++k) {
            if (k % 25 == 0) {
                s.AddPat({{1, 0x100}});
                const size_t before = s.PacketCount();
                s.AddPmt(0x100, 1, 0x101, streams);
                ASSERT_EQ(s.PacketCount() - before, 3u);
                s.Repeat(before + static_cast<size_t>(which));
            }
            s.AddPes(0x101, test::PesPacket(0xE0, test::Mpeg2VideoFrame(), pts), (pts - 9000) * 300);
            s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
            pts += 3600;
        }
        const std::string in = TempName("dup" + std::to_string(which));
        s.Save(in);
        cleanup.Files.push_back(in);
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_TRUE(HasLine("CRC OK!")) << AllLog();
        EXPECT_FALSE(HasLine("PES Error: Invalid PMT. Ignoring this PMT!")) << AllLog();
        // The recording's own table is kept, not one made up in its place.
        EXPECT_FALSE(HasLine("--- PAT/PMT creation mode ---")) << AllLog();
        EXPECT_EQ(road.engine->Selection().Pmt().PMTEntryCount(), 2) << AllLog();
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x102));
    }
}
