#pragma once
// Windows only. Border pictures onto device contexts and windows: regions
// without the key-coloured pixels, border strips, and a skinned control's
// border painted through its cache.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "skin/engine/painting/BorderPainting.h"
#include "ui/Controls.h"
#include "ui/Graphics.h"

namespace skin {

class TsCommonData;

// A region of rectangles in bands (as BandsWithout and BandsOf give them),
// moved by (dx, dy); the caller owns it. Its cost follows the rectangles.
HRGN CreateBandsRegion(const TRectList& bands, int dx = 0, int dy = 0);
// A window's outline of more rectangles than this is not cut: under Wine
// every paint of a window clips to its region at a cost that grows with
// the square of its rectangles (20,000 made each repaint take a second),
// and one of some 40,000 ends the program with an X error. Such a skin's
// key pixels stay in the window instead.
constexpr size_t kMaxOutlineRects = 4096;
// The region of whole without the rectangles of cut, moved by (dx, dy); the
// whole of it when what is left would be more than kMaxOutlineRects.
HRGN CreateRegionWithout(const TRect& whole, const TRectList& cut, int dx = 0, int dy = 0);
// How many region calls the system has been asked for by the two above:
// a region costs a few calls per chunk of rectangles, never one per run.
uint64_t BandsRegionCalls();
// The rectangles removed from the region, all with one combination; none
// when they make more than kMaxOutlineRects.
void CutRectsFromRegion(HRGN rgn, const TRectList& rects);
// A region of the bitmap's size without its key-coloured pixels; the caller owns it.
void CreateMaskRegion(HRGN& rgn, const TPixelView& bmp, TColor keyColor);
// The button painter with the corners' key pixels cut from rgn (when given).
void DrawButtonMask(tw::TBitmap& bmp, HRGN rgn, bool filling, const TsMaskData& mask, int state);

void FillDCBorder(HDC dc, const TRect& r, int left, int top, int right, int bottom, TColor color);
void BitBltBorder(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int borderWidth);
// Leaves the visible graphic children of parent out of the DC's clip region.
void ExcludeControls(HDC dc, tw::TWinControl* parent, int offsetX, int offsetY);

// The border of a skinned windowed control, into its cache and onto dc;
// clientR comes back as what lies inside the border.
void PaintControlBorder(HDC dc, const TRect& r, int borderWidth, TsCommonData& data, int state, TRect& clientR);

} // namespace skin
