// Every window in the skin's frame, under Wine with real messages: forms get
// their provider when they are made, the region cuts the skin's corners, the
// provider's message table, and the system's message boxes and file dialogs
// caught by the CBT hook (skinned, still answering, and given back).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ModalProbe.h"
#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sSkinManagerWin.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that records the skin messages and a few others its own procedure gets.
class TLogForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<UINT> Seen;
    std::vector<uint16_t> Commands;
    std::vector<RECT> NcPaints; // the region's box in window coordinates, empty for the whole frame
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_NCPAINT) {
            RECT box{}, wr{};
            if (m.WParam > 1 && GetRgnBox(reinterpret_cast<HRGN>(m.WParam), &box) != ERROR) {
                GetWindowRect(Handle(), &wr);
                OffsetRect(&box, -wr.left, -wr.top);
            }
            NcPaints.push_back(box);
        }
        if (m.Msg == SM_ALPHACMD)
            Commands.push_back(SkinCommandOf(m.WParam));
        else if (m.Msg == WM_PRINTCLIENT || m.Msg == WM_ENTERIDLE || m.Msg == WM_SETREDRAW)
            Seen.push_back(m.Msg);
        tw::TForm::WndProc(m);
    }
};

class FormSkinningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
    }
    void TearDown() override
    {
        for (tw::TCustomForm* f : forms)
            delete f;
        test::EndFormSkinning();
    }
    TLogForm* NewForm(int w = 400, int h = 300)
    {
        auto* f = new TLogForm(tw::Application);
        forms.push_back(f);
        f->SetText("Skinned");
        f->SetBounds(60, 60, w, h);
        return f;
    }
    HWND Shown(tw::TCustomForm* f)
    {
        f->Show();
        tw::Application->ProcessMessages();
        return f->Handle();
    }
    static int Hit(HWND wnd, int x, int y) { return test::NcHit(wnd, x, y); }
    static bool InRegion(HWND wnd, int x, int y)
    {
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        const bool has = GetWindowRgn(wnd, rgn) != ERROR;
        const bool in = has && PtInRegion(rgn, x, y);
        DeleteObject(rgn);
        return in;
    }

    TsSkinManager manager;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(FormSkinningTest, EveryFormHasOneProviderFromItsCreation)
{
    TLogForm* f = NewForm();
    TsSkinProvider* first = FindProvider(f);
    ASSERT_NE(first, nullptr);
    // Not applied before the form is built: its designed colour is kept.
    EXPECT_FALSE(first->Skinned());
    f->SetColor(0x00203040);
    HWND wnd = Shown(f);
    EXPECT_TRUE(first->Skinned());
    EXPECT_EQ(first->SkinData().SkinSection(), "FORM");
    EXPECT_EQ(first->SkinData().COC, COC_TsSkinProvider);
    EXPECT_EQ(f->Color(), tw::TColor(manager.GetGlobalColor()));
    EXPECT_EQ(std::count(SkinnedForms().begin(), SkinnedForms().end(), f), 1);

    // A provider placed later takes over; the older one is gone, and the
    // form has exactly one.
    auto* second = new TsSkinProvider(f);
    int providers = 0;
    for (int i = 0; i < f->ComponentCount(); ++i)
        providers += dynamic_cast<TsSkinProvider*>(f->Components(i)) != nullptr;
    EXPECT_EQ(providers, 1);
    EXPECT_EQ(FindProvider(f), second);
    EXPECT_EQ(QueryProvider(f), static_cast<TSkinnedFormLink*>(second));
    EXPECT_EQ(Hit(wnd, 200, 10), htCaption);
    EXPECT_EQ(std::count(SkinnedForms().begin(), SkinnedForms().end(), f), 1);

    // Where the system keeps its own (undrawn) icon the drawn title has
    // text: the form's procedure would answer HTSYSMENU there, the title
    // bar it is.
    second->SetShowAppIcon(false);
    RECT cr;
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int left = origin.x - wr.left;
    EXPECT_EQ(Hit(wnd, left + 4, (origin.y - wr.top) / 2), htCaption);

    // Switching the skin colour off gives the system's face, not the skin's.
    second->SetUseGlobalColor(false);
    EXPECT_EQ(f->Color(), tw::clBtnFace);
}

TEST_F(FormSkinningTest, SkinMessagesPassOnOnlyWhileUnskinned)
{
    TLogForm* f = NewForm();
    f->SetTag(acNoSkinTag);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_FALSE(p->Skinned());
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYSKINNED), 1);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYPROVIDER), reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(p)));
    f->Commands.clear();
    SendSkinCommand(wnd, AC_QUERYCOLOR);
    SendSkinCommand(wnd, AC_STOPANIMATION);
    EXPECT_EQ(f->Commands, (std::vector<uint16_t>{AC_QUERYCOLOR, AC_STOPANIMATION}));
    // Unskinned, only the own manager's skin arrival (the form stays out of
    // it) and the question for the provider end at the provider; another
    // manager's skin, a refresh and the commands no one answers here go on.
    TsSkinManager other;
    f->Commands.clear();
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&other));
    SendSkinCommand(wnd, AC_QUERYPROVIDER);
    ASSERT_FALSE(p->Skinned());
    EXPECT_EQ(f->Commands, (std::vector<uint16_t>{AC_SKINLOADED}));
    f->Commands.clear();
    for (uint16_t command : {AC_SKINREFRESH, AC_PREPARECHILD, AC_SETUPDATING, AC_QUERYSPECIAL, AC_MOUSEENTER})
        SendSkinCommand(wnd, command, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(f->Commands,
              (std::vector<uint16_t>{AC_SKINREFRESH, AC_PREPARECHILD, AC_SETUPDATING, AC_QUERYSPECIAL, AC_MOUSEENTER}));

    f->SetTag(0);
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    ASSERT_TRUE(p->Skinned());
    f->Commands.clear();
    const LRESULT color = SendSkinCommand(wnd, AC_QUERYCOLOR);
    SendSkinCommand(wnd, AC_STOPANIMATION);
    EXPECT_TRUE(f->Commands.empty());
    const TsGeneralData& form = manager.gd[size_t(manager.GetSkinIndex("FORM"))];
    EXPECT_TRUE(color == LRESULT(form.Color) || color == LRESULT(form.HotColor));
    // Skinned, no skin command reaches the form's own procedure: neither a
    // new skin, nor a refresh, nor one the provider does not answer.
    for (uint16_t command : {AC_SKINLOADED, AC_SKINREFRESH, AC_PREPARECHILD, AC_REFRESHSTATE, AC_QUERYSPECIAL,
                             AC_PARENTBGCHANGED, AC_INVALIDATE, AC_BGCHANGED, AC_ENDUPDATE, AC_MOUSEENTER,
                             AC_SCROLLPAINT})
        SendSkinCommand(wnd, command, reinterpret_cast<LPARAM>(&manager));
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&other));
    EXPECT_TRUE(p->Skinned());
    EXPECT_TRUE(f->Commands.empty());
    // Nor does the removal, whoever's it is.
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&other));
    EXPECT_TRUE(p->Skinned());
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(p->Skinned());
    EXPECT_TRUE(f->Commands.empty());
}

TEST_F(FormSkinningTest, RegionCutsTheCornersAndFollowsTheSize)
{
    TLogForm* f = NewForm(400, 300);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    ASSERT_FALSE(p->Cutouts().empty());
    EXPECT_FALSE(InRegion(wnd, 0, 0));
    EXPECT_FALSE(InRegion(wnd, 399, 0));
    EXPECT_FALSE(InRegion(wnd, 0, 299));
    EXPECT_FALSE(InRegion(wnd, 399, 299));
    EXPECT_TRUE(InRegion(wnd, 200, 150));
    EXPECT_TRUE(InRegion(wnd, 0, 150));
    EXPECT_TRUE(InRegion(wnd, 200, 0));

    f->SetBounds(60, 60, 520, 260);
    tw::Application->ProcessMessages();
    EXPECT_FALSE(InRegion(wnd, 519, 259));
    EXPECT_TRUE(InRegion(wnd, 519, 130));
    EXPECT_TRUE(InRegion(wnd, 430, 259));
    EXPECT_FALSE(InRegion(wnd, 520, 130));
    // Every cut-out lies in a corner.
    for (const TRect& r : p->Cutouts()) {
        EXPECT_TRUE(r.Left < 16 || r.Right > 520 - 16) << r.Left << "," << r.Top;
        EXPECT_TRUE(r.Top < 16 || r.Bottom > 260 - 16) << r.Left << "," << r.Top;
    }

    // Without the skin the window has no region.
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
}

TEST_F(FormSkinningTest, MessageTableRows)
{
    TLogForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());

    // What the controls ask of their form.
    RECT frame;
    GetWindowRect(wnd, &frame);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYCLIENTORIGIN), MAKELONG(origin.x - frame.left, origin.y - frame.top));
    const TsGeneralData& section = manager.gd[size_t(manager.GetSkinIndex("FORM"))];
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYUPDATING), section.GradientPercent + section.ImagePercent > 0 ? 1 : 0);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYAPPLICATION), reinterpret_cast<LRESULT>(tw::Application));
    SendSkinCommand(wnd, AC_SETACTIVESTATE, 0);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYACTIVE), 0);

    // The redraw count never goes below zero.
    SendMessageW(wnd, WM_SETREDRAW, FALSE, 0);
    SendMessageW(wnd, WM_SETREDRAW, FALSE, 0);
    EXPECT_EQ(p->RedrawSuspendCount(), 2);
    for (int i = 0; i < 3; ++i)
        SendMessageW(wnd, WM_SETREDRAW, TRUE, 0);
    EXPECT_EQ(p->RedrawSuspendCount(), 0);

    // Printing of the client alone and idle notes end at the provider.
    f->Seen.clear();
    HDC dc = GetDC(wnd);
    SendMessageW(wnd, WM_PRINTCLIENT, WPARAM(dc), 0);
    ReleaseDC(wnd, dc);
    EXPECT_EQ(SendMessageW(wnd, WM_ENTERIDLE, 0, 0), 0);
    EXPECT_TRUE(f->Seen.empty());

    // Maximized, the form fills the work area with the system frame beyond it.
    MINMAXINFO mmi{};
    SendMessageW(wnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int b = GetSystemMetrics(SM_CXFRAME);
    EXPECT_EQ(mmi.ptMaxSize.x, work.right - work.left + 2 * b);
    EXPECT_EQ(mmi.ptMaxPosition.x, -b);

    // Snapping: near the right edge of the work area the form lands on it.
    p->SetScreenSnap(true);
    RECT wr;
    GetWindowRect(wnd, &wr);
    const int w = wr.right - wr.left;
    SetWindowPos(wnd, nullptr, work.right - w - 6, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.right, work.right);
    SetWindowPos(wnd, nullptr, work.right - w - 40, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.right, work.right - 40);
    p->SetScreenSnap(false);
    SetWindowPos(wnd, nullptr, work.right - w - 6, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(wr.right, work.right - 6);
}

TEST_F(FormSkinningTest, GripAndUserTitleButtons)
{
    TLogForm* f = NewForm();
    TsSkinProvider* p = FindProvider(f);
    int ups = 0, downs = 0;
    TsTitleButton& b = p->TitleButtons().Add();
    b.Name = "Pin";
    b.OnMouseDown = [&](TsTitleButton&, int, TPoint) { ++downs; };
    b.OnMouseUp = [&](TsTitleButton&, int, TPoint) { ++ups; };
    p->SetGripMode(gmRightBottom);
    HWND wnd = Shown(f);

    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT corner{cr.right - 2, cr.bottom - 2};
    ClientToScreen(wnd, &corner);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)), htBottomRight);
    POINT mid{cr.right / 2, cr.bottom / 2};
    ClientToScreen(wnd, &mid);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(mid.x, mid.y)), htClient);
    // A maximized form has no grip.
    ShowWindow(wnd, SW_MAXIMIZE);
    GetClientRect(wnd, &cr);
    corner = {cr.right - 2, cr.bottom - 2};
    ClientToScreen(wnd, &corner);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, MAKELPARAM(corner.x, corner.y)), htClient);
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();

    // The user button sits left of the caption buttons and runs its events.
    Hit(wnd, 200, 10);
    ASSERT_EQ(p->Buttons().User.size(), 1u);
    const TRect r = p->Buttons().User[0];
    ASSERT_GT(r.Right, r.Left);
    EXPECT_LE(r.Right, p->Buttons().Min.Left);
    const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
    EXPECT_EQ(Hit(wnd, x, y), htUserButton);
    GetWindowRect(wnd, &wr);
    const LPARAM at = MAKELPARAM(wr.left + x, wr.top + y);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htUserButton, at);
    EXPECT_EQ(downs, 1);
    EXPECT_TRUE(p->ButtonPressed());
    SendMessageW(wnd, WM_NCLBUTTONUP, htUserButton, at);
    EXPECT_EQ(ups, 1);
    // A disabled one is title bar.
    b.Enabled = false;
    EXPECT_EQ(Hit(wnd, x, y), htCaption);

    // Pressed, left and come back before the release: the close button
    // does nothing, the press ended when the mouse left it.
    Hit(wnd, 200, 10);
    const TRect close = p->Buttons().Close;
    const LPARAM onClose = MAKELPARAM(wr.left + (close.Left + close.Right) / 2, wr.top + (close.Top + close.Bottom) / 2);
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htClose, onClose);
    ASSERT_TRUE(p->ButtonPressed());
    EXPECT_EQ(Hit(wnd, 200, 10), htCaption);
    EXPECT_FALSE(p->ButtonPressed());
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, onClose), htClose);
    SendMessageW(wnd, WM_NCLBUTTONUP, htClose, onClose);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(wnd));
    // Released off the button, the press ends too.
    SendMessageW(wnd, WM_NCLBUTTONDOWN, htClose, onClose);
    SendMessageW(wnd, WM_NCLBUTTONUP, htCaption, MAKELPARAM(wr.left + 200, wr.top + 10));
    EXPECT_FALSE(p->ButtonPressed());
    EXPECT_EQ(p->HotCode(), 0);
}

TEST_F(FormSkinningTest, DialogChildrenGetTheAdapterTheirClassAndStyleAsk)
{
    HWND parent = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    auto child = [&](const wchar_t* cls, DWORD style, bool visible = true) {
        return CreateWindowW(cls, L"x", WS_CHILD | (visible ? WS_VISIBLE : 0) | style, 0, 0, 50, 20, parent, nullptr,
                             nullptr, nullptr);
    };
    struct Case {
        HWND Wnd;
        const char* Kind; // nullptr: no adapter
        const char* Section;
    };
    const std::vector<Case> cases = {
        {child(L"STATIC", SS_ICON), "TacIconWnd", "CHECKBOX"},
        {child(L"STATIC", SS_BLACKFRAME), "TacIconWnd", "CHECKBOX"},   // mask test: 7 holds 3
        {child(L"STATIC", SS_ENHMETAFILE), "TacIconWnd", "CHECKBOX"},  // 15 holds 14
        {child(L"STATIC", SS_OWNERDRAW), nullptr, nullptr},
        {child(L"STATIC", SS_GRAYRECT), nullptr, nullptr},
        {child(L"STATIC", SS_LEFT), "TacStaticWnd", "CHECKBOX"},
        {child(L"BUTTON", BS_GROUPBOX), "TacGroupBoxWnd", "GROUPBOX"},
        {child(L"BUTTON", BS_OWNERDRAW), "TacCheckBoxWnd", "CHECKBOX"},
        {child(L"BUTTON", BS_AUTORADIOBUTTON), "TacCheckBoxWnd", "CHECKBOX"},
        {child(L"BUTTON", BS_DEFPUSHBUTTON), "TacBtnWnd", "BUTTON"},
        {child(L"BUTTON", BS_USERBUTTON), "TacBtnWnd", "BUTTON"},
        {child(L"EDIT", 0, false), nullptr, nullptr},
        {child(L"LISTBOX", 0), "TacEditWnd", "EDIT"},
        {child(L"SCROLLBAR", 0), "TacSizerWnd", "CHECKBOX"},
        {child(L"msctls_updown32", 0), "TacSpinWnd", "SPEEDBUTTON_SMALL"},
        {child(L"SCROLLBAR", SBS_SIZEGRIP), "TacSizerWnd", "CHECKBOX"},
    };
    TacProvider provider;
    provider.DialogAdapter = std::make_unique<TacDialogWnd>(parent, &manager);
    provider.DialogAdapter->PaintSuppressed = true;
    ASSERT_TRUE(AdaptDialogChildren(provider, parent));
    // Painted from the skin while adapted.
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    UpdateWindow(parent);
    for (const Case& c : cases) {
        TacMainWnd* a = TacMainWnd::Of(c.Wnd);
        if (!c.Kind) {
            EXPECT_EQ(a, nullptr);
            continue;
        }
        ASSERT_NE(a, nullptr) << c.Kind;
        EXPECT_STREQ(a->Kind(), c.Kind);
        EXPECT_EQ(a->Section(), c.Section);
        EXPECT_EQ(SendSkinCommand(c.Wnd, AC_QUERYSKINNED), 1);
    }
    // A hidden edit still means the dialog paints its own client.
    EXPECT_FALSE(provider.DialogAdapter->PaintSuppressed);
    EXPECT_TRUE(TacMainWnd::Of(cases[12].Wnd)->DialogChild);
    // A second walk adds nothing: skinned children answer so.
    const size_t count = provider.Children.size();
    AdaptDialogChildren(provider, parent);
    EXPECT_EQ(provider.Children.size(), count);

    // Freed, every window has its own procedure back.
    const LONG_PTR editProc = GetWindowLongPtrW(cases[11].Wnd, GWLP_WNDPROC);
    provider.Children.clear();
    provider.DialogAdapter.reset();
    for (const Case& c : cases)
        EXPECT_EQ(TacMainWnd::Of(c.Wnd), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(cases[11].Wnd, GWLP_WNDPROC), editProc);
    EXPECT_EQ(SendSkinCommand(cases[9].Wnd, AC_QUERYSKINNED), 0);
    DestroyWindow(parent);
}

TEST_F(FormSkinningTest, TheMenuLineStaysTheSystemsInsideTheSkinnedFrame)
{
    // Menus not drawn from the skin: the system draws the menu line.
    manager.SetSkinnedPopups(false);
    TLogForm* f = NewForm();
    auto* menu = new tw::TMainMenu(f);
    auto* file = new tw::TMenuItem(f);
    file->SetCaption("File");
    menu->Items()->Add(file);
    f->SetMenu(menu);
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    MENUBARINFO mbi{};
    mbi.cbSize = sizeof(mbi);
    ASSERT_TRUE(GetMenuBarInfo(wnd, OBJID_MENU, 0, &mbi));
    RECT wr;
    GetWindowRect(wnd, &wr);
    f->NcPaints.clear();
    RedrawWindow(wnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    // The form's own painting of its frame is asked for the menu line only.
    ASSERT_FALSE(f->NcPaints.empty());
    for (const RECT& r : f->NcPaints) {
        EXPECT_EQ(r.top, mbi.rcBar.top - wr.top);
        EXPECT_EQ(r.left, mbi.rcBar.left - wr.left);
        EXPECT_LE(r.bottom, mbi.rcBar.bottom - wr.top + 1);
    }
    // Clicks there open the menus as before.
    EXPECT_EQ(Hit(wnd, mbi.rcBar.left - wr.left + 5, mbi.rcBar.top - wr.top + 3), HTMENU);
}

// Runs once the modal loop of a system dialog is under way and the dialog
// is up and painted; the probe goes with it, and a dialog that never
// settles is cancelled at the deadline.
struct TDialogProbe {
    std::function<void(HWND)> Act;
    std::unique_ptr<test::TModalProbe> Probe;
};

void WhenDialogShows(TDialogProbe& probe)
{
    probe.Probe = std::make_unique<test::TModalProbe>([&probe] {
        const HWND dlg = test::VisibleThreadWindow(L"#32770");
        if (!dlg || !test::Settled(dlg))
            return false;
        auto act = std::move(probe.Act);
        probe.Act = nullptr;
        if (act)
            act(dlg);
        return true;
    });
}

TEST_F(FormSkinningTest, AMessageBoxIsSkinnedAndAnswers)
{
    TLogForm* owner = NewForm();
    Shown(owner);
    manager.SendNewSkin(false);   // installs the hook of the default manager
    ASSERT_NE(SkinHookHandle(), nullptr);

    bool skinned = false, adapted = false, caption = false;
    TDialogProbe probe;
    probe.Act = [&](HWND dlg) {
        skinned = SendSkinCommand(dlg, AC_QUERYSKINNED) == 1;
        TacProvider* p = FindProvider(dlg);
        adapted = p && p->DialogAdapter && !p->Children.empty();
        if (p) {
            for (const auto& c : p->Children)
                if (GetDlgCtrlID(c->Handle()) == IDNO)
                    adapted = adapted && std::string(c->Kind()) == "TacBtnWnd";
        }
        RECT wr;
        GetWindowRect(dlg, &wr);
        caption = SendMessageW(dlg, WM_NCHITTEST, 0, MAKELPARAM(wr.left + 30, wr.top + 8)) == HTCAPTION;
        SendMessageW(GetDlgItem(dlg, IDNO), BM_CLICK, 0, 0);
    };
    WhenDialogShows(probe);
    const int answer = MessageBoxW(owner->Handle(), L"Keep it?", L"Question", MB_YESNO);
    EXPECT_EQ(answer, IDNO);
    EXPECT_TRUE(skinned);
    EXPECT_TRUE(adapted);
    EXPECT_TRUE(caption);
    // The dialog has ended: its provider goes at the next window's end.
    tw::Application->ProcessMessages();
    DestroyWindow(CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(DialogProviders().empty());
    manager.SendRemoveSkin();
}

TEST_F(FormSkinningTest, TheSkinnedMessageRoutineShowsItsBoxWhereAskedInTheSkinsFrame)
{
    RECT at{};
    bool skinned = false;
    test::TModalProbe probe([&] {
        HWND box = FindWindowW(nullptr, L"Information");
        if (!box || !IsWindowVisible(box))
            return false;
        GetWindowRect(box, &at);
        auto* link = reinterpret_cast<TSkinnedFormLink*>(SendSkinCommand(box, AC_QUERYPROVIDER));
        skinned = link && link->FormSkinned();
        PostMessageW(box, WM_CLOSE, 0, 0);
        return true;
    });
    probe.OnTimeout = [] {
        if (HWND box = FindWindowW(nullptr, L"Information"))
            PostMessageW(box, WM_CLOSE, 0, 0);
    };
    ShowSkinMessageAt("Placed", 2, tw::mbOK, 70, 80);
    EXPECT_EQ(at.left, 70);
    EXPECT_EQ(at.top, 80);
    EXPECT_TRUE(skinned);
    // Given back: the next box goes where the system puts it.
    EXPECT_EQ(DialogPos.X, -1);
    EXPECT_EQ(DialogPos.Y, -1);
    EXPECT_FALSE(probe.TimedOut());
}

TEST_F(FormSkinningTest, TheSaveDialogIsSkinnedAndReturnsTheChosenFile)
{
    TLogForm* owner = NewForm();
    Shown(owner);
    manager.SendNewSkin(false);
    ASSERT_NE(SkinHookHandle(), nullptr);

    bool skinned = false;
    TDialogProbe probe;
    probe.Act = [&](HWND dlg) {
        skinned = SendSkinCommand(dlg, AC_QUERYSKINNED) == 1 && FindProvider(dlg) != nullptr;
        // The file name box of the explorer-style dialog, then OK.
        SetDlgItemTextW(dlg, 0x47C, L"C:\\chosen.ts");
        SetDlgItemTextW(dlg, 0x480, L"C:\\chosen.ts");
        PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    };
    WhenDialogShows(probe);
    tw::TSaveDialog save(nullptr);
    save.SetFilter("Transport streams|*.ts");
    const bool ok = save.Execute();
    EXPECT_TRUE(skinned);
    ASSERT_TRUE(ok);
    EXPECT_NE(save.FileName().find("chosen.ts"), std::string::npos) << save.FileName();
    manager.SendRemoveSkin();
}

TEST_F(FormSkinningTest, RemovingTheSkinUnderAnOpenDialogGivesItsWindowsBack)
{
    TLogForm* owner = NewForm();
    Shown(owner);
    manager.SendNewSkin(false);
    bool before = false, after = true, frameBack = false;
    TDialogProbe probe;
    probe.Act = [&](HWND dlg) {
        before = GetPropW(dlg, L"ACSBSC") != nullptr;
        manager.SendRemoveSkin();
        after = GetPropW(dlg, L"ACSBSC") != nullptr || SendSkinCommand(dlg, AC_QUERYSKINNED) == 1;
        for (HWND c = GetTopWindow(dlg); c; c = GetWindow(c, GW_HWNDNEXT))
            after = after || GetPropW(c, L"ACSBSC") != nullptr;
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        frameBack = GetWindowRgn(dlg, rgn) == ERROR;
        DeleteObject(rgn);
        SendMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
    };
    WhenDialogShows(probe);
    EXPECT_EQ(MessageBoxW(owner->Handle(), L"Skin goes", L"Note", MB_OK), IDOK);
    EXPECT_TRUE(before);
    EXPECT_FALSE(after);
    EXPECT_TRUE(frameBack);
    EXPECT_EQ(SkinHookHandle(), nullptr);
}

TEST_F(FormSkinningTest, AHundredSkinSwitchesLeaveNothingBehind)
{
    TLogForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    const LONG_PTR ownProc = GetWindowLongPtrW(wnd, GWLP_WNDPROC);
    auto offOn = [&] {
        SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
        SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
        tw::Application->ProcessMessages();
    };
    for (int i = 0; i < 3; ++i)
        offOn();
    const DWORD gdi = tw::test::GdiObjects();
    for (int i = 0; i < 100; ++i)
        offOn();
    EXPECT_LE(tw::test::GdiObjects(), gdi);
    EXPECT_TRUE(p->Skinned());
    // Off: the system's frame, no region, the window's own procedure.
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_FALSE(p->Skinned());
    EXPECT_TRUE(p->Cutouts().empty());
    EXPECT_EQ(GetWindowLongPtrW(wnd, GWLP_WNDPROC), ownProc);
    EXPECT_EQ(GetPropW(wnd, L"ACSBSC"), nullptr);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
}

} // namespace
} // namespace skin

#endif
