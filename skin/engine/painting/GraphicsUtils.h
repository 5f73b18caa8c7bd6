#pragma once
// The second half of the painting toolkit: colour mixing, merging, turning
// and resampling pictures, textures into a rectangle, and the layout of a
// glyph button's picture and caption.
#include <cstdint>
#include <memory>
#include <string>

#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"

namespace skin {

TColor AsColor(TColor c);
TColor AverageColor(TColor c1, TColor c2);
TColor BlendColors(TColor c1, TColor c2, double k);

// d := ((a - b) * w + b * 256) shr 8 per colour channel; w from the weight
// picture's byte when one is given. Nothing unless all pictures agree in size
// and the destination is 32-bit.
void MergeBitmaps32(const TPixelView& dst, const TPixelView& a, const TPixelView& b, uint16_t weight,
                    const TPixelView* weightBmp = nullptr);
void GaugeCopyPart(const TPixelView& dst, const TPixelView& src, const TPixelView& stencil, const TRect& r);
std::unique_ptr<TPixelImage> RotateBitmap90(const TPixelView& src, bool clockwise);

enum TResampleFilter { rfBox, rfTriangle, rfHermite, rfBell, rfBSpline, rfSineWindow, rfMitchell };
// Raises tw::Exception "Source bitmap is too small" under 2 pixels.
void ResampleBitmap(const TPixelView& src, TPixelImage& dst, int newWidth, int newHeight, int filter);

// Tiles the picture over the rect from its top-left corner, the last row and
// column cut.
void TileGraphic(const TPixelView& dst, const TRect& r, const TPixelView& picture);
// A texture mask (or a pattern picture) into the rect by draw mode; the rect
// comes back as what is still to paint (-1, -1, -1, -1: nothing).
void PaintTexture(const TPixelView& dst, TRect& r, const TPixelView* pattern, int drawMode, const TsMaskData* mask);
void PaintTextureBmp(const TPixelView& dst, TRect& r, const TCacheInfo& ci, int drawMode, const TsMaskData& mask);

void CalcButtonLayout(const TRect& client, TPoint glyphSize, TPoint captionSize, int layout, int alignment, int margin,
                      int spacing, TPoint& glyphPos, TRect& textBounds, unsigned biDiFlags);

#ifdef _WIN32
} // namespace skin
namespace tw {
class TBitmap;
class TCanvas;
}
namespace skin {
// Working bitmaps (device-independent); the caller owns them.
tw::TBitmap* CreateBmp24(int width, int height);
tw::TBitmap* CreateBmp32(int width, int height);
tw::TBitmap* CreateBmpLike(tw::TBitmap& bmp);
// width nested one-pixel frames, first colour top and left; the rect comes
// back shrunk by the width and the width 0.
void DrawRectFrame(HDC dc, TRect& r, TColor color1, int& width, TColor color2);
void PaintFocusDots(tw::TCanvas& canvas, const TRect& r);
// The text's extent in the font on the screen; 0, 0 when it cannot be measured.
TPoint GetTextSize(HFONT font, const std::string& text);
// UpdateLayeredWindow of user32, looked up once.
using TUpdateLayeredWindow = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
TUpdateLayeredWindow UpdateLayeredWindowEntry();
bool LayeredWindowsAvailable();
#endif

} // namespace skin
