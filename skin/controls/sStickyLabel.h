#pragma once
// Windows only. A skinned label that sticks to a control: it sits above,
// below, left or right of the control it is attached to, keeps that place
// when the control moves or changes size, and shows and hides with it.
#include <memory>

#include "skin/controls/sLabel.h"
#include "ui/Controls.h"

namespace skin {

enum TsStickyAlign { saTop, saBottom, saLeft, saRight };

class TsStickyLabel : public TsLabel {
public:
    explicit TsStickyLabel(tw::TComponent* owner);
    ~TsStickyLabel() override;
    TsStickyLabel(const TsStickyLabel&) = delete;
    TsStickyLabel& operator=(const TsStickyLabel&) = delete;

    // The control the label sticks to; nullptr when none (or it is gone).
    tw::TWinControl* AttachTo() const;
    // The label moves to the control's parent and takes its place there.
    void SetAttachTo(tw::TWinControl* control);
    // Which side of the control the label sits on (default above it).
    TsStickyAlign AlignTo() const { return alignTo_; }
    void SetAlignTo(TsStickyAlign value);
    // Pixels between the label and the control.
    int Gap() const { return gap_; }
    void SetGap(int value);
    // Places the label beside its control now.
    void UpdatePosition();

protected:
    void TextChanged() override;
    void FontChanged() override;

private:
    // Shared with the hook in the control's message chain, which outlives
    // the label when the label goes first.
    struct TLink {
        TsStickyLabel* Label = nullptr;
    };
    void ControlChanged(UINT msg);
    std::shared_ptr<TLink> link_;
    tw::TWinControl* attached_ = nullptr;
    TsStickyAlign alignTo_ = saTop;
    int gap_ = 2;
    bool placing_ = false;
};

} // namespace skin
