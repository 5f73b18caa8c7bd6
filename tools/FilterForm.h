// The packet filter's dialog "TS Packet Filtering": the recording's PIDs to
// tick for deletion and the box for deleting invalid packets.
#pragma once

#include "ui/Buttons.h"
#include "ui/CheckLst.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TFilterForm : public TForm {
public:
    explicit TFilterForm(TComponent* owner);

    TLabel* sLabel1;               // bound to the list: "Delete PIDs"
    TCheckListBox* sCheckListBox1; // "$0100 H264 Video", ...
    TCheckBox* sCheckBox1;         // "Delete invalid packets"
    TBitBtn* sBitBtn1;             // OK
    TBitBtn* sBitBtn2;             // Cancel
    // Set by the caller before showing: German texts.
    bool German = false;

    void FormShow(TObject* sender);
};

} // namespace tw
