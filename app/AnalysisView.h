// The main window's analysis and cleaning view: builds the step panels into
// "Preparation steps" and the result panels into "Identified Streams", owns
// the analysis engine and the cleaning view, and is the engine's stream view
// (the shell's parts of the host come from TMainWindowHost).
//
// Registered at start-up with
//     SetMainWindowViewFactory(MakeAnalysisView);
// The main window then forwards opening, START, the progress tick, the
// language switch and the close-while-busy question to it.
#pragma once

#include <memory>
#include <string>

#include "app/CleaningView.h"
#include "app/MainForm.h"
#include "app/MainHost.h"
#include "app/StreamPanels.h"
#include "analysis/AnalysisEngine.h"

namespace tw {

class TAnalysisView : public TMainWindowHost, public IStreamView, public TMainWindowView {
public:
    explicit TAnalysisView(TForm1& form);
    ~TAnalysisView() override;

    TAnalysisEngine& Engine() { return *engine_; }
    TCleaningView& Cleaning() { return *cleaning_; }
    TStepPanels& Steps() { return steps_; }
    TStreamPanels& Panels() { return panels_; }

    // Clicks on the panels (audio pictures, text pictures or titles):
    // refused while a pass runs. Return the engine's toggle state.
    int AudioClick(int slot);
    int TextClick(int slot);
    // "Change Language_Descriptor" of a panel's popup menu: the stream of
    // the panel's PES reader, the panel's details label.
    void ChangeLanguageDescriptor(TPanelKind kind, int slot);
    // Asks for the new code of the PMT entry of `pid` and shows it in
    // `label` (the last occurrence of the old code is replaced).
    void ChangeLanguageDescriptor(int pid, TLabel* label);

    // TMainWindowView
    void ResetPanels() override;
    void ResetAll() override;
    void OpenStream(const std::string& fileName) override;
    void Start() override;
    // The preserve-streams and patch dialogs; refused while a pass runs.
    void Preserve() override;
    void Patch() override;
    void LanguageChanged(bool german) override;
    void ProgressTick() override;
    void RefreshSizeLabels() override;
    bool Busy() const override;
    void CancelRequested() override;

    // IStreamView
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text) override;
    void ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel) override;
    void ShowTimeline(const TTimelineTexts& texts) override;
    void ShowAnalysisBoxes(bool on) override;
    void EnableButtons(bool start, bool preserve, bool patch, bool cut) override {
        TMainWindowHost::EnableButtons(start, preserve, patch, cut);
    }
    void FileOpened(const std::string& fileName) override { TMainWindowHost::FileOpened(fileName); }

private:
    TStepPanels steps_;
    TStreamPanels panels_;
    // The cleaning view's pass belongs to the engine: the view goes first.
    std::unique_ptr<TAnalysisEngine> engine_;
    std::unique_ptr<TCleaningView> cleaning_;
};

// The factory the program registers with SetMainWindowViewFactory.
std::unique_ptr<TMainWindowView> MakeAnalysisView(TForm1& form);

} // namespace tw
