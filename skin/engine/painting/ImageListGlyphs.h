#pragma once
// Glyphs of the skinned glyph buttons: from the button's own glyph bitmap or
// from an image list, with the button's blend, grayed, reflected and disabled
// looks, into its cache bitmap (skinned) or onto a canvas.
#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

// How a plain image-list glyph of a skinned button looks.
struct TListGlyphLook {
    bool Enabled = true;
    bool Focused = false;
    bool Grayed = false;
    int Blend = 0;                  // percent of what lies beneath
    unsigned DisabledKind = 0;      // TsDisabledKind bits
};

// Puts a plain image-list glyph (its transparent colour transColor) onto a
// skinned button's cache at (x, y). The glyph is changed (grayed) on the way.
void DrawListGlyph(const TPixelView& glyph, TColor transColor, const TPixelView& cache, int x, int y,
                   const TListGlyphLook& look);

// Hooks the skin manager and the broadcast to children call; this program
// needs nothing of them.
void SkinChangeHook();

} // namespace skin

#ifdef _WIN32
#include <windows.h>

namespace tw {
class TBitmap;
class TCanvas;
class TControl;
class TCustomImageList;
} // namespace tw

namespace skin {

bool SkipGraphicControl(tw::TControl* control);

// What the glyph drawing asks of a skinned bit button or speed button; the
// buttons answer from their properties, their skin link and their layout.
class TsGlyphButton {
public:
    virtual ~TsGlyphButton() = default;
    virtual tw::TCustomImageList* Images() const = 0;
    virtual int ImageIndex() const = 0;
    virtual tw::TBitmap* Glyph() = 0;           // may be empty
    virtual int NumGlyphs() const = 0;
    virtual int Blend() const = 0;
    virtual bool Grayed() const = 0;
    virtual bool Reflected() const = 0;
    virtual unsigned DisabledGlyphKind() const = 0;
    virtual bool Down() const = 0;
    virtual bool GlyphEnabled() const = 0;
    virtual bool Skinned() const = 0;
    virtual bool GlyphFocused() const = 0;
    virtual tw::TBitmap* CacheBitmap() = 0;     // the skin link's cache
    virtual TRect GlyphRect() = 0;
    virtual int CurrentState() = 0;             // 0 normal, 1 hot, 2 pressed
    virtual int ButtonWidth() const = 0;
    virtual int ButtonHeight() const = 0;
};

// The image list of the skinned controls whose images carry alpha draws
// them itself: this is what the glyph drawing needs of it.
class TsAlphaImages {
public:
    virtual ~TsAlphaImages() = default;
    // State `state` of `states` laid side by side, with its alpha.
    virtual void DrawAlphaImage(int index, tw::TBitmap& dst, TPoint pos, int state, int states, bool reflected,
                                bool disabled) = 0;
    virtual void DrawAlphaImageDC(int index, HDC dc, TPoint pos, int state, int states, bool reflected,
                                  bool disabled) = 0;
};

// 0 for none.
int GetImageCount(tw::TCustomImageList* list);
// bmp becomes the list's size, 24-bit, filled with the list's background
// colour (the key colour when it has none), with the image drawn into it.
void FillGlyphFromImageList(tw::TBitmap& bmp, tw::TCustomImageList& list, int index);
// canvas nullptr: the button's cache bitmap. A null button draws nothing.
void DrawBtnGlyph(TsGlyphButton* button, tw::TCanvas* canvas);

} // namespace skin
#endif
