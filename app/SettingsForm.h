// The preferences dialog (Settings > Preferences): three pages of settings,
// filled from the registry and the filter probe, stored again on OK by the
// main window (TForm1::Preferences1Click).
#pragma once

#include <memory>
#include <string>

#include "analysis/FilterChoices.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sComboBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sPageControl.h"
#include "skin/controls/sRadioGroup.h"
#include "skin/engine/link/sCommonData.h"
#include "ui/Forms.h"

namespace tw {

class TSettingsForm : public TForm {
public:
    explicit TSettingsForm(TComponent* owner);
    ~TSettingsForm() override;

    skin::TsPageControl* sPageControl1;
    skin::TsTabSheet* sTabSheet1; // General
    skin::TsTabSheet* sTabSheet2; // Preview
    skin::TsTabSheet* sTabSheet3; // Correction Behavior
    // General
    skin::TsComboBox* sComboBox1; // German, English
    skin::TsCheckBox* sCheckBox1; // ShowLogfileWindow
    skin::TsCheckBox* sCheckBox3; // UpdateCheck
    skin::TsCheckBox* sCheckBox5; // PlaySound
    // Correction Behavior
    skin::TsRadioGroup* sRadioGroup1; // TimerPatchMode
    skin::TsCheckBox* sCheckBox4;     // PESDuplicatePacketHandling
    skin::TsCheckBox* sCheckBox6;     // NoTeletext
    skin::TsCheckBox* sCheckBox7;     // NoSubtitles
    // Preview
    skin::TsEdit* sEdit1;         // the probe's DirectX version, read-only
    skin::TsCheckBox* sCheckBox2; // NoPreview
    skin::TsComboBox* sComboBox4; // MpegSplitter
    skin::TsComboBox* sComboBox2; // MpegVideoFilter
    skin::TsComboBox* sComboBox3; // H264VideoFilter
    skin::TsComboBox* sComboBox5; // MpegAudioFilter
    skin::TsBitBtn* sBitBtn3;     // shows the DirectX log
    // Buttons
    skin::TsBitBtn* sBitBtn1; // OK
    skin::TsBitBtn* sBitBtn2; // Cancel
    // The captions beside the lists and the edit, placed by their controls:
    // "Language" (sComboBox1), "DirectX Version" (sEdit1), then the splitter
    // and the three decoder lists.
    std::unique_ptr<skin::TsBoundLabel> sLabel1, sLabel2, sLabel3, sLabel4, sLabel5, sLabel6;

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
    // The bound labels are plain labels: they take the skin's text colour
    // of the page they stand on whenever their texts are set.
    void ColourLabels();
};

// The dialog while it is shown (nullptr otherwise).
extern TSettingsForm* SettingsForm;

} // namespace tw
