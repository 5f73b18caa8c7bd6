// The preferences dialog and the update check against an HTTP server of the
// test's own on 127.0.0.1 (nothing leaves this machine).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "app/HttpClient.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "app/SettingsForm.h"
#include "app/Startup.h"
#include "app/UpdateForm.h"
#include "analysis/SettingsStore.h"
#include "analysis/UpdateCheck.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/SavedSettings.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

using namespace tw;

namespace {

// A small HTTP/1.0 server: a release text per path, a 404, a path that
// accepts the request and never answers, and one that announces a long text
// and then sends one byte a second. Each connection has its own thread, so a
// server still busy with a client that gave up answers the next one.
class LocalHttpServer {
public:
    LocalHttpServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        int len = sizeof(a);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { Run(); });
    }
    ~LocalHttpServer() {
        stop_ = true;
        closesocket(listener_);
        thread_.join();
        {
            // Wakes the connections still waiting for their client.
            std::lock_guard<std::mutex> l(m_);
            for (SOCKET c : open_) shutdown(c, SD_BOTH);
        }
        for (std::thread& t : connections_) t.join();
        WSACleanup();
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> l(m_);
        return requests_;
    }
    void ClearRequests() {
        std::lock_guard<std::mutex> l(m_);
        requests_.clear();
    }

private:
    void Run() {
        while (!stop_) {
            SOCKET c = accept(listener_, nullptr, nullptr);
            if (c == INVALID_SOCKET) return;
            std::lock_guard<std::mutex> l(m_);
            open_.push_back(c);
            connections_.emplace_back([this, c] { Serve(c); });
        }
    }
    void Serve(SOCKET c) {
        std::string req;
        char buf[1024];
        while (req.find("\r\n\r\n") == std::string::npos) {
            int n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) break;
            req.append(buf, static_cast<size_t>(n));
        }
        std::string method = req.substr(0, req.find(' '));
        size_t p0 = req.find(' ') + 1;
        std::string path = req.substr(p0, req.find(' ', p0) - p0);
        {
            std::lock_guard<std::mutex> l(m_);
            requests_.push_back(method + " " + path);
        }
        if (path == "/hang.txt") {
            // Holds the connection without a word until the client gives up.
            while (!stop_ && recv(c, buf, sizeof buf, 0) > 0) {}
        } else if (path == "/trickle.txt") {
            std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100000\r\n\r\n";
            send(c, head.data(), static_cast<int>(head.size()), 0);
            // One byte a second, until the client goes (or 30 s at most).
            for (int i = 0; method == "GET" && !stop_ && i < 30; ++i) {
                if (send(c, "1", 1, 0) != 1) break;
                for (int k = 0; k < 10 && !stop_; ++k) Sleep(100);
            }
        } else {
            std::string body, status = "200 OK";
            if (path == "/v100.txt") body = "1.00 beta\r\nThe same version.";
            else if (path == "/v121.txt") body = "1.21 beta\r\n- Schnelleres Schneiden\r\n- Fehler behoben";
            else if (path == "/v122.txt") body = "1.22\r\n- more";
            else if (path == "/nan.txt") body = "abcde\r\nno version";
            else status = "404 Not Found";
            std::string answer = "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
            if (method != "HEAD") answer += body;
            send(c, answer.data(), static_cast<int>(answer.size()), 0);
            shutdown(c, SD_BOTH);
        }
        std::lock_guard<std::mutex> l(m_);
        open_.erase(std::find(open_.begin(), open_.end(), c));
        closesocket(c);
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::vector<std::string> requests_;
    std::vector<SOCKET> open_;
    std::vector<std::thread> connections_;
};

LocalHttpServer* g_server = nullptr;
std::string g_path = "/hang.txt";
double g_startSeconds = 0;

// What a test does with a modal window once it shows (then it answers OK or
// Cancel through the window's modal result).
std::function<void()> g_onModal;
void CALLBACK ModalTimer(HWND, UINT, UINT_PTR id, DWORD) {
    TForm* shown = SettingsForm ? static_cast<TForm*>(SettingsForm) : static_cast<TForm*>(UpdateForm);
    if (!shown || !shown->Visible() || !g_onModal) return;
    KillTimer(nullptr, id);
    auto action = std::move(g_onModal);
    g_onModal = nullptr;
    action();
}
void WhenModal(std::function<void()> action) {
    g_onModal = std::move(action);
    SetTimer(nullptr, 0, 20, ModalTimer);
}

// Records the rule messages instead of showing them.
std::vector<std::string> g_messages;
void RecordMessages() {
    g_messages.clear();
    SetDialogHook([](TDialogRequest& r) -> std::optional<int> {
        g_messages.push_back(r.Text);
        return mrOk;
    });
}

// Every setting these tests may change, restored afterwards.
test::SavedSettings* g_savedSettings = nullptr;

class PreferencesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        g_savedSettings = new test::SavedSettings(
            {"Language", "UpdateCheck", "ShowLogfileWindow", "NoPreview", "NoTeletext", "NoSubtitles", "PlaySound",
             "PESDuplicatePacketHandling", "TimerPatchMode", "MpegSplitter", "MpegVideoFilter", "H264VideoFilter",
             "MpegAudioFilter", "LastUpdateMessage_Version", "LastUpdateMessage_Date"});
        g_server = new LocalHttpServer();
        ReleaseTextAddressHook = [](const std::string&) { return g_server->Url(g_path); };
        for (const char* n : {"Language", "UpdateCheck", "ShowLogfileWindow", "MpegSplitter", "LastUpdateMessage_Version",
                              "LastUpdateMessage_Date"})
            RegRemoveValue(kSettingsKey, n);
        // The start-up asks a server that takes the request and never answers.
        auto t0 = std::chrono::steady_clock::now();
        ASSERT_EQ(RunStartup(false), 0);
        g_startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        ASSERT_NE(Form1, nullptr);
    }
    static void TearDownTestSuite() {
        delete g_savedSettings;
        g_savedSettings = nullptr;
        ReleaseTextAddressHook = nullptr;
        delete g_server;
        g_server = nullptr;
    }
    void TearDown() override {
        SetDialogHook(nullptr);
        ShellOpenHook = nullptr;
    }
    // Fetches as the start does, from the server's `path`.
    static void Fetch(const std::string& path) {
        g_path = path;
        g_server->ClearRequests();
        Form1->ReleaseText->Clear();
        Form1->FetchReleaseText();
    }
    // Runs the notice's timer tick; returns the version label of the notice
    // shown ("" when none showed).
    static std::string Notice() {
        std::string shownVersion;
        WhenModal([&] {
            shownVersion = UpdateForm->sLabelFX2->Caption();
            UpdateForm->SetModalResult(mrOk);
        });
        Form1->ThreadedTimer1Timer(nullptr);
        KillTimer(nullptr, 0);
        g_onModal = nullptr;
        return shownVersion;
    }
};

TEST_F(PreferencesTest, AServerThatNeverAnswersDoesNotHoldUpTheStart) {
    // The rest of the start takes a second or two under Wine.
    EXPECT_LT(g_startSeconds, kHttpTimeoutMs / 1000.0 + 3.0);
    EXPECT_EQ(Form1->ReleaseText->Count(), 0);
    EXPECT_EQ(Form1->ReleaseTextVersion(), 0.0);
    EXPECT_EQ(Notice(), "");
}

TEST_F(PreferencesTest, TheWholeFetchIsBoundedWhateverTheServerDoes) {
    // Silence after the request, and an answer trickled byte by byte (which
    // restarts every per-call time-out): both end at the one deadline.
    for (const char* path : {"/hang.txt", "/trickle.txt"}) {
        auto t0 = std::chrono::steady_clock::now();
        Fetch(path);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(seconds, kHttpTimeoutMs / 1000.0 + 0.5) << path;
        EXPECT_GT(seconds, kHttpTimeoutMs / 1000.0 - 0.5) << path;
        EXPECT_EQ(Form1->ReleaseText->Count(), 0) << path;
    }
    EXPECT_EQ(g_server->Requests(), (std::vector<std::string>{"HEAD /trickle.txt", "GET /trickle.txt"}));
    THttpResponse r = HttpRequest("GET", g_server->Url("/trickle.txt"), false, 1000);
    EXPECT_EQ(r.Status, 0);
    EXPECT_FALSE(r.Error.empty());
    // A server that answers at once is still read in full afterwards.
    Fetch("/v121.txt");
    EXPECT_DOUBLE_EQ(Form1->ReleaseTextVersion(), 1.21);
}

TEST_F(PreferencesTest, NewerReleaseIsAnnouncedOncePerWeekAndAgainForTheNext) {
    Fetch("/v121.txt");
    EXPECT_EQ(g_server->Requests(), (std::vector<std::string>{"HEAD /v121.txt", "GET /v121.txt"}));
    EXPECT_DOUBLE_EQ(Form1->ReleaseTextVersion(), 1.21);
    ASSERT_EQ(Form1->ReleaseText->Count(), 3);
    EXPECT_EQ(Form1->ReleaseText->Strings(1), "- Schnelleres Schneiden");

    EXPECT_EQ(Notice(), "1.21");
    EXPECT_DOUBLE_EQ(RegReadFloat(kSettingsKey, "LastUpdateMessage_Version"), 1.21);
    EXPECT_NEAR(RegReadFloat(kSettingsKey, "LastUpdateMessage_Date"), NowAsDays(), 0.01);
    // A restart the same day: not again; a newer version: at once.
    EXPECT_EQ(Notice(), "");
    Fetch("/v122.txt");
    EXPECT_EQ(Notice(), "1.22");
    // A week later the same version comes again.
    RegWriteFloat(kSettingsKey, "LastUpdateMessage_Date", NowAsDays() - 7.01);
    EXPECT_EQ(Notice(), "1.22");
}

TEST_F(PreferencesTest, NoticeLinksTheDownloadPageOfTheLanguage) {
    Fetch("/v121.txt");
    RegRemoveValue(kSettingsKey, "LastUpdateMessage_Version");
    std::vector<std::string> opened;
    ShellOpenHook = [&](const std::string& f, const std::string&, const std::string&) { opened.push_back(f); };
    RegWriteString(kSettingsKey, "Language", "ENG");
    std::string memo, hint;
    WhenModal([&] {
        memo = UpdateForm->sMemo1->Lines().Text();
        hint = UpdateForm->sLabelFX3->Hint();
        UpdateForm->sLabelFX3Click(nullptr);
        UpdateForm->SetModalResult(mrOk);
    });
    Form1->ThreadedTimer1Timer(nullptr);
    RegRemoveValue(kSettingsKey, "Language");
    EXPECT_EQ(hint, kDownloadPageEnglish);
    EXPECT_EQ(opened, std::vector<std::string>{kDownloadPageEnglish});
    EXPECT_NE(memo.find("Fehler behoben"), std::string::npos);
}

TEST_F(PreferencesTest, FailuresAndTheSwitchStaySilent) {
    RecordMessages();
    for (const char* path : {"/missing.txt", "/nan.txt", "/v100.txt"}) {
        Fetch(path);
        EXPECT_EQ(Notice(), "") << path;
    }
    EXPECT_TRUE(g_messages.empty());
    // A 404 on HEAD: no GET follows.
    Fetch("/missing.txt");
    EXPECT_EQ(g_server->Requests(), std::vector<std::string>{"HEAD /missing.txt"});
    EXPECT_EQ(Form1->ReleaseText->Count(), 0);
    // Checking switched off: no request at all.
    RegWriteBool(kSettingsKey, "UpdateCheck", false);
    Fetch("/v121.txt");
    RegRemoveValue(kSettingsKey, "UpdateCheck");
    EXPECT_TRUE(g_server->Requests().empty());
    EXPECT_EQ(Notice(), "");
}

TEST_F(PreferencesTest, OpensInGermanWithoutALanguageAndOkStoresIt) {
    RegRemoveValue(kSettingsKey, "Language");
    Form1->ApplyTexts(false);
    std::string caption, language, page;
    WhenModal([&] {
        caption = SettingsForm->Caption();
        language = SettingsForm->sComboBox1->Text();
        page = SettingsForm->sTabSheet3->Caption();
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    EXPECT_EQ(caption, "Optionen");
    EXPECT_EQ(language, "Deutsch");
    EXPECT_EQ(page, "Korrekturverhalten");
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "GER");
    EXPECT_EQ(Form1->Preferences1->Caption(), "Optionen");
    EXPECT_EQ(SettingsForm, nullptr); // freed after use

    // English chosen: stored and the main window follows.
    WhenModal([&] {
        SettingsForm->sComboBox1->SetItemIndex(1);
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "ENG");
    EXPECT_EQ(Form1->Preferences1->Caption(), "Preferences");
}

TEST_F(PreferencesTest, CancelChangesNothing) {
    RegWriteString(kSettingsKey, "Language", "ENG");
    RegWriteBool(kSettingsKey, "NoSubtitles", false);
    RegWriteInteger(kSettingsKey, "TimerPatchMode", 1);
    Form3->Hide();
    WhenModal([&] {
        SettingsForm->sComboBox1->SetItemIndex(0);
        SettingsForm->sCheckBox1->SetChecked(true);
        SettingsForm->sCheckBox7->SetChecked(true);
        SettingsForm->sRadioGroup1->SetItemIndex(2);
        SettingsForm->SetModalResult(mrCancel);
    });
    Form1->Preferences1Click(nullptr);
    EXPECT_EQ(RegReadString(kSettingsKey, "Language"), "ENG");
    EXPECT_FALSE(RegReadBool(kSettingsKey, "NoSubtitles"));
    EXPECT_EQ(RegReadInteger(kSettingsKey, "TimerPatchMode"), 1);
    EXPECT_FALSE(Form3->Visible());

    // The same with OK stores every choice and shows the log window.
    WhenModal([&] {
        EXPECT_EQ(SettingsForm->sRadioGroup1->ItemIndex(), 1);
        SettingsForm->sCheckBox1->SetChecked(true);
        SettingsForm->sCheckBox7->SetChecked(true);
        SettingsForm->sRadioGroup1->SetItemIndex(2);
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    EXPECT_TRUE(RegReadBool(kSettingsKey, "NoSubtitles"));
    EXPECT_TRUE(RegReadBool(kSettingsKey, "ShowLogfileWindow"));
    EXPECT_EQ(RegReadInteger(kSettingsKey, "TimerPatchMode"), 2);
    EXPECT_TRUE(Form3->Visible());
    Form3->Hide();
    RegWriteBool(kSettingsKey, "ShowLogfileWindow", false);
}

// Ticked in the settings, the log window opens below the main window even
// where little room is left there: not pulled up over the main window's
// buttons.
TEST_F(PreferencesTest, TheLogWindowTickedOnOpensBelowTheMainWindow) {
    const TRect wa = Screen->WorkAreaRect();
    const TRect saved = Form1->BoundsRect();
    Form3->Hide();
    Form1->SetBounds(wa.Left + 10, wa.Bottom - 700, 730, 550);
    WhenModal([&] {
        SettingsForm->sCheckBox1->SetChecked(true);
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    EXPECT_TRUE(Form3->Visible());
    EXPECT_EQ(Form3->Left(), Form1->Left());
    EXPECT_EQ(Form3->Top(), Form1->Top() + Form1->Height());
    // Shortened to the 150 pixels left below the main window.
    EXPECT_EQ(Form3->Top() + Form3->Height(), wa.Bottom);
    Form3->Hide();
    RegWriteBool(kSettingsKey, "ShowLogfileWindow", false);
    Form1->SetBounds(saved.Left, saved.Top, saved.Width(), saved.Height());
}

TEST_F(PreferencesTest, SplitterChoicesFollowWhatTheProbeFound) {
    // Before the probe ran every outside filter is missing: a stored choice
    // is reported and reset on opening.
    RegWriteString(kSettingsKey, "Language", "ENG");
    RegWriteInteger(kSettingsKey, "MpegSplitter", 1);
    RecordMessages();
    WhenModal([&] { SettingsForm->SetModalResult(mrOk); });
    Form1->Preferences1Click(nullptr);
    EXPECT_EQ(g_messages, std::vector<std::string>{"Tessu Media Splitter not found!"});
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegSplitter"), 0);

    // With the filters installed, the user's choice of a splitter (a real
    // selection message) enables the decoders, the default disables them.
    Form1->FilterProbe = TFilterAvailability{true, true, true, true, true, true, "9.0c"};
    g_messages.clear();
    bool enabledAfterTessu = false, enabledAfterDefault = true;
    std::string directX;
    WhenModal([&] {
        auto choose = [](TComboBox* box, int index) {
            SendMessageW(box->Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
            SendMessageW(GetParent(box->Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box->Handle()), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(box->Handle()));
        };
        directX = SettingsForm->sEdit1->Text();
        choose(SettingsForm->sComboBox4, 1);
        enabledAfterTessu = SettingsForm->sComboBox2->Enabled() && SettingsForm->sComboBox5->Enabled();
        choose(SettingsForm->sComboBox2, 2);
        choose(SettingsForm->sComboBox4, 0);
        enabledAfterDefault = SettingsForm->sComboBox2->Enabled();
        choose(SettingsForm->sComboBox4, 2);
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    Form1->FilterProbe = TFilterAvailability{};
    EXPECT_EQ(directX, "9.0c");
    EXPECT_TRUE(enabledAfterTessu);
    EXPECT_FALSE(enabledAfterDefault);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegSplitter"), 2);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegVideoFilter"), 0);
    RegRemoveValue(kSettingsKey, "MpegSplitter");
    RegRemoveValue(kSettingsKey, "Language");
}

TEST_F(PreferencesTest, AMissingDecoderResetsTheSplitterAndKeepsItsOwnChoice) {
    RegWriteString(kSettingsKey, "Language", "ENG");
    // Only the Tessu splitter is installed: every decoder choice is missing.
    TFilterAvailability probe{};
    probe.TessuSplitter = true;
    Form1->FilterProbe = probe;
    RecordMessages();
    int splitterAfter = -1, decoderAfter = -1, h264After = -1, audioAfter = -1;
    bool decodersEnabled = false;
    WhenModal([&] {
        auto choose = [](TComboBox* box, int index) {
            SendMessageW(box->Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
            SendMessageW(GetParent(box->Handle()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box->Handle()), CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(box->Handle()));
        };
        choose(SettingsForm->sComboBox4, 1);
        choose(SettingsForm->sComboBox2, 2); // Elecard
        splitterAfter = SettingsForm->sComboBox4->ItemIndex();
        decoderAfter = SettingsForm->sComboBox2->ItemIndex();
        choose(SettingsForm->sComboBox4, 1);
        choose(SettingsForm->sComboBox3, 2); // CoreAVC
        h264After = SettingsForm->sComboBox3->ItemIndex();
        choose(SettingsForm->sComboBox4, 1);
        choose(SettingsForm->sComboBox5, 1); // ffdshow audio
        audioAfter = SettingsForm->sComboBox5->ItemIndex();
        decodersEnabled = SettingsForm->sComboBox2->Enabled() && SettingsForm->sComboBox3->Enabled() &&
                          SettingsForm->sComboBox5->Enabled();
        SettingsForm->SetModalResult(mrOk);
    });
    Form1->Preferences1Click(nullptr);
    Form1->FilterProbe = TFilterAvailability{};
    EXPECT_EQ(g_messages, (std::vector<std::string>{"Elecard MPEG-2 video filter not found!",
                                                    "CoreAVC video filter not found!",
                                                    "ffdshow audio filter not found!"}));
    // The splitter goes back to "Default (Merit)"; the decoder lists keep
    // their choice and stay enabled, and OK stores them as they stand.
    EXPECT_EQ(splitterAfter, 0);
    EXPECT_EQ(decoderAfter, 2);
    EXPECT_EQ(h264After, 2);
    EXPECT_EQ(audioAfter, 1);
    EXPECT_TRUE(decodersEnabled);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegSplitter"), 0);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegVideoFilter"), 2);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "H264VideoFilter"), 2);
    EXPECT_EQ(RegReadInteger(kSettingsKey, "MpegAudioFilter"), 1);
    for (const char* n : {"MpegSplitter", "MpegVideoFilter", "H264VideoFilter", "MpegAudioFilter", "Language"})
        RegRemoveValue(kSettingsKey, n);
}

std::string g_logText;
void CALLBACK CloseLogForm(HWND, UINT, UINT_PTR id, DWORD) {
    for (int i = 0; i < Screen->FormCount(); ++i)
        if (auto* log = dynamic_cast<TLogForm*>(Screen->Forms(i)); log && log->Visible()) {
            KillTimer(nullptr, id);
            g_logText = log->sMemo1->Lines().Text();
            log->SetModalResult(mrOk);
        }
}

TEST_F(PreferencesTest, DirectXLogShowsOnlyWhenPresent) {
    std::string file = Form1->DataFolder + "\\DirectXdebug.log";
    RemoveFile(file);
    TSettingsForm form(nullptr);
    form.DataFolder = Form1->DataFolder;
    form.sBitBtn3Click(nullptr); // no log: nothing shows, nothing waits
    {
        TFileStream f(file, fmCreate);
        f.WriteBuffer("graph built\r\n", 13);
    }
    g_logText.clear();
    SetTimer(nullptr, 0, 20, CloseLogForm);
    form.sBitBtn3Click(nullptr);
    RemoveFile(file);
    EXPECT_NE(g_logText.find("graph built"), std::string::npos);
}

TEST_F(PreferencesTest, AnOversizedDirectXLogShowsOnlyItsBeginning) {
    // The data folder is shared by every user of the machine: what lies
    // there is shown, but never more than a text window can sensibly hold.
    std::string file = Form1->DataFolder + "\\DirectXdebug.log";
    std::string line = "filter graph line of the preview log, numbered 0000000\r\n";
    const size_t lines = (6u << 20) / line.size();
    {
        TFileStream f(file, fmCreate);
        std::string block;
        for (size_t i = 0; i < lines; ++i) {
            std::string l = line;
            std::string n = IntToStr(static_cast<int64_t>(i));
            l.replace(l.size() - 2 - n.size(), n.size(), n);
            block += l;
        }
        f.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
    }
    TSettingsForm form(nullptr);
    form.DataFolder = Form1->DataFolder;
    g_logText.clear();
    SetTimer(nullptr, 0, 20, CloseLogForm);
    form.sBitBtn3Click(nullptr);
    RemoveFile(file);
    EXPECT_EQ(g_logText.compare(0, line.size(), line), 0) << "the log starts with its first line";
    EXPECT_LE(g_logText.size(), size_t(4u << 20) + 2);
    EXPECT_GT(g_logText.size(), size_t(3u << 20));
    // Cut at a line break: every line shown is whole (they are all as long).
    EXPECT_EQ(g_logText.size() % line.size(), 0u) << g_logText.substr(g_logText.size() - 80);
}

} // namespace
