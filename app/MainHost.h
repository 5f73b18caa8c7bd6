// The shell's half of the analysis host: everything IAnalysisHost asks of
// the main window that is not a step or result panel (log, progress window,
// questions and messages, sounds, buttons, status line, settings, header
// texts). The panel code derives from it and adds SetStep, ShowPanel and
// ShowTimeline.
#pragma once

#include "app/engine/AnalysisHost.h"

namespace tw {

class TForm1;

class TMainWindowHost : public IAnalysisHost {
public:
    explicit TMainWindowHost(TForm1& form) : form_(form) {}

    void LogLine(const std::string& line) override;
    void ClearLog() override;
    void SetProgressStatus(const std::string& text) override;
    void ShowProgress(int64_t total, int64_t position) override;
    void HideProgress() override;
    void ProcessMessages() override;
    void Pause(int milliseconds) override;
    bool Ask(TAnalysisQuestion question, const std::string& text) override;
    void ShowMessage(TMessageKind kind, const std::string& text) override;
    void PlaySound(const std::string& resourceName) override;
    void ShowAnalysisBoxes(bool on) override;
    void EnableButtons(bool start, bool preserve, bool patch, bool cut) override;
    void FileOpened(const std::string& fileName) override;
    bool SettingBool(const std::string& name, bool defaultValue) override;
    int SettingInt(const std::string& name, int defaultValue) override;
    bool GermanTexts() override;
    std::string WindowsVersionText() override;
    std::string ProgramNameVersion() override;
    std::string SupportedFilterText(int kind) override;

protected:
    TForm1& form_;
};

// "Windows XP  Version 5.1 Build 2600 Service Pack 3" of the running system.
std::string SystemWindowsVersionText();

} // namespace tw
