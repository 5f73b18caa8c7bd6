// Starts the program's windows as a user meets them, with a real recording
// opened and analysed, and saves a picture of each into the folder given as
// the first argument (scripts/screenshots). The pictures are for people to
// look at, so a window that does not show is reported and the rest go on.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/AboutForm.h"
#include "app/AnalysisView.h"
#include "app/ChangesForm.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "shared/Settings.h"
#include "app/SettingsForm.h"
#include "app/Startup.h"
#include "app/UpdateForm.h"
#include "analysis/MainTexts.h"
#include "analysis/SettingsStore.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "tests/support/FileBytes.h"
#include "resources/skin/Canvas.h"
#include "tools/FileMergerForm.h"
#include "tools/PatchForm.h"
#include "tools/RawCutterForm.h"
#include "tools/CutEditorForm.h"
#include "tools/OrvalinPlayer.h"
#include "tests/support/SavedSettings.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Guards.h"

using namespace tw;

namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadAll;
using test::WriteAll;

std::string g_outFolder;
// "ENG" (the README's pictures) or "GER", from the command line.
std::string g_language = "ENG";
std::vector<std::string> g_missing; // windows that never showed

// A Unix path of the build is reachable from Wine through drive Z:.
std::string SourcePath(const std::string& rel) { return std::string("Z:") + TW_SOURCE_DIR + "/" + rel; }

// A folder of the pictures' own under the temporary folder, so that the open
// and save dialogs show the recordings of the pictures and nothing that other
// programs (or the tests) left there.
std::string TempFolder() {
    wchar_t buf[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, buf);
    std::wstring dir = std::wstring(buf) + L"Tarnwick Screenshots\\";
    CreateDirectoryW(dir.c_str(), nullptr);
    return WideToUtf8(dir.c_str());
}

// Lets queued painting and the X server catch up with what was shown.
void Settle(HWND h) {
    RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    for (int i = 0; i < 10; ++i) {
        Application->ProcessMessages();
        Sleep(15);
    }
    GdiFlush();
}

// Copies a rectangle of the screen (what the user sees there, frame and
// all) into <name>.png.
void SaveScreenRect(const std::string& name, RECT r) {
    // The screen DC copies nothing at all when the rectangle reaches past
    // the screen: only the part on it.
    const RECT screenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const RECT whole = r;
    IntersectRect(&r, &r, &screenRect);
    if (!EqualRect(&r, &whole))
        std::printf("%s reaches past the screen (%ld,%ld)-(%ld,%ld): only its part on the screen is kept\n",
                    name.c_str(), whole.left, whole.top, whole.right, whole.bottom);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) {
        g_missing.push_back(name + " (empty rectangle)");
        return;
    }
    TBitmap shot(w, h, pf24bit);
    {
        TWindowDC screen(nullptr);
        BitBlt(shot.Canvas().Handle(), 0, 0, w, h, screen.Handle(), r.left, r.top, SRCCOPY);
    }
    GdiFlush(); // the copy reaches the bitmap's bits
    skingen::Canvas picture(w, h);
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = shot.ScanLine(y);
        for (int x = 0; x < w; ++x) picture.Set(x, y, {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
    }
    WriteAll(g_outFolder + "\\" + name + ".png", picture.Png(false));
    std::printf("saved %s.png (%dx%d)\n", name.c_str(), w, h);
}

void Capture(const std::string& name, HWND h) {
    Settle(h);
    RECT r;
    GetWindowRect(h, &r);
    SaveScreenRect(name, r);
}

void Capture(const std::string& name, TWinControl* c) {
    if (!c || !c->HandleAllocated() || !IsWindowVisible(c->HandleIfAllocated())) {
        g_missing.push_back(name);
        return;
    }
    Capture(name, c->HandleIfAllocated());
}

// Watches for a window that a modal loop (or a long pass) brings up: a
// timer message reaches those loops as the user's input would. Once `shown`
// answers the window, `act` runs once from inside the loop.
struct Watch {
    std::function<TCustomForm*()> shown;
    std::function<void(TCustomForm&)> act;
    int waitTicks = 5; // a few ticks after it showed, so the display has mapped it
    int seen = 0;
};
std::map<UINT_PTR, Watch> g_watches;

void CALLBACK WatchTimer(HWND, UINT, UINT_PTR id, DWORD) {
    auto it = g_watches.find(id);
    if (it == g_watches.end()) return;
    TCustomForm* f = it->second.shown();
    if (!f || !f->Visible() || !f->HandleAllocated()) return;
    if (++it->second.seen < it->second.waitTicks) return;
    KillTimer(nullptr, id);
    auto act = std::move(it->second.act);
    g_watches.erase(it);
    // No exception may unwind through the system's timer dispatch.
    try {
        act(*f);
    } catch (const std::exception& e) {
        // Closed all the same, or the run would wait on it for ever.
        g_missing.push_back(f->Name() + " (" + e.what() + ")");
        f->SetModalResult(mrCancel);
    }
}

UINT_PTR StartWatch(std::function<TCustomForm*()> shown, std::function<void(TCustomForm&)> act, int waitTicks) {
    const UINT_PTR id = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, WatchTimer);
    g_watches[id] = Watch{std::move(shown), std::move(act), waitTicks};
    return id;
}

// Runs `open`, which shows a window and returns when it is gone; `act`
// photographs it and closes it. A window that never showed is listed. A
// short pass's progress window is taken sooner (`waitTicks`).
void WhileShown(const std::string& name, std::function<TCustomForm*()> shown, std::function<void(TCustomForm&)> act,
                const std::function<void()>& open, int waitTicks = 5) {
    bool done = false;
    const UINT_PTR id = StartWatch(
        std::move(shown),
        [&, act = std::move(act)](TCustomForm& f) {
            done = true;
            act(f);
        },
        waitTicks);
    open();
    if (g_watches.erase(id)) KillTimer(nullptr, id);
    if (!done) g_missing.push_back(name);
}

// The common case: one picture, then the window closes as with Cancel.
void ShootModal(const std::string& name, std::function<TCustomForm*()> shown, const std::function<void()>& open) {
    WhileShown(
        name, std::move(shown),
        [name](TCustomForm& f) {
            Capture(name, &f);
            f.SetModalResult(mrCancel);
        },
        open);
}

void Press(TWinControl* button) { SendMessageW(button->Handle(), BM_CLICK, 0, 0); }
void MenuCommand(TMenuItem* item) { SendMessageW(Form1->Handle(), WM_COMMAND, MAKEWPARAM(item->Command(), 0), 0); }

TCustomForm* ActiveFormNamed(const std::string& name) {
    TCustomForm* f = Screen->ActiveForm();
    return f && f->Name() == name ? f : nullptr;
}

// Answers of the file dialogs and questions (a real dialog of the system
// would show no data of ours); a message box is shown for real when asked.
struct Answers {
    std::string open, save;
    bool realMessages = false;
    bool realFileDialogs = false;
};
Answers g_answers;

std::optional<int> AnswerDialog(TDialogRequest& rq) {
    switch (rq.Kind) {
    case dkOpenFile:
    case dkSaveFile: {
        if (g_answers.realFileDialogs) return std::nullopt;
        const std::string& a = rq.Kind == dkOpenFile ? g_answers.open : g_answers.save;
        if (a.empty()) return mrCancel;
        *rq.Value = a;
        return mrOk;
    }
    case dkInputQuery: return mrCancel;
    default:
        if (g_answers.realMessages) return std::nullopt;
        std::printf("answered: %s\n", rq.Text.c_str());
        return rq.Buttons & mbYes ? mrYes : mrOk;
    }
}

TAnalysisView* View() { return dynamic_cast<TAnalysisView*>(Form1->View()); }

// ---------------------------------------------------------------- the windows

void ShootMainAndLog() {
    // The log window sits right under the main window: one picture of both.
    Settle(Form1->Handle());
    RECT main, log;
    GetWindowRect(Form1->Handle(), &main);
    if (Form3 && Form3->Visible()) {
        Capture("log", Form3);
        GetWindowRect(Form3->Handle(), &log);
        UnionRect(&main, &main, &log);
    }
    SaveScreenRect("main", main);
}

void ShootHelpWindows() {
    ShootModal("about", [] { return Form5; }, [] { Form1->AboutClick(nullptr); });
    Form1->ProgramFolder = SourcePath("tests/screens/");
    ShootModal("changes", [] { return ChangesForm; }, [] { Form1->Changes1Click(nullptr); });
}

void ShootPreferences() {
    WhileShown(
        "preferences", [] { return SettingsForm; },
        [](TCustomForm& f) {
            const char* const pages[] = {"preferences-general", "preferences-preview", "preferences-correction"};
            for (int i = 0; i < 3; ++i) {
                SettingsForm->sPageControl1->SetActivePageIndex(i);
                Capture(pages[i], &f);
            }
            f.SetModalResult(mrCancel);
        },
        [] { MenuCommand(Form1->Preferences1); });
}

void ShootUpdateNotice() {
    SettingsBackend().Remove(kSettingsKey, "LastUpdateMessage_Version");
    SettingsBackend().Remove(kSettingsKey, "LastUpdateMessage_Date");
    Form1->ReleaseText->SetText("1.10\r\n"
                                "\r\n"
                                "Version 1.10\r\n"
                                "- Faster analysis of recordings larger than 4 GB\r\n"
                                "- The raw cutter keeps the packet size of M2TS recordings\r\n"
                                "- Audio streams with a changed language are shown at once\r\n"
                                "\r\n"
                                "Version 1.05\r\n"
                                "- Merging of receiver recordings in cut mode\r\n");
    ShootModal("update", [] { return UpdateForm; }, [] { Form1->ThreadedTimer1Timer(nullptr); });
    Form1->ReleaseText->Clear();
}

// The fixture recordings pass in a blink; a progress window is only seen
// on a longer one: the recording over and over (the seams are what a
// damaged recording holds too).
Bytes Repeated(const Bytes& data, int times) {
    Bytes out;
    out.reserve(data.size() * static_cast<size_t>(times));
    for (int i = 0; i < times; ++i) out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The watch for the question asked when the window is closed mid-pass.
UINT_PTR g_passQuestionWatch = 0;

// START writes the cleaned copy; the progress window is photographed while
// the pass runs.
void ShootProgress(const std::string& recording) {
    const std::string longer = ChangeFileExt(recording, "_long.ts");
    WriteAll(longer, Repeated(ReadAll(recording), 400));
    Form1->OpenRecording(longer);
    g_answers.save = ChangeFileExt(longer, "_fixed.ts");
    WhileShown(
        "progress",
        [] { return Form2 && Form2->sBitBtn1->Visible() ? Form2 : nullptr; },
        [](TCustomForm& f) {
            // What the window's half-second tick would show by now.
            Form1->UpdateLabelTimerTimer(nullptr);
            Capture("progress", &f);
            // Closing the main window now asks whether to abort: the box
            // over the running pass, answered No (the pass goes on).
            g_answers.realMessages = true;
            g_passQuestionWatch = StartWatch(
                [] {
                    TCustomForm* a = Screen->ActiveForm();
                    return a && a != Form1 && a != Form2 && a != Form3 ? a : nullptr;
                },
                [](TCustomForm& box) {
                    g_answers.realMessages = false;
                    Settle(box.Handle());
                    RECT r, part;
                    GetWindowRect(Form1->Handle(), &r);
                    for (HWND h : {Form2->Handle(), box.Handle()}) {
                        GetWindowRect(h, &part);
                        UnionRect(&r, &r, &part);
                    }
                    SaveScreenRect("message-pass", r);
                    box.SetModalResult(mrNo);
                },
                5);
            PostMessageW(Form1->Handle(), WM_CLOSE, 0, 0);
        },
        [] { Press(Form1->sBitBtn1); });
    g_answers.save.clear();
    // A question that never showed must not take a later window for it.
    if (g_watches.erase(g_passQuestionWatch)) {
        KillTimer(nullptr, g_passQuestionWatch);
        g_missing.push_back("message-pass");
    }
    g_passQuestionWatch = 0;
    g_answers.realMessages = false;
    for (const std::string& name : {longer, ChangeFileExt(longer, "_fixed.ts"), ChangeFileExt(longer, "_fixed.log")})
        if (FileExists(name)) RemoveFile(name);
}

// The cut editor. Wine's DirectShow plays no transport stream, so the
// preview is pointed at the program-stream copy of a fixture to show a picture.
void ShootCutEditor() {
    WhileShown(
        "cut", [] { return static_cast<TCustomForm*>(TimeLineForm); },
        [](TCustomForm& f) {
            auto& cut = dynamic_cast<TTimeLineForm&>(f);
            TOrvalinPlayer& p = *cut.DirectShowPlayer1;
            const uint64_t end = GetTickCount64Ms() + 10000;
            while (!p.IsMediaOpen() && GetTickCount64Ms() < end) Settle(f.Handle());
            p.ClosePlayer();
            p.FileName = SourcePath("tests/data/mpeg2_mp2_ps.mpg");
            p.Play();
            const uint64_t end2 = GetTickCount64Ms() + 10000;
            while ((!p.IsMediaOpen() || p.MovieTime() < 400) && GetTickCount64Ms() < end2) Settle(f.Handle());
            p.Pause();
            cut.sMaskEdit2->SetText("00:00:01.000");
            // The paused picture reaches the screen a moment after the
            // renderer drew it.
            for (int i = 0; i < 10; ++i) Settle(f.Handle());
            Capture("cut", &f);
            f.SetModalResult(mrCancel);
        },
        [] { Form1->sBitBtn4Click(); });
}

void ShootTools(const std::string& recording) {
    ShootModal("patch-warning", [] { return ActiveFormNamed("PatchForm"); }, [] { Press(Form1->sBitBtn3); });
    WhileShown(
        "patch", [] { return ActiveFormNamed("PatchForm"); },
        [](TCustomForm& f) {
            auto& patch = dynamic_cast<TPatchForm&>(f);
            patch.sPageControl1->SetActivePage(patch.sTabSheet2);
            Capture("patch-sid", &f);
            patch.sPageControl1->SetActivePage(patch.sTabSheet1);
            Capture("patch-pids", &f);
            f.SetModalResult(mrCancel);
        },
        [] { Press(Form1->sBitBtn3); });
    ShootModal("preserve", [] { return TrashForm; }, [] { Press(Form1->sBitBtn2); });
    ShootCutEditor();

    g_answers.open = recording;
    ShootModal("rawcutter", [] { return RawCutterForm; }, [] { MenuCommand(Form1->RawCutter1); });
    // The packet tools of the Tools menu, on the same recording (both
    // cancelled: nothing is written).
    for (const auto& [item, form, name] : {std::tuple{"SPacketFilter1", "FilterForm", "packetfilter"},
                                           std::tuple{"SPacketEditor1", "PacketEditorForm", "packeteditor"}}) {
        auto* menu = dynamic_cast<TMenuItem*>(Form1->FindComponent(item));
        if (!menu) {
            g_missing.push_back(name);
            continue;
        }
        ShootModal(name, [form = std::string(form)] { return ActiveFormNamed(form); }, [menu] { MenuCommand(menu); });
    }
    g_answers.open.clear();

    // Three parts of one (longer) recording, merged back into one.
    const Bytes all = Repeated(ReadAll(recording), 90);
    const size_t third = all.size() / 188 / 3 * 188;
    std::vector<std::string> parts;
    for (int i = 0; i < 3; ++i) {
        parts.push_back(ChangeFileExt(recording, "_part" + IntToStr(i + 1) + ".ts"));
        WriteAll(parts.back(), Bytes(all.begin() + static_cast<std::ptrdiff_t>(third * i),
                                     i == 2 ? all.end() : all.begin() + static_cast<std::ptrdiff_t>(third * (i + 1))));
    }
    const std::string merged = ChangeFileExt(recording, "_merged.ts");
    WhileShown(
        "merger", [] { return FileMergerForm; },
        [&](TCustomForm& f) {
            for (const std::string& p : parts) FileMergerForm->AddFile(p);
            FileMergerForm->sFilenameEdit1->SetText(merged);
            Capture("merger", &f);
            WhileShown(
                "merger-progress",
                [] {
                    TMergeProgressForm* p = FileMergerForm ? FileMergerForm->Progress : nullptr;
                    return p;
                },
                [](TCustomForm& p) { Capture("merger-progress", &p); }, [&] { Press(FileMergerForm->sBitBtn1); }, 2);
            f.SetModalResult(mrCancel);
        },
        [] { MenuCommand(Form1->FileMerger1); });
    for (const std::string& p : parts) RemoveFile(p);
    for (const std::string& name : {merged, ChangeFileExt(merged, ".log")})
        if (FileExists(name)) RemoveFile(name);
}

void ShootMessageBox() {
    g_answers.realMessages = true;
    WhileShown(
        "message", [] { return Screen->ActiveForm() != Form1 ? Screen->ActiveForm() : nullptr; },
        [](TCustomForm& f) {
            Capture("message", &f);
            f.SetModalResult(mrNo);
        },
        [] { MessageDlg(MainMessage(mmAbortQuestion), mtConfirmation, mbYesNo); });
    g_answers.realMessages = false;
}

// ---------------------------------------------------------------- menus and system dialogs

// Windows of this thread of a class ("#32768" the popup menus, "#32770" the
// system's dialogs), visible, top-level first.
std::vector<HWND> ThreadWindows(const wchar_t* cls) {
    struct Search {
        const wchar_t* cls;
        std::vector<HWND> found;
    } search{cls, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND wnd, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            wchar_t name[16] = {};
            GetClassNameW(wnd, name, 16);
            if (std::wcscmp(name, s->cls) == 0 && IsWindowVisible(wnd)) s->found.push_back(wnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The rectangle of the window with every open menu over it.
RECT WithOpenMenus(HWND wnd) {
    RECT r;
    GetWindowRect(wnd, &r);
    for (HWND m : ThreadWindows(L"#32768")) {
        RECT mr;
        GetWindowRect(m, &mr);
        UnionRect(&r, &r, &mr);
    }
    return r;
}

void Key(WORD vk, bool alt = false) {
    std::vector<INPUT> in;
    auto add = [&](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (alt) add(VK_MENU, false);
    add(vk, false);
    add(vk, true);
    if (alt) add(VK_MENU, true);
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

void MouseClick(POINT at, bool right) {
    SetCursorPos(at.x, at.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
}

// A menu opened by the user's input: once it shows, the steps run one by
// one from inside the menu's own loop (a few timer ticks apart, so that
// what a step opened is painted before the next), then the menu ends.
struct MenuSteps {
    std::vector<std::function<void()>> steps;
    size_t next = 0;
    int ticks = 0;
    bool seen = false;
};
MenuSteps* g_menuSteps = nullptr;

void CALLBACK MenuStepTimer(HWND, UINT, UINT_PTR id, DWORD) {
    MenuSteps* m = g_menuSteps;
    if (!m) {
        KillTimer(nullptr, id);
        return;
    }
    ++m->ticks;
    if (!m->seen) {
        if (!ThreadWindows(L"#32768").empty()) {
            m->seen = true;
            m->ticks = 0;
        } else if (m->ticks > 200) {
            KillTimer(nullptr, id);
            g_menuSteps = nullptr;
        }
        return;
    }
    // The skin takes a popup over after its first paint.
    if (m->ticks < 8) return;
    m->ticks = 0;
    if (m->next < m->steps.size()) {
        // No exception may unwind through the system's timer dispatch.
        try {
            m->steps[m->next++]();
        } catch (const std::exception& e) {
            g_missing.push_back(std::string("menu step (") + e.what() + ")");
        }
        return;
    }
    KillTimer(nullptr, id);
    g_menuSteps = nullptr;
    EndMenu();
}

// `open` gives the input that opens the menu; the last step takes the
// picture. A menu that never opened is listed.
void ShootMenu(const std::string& name, const std::function<void()>& open, std::vector<std::function<void()>> steps) {
    SetForegroundWindow(Form1->Handle());
    Settle(Form1->Handle());
    MenuSteps m;
    m.steps = std::move(steps);
    g_menuSteps = &m;
    SetTimer(nullptr, 0, 50, MenuStepTimer);
    open();
    for (int i = 0; i < 600 && (g_menuSteps || !ThreadWindows(L"#32768").empty()); ++i) {
        Application->ProcessMessages();
        Sleep(10);
    }
    if (g_menuSteps) {
        g_menuSteps = nullptr;
        EndMenu();
    }
    if (!m.seen) g_missing.push_back(name);
    // The main window repaints where the menu was.
    Settle(Form1->Handle());
}

void ShootOpenMenus() {
    auto shoot = [](const std::string& name) {
        return [name] {
            GdiFlush();
            SaveScreenRect(name, WithOpenMenus(Form1->Handle()));
        };
    };
    HMENU bar = GetMenu(Form1->Handle());
    auto clickOnBar = [bar](TMenuItem* item) {
        return [bar, item] {
            for (int i = 0; i < GetMenuItemCount(bar); ++i) {
                RECT r{};
                if (GetSubMenu(bar, i) == item->Handle() && GetMenuItemRect(Form1->Handle(), bar, static_cast<UINT>(i), &r)) {
                    MouseClick(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, false);
                    return;
                }
            }
        };
    };
    // File dropped from the menu line by a click.
    ShootMenu("menu-file", clickOnBar(Form1->File1), {shoot("menu-file")});
    // Settings, down to Priority and its submenu open.
    ShootMenu("menu-priority", clickOnBar(Form1->Settings1),
              {[] { Key(VK_DOWN); }, [] { Key(VK_DOWN); }, [] { Key(VK_RIGHT); }, shoot("menu-priority")});
    // Alt+Space: the skinned system menu under the title icon.
    ShootMenu("systemmenu", [] { Key(VK_SPACE, true); }, {shoot("systemmenu")});
    // A right click on the first audio panel: its language menu.
    if (TAnalysisView* v = View()) {
        TLabel* title = v->Panels().Audio[0].Title;
        const TPoint p = title->Parent()->ClientToScreen(TPoint(title->Left() + 8, title->Top() + title->Height() / 2));
        ShootMenu("menu-audio", [p] { MouseClick(POINT{p.X, p.Y}, true); }, {shoot("menu-audio")});
    }
}

// A system dialog (the file dialogs) while the program waits in it: its
// picture, then Cancel.
void ShootSystemDialog(const std::string& name, const std::function<void()>& open) {
    static std::function<void()> probe;
    static int ticks = 0;
    static bool done = false;
    ticks = 0;
    done = false;
    UINT_PTR timer = 0;
    probe = [&] {
        const std::vector<HWND> dialogs = ThreadWindows(L"#32770");
        if (dialogs.empty()) return;
        // A few ticks more: the skin frames it when it is activated.
        if (++ticks < 15) return;
        KillTimer(nullptr, timer);
        done = true;
        HWND dlg = dialogs.front();
        RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GdiFlush();
        Sleep(100);
        RECT r;
        GetWindowRect(dlg, &r);
        SaveScreenRect(name, r);
        PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    };
    timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        // No exception may unwind through the system's timer dispatch.
        try {
            if (probe) probe();
        } catch (const std::exception&) {
        }
    });
    g_answers.realFileDialogs = true;
    open();
    g_answers.realFileDialogs = false;
    KillTimer(nullptr, timer);
    probe = nullptr;
    if (!done) g_missing.push_back(name);
}

void ShootFileDialogs() {
    // START asks where the cleaned copy goes; cancelled, nothing is written.
    ShootSystemDialog("save", [] { Press(Form1->sBitBtn1); });
    // File > Open (it closes the recording first: the last picture).
    ShootSystemDialog("open", [] { MenuCommand(Form1->Open2); });
}

int Run() {
    // Put back at the end: the prefix is shared with the window tests.
    test::SavedSettings restore({"Language", "ShowLogfileWindow", "UpdateCheck", "PlaySound", "NoTeletext",
                                 "LastUpdateMessage_Version", "LastUpdateMessage_Date"});
    RegWriteString(kSettingsKey, "Language", g_language);
    RegWriteBool(kSettingsKey, "ShowLogfileWindow", true);
    for (const char* n : {"UpdateCheck", "PlaySound", "NoTeletext"}) RegWriteBool(kSettingsKey, n, false);
    SetDialogHook(AnswerDialog);
    SetProgramParameters({});
    SetMainWindowViewFactory(MakeAnalysisView);
    if (RunStartup(false) != 0 || !Form1) return 2;
    Form1->Show();
    // Top left, so the log window below it fits on the screen too.
    Form1->SetBounds(0, 0, Form1->Width(), Form1->Height());

    // Before any recording: the logo in place of the stream panels. The
    // first windows of the run take a moment to reach the display.
    for (int i = 0; i < 20; ++i) Settle(Form1->Handle());
    Capture("start", Form1);

    const std::string recording = TempFolder() + "Tarnwick_Recording.ts";
    WriteAll(recording, ReadAll(SourcePath("tests/data/h264_ac3.ts")));
    Form1->OpenRecording(recording);
    if (!View() || !View()->Engine().Analysed()) {
        std::printf("the analysis did not end: %s\n", Form3 ? Form3->sMemo1->Lines().Text().c_str() : "");
        return 2;
    }
    ShootMainAndLog();
    ShootHelpWindows();
    ShootPreferences();
    ShootUpdateNotice();
    ShootMessageBox();
    ShootProgress(recording);
    // Back to the recording of the main window's picture for the tools.
    Form1->OpenRecording(recording);
    ShootTools(recording);
    Form1->OpenRecording(recording);
    ShootOpenMenus();
    ShootFileDialogs();

    SetDialogHook(nullptr);
    SetMainWindowViewFactory(nullptr);
    for (const std::string& name :
         {recording, ChangeFileExt(recording, "_fixed.ts"), ChangeFileExt(recording, "_fixed.log")})
        if (FileExists(name)) RemoveFile(name);
    RemoveDirectoryW(Utf8ToWide(TempFolder()).c_str());
    for (const std::string& m : g_missing) std::printf("not shown: %s\n", m.c_str());
    return g_missing.empty() ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: screenshots <output folder> [GER]\n");
        return 2;
    }
    g_outFolder = WideToUtf8(argv[1]);
    if (argc > 2 && WideToUtf8(argv[2]) == "GER") g_language = "GER";
    InstallWindowsSettings();
    Application->Initialize();
    try {
        const int rc = Run();
        std::fflush(stdout);
        Application->DestroyForms();
        return rc;
    } catch (const std::exception& e) {
        std::printf("failed: %s\n", e.what());
        return 2;
    }
}
