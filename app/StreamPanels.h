// The main window's analysis display: the ten step panels in the
// "Preparation steps" box and the result panels under "Identified Streams"
// (one video, four audio and four text panels and the "Timeline" box).
//
// The controls are components of the main window and carry the layout's
// names, so the window's text table and its re-layout reach them. They only
// show what the analysis engine hands over (TStreamPanel, step states); the
// clicks that drop or keep a stream are passed on through OnAudioClick and
// OnTextClick.
#pragma once

#include <functional>
#include <string>

#include "analysis/AnalysisHost.h"
#include "analysis/AnalysisTables.h"
#include "skin/controls/sGroupBox.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sPanel.h"
#include "ui/ExtCtrls.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm1;

// Font colours of a step state (blue in the high byte): failed red, done
// green, running yellow, idle grey.
TColor StepStateColor(TStepState state);

// The ten step panels: a dark bar each with the step's title and its status.
class TStepPanels {
public:
    explicit TStepPanels(TForm1& form);

    // Every label idle, every status text empty.
    void ResetStepLabels();
    // Both labels of the step in the state's colour, the status text set.
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text);
    // One label in a status colour (red, green, yellow, $FFFF00 or idle):
    // its font and shadow, and the skin section of the bar that holds it.
    void SetStepStatus(skin::TsLabelFX* label, TColor colour);

    skin::TsPanel* Panel[ANALYSIS_STEP_COUNT] = {};
    skin::TsLabelFX* Title[ANALYSIS_STEP_COUNT] = {};
    skin::TsLabelFX* Status[ANALYSIS_STEP_COUNT] = {};

private:
    TForm1& form_;
};

// One result panel (video, audio or text): a box that collapses to height 0
// when off.
struct TResultPanel {
    TGroupBox* Box = nullptr;
    TImage* Picture = nullptr;   // video and audio: state picture; text: the "dropped" mark
    TLabel* Title = nullptr;     // "H264", "AC3", "Teletext"
    TLabel* PidCaption = nullptr;
    TLabel* Pid = nullptr;
    TLabel* SizeCaption = nullptr; // not on text panels
    TLabel* Size = nullptr;        // not on text panels
    TLabel* ErrorsCaption = nullptr;
    TLabel* Errors = nullptr;
    TLabel* LayerCaption = nullptr;
    TLabel* Layer = nullptr;
    TLabel* Details = nullptr;
    TPopupMenu* Menu = nullptr;
    TMenuItem* LanguageItem = nullptr; // "Change Language_Descriptor"
    int OpenHeight = 0;
    bool On = false;
};

class TStreamPanels {
public:
    explicit TStreamPanels(TForm1& form);

    // Holds the result panels and the timeline; shown while the analysis
    // boxes are on (the logo panel takes the place otherwise).
    TPanel* StreamArea = nullptr;
    TResultPanel Video;
    TResultPanel Audio[AUDIO_SLOTS];
    TResultPanel Text[TEXT_SLOTS];
    TGroupBox* TimelineBox = nullptr;
    TLabel* BeginCaption = nullptr;    // sLabel24
    TLabel* EndCaption = nullptr;      // sLabel26
    TLabel* DurationCaption = nullptr; // sLabel25
    TLabel* BeginValue = nullptr;      // sLabel22: the cut-in point
    TLabel* EndValue = nullptr;        // sLabel23: the cut-out point
    TLabel* DurationValue = nullptr;

    // Every panel off, the timeline off.
    void Reset();
    void ShowPanel(TPanelKind kind, int slot, const TStreamPanel& panel);
    void ShowTimeline(const TTimelineTexts& texts);
    void ShowArea(bool on);
    // Size and error values of the video or audio panel whose PID value
    // reads pidText; false when no panel shows that PID.
    bool SetStreamLabels(const std::string& pidText, const std::string& size, const std::string& errors);
    // The captions that the window's text table does not hold.
    void LanguageChanged(bool german);

    // Each panel on (shown at its open height) or off (collapsed, emptied).
    void ShowVideoPanel(bool on);
    void ShowAudioPanel1(bool on);
    void ShowAudioPanel2(bool on);
    void ShowAudioPanel3(bool on);
    void ShowAudioPanel4(bool on);
    void ShowTextPanel1(bool on);
    void ShowTextPanel2(bool on);
    void ShowTextPanel3(bool on);
    void ShowTextPanel4(bool on);

    // The stream toggles bound to the panels' pictures: audio streams 1 to
    // 4, then text streams 1 to 4 (also bound to the text panels' titles).
    void Image5Click(TObject* sender);
    void Image2Click(TObject* sender);
    void Image3Click(TObject* sender);
    void Image4Click(TObject* sender);
    void Image8Click(TObject* sender);
    void Image9Click(TObject* sender);
    void Image10Click(TObject* sender);
    void Image11Click(TObject* sender);
    // "Change Language_Descriptor" of the audio panels (Ch1, MenuItem1 to
    // MenuItem3) and of the text panels (MenuItem4 to MenuItem7).
    void Ch1Click(TObject* sender);
    void MenuItem1Click(TObject* sender);
    void MenuItem2Click(TObject* sender);
    void MenuItem3Click(TObject* sender);
    void MenuItem4Click(TObject* sender);
    void MenuItem5Click(TObject* sender);
    void MenuItem6Click(TObject* sender);
    void MenuItem7Click(TObject* sender);

    // Left click on an audio picture (slot 0..3), on a text picture or title.
    std::function<void(int slot)> OnAudioClick;
    std::function<void(int slot)> OnTextClick;
    // "Change Language_Descriptor" of a panel's popup menu.
    std::function<void(TPanelKind kind, int slot)> OnLanguageItem;

private:
    void BuildPanel(TResultPanel& p, TPanelKind kind, int slot);
    // The named Show...Panel member of a panel.
    void ShowPanelOn(TPanelKind kind, int slot, bool on);
    void SetPanelOn(TResultPanel& p, TPanelKind kind, bool on);
    void SetAudioPicture(TResultPanel& p, int toggleState);
    void BuildTimeline();
    void Relayout();
    TLabel* NewLabel(TWinControl* parent, const std::string& name, int left, int top, int width, int height);
    TForm1& form_;
    int names_ = 0;
};

} // namespace tw
