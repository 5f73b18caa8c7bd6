// The log lines of the video step and of the cut points as the user reads
// them: the format line and its colorimetry, the full-range question and
// its answers, a cut-out past the wrap of the clock.
#include "CleaningTestSupport.h"


#include <gtest/gtest.h>

#include <algorithm>

using namespace tw;
using namespace tw::cleantest;

namespace {

std::vector<std::string> LinesStartingWith(const std::string& head)
{
    std::vector<std::string> out;
    for (const std::string& l : LogLines())
        if (l.rfind(head, 0) == 0)
            out.push_back(l);
    return out;
}

// The line that follows `line` in the log, or "<none>" when there is none.
std::string LineAfter(const std::string& line)
{
    const std::vector<std::string> lines = LogLines();
    const auto it = std::find(lines.begin(), lines.end(), line);
    return it == lines.end() || it + 1 == lines.end() ? std::string("<none>") : *(it + 1);
}

} // namespace

TEST(VideoDetailLines, TheFormatLineIsFollowedByTheColorimetry)
{
    // Without a colour description the analyser assumes the standard of
    // the picture size, and the log says so on the line after the format.
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("analysis/h264_ac3_mp2.ts"))) << AllLog();
    EXPECT_EQ(LinesStartingWith("Video format: "),
              std::vector<std::string>{"Video format: H264 720x576p/25 fps/High@3.0"})
        << AllLog();
    EXPECT_EQ(LineAfter("Video format: H264 720x576p/25 fps/High@3.0"),
              "Colorimetry : Assumed BT.601 but unspecified");
}

TEST(VideoDetailLines, TheFullRangeQuestionAndItsAnswersAreLogged)
{
    for (bool agree : {true, false}) {
        Road road;
        road.host.Answers[TAnalysisQuestion::VideoFullRange] = agree;
        ASSERT_TRUE(road.Analyse(DataFile("cleaning/h264_fullrange.ts"))) << AllLog();
        EXPECT_EQ(LineAfter("Video format: H264 176x144p/25 fps/Baseline@1.3"),
                  "Colorimetry : Assumed BT.601 but unspecified")
            << AllLog();
        EXPECT_TRUE(HasLine("ES  WARNING: video_full_range_flag is set!")) << AllLog();
        EXPECT_EQ(std::count(road.host.Questions.begin(), road.host.Questions.end(),
                             "Video_full_range_flag is set!\rFor DVB streams this flag should not be set!\r"
                             "Do you want the flag to be corrected?"),
                  1);
        EXPECT_EQ(HasLine("Reset video_full_range_flag !"), agree);
        EXPECT_EQ(HasLine("Ignore video_full_range_flag !"), !agree);
        EXPECT_EQ(road.engine->Tables().FullRangeCorrect, agree);
        EXPECT_EQ(road.engine->Tables().FullRangeIgnore, !agree);
    }
}

TEST(CutPointLines, ACutOutPastTheClocksWrapIsLoggedModuloTheWrap)
{
    Road road;
    ASSERT_TRUE(road.Analyse(DataFile("analysis/pcr_wrap.ts"))) << AllLog();
    const TAnalysisTables& t = road.engine->Tables();
    ASSERT_TRUE(t.PcrWrap);
    const std::string out = TempName("warpline");
    Cleanup cleanup;
    cleanup.Files = {out, ChangeFileExt(out, ".log")};
    ASSERT_NE(road.Clean(out), TCleaningResult::NotRun) << AllLog();
    const int64_t absOut = t.FirstPcr90k + t.Duration;
    ASSERT_GE(absOut, kPtsWrap);
    EXPECT_EQ(LinesStartingWith("Cut in  at PCR: "),
              std::vector<std::string>{"Cut in  at PCR: " + PtsToTimeText(0) + " (" + PtsToTimeText(t.FirstPcr90k) +
                                       ")"})
        << AllLog();
    EXPECT_EQ(LinesStartingWith("Cut out at PCR: "),
              std::vector<std::string>{"Cut out at PCR: " + PtsToTimeText(t.Duration) + " (" +
                                       PtsToTimeText(absOut - kPtsWrap) + ") [with PCR warp]"})
        << AllLog();
}
