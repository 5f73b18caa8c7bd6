#include "tools/PacketEditorForm.h"

#include <algorithm>

#include "analysis/SettingsStore.h"
#include "base/SysUtils.h"
#include "tools/ToolControls.h"
#include "tools/ToolForms.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"
#include "ui/Dialogs.h"

namespace tw {

namespace {

// The window's messages by language: key, German, English. Its captions
// are English in both languages.
const TToolText kEditorTexts[] = {
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

skin::TsBitBtn* TPacketEditorForm::Button(const char* name, const char* caption, int left, int top, int width,
                                          std::function<void()> run, bool repeat) {
    auto* b = Place<skin::TsBitBtn>(this, this, name, left, top, width, 26, caption);
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

    sHeaderControl1 = new skin::TsHeaderControl(this);
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

    // Everything below the packet's bytes, in rows as the user works down:
    // where in the file, how to move, what the packet holds. Nothing sits
    // beside the grid, so the window stays inside a 1024x768 screen.
    const int hexBottom = TSHexEditor1->Top() + TSHexEditor1->Height();
    const int placeTop = hexBottom + 10;   // packet number and offset
    const int stepTop = placeTop + 32;     // stepping, write and discard
    const int searchTop = stepTop + 32;    // the searches
    const int fieldsTop = searchTop + 40;  // the decoded fields
    constexpr int kFieldsEdit = 183;       // left edge of the header boxes (their captions left of it)
    constexpr int kAfLeft = kFieldsEdit + 130, kAfWidth = 190;
    constexpr int kPesLeft = kAfLeft + kAfWidth + 10, kPesWidth = 180;
    const int clientWidth = std::max(TSHexEditor1->Left() + hexWidth, kPesLeft + kPesWidth) + 8;
    // Captions beside the boxes are the boxes' bound labels.
    auto edit = [this](const char* name, const char* caption, int x, int y, int w, TWinControl* parent = nullptr) {
        auto* e = PlaceBound<skin::TsEdit>(this, parent ? parent : this, name, x, y, w, 22, caption);
        e->SetReadOnly(true);
        return e;
    };
    auto check = [this](const char* name, const char* caption, int x, int y, TWinControl* parent = nullptr) {
        return Place<skin::TsCheckBox>(this, parent ? parent : this, name, x, y, 170, 20, caption);
    };
    sEdit1 = edit("sEdit1", "Packet number", 100, placeTop, 100);
    sEdit1->SetReadOnly(false);
    sEdit1->OnKeyDown = [this](TObject*, WORD& key, TShiftState) {
        if (key == VK_RETURN) {
            key = 0;
            PacketNumberEntered();
        }
    };
    sEdit1->OnExit = [this](TObject*) { PacketNumberEntered(); };
    sSpinEdit1 = PlaceBound<skin::TsSpinEdit>(this, this, "sSpinEdit1", 270, placeTop, 70, 22, "Offset");
    sSpinEdit1->SetMinValue(0);
    sSpinEdit1->SetMaxValue(191);
    sSpinEdit1->OnChange = [this](TObject*) { OffsetChanged(); };
    sLabelFX1 = Place<skin::TsLabelFX>(this, this, "sLabelFX1", 350, placeTop + 3, 60, 16, "M2TS");
    sLabelFX1->SetVisible(false);
    sEdit2 = edit("sEdit2", "PID", kFieldsEdit, fieldsTop, 100);
    sEdit3 = edit("sEdit3", "Transport Scrambling Control", kFieldsEdit, fieldsTop + 26, 120);
    sEdit4 = edit("sEdit4", "Adaptation Field Control", kFieldsEdit, fieldsTop + 52, 120);
    sEdit5 = edit("sEdit5", "Continuity Counter", kFieldsEdit, fieldsTop + 78, 50);
    sCheckBox1 = check("sCheckBox1", "Transport Error Indicator", 8, fieldsTop + 106);
    sCheckBox2 = check("sCheckBox2", "Payload Unit Start Indicator", 8, fieldsTop + 126);
    sCheckBox3 = check("sCheckBox3", "Transport Priority", 8, fieldsTop + 146);
    for (TCheckBox* c : {sCheckBox1, sCheckBox2, sCheckBox3}) c->SetEnabled(false);
    ErrorLabel = Place<skin::TsLabel>(this, this, "ErrorLabel", kFieldsEdit + 58, fieldsTop + 81, 60, 16, "ERROR");
    // Red on any skin: the one warning of the window.
    ErrorLabel->SetUseSkinColor(false);
    ErrorLabel->Font().SetColor(clRed);
    ErrorLabel->Font().SetStyle(fsBold);
    ErrorLabel->SetShowHint(true);
    ErrorLabel->SetVisible(false);

    sPanelAF = Place<skin::TsGroupBox>(this, this, "sPanelAF", kAfLeft, fieldsTop - 8, kAfWidth, 166, "Adaptation Field");
    sCheckBox4 = check("sCheckBox4", "Discontinuity Indicator", 8, 20, sPanelAF);
    sCheckBox5 = check("sCheckBox5", "Random Access Indicator", 8, 40, sPanelAF);
    sCheckBox6 = check("sCheckBox6", "ES Priority Indicator", 8, 60, sPanelAF);
    sEdit6 = edit("sEdit6", "PCR", 56, 84, 120, sPanelAF);
    sEdit6->SetShowHint(true);
    sEdit7 = edit("sEdit7", "OPCR", 56, 110, 120, sPanelAF);
    sEdit8 = edit("sEdit8", "Length", 56, 136, 50, sPanelAF);

    sPanelPES = Place<skin::TsGroupBox>(this, this, "sPanelPES", kPesLeft, fieldsTop - 8, kPesWidth, 110, "PES Timer");
    sEdit10 = edit("sEdit10", "PTS", 56, 22, 110, sPanelPES);
    sEdit11 = edit("sEdit11", "DTS", 56, 50, 110, sPanelPES);
    sEdit12 = edit("sEdit12", "ESCR", 56, 78, 110, sPanelPES);

    const int by = stepTop;
    sBitBtn14 = Button("sBitBtn14", "|<", 8, by, 36, [this] {
        if (!ConfirmWriteChanged()) return;
        Raw_TSPacketReader->First();
        ShowPacket();
    });
    sBitBtn6 = Button("sBitBtn6", "<<-", 48, by, 40, [this] { Step(-10); }, true);
    sBitBtn2 = Button("sBitBtn2", "<-", 92, by, 40, [this] { Step(-1); }, true);
    sBitBtn3 = Button("sBitBtn3", "->", 136, by, 40, [this] { Step(1); }, true);
    sBitBtn7 = Button("sBitBtn7", "->>", 180, by, 40, [this] { Step(10); }, true);
    sBitBtn15 = Button("sBitBtn15", ">|", 224, by, 36, [this] {
        if (!ConfirmWriteChanged()) return;
        Raw_TSPacketReader->Last();
        ShowPacket();
    });
    // The backward and forward searches of a pair share their caption; the
    // arrow beside it says which way each one goes.
    struct TSearchButton {
        skin::TsBitBtn*& button;
        const char* name;
        const char* caption;
        TPacketSearch kind;
        bool forward;
    };
    const TSearchButton searches[] = {
        {sBitBtn9, "sBitBtn9", "Payl.", psPayloadStart, false}, {sBitBtn8, "sBitBtn8", "Payl.", psPayloadStart, true},
        {sBitBtn11, "sBitBtn11", "PCR", psPcr, false},           {sBitBtn10, "sBitBtn10", "PCR", psPcr, true},
        {sBitBtn13, "sBitBtn13", "Error", psError, false},       {sBitBtn12, "sBitBtn12", "Error", psError, true},
    };
    int sx = 8;
    for (const TSearchButton& sb : searches) {
        const TPacketSearch kind = sb.kind;
        const bool forward = sb.forward;
        sb.button = Button(sb.name, sb.caption, sx, searchTop, 68, [this, kind, forward] { Search(kind, forward); });
        SetButtonPicture(sb.button, forward ? "SEARCHNEXT" : "SEARCHBACK", forward ? blGlyphRight : blGlyphLeft);
        sx += forward ? 76 : 70;
    }
    sBitBtn16 = Button("sBitBtn16", "Sync", sx, searchTop, 56, [this] { SearchSync(); });
    // Write and discard wear pictures, no captions.
    sBitBtn4 = Button("sBitBtn4", "", 280, by, 40, [this] {
        if (Ask(Msg("@askWrite", German), mtConfirmation, mbYes | mbNo) == mrYes) WritePacket();
    });
    sBitBtn5 = Button("sBitBtn5", "", 324, by, 40, [this] { ShowPacket(); });
    SetButtonPicture(sBitBtn4, "WRITEPACKET", blGlyphLeft);
    SetButtonPicture(sBitBtn5, "DISCARDPACKET", blGlyphLeft);
    sBitBtn4->SetEnabled(false);
    sBitBtn5->SetEnabled(false);
    // Closing asks about unwritten changes in the close query, however the
    // window is closed; Escape closes as the button does.
    sBitBtn1 = Button("sBitBtn1", "OK", clientWidth - 8 - 80, fieldsTop + 128, 80, [this] { SetModalResult(mrOk); });
    sBitBtn1->SetCancel(true);
    OnCloseQuery = [this](TObject*, bool& canClose) { canClose = ConfirmWriteChanged(); };

    sStatusBar1 = new skin::TsStatusBar(this);
    sStatusBar1->SetName("sStatusBar1");
    sStatusBar1->SetParent(this);
    sStatusBar1->SetAlign(alBottom);
    sStatusBar1->SetSimplePanel(true);
    SetClientSize(clientWidth, fieldsTop + 166 + 8 + sStatusBar1->Height());

    AutoIncTimer = new TThreadedTimer(this);
    AutoIncTimer->SetName("AutoIncTimer");
    AutoIncTimer->SetInterval(100);
    AutoIncTimer->OnTimer = [this](TObject*) { AutoIncTimerTimer(); };

    OnShow = [this](TObject* s) { FormShow(s); };
    LoadTree();
    SetOffsetHeader(false);
    JoinToolForm(this);
}

void TPacketEditorForm::SetLanguage(bool german) {
    German = german;
    NotFoundText = Msg("@notFound", german);
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
        Ask(Msg("@noPackets", German) + r.FileName(), mtError, mbOK);
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
        // Short because the file could not give the packet: the user hears
        // the file and the reason, not a size fault of the packet.
        const std::string& why = Raw_TSPacketReader->ReadErrorText();
        Tell(why.empty() ? std::string(kSizeError) : why);
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
    // Each time's caption is lit only where its box has a time.
    for (auto [box, text] : {std::pair{sEdit10, &f.Pts}, std::pair{sEdit11, &f.Dts}, std::pair{sEdit12, &f.Escr}}) {
        box->SetText(*text);
        if (skin::TsBoundLabel* bound = BoundLabelOf(box))
            if (TLabel* label = bound->Label()) label->SetEnabled(!text->empty());
    }
}

bool TPacketEditorForm::ConfirmWriteChanged() {
    if (!TSHexEditor1->Modified()) return true;
    if (Ask(Msg("@askChanged", German), mtConfirmation, mbYes | mbNo) != mrYes) return true;
    return WritePacket();
}

bool TPacketEditorForm::WritePacket() {
    TTSPacketBuffer bytes;
    TSHexEditor1->GetPacketBuffer(bytes);
    if (bytes.Length != Raw_TSPacketReader->PacketSize()) {
        Tell(kSizeError);
        return false;
    }
    std::string error;
    if (!WritePacketBack(*Raw_TSPacketReader, bytes, error)) {
        // The file is unchanged or its state unknown: the user must know,
        // and the edits stay in the grid to be written again or discarded.
        Ask(Msg("@writeFailed", German) + error, mtError, mbOK);
        return false;
    }
    ShowPacket();
    return true;
}

void TPacketEditorForm::Step(int delta) {
    TTSPacketReader& r = *Raw_TSPacketReader;
    if (!r.Active() || !CanStep(r.PacketIndex(), r.PacketCount(), delta)) return;
    if (!ConfirmWriteChanged()) return;
    if (delta == 1) r.Next();
    else if (delta == -1) r.Previous();
    else r.SetPacketIndex(r.PacketIndex() + delta);
    ShowPacket();
}

void TPacketEditorForm::Search(TPacketSearch kind, bool forward) {
    if (!ConfirmWriteChanged()) return;
    bool readFailed = false;
    if (!SearchPacket(*Raw_TSPacketReader, kind, forward, &readFailed))
        Tell(readFailed ? Raw_TSPacketReader->ReadErrorText() : NotFoundText);
    ShowPacket();
}

void TPacketEditorForm::SearchSync() {
    // The selection as it stands before any question reloads the grid.
    const int from = TSHexEditor1->SelCount() > 0 ? static_cast<int>(TSHexEditor1->SelStart()) + 1 : 0;
    if (!ConfirmWriteChanged()) return;
    int byte = 0;
    bool readFailed = false;
    if (!SearchSyncByte(*Raw_TSPacketReader, from, byte, &readFailed)) {
        Tell(readFailed ? Raw_TSPacketReader->ReadErrorText() : NotFoundText);
        ShowPacket();
        return;
    }
    ShowPacket();
    TSHexEditor1->Model().SetCaret(byte, false, 0);
    TSHexEditor1->SetSelStart(byte);
}

void TPacketEditorForm::PacketNumberEntered() {
    // The box also loses the focus when the window closes: the close has
    // asked about the edits already.
    if (!Visible() || ModalResult() != mrNone) return;
    TTSPacketReader& r = *Raw_TSPacketReader;
    // Read before the question: writing the packet refills the box.
    const std::string text = Trim(sEdit1->Text());
    int64_t n = 0;
    const bool number = !text.empty() && TryStrToInt64(text, n);
    // Every way out of the box shows a packet again (the chosen one, or the
    // current one for an empty box, a text that is no number or a number
    // out of range): unwritten edits are offered for writing first.
    if (!ConfirmWriteChanged()) return;
    if (number) {
        if (text[0] == '$') HexNumbers = true;
        if (n >= 0 && n < r.PacketCount()) r.SetPacketIndex(n);
    }
    ShowPacket();
}

void TPacketEditorForm::OffsetChanged() {
    TTSPacketReader& r = *Raw_TSPacketReader;
    const int v = sSpinEdit1->Value();
    if (!r.Active() || v == r.GarbageOffset()) return;
    // The edits belong to the packet at the old alignment: written (when
    // the user wants) before the grid moves.
    if (!ConfirmWriteChanged()) {
        sSpinEdit1->SetValue(r.GarbageOffset());
        return;
    }
    // The same packet read again at the new alignment; where it would run
    // past the end of the file, the last whole packet there.
    const int64_t index = r.PacketIndex();
    r.SetGarbageOffset(v);
    const int64_t whole = (r.FileSize() - v) / r.WorkingPacketSize();
    r.SetPacketIndex(std::clamp<int64_t>(index, 0, std::max<int64_t>(whole - 1, 0)));
    ShowPacket();
}

int TPacketEditorForm::Ask(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    // A box takes the mouse: a step button held when it opens never sees
    // its release, and its repeat would go on stepping behind the answer.
    StopAutoRepeat();
    return MessageDlg(text, type, buttons);
}

void TPacketEditorForm::Tell(const std::string& text) {
    StopAutoRepeat();
    ShowMessage(text);
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
