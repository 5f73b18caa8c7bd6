#pragma once
// The skinned status bar: the STATUSBAR section behind the panels' texts
// (or the simple text) in the section's font colour.
#include "skin/controls/sControlBase.h"
#include "ui/ComCtrls.h"

namespace skin {

class TsStatusBar : public TsSkinnedControl<tw::TStatusBar> {
public:
    explicit TsStatusBar(tw::TComponent* owner);

protected:
    bool SkinnedMessage(tw::TMessage& m) override;

private:
    // The cached background with the texts over it, onto dc.
    void PaintSkinned(HDC dc);
};

} // namespace skin
