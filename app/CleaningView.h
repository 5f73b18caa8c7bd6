// The main window's part of the cleaning pass: START (save dialog, buttons,
// the pass, its result), the progress window's cancel button, time panel and
// bandwidth meter, and the size and error labels of the stream panels.
//
// The main window's view owns one and forwards START, the 500 ms progress
// tick and Busy() to it:
//     cleaning_ = std::make_unique<TCleaningView>(form, engine);
//     cleaning_->OnStreamLabel = [this](pidText, size, errors) { ... };
//     void Start() override { cleaning_->Start(); }
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "analysis/CleaningPass.h"

namespace tw {

class TForm1;
class TAnalysisEngine;

class TCleaningView : public ICleaningHost {
public:
    TCleaningView(TForm1& form, TAnalysisEngine& engine);
    ~TCleaningView() override;

    // START (`sBitBtn1Click`): asks for the output name and runs the pass.
    void Start();
    // The START steps after the save dialog (used by tests and by Start).
    TCleaningResult CleanTo(const std::string& outputFileName);
    // UpdateLabelTimer's tick while the pass runs: the progress of the
    // cleaning reader in the progress window.
    void ProgressTick();
    // Every third tick: the panels' size and error labels.
    void RefreshLabels();
    bool Busy() const;
    // The user agreed to abort (closing the window): the pass stops at its
    // next look at the cancel flag without asking again.
    void RequestAbort();
    TCleaningPass& Pass() { return *pass_; }

    // Where the per-PID size and error texts go (the panel whose PID label
    // reads pidText); set by the view that owns the panels.
    std::function<void(const std::string& pidText, const std::string& size, const std::string& errors)> OnStreamLabel;
    // Replaces the save dialog (tests): returns false for "cancelled".
    std::function<bool(std::string& fileName)> AskFileName;

    // ICleaningHost
    bool CancelPressed() override;
    void ClearCancel() override;
    bool AskAbort(const std::string& text) override;
    bool AskPcrCorrection(const std::string& text) override;
    void ShowCleaningControls(bool on) override;
    void ClearMeter() override;
    void SetMeterLineVisible(int line, bool visible) override;
    void MeterSample(int line, int64_t bits) override;
    void MeterStep() override;
    void SetTimeText(const std::string& text) override;
    void UpdateStreamLabel(const std::string& pidText, const std::string& size, const std::string& errors) override;

private:
    bool RunSaveDialog(std::string& fileName);
    void EnableStartButtons(bool enabled);
    TForm1& form_;
    TAnalysisEngine& engine_;
    TCleaningPass* pass_; // owned by the engine (a component of it)
    bool abortAgreed_ = false;
};

} // namespace tw
