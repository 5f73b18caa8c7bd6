#include "skin/engine/link/BorderPaintingWin.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/ItemPainting.h"

namespace skin {

namespace {

std::atomic<uint64_t> regionCalls{0};

// Wine builds a region from its data one rectangle at a time, each added
// at the cost of all before it: chunks of this many stay cheap, and joining
// the chunks pairwise keeps the whole in proportion to its rectangles.
constexpr size_t kChunkRects = 32;

HRGN ChunkRegion(const TRect* rects, size_t count, int dx, int dy)
{
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + count * sizeof(RECT));
    RGNDATA* rd = reinterpret_cast<RGNDATA*>(data.data());
    rd->rdh.dwSize = sizeof(RGNDATAHEADER);
    rd->rdh.iType = RDH_RECTANGLES;
    rd->rdh.nCount = DWORD(count);
    rd->rdh.nRgnSize = DWORD(count * sizeof(RECT));
    RECT bound{rects[0].Left + dx, rects[0].Top + dy, rects[0].Right + dx, rects[0].Bottom + dy};
    RECT* out = reinterpret_cast<RECT*>(rd->Buffer);
    for (size_t i = 0; i < count; ++i) {
        const TRect& r = rects[i];
        out[i] = {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
        bound = {std::min(bound.left, out[i].left), std::min(bound.top, out[i].top),
                 std::max(bound.right, out[i].right), std::max(bound.bottom, out[i].bottom)};
    }
    rd->rdh.rcBound = bound;
    ++regionCalls;
    return ExtCreateRegion(nullptr, DWORD(data.size()), rd);
}

} // namespace

HRGN CreateBandsRegion(const TRectList& bands, int dx, int dy)
{
    std::vector<HRGN> parts;
    parts.reserve(bands.size() / kChunkRects + 1);
    for (size_t i = 0; i < bands.size(); i += kChunkRects) {
        HRGN part = ChunkRegion(bands.data() + i, std::min(kChunkRects, bands.size() - i), dx, dy);
        if (!part) {
            for (HRGN p : parts) DeleteObject(p);
            return nullptr;
        }
        parts.push_back(part);
    }
    if (parts.empty()) {
        ++regionCalls;
        return CreateRectRgn(0, 0, 0, 0);
    }
    while (parts.size() > 1) {
        size_t kept = 0;
        for (size_t i = 0; i < parts.size(); i += 2) {
            if (i + 1 < parts.size()) {
                ++regionCalls;
                const int joined = CombineRgn(parts[i], parts[i], parts[i + 1], RGN_OR);
                DeleteObject(parts[i + 1]);
                parts[i + 1] = nullptr;
                if (joined == ERROR) {
                    // Out of memory for the region: none rather than a part.
                    for (HRGN p : parts)
                        if (p) DeleteObject(p);
                    return nullptr;
                }
            }
            parts[kept++] = parts[i];
        }
        parts.resize(kept);
    }
    return parts[0];
}

HRGN CreateRegionWithout(const TRect& whole, const TRectList& cut, int dx, int dy)
{
    TRectList bands = BandsWithout(whole, cut);
    if (bands.size() > kMaxOutlineRects) bands = {whole};
    return CreateBandsRegion(bands, dx, dy);
}

uint64_t BandsRegionCalls() { return regionCalls.load(); }

void CutRectsFromRegion(HRGN rgn, const TRectList& rects)
{
    if (!rgn || rects.empty()) return;
    const TRectList bands = BandsOf(rects);
    if (bands.size() > kMaxOutlineRects) return;
    const TGdiObject cut(CreateBandsRegion(bands));
    if (cut.Get()) CombineRgn(rgn, rgn, static_cast<HRGN>(cut.Get()), RGN_DIFF);
}

void CreateMaskRegion(HRGN& rgn, const TPixelView& bmp, TColor keyColor)
{
    TRectList rects;
    CollectColorRects(rects, bmp, keyColor);
    rgn = CreateRegionWithout({0, 0, bmp.Width, bmp.Height}, rects);
}

void DrawButtonMask(tw::TBitmap& bmp, HRGN rgn, bool filling, const TsMaskData& mask, int state)
{
    TRectList cut;
    DrawButtonMask(bmp.PixelView(), rgn ? &cut : nullptr, filling, mask, state);
    CutRectsFromRegion(rgn, cut);
}

void FillDCBorder(HDC dc, const TRect& r, int left, int top, int right, int bottom, TColor color)
{
    const int saved = SaveDC(dc);
    const TGdiObject brush(CreateSolidBrush(tw::ColorToRGB(color)));
    const HBRUSH b = static_cast<HBRUSH>(brush.Get());
    const RECT strips[] = {{r.Left, r.Top, r.Right, r.Top + top},
                           {r.Left, r.Top + top, r.Left + left, r.Bottom},
                           {r.Left + left, r.Bottom - bottom, r.Right, r.Bottom},
                           {r.Right - right, r.Top + top, r.Right, r.Bottom - bottom}};
    for (const RECT& s : strips)
        if (s.left < s.right && s.top < s.bottom) FillRect(dc, &s, b);
    RestoreDC(dc, saved);
}

void BitBltBorder(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int bw)
{
    // Each strip from the same place of the source, none beyond the rectangle.
    const int w = std::min(bw, width), h = std::min(bw, height);
    BitBlt(dst, x, y, w, height, src, srcX, srcY, SRCCOPY);
    BitBlt(dst, x + w, y, width - w, h, src, srcX + w, srcY, SRCCOPY);
    BitBlt(dst, x + width - w, y + h, w, height - h, src, srcX + width - w, srcY + h, SRCCOPY);
    BitBlt(dst, x + w, y + height - h, width - w, h, src, srcX + w, srcY + height - h, SRCCOPY);
}

void ExcludeControls(HDC dc, tw::TWinControl* parent, int offsetX, int offsetY)
{
    if (!parent) return;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        tw::TControl* c = parent->Controls(i);
        if (!c->Visible() || c->IsWindowed()) continue;
        ExcludeClipRect(dc, c->Left() + offsetX, c->Top() + offsetY, c->Left() + c->Width() + offsetX,
                        c->Top() + c->Height() + offsetY);
    }
}

void PaintControlBorder(HDC dc, const TRect& r, int borderWidth, TsCommonData& data, int state, TRect& clientR)
{
    const TRect rc = r;
    const TColor bg = data.GetControlBGColor(state != 0);
    tw::TControl* owner = data.OwnerControl();
    TacBGInfo info;
    if (owner && owner->Parent()) {
        GetBGInfo(info, owner->Parent(), false);
        info.OffsetX += owner->Left();
        info.OffsetY += owner->Top();
    }
    TsSkinManager* sm = data.SkinManager();
    auto shrink = [](const TRect& a, int l, int t, int rr, int b) { return TRect{a.Left + l, a.Top + t, a.Right - rr, a.Bottom - b}; };
    if (!sm || !sm->MaskIndexValid(data.BorderIndex)) {
        if (borderWidth != 0) FillDCBorder(dc, rc, borderWidth, borderWidth, borderWidth, borderWidth, bg);
        clientR = shrink(rc, borderWidth, borderWidth, borderWidth, borderWidth);
        return;
    }
    const TsMaskData& m = sm->ma[size_t(data.BorderIndex)];
    data.InitCacheBmp();
    tw::TBitmap& cache = *data.CacheBmp();
    HDC cacheDC = cache.Canvas().Handle();
    if (m.MaskType == 1) {
        if (info.BgType != btCache) {
            FillDCBorder(cacheDC, rc, m.WL, m.WT, m.WR, m.WB, bg);
        } else {
            // The whole of rc from the parent's picture: the mask and the
            // control's own painting cover what lies inside the strips.
            CopyRectPixels(cache.PixelView(), rc, info.Bmp, {info.OffsetX + rc.Left, info.OffsetY + rc.Top});
        }
    }
    DrawMaskRect(cache.PixelView(), rc, false, BGInfoToCacheInfo(info), m, state, true);
    clientR = shrink(rc, m.WL, m.WT, m.WR, m.WB);
    if (borderWidth != 0) {
        const int W = rc.Width(), H = rc.Height();
        const int l = std::max(std::min(borderWidth, W - m.WR) - m.WL, 0);
        const int t = std::max(std::min(borderWidth, H - m.WB) - m.WT, 0);
        const int rr = std::max(std::min(borderWidth, W - m.WL) - m.WR, 0);
        const int b = std::max(std::min(borderWidth, H - m.WT) - m.WB, 0);
        FillDCBorder(cacheDC, clientR, l, t, rr, b, bg);
        clientR = shrink(rc, borderWidth, borderWidth, borderWidth, borderWidth);
        clientR.Right = std::max(clientR.Right, clientR.Left);
        clientR.Bottom = std::max(clientR.Bottom, clientR.Top);
        if (dc != cacheDC) BitBltBorder(dc, rc.Left, rc.Top, W, H, cacheDC, rc.Left, rc.Top, borderWidth);
    }
}

} // namespace skin
