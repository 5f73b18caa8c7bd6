#pragma once
// Pictures looked for on the screen: an icon or a caption-button glyph as it
// must show on a title, made here from the icon itself or the skin's mask
// (never from the window under test), and found by its opaque pixels in a
// screen shot; and real pointer and key input as the system delivers it.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "SkinTestForms.h"
#include "skin/engine/data/sMaskData.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "tests/app/ScreenPixels.h"
#include "ui/Graphics.h"

namespace skin::test {

// A picture and which of its pixels cover what lies below (the same over a
// black and a white ground); only those are compared.
struct TCoverPicture {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
    std::vector<bool> Opaque;
    int OpaqueCount() const
    {
        int n = 0;
        for (bool o : Opaque)
            n += o;
        return n;
    }
};

template <class Draw>
TCoverPicture CoverPicture(int w, int h, Draw draw)
{
    auto over = [&](COLORREF ground) {
        return CapturePixels(w, h, [&](HDC dc) {
            HBRUSH b = CreateSolidBrush(ground);
            const RECT all{0, 0, w, h};
            FillRect(dc, &all, b);
            DeleteObject(b);
            draw(dc);
        });
    };
    const std::vector<uint32_t> black = over(RGB(0, 0, 0)), white = over(RGB(255, 255, 255));
    TCoverPicture p;
    p.Width = w;
    p.Height = h;
    p.Pixels = black;
    p.Opaque.resize(black.size());
    for (size_t i = 0; i < black.size(); ++i)
        p.Opaque[i] = black[i] == white[i];
    return p;
}

// An icon as DrawIconEx shows it at the given size.
inline TCoverPicture IconPicture(HICON icon, int cx, int cy)
{
    return CoverPicture(cx, cy, [&](HDC dc) { DrawIconEx(dc, 0, 0, icon, cx, cy, 0, nullptr, DI_NORMAL); });
}

// Frame 0 of a caption-button mask in one of its rows (1 the active look,
// 2 the inactive or disabled one), drawn by the skin's glyph painter.
inline TCoverPicture GlyphPicture(const TsSkinManager& sm, const char* name, int row)
{
    const int i = sm.GetMaskIndex(sm.ConstData.IndexGlobalInfo, "GLOBALINFO", name);
    if (!sm.MaskIndexValid(i))
        return TCoverPicture();
    const TsMaskData& mask = sm.ma[size_t(i)];
    const int w = MaskFrameWidth(mask), h = MaskFrameHeight(mask);
    return CoverPicture(w, h, [&](HDC dc) {
        // The painter works on a pixel view: the ground goes there and back.
        tw::TBitmap bmp(w, h, tw::pf24bit);
        BitBlt(bmp.Canvas().Handle(), 0, 0, w, h, dc, 0, 0, SRCCOPY);
        const TPixelView v = bmp.PixelView();
        DrawMaskGlyph(v, TPoint(0, 0), 0, row, mask, MakeCacheInfo(v, 0, 0));
        BitBlt(dc, 0, 0, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    });
}

inline bool Near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift : {0, 8, 16})
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

// Where in the area (shot coordinates) the picture shows whole; (-1, -1)
// when nowhere.
inline POINT FindPicture(const tw::test::ScreenShot& shot, const TCoverPicture& p, RECT area, int tolerance = 6)
{
    area.left = std::max<LONG>(area.left, 0);
    area.top = std::max<LONG>(area.top, 0);
    area.right = std::min<LONG>(area.right, shot.Width());
    area.bottom = std::min<LONG>(area.bottom, shot.Height());
    if (p.OpaqueCount() == 0)
        return POINT{-1, -1};
    for (int y = area.top; y + p.Height <= area.bottom; ++y)
        for (int x = area.left; x + p.Width <= area.right; ++x) {
            bool all = true;
            for (int py = 0; py < p.Height && all; ++py)
                for (int px = 0; px < p.Width && all; ++px) {
                    const size_t k = size_t(py * p.Width + px);
                    if (p.Opaque[k] && !Near(shot.Pixels[size_t((y + py) * shot.Width() + x + px)], p.Pixels[k], tolerance))
                        all = false;
                }
            if (all)
                return POINT{x, y};
        }
    return POINT{-1, -1};
}

// Real input: the pointer to a screen point, then presses of the left
// button (two for a double click), as one stream the system delivers.
inline void ClickAt(POINT screen, int clicks = 1)
{
    SetCursorPos(screen.x, screen.y);
    std::vector<INPUT> in(size_t(clicks * 2));
    for (size_t i = 0; i < in.size(); ++i) {
        in[i].type = INPUT_MOUSE;
        in[i].mi.dwFlags = i % 2 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_LEFTDOWN;
    }
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

// Alt+Space from the keyboard.
inline void PressAltSpace()
{
    INPUT in[4] = {};
    const WORD keys[4] = {VK_MENU, VK_SPACE, VK_SPACE, VK_MENU};
    for (int i = 0; i < 4; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = keys[i];
        in[i].ki.dwFlags = i >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(4, in, sizeof(INPUT));
}

// Runs the messages until done() holds or the deadline passes.
template <class Done>
bool PumpUntil(Done done, ULONGLONG ms = 10000)
{
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        tw::Application->ProcessMessages();
    }
    return true;
}

} // namespace skin::test
