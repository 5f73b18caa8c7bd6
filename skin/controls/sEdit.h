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
// system's.
template <class Base> class TsEditFrame : public TsSkinned<Base> {
public:
    TsEditFrame(tw::TComponent* owner, int32_t kind) : TsSkinned<Base>(owner, kind) {}

protected:
    void SkinChanged() override { TakeEditColors(*this, this->SkinData); }
    bool SkinnedMessage(tw::TMessage& m) override
    {
        // Focus and hover redraw the frame through the common handler.
        if (m.Msg != WM_NCPAINT) return false;
        Base::WndProc(m);
        PaintEditFrame(*this, this->SkinData);
        return true;
    }
};

class TsEdit : public TsEditFrame<tw::TEdit> {
public:
    explicit TsEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsEdit) {}
};

} // namespace skin
