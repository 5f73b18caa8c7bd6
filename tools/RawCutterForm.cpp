#include "tools/RawCutterForm.h"

#include "shared/ProgressForm.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "skin/controls/sDialogs.h"
#include "tools/ToolControls.h"
#include "tools/engine/RawCutter.h"
#include "tools/engine/ToolFiles.h"
#include "tools/engine/StreamProbe.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

TRawCutterForm* RawCutterForm = nullptr;

namespace {

// The dialog's own texts (the rest of the dialog is English only).
struct TRawCutterText {
    const char* English;
    const char* German;
};
enum { rtGarbage1, rtGarbage2, rtFailed, rtShortened, rtRefused, rtIncomplete };
const TRawCutterText kTexts[] = {
    {"File is not starting with valid TS data!", "Datei beginnt nicht mir g\xC3\xBCltigen TS-Daten!"},
    {"Cutting file to valid TS packet size?", "Datei auf TS-Packetgr\xC3\xB6\xC3\x9F" "e zurechtschneiden?"},
    {"Raw paket copy exception error!", "Raw paket copy exception error!"},
    {"The range reached beyond the end of the file: copied up to its end.",
     "Der Bereich reichte \xC3\xBC" "ber das Dateiende hinaus: bis zum Ende kopiert."},
    {"The file was not cut.", "Die Datei wurde nicht geschnitten."},
    {"The copy is incomplete: ", "Die Kopie ist unvollst\xC3\xA4ndig: "},
};

std::string RawText(int id, bool german) { return german ? kTexts[id].German : kTexts[id].English; }

// The key filter of the number edits; `decider` is the edit whose text
// allows hexadecimal digits after a leading "$".
void FilterKey(wchar_t& key, const TEdit* decider)
{
    if (key > 0x7F || !RawNumberKeyAllowed(static_cast<char>(key), decider->Text()))
        key = 0;
}

} // namespace

TRawCutterForm::TRawCutterForm(TComponent* owner) : TForm(owner)
{
    SetName("RawCutterForm");
    SetCaption("Raw Cutter");
    SetBorderStyle(bsDialog);
    SetPosition(poScreenCenter);
    SetClientSize(330, 206);

    sEdit4 = PlaceBound<skin::TsEdit>(this, this, "sEdit4", 120, 10, 200, 22, "File:");
    sEdit4->SetEnabled(false);
    sLabelFX1 = Place<skin::TsLabelFX>(this, this, "sLabelFX1", 120, 38, 200, 16, "Paket size: 188 Byte");
    sSpinEdit1 = PlaceBound<skin::TsSpinEdit>(this, this, "sSpinEdit1", 120, 60, 80, 22, "Offset Bytes");
    sSpinEdit1->SetMinValue(0);
    sSpinEdit1->SetMaxValue(187);
    sEdit1 = PlaceBound<skin::TsEdit>(this, this, "sEdit1", 120, 88, 200, 22, "From packet");
    sEdit1->SetText("0");
    sEdit2 = PlaceBound<skin::TsEdit>(this, this, "sEdit2", 120, 114, 200, 22, "To packet");
    sEdit3 = PlaceBound<skin::TsEdit>(this, this, "sEdit3", 120, 140, 200, 22, "Size in MBytes");
    sBitBtn1 = PlaceButton(this, this, "sBitBtn1", 70, 170, "OK", mrOk);
    sBitBtn2 = PlaceButton(this, this, "sBitBtn2", 170, 170, "Cancel", mrCancel);

    sEdit1->OnChange = [this](TObject* s) { sEdit1Change(s); };
    sEdit2->OnChange = [this](TObject* s) { sEdit2Change(s); };
    sEdit3->OnChange = [this](TObject* s) { sEdit3Change(s); };
    sEdit1->OnKeyPress = [this](TObject* s, wchar_t& key) { sEdit1KeyPress(s, key); };
    // The To and size edits share one filter, decided by the To edit.
    sEdit2->OnKeyPress = [this](TObject* s, wchar_t& key) { sEdit2KeyPress(s, key); };
    sEdit3->OnKeyPress = [this](TObject* s, wchar_t& key) { sEdit2KeyPress(s, key); };
    // A box the user leaves with a text that is no number (a lone "$") is
    // named at once: OK stays off for it, and the user must see why.
    for (TEdit* e : {static_cast<TEdit*>(sEdit1), static_cast<TEdit*>(sEdit2), static_cast<TEdit*>(sEdit3)})
        e->OnExit = [this, e](TObject*) { ReportUnreadable(e); };
    LoadTree();
}

TRawCutterForm::~TRawCutterForm()
{
    if (RawCutterForm == this)
        RawCutterForm = nullptr;
}

void TRawCutterForm::SetRawCutterTexts()
{
    GarbageLine1 = RawText(rtGarbage1, German);
    GarbageLine2 = RawText(rtGarbage2, German);
}

bool TRawCutterForm::ReadEdits(int64_t& from, int64_t& to, int64_t& size) const
{
    return TryStrToInt64(sEdit1->Text(), from) && TryStrToInt64(sEdit2->Text(), to) &&
           TryStrToInt64(sEdit3->Text(), size);
}

void TRawCutterForm::SetEditText(TEdit* edit, int64_t value)
{
    updating_ = true;
    edit->SetText(IntToStr(value));
    updating_ = false;
}

// Each handler keeps the other edits in step with its own; OK needs all
// three filled and To not before From.
bool TRawCutterForm::BeginChange(int64_t& from, int64_t& to, int64_t& size)
{
    if (sEdit1->Text().empty() || sEdit2->Text().empty() || sEdit3->Text().empty()) {
        sBitBtn1->SetEnabled(false);
        return false;
    }
    if (updating_)
        return false;
    // A box that cannot be read gives no range to copy: OK stays off until
    // every box holds a number again.
    if (!ReadEdits(from, to, size)) {
        sBitBtn1->SetEnabled(false);
        return false;
    }
    return true;
}

void TRawCutterForm::ReportUnreadable(TEdit* edit)
{
    // Not while the dialog closes: its boxes lose the focus then too.
    if (!Visible() || ModalResult() != mrNone)
        return;
    const std::string text = edit->Text();
    int64_t value = 0;
    if (text.empty() || TryStrToInt64(text, value))
        return;
    try {
        StrToInt64(text);
    } catch (const Exception& e) {
        MessageDlg(e.Message(), mtError, mbOK);
    }
}

void TRawCutterForm::sEdit1KeyPress(TObject*, wchar_t& key) { FilterKey(key, sEdit1); }

void TRawCutterForm::sEdit2KeyPress(TObject*, wchar_t& key) { FilterKey(key, sEdit2); }

void TRawCutterForm::sEdit1Change(TObject*)
{
    int64_t from, to, size;
    if (!BeginChange(from, to, size))
        return;
    SetEditText(sEdit3, RawRangeSizeMB(from, to, PacketSize, true));
    sBitBtn1->SetEnabled(to >= from);
}

void TRawCutterForm::sEdit2Change(TObject*)
{
    int64_t from, to, size;
    if (!BeginChange(from, to, size))
        return;
    SetEditText(sEdit3, RawRangeSizeMB(from, to, PacketSize, false));
    sBitBtn1->SetEnabled(to >= from);
}

void TRawCutterForm::sEdit3Change(TObject*)
{
    int64_t from, to, size;
    if (!BeginChange(from, to, size))
        return;
    to = RawToFromSize(size, from, PacketSize);
    SetEditText(sEdit2, to);
    sBitBtn1->SetEnabled(to >= from);
}

void TRawCutterForm::Run(const std::string& fileName)
{
    sEdit4->SetText(fileName);
    PacketSize = 188;
    German = LanguageIsGerman();
    SetRawCutterTexts();
    const TStreamProbe probe = ProbeStreamFile(fileName);
    bool skip = false;
    if (probe.Found && probe.GarbageOffset > 0)
        skip = MessageDlg(GarbageLine1 + "\r" + GarbageLine2, mtConfirmation, mbYesNo) == mrYes;
    const TRawCutSetup setup = RawCutSetup(probe.PacketSize, probe.GarbageOffset, probe.FileSize, skip);
    PacketSize = setup.PacketSize;
    PacketCount = setup.PacketCount;
    updating_ = true;
    sSpinEdit1->SetMaxValue(PacketSize - 1);
    sSpinEdit1->SetValue(setup.Offset);
    sLabelFX1->SetCaption("Paket size: " + IntToStr(PacketSize) + " Byte");
    sEdit1->SetText(IntToStr(setup.From));
    sEdit2->SetText(IntToStr(setup.To));
    sEdit3->SetText(IntToStr(setup.SizeMB));
    updating_ = false;
    sBitBtn1->SetEnabled(setup.To >= setup.From);
    if (ShowModal() != mrOk)
        return;

    // The save dialog every tool's new recording is named in.
    skin::TsSaveDialog save(nullptr);
    save.SetTitle("Select filename for new stream");
    save.SetFilter("TransportStream(*.ts)|*.ts");
    save.SetFileName(RawCutterOutputName(fileName));
    save.SetOptions(ofHideReadOnly | ofEnableSizing);
    if (!save.Execute())
        return;
    // An existing file is replaced only after a question; the recording
    // itself is refused by the copy, not asked about.
    if (!SameFilePath(fileName, save.FileName()) && FileExists(save.FileName()) &&
        MessageDlg(ReplaceFileQuestion(save.FileName(), LanguageIsGerman()), mtConfirmation, mbYesNo) != mrYes)
        return;
    int64_t from = 0, to = 0;
    try {
        from = StrToInt64(sEdit1->Text());
        to = StrToInt64(sEdit2->Text());
    } catch (const Exception& e) {
        // OK is off while a box cannot be read; should one get here all the
        // same, the user hears why nothing was cut.
        ToolMessage("ERROR", e.Message(), mtError);
        return;
    }
    if (to < from)
        return;
    const TRawRange range = RawCutRange(from, to, PacketSize, sSpinEdit1->Value());
    CopyRange(fileName, save.FileName(), range.Start, range.End);
}

void TRawCutterForm::CopyRange(const std::string& input, const std::string& output, int64_t start, int64_t end)
{
    // The progress window names the copy while it runs and gives its
    // caption back to the other passes afterwards, however the copy ends.
    struct TCaptionScope {
        TCaptionScope() { if (Form2) Form2->SetTaskCaption("Raw packet copy"); }
        ~TCaptionScope() { if (Form2) Form2->SetTaskCaption(""); }
    } caption;
    if (Form2)
        Form2->ShowCancelButton(true);
    Application->ProcessMessages();
    auto progress = [](int64_t total, int64_t done) {
        if (Form2) {
            if (!Form2->Visible())
                Form2->Show();
            Form2->sGauge1->SetProgress(total > 0 ? static_cast<int>(done * 100 / total) : 0);
        }
        Application->ProcessMessages();
        if (Form2 && Form2->CancelFlag) {
            if (MessageDlg(MainMessage(mmAbortQuestion), mtConfirmation, mbYesNo) == mrYes)
                return false;
            Form2->CancelFlag = false;
        }
        return true;
    };
    const TRawCopyReport r = RawCopyFile(input, output, start, end, progress, nullptr, PacketSize);
    if (Form2) {
        Form2->Hide();
        Form2->ShowCancelButton(false);
    }
    switch (r.Result) {
    case TRawCopyResult::Failed: {
        // What reached the output stays there; the user must know it is
        // not the whole range.
        std::string text = RawText(rtFailed, German) + "\r" + r.Error;
        if (FileExists(output))
            text += "\r" + RawText(rtIncomplete, German) + output;
        ToolMessage("ERROR", text, mtError);
        break;
    }
    case TRawCopyResult::Refused:
        ToolMessage("WARNING", RawText(rtRefused, German) + "\r" + r.Error, mtWarning);
        return;
    case TRawCopyResult::Done:
        if (r.Shortened)
            MessageDlg(RawText(rtShortened, German), mtInformation, mbOK);
        break;
    case TRawCopyResult::Cancelled:
        break;
    }
    PlayNotificationSound("DONE");
}

} // namespace tw
