// The program wears its own skin: the main window's skin manager after the
// start-up, a skin change as every window sees it, and switching the skin
// off and on at run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/AppSkin.h"
#include "shared/BandwidthMeter.h"
#include "app/LogForm.h"
#include "app/MainForm.h"
#include "shared/ProgressForm.h"
#include "app/SettingsForm.h"
#include "app/Startup.h"
#include "app/UpdateForm.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sControlCache.h"
#include "skin/controls/sHintWindow.h"
#include "skin/controls/sLabel.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/windows/sSkinProvider.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"

using namespace tw;

namespace {

class SkinTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetProgramParameters({});
        ASSERT_EQ(RunStartup(false), 0);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
    }
    static skin::TsSkinManager& Manager() { return *Form1->sSkinManager1; }
    static void Pump() { Application->ProcessMessages(); }
};

TEST_F(SkinTest, TheProgramsManagerFadesFormsAndPagesButNotSkinChanges) {
    const skin::TsSkinManager& m = Manager();
    EXPECT_EQ(m.AnimEffects.FormShow.Time, 150);
    EXPECT_EQ(m.AnimEffects.DialogShow.Time, 80);
    EXPECT_EQ(m.AnimEffects.PageChange.Time, 80);
    EXPECT_TRUE(m.AnimEffects.PageChange.Active);
    EXPECT_FALSE(m.AnimEffects.SkinChanging.Active);
    EXPECT_EQ(m.MenuSupport.IcoLineSkin, "ICOLINE");
    using L = skin::ThirdPartyList;
    const auto& buttons = m.ThirdLists[L::ThirdButtons];
    EXPECT_NE(std::find(buttons.begin(), buttons.end(), "TButton"), buttons.end());
    const auto& grids = m.ThirdLists[L::ThirdGrids];
    EXPECT_NE(std::find(grids.begin(), grids.end(), "TStringGrid"), grids.end());
    EXPECT_EQ(m.ThirdParty.GetString(L::ThirdSpeedButton), " ");
    // The main window's frame answers with the form-show time.
    auto* provider = skin::FindProvider(Form1);
    ASSERT_NE(provider, nullptr);
    EXPECT_EQ(provider->ShowAnimationTime(), Form1->BorderStyle() == bsSizeable || Form1->BorderStyle() == bsSingle ? 150u : 80u);
}

TEST_F(SkinTest, AfterStartUpTheMainWindowHoldsTheOnlyManagerWithOurSkin) {
    skin::TsSkinManager& m = Manager();
    EXPECT_EQ(skin::DefaultManager, &m);
    EXPECT_TRUE(m.Active());
    EXPECT_TRUE(m.SkinLoaded());
    EXPECT_FALSE(Form1->SkinOff);
    EXPECT_EQ(m.SkinName(), kProgramSkinName);
    // From the program itself: a skin folder of the test machine must not
    // take its place, so the prefix has none of that name.
    EXPECT_TRUE(m.PackedSkin());
    EXPECT_TRUE(m.SkinPath.empty());
    EXPECT_FALSE(std::filesystem::exists(m.GetFullSkinDirectory() + kProgramSkinName));
    EXPECT_GE(m.GetSkinIndex("PANEL"), 0);

    // Every window of the start-up is registered once and shows the skin.
    int forms = 0;
    for (int i = 0; i < Application->ComponentCount(); ++i) {
        auto* form = dynamic_cast<TCustomForm*>(Application->Components(i));
        if (!form) continue;
        ++forms;
        SCOPED_TRACE(form->Name());
        EXPECT_EQ(std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), form), 1);
        EXPECT_EQ(form->Color(), m.GetGlobalColor());
        // Each in the skin's frame, through its own provider.
        skin::TsSkinProvider* provider = skin::FindProvider(form);
        ASSERT_NE(provider, nullptr);
        EXPECT_TRUE(provider->Skinned());
    }
    EXPECT_GE(forms, 5);
    // Joining twice changes nothing.
    JoinSkin(Form1);
    EXPECT_EQ(std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), Form1), 1);
}

TEST_F(SkinTest, TheProgramsManagerAnnouncesItsSkinOnceWhenItsOwnerIsLoaded) {
    // A form outside the application that hears every skin broadcast (its
    // frame's provider takes them first: counted in front of it).
    TForm probe(nullptr);
    struct {
        skin::TsSkinManager* Known = nullptr;
        int Loaded = 0, Refreshed = 0;
    } seen;
    seen.Known = &Manager();
    probe.Handle();
    const TWndMethod saved = probe.WindowProc;
    probe.WindowProc = [&](TMessage& m) {
        if (m.Msg == skin::SM_ALPHACMD && m.LParam != reinterpret_cast<LPARAM>(seen.Known)) {
            if (skin::SkinCommandOf(m.WParam) == skin::AC_SKINLOADED) ++seen.Loaded;
            if (skin::SkinCommandOf(m.WParam) == skin::AC_SKINREFRESH) ++seen.Refreshed;
        }
        saved(m);
    };
    // Registered once, by its provider or here.
    const bool added = std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), &probe) == 0;
    if (added) skin::AddSkinnedForm(&probe);
    {
        TForm owner(nullptr);
        skin::TsSkinManager* m = CreateProgramSkinManager(&owner);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(seen.Loaded, 0);   // read, not yet announced
        EXPECT_GE(m->GetSkinIndex("PANEL"), 0);
        owner.LoadTree();
        EXPECT_EQ(seen.Loaded, 1);
        EXPECT_EQ(seen.Refreshed, 0);   // announced without a repaint
        EXPECT_TRUE(m->SkinLoaded());
    }
    if (added) skin::RemoveSkinnedForm(&probe);
    probe.WindowProc = saved;
}

// What one form saw of a skin change.
struct FormLog {
    TWndMethod saved;
    int redrawOff = 0, redrawOn = 0, loaded = 0, refreshed = 0;
    int outsideLock = 0;   // skin messages while the form was drawing
    bool off = false;
};

TEST_F(SkinTest, ASkinChangeReachesEveryRegisteredFormOnceUnderOneRedrawLock) {
    std::map<TCustomForm*, FormLog> logs;
    const std::vector<TCustomForm*> forms = skin::SkinnedForms();
    for (TCustomForm* form : forms) {
        FormLog& log = logs[form];
        log.saved = form->WindowProc;
        form->WindowProc = [form, &log](TMessage& m) {
            if (m.Msg == WM_SETREDRAW) {
                (m.WParam ? log.redrawOn : log.redrawOff) += 1;
                log.off = !m.WParam;
            } else if (m.Msg == skin::SM_ALPHACMD) {
                const auto command = skin::SkinCommandOf(m.WParam);
                if (command == skin::AC_SKINLOADED) ++log.loaded;
                if (command == skin::AC_SKINREFRESH) ++log.refreshed;
                if ((command == skin::AC_SKINLOADED || command == skin::AC_SKINREFRESH) && !log.off &&
                    form->Visible())
                    ++log.outsideLock;
            }
            log.saved(m);
        };
    }
    Manager().SetSkinName(kProgramSkinName);
    Pump();
    for (auto& [form, log] : logs) {
        form->WindowProc = log.saved;
        SCOPED_TRACE(form->Name());
        EXPECT_EQ(log.loaded, 1);
        EXPECT_EQ(log.refreshed, 1);
        EXPECT_EQ(log.outsideLock, 0);
        if (form->Visible()) {
            EXPECT_GE(log.redrawOff, 1);
            EXPECT_GE(log.redrawOn, 1);
            EXPECT_FALSE(log.off);
        } else {
            EXPECT_EQ(log.redrawOff + log.redrawOn, 0);
        }
    }
    EXPECT_TRUE(logs.count(Form1) && Form1->Visible());
}

TEST_F(SkinTest, AFormMadeLaterWearsTheSkinToo) {
    auto* later = new TForm(Application);
    later->SetBounds(80, 80, 300, 200);
    later->Show();
    Pump();
    skin::TsSkinProvider* provider = skin::FindProvider(later);
    ASSERT_NE(provider, nullptr);
    EXPECT_TRUE(provider->Skinned());
    EXPECT_EQ(later->Color(), Manager().GetGlobalColor());
    RECT wr;
    GetWindowRect(later->Handle(), &wr);
    EXPECT_EQ(SendMessageW(later->Handle(), WM_NCHITTEST, 0, MAKELPARAM(wr.left + 100, wr.top + 8)), HTCAPTION);
    delete later;
    Pump();
    EXPECT_EQ(std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), later), 0);
}

TEST_F(SkinTest, TheSkinGoesOffAndComesBackWithoutLeakingGdiObjects) {
    skin::TsSkinManager& m = Manager();
    const TColor skinned = Form1->Color();
    m.SetActive(false);
    Pump();
    EXPECT_FALSE(m.SkinLoaded());
    EXPECT_LT(m.GetSkinIndex("PANEL"), 0);
    EXPECT_NE(Form1->Color(), skinned);
    // Every window has its system frame back: no region, nothing skinned.
    for (TCustomForm* form : skin::SkinnedForms()) {
        SCOPED_TRACE(form->Name());
        EXPECT_FALSE(skin::FindProvider(form)->Skinned());
        if (!form->HandleAllocated()) continue;
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(form->Handle(), rgn), ERROR);
        DeleteObject(rgn);
    }
    m.SetActive(true);
    Pump();
    EXPECT_TRUE(m.SkinLoaded());
    EXPECT_EQ(Form1->Color(), skinned);

    auto offOn = [&] {
        m.SetActive(false);
        Pump();
        m.SetActive(true);
        Pump();
    };
    // The first rounds fill the painting caches of the windows once.
    for (int i = 0; i < 5; ++i) offOn();
    const DWORD before = test::GdiObjects();
    for (int i = 0; i < 100; ++i) offOn();
    EXPECT_TRUE(m.SkinLoaded());
    EXPECT_LE(test::GdiObjects(), before);
}

// The windows made after the start-up join the skin themselves and are built
// from skinned controls.
// A skinned control's skin link (nullptr for a plain control).
template <class... Skinned> const skin::TsCommonData* SkinDataAs(TControl* c) {
    const skin::TsCommonData* data = nullptr;
    auto take = [&](auto* typed) {
        if (!data && typed) data = &typed->SkinData;
    };
    (take(dynamic_cast<Skinned*>(c)), ...);
    return data;
}
const skin::TsCommonData* SkinDataOf(TControl* c) {
    return SkinDataAs<skin::TsPageControl, skin::TsTabSheet, skin::TsCheckBox, skin::TsComboBox, skin::TsEdit,
                      skin::TsMemo, skin::TsBitBtn, skin::TsRadioGroup>(c);
}

bool Joined(TCustomForm* form) {
    return std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), form) == 1;
}

TEST_F(SkinTest, PreferencesAreBuiltFromSkinnedControlsWithTheirSections) {
    skin::TsSkinManager& m = Manager();
    TSettingsForm form(Form1);
    form.SetTexts(true);
    EXPECT_TRUE(Joined(&form));
    EXPECT_EQ(form.Color(), m.GetGlobalColor());
    form.Show();
    Pump();
    struct Expect {
        const char* name;
        const char* section;
    };
    for (const Expect& e : {Expect{"sPageControl1", "PAGECONTROL"}, Expect{"sTabSheet1", "TABSHEET"},
                            Expect{"sCheckBox1", "CHECKBOX"}, Expect{"sCheckBox4", "CHECKBOX"},
                            Expect{"sComboBox1", "COMBOBOX"}, Expect{"sComboBox4", "COMBOBOX"},
                            Expect{"sEdit1", "EDIT"}, Expect{"sBitBtn1", "BUTTON"}, Expect{"sBitBtn3", "BUTTON"},
                            Expect{"sRadioGroup1", "GROUPBOX"}}) {
        SCOPED_TRACE(e.name);
        auto* c = dynamic_cast<TControl*>(form.FindComponent(e.name));
        ASSERT_NE(c, nullptr);
        const skin::TsCommonData* data = SkinDataOf(c);
        ASSERT_NE(data, nullptr) << "not a skinned control";
        EXPECT_EQ(data->SkinSection(), e.section);
        EXPECT_GE(data->SkinIndex, 0);
    }
    // The captions of the lists and the edit are bound labels beside them,
    // in the skin's text colour of their page.
    struct Bound {
        skin::TsBoundLabel* label;
        TWinControl* control;
        const char* caption;
    };
    for (const Bound& b : {Bound{form.sLabel1.get(), form.sComboBox1, "Language"},
                           Bound{form.sLabel2.get(), form.sEdit1, "DirectX Version"},
                           Bound{form.sLabel3.get(), form.sComboBox4, "Splitter"},
                           Bound{form.sLabel6.get(), form.sComboBox5, "Audio"}}) {
        SCOPED_TRACE(b.caption);
        ASSERT_NE(b.label->Label(), nullptr);
        EXPECT_EQ(b.label->Label()->Caption(), b.caption);
        EXPECT_EQ(b.label->Label()->Parent(), b.control->Parent());
        EXPECT_EQ(b.label->Label()->Left() + b.label->Label()->Width() + 4, b.control->Left());
        EXPECT_GT(b.label->Label()->Left(), 0) << "the caption fits left of its control";
        EXPECT_EQ(b.label->Label()->Font().Color(),
                  m.gd[static_cast<size_t>(m.GetSkinIndex("TABSHEET"))].FontColor[0]);
    }
    form.SetTexts(false);
    EXPECT_EQ(form.sLabel1->Label()->Caption(), "Sprache");
    EXPECT_EQ(form.sRadioGroup1->Items().Count(), 3);
    form.Hide();
}

TEST_F(SkinTest, UpdateNoticeAndTextWindowJoinTheSkin) {
    TUpdateForm update(Form1);
    EXPECT_TRUE(Joined(&update));
    EXPECT_EQ(update.Color(), Manager().GetGlobalColor());
    EXPECT_NE(SkinDataOf(update.sMemo1), nullptr);
    EXPECT_NE(SkinDataOf(update.sBitBtn1), nullptr);
    // A label straight on the form writes in the text colour of the form's
    // section, not in black on the dark form.
    const skin::TsGeneralData& global = Manager().gd[static_cast<size_t>(Manager().ConstData.IndexGlobalInfo)];
    TColor labelColor = 0;
    EXPECT_TRUE(skin::ParentSkinFontColor(update.sLabel1, labelColor));
    EXPECT_EQ(labelColor, global.FontColor[0]);
    EXPECT_NE(labelColor, update.Color());
    TLogForm text(Form1);
    EXPECT_TRUE(Joined(&text));
    EXPECT_EQ(text.Color(), Manager().GetGlobalColor());
    EXPECT_TRUE(text.sMemo1->ReadOnly());
}

// The message dialog that is showing modally, or nullptr.
TCustomForm* ShownMessage() {
    for (int i = Screen->FormCount() - 1; i >= 0; --i) {
        TCustomForm* f = Screen->Forms(i);
        if (f->Modal() && f->Name() == "MessageDlg" && IsWindowVisible(f->Handle())) return f;
    }
    return nullptr;
}

skin::TsBitBtn* AnswerButton(TCustomForm& f, TModalResult r) {
    for (int i = 0; i < f.ControlCount(); ++i)
        if (auto* b = dynamic_cast<skin::TsBitBtn*>(f.Controls(i)); b && b->ModalResult() == r) return b;
    return nullptr;
}

// Acts on the next message dialog once it shows; one still up two seconds
// after that is ended with mrAbort, so a fault fails instead of hanging.
class TMessageActor {
public:
    explicit TMessageActor(std::function<void(TCustomForm&)> act) : act_(std::move(act)) {
        timer_.SetInterval(30);
        timer_.OnTimer = [this](TObject*) {
            TCustomForm* f = ShownMessage();
            if (!f) return;
            if (!acted_) {
                acted_ = true;
                since_ = GetTickCount();
                act_(*f);
            } else if (GetTickCount() - since_ > 2000) {
                rescued = true;
                f->SetModalResult(mrAbort);
            }
        };
    }
    bool rescued = false;

private:
    std::function<void(TCustomForm&)> act_;
    TTimer timer_{nullptr};
    bool acted_ = false;
    DWORD since_ = 0;
};

void Click(TWinControl* c) {
    if (!c) return; // the rescue then ends the dialog and the test fails
    PostMessageW(c->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 6));
    PostMessageW(c->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
}
void Key(WORD key) { PostMessageW(GetFocus(), WM_KEYDOWN, key, 0); }

TEST_F(SkinTest, QuestionsAreSkinnedAndAnsweredByClicksAndKeys) {
    skin::TsSkinManager& m = Manager();
    // What the question looks like while it is up.
    bool joined = false, skinnedText = false;
    TColor color = 0;
    int skinnedButtons = 0;
    {
        TMessageActor actor([&](TCustomForm& f) {
            joined = Joined(&f);
            color = f.Color();
            skinnedText = dynamic_cast<skin::TsLabel*>(f.FindComponent("Message")) != nullptr;
            for (TModalResult r : {mrYes, mrNo, mrCancel})
                if (AnswerButton(f, r)) ++skinnedButtons;
            Click(AnswerButton(f, mrCancel));
        });
        EXPECT_EQ(MessageDlg("Cut the recording here?", mtConfirmation, mbYesNoCancel), mrCancel);
        EXPECT_FALSE(actor.rescued);
    }
    EXPECT_TRUE(joined);
    EXPECT_TRUE(skinnedText);
    EXPECT_EQ(color, m.GetGlobalColor());
    EXPECT_EQ(skinnedButtons, 3);

    struct Case {
        const char* how;
        std::function<void(TCustomForm&)> act;
        TModalResult answer;
    };
    const Case cases[] = {
        {"click Yes", [](TCustomForm& f) { Click(AnswerButton(f, mrYes)); }, mrYes},
        {"click No", [](TCustomForm& f) { Click(AnswerButton(f, mrNo)); }, mrNo},
        {"Enter", [](TCustomForm&) { Key(VK_RETURN); }, mrYes},
        {"Escape", [](TCustomForm&) { Key(VK_ESCAPE); }, mrCancel},
        {"Tab, Enter",
         [](TCustomForm&) {
             Key(VK_TAB);
             Application->ProcessMessages();
             Key(VK_RETURN);
         },
         mrNo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        TMessageActor actor(c.act);
        EXPECT_EQ(MessageDlg("Cut the recording here?", mtConfirmation, mbYesNoCancel), c.answer);
        EXPECT_FALSE(actor.rescued);
    }
    // Without a Cancel button, Escape answers No.
    {
        TMessageActor actor([](TCustomForm&) { Key(VK_ESCAPE); });
        EXPECT_EQ(MessageDlg("Go on?", mtConfirmation, mbYesNo), mrNo);
    }
    // The skin library's own messages and the system-style boxes too.
    {
        std::string caption;
        TMessageActor actor([&](TCustomForm& f) {
            caption = f.Caption();
            Click(AnswerButton(f, mrYes));
        });
        EXPECT_EQ(skin::ShowSkinMessage("Apply the skin?", 3, mbYesNo), mrYes);
        EXPECT_EQ(caption, "Confirm");
    }
    {
        bool skinned = false;
        TMessageActor actor([&](TCustomForm& f) {
            skinned = Joined(&f) && AnswerButton(f, mrOk) != nullptr;
            Key(VK_RETURN);
        });
        EXPECT_EQ(Application->MessageBox("Cannot open the file.", Application->Title(), MB_OK | MB_ICONERROR), IDOK);
        EXPECT_TRUE(skinned);
    }
}

TEST_F(SkinTest, TheBandwidthMeterTakesTheSkinsFieldColours) {
    skin::TsSkinManager& m = Manager();
    const skin::TsGeneralData& edit = m.gd[static_cast<size_t>(m.GetSkinIndex("EDIT"))];
    // The start-up's progress window: the skin's changes reach it.
    ASSERT_NE(Form2, nullptr);
    TForm2& f = *Form2;
    f.Show();
    f.ShowMeterPanel(true);
    EXPECT_EQ(f.OvBandwidthMeter1->Color(), edit.Color);
    EXPECT_NE(f.OvBandwidthMeter1->Color(), clWhite);
    EXPECT_EQ(f.OvBandwidthMeter1->Lines(0)->Color(), edit.FontColor[0]);
    Pump();
    EXPECT_EQ(f.OvBandwidthMeter1->BackBuffer().Canvas().Pixels(1, 1), ColorToRGB(edit.Color));
    // Without a skin the designed white and black; back with it.
    m.SetActive(false);
    Pump();
    EXPECT_EQ(f.OvBandwidthMeter1->Color(), clWhite);
    EXPECT_EQ(f.OvBandwidthMeter1->Lines(0)->Color(), clBlack);
    m.SetActive(true);
    Pump();
    EXPECT_EQ(f.OvBandwidthMeter1->Color(), edit.Color);
    f.ShowMeterPanel(false);
    f.Hide();
}

// A hint of the main window comes in the skin's hint window (installed at
// start-up for every window), painted from the skin, not on the hint colour.
TEST_F(SkinTest, HintsOfTheMainWindowAreDrawnByTheSkin) {
    auto* button = dynamic_cast<TControl*>(Form1->FindComponent("sBitBtn2"));
    ASSERT_NE(button, nullptr);
    ASSERT_FALSE(button->Hint().empty());
    // What the hint timer does once the mouse rested on the button.
    const TPoint below = button->ClientToScreen(TPoint(0, button->Height() + 4));
    Application->ActivateHint(button->Hint(), below);
    auto* hint = dynamic_cast<skin::TacCustomHintWindow*>(Application->HintWindow());
    ASSERT_NE(hint, nullptr);
    ASSERT_TRUE(IsWindowVisible(hint->Handle()));
    EXPECT_EQ(hint->Text(), button->Hint());
    // The text decides the size: a longer hint is wider.
    EXPECT_GT(hint->Width(), hint->CalcHintRect("Preserve").Width());
    // Painted into a picture of our own: what lies on the screen above the
    // hint is no business of this test.
    TBitmap shot(hint->Width(), hint->Height());
    shot.Canvas().Brush().SetColor(clInfoBk);
    shot.Canvas().FillRect(TRect(0, 0, hint->Width(), hint->Height()));
    hint->Perform(WM_PAINT, reinterpret_cast<WPARAM>(shot.Canvas().Handle()), 0);
    const TColor inside = shot.Canvas().Pixels(2, hint->Height() / 2);
    EXPECT_NE(inside, ColorToRGB(Application->HintColor()));
    Application->CancelHint();
}

// The log window sits below the main window; where there is little room
// below, it is shortened, and showing it does not pull it up over the main
// window (whose buttons it would hide). Where not even a few lines fit below
// (a small screen, the main window maximized) it still stays below: the
// program never lays it over the status bar or the START row.
TEST_F(SkinTest, TheLogWindowOpensBelowTheMainWindowEvenWithLittleRoomThere) {
    const TRect wa = Screen->WorkAreaRect();
    const TRect saved = Form1->BoundsRect();
    Form1->SetBounds(wa.Left, wa.Top, std::min(800, wa.Width()), wa.Height() - 150);
    Form1->PlaceLogWindow(true);
    EXPECT_EQ(Form3->Top(), Form1->Top() + Form1->Height());
    const int height = Form3->Height();
    EXPECT_LT(height, 250);
    EXPECT_GE(height, 100);
    Form3->Show();
    EXPECT_EQ(Form3->Top(), Form1->Top() + Form1->Height());
    EXPECT_EQ(Form3->Left(), Form1->Left());
    EXPECT_EQ(Form3->Height(), height);
    Form3->Hide();
    // Less room than a few lines: a few lines below, past the work area.
    Form1->SetBounds(wa.Left, wa.Top, std::min(800, wa.Width()), wa.Height() - 30);
    Form1->PlaceLogWindow(true);
    EXPECT_GE(Form3->Height(), 100);
    EXPECT_EQ(Form3->Top(), Form1->Top() + Form1->Height());
    // Maximized, shown, and after a re-layout: never over the main window.
    Form1->Show();
    Form3->Show();
    Form1->SetWindowState(wsMaximized);
    for (int i = 0; i < 10; ++i) { Pump(); Sleep(10); }
    EXPECT_EQ(Form1->WindowState(), wsMaximized);
    auto below = [] {
        RECT main{}, log{};
        GetWindowRect(Form1->Handle(), &main);
        GetWindowRect(Form3->Handle(), &log);
        return log.top >= main.bottom;
    };
    EXPECT_TRUE(below());
    Form1->PlaceLogWindow(true);
    Form3->Show();
    EXPECT_TRUE(below());
    Form1->SetWindowState(wsNormal);
    for (int i = 0; i < 10; ++i) { Pump(); Sleep(10); }
    Form3->Hide();
    // Room again: it takes its own height back, as much of it as the screen
    // holds below the main window's least height.
    Form1->SetBounds(wa.Left, wa.Top, std::min(800, wa.Width()), wa.Height() - 400);
    EXPECT_EQ(Form3->Height(), std::min(250, int(wa.Bottom - (Form1->Top() + Form1->Height()))));
    Form1->SetBounds(saved.Left, saved.Top, saved.Width(), saved.Height());
}

} // namespace
