// The application object is initialised once for all window tests; the
// settings go to the registry of the test prefix as in the program.
#include <gtest/gtest.h>

#include "app/MainForm.h"
#include "shared/Settings.h"
#include "ui/Application.h"

namespace {
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        tw::InstallWindowsSettings();
        // No window test asks the maker's server: a closed local port
        // answers at once (tests of the update check set their own server).
        tw::ReleaseTextAddressHook = [](const std::string&) {
            return std::string("http://127.0.0.1:9/Tarnwick_Release_eng.txt");
        };
        if (!tw::Application->Initialized()) tw::Application->Initialize();
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
} // namespace
