// The update check's decisions and the filter-choice rules of the
// preferences dialog.
#include <gtest/gtest.h>

#include "analysis/FilterChoices.h"
#include "analysis/UpdateCheck.h"

using namespace tw;

namespace {

TEST(UpdateCheckTest, VersionFromTheFirstFiveCharacters) {
    EXPECT_DOUBLE_EQ(ReleaseTextVersion("1.25 beta\r\n- faster cleaning"), 1.25);
    EXPECT_DOUBLE_EQ(ReleaseTextVersion("1.21"), 1.21);
    EXPECT_DOUBLE_EQ(ReleaseTextVersion(" 1.3\r\nx"), 1.3);
    EXPECT_DOUBLE_EQ(ReleaseTextVersion("12.345"), 12.34);
    // Nothing fetched, or no number at the start: no version, so no notice.
    EXPECT_EQ(ReleaseTextVersion(""), 0.0);
    EXPECT_EQ(ReleaseTextVersion("<html>"), 0.0);
    EXPECT_EQ(ReleaseTextVersion("v1.25"), 0.0);
    EXPECT_EQ(ReleaseTextVersion("1,25 "), 0.0);
    EXPECT_EQ(ReleaseTextVersion("nan  "), 0.0);
}

TEST(UpdateCheckTest, VersionTextHasTwoDecimalsAndAPoint) {
    EXPECT_EQ(UpdateVersionText(1.2), "1.20");
    EXPECT_EQ(UpdateVersionText(1.215), "1.22");
    EXPECT_EQ(UpdateVersionText(10.0), "10.00");
}

TEST(UpdateCheckTest, NoticeOnlyForNewerVersionsAndOncePerWeek) {
    const double today = 46000.5;
    // Same version (also as a float that is not exactly 1.20): nothing newer.
    EXPECT_FALSE(UpdateNoticeDue(1.20, 1.20, 0, 0, today));
    EXPECT_FALSE(UpdateNoticeDue(1.20, 1.2000001, 0, 0, today));
    EXPECT_FALSE(UpdateNoticeDue(1.20, 1.19, 0, 0, today));
    EXPECT_FALSE(UpdateNoticeDue(1.20, 0.0, 0, 0, today));
    EXPECT_TRUE(UpdateNoticeDue(1.20, 1.21, 0, 0, today));
    // 1.21 announced today, a restart: not again within seven days ...
    EXPECT_FALSE(UpdateNoticeDue(1.20, 1.21, 1.21, today, today + 0.01));
    EXPECT_FALSE(UpdateNoticeDue(1.20, 1.21, 1.21, today, today + 6.99));
    // ... but after them, and at once for a newer version.
    EXPECT_TRUE(UpdateNoticeDue(1.20, 1.21, 1.21, today, today + 7.0));
    EXPECT_TRUE(UpdateNoticeDue(1.20, 1.22, 1.21, today, today + 0.01));
}

TEST(UpdateCheckTest, AddressesByLanguage) {
    EXPECT_NE(ReleaseTextAddress("GER").find("Tarnwick_Release_ger.txt"), std::string::npos);
    EXPECT_NE(ReleaseTextAddress("ENG").find("Tarnwick_Release_eng.txt"), std::string::npos);
    EXPECT_NE(ReleaseTextAddress("").find("Tarnwick_Release_eng.txt"), std::string::npos);
    EXPECT_EQ(ReleaseTextAddress("GER").rfind("http://", 0), 0u);
    EXPECT_EQ(DownloadPageAddress("ENG"), kDownloadPageEnglish);
    EXPECT_EQ(DownloadPageAddress("GER"), kDownloadPageGerman);
    EXPECT_EQ(DownloadPageAddress(""), kDownloadPageGerman);
}

TEST(FilterChoicesTest, DefaultSplitterDisablesAndResetsTheDecoders) {
    TFilterAvailability all{true, true, true, true, true, true, "9.0c"};
    TFilterChoices c{0, 2, 1, 1, true, true, true};
    EXPECT_TRUE(ApplySplitterRule(c, all).empty());
    EXPECT_EQ(c.Mpeg2Video, 0);
    EXPECT_EQ(c.H264Video, 0);
    EXPECT_EQ(c.Audio, 0);
    EXPECT_FALSE(c.Mpeg2VideoEnabled || c.H264VideoEnabled || c.AudioEnabled);
}

TEST(FilterChoicesTest, AnotherSplitterEnablesOnlyDisabledListsAtTheirDefault) {
    TFilterAvailability all{true, true, true, true, true, true, ""};
    TFilterChoices c{1, 2, 2, 1, true, false, false};
    EXPECT_TRUE(ApplySplitterRule(c, all).empty());
    EXPECT_EQ(c.Splitter, 1);
    EXPECT_EQ(c.Mpeg2Video, 2); // enabled: keeps its choice
    EXPECT_EQ(c.H264Video, 0);
    EXPECT_EQ(c.Audio, 0);
    EXPECT_TRUE(c.Mpeg2VideoEnabled && c.H264VideoEnabled && c.AudioEnabled);
}

TEST(FilterChoicesTest, MissingSplittersAreReportedAndReset) {
    TFilterAvailability none; // the probe has not run
    TFilterChoices c{1, 0, 0, 0, true, true, true};
    EXPECT_EQ(ApplySplitterRule(c, none), std::vector<std::string>{"Tessu Media Splitter not found!"});
    EXPECT_EQ(c.Splitter, 0);
    EXPECT_FALSE(c.Mpeg2VideoEnabled);
    c.Splitter = 2;
    EXPECT_EQ(ApplySplitterRule(c, none), std::vector<std::string>{"Movrak Media Splitter not found!"});
    EXPECT_EQ(c.Splitter, 0);
    TFilterAvailability movrakOnly;
    movrakOnly.MovrakSplitter = true;
    c.Splitter = 2;
    EXPECT_TRUE(ApplySplitterRule(c, movrakOnly).empty());
    EXPECT_EQ(c.Splitter, 2);
}

TEST(FilterChoicesTest, MissingDecodersResetTheSplitterNotTheirList) {
    TFilterAvailability a;
    a.TessuSplitter = true;
    TFilterChoices c{1, 1, 0, 0, true, true, true};
    EXPECT_EQ(ApplyMpeg2VideoRule(c, a), "ffdshow video filter not found!");
    EXPECT_EQ(c.Splitter, 0);
    EXPECT_EQ(c.Mpeg2Video, 1);
    EXPECT_TRUE(c.Mpeg2VideoEnabled);
    c = {1, 2, 2, 1, true, true, true};
    EXPECT_EQ(ApplyMpeg2VideoRule(c, a), "Elecard MPEG-2 video filter not found!");
    c.Splitter = 1;
    EXPECT_EQ(ApplyH264VideoRule(c, a), "CoreAVC video filter not found!");
    c.Splitter = 1;
    EXPECT_EQ(ApplyAudioDecoderRule(c, a), "ffdshow audio filter not found!");
    EXPECT_EQ(c.Splitter, 0);
    c = {1, 1, 1, 1, true, true, true};
    a.FfdshowVideo = a.FfdshowAudio = true;
    EXPECT_EQ(ApplyMpeg2VideoRule(c, a), "");
    EXPECT_EQ(ApplyH264VideoRule(c, a), "");
    EXPECT_EQ(ApplyAudioDecoderRule(c, a), "");
    EXPECT_EQ(c.Splitter, 1);
}

} // namespace
