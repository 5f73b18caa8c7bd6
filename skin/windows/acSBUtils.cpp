#include "skin/windows/acSBUtils.h"

#include <algorithm>
#include <cstdint>

#include "skin/engine/common/SkinMessages.h"
#include "skin/engine/common/SkinUtils.h"
#include "skin/engine/painting/AlphaPrimitives.h"
#include "skin/engine/painting/ItemPainting.h"
#include "skin/engine/link/sCommonData.h"
#include "skin/engine/data/sMaskData.h"
#include "ui/Controls.h"

namespace skin {

namespace {

// The first repeat waits longer, so that a click is one step.
constexpr UINT kFirstRepeat = 350;
constexpr UINT kNextRepeat = 50;

bool IsScrollCode(WPARAM code) { return code == HTVSCROLL || code == HTHSCROLL; }

// Messages after which the window may have set its scroll state (the
// system then draws its own bar at once, over the skinned one).
bool MayScroll(UINT msg)
{
    // The skin's own messages change no scroll state. One of them is the
    // notice that the bars were painted (PaintBars): counted as a scroll it
    // would paint them again, and that paint would send the notice again.
    if (msg == SM_ALPHACMD) return false;
    if (msg >= WM_KEYFIRST && msg <= WM_KEYLAST) return true;
    if (msg >= WM_USER && msg < 0xC000) return true;          // the control's own messages
    if (msg >= EM_GETSEL && msg <= 0x00FF) return true;       // edit messages
    if (msg >= LB_ADDSTRING && msg <= 0x01FF) return true;    // list box messages
    if (msg >= 0x1000 && msg < 0x2000) return true;           // common controls (list and tree views)
    switch (msg) {
    case WM_VSCROLL:
    case WM_HSCROLL:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
    case WM_SIZE:
    case WM_PAINT:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_ENABLE:
    case WM_STYLECHANGED:
    case WM_TIMER:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_NCACTIVATE:
    case WM_SHOWWINDOW:
    case WM_WINDOWPOSCHANGED:
        return true;
    default:
        return false;
    }
}

// Tells the window of a scroll by its bar as the system's bar would: the
// window's skin handling hears of it before and after. Only the window is
// used: what the window does may free the adapter that called.
void NotifyScroll(HWND wnd, bool vertical, int code, int pos = 0)
{
    if (code == SB_THUMBTRACK || code == SB_THUMBPOSITION) {
        // Windows that ask for the tracked position (GetScrollInfo with
        // SIF_TRACKPOS) find it as the bar's position: the system only
        // tracks positions of drags it runs itself.
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_POS;
        si.nPos = pos;
        SetScrollInfo(wnd, vertical ? SB_VERT : SB_HORZ, &si, FALSE);
    }
    const UINT msg = vertical ? WM_VSCROLL : WM_HSCROLL;
    const LPARAM what = MAKELPARAM(code, msg);
    SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_BEFORESCROLL), what);
    if (!IsWindow(wnd)) return;
    SendMessageW(wnd, msg, MAKEWPARAM(code, std::clamp(pos, 0, 0xFFFF)), 0);
    if (IsWindow(wnd)) SendMessageW(wnd, SM_ALPHACMD, SkinWParam(AC_AFTERSCROLL), what);
}

} // namespace

// ---------------------------------------------------------------------------
// Geometry and painting of one bar

int TsScrollGeometry::PositionAt(int offset) const
{
    if (Room <= 0 || Max <= Min) return Min;
    const int64_t rel = std::clamp(offset - TrackStart, 0, Room);
    return Min + int((rel * (int64_t(Max) - Min) + Room / 2) / Room);
}

int ScrollCommandOf(TsScrollPart part)
{
    switch (part) {
    case spLineMin: return SB_LINEUP;
    case spLineMax: return SB_LINEDOWN;
    case spPageMin: return SB_PAGEUP;
    case spPageMax: return SB_PAGEDOWN;
    default: return -1;
    }
}

TsScrollPart TsScrollGeometry::PartAt(TPoint p) const
{
    if (!Thumb.IsEmpty() && Thumb.Contains(p)) return spThumb;
    if (LineMin.Contains(p)) return spLineMin;
    if (LineMax.Contains(p)) return spLineMax;
    if (Thumb.IsEmpty() || !Track.Contains(p)) return spNone;
    const int at = Vertical ? p.Y : p.X;
    return at < (Vertical ? Thumb.Top : Thumb.Left) ? spPageMin : spPageMax;
}

TsScrollGeometry ScrollGeometry(int width, int height, bool vertical, int min, int max, int page, int pos, int buttonLength)
{
    TsScrollGeometry g;
    g.Vertical = vertical;
    g.Min = min;
    g.Max = max;
    const int len = vertical ? height : width, thick = vertical ? width : height;
    if (len <= 0 || thick <= 0) return g;
    const auto along = [&](int a, int b) { return vertical ? TRect(0, a, width, b) : TRect(a, 0, b, height); };
    const int button = std::min(buttonLength >= 1 ? buttonLength : thick, len / 2);
    g.LineMin = along(0, button);
    g.LineMax = along(len - button, len);
    g.Track = along(button, len - button);
    const int track = len - 2 * button;
    g.TrackStart = button;
    if (max <= min || track < TsScrollGeometry::kMinThumb) return g;
    int thumb = page > 0 ? int(int64_t(track) * page / (int64_t(max) - min + page)) : thick;
    thumb = std::clamp(thumb, TsScrollGeometry::kMinThumb, track);
    g.Room = track - thumb;
    const int64_t rel = std::clamp(pos, min, max) - int64_t(min);
    const int at = button + int(int64_t(g.Room) * rel / (int64_t(max) - min));
    g.Thumb = along(at, at + thumb);
    return g;
}

void PaintScrollPart(tw::TBitmap& cache, TsSkinManager& sm, const TsConstData::TScrollPart& part, int state,
                     const TRect& r)
{
    if (r.IsEmpty() || !sm.SkinIndexValid(part.SkinIndex)) return;
    // The textures and the border were looked up once with the skin.
    TCacheInfo under = MakeCacheInfo(cache.PixelView());
    PaintItemWithMask(&sm, part.SkinIndex, part.MaskIndex, part.BGTexture, part.BGHotTexture, under, true, state, r,
                      TPoint{0, 0}, cache.PixelView());
    if (!sm.MaskIndexValid(part.GlyphIndex)) return;
    const TsMaskData& glyph = sm.ma[size_t(part.GlyphIndex)];
    const int gw = MaskFrameWidth(glyph), gh = MaskFrameHeight(glyph);
    if (gw <= 0 || gh <= 0 || gw > r.Width() || gh > r.Height()) return;
    DrawMaskGlyph(cache.PixelView(), {r.Left + (r.Width() - gw) / 2, r.Top + (r.Height() - gh) / 2},
                  std::min(state, std::max(0, glyph.ImageCount - 1)), 1, glyph, MakeCacheInfo(cache.PixelView()));
}

// ---------------------------------------------------------------------------
// TacScrollWnd

TacScrollWnd::TacScrollWnd(HWND wnd, TsSkinManager* manager, const std::string& section, const char* kind,
                           TsCommonData* skinData, bool repaint)
    : TacMainWnd(wnd, manager, section, kind, skinData)
{
    UpdateScrollState(repaint);
}

TacScrollWnd::~TacScrollWnd()
{
    // A press on a bar ends with the adapter, also when the adapter of a
    // field or a dialog gave the window its procedure back first: the
    // repeat stops and the mouse is given back. The repeat runs only while
    // a part is pressed, so no other adapter's timer is taken.
    const HWND wnd = Handle();
    if (pressed_ != spNone && IsWindow(wnd)) {
        pressed_ = spNone;
        tracking_ = false;
        KillTimer(wnd, ScrollRepeatTimer);
        if (GetCapture() == wnd)
            ReleaseCapture();
    }
    // The base gives the window its procedure back and lets the system draw
    // its own bars again.
}

void TacScrollWnd::ReadBar(bool vertical, TacScrollBarState& s) const
{
    s = TacScrollBarState();
    const HWND wnd = Handle();
    const LONG_PTR style = GetWindowLongPtrW(wnd, GWL_STYLE);
    if (!(style & (vertical ? WS_VSCROLL : WS_HSCROLL)) || IsIconic(wnd)) return;
    RECT wr, cr;
    GetWindowRect(wnd, &wr);
    GetClientRect(wnd, &cr);
    POINT origin{0, 0};
    ClientToScreen(wnd, &origin);
    const int left = origin.x - wr.left, top = origin.y - wr.top;
    // The bars lie right of and below the client area, inside the edges.
    if (vertical) {
        const int w = GetSystemMetrics(SM_CXVSCROLL);
        s.Rect = TRect(left + cr.right, top, left + cr.right + w, top + cr.bottom);
    } else {
        const int h = GetSystemMetrics(SM_CYHSCROLL);
        s.Rect = TRect(left, top + cr.bottom, left + cr.right, top + cr.bottom + h);
    }
    if (s.Rect.Right > wr.right - wr.left || s.Rect.Bottom > wr.bottom - wr.top || s.Rect.IsEmpty()) {
        s.Rect = TRect();
        return;
    }
    s.Visible = true;
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    if (GetScrollInfo(wnd, vertical ? SB_VERT : SB_HORZ, &si)) {
        s.Min = si.nMin;
        s.Page = int(si.nPage);
        s.Max = si.nPage > 0 ? std::max(si.nMin, si.nMax - int(si.nPage) + 1) : si.nMax;
        s.Pos = si.nPos;
    }
    s.Enabled = IsWindowEnabled(wnd) && s.Max > s.Min;
}

void TacScrollWnd::UpdateScrollState(bool repaint)
{
    if (Unsubclassed() || !IsWindow(Handle())) return;
    ReadBar(true, vert_);
    ReadBar(false, horz_);
    if (repaint) Repaint();
}

TsScrollGeometry TacScrollWnd::Geometry(bool vertical) const
{
    const TacScrollBarState& s = vertical ? vert_ : horz_;
    const bool own = tracking_ && pressed_ == spThumb && hotVertical_ == vertical;
    // A horizontal bar's arrows are as wide as the system makes them.
    return ScrollGeometry(s.Rect.Width(), s.Rect.Height(), vertical, s.Min, s.Max, s.Page, own ? trackPos_ : s.Pos,
                          vertical ? 0 : ScrollBtnLength);
}

void TacScrollWnd::Repaint()
{
    const HWND wnd = Handle();
    if (Unsubclassed() || !IsWindowVisible(wnd) || (!vert_.Visible && !horz_.Visible)) return;
    HDC dc = GetWindowDC(wnd);
    if (!dc) return;
    PaintBars(dc);
    ReleaseDC(wnd, dc);
}

void TacScrollWnd::PaintBars(HDC dc)
{
    if (!manager_ || !manager_->Active() || painting_) return;
    painting_ = true;
    TsSkinManager& sm = *manager_;
    const TsConstData& cd = sm.ConstData;
    auto paintBar = [&](bool vertical) {
        const TacScrollBarState& s = vertical ? vert_ : horz_;
        if (!s.Visible || s.Rect.IsEmpty()) return;
        const int w = s.Rect.Width(), h = s.Rect.Height();
        tw::TBitmap bmp(w, h, tw::pf24bit);
        const TsConstData::TScrollPart& track = vertical ? cd.ScrollBar1V : cd.ScrollBar1H;
        const TColor back = sm.SkinIndexValid(track.SkinIndex) ? sm.gd[size_t(track.SkinIndex)].Color : sm.GetGlobalColor();
        HBRUSH brush = CreateSolidBrush(COLORREF(back));
        RECT all{0, 0, w, h};
        FillRect(bmp.Canvas().Handle(), &all, brush);
        DeleteObject(brush);
        const TsScrollGeometry g = Geometry(vertical);
        const auto stateOf = [&](TsScrollPart part) {
            if (!s.Enabled || hotVertical_ != vertical) return 0;
            return part == pressed_ ? 2 : part == hot_ && pressed_ == spNone ? 1 : 0;
        };
        PaintScrollPart(bmp, sm, track, 0, g.Track);
        PaintScrollPart(bmp, sm, vertical ? cd.ScrollBtnTop : cd.ScrollBtnLeft, stateOf(spLineMin), g.LineMin);
        PaintScrollPart(bmp, sm, vertical ? cd.ScrollBtnBottom : cd.ScrollBtnRight, stateOf(spLineMax), g.LineMax);
        if (s.Enabled)
            PaintScrollPart(bmp, sm, vertical ? cd.ScrollSliderV : cd.ScrollSliderH, stateOf(spThumb), g.Thumb);
        BitBlt(dc, s.Rect.Left, s.Rect.Top, w, h, bmp.Canvas().Handle(), 0, 0, SRCCOPY);
    };
    paintBar(true);
    paintBar(false);
    if (vert_.Visible && horz_.Visible) {
        // The corner between the two bars.
        const TsConstData::TScrollPart& track = cd.ScrollBar1V;
        const TColor back = sm.SkinIndexValid(track.SkinIndex) ? sm.gd[size_t(track.SkinIndex)].Color : sm.GetGlobalColor();
        HBRUSH brush = CreateSolidBrush(COLORREF(back));
        RECT corner{vert_.Rect.Left, horz_.Rect.Top, vert_.Rect.Right, horz_.Rect.Bottom};
        FillRect(dc, &corner, brush);
        DeleteObject(brush);
    }
    ++paints_;
    painting_ = false;
    // The window's adapter (and through it the window's skin handling) is
    // told that its bars are the skin's now.
    SendMessageW(Handle(), SM_ALPHACMD, SkinWParam(AC_SCROLLPAINT), 0);
}

TPoint TacScrollWnd::BarPoint(bool vertical, POINT screen) const
{
    RECT wr;
    GetWindowRect(Handle(), &wr);
    const TacScrollBarState& s = vertical ? vert_ : horz_;
    return TPoint(screen.x - wr.left - s.Rect.Left, screen.y - wr.top - s.Rect.Top);
}

void TacScrollWnd::SetLook(bool vertical, TsScrollPart hot, TsScrollPart pressed)
{
    if (vertical == hotVertical_ && hot == hot_ && pressed == pressed_) return;
    hotVertical_ = vertical;
    hot_ = hot;
    pressed_ = pressed;
    Repaint();
}

void TacScrollWnd::MouseDown(bool vertical, POINT screen)
{
    UpdateScrollState(false);
    const TacScrollBarState& s = vertical ? vert_ : horz_;
    if (!s.Enabled) return;
    const TsScrollGeometry g = Geometry(vertical);
    const TPoint p = BarPoint(vertical, screen);
    const TsScrollPart part = g.PartAt(p);
    if (part == spNone) return;
    const HWND wnd = Handle();
    const int barPos = s.Pos;
    lastScreen_ = screen;
    // Taking the mouse and painting tell the window: it may free the adapter.
    const TLife life(*this);
    SetCapture(wnd);
    if (!life.Alive()) {
        // Gone before the press began: nobody would give the mouse back.
        if (GetCapture() == wnd) ReleaseCapture();
        return;
    }
    SetLook(vertical, part, part);
    if (!life.Alive()) return;
    if (part == spThumb) {
        grip_ = vertical ? p.Y - g.Thumb.Top : p.X - g.Thumb.Left;
        trackPos_ = barPos;
        tracking_ = true;
        return;
    }
    Repeat();
    if (life.Alive() && pressed_ != spNone) SetTimer(wnd, ScrollRepeatTimer, kFirstRepeat, nullptr);
}

void TacScrollWnd::Repeat()
{
    if (pressed_ == spNone || pressed_ == spThumb) return;
    UpdateScrollState(false);
    const TsScrollGeometry g = Geometry(hotVertical_);
    // Only while the mouse stays on the part it pressed; a page step stops
    // when the thumb has come under the mouse.
    if (g.PartAt(BarPoint(hotVertical_, lastScreen_)) != pressed_) return;
    const HWND wnd = Handle();
    const TLife life(*this);
    if (const int command = ScrollCommandOf(pressed_); command >= 0) NotifyScroll(wnd, hotVertical_, command);
    if (!life.Alive()) return;
    UpdateScrollState(true);
    if (life.Alive() && IsWindow(wnd) && pressed_ != spNone) SetTimer(wnd, ScrollRepeatTimer, kNextRepeat, nullptr);
}

void TacScrollWnd::MouseMove(POINT screen)
{
    lastScreen_ = screen;
    if (!tracking_) return;
    const TsScrollGeometry g = Geometry(hotVertical_);
    const TPoint p = BarPoint(hotVertical_, screen);
    const int pos = g.PositionAt((hotVertical_ ? p.Y : p.X) - grip_);
    if (pos == trackPos_) return;
    trackPos_ = pos;
    const TLife life(*this);
    NotifyScroll(Handle(), hotVertical_, SB_THUMBTRACK, pos);
    if (life.Alive()) UpdateScrollState(true);
}

void TacScrollWnd::MouseUp()
{
    if (pressed_ == spNone) return;
    const HWND wnd = Handle();
    KillTimer(wnd, ScrollRepeatTimer);
    const bool wasTracking = tracking_, vertical = hotVertical_;
    const int pos = trackPos_;
    tracking_ = false;
    pressed_ = spNone;
    // The window's handling of the scroll may free the adapter; the scroll
    // ends and the mouse is given back all the same.
    const TLife life(*this);
    if (wasTracking) NotifyScroll(wnd, vertical, SB_THUMBPOSITION, pos);
    if (IsWindow(wnd)) NotifyScroll(wnd, vertical, SB_ENDSCROLL);
    if (GetCapture() == wnd) ReleaseCapture();
    if (!life.Alive()) return;
    UpdateScrollState(false);
    SetLook(hotVertical_, spNone, spNone);
    if (life.Alive()) Repaint();
}

LRESULT TacScrollWnd::AdapterWndProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const HWND wnd = Handle();
    // What a message passed on to the window does may free the adapter
    // (the skin removed or changed through the window's own handling):
    // after it nothing of the adapter is touched unless it is still there.
    const TLife life(*this);
    switch (msg) {
    case WM_NCPAINT: {
        const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
        if (life.Alive()) UpdateScrollState(true);
        return r;
    }
    case WM_PRINT: {
        const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
        if (life.Alive() && (lp & PRF_NONCLIENT) && wp) PaintBars(reinterpret_cast<HDC>(wp));
        return r;
    }
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
        if (IsScrollCode(wp)) {
            // The window gets the focus a click on its bar gives it.
            if (GetFocus() != wnd && (GetWindowLongPtrW(wnd, GWL_STYLE) & WS_TABSTOP)) SetFocus(wnd);
            if (life.Alive()) MouseDown(wp == HTVSCROLL, POINT{short(LOWORD(lp)), short(HIWORD(lp))});
            return 0;
        }
        break;
    case WM_NCMOUSEMOVE:
        if (pressed_ == spNone) {
            if (!ncTracking_) {
                TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE | TME_NONCLIENT, wnd, 0};
                ncTracking_ = TrackMouseEvent(&tme) != 0;
            }
            if (IsScrollCode(wp)) {
                const bool vertical = wp == HTVSCROLL;
                const POINT screen{short(LOWORD(lp)), short(HIWORD(lp))};
                const TacScrollBarState& s = vertical ? vert_ : horz_;
                SetLook(vertical, s.Enabled ? Geometry(vertical).PartAt(BarPoint(vertical, screen)) : spNone, spNone);
                return 0;
            }
        }
        [[fallthrough]];
    case WM_NCMOUSELEAVE: {
        // Off the bars: the window has the message first, then the bars
        // lose their hot look.
        if (msg == WM_NCMOUSELEAVE) ncTracking_ = false;
        const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
        if (life.Alive() && pressed_ == spNone) SetLook(hotVertical_, spNone, spNone);
        return r;
    }
    case WM_MOUSEMOVE:
        if (pressed_ != spNone) {
            POINT p{short(LOWORD(lp)), short(HIWORD(lp))};
            ClientToScreen(wnd, &p);
            MouseMove(p);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (pressed_ != spNone) {
            MouseUp();
            return 0;
        }
        break;
    case WM_CAPTURECHANGED: {
        // The window hears of the lost mouse before the scroll ends, as
        // with the system's bars.
        const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
        if (life.Alive() && pressed_ != spNone && reinterpret_cast<HWND>(lp) != wnd) MouseUp();
        return r;
    }
    case WM_TIMER:
        if (wp == ScrollRepeatTimer) {
            Repeat();
            return 0;
        }
        break;
    default:
        break;
    }
    const LRESULT r = TacMainWnd::AdapterWndProc(msg, wp, lp);
    if (life.Alive() && MayScroll(msg) && !Unsubclassed() && IsWindow(wnd)) UpdateScrollState(true);
    return r;
}

// ---------------------------------------------------------------------------

bool WantsScrollAdapter(HWND wnd)
{
    return wnd && (GetWindowLongPtrW(wnd, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL)) != 0;
}

namespace {

// Loaded once; nullptr where the library has none.
using TFlatSB = BOOL(WINAPI*)(HWND);
struct TFlatSBProcs {
    TFlatSB Initialize = nullptr;
    TFlatSB Uninitialize = nullptr;
};
const TFlatSBProcs& FlatSB()
{
    static const TFlatSBProcs procs = [] {
        TFlatSBProcs p;
        if (HMODULE lib = LoadLibraryW(L"comctl32.dll")) {
            p.Initialize = reinterpret_cast<TFlatSB>(reinterpret_cast<void*>(GetProcAddress(lib, "InitializeFlatSB")));
            p.Uninitialize =
                reinterpret_cast<TFlatSB>(reinterpret_cast<void*>(GetProcAddress(lib, "UninitializeFlatSB")));
        }
        return p;
    }();
    return procs;
}

} // namespace

void InitializeFlatScrollBars(HWND wnd)
{
    if (FlatSB().Initialize) FlatSB().Initialize(wnd);
}

void UninitializeFlatScrollBars(HWND wnd)
{
    if (FlatSB().Uninitialize) FlatSB().Uninitialize(wnd);
}

void AttachScrollAdapter(TsCommonData* skinData, HWND wnd, std::unique_ptr<TacScrollWnd>& adapter)
{
    // A container being loaded or destroyed is left as it is: its window
    // is about to change anyway.
    if (const tw::TControl* owner = skinData ? skinData->OwnerControl() : nullptr;
        owner && (owner->IsLoading() || owner->IsDestroying() || (owner->ComponentState() & tw::csDesigning)))
        return;
    TsSkinManager* sm = skinData ? skinData->SkinManager() : nullptr;
    const bool skinned = skinData && sm && sm->Active() && skinData->Skinned() && wnd && IsWindow(wnd);
    if (adapter && (!skinned || adapter->Unsubclassed() || adapter->Handle() != wnd)) {
        const HWND old = adapter->Handle();
        adapter.reset();
        if (!skinned && IsWindow(old)) InitializeFlatScrollBars(old);
    }
    // A window that has an adapter from elsewhere (its form's control
    // adapter took it first) keeps that one: two on one window would both
    // paint its bars and chain into each other.
    const tw::TWinControl* control = skinned && !adapter ? tw::TWinControl::FromHandle(wnd) : nullptr;
    if (skinned && !adapter && (TacMainWnd::Of(wnd) || (control && (control->ControlState() & tw::csSkinAdapted))))
        return;
    if (skinned && !adapter) {
        UninitializeFlatScrollBars(wnd);
        adapter = std::make_unique<TacScrollWnd>(wnd, sm, "", "TacScrollWnd", skinData);
    }
}

void UpdateScrollState(TacScrollWnd* adapter, bool repaint)
{
    if (adapter) adapter->UpdateScrollState(repaint);
}

void PaintNCScrollBars(TacScrollWnd* adapter, HDC dc)
{
    if (adapter && dc) adapter->PaintBars(dc);
}

} // namespace skin
