#include "skin/engine/painting/AlphaPrimitives.h"

#include <algorithm>
#include <atomic>
#include <utility>
#include <vector>
#include <cmath>

#include "base/Rounding.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {

namespace {

bool SameKey(const uint8_t* p, TColor key)
{
    return p[0] == uint8_t(key >> 16) && p[1] == uint8_t(key >> 8) && p[2] == uint8_t(key);
}

void Put3(uint8_t* d, const uint8_t* s, int dstBytes)
{
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    if (dstBytes == 4) d[3] = 255;
}

// A pixel of a picture that carries its own alpha (a PNG glyph), laid over
// what is under it: a transparent pixel leaves the destination as it was
// instead of showing as black, a half-transparent one mixes.
void PutOver(uint8_t* d, const uint8_t* s, int dstBytes)
{
    const int a = s[3];
    if (a == 255) {
        Put3(d, s, dstBytes);
        return;
    }
    if (a == 0) return;
    for (int i = 0; i < 3; ++i) d[i] = uint8_t((s[i] * a + d[i] * (255 - a) + 127) / 255);
    if (dstBytes == 4) d[3] = uint8_t(a + (d[3] * (255 - a) + 127) / 255);
}

// A source pixel onto the destination: over it by its alpha when the
// source has one and the destination does not keep it.
void PutPiece(uint8_t* d, const uint8_t* s, int dstBytes, int srcBytes)
{
    if (srcBytes == 4 && dstBytes == 3)
        PutOver(d, s, dstBytes);
    else if (srcBytes == 4)
        std::copy(s, s + 4, d);
    else
        Put3(d, s, dstBytes);
}

void PutColor(uint8_t* d, TColor c, int dstBytes)
{
    d[0] = uint8_t(c >> 16);
    d[1] = uint8_t(c >> 8);
    d[2] = uint8_t(c);
    if (dstBytes == 4) d[3] = 255;
}

// An inclusive source rect cut to the picture.
TRect ClipInclusive(TRect r, const TPixelView& v)
{
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, v.Width - 1);
    r.Bottom = std::min(r.Bottom, v.Height - 1);
    return r;
}

// The row of a mask's transparency half that belongs to source row sy, when
// it lies in the picture. A mask whose rectangle is turned inside out puts
// the half above row 0, so both bounds are checked.
bool BandRowInside(const TPixelView& src, int sy, int band)
{
    const int64_t y = int64_t(sy) + band;
    return y >= 0 && y < src.Height;
}

// Calls f(dx, dy, sx, sy) for every pixel of a w x h block at dst (x, y) from
// src (sx, sy) that lies inside both pictures.
template <class F> void ForOverlap(const TPixelView& dst, int x, int y, const TPixelView& src, int sx, int sy, int w, int h, F f)
{
    if (x < 0) { sx -= x; w += x; x = 0; }
    if (y < 0) { sy -= y; h += y; y = 0; }
    if (sx < 0) { x -= sx; w += sx; sx = 0; }
    if (sy < 0) { y -= sy; h += sy; sy = 0; }
    w = std::min({w, dst.Width - x, src.Width - sx});
    h = std::min({h, dst.Height - y, src.Height - sy});
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) f(x + i, y + j, sx + i, sy + j);
}

} // namespace

TCacheInfo MakeCacheInfo(const TPixelView& bmp, int x, int y)
{
    TCacheInfo ci;
    ci.Bmp = bmp;
    ci.X = x;
    ci.Y = y;
    ci.FillColor = clKeyColor;
    ci.Ready = true;
    return ci;
}

const TCacheInfo& EmptyCacheInfo()
{
    static const TCacheInfo empty;
    return empty;
}

bool TacFastRows::AttachRows(const TPixelView& bmp, int bitsPerPixel)
{
    if (bmp.Empty() || bmp.BitsPerPixel != bitsPerPixel || bmp.Width < 2 || bmp.Height < 2) {
        Width = 0;
        return false;
    }
    Width = bmp.Width;
    Height = bmp.Height;
    FirstRow = bmp.Bits;
    RowDelta = bmp.Stride;
    return true;
}

TColor TacFast24::GetPixel(int x, int y) const
{
    const uint8_t* p = FirstRow + RowDelta * y + 3 * x;
    return p[2] | p[1] << 8 | p[0] << 16;
}

void TacFast24::SetPixel(int x, int y, TColor c) { PutColor(FirstRow + RowDelta * y + 3 * x, c, 3); }

uint32_t TacFast32::GetPixel(int x, int y) const
{
    const uint8_t* p = FirstRow + RowDelta * y + 4 * x;
    return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16 | uint32_t(p[3]) << 24;
}

void TacFast32::SetPixel(int x, int y, uint32_t c)
{
    uint8_t* p = FirstRow + RowDelta * y + 4 * x;
    p[0] = uint8_t(c >> 16);
    p[1] = uint8_t(c >> 8);
    p[2] = uint8_t(c);
    p[3] = uint8_t(c >> 24);
}

void TacFast32::FillRect(const TRect& r, uint32_t pixel)
{
    // Kept inside the picture: callers pass rects of controls that may overhang.
    const int left = std::max(r.Left, 0), right = std::min(r.Right, Width);
    for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, Height); ++y)
        FillLongword(reinterpret_cast<uint32_t*>(FirstRow + RowDelta * y) + left, right - left, pixel);
}

bool TacFastSum24::Attach(const TPixelView& src, const TPixelView& dst)
{
    if (src.Empty() || dst.Empty() || src.Width < 2 || src.Height < 2 || dst.Width < 2 || dst.Height < 2) return false;
    Src = src;
    Dst = dst;
    return true;
}

void TacFastSum24::Blend()
{
    if (Src.Empty() || Dst.Empty() || Src.BytesPerPixel() != bytes_ || Dst.BytesPerPixel() != bytes_) return;
    const int a = Alpha, na = 255 - a;
    const int dx = SourceRect.Left - DestRect.Left, dy = SourceRect.Bottom - DestRect.Bottom;
    // Only rows and columns inside the destination are walked.
    const int top = std::max(DestRect.Top, 0), left = std::max(DestRect.Left, 0);
    for (int y = std::min(DestRect.Bottom, Dst.Height) - 1; y >= top; --y) {
        const int sy = y + dy;
        if (sy < 0 || sy >= Src.Height) continue;
        for (int x = std::min(DestRect.Right, Dst.Width) - 1; x >= left; --x) {
            const int sx = x + dx;
            if (x < 0 || x >= Dst.Width || sx < 0 || sx >= Src.Width) continue;
            uint8_t* d = Dst.Row(y) + x * bytes_;
            const uint8_t* s = Src.Row(sy) + sx * bytes_;
            for (int b = bytes_ - 1; b >= 0; --b) d[b] = uint8_t((d[b] * a + s[b] * na + 127) >> 8);
        }
    }
}

void FillLongword(uint32_t* p, int count, uint32_t value)
{
    for (int i = 0; i < count; ++i) p[i] = value;
}

uint32_t ColorToPixel32(TColor c)
{
    return uint32_t(c & 0xFF) << 16 | uint32_t(c & 0xFF00) | uint32_t((c >> 16) & 0xFF) | 0xFF000000u;
}

void FillRect32(const TPixelView& bmp, const TRect& r, TColor c)
{
    if (bmp.Empty() || bmp.BitsPerPixel != 32) return;
    // Rows of the picture directly: the row accessor takes no picture
    // thinner than 2 x 2, and an item one pixel high or wide is filled too.
    // Stored as bytes blue, green, red, alpha: the value little-endian.
    const uint32_t px = ColorToPixel32(c);
    const int left = std::max(r.Left, 0), right = std::min(r.Right, bmp.Width);
    for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, bmp.Height); ++y)
        if (left < right) FillLongword(reinterpret_cast<uint32_t*>(bmp.Row(y)) + left, right - left, px);
}

void BlendColorRect(const TPixelView& bmp, TRect r, int percent, TColor c)
{
    if (bmp.Empty()) return;
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, bmp.Width - 1);
    r.Bottom = std::min(r.Bottom, bmp.Height - 1);
    c = ColorToRGB(c);
    const double k = (percent & 255) / 100.0;
    const double cb = (c >> 16) & 0xFF, cg = (c >> 8) & 0xFF, cr = c & 0xFF;
    auto mix = [k](double p, double col) {
        return tw::RoundToByte(p * k + col * (1 - k));
    };
    // A channel has 256 values: each is mixed once, not once per pixel
    // (a window's frame blends whole title bars).
    uint8_t blue[256], green[256], red[256];
    for (int v = 0; v < 256; ++v) {
        blue[v] = mix(v, cb);
        green[v] = mix(v, cg);
        red[v] = mix(v, cr);
    }
    const int bpp = bmp.BytesPerPixel();
    for (int y = r.Top; y <= r.Bottom; ++y)
        for (int x = r.Left; x <= r.Right; ++x) {
            uint8_t* p = bmp.Row(y) + x * bpp;
            p[0] = blue[p[0]];
            p[1] = green[p[1]];
            p[2] = red[p[2]];
        }
}

void CopyKeyColorRect(const TPixelView& dst, const TPixelView& src, int x, int y, TRect r, TColor key)
{
    if (dst.Empty() || src.Empty()) return;
    r = ClipInclusive(r, src);
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    ForOverlap(dst, x, y, src, r.Left, r.Top, r.Right - r.Left + 1, r.Bottom - r.Top + 1, [&](int dx, int dy, int sx, int sy) {
        const uint8_t* s = src.Row(sy) + sx * sb;
        if (SameKey(s, key)) return;
        if (sb == 4)
            PutOver(dst.Row(dy) + dx * db, s, db);
        else
            Put3(dst.Row(dy) + dx * db, s, db);
    });
}

void CopyKeyGlyph(const TPixelView& dst, const TPixelView& src, int x, int y, TColor transColor)
{
    if (dst.Empty() || src.Empty()) return;
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    ForOverlap(dst, x, y, src, 0, 0, src.Width, src.Height, [&](int dx, int dy, int sx, int sy) {
        const uint8_t* s = src.Row(sy) + sx * sb;
        if (!SameKey(s, transColor)) Put3(dst.Row(dy) + dx * db, s, db);
    });
}

void CopyKeyColorPiece(const TPixelView& dst, const TPixelView& src, int x, int y, TRect r, TColor key,
                       const TCacheInfo& ci, bool useBG)
{
    if (dst.Empty() || src.Empty()) return;
    r = ClipInclusive(r, src);
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    const bool withBG = useBG && ci.Ready && !ci.Bmp.Empty();
    if (withBG && db == 4 && ci.Bmp.BitsPerPixel != 32) return;
    const bool dstIsCache = withBG && ci.Bmp.Bits == dst.Bits;
    const uint8_t keyPixel[4] = {uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key), 0};
    ForOverlap(dst, x, y, src, r.Left, r.Top, r.Right - r.Left + 1, r.Bottom - r.Top + 1, [&](int dx, int dy, int sx, int sy) {
        const uint8_t* s = src.Row(sy) + sx * sb;
        uint8_t* d = dst.Row(dy) + dx * db;
        if (withBG) {
            const bool keyPixel = SameKey(s, key);
            // What lies behind comes first; a piece with its own alpha is
            // then laid over it, into either depth.
            if ((keyPixel || sb == 4) && !dstIsCache) {
                const int bx = ci.X + dx, by = ci.Y + dy;
                if (ci.Bmp.Contains(bx, by)) Put3(d, ci.Bmp.Pixel(bx, by), db);
            }
            if (keyPixel) return;
            if (sb == 4)
                PutOver(d, s, db);
            else
                Put3(d, s, db);
            return;
        }
        const bool isKey = sb == 4 ? std::equal(s, s + 4, keyPixel) : SameKey(s, key);
        if (!isKey) {
            PutPiece(d, s, db, sb);
        } else if (!ci.Ready) {
            PutColor(d, ci.FillColor, db);
        }
    });
}

void CopyBGToKeyPixels(const TPixelView& dst, const TPixelView& src, const TRect& dstRect, TPoint srcPoint,
                       int maskIndex, const TsSkinManager* sm, int pieceCode)
{
    if (dst.Empty() || src.Empty()) return;
    const TPixelImage* maskImage = nullptr;
    TPoint origin;
    if (maskIndex >= 0) {
        if (!sm || !sm->MaskIndexValid(maskIndex)) return;
        const TsMaskData& m = sm->ma[size_t(maskIndex)];
        maskImage = sm->MaskImage(maskIndex);
        if (!maskImage || maskImage->Width() == 0) return;
        origin = {m.R.Left, m.R.Top};
        if (pieceCode == 14 || pieceCode == 17) origin.X += MaskFrameWidth(m) - m.WR;
        if (pieceCode == 16 || pieceCode == 17) origin.Y += MaskFrameHeight(m) - m.WB;
    }
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    // Only the part of the rect that lies inside the destination, the source
    // and the mask's picture is walked: a rect reaching past the right or
    // bottom edge of any of them leaves those pixels alone, and a corner of
    // the declared size 32767 costs what it covers.
    const int64_t w = std::max(dstRect.Width(), 0), h = std::max(dstRect.Height(), 0);
    int64_t x0 = 0, y0 = 0, x1 = w, y1 = h;
    auto within = [&](int64_t at, int64_t extent, int64_t& lo, int64_t& hi) {
        lo = std::max(lo, -at);
        hi = std::min(hi, extent - at);
    };
    within(dstRect.Left, dst.Width, x0, x1);
    within(dstRect.Top, dst.Height, y0, y1);
    within(srcPoint.X, src.Width, x0, x1);
    within(srcPoint.Y, src.Height, y0, y1);
    const TPixelView* mv = maskImage ? &maskImage->View() : nullptr;
    if (mv) {
        within(origin.X, mv->Width, x0, x1);
        within(origin.Y, mv->Height, y0, y1);
    }
    for (int64_t y = y0; y < y1; ++y)
        for (int64_t x = x0; x < x1; ++x) {
            const int dx = int(dstRect.Left + x), dy = int(dstRect.Top + y);
            uint8_t* d = dst.Pixel(dx, dy);
            const uint8_t* test = mv ? mv->Pixel(int(origin.X + x), int(origin.Y + y)) : d;
            if (!SameKey(test, clKeyColor)) continue;
            const uint8_t* s = src.Row(int(srcPoint.Y + y)) + (srcPoint.X + x) * sb;
            std::copy(s, s + std::min(db, sb), d);
            if (db == 4 && sb == 3) d[3] = 255;
        }
}

void CopyMaskPieceOverBG(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TPixelView& src,
                         const TCacheInfo& ci, bool updateCorners, const TsMaskData& mask)
{
    if (dst.Empty() || src.Empty()) return;
    const int band = MaskFrameHeight(mask);
    const bool fromCache = ci.Ready && updateCorners && !ci.Bmp.Empty();
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    const int w = std::min(dstRect.Width(), srcRect.Width()), h = std::min(dstRect.Height(), srcRect.Height());
    ForOverlap(dst, dstRect.Left, dstRect.Top, src, srcRect.Left, srcRect.Top, w, h, [&](int dx, int dy, int sx, int sy) {
        if (!BandRowInside(src, sy, band)) return;
        const uint8_t* s = src.Row(sy) + sx * sb;
        const uint8_t* m = src.Row(sy + band) + sx * sb;
        uint8_t* d = dst.Row(dy) + dx * db;
        const uint8_t* bg = d;
        if (fromCache && ci.Bmp.Contains(ci.X + dx, ci.Y + dy)) bg = ci.Bmp.Pixel(ci.X + dx, ci.Y + dy);
        uint8_t out[3];
        for (int c = 0; c < 3; ++c) out[c] = uint8_t((s[c] * (256 - m[c]) + bg[c] * m[c]) >> 8);
        if (sb == 4) {
            const uint8_t over[4] = {out[0], out[1], out[2], s[3]};
            if (bg != d) Put3(d, bg, db);
            PutOver(d, over, db);
            return;
        }
        Put3(d, out, db);
    });
}

namespace {

// One source pixel onto the destination as the copies are told to.
void PutAs(uint8_t* d, const uint8_t* s, int db, int sb, TSourceAlpha alpha)
{
    if (sb == 4 && alpha == TSourceAlpha::Over)
        PutOver(d, s, db);
    else if (db == 4 && sb == 4 && alpha == TSourceAlpha::Keep)
        std::copy(s, s + 4, d);
    else
        Put3(d, s, db);
}

} // namespace

void CopyRectPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, TPoint srcAt, TSourceAlpha alpha)
{
    if (dst.Empty() || src.Empty()) return;
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    ForOverlap(dst, dstRect.Left, dstRect.Top, src, srcAt.X, srcAt.Y, dstRect.Width(), dstRect.Height(),
               [&](int dx, int dy, int sx, int sy) { PutAs(dst.Row(dy) + dx * db, src.Row(sy) + sx * sb, db, sb, alpha); });
}

void BlendRectOver(const TPixelView& dst, int x, int y, const TPixelView& src, const TRect& srcRect, int opacity)
{
    if (dst.Empty() || src.Empty() || src.BitsPerPixel != 32 || opacity <= 0) return;
    opacity = std::min(opacity, 100);
    const int db = dst.BytesPerPixel();
    ForOverlap(dst, x, y, src, srcRect.Left, srcRect.Top, srcRect.Width(), srcRect.Height(),
               [&](int dx, int dy, int sx, int sy) {
                   const uint8_t* s = src.Row(sy) + sx * 4;
                   const uint8_t scaled[4] = {s[0], s[1], s[2], uint8_t((s[3] * opacity + 50) / 100)};
                   PutOver(dst.Row(dy) + dx * db, opacity == 100 ? s : scaled, db);
               });
}

void StretchRectPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect,
                       TSourceAlpha alpha)
{
    if (dst.Empty() || src.Empty() || dstRect.Width() <= 0 || dstRect.Height() <= 0 || srcRect.Width() <= 0 ||
        srcRect.Height() <= 0)
        return;
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    for (int y = std::max(dstRect.Top, 0); y < std::min(dstRect.Bottom, dst.Height); ++y) {
        const int sy = srcRect.Top + int(int64_t(y - dstRect.Top) * srcRect.Height() / dstRect.Height());
        for (int x = std::max(dstRect.Left, 0); x < std::min(dstRect.Right, dst.Width); ++x) {
            const int sx = srcRect.Left + int(int64_t(x - dstRect.Left) * srcRect.Width() / dstRect.Width());
            if (!src.Contains(sx, sy)) continue;
            PutAs(dst.Pixel(x, y), src.Pixel(sx, sy), db, sb, alpha);
        }
    }
}

namespace {

// One destination pixel's share of the source along one axis: the source
// pixels it reads and how much of each. Under a reduction of a few pixels to
// one, every source pixel under it, weighed by how much of it lies under (in
// units of 1 / dstLen source pixels). Beyond that, evenly spread samples of
// equal weight: a border whose mask is a whole huge picture, painted onto a
// button, would otherwise read the whole picture on every paint.
struct TSpan {
    std::vector<std::pair<int, int>> Taps;   // source pixel, weight
};

constexpr int kMaxTaps = 4;

std::atomic<uint64_t> halftoneReads{0};

// Spans of the destination pixels from..to-1 of dstLen.
std::vector<TSpan> AreaSpans(int from, int to, int dstLen, int srcStart, int srcLen, int srcLimit)
{
    std::vector<TSpan> spans(static_cast<size_t>(to - from));
    auto inside = [&](int sp) { return srcStart + sp >= 0 && srcStart + sp < srcLimit; };
    for (int d = from; d < to; ++d) {
        // [a, b) in source pixels times dstLen.
        const int64_t a = int64_t(d) * srcLen, b = a + srcLen;
        TSpan& span = spans[size_t(d - from)];
        const int64_t first = a / dstLen, last = (b - 1) / dstLen;
        // Up to kMaxTaps source pixels to one (a span that straddles its
        // ends touches one more), every pixel under it counts.
        if (int64_t(srcLen) <= int64_t(kMaxTaps) * dstLen) {
            for (int64_t sp = first; sp <= last; ++sp) {
                const int64_t lo = std::max<int64_t>(a, sp * dstLen);
                const int64_t hi = std::min<int64_t>(b, (sp + 1) * dstLen);
                // Source pixels outside the picture weigh nothing.
                span.Taps.emplace_back(srcStart + int(sp), inside(int(sp)) ? int(hi - lo) : 0);
            }
        } else {
            for (int t = 0; t < kMaxTaps; ++t) {
                const int sp = int((a + (2 * t + 1) * int64_t(srcLen) / (2 * kMaxTaps)) / dstLen);
                span.Taps.emplace_back(srcStart + sp, inside(sp) ? 1 : 0);
            }
        }
    }
    return spans;
}

} // namespace

uint64_t HalftoneSourceReads() { return halftoneReads.load(); }

void HalftoneStretchPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect)
{
    if (dst.Empty() || src.Empty() || dstRect.Width() <= 0 || dstRect.Height() <= 0 || srcRect.Width() <= 0 ||
        srcRect.Height() <= 0)
        return;
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    const int channels = db == 4 && sb == 4 ? 4 : 3;
    // Spans only for the destination pixels inside the picture.
    const int left = std::max(dstRect.Left, 0), right = std::min(dstRect.Right, dst.Width);
    const int top = std::max(dstRect.Top, 0), bottom = std::min(dstRect.Bottom, dst.Height);
    if (left >= right || top >= bottom) return;
    const std::vector<TSpan> xs =
        AreaSpans(left - dstRect.Left, right - dstRect.Left, dstRect.Width(), srcRect.Left, srcRect.Width(), src.Width);
    const std::vector<TSpan> ys =
        AreaSpans(top - dstRect.Top, bottom - dstRect.Top, dstRect.Height(), srcRect.Top, srcRect.Height(), src.Height);
    uint64_t columnTaps = 0, rowTaps = 0;
    for (const TSpan& sx : xs) columnTaps += sx.Taps.size();
    for (const TSpan& sy : ys) rowTaps += sy.Taps.size();
    halftoneReads += columnTaps * rowTaps;
    for (int y = top; y < bottom; ++y) {
        const TSpan& sy = ys[size_t(y - top)];
        for (int x = left; x < right; ++x) {
            const TSpan& sx = xs[size_t(x - left)];
            int64_t sum[4] = {0, 0, 0, 0}, total = 0;
            for (const auto& [rowAt, wy] : sy.Taps) {
                if (wy == 0) continue;
                const uint8_t* row = src.Row(rowAt);
                for (const auto& [columnAt, wx] : sx.Taps) {
                    const int64_t w = int64_t(wx) * wy;
                    if (w == 0) continue;
                    const uint8_t* p = row + columnAt * sb;
                    for (int c = 0; c < channels; ++c) sum[c] += p[c] * w;
                    total += w;
                }
            }
            if (total == 0) continue;
            uint8_t* d = dst.Pixel(x, y);
            for (int c = 0; c < channels; ++c) d[c] = uint8_t((sum[c] + total / 2) / total);
            if (db == 4 && channels == 3) d[3] = 255;
        }
    }
}

void HalftoneStretchOver(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect)
{
    if (dst.Empty() || src.Empty() || src.BitsPerPixel != 32) return;
    // Only the part inside dst is stretched into the piece: a huge rect
    // overhanging a small picture costs what it covers.
    const TRect inside{std::max(dstRect.Left, 0), std::max(dstRect.Top, 0), std::min(dstRect.Right, dst.Width),
                       std::min(dstRect.Bottom, dst.Height)};
    if (inside.Width() <= 0 || inside.Height() <= 0) return;
    TPixelImage piece(inside.Width(), inside.Height(), 32);
    const TRect at{dstRect.Left - inside.Left, dstRect.Top - inside.Top, dstRect.Right - inside.Left,
                   dstRect.Bottom - inside.Top};
    HalftoneStretchPixels(piece.View(), at, src, srcRect);
    BlendRectOver(dst, inside.Left, inside.Top, piece.View(), {0, 0, inside.Width(), inside.Height()});
}

namespace {

// Tiles a tw x th piece over the area from its top-left; the last row and
// column are cut, and only tiles inside the picture are drawn. A piece of no
// size draws nothing (and never loops).
template <class F> void Tile(const TRect& area, int tw, int th, const TPixelView& dst, F draw)
{
    ForEachTile(area, tw, th, PictureRect(dst), draw);
}

} // namespace

void DrawMaskRect(const TPixelView& dst, const TRect& r, bool drawCentre, const TCacheInfo& ci, const TsMaskData& mask,
                  int state, bool useBG)
{
    if (dst.Empty() || (state == 0 && (mask.StretchMode & 2)) || r.Width() < 2 || r.Height() < 2 || !mask.Manager ||
        mask.ImageCount <= 0 || mask.MaskType < 0)
        return;
    const TPixelImage* image = mask.Bmp ? mask.Bmp.get() : mask.Manager->MasterBitmap.get();
    if (!image || image->Width() == 0) return;
    const TPixelView& img = image->View();
    int wl = mask.WL, wt = mask.WT, wr = mask.WR, wb = mask.WB;
    if (r.Width() < wl + wr) {
        const int d = (wl + wr - r.Width()) / 2;
        wl = std::max(wl - d, 0);
        wr = std::max(wr - d - (r.Width() & 1), 0);
    }
    if (r.Height() < wt + wb) {
        const int d = (wt + wb - r.Height()) / 2;
        wt = std::max(wt - d, 0);
        wb = std::max(wb - d - (r.Height() & 1), 0);
    }
    const int frame = state < mask.ImageCount ? std::max(state, 0) : mask.ImageCount - 1;
    const int fw = MaskFrameWidth(mask), fh = MaskFrameHeight(mask);
    const int ox = mask.R.Left + fw * frame, oy = mask.R.Top;
    const int cw = std::max(fw - wl - wr, 0), ch = std::max(fh - wt - wb, 0);
    const int rx = ox + wl + cw, by = oy + fh - wb;   // right-hand columns, bottom rows of the frame

    struct TPiece {
        TRect Dst;
        TRect Src;
        bool Corner;
    };
    const TPiece pieces[9] = {
        {{r.Left, r.Top, r.Left + wl, r.Top + wt}, {ox, oy, ox + wl, oy + wt}, true},
        {{r.Left, r.Top + wt, r.Left + wl, r.Bottom - wb}, {ox, oy + wt, ox + wl, oy + wt + ch}, false},
        {{r.Left + wl, r.Top, r.Right - wr, r.Top + wt}, {ox + wl, oy, ox + wl + cw, oy + wt}, false},
        {{r.Left, r.Bottom - wb, r.Left + wl, r.Bottom}, {ox, by, ox + wl, by + wb}, true},
        {{r.Left + wl, r.Bottom - wb, r.Right - wr, r.Bottom}, {ox + wl, by, ox + wl + cw, by + wb}, false},
        {{r.Right - wr, r.Bottom - wb, r.Right, r.Bottom}, {rx, by, rx + wr, by + wb}, true},
        {{r.Right - wr, r.Top, r.Right, r.Top + wt}, {rx, oy, rx + wr, oy + wt}, true},
        {{r.Right - wr, r.Top + wt, r.Right, r.Bottom - wb}, {rx, oy + wt, rx + wr, oy + wt + ch}, false},
        {{r.Left + wl, r.Top + wt, r.Right - wr, r.Bottom - wb}, {ox + wl, oy + wt, ox + wl + cw, oy + wt + ch}, false},
    };
    const bool centre = drawCentre && (mask.StretchMode & 4);
    // A picture with its own alpha (a PNG) drawn into a picture without one,
    // or into an item over its parent, is laid over what is there; a 32-bit
    // picture drawn for itself keeps the alpha as drawn (the glow halo is
    // composed that way).
    const bool overParent = useBG && ci.Ready && !ci.Bmp.Empty() && ci.Bmp.Bits != dst.Bits;
    const bool overByAlpha = img.BitsPerPixel == 32 && (dst.BitsPerPixel != 32 || overParent);
    for (int i = 0; i < 9; ++i) {
        const TPiece& p = pieces[i];
        if (i == 8 && !centre) break;
        if (p.Dst.Width() <= 0 || p.Dst.Height() <= 0) continue;
        if (mask.MaskType == 0) {
            if (p.Corner) {
                CopyKeyColorPiece(dst, img, p.Dst.Left, p.Dst.Top, {p.Src.Left, p.Src.Top, p.Src.Right - 1, p.Src.Bottom - 1},
                                  clKeyColor, ci, useBG);
            } else if (mask.StretchMode & 1) {
                if (overByAlpha) {
                    HalftoneStretchOver(dst, p.Dst, img, p.Src);
                } else {
                    HalftoneStretchPixels(dst, p.Dst, img, p.Src);
                }
            } else {
                Tile(p.Dst, p.Src.Width(), p.Src.Height(), dst, [&](const TRect& t) {
                    CopyRectPixels(dst, t, img, {p.Src.Left, p.Src.Top},
                                   overByAlpha ? TSourceAlpha::Over : TSourceAlpha::Keep);
                });
            }
        } else if (p.Corner) {
            CopyMaskPieceOverBG(p.Dst, p.Src, dst, img, ci, useBG, mask);
        } else {
            Tile(p.Dst, p.Src.Width(), p.Src.Height(), dst, [&](const TRect& t) {
                CopyMaskPieceOverBG(t, {p.Src.Left, p.Src.Top, p.Src.Left + t.Width(), p.Src.Top + t.Height()}, dst, img,
                                    EmptyCacheInfo(), false, mask);
            });
        }
    }
}

void BlendMaskGlyph(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TsMaskData& mask,
                    int drawMode, TColor key, const TPixelView& src)
{
    if (dst.Empty() || src.Empty()) return;
    const int w = std::min(dstRect.Width(), srcRect.Width()), h = std::min(dstRect.Height(), srcRect.Height());
    if (w <= 0 || h <= 0) return;
    if (mask.MaskType <= 0) {
        CopyKeyColorRect(dst, src, dstRect.Left, dstRect.Top, {srcRect.Left, srcRect.Top, srcRect.Left + w - 1, srcRect.Top + h - 1}, key);
        return;
    }
    const int band = mask.R.Height() / (mask.MaskType + 1);
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    ForOverlap(dst, dstRect.Left, dstRect.Top, src, srcRect.Left, srcRect.Top, w, h, [&](int dx, int dy, int sx, int sy) {
        if (!BandRowInside(src, sy, band)) return;
        const uint8_t* c = src.Row(sy) + sx * sb;
        if (SameKey(c, key)) return;
        const uint8_t* m = src.Row(sy + band) + sx * sb;
        uint8_t* d = dst.Row(dy) + dx * db;
        uint8_t out[3];
        for (int i = 0; i < 3; ++i) {
            const int k = drawMode == 1 ? m[i] : std::min(m[i] + 100, 255);
            out[i] = uint8_t(ClampByte(((d[i] - c[i]) * k + c[i] * 256) >> 8));
        }
        if (sb == 4) {
            const uint8_t over[4] = {out[0], out[1], out[2], c[3]};
            PutOver(d, over, db);
            return;
        }
        Put3(d, out, db);
    });
}

void DrawMaskGlyph(const TPixelView& dst, TPoint p, int state, int drawMode, const TsMaskData& mask, const TCacheInfo& ci)
{
    if (dst.Empty() || mask.ImageCount <= 0 || mask.MaskType < 0) return;
    const int frame = std::clamp(state, 0, mask.ImageCount - 1);
    const int fw = MaskFrameWidth(mask), fh = MaskFrameHeight(mask);
    TRect src{mask.R.Left + fw * frame, mask.R.Top, mask.R.Left + fw * (frame + 1), mask.R.Top + fh};
    // Left of or above the picture: the hidden columns and rows are skipped,
    // never taken from the neighbouring frame.
    if (p.X < 0) { src.Left -= p.X; p.X = 0; }
    if (p.Y < 0) { src.Top -= p.Y; p.Y = 0; }
    if (src.Width() <= 0 || src.Height() <= 0) return;
    const TRect dstRect{p.X, p.Y, p.X + src.Width(), p.Y + src.Height()};
    if (mask.Bmp) {
        if (mask.Bmp->Width() >= mask.R.Right && mask.Bmp->Height() >= mask.R.Bottom)
            BlendMaskGlyph(dstRect, src, dst, mask, drawMode, clKeyColor, mask.Bmp->View());
        return;
    }
    if (!mask.Manager || !mask.Manager->MasterBitmap) return;
    const TPixelView& master = mask.Manager->MasterBitmap->View();
    if (mask.MaskType >= 1)
        BlendMaskGlyph(dstRect, src, dst, mask, drawMode, clKeyColor, master);
    else if (drawMode == 1)
        CopyKeyColorPiece(dst, master, p.X, p.Y, {src.Left, src.Top, src.Right - 1, src.Bottom - 1}, clKeyColor, ci, true);
    else
        BlendBmpRect(dst, p.X, p.Y, master, src, 0.5, clKeyColor);
}

void TileMaskPiece(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TsMaskData& mask,
                   const TCacheInfo& ci)
{
    if (dst.Empty() || !mask.Manager) return;
    const TPixelImage* image = mask.Bmp ? mask.Bmp.get() : mask.Manager->MasterBitmap.get();
    if (!image || image->Width() == 0) return;
    const TPixelView& src = image->View();
    const int band = mask.R.Height() / 2;
    const int db = dst.BytesPerPixel(), sb = src.BytesPerPixel();
    const bool ready = ci.Ready && !ci.Bmp.Empty();
    if (ready && ci.Bmp.BitsPerPixel != 24 && ci.Bmp.BitsPerPixel != 32) return;
    const int w = std::min(dstRect.Width(), srcRect.Width()), h = std::min(dstRect.Height(), srcRect.Height());
    ForOverlap(dst, dstRect.Left, dstRect.Top, src, srcRect.Left, srcRect.Top, w, h, [&](int dx, int dy, int sx, int sy) {
        const uint8_t* c = src.Row(sy) + sx * sb;
        uint8_t* d = dst.Row(dy) + dx * db;
        if (!SameKey(c, clKeyColor)) {
            if (!BandRowInside(src, sy, band)) return;
            const uint8_t* m = src.Row(sy + band) + sx * sb;
            uint8_t out[3];
            for (int i = 0; i < 3; ++i) out[i] = uint8_t(ClampByte(((d[i] - c[i]) * m[i] + c[i] * 256) >> 8));
            if (sb == 4) {
                const uint8_t over[4] = {out[0], out[1], out[2], c[3]};
                PutOver(d, over, db);
                return;
            }
            Put3(d, out, db);
            return;
        }
        if (ready) {
            if (ci.Bmp.BitsPerPixel == 32 && ci.FillColor != clKeyColor) {
                PutColor(d, ci.FillColor, db);
            } else if (ci.Bmp.Contains(ci.X + dx, ci.Y + dy)) {
                Put3(d, ci.Bmp.Pixel(ci.X + dx, ci.Y + dy), db);
            }
        } else if (ci.FillColor != clKeyColor) {
            PutColor(d, ci.FillColor, db);
        }
    });
}

void PaintCacheBorderSides(const TPixelView& cache, const TsMaskData& mask, int state, unsigned corners,
                           const TCacheInfo& bg)
{
    if (cache.Empty() || cache.Width < 2 || cache.Height < 2 || !mask.Manager) return;
    int imageCount = mask.ImageCount, maskType = mask.MaskType;
    TRect r = mask.R;
    const TPixelImage* image = mask.Bmp ? mask.Bmp.get() : mask.Manager->MasterBitmap.get();
    if (!image || image->Width() == 0) return;
    if (mask.Bmp && imageCount == 0) {
        imageCount = 3;
        maskType = 1;
        r = {0, 0, image->Width(), image->Height()};
    }
    if (imageCount <= 0 || maskType < 0) return;
    state = std::clamp(state, 0, imageCount - 1);
    const int fx = int(r.Left + int64_t(r.Width()) * state / imageCount), fh = r.Height() / (maskType + 1);
    const int fw = r.Width() / imageCount, cw = fw - mask.WL - mask.WR;
    const TPixelView& img = image->View();
    const int cb = cache.BytesPerPixel();
    // Each corner is walked only where it lies inside both the cache and
    // the mask's picture: corner widths of 32767 cost what they cover.
    auto corner = [&](int w, int h, int sx, int sy, int dx, int dy) {
        const int64_t x0 = std::max<int64_t>({0, -int64_t(sx), -int64_t(dx)});
        const int64_t y0 = std::max<int64_t>({0, -int64_t(sy), -int64_t(dy)});
        const int64_t x1 = std::min<int64_t>({w, int64_t(img.Width) - sx, int64_t(cache.Width) - dx});
        const int64_t y1 = std::min<int64_t>({h, int64_t(img.Height) - sy, int64_t(cache.Height) - dy});
        for (int64_t y = y0; y < y1; ++y)
            for (int64_t x = x0; x < x1; ++x) {
                if (!SameKey(img.Pixel(int(sx + x), int(sy + y)), clKeyColor)) continue;
                uint8_t* d = cache.Row(int(dy + y)) + (dx + x) * cb;
                if (bg.Ready && !bg.Bmp.Empty()) {
                    const int64_t bx = dx + x + bg.X, by = dy + y + bg.Y;
                    if (bx >= 0 && by >= 0 && bx < bg.Bmp.Width && by < bg.Bmp.Height)
                        Put3(d, bg.Bmp.Pixel(int(bx), int(by)), cb);
                } else if (bg.FillColor != clKeyColor) {
                    PutColor(d, bg.FillColor, cb);
                }
            }
    };
    const int W = cache.Width, H = cache.Height;
    if (corners & 1) corner(mask.WL, mask.WT, fx, r.Top, 0, 0);
    if (corners & 2) corner(mask.WL, mask.WB, fx, r.Top + fh - mask.WB, 0, H - mask.WB);
    if (corners & 4) corner(mask.WR, mask.WT, fx + mask.WL + cw, r.Top, W - mask.WR, 0);
    if (corners & 8) corner(mask.WR, mask.WB, fx + mask.WL + cw, r.Top + fh - mask.WB, W - mask.WR, H - mask.WB);
}

void PaintDisabledState(const TPixelView& bmp, unsigned disabledKind, TColor parentColor, const TCacheInfo& ci,
                        TPoint offset)
{
    if (bmp.Empty()) return;
    if (disabledKind & dkGrayed) GrayScale(bmp);
    if (!(disabledKind & dkBlended)) return;
    if (ci.Ready && !ci.Bmp.Empty()) {
        const TRect r{ci.X + offset.X, ci.Y + offset.Y, ci.X + offset.X + bmp.Width, ci.Y + offset.Y + bmp.Height};
        BlendBmpRect(bmp, 0, 0, ci.Bmp, r, 0.4, TColor(0xFF000000));   // no transparent colour
        return;
    }
    const TColor c = ci.FillColor == clKeyColor ? parentColor : ci.FillColor;
    BlendColorRect(bmp, {0, 0, bmp.Width, bmp.Height}, 50, c);
}

} // namespace skin
