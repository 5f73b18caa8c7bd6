// The children of a skinned system dialog under Wine: fields, lists, combo
// boxes and check boxes answer in the skin's colours, list and tree views
// wear them while adapted and get their own back, a system edit scrolls by
// the skinned arrows, and adapting again and again leaves no GDI object.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "tests/support/GdiObjects.h"
#include "ui/Graphics.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class DialogChildrenTest : public test::SystemDialogTest {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES};
        InitCommonControlsEx(&icc);
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        dialog = CreateWindowW(L"#32770", L"Fields", WS_POPUP | WS_CAPTION | WS_SYSMENU, 50, 50, 420, 320, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
        edit = Child(L"EDIT", WS_BORDER | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL, 10, 10, 180, 90);
        std::wstring text;
        for (int i = 0; i < 60; ++i)
            text += L"line " + std::to_wstring(i) + L"\r\n";
        SetWindowTextW(edit, text.c_str());
        list = Child(L"LISTBOX", WS_BORDER | WS_VSCROLL, 200, 10, 180, 90);
        combo = Child(L"COMBOBOX", CBS_DROPDOWN, 10, 110, 180, 120);
        check = Child(L"BUTTON", BS_AUTOCHECKBOX, 200, 110, 180, 20);
        view = Child(WC_LISTVIEWW, LVS_REPORT, 10, 150, 180, 80);
        tree = Child(WC_TREEVIEWW, 0, 200, 150, 180, 80);
        page = Child(L"#32770", 0, 10, 240, 380, 40);
        label = CreateWindowW(L"STATIC", L"On the page", WS_CHILD | WS_VISIBLE, 4, 4, 100, 20, page, nullptr, nullptr,
                              nullptr);
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        UpdateWindow(dialog);
    }
    HWND Child(const wchar_t* cls, DWORD style, int x, int y, int w, int h)
    {
        return CreateWindowW(cls, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog, nullptr, nullptr, nullptr);
    }
    TacSectionColors Edit() const { return SectionColors(&manager, "EDIT"); }
    // Asks a window for the colours of a child as the child would.
    static std::pair<COLORREF, COLORREF> Asked(HWND to, UINT msg, HWND child, LRESULT* brush = nullptr)
    {
        HDC dc = CreateCompatibleDC(nullptr);
        const LRESULT r = SendMessageW(to, msg, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child));
        if (brush)
            *brush = r;
        const std::pair<COLORREF, COLORREF> c{GetBkColor(dc), GetTextColor(dc)};
        DeleteDC(dc);
        return c;
    }

    HWND edit = nullptr, list = nullptr, combo = nullptr, check = nullptr, view = nullptr, tree = nullptr,
         page = nullptr, label = nullptr;
};

TEST_F(DialogChildrenTest, FieldsListsAndCombosAnswerInTheSkinsColours)
{
    const COLORREF viewBack = COLORREF(SendMessageW(view, LVM_GETBKCOLOR, 0, 0));
    const COLORREF treeBack = COLORREF(SendMessageW(tree, TVM_GETBKCOLOR, 0, 0));
    Adapt();
    const TacSectionColors field = Edit();
    ASSERT_TRUE(field.Valid);
    ASSERT_NE(field.Back, viewBack);   // the dark skin's fields are not the system's white

    for (HWND f : {edit, list}) {
        ASSERT_NE(dynamic_cast<TacEditWnd*>(TacMainWnd::Of(f)), nullptr);
        LRESULT brush = 0;
        const auto c = Asked(dialog, f == edit ? WM_CTLCOLOREDIT : WM_CTLCOLORLISTBOX, f, &brush);
        EXPECT_NE(brush, 0);
        EXPECT_EQ(c.first, field.Back);
        EXPECT_EQ(c.second, field.Text);
    }
    // A read-only edit asks as a label would and still gets the field's look.
    EXPECT_EQ(Asked(dialog, WM_CTLCOLORSTATIC, edit).first, field.Back);
    // The combo box answers for its own edit and list.
    ASSERT_NE(dynamic_cast<TacComboBoxWnd*>(TacMainWnd::Of(combo)), nullptr);
    COMBOBOXINFO cbi{};
    cbi.cbSize = sizeof(cbi);
    ASSERT_TRUE(GetComboBoxInfo(combo, &cbi));
    EXPECT_EQ(Asked(combo, WM_CTLCOLOREDIT, cbi.hwndItem).first, field.Back);
    EXPECT_EQ(Asked(combo, WM_CTLCOLORLISTBOX, cbi.hwndList).second, field.Text);
    // Check boxes are written in the dialog's text colour.
    const TacSectionColors dlg = SectionColors(&manager, "DIALOG");
    EXPECT_EQ(Asked(dialog, WM_CTLCOLORBTN, check).second, dlg.Text);
    // The nested page answers its labels in the dialog's colours.
    ASSERT_NE(dynamic_cast<TacTransPanelWnd*>(TacMainWnd::Of(page)), nullptr);
    const auto onPage = Asked(page, WM_CTLCOLORSTATIC, label);
    EXPECT_EQ(onPage.second, dlg.Text);
    EXPECT_EQ(onPage.first, COLORREF(manager.GetGlobalColor()) & 0xFFFFFF);
    // The views wear the field colours while adapted, their own after.
    EXPECT_EQ(COLORREF(SendMessageW(view, LVM_GETBKCOLOR, 0, 0)), field.Back);
    EXPECT_EQ(COLORREF(SendMessageW(view, LVM_GETTEXTCOLOR, 0, 0)), field.Text);
    EXPECT_EQ(COLORREF(SendMessageW(tree, TVM_GETBKCOLOR, 0, 0)), field.Back);
    provider.reset();
    EXPECT_EQ(COLORREF(SendMessageW(view, LVM_GETBKCOLOR, 0, 0)), viewBack);
    EXPECT_EQ(COLORREF(SendMessageW(tree, TVM_GETBKCOLOR, 0, 0)), treeBack);
    for (HWND w : {edit, list, combo, check, view, tree, page})
        EXPECT_EQ(TacMainWnd::Of(w), nullptr);
    // Without a dialog adapter the system's colours are asked again.
    EXPECT_NE(Asked(dialog, WM_CTLCOLOREDIT, edit).first, field.Back);
}

// A memory picture of a window's client, first filled with one colour.
struct TClientShot {
    TClientShot(HWND wnd, COLORREF fill)
    {
        RECT r;
        GetClientRect(wnd, &r);
        W = r.right;
        H = r.bottom;
        dc = CreateCompatibleDC(nullptr);
        HDC screen = GetDC(nullptr);
        bmp = CreateCompatibleBitmap(screen, W, H);
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bmp);
        HBRUSH b = CreateSolidBrush(fill);
        FillRect(dc, &r, b);
        DeleteObject(b);
    }
    ~TClientShot()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
    int W = 0, H = 0;
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
};

// Where a child lies in the dialog's client.
RECT InDialog(HWND child, HWND dialog)
{
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST_F(DialogChildrenTest, TheClientShowsTheSkinsDialogBackgroundUnderItsChildren)
{
    Adapt();
    TacDialogWnd& adapter = *provider->DialogAdapter;
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_UPDATENOW);
    const tw::TBitmap* cache = adapter.Cache();
    ASSERT_NE(cache, nullptr);
    POINT client{0, 0};
    ClientToScreen(dialog, &client);
    RECT wr;
    GetWindowRect(dialog, &wr);
    const int ox = client.x - wr.left, oy = client.y - wr.top;
    auto skinAt = [&](int x, int y) { return GetPixel(const_cast<tw::TBitmap*>(cache)->Canvas().Handle(), ox + x, oy + y); };
    // The skin's dialog client is more than its colour: its pattern shows.
    std::set<COLORREF> colours;
    for (int y = 0; y < 60; y += 3)
        for (int x = 0; x < 60; x += 3)
            colours.insert(skinAt(x, 100 + y));
    EXPECT_GT(colours.size(), 2u);

    // The erase paints that picture, around the children; a child that
    // draws its own face is left to it.
    const COLORREF marker = RGB(255, 0, 255);
    {
        TClientShot shot(dialog, marker);
        EXPECT_EQ(SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(shot.dc), 0), 1);
        const RECT e = InDialog(edit, dialog);
        EXPECT_EQ(shot.At(e.left + 5, e.top + 5), marker);
        int same = 0, checked = 0;
        for (int y = 0; y < shot.H; y += 7)
            for (int x = 0; x < shot.W; x += 7) {
                const POINT p{x, y};
                bool onChild = false;
                for (HWND c = GetTopWindow(dialog); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    const RECT r = InDialog(c, dialog);
                    onChild = onChild || PtInRect(&r, p);
                }
                if (onChild)
                    continue;
                ++checked;
                same += shot.At(x, y) == skinAt(x, y);
            }
        ASSERT_GT(checked, 100);
        EXPECT_EQ(same, checked);
    }
    // Labels and check boxes fill with what lies under them, on the dialog
    // and on its nested page alike.
    for (auto [parent, msg, child] : {std::tuple{dialog, UINT(WM_CTLCOLORBTN), check},
                                      std::tuple{page, UINT(WM_CTLCOLORSTATIC), label}}) {
        TClientShot shot(child, marker);
        HBRUSH brush = reinterpret_cast<HBRUSH>(
            SendMessageW(parent, msg, reinterpret_cast<WPARAM>(shot.dc), reinterpret_cast<LPARAM>(child)));
        ASSERT_NE(brush, nullptr);
        RECT all{0, 0, shot.W, shot.H};
        FillRect(shot.dc, &all, brush);
        const RECT at = InDialog(child, dialog);
        int same = 0;
        for (int x = 0; x < shot.W; x += 5)
            same += shot.At(x, shot.H / 2) == skinAt(at.left + x, at.top + shot.H / 2);
        EXPECT_EQ(same, (shot.W + 4) / 5);
    }
    // The page itself shows the part of the dialog it covers.
    {
        TClientShot shot(page, marker);
        SendMessageW(page, WM_ERASEBKGND, reinterpret_cast<WPARAM>(shot.dc), 0);
        const RECT at = InDialog(page, dialog);
        EXPECT_EQ(shot.At(200, 10), skinAt(at.left + 200, at.top + 10));
        EXPECT_EQ(shot.At(300, 30), skinAt(at.left + 300, at.top + 30));
    }

    // A transparent tool bar (as the file dialogs have) has its parent
    // erase into its own device context: the whole of it shows the client.
    {
        HWND bar = CreateWindowW(TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | TBSTYLE_TRANSPARENT | TBSTYLE_FLAT |
                                 CCS_NORESIZE | CCS_NODIVIDER, 250, 280, 120, 24, dialog, nullptr, nullptr, nullptr);
        ASSERT_NE(bar, nullptr);
        HDC dc = GetDC(bar);
        RECT all{0, 0, 120, 24};
        HBRUSH b = CreateSolidBrush(marker);
        FillRect(dc, &all, b);
        DeleteObject(b);
        SendMessageW(bar, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        const RECT at = InDialog(bar, dialog);
        EXPECT_EQ(GetPixel(dc, 10, 12), skinAt(at.left + 10, at.top + 12));
        EXPECT_EQ(GetPixel(dc, 100, 5), skinAt(at.left + 100, at.top + 5));
        ReleaseDC(bar, dc);
        DestroyWindow(bar);
    }

    // When the skin goes the system's plain face is back.
    provider.reset();
    TClientShot shot(dialog, marker);
    SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(shot.dc), 0);
    EXPECT_EQ(shot.At(shot.W - 5, shot.H - 5), GetSysColor(COLOR_3DFACE));
    EXPECT_EQ(shot.At(5, 100), GetSysColor(COLOR_3DFACE));
}

TEST_F(DialogChildrenTest, ASystemEditScrollsByTheSkinnedArrows)
{
    Adapt();
    auto* a = dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(edit));
    ASSERT_NE(a, nullptr);
    a->UpdateScrollState(false);
    const TacScrollBarState bar = a->Bar(true);
    ASSERT_TRUE(bar.Visible);
    ASSERT_TRUE(bar.Enabled);
    const TsScrollGeometry g = ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, bar.Pos);
    RECT wr;
    GetWindowRect(edit, &wr);
    const POINT at{wr.left + bar.Rect.Left + (g.LineMax.Left + g.LineMax.Right) / 2,
                   wr.top + bar.Rect.Top + (g.LineMax.Top + g.LineMax.Bottom) / 2};
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    for (int i = 0; i < 2; ++i) {
        SendMessageW(edit, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(at.x, at.y));
        POINT c = at;
        ScreenToClient(edit, &c);
        SendMessageW(edit, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
    }
    EXPECT_EQ(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 2);
    EXPECT_EQ(a->Bar(true).Pos, 2);
    // Typing at the end scrolls the edit itself; the bar follows.
    SendMessageW(edit, EM_SETSEL, WPARAM(-1), -1);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    EXPECT_EQ(a->Bar(true).Pos, int(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0)));
}

TEST_F(DialogChildrenTest, AdaptingAgainAndAgainLeavesNothingBehind)
{
    const LONG_PTR editProc = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    for (int i = 0; i < 3; ++i) {
        Adapt();
        Asked(dialog, WM_CTLCOLOREDIT, edit);
        provider.reset();
    }
    const DWORD gdi = tw::test::GdiObjects();
    for (int i = 0; i < 20; ++i) {
        Adapt();
        Asked(dialog, WM_CTLCOLOREDIT, edit);
        Asked(combo, WM_CTLCOLORLISTBOX, combo);
        Asked(dialog, WM_CTLCOLORBTN, check);
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        provider.reset();
    }
    EXPECT_LE(tw::test::GdiObjects(), gdi);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), editProc);
}

LRESULT CALLBACK SkinnedAlreadyProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD && SkinCommandOf(wp) == AC_QUERYSKINNED)
        return 1;
    return DefWindowProcW(wnd, msg, wp, lp);
}

const wchar_t* OwnClass(const wchar_t* name, WNDPROC proc = DefWindowProcW)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
    return name;
}

TEST_F(DialogChildrenTest, EveryOtherClassGetsItsAdapterSectionAndFlags)
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_USEREX_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&icc);
    struct Case {
        const wchar_t* Class;
        DWORD Style;
        const char* Kind; // nullptr: no adapter
        const char* Section;
        bool PaintsItsClient; // the dialog paints its own client then
    };
    const Case cases[] = {
        {L"STATIC", SS_WHITERECT, nullptr, nullptr, false},
        {L"STATIC", SS_SIMPLE, "TacIconWnd", "CHECKBOX", false}, // 11 holds 3
        {L"#32770", 0, "TacTransPanelWnd", "CHECKBOX", false},
        {OwnClass(L"TPanel"), 0, "TacDlgPanelWnd", "PANEL", false},
        {OwnClass(L"TSilentPaintPanel"), 0, "TacDlgPanelWnd", "PANEL", false},
        {L"BUTTON", BS_RADIOBUTTON, "TacCheckBoxWnd", "CHECKBOX", false},
        {L"BUTTON", BS_PUSHBUTTON, "TacBtnWnd", "BUTTON", false},
        {L"COMBOBOX", CBS_DROPDOWNLIST, "TacComboBoxWnd", "COMBOBOX", true},
        {OwnClass(L"ComboLBox"), 0, "TacEditWnd", "COMBOBOX", true},
        {WC_COMBOBOXEXW, CBS_DROPDOWNLIST, "TacComboBoxWnd", "COMBOBOX", true},
        {WC_TABCONTROLW, TCS_OWNERDRAWFIXED, nullptr, nullptr, false},
        {WC_TABCONTROLW, 0, "TacTabControlWnd", "PAGECONTROL", false},
        {WC_LISTVIEWW, LVS_REPORT, "TacListViewWnd", "EDIT", false},
        {WC_TREEVIEWW, 0, "TacTreeViewWnd", "EDIT", false},
        {OwnClass(L"Link Window"), 0, "TacLinkWnd", "CHECKBOX", false},
        {TOOLBARCLASSNAMEW, CCS_NORESIZE | TBSTYLE_TRANSPARENT, "TacToolBarWnd", "CHECKBOX", false},
        {TOOLBARCLASSNAMEW, CCS_NORESIZE | CCS_ADJUSTABLE, "TacToolBarWnd", "CHECKBOX", false},
        {TOOLBARCLASSNAMEW, CCS_NORESIZE | 0x200, "TacToolBarWnd", "BAR", false},
        {OwnClass(L"XSHBrowseForFolderHost"), 0, "TacTransPanelWnd", "CHECKBOX", false},
        {OwnClass(L"SomethingElse"), 0, nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Kind ? c.Kind : "none") + " " + std::to_string(c.Style));
        HWND host = CreateWindowW(L"#32770", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        HWND w = CreateWindowW(c.Class, L"x", WS_CHILD | WS_VISIBLE | c.Style, 5, 6, 120, 40, host, nullptr, nullptr,
                               nullptr);
        ASSERT_NE(w, nullptr);
        TacProvider provider;
        provider.DialogAdapter = std::make_unique<TacDialogWnd>(host, &manager);
        provider.DialogAdapter->PaintSuppressed = true;
        ASSERT_TRUE(AdaptDialogChild(provider, w));
        EXPECT_EQ(provider.DialogAdapter->PaintSuppressed, !c.PaintsItsClient);
        TacMainWnd* a = TacMainWnd::Of(w);
        EXPECT_EQ(a != nullptr, c.Kind != nullptr);
        if (a && c.Kind) {
            EXPECT_STREQ(a->Kind(), c.Kind);
            EXPECT_EQ(a->Section(), c.Section);
            // Every child of a foreign dialog knows it sits in one.
            EXPECT_TRUE(a->DialogChild);
            // Where it lies is read as it is taken over.
            EXPECT_EQ(a->Geometry.Size.cx, 120);
            EXPECT_EQ(a->Geometry.PosInParent.x, 5);
            EXPECT_EQ(provider.Children.size(), 1u);
        }
        provider.Children.clear();
        provider.DialogAdapter.reset();
        DestroyWindow(host);
    }

    // The spin buttons start in their own state.
    HWND host = CreateWindowW(L"#32770", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND spin = CreateWindowW(UPDOWN_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 40, host, nullptr, nullptr, nullptr);
    // A child that says it is skinned gets nothing more, its own child does,
    // and before it.
    HWND skinned = CreateWindowW(OwnClass(L"SkinnedAlready", SkinnedAlreadyProc), L"", WS_CHILD | WS_VISIBLE, 0, 50,
                                 200, 100, host, nullptr, nullptr, nullptr);
    HWND inner = CreateWindowW(L"BUTTON", L"in", WS_CHILD | WS_VISIBLE, 0, 0, 80, 20, skinned, nullptr, nullptr, nullptr);
    TacProvider provider;
    provider.DialogAdapter = std::make_unique<TacDialogWnd>(host, &manager);
    ASSERT_TRUE(AdaptDialogChildren(provider, host));
    auto* s = dynamic_cast<TacSpinWnd*>(TacMainWnd::Of(spin));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->State, 2);
    EXPECT_EQ(TacMainWnd::Of(skinned), nullptr);
    ASSERT_NE(TacMainWnd::Of(inner), nullptr);
    EXPECT_EQ(provider.Children.size(), 2u);
    provider.Children.clear();
    provider.DialogAdapter.reset();
    DestroyWindow(host);
}

} // namespace
} // namespace skin

#endif
