// The client of a skinned form under Wine with real messages: its background
// is the form's picture (the FORM section's texture), controls asking for the
// background get the same picture, and the window procedure's rows for
// children, minimized forms and the drawn move and size from the system menu.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sVclUtils.h"
#include "skin/windows/acCtrlAdapter.h"
#include "skin/windows/sSkinProvider.h"
#include "ui/Application.h"
#include "ui/Buttons.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

#include <commctrl.h>

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

// A memo whose window tells its parent of its creation, as the windows of
// other libraries do (ours keep quiet).
class TNoisyMemo : public tw::TMemo {
public:
    using tw::TMemo::TMemo;

protected:
    void CreateParams(tw::TCreateParams& p) override
    {
        tw::TMemo::CreateParams(p);
        p.ExStyle &= ~DWORD(WS_EX_NOPARENTNOTIFY);
    }
};

// A skinned speed button that says it is hot and counts the leaves it hears.
class THotSpeedButton : public tw::TSpeedButton {
public:
    using tw::TSpeedButton::TSpeedButton;
    int Leaves = 0;
    void WndProc(tw::TMessage& m) override
    {
        if (m.Msg == SM_ALPHACMD) {
            const uint16_t cmd = SkinCommandOf(m.WParam);
            m.Result = cmd == AC_QUERYSKINNED || cmd == AC_QUERYACTIVE ? 1 : 0;
            return;
        }
        if (m.Msg == tw::CM_MOUSELEAVE)
            ++Leaves;
        tw::TSpeedButton::WndProc(m);
    }
};

// A graphic control that leaves its place to what lies under it: it paints
// the key colour, which the graphic-children painter does not copy.
class TSeeThroughGraphic : public tw::TGraphicControl {
public:
    using tw::TGraphicControl::TGraphicControl;

protected:
    void Paint() override
    {
        Canvas().Brush().SetColor(tw::TColor(0xFF00FF));
        Canvas().FillRect(TRect(0, 0, Width(), Height()));
    }
};

// The colours of a rectangle of a DC.
std::set<COLORREF> Colours(HDC dc, RECT r)
{
    std::set<COLORREF> seen;
    for (int y = r.top; y < r.bottom; y += 2)
        for (int x = r.left; x < r.right; x += 2)
            seen.insert(GetPixel(dc, x, y));
    return seen;
}

// The share of the rectangle's pixels (in percent) that the most frequent
// colour has: a plain fill is 100, the texture far less.
int PlainShare(HDC dc, RECT r)
{
    std::map<COLORREF, int> count;
    int all = 0, most = 0;
    for (int y = r.top; y < r.bottom; y += 2)
        for (int x = r.left; x < r.right; x += 2, ++all)
            most = std::max(most, ++count[GetPixel(dc, x, y)]);
    return all ? most * 100 / all : 100;
}

class ProviderClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        InstallFormSkinning();
        form = new tw::TForm(tw::Application);
        form->SetText("Client");
        form->SetBounds(50, 50, 360, 280);
    }
    void TearDown() override
    {
        delete form;
        PlatformAnswers() = savedAnswers;
        UninstallFormSkinning();
        DefaultManager = nullptr;
    }
    HWND Show()
    {
        form->Show();
        tw::Application->ProcessMessages();
        provider = FindProvider(form);
        return form->Handle();
    }
    // The whole window printed as the animation and the tests see it.
    void Print(tw::TBitmap& bmp, LPARAM what)
    {
        RECT wr;
        GetWindowRect(form->Handle(), &wr);
        bmp.SetPixelFormat(tw::pf24bit);
        bmp.SetSize(wr.right - wr.left, wr.bottom - wr.top);
        SendMessageW(form->Handle(), WM_PRINT, WPARAM(bmp.Canvas().Handle()), what);
    }
    RECT ClientInWindow()
    {
        const TRect c = GetClientRectInWindow(form->Handle());
        return RECT{c.Left, c.Top, c.Right, c.Bottom};
    }

    TsSkinManager manager;
    const TPlatformAnswers savedAnswers = PlatformAnswers();
    tw::TForm* form = nullptr;
    TsSkinProvider* provider = nullptr;
};

TEST_F(ProviderClientTest, TheClientWearsTheFormsTextureOnEveryPaintingPath)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->Skinned());
    ASSERT_TRUE(provider->ClientHasPicture());
    RECT cr;
    GetClientRect(wnd, &cr);

    // WM_PRINT: the client is the skin's calm slate, not one colour...
    tw::TBitmap printed;
    Print(printed, PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    RECT client = ClientInWindow();
    InflateRect(&client, -4, -4);
    EXPECT_GT(Colours(printed.Canvas().Handle(), client).size(), 1u);
    EXPECT_LT(PlainShare(printed.Canvas().Handle(), client), 97);
    // ... and the texture alone where the section asks for all of it.
    const int form = manager.GetSkinIndex("FORM");
    ASSERT_TRUE(manager.SkinIndexValid(form));
    manager.gd[size_t(form)].ImagePercent = manager.gd[size_t(form)].HotImagePercent = 100;
    provider->SkinData().BGChangedFlag = true;
    Print(printed, PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND);
    EXPECT_LT(PlainShare(printed.Canvas().Handle(), client), 50);
    // Pixel for pixel the section's own texture (the active form is drawn
    // in the hot state), tiled from the window's corner.
    const TsPatternData* slate = nullptr;
    for (const TsPatternData& p : manager.pa)
        if (p.SectionName == "FORM" && p.PropertyName == "HOTPATTERN" && p.Img)
            slate = &p;
    ASSERT_NE(slate, nullptr);
    {
        const TPixelView tex = slate->Img->View();
        int same = 0, all = 0;
        for (int y = client.top; y < client.bottom; y += 7)
            for (int x = client.left; x < client.right; x += 5, ++all) {
                const uint8_t* t = tex.Pixel(x % tex.Width, y % tex.Height);
                same += GetPixel(printed.Canvas().Handle(), x, y) == RGB(t[2], t[1], t[0]);
            }
        EXPECT_EQ(same, all) << "client pixels that are not the section's texture";
    }

    // WM_ERASEBKGND and WM_PAINT with a DC given paint the same picture,
    // pixel for pixel, at the client's place in it.
    tw::TBitmap erased(cr.right, cr.bottom, tw::pf24bit);
    EXPECT_EQ(SendMessageW(wnd, WM_ERASEBKGND, WPARAM(erased.Canvas().Handle()), 0), 1);
    tw::TBitmap painted(cr.right, cr.bottom, tw::pf24bit);
    SendMessageW(wnd, WM_PAINT, WPARAM(painted.Canvas().Handle()), 0);
    const RECT c = ClientInWindow();
    for (POINT p : {POINT{5, 5}, POINT{cr.right / 2, cr.bottom / 2}, POINT{cr.right - 30, cr.bottom - 30}}) {
        const COLORREF expected = GetPixel(printed.Canvas().Handle(), c.left + p.x, c.top + p.y);
        EXPECT_EQ(GetPixel(erased.Canvas().Handle(), p.x, p.y), expected);
        EXPECT_EQ(GetPixel(painted.Canvas().Handle(), p.x, p.y), expected);
    }

    // Inactive too (the section's normal values).
    SendMessageW(wnd, WM_NCACTIVATE, FALSE, 0);
    Print(printed, PRF_CLIENT | PRF_ERASEBKGND);
    EXPECT_LT(PlainShare(printed.Canvas().Handle(), client), 60);

    // On the screen after a real paint.
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC screen = GetDC(wnd);
    RECT inner = cr;
    InflateRect(&inner, -4, -4);
    EXPECT_LT(PlainShare(screen, inner), 60);
    ReleaseDC(wnd, screen);

    // Without the texture the section's colour alone, as its data says.
    manager.gd[size_t(form)].ImagePercent = manager.gd[size_t(form)].HotImagePercent = 0;
    ASSERT_EQ(manager.gd[size_t(form)].HotGradientPercent, 0);
    provider->SkinData().BGChangedFlag = true;
    {
        tw::TBitmap bare(cr.right, cr.bottom, tw::pf24bit);
        SendMessageW(wnd, WM_ERASEBKGND, WPARAM(bare.Canvas().Handle()), 0);
        EXPECT_EQ(Colours(bare.Canvas().Handle(), inner),
                  std::set<COLORREF>{COLORREF(manager.gd[size_t(form)].HotColor) & 0xFFFFFF});
    }

    // A form that keeps its own colour is one colour.
    provider->SkinData().SetCustomColor(true);
    EXPECT_FALSE(provider->ClientHasPicture());
    tw::TBitmap plain(cr.right, cr.bottom, tw::pf24bit);
    SendMessageW(wnd, WM_ERASEBKGND, WPARAM(plain.Canvas().Handle()), 0);
    EXPECT_EQ(Colours(plain.Canvas().Handle(), inner), std::set<COLORREF>{COLORREF(provider->FormColor())});
}

TEST_F(ProviderClientTest, TheBackgroundIsNotLaidUnderGraphicControls)
{
    auto* graphic = new TSeeThroughGraphic(form);
    graphic->SetParent(form);
    graphic->SetBounds(30, 40, 60, 30);
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    panel->SetBounds(150, 40, 60, 30);
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->ClientHasPicture());
    RECT cr;
    GetClientRect(wnd, &cr);

    constexpr COLORREF kBefore = RGB(1, 2, 3);
    tw::TBitmap erased(cr.right, cr.bottom, tw::pf24bit);
    HDC dc = erased.Canvas().Handle();
    {
        TGdiObject brush(CreateSolidBrush(kBefore));
        FillRect(dc, &cr, static_cast<HBRUSH>(brush.Get()));
    }
    EXPECT_EQ(SendMessageW(wnd, WM_ERASEBKGND, WPARAM(dc), 0), 1);
    // The graphic control's place was left to it: what was there stays.
    EXPECT_EQ(Colours(dc, RECT{30, 40, 90, 70}), std::set<COLORREF>{kBefore});
    // Around it and under the windowed child the picture lies as usual (the
    // windowed child covers its place itself).
    EXPECT_EQ(Colours(dc, RECT{0, 0, 30, 40}).count(kBefore), 0u);
    EXPECT_EQ(Colours(dc, RECT{150, 40, 210, 70}).count(kBefore), 0u);

    // The DC's clip is as the caller gave it: a later fill reaches the
    // graphic control's place too.
    constexpr COLORREF kAfter = RGB(4, 5, 6);
    {
        TGdiObject brush(CreateSolidBrush(kAfter));
        FillRect(dc, &cr, static_cast<HBRUSH>(brush.Get()));
    }
    EXPECT_EQ(GetPixel(dc, 50, 50), kAfter);
}

TEST_F(ProviderClientTest, MenusFollowASkinOnlyOnceItHasBeenRead)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    // A popup menu the form gained after its skin was applied.
    auto* popup = new tw::TPopupMenu(form);
    popup->Items()->AddItem("First", nullptr);
    ASSERT_FALSE(popup->OnMeasureItem);
    const LPARAM from = reinterpret_cast<LPARAM>(&manager);

    // A refresh that comes while the skin is being read leaves the menus...
    SkinLoading = true;
    SendSkinCommand(wnd, AC_SKINREFRESH, from);
    SendSkinCommand(wnd, AC_SKINLOADED, from);
    EXPECT_FALSE(popup->OnMeasureItem);
    SkinLoading = false;
    // ... until the form is activated again.
    SendMessageW(wnd, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_TRUE(popup->OnMeasureItem);

    // Read to the end, a refresh brings them along at once.
    auto* later = new tw::TPopupMenu(form);
    later->Items()->AddItem("Later", nullptr);
    SendSkinCommand(wnd, AC_SKINREFRESH, from);
    EXPECT_TRUE(later->OnMeasureItem);

    // The frame's activation brings them along as well, before it is drawn.
    auto* third = new tw::TPopupMenu(form);
    third->Items()->AddItem("Third", nullptr);
    SkinLoading = true;
    SendSkinCommand(wnd, AC_SKINREFRESH, from);
    SkinLoading = false;
    EXPECT_FALSE(third->OnMeasureItem);
    SendMessageW(wnd, WM_NCACTIVATE, TRUE, 0);
    EXPECT_TRUE(third->OnMeasureItem);
}

TEST_F(ProviderClientTest, TheBackgroundQueryAnswersWithTheFormsPicture)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    RECT cr;
    GetClientRect(wnd, &cr);
    tw::TBitmap erased(cr.right, cr.bottom, tw::pf24bit);
    SendMessageW(wnd, WM_ERASEBKGND, WPARAM(erased.Canvas().Handle()), 0);

    // The picture itself, with the client's place in it.
    TacBGInfo info;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.BgType, btCache);
    const RECT c = ClientInWindow();
    EXPECT_EQ(info.OffsetX, c.left);
    EXPECT_EQ(info.OffsetY, c.top);
    EXPECT_EQ(info.OffsetX, provider->ClientOriginX());
    EXPECT_EQ(info.OffsetY, provider->ClientOriginY());
    ASSERT_FALSE(info.Bmp.Empty());
    for (POINT p : {POINT{3, 3}, POINT{cr.right / 3, cr.bottom / 2}}) {
        const uint8_t* px = info.Bmp.Pixel(p.x + info.OffsetX, p.y + info.OffsetY);
        EXPECT_EQ(RGB(px[2], px[1], px[0]), GetPixel(erased.Canvas().Handle(), p.x, p.y));
    }

    // Drawn where asked: a control at (40, 30) gets the piece behind it.
    tw::TBitmap piece(50, 20, tw::pf24bit);
    TacBGInfo draw;
    draw.PleaseDraw = true;
    draw.DrawDC = uintptr_t(piece.Canvas().Handle());
    draw.R = TRect(0, 0, 50, 20);
    draw.OffsetX = 40;
    draw.OffsetY = 30;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(draw.BgType, btCache);
    EXPECT_EQ(GetPixel(piece.Canvas().Handle(), 7, 5), GetPixel(erased.Canvas().Handle(), 47, 35));
    EXPECT_EQ(GetPixel(piece.Canvas().Handle(), 49, 19), GetPixel(erased.Canvas().Handle(), 89, 49));

    // A control on the form that asks through the usual route gets it too.
    auto* panel = new tw::TPanel(form);
    panel->SetParent(form);
    panel->SetBounds(20, 20, 80, 40);
    TacBGInfo asked;
    EXPECT_TRUE(GetBGInfo(asked, form, false));
    EXPECT_EQ(asked.BgType, btCache);

    // Without a picture: the form's colour.
    provider->SkinData().SetCustomColor(true);
    TacBGInfo fill;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&fill));
    EXPECT_EQ(fill.BgType, btFill);
    EXPECT_EQ(fill.Color, provider->FormColor());
}

TEST_F(ProviderClientTest, WhatOnPaintDrawsOnTheFormsCanvasIsInThePictureAndOnTheScreen)
{
    constexpr COLORREF kInk = RGB(200, 30, 40);
    int painted = 0;
    bool attached = true;
    form->OnPaint = [&](tw::TObject*) {
        ++painted;
        attached = attached && form->Canvas().HandleAllocated();
        form->Canvas().Brush().SetColor(TColor(kInk));
        form->Canvas().FillRect(TRect(20, 10, 60, 40));
    };
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    ASSERT_TRUE(provider->ClientHasPicture());
    // The client's corner as the system has it.
    RECT wr;
    GetWindowRect(wnd, &wr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int cx = origin.x - wr.left, cy = origin.y - wr.top;

    // The picture made again holds the drawing, at the client's corner.
    provider->SkinData().BGChangedFlag = true;
    painted = 0;
    TacBGInfo info;
    SendSkinCommand(wnd, AC_QUERYBGINFO, reinterpret_cast<LPARAM>(&info));
    ASSERT_EQ(info.BgType, btCache);
    ASSERT_FALSE(info.Bmp.Empty());
    EXPECT_EQ(painted, 1);
    auto inPicture = [&](int x, int y) {
        const uint8_t* px = info.Bmp.Pixel(cx + x, cy + y);
        return RGB(px[2], px[1], px[0]);
    };
    EXPECT_EQ(inPicture(20, 10), kInk);
    EXPECT_EQ(inPicture(59, 39), kInk);
    EXPECT_NE(inPicture(19, 10), kInk);
    EXPECT_NE(inPicture(20, 9), kInk);
    EXPECT_NE(inPicture(60, 39), kInk);
    EXPECT_NE(inPicture(59, 40), kInk);

    // And on the window.
    SetForegroundWindow(wnd);
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(attached);
    // The canvas has a DC only while the handler runs.
    EXPECT_FALSE(form->Canvas().HandleAllocated());
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, origin.x + 20, origin.y + 10), kInk);
    EXPECT_EQ(GetPixel(screen, origin.x + 59, origin.y + 39), kInk);
    EXPECT_NE(GetPixel(screen, origin.x + 19, origin.y + 10), kInk);
    EXPECT_NE(GetPixel(screen, origin.x + 60, origin.y + 39), kInk);
    ReleaseDC(nullptr, screen);
}

TEST_F(ProviderClientTest, ChildrenMadeLaterAreAdaptedAndHearOfTheContainer)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    ASSERT_NE(provider->CtrlAdapter(), nullptr);

    // A memo made on the shown form: its creation notice adapts it, and the
    // form's children recompute their container flag.
    auto* panel = new test::TSkinnedPanel(form);
    panel->SetParent(form);
    panel->SetBounds(200, 10, 100, 60);
    panel->Handle();
    panel->Commands.clear();
    auto* memo = new TNoisyMemo(form);
    memo->SetParent(form);
    memo->SetBounds(10, 10, 150, 100);
    memo->SetScrollBars(tw::ssVertical);
    memo->Handle();
    EXPECT_NE(provider->CtrlAdapter()->AdapterOf(memo->Handle()), nullptr);
    EXPECT_NE(std::find(panel->Commands.begin(), panel->Commands.end(), AC_CONTAINERFLAG), panel->Commands.end());

    // One that says nothing is adapted when it reports itself loaded.
    auto* quiet = new tw::TMemo(form);
    quiet->SetParent(form);
    quiet->SetBounds(10, 120, 150, 60);
    quiet->SetScrollBars(tw::ssVertical);
    quiet->Handle();
    EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(quiet->Handle()), nullptr);
    SendSkinCommand(wnd, AC_CONTROLLOADED, reinterpret_cast<LPARAM>(static_cast<tw::TControl*>(quiet)));
    EXPECT_NE(provider->CtrlAdapter()->AdapterOf(quiet->Handle()), nullptr);

    // A tab control's page change walks the form again.
    auto* paged = new tw::TMemo(form);
    paged->SetParent(form);
    paged->SetBounds(10, 190, 150, 50);
    paged->SetScrollBars(tw::ssVertical);
    paged->Handle();
    ASSERT_EQ(provider->CtrlAdapter()->AdapterOf(paged->Handle()), nullptr);
    NMHDR other{wnd, 1, UINT(TCN_SELCHANGING)};
    SendMessageW(wnd, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&other));
    EXPECT_EQ(provider->CtrlAdapter()->AdapterOf(paged->Handle()), nullptr);
    NMHDR changed{wnd, 1, UINT(TCN_SELCHANGE)};
    SendMessageW(wnd, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&changed));
    EXPECT_NE(provider->CtrlAdapter()->AdapterOf(paged->Handle()), nullptr);

    // The mouse over the form itself: no control of it stays hot.
    manager.ActiveControl = reinterpret_cast<uintptr_t>(paged->Handle());
    SendMessageW(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(300, 200));
    EXPECT_EQ(manager.ActiveControl, 0u);

    // The mouse entering one control makes a hot speed button leave.
    auto* a = new THotSpeedButton(form);
    a->SetParent(form);
    a->SetBounds(200, 100, 30, 30);
    auto* b = new THotSpeedButton(form);
    b->SetParent(form);
    b->SetBounds(240, 100, 30, 30);
    form->Perform(tw::CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(static_cast<tw::TControl*>(a)));
    EXPECT_EQ(a->Leaves, 0);
    EXPECT_EQ(b->Leaves, 1);
}

TEST_F(ProviderClientTest, AMinimizedFormAnswersForItsDrawnButtons)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    ShowWindow(wnd, SW_MINIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_TRUE(IsIconic(wnd));
    // Where the title shows the skin's close picture, found in what the
    // window prints by the picture's own pixels (its key colour left out).
    const int closeMask = manager.GetMaskIndex(manager.ConstData.IndexGlobalInfo, "GLOBALINFO", "BICONCLOSE");
    ASSERT_TRUE(manager.MaskIndexValid(closeMask));
    const TsMaskData& glyph = manager.ma[size_t(closeMask)];
    const int gw = MaskFrameWidth(glyph), gh = MaskFrameHeight(glyph);
    // The hit test lays the buttons out for the minimized window; the title
    // is then printed with them.
    test::NcHit(wnd, 2, 2);
    int w = 0;
    const std::vector<uint32_t> frame = test::PrintFrame(wnd, w);
    const POINT found = test::FindMaskFrame(frame, w, glyph, 0);
    ASSERT_GE(found.x, 0) << "the minimized title shows no close picture";
    EXPECT_EQ(test::NcHit(wnd, found.x + gw / 2, found.y + gh / 2), htClose);
    EXPECT_EQ(test::NcHit(wnd, found.x + 2, found.y + gh / 2), htClose);
    // Left of it, on the title, no close button.
    EXPECT_NE(test::NcHit(wnd, std::max(0, int(found.x) - gw - 8), found.y + gh / 2), htClose);
    ShowWindow(wnd, SW_RESTORE);
    tw::Application->ProcessMessages();
}

TEST_F(ProviderClientTest, MoveAndSizeFromTheSystemMenuDragAnOutline)
{
    HWND wnd = Show();
    ASSERT_NE(provider, nullptr);
    provider->SetResizeMode(rmBorder);
    RECT before;
    GetWindowRect(wnd, &before);
    auto moveTo = [&](int x, int y) {
        POINT p{x, y};
        ScreenToClient(wnd, &p);
        SendMessageW(wnd, WM_MOUSEMOVE, 0, MAKELPARAM(p.x, p.y));
    };
    auto clickAt = [&](int x, int y) {
        POINT p{x, y};
        ScreenToClient(wnd, &p);
        SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
        SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    };

    // Move: the outline follows from the pointer's place, the window moves
    // once, with the click that ends it.
    SetCursorPos(200, 150);
    SendMessageW(wnd, WM_SYSCOMMAND, SC_MOVE, 0);
    EXPECT_TRUE(provider->Dragging());
    EXPECT_TRUE(TsSkinProvider::NotMovedYet());
    EXPECT_EQ(GetCapture(), wnd);
    RECT during;
    GetWindowRect(wnd, &during);
    EXPECT_EQ(during.left, before.left);
    moveTo(210, 155);
    EXPECT_FALSE(TsSkinProvider::NotMovedYet());
    moveTo(230, 170);
    clickAt(230, 170);
    EXPECT_FALSE(provider->Dragging());
    RECT after;
    GetWindowRect(wnd, &after);
    EXPECT_EQ(after.left, before.left + 30);
    EXPECT_EQ(after.top, before.top + 20);
    EXPECT_EQ(after.right - after.left, before.right - before.left);

    // Size: the first move only marks the start; moving right then widens
    // the window by as much.
    SetCursorPos(300, 200);
    SendMessageW(wnd, WM_SYSCOMMAND, SC_SIZE, 0);
    ASSERT_TRUE(provider->Dragging());
    moveTo(305, 200);
    moveTo(345, 200);
    clickAt(345, 200);
    RECT sized;
    GetWindowRect(wnd, &sized);
    EXPECT_EQ(sized.left, after.left);
    EXPECT_EQ(sized.right - sized.left, after.right - after.left + 40);
    EXPECT_EQ(sized.bottom - sized.top, after.bottom - after.top);

    // A size drag ended before the pointer moved changes nothing.
    SendMessageW(wnd, WM_SYSCOMMAND, SC_SIZE, 0);
    ASSERT_TRUE(provider->Dragging());
    clickAt(345, 200);
    RECT same;
    GetWindowRect(wnd, &same);
    EXPECT_TRUE(EqualRect(&same, &sized));

    // A drag with the button already down shows the window as it is first:
    // what was waiting to be painted is painted.
    InvalidateRect(wnd, nullptr, TRUE);
    SetCursorPos(250, 180);
    SendMessageW(wnd, WM_SYSCOMMAND, 0xF012, 0);
    EXPECT_FALSE(GetUpdateRect(wnd, nullptr, FALSE));
    EXPECT_TRUE(provider->Dragging());
    clickAt(250, 180);
    EXPECT_FALSE(provider->Dragging());

    // Under desktop composition the outline cannot be seen: the next frame
    // paint gives the moving back to the system.
    PlatformAnswers().CompositionEnabled = [] { return true; };
    PlatformAnswers().MajorVersion = [] { return DWORD(6); };
    SendMessageW(wnd, WM_NCPAINT, 1, 0);
    EXPECT_EQ(provider->ResizeMode(), rmStandard);
}

} // namespace
} // namespace skin

#endif
