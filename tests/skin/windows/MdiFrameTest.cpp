// The MDI helper and the frame adapter under Wine, on a test-only MDI
// parent (a skinned form with a system MDI client window) and a test-only
// frame (a plain container control): adapters made only while skinned, one
// at a time, children's changes repaint the parent's frame, the frame wears
// the section's colour and everything gets its own procedure back.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/sFrameAdapter.h"
#include "skin/windows/sMDIForm.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class MdiFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        InstallFormSkinning();
        form = new tw::TForm(tw::Application);
        form->SetBounds(60, 60, 400, 300);
        form->Show();
        tw::Application->ProcessMessages();
        provider = FindProvider(form);
        ASSERT_NE(provider, nullptr);
        CLIENTCREATESTRUCT ccs{nullptr, 0xFF00};
        client = CreateWindowW(L"MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 380, 250,
                               form->Handle(), nullptr, nullptr, &ccs);
        ASSERT_NE(client, nullptr);
    }
    void TearDown() override
    {
        delete form;
        UninstallFormSkinning();
        DefaultManager = nullptr;
    }
    void Send(HWND wnd, uint16_t command) { SendSkinCommand(wnd, command, reinterpret_cast<LPARAM>(&manager)); }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
    HWND client = nullptr;
};

TEST_F(MdiFrameTest, TheMdiClientIsAdaptedOnceWhileSkinnedAndRepaintsTheFrame)
{
    const LONG_PTR own = GetWindowLongPtrW(client, GWLP_WNDPROC);
    auto helper = std::make_unique<TsMDIForm>(provider, client);
    helper->ConnectToClientIfNeeded();
    ASSERT_NE(helper->MDIAdapter(), nullptr);
    EXPECT_EQ(TacMainWnd::Of(client), helper->MDIAdapter());
    EXPECT_STREQ(helper->MDIAdapter()->Kind(), "TacMDIWnd");
    EXPECT_EQ(helper->MDIAdapter()->Provider, provider);
    EXPECT_EQ(helper->MDIAdapter()->MDIForm, helper.get());
    // Connected twice: still one adapter on the client.
    helper->ConnectToClient();
    helper->ConnectToClientIfNeeded();
    EXPECT_EQ(TacMainWnd::Of(client), helper->MDIAdapter());
    // A child made and ended: the parent's frame is painted again each time.
    const int before = helper->FrameRepaints();
    MDICREATESTRUCTW mcs{L"MDICLIENT", L"child", nullptr, 0, 0, 120, 80, 0, 0};
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefMDIChildProcW;
    wc.lpszClassName = L"TwTestMdiChild";
    RegisterClassW(&wc);
    mcs.szClass = L"TwTestMdiChild";
    HWND child = reinterpret_cast<HWND>(SendMessageW(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&mcs)));
    ASSERT_NE(child, nullptr);
    SendMessageW(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(child), 0);
    EXPECT_GE(helper->FrameRepaints(), before + 2);
    // Without the skin: no adapter, the client's own procedure.
    Send(form->Handle(), AC_SKINREMOVED);
    helper->ConnectToClient();
    EXPECT_EQ(helper->MDIAdapter(), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(client, GWLP_WNDPROC), own);
    Send(form->Handle(), AC_SKINLOADED);
    helper->ConnectToClient();
    EXPECT_NE(helper->MDIAdapter(), nullptr);
    helper.reset();
    EXPECT_EQ(TacMainWnd::Of(client), nullptr);
    EXPECT_EQ(GetWindowLongPtrW(client, GWLP_WNDPROC), own);
}

// What the form's window hears of a frame repaint: the WParam of each
// WM_NCPAINT, in front of the provider.
WNDPROC g_ncPrev = nullptr;
std::vector<WPARAM> g_ncPaints;
LRESULT CALLBACK RecordNcPaint(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCPAINT)
        g_ncPaints.push_back(wp);
    return CallWindowProcW(g_ncPrev, wnd, msg, wp, lp);
}

TEST_F(MdiFrameTest, ARepaintOfTheFrameStartsFromNoHotButtonAndAFormBeingDesignedKeepsItsClient)
{
    auto helper = std::make_unique<TsMDIForm>(provider, client);
    // A form being designed keeps the system's MDI area.
    form->SetDesigning(true);
    helper->ConnectToClientIfNeeded();
    form->SetDesigning(false);
    EXPECT_EQ(helper->MDIAdapter(), nullptr);
    EXPECT_EQ(TacMainWnd::Of(client), nullptr);

    const TRect close = provider->Buttons().Close;
    ASSERT_GT(close.Right, close.Left);
    ASSERT_EQ(test::NcHit(form->Handle(), (close.Left + close.Right) / 2, (close.Top + close.Bottom) / 2), HTCLOSE);
    ASSERT_EQ(provider->HotCode(), HTCLOSE);
    // The region taken away meanwhile: the whole new frame is cut again.
    SetWindowRgn(form->Handle(), nullptr, FALSE);
    g_ncPaints.clear();
    g_ncPrev = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(form->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordNcPaint)));
    helper->RepaintFrame();
    SetWindowLongPtrW(form->Handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_ncPrev));
    // The whole frame at once (no update region), no button left hot.
    EXPECT_EQ(g_ncPaints, std::vector<WPARAM>{0});
    EXPECT_EQ(provider->HotCode(), 0);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(form->Handle(), rgn), ERROR);
    DeleteObject(rgn);
}

TEST_F(MdiFrameTest, AFrameWearsItsSectionAndGetsItsProcedureBack)
{
    auto* frame = new tw::TFrame(form);
    frame->SetParent(form);
    frame->SetBounds(10, 10, 150, 100);
    tw::Application->ProcessMessages();
    auto* adapter = new TsFrameAdapter(frame);
    ASSERT_EQ(adapter->Frame(), frame);
    EXPECT_EQ(adapter->SkinData().COC, COC_TsFrameAdapter);
    EXPECT_EQ(adapter->SkinData().SkinSection(), "GROUPBOX");
    EXPECT_EQ(frame->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 1);
    Send(frame->Handle(), AC_SKINLOADED);
    ASSERT_TRUE(adapter->SkinData().Skinned());
    const int section = manager.GetSkinIndex("GROUPBOX");
    ASSERT_TRUE(manager.SkinIndexValid(section));
    // Its background is the section's picture, as the skin's data gives it:
    // the section's colour inside, its border mask at the edge.
    ASSERT_TRUE(test::PlainSection(manager, "GROUPBOX"));
    const COLORREF inside = test::SectionColour(manager, "GROUPBOX");
    const TsMaskData* border = test::BorderMask(manager, "GROUPBOX");
    ASSERT_NE(border, nullptr);
    const int fh = MaskFrameHeight(*border);
    const COLORREF edge = test::MaskOver(*border, 0, 0, fh / 2, inside);
    ASSERT_NE(edge, inside);
    tw::TBitmap erased(150, 100, tw::pf24bit);
    HDC dc = erased.Canvas().Handle();
    EXPECT_EQ(frame->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    EXPECT_EQ(GetPixel(dc, 75, 50), inside);
    EXPECT_EQ(GetPixel(dc, 0, 50), edge);
    Send(frame->Handle(), AC_SKINREMOVED);
    EXPECT_EQ(adapter->ScrollAdapter(), nullptr);
    delete adapter;
    EXPECT_EQ(frame->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
    // Placed on a form, the adapter has no frame and takes nothing over.
    // It says so in a message (answered here).
    auto oldHook = tw::SetDialogHook([](tw::TDialogRequest&) -> std::optional<int> { return 1; });
    TsFrameAdapter onForm(form);
    tw::SetDialogHook(oldHook);
    EXPECT_EQ(onForm.Frame(), nullptr);
}

} // namespace
} // namespace skin

#endif
