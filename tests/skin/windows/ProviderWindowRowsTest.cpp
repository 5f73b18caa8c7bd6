// More rows of the provider's window procedure and component under Wine:
// the menus it prepares on the way (context menu, child activation, every
// activation, the menu line under the system's frame), the activation it
// follows without its own frame, the messages it keeps from the form, the
// double click on a minimized form without a title, the skin's colour given
// back, the desktop compositor's attribute call, and the design-time rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/Menus.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that notes what its own procedure gets; a context menu ends here
// (no popup comes up in the middle of a test).
class TRowsForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    std::vector<UINT> Seen;
    std::vector<uint16_t> Commands;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD)
            Commands.push_back(SkinCommandOf(m.WParam));
        else
            Seen.push_back(m.Msg);
        if (m.Msg == WM_CONTEXTMENU) {
            m.Result = 0;
            return;
        }
        tw::TForm::WndProc(m);
    }
    bool Saw(UINT msg) const { return std::find(Seen.begin(), Seen.end(), msg) != Seen.end(); }
};

bool OwnerDrawn(HMENU menu, UINT pos)
{
    MENUITEMINFOW mi{};
    mi.cbSize = sizeof(mi);
    mi.fMask = MIIM_FTYPE;
    return menu && GetMenuItemInfoW(menu, pos, TRUE, &mi) && (mi.fType & MFT_OWNERDRAW);
}

tw::TPopupMenu* NewPopup(tw::TComponent* owner, const char* caption)
{
    auto* popup = new tw::TPopupMenu(owner);
    auto* item = new tw::TMenuItem(popup);
    item->SetCaption(caption);
    popup->Items()->Add(item);
    return popup;
}

class ProviderWindowRowsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::StartFormSkinning(manager)); }
    void TearDown() override
    {
        for (tw::TCustomForm* f : forms)
            delete f;
        tw::SetDialogHook(nullptr);
        test::EndFormSkinning();
    }
    TRowsForm* NewForm(int w = 320, int h = 220)
    {
        auto* f = new TRowsForm(tw::Application);
        forms.push_back(f);
        f->SetText("Rows");
        f->SetBounds(80, 80, w, h);
        return f;
    }
    HWND Shown(tw::TCustomForm* f)
    {
        f->Show();
        tw::Application->ProcessMessages();
        return f->Handle();
    }
    TsGeneralData& FormSection() { return manager.gd[size_t(manager.GetSkinIndex("FORM"))]; }

    TsSkinManager manager;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(ProviderWindowRowsTest, MenusMadeLaterAreSkinnedOnTheWay)
{
    manager.SetSkinnedPopups(true);
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());

    // A popup menu the form got after the skin: prepared when the context
    // menu is asked for, and the form still decides what comes up.
    tw::TPopupMenu* popup = NewPopup(f, "Copy");
    f->SetPopupMenu(popup);
    ASSERT_FALSE(OwnerDrawn(popup->Handle(), 0));
    SendMessageW(wnd, WM_CONTEXTMENU, WPARAM(wnd), -1);
    EXPECT_TRUE(OwnerDrawn(popup->Handle(), 0));
    EXPECT_TRUE(f->Saw(WM_CONTEXTMENU));

    // A main menu given later: its line is drawn from the skin once a child
    // is activated.
    auto* menu = new tw::TMainMenu(f);
    auto* file = new tw::TMenuItem(menu);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    f->SetMenu(menu);
    ASSERT_FALSE(OwnerDrawn(GetMenu(wnd), 0));
    SendMessageW(wnd, WM_CHILDACTIVATE, 0, 0);
    EXPECT_TRUE(OwnerDrawn(GetMenu(wnd), 0));

    // Under the system's frame the line's items are still the skin's while
    // popups are, and every activation brings later menus in.
    p->SetDrawNonClientArea(false);
    EXPECT_TRUE(OwnerDrawn(GetMenu(wnd), 0));
    tw::TPopupMenu* later = NewPopup(f, "Paste");
    ASSERT_FALSE(OwnerDrawn(later->Handle(), 0));
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_TRUE(OwnerDrawn(later->Handle(), 0));

    // Without skinned popups the line's items are the system's.
    manager.SetSkinnedPopups(false);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_FALSE(OwnerDrawn(GetMenu(wnd), 0));
    EXPECT_FALSE(OwnerDrawn(later->Handle(), 0));
}

TEST_F(ProviderWindowRowsTest, WithoutItsFrameTheFormStillFollowsItsActivation)
{
    TsGeneralData& section = FormSection();
    section.HotColor = 0x00102030;
    section.Color = 0x00405060;
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    p->SetDrawNonClientArea(false);
    // The colour of the client the controls ask for follows the activation.
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYCOLOR), LRESULT(0x00405060));
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYCOLOR), LRESULT(0x00102030));
}

TEST_F(ProviderWindowRowsTest, MessagesTheProviderKeepsFromTheForm)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    f->Seen.clear();
    // The class library's invalidate notice: the provider repaints by itself.
    EXPECT_EQ(SendMessageW(wnd, 0xB034, 0, 0), 0);
    EXPECT_FALSE(f->Saw(0xB034));
    // A double click on the frame or the client area of the drawn frame does
    // nothing, and the system does not see it either.
    for (WPARAM code : {WPARAM(HTBORDER), WPARAM(HTCLIENT), WPARAM(HTNOWHERE)})
        SendMessageW(wnd, WM_NCLBUTTONDBLCLK, code, MAKELPARAM(100, 100));
    EXPECT_FALSE(f->Saw(WM_NCLBUTTONDBLCLK));
}

TEST_F(ProviderWindowRowsTest, DoubleClickRestoresAMinimizedFormWithoutTitle)
{
    TRowsForm* f = NewForm();
    f->SetBorderStyle(tw::bsNone);
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    RECT wr;
    GetWindowRect(wnd, &wr);
    SendMessageW(wnd, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(wr.left + 4, wr.top + 4));
    tw::Application->ProcessMessages();
    EXPECT_FALSE(IsIconic(wnd));
    EXPECT_TRUE(IsWindowVisible(wnd));
}

TEST_F(ProviderWindowRowsTest, SkinTakenAwayLeavesTheSystemsFaceOnTheClient)
{
    TRowsForm* f = NewForm();
    f->SetColor(0x000080FF);
    HWND wnd = Shown(f);
    ASSERT_EQ(f->Color(), tw::TColor(manager.GetGlobalColor()));
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    ASSERT_FALSE(FindProvider(f)->Skinned());
    EXPECT_EQ(f->Color(), tw::clBtnFace);
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = GetDC(wnd);
    const COLORREF client = GetPixel(dc, 20, 20);
    ReleaseDC(wnd, dc);
    EXPECT_EQ(client, GetSysColor(COLOR_BTNFACE));

    // Without the skin's colour the form keeps whatever it has.
    FindProvider(f)->SetUseGlobalColor(false);
    FindProvider(f)->ApplySkin();
    f->SetColor(0x000080FF);
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(f->Color(), tw::TColor(0x000080FF));
}

TEST_F(ProviderWindowRowsTest, TheSkinsColourWaitsUntilTheProviderIsLoaded)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    f->SetColor(0x00336699);
    p->BeginLoading();
    SendSkinCommand(wnd, AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    ASSERT_TRUE(p->Skinned());
    EXPECT_EQ(f->Color(), tw::TColor(0x00336699));
    p->Loaded();
    EXPECT_EQ(f->Color(), tw::TColor(manager.GetGlobalColor()));
}

// Records the compositor's attribute calls in place of the system's.
struct TDwmCall {
    HWND Wnd;
    DWORD Attribute;
    DWORD Value;
    DWORD Size;
};
std::vector<TDwmCall> g_dwmCalls;
HRESULT WINAPI RecordDwmAttribute(HWND wnd, DWORD attribute, LPCVOID data, DWORD size)
{
    g_dwmCalls.push_back({wnd, attribute, data && size >= 4 ? *static_cast<const DWORD*>(data) : 0, size});
    return S_OK;
}

TEST_F(ProviderWindowRowsTest, CompositorAttributeCallsGoThroughOneWrapper)
{
    TPlatformAnswers saved = PlatformAnswers();
    struct TBack {
        TPlatformAnswers Saved;
        ~TBack() { PlatformAnswers() = Saved; }
    } back{saved};
    g_dwmCalls.clear();
    const DWORD value = 1;
    // Without the entry nothing is called and the caller hears why.
    PlatformAnswers().DwmEntry = [](const char*) -> FARPROC { return nullptr; };
    EXPECT_EQ(DwmSetWindowAttribute(nullptr, 3, &value, sizeof(value)), E_NOTIMPL);

    PlatformAnswers().DwmEntry = [](const char* name) -> FARPROC {
        return std::string(name) == "DwmSetWindowAttribute" ? reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordDwmAttribute)) : nullptr;
    };
    PlatformAnswers().CompositionEnabled = [] { return true; };
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    // The skin switches the window's transitions off, its removal on again.
    ASSERT_FALSE(g_dwmCalls.empty());
    EXPECT_EQ(g_dwmCalls.back().Wnd, wnd);
    EXPECT_EQ(g_dwmCalls.back().Attribute, 3u);
    EXPECT_EQ(g_dwmCalls.back().Value, 1u);
    EXPECT_EQ(g_dwmCalls.back().Size, 4u);
    SendSkinCommand(wnd, AC_SKINREMOVED, reinterpret_cast<LPARAM>(&manager));
    EXPECT_EQ(g_dwmCalls.back().Value, 0u);
    PlatformAnswers() = saved;
}

TEST_F(ProviderWindowRowsTest, AtDesignTimeTheProviderLeavesTheFormAlone)
{
    std::vector<std::string> warnings;
    tw::SetDialogHook([&](tw::TDialogRequest& rq) -> std::optional<int> {
        warnings.push_back(rq.Text);
        return 1;
    });
    const tw::TFormCreationHook hook = tw::FormCreationHook;
    tw::FormCreationHook = nullptr;
    TRowsForm* f = NewForm();
    tw::FormCreationHook = hook;
    f->SetColor(0x00224466);
    f->SetDesigning(true);
    HWND wnd = Shown(f);
    // A region of the designer's that the provider must not take away.
    SetWindowRgn(wnd, CreateRectRgn(0, 0, 200, 150), TRUE);
    // The window hook may have given the new window a provider of its own.
    while (TsSkinProvider* given = FindProvider(f))
        delete given;

    auto* first = new TsSkinProvider(f);
    first->Loaded();
    // Not hooked: the form's own procedure answers the skin's questions.
    f->Commands.clear();
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYSKINNED), 0);
    EXPECT_EQ(f->Commands, (std::vector<uint16_t>{AC_QUERYSKINNED}));
    EXPECT_EQ(f->Color(), tw::TColor(0x00224466));
    EXPECT_TRUE(warnings.empty());

    // A second one is refused with a warning; the first stays.
    auto* second = new TsSkinProvider(f);
    EXPECT_EQ(second->Form(), nullptr);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "Only one instance of the TsSkinProvider component is allowed!");
    EXPECT_EQ(FindProvider(f), first);

    first->SetDrawNonClientArea(false);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
    delete second;
    delete first;
    f->Commands.clear();
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYSKINNED), 0);
    f->SetDesigning(false);
}

TEST_F(ProviderWindowRowsTest, AProviderOnAFrameWarnsAndStillSkinsTheForm)
{
    std::vector<std::string> warnings;
    tw::SetDialogHook([&](tw::TDialogRequest& rq) -> std::optional<int> {
        warnings.push_back(rq.Text);
        return 1;
    });
    TRowsForm* f = NewForm();
    auto* frame = new tw::TFrame(f);
    frame->SetParent(f);
    auto* p = new TsSkinProvider(frame);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "TsSkinProvider component must be used with forms only!");
    EXPECT_EQ(p->Form(), f);
    HWND wnd = Shown(f);
    EXPECT_EQ(SendSkinCommand(wnd, AC_QUERYPROVIDER), reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(p)));
}

TEST_F(ProviderWindowRowsTest, AFormMadeOrReadWhileItsProviderComesStartsActive)
{
    const tw::TFormCreationHook hook = tw::FormCreationHook;
    tw::FormCreationHook = nullptr;
    TRowsForm* plain = NewForm();
    TRowsForm* reading = NewForm();
    tw::FormCreationHook = hook;
    auto* p1 = new TsSkinProvider(plain, false);
    reading->SetControlState(tw::csPaintCopy);
    auto* p2 = new TsSkinProvider(reading, false);
    reading->SetControlState(0);
    // Made but not shown: nothing has told the skin links of an activation.
    plain->Handle();
    reading->Handle();
    p1->ApplySkin();
    p2->ApplySkin();
    ASSERT_TRUE(p1->Skinned() && p2->Skinned());
    // Forms without controls that hold others: their hot state is allowed.
    p1->SkinData().CtrlSkinState = 0;
    p2->SkinData().CtrlSkinState = 0;
    EXPECT_EQ(SendSkinCommand(plain->Handle(), AC_QUERYACTIVE), 0);
    EXPECT_EQ(SendSkinCommand(reading->Handle(), AC_QUERYACTIVE), 1);
}

TEST_F(ProviderWindowRowsTest, AWholeRepaintCountsTheMenuLineAgain)
{
    TRowsForm* f = NewForm(260, 220);
    auto* menu = new tw::TMainMenu(f);
    auto* file = new tw::TMenuItem(menu);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    f->SetMenu(menu);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_EQ(p->MenuRows(), 1);
    // Items the class library did not announce: the line breaks in two.
    HMENU bar = GetMenu(wnd);
    for (const wchar_t* caption : {L"Recording options", L"Stream editing", L"Window layout", L"Help topics"})
        AppendMenuW(bar, MF_STRING, 0x7000, caption);
    DrawMenuBar(wnd);
    tw::Application->ProcessMessages();
    RECT first, last;
    ASSERT_TRUE(GetMenuItemRect(wnd, bar, 0, &first));
    ASSERT_TRUE(GetMenuItemRect(wnd, bar, UINT(GetMenuItemCount(bar) - 1), &last));
    ASSERT_GT(last.top, first.top);
    // A whole repaint (what a new alignment of the caption asks for) counts
    // the rows again: the second row is the menu line's, not the client's.
    p->SetCaptionAlignment(tw::taCenter);
    tw::Application->ProcessMessages();
    EXPECT_EQ(p->MenuRows(), 2);
    RECT wr;
    GetWindowRect(wnd, &wr);
    EXPECT_EQ(test::NcHit(wnd, (last.left + last.right) / 2 - wr.left, (last.top + last.bottom) / 2 - wr.top), htMenu);
}

// What changes the title's look (its section, the alignment of its caption,
// the form's enabled state, a new icon) draws the frame again at once, from a
// picture made anew; setting a value the provider has already draws nothing.
TEST_F(ProviderWindowRowsTest, TitleChangesDrawTheFrameAgainFromANewPicture)
{
    TRowsForm* f = NewForm();
    int painted = 0;
    f->OnPaint = [&painted](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    ValidateRect(wnd, nullptr);

    painted = 0;
    p->SetCaptionAlignment(p->CaptionAlignment());
    p->SetTitleSkin(p->TitleSkin());
    EXPECT_EQ(painted, 0);
    EXPECT_FALSE(p->SkinData().BGChangedFlag);

    // (The new section may cut the frame otherwise: the region comes first.)
    p->SetTitleSkin("BARTITLE");
    EXPECT_GE(painted, 1);
    EXPECT_FALSE(p->SkinData().BGChangedFlag);

    // The form's own procedure hears of the enabled change as well.
    painted = 0;
    f->Seen.clear();
    f->Perform(tw::CM_ENABLEDCHANGED, 0, 0);
    EXPECT_EQ(painted, 1);
    EXPECT_TRUE(f->Saw(tw::CM_ENABLEDCHANGED));

    painted = 0;
    f->Seen.clear();
    SendMessageW(wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadIconW(nullptr, IDI_QUESTION)));
    EXPECT_EQ(painted, 1);
    EXPECT_TRUE(f->Saw(WM_SETICON));
}

// The drawn frame is sized by the mouse only: the window menu offers no Size
// command, other popups keep theirs; the form's own procedure hears both.
// A window marked active again gets its picture made anew.
TEST_F(ProviderWindowRowsTest, WindowMenuLosesSizeAndAnActiveMarkRedrawsThePicture)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    auto sizeGrey = [&](LPARAM lp) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, SC_SIZE, L"Size");
        f->Seen.clear();
        SendMessageW(wnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), lp);
        EXPECT_TRUE(f->Saw(WM_INITMENUPOPUP));
        const bool grey = (GetMenuState(menu, SC_SIZE, MF_BYCOMMAND) & MF_GRAYED) != 0;
        DestroyMenu(menu);
        return grey;
    };
    EXPECT_TRUE(sizeGrey(MAKELPARAM(0, 1)));
    EXPECT_FALSE(sizeGrey(MAKELPARAM(0, 0)));

    p->SkinData().BGChangedFlag = false;
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SETACTIVESTATE, 1), 0);
    EXPECT_TRUE(p->SkinData().BGChangedFlag);
}

TEST_F(ProviderWindowRowsTest, NoFramePaintWhileTheProviderIsRead)
{
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    RECT wr;
    GetWindowRect(wnd, &wr);
    const POINT title{(wr.right - wr.left) / 3, 6};
    auto titlePixel = [&] {
        HDC dc = GetWindowDC(wnd);
        const COLORREF c = GetPixel(dc, title.x, title.y);
        ReleaseDC(wnd, dc);
        return c;
    };
    const COLORREF skinned = titlePixel();
    const COLORREF mark = skinned == RGB(1, 2, 3) ? RGB(3, 2, 1) : RGB(1, 2, 3);
    auto markTitle = [&] {
        HDC dc = GetWindowDC(wnd);
        HBRUSH brush = CreateSolidBrush(mark);
        RECT r{0, 0, wr.right - wr.left, 12};
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        ReleaseDC(wnd, dc);
    };
    markTitle();
    ASSERT_EQ(titlePixel(), mark);
    // Read from a layout: neither the skin's frame nor the system's.
    p->BeginLoading();
    f->Seen.clear();
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_EQ(titlePixel(), mark);
    p->Loaded();
    markTitle();
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_EQ(titlePixel(), skinned);
}

TEST_F(ProviderWindowRowsTest, AMinimizedFormsMaximizeButtonTakesTheFormsOwnPicture)
{
    const int global = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONMAX");
    ASSERT_TRUE(manager.MaskIndexValid(global));
    TsMaskData& mask = manager.ma[size_t(global)];
    const std::string section = mask.SectionName;
    struct TBack {
        TsMaskData& Mask;
        std::string Section;
        ~TBack() { Mask.SectionName = Section; }
    } back{mask, section};
    TRowsForm* f = NewForm();
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    auto maxButton = [&] {
        SendMessageW(wnd, WM_NCPAINT, 1, 0);
        int w = 0;
        const std::vector<uint32_t> frame = test::PrintFrame(wnd, w);
        const TRect r = p->Buttons().Max;
        std::vector<uint32_t> out;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Right; ++x)
                if (x < w && size_t(y) * size_t(w) + size_t(x) < frame.size())
                    out.push_back(frame[size_t(y) * size_t(w) + size_t(x)]);
        return out;
    };
    // The skin keeps the picture in the form's section only...
    mask.SectionName = "FORM";
    const std::vector<uint32_t> own = maxButton();
    ASSERT_FALSE(own.empty());
    // ...or nowhere: then nothing is drawn there.
    mask.SectionName = "NOWHERE";
    const std::vector<uint32_t> none = maxButton();
    EXPECT_NE(own, none);
}

TEST_F(ProviderWindowRowsTest, AMinimizedFormsTitleIsDrawnAnewAtEachFramePaint)
{
    TRowsForm* f = NewForm();
    f->SetText("A");
    HWND wnd = Shown(f);
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    auto printed = [&] {
        int w = 0;
        return test::PrintFrame(wnd, w);
    };
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    const std::vector<uint32_t> before = printed();
    // A caption set behind the provider's back, as the system may do for
    // an icon: the next frame paint shows it.
    DefWindowProcW(wnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"WWWWWWWW"));
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_NE(printed(), before);
}

} // namespace
} // namespace skin

#endif
