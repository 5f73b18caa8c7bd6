#pragma once
// Skinned labels: the plain label in the font colour of the skin section it
// sits on, and the effect label with its own font colour (TsKind) and a
// shadow behind the text (TsShadow).
#include "ui/StdCtrls.h"

namespace skin {

class TsLabel : public tw::TLabel {
public:
    explicit TsLabel(tw::TComponent* owner);
    // Off: the label keeps its own font colour under a skin too.
    bool UseSkinColor() const { return useSkinColor_; }
    void SetUseSkinColor(bool value);

protected:
    void Paint() override;
    // The colour the text is drawn in: the skin's under a skin, else the font's.
    tw::TColor TextColor();
    // Draws text_ in the colour at the label's layout, shifted by (dx, dy).
    void DrawCaption(tw::TColor color, int dx, int dy);
    bool useSkinColor_ = true;
};

class TsLabelFX;

// The effect label's font colour.
class TsKind {
public:
    explicit TsKind(TsLabelFX* owner) : owner_(owner) {}
    tw::TColor Color() const { return color_; }
    void SetColor(tw::TColor value);

private:
    TsLabelFX* owner_;
    tw::TColor color_ = tw::clWhite;
};

// The shadow behind the effect label's text.
class TsShadow {
public:
    explicit TsShadow(TsLabelFX* owner) : owner_(owner) {}
    tw::TColor Color() const { return color_; }
    void SetColor(tw::TColor value);
    int Distance() const { return distance_; }
    void SetDistance(int value);
    // The colour's parts as painted.
    uint8_t R() const { return r_; }
    uint8_t G() const { return g_; }
    uint8_t B() const { return b_; }

private:
    TsLabelFX* owner_;
    tw::TColor color_ = tw::clBlack;
    uint8_t r_ = 0, g_ = 0, b_ = 0;
    int distance_ = 1;
};

class TsLabelFX : public TsLabel {
public:
    explicit TsLabelFX(tw::TComponent* owner);
    TsKind& Kind() { return kind_; }
    TsShadow& Shadow() { return shadow_; }

protected:
    void Paint() override;

private:
    TsKind kind_;
    TsShadow shadow_;
};

} // namespace skin
