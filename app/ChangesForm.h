// The change-log window: shows "Release.txt" of the program folder.
#pragma once

#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TChangesForm : public TForm {
public:
    explicit TChangesForm(TComponent* owner);
    TMemo* sMemo_Ger;
    TPanel* sPanel1;
    TBitBtn* sBitBtn1;
};

extern TChangesForm* ChangesForm;

} // namespace tw
