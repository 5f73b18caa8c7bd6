#pragma once
// The pixel layer of the skin: row access to 24- and 32-bit pictures, the
// blends of fades and disabled looks, copies that treat the key colour
// $FF00FF as transparent, and the painters of skin masks by state.
#include <algorithm>
#include <cstdint>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/data/sMaskData.h"

namespace skin {

// Where a painted item's background comes from: a picture with the offset of
// the item in it, or a plain colour when not Ready.
struct CacheInfo {
    TPixelView Bmp;
    int X = 0, Y = 0;
    TColor FillColor = clKeyColor;
    bool Ready = false;
};
// The name most of the painters were written with.
using TCacheInfo = CacheInfo;
TCacheInfo MakeCacheInfo(const TPixelView& bmp, int x = 0, int y = 0);
const TCacheInfo& EmptyCacheInfo();

// The whole of a picture as a rect.
inline TRect PictureRect(const TPixelView& v) { return {0, 0, v.Width, v.Height}; }

// Calls draw(tile) for the tw x th tiles laid over area from its top-left
// (the last row and column cut to area) that reach into clip. Tiles wholly
// outside clip are never visited: a skin's piece of one pixel over a large
// area costs what is drawn, not what the area declares.
template <class F> void ForEachTile(const TRect& area, int tw, int th, const TRect& clip, F draw)
{
    if (tw <= 0 || th <= 0) return;
    const int64_t left = std::max(area.Left, clip.Left), right = std::min(area.Right, clip.Right);
    const int64_t top = std::max(area.Top, clip.Top), bottom = std::min(area.Bottom, clip.Bottom);
    if (left >= right || top >= bottom) return;
    const int64_t x0 = area.Left + (left - area.Left) / tw * tw, y0 = area.Top + (top - area.Top) / th * th;
    for (int64_t y = y0; y < bottom; y += th)
        for (int64_t x = x0; x < right; x += tw)
            draw(TRect{int(x), int(y), int(std::min<int64_t>(x + tw, area.Right)), int(std::min<int64_t>(y + th, area.Bottom))});
}

// Row access to a picture of one format and at least 2 x 2 pixels; a refused
// attach leaves Width 0. Coordinates are not checked.
class TacFastRows {
public:
    int Width = 0, Height = 0;
    uint8_t* FirstRow = nullptr;
    ptrdiff_t RowDelta = 0;

protected:
    bool AttachRows(const TPixelView& bmp, int bitsPerPixel);
};

class TacFast24 : public TacFastRows {
public:
    bool Attach(const TPixelView& bmp) { return AttachRows(bmp, 24); }
    TColor GetPixel(int x, int y) const;  // $00BBGGRR
    void SetPixel(int x, int y, TColor c);
};

class TacFast32 : public TacFastRows {
public:
    bool Attach(const TPixelView& bmp) { return AttachRows(bmp, 32); }
    uint32_t GetPixel(int x, int y) const;  // $AABBGGRR
    void SetPixel(int x, int y, uint32_t c);
    void FillRect(const TRect& r, uint32_t pixel);
};

// Mixes SourceRect of the source into DestRect of the destination:
// d := (d * Alpha + s * (255 - Alpha) + 127) shr 8 for every byte.
class TacFastSum24 {
public:
    bool Attach(const TPixelView& src, const TPixelView& dst);
    void Blend();
    TPixelView Src, Dst;
    TRect DestRect, SourceRect;
    uint8_t Alpha = 0;

protected:
    int bytes_ = 3;
};
class TacFastSum32 : public TacFastSum24 {
public:
    TacFastSum32() { bytes_ = 4; }
};

void FillLongword(uint32_t* p, int count, uint32_t value);
uint32_t ColorToPixel32(TColor c);
void FillRect32(const TPixelView& bmp, const TRect& r, TColor c);
// Percent is the share of the old pixel; right and bottom inclusive.
void BlendColorRect(const TPixelView& bmp, TRect r, int percent, TColor c);
// Source rects of the key copies are inclusive.
void CopyKeyColorRect(const TPixelView& dst, const TPixelView& src, int x, int y, TRect r, TColor key);
void CopyKeyGlyph(const TPixelView& dst, const TPixelView& src, int x, int y, TColor transColor);
void CopyKeyColorPiece(const TPixelView& dst, const TPixelView& src, int x, int y, TRect r, TColor key,
                       const TCacheInfo& ci, bool useBG);
// Pixels of dstRect showing the key colour (tested on dst itself, or on the
// mask's picture when maskIndex is valid) take the source's pixels.
void CopyBGToKeyPixels(const TPixelView& dst, const TPixelView& src, const TRect& dstRect, TPoint srcPoint,
                       int maskIndex, const TsSkinManager* sm, int pieceCode);

void DrawMaskRect(const TPixelView& dst, const TRect& r, bool drawCentre, const TCacheInfo& ci, const TsMaskData& mask,
                  int state, bool useBG);
void DrawMaskGlyph(const TPixelView& dst, TPoint p, int state, int drawMode, const TsMaskData& mask,
                   const TCacheInfo& ci);
void BlendMaskGlyph(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TsMaskData& mask,
                    int drawMode, TColor key, const TPixelView& src);
void TileMaskPiece(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TsMaskData& mask,
                   const TCacheInfo& ci);

// Re-composes the chosen corners (1 top-left, 2 bottom-left, 4 top-right,
// 8 bottom-right) of a control's cache picture from its border mask: where
// the mask shows the key colour the parent's background shows, from bg's
// picture (Ready, at the control's offset X, Y) or bg's FillColor.
void PaintCacheBorderSides(const TPixelView& cache, const TsMaskData& mask, int state, unsigned corners,
                           const TCacheInfo& bg);
// The disabled look of a finished cache picture: grey (dkGrayed) and/or
// mixed with what lies under it (dkBlended) from the parent's cache at
// offset, else its colour (parentColor standing in for the key colour).
void PaintDisabledState(const TPixelView& bmp, unsigned disabledKind, TColor parentColor, const TCacheInfo& ci,
                        TPoint offset);

// The band below each frame of a mask (MaskType 1) weighs the background:
// d := s + (bg - s) * m shr 8, m = 255 showing the background.
void CopyMaskPieceOverBG(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TPixelView& src,
                         const TCacheInfo& ci, bool updateCorners, const TsMaskData& mask);

// What the fourth byte of a 32-bit source means to the copies below: kept
// as it is into a 32-bit destination, nothing (the copy is opaque), or the
// pixel's opacity (laid over what the destination holds, a transparent
// pixel leaving it as it was). A source without a fourth byte is opaque.
enum class TSourceAlpha { Keep, Opaque, Over };

// Plain block copy and a stretch (nearest pixel) of src rect into dst rect,
// both clipped to their pictures.
void CopyRectPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, TPoint srcAt,
                    TSourceAlpha alpha = TSourceAlpha::Keep);
void StretchRectPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect,
                       TSourceAlpha alpha = TSourceAlpha::Keep);
// srcRect of a 32-bit picture laid over dst at (x, y) by its alpha, that
// alpha first scaled by opacity percent (100: as it is).
void BlendRectOver(const TPixelView& dst, int x, int y, const TPixelView& src, const TRect& srcRect, int opacity = 100);
// The same stretch with the colours averaged over each pixel's area (the
// platform's half-tone stretching): edges between source pixels blend when
// enlarging; shrinking up to 4 pixels to 1 along an axis drops no pixel of
// the source, a greater shrink averages 4 evenly spread samples along it, so
// that a paint costs what it paints, not the whole of a huge source.
void HalftoneStretchPixels(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect);
// The same of a 32-bit picture, stretched with its alpha and then laid over
// what dst holds.
void HalftoneStretchOver(const TPixelView& dst, const TRect& dstRect, const TPixelView& src, const TRect& srcRect);
// The source pixels the stretch above has weighed, all calls together.
uint64_t HalftoneSourceReads();

} // namespace skin
