// The update notice: the newer version, its release text and a link to the
// maker's download page. Its texts are the same in both languages.
#pragma once

#include <string>

#include "skin/controls/sButtons.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sMemo.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"

namespace tw {

class TUpdateForm : public TForm {
public:
    explicit TUpdateForm(TComponent* owner);
    ~TUpdateForm() override;

    skin::TsLabelFX* sLabelFX1; // "Update verfügbar"
    skin::TsLabelFX* sLabelFX2; // the version
    TImage* Image1;             // opens the download page too
    skin::TsLabelFX* sLabelFX3; // "DOWNLOAD"
    skin::TsLabel* sLabel1;     // "Versionshistorie"
    skin::TsMemo* sMemo1;       // the release text
    skin::TsBitBtn* sBitBtn1;   // OK

    // The download page; also the hint of the link and the picture.
    const std::string& DownloadAddress() const { return download_; }
    void SetDownloadAddress(const std::string& address);

    void sLabelFX3Click(TObject* sender);

private:
    std::string download_;
};

// The notice while it is shown (nullptr otherwise).
extern TUpdateForm* UpdateForm;

} // namespace tw
