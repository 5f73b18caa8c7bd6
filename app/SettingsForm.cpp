#include "app/SettingsForm.h"

#include <memory>

#include "app/AppSkin.h"
#include "app/LogForm.h"
#include "base/SysUtils.h"
#include "skin/controls/sControlCache.h"
#include "ui/Dialogs.h"

namespace tw {

TSettingsForm* SettingsForm = nullptr;

namespace {

// The dialog's captions; the table holds both languages of each control.
struct TSettingsText {
    const char* control;
    const char* german;
    const char* english;
};
const TSettingsText kTexts[] = {
    {"SettingsForm", "Optionen", "Preferences"},
    {"sTabSheet1", "Allgemein", "General"},
    {"sTabSheet2", "Vorschau", "Preview"},
    {"sTabSheet3", "Korrekturverhalten", "Correction Behavior"},
    {"sCheckBox4", "Suche nach doppelten Packeten in PES-Streams", "Search for duplicate packets in PES streams"},
    {"sCheckBox6", "Kein Teletext", "No Teletext"},
    {"sCheckBox7", "Keine Untertitel", "No Subtitles"},
    {"sCheckBox1", "Anzeige Log-Fenster", "Show log window"},
    {"sCheckBox2", "Keine Vorschau", "No Preview"},
    {"sCheckBox3", "Überprüfung auf Updates", "Checking for updates"},
    {"sCheckBox5", "Sound abspielen", "Play Sound"},
    {"sLabel1", "Sprache", "Language"},
    {"sBitBtn2", "Abbrechen", "Cancel"},
    {"sBitBtn3", "Zeige DirectX Log", "Show DirectX Log"},
    {"sRadioGroup1", "Timer Korrektur (Patchen um bei 0 zu starten)", "Timer correction (patch to start with 0)"},
};
const char* const kLanguagesGerman[] = {"Deutsch", "Englisch"};
const char* const kLanguagesEnglish[] = {"German", "English"};
const char* const kTimerModesGerman[] = {"Fragen wenn nötig", "Bei PCR Wrap ohne weitere Fragen", "Immer patchen"};
const char* const kTimerModesEnglish[] = {"Ask is needed", "For PCR Wrap without asking", "Patch every time"};

void FillList(TComboBox* box, const std::vector<std::string>& entries) {
    box->Items().Clear();
    for (const std::string& e : entries) box->Items().Add(e);
    box->SetItemIndex(0);
}

} // namespace

TSettingsForm::TSettingsForm(TComponent* owner) : TForm(owner) {
    SetName("SettingsForm");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetClientSize(440, 330);

    sPageControl1 = new skin::TsPageControl(this);
    sPageControl1->SetName("sPageControl1");
    sPageControl1->SetParent(this);
    sPageControl1->SetBounds(8, 8, 424, 272);
    auto page = [this](const char* name) {
        auto* p = new skin::TsTabSheet(this);
        p->SetName(name);
        p->SetPageControl(sPageControl1);
        return p;
    };
    sTabSheet1 = page("sTabSheet1");
    sTabSheet2 = page("sTabSheet2");
    sTabSheet3 = page("sTabSheet3");

    auto check = [this](TWinControl* parent, const char* name, int top) {
        auto* c = new skin::TsCheckBox(this);
        c->SetName(name);
        c->SetParent(parent);
        c->SetBounds(16, top, 380, 20);
        return c;
    };
    auto list = [this](TWinControl* parent, const char* name, int top) {
        auto* c = new skin::TsComboBox(this);
        c->SetName(name);
        c->SetParent(parent);
        c->SetStyle(csDropDownList);
        c->SetBounds(180, top, 220, 24);
        return c;
    };
    auto bound = [](skin::TsBoundLabel* b) {
        b->SetActive(true);
        return std::unique_ptr<skin::TsBoundLabel>(b);
    };

    // General
    sComboBox1 = list(sTabSheet1, "sComboBox1", 16);
    sLabel1 = bound(new skin::TsBoundLabel(sComboBox1, &sComboBox1->SkinData));
    sCheckBox1 = check(sTabSheet1, "sCheckBox1", 60);
    sCheckBox3 = check(sTabSheet1, "sCheckBox3", 88);
    sCheckBox5 = check(sTabSheet1, "sCheckBox5", 116);

    // Correction Behavior
    sRadioGroup1 = new skin::TsRadioGroup(this);
    sRadioGroup1->SetName("sRadioGroup1");
    sRadioGroup1->SetParent(sTabSheet3);
    sRadioGroup1->SetBounds(12, 10, 392, 100);
    sCheckBox4 = check(sTabSheet3, "sCheckBox4", 124);
    sCheckBox6 = check(sTabSheet3, "sCheckBox6", 152);
    sCheckBox7 = check(sTabSheet3, "sCheckBox7", 180);

    // Preview
    sEdit1 = new skin::TsEdit(this);
    sEdit1->SetName("sEdit1");
    sEdit1->SetParent(sTabSheet2);
    sEdit1->SetBounds(180, 12, 120, 22);
    sEdit1->SetReadOnly(true);
    sLabel2 = bound(new skin::TsBoundLabel(sEdit1, &sEdit1->SkinData));
    sLabel2->SetCaption("DirectX Version");
    sCheckBox2 = check(sTabSheet2, "sCheckBox2", 42);
    sComboBox4 = list(sTabSheet2, "sComboBox4", 72);
    sComboBox2 = list(sTabSheet2, "sComboBox2", 102);
    sComboBox3 = list(sTabSheet2, "sComboBox3", 132);
    sComboBox5 = list(sTabSheet2, "sComboBox5", 162);
    sLabel3 = bound(new skin::TsBoundLabel(sComboBox4, &sComboBox4->SkinData));
    sLabel3->SetCaption("Splitter");
    sLabel4 = bound(new skin::TsBoundLabel(sComboBox2, &sComboBox2->SkinData));
    sLabel4->SetCaption("MPEG-2 Video");
    sLabel5 = bound(new skin::TsBoundLabel(sComboBox3, &sComboBox3->SkinData));
    sLabel5->SetCaption("H.264 Video");
    sLabel6 = bound(new skin::TsBoundLabel(sComboBox5, &sComboBox5->SkinData));
    sLabel6->SetCaption("Audio");
    FillList(sComboBox4, SplitterEntries());
    FillList(sComboBox2, Mpeg2VideoEntries());
    FillList(sComboBox3, H264VideoEntries());
    FillList(sComboBox5, AudioDecoderEntries());
    // The decoders can be chosen only beside a splitter of the user's choice.
    for (TComboBox* c : {sComboBox2, sComboBox3, sComboBox5}) c->SetEnabled(false);
    sBitBtn3 = new skin::TsBitBtn(this);
    sBitBtn3->SetName("sBitBtn3");
    sBitBtn3->SetParent(sTabSheet2);
    sBitBtn3->SetBounds(180, 200, 160, 25);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(this);
    sBitBtn1->SetKind(bkOK);
    sBitBtn1->SetBounds(250, 292, 85, 27);
    sBitBtn2 = new skin::TsBitBtn(this);
    sBitBtn2->SetName("sBitBtn2");
    sBitBtn2->SetParent(this);
    sBitBtn2->SetKind(bkCancel);
    sBitBtn2->SetBounds(345, 292, 85, 27);

    sComboBox4->OnChange = [this](TObject* s) { sComboBox4Change(s); };
    sComboBox2->OnChange = [this](TObject* s) { sComboBox2Change(s); };
    sComboBox3->OnChange = [this](TObject* s) { sComboBox3Change(s); };
    sComboBox5->OnChange = [this](TObject* s) { sComboBox5Click(s); };
    sBitBtn3->OnClick = [this](TObject* s) { sBitBtn3Click(s); };
    LoadTree();
    JoinSkin(this);
    SetTexts(false);
    sPageControl1->SetActivePage(sTabSheet1);
}

TSettingsForm::~TSettingsForm() {
    if (SettingsForm == this) SettingsForm = nullptr;
}

void TSettingsForm::SetTexts(bool english) {
    for (const TSettingsText& t : kTexts) {
        const char* text = english ? t.english : t.german;
        if (t.control == std::string("SettingsForm")) SetCaption(text);
        else if (t.control == std::string("sLabel1")) sLabel1->SetCaption(text);
        else if (auto* c = dynamic_cast<TControl*>(FindComponent(t.control))) c->SetCaption(text);
    }
    sBitBtn1->SetCaption("OK");
    const char* const* languages = english ? kLanguagesEnglish : kLanguagesGerman;
    sComboBox1->Items().Clear();
    for (int i = 0; i < 2; ++i) sComboBox1->Items().Add(languages[i]);
    sComboBox1->SetItemIndex(english ? 1 : 0);
    const char* const* modes = english ? kTimerModesEnglish : kTimerModesGerman;
    int mode = sRadioGroup1->ItemIndex();
    sRadioGroup1->Items().Clear();
    for (int i = 0; i < 3; ++i) sRadioGroup1->Items().Add(modes[i]);
    sRadioGroup1->SetItemIndex(mode);
    ColourLabels();
}

void TSettingsForm::ColourLabels() {
    for (skin::TsBoundLabel* b : {sLabel1.get(), sLabel2.get(), sLabel3.get(), sLabel4.get(), sLabel5.get(), sLabel6.get()}) {
        TColor color = clWindowText;
        if (b->Label() && skin::ParentSkinFontColor(b->Label(), color)) b->Label()->Font().SetColor(color);
    }
}

TFilterChoices TSettingsForm::Choices() const {
    TFilterChoices c;
    c.Splitter = sComboBox4->ItemIndex();
    c.Mpeg2Video = sComboBox2->ItemIndex();
    c.H264Video = sComboBox3->ItemIndex();
    c.Audio = sComboBox5->ItemIndex();
    c.Mpeg2VideoEnabled = sComboBox2->Enabled();
    c.H264VideoEnabled = sComboBox3->Enabled();
    c.AudioEnabled = sComboBox5->Enabled();
    return c;
}

void TSettingsForm::SetChoices(const TFilterChoices& c) {
    sComboBox4->SetItemIndex(c.Splitter);
    sComboBox2->SetItemIndex(c.Mpeg2Video);
    sComboBox3->SetItemIndex(c.H264Video);
    sComboBox5->SetItemIndex(c.Audio);
    sComboBox2->SetEnabled(c.Mpeg2VideoEnabled);
    sComboBox3->SetEnabled(c.H264VideoEnabled);
    sComboBox5->SetEnabled(c.AudioEnabled);
}

void TSettingsForm::ShowRuleMessage(const std::string& text) {
    if (!text.empty()) ShowMessage(text);
}

void TSettingsForm::sComboBox4Change(TObject*) {
    TFilterChoices c = Choices();
    std::vector<std::string> messages = ApplySplitterRule(c, Filters);
    for (const std::string& m : messages) ShowRuleMessage(m);
    SetChoices(c);
}

void TSettingsForm::sComboBox2Change(TObject*) {
    TFilterChoices c = Choices();
    ShowRuleMessage(ApplyMpeg2VideoRule(c, Filters));
    SetChoices(c);
}

void TSettingsForm::sComboBox3Change(TObject*) {
    TFilterChoices c = Choices();
    ShowRuleMessage(ApplyH264VideoRule(c, Filters));
    SetChoices(c);
}

void TSettingsForm::sComboBox5Click(TObject*) {
    TFilterChoices c = Choices();
    ShowRuleMessage(ApplyAudioDecoderRule(c, Filters));
    SetChoices(c);
}

void TSettingsForm::sBitBtn3Click(TObject*) {
    std::string file = DataFolder + "\\DirectXdebug.log";
    if (DataFolder.empty() || !FileExists(file)) return;
    auto log = std::make_unique<TLogForm>(this);
    log->sMemo1->Lines().Clear();
    LoadShownText(log->sMemo1->Lines(), file);
    log->ShowModal();
}

} // namespace tw
