// The cut editor TTimeLineForm: a video preview, a position bar, a time line
// with one slice and the begin and end times of the cut, typed, taken from
// the preview's position or dragged. The main window's Cut button opens it
// (TForm1::sBitBtn4Click) and takes the times into the cleaning pass.
#pragma once

#include <cstdint>
#include <string>

#include "skin/controls/sButton.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sComboBox.h"
#include "skin/controls/sMaskEdit.h"
#include "skin/controls/sPanel.h"
#include "skin/controls/sScrollBar.h"
#include "skin/controls/sStickyLabel.h"
#include "skin/controls/sTrackBar.h"
#include "ui/Forms.h"
#include "ui/Menus.h"

namespace tw {

class TOrvalinPlayer;
class TsTimeLine;
class TThreadedTimer;

class TTimeLineForm : public TForm {
public:
    explicit TTimeLineForm(TComponent* owner);
    ~TTimeLineForm() override;

    TOrvalinPlayer* DirectShowPlayer1 = nullptr;
    skin::TsScrollBar* sScrollBar1;
    TsTimeLine* sTimeLine1;
    skin::TsPanel* sPanel3;
    skin::TsButton *sButton6, *sButton5, *sButton1; // -10s, -1s, -1
    skin::TsBitBtn *sBitBtn4, *sBitBtn3;            // play, pause
    skin::TsButton *sButton2, *sButton3, *sButton4; // +1, +1s, +10s
    skin::TsComboBox* sComboBox1;                   // speed, bound label "Speed"
    skin::TsTrackBar* sTrackBar1;
    skin::TsPanel* sPanel4; // the volume bar's caption
    skin::TsPanel* sPanel2;
    skin::TsMaskEdit* sMaskEdit3; // begin, with its bound label
    skin::TsBitBtn* sBitBtn5;
    skin::TsPanel* TimeLabel;
    skin::TsStickyLabel* sStickyLabel1;
    skin::TsBitBtn* sBitBtn6;
    skin::TsMaskEdit* sMaskEdit2; // end, with its bound label
    skin::TsPanel* sPanel1;
    skin::TsBitBtn* sBitBtn1; // OK
    skin::TsBitBtn* sBitBtn2; // Cancel
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
    void FormClose(TObject* sender, TCloseAction& action);
    // The copy buttons: the current position into the begin / end edit.
    void sBitBtn5Click(TObject* sender);
    void sBitBtn6Click(TObject* sender);
    // A double click on the begin / end edit seeks the preview there.
    void sMaskEdit3DblClick(TObject* sender);
    void sMaskEdit2DblClick(TObject* sender);
    // A filter of the preview's menu: its property page.
    void Filterdialog1Click(const std::string& filterName);
    void sTimeLine1Change(int sliceIndex, bool isSliceIn, bool isSliceOut);
    void OpenMedia();
    void NewTimeCode();
    void CouldNotPlay(const std::string& error);

protected:
    void WndProc(TMessage& m) override;
    // The video window follows the form.
    void WMMove(TMessage& m);
};

extern TTimeLineForm* TimeLineForm;

} // namespace tw
