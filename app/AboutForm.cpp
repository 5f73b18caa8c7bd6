#include "app/AboutForm.h"

#include "analysis/MainTexts.h"
#include "skin/controls/sLabel.h"
#include "ui/ImageFormats.h"

namespace tw {

TForm5* Form5 = nullptr;

TForm5::TForm5(TComponent* owner) : TForm(owner) {
    SetName("Form5");
    SetCaption("About");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetKeyPreview(true);
    SetClientSize(360, 200);

    Image1 = new TImage(this);
    Image1->SetName("Image1");
    Image1->SetParent(this);
    Image1->SetAlign(alClient);
    Image1->SetStretch(true);
    // Without the picture the box still shows its texts.
    LoadPngResource(Image1->Picture(), "ABOUT");

    auto label = [this](const char* name, int top, int size, const std::string& text) {
        auto* l = new skin::TsLabel(this);
        l->SetName(name);
        l->SetParent(this);
        l->SetAutoSize(false);
        l->SetAlignment(taCenter);
        l->SetTransparent(true);
        l->SetBounds(0, top, 360, size + 10);
        l->Font().SetSize(size);
        l->Font().SetColor(clWhite);
        l->SetCaption(text);
        l->OnClick = [this](TObject* s) { Image1Click(s); };
        return l;
    };
    sLabel1 = label("sLabel1", 128, 12, "Orvalin");
    sLabel2 = label("sLabel2", 150, 10, "V " + VersionText());
    sLabel3 = label("sLabel3", 172, 8, "First aid for DVB recordings");

    Image1->OnClick = [this](TObject* s) { Image1Click(s); };
    OnKeyPress = [this](TObject* s, wchar_t& k) { FormKeyPress(s, k); };
    LoadTree();
}

void TForm5::FormKeyPress(TObject*, wchar_t&) { Close(); }
void TForm5::Image1Click(TObject*) { Close(); }

} // namespace tw
