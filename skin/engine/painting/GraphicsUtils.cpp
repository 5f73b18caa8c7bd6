#include "skin/engine/painting/GraphicsUtils.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/Exceptions.h"
#include "base/Rounding.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/images/SkinPictures.h"

namespace skin {

TColor AsColor(TColor c) { return c; }

TColor AverageColor(TColor c1, TColor c2)
{
    TColor r = 0;
    for (int shift = 0; shift < 24; shift += 8)
        r |= (((127 * ((c1 >> shift) & 0xFF) + 129 * ((c2 >> shift) & 0xFF)) >> 8) & 0xFF) << shift;
    return r;
}

TColor BlendColors(TColor c1, TColor c2, double k)
{
    TColor r = TColor(uint32_t(c1) & 0xFF000000u);
    for (int shift = 0; shift < 24; shift += 8) {
        const double v = ((c1 >> shift) & 0xFF) * k + ((c2 >> shift) & 0xFF) * (1 - k);
        r |= int(tw::RoundToByte(v)) << shift;
    }
    return r;
}

void MergeBitmaps32(const TPixelView& dst, const TPixelView& a, const TPixelView& b, uint16_t weight,
                    const TPixelView* weightBmp)
{
    // Sizes and formats of every picture are checked, not only A against B.
    if (dst.Empty() || a.Empty() || b.Empty() || dst.BitsPerPixel != 32) return;
    if (a.Width != b.Width || a.Height != b.Height || dst.Width != a.Width || dst.Height != a.Height) return;
    if (weightBmp && (weightBmp->Empty() || weightBmp->Width != a.Width || weightBmp->Height != a.Height)) return;
    const int ab = a.BytesPerPixel(), bb = b.BytesPerPixel();
    for (int y = 0; y < dst.Height; ++y)
        for (int x = 0; x < dst.Width; ++x) {
            const uint8_t* pa = a.Row(y) + x * ab;
            const uint8_t* pb = b.Row(y) + x * bb;
            const uint8_t* pw = weightBmp ? weightBmp->Pixel(x, y) : nullptr;
            uint8_t* d = dst.Row(y) + x * 4;
            for (int c = 0; c < 3; ++c) {
                const int w = pw ? pw[c] : weight;
                d[c] = uint8_t(((pa[c] - pb[c]) * w + pb[c] * 256) >> 8);
            }
        }
}

void GaugeCopyPart(const TPixelView& dst, const TPixelView& src, const TPixelView& stencil, const TRect& r)
{
    if (dst.Empty() || src.Empty() || stencil.Empty() || src.BitsPerPixel != 32) return;
    if (dst.Width < r.Width() || dst.Height < r.Height()) return;
    const int db = dst.BytesPerPixel(), tb = stencil.BytesPerPixel();
    for (int y = std::max(r.Top, 0); y < r.Bottom; ++y)
        for (int x = std::max(r.Left, 0); x < r.Right; ++x) {
            if (!dst.Contains(x, y) || !src.Contains(x, y) || !stencil.Contains(x, y)) continue;
            if (stencil.Row(y)[x * tb + 2] == 255) continue;
            const uint8_t* s = src.Pixel(x, y);
            uint8_t* d = dst.Row(y) + x * db;
            for (int c = 0; c < 3; ++c) d[c] = uint8_t(((s[c] - d[c]) * s[3] + d[c] * 256) >> 8);
        }
}

std::unique_ptr<TPixelImage> RotateBitmap90(const TPixelView& src, bool clockwise)
{
    if (src.Empty()) return nullptr;
    auto img = std::make_unique<TPixelImage>(src.Height, src.Width, src.BitsPerPixel);
    const TPixelView& d = img->View();
    const int bytes = src.BytesPerPixel();
    for (int y = 0; y < src.Height; ++y)
        for (int x = 0; x < src.Width; ++x) {
            const int nx = clockwise ? src.Height - 1 - y : y;
            const int ny = clockwise ? x : src.Width - 1 - x;
            std::copy(src.Pixel(x, y), src.Pixel(x, y) + bytes, d.Pixel(nx, ny));
        }
    return img;
}

namespace {

constexpr float kPi = 3.14159265358979f;
const float kSupport[7] = {0.51f, 1.0f, 1.0f, 1.5f, 2.0f, 3.0f, 2.0f};

float Filter(int f, float x)
{
    switch (f) {
    // The box alone takes the signed distance (centre minus source index):
    // half-way between two pixels only the left one counts.
    case rfBox: return (x > -0.5f && x <= 0.5f) ? 1.0f : 0.0f;
    case rfTriangle: return 1.0f - x;
    case rfHermite: return x * x * (2 * x - 3) + 1;
    case rfBell: return x < 0.5f ? 0.75f - x * x : 0.5f * (x - 1.5f) * (x - 1.5f);
    case rfBSpline: return x < 1 ? x * x * (x / 2 - 1) + 2.0f / 3 : (2 - x) * (2 - x) * (2 - x) / 6;
    case rfSineWindow: return x == 0 ? 1.0f : std::sin(kPi * x) * std::sin(x) / (kPi * x * x);
    default:
        return x < 1 ? x * x * (7.0f / 6 * x - 2) + 8.0f / 9 : x * x * (2 - 7.0f / 18 * x) - 10.0f / 3 * x + 16.0f / 9;
    }
}

struct TContributor {
    int Index;    // source pixel
    int Weight;   // 16 fraction bits
};

std::vector<std::vector<TContributor>> Contributors(int dstSize, int srcSize, int filter)
{
    std::vector<std::vector<TContributor>> list(static_cast<size_t>(dstSize));
    const float support = kSupport[filter];
    const float scale = srcSize > dstSize ? float(dstSize) / float(srcSize) : 1.0f;
    const float width = support / scale;
    for (int i = 0; i < dstSize; ++i) {
        const float center = float(i) * float(srcSize) / float(dstSize);
        const int left = int(std::floor(center - width)), right = int(std::ceil(center + width));
        for (int j = left; j <= right; ++j) {
            const float t = (center - float(j)) * scale;
            const float x = std::fabs(t);
            if (x >= support) continue;
            const float w = Filter(filter, filter == rfBox ? t : x);
            if (w == 0) continue;
            int index = j < 0 ? -j : (j >= srcSize ? 2 * srcSize - j - 1 : j);
            // Mirroring alone leaves wide filters on small pictures outside it.
            index = std::clamp(index, 0, srcSize - 1);
            list[size_t(i)].push_back({index, int(tw::RoundHalfEven(w * scale * 65536.0f))});
        }
    }
    return list;
}

uint8_t Sum16(int64_t sum) { return sum < 0 ? 0 : sum > 0xFF0000 ? 255 : uint8_t(sum >> 16); }

} // namespace

void ResampleBitmap(const TPixelView& src, TPixelImage& dst, int newWidth, int newHeight, int filter)
{
    if (src.Empty() || src.Width < 2 || src.Height < 2) throw tw::Exception("Source bitmap is too small");
    filter = std::clamp(filter, 0, 6);
    const int bpp = src.BitsPerPixel == 32 ? 32 : 24, bytes = bpp / 8;
    if (newWidth == src.Width && newHeight == src.Height) {
        if (dst.View().Bits == src.Bits) return;
        dst.Resize(src.Width, src.Height, bpp);
        CopyPixels(dst.View(), 0, 0, src, {0, 0, src.Width, src.Height});
        return;
    }
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    TPixelImage temp(newWidth, src.Height, bpp);
    const auto cx = Contributors(newWidth, src.Width, filter);
    for (int y = 0; y < src.Height; ++y)
        for (int x = 0; x < newWidth; ++x) {
            int64_t sum[4] = {};
            for (const TContributor& c : cx[size_t(x)])
                for (int b = 0; b < bytes; ++b) sum[b] += int64_t(c.Weight) * src.Pixel(c.Index, y)[b];
            uint8_t* d = temp.View().Pixel(x, y);
            for (int b = 0; b < bytes; ++b) d[b] = Sum16(sum[b]);
        }
    dst.Resize(newWidth, newHeight, bpp);
    const auto cy = Contributors(newHeight, src.Height, filter);
    for (int x = 0; x < newWidth; ++x)
        for (int y = 0; y < newHeight; ++y) {
            int64_t sum[4] = {};
            for (const TContributor& c : cy[size_t(y)])
                for (int b = 0; b < bytes; ++b) sum[b] += int64_t(c.Weight) * temp.View().Pixel(x, c.Index)[b];
            uint8_t* d = dst.View().Pixel(x, y);
            for (int b = 0; b < bytes; ++b) d[b] = Sum16(sum[b]);
        }
}

void TileGraphic(const TPixelView& dst, const TRect& r, const TPixelView& picture)
{
    if (dst.Empty() || picture.Empty()) return;
    ForEachTile(r, picture.Width, picture.Height, PictureRect(dst),
                [&](const TRect& t) { CopyRectPixels(dst, t, picture, {0, 0}); });
}

void PaintTexture(const TPixelView& dst, TRect& r, const TPixelView* pattern, int drawMode, const TsMaskData* mask)
{
    const TRect none{-1, -1, -1, -1};
    if (pattern && !pattern->Empty()) {
        TileGraphic(dst, r, *pattern);
        r = none;
        return;
    }
    if (!mask || !mask->Manager) return;
    const TPixelImage* image = mask->Bmp ? mask->Bmp.get() : mask->Manager->MasterBitmap.get();
    if (!image) return;
    const TPixelView& img = image->View();
    const TRect tile = mask->R;
    const int tw = tile.Width(), th = tile.Height();
    if (tw <= 0 || th <= 0) return;   // a tile of no size would never fill the rect
    // A picture with its alpha is laid over what the rect holds; any other
    // texture is opaque, whatever the fourth byte of a 32-bit BMP says.
    const TSourceAlpha alpha = mask->AlphaChannel ? TSourceAlpha::Over : TSourceAlpha::Opaque;
    auto copy = [&](const TRect& d, TPoint from) { CopyRectPixels(dst, d, img, from, alpha); };
    auto tiles = [&](const TRect& area) {
        ForEachTile(area, tw, th, PictureRect(dst), [&](const TRect& t) { copy(t, {tile.Left, tile.Top}); });
    };
    switch (drawMode) {
    case 0: tiles(r); r = none; break;
    case 1: StretchRectPixels(dst, r, img, tile, alpha); r = none; break;
    // One band of repeated tiles: along the top, or down the left side.
    case 2: tiles({r.Left, r.Top, r.Right, std::min(r.Top + th, r.Bottom)}); r.Top += th; break;
    case 3: tiles({r.Left, r.Top, std::min(r.Left + tw, r.Right), r.Bottom}); r.Left += tw; break;
    case 4: StretchRectPixels(dst, {r.Left, r.Top, r.Right, r.Top + th}, img, tile, alpha); r.Top += th; break;
    case 5: StretchRectPixels(dst, {r.Left, r.Top, r.Left + tw, r.Bottom}, img, tile, alpha); r.Left += tw; break;
    case 6: tiles({r.Left, r.Bottom - th, r.Right, r.Bottom}); r.Bottom -= th; break;
    case 10: {
        // Whole tiles, then the strip right of them cut to the rect, then the
        // row below them cut the same way: a rect reported as painted has
        // no unpainted band left in it.
        const int wholeW = r.Width() / tw * tw, wholeH = r.Height() / th * th;
        tiles({r.Left, r.Top, r.Left + wholeW, r.Top + wholeH});
        tiles({r.Left + wholeW, r.Top, r.Right, r.Top + wholeH});
        tiles({r.Left, r.Top + wholeH, r.Right, r.Bottom});
        r = none;
        break;
    }
    case 7: tiles({r.Right - tw, r.Top, r.Right, r.Bottom}); r.Right -= tw; break;
    default: tiles({r.Right - tw, r.Top, r.Right, r.Bottom}); r.Left = r.Right - tw; break;
    }
}

void PaintTextureBmp(const TPixelView& dst, TRect& r, const TCacheInfo& ci, int drawMode, const TsMaskData& mask)
{
    if (!mask.Manager || mask.ImageCount <= 0) return;
    const int tw = mask.R.Width() / mask.ImageCount, th = mask.R.Height() / 2;
    if (tw <= 0 || th <= 0 || (drawMode != 0 && drawMode != 10)) return;
    const TRect src{mask.R.Left, mask.R.Top, mask.R.Left + tw, mask.R.Top + th};
    auto piece = [&](int x, int y, int w, int h) { TileMaskPiece({x, y, x + w, y + h}, src, dst, mask, ci); };
    if (drawMode == 0) {
        // Every row and column, the last ones cut to the rect.
        ForEachTile(r, tw, th, PictureRect(dst), [&](const TRect& t) { piece(t.Left, t.Top, t.Width(), t.Height()); });
        r = {-1, -1, -1, -1};
        return;
    }
    // Mode 10: every tile that fits whole, the rest shows the background.
    const int wholeRight = r.Left + std::max(0, r.Width() / tw) * tw;
    const int wholeBottom = r.Top + std::max(0, r.Height() / th) * th;
    ForEachTile({r.Left, r.Top, wholeRight, wholeBottom}, tw, th, PictureRect(dst),
                [&](const TRect& t) { piece(t.Left, t.Top, tw, th); });
    const TRect strips[2] = {{wholeRight, r.Top, r.Right, wholeBottom}, {r.Left, wholeBottom, r.Right, r.Bottom}};
    for (const TRect& s : strips) {
        if (s.Width() <= 0 || s.Height() <= 0) continue;
        if (ci.Ready && !ci.Bmp.Empty())
            CopyRectPixels(dst, s, ci.Bmp, {s.Left + ci.X, s.Top + ci.Y});
        else if (dst.BitsPerPixel == 32)
            FillRect32(dst, s, ci.FillColor);
        else
            for (int yy = std::max(s.Top, 0); yy < std::min(s.Bottom, dst.Height); ++yy)
                for (int xx = std::max(s.Left, 0); xx < std::min(s.Right, dst.Width); ++xx) {
                    uint8_t* p = dst.Pixel(xx, yy);
                    p[0] = uint8_t(ci.FillColor >> 16), p[1] = uint8_t(ci.FillColor >> 8), p[2] = uint8_t(ci.FillColor);
                }
    }
    r = {-1, -1, -1, -1};
}

namespace {

// Two items in a row, the first left of the second with spacing between them.
void PlaceSideBySide(int client, int margin, int spacing, int alignment, int firstW, int secondW, int& first, int& second)
{
    if (alignment == 0) {
        first = margin;
        second = margin + firstW + spacing;
    } else if (alignment == 1) {
        second = client - margin - secondW;
        first = second - spacing - firstW;
    } else {
        first = (client - secondW - spacing - firstW) / 2;
        second = first + firstW + spacing;
    }
}

} // namespace

void CalcButtonLayout(const TRect& client, TPoint glyphSize, TPoint captionSize, int layout, int alignment, int margin,
                      int spacing, TPoint& glyphPos, TRect& textBounds, unsigned biDiFlags)
{
    if (biDiFlags & 2) {
        if (layout == 0)
            layout = 1;
        else if (layout == 1)
            layout = 0;
    }
    const TPoint cs{client.Width(), client.Height()};
    TPoint tp;
    textBounds = {0, 0, captionSize.X, captionSize.Y};
    const bool horizontal = layout == 0 || layout == 1;
    if (!horizontal) {
        glyphPos.X = (cs.X - glyphSize.X + 1) / 2;
        tp.X = (cs.X - captionSize.X + 1) / 2;
    } else {
        glyphPos.Y = (cs.Y - glyphSize.Y + 1) / 2;
        tp.Y = (cs.Y - captionSize.Y + 1) / 2;
    }
    if (captionSize.X == 0 || glyphSize.X == 0) spacing = 0;
    const int clientLen = horizontal ? cs.X : cs.Y;
    const int glyphLen = horizontal ? glyphSize.X : glyphSize.Y, captionLen = horizontal ? captionSize.X : captionSize.Y;
    if (margin == -1) {
        if (spacing >= 0) {
            const int total = glyphLen + spacing + captionLen;
            margin = alignment == 2 ? (clientLen - total + 1) / 2 : 2;
        } else {
            margin = (clientLen - (glyphLen + captionLen)) / 3;
            spacing = margin;
        }
    } else if (spacing < 0) {
        spacing = (clientLen - margin - glyphLen - captionLen) / 2;
    }
    switch (layout) {
    case 0: PlaceSideBySide(cs.X, margin, spacing, alignment, glyphSize.X, captionSize.X, glyphPos.X, tp.X); break;
    case 1: PlaceSideBySide(cs.X, margin, spacing, alignment, captionSize.X, glyphSize.X, tp.X, glyphPos.X); break;
    case 2:
        glyphPos.Y = (cs.Y - captionSize.Y - spacing - glyphSize.Y) / 2;
        tp.Y = glyphPos.Y + glyphSize.Y + spacing;
        break;
    default: {
        const int c = (cs.Y - captionSize.Y - spacing - glyphSize.Y) / 2;
        glyphPos.Y = cs.Y - glyphSize.Y - c;
        tp.Y = glyphPos.Y - spacing - captionSize.Y;
        break;
    }
    }
    glyphPos.X += client.Left;
    glyphPos.Y += client.Top;
    textBounds = {tp.X + client.Left, tp.Y + client.Top, tp.X + client.Left + captionSize.X, tp.Y + client.Top + captionSize.Y};
}

} // namespace skin
