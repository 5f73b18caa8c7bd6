// The Windows side of the graphics utilities: bitmaps of the class library,
// frames and focus dots on device contexts, text extents, layered windows.
#include <windows.h>

#include "base/WinText.h"
#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GraphicsUtils.h"
#include "ui/Graphics.h"

namespace skin {

tw::TBitmap* CreateBmp24(int width, int height) { return new tw::TBitmap(width, height, tw::pf24bit); }
tw::TBitmap* CreateBmp32(int width, int height) { return new tw::TBitmap(width, height, tw::pf32bit); }
tw::TBitmap* CreateBmpLike(tw::TBitmap& bmp) { return new tw::TBitmap(bmp.Width(), bmp.Height(), bmp.PixelFormat()); }

void DrawRectFrame(HDC dc, TRect& r, TColor color1, int& width, TColor color2)
{
    TGdiObject pen1(CreatePen(PS_SOLID, 1, COLORREF(ColorToRGB(color1))));
    TGdiObject pen2(CreatePen(PS_SOLID, 1, COLORREF(color2)));
    TGdiSelection brush(dc, GetStockObject(NULL_BRUSH));
    TGdiSelection pen(dc, pen1.Get());
    --r.Right;
    --r.Bottom;
    while (width > 0) {
        --width;
        SelectObject(dc, pen1.Get());
        const POINT a[3] = {{r.Left, r.Bottom}, {r.Left, r.Top}, {r.Right, r.Top}};
        Polyline(dc, a, 3);
        SelectObject(dc, pen2.Get());
        const POINT b[3] = {{r.Right, r.Top}, {r.Right, r.Bottom}, {r.Left - 1, r.Bottom}};
        Polyline(dc, b, 3);
        r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    ++r.Right;
    ++r.Bottom;
}

void PaintFocusDots(tw::TCanvas& canvas, const TRect& r)
{
    HDC dc = canvas.Handle();
    const int w = r.Width() / 3, h = r.Height() / 3;
    for (int i = 0; i <= w; ++i) {
        const int x = r.Left + 3 * i;
        SetPixel(dc, x, r.Top, RGB(0, 0, 0));
        SetPixel(dc, x, r.Bottom, RGB(0, 0, 0));
        SetPixel(dc, x - 1, r.Top - 1, RGB(255, 255, 255));
        SetPixel(dc, x - 1, r.Bottom - 1, RGB(255, 255, 255));
    }
    for (int j = 0; j <= h; ++j) {
        const int y = r.Top + 3 * j;
        SetPixel(dc, r.Left, y, RGB(0, 0, 0));
        SetPixel(dc, r.Right, y, RGB(0, 0, 0));
        SetPixel(dc, r.Left - 1, y - 1, RGB(255, 255, 255));
        SetPixel(dc, r.Right - 1, y - 1, RGB(255, 255, 255));
    }
}

TPoint GetTextSize(HFONT font, const std::string& text)
{
    HDC dc = GetDC(nullptr);
    if (!dc) return {0, 0};
    SIZE size{};
    bool ok;
    {
        TGdiSelection selected(dc, font);
        const std::wstring w = tw::Utf8ToWide(text);
        ok = GetTextExtentPoint32W(dc, w.c_str(), int(w.size()), &size) != 0;
    }
    ReleaseDC(nullptr, dc);
    return ok ? TPoint{int(size.cx), int(size.cy)} : TPoint{0, 0};
}

namespace {

// user32 stays loaded for the program's life; the entry is looked up once.
struct TLayeredBinding {
    HMODULE User = nullptr;
    TUpdateLayeredWindow Entry = nullptr;
    TLayeredBinding()
    {
        User = LoadLibraryW(L"USER32");
        if (User)
            Entry = reinterpret_cast<TUpdateLayeredWindow>(
                reinterpret_cast<void*>(GetProcAddress(User, "UpdateLayeredWindow")));
    }
    ~TLayeredBinding()
    {
        if (User) FreeLibrary(User);
    }
};

TLayeredBinding& Layered()
{
    static TLayeredBinding binding;
    return binding;
}

} // namespace

TUpdateLayeredWindow UpdateLayeredWindowEntry() { return Layered().Entry; }
bool LayeredWindowsAvailable() { return Layered().Entry != nullptr; }

} // namespace skin
