// A host that shows nothing and answers every question with Yes (the abort
// and PCR-correction questions of the cleaning pass with No): the base for
// runs without a window (tests, benchmarks), which override only what they
// watch or answer differently.
#pragma once

#include <string>

#include "analysis/AnalysisHost.h"
#include "analysis/CleaningPass.h"

namespace tw {

class TQuietHost : public IAnalysisHost, public ICleaningHost {
public:
    // IAnalysisHost
    void LogLine(const std::string&) override {}
    void ClearLog() override {}
    void SetStep(TAnalysisStep, TStepState, const std::string&) override {}
    void SetProgressStatus(const std::string&) override {}
    void ShowProgress(int64_t, int64_t) override {}
    void HideProgress() override {}
    void ProcessMessages() override {}
    bool Ask(TAnalysisQuestion, const std::string&) override { return true; }
    void ShowMessage(TMessageKind, const std::string&) override {}
    void PlaySound(const std::string&) override {}
    void ShowPanel(TPanelKind, int, const TStreamPanel&) override {}
    void ShowTimeline(const TTimelineTexts&) override {}
    void ShowAnalysisBoxes(bool) override {}
    void EnableButtons(bool, bool, bool, bool) override {}
    void FileOpened(const std::string&) override {}
    bool SettingBool(const std::string&, bool defaultValue) override { return defaultValue; }
    int SettingInt(const std::string&, int defaultValue) override { return defaultValue; }
    bool GermanTexts() override { return false; }
    std::string WindowsVersionText() override { return ""; }
    std::string ProgramNameVersion() override { return ""; }
    std::string SupportedFilterText(int) override { return ""; }

    // ICleaningHost
    bool CancelPressed() override { return false; }
    void ClearCancel() override {}
    bool AskAbort(const std::string&) override { return false; }
    bool AskPcrCorrection(const std::string&) override { return false; }
};

} // namespace tw
