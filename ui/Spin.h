// A number edit with up and down buttons.
#pragma once

#include "ui/StdCtrls.h"

namespace tw {

class TSpinEdit : public TCustomEdit {
public:
    explicit TSpinEdit(TComponent* owner);
    int Value() const;
    void SetValue(int v);
    int MinValue() const { return min_; }
    void SetMinValue(int v) { min_ = v; }
    // MinValue = MaxValue = 0 means no limits (as the class library has it).
    int MaxValue() const { return max_; }
    void SetMaxValue(int v) { max_ = v; }
    int Increment() const { return increment_; }
    void SetIncrement(int i) { increment_ = i; }
    void WndProc(TMessage& m) override;

protected:
    void HandleCreated() override;
    void BoundsChanged() override;
    int Clamp(int v) const;
    void PlaceButtons();
    HWND upDown_ = nullptr;
    int min_ = 0, max_ = 0, increment_ = 1;
};

} // namespace tw
