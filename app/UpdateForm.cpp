#include "app/UpdateForm.h"

#include <windows.h>

#include "app/AppSkin.h"
#include "app/MainForm.h"
#include "ui/ImageFormats.h"

namespace tw {

TUpdateForm* UpdateForm = nullptr;

namespace {
constexpr TColor kLinkColor = 0x00FFC080;
} // namespace

TUpdateForm::TUpdateForm(TComponent* owner) : TForm(owner) {
    SetName("UpdateForm");
    SetCaption("Software Update");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetClientSize(460, 360);
    SetShowHint(true);

    auto label = [this](auto* l, const char* name, int left, int top, int width, int size, const std::string& text) {
        l->SetName(name);
        l->SetParent(this);
        // Fixed bounds: measured before the window exists, an automatic
        // size came out too narrow for the larger fonts.
        l->SetAutoSize(false);
        l->SetBounds(left, top, width, size + 12);
        l->Font().SetSize(size);
        l->SetCaption(text);
        return l;
    };
    sLabelFX1 = label(new skin::TsLabelFX(this), "sLabelFX1", 96, 14, 340, 14, "Update verfügbar");
    sLabelFX1->Font().SetStyle(fsBold);
    sLabelFX2 = label(new skin::TsLabelFX(this), "sLabelFX2", 96, 44, 340, 11, "");
    sLabelFX3 = label(new skin::TsLabelFX(this), "sLabelFX3", 96, 70, 120, 11, "DOWNLOAD");
    sLabelFX3->Font().SetStyle(fsBold | fsUnderline);
    // A link: the light blue that reads on the dark skin.
    sLabelFX3->Kind().SetColor(kLinkColor);
    sLabelFX3->SetCursor(crHandPoint);

    Image1 = new TImage(this);
    Image1->SetName("Image1");
    Image1->SetParent(this);
    Image1->SetBounds(16, 14, 64, 64);
    Image1->SetStretch(true);
    Image1->SetCursor(crHandPoint);
    // The notice works without its picture.
    LoadPngResource(Image1->Picture(), "ABOUT");

    sLabel1 = label(new skin::TsLabel(this), "sLabel1", 16, 100, 300, 9, "Versionshistorie");
    sMemo1 = new skin::TsMemo(this);
    sMemo1->SetName("sMemo1");
    sMemo1->SetParent(this);
    sMemo1->SetBounds(16, 120, 428, 190);
    sMemo1->SetReadOnly(true);
    sMemo1->SetScrollBars(ssVertical);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(this);
    sBitBtn1->SetKind(bkOK);
    sBitBtn1->SetCaption("OK");
    sBitBtn1->SetBounds(188, 322, 85, 27);
    sBitBtn1->SetDefault(true);

    sLabelFX3->OnClick = [this](TObject* s) { sLabelFX3Click(s); };
    Image1->OnClick = [this](TObject* s) { sLabelFX3Click(s); };
    LoadTree();
    JoinSkin(this);
}

TUpdateForm::~TUpdateForm() {
    if (UpdateForm == this) UpdateForm = nullptr;
}

void TUpdateForm::SetDownloadAddress(const std::string& address) {
    download_ = address;
    sLabelFX3->SetHint(address);
    Image1->SetHint(address);
}

void TUpdateForm::sLabelFX3Click(TObject*) {
    if (!download_.empty()) ShellOpen(download_, "", "");
}

} // namespace tw
