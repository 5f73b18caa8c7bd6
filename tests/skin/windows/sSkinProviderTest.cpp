// The skin provider on a real form under Wine: hit codes of the drawn frame,
// clicks on the drawn caption buttons, the region following the size, and
// handing the form back when the skin goes.
#include "skin/windows/sSkinProvider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that records the messages its own procedure gets.
class TRecordingForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<UINT>* Seen = nullptr;
    void WndProc(tw::TMessage& m) override
    {
        if (Seen && (m.Msg == WM_DESTROY || m.Msg == WM_NCDESTROY || m.Msg == WM_NCHITTEST))
            Seen->push_back(m.Msg);
        tw::TForm::WndProc(m);
    }
};

class SkinProviderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new TRecordingForm(tw::Application);
        form->Seen = &seen;
        form->SetText("Provider");
        form->SetBounds(60, 60, 400, 300);
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    HWND Show()
    {
        provider = new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        return form->Handle();
    }
    // Hit code at a point in window coordinates.
    int Hit(int x, int y) { return test::NcHit(form->Handle(), x, y); }
    static TPoint Centre(const TRect& r) { return TPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }
    void Click(int code, TPoint at)
    {
        RECT wr;
        GetWindowRect(form->Handle(), &wr);
        const LPARAM lp = MAKELPARAM(wr.left + at.X, wr.top + at.Y);
        SendMessageW(form->Handle(), WM_NCLBUTTONDOWN, code, lp);
        SendMessageW(form->Handle(), WM_NCLBUTTONUP, code, lp);
        tw::Application->ProcessMessages();
    }
    SIZE RegionSize()
    {
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        RECT box{};
        const int kind = GetWindowRgn(form->Handle(), rgn);
        GetRgnBox(rgn, &box);
        DeleteObject(rgn);
        if (kind == ERROR)
            return SIZE{-1, -1};
        return SIZE{box.right - box.left, box.bottom - box.top};
    }

    TsSkinManager manager;
    TRecordingForm* form = nullptr;
    TsSkinProvider* provider = nullptr; // owned by the form
    std::vector<UINT> seen;
};

TEST_F(SkinProviderTest, HitCodesFollowTheDrawnFrame)
{
    Show();
    ASSERT_TRUE(provider->Skinned());
    EXPECT_EQ(QueryProvider(form), static_cast<TSkinnedFormLink*>(provider));

    // Lay the buttons out once through a hit test, then ask at each.
    EXPECT_EQ(Hit(200, 10), htCaption);
    const TCaptionLayout b = provider->Buttons();
    seen.clear();
    ASSERT_GT(b.Close.Right, b.Close.Left);
    EXPECT_EQ(Hit(Centre(b.Close).X, Centre(b.Close).Y), htClose);
    EXPECT_EQ(provider->HotCode(), htClose);
    EXPECT_EQ(Hit(Centre(b.Max).X, Centre(b.Max).Y), htMaxButton);
    EXPECT_EQ(Hit(Centre(b.Min).X, Centre(b.Min).Y), htMinButton);
    EXPECT_LT(b.Min.Right, b.Max.Left + 1);

    RECT wr, cr;
    GetWindowRect(form->Handle(), &wr);
    GetClientRect(form->Handle(), &cr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    EXPECT_EQ(Hit(0, 150), htLeft);
    EXPECT_EQ(Hit(w - 1, 150), htRight);
    EXPECT_EQ(Hit(200, 0), htTop);
    EXPECT_EQ(Hit(200, h - 1), htBottom);
    EXPECT_EQ(Hit(0, 0), htTopLeft);
    EXPECT_EQ(Hit(w - 1, 0), htTopRight);
    EXPECT_EQ(Hit(0, h - 1), htBottomLeft);
    EXPECT_EQ(Hit(w - 1, h - 1), htBottomRight);
    // The form's own procedure never saw the hit tests of the drawn frame,
    // but decides over its client area.
    EXPECT_TRUE(std::find(seen.begin(), seen.end(), UINT(WM_NCHITTEST)) == seen.end());
    EXPECT_EQ(Hit(200, 150), htClient);
    EXPECT_EQ(provider->HotCode(), 0);
    EXPECT_EQ(seen, std::vector<UINT>{WM_NCHITTEST});
}

TEST_F(SkinProviderTest, DrawnButtonsDoWhatTheSystemCommandsDo)
{
    HWND wnd = Show();
    Hit(200, 10);
    const TCaptionLayout b = provider->Buttons();

    Click(htMaxButton, Centre(b.Max));
    EXPECT_TRUE(IsZoomed(wnd));
    // Maximized, the region cuts off the frame the system puts off screen.
    RECT wr;
    GetWindowRect(wnd, &wr);
    const SIZE zoomed = RegionSize();
    EXPECT_LT(zoomed.cx, wr.right - wr.left);
    Hit(200, 10);
    Click(htMaxButton, Centre(provider->Buttons().Max));
    EXPECT_FALSE(IsZoomed(wnd));

    Hit(200, 10);
    Click(htMinButton, Centre(provider->Buttons().Min));
    EXPECT_TRUE(IsIconic(wnd));
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    // A press that ends elsewhere does nothing.
    Hit(200, 10);
    const TPoint close = Centre(provider->Buttons().Close);
    RECT r;
    GetWindowRect(wnd, &r);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htClose, MAKELPARAM(r.left + close.X, r.top + close.Y));
    EXPECT_TRUE(provider->ButtonPressed());
    SendMessageW(wnd, WM_NCLBUTTONUP, htCaption, MAKELPARAM(r.left + 200, r.top + 10));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(wnd));

    Click(htClose, close);
    EXPECT_FALSE(IsWindowVisible(wnd));
}

TEST_F(SkinProviderTest, RegionFollowsTheSize)
{
    HWND wnd = Show();
    RECT wr;
    GetWindowRect(wnd, &wr);
    SIZE s = RegionSize();
    EXPECT_EQ(s.cx, wr.right - wr.left);
    EXPECT_EQ(s.cy, wr.bottom - wr.top);
    form->SetBounds(60, 60, 520, 260);
    tw::Application->ProcessMessages();
    GetWindowRect(wnd, &wr);
    s = RegionSize();
    EXPECT_EQ(s.cx, 520);
    EXPECT_EQ(s.cy, 260);
}

TEST_F(SkinProviderTest, RemovingTheSkinGivesTheFormBack)
{
    form->SetColor(0x00123456);
    HWND wnd = Show();
    EXPECT_EQ(form->Color(), tw::TColor(manager.GetGlobalColor()));
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(provider->Skinned());
    // The skin's colour goes with the skin: the system's face, not the
    // colour the form had before.
    EXPECT_EQ(form->Color(), tw::clBtnFace);
    // The provider stays the form's, unskinned, and keeps its place in the
    // registry for the next skin.
    ASSERT_EQ(QueryProvider(form), static_cast<TSkinnedFormLink*>(provider));
    EXPECT_FALSE(QueryProvider(form)->FormSkinned());
    EXPECT_EQ(RegionSize().cx, -1);
    // Hit tests reach the form's own procedure again.
    seen.clear();
    Hit(200, 150);
    EXPECT_EQ(seen, std::vector<UINT>{WM_NCHITTEST});
    const auto& registry = SkinnedForms();
    EXPECT_EQ(std::count(registry.begin(), registry.end(), form), 1);

    // A new skin announced to the forms takes the form over again.
    tw::TMessage loaded{SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager), 0};
    BroadcastToForms(loaded);
    EXPECT_TRUE(provider->Skinned());
    EXPECT_NE(RegionSize().cx, -1);
    EXPECT_EQ(QueryProvider(form), static_cast<TSkinnedFormLink*>(provider));
}

TEST_F(SkinProviderTest, LateMessagesReachTheFormsOwnProcedure)
{
    auto ended = [&] {
        return std::find(seen.begin(), seen.end(), UINT(WM_DESTROY)) != seen.end() &&
               std::find(seen.begin(), seen.end(), UINT(WM_NCDESTROY)) != seen.end();
    };
    // A skinned window destroyed from outside: its end passes through the
    // provider to the form.
    DestroyWindow(Show());
    EXPECT_TRUE(ended());
    EXPECT_FALSE(form->HandleAllocated());

    // Skin removed: the form's own procedure has the window again.
    seen.clear();
    HWND wnd = form->Handle();
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SKINREMOVED), 0);
    DestroyWindow(wnd);
    EXPECT_TRUE(ended());

    // Provider freed while skinned: the same.
    seen.clear();
    provider->ApplySkin();
    ASSERT_TRUE(provider->Skinned());
    delete provider;
    DestroyWindow(form->Handle());
    EXPECT_TRUE(ended());
}

TEST_F(SkinProviderTest, ExcludedFormsAndMissingSkinsAreLeftAlone)
{
    form->SetTag(acNoSkinTag);
    Show();
    EXPECT_FALSE(provider->Skinned());
    EXPECT_EQ(RegionSize().cx, -1);

    // Without a loaded skin there is nothing to draw with.
    {
        TsSkinManager empty;
        DefaultManager = &empty;
        auto* other = new tw::TForm(tw::Application);
        auto* p = new TsSkinProvider(other);
        EXPECT_FALSE(p->Skinned());
        delete other;
    }
    DefaultManager = &manager;
}

TEST_F(SkinProviderTest, OutlineDragMovesOrSizesOnceAtTheRelease)
{
    HWND wnd = Show();
    provider->SetResizeMode(rmBorder);
    RECT start;
    GetWindowRect(wnd, &start);
    auto client = [&](int sx, int sy) {
        POINT p{sx, sy};
        ScreenToClient(wnd, &p);
        return MAKELPARAM(p.x, p.y);
    };
    auto rect = [&] {
        RECT r;
        GetWindowRect(wnd, &r);
        return r;
    };
    auto same = [&](const RECT& a) {
        const RECT b = rect();
        return EqualRect(&a, &b) != 0;
    };

    // The right edge dragged 50 pixels: nothing moves until the release.
    const int edgeX = start.right - 1, midY = (start.top + start.bottom) / 2;
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htRight, MAKELPARAM(edgeX, midY));
    ASSERT_TRUE(provider->Dragging());
    SendMessageW(wnd, WM_MOUSEMOVE, 0, client(edgeX + 50, midY));
    EXPECT_EQ(rect().right, start.right);
    SendMessageW(wnd, WM_LBUTTONUP, 0, client(edgeX + 50, midY));
    EXPECT_FALSE(provider->Dragging());
    EXPECT_EQ(rect().right, start.right + 50);
    EXPECT_EQ(rect().left, start.left);

    // Far to the left it stops at the form's minimum width.
    RECT r = rect();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htRight, MAKELPARAM(r.right - 1, midY));
    SendMessageW(wnd, WM_MOUSEMOVE, 0, client(r.left - 300, midY));
    SendMessageW(wnd, WM_LBUTTONUP, 0, client(r.left - 300, midY));
    EXPECT_EQ(rect().right - rect().left, GetSystemMetrics(SM_CXMINTRACK));

    // A press and release without moving changes nothing; neither does a
    // drag whose capture is taken away.
    r = rect();
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htTopLeft, MAKELPARAM(r.left, r.top));
    SendMessageW(wnd, WM_LBUTTONUP, 0, client(r.left, r.top));
    EXPECT_TRUE(same(r));
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htTopLeft, MAKELPARAM(r.left, r.top));
    SendMessageW(wnd, WM_MOUSEMOVE, 0, client(r.left - 20, r.top - 20));
    ReleaseCapture();
    EXPECT_FALSE(provider->Dragging());
    EXPECT_TRUE(same(r));

    // The caption moves the whole window.
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htCaption, MAKELPARAM(r.left + 100, r.top + 10));
    SendMessageW(wnd, WM_MOUSEMOVE, 0, client(r.left + 130, r.top + 30));
    SendMessageW(wnd, WM_NCLBUTTONUP, htCaption, MAKELPARAM(r.left + 130, r.top + 30));
    const RECT moved = rect();
    EXPECT_EQ(moved.left, r.left + 30);
    EXPECT_EQ(moved.top, r.top + 20);
    EXPECT_EQ(moved.right - moved.left, r.right - r.left);
}

TEST(SkinProviderPlatform, CompositionAnswersComeFromTheSeam)
{
    TPlatformAnswers& a = PlatformAnswers();
    const TPlatformAnswers saved = a;
    a.CompositionEnabled = [] { return true; };
    a.MajorVersion = [] { return DWORD(5); };
    EXPECT_FALSE(DwmCompositionEnabled());
    a.MajorVersion = [] { return DWORD(6); };
    EXPECT_TRUE(DwmCompositionEnabled());
    a.CompositionEnabled = [] { return false; };
    EXPECT_FALSE(DwmCompositionEnabled());
    // The skin manager's shadow margins ask the same seam.
    EXPECT_FALSE(PlatformAnnouncer().CompositionEnabled());
    a.CompositionEnabled = [] { return true; };
    EXPECT_TRUE(PlatformAnnouncer().CompositionEnabled());
    a.MajorVersion = [] { return DWORD(5); };
    EXPECT_FALSE(PlatformAnnouncer().CompositionEnabled());
    a = saved;
}

} // namespace
} // namespace skin

#endif
