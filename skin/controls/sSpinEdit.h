#pragma once
// Windows only. The skinned number edit with up and down buttons.
#include "skin/controls/sEdit.h"
#include "ui/Spin.h"

namespace skin {

class TsSpinEdit : public TsEditFrame<tw::TSpinEdit> {
public:
    explicit TsSpinEdit(tw::TComponent* owner) : TsEditFrame(owner, COC_TsSpinEdit) {}
    // The text as a number; the value last set while the text is empty or
    // no number (a half-typed entry must not throw).
    int Value() const;
    // Limited to MinValue..MaxValue unless both are equal; while loading the
    // value is only kept, and shown when loading ends.
    void SetValue(int value);
    void Loaded() override;

private:
    int value_ = 0;
};

} // namespace skin
