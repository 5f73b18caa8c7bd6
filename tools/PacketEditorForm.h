// The packet editor "TS Packet Editor": one transport packet of a file at a
// time in the hex editor, its header and adaptation-field fields decoded and
// the time stamps of a PES header that starts in it; stepping, searches and
// the in-place write-back of the edited packet (the one operation of the
// program that changes a user's file: exactly the packet's 188 bytes).
#pragma once

#include "app/engine/ThdTimer.h"
#include "tools/TSHexEditor.h"
#include "tools/engine/PacketEditorModel.h"
#include "ui/Buttons.h"
#include "ui/ComCtrls.h"
#include "ui/Forms.h"
#include "ui/Spin.h"
#include "ui/StdCtrls.h"

namespace tw {

class TTSPacketReader;

class TPacketEditorForm : public TForm {
public:
    explicit TPacketEditorForm(TComponent* owner);

    TTSPacketReader* Raw_TSPacketReader;
    TTSHexEditor* TSHexEditor1;
    THeaderControl* sHeaderControl1;
    TEdit* sEdit1;          // packet number
    TSpinEdit* sSpinEdit1;  // offset
    TLabel* sLabelFX1;      // "M2TS"
    TEdit* sEdit2;          // PID
    TEdit* sEdit3;          // transport scrambling control
    TEdit* sEdit4;          // adaptation field control
    TEdit* sEdit5;          // continuity counter
    TCheckBox* sCheckBox1;  // transport error indicator
    TCheckBox* sCheckBox2;  // payload unit start indicator
    TCheckBox* sCheckBox3;  // transport priority
    TLabel* ErrorLabel;
    TGroupBox* sPanelAF;    // "Adaptation Field"
    TCheckBox* sCheckBox4;  // discontinuity indicator
    TCheckBox* sCheckBox5;  // random access indicator
    TCheckBox* sCheckBox6;  // ES priority indicator
    TEdit* sEdit6;          // PCR
    TEdit* sEdit7;          // OPCR
    TEdit* sEdit8;          // adaptation field length
    TGroupBox* sPanelPES;   // "PES Timer"
    TEdit* sEdit10;         // PTS
    TEdit* sEdit11;         // DTS
    TEdit* sEdit12;         // ESCR
    TStatusBar* sStatusBar1;
    TBitBtn* sBitBtn1;      // OK
    TBitBtn* sBitBtn2;      // <-
    TBitBtn* sBitBtn3;      // ->
    TBitBtn* sBitBtn4;      // write
    TBitBtn* sBitBtn5;      // discard
    TBitBtn* sBitBtn6;      // <<-
    TBitBtn* sBitBtn7;      // ->>
    TBitBtn* sBitBtn8;      // Payl. forward
    TBitBtn* sBitBtn9;      // Payl. backward
    TBitBtn* sBitBtn10;     // PCR forward
    TBitBtn* sBitBtn11;     // PCR backward
    TBitBtn* sBitBtn12;     // Error forward
    TBitBtn* sBitBtn13;     // Error backward
    TBitBtn* sBitBtn14;     // |<
    TBitBtn* sBitBtn15;     // >|
    TBitBtn* sBitBtn16;     // Sync
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
    void WritePacket();
    void ParseEditedPacket();
    void ShowHeaderFields(const TPacketFields& f);
    void ShowPesTimers(const TPacketFields& f);
    void SetOffsetHeader(bool hex);
    // Offers to write unwritten changes before the packet is left.
    void ConfirmWriteChanged();
    void StartAutoRepeat(TBitBtn* button);
    void StopAutoRepeat();
    void Step(int delta);
    void Search(TPacketSearch kind, bool forward);
    void SearchSync();
    void PacketNumberEntered();
    void OffsetChanged();

private:
    TBitBtn* Button(const char* name, const char* caption, int left, int top, int width, std::function<void()> run,
                    bool repeat = false);
    void AutoIncTimerTimer();
    TPacketFields fields_;
    TBitBtn* held_ = nullptr;
    int ticks_ = 0;
    bool hexHeader_ = false;
};

} // namespace tw
