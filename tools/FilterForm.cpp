#include "tools/FilterForm.h"

#include "tools/ToolForms.h"

namespace tw {

namespace {

// The dialog's texts: control name, German, English.
const TToolText kFilterTexts[] = {
    {"", "TS-Packet-Filterung", "TS Packet Filtering"},
    {"sLabel1", "Lösche PIDs", "Delete PIDs"},
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

    sLabel1 = new TLabel(this);
    sLabel1->SetName("sLabel1");
    sLabel1->SetParent(this);
    sLabel1->SetBounds(10, 8, 280, 16);

    sCheckListBox1 = new TCheckListBox(this);
    sCheckListBox1->SetName("sCheckListBox1");
    sCheckListBox1->SetParent(this);
    sCheckListBox1->SetBounds(10, 26, 280, 220);
    sLabel1->SetFocusControl(sCheckListBox1);

    sCheckBox1 = new TCheckBox(this);
    sCheckBox1->SetName("sCheckBox1");
    sCheckBox1->SetParent(this);
    sCheckBox1->SetBounds(10, 254, 280, 20);

    sBitBtn1 = new TBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(this);
    sBitBtn1->SetKind(bkOK);
    sBitBtn1->SetBounds(60, 290, 85, 28);

    sBitBtn2 = new TBitBtn(this);
    sBitBtn2->SetName("sBitBtn2");
    sBitBtn2->SetParent(this);
    sBitBtn2->SetKind(bkCancel);
    sBitBtn2->SetBounds(155, 290, 85, 28);

    OnShow = [this](TObject* s) { FormShow(s); };
    LoadTree();
    ApplyToolTexts(*this, kFilterTexts, German);
}

void TFilterForm::FormShow(TObject*) {
    ApplyToolTexts(*this, kFilterTexts, German);
    ToolFormShown(*this);
}

} // namespace tw
