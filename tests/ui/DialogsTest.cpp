// Message dialogs with the standard texts, the answering hook, and input
// queries.
#include <gtest/gtest.h>

#include <windows.h>

#include "ui/Application.h"
#include "ui/Consts.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Menus.h"

using namespace tw;

namespace {

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { Application->Initialize(); }
    void TearDown() override { SetDialogHook(nullptr); }
};

std::vector<std::string> ButtonCaptions(TForm* f) {
    std::vector<std::string> v;
    for (int i = 0; i < f->ControlCount(); ++i)
        if (auto* b = dynamic_cast<TButton*>(f->Controls(i))) v.push_back(b->Caption());
    return v;
}

} // namespace

TEST_F(DialogsTest, ButtonsAndTitlesFollowTheStandardTextsGermanThenEnglish) {
    if (!StdTextsAreEnglish()) {
        std::unique_ptr<TForm> de(CreateMessageDialog("Frage?", mtConfirmation, mbYesNo));
        EXPECT_EQ(de->Caption(), "Bestätigen");
        EXPECT_EQ(ButtonCaptions(de.get()), (std::vector<std::string>{"&Ja", "&Nein"}));
        EXPECT_EQ(ShortCutToText(ShortCut('O', ssCtrl)), "Strg+O");
    }
    UseEnglishStdTexts();
    UseEnglishStdTexts(); // only once: a second call changes nothing
    std::unique_ptr<TForm> en(CreateMessageDialog("Question?", mtConfirmation, mbYesNo));
    EXPECT_EQ(en->Caption(), "Confirm");
    EXPECT_EQ(ButtonCaptions(en.get()), (std::vector<std::string>{"&Yes", "&No"}));
    std::unique_ptr<TForm> warn(CreateMessageDialog("Careful", mtWarning, mbOKCancel));
    EXPECT_EQ(warn->Caption(), "Warning");
    EXPECT_EQ(ButtonCaptions(warn.get()), (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(ShortCutToText(ShortCut(VK_DELETE, ssShift | ssCtrl)), "Shift+Ctrl+Del");
}

TEST_F(DialogsTest, ARealMessageDialogAnswersWithTheClickedButton) {
    // Nothing answers for it: the dialog shows and a timer clicks "No".
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](TObject*) {
        for (int i = Screen->FormCount() - 1; i >= 0; --i) {
            TCustomForm* f = Screen->Forms(i);
            if (!f->Modal()) continue;
            for (int k = 0; k < f->ControlCount(); ++k)
                if (auto* b = dynamic_cast<TButton*>(f->Controls(k)))
                    if (b->ModalResult() == mrNo) {
                        timer.SetEnabled(false);
                        PostMessageW(b->Handle(), BM_CLICK, 0, 0);
                    }
        }
    };
    EXPECT_EQ(MessageDlg("Overwrite the file?", mtConfirmation, mbYesNo), mrNo);
}

TEST_F(DialogsTest, EscapeOnAMessageDialogIsItsCancelAnswer) {
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](TObject*) {
        timer.SetEnabled(false);
        HWND a = GetActiveWindow();
        PostMessageW(GetFocus() ? GetFocus() : a, WM_KEYDOWN, VK_ESCAPE, 0);
    };
    EXPECT_EQ(MessageDlg("Go on?", mtWarning, mbOKCancel), mrCancel);
}

TEST_F(DialogsTest, TheHookAnswersInsteadOfShowing) {
    std::vector<TDialogRequest> asked;
    SetDialogHook([&](TDialogRequest& r) -> std::optional<int> {
        asked.push_back(r);
        if (r.Kind == dkInputQuery) {
            *r.Value = "deu";
            return mrOk;
        }
        if (r.Kind == dkOpenFile) {
            *r.Value = "C:\\Aufnahmen\\Überwachung.ts";
            return mrOk;
        }
        return mrYes;
    });
    EXPECT_EQ(MessageDlg("Scrambled packets found. Go on?", mtConfirmation, mbYesNo), mrYes);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].Text, "Scrambled packets found. Go on?");
    EXPECT_EQ(asked[0].Buttons, mbYesNo);

    std::string lang = "ger";
    EXPECT_TRUE(InputQuery("Change Language_Descriptor", "New descriptor:", lang));
    EXPECT_EQ(lang, "deu");
    EXPECT_EQ(asked.back().Caption, "Change Language_Descriptor");

    TOpenDialog dlg(nullptr);
    dlg.SetFilter("Transport streams|*.ts;*.trp|All|*.*");
    EXPECT_TRUE(dlg.Execute());
    EXPECT_EQ(dlg.FileName(), "C:\\Aufnahmen\\Überwachung.ts");
    EXPECT_EQ(asked.back().Text, "Transport streams|*.ts;*.trp|All|*.*");

    EXPECT_EQ(Application->MessageBox("Text", "Title", MB_YESNO), mrYes);
    EXPECT_EQ(asked.back().Kind, dkMessageBox);
}

TEST_F(DialogsTest, InputQueryFormReturnsTheTypedText) {
    TTimer timer(nullptr);
    timer.SetInterval(50);
    timer.OnTimer = [&](TObject*) {
        for (int i = Screen->FormCount() - 1; i >= 0; --i) {
            TCustomForm* f = Screen->Forms(i);
            if (!f->Modal()) continue;
            timer.SetEnabled(false);
            if (auto* e = dynamic_cast<TEdit*>(f->FindComponent("Edit"))) e->SetText("eng");
            f->SetModalResult(mrOk);
        }
    };
    std::string v = "ger";
    EXPECT_TRUE(InputQuery("Caption", "Prompt:", v));
    EXPECT_EQ(v, "eng");
}

namespace {

// Stand-ins for a program's own classes.
class TOwnLabel : public TLabel {
public:
    using TLabel::TLabel;
};
class TOwnButton : public TButton {
public:
    using TButton::TButton;
};

// The message dialog that is showing modally, or nullptr.
TCustomForm* ShownDialog() {
    for (int i = Screen->FormCount() - 1; i >= 0; --i)
        if (Screen->Forms(i)->Modal() && Screen->Forms(i)->Name() == "MessageDlg") return Screen->Forms(i);
    return nullptr;
}

class DialogPartsTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        TMessageDialogParts parts;
        parts.NewLabel = [](TComponent* o) -> TLabel* { return new TOwnLabel(o); };
        parts.NewButton = [](TComponent* o) -> TButton* { return new TOwnButton(o); };
        parts.Finish = [this](TForm& f) { finished.push_back(&f); };
        SetMessageDialogParts(std::move(parts));
    }
    void TearDown() override {
        SetMessageDialogParts({});
        DialogsTest::TearDown();
    }
    // Runs `act` on the dialog once it shows. A dialog that is still up two
    // seconds later is ended with mrAbort, so a fault fails the test
    // instead of hanging it.
    void WhenShown(std::function<void(TCustomForm&)> act) {
        rescued = false;
        timer = std::make_unique<TTimer>(nullptr);
        timer->SetInterval(30);
        timer->OnTimer = [this, act](TObject*) {
            TCustomForm* f = ShownDialog();
            if (!f || !IsWindowVisible(f->Handle())) return;
            timer->SetEnabled(false);
            act(*f);
            rescue->SetEnabled(true);
        };
        rescue = std::make_unique<TTimer>(nullptr);
        rescue->SetEnabled(false);
        rescue->SetInterval(2000);
        rescue->OnTimer = [this](TObject*) {
            rescue->SetEnabled(false);
            if (TCustomForm* f = ShownDialog()) {
                rescued = true;
                f->SetModalResult(mrAbort);
            }
        };
    }
    std::vector<TForm*> finished;
    std::unique_ptr<TTimer> timer, rescue;
    bool rescued = false;
};

TOwnButton* ButtonOf(TCustomForm& f, TModalResult r) {
    for (int i = 0; i < f.ControlCount(); ++i)
        if (auto* b = dynamic_cast<TOwnButton*>(f.Controls(i)); b && b->ModalResult() == r) return b;
    return nullptr;
}

// The system's message box flags in the program's dialogs: buttons, the
// default button and the answer codes.
TEST_F(DialogPartsTest, ApplicationMessageBoxAnswersTheSystemCodes) {
    std::string caption;
    WhenShown([&](TCustomForm& f) {
        caption = f.Caption();
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(Application->MessageBox("Save?", "Tarnwick", MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(caption, "Tarnwick");
    WhenShown([](TCustomForm& f) {
        if (TOwnButton* retry = ButtonOf(f, mrRetry)) PostMessageW(retry->Handle(), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(Application->MessageBox("Locked", "Tarnwick", MB_RETRYCANCEL | MB_ICONWARNING), IDRETRY);
    WhenShown([](TCustomForm&) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0); });
    EXPECT_EQ(Application->MessageBox("Failed", "Tarnwick", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_FALSE(rescued);
    // Each was built from the installed parts.
    EXPECT_EQ(finished.size(), 3u);
}

} // namespace
