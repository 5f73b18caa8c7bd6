// Rows of the provider's window procedure and its setters under Wine, with
// real messages: what reaches the form's own procedure and what ends at the
// provider, the skin's removal and refresh, printing, the caption buttons'
// release, the snap to the work area, the maximized placement, the picture
// the controls take as their background, and the main menu's line.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDials.h"
#include "skin/windows/acSBAnimation.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that notes the messages its own procedure gets.
class TNotingForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<UINT> Seen;
    std::vector<uint16_t> Commands;
    int NcPaints = 0;
    int Measures = 0;
    bool Scrolled = false;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD)
            Commands.push_back(SkinCommandOf(m.WParam));
        else if (m.Msg == WM_NCPAINT)
            ++NcPaints;
        else if (m.Msg == WM_MEASUREITEM)
            ++Measures;
        else
            Seen.push_back(m.Msg);
        tw::TForm::WndProc(m);
    }
    bool Saw(UINT msg) const { return std::find(Seen.begin(), Seen.end(), msg) != Seen.end(); }

protected:
    void CreateParams(tw::TCreateParams& p) override
    {
        tw::TForm::CreateParams(p);
        if (Scrolled)
            p.Style |= WS_HSCROLL | WS_VSCROLL;
    }
};

// Counts the frame paints the window gets, before the class library (and
// the provider in it) sees them.
WNDPROC g_countPrev = nullptr;
int g_ncPaints = 0;
LRESULT CALLBACK CountNcPaintProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCPAINT)
        ++g_ncPaints;
    return CallWindowProcW(g_countPrev, wnd, msg, wp, lp);
}

// A popup menu came up while a message was handled (the guard timer ended it).
bool g_menuEnded = false;
void CALLBACK EndMenuGuard(HWND, UINT, UINT_PTR, DWORD)
{
    g_menuEnded = true;
    EndMenu();
}

// Counts the skin refreshes a control's window gets, in front of its adapter.
WNDPROC g_refreshPrev = nullptr;
int g_refreshes = 0;
LRESULT CALLBACK CountRefreshProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_SKINREFRESH)
        ++g_refreshes;
    return CallWindowProcW(g_refreshPrev, wnd, msg, wp, lp);
}

// Counts the skin removals a control's window hears while its adapter still
// holds it, in front of the adapter.
WNDPROC g_removedPrev = nullptr;
int g_removedWhileAdapted = 0;
LRESULT CALLBACK CountRemovedProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_SKINREMOVED && TacMainWnd::Of(wnd))
        ++g_removedWhileAdapted;
    return CallWindowProcW(g_removedPrev, wnd, msg, wp, lp);
}

// Notes, in front of the class library, the skin's sub-commands (with the
// manager they name) and the redraw switches a window gets.
struct TLockSeen {
    UINT Msg;
    WPARAM Value;   // the sub-command, or WM_SETREDRAW's flag
    LPARAM LParam;
    bool operator==(const TLockSeen& o) const { return Msg == o.Msg && Value == o.Value && LParam == o.LParam; }
};
WNDPROC g_lockPrev = nullptr;
std::vector<TLockSeen> g_lockSeen;
LRESULT CALLBACK LockSpyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD)
        g_lockSeen.push_back({msg, SkinCommandOf(wp), lp});
    else if (msg == WM_SETREDRAW)
        g_lockSeen.push_back({msg, wp, 0});
    return CallWindowProcW(g_lockPrev, wnd, msg, wp, lp);
}

// The window answers the own-region query as a window with a region of its
// own does, before the class library sees the message.
WNDPROC g_ownRegionPrev = nullptr;
LRESULT CALLBACK OwnRegionProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == 0xBC4D && wp == 0x41A2)
        return 0x41A2;
    return CallWindowProcW(g_ownRegionPrev, wnd, msg, wp, lp);
}

class ProviderMessageRowsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::StartFormSkinning(manager)); }
    void TearDown() override
    {
        // Embedded forms go before the forms they sit on.
        for (auto it = forms.rbegin(); it != forms.rend(); ++it)
            delete *it;
        test::EndFormSkinning();
    }
    // A shown skinned form with a memo the form's control adapter took.
    void ShownWithAdaptedMemo(HWND& wnd, HWND& memoWnd, TsSkinProvider*& p)
    {
        TNotingForm* f = NewForm(300, 200);
        auto* memo = new tw::TMemo(f);
        memo->SetParent(f);
        memo->SetBounds(10, 10, 150, 80);
        wnd = Shown(f);
        p = FindProvider(f);
        memoWnd = memo->Handle();
        ASSERT_NE(p->CtrlAdapter()->AdapterOf(memoWnd), nullptr);
    }
    TNotingForm* NewForm(int w = 400, int h = 300, bool scrolled = false)
    {
        auto* f = new TNotingForm(tw::Application);
        f->Scrolled = scrolled;
        forms.push_back(f);
        f->SetText("Rows");
        f->SetBounds(60, 60, w, h);
        return f;
    }
    HWND Shown(tw::TCustomForm* f)
    {
        f->Show();
        tw::Application->ProcessMessages();
        return f->Handle();
    }
    // A screen point of a rectangle given in window coordinates.
    static LPARAM ScreenPoint(HWND wnd, int x, int y)
    {
        RECT wr;
        GetWindowRect(wnd, &wr);
        return MAKELPARAM(wr.left + x, wr.top + y);
    }
    int FormSection() const { return manager.GetSkinIndex("FORM"); }

    TsSkinManager manager;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(ProviderMessageRowsTest, GlobalColourSetterAndDefaults)
{
    TNotingForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    EXPECT_EQ(p->SnapBuffer(), 10);
    EXPECT_FALSE(p->ScreenSnap());
    const TColor global = tw::ColorToRGB(manager.gd[size_t(manager.ConstData.IndexGlobalInfo)].Color);
    EXPECT_EQ(tw::ColorToRGB(f->Color()), global);

    // Off: the system's face, even over a colour of the form's own.
    f->SetColor(tw::clRed);
    p->SetUseGlobalColor(false);
    EXPECT_EQ(f->Color(), tw::clBtnFace);
    p->SetUseGlobalColor(true);
    EXPECT_EQ(tw::ColorToRGB(f->Color()), global);
    // On again while the form keeps a colour of its own: the system's face.
    p->SetUseGlobalColor(false);
    p->SkinData().SetCustomColor(true);
    f->SetColor(tw::clRed);
    p->SetUseGlobalColor(true);
    EXPECT_EQ(f->Color(), tw::clBtnFace);

    // Setting a value it has sends nothing; another value repaints the frame.
    tw::Application->ProcessMessages();
    g_countPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountNcPaintProc)));
    g_ncPaints = 0;
    p->SetCaptionAlignment(p->CaptionAlignment());
    p->SetShowAppIcon(p->ShowAppIcon());
    EXPECT_EQ(g_ncPaints, 0);
    p->SetShowAppIcon(!p->ShowAppIcon());
    EXPECT_GT(g_ncPaints, 0);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_countPrev));
}

TEST_F(ProviderMessageRowsTest, OwnRegionIsAskedOnlyUntilTheFirstWholePaint)
{
    TNotingForm* f = NewForm(400, 300);
    HWND wnd = f->Handle();
    g_ownRegionPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OwnRegionProc)));
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    ASSERT_FALSE(p->FirstPainted());
    SetWindowRgn(wnd, nullptr, FALSE);
    p->UpdateFormRegion();
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);

    Shown(f);
    ASSERT_TRUE(p->FirstPainted());
    // Painted once, the skin's region is set whatever the window says.
    f->SetBounds(60, 60, 420, 310);
    tw::Application->ProcessMessages();
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
    f->Hide();
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_ownRegionPrev));
}

TEST_F(ProviderMessageRowsTest, RemovedSkinGivesLabelsAndChildrenTheirLookBack)
{
    TNotingForm* f = NewForm();
    // A colour of the form's own, neither the skin's nor the system's face.
    f->SetColor(0x000080FF);
    auto* label = new tw::TLabel(f);
    label->SetParent(f);
    label->SetCaption("Label");
    auto* panel = new test::TNotingPanel(f);
    panel->SetParent(f);
    panel->SetBounds(10, 40, 100, 60);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    // As a skin gives it.
    label->Font().SetColor(tw::clRed);

    // Another manager's removal: the controls hear it, the form does not.
    TsSkinManager other;
    f->Commands.clear();
    panel->Commands.clear();
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&other));
    EXPECT_TRUE(p->Skinned());
    EXPECT_TRUE(f->Commands.empty());
    EXPECT_EQ(panel->Count(AC_SKINREMOVED), 1);
    EXPECT_EQ(label->Font().Color(), tw::clRed);

    // Its own: the label shows the window text colour again, the form the
    // system's face, and the controls heard of it.
    panel->Commands.clear();
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(p->Skinned());
    EXPECT_EQ(label->Font().Color(), tw::clWindowText);
    EXPECT_EQ(f->Color(), tw::clBtnFace);
    EXPECT_EQ(panel->Count(AC_SKINREMOVED), 1);
    // And the client shows it.
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    HDC dc = GetDC(wnd);
    const COLORREF face = GetPixel(dc, 150, 10);
    ReleaseDC(wnd, dc);
    EXPECT_EQ(face, GetSysColor(COLOR_BTNFACE));
}

TEST_F(ProviderMessageRowsTest, SkinnedFormsKeepRefreshAndPrintingToThemselves)
{
    TNotingForm* f = NewForm(300, 200);
    auto* panel = new tw::TPanel(f);
    panel->SetParent(f);
    panel->SetBounds(20, 20, 120, 80);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());

    // The refresh is the provider's alone.
    f->Commands.clear();
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    EXPECT_TRUE(f->Commands.empty());
    EXPECT_TRUE(p->Skinned());

    // Printing: the form's own procedure never sees it, the children still
    // print into the picture.
    RECT wr, pr;
    GetWindowRect(wnd, &wr);
    GetWindowRect(panel->Handle(), &pr);
    const int w = wr.right - wr.left, h = wr.bottom - wr.top;
    tw::TBitmap whole(w, h, tw::pf24bit);
    f->Seen.clear();
    SendMessageW(wnd, WM_PRINT, WPARAM(whole.Canvas().Handle()),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    SendMessageW(wnd, WM_PRINTCLIENT, WPARAM(whole.Canvas().Handle()), PRF_CLIENT);
    EXPECT_FALSE(f->Saw(WM_PRINT));
    EXPECT_FALSE(f->Saw(WM_PRINTCLIENT));
    // The twin: the panel printed on its own.
    const int pw = pr.right - pr.left, ph = pr.bottom - pr.top;
    tw::TBitmap alone(pw, ph, tw::pf24bit);
    SendMessageW(panel->Handle(), WM_PRINT, WPARAM(alone.Canvas().Handle()),
                 PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND | PRF_CHILDREN);
    const int px = pr.left - wr.left, py = pr.top - wr.top;
    for (POINT at : {POINT{pw / 2, ph / 2}, POINT{3, 3}, POINT{pw - 4, ph - 4}})
        EXPECT_EQ(GetPixel(whole.Canvas().Handle(), px + at.x, py + at.y), GetPixel(alone.Canvas().Handle(), at.x, at.y))
            << at.x << "," << at.y;
}

TEST_F(ProviderMessageRowsTest, ReleaseOverAButtonThatWasNotPressed)
{
    TNotingForm* f = NewForm(400, 300);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 5, 5));
    const TCaptionLayout& b = p->Buttons();
    ASSERT_GT(b.Close.Right, b.Close.Left);
    ASSERT_GT(b.Min.Right, b.Min.Left);
    auto centre = [&](const TRect& r) { return ScreenPoint(wnd, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); };

    // Close: nothing at all, the form stays.
    f->Seen.clear();
    SendMessageW(wnd, WM_NCLBUTTONUP, HTCLOSE, centre(b.Close));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(wnd));
    EXPECT_FALSE(f->Saw(WM_NCLBUTTONUP));
    // Maximize and minimize: the release goes on to the form, nothing runs.
    for (auto [code, r] : {std::pair{HTMAXBUTTON, b.Max}, std::pair{HTMINBUTTON, b.Min}}) {
        f->Seen.clear();
        SendMessageW(wnd, WM_NCHITTEST, 0, centre(r));
        SendMessageW(wnd, WM_NCLBUTTONUP, WPARAM(code), centre(r));
        tw::Application->ProcessMessages();
        EXPECT_TRUE(f->Saw(WM_NCLBUTTONUP)) << code;
        EXPECT_EQ(p->HotCode(), 0) << code;
        EXPECT_FALSE(IsZoomed(wnd) || IsIconic(wnd)) << code;
    }
    // Minimize pressed, released away from it: passed on, not minimized.
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMINBUTTON, centre(b.Min));
    ASSERT_TRUE(p->ButtonPressed());
    f->Seen.clear();
    SendMessageW(wnd, WM_NCLBUTTONUP, HTMINBUTTON, ScreenPoint(wnd, b.Min.Left - 30, b.Min.Top + 2));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(f->Saw(WM_NCLBUTTONUP));
    EXPECT_FALSE(IsIconic(wnd));
}

TEST_F(ProviderMessageRowsTest, RightReleaseOffTheTitleStopsAtTheProvider)
{
    TNotingForm* f = NewForm(400, 300);
    HWND wnd = Shown(f);
    POINT inside{100, 100};
    ClientToScreen(wnd, &inside);
    // The code is the drawn frame's, whatever the message says: over the
    // client no menu comes up, and the form's procedure hears nothing.
    f->Seen.clear();
    g_menuEnded = false;
    const UINT_PTR guard = SetTimer(nullptr, 0, 1500, EndMenuGuard);
    SendMessageW(wnd, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(inside.x, inside.y));
    SendMessageW(wnd, WM_NCRBUTTONUP, HTBOTTOM, MAKELPARAM(inside.x, inside.y));
    KillTimer(nullptr, guard);
    EXPECT_FALSE(g_menuEnded);
    EXPECT_FALSE(f->Saw(WM_NCRBUTTONUP));
}

TEST_F(ProviderMessageRowsTest, ColourChangeReachesTheFormOnlyWithItsOwnColour)
{
    TNotingForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    f->Seen.clear();
    SendMessageW(wnd, tw::CM_COLORCHANGED, 0, 0);
    EXPECT_FALSE(f->Saw(tw::CM_COLORCHANGED));
    p->SkinData().SetCustomColor(true);
    p->SkinData().BGChangedFlag = false;
    SendMessageW(wnd, tw::CM_COLORCHANGED, 0, 0);
    EXPECT_TRUE(f->Saw(tw::CM_COLORCHANGED));
    EXPECT_TRUE(p->SkinData().BGChangedFlag);
}

TEST_F(ProviderMessageRowsTest, GradientFormIsPaintedWholeAfterASize)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    TsGeneralData& form = manager.gd[size_t(FormSection())];
    const int saved = form.GradientPercent;
    RECT cr, dirty;
    GetClientRect(wnd, &cr);
    // Without a gradient a size that moves nothing leaves the client alone.
    form.GradientPercent = 0;
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right, cr.bottom));
    EXPECT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
    // A gradient spans the client: all of it is drawn again.
    form.GradientPercent = 40;
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right, cr.bottom));
    ASSERT_TRUE(GetUpdateRect(wnd, &dirty, FALSE));
    EXPECT_EQ(dirty.left, 0);
    EXPECT_EQ(dirty.top, 0);
    EXPECT_EQ(dirty.right, cr.right);
    EXPECT_EQ(dirty.bottom, cr.bottom);
    form.GradientPercent = saved;
}

TEST_F(ProviderMessageRowsTest, SizeDrawsTheGripsPlacesAndAClientWhosePictureIsGone)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    TsGeneralData& form = manager.gd[size_t(FormSection())];
    const int saved = form.GradientPercent;
    form.GradientPercent = 0;
    const int gripMask = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "GRIPIMAGE");
    ASSERT_TRUE(manager.MaskIndexValid(gripMask));
    p->SetGripMode(gmRightBottom);
    tw::Application->ProcessMessages();
    RECT cr;
    GetClientRect(wnd, &cr);
    HRGN dirty = CreateRectRgn(0, 0, 0, 0);

    // The grip moves 40 pixels left: its old and its new place are drawn
    // again, nothing between them.
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right - 40, cr.bottom));
    ASSERT_NE(GetUpdateRgn(wnd, dirty, FALSE), NULLREGION);
    EXPECT_TRUE(PtInRegion(dirty, cr.right - 2, cr.bottom - 2));
    EXPECT_TRUE(PtInRegion(dirty, cr.right - 42, cr.bottom - 2));
    EXPECT_FALSE(PtInRegion(dirty, cr.right / 2, cr.bottom / 2));
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right, cr.bottom));
    p->SetGripMode(gmNone);

    // The frame picture dropped (the form was out of sight): the client's
    // pieces would come from a picture that is not there, so all of it is
    // drawn again.
    SendMessageW(wnd, tw::CM_VISIBLECHANGED, 0, 0);
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cr.right, cr.bottom));
    RECT box;
    ASSERT_EQ(GetUpdateRgn(wnd, dirty, FALSE), SIMPLEREGION);
    GetRgnBox(dirty, &box);
    EXPECT_TRUE(EqualRect(&box, &cr));
    DeleteObject(dirty);
    form.GradientPercent = saved;
}

TEST_F(ProviderMessageRowsTest, AFormMinimizedUnderTheCompositorKeepsItsFramePicture)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    const TPlatformAnswers saved = PlatformAnswers();
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    g_countPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountNcPaintProc)));
    // The compositor does not draw a minimized window: no picture is made
    // for it, even with none there.
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    PlatformAnswers().CompositionEnabled = [] { return true; };
    SendMessageW(wnd, tw::CM_VISIBLECHANGED, 0, 0);
    g_ncPaints = 0;
    SendMessageW(wnd, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(g_ncPaints, 0);
    // Without it the minimized frame is drawn anew.
    PlatformAnswers() = saved;
    SendMessageW(wnd, tw::CM_VISIBLECHANGED, 0, 0);
    g_ncPaints = 0;
    SendMessageW(wnd, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_GT(g_ncPaints, 0);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_countPrev));
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
}

TEST_F(ProviderMessageRowsTest, MaximizedPlacementFollowsTheSkinsMaxHeight)
{
    TNotingForm* f = NewForm();
    HWND wnd = Shown(f);
    manager.SkinData.MaxHeight = manager.SkinData.TitleHeight;
    manager.SkinData.CenterOffset = 0;
    MINMAXINFO same{};
    SendMessageW(wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&same));
    // A maximized title 6 pixels lower than the normal one: the form sits
    // 6 pixels higher and is 6 pixels taller.
    manager.SkinData.MaxHeight = manager.SkinData.TitleHeight - 6;
    MINMAXINFO lower{};
    SendMessageW(wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&lower));
    EXPECT_EQ(lower.ptMaxPosition.y, same.ptMaxPosition.y - 6);
    EXPECT_EQ(lower.ptMaxSize.y, same.ptMaxSize.y + 6);
    EXPECT_EQ(lower.ptMaxPosition.x, same.ptMaxPosition.x);

    // Where the maximized window lands: the system's frame beyond the work
    // area on every side, the title as far above it as the frame and the
    // title exceed the system's caption, and 6 pixels higher for the lower
    // maximized title, the bottom staying at the work area's bottom edge.
    RECT wr;
    GetWindowRect(wnd, &wr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int frame = GetSystemMetrics(SM_CXFRAME);
    ASSERT_EQ(origin.x - wr.left, frame);   // a sizeable form
    const int title = origin.y - wr.top - frame, caption = GetSystemMetrics(SM_CYCAPTION);
    const int above = title > caption + frame ? title - caption - frame : frame;
    MONITORINFO mi{};
    mi.cbSize = sizeof(mi);
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(wnd, MONITOR_DEFAULTTONEAREST), &mi));
    const RECT& work = mi.rcWork;
    EXPECT_EQ(lower.ptMaxPosition.x, work.left - mi.rcMonitor.left - frame);
    EXPECT_EQ(lower.ptMaxPosition.y, work.top - mi.rcMonitor.top + above - frame - 6);
    EXPECT_EQ(lower.ptMaxSize.x, work.right - work.left + 2 * frame);
    EXPECT_EQ(lower.ptMaxSize.y, work.bottom - work.top + 2 * frame - above + 6);
    ShowWindow(wnd, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsZoomed(wnd));
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.left, work.left - frame);
    EXPECT_EQ(wr.right, work.right + frame);
    EXPECT_EQ(wr.top, work.top + above - frame - 6);
    EXPECT_EQ(wr.bottom, work.bottom + frame);
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
}

// The update lock: the form's skin link marked active and the window kept
// from drawing, each heard by the form, and both undone at the end.
TEST_F(ProviderMessageRowsTest, UpdateLockMarksTheFormAndHoldsItsDrawing)
{
    TNotingForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(IsWindowVisible(wnd));
    p->SkinData().SetActiveState(false);
    g_lockSeen.clear();
    g_lockPrev = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LockSpyProc)));
    f->Seen.clear();
    p->BeginUpdateLock();
    EXPECT_EQ(g_lockSeen, (std::vector<TLockSeen>{{SM_ALPHACMD, AC_MOUSEENTER, 0}, {WM_SETREDRAW, FALSE, 0}}));
    EXPECT_TRUE(p->SkinData().ActiveState());
    EXPECT_EQ(p->RedrawSuspendCount(), 1);
    // The switch reached the window itself: it draws nothing now.
    EXPECT_TRUE(f->Saw(WM_SETREDRAW));
    EXPECT_FALSE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_VISIBLE);
    g_lockSeen.clear();
    p->EndUpdateLock();
    EXPECT_EQ(g_lockSeen, (std::vector<TLockSeen>{{SM_ALPHACMD, AC_MOUSELEAVE, 0}, {WM_SETREDRAW, TRUE, 0}}));
    EXPECT_FALSE(p->SkinData().ActiveState());
    EXPECT_EQ(p->RedrawSuspendCount(), 0);
    EXPECT_TRUE(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_VISIBLE);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_lockPrev));
}

// The framework's float notice (a form docked into or out of a host): the
// form hears it, the adapter of its scroll bars goes with the window it
// had, and the skin's refresh, sent to the form with its manager, adapts
// the window it has now.
TEST_F(ProviderMessageRowsTest, FloatNoticeMakesTheFormsAdapterAgain)
{
    constexpr UINT kFloat = 0xB03A;
    TNotingForm* f = NewForm(300, 220, true);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_NE(p->FormAdapter(), nullptr);
    const TacMainWnd::TLife before(*p->FormAdapter());
    g_lockSeen.clear();
    g_lockPrev = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LockSpyProc)));
    f->Seen.clear();
    SendMessageW(wnd, kFloat, 0, 0);
    SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_lockPrev));
    EXPECT_TRUE(f->Saw(kFloat));
    EXPECT_FALSE(before.Alive());
    const TLockSeen refresh{SM_ALPHACMD, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager)};
    EXPECT_EQ(std::count(g_lockSeen.begin(), g_lockSeen.end(), refresh), 1);
    ASSERT_NE(p->FormAdapter(), nullptr);
    EXPECT_EQ(p->FormAdapter()->Handle(), wnd);
    // The new adapter draws the skin's scroll bars.
    EXPECT_EQ(TacMainWnd::Of(wnd), p->FormAdapter());
}

TEST_F(ProviderMessageRowsTest, CornerBetweenBothScrollBarsSizesTheForm)
{
    TNotingForm* f = NewForm(300, 220, true);
    HWND wnd = Shown(f);
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_PAGE, 0, 1000, 100, 0, 0};
    SetScrollInfo(wnd, SB_VERT, &si, TRUE);
    SetScrollInfo(wnd, SB_HORZ, &si, TRUE);
    // The adapter sees the bars when the form is activated again.
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    TsSkinProvider* p = FindProvider(f);
    ASSERT_EQ(p->GripMode(), gmNone);
    const int grip = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "GRIPIMAGE");
    ASSERT_TRUE(manager.MaskIndexValid(grip));
    RECT cr;
    GetClientRect(wnd, &cr);
    POINT corner{cr.right - 2, cr.bottom - 2};
    POINT middle{cr.right / 2, cr.bottom / 2};
    ClientToScreen(wnd, &corner);
    ClientToScreen(wnd, &middle);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)), HTBOTTOMRIGHT);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(middle.x, middle.y)), HTCLIENT);
}

TEST_F(ProviderMessageRowsTest, OwnerDrawingRunsWhenTheFormsPictureIsRebuilt)
{
    TNotingForm* f = NewForm(300, 200);
    int painted = 0;
    f->OnPaint = [&painted](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // The picture is made again off screen (a control asks for its piece):
    // what the form draws itself goes into it, no WM_PAINT needed.
    ValidateRect(wnd, nullptr);
    painted = 0;
    p->SkinData().BGChangedFlag = true;
    int w = 0;
    test::PrintFrame(wnd, w);
    EXPECT_EQ(painted, 1);
    // The same picture again: nothing is drawn anew.
    test::PrintFrame(wnd, w);
    EXPECT_EQ(painted, 1);
}

// A system setting changed (caption metrics, colours): the title strip kept
// for repainting the title alone may no longer fit, so the next picture is
// made whole.
TEST_F(ProviderMessageRowsTest, SettingsChangeRebuildsThePictureWhole)
{
    // A section that looks the same active and inactive: an activation
    // change repaints the title alone.
    TsGeneralData& s = manager.gd[size_t(FormSection())];
    s.HotColor = s.Color;
    s.HotImagePercent = s.ImagePercent;
    s.HotGradientPercent = s.GradientPercent;
    TNotingForm* f = NewForm(300, 200);
    int painted = 0;
    f->OnPaint = [&painted](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    p->SkinData().BorderIndex = -1;
    ValidateRect(wnd, nullptr);
    int w = 0;
    p->SkinData().BGChangedFlag = true;
    test::PrintFrame(wnd, w);
    painted = 0;
    p->SkinData().BGChangedFlag = true;
    test::PrintFrame(wnd, w);
    ASSERT_EQ(painted, 0) << "the title alone was not repainted";
    SendMessageW(wnd, WM_SETTINGCHANGE, 0, 0);
    test::PrintFrame(wnd, w);
    EXPECT_EQ(painted, 1);
}

// The form's own drawing throws while it goes into the form's picture or
// into a print: the failure reaches the application, the picture is neither
// left shifted to the client nor kept as finished, and the printer's device
// context is given back as it came.
TEST_F(ProviderMessageRowsTest, ThrowingOwnerDrawingLeavesNoDeviceContextShifted)
{
    std::vector<std::string> reported;
    const tw::TExceptionEvent savedHandler = tw::Application->OnException;
    tw::Application->OnException = [&reported](tw::TObject*, const std::exception& e) {
        reported.push_back(e.what());
    };
    struct TRestore {
        tw::TExceptionEvent Handler;
        ~TRestore() { tw::Application->OnException = Handler; }
    } restore{savedHandler};

    TNotingForm* f = NewForm(300, 200);
    bool fail = false;
    int painted = 0;
    f->OnPaint = [&](tw::TObject*) {
        ++painted;
        if (fail)
            throw std::runtime_error("paint failed");
    };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ValidateRect(wnd, nullptr);
    int w = 0;
    p->SkinData().BGChangedFlag = true;
    const std::vector<uint32_t> frame = test::PrintFrame(wnd, w);
    ASSERT_FALSE(frame.empty());
    auto differing = [&frame](const std::vector<uint32_t>& other) {
        if (other.size() != frame.size())
            return -1;
        int n = 0;
        for (size_t i = 0; i < frame.size(); ++i)
            n += other[i] != frame[i];
        return n;
    };

    // Thrown while the picture is made anew.
    fail = true;
    p->SkinData().BGChangedFlag = true;
    test::PrintFrame(wnd, w);
    EXPECT_EQ(reported, std::vector<std::string>{"paint failed"});
    // The next copies come from a picture in its place, made again whole.
    fail = false;
    painted = 0;
    EXPECT_EQ(differing(test::PrintFrame(wnd, w)), 0);
    EXPECT_EQ(painted, 1);
    EXPECT_EQ(differing(test::PrintFrame(wnd, w)), 0);
    EXPECT_EQ(painted, 1);

    // Thrown while the client is printed: the printer's context keeps its
    // origin and has no clipping of ours.
    fail = true;
    reported.clear();
    RECT wr;
    GetWindowRect(wnd, &wr);
    test::CapturePixels(wr.right - wr.left, wr.bottom - wr.top, [&](HDC dc) {
        SendMessageW(wnd, WM_PRINT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        POINT org{-1, -1};
        GetViewportOrgEx(dc, &org);
        EXPECT_EQ(org.x, 0);
        EXPECT_EQ(org.y, 0);
        HRGN clip = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetClipRgn(dc, clip), 0);
        DeleteObject(clip);
    });
    EXPECT_EQ(reported, std::vector<std::string>{"paint failed"});
    fail = false;
}

TEST_F(ProviderMessageRowsTest, MenuLineIsMeasuredAgainForANewSkinAndCountsItsRows)
{
    TNotingForm* f = NewForm(220, 200);
    auto* menu = new tw::TMainMenu(f);
    for (const char* caption : {"&Recording", "&Stream editing", "&Repair options", "&Window layout", "&Help"}) {
        auto* item = new tw::TMenuItem(menu);
        item->SetCaption(caption);
        menu->Items()->Add(item);
    }
    f->SetMenu(menu);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->MenuVisible());
    // The rows as the system laid the line out: the distinct tops of its items.
    HMENU bar = GetMenu(wnd);
    std::set<LONG> tops;
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        RECT r;
        if (GetMenuItemRect(wnd, bar, UINT(i), &r))
            tops.insert(r.top);
    }
    ASSERT_GT(tops.size(), 1u);
    EXPECT_EQ(p->MenuRows(), int(tops.size()));

    // A new skin: the line is measured again.
    f->Measures = 0;
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    EXPECT_TRUE(p->MainMenuRefreshed());
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi);
    EXPECT_GT(f->Measures, 0);
}

TEST_F(ProviderMessageRowsTest, FormSkinnedByTheHookIsNamedInItsRecord)
{
    // Made without the provider every form of the program gets.
    const tw::TFormCreationHook hook = tw::FormCreationHook;
    tw::FormCreationHook = nullptr;
    auto* form = new tw::TForm(tw::Application);
    tw::FormCreationHook = hook;
    ASSERT_TRUE(HookActivatedWindow(form->Handle()));
    TsSkinProvider* p = FindProvider(form);
    ASSERT_NE(p, nullptr);
    auto named = [](const TsSkinProvider* provider) {
        int n = 0;
        for (TacProvider* r : DialogProviders())
            if (r->FormProvider == provider) {
                EXPECT_EQ(r->Handle, nullptr);
                EXPECT_EQ(r->DialogAdapter, nullptr);
                ++n;
            }
        return n;
    };
    EXPECT_EQ(named(p), 1);
    // Served already: not a second record.
    EXPECT_FALSE(HookActivatedWindow(form->Handle()));
    EXPECT_EQ(named(p), 1);
    delete form;
    EXPECT_EQ(named(p), 0);
}

TEST_F(ProviderMessageRowsTest, PaintOfAContainerWaitingForItsLookDrawsNothing)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    int painted = 0;
    f->OnPaint = [&](tw::TObject*) { ++painted; };
    const uint16_t saved = p->SkinData().CtrlSkinState;
    // A container whose hot look waits until it has the focus.
    p->SkinData().CtrlSkinState |= 1;
    SetFocus(nullptr);
    ASSERT_FALSE(p->SkinData().HotStateAllowed());
    constexpr COLORREF kMark = RGB(7, 8, 9);
    {
        HDC dc = GetDC(wnd);
        RECT cr;
        GetClientRect(wnd, &cr);
        HBRUSH brush = CreateSolidBrush(kMark);
        FillRect(dc, &cr, brush);
        DeleteObject(brush);
        ReleaseDC(wnd, dc);
    }
    painted = 0;
    InvalidateRect(wnd, nullptr, FALSE);
    UpdateWindow(wnd);
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
    // What the form draws itself is still drawn.
    EXPECT_GT(painted, 0);
    f->OnPaint = nullptr;
    HDC dc = GetDC(wnd);
    EXPECT_EQ(GetPixel(dc, 60, 60), kMark);
    ReleaseDC(wnd, dc);
    p->SkinData().CtrlSkinState = saved;

    // Hidden, with nothing that shows it elsewhere: the paint ends here.
    f->Hide();
    tw::Application->ProcessMessages();
    f->Seen.clear();
    p->SkinData().CtrlSkinState &= uint16_t(~1u);
    ASSERT_TRUE(p->SkinData().HotStateAllowed());
    SendMessageW(wnd, WM_PAINT, 0, 0);
    EXPECT_FALSE(f->Saw(WM_PAINT));
    // A layered one is still drawn (it shows through its own picture).
    const LONG_PTR ex = GetWindowLongPtrW(wnd, GWL_EXSTYLE);
    SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
    SendMessageW(wnd, WM_PAINT, 0, 0);
    SetWindowLongPtrW(wnd, GWL_EXSTYLE, ex);
    EXPECT_TRUE(f->Saw(WM_PAINT));
    f->Seen.clear();
    // Waiting for its look, the hidden form paints as it would unskinned.
    p->SkinData().CtrlSkinState |= 1;
    ASSERT_FALSE(p->SkinData().HotStateAllowed());
    SendMessageW(wnd, WM_PAINT, 0, 0);
    EXPECT_TRUE(f->Saw(WM_PAINT));
    p->SkinData().CtrlSkinState = saved;
}

TEST_F(ProviderMessageRowsTest, IconOfTheSystemsFrameOpensTheSkinnedMenu)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    p->SetDrawNonClientArea(false);
    tw::Application->ProcessMessages();
    f->Seen.clear();
    g_menuEnded = false;
    const UINT_PTR guard = SetTimer(nullptr, 0, 300, EndMenuGuard);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int frame = GetSystemMetrics(SM_CXFRAME);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTSYSMENU, MAKELPARAM(wr.left + frame + 4, wr.top + frame + 4));
    KillTimer(nullptr, guard);
    // A menu came up, and it was not the system's (the form never heard the click).
    EXPECT_TRUE(g_menuEnded);
    EXPECT_FALSE(f->Saw(WM_NCLBUTTONDOWN));
}

TEST_F(ProviderMessageRowsTest, ActivationChangeLeavesNoButtonHot)
{
    TNotingForm* f = NewForm(400, 300);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 5, 5));
    const TRect close = p->Buttons().Close;
    const LPARAM at = ScreenPoint(wnd, (close.Left + close.Right) / 2, (close.Top + close.Bottom) / 2);
    ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, at), HTCLOSE);
    ASSERT_EQ(p->HotCode(), HTCLOSE);
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(p->HotCode(), 0);
    // The same state again changes nothing.
    SendMessageW(wnd, WM_NCHITTEST, 0, at);
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(p->HotCode(), HTCLOSE);
}

TEST_F(ProviderMessageRowsTest, ActivationOfAFramelessFormRefreshesItsControls)
{
    TNotingForm* f = NewForm(300, 200);
    f->SetBorderStyle(tw::bsNone);
    auto* panel = new test::TNotingPanel(f);
    panel->SetParent(f);
    panel->SetBounds(10, 10, 100, 60);
    HWND wnd = Shown(f);
    panel->Commands.clear();
    SendMessageW(wnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(panel->Count(AC_REFRESHSTATE), 1);

    // A form with a frame keeps its controls as they are.
    TNotingForm* framed = NewForm(300, 200);
    auto* other = new test::TNotingPanel(framed);
    other->SetParent(framed);
    other->SetBounds(10, 10, 100, 60);
    HWND framedWnd = Shown(framed);
    other->Commands.clear();
    SendMessageW(framedWnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(other->Count(AC_REFRESHSTATE), 0);
}

TEST_F(ProviderMessageRowsTest, ShownAgainUnderTheCompositorTheFormIsDrawnWhole)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    const TPlatformAnswers saved = PlatformAnswers();
    RECT dirty;
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SHOWWINDOW, TRUE, 0);
    EXPECT_FALSE(GetUpdateRect(wnd, &dirty, FALSE));
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    PlatformAnswers().CompositionEnabled = [] { return true; };
    SendMessageW(wnd, WM_SHOWWINDOW, TRUE, 0);
    const BOOL invalid = GetUpdateRect(wnd, &dirty, FALSE);
    PlatformAnswers() = saved;
    ASSERT_TRUE(invalid);
    RECT cr;
    GetClientRect(wnd, &cr);
    EXPECT_TRUE(EqualRect(&dirty, &cr));
}

TEST_F(ProviderMessageRowsTest, EmbeddedFormShownRefreshesItsControls)
{
    TNotingForm* host = NewForm(400, 300);
    Shown(host);
    TNotingForm* inner = NewForm(200, 150);
    inner->SetBorderStyle(tw::bsNone);
    inner->SetParent(host);
    inner->SetBounds(10, 10, 200, 150);
    auto* panel = new test::TNotingPanel(inner);
    panel->SetParent(inner);
    panel->SetBounds(10, 10, 80, 40);
    HWND innerWnd = Shown(inner);
    panel->Commands.clear();
    SendMessageW(innerWnd, tw::CM_VISIBLECHANGED, 1, 0);
    EXPECT_EQ(panel->Count(AC_REFRESHSTATE), 1);

    // A form of its own on the desktop leaves that to its paint.
    TNotingForm* alone = NewForm(300, 200);
    auto* other = new test::TNotingPanel(alone);
    other->SetParent(alone);
    other->SetBounds(10, 10, 80, 40);
    HWND aloneWnd = Shown(alone);
    other->Commands.clear();
    SendMessageW(aloneWnd, tw::CM_VISIBLECHANGED, 1, 0);
    EXPECT_EQ(other->Count(AC_REFRESHSTATE), 0);
}

// A form placed on another window is cut by that window, not by a region
// of the provider's; one of its own on the desktop gets the skin's region.
TEST_F(ProviderMessageRowsTest, AFormOnAnotherWindowGetsNoRegion)
{
    TNotingForm* host = NewForm(400, 300);
    HWND hostWnd = Shown(host);
    TNotingForm* inner = NewForm(200, 150);
    inner->SetParent(host);
    inner->SetBounds(10, 10, 200, 150);
    HWND innerWnd = Shown(inner);
    ASSERT_EQ(inner->Parent(), host);
    ASSERT_TRUE(FindProvider(inner)->Skinned());
    SendMessageW(innerWnd, WM_NCPAINT, 1, 0);
    inner->SetBounds(12, 12, 220, 160);
    tw::Application->ProcessMessages();
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(innerWnd, rgn), ERROR);
    EXPECT_NE(GetWindowRgn(hostWnd, rgn), ERROR);
    DeleteObject(rgn);
}

// Each skin application gives the user title buttons that draw from the skin
// the skin's title-button picture; the others keep none.
TEST_F(ProviderMessageRowsTest, UserTitleButtonsTakeTheSkinsPictureWhenTheyAsk)
{
    TNotingForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    TsTitleButton& skinned = p->TitleButtons().Add();
    TsTitleButton& own = p->TitleButtons().Add();
    own.UseSkinData = false;
    own.ImageIndex = 5;
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    const int mask = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "TITLEBUTTON");
    ASSERT_TRUE(manager.MaskIndexValid(mask));
    EXPECT_EQ(skinned.ImageIndex, mask);
    EXPECT_EQ(own.ImageIndex, -1);
}

TEST_F(ProviderMessageRowsTest, RefreshReachesEveryAdaptedControl)
{
    HWND wnd = nullptr, memoWnd = nullptr;
    TsSkinProvider* p = nullptr;
    ASSERT_NO_FATAL_FAILURE(ShownWithAdaptedMemo(wnd, memoWnd, p));
    g_refreshPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(memoWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountRefreshProc)));
    g_refreshes = 0;
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(g_refreshes, 1);
    // Another manager's refresh is not this form's.
    TsSkinManager other;
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(g_refreshes, 1);
    SetWindowLongPtrW(memoWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_refreshPrev));
}

TEST_F(ProviderMessageRowsTest, RemovalReachesEveryAdaptedControlBeforeItsAdapterGoes)
{
    HWND wnd = nullptr, memoWnd = nullptr;
    TsSkinProvider* p = nullptr;
    ASSERT_NO_FATAL_FAILURE(ShownWithAdaptedMemo(wnd, memoWnd, p));
    g_removedPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(memoWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountRemovedProc)));
    g_removedWhileAdapted = 0;
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(p->Skinned());
    EXPECT_EQ(TacMainWnd::Of(memoWnd), nullptr);
    // The adapter told the memo's window before it gave the window back.
    EXPECT_EQ(g_removedWhileAdapted, 1);
    SetWindowLongPtrW(memoWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_removedPrev));
}

TEST_F(ProviderMessageRowsTest, DisabledMaximizeButtonTakesNoPress)
{
    TNotingForm* f = NewForm(400, 300);
    f->SetBorderIcons(tw::biSystemMenu | tw::biMinimize);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    // Minimized, the title shows both boxes; maximizing is not the form's.
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 3, 3));
    const TRect r = p->Buttons().Max;
    ASSERT_GT(r.Right, r.Left);
    const LPARAM at = ScreenPoint(wnd, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    SendMessageW(wnd, WM_NCHITTEST, 0, at);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMAXBUTTON, at);
    EXPECT_FALSE(p->ButtonPressed());
    SendMessageW(wnd, WM_NCLBUTTONUP, HTMAXBUTTON, at);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsIconic(wnd));
    ShowWindow(wnd, SW_RESTORE);
}

// A minimized form's minimize button shows the restore glyph: it answers as
// that button and its click restores the form, also when the form cannot be
// maximized, and also the program's main form.
TEST_F(ProviderMessageRowsTest, MinimizedFormsRestoreGlyphRestoresIt)
{
    struct TCase {
        const char* Name;
        tw::TBorderIcons Icons;
        bool Main;
    };
    const tw::TBorderIcons both = tw::biSystemMenu | tw::biMinimize | tw::biMaximize;
    tw::TCustomForm* const previous = tw::Application->MainForm();
    struct TMainBack {
        tw::TCustomForm* Form;
        ~TMainBack() { tw::Application->SetMainForm(Form); }
    } mainBack{previous};
    for (const TCase& c : {TCase{"both boxes", both, false}, TCase{"minimize box only", tw::biSystemMenu | tw::biMinimize, false},
                           TCase{"the main form", both, true}}) {
        SCOPED_TRACE(c.Name);
        TNotingForm* f = NewForm(400, 300);
        f->SetBorderIcons(c.Icons);
        tw::Application->SetMainForm(c.Main ? f : previous);
        HWND wnd = Shown(f);
        TsSkinProvider* p = FindProvider(f);
        ShowWindow(wnd, SW_MINIMIZE);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsIconic(wnd));
        SendMessageW(wnd, WM_NCHITTEST, 0, ScreenPoint(wnd, 3, 3));
        const TRect r = p->Buttons().Min;
        ASSERT_GT(r.Right, r.Left);
        const LPARAM at = ScreenPoint(wnd, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
        ASSERT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, at), HTMINBUTTON);
        SendMessageW(wnd, WM_NCLBUTTONDOWN, HTMINBUTTON, at);
        EXPECT_TRUE(p->ButtonPressed());
        SendMessageW(wnd, WM_NCLBUTTONUP, HTMINBUTTON, at);
        tw::Application->ProcessMessages();
        EXPECT_FALSE(IsIconic(wnd));
    }
}

// A form without a title is cut to the skin's corners only while it is
// minimized (its drawn title shows then); restored, by its command or
// otherwise, it is whole again.
TEST_F(ProviderMessageRowsTest, ATitlelessFormIsWholeAgainOnceRestored)
{
    TNotingForm* f = NewForm(300, 200);
    f->SetBorderStyle(tw::bsNone);
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    for (bool byCommand : {true, false}) {
        SCOPED_TRACE(byCommand ? "SC_RESTORE" : "SW_RESTORE");
        ShowWindow(wnd, SW_MINIMIZE);
        tw::Application->ProcessMessages();
        ASSERT_TRUE(IsIconic(wnd));
        EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
        if (byCommand)
            SendMessageW(wnd, WM_SYSCOMMAND, SC_RESTORE, 0);
        else
            ShowWindow(wnd, SW_RESTORE);
        tw::Application->ProcessMessages();
        ASSERT_FALSE(IsIconic(wnd));
        EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    }
    DeleteObject(rgn);
}

BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptLayeredEntry() { return AcceptLayered; }

// A form whose close button fades (the skin's halo on), made as the
// program makes its forms.
class ProviderHiddenFadeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        savedEntry = GlowLayeredEntry;
        GlowLayeredEntry = AcceptLayeredEntry;
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        ASSERT_TRUE(manager.AllowGlowing());
        form = new tw::TForm(tw::Application);
        form->SetText("Fades");
        form->SetBounds(80, 80, 360, 240);
        provider = new TsSkinProvider(form);
        form->Show();
        tw::Application->ProcessMessages();
        test::NcHit(form->Handle(), 100, 10);
    }
    void TearDown() override
    {
        delete form;
        ClearGlows(true);
        DefaultManager = nullptr;
        GlowLayeredEntry = savedEntry;
    }
    TUpdateLayeredWindow (*savedEntry)() = nullptr;
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_F(ProviderHiddenFadeTest, HidingTheFormEndsTheButtonsFades)
{
    const TRect r = provider->Buttons().Close;
    ASSERT_EQ(test::NcHit(form->Handle(), (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2), htClose);
    ASSERT_NE(provider->ButtonFx(htClose)->Animation, nullptr);
    // The class library's own note that the form goes out of sight.
    SendMessageW(form->Handle(), tw::CM_VISIBLECHANGED, 0, 0);
    EXPECT_EQ(provider->ButtonFx(htClose)->Animation, nullptr);
}

} // namespace
} // namespace skin

#endif
