// The problem window of the start-up: shows why the program cannot run, for
// two seconds, on top of everything; its timer ends the process should the
// start-up hang after it.
#pragma once

#include "analysis/ThdTimer.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

namespace tw {

class TExitForm : public TForm {
public:
    explicit TExitForm(TComponent* owner);
    TLabel* Label1;
    TThreadedTimer* EndTimer;
    // Puts the text into the label and fits the window around it.
    void SetProblemText(const std::string& text);
    void EndTimerTimer(TObject* sender);
};

// Created on first use with no owner; shows the text and sleeps 2,000 ms.
void ShowStartupProblem(const std::string& text);
// For tests: when set, ShowStartupProblem calls this instead of showing.
extern std::function<void(const std::string&)> StartupProblemHook;

} // namespace tw
