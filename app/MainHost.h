// The shell's parts of the analysis host: the log window, the progress window
// with the message loop, questions, messages and sounds, and the settings and
// header texts. The stream view (step and result panels, the boxes around
// them, buttons, status line) is the panel code's part; it derives from this
// and uses the shell's halves of the boxes, buttons and status line below.
#pragma once

#include "analysis/AnalysisHost.h"

namespace tw {

class TForm1;

class TMainWindowHost : public ILogView, public IProgressView, public IQuestions, public IHostSettings {
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
    bool SettingBool(const std::string& name, bool defaultValue) override;
    int SettingInt(const std::string& name, int defaultValue) override;
    bool GermanTexts() override;
    std::string WindowsVersionText() override;
    std::string ProgramNameVersion() override;
    std::string SupportedFilterText(int kind) override;

    // The shell's halves of what the stream view shows.
    void ShowAnalysisBoxes(bool on);
    void EnableButtons(bool start, bool preserve, bool patch, bool cut);
    void FileOpened(const std::string& fileName);

protected:
    TForm1& form_;
};

// "Windows XP  Version 5.1 Build 2600 Service Pack 3" of the running system.
std::string SystemWindowsVersionText();

} // namespace tw
