// The skinned scroll bar and track bar: where the parts lie, hot and pressed
// parts from real mouse messages, the values and scroll codes that clicks
// and drags give, and a new picture when the value moves.
#include <vector>

#include "ControlWindows.h"
#include "SkinnedControls.h"
#include "tests/support/GdiObjects.h"
#include "skin/controls/sScrollBar.h"
#include "skin/controls/sTrackBar.h"
#include "ui/Application.h"

namespace skin {
namespace {

TEST(ScrollGeometryTest, PartsAlongTheBar)
{
    // 100 x 20, range 0..90 with a page of 10: buttons 20 long, track 60,
    // thumb 60 * 10 / 100 = 6, made at least 8.
    TsScrollGeometry g = ScrollGeometry(100, 20, false, 0, 90, 10, 0);
    EXPECT_EQ(g.LineMin, TRect(0, 0, 20, 20));
    EXPECT_EQ(g.LineMax, TRect(80, 0, 100, 20));
    EXPECT_EQ(g.Thumb, TRect(20, 0, 28, 20));
    g = ScrollGeometry(100, 20, false, 0, 90, 10, 90);
    EXPECT_EQ(g.Thumb, TRect(72, 0, 80, 20));
    EXPECT_EQ(g.PartAt(TPoint(50, 5)), spPageMin);
    EXPECT_EQ(g.PartAt(TPoint(75, 5)), spThumb);
    EXPECT_EQ(g.PartAt(TPoint(99, 19)), spLineMax);
    EXPECT_EQ(g.PartAt(TPoint(100, 5)), spNone);
    // The thumb's leading edge back to a position, limited to the range.
    EXPECT_EQ(g.PositionAt(20), 0);
    EXPECT_EQ(g.PositionAt(46), 45);
    EXPECT_EQ(g.PositionAt(500), 90);
    // Vertical, no page: a square thumb; an empty range shows none.
    g = ScrollGeometry(16, 200, true, 0, 100, 0, 50);
    EXPECT_EQ(g.Thumb, TRect(0, 92, 16, 108));
    g = ScrollGeometry(16, 200, true, 5, 5, 0, 5);
    EXPECT_TRUE(g.Thumb.IsEmpty());
    EXPECT_EQ(g.PartAt(TPoint(8, 100)), spNone);
    // Too short for both buttons at full size: each takes half.
    g = ScrollGeometry(30, 20, false, 0, 10, 0, 0);
    EXPECT_EQ(g.LineMin, TRect(0, 0, 15, 20));
    EXPECT_TRUE(g.Thumb.IsEmpty());
}

class SkinnedBarTest : public test::ControlWindows {
protected:
    void SetUp() override
    {
        ControlWindows::SetUp();
        bar = new TsScrollBar(form.get());
        bar->SetParent(form.get());
        bar->SetBounds(10, 10, 200, 18);
        bar->SetParams(0, 0, 1000);
        bar->SetSmallChange(10);
        bar->SetLargeChange(100);
        bar->OnScroll = [this](tw::TObject*, tw::TScrollCode code, int& pos) {
            codes.push_back(code);
            positions.push_back(pos);
        };
        track = new TsTrackBar(form.get());
        track->SetParent(form.get());
        track->SetBounds(10, 60, 200, 40);
        track->SetMax(100);
        ShowAll();
    }
    void Mouse(tw::TWinControl* c, UINT msg, int x, int y, WPARAM keys = 0)
    {
        SendMessageW(c->Handle(), msg, keys, MAKELPARAM(x, y));
        PaintNow(c);
    }
    TsScrollBar* bar = nullptr;
    TsTrackBar* track = nullptr;
    std::vector<tw::TScrollCode> codes;
    std::vector<int> positions;
};

TEST_F(SkinnedBarTest, ButtonsAndPagesStepTheValue)
{
    EXPECT_EQ(bar->SkinData.SkinSection(), "SCROLLBAR1H");
    ASSERT_TRUE(bar->SkinData.Skinned());
    Mouse(bar, WM_MOUSEMOVE, 195, 9);
    EXPECT_EQ(bar->HotPart(), spLineMax);
    Mouse(bar, WM_LBUTTONDOWN, 195, 9, MK_LBUTTON);
    EXPECT_EQ(bar->PressedPart(), spLineMax);
    EXPECT_EQ(bar->Position(), 10);
    Mouse(bar, WM_LBUTTONUP, 195, 9);
    EXPECT_EQ(bar->PressedPart(), spNone);
    EXPECT_EQ(bar->HotPart(), spLineMax);
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[0], tw::scLineDown);
    EXPECT_EQ(codes[1], tw::scEndScroll);
    // A click on the track beyond the thumb is a page.
    Mouse(bar, WM_LBUTTONDOWN, 150, 9, MK_LBUTTON);
    Mouse(bar, WM_LBUTTONUP, 150, 9);
    EXPECT_EQ(bar->Position(), 110);
    Mouse(bar, WM_LBUTTONDOWN, 5, 9, MK_LBUTTON);
    Mouse(bar, WM_LBUTTONUP, 5, 9);
    EXPECT_EQ(bar->Position(), 100);
    // Gone from the bar: nothing hot.
    SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(300, 250));
    EXPECT_EQ(bar->HotPart(), spNone);
}

TEST_F(SkinnedBarTest, DraggingTheThumbTracksAndEndsAtTheValue)
{
    const TRect thumb = bar->Geometry().Thumb;
    ASSERT_FALSE(thumb.IsEmpty());
    const int y = 9, x = thumb.Left + 2;
    Mouse(bar, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    EXPECT_EQ(bar->PressedPart(), spThumb);
    Mouse(bar, WM_MOUSEMOVE, x + 40, y, MK_LBUTTON);
    ASSERT_FALSE(codes.empty());
    EXPECT_EQ(codes.back(), tw::scTrack);
    const int tracked = positions.back();
    EXPECT_GT(tracked, 0);
    EXPECT_EQ(bar->Position(), tracked);
    // Far beyond the end: the last value.
    Mouse(bar, WM_MOUSEMOVE, x + 1000, y, MK_LBUTTON);
    Mouse(bar, WM_LBUTTONUP, x + 1000, y);
    EXPECT_EQ(bar->Position(), 1000);
    EXPECT_EQ(bar->Geometry().Thumb.Right, 200 - 18);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], tw::scPosition);
    EXPECT_EQ(codes.back(), tw::scEndScroll);
}

TEST_F(SkinnedBarTest, ANewValuePaintsANewPicture)
{
    tw::TBitmap* cache = bar->SkinData.CacheBmp();
    ASSERT_EQ(cache->Width(), 200);
    test::MarkCache(cache, 100, 1);
    PaintNow(bar);
    EXPECT_TRUE(test::CacheMarked(cache, 100, 1));
    bar->SetPosition(500);
    PaintNow(bar);
    EXPECT_FALSE(test::CacheMarked(cache, 100, 1));
    // A disabled bar takes no clicks.
    bar->SetEnabled(false);
    Mouse(bar, WM_LBUTTONDOWN, 195, 9, MK_LBUTTON);
    Mouse(bar, WM_LBUTTONUP, 195, 9);
    EXPECT_EQ(bar->Position(), 500);
}

TEST_F(SkinnedBarTest, TrackBarThumbHotPressedAndValue)
{
    EXPECT_EQ(track->SkinData.SkinSection(), "TRACKBAR");
    ASSERT_TRUE(track->SkinData.Skinned());
    const TRect thumb = track->ThumbRect();
    ASSERT_FALSE(thumb.IsEmpty());
    const int cx = (thumb.Left + thumb.Right) / 2, cy = (thumb.Top + thumb.Bottom) / 2;
    Mouse(track, WM_MOUSEMOVE, cx, cy);
    EXPECT_EQ(track->ThumbState(), 1);
    Mouse(track, WM_MOUSEMOVE, thumb.Right + 40, cy);
    EXPECT_EQ(track->ThumbState(), 0);
    Mouse(track, WM_MOUSEMOVE, cx, cy);
    Mouse(track, WM_LBUTTONDOWN, cx, cy, MK_LBUTTON);
    EXPECT_EQ(track->ThumbState(), 2);
    Mouse(track, WM_LBUTTONUP, cx, cy);
    EXPECT_NE(track->ThumbState(), 2);
    // The value moves the thumb and the picture.
    int changes = 0;
    track->OnChange = [&](tw::TObject*) { ++changes; };
    tw::TBitmap* cache = track->SkinData.CacheBmp();
    ASSERT_EQ(cache->Width(), 200);
    test::MarkCache(cache, 1, 1);
    track->SetPosition(60);
    PaintNow(track);
    EXPECT_EQ(changes, 1);
    EXPECT_GT(track->ThumbRect().Left, thumb.Left);
    EXPECT_FALSE(test::CacheMarked(cache, 1, 1));
    // The keyboard stays the system's.
    SendMessageW(track->Handle(), WM_KEYDOWN, VK_RIGHT, 0);
    SendMessageW(track->Handle(), WM_KEYUP, VK_RIGHT, 0);
    EXPECT_EQ(track->Position(), 61);
}

TEST_F(SkinnedBarTest, VerticalTrackBarAndNoGdiLeftBehind)
{
    auto* volume = new TsTrackBar(form.get());
    volume->SetParent(form.get());
    volume->SetOrientation(tw::trVertical);
    volume->SetBounds(300, 10, 30, 120);
    volume->SetMax(100);
    PaintNow(volume);
    const TRect channel = volume->ChannelRect();
    EXPECT_GT(channel.Height(), channel.Width());
    const TRect top = volume->ThumbRect();
    volume->SetPosition(100);
    PaintNow(volume);
    EXPECT_GT(volume->ThumbRect().Top, top.Top);
    EXPECT_EQ(volume->SkinData.CacheBmp()->Height(), 120);

    // Moving values, hovering and skin switches give back what they take.
    const auto round = [&](int i) {
        bar->SetPosition(i * 37 % 1000);
        track->SetPosition(i % 100);
        Mouse(bar, WM_MOUSEMOVE, 195, 9);
        Mouse(bar, WM_MOUSEMOVE, 100, 9);
        Mouse(track, WM_MOUSEMOVE, 1, 1);
        PaintNow(bar);
        PaintNow(track);
    };
    round(0);
    SwitchSkin(false);
    SwitchSkin(true);
    round(1);
    const DWORD before = tw::test::GdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 2; i < 40; ++i) {
        round(i);
        if (i % 10 == 0) {
            SwitchSkin(false);
            SwitchSkin(true);
        }
    }
    EXPECT_LE(tw::test::GdiObjects(), before);
}

} // namespace
} // namespace skin
