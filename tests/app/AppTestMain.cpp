// The application object is initialised once for all window tests; the
// settings go to the registry of the test prefix as in the program.
#include <gtest/gtest.h>

#include "app/Settings.h"
#include "ui/Application.h"

namespace {
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        tw::InstallWindowsSettings();
        if (!tw::Application->Initialized()) tw::Application->Initialize();
    }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
} // namespace
