// The packet tools inside the running program under Wine: the Tools menu
// items (hidden ones reached by their command ids), the packet filter's
// dialog ticked with the mouse, the low-level fix with its log beside the
// proposed name, the two listings, and the packet editor driven by real key
// and mouse messages, its write-back read again from the file.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "app/AnalysisView.h"
#include "app/MainForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/SettingsStore.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tests/support/FailingInput.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TsBuilder.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "tests/tools/ModalAction.h"
#include "tests/tools/SkinnedControls.h"
#include "tools/FilterForm.h"
#include "tools/PacketEditorForm.h"
#include "tools/ToolControls.h"
#include "tools/ToolForms.h"
#include "tools/engine/ToolCopy.h"
#include "ts/TSPacketReader.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Menus.h"

using namespace tw;
using tw::test::Bytes;

namespace {

using test::ReadAll;
using test::WriteAll;

struct Dialogs {
    std::vector<TDialogRequest> requests;
    std::string openAnswer;  // empty: cancel
    std::string saveAnswer;  // empty: cancel
    std::string saveOffered; // what the save dialog proposed
    std::string inputAnswer; // empty: cancel
    bool yes = true;
    // Sees each request before it is answered.
    std::function<void(const TDialogRequest&)> onRequest;
};
Dialogs g_dialogs;

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

int PidOf(const uint8_t* p) { return ((p[1] & 0x1F) << 8) | p[2]; }

TMenuItem* Item(const char* name) { return dynamic_cast<TMenuItem*>(Form1->FindComponent(name)); }

// The menu command as Windows delivers it.
void Command(const char* name) {
    TMenuItem* item = Item(name);
    ASSERT_NE(item, nullptr) << name;
    const test::ModalDeadline deadline(std::string("The window of ") + name);
    SendMessageW(Form1->Handle(), WM_COMMAND, MAKEWPARAM(item->Command(), 0), 0);
}

void Click(TControl* c) { SendMessageW(static_cast<TWinControl*>(c)->Handle(), BM_CLICK, 0, 0); }

void Key(TWinControl* c, WORD vk) {
    SendMessageW(c->Handle(), WM_KEYDOWN, vk, 1);
    SendMessageW(c->Handle(), WM_KEYUP, vk, 0xC0000001);
}

void Char(TWinControl* c, wchar_t ch) { SendMessageW(c->Handle(), WM_CHAR, ch, 1); }

class PacketToolsTest : public ::testing::Test {
protected:
    static inline std::vector<std::pair<const char*, std::optional<bool>>> savedBools;
    static inline std::string folder;
    static inline std::vector<std::string> made;

    static void SetUpTestSuite() {
        for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow"}) {
            savedBools.push_back({n, RegValueExists(kSettingsKey, n) ? std::optional<bool>(RegReadBool(kSettingsKey, n))
                                                                     : std::nullopt});
            RegWriteBool(kSettingsKey, n, false);
        }
        RegWriteString(kSettingsKey, "Language", "ENG");
        SetDialogHook([](TDialogRequest& rq) -> std::optional<int> {
            g_dialogs.requests.push_back(rq);
            if (g_dialogs.onRequest) g_dialogs.onRequest(rq);
            auto answer = [&](const std::string& a) -> std::optional<int> {
                if (a.empty()) return mrCancel;
                *rq.Value = a;
                return mrOk;
            };
            switch (rq.Kind) {
            case dkOpenFile: return answer(g_dialogs.openAnswer);
            case dkSaveFile:
                g_dialogs.saveOffered = *rq.Value;
                return answer(g_dialogs.saveAnswer);
            case dkInputQuery: return answer(g_dialogs.inputAnswer);
            default:
                if (rq.Buttons & mbYes) return g_dialogs.yes ? mrYes : mrNo;
                return mrOk;
            }
        });
        // One program per test process: the other tool tests may have
        // started it already.
        if (!Form1) {
            SetProgramParameters({});
            SetMainWindowViewFactory(MakeAnalysisView);
            ASSERT_EQ(RunStartup(false), 0);
        }
        ASSERT_NE(Form1, nullptr);
        ASSERT_NE(dynamic_cast<TAnalysisView*>(Form1->View()), nullptr);
        Form1->Show();
        folder = TempFolder() + "tw_packettools_" + std::to_string(GetCurrentProcessId()) + "\\";
        ForceDirectories(folder);
    }

    static void TearDownTestSuite() {
        SetDialogHook(nullptr);
        ToolFormShownHook = nullptr;
        for (const std::string& f : made)
            if (FileExists(f)) RemoveFile(f);
        RemoveDirectoryW(Utf8ToWide(folder).c_str());
        for (auto& [n, v] : savedBools) {
            if (v) RegWriteBool(kSettingsKey, n, *v);
            else RegRemoveValue(kSettingsKey, n);
        }
    }

    void SetUp() override {
        g_dialogs = Dialogs();
        ToolFormShownHook = nullptr;
    }

    void TearDown() override {
        if (test::ModalAction::Disarm()) ADD_FAILURE() << test::ModalAction::What() << " never came: its action did not run";
        ToolFormShownHook = nullptr;
    }

    static std::string Name(const std::string& base) {
        made.push_back(folder + base);
        return folder + base;
    }

    // A recording of the committed fixtures, copied to the test folder.
    static std::string Recording(const std::string& base) {
        const std::string name = Name(base);
        WriteAll(name, ReadAll(std::string("Z:") + TW_TEST_DATA_DIR + "/h264_ac3.ts"));
        return name;
    }

    static std::vector<std::string> Messages() {
        std::vector<std::string> out;
        for (const TDialogRequest& r : g_dialogs.requests)
            if (r.Kind == dkMessageDlg || r.Kind == dkMessageBox || r.Kind == dkShowMessage) out.push_back(r.Text);
        return out;
    }
};

} // namespace

TEST_F(PacketToolsTest, ToolsMenuShowsFilterAndEditorAndHidesTheOthers) {
    ASSERT_NE(Form1->Tools1, nullptr);
    EXPECT_TRUE(Form1->Tools1->Visible());
    for (const char* n : {"SPacketFilter1", "SPacketEditor1"}) {
        ASSERT_NE(Item(n), nullptr) << n;
        EXPECT_TRUE(Item(n)->Visible()) << n;
    }
    for (const char* n : {"SLowLevelFormat1", "SPacketprotocoll1", "SDuplicateFinder1"}) {
        ASSERT_NE(Item(n), nullptr) << n;
        EXPECT_FALSE(Item(n)->Visible()) << n;
        EXPECT_NE(Item(n)->Command(), 0u) << n;
    }
    EXPECT_EQ(Item("SPacketFilter1")->Caption(), "TS Packet Filter");
    EXPECT_EQ(Item("SLowLevelFormat1")->Caption(), "TS Low Level Structur Fix");
}

TEST_F(PacketToolsTest, FilterDialogListsThePidsAndTheTickedOneIsGone) {
    const std::string in = Recording("filter_in.ts");
    const std::string out = Name("filter_out.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    std::vector<std::string> items;
    std::string caption;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = dynamic_cast<TFilterForm*>(&form);
        ASSERT_NE(f, nullptr);
        caption = f->Caption();
        TCheckListBox* list = f->sCheckListBox1;
        for (int i = 0; i < list->Items().Count(); ++i) items.push_back(list->Items().Strings(i));
        // A click on the check box of the $0301 item.
        for (int i = 0; i < list->Items().Count(); ++i) {
            if (list->Items().Strings(i).rfind("$0301", 0) != 0) continue;
            RECT r{};
            SendMessageW(list->Handle(), LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
            const LPARAM at = MAKELPARAM(5, r.top + 2);
            SendMessageW(list->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageW(list->Handle(), WM_LBUTTONUP, 0, at);
            EXPECT_TRUE(list->Checked(i));
        }
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketFilter1");
    EXPECT_EQ(caption, "TS Packet Filtering");
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(g_dialogs.saveOffered, ChangeFileExt(in, "_filtered.ts"));
    const Bytes src = ReadAll(in), dst = ReadAll(out);
    Bytes expect;
    for (size_t p = 0; p + 188 <= src.size(); p += 188)
        if (PidOf(&src[p]) != 0x301) expect.insert(expect.end(), src.begin() + p, src.begin() + p + 188);
    EXPECT_EQ(dst, expect);
    EXPECT_LT(dst.size(), src.size());
    EXPECT_TRUE(Messages().empty());
}

// Ticking the PID that carries the program's clock (the video's here) is
// the user's choice and is kept; the window says the copy has no clock.
TEST_F(PacketToolsTest, FilterWarnsWhenTheTickedPidCarriesTheClock) {
    const std::string in = Recording("filter_clock_in.ts");
    const std::string out = Name("filter_clock_out.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = dynamic_cast<TFilterForm*>(&form);
        ASSERT_NE(f, nullptr);
        TCheckListBox* list = f->sCheckListBox1;
        for (int i = 0; i < list->Items().Count(); ++i)
            if (list->Items().Strings(i).rfind("$0300", 0) == 0) list->SetChecked(i, true);
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketFilter1");
    const Bytes dst = ReadAll(out);
    ASSERT_FALSE(dst.empty());
    for (size_t p = 0; p + 188 <= dst.size(); p += 188) ASSERT_NE(PidOf(&dst[p]), 0x300);
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("clock (PCR)"), std::string::npos) << messages[0];
}

TEST_F(PacketToolsTest, FilterAndFixRefuseToWriteOverTheirInput) {
    const std::string in = Recording("same_in.ts");
    const Bytes before = ReadAll(in);
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = UpperCase(in);
    ToolFormShownHook = [](TForm& form) {
        Click(static_cast<TFilterForm&>(form).sBitBtn1);
        PostMessageW(form.Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketFilter1");
    Command("SLowLevelFormat1");
    EXPECT_EQ(ReadAll(in), before);
    ASSERT_EQ(Messages().size(), 2u);
    for (const std::string& m : Messages()) EXPECT_NE(m.find("must not be the input"), std::string::npos) << m;
    made.push_back(ChangeFileExt(in, "_lowLevelFixed.log"));
}

TEST_F(PacketToolsTest, FilterAndFixSayWhenTheInputHoldsNoPacketsAndWriteNothing) {
    const std::string in = Name("nopackets_in.ts");
    WriteAll(in, Bytes());
    const std::string out = Name("nopackets_out.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    ToolFormShownHook = [](TForm& form) {
        Click(static_cast<TFilterForm&>(form).sBitBtn1);
        PostMessageW(form.Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketFilter1");
    Command("SLowLevelFormat1");
    made.push_back(ChangeFileExt(in, "_lowLevelFixed.log"));
    EXPECT_FALSE(FileExists(out));
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    for (const std::string& m : messages) EXPECT_EQ(m, NoPacketsText(in));
}

TEST_F(PacketToolsTest, LowLevelFixWritesWellFramedPacketsAndItsLogBesideTheProposal) {
    const std::string in = Name("lowlevel_in.ts");
    Bytes data = ReadAll(std::string("Z:") + TW_TEST_DATA_DIR + "/h264_ac3.ts");
    const Bytes garbage = tw::test::Garbage(61, 5);
    data.insert(data.begin() + 188 * 20 + 33, garbage.begin(), garbage.end());
    data.insert(data.begin(), garbage.begin(), garbage.begin() + 7);
    WriteAll(in, data);
    const std::string out = Name("elsewhere.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    Command("SLowLevelFormat1");
    const std::string log = ChangeFileExt(in, "_lowLevelFixed.log");
    made.push_back(log);
    EXPECT_EQ(g_dialogs.saveOffered, ChangeFileExt(in, "_lowLevelFixed.ts"));
    ASSERT_TRUE(FileExists(log));
    const Bytes logText = ReadAll(log);
    const std::string text(logText.begin(), logText.end());
    EXPECT_NE(text.find("Cutting 7 bytes at the start"), std::string::npos) << text;
    EXPECT_NE(text.find("packets skipped"), std::string::npos) << text;
    const Bytes fixed = ReadAll(out);
    ASSERT_EQ(fixed.size() % 188, 0u);
    for (size_t p = 0; p < fixed.size(); p += 188) ASSERT_EQ(fixed[p], 0x47) << p;
}

TEST_F(PacketToolsTest, LowLevelFixRefusesAnOutputItsLogWouldOverwrite) {
    // The log goes beside the proposed name whatever the user picks: an
    // output by the log's own name would be replaced by the log after DONE.
    const std::string in = Recording("logclash_in.ts");
    const std::string log = ChangeFileExt(in, "_lowLevelFixed.log");
    made.push_back(log);
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = UpperCase(log);
    Command("SLowLevelFormat1");
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("The log beside the new file (logclash_in_lowLevelFixed.log) would replace it"),
              std::string::npos)
        << messages[0];
}

TEST_F(PacketToolsTest, ProtocolAndDuplicateListingsBesideTheRecording) {
    const std::string in = Name("listing.ts");
    tw::test::TsStream ts;
    for (int i = 0; i < 12; ++i) {
        tw::test::TsPacketOptions o;
        o.pid = 0x44;
        o.cc = i & 15;
        o.payload.assign(184, static_cast<uint8_t>(i % 5));
        ts.Add(o, false);
    }
    ts.Packet(7) = ts.Packet(2);
    ts.Save(in);
    g_dialogs.openAnswer = in;
    Command("SPacketprotocoll1");
    const std::string protocol = ChangeFileExt(in, "_protocoll.txt");
    made.push_back(protocol);
    ASSERT_TRUE(FileExists(protocol));
    const Bytes p = ReadAll(protocol);
    const std::string ptext(p.begin(), p.end());
    EXPECT_NE(ptext.find("\r\n0000000B 0044 "), std::string::npos) << ptext;

    g_dialogs.inputAnswer = "$44";
    Command("SDuplicateFinder1");
    const std::string dups = ChangeFileExt(in, "_duplicates.txt");
    made.push_back(dups);
    ASSERT_TRUE(FileExists(dups));
    const Bytes d = ReadAll(dups);
    EXPECT_EQ(std::string(d.begin(), d.end()),
              "Packets: 12\r\nPID: $0044\r\n \r\nDupplicate packet: $00000002 > $00000007, \r\n");
    bool asked = false;
    for (const TDialogRequest& r : g_dialogs.requests)
        if (r.Kind == dkInputQuery) asked = r.Caption == "PID auswählen" && r.Text == "PID:";
    EXPECT_TRUE(asked);
}

TEST_F(PacketToolsTest, PacketEditorEditsByKeyAndMouseAndWritesOnlyThatPacket) {
    const std::string in = Recording("editor.ts");
    const Bytes before = ReadAll(in);
    const int64_t packets = static_cast<int64_t>(before.size() / 188);
    g_dialogs.openAnswer = in;
    int64_t lastIndexAfterStep = -1;
    std::string pidText, numberText;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = dynamic_cast<TPacketEditorForm*>(&form);
        ASSERT_NE(f, nullptr);
        TTSHexEditor* hex = f->TSHexEditor1;
        // Packet $10 by the number box: numbers turn hexadecimal.
        f->sEdit1->SetText("$10");
        Key(f->sEdit1, VK_RETURN);
        EXPECT_EQ(f->Raw_TSPacketReader->PacketIndex(), 16);
        numberText = f->sEdit1->Text();
        // A click on the low digit of byte 4 (row 0), then two digits typed.
        hex->SetFocus();
        const int col = hex->Model().FirstHexColumn() + 2 * 4 + 1;
        const LPARAM at = MAKELPARAM(hex->ColumnLeft(col) + 2, hex->RowHeight() / 2);
        SendMessageW(hex->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(hex->Handle(), WM_LBUTTONUP, 0, at);
        EXPECT_EQ(hex->Model().CaretPos(), 4);
        EXPECT_EQ(hex->Model().CaretNibble(), 1);
        Key(hex, VK_LEFT);
        Char(hex, 'A');
        Char(hex, 'b');
        Application->ProcessMessages();
        EXPECT_TRUE(hex->Modified());
        EXPECT_TRUE(f->sBitBtn4->Enabled());
        // Bytes 1 and 2 (the PID, flags kept) changed by typing in the hex half.
        const std::string b1 = IntToHex((before[16 * 188 + 1] & 0xE0) | 0x1F, 2);
        hex->Model().SetCaret(1, false, 0);
        for (char c : b1 + "FF") Char(hex, static_cast<wchar_t>(c));
        Application->ProcessMessages();
        pidText = f->sEdit2->Text();
        Click(f->sBitBtn4); // write, confirmed by the dialog hook
        EXPECT_FALSE(hex->Modified());
        // Last packet: "->" and "->>" stay there.
        Click(f->sBitBtn15);
        Click(f->sBitBtn3);
        Click(f->sBitBtn7);
        lastIndexAfterStep = f->Raw_TSPacketReader->PacketIndex();
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_EQ(numberText, "$00000010");
    EXPECT_EQ(pidText, "$1FFF");
    EXPECT_EQ(lastIndexAfterStep, packets - 1);
    const Bytes after = ReadAll(in);
    ASSERT_EQ(after.size(), before.size());
    const size_t at = 16 * 188;
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == at + 1 || i == at + 2 || i == at + 4) continue;
        ASSERT_EQ(after[i], before[i]) << "byte " << i << " changed";
    }
    EXPECT_EQ(after[at + 4], 0xAB);
    EXPECT_EQ(PidOf(&after[at]), 0x1FFF);
    EXPECT_EQ(after[at + 1] & 0xE0, before[at + 1] & 0xE0);
}

TEST_F(PacketToolsTest, GermanFilterDialogCancelledWritesNothing) {
    const std::string in = Recording("german_in.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = Name("german_out.ts");
    RegWriteString(kSettingsKey, "Language", "GER");
    std::string caption, label, box, cancel;
    ToolFormShownHook = [&](TForm& form) {
        auto& f = static_cast<TFilterForm&>(form);
        caption = f.Caption();
        label = f.sLabel1->Caption();
        box = f.sCheckBox1->Caption();
        cancel = f.sBitBtn2->Caption();
        Click(f.sBitBtn2);
        PostMessageW(f.Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketFilter1");
    RegWriteString(kSettingsKey, "Language", "ENG");
    EXPECT_EQ(caption, "TS-Packet-Filterung");
    EXPECT_EQ(label, "Lösche PIDs");
    EXPECT_EQ(box, "Lösche ungültige Pakete");
    EXPECT_EQ(cancel, "Abbrechen");
    EXPECT_FALSE(FileExists(g_dialogs.saveAnswer));
    for (const TDialogRequest& r : g_dialogs.requests) EXPECT_NE(r.Kind, dkSaveFile);
}

TEST_F(PacketToolsTest, PacketEditorSearchesStepsAndReportsAFailedWrite) {
    const std::string in = Name("editor_search.ts");
    tw::test::TsStream ts;
    for (int i = 0; i < 40; ++i) {
        tw::test::TsPacketOptions o;
        o.pid = i % 2 ? 0x101 : 0x100;
        o.payloadStart = i == 6 || i == 30;
        if (i == 11) o.pcr = 27000000;
        o.payload.assign(184, static_cast<uint8_t>(i == 20 ? 0x47 : 0x10));
        ts.Add(o);
    }
    ts.SetTransportError(25);
    ts.Save(in);
    const Bytes before = ReadAll(in);
    g_dialogs.openAnswer = in;
    std::vector<int64_t> at;
    bool errorShown = false, pcrShown = false;
    std::string selected;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSPacketReader& r = *f->Raw_TSPacketReader;
        auto pos = [&] { at.push_back(r.PacketIndex()); };
        Click(f->sBitBtn8); // Payl. forward, PID $0100
        pos();              // 6
        Click(f->sBitBtn8);
        pos(); // 30
        Click(f->sBitBtn9); // Payl. backward
        pos();              // 6
        Click(f->sBitBtn10); // PCR forward
        pos();               // 11
        pcrShown = !f->sEdit6->Text().empty();
        Click(f->sBitBtn12); // Error forward
        pos();               // 25
        errorShown = f->ErrorLabel->Visible();
        Click(f->sBitBtn12); // none further: back to 25 with the message
        pos();
        Click(f->sBitBtn14); // |<
        Click(f->sBitBtn16); // Sync: byte 0 of packet 0 is behind the caret...
        pos();
        selected = std::to_string(f->TSHexEditor1->SelStart());
        for (int i = 0; i < 5; ++i) Click(f->sBitBtn3);
        Click(f->sBitBtn6); // "<<-" on packet 5 (or below 10) does nothing
        pos();
        // A write that fails: another program holds the file and lets
        // nobody write to it.
        HANDLE lock = CreateFileW(Utf8ToWide(in).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(lock, INVALID_HANDLE_VALUE);
        f->TSHexEditor1->SetFocus();
        Char(f->TSHexEditor1, L'5');
        Application->ProcessMessages();
        Click(f->sBitBtn4);
        CloseHandle(lock);
        Click(f->sBitBtn5); // discard
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_EQ(at, (std::vector<int64_t>{6, 30, 6, 11, 25, 25, 0, 5}));
    EXPECT_TRUE(pcrShown);
    EXPECT_TRUE(errorShown);
    EXPECT_EQ(selected, "0");
    const auto msgs = Messages();
    EXPECT_NE(std::find(msgs.begin(), msgs.end(), "Not found"), msgs.end());
    bool failure = false;
    for (const std::string& m : msgs) failure = failure || m.find("could not be written") != std::string::npos;
    EXPECT_TRUE(failure);
    EXPECT_EQ(ReadAll(in), before);
}

TEST_F(PacketToolsTest, HoldingAStepButtonRepeatsUntilReleased) {
    const std::string in = Recording("editor_hold.ts");
    g_dialogs.openAnswer = in;
    int64_t moved = 0, afterRelease = -1;
    bool timerOff = false;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSPacketReader& r = *f->Raw_TSPacketReader;
        HWND b = f->sBitBtn3->Handle();
        SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        // The timer clicks the held button from its fifth tick on.
        const DWORD until = GetTickCount() + 60000;
        while (r.PacketIndex() < 3 && GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Application->ProcessMessages();
        }
        moved = r.PacketIndex();
        SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
        Application->ProcessMessages();
        timerOff = !f->AutoIncTimer->Enabled();
        afterRelease = r.PacketIndex();
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_GE(moved, 3);
    EXPECT_TRUE(timerOff);
    EXPECT_GE(afterRelease, moved);
}

TEST_F(PacketToolsTest, OffsetBoxRealignsAndTheHeaderSwitchesHexOffsets) {
    const std::string in = Recording("editor_offset.ts");
    g_dialogs.openAnswer = in;
    bool invalidAtFour = false, validAgain = false;
    std::string firstSection, offsetText;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        SendMessageW(f->sSpinEdit1->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
        invalidAtFour = f->Raw_TSPacketReader->GarbageOffset() == 4 && f->ErrorLabel->Visible();
        SendMessageW(f->sSpinEdit1->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"));
        validAgain = f->Raw_TSPacketReader->GarbageOffset() == 0 && !f->ErrorLabel->Visible();
        // A click on the header's first section, as the header reports it.
        NMHEADERW nm{};
        nm.hdr.hwndFrom = f->sHeaderControl1->Handle();
        nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(nm.hdr.hwndFrom));
        nm.hdr.code = HDN_ITEMCLICKW;
        nm.iItem = 0;
        SendMessageW(f->Handle(), WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
        firstSection = f->sHeaderControl1->Sections(0).Text;
        offsetText = f->TSHexEditor1->Model().OffsetText(1);
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_TRUE(invalidAtFour);
    EXPECT_TRUE(validAgain);
    EXPECT_EQ(firstSection, "Hex.");
    EXPECT_EQ(offsetText.substr(0, 2), "0x");
}

TEST_F(PacketToolsTest, PacketEditorSaysSoWhenTheFileHoldsNoPackets) {
    const std::string in = Name("editor_empty.ts");
    WriteAll(in, Bytes(100, 0x20));
    g_dialogs.openAnswer = in;
    bool shown = false;
    ToolFormShownHook = [&](TForm& form) {
        shown = true;
        PostMessageW(form.Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_TRUE(shown);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0], "No transport stream packets in " + in);
    EXPECT_EQ(ReadAll(in), Bytes(100, 0x20));
}

namespace {

// What a skinned button shows, as its cache holds it: one number per pixel.
std::vector<COLORREF> ButtonPicture(skin::TsBitBtn* b) {
    RedrawWindow(b->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    std::vector<COLORREF> out;
    TBitmap* cache = b->SkinData.CacheBmp();
    if (!cache) return out;
    for (int y = 0; y < cache->Height(); ++y)
        for (int x = 0; x < cache->Width(); ++x) out.push_back(GetPixel(cache->Canvas().Handle(), x, y));
    return out;
}

// Runs `act` from the modal loop once the window is on the screen (the
// shown hook runs before it is); a window that never shows fails the test
// within a deadline.
void WhenVisible(TForm& form, std::function<void(TForm&)> act) {
    TForm* f = &form;
    test::ModalAction::Arm([f] { return IsWindowVisible(f->Handle()) != FALSE; },
                           [f, act = std::move(act)] { act(*f); }, "The tool window on the screen");
}

} // namespace

TEST_F(PacketToolsTest, PacketEditorWearsTheSkinAndItsSearchPairsShowTheirWay) {
    g_dialogs.openAnswer = Recording("editor_skin.ts");
    std::vector<std::string> unskinned;
    struct Pair {
        std::string back, next;
        bool glyphs = false, sides = false, differ = false;
    };
    std::vector<Pair> pairs;
    std::string pidCaption, germanNumber, numberText, germanWrite, germanDiscard;
    bool writePictures = false;
    auto check = [&](TForm& form) {
        auto* f = dynamic_cast<TPacketEditorForm*>(&form);
        ASSERT_NE(f, nullptr);
        // The hex view draws itself; everything else comes from the skin.
        unskinned = test::UnskinnedControls(*f, {"TSHexEditor1"});
        for (auto [back, next] : {std::pair{f->sBitBtn9, f->sBitBtn8}, std::pair{f->sBitBtn11, f->sBitBtn10},
                                  std::pair{f->sBitBtn13, f->sBitBtn12}}) {
            Pair p;
            p.back = back->Caption();
            p.next = next->Caption();
            p.glyphs = !back->Glyph().Empty() && !next->Glyph().Empty();
            const std::vector<COLORREF> a = ButtonPicture(back), b = ButtonPicture(next);
            // The arrow back before the caption, the arrow on after it.
            p.sides = back->GlyphRect().Right <= back->Width() / 2 && next->GlyphRect().Left >= next->Width() / 2;
            p.differ = !a.empty() && a.size() == b.size() && a != b;
            pairs.push_back(p);
        }
        pidCaption = BoundLabelOf(f->sEdit2)->Label()->Caption();
        // The captions are English in either language; the boxes' contents
        // stay as they are.
        f->SetLanguage(true);
        germanNumber = BoundLabelOf(f->sEdit1)->Label()->Caption();
        numberText = f->sEdit1->Text();
        // Write and discard show pictures, no words.
        germanWrite = f->sBitBtn4->Caption();
        germanDiscard = f->sBitBtn5->Caption();
        writePictures = !f->sBitBtn4->Glyph().Empty() && !f->sBitBtn5->Glyph().Empty();
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    ToolFormShownHook = [&](TForm& form) { WhenVisible(form, check); };
    Command("SPacketEditor1");
    EXPECT_TRUE(unskinned.empty()) << [&] {
        std::string all;
        for (const std::string& n : unskinned) all += n + " ";
        return all;
    }();
    ASSERT_EQ(pairs.size(), 3u);
    for (const Pair& p : pairs) {
        EXPECT_EQ(p.back, p.next);
        EXPECT_TRUE(p.glyphs) << p.back;
        EXPECT_TRUE(p.sides) << p.back;
        EXPECT_TRUE(p.differ) << p.back;
    }
    EXPECT_EQ(pidCaption, "PID");
    EXPECT_EQ(germanNumber, "Packet number");
    EXPECT_EQ(numberText, "0");
    EXPECT_EQ(germanWrite, "");
    EXPECT_EQ(germanDiscard, "");
    EXPECT_TRUE(writePictures);
}

TEST_F(PacketToolsTest, FilterDialogWearsTheSkinWithItsListCaptionAbove) {
    g_dialogs.openAnswer = Recording("filter_skin.ts");
    std::vector<std::string> unskinned;
    TRect label, list;
    std::string caption;
    bool labelShown = false;
    auto check = [&](TForm& form) {
        auto* f = dynamic_cast<TFilterForm*>(&form);
        ASSERT_NE(f, nullptr);
        unskinned = test::UnskinnedControls(*f);
        caption = f->sLabel1->Caption();
        labelShown = f->sLabel1->Visible() && f->sLabel1->Parent() == f;
        label = f->sLabel1->BoundsRect();
        list = f->sCheckListBox1->BoundsRect();
        Click(f->sBitBtn2);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    ToolFormShownHook = [&](TForm& form) { WhenVisible(form, check); };
    Command("SPacketFilter1");
    EXPECT_TRUE(unskinned.empty()) << [&] {
        std::string all;
        for (const std::string& n : unskinned) all += n + " ";
        return all;
    }();
    // The list's own caption, above it at its left edge.
    EXPECT_EQ(caption, "Delete PIDs");
    EXPECT_TRUE(labelShown);
    EXPECT_LE(label.Bottom, list.Top);
    EXPECT_EQ(label.Left, list.Left);
    for (const TDialogRequest& r : g_dialogs.requests) EXPECT_NE(r.Kind, dkSaveFile);
}

TEST_F(PacketToolsTest, PacketEditorFitsASmallScreenWithItsOkButtonInSight) {
    g_dialogs.openAnswer = Recording("editor_layout.ts");
    std::vector<std::string> english, german;
    RECT outer{};
    bool okOnTop = false, okUsable = false;
    auto check = [&](TForm& form) {
        auto* f = dynamic_cast<TPacketEditorForm*>(&form);
        ASSERT_NE(f, nullptr);
        GetWindowRect(f->Handle(), &outer);
        english = test::LayoutFaults(*f);
        // Nothing lies over the OK button where the user clicks it.
        const TRect ok = f->sBitBtn1->BoundsRect();
        POINT centre{(ok.Left + ok.Right) / 2, (ok.Top + ok.Bottom) / 2};
        okOnTop = ChildWindowFromPointEx(f->Handle(), centre, CWP_SKIPINVISIBLE) == f->sBitBtn1->Handle();
        okUsable = f->sBitBtn1->Visible() && f->sBitBtn1->Enabled();
        f->SetLanguage(true);
        german = test::LayoutFaults(*f);
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    ToolFormShownHook = [&](TForm& form) { WhenVisible(form, check); };
    Command("SPacketEditor1");
    auto joined = [](const std::vector<std::string>& v) {
        std::string all;
        for (const std::string& s : v) all += s + "\n";
        return all;
    };
    EXPECT_TRUE(english.empty()) << joined(english);
    EXPECT_TRUE(german.empty()) << joined(german);
    // A 1024x768 screen less a task bar, the skin's frame included.
    EXPECT_LE(outer.right - outer.left, 1024);
    EXPECT_LE(outer.bottom - outer.top, 728);
    EXPECT_TRUE(okOnTop);
    EXPECT_TRUE(okUsable);
}

TEST_F(PacketToolsTest, ClosingThePacketEditorAsksAboutUnwrittenChanges) {
    // However the window is closed, an edited packet is offered for writing:
    // the title bar's close button, Escape and OK.
    struct Way {
        const char* name;
        std::function<void(TPacketEditorForm&)> close;
        bool answer;
    };
    const std::vector<Way> ways = {
        {"title bar", [](TPacketEditorForm& f) { PostMessageW(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }, true},
        {"Escape",
         [](TPacketEditorForm& f) {
             PostMessageW(f.TSHexEditor1->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
             PostMessageW(f.TSHexEditor1->Handle(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
         },
         false},
        {"OK", [](TPacketEditorForm& f) { Click(f.sBitBtn1); }, false},
        // Escape while the packet number box has the focus: the box loses
        // it as the window goes, and the question still comes once.
        {"number box, Escape",
         [](TPacketEditorForm& f) {
             f.sEdit1->SetFocus();
             PostMessageW(f.sEdit1->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
             PostMessageW(f.sEdit1->Handle(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
         },
         false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const std::string in = Recording(std::string("editor_close_") + (way.answer ? "yes" : "no") + way.name[0] + ".ts");
        const Bytes before = ReadAll(in);
        g_dialogs = Dialogs();
        g_dialogs.openAnswer = in;
        g_dialogs.yes = way.answer;
        ToolFormShownHook = [&](TForm& form) {
            auto* f = static_cast<TPacketEditorForm*>(&form);
            // Byte 4's high digit of packet 0 typed over.
            f->TSHexEditor1->SetFocus();
            f->TSHexEditor1->Model().SetCaret(4, false, 0);
            Char(f->TSHexEditor1, before[4] >> 4 == 0xE ? L'D' : L'E');
            Application->ProcessMessages();
            EXPECT_TRUE(f->TSHexEditor1->Modified());
            way.close(*f);
        };
        Command("SPacketEditor1");
        int asked = 0;
        for (const std::string& m : Messages()) asked += m == "The packet was changed!\rWrite the changed packet?";
        EXPECT_EQ(asked, 1);
        const Bytes after = ReadAll(in);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(after[4] != before[4], way.answer);
        for (size_t i = 0; i < after.size(); ++i)
            if (i != 4) ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
}

TEST_F(PacketToolsTest, PayloadAndPcrSearchesFindDamagedPacketsByTheirHeaders) {
    // The packets the searches look for carry a transport error: the user
    // hunting a PCR or a payload start finds them all the same, while a
    // packet without a sync byte has no header to match.
    const std::string in = Name("editor_damaged_search.ts");
    tw::test::TsStream ts;
    for (int i = 0; i < 20; ++i) {
        tw::test::TsPacketOptions o;
        o.pid = 0x100;
        o.payloadStart = i == 0 || i == 5 || i == 12;
        if (i == 8 || i == 15) o.pcr = 27000000 + i;
        o.payload.assign(184, 0x10);
        ts.Add(o);
    }
    ts.SetTransportError(5);
    ts.SetTransportError(8);
    ts.Save(in);
    // Packet 12's sync byte is gone: its payload start cannot be read.
    Bytes data = ReadAll(in);
    data[12 * 188] = 0x00;
    WriteAll(in, data);
    g_dialogs.openAnswer = in;
    std::vector<int64_t> at;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSPacketReader& r = *f->Raw_TSPacketReader;
        Click(f->sBitBtn8); // Payl. forward: the damaged packet 5
        at.push_back(r.PacketIndex());
        Click(f->sBitBtn8); // nothing further (12 has no header)
        at.push_back(r.PacketIndex());
        Click(f->sBitBtn10); // PCR forward: the damaged packet 8
        at.push_back(r.PacketIndex());
        Click(f->sBitBtn10);
        at.push_back(r.PacketIndex());
        Click(f->sBitBtn11); // PCR backward: 8 again
        at.push_back(r.PacketIndex());
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_EQ(at, (std::vector<int64_t>{5, 5, 8, 15, 8}));
    EXPECT_EQ(ReadAll(in), data);
}

namespace {

// The hex grid as it prints itself, one number per pixel of its client area.
struct Printed {
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    COLORREF At(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};
Printed PrintOf(TWinControl& c) {
    Printed p;
    p.w = c.ClientWidth();
    p.h = c.ClientHeight();
    TBitmap pic(p.w, p.h, pf24bit);
    SendMessageW(c.Handle(), WM_PRINT, reinterpret_cast<WPARAM>(pic.Canvas().Handle()), PRF_CLIENT | PRF_ERASEBKGND);
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) p.px.push_back(pic.Canvas().Pixels(x, y) & 0xFFFFFF);
    return p;
}
int Lightness(COLORREF c) { return (GetRValue(c) * 3 + GetGValue(c) * 6 + GetBValue(c)) / 10; }

} // namespace

TEST_F(PacketToolsTest, PacketEditorsHexGridWearsTheSkinsFieldColours) {
    g_dialogs.openAnswer = Recording("editor_hexskin.ts");
    skin::TsSkinManager* sm = skin::DefaultManager;
    ASSERT_NE(sm, nullptr);
    const int edit = sm->GetSkinIndex("EDIT");
    ASSERT_GE(edit, 0);
    const COLORREF field = ColorToRGB(sm->gd[size_t(edit)].Color) & 0xFFFFFF;
    struct Look {
        COLORREF background = 0;
        int darkestText = 255, textPixels = 0;
        COLORREF selected = 0;
    };
    Look skinned, plain, again;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSHexEditor& hex = *f->TSHexEditor1;
        // Byte 0 selected; the second row's digits and offset read as text.
        hex.SetSelStart(0);
        hex.SetSelEnd(0);
        auto look = [&](Look& l) {
            Application->ProcessMessages();
            const Printed p = PrintOf(hex);
            l.background = p.At(p.w - 3, p.h - 3);
            const int top = hex.RowHeight(), bottom = 2 * hex.RowHeight();
            for (int y = top; y < bottom; ++y)
                for (int x = 0; x < hex.ColumnLeft(hex.Model().ColCount()) && x < p.w; ++x)
                    if (p.At(x, y) != l.background) {
                        ++l.textPixels;
                        l.darkestText = std::min(l.darkestText, Lightness(p.At(x, y)));
                    }
            const int x0 = hex.ColumnLeft(2);
            l.selected = p.At(x0 + 1, 0);
        };
        look(skinned);
        // Without the skin the grid shows its own colours, with it again the skin's.
        sm->SetActive(false);
        look(plain);
        sm->SetActive(true);
        look(again);
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_EQ(skinned.background, field);
    EXPECT_NE(skinned.background, 0xFFFFFFu);
    // Readable on the dark field: no text darker than half way to the light.
    EXPECT_GT(skinned.textPixels, 20);
    EXPECT_GT(skinned.darkestText, Lightness(field));
    EXPECT_EQ(skinned.selected, ColorToRGB(sm->GetHighlightColor()) & 0xFFFFFF);
    EXPECT_EQ(plain.background, ColorToRGB(clWindow) & 0xFFFFFF);
    EXPECT_EQ(again.background, field);
    EXPECT_EQ(again.selected, skinned.selected);
}

TEST_F(PacketToolsTest, PacketEditorAsksBeforeEveryReloadOfAnEditedPacket) {
    // Each way the number box or the offset box shows a packet again, with
    // an edit not yet written: the question comes first.
    const std::string in = Recording("editor_reload.ts");
    const Bytes before = ReadAll(in);
    g_dialogs.openAnswer = in;
    const std::string question = "The packet was changed!\rWrite the changed packet?";
    auto asked = [&] {
        int n = 0;
        for (const std::string& m : Messages()) n += m == question;
        return n;
    };
    struct Step {
        std::string name;
        int askedBefore = 0, askedAfter = 0;
        bool modifiedAfter = true;
        std::string numberText;
        int64_t index = -1;
    };
    std::vector<Step> steps;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSHexEditor* hex = f->TSHexEditor1;
        auto edit = [&](int byte) {
            hex->SetFocus();
            hex->Model().SetCaret(byte, false, 0);
            Char(hex, before[byte] >> 4 == 0xE ? L'D' : L'E');
            Application->ProcessMessages();
        };
        auto note = [&](const std::string& name, int askedBefore) {
            Step s{name, askedBefore, asked(), hex->Modified(), f->sEdit1->Text(), f->Raw_TSPacketReader->PacketIndex()};
            steps.push_back(s);
        };
        // Into the number box and back into the grid: written on Yes.
        edit(4);
        int a = asked();
        f->sEdit1->SetFocus();
        hex->SetFocus();
        note("focus left, Yes", a);
        g_dialogs.yes = false;
        for (const char* text : {"", "999999", "xyz"}) {
            edit(5);
            a = asked();
            f->sEdit1->SetFocus();
            f->sEdit1->SetText(text);
            Key(f->sEdit1, VK_RETURN);
            note(std::string("entered '") + text + "', No", a);
        }
        // Nothing unwritten: a text that is no number just shows the packet.
        a = asked();
        f->sEdit1->SetText("abc");
        Key(f->sEdit1, VK_RETURN);
        note("'abc' unedited", a);
        hex->SetFocus();
        // A new offset moves the grid: the edit at the old alignment is
        // written first on Yes.
        g_dialogs.yes = true;
        edit(6);
        a = asked();
        SendMessageW(f->sSpinEdit1->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"4"));
        note("offset, Yes", a);
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    ASSERT_EQ(steps.size(), 6u);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.askedAfter - s.askedBefore, s.name == "'abc' unedited" ? 0 : 1);
        EXPECT_FALSE(s.modifiedAfter);
        EXPECT_EQ(s.index, 0);
        if (s.name != "offset, Yes") EXPECT_EQ(s.numberText, "0");
    }
    // Bytes 4 and 6 written by the two Yes answers, byte 5 never.
    const Bytes after = ReadAll(in);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == 4 || i == 6) EXPECT_NE(after[i], before[i]) << "byte " << i;
        else ASSERT_EQ(after[i], before[i]) << "byte " << i;
    }
}

TEST_F(PacketToolsTest, PesTimerCaptionsFollowTheTimesAndSyncStartsAtByteZero) {
    // Packet 0: a PES header with a PTS of one hour and no DTS; a 0x47 in
    // its payload at byte 40. Packet 1: payload only.
    const std::string in = Name("editor_pes.ts");
    tw::test::TsStream ts;
    tw::test::TsPacketOptions pes;
    pes.pid = 0x100;
    pes.payloadStart = true;
    // The PES header takes 14 bytes from byte 4 and its data fills the
    // packet: byte 40 lies in the data.
    const Bytes es(184 - 14, 0x10);
    pes.payload = tw::test::PesPacket(0xE0, es, 90000LL * 3600);
    pes.payload[36] = 0x47;
    ts.Add(pes);
    tw::test::TsPacketOptions plain;
    plain.pid = 0x100;
    plain.cc = 1;
    plain.payload.assign(184, 0x10);
    ts.Add(plain);
    ts.Save(in);
    g_dialogs.openAnswer = in;
    struct Look {
        bool panel = false, pts = false, dts = false, escr = false;
        std::string ptsText;
    };
    Look withPes, withoutPes;
    std::vector<std::pair<int64_t, int64_t>> syncs; // packet, selected byte
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        auto look = [&] {
            auto lit = [](TControl* box) { return BoundLabelOf(box)->Label()->Enabled(); };
            return Look{f->sPanelPES->Enabled(), lit(f->sEdit10), lit(f->sEdit11), lit(f->sEdit12), f->sEdit10->Text()};
        };
        withPes = look();
        Click(f->sBitBtn3);
        withoutPes = look();
        Click(f->sBitBtn14);
        // The caret on byte 30, nothing selected: Sync looks from byte 0.
        f->TSHexEditor1->SetFocus();
        f->TSHexEditor1->Model().SetCaret(30, false, 0);
        EXPECT_EQ(f->TSHexEditor1->SelCount(), 0);
        for (int i = 0; i < 3; ++i) {
            Click(f->sBitBtn16);
            syncs.push_back({f->Raw_TSPacketReader->PacketIndex(), f->TSHexEditor1->SelStart()});
        }
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    EXPECT_TRUE(withPes.panel);
    EXPECT_EQ(withPes.ptsText, "01:00:00.000");
    EXPECT_TRUE(withPes.pts);
    EXPECT_FALSE(withPes.dts);
    EXPECT_FALSE(withPes.escr);
    EXPECT_FALSE(withoutPes.panel);
    EXPECT_FALSE(withoutPes.pts);
    EXPECT_FALSE(withoutPes.dts);
    EXPECT_FALSE(withoutPes.escr);
    // Byte 0 of the packet itself, then the 0x47 behind that selection, then
    // the next packet's sync byte.
    EXPECT_EQ(syncs, (std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {0, 40}, {1, 0}}));
}

TEST_F(PacketToolsTest, OffsetChangedOnTheLastPacketRealignsThatPacket) {
    // Four bytes before whole packets: the editor starts at offset 4, and
    // there the last packet ends exactly at the end of the file.
    const std::string in = Recording("editor_last.ts");
    Bytes data(4, 0x00);
    const Bytes packets = ReadAll(in);
    data.insert(data.end(), packets.begin(), packets.end());
    WriteAll(in, data);
    const int64_t last = static_cast<int64_t>(packets.size() / 188) - 1;
    g_dialogs.openAnswer = in;
    struct Shown {
        int64_t index = -1;
        Bytes bytes;
    };
    std::vector<Shown> seen;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        auto shown = [&seen, f] {
            TTSPacketBuffer b;
            f->TSHexEditor1->GetPacketBuffer(b);
            seen.push_back({f->Raw_TSPacketReader->PacketIndex(), Bytes(b.Data, b.Data + b.Length)});
        };
        Click(f->sBitBtn15); // >|
        shown();
        for (const wchar_t* offset : {L"0", L"4", L"20"}) {
            SendMessageW(f->sSpinEdit1->Handle(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(offset));
            shown();
        }
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    auto at = [&](int64_t pos) { return Bytes(data.begin() + pos, data.begin() + pos + 188); };
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].index, last);
    EXPECT_EQ(seen[0].bytes, at(4 + last * 188));
    // The same packet at the new alignment, also where it ends at the end
    // of the file.
    EXPECT_EQ(seen[1].index, last);
    EXPECT_EQ(seen[1].bytes, at(last * 188));
    EXPECT_EQ(seen[2].index, last);
    EXPECT_EQ(seen[2].bytes, at(4 + last * 188));
    // At 20 bytes it would run past the end: the last whole one.
    EXPECT_EQ(seen[3].index, last - 1);
    EXPECT_EQ(seen[3].bytes, at(20 + (last - 1) * 188));
}

TEST_F(PacketToolsTest, AHeldStepButtonStopsRepeatingBeforeItAsksAboutAnEdit) {
    const std::string in = Recording("editor_hold_ask.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.yes = false; // the edit is not written
    bool asked = false, repeatingWhileAsked = true, repeatingAfter = true;
    int64_t afterAnswer = -1, later = -1;
    TPacketEditorForm* editor = nullptr;
    g_dialogs.onRequest = [&](const TDialogRequest& rq) {
        if (rq.Text.find("Write the changed packet?") == std::string::npos || !editor) return;
        asked = true;
        // The box takes the mouse: the button's release never comes.
        repeatingWhileAsked = editor->AutoIncTimer->Enabled();
    };
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        editor = f;
        TTSPacketReader& r = *f->Raw_TSPacketReader;
        f->TSHexEditor1->SetFocus();
        Char(f->TSHexEditor1, L'5');
        Application->ProcessMessages();
        SendMessageW(f->sBitBtn3->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        // The fifth tick clicks the held button, and the click asks first.
        const DWORD until = GetTickCount() + 60000;
        while (!asked && GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Application->ProcessMessages();
        }
        afterAnswer = r.PacketIndex();
        repeatingAfter = f->AutoIncTimer->Enabled();
        // Ticks that would still come have time to arrive.
        for (int i = 0; i < 10; ++i) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 60, QS_ALLINPUT);
            Application->ProcessMessages();
        }
        later = r.PacketIndex();
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    ASSERT_TRUE(asked);
    EXPECT_FALSE(repeatingWhileAsked);
    EXPECT_FALSE(repeatingAfter);
    // The one step the user answered, and no more.
    EXPECT_EQ(afterAnswer, 1);
    EXPECT_EQ(later, afterAnswer);
}

TEST_F(PacketToolsTest, ALockedFileIsShownAndWriteSaysItCannotWrite) {
    const std::string in = Recording("editor_locked.ts");
    const Bytes before = ReadAll(in);
    // Another program reads the file and lets nobody write to it (a file
    // marked read-only is the same to the editor; Wine run by root does not
    // keep root from writing to one, so the lock stands for both).
    HANDLE lock = CreateFileW(Utf8ToWide(in).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    g_dialogs.openAnswer = in;
    int64_t count = 0;
    std::string pid;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        count = f->Raw_TSPacketReader->Active() ? f->Raw_TSPacketReader->PacketCount() : 0;
        pid = f->sEdit2->Text();
        f->TSHexEditor1->SetFocus();
        Char(f->TSHexEditor1, L'5');
        Application->ProcessMessages();
        Click(f->sBitBtn4); // write: Yes
        Click(f->sBitBtn5); // discard
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    CloseHandle(lock);
    EXPECT_EQ(count, static_cast<int64_t>(before.size() / 188));
    EXPECT_FALSE(pid.empty());
    bool noPackets = false, cannotWrite = false;
    for (const std::string& m : Messages()) {
        noPackets = noPackets || m.find("No transport stream packets") != std::string::npos;
        cannotWrite = cannotWrite || m.find("could not be written") != std::string::npos;
    }
    EXPECT_FALSE(noPackets);
    EXPECT_TRUE(cannotWrite);
    EXPECT_EQ(ReadAll(in), before);
}

// A packet the file no longer gives (a failing disk, a file cut short while
// the editor shows it) is a failed read: the editor names the file and the
// reason, both when a search runs into it and when the packet is chosen,
// and blames neither the packet's size nor the search.
TEST_F(PacketToolsTest, APacketTheFileCannotGiveIsReportedAsAReadFailure) {
    const std::string in = Name("editor_readfail.ts");
    tw::test::TsStream ts;
    for (int i = 0; i < 40; ++i) {
        tw::test::TsPacketOptions o;
        o.pid = 0x100;
        o.payload.assign(184, 0x10);
        ts.Add(o);
    }
    ts.Save(in);
    const std::string reason = "The device is not ready.";
    g_dialogs.openAnswer = in;
    std::vector<std::string> afterSearch, afterChoice;
    ToolFormShownHook = [&](TForm& form) {
        auto* f = static_cast<TPacketEditorForm*>(&form);
        TTSPacketReader& r = *f->Raw_TSPacketReader;
        tw::test::FailInputAt(r, 188 * 20 + 5, reason);
        r.SetActive(false);
        r.SetActive(true);
        f->ShowPacket();
        g_dialogs.requests.clear();
        Click(f->sBitBtn12); // Error forward: runs into packet 20
        afterSearch = Messages();
        g_dialogs.requests.clear();
        f->sEdit1->SetText("30");
        f->PacketNumberEntered();
        afterChoice = Messages();
        Click(f->sBitBtn1);
        PostMessageW(f->Handle(), WM_NULL, 0, 0);
    };
    Command("SPacketEditor1");
    for (const auto* msgs : {&afterSearch, &afterChoice}) {
        bool told = false;
        for (const std::string& m : *msgs) {
            told = told || (m.find(reason) != std::string::npos && m.find(in) != std::string::npos);
            EXPECT_EQ(m.find("Packet size error"), std::string::npos) << m;
            EXPECT_NE(m, "Not found");
        }
        EXPECT_TRUE(told) << (msgs->empty() ? std::string("no message") : msgs->front());
    }
}
