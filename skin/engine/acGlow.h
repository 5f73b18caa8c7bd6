#pragma once
// The glow of a hot control: a halo from the section's glow mask, shown in a
// layered, click-through window of its own around the control. The portable
// part places and composes the halo's picture; the windows and the list of
// shown glows are on the Windows side.
#include "skin/engine/PixelView.h"
#include "skin/engine/SkinUtils.h"

namespace skin {

class TsSkinManager;

// Where a halo goes: the window's size and screen position, and where its
// picture starts in the uncut halo.
struct TGlowPlacement {
    int FullWidth = 0, FullHeight = 0;
    int CropX = 0, CropY = 0;
    int Width = 0, Height = 0;
    TPoint Pos;
    // A halo that would be less than a pixel wide or high is not shown.
    bool Valid() const { return Width >= 1 && Height >= 1; }
};

// r: the control on the screen; clip: its visible part in its own
// coordinates; wl..wb: the glow mask's border widths; margin: the section's
// GLOWMARGIN, by which the halo reaches under the control. A control cut by
// its parent's edge gets a halo cut at that edge.
TGlowPlacement GlowPlacement(const TRect& r, const TRect& clip, int wl, int wt, int wr, int wb, int margin);

// The uncut halo: width x height, 32 bits, transparent black with the mask's
// first frame drawn over all of it (an invalid mask leaves it transparent).
TPixelImage CreateGlowPicture(const TsSkinManager& sm, int maskIndex, int width, int height);

// The window's picture: the placement's part of the halo, with its colours
// multiplied by their alpha as layered windows take them.
TPixelImage CutGlowPicture(const TPixelImage& full, const TGlowPlacement& p);

} // namespace skin
