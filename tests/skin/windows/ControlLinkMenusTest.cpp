// What the skin link of a control, and the skin manager, ask of the menu
// skinning and the windows: a control's popup menu is skinned when it is
// about to open, whoever made it; the manager's popup switch and extra-line
// event reach the menus; the link's mouse notes reach a control or a form's
// window; a manager that goes takes its halos with it at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SkinTestControls.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/sSkinMenus.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A panel wired like a skinned control: its link's window handler first.
class TLinkedPanel : public test::TListening<tw::TPanel> {
public:
    explicit TLinkedPanel(tw::TComponent* owner) : TListening(owner), Link(this, false) {}
    TsCommonData Link;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg != SM_ALPHACMD && CommonWndProc(m, &Link))
            return;
        TListening::WndProc(m);
    }
};

class ControlLinkMenusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetBounds(60, 60, 320, 200);
        panel = new TLinkedPanel(form);
        panel->SetParent(form);
        panel->SetBounds(10, 10, 200, 120);
        label = new tw::TLabel(form);
        label->SetParent(panel);
        label->SetBounds(20, 20, 60, 16);
        form->Show();
        tw::Application->ProcessMessages();
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    // A menu no form owns, so no provider ever prepares it; it must not
    // pop up in a test (that would wait for the user).
    std::unique_ptr<tw::TPopupMenu> LooseMenu()
    {
        auto menu = std::make_unique<tw::TPopupMenu>(nullptr);
        menu->SetAutoPopup(false);
        menu->Items()->AddItem("First");
        menu->Items()->AddItem("Second");
        return menu;
    }
    void RightClick(tw::TWinControl* c, int x, int y)
    {
        const tw::TPoint at = c->ClientToScreen(tw::TPoint(x, y));
        SendMessageW(c->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(c->Handle()), MAKELPARAM(at.X, at.Y));
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TLinkedPanel* panel = nullptr;
    tw::TLabel* label = nullptr;
};

} // namespace

TEST_F(ControlLinkMenusTest, ARightClickSkinsTheMenuThatOpensWhoeverMadeIt)
{
    auto own = LooseMenu();
    auto childs = LooseMenu();
    panel->SetPopupMenu(own.get());
    label->SetPopupMenu(childs.get());
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    ASSERT_TRUE(service->Active());
    EXPECT_FALSE(service->Prepared(own.get()));

    // Over the label the label's menu opens, elsewhere the panel's.
    RightClick(panel, 30, 25);
    EXPECT_TRUE(service->Prepared(childs.get()));
    EXPECT_TRUE(childs->OwnerDraw());
    EXPECT_FALSE(service->Prepared(own.get()));
    RightClick(panel, 150, 100);
    EXPECT_TRUE(service->Prepared(own.get()));
    EXPECT_TRUE(own->OwnerDraw());
    // From the keyboard (no point) the control's own menu.
    own->SetOwnerDraw(false);
    SendMessageW(panel->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(panel->Handle()), LPARAM(-1));
    EXPECT_TRUE(own->OwnerDraw());

    // Without skinned popups the same menu opens as the system draws it.
    manager.SetSkinnedPopups(false);
    RightClick(panel, 150, 100);
    EXPECT_FALSE(own->OwnerDraw());
    panel->SetPopupMenu(nullptr);
    label->SetPopupMenu(nullptr);
}

TEST_F(ControlLinkMenusTest, SwitchingSkinnedPopupsBackOnRenewsTheMenuSkinning)
{
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    manager.SetSkinnedPopups(false);
    service->UpdateFromSkin();
    EXPECT_FALSE(service->ActiveState());
    manager.SetSkinnedPopups(true);
    EXPECT_TRUE(service->ActiveState());
    EXPECT_TRUE(manager.SkinnedPopups());
}

TEST_F(ControlLinkMenusTest, TheManagersExtraLineEventWidensEveryPopup)
{
    auto menu = LooseMenu();
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    tw::TBitmap bmp(10, 10);
    int w0 = 0, h = 0;
    tw::TMenuItem* first = menu->Items()->Items(0);
    service->MeasureItem(first, bmp.Canvas(), w0, h);

    manager.MenuSupport.UseExtraLine = true;
    tw::TMenuItem* asked = nullptr;
    manager.OnGetMenuExtraLineData = [&](tw::TMenuItem* item, std::string&, std::string& caption, tw::TBitmap&,
                                         bool& visible) {
        asked = item;
        caption = "Tarnwick";
        visible = true;
    };
    int w1 = 0;
    service->MeasureItem(first, bmp.Canvas(), w1, h);
    EXPECT_EQ(asked, first);
    EXPECT_EQ(w1, w0 + manager.MenuSupport.ExtraLineWidth);
    // Only the first item of a popup carries the line's width.
    asked = nullptr;
    int w2 = 0;
    service->MeasureItem(menu->Items()->Items(1), bmp.Canvas(), w2, h);
    EXPECT_EQ(asked, nullptr);
    manager.OnGetMenuExtraLineData = nullptr;
    manager.MenuSupport.UseExtraLine = false;
}

TEST_F(ControlLinkMenusTest, TheExtraLinesGlyphIsDrawnAtTheTopOfTheLine)
{
    auto menu = LooseMenu();
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    manager.MenuSupport.UseExtraLine = true;
    // 8 x 8 pure red with a white key pixel in its bottom-left corner.
    manager.OnGetMenuExtraLineData = [&](tw::TMenuItem*, std::string&, std::string&, tw::TBitmap& glyph, bool& visible) {
        glyph.SetSize(8, 8);
        glyph.Canvas().Brush().SetColor(tw::clRed);
        glyph.Canvas().FillRect(tw::TRect(0, 0, 8, 8));
        glyph.Canvas().SetPixel(0, 7, tw::clWhite);
        visible = true;
    };
    tw::TBitmap bmp(200, 24, tw::pf24bit);
    service->DrawItem(menu->Items()->Items(0), bmp.Canvas(), TRect(0, 0, 200, 24), 0);
    GdiFlush();
    // The line is min(32, 200 / 2) wide: the glyph at ((32 - 8) / 2, 2).
    EXPECT_EQ(bmp.Canvas().Pixels(13, 3), tw::clRed);
    EXPECT_EQ(bmp.Canvas().Pixels(19, 8), tw::clRed);
    EXPECT_NE(bmp.Canvas().Pixels(12, 9), tw::clRed);   // the key shows the line
    EXPECT_NE(bmp.Canvas().Pixels(12, 9), tw::clWhite);
    EXPECT_NE(bmp.Canvas().Pixels(5, 5), tw::clRed);
    EXPECT_NE(bmp.Canvas().Pixels(13, 12), tw::clRed);
    manager.OnGetMenuExtraLineData = nullptr;
    manager.MenuSupport.UseExtraLine = false;
}

TEST_F(ControlLinkMenusTest, MouseNotesReachTheControlOrTheFormsWindow)
{
    panel->Commands.clear();
    panel->Link.NotifyMouseEnter();
    EXPECT_TRUE(panel->Link.ActiveState());
    panel->Link.NotifyMouseLeave();
    EXPECT_FALSE(panel->Link.ActiveState());
    ASSERT_EQ(panel->Commands.size(), 2u);
    EXPECT_EQ(panel->Commands[0], AC_MOUSEENTER);
    EXPECT_EQ(panel->Commands[1], AC_MOUSELEAVE);

    // A form's link (its provider's) speaks to the form's window, where the
    // provider listens.
    auto* listening = new test::TSkinnedForm(tw::Application);
    listening->SetBounds(0, 0, 100, 80);
    listening->HandleNeeded();
    TsCommonData formLink(listening, false);
    formLink.NotifyMouseEnter();
    formLink.NotifyMouseLeave();
    ASSERT_EQ(listening->Commands.size(), 2u);
    EXPECT_EQ(listening->Commands[0], AC_MOUSEENTER);
    EXPECT_EQ(listening->Commands[1], AC_MOUSELEAVE);
    delete listening;
}

TEST_F(ControlLinkMenusTest, AManagerThatGoesTakesItsHalosAtOnce)
{
    if (!LayeredWindowsAvailable()) GTEST_SKIP() << "no layered windows";
    auto second = std::make_unique<TsSkinManager>();
    ASSERT_TRUE(test::LoadOwnSkin(*second));
    const int id = ShowGlow(TRect(100, 100, 160, 124), TRect(0, 0, 60, 24), "BUTTON", second.get(), nullptr, 0, "GLOW");
    ASSERT_GE(id, 0);
    HWND halo = GlowWindow(id);
    ASSERT_TRUE(IsWindow(halo));
    second.reset();
    // No message loop in between: the window is gone already.
    EXPECT_FALSE(IsWindow(halo));
    DefaultManager = &manager;
}

} // namespace skin

#endif
