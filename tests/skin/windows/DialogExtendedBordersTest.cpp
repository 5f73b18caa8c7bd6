// A system dialog skinned by the hook while the manager has extended borders:
// the layered border window shows the dialog's whole picture (frame, title,
// buttons, with the border picture around it), the dialog keeps only what
// lies inside its own border, and the title's buttons answer and click
// through the border window.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/common/DefaultManager.h"
#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/effects/acGlow.h"
#include "skin/windows/acBorderForm.h"
#include "skin/windows/acDials.h"
#include "ui/Application.h"

#ifdef TW_SKIN_ARCHIVE

namespace skin {
namespace {

std::vector<WPARAM> g_commands;
WNDPROC g_savedProc = nullptr;

// Under the adapter: records the system commands that reach the dialog's own
// procedure (they are not run, the dialog stays).
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) != SC_KEYMENU) {
        g_commands.push_back(wp & 0xFFF0);
        return 0;
    }
    return CallWindowProcW(g_savedProc, wnd, msg, wp, lp);
}

// The screen here shows no layered windows: a stand-in takes the picture.
BOOL WINAPI AcceptLayered(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD) { return TRUE; }
TUpdateLayeredWindow AcceptingEntry() { return AcceptLayered; }

// The border picture: grey 40 at half opacity everywhere.
constexpr uint8_t kShadowGrey = 40, kShadowAlpha = 128;

class DialogExtendedBordersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        tw::Application->Initialize();
        ASSERT_TRUE(test::LoadOwnSkin(manager));
        g_commands.clear();
        auto shadow = std::make_shared<tw::TPixelImage>(24, 24, 32);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                uint8_t* p = shadow->View().Pixel(x, y);
                p[0] = p[1] = p[2] = kShadowGrey;
                p[3] = kShadowAlpha;
            }
        manager.ShadowActive = manager.ShadowInactive = shadow;
    }
    void TearDown() override
    {
        // Frees the providers the hook made.
        UninstallDialogSkinning();
        for (HWND w : windows)
            if (IsWindow(w))
                DestroyWindow(w);
        manager.SetExtendedBorders(false);
        DefaultManager = nullptr;
    }
    void BordersOn()
    {
        manager.SetExtendedBorders(true);
        manager.UpdateExtBorderImages();
        ASSERT_TRUE(manager.ExtendedBorders());
    }
    // A real "#32770" dialog, activated and skinned by the hook's decision.
    TacDialogWnd* HookedDialog()
    {
        HWND d = CreateWindowW(L"#32770", L"Frame", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 80, 80, 340, 230,
                               nullptr, nullptr, nullptr, nullptr);
        windows.push_back(d);
        g_savedProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(d, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordingProc)));
        if (!HookActivatedWindow(d))
            return nullptr;
        TacProvider* p = FindProvider(d);
        if (!p || !p->DialogAdapter)
            return nullptr;
        RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW);
        tw::Application->ProcessMessages();
        return p->DialogAdapter.get();
    }
    // The window's own measures, from the system: its border and the top
    // of its client in window coordinates, and its size.
    struct TWindowParts {
        int Border = 0, ClientTop = 0, Width = 0, Height = 0;
        RECT Client{};
    };
    static TWindowParts Parts(HWND d)
    {
        TWindowParts p;
        RECT wr, cr;
        GetWindowRect(d, &wr);
        GetClientRect(d, &cr);
        POINT o{0, 0};
        ClientToScreen(d, &o);
        p.Border = o.x - wr.left;
        p.ClientTop = o.y - wr.top;
        p.Width = wr.right - wr.left;
        p.Height = wr.bottom - wr.top;
        p.Client = RECT{p.Border, p.ClientTop, p.Border + cr.right, p.ClientTop + cr.bottom};
        return p;
    }

    const test::TLayeredEntryScope layered{AcceptingEntry};
    TsSkinManager manager;
    std::vector<HWND> windows;
};

TEST_F(DialogExtendedBordersTest, TheBorderWindowShowsTheDialogsFrameAndTheDialogKeepsItsClientOnly)
{
    BordersOn();
    TacDialogWnd* dialog = HookedDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND d = dialog->Handle();
    TacBorderForm* border = dialog->BorderForm();
    ASSERT_NE(border, nullptr);
    ASSERT_TRUE(border->Shown());

    // The title is the skin's own height, top border included.
    const int titleHeight = manager.SkinData.TitleHeight, skinBorder = manager.SkinData.BorderWidth;
    ASSERT_EQ(titleHeight, 26);
    EXPECT_EQ(dialog->CaptionHeight(), titleHeight);

    // The dialog's region is its client: its frame is not its own to show.
    const TWindowParts w = Parts(d);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(d, rgn), SIMPLEREGION);
    RECT box;
    GetRgnBox(rgn, &box);
    DeleteObject(rgn);
    EXPECT_TRUE(EqualRect(&box, &w.Client)) << box.left << "," << box.top << "," << box.right << "," << box.bottom;

    // The picture: 32 bits, the skin's frame (wider and taller than the
    // system's) with the border's margins on every side.
    const TRect m = manager.ExtBorderMargins;
    ASSERT_GT(m.Left, 0);
    const int dx = skinBorder - w.Border, dt = titleHeight - w.ClientTop;
    const int frameW = w.Width + 2 * dx, frameH = w.Height + dt + dx;
    const tw::TBitmap* cache = dialog->Cache();
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->PixelFormat(), tw::pf32bit);
    EXPECT_EQ(cache->Width(), frameW + m.Left + m.Right);
    EXPECT_EQ(cache->Height(), frameH + m.Top + m.Bottom);
    // The client is found there where the frame puts it.
    EXPECT_EQ(SendSkinCommand(d, AC_QUERYCLIENTORIGIN), MAKELONG(m.Left + skinBorder, m.Top + titleHeight));

    // The border window lies around the skin's frame, and shows it.
    RECT wr;
    GetWindowRect(d, &wr);
    EXPECT_TRUE(border->Bounds() == TRect(wr.left - dx - m.Left, wr.top - dt - m.Top, wr.right + dx + m.Right,
                                          wr.bottom + dx + m.Bottom));
    const tw::TPixelView pic = const_cast<tw::TPixelImage&>(border->Picture()).View();
    ASSERT_EQ(pic.Width, cache->Width());
    ASSERT_EQ(pic.Height, cache->Height());
    // The title strip in the middle (away from icon, caption and buttons):
    // FORMTITLE's gradient, between its two colours, opaque.
    const int x = m.Left + frameW * 3 / 5, y = m.Top + titleHeight / 2;
    const uint8_t* t = pic.Pixel(x, y);
    EXPECT_EQ(t[3], 255);
    const uint32_t top = 0x342C25, bottom = 0x2D241F; // FORMTITLE's GRADIENTDATA (blue, green, red)
    for (int c = 0; c < 3; ++c) {
        const int a = int((top >> (8 * c)) & 0xFF), b = int((bottom >> (8 * c)) & 0xFF);
        // TColor holds red in its low byte; the picture holds blue first.
        const int channel = t[2 - c];
        EXPECT_GE(channel, std::min(a, b) - 2) << "channel " << c;
        EXPECT_LE(channel, std::max(a, b) + 2) << "channel " << c;
    }
    // The client under the dialog is opaque too (the dialog covers it).
    EXPECT_EQ(pic.Pixel(pic.Width / 2, pic.Height / 2)[3], 255);
    // Outside the frame the border picture, premultiplied.
    const uint8_t* s = pic.Pixel(m.Left / 2, pic.Height / 2);
    EXPECT_EQ(s[3], kShadowAlpha);
    EXPECT_EQ(s[0], kShadowGrey * kShadowAlpha / 255);

    // The title's buttons answer on the border window: close sits at the
    // right, BIRIGHT and the skin's border in from the frame's edge.
    const int closeRight = m.Left + frameW - manager.SkinData.BIRight - skinBorder;
    const POINT close{border->Bounds().Left + closeRight - 4, border->Bounds().Top + y};
    const POINT caption{border->Bounds().Left + x, border->Bounds().Top + y};
    EXPECT_EQ(border->HitTest(close), HTCLOSE);
    EXPECT_EQ(dialog->HotButton(), HTCLOSE);
    EXPECT_EQ(border->HitTest(caption), HTCAPTION);
    EXPECT_EQ(dialog->HotButton(), 0);
    // A click there, as the border window hands it on, closes the dialog.
    const LPARAM at = MAKELPARAM(close.x, close.y);
    const HWND bw = border->Handle();
    ASSERT_NE(bw, nullptr);
    SendMessageW(bw, WM_NCLBUTTONDOWN, HTCLOSE, at);
    SendMessageW(bw, WM_NCLBUTTONUP, HTCLOSE, at);
    tw::Application->ProcessMessages();
    EXPECT_EQ(g_commands, std::vector<WPARAM>{SC_CLOSE});
    g_commands.clear();
    // -1: the border window leaves the question to the dialog, which asks
    // the border window's own hit test.
    SendMessageW(d, WM_NCLBUTTONDOWN, WPARAM(-1), at);
    SendMessageW(d, WM_NCLBUTTONUP, WPARAM(-1), at);
    tw::Application->ProcessMessages();
    EXPECT_EQ(g_commands, std::vector<WPARAM>{SC_CLOSE});

    // Zoomed, the dialog draws its frame itself: the border window is out
    // of sight until the dialog is restored.
    ShowWindow(d, SW_MAXIMIZE);
    tw::Application->ProcessMessages();
    ASSERT_EQ(dialog->BorderForm(), border);
    EXPECT_FALSE(IsWindowVisible(border->Handle()));
    ShowWindow(d, SW_RESTORE);
    tw::Application->ProcessMessages();
    EXPECT_TRUE(IsWindowVisible(border->Handle()));

    // Hidden, the dialog drops the border and takes its whole frame back.
    ShowWindow(d, SW_HIDE);
    EXPECT_EQ(dialog->BorderForm(), nullptr);
    ShowWindow(d, SW_SHOWNOACTIVATE);
    RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_UPDATENOW);
    ASSERT_NE(dialog->Cache(), nullptr);
    EXPECT_EQ(dialog->Cache()->PixelFormat(), tw::pf24bit);
    EXPECT_EQ(dialog->Cache()->Width(), w.Width);
    rgn = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(d, rgn), ERROR);
    EXPECT_TRUE(PtInRegion(rgn, w.Width / 2, 2));
    DeleteObject(rgn);
}

// The colour of a window pixel (window coordinates) as it is drawn now.
COLORREF WindowPixel(HWND wnd, int x, int y)
{
    HDC dc = GetWindowDC(wnd);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(wnd, dc);
    return c;
}

// Paints the window's frame (all but the client) in one colour.
void MarkFrame(HWND wnd, COLORREF colour)
{
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT o{0, 0};
    ClientToScreen(wnd, &o);
    HDC dc = GetWindowDC(wnd);
    ExcludeClipRect(dc, o.x - wr.left, o.y - wr.top, o.x - wr.left + cr.right, o.y - wr.top + cr.bottom);
    HBRUSH b = CreateSolidBrush(colour);
    const RECT all{0, 0, wr.right - wr.left, wr.bottom - wr.top};
    FillRect(dc, &all, b);
    DeleteObject(b);
    ReleaseDC(wnd, dc);
}

TEST_F(DialogExtendedBordersTest, UnderTheBorderWindowTheDialogDrawsNoFrameOfItsOwn)
{
    BordersOn();
    TacDialogWnd* dialog = HookedDialog();
    ASSERT_NE(dialog, nullptr);
    const HWND d = dialog->Handle();
    ASSERT_NE(dialog->BorderForm(), nullptr);
    const TWindowParts w = Parts(d);
    // Points of the title and of the left and bottom edges.
    const POINT points[] = {{w.Width * 3 / 5, w.ClientTop / 2},
                            {w.Border / 2, w.Height / 2},
                            {w.Width / 2, w.Height - 1 - w.Border / 2}};
    constexpr COLORREF kMark = RGB(1, 254, 3);
    // The region taken away, whatever the dialog put on its frame would
    // show: a frame paint leaves the mark standing.
    SetWindowRgn(d, nullptr, FALSE);
    MarkFrame(d, kMark);
    ASSERT_EQ(WindowPixel(d, points[0].x, points[0].y), kMark);
    SendMessageW(d, WM_NCPAINT, 1, 0);
    for (const POINT& p : points)
        EXPECT_EQ(WindowPixel(d, p.x, p.y), kMark) << p.x << "," << p.y;

    // The twin: without the border window the same paint draws the skin's
    // frame over the mark.
    manager.SetExtendedBorders(false);
    dialog->SetExtendedBorders(false);
    ASSERT_EQ(dialog->BorderForm(), nullptr);
    SendMessageW(d, WM_NCPAINT, 1, 0);
    SetWindowRgn(d, nullptr, FALSE);
    MarkFrame(d, kMark);
    ASSERT_EQ(WindowPixel(d, points[0].x, points[0].y), kMark);
    SendMessageW(d, WM_NCPAINT, 1, 0);
    for (const POINT& p : points)
        EXPECT_NE(WindowPixel(d, p.x, p.y), kMark) << p.x << "," << p.y;
}

TEST_F(DialogExtendedBordersTest, BorderModeOneDrawsTheFrameFromTheBorderPictureWithTheTitleOverIt)
{
    // The skin's own BORDERMODE is 0; the same skin drawn by its border
    // picture, with the title's pieces centred lower (set after the
    // reload that switching the borders on makes).
    BordersOn();
    manager.SkinData.BorderMode = 1;
    manager.SkinData.CenterOffset = 3;
    TacDialogWnd* dialog = HookedDialog();
    ASSERT_NE(dialog, nullptr);
    TacBorderForm* border = dialog->BorderForm();
    ASSERT_NE(border, nullptr);
    const TRect m = manager.ExtBorderMargins;
    const int offset = manager.SkinData.FormOffset;
    const tw::TPixelView pic = const_cast<tw::TPixelImage&>(border->Picture()).View();
    ASSERT_GT(pic.Width, 0);
    // The frame's top edge is the border picture's (no FORMTITLE there),
    // down to the picture's own top margin.
    const int x = pic.Width * 3 / 5;
    // The top piece: the margin and the form offset, less than half of the
    // 24-pixel picture.
    const int topPiece = std::min(m.Top + offset, (24 - 1) / 2);
    for (int y : {m.Top, topPiece - 1}) {
        const uint8_t* p = pic.Pixel(x, y);
        EXPECT_EQ(p[3], kShadowAlpha) << y;
        EXPECT_EQ(p[0], kShadowGrey * kShadowAlpha / 255) << y;
    }
    // The close button lies lower by the skin's centre offset than its
    // centred place in the title, and what its glyph drew is opaque.
    const TRect c = dialog->Buttons().Close;
    ASSERT_GT(c.Right, c.Left);
    const int titleHeight = manager.SkinData.TitleHeight;
    EXPECT_EQ(c.Top, (titleHeight - c.Height()) / 2 + 3);
    int opaque = 0;
    for (int y = c.Top; y < c.Bottom; ++y)
        for (int xx = c.Left; xx < c.Right; ++xx)
            opaque += pic.Pixel(m.Left + xx, m.Top + y)[3] == 255;
    EXPECT_GT(opaque, 0);
}

TEST_F(DialogExtendedBordersTest, BorderModeOneStretchesTheSkinsBorderPictureByItsOwnMargins)
{
    BordersOn();
    // The skin's extended border: a 24-pixel picture whose outer 6 pixels
    // are a half-transparent green shadow, the next 4 an opaque blue frame
    // and the next one red, beyond the mask's own margins (10): red is
    // stretched over the middle, which the border picture leaves out. The
    // form offset is 6.
    TsMaskData mask;
    mask.SectionName = "GLOBALINFO";
    mask.PropertyName = "EXBORDER";
    mask.ImageCount = 1;
    mask.Manager = &manager;
    mask.WL = mask.WT = mask.WR = mask.WB = 10;
    mask.Bmp = std::make_unique<tw::TPixelImage>(24, 24, 32);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            uint8_t* p = mask.Bmp->View().Pixel(x, y);
            const int d = std::min({x, y, 23 - x, 23 - y});
            const bool shadow = d < 6, frame = d >= 6 && d < 10;
            p[0] = shadow ? 10 : frame ? 200 : 0;
            p[1] = shadow ? 200 : frame ? 10 : 0;
            p[2] = shadow ? 10 : frame ? 10 : 200;
            p[3] = shadow ? 100 : 255;
        }
    mask.R = TRect(0, 0, 24, 24);
    manager.ma.push_back(std::move(mask));
    manager.ConstData.ExBorder = int(manager.ma.size()) - 1;
    manager.SkinData.FormOffset = 6;
    manager.SkinData.BorderMode = 1;
    manager.UpdateExtBorderImages();
    TacDialogWnd* dialog = HookedDialog();
    ASSERT_NE(dialog, nullptr);
    TacBorderForm* border = dialog->BorderForm();
    ASSERT_NE(border, nullptr);
    // Under BORDERMODE 1 the margins are the form offset.
    const TRect m = manager.ExtBorderMargins;
    EXPECT_EQ(m.Left, 6);
    EXPECT_EQ(m.Top, 6);
    const tw::TPixelView pic = const_cast<tw::TPixelImage&>(border->Picture()).View();
    ASSERT_GT(pic.Width, 0);
    // Along the top, away from the title's pieces: the shadow in the
    // margin, then the picture's frame band down to its own margin (10),
    // where the skin's frame of the form's title goes on.
    const int x = pic.Width * 3 / 5;
    auto at = [&](int y) {
        const uint8_t* p = pic.Pixel(x, y);
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(at(m.Top - 1), (std::vector<int>{3, 78, 3, 100}));
    for (int y = m.Top; y < 10; ++y)
        EXPECT_EQ(at(y), (std::vector<int>{200, 10, 10, 255})) << y;
    EXPECT_NE(at(10), (std::vector<int>{200, 10, 10, 255}));
    EXPECT_NE(at(10), (std::vector<int>{0, 0, 200, 255}));
}

} // namespace
} // namespace skin

#endif

