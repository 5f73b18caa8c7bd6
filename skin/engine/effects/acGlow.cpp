#include "skin/engine/effects/acGlow.h"

#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

TGlowPlacement GlowPlacement(const TRect& r, const TRect& clip, int wl, int wt, int wr, int wb, int margin)
{
    TGlowPlacement p;
    // A control with nothing visible gets no halo (the cuts below would leave
    // a strip of it beside the hidden control).
    if (clip.Width() <= 0 || clip.Height() <= 0) return p;
    const int w = r.Width(), h = r.Height();
    int W = w + wl + wr - 2 * margin, H = h + wt + wb - 2 * margin;
    p.FullWidth = W;
    p.FullHeight = H;
    int dx = 0, dy = 0, rw = 0, bh = 0;
    if (clip.Width() != w || clip.Height() != h) {
        dx = clip.Left != 0 ? wl + clip.Left - margin : 0;
        dy = clip.Top != 0 ? wt + clip.Top - margin : 0;
        if (clip.Right != w) rw = dx != 0 ? W - dx - clip.Width() : (w - clip.Width()) + wr - margin;
        if (clip.Bottom != h) bh = dy == 0 ? (h - clip.Height()) + wb - margin : H - dy - clip.Height();
        W -= dx + rw;
        H -= dy + bh;
    }
    p.CropX = dx;
    p.CropY = dy;
    p.Width = W;
    p.Height = H;
    p.Pos = TPoint(r.Left - wl + margin + dx, r.Top - wt + margin + dy);
    return p;
}

TPixelImage CreateGlowPicture(const TsSkinManager& sm, int maskIndex, int width, int height)
{
    // A halo is the control's size plus the glow mask's piece widths, which
    // a skin may declare up to 32767 each: beyond the largest picture a skin
    // may bring there is no halo rather than gigabytes of one.
    if (!PictureSizeAllowed(width, height)) return TPixelImage();
    TPixelImage pic(width, height, 32);
    if (sm.MaskIndexValid(maskIndex) && !pic.View().Empty())
        DrawMaskRect(pic.View(), TRect(0, 0, width, height), true, EmptyCacheInfo(), sm.ma[size_t(maskIndex)], 0, false);
    return pic;
}

TPixelImage CutGlowPicture(const TPixelImage& full, const TGlowPlacement& p)
{
    // The piece shown is at most the whole halo: one refused for its size
    // is not allocated here instead.
    if (!p.Valid() || full.View().Empty() || !PictureSizeAllowed(p.Width, p.Height)) return TPixelImage();
    TPixelImage out(p.Width, p.Height, 32);
    const TPixelView& src = full.View();
    const TPixelView& dst = out.View();
    for (int y = 0; y < p.Height; ++y) {
        const int sy = y + p.CropY;
        if (sy < 0 || sy >= src.Height) continue;
        for (int x = 0; x < p.Width; ++x) {
            const int sx = x + p.CropX;
            if (sx < 0 || sx >= src.Width) continue;
            const uint8_t* s = src.Pixel(sx, sy);
            uint8_t* d = dst.Pixel(x, y);
            const unsigned a = s[3];
            for (int c = 0; c < 3; ++c) d[c] = uint8_t((s[c] * a + 127) / 255);
            d[3] = uint8_t(a);
        }
    }
    return out;
}

} // namespace skin
