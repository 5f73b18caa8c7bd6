#include "skin/engine/data/SkinColors.h"

#include <algorithm>
#include <cmath>

#include "base/Rounding.h"
#include "skin/engine/data/sSkinManager.h"

namespace skin {

namespace {
int Channel(double v) { return tw::RoundToByte(v); }
} // namespace

TColor ChangeSaturation(TColor c, int percent)
{
    if (percent == 0) return c;
    c = ColorToRGB(c);
    const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    const double m = (r + g + b) / 3.0;
    auto f = [&](int x) { return Channel(percent * ((m - x) / 100.0) + x); };
    return f(r) | f(g) << 8 | f(b) << 16;
}

TColor ChangeHue(int delta, TColor c)
{
    c = ColorToRGB(c);
    const int r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    const double v = mx;
    const double s = mx == 0 ? 0.0 : double(mx - mn) / mx;
    if (s == 0.0) return mx | mx << 8 | mx << 16;
    const double d = mx - mn;
    double h;
    if (r == mx)
        h = 60.0 * (g - b) / d;
    else if (g == mx)
        h = 120.0 + 60.0 * (b - r) / d;
    else
        h = 240.0 + 60.0 * (r - g) / d;
    if (h < 0) h += 360.0;
    int hue = static_cast<int>(tw::RoundHalfEven(h + delta) % 360);
    if (hue < 0) hue += 360;
    const int sector = hue / 60;
    const double f = hue / 60.0 - sector;
    const int p = Channel((1 - s) * v), q = Channel((1 - s * f) * v), t = Channel((1 - (1 - f) * s) * v);
    const int V = Channel(v);
    int rr, gg, bb;
    switch (sector) {
    case 0: rr = V, gg = t, bb = p; break;
    case 1: rr = q, gg = V, bb = p; break;
    case 2: rr = p, gg = V, bb = t; break;
    case 3: rr = p, gg = q, bb = V; break;
    case 4: rr = t, gg = p, bb = V; break;
    default: rr = V, gg = p, bb = q; break;
    }
    return rr | gg << 8 | bb << 16;
}

void ChangePixelColours(const TPixelView& v, const std::function<TColor(TColor)>& change)
{
    if (v.Empty()) return;
    const int bpp = v.BytesPerPixel();
    for (int y = 0; y < v.Height; ++y) {
        uint8_t* p = v.Row(y);
        for (int x = 0; x < v.Width; ++x, p += bpp) {
            const TColor c = p[2] | p[1] << 8 | p[0] << 16;
            if (c == clKeyColor || (p[0] == p[1] && p[1] == p[2])) continue;
            const TColor n = change(c);
            p[0] = uint8_t(n >> 16);
            p[1] = uint8_t(n >> 8);
            p[2] = uint8_t(n);
        }
    }
}

} // namespace skin
