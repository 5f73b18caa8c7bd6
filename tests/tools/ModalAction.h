// Runs a test's action from inside a modal loop once the window it waits for
// is up, as the user's input would reach it: a thread timer polls the
// condition. The wait has a deadline: a window that never comes (or never
// gets ready) fails the test and ends the open modal loops instead of leaving
// them waiting for ever; an action still armed when the test ends is dropped,
// so it cannot run inside a later test with this one's locals gone.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "ui/Forms.h"

namespace tw::test {

class ModalAction {
public:
    // Plenty for a window to show on a busy machine; a window test that
    // needs longer is hung.
    static constexpr ULONGLONG kDefaultWaitMs = 30000;

    static void Arm(std::function<bool()> ready, std::function<void()> act, std::string what,
                    ULONGLONG waitMs = kDefaultWaitMs) {
        Disarm();
        S().ready = std::move(ready);
        S().act = std::move(act);
        S().what = std::move(what);
        S().deadline = GetTickCount64() + waitMs;
        S().waitMs = waitMs;
        S().timer = SetTimer(nullptr, 0, 20, Tick);
    }

    // Drops a pending action; true if there was one (it never ran).
    static bool Disarm() {
        const bool pending = S().timer != 0;
        if (pending) KillTimer(nullptr, S().timer);
        S().timer = 0;
        S().ready = nullptr;
        S().act = nullptr;
        return pending;
    }

    static bool Pending() { return S().timer != 0; }
    static const std::string& What() { return S().what; }

    // Ends every modal loop that is open: the system's message boxes (an
    // exception shown to the user is one) and the program's modal forms.
    // Returns the texts of the boxes it closed.
    static std::string CancelModalForms() {
        std::string boxes;
        EnumThreadWindows(
            GetCurrentThreadId(),
            [](HWND h, LPARAM lp) -> BOOL {
                wchar_t cls[16] = {};
                GetClassNameW(h, cls, 15);
                if (std::wstring(cls) != L"#32770" || !IsWindowVisible(h)) return TRUE;
                wchar_t text[512] = {};
                GetDlgItemTextW(h, 0xFFFF, text, 511);
                char line[1200];
                std::snprintf(line, sizeof line, " [box: %ls]", text);
                *reinterpret_cast<std::string*>(lp) += line;
                PostMessageW(h, WM_COMMAND, IDOK, 0);
                PostMessageW(h, WM_COMMAND, IDCANCEL, 0);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&boxes));
        for (int i = Screen->FormCount() - 1; i >= 0; --i) {
            TCustomForm* f = Screen->Forms(i);
            if (f->Modal() && f->ModalResult() == mrNone) f->SetModalResult(mrCancel);
        }
        return boxes;
    }

private:
    struct State {
        std::function<bool()> ready;
        std::function<void()> act;
        std::string what;
        ULONGLONG deadline = 0, waitMs = 0;
        UINT_PTR timer = 0;
    };
    static State& S() {
        static State s;
        return s;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD) {
        if (id != S().timer) {
            // A timer of an earlier arming that Windows still delivers.
            KillTimer(nullptr, id);
            return;
        }
        if (S().ready && S().ready()) {
            auto act = std::move(S().act);
            Disarm();
            if (act) act();
            return;
        }
        if (GetTickCount64() < S().deadline) return;
        const std::string what = S().what;
        const ULONGLONG waited = S().waitMs;
        Disarm();
        const std::string boxes = CancelModalForms();
        ADD_FAILURE() << what << " did not come within " << waited / 1000 << " s" << boxes;
    }
};

// A deadline for a command that opens a window the test drives: should the
// driving go wrong (an assertion leaves a hook early, a message box nobody
// answers), the window is cancelled and the test fails instead of waiting.
class ModalDeadline {
public:
    explicit ModalDeadline(std::string what, UINT ms = 90000) : what_(std::move(what)), ms_(ms) {
        id_ = SetTimer(nullptr, 0, ms, Fire);
        Open()[id_] = this;
    }
    ~ModalDeadline() {
        KillTimer(nullptr, id_);
        Open().erase(id_);
    }
    ModalDeadline(const ModalDeadline&) = delete;
    ModalDeadline& operator=(const ModalDeadline&) = delete;

private:
    // The deadlines of the commands running now, nested ones included.
    static std::map<UINT_PTR, ModalDeadline*>& Open() {
        static std::map<UINT_PTR, ModalDeadline*> open;
        return open;
    }
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        auto it = Open().find(id);
        if (it == Open().end()) return;
        const ModalDeadline* d = it->second;
        Open().erase(it);
        const std::string boxes = ModalAction::CancelModalForms();
        ADD_FAILURE() << d->what_ << " was still open after " << d->ms_ / 1000 << " s" << boxes;
    }
    std::string what_;
    UINT ms_;
    UINT_PTR id_ = 0;
};

} // namespace tw::test
