#pragma once
// Windows only. The skinned number edit with up and down buttons.
#include <memory>

#include "skin/controls/sEdit.h"
#include "ui/Spin.h"

namespace skin {

class TacMainWnd;

class TsSpinEdit : public TsEditFrame<tw::TSpinEdit> {
public:
    explicit TsSpinEdit(tw::TComponent* owner);
    ~TsSpinEdit() override;
    // The text as a number; the value last set while the text is empty or
    // no number (a half-typed entry must not throw).
    int Value() const;
    // Limited to MinValue..MaxValue unless both are equal; while loading the
    // value is only kept, and shown when loading ends.
    void SetValue(int value);
    void Loaded() override;

protected:
    void HandleCreated() override;
    void HandleDestroying() override;

private:
    int value_ = 0;
    // The up and down buttons are a window of the system's inside the edit:
    // painted from the skin's small button while they live.
    std::unique_ptr<TacMainWnd> buttons_;
};

} // namespace skin
