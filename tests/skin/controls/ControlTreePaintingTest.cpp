// Painting a control tree and a parent's graphic children into a picture:
// what an invisible control leaves in its place, what lies behind graphic
// children in the buffer, children painted out of the target's sight, the
// opaque client of a form with an extended-border window, and the
// provider's notification hook.
#include <windows.h>

#include "SkinnedControls.h"
#include "skin/controls/sPanel.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/BorderPainting.h"
#include "ui/StdCtrls.h"

namespace skin {
namespace {

using test::Fill;
using test::Pixel;

// A graphic child that paints one colour, and counts the special-look
// command it gets.
class TBlock : public tw::TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    COLORREF Colour = 0x00FF00;
    int Specials = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_SETSPECIAL) ++Specials;
        tw::TGraphicControl::WndProc(m);
    }

protected:
    void Paint() override
    {
        Canvas().Brush().SetColor(TColor(Colour));
        Canvas().FillRect({0, 0, Width(), Height()});
    }
};

// A provider stand-in with an extended-border window and no manager (its
// picture then starts at the window's top-left).
class TFakeProvider : public tw::TComponent, public TSkinnedFormLink {
public:
    using TComponent::TComponent;
    TsSkinManager* LinkManager() const override { return nullptr; }
    bool FormSkinned() const override { return true; }
    void SetSkinChangeLock(bool) override {}
    bool HasBorderWindow() const override { return true; }
    void UpdateFormRegion() override {}
    void UpdateBorderWindow(uint8_t) override {}
    void NotifyHook(tw::TMessage& m) override { Seen = m.Msg; }
    UINT Seen = 0;
};

class ControlTreePainting : public test::SkinnedFormTest {
protected:
    void SetUp() override
    {
        SkinnedFormTest::SetUp();
        panel = Add<TsPanel>(form.get(), 10, 10, 200, 120);
        // A section with a gradient: the panel has a picture to offer.
        panel->SkinData.SetSkinSection("BARTITLE");
        ShowForm();
    }
    COLORREF PanelAt(int x, int y)
    {
        TacBGInfo info;
        EXPECT_TRUE(GetBGInfo(info, panel, false));
        return COLORREF(PixelColor(info.Bmp, info.OffsetX + x, info.OffsetY + y));
    }
    TsPanel* panel = nullptr;
};

TEST_F(ControlTreePainting, InvisibleControlLeavesItsParentsPictureOrColour)
{
    auto* hidden = new tw::TPanel(form.get());
    hidden->SetParent(panel);
    hidden->SetBounds(30, 40, 50, 20);
    hidden->SetVisible(false);
    tw::TBitmap picture(60, 30, tw::pf24bit);
    Fill(picture, 0x010203);
    PaintControlTree(picture, hidden, 5, 5, nullptr);
    EXPECT_EQ(Pixel(picture, 5, 5), PanelAt(30, 40));
    EXPECT_EQ(Pixel(picture, 54, 24), PanelAt(79, 59));
    EXPECT_EQ(Pixel(picture, 4, 4), 0x010203u);

    // On a parent without a picture: its colour.
    auto* plain = new tw::TPanel(form.get());
    plain->SetParent(form.get());
    plain->SetBounds(220, 10, 100, 100);
    plain->SetColor(0x224466);
    auto* hidden2 = new tw::TPanel(form.get());
    hidden2->SetParent(plain);
    hidden2->SetBounds(5, 5, 20, 20);
    hidden2->SetVisible(false);
    Fill(picture, 0x010203);
    PaintControlTree(picture, hidden2, 0, 0, nullptr);
    EXPECT_EQ(Pixel(picture, 10, 10), 0x224466u);
}

TEST_F(ControlTreePainting, GraphicChildrenOverThePictureBehindThem)
{
    // A transparent label shows the panel's picture around its text, an
    // opaque one its own colour.
    auto* see = new tw::TLabel(form.get());
    see->SetParent(panel);
    see->SetAutoSize(false);
    see->SetTransparent(true);
    see->SetCaption("");
    see->SetBounds(20, 20, 40, 16);
    auto* solid = new tw::TLabel(form.get());
    solid->SetParent(panel);
    solid->SetAutoSize(false);
    solid->SetTransparent(false);
    solid->SetColor(0x3366CC);
    solid->SetCaption("");
    solid->SetBounds(80, 20, 40, 16);
    auto* block = new TBlock(form.get());
    block->SetParent(panel);
    block->SetBounds(140, 20, 20, 20);
    auto* hiddenKey = new TBlock(form.get());
    hiddenKey->Colour = RGB(255, 0, 255);
    hiddenKey->SetParent(panel);
    hiddenKey->SetBounds(140, 60, 20, 20);
    PaintNow();

    tw::TBitmap target(220, 140, tw::pf24bit);
    Fill(target, 0x010203);
    PaintGraphicChildren(target.Canvas().Handle(), panel, {3, 4});
    EXPECT_EQ(Pixel(target, 23 + 5, 24 + 5), PanelAt(25, 25));
    EXPECT_EQ(Pixel(target, 83 + 5, 24 + 5), 0x3366CCu);
    EXPECT_EQ(Pixel(target, 143 + 5, 24 + 5), 0x00FF00u);
    // A child that comes out in the key colour is left out.
    EXPECT_EQ(Pixel(target, 143 + 5, 64 + 5), 0x010203u);
    EXPECT_EQ(block->Specials, 0);

    // Out of the target's sight the child is told first.
    PaintGraphicChildren(target.Canvas().Handle(), panel, {100, 130});
    EXPECT_EQ(block->Specials, 1);
    tw::TBitmap small(60, 60, tw::pf24bit);
    // Nothing to paint into at all: the parent hears it instead.
    HRGN empty = CreateRectRgn(0, 0, 0, 0);
    SelectClipRgn(small.Canvas().Handle(), empty);
    DeleteObject(empty);
    PaintGraphicChildren(small.Canvas().Handle(), panel, {0, 0});
    EXPECT_EQ(block->Specials, 1);
    SelectClipRgn(small.Canvas().Handle(), nullptr);
}

TEST_F(ControlTreePainting, ExtendedBordersMakeTheClientOpaqueAndTheHookFindsTheProvider)
{
    auto* provider = new TFakeProvider(form.get());
    RECT wr{};
    GetWindowRect(form->Handle(), &wr);
    tw::TBitmap picture(wr.right - wr.left, wr.bottom - wr.top, tw::pf32bit);
    Fill(picture, 0);
    PaintControlTree(picture, form.get(), 0, 0, provider);
    GdiFlush();
    const TRect client = GetClientRectInWindow(form->Handle());
    const TPixelView v = picture.PixelView();
    EXPECT_EQ(v.Pixel(client.Left, client.Top)[3], 255);
    EXPECT_EQ(v.Pixel(client.Right - 1, client.Bottom - 1)[3], 255);
    if (client.Top > 0) EXPECT_NE(v.Pixel(client.Left, client.Top - 1)[3], 255);

    tw::TMessage m{WM_USER + 7, 0, 0, 0};
    EXPECT_EQ(NotifyProviderHook(form.get(), m), provider);
    EXPECT_EQ(provider->Seen, UINT(WM_USER + 7));
    EXPECT_EQ(NotifyProviderHook(nullptr, m), nullptr);
    tw::TForm bare(nullptr);
    EXPECT_EQ(NotifyProviderHook(&bare, m), nullptr);
}

} // namespace
} // namespace skin
