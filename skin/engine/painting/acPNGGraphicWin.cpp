#include "skin/engine/painting/acPNGGraphic.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "skin/engine/common/GdiGuards.h"
#include "skin/engine/images/acPNG.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {

namespace {

void HalftoneStretch(tw::TBitmap& dst, tw::TBitmap& src)
{
    HDC d = dst.Canvas().Handle();
    SetStretchBltMode(d, HALFTONE);
    SetBrushOrgEx(d, 0, 0, nullptr);
    StretchBlt(d, 0, 0, dst.Width(), dst.Height(), src.Canvas().Handle(), 0, 0, src.Width(), src.Height(), SRCCOPY);
}

// The picture resampled to w x h with its alpha resampled on its own: a
// stretch of 32-bit pixels does not carry the alpha along.
void ScaledWithAlpha(tw::TBitmap& source, int w, int h, tw::TBitmap& colour)
{
    HalftoneStretch(colour, source);
    const TPixelView src = source.PixelView();
    std::vector<uint8_t> plane(static_cast<size_t>(src.Width) * static_cast<size_t>(src.Height));
    CopyChannel(src, plane.data(), src.Width, 3, true);
    // The alpha as a grey picture, stretched the same way.
    tw::TBitmap alpha(src.Width, src.Height, tw::pf24bit);
    const TPixelView a = alpha.PixelView();
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x)
            std::memset(a.Pixel(x, y), plane[static_cast<size_t>(y) * src.Width + x], 3);
    tw::TBitmap scaled(w, h, tw::pf24bit);
    HalftoneStretch(scaled, alpha);
    const TPixelView s = scaled.PixelView();
    const TPixelView c = colour.PixelView();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            c.Pixel(x, y)[3] = s.Pixel(x, y)[0];
}

} // namespace

void TPNGBitmap::LoadFromStream(tw::TStream& s)
{
    TPNGGraphic png;
    png.LoadFromStream(s);
    const TPixelImage image = png.Image();
    const bool alpha = image.BitsPerPixel() == 32;
    SetPixelFormat(alpha ? tw::pf32bit : tw::pf24bit);
    SetSize(image.Width(), image.Height());
    const TPixelView dst = PixelView();
    const TPixelView& src = image.View();
    const size_t rowBytes = static_cast<size_t>(src.Width) * static_cast<size_t>(src.BytesPerPixel());
    for (int y = 0; y < src.Height; ++y)
        std::memcpy(dst.Row(y), src.Row(y), rowBytes);
    // A grey or RGB picture's tRNS colour makes the bitmap transparent in
    // that colour, as a key-coloured bitmap is drawn.
    if (png.Transparent() && png.TransparentColor() != clNone) {
        SetTransparentColor(static_cast<tw::TColor>(png.TransparentColor()));
        SetTransparent(true);
    }
}

void TPNGBitmap::Assign(const tw::TGraphic& source)
{
    const uint8_t reflected = Reflected;
    tw::TBitmap::Assign(source);
    Reflected = reflected;
}

void TPNGBitmap::Draw(tw::TCanvas& canvas, const tw::TRect& r)
{
    if (PixelFormat() != tw::pf32bit) {
        tw::TBitmap::Draw(canvas, r);
        return;
    }
    const int w = r.Width(), h = r.Height();
    // Nothing to draw into (and no bitmap can be made that small).
    if (w <= 0 || h <= 0 || Empty())
        return;
    tw::TBitmap background(w, h + (Reflected ? h / 2 : 0), tw::pf24bit);
    HDC target = canvas.Handle();
    BitBlt(background.Canvas().Handle(), 0, 0, background.Width(), background.Height(), target, r.Left, r.Top,
           SRCCOPY);
    const TRect whole(0, 0, w, h);
    if (w == Width() && h == Height()) {
        DrawAlphaBitmap(whole, whole, background.PixelView(), PixelView(), EmptyCacheInfo(), false, clNone, 0,
                        Reflected != 0);
    } else {
        tw::TBitmap colour(w, h, tw::pf32bit);
        ScaledWithAlpha(*this, w, h, colour);
        DrawAlphaBitmap(whole, whole, background.PixelView(), colour.PixelView(), EmptyCacheInfo(), false, clNone, 0,
                        false);
    }
    BitBlt(target, r.Left, r.Top, background.Width(), background.Height(), background.Canvas().Handle(), 0, 0,
           SRCCOPY);
}

void RegisterPNGGraphic()
{
    // The class library's own formats first: they are registered once, on
    // first use, and would otherwise take "png" back.
    tw::RegisterStandardPictureFormats();
    tw::TPicture::RegisterFileFormat("png", "Portable network graphics (skin library)",
                                     [] { return static_cast<tw::TGraphic*>(new TPNGBitmap()); });
    // The format leaves with the program; the class library's table of
    // formats was made above, so it is still there when this runs.
    static const bool unregisterAtExit = std::atexit(&UnregisterPNGGraphic) == 0;
    (void)unregisterAtExit;
}

void UnregisterPNGGraphic() { tw::TPicture::UnregisterFileFormat("png"); }

HICON MakeIcon32(tw::TBitmap& bitmap, bool cornerKey)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    if (w <= 0 || h <= 0)
        return nullptr;
    // The mask: bit set where the icon is transparent, rows of whole words.
    const int maskStride = ((w + 15) / 16) * 2;
    std::vector<uint8_t> mask(static_cast<size_t>(maskStride) * static_cast<size_t>(h), 0);
    if (cornerKey || bitmap.PixelFormat() != tw::pf32bit) {
        bitmap.SetPixelFormat(tw::pf32bit);
        const TPixelView v = bitmap.PixelView();
        uint32_t key;
        std::memcpy(&key, v.Pixel(0, 0), 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = v.Pixel(x, y);
                uint32_t px;
                std::memcpy(&px, p, 4);
                if (px != key)
                    p[3] = 255;
                else
                    mask[static_cast<size_t>(y) * maskStride + x / 8] |= uint8_t(0x80 >> (x % 8));
            }
    }
    TGdiObject maskBmp(CreateBitmap(w, h, 1, 1, mask.data()));
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = static_cast<HBITMAP>(maskBmp.Get());
    info.hbmColor = bitmap.Handle();
    return CreateIconIndirect(&info);
}

} // namespace skin
