// The keyboard as the system delivers it (SendInput): Tab through group
// boxes and pages, Ctrl+Tab between pages, Alt+letter and plain letters on
// buttons, check boxes and labels, Escape and Enter in modal forms. Judged
// by where the focus is and what the controls did, never by what was sent.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/Application.h"
#include "ui/ComCtrls.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

using namespace tw;

namespace {

// Pumps messages until done() holds or a generous deadline passes.
bool WaitFor(const std::function<bool()>& done) {
    const ULONGLONG until = GetTickCount64() + 10000;
    while (!done()) {
        if (GetTickCount64() > until) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        Application->ProcessMessages();
    }
    return true;
}

INPUT Key(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    if (up) in.ki.dwFlags = KEYEVENTF_KEYUP;
    if (vk == VK_NEXT || vk == VK_PRIOR) in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return in;
}

// Presses the modifiers, strikes the key, lets all go.
void Press(WORD vk, std::vector<WORD> modifiers = {}) {
    std::vector<INPUT> in;
    for (WORD m : modifiers) in.push_back(Key(m, false));
    in.push_back(Key(vk, false));
    in.push_back(Key(vk, true));
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) in.push_back(Key(*it, true));
    SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

template <class T>
T* Put(TWinControl* parent, TComponent* owner, int x, int y, int w, int h, const std::string& caption = {}) {
    auto* c = new T(owner);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    if (!caption.empty()) c->SetCaption(caption);
    return c;
}

// A form as the program's dialogs are built: controls on the form, in a
// group box and on the pages of a page control.
class TKeysForm : public TForm {
public:
    explicit TKeysForm(TComponent* owner) : TForm(owner) {
        SetCaption("Keys");
        SetBorderStyle(bsDialog);
        SetBounds(120, 100, 400, 340);
        First = Put<TButton>(this, this, 8, 8, 90, 25, "&Go");
        Box = Put<TGroupBox>(this, this, 8, 40, 370, 80, "&Options");
        Wrap = Put<TCheckBox>(Box, this, 10, 20, 150, 20, "&Wrap lines");
        Apply = Put<TButton>(Box, this, 200, 20, 90, 25, "Apply");
        Pages = Put<TPageControl>(this, this, 8, 128, 370, 120);
        for (TTabSheet*& s : Sheets) {
            s = new TTabSheet(this);
            s->SetPageControl(Pages);
        }
        Sheets[0]->SetCaption("One");
        Sheets[1]->SetCaption("Two");
        NameEdit = Put<TEdit>(Sheets[0], this, 90, 10, 150, 22);
        NameLabel = Put<TLabel>(Sheets[0], this, 8, 12, 70, 16, "&Name");
        NameLabel->SetFocusControl(NameEdit);
        Hidden = Put<TCheckBox>(Sheets[1], this, 10, 10, 150, 20, "&Hidden");
        Ok = Put<TButton>(this, this, 100, 260, 90, 25, "OK");
        Ok->SetDefault(true);
        Ok->SetModalResult(mrOk);
        Cancel = Put<TButton>(this, this, 200, 260, 90, 25, "Cancel");
        Cancel->SetCancel(true);
        Cancel->SetModalResult(mrCancel);
        First->OnClick = [this](TObject*) { ++goClicks; };
        Pages->OnChange = [this](TObject*) { ++pageChanges; };
        LoadTree();
        Pages->SetActivePage(Sheets[0]);
    }
    TButton *First, *Apply, *Ok, *Cancel;
    TGroupBox* Box;
    TCheckBox *Wrap, *Hidden;
    TPageControl* Pages;
    TTabSheet* Sheets[2]{};
    TEdit* NameEdit;
    TLabel* NameLabel;
    int goClicks = 0;
    int pageChanges = 0;
};

class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application->Initialize();
        form = std::make_unique<TKeysForm>(nullptr);
    }
    void TearDown() override { form.reset(); }

    // Shows the form in front with the focus on c.
    void ShowWithFocus(TWinControl* c) {
        form->Show();
        SetForegroundWindow(form->Handle());
        ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == form->Handle(); }));
        c->SetFocus();
        ASSERT_TRUE(WaitFor([&] { return Focused(c); }));
    }
    static bool Focused(const TWinControl* c) { return c->HandleAllocated() && GetFocus() == c->HandleIfAllocated(); }

    // Strikes the key and waits until the focus moves away from where it was;
    // the control that has it then, or nullptr when it stays.
    TWinControl* FocusAfter(WORD vk, std::vector<WORD> modifiers = {}) {
        const HWND before = GetFocus();
        Press(vk, std::move(modifiers));
        WaitFor([&] { return GetFocus() != before; });
        Application->ProcessMessages();
        return TWinControl::FromHandle(GetFocus());
    }

    std::unique_ptr<TKeysForm> form;
};

TEST_F(KeyboardTest, TabVisitsTheControlsOfGroupBoxesAndTheShownPageOnly) {
    ShowWithFocus(form->First);
    // In the order the controls were placed, into the box and onto the
    // page, round the end; nothing on the hidden page.
    const std::vector<TWinControl*> forward{form->Wrap, form->Apply, form->Pages, form->NameEdit,
                                            form->Ok,   form->Cancel, form->First};
    for (TWinControl* expected : forward) EXPECT_EQ(FocusAfter(VK_TAB), expected);
    EXPECT_EQ(FocusAfter(VK_TAB, {VK_SHIFT}), form->Cancel);
    EXPECT_EQ(FocusAfter(VK_TAB, {VK_SHIFT}), form->Ok);
    EXPECT_EQ(FocusAfter(VK_TAB, {VK_SHIFT}), form->NameEdit);
    // With the other page shown, Tab reaches its control instead.
    form->Pages->SetActivePage(form->Sheets[1]);
    form->Pages->SetFocus();
    EXPECT_EQ(FocusAfter(VK_TAB), form->Hidden);
}

TEST_F(KeyboardTest, CtrlTabAndCtrlPageKeysTurnThePagesAroundTheFocus) {
    ShowWithFocus(form->NameEdit);
    Press(VK_TAB, {VK_CONTROL});
    ASSERT_TRUE(WaitFor([&] { return form->Pages->ActivePage() == form->Sheets[1]; }));
    EXPECT_EQ(form->pageChanges, 1);
    // The focus left the page that went away, for the page control.
    EXPECT_TRUE(WaitFor([&] { return Focused(form->Pages); }));
    Press(VK_TAB, {VK_CONTROL, VK_SHIFT});
    ASSERT_TRUE(WaitFor([&] { return form->Pages->ActivePage() == form->Sheets[0]; }));
    Press(VK_NEXT, {VK_CONTROL});
    ASSERT_TRUE(WaitFor([&] { return form->Pages->ActivePage() == form->Sheets[1]; }));
    Press(VK_PRIOR, {VK_CONTROL});
    ASSERT_TRUE(WaitFor([&] { return form->Pages->ActivePage() == form->Sheets[0]; }));
    EXPECT_EQ(form->pageChanges, 4);
    // Outside the page control Ctrl+Tab turns nothing.
    form->First->SetFocus();
    Press(VK_TAB, {VK_CONTROL});
    Press('G', {VK_MENU}); // a witness that the keys before it were handled
    ASSERT_TRUE(WaitFor([&] { return form->goClicks == 1; }));
    EXPECT_EQ(form->Pages->ActivePage(), form->Sheets[0]);
}

TEST_F(KeyboardTest, AltLetterActsOnTheControlThatOwnsIt) {
    ShowWithFocus(form->Apply);
    Press('G', {VK_MENU});
    ASSERT_TRUE(WaitFor([&] { return form->goClicks == 1; }));
    Press('W', {VK_MENU});
    ASSERT_TRUE(WaitFor([&] { return form->Wrap->Checked(); }));
    EXPECT_TRUE(Focused(form->Wrap));
    // A label hands the focus to its control; a group box to its first.
    EXPECT_EQ(FocusAfter('N', {VK_MENU}), form->NameEdit);
    EXPECT_EQ(FocusAfter('O', {VK_MENU}), form->Wrap);
    // The letter alone, where the focused control takes no characters.
    Press('W');
    ASSERT_TRUE(WaitFor([&] { return !form->Wrap->Checked(); }));
    // An edit takes its letters; the button of the letter stays alone.
    form->NameEdit->SetFocus();
    Press('G');
    ASSERT_TRUE(WaitFor([&] { return form->NameEdit->Text() == "g"; }));
    // A control on the hidden page owns no letter.
    Press('H', {VK_MENU});
    Press('G', {VK_MENU});
    ASSERT_TRUE(WaitFor([&] { return form->goClicks == 2; }));
    EXPECT_FALSE(form->Hidden->Checked());
}

TEST_F(KeyboardTest, AltLetterOpensTheMenuWhenNoControlOwnsIt) {
    auto* menu = new TMainMenu(form.get());
    std::string opened;
    // An item's click runs as its submenu opens; the menu is then closed.
    auto item = [&](const std::string& caption) {
        auto* i = new TMenuItem(form.get());
        i->SetCaption(caption);
        menu->Items()->Add(i);
        i->AddItem("Quit");
        i->OnClick = [&opened, caption](TObject*) {
            opened = caption;
            EndMenu();
        };
    };
    // "Tools" has no marked letter: its first one opens it, unless another
    // item marks that letter ("&Text" takes T from it).
    item("Tools");
    item("&File");
    item("Help");
    item("&Text");
    form->SetMenu(menu);
    ShowWithFocus(form->Apply);
    Press('F', {VK_MENU});
    EXPECT_TRUE(WaitFor([&] { return opened == "&File"; }));
    Press('H', {VK_MENU});
    EXPECT_TRUE(WaitFor([&] { return opened == "Help"; }));
    Press('T', {VK_MENU});
    EXPECT_TRUE(WaitFor([&] { return opened == "&Text"; }));
    EndMenu();
    // A control's letter comes before the menu's.
    Press('G', {VK_MENU});
    EXPECT_TRUE(WaitFor([&] { return form->goClicks == 1; }));
    EXPECT_EQ(opened, "&Text");
}

// Runs act once the modal form f shows; a form still up after the deadline
// is ended with mrAbort, so a fault fails the test instead of hanging it.
class ModalKeys {
public:
    ModalKeys(std::function<TCustomForm*()> find, std::function<void(TCustomForm&)> act) {
        timer.SetInterval(30);
        timer.OnTimer = [this, find, act](TObject*) {
            TCustomForm* f = find();
            if (!f || !IsWindowVisible(f->Handle()) || GetForegroundWindow() != f->Handle() || !GetFocus()) return;
            timer.SetEnabled(false);
            act(*f);
            rescue.SetEnabled(true);
        };
        rescue.SetEnabled(false);
        rescue.SetInterval(8000);
        rescue.OnTimer = [this, find](TObject*) {
            rescue.SetEnabled(false);
            if (TCustomForm* f = find()) f->SetModalResult(mrAbort);
        };
    }

private:
    TTimer timer{nullptr};
    TTimer rescue{nullptr};
};

TEST_F(KeyboardTest, EscapeCancelsAndEnterPressesTheDefaultButton) {
    TKeysForm* f = form.get();
    auto find = [f]() -> TCustomForm* { return f->Modal() ? f : nullptr; };
    {
        // From an edit, which takes its own letters but not these keys.
        f->SetActiveControl(f->NameEdit);
        ModalKeys keys(find, [](TCustomForm&) { Press(VK_RETURN); });
        EXPECT_EQ(f->ShowModal(), mrOk);
    }
    {
        f->SetActiveControl(f->Wrap);
        ModalKeys keys(find, [](TCustomForm&) { Press(VK_ESCAPE); });
        EXPECT_EQ(f->ShowModal(), mrCancel);
    }
    {
        // A focused button is pressed by Enter, not the default one.
        f->SetActiveControl(f->Cancel);
        ModalKeys keys(find, [](TCustomForm&) { Press(VK_RETURN); });
        EXPECT_EQ(f->ShowModal(), mrCancel);
    }
}

TEST_F(KeyboardTest, MessageBoxButtonsAnswerTheirLetters) {
    auto find = []() -> TCustomForm* {
        for (int i = Screen->FormCount() - 1; i >= 0; --i)
            if (Screen->Forms(i)->Modal() && Screen->Forms(i)->Name() == "MessageDlg") return Screen->Forms(i);
        return nullptr;
    };
    {
        ModalKeys keys(find, [](TCustomForm&) { Press('N'); });
        EXPECT_EQ(MessageDlg("Overwrite the file?", mtConfirmation, mbYesNo), mrNo);
    }
    {
        // With a Cancel button Escape would answer differently: the letter
        // decides.
        ModalKeys keys(find, [](TCustomForm&) { Press('N', {VK_MENU}); });
        EXPECT_EQ(MessageDlg("Save the changes?", mtConfirmation, mbYesNoCancel), mrNo);
    }
}

} // namespace
