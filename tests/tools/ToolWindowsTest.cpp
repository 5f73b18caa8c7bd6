// The tools as the user reaches them: Tools > Raw Cutter and Tools > File
// Merger through the main window's menu, an "info.dvr" dropped on the main
// window, and the Patch and Preserve buttons after an analysis, each driven
// with real messages while its dialog runs modally. The dialogs' questions
// and file choices are answered through the dialog seam.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <vector>

#include "app/AnalysisView.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "app/SettingsForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "app/Startup.h"
#include "analysis/CleaningPass.h"
#include "analysis/SettingsStore.h"
#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tests/app/ScreenPixels.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TsBuilder.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/data/sSkinManager.h"
#include "tests/tools/ModalAction.h"
#include "tests/tools/SkinnedControls.h"
#include "tools/FileMergerForm.h"
#include "tools/PatchForm.h"
#include "tools/RawCutterForm.h"
#include "tools/ToolControls.h"
#include "tools/engine/DvrParts.h"
#include "tools/engine/ToolFiles.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"

using namespace tw;
using Bytes = std::vector<uint8_t>;

namespace {

using test::ReadAll;
using test::WriteAll;

std::string Fixture(const std::string& name) { return std::string("Z:") + TW_TEST_DATA_DIR + "/" + name; }

std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    return WideToUtf8(buf);
}

Bytes Slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

// What the dialogs were asked and how they answer.
struct Dialogs {
    std::vector<TDialogRequest> requests;
    std::string openAnswer, saveAnswer; // empty: cancel
    std::string saveProposed;           // the name the save dialog offered
    bool yes = true;
    // Sees each request before it is answered (may change `yes`).
    std::function<void(const TDialogRequest&)> onRequest;
};
Dialogs g_dialogs;

std::vector<std::string> Messages() {
    std::vector<std::string> out;
    for (const TDialogRequest& r : g_dialogs.requests)
        if (r.Kind == dkMessageDlg || r.Kind == dkMessageBox || r.Kind == dkShowMessage) out.push_back(r.Text);
    return out;
}

bool AnyMessageHas(const std::string& part) {
    for (const std::string& m : Messages())
        if (m.find(part) != std::string::npos) return true;
    return false;
}

// Runs `act` from the modal loop of a window, once `shown` says the window
// is up. A timer message is what reaches a modal loop as the user's input
// would; a window that never comes fails the test within a deadline.
void WhenShown(std::function<bool()> shown, std::function<void()> act) {
    test::ModalAction::Arm(std::move(shown), std::move(act), "The window the test waits for");
}

void Press(TWinControl* button) { SendMessageW(button->Handle(), BM_CLICK, 0, 0); }

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += n + " ";
    return out;
}

// A bound label as the user sees it beside its control.
struct BoundCaption {
    std::string text;
    bool visible = false;
    TRect label, box;
    TColor color = clNone;
};
BoundCaption CaptionOf(TControl* box) {
    skin::TsBoundLabel* bound = BoundLabelOf(box);
    if (!bound || !bound->Label()) return {};
    TLabel* l = bound->Label();
    return {l->Caption(), l->Visible() && l->Parent() == box->Parent(), l->BoundsRect(), box->BoundsRect(),
            static_cast<TColor>(ColorToRGB(l->Font().Color()))};
}

// Lets a window that was just shown create and paint its controls.
void Settle() {
    MSG msg;
    for (int i = 0; i < 5; ++i)
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
}

void MenuCommand(TMenuItem* item) {
    const test::ModalDeadline deadline("The window of " + item->Name());
    SendMessageW(Form1->Handle(), WM_COMMAND, MAKEWPARAM(item->Command(), 0), 0);
}

// The mouse on the merger's list, as the list receives it.
TPoint ItemCentre(TFileMergerForm& f, int item) {
    const TRect r = f.sListBox1->ItemRect(item);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}
void ListMouse(TFileMergerForm& f, UINT msg, TPoint p, WPARAM keys) {
    SendMessageW(f.sListBox1->Handle(), msg, keys, MAKELPARAM(static_cast<WORD>(p.X), static_cast<WORD>(p.Y)));
}
// Pressed on one item, moved with the button held, released on another.
void DragListItem(TFileMergerForm& f, int from, int to) {
    const TPoint a = ItemCentre(f, from), b = ItemCentre(f, to);
    ListMouse(f, WM_LBUTTONDOWN, a, MK_LBUTTON);
    ListMouse(f, WM_MOUSEMOVE, b, MK_LBUTTON);
    ListMouse(f, WM_LBUTTONUP, b, 0);
}

// Runs a function from inside whatever loop next takes the thread's posted
// messages (a long pass processing them, a modal loop).
struct PostedProbe {
    HWND window = nullptr;
    std::function<void()> run;
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_APP) {
            auto* self = reinterpret_cast<PostedProbe*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            if (self && self->run) self->run();
            return 0;
        }
        return DefWindowProcW(h, msg, wp, lp);
    }
    explicit PostedProbe(std::function<void()> f) : run(std::move(f)) {
        static const ATOM cls = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"TwToolsTestProbe";
            return RegisterClassW(&wc);
        }();
        window = CreateWindowW(reinterpret_cast<LPCWSTR>(static_cast<uintptr_t>(cls)), L"", 0, 0, 0, 0, 0,
                               HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~PostedProbe() { DestroyWindow(window); }
    void Post() { PostMessageW(window, WM_APP, 0, 0); }
};

class ToolWindowsTest : public ::testing::Test {
protected:
    static inline std::vector<std::string> files;

    static void SetUpTestSuite() {
        for (const char* n : {"PlaySound", "UpdateCheck", "ShowLogfileWindow"}) RegWriteBool(kSettingsKey, n, false);
        // Private data streams are offered for preserving only while
        // teletext is left out, as it is by default.
        RegWriteBool(kSettingsKey, "NoTeletext", true);
        RegWriteString(kSettingsKey, "Language", "ENG");
        SetDialogHook([](TDialogRequest& rq) -> std::optional<int> {
            g_dialogs.requests.push_back(rq);
            if (g_dialogs.onRequest) g_dialogs.onRequest(rq);
            switch (rq.Kind) {
            case dkOpenFile:
            case dkSaveFile: {
                const std::string& answer = rq.Kind == dkOpenFile ? g_dialogs.openAnswer : g_dialogs.saveAnswer;
                if (rq.Kind == dkSaveFile) g_dialogs.saveProposed = *rq.Value;
                if (answer.empty()) return mrCancel;
                *rq.Value = answer;
                return mrOk;
            }
            case dkInputQuery: return mrCancel;
            default:
                if (rq.Buttons & mbYes) return g_dialogs.yes ? mrYes : mrNo;
                return mrOk;
            }
        });
        SetProgramParameters({});
        SetMainWindowViewFactory(MakeAnalysisView);
        ASSERT_EQ(RunStartup(false), 0);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
    }

    static void TearDownTestSuite() {
        SetDialogHook(nullptr);
        SetMainWindowViewFactory(nullptr);
        for (const std::string& f : files)
            if (FileExists(f)) RemoveFile(f);
    }

    void SetUp() override { g_dialogs = Dialogs(); }

    void TearDown() override {
        if (test::ModalAction::Disarm()) ADD_FAILURE() << test::ModalAction::What() << " never came: its action did not run";
    }

    static std::string Temp(const std::string& name) {
        files.push_back(TempFolder() + "tarnwick_tools_" + name);
        return files.back();
    }

    static TAnalysisView* View() { return dynamic_cast<TAnalysisView*>(Form1->View()); }
};

} // namespace

TEST_F(ToolWindowsTest, ToolsMenuHoldsTheRawCutterAndTheMerger) {
    EXPECT_TRUE(Form1->Tools1->Visible());
    EXPECT_EQ(Form1->RawCutter1->Caption(), "Raw Cutter");
    EXPECT_EQ(Form1->FileMerger1->Caption(), "File Merger");
    ASSERT_NE(RawCutterForm, nullptr);
    ASSERT_NE(TrashForm, nullptr);
}

TEST_F(ToolWindowsTest, RawCutterCopiesTheRangeTypedIntoTheDialog) {
    const std::string in = Temp("raw_in.ts");
    WriteAll(in, ReadAll(Fixture("cleaning/h264_ac3_cbr.ts")));
    const std::string out = Temp("raw_in_cutted.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    std::string packetText, toText;
    bool okAfterBadRange = true;
    WhenShown([] { return RawCutterForm->Visible(); }, [&] {
        TRawCutterForm& f = *RawCutterForm;
        packetText = f.sLabelFX1->Caption();
        toText = f.sEdit2->Text();
        // From after To: OK goes off; a size typed in sets To again.
        f.sEdit1->SetText("3000");
        okAfterBadRange = f.sBitBtn1->Enabled();
        f.sEdit1->SetText("100");
        f.sEdit3->SetText("0");
        EXPECT_EQ(f.sEdit2->Text(), "100");
        f.sEdit2->SetText("$3E7"); // 999
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->RawCutter1);
    EXPECT_EQ(g_dialogs.saveProposed, out);
    EXPECT_EQ(packetText, "Paket size: 188 Byte");
    EXPECT_EQ(toText, IntToStr(561744 / 188 - 1));
    EXPECT_FALSE(okAfterBadRange);
    const Bytes all = ReadAll(in);
    ASSERT_TRUE(FileExists(out));
    EXPECT_EQ(ReadAll(out), Slice(all, 100 * 188, 1000 * 188));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(ReadAll(in), all);
}

TEST_F(ToolWindowsTest, RawCutterRefusesToWriteOverItsInput) {
    const std::string in = Temp("raw_same.ts");
    const Bytes data = ReadAll(Fixture("h264_ac3.ts"));
    WriteAll(in, data);
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = in;
    WhenShown([] { return RawCutterForm->Visible(); }, [] { Press(RawCutterForm->sBitBtn1); });
    MenuCommand(Form1->RawCutter1);
    EXPECT_TRUE(AnyMessageHas("The file was not cut."));
    EXPECT_EQ(ReadAll(in), data);
}

TEST_F(ToolWindowsTest, MergerJoinsSplitPartsInCutMode) {
    const Bytes all = ReadAll(Fixture("cleaning/h264_ac3_cbr.ts"));
    const std::string p1 = Temp("m1.ts"), p2 = Temp("m2.ts"), p3 = Temp("m3.ts");
    WriteAll(p1, Slice(all, 0, 200050));
    WriteAll(p2, Slice(all, 188100, 376130));
    WriteAll(p3, Slice(all, 188 * 1990, all.size()));
    const std::string dest = Temp("m_all.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    std::string proposedDest;
    bool controlsBack = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        // Added in the wrong order, then put right by dragging.
        f.AddFile(p1);
        f.AddFile(p3);
        f.AddFile(p2);
        f.AddFile(p2);
        EXPECT_EQ(f.sListBox1->Items().Count(), 3);
        EXPECT_TRUE(f.CutMode);
        proposedDest = f.sFilenameEdit1->Text();
        DragListItem(f, 2, 1);
        f.sFilenameEdit1->SetText(p2);
        Press(f.sBitBtn1); // the destination is a source: refused
        EXPECT_TRUE(f.sBitBtn1->Enabled());
        f.sFilenameEdit1->SetText(dest);
        Press(f.sBitBtn1);
        controlsBack = f.sBitBtn1->Enabled() && f.sListBox1->Enabled();
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(FileMergerForm, nullptr);
    EXPECT_EQ(proposedDest, ChangeFileExt(p3, "_merged.ts"));
    EXPECT_TRUE(AnyMessageHas("must not be one of the source files"));
    EXPECT_TRUE(AnyMessageHas("Merging successfully compleated!"));
    EXPECT_TRUE(controlsBack);
    EXPECT_EQ(ReadAll(dest), all);
    EXPECT_TRUE(FileExists(ChangeFileExt(dest, ".log")));
}

TEST_F(ToolWindowsTest, DroppedReceiverIndexOpensTheMergerWithAllParts) {
    const std::string dir = TempFolder() + "tarnwick_dvr_window\\";
    CreateDirectoryW(Utf8ToWide(dir).c_str(), nullptr);
    const Bytes all = ReadAll(Fixture("cleaning/h264_ac3_cbr.ts"));
    for (int i = 0; i < 3; ++i) {
        files.push_back(dir + DvrPartFileName(i));
        WriteAll(files.back(), Slice(all, 188 * 900 * i, 188 * 900 * (i + 1)));
    }
    Bytes info(kDvrInfoSize, 0);
    const std::string title = "Krimi";
    for (size_t i = 0; i < title.size(); ++i) info[i * 2 + 1] = static_cast<uint8_t>(title[i]);
    files.push_back(dir + "info.dvr");
    WriteAll(files.back(), info);
    const std::string dest = dir + "Krimi.ts";
    files.push_back(dest);
    files.push_back(dir + "Krimi.log");
    int listed = 0;
    // The parts arrive with the merger's start timer; OK waits for them.
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible() && FileMergerForm->sBitBtn1->Enabled(); },
              [&] {
                  listed = FileMergerForm->sListBox1->Items().Count();
                  Press(FileMergerForm->sBitBtn1);
              });
    Form1->DropFiles({dir + "info.dvr"});
    EXPECT_EQ(listed, 3);
    EXPECT_EQ(ReadAll(dest), Slice(all, 0, 188 * 2700));
    EXPECT_EQ(Form1->OpenDialog1->FileName(), dest);
    RemoveDirectoryW(Utf8ToWide(dir).c_str());
}

TEST_F(ToolWindowsTest, PatchAndPreserveButtonsReachTheCleanedCopy) {
    // Video, audio and a stream of private sections that the analysis
    // leaves out.
    const test::TsStream s = test::SmallProgram({{2, 0x101, {}}, {3, 0x102, {}}, {0x05, 0x104, {}}}, 0x104,
                                                [](int64_t) { return test::PesPacket(0xBF, Bytes(150, 0x33)); });
    const std::string in = Temp("patch_in.ts");
    WriteAll(in, s.Render());
    const std::string out = Temp("patch_out.ts");
    files.push_back(ChangeFileExt(out, ".log"));
    Form1->OpenRecording(in);
    ASSERT_TRUE(View()->Engine().Analysed()) << Form3->sMemo1->Lines().Text();
    ASSERT_TRUE(Form1->sBitBtn2->Enabled());
    ASSERT_TRUE(Form1->sBitBtn3->Enabled());

    // Preserve: the data stream is offered and ticked.
    std::vector<std::string> offered;
    std::string caption;
    WhenShown([] { return TrashForm->Visible(); }, [&] {
        caption = TrashForm->Caption();
        for (int i = 0; i < TrashForm->sCheckListBox1->Items().Count(); ++i) {
            offered.push_back(TrashForm->sCheckListBox1->Items().Get(i));
            if (offered.back().rfind("$0104", 0) == 0) TrashForm->sCheckListBox1->SetChecked(i, true);
        }
        Press(TrashForm->sBitBtn1);
    });
    Press(Form1->sBitBtn2);
    EXPECT_EQ(caption, "Preserve streams");
    EXPECT_EQ(offered, (std::vector<std::string>{"$0104: Unknown"}));

    // Patch: PIDs out of range are put back without a word; then a new SID
    // and new PIDs.
    std::string currentSid, grid;
    bool sidRefused = false;
    WhenShown([] { return Screen->ActiveForm() && Screen->ActiveForm()->Name() == "PatchForm"; }, [&] {
        auto* f = dynamic_cast<TPatchForm*>(Screen->ActiveForm());
        ASSERT_NE(f, nullptr);
        currentSid = f->sEdit1->Text();
        grid = f->ValueListEditor1->Strings().Text();
        TValueListEditor* g = f->ValueListEditor1;
        int videoRow = -1, audioRow = -1;
        for (int r = 1; r < g->RowCount(); ++r) {
            if (g->Keys(r) == "$0101") videoRow = r;
            if (g->Keys(r) == "$0102") audioRow = r;
        }
        ASSERT_GT(videoRow, 0);
        ASSERT_GT(audioRow, 0);
        for (const char* bad : {"8192", "0", "x1"}) {
            g->SetRow(videoRow);
            g->EditValue();
            g->InplaceEditor()->SetText(bad);
            g->EndEdit(true);
            EXPECT_EQ(g->Cells(1, videoRow), "$0101") << bad;
        }
        g->SetCells(1, videoRow, "$0201");
        g->SetCells(1, audioRow, "$0202");
        // A typo in the new SID is refused on its own page; the dialog
        // stays with the new PIDs, which OK takes once the SID is right.
        f->sEdit2->SetText("$00G7");
        Press(f->sBitBtn1);
        sidRefused = f->ModalResult() == mrNone && f->sPageControl1->ActivePage() == f->sTabSheet2;
        f->sEdit2->SetText("$0077");
        Press(f->sBitBtn1);
    });
    Press(Form1->sBitBtn3);
    EXPECT_EQ(currentSid, "$0001");
    EXPECT_EQ(grid.find("$0100="), std::string::npos);
    EXPECT_NE(grid.find("$0104=$0104"), std::string::npos);
    EXPECT_TRUE(sidRefused);
    EXPECT_EQ(Messages(), std::vector<std::string>{"The program number (SID) must lie between 1 and 65535 ($0001 to "
                                                   "$FFFF)!\r$00G7"})
        << Joined(Messages());

    g_dialogs.saveAnswer = out;
    Press(Form1->sBitBtn1);
    const Bytes b = ReadAll(out);
    ASSERT_EQ(b.size() % 188, 0u);
    // The copy's first PAT names program $0077; its PMT lists the new PIDs
    // and the preserved stream; the old PIDs are gone.
    int program = -1;
    std::vector<int> pmtPids;
    bool oldPids = false, dataPackets = false;
    for (size_t i = 0; i < b.size(); i += 188) {
        const uint8_t* p = b.data() + i;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        if (pid == 0x101 || pid == 0x102) oldPids = true;
        if (pid == 0x104) dataPackets = true;
        if (!(p[1] & 0x40)) continue;
        const uint8_t* sec = p + 5 + p[4];
        if (pid == 0 && program < 0) program = (sec[8] << 8) | sec[9];
        if (pid == 0x100 && pmtPids.empty()) {
            const int len = ((sec[1] & 0x0F) << 8) | sec[2];
            const int info = ((sec[10] & 0x0F) << 8) | sec[11];
            for (int q = 12 + info; q + 5 <= len + 3 - 4; q += 5 + (((sec[q + 3] & 0x0F) << 8) | sec[q + 4]))
                pmtPids.push_back(((sec[q + 1] & 0x1F) << 8) | sec[q + 2]);
        }
    }
    EXPECT_EQ(program, 0x77);
    EXPECT_EQ(pmtPids, (std::vector<int>{0x201, 0x202, 0x104}));
    EXPECT_FALSE(oldPids);
    EXPECT_TRUE(dataPackets);
}

// OK on the patch dialog with every row left as it is: each row still
// counts as a PID remap, so the cleaned copy's PMT is rebuilt and logged as
// recreated, while its bytes are those of a copy made without the dialog.
TEST_F(ToolWindowsTest, PatchRowsLeftAsTheyAreStillRecreateThePmt) {
    const test::TsStream s = test::SmallProgram({{2, 0x101, {}}, {3, 0x102, {}}}, -1, [](int64_t) { return Bytes(); });
    const std::string in = Temp("samepids_in.ts");
    WriteAll(in, s.Render());
    const std::string plain = Temp("samepids_plain.ts"), patched = Temp("samepids_patched.ts");
    files.push_back(ChangeFileExt(plain, ".log"));
    files.push_back(ChangeFileExt(patched, ".log"));
    Form1->OpenRecording(in);
    ASSERT_TRUE(View()->Engine().Analysed()) << Form3->sMemo1->Lines().Text();

    g_dialogs.saveAnswer = plain;
    Press(Form1->sBitBtn1);
    const std::string plainLog = Form3->sMemo1->Lines().Text();
    EXPECT_EQ(plainLog.find("Recreated PMT:"), std::string::npos) << plainLog;

    std::string grid;
    WhenShown([] { return Screen->ActiveForm() && Screen->ActiveForm()->Name() == "PatchForm"; }, [&] {
        auto* f = dynamic_cast<TPatchForm*>(Screen->ActiveForm());
        ASSERT_NE(f, nullptr);
        grid = f->ValueListEditor1->Strings().Text();
        Press(f->sBitBtn1);
    });
    Press(Form1->sBitBtn3);
    EXPECT_NE(grid.find("$0101=$0101"), std::string::npos) << grid;
    EXPECT_NE(grid.find("$0102=$0102"), std::string::npos) << grid;
    EXPECT_EQ(View()->Cleaning().Pass().Options.PidRemapCount, 2);

    g_dialogs.saveAnswer = patched;
    Press(Form1->sBitBtn1);
    const std::string patchedLog = Form3->sMemo1->Lines().Text();
    EXPECT_NE(patchedLog.find("Recreated PMT:"), std::string::npos) << patchedLog;
    EXPECT_EQ(ReadAll(patched), ReadAll(plain));
    EXPECT_FALSE(ReadAll(plain).empty());
    // Both copies end as plain successes, the dialog asked nothing.
    EXPECT_EQ(Messages(), std::vector<std::string>(2, "Process successfully completed!")) << Joined(Messages());

    // The next recording starts without the count.
    Form1->OpenRecording(in);
    EXPECT_EQ(View()->Cleaning().Pass().Options.PidRemapCount, 0);
}

// A recording muxed at a constant rate, as broadcasts are, carries null
// packets, and the grid lists them as $1FFF=$1FFF. A new SID alone passes
// OK and reaches the copy; the null packets moved to another PID, or a
// stream moved onto theirs, are refused with a message naming the row while
// the dialog stays open.
TEST_F(ToolWindowsTest, PatchNewSidOnARecordingWithNullPackets) {
    const std::string in = Temp("nullpackets_in.ts");
    WriteAll(in, ReadAll(Fixture("cleaning/h264_ac3_cbr.ts")));
    const std::string out = Temp("nullpackets_out.ts");
    files.push_back(ChangeFileExt(out, ".log"));
    Form1->OpenRecording(in);
    ASSERT_TRUE(View()->Engine().Analysed()) << Form3->sMemo1->Lines().Text();
    const size_t analysisMessages = Messages().size();

    std::string grid;
    std::vector<std::string> refused;
    bool stayed = true, closedByOk = false;
    WhenShown([] { return Screen->ActiveForm() && Screen->ActiveForm()->Name() == "PatchForm"; }, [&] {
        auto* f = dynamic_cast<TPatchForm*>(Screen->ActiveForm());
        ASSERT_NE(f, nullptr);
        grid = f->ValueListEditor1->Strings().Text();
        TValueListEditor* g = f->ValueListEditor1;
        int nullRow = -1, videoRow = -1;
        for (int r = 1; r < g->RowCount(); ++r) {
            if (g->Keys(r) == "$1FFF") nullRow = r;
            if (g->Keys(r) == "$0200") videoRow = r;
        }
        // Typed into the grid, both values are PIDs it lets stand; OK says
        // what is wrong with them.
        auto refuse = [&](int row, const char* value) {
            const std::string before = g->Cells(1, row);
            g->SetRow(row);
            g->EditValue();
            g->InplaceEditor()->SetText(value);
            g->EndEdit(true);
            const size_t asked = Messages().size();
            Press(f->sBitBtn1);
            if (Messages().size() > asked) refused.push_back(Messages().back());
            stayed = stayed && f->ModalResult() == mrNone;
            g->SetCells(1, row, before);
        };
        if (nullRow > 0) refuse(nullRow, "$0400");
        if (videoRow > 0) refuse(videoRow, "$1FFF");
        f->sEdit2->SetText("$0042");
        Press(f->sBitBtn1);
        closedByOk = f->ModalResult() == mrOk;
        // A refused OK keeps the dialog: leave it so the test goes on.
        if (!closedByOk) f->SetModalResult(mrCancel);
    });
    Press(Form1->sBitBtn3);
    EXPECT_NE(grid.find("$1FFF=$1FFF"), std::string::npos) << grid;
    EXPECT_NE(grid.find("$0200=$0200"), std::string::npos) << grid;
    ASSERT_EQ(refused.size(), 2u) << Joined(Messages());
    EXPECT_NE(refused[0].find("null packets"), std::string::npos) << refused[0];
    EXPECT_NE(refused[0].find("$1FFF = $0400"), std::string::npos) << refused[0];
    EXPECT_NE(refused[1].find("null packets"), std::string::npos) << refused[1];
    EXPECT_NE(refused[1].find("$0200 = $1FFF"), std::string::npos) << refused[1];
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(closedByOk) << Joined(Messages());
    EXPECT_EQ(Messages().size(), analysisMessages + 2) << Joined(Messages());
    EXPECT_EQ(View()->Cleaning().Pass().Options.NewServiceId, 0x42);

    g_dialogs.saveAnswer = out;
    Press(Form1->sBitBtn1);
    EXPECT_EQ(Messages().back(), "Process successfully completed!") << Joined(Messages());
    const Bytes b = ReadAll(out);
    ASSERT_FALSE(b.empty());
    ASSERT_EQ(b.size() % 188, 0u);
    // The copy's PAT names program $0042, its PMT the streams as they were;
    // the null packets, part of no kept stream, are left out as ever.
    int program = -1, pmtPid = -1;
    int64_t nullPackets = 0, videoPackets = 0;
    for (size_t i = 0; i < b.size(); i += 188) {
        const uint8_t* p = b.data() + i;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        if (pid == 0x1FFF) ++nullPackets;
        if (pid == 0x200) ++videoPackets;
        if (pid != 0 || !(p[1] & 0x40) || program >= 0) continue;
        const uint8_t* sec = p + 5 + p[4];
        program = (sec[8] << 8) | sec[9];
        pmtPid = ((sec[10] & 0x1F) << 8) | sec[11];
    }
    EXPECT_EQ(program, 0x42);
    EXPECT_EQ(pmtPid, 0x100);
    EXPECT_GT(videoPackets, 0);
    EXPECT_EQ(nullPackets, 0);
    // The pass leaves the tools disabled until a recording is opened again.
    Form1->OpenRecording(in);
}

TEST_F(ToolWindowsTest, SourcesHeldByAnotherProgramAreProbedAndCopied) {
    const std::string in = Temp("held.ts");
    WriteAll(in, ReadAll(Fixture("h264_ac3.ts")));
    // Another program has the file open and lets nobody write to it.
    TFileStream holder(in, fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(TFileStream(in, fmOpenReadWrite), EFOpenError);
    const TMergeSource s = ProbeMergeSource(in);
    EXPECT_EQ(s.PacketSize, 188);
    EXPECT_EQ(s.PacketCount, 86668 / 188);
    const std::string dest = Temp("held_merged.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    TMergeSourceTable table;
    table.Add(s);
    struct : IMergeHost {} host;
    EXPECT_EQ(MergeFiles({in}, table, dest, true, host).Outcome, TMergeOutcome::Success);
    EXPECT_EQ(ReadAll(dest), ReadAll(in));
}

TEST_F(ToolWindowsTest, FailedMergeLeavesTheWindowUsable) {
    const std::string a = Temp("gone_a.ts"), b = Temp("gone_b.ts");
    WriteAll(a, ReadAll(Fixture("h264_ac3.ts")));
    WriteAll(b, ReadAll(Fixture("h264_ac3.ts")));
    const std::string dest = Temp("gone_dest.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    bool controlsBack = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        f.AddFile(a);
        f.AddFile(b);
        RemoveFile(b);
        f.sFilenameEdit1->SetText(dest);
        Press(f.sBitBtn1);
        controlsBack = f.sBitBtn1->Enabled() && f.sBitBtn3->Enabled() && f.sListBox1->Enabled() &&
                       f.sFilenameEdit1->Enabled() && f.sBitBtn2->Enabled();
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_TRUE(controlsBack);
    EXPECT_TRUE(AnyMessageHas("File " + b + " not found!"));
    EXPECT_TRUE(AnyMessageHas("Merging failed!"));
}

TEST_F(ToolWindowsTest, RawCutterWearsTheSkinWithItsCaptionsBesideTheBoxes) {
    const std::string in = Temp("raw_skin.ts");
    WriteAll(in, ReadAll(Fixture("h264_ac3.ts")));
    std::vector<std::string> unskinned;
    std::vector<BoundCaption> captions;
    WhenShown([] { return RawCutterForm->Visible(); }, [&] {
        TRawCutterForm& f = *RawCutterForm;
        unskinned = test::UnskinnedControls(f);
        for (TControl* box : std::initializer_list<TControl*>{f.sEdit4, f.sSpinEdit1, f.sEdit1, f.sEdit2, f.sEdit3})
            captions.push_back(CaptionOf(box));
        Press(f.sBitBtn2);
    });
    // The dialog itself, as the menu command runs it (the menu item may be
    // off while a recording is loaded).
    RawCutterForm->Run(in);
    EXPECT_TRUE(unskinned.empty()) << Joined(unskinned);
    const std::vector<std::string> texts{"File:", "Offset Bytes", "From packet", "To packet", "Size in MBytes"};
    ASSERT_EQ(captions.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        const BoundCaption& c = captions[i];
        EXPECT_EQ(c.text, texts[i]);
        EXPECT_TRUE(c.visible) << texts[i];
        // Left of its box, on the window, on the box's line.
        EXPECT_LE(c.label.Right, c.box.Left) << texts[i];
        EXPECT_GE(c.label.Left, 0) << texts[i];
        const int middle = (c.label.Top + c.label.Bottom) / 2;
        EXPECT_GT(middle, c.box.Top) << texts[i];
        EXPECT_LT(middle, c.box.Bottom) << texts[i];
    }
    EXPECT_TRUE(g_dialogs.saveProposed.empty());
}

TEST_F(ToolWindowsTest, MergerRefusesADestinationNoFileCanHave) {
    const std::string a = Temp("name_a.ts"), b = Temp("name_b.ts");
    WriteAll(a, ReadAll(Fixture("h264_ac3.ts")));
    WriteAll(b, ReadAll(Fixture("h264_ac3.ts")));
    const std::string bad = TempFolder() + "tarnwick_tools_merged|1.ts";
    const std::string good = Temp("name_merged.ts");
    files.push_back(ChangeFileExt(good, ".log"));
    std::vector<std::string> unskinned;
    BoundCaption sources, destination;
    bool usableAfterRefusal = false;
    std::string afterOk, afterBrowse;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        unskinned = test::UnskinnedControls(f);
        sources = CaptionOf(f.sListBox1);
        destination = CaptionOf(f.sFilenameEdit1);
        f.AddFile(a);
        f.AddFile(b);
        f.sFilenameEdit1->SetText(bad);
        Press(f.sBitBtn1);
        usableAfterRefusal = f.sBitBtn1->Enabled() && f.sListBox1->Enabled() && f.ModalResult() == mrNone;
        afterOk = f.sFilenameEdit1->Text();
        // A name from the browse button goes through the same check.
        f.sFilenameEdit1->SetText(good);
        g_dialogs.saveAnswer = bad;
        Press(f.sFilenameButton);
        afterBrowse = f.sFilenameEdit1->Text();
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_TRUE(unskinned.empty()) << Joined(unskinned);
    EXPECT_EQ(sources.text, "Source files");
    EXPECT_EQ(destination.text, "Destination file name");
    for (const BoundCaption& c : {sources, destination}) {
        EXPECT_TRUE(c.visible) << c.text;
        // Above its control, starting at its left edge, in the skin's text
        // colour (a window made after start-up too).
        EXPECT_LE(c.label.Bottom, c.box.Top) << c.text;
        EXPECT_EQ(c.label.Left, c.box.Left) << c.text;
        ASSERT_NE(skin::DefaultManager, nullptr);
        EXPECT_EQ(c.color, skin::DefaultManager->GetGlobalFontColor()) << c.text;
    }
    int refusals = 0;
    for (const std::string& m : Messages()) refusals += m == "Invalid file name";
    EXPECT_EQ(refusals, 2);
    EXPECT_TRUE(usableAfterRefusal);
    EXPECT_EQ(afterOk, bad);
    EXPECT_EQ(afterBrowse, good);
    EXPECT_FALSE(FileExists(bad));
    EXPECT_TRUE(AnyMessageHas("Merging successfully compleated!"));
    Bytes both = ReadAll(a);
    const Bytes second = ReadAll(b);
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(ReadAll(good), both);
}

TEST_F(ToolWindowsTest, MergeProgressShowsSkinnedPercentGauges) {
    TMergeProgressForm p(nullptr);
    p.Show();
    Settle();
    const std::vector<std::string> unskinned = test::UnskinnedControls(p);
    EXPECT_TRUE(unskinned.empty()) << Joined(unskinned);
    p.sGauge1->SetProgress(140);
    p.sGauge2->SetProgress(37);
    // Limited to the gauge's range and shown with the percent sign.
    EXPECT_EQ(p.sGauge1->ShownText(), "100%");
    EXPECT_EQ(p.sGauge2->ShownText(), "37%");
    p.Hide();
}

TEST_F(ToolWindowsTest, PatchAndPreserveDialogsWearTheSkinInGerman) {
    TPatchForm patch(nullptr);
    patch.SetPatchFormTexts(true);
    patch.sEdit1->SetText("$0001");
    patch.Show();
    // Every page once in front, so each has made its controls; the tabs
    // show each change.
    auto tabs = [&patch] {
        std::vector<COLORREF> out;
        TBitmap* cache = patch.sPageControl1->SkinData.CacheBmp();
        if (!cache) return out;
        for (int x = 0; x < cache->Width(); ++x) out.push_back(GetPixel(cache->Canvas().Handle(), x, 10));
        return out;
    };
    Settle();
    std::vector<COLORREF> before = tabs();
    for (skin::TsTabSheet* sheet : {patch.sTabSheet2, patch.sTabSheet1, patch.sTabSheet3}) {
        patch.sPageControl1->SetActivePage(sheet);
        Settle();
        const std::vector<COLORREF> after = tabs();
        EXPECT_FALSE(after.empty());
        EXPECT_NE(after, before) << sheet->Name();
        before = after;
    }
    // The grid draws itself (key and value cells); all else is skinned.
    std::vector<std::string> unskinned = test::UnskinnedControls(patch, {"ValueListEditor1"});
    EXPECT_TRUE(unskinned.empty()) << Joined(unskinned);
    const BoundCaption current = CaptionOf(patch.sEdit1), fresh = CaptionOf(patch.sEdit2);
    EXPECT_EQ(current.text, "Urspr\xC3\xBCngliche PNR (SID)");
    EXPECT_EQ(fresh.text, "Neue PNR (SID)");
    // The other German texts, each on its own item; the warning word
    // stands between blanks on its label only.
    EXPECT_EQ(patch.sBitBtn2->Caption(), "Abbrechen");
    EXPECT_EQ(patch.sLabelFX1->Caption(), " Warnung ");
    EXPECT_EQ(patch.sTabSheet3->Caption(), "Warnung");
    EXPECT_EQ(patch.sLabelFX2->Caption(), "Experimentelle Experten-Funktion!");
    EXPECT_EQ(patch.sLabel1->Caption().rfind("Hier bitte nur \xC3\x84nderungen vornehmen", 0), 0u);
    EXPECT_EQ(patch.sTabSheet2->Caption(), "Prog.Nr (SID)");
    EXPECT_EQ(patch.ValueListEditor1->Cells(0, 0), "Urspr\xC3\xBCngliche PID");
    EXPECT_EQ(patch.ValueListEditor1->Cells(1, 0), "Neue PID");
    EXPECT_LE(current.label.Right, current.box.Left);
    // The caption went to the label, not into the box.
    EXPECT_EQ(patch.sEdit1->Text(), "$0001");
    EXPECT_EQ(patch.sLabelFX1->Kind().Color(), clYellow);
    EXPECT_EQ(patch.sLabelFX1->Shadow().Color(), clRed);
    EXPECT_EQ(patch.sLabelFX2->Kind().Color(), clRed);

    // The grid's scroll bar: gone while the rows fit, and it scrolls when
    // they do not.
    TValueListEditor* grid = patch.ValueListEditor1;
    auto scrollBar = [grid] { return (GetWindowLongPtrW(grid->Handle(), GWL_STYLE) & WS_VSCROLL) != 0; };
    for (int pid = 0x101; pid < 0x104; ++pid) grid->Strings().Add(DollarHex(pid, 4) + "=" + DollarHex(pid, 4));
    Settle();
    EXPECT_FALSE(scrollBar());
    for (int pid = 0x104; pid < 0x120; ++pid) grid->Strings().Add(DollarHex(pid, 4) + "=" + DollarHex(pid, 4));
    Settle();
    EXPECT_TRUE(scrollBar());
    SendMessageW(grid->Handle(), WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(grid->TopRow(), 1 + grid->VisibleRows());
    SendMessageW(grid->Handle(), WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(grid->TopRow() + grid->VisibleRows(), grid->RowCount());
    SendMessageW(grid->Handle(), WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(grid->TopRow() + grid->VisibleRows(), grid->RowCount() - 1);
    patch.Hide();

    ASSERT_NE(TrashForm, nullptr);
    TrashForm->Show();
    Settle();
    unskinned = test::UnskinnedControls(*TrashForm);
    EXPECT_TRUE(unskinned.empty()) << Joined(unskinned);
    TrashForm->Hide();
}

// A tab of the patch dialog chosen by a click shows its page whole at once,
// its labels and grid included, as a repaint of the whole dialog shows it.
TEST_F(ToolWindowsTest, EachPageOfThePatchDialogIsPaintedWholeWhenItsTabIsClicked) {
    TPatchForm patch(nullptr);
    patch.SetPatchFormTexts(false);
    patch.Show();
    const HWND h = patch.Handle();
    const HWND tabs = patch.sPageControl1->Handle();
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    test::RepaintedScreenShot(h);
    const int count = int(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    ASSERT_EQ(count, 3);
    for (int tab : {1, 2, 0, 1}) {
        SCOPED_TRACE("tab " + std::to_string(tab));
        RECT r{};
        ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMRECT, WPARAM(tab), reinterpret_cast<LPARAM>(&r)));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(tabs, WM_LBUTTONUP, 0, at);
        const test::ScreenShot after = test::SettledScreenShot(h);
        EXPECT_TRUE(test::SameScreen(after, test::RepaintedScreenShot(h), "patch-tab-" + std::to_string(tab)));
    }
    patch.Hide();
}

// The PID grid of the skinned patch dialog on the screen: the skin's edit
// field and text, a title row apart from both, the selection in the skin's
// highlight; the system's colours while the skin is off.
TEST_F(ToolWindowsTest, ThePidGridOfThePatchDialogWearsTheSkinsFieldColours) {
    skin::TsSkinManager* sm = skin::DefaultManager;
    ASSERT_NE(sm, nullptr);
    const int edit = sm->GetSkinIndex("EDIT"), item = sm->GetSkinIndex("MENUITEM");
    ASSERT_TRUE(sm->SkinIndexValid(edit) && sm->SkinIndexValid(item));
    const COLORREF field = COLORREF(ColorToRGB(sm->gd[size_t(edit)].Color));
    const COLORREF text = COLORREF(ColorToRGB(sm->gd[size_t(edit)].FontColor[0]));
    const COLORREF highlight = COLORREF(ColorToRGB(sm->gd[size_t(item)].HotColor));
    TPatchForm patch(nullptr);
    patch.SetPatchFormTexts(false);
    patch.Show();
    patch.sPageControl1->SetActivePage(patch.sTabSheet1);
    TValueListEditor* grid = patch.ValueListEditor1;
    for (int pid = 0x100; pid < 0x103; ++pid) grid->Strings().Add(DollarHex(pid, 4) + "=" + DollarHex(pid, 4));
    const int rh = grid->DefaultRowHeight(), w = grid->ClientRect().Width(), h = grid->ClientRect().Height();
    struct Seen {
        COLORREF field, title, selected;
        int textPixels; // of the first key
    };
    auto look = [&] {
        ::SetFocus(grid->Handle());
        Settle();
        EXPECT_EQ(GetFocus(), grid->Handle());
        RedrawWindow(grid->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC dc = GetDC(grid->Handle());
        Seen s{GetPixel(dc, 200, h - 4), GetPixel(dc, 140, rh / 2), GetPixel(dc, w - 4, rh + rh / 2), 0};
        for (int y = rh + 1; y < 2 * rh - 1; ++y)
            for (int x = 1; x < 140; ++x) s.textPixels += GetPixel(dc, x, y) == text;
        ReleaseDC(grid->Handle(), dc);
        return s;
    };
    const Seen skinned = look();
    EXPECT_EQ(skinned.field, field);
    EXPECT_GT(skinned.textPixels, 5);
    EXPECT_EQ(skinned.selected, highlight);
    // The title row lies between the field and its text in each channel,
    // well apart from both.
    int apartField = 0, apartText = 0;
    for (int shift : {0, 8, 16}) {
        const int t = int(skinned.title >> shift) & 0xFF, f = int(field >> shift) & 0xFF, x = int(text >> shift) & 0xFF;
        EXPECT_TRUE(t >= std::min(f, x) && t <= std::max(f, x)) << std::hex << skinned.title;
        apartField += std::abs(t - f);
        apartText += std::abs(t - x);
    }
    EXPECT_GE(apartField, 24);
    EXPECT_GE(apartText, 24);
    sm->SetActive(false);
    const Seen plain = look();
    sm->SetActive(true);
    EXPECT_EQ(plain.field, COLORREF(GetSysColor(COLOR_WINDOW)));
    EXPECT_EQ(plain.title, COLORREF(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(plain.selected, COLORREF(GetSysColor(COLOR_HIGHLIGHT)));
    EXPECT_EQ(look().field, field);
    patch.Hide();
}

TEST_F(ToolWindowsTest, AMergeOfFilesWithoutASinglePacketCopiesThemWholeWhenTheUserAddedThem) {
    const std::string a = Temp("nopackets_a.ts");
    WriteAll(a, Bytes());
    const std::string b = Temp("nopackets_b.ts");
    const Bytes noise(1000, 0x11);
    WriteAll(b, noise);
    const std::string dest = Temp("nopackets_dest.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    g_dialogs.yes = true; // add them all the same when asked
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        f.AddFile(a);
        f.AddFile(b);
        f.sFilenameEdit1->SetText(dest);
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_TRUE(AnyMessageHas("seems not to have a valid TS structure!"));
    EXPECT_TRUE(AnyMessageHas("Merging successfully compleated!"));
    EXPECT_FALSE(AnyMessageHas("Merging failed!"));
    EXPECT_EQ(ReadAll(dest), noise);
}

namespace {

// A key as the user presses it on a control: through the modal loop, where
// the window's key preview and dialog keys see it.
void PressKey(TWinControl* c, WORD vk) {
    PostMessageW(c->Handle(), WM_KEYDOWN, vk, 1);
    PostMessageW(c->Handle(), WM_KEYUP, vk, 0xC0000001);
    Application->ProcessMessages();
}

} // namespace

TEST_F(ToolWindowsTest, MergerKeepsItsControlsInSightWhenResized) {
    std::vector<std::string> atLeast, grown;
    int width = 0, height = 0, okGap = -1, okGapGrown = -1, editGapGrown = -1;
    bool listGrew = false, destLabelAbove = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        // Dragged smaller than allowed: held at the least size.
        f.SetBounds(f.Left(), f.Top(), 300, 120);
        Settle();
        width = f.Width();
        height = f.Height();
        atLeast = test::LayoutFaults(f);
        okGap = f.ClientWidth() - (f.sBitBtn2->Left() + f.sBitBtn2->Width());
        const int listHeight = f.sListBox1->Height();
        f.SetBounds(f.Left(), f.Top(), 800, 600);
        Settle();
        grown = test::LayoutFaults(f);
        okGapGrown = f.ClientWidth() - (f.sBitBtn2->Left() + f.sBitBtn2->Width());
        editGapGrown = f.ClientHeight() - (f.sFilenameEdit1->Top() + f.sFilenameEdit1->Height());
        listGrew = f.sListBox1->Height() > listHeight + 300 && f.sListBox1->Width() > 600;
        const BoundCaption dest = CaptionOf(f.sFilenameEdit1);
        destLabelAbove = dest.visible && dest.label.Bottom <= dest.box.Top && dest.label.Top >= dest.box.Top - 20;
        Press(f.sBitBtn2);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(width, 511);
    EXPECT_EQ(height, 250);
    EXPECT_TRUE(atLeast.empty()) << Joined(atLeast);
    EXPECT_TRUE(grown.empty()) << Joined(grown);
    EXPECT_GE(okGap, 0);
    EXPECT_EQ(okGapGrown, okGap);
    EXPECT_LT(editGapGrown, 100);
    EXPECT_TRUE(listGrew);
    EXPECT_TRUE(destLabelAbove);
}

// Every tool lays itself out again at a new size: after a drag of its corner,
// maximized and restored it shows what a repaint of all it holds shows.
TEST_F(ToolWindowsTest, EveryToolIsPaintedWholeAtEveryNewSize) {
    std::vector<std::string> checked;
    auto checkThenClose = [&](const std::string& name, TCustomForm* f, TWinControl* close) {
        test::ExpectEveryNewSizePaintedWhole(f->Handle(), name);
        checked.push_back(name);
        Press(close);
    };
    const std::string in = Temp("raw_sizes.ts");
    WriteAll(in, ReadAll(Fixture("h264_ac3.ts")));
    WhenShown([] { return RawCutterForm->Visible(); },
              [&] { checkThenClose("raw-cutter", RawCutterForm, RawCutterForm->sBitBtn2); });
    RawCutterForm->Run(in);

    // A stream the analysis leaves out, for the preserve dialog to offer.
    const test::TsStream s = test::SmallProgram({{2, 0x101, {}}, {3, 0x102, {}}, {0x05, 0x104, {}}}, 0x104,
                                                [](int64_t) { return test::PesPacket(0xBF, Bytes(150, 0x33)); });
    const std::string analysed = Temp("patch_sizes.ts");
    WriteAll(analysed, s.Render());
    Form1->OpenRecording(analysed);
    ASSERT_TRUE(View()->Engine().Analysed()) << Form3->sMemo1->Lines().Text();
    ASSERT_TRUE(Form1->sBitBtn2->Enabled());
    ASSERT_TRUE(Form1->sBitBtn3->Enabled());
    WhenShown([] { return TrashForm->Visible(); }, [&] {
        test::ExpectEveryNewSizePaintedWhole(TrashForm->Handle(), "preserve");
        checked.push_back("preserve");
        TrashForm->SetModalResult(mrCancel);
    });
    Press(Form1->sBitBtn2);
    WhenShown([] { return Screen->ActiveForm() && Screen->ActiveForm()->Name() == "PatchForm"; }, [&] {
        TCustomForm* f = Screen->ActiveForm();
        test::ExpectEveryNewSizePaintedWhole(f->Handle(), "patch");
        checked.push_back("patch");
        f->SetModalResult(mrCancel);
    });
    Press(Form1->sBitBtn3);
    EXPECT_EQ(checked, (std::vector<std::string>{"raw-cutter", "preserve", "patch"}));
}

// Made larger, the merger's destination box shows the skin's frame over its
// whole new width, not the system's white frame beyond its old right end.
TEST_F(ToolWindowsTest, TheMergerIsPaintedWholeAtEveryNewSize) {
    bool checked = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        test::ExpectEveryNewSizePaintedWhole(FileMergerForm->Handle(), "merger");
        checked = true;
        Press(FileMergerForm->sBitBtn2);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_TRUE(checked);
}

TEST_F(ToolWindowsTest, MergerRemovesWithTheDeleteKeyAndClosesWithEscape) {
    const Bytes data = ReadAll(Fixture("h264_ac3.ts"));
    const std::string a = Temp("del_a.ts"), b = Temp("del_b.ts"), c = Temp("del_c.ts");
    WriteAll(a, Slice(data, 0, 188 * 100));
    WriteAll(b, Slice(data, 188 * 100, 188 * 300));
    WriteAll(c, Slice(data, 188 * 300, 188 * 350));
    const std::string dest = Temp("del_dest.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    int64_t totalBefore = 0, totalAfter = 0;
    int selectedAfter = -2, selectedAtEnd = -2;
    std::vector<std::string> listed;
    bool removeOffWhenEmpty = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        for (const std::string& n : {a, b, c}) f.AddFile(n);
        totalBefore = f.Sources().TotalMergeSize();
        // The middle file chosen with the keys, then Delete.
        f.sListBox1->SetFocus();
        PressKey(f.sListBox1, VK_HOME);
        PressKey(f.sListBox1, VK_DOWN);
        EXPECT_EQ(f.sListBox1->ItemIndex(), 1);
        EXPECT_TRUE(f.sBitBtn4->Enabled());
        PressKey(f.sListBox1, VK_DELETE);
        totalAfter = f.Sources().TotalMergeSize();
        selectedAfter = f.sListBox1->ItemIndex();
        listed = f.MergeOrder();
        // Delete in the destination box edits the name, never the list.
        f.sFilenameEdit1->SetFocus();
        PressKey(f.sFilenameEdit1, VK_DELETE);
        EXPECT_EQ(f.MergeOrder().size(), 2u);
        f.sFilenameEdit1->SetText(dest);
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(listed, (std::vector<std::string>{a, c}));
    EXPECT_EQ(selectedAfter, 1); // the item now at the removed one's place
    EXPECT_EQ(totalBefore - totalAfter, 188 * 200);
    Bytes merged = Slice(data, 0, 188 * 100);
    const Bytes third = Slice(data, 188 * 300, 188 * 350);
    merged.insert(merged.end(), third.begin(), third.end());
    EXPECT_EQ(ReadAll(dest), merged);

    // The last item removed: the one before it is chosen; an empty list
    // turns the button off; Escape cancels without a merge.
    g_dialogs = Dialogs();
    TModalResult result = mrNone;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        f.AddFile(a);
        f.AddFile(b);
        f.sListBox1->SetFocus();
        PressKey(f.sListBox1, VK_END);
        PressKey(f.sListBox1, VK_DELETE);
        selectedAtEnd = f.sListBox1->ItemIndex();
        PressKey(f.sListBox1, VK_DELETE);
        removeOffWhenEmpty = !f.sBitBtn4->Enabled() && f.MergeOrder().empty();
        f.OnClose = [&](TObject*, TCloseAction&) { result = f.ModalResult(); };
        PressKey(f.sListBox1, VK_ESCAPE);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(selectedAtEnd, 0);
    EXPECT_TRUE(removeOffWhenEmpty);
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(Messages().empty());
}

TEST_F(ToolWindowsTest, MergerLeavesTheDestinationAloneWhenRefusedOrNotToBeOverwritten) {
    const Bytes data = ReadAll(Fixture("h264_ac3.ts"));
    const std::string a = Temp("keep_a.ts"), b = Temp("keep_b.ts");
    WriteAll(a, Slice(data, 0, 188 * 100));
    WriteAll(b, Slice(data, 188 * 100, 188 * 200));
    const std::string dest = Temp("keep_dest.ts");
    const Bytes old(1000, 0x55);
    WriteAll(dest, old);
    files.push_back(ChangeFileExt(dest, ".log"));
    auto merge = [&](const std::function<void(TFileMergerForm&)>& before) {
        WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
            TFileMergerForm& f = *FileMergerForm;
            f.AddFile(a);
            f.AddFile(b);
            f.sFilenameEdit1->SetText(dest);
            before(f);
            Press(f.sBitBtn1);
            EXPECT_TRUE(f.Visible()); // still there to choose again
            Press(f.sBitBtn2);
        });
        MenuCommand(Form1->FileMerger1);
    };

    // "No" to the overwrite question.
    g_dialogs.yes = false;
    merge([](TFileMergerForm&) {});
    EXPECT_TRUE(AnyMessageHas("File " + dest + " already exists!\rOverwrite file?"));
    EXPECT_EQ(ReadAll(dest), old);
    EXPECT_FALSE(FileExists(ChangeFileExt(dest, ".log")));

    // "Yes", but the disk holds no more than the merge needs.
    g_dialogs = Dialogs();
    std::vector<std::string> sounds;
    RegWriteBool(kSettingsKey, "PlaySound", true);
    SetSoundPlayer([&](const std::string& n) {
        sounds.push_back(n);
        return true;
    });
    int64_t asked = -1;
    TFileMergerForm::FreeSpaceHook = [&](const std::string&) { return asked; };
    merge([&](TFileMergerForm& f) { asked = f.Sources().TotalMergeSize(); });
    TFileMergerForm::FreeSpaceHook = nullptr;
    SetSoundPlayer(nullptr);
    RegWriteBool(kSettingsKey, "PlaySound", false);
    EXPECT_EQ(asked, 188 * 200);
    EXPECT_TRUE(AnyMessageHas("Not enought disk space!"));
    EXPECT_EQ(sounds, (std::vector<std::string>{"WARNING"}));
    EXPECT_EQ(ReadAll(dest), old);
    EXPECT_FALSE(FileExists(ChangeFileExt(dest, ".log")));
}

TEST_F(ToolWindowsTest, MergerListsEmptyAreaKeepsTheFieldColourWhenMadeSmaller) {
    // What the list shows below its last item, on the screen and printed,
    // after each size: grown, smaller, its old contents discarded, least.
    struct Seen {
        const char* when;
        COLORREF screen, printed;
    };
    std::vector<Seen> seen;
    COLORREF field = 0;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        skin::TsAlphaListBox& list = *f.sListBox1;
        for (const char* s : {"part1.ts", "part2.ts"}) list.Items().Add(s);
        field = ColorToRGB(list.SkinData.GetControlBGColor(false)) & 0xFFFFFF;
        auto look = [&](const char* when) {
            Settle();
            RECT cr{};
            GetClientRect(list.Handle(), &cr);
            const POINT p{cr.right - 4, cr.bottom - 4};
            HDC dc = GetDC(list.Handle());
            const COLORREF screen = GetPixel(dc, p.x, p.y) & 0xFFFFFF;
            ReleaseDC(list.Handle(), dc);
            TBitmap pic(cr.right, cr.bottom, pf24bit);
            SendMessageW(list.Handle(), WM_PRINT, reinterpret_cast<WPARAM>(pic.Canvas().Handle()),
                         PRF_CLIENT | PRF_ERASEBKGND);
            seen.push_back({when, screen, ColorToRGB(pic.Canvas().Pixels(p.x, p.y)) & 0xFFFFFF});
        };
        f.SetBounds(f.Left(), f.Top(), 800, 600);
        look("grown");
        f.SetBounds(f.Left(), f.Top(), 560, 320);
        look("smaller");
        // As the window system sizes it, the old contents discarded.
        SetWindowPos(f.Handle(), nullptr, 0, 0, 520, 290, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
        look("discarded");
        f.SetBounds(f.Left(), f.Top(), 300, 120);
        look("least");
        Press(f.sBitBtn2);
    });
    MenuCommand(Form1->FileMerger1);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_NE(field, 0xFFFFFFu);
    for (const Seen& s : seen) {
        EXPECT_EQ(s.screen, field) << s.when;
        EXPECT_EQ(s.printed, field) << s.when;
    }
}

TEST_F(ToolWindowsTest, RawCutterKeepsOkOffWhileABoxIsNoNumberAndNamesItsSaveDialog) {
    const std::string in = Temp("raw_dollar.ts");
    WriteAll(in, ReadAll(Fixture("cleaning/h264_ac3_cbr.ts")));
    const std::string out = Temp("raw_dollar_cutted.ts");
    // A file of the name is there already: it is replaced after the question.
    WriteAll(out, Bytes{'o', 'l', 'd'});
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    bool okWithDollar = true, okWithFromDollar = true, okAgain = false;
    std::vector<std::string> whileTyping;
    WhenShown([] { return RawCutterForm->Visible(); }, [&] {
        TRawCutterForm& f = *RawCutterForm;
        // A lone "$" in To, as the key filter lets it in.
        f.sEdit2->SetFocus();
        f.sEdit2->SetText("");
        SendMessageW(f.sEdit2->Handle(), WM_CHAR, L'$', 1);
        okWithDollar = f.sBitBtn1->Enabled();
        whileTyping = Messages();
        // Leaving the box names the conversion error.
        f.sEdit1->SetFocus();
        f.sEdit2->SetText("$3E7"); // 999
        okAgain = f.sBitBtn1->Enabled();
        // The same for From; OK comes back with a number.
        f.sEdit1->SetText("$");
        okWithFromDollar = f.sBitBtn1->Enabled();
        f.sEdit1->SetText("0");
        Press(f.sBitBtn1);
    });
    // The dialog as the menu command runs it (the menu item is off while a
    // recording is loaded).
    RawCutterForm->Run(in);
    EXPECT_FALSE(okWithDollar);
    EXPECT_FALSE(okWithFromDollar);
    EXPECT_TRUE(okAgain);
    // Typing is not interrupted; the box left with "$" is.
    EXPECT_TRUE(whileTyping.empty());
    int conversionErrors = 0;
    for (const std::string& m : Messages()) conversionErrors += m == "'$' is not a valid integer value";
    EXPECT_EQ(conversionErrors, 1);
    const TDialogRequest* save = nullptr;
    for (const TDialogRequest& r : g_dialogs.requests)
        if (r.Kind == dkSaveFile) save = &r;
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->Caption, "Select filename for new stream");
    EXPECT_EQ(save->Text, "TransportStream(*.ts)|*.ts");
    EXPECT_TRUE(AnyMessageHas("File " + out + " already exists!\rOverwrite file?"));
    EXPECT_EQ(ReadAll(out), Slice(ReadAll(in), 0, 1000 * 188));
}

TEST_F(ToolWindowsTest, RawCopyNamesItselfAndKeepsWhatItCopiedWhenTheInputFails) {
    // Three blocks and more of whole packets; the input loses its tail
    // while the copy runs.
    const Bytes one = ReadAll(Fixture("cleaning/h264_ac3_cbr.ts"));
    Bytes data;
    for (int i = 0; i < 6; ++i) data.insert(data.end(), one.begin(), one.end());
    const std::string in = Temp("raw_shrinks.ts");
    WriteAll(in, data);
    const std::string out = Temp("raw_shrinks_cutted.ts");
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    ASSERT_NE(Form2, nullptr);
    // The user presses the progress window's cancel button as soon as it
    // shows, then answers No to the question.
    const TNotifyEvent shown = Form2->OnShow;
    Form2->OnShow = [shown](TObject* s) {
        if (shown) shown(s);
        Press(Form2->sBitBtn1);
    };
    std::string caption;
    bool progressShown = false;
    g_dialogs.onRequest = [&](const TDialogRequest& rq) {
        if (rq.Text != "Do you want to abort the process?") return;
        caption = Form2->Caption();
        progressShown = Form2->HandleAllocated() && IsWindowVisible(Form2->Handle());
        g_dialogs.yes = false;
        // Cut short behind the first block: the second read fails.
        HANDLE h = CreateFileW(Utf8ToWide(in).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = 1500000;
        SetFilePointerEx(h, at, nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        CloseHandle(h);
    };
    WhenShown([] { return RawCutterForm->Visible(); }, [] { Press(RawCutterForm->sBitBtn1); });
    // The dialog as the menu command runs it (the menu item is off while a
    // recording is loaded).
    RawCutterForm->Run(in);
    Form2->OnShow = shown;
    EXPECT_EQ(caption, "Raw packet copy");
    EXPECT_TRUE(progressShown);
    // The other passes get their own caption back.
    EXPECT_EQ(Form2->Caption(), "Progress");
    EXPECT_TRUE(AnyMessageHas("Raw paket copy exception error!"));
    EXPECT_TRUE(AnyMessageHas("The copy is incomplete: " + out));
    // The whole packets of the first block reached the output and stay
    // there; the block's torn last packet does not.
    ASSERT_TRUE(FileExists(out));
    EXPECT_EQ(ReadAll(out), Slice(data, 0, 1000001 / 188 * 188));
}

TEST_F(ToolWindowsTest, MergerSaysWhyOkCannotMerge) {
    const std::string a = Temp("why_a.ts");
    WriteAll(a, Slice(ReadAll(Fixture("h264_ac3.ts")), 0, 188 * 50));
    std::vector<std::string> emptyList, noDestination;
    bool stayed = false;
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        Press(f.sBitBtn1);
        emptyList = Messages();
        g_dialogs.requests.clear();
        // One file leaves the destination empty.
        f.AddFile(a);
        Press(f.sBitBtn1);
        noDestination = Messages();
        stayed = f.Visible() && f.ModalResult() == mrNone && f.sBitBtn1->Enabled();
        Press(f.sBitBtn2);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(emptyList, (std::vector<std::string>{"No source files to merge!"}));
    EXPECT_EQ(noDestination, (std::vector<std::string>{"No destination file name given!"}));
    EXPECT_TRUE(stayed);
}

TEST_F(ToolWindowsTest, GermanMergeProgressKeepsItsFileAndTotalCaptions) {
    const Bytes data = ReadAll(Fixture("h264_ac3.ts"));
    const std::string a = Temp("ger_a.ts"), b = Temp("ger_b.ts");
    WriteAll(a, Slice(data, 0, 188 * 100));
    WriteAll(b, Slice(data, 188 * 100, 188 * 200));
    const std::string dest = Temp("ger_dest.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    RegWriteString(kSettingsKey, "Language", "GER");
    std::vector<std::string> seen;
    PostedProbe probe([&] {
        TMergeProgressForm* p = FileMergerForm ? FileMergerForm->Progress : nullptr;
        if (!p) return;
        for (const char* n : {"sLabel2", "sLabel3"})
            if (auto* l = dynamic_cast<TLabel*>(p->FindComponent(n))) seen.push_back(l->Caption());
        seen.push_back(p->Caption());
        seen.push_back(p->sBitBtn1->Caption());
    });
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        f.AddFile(a);
        f.AddFile(b);
        f.sFilenameEdit1->SetText(dest);
        // Taken by the merge's first look at the window's messages.
        probe.Post();
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->FileMerger1);
    RegWriteString(kSettingsKey, "Language", "ENG");
    EXPECT_EQ(seen, (std::vector<std::string>{"File", "Total", "Fortschritt", "Abbrechen"}));
    EXPECT_TRUE(FileExists(dest));
}

TEST_F(ToolWindowsTest, MergerListIsReorderedByDraggingWithinIt) {
    const Bytes data = ReadAll(Fixture("h264_ac3.ts"));
    const std::string a = Temp("drag_a.ts"), b = Temp("drag_b.ts"), c = Temp("drag_c.ts");
    WriteAll(a, Slice(data, 0, 188 * 100));
    WriteAll(b, Slice(data, 188 * 100, 188 * 200));
    WriteAll(c, Slice(data, 188 * 200, 188 * 250));
    const std::string dest = Temp("drag_dest.ts");
    files.push_back(ChangeFileExt(dest, ".log"));
    using Order = std::vector<std::string>;
    Order pressRelease, dropped, outside, escaped;
    bool armedOnly = true, draggingBeyond = false, openAfterEscape = false;
    HCURSOR overList = nullptr, offList = nullptr;
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW), no = LoadCursorW(nullptr, IDC_NO);
    WhenShown([] { return FileMergerForm && FileMergerForm->Visible(); }, [&] {
        TFileMergerForm& f = *FileMergerForm;
        for (const std::string& n : {a, b, c}) f.AddFile(n);
        const TPoint first = ItemCentre(f, 0), last = ItemCentre(f, 2);
        // A press on one item and a release on another, with no drag
        // between them: nothing moves.
        ListMouse(f, WM_LBUTTONDOWN, first, MK_LBUTTON);
        ListMouse(f, WM_LBUTTONUP, last, 0);
        pressRelease = f.MergeOrder();
        // Within the threshold a press is no drag; beyond it, it is.
        ListMouse(f, WM_LBUTTONDOWN, first, MK_LBUTTON);
        ListMouse(f, WM_MOUSEMOVE, {first.X + 3, first.Y + 3}, MK_LBUTTON);
        armedOnly = !f.Dragging();
        ListMouse(f, WM_MOUSEMOVE, last, MK_LBUTTON);
        draggingBeyond = f.Dragging();
        overList = GetCursor();
        ListMouse(f, WM_LBUTTONUP, last, 0);
        dropped = f.MergeOrder();
        // Dropped outside the list: refused.
        ListMouse(f, WM_LBUTTONDOWN, ItemCentre(f, 0), MK_LBUTTON);
        ListMouse(f, WM_MOUSEMOVE, ItemCentre(f, 1), MK_LBUTTON);
        ListMouse(f, WM_MOUSEMOVE, {-30, ItemCentre(f, 1).Y}, MK_LBUTTON);
        offList = GetCursor();
        ListMouse(f, WM_LBUTTONUP, {-30, ItemCentre(f, 1).Y}, 0);
        outside = f.MergeOrder();
        // Escape ends the drag and leaves the window open.
        ListMouse(f, WM_LBUTTONDOWN, ItemCentre(f, 0), MK_LBUTTON);
        ListMouse(f, WM_MOUSEMOVE, ItemCentre(f, 2), MK_LBUTTON);
        PostMessageW(f.sListBox1->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(f.sListBox1->Handle(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
        Application->ProcessMessages();
        ListMouse(f, WM_LBUTTONUP, ItemCentre(f, 2), 0);
        escaped = f.MergeOrder();
        openAfterEscape = f.Visible() && f.ModalResult() == mrNone;
        f.sFilenameEdit1->SetText(dest);
        Press(f.sBitBtn1);
    });
    MenuCommand(Form1->FileMerger1);
    EXPECT_EQ(pressRelease, (Order{a, b, c}));
    EXPECT_TRUE(armedOnly);
    EXPECT_TRUE(draggingBeyond);
    EXPECT_NE(overList, arrow);
    EXPECT_NE(overList, no);
    EXPECT_EQ(dropped, (Order{b, c, a}));
    EXPECT_EQ(offList, no);
    EXPECT_EQ(outside, (Order{b, c, a}));
    EXPECT_EQ(escaped, (Order{b, c, a}));
    EXPECT_TRUE(openAfterEscape);
    // The merge follows the new order.
    Bytes expected = Slice(data, 188 * 100, 188 * 250);
    const Bytes ofA = Slice(data, 0, 188 * 100);
    expected.insert(expected.end(), ofA.begin(), ofA.end());
    EXPECT_EQ(ReadAll(dest), expected);
}

TEST_F(ToolWindowsTest, RawCutterCopiesToTheEndForAHugeToAndRefusesARangeBeyondTheFile) {
    const std::string in = Temp("raw_huge.ts");
    const Bytes data = ReadAll(Fixture("cleaning/h264_ac3_cbr.ts"));
    WriteAll(in, data);
    const std::string out = Temp("raw_huge_cutted.ts");
    std::vector<std::string> sounds;
    RegWriteBool(kSettingsKey, "PlaySound", true);
    SetSoundPlayer([&](const std::string& n) {
        sounds.push_back(n);
        return true;
    });
    auto cut = [&](const std::string& from, const std::string& to) {
        g_dialogs = Dialogs();
        g_dialogs.saveAnswer = out;
        sounds.clear();
        WhenShown([] { return RawCutterForm->Visible(); }, [&] {
            TRawCutterForm& f = *RawCutterForm;
            f.sEdit1->SetFocus();
            f.sEdit1->SetText(from);
            f.sEdit2->SetFocus();
            f.sEdit2->SetText(to);
            Press(f.sBitBtn1);
        });
        RawCutterForm->Run(in);
    };
    // A To far beyond any file copies up to the end and says so.
    for (const char* to : {"50000000000000000", "$7FFFFFFFFFFFFFFF"}) {
        SCOPED_TRACE(to);
        cut("10", to);
        ASSERT_TRUE(FileExists(out));
        EXPECT_EQ(ReadAll(out), Slice(data, 10 * 188, data.size()));
        EXPECT_TRUE(AnyMessageHas("The range reached beyond the end of the file: copied up to its end."));
        EXPECT_EQ(sounds, (std::vector<std::string>{"DONE"}));
    }
    // A From at or beyond the end holds nothing to copy: refused with a
    // reason, never a finished copy of nothing.
    WriteAll(out, Bytes{1, 2, 3});
    for (const std::string& from : {IntToStr(static_cast<int64_t>(data.size() / 188)), std::string("$7FFFFFFFFFFFFFF0")}) {
        SCOPED_TRACE(from);
        cut(from, "$7FFFFFFFFFFFFFFF");
        EXPECT_TRUE(AnyMessageHas("The file was not cut."));
        EXPECT_TRUE(AnyMessageHas("nothing to copy"));
        EXPECT_EQ(sounds, (std::vector<std::string>{"WARNING"}));
        EXPECT_EQ(ReadAll(out), (Bytes{1, 2, 3}));
    }
    SetSoundPlayer(nullptr);
    RegWriteBool(kSettingsKey, "PlaySound", false);
}

TEST_F(ToolWindowsTest, NothingOpensStartsOrClosesUnderARunningRawCopy) {
    const Bytes one = ReadAll(Fixture("cleaning/h264_ac3_cbr.ts"));
    Bytes data;
    for (int i = 0; i < 4; ++i) data.insert(data.end(), one.begin(), one.end());
    const std::string in = Temp("raw_guarded.ts");
    WriteAll(in, data);
    const std::string out = Temp("raw_guarded_cutted.ts");
    const std::string other = Temp("raw_other.ts");
    WriteAll(other, one);
    g_dialogs.openAnswer = in;
    g_dialogs.saveAnswer = out;
    ASSERT_NE(Form2, nullptr);
    // The user tries everything the main window offers while the progress
    // window of the copy is up.
    struct Seen {
        bool ran = false, enabled = true, canOpen = true, formAlive = false, progressAlive = false, mergerShown = false;
        size_t openDialogs = 0;
    } seen;
    TForm2* progress = Form2;
    const TNotifyEvent shown = Form2->OnShow;
    Form2->OnShow = [&, shown](TObject* s) {
        if (shown) shown(s);
        if (seen.ran) return;
        seen.ran = true;
        seen.enabled = IsWindowEnabled(Form1->Handle()) != FALSE;
        seen.canOpen = Form1->CanOpenNow();
        const size_t before = g_dialogs.requests.size();
        // Should a nested command get as far as its open dialog, it is
        // cancelled there; a merger that shows is closed at once.
        g_dialogs.openAnswer.clear();
        static bool s_mergerShown;
        s_mergerShown = false;
        const UINT_PTR closer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
            if (FileMergerForm && FileMergerForm->Visible()) {
                s_mergerShown = true;
                FileMergerForm->SetModalResult(mrCancel);
            }
        });
        // A second cut, the merger and another recording, by menu and by drop.
        MenuCommand(Form1->RawCutter1);
        MenuCommand(Form1->FileMerger1);
        Form1->DropFiles({other});
        // And closing the main window.
        SendMessageW(Form1->Handle(), WM_CLOSE, 0, 0);
        KillTimer(nullptr, closer);
        seen.mergerShown = s_mergerShown;
        for (size_t i = before; i < g_dialogs.requests.size(); ++i)
            seen.openDialogs += g_dialogs.requests[i].Kind == dkOpenFile;
        seen.formAlive = Form1 && IsWindow(Form1->Handle());
        seen.progressAlive = Form2 == progress;
    };
    WhenShown([] { return RawCutterForm->Visible(); }, [] { Press(RawCutterForm->sBitBtn1); });
    MenuCommand(Form1->RawCutter1);
    if (Form2) Form2->OnShow = shown;
    ASSERT_TRUE(seen.ran);
    EXPECT_FALSE(seen.enabled);
    EXPECT_FALSE(seen.canOpen);
    EXPECT_EQ(seen.openDialogs, 0u);
    EXPECT_TRUE(seen.formAlive);
    EXPECT_TRUE(seen.progressAlive);
    EXPECT_FALSE(seen.mergerShown);
    // The copy itself went through, and the main window takes input again.
    EXPECT_EQ(ReadAll(out), data);
    EXPECT_TRUE(IsWindowEnabled(Form1->Handle()));
    EXPECT_TRUE(Form1->CanOpenNow());
    EXPECT_EQ(View()->Engine().Analysed(), false);
}

// In German, a 192-byte recording behind 100 bytes of garbage: the question
// in the dialog's two lines, answered Yes, gives packet 0 at the garbage's
// end (the offset box holds it, its maximum is one packet less a byte) and
// the copy starts there with whole packets; answered No, the copy starts at
// byte 0.
TEST_F(ToolWindowsTest, RawCutterAsksInGermanAboutGarbageAndCutsFromWhereTheUserSaid) {
    const Bytes packets = ReadAll(Fixture("m2ts_192.m2ts"));
    ASSERT_EQ(packets.size() % 192, 0u);
    Bytes data(100 + packets.size(), 0x33);
    std::copy(packets.begin(), packets.end(), data.begin() + 100);
    const std::string in = Temp("raw_garbage.m2ts");
    WriteAll(in, data);
    const std::string out = Temp("raw_garbage_cutted.m2ts");
    RegWriteString(kSettingsKey, "Language", "GER");
    for (bool yes : {true, false}) {
        SCOPED_TRACE(yes);
        // Each cut a new file: the answer below is for the garbage question
        // alone, not for replacing the last cut.
        if (FileExists(out)) RemoveFile(out);
        g_dialogs = Dialogs();
        g_dialogs.yes = yes;
        g_dialogs.openAnswer = in;
        g_dialogs.saveAnswer = out;
        std::string sizeText, fromText, toText;
        int offset = -1, offsetMax = -1;
        WhenShown([] { return RawCutterForm->Visible(); }, [&] {
            TRawCutterForm& f = *RawCutterForm;
            sizeText = f.sLabelFX1->Caption();
            fromText = f.sEdit1->Text();
            toText = f.sEdit2->Text();
            offset = f.sSpinEdit1->Value();
            offsetMax = f.sSpinEdit1->MaxValue();
            Press(f.sBitBtn1);
        });
        MenuCommand(Form1->RawCutter1);
        const std::vector<std::string> asked = Messages();
        ASSERT_FALSE(asked.empty());
        EXPECT_EQ(asked.front(), "Datei beginnt nicht mir g\xC3\xBCltigen TS-Daten!\r"
                                 "Datei auf TS-Packetgr\xC3\xB6\xC3\x9F" "e zurechtschneiden?");
        EXPECT_EQ(sizeText, "Paket size: 192 Byte");
        EXPECT_EQ(offsetMax, 191);
        EXPECT_EQ(fromText, "0");
        const size_t start = yes ? 100 : 0;
        EXPECT_EQ(offset, static_cast<int>(start));
        const size_t count = (data.size() - start) / 192;
        EXPECT_EQ(toText, IntToStr(static_cast<int64_t>(count) - 1));
        EXPECT_EQ(ReadAll(out), Slice(data, start, start + count * 192));
    }
    RegWriteString(kSettingsKey, "Language", "ENG");
}

// The receiver index handed to the merger can no longer be read when its
// start timer comes (another program holds it): the user is told why no
// parts arrived, and OK and the add button come back.
TEST_F(ToolWindowsTest, AReceiverIndexThatCannotBeReadLeavesTheMergerUsable) {
    const std::string dir = TempFolder() + "tarnwick_dvr_held\\";
    CreateDirectoryW(Utf8ToWide(dir).c_str(), nullptr);
    files.push_back(dir + DvrPartFileName(0));
    WriteAll(files.back(), Slice(ReadAll(Fixture("h264_ac3.ts")), 0, 188 * 100));
    Bytes info(kDvrInfoSize, 0);
    info[1] = 'X';
    const std::string index = dir + "info.dvr";
    files.push_back(index);
    WriteAll(index, info);
    ASSERT_EQ(ReadDvrInfoTitle(index), "X");
    // Held by another program that shares it with nobody.
    const HANDLE holder = CreateFileW(Utf8ToWide(index).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_THROW(ReadDvrInfoTitle(index), Exception);

    Form1->PrepareFileMerger();
    FileMergerForm->RecordingIndexPath = index;
    bool okBack = false, addBack = false;
    int listed = -1;
    WhenShown([] { return FileMergerForm->Visible() && !FileMergerForm->AutoStartFileTimer->Enabled(); }, [&] {
        okBack = FileMergerForm->sBitBtn1->Enabled();
        addBack = FileMergerForm->sBitBtn3->Enabled();
        listed = FileMergerForm->sListBox1->Items().Count();
        FileMergerForm->SetModalResult(mrCancel);
    });
    FileMergerForm->ShowModal();
    delete FileMergerForm;
    EXPECT_TRUE(okBack);
    EXPECT_TRUE(addBack);
    EXPECT_EQ(listed, 0);
    EXPECT_TRUE(AnyMessageHas("info.dvr")) << Joined(Messages());
    CloseHandle(holder);
    RemoveDirectoryW(Utf8ToWide(dir).c_str());
}

namespace {

// A key struck on the keyboard (with a modifier held, if any), as the
// system delivers it.
void Strike(WORD vk, WORD modifier = 0) {
    std::vector<INPUT> in;
    auto key = [&](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.wScan = static_cast<WORD>(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (modifier) key(modifier, false);
    key(vk, false);
    key(vk, true);
    if (modifier) key(modifier, true);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

bool PumpUntil(const std::function<bool()>& done, ULONGLONG ms = 10000) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() > until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Application->ProcessMessages();
    }
    return true;
}

} // namespace

// The patch dialog has no close button: Escape is its way out, as its
// Cancel button. While a PID is being typed into the grid, Escape drops
// only that typing and the dialog stays.
TEST_F(ToolWindowsTest, EscapeLeavesThePatchDialogButFirstATypedPid) {
    TPatchForm patch(nullptr);
    patch.SetPatchFormTexts(false);
    patch.ValueListEditor1->Strings().Add("$0100=$0100");
    patch.sPageControl1->SetActivePage(patch.sTabSheet1);
    bool editEnded = false, stayed = false;
    WhenShown([&] { return IsWindowVisible(patch.Handle()) && GetForegroundWindow() == patch.Handle(); }, [&] {
        TValueListEditor* grid = patch.ValueListEditor1;
        grid->SetFocus();
        grid->EditValue();
        if (!PumpUntil([&] { return grid->Editing() && GetFocus() == grid->InplaceEditor()->Handle(); })) return;
        Strike(VK_ESCAPE);
        editEnded = PumpUntil([&] { return !grid->Editing(); });
        stayed = patch.ModalResult() == mrNone;
        Strike(VK_ESCAPE);
    });
    test::ModalDeadline deadline("The patch dialog", 30000);
    EXPECT_EQ(patch.ShowModal(), mrCancel);
    EXPECT_TRUE(editEnded);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(patch.ValueListEditor1->Cells(1, 1), "$0100");
}

// Alt and a letter of the main window's menu bar open that menu.
TEST_F(ToolWindowsTest, AltAndALetterOpenTheMainWindowsMenu) {
    SetForegroundWindow(Form1->Handle());
    ASSERT_TRUE(PumpUntil([] { return GetForegroundWindow() == Form1->Handle(); }));
    int opened = 0;
    const TNotifyEvent old = Form1->File1->OnClick;
    Form1->File1->OnClick = [&](TObject*) {
        ++opened;
        EndMenu();
    };
    Strike('F', VK_MENU);
    EXPECT_TRUE(PumpUntil([&] { return opened == 1; }));
    EndMenu();
    Form1->File1->OnClick = old;
}

// Preferences by keyboard alone: Tab reaches the language list, the check
// boxes and the page tabs, Ctrl+Tab turns the pages, Escape cancels.
TEST_F(ToolWindowsTest, PreferencesAreReachedByTabAndLeftByEscape) {
    std::vector<TWinControl*> reached;
    int pagesSeen = 0;
    bool closedByEscape = false;
    WhenShown([] { return SettingsForm && IsWindowVisible(SettingsForm->Handle()) &&
                          GetForegroundWindow() == SettingsForm->Handle() && GetFocus(); },
              [&] {
                  TSettingsForm* f = SettingsForm;
                  f->sPageControl1->SetActivePage(f->sTabSheet1);
                  for (int i = 0; i < 12; ++i) {
                      const HWND before = GetFocus();
                      Strike(VK_TAB);
                      PumpUntil([&] { return GetFocus() != before; }, 2000);
                      reached.push_back(TWinControl::FromHandle(GetFocus()));
                  }
                  TTabSheet* const first = f->sPageControl1->ActivePage();
                  f->sPageControl1->SetFocus();
                  Strike(VK_TAB, VK_CONTROL);
                  if (PumpUntil([&] { return f->sPageControl1->ActivePage() != first; })) ++pagesSeen;
                  Strike(VK_ESCAPE);
                  closedByEscape = PumpUntil([&] { return !f->Modal() || f->ModalResult() == mrCancel; });
              });
    test::ModalDeadline deadline("Preferences", 30000);
    Form1->Preferences1->Click();
    EXPECT_TRUE(closedByEscape);
    EXPECT_EQ(pagesSeen, 1);
    auto seen = [&](const char* name) {
        for (TWinControl* c : reached)
            if (c && c->Name() == name) return true;
        return false;
    };
    for (const char* name : {"sPageControl1", "sComboBox1", "sCheckBox1", "sCheckBox5", "sBitBtn1", "sBitBtn2"})
        EXPECT_TRUE(seen(name)) << name;
}

// The main window's step buttons sit in group boxes and panels; once they
// are enabled, Tab reaches each of them.
TEST_F(ToolWindowsTest, TabReachesTheMainWindowsStepButtons) {
    std::vector<TBitBtn*> buttons{Form1->sBitBtn1, Form1->sBitBtn2, Form1->sBitBtn3, Form1->sBitBtn4};
    std::vector<bool> enabled;
    for (TBitBtn* b : buttons) {
        enabled.push_back(b->Enabled());
        b->SetEnabled(true);
    }
    SetForegroundWindow(Form1->Handle());
    ASSERT_TRUE(PumpUntil([] { return GetForegroundWindow() == Form1->Handle(); }));
    std::vector<TWinControl*> reached;
    for (int i = 0; i < 40 && reached.size() < 40; ++i) {
        const HWND before = GetFocus();
        Strike(VK_TAB);
        PumpUntil([&] { return GetFocus() != before; }, 2000);
        reached.push_back(TWinControl::FromHandle(GetFocus()));
    }
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_NE(std::find(reached.begin(), reached.end(), buttons[i]), reached.end()) << buttons[i]->Caption();
        buttons[i]->SetEnabled(enabled[i]);
    }
}
