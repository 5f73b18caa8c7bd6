#pragma once
// Skinned glyph and speed buttons: the section painted into the cache in
// the state the mouse gives (normal, hot, pressed), glyph and caption over
// it. Both answer the glyph drawing's questions through a TsGlyphButton
// link, so their class-library interface stays as it is.
#include <memory>

#include "skin/engine/ImageListGlyphs.h"
#include "skin/engine/sCommonData.h"
#include "skin/engine/sFade.h"
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

class TsBitBtn : public tw::TBitBtn {
public:
    explicit TsBitBtn(tw::TComponent* owner);
    ~TsBitBtn() override;
    TsCommonData SkinData;
    TsButtonGlyphProps GlyphProps;
    TsGlyphButton& GlyphLink() { return *link_; }
    // 0 normal, 1 hot, 2 pressed.
    int CurrentState() const;
    const TRect& GlyphRect() const { return glyphRect_; }
    void WndProc(tw::TMessage& m) override;
    void Loaded() override;

protected:
    void CreateWindowHandle(const tw::TCreateParams& p) override;

private:
    void DrawSkinned(const DRAWITEMSTRUCT& di);
    TRect glyphRect_;
    bool pressed_ = false;
    int paintedState_ = -1;
    TsFadeTimer* fade_ = nullptr;
    std::unique_ptr<TsGlyphButton> link_;
};

class TsSpeedButton : public tw::TSpeedButton {
public:
    explicit TsSpeedButton(tw::TComponent* owner);
    ~TsSpeedButton() override;
    TsCommonData SkinData;
    TsButtonGlyphProps GlyphProps;
    TsGlyphButton& GlyphLink() { return *link_; }
    int CurrentState() const;
    const TRect& GlyphRect() const { return glyphRect_; }
    void WndProc(tw::TMessage& m) override;
    void Loaded() override;

protected:
    void Paint() override;
    void MouseEnter() override;
    void MouseLeave() override;

private:
    TRect glyphRect_;
    int paintedState_ = -1;
    TsFadeTimer* fade_ = nullptr;
    std::unique_ptr<TsGlyphButton> link_;
};

} // namespace skin
