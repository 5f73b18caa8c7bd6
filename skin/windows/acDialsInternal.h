#pragma once
// What the dialog adapter's source files share and nobody else needs: small
// conversions of window data and the pixel copies of the frame picture.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/FormGeometry.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/Graphics.h"

namespace skin::dials_detail {

inline std::string GetWndClassName(HWND wnd)
{
    char name[128] = {};
    const int n = GetClassNameA(wnd, name, sizeof(name));
    return std::string(name, size_t(std::max(n, 0)));
}

inline std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline bool Has(LONG_PTR style, LONG_PTR mask) { return (style & mask) == mask; }

inline int MaskOf(const TsSkinManager* sm, const char* name)
{
    return sm->GetMaskIndex(sm->ConstData.IndexGlobalInfo, "GLOBALINFO", name);
}

inline bool IsTitleButton(int c) { return c == htClose || c == htMaxButton || c == htMinButton || c == htHelp; }

// Copies r of src into dst at the same place, alpha and all.
inline void CopyPixels(const TPixelView& dst, const TPixelView& src, TRect r)
{
    r = TRect(std::max(0, r.Left), std::max(0, r.Top), std::min({r.Right, dst.Width, src.Width}),
              std::min({r.Bottom, dst.Height, src.Height}));
    if (r.Right <= r.Left || dst.BitsPerPixel != src.BitsPerPixel)
        return;
    for (int y = r.Top; y < r.Bottom; ++y)
        std::memcpy(dst.Pixel(r.Left, y), src.Pixel(r.Left, y), size_t(r.Right - r.Left) * size_t(dst.BytesPerPixel()));
}

// Pixels of r that now differ from before become opaque (what the title
// drew over the border picture); the others keep the alpha they had.
inline void OpaqueWhereChanged(const TPixelView& now, const TPixelView& before, TRect r)
{
    if (now.BitsPerPixel != 32 || before.BitsPerPixel != 32)
        return;
    r = TRect(std::max(0, r.Left), std::max(0, r.Top), std::min({r.Right, now.Width, before.Width}),
              std::min({r.Bottom, now.Height, before.Height}));
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) {
            uint8_t* p = now.Pixel(x, y);
            const uint8_t* q = before.Pixel(x, y);
            p[3] = p[0] != q[0] || p[1] != q[1] || p[2] != q[2] ? uint8_t(0xFF) : q[3];
        }
}

} // namespace skin::dials_detail
