// A new version of the program's table may move the clock to another PID in
// the middle of a recording (a programme change: the clock leaves a PID of
// its own for the video, or the other way round), or change a stream's type.
// The copy goes out with one table: every PCR the recording had must still
// reach it, and the copy is no plain success, as its one table cannot name
// the clock (or the type) of every part. Changes after the part of the
// recording the analysis reads its tables in are met by the pass itself.
#include "CleaningTestSupport.h"

#include "tests/support/EsBuilder.h"
#include "tests/support/IsoTsReader.h"

#include <gtest/gtest.h>

#include <map>

using namespace tw;
using namespace tw::cleantest;

namespace {

constexpr int kPmtPid = 0x100, kVideo = 0x101, kAudio = 0x102, kOwnClock = 0x1F0;

struct Part {
    int ClockPid;
    bool Ac3; // the table declares the audio AC-3 (private data with its descriptor)
    int Version;
};

// Video and MPEG audio, 40 ms a frame, the PCR on the video or as packets of
// adaptation field alone on kOwnClock; the second part's table (a new
// version) begins after `switchAt` packets, and the recording ends after
// `total`. Every frame gets bulk so that long recordings are quick to make.
std::string Build(Part first, Part second, size_t switchAt, size_t total, Cleanup& cleanup,
                  const std::string& tag, int jumpAtFrame = -1)
{
    test::TsStream s;
    int64_t pts = 900000;
    const Bytes video = test::Mpeg2VideoFrame();
    bool switched = false;
    for (int k = 0; s.PacketCount() < total; ++k) {
        const bool now = s.PacketCount() >= switchAt;
        const Part& p = now ? second : first;
        // The new version goes out at the change, then as often as before.
        if (k % 12 == 0 || now != switched) {
            s.AddPat({{1, kPmtPid}});
            const test::PmtStream audio =
                p.Ac3 ? test::PmtStream{6, kAudio, test::Descriptor(0x6A, {0x00})} : test::PmtStream{3, kAudio, {}};
            s.AddPmt(kPmtPid, 1, p.ClockPid, {{2, kVideo, {}}, audio}, p.Version);
        }
        switched = now;
        // One PCR 10 s ahead of its stamps: a clock that jumps alone.
        const int64_t pcr = (pts - 9000 + (k == jumpAtFrame ? 900000 : 0)) * 300;
        if (p.ClockPid == kOwnClock)
            s.Add({.pid = kOwnClock, .pcr = pcr});
        s.AddPes(kVideo, test::PesPacket(0xE0, video, pts), p.ClockPid == kVideo ? pcr : -1);
        s.AddPes(kAudio, test::PesPacket(0xC0, MpegAudioFrames(), pts));
        pts += 3600;
    }
    const std::string name = TempName(tag);
    s.Save(name);
    cleanup.Files.push_back(name);
    return name;
}

std::map<int, int64_t> PcrsPerPid(const std::string& file)
{
    std::map<int, int64_t> n;
    const Bytes b = ReadFile(file);
    for (size_t at = 0; at + 188 <= b.size(); at += 188) {
        int64_t pcr = 0;
        if (isots::ReadPcr(b.data() + at, pcr))
            ++n[isots::Pid(b.data() + at)];
    }
    return n;
}

bool LogHas(const std::string& text) { return AllLog().find(text) != std::string::npos; }

} // namespace

TEST(MovingClock, EveryClockOfTheRecordingReachesTheCopy)
{
    struct Case {
        const char* Name;
        int From, To;
    };
    const Case cases[] = {{"own PID, then the video", kOwnClock, kVideo}, {"video, then own PID", kVideo, kOwnClock}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Name);
        Cleanup cleanup;
        const std::string in = Build({k.From, false, 0}, {k.To, false, 1}, 2000, 4000, cleanup, "clockmove");
        const std::string out = TempName("clockmove_out");
        cleanup.Files.push_back(out);
        cleanup.Files.push_back(ChangeFileExt(out, ".log"));
        Road road;
        ASSERT_TRUE(road.Analyse(in)) << AllLog();
        // The length runs from the first clock to the last, whichever PID
        // carries it (about 4000 packets of ~10 per frame at 40 ms).
        EXPECT_GT(road.engine->Tables().Duration, 90000 * 10) << AllLog();
        EXPECT_NE(road.Clean(out), TCleaningResult::Success) << AllLog();
        EXPECT_TRUE(LogHas("clock (PCR) of the program moves from PID $" + IntToHex(k.From, 4) + " to PID $" +
                           IntToHex(k.To, 4)))
            << AllLog();
        const std::map<int, int64_t> before = PcrsPerPid(in), after = PcrsPerPid(out);
        ASSERT_EQ(before.size(), 2u);
        EXPECT_EQ(after, before) << AllLog();
    }
}

TEST(MovingClock, ChangesAfterTheScannedStartAreMetByThePass)
{
    Cleanup cleanup;
    // The analysis reads tables in the first 100,000 packets only.
    const std::string in = Build({kVideo, false, 0}, {kOwnClock, true, 1}, 101000, 104000, cleanup, "latechange");
    const std::string out = TempName("latechange_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_NE(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_TRUE(LogHas("changes the type of stream PID $" + IntToHex(kAudio, 4))) << AllLog();
    EXPECT_TRUE(LogHas("clock (PCR) of the program moves from PID $" + IntToHex(kVideo, 4) + " to PID $" +
                       IntToHex(kOwnClock, 4)))
        << AllLog();
    const std::map<int, int64_t> before = PcrsPerPid(in), after = PcrsPerPid(out);
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(after, before);
}

TEST(MovingClock, TheCheckFollowsTheClockOnEveryPid)
{
    // The clock jumps alone while it rides on the PID the copy's table does
    // not name: the check must judge it there.
    Cleanup cleanup;
    const std::string in = Build({kOwnClock, false, 0}, {kVideo, false, 1}, 2000, 4000, cleanup, "clockjump", 50);
    const std::string out = TempName("clockjump_out");
    cleanup.Files.push_back(out);
    cleanup.Files.push_back(ChangeFileExt(out, ".log"));
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    EXPECT_NE(road.Clean(out), TCleaningResult::Success) << AllLog();
    EXPECT_TRUE(LogHas("PCR timing for PID " + IntToHex(kOwnClock, 4))) << AllLog();
}
