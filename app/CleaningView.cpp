#include "app/CleaningView.h"

#include "shared/BandwidthMeter.h"
#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "analysis/CleaningChain.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/SettingsStore.h"
#include "base/SysUtils.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"
#include "ui/Application.h"
#include "skin/controls/sDialogs.h"
#include "ui/Dialogs.h"

namespace tw {

TCleaningView::TCleaningView(TForm1& form, TAnalysisEngine& engine)
    : form_(form), engine_(engine), pass_(new TCleaningPass(&engine, &engine, this))
{
}

TCleaningView::~TCleaningView() = default;

bool TCleaningView::Busy() const { return pass_->Running(); }

bool TCleaningView::RunSaveDialog(std::string& fileName)
{
    if (AskFileName)
        return AskFileName(fileName);
    skin::TsSaveDialog sSaveDialog1(nullptr);
    sSaveDialog1.SetName("sSaveDialog1");
    sSaveDialog1.SetDefaultExt("ts");
    sSaveDialog1.SetFilter("TransportStream(*.ts)|*.ts");
    sSaveDialog1.SetTitle("Select filename for new stream");
    sSaveDialog1.SetFileName(fileName);
    if (!sSaveDialog1.Execute())
        return false;
    fileName = sSaveDialog1.FileName();
    return true;
}

void TCleaningView::EnableStartButtons(bool enabled)
{
    if (auto* raw = dynamic_cast<TMenuItem*>(form_.FindComponent("RawCutter1")))
        raw->SetEnabled(enabled);
    form_.sBitBtn1->SetEnabled(enabled);
    form_.sBitBtn2->SetEnabled(enabled);
    form_.sBitBtn3->SetEnabled(enabled);
    form_.sBitBtn4->SetEnabled(enabled);
    form_.sBitBtn1->Repaint();
    form_.sBitBtn2->Repaint();
    form_.sBitBtn3->Repaint();
}

void TCleaningView::Start()
{
    if (Busy() || engine_.Busy() || !engine_.Analysed())
        return;
    std::string name = TCleaningPass::DefaultOutputName(form_.OpenDialog1->FileName());
    if (!RunSaveDialog(name))
        return;
    // An existing file is replaced only after a question: the name proposed
    // is that of the last copy, and a slip of the hand could name another
    // recording. A name the pass refuses (the recording itself) is told as
    // such, not asked about.
    if (pass_->CheckOutputName(engine_.FileName(), name).empty() && FileExists(name) &&
        !engine_.Questions().Ask(TAnalysisQuestion::OverwriteFile, ReplaceFileQuestion(name, LanguageIsGerman())))
        return;
    CleanTo(name);
}

TCleaningResult TCleaningView::CleanTo(const std::string& outputFileName)
{
    // A refused name leaves the buttons as they are, so the user can retry.
    const std::string refusal = pass_->CheckOutputName(engine_.FileName(), outputFileName);
    if (!refusal.empty()) {
        engine_.Questions().ShowMessage(TMessageKind::Error, refusal);
        return TCleaningResult::NotRun;
    }
    EnableStartButtons(false);
    if (Application)
        Application->ProcessMessages();
    abortAgreed_ = false;
    form_.UpdateLabelTimer->SetEnabled(true);
    const TCleaningResult r = pass_->Run(outputFileName);
    form_.UpdateLabelTimer->SetEnabled(false);
    if (Form2)
        Form2->Hide();
    RefreshLabels();
    // The buttons stay disabled: the next analysis enables them again.
    if (pass_->TerminateRequested() && Application)
        Application->Terminate();
    return r;
}

void TCleaningView::ProgressTick()
{
    // Only a window the pass shows is updated: the timer also ticks while a
    // message box of a failing pass waits, and must not bring the window back.
    if (!Busy() || !Form2 || !Form2->Visible())
        return;
    const TTSPacketReader* r = &engine_.Chain().Reader();
    engine_.Progress().ShowProgress(r->PacketCount(), r->PacketIndex());
}

void TCleaningView::RefreshLabels()
{
    pass_->UpdateStreamLabels();
}

void TCleaningView::RequestAbort()
{
    abortAgreed_ = true;
}

bool TCleaningView::CancelPressed() { return abortAgreed_ || (Form2 && Form2->CancelFlag); }

void TCleaningView::ClearCancel()
{
    abortAgreed_ = false;
    if (Form2)
        Form2->CancelFlag = false;
}

bool TCleaningView::AskAbort(const std::string& text)
{
    // Closing the window asked this question already.
    if (abortAgreed_)
        return true;
    return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

bool TCleaningView::AskPcrCorrection(const std::string& text)
{
    return MessageDlg(text, mtConfirmation, mbYesNo) == mrYes;
}

void TCleaningView::ShowCleaningControls(bool on)
{
    if (!Form2)
        return;
    // The meter panel first: the cancel button keeps the panel's extra height.
    // The window comes at once, not faded in: the pass would wait for the
    // fade. It goes before it shrinks: a visible window repaints each step.
    if (on) {
        Form2->ShowMeterPanel(true);
        Form2->ShowCancelButton(true);
        Form2->ShowWithoutFade();
    } else {
        Form2->Hide();
        Form2->ShowCancelButton(false);
        Form2->ShowMeterPanel(false);
    }
}

void TCleaningView::ClearMeter()
{
    if (Form2 && Form2->OvBandwidthMeter1)
        Form2->OvBandwidthMeter1->Clear();
}

void TCleaningView::SetMeterLineVisible(int line, bool visible)
{
    if (!Form2 || !Form2->OvBandwidthMeter1)
        return;
    if (TOvLine* l = Form2->OvBandwidthMeter1->Lines(line))
        l->SetVisible(visible);
}

void TCleaningView::MeterSample(int line, int64_t bits)
{
    if (!Form2 || !Form2->OvBandwidthMeter1)
        return;
    if (TOvLine* l = Form2->OvBandwidthMeter1->Lines(line))
        l->AddSample(static_cast<int32_t>(bits > INT32_MAX ? INT32_MAX : bits));
}

void TCleaningView::MeterStep()
{
    if (Form2 && Form2->OvBandwidthMeter1)
        Form2->OvBandwidthMeter1->Step();
}

void TCleaningView::SetTimeText(const std::string& text)
{
    if (Form2 && Form2->PtsPanel)
        Form2->PtsPanel->SetCaption(text);
}

void TCleaningView::UpdateStreamLabel(const std::string& pidText, const std::string& size, const std::string& errors)
{
    if (OnStreamLabel)
        OnStreamLabel(pidText, size, errors);
}

} // namespace tw
