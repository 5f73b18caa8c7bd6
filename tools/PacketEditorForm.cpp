#include "tools/PacketEditorForm.h"

#include <algorithm>

#include "app/engine/SettingsStore.h"
#include "base/SysUtils.h"
#include "tools/ToolControls.h"
#include "tools/ToolForms.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"
#include "ui/Dialogs.h"

namespace tw {

namespace {

// The window's texts: control name, German, English. Entries whose name
// starts with "@" are messages.
const TToolText kEditorTexts[] = {
    {"", "TS Packet Editor", "TS Packet Editor"},
    {"LabelNumber", "Paketnummer", "Packet number"},
    {"LabelOffset", "Offset", "Offset"},
    {"LabelPid", "PID", "PID"},
    {"LabelScrambling", "Transport Scrambling Control", "Transport Scrambling Control"},
    {"LabelAfc", "Adaptation Field Control", "Adaptation Field Control"},
    {"LabelCc", "Continuity Counter", "Continuity Counter"},
    {"sCheckBox1", "Transport Error Indicator", "Transport Error Indicator"},
    {"sCheckBox2", "Payload Unit Start Indicator", "Payload Unit Start Indicator"},
    {"sCheckBox3", "Transport Priority", "Transport Priority"},
    {"sPanelAF", "Adaptation Field", "Adaptation Field"},
    {"sCheckBox4", "Discontinuity Indicator", "Discontinuity Indicator"},
    {"sCheckBox5", "Random Access Indicator", "Random Access Indicator"},
    {"sCheckBox6", "ES Priority Indicator", "ES Priority Indicator"},
    {"LabelPcr", "PCR", "PCR"},
    {"LabelOpcr", "OPCR", "OPCR"},
    {"LabelLength", "Length", "Length"},
    {"sPanelPES", "PES Timer", "PES Timer"},
    {"LabelPts", "PTS", "PTS"},
    {"LabelDts", "DTS", "DTS"},
    {"LabelEscr", "ESCR", "ESCR"},
    {"@notFound", "Nicht gefunden", "Not found"},
    {"@askChanged", "Packet wurde verändert!\rGeändertes Packet schreiben?",
     "The packet was changed!\rWrite the changed packet?"},
    {"@askWrite", "Geändertes Packet schreiben?", "Write the changed packet?"},
    {"@writeFailed", "Das Packet konnte nicht geschrieben werden:\r", "The packet could not be written:\r"},
    {"@noPackets", "Keine Transportstream-Pakete in ", "No transport stream packets in "},
};

const char kSizeError[] = "Packet size error!";

std::string Msg(const char* key, bool german) { return ToolText(kEditorTexts, key, german); }

} // namespace

TBitBtn* TPacketEditorForm::Button(const char* name, const char* caption, int left, int top, int width,
                                   std::function<void()> run, bool repeat) {
    auto* b = Place<TBitBtn>(this, this, name, left, top, width, 26, caption);
    b->OnClick = [run](TObject*) { run(); };
    if (repeat) {
        b->OnMouseDown = [this, b](TObject*, TMouseButton mb, TShiftState, int, int) {
            if (mb == mbLeft) StartAutoRepeat(b);
        };
        b->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { StopAutoRepeat(); };
    }
    return b;
}

TPacketEditorForm::TPacketEditorForm(TComponent* owner) : TForm(owner) {
    SetName("PacketEditorForm");
    SetCaption("TS Packet Editor");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);

    // The window's own reader, unbuffered: after a write-back the packet is
    // read again from the file, never from a stale read-ahead buffer.
    Raw_TSPacketReader = new TTSPacketReader(this);
    Raw_TSPacketReader->SetName("Raw_TSPacketReader");
    Raw_TSPacketReader->SetPacketBufferSize(0);
    // Packets are shown where the chosen offset puts them: a raw view that
    // moved its grid by itself would show (and write) other bytes than the
    // user aligned it to.
    Raw_TSPacketReader->SetAutoResync(false);

    sHeaderControl1 = new THeaderControl(this);
    sHeaderControl1->SetName("sHeaderControl1");
    sHeaderControl1->SetParent(this);
    sHeaderControl1->SetAlign(alNone);
    TSHexEditor1 = new TTSHexEditor(this);
    TSHexEditor1->SetName("TSHexEditor1");
    TSHexEditor1->SetParent(this);
    TSHexEditor1->SetBytesPerLine(16);
    TSHexEditor1->SetBytesPerColumn(1);
    TSHexEditor1->SetOffsetDisplay(odDec);
    TSHexEditor1->SetTranslation(ttAnsi);
    TSHexEditor1->SetOffsetSeparator(':');
    TSHexEditor1->Colors().SetPositionText(clWhite);
    TSHexEditor1->Colors().SetChangedText(clMaroon);
    TSHexEditor1->Colors().SetOffset(clBlack);
    // Edits keep the packet size: no insert mode.
    TSHexEditor1->Model().SetNoSizeChange(true);
    // Laid out for a packet: the offset column's width follows the data size.
    const std::vector<uint8_t> packet(TS_PACKET_SIZE, 0);
    TSHexEditor1->Model().Load(packet.data(), packet.size());
    const int hexWidth = TSHexEditor1->ColumnLeft(TSHexEditor1->Model().ColCount()) + 4;
    TSHexEditor1->SetBounds(8, 30, hexWidth, TSHexEditor1->RowHeight() * 12 + 4);
    sHeaderControl1->SetBounds(8, 8, hexWidth, 22);
    TSHexEditor1->OnStateChanged = [this](TObject*) {
        const bool m = TSHexEditor1->Modified();
        sBitBtn4->SetEnabled(m);
        sBitBtn5->SetEnabled(m);
        ParseEditedPacket();
    };
    sHeaderControl1->OnSectionClick = [this](TObject*, int) { SetOffsetHeader(!hexHeader_); };

    const int rx = hexWidth + 20;
    SetClientSize(rx + 400, std::max(30 + TSHexEditor1->RowHeight() * 12 + 110, 430));
    auto label = [this](const char* name, const char* caption, int x, int y, TWinControl* parent = nullptr) {
        return Place<TLabel>(this, parent ? parent : this, name, x, y + 3, 170, 16, caption);
    };
    auto edit = [this](const char* name, int x, int y, int w, TWinControl* parent = nullptr) {
        auto* e = Place<TEdit>(this, parent ? parent : this, name, x, y, w, 22);
        e->SetReadOnly(true);
        return e;
    };
    auto check = [this](const char* name, const char* caption, int x, int y, TWinControl* parent = nullptr) {
        return Place<TCheckBox>(this, parent ? parent : this, name, x, y, 200, 20, caption);
    };
    label("LabelNumber", "Packet number", rx, 8);
    sEdit1 = edit("sEdit1", rx + 175, 8, 100);
    sEdit1->SetReadOnly(false);
    sEdit1->OnKeyDown = [this](TObject*, WORD& key, TShiftState) {
        if (key == VK_RETURN) {
            key = 0;
            PacketNumberEntered();
        }
    };
    sEdit1->OnExit = [this](TObject*) { PacketNumberEntered(); };
    label("LabelOffset", "Offset", rx, 34);
    sSpinEdit1 = new TSpinEdit(this);
    sSpinEdit1->SetName("sSpinEdit1");
    sSpinEdit1->SetParent(this);
    sSpinEdit1->SetBounds(rx + 175, 34, 70, 22);
    sSpinEdit1->SetMinValue(0);
    sSpinEdit1->SetMaxValue(191);
    sSpinEdit1->OnChange = [this](TObject*) { OffsetChanged(); };
    sLabelFX1 = label("sLabelFX1", "M2TS", rx + 255, 34);
    sLabelFX1->SetVisible(false);
    label("LabelPid", "PID", rx, 64);
    sEdit2 = edit("sEdit2", rx + 175, 64, 100);
    label("LabelScrambling", "Transport Scrambling Control", rx, 90);
    sEdit3 = edit("sEdit3", rx + 175, 90, 120);
    label("LabelAfc", "Adaptation Field Control", rx, 116);
    sEdit4 = edit("sEdit4", rx + 175, 116, 120);
    label("LabelCc", "Continuity Counter", rx, 142);
    sEdit5 = edit("sEdit5", rx + 175, 142, 50);
    sCheckBox1 = check("sCheckBox1", "Transport Error Indicator", rx, 168);
    sCheckBox2 = check("sCheckBox2", "Payload Unit Start Indicator", rx, 188);
    sCheckBox3 = check("sCheckBox3", "Transport Priority", rx, 208);
    for (TCheckBox* c : {sCheckBox1, sCheckBox2, sCheckBox3}) c->SetEnabled(false);
    ErrorLabel = label("ErrorLabel", "ERROR", rx + 230, 168);
    ErrorLabel->Font().SetColor(clRed);
    ErrorLabel->SetShowHint(true);
    ErrorLabel->SetVisible(false);

    sPanelAF = new TGroupBox(this);
    sPanelAF->SetName("sPanelAF");
    sPanelAF->SetParent(this);
    sPanelAF->SetCaption("Adaptation Field");
    sPanelAF->SetBounds(rx, 232, 190, 150);
    sCheckBox4 = check("sCheckBox4", "Discontinuity Indicator", 8, 18, sPanelAF);
    sCheckBox5 = check("sCheckBox5", "Random Access Indicator", 8, 38, sPanelAF);
    sCheckBox6 = check("sCheckBox6", "ES Priority Indicator", 8, 58, sPanelAF);
    label("LabelPcr", "PCR", 8, 80, sPanelAF)->SetWidth(40);
    sEdit6 = edit("sEdit6", 52, 80, 120, sPanelAF);
    sEdit6->SetShowHint(true);
    label("LabelOpcr", "OPCR", 8, 104, sPanelAF)->SetWidth(40);
    sEdit7 = edit("sEdit7", 52, 104, 120, sPanelAF);
    label("LabelLength", "Length", 8, 128, sPanelAF)->SetWidth(40);
    sEdit8 = edit("sEdit8", 52, 124, 50, sPanelAF);

    sPanelPES = new TGroupBox(this);
    sPanelPES->SetName("sPanelPES");
    sPanelPES->SetParent(this);
    sPanelPES->SetCaption("PES Timer");
    sPanelPES->SetBounds(rx + 200, 232, 180, 110);
    label("LabelPts", "PTS", 8, 20, sPanelPES)->SetWidth(40);
    sEdit10 = edit("sEdit10", 52, 20, 110, sPanelPES);
    label("LabelDts", "DTS", 8, 48, sPanelPES)->SetWidth(40);
    sEdit11 = edit("sEdit11", 52, 48, 110, sPanelPES);
    label("LabelEscr", "ESCR", 8, 76, sPanelPES)->SetWidth(40);
    sEdit12 = edit("sEdit12", 52, 76, 110, sPanelPES);

    const int by = 30 + TSHexEditor1->RowHeight() * 12 + 14;
    sBitBtn14 = Button("sBitBtn14", "|<", 8, by, 36, [this] {
        ConfirmWriteChanged();
        Raw_TSPacketReader->First();
        ShowPacket();
    });
    sBitBtn6 = Button("sBitBtn6", "<<-", 48, by, 40, [this] { Step(-10); }, true);
    sBitBtn2 = Button("sBitBtn2", "<-", 92, by, 40, [this] { Step(-1); }, true);
    sBitBtn3 = Button("sBitBtn3", "->", 136, by, 40, [this] { Step(1); }, true);
    sBitBtn7 = Button("sBitBtn7", "->>", 180, by, 40, [this] { Step(10); }, true);
    sBitBtn15 = Button("sBitBtn15", ">|", 224, by, 36, [this] {
        ConfirmWriteChanged();
        Raw_TSPacketReader->Last();
        ShowPacket();
    });
    sBitBtn9 = Button("sBitBtn9", "Payl.", 8, by + 32, 50, [this] { Search(psPayloadStart, false); });
    sBitBtn8 = Button("sBitBtn8", "Payl.", 62, by + 32, 50, [this] { Search(psPayloadStart, true); });
    sBitBtn11 = Button("sBitBtn11", "PCR", 120, by + 32, 50, [this] { Search(psPcr, false); });
    sBitBtn10 = Button("sBitBtn10", "PCR", 174, by + 32, 50, [this] { Search(psPcr, true); });
    sBitBtn13 = Button("sBitBtn13", "Error", 232, by + 32, 50, [this] { Search(psError, false); });
    sBitBtn12 = Button("sBitBtn12", "Error", 286, by + 32, 50, [this] { Search(psError, true); });
    sBitBtn16 = Button("sBitBtn16", "Sync", 344, by + 32, 50, [this] { SearchSync(); });
    sBitBtn4 = Button("sBitBtn4", "Write", 280, by, 60, [this] {
        if (MessageDlg(Msg("@askWrite", German), mtConfirmation, mbYes | mbNo) == mrYes) WritePacket();
    });
    sBitBtn5 = Button("sBitBtn5", "Undo", 344, by, 60, [this] { ShowPacket(); });
    sBitBtn4->SetEnabled(false);
    sBitBtn5->SetEnabled(false);
    sBitBtn1 = Button("sBitBtn1", "OK", rx + 290, by + 32, 80, [this] {
        ConfirmWriteChanged();
        SetModalResult(mrOk);
    });

    sStatusBar1 = new TStatusBar(this);
    sStatusBar1->SetName("sStatusBar1");
    sStatusBar1->SetParent(this);
    sStatusBar1->SetAlign(alBottom);
    sStatusBar1->SetSimplePanel(true);

    AutoIncTimer = new TThreadedTimer(this);
    AutoIncTimer->SetName("AutoIncTimer");
    AutoIncTimer->SetInterval(100);
    AutoIncTimer->OnTimer = [this](TObject*) { AutoIncTimerTimer(); };

    OnShow = [this](TObject* s) { FormShow(s); };
    LoadTree();
    SetOffsetHeader(false);
}

void TPacketEditorForm::SetLanguage(bool german) {
    German = german;
    NotFoundText = Msg("@notFound", german);
    ApplyToolTexts(*this, kEditorTexts, german);
}

void TPacketEditorForm::SetOffsetHeader(bool hex) {
    hexHeader_ = hex;
    // The first section over the offsets, then one per byte column.
    if (sHeaderControl1->SectionCount() == 0) {
        sHeaderControl1->AddSection("", TSHexEditor1->ColumnLeft(2));
        for (int i = 0; i < 16; ++i)
            sHeaderControl1->AddSection("", TSHexEditor1->ColumnLeft(2 + 2 * (i + 1)) - TSHexEditor1->ColumnLeft(2 + 2 * i));
    }
    sHeaderControl1->Sections(0).Text = hex ? "Hex." : "Dec.";
    for (int i = 0; i < 16; ++i) sHeaderControl1->Sections(i + 1).Text = hex ? IntToHex(i, 1) : std::to_string(i);
    sHeaderControl1->UpdateSections();
    TSHexEditor1->SetOffsetDisplay(hex ? odHex : odDec);
}

void TPacketEditorForm::FormShow(TObject*) {
    TTSPacketReader& r = *Raw_TSPacketReader;
    r.SetActive(true);
    if (!r.Active() || r.PacketCount() == 0) {
        // Nothing to show or edit: say so instead of an empty editor.
        MessageDlg(Msg("@noPackets", German) + r.FileName(), mtError, mbOK);
        SetModalResult(mrCancel);
        ToolFormShown(*this);
        return;
    }
    if (!r.TSPacketHeader()->Valid()) {
        r.FindFirstPacket();
        sSpinEdit1->SetValue(r.GarbageOffset());
    }
    sLabelFX1->SetVisible(r.M2TSMode());
    sStatusBar1->SetSimpleText(ExtractFileName(r.FileName()));
    ShowPacket();
    ToolFormShown(*this);
}

void TPacketEditorForm::ShowPacket() {
    TTSPacketReader& r = *Raw_TSPacketReader;
    const int64_t i = r.PacketIndex();
    sEdit1->SetText(HexNumbers ? DollarHex(i, 8) : std::to_string(i));
    TSHexEditor1->LoadPacketBuffer(r.RawPacket());
    // The decoded fields follow at once (the editor's event repeats it
    // from the message queue).
    ParseEditedPacket();
}

void TPacketEditorForm::ParseEditedPacket() {
    TTSPacketBuffer bytes;
    TSHexEditor1->GetPacketBuffer(bytes);
    fields_ = DecodePacket(*Raw_TSPacketReader, bytes);
    if (!fields_.SizeOk) {
        ShowMessage(kSizeError);
        return;
    }
    ShowHeaderFields(fields_);
    ShowPesTimers(fields_);
}

void TPacketEditorForm::ShowHeaderFields(const TPacketFields& f) {
    sEdit2->SetText(f.Pid);
    sEdit3->SetText(f.Scrambling);
    sEdit4->SetText(f.Afc);
    sEdit5->SetText(f.Continuity);
    sCheckBox1->SetChecked(f.TransportError);
    sCheckBox2->SetChecked(f.PayloadStart);
    sCheckBox3->SetChecked(f.Priority);
    ErrorLabel->SetVisible(!f.Valid);
    ErrorLabel->SetHint(f.ErrorText);
    sPanelAF->SetEnabled(f.HasAdaptationField);
    for (TCheckBox* c : {sCheckBox4, sCheckBox5, sCheckBox6}) c->SetEnabled(f.HasAdaptationField);
    // The flags are shown as they stand in the field.
    sCheckBox4->SetChecked(f.Discontinuity);
    sCheckBox5->SetChecked(f.RandomAccess);
    sCheckBox6->SetChecked(f.EsPriority);
    sEdit8->SetText(f.HasAdaptationField ? f.AfLength : "");
    sEdit6->SetText(f.Pcr);
    sEdit6->SetHint(f.PcrHint);
    sEdit6->SetEnabled(!f.Pcr.empty());
    sEdit7->SetText(f.Opcr);
    sEdit7->SetEnabled(!f.Opcr.empty());
}

void TPacketEditorForm::ShowPesTimers(const TPacketFields& f) {
    sPanelPES->SetEnabled(f.HasPes);
    sEdit10->SetText(f.Pts);
    sEdit11->SetText(f.Dts);
    sEdit12->SetText(f.Escr);
}

void TPacketEditorForm::ConfirmWriteChanged() {
    if (!TSHexEditor1->Modified()) return;
    if (MessageDlg(Msg("@askChanged", German), mtConfirmation, mbYes | mbNo) == mrYes) WritePacket();
}

void TPacketEditorForm::WritePacket() {
    TTSPacketBuffer bytes;
    TSHexEditor1->GetPacketBuffer(bytes);
    if (bytes.Length != Raw_TSPacketReader->PacketSize()) {
        ShowMessage(kSizeError);
        return;
    }
    std::string error;
    if (!WritePacketBack(*Raw_TSPacketReader, bytes, error)) {
        // The file is unchanged or its state unknown: the user must know.
        MessageDlg(Msg("@writeFailed", German) + error, mtError, mbOK);
    }
    ShowPacket();
}

void TPacketEditorForm::Step(int delta) {
    TTSPacketReader& r = *Raw_TSPacketReader;
    if (!r.Active() || !CanStep(r.PacketIndex(), r.PacketCount(), delta)) return;
    ConfirmWriteChanged();
    if (delta == 1) r.Next();
    else if (delta == -1) r.Previous();
    else r.SetPacketIndex(r.PacketIndex() + delta);
    ShowPacket();
}

void TPacketEditorForm::Search(TPacketSearch kind, bool forward) {
    ConfirmWriteChanged();
    if (!SearchPacket(*Raw_TSPacketReader, kind, forward)) ShowMessage(NotFoundText);
    ShowPacket();
}

void TPacketEditorForm::SearchSync() {
    ConfirmWriteChanged();
    const int from = TSHexEditor1->SelCount() > 0 || TSHexEditor1->Model().CaretPos() > 0
                         ? static_cast<int>(TSHexEditor1->SelStart()) + 1
                         : 0;
    int byte = 0;
    if (!SearchSyncByte(*Raw_TSPacketReader, from, byte)) {
        ShowMessage(NotFoundText);
        ShowPacket();
        return;
    }
    ShowPacket();
    TSHexEditor1->Model().SetCaret(byte, false, 0);
    TSHexEditor1->SetSelStart(byte);
}

void TPacketEditorForm::PacketNumberEntered() {
    TTSPacketReader& r = *Raw_TSPacketReader;
    std::string text = Trim(sEdit1->Text());
    if (text.empty()) {
        ShowPacket();
        return;
    }
    int64_t n = 0;
    if (!TryStrToInt64(text, n)) return; // not a number: left as it is
    if (text[0] == '$') HexNumbers = true;
    if (n >= 0 && n < r.PacketCount() && n != r.PacketIndex()) {
        ConfirmWriteChanged();
        r.SetPacketIndex(n);
    }
    ShowPacket();
}

void TPacketEditorForm::OffsetChanged() {
    TTSPacketReader& r = *Raw_TSPacketReader;
    const int v = sSpinEdit1->Value();
    if (!r.Active() || v == r.GarbageOffset()) return;
    r.SetGarbageOffset(v);
    // Read the packet again at the new alignment.
    r.Next();
    r.Previous();
    ShowPacket();
}

void TPacketEditorForm::StartAutoRepeat(TBitBtn* button) {
    held_ = button;
    ticks_ = 0;
    AutoIncTimer->SetEnabled(true);
}

void TPacketEditorForm::StopAutoRepeat() {
    AutoIncTimer->SetEnabled(false);
    held_ = nullptr;
}

void TPacketEditorForm::AutoIncTimerTimer() {
    if (!held_) {
        AutoIncTimer->SetEnabled(false);
        return;
    }
    // The first four ticks only count: a click is not a hold.
    if (++ticks_ > 4) held_->Click();
}

} // namespace tw
