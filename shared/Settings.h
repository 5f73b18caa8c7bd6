// Windows side of the settings store, the notification sounds and the event
// log. The settings functions themselves (RegReadBool, RegWriteString, ...)
// and PlayNotificationSound are declared in analysis/SettingsStore.h; this
// unit puts the registry and the WAV resources behind them.
#pragma once

#include <functional>
#include <string>

#include "analysis/SettingsStore.h"

namespace tw {

// Makes the registry (HKEY_CURRENT_USER) the settings store and the WAV
// resources of the program the notification sounds. Call once at start.
void InstallWindowsSettings();

// Plays the WAV resource of that name asynchronously from memory; false when
// the resource is missing or the sound did not start. Ignores PlaySound.
bool PlayWavResource(const std::string& name);
// True when the program carries a WAV resource of that name.
bool HasWavResource(const std::string& name);

// Event-log types as callers pass them.
enum TEventLogType { eltError = 0, eltWarning = 1, eltInformation = 2, eltAuditSuccess = 3, eltAuditFailure = 4 };
// Event ids of the program (all written as errors under "Tarnwick").
constexpr int kEventPlatformRefused = 2;
constexpr int kEventDataFolderFailed = 3;
constexpr int kEventUnhandledException = 2134;
extern const char* const kEventSource; // "Tarnwick"

// Registers the source, reports one entry with one string, deregisters.
// Nothing is written when the source cannot be registered.
void WriteEventLog(const std::string& source, const std::string& text, int typeCode, int eventId);
// For tests: when set, WriteEventLog hands its entry here instead.
extern std::function<void(const std::string& source, const std::string& text, int typeCode, int eventId)>
    EventLogHook;
// The event-log type of a caller's type code (EVENTLOG_ERROR_TYPE, ...).
unsigned short EventLogTypeOf(int typeCode);

} // namespace tw
