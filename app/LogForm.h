// The log window (every log line of the program lands in its memo; it sits
// below the main window) and the modal text window TLogForm.
#pragma once

#include "analysis/AppLog.h"
#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TForm3 : public TForm, public TLogSink {
public:
    explicit TForm3(TComponent* owner);
    ~TForm3() override;

    TMemo* sMemo1;

    // TLogSink: AppendLogLine and friends reach the memo through these.
    void AddLine(const std::string& line) override;
    void ClearLines() override;
    int LineCount() const override;
    std::string Line(int index) const override;

    // Makes this window the program's log (lines logged before it existed
    // are taken over). The constructor does it.
    void InstallAsLog();

    void FormShow(TObject*) {}
    void FormClose(TObject*, TCloseAction&) {}
};

extern TForm3* Form3;

// A modal window that shows a text (the preferences dialog shows the
// preview log with it); created for one showing.
class TLogForm : public TForm {
public:
    explicit TLogForm(TComponent* owner);
    TMemo* sMemo1;
    TPanel* sPanel1;
    TBitBtn* sBitBtn1;
};

// The most of a text file a text window shows (the change log, the preview
// log): the preview log lies in the data folder that every user of the
// machine can write to, and a window holding gigabytes helps nobody.
constexpr int64_t kMaxShownTextBytes = int64_t(4) << 20;

// Fills lines with the text of a file: at most kMaxShownTextBytes of its
// beginning, cut after the last whole line when the file is longer.
void LoadShownText(TStrings& lines, const std::string& fileName);

} // namespace tw
