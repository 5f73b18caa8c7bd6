// The program wears its own skin: the main window's skin manager after the
// start-up, a skin change as every window sees it, and switching the skin
// off and on at run time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/AppSkin.h"
#include "app/MainForm.h"
#include "app/Startup.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"

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
    }
    EXPECT_GE(forms, 5);
    // Joining twice changes nothing.
    JoinSkin(Form1);
    EXPECT_EQ(std::count(skin::SkinnedForms().begin(), skin::SkinnedForms().end(), Form1), 1);
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

TEST_F(SkinTest, TheSkinGoesOffAndComesBackWithoutLeakingGdiObjects) {
    skin::TsSkinManager& m = Manager();
    const TColor skinned = Form1->Color();
    m.SetActive(false);
    Pump();
    EXPECT_FALSE(m.SkinLoaded());
    EXPECT_LT(m.GetSkinIndex("PANEL"), 0);
    EXPECT_NE(Form1->Color(), skinned);
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

} // namespace
