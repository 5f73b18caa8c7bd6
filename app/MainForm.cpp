#include "app/MainForm.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "app/AboutForm.h"
#include "app/AppSkin.h"
#include "app/ChangesForm.h"
#include "app/HttpClient.h"
#include "app/LogForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "app/SettingsForm.h"
#include "app/UpdateForm.h"
#include "analysis/AppLog.h"
#include "analysis/FilterProbe.h"
#include "analysis/MainTexts.h"
#include "analysis/UpdateCheck.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sDialogs.h"
#include "skin/controls/sGroupBox.h"
#include "skin/controls/sLabel.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/data/sSkinManager.h"
#include "tools/FileMergerForm.h"
#include "app/PacketTools.h"
#include "tools/RawCutterForm.h"
#include "tools/engine/DvrParts.h"
#include "ui/Application.h"
#include "ui/ImageFormats.h"

namespace tw {

TForm1* Form1 = nullptr;

const char* const kHomePageGerman = "https://www.orvalin.example/tarnwick/de/";
const char* const kHomePageEnglish = "https://www.orvalin.example/tarnwick/en/";

std::function<void(const std::string&, const std::string&, const std::string&)> ShellOpenHook;
std::function<std::string()> CommonAppDataHook;
std::function<std::string(const std::string&)> ReleaseTextAddressHook;

namespace {

TMainWindowViewFactory g_viewFactory;
bool g_paramsSet = false;
std::vector<std::string> g_params;
// True until the main window is activated the first time (process-wide).
bool g_firstActivation = true;

// The least outer size of the main window. The width keeps the timeline's
// Duration value (right edge 492) inside the stream area, which gets 7/10 of
// the width; the height gives the step panels (39/448 of the preparation
// box's height) room for their result line (top 20, 16 high) over the bevel.
constexpr int kMinWidth = 730, kMinHeight = 550;

const char* const kStepPanels[] = {"sPanel12", "sPanel14", "sPanel15", "sPanel16", "sPanel17",
                                   "sPanel18", "sPanel19", "sPanel20", "sPanel21", "sPanel22"};
const char* const kStepLabels[] = {"GarbageScanLabel", "PIDScanLabel",    "PATScanLabel",       "PMTScanLabel",
                                   "PATRebuildLabel",  "PCRCheckLabel",   "PMTRebuildLabel",    "StartEndCheckLabel",
                                   "VideoDetailScanLabel", "AudioDetailScanLabel"};

TControl* FindControl(TComponent* owner, const std::string& name) {
    return dynamic_cast<TControl*>(owner->FindComponent(name));
}

} // namespace

void SetMainWindowViewFactory(TMainWindowViewFactory factory) { g_viewFactory = std::move(factory); }

void SetProgramParameters(std::vector<std::string> params) {
    g_params = std::move(params);
    g_paramsSet = true;
}

std::vector<std::string> ProgramParameters() {
    if (g_paramsSet) return g_params;
    std::vector<std::string> out;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv) {
        for (int i = 1; i < argc; ++i) out.push_back(WideToUtf8(argv[i]));
        LocalFree(argv);
    }
    return out;
}

void ShellOpen(const std::string& file, const std::string& params, const std::string& dir) {
    if (ShellOpenHook) {
        ShellOpenHook(file, params, dir);
        return;
    }
    std::wstring f = Utf8ToWide(file), p = Utf8ToWide(params), d = Utf8ToWide(dir);
    ShellExecuteW(Form1 ? Form1->Handle() : nullptr, L"open", f.c_str(), p.empty() ? nullptr : p.c_str(),
                  d.empty() ? nullptr : d.c_str(), SW_SHOWNORMAL);
}

// ---------------------------------------------------------------- creation

TForm1::TForm1(TComponent* owner) : TForm(owner) {
    SetName("Form1");
    SetBounds(0, 0, 760, 600);
    // Smaller, the step results, the timeline's values and the buttons of the
    // bar below no longer show whole (see FormResize).
    Constraints().MinWidth = kMinWidth;
    Constraints().MinHeight = kMinHeight;
    SetPosition(poScreenCenter);
    SetShowHint(true);
    BuildMenus();
    BuildLayout();

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->SetName("OpenDialog1");
    OpenDialog1->SetOptions(ofHideReadOnly | ofFileMustExist | ofEnableSizing);
    // The tools' open dialog (raw cutter, packet filter, packet editor).
    OpenDialog2 = new skin::TsOpenDialog(this);
    OpenDialog2->SetName("OpenDialog2");
    OpenDialog2->SetOptions(ofHideReadOnly | ofFileMustExist | ofEnableSizing);

    auto timer = [this](const char* name, uint32_t ms, void (TForm1::*handler)(TObject*)) {
        auto* t = new TThreadedTimer(this);
        t->SetName(name);
        t->SetInterval(ms);
        t->OnTimer = [this, handler](TObject* s) { (this->*handler)(s); };
        return t;
    };
    UpdateLabelTimer = timer("UpdateLabelTimer", 500, &TForm1::UpdateLabelTimerTimer);
    ParameterStartTimer = timer("ParameterStartTimer", 250, &TForm1::ParameterStartTimerTimer);
    GettingSystemInfoTimer = timer("GettingSystemInfoTimer", 200, &TForm1::GettingSystemInfoTimerTimer);
    ThreadedTimer1 = timer("ThreadedTimer1", 2000, &TForm1::ThreadedTimer1Timer);
    DirectShowInfo1 = new TDirectShowInfo(this);
    DirectShowInfo1->SetName("DirectShowInfo1");
    sSkinManager1 = CreateProgramSkinManager(this);

    if (g_viewFactory) view_ = g_viewFactory(*this);

    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnActivate = [this](TObject* s) { FormActivate(s); };
    OnResize = [this](TObject* s) { FormResize(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
    LoadTree();
    ThreadedTimer1->SetEnabled(true);
}

TForm1::~TForm1() {
    // The view refers to controls of this window: it goes first.
    view_.reset();
    delete ReleaseText;
    ReleaseText = nullptr;
    if (Form1 == this) Form1 = nullptr;
}

TMenuItem* TForm1::NewItem(TMenuItem* parent, const char* name, const std::string& caption, TNotifyEvent onClick) {
    auto* item = new TMenuItem(this);
    item->SetName(name);
    item->SetCaption(caption);
    item->OnClick = std::move(onClick);
    parent->Add(item);
    return item;
}

void TForm1::BuildMenus() {
    MainMenu1 = new TMainMenu(this);
    MainMenu1->SetName("MainMenu1");
    TMenuItem* root = MainMenu1->Items();
    File1 = NewItem(root, "File1", "File");
    Open2 = NewItem(File1, "Open2", "Open", [this](TObject* s) { Open2Click(s); });
    Open2->SetShortCut(ShortCut('O', ssCtrl));
    NewItem(File1, "N1", "-");
    Close1 = NewItem(File1, "Close1", "Close", [this](TObject* s) { Close1Click(s); });

    Settings1 = NewItem(root, "Settings1", "Settings");
    Preferences1 = NewItem(Settings1, "Preferences1", "Preferences", [this](TObject* s) { Preferences1Click(s); });
    Priority1 = NewItem(Settings1, "Priority1", "Priority");
    auto prio = [this](const char* name, const char* caption, unsigned cls) {
        TMenuItem* i = NewItem(Priority1, name, caption, [this, cls](TObject*) {
            SetPriority(cls);
            CheckPriorityMenu();
        });
        i->SetRadioItem(true);
        i->SetGroupIndex(1);
        return i;
    };
    IDLE1 = prio("IDLE1", "IDLE", IDLE_PRIORITY_CLASS);
    BELOWNORMALPRIORITYCLASS1 = prio("BELOWNORMALPRIORITYCLASS1", "BELOW NORMAL", BELOW_NORMAL_PRIORITY_CLASS);
    NORMAL1 = prio("NORMAL1", "NORMAL", NORMAL_PRIORITY_CLASS);
    ABOVENORMAL1 = prio("ABOVENORMAL1", "ABOVE NORMAL", ABOVE_NORMAL_PRIORITY_CLASS);
    HIGH1 = prio("HIGH1", "HIGH", HIGH_PRIORITY_CLASS);
    REALTIME1 = prio("REALTIME1", "REALTIME", REALTIME_PRIORITY_CLASS);
    NORMAL1->SetChecked(true);

    Tools1 = NewItem(root, "Tools1", "Tools");
    Tools1->SetVisible(false);
    AddPacketToolItems(*this, Tools1);

    Help1 = NewItem(root, "Help1", "Help");
    Hilfe1 = NewItem(Help1, "Hilfe1", "Manual", [this](TObject* s) { Hilfe1Click(s); });
    Changes1 = NewItem(Help1, "Changes1", "Changes Log", [this](TObject* s) { Changes1Click(s); });
    NewItem(Help1, "N2", "-");
    About = NewItem(Help1, "About", "About", [this](TObject* s) { AboutClick(s); });
    RawCutter1 = NewItem(Tools1, "RawCutter1", "Raw Cutter", [this](TObject* s) { RawCutter1Click(s); });
    FileMerger1 = NewItem(Tools1, "FileMerger1", "File Merger", [this](TObject* s) { FileMerger1Click(s); });
    Tools1->SetVisible(true);
    SetMenu(MainMenu1);
}

void TForm1::BuildLayout() {
    sStatusBar1 = new skin::TsPanel(this);
    sStatusBar1->SetName("sStatusBar1");
    sStatusBar1->SetParent(this);
    sStatusBar1->SetAlign(alBottom);
    sStatusBar1->SetHeight(22);
    sStatusBar1->SetBevelOuter(bvLowered);
    sStatusBar1->SetShowCaption(false);

    sLabelStatus = new skin::TsLabel(this);
    sLabelStatus->SetName("sLabelStatus");
    sLabelStatus->SetParent(sStatusBar1);
    sLabelStatus->SetBounds(6, 4, 400, 14);
    sLabelStatus->SetCaption("");

    sLabelFX1 = new skin::TsLabel(this);
    sLabelFX1->SetName("sLabelFX1");
    sLabelFX1->SetParent(sStatusBar1);
    sLabelFX1->SetAutoSize(false);
    sLabelFX1->SetBounds(Width() - 170, 3, 165, 16);
    sLabelFX1->SetCaption("www.orvalin.example");
    sLabelFX1->Font().SetColor(clBlue);
    sLabelFX1->Font().SetStyle(fsUnderline);
    sLabelFX1->SetCursor(crHandPoint);
    sLabelFX1->OnClick = [this](TObject* s) { sLabelFX1Click(s); };

    sGroupBox6 = new skin::TsGroupBox(this);
    sGroupBox6->SetName("sGroupBox6");
    sGroupBox6->SetParent(this);
    sGroupBox6->SetAlign(alBottom);
    sGroupBox6->SetHeight(54);

    sPanel10 = new skin::TsPanel(this);
    sPanel10->SetName("sPanel10");
    sPanel10->SetParent(sGroupBox6);
    sPanel10->SetBounds(0, 16, 82, 32);
    sPanel10->SetBevelOuter(bvNone);
    sPanel10->SetShowCaption(false);

    sBitBtn1 = new skin::TsBitBtn(this);
    sBitBtn1->SetName("sBitBtn1");
    sBitBtn1->SetParent(sPanel10);
    sBitBtn1->SetBounds(0, 2, 82, 28);
    sBitBtn1->SetCaption("START");
    sBitBtn1->SetEnabled(false);
    sBitBtn1->OnClick = [this](TObject*) {
        if (view_) view_->Start();
    };
    auto plain = [this](const char* name, int left, const char* caption, std::function<void()> run) {
        auto* b = new skin::TsBitBtn(this);
        b->SetName(name);
        b->SetParent(sGroupBox6);
        b->SetBounds(left, 18, 90, 28);
        b->SetCaption(caption);
        b->SetEnabled(false);
        b->OnClick = [run](TObject*) { run(); };
        return b;
    };
    sBitBtn2 = plain("sBitBtn2", 10, "Preserve", [this] { sBitBtn2Click(); });
    sBitBtn3 = plain("sBitBtn3", 106, "Patch", [this] { sBitBtn3Click(); });
    sBitBtn4 = plain("sBitBtn4", 202, "Cut", [this] { sBitBtn4Click(); });

    sGroupBox7 = new skin::TsGroupBox(this);
    sGroupBox7->SetName("sGroupBox7");
    sGroupBox7->SetParent(this);
    sGroupBox7->SetAlign(alLeft);
    sGroupBox7->SetWidth(228);
    sGroupBox7->SetCaption("Preparation steps");

    sGroupBox8 = new skin::TsGroupBox(this);
    sGroupBox8->SetName("sGroupBox8");
    sGroupBox8->SetParent(this);
    sGroupBox8->SetAlign(alClient);
    sGroupBox8->SetCaption("Identified Streams");

    sPanel3 = new skin::TsPanel(this);
    sPanel3->SetName("sPanel3");
    sPanel3->SetParent(sGroupBox8);
    sPanel3->SetAlign(alClient);
    sPanel3->SetBevelOuter(bvNone);
    sPanel3->SetShowCaption(false);
    sPanel3->OnResize = [this](TObject* s) { sPanel3Resize(s); };

    Image6 = new TImage(this);
    Image6->SetName("Image6");
    Image6->SetParent(sPanel3);
    Image6->SetBounds(0, 40, 360, 200);
    LoadPngResource(Image6->Picture(), "ABOUT");

    auto logoLabel = [this](const char* name, int top, int height, int size, bool bold) {
        auto* l = new skin::TsLabel(this);
        l->SetName(name);
        l->SetParent(sPanel3);
        l->SetAutoSize(false);
        l->SetAlignment(taCenter);
        l->SetAnchors(akLeft | akTop | akRight);
        l->SetBounds(0, top, 500, height);
        l->Font().SetSize(size);
        if (bold) l->Font().SetStyle(fsBold);
        return l;
    };
    sLabelFX13 = logoLabel("sLabelFX13", 252, 26, 14, true);
    sLabelFX12 = logoLabel("sLabelFX12", 282, 72, 10, false);
    sLabelFX12->SetWordWrap(true);
    sLabelFX15 = logoLabel("sLabelFX15", 356, 22, 10, false);
}

// ---------------------------------------------------------------- life cycle

void TForm1::FormCreate(TObject*) {
    SkinOff = false;
    // The program's folder, with a trailing backslash.
    ProgramFolder = IncludeTrailingPathDelimiter(ExtractFileDir(Application->ExeName()));
    ReleaseText = new TStringList();
    VideoPanelHeight = 74;
    TextPanelHeight = 44;
    ApplySavedPriority();
    CheckPriorityMenu();
    sSkinManager1->SetActive(!SkinOff);
    ReportSkinLoadError(sSkinManager1, LanguageIsGerman());
    // A skin picked later (the system menu's skin list) that cannot be used
    // gives way to the program's own as at start, and says so the same way.
    sSkinManager1->OnAfterChange = [this](TObject*) { ReportSkinLoadError(sSkinManager1, LanguageIsGerman()); };
    DataFolder = CommonAppDataPath() + "\\Orvalin\\Tarnwick";
    SetCaption("Orvalin Tarnwick " + VersionText());
    SetAcceptFiles(true);
    UpdateCheck = ReadBoolSetting("UpdateCheck", true);
    if (LanguageIsGerman()) SetGermanTexts();
    else SetEnglishTexts();
    // Each request is bounded in time, so a server that is down or hangs
    // delays the start by seconds at most.
    FetchReleaseText();
    if (view_) view_->ResetPanels();
    for (const char* n : {"sLabel53", "sLabel54", "sLabel55", "sLabel56", "sLabel57"})
        if (TControl* c = FindControl(this, n)) c->SetHint(MainMessage(mmAbbreviations));
    NoPreview = ReadBoolSetting("NoPreview", false);
    if (!CreateDataFolder()) {
        std::string text = DataFolderErrorText(DataFolder);
        WriteEventLog(kEventSource, text, eltError, kEventDataFolderFailed);
        Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONERROR);
        DataFolder.clear();
    }
    WriteDefaultSettings();
    if (DataFolder.empty()) {
        Application->Terminate();
        SetWindowState(wsMinimized);
    }
}

void TForm1::FormActivate(TObject*) {
    if (!g_firstActivation) return;
    g_firstActivation = false;
    GettingSystemInfoTimer->SetEnabled(true);
    if (!ProgramParameters().empty()) {
        Open2->SetEnabled(false);
        ParameterStartTimer->SetEnabled(true);
    }
}

void TForm1::ParameterStartTimerTimer(TObject*) {
    ParameterStartTimer->SetEnabled(false);
    OpenFromCommandLine();
    Open2->SetEnabled(true);
}

void TForm1::GettingSystemInfoTimerTimer(TObject*) {
    SupportedSplitters.clear();
    SupportedAudioFilters.clear();
    SupportedVideoFilters.clear();
    GettingSystemInfoTimer->SetEnabled(false);
    // Runs inside the timer's hand-over: nothing may escape. A probe that
    // fails leaves every filter missing, which only narrows the choices.
    try {
        TFilterProbeResult r = ProbeFilters(DirectShowInfo1->DirectXVersionText(),
                                            [this](const std::string& n) { return FindDirectShowFilter(n); });
        FilterProbe = r.Filters;
        SupportedSplitters = r.Splitters;
        SupportedAudioFilters = r.AudioFilters;
        SupportedVideoFilters = r.VideoFilters;
        for (const std::string& line : r.LogLines) AppendLogLine(line);
    } catch (const std::exception& e) {
        AppendLogLine("DirectShow filter probe failed: " + std::string(e.what()));
    }
}

bool TForm1::FindDirectShowFilter(const std::string& friendlyName) {
    return DirectShowInfo1->FindFilter(friendlyName).Found;
}

void TForm1::ThreadedTimer1Timer(TObject*) {
    ThreadedTimer1->SetEnabled(false);
    double v = ReleaseTextVersion();
    double lastVersion = RegReadFloat(kSettingsKey, "LastUpdateMessage_Version");
    double lastDate = RegReadFloat(kSettingsKey, "LastUpdateMessage_Date");
    if (!UpdateNoticeDue(kProgramVersion, v, lastVersion, lastDate, NowAsDays())) return;
    std::string language = RegReadString(kSettingsKey, "Language");
    auto form = std::make_unique<TUpdateForm>(this);
    UpdateForm = form.get();
    form->sLabelFX2->SetCaption(UpdateVersionText(v));
    form->SetDownloadAddress(DownloadPageAddress(language));
    form->sMemo1->Lines().SetText(ReleaseText ? ReleaseText->Text() : "");
    form->ShowModal();
    RegWriteFloat(kSettingsKey, "LastUpdateMessage_Version", v);
    RegWriteFloat(kSettingsKey, "LastUpdateMessage_Date", NowAsDays());
}

// ---------------------------------------------------------------- update check

bool TForm1::HttpUrlAvailable(const std::string& address, bool redirect, unsigned timeoutMs) {
    return HttpRequest("HEAD", address, redirect, timeoutMs).Status == 200;
}

std::string TForm1::HttpGetText(const std::string& address, bool redirect, unsigned timeoutMs) {
    THttpResponse r = HttpRequest("GET", address, redirect, timeoutMs);
    return r.Status == 200 ? r.Body : "";
}

void TForm1::FetchReleaseText() {
    if (!ReleaseText || !ReadBoolSetting("UpdateCheck", true)) return;
    std::string language = RegReadString(kSettingsKey, "Language");
    std::string address = ReleaseTextAddressHook ? ReleaseTextAddressHook(language) : ReleaseTextAddress(language);
    // Both requests share one bound: the start waits for them.
    auto start = std::chrono::steady_clock::now();
    if (!HttpUrlAvailable(address, false, kHttpTimeoutMs)) return;
    auto used = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (used >= static_cast<long long>(kHttpTimeoutMs)) return;
    ReleaseText->SetText(HttpGetText(address, false, kHttpTimeoutMs - static_cast<unsigned>(used)));
}

double TForm1::ReleaseTextVersion() const {
    return ReleaseText ? tw::ReleaseTextVersion(ReleaseText->Text()) : 0.0;
}

// ---------------------------------------------------------------- preferences

void TForm1::Preferences1Click(TObject*) {
    auto form = std::make_unique<TSettingsForm>(this);
    SettingsForm = form.get();
    bool english = RegReadString(kSettingsKey, "Language") == "ENG";
    form->SetTexts(english);
    form->DataFolder = DataFolder;
    form->Filters = FilterProbe;
    form->sEdit1->SetText(FilterProbe.DirectXVersion);
    form->sCheckBox1->SetChecked(ReadBoolSetting("ShowLogfileWindow", false));
    form->sCheckBox3->SetChecked(ReadBoolSetting("UpdateCheck", true));
    form->sCheckBox5->SetChecked(ReadBoolSetting("PlaySound", true));
    form->sCheckBox4->SetChecked(ReadBoolSetting("PESDuplicatePacketHandling", false));
    form->sCheckBox6->SetChecked(ReadBoolSetting("NoTeletext", false));
    form->sCheckBox7->SetChecked(ReadBoolSetting("NoSubtitles", false));
    form->sCheckBox2->SetChecked(ReadBoolSetting("NoPreview", false));
    // A stored position outside a list (a hand-edited registry) counts as
    // the list's default, so OK never stores "no choice".
    auto position = [](const char* name, int count) {
        int v = ReadIntSetting(name, 0);
        return v >= 0 && v < count ? v : 0;
    };
    form->sComboBox4->SetItemIndex(position("MpegSplitter", 3));
    form->sComboBox4Change(form->sComboBox4);
    form->sComboBox2->SetItemIndex(position("MpegVideoFilter", 3));
    form->sComboBox3->SetItemIndex(position("H264VideoFilter", 3));
    form->sComboBox5->SetItemIndex(position("MpegAudioFilter", 2));
    form->sRadioGroup1->SetItemIndex(position("TimerPatchMode", 3));
    if (form->ShowModal() != mrOk) return;

    bool english2 = form->sComboBox1->ItemIndex() == 1;
    RegWriteString(kSettingsKey, "Language", english2 ? "ENG" : "GER");
    ApplyTexts(!english2);
    bool showLog = form->sCheckBox1->Checked();
    if (showLog) ShowLogWindow();
    else if (Form3) Form3->Hide();
    RegWriteBool(kSettingsKey, "ShowLogfileWindow", showLog);
    NoPreview = form->sCheckBox2->Checked();
    RegWriteBool(kSettingsKey, "NoPreview", NoPreview);
    RegWriteBool(kSettingsKey, "UpdateCheck", form->sCheckBox3->Checked());
    RegWriteBool(kSettingsKey, "PESDuplicatePacketHandling", form->sCheckBox4->Checked());
    RegWriteBool(kSettingsKey, "NoTeletext", form->sCheckBox6->Checked());
    RegWriteBool(kSettingsKey, "NoSubtitles", form->sCheckBox7->Checked());
    RegWriteBool(kSettingsKey, "PlaySound", form->sCheckBox5->Checked());
    RegWriteInteger(kSettingsKey, "MpegSplitter", form->sComboBox4->ItemIndex());
    RegWriteInteger(kSettingsKey, "MpegAudioFilter", form->sComboBox5->ItemIndex());
    RegWriteInteger(kSettingsKey, "MpegVideoFilter", form->sComboBox2->ItemIndex());
    RegWriteInteger(kSettingsKey, "H264VideoFilter", form->sComboBox3->ItemIndex());
    RegWriteInteger(kSettingsKey, "TimerPatchMode", form->sRadioGroup1->ItemIndex());
}

void TForm1::UpdateLabelTimerTimer(TObject*) {
    if (view_) view_->ProgressTick();
    UpdateLabelTimer->SetTag((UpdateLabelTimer->Tag() + 1) % 3);
    if (UpdateLabelTimer->Tag() == 0) {
        if (view_) view_->RefreshSizeLabels();
        Application->ProcessMessages();
    }
}

void TForm1::FormResize(TObject*) {
    if (IsLoading()) return;
    sLabelFX1->SetLeft(Width() - 170);
    sGroupBox7->SetWidth(Width() * 180 / 600);
    if (TControl* first = FindControl(this, "sLabelFX11")) {
        for (const char* n : kStepLabels)
            if (TControl* c = FindControl(this, n)) c->SetWidth(first->Width());
    }
    int stepHeight = sGroupBox7->Height() * 39 / 448;
    for (const char* n : kStepPanels)
        if (TControl* c = FindControl(this, n)) c->SetHeight(stepHeight);
    sPanel10->SetLeft(sGroupBox6->Width() / 2 - 41);
    PlaceLogWindow(true);
    if (view_) view_->Resized();
}

void TForm1::sPanel3Resize(TObject*) {
    Image6->SetLeft(sPanel3->Width() / 2 - Image6->Width() / 2);
    for (TLabel* l : {sLabelFX13, sLabelFX12, sLabelFX15}) l->SetWidth(sPanel3->Width());
}

void TForm1::PlaceLogWindow(bool withWidth) {
    if (!Form3) return;
    if (Form3->Height() != logPlacedHeight_) logWantedHeight_ = Form3->Height();
    int top = Top() + Height();
    int height = logWantedHeight_;
    const RECT mainRect{Left(), Top(), Left() + Width(), top};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (HMONITOR monitor = MonitorFromRect(&mainRect, MONITOR_DEFAULTTONEAREST);
        monitor && GetMonitorInfoW(monitor, &info)) {
        // Too little room below: it is shortened to the room, but not below
        // a few lines. With less room than that (a small screen, this window
        // maximized) it still stays below this window, partly or wholly past
        // the work area: moved up, it would cover the status bar and the
        // START row, and the user can move it where it suits.
        constexpr int kLeastHeight = 120;
        const int room = info.rcWork.bottom - top;
        if (height > room) height = std::max(room, std::min(height, kLeastHeight));
    }
    logPlacedHeight_ = height;
    Form3->SetBounds(Left(), top, withWidth ? Width() : Form3->Width(), height);
}

void TForm1::ShowLogWindow() {
    if (!Form3) return;
    PlaceLogWindow(false);
    Form3->Show();
}

void TForm1::FormCloseQuery(TObject*, bool& canClose) {
    // A tool holds the progress window and its files until it ends; it is
    // stopped by its own cancel button, not by closing the window under it.
    if (ToolRunning()) {
        canClose = false;
        return;
    }
    // A running pass holds readers and writers of this window: closing now
    // would pull them away. Offer to cancel instead; the pass ends itself.
    if (view_ && view_->Busy()) {
        canClose = false;
        if (MessageDlg(MainMessage(mmAbortQuestion), mtConfirmation, mbYesNo) == mrYes) {
            if (Form2) Form2->CancelFlag = true;
            view_->CancelRequested();
            // The user asked to close: once the pass has ended (it unwinds
            // at its next packet), the close goes ahead.
            if (HandleAllocated()) SetTimer(Handle(), kCloseAfterPassTimer, kCloseAfterPassPoll, nullptr);
        }
    }
}

void TForm1::CloseAfterPass() {
    // Not before the pass has ended, nor over its last message: the user
    // reads what became of the copy first.
    if ((view_ && view_->Busy()) || Application->ModalLevel() > 0) return;
    KillTimer(Handle(), kCloseAfterPassTimer);
    Close();
}

void TForm1::FormClose(TObject*, TCloseAction& action) {
    if (Form3) {
        TForm3* f = Form3;
        Form3 = nullptr;
        delete f;
    }
    if (Form2) {
        TForm2* f = Form2;
        Form2 = nullptr;
        delete f;
    }
    delete ReleaseText;
    ReleaseText = nullptr;
    action = caFree;
}

void TForm1::WmDropFiles(TMessage& m) {
    HDROP drop = reinterpret_cast<HDROP>(m.WParam);
    std::vector<std::string> names;
    // Only a single file is taken: the names of a larger drop are not read.
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
        UINT len = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring w(len + 1, L'\0');
        w.resize(DragQueryFileW(drop, 0, w.data(), len + 1));
        names.push_back(WideToUtf8(w));
    }
    // The drop is finished before the (long) analysis starts, so the
    // shell is not held waiting.
    DragFinish(drop);
    m.Result = 0;
    DropFiles(names);
}

void TForm1::WmMove(TMessage&) { PlaceLogWindow(false); }

void TForm1::WndProc(TMessage& m) {
    if (m.Msg == WM_DROPFILES) {
        WmDropFiles(m);
        return;
    }
    if (m.Msg == WM_TIMER && m.WParam == kCloseAfterPassTimer) {
        CloseAfterPass();
        m.Result = 0;
        return;
    }
    TForm::WndProc(m);
    if (m.Msg == WM_MOVE) WmMove(m);
}

// ---------------------------------------------------------------- opening

bool TForm1::IsSupportedStreamFile(const std::string& fileName) {
    std::string ext = LowerCase(ExtractFileExt(fileName));
    return ext == ".ts" || ext == ".trp" || ext == ".m2ts" || ext == ".ts4" || ext == ".dvr";
}

bool TForm1::CanOpenNow() const { return !(view_ && view_->Busy()) && !ToolRunning(); }

TForm1::TToolRun::TToolRun(TForm1& form) : form_(form), wasEnabled_(IsWindowEnabled(form.Handle()) != FALSE) {
    ++form_.toolRuns_;
    EnableWindow(form_.Handle(), FALSE);
}

TForm1::TToolRun::~TToolRun() {
    if (--form_.toolRuns_ == 0 && wasEnabled_) EnableWindow(form_.Handle(), TRUE);
}

void TForm1::DropFiles(const std::vector<std::string>& names) {
    if (names.size() != 1 || !IsSupportedStreamFile(names[0]) || !CanOpenNow()) return;
    OpenRecording(names[0]);
}

void TForm1::OpenFromCommandLine() {
    std::vector<std::string> params = ProgramParameters();
    if (params.empty()) return;
    const std::string& name = params[0];
    if (!FileExists(name)) return;
    if (!IsSupportedStreamFile(name) && LowerCase(ExtractFileName(name)) != "info.dvr") return;
    if (!CanOpenNow()) return;
    OpenRecording(name);
}

void TForm1::OpenRecording(const std::string& fileName) {
    OpenDialog1->SetFileName(fileName);
    ResetAll();
    OpenStream();
}

void TForm1::ResetAll() {
    for (TBitBtn* b : {sBitBtn1, sBitBtn2, sBitBtn3, sBitBtn4}) b->SetEnabled(false);
    ClearLog();
    if (Form3) {
        PlaceLogWindow(true);
        if (ReadBoolSetting("ShowLogfileWindow", false)) Form3->Show();
    }
    sPanel3->SetVisible(true);
    sLabelStatus->SetCaption("");
    if (view_) view_->ResetAll();
}

bool TForm1::RecordingTitle(const std::string& fileName) {
    if (LowerCase(ExtractFileName(fileName)) != "info.dvr") return false;
    try {
        return !ReadDvrInfoTitle(fileName).empty();
    } catch (const std::exception&) {
        // An index that cannot be read is no receiver recording.
        return false;
    }
}

void TForm1::OpenStream() {
    const std::string name = OpenDialog1->FileName();
    if (RecordingTitle(name)) {
        PrepareFileMerger();
        FileMergerForm->RecordingIndexPath = name;
        FileMergerForm->ShowModal();
        OpenDialog1->SetFileName(FileMergerForm->sFilenameEdit1->Text());
        delete FileMergerForm;
        return;
    }
    sPanel3->SetVisible(view_ == nullptr);
    sLabelStatus->SetCaption(ExtractFileName(name));
    if (view_) view_->OpenStream(name);
    else AppendLogLine("Opening file " + name);
}

void TForm1::Open2Click(TObject*) {
    Application->ProcessMessages();
    if (!CanOpenNow()) return;
    SetAcceptFiles(false);
    ResetAll();
    if (OpenDialog1->Execute()) OpenStream();
    SetAcceptFiles(true);
}

void TForm1::Close1Click(TObject*) { Close(); }

// ---------------------------------------------------------------- tools

void TForm1::sBitBtn2Click() {
    if (view_) view_->Preserve();
}

void TForm1::sBitBtn3Click() {
    if (view_) view_->Patch();
}

void TForm1::RawCutter1Click(TObject*) {
    if (!CanOpenNow() || !RawCutterForm || !OpenDialog2->Execute()) return;
    ResetAll();
    TToolRun running(*this);
    RawCutterForm->Run(OpenDialog2->FileName());
}

void TForm1::PrepareFileMerger() {
    if (!FileMergerForm) FileMergerForm = new TFileMergerForm(Application);
    FileMergerForm->German = LanguageIsGerman();
    FileMergerForm->ResetMerger();
}

void TForm1::FileMerger1Click(TObject*) {
    if (!CanOpenNow()) return;
    ResetAll();
    PrepareFileMerger();
    FileMergerForm->ShowModal();
    delete FileMergerForm;
}

// ---------------------------------------------------------------- texts

void TForm1::SetGermanTexts() { ApplyTexts(true); }
void TForm1::SetEnglishTexts() { ApplyTexts(false); }

void TForm1::SetControlText(const std::string& name, int kind, const std::string& text) {
    TComponent* c = FindComponent(name);
    if (!c) return;
    if (auto* item = dynamic_cast<TMenuItem*>(c)) {
        if (kind == ctCaption) item->SetCaption(text);
        else if (kind == ctHint) item->SetHint(text);
    } else if (auto* dlg = dynamic_cast<TOpenDialog*>(c)) {
        if (kind == ctFilter) dlg->SetFilter(text);
    } else if (auto* ctl = dynamic_cast<TControl*>(c)) {
        if (kind == ctCaption) ctl->SetCaption(text);
        else if (kind == ctHint) ctl->SetHint(text);
    }
}

void TForm1::ApplyTexts(bool german) {
    for (const TControlText& t : MainControlTexts()) SetControlText(t.control, t.kind, german ? t.german : t.english);
    MainMessages().SetLanguage(german);
    // A width change runs the window's re-layout for the new texts.
    int w = Width();
    SetWidth(w + 1);
    SetWidth(w);
    for (const char* n : {"sLabel53", "sLabel54", "sLabel55", "sLabel56", "sLabel57"})
        if (TControl* c = FindControl(this, n)) c->SetHint(MainMessage(mmAbbreviations));
    if (view_) view_->LanguageChanged(german);
}

// ---------------------------------------------------------------- help menu

void TForm1::Hilfe1Click(TObject*) {
    std::string file = ProgramFolder + (LanguageIsGerman() ? "Handbuch.pdf" : "Manual.pdf");
    if (FileExists(file)) ShellOpen(file, "/n,/e,", ProgramFolder);
}

void TForm1::Changes1Click(TObject*) {
    std::string file = ProgramFolder + "Release.txt";
    if (!FileExists(file) || !ChangesForm) return;
    LoadShownText(ChangesForm->sMemo_Ger->Lines(), file);
    ChangesForm->SetWidth(600);
    ChangesForm->SetCaption(StripHotkey(Changes1->Caption()));
    ChangesForm->ShowModal();
}

void TForm1::AboutClick(TObject*) {
    if (!Form5) return;
    Form5->SetCaption(StripHotkey(About->Caption()));
    Form5->sLabel2->SetCaption("V " + VersionText());
    Form5->ShowModal();
}

void TForm1::sLabelFX1Click(TObject*) { ShellOpen(LanguageIsGerman() ? kHomePageGerman : kHomePageEnglish, "", ""); }

// ---------------------------------------------------------------- folders

std::string TForm1::CommonAppDataPath() {
    if (CommonAppDataHook) return CommonAppDataHook();
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path))) return std::string();
    return WideToUtf8(path);
}

bool TForm1::CreateDataFolder() {
    if (!DirectoryExists(DataFolder)) ForceDirectories(DataFolder);
    return DirectoryExists(DataFolder);
}

void TForm1::WriteDefaultSettings() { tw::WriteDefaultSettings(); }

std::string TForm1::VersionText() { return tw::VersionText(); }

// ---------------------------------------------------------------- priority

unsigned TForm1::PriorityClassFromIndex(int index) {
    switch (index) {
    case 1: return IDLE_PRIORITY_CLASS;
    case 2: return BELOW_NORMAL_PRIORITY_CLASS;
    case 4: return ABOVE_NORMAL_PRIORITY_CLASS;
    case 5: return HIGH_PRIORITY_CLASS;
    case 6: return REALTIME_PRIORITY_CLASS;
    default: return NORMAL_PRIORITY_CLASS;
    }
}

int TForm1::PriorityIndexFromClass(unsigned cls) {
    switch (cls) {
    case IDLE_PRIORITY_CLASS: return 1;
    case BELOW_NORMAL_PRIORITY_CLASS: return 2;
    case ABOVE_NORMAL_PRIORITY_CLASS: return 4;
    case HIGH_PRIORITY_CLASS: return 5;
    case REALTIME_PRIORITY_CLASS: return 6;
    default: return 3;
    }
}

void TForm1::ApplySavedPriority() {
    unsigned cls = PriorityClassFromIndex(RegReadInteger(kSettingsKey, "Priority"));
    if (GetPriorityClass(GetCurrentProcess()) != cls) SetPriorityClass(GetCurrentProcess(), cls);
}

bool TForm1::SetPriority(unsigned cls) {
    if (!SetPriorityClass(GetCurrentProcess(), cls)) return false;
    RegWriteInteger(kSettingsKey, "Priority", PriorityIndexFromClass(cls));
    return true;
}

void TForm1::CheckPriorityMenu() {
    TMenuItem* items[] = {IDLE1, BELOWNORMALPRIORITYCLASS1, NORMAL1, ABOVENORMAL1, HIGH1, REALTIME1};
    for (TMenuItem* i : items) i->SetChecked(false);
    int index = PriorityIndexFromClass(GetPriorityClass(GetCurrentProcess()));
    items[index - 1]->SetChecked(true);
}

} // namespace tw
