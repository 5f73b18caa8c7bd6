// The patch dialog TPatchForm ("Stream Patch": a new program number and new
// PIDs for the streams) and the preserve-streams dialog TTrashForm (found
// streams the analysis did not keep, to be carried into the output all the
// same). Both prepare choices that the cleaning pass applies.
#pragma once

#include "analysis/PatchTable.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckListBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sPageControl.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

namespace tw {

class TAnalysisEngine;
struct TStartupHooks;

class TPatchForm : public TForm {
public:
    explicit TPatchForm(TComponent* owner);

    skin::TsPageControl* sPageControl1;
    skin::TsTabSheet* sTabSheet3; // warning
    skin::TsTabSheet* sTabSheet2; // SID
    skin::TsTabSheet* sTabSheet1; // PIDs
    skin::TsLabelFX* sLabelFX1;   // " Warning ", yellow on a red shadow
    skin::TsLabelFX* sLabelFX2;   // expert-function notice, red
    skin::TsLabel* sLabel1;       // advice
    skin::TsEdit* sEdit1;         // current program number, read-only
    skin::TsEdit* sEdit2;         // new program number
    TLabel* sLabel2;              // sEdit1's bound label: current SID
    TLabel* sLabel3;              // sEdit2's bound label: new SID
    TValueListEditor* ValueListEditor1;
    skin::TsBitBtn* sBitBtn1;     // OK
    skin::TsBitBtn* sBitBtn2;     // Cancel

    // The PMT's PID, which no stream may take.
    int PmtPid = -1;
    bool German = false;

    // The captions in the main window's language.
    void SetPatchFormTexts(bool german);
    // The current and new program numbers and one row per found stream.
    void FillPatchForm(const TAnalysisEngine& engine, int newServiceId);
    void ValueListEditor1Validate(TObject* sender, int col, int row, const std::string& key,
                                  const std::string& value);
    // The grid's rows as key and value.
    std::vector<std::pair<std::string, std::string>> Rows();

    // The patch command: builds the dialog, shows it and, on OK, takes the
    // choices into the engine's found streams, newServiceId and the number
    // of PID remaps.
    static bool Execute(TAnalysisEngine& engine, int& newServiceId, int& pidRemapCount);
};

class TTrashForm : public TForm {
public:
    explicit TTrashForm(TComponent* owner);
    ~TTrashForm() override;
    skin::TsCheckListBox* sCheckListBox1;
    skin::TsBitBtn* sBitBtn1;

    // Shows the list's items with their ticks and takes the ticks back.
    void Execute(TPreserveList& list, bool german);
};

extern TTrashForm* TrashForm;

// Registers the windows the start-up creates for the tools (preserve
// streams, raw cutter).
void RegisterToolWindows(TStartupHooks& hooks);

} // namespace tw
