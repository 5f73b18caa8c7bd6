#pragma once
// The glow of a hot control: a halo from the section's glow mask, shown in a
// layered, click-through window of its own around the control. The portable
// part places and composes the halo's picture; the windows and the list of
// shown glows are on the Windows side.
#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

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

#ifdef _WIN32
} // namespace skin

#include <windows.h>

#include <memory>
#include <string>

#include "skin/engine/painting/GraphicsUtils.h"
#include "ui/Types.h"

namespace tw {
class TForm;
}

namespace skin {

// One shown halo: its window (a borderless form that lets the mouse through)
// keeps the layered picture; the picture itself is dropped once shown.
class TacGlowEffect {
public:
    explicit TacGlowEffect(TsSkinManager& sm);
    virtual ~TacGlowEffect();
    TacGlowEffect(const TacGlowEffect&) = delete;
    TacGlowEffect& operator=(const TacGlowEffect&) = delete;

    virtual void CreateGlowBmp(int width, int height);
    // False when there is nothing to show (no layered windows, a halo below
    // one pixel); the effect then has no window.
    bool Show(const TRect& r, const TRect& clip, HWND host);
    HWND WindowHandle() const;

    TsSkinManager& Manager;
    int MaskIndex = -1;
    int Margin = 0;
    // Set when the manager goes: the window is destroyed at once instead of
    // after the current message.
    bool FreeAtOnce = false;

private:
    tw::TForm* window_ = nullptr;
    tw::TWndMethod savedProc_;
    TPixelImage picture_;
};

// r: the control on the screen, clip: its visible part in its own
// coordinates; sm nullptr: the default manager. The glow id, or -1 when no
// halo was made (no layered windows, no mask "<glowName>0" in the section,
// nothing visible).
int ShowGlow(const TRect& r, const TRect& clip, const std::string& section, TsSkinManager* sm, HWND host, int margin,
             const std::string& glowName);
// Ids already hidden, negative or beyond the list are ignored; the ids of
// the other glows stay as they are.
void HideGlow(int id);
void ClearGlows(bool managerDestroying = false);
// The window of a shown glow; nullptr for none.
HWND GlowWindow(int id);

// Where the glows find UpdateLayeredWindow; tests put a recorder (or
// nothing: no layered windows) in its place.
extern TUpdateLayeredWindow (*GlowLayeredEntry)();
#endif

} // namespace skin
