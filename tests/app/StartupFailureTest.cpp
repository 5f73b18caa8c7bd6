// The two start-ups that end early: a platform outside the NT family and a
// data folder that cannot be created. Both terminate the application object,
// so they run in an executable of their own.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/ExitForm.h"
#include "app/MainForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/MainTexts.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "base/Exceptions.h"

using namespace tw;

namespace {

TEST(StartupFailureTest, RefusedPlatformThenMissingDataFolder) {
    InstallWindowsSettings();
    RegRemoveValue(kSettingsKey, "Language");

    // A platform outside the NT family: the problem window's text, nothing else.
    std::vector<std::string> problems;
    StartupProblemHook = [&](const std::string& t) { problems.push_back(t); };
    PlatformIsNTHook = [] { return false; };
    EXPECT_EQ(RunStartup(false), 1);
    EXPECT_EQ(StartupTrace(), (std::vector<std::string>{"Language", "PlatformRefused"}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], "Application designed for NT,XP or Vista!\rThis OS is not supported!");
    EXPECT_EQ(Form1, nullptr);

    // The data folder cannot be made: message, then the start-up ends after
    // the change-log window, before the about, progress and log windows.
    PlatformIsNTHook = [] { return true; };
    CommonAppDataHook = [] { return std::string("Q:\\no\\such\\drive"); };
    std::vector<std::string> messages;
    SetDialogHook([&](TDialogRequest& r) -> std::optional<int> {
        messages.push_back(r.Text);
        return IDOK;
    });
    EXPECT_EQ(RunStartup(false), 1);
    EXPECT_EQ(StartupTrace(), (std::vector<std::string>{"Language", "TForm1", "TTrashForm", "StdTexts", "TChangesForm",
                                                        "TRawCutterForm", "Terminated"}));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Application directory error! \rPath: Q:\\no\\such\\drive\\Orvalin\\Tarnwick");
    ASSERT_NE(Form1, nullptr);
    EXPECT_TRUE(Form1->DataFolder.empty());
    EXPECT_TRUE(Application->Terminated());
    // The defaults are written all the same.
    EXPECT_TRUE(RegValueExists(kSettingsKey, "NoTeletext"));
    SetDialogHook(nullptr);
    CommonAppDataHook = nullptr;
}

TEST(StartupFailureTest, TheTextOfAnExceptionThatEscapedTheLoop) {
    EXPECT_EQ(EscapedExceptionText(EConvertError("bad number"), 0x4A3F10),
              "EConvertError: bad number @ (Address $004A3F10)");
}

} // namespace
