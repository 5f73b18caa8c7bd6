#pragma once
// Windows only. The skinned radio group: a group frame from the skin around
// skinned radio buttons.
#include "skin/controls/sCheckBox.h"
#include "ui/ExtCtrls.h"

namespace skin {

// Builds the cache of a captioned group frame when its background changed:
// the parent's picture under the caption strip, the section's item below
// it, the caption over the frame's top edge; then copies it onto dc.
void PaintGroupFrame(tw::TWinControl& control, TsCommonData& data, HDC dc);

class TsRadioGroup : public TsSkinnedControl<tw::TRadioGroup> {
public:
    explicit TsRadioGroup(tw::TComponent* owner) : TsSkinnedControl(owner, COC_TsRadioGroup) {}
    // Limited to -1..(number of buttons - 1); while the group is loading the
    // value is only stored and reaches the buttons when loading ends.
    void SetItemIndex(int index);
    void Loaded() override;

protected:
    tw::TRadioButton* NewButton() override { return new TsRadioButton(nullptr); }
    void Paint() override;
};

} // namespace skin
