// Broken packets in the cleaning pass: each is one error, counted on the PID
// it really has, and on none when its header cannot be read.
#include "tests/analysis/CleaningTestSupport.h"

namespace tw::cleantest {
namespace {

constexpr int kVideo = 0x101, kAudio = 0x102;

struct BrokenRecording {
    test::TsStream Stream;
    std::vector<size_t> AudioContinuations; // audio packets without a PES start
    std::vector<size_t> AfterVideo;         // null packets, each right after a video packet
};

BrokenRecording Recording()
{
    BrokenRecording d;
    test::TsStream& s = d.Stream;
    int64_t pts = 900000;
    for (int f = 0; f < 60; ++f) {
        if (f % 6 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, kVideo, {{2, kVideo, {}}, {3, kAudio, {}}});
        }
        Bytes es(1500, 0x11);
        es[2] = 1;
        es[3] = 0xB3;
        s.AddPes(kVideo, test::PesPacket(0xE0, es, pts), (pts - 9000) * 300);
        d.AfterVideo.push_back(s.PacketCount());
        s.AddNull(1);
        // Audio without a length in its headers: a lost packet leaves no
        // size error behind, only the broken packet itself.
        const size_t first = s.PacketCount();
        s.AddPes(kAudio, test::PesPacket(0xC0, MpegAudioFrames(), pts, -1, 0));
        for (size_t i = first + 1; i < s.PacketCount(); ++i)
            d.AudioContinuations.push_back(i);
        pts += 3600;
    }
    return d;
}

int64_t ErrorsOf(const TAnalysisTables& t, int pid)
{
    int64_t n = 0;
    for (int i = 0; i < t.PidRecordCount; ++i)
        if (t.PidRecords[static_cast<size_t>(i)].Pid == pid)
            n += t.PidRecords[static_cast<size_t>(i)].Errors;
    return n;
}

} // namespace

TEST(BrokenPacketCounts, EachBrokenPacketIsOneErrorOnItsOwnPid)
{
    BrokenRecording d = Recording();
    // Ten audio packets with the transport error indicator, spread out.
    for (int k = 0; k < 10; ++k)
        d.Stream.SetTransportError(d.AudioContinuations[static_cast<size_t>(k * 25 + 3)]);
    // Five packets whose sync byte is lost, each after a video packet: the
    // video must not be charged with them.
    for (int k = 0; k < 5; ++k)
        d.Stream.BreakSync(d.AfterVideo[static_cast<size_t>(k * 10 + 5)]);
    const std::string in = TempName("broken_counts");
    const std::string out = TempName("broken_counts_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    d.Stream.Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    // Errors of the analysis are not the pass's: count from here.
    const int64_t audioBefore = ErrorsOf(road.engine->Tables(), kAudio);
    const int64_t videoBefore = ErrorsOf(road.engine->Tables(), kVideo);
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    EXPECT_EQ(ErrorsOf(t, kAudio) - audioBefore, 10) << log;
    EXPECT_EQ(ErrorsOf(t, kVideo) - videoBefore, 0) << log;
    EXPECT_TRUE(HasLine("ERRORS : 15")) << log;
    EXPECT_EQ(log.find("for PID $" + IntToHex(kVideo, 4) + ", skipped!"), std::string::npos) << log;
}

// A video packet that lost 50 bytes inside it: the reader finds the next
// packet's sync inside it. The pass leaves that packet out (it ends in
// another packet's bytes), counts it once on the video and names it by its
// own number; the packets around it are copied whole.
TEST(BrokenPacketCounts, APacketCutShortIsLeftOutAndNamedOnce)
{
    BrokenRecording d = Recording();
    const size_t cut = d.AfterVideo[20] - 1;
    const std::string in = TempName("short_packet");
    const std::string out = TempName("short_packet_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    d.Stream.Save(in);
    Bytes bytes = ReadFile(in);
    std::map<int, int64_t> inputPids;
    for (size_t i = 0; i + 188 <= bytes.size(); i += 188)
        ++inputPids[Pid(bytes.data() + i)];
    ASSERT_EQ(Pid(bytes.data() + cut * 188), kVideo);
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(cut * 188 + 60),
                bytes.begin() + static_cast<std::ptrdiff_t>(cut * 188 + 110));
    WriteFile(in, bytes);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    ClearLog();
    const int64_t videoBefore = ErrorsOf(road.engine->Tables(), kVideo);
    EXPECT_EQ(road.Clean(out), TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    // Its PES is short by it now, which is an error of its own.
    EXPECT_EQ(ErrorsOf(road.engine->Tables(), kVideo) - videoBefore, 2) << log;
    EXPECT_TRUE(HasLine("Discarded invalid pakets : 1")) << log;
    EXPECT_EQ(CountOccurrences(log, "Invalid paket"), 1) << log;
    EXPECT_EQ(CountOccurrences(log, "TS  ERROR: Invalid paket $" + IntToHex(static_cast<int64_t>(cut), 8) +
                                        " for PID $" + IntToHex(kVideo, 4) + ", skipped!"),
              1)
        << log;
    const OutputCheck c = CheckOutput(out);
    EXPECT_TRUE(c.WholePackets);
    EXPECT_EQ(c.PacketsPerPid.at(kVideo), inputPids[kVideo] - 1);
    EXPECT_EQ(c.PacketsPerPid.at(kAudio), inputPids[kAudio]);
}

// A recording cut inside its last packet: the fragment cannot be copied, and
// the analysis and the pass each say so once.
TEST(BrokenPacketCounts, AnIncompleteLastPacketIsNamed)
{
    BrokenRecording d = Recording();
    const std::string in = TempName("cut_tail");
    const std::string out = TempName("cut_tail_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    d.Stream.Save(in);
    Bytes bytes = ReadFile(in);
    bytes.resize(bytes.size() - 188 + 77);
    WriteFile(in, bytes);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const std::string line = "The recording ends in an incomplete paket of 77 bytes, which is left out";
    EXPECT_EQ(CountOccurrences(AllLog(), line), 1) << AllLog();
    ClearLog();
    road.Clean(out);
    EXPECT_EQ(CountOccurrences(AllLog(), line), 1) << AllLog();
    EXPECT_EQ(ReadFile(out).size() % 188, 0u);
}

} // namespace tw::cleantest
