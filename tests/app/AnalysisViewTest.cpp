// The main window with its real analysis view: a recording opened as the
// user opens one, the step and result panels it fills, the stream toggles,
// START through the save dialog to a written copy, the language switch
// reaching the panels, and a close during the analysis.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/AnalysisView.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "app/SettingsForm.h"
#include "shared/ProgressForm.h"
#include "tools/RawCutterForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/TableSelection.h"
#include "analysis/AppLog.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tests/app/ScreenPixels.h"
#include "tests/skin/windows/ModalProbe.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SavedSettings.h"
#include "tests/support/TsBuilder.h"
#include "tests/tools/ModalAction.h"
#include "ts/TSPmtReader.h"
#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

using test::ReadAll;
using test::WriteAll;

// A Unix path of the build is reachable from Wine through drive Z:.
std::string Fixture(const std::string& name) { return std::string("Z:") + TW_TEST_DATA_DIR + "/" + name; }

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

void CopyRecording(const std::string& from, const std::string& to) {
    TFileStream in(from, fmOpenRead);
    TFileStream out(to, fmCreate);
    std::vector<uint8_t> data(static_cast<size_t>(in.Size()));
    in.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    out.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

// What the user would see behind a message box when it opens.
struct Backdrop {
    bool progressShown = false;
    bool mainPaintPending = false;
    bool progressShownAfter = false; // once the box was answered
};

struct DialogLog {
    std::vector<TDialogRequest> requests;
    std::vector<Backdrop> backdrops; // one per request
    std::string saveDefault; // the name the save dialog offered
    std::string saveAnswer;  // empty: cancel
    std::string inputAnswer; // empty: cancel
    std::string openAnswer;  // empty: cancel
    std::function<void()> onSaveFile; // runs when the save dialog opens
    bool yes = true;
    // How long a message box stays open, with the messages running as under
    // a real box (the program's timers tick meanwhile).
    int boxMs = 0;
};
DialogLog g_dialogs;

TAnalysisView* View() { return dynamic_cast<TAnalysisView*>(Form1->View()); }

const char* const kCaptions[ANALYSIS_STEP_COUNT] = {"Garbage scan", "PID scan",        "PAT scan",
                                                    "PMT scan",     "PAT rebuild",     "PCR check",
                                                    "PMT rebuild",  "Start/End check", "Video details scan",
                                                    "Audio details scan"};

class AnalysisViewTest : public ::testing::Test {
protected:
    static inline std::string recording;
    static inline std::vector<std::pair<const char*, std::optional<bool>>> savedBools;
    static inline std::optional<std::string> savedLanguage;

    static void SetUpTestSuite() {
        // No sounds, no network, English texts, no log window.
        for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow", "NoTeletext"}) {
            savedBools.push_back({n, RegValueExists(kSettingsKey, n) ? std::optional<bool>(RegReadBool(kSettingsKey, n))
                                                                     : std::nullopt});
            RegWriteBool(kSettingsKey, n, false);
        }
        if (RegValueExists(kSettingsKey, "Language")) savedLanguage = RegReadString(kSettingsKey, "Language");
        RegWriteString(kSettingsKey, "Language", "ENG");
        SetDialogHook([](TDialogRequest& rq) -> std::optional<int> {
            g_dialogs.requests.push_back(rq);
            Backdrop b;
            b.progressShown = Form2 && Form2->HandleAllocated() && IsWindowVisible(Form2->HandleIfAllocated());
            b.mainPaintPending = Form1 && Form1->HandleAllocated() && tw::test::TreePaintPending(Form1->HandleIfAllocated());
            g_dialogs.backdrops.push_back(b);
            switch (rq.Kind) {
            case dkSaveFile:
                g_dialogs.saveDefault = rq.Value ? *rq.Value : std::string();
                if (g_dialogs.onSaveFile) g_dialogs.onSaveFile();
                if (g_dialogs.saveAnswer.empty()) return mrCancel;
                *rq.Value = g_dialogs.saveAnswer;
                return mrOk;
            case dkOpenFile:
                if (g_dialogs.openAnswer.empty() || !rq.Value) return mrCancel;
                *rq.Value = g_dialogs.openAnswer;
                return mrOk;
            case dkInputQuery:
                if (g_dialogs.inputAnswer.empty()) return mrCancel;
                *rq.Value = g_dialogs.inputAnswer;
                return mrOk;
            default:
                if (g_dialogs.boxMs > 0) {
                    const DWORD end = GetTickCount() + static_cast<DWORD>(g_dialogs.boxMs);
                    while (static_cast<int>(end - GetTickCount()) > 0) {
                        Application->ProcessMessages();
                        Sleep(10);
                    }
                    g_dialogs.backdrops.back().progressShownAfter =
                        Form2 && Form2->HandleAllocated() && IsWindowVisible(Form2->HandleIfAllocated());
                }
                if (rq.Buttons & mbYes) return g_dialogs.yes ? mrYes : mrNo;
                return mrOk;
            }
        });
        SetProgramParameters({});
        SetMainWindowViewFactory(MakeAnalysisView);
        ASSERT_EQ(RunStartup(false), 0);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
        recording = TempFolder() + "tarnwick_view_test.ts";
        CopyRecording(Fixture("analysis/h264_ac3_mp2.ts"), recording);
    }

    static void TearDownTestSuite() {
        SetDialogHook(nullptr);
        SetMainWindowViewFactory(nullptr);
        for (auto& [n, v] : savedBools) {
            if (v) RegWriteBool(kSettingsKey, n, *v);
            else RegRemoveValue(kSettingsKey, n);
        }
        if (savedLanguage) RegWriteString(kSettingsKey, "Language", *savedLanguage);
        else RegRemoveValue(kSettingsKey, "Language");
        for (const char* suffix : {"", "_fixed.ts", "_fixed.log"}) {
            std::string name = suffix[0] ? ChangeFileExt(recording, suffix) : recording;
            if (FileExists(name)) RemoveFile(name);
        }
    }

    void SetUp() override {
        g_dialogs = DialogLog();
        ASSERT_NE(View(), nullptr);
    }

    // Opens the recording as the menu, a drop and the command line do.
    void Open() { Form1->OpenRecording(recording); }

    // A left click where the user would click: at the control's centre, sent
    // to the window that holds it.
    static void ClickAt(TControl* c) {
        TWinControl* parent = c->Parent();
        const LPARAM at = MAKELPARAM(c->Left() + c->Width() / 2, c->Top() + c->Height() / 2);
        SendMessageW(parent->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(parent->Handle(), WM_LBUTTONUP, 0, at);
    }

    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> out;
        for (const TDialogRequest& r : g_dialogs.requests)
            if (r.Kind == dkMessageDlg || r.Kind == dkMessageBox || r.Kind == dkShowMessage) out.push_back(r.Text);
        return out;
    }
};

TEST_F(AnalysisViewTest, TheTenStepsEndGreenAndThePanelsShowTheStreams) {
    TAnalysisView& v = *View();
    // Before the analysis: every step idle, the logo in place of the panels.
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
        EXPECT_EQ(v.Steps().Title[i]->Caption(), kCaptions[i]);
        EXPECT_EQ(v.Steps().Status[i]->Font().Color(), StepStateColor(TStepState::Idle));
    }
    EXPECT_FALSE(v.Panels().StreamArea->Visible());

    Open();
    ASSERT_TRUE(v.Engine().Analysed()) << Form3->sMemo1->Lines().Text();
    EXPECT_FALSE(v.Busy());
    EXPECT_TRUE(MessageTexts().empty());
    const std::string expectedStatus[ANALYSIS_STEP_COUNT] = {"Clean", "", "OK", "OK", "OK", "OK", "OK", "OK",
                                                             "1 stream scanned", "2 streams scanned"};
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
        SCOPED_TRACE(kCaptions[i]);
        EXPECT_EQ(v.Steps().Title[i]->Font().Color(), StepStateColor(TStepState::Done));
        EXPECT_EQ(v.Steps().Status[i]->Font().Color(), StepStateColor(TStepState::Done));
        EXPECT_EQ(v.Steps().Status[i]->Caption(), v.Engine().StepText(static_cast<TAnalysisStep>(i)));
        if (!expectedStatus[i].empty()) EXPECT_EQ(v.Steps().Status[i]->Caption(), expectedStatus[i]);
        // Under our skin: the green bar, green text over a dark green shadow.
        EXPECT_EQ(v.Steps().Panel[i]->SkinData.SkinSection(), "BARPANEL_BLACK_GREEN");
        EXPECT_GE(v.Steps().Panel[i]->SkinData.SkinIndex, 0);
        EXPECT_EQ(v.Steps().Title[i]->Kind().Color(), static_cast<TColor>(0x00FF00));
        EXPECT_EQ(v.Steps().Status[i]->Shadow().Color(), static_cast<TColor>(0x008000));
    }
    EXPECT_NE(v.Steps().Status[asPidScan]->Caption().find(" PIDs found"), std::string::npos);

    // The logo gives way to the panels; START and its neighbours are on.
    EXPECT_FALSE(Form1->sPanel3->Visible());
    EXPECT_TRUE(v.Panels().StreamArea->Visible());
    EXPECT_TRUE(Form1->sBitBtn1->Enabled());
    EXPECT_TRUE(Form1->sBitBtn3->Enabled());
    EXPECT_TRUE(Form1->sBitBtn4->Enabled());
    EXPECT_EQ(Form1->sLabelStatus->Caption(), "tarnwick_view_test.ts");

    const TResultPanel& video = v.Panels().Video;
    EXPECT_EQ(video.Box->Height(), VIDEO_PANEL_HEIGHT);
    EXPECT_EQ(video.Pid->Caption(), "$0100");
    EXPECT_EQ(video.Title->Caption(), "H264");
    EXPECT_EQ(video.Layer->Caption(), "TS,PES,ES");
    EXPECT_FALSE(video.Details->Caption().empty());
    EXPECT_TRUE(video.Picture->Visible());
    EXPECT_NE(video.Title->Hint().find("Stream type: 27 = "), std::string::npos);

    const TResultPanel* audio = v.Panels().Audio;
    EXPECT_EQ(audio[0].Box->Height(), AUDIO_PANEL_HEIGHT);
    EXPECT_EQ(audio[0].Pid->Caption(), "$0101");
    EXPECT_EQ(audio[0].Title->Caption(), "AC3");
    EXPECT_EQ(audio[0].Layer->Caption(), "TS,PES,ES");
    EXPECT_EQ(audio[0].Details->Caption(), "5.1 (German)\r48kHz\r384kBit");
    EXPECT_EQ(audio[0].Picture->Tag(), 1);
    EXPECT_EQ(audio[0].Picture->Cursor(), crHandPoint);
    EXPECT_EQ(audio[0].Picture->Hint(), audio[0].Title->Hint());
    EXPECT_EQ(audio[0].Title->Hint().rfind("Audio stream 1\r", 0), 0u);
    EXPECT_TRUE(audio[0].LanguageItem->Enabled());
    EXPECT_EQ(audio[1].Pid->Caption(), "$0102");
    EXPECT_EQ(audio[1].Title->Caption(), "MPEG");
    EXPECT_EQ(audio[1].Layer->Caption(), "TS,PES");
    for (int i = 2; i < AUDIO_SLOTS; ++i) {
        EXPECT_EQ(audio[i].Box->Height(), 0);
        EXPECT_EQ(audio[i].Pid->Caption(), "");
        EXPECT_EQ(audio[i].Picture->Tag(), 0);
        EXPECT_FALSE(audio[i].LanguageItem->Enabled());
    }
    for (const TResultPanel& t : v.Panels().Text) EXPECT_EQ(t.Box->Height(), 0);
    // The panels stack in their order under the video panel.
    EXPECT_LT(video.Box->Top(), audio[0].Box->Top());
    EXPECT_LT(audio[0].Box->Top(), audio[1].Box->Top());
    EXPECT_LE(audio[1].Box->Top() + audio[1].Box->Height(), v.Panels().TimelineBox->Top()) << [&] {
        std::string s;
        for (TControl* c : {static_cast<TControl*>(video.Box), static_cast<TControl*>(audio[0].Box),
                            static_cast<TControl*>(audio[1].Box), static_cast<TControl*>(audio[2].Box),
                            static_cast<TControl*>(v.Panels().Text[0].Box),
                            static_cast<TControl*>(v.Panels().TimelineBox)})
            s += c->Name() + " " + IntToStr(c->Top()) + "+" + IntToStr(c->Height()) + "; ";
        return s;
    }();

    // The timeline shows the run time in navy.
    EXPECT_EQ(v.Panels().BeginValue->Caption(), "00:00:00.000");
    EXPECT_EQ(v.Panels().EndValue->Caption(), v.Panels().DurationValue->Caption());
    EXPECT_NE(v.Panels().DurationValue->Caption(), "00:00:00.000");
    EXPECT_EQ(v.Panels().DurationValue->Font().Color(), static_cast<TColor>(0x800000));
}

TEST_F(AnalysisViewTest, AudioPanelsToggleAndTheLastKeptStreamStays) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    TResultPanel* audio = v.Panels().Audio;
    const TAnalysisTables& t = v.Engine().Tables();
    ASSERT_TRUE(t.IsSelectedPid(0x101));
    ASSERT_TRUE(t.IsSelectedPid(0x102));

    ClickAt(audio[0].Picture);
    EXPECT_EQ(audio[0].Picture->Tag(), 2);
    EXPECT_FALSE(t.IsSelectedPid(0x101));
    EXPECT_TRUE(t.Audio[0].Dropped);

    // The second stream is the last kept one now: a click changes nothing.
    ClickAt(audio[1].Picture);
    EXPECT_EQ(audio[1].Picture->Tag(), 1);
    EXPECT_TRUE(t.IsSelectedPid(0x102));

    // Keeping the first again lets the second go.
    ClickAt(audio[0].Picture);
    EXPECT_EQ(audio[0].Picture->Tag(), 1);
    EXPECT_TRUE(t.IsSelectedPid(0x101));
    EXPECT_EQ(v.AudioClick(1), 2);
    EXPECT_FALSE(t.IsSelectedPid(0x102));
    // A hidden panel does not react.
    EXPECT_EQ(v.AudioClick(3), 0);
    EXPECT_EQ(v.TextClick(0), 0);
}

TEST_F(AnalysisViewTest, ThePopupMenuChangesTheLanguageDescriptor) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    TTSPmtReader* pmt = &v.Engine().Selection().Pmt();
    const int index = pmt->IndexOfPid(0x101);
    ASSERT_GE(index, 0);
    ASSERT_EQ(pmt->Entry(index).Language, "deu");

    // Two letters are refused with the length message.
    g_dialogs.inputAnswer = "fr";
    v.Panels().Audio[0].LanguageItem->Click();
    EXPECT_EQ(pmt->Entry(index).Language, "deu");
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), DescriptorLengthMessage(false));

    // Capitals are stored in lower case and logged.
    g_dialogs = DialogLog();
    g_dialogs.inputAnswer = "FRA";
    v.Panels().Audio[0].LanguageItem->Click();
    EXPECT_EQ(pmt->Entry(index).Language, "fra");
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_NE(Form3->sMemo1->Lines().Text().find("Changed PMT Language_Descriptor for PID $0101 from deu to fra"),
              std::string::npos);
    ASSERT_FALSE(g_dialogs.requests.empty());
    EXPECT_EQ(g_dialogs.requests[0].Caption, "Change Language_Descriptor");

    // A label that names the old code twice, in either case, gets only the
    // last one replaced; one that does not name it keeps its text.
    TLabel* label = v.Panels().Audio[0].Details;
    label->SetCaption("fra, FRA");
    g_dialogs = DialogLog();
    g_dialogs.inputAnswer = "ita";
    v.Panels().Audio[0].LanguageItem->Click();
    EXPECT_EQ(pmt->Entry(index).Language, "ita");
    EXPECT_EQ(label->Caption(), "fra, ita");
    label->SetCaption("German");
    g_dialogs.inputAnswer = "eng";
    v.Panels().Audio[0].LanguageItem->Click();
    EXPECT_EQ(pmt->Entry(index).Language, "eng");
    EXPECT_EQ(label->Caption(), "German");
}

// A program with every panel in use: video on $0101, audio streams 1 to 4
// on $0102 to $0105 and teletext streams 1 to 4 on $0106 to $0109, each with
// its own language.
void SaveFullProgram(const std::string& fileName) {
    const char* const audioLanguages[4] = {"deu", "eng", "fra", "ita"};
    const char* const textLanguages[4] = {"spa", "nld", "pol", "dan"};
    std::vector<test::PmtStream> streams = {{2, 0x101, {}}};
    for (int i = 0; i < 4; ++i) streams.push_back({3, 0x102 + i, test::LanguageDescriptor(audioLanguages[i])});
    for (int i = 0; i < 4; ++i) {
        const std::string l = textLanguages[i];
        streams.push_back({6, 0x106 + i, test::Descriptor(0x56, {uint8_t(l[0]), uint8_t(l[1]), uint8_t(l[2]), 0x09, 0x00})});
    }
    test::TsStream s;
    int64_t pts = 900000;
    while (s.PacketCount() < 4000) {
        s.AddPat({{1, 0x100}});
        s.AddPmt(0x100, 1, 0x101, streams);
        for (int k = 0; k < 3; ++k) {
            test::Bytes es(2000, 0x11);
            es[0] = 0;
            es[1] = 0;
            es[2] = 1;
            es[3] = 0xB3;
            s.AddPes(0x101, test::PesPacket(0xE0, es, pts), pts * 300 - 9000 * 300);
            for (int i = 0; i < 4; ++i) s.AddPes(0x102 + i, test::PesPacket(0xC0 + i, test::Bytes(300, 0x22), pts));
            pts += 3600;
        }
        for (int i = 0; i < 4; ++i) s.AddPes(0x106 + i, test::PesPacket(0xBD, test::Bytes(180, 0x10), pts));
    }
    s.Save(fileName);
}

// Each picture, each text title and each language item of the popup menus
// reaches its own stream and no other.
TEST_F(AnalysisViewTest, EachPanelsControlsReachTheirOwnStream) {
    TAnalysisView& v = *View();
    const std::string full = TempFolder() + "tarnwick_view_full.ts";
    SaveFullProgram(full);
    Form1->OpenRecording(full);
    ASSERT_TRUE(v.Engine().Analysed()) << Form3->sMemo1->Lines().Text();
    const TAnalysisTables& t = v.Engine().Tables();
    TResultPanel* audio = v.Panels().Audio;
    TResultPanel* text = v.Panels().Text;
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        ASSERT_EQ(audio[i].Pid->Caption(), "$" + IntToHex(0x102 + i, 4));
        ASSERT_EQ(audio[i].Picture->Tag(), 1);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        ASSERT_EQ(text[i].Box->Height(), TEXT_PANEL_HEIGHT);
        ASSERT_EQ(text[i].Pid->Caption(), "$" + IntToHex(0x106 + i, 4));
        ASSERT_FALSE(text[i].Picture->Visible());
    }
    auto keptAudio = [&] {
        std::string s;
        for (int i = 0; i < AUDIO_SLOTS; ++i) s += audio[i].Picture->Tag() == 1 && t.IsSelectedPid(0x102 + i) ? '1' : '-';
        return s;
    };
    auto keptText = [&] {
        std::string s;
        for (int i = 0; i < TEXT_SLOTS; ++i) s += !text[i].Picture->Visible() && t.IsSelectedPid(0x106 + i) ? '1' : '-';
        return s;
    };

    // Audio pictures: each drops its own stream, a second click keeps it.
    const char* const droppedAudio[AUDIO_SLOTS] = {"-111", "1-11", "11-1", "111-"};
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        SCOPED_TRACE(audio[i].Picture->Name());
        ClickAt(audio[i].Picture);
        EXPECT_EQ(keptAudio(), droppedAudio[i]);
        EXPECT_EQ(audio[i].Picture->Tag(), 2);
        ClickAt(audio[i].Picture);
        EXPECT_EQ(keptAudio(), "1111");
    }
    // Text titles drop their stream (the mark appears), the mark keeps it.
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        SCOPED_TRACE(text[i].Picture->Name());
        std::string expected = "1111";
        expected[i] = '-';
        ClickAt(text[i].Title);
        EXPECT_EQ(keptText(), expected);
        ClickAt(text[i].Picture);
        EXPECT_EQ(keptText(), "1111");
    }

    // Language items: Ch1 and MenuItem1 to MenuItem3 the audio streams,
    // MenuItem4 to MenuItem7 the text streams.
    TTSPmtReader* pmt = &v.Engine().Selection().Pmt();
    const char* const items[AUDIO_SLOTS + TEXT_SLOTS] = {"Ch1",       "MenuItem1", "MenuItem2", "MenuItem3",
                                                         "MenuItem4", "MenuItem5", "MenuItem6", "MenuItem7"};
    const char* const answers[AUDIO_SLOTS + TEXT_SLOTS] = {"aaa", "bbb", "ccc", "ddd", "eee", "fff", "ggg", "hhh"};
    std::vector<std::string> languages;
    for (int k = 0; k < AUDIO_SLOTS + TEXT_SLOTS; ++k) {
        const int index = pmt->IndexOfPid(0x102 + k);
        ASSERT_GE(index, 0);
        languages.push_back(pmt->Entry(index).Language);
        TResultPanel& p = k < AUDIO_SLOTS ? audio[k] : text[k - AUDIO_SLOTS];
        p.Details->SetCaption("(" + languages.back() + ")");
    }
    for (int k = 0; k < AUDIO_SLOTS + TEXT_SLOTS; ++k) {
        SCOPED_TRACE(items[k]);
        TResultPanel& p = k < AUDIO_SLOTS ? audio[k] : text[k - AUDIO_SLOTS];
        ASSERT_EQ(p.LanguageItem->Name(), items[k]);
        ASSERT_TRUE(p.LanguageItem->Enabled());
        g_dialogs = DialogLog();
        g_dialogs.inputAnswer = answers[k];
        p.LanguageItem->Click();
        EXPECT_NE(Form3->sMemo1->Lines().Text().find("Changed PMT Language_Descriptor for PID $" +
                                                      IntToHex(0x102 + k, 4) + " from " + languages[k] + " to " +
                                                      answers[k]),
                  std::string::npos);
        languages[k] = answers[k];
        for (int j = 0; j < AUDIO_SLOTS + TEXT_SLOTS; ++j) {
            EXPECT_EQ(pmt->Entry(pmt->IndexOfPid(0x102 + j)).Language, languages[j]) << j;
            const TResultPanel& q = j < AUDIO_SLOTS ? audio[j] : text[j - AUDIO_SLOTS];
            EXPECT_EQ(q.Details->Caption(), "(" + languages[j] + ")") << j;
        }
    }
    if (FileExists(full)) RemoveFile(full);
}

// The log header names what the filter probe found: nothing on Wine's own
// DirectShow, the found filters' short names where they are installed.
TEST_F(AnalysisViewTest, TheLogHeaderNamesTheFiltersTheProbeFound) {
    auto header = [] {
        std::vector<std::string> found;
        for (const std::string& line : LogLines())
            if (line.rfind("Supported ", 0) == 0) found.push_back(line);
        return found;
    };
    Form1->GettingSystemInfoTimerTimer(nullptr);
    Open();
    ASSERT_TRUE(View()->Engine().Analysed());
    EXPECT_EQ(header(), (std::vector<std::string>{"Supported splitter filter found : ",
                                                  "Supported audio filter found    : ",
                                                  "Supported video filter found    : "}));

    for (const char* name : {"Tessu Media Splitter", "MPC - Mpeg Source (Movrak)", "ffdshow Audio Decoder",
                             "ffdshow Video Decoder", "CoreAVC Video Decoder"})
        Form1->DirectShowInfo1->AddFilterEntry(name, "{00000000-0000-0000-0000-000000000000}");
    Form1->GettingSystemInfoTimerTimer(nullptr);
    Open();
    EXPECT_EQ(header(), (std::vector<std::string>{"Supported splitter filter found : Tessu,Movrak",
                                                  "Supported audio filter found    : ffdshow",
                                                  "Supported video filter found    : ffdshow,CoreAVC"}));
    // The other tests see Wine's DirectShow again.
    Form1->FilterProbe = TFilterAvailability();
    Form1->SupportedSplitters.clear();
    Form1->SupportedAudioFilters.clear();
    Form1->SupportedVideoFilters.clear();
}

// What a timer saw of the popup menu a right click opened, from inside the
// menu's own loop.
struct PopupProbe {
    HWND popup = nullptr;
    bool skinned = false;
    bool choose = false; // Enter on the first item, else Escape
    bool timedOut = false;
    std::vector<std::string> items; // the texts the menu shows
};

HWND OpenPopupMenu() { return skin::test::VisibleThreadWindow(L"#32768"); }

// A right click of the mouse at a point of the screen, as the user gives it,
// with the window loop running until the menu it opened has closed again.
// The menu is looked at once it is up, painted and the skin had its turn
// (it takes the popup over by a posted message after its first paint).
PopupProbe RightClickOnScreen(POINT at, bool choose) {
    PopupProbe seen;
    seen.choose = choose;
    skin::test::TModalProbe probe([&seen] {
        const HWND popup = OpenPopupMenu();
        if (!popup || !skin::test::Settled(popup)) return false;
        seen.popup = popup;
        seen.skinned = skin::SendSkinCommand(popup, skin::AC_SETACTIVESTATE) == 1;
        if (HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)))
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t text[128] = {};
                GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
                seen.items.push_back(WideToUtf8(text));
            }
        // Keys posted to the menu's own loop: typed keys would go to whatever
        // window of the shared display has the focus.
        if (seen.choose) {
            PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(popup, WM_KEYDOWN, VK_RETURN, 0);
        } else {
            PostMessageW(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        }
        return true;
    }, 10000);
    SetCursorPos(at.x, at.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, in, sizeof(INPUT));
    const ULONGLONG deadline = GetTickCount64() + 15000;
    while ((!probe.Done() && !probe.TimedOut()) || OpenPopupMenu()) {
        if (GetTickCount64() > deadline) break;
        Application->ProcessMessages();
        Sleep(10);
    }
    seen.timedOut = probe.TimedOut();
    return seen;
}

POINT ScreenPointOf(TControl* c, int x, int y) {
    const TPoint p = c->Parent()->ClientToScreen(TPoint(c->Left() + x, c->Top() + y));
    return POINT{p.X, p.Y};
}

// The language menu of an audio panel opens wherever the panel is right
// clicked (its labels and picture are drawn by the panel, not windows of
// their own), skinned, and its item asks for the new language.
TEST_F(AnalysisViewTest, ARightClickAnywhereOnTheAudioPanelOpensItsLanguageMenu) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    const TResultPanel& audio = v.Panels().Audio[0];
    ASSERT_TRUE(audio.LanguageItem->Enabled());
    ASSERT_GT(audio.Box->Height(), 0);
    Form1->BringToFront();
    SetForegroundWindow(Form1->Handle());
    Application->ProcessMessages();

    TGroupBox* box = audio.Box;
    const struct {
        const char* where;
        POINT at;
    } places[] = {
        {"title label", ScreenPointOf(audio.Title, 6, audio.Title->Height() / 2)},
        {"details label", ScreenPointOf(audio.Details, 10, 5)},
        {"PID caption", ScreenPointOf(audio.PidCaption, 5, audio.PidCaption->Height() / 2)},
        {"picture", ScreenPointOf(audio.Picture, audio.Picture->Width() / 2, audio.Picture->Height() / 2)},
        {"empty panel", ScreenPointOf(box, box->Width() - 8, box->Height() - 5)},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.where);
        // The point really lies on the panel, in front of the window.
        HWND under = WindowFromPoint(place.at);
        ASSERT_EQ(under, box->Handle());
        const PopupProbe probe = RightClickOnScreen(place.at, false);
        ASSERT_NE(probe.popup, nullptr) << "no popup menu";
        EXPECT_TRUE(probe.skinned);
        EXPECT_TRUE(g_dialogs.requests.empty());
    }

    // Choosing the item runs it: the question for the new language.
    g_dialogs = DialogLog();
    const PopupProbe probe = RightClickOnScreen(places[0].at, true);
    ASSERT_NE(probe.popup, nullptr);
    ASSERT_EQ(g_dialogs.requests.size(), 1u);
    EXPECT_EQ(g_dialogs.requests[0].Kind, dkInputQuery);
    EXPECT_EQ(g_dialogs.requests[0].Caption, "Change Language_Descriptor");
}

// The main window is made before the start-up turns the library's texts
// English; its system menu still speaks the program's language.
TEST_F(AnalysisViewTest, TheSystemMenuOfTheTitleSpeaksTheProgramsLanguage) {
    ASSERT_TRUE(StdTextsAreEnglish());
    Form1->BringToFront();
    SetForegroundWindow(Form1->Handle());
    Application->ProcessMessages();
    RECT wr;
    GetWindowRect(Form1->Handle(), &wr);
    const POINT title{wr.left + 150, wr.top + 8};
    ASSERT_EQ(SendMessageW(Form1->Handle(), WM_NCHITTEST, 0, MAKELPARAM(title.x, title.y)), HTCAPTION);
    const PopupProbe probe = RightClickOnScreen(title, false);
    ASSERT_NE(probe.popup, nullptr) << "no system menu";
    EXPECT_TRUE(probe.skinned);
    std::vector<std::string> shown;
    for (const std::string& item : probe.items)
        if (!item.empty()) shown.push_back(item);
    ASSERT_GE(shown.size(), 6u);
    const std::vector<std::string> first(shown.begin(), shown.begin() + 5);
    EXPECT_EQ(first, (std::vector<std::string>{"&Restore", "&Move", "&Size", "Mi&nimize", "Ma&ximize"}));
    EXPECT_EQ(shown.back(), "&Close\tAlt+F4");
}

TEST_F(AnalysisViewTest, StartAsksBeforeAnExistingFileIsReplaced) {
    Open();
    ASSERT_TRUE(View()->Engine().Analysed());
    const std::string output = ChangeFileExt(recording, "_fixed.ts");
    const std::vector<uint8_t> kept{'k', 'e', 'e', 'p'};
    WriteAll(output, kept);
    const std::string question = "File " + output + " already exists!\rOverwrite file?";
    // No: the file stays as it was, and START waits for another name.
    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = output;
    g_dialogs.yes = false;
    Form1->sBitBtn1->Click();
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{question});
    EXPECT_EQ(ReadAll(output), kept);
    EXPECT_TRUE(Form1->sBitBtn1->Enabled());
    // The recording itself is refused, not asked about.
    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = recording;
    Form1->sBitBtn1->Click();
    const std::vector<std::string> refused = MessageTexts();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0], question);
    EXPECT_EQ(refused[0].find("already exists"), std::string::npos) << refused[0];
    // Yes: the copy takes its place.
    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = output;
    Form1->sBitBtn1->Click();
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().front(), question);
    EXPECT_GT(ReadAll(output).size(), 188u * 100);
}

TEST_F(AnalysisViewTest, StartWritesTheCleanedCopyAndItsLog) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    // The second audio stream is dropped from the copy.
    ASSERT_EQ(v.AudioClick(1), 2);

    // Cancelling the save dialog writes nothing.
    const std::string output = ChangeFileExt(recording, "_fixed.ts");
    const std::string log = ChangeFileExt(recording, "_fixed.log");
    for (const std::string& f : {output, log})
        if (FileExists(f)) RemoveFile(f);
    Form1->sBitBtn1->Click();
    EXPECT_EQ(g_dialogs.saveDefault, output);
    EXPECT_FALSE(FileExists(output));
    EXPECT_TRUE(Form1->sBitBtn1->Enabled());

    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = output;
    Form1->sBitBtn1->Click();
    EXPECT_FALSE(v.Busy());
    ASSERT_TRUE(FileExists(output));
    ASSERT_TRUE(FileExists(log));
    const std::vector<std::string> messages = MessageTexts();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().rfind(MainMessage(mmSuccess), 0), 0u) << messages.back();
    // The result box opens over a main window that shows itself again, not
    // a picture of the progress window.
    EXPECT_FALSE(g_dialogs.backdrops.back().progressShown);
    EXPECT_FALSE(g_dialogs.backdrops.back().mainPaintPending);
    // The buttons wait for the next analysis.
    EXPECT_FALSE(Form1->sBitBtn1->Enabled());
    EXPECT_FALSE(Form2->Visible());

    const std::vector<uint8_t> data = ReadAll(output);
    ASSERT_GT(data.size(), 188u * 100);
    ASSERT_EQ(data.size() % 188, 0u);
    std::set<int> pids;
    for (size_t at = 0; at < data.size(); at += 188) {
        ASSERT_EQ(data[at], 0x47) << "packet " << at / 188;
        pids.insert(((data[at + 1] & 0x1F) << 8) | data[at + 2]);
    }
    EXPECT_TRUE(pids.count(0));
    EXPECT_TRUE(pids.count(0x100));
    EXPECT_TRUE(pids.count(0x101));
    EXPECT_FALSE(pids.count(0x102));

    // The log beside the copy holds the window's lines.
    const std::vector<uint8_t> logData = ReadAll(log);
    const std::string logText(logData.begin(), logData.end());
    EXPECT_NE(logText.find("Opening file "), std::string::npos);
    EXPECT_NE(logText.find("ERRORS : 0"), std::string::npos);

    // The size and error labels of the written streams were filled.
    const TResultPanel& video = v.Panels().Video;
    // One decimal and the unit ("184.3 KB").
    const std::string size = video.Size->Caption();
    ASSERT_GT(size.size(), 5u);
    EXPECT_EQ(size.substr(size.size() - 3), " KB") << size;
    EXPECT_EQ(size[size.size() - 5], '.') << size;
    EXPECT_EQ(video.Errors->Caption(), "0");
    EXPECT_FALSE(v.Panels().Audio[0].Size->Caption().empty());
}

TEST_F(AnalysisViewTest, APassThatCannotCreateItsOutputEndsWithOneMessageAndNoProgressWindow) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    // Neither the copy nor its log can be made in a folder that is not there.
    const std::string folder = TempFolder() + "tarnwick_no_such_folder";
    ASSERT_FALSE(DirectoryExists(folder));
    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = folder + "\\out.ts";
    g_dialogs.boxMs = 1200;
    Form1->sBitBtn1->Click();
    EXPECT_FALSE(v.Busy());
    const std::vector<std::string> messages = MessageTexts();
    EXPECT_EQ(messages.size(), 1u) << (messages.empty() ? std::string() : messages.front());
    ASSERT_FALSE(messages.empty());
    const std::string head = MainMessage(mmAbortedWithErrors) + "\r";
    ASSERT_EQ(messages.back().rfind(head, 0), 0u) << messages.back();
    // The reason follows, with the platform's words for it.
    EXPECT_GT(messages.back().size(), head.size() + 10) << messages.back();
    EXPECT_NE(messages.back().find("out.ts"), std::string::npos) << messages.back();
    EXPECT_NE(messages.back().find("log"), std::string::npos) << messages.back();
    // Nothing of the pass stays on screen: not behind the box, not while it
    // waits (the label timer ticks), not after it.
    ASSERT_EQ(g_dialogs.backdrops.size(), g_dialogs.requests.size());
    EXPECT_FALSE(g_dialogs.backdrops.back().progressShown);
    EXPECT_FALSE(g_dialogs.backdrops.back().progressShownAfter);
    Application->ProcessMessages();
    EXPECT_FALSE(Form2->Visible());
    EXPECT_FALSE(IsWindowVisible(Form2->Handle()));
    EXPECT_FALSE(DirectoryExists(folder));
}

// Another program holds the recording open without sharing it: the open
// says so with the platform's reason, not only that it failed.
TEST_F(AnalysisViewTest, ARecordingThatCannotBeReadIsReportedWithThePlatformsReason) {
    TAnalysisView& v = *View();
    // Nothing of ours may hold the recording now (the last analysis did).
    Form1->OpenRecording(Fixture("analysis/h264_ac3_mp2.ts"));
    HANDLE held = CreateFileW(Utf8ToWide(recording).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    g_dialogs = DialogLog();
    Open();
    CloseHandle(held);
    EXPECT_FALSE(v.Engine().Analysed());
    const std::vector<std::string> messages = MessageTexts();
    ASSERT_EQ(messages.size(), 1u);
    const std::string head = "Could not open file " + recording + "\r";
    ASSERT_EQ(messages[0].rfind(head, 0), 0u) << messages[0];
    EXPECT_GT(messages[0].size(), head.size() + 10) << messages[0];
    EXPECT_NE(Form3->sMemo1->Lines().Text().find("Could not open file " + recording + " ("), std::string::npos);
    // Free again, the recording opens as before.
    g_dialogs = DialogLog();
    Open();
    EXPECT_TRUE(v.Engine().Analysed());
}

TEST_F(AnalysisViewTest, TheProgressWindowOpensItsMeterBeforeTheCancelButton) {
    TCleaningView& c = View()->Cleaning();
    c.ShowCleaningControls(true);
    EXPECT_EQ(Form2->Height(), 215);
    EXPECT_TRUE(Form2->sBitBtn1->Visible());
    EXPECT_TRUE(Form2->PtsPanel->Visible());
    c.ShowCleaningControls(false);
    EXPECT_EQ(Form2->Height(), 100);
    EXPECT_FALSE(Form2->sBitBtn1->Visible());
}

// A fade holds the user-interface thread for its whole length: the pass
// shows its progress window at once. Other showings of the window fade in
// as the skin's dialog effect says.
TEST_F(AnalysisViewTest, ThePassShowsItsProgressWindowWithoutTheFade) {
    skin::TsSkinManager* sm = skin::DefaultManager;
    ASSERT_NE(sm, nullptr);
    ASSERT_TRUE(sm->AnimEffects.DialogShow.Active);
    ASSERT_GT(sm->AnimEffects.DialogShow.Time, 0);
    int frames = 0;
    skin::AnimationFrameProbe = [&](HWND, uint8_t) { ++frames; };
    struct TProbeOff {
        ~TProbeOff() { skin::AnimationFrameProbe = nullptr; }
    } probeOff;
    TCleaningView& c = View()->Cleaning();
    for (int round = 0; round < 2; ++round) {
        frames = 0;
        c.ShowCleaningControls(true);
        EXPECT_TRUE(IsWindowVisible(Form2->Handle()));
        EXPECT_EQ(Form2->Height(), 215);
        EXPECT_EQ(frames, 0) << "round " << round;
        // The effects are the skin's again for every other showing.
        EXPECT_TRUE(sm->AnimEffects.DialogShow.Active);
        EXPECT_TRUE(sm->AnimEffects.FormShow.Active);
        c.ShowCleaningControls(false);
        EXPECT_FALSE(IsWindowVisible(Form2->Handle()));
        EXPECT_EQ(Form2->Height(), 100);
        EXPECT_FALSE(Form2->sBitBtn1->Visible());
    }
    frames = 0;
    Form2->ShowMeterPanel(true);
    Form2->Show();
    EXPECT_GT(frames, 0) << "a plain showing fades in";
    Form2->Hide();
    Form2->ShowMeterPanel(false);
}

TEST_F(AnalysisViewTest, AMessageAfterThePassFindsTheMainWindowRepainted) {
    Form2->Show();
    ASSERT_TRUE(IsWindowVisible(Form2->Handle()));
    Application->ProcessMessages();
    ASSERT_FALSE(tw::test::TreePaintPending(Form1->Handle()));
    // Windows invalidates what a window covered when it goes; Wine keeps a
    // picture of every window instead, so the test does it by hand.
    RedrawWindow(Form1->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    Form2->Hide();
    MessageDlg("done", mtInformation, mbOK);
    ASSERT_EQ(g_dialogs.backdrops.size(), 1u);
    EXPECT_FALSE(g_dialogs.backdrops[0].progressShown);
    EXPECT_FALSE(g_dialogs.backdrops[0].mainPaintPending) << "the box would sit on a picture of the progress window";
}

TEST_F(AnalysisViewTest, LanguageSwitchAndResizeReachThePanels) {
    TAnalysisView& v = *View();
    Form1->SetGermanTexts();
    EXPECT_EQ(v.Panels().Video.SizeCaption->Caption(), "Größe");
    EXPECT_EQ(v.Panels().Audio[3].ErrorsCaption->Caption(), "Fehler");
    EXPECT_EQ(v.Panels().Text[0].ErrorsCaption->Caption(), "Fehler");
    EXPECT_EQ(v.Panels().BeginCaption->Caption(), "Anfang");
    EXPECT_EQ(v.Panels().Audio[0].LanguageItem->Caption(), "Ändere Language_Descriptor");
    EXPECT_EQ(v.Steps().Status[asPcrCheck]->Hint(), "Dieser Schritt überprüft den PCR Timer");
    EXPECT_EQ(v.Panels().Audio[1].LayerCaption->Hint(), MainMessage(mmAbbreviations));
    Form1->SetEnglishTexts();
    EXPECT_EQ(v.Panels().Video.SizeCaption->Caption(), "Size");
    EXPECT_EQ(v.Panels().Text[3].ErrorsCaption->Caption(), "Errors");

    Form1->SetBounds(Form1->Left(), Form1->Top(), 900, 700);
    const int stepHeight = Form1->sGroupBox7->Height() * 39 / 448;
    for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
        EXPECT_EQ(v.Steps().Panel[i]->Height(), stepHeight);
        EXPECT_EQ(v.Steps().Status[i]->Width(), v.Steps().Title[0]->Width());
    }
    Form1->SetBounds(Form1->Left(), Form1->Top(), 760, 600);
}

// The window cannot be made smaller than the size at which everything it
// holds shows whole: a drag stops there, and there the step results, the
// buttons, the timeline values and the start-up picture's texts are neither
// cut off nor on top of one another, in either language. It fits a screen
// of 1024x768.
TEST_F(AnalysisViewTest, AtItsLeastSizeEveryControlShowsWhole) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    const TRect before = Form1->BoundsRect();
    auto within = [](TControl* c, const TRect& area) {
        const TRect r = c->BoundsRect();
        EXPECT_TRUE(r.Left >= area.Left && r.Top >= area.Top && r.Right <= area.Right && r.Bottom <= area.Bottom)
            << c->Name() << " (" << r.Left << "," << r.Top << ")-(" << r.Right << "," << r.Bottom << ") in "
            << c->Parent()->Name() << " " << area.Width() << "x" << area.Height();
    };
    auto inside = [&](TControl* c) { within(c, c->Parent()->ClientRect()); };
    // A bevel or a group box's frame takes the last row and column.
    auto insideFrame = [&](TControl* c) {
        const TRect a = c->Parent()->ClientRect();
        within(c, TRect(a.Left, a.Top, a.Right - 1, a.Bottom - 1));
    };
    auto apart = [](TControl* a, TControl* b) {
        const TRect p = a->BoundsRect(), q = b->BoundsRect();
        EXPECT_TRUE(p.Right <= q.Left || q.Right <= p.Left || p.Bottom <= q.Top || q.Bottom <= p.Top)
            << a->Name() << " overlaps " << b->Name();
    };
    // The caption is not cut at the label's side either.
    auto textFits = [](TLabel* l) {
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, l->Font().Handle());
        const std::wstring w = Utf8ToWide(l->Caption());
        SIZE s{};
        GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &s);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        EXPECT_LE(s.cx, l->Width()) << l->Name() << " \"" << l->Caption() << "\"";
    };
    for (bool german : {true, false}) {
        SCOPED_TRACE(german ? "German" : "English");
        if (german) Form1->SetGermanTexts();
        else Form1->SetEnglishTexts();
        Form1->SetBounds(before.Left, before.Top, 300, 200);
        Application->ProcessMessages();
        // What the system's size loop asks stops at the same size.
        MINMAXINFO mmi{};
        SendMessageW(Form1->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        EXPECT_EQ(mmi.ptMinTrackSize.x, Form1->Width());
        EXPECT_EQ(mmi.ptMinTrackSize.y, Form1->Height());
        RECT real;
        GetWindowRect(Form1->Handle(), &real);
        EXPECT_EQ(real.right - real.left, Form1->Width());
        EXPECT_EQ(real.bottom - real.top, Form1->Height());
        EXPECT_LE(Form1->Width(), 1024);
        EXPECT_LE(Form1->Height(), 768 - 40); // a task bar below

        for (int i = 0; i < ANALYSIS_STEP_COUNT; ++i) {
            inside(v.Steps().Panel[i]);
            insideFrame(v.Steps().Title[i]);
            insideFrame(v.Steps().Status[i]);
            apart(v.Steps().Title[i], v.Steps().Status[i]);
            textFits(v.Steps().Title[i]);
            textFits(v.Steps().Status[i]);
        }
        TControl* buttons[] = {Form1->sBitBtn2, Form1->sBitBtn3, Form1->sBitBtn4, Form1->sPanel10};
        for (TControl* b : buttons) insideFrame(b);
        inside(Form1->sBitBtn1);
        for (size_t i = 0; i < std::size(buttons); ++i)
            for (size_t j = i + 1; j < std::size(buttons); ++j) apart(buttons[i], buttons[j]);
        const TStreamPanels& p = v.Panels();
        TLabel* timeline[] = {p.BeginCaption, p.BeginValue, p.EndCaption, p.EndValue, p.DurationCaption, p.DurationValue};
        inside(p.TimelineBox);
        for (size_t i = 0; i < std::size(timeline); ++i) {
            insideFrame(timeline[i]);
            textFits(timeline[i]);
            for (size_t j = i + 1; j < std::size(timeline); ++j) apart(timeline[i], timeline[j]);
        }
        // The start-up picture and its texts: their panel, hidden while the
        // stream panels show, takes the same room in the box as they do.
        for (TControl* c : std::initializer_list<TControl*>{Form1->Image6, Form1->sLabelFX13, Form1->sLabelFX12,
                                                             Form1->sLabelFX15})
            EXPECT_LE(c->Top() + c->Height(), p.StreamArea->Height()) << c->Name();
    }
    Form1->SetEnglishTexts();
    Form1->SetBounds(before.Left, before.Top, before.Width(), before.Height());
}

// After every change of its layout the window shows what a repaint of all it
// holds shows: the stream panels, their pictures and values, the timeline
// and START, not the bare background where they were. Each change is
// checked against the same window painted whole right after it.
TEST_F(AnalysisViewTest, EveryNewLayoutIsPaintedWhole) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    ASSERT_TRUE(v.Panels().StreamArea->Visible());
    const HWND h = Form1->Handle();
    const TRect bounds = Form1->BoundsRect();
    // No hint, no hot control: the pointer rests off the window.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    SetForegroundWindow(h);
    test::RepaintedScreenShot(h);

    auto check = [&](const std::string& name, const std::function<void()>& change) {
        SCOPED_TRACE(name);
        change();
        const test::ScreenShot after = test::SettledScreenShot(h);
        const test::ScreenShot whole = test::RepaintedScreenShot(h);
        EXPECT_TRUE(test::SameScreen(after, whole, "main-" + name));
    };
    // The preferences' OK stores every setting of the dialog: the window
    // tests of all executables share one registry.
    const test::SavedSettings saved({"Language", "UpdateCheck", "ShowLogfileWindow", "NoPreview", "NoTeletext",
                                     "NoSubtitles", "PlaySound", "PESDuplicatePacketHandling", "TimerPatchMode",
                                     "MpegSplitter", "MpegVideoFilter", "H264VideoFilter", "MpegAudioFilter"});
    auto preferencesOk = [&](int language) {
        test::ModalAction::Arm([] { return SettingsForm && SettingsForm->Visible(); },
                               [language] {
                                   SettingsForm->sComboBox1->SetItemIndex(language);
                                   SettingsForm->SetModalResult(mrOk);
                               },
                               "the preferences");
        Form1->Preferences1Click(nullptr);
        EXPECT_FALSE(test::ModalAction::Disarm()) << "the preferences never opened";
    };
    check("preferences-ok", [&] { preferencesOk(1); });
    check("preferences-german", [&] { preferencesOk(0); });
    check("preferences-english", [&] { preferencesOk(1); });
    // A drag of the corner: the system's size loop around the new size.
    check("corner-drag", [&] {
        SendMessageW(h, WM_ENTERSIZEMOVE, 0, 0);
        RECT r{bounds.Left, bounds.Top, bounds.Right + 60, bounds.Bottom + 40};
        SendMessageW(h, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
        SetWindowPos(h, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(h, WM_EXITSIZEMOVE, 0, 0);
    });
    check("smaller", [&] { Form1->SetBounds(bounds.Left, bounds.Top, bounds.Width() - 30, bounds.Height() - 20); });
    check("maximized", [&] { ShowWindow(h, SW_MAXIMIZE); });
    ShowWindow(h, SW_RESTORE);
    Form1->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
}

// Made much smaller (by a drag, or restored from maximized), the
// "Preparation steps" box is narrowed while its parent's erase has every
// child paint at once: the box's rounded corners must show at its new width,
// not its straight frame of before.
TEST_F(AnalysisViewTest, TheMainWindowIsPaintedWholeAfterAMuchSmallerSize) {
    Open();
    ASSERT_TRUE(View()->Engine().Analysed());
    test::ExpectEveryNewSizePaintedWhole(Form1->Handle(), "main");
}

// The log window and the preferences lay themselves out again at each new
// size: each shows whole after it, as after a repaint of all it holds.
TEST_F(AnalysisViewTest, TheLogWindowAndThePreferencesArePaintedWholeAtEveryNewSize) {
    Open();
    ASSERT_TRUE(View()->Engine().Analysed());
    Form3->Show();
    test::ExpectEveryNewSizePaintedWhole(Form3->Handle(), "log");
    // The log window follows the main window's width.
    const TRect bounds = Form1->BoundsRect();
    test::RepaintedScreenShot(Form3->Handle());
    Form1->SetBounds(bounds.Left, bounds.Top, bounds.Width() + 50, bounds.Height());
    {
        const test::ScreenShot after = test::SettledScreenShot(Form3->Handle());
        EXPECT_TRUE(test::SameScreen(after, test::RepaintedScreenShot(Form3->Handle()), "log-follows"));
    }
    Form1->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
    Form3->Hide();

    bool checked = false;
    test::ModalAction::Arm([] { return SettingsForm && SettingsForm->Visible(); },
                           [&] {
                               test::ExpectEveryNewSizePaintedWhole(SettingsForm->Handle(), "preferences");
                               checked = true;
                               SettingsForm->SetModalResult(mrCancel);
                           },
                           "the preferences");
    Form1->Preferences1Click(nullptr);
    EXPECT_TRUE(checked);
}

// A tab of the preferences chosen by a click shows its page whole at once:
// its labels, check boxes, radio group and button, not only the edits and
// combo boxes, which paint themselves as windows of the system.
TEST_F(AnalysisViewTest, EachPageOfThePreferencesIsPaintedWholeWhenItsTabIsClicked) {
    int checked = 0;
    test::ModalAction::Arm(
        [] { return SettingsForm && SettingsForm->Visible(); },
        [&] {
            const HWND form = SettingsForm->Handle();
            const HWND tabs = SettingsForm->sPageControl1->Handle();
            SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
            test::RepaintedScreenShot(form);
            for (int tab : {1, 2, 0, 2}) {
                SCOPED_TRACE("tab " + std::to_string(tab));
                RECT r{};
                ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, WPARAM(tab), reinterpret_cast<LPARAM>(&r)));
                const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
                SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
                SendMessageW(tabs, WM_LBUTTONUP, 0, at);
                ASSERT_EQ(SettingsForm->sPageControl1->ActivePageIndex(), tab);
                const test::ScreenShot after = test::SettledScreenShot(form);
                EXPECT_TRUE(test::SameScreen(after, test::RepaintedScreenShot(form),
                                             "preferences-tab-" + std::to_string(tab)));
                ++checked;
            }
            SettingsForm->SetModalResult(mrCancel);
        },
        "the preferences");
    Form1->Preferences1Click(nullptr);
    EXPECT_FALSE(test::ModalAction::Disarm()) << "the preferences never opened";
    EXPECT_EQ(checked, 4);
}

// Closes the main window asks for once no pass runs, recorded and refused,
// so that the suite's window stays.
struct CloseAfterPassSeen {
    TCloseQueryEvent own = Form1->OnCloseQuery;
    bool asked = false;
    CloseAfterPassSeen() {
        Form1->OnCloseQuery = [this](TObject* sender, bool& canClose) {
            if (View()->Busy()) return own(sender, canClose);
            asked = true;
            canClose = false;
        };
    }
    ~CloseAfterPassSeen() { Form1->OnCloseQuery = own; }
    // Runs the messages until the close comes, for at most two seconds.
    bool Asked() {
        const DWORD end = GetTickCount() + 2000;
        while (!asked && static_cast<int>(end - GetTickCount()) > 0) {
            Application->ProcessMessages();
            Sleep(10);
        }
        return asked;
    }
};

// Closing while the analysis runs asks once and cancels the analysis; the
// later steps stay idle and START stays off; once the analysis has ended the
// window closes as the user asked.
TEST_F(AnalysisViewTest, ClosingDuringTheAnalysisCancelsIt) {
    TAnalysisView& v = *View();
    CloseAfterPassSeen closing;
    // The close arrives while the first step lets window messages run.
    PostMessageW(Form1->Handle(), WM_CLOSE, 0, 0);
    Open();
    EXPECT_FALSE(v.Busy());
    EXPECT_FALSE(v.Engine().Analysed());
    EXPECT_TRUE(v.Engine().CancelRequested());
    const std::vector<std::string> messages = MessageTexts();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], MainMessage(mmAbortQuestion));
    EXPECT_TRUE(Form1->Visible());
    EXPECT_FALSE(Form1->sBitBtn1->Enabled());
    EXPECT_EQ(v.Steps().Status[asAudioDetailsScan]->Font().Color(), StepStateColor(TStepState::Idle));
    EXPECT_NE(Form3->sMemo1->Lines().Text().find(MainMessage(mmAborted)), std::string::npos);
    EXPECT_TRUE(closing.Asked());

    // The next open runs the whole analysis again.
    g_dialogs = DialogLog();
    Open();
    EXPECT_TRUE(v.Engine().Analysed());
}

// True where `upper` lies above `lower` among the desktop's windows.
bool Above(HWND upper, HWND lower) {
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT)) {
        if (h == upper) return true;
        if (h == lower) return false;
    }
    return false;
}

// Closing the main window while the cleaned copy is written, with the log
// window shown: the question opens over the pass, and after "No" the pass
// runs on with its progress window (gauge and Abort) on top of the main
// window. "Yes" aborts the pass, and then the window closes as asked.
TEST_F(AnalysisViewTest, ClosingDuringThePassKeepsTheProgressOnTopAndClosesAfterYes) {
    TAnalysisView& v = *View();
    const bool logWas = RegReadBool(kSettingsKey, "ShowLogfileWindow");
    RegWriteBool(kSettingsKey, "ShowLogfileWindow", true);
    const TDialogHook suiteHook = SetDialogHook(nullptr);
    SetDialogHook(suiteHook);
    struct Restore {
        bool log;
        TDialogHook hook;
        ~Restore() {
            RegWriteBool(kSettingsKey, "ShowLogfileWindow", log);
            SetDialogHook(hook);
        }
    } restore{logWas, suiteHook};
    const std::string output = ChangeFileExt(recording, "_fixed.ts");
    const std::string log = ChangeFileExt(recording, "_fixed.log");

    struct Seen {
        int questions = 0;
        bool progressUnderBox = false, progressOnTopAfter = false, progressTopmost = false, progressOnScreen = false;
    } seen;
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        seen = Seen();
        Open();
        ASSERT_TRUE(v.Engine().Analysed());
        ASSERT_TRUE(Form3->Visible());
        g_dialogs = DialogLog();
        g_dialogs.saveAnswer = output;
        // After "Yes" the window goes once the pass is over and its last
        // message is read, whenever that is; the test keeps it by saying no
        // at that last question.
        CloseAfterPassSeen closing;
        bool closedOverTheLastMessage = false;
        // The question is the real box, answered by a click on its button;
        // so is the message that ends an aborted pass, read for a while.
        SetDialogHook([&, suiteHook](TDialogRequest& rq) -> std::optional<int> {
            if (rq.Text.rfind(MainMessage(mmAborted), 0) == 0) {
                suiteHook(rq);
                const ULONGLONG readFrom = GetTickCount64();
                test::ModalAction::Arm(
                    [readFrom] { return GetTickCount64() - readFrom > 400; },
                    [&] {
                        closedOverTheLastMessage = closing.asked;
                        for (int i = 0; i < Screen->FormCount(); ++i)
                            if (Screen->Forms(i)->Name() == "MessageDlg" && Screen->Forms(i)->Visible())
                                Screen->Forms(i)->SetModalResult(mrOk);
                    },
                    "the last message");
                std::unique_ptr<TForm> box(CreateMessageDialog(rq.Text, rq.DlgType, rq.Buttons));
                return box->ShowModal();
            }
            if (rq.Text != MainMessage(mmAbortQuestion)) return suiteHook(rq);
            ++seen.questions;
            seen.progressUnderBox = Form2->Visible() && Above(Form2->Handle(), Form1->Handle());
            test::ModalAction::Arm(
                [] {
                    for (int i = 0; i < Screen->FormCount(); ++i)
                        if (Screen->Forms(i)->Name() == "MessageDlg" && Screen->Forms(i)->Visible()) return true;
                    return false;
                },
                [yes] {
                    for (int i = 0; i < Screen->FormCount(); ++i)
                        if (Screen->Forms(i)->Name() == "MessageDlg" && Screen->Forms(i)->Visible())
                            Screen->Forms(i)->SetModalResult(yes ? mrYes : mrNo);
                },
                "the question");
            std::unique_ptr<TForm> box(CreateMessageDialog(rq.Text, rq.DlgType, rq.Buttons));
            const int answer = box->ShowModal();
            box.reset();
            Application->ProcessMessages();
            seen.progressOnTopAfter = Form2->Visible() && Above(Form2->Handle(), Form1->Handle());
            // What the screen shows where the progress window lies, against
            // the same place with the window put on top and painted again:
            // the pass waits meanwhile (this runs inside its message loop).
            const test::ScreenShot shown = test::SettledScreenShot(Form2->Handle());
            SetWindowPos(Form2->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            seen.progressOnScreen = test::SameScreen(shown, test::RepaintedScreenShot(Form2->Handle()),
                                                     "progress-after-close-question");
            seen.progressTopmost = (GetWindowLongPtrW(Form2->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
            return answer;
        });
        // The close arrives while the pass lets window messages run.
        const UINT_PTR closer = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR id, DWORD) {
            if (!View()->Busy()) return;
            KillTimer(nullptr, id);
            PostMessageW(Form1->Handle(), WM_CLOSE, 0, 0);
        });
        Form1->sBitBtn1->Click();
        KillTimer(nullptr, closer);
        SetDialogHook(suiteHook);
        EXPECT_FALSE(test::ModalAction::Disarm()) << "the question never opened";
        EXPECT_FALSE(v.Busy());
        EXPECT_EQ(seen.questions, 1);
        EXPECT_TRUE(seen.progressUnderBox);
        EXPECT_TRUE(seen.progressOnTopAfter);
        EXPECT_TRUE(seen.progressTopmost);
        EXPECT_TRUE(seen.progressOnScreen);
        EXPECT_EQ(closing.Asked(), yes);
        EXPECT_FALSE(closedOverTheLastMessage);
        const std::vector<std::string> messages = MessageTexts();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().rfind(yes ? MainMessage(mmAborted) : MainMessage(mmSuccess), 0), 0u)
            << messages.back();
    }
    Form3->Hide();
    for (const std::string& f : {output, log})
        if (FileExists(f)) RemoveFile(f);
}

} // namespace

// The cut range, the new program number and the preserved streams were
// chosen for the recording that was open: the next one opened in the same
// run is cleaned whole, with its own program number.
TEST_F(AnalysisViewTest, TheNextRecordingIsCleanedWholeWithoutTheLastOnesChoices) {
    TAnalysisView& v = *View();
    Open();
    ASSERT_TRUE(v.Engine().Analysed());
    TCleaningPass& pass = v.Cleaning().Pass();
    // What the cut editor's OK and the patch dialog leave behind.
    pass.Options.CutIn = 1 * 90000;
    pass.Options.CutOut = 2 * 90000;
    pass.Options.NewServiceId = 0x0777;
    for (int i = 0; i < pass.PreserveList.Count(); ++i) pass.PreserveList.Item(i).Checked = true;

    const std::string second = TempFolder() + "tarnwick_view_second.ts";
    CopyRecording(Fixture("mpeg2_mp2.ts"), second);
    const std::string output = ChangeFileExt(second, "_fixed.ts");
    const std::string log = ChangeFileExt(second, "_fixed.log");
    struct Remove {
        std::vector<std::string> names;
        ~Remove() {
            for (const std::string& n : names)
                if (FileExists(n)) RemoveFile(n);
        }
    } remove{{second, output, log}};
    Form1->OpenRecording(second);
    ASSERT_TRUE(v.Engine().Analysed());
    EXPECT_EQ(pass.Options.CutIn, 0);
    EXPECT_EQ(pass.Options.CutOut, -1);
    EXPECT_EQ(pass.Options.NewServiceId, -1);
    for (int i = 0; i < pass.PreserveList.Count(); ++i) EXPECT_FALSE(pass.PreserveList.Item(i).Checked) << i;

    g_dialogs = DialogLog();
    g_dialogs.saveAnswer = output;
    Form1->sBitBtn1->Click();
    const std::vector<std::string> messages = MessageTexts();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().rfind(MainMessage(mmSuccess), 0), 0u) << messages.back();
    const std::vector<uint8_t> in = ReadAll(second);
    const std::vector<uint8_t> out = ReadAll(output);
    // Nearly every packet is in the copy: no range was cut away.
    EXPECT_GT(out.size(), in.size() * 9 / 10);
    const std::vector<uint8_t> logData = ReadAll(log);
    const std::string logText(logData.begin(), logData.end());
    EXPECT_NE(logText.find("Cutted pakets at the beginning: 0"), std::string::npos);
    EXPECT_EQ(logText.find("$0777"), std::string::npos);
}

// From the choice of the file to the end of the copy the raw cutter owns the
// progress window and its files: the main window takes no input, opens no
// recording and does not close under it, and is the user's again afterwards.
TEST_F(AnalysisViewTest, ARawCopyHoldsTheMainWindowUntilItEnds) {
    const std::string out = TempFolder() + "tarnwick_view_rawcut.ts";
    if (FileExists(out)) RemoveFile(out);
    g_dialogs.openAnswer = recording;
    g_dialogs.saveAnswer = out;
    bool asked = false, enabled = true, couldOpen = true, couldClose = true;
    g_dialogs.onSaveFile = [&] {
        asked = true;
        enabled = IsWindowEnabled(Form1->Handle()) != FALSE;
        couldOpen = Form1->CanOpenNow();
        bool canClose = true;
        Form1->FormCloseQuery(nullptr, canClose);
        couldClose = canClose;
    };
    skin::test::TModalProbe probe([] {
        if (!RawCutterForm || !RawCutterForm->Visible()) return false;
        RawCutterForm->SetModalResult(mrOk);
        return true;
    });
    probe.OnTimeout = [] {
        if (RawCutterForm) RawCutterForm->SetModalResult(mrCancel);
    };
    Form1->RawCutter1Click(nullptr);
    probe.Stop();
    g_dialogs.onSaveFile = nullptr;
    ASSERT_TRUE(probe.Done());
    ASSERT_TRUE(asked);
    EXPECT_FALSE(enabled);
    EXPECT_FALSE(couldOpen);
    EXPECT_FALSE(couldClose);
    EXPECT_TRUE(IsWindowEnabled(Form1->Handle()));
    EXPECT_TRUE(Form1->CanOpenNow());
    ASSERT_TRUE(FileExists(out));
    const size_t copied = ReadAll(out).size();
    EXPECT_GT(copied, 0u);
    EXPECT_EQ(copied % 188, 0u);
    EXPECT_LE(copied, ReadAll(recording).size());
    RemoveFile(out);
}
