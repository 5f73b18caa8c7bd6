// A skinned form fading in when it is shown: the time by its kind, the
// picture and outline the fade takes from the form's provider, and the form
// as it was when the animation is off.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "SkinTestControls.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/SkinOptions.h"
#include "skin/engine/data/acSkinPack.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/SkinnedForms.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/ExtCtrls.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

struct TShot {
    int Calls = 0;
    bool Layered = false;
    int RegionKind = ERROR;
    RECT RegionBox{};
    SIZE PictureSize{};
    COLORREF Title = 0, Client = 0;
    bool FormVisibleStyle = true, FormLayered = true;
};

COLORREF PixelOf(const tw::TBitmap& bmp, int x, int y)
{
    return GetPixel(const_cast<tw::TBitmap&>(bmp).Canvas().Handle(), x, y);
}

// A panel that counts its drawing being switched off and on.
class TRedrawPanel : public tw::TPanel {
public:
    using tw::TPanel::TPanel;
    int Off = 0, On = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_SETREDRAW)
            ++(m.WParam ? On : Off);
        tw::TPanel::WndProc(m);
    }
};

class FormShowAnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        form = new tw::TForm(tw::Application);
        form->SetText("Fade");
        form->SetBounds(80, 60, 320, 220);
        provider = new TsSkinProvider(form);
        AnimationProbe = [this](const tw::TBitmap& picture, HWND window, bool layered) {
            ++shot.Calls;
            shot.Layered = layered;
            shot.PictureSize = {picture.Width(), picture.Height()};
            shot.Title = PixelOf(picture, picture.Width() / 2, 8);
            shot.Client = PixelOf(picture, picture.Width() / 2, picture.Height() / 2);
            HRGN rgn = CreateRectRgn(0, 0, 0, 0);
            // The form itself while the fade runs over it.
            shot.FormVisibleStyle = (GetWindowLongPtrW(form->Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
            shot.FormLayered = (GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
            shot.RegionKind = GetWindowRgn(window, rgn);
            GetRgnBox(rgn, &shot.RegionBox);
            DeleteObject(rgn);
        };
    }
    void TearDown() override
    {
        AnimationProbe = nullptr;
        delete form;
        DefaultManager = nullptr;
    }
    SIZE WindowSize() const
    {
        RECT r;
        GetWindowRect(form->Handle(), &r);
        return {r.right - r.left, r.bottom - r.top};
    }

    TsSkinManager manager;
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;   // owned by the form
    TShot shot;
};

TEST_F(FormShowAnimationTest, ShowTimeFollowsTheKindOfForm)
{
    manager.AnimEffects.FormShow.Time = 150;
    manager.AnimEffects.DialogShow.Time = 80;
    form->Handle();
    ASSERT_TRUE(provider->Skinned());
    EXPECT_EQ(provider->ShowAnimationTime(), 150u);   // sizeable
    form->SetBorderStyle(tw::bsSingle);
    EXPECT_EQ(provider->ShowAnimationTime(), 150u);
    form->SetBorderStyle(tw::bsDialog);
    EXPECT_EQ(provider->ShowAnimationTime(), 80u);
    form->SetBorderStyle(tw::bsToolWindow);
    EXPECT_EQ(provider->ShowAnimationTime(), 80u);
    manager.AnimEffects.DialogShow.Active = false;
    EXPECT_EQ(provider->ShowAnimationTime(), 0u);
}

TEST_F(FormShowAnimationTest, FormFadesInWithItsSkinnedFrameAndOutline)
{
    manager.AnimEffects.FormShow.Time = 16;   // two frames keep the test short
    form->Show();
    tw::Application->ProcessMessages();
    ASSERT_TRUE(provider->Skinned());
    ASSERT_EQ(shot.Calls, 1);
    EXPECT_FALSE(shot.Layered);   // no extended-border window here
    const SIZE size = WindowSize();
    EXPECT_EQ(shot.PictureSize.cx, size.cx);
    EXPECT_EQ(shot.PictureSize.cy, size.cy);

    // The overlay wore the provider's outline: the window without the
    // frame's cut-outs.
    ASSERT_NE(shot.RegionKind, ERROR);
    EXPECT_EQ(shot.RegionBox.right - shot.RegionBox.left, size.cx);
    EXPECT_EQ(shot.RegionBox.bottom - shot.RegionBox.top, size.cy);
    if (!provider->Cutouts().empty())
        EXPECT_EQ(shot.RegionKind, COMPLEXREGION);

    // The faded picture is the form as the provider prints it: its skinned
    // title bar, not the system's.
    tw::TBitmap now(size.cx, size.cy, tw::pf32bit);
    PaintControlTree(now, form, 0, 0, nullptr);
    EXPECT_EQ(shot.Title, PixelOf(now, size.cx / 2, 8));
    EXPECT_EQ(shot.Client, PixelOf(now, size.cx / 2, size.cy / 2));
    EXPECT_NE(shot.Title, GetSysColor(COLOR_ACTIVECAPTION));

    // While the fade ran the form was neither marked visible nor layered:
    // nothing of its own reached the screen, and its picture was whole.
    EXPECT_FALSE(shot.FormVisibleStyle);
    EXPECT_FALSE(shot.FormLayered);

    // Afterwards the form is an ordinary visible window again, with its
    // region, and the animation left nothing behind.
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(AnimationRunning, 0);
    for (int i = 0; i < form->ComponentCount(); ++i)
        EXPECT_EQ(dynamic_cast<TOutputWindow*>(form->Components(i)), nullptr);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    EXPECT_NE(GetWindowRgn(form->Handle(), rgn), ERROR);
    DeleteObject(rgn);
    EXPECT_EQ(provider->RedrawSuspendCount(), 0);
}

TEST_F(FormShowAnimationTest, ChildrenDrawOnceIntoTheFadeNotWhileTheFormAppears)
{
    manager.AnimEffects.FormShow.Time = 16;
    auto* panel = new TRedrawPanel(form);
    panel->SetParent(form);
    panel->SetBounds(10, 10, 100, 60);
    auto* hidden = new TRedrawPanel(form);
    hidden->SetParent(form);
    hidden->SetBounds(10, 80, 100, 60);
    hidden->SetVisible(false);
    bool drawingAtFade = false;
    auto probe = AnimationProbe;
    AnimationProbe = [&](const tw::TBitmap& picture, HWND window, bool layered) {
        drawingAtFade = panel->On == panel->Off;
        probe(picture, window, layered);
    };
    form->Show();
    tw::Application->ProcessMessages();
    ASSERT_EQ(shot.Calls, 1);
    // Off while the form's own procedure shows it, on again before the
    // fade takes the picture; a hidden child is left alone.
    EXPECT_EQ(panel->Off, 1);
    EXPECT_EQ(panel->On, 1);
    EXPECT_TRUE(drawingAtFade);
    EXPECT_EQ(hidden->Off, 0);
    EXPECT_TRUE(IsWindowVisible(panel->Handle()));
}

TEST_F(FormShowAnimationTest, WithTheAnimationOffTheFormShowsAsBefore)
{
    manager.AnimEffects.FormShow.Time = 150;
    manager.AnimEffects.FormShow.Active = false;
    form->Show();
    tw::Application->ProcessMessages();
    EXPECT_EQ(shot.Calls, 0);
    EXPECT_TRUE(IsWindowVisible(form->Handle()));
    EXPECT_FALSE(GetWindowLongPtrW(form->Handle(), GWL_EXSTYLE) & WS_EX_LAYERED);

    // A time below one frame shows the form at once too, without a picture
    // being faded.
    auto* dialog = new tw::TForm(form);
    dialog->SetBorderStyle(tw::bsDialog);
    new TsSkinProvider(dialog);
    manager.AnimEffects.DialogShow.Time = 0;
    dialog->Show();
    tw::Application->ProcessMessages();
    EXPECT_EQ(shot.Calls, 0);
    EXPECT_TRUE(IsWindowVisible(dialog->Handle()));
}

// A provider with an extended-border window, as far as the fade asks.
struct TBorderLink : TSkinnedFormLink {
    TsSkinManager* Manager = nullptr;
    HWND Border = nullptr;
    SIZE Picture{360, 280};
    int Paints = 0, Restores = 0;
    TsSkinManager* LinkManager() const override { return Manager; }
    bool FormSkinned() const override { return true; }
    void SetSkinChangeLock(bool) override {}
    bool HasBorderWindow() const override { return Border != nullptr; }
    void UpdateFormRegion() override {}
    void UpdateBorderWindow(uint8_t) override {}
    HWND BorderWindow() const override { return Border; }
    SIZE PaintAll() override
    {
        ++Paints;
        return Picture;
    }
    bool TitleHeightRaised() const override { return true; }
    void RestoreBorderRegion() override { ++Restores; }
};

class TBorderedForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    TBorderLink* Link = nullptr;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD && SkinCommandOf(m.WParam) == AC_QUERYPROVIDER) {
            m.Result = reinterpret_cast<LRESULT>(static_cast<TSkinnedFormLink*>(Link));
            return;
        }
        tw::TForm::WndProc(m);
    }
};

TEST_F(FormShowAnimationTest, ExtendedBordersFadeAsOneLayeredPictureOverTheBorderWindow)
{
    if (!LayeredWindowsAvailable())
        GTEST_SKIP() << "no layered windows";
    TBorderLink link;
    link.Manager = &manager;
    manager.ExtBorderMargins = TRect(5, 6, 7, 8);
    link.Border = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(link.Border, nullptr);
    auto* bordered = new TBorderedForm(form);
    bordered->Link = &link;
    bordered->SetBounds(100, 90, 300, 200);
    bordered->Show();
    tw::Application->ProcessMessages();
    const int before = int(tw::Application->ComponentCount());

    AnimShowControl(bordered, 16);
    EXPECT_EQ(link.Paints, 1);
    EXPECT_EQ(link.Restores, 1);
    ASSERT_EQ(shot.Calls, 1);
    EXPECT_TRUE(shot.Layered);
    EXPECT_EQ(shot.PictureSize.cx, 360);
    EXPECT_EQ(shot.PictureSize.cy, 280);

    // The border window holds the finished picture, shown at its place: the
    // top margin above the form (the title is raised), the frame and left
    // margin to its left.
    EXPECT_TRUE(GetWindowLongPtrW(link.Border, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_TRUE(IsWindowVisible(link.Border));
    RECT br, fr;
    GetWindowRect(link.Border, &br);
    GetWindowRect(bordered->Handle(), &fr);
    EXPECT_EQ(br.right - br.left, 360);
    EXPECT_EQ(br.bottom - br.top, 280);
    EXPECT_EQ(br.top, fr.top - 6);
    EXPECT_LE(br.left, fr.left);
    // The fading window is gone and nothing was left behind.
    EXPECT_EQ(int(tw::Application->ComponentCount()), before);
    EXPECT_EQ(AnimationRunning, 0);
    EXPECT_EQ(AnimPaintDC, nullptr);
    for (int i = 0; i < bordered->ComponentCount(); ++i)
        EXPECT_EQ(dynamic_cast<TOutputWindow*>(bordered->Components(i)), nullptr);
    delete bordered;
    DestroyWindow(link.Border);
}

TEST_F(FormShowAnimationTest, AnAlphaBlendFormFadesUpToItsOwnOpacityAndKeepsIt)
{
    if (!LayeredWindowsAvailable())
        GTEST_SKIP() << "no layered windows";
    TBorderLink link;
    link.Manager = &manager;
    link.Border = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(link.Border, nullptr);
    auto* bordered = new TBorderedForm(form);
    bordered->Link = &link;
    bordered->SetBounds(100, 90, 300, 200);
    bordered->SetAlphaBlend(true);
    bordered->SetAlphaBlendValue(200);
    bordered->Show();
    tw::Application->ProcessMessages();

    std::vector<uint8_t> alphas;
    std::vector<int> formValues;
    AnimationFrameProbe = [&](HWND, uint8_t alpha) {
        alphas.push_back(alpha);
        formValues.push_back(bordered->AlphaBlendValue());
    };
    AnimShowControl(bordered, 40);   // five frames: step 200 / 5 = 40
    AnimationFrameProbe = nullptr;
    ASSERT_EQ(alphas.size(), 6u);
    EXPECT_EQ(alphas.front(), 40);
    EXPECT_EQ(alphas[4], 200);
    EXPECT_EQ(alphas.back(), 200);   // never above the form's own opacity
    for (int v : formValues)
        EXPECT_EQ(v, 1);   // the form itself all but hidden meanwhile
    EXPECT_EQ(bordered->AlphaBlendValue(), 200);
    EXPECT_TRUE(bordered->AlphaBlend());
    delete bordered;
    DestroyWindow(link.Border);
}

// A form that counts the paints it gets.
class TPaintCountingForm : public tw::TForm {
public:
    using tw::TForm::TForm;
    int Paints = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == WM_PAINT)
            ++Paints;
        tw::TForm::WndProc(m);
    }
};

TEST_F(FormShowAnimationTest, TheOverlayEndsWithARedrawOnlyFromVersionSixOn)
{
    auto* plain = new TPaintCountingForm(form);
    plain->SetBounds(120, 100, 240, 160);
    plain->Show();
    tw::Application->ProcessMessages();
    UpdateWindow(plain->Handle());
    const auto saved = AnimationMajorVersion;
    for (DWORD version : {5u, 6u}) {
        SCOPED_TRACE(version);
        AnimationMajorVersion = [version] { return version; };
        tw::Application->ProcessMessages();
        plain->Paints = 0;
        AnimShowControl(plain, 0);
        if (version < 6)
            EXPECT_EQ(plain->Paints, 0);
        else
            EXPECT_GT(plain->Paints, 0);
    }
    AnimationMajorVersion = saved;
    delete plain;
}

} // namespace
} // namespace skin

#endif
