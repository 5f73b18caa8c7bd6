// The packet editor "TS Packet Editor": one transport packet of a file at a
// time in the hex editor, its header and adaptation-field fields decoded and
// the time stamps of a PES header that starts in it; stepping, searches and
// the in-place write-back of the edited packet (the one operation of the
// program that changes a user's file: exactly the packet's 188 bytes).
#pragma once

#include "analysis/ThdTimer.h"
#include "tools/TSHexEditor.h"
#include "tools/engine/PacketEditorModel.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sGroupBox.h"
#include "skin/controls/sHeaderControl.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sSpinEdit.h"
#include "skin/controls/sStatusBar.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"

namespace tw {

class TTSPacketReader;

class TPacketEditorForm : public TForm {
public:
    explicit TPacketEditorForm(TComponent* owner);

    TTSPacketReader* Raw_TSPacketReader;
    TTSHexEditor* TSHexEditor1;
    skin::TsHeaderControl* sHeaderControl1;
    // The edits and the offset box carry their captions in bound labels.
    skin::TsEdit* sEdit1;          // packet number
    skin::TsSpinEdit* sSpinEdit1;  // offset
    skin::TsLabelFX* sLabelFX1;    // "M2TS"
    skin::TsEdit* sEdit2;    // PID
    skin::TsEdit* sEdit3;    // transport scrambling control
    skin::TsEdit* sEdit4;    // adaptation field control
    skin::TsEdit* sEdit5;    // continuity counter
    skin::TsCheckBox* sCheckBox1; // transport error indicator
    skin::TsCheckBox* sCheckBox2; // payload unit start indicator
    skin::TsCheckBox* sCheckBox3; // transport priority
    skin::TsLabel* ErrorLabel;
    skin::TsGroupBox* sPanelAF;  // "Adaptation Field"
    skin::TsCheckBox* sCheckBox4; // discontinuity indicator
    skin::TsCheckBox* sCheckBox5; // random access indicator
    skin::TsCheckBox* sCheckBox6; // ES priority indicator
    skin::TsEdit* sEdit6;    // PCR
    skin::TsEdit* sEdit7;    // OPCR
    skin::TsEdit* sEdit8;    // adaptation field length
    skin::TsGroupBox* sPanelPES; // "PES Timer"
    skin::TsEdit* sEdit10;   // PTS
    skin::TsEdit* sEdit11;   // DTS
    skin::TsEdit* sEdit12;   // ESCR
    skin::TsStatusBar* sStatusBar1;
    skin::TsBitBtn* sBitBtn1; // OK
    skin::TsBitBtn* sBitBtn2; // <-
    skin::TsBitBtn* sBitBtn3; // ->
    skin::TsBitBtn* sBitBtn4; // write
    skin::TsBitBtn* sBitBtn5; // discard
    skin::TsBitBtn* sBitBtn6; // <<-
    skin::TsBitBtn* sBitBtn7; // ->>
    skin::TsBitBtn* sBitBtn8; // Payl. forward
    skin::TsBitBtn* sBitBtn9; // Payl. backward
    skin::TsBitBtn* sBitBtn10; // PCR forward
    skin::TsBitBtn* sBitBtn11; // PCR backward
    skin::TsBitBtn* sBitBtn12; // Error forward
    skin::TsBitBtn* sBitBtn13; // Error backward
    skin::TsBitBtn* sBitBtn14; // |<
    skin::TsBitBtn* sBitBtn15; // >|
    skin::TsBitBtn* sBitBtn16; // Sync
    TThreadedTimer* AutoIncTimer;

    // Packet numbers in "$" + 8 hexadecimal digits once the user typed one so.
    bool HexNumbers = false;
    std::string NotFoundText = "Not found";
    bool German = false;
    // The decoded fields last shown.
    const TPacketFields& Fields() const { return fields_; }

    void SetLanguage(bool german);
    void FormShow(TObject* sender);
    void ShowPacket();
    // False, with the user told why, when the packet could not be written.
    bool WritePacket();
    void ParseEditedPacket();
    void ShowHeaderFields(const TPacketFields& f);
    void ShowPesTimers(const TPacketFields& f);
    void SetOffsetHeader(bool hex);
    // Offers to write unwritten changes before the grid is loaded again;
    // false when the user wanted them written and the write failed (the
    // edits then stay where they are).
    bool ConfirmWriteChanged();
    void StartAutoRepeat(TBitBtn* button);
    void StopAutoRepeat();
    void Step(int delta);
    void Search(TPacketSearch kind, bool forward);
    void SearchSync();
    void PacketNumberEntered();
    void OffsetChanged();

private:
    skin::TsBitBtn* Button(const char* name, const char* caption, int left, int top, int width, std::function<void()> run,
                    bool repeat = false);
    void AutoIncTimerTimer();
    // Every box of the window; each ends a running repeat first.
    int Ask(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
    void Tell(const std::string& text);
    TPacketFields fields_;
    TBitBtn* held_ = nullptr;
    int ticks_ = 0;
    bool hexHeader_ = false;
};

} // namespace tw
