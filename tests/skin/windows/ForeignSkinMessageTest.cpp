// The skin's message has a fixed number, so any process on the desktop can
// send it. One that carries a pointer of another process is refused, sent or
// posted, and the program goes on; the same question asked from the
// program's own thread is still answered.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"

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
    tw::TFrame* panel = nullptr;  // the frame the frame adapter takes over
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

} // namespace
} // namespace skin

#endif
