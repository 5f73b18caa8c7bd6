// The adapters of a skinned system dialog's children under Wine: each window
// gets the adapter its class and style ask for, with its place, its caption
// and the skin's answers; check boxes, group boxes and spin buttons are
// painted from the skin, and every window gets its procedure back.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/link/ItemPaintingWin.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acDialogChildren.h"
#include "skin/windows/acDials.h"
#include "skin/windows/sSkinProvider.h"
#include "skin/windows/sSystemMenu.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Graphics.h"
#include "ui/StdCtrls.h"
#include "ui/ValEdit.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class WindowAdaptersTest : public test::SystemDialogTest {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_UPDOWN_CLASS | ICC_TAB_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        dialog = CreateWindowW(L"#32770", L"Adapters", WS_POPUP | WS_CAPTION, 40, 40, 420, 300, nullptr, nullptr,
                               nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
        label = Child(L"STATIC", L"A label", SS_LEFT, 10, 10, 120, 20);
        icon = Child(L"STATIC", L"", SS_ICON, 140, 10, 32, 32);
        check = Child(L"BUTTON", L"Check me", BS_AUTOCHECKBOX, 10, 40, 150, 24);
        radio = Child(L"BUTTON", L"Radio", BS_AUTORADIOBUTTON, 10, 70, 150, 24);
        group = Child(L"BUTTON", L"Group", BS_GROUPBOX, 200, 10, 200, 120);
        spin = Child(UPDOWN_CLASSW, L"", UDS_ARROWKEYS, 10, 100, 20, 40);
        tabs = Child(WC_TABCONTROLW, L"", 0, 10, 150, 200, 100);
        bar = Child(TOOLBARCLASSNAMEW, L"", CCS_NORESIZE | CCS_NODIVIDER, 220, 150, 180, 30);
        ShowWindow(dialog, SW_SHOWNOACTIVATE);
        UpdateWindow(dialog);
    }
    HWND Child(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h)
    {
        return CreateWindowW(cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, dialog, nullptr, nullptr, nullptr);
    }
    static LRESULT Ask(HWND wnd, uint16_t cmd, LPARAM lp = 0) { return SendMessageW(wnd, SM_ALPHACMD, SkinWParam(cmd), lp); }
    // The client of a window as it paints itself into a bitmap.
    static std::unique_ptr<tw::TBitmap> Print(HWND wnd)
    {
        RECT r;
        GetClientRect(wnd, &r);
        auto bmp = std::make_unique<tw::TBitmap>(r.right, r.bottom, tw::pf24bit);
        SendMessageW(wnd, WM_PRINT, reinterpret_cast<WPARAM>(bmp->Canvas().Handle()), PRF_CLIENT | PRF_ERASEBKGND);
        return bmp;
    }
    HWND label = nullptr, icon = nullptr, check = nullptr, radio = nullptr, group = nullptr, spin = nullptr,
         tabs = nullptr, bar = nullptr;
};

TEST_F(WindowAdaptersTest, EachChildGetsItsOwnAdapterWithPlaceCaptionAndState)
{
    Adapt();
    const struct {
        HWND wnd;
        const char* kind;
        const char* section;
    } expected[] = {
        {label, "TacStaticWnd", "CHECKBOX"},       {icon, "TacIconWnd", "CHECKBOX"},
        {check, "TacCheckBoxWnd", "CHECKBOX"},     {radio, "TacCheckBoxWnd", "CHECKBOX"},
        {group, "TacGroupBoxWnd", "GROUPBOX"},     {spin, "TacSpinWnd", "SPEEDBUTTON_SMALL"},
        {tabs, "TacTabControlWnd", "PAGECONTROL"}, {bar, "TacToolBarWnd", "CHECKBOX"},
    };
    for (const auto& e : expected) {
        TacMainWnd* a = TacMainWnd::Of(e.wnd);
        ASSERT_NE(a, nullptr) << e.kind;
        EXPECT_STREQ(a->Kind(), e.kind);
        EXPECT_EQ(a->Section(), e.section) << e.kind;
        // Not just the root class with a label.
        EXPECT_NE(typeid(*a), typeid(TacMainWnd)) << e.kind;
        EXPECT_EQ(Ask(e.wnd, AC_QUERYSKINNED), 1);
    }
    // The place in the parent, as the dialog child was made.
    TacMainWnd* c = TacMainWnd::Of(check);
    EXPECT_EQ(c->Geometry.Parent, dialog);
    EXPECT_EQ(c->Geometry.PosInParent.x, 10);
    EXPECT_EQ(c->Geometry.PosInParent.y, 40);
    EXPECT_EQ(c->Geometry.Size.cx, 150);
    EXPECT_EQ(c->Geometry.Size.cy, 24);
    RECT pr;
    GetWindowRect(dialog, &pr);
    EXPECT_TRUE(EqualRect(&c->Geometry.ParentRect, &pr));
    EXPECT_EQ(c->Caption, "Check me");
    EXPECT_EQ(TacMainWnd::Of(label)->Caption, "A label");
    auto* s = dynamic_cast<TacSpinWnd*>(TacMainWnd::Of(spin));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->State, 2);
    // Moved, the window's place is read again before it is painted.
    SetWindowPos(check, nullptr, 20, 44, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Ask(check, AC_PREPARECHILD);
    EXPECT_EQ(c->Geometry.PosInParent.x, 20);
    EXPECT_EQ(c->Geometry.PosInParent.y, 44);
    // A cross-fade starts from where the window is too.
    SetWindowPos(check, nullptr, 12, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Ask(check, AC_FADESTART);
    EXPECT_EQ(c->Geometry.PosInParent.x, 12);
}

TEST_F(WindowAdaptersTest, LabelsShowTheDialogBehindThemAndTabPagesTheirSection)
{
    Adapt();
    // Where the label's text is not, the dialog's client under it: what the
    // dialog itself erases its client with at that place.
    auto shot = Print(label);
    RECT dc{};
    GetClientRect(dialog, &dc);
    tw::TBitmap client(dc.right, dc.bottom, tw::pf24bit);
    // The dialog leaves its children's places out: the label goes for the
    // while.
    ShowWindow(label, SW_HIDE);
    EXPECT_EQ(SendMessageW(dialog, WM_ERASEBKGND, reinterpret_cast<WPARAM>(client.Canvas().Handle()), 0), 1);
    ShowWindow(label, SW_SHOWNOACTIVATE);
    RECT lr;
    GetWindowRect(label, &lr);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&lr), 2);
    std::set<tw::TColor> under;
    for (POINT p : {POINT{118, 18}, POINT{119, 0}, POINT{100, 19}, POINT{90, 2}, POINT{110, 9}, POINT{80, 14}}) {
        under.insert(client.Canvas().Pixels(lr.left + p.x, lr.top + p.y));
        EXPECT_EQ(shot->Canvas().Pixels(p.x, p.y), client.Canvas().Pixels(lr.left + p.x, lr.top + p.y))
            << p.x << "," << p.y;
    }
    // The dialog's slate is not one colour: a label that painted one plain
    // colour could not match it everywhere.
    EXPECT_GT(under.size(), 1u);
    // The tab control's page is its section's colour, as the skin's data
    // has it, not the dialog's.
    tw::TBitmap page(200, 100, tw::pf24bit);
    EXPECT_EQ(SendMessageW(tabs, WM_ERASEBKGND, reinterpret_cast<WPARAM>(page.Canvas().Handle()), 0), 1);
    ASSERT_TRUE(test::PlainSection(manager, "PAGECONTROL"));
    RECT body{0, 0, 200, 100};
    SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&body));
    const int x = (body.left + body.right) / 2, y = (body.top + body.bottom) / 2;
    EXPECT_EQ(COLORREF(page.Canvas().Pixels(x, y)) & 0xFFFFFF, test::SectionColour(manager, "PAGECONTROL"));
}

TEST_F(WindowAdaptersTest, AdaptersAnswerTheSkinsQuestions)
{
    Adapt();
    // A group box's caption height, a tab control's "adapt my check boxes".
    EXPECT_GT(Ask(group, AC_QUERYCAPTIONHEIGHT), 0);
    EXPECT_EQ(Ask(tabs, AC_QUERYCAPTIONHEIGHT), 1);
    EXPECT_EQ(Ask(label, AC_QUERYCAPTIONHEIGHT), 0);
    // Scrolls go to the window unchanged.
    EXPECT_EQ(Ask(label, AC_BEFORESCROLL), 1);
    EXPECT_EQ(Ask(label, AC_AFTERSCROLL), 0);
    TacMainWnd* l = TacMainWnd::Of(label);
    Ask(label, AC_SCROLLPAINT);
    Ask(label, AC_SCROLLPAINT);
    EXPECT_EQ(l->ScrollPaints, 2);
    // The background a child on it takes: the picture the label shows, which
    // is its dialog's client under it.
    TacBGInfo info;
    Ask(label, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.BgType, btCache);
    ASSERT_EQ(info.Bmp.Width, 120);
    ASSERT_EQ(info.Bmp.Height, 20);
    tw::TBitmap under(120, 20, tw::pf24bit);
    PaintDialogBackground(&manager, label, under.Canvas().Handle());
    const uint8_t* px = info.Bmp.Pixel(60, 10);
    EXPECT_EQ(RGB(px[2], px[1], px[0]), COLORREF(under.Canvas().Pixels(60, 10)) & 0xFFFFFF);
    // A window nobody adapted answers nothing.
    HWND plain = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, dialog, nullptr, nullptr, nullptr);
    EXPECT_EQ(Ask(plain, AC_BEFORESCROLL), 0);
}

TEST_F(WindowAdaptersTest, CheckBoxesAndSpinButtonsArePaintedFromTheSkin)
{
    auto before = Print(check);
    Adapt();
    SendMessageW(check, BM_SETCHECK, BST_UNCHECKED, 0);
    auto off = Print(check);
    SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
    auto on = Print(check);
    // The glyph changes with the state, and the picture is not the system's.
    int changed = 0, fromSystem = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 20; ++x) {
            changed += on->Canvas().Pixels(x, y) != off->Canvas().Pixels(x, y);
            fromSystem += on->Canvas().Pixels(x, y) != before->Canvas().Pixels(x, y);
        }
    EXPECT_GT(changed, 4);
    EXPECT_GT(fromSystem, 4);
    // Away from the glyph and the text the dialog's client shows.
    tw::TBitmap under(150, 24, tw::pf24bit);
    PaintDialogBackground(&manager, check, under.Canvas().Handle());
    EXPECT_EQ(on->Canvas().Pixels(148, 1), under.Canvas().Pixels(148, 1));
    // The spin's pressed half is painted pressed.
    auto idle = Print(spin);
    SendMessageW(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 5));
    auto pressed = Print(spin);
    EXPECT_EQ(dynamic_cast<TacSpinWnd*>(TacMainWnd::Of(spin))->Pressed(), 1);
    SendMessageW(spin, WM_LBUTTONUP, 0, MAKELPARAM(10, 5));
    int upDiff = 0, downDiff = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 20; ++x)
            (y < 20 ? upDiff : downDiff) += idle->Canvas().Pixels(x, y) != pressed->Canvas().Pixels(x, y);
    EXPECT_GT(upDiff, 0);
    EXPECT_EQ(downDiff, 0);
}

TEST_F(WindowAdaptersTest, WindowsGetTheirProcedureBackWhenTheAdaptersGo)
{
    const LONG_PTR own = GetWindowLongPtrW(check, GWLP_WNDPROC);
    const LONG_PTR ownGroup = GetWindowLongPtrW(group, GWLP_WNDPROC);
    Adapt();
    EXPECT_NE(GetWindowLongPtrW(check, GWLP_WNDPROC), own);
    provider.reset();
    EXPECT_EQ(GetWindowLongPtrW(check, GWLP_WNDPROC), own);
    EXPECT_EQ(GetWindowLongPtrW(group, GWLP_WNDPROC), ownGroup);
    EXPECT_EQ(TacMainWnd::Of(check), nullptr);
    EXPECT_EQ(Ask(check, AC_QUERYSKINNED), 0);
}

TEST(WndRectInParent, ReadsPlaceSizeAndParent)
{
    HWND parent = CreateWindowW(L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 80, 200, 150, nullptr, nullptr, nullptr,
                                nullptr);
    HWND child = CreateWindowW(L"STATIC", L"", WS_CHILD | WS_VISIBLE, 15, 25, 40, 30, parent, nullptr, nullptr, nullptr);
    const TacWndGeometry g = WndRectInParent(child);
    EXPECT_EQ(g.Parent, parent);
    EXPECT_EQ(g.PosInParent.x, 15);
    EXPECT_EQ(g.PosInParent.y, 25);
    EXPECT_EQ(g.Size.cx, 40);
    EXPECT_EQ(g.Size.cy, 30);
    EXPECT_EQ(g.WndRect.left, 115);
    EXPECT_EQ(g.ParentRect.left, 100);
    // A window that has ended: nothing, not stale numbers.
    DestroyWindow(parent);
    const TacWndGeometry gone = WndRectInParent(child);
    EXPECT_EQ(gone.Parent, nullptr);
    EXPECT_EQ(gone.Size.cx, 0);
}

// A form of the class library over the program's own skin, whose controls
// the tests adapt; the form goes with the test.
class ControlAdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetBounds(50, 50, 300, 200);
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
};

class ControlAdapterThirdParty : public ControlAdapterTest {};
class ControlAdapterLateControls : public ControlAdapterTest {};

TEST_F(ControlAdapterThirdParty, ControlsNamedInTheListsWearTheSkinUntilTheAdapterGoes)
{
    manager.ThirdParty.SetString(ThirdPartyList::ThirdEdits, "TListBox");
    manager.ThirdParty.SetString(ThirdPartyList::ThirdPanels, "");
    manager.UpdateThirdLists();
    auto* list = new tw::TListBox(form);
    list->SetParent(form);
    list->SetBounds(10, 10, 120, 100);
    list->SetColor(tw::clWindow);
    form->HandleNeeded();
    list->HandleNeeded();
    const tw::TColor own = list->Color();
    {
        TacCtrlAdapter adapter(form, &manager);
        EXPECT_EQ(adapter.ThirdPartyKind(list), int(ThirdPartyList::ThirdEdits));
        adapter.AdaptControls();
        ASSERT_NE(adapter.AdapterOf(list->Handle()), nullptr);
        TsCommonData* link = adapter.SkinLinkOf(list);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->SkinSection(), "EDIT");
        EXPECT_TRUE(link->Skinned());
        // The field colours of the skin while adapted.
        EXPECT_EQ(COLORREF(tw::ColorToRGB(list->Color())) & 0xFFFFFF, SectionColors(&manager, "EDIT").Back);
        // Adapting again gives no second adapter nor link.
        const int n = adapter.Count();
        adapter.AdaptControls();
        EXPECT_EQ(adapter.Count(), n);
    }
    // Its own colour back.
    EXPECT_EQ(list->Color(), own);
    // With the rule off the lists are not read.
    manager.SkinningRules = srStdForms | srStdDialogs;
    {
        TacCtrlAdapter adapter(form, &manager);
        EXPECT_EQ(adapter.ThirdPartyKind(list), -1);
        adapter.AdaptControls();
        EXPECT_EQ(adapter.SkinLinkOf(list), nullptr);
    }
}

// What the window's own procedure heard of the skin's sub-commands.
std::vector<uint16_t> g_heard;
WNDPROC g_listProc = nullptr;
LRESULT CALLBACK Recorder(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == SM_ALPHACMD)
        g_heard.push_back(SkinCommandOf(wp));
    return CallWindowProcW(g_listProc, wnd, msg, wp, lp);
}

TEST_F(WindowAdaptersTest, ASkinnedScrollIsAnnouncedBeforeAndAfterAndItsPaintingTold)
{
    HWND list = Child(L"LISTBOX", L"", WS_VSCROLL | WS_BORDER, 220, 140, 150, 100);
    for (int i = 0; i < 50; ++i)
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"item"));
    g_heard.clear();
    g_listProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Recorder)));
    {
        TacScrollWnd adapter(list, &manager);
        adapter.UpdateScrollState(true);
        EXPECT_GT(adapter.ScrollPaints, 0);
        ASSERT_TRUE(adapter.Bar(true).Visible);
        const TacScrollBarState bar = adapter.Bar(true);
        const TsScrollGeometry g =
            ScrollGeometry(bar.Rect.Width(), bar.Rect.Height(), true, bar.Min, bar.Max, bar.Page, bar.Pos);
        RECT wr;
        GetWindowRect(list, &wr);
        const POINT down{wr.left + bar.Rect.Left + (g.LineMax.Left + g.LineMax.Right) / 2,
                         wr.top + bar.Rect.Top + (g.LineMax.Top + g.LineMax.Bottom) / 2};
        g_heard.clear();
        SendMessageW(list, WM_NCLBUTTONDOWN, HTVSCROLL, MAKELPARAM(down.x, down.y));
        POINT c = down;
        ScreenToClient(list, &c);
        SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(c.x, c.y));
        EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 1);
        // Before, then after the scroll; the bars' painting told as well.
        const auto at = [&](uint16_t cmd) {
            for (size_t i = 0; i < g_heard.size(); ++i)
                if (g_heard[i] == cmd)
                    return int(i);
            return -1;
        };
        ASSERT_GE(at(AC_BEFORESCROLL), 0);
        EXPECT_GT(at(AC_AFTERSCROLL), at(AC_BEFORESCROLL));
        EXPECT_GE(at(AC_SCROLLPAINT), 0);
    }
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_listProc));
}

// The messages of the next few timer ticks.
void Pump()
{
    for (int i = 0; i < 10; ++i) {
        Sleep(5);
        tw::Application->ProcessMessages();
    }
}

// Runs the message loop until done() or the deadline passed.
bool PumpUntil(const std::function<bool()>& done, ULONGLONG deadlineMs = 5000)
{
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        tw::Application->ProcessMessages();
        Sleep(1);
    }
    return true;
}

// How the vertical scroll bar of a window looks on the screen beside the
// same bar of an unskinned twin (same class, size and style): of the pixels
// where the system puts the twin's bar (every other one), how many differ.
struct TBarDiff {
    int Differ = 0;
    int All = 0;
};
TBarDiff CompareVerticalBars(HWND skinned, HWND twin)
{
    TBarDiff d;
    SCROLLBARINFO sbi{};
    sbi.cbSize = sizeof(sbi);
    if (!GetScrollBarInfo(twin, OBJID_VSCROLL, &sbi) || (sbi.rgstate[0] & STATE_SYSTEM_INVISIBLE))
        return d;
    RECT tr;
    GetWindowRect(twin, &tr);
    RECT bar = sbi.rcScrollBar;
    OffsetRect(&bar, -tr.left, -tr.top);
    for (HWND w : {skinned, twin})
        RedrawWindow(w, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC a = GetWindowDC(skinned), b = GetWindowDC(twin);
    for (int y = bar.top; y < bar.bottom; y += 2)
        for (int x = bar.left; x < bar.right; x += 2, ++d.All)
            d.Differ += GetPixel(a, x, y) != GetPixel(b, x, y);
    ReleaseDC(twin, b);
    ReleaseDC(skinned, a);
    return d;
}

// A shown form nobody adapts, beside the fixture's, for unskinned twins.
std::unique_ptr<tw::TForm> TwinForm()
{
    auto twin = std::make_unique<tw::TForm>(nullptr);
    twin->SetBounds(420, 50, 300, 220);
    twin->Show();
    tw::Application->ProcessMessages();
    return twin;
}

TEST_F(ControlAdapterLateControls, AListMadeOnAnAdaptedFormGetsTheSkinnedBarsAtOnce)
{
    form->SetBounds(50, 50, 300, 220);
    form->Show();
    tw::Application->ProcessMessages();
    // The same memo on a form nobody adapts: the system's own bar.
    auto twinForm = TwinForm();
    auto* twin = new tw::TMemo(twinForm.get());
    twin->SetParent(twinForm.get());
    twin->SetBounds(10, 10, 150, 100);
    twin->SetScrollBars(tw::ssVertical);
    twin->HandleNeeded();
    // Lines enough for the bar to be needed.
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "line " + std::to_string(i) + "\r\n";
    twin->SetText(lines);
    {
        TacCtrlAdapter adapter(form, &manager);
        adapter.AdaptControls();
        // A memo made now sends its form no notice of its own.
        auto* memo = new tw::TMemo(form);
        memo->SetParent(form);
        memo->SetBounds(10, 10, 150, 100);
        memo->SetScrollBars(tw::ssVertical);
        memo->HandleNeeded();
        memo->SetText(lines);
        // Adapted with the next messages, not at some later walk.
        ASSERT_TRUE(PumpUntil([&] { return adapter.AdapterOf(memo->Handle()) != nullptr; }, 2000))
            << "the late memo got no adapter";
        // Its bar is the skin's: on the screen it is not the system's bar
        // of the twin.
        const TBarDiff bars = CompareVerticalBars(memo->Handle(), twin->Handle());
        ASSERT_GT(bars.All, 50);
        EXPECT_GT(bars.Differ * 100 / bars.All, 50) << bars.Differ << " of " << bars.All << " bar pixels";
        // One adapter per window, however often windows are made.
        const int n = adapter.Count();
        DestroyWindow(CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, form->Handle(), nullptr, nullptr, nullptr));
        Pump();
        EXPECT_EQ(adapter.Count(), n);
    }
    // With no adapter left nobody is told any more: nothing runs on a freed one.
    auto* later = new tw::TMemo(form);
    later->SetParent(form);
    later->SetScrollBars(tw::ssVertical);
    later->HandleNeeded();
    Pump();
    EXPECT_EQ(TacMainWnd::Of(later->Handle()), nullptr);
}

TEST(CaptionButtonsFollowTheSystemMenu, OnlyTheBoxesTheFormAsksForAreShownAndEnabled)
{
    TsSkinManager manager;
    ASSERT_TRUE(test::StartFormSkinning(manager));
    auto* form = new tw::TForm(tw::Application);
    form->SetBounds(60, 60, 360, 240);
    form->SetBorderIcons(tw::biSystemMenu | tw::biMinimize);
    form->Show();
    tw::Application->ProcessMessages();
    TsSkinProvider* provider = FindProvider(form);
    ASSERT_NE(provider, nullptr);
    ASSERT_NE(provider->SystemMenu(), nullptr);
    RedrawWindow(form->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    tw::Application->ProcessMessages();
    // The menu has no maximize item for this form: no maximize button
    // either, while minimize and close stand.
    EXPECT_FALSE(provider->SystemMenu()->VisibleMax());
    EXPECT_TRUE(provider->Buttons().Max.IsEmpty());
    EXPECT_FALSE(provider->Buttons().Min.IsEmpty());
    EXPECT_FALSE(provider->Buttons().Close.IsEmpty());
    // What the title shows, found by the skin's own pictures: the close and
    // minimize pictures in their normal (enabled) look, the maximize one in
    // no look at all; and each shown button answers for its place.
    const HWND wnd = form->Handle();
    int w = 0;
    const std::vector<uint32_t> title = test::PrintFrame(wnd, w);
    auto mask = [&](const char* name) -> const TsMaskData* {
        const int i = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", name);
        return manager.MaskIndexValid(i) ? &manager.ma[size_t(i)] : nullptr;
    };
    const TsMaskData* close = mask("BICONCLOSE");
    const TsMaskData* min = mask("BICONMIN");
    const TsMaskData* max = mask("BICONMAX");
    ASSERT_TRUE(close && min && max);
    const POINT c = test::FindMaskFrame(title, w, *close, 0);
    const POINT n = test::FindMaskFrame(title, w, *min, 0);
    ASSERT_GE(c.x, 0) << "no enabled close button on the title";
    ASSERT_GE(n.x, 0) << "no enabled minimize button on the title";
    EXPECT_LT(n.x, c.x);
    for (int state = 0; state < max->ImageCount; ++state)
        EXPECT_LT(test::FindMaskFrame(title, w, *max, state).x, 0) << "a maximize button in state " << state;
    EXPECT_EQ(test::NcHit(wnd, c.x + MaskFrameWidth(*close) / 2, c.y + MaskFrameHeight(*close) / 2), htClose);
    EXPECT_EQ(test::NcHit(wnd, n.x + MaskFrameWidth(*min) / 2, n.y + MaskFrameHeight(*min) / 2), htMinButton);
    delete form;
    test::EndFormSkinning();
}

TEST_F(ControlAdapterThirdParty, GridsGetTheSkinnedBarsButKeepTheirColours)
{
    manager.ThirdParty.SetString(ThirdPartyList::ThirdGrids, "TValueListEditor");
    manager.UpdateThirdLists();
    form->Show();
    // The same grid, with as many rows, on a form nobody adapts.
    auto twinForm = TwinForm();
    tw::TValueListEditor* grids[2] = {new tw::TValueListEditor(form), new tw::TValueListEditor(twinForm.get())};
    for (tw::TValueListEditor* g : grids) {
        g->SetParent(g == grids[0] ? static_cast<tw::TWinControl*>(form) : twinForm.get());
        g->SetBounds(10, 10, 200, 120);
        for (int i = 0; i < 30; ++i)
            g->SetValues("Key" + std::to_string(i), "Value");
        g->HandleNeeded();
    }
    tw::TValueListEditor* grid = grids[0];
    tw::Application->ProcessMessages();
    const tw::TColor color = grid->Color(), font = grid->Font().Color();
    {
        TacCtrlAdapter adapter(form, &manager);
        adapter.AdaptControls();
        EXPECT_NE(adapter.AdapterOf(grid->Handle()), nullptr);
        ASSERT_NE(adapter.SkinLinkOf(grid), nullptr);
        // The fixed row stays in the system's colours: so does the text.
        EXPECT_EQ(grid->Color(), color);
        EXPECT_EQ(grid->Font().Color(), font);
        // The bar is the skin's: on the screen not the twin's system bar.
        const TBarDiff bars = CompareVerticalBars(grid->Handle(), grids[1]->Handle());
        ASSERT_GT(bars.All, 50);
        EXPECT_GT(bars.Differ * 100 / bars.All, 50) << bars.Differ << " of " << bars.All << " bar pixels";
        // Its cells wear the field colours, handed over apart from the link.
        EXPECT_NE(grid->SkinColors(), nullptr);
    }
    // Once the skin goes the cells are the twin's, pixel for pixel.
    EXPECT_EQ(grid->SkinColors(), nullptr);
    tw::TBitmap mine(150, 100, tw::pf24bit), theirs(150, 100, tw::pf24bit);
    SendMessageW(grid->Handle(), WM_PRINT, WPARAM(mine.Canvas().Handle()), PRF_CLIENT | PRF_ERASEBKGND);
    SendMessageW(grids[1]->Handle(), WM_PRINT, WPARAM(theirs.Canvas().Handle()), PRF_CLIENT | PRF_ERASEBKGND);
    int differ = 0;
    for (int y = 0; y < 100; y += 3)
        for (int x = 0; x < 150; x += 3)
            differ += mine.Canvas().Pixels(x, y) != theirs.Canvas().Pixels(x, y);
    EXPECT_EQ(differ, 0);
}

TEST(AdapterLookUp, OnlyALivingAdapterOfTheWindowItHasIsFound)
{
    TsSkinManager manager;
    ASSERT_TRUE(test::LoadOwnSkin(manager));
    HWND wnd = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 80, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(wnd, nullptr);
    auto adapter = std::make_unique<TacMainWnd>(wnd, &manager, "PANEL", "TacMainWnd");
    EXPECT_EQ(TacMainWnd::Of(wnd), adapter.get());
    // The window ends while its adapter still lives: the adapter is no
    // longer found for it.
    DestroyWindow(wnd);
    EXPECT_EQ(TacMainWnd::Of(wnd), nullptr);
    adapter.reset();

    // The class library makes a control's window again behind the adapter's
    // back: once the adapter hears of it (the control's next message), the
    // old window is not its any more, though the adapter lives on until the
    // skin frees it. Window handles come back in time; the next window that
    // gets this one's must not find an adapter of another window.
    {
        tw::TForm form(nullptr);
        form.SetBounds(40, 40, 200, 120);
        auto* panel = new tw::TPanel(&form);
        panel->SetParent(&form);
        const HWND old = panel->Handle();
        adapter = std::make_unique<TacMainWnd>(old, &manager, "PANEL", "TacMainWnd");
        ASSERT_EQ(TacMainWnd::Of(old), adapter.get());
        panel->RecreateWnd();
        const HWND made = panel->Handle();
        ASSERT_NE(made, old);
        SendMessageW(made, WM_NULL, 0, 0);
        EXPECT_TRUE(adapter->Unsubclassed());
        EXPECT_EQ(TacMainWnd::Of(old), nullptr);
        EXPECT_EQ(TacMainWnd::Of(made), nullptr);
        adapter.reset();
    }

    // An adapter made for a window that had already ended could not take
    // it over; once freed, it is not found for that window.
    HWND gone = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 80, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    adapter = std::make_unique<TacMainWnd>(gone, &manager, "PANEL", "TacMainWnd");
    adapter.reset();
    EXPECT_EQ(TacMainWnd::Of(gone), nullptr);

    // The property alone, as a window of another copy of the program would
    // carry it, names no adapter of this one.
    HWND other = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 80, 30, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetPropW(other, L"ACSBSC", reinterpret_cast<HANDLE>(0x1234));
    EXPECT_EQ(TacMainWnd::Of(other), nullptr);
    RemovePropW(other, L"ACSBSC");
    DestroyWindow(other);
    DefaultManager = nullptr;
}

} // namespace
} // namespace skin
#endif

#ifdef TW_SKIN_ARCHIVE
namespace skin {
namespace {

// A window of its own class that answers a question of its own and counts
// its clean-up, and a second subclasser that sits above the adapter.
int g_ownCleanups = 0;
WNDPROC g_belowUpper = nullptr;
int g_upperCalls = 0;

LRESULT CALLBACK OwnProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_USER + 5)
        return 42;
    if (msg == WM_NCDESTROY)
        ++g_ownCleanups;
    return DefWindowProcW(wnd, msg, wp, lp);
}

LRESULT CALLBACK UpperProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    ++g_upperCalls;
    return CallWindowProcW(g_belowUpper, wnd, msg, wp, lp);
}

TEST(AdapterUnderAnotherSubclasser, TheWindowKeepsItsProcedureAndEndsCleanly)
{
    TsSkinManager manager;
    ASSERT_TRUE(test::LoadOwnSkin(manager));
    WNDCLASSW wc{};
    wc.lpfnWndProc = OwnProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TwAdapterChainTest";
    RegisterClassW(&wc);
    HWND parent = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    HWND wnd = CreateWindowW(wc.lpszClassName, L"own", WS_CHILD | WS_VISIBLE, 5, 5, 80, 30, parent, nullptr,
                             wc.hInstance, nullptr);
    ASSERT_NE(wnd, nullptr);
    g_ownCleanups = 0;
    g_upperCalls = 0;

    auto adapter = std::make_unique<TacMainWnd>(wnd, &manager, "PANEL", "TacMainWnd");
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    // Another subclasser comes after the adapter; then the skin goes.
    g_belowUpper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&UpperProc)));
    adapter.reset();
    EXPECT_EQ(SendMessageW(wnd, WM_USER + 5, 0, 0), 42);   // the window's own answer, not the default 0
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
    EXPECT_GT(g_upperCalls, 0);

    // The skin comes back while the upper subclasser is still there: the
    // new adapter takes the old place in the chain (no endless loop).
    adapter = std::make_unique<TacMainWnd>(wnd, &manager, "PANEL", "TacMainWnd");
    EXPECT_EQ(SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    EXPECT_EQ(SendMessageW(wnd, WM_USER + 5, 0, 0), 42);
    adapter.reset();
    EXPECT_EQ(SendMessageW(wnd, WM_USER + 5, 0, 0), 42);

    // The window ends with the upper subclasser still on it: its own
    // clean-up runs, once.
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(g_ownCleanups, 1);
    DefaultManager = nullptr;
}

} // namespace
} // namespace skin
#endif
