#include "tools/CutEditorForm.h"

#include <memory>

#include "app/engine/AnalysisEngine.h"
#include "app/engine/SettingsStore.h"
#include "app/engine/ThdTimer.h"
#include "app/engine/TimeStampCorrection.h"
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
} // namespace

TTimeLineForm::TTimeLineForm(TComponent* owner) : TForm(owner) {
    SetName("TimeLineForm");
    SetCaption("Schnitt");
    SetPosition(poMainFormCenter);
    SetBorderIcons(biSystemMenu | biMaximize);
    SetClientSize(640, 520);

    // Bottom up, so that the preview takes what is left.
    TPanel* buttons = Place<TPanel>(this, this, "sPanel1", 0, 0, 640, 40);
    buttons->SetAlign(alBottom);
    buttons->SetBevelOuter(bvNone);
    sBitBtn1 = PlaceButton(this, buttons, "sBitBtn1", 220, 8, "OK", mrOk);
    sBitBtn2 = PlaceButton(this, buttons, "sBitBtn2", 330, 8, "Cancel", mrCancel);

    sPanel2 = Place<TPanel>(this, this, "sPanel2", 0, 0, 640, 56);
    sPanel2->SetAlign(alBottom);
    sPanel2->SetBevelOuter(bvNone);
    sStickyLabel1 = Place<TLabel>(this, sPanel2, "sStickyLabel1", 0, 2, 110, 14, "Aktuelle Position");
    TimeLabel = Place<TPanel>(this, sPanel2, "TimeLabel", 0, 20, 100, 24, kZeroTime);
    sMaskEdit3 = Place<TMaskEdit>(this, sPanel2, "sMaskEdit3", 0, 20, 100, 24);
    sLabelBegin = Place<TLabel>(this, sPanel2, "sLabelBegin", 0, 2, 100, 14, "Anfangspunkt");
    sBitBtn5 = PlaceButton(this, sPanel2, "sBitBtn5", 0, 20, ">", mrNone);
    sMaskEdit2 = Place<TMaskEdit>(this, sPanel2, "sMaskEdit2", 0, 20, 100, 24);
    sLabelEnd = Place<TLabel>(this, sPanel2, "sLabelEnd", 0, 2, 100, 14, "Endpunkt");
    sBitBtn6 = PlaceButton(this, sPanel2, "sBitBtn6", 0, 20, "<", mrNone);
    for (TMaskEdit* e : {sMaskEdit3, sMaskEdit2}) {
        e->SetEditMask(kTimeMask);
        e->SetMaxLength(12);
    }
    sBitBtn5->SetWidth(24);
    sBitBtn6->SetWidth(24);

    sPanel3 = Place<TPanel>(this, this, "sPanel3", 0, 0, 640, 44);
    sPanel3->SetAlign(alBottom);
    sPanel3->SetBevelOuter(bvNone);
    sButton6 = Place<TButton>(this, sPanel3, "sButton6", 0, 8, 44, 26, "-10s");
    sButton5 = Place<TButton>(this, sPanel3, "sButton5", 0, 8, 44, 26, "-1s");
    sButton1 = Place<TButton>(this, sPanel3, "sButton1", 0, 8, 44, 26, "-1");
    sBitBtn4 = PlaceButton(this, sPanel3, "sBitBtn4", 0, 8, ">", mrNone);
    sBitBtn3 = PlaceButton(this, sPanel3, "sBitBtn3", 0, 8, "||", mrNone);
    sButton2 = Place<TButton>(this, sPanel3, "sButton2", 0, 8, 44, 26, "+1");
    sButton3 = Place<TButton>(this, sPanel3, "sButton3", 0, 8, 44, 26, "+1s");
    sButton4 = Place<TButton>(this, sPanel3, "sButton4", 0, 8, 44, 26, "+10s");
    sBitBtn4->SetBounds(0, 8, 44, 26);
    sBitBtn3->SetBounds(0, 8, 44, 26);
    sLabelSpeed = Place<TLabel>(this, sPanel3, "sLabelSpeed", 8, 2, 60, 14, "Speed");
    sComboBox1 = Place<TComboBox>(this, sPanel3, "sComboBox1", 8, 18, 70, 22);
    sComboBox1->SetStyle(csDropDownList);
    for (const char* s : {"0.25 x", "0.5 x", "1 x", "1.5 x", "2 x"}) sComboBox1->Items().Add(s);
    sTrackBar1 = Place<TTrackBar>(this, sPanel3, "sTrackBar1", 600, 0, 30, 44);
    sTrackBar1->SetOrientation(trVertical);
    sTrackBar1->SetMin(0);
    sTrackBar1->SetMax(100);
    sTrackBar1->SetHint("Volume");
    sTrackBar1->SetShowHint(true);

    sTimeLine1 = Place<TsTimeLine>(this, this, "sTimeLine1", 0, 0, 640, 50);
    sTimeLine1->SetAlign(alBottom);
    sTimeLine1->SkinData().SetSkinSection("GAUGE");
    sTimeLine1->SetSpaceH(25);
    sTimeLine1->SetSliceBarSkin("TIMELINEB");
    sTimeLine1->SetSliceBarBackSkin("TIMELINEBBG");
    sTimeLine1->SetForeColor(clBlack);

    sScrollBar1 = Place<TScrollBar>(this, this, "sScrollBar1", 0, 0, 640, 18);
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
    OnClose = [this](TObject*, TCloseAction& a) {
        Shown = false;
        a = caHide;
    };
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
    sBitBtn5->OnClick = [this](TObject*) { sMaskEdit3->SetText(TimeLabel->Caption()); };
    sBitBtn6->OnClick = [this](TObject*) { sMaskEdit2->SetText(TimeLabel->Caption()); };
    sMaskEdit3->OnChange = [this](TObject*) { UpdateSliceFromEdits(); };
    sMaskEdit2->OnChange = [this](TObject*) { UpdateSliceFromEdits(); };
    sMaskEdit3->OnDblClick = [this](TObject*) { SeekToText(sMaskEdit3->Text()); };
    sMaskEdit2->OnDblClick = [this](TObject*) { SeekToText(sMaskEdit2->Text()); };
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
    sLabelBegin->SetCaption(English ? "Begin at" : "Anfangspunkt");
    sStickyLabel1->SetCaption(English ? "Current position" : "Aktuelle Position");
    sLabelEnd->SetCaption(English ? "End at" : "Endpunkt");
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
        item->OnClick = [this, name](TObject*) { DirectShowPlayer1->ShowFilterPropertyPage(name); };
        PopupMenu1->Items()->Add(item);
    }
}

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
    sTrackBar1->SetLeft(sPanel3->Width() - sTrackBar1->Width() - 4);
}

void TTimeLineForm::sPanel2Resize() {
    TimeLabel->SetLeft((sPanel2->Width() - TimeLabel->Width()) / 2);
    sStickyLabel1->SetLeft(TimeLabel->Left());
    sMaskEdit2->SetLeft(TimeLabel->Left() + TimeLabel->Width() + 48);
    sBitBtn6->SetLeft(sMaskEdit2->Left() - sBitBtn6->Width() - 1);
    sLabelEnd->SetLeft(sMaskEdit2->Left());
    sMaskEdit3->SetLeft(TimeLabel->Left() - 48 - sMaskEdit3->Width());
    sBitBtn5->SetLeft(sMaskEdit3->Left() + sMaskEdit3->Width() + 1);
    sLabelBegin->SetLeft(sMaskEdit3->Left());
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
    // The video window follows the form.
    if (m.Msg == WM_MOVE && DirectShowPlayer1) DirectShowPlayer1->Invalidate();
}

} // namespace tw
