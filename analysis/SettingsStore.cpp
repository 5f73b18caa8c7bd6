#include "analysis/SettingsStore.h"

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace tw {

const char* const kSettingsKey = "\\Software\\Orvalin\\Tarnwick\\Settings";

namespace {

// The store used where no registry exists: key -> name -> value. Names
// compare without regard to case, as registry value names do.
class TMemorySettings : public TSettingsBackend {
public:
    TSettingValue Read(const std::string& key, const std::string& name) override {
        std::lock_guard<std::mutex> lk(m_);
        auto k = keys_.find(Fold(key));
        if (k == keys_.end()) return {};
        auto v = k->second.find(Fold(name));
        return v == k->second.end() ? TSettingValue{} : v->second;
    }
    bool Write(const std::string& key, const std::string& name, const TSettingValue& v) override {
        std::lock_guard<std::mutex> lk(m_);
        keys_[Fold(key)][Fold(name)] = v;
        return true;
    }
    bool Remove(const std::string& key, const std::string& name) override {
        std::lock_guard<std::mutex> lk(m_);
        auto k = keys_.find(Fold(key));
        return k != keys_.end() && k->second.erase(Fold(name)) > 0;
    }
    void Clear() {
        std::lock_guard<std::mutex> lk(m_);
        keys_.clear();
    }

private:
    static std::string Fold(std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    }
    std::mutex m_;
    std::map<std::string, std::map<std::string, TSettingValue>> keys_;
};

struct SettingsState {
    TMemorySettings memory;
    std::unique_ptr<TSettingsBackend> backend;
    TSoundPlayer player;
};

SettingsState& S() {
    static SettingsState s;
    return s;
}

TSettingValue ReadAs(const std::string& key, const std::string& name, TSettingKind kind) {
    TSettingValue v = SettingsBackend().Read(key, name);
    if (v.kind != kind) return {};
    return v;
}

} // namespace

void SetSettingsBackend(std::unique_ptr<TSettingsBackend> backend) { S().backend = std::move(backend); }

TSettingsBackend& SettingsBackend() {
    SettingsState& s = S();
    if (s.backend) return *s.backend;
    return s.memory;
}

void ClearMemorySettings() { S().memory.Clear(); }

bool RegValueExists(const std::string& key, const std::string& name) {
    return SettingsBackend().Read(key, name).kind != skMissing;
}

bool RegReadBool(const std::string& key, const std::string& name) {
    return ReadAs(key, name, skInteger).integer != 0;
}

std::string RegReadString(const std::string& key, const std::string& name) {
    return ReadAs(key, name, skString).text;
}

int32_t RegReadInteger(const std::string& key, const std::string& name) {
    return ReadAs(key, name, skInteger).integer;
}

double RegReadFloat(const std::string& key, const std::string& name) {
    // The stored bytes are anybody's: a value that is no number reads as
    // missing, so a date of infinity cannot silence the update notice for
    // good.
    const double v = ReadAs(key, name, skFloat).number;
    return std::isfinite(v) ? v : 0.0;
}

bool RegWriteBool(const std::string& key, const std::string& name, bool value) {
    return RegWriteInteger(key, name, value ? 1 : 0);
}

bool RegWriteString(const std::string& key, const std::string& name, const std::string& value) {
    TSettingValue v;
    v.kind = skString;
    v.text = value;
    return SettingsBackend().Write(key, name, v);
}

bool RegWriteInteger(const std::string& key, const std::string& name, int32_t value) {
    TSettingValue v;
    v.kind = skInteger;
    v.integer = value;
    return SettingsBackend().Write(key, name, v);
}

bool RegWriteFloat(const std::string& key, const std::string& name, double value) {
    TSettingValue v;
    v.kind = skFloat;
    v.number = value;
    return SettingsBackend().Write(key, name, v);
}

bool RegRemoveValue(const std::string& key, const std::string& name) { return SettingsBackend().Remove(key, name); }

bool ReadBoolSetting(const std::string& name, bool def) {
    TSettingValue v = SettingsBackend().Read(kSettingsKey, name);
    if (v.kind != skInteger) return def;
    return v.integer != 0;
}

int32_t ReadIntSetting(const std::string& name, int32_t def) {
    TSettingValue v = SettingsBackend().Read(kSettingsKey, name);
    return v.kind == skInteger ? v.integer : def;
}

bool LanguageIsGerman() { return RegReadString(kSettingsKey, "Language") == "GER"; }

void WriteDefaultSettings() {
    for (const char* name : {"NoTeletext", "UpdateCheck", "PlaySound"}) {
        if (SettingsBackend().Read(kSettingsKey, name).kind != skInteger) RegWriteBool(kSettingsKey, name, true);
    }
}

void SetSoundPlayer(TSoundPlayer player) { S().player = std::move(player); }

bool PlayNotificationSound(const std::string& name) {
    if (!ReadBoolSetting("PlaySound", true)) return false;
    const TSoundPlayer& p = S().player;
    if (!p) return false;
    try {
        return p(name);
    } catch (...) {
        // A sound is a courtesy; it never ends a run.
        return false;
    }
}

} // namespace tw
