#pragma once
// Skinned glyph and speed buttons: the section painted into the cache in
// the state the mouse gives (normal, hot, pressed), glyph and caption over
// it. Both answer the glyph drawing's questions through a TsGlyphButton
// link, so their class-library interface stays as it is.
#include <memory>
#include <string>

#include "skin/controls/sControlBase.h"
#include "skin/engine/painting/ImageListGlyphs.h"
#include "ui/Buttons.h"
#include "ui/ImgList.h"

namespace skin {

enum TsDisabledGlyphKind : unsigned { dgBlended = 1, dgGrayed = 2 };

// What the skinned buttons add to the class library's buttons.
struct TsButtonGlyphProps {
    tw::TCustomImageList* Images = nullptr;
    int ImageIndex = -1;
    int Blend = 0;
    bool Grayed = false;
    bool Reflected = false;
    unsigned DisabledGlyphKind = dgBlended | dgGrayed;
    // Space from the aligned edge to the picture (-1: by the alignment) and
    // the alignment of picture and caption (0 left, 1 right, 2 centre).
    int Margin = -1;
    int Alignment = 2;
};

// Where glyph and caption go inside r: side by side or above each other by
// layout; margin -1 with alignment 2 centres the pair, else it keeps margin
// pixels from the aligned edge (alignment 0 left, 1 right). The glyph size
// may be empty.
void LayoutButtonContent(const TRect& r, SIZE glyph, SIZE text, tw::TButtonLayout layout, int spacing, TRect& glyphRect,
                         TRect& textRect, int margin = -1, int alignment = 2);

// What both skinned buttons add to their class-library button.
template <class Base> class TsSkinnedButton : public TsSkinnedControl<Base> {
public:
    TsSkinnedButton(tw::TComponent* owner, int32_t kind) : TsSkinnedControl<Base>(owner, kind) {}
    TsButtonGlyphProps GlyphProps;
    TsGlyphButton& GlyphLink() { return *link_; }
    // The picture from an image list instead of (or beside) the caption;
    // the face is painted again.
    void SetImages(tw::TCustomImageList* images)
    {
        GlyphProps.Images = images;
        this->Invalidate();
    }
    void SetImageIndex(int index)
    {
        GlyphProps.ImageIndex = index;
        this->Invalidate();
    }
    // The picture from a bitmap (numGlyphs states side by side: normal,
    // disabled, pressed, down); the key colour is its bottom-left pixel.
    void SetGlyph(const tw::TBitmap& glyph, int numGlyphs = 1)
    {
        this->Glyph().Assign(glyph);
        this->SetNumGlyphs(numGlyphs);
        this->Invalidate();
    }
    const TRect& GlyphRect() const { return glyphRect_; }

protected:
    void SkinChanged() override
    {
        if (!this->SkinData.Skinned()) ClearButtonRegion(this->SkinData);
    }
    TRect glyphRect_;
    std::unique_ptr<TsGlyphButton> link_;
};

class TsBitBtn : public TsSkinnedButton<tw::TBitBtn> {
public:
    explicit TsBitBtn(tw::TComponent* owner);
    // 0 normal, 1 hot, 2 pressed.
    int CurrentState() const;
    void WndProc(tw::TMessage& m) override;

protected:
    bool SkinnedMessage(tw::TMessage& m) override;

private:
    void DrawSkinned(const DRAWITEMSTRUCT& di);
    // The cache in the current state, when it is out of date.
    void PaintFace();
    bool pressed_ = false;
};

class TsSpeedButton : public TsSkinnedButton<tw::TSpeedButton> {
public:
    explicit TsSpeedButton(tw::TComponent* owner);
    int CurrentState() const;
    // The blend between two looks now running (nullptr before the first);
    // the button has no window, so it paints the frames itself.
    const TsAnimTimer* Animation() const { return anim_; }
    bool Fading() const { return anim_ && anim_->Enabled(); }

protected:
    void Paint() override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(tw::TMouseButton b, tw::TShiftState s, int x, int y) override;
    void MouseUp(tw::TMouseButton b, tw::TShiftState s, int x, int y) override;
    bool SkinnedMessage(tw::TMessage& m) override;

private:
    void PaintFace();
    // Shows the look of the current state: blended in from the picture on
    // screen where the skin and the manager ask for it, else at once.
    void Animate(TacAnimatEvent event);
    void StopAnimation();
    TsAnimTimer* anim_ = nullptr;   // owned by the button (its component)
};

} // namespace skin
