// PES headers without a PTS or a DTS, as the standard allows them: the
// analysis and the cleaning pass take the stamps that are there and leave out
// the ones that are not, far above 2^31 too, where broadcast clocks stand.
#include "tests/analysis/CleaningTestSupport.h"

namespace tw::cleantest {
namespace {

constexpr int kVideo = 0x101, kAudio = 0x102;
constexpr int64_t kFrame = 3600;
// Above 2^32: a stamp read as 0 here is a jump of more than 2^31.
constexpr int64_t kBase = (int64_t(1) << 32) + 90000;

Bytes VideoEs()
{
    Bytes es(1500, 0x11);
    es[0] = 0;
    es[1] = 0;
    es[2] = 1;
    es[3] = 0xB3;
    return es;
}

// Video in decode order: frame 0 stamped with a PTS alone, frame 1 with PTS
// and DTS, frame 2 carries the earliest PTS; after that every second video
// PES has no stamp at all and the others a PTS and DTS. Audio has PTS only.
// The video carries the clock.
test::TsStream AbsentStampsRecording(int frames)
{
    test::TsStream s;
    for (int f = 0; f < frames; ++f) {
        if (f % 6 == 0) {
            s.AddPat({{1, 0x100}});
            s.AddPmt(0x100, 1, kVideo, {{2, kVideo, {}}, {3, kAudio, {}}});
        }
        int64_t pts = -1, dts = -1;
        const int64_t decode = kBase + f * kFrame;
        if (f == 0) {
            pts = kBase + 2 * kFrame;
        } else if (f == 1) {
            pts = kBase + 3 * kFrame;
            dts = kBase + kFrame;
        } else if (f == 2) {
            pts = kBase;
        } else if (f % 2 == 1) {
            pts = decode + kFrame;
            dts = decode;
        }
        s.AddPes(kVideo, test::PesPacket(0xE0, VideoEs(), pts, dts), (decode - 9000) * 300);
        s.AddPes(kAudio, test::PesPacket(0xC0, MpegAudioFrames(), decode));
    }
    return s;
}

const TPidRecord* RecordOf(const TAnalysisTables& t, int pid)
{
    for (int i = 0; i < t.PidRecordCount; ++i)
        if (t.PidRecords[static_cast<size_t>(i)].Pid == pid)
            return &t.PidRecords[static_cast<size_t>(i)];
    return nullptr;
}

// The PTS of every PES start of a PID in a file, read from the bytes.
std::vector<int64_t> PesStampsOf(const std::string& file, int pid)
{
    std::vector<int64_t> v;
    const Bytes b = ReadFile(file);
    for (size_t at = 0; at + 188 <= b.size(); at += 188) {
        int64_t escr, dts, pts;
        if (Pid(b.data() + at) == pid && ReadPacketTimestamps(b.data() + at, escr, dts, pts) && pts >= 0)
            v.push_back(pts);
    }
    return v;
}

} // namespace

TEST(AbsentStamps, StartScanTakesOnlyTheStampsThatAreThere)
{
    const std::string in = TempName("absent_scan");
    Cleanup cleanup{{in}};
    AbsentStampsRecording(60).Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    const TPidRecord* video = RecordOf(t, kVideo);
    const TPidRecord* audio = RecordOf(t, kAudio);
    ASSERT_TRUE(video && audio) << AllLog();
    // The earliest stamps, although the first DTS comes after a PES without
    // one and the earliest PTS after the first DTS.
    EXPECT_EQ(video->FirstPts, kBase);
    EXPECT_EQ(video->FirstDts, kBase + kFrame);
    EXPECT_EQ(audio->FirstPts, kBase);
    EXPECT_EQ(audio->FirstDts, -1) << "audio carries no DTS";
    EXPECT_EQ(t.FirstDts, kBase + kFrame);
    EXPECT_FALSE(HasLine("First DTS is 0 " + PtsToTimeText(0))) << AllLog();
}

TEST(AbsentStamps, StamplessPesRaisesNoWrapAndTheCutReachesItsCutOut)
{
    const std::string in = TempName("absent_cut");
    const std::string out = TempName("absent_cut_out");
    Cleanup cleanup{{in, out, ChangeFileExt(out, ".log")}};
    constexpr int kFrames = 120;
    AbsentStampsRecording(kFrames).Save(in);
    Road road;
    ASSERT_TRUE(road.Analyse(in)) << AllLog();
    // Half the recording: the copy must reach about there.
    const int64_t cutOut = kFrames / 2 * kFrame;
    road.pass->Options.CutOut = cutOut;
    const TCleaningResult result = road.Clean(out);
    EXPECT_TRUE(result == TCleaningResult::Success || result == TCleaningResult::SuccessWithErrors) << AllLog();
    const std::string log = AllLog();
    EXPECT_EQ(log.find("PTS wrap"), std::string::npos) << log;
    const std::vector<int64_t> video = PesStampsOf(out, kVideo);
    ASSERT_FALSE(video.empty()) << log;
    const int64_t last = *std::max_element(video.begin(), video.end());
    EXPECT_GE(last, kBase + cutOut - 4 * kFrame) << log;
    EXPECT_LE(last, kBase + cutOut + 4 * kFrame) << log;
}

} // namespace tw::cleantest
