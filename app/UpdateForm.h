// The update notice: the newer version, its release text and a link to the
// maker's download page. Its texts are the same in both languages.
#pragma once

#include <string>

#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TUpdateForm : public TForm {
public:
    explicit TUpdateForm(TComponent* owner);
    ~TUpdateForm() override;

    TLabel* sLabelFX1; // "Update verfügbar"
    TLabel* sLabelFX2; // the version
    TImage* Image1;    // opens the download page too
    TLabel* sLabelFX3; // "DOWNLOAD"
    TLabel* sLabel1;   // "Versionshistorie"
    TMemo* sMemo1;     // the release text
    TBitBtn* sBitBtn1; // OK

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
