// The cut editor TTimeLineForm: a video preview, a position bar, a time line
// with one slice and the begin and end times of the cut, typed, taken from
// the preview's position or dragged. The main window's Cut button opens it
// (TForm1::sBitBtn4Click) and takes the times into the cleaning pass.
#pragma once

#include <cstdint>
#include <string>

#include "ui/Buttons.h"
#include "ui/ComCtrls.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Mask.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace tw {

class TOrvalinPlayer;
class TsTimeLine;
class TThreadedTimer;

class TTimeLineForm : public TForm {
public:
    explicit TTimeLineForm(TComponent* owner);
    ~TTimeLineForm() override;

    TOrvalinPlayer* DirectShowPlayer1;
    TScrollBar* sScrollBar1;
    TsTimeLine* sTimeLine1;
    TPanel* sPanel3;
    TButton *sButton6, *sButton5, *sButton1; // -10s, -1s, -1
    TBitBtn *sBitBtn4, *sBitBtn3;            // play, pause
    TButton *sButton2, *sButton3, *sButton4; // +1, +1s, +10s
    TComboBox* sComboBox1;
    TLabel* sLabelSpeed;
    TTrackBar* sTrackBar1;
    TPanel* sPanel2;
    TMaskEdit* sMaskEdit3; // begin
    TLabel* sLabelBegin;
    TBitBtn* sBitBtn5;
    TPanel* TimeLabel;
    TLabel* sStickyLabel1;
    TBitBtn* sBitBtn6;
    TMaskEdit* sMaskEdit2; // end
    TLabel* sLabelEnd;
    TBitBtn* sBitBtn1; // OK
    TBitBtn* sBitBtn2; // Cancel
    TThreadedTimer* ThreadedTimer1;
    TPopupMenu* PopupMenu1;

    std::string DirectXText;
    int64_t BeginPosition = 0; // 90 kHz
    std::string VideoChainText, AudioChainText;
    std::string PreviewNotAvailableText, CreatingPreviewText;
    bool English = false;
    bool Shown = false;
    uint32_t Duration = 0; // ms

    void SetCutterLanguage();
    void SetPreviewCaption(bool creating);
    void EnablePreview(bool on);
    void EnableControls(bool on);
    void FillFilterMenu(const std::string& names);
    void UpdateSliceFromEdits();

    void FormShow();
    void ThreadedTimer1Timer();
    void sPanel2Resize();
    void sPanel3Resize();
    void PlayClick();
    void PauseClick();
    void sComboBox1Change();
    void sTrackBar1Change();
    void sScrollBar1Scroll(int position);
    void SeekToText(const std::string& text);
    void sTimeLine1Change(int sliceIndex, bool isSliceIn, bool isSliceOut);
    void OpenMedia();
    void NewTimeCode();
    void CouldNotPlay(const std::string& error);

protected:
    void WndProc(TMessage& m) override;
};

extern TTimeLineForm* TimeLineForm;

} // namespace tw
