#pragma once
// Glyphs by state (strips with a key colour, 32-bit pictures with alpha) and
// the whole-picture mixers of fades, disabled looks and tints.
#include <cstdint>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

enum TsDisabledKind : unsigned { dkBlended = 1, dkGrayed = 2 };
constexpr TColor clNoTint = 0x1FFFFFFF;

// monochrome: the glyph was a 1-bit picture before it reached these pixels;
// such a strip has no hot frame and shows its normal one when hot or pressed.
void DrawGlyphBitmap(const TPixelView& glyph, const TPixelView& dst, const TRect& r, int numGlyphs, bool enabled,
                     unsigned disabledKind, int state, int blend, int down, bool monochrome = false);
void DrawAlphaGlyph(TRect dstRect, TRect srcRect, const TPixelView& dst, const TPixelView& src, const TCacheInfo& ci,
                    bool fillKeyFromBG);
void DrawAlphaBitmap(const TRect& dstRect, const TRect& srcRect, const TPixelView& dst, const TPixelView& src,
                     const TCacheInfo& ci, bool fillKeyFromBG, TColor tintColor, int blend, bool reflected);

// Dst := (Src * (255 - A) + Dst * A + 127) shr 8 per byte, A the low byte of blend.
void MixBitmapsRect(const TPixelView& dst, const TPixelView& src, TColor blend, TRect srcRect, TPoint dstPoint);
void SumBitmaps(const TPixelView& dst, const TPixelView& src, uint8_t alpha);
// k is the share of the old destination: d := round(s - (s - d) * k).
void BlendBmpRect(const TPixelView& dst, int x, int y, const TPixelView& src, TRect srcRect, double k, TColor transColor);
void BlendBmpWithColor(const TPixelView& bmp, TColor color, TColor transColor, double k);
void MultiplyByMask(const TPixelView& bmp, const TPixelView& mask, TColor color);
void GrayScale(const TPixelView& bmp);
void GrayScaleTrans(const TPixelView& bmp, TColor transColor);
// Moves one channel (0 blue .. 3 alpha) of a 32-bit picture to or from an
// 8-bit plane of the same size.
void CopyChannel(const TPixelView& bmp32, uint8_t* plane, ptrdiff_t planeStride, int channel, bool toPlane);

// Nine pieces of srcRect into dstRect: corners as they are (cut by the corner
// limits), sides repeated (mode 0) or stretched (1), the centre likewise when
// fillCentre is set. Rects as (left, top, right, bottom) values.
void StretchBmpByMargins(const TPixelView& dst, const TPixelView& src, const TRect& dstRect, const TRect& srcRect,
                         const TRect& margins, const TRect& cornerLimits, const int (&sideModes)[4], int centreMode,
                         bool fillCentre);

#ifdef _WIN32
} // namespace skin
namespace tw {
class TBitmap;
}
namespace skin {
// A shape of colour with a soft edge of edgeWidth rings over rect r of bmp,
// transparency in percent (GDI's RoundRect draws the rings).
void PaintRoundedShape(tw::TBitmap& bmp, const TRect& r, int transparency, TColor color, int edgeWidth, int radius);
#endif

} // namespace skin
