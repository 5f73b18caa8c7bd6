// A frame skinned from outside under Wine: its picture from the section
// through WM_PRINT, the skin's messages passed on to its children (and only
// the ones of its own manager), its colour over a partly transparent
// section, and the text when it is dropped on anything but a frame.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/sFrameAdapter.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

class FrameAdapterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new test::TSkinnedForm(tw::Application);
        form->Answer = 0x203040;
        form->SetBounds(60, 60, 400, 300);
        form->Show();
        frame = new tw::TFrame(form);
        frame->SetParent(form);
        frame->SetBounds(20, 20, 200, 150);
        child = new test::TSkinnedPanel(frame);
        child->SetParent(frame);
        child->SetBounds(150, 100, 30, 30);
        tw::Application->ProcessMessages();
    }
    void TearDown() override
    {
        delete form;
        DefaultManager = nullptr;
    }
    LRESULT Send(uint16_t cmd, LPARAM lp = 0, uint16_t arg = 0)
    {
        return SendMessageW(frame->Handle(), SM_ALPHACMD, SkinWParam(cmd, arg), lp);
    }
    LPARAM Own() const { return reinterpret_cast<LPARAM>(&manager); }
    int Count(uint16_t cmd) const
    {
        int n = 0;
        for (uint16_t c : child->Commands)
            n += c == cmd;
        return n;
    }
    TsSkinManager manager;
    test::TSkinnedForm* form = nullptr;
    tw::TFrame* frame = nullptr;
    test::TSkinnedPanel* child = nullptr;
};

TEST_F(FrameAdapterTest, PaintsTheCachedSectionPictureThroughPrint)
{
    auto* adapter = new TsFrameAdapter(frame);
    Send(AC_SKINLOADED, Own());
    ASSERT_TRUE(adapter->SkinData().Skinned());
    tw::TBitmap shot(200, 150, tw::pf24bit);
    SendMessageW(frame->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(shot.Canvas().Handle()), PRF_CLIENT);
    tw::TBitmap* cache = adapter->SkinData().CacheBmp();
    ASSERT_NE(cache, nullptr);
    ASSERT_EQ(cache->Width(), 200);
    ASSERT_EQ(cache->Height(), 150);
    EXPECT_FALSE(adapter->SkinData().BGChangedFlag);
    // The section's picture as the skin's data gives it: its colour inside,
    // its border mask over that colour at the edges.
    const std::string section = "GROUPBOX";
    EXPECT_EQ(adapter->SkinData().SkinSection(), section);
    ASSERT_TRUE(test::PlainSection(manager, section.c_str())) << section;
    const COLORREF inside = test::SectionColour(manager, section.c_str());
    const TsMaskData* border = test::BorderMask(manager, section.c_str());
    ASSERT_NE(border, nullptr) << section;
    const int fw = MaskFrameWidth(*border), fh = MaskFrameHeight(*border);
    const COLORREF left = test::MaskOver(*border, 0, 0, fh / 2, inside);
    const COLORREF right = test::MaskOver(*border, 0, fw - 1, fh / 2, inside);
    ASSERT_NE(left, inside);
    HDC dc = shot.Canvas().Handle();
    EXPECT_EQ(GetPixel(dc, 100, 60), inside);
    EXPECT_EQ(GetPixel(dc, 60, 75), inside);
    EXPECT_EQ(GetPixel(dc, 0, 75), left);
    EXPECT_EQ(GetPixel(dc, 199, 75), right);
    // Resizing always marks the picture changed; moving only while updating.
    SendMessageW(frame->Handle(), WM_MOVE, 0, MAKELPARAM(21, 20));
    EXPECT_FALSE(adapter->SkinData().BGChangedFlag);
    SendMessageW(frame->Handle(), WM_SIZE, 0, MAKELPARAM(200, 150));
    EXPECT_TRUE(adapter->SkinData().BGChangedFlag);
    EXPECT_GE(Count(AC_BGCHANGED), 1);
    // The children hear it as a change of their parent's picture (low word 1).
    for (size_t i = 0; i < child->Commands.size(); ++i)
        if (child->Commands[i] == AC_BGCHANGED)
            EXPECT_EQ(child->Args[i], 1);
    delete adapter;
}

TEST_F(FrameAdapterTest, PassesTheSkinsMessagesOnAndAnswersAsAContainer)
{
    auto* adapter = new TsFrameAdapter(frame);
    Send(AC_SKINLOADED, Own());
    EXPECT_EQ(Count(AC_SKINLOADED), 1);
    Send(AC_SKINREFRESH, Own());
    EXPECT_EQ(Count(AC_SKINREFRESH), 1);
    // Another manager's messages are not acted on nor passed on.
    TsSkinManager other;
    DefaultManager = &manager;
    Send(AC_SKINLOADED, reinterpret_cast<LPARAM>(&other));
    Send(AC_SKINREMOVED, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(Count(AC_SKINLOADED), 1);
    EXPECT_EQ(Count(AC_SKINREMOVED), 0);
    EXPECT_TRUE(adapter->SkinData().Skinned());

    EXPECT_EQ(Send(AC_QUERYSKINNED), 1);
    EXPECT_EQ(Send(AC_QUERYSKININDEX), adapter->SkinData().SkinIndex + 1);
    EXPECT_EQ(Send(AC_QUERYAPPLICATION), reinterpret_cast<LRESULT>(tw::Application));
    Send(AC_STOPANIMATION);
    EXPECT_EQ(Count(AC_STOPANIMATION), 1);
    // The active state: set for the frame and passed to its children.
    Send(AC_SETACTIVESTATE, 0, 1);
    EXPECT_TRUE(adapter->SkinData().ActiveState());
    EXPECT_EQ(Count(AC_SETACTIVESTATE), 1);
    EXPECT_EQ(Send(AC_QUERYACTIVE), 1);
    Send(AC_REFRESHSTATE);
    EXPECT_FALSE(adapter->SkinData().ActiveState());
    EXPECT_EQ(Send(AC_QUERYACTIVE), 0);
    adapter->SkinData().BGChangedFlag = false;
    Send(AC_PARENTBGCHANGED);
    EXPECT_TRUE(adapter->SkinData().BGChangedFlag);
    const TsGeneralData& s = manager.gd[size_t(adapter->SkinData().SkinIndex)];
    EXPECT_EQ(Send(AC_QUERYUPDATING), s.GradientPercent + s.ImagePercent > 0 ? 1 : 0);
    // The background query gives the frame's picture or colour.
    TacBGInfo info;
    Send(AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    EXPECT_NE(info.BgType, btUnknown);

    Send(AC_SKINREMOVED, Own());
    EXPECT_EQ(Count(AC_SKINREMOVED), 1);
    EXPECT_FALSE(adapter->SkinData().Skinned());
    delete adapter;
}

TEST_F(FrameAdapterTest, ColourOfATransparentSectionComesFromTheParent)
{
    auto* adapter = new TsFrameAdapter(frame);
    Send(AC_SKINLOADED, Own());
    TsGeneralData& s = manager.gd[size_t(adapter->SkinData().SkinIndex)];
    s.Color = 0x000000;
    s.Transparency = 50;
    form->Answer = 0xFFFFFF;
    // Weighed against 256: (50 x 255) div 256 = 49.
    EXPECT_EQ(Send(AC_QUERYCOLOR), 0x313131);
    s.Transparency = 100;
    form->Answer = 0x405060;
    EXPECT_EQ(Send(AC_QUERYCOLOR), 0x405060);
    // A parent that answers the key colour gives its own Color.
    form->Answer = 0xFF00FF;
    form->SetColor(0x102030);
    EXPECT_EQ(Send(AC_QUERYCOLOR), 0x102030);
    s.Transparency = 0;
    s.Color = 0x0A0B0C;
    EXPECT_EQ(Send(AC_QUERYCOLOR), 0x0A0B0C);
    delete adapter;
}

TEST_F(FrameAdapterTest, AWindowMadeLaterOnTheFrameBringsTheSkinToItsChildren)
{
    auto* adapter = new TsFrameAdapter(frame);
    Send(AC_SKINLOADED, Own());
    child->Commands.clear();
    // A window of another library made on the frame tells its parent.
    HWND foreign = CreateWindowW(L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 5, 5, 60, 60, frame->Handle(),
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(Count(AC_SKINLOADED), 1);
    // Other notifications pass.
    SendMessageW(frame->Handle(), WM_PARENTNOTIFY, WM_LBUTTONDOWN, MAKELPARAM(1, 1));
    EXPECT_EQ(Count(AC_SKINLOADED), 1);
    DestroyWindow(foreign);
    delete adapter;
}

TEST_F(FrameAdapterTest, ScrollsMouseAndShowingAsAContainerOfTheSkin)
{
    auto* adapter = new TsFrameAdapter(frame);
    Send(AC_SKINLOADED, Own());
    // Around a scroll the frame stops drawing only while its picture needs
    // the background (updating); otherwise it draws on.
    adapter->SkinData().Updating = true;
    Send(AC_BEFORESCROLL);
    EXPECT_FALSE(IsWindowVisible(frame->Handle()) && (GetWindowLongPtrW(frame->Handle(), GWL_STYLE) & WS_VISIBLE));
    Send(AC_AFTERSCROLL);
    EXPECT_TRUE(GetWindowLongPtrW(frame->Handle(), GWL_STYLE) & WS_VISIBLE);
    adapter->SkinData().Updating = false;
    // The mouse over the frame makes it the skin's active control.
    manager.ActiveControl = 0;
    frame->Perform(tw::CM_MOUSEENTER, 0, 0);
    EXPECT_EQ(manager.ActiveControl, reinterpret_cast<uintptr_t>(frame->Handle()));
    // Shown, a frame with system bars gets the skinned ones.
    SetWindowLongPtrW(frame->Handle(), GWL_STYLE, GetWindowLongPtrW(frame->Handle(), GWL_STYLE) | WS_VSCROLL);
    SetScrollRange(frame->Handle(), SB_VERT, 0, 100, TRUE);
    frame->Perform(tw::CM_SHOWINGCHANGED, 0, 0);
    EXPECT_NE(adapter->ScrollAdapter(), nullptr);
    // No skinned non-client area of its own.
    EXPECT_EQ(SendMessageW(frame->Handle(), WM_NCPAINT, 1, 0), 0);
    delete adapter;
}

TEST(FrameAdapterPlacement, OnAnythingButAFrameItSaysSoAndTakesNothingOver)
{
    tw::Application->Initialize();
    std::vector<std::string> texts;
    auto old = tw::SetDialogHook([&](tw::TDialogRequest& rq) -> std::optional<int> {
        texts.push_back(rq.Text);
        return 1;
    });
    auto* form = new tw::TForm(tw::Application);
    form->HandleNeeded();
    {
        TsFrameAdapter adapter(form);
        EXPECT_EQ(adapter.Frame(), nullptr);
        EXPECT_EQ(form->Perform(SM_ALPHACMD, SkinWParam(AC_QUERYSKINNED), 0), 0);
    }
    tw::SetDialogHook(old);
    delete form;
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "TsFrameAdapter adapter must be placed on the handled frame");
}

} // namespace
} // namespace skin

#endif
