// Skinned glyph and speed buttons: normal, hot and pressed from real mouse
// messages, each state painted once into the cache, the glyph drawing's view
// of the buttons, and the plain buttons while the skin is off.
#include "SkinnedControls.h"
#include "skin/controls/sButtons.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {
namespace {

class SkinnedButtonTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        bit = new TsBitBtn(form.get());
        bit->SetParent(form.get());
        bit->SetBounds(10, 10, 100, 30);
        bit->SetCaption("Start");
        speed = new TsSpeedButton(form.get());
        speed->SetParent(form.get());
        speed->SetBounds(10, 60, 60, 30);
        speed->SetCaption("Go");
        other = new TsSpeedButton(form.get());
        other->SetParent(form.get());
        other->SetBounds(100, 60, 60, 30);
        ShowForm();
    }
    void MouseAt(HWND wnd, UINT msg, int x, int y, WPARAM keys = 0)
    {
        SendMessageW(wnd, msg, keys, MAKELPARAM(x, y));
        PaintNow();
    }
    COLORREF Middle(tw::TBitmap* cache) { return test::CachePixel(cache, cache->Width() / 2, 2 + cache->Height() / 4); }
    TsBitBtn* bit = nullptr;
    TsSpeedButton* speed = nullptr;
    TsSpeedButton* other = nullptr;
};

TEST_F(SkinnedButtonTest, SectionsAndFirstPaint)
{
    EXPECT_EQ(bit->SkinData.SkinSection(), "BUTTON");
    EXPECT_EQ(speed->SkinData.SkinSection(), "SPEEDBUTTON");
    EXPECT_TRUE(bit->SkinData.Skinned());
    EXPECT_EQ(bit->SkinData.CacheBmp()->Width(), 100);
    EXPECT_EQ(speed->SkinData.CacheBmp()->Width(), 60);
    EXPECT_EQ(bit->CurrentState(), 0);
    EXPECT_EQ(speed->CurrentState(), 0);
}

TEST_F(SkinnedButtonTest, SpeedButtonHotAndPressedFromTheMouse)
{
    HWND wnd = form->Handle();
    tw::TBitmap* cache = speed->SkinData.CacheBmp();
    const COLORREF normal = Middle(cache);
    MouseAt(wnd, WM_MOUSEMOVE, 30, 75);
    EXPECT_EQ(speed->CurrentState(), 1);
    EXPECT_TRUE(speed->SkinData.MouseAbove);
    const COLORREF hot = Middle(cache);
    EXPECT_NE(hot, normal);   // the skin's hot colour differs from the normal one
    // The same state is not painted again.
    test::MarkCache(cache, 1, 1);
    MouseAt(wnd, WM_MOUSEMOVE, 31, 76);
    EXPECT_TRUE(test::CacheMarked(cache, 1, 1));
    int clicks = 0;
    speed->OnClick = [&](tw::TObject*) { ++clicks; };
    MouseAt(wnd, WM_LBUTTONDOWN, 30, 75, MK_LBUTTON);
    EXPECT_EQ(speed->CurrentState(), 2);
    MouseAt(wnd, WM_LBUTTONUP, 30, 75);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(speed->CurrentState(), 1);
    EXPECT_EQ(Middle(cache), hot);
    // Moving to the neighbour takes the hot state along.
    MouseAt(wnd, WM_MOUSEMOVE, 120, 75);
    EXPECT_EQ(speed->CurrentState(), 0);
    EXPECT_EQ(other->CurrentState(), 1);
    EXPECT_EQ(Middle(cache), normal);
}

TEST_F(SkinnedButtonTest, GlyphButtonHotAndPressedFromTheMouse)
{
    HWND wnd = bit->Handle();
    tw::TBitmap* cache = bit->SkinData.CacheBmp();
    const COLORREF normal = Middle(cache);
    MouseAt(wnd, WM_MOUSEMOVE, 20, 10);
    EXPECT_EQ(bit->CurrentState(), 1);
    EXPECT_NE(Middle(cache), normal);
    int clicks = 0;
    bit->OnClick = [&](tw::TObject*) { ++clicks; };
    MouseAt(wnd, WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    EXPECT_EQ(bit->CurrentState(), 2);
    EXPECT_TRUE(bit->GlyphLink().Down());
    MouseAt(wnd, WM_LBUTTONUP, 20, 10);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(bit->CurrentState(), 1);
    // The mouse went elsewhere.
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_EQ(bit->CurrentState(), 0);
    EXPECT_EQ(Middle(cache), normal);
    // The caption is part of the cached face: a new one paints it again.
    test::MarkCache(cache, 1, 1);
    PaintNow();
    EXPECT_TRUE(test::CacheMarked(cache, 1, 1));
    bit->SetCaption("Stop");
    PaintNow();
    EXPECT_FALSE(test::CacheMarked(cache, 1, 1));
}

TEST_F(SkinnedButtonTest, HoverFadesWhereTheSkinAsksAndEnds)
{
    ASSERT_TRUE(manager->gd[size_t(bit->SkinData.SkinIndex)].FadingEnabled);
    manager->AnimEffects.Buttons.Events = (1u << aeMouseEnter) | (1u << aeMouseLeave);
    MouseAt(bit->Handle(), WM_MOUSEMOVE, 20, 10);
    EXPECT_TRUE(bit->Fading());
    // The cache already shows the new state the frames blend towards.
    EXPECT_EQ(bit->SkinData.CacheBmp()->Width(), 100);
    const DWORD start = GetTickCount();
    while (bit->Fading() && GetTickCount() - start < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        tw::Application->ProcessMessages();
    }
    EXPECT_FALSE(bit->Fading());
    EXPECT_EQ(bit->CurrentState(), 1);
    // Without the events the state changes at once.
    manager->AnimEffects.Buttons.Events = 0;
    MouseAt(form->Handle(), WM_MOUSEMOVE, 300, 200);
    EXPECT_FALSE(bit->Fading());
    EXPECT_EQ(bit->CurrentState(), 0);
}

TEST_F(SkinnedButtonTest, PressedFacesFadeWhereTheSkinAsks)
{
    manager->AnimEffects.Buttons.Events = (1u << aeMouseDown) | (1u << aeMouseUp);
    HWND wnd = form->Handle();
    MouseAt(wnd, WM_MOUSEMOVE, 30, 75);
    EXPECT_FALSE(speed->Fading());
    MouseAt(wnd, WM_LBUTTONDOWN, 30, 75, MK_LBUTTON);
    EXPECT_TRUE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 2);
    MouseAt(wnd, WM_LBUTTONUP, 30, 75);
    EXPECT_TRUE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 1);
    // The glyph button fades into its pushed face the same way.
    MouseAt(bit->Handle(), WM_MOUSEMOVE, 20, 10);
    MouseAt(bit->Handle(), WM_LBUTTONDOWN, 20, 10, MK_LBUTTON);
    EXPECT_TRUE(bit->Fading());
    EXPECT_EQ(bit->CurrentState(), 2);
    MouseAt(bit->Handle(), WM_LBUTTONUP, 20, 10);
    // Without the skin's fading the face changes at once.
    manager->gd[size_t(speed->SkinData.SkinIndex)].FadingEnabled = false;
    speed->Perform(SM_ALPHACMD, SkinWParam(AC_STOPANIMATION), 0);
    MouseAt(wnd, WM_MOUSEMOVE, 30, 75);
    MouseAt(wnd, WM_LBUTTONDOWN, 30, 75, MK_LBUTTON);
    EXPECT_FALSE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 2);
    MouseAt(wnd, WM_LBUTTONUP, 30, 75);
}

TEST_F(SkinnedButtonTest, GlyphGoesBesideTheCaption)
{
    bit->Glyph().SetSize(32, 16);   // two glyphs of 16 x 16
    bit->SetNumGlyphs(2);
    SendMessageW(bit->Handle(), SM_ALPHACMD, SkinWParam(AC_RESETCACHE), 0);
    PaintNow();
    TsGlyphButton& link = bit->GlyphLink();
    const TRect g = link.GlyphRect();
    EXPECT_EQ(g.Width(), 16);
    EXPECT_EQ(g.Height(), 16);
    EXPECT_EQ(g.Top, 7);
    EXPECT_GT(g.Left, 0);
    EXPECT_EQ(link.NumGlyphs(), 2);
    EXPECT_TRUE(link.Skinned());
    EXPECT_EQ(link.CacheBitmap(), bit->SkinData.CacheBmp());

    TRect glyph, text;
    LayoutButtonContent(TRect(0, 0, 100, 40), SIZE{16, 16}, SIZE{30, 12}, tw::blGlyphLeft, 4, glyph, text);
    EXPECT_EQ(glyph, TRect(25, 12, 41, 28));
    EXPECT_EQ(text.Left, 45);
    LayoutButtonContent(TRect(0, 0, 100, 40), SIZE{16, 16}, SIZE{30, 12}, tw::blGlyphTop, 4, glyph, text);
    EXPECT_EQ(glyph, TRect(42, 4, 58, 20));
    EXPECT_EQ(text.Top, 24);
    // No caption: the glyph alone is centred, no spacing.
    LayoutButtonContent(TRect(0, 0, 100, 40), SIZE{16, 16}, SIZE{0, 0}, tw::blGlyphRight, 4, glyph, text);
    EXPECT_EQ(glyph.Left, 42);
}

TEST_F(SkinnedButtonTest, PlainButtonsWhileTheSkinIsOff)
{
    SkinOff();
    EXPECT_FALSE(bit->SkinData.Skinned());
    EXPECT_FALSE(speed->SkinData.Skinned());
    EXPECT_EQ(bit->SkinData.CacheBmp()->Width(), 0);
    // The plain speed button still follows the mouse, the cache stays empty.
    MouseAt(form->Handle(), WM_MOUSEMOVE, 30, 75);
    MouseAt(form->Handle(), WM_LBUTTONDOWN, 30, 75, MK_LBUTTON);
    MouseAt(form->Handle(), WM_LBUTTONUP, 30, 75);
    EXPECT_EQ(speed->SkinData.CacheBmp()->Width(), 0);
    SkinOn();
    EXPECT_TRUE(bit->SkinData.Skinned());
    EXPECT_EQ(bit->SkinData.CacheBmp()->Width(), 100);
    EXPECT_EQ(speed->SkinData.CacheBmp()->Width(), 60);
}

} // namespace
} // namespace skin
