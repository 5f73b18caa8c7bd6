#include "app/AnalysisView.h"

#include "analysis/TableSelection.h"
#include "analysis/CleaningChain.h"
#include "analysis/AppLog.h"
#include "analysis/CleaningPass.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "tools/PatchForm.h"
#include "ts/TSPmtReader.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

TAnalysisView::TAnalysisView(TForm1& form)
    : TMainWindowHost(form), steps_(form), panels_(form), engine_(std::make_unique<TAnalysisEngine>(TAnalysisHost{this, this, this, this, this})) {
    cleaning_ = std::make_unique<TCleaningView>(form, *engine_);
    cleaning_->OnStreamLabel = [this](const std::string& pidText, const std::string& size, const std::string& errors) {
        panels_.SetStreamLabels(pidText, size, errors);
    };
    panels_.OnAudioClick = [this](int slot) { AudioClick(slot); };
    panels_.OnTextClick = [this](int slot) { TextClick(slot); };
    panels_.OnLanguageItem = [this](TPanelKind kind, int slot) { ChangeLanguageDescriptor(kind, slot); };
}

TAnalysisView::~TAnalysisView() {
    // The controls outlive the view (the form owns them): no click may reach it.
    panels_.OnAudioClick = nullptr;
    panels_.OnTextClick = nullptr;
    panels_.OnLanguageItem = nullptr;
    cleaning_.reset();
    engine_.reset();
}

std::unique_ptr<TMainWindowView> MakeAnalysisView(TForm1& form) { return std::make_unique<TAnalysisView>(form); }

// ---------------------------------------------------------------- the view

void TAnalysisView::ResetPanels() {
    panels_.Reset();
    steps_.ResetStepLabels();
    panels_.ShowArea(false);
}

void TAnalysisView::ResetAll() {
    if (Busy()) return;
    cleaning_->Pass().ForgetRecordingChoices();
    engine_->ResetAll();
}

void TAnalysisView::OpenStream(const std::string& fileName) {
    if (Busy()) return;
    // The cut, patch and preserve choices belong to the recording they were made for.
    TCleaningPass& pass = cleaning_->Pass();
    pass.ForgetRecordingChoices();
    const bool ok = engine_->AnalyseStream(fileName);
    if (ok) FillPreserveList(*engine_, pass.PreserveList);
    if (ok && form_.Visible() && form_.Enabled()) {
        try {
            form_.SetFocus();
        } catch (...) {
            // A window that cannot take the focus now keeps the result anyway.
        }
    }
}

void TAnalysisView::Start() { cleaning_->Start(); }

void TAnalysisView::Preserve() {
    if (Busy() || !engine_->Analysed() || !TrashForm) return;
    // The list is the analysis's: it says nothing about another state of the file.
    if (!engine_->CheckRecordingUnchanged()) return;
    TrashForm->Execute(cleaning_->Pass().PreserveList, LanguageIsGerman());
}

void TAnalysisView::Patch() {
    if (Busy() || !engine_->Analysed()) return;
    if (!engine_->CheckRecordingUnchanged()) return;
    TCleaningOptions& options = cleaning_->Pass().Options;
    TPatchForm::Execute(*engine_, options.NewServiceId, options.PidRemapCount);
}

void TAnalysisView::LanguageChanged(bool german) { panels_.LanguageChanged(german); }

void TAnalysisView::ProgressTick() { cleaning_->ProgressTick(); }

void TAnalysisView::RefreshSizeLabels() { cleaning_->RefreshLabels(); }

bool TAnalysisView::Busy() const { return (engine_ && engine_->Busy()) || (cleaning_ && cleaning_->Busy()); }

void TAnalysisView::CancelRequested() {
    // The user has agreed already: neither pass asks again.
    if (engine_->Busy()) engine_->RequestCancel();
    if (cleaning_->Busy()) cleaning_->RequestAbort();
}

int TAnalysisView::AudioClick(int slot) {
    if (Busy()) return engine_->AudioPanel(slot).ToggleState;
    return engine_->ToggleAudioStream(slot);
}

int TAnalysisView::TextClick(int slot) {
    if (Busy()) return engine_->TextPanel(slot).ToggleState;
    return engine_->ToggleTextStream(slot);
}

void TAnalysisView::ChangeLanguageDescriptor(TPanelKind kind, int slot) {
    if (Busy() || slot < 0) return;
    TTSPesReader* reader = nullptr;
    TLabel* label = nullptr;
    if (kind == TPanelKind::Audio && slot < AUDIO_SLOTS) {
        reader = &engine_->Chain().AudioPes(slot);
        label = panels_.Audio[slot].Details;
    } else if (kind == TPanelKind::Text && slot < TEXT_SLOTS) {
        reader = &engine_->Chain().TextPes(slot);
        label = panels_.Text[slot].Details;
    }
    if (!reader || !label) return;
    ChangeLanguageDescriptor(reader->PID(), label);
}

void TAnalysisView::ChangeLanguageDescriptor(int pid, TLabel* label) {
    if (Busy() || !label) return;
    TTSPmtReader* pmt = &engine_->Selection().Pmt();
    const int index = pmt->IndexOfPid(pid);
    if (index < 0) return;
    const std::string old = pmt->Entry(index).Language;
    if (old.empty()) return;
    const bool german = LanguageIsGerman();
    std::string value = old;
    if (!InputQuery(DescriptorDialogCaption(german), DescriptorDialogPrompt(german), value)) return;
    if (value == old) return;
    if (value.size() != 3) {
        tw::ShowMessage(DescriptorLengthMessage(german));
        return;
    }
    value = LowerCase(value);
    if (!engine_->ChangeLanguageDescriptor(pid, value)) return;
    // The last occurrence of the old code in the panel's text, whatever its case.
    std::string text = label->Caption();
    const std::string lower = LowerCase(text);
    const size_t at = lower.rfind(LowerCase(old));
    if (at != std::string::npos) {
        text.replace(at, old.size(), value);
        label->SetCaption(text);
    }
}

// ---------------------------------------------------------------- the host's panels

void TAnalysisView::SetStep(TAnalysisStep step, TStepState state, const std::string& text) {
    steps_.SetStep(step, state, text);
}

void TAnalysisView::ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel) {
    panels_.ShowPanel(kind, slot, panel);
}

void TAnalysisView::ShowTimeline(const TTimelineTexts& texts) { panels_.ShowTimeline(texts); }

void TAnalysisView::ShowAnalysisBoxes(bool on) {
    TMainWindowHost::ShowAnalysisBoxes(on);
    panels_.ShowArea(on);
    form_.sGroupBox7->Invalidate();
    form_.sGroupBox8->Invalidate();
}

} // namespace tw
