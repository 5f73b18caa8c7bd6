#pragma once
// Windows only. The skinned header: the system header keeps the clicks and
// the resizing; its sections are painted as skinned buttons, hot under the
// mouse and pressed while held down.
#include "skin/controls/sWindowSkin.h"
#include "ui/ComCtrls.h"

namespace skin {

class TsHeaderControl : public TsSkinnedControl<tw::THeaderControl> {
public:
    explicit TsHeaderControl(tw::TComponent* owner);
    int HotSection() const { return hot_; }
    int PressedSection() const { return pressed_; }

protected:
    bool SkinnedMessage(tw::TMessage& m) override;
    void PaintSkin(HDC dc) override;

private:
    int SectionAt(LPARAM point);
    void SetLook(int hot, int pressed);
    int hot_ = -1;
    int pressed_ = -1;
};

} // namespace skin
