// What a form's handlers throw reaches the application once, whether a skin
// provider sits in the form's window procedure or not; and a show that
// throws leaves nothing of the fade behind.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class HandlerErrorsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        savedHandler = tw::Application->OnException;
        tw::Application->OnException = [this](tw::TObject*, const std::exception& e) { reported.push_back(e.what()); };
    }
    void TearDown() override
    {
        tw::Application->OnException = savedHandler;
        DefaultManager = nullptr;
    }
    // A form with a button and a menu item that throw; skinned when asked.
    tw::TForm* MakeForm(bool skinned, tw::TButton*& button, tw::TMenuItem*& item)
    {
        auto* form = new tw::TForm(tw::Application);
        form->SetText("Handlers");
        form->SetBounds(90, 90, 360, 240);
        if (skinned)
            new TsSkinProvider(form);
        button = new tw::TButton(form);
        button->SetParent(form);
        button->SetBounds(20, 20, 100, 28);
        button->OnClick = [](tw::TObject*) { throw std::runtime_error("button failed"); };
        auto* menu = new tw::TMainMenu(form);
        auto* top = new tw::TMenuItem(menu);
        top->SetCaption("&File");
        menu->Items()->Add(top);
        item = new tw::TMenuItem(menu);
        item->SetCaption("&Go");
        item->OnClick = [](tw::TObject*) { throw std::runtime_error("menu failed"); };
        top->Add(item);
        form->SetMenu(menu);
        form->Show();
        tw::Application->ProcessMessages();
        return form;
    }

    TsSkinManager manager;
    tw::TExceptionEvent savedHandler;
    std::vector<std::string> reported;
};

TEST_F(HandlerErrorsTest, EveryThrowingHandlerIsReportedOnceWithAndWithoutTheProvider)
{
    for (bool skinned : {false, true}) {
        SCOPED_TRACE(skinned ? "with a provider" : "without a provider");
        reported.clear();
        tw::TButton* button = nullptr;
        tw::TMenuItem* item = nullptr;
        tw::TForm* form = MakeForm(skinned, button, item);
        if (skinned)
            ASSERT_TRUE(AskWindow(form->Handle(), AC_QUERYSKINNED));

        SendMessageW(button->Handle(), BM_CLICK, 0, 0);
        ASSERT_EQ(reported, std::vector<std::string>{"button failed"});

        SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(item->Command(), 0), 0);
        ASSERT_EQ(reported.size(), 2u);
        EXPECT_EQ(reported[1], "menu failed");

        // A second form shown from the button: its OnShow throws.
        auto* second = new tw::TForm(form);
        second->SetBounds(140, 140, 200, 150);
        if (skinned)
            new TsSkinProvider(second);
        second->OnShow = [](tw::TObject*) { throw std::runtime_error("show failed"); };
        button->OnClick = [second](tw::TObject*) { second->Show(); };
        SendMessageW(button->Handle(), BM_CLICK, 0, 0);
        ASSERT_EQ(reported.size(), 3u);
        EXPECT_EQ(reported[2], "show failed");
        delete form;
        tw::Application->ProcessMessages();
    }
}

TEST_F(HandlerErrorsTest, AThrowingShowLeavesTheFormReadyForTheNextShow)
{
    manager.AnimEffects.FormShow.Time = 16;
    auto* form = new tw::TForm(tw::Application);
    form->SetText("Throwing show");
    form->SetBounds(100, 80, 320, 220);
    auto* provider = new TsSkinProvider(form);
    auto* panel = new tw::TButton(form);
    panel->SetParent(form);
    panel->SetBounds(10, 10, 120, 30);
    form->Handle();
    ASSERT_TRUE(provider->Skinned());
    ASSERT_GT(provider->ShowAnimationTime(), 0u);
    HWND wnd = form->Handle();
    ASSERT_TRUE(GetWindowLongPtrW(panel->Handle(), GWL_STYLE) & WS_VISIBLE);

    bool fail = true;
    form->OnShow = [&fail](tw::TObject*) {
        if (fail)
            throw std::runtime_error("show failed");
    };
    EXPECT_THROW(form->Show(), std::runtime_error);
    // Nothing of the fade's preparation is left: not layered, the child
    // draws again (WM_SETREDRAW FALSE takes WS_VISIBLE away).
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(GetWindowLongPtrW(panel->Handle(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(AnimationRunning, 0);
    // Not even the first frame of a fade was shown: the form is hidden, as
    // it would be without the skin.
    EXPECT_FALSE(IsWindowVisible(wnd));

    fail = false;
    form->Hide();
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(IsWindowVisible(panel->Handle()));
    delete form;
}

} // namespace
} // namespace skin

#endif
