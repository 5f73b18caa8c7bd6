// Frames and the class library's notices under Wine: the frame adapter takes
// over frames only and goes while its frame is whole; the owner chain finds
// a frame; the control state and style reach the painting of graphic
// children and the cache blit; a manager and a late control reach the form's
// provider; a real activation drops the forms' cached pictures; the MDI
// helper's repaint and design-time rule.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SkinTestControls.h"
#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/acSBUtils.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sMDIForm.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/StdCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

bool WaitFor(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        tw::Application->ProcessMessages();
        Sleep(5);
    }
    return true;
}

// An adapter that notes, as it goes, whether its frame is still whole.
class TWatchedAdapter : public TsFrameAdapter {
public:
    using TsFrameAdapter::TsFrameAdapter;
    ~TWatchedAdapter() override
    {
        if (Frame()) {
            *FrameHadWindow = Frame()->HandleAllocated();
            *FrameChildren = Frame()->ControlCount();
        }
    }
    bool* FrameHadWindow = nullptr;
    int* FrameChildren = nullptr;
};

// A frame that makes a window of another library while its own is made.
class TFrameWithForeignChild : public tw::TFrame {
public:
    using tw::TFrame::TFrame;

protected:
    void HandleCreated() override
    {
        CreateWindowW(L"LISTBOX", L"", WS_CHILD | WS_VISIBLE, 2, 2, 40, 40, Handle(), nullptr, nullptr, nullptr);
    }
};

// A graphic control that paints nothing and remembers whether it was asked
// for a copy.
class TBlankGraphic : public tw::TGraphicControl {
public:
    using tw::TGraphicControl::TGraphicControl;
    std::vector<bool> CopySeen;

protected:
    void Paint() override { CopySeen.push_back((ControlState() & tw::csPaintCopy) != 0); }
};

// A control that asks, while its window is being made, whether it is ready.
class TReadyProbe : public tw::TCustomControl {
public:
    using tw::TCustomControl::TCustomControl;
    int ReadyWhileCreating = -1;

protected:
    void HandleCreated() override { ReadyWhileCreating = ControlIsReady(this) ? 1 : 0; }
};

class FrameOwnershipTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new test::TSkinnedForm(tw::Application);
        form->SetBounds(60, 60, 400, 300);
        form->Show();
        tw::Application->ProcessMessages();
        oldHook = tw::SetDialogHook([this](tw::TDialogRequest& rq) -> std::optional<int> {
            texts.push_back(rq.Text);
            return 1;
        });
    }
    void TearDown() override
    {
        tw::SetDialogHook(oldHook);
        delete form;
        DefaultManager = nullptr;
    }
    TsSkinManager manager;
    test::TSkinnedForm* form = nullptr;
    std::vector<std::string> texts;
    tw::TDialogHook oldHook;
};

TEST_F(FrameOwnershipTest, OnlyAFrameIsTakenOver)
{
    auto* frame = new tw::TFrame(form);
    frame->SetParent(form);
    auto* adapter = new TsFrameAdapter(frame);
    EXPECT_EQ(adapter->Frame(), frame);
    EXPECT_EQ(frame->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    EXPECT_TRUE(texts.empty());
    delete adapter;
    EXPECT_EQ(frame->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);

    // An edit and a panel keep their own procedure: the developer is told.
    auto* edit = new tw::TEdit(form);
    edit->SetParent(form);
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    for (tw::TWinControl* other : {static_cast<tw::TWinControl*>(edit), static_cast<tw::TWinControl*>(panel)}) {
        texts.clear();
        auto* misplaced = new TsFrameAdapter(other);
        EXPECT_EQ(misplaced->Frame(), nullptr);
        EXPECT_EQ(other->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], kFrameAdapterMisplaced);
        delete misplaced;
    }
}

TEST_F(FrameOwnershipTest, TheAdapterGoesWhileItsFrameIsWhole)
{
    auto* frame = new tw::TFrame(form);
    frame->SetParent(form);
    auto* child = new tw::TEdit(form);
    child->SetParent(frame);
    frame->HandleNeeded();
    bool hadWindow = false;
    int children = -1;
    auto* adapter = new TWatchedAdapter(frame);
    adapter->FrameHadWindow = &hadWindow;
    adapter->FrameChildren = &children;
    SendSkinCommand(frame->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    delete frame;
    EXPECT_TRUE(hadWindow);
    EXPECT_EQ(children, 1);
    // The form goes on as before.
    EXPECT_EQ(form->ControlCount(), 0);
    tw::Application->ProcessMessages();

    // Destroyed with its form, frame and adapter inside.
    auto* other = new tw::TForm(tw::Application);
    auto* f2 = new tw::TFrame(other);
    f2->SetParent(other);
    auto* a2 = new TWatchedAdapter(f2);
    hadWindow = false;
    a2->FrameHadWindow = &hadWindow;
    a2->FrameChildren = &children;
    other->Show();
    delete other;
    EXPECT_TRUE(hadWindow);
}

TEST_F(FrameOwnershipTest, TheOwnerChainLeadsToTheFrame)
{
    auto* frame = new tw::TFrame(form);
    auto* panel = new tw::TPanel(frame);
    auto* label = new tw::TLabel(panel);
    auto* onForm = new tw::TLabel(form);
    EXPECT_EQ(GetOwnerFrame(frame), frame);
    EXPECT_EQ(GetOwnerFrame(panel), frame);
    EXPECT_EQ(GetOwnerFrame(label), frame);
    EXPECT_EQ(GetOwnerFrame(onForm), nullptr);
    EXPECT_EQ(GetOwnerFrame(form), nullptr);
    EXPECT_EQ(GetOwnerFrame(nullptr), nullptr);
    EXPECT_EQ(GetOwnerForm(label), form);
}

TEST_F(FrameOwnershipTest, WindowsMadeWithTheFrameWaitForTheFrame)
{
    auto* frame = new TFrameWithForeignChild(form);
    auto* child = new test::TSkinnedPanel(frame);
    child->SetParent(frame);
    auto* adapter = new TsFrameAdapter(frame);
    frame->Perform(SM_ALPHACMD, SkinWParam(AC_SKINLOADED), reinterpret_cast<LPARAM>(&manager));
    ASSERT_TRUE(adapter->SkinData().Skinned());
    child->Commands.clear();
    // The frame's window and the foreign one made inside it: no notice
    // passed on while the frame is being made.
    frame->SetParent(form);
    ASSERT_TRUE(frame->HandleAllocated());
    EXPECT_EQ(std::count(child->Commands.begin(), child->Commands.end(), AC_SKINLOADED), 0);
    // One made later is passed on.
    HWND later = CreateWindowW(L"LISTBOX", L"", WS_CHILD | WS_VISIBLE, 50, 2, 40, 40, frame->Handle(), nullptr,
                               nullptr, nullptr);
    EXPECT_EQ(std::count(child->Commands.begin(), child->Commands.end(), AC_SKINLOADED), 1);
    DestroyWindow(later);
    delete adapter;
}

TEST_F(FrameOwnershipTest, ControlIsNotReadyWhileItsWindowIsMade)
{
    auto* probe = new TReadyProbe(form);
    probe->SetParent(form);
    ASSERT_TRUE(probe->HandleAllocated());
    EXPECT_EQ(probe->ReadyWhileCreating, 0);
    EXPECT_TRUE(ControlIsReady(probe));
}

// Graphic children painted into a buffer: an opaque one over its own colour,
// the others over the parent's; a parent painting a copy has them paint
// copies for the call.
TEST_F(FrameOwnershipTest, GraphicChildrenTakeOpaqueAndCopyFromTheControlState)
{
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    panel->SetBounds(0, 0, 100, 60);
    panel->SetColor(0x00C000);
    auto* opaque = new TBlankGraphic(form);
    opaque->SetParent(panel);
    opaque->SetBounds(10, 10, 20, 20);
    opaque->SetColor(0x2040A0);
    opaque->SetControlStyle(opaque->ControlStyle() | tw::csOpaque);
    auto* clear = new TBlankGraphic(form);
    clear->SetParent(panel);
    clear->SetBounds(50, 10, 20, 20);
    clear->SetColor(0x102030);
    tw::TBitmap target(100, 60, tw::pf24bit);
    HDC dc = target.Canvas().Handle();
    PaintGraphicChildren(dc, panel, TPoint(0, 0));
    EXPECT_EQ(COLORREF(target.Canvas().Pixels(15, 15)) & 0xFFFFFF, COLORREF(0x2040A0));
    EXPECT_EQ(COLORREF(target.Canvas().Pixels(55, 15)) & 0xFFFFFF, COLORREF(0x00C000));
    ASSERT_EQ(opaque->CopySeen, std::vector<bool>{false});

    panel->SetControlState(panel->ControlState() | tw::csPaintCopy);
    PaintGraphicChildren(dc, panel, TPoint(0, 0));
    panel->SetControlState(panel->ControlState() & ~tw::csPaintCopy);
    EXPECT_EQ(opaque->CopySeen, (std::vector<bool>{false, true}));
    EXPECT_EQ(clear->CopySeen, (std::vector<bool>{false, true}));
    EXPECT_EQ(opaque->ControlState() & tw::csPaintCopy, 0u);
    EXPECT_EQ(clear->ControlState() & tw::csPaintCopy, 0u);
}

// The cache goes to the DC around the children that paint themselves: the
// windowed ones and an opaque graphic one; a see-through one lies on it.
TEST_F(FrameOwnershipTest, CacheBlitLeavesOutOpaqueGraphicChildren)
{
    auto* frame = new tw::TFrame(form);
    frame->SetParent(form);
    frame->SetBounds(10, 10, 120, 80);
    auto* adapter = new TsFrameAdapter(frame);
    SendSkinCommand(frame->Handle(), AC_SKINLOADED, reinterpret_cast<LPARAM>(&manager));
    adapter->PrepareFrameCache();
    tw::TBitmap* cache = adapter->SkinData().CacheBmp();
    ASSERT_NE(cache, nullptr);
    ASSERT_FALSE(cache->Empty());
    auto* opaque = new TBlankGraphic(form);
    opaque->SetParent(frame);
    opaque->SetBounds(20, 20, 20, 20);
    opaque->SetControlStyle(tw::csOpaque);
    auto* clear = new TBlankGraphic(form);
    clear->SetParent(frame);
    clear->SetBounds(60, 20, 20, 20);
    tw::TBitmap target(120, 80, tw::pf24bit);
    const RECT all{0, 0, 120, 80};
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    FillRect(target.Canvas().Handle(), &all, brush);
    DeleteObject(brush);
    BlitControlCache(frame, adapter->SkinData(), 0, 0, TPoint(0, 0), false, target.Canvas().Handle(),
                     TRect(0, 0, 120, 80));
    EXPECT_EQ(COLORREF(target.Canvas().Pixels(25, 25)) & 0xFFFFFF, RGB(1, 2, 3));
    EXPECT_EQ(COLORREF(target.Canvas().Pixels(65, 25)) & 0xFFFFFF, COLORREF(cache->Canvas().Pixels(65, 25)) & 0xFFFFFF);
    delete adapter;
}

// A real second activation of the program: its main-window hook drops every
// form's cached picture.
TEST_F(FrameOwnershipTest, ActivatingTheProgramDropsTheFormsCachedPictures)
{
    // The hook comes with the default manager made while the program runs.
    DefaultManager = nullptr;
    auto running = std::make_unique<TsSkinManager>();
    ASSERT_EQ(DefaultManager, running.get());
    auto* second = new test::TSkinnedForm(tw::Application);
    second->HandleNeeded();
    SetForegroundWindow(form->Handle());
    ASSERT_TRUE(WaitFor([&] { return tw::Application->Active(); }));
    std::atomic<bool> stop{false};
    std::thread t([&] {
        HWND w = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 120, 80, nullptr,
                                 nullptr, nullptr, nullptr);
        SetForegroundWindow(w);
        while (!stop) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(5);
        }
        DestroyWindow(w);
    });
    const bool left = WaitFor([&] { return !tw::Application->Active(); });
    form->Commands.clear();
    second->Commands.clear();
    SetForegroundWindow(form->Handle());
    auto count = [](const std::vector<uint16_t>& v) { return std::count(v.begin(), v.end(), AC_RESETCACHE); };
    const bool back = WaitFor([&] { return count(form->Commands) > 0 && count(second->Commands) > 0; });
    stop = true;
    t.join();
    delete second;
    running.reset();
    DefaultManager = &manager;
    EXPECT_TRUE(left);
    EXPECT_TRUE(back);
}

class ProviderNoticeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::StartFormSkinning(manager));
        form = test::ShowForm("Notices", 80, 80, 360, 260);
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
    }
    void TearDown() override
    {
        delete form;
        test::EndFormSkinning();
    }
    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_F(ProviderNoticeTest, AManagerOnTheFormIsTakenAndForgotten)
{
    // No manager anywhere: the one placed on the form becomes the provider's own.
    DefaultManager = nullptr;
    ASSERT_EQ(provider->SkinManager(), nullptr);
    auto* own = new TsSkinManager(form);
    DefaultManager = &manager;
    EXPECT_EQ(provider->SkinManager(), own);
    // Gone: the provider forgets it and follows the default manager again.
    delete own;
    EXPECT_EQ(provider->SkinManager(), &manager);
    DefaultManager = &manager;

    // Another form's manager is none of this provider's business.
    auto* elsewhere = new tw::TForm(tw::Application);
    new TsSkinManager(elsewhere);
    EXPECT_EQ(provider->SkinManager(), &manager);
    delete elsewhere;
    EXPECT_EQ(provider->SkinManager(), &manager);
    DefaultManager = &manager;
}

TEST_F(ProviderNoticeTest, AControlMadeAfterTheSkinGetsItsAdapterAtOnce)
{
    ASSERT_TRUE(provider->Skinned());
    ASSERT_NE(provider->CtrlAdapter(), nullptr);
    auto* memo = new tw::TMemo(form);
    memo->SetBounds(10, 10, 150, 80);
    memo->SetParent(form);
    ASSERT_TRUE(memo->HandleAllocated());
    EXPECT_NE(dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(memo->Handle())), nullptr);
    EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(memo->Handle()), TacMainWnd::Of(memo->Handle()));
    // Not twice: a second notice finds the adapter there.
    const int count = provider->CtrlAdapter()->Count();
    provider->Notification(memo, tw::opInsert);
    EXPECT_EQ(provider->CtrlAdapter()->Count(), count);

    // The notice is the form's own: a control the form owns gets the form's
    // adapter as soon as it has its window, also when it is shown on another
    // form, which hears of it only as a new child.
    auto* other = test::ShowForm("Elsewhere", 460, 80, 240, 200);
    auto* list = new tw::TListBox(form);
    list->SetBounds(5, 5, 140, 100);
    list->SetParent(other);
    ASSERT_TRUE(list->HandleAllocated());
    EXPECT_NE(dynamic_cast<TacScrollWnd*>(TacMainWnd::Of(list->Handle())), nullptr);
    EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(list->Handle()), TacMainWnd::Of(list->Handle()));
    EXPECT_EQ(provider->CtrlAdapter()->Count(), count + 1);
    delete list;
    delete other;
}

TEST_F(ProviderNoticeTest, MdiRepaintAsksForAWholeFrameAndDesignTimeKeepsTheSystemLook)
{
    CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
    HWND client = CreateWindowW(L"MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 300, 200,
                                form->Handle(), nullptr, nullptr, &ccs);
    ASSERT_NE(client, nullptr);
    TsMDIForm helper(provider, client);
    // The close button hot under the mouse.
    RECT wr;
    GetWindowRect(form->Handle(), &wr);
    // The buttons are laid out by a first hit test on the title.
    SendMessageW(form->Handle(), WM_NCHITTEST, 0, MAKELPARAM(wr.left + 100, wr.top + 10));
    const TRect close = provider->Buttons().Close;
    ASSERT_GT(close.Width(), 0);
    SendMessageW(form->Handle(), WM_NCHITTEST, 0,
                 MAKELPARAM(wr.left + (close.Left + close.Right) / 2, wr.top + (close.Top + close.Bottom) / 2));
    ASSERT_EQ(provider->HotCode(), HTCLOSE);
    std::vector<WPARAM> ncPaints;
    tw::TWndMethod saved = form->WindowProc;
    form->WindowProc = [&](tw::TMessage& m) {
        if (m.Msg == WM_NCPAINT)
            ncPaints.push_back(m.WParam);
        saved(m);
    };
    provider->SkinData().BGChangedFlag = false;
    helper.RepaintFrame();
    form->WindowProc = saved;
    EXPECT_EQ(ncPaints, std::vector<WPARAM>{0});
    EXPECT_EQ(provider->HotCode(), 0);

    // A form being designed keeps the system's MDI area.
    form->SetDesigning(true);
    helper.ConnectToClientIfNeeded();
    EXPECT_EQ(helper.MDIAdapter(), nullptr);
    EXPECT_EQ(TacMainWnd::Of(client), nullptr);
    form->SetDesigning(false);
    helper.ConnectToClientIfNeeded();
    EXPECT_NE(helper.MDIAdapter(), nullptr);
    helper.DisconnectFromClient();
    DestroyWindow(client);
}

} // namespace
} // namespace skin

#endif
