#pragma once
// Windows only. The skinned one-line edit, and the frame that every
// edit-like skinned control (edit, spin edit, file-name edit, combo box,
// memo) takes from the skin over its system border.
#include "skin/controls/sWindowSkin.h"
#include "ui/StdCtrls.h"

namespace skin {

// Paints the section's border over the window's non-client edge (hot when
// focused or under the mouse); false when the control is not skinned or has
// no edge, and the system frame must be painted instead.
bool PaintEditFrame(tw::TWinControl& control, TsCommonData& data);
// The same inside the client area, for controls that draw their edge there
// themselves (the combo box): edge pixels wide.
bool PaintClientFrame(tw::TWinControl& control, TsCommonData& data, int edge);
// The section's colour and font colour on an edit-like control while it is
// skinned, the system's window colours again when it is not (colours the
// program set itself stay).
void TakeEditColors(tw::TControl& control, TsCommonData& data);

// The non-client painting of an edit-like control: its frame over the
// system's; and its caption label, which follows it.
template <class Base> class TsEditFrame : public TsSkinnedControl<Base> {
public:
    TsEditFrame(tw::TComponent* owner, int32_t kind) : TsSkinnedControl<Base>(owner, kind) {}

    // The caption placed beside or above the edit (off until made Active).
    TsBoundLabel& BoundLabel() { return boundLabel_; }
    void SetParent(tw::TWinControl* parent) override
    {
        Base::SetParent(parent);
        if (boundLabel_.Active()) boundLabel_.SetActive(true);
    }

protected:
    void SkinChanged() override { TakeEditColors(*this, this->SkinData); }
    // The system edit paints its own inside.
    bool EraseFromCache() const override { return false; }
    bool SkinnedMessage(tw::TMessage& m) override
    {
        // Focus and hover redraw the frame through the common handler.
        if (m.Msg != WM_NCPAINT) return false;
        Base::WndProc(m);
        PaintEditFrame(*this, this->SkinData);
        return true;
    }
    void BoundsChanged() override
    {
        Base::BoundsChanged();
        boundLabel_.UpdatePosition();
    }
    void VisibleChanged() override
    {
        Base::VisibleChanged();
        if (TsEditLabel* label = boundLabel_.Label()) {
            label->SetVisible(this->Visible());
            boundLabel_.UpdatePosition();
        }
    }
    void EnabledChanged() override
    {
        Base::EnabledChanged();
        if (TsEditLabel* label = boundLabel_.Label()) label->SetEnabled(this->Enabled());
    }

private:
    TsBoundLabel boundLabel_{this, &this->SkinData};
};

class TsEdit : public TsEditFrame<tw::TEdit> {
public:
    explicit TsEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsEdit) {}
};

} // namespace skin
