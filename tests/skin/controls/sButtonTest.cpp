// The skinned push button from real mouse messages, pictures on the glyph
// buttons, and the hover glow of skinned controls: shown on enter where the
// section has a glow, gone after leave, move and destruction.
#include "SkinnedControls.h"
#include "skin/controls/sButton.h"
#include "skin/controls/sButtons.h"
#include "skin/controls/sCheckBox.h"
#include "skin/controls/sEdit.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/engine/data/sSkinManager.h"
#include "tests/support/GdiObjects.h"
#include "ui/Application.h"
#include "ui/ImgList.h"

namespace skin {
namespace {

TUpdateLayeredWindow NoLayeredWindows() { return nullptr; }

class SkinnedPushButtonTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        // Pressing and hovering change the face at once here; fades have tests of their own.
        manager->AnimEffects.Buttons.Events = 0;
        button = new TsButton(form.get());
        button->SetParent(form.get());
        button->SetBounds(10, 10, 100, 30);
        button->SetCaption("Apply");
        ShowForm();
    }
    void TearDown() override
    {
        ClearGlows(true);
        GlowLayeredEntry = UpdateLayeredWindowEntry;
        SkinnedFormTest::TearDown();
    }
    void MouseAt(HWND wnd, UINT msg, int x, int y, WPARAM keys = 0)
    {
        SendMessageW(wnd, msg, keys, MAKELPARAM(x, y));
        PaintNow();
    }
    COLORREF Middle(tw::TBitmap* cache) { return test::CachePixel(cache, cache->Width() / 2, 2 + cache->Height() / 4); }
    TsButton* button = nullptr;
};

TEST_F(SkinnedPushButtonTest, StatesFromTheMouseAndClicks)
{
    EXPECT_EQ(button->SkinData.SkinSection(), "BUTTON");
    tw::TBitmap* cache = button->SkinData.CacheBmp();
    ASSERT_EQ(cache->Width(), 100);
    const COLORREF normal = Middle(cache);
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    EXPECT_EQ(button->CurrentState(), 1);
    const COLORREF hot = Middle(cache);
    EXPECT_NE(hot, normal);
    int clicks = 0;
    button->OnClick = [&](tw::TObject*) { ++clicks; };
    MouseAt(button->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    EXPECT_EQ(button->CurrentState(), 2);
    MouseAt(button->Handle(), WM_LBUTTONUP, 20, 10);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->CurrentState(), 1);
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(button->CurrentState(), 0);
    EXPECT_EQ(Middle(cache), normal);
}

TEST_F(SkinnedPushButtonTest, StaysOwnerDrawnAsDefaultButtonAndWithoutSkin)
{
    button->SetDefault(true);
    EXPECT_EQ(GetWindowLongW(button->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    SkinOff();
    EXPECT_FALSE(button->SkinData.Skinned());
    // The plain face is drawn without a cache; the button still clicks.
    int clicks = 0;
    button->OnClick = [&](tw::TObject*) { ++clicks; };
    MouseAt(button->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    MouseAt(button->Handle(), WM_LBUTTONUP, 20, 10);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(button->SkinData.CacheBmp()->Width(), 0);
    SkinOn();
    EXPECT_EQ(button->SkinData.CacheBmp()->Width(), 100);
}

TEST_F(SkinnedPushButtonTest, PressedFaceFadesWhereTheSkinAsks)
{
    manager->AnimEffects.Buttons.Events = (1u << aeMouseDown) | (1u << aeMouseUp);
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    EXPECT_FALSE(button->Fading());
    MouseAt(button->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    EXPECT_TRUE(button->Fading());
    EXPECT_EQ(button->CurrentState(), 2);
    const DWORD start = GetTickCount();
    while (button->Fading() && GetTickCount() - start < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        tw::Application->ProcessMessages();
    }
    EXPECT_FALSE(button->Fading());
    MouseAt(button->Handle(), WM_LBUTTONUP, 20, 10);
    EXPECT_EQ(button->CurrentState(), 1);
}

TEST_F(SkinnedPushButtonTest, PicturesFromImageListAndBitmap)
{
    auto* bit = new TsBitBtn(form.get());
    bit->SetParent(form.get());
    bit->SetBounds(10, 60, 44, 26);
    tw::TImageList images(form.get());
    images.SetSize(16, 16);
    tw::TBitmap picture(16, 16, tw::pf24bit);
    picture.Canvas().Brush().SetColor(tw::TColor(0x0000FF));   // red
    picture.Canvas().FillRect(TRect(0, 0, 16, 16));
    SetPixel(picture.Canvas().Handle(), 0, 15, RGB(0, 0, 0));    // the key colour corner
    images.Add(picture);
    bit->SetImages(&images);
    bit->SetImageIndex(0);
    PaintNow();
    // No caption: the picture sits in the middle of the face.
    const TRect g = bit->GlyphRect();
    EXPECT_EQ(g.Width(), 16);
    EXPECT_EQ(g.Left, (44 - 16) / 2);
    EXPECT_EQ(test::CachePixel(bit->SkinData.CacheBmp(), g.Left + 8, g.Top + 8), RGB(255, 0, 0));
    // A bitmap instead: the new picture is painted at once.
    tw::TBitmap blue(16, 16, tw::pf24bit);
    blue.Canvas().Brush().SetColor(tw::TColor(0xFF0000));
    blue.Canvas().FillRect(TRect(0, 0, 16, 16));
    SetPixel(blue.Canvas().Handle(), 0, 15, RGB(0, 0, 0));   // the key colour
    bit->SetImages(nullptr);
    bit->SetGlyph(blue);
    PaintNow();
    const TRect g2 = bit->GlyphRect();
    EXPECT_EQ(test::CachePixel(bit->SkinData.CacheBmp(), g2.Left + 8, g2.Top + 8), RGB(0, 0, 255));
}

TEST_F(SkinnedPushButtonTest, HoverGlowComesAndGoes)
{
    ASSERT_GE(manager->gd[size_t(button->SkinData.SkinIndex)].GlowCount, 1);
    ASSERT_TRUE(manager->AllowGlowing());
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    const int id = button->SkinData.GlowID;
    ASSERT_GE(id, 0);
    HWND halo = GlowWindow(id);
    ASSERT_TRUE(halo);
    EXPECT_TRUE(GetWindowLongW(halo, GWL_EXSTYLE) & WS_EX_LAYERED);
    // The halo reaches around the button.
    RECT hr{}, br{};
    GetWindowRect(halo, &hr);
    GetWindowRect(button->Handle(), &br);
    EXPECT_LT(hr.left, br.left);
    EXPECT_GT(hr.right, br.right);
    // Pressed: no halo; released over the button: back.
    MouseAt(button->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    EXPECT_EQ(button->SkinData.GlowID, -1);
    MouseAt(button->Handle(), WM_LBUTTONUP, 20, 10);
    EXPECT_GE(button->SkinData.GlowID, 0);
    // Leaving takes it away.
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(button->SkinData.GlowID, -1);
    EXPECT_FALSE(GlowWindow(id));
    // Moving a hot button takes it away too.
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    ASSERT_GE(button->SkinData.GlowID, 0);
    button->SetLeft(30);
    EXPECT_EQ(button->SkinData.GlowID, -1);
    // And so does its end.
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    const int last = button->SkinData.GlowID;
    ASSERT_GE(last, 0);
    delete button;
    EXPECT_FALSE(GlowWindow(last));
}

TEST_F(SkinnedPushButtonTest, SpeedButtonsGlowToo)
{
    auto* speed = new TsSpeedButton(form.get());
    speed->SetParent(form.get());
    speed->SetBounds(10, 60, 60, 30);
    PaintNow();
    MouseAt(form->Handle(), WM_MOUSEMOVE, 30, 75);
    ASSERT_EQ(speed->CurrentState(), 1);
    const int id = speed->SkinData.GlowID;
    ASSERT_GE(id, 0);
    // Around the button's place on the screen.
    RECT hr{};
    GetWindowRect(GlowWindow(id), &hr);
    const tw::TPoint origin = speed->ClientOrigin();
    EXPECT_LT(hr.left, origin.X);
    EXPECT_GT(hr.bottom, origin.Y + 30);
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(speed->SkinData.GlowID, -1);
    EXPECT_FALSE(GlowWindow(id));
}

TEST_F(SkinnedPushButtonTest, OtherControlsGlowThroughTheCommonHandler)
{
    // A check box on a section with a glow: the common handler shows the
    // halo on enter and clears every halo on leave.
    auto* check = new TsCheckBox(form.get());
    check->SetParent(form.get());
    check->SetBounds(10, 60, 120, 24);
    check->SkinData.SetSkinSection("BUTTON");
    PaintNow();
    MouseAt(check->Handle(), WM_MOUSEMOVE, 5, 5);
    const int id = check->SkinData.GlowID;
    ASSERT_GE(id, 0);
    EXPECT_TRUE(GlowWindow(id));
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(check->SkinData.GlowID, -1);
    EXPECT_FALSE(GlowWindow(id));
    // Hidden while hot: the halo goes with it.
    MouseAt(check->Handle(), WM_MOUSEMOVE, 5, 5);
    ASSERT_GE(check->SkinData.GlowID, 0);
    check->SetVisible(false);
    EXPECT_EQ(check->SkinData.GlowID, -1);
}

TEST_F(SkinnedPushButtonTest, NoGlowWithoutAGlowSectionOrLayeredWindows)
{
    auto* edit = new TsEdit(form.get());
    edit->SetParent(form.get());
    edit->SetBounds(10, 60, 100, 24);
    PaintNow();
    ASSERT_EQ(manager->gd[size_t(edit->SkinData.SkinIndex)].GlowCount, 0);
    SendMessageW(edit->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_TRUE(edit->SkinData.MouseAbove);
    EXPECT_EQ(edit->SkinData.GlowID, -1);

    GlowLayeredEntry = NoLayeredWindows;
    EXPECT_FALSE(manager->AllowGlowing());
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    EXPECT_EQ(button->CurrentState(), 1);
    EXPECT_EQ(button->SkinData.GlowID, -1);
    // Stored as set: the platform decides only the answer.
    GlowLayeredEntry = UpdateLayeredWindowEntry;
    manager->SetAllowGlowing(false);
    EXPECT_FALSE(manager->AllowGlowing());
}

TEST_F(SkinnedPushButtonTest, HoveringGivesBackWhatItTakes)
{
    const auto settle = [] {
        // Halos are released after the message that hid them.
        for (int i = 0; i < 5; ++i) tw::Application->ProcessMessages();
    };
    const auto hoverOnce = [&] {
        MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
        MouseAt(button->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
        MouseAt(button->Handle(), WM_LBUTTONUP, 20, 10);
        MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
        settle();
    };
    hoverOnce();
    const DWORD before = tw::test::GdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 30; ++i) hoverOnce();
    EXPECT_LE(tw::test::GdiObjects(), before);
}

TEST_F(SkinnedPushButtonTest, ASkinChangeClearsTheGlows)
{
    MouseAt(button->Handle(), WM_MOUSEMOVE, 20, 10);
    const int id = button->SkinData.GlowID;
    ASSERT_GE(id, 0);
    manager->SetActive(false);
    EXPECT_FALSE(GlowWindow(id));
}

} // namespace
} // namespace skin
