#include "skin/controls/sLabel.h"

#include "skin/controls/sControlCache.h"

namespace skin {

TsLabel::TsLabel(tw::TComponent* owner) : tw::TLabel(owner) {}

void TsLabel::SetUseSkinColor(bool value)
{
    if (useSkinColor_ == value) return;
    useSkinColor_ = value;
    Invalidate();
}

TColor TsLabel::TextColor()
{
    TColor color = 0;
    if (useSkinColor_ && ParentSkinFontColor(this, color)) return color;
    return TColor(tw::ColorToRGB(Font().Color()));
}

void TsLabel::DrawCaption(TColor color, int dx, int dy)
{
    tw::TCanvas& c = Canvas();
    c.Font().Assign(Font());
    c.Font().SetColor(color);
    c.Brush().SetStyle(tw::bsClear);
    const UINT flags = DrawTextFlags();
    TRect r = ClientRect();
    if (layout_ != tw::taAlignTop) {
        TRect calc = r;
        c.DrawText(text_, calc, flags | DT_CALCRECT);
        const int h = calc.Height();
        r.Top = layout_ == tw::taVerticalCenter ? r.Top + (r.Height() - h) / 2 : r.Bottom - h;
    }
    r.Offset(dx, dy);
    c.DrawText(text_, r, flags);
}

void TsLabel::Paint()
{
    TColor color = 0;
    if (!useSkinColor_ || !ParentSkinFontColor(this, color)) {
        tw::TLabel::Paint();
        return;
    }
    if (!transparent_) {
        Canvas().Brush().SetColor(color_);
        Canvas().FillRect(ClientRect());
    }
    DrawCaption(Enabled() ? color : TColor(tw::ColorToRGB(tw::clGrayText)), 0, 0);
}

void TsKind::SetColor(TColor value)
{
    if (color_ == value) return;
    color_ = value;
    owner_->Invalidate();
}

void TsShadow::SetColor(TColor value)
{
    if (color_ == value) return;
    color_ = value;
    const TColor rgb = TColor(tw::ColorToRGB(value));
    r_ = uint8_t(rgb & 0xFF);
    g_ = uint8_t((rgb >> 8) & 0xFF);
    b_ = uint8_t((rgb >> 16) & 0xFF);
    owner_->Invalidate();
}

void TsShadow::SetDistance(int value)
{
    if (distance_ == value) return;
    distance_ = value;
    owner_->Invalidate();
}

TsLabelFX::TsLabelFX(tw::TComponent* owner) : TsLabel(owner), kind_(this), shadow_(this) {}

void TsLabelFX::Paint()
{
    if (!transparent_) {
        Canvas().Brush().SetColor(color_);
        Canvas().FillRect(ClientRect());
    }
    if (!Enabled()) {
        DrawCaption(TColor(tw::ColorToRGB(tw::clGrayText)), 0, 0);
        return;
    }
    if (shadow_.Distance() != 0)
        DrawCaption(TColor(shadow_.R() | (shadow_.G() << 8) | (shadow_.B() << 16)), shadow_.Distance(), shadow_.Distance());
    DrawCaption(TColor(tw::ColorToRGB(kind_.Color())), 0, 0);
}

} // namespace skin
