// The program's main window cleaning a recording, timed as the user waits
// for it: from the confirmation of the save dialog to the result box, the
// close of the output included. Windows build only, run under Wine:
//
//   bench/compare-app [recording.ts] [runs]    (beside ffmpeg's remux)
//   wine build/windows/bench/bench_app_clean.exe Z:\path\rec.ts [runs]
//
// The program starts as Tarnwick.exe does (settings, skin, the main window
// with its analysis view); the dialog hook stands in for the user, answering
// the save dialog with <recording>_fixed.ts and the result box with OK. Each
// run opens the recording, presses START and prints
//   run N: <seconds> s to the result box, pass "Speed: ..." ; <first line of the result>
// Sounds, the update check and the log window are off for the run.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/AnalysisView.h"
#include "app/MainForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/AppLog.h"
#include "analysis/SettingsStore.h"
#include "base/Sync.h"
#include "base/SysUtils.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

using TClock = std::chrono::steady_clock;

struct TRunTimes {
    std::string output;
    TClock::time_point confirmed{};
    TClock::time_point result{};
    bool sawSave = false;
    bool sawResult = false;
    std::string resultText;
};
TRunTimes g_run;

std::optional<int> AnswerLikeAUser(TDialogRequest& rq) {
    switch (rq.Kind) {
    case dkSaveFile:
        g_run.sawSave = true;
        *rq.Value = g_run.output;
        g_run.confirmed = TClock::now();
        return mrOk;
    case dkOpenFile:
    case dkInputQuery: return mrCancel;
    default:
        if (g_run.sawSave && !g_run.sawResult) {
            g_run.result = TClock::now();
            g_run.sawResult = true;
            g_run.resultText = rq.Text.substr(0, rq.Text.find_first_of("\r\n"));
        }
        if (rq.Buttons & mbYes) return mrYes;
        return mrOk;
    }
}

std::string SpeedLine() {
    const std::vector<std::string> lines = LogLines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->rfind("Speed:", 0) == 0) return *it;
    return "no Speed line";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: bench_app_clean recording.ts [runs]\n");
        return 2;
    }
    const std::string recording = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    SetMainThread(); // the thread that services the workers' hand-overs
    InstallWindowsSettings();
    for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow"}) RegWriteBool(kSettingsKey, n, false);
    RegWriteString(kSettingsKey, "Language", "ENG");
    SetDialogHook(AnswerLikeAUser);
    SetProgramParameters({});
    SetMainWindowViewFactory(MakeAnalysisView);
    if (RunStartup(false) != 0 || !Form1) {
        std::printf("start-up failed\n");
        return 1;
    }
    Form1->Show();
    Application->ProcessMessages();
    g_run.output = ChangeFileExt(recording, "_fixed.ts");
    int status = 0;
    for (int run = 1; run <= runs; ++run) {
        // The output of the previous run is gone before the next starts, as
        // a first save would find it.
        RemoveFile(g_run.output);
        RemoveFile(ChangeFileExt(recording, "_fixed.log"));
        Form1->OpenRecording(recording);
        Application->ProcessMessages();
        g_run.sawSave = g_run.sawResult = false;
        Form1->sBitBtn1->Click();
        if (!g_run.sawSave || !g_run.sawResult) {
            std::printf("run %d: no save dialog or no result box\n", run);
            status = 1;
            break;
        }
        const double s = std::chrono::duration<double>(g_run.result - g_run.confirmed).count();
        std::printf("run %d: %.3f s to the result box, pass \"%s\"; %s\n", run, s, SpeedLine().c_str(),
                    g_run.resultText.c_str());
        std::fflush(stdout);
    }
    RemoveFile(g_run.output);
    RemoveFile(ChangeFileExt(recording, "_fixed.log"));
    std::fflush(stdout);
    // The windows are not torn down one by one: the process ends here.
    ExitProcess(static_cast<UINT>(status));
}
