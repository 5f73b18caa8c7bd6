#pragma once
// Windows only. The skinned track bar: the system track bar keeps the
// mouse, the keyboard and the value; what it shows comes from the skin:
// the TRACKBAR section as background, a sunken channel, tick marks in the
// section's font colour and the thumb as a scroll-bar slider, hot under the
// mouse and pressed while dragged.
#include "skin/controls/sControlBase.h"
#include "ui/ComCtrls.h"

namespace skin {

class TsTrackBar : public TsSkinnedControl<tw::TTrackBar> {
public:
    explicit TsTrackBar(tw::TComponent* owner);
    // 0 normal, 1 hot (mouse over the thumb), 2 pressed (thumb dragged).
    int ThumbState() const;
    // Where the system track bar has its thumb and channel now (client
    // coordinates; the channel along the bar's direction).
    TRect ThumbRect() const;
    TRect ChannelRect() const;

protected:
    bool SkinnedMessage(tw::TMessage& m) override;
    void PaintSkin(HDC dc) override;

private:
    void SetThumbHot(bool hot);
    bool thumbHot_ = false;
};

} // namespace skin
