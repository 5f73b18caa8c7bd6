// Program entry: the registry and the WAV resources behind the settings and
// sounds, the main window's analysis view, then the start-up.
#include <windows.h>

#include "app/AnalysisView.h"
#include "shared/Settings.h"
#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    tw::InstallWindowsSettings();
    tw::SetMainWindowViewFactory(tw::MakeAnalysisView);
    return tw::RunStartup(true);
}
