// The raw cutter's dialog TRawCutterForm and its command: a range of whole
// packets of any transport-stream file copied byte for byte into a new file
// ("_cutted"). The dialog exists from start-up and is only shown; Run does
// the whole command for a file the user picked.
#pragma once

#include <string>

#include "skin/controls/sButtons.h"
#include "skin/controls/sEdit.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sSpinEdit.h"
#include "ui/Forms.h"

namespace tw {

class TRawCutterForm : public TForm {
public:
    explicit TRawCutterForm(TComponent* owner);
    ~TRawCutterForm() override;

    // The edits carry their captions in bound labels.
    skin::TsEdit* sEdit4;         // "File:", read-only
    skin::TsLabelFX* sLabelFX1;   // "Paket size: 188 Byte"
    skin::TsSpinEdit* sSpinEdit1; // "Offset Bytes"
    skin::TsEdit* sEdit1;         // "From packet"
    skin::TsEdit* sEdit2;         // "To packet" (inclusive)
    skin::TsEdit* sEdit3;         // "Size in MBytes"
    skin::TsBitBtn* sBitBtn1;     // OK
    skin::TsBitBtn* sBitBtn2;     // Cancel

    int PacketSize = 188;
    int64_t PacketCount = 0;
    bool German = false;
    std::string GarbageLine1, GarbageLine2;

    // The command for one file: probe, dialog, save dialog, copy.
    void Run(const std::string& fileName);
    void SetRawCutterTexts();

    void sEdit1Change(TObject* sender);
    void sEdit2Change(TObject* sender);
    void sEdit3Change(TObject* sender);
    // Digits, backspace and "$", and after a leading "$" hexadecimal digits:
    // the From edit decides by its own text, the To and size edits by the
    // To edit's.
    void sEdit1KeyPress(TObject* sender, wchar_t& key);
    void sEdit2KeyPress(TObject* sender, wchar_t& key);

private:
    // Set while the handlers write the other edits, so those do not answer.
    bool updating_ = false;
    bool ReadEdits(int64_t& from, int64_t& to, int64_t& size) const;
    // False when a change handler must not act: an edit is empty (OK then
    // goes off), the handler's own writing, or a text that does not convert.
    bool BeginChange(int64_t& from, int64_t& to, int64_t& size);
    void SetEditText(TEdit* edit, int64_t value);
    // The conversion error of a box left with a text that is no number.
    void ReportUnreadable(TEdit* edit);
    void CopyRange(const std::string& input, const std::string& output, int64_t start, int64_t end);
};

extern TRawCutterForm* RawCutterForm;

} // namespace tw
