// The preferences dialog (Settings > Preferences): three pages of settings,
// filled from the registry and the filter probe, stored again on OK by the
// main window (TForm1::Preferences1Click).
#pragma once

#include <string>

#include "app/engine/FilterChoices.h"
#include "ui/Buttons.h"
#include "ui/ComCtrls.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TSettingsForm : public TForm {
public:
    explicit TSettingsForm(TComponent* owner);
    ~TSettingsForm() override;

    TPageControl* sPageControl1;
    TTabSheet* sTabSheet1; // General
    TTabSheet* sTabSheet2; // Preview
    TTabSheet* sTabSheet3; // Correction Behavior
    // General
    TLabel* sLabel1;        // "Language"
    TComboBox* sComboBox1;  // German, English
    TCheckBox* sCheckBox1;  // ShowLogfileWindow
    TCheckBox* sCheckBox3;  // UpdateCheck
    TCheckBox* sCheckBox5;  // PlaySound
    // Correction Behavior
    TRadioGroup* sRadioGroup1; // TimerPatchMode
    TCheckBox* sCheckBox4;     // PESDuplicatePacketHandling
    TCheckBox* sCheckBox6;     // NoTeletext
    TCheckBox* sCheckBox7;     // NoSubtitles
    // Preview
    TLabel* sLabel2;       // "DirectX Version"
    TEdit* sEdit1;         // the probe's DirectX version, read-only
    TCheckBox* sCheckBox2; // NoPreview
    TLabel* sLabel3;       // splitter
    TComboBox* sComboBox4; // MpegSplitter
    TLabel* sLabel4;
    TComboBox* sComboBox2; // MpegVideoFilter
    TLabel* sLabel5;
    TComboBox* sComboBox3; // H264VideoFilter
    TLabel* sLabel6;
    TComboBox* sComboBox5; // MpegAudioFilter
    TBitBtn* sBitBtn3;     // shows the DirectX log
    // Buttons
    TBitBtn* sBitBtn1; // OK
    TBitBtn* sBitBtn2; // Cancel

    // Copied in by the main window before showing.
    std::string DataFolder;
    TFilterAvailability Filters;

    // Captions in English ("ENG") or German (anything else); selects the
    // language entry to match.
    void SetTexts(bool english);

    // The positions and enabled states of the four filter lists.
    TFilterChoices Choices() const;
    void SetChoices(const TFilterChoices& c);

    void sComboBox4Change(TObject* sender); // splitter rule
    void sComboBox2Change(TObject* sender); // MPEG-2 decoder rule
    void sComboBox3Change(TObject* sender); // H.264 decoder rule
    void sComboBox5Click(TObject* sender);  // audio decoder rule
    void sBitBtn3Click(TObject* sender);    // DirectX log

private:
    void ShowRuleMessage(const std::string& text);
};

// The dialog while it is shown (nullptr otherwise).
extern TSettingsForm* SettingsForm;

} // namespace tw
