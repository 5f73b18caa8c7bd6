#include "skin/controls/acAlphaImageList.h"

#include <algorithm>

#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "ui/Graphics.h"

namespace skin {

namespace {

// A disabled image: its grey (a white tint keeps the grey level) at half
// its opacity.
constexpr TColor kDisabledTint = 0xFFFFFF;
constexpr int kDisabledBlend = 50;

struct TStateFrame {
    TRect Src;
    int Width = 0, Height = 0;
};

// The frame of the state inside an image of the list's size; Width 0 when
// the image is too narrow for that many states.
TStateFrame FrameOf(const tw::TBitmap& image, int state, int states)
{
    const int n = std::max(states, 1);
    TStateFrame f;
    f.Width = image.Width() / n;
    f.Height = image.Height();
    const int s = std::clamp(state, 0, n - 1);
    f.Src = {s * f.Width, 0, (s + 1) * f.Width, f.Height};
    return f;
}

} // namespace

TsAlphaImageList::TsAlphaImageList(tw::TComponent* owner) : TImageList(owner)
{
    SetColorDepth(tw::cd32Bit);
    SetMasked(false);
}

void DrawAlphaImage(tw::TCustomImageList& list, int index, tw::TBitmap& dst, TPoint pos, int state, int states,
                    bool reflected, bool disabled)
{
    if (index < 0 || index >= list.Count() || dst.Width() <= 0 || dst.Height() <= 0) return;
    tw::TBitmap image;
    if (!list.GetImageBitmap(index, image)) return;
    GdiFlush();   // what GDI drew into dst must be there before the pixels are blended
    const TStateFrame f = FrameOf(image, state, states);
    if (f.Width <= 0 || f.Height <= 0) return;
    const TRect dstRect{pos.X, pos.Y, pos.X + f.Width, pos.Y + f.Height};
    DrawAlphaBitmap(dstRect, f.Src, dst.PixelView(), image.PixelView(), EmptyCacheInfo(), false,
                    disabled ? kDisabledTint : clNoTint, disabled ? kDisabledBlend : 0, reflected);
}

void DrawAlphaImageDC(tw::TCustomImageList& list, int index, HDC dc, TPoint pos, int state, int states,
                      bool reflected, bool disabled)
{
    if (!dc || index < 0 || index >= list.Count()) return;
    const int w = std::max(list.Width() / std::max(states, 1), 1);
    // Room for the mirror image below the image itself.
    const int h = list.Height() + (reflected ? list.Height() / 2 : 0);
    tw::TBitmap work(w, h, tw::pf32bit);
    HDC workDC = work.Canvas().Handle();
    BitBlt(workDC, 0, 0, w, h, dc, pos.X, pos.Y, SRCCOPY);
    GdiFlush();
    DrawAlphaImage(list, index, work, {0, 0}, state, states, reflected, disabled);
    BitBlt(dc, pos.X, pos.Y, w, h, workDC, 0, 0, SRCCOPY);
}

} // namespace skin
