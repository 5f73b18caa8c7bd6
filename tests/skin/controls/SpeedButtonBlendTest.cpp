// Speed buttons have no window to fade on: they paint the blended frames of
// their animation timer themselves, from the old look to the new one. No
// fade at all starts while a skin is being loaded.
#include <algorithm>

#include "SkinnedControls.h"
#include "skin/controls/sButtons.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {
namespace {

class SpeedButtonBlendTest : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        speed = new TsSpeedButton(form.get());
        speed->SetParent(form.get());
        speed->SetBounds(10, 60, 60, 30);
        speed->SetCaption("Go");
        bit = new TsBitBtn(form.get());
        bit->SetParent(form.get());
        bit->SetBounds(10, 10, 100, 30);
        ShowForm();
        Section().FadingEnabled = true;
        Section().FadingIterations = 4;
        manager->AnimEffects.Buttons.Events = (1u << aeMouseEnter) | (1u << aeMouseLeave);
    }
    void TearDown() override
    {
        SkinLoading = false;
        SkinnedFormTest::TearDown();
    }
    TsGeneralData& Section() { return manager->gd[size_t(speed->SkinData.SkinIndex)]; }
    void MouseAt(HWND wnd, int x, int y)
    {
        SendMessageW(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        PaintNow();
    }
    static int Channel(COLORREF c, int shift) { return int((c >> shift) & 0xFF); }
    // Every channel of c lies between those of a and b (both included).
    static bool Between(COLORREF c, COLORREF a, COLORREF b)
    {
        for (int shift : {0, 8, 16}) {
            const int lo = std::min(Channel(a, shift), Channel(b, shift));
            const int hi = std::max(Channel(a, shift), Channel(b, shift));
            if (Channel(c, shift) < lo || Channel(c, shift) > hi) return false;
        }
        return true;
    }
    TsSpeedButton* speed = nullptr;
    TsBitBtn* bit = nullptr;
};

} // namespace

TEST_F(SpeedButtonBlendTest, HoverBlendsFromTheOldLookToTheNewOneAndEnds)
{
    tw::TBitmap* cache = speed->SkinData.CacheBmp();
    const int x = cache->Width() / 2, y = 2 + cache->Height() / 4;
    const COLORREF normal = test::CachePixel(cache, x, y);
    MouseAt(form->Handle(), 30, 75);
    ASSERT_TRUE(speed->Fading());
    const TsAnimTimer* anim = speed->Animation();
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->Steps.FrameCount, 4);
    // The old look is kept; the cache already holds the goal.
    ASSERT_TRUE(anim->Saved);
    EXPECT_EQ(test::CachePixel(anim->Saved.get(), x, y), normal);
    const COLORREF hot = test::CachePixel(cache, x, y);
    ASSERT_NE(hot, normal);

    // Every frame on the way lies between the two looks, and the button
    // shows it; then the timer stops itself.
    int frames = 0;
    const DWORD start = GetTickCount();
    while (speed->Fading() && GetTickCount() - start < 5000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        // One message at a time: on a busy machine several ticks can be due
        // at once, and a whole round of them would end the fade unseen.
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (anim->Frame) {
            const COLORREF f = test::CachePixel(anim->Frame.get(), x, y);
            EXPECT_TRUE(Between(f, normal, hot)) << std::hex << f;
            ++frames;
        }
    }
    EXPECT_FALSE(speed->Fading());
    EXPECT_GE(frames, 1);
    EXPECT_EQ(anim->Frame, nullptr);
    EXPECT_EQ(speed->CurrentState(), 1);
    EXPECT_EQ(test::CachePixel(cache, x, y), hot);
}

TEST_F(SpeedButtonBlendTest, WithoutTheSkinsFadingTheLookChangesAtOnce)
{
    Section().FadingEnabled = false;
    MouseAt(form->Handle(), 30, 75);
    EXPECT_FALSE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 1);
    // Nor without the manager's event.
    Section().FadingEnabled = true;
    manager->AnimEffects.Buttons.Events = 0;
    MouseAt(form->Handle(), 300, 200);
    EXPECT_FALSE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 0);
}

TEST_F(SpeedButtonBlendTest, NothingFadesWhileASkinIsLoading)
{
    manager->gd[size_t(bit->SkinData.SkinIndex)].FadingEnabled = true;
    SkinLoading = true;
    MouseAt(form->Handle(), 30, 75);
    EXPECT_FALSE(speed->Fading());
    EXPECT_EQ(speed->CurrentState(), 1);
    MouseAt(bit->Handle(), 20, 10);
    EXPECT_FALSE(bit->Fading());
    EXPECT_EQ(bit->CurrentState(), 1);
    SkinLoading = false;
    MouseAt(form->Handle(), 300, 200);
    MouseAt(form->Handle(), 30, 75);
    EXPECT_TRUE(speed->Fading());
}

} // namespace skin
