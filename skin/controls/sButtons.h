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
};

// Where glyph and caption go inside r: side by side or above each other by
// layout, the pair centred; the glyph size may be empty.
void LayoutButtonContent(const TRect& r, SIZE glyph, SIZE text, tw::TButtonLayout layout, int spacing, TRect& glyphRect,
                         TRect& textRect);

// What both skinned buttons add to their class-library button.
template <class Base> class TsSkinnedButton : public TsSkinnedControl<Base> {
public:
    TsSkinnedButton(tw::TComponent* owner, int32_t kind) : TsSkinnedControl<Base>(owner, kind) {}
    TsButtonGlyphProps GlyphProps;
    TsGlyphButton& GlyphLink() { return *link_; }
    const TRect& GlyphRect() const { return glyphRect_; }
    // A hover fade is running.
    bool Fading() const { return this->fade_ != nullptr; }

protected:
    TRect glyphRect_;
    std::unique_ptr<TsGlyphButton> link_;
};

class TsBitBtn : public TsSkinnedButton<tw::TBitBtn> {
public:
    explicit TsBitBtn(tw::TComponent* owner);
    // 0 normal, 1 hot, 2 pressed.
    int CurrentState() const;

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

protected:
    void Paint() override;
    void MouseEnter() override;
    void MouseLeave() override;
    bool SkinnedMessage(tw::TMessage& m) override;

private:
    void PaintFace();
};

} // namespace skin
