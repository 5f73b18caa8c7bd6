// The packet filter's dialog "TS Packet Filtering": the recording's PIDs to
// tick for deletion and the box for deleting invalid packets.
#pragma once

#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sCheckListBox.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TFilterForm : public TForm {
public:
    explicit TFilterForm(TComponent* owner);

    skin::TsCheckListBox* sCheckListBox1; // "$0100 H264 Video", ...
    TLabel* sLabel1;                      // the list's bound label: "Delete PIDs"
    skin::TsCheckBox* sCheckBox1;         // "Delete invalid packets"
    skin::TsBitBtn* sBitBtn1;             // OK
    skin::TsBitBtn* sBitBtn2;             // Cancel
    // Set by the caller before showing: German texts.
    bool German = false;

    void FormShow(TObject* sender);
};

} // namespace tw
