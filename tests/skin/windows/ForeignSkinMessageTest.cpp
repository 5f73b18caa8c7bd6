// The skin's message has a fixed number, so any process on the desktop can
// send it. One that carries a pointer of another process is refused, sent or
// posted, and the program goes on; the same question asked from the
// program's own thread is still answered.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"

#if defined(TW_SKIN_ARCHIVE) && defined(TW_FOREIGN_SENDER)

namespace skin {
namespace {

// Runs the second process and serves this thread's windows until it ends
// (its sent message is delivered while we wait). Its exit code, or -1.
int RunSender(const char* verb, HWND target, uint16_t command, uintptr_t lp)
{
    char line[512];
    std::snprintf(line, sizeof(line), "\"%s\" %s %llu %u %llu", TW_FOREIGN_SENDER, verb,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(target)), unsigned(command),
                  static_cast<unsigned long long>(lp));
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    CloseHandle(pi.hThread);
    const DWORD deadline = GetTickCount() + 20000;
    DWORD code = DWORD(-1);
    for (;;) {
        tw::Application->ProcessMessages();
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &code);
            break;
        }
        if (GetTickCount() > deadline) {
            TerminateProcess(pi.hProcess, 1);
            break;
        }
        MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 50, QS_ALLINPUT);
    }
    CloseHandle(pi.hProcess);
    // What it posted is dispatched now.
    tw::Application->ProcessMessages();
    return int(code);
}

class ForeignSkinMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = test::ShowForm("Foreign", 120, 100, 360, 260);
        ASSERT_TRUE(AskWindow(form->Handle(), AC_QUERYSKINNED));
        // The frame adapter takes over frames only.
        panel = new tw::TFrame(form);
        panel->SetParent(form);
        panel->SetBounds(10, 10, 150, 100);
        frameAdapter = new TsFrameAdapter(panel);
        label = CreateWindowW(L"STATIC", L"label", WS_CHILD | WS_VISIBLE, 180, 10, 100, 20, form->Handle(), nullptr,
                              nullptr, nullptr);
        adapter = std::make_unique<TacMainWnd>(label, &manager, "PANEL", "TacMainWnd");
        tw::Application->ProcessMessages();
    }
    void TearDown() override
    {
        adapter.reset();
        delete frameAdapter;   // before its frame
        delete form;
        test::EndFormSkinning();
    }
    // Our own thread's question about the background: answered.
    static bool AnswersOwnQuestion(HWND wnd)
    {
        TacBGInfo info{};
        info.BgType = btUnknown;
        info.Color = 0x0BADF00D;
        SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYBGINFO), reinterpret_cast<LPARAM>(&info));
        return info.BgType != btUnknown || info.Color != 0x0BADF00D;
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    tw::TFrame* panel = nullptr;
    TsFrameAdapter* frameAdapter = nullptr;
    HWND label = nullptr;
    std::unique_ptr<TacMainWnd> adapter;
};

TEST_F(ForeignSkinMessageTest, PointersFromAnotherProcessAreRefusedAndTheProgramGoesOn)
{
    // An address that is certainly not mapped in this process.
    constexpr uintptr_t bogus = 0x10;
    const HWND targets[] = {form->Handle(), panel->Handle(), label};
    for (HWND target : targets) {
        SCOPED_TRACE(testing::Message() << "window " << target);
        ASSERT_TRUE(AnswersOwnQuestion(target));
        for (uint16_t command : {uint16_t(AC_QUERYBGINFO), uint16_t(AC_CONTROLLOADED)}) {
            EXPECT_EQ(RunSender("send", target, command, bogus), 0);
            EXPECT_EQ(RunSender("post", target, command, bogus), 0);
        }
        // Still here, and still answering the program itself.
        EXPECT_TRUE(IsWindow(target));
        EXPECT_TRUE(AnswersOwnQuestion(target));
    }
    // Questions without a pointer are answered whoever asks.
    EXPECT_EQ(RunSender("send", form->Handle(), AC_QUERYSKINNED, 0), 1);
}


// A plain window whose procedure runs a question of the test when another
// thread sends it WM_APP + 7: the program's thread serving a message from
// elsewhere (a player thread's video window, a hand-over) and painting or
// asking meanwhile.
LRESULT CALLBACK AskingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_APP + 7) {
        if (auto* ask = reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(wnd, GWLP_USERDATA)))
            (*ask)();
        return 1;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

// Runs ask on this thread inside a message sent from a second thread.
bool AskInsideForeignSend(const std::function<void()>& ask)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = AskingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TwNestedSkinQuestion";
    RegisterClassW(&wc);
    HWND asker = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    if (!asker)
        return false;
    std::function<void()> call = ask;
    SetWindowLongPtrW(asker, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&call));
    std::atomic<bool> done{false};
    DWORD_PTR answer = 0;
    // The sender gives up by itself, so the thread always ends.
    std::thread sender([&] {
        SendMessageTimeoutW(asker, WM_APP + 7, 0, 0, SMTO_NORMAL, 15000, &answer);
        done = true;
    });
    while (!done) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT | QS_SENDMESSAGE);
        tw::Application->ProcessMessages();
    }
    sender.join();
    DestroyWindow(asker);
    return answer == 1;
}

bool SameAnswer(const TacBGInfo& a, const TacBGInfo& b)
{
    return a.BgType == b.BgType && a.Color == b.Color && a.Bmp.Bits == b.Bmp.Bits && a.OffsetX == b.OffsetX &&
           a.OffsetY == b.OffsetY;
}

TEST_F(ForeignSkinMessageTest, OwnQuestionsAreAnsweredWhileAMessageFromAnotherThreadIsServed)
{
    // What each window answers to the program itself, asked plainly.
    TacBGInfo formDirect{}, panelDirect{}, labelDirect{};
    GetBGInfoWnd(formDirect, form->Handle(), false);
    GetBGInfo(panelDirect, panel, false);
    GetBGInfoWnd(labelDirect, label, false);
    // The form answers with its picture, not with the colour that stands in
    // for an unanswered question; the label's adapter answers at all.
    ASSERT_EQ(formDirect.BgType, btCache);
    ASSERT_NE(labelDirect.BgType, btUnknown);

    TacBGInfo formNested{}, panelNested{}, labelNested{};
    ASSERT_TRUE(AskInsideForeignSend([&] {
        GetBGInfoWnd(formNested, form->Handle(), false);
        GetBGInfo(panelNested, panel, false);
        GetBGInfoWnd(labelNested, label, false);
    }));
    EXPECT_TRUE(SameAnswer(formNested, formDirect));
    EXPECT_TRUE(SameAnswer(panelNested, panelDirect));
    EXPECT_TRUE(SameAnswer(labelNested, labelDirect));
}

} // namespace
} // namespace skin

#endif
