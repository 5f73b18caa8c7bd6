#include "app/LogForm.h"

#include "app/AppSkin.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sMemo.h"
#include "skin/controls/sPanel.h"
#include "base/Streams.h"

namespace tw {

TForm3* Form3 = nullptr;

TForm3::TForm3(TComponent* owner) : TForm(owner) {
    SetName("Form3");
    SetCaption("Log");
    SetBounds(0, 0, 800, 250);
    // The main window keeps it below itself; pulled whole onto the screen
    // it would cover the main window's buttons.
    SetKeepOnWorkAreaWhenShown(false);

    sMemo1 = new skin::TsMemo(this);
    sMemo1->SetName("sMemo1");
    sMemo1->SetParent(this);
    sMemo1->SetAlign(alClient);
    sMemo1->Font().SetName("Courier New");
    sMemo1->Font().SetSize(9);
    sMemo1->SetScrollBars(ssBoth);
    sMemo1->SetWordWrap(false);
    sMemo1->SetReadOnly(true);

    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    LoadTree();
    InstallAsLog();
}

TForm3::~TForm3() {
    if (CurrentLogSink() == this) {
        // Keep what was logged for whoever logs (or saves) after us.
        std::vector<std::string> lines = sMemo1->Lines().ToVector();
        SetLogSink(nullptr);
        ClearLog();
        for (const std::string& l : lines) AppendLogLine(l);
    }
}

void TForm3::InstallAsLog() {
    if (CurrentLogSink() == this) return;
    std::vector<std::string> earlier = LogLines();
    ClearLog();
    sMemo1->Lines().AddStrings(earlier);
    SetLogSink(this);
}

void TForm3::AddLine(const std::string& line) { sMemo1->Lines().Add(line); }
void TForm3::ClearLines() { sMemo1->Lines().Clear(); }
int TForm3::LineCount() const { return sMemo1->Lines().Count(); }
std::string TForm3::Line(int index) const { return sMemo1->Lines().Get(index); }

TLogForm::TLogForm(TComponent* owner) : TForm(owner) {
    SetName("LogForm");
    SetCaption("Log");
    SetBorderStyle(bsDialog);
    SetPosition(poMainFormCenter);
    SetBounds(0, 0, 640, 420);

    sPanel1 = new skin::TsPanel(this);
    sPanel1->SetName("sPanel1");
    sPanel1->SetParent(this);
    sPanel1->SetAlign(alBottom);
    sPanel1->SetHeight(40);
    sPanel1->SetBevelOuter(bvNone);
    sPanel1->SetShowCaption(false);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(sPanel1);
    sBitBtn1->SetBounds(270, 8, 90, 25);
    sBitBtn1->SetKind(bkOK);
    sBitBtn1->SetDefault(true);

    sMemo1 = new skin::TsMemo(this);
    sMemo1->SetName("sMemo1");
    sMemo1->SetParent(this);
    sMemo1->SetAlign(alClient);
    sMemo1->Font().SetName("Courier New");
    sMemo1->SetScrollBars(ssBoth);
    sMemo1->SetReadOnly(true);
    LoadTree();
    // Made for one showing, after the start-up joined the other windows.
    JoinSkin(this);
}

void LoadShownText(TStrings& lines, const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead);
    const int64_t size = f.Size();
    const bool cut = size > kMaxShownTextBytes;
    std::string text(static_cast<size_t>(cut ? kMaxShownTextBytes : (size > 0 ? size : 0)), '\0');
    if (!text.empty()) f.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
    if (cut) {
        const size_t end = text.rfind('\n');
        if (end != std::string::npos) text.resize(end + 1);
    }
    // A UTF-8 byte-order mark is not part of the first line.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    lines.SetText(text);
}

} // namespace tw
