// The program's settings: named values under one key of the current user.
// On Windows the registry holds them (app/Settings installs that backend at
// start); elsewhere, and in the portable tests, an in-memory store does, so
// the analysis and cleaning code reads its settings the same way everywhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tw {

// Every caller passes this key: "\Software\Orvalin\Tarnwick\Settings" under
// HKEY_CURRENT_USER.
extern const char* const kSettingsKey;

// Value kinds as they are stored: Boolean and Integer as 32-bit numbers,
// String as text, floating point as the 8 bytes of an IEEE-754 double.
enum TSettingKind { skMissing, skInteger, skString, skFloat, skOther };

struct TSettingValue {
    TSettingKind kind = skMissing;
    int32_t integer = 0;
    std::string text;
    double number = 0.0;
};

// Where the values live. Every call opens the key, does one operation and
// closes it again; no handle is kept between calls.
class TSettingsBackend {
public:
    virtual ~TSettingsBackend() = default;
    // kind skMissing when the key or the value does not exist
    virtual TSettingValue Read(const std::string& key, const std::string& name) = 0;
    // false when the key could not be opened or created
    virtual bool Write(const std::string& key, const std::string& name, const TSettingValue& v) = 0;
    virtual bool Remove(const std::string& key, const std::string& name) = 0;
};

// Process-wide backend; nullptr restores the in-memory store. Set once at
// start, before any window reads a setting.
void SetSettingsBackend(std::unique_ptr<TSettingsBackend> backend);
TSettingsBackend& SettingsBackend();
// Empties the in-memory store (tests).
void ClearMemorySettings();

bool RegValueExists(const std::string& key, const std::string& name);
// A value that is missing, or stored with another type than the one asked
// for, reads as the neutral value: False, empty, 0, 0.0. (A stray value of
// the wrong type must not stop the program from starting.)
bool RegReadBool(const std::string& key, const std::string& name);
std::string RegReadString(const std::string& key, const std::string& name);
int32_t RegReadInteger(const std::string& key, const std::string& name);
double RegReadFloat(const std::string& key, const std::string& name);
// True when the key could be opened or created and the value written.
bool RegWriteBool(const std::string& key, const std::string& name, bool value);
bool RegWriteString(const std::string& key, const std::string& name, const std::string& value);
bool RegWriteInteger(const std::string& key, const std::string& name, int32_t value);
bool RegWriteFloat(const std::string& key, const std::string& name, double value);
bool RegRemoveValue(const std::string& key, const std::string& name);

// Convenience for the settings whose default is on: the value when it is
// present with the right type, else def.
bool ReadBoolSetting(const std::string& name, bool def);
// The same for numbers on the settings key.
int32_t ReadIntSetting(const std::string& name, int32_t def);

// "GER" selects German for the main window and its messages; anything else
// (also no value) English.
bool LanguageIsGerman();

// Writes NoTeletext, UpdateCheck and PlaySound as True when they are absent
// (also when present with a wrong type, which reads as absent).
void WriteDefaultSettings();

// Notification sounds: the player plays a named sound of the program and
// answers whether it started; Windows installs one that plays the WAV
// resources. PlayNotificationSound plays nothing when PlaySound is present
// and off.
using TSoundPlayer = std::function<bool(const std::string& name)>;
void SetSoundPlayer(TSoundPlayer player);
bool PlayNotificationSound(const std::string& name);

} // namespace tw
