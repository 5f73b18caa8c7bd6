// The start-up in its order, the main window's life cycle, opening by
// command line and drag and drop, and the language switch.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "app/AboutForm.h"
#include "app/ChangesForm.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/AppLog.h"
#include "analysis/MainTexts.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

struct FakeView : TMainWindowView {
    std::vector<std::string> opened;
    int resets = 0;
    int panelResets = 0;
    int languageChanges = 0;
    bool busy = false;
    int cancels = 0;
    void CancelRequested() override { ++cancels; }
    void ResetPanels() override { ++panelResets; }
    void ResetAll() override { ++resets; }
    void OpenStream(const std::string& n) override { opened.push_back(n); }
    void LanguageChanged(bool) override { ++languageChanges; }
    bool Busy() const override { return busy; }
};

FakeView* g_view = nullptr;
std::string g_recording;
std::vector<std::string> g_traceAtStart;
bool g_defaultsBefore[3];
struct SavedBool {
    const char* name;
    bool present;
    bool value;
};
std::vector<SavedBool> g_saved;

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

HGLOBAL BuildDrop(const std::vector<std::string>& files) {
    std::wstring all;
    for (const std::string& f : files) {
        all += Utf8ToWide(f);
        all += L'\0';
    }
    all += L'\0';
    HGLOBAL h = GlobalAlloc(GHND, sizeof(DROPFILES) + all.size() * sizeof(wchar_t));
    auto* df = static_cast<DROPFILES*>(GlobalLock(h));
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    std::memcpy(reinterpret_cast<BYTE*>(df) + sizeof(DROPFILES), all.data(), all.size() * sizeof(wchar_t));
    GlobalUnlock(h);
    return h;
}

void Drop(const std::vector<std::string>& files) {
    SendMessageW(Form1->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(BuildDrop(files)), 0);
}

bool PumpUntil(const std::function<bool()>& pred, int ms) {
    uint64_t end = GetTickCount64Ms() + static_cast<uint64_t>(ms);
    while (GetTickCount64Ms() < end) {
        Application->ProcessMessages();
        if (pred()) return true;
        Sleep(5);
    }
    return pred();
}

class StartupTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // First start: the defaults are missing and English is the language.
        for (const char* n : {"NoTeletext", "UpdateCheck", "PlaySound", "Language"}) {
            g_saved.push_back({n, RegValueExists(kSettingsKey, n), RegReadBool(kSettingsKey, n)});
            RegRemoveValue(kSettingsKey, n);
        }
        g_recording = TempFolder() + "tarnwick_startup_test.ts";
        {
            TFileStream f(g_recording, fmCreate);
            uint8_t packet[188] = {0x47, 0x1F, 0xFF, 0x10};
            f.WriteBuffer(packet, sizeof packet);
        }
        SetProgramParameters({g_recording});
        SetMainWindowViewFactory([](TForm1&) {
            auto v = std::make_unique<FakeView>();
            g_view = v.get();
            return v;
        });
        ASSERT_EQ(RunStartup(false), 0);
        g_traceAtStart = StartupTrace();
        g_defaultsBefore[0] = RegReadBool(kSettingsKey, "NoTeletext");
        g_defaultsBefore[1] = RegReadBool(kSettingsKey, "UpdateCheck");
        g_defaultsBefore[2] = RegReadBool(kSettingsKey, "PlaySound");
    }
    static void TearDownTestSuite() {
        for (const SavedBool& s : g_saved) {
            if (std::string(s.name) == "Language") continue;
            if (s.present) RegWriteBool(kSettingsKey, s.name, s.value);
            else RegRemoveValue(kSettingsKey, s.name);
        }
        RemoveFile(g_recording);
        SetMainWindowViewFactory(nullptr);
    }
};

TEST_F(StartupTest, WindowsAreCreatedInOrderAndDefaultsWrittenOnFirstStart) {
    EXPECT_EQ(g_traceAtStart,
              (std::vector<std::string>{"Language", "TForm1", "TTrashForm", "StdTexts", "TChangesForm", "TRawCutterForm",
                                        "TForm5", "TForm2", "TForm3"}));
    ASSERT_NE(Form1, nullptr);
    EXPECT_EQ(Application->MainForm(), Form1);
    ASSERT_NE(Form2, nullptr);
    ASSERT_NE(Form3, nullptr);
    EXPECT_TRUE(g_defaultsBefore[0] && g_defaultsBefore[1] && g_defaultsBefore[2]);
    EXPECT_FALSE(RegValueExists(kSettingsKey, "NoSubtitles"));
    EXPECT_EQ(Application->Title(), "Tarnwick");
    EXPECT_EQ(Form1->Caption(), "Orvalin Tarnwick " + VersionText());
    EXPECT_TRUE(StdTextsAreEnglish());
    EXPECT_EQ(StdText(stYes), "&Yes");
    EXPECT_EQ(g_view->panelResets, 1);
    EXPECT_FALSE(Form1->DataFolder.empty());
    EXPECT_TRUE(DirectoryExists(Form1->DataFolder));
    EXPECT_NE(Form1->DataFolder.find("\\Orvalin\\Tarnwick"), std::string::npos);
    // Every log line reaches the log window.
    AppendLogLine("first line of the log");
    EXPECT_EQ(Form3->sMemo1->Lines().Get(Form3->sMemo1->Lines().Count() - 1), "first line of the log");
}

TEST_F(StartupTest, TheCommandLineRecordingOpensAfterTheFirstActivation) {
    Form1->Show();
    SetForegroundWindow(Form1->Handle());
    ASSERT_TRUE(PumpUntil([] { return !g_view->opened.empty(); }, 8000)) << "no activation or no tick";
    EXPECT_EQ(g_view->opened[0], g_recording);
    EXPECT_EQ(Form1->OpenDialog1->FileName(), g_recording);
    EXPECT_GE(g_view->resets, 1) << "ResetAll runs before OpenStream";
    EXPECT_TRUE(Form1->Open2->Enabled());
    EXPECT_FALSE(Form1->ParameterStartTimer->Enabled());
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(g_view->opened.size(), 1u) << "once only";
}

// After the first activation the filter probe runs once; two seconds after
// the window's creation the update comparison runs once. Both timers are
// one shot: they disable themselves in their tick.
TEST_F(StartupTest, TheProbeAndTheUpdateComparisonEachRunOnce) {
    EXPECT_EQ(Form1->GettingSystemInfoTimer->Interval(), 200u);
    EXPECT_EQ(Form1->ThreadedTimer1->Interval(), 2000u);
    EXPECT_EQ(Form1->UpdateLabelTimer->Interval(), 500u);
    EXPECT_FALSE(Form1->UpdateLabelTimer->Enabled()) << "only while a pass runs";
    Form1->Show();
    SetForegroundWindow(Form1->Handle());
    EXPECT_TRUE(PumpUntil([] { return Form1->GettingSystemInfoTimer->TickCount() > 0; }, 8000)) << "no probe";
    EXPECT_TRUE(PumpUntil([] { return Form1->ThreadedTimer1->TickCount() > 0; }, 8000)) << "no comparison";
    PumpUntil([] { return false; }, 2500);
    EXPECT_FALSE(Form1->GettingSystemInfoTimer->Enabled());
    EXPECT_FALSE(Form1->ThreadedTimer1->Enabled());
    EXPECT_EQ(Form1->GettingSystemInfoTimer->TickCount(), 1u);
    EXPECT_EQ(Form1->ThreadedTimer1->TickCount(), 1u);
}

TEST_F(StartupTest, ADroppedRecordingIsTakenOthersAreRefused) {
    g_view->opened.clear();
    Drop({"C:\\rec\\movie.rec"});
    Drop({"C:\\rec\\a.ts", "C:\\rec\\b.ts"});
    Drop({"C:\\rec\\notes.txt"});
    EXPECT_TRUE(g_view->opened.empty());
    Drop({"C:\\rec\\Film.M2TS"});
    ASSERT_EQ(g_view->opened.size(), 1u);
    EXPECT_EQ(g_view->opened[0], "C:\\rec\\Film.M2TS");
    // While a pass runs nothing new is opened.
    g_view->busy = true;
    Drop({"C:\\rec\\other.ts"});
    g_view->busy = false;
    EXPECT_EQ(g_view->opened.size(), 1u);
    EXPECT_TRUE(TForm1::IsSupportedStreamFile("x.TRP"));
    EXPECT_TRUE(TForm1::IsSupportedStreamFile("C:\\a.b\\x.ts4"));
    EXPECT_FALSE(TForm1::IsSupportedStreamFile("C:\\a.ts\\x"));
}

TEST_F(StartupTest, CommandLineNamesAreCheckedBeforeOpening) {
    g_view->opened.clear();
    std::string dir = TempFolder() + "tarnwick_rec\\";
    ForceDirectories(dir);
    std::string info = dir + "INFO.DVR", rec = dir + "movie.rec";
    { TFileStream f(info, fmCreate); }
    { TFileStream f(rec, fmCreate); }
    SetProgramParameters({rec});
    Form1->OpenFromCommandLine();
    SetProgramParameters({dir + "missing.ts"});
    Form1->OpenFromCommandLine();
    EXPECT_TRUE(g_view->opened.empty()) << "a .rec file and a missing file are ignored";
    SetProgramParameters({info});
    Form1->OpenFromCommandLine();
    ASSERT_EQ(g_view->opened.size(), 1u) << "the receiver's info file opens whatever its case";
    EXPECT_EQ(g_view->opened[0], info);
    RemoveFile(info);
    RemoveFile(rec);
    SetProgramParameters({g_recording});
}

TEST_F(StartupTest, ClosingWhileBusyOffersToCancelAndStaysOpen) {
    g_view->busy = true;
    SetDialogHook([](TDialogRequest& r) -> std::optional<int> {
        EXPECT_EQ(r.Text, MainMessage(mmAbortQuestion));
        return mrYes;
    });
    bool canClose = true;
    Form1->FormCloseQuery(nullptr, canClose);
    SetDialogHook(nullptr);
    EXPECT_FALSE(canClose);
    EXPECT_EQ(g_view->cancels, 1);
    EXPECT_TRUE(Form2->CancelFlag);
    Form2->CancelFlag = false;
    // The close the user asked for comes once the pass has ended (refused
    // here, so the suite's window stays), not while it still runs.
    int asked = 0;
    const TCloseQueryEvent own = Form1->OnCloseQuery;
    Form1->OnCloseQuery = [&](TObject*, bool& c) {
        ++asked;
        c = false;
    };
    PumpUntil([] { return false; }, 400);
    EXPECT_EQ(asked, 0);
    g_view->busy = false;
    PumpUntil([&] { return asked > 0; }, 2000);
    Form1->OnCloseQuery = own;
    EXPECT_EQ(asked, 1);
}

TEST_F(StartupTest, MenusAndMessagesFollowTheLanguage) {
    EXPECT_EQ(Form1->File1->Caption(), "File");
    EXPECT_EQ(Form1->sGroupBox8->Caption(), "Identified Streams");
    Form1->SetGermanTexts();
    Form1->SetEnglishTexts();
    Form1->SetGermanTexts();
    EXPECT_EQ(Form1->File1->Caption(), "Datei");
    EXPECT_EQ(Form1->Open2->Caption(), "Öffnen");
    EXPECT_EQ(Form1->Changes1->Caption(), "Änderungen");
    EXPECT_EQ(Form1->sBitBtn1->Caption(), "STARTEN");
    EXPECT_EQ(Form1->sBitBtn4->Hint(), "Anfang und Ende des Streams beschneiden");
    EXPECT_EQ(Form1->sLabelFX12->Caption(), "Überprüfen\rZusammenfügen\rBearbeiten\rReparieren");
    EXPECT_EQ(Form1->OpenDialog2->Filter().substr(0, 6), "Alle u");
    EXPECT_EQ(MainMessage(mmAborted), "Vorgang abgebrochen!");
    EXPECT_EQ(g_view->languageChanges, 4);
    Form1->SetEnglishTexts();
    EXPECT_EQ(Form1->Hilfe1->Caption(), "Manual");
    EXPECT_EQ(Form1->sGroupBox7->Caption(), "Preparation steps");
    EXPECT_EQ(MainMessage(mmAborted), "Process aborted!");
    EXPECT_EQ(Form1->OpenDialog1->Filter().substr(0, 28), "All supported stream formats");
}

TEST_F(StartupTest, TheLogWindowSitsBelowTheMainWindow) {
    Form1->SetBounds(40, 30, 700, 500);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(Form3->Left(), Form1->Left());
    EXPECT_EQ(Form3->Top(), Form1->Top() + Form1->Height());
    EXPECT_EQ(Form3->Width(), Form1->Width());
    // Width 600: the preparation box takes 180. The window's least size
    // keeps a user above that width; the arithmetic is the same below it.
    const TSizeConstraints least = Form1->Constraints();
    Form1->Constraints() = TSizeConstraints{};
    Form1->SetWidth(600);
    EXPECT_EQ(Form1->sGroupBox7->Width(), 180);
    EXPECT_EQ(Form1->sPanel10->Left(), Form1->sGroupBox6->Width() / 2 - 41);
    Form1->Constraints() = least;
}

TEST_F(StartupTest, MovingTheMainWindowTakesTheLogWindowAlongAtItsOwnWidth) {
    Form1->SetBounds(40, 30, 700, 500);
    PumpUntil([] { return false; }, 50);
    // The log window's own width stays when only the main window moves.
    Form3->SetWidth(520);
    SetWindowPos(Form1->Handle(), nullptr, 90, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(Form3->Left(), 90);
    EXPECT_EQ(Form3->Top(), 70 + Form1->Height());
    EXPECT_EQ(Form3->Width(), 520);
}

// Shows the log window for the test's span, as the setting would.
struct ShownLog {
    bool had = RegValueExists(kSettingsKey, "ShowLogfileWindow");
    bool was = RegReadBool(kSettingsKey, "ShowLogfileWindow");
    ShownLog() { RegWriteBool(kSettingsKey, "ShowLogfileWindow", true); }
    ~ShownLog() {
        Form3->Hide();
        if (had) RegWriteBool(kSettingsKey, "ShowLogfileWindow", was);
        else RegRemoveValue(kSettingsKey, "ShowLogfileWindow");
    }
};

RECT WorkArea() {
    RECT r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

// What the file dialog showed while it was up; then it is cancelled.
struct FileDialogSeen {
    bool found = false;
    HWND owner = nullptr;
    bool mainEnabled = true, logEnabled = true;
    RECT rect{};
};
FileDialogSeen g_fileDialog;

HWND ShownFileDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        if (IsWindowVisible(h) && std::wcscmp(cls, L"#32770") == 0) {
            *reinterpret_cast<HWND*>(lp) = h;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK ReadAndCancelFileDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = ShownFileDialog();
    if (!dialog) return;
    KillTimer(nullptr, id);
    g_fileDialog.found = true;
    g_fileDialog.owner = GetWindow(dialog, GW_OWNER);
    g_fileDialog.mainEnabled = IsWindowEnabled(Form1->Handle()) != FALSE;
    g_fileDialog.logEnabled = IsWindowEnabled(Form3->Handle()) != FALSE;
    GetWindowRect(dialog, &g_fileDialog.rect);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(StartupTest, FileOpenBelongsToTheMainWindowAndHoldsTheLogWindowToo) {
    ShownLog shown;
    const RECT work = WorkArea();
    // Low on the screen: a dialog placed off its owner's corner would run
    // off the bottom.
    Form1->SetBounds(work.right - 720, work.bottom - 520, 700, 500);
    const bool mainShown = Form1->Visible();
    Form1->Show();
    g_fileDialog = FileDialogSeen();
    // File > Open shows the log window (which takes the activation) just
    // before the dialog opens.
    SetTimer(nullptr, 0, 20, ReadAndCancelFileDialog);
    Form1->Open2Click(nullptr);
    ASSERT_TRUE(g_fileDialog.found);
    EXPECT_EQ(g_fileDialog.owner, Form1->Handle());
    EXPECT_FALSE(g_fileDialog.mainEnabled);
    EXPECT_FALSE(g_fileDialog.logEnabled);
    EXPECT_GE(g_fileDialog.rect.left, work.left);
    EXPECT_GE(g_fileDialog.rect.top, work.top);
    EXPECT_LE(g_fileDialog.rect.right, work.right);
    EXPECT_LE(g_fileDialog.rect.bottom, work.bottom);
    // Closed: both windows take input again.
    EXPECT_TRUE(IsWindowEnabled(Form1->Handle()));
    EXPECT_TRUE(IsWindowEnabled(Form3->Handle()));

    // The tools' dialogs, opened from the active main window, hold the
    // shown log window as well.
    ASSERT_TRUE(Form3->Visible());
    SetActiveWindow(Form1->Handle());
    g_fileDialog = FileDialogSeen();
    SetTimer(nullptr, 0, 20, ReadAndCancelFileDialog);
    EXPECT_FALSE(Form1->OpenDialog2->Execute());
    ASSERT_TRUE(g_fileDialog.found);
    EXPECT_EQ(g_fileDialog.owner, Form1->Handle());
    EXPECT_FALSE(g_fileDialog.mainEnabled);
    EXPECT_FALSE(g_fileDialog.logEnabled);
    EXPECT_TRUE(IsWindowEnabled(Form3->Handle()));
    if (!mainShown) Form1->Hide();
}

TEST_F(StartupTest, TheManualOpensOnlyWhenPresent) {
    std::vector<std::string> calls;
    ShellOpenHook = [&](const std::string& f, const std::string& p, const std::string& d) { calls.push_back(f + "|" + p + "|" + d); };
    std::string manual = Form1->ProgramFolder + "Manual.pdf";
    RemoveFile(manual);
    Form1->Hilfe1Click(nullptr);
    EXPECT_TRUE(calls.empty());
    { TFileStream f(manual, fmCreate); }
    Form1->Hilfe1Click(nullptr);
    RemoveFile(manual);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], manual + "|/n,/e,|" + Form1->ProgramFolder);
    // No change log: nothing opens (a modal window here would hang the test).
    RemoveFile(Form1->ProgramFolder + "Release.txt");
    Form1->Changes1Click(nullptr);
    Form1->sLabelFX1Click(nullptr);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1], std::string(kHomePageEnglish) + "||");
    ShellOpenHook = nullptr;
}

// What the modal windows showed, read while they are up; then a key (the
// about box) or OK (the change log) closes them.
struct ModalSeen {
    bool about = false, changes = false;
    std::string caption, version, firstLine;
    int width = 0;
};
ModalSeen g_modal;

void CALLBACK ReadAndCloseModal(HWND, UINT, UINT_PTR id, DWORD) {
    if (Form5 && Form5->Visible() && !g_modal.about) {
        KillTimer(nullptr, id);
        g_modal.about = true;
        g_modal.caption = Form5->Caption();
        g_modal.version = Form5->sLabel2->Caption();
        // Any key closes the about box.
        PostMessageW(Form5->Handle(), WM_KEYDOWN, 'X', 0);
        PostMessageW(Form5->Handle(), WM_CHAR, 'x', 0);
    } else if (ChangesForm && ChangesForm->Visible() && !g_modal.changes) {
        KillTimer(nullptr, id);
        g_modal.changes = true;
        g_modal.caption = ChangesForm->Caption();
        g_modal.width = ChangesForm->Width();
        g_modal.firstLine = ChangesForm->sMemo_Ger->Lines().Count() > 0 ? ChangesForm->sMemo_Ger->Lines()[0] : "";
        ChangesForm->SetModalResult(mrOk);
    }
}

TEST_F(StartupTest, AboutBoxAndChangeLogShowTheirTextsAndClose) {
    const std::string aboutCaption = Form1->About->Caption(), changesCaption = Form1->Changes1->Caption();
    Form1->About->SetCaption("&Ab&out");
    g_modal = ModalSeen();
    SetTimer(nullptr, 0, 20, ReadAndCloseModal);
    Form1->AboutClick(nullptr);
    EXPECT_TRUE(g_modal.about);
    EXPECT_EQ(g_modal.caption, "About");
    EXPECT_EQ(g_modal.version, "V " + VersionText());
    EXPECT_FALSE(Form5->Visible()) << "a key closes the about box";

    const std::string log = Form1->ProgramFolder + "Release.txt";
    {
        TFileStream f(log, fmCreate);
        const std::string text = "1.01 first release\r\n1.00 beta\r\n";
        f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    Form1->Changes1->SetCaption("&Changes Log");
    ChangesForm->SetWidth(300);
    g_modal = ModalSeen();
    SetTimer(nullptr, 0, 20, ReadAndCloseModal);
    Form1->Changes1Click(nullptr);
    RemoveFile(log);
    EXPECT_TRUE(g_modal.changes);
    EXPECT_EQ(g_modal.caption, "Changes Log");
    EXPECT_EQ(g_modal.width, 600);
    EXPECT_EQ(g_modal.firstLine, "1.01 first release");
    Form1->About->SetCaption(aboutCaption);
    Form1->Changes1->SetCaption(changesCaption);
}

// The Priority setting's six indexes map to the six classes and back;
// anything else is the normal class, index 3.
TEST_F(StartupTest, PriorityIndexesAndClassesMapBothWays) {
    const unsigned classes[] = {IDLE_PRIORITY_CLASS,         BELOW_NORMAL_PRIORITY_CLASS, NORMAL_PRIORITY_CLASS,
                                ABOVE_NORMAL_PRIORITY_CLASS, HIGH_PRIORITY_CLASS,         REALTIME_PRIORITY_CLASS};
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(TForm1::PriorityClassFromIndex(i), classes[i - 1]) << i;
        EXPECT_EQ(TForm1::PriorityIndexFromClass(classes[i - 1]), i) << i;
    }
    for (int i : {0, 7, -1, 255}) EXPECT_EQ(TForm1::PriorityClassFromIndex(i), static_cast<unsigned>(NORMAL_PRIORITY_CLASS)) << i;
    for (unsigned c : {0u, 1u, 0x10u, 0x100000u}) EXPECT_EQ(TForm1::PriorityIndexFromClass(c), 3) << c;
}

// Each item of the Priority menu sets the class, remembers it, and the menu
// ticks exactly one item: the class the process really has (which may be
// less than asked: a system may grant HIGH for REALTIME).
TEST_F(StartupTest, PriorityMenuTicksTheClassInForce) {
    const bool had = RegValueExists(kSettingsKey, "Priority");
    const int saved = RegReadInteger(kSettingsKey, "Priority");
    TMenuItem* items[] = {Form1->IDLE1, Form1->BELOWNORMALPRIORITYCLASS1, Form1->NORMAL1, Form1->ABOVENORMAL1,
                          Form1->HIGH1, Form1->REALTIME1};
    for (int i = 0; i < 6; ++i) {
        RegRemoveValue(kSettingsKey, "Priority");
        items[i]->Click();
        const int inForce = TForm1::PriorityIndexFromClass(GetPriorityClass(GetCurrentProcess()));
        int ticked = 0;
        for (int j = 0; j < 6; ++j) {
            if (!items[j]->Checked()) continue;
            ++ticked;
            EXPECT_EQ(j + 1, inForce) << items[i]->Name();
        }
        EXPECT_EQ(ticked, 1) << items[i]->Name();
        // Written only when the class could be set, then as the index asked.
        if (RegValueExists(kSettingsKey, "Priority")) EXPECT_EQ(RegReadInteger(kSettingsKey, "Priority"), i + 1);
    }
    // A saved index is applied at start; one out of range means normal.
    RegWriteInteger(kSettingsKey, "Priority", 2);
    Form1->ApplySavedPriority();
    Form1->CheckPriorityMenu();
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(Form1->BELOWNORMALPRIORITYCLASS1->Checked());
    EXPECT_FALSE(Form1->NORMAL1->Checked());
    RegWriteInteger(kSettingsKey, "Priority", 7);
    Form1->ApplySavedPriority();
    Form1->CheckPriorityMenu();
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    EXPECT_TRUE(Form1->NORMAL1->Checked());
    if (had) RegWriteInteger(kSettingsKey, "Priority", saved);
    else RegRemoveValue(kSettingsKey, "Priority");
}

} // namespace
