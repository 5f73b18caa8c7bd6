#include "app/ExitForm.h"

#include "analysis/MainTexts.h"

namespace tw {

std::function<void(const std::string&)> StartupProblemHook;

namespace {
TExitForm* g_exitForm = nullptr;
}

TExitForm::TExitForm(TComponent* owner) : TForm(owner) {
    SetName("ExitForm");
    SetCaption(kProblemCaption);
    SetBorderStyle(bsToolWindow);
    SetFormStyle(fsStayOnTop);
    SetPosition(poScreenCenter);

    Label1 = new TLabel(this);
    Label1->SetName("Label1");
    Label1->SetParent(this);
    Label1->SetAlignment(taCenter);
    Label1->SetAutoSize(true);
    Label1->SetWordWrap(false);
    Label1->Font().SetHeight(-16);
    Label1->Font().SetColor(clRed);
    Label1->SetLeft(8);
    Label1->SetTop(8);

    EndTimer = new TThreadedTimer(this);
    EndTimer->SetName("EndTimer");
    EndTimer->SetInterval(4000);
    EndTimer->OnTimer = [this](TObject* s) { EndTimerTimer(s); };
    LoadTree();
    EndTimer->SetEnabled(true);
}

void TExitForm::SetProblemText(const std::string& text) {
    Label1->SetCaption(text);
    Label1->AdjustBounds();
    SetClientSize(Label1->Width() + 16, Label1->Height() + 16);
}

void TExitForm::EndTimerTimer(TObject*) { ExitProcess(0); }

void ShowStartupProblem(const std::string& text) {
    if (StartupProblemHook) {
        StartupProblemHook(text);
        return;
    }
    if (!g_exitForm) g_exitForm = new TExitForm(nullptr);
    g_exitForm->SetProblemText(text);
    g_exitForm->Show();
    g_exitForm->Update();
    SleepEx(2000, TRUE);
}

} // namespace tw
