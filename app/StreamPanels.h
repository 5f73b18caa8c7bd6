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
    void SetStep(TAnalysisStep step, TStepState state, const std::string& text);

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

    // Left click on an audio picture (slot 0..3), on a text picture or title.
    std::function<void(int slot)> OnAudioClick;
    std::function<void(int slot)> OnTextClick;
    // "Change Language_Descriptor" of a panel's popup menu.
    std::function<void(TPanelKind kind, int slot)> OnLanguageItem;

private:
    void BuildPanel(TResultPanel& p, TPanelKind kind, int slot);
    void SetPanelOn(TResultPanel& p, TPanelKind kind, bool on);
    void SetAudioPicture(TResultPanel& p, int toggleState);
    void BuildTimeline();
    void Relayout();
    TLabel* NewLabel(TWinControl* parent, const std::string& name, int left, int top, int width, int height);
    TForm1& form_;
    int names_ = 0;
};

} // namespace tw
