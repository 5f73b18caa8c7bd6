#pragma once
// Windows only. The skinned scroll bar: arrow buttons, track and thumb from
// the skin's SCROLLBTN*, SCROLLBAR* and SCROLLSLIDER* sections, each part hot
// under the mouse and pressed while held. While skinned the mouse is ours
// (the system bar would draw itself while it tracks); the keyboard and the
// scroll range stay the system's. Notifications reach the control as the
// system bar's would, so OnScroll and OnChange behave the same.
#include "skin/controls/sControlBase.h"
#include "skin/engine/data/sSkinManager.h"
#include "ui/StdCtrls.h"

namespace skin {

enum TsScrollPart { spNone, spLineMin, spPageMin, spThumb, spPageMax, spLineMax };

// Where the parts of a bar of the given size lie: arrow buttons as long as
// the bar is thick (at most half its length each), the thumb on the track
// by position within min..max (page 0: a square thumb), at least
// kMinThumb long. No thumb (empty rectangle) when the range is empty or the
// track too short.
struct TsScrollGeometry {
    static constexpr int kMinThumb = 8;
    TRect LineMin, LineMax, Track, Thumb;
    // The position a thumb whose leading edge is at offset (along the bar)
    // stands for.
    int PositionAt(int offset) const;
    // The part under a point; spNone outside.
    TsScrollPart PartAt(TPoint p) const;
    bool Vertical = false;
    int Min = 0, Max = 0;
    // Where the track starts and how far the thumb can travel on it.
    int TrackStart = 0, Room = 0;
};
TsScrollGeometry ScrollGeometry(int width, int height, bool vertical, int min, int max, int page, int pos);

// One part of a scroll bar or track bar from the skin: the part's section
// over what is already in the cache, in the state, with its glyph mask
// centred when it has one that fits.
void PaintScrollPart(tw::TBitmap& cache, TsSkinManager& sm, const TsConstData::TScrollPart& part, int state,
                     const TRect& r);

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
