// Skinned lists and the header with real windows: items in the skin's
// colours, the selection in its highlight, check marks from the skin, hot
// and pressed header sections from real mouse messages.
#include "ControlWindows.h"

#include <commctrl.h>

#include "skin/controls/sAlphaListBox.h"
#include "skin/controls/sCheckListBox.h"
#include "skin/controls/sHeaderControl.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Application.h"

namespace skin {
namespace {

class TsListTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        list = new TsAlphaListBox(form.get());
        list->SetParent(form.get());
        list->SetBounds(10, 10, 150, 120);
        for (const char* s : {"PAT", "PMT", "Video", "Audio"}) list->Items().Add(s);
        ShowAll();
    }
    // What the list shows at a point of its client area.
    TColor Shown(int x, int y)
    {
        HDC dc = GetDC(list->Handle());
        const TColor c = GetPixel(dc, x, y);
        ReleaseDC(list->Handle(), dc);
        return c;
    }
    TsAlphaListBox* list = nullptr;
};

TEST_F(TsListTest, ItemsInTheSkinsColoursAndTheSelectionHighlighted)
{
    EXPECT_EQ(list->GetCount(), 4);
    const TRect first = list->ItemRect(0);
    const int x = first.Right - 3, y = (first.Top + first.Bottom) / 2;
    EXPECT_EQ(Shown(x, y), list->SkinData.GetControlBGColor(false));
    list->SetItemIndex(0);
    PaintNow(list);
    EXPECT_EQ(Shown(x, y), manager->GetHighlightColor());
    // A rounded shape: its corner pixel keeps the list's colour, its edge
    // lies between the two colours.
    EXPECT_EQ(Shown(first.Left, first.Top), list->SkinData.GetControlBGColor(false));
    EXPECT_NE(Shown(first.Left, y), manager->GetHighlightColor());
    list->SetItemIndex(2);
    PaintNow(list);
    EXPECT_EQ(Shown(x, y), list->SkinData.GetControlBGColor(false));   // the old selection painted again
    EXPECT_EQ(list->ItemAtPos({x, y}), 0);
    EXPECT_EQ(list->ItemAtPos({x, 110}), -1);
    list->Clear();
    EXPECT_EQ(list->GetCount(), 0);
    EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(TsListTest, SkinOffGivesTheSystemColours)
{
    SwitchSkin(false);
    PaintNow(list);
    const TRect first = list->ItemRect(1);
    EXPECT_EQ(Shown(first.Right - 3, first.Top + 2), TColor(GetSysColor(COLOR_WINDOW)));
    SwitchSkin(true);
    PaintNow(list);
    EXPECT_EQ(Shown(first.Right - 3, first.Top + 2), list->SkinData.GetControlBGColor(false));
}

TEST_F(TsListTest, CheckListShowsTheSkinsMarks)
{
    auto* checks = new TsCheckListBox(form.get());
    checks->SetParent(form.get());
    checks->SetBounds(170, 10, 150, 120);
    checks->Items().Add("Drop null packets");
    checks->Items().Add("Rebuild tables");
    ShowAll();
    auto markPixels = [&] {
        HDC dc = GetDC(checks->Handle());
        const TRect r = checks->ItemRect(0);
        std::vector<TColor> v;
        for (int y = r.Top; y < r.Bottom; ++y)
            for (int x = r.Left; x < r.Left + 18; ++x) v.push_back(GetPixel(dc, x, y));
        ReleaseDC(checks->Handle(), dc);
        return v;
    };
    const std::vector<TColor> unchecked = markPixels();
    checks->SetChecked(0, true);
    PaintNow(checks);
    EXPECT_TRUE(checks->Checked(0));
    EXPECT_NE(markPixels(), unchecked);
    EXPECT_FALSE(checks->Checked(1));
    EXPECT_FALSE(checks->Checked(7));   // no such item: no check state
}

class TsHeaderTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        header = new TsHeaderControl(form.get());
        header->SetParent(form.get());
        header->SetBounds(10, 10, 300, 22);
        header->AddSection("Offset", 80);
        header->AddSection("Packet", 120);
        header->OnSectionClick = [this](tw::TObject*, int section) { clicked.push_back(section); };
        ShowAll();
    }
    TsHeaderControl* header = nullptr;
    std::vector<int> clicked;
};

TEST_F(TsHeaderTest, SectionsAreSkinnedButtonsWithHotAndPressedLooks)
{
    EXPECT_EQ(header->SkinData.SkinSection(), "BUTTON");
    EXPECT_EQ(header->SkinData.CacheBmp()->Width(), header->Width());
    const TColor normal = header->SkinData.CacheBmp()->Canvas().Pixels(100, 11);
    SendMessageW(header->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(100, 11));
    EXPECT_EQ(header->HotSection(), 1);
    PaintNow(header);
    const TColor hot = header->SkinData.CacheBmp()->Canvas().Pixels(100, 11);
    EXPECT_NE(hot, normal);
    MouseDown(header, 100, 11);
    EXPECT_EQ(header->PressedSection(), 1);
    PaintNow(header);
    EXPECT_NE(header->SkinData.CacheBmp()->Canvas().Pixels(100, 11), hot);
    MouseUp(header, 100, 11);
    EXPECT_EQ(header->PressedSection(), -1);
    EXPECT_EQ(clicked, std::vector<int>{1});
    header->Perform(tw::CM_MOUSELEAVE, 0, 0);
    PaintNow(header);
    EXPECT_EQ(header->SkinData.CacheBmp()->Canvas().Pixels(100, 11), normal);
}

TEST_F(TsHeaderTest, SectionsFadeLikeTheSkinsButtons)
{
    ASSERT_TRUE(manager->gd[size_t(header->SkinData.SkinIndex)].FadingEnabled);
    SendMessageW(header->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(20, 11));
    EXPECT_TRUE(header->Fading());
    const TColor goal = header->SkinData.CacheBmp()->Canvas().Pixels(20, 11);
    // The timer's frames run to their end and stop it.
    for (int i = 0; i < 500 && header->Fading(); ++i) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        tw::Application->ProcessMessages();
    }
    EXPECT_FALSE(header->Fading());
    HDC dc = GetDC(header->Handle());
    EXPECT_EQ(GetPixel(dc, 20, 11), goal);
    ReleaseDC(header->Handle(), dc);
    // Going away in the middle of a fade takes the timer with it.
    SendMessageW(header->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(100, 11));
    header->Perform(tw::CM_MOUSELEAVE, 0, 0);
    delete header;
    tw::Application->ProcessMessages();
}

TEST_F(TsHeaderTest, SkinOffAndOn)
{
    SwitchSkin(false);
    EXPECT_EQ(header->SkinData.SkinIndex, -1);
    PaintNow(header);
    EXPECT_EQ(header->SkinData.CacheBmp()->Width(), 0);
    SwitchSkin(true);
    EXPECT_EQ(header->SkinData.SkinSection(), "BUTTON");
    PaintNow(header);
    EXPECT_EQ(header->SkinData.CacheBmp()->Width(), header->Width());
}

} // namespace
} // namespace skin
