// The program's start-up: language, platform check, application object, the
// long-lived windows in their order, the English standard texts, the message
// loop and the last-resort event-log entry.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "shared/StartupHooks.h"
#include "ui/Forms.h"

namespace tw {

TStartupHooks& StartupHooks();

// What the start-up did, in order ("Language", "TForm1", "StdTexts", ...):
// for the tests of the order.
std::vector<std::string>& StartupTrace();

// Seam for the platform test (the real one asks the system).
extern std::function<bool()> PlatformIsNTHook;
bool PlatformIsNT();

// Runs the start-up; with runLoop the message loop runs until the main
// window closes and the windows are destroyed at the end. Returns the exit
// code. An exception that escapes the start-up before the loop gets the
// event-log entry of one that escapes the loop and the problem window, and
// ends the start-up with 1.
int RunStartup(bool runLoop);

// The event-log text of an exception that escaped the message loop:
// class name, ": ", message, " @ (Address $", eight hex digits, ")".
std::string EscapedExceptionText(const std::exception& e, uintptr_t address);

} // namespace tw
