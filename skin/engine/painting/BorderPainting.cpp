#include "skin/engine/painting/BorderPainting.h"

#include <algorithm>
#include <utility>

#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

namespace {

const TPixelImage* MaskPicture(const TsMaskData& m)
{
    if (m.Bmp) return m.Bmp.get();
    return m.Manager ? m.Manager->MasterBitmap.get() : nullptr;
}

// Runs of key pixels of one row of src, from column x0 to x1 (exclusive),
// placed at (dx + column, y).
void CollectRowRuns(TRectList& rects, const TPixelView& src, int row, int x0, int x1, int dx, int y, TColor key)
{
    int start = -1;
    for (int x = x0; x <= x1; ++x) {
        const bool isKey = x < x1 && PixelColor(src, x, row) == key;
        if (isKey && start < 0) start = x;
        if (!isKey && start >= 0) {
            rects.push_back({dx + start, y, dx + x, y + 1});
            start = -1;
        }
    }
}

} // namespace

namespace {

// A sweep from the top over every edge of the rectangles: between two edges
// the same rectangles cover the rows, so one band of spans stands for them.
// With whole, the spans are what whole keeps of each band.
TRectList Bands(const TRect* whole, const TRectList& rects)
{
    std::vector<TRect> cut;
    cut.reserve(rects.size());
    for (TRect r : rects) {
        if (whole) {
            r = {std::max(r.Left, whole->Left), std::max(r.Top, whole->Top), std::min(r.Right, whole->Right),
                 std::min(r.Bottom, whole->Bottom)};
        }
        if (r.Left < r.Right && r.Top < r.Bottom) cut.push_back(r);
    }
    TRectList out;
    if (whole && (whole->Left >= whole->Right || whole->Top >= whole->Bottom)) return out;
    std::vector<int> edges;
    edges.reserve(cut.size() * 2 + 2);
    if (whole) {
        edges.push_back(whole->Top);
        edges.push_back(whole->Bottom);
    }
    for (const TRect& r : cut) {
        edges.push_back(r.Top);
        edges.push_back(r.Bottom);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::sort(cut.begin(), cut.end(), [](const TRect& a, const TRect& b) { return a.Top < b.Top; });

    using TSpan = std::pair<int, int>;
    std::vector<const TRect*> active;
    std::vector<TSpan> covered, spans, previous;
    size_t next = 0, previousStart = 0;
    int previousBottom = 0;
    for (size_t e = 0; e + 1 < edges.size(); ++e) {
        const int y0 = edges[e], y1 = edges[e + 1];
        active.erase(std::remove_if(active.begin(), active.end(), [y0](const TRect* r) { return r->Bottom <= y0; }),
                     active.end());
        while (next < cut.size() && cut[next].Top <= y0) active.push_back(&cut[next++]);
        covered.clear();
        for (const TRect* r : active) covered.emplace_back(r->Left, r->Right);
        std::sort(covered.begin(), covered.end());
        spans.clear();
        if (whole) {
            int x = whole->Left;
            for (const TSpan& c : covered) {
                if (c.first > x) spans.emplace_back(x, c.first);
                x = std::max(x, c.second);
            }
            if (x < whole->Right) spans.emplace_back(x, whole->Right);
        } else {
            for (const TSpan& c : covered) {
                if (!spans.empty() && c.first <= spans.back().second)
                    spans.back().second = std::max(spans.back().second, c.second);
                else
                    spans.push_back(c);
            }
        }
        if (spans.empty()) {
            previous.clear();
            continue;
        }
        if (!previous.empty() && previousBottom == y0 && spans == previous) {
            for (size_t i = previousStart; i < out.size(); ++i) out[i].Bottom = y1;
        } else {
            previousStart = out.size();
            for (const TSpan& sp : spans) out.push_back({sp.first, y0, sp.second, y1});
            previous.swap(spans);
        }
        previousBottom = y1;
    }
    return out;
}

} // namespace

TRectList BandsWithout(const TRect& whole, const TRectList& cut) { return Bands(&whole, cut); }

TRectList BandsOf(const TRectList& rects) { return Bands(nullptr, rects); }

TColor PixelColor(const TPixelView& v, int x, int y)
{
    const uint8_t* p = v.Row(y) + x * v.BytesPerPixel();
    return TColor(p[2] | (p[1] << 8) | (p[0] << 16));
}

void CollectColorRects(TRectList& rects, const TPixelView& bmp, TColor color)
{
    if (bmp.BitsPerPixel != 24 || bmp.Width < 2 || bmp.Height < 2) return;
    for (int y = 0; y < bmp.Height; ++y) CollectRowRuns(rects, bmp, y, 0, bmp.Width, 0, y, color);
}

void GetMaskTransRects(TRectList& rects, int targetWidth, const TsMaskData& mask, int offsetY, bool bottom)
{
    const TPixelImage* img = MaskPicture(mask);
    if (!mask.Manager || !img || img->View().Empty()) return;
    const TPixelView& src = img->View();
    const int count = std::max<int>(mask.ImageCount, 1);
    const int fw = mask.R.Width() / count;
    const int h = bottom ? mask.WB : mask.WT;
    const int top = mask.R.Top + (bottom ? MaskFrameHeight(mask) - mask.WB : 0);
    // Only the corner rows inside the picture are scanned.
    for (int row = std::max(0, -top); row < h && row < src.Height - top; ++row) {
        const int y = top + row;
        const int left0 = std::max(mask.R.Left, 0), left1 = std::min(mask.R.Left + int(mask.WL), src.Width);
        CollectRowRuns(rects, src, y, left0, std::max(left0, left1), -mask.R.Left, offsetY + row, clKeyColor);
        const int right0 = std::max(mask.R.Left + fw - mask.WR, 0), right1 = std::min(mask.R.Left + fw, src.Width);
        CollectRowRuns(rects, src, y, right0, std::max(right0, right1), targetWidth - fw - mask.R.Left, offsetY + row,
                       clKeyColor);
    }
}

void CopyMaskPiece(int dstX1, int dstY1, int dstX2, int dstY2, int srcX, int srcY, int srcRight, int srcBottom,
                   const TPixelView& dst, TRectList* cutOut, const TsMaskData& mask, bool useKey)
{
    if (dstX1 < 0 || dstY1 < 0 || dstX2 < 0 || dstY2 < 0 || dst.Width < 2 || dst.Height < 2 || !mask.Manager) return;
    if (dst.BitsPerPixel != 24) return;
    const TPixelImage* img = MaskPicture(mask);
    // PNG masks keep their 32 bits: their pixels are laid over the button by
    // their alpha, a transparent one leaving it as it was.
    if (!img || (img->BitsPerPixel() != 24 && img->BitsPerPixel() != 32)) return;
    const TPixelView& src = img->View();
    const int sb = src.BytesPerPixel();
    const int rows = std::min({srcBottom - srcY, dstY2 - dstY1, dst.Height - 1 - dstY1}) + 1;
    const int cols = std::min({dstX2 - dstX1, srcRight - srcX, dst.Width - 1 - dstX1}) + 1;
    if (rows <= 0 || cols <= 0 || srcX < 0 || srcY < 0) return;
    const int halfH = mask.R.Height() / 2;
    for (int r = 0; r < rows; ++r) {
        const int sy = srcY + r;
        if (sy >= src.Height || (mask.MaskType == 1 && sy + halfH >= src.Height)) break;
        // A rectangle turned inside out puts the transparency half above
        // the picture: such rows are left alone.
        if (mask.MaskType == 1 && sy + halfH < 0) continue;
        const uint8_t* s = src.Row(sy);
        const uint8_t* m = mask.MaskType == 1 ? src.Row(sy + halfH) : nullptr;
        uint8_t* d = dst.Row(dstY1 + r);
        int runStart = -1;
        const int usable = std::min(cols, src.Width - srcX);
        for (int c = 0; c <= usable; ++c) {
            const bool inRow = c < usable;
            const uint8_t* sp = inRow ? s + (srcX + c) * sb : nullptr;
            const bool key = inRow && useKey && TColor(sp[2] | (sp[1] << 8) | (sp[0] << 16)) == clKeyColor;
            if (key && runStart < 0) runStart = c;
            if (!key && runStart >= 0) {
                if (cutOut) cutOut->push_back({dstX1 + runStart, dstY1 + r, dstX1 + c, dstY1 + r + 1});
                runStart = -1;
            }
            if (!inRow || key) continue;
            uint8_t* dp = d + (dstX1 + c) * 3;
            uint8_t out[4] = {sp[0], sp[1], sp[2], uint8_t(sb == 4 ? sp[3] : 255)};
            if (m) {
                const uint8_t* mp = m + (srcX + c) * sb;
                for (int ch = 0; ch < 3; ++ch)
                    out[ch] = uint8_t(ClampByte(((dp[ch] - sp[ch]) * mp[ch] + sp[ch] * 256) >> 8));
            }
            const int a = out[3];
            for (int ch = 0; ch < 3; ++ch) dp[ch] = uint8_t((out[ch] * a + dp[ch] * (255 - a) + 127) / 255);
        }
    }
}

void DrawButtonMask(const TPixelView& bmp, TRectList* cutOut, bool filling, const TsMaskData& mask, int state)
{
    if (bmp.Width <= 1 || bmp.Height <= 1 || !mask.Manager) return;
    const int W = bmp.Width, H = bmp.Height;
    int l = mask.WL, t = mask.WT, r = mask.WR, b = mask.WB;
    // Too small for both corners: each gives up half of the excess.
    if (W < l + r) {
        const int d = (l + r - W) / 2;
        l = std::max(l - d, 0);
        r = std::max(r - d - (W % 2), 0);
    }
    if (H < t + b) {
        const int d = (t + b - H) / 2;
        t = std::max(t - d, 0);
        b = std::max(b - d - (H % 2), 0);
    }
    TRect src = mask.R;
    int count = mask.ImageCount;
    if (count < 1) {
        count = 1;
        if (mask.Bmp) src = {0, 0, mask.Bmp->Width(), mask.Bmp->Height()};
    }
    state = std::clamp(state, 0, count - 1);
    // The options reader bounds mask types; a mask made elsewhere with a
    // negative one still counts as plain rather than dividing by zero.
    const int fw = src.Width() / count;
    const int fh = src.Height() / (std::max<int>(mask.MaskType, 0) + 1);
    const int cw = std::max(fw - mask.WL - mask.WR, 0), ch = std::max(fh - mask.WT - mask.WB, 0);
    const int x0 = fw * state + src.Left, y0 = src.Top;
    const bool stretch = (mask.StretchMode & 1) && mask.MaskType != 1;
    auto piece = [&](int dx1, int dy1, int dx2, int dy2, int sx, int sy, int sr, int sb, bool key) {
        CopyMaskPiece(dx1, dy1, dx2, dy2, sx, sy, sr, sb, bmp, cutOut, mask, key);
    };
    // Sides and the centre: one stretched piece, or tiles cut at the end.
    auto area = [&](int dx1, int dy1, int dx2, int dy2, int sx, int sy, int sw, int sh) {
        if (dx2 < dx1 || dy2 < dy1 || sw <= 0 || sh <= 0) return;
        if (stretch) {
            const TPixelImage* img = MaskPicture(mask);
            if (!img) return;
            const TRect to{dx1, dy1, dx2 + 1, dy2 + 1}, from{sx, sy, sx + sw, sy + sh};
            if (img->BitsPerPixel() == 32)
                HalftoneStretchOver(bmp, to, img->View(), from);
            else
                HalftoneStretchPixels(bmp, to, img->View(), from);
            return;
        }
        ForEachTile({dx1, dy1, dx2 + 1, dy2 + 1}, sw, sh, PictureRect(bmp), [&](const TRect& t) {
            piece(t.Left, t.Top, t.Right - 1, t.Bottom - 1, sx, sy, sx + sw - 1, sy + sh - 1, false);
        });
    };
    piece(0, 0, l - 1, t - 1, x0, y0, x0 + l - 1, y0 + t - 1, true);
    piece(0, H - b, l - 1, H - 1, x0, y0 + fh - b, x0 + l - 1, y0 + fh - 1, true);
    area(0, t, l - 1, H - b - 1, x0, y0 + mask.WT, l, ch);
    area(l, 0, W - r - 1, t - 1, x0 + mask.WL, y0, cw, t);
    area(l, H - b, W - r - 1, H - 1, x0 + mask.WL, y0 + fh - b, cw, b);
    area(W - r, t, W - 1, H - b - 1, x0 + fw - r, y0 + mask.WT, r, ch);
    piece(W - r, H - b, W - 1, H - 1, x0 + fw - r, y0 + fh - b, x0 + fw - 1, y0 + fh - 1, true);
    piece(W - r, 0, W - 1, t - 1, x0 + fw - r, y0, x0 + fw - 1, y0 + t - 1, true);
    if (filling && (mask.StretchMode & 4)) area(l, t, W - r - 1, H - b - 1, x0 + mask.WL, y0 + mask.WT, cw, ch);
}

} // namespace skin
