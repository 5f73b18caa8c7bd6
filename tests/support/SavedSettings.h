// Settings a test changes, put back when it ends: the window tests of all
// executables share one registry in the Wine prefix.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "analysis/SettingsStore.h"

namespace tw::test {

class SavedSettings {
public:
    explicit SavedSettings(std::initializer_list<const char*> names) {
        for (const char* n : names) saved_.push_back({n, SettingsBackend().Read(kSettingsKey, n)});
    }
    ~SavedSettings() {
        for (const auto& [name, value] : saved_) {
            if (value.kind == skMissing) SettingsBackend().Remove(kSettingsKey, name);
            else SettingsBackend().Write(kSettingsKey, name, value);
        }
    }
    SavedSettings(const SavedSettings&) = delete;
    SavedSettings& operator=(const SavedSettings&) = delete;

private:
    std::vector<std::pair<std::string, TSettingValue>> saved_;
};

} // namespace tw::test
