#include "app/PacketTools.h"

#include <windows.h>

#include <memory>

#include "app/AnalysisView.h"
#include "app/CleaningView.h"
#include "app/MainForm.h"
#include "analysis/AppLog.h"
#include "analysis/CleaningPass.h"
#include "analysis/ScanPasses.h"
#include "analysis/SettingsStore.h"
#include "base/SysUtils.h"
#include "skin/controls/sDialogs.h"
#include "tools/FilterForm.h"
#include "tools/PacketEditorForm.h"
#include "tools/ToolForms.h"
#include "tools/engine/LowLevelFix.h"
#include "tools/engine/PacketFilter.h"
#include "tools/engine/PacketListings.h"
#include "ts/TSPacketReader.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Menus.h"

namespace tw {

namespace {

constexpr int64_t kFilterScanPackets = 100000;

// The tools' own messages: key, German, English.
const TToolText kToolMessages[] = {
    {"sameName", "Die Ausgabedatei darf nicht die Eingabedatei sein:\r",
     "The output file must not be the input file:\r"},
    {"clockLeftOut",
     "Die gel\xC3\xB6schten PIDs tragen die Uhr (PCR) eines Programms, dessen andere Str\xC3\xB6me bleiben: "
     "die Kopie hat f\xC3\xBCr sie keine Uhr (siehe Log).",
     "The PIDs left out carry the clock (PCR) of a program whose other streams are kept: the copy has no "
     "clock for them (see the log)."},
};

using TToolRun = TForm1::TToolRun;

TAnalysisView* ViewOf(TForm1& form) { return dynamic_cast<TAnalysisView*>(form.View()); }

TToolProgress ProgressOf(TAnalysisView& v) {
    return {[&v](int64_t total, int64_t pos) { v.ShowProgress(total, pos); }, [&v] { v.ProcessMessages(); }};
}

// The start of every tool: the open dialog (refused while a pass runs);
// the main window's view, or null on cancel.
TAnalysisView* ChooseInput(TForm1& form, std::string& input) {
    TAnalysisView* v = ViewOf(form);
    if (!v || !form.CanOpenNow() || !form.OpenDialog2->Execute()) return nullptr;
    input = form.OpenDialog2->FileName();
    return v;
}

// The save dialog for a tool's new recording, proposing `proposal`.
bool ChooseOutput(const std::string& proposal, std::string& chosen) {
    skin::TsSaveDialog sSaveDialog2(nullptr);
    sSaveDialog2.SetName("sSaveDialog2");
    sSaveDialog2.SetTitle("Select filename for new stream");
    sSaveDialog2.SetFilter("TransportStream(*.ts)|*.ts");
    sSaveDialog2.SetFileName(proposal);
    sSaveDialog2.SetOptions(ofOverwritePrompt | ofHideReadOnly | ofEnableSizing);
    Application->ProcessMessages();
    if (!sSaveDialog2.Execute()) return false;
    chosen = sSaveDialog2.FileName();
    return true;
}

// A copy that would overwrite its own source is refused before anything is
// written (the copying tools also refuse it themselves).
bool RefuseSameName(TAnalysisView& v, const std::string& input, const std::string& output) {
    if (!SameFilePath(input, output)) return false;
    v.ShowMessage(TMessageKind::Error, ToolText(kToolMessages, "sameName", LanguageIsGerman()) + input);
    return true;
}

// The low-level fix saves its log after the copy: an output by the log's
// name would be overwritten by it, so it is refused as the cleaning pass
// refuses it.
bool RefuseLowLevelLogName(TAnalysisView& v, const std::string& input, const std::string& output) {
    const std::string refusal = CheckLowLevelOutput(input, output, LanguageIsGerman());
    if (refusal.empty()) return false;
    v.ShowMessage(TMessageKind::Error, refusal);
    return true;
}

} // namespace

void SPacketFilter1Click(TForm1& form) {
    std::string input;
    TAnalysisView* v = ChooseInput(form, input);
    if (!v) return;
    TAnalysisEngine& en = v->Engine();
    form.ResetAll();
    en.Tables().ResetAnalysis();
    en.TSPacketReader1->SetFileName(input);
    en.TSPacketReader1->SetActive(true);
    v->ProcessMessages();
    const bool opened = en.TSPacketReader1->Active();
    if (opened) {
        en.Scan().ScanPids(kFilterScanPackets);
        en.Scan().ScanStreamTypes(kFilterScanPackets);
    }
    en.TSPacketReader1->SetActive(false);
    if (!opened) {
        en.Tables().ResetAnalysis();
        return;
    }
    auto dialog = std::make_unique<TFilterForm>(nullptr);
    const TAnalysisTables& t = en.Tables();
    for (int i = 0; i < t.FoundStreamCount; ++i) {
        const TFoundStream& f = t.FoundStreams[static_cast<size_t>(i)];
        dialog->sCheckListBox1->Items().Add(DollarHex(f.Pid, 4) + " " + f.TypeText);
    }
    v->ProcessMessages();
    dialog->German = LanguageIsGerman();
    const bool ok = dialog->ShowModal() == mrOk;
    std::vector<int> pids;
    const bool deleteInvalid = dialog->sCheckBox1->Checked();
    if (ok) {
        for (int i = 0; i < t.FoundStreamCount; ++i)
            if (dialog->sCheckListBox1->Checked(i)) pids.push_back(t.FoundStreams[static_cast<size_t>(i)].Pid);
    }
    dialog.reset();
    std::string output;
    if (ok && static_cast<int>(pids.size()) <= TPacketFilter::kMaxPids &&
        ChooseOutput(ToolOutputName(input, "_filtered"), output) && !RefuseSameName(*v, input, output)) {
        TPacketFilter filter(en.FilterReader(), &v->Cleaning().Pass().PacketHandlers());
        filter.Pids = pids;
        filter.DeleteInvalid = deleteInvalid;
        TToolRun running(form);
        v->SetProgressStatus("Filtering PIDs");
        const auto res = filter.Run(input, output, ProgressOf(*v));
        if (!res.Ok) v->ShowMessage(TMessageKind::Error, res.Error);
        else if (res.ClocksLeftOut > 0) {
            // As the main job ends a copy that is no plain success.
            v->PlaySound("PROBLEMSFOUND");
            v->ShowMessage(TMessageKind::Warning, ToolText(kToolMessages, "clockLeftOut", LanguageIsGerman()));
        } else v->PlaySound("DONE");
    }
    v->HideProgress();
    en.Tables().ResetAnalysis();
}

void SLowLevelFormat1Click(TForm1& form) {
    std::string input;
    TAnalysisView* v = ChooseInput(form, input);
    if (!v) return;
    TAnalysisEngine& en = v->Engine();
    form.ResetAll();
    en.LowLevelReader().SetActive(false);
    const std::string logName = LowLevelLogName(input);
    std::string output;
    if (ChooseOutput(LowLevelOutputName(input), output) && !RefuseSameName(*v, input, output) &&
        !RefuseLowLevelLogName(*v, input, output)) {
        TToolRun running(form);
        TLowLevelFix fix(en.LowLevelReader());
        fix.OnLog = [v](const std::string& line) { v->LogLine(line); };
        const auto res = fix.Run(input, output, ProgressOf(*v));
        if (res.Ok) v->PlaySound("DONE");
        else v->ShowMessage(TMessageKind::Error, res.Error);
    }
    try {
        SaveLogToFile(logName);
    } catch (const Exception& e) {
        v->LogLine(e.Message());
    }
    v->HideProgress();
}

void SPacketprotocoll1Click(TForm1& form) {
    std::string input;
    TAnalysisView* v = ChooseInput(form, input);
    if (!v) return;
    form.ResetAll();
    TToolRun running(form);
    std::string error;
    if (!WritePacketProtocol(v->Engine().RawReader(), input, ChangeFileExt(input, "_protocoll.txt"), error))
        v->LogLine(error);
}

void SDuplicateFinder1Click(TForm1& form) {
    std::string input;
    TAnalysisView* v = ChooseInput(form, input);
    if (!v) return;
    std::string answer = "0";
    if (!InputQuery("PID auswählen", "PID:", answer)) return;
    answer = Trim(answer);
    int pid = 0;
    if (answer.empty() || answer == "0" || !TryStrToInt(answer, pid) || pid <= 0) return;
    form.ResetAll();
    TToolRun running(form);
    TDuplicateFinder finder(v->Engine().RawReader());
    std::string error;
    if (!finder.WriteListing(input, pid, ChangeFileExt(input, "_duplicates.txt"), error)) v->LogLine(error);
}

void SPacketEditor1Click(TForm1& form) {
    if (!form.CanOpenNow() || !form.OpenDialog2->Execute()) return;
    form.ResetAll();
    const bool german = LanguageIsGerman();
    auto* editor = new TPacketEditorForm(nullptr);
    editor->Raw_TSPacketReader->SetFileName(form.OpenDialog2->FileName());
    editor->SetLanguage(german);
    editor->ShowModal();
    editor->Raw_TSPacketReader->SetActive(false);
    delete editor;
}

void AddPacketToolItems(TForm1& form, TMenuItem* tools) {
    auto add = [&](const char* name, const char* caption, bool visible, void (*run)(TForm1&)) {
        auto* item = new TMenuItem(&form);
        item->SetName(name);
        item->SetCaption(caption);
        item->SetVisible(visible);
        TForm1* f = &form;
        item->OnClick = [f, run](TObject*) { run(*f); };
        tools->Add(item);
    };
    add("SPacketFilter1", "TS Packet Filter", true, SPacketFilter1Click);
    add("SPacketEditor1", "TS Packet Editor", true, SPacketEditor1Click);
    add("SLowLevelFormat1", "TS Low Level Structur Fix", false, SLowLevelFormat1Click);
    add("SPacketprotocoll1", "TS Packet Protocoll", false, SPacketprotocoll1Click);
    add("SDuplicateFinder1", "TS Duplicate Finder", false, SDuplicateFinder1Click);
    tools->SetVisible(true);
}

} // namespace tw
