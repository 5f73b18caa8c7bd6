#pragma once
// Windows only. The skinned scroll bar: arrow buttons, track and thumb from
// the skin's SCROLLBTN*, SCROLLBAR* and SCROLLSLIDER* sections, each part hot
// under the mouse and pressed while held. While skinned the mouse is ours
// (the system bar would draw itself while it tracks); the keyboard and the
// scroll range stay the system's. Notifications reach the control as the
// system bar's would, so OnScroll and OnChange behave the same.
#include "skin/controls/sControlBase.h"
#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acSBUtils.h"
#include "ui/StdCtrls.h"

namespace skin {

class TsScrollBar : public TsSkinnedControl<tw::TScrollBar> {
public:
    explicit TsScrollBar(tw::TComponent* owner);
    TsScrollPart HotPart() const { return hot_; }
    TsScrollPart PressedPart() const { return pressed_; }
    TsScrollGeometry Geometry() const;
    void WndProc(tw::TMessage& m) override;
    // While skinned the system bar never sees the mouse.
    void DefaultHandler(tw::TMessage& m) override;

protected:
    bool SkinnedMessage(tw::TMessage& m) override;
    void PaintSkin(HDC dc) override;
    void SkinChanged() override;

private:
    void MouseDownAt(TPoint p);
    void MouseMoveTo(TPoint p);
    void MouseUpAt();
    // Repeats the held button's or page's step while the mouse stays on it.
    void Repeat();
    void Notify(int code, int pos = 0);
    void SetLook(TsScrollPart hot, TsScrollPart pressed);
    TsScrollPart hot_ = spNone;
    TsScrollPart pressed_ = spNone;
    // Thumb dragging: the grip's offset inside the thumb and the position shown.
    int grip_ = 0;
    int trackPos_ = 0;
    bool tracking_ = false;
    TPoint lastMouse_;
};

} // namespace skin
