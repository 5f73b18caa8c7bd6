#include "tools/CutEditorForm.h"

#include <memory>

#include "analysis/AnalysisEngine.h"
#include "analysis/SettingsStore.h"
#include "analysis/ThdTimer.h"
#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "skin/engine/link/sCommonData.h"
#include "tools/OrvalinPlayer.h"
#include "tools/TimeLine.h"
#include "tools/ToolControls.h"
#include "tools/engine/CutEditorValues.h"
#include "ts/TSClock.h"
#include "ts/TSPacketReader.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

TTimeLineForm* TimeLineForm = nullptr;

namespace {
constexpr int kBarMax = 32767;
const char* const kTimeMask = "!90:00:00.000;1;_";
const char* const kZeroTime = "00:00:00.000";
constexpr int kMinWidth = 530, kMinHeight = 400;
constexpr int kTimeRowTop = 22;   // edits, copy buttons and the position in sPanel2
constexpr int kTransportTop = 18; // the transport buttons in sPanel3
} // namespace

TTimeLineForm::TTimeLineForm(TComponent* owner) : TForm(owner) {
    SetName("TimeLineForm");
    SetCaption("Schnitt");
    SetPosition(poMainFormCenter);
    SetBorderIcons(biSystemMenu | biMaximize);
    Constraints().MinWidth = kMinWidth;
    Constraints().MinHeight = kMinHeight;
    SetClientSize(640, 520);

    // Bottom up, so that the preview takes what is left.
    sPanel1 = Place<skin::TsPanel>(this, this, "sPanel1", 0, 0, 640, 40);
    sPanel1->SetAlign(alBottom);
    sPanel1->SetBevelOuter(bvNone);
    sBitBtn1 = PlaceButton(this, sPanel1, "sBitBtn1", 220, 8, "OK", mrOk);
    sBitBtn2 = PlaceButton(this, sPanel1, "sBitBtn2", 330, 8, "Cancel", mrCancel);

    // Times row: begin edit, current position, end edit; sPanel2Resize
    // places them around the centre.
    sPanel2 = Place<skin::TsPanel>(this, this, "sPanel2", 0, 0, 640, 56);
    sPanel2->SetAlign(alBottom);
    sPanel2->SetBevelOuter(bvNone);
    TimeLabel = Place<skin::TsPanel>(this, sPanel2, "TimeLabel", 270, kTimeRowTop, 100, 24, kZeroTime);
    TimeLabel->SetBevelOuter(bvLowered);
    sStickyLabel1 = Place<skin::TsStickyLabel>(this, sPanel2, "sStickyLabel1", 270, 2, 110, 14, "Aktuelle Position");
    sStickyLabel1->SetAttachTo(TimeLabel);
    sStickyLabel1->SetAlignTo(skin::saTop);
    sMaskEdit3 = Place<skin::TsMaskEdit>(this, sPanel2, "sMaskEdit3", 122, kTimeRowTop, 100, 24);
    sMaskEdit2 = Place<skin::TsMaskEdit>(this, sPanel2, "sMaskEdit2", 418, kTimeRowTop, 100, 24);
    for (auto [e, caption] : {std::pair{sMaskEdit3, "Anfangspunkt"}, std::pair{sMaskEdit2, "Endpunkt"}}) {
        e->SetEditMask(kTimeMask);
        e->SetMaxLength(12);
        e->BoundLabel().SetLayout(skin::sclTopLeft);
        e->BoundLabel().SetCaption(caption);
        e->BoundLabel().SetActive(true);
        TakeSkinFontColor(e->BoundLabel());
    }
    sBitBtn5 = PlaceButton(this, sPanel2, "sBitBtn5", 97, kTimeRowTop, "", mrNone);
    sBitBtn6 = PlaceButton(this, sPanel2, "sBitBtn6", 519, kTimeRowTop, "", mrNone);
    for (auto [b, picture] : {std::pair{sBitBtn5, "CUTBEGIN"}, std::pair{sBitBtn6, "CUTEND"}}) {
        b->SetBounds(b->Left(), kTimeRowTop, 24, 24);
        // Without its picture the button still says what it does.
        if (!SetButtonPicture(b, picture, blGlyphLeft)) b->SetCaption(b == sBitBtn5 ? ">" : "<");
    }

    // Transport row: the eight buttons around the centre (sPanel3Resize),
    // the speed box at the left and the volume bar at the right.
    sPanel3 = Place<skin::TsPanel>(this, this, "sPanel3", 0, 0, 640, 60);
    sPanel3->SetAlign(alBottom);
    sPanel3->SetBevelOuter(bvNone);
    sButton6 = Place<skin::TsButton>(this, sPanel3, "sButton6", 0, kTransportTop, 44, 26, "-10s");
    sButton5 = Place<skin::TsButton>(this, sPanel3, "sButton5", 0, kTransportTop, 44, 26, "-1s");
    sButton1 = Place<skin::TsButton>(this, sPanel3, "sButton1", 0, kTransportTop, 44, 26, "-1");
    sBitBtn4 = PlaceButton(this, sPanel3, "sBitBtn4", 0, kTransportTop, "", mrNone);
    sBitBtn3 = PlaceButton(this, sPanel3, "sBitBtn3", 0, kTransportTop, "", mrNone);
    sButton2 = Place<skin::TsButton>(this, sPanel3, "sButton2", 0, kTransportTop, 44, 26, "+1");
    sButton3 = Place<skin::TsButton>(this, sPanel3, "sButton3", 0, kTransportTop, 44, 26, "+1s");
    sButton4 = Place<skin::TsButton>(this, sPanel3, "sButton4", 0, kTransportTop, 44, 26, "+10s");
    for (auto [b, picture] : {std::pair{sBitBtn4, "PLAY"}, std::pair{sBitBtn3, "PAUSE"}}) {
        b->SetBounds(0, kTransportTop, 44, 26);
        if (!SetButtonPicture(b, picture, blGlyphLeft)) b->SetCaption(b == sBitBtn4 ? ">" : "||");
    }
    sComboBox1 = PlaceBound<skin::TsComboBox>(this, sPanel3, "sComboBox1", 6, 24, 56, 22, "Speed", skin::sclTopLeft);
    sComboBox1->SetStyle(csDropDownList);
    for (const char* s : {"0.25 x", "0.5 x", "1 x", "1.5 x", "2 x"}) sComboBox1->Items().Add(s);
    sTrackBar1 = Place<skin::TsTrackBar>(this, sPanel3, "sTrackBar1", 600, 0, 30, 42);
    sTrackBar1->SetOrientation(trVertical);
    sTrackBar1->SetMin(0);
    sTrackBar1->SetMax(100);
    sTrackBar1->SetHint("Volume");
    sTrackBar1->SetShowHint(true);
    sPanel4 = Place<skin::TsPanel>(this, sPanel3, "sPanel4", 590, 42, 50, 16, "Volume");
    sPanel4->SetBevelOuter(bvNone);

    sTimeLine1 = Place<TsTimeLine>(this, this, "sTimeLine1", 0, 0, 640, 50);
    sTimeLine1->SetAlign(alBottom);
    sTimeLine1->SkinData().SetSkinSection("GAUGE");
    sTimeLine1->SetSpaceH(25);
    sTimeLine1->SetSliceBarSkin("TIMELINEB");
    sTimeLine1->SetSliceBarBackSkin("TIMELINEBBG");
    sTimeLine1->SetForeColor(clBlack);

    sScrollBar1 = Place<skin::TsScrollBar>(this, this, "sScrollBar1", 0, 0, 640, 18);
    sScrollBar1->SetAlign(alBottom);
    sScrollBar1->SetParams(0, 0, kBarMax);
    sScrollBar1->SetSmallChange(327);
    sScrollBar1->SetLargeChange(3276);

    PopupMenu1 = new TPopupMenu(this);
    PopupMenu1->SetName("PopupMenu1");
    DirectShowPlayer1 = Place<TOrvalinPlayer>(this, this, "DirectShowPlayer1", 0, 0, 640, 300);
    DirectShowPlayer1->SetAlign(alClient);
    DirectShowPlayer1->SetColor(clBlack);
    DirectShowPlayer1->SetEmptyCaption("Video preview");
    DirectShowPlayer1->SetPopupMenu(PopupMenu1);

    ThreadedTimer1 = new TThreadedTimer(this);
    ThreadedTimer1->SetInterval(200);

    OnShow = [this](TObject*) { FormShow(); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    ThreadedTimer1->OnTimer = [this](TObject*) { ThreadedTimer1Timer(); };
    sPanel2->OnResize = [this](TObject*) { sPanel2Resize(); };
    sPanel3->OnResize = [this](TObject*) { sPanel3Resize(); };
    sBitBtn4->OnClick = [this](TObject*) { PlayClick(); };
    sBitBtn3->OnClick = [this](TObject*) { PauseClick(); };
    sButton6->OnClick = [this](TObject*) { DirectShowPlayer1->SeekRelative(-10000); };
    sButton5->OnClick = [this](TObject*) { DirectShowPlayer1->SeekRelative(-1000); };
    sButton3->OnClick = [this](TObject*) { DirectShowPlayer1->SeekRelative(1000); };
    sButton4->OnClick = [this](TObject*) { DirectShowPlayer1->SeekRelative(10000); };
    sButton1->OnClick = [this](TObject*) { DirectShowPlayer1->StepBackward(); };
    sButton2->OnClick = [this](TObject*) { DirectShowPlayer1->StepForward(); };
    sComboBox1->OnChange = [this](TObject*) { sComboBox1Change(); };
    sTrackBar1->OnChange = [this](TObject*) { sTrackBar1Change(); };
    sScrollBar1->OnScroll = [this](TObject*, TScrollCode, int& pos) { sScrollBar1Scroll(pos); };
    sBitBtn5->OnClick = [this](TObject* s) { sBitBtn5Click(s); };
    sBitBtn6->OnClick = [this](TObject* s) { sBitBtn6Click(s); };
    sMaskEdit3->OnChange = [this](TObject*) { UpdateSliceFromEdits(); };
    sMaskEdit2->OnChange = [this](TObject*) { UpdateSliceFromEdits(); };
    sMaskEdit3->OnDblClick = [this](TObject* s) { sMaskEdit3DblClick(s); };
    sMaskEdit2->OnDblClick = [this](TObject* s) { sMaskEdit2DblClick(s); };
    sTimeLine1->OnChange = [this](TObject*, int i, bool in, bool out) { sTimeLine1Change(i, in, out); };
    DirectShowPlayer1->OnOpenMediaEvent = [this](TObject*) { OpenMedia(); };
    DirectShowPlayer1->OnNewTimeCodeEvent = [this](TObject*) { NewTimeCode(); };
    DirectShowPlayer1->OnEndOfMediaEvent = [this](TObject*, bool& pause, bool&) {
        pause = true;
        sBitBtn4->SetEnabled(true);
        sBitBtn3->SetEnabled(false);
    };
    DirectShowPlayer1->OnCouldNotPlayEvent = [this](TObject*, std::string error) { CouldNotPlay(error); };
    DirectShowPlayer1->OnOpenDebugFileEvent = [this](TObject*, std::string& text) {
        text = DirectXText + "\r" + "Selected audio graph: " + AudioChainText + "\r" + "Selected video graph: " +
               VideoChainText + "\r";
    };
    LoadTree();
    sComboBox1->SetItemIndex(2);
}

TTimeLineForm::~TTimeLineForm() {
    ThreadedTimer1->SetEnabled(false);
    if (TimeLineForm == this) TimeLineForm = nullptr;
}

void TTimeLineForm::SetCutterLanguage() {
    SetCaption(English ? "Cutting" : "Schneiden");
    sBitBtn2->SetCaption(English ? "Cancel" : "Abbrechen");
    sMaskEdit3->BoundLabel().SetCaption(English ? "Begin at" : "Anfangspunkt");
    sStickyLabel1->SetCaption(English ? "Current position" : "Aktuelle Position");
    sMaskEdit2->BoundLabel().SetCaption(English ? "End at" : "Endpunkt");
    PreviewNotAvailableText = English ? "Video preview not available!" : "Video-Vorschau nicht verf\xC3\xBC" "gbar!";
    CreatingPreviewText = English ? "Creating video preview" : "Erstelle Video-Vorschau";
}

void TTimeLineForm::SetPreviewCaption(bool creating) {
    DirectShowPlayer1->SetEmptyCaption(creating ? CreatingPreviewText : PreviewNotAvailableText);
}

void TTimeLineForm::EnablePreview(bool on) {
    if (on) return;
    DirectShowPlayer1->FileName.clear();
    SetPreviewCaption(false);
}

void TTimeLineForm::EnableControls(bool on) {
    sScrollBar1->SetEnabled(on);
    for (TControl* c : std::initializer_list<TControl*>{sButton6, sButton5, sButton1, sBitBtn4, sBitBtn3, sButton2,
                                                        sButton3, sButton4, sComboBox1, sTrackBar1})
        c->SetEnabled(on);
}

void TTimeLineForm::FillFilterMenu(const std::string& names) {
    PopupMenu1->Items()->Clear();
    size_t start = 0;
    while (start <= names.size()) {
        size_t end = names.find('\n', start);
        if (end == std::string::npos) end = names.size();
        const std::string name = Trim(names.substr(start, end - start));
        start = end + 1;
        if (name.empty()) continue;
        auto* item = new TMenuItem(PopupMenu1);
        // The filter's own name: an ampersand in it is no accelerator.
        std::string caption;
        for (char ch : name) caption += ch == '&' ? std::string("&&") : std::string(1, ch);
        item->SetCaption(caption);
        item->OnClick = [this, name](TObject*) { Filterdialog1Click(name); };
        PopupMenu1->Items()->Add(item);
    }
}

void TTimeLineForm::Filterdialog1Click(const std::string& filterName) {
    DirectShowPlayer1->ShowFilterPropertyPage(filterName);
}

void TTimeLineForm::FormClose(TObject*, TCloseAction& action) {
    Shown = false;
    action = caHide;
}

void TTimeLineForm::sBitBtn5Click(TObject*) { sMaskEdit3->SetText(TimeLabel->Caption()); }

void TTimeLineForm::sBitBtn6Click(TObject*) { sMaskEdit2->SetText(TimeLabel->Caption()); }

void TTimeLineForm::sMaskEdit3DblClick(TObject*) { SeekToText(sMaskEdit3->Text()); }

void TTimeLineForm::sMaskEdit2DblClick(TObject*) { SeekToText(sMaskEdit2->Text()); }

void TTimeLineForm::UpdateSliceFromEdits() {
    TSliceCollection& slices = sTimeLine1->Slices();
    if (slices.Count() == 0) return;
    slices.Items(0).SetSlice_In(sMaskEdit3->Text());
    slices.Items(0).SetSlice_Out(sMaskEdit2->Text());
}

void TTimeLineForm::FormShow() {
    EnableControls(false);
    ThreadedTimer1->SetEnabled(true);
    sPanel3Resize();
    sPanel2Resize();
    Shown = true;
}

void TTimeLineForm::ThreadedTimer1Timer() {
    ThreadedTimer1->SetEnabled(false);
    if (DirectShowPlayer1->FileName.empty()) return; // no preview wanted or possible
    DirectShowPlayer1->Play();
    DirectShowPlayer1->Invalidate();
}

void TTimeLineForm::sPanel3Resize() {
    int x = sPanel3->Width() / 2 - 192;
    for (TControl* c : std::initializer_list<TControl*>{sButton6, sButton5, sButton1, sBitBtn4, sBitBtn3, sButton2,
                                                        sButton3, sButton4}) {
        c->SetLeft(x);
        x += 48;
    }
    // The volume bar over its caption at the right end.
    sPanel4->SetLeft(sPanel3->Width() - sPanel4->Width() - 4);
    sTrackBar1->SetLeft(sPanel4->Left() + (sPanel4->Width() - sTrackBar1->Width()) / 2);
}

void TTimeLineForm::sPanel2Resize() {
    TimeLabel->SetLeft((sPanel2->Width() - TimeLabel->Width()) / 2);
    sMaskEdit2->SetLeft(TimeLabel->Left() + TimeLabel->Width() + 48);
    sBitBtn6->SetLeft(sMaskEdit2->Left() + sMaskEdit2->Width() + 1);
    sMaskEdit3->SetLeft(TimeLabel->Left() - 48 - sMaskEdit3->Width());
    sBitBtn5->SetLeft(sMaskEdit3->Left() - 1 - sBitBtn5->Width());
}

void TTimeLineForm::PlayClick() {
    sBitBtn4->SetEnabled(false);
    sBitBtn3->SetEnabled(true);
    DirectShowPlayer1->Play();
}

void TTimeLineForm::PauseClick() {
    sBitBtn4->SetEnabled(true);
    sBitBtn3->SetEnabled(false);
    DirectShowPlayer1->Pause();
    TimeLabel->SetCaption(TOrvalinPlayer::MsToTimeText(DirectShowPlayer1->MovieTime()));
    sComboBox1->SetItemIndex(2);
    DirectShowPlayer1->SetPlaybackRate(1.0);
}

void TTimeLineForm::sComboBox1Change() {
    if (!DirectShowPlayer1->HasMediaPosition() || !DirectShowPlayer1->IsMediaOpen()) return;
    DirectShowPlayer1->SetPlaybackRate(RateOfSpeedItem(sComboBox1->ItemIndex()));
    sComboBox1->SetItemIndex(SpeedItemOfRate(DirectShowPlayer1->PlaybackRate()));
}

void TTimeLineForm::sTrackBar1Change() {
    if (!DirectShowPlayer1->HasBasicAudio()) {
        if (sTrackBar1->Position() != 0) sTrackBar1->SetPosition(0);
        return;
    }
    DirectShowPlayer1->SetVolume(100 - sTrackBar1->Position());
}

void TTimeLineForm::sScrollBar1Scroll(int position) {
    if (DirectShowPlayer1->IsMediaOpen()) PauseClick();
    DirectShowPlayer1->SeekTo(static_cast<uint32_t>(MsFromPositionBar(position, Duration, kBarMax)));
    TimeLabel->SetCaption(TOrvalinPlayer::MsToTimeText(DirectShowPlayer1->MovieTime()));
}

void TTimeLineForm::SeekToText(const std::string& text) {
    // A half-typed time moves nothing.
    const auto pts = TOrvalinPlayer::TimeTextToPts(text);
    if (!pts) return;
    DirectShowPlayer1->SeekTo(static_cast<uint32_t>(*pts / 90));
    sScrollBar1->SetPosition(PositionBarFromMs(DirectShowPlayer1->MovieTime(), Duration, kBarMax));
}

void TTimeLineForm::sTimeLine1Change(int sliceIndex, bool isSliceIn, bool isSliceOut) {
    if (!Shown || sliceIndex != 0) return;
    const TSliceItem& s = sTimeLine1->Slices().Items(0);
    if (isSliceIn) {
        sMaskEdit3->SetText(PcrToTimeText(s.Slice_In_PCR()));
        SeekToText(sMaskEdit3->Text());
    }
    if (isSliceOut) {
        sMaskEdit2->SetText(PcrToTimeText(s.Slice_Out_PCR()));
        SeekToText(sMaskEdit2->Text());
    }
}

void TTimeLineForm::OpenMedia() {
    EnableControls(true);
    sBitBtn3->SetEnabled(false);
    sScrollBar1->SetPosition(0);
    Duration = DirectShowPlayer1->MovieDuration();
    if (BeginPosition > 0) {
        DirectShowPlayer1->SeekTo(static_cast<uint32_t>(BeginPosition / 90));
        sScrollBar1->SetPosition(PositionBarFromMs(BeginPosition / 90, Duration, kBarMax));
    }
    SetPreviewCaption(true);
    FillFilterMenu(DirectShowPlayer1->GraphFilterNames());
}

void TTimeLineForm::NewTimeCode() {
    TimeLabel->SetCaption(TOrvalinPlayer::MsToTimeText(DirectShowPlayer1->MovieTime()));
    sScrollBar1->SetPosition(PositionBarFromMs(DirectShowPlayer1->MovieTime(), Duration, kBarMax));
}

void TTimeLineForm::CouldNotPlay(const std::string& error) {
    SetPreviewCaption(false);
    MessageDlg("DirectX error: " + error, mtWarning, mbOK);
}

void TTimeLineForm::WndProc(TMessage& m) {
    TForm::WndProc(m);
    if (m.Msg == WM_MOVE) WMMove(m);
}

void TTimeLineForm::WMMove(TMessage&) {
    // The video window follows the form (one that floats over the preview
    // is placed again).
    if (!DirectShowPlayer1) return;
    DirectShowPlayer1->Invalidate();
    DirectShowPlayer1->PlaceVideoWindow();
}

} // namespace tw
