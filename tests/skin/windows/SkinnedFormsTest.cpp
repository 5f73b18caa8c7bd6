// The registry of skinned forms: removal keeps no stale entry, broadcasts
// reach each form once, and the redraw lock around a skin change touches
// only the forms it concerns.
#include <gtest/gtest.h>

#include <memory>

#include "SkinTestControls.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"

namespace skin {
namespace {

using test::TProviderForm;
using test::TSkinnedPanel;

class SkinnedFormsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        DefaultManager = &manager;
    }
    void TearDown() override
    {
        for (tw::TCustomForm* f : std::vector<tw::TCustomForm*>(SkinnedForms()))
            RemoveSkinnedForm(f);
        for (tw::TForm* f : made)
            delete f;
        DefaultManager = nullptr;
        WindowAnimating = false;
    }
    TProviderForm* MakeForm(bool show = true)
    {
        auto* f = new TProviderForm(tw::Application);
        f->Manager = &manager;
        f->SetBounds(20, 20, 200, 120);
        made.push_back(f);
        AddSkinnedForm(f);
        if (show)
            f->Show();
        else
            f->Handle();
        return f;
    }
    TsSkinManager manager;
    std::vector<tw::TForm*> made;
};

TEST_F(SkinnedFormsTest, RemovalMovesTheLastFormIntoTheGapAndLeavesNoDuplicate)
{
    tw::TForm a(nullptr), b(nullptr), c(nullptr), d(nullptr);
    EXPECT_EQ(AddSkinnedForm(&a), 1);
    AddSkinnedForm(&b);
    AddSkinnedForm(&c);
    EXPECT_EQ(AddSkinnedForm(&d), 4);
    RemoveSkinnedForm(&b);
    EXPECT_EQ(SkinnedForms(), (std::vector<tw::TCustomForm*>{&a, &d, &c}));
    RemoveSkinnedForm(&c);
    EXPECT_EQ(SkinnedForms(), (std::vector<tw::TCustomForm*>{&a, &d}));

    // Registered twice, the second time at the end: both entries go.
    AddSkinnedForm(&b);
    AddSkinnedForm(&b);
    RemoveSkinnedForm(&b);
    EXPECT_EQ(SkinnedForms(), (std::vector<tw::TCustomForm*>{&a, &d}));
    RemoveSkinnedForm(&b); // not there: nothing happens
    RemoveSkinnedForm(&a);
    RemoveSkinnedForm(&d);
    EXPECT_TRUE(SkinnedForms().empty());
}

TEST_F(SkinnedFormsTest, BroadcastReachesEveryFormOnceWithItsControls)
{
    TProviderForm* skinned = MakeForm();
    auto* skinnedChild = new TSkinnedPanel(skinned);
    skinnedChild->SetParent(skinned);
    // A form of the application that the skin library does not handle.
    auto* plain = new test::TSkinnedForm(tw::Application);
    plain->Skinned = false;
    made.push_back(plain);
    auto* plainChild = new TSkinnedPanel(plain);
    plainChild->SetParent(plain);
    plain->Handle();
    // A skinned form that the application does not own.
    auto* loose = new TProviderForm(nullptr);
    made.push_back(loose);
    loose->Handle();
    AddSkinnedForm(loose);
    // A registered form of the application that has no window yet.
    auto* early = new TProviderForm(tw::Application);
    made.push_back(early);
    AddSkinnedForm(early);
    int foreign = 0;
    BroadcastToForeignWindows = [&](tw::TMessage&) { ++foreign; };

    tw::TMessage m{SM_ALPHACMD, SkinWParam(AC_SKINLOADED), 0, 0};
    BroadcastToForms(m);
    BroadcastToForeignWindows = nullptr;
    EXPECT_EQ(skinned->Commands, std::vector<uint16_t>{AC_SKINLOADED});
    EXPECT_EQ(skinnedChild->Commands, std::vector<uint16_t>{AC_SKINLOADED});
    EXPECT_EQ(loose->Commands, std::vector<uint16_t>{AC_SKINLOADED});
    EXPECT_EQ(early->Commands, std::vector<uint16_t>{AC_SKINLOADED});
    EXPECT_FALSE(early->HandleAllocated());
    EXPECT_EQ(plainChild->Commands, std::vector<uint16_t>{AC_SKINLOADED});
    EXPECT_EQ(foreign, 1);
}

TEST_F(SkinnedFormsTest, LockTakesVisibleTopLevelFormsOfTheManagerOnly)
{
    TProviderForm* shown = MakeForm();
    TProviderForm* hidden = MakeForm(false);
    TProviderForm* other = MakeForm();
    TsSkinManager otherManager;
    other->Manager = &otherManager;
    TProviderForm* minimized = MakeForm();
    minimized->SetWindowState(tw::wsMinimized);

    BeginSkinChange(&manager);
    EXPECT_TRUE(WindowAnimating);
    EXPECT_TRUE(shown->Locked);
    EXPECT_EQ(shown->Redraw, std::vector<bool>{false});
    EXPECT_FALSE(hidden->Locked);
    EXPECT_FALSE(other->Locked);
    EXPECT_FALSE(minimized->Locked);
    EXPECT_TRUE(hidden->Redraw.empty() && other->Redraw.empty() && minimized->Redraw.empty());

    EndSkinChange(&manager, true);
    EXPECT_FALSE(WindowAnimating);
    EXPECT_FALSE(shown->Locked);
    // Drawing comes back once from the skin-change animation, once from the lock.
    EXPECT_EQ(shown->Redraw, (std::vector<bool>{false, true, true}));
    EXPECT_EQ(shown->RegionUpdates, 1);
    EXPECT_EQ(shown->BorderUpdates, std::vector<int>{255});
    EXPECT_EQ(other->RegionUpdates + hidden->RegionUpdates + minimized->RegionUpdates, 0);

    // Without animation the forms only draw again, and the lock ends.
    shown->Skinned = false;
    BeginSkinChange(&manager);
    EndSkinChange(&manager, false);
    EXPECT_FALSE(shown->Locked);
    EXPECT_EQ(shown->Redraw, (std::vector<bool>{false, true, true, false, true}));
    EXPECT_EQ(shown->RegionUpdates, 1);

    // Animation only follows the default manager's setting.
    manager.AnimEffects.SkinChanging.Active = false;
    BeginSkinChange(&manager);
    EXPECT_FALSE(WindowAnimating);
    EndSkinChange(&manager, false);
}

TEST_F(SkinnedFormsTest, AMaximisedFormWithABorderWindowIsMaximisedAgainUnseenAndActivationStays)
{
    manager.AnimEffects.SkinChanging.Active = false;
    TProviderForm* form = MakeForm();
    TProviderForm* active = MakeForm();
    form->BorderWindow = true;
    form->SetWindowState(tw::wsMaximized);
    SetActiveWindow(active->Handle());
    // The window's visible bit as each style change leaves it.
    std::vector<bool> visible;
    tw::TWndMethod previous = form->WindowProc;
    form->WindowProc = [&](tw::TMessage& m) {
        if (m.Msg == WM_STYLECHANGED && m.WParam == WPARAM(GWL_STYLE))
            visible.push_back((reinterpret_cast<const STYLESTRUCT*>(m.LParam)->styleNew & WS_VISIBLE) != 0);
        previous(m);
    };
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    form->WindowProc = previous;
    EXPECT_EQ(visible, (std::vector<bool>{false, true}));
    EXPECT_TRUE(IsZoomed(form->Handle()));
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_EQ(GetActiveWindow(), active->Handle());

    // Not maximised, or without a border window: the window is left alone.
    visible.clear();
    form->SetWindowState(tw::wsNormal);
    form->WindowProc = [&](tw::TMessage& m) {
        if (m.Msg == WM_STYLECHANGED && m.WParam == WPARAM(GWL_STYLE))
            visible.push_back(true);
        previous(m);
    };
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    form->WindowProc = previous;
    EXPECT_TRUE(visible.empty());
}

TEST_F(SkinnedFormsTest, BeforeVersion6TheOldRegionGoesBeforeTheNewOneIsSet)
{
    TProviderForm* form = MakeForm();
    const auto savedVersion = AnimationMajorVersion;
    manager.AnimEffects.SkinChanging.Active = false;
    auto regionKept = [&] {
        HRGN probe = CreateRectRgn(0, 0, 0, 0);
        const int kind = GetWindowRgn(form->Handle(), probe);
        DeleteObject(probe);
        return kind != ERROR;
    };
    // The provider here sets no region of its own: what stays is the old one.
    AnimationMajorVersion = [] { return DWORD(6); };
    SetWindowRgn(form->Handle(), CreateEllipticRgn(0, 0, 150, 90), FALSE);
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    EXPECT_TRUE(regionKept());
    EXPECT_EQ(form->RegionUpdates, 1);
    AnimationMajorVersion = [] { return DWORD(5); };
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    EXPECT_FALSE(regionKept());
    EXPECT_EQ(form->RegionUpdates, 2);
    // An unskinned form keeps whatever region it has.
    SetWindowRgn(form->Handle(), CreateEllipticRgn(0, 0, 150, 90), FALSE);
    form->Skinned = false;
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    EXPECT_TRUE(regionKept());
    AnimationMajorVersion = savedVersion;
}

TEST_F(SkinnedFormsTest, NothingIsLockedWhileTheMainWindowIsMinimized)
{
    TProviderForm* main = MakeForm();
    TProviderForm* second = MakeForm();
    tw::TCustomForm* previous = tw::Application->MainForm();
    tw::Application->SetMainForm(main);
    main->SetWindowState(tw::wsMinimized);
    BeginSkinChange(&manager);
    EndSkinChange(&manager, true);
    tw::Application->SetMainForm(previous);
    EXPECT_FALSE(second->Locked);
    EXPECT_TRUE(second->Redraw.empty());
    EXPECT_FALSE(WindowAnimating);
}

} // namespace
} // namespace skin
