// What goes wrong at start-up is never silent: a damaged skin in the skin
// folder is reported once and the program starts in its own skin; an
// exception that escapes the start-up reaches the event log and the problem
// window. The skin folder is one of the test's own, never the system's.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/AppSkin.h"
#include "app/ExitForm.h"
#include "app/MainForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

void WriteJunk(const std::string& name, size_t size) {
    std::string junk(size, '\0');
    uint32_t x = 4711;
    for (char& c : junk) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    TFileStream f(name, fmCreate);
    f.WriteBuffer(junk.data(), static_cast<int64_t>(junk.size()));
}

std::vector<std::string> g_messages;

TEST(StartupSkinTest, ADamagedSkinInTheSkinFolderIsReportedOnceAndTheProgramStartsInItsOwn) {
    const std::string folder = TempFolder() + "tarnwick_skins_" + std::to_string(GetTickCount64Ms());
    ASSERT_TRUE(ForceDirectories(folder));
    const std::string packed = folder + "\\" + kProgramSkinName + ".asz";
    WriteJunk(packed, 5000);
    SkinDirectoryHook = [folder] { return folder; };
    for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow"}) RegWriteBool(kSettingsKey, n, false);
    RegWriteString(kSettingsKey, "Language", "ENG");
    SetDialogHook([](TDialogRequest& r) -> std::optional<int> {
        g_messages.push_back(r.Text);
        return IDOK;
    });
    SetProgramParameters({});

    ASSERT_EQ(RunStartup(false), 0);
    ASSERT_NE(Form1, nullptr);
    skin::TsSkinManager& m = *Form1->sSkinManager1;
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_NE(g_messages[0].find(packed), std::string::npos) << g_messages[0];
    EXPECT_NE(g_messages[0].find("not a packed skin"), std::string::npos) << g_messages[0];
    EXPECT_TRUE(m.SkinLoaded());
    EXPECT_EQ(m.SkinPath, "");
    EXPECT_GE(m.GetSkinIndex("BUTTON"), 0);
    EXPECT_FALSE(Application->Terminated());

    // A folder of the name whose options are damaged: the same, once.
    RemoveFile(packed);
    const std::string options = folder + "\\" + kProgramSkinName + "\\Options.dat";
    ASSERT_TRUE(ForceDirectories(ExtractFileDir(options)));
    WriteJunk(options, 5000);
    g_messages.clear();
    m.SetSkinName(kProgramSkinName);
    ReportSkinLoadError(&m, false);
    ReportSkinLoadError(&m, false);
    ASSERT_EQ(g_messages.size(), 1u);
    EXPECT_NE(g_messages[0].find(options), std::string::npos) << g_messages[0];
    EXPECT_TRUE(m.SkinLoaded());
    EXPECT_EQ(m.SkinName(), kProgramSkinName);
    EXPECT_GE(m.GetSkinIndex("BUTTON"), 0);

    RemoveFile(options);
    RemoveDirectoryW(Utf8ToWide(ExtractFileDir(options)).c_str());
    RemoveDirectoryW(Utf8ToWide(folder).c_str());
    SetDialogHook(nullptr);
    SkinDirectoryHook = nullptr;
}

// Last in this executable: the failed start-up terminates the application.
TEST(StartupSkinTest, AnExceptionThatEscapesTheStartUpIsLoggedAndShown) {
    struct TEntry {
        std::string Source, Text;
        int Type, Id;
    };
    std::vector<TEntry> entries;
    EventLogHook = [&](const std::string& s, const std::string& t, int type, int id) {
        entries.push_back({s, t, type, id});
    };
    std::vector<std::string> problems;
    StartupProblemHook = [&](const std::string& t) { problems.push_back(t); };
    // The entry names where the program raised it, as every failure report does.
    static const EConvertError raised("bad number");
    ASSERT_NE(raised.Address(), 0u);
    PlatformIsNTHook = []() -> bool { throw raised; };

    EXPECT_EQ(RunStartup(false), 1);
    PlatformIsNTHook = nullptr;
    StartupProblemHook = nullptr;
    EventLogHook = nullptr;
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Source, kEventSource);
    EXPECT_EQ(entries[0].Id, kEventUnhandledException);
    EXPECT_EQ(entries[0].Type, eltError);
    EXPECT_EQ(entries[0].Text, "EConvertError: bad number @ (Address $" +
                                   IntToHex(static_cast<int64_t>(raised.Address() & 0xFFFFFFFFu), 8) + ")");
    EXPECT_EQ(problems, std::vector<std::string>{entries[0].Text});
    EXPECT_EQ(StartupTrace().back(), "Exception");
}

} // namespace
