#include "app/StreamPanels.h"

#include <windows.h>

#include "app/MainForm.h"
#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "ui/ImageFormats.h"

namespace tw {

namespace {

const char* const kStepPanelNames[ANALYSIS_STEP_COUNT] = {"sPanel12", "sPanel14", "sPanel15", "sPanel16", "sPanel17",
                                                          "sPanel18", "sPanel19", "sPanel20", "sPanel21", "sPanel22"};
const char* const kStepTitleNames[ANALYSIS_STEP_COUNT] = {"sLabelFX11", "sLabelFX2", "sLabelFX3", "sLabelFX4",
                                                          "sLabelFX5",  "sLabelFX6", "sLabelFX7", "sLabelFX8",
                                                          "sLabelFX9",  "sLabelFX10"};
const char* const kStepStatusNames[ANALYSIS_STEP_COUNT] = {
    "GarbageScanLabel", "PIDScanLabel",       "PATScanLabel",        "PMTScanLabel",        "PATRebuildLabel",
    "PCRCheckLabel",    "PMTRebuildLabel",    "StartEndCheckLabel",  "VideoDetailScanLabel", "AudioDetailScanLabel"};
const char* const kStepCaptions[ANALYSIS_STEP_COUNT] = {"Garbage scan", "PID scan",         "PAT scan",
                                                        "PMT scan",     "PAT rebuild",      "PCR check",
                                                        "PMT rebuild",  "Start/End check",  "Video details scan",
                                                        "Audio details scan"};

// Names the window's text table knows (size, errors and layer-check
// captions, the audio pictures, the language items).
const char* const kSizeCaptionNames[1 + AUDIO_SLOTS] = {"sLabel27", "sLabel30", "sLabel31", "sLabel33", "sLabel35"};
const char* const kErrorsCaptionNames[1 + AUDIO_SLOTS] = {"sLabel45", "sLabel37", "sLabel39", "sLabel41", "sLabel43"};
const char* const kLayerCaptionNames[1 + AUDIO_SLOTS] = {"sLabel53", "sLabel54", "sLabel55", "sLabel56", "sLabel57"};
const char* const kAudioPictureNames[AUDIO_SLOTS] = {"Image5", "Image2", "Image3", "Image4"};
const char* const kTextPictureNames[TEXT_SLOTS] = {"Image8", "Image9", "Image10", "Image11"};
const char* const kLanguageItemNames[AUDIO_SLOTS + TEXT_SLOTS] = {"Ch1",       "MenuItem1", "MenuItem2", "MenuItem3",
                                                                  "MenuItem4", "MenuItem5", "MenuItem6", "MenuItem7"};

const TColor kIdleColor = static_cast<TColor>(0xC0C0C0);
const TColor kNavy = static_cast<TColor>(0x800000);
// The bar behind the step texts: the coloured states need a dark ground.
const TColor kStepBarColor = static_cast<TColor>(0x202020);

void LoadPngIcon(TImage* image, int id) {
    try {
        auto* png = new TPngImage();
        image->Picture().SetGraphic(png);
        png->LoadFromResourceID(GetModuleHandleW(nullptr), id);
        image->Invalidate();
    } catch (...) {
        // A build without the pictures shows an empty place.
        image->Picture().Clear();
    }
}

using TClickMember = void (TStreamPanels::*)(TObject*);
const TClickMember kAudioPictureClicks[AUDIO_SLOTS] = {&TStreamPanels::Image5Click, &TStreamPanels::Image2Click,
                                                       &TStreamPanels::Image3Click, &TStreamPanels::Image4Click};
const TClickMember kTextPictureClicks[TEXT_SLOTS] = {&TStreamPanels::Image8Click, &TStreamPanels::Image9Click,
                                                     &TStreamPanels::Image10Click, &TStreamPanels::Image11Click};
const TClickMember kLanguageItemClicks[AUDIO_SLOTS + TEXT_SLOTS] = {
    &TStreamPanels::Ch1Click,       &TStreamPanels::MenuItem1Click, &TStreamPanels::MenuItem2Click,
    &TStreamPanels::MenuItem3Click, &TStreamPanels::MenuItem4Click, &TStreamPanels::MenuItem5Click,
    &TStreamPanels::MenuItem6Click, &TStreamPanels::MenuItem7Click};

using TShowMember = void (TStreamPanels::*)(bool);
const TShowMember kShowAudioPanels[AUDIO_SLOTS] = {&TStreamPanels::ShowAudioPanel1, &TStreamPanels::ShowAudioPanel2,
                                                   &TStreamPanels::ShowAudioPanel3, &TStreamPanels::ShowAudioPanel4};
const TShowMember kShowTextPanels[TEXT_SLOTS] = {&TStreamPanels::ShowTextPanel1, &TStreamPanels::ShowTextPanel2,
                                                 &TStreamPanels::ShowTextPanel3, &TStreamPanels::ShowTextPanel4};

} // namespace

TColor StepStateColor(TStepState state) {
    switch (state) {
    case TStepState::Failed: return static_cast<TColor>(0x0000FF);
    case TStepState::Done: return static_cast<TColor>(0x00FF00);
    case TStepState::Running: return static_cast<TColor>(0x00FFFF);
    default: return kIdleColor;
    }
}

// ---------------------------------------------------------------- steps

TStepPanels::TStepPanels(TForm1& form) : form_(form) {
    const int width = form.sGroupBox7->ClientWidth() > 40 ? form.sGroupBox7->ClientWidth() : 220;
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
        auto* p = new skin::TsPanel(&form);
        p->SetName(kStepPanelNames[i]);
        p->SetParent(form.sGroupBox7);
        // alTop keeps creation order for equal tops: place each below the last.
        p->SetBounds(0, 16 + i * 39, width, 39);
        p->SetAlign(alTop);
        p->SetBevelOuter(bvLowered);
        p->SetShowCaption(false);
        p->SetColor(kStepBarColor);
        p->SetShowHint(true);
        Panel[i] = p;

        auto* t = new skin::TsLabelFX(&form);
        t->SetName(kStepTitleNames[i]);
        t->SetParent(p);
        t->SetAutoSize(false);
        t->SetTransparent(true);
        t->SetBounds(8, 3, width - 16, 16);
        t->SetAnchors(akLeft | akTop | akRight);
        t->SetCaption(kStepCaptions[i]);
        t->Font().SetStyle(fsBold);
        t->SetShowHint(true);
        Title[i] = t;

        auto* s = new skin::TsLabelFX(&form);
        s->SetName(kStepStatusNames[i]);
        s->SetParent(p);
        s->SetAutoSize(false);
        s->SetTransparent(true);
        s->SetBounds(8, 20, width - 16, 16);
        s->SetAlignment(taRightJustify);
        s->SetCaption("?");
        s->SetShowHint(true);
        Status[i] = s;
    }
    ResetStepLabels();
}

void TStepPanels::ResetStepLabels() {
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) SetStep(static_cast<TAnalysisStep>(i), TStepState::Idle, "");
}

void TStepPanels::SetStep(TAnalysisStep step, TStepState state, const std::string& text) {
    if (step < 0 || step >= ANALYSIS_STEP_COUNT) return;
    Status[step]->SetCaption(text);
    const TColor c = static_cast<TColor>(StepStateColour(state));
    SetStepStatus(Title[step], c);
    SetStepStatus(Status[step], c);
}

void TStepPanels::SetStepStatus(skin::TsLabelFX* label, TColor colour) {
    if (!label) return;
    // Under the skin: the bar section of the state, the text in its colour
    // over a darker shadow. The section first: a panel whose section is
    // missing gives its labels the plain window text colour.
    const TStepColours look = StepStatusColours(static_cast<uint32_t>(colour));
    if (auto* bar = dynamic_cast<skin::TsPanel*>(label->Parent())) bar->SkinData.SetSkinSection(look.SkinSection);
    label->Font().SetColor(colour);
    label->Kind().SetColor(static_cast<TColor>(look.Font));
    label->Shadow().SetColor(static_cast<TColor>(look.Shadow));
    label->Repaint();
}

// ---------------------------------------------------------------- result panels

TStreamPanels::TStreamPanels(TForm1& form) : form_(form) {
    StreamArea = new skin::TsPanel(&form);
    StreamArea->SetName("StreamArea");
    StreamArea->SetParent(form.sGroupBox8);
    StreamArea->SetAlign(alClient);
    StreamArea->SetBevelOuter(bvNone);
    StreamArea->SetShowCaption(false);
    StreamArea->SetVisible(false);
    StreamArea->OnResize = [this](TObject*) { Relayout(); };

    BuildPanel(Video, TPanelKind::Video, 0);
    for (int i = 0; i < AUDIO_SLOTS; ++i) BuildPanel(Audio[i], TPanelKind::Audio, i);
    for (int i = 0; i < TEXT_SLOTS; ++i) BuildPanel(Text[i], TPanelKind::Text, i);
    BuildTimeline();
    Reset();
}

TLabel* TStreamPanels::NewLabel(TWinControl* parent, const std::string& name, int left, int top, int width,
                                int height) {
    TLabel* l = new skin::TsLabel(&form_);
    l->SetName(name);
    l->SetParent(parent);
    l->SetAutoSize(false);
    l->SetTransparent(true);
    l->SetBounds(left, top, width, height);
    l->SetShowHint(true);
    return l;
}

void TStreamPanels::BuildPanel(TResultPanel& p, TPanelKind kind, int slot) {
    const int width = 500;
    std::string prefix;
    int open = VIDEO_PANEL_HEIGHT;
    switch (kind) {
    case TPanelKind::Video: prefix = "Video"; break;
    case TPanelKind::Audio: prefix = "Audio" + IntToStr(slot + 1); open = AUDIO_PANEL_HEIGHT; break;
    case TPanelKind::Text: prefix = "Text" + IntToStr(slot + 1); open = TEXT_PANEL_HEIGHT; break;
    }
    p.OpenHeight = open;
    p.Box = new skin::TsGroupBox(&form_);
    p.Box->SetName(prefix + "StreamBox");
    p.Box->SetParent(StreamArea);
    p.Box->SetBounds(0, 0, width, open);
    p.Box->SetAnchors(akLeft | akTop | akRight);
    p.Box->SetCaption(kind == TPanelKind::Video   ? std::string("Video Stream")
                      : kind == TPanelKind::Audio ? "Audio Stream " + IntToStr(slot + 1)
                                                  : "Text Stream " + IntToStr(slot + 1));
    p.Box->SetShowHint(true);
    const int av = kind == TPanelKind::Audio ? 1 + slot : 0; // index into the named caption tables

    p.Picture = new TImage(&form_);
    p.Picture->SetParent(p.Box);
    if (kind == TPanelKind::Text) {
        p.Picture->SetName(kTextPictureNames[slot]);
        p.Picture->SetBounds(10, 15, 24, 24);
        p.Picture->SetStretch(true);
        p.Picture->SetProportional(true);
    } else {
        p.Picture->SetName(kind == TPanelKind::Video ? std::string("VideoPicture") : std::string(kAudioPictureNames[slot]));
        p.Picture->SetBounds(8, 18, 48, 48);
    }
    p.Picture->SetTransparent(true);
    p.Picture->SetShowHint(true);

    if (kind == TPanelKind::Text) {
        p.Title = NewLabel(p.Box, prefix + "TitleLabel", 64, 16, 110, 14);
        p.PidCaption = NewLabel(p.Box, prefix + "PidCaption", 64, 29, 40, 14);
        p.Pid = NewLabel(p.Box, prefix + "PidLabel", 106, 29, 70, 14);
        p.ErrorsCaption = NewLabel(p.Box, prefix + "ErrorsCaption", 180, 16, 72, 14);
        p.Errors = NewLabel(p.Box, prefix + "ErrorsLabel", 254, 16, 70, 14);
        p.LayerCaption = NewLabel(p.Box, prefix + "LayerCaption", 180, 29, 72, 14);
        p.Layer = NewLabel(p.Box, prefix + "LayerLabel", 254, 29, 70, 14);
        p.Details = NewLabel(p.Box, prefix + "DetailsLabel", 330, 16, width - 338, 26);
    } else {
        p.Title = NewLabel(p.Box, prefix + "TitleLabel", 64, 16, 110, 16);
        p.PidCaption = NewLabel(p.Box, prefix + "PidCaption", 64, 34, 40, 14);
        p.Pid = NewLabel(p.Box, prefix + "PidLabel", 106, 34, 70, 14);
        p.SizeCaption = NewLabel(p.Box, kSizeCaptionNames[av], 64, 50, 40, 14);
        p.Size = NewLabel(p.Box, prefix + "SizeLabel", 106, 50, 70, 14);
        p.ErrorsCaption = NewLabel(p.Box, kErrorsCaptionNames[av], 180, 34, 72, 14);
        p.Errors = NewLabel(p.Box, prefix + "ErrorsLabel", 254, 34, 70, 14);
        p.LayerCaption = NewLabel(p.Box, kLayerCaptionNames[av], 180, 50, 72, 14);
        p.Layer = NewLabel(p.Box, prefix + "LayerLabel", 254, 50, 70, 14);
        p.Details = NewLabel(p.Box, prefix + "DetailsLabel", 330, 16, width - 338, 54);
        p.SizeCaption->SetCaption("Size");
    }
    p.Title->Font().SetStyle(fsBold);
    p.PidCaption->SetCaption("PID");
    p.ErrorsCaption->SetCaption("Errors");
    p.LayerCaption->SetCaption("Layer Check");
    p.Details->SetWordWrap(true);
    p.Details->SetAnchors(akLeft | akTop | akRight);

    if (kind == TPanelKind::Audio) {
        const TClickMember member = kAudioPictureClicks[slot];
        p.Picture->OnClick = [this, member](TObject* sender) { (this->*member)(sender); };
    } else if (kind == TPanelKind::Text) {
        const TClickMember member = kTextPictureClicks[slot];
        auto click = [this, member](TObject* sender) { (this->*member)(sender); };
        p.Picture->OnClick = click;
        p.Title->OnClick = click;
        p.Title->SetCursor(crHandPoint);
    }

    if (kind != TPanelKind::Video) {
        const int item = kind == TPanelKind::Audio ? slot : AUDIO_SLOTS + slot;
        p.Menu = new TPopupMenu(&form_);
        p.Menu->SetName(prefix + "PopupMenu");
        p.LanguageItem = new TMenuItem(&form_);
        p.LanguageItem->SetName(kLanguageItemNames[item]);
        p.LanguageItem->SetCaption("Change Language_Descriptor");
        p.LanguageItem->SetEnabled(false);
        const TClickMember member = kLanguageItemClicks[item];
        p.LanguageItem->OnClick = [this, member](TObject* sender) { (this->*member)(sender); };
        p.Menu->Items()->Add(p.LanguageItem);
        for (TControl* c : std::initializer_list<TControl*>{p.Box, p.Picture, p.Title, p.Details, p.Pid})
            c->SetPopupMenu(p.Menu);
    }
}

void TStreamPanels::BuildTimeline() {
    TimelineBox = new skin::TsGroupBox(&form_);
    TimelineBox->SetName("TimelineBox");
    TimelineBox->SetParent(StreamArea);
    TimelineBox->SetBounds(0, 0, 500, 44);
    TimelineBox->SetAnchors(akLeft | akTop | akRight);
    TimelineBox->SetCaption("Timeline");
    BeginCaption = NewLabel(TimelineBox, "sLabel24", 12, 20, 60, 14);
    BeginCaption->SetCaption("Begin");
    BeginValue = NewLabel(TimelineBox, "sLabel22", 74, 20, 90, 14);
    EndCaption = NewLabel(TimelineBox, "sLabel26", 180, 20, 50, 14);
    EndCaption->SetCaption("End");
    EndValue = NewLabel(TimelineBox, "sLabel23", 232, 20, 90, 14);
    DurationCaption = NewLabel(TimelineBox, "sLabel25", 340, 20, 60, 14);
    DurationCaption->SetCaption("Duration");
    DurationValue = NewLabel(TimelineBox, "sLabel9", 402, 20, 90, 14);
}

void TStreamPanels::Relayout() {
    // Open panels stack in their fixed order (video, audio 1-4, text 1-4),
    // closed ones take no room; the timeline follows the last.
    if (!TimelineBox) return; // still being built
    const int width = StreamArea->ClientWidth() > 0 ? StreamArea->ClientWidth() : Video.Box->Width();
    int top = 0;
    auto place = [&](TControl* c) {
        c->SetBounds(0, top, width, c->Height());
        top += c->Height();
    };
    place(Video.Box);
    for (TResultPanel& p : Audio) place(p.Box);
    for (TResultPanel& p : Text) place(p.Box);
    place(TimelineBox);
}

void TStreamPanels::Reset() {
    // Marked on first, so that each is switched off whatever it shows.
    Video.On = true;
    ShowVideoPanel(false);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        Audio[i].On = true;
        ShowPanelOn(TPanelKind::Audio, i, false);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        Text[i].On = true;
        ShowPanelOn(TPanelKind::Text, i, false);
    }
    TTimelineTexts off;
    off.Begin = BeginValue->Caption();
    off.End = EndValue->Caption();
    off.Duration = DurationValue->Caption();
    ShowTimeline(off);
}

void TStreamPanels::SetAudioPicture(TResultPanel& p, int toggleState) {
    const int id = toggleState == 1 ? 200 : toggleState == 2 ? 202 : 201;
    if (p.Picture->Tag() != toggleState || p.Picture->Picture().Graphic() == nullptr) LoadPngIcon(p.Picture, id);
    p.Picture->SetTag(toggleState);
    p.Picture->SetCursor(toggleState == 0 ? crDefault : crHandPoint);
}

void TStreamPanels::ShowVideoPanel(bool on) { SetPanelOn(Video, TPanelKind::Video, on); }
void TStreamPanels::ShowAudioPanel1(bool on) { SetPanelOn(Audio[0], TPanelKind::Audio, on); }
void TStreamPanels::ShowAudioPanel2(bool on) { SetPanelOn(Audio[1], TPanelKind::Audio, on); }
void TStreamPanels::ShowAudioPanel3(bool on) { SetPanelOn(Audio[2], TPanelKind::Audio, on); }
void TStreamPanels::ShowAudioPanel4(bool on) { SetPanelOn(Audio[3], TPanelKind::Audio, on); }
void TStreamPanels::ShowTextPanel1(bool on) { SetPanelOn(Text[0], TPanelKind::Text, on); }
void TStreamPanels::ShowTextPanel2(bool on) { SetPanelOn(Text[1], TPanelKind::Text, on); }
void TStreamPanels::ShowTextPanel3(bool on) { SetPanelOn(Text[2], TPanelKind::Text, on); }
void TStreamPanels::ShowTextPanel4(bool on) { SetPanelOn(Text[3], TPanelKind::Text, on); }

void TStreamPanels::ShowPanelOn(TPanelKind kind, int slot, bool on) {
    if (kind == TPanelKind::Video) ShowVideoPanel(on);
    else if (kind == TPanelKind::Audio && slot >= 0 && slot < AUDIO_SLOTS) (this->*kShowAudioPanels[slot])(on);
    else if (kind == TPanelKind::Text && slot >= 0 && slot < TEXT_SLOTS) (this->*kShowTextPanels[slot])(on);
}

void TStreamPanels::Image5Click(TObject*) {
    if (OnAudioClick) OnAudioClick(0);
}
void TStreamPanels::Image2Click(TObject*) {
    if (OnAudioClick) OnAudioClick(1);
}
void TStreamPanels::Image3Click(TObject*) {
    if (OnAudioClick) OnAudioClick(2);
}
void TStreamPanels::Image4Click(TObject*) {
    if (OnAudioClick) OnAudioClick(3);
}
void TStreamPanels::Image8Click(TObject*) {
    if (OnTextClick) OnTextClick(0);
}
void TStreamPanels::Image9Click(TObject*) {
    if (OnTextClick) OnTextClick(1);
}
void TStreamPanels::Image10Click(TObject*) {
    if (OnTextClick) OnTextClick(2);
}
void TStreamPanels::Image11Click(TObject*) {
    if (OnTextClick) OnTextClick(3);
}

void TStreamPanels::Ch1Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Audio, 0);
}
void TStreamPanels::MenuItem1Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Audio, 1);
}
void TStreamPanels::MenuItem2Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Audio, 2);
}
void TStreamPanels::MenuItem3Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Audio, 3);
}
void TStreamPanels::MenuItem4Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Text, 0);
}
void TStreamPanels::MenuItem5Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Text, 1);
}
void TStreamPanels::MenuItem6Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Text, 2);
}
void TStreamPanels::MenuItem7Click(TObject*) {
    if (OnLanguageItem) OnLanguageItem(TPanelKind::Text, 3);
}

void TStreamPanels::SetPanelOn(TResultPanel& p, TPanelKind kind, bool on) {
    if (p.On == on) return;
    p.On = on;
    p.Box->SetHeight(on ? p.OpenHeight : 0);
    Relayout();
    if (kind != TPanelKind::Text) {
        const TColor c = on ? clWindowText : clInactiveCaption;
        p.Box->Font().SetColor(c);
        for (TLabel* l : {p.Title, p.PidCaption, p.Pid, p.SizeCaption, p.Size, p.ErrorsCaption, p.Errors, p.LayerCaption,
                          p.Layer})
            if (l) l->Font().SetColor(c);
        p.Picture->SetVisible(on);
        if (kind == TPanelKind::Video) LoadPngIcon(p.Picture, on ? 100 : 101);
        else SetAudioPicture(p, on ? 1 : 0);
    }
    if (!on) {
        for (TLabel* l : {p.Title, p.Pid, p.Size, p.Errors, p.Layer})
            if (l) l->SetCaption("");
        if (kind != TPanelKind::Video) {
            p.Details->SetCaption("");
            p.LanguageItem->SetEnabled(false);
        }
        if (kind == TPanelKind::Text) {
            p.Picture->SetVisible(false);
            p.Picture->SetTag(1);
        }
    }
}

void TStreamPanels::ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel) {
    TResultPanel* p = nullptr;
    if (kind == TPanelKind::Video) p = &Video;
    else if (kind == TPanelKind::Audio && slot >= 0 && slot < AUDIO_SLOTS) p = &Audio[slot];
    else if (kind == TPanelKind::Text && slot >= 0 && slot < TEXT_SLOTS) p = &Text[slot];
    if (!p) return;
    if (!panel.Visible) {
        ShowPanelOn(kind, slot, false);
        if (kind == TPanelKind::Video) p->Details->SetCaption("");
        return;
    }
    ShowPanelOn(kind, slot, true);
    p->Title->SetCaption(panel.Title);
    p->Title->SetHint(panel.TitleHint);
    p->Pid->SetCaption(panel.Pid);
    if (p->Size) p->Size->SetCaption(panel.Size);
    p->Errors->SetCaption(panel.Errors);
    p->Layer->SetCaption(panel.LayerCheck);
    p->Details->SetCaption(panel.Details);
    if (kind == TPanelKind::Audio) {
        p->Picture->SetHint(panel.TitleHint);
        SetAudioPicture(*p, panel.ToggleState);
    } else if (kind == TPanelKind::Text) {
        // The hidden picture marks a dropped text stream.
        if (p->Picture->Picture().Graphic() == nullptr) LoadPngIcon(p->Picture, 202);
        p->Picture->SetTag(panel.ToggleState == 2 ? 2 : 1);
        p->Picture->SetVisible(panel.ToggleState == 2);
        p->Picture->SetHint(panel.TitleHint);
    }
    if (p->LanguageItem) p->LanguageItem->SetEnabled(panel.LanguageItemEnabled);
}

void TStreamPanels::ShowTimeline(const TTimelineTexts& texts) {
    const TColor c = texts.Visible ? clWindowText : clInactiveCaption;
    TimelineBox->Font().SetColor(c);
    for (TLabel* l : {BeginCaption, EndCaption, DurationCaption}) l->Font().SetColor(c);
    for (TLabel* l : {BeginValue, EndValue, DurationValue}) l->Font().SetColor(texts.Visible ? kNavy : clInactiveCaption);
    BeginValue->SetCaption(texts.Begin);
    EndValue->SetCaption(texts.End);
    DurationValue->SetCaption(texts.Duration);
    TimelineBox->Invalidate();
}

void TStreamPanels::ShowArea(bool on) { StreamArea->SetVisible(on); }

bool TStreamPanels::SetStreamLabels(const std::string& pidText, const std::string& size, const std::string& errors) {
    bool found = false;
    auto apply = [&](TResultPanel& p) {
        if (!p.On || p.Pid->Caption() != pidText) return;
        p.Size->SetCaption(size);
        p.Errors->SetCaption(errors);
        found = true;
    };
    apply(Video);
    for (TResultPanel& p : Audio) apply(p);
    return found;
}

void TStreamPanels::LanguageChanged(bool german) {
    // The text panels' captions are not in the window's table; they follow
    // the named ones of the video panel.
    const std::string errors = ControlText("sLabel45", ctCaption, german);
    for (TResultPanel& p : Text)
        if (!errors.empty()) p.ErrorsCaption->SetCaption(errors);
}

} // namespace tw
