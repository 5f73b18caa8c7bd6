// The cover over the title while the form's own procedure draws the
// system's caption (a new text, an activation change), under Wine with real
// messages: where it lies, that it never takes the activation, that it is
// gone afterwards, that a locked form gets none, and that the compositor's
// way (the form marked invisible for the call) takes its place there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// The windows of this thread the program keeps out of the skinning (tag
// -98) that are not halos (those are layered).
struct TCovers {
    int All = 0;
    int Visible = 0;
    HWND Wnd = nullptr;   // the last visible one
    RECT Rect{};
    LONG_PTR ExStyle = 0;
    LONG_PTR Style = 0;
    bool Skinned = false;   // its provider put the skin on it
    const tw::TComponent* Owner = nullptr;
};

BOOL CALLBACK NoteCover(HWND wnd, LPARAM lp)
{
    auto& seen = *reinterpret_cast<TCovers*>(lp);
    auto* form = dynamic_cast<tw::TCustomForm*>(tw::TWinControl::FromHandle(wnd));
    const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    if (!form || form->Tag() != acNoSkinTag || (ex & WS_EX_LAYERED))
        return TRUE;
    ++seen.All;
    if (IsWindowVisible(wnd)) {
        ++seen.Visible;
        seen.Wnd = wnd;
        seen.ExStyle = ex;
        seen.Style = GetWindowLongPtrW(wnd, GWL_STYLE);
        const TsSkinProvider* provider = FindProvider(form);
        seen.Skinned = provider && provider->Skinned();
        seen.Owner = form->Owner();
        GetWindowRect(wnd, &seen.Rect);
    }
    return TRUE;
}

TCovers FindCovers()
{
    TCovers seen;
    EnumThreadWindows(GetCurrentThreadId(), NoteCover, reinterpret_cast<LPARAM>(&seen));
    return seen;
}

BOOL CALLBACK CountWindow(HWND, LPARAM lp)
{
    ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

int ThreadWindows()
{
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
}

// A form whose own procedure notes, while it handles the caption messages,
// what lies over its title.
class TCoverProbeForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    struct TSeen {
        UINT Msg = 0;
        TCovers Covers;
        HWND Active = nullptr;
        HWND Above = nullptr;   // the window right above the form
        bool Visible = false;   // the form's WS_VISIBLE
        int AppComponents = 0;  // what the application owned meanwhile
    };
    std::vector<TSeen> Seen;
    void WndProc(tw::TMessage& m) override
    {
        if ((m.Msg == WM_SETTEXT || m.Msg == WM_NCACTIVATE) && HandleAllocated()) {
            TSeen s;
            s.Msg = m.Msg;
            s.Covers = FindCovers();
            s.Active = GetActiveWindow();
            s.Above = GetWindow(Handle(), GW_HWNDPREV);
            s.Visible = (GetWindowLongPtrW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
            s.AppComponents = tw::Application->ComponentCount();
            Seen.push_back(s);
        }
        tw::TForm::WndProc(m);
    }
};

class ProviderCaptionCoverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedAnswers = PlatformAnswers();
        ASSERT_TRUE(test::StartFormSkinning(manager));
    }
    void TearDown() override
    {
        delete form;
        PlatformAnswers() = savedAnswers;
        test::EndFormSkinning();
    }
    HWND Show(bool withMenu = false)
    {
        form = new TCoverProbeForm(tw::Application);
        form->SetText("Cover");
        form->SetBounds(80, 80, 400, 260);
        if (withMenu) {
            auto* menu = new tw::TMainMenu(form);
            for (const char* caption : {"&Recording", "&Help"}) {
                auto* item = new tw::TMenuItem(menu);
                item->SetCaption(caption);
                menu->Items()->Add(item);
            }
            form->SetMenu(menu);
        }
        form->Show();
        tw::Application->ProcessMessages();
        HWND wnd = form->Handle();
        SetActiveWindow(wnd);
        tw::Application->ProcessMessages();
        form->Seen.clear();
        return wnd;
    }
    // The title strip as the system lays it out: the frame and caption
    // heights of the metrics, the whole width of the window.
    static RECT TitleStrip(HWND wnd)
    {
        RECT r;
        GetWindowRect(wnd, &r);
        r.bottom = r.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
        return r;
    }
    // The one cover seen by the form's procedure lies over the strip, right
    // above the form, and the form stays the active window.
    static void ExpectCovered(const TCoverProbeForm::TSeen& s, HWND wnd, const RECT& strip)
    {
        ASSERT_EQ(s.Covers.Visible, 1) << "message " << s.Msg;
        EXPECT_EQ(s.Covers.All, 1);
        EXPECT_TRUE(EqualRect(&s.Covers.Rect, &strip))
            << s.Covers.Rect.left << "," << s.Covers.Rect.top << "," << s.Covers.Rect.right << ","
            << s.Covers.Rect.bottom << " against " << strip.left << "," << strip.top << "," << strip.right << ","
            << strip.bottom;
        EXPECT_EQ(s.Active, wnd);
        EXPECT_NE(s.Active, s.Covers.Wnd);
        EXPECT_EQ(s.Above, s.Covers.Wnd);
        EXPECT_TRUE(s.Visible);
        // A bare window: no frame, no skin.
        EXPECT_EQ(s.Covers.Style & (WS_CAPTION | WS_THICKFRAME | WS_CHILD), 0);
        EXPECT_FALSE(s.Covers.Skinned);
    }

    TPlatformAnswers savedAnswers;
    TsSkinManager manager;
    TCoverProbeForm* form = nullptr;
};

// Within tol of the range the FORMTITLE section paints its title in (its
// colours and its gradient's).
bool InTitleColours(const TsSkinManager& sm, COLORREF c, int tol)
{
    const int i = sm.GetSkinIndex("FORMTITLE");
    if (i < 0)
        return false;
    const TsGeneralData& gd = sm.gd[size_t(i)];
    std::vector<TColor> colours{gd.Color, gd.HotColor};
    for (const TsGradPie& g : gd.GradientArray) {
        colours.push_back(g.Color1);
        colours.push_back(g.Color2);
    }
    for (int shift : {0, 8, 16}) {
        int lo = 255, hi = 0;
        for (TColor t : colours) {
            lo = std::min(lo, int((t >> shift) & 0xFF));
            hi = std::max(hi, int((t >> shift) & 0xFF));
        }
        const int v = int((c >> shift) & 0xFF);
        if (v < lo - tol || v > hi + tol)
            return false;
    }
    return true;
}

TEST_F(ProviderCaptionCoverTest, NewTextIsSetUnderACoverOverTheTitleAndTheSkinsTitleShows)
{
    HWND wnd = Show();
    const RECT strip = TitleStrip(wnd);
    // The strip is the title the system laid out: it ends at the client.
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    ASSERT_EQ(strip.bottom, origin.y);
    const int before = ThreadWindows();

    SetWindowTextW(wnd, L"Cover two");
    ASSERT_EQ(form->Seen.size(), 1u);
    ExpectCovered(form->Seen[0], wnd, strip);
    EXPECT_EQ(form->Seen[0].Covers.ExStyle & WS_EX_TOPMOST, 0);
    wchar_t text[32] = {};
    GetWindowTextW(wnd, text, 32);
    EXPECT_STREQ(text, L"Cover two");

    // Gone with the call, and no window left behind.
    EXPECT_EQ(FindCovers().All, 0);
    tw::Application->ProcessMessages();
    EXPECT_EQ(ThreadWindows(), before);

    // What is on the screen over the title is the skin's title, not the
    // system's caption (the section's colours stand apart from it here).
    const COLORREF system = GetSysColor(COLOR_ACTIVECAPTION);
    ASSERT_FALSE(InTitleColours(manager, system, 8));
    HDC screen = GetDC(nullptr);
    const COLORREF shown = GetPixel(screen, (strip.left + strip.right) / 2, (strip.top + strip.bottom) / 2);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(InTitleColours(manager, shown, 8)) << std::hex << shown;
}

// The provider alone owns its cover: owned by the application as well, a
// cover up while the application deletes its components (last first) would
// be deleted twice.
TEST_F(ProviderCaptionCoverTest, TheCoverBelongsToItsProviderAlone)
{
    HWND wnd = Show();
    const int before = tw::Application->ComponentCount();
    SetWindowTextW(wnd, L"Owned once");
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 3u);
    for (const TCoverProbeForm::TSeen& s : form->Seen) {
        ASSERT_EQ(s.Covers.Visible, 1) << "message " << s.Msg;
        EXPECT_EQ(s.Covers.Owner, nullptr) << "message " << s.Msg;
        EXPECT_EQ(s.AppComponents, before) << "message " << s.Msg;
    }
    EXPECT_EQ(tw::Application->ComponentCount(), before);
}

TEST_F(ProviderCaptionCoverTest, ActivationChangeIsCoveredDownToTheMenuLine)
{
    HWND wnd = Show(true);
    // The cover ends where the system's menu line begins.
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    ASSERT_TRUE(GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi));
    RECT strip;
    GetWindowRect(wnd, &strip);
    strip.bottom = mbi.rcBar.top;
    // (Wine leaves a line between the caption and the menu line.)
    const int title = GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    ASSERT_GE(strip.bottom - strip.top, title);
    ASSERT_LE(strip.bottom - strip.top, title + 1);
    const int before = ThreadWindows();

    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 2u);
    for (const TCoverProbeForm::TSeen& s : form->Seen)
        ExpectCovered(s, wnd, strip);
    EXPECT_EQ(FindCovers().All, 0);
    tw::Application->ProcessMessages();
    EXPECT_EQ(ThreadWindows(), before);
    EXPECT_EQ(GetActiveWindow(), wnd);
}

TEST_F(ProviderCaptionCoverTest, TopmostFormGetsATopmostCover)
{
    HWND wnd = Show();
    SetWindowPos(wnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    tw::Application->ProcessMessages();
    form->Seen.clear();
    SetWindowTextW(wnd, L"On top");
    ASSERT_EQ(form->Seen.size(), 1u);
    ASSERT_EQ(form->Seen[0].Covers.Visible, 1);
    EXPECT_NE(form->Seen[0].Covers.ExStyle & WS_EX_TOPMOST, 0);
    EXPECT_NE(form->Seen[0].Active, form->Seen[0].Covers.Wnd);
    EXPECT_EQ(FindCovers().All, 0);
}

TEST_F(ProviderCaptionCoverTest, LockedFormOrOneWithoutDrawnFrameGetsNoCover)
{
    HWND wnd = Show();
    TsSkinProvider* p = FindProvider(form);
    ASSERT_NE(p, nullptr);
    // Under the skin-change lock the form is drawn whole when let go.
    p->SetSkinChangeLock(true);
    SetWindowTextW(wnd, L"Locked");
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    p->SetSkinChangeLock(false);
    ASSERT_EQ(form->Seen.size(), 2u);
    EXPECT_EQ(form->Seen[0].Covers.All, 0);
    EXPECT_EQ(form->Seen[1].Covers.All, 0);

    // Let go, it has one again.
    form->Seen.clear();
    SetWindowTextW(wnd, L"Free");
    ASSERT_EQ(form->Seen.size(), 1u);
    EXPECT_EQ(form->Seen[0].Covers.Visible, 1);

    // The system's frame: nothing to cover.
    p->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    form->Seen.clear();
    SetWindowTextW(wnd, L"System");
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 2u);
    EXPECT_EQ(form->Seen[0].Covers.All, 0);
    EXPECT_EQ(form->Seen[1].Covers.All, 0);
    EXPECT_EQ(FindCovers().All, 0);
}

TEST_F(ProviderCaptionCoverTest, UnderTheCompositorTheActivationHidesTheFormInstead)
{
    HWND wnd = Show();
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    PlatformAnswers().CompositionEnabled = [] { return true; };
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    SetWindowTextW(wnd, L"Composed");
    ASSERT_EQ(form->Seen.size(), 2u);
    // The activation: no cover, the form marked invisible for the call.
    EXPECT_EQ(form->Seen[0].Covers.All, 0);
    EXPECT_FALSE(form->Seen[0].Visible);
    // The text: set plainly, the title drawn again afterwards.
    EXPECT_EQ(form->Seen[1].Covers.All, 0);
    EXPECT_TRUE(form->Seen[1].Visible);
    EXPECT_NE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_TRUE(IsWindowVisible(wnd));
}

TEST_F(ProviderCaptionCoverTest, ActivationDuringTheShowFadeIsDrawnWithRedrawingOff)
{
    manager.AnimEffects.FormShow.Active = true;
    manager.AnimEffects.FormShow.Time = 16;   // two frames keep the test short
    form = new TCoverProbeForm(tw::Application);
    form->SetText("Fade");
    form->SetBounds(80, 80, 400, 260);
    form->Show();
    tw::Application->ProcessMessages();
    HWND wnd = form->Handle();
    TsSkinProvider* p = FindProvider(form);
    ASSERT_TRUE(p && p->Skinned());
    const auto it = std::find_if(form->Seen.begin(), form->Seen.end(),
                                 [](const TCoverProbeForm::TSeen& s) { return s.Msg == WM_NCACTIVATE; });
    ASSERT_NE(it, form->Seen.end());
    // The system draws into a window whose drawing is off, under no cover.
    EXPECT_EQ(it->Covers.All, 0);
    EXPECT_FALSE(it->Visible);
    // Drawing is on again afterwards.
    EXPECT_EQ(p->RedrawSuspendCount(), 0);
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_EQ(FindCovers().All, 0);
}

BOOL WINAPI NoLayeredUpdate(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow NoLayeredEntry() { return NoLayeredUpdate; }

TEST_F(ProviderCaptionCoverTest, ExtendedBorderCoversItsTitleOnlyForAFormWithAMenuLine)
{
    // Layered windows cannot be seen under Wine: the border window's
    // pictures go nowhere.
    test::TLayeredEntryScope layered(NoLayeredEntry);
    HWND wnd = Show(true);
    auto shadow = std::make_shared<tw::TPixelImage>(24, 24, 32);
    manager.ShadowActive = shadow;
    manager.ShadowInactive = shadow;
    manager.SetExtendedBorders(true);
    manager.UpdateExtBorderImages();
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    TsSkinProvider* p = FindProvider(form);
    ASSERT_NE(p->BorderForm(), nullptr);

    // The border window's title strip: inside the system's frame of the
    // form, the skin's title high, ending where the form's own title ends.
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int b = GetSystemMetrics(SM_CXFRAME);
    const int bottom = wr.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION);
    const RECT strip{wr.left + b, bottom - manager.SkinData.TitleHeight, wr.right - b, bottom};
    // A region left behind is built again before the activation is drawn.
    SetWindowRgn(wnd, nullptr, FALSE);
    form->Seen.clear();
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 1u);
    ExpectCovered(form->Seen[0], wnd, strip);
    EXPECT_EQ(FindCovers().All, 0);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);

    // Maximized with a skin title lower than the system caption plus 4: the
    // raised title is covered, still ending where the form's own title ends.
    manager.SkinData.TitleHeight = manager.SkinData.MaxHeight = 10;
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(p->TitleHeightRaised());
    GetWindowRect(wnd, &wr);
    const int cap = GetSystemMetrics(SM_CYCAPTION);
    const int top = wr.top + GetSystemMetrics(SM_CYFRAME) + cap;
    const RECT raised{wr.left + b, top - (cap + 4), wr.right - b, top};
    form->Seen.clear();
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 1u);
    ExpectCovered(form->Seen[0], wnd, raised);
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    // Without a menu line nothing of the system's caption lies inside the
    // form's region: no cover.
    form->SetMenu(nullptr);
    tw::Application->ProcessMessages();
    ASSERT_EQ(GetMenu(wnd), nullptr);
    form->Seen.clear();
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    ASSERT_EQ(form->Seen.size(), 1u);
    EXPECT_EQ(form->Seen[0].Covers.All, 0);
}

} // namespace
} // namespace skin

#endif
