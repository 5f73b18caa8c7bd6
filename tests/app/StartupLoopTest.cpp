// An exception that escapes the message loop ends the program with an
// event-log entry that names where it was raised. The loop runs and ends,
// so this start-up has an executable of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/Startup.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "shared/Settings.h"
#include "ui/Application.h"

using namespace tw;

namespace {

struct TEntry {
    std::string Source, Text;
    int Type, Id;
};

TEST(StartupLoopTest, AnExceptionThatEscapesTheLoopIsLoggedWithTheAddressItWasRaisedAt) {
    std::vector<TEntry> entries;
    EventLogHook = [&](const std::string& s, const std::string& t, int type, int id) {
        entries.push_back({s, t, type, id});
    };
    SetProgramParameters({});
    // The main window fails as the loop shows it.
    static const EConvertError raised("bad number");
    ASSERT_NE(raised.Address(), 0u);
    SetMainWindowViewFactory([](TForm1& form) {
        form.OnShow = [](TObject*) { throw raised; };
        return std::unique_ptr<TMainWindowView>();
    });

    EXPECT_EQ(RunStartup(true), 0);
    SetMainWindowViewFactory(nullptr);
    EventLogHook = nullptr;

    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Source, kEventSource);
    EXPECT_EQ(entries[0].Id, kEventUnhandledException);
    EXPECT_EQ(entries[0].Type, eltError);
    EXPECT_EQ(entries[0].Text, "EConvertError: bad number @ (Address $" +
                                   IntToHex(static_cast<int64_t>(raised.Address() & 0xFFFFFFFFu), 8) + ")");
}

} // namespace
