// Mode 2 of the gradients (four triangles meeting in the centre) through the
// platform's GradientFill of "msimg32.dll", bound at run time; and the
// system colours of the skin from the running system.
#include <windows.h>

#include <algorithm>

#include "skin/engine/data/sGradient.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Graphics.h"

namespace skin {

namespace {

using TGradientFill = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

struct TGradientBinding {
    HMODULE Lib = nullptr;
    TGradientFill Fill = nullptr;
    TGradientBinding()
    {
        Lib = LoadLibraryW(L"msimg32.dll");
        if (Lib) Fill = reinterpret_cast<TGradientFill>(reinterpret_cast<void*>(GetProcAddress(Lib, "GradientFill")));
    }
    ~TGradientBinding()
    {
        if (Lib) FreeLibrary(Lib);
    }
};

TGradientBinding& Binding()
{
    static TGradientBinding binding;
    return binding;
}

TColor WindowsSysColor(int index) { return TColor(GetSysColor(index)); }

// The skin's system colours come from the running system.
struct TSysColours {
    TSysColours() { SysColorSource = WindowsSysColor; }
} sysColours;

} // namespace

bool GradientFillAvailable() { return Binding().Fill != nullptr; }

void PaintGradTriangles(tw::TBitmap& bmp, TRect r, const TsGradArray& data)
{
    r.Right = std::min(r.Right, bmp.Width());
    r.Bottom = std::min(r.Bottom, bmp.Height());
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    TsGradVertex v[5];
    if (!Binding().Fill || !GradTriangleVertices(r, data, v)) return;
    TRIVERTEX vert[5];
    for (int i = 0; i < 5; ++i) {
        vert[i].x = v[i].X;
        vert[i].y = v[i].Y;
        vert[i].Red = COLOR16((v[i].Color & 0xFF) << 8);
        vert[i].Green = COLOR16(((v[i].Color >> 8) & 0xFF) << 8);
        vert[i].Blue = COLOR16(((v[i].Color >> 16) & 0xFF) << 8);
        vert[i].Alpha = 0;
    }
    GRADIENT_TRIANGLE tri[4] = {{0, 1, 2}, {1, 2, 3}, {0, 1, 4}, {4, 1, 3}};
    if (!Binding().Fill(bmp.Canvas().Handle(), vert, 5, tri, 4, GRADIENT_FILL_TRIANGLE)) return;
    // The platform writes the vertices' alpha into a 32-bit picture; a
    // gradient is opaque like every other fill of the section.
    if (bmp.PixelFormat() != tw::pf32bit) return;
    GdiFlush();
    const tw::TPixelView v32 = bmp.PixelView();
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) v32.Pixel(x, y)[3] = 255;
}

} // namespace skin
