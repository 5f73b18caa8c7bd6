#include "tools/FilterForm.h"

#include "tools/ToolControls.h"
#include "tools/ToolForms.h"

namespace tw {

namespace {

// The dialog's texts: control name, German, English.
const TToolText kFilterTexts[] = {
    {"", "TS-Packet-Filterung", "TS Packet Filtering"},
    {"sCheckListBox1", "Lösche PIDs", "Delete PIDs"},
    {"sCheckBox1", "Lösche ungültige Pakete", "Delete invalid packets"},
    {"sBitBtn2", "Abbrechen", "Cancel"},
};

} // namespace

TFilterForm::TFilterForm(TComponent* owner) : TForm(owner) {
    SetName("FilterForm");
    SetCaption("TS Packet Filtering");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetClientSize(300, 330);

    sCheckListBox1 = PlaceBound<skin::TsCheckListBox>(this, this, "sCheckListBox1", 10, 28, 280, 218, "Delete PIDs",
                                                      skin::sclTopLeft);
    sLabel1 = BoundLabelOf(sCheckListBox1)->Label();
    sCheckBox1 = Place<skin::TsCheckBox>(this, this, "sCheckBox1", 10, 254, 280, 20);
    sBitBtn1 = Place<skin::TsBitBtn>(this, this, "sBitBtn1", 60, 290, 85, 28);
    sBitBtn1->SetKind(bkOK);
    sBitBtn2 = Place<skin::TsBitBtn>(this, this, "sBitBtn2", 155, 290, 85, 28);
    sBitBtn2->SetKind(bkCancel);

    OnShow = [this](TObject* s) { FormShow(s); };
    LoadTree();
    ApplyToolTexts(*this, kFilterTexts, German);
    JoinToolForm(this);
}

void TFilterForm::FormShow(TObject*) {
    ApplyToolTexts(*this, kFilterTexts, German);
    ToolFormShown(*this);
}

} // namespace tw
