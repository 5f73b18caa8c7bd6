// The patch dialog TPatchForm ("Stream Patch": a new program number and new
// PIDs for the streams) and the preserve-streams dialog TTrashForm (found
// streams the analysis did not keep, to be carried into the output all the
// same). Both prepare choices that the cleaning pass applies.
#pragma once

#include "app/engine/PatchTable.h"
#include "ui/Buttons.h"
#include "ui/CheckLst.h"
#include "ui/ComCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

namespace tw {

class TAnalysisEngine;
struct TStartupHooks;

class TPatchForm : public TForm {
public:
    explicit TPatchForm(TComponent* owner);

    TPageControl* sPageControl1;
    TTabSheet* sTabSheet3; // warning
    TTabSheet* sTabSheet2; // SID
    TTabSheet* sTabSheet1; // PIDs
    TLabel* sLabelFX1;     // " Warning "
    TLabel* sLabelFX2;     // expert-function notice
    TLabel* sLabel1;       // advice
    TLabel* sLabel2;       // current SID label
    TLabel* sLabel3;       // new SID label
    TEdit* sEdit1;         // current program number, read-only
    TEdit* sEdit2;         // new program number
    TValueListEditor* ValueListEditor1;
    TBitBtn* sBitBtn1;     // OK
    TBitBtn* sBitBtn2;     // Cancel

    // The PMT's PID, which no stream may take.
    int PmtPid = -1;
    bool German = false;

    void SetTexts(bool german);
    void ValueListEditor1Validate(TObject* sender, int col, int row, const std::string& key,
                                  const std::string& value);
    // The grid's rows as key and value.
    std::vector<std::pair<std::string, std::string>> Rows();

    // The patch command: builds the dialog, shows it and, on OK, takes the
    // choices into the engine's found streams and newServiceId.
    static bool Execute(TAnalysisEngine& engine, int& newServiceId);
};

class TTrashForm : public TForm {
public:
    explicit TTrashForm(TComponent* owner);
    ~TTrashForm() override;
    TCheckListBox* sCheckListBox1;
    TBitBtn* sBitBtn1;

    // Shows the list's items with their ticks and takes the ticks back.
    void Execute(TPreserveList& list, bool german);
};

extern TTrashForm* TrashForm;

// Registers the windows the start-up creates for the tools (preserve
// streams, raw cutter).
void RegisterToolWindows(TStartupHooks& hooks);

} // namespace tw
