#include "tools/PatchForm.h"

#include "shared/StartupHooks.h"
#include "analysis/TableSelection.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "tools/RawCutterForm.h"
#include "tools/ToolControls.h"
#include "tools/ToolForms.h"
#include "tools/engine/PatchChoices.h"
#include "ts/TSPmtReader.h"
#include "ui/Dialogs.h"

namespace tw {

TTrashForm* TrashForm = nullptr;

TPatchForm::TPatchForm(TComponent* owner) : TForm(owner)
{
    SetName("PatchForm");
    SetCaption("Stream Patch");
    SetBorderStyle(bsDialog);
    SetBorderIcons(0);
    SetPosition(poMainFormCenter);
    SetClientSize(380, 260);

    sPageControl1 = Place<skin::TsPageControl>(this, this, "sPageControl1", 6, 6, 368, 212);
    auto sheet = [this](const char* name, const char* caption) {
        auto* t = new skin::TsTabSheet(this);
        t->SetName(name);
        t->SetPageControl(sPageControl1);
        t->SetCaption(caption);
        return t;
    };
    sTabSheet3 = sheet("sTabSheet3", "Warning");
    sTabSheet2 = sheet("sTabSheet2", "SID");
    sTabSheet1 = sheet("sTabSheet1", "PIDS");

    sLabelFX1 = Place<skin::TsLabelFX>(this, sTabSheet3, "sLabelFX1", 10, 10, 340, 28, " Warning ");
    sLabelFX1->Font().SetSize(14);
    sLabelFX1->Font().SetStyle(fsBold);
    sLabelFX1->Kind().SetColor(clYellow);
    sLabelFX1->Shadow().SetColor(clRed);
    sLabelFX1->Shadow().SetDistance(2);
    sLabelFX2 = Place<skin::TsLabelFX>(this, sTabSheet3, "sLabelFX2", 10, 46, 340, 18, "");
    sLabelFX2->Kind().SetColor(clRed);
    sLabelFX2->Shadow().SetColor(clBlack);
    sLabel1 = Place<skin::TsLabel>(this, sTabSheet3, "sLabel1", 10, 72, 340, 80, "");
    sLabel1->SetAutoSize(false);
    sLabel1->SetWordWrap(true);

    sEdit1 = PlaceBound<skin::TsEdit>(this, sTabSheet2, "sEdit1", 180, 10, 100, 22, "Current pr.no.(SID)");
    sEdit1->SetReadOnly(true);
    sEdit2 = PlaceBound<skin::TsEdit>(this, sTabSheet2, "sEdit2", 180, 40, 100, 22, "New pr.no.(SID)");
    sLabel2 = BoundLabelOf(sEdit1)->Label();
    sLabel3 = BoundLabelOf(sEdit2)->Label();

    ValueListEditor1 = Place<TValueListEditor>(this, sTabSheet1, "ValueListEditor1", 4, 4, 350, 176);
    ValueListEditor1->SetColWidths(0, 150);
    ValueListEditor1->SetColWidths(1, 185);
    ValueListEditor1->OnValidate = [this](TObject* s, int c, int r, const std::string& k, const std::string& v) {
        ValueListEditor1Validate(s, c, r, k, v);
    };

    sBitBtn1 = PlaceButton(this, this, "sBitBtn1", 92, 226, "OK", mrNone);
    sBitBtn2 = PlaceButton(this, this, "sBitBtn2", 198, 226, "Cancel", mrCancel);
    // OK closes only with a program number and rows every stream can take;
    // the page with the value at fault comes to the front with the message.
    sBitBtn1->OnClick = [this](TObject*) {
        if (ValueListEditor1->Editing())
            ValueListEditor1->EndEdit(true);
        skin::TsTabSheet* page = sTabSheet2;
        std::string problem = CheckPatchSid(sEdit2->Text(), sEdit1->Text(), German);
        if (problem.empty()) {
            page = sTabSheet1;
            problem = CheckPatchRows(Rows(), PmtPid, German);
        }
        if (!problem.empty()) {
            sPageControl1->SetActivePage(page);
            MessageDlg(problem, mtWarning, mbOK);
            return;
        }
        SetModalResult(mrOk);
    };
    LoadTree();
    sPageControl1->SetActivePage(sTabSheet3);
    JoinToolForm(this);
}

void TPatchForm::SetPatchFormTexts(bool german)
{
    German = german;
    auto t = [german](int id) { return MessageTextIn(id, german); };
    sBitBtn2->SetCaption(t(mmCancel));
    std::string warning(1, ' ');
    warning += t(mmWarning);
    sLabelFX1->SetCaption(warning + " ");
    sTabSheet3->SetCaption(t(mmWarning));
    sLabelFX2->SetCaption(t(mmExperimental));
    sLabel1->SetCaption(t(mmExpertWarning));
    sTabSheet2->SetCaption(t(mmProgNoSid));
    BoundLabelOf(sEdit1)->SetCaption(t(mmCurrentPnr));
    BoundLabelOf(sEdit2)->SetCaption(t(mmNewPnr));
    ValueListEditor1->SetTitleCaptions(t(mmCurrentPid), t(mmNewPid));
}

void TPatchForm::ValueListEditor1Validate(TObject*, int, int row, const std::string& key, const std::string& value)
{
    // A value that is no PID gets the row's own PID back; the user sees it
    // there, no message interrupts the editing.
    if (!GridPidAccepted(value))
        ValueListEditor1->SetCells(1, row, key);
}

std::vector<std::pair<std::string, std::string>> TPatchForm::Rows()
{
    std::vector<std::pair<std::string, std::string>> rows;
    for (int r = 1; r < ValueListEditor1->RowCount(); ++r)
        rows.emplace_back(ValueListEditor1->Cells(0, r), ValueListEditor1->Cells(1, r));
    return rows;
}

void TPatchForm::FillPatchForm(const TAnalysisEngine& engine, int newServiceId)
{
    PmtPid = engine.Selection().Pmt().PID();
    const TPatchChoices c = FillPatchChoices(engine, newServiceId);
    sEdit1->SetText(c.CurrentSid);
    sEdit2->SetText(c.NewSid);
    ValueListEditor1->Strings().Clear();
    for (const auto& [key, value] : c.Rows)
        ValueListEditor1->Strings().Add(key + "=" + value);
}

bool TPatchForm::Execute(TAnalysisEngine& engine, int& newServiceId, int& pidRemapCount)
{
    TPatchForm form(nullptr);
    form.SetPatchFormTexts(LanguageIsGerman());
    form.FillPatchForm(engine, newServiceId);
    if (form.ShowModal() != mrOk)
        return false;
    const TPatchResult r = ApplyPatchChoices(engine, form.sEdit2->Text(), form.Rows());
    newServiceId = r.NewServiceId;
    if (r.RemapCount >= 0)
        pidRemapCount = r.RemapCount;
    return true;
}

// ---------------------------------------------------------------- preserve

TTrashForm::TTrashForm(TComponent* owner) : TForm(owner)
{
    SetName("TrashForm");
    SetCaption("Preserve streams");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetClientSize(300, 250);
    sCheckListBox1 = Place<skin::TsCheckListBox>(this, this, "sCheckListBox1", 6, 6, 288, 204);
    sBitBtn1 = PlaceButton(this, this, "sBitBtn1", 105, 218, "OK", mrOk);
    LoadTree();
}

TTrashForm::~TTrashForm()
{
    if (TrashForm == this)
        TrashForm = nullptr;
}

void TTrashForm::Execute(TPreserveList& list, bool german)
{
    SetCaption(MessageTextIn(mmPreserveStreams, german));
    sCheckListBox1->Clear();
    for (int i = 0; i < list.Count(); ++i) {
        sCheckListBox1->Items().Add(list.Item(i).Text);
        sCheckListBox1->SetChecked(i, list.Item(i).Checked);
    }
    ShowModal();
    // The ticks are the list: they stay whichever way the window closed.
    for (int i = 0; i < list.Count() && i < sCheckListBox1->Items().Count(); ++i)
        list.Item(i).Checked = sCheckListBox1->Checked(i);
}

void RegisterToolWindows(TStartupHooks& hooks)
{
    if (!hooks.createTrashForm)
        hooks.createTrashForm = [](TComponent* owner) -> TCustomForm* { return TrashForm = new TTrashForm(owner); };
    if (!hooks.createRawCutterForm)
        hooks.createRawCutterForm = [](TComponent* owner) -> TCustomForm* {
            return RawCutterForm = new TRawCutterForm(owner);
        };
}

} // namespace tw
