#include "skin/controls/sScrollBar.h"

#include <windowsx.h>

#include <algorithm>
#include <cstdint>

#include "skin/controls/sWindowSkin.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/link/ItemPaintingWin.h"

namespace skin {

namespace {

constexpr UINT_PTR kRepeatTimer = 1;
// The first repeat waits longer, so that a click is one step.
constexpr UINT kFirstRepeat = 350;
constexpr UINT kNextRepeat = 50;

bool MouseMessage(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_TIMER:
        return true;
    default:
        return false;
    }
}

} // namespace

TsScrollBar::TsScrollBar(tw::TComponent* owner) : TsSkinnedControl(owner, 0)
{
    // The bar takes the track section of its direction.
    SkinData.SetSkinSection(kind_ == tw::sbVertical ? "SCROLLBAR1V" : "SCROLLBAR1H");
}

void TsScrollBar::SkinChanged()
{
    SkinData.SetSkinSection(kind_ == tw::sbVertical ? "SCROLLBAR1V" : "SCROLLBAR1H");
    SetLook(spNone, spNone);
}

TsScrollGeometry TsScrollBar::Geometry() const
{
    return ScrollGeometry(Width(), Height(), kind_ == tw::sbVertical, min_, max_, page_, tracking_ ? trackPos_ : pos_);
}

void TsScrollBar::DefaultHandler(tw::TMessage& m)
{
    if (SkinData.Skinned() && MouseMessage(m.Msg)) {
        m.Result = 0;
        return;
    }
    TsSkinnedControl::DefaultHandler(m);
}

void TsScrollBar::WndProc(tw::TMessage& m)
{
    switch (m.Msg) {
    case SBM_SETSCROLLINFO:
    case SBM_SETPOS:
    case SBM_SETRANGEREDRAW:
        // The system bar would draw its own look straight onto the window.
        if (SkinData.Skinned()) {
            if (m.Msg == SBM_SETRANGEREDRAW) m.Msg = SBM_SETRANGE;
            else m.WParam = FALSE;
            TsSkinnedControl::WndProc(m);
            RepaintSkin();
            return;
        }
        break;
    case SBM_GETSCROLLINFO:
        TsSkinnedControl::WndProc(m);
        // A drag of our own thumb reports where the thumb is now.
        if (tracking_ && m.LParam) {
            auto* si = reinterpret_cast<SCROLLINFO*>(m.LParam);
            if (si->fMask & SIF_TRACKPOS) si->nTrackPos = trackPos_;
        }
        return;
    default:
        break;
    }
    TsSkinnedControl::WndProc(m);
}

bool TsScrollBar::SkinnedMessage(tw::TMessage& m)
{
    if (OwnPaintMessage(m)) return true;
    const TPoint p(GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
    switch (m.Msg) {
    // Ours first; then the class library's mouse events (the system bar
    // does not see them, see DefaultHandler).
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (Enabled()) MouseDownAt(p);
        return false;
    case WM_MOUSEMOVE:
        MouseMoveTo(p);
        return false;
    case WM_LBUTTONUP:
        MouseUpAt();
        return false;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(m.LParam) != Handle() && pressed_ != spNone) MouseUpAt();
        return false;
    case WM_TIMER:
        if (m.WParam != kRepeatTimer) return false;
        Repeat();
        m.Result = 0;
        return true;
    case tw::CM_MOUSELEAVE:
        if (pressed_ == spNone) SetLook(spNone, spNone);
        return false;
    case tw::CM_ENABLEDCHANGED:
        if (!Enabled() && pressed_ != spNone) MouseUpAt();
        RepaintSkin();
        return false;
    default:
        return false;
    }
}

void TsScrollBar::SetLook(TsScrollPart hot, TsScrollPart pressed)
{
    if (hot == hot_ && pressed == pressed_) return;
    hot_ = hot;
    pressed_ = pressed;
    SkinData.BGChangedFlag = true;
    if (HandleAllocated()) InvalidateRect(Handle(), nullptr, FALSE);
}

void TsScrollBar::Notify(int code, int pos)
{
    // As the system bar reports to its parent, which hands it back to us.
    Perform(kind_ == tw::sbVertical ? tw::CN_VSCROLL : tw::CN_HSCROLL, MAKEWPARAM(code, pos),
            reinterpret_cast<LPARAM>(HandleIfAllocated()));
}

void TsScrollBar::MouseDownAt(TPoint p)
{
    const TsScrollGeometry g = Geometry();
    const TsScrollPart part = g.PartAt(p);
    if (part == spNone) return;
    lastMouse_ = p;
    SetCapture(Handle());
    SetLook(part, part);
    if (part == spThumb) {
        grip_ = g.Vertical ? p.Y - g.Thumb.Top : p.X - g.Thumb.Left;
        trackPos_ = pos_;
        tracking_ = true;
        return;
    }
    Repeat();
    SetTimer(Handle(), kRepeatTimer, kFirstRepeat, nullptr);
}

void TsScrollBar::Repeat()
{
    const TsScrollGeometry g = Geometry();
    // Only while the mouse stays on the part it pressed; a page step stops
    // when the thumb has come under the mouse.
    if (pressed_ == spNone || pressed_ == spThumb || g.PartAt(lastMouse_) != pressed_) return;
    if (const int command = ScrollCommandOf(pressed_); command >= 0) Notify(command);
    if (HandleAllocated()) SetTimer(Handle(), kRepeatTimer, kNextRepeat, nullptr);
}

void TsScrollBar::MouseMoveTo(TPoint p)
{
    lastMouse_ = p;
    if (tracking_) {
        const TsScrollGeometry g = Geometry();
        const int pos = g.PositionAt((g.Vertical ? p.Y : p.X) - grip_);
        if (pos != trackPos_) {
            trackPos_ = pos;
            Notify(SB_THUMBTRACK, pos);
            SkinData.BGChangedFlag = true;
            InvalidateRect(Handle(), nullptr, FALSE);
        }
        return;
    }
    if (pressed_ != spNone) return;
    SetLook(Enabled() ? Geometry().PartAt(p) : spNone, spNone);
}

void TsScrollBar::MouseUpAt()
{
    if (pressed_ == spNone) return;
    if (HandleAllocated()) KillTimer(Handle(), kRepeatTimer);
    const bool wasTracking = tracking_;
    if (wasTracking) Notify(SB_THUMBPOSITION, trackPos_);
    tracking_ = false;
    const TsScrollPart over = Geometry().PartAt(lastMouse_);
    SetLook(over, spNone);
    if (GetCapture() == HandleIfAllocated()) ReleaseCapture();
    Notify(SB_ENDSCROLL);
}

void TsScrollBar::PaintSkin(HDC dc)
{
    const int w = Width(), h = Height();
    const TsScrollGeometry g = Geometry();
    NoteCacheLook(SkinData,
                  std::to_string(g.Thumb.Left) + ',' + std::to_string(g.Thumb.Top) + ',' + std::to_string(g.Thumb.Right) +
                      ',' + std::to_string(g.Thumb.Bottom) + ',' + std::to_string(Enabled()),
                  paintedLook_);
    PaintThroughCache(SkinData, w, h, dc, [&](tw::TBitmap& cache) {
        TsSkinManager& sm = *SkinData.SkinManager();
        PaintItemOnParentBG(SkinData, Parent(), true, 0, TRect(0, 0, w, h), TPoint{Left(), Top()}, cache, true);
        const TsConstData& cd = sm.ConstData;
        const auto stateOf = [&](TsScrollPart part) {
            if (!Enabled()) return 0;
            return part == pressed_ ? 2 : part == hot_ ? 1 : 0;
        };
        PaintScrollPart(cache, sm, g.Vertical ? cd.ScrollBtnTop : cd.ScrollBtnLeft, stateOf(spLineMin), g.LineMin);
        PaintScrollPart(cache, sm, g.Vertical ? cd.ScrollBtnBottom : cd.ScrollBtnRight, stateOf(spLineMax), g.LineMax);
        if (Enabled())
            PaintScrollPart(cache, sm, g.Vertical ? cd.ScrollSliderV : cd.ScrollSliderH, stateOf(spThumb), g.Thumb);
    });
}

} // namespace skin
