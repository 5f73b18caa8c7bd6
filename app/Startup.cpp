#include "app/Startup.h"

#include <windows.h>

#include "app/AboutForm.h"
#include "app/AppSkin.h"
#include "app/ChangesForm.h"
#include "app/ExitForm.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "tools/PatchForm.h"
#include "tools/ToolForms.h"
#include "ui/Application.h"
#include "ui/Consts.h"

namespace tw {

std::function<bool()> PlatformIsNTHook;

TStartupHooks& StartupHooks() {
    static TStartupHooks h;
    return h;
}

std::vector<std::string>& StartupTrace() {
    static std::vector<std::string> t;
    return t;
}

bool PlatformIsNT() {
    if (PlatformIsNTHook) return PlatformIsNTHook();
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&vi)) return true;
#pragma GCC diagnostic pop
    return vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

std::string EscapedExceptionText(const std::exception& e, uintptr_t address) {
    return DescribeException(e) + " @ (Address $" + IntToHex(static_cast<int64_t>(address & 0xFFFFFFFFu), 8) + ")";
}

namespace {

// What escapes the start-up goes where an exception that escapes the message
// loop goes, and the user sees it in the problem window: a start that ends
// without a word looks like a program that never started.
int StartupFailed(const std::string& text, bool runLoop) {
    StartupTrace().push_back("Exception");
    WriteEventLog(kEventSource, text, eltError, kEventUnhandledException);
    try {
        ShowStartupProblem(text);
    } catch (...) {
        // Not even the problem window: the event-log entry stands.
    }
    try {
        if (Application) {
            Application->Terminate();
            if (runLoop) Application->DestroyForms();
        }
    } catch (...) {
    }
    return 1;
}

int RunStartupSteps(bool runLoop);

} // namespace

int RunStartup(bool runLoop) {
    try {
        return RunStartupSteps(runLoop);
    } catch (const std::exception& e) {
        return StartupFailed(EscapedExceptionText(e, ExceptionAddress(e)), runLoop);
    } catch (...) {
        return StartupFailed("Exception: unknown @ (Address $00000000)", runLoop);
    }
}

namespace {

int RunStartupSteps(bool runLoop) {
    std::vector<std::string>& trace = StartupTrace();
    trace.clear();
    // 1. Unit initialisation: the picture formats, the skin engine.
    RegisterStandardPictureFormats();
    StartSkinUnit();
    // 2. The language chooses the problem window's text.
    bool german = LanguageIsGerman();
    trace.push_back("Language");
    // 3. Only the NT family runs the program.
    if (!PlatformIsNT()) {
        WriteEventLog(kEventSource, kPlatformEventText, eltError, kEventPlatformRefused);
        trace.push_back("PlatformRefused");
        ShowStartupProblem(PlatformProblemText(german));
        Application->Terminate();
        return 1;
    }
    // 4. The application object.
    Application->Initialize();
    Application->SetTitle("Tarnwick");
    // 5. Main window, preserve-streams window.
    RegisterToolWindows(StartupHooks());
    Application->CreateForm(Form1);
    trace.push_back("TForm1");
    if (StartupHooks().createTrashForm) {
        StartupHooks().createTrashForm(Application);
        trace.push_back("TTrashForm");
    }
    // 6. The windowing layer's texts come in German; once, English for
    // everybody else.
    if (!LanguageIsGerman()) {
        UseEnglishStdTexts();
        trace.push_back("StdTexts");
    }
    // 7. Change log and raw cutter.
    Application->CreateForm(ChangesForm);
    trace.push_back("TChangesForm");
    if (StartupHooks().createRawCutterForm) {
        StartupHooks().createRawCutterForm(Application);
        trace.push_back("TRawCutterForm");
    }
    // 8. The data folder failed: end here.
    if (Application->Terminated()) {
        trace.push_back("Terminated");
        if (runLoop) Application->DestroyForms();
        return 1;
    }
    // 9. About, progress, log.
    Application->CreateForm(Form5);
    trace.push_back("TForm5");
    Application->CreateForm(Form2);
    trace.push_back("TForm2");
    Application->CreateForm(Form3);
    trace.push_back("TForm3");
    if (Form1) Form1->PlaceLogWindow(true);
    // Every window made so far wears the main window's skin.
    for (int i = 0; i < Application->ComponentCount(); ++i)
        JoinSkin(dynamic_cast<TCustomForm*>(Application->Components(i)));
    // And the tools' windows that come later.
    JoinToolFormSkin = JoinSkin;
    if (!runLoop) return 0;
    // 10. The message loop; what escapes it goes to the event log.
    try {
        if (!Application->Terminated()) Application->Run();
    } catch (const std::exception& e) {
        // The program's own exceptions know where they were raised; those of
        // the run-time library give zero.
        WriteEventLog(kEventSource, EscapedExceptionText(e, ExceptionAddress(e)), eltError, kEventUnhandledException);
    } catch (...) {
        WriteEventLog(kEventSource, "Exception: unknown @ (Address $00000000)", eltError, kEventUnhandledException);
    }
    try {
        Application->DestroyForms();
    } catch (...) {
    }
    return 0;
}

} // namespace

} // namespace tw
