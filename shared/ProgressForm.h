// The progress window that long passes show: status text, percent gauge,
// optional bandwidth meter with its time panel, optional cancel button with
// the cancel flag that the passes poll.
#pragma once

#include <string>

#include "skin/controls/sGauge.h"
#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Gauges.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TOvBandwidthMeter;

class TForm2 : public TForm {
public:
    explicit TForm2(TComponent* owner);

    TLabel* sLabel1;
    TPanel* sPanel1;
    TOvBandwidthMeter* OvBandwidthMeter1;
    skin::TsGauge* sGauge1;
    TBitBtn* sBitBtn1;
    TPanel* PtsPanel;

    // Set by the cancel button, cleared when the window is shown; the
    // running pass reads it between packets and decides.
    bool CancelFlag = false;

    void ShowCancelButton(bool show);
    void ShowMeterPanel(bool show);
    // Caption and cancel button in German or English; showing the window
    // applies the `Language` setting.
    void ApplyLanguage(bool german);
    // A pass that names itself in the caption ("Raw packet copy") keeps that
    // name while the window shows; empty gives the language's caption back.
    void SetTaskCaption(const std::string& caption);
    // Hiding repaints at once what the window uncovered: a message box that
    // follows would otherwise sit on a stale picture of this window.
    void SetVisible(bool visible) override;
    // Shows the window as it is, without the skin's fade-in. A pass that
    // shows the window waits on the user-interface thread for the whole fade
    // (the fade, its picture and the screen capture under it: some 0.1 s
    // under Wine) before its first packet; the window's content is the same.
    void ShowWithoutFade();

    // The meter on the skin's field colour (that of the edits and memos)
    // with its first line in the field's text colour; white and black
    // without a skin. Showing the window and a change of skin (the meter
    // hears of it) take them.
    void TakeMeterColors();

    void FormCreate(TObject* sender);
    void FormShow(TObject* sender);
    void sBitBtn1Click(TObject* sender);

private:
    void PlaceButton();
    std::string taskCaption_;
};

extern TForm2* Form2;

} // namespace tw
