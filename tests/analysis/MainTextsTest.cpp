#include "analysis/MainTexts.h"

#include <gtest/gtest.h>

#include <set>

#include "analysis/AppLog.h"

using namespace tw;

namespace {

TEST(MainTextsTest, EveryMessageAndControlTextExistsInBothLanguages) {
    for (int id = 1; id < mmCount; ++id) {
        EXPECT_FALSE(MessageTextIn(id, true).empty()) << id;
        EXPECT_FALSE(MessageTextIn(id, false).empty()) << id;
    }
    EXPECT_EQ(mmCount, 37);
    EXPECT_EQ(MessageTextIn(0, false), "");
    EXPECT_EQ(MessageTextIn(mmCount, true), "");
    std::set<std::pair<std::string, int>> seen;
    for (const TControlText& t : MainControlTexts()) {
        EXPECT_NE(std::string(t.german), "") << t.control;
        EXPECT_NE(std::string(t.english), "") << t.control;
        EXPECT_TRUE(seen.insert({t.control, t.kind}).second) << "twice: " << t.control;
    }
    // Spot checks on rows that fan out to several controls.
    EXPECT_EQ(ControlText("sLabel43", ctCaption, true), "Fehler");
    EXPECT_EQ(ControlText("MenuItem7", ctCaption, false), "Change Language_Descriptor");
    EXPECT_EQ(ControlText("AudioDetailScanLabel", ctHint, false),
              "This step searches for details about the audio streams (compression, bitrate, number of channels)");
    EXPECT_EQ(ControlText("OpenDialog2", ctFilter, false), ControlText("OpenDialog1", ctFilter, false));
    EXPECT_EQ(ControlText("OpenDialog1", ctFilter, true).substr(0, 34), "Alle unterstützten Streamformate|");
    EXPECT_EQ(ControlText("Nothing", ctCaption, true), "");
}

TEST(MainTextsTest, TheMessageTableFollowsTheLastChosenLanguage) {
    TMainMessages m;
    EXPECT_EQ(m.Text(mmNoValidPat), "No valid PAT found!");
    m.SetLanguage(true);
    m.SetLanguage(true);
    EXPECT_EQ(m.Text(mmNoValidPat), "Keine gültige PAT gefunden!");
    EXPECT_EQ(m.Text(mmCancel), "Abbrechen");
    m.SetLanguage(false);
    EXPECT_EQ(m.Text(mmPatchTimerQuestion), "Patch timer to remove wrap (recommended) ?");
    EXPECT_EQ(m.Text(mmStartByteNotFound),
              "Valid start byte not found in the correct possition!\rDo you want to try to continue with an offset?");
    EXPECT_EQ(m.Text(0), "");
}

TEST(MainTextsTest, LanguageNamesAndStreamHints) {
    EXPECT_EQ(LanguageCodeName("DEU", false), "German");
    EXPECT_EQ(LanguageCodeName("de", true), "Deutsch");
    EXPECT_EQ(LanguageCodeName("nl", true), "Niederländisch");
    EXPECT_EQ(LanguageCodeName("POL", false), "pol");
    EXPECT_EQ(AudioStreamHint(2, "", false),
              "Audio stream 2\r\rPress right mouse button for special menu\r\rPress left mouse button on speaker symbol\rto "
              "deactivate/activate the stream");
    EXPECT_EQ(TextStreamHint(1, "Stream type: 6", true),
              "Textstream 1\rStream type: 6\r\n\rRechte Maustaste für Spezialmenü\r\rMit linker Maustaste auf Text klicken "
              "\rum den Stream zu deaktivieren/aktivieren");
}

TEST(MainTextsTest, WindowsVersionAndProgramVersionTexts) {
    EXPECT_EQ(WindowsVersionText(2, 5, 1, 2600, "Service Pack 3"), "Windows XP  Version 5.1 Build 2600 Service Pack 3");
    EXPECT_EQ(WindowsVersionText(2, 6, 1, 7601, ""), "Windows 7  Version 6.1 Build 7601 ");
    EXPECT_EQ(WindowsVersionText(2, 10, 0, 19045, ""), "Windows Future Windows version (unknown)  Version 10.0 Build 19045 ");
    EXPECT_EQ(WindowsVersionText(2, 5, 3, 1, ""), "Windows   Version 5.3 Build 1 ");
    EXPECT_EQ(WindowsVersionText(1, 4, 10, 2222, "A "), "Windows 98 SE  Version 4.10 Build 2222 ");
    EXPECT_EQ(WindowsVersionText(1, 4, 0, 950, "C"), "Windows 95 OSR2  Version 4.0 Build 950 ");
    EXPECT_EQ(VersionText(1.5), "1.50 beta");
    EXPECT_EQ(VersionText(0.995), "0.99 beta");
    EXPECT_EQ(PlatformProblemText(false), "Application designed for NT,XP or Vista!\rThis OS is not supported!");
    EXPECT_EQ(DataFolderErrorText("C:\\x"), "Application directory error! \rPath: C:\\x");
}

TEST(MainTextsTest, SizeTextHasOneDecimalAndTheUnitOfItsRange) {
    EXPECT_EQ(SizeText(0), "0 B");
    EXPECT_EQ(SizeText(1023), "1023 B");
    EXPECT_EQ(SizeText(1024), "1.0 KB");
    EXPECT_EQ(SizeText(188 * 100), "18.4 KB");
    EXPECT_EQ(SizeText((int64_t(1) << 20) - 1), "1024.0 KB");
    EXPECT_EQ(SizeText(int64_t(1) << 20), "1.0 MB");
    EXPECT_EQ(SizeText(15456010), "14.7 MB"); // 14.74 MiB
    EXPECT_EQ(SizeText(int64_t(188) * 82237), "14.7 MB");
    // Exactly 1 GiB is still counted in MB; above it in GB.
    EXPECT_EQ(SizeText(int64_t(1) << 30), "1024.0 MB");
    EXPECT_EQ(SizeText((int64_t(1) << 30) + 1), "1.0 GB");
    EXPECT_EQ(SizeText(int64_t(188) * 40000000), "7.0 GB");
    EXPECT_EQ(SizeText(int64_t(5) << 40), "5120.0 GB"); // beyond 4 GiB without overflow
}

TEST(AppLogTest, LinesSplitAtBreaksAndSaveWithCrLf) {
    ClearLog();
    AppendLogLine("one");
    AppendLogLine("");
    AppendLogLine("a\r\nb\nc\r");
    ASSERT_EQ(LogLineCount(), 5);
    EXPECT_EQ(LogLine(1), "");
    EXPECT_EQ(LogLine(2), "a");
    EXPECT_EQ(LogLine(4), "c");
    std::string name = ::testing::TempDir() + "applog_test.log";
    SaveLogToFile(name);
    SaveLogToFile(name); // replaces, does not append
    FILE* f = fopen(name.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof buf, f);
    fclose(f);
    EXPECT_EQ(std::string(buf, n), "one\r\n\r\na\r\nb\r\nc\r\n");
    ClearLog();
    EXPECT_EQ(LogLineCount(), 0);
}

} // namespace
