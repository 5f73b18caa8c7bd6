// The skin manager on Windows: our own skin from the program's resources,
// announced to real forms, and the popup-menu messages of the main window.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>

#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "ui/Application.h"
#include "ui/Forms.h"

namespace skin {
namespace {

const char* const kOwnSkin = "Tarnwick8 (internal)";

// A form that takes part in the protocol and writes down each sub-command.
class TListeningForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<uint16_t> Commands;
    bool Skinned = true;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD) {
            if (SkinCommandOf(m.WParam) == AC_QUERYSKINNED) {
                m.Result = Skinned ? 1 : 0;
                return;
            }
            Commands.push_back(SkinCommandOf(m.WParam));
            return;
        }
        tw::TForm::WndProc(m);
    }
};

class SkinManagerWin : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        DefaultManager = nullptr;
        // An empty skin folder of our own: nothing outside the test decides
        // which skin loads.
        dir = std::filesystem::temp_directory_path() / "tarnwick_skinmgr_win";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        manager = std::make_unique<TsSkinManager>();
        manager->SetSkinDirectory(dir.string());
    }
    void TearDown() override
    {
        manager.reset();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    std::unique_ptr<TsSkinManager> manager;
};

TEST_F(SkinManagerWin, OwnSkinComesFromTheProgramsResources)
{
    EXPECT_FALSE(AddInternalSkinFromResource(*manager, L"NOSUCHSKIN", "x"));
    ASSERT_TRUE(AddInternalSkinFromResource(*manager, kOwnSkinResource, kOwnSkin));
    manager->SetSkinName(kOwnSkin);
    EXPECT_TRUE(manager->SkinLoaded());
    EXPECT_TRUE(manager->PackedSkin());
    EXPECT_GE(manager->GetSkinIndex("FORM"), 0);
    EXPECT_FALSE(manager->ProgramFolder.empty());
    // The built-in shadows of extended borders come with every manager.
    ASSERT_TRUE(manager->ShadowActive);
    ASSERT_TRUE(manager->ShadowInactive);
    EXPECT_EQ(manager->ShadowActive->BitsPerPixel(), 32);
}

TEST_F(SkinManagerWin, ActivationDropsEveryFormsCachedPicture)
{
    TListeningForm a(tw::Application), b(tw::Application);
    // Forms the application does not own keep no stale picture either.
    TListeningForm loose(nullptr);
    TListeningForm owned(&a);
    a.Handle();
    b.Handle();
    loose.Handle();
    owned.Handle();
    tw::TMessage m{tw::CM_ACTIVATE, 0, 0, 0};
    EXPECT_FALSE(tw::Application->CallMainWindowHooks(m));   // others see it too
    EXPECT_EQ(a.Commands, std::vector<uint16_t>{AC_RESETCACHE});
    EXPECT_EQ(b.Commands, std::vector<uint16_t>{AC_RESETCACHE});
    EXPECT_EQ(loose.Commands, std::vector<uint16_t>{AC_RESETCACHE});
    EXPECT_EQ(owned.Commands, std::vector<uint16_t>{AC_RESETCACHE});
}

TEST_F(SkinManagerWin, MainWindowHookActsOnlyWhilePopupMenusAreSkinned)
{
    TListeningForm a(tw::Application);
    a.Handle();
    tw::TMessage theme{WM_THEMECHANGED, 0, 0, 0};
    EXPECT_TRUE(tw::Application->CallMainWindowHooks(theme));   // the system's theme stays out
    EXPECT_EQ(theme.Result, 1);

    manager->SetSkinnedPopups(false);
    tw::TMessage again{WM_THEMECHANGED, 0, 0, 0};
    EXPECT_FALSE(tw::Application->CallMainWindowHooks(again));
    tw::TMessage activate{tw::CM_ACTIVATE, 0, 0, 0};
    EXPECT_FALSE(tw::Application->CallMainWindowHooks(activate));
    EXPECT_TRUE(a.Commands.empty());
    tw::TMessage popup{WM_SKINPOPUPMENUWINDOW, 0, 0, 0};
    EXPECT_FALSE(tw::Application->CallMainWindowHooks(popup));
}

TEST_F(SkinManagerWin, DefaultSkinFolderOfTheTestPrefixHoldsNoSkin)
{
    // The program's default skin folder would win over the built-in skin;
    // the tests' prefix must not have one there.
    TsSkinManager probe;
    EXPECT_EQ(probe.SkinDirectory(), "c:\\Skins");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(probe.GetFullSkinDirectory()) / kOwnSkin));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(probe.GetFullSkinDirectory()) / (std::string(kOwnSkin) + ".asz")));
}

TEST_F(SkinManagerWin, EveryFormHearsOfTheSkinOnceAndOfItsRemoval)
{
    ASSERT_TRUE(AddInternalSkinFromResource(*manager, kOwnSkinResource, kOwnSkin));
    TListeningForm plain(tw::Application), registered(tw::Application);
    plain.Skinned = false;   // not skinned yet: reached as an application form
    plain.Handle();
    registered.Handle();
    AddSkinnedForm(&registered);
    manager->SetSkinName(kOwnSkin);
    const std::vector<uint16_t> announced = {AC_SKINLOADED, AC_STOPANIMATION, AC_SKINREFRESH};
    EXPECT_EQ(plain.Commands, announced);
    EXPECT_EQ(registered.Commands, announced);
    plain.Commands.clear();
    registered.Commands.clear();
    manager->SetActive(false);
    EXPECT_EQ(registered.Commands, std::vector<uint16_t>{AC_SKINREMOVED});
    EXPECT_EQ(plain.Commands, std::vector<uint16_t>{AC_SKINREMOVED});
    RemoveSkinnedForm(&registered);
}

TEST_F(SkinManagerWin, NewSkinResetsTheMenuCacheAndRedrawsTheAdaptedWindows)
{
    ASSERT_TRUE(AddInternalSkinFromResource(*manager, kOwnSkinResource, kOwnSkin));
    static int redraws = 0;
    redraws = 0;
    int resets = 0;
    // The seams the window side set go back to it afterwards.
    const auto savedRedraw = RedrawAdaptedWindows;
    const auto savedReset = ResetMenuSkinCache;
    RedrawAdaptedWindows = [] { ++redraws; };
    ResetMenuSkinCache = [&](TsSkinManager& m) {
        EXPECT_EQ(&m, manager.get());
        // Before the forms hear of the skin: they may paint menus at once.
        EXPECT_FALSE(m.SkinLoaded());
        ++resets;
    };
    manager->SetSkinName(kOwnSkin);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(redraws, 1);
    // A hue change repaints without a new announcement.
    manager->SetHueOffset(20);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(redraws, 2);
    RedrawAdaptedWindows = nullptr;
    ResetMenuSkinCache = nullptr;
    manager->SetSkinName(kOwnSkin);   // without the seams nothing is called
    RedrawAdaptedWindows = savedRedraw;
    ResetMenuSkinCache = savedReset;
}

TEST_F(SkinManagerWin, WindowHookFollowsTheSkin)
{
    ASSERT_TRUE(AddInternalSkinFromResource(*manager, kOwnSkinResource, kOwnSkin));
    int created = 0;
    static int* counter = nullptr;
    counter = &created;
    SkinCBTHookProc = [](int code, WPARAM w, LPARAM l) -> LRESULT {
        if (code == HCBT_CREATEWND) ++*counter;
        return CallNextHookEx(nullptr, code, w, l);
    };
    manager->SetSkinName(kOwnSkin);
    EXPECT_TRUE(manager->HookInstalled());
    ASSERT_NE(SkinHookHandle(), nullptr);
    tw::TForm form(nullptr);
    form.Handle();
    EXPECT_GE(created, 1);
    manager->SetActive(false);
    EXPECT_FALSE(manager->HookInstalled());
    EXPECT_EQ(SkinHookHandle(), nullptr);
    const int before = created;
    tw::TForm other(nullptr);
    other.Handle();
    EXPECT_EQ(created, before);
    SkinCBTHookProc = nullptr;
}

TEST_F(SkinManagerWin, PopupMenuMessagesSkinOnlyOurOwnMenuWindows)
{
    std::vector<HWND> skinned;
    SubclassPopupMenuWindow = [&](HWND w) { skinned.push_back(w); };
    tw::TForm main(tw::Application);
    main.Handle();
    tw::TMessage m{WM_SKINPOPUPMENUWINDOW, 0, reinterpret_cast<LPARAM>(main.Handle()), 0};
    // An ordinary window (say, whatever lies under the mouse) is left alone.
    EXPECT_TRUE(tw::Application->CallMainWindowHooks(m));
    EXPECT_TRUE(skinned.empty());
    const HWND menu = CreateWindowExW(0, L"#32768", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(IsOwnPopupMenuWindow(menu));
    m.LParam = reinterpret_cast<LPARAM>(menu);
    EXPECT_TRUE(tw::Application->CallMainWindowHooks(m));
    EXPECT_EQ(skinned, std::vector<HWND>{menu});
    DestroyWindow(menu);
    SubclassPopupMenuWindow = nullptr;
}

} // namespace
} // namespace skin
