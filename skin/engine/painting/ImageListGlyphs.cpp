#include "skin/engine/painting/ImageListGlyphs.h"

#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/GlyphDrawing.h"

namespace skin {

void DrawListGlyph(const TPixelView& glyph, TColor transColor, const TPixelView& cache, int x, int y,
                   const TListGlyphLook& look)
{
    if (glyph.Empty() || cache.Empty()) return;
    const TRect whole(0, 0, glyph.Width, glyph.Height);
    if (!look.Enabled) {
        if (look.DisabledKind & dkGrayed) GrayScaleTrans(glyph, transColor);
        if (look.DisabledKind & dkBlended)
            BlendBmpRect(cache, x, y, glyph, whole, 0.5, transColor);
        else
            CopyKeyGlyph(cache, glyph, x, y, transColor);
        return;
    }
    // A focused button shows its glyph as it is.
    if (look.Grayed && !look.Focused) GrayScaleTrans(glyph, transColor);
    if (!look.Focused && look.Blend > 0)
        BlendBmpRect(cache, x, y, glyph, whole, look.Blend / 100.0, transColor);
    else
        CopyKeyGlyph(cache, glyph, x, y, transColor);
}

void SkinChangeHook() {}

} // namespace skin
