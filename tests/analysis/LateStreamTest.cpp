// A stream the program's table lists but whose first packet comes only after
// the part of a recording the analysis scans for PIDs (its first 100,000
// packets): a late audio description or subtitle track. The copy goes without
// it, so the pass must name it and must not end with a plain success.
#include "CleaningTestSupport.h"

#include <gtest/gtest.h>

using namespace tw;
using namespace tw::cleantest;

namespace {

constexpr int kVideoPid = 0x210;
constexpr int kSoundPid = 0x211;
constexpr size_t kFill = 101000; // null packets, more than the PID scan reads

// The reference recording (MPEG-2 video, MP2 sound, muxed by ffmpeg) with
// kFill null packets in front of its first sound packet; with `withoutSound`
// its sound packets are taken out as well, so that the table lists a stream
// the recording never carries.
Bytes SoundAfterTheScannedPart(const Bytes& src, bool withoutSound)
{
    Bytes nul(188, 0xFF);
    nul[0] = 0x47;
    nul[1] = 0x1F;
    nul[2] = 0xFF;
    nul[3] = 0x10;
    Bytes out;
    out.reserve(src.size() + kFill * 188);
    bool filled = false;
    for (size_t i = 0; i + 188 <= src.size(); i += 188) {
        const uint8_t* p = src.data() + i;
        if (Pid(p) == kSoundPid) {
            if (!filled)
                for (size_t k = 0; k < kFill; ++k)
                    out.insert(out.end(), nul.begin(), nul.end());
            filled = true;
            if (withoutSound)
                continue;
        }
        out.insert(out.end(), p, p + 188);
    }
    return out;
}

} // namespace

TEST(LateStream, AListedStreamThatBeginsAfterTheScannedPartIsNamedAndNoPlainSuccess)
{
    const Bytes src = ReadFile(DataFile("mpeg2_mp2.ts"));
    ASSERT_EQ(src.size() % 188, 0u);
    const std::map<int, int64_t> inputPids = [&] {
        std::map<int, int64_t> n;
        for (size_t i = 0; i + 188 <= src.size(); i += 188)
            ++n[Pid(src.data() + i)];
        return n;
    }();
    ASSERT_GT(inputPids.at(kSoundPid), 0);

    for (const bool withoutSound : {false, true}) {
        SCOPED_TRACE(withoutSound ? "the listed sound never comes" : "the listed sound comes late");
        Cleanup files;
        const std::string in = TempName("late_in"), out = TempName("late_out");
        files.Files = {in, out, ChangeFileExt(out, ".log")};
        WriteFile(in, SoundAfterTheScannedPart(src, withoutSound));

        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        // The scan never met the sound: the rebuilt table goes without it.
        ASSERT_FALSE(road.engine->Tables().IsSelectedPid(kSoundPid)) << AllLog();
        const TCleaningResult result = road.Clean(out);

        OutputCheck c = CheckOutput(out);
        EXPECT_TRUE(c.WholePackets);
        EXPECT_EQ(c.PacketsPerPid[kVideoPid], inputPids.at(kVideoPid));
        EXPECT_EQ(c.PacketsPerPid.count(kSoundPid), 0u);
        const std::string log = AllLog();
        const int named = CountOccurrences(log, "Stream PID $0211 type ");
        const int late = CountOccurrences(log, " is listed in the PMT but begins after the part of the recording the "
                                               "analysis scanned: it is not carried into the cleaned stream!");
        if (withoutSound) {
            // Nothing of it is lost: the copy holds what the recording holds.
            EXPECT_EQ(late, 0) << log;
            EXPECT_EQ(result, TCleaningResult::Success) << log;
        } else {
            // Named once, however many of its packets go.
            EXPECT_EQ(late, 1) << log;
            EXPECT_EQ(named, 1) << log;
            EXPECT_EQ(result, TCleaningResult::SuccessWithErrors) << log;
            EXPECT_FALSE(HasLine("WARNINGS : 0")) << log;
            ASSERT_FALSE(road.host.Messages.empty());
            EXPECT_EQ(road.host.Messages.back().first, TMessageKind::Warning);
        }
    }
}

namespace {

// A program (PAT and PMT, MPEG-2 video with the clock, two MPEG audio
// streams, the second declared as `secondType`) whose first video frame is
// large, so that its first 100 packets hold no sound; packets `from` to
// 1,199 carry the transport error indicator (from 0: the first tables too).
std::string DropoutNearTheStart(int secondType, size_t from, Cleanup& cleanup, std::map<int, int64_t>& soundPackets)
{
    const std::vector<test::PmtStream> streams = {{2, 0x101, {}}, {3, 0x102, {}}, {secondType, 0x103, {}}};
    test::TsStream s;
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, streams);
    int64_t pts = 900000;
    s.AddPes(0x101, test::PesPacket(0xE0, Bytes(20000, 0x11), pts), (pts - 9000) * 300);
    for (int k = 1; s.PacketCount() < 4000; ++k) {
        pts += 3600;
        if (k % 25 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, 0x101, streams);
        }
        s.AddPes(0x101, test::PesPacket(0xE0, Bytes(1500, 0x11), pts), (pts - 9000) * 300);
        s.AddPes(0x102, test::PesPacket(0xC0, MpegAudioFrames(), pts));
        s.AddPes(0x103, test::PesPacket(0xC1, MpegAudioFrames(), pts));
    }
    for (size_t i = from; i < 1200; ++i)
        s.SetTransportError(i);
    for (size_t i = 0; i < s.PacketCount(); ++i) {
        const uint8_t* p = s.Packet(i).data();
        if (!(p[1] & 0x80))
            ++soundPackets[Pid(p)];
    }
    const std::string name = TempName("dropout");
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

} // namespace

TEST(LateStream, AListedStreamBehindADropoutNearTheStartIsCopied)
{
    // The second sound as MPEG audio, and as private data without a
    // descriptor (as receivers write it): only its packets say it is sound.
    // The dropout after the first tables, or over them.
    for (const auto& [secondType, from] : {std::pair<int, size_t>{3, 100}, {6, 100}, {3, 0}, {6, 0}}) {
        SCOPED_TRACE(IntToStr(secondType) + " from " + IntToStr(static_cast<int64_t>(from)));
        Cleanup cleanup;
        std::map<int, int64_t> sound;
        const std::string in = DropoutNearTheStart(secondType, from, cleanup, sound);
        for (int pid = 0x101; pid <= 0x103; ++pid)
            ASSERT_GT(sound[pid], 100) << pid;
        const std::string out = TempName("dropout_out");
        cleanup.Files.push_back(out);
        cleanup.Files.push_back(ChangeFileExt(out, ".log"));
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x102)) << AllLog();
        EXPECT_TRUE(road.engine->Tables().IsSelectedPid(0x103)) << AllLog();
        // The broken packets are errors, and nothing else is lost.
        EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
        EXPECT_EQ(CountOccurrences(AllLog(), "begins after the part of the recording"), 0) << AllLog();
        const OutputCheck c = CheckOutput(out);
        for (int pid = 0x101; pid <= 0x103; ++pid)
            EXPECT_EQ(c.PacketsPerPid.count(pid) ? c.PacketsPerPid.at(pid) : 0, sound[pid]) << pid;
        EXPECT_EQ(c.PmtStreamPids, (std::vector<int>{0x101, 0x102, 0x103}));
    }
}
