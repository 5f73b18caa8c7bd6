#pragma once
// The extended border of a skinned form: a layered window around it, behind
// it in the z-order, that shows the skin's extended-border picture (or the
// built-in shadow) in the margins the manager gives. It follows its form
// (moved, sized, shown, hidden, activated) and is only there while the
// platform shows layered windows: without them the provider frees it.
#include <windows.h>

#include <functional>
#include <memory>

#include "base/PixelView.h"
#include "ui/Types.h"

namespace skin {

class TsSkinManager;
class TsCommonData;
using tw::TRect;

class TacBorderForm {
public:
    // owner: the form's window. The manager gives the pictures and margins.
    TacBorderForm(HWND owner, TsSkinManager* manager);
    ~TacBorderForm();
    TacBorderForm(const TacBorderForm&) = delete;
    TacBorderForm& operator=(const TacBorderForm&) = delete;

    // (Re)creates, places and shows the window around its owner with the
    // opacity (255 opaque); repaint builds the picture again. False when
    // the platform cannot show it (no layered windows): the caller frees it.
    bool UpdateBorderWindow(bool repaint, uint8_t alpha = 255);
    // The picture of the active or the inactive form.
    void SetActive(bool active);
    // The skin link of the form or dialog it borders; set by its owner.
    TsCommonData* SkinData = nullptr;
    // Shown while the owner is maximized too (a form's provider draws a
    // maximized form's title here; a dialog draws its zoomed frame itself).
    bool ShowsZoomedOwner = false;

    HWND Handle() const { return wnd_; }
    HWND Owner() const { return owner_; }
    // Where it lies (screen) and the margins around the owner.
    TRect Bounds() const { return bounds_; }
    TRect Margins() const;
    bool Shown() const { return shown_; }
    uint8_t Alpha() const { return alpha_; }
    int Updates() const { return updates_; }
    // The hit code for a screen point on the border: the sizing edges of the
    // owner when it can be sized, HTBORDER otherwise, HTNOWHERE outside (and
    // beyond the work area of a maximized owner).
    // OnHitTest (the provider's OnExtHitTest) may answer first (non-zero).
    int HitTest(POINT screen) const;
    std::function<int(POINT)> OnHitTest;
    // The owner's title and its buttons on the border (0 elsewhere).
    std::function<int(POINT)> OnTitleHitTest;
    // The frame the window draws beyond its owner's window on each side,
    // inside the margins (the skin's frame is wider than the system's).
    std::function<TRect()> OnFrameExtent;
    // Paints the owner's frame and title into the picture, inner being the
    // part inside the margins.
    std::function<void(const tw::TPixelView& picture, const TRect& inner)> OnPaintFrame;
    // The picture last given to the window (premultiplied alpha).
    const tw::TPixelImage& Picture() const { return picture_; }
    // The frame beyond the owner's window as last placed.
    TRect FrameExtent() const { return extent_; }
    // Called as the window goes: the provider's caption-button fades, which
    // draw with this window, end with it.
    std::function<void()> OnDestroy;
    // The owner composes the picture itself (straight alpha, owner's window
    // at the margins' offset) instead of the stretched border image.
    std::function<void(tw::TPixelImage& picture, bool active)> OnBuildPicture;

private:
    void BuildPicture(int width, int height);
    // Makes the picture clear outside keep (picture coordinates).
    void ClearOutside(const TRect& keep);
    HWND owner_;
    TsSkinManager* manager_;
    HWND wnd_ = nullptr;
    TRect bounds_;
    TRect extent_;
    bool shown_ = false;
    bool active_ = true;
    uint8_t alpha_ = 255;
    int updates_ = 0;
    tw::TPixelImage picture_;
    bool pictureActive_ = true;
    // The part of the picture shown (all of it unless the owner is maximized).
    TRect pictureShown_;
};

} // namespace skin
