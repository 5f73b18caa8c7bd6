#include "skin/controls/sCheckListBox.h"

#include "skin/controls/sCheckBox.h"

namespace skin {

void TsCheckListBox::DrawItem(int index, const TRect& r, UINT state, HDC dc)
{
    if (!SkinData.Skinned()) {
        TCheckListBox::DrawItem(index, r, state, dc);
        return;
    }
    TsListItemLook look;
    const bool exists = index >= 0 && index < Items().Count();
    if (exists) look.Text = Items().Get(index);
    look.Selected = (state & ODS_SELECTED) != 0;
    look.Enabled = Enabled() && (!exists || ItemEnabled(index));
    if (exists) {
        TsCheckLook mark;
        mark.Check = Checked(index) ? 1 : 0;
        look.CheckMask = CheckMaskIndex(SkinData, mark);
    }
    PaintListItem(SkinData, Font(), dc, r, look);
}

} // namespace skin
