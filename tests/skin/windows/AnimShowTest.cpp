// Animated showing: the number of frames a duration gives, the overlay put
// over the control and taken away again, and a control tree painted into a
// picture with each child at its place.
#include <gtest/gtest.h>

#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/link/sVclUtils.h"
#include "ui/Application.h"

namespace skin {
namespace {

using test::TSkinnedPanel;

// Counts the repaint requests a fade window gets, one per frame shown.
class TFrameCounter : public tw::TCustomControl {
public:
    using tw::TCustomControl::TCustomControl;
    int Frames = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_SKINREFRESH) {
            ++Frames;
            return;
        }
        tw::TCustomControl::WndProc(m);
    }
};

// Records where the DC's origin stood when it was asked to print itself.
class TPrintedPanel : public TSkinnedPanel {
public:
    using TSkinnedPanel::TSkinnedPanel;
    std::vector<POINT> Origins;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_PRINT) {
            POINT p;
            GetViewportOrgEx(reinterpret_cast<HDC>(m.WParam), &p);
            Origins.push_back(p);
            EXPECT_FALSE(m.LParam & PRF_CHILDREN);
        }
        TSkinnedPanel::WndProc(m);
    }
};

class AnimShowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        form = new tw::TForm(tw::Application);
        form->SetBounds(40, 40, 240, 160);
        counter = new TFrameCounter(form);
        counter->SetParent(form);
        counter->SetBounds(0, 0, 4, 4);
        panel = new TPrintedPanel(form);
        panel->SetParent(form);
        panel->SetBounds(20, 10, 120, 80);
        form->Show();
        FadeWindow = counter->Handle();
    }
    void TearDown() override
    {
        FadeWindow = nullptr;
        delete form;
    }
    tw::TForm* form = nullptr;
    TFrameCounter* counter = nullptr;
    TPrintedPanel* panel = nullptr;
};

TEST_F(AnimShowTest, FramesFollowTheDurationAndEverythingGoesAfterwards)
{
    AnimShowControl(panel, 24); // 3 frames: weights 255, 170, 85, 0, then the picture
    EXPECT_EQ(counter->Frames, 5);
    EXPECT_EQ(AnimationRunning, 0);
    EXPECT_EQ(AnimPaintDC, nullptr);
    EXPECT_EQ(panel->ComponentCount(), 0); // the overlay is gone
    EXPECT_EQ(panel->Origins.size(), 1u);

    // Below 8 ms: the new picture at once. The high word is not a time.
    counter->Frames = 0;
    AnimShowControl(panel, 0x10007);
    EXPECT_EQ(counter->Frames, 1);
}

TEST_F(AnimShowTest, OverlayCoversTheControlUntilTheAnimationEnds)
{
    ShowOutputWindow(panel);
    ASSERT_EQ(panel->ComponentCount(), 1);
    auto* overlay = dynamic_cast<TOutputWindow*>(panel->Components(0));
    ASSERT_NE(overlay, nullptr);
    HWND ov = overlay->Handle();
    EXPECT_TRUE(IsWindowVisible(ov));
    EXPECT_EQ(GetParent(ov), form->Handle());
    EXPECT_EQ(GetWindow(ov, GW_HWNDNEXT), panel->Handle()); // just above it
    EXPECT_EQ(overlay->BoundsRect(), panel->BoundsRect());
    // A second call keeps the first capture and overlay.
    ShowOutputWindow(panel);
    EXPECT_EQ(panel->ComponentCount(), 1);

    AnimShowControl(panel, 8);
    EXPECT_FALSE(IsWindow(ov));
    EXPECT_EQ(counter->Frames, 3);
}

TEST_F(AnimShowTest, AFormGetsAPopupOverlayOverItsWholeWindow)
{
    ShowOutputWindow(form);
    auto* overlay = dynamic_cast<TOutputWindow*>(form->Components(form->ComponentCount() - 1));
    ASSERT_NE(overlay, nullptr);
    HWND ov = overlay->Handle();
    EXPECT_TRUE(GetWindowLongPtrW(ov, GWL_STYLE) & WS_POPUP);
    RECT a, b;
    GetWindowRect(ov, &a);
    GetWindowRect(form->Handle(), &b);
    EXPECT_TRUE(EqualRect(&a, &b));
    AnimShowControl(form, 0);
    EXPECT_FALSE(IsWindow(ov));
}

TEST_F(AnimShowTest, TreeIsPaintedChildByChildAtItsPlace)
{
    auto* inner = new TPrintedPanel(form);
    inner->SetParent(panel);
    inner->SetBounds(5, 7, 30, 20);
    auto* hidden = new TPrintedPanel(form);
    hidden->SetParent(panel);
    hidden->SetBounds(50, 7, 10, 10);
    hidden->SetVisible(false);
    panel->Handle();
    tw::TBitmap bmp(200, 150, tw::pf24bit);
    PaintControlTree(bmp, panel, 10, 20, nullptr);
    ASSERT_EQ(panel->Origins.size(), 1u);
    EXPECT_EQ(panel->Origins[0].x, 10);
    EXPECT_EQ(panel->Origins[0].y, 20);
    const TRect client = GetClientRectInWindow(panel->Handle());
    ASSERT_EQ(inner->Origins.size(), 1u);
    EXPECT_EQ(inner->Origins[0].x, 10 + client.Left + 5);
    EXPECT_EQ(inner->Origins[0].y, 20 + client.Top + 7);
    EXPECT_TRUE(hidden->Origins.empty());

    // An invisible control leaves its parent's colour in its place.
    panel->Answer = 0x00FF00;
    tw::TBitmap gap(40, 40, tw::pf24bit);
    PaintControlTree(gap, hidden, 3, 4, nullptr);
    const uint8_t* px = gap.ScanLine(5) + 5 * 3;
    EXPECT_EQ(px[0], 0x00);
    EXPECT_EQ(px[1], 0xFF);
    EXPECT_NE(gap.ScanLine(2)[2 * 3], 0x00); // outside its place nothing changed
}

} // namespace
} // namespace skin

namespace skin {
namespace {

// A graphic control that fills itself with one colour.
class TFilled : public tw::TGraphicControl {
public:
    TFilled(tw::TComponent* owner, COLORREF c) : tw::TGraphicControl(owner), colour(c) {}
    COLORREF colour;
    int Paints = 0;

protected:
    void Paint() override
    {
        ++Paints;
        Canvas().Brush().SetColor(static_cast<tw::TColor>(colour));
        Canvas().FillRect(ClientRect());
    }
};

TEST_F(AnimShowTest, GraphicChildrenArePaintedThroughABufferAndKeyedOnesLeftOut)
{
    auto* green = new TFilled(form, RGB(0, 200, 0));
    green->SetParent(panel);
    green->SetBounds(2, 3, 10, 6);
    auto* keyed = new TFilled(form, RGB(255, 0, 255));
    keyed->SetParent(panel);
    keyed->SetBounds(20, 3, 10, 6);
    auto* hidden = new TFilled(form, RGB(0, 0, 200));
    hidden->SetParent(panel);
    hidden->SetBounds(40, 3, 10, 6);
    hidden->SetVisible(false);
    auto* empty = new TFilled(form, RGB(0, 0, 200));
    empty->SetParent(panel);
    empty->SetBounds(60, 3, 0, 6);

    tw::TBitmap target(200, 100, tw::pf24bit);
    PaintGraphicChildren(target.Canvas().Handle(), panel, TPoint(5, 1));
    HDC dc = target.Canvas().Handle();
    EXPECT_EQ(GetPixel(dc, 2 + 5, 3 + 1), RGB(0, 200, 0));
    EXPECT_EQ(GetPixel(dc, 11 + 5, 8 + 1), RGB(0, 200, 0));
    EXPECT_EQ(GetPixel(dc, 12 + 5, 8 + 1), RGB(255, 255, 255)); // beside it: untouched
    EXPECT_EQ(GetPixel(dc, 20 + 5, 3 + 1), RGB(255, 255, 255)); // keyed: left out
    EXPECT_EQ(keyed->Paints, 1);
    EXPECT_EQ(hidden->Paints + empty->Paints, 0);

    // Children outside the DC's clip are not painted at all.
    green->Paints = 0;
    IntersectClipRect(dc, 100, 50, 120, 60);
    PaintGraphicChildren(dc, panel, TPoint(0, 0));
    EXPECT_EQ(green->Paints, 0);
    SelectClipRgn(dc, nullptr);
}

} // namespace
} // namespace skin
