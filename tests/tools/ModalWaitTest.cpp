// The window tests' own waits: a window that never comes, a modal form
// nobody drives and a message box nobody answers each end with a failure
// of the test that waited, never with a program waiting for ever.
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>

#include "tests/tools/ModalAction.h"
#include "ui/Application.h"
#include "ui/Forms.h"

using namespace tw;

namespace {

std::unique_ptr<TForm> SmallForm() {
    auto f = std::make_unique<TForm>(nullptr);
    f->SetBounds(100, 100, 200, 120);
    return f;
}

// Lets the thread's messages and timers run for a while.
void Pump(DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    while (GetTickCount64() < until) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Application->ProcessMessages();
    }
}

} // namespace

TEST(ModalWait, AWindowThatNeverGetsReadyFailsTheTestAndEndsItsLoop) {
    auto f = SmallForm();
    bool ran = false;
    TModalResult r = mrNone;
    EXPECT_NONFATAL_FAILURE(
        {
            test::ModalAction::Arm([] { return false; }, [&] { ran = true; }, "The window that never gets ready", 300);
            r = f->ShowModal();
        },
        "The window that never gets ready did not come within 0 s");
    EXPECT_EQ(r, mrCancel);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(test::ModalAction::Pending());
}

TEST(ModalWait, TheActionRunsOnceFromTheModalLoopWhenTheWindowIsUp) {
    auto f = SmallForm();
    TForm* form = f.get();
    int runs = 0;
    // The condition turns true only some polls after the window shows, as
    // a window does on a busy machine.
    int polls = 0;
    test::ModalAction::Arm([&] { return form->Visible() && ++polls > 5; },
                           [&] {
                               ++runs;
                               form->SetModalResult(mrOk);
                           },
                           "The small form");
    EXPECT_EQ(f->ShowModal(), mrOk);
    Pump(100);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(test::ModalAction::Pending());
}

TEST(ModalWait, AnActionLeftArmedIsDroppedAndNeverRunsLater) {
    bool ran = false;
    test::ModalAction::Arm([] { return true; }, [&] { ran = true; }, "A window of an ended test");
    // The test ends before any loop took the timer: its action must not run
    // inside the next test, whose loops would call it with this one's
    // locals gone.
    EXPECT_TRUE(test::ModalAction::Disarm());
    Pump(120);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(test::ModalAction::Disarm());
}

TEST(ModalWait, AFormNobodyClosesIsCancelledAtTheCommandsDeadline) {
    auto f = SmallForm();
    TModalResult r = mrNone;
    EXPECT_NONFATAL_FAILURE(
        {
            const test::ModalDeadline deadline("The undriven form", 300);
            r = f->ShowModal();
        },
        "The undriven form was still open after 0 s");
    EXPECT_EQ(r, mrCancel);
}

TEST(ModalWait, AMessageBoxNobodyAnswersIsClosedAtTheDeadlineAndNamed) {
    int r = 0;
    EXPECT_NONFATAL_FAILURE(
        {
            const test::ModalDeadline deadline("The box", 300);
            r = MessageBoxW(nullptr, L"Nobody answers this", L"Tarnwick", MB_OK | MB_TASKMODAL);
        },
        "[box: Nobody answers this]");
    EXPECT_NE(r, 0);
}

TEST(ModalWait, NestedDeadlinesEachKeepTheirOwn) {
    auto outer = SmallForm();
    auto inner = SmallForm();
    TModalResult innerResult = mrNone, outerResult = mrNone;
    TForm* in = inner.get();
    EXPECT_NONFATAL_FAILURE(
        {
            const test::ModalDeadline deadline("The outer form", 600);
            outer->OnShow = [&](TObject*) {
                const test::ModalDeadline innerDeadline("The inner form", 30000);
                // The inner form is closed by its driver well in time.
                test::ModalAction::Arm([in] { return in->Visible(); }, [in] { in->SetModalResult(mrOk); },
                                       "The inner form");
                innerResult = in->ShowModal();
            };
            outerResult = outer->ShowModal();
        },
        "The outer form was still open after 0 s");
    EXPECT_EQ(innerResult, mrOk);
    EXPECT_EQ(outerResult, mrCancel);
}
