// Rows of a skinned form's window procedure under Wine, through real
// messages: the class library's notices (a changed main menu has the form's
// picture made again and its rows counted again, a control put on the form
// while it runs is adapted and hears of its container, the form's
// activation reaches its extended border), the places a size invalidates,
// and the region a skin refresh makes again.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "SkinTestControls.h"
#include "SkinTestForms.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/sSkinMenus.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A form that counts the notices of its controls its own procedure gets.
class TListForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    int ListChanges = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == tw::CM_CONTROLLISTCHANGE)
            ++ListChanges;
        tw::TForm::WndProc(m);
    }
};

int Count(const std::vector<uint16_t>& commands, uint16_t command)
{
    return int(std::count(commands.begin(), commands.end(), command));
}

class ProviderDispatchRowsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(test::StartFormSkinning(manager)); }
    void TearDown() override
    {
        for (auto it = forms.rbegin(); it != forms.rend(); ++it)
            delete *it;
        test::EndFormSkinning();
    }
    template <class F = tw::TForm> F* NewForm(int w, int h)
    {
        auto* f = new F(tw::Application);
        forms.push_back(f);
        f->SetText("Notices");
        f->SetBounds(60, 60, w, h);
        return f;
    }
    static HWND Shown(tw::TCustomForm* f)
    {
        f->Show();
        tw::Application->ProcessMessages();
        return f->Handle();
    }
    static tw::TMenuItem* AddItem(tw::TMainMenu* menu, const char* caption)
    {
        auto* item = new tw::TMenuItem(menu);
        item->SetCaption(caption);
        menu->Items()->Add(item);
        return item;
    }
    // The rows of the menu line as the system laid it out: the distinct
    // tops of its items.
    static int SystemMenuRows(HWND wnd)
    {
        HMENU bar = GetMenu(wnd);
        std::set<LONG> tops;
        for (int i = 0; i < GetMenuItemCount(bar); ++i) {
            RECT r;
            if (GetMenuItemRect(wnd, bar, UINT(i), &r))
                tops.insert(r.top);
        }
        return int(tops.size());
    }

    TsSkinManager manager;
    std::vector<tw::TCustomForm*> forms;
};

TEST_F(ProviderDispatchRowsTest, ChangedMenuRebuildsThePictureAndCountsTheRowsAgain)
{
    tw::TForm* f = NewForm(260, 200);
    auto* menu = new tw::TMainMenu(f);
    tw::TMenuItem* first = AddItem(menu, "&File");
    AddItem(menu, "&Help");
    f->SetMenu(menu);
    int painted = 0;
    f->OnPaint = [&painted](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    ASSERT_EQ(SystemMenuRows(wnd), 1);
    EXPECT_EQ(p->MenuRows(), 1);

    // An item renamed: nothing else of the form changed, yet the picture is
    // made again (the form's own drawing goes into it anew) by the next
    // paint, once.
    ValidateRect(wnd, nullptr);
    painted = 0;
    first->SetCaption("&Recording");
    tw::Application->ProcessMessages();
    int w = 0;
    test::PrintFrame(wnd, w);
    EXPECT_GE(painted, 1);
    painted = 0;
    test::PrintFrame(wnd, w);
    EXPECT_EQ(painted, 0);

    // Items added until the line breaks: the rows are counted again.
    for (const char* caption : {"&Stream editing", "&Repair options", "&Window layout"})
        AddItem(menu, caption);
    tw::Application->ProcessMessages();
    ASSERT_GT(SystemMenuRows(wnd), 1);
    EXPECT_EQ(p->MenuRows(), SystemMenuRows(wnd));
}

TEST_F(ProviderDispatchRowsTest, ControlPutOnTheRunningFormIsAdaptedAndHearsOfItsContainer)
{
    TListForm* f = NewForm<TListForm>(400, 300);
    Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    ASSERT_NE(p->CtrlAdapter(), nullptr);

    // Controls whose windows are made on a form without a skin, then moved
    // over: no window is made on the skinned form, so only the class
    // library's notice tells of them.
    tw::TForm* holder = NewForm(300, 200);
    holder->SetTag(acNoSkinTag);
    holder->Handle();
    auto* memo = new tw::TMemo(holder);
    memo->SetParent(holder);
    memo->SetBounds(10, 10, 150, 100);
    memo->SetScrollBars(tw::ssVertical);
    auto* panel = new test::TSkinnedPanel(holder);
    panel->SetParent(holder);
    panel->SetBounds(170, 10, 100, 80);
    auto* inner = new test::TSkinnedPanel(holder);
    inner->SetParent(panel);
    inner->SetBounds(5, 5, 40, 40);
    auto* graphic = new test::TSkinnedGraphic(holder);
    graphic->SetBounds(10, 150, 40, 20);
    memo->Handle();
    inner->Handle();
    ASSERT_EQ(p->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);

    f->ListChanges = 0;
    memo->SetParent(f);
    EXPECT_NE(p->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);
    // The notice still reaches the form's own procedure.
    EXPECT_GT(f->ListChanges, 0);

    // The container flag: the control put there and the controls on it.
    panel->Commands.clear();
    inner->Commands.clear();
    panel->SetParent(f);
    EXPECT_GE(Count(panel->Commands, AC_CONTAINERFLAG), 1);
    EXPECT_GE(Count(inner->Commands, AC_CONTAINERFLAG), 1);
    // A graphic control as well.
    graphic->Commands.clear();
    graphic->SetParent(f);
    EXPECT_GE(Count(graphic->Commands, AC_CONTAINERFLAG), 1);

    // A control taken off the form is not adapted on its way out.
    auto* leaving = new tw::TMemo(f);
    leaving->SetTag(acNoSkinTag);
    leaving->SetParent(f);
    leaving->SetBounds(10, 200, 150, 50);
    leaving->SetScrollBars(tw::ssVertical);
    leaving->Handle();
    leaving->SetTag(0);
    leaving->SetParent(holder);
    EXPECT_EQ(p->CtrlAdapter()->AdapterOf(leaving->Handle()), nullptr);
}

TEST_F(ProviderDispatchRowsTest, SizeRedrawsTheGripAndTheRightHandCornerPicturesWhereTheyWereAndAreNow)
{
    tw::TForm* f = NewForm(300, 220);
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ASSERT_TRUE(p->Skinned());
    p->SetGripMode(gmRightBottom);
    const int gripIndex = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "GRIPIMAGE");
    ASSERT_TRUE(manager.MaskIndexValid(gripIndex));
    const TsMaskData& grip = manager.ma[size_t(gripIndex)];
    const int gw = grip.R.Width() / grip.ImageCount, gh = grip.R.Height() / (grip.MaskType + 1);
    ASSERT_GT(gw, 0);
    ASSERT_GT(gh, 0);
    // Corner pictures of the form's section: two frames side by side, the
    // lower half their transparency, so one frame is 12 by 8.
    const std::string section = p->SkinData().SkinSection();
    for (const char* name : {"IMGTOPRIGHT", "IMGBTMRIGHT"}) {
        TsMaskData corner;
        corner.SectionName = section;
        corner.PropertyName = name;
        corner.R = TRect(0, 0, 24, 16);
        corner.ImageCount = 2;
        corner.MaskType = 1;
        manager.ma.push_back(std::move(corner));
    }
    const size_t added = manager.ma.size();
    TsGeneralData& form = manager.gd[size_t(manager.GetSkinIndex(section))];
    const int gradient = form.GradientPercent;
    form.GradientPercent = 0;
    struct TRestore {
        TsSkinManager& M;
        size_t Added;
        TsGeneralData& Form;
        int Gradient;
        ~TRestore()
        {
            if (M.ma.size() == Added)
                M.ma.resize(Added - 2);
            Form.GradientPercent = Gradient;
        }
    } restore{manager, added, form, gradient};

    RECT cr;
    GetClientRect(wnd, &cr);
    const auto dirty = [wnd](int x, int y) {
        HRGN rgn = CreateRectRgn(0, 0, 0, 0);
        GetUpdateRgn(wnd, rgn, FALSE);
        const bool in = PtInRegion(rgn, x, y) != 0;
        DeleteObject(rgn);
        return in;
    };
    // The client 40 pixels narrower, as the size tells it.
    ValidateRect(wnd, nullptr);
    const int narrower = cr.right - 40;
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(narrower, cr.bottom));
    // The grip where it was and where it is now.
    EXPECT_TRUE(dirty(cr.right - gw / 2, cr.bottom - gh / 2));
    EXPECT_TRUE(dirty(narrower - gw / 2, cr.bottom - gh / 2));
    // The corner pictures likewise: 12 by 8 at the top and at the bottom.
    EXPECT_TRUE(dirty(cr.right - 6, 4));
    EXPECT_TRUE(dirty(narrower - 6, 4));
    EXPECT_TRUE(dirty(cr.right - 6, cr.bottom - 4));
    EXPECT_TRUE(dirty(narrower - 6, cr.bottom - 4));
    // Nothing else: the left of the client and its middle stay.
    EXPECT_FALSE(dirty(4, 4));
    EXPECT_FALSE(dirty(cr.right / 2 - 30, cr.bottom / 2));
    EXPECT_FALSE(dirty(cr.right - 20, 4));

    // The same size again: only the grip, the corner pictures stay.
    ValidateRect(wnd, nullptr);
    SendMessageW(wnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(narrower, cr.bottom));
    EXPECT_TRUE(dirty(narrower - gw / 2, cr.bottom - gh / 2));
    EXPECT_FALSE(dirty(narrower - 6, 4));
    ValidateRect(wnd, nullptr);
}

TEST_F(ProviderDispatchRowsTest, SkinRefreshMakesTheFormsRegionAgain)
{
    tw::TForm* f = NewForm(300, 220);
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(wnd, rgn), ERROR);
    // Taken away behind the provider's back: the window has none now.
    SetWindowRgn(wnd, nullptr, TRUE);
    ASSERT_EQ(GetWindowRgn(wnd, rgn), ERROR);
    // A refresh of the skin (its frame may be cut otherwise now) sets one.
    SendSkinCommand(wnd, AC_SKINREFRESH, reinterpret_cast<LPARAM>(&manager));
    tw::Application->ProcessMessages();
    EXPECT_NE(GetWindowRgn(wnd, rgn), ERROR);
    DeleteObject(rgn);
}

TEST_F(ProviderDispatchRowsTest, UpdatesBeginOnACurrentPicture)
{
    tw::TForm* f = NewForm(300, 200);
    int painted = 0;
    f->OnPaint = [&painted](tw::TObject*) { ++painted; };
    HWND wnd = Shown(f);
    TsSkinProvider* p = FindProvider(f);
    ValidateRect(wnd, nullptr);
    // The picture is out of date when the updates begin: it is made now,
    // with what the form draws itself.
    painted = 0;
    p->SkinData().BGChangedFlag = true;
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SETUPDATING, 1), 0);
    EXPECT_TRUE(p->SkinData().Updating);
    EXPECT_EQ(painted, 1);
    EXPECT_FALSE(p->SkinData().BGChangedFlag);
    // Their end makes nothing.
    painted = 0;
    p->SkinData().BGChangedFlag = true;
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_SETUPDATING, 0), 0);
    EXPECT_FALSE(p->SkinData().Updating);
    EXPECT_EQ(painted, 0);
    p->SkinData().BGChangedFlag = false;
}

TEST_F(ProviderDispatchRowsTest, MenusTheFormGetsWhileSkinnedAreDrawnFromTheSkinOnceItIsActivated)
{
    tw::TForm* f = NewForm(300, 200);
    HWND wnd = Shown(f);
    ASSERT_TRUE(FindProvider(f)->Skinned());
    TsSkinableMenus* service = TsSkinableMenus::Of(&manager);
    ASSERT_TRUE(service->Active());
    // A popup menu and a main menu the form gets after its skin came.
    auto* popup = new tw::TPopupMenu(f);
    auto* entry = new tw::TMenuItem(popup);
    entry->SetCaption("Copy");
    popup->Items()->Add(entry);
    auto* menu = new tw::TMainMenu(f);
    AddItem(menu, "&File");
    f->SetMenu(menu);
    tw::Application->ProcessMessages();
    ASSERT_FALSE(service->Prepared(popup));
    SendMessageW(wnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(service->Prepared(popup));
    EXPECT_TRUE(service->Prepared(menu));
}

// Layered updates are recorded, not made (Wine cannot show them).
BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptEntry() { return AcceptLayered; }

class ProviderActivationNoticeTest : public test::LayeredFormTest {
protected:
    ProviderActivationNoticeTest() : LayeredFormTest("Activated", 300, 200, AcceptEntry) {}
};

TEST_F(ProviderActivationNoticeTest, ActivationNoticeRedrawsTheExtendedBorder)
{
    BordersOn();
    TacBorderForm* b = provider->BorderForm();
    ASSERT_NE(b, nullptr);
    const int before = b->Updates();
    SendMessageW(form->Handle(), tw::CM_ACTIVATE, 0, 0);
    EXPECT_EQ(b->Updates(), before + 1);
}

} // namespace
} // namespace skin
#endif
