#include "skin/engine/painting/GlyphDrawing.h"

#include <algorithm>
#include <cmath>

#include "base/Rounding.h"
#include "skin/engine/images/SkinPictures.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

namespace {

bool IsKey(const uint8_t* p) { return p[0] == 0xFF && p[1] == 0 && p[2] == 0xFF; }

uint8_t RoundByte(double v) { return tw::RoundToByte(v); }

TColor PixelColor(const uint8_t* p) { return p[2] | p[1] << 8 | p[0] << 16; }

} // namespace

void DrawAlphaGlyph(TRect dstRect, TRect srcRect, const TPixelView& dst, const TPixelView& src, const TCacheInfo& ci,
                    bool fillKeyFromBG)
{
    if (dst.Empty() || src.Empty()) return;
    if (dstRect.Left < 0) { srcRect.Left -= dstRect.Left; dstRect.Left = 0; }
    if (dstRect.Top < 0) { srcRect.Top -= dstRect.Top; dstRect.Top = 0; }
    if (srcRect.Left < 0) { dstRect.Left -= srcRect.Left; srcRect.Left = 0; }
    if (srcRect.Top < 0) { dstRect.Top -= srcRect.Top; srcRect.Top = 0; }
    const bool is32 = src.BitsPerPixel == 32;
    // A 24-bit source carries its weights in its lower half.
    const int half = is32 ? 0 : src.Height / 2;
    const int srcLimit = is32 ? src.Height : half;
    const int w = std::min({dstRect.Width(), srcRect.Width(), dst.Width - dstRect.Left, src.Width - srcRect.Left});
    const int h = std::min({dstRect.Height(), srcRect.Height(), dst.Height - dstRect.Top, srcLimit - srcRect.Top});
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const int dx = dstRect.Left + i, dy = dstRect.Top + j;
            const uint8_t* s = src.Pixel(srcRect.Left + i, srcRect.Top + j);
            uint8_t* d = dst.Pixel(dx, dy);
            if (ci.Ready && IsKey(s)) {
                if (fillKeyFromBG && ci.Bmp.Contains(ci.X + dx, ci.Y + dy)) {
                    const uint8_t* b = ci.Bmp.Pixel(ci.X + dx, ci.Y + dy);
                    d[0] = b[0], d[1] = b[1], d[2] = b[2];
                    if (db == 4) d[3] = 255;
                }
                continue;
            }
            if (is32) {
                const int a = s[3];
                for (int c = 0; c < 3; ++c) d[c] = uint8_t(((s[c] - d[c]) * a + d[c] * 256) >> 8);
            } else {
                const uint8_t* m = src.Pixel(srcRect.Left + i, srcRect.Top + j + half);
                for (int c = 0; c < 3; ++c) d[c] = uint8_t(((d[c] - s[c]) * m[c] + s[c] * 256) >> 8);
            }
            if (db == 4) d[3] = 255;
            (void)sb;
        }
}

void DrawAlphaBitmap(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TPixelView& src,
                     const TCacheInfo& ci, bool fillKeyFromBG, TColor tintColor, int blend, bool reflected)
{
    if (dst.Empty() || src.Empty()) return;
    std::unique_ptr<TPixelImage> copy = ConvertPicture(src, 32);
    const TPixelView& s = copy->View();
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) {
            uint8_t* p = s.Pixel(x, y);
            if (tintColor != clNoTint && !IsKey(p)) {
                const int grey = (p[0] + p[1] + p[2]) / 3;
                p[0] = tw::RoundToByte(grey * ((tintColor >> 16) & 0xFF) / 255.0);
                p[1] = tw::RoundToByte(grey * ((tintColor >> 8) & 0xFF) / 255.0);
                p[2] = tw::RoundToByte(grey * (tintColor & 0xFF) / 255.0);
            }
            if (blend != 0) p[3] = uint8_t(p[3] * (100 - std::clamp(blend, 0, 100)) / 100);
        }
    DrawAlphaGlyph(dstRect, srcRect, dst, s, ci, fillKeyFromBG);
    if (!reflected) return;
    const int halfSrc = s.Height / 2;
    const int n = std::min(halfSrc - 1, dst.Height - dstRect.Bottom - 1);
    if (n < 1 || halfSrc == 0) return;
    const int step = 255 / halfSrc;
    int fade = 255;
    const int db = dst.BytesPerPixel();
    for (int row = 0; row < n; ++row, fade -= step) {
        const int sy = srcRect.Bottom - 1 - row, dy = dstRect.Bottom + row;
        if (sy < 0 || sy >= s.Height || dy < 0 || dy >= dst.Height) continue;
        for (int i = 0; i < std::min(dstRect.Width(), srcRect.Width()); ++i) {
            const int sx = srcRect.Left + i, dx = dstRect.Left + i;
            if (!s.Contains(sx, sy) || !dst.Contains(dx, dy)) continue;
            const uint8_t* p = s.Pixel(sx, sy);
            if (IsKey(p)) continue;
            // The picture's alpha already carries the blend value (a * (100 -
            // blend) div 100), so a third of it is the mirror's (a * (100 -
            // blend)) div 300; weighing it by the blend again would fade the
            // mirror of a blended picture twice.
            const int a = (p[3] / 3) * fade / 255;
            const int w = std::max(a, 0) & 0xFF;
            uint8_t* d = dst.Pixel(dx, dy);
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(((p[c] - d[c]) * w + d[c] * 256) >> 8);
            if (db == 4) d[3] = 255;
        }
    }
}

void MixBitmapsRect(const TPixelView& dst, const TPixelView& src, TColor blend, TRect srcRect, TPoint dstPoint)
{
    if (dst.Empty() || src.Empty() || dst.BitsPerPixel != src.BitsPerPixel) return;
    if (dstPoint.X < 0) { srcRect.Left -= dstPoint.X; dstPoint.X = 0; }
    if (dstPoint.Y < 0) { srcRect.Top -= dstPoint.Y; dstPoint.Y = 0; }
    if (srcRect.Left < 0) { dstPoint.X -= srcRect.Left; srcRect.Left = 0; }
    if (srcRect.Top < 0) { dstPoint.Y -= srcRect.Top; srcRect.Top = 0; }
    srcRect.Right = std::min({srcRect.Right, src.Width, srcRect.Left + dst.Width - dstPoint.X});
    srcRect.Bottom = std::min({srcRect.Bottom, src.Height, srcRect.Top + dst.Height - dstPoint.Y});
    if (srcRect.Width() <= 0 || srcRect.Height() <= 0) return;
    static TacFastSum24 sum24;
    TacFastSum32 sum32;
    TacFastSum24& sum = src.BitsPerPixel == 32 ? sum32 : sum24;
    // Not through Attach, which takes no picture thinner than 2 x 2: an
    // item one pixel high or wide is mixed like any other.
    sum.Src = src;
    sum.Dst = dst;
    sum.Alpha = uint8_t(blend & 0xFF);
    sum.SourceRect = srcRect;
    sum.DestRect = {dstPoint.X, dstPoint.Y, dstPoint.X + srcRect.Width(), dstPoint.Y + srcRect.Height()};
    sum.Blend();
}

void SumBitmaps(const TPixelView& dst, const TPixelView& src, uint8_t alpha)
{
    if (dst.Empty() || src.Empty() || dst.Width != src.Width || dst.Height != src.Height) return;
    MixBitmapsRect(dst, src, alpha, {0, 0, src.Width, src.Height}, {0, 0});
}

void BlendBmpRect(const TPixelView& dst, int x, int y, const TPixelView& src, TRect srcRect, double k, TColor transColor)
{
    if (dst.Empty() || src.Empty() || dst.BitsPerPixel != src.BitsPerPixel) return;
    srcRect.Left = std::max(srcRect.Left, 0);
    srcRect.Top = std::max(srcRect.Top, 0);
    srcRect.Right = std::min(srcRect.Right, src.Width);
    srcRect.Bottom = std::min(srcRect.Bottom, src.Height);
    const bool keyed = ((uint32_t(transColor) >> 24) & 0xFF) < 0xFF;
    const int bytes = dst.BytesPerPixel();
    const uint32_t transPixel = uint32_t(transColor);
    for (int sy = srcRect.Top; sy < srcRect.Bottom; ++sy) {
        const int dy = y + sy - srcRect.Top;
        // Rows and columns outside the destination on any side are skipped.
        if (dy < 0 || dy >= dst.Height) continue;
        for (int sx = srcRect.Left; sx < srcRect.Right; ++sx) {
            const int dx = x + sx - srcRect.Left;
            if (dx < 0 || dx >= dst.Width) continue;
            const uint8_t* s = src.Pixel(sx, sy);
            if (keyed) {
                const bool skip = bytes == 4 ? (PixelColor(s) | uint32_t(s[3]) << 24) == transPixel
                                             : PixelColor(s) == (transColor & 0xFFFFFF);
                if (skip) continue;
            }
            uint8_t* d = dst.Pixel(dx, dy);
            for (int c = 0; c < bytes; ++c) d[c] = RoundByte(s[c] - (s[c] - d[c]) * k);
        }
    }
}

void BlendBmpWithColor(const TPixelView& bmp, TColor color, TColor transColor, double k)
{
    if (bmp.Empty()) return;
    const int bytes = bmp.BytesPerPixel();
    const int c[3] = {(color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF};
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            const uint32_t value = bytes == 4 ? (uint32_t(PixelColor(p)) | uint32_t(p[3]) << 24) : uint32_t(PixelColor(p));
            if (value == uint32_t(transColor)) continue;
            for (int i = 0; i < 3; ++i) p[i] = RoundByte((p[i] - c[i]) * k + c[i]);
        }
}

void MultiplyByMask(const TPixelView& bmp, const TPixelView& mask, TColor color)
{
    if (bmp.Empty() || mask.Empty() || bmp.Width != mask.Width || bmp.Height != mask.Height) return;
    const int c[3] = {(color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF};
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            const uint8_t* m = mask.Pixel(x, y);
            for (int i = 0; i < 3; ++i) p[i] = uint8_t(((p[i] - c[i]) * m[i] + c[i] * 256) >> 8);
        }
}

void GrayScaleTrans(const TPixelView& bmp, TColor transColor)
{
    if (bmp.Empty()) return;
    for (int y = 0; y < bmp.Height; ++y)
        for (int x = 0; x < bmp.Width; ++x) {
            uint8_t* p = bmp.Pixel(x, y);
            if (transColor != clNone && PixelColor(p) == transColor) continue;
            p[0] = p[1] = p[2] = uint8_t((p[0] + p[1] + p[2]) / 3);
        }
}

void GrayScale(const TPixelView& bmp) { GrayScaleTrans(bmp, clNone); }

void CopyChannel(const TPixelView& bmp32, uint8_t* plane, ptrdiff_t planeStride, int channel, bool toPlane)
{
    if (bmp32.Empty() || bmp32.BitsPerPixel != 32 || !plane || channel < 0 || channel > 3) return;
    for (int y = 0; y < bmp32.Height; ++y)
        for (int x = 0; x < bmp32.Width; ++x) {
            uint8_t& b = plane[planeStride * y + x];
            uint8_t& p = bmp32.Pixel(x, y)[channel];
            if (toPlane)
                b = p;
            else
                p = b;
        }
}

namespace {

// The frame of the glyph's states to show.
int GlyphFrame(int numGlyphs, bool enabled, int state, int down, bool monochrome)
{
    if (numGlyphs == 1 || !enabled || state == 0) return 0;
    if (state == 1) return monochrome ? 0 : 1;
    if (state == 2) return numGlyphs > down + 2 ? down + 2 : monochrome ? 0 : std::min(1, numGlyphs - 1);
    return 0;
}

// A glyph with alpha goes by its alpha: no colour of it stands for
// transparency, and a blend value fades that alpha.
void DrawAlphaGlyphFrame(const TPixelView& glyph, const TPixelView& dst, const TRect& r, int numGlyphs, bool enabled,
                         unsigned disabledKind, int state, int blend, int down, bool monochrome)
{
    const int w = glyph.Width / numGlyphs;
    if (w <= 0) return;
    const int frame = GlyphFrame(numGlyphs, enabled, state, down, monochrome);
    const TRect src{frame * w, 0, (frame + 1) * w, glyph.Height};
    int opacity = 100;
    if (numGlyphs != 1) {
        if (!enabled && state == 0 && blend >= 1) opacity = 100 - blend;
        BlendRectOver(dst, r.Left, r.Top, glyph, src, opacity);
        return;
    }
    if (enabled) {
        if (state == 0 && blend >= 1) opacity = 100 - blend;
        BlendRectOver(dst, r.Left, r.Top, glyph, src, opacity);
        return;
    }
    std::unique_ptr<TPixelImage> g = ConvertPicture(glyph, 32);
    if (disabledKind & dkGrayed) GrayScale(g->View());
    if (disabledKind & dkBlended) opacity = 50;
    BlendRectOver(dst, r.Left, r.Top, g->View(), src, opacity);
}

} // namespace

void DrawGlyphBitmap(const TPixelView& glyph, const TPixelView& dst, const TRect& r, int numGlyphs, bool enabled,
                     unsigned disabledKind, int state, int blend, int down, bool monochrome)
{
    if (glyph.Empty() || dst.Empty() || numGlyphs < 1) return;
    if (glyph.BitsPerPixel == 32) {
        DrawAlphaGlyphFrame(glyph, dst, r, numGlyphs, enabled, disabledKind, state, blend, down, monochrome);
        return;
    }
    std::unique_ptr<TPixelImage> g = ConvertPicture(glyph, 24);
    const TPixelView& gv = g->View();
    const TColor firstKey = PixelColor(gv.Pixel(0, gv.Height - 1));
    if (numGlyphs != 1) {
        const int frame = GlyphFrame(numGlyphs, enabled, state, down, monochrome);
        const int w = gv.Width / numGlyphs;
        if (w <= 0) return;
        const TRect src{frame * w, 0, (frame + 1) * w - 1, gv.Height - 1};
        if (enabled) {
            CopyKeyColorRect(dst, gv, r.Left, r.Top, src, PixelColor(gv.Pixel(frame * w, gv.Height - 1)));
        } else if (state == 0 && blend >= 1) {
            BlendBmpRect(dst, r.Left, r.Top, gv, {src.Left, src.Top, src.Right + 1, src.Bottom + 1}, blend / 100.0, firstKey);
        } else {
            CopyKeyColorRect(dst, gv, r.Left, r.Top, src, firstKey);
        }
        return;
    }
    const TRect whole{0, 0, gv.Width, gv.Height};
    if (enabled) {
        if (state != 0 || blend < 1)
            CopyKeyGlyph(dst, gv, r.Left, r.Top, firstKey);
        else
            BlendBmpRect(dst, r.Left, r.Top, gv, whole, blend / 100.0, firstKey);
        return;
    }
    // The key stays the key: a greyed key colour would show as a grey box.
    if (disabledKind & dkGrayed) GrayScaleTrans(gv, firstKey);
    if (disabledKind & dkBlended)
        BlendBmpRect(dst, r.Left, r.Top, gv, whole, 0.5, firstKey);
    else
        CopyKeyGlyph(dst, gv, r.Left, r.Top, firstKey);
}

void StretchBmpByMargins(const TPixelView& dst, const TPixelView& src, const TRect& d, const TRect& s,
                         const TRect& m, const TRect& limits, const int (&sideModes)[4], int centreMode, bool fillCentre)
{
    if (dst.Empty() || src.Empty()) return;
    const int l2 = std::min(m.Left, limits.Left), t2 = std::min(m.Top, limits.Top);
    const int r2 = std::min(m.Right, limits.Right), b2 = std::min(m.Bottom, limits.Bottom);
    auto copy = [&](int w, int h, int sx, int sy, int dx, int dy) {
        if (w > 0 && h > 0) CopyRectPixels(dst, {dx, dy, dx + w, dy + h}, src, {sx, sy});
    };
    // Corners, each cut to the corner limits where those are smaller.
    copy(m.Left, t2, s.Left, s.Top, d.Left, d.Top);
    if (m.Top != t2) copy(l2, m.Top - t2, s.Left, s.Top + t2, d.Left, d.Top + t2);
    copy(m.Left, b2, s.Left, s.Bottom - b2, d.Left, d.Bottom - b2);
    if (m.Bottom != b2) copy(l2, m.Bottom - b2, s.Left, s.Bottom - m.Bottom, d.Left, d.Bottom - m.Bottom);
    copy(m.Right, t2, s.Right - m.Right, s.Top, d.Right - m.Right, d.Top);
    if (m.Top != t2) copy(r2, m.Top - t2, s.Right - r2, s.Top + t2, d.Right - r2, d.Top + t2);
    copy(m.Right, b2, s.Right - m.Right, s.Bottom - b2, d.Right - m.Right, d.Bottom - b2);
    if (m.Bottom != b2) copy(r2, m.Bottom - b2, s.Right - r2, s.Bottom - m.Bottom, d.Right - r2, d.Bottom - m.Bottom);

    const int cw = s.Width() - m.Left - m.Right, ch = s.Height() - m.Top - m.Bottom;
    // One piece of the source repeated over an area (the last cut), or stretched.
    auto fill = [&](const TRect& area, const TRect& piece, int mode) {
        if (area.Width() <= 0 || area.Height() <= 0 || piece.Width() <= 0 || piece.Height() <= 0) return;
        if (mode == 1) {
            StretchRectPixels(dst, area, src, piece);
            return;
        }
        ForEachTile(area, piece.Width(), piece.Height(), PictureRect(dst),
                    [&](const TRect& t) { CopyRectPixels(dst, t, src, {piece.Left, piece.Top}); });
    };
    fill({d.Left, d.Top + m.Top, d.Left + l2, d.Bottom - m.Bottom}, {s.Left, s.Top + m.Top, s.Left + l2, s.Top + m.Top + ch},
         sideModes[0]);
    fill({d.Left + m.Left, d.Top, d.Right - m.Right, d.Top + t2}, {s.Left + m.Left, s.Top, s.Left + m.Left + cw, s.Top + t2},
         sideModes[1]);
    fill({d.Right - r2, d.Top + m.Top, d.Right, d.Bottom - m.Bottom},
         {s.Right - r2, s.Top + m.Top, s.Right, s.Top + m.Top + ch}, sideModes[2]);
    fill({d.Left + m.Left, d.Bottom - b2, d.Right - m.Right, d.Bottom},
         {s.Left + m.Left, s.Bottom - b2, s.Left + m.Left + cw, s.Bottom}, sideModes[3]);
    if (fillCentre)
        fill({d.Left + m.Left, d.Top + m.Top, d.Right - m.Right, d.Bottom - m.Bottom},
             {s.Left + m.Left, s.Top + m.Top, s.Left + m.Left + cw, s.Top + m.Top + ch}, centreMode);
}

} // namespace skin
