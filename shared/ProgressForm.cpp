#include "shared/ProgressForm.h"

#include "shared/BandwidthMeter.h"
#include "shared/Settings.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"

namespace tw {

TForm2* Form2 = nullptr;

namespace {

// The window's texts: English, German.
struct TProgressTexts {
    const char* caption;
    const char* cancel;
};
constexpr TProgressTexts kProgressTexts[2] = {{"Progress", "Abort"}, {"Fortschritt", "Abbrechen"}};

} // namespace

TForm2::TForm2(TComponent* owner) : TForm(owner) {
    SetName("Form2");
    SetCaption(kProgressTexts[0].caption);
    SetBorderStyle(bsDialog);
    SetFormStyle(fsStayOnTop);
    SetPosition(poMainFormCenter);
    SetBounds(0, 0, 420, 100);

    sLabel1 = new skin::TsLabel(this);
    sLabel1->SetName("sLabel1");
    sLabel1->SetParent(this);
    sLabel1->SetAutoSize(false);
    sLabel1->SetAlignment(taCenter);
    sLabel1->SetBounds(8, 6, 396, 16);
    sLabel1->SetCaption("Working");

    sPanel1 = new skin::TsPanel(this);
    sPanel1->SetName("sPanel1");
    sPanel1->SetParent(this);
    sPanel1->SetBounds(8, 26, 396, 94);
    sPanel1->SetBevelOuter(bvLowered);
    sPanel1->SetShowCaption(false);
    sPanel1->SetVisible(false);

    OvBandwidthMeter1 = new TOvBandwidthMeter(this);
    OvBandwidthMeter1->SetName("OvBandwidthMeter1");
    OvBandwidthMeter1->SetParent(sPanel1);
    OvBandwidthMeter1->SetAlign(alClient);
    OvBandwidthMeter1->SetValueMin(0);
    OvBandwidthMeter1->SetValueMax(30000000);
    OvBandwidthMeter1->SetValueCount(60);
    OvBandwidthMeter1->SetSpacing_Top(2);
    OvBandwidthMeter1->SetSpacing_Bottom(2);
    OvBandwidthMeter1->SetMeterColor(clWhite);
    OvBandwidthMeter1->OnSkinChange = [this](TObject*) { TakeMeterColors(); };
    OvBandwidthMeter1->SetDirection(bdRightToLeft);
    OvBandwidthMeter1->SetDisplayType(bdtLog10);

    PtsPanel = new skin::TsPanel(this);
    PtsPanel->SetName("PtsPanel");
    PtsPanel->SetParent(this);
    PtsPanel->SetBounds(314, 4, 90, 18);
    PtsPanel->SetBevelOuter(bvLowered);
    PtsPanel->SetCaption("00:00:00.000");
    PtsPanel->SetVisible(false);

    sGauge1 = new skin::TsGauge(this);
    sGauge1->SetName("sGauge1");
    sGauge1->SetParent(this);
    sGauge1->SetBounds(8, 26, 396, 20);
    sGauge1->SetMinValue(0);
    sGauge1->SetMaxValue(100);
    sGauge1->SetForeColor(clNavy);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(this);
    sBitBtn1->SetBounds(160, 50, 96, 24);
    sBitBtn1->SetCaption(kProgressTexts[1].cancel);
    sBitBtn1->SetVisible(false);
    sBitBtn1->OnClick = [this](TObject* s) { sBitBtn1Click(s); };

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    LoadTree();
}

void TForm2::FormCreate(TObject*) {
    SetHeight(100);
    sGauge1->SetTop(sPanel1->Top());
    PlaceButton();
}

void TForm2::FormShow(TObject*) {
    ApplyLanguage(LanguageIsGerman());
    TakeMeterColors();
    CancelFlag = false;
    sGauge1->SetProgress(0);
}

void TForm2::ApplyLanguage(bool german) {
    const TProgressTexts& t = kProgressTexts[german ? 1 : 0];
    SetCaption(taskCaption_.empty() ? t.caption : taskCaption_);
    sBitBtn1->SetCaption(t.cancel);
}

void TForm2::SetTaskCaption(const std::string& caption) {
    taskCaption_ = caption;
    SetCaption(caption.empty() ? kProgressTexts[LanguageIsGerman() ? 1 : 0].caption : caption);
}

void TForm2::SetVisible(bool visible) {
    const bool wasShown = HandleAllocated() && IsWindowVisible(HandleIfAllocated());
    TForm::SetVisible(visible);
    if (visible || !wasShown) return;
    // The windows below get their uncovered parts painted now, not when the
    // next message loop gets round to it.
    for (int i = 0; i < Screen->FormCount(); ++i) {
        TCustomForm* f = Screen->Forms(i);
        if (f != this && f->HandleAllocated() && IsWindowVisible(f->HandleIfAllocated()))
            RedrawWindow(f->HandleIfAllocated(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void TForm2::ShowWithoutFade() {
    skin::TsSkinManager* sm = skin::DefaultManager;
    if (!sm || Visible()) {
        Show();
        return;
    }
    // The manager's show effects are what the provider asks when the window
    // appears (the dialog one for this frame, the form one for the others);
    // both are off for this showing alone and back on every way out.
    struct TEffectsBack {
        skin::TacFormAnimation& Dialog;
        skin::TacFormAnimation& Form;
        const bool DialogActive = Dialog.Active;
        const bool FormActive = Form.Active;
        ~TEffectsBack() {
            Dialog.Active = DialogActive;
            Form.Active = FormActive;
        }
    } back{sm->AnimEffects.DialogShow, sm->AnimEffects.FormShow};
    back.Dialog.Active = false;
    back.Form.Active = false;
    Show();
}

void TForm2::sBitBtn1Click(TObject*) { CancelFlag = true; }

void TForm2::TakeMeterColors() {
    TColor back = clWhite, text = clBlack;
    skin::TsSkinManager* sm = skin::DefaultManager;
    // The manager counts its skin as loaded only after announcing it: the
    // tables are what tell here.
    if (sm && sm->Active() && !sm->gd.empty()) {
        const int edit = sm->GetSkinIndex("EDIT");
        if (sm->SkinIndexValid(edit)) {
            back = sm->gd[static_cast<size_t>(edit)].Color;
            text = sm->gd[static_cast<size_t>(edit)].FontColor[0];
        }
    }
    // The line first: a new background redraws the whole meter.
    OvBandwidthMeter1->Lines(0)->SetColor(text);
    OvBandwidthMeter1->SetMeterColor(back);
}

void TForm2::PlaceButton() { sBitBtn1->SetTop(sGauge1->Top() + sGauge1->Height() + 6); }

void TForm2::ShowCancelButton(bool show) {
    sBitBtn1->SetVisible(show);
    int h = show ? 120 : 100;
    if (sPanel1->Visible()) h += 95;
    SetHeight(h);
    PlaceButton();
}

void TForm2::ShowMeterPanel(bool show) {
    sPanel1->SetVisible(show);
    if (show) {
        SetHeight(223);
        sGauge1->SetTop(sPanel1->Top() + 98);
        PtsPanel->SetVisible(true);
    } else {
        SetHeight(100);
        sGauge1->SetTop(sPanel1->Top());
        PtsPanel->SetVisible(false);
    }
    PlaceButton();
}

} // namespace tw
