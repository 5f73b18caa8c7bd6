// Program entry: the registry and the WAV resources behind the settings and
// sounds, then the start-up.
#include <windows.h>

#include "app/Settings.h"
#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tw::InstallWindowsSettings();
    return tw::RunStartup(true);
}
