// The main window's Cut button: the cut editor on the analysed recording,
// its preview set up from the preferences, and the chosen range taken into
// the cleaning pass.
#include <memory>

#include "app/AnalysisView.h"
#include "app/CleaningView.h"
#include "app/MainForm.h"
#include "analysis/AnalysisEngine.h"
#include "analysis/CleaningChain.h"
#include "analysis/SettingsStore.h"
#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "tools/CutEditorForm.h"
#include "tools/OrvalinPlayer.h"
#include "tools/TimeLine.h"
#include "tools/engine/CutEditorValues.h"
#include "ts/TSClock.h"
#include "ts/TSPacketReader.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

namespace tw {

void TForm1::ApplyPlayerFilterChoice(int videoKind) {
    if (!TimeLineForm || !TimeLineForm->DirectShowPlayer1) return;
    const TPlayerFilterChoice c =
        ChoosePlayerFilters(videoKind, ReadIntSetting("MpegSplitter", 0), ReadIntSetting("MpegAudioFilter", 0),
                            ReadIntSetting("MpegVideoFilter", 0), ReadIntSetting("H264VideoFilter", 0), FilterProbe);
    TOrvalinPlayer& p = *TimeLineForm->DirectShowPlayer1;
    p.DirectShowSplitterFilter = c.Splitter;
    p.DirectShowAudioFilter = c.Audio;
    p.DirectShowVideoFilter = c.Video;
    TimeLineForm->VideoChainText = c.VideoChain;
    TimeLineForm->AudioChainText = c.AudioChain;
}

void TForm1::EnablePlayerDebugLog() {
    if (!TimeLineForm || DataFolder.empty()) return;
    TOrvalinPlayer& p = *TimeLineForm->DirectShowPlayer1;
    const std::string name = IncludeTrailingPathDelimiter(DataFolder) + "DirectXdebug.log";
    p.CloseDebugFile();
    if (FileExists(name)) RemoveFile(name);
    p.DebugFileName = name;
    p.Debug = true;
}

void TForm1::sBitBtn4Click() {
    auto* view = dynamic_cast<TAnalysisView*>(View());
    if (!view || view->Busy() || !view->Engine().Analysed()) return;
    TAnalysisEngine& engine = view->Engine();
    // The time line and the cut points are the analysis's: a file that
    // changed since has another length, and a range chosen on it would cut
    // the wrong place.
    if (!engine.CheckRecordingUnchanged()) return;
    TAnalysisTables& t = engine.Tables();
    if (!TimeLineForm) {
        TimeLineForm = new TTimeLineForm(Application);
        TimeLineForm->DirectXText = "DirectX Version: " + FilterProbe.DirectXVersion;
        EnablePlayerDebugLog();
    }
    std::unique_ptr<TTimeLineForm> owned(TimeLineForm);
    TTimeLineForm& f = *TimeLineForm;
    // The preview reads the file itself; the analysis readers let go of it.
    for (TTSPacketReader* r :
         {engine.TSPacketReader1, &engine.Chain().Reader(), &engine.RawReader(), &engine.FilterReader()})
        if (r->Active()) r->SetActive(false);
    f.English = RegReadString(kSettingsKey, "Language") == "ENG";
    auto* beginLabel = dynamic_cast<TLabel*>(FindComponent("sLabel22"));
    auto* endLabel = dynamic_cast<TLabel*>(FindComponent("sLabel23"));
    auto* lengthLabel = dynamic_cast<TLabel*>(FindComponent("sLabel9"));
    const std::string beginText = beginLabel ? beginLabel->Caption() : PtsToTimeText(t.CutIn);
    const std::string endText = endLabel ? endLabel->Caption() : PtsToTimeText(t.CutOut);
    f.TimeLabel->SetCaption(beginText);
    f.sMaskEdit3->SetText(beginText);
    f.sMaskEdit2->SetText(endText);
    f.Duration = static_cast<uint32_t>(PtsToMs(t.Duration));
    f.sComboBox1->SetItemIndex(2);
    f.SetCutterLanguage();
    if (!NoPreview) {
        ApplyPlayerFilterChoice(t.Video.Kind);
        f.DirectShowPlayer1->FileName = engine.FileName();
        f.BeginPosition = TimeTextToPts(f.TimeLabel->Caption());
    } else {
        f.EnablePreview(false);
    }
    // A stream without length leaves a range the time line does not map.
    (void)f.sTimeLine1->Model().SetMaxPCR(t.Duration * 300, true);
    f.sTimeLine1->Slices().Add();
    f.UpdateSliceFromEdits();
    const TModalResult result = f.ShowModal();
    f.DirectShowPlayer1->ClosePlayer();
    if (result == mrOk) {
        const TCutPoints cut =
            ApplyCutEditorTimes({t.CutIn, t.CutOut}, t.Duration, f.sMaskEdit3->Text(), f.sMaskEdit2->Text());
        t.CutIn = cut.CutIn;
        t.CutOut = cut.CutOut;
        TCleaningOptions& o = view->Cleaning().Pass().Options;
        o.CutIn = cut.CutIn;
        o.CutOut = cut.CutOut;
        if (beginLabel) beginLabel->SetCaption(PtsToTimeText(cut.CutIn));
        if (endLabel) endLabel->SetCaption(PtsToTimeText(cut.CutOut));
        if (lengthLabel) lengthLabel->SetCaption(PtsToTimeText(cut.CutOut - cut.CutIn));
    }
    // The video renderer's window was the preview's child until the play
    // thread let go of the graph: a moment for the system to finish with it
    // before the form goes.
    Sleep(100);
    owned.reset();
}

} // namespace tw
