// The main window TForm1: its frame (menus, the Preparation and Identified
// Streams boxes, the button bar, the status line), its life cycle, opening a
// recording from the menu, by drag and drop or from the command line, the
// language of its texts, the help menu, the log window's placement and the
// process priority.
//
// The analysis and the cleaning pass fill the window through a
// TMainWindowView (see SetMainWindowViewFactory): the view builds the step
// panels into sGroupBox7 and the stream panels into sGroupBox8, and receives
// "reset", "open this recording", "START" and the language switch.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/FilterChoices.h"
#include "analysis/ThdTimer.h"
#include "base/StringList.h"
#include "tools/DirectShowInfo.h"
#include "ui/Buttons.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

namespace skin {
class TsSkinManager;
}

namespace tw {

class TForm1;

// What the analysis and cleaning code adds to the main window. Create the
// controls with the form as their owner (texts are found by component name)
// and with the names of the layout, so the language switch reaches them.
class TMainWindowView {
public:
    virtual ~TMainWindowView() = default;
    // Puts the panels into their state before any analysis (window creation).
    virtual void ResetPanels() {}
    // The view's part of ResetAll (after the shell cleared the log window and
    // disabled the buttons).
    virtual void ResetAll() {}
    // Opens the recording named by OpenDialog1 (analysis or file merger).
    virtual void OpenStream(const std::string& fileName) {}
    // START was pressed.
    virtual void Start() {}
    // Preserve, Patch, Cut pressed.
    virtual void Preserve() {}
    virtual void Patch() {}
    virtual void Cut() {}
    // The texts were switched to German or English.
    virtual void LanguageChanged(bool german) {}
    // Tick of UpdateLabelTimer: the progress of the cleaning pass.
    virtual void ProgressTick() {}
    // Every third tick: the per-stream size labels.
    virtual void RefreshSizeLabels() {}
    // The window was resized (after the shell's own layout).
    virtual void Resized() {}
    // True while an analysis or cleaning pass runs: opening, dropping and
    // closing are refused meanwhile.
    virtual bool Busy() const { return false; }
    // The user agreed to abort the running pass (closing the window while
    // Busy); the pass should end at its next packet.
    virtual void CancelRequested() {}
};

using TMainWindowViewFactory = std::function<std::unique_ptr<TMainWindowView>(TForm1& form)>;
// The factory TForm1 calls while it is created; set it before start-up.
void SetMainWindowViewFactory(TMainWindowViewFactory factory);

class TForm1 : public TForm {
public:
    explicit TForm1(TComponent* owner);
    ~TForm1() override;

    // --- menus
    TMainMenu* MainMenu1;
    TMenuItem* File1;
    TMenuItem* Open2;
    TMenuItem* Close1;
    TMenuItem* Settings1;
    TMenuItem* Preferences1;
    TMenuItem* Priority1;
    TMenuItem* IDLE1;
    TMenuItem* BELOWNORMALPRIORITYCLASS1;
    TMenuItem* NORMAL1;
    TMenuItem* ABOVENORMAL1;
    TMenuItem* HIGH1;
    TMenuItem* REALTIME1;
    TMenuItem* Tools1;
    TMenuItem* RawCutter1;
    TMenuItem* FileMerger1;
    TMenuItem* Help1;
    TMenuItem* Hilfe1;
    TMenuItem* Changes1;
    TMenuItem* About;

    // --- dialogs and timers
    TOpenDialog* OpenDialog1;
    TOpenDialog* OpenDialog2;
    TThreadedTimer* UpdateLabelTimer;       // 500 ms, the cleaning pass's progress
    TThreadedTimer* ParameterStartTimer;    // 250 ms, one shot: the command-line recording
    TThreadedTimer* GettingSystemInfoTimer; // 200 ms, one shot: the filter probe
    TThreadedTimer* ThreadedTimer1;         // 2,000 ms, one shot: the update notice

    // --- layout
    TGroupBox* sGroupBox7; // "Preparation steps": the view's ten step panels
    TGroupBox* sGroupBox8; // "Identified Streams": the view's result panels
    TPanel* sPanel3;       // the logo panel inside sGroupBox8, shown while nothing is open
    TImage* Image6;
    TLabel* sLabelFX13;
    TLabel* sLabelFX12;
    TLabel* sLabelFX15;
    TGroupBox* sGroupBox6; // the button bar
    TPanel* sPanel10;      // holds START, centred in the bar
    TBitBtn* sBitBtn1;     // START
    TBitBtn* sBitBtn2;     // Preserve
    TBitBtn* sBitBtn3;     // Patch
    TBitBtn* sBitBtn4;     // Cut
    TPanel* sStatusBar1;   // status line: file name and the maker's link
    TLabel* sLabelStatus;  // file name of the open recording
    TLabel* sLabelFX1;     // the maker's link

    // --- state (Data model of the start-up)
    std::string ProgramFolder; // with a trailing backslash
    std::string DataFolder;    // empty when it could not be created
    TStringList* ReleaseText = nullptr;
    bool NoPreview = false;
    bool UpdateCheck = true;
    bool SkinOff = false;
    int VideoPanelHeight = 74;
    int TextPanelHeight = 44;
    // What the DirectShow filter probe found (all missing until it ran).
    TFilterAvailability FilterProbe;
    // The probe's lists of found filters ("Tessu,Movrak"), empty until it ran.
    std::string SupportedSplitters;
    std::string SupportedAudioFilters;
    std::string SupportedVideoFilters;
    TDirectShowInfo* DirectShowInfo1;
    // The program's skin manager (our own skin); SkinOff switches it off.
    skin::TsSkinManager* sSkinManager1;

    TMainWindowView* View() const { return view_.get(); }

    // --- the preserve and patch buttons: the preserve-streams and patch
    // dialogs on the analysed recording
    void sBitBtn2Click();
    void sBitBtn3Click();

    // --- the cut editor (tools/CutEditorForm.cpp)
    void sBitBtn4Click();
    void ApplyPlayerFilterChoice(int videoKind);
    void EnablePlayerDebugLog();

    // --- life cycle
    void FormCreate(TObject* sender);
    void FormActivate(TObject* sender);
    void FormResize(TObject* sender);
    void FormClose(TObject* sender, TCloseAction& action);
    void FormCloseQuery(TObject* sender, bool& canClose);
    void ParameterStartTimerTimer(TObject* sender);
    void GettingSystemInfoTimerTimer(TObject* sender);
    // True when a DirectShow filter of that friendly name is installed.
    bool FindDirectShowFilter(const std::string& friendlyName);
    void UpdateLabelTimerTimer(TObject* sender);
    void ThreadedTimer1Timer(TObject* sender);
    void Preferences1Click(TObject* sender);
    void sPanel3Resize(TObject* sender);

    // --- opening
    // Stores the name as OpenDialog1's file name, then ResetAll and OpenStream.
    void OpenRecording(const std::string& fileName);
    void OpenFromCommandLine();
    static bool IsSupportedStreamFile(const std::string& fileName);
    // Refuses (false) while a pass or a tool runs.
    bool CanOpenNow() const;
    // While a tool works on the user-interface thread it lets window
    // messages through: for its lifetime the main window takes no input and
    // refuses to open another recording, start another tool or close, so
    // nothing is pulled away under the running tool (its progress window
    // included).
    class TToolRun {
    public:
        explicit TToolRun(TForm1& form);
        ~TToolRun();
        TToolRun(const TToolRun&) = delete;
        TToolRun& operator=(const TToolRun&) = delete;

    private:
        TForm1& form_;
        bool wasEnabled_;
    };
    bool ToolRunning() const { return toolRuns_ > 0; }
    void ResetAll();
    void OpenStream();
    void Open2Click(TObject* sender);
    void Close1Click(TObject* sender);
    // A drop of exactly one file with a supported extension opens it.
    void DropFiles(const std::vector<std::string>& names);
    // An "info.dvr" with a title: the receiver recording goes to the merger.
    static bool RecordingTitle(const std::string& fileName);

    // --- tools
    void RawCutter1Click(TObject* sender);
    void FileMerger1Click(TObject* sender);
    // Creates the merger window when needed and resets it in the language.
    void PrepareFileMerger();

    // --- texts
    void SetGermanTexts();
    void SetEnglishTexts();
    void ApplyTexts(bool german);

    // --- help menu and link
    void Hilfe1Click(TObject* sender);
    void Changes1Click(TObject* sender);
    void AboutClick(TObject* sender);
    void sLabelFX1Click(TObject* sender);

    // --- folders and settings
    static std::string CommonAppDataPath();
    bool CreateDataFolder();
    void WriteDefaultSettings();
    static std::string VersionText();

    // --- update check
    // HEAD: true when the answer's status is 200. Bounded in time.
    bool HttpUrlAvailable(const std::string& address, bool redirect, unsigned timeoutMs);
    // GET: the body when the status is 200, else empty. Bounded in time.
    std::string HttpGetText(const std::string& address, bool redirect, unsigned timeoutMs);
    // Fetches the release text (when UpdateCheck is on); silent on failure.
    void FetchReleaseText();
    // The version number at the start of the release text; 0 when none.
    double ReleaseTextVersion() const;

    // --- process priority
    static unsigned PriorityClassFromIndex(int index);
    static int PriorityIndexFromClass(unsigned cls);
    void ApplySavedPriority();
    bool SetPriority(unsigned cls);
    void CheckPriorityMenu();

    // --- log window placement
    // Puts the log window directly below this window, with this window's
    // width when withWidth. Where its height does not fit on the work area
    // below, it is made shorter (not below a few lines); it never moves up
    // over this window, which would hide the buttons at its bottom.
    void PlaceLogWindow(bool withWidth);
    // Places the log window, then shows it.
    void ShowLogWindow();

    // WM_DROPFILES: a drop of exactly one file is read and offered to
    // DropFiles; any other drop is finished and ignored.
    void WmDropFiles(TMessage& m);
    // WM_MOVE: the log window follows below the main window.
    void WmMove(TMessage& m);

    void WndProc(TMessage& m) override;

    // Closing was asked while a pass ran and the user chose to cancel it:
    // polled by a timer of this window until the pass has ended, then the
    // window closes.
    static constexpr UINT_PTR kCloseAfterPassTimer = 0x7457;
    static constexpr UINT kCloseAfterPassPoll = 100;
    void CloseAfterPass();

private:
    std::unique_ptr<TMainWindowView> view_;
    int toolRuns_ = 0;
    // The log window's height as the user (or its creation) left it, and
    // the height PlaceLogWindow last gave it: a window shortened to fit
    // grows back when there is room again.
    int logWantedHeight_ = 0;
    int logPlacedHeight_ = -1;
    void BuildMenus();
    void BuildLayout();
    TMenuItem* NewItem(TMenuItem* parent, const char* name, const std::string& caption, TNotifyEvent onClick = nullptr);
    void SetControlText(const std::string& name, int kind, const std::string& text);
};

extern TForm1* Form1;

// Seams for tests and for the start-up (all empty by default).
// The command-line parameters after the program name; when not set, the
// process's own.
void SetProgramParameters(std::vector<std::string> params);
std::vector<std::string> ProgramParameters();
// Opens a document or web page with the shell; tests can catch the calls.
extern std::function<void(const std::string& file, const std::string& params, const std::string& dir)> ShellOpenHook;
void ShellOpen(const std::string& file, const std::string& params, const std::string& dir);
// Replaces the common application-data folder (tests).
extern std::function<std::string()> CommonAppDataHook;

// The address of the release text for a `Language` value; tests point it at
// a server of their own.
extern std::function<std::string(const std::string& language)> ReleaseTextAddressHook;

// The maker's home pages behind the status-bar link.
extern const char* const kHomePageGerman;
extern const char* const kHomePageEnglish;

} // namespace tw
