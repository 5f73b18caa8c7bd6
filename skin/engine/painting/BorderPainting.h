#pragma once
// Border pictures of skin sections laid over buttons and windows: the nine
// pieces of a mask's state frame, and the runs of key-coloured pixels that
// window regions leave out.
#include <vector>

#include "base/PixelView.h"
#include "skin/engine/data/sMaskData.h"

namespace skin {

// Key-coloured pixels removed from a window region: one rectangle per run of
// a row (x0, y, x_end, y + 1).
using TRectList = std::vector<TRect>;

// The colour of one pixel of a 24- or 32-bit picture ($00BBGGRR).
TColor PixelColor(const TPixelView& v, int x, int y);

// Appends the runs of pixels of exactly color, row by row; nothing for a
// picture not at least 2 x 2 (24 bits).
void CollectColorRects(TRectList& rects, const TPixelView& bmp, TColor color);

// Appends the key-coloured runs of the two upper (or lower) corners of the
// mask's first frame, placed for a target of the given width at offsetY.
void GetMaskTransRects(TRectList& rects, int targetWidth, const TsMaskData& mask, int offsetY, bool bottom);

// What a window region is built from at once: the rectangles of whole
// without any of cut (BandsWithout), or of the union of rects (BandsOf), in
// bands of rows from the top, each band's rectangles from the left, touching
// ones joined and neighbouring bands of the same spans made one, as the
// system keeps a region. The cost follows the rectangles, not their square.
TRectList BandsWithout(const TRect& whole, const TRectList& cut);
TRectList BandsOf(const TRectList& rects);

// One piece of the mask's picture into dst (inclusive destination bounds,
// clipped to dst). With useKey key-coloured source pixels are left out and
// their runs appended to cutOut (when given).
void CopyMaskPiece(int dstX1, int dstY1, int dstX2, int dstY2, int srcX, int srcY, int srcRight, int srcBottom,
                   const TPixelView& dst, TRectList* cutOut, const TsMaskData& mask, bool useKey);

// The state frame of the mask over the whole of bmp (24 bits): corners kept,
// sides repeated (or stretched), the centre only with filling and when the
// mask draws it. The key-coloured corner pixels go to cutOut.
void DrawButtonMask(const TPixelView& bmp, TRectList* cutOut, bool filling, const TsMaskData& mask, int state);

} // namespace skin
