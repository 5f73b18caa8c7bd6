// The Windows side of the glyph-button helpers: image lists, the buttons'
// canvases and the detour through a working bitmap when the glyph does not
// go into the button's cache.
#include <windows.h>

#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"
#include "skin/engine/painting/ImageListGlyphs.h"
#include "skin/engine/painting/acPNGGraphic.h"
#include "ui/Graphics.h"
#include "ui/ImgList.h"

namespace skin {

namespace {

// Draws into a 24-bit copy of the canvas's area of the button's size and puts
// the result back: the painters need pixels, a canvas may be a window's.
template <class Paint>
void ThroughWorkingBitmap(tw::TCanvas& canvas, int width, int height, Paint paint)
{
    if (width <= 0 || height <= 0 || !canvas.Handle()) return;
    tw::TBitmap work(width, height, tw::pf24bit);
    BitBlt(work.Canvas().Handle(), 0, 0, width, height, canvas.Handle(), 0, 0, SRCCOPY);
    paint(work);
    BitBlt(canvas.Handle(), 0, 0, width, height, work.Canvas().Handle(), 0, 0, SRCCOPY);
}

// The painters take 24- and 32-bit pictures only.
tw::TBitmap* AsDib(tw::TBitmap& bmp, tw::TBitmap& converted, tw::TPixelFormat pf = tw::pf24bit)
{
    if (bmp.PixelFormat() == tw::pf24bit || bmp.PixelFormat() == tw::pf32bit) return &bmp;
    converted.Assign(bmp);
    converted.SetPixelFormat(pf);
    return &converted;
}

void DrawOwnGlyph(TsGlyphButton& b, tw::TBitmap& glyph, tw::TCanvas& target, tw::TBitmap* cache)
{
    tw::TBitmap converted;
    tw::TBitmap* g = AsDib(glyph, converted);
    const TRect r = b.GlyphRect();
    auto paint = [&](tw::TBitmap& dst) {
        if (b.NumGlyphs() == 1 && b.Blend() == 0 && g->PixelFormat() == tw::pf32bit) {
            // A glyph with alpha: drawn over what lies beneath.
            TPNGBitmap png;
            png.Assign(*g);
            png.Reflected = b.Reflected() ? 1 : 0;
            dst.Canvas().Draw(r.Left, r.Top, &png);
        } else {
            // The pixels are 24 or 32 bits now (a 32-bit glyph goes by its
            // alpha); the frame rule asks what the glyph was.
            DrawGlyphBitmap(g->PixelView(), dst.PixelView(), r, b.NumGlyphs(), b.GlyphEnabled(), b.DisabledGlyphKind(),
                            b.CurrentState(), b.Blend(), b.Down() ? 1 : 0, glyph.PixelFormat() == tw::pf1bit);
        }
    };
    if (cache && &target == &cache->Canvas())
        paint(*cache);
    else
        ThroughWorkingBitmap(target, b.ButtonWidth(), b.ButtonHeight(), paint);
}

void DrawListImage(TsGlyphButton& b, tw::TCustomImageList& list, int index, tw::TCanvas& target, tw::TBitmap* cache)
{
    const TRect r = b.GlyphRect();
    const bool enabled = b.GlyphEnabled();
    if (auto* alpha = dynamic_cast<TsAlphaImages*>(&list)) {
        // The list's images hold their states side by side.
        const int state = b.CurrentState() + (b.Down() ? 1 : 0);
        if (b.Skinned() && cache)
            alpha->DrawAlphaImage(index, *cache, TPoint(r.Left, r.Top), state, b.NumGlyphs(), b.Reflected(), !enabled);
        else
            alpha->DrawAlphaImageDC(index, target.Handle(), TPoint(r.Left, r.Top), state, b.NumGlyphs(), b.Reflected(),
                                    !enabled);
        return;
    }
    tw::TBitmap work;
    FillGlyphFromImageList(work, list, index);
    const TColor trans = work.TransparentColor();
    if (!b.Skinned()) {
        if (!enabled && (b.DisabledGlyphKind() & dkGrayed)) GrayScaleTrans(work.PixelView(), trans);
        work.SetTransparent(true);
        target.Draw(r.Left, r.Top, &work);
        return;
    }
    if (!cache) return;
    if (cache->PixelFormat() == tw::pf32bit) work.SetPixelFormat(tw::pf32bit);
    TListGlyphLook look;
    look.Enabled = enabled;
    look.Focused = b.GlyphFocused();
    look.Grayed = b.Grayed();
    look.Blend = b.Blend();
    look.DisabledKind = b.DisabledGlyphKind();
    DrawListGlyph(work.PixelView(), trans, cache->PixelView(), r.Left, r.Top, look);
}

} // namespace

bool SkipGraphicControl(tw::TControl*) { return false; }

int GetImageCount(tw::TCustomImageList* list) { return list ? list->Count() : 0; }

void FillGlyphFromImageList(tw::TBitmap& bmp, tw::TCustomImageList& list, int index)
{
    bmp.SetPixelFormat(tw::pf24bit);
    bmp.SetSize(list.Width(), list.Height());
    const TColor bk = list.BkColor() == tw::clNone ? clKeyColor : TColor(tw::ColorToRGB(list.BkColor()));
    bmp.Canvas().Brush().SetColor(bk);
    bmp.Canvas().FillRect(tw::TRect(0, 0, bmp.Width(), bmp.Height()));
    list.Draw(bmp.Canvas(), 0, 0, index);
    GdiFlush();
}

void DrawBtnGlyph(TsGlyphButton* button, tw::TCanvas* canvas)
{
    if (!button) return;
    tw::TBitmap* cache = button->CacheBitmap();
    if (cache && cache->Empty()) cache = nullptr;
    tw::TCanvas* target = canvas ? canvas : cache ? &cache->Canvas() : nullptr;
    if (!target) return;
    tw::TBitmap* glyph = button->Glyph();
    if (glyph && !glyph->Empty()) {
        DrawOwnGlyph(*button, *glyph, *target, cache);
        return;
    }
    tw::TCustomImageList* list = button->Images();
    const int index = button->ImageIndex();
    if (list && index >= 0 && index < GetImageCount(list)) DrawListImage(*button, *list, index, *target, cache);
}

} // namespace skin
