#pragma once
// Windows only. The skinned check list: the skin's check marks before the
// items of a skinned list.
#include "skin/controls/sAlphaListBox.h"
#include "ui/CheckLst.h"

namespace skin {

class TsCheckListBox : public TsEditFrame<tw::TCheckListBox> {
public:
    explicit TsCheckListBox(tw::TComponent* owner) : TsEditFrame(owner, COC_TsCheckListBox) {}

protected:
    void DrawItem(int index, const TRect& r, UINT state, HDC dc) override;
};

} // namespace skin
