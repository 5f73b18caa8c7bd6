#include "skin/controls/sStickyLabel.h"

namespace skin {

TsStickyLabel::TsStickyLabel(tw::TComponent* owner) : TsLabel(owner), link_(std::make_shared<TLink>())
{
    link_->Label = this;
}

TsStickyLabel::~TsStickyLabel() { link_->Label = nullptr; }

tw::TWinControl* TsStickyLabel::AttachTo() const
{
    // The control may have been destroyed since: it is only used while it
    // is still one of our parent's children.
    if (!attached_ || !Parent()) return nullptr;
    for (int i = 0; i < Parent()->ControlCount(); ++i)
        if (Parent()->Controls(i) == attached_) return attached_;
    return nullptr;
}

void TsStickyLabel::SetAttachTo(tw::TWinControl* control)
{
    if (control == this->attached_ && AttachTo()) return;
    // A hook left in an earlier control's chain goes quiet.
    link_->Label = nullptr;
    link_ = std::make_shared<TLink>();
    link_->Label = this;
    attached_ = control;
    if (!control) return;
    std::weak_ptr<TLink> weak = link_;
    tw::TWndMethod saved = control->WindowProc;
    control->WindowProc = [saved, weak](tw::TMessage& m) {
        const UINT msg = m.Msg;
        saved(m);
        if (auto link = weak.lock(); link && link->Label) link->Label->ControlChanged(msg);
    };
    if (control->Parent() != Parent()) SetParent(control->Parent());
    SetVisible(control->Visible());
    SetEnabled(control->Enabled());
    UpdatePosition();
}

void TsStickyLabel::ControlChanged(UINT msg)
{
    tw::TWinControl* c = AttachTo();
    if (!c) return;
    switch (msg) {
    case WM_WINDOWPOSCHANGED:
    case WM_MOVE:
    case WM_SIZE:
        UpdatePosition();
        break;
    case tw::CM_VISIBLECHANGED:
        SetVisible(c->Visible());
        UpdatePosition();
        break;
    case tw::CM_ENABLEDCHANGED:
        SetEnabled(c->Enabled());
        break;
    default:
        break;
    }
}

void TsStickyLabel::SetAlignTo(TsStickyAlign value)
{
    if (value == alignTo_) return;
    alignTo_ = value;
    UpdatePosition();
}

void TsStickyLabel::SetGap(int value)
{
    if (value == gap_) return;
    gap_ = value;
    UpdatePosition();
}

void TsStickyLabel::UpdatePosition()
{
    tw::TWinControl* c = AttachTo();
    if (!c || placing_) return;
    placing_ = true;
    const tw::TRect r = c->BoundsRect();
    const int w = Width(), h = Height();
    int left = r.Left, top = r.Top;
    switch (alignTo_) {
    case saTop: top = r.Top - h - gap_; break;
    case saBottom: top = r.Bottom + gap_; break;
    case saLeft:
        left = r.Left - w - gap_;
        top = r.Top + (r.Height() - h) / 2;
        break;
    case saRight:
        left = r.Right + gap_;
        top = r.Top + (r.Height() - h) / 2;
        break;
    }
    SetBounds(left, top, w, h);
    placing_ = false;
}

void TsStickyLabel::TextChanged()
{
    TsLabel::TextChanged();
    // A new text may change the label's size and so its place.
    UpdatePosition();
}

void TsStickyLabel::FontChanged()
{
    TsLabel::FontChanged();
    UpdatePosition();
}

} // namespace skin
