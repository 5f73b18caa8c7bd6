#include "app/ChangesForm.h"

#include "skin/controls/sButtons.h"
#include "skin/controls/sMemo.h"
#include "skin/controls/sPanel.h"

namespace tw {

TChangesForm* ChangesForm = nullptr;

TChangesForm::TChangesForm(TComponent* owner) : TForm(owner) {
    SetName("ChangesForm");
    SetCaption("Change Log");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetBounds(0, 0, 600, 480);

    sPanel1 = new skin::TsPanel(this);
    sPanel1->SetName("sPanel1");
    sPanel1->SetParent(this);
    sPanel1->SetAlign(alBottom);
    sPanel1->SetHeight(40);
    sPanel1->SetBevelOuter(bvNone);
    sPanel1->SetShowCaption(false);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(sPanel1);
    sBitBtn1->SetBounds(250, 8, 90, 25);
    sBitBtn1->SetAnchors(akTop);
    sBitBtn1->SetKind(bkOK);
    sBitBtn1->SetDefault(true);

    sMemo_Ger = new skin::TsMemo(this);
    sMemo_Ger->SetName("sMemo_Ger");
    sMemo_Ger->SetParent(this);
    sMemo_Ger->SetAlign(alClient);
    sMemo_Ger->Font().SetName("Courier New");
    sMemo_Ger->SetScrollBars(ssBoth);
    sMemo_Ger->SetWordWrap(false);
    sMemo_Ger->SetReadOnly(true);
    LoadTree();
}

} // namespace tw
