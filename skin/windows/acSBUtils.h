#pragma once
// Skinned scroll bars for windows that show the system's scroll bars in their
// non-client area (the log's memo, the lists, the key/value grid, the lists
// of the system's dialogs). The adapter subclasses the window: the system
// paints its frame and bars as ever, and the adapter paints the skin's bars
// over them; the mouse on a bar is the adapter's (the system's bar would
// draw itself while it tracks), and the window hears WM_VSCROLL/WM_HSCROLL
// as from its own bars. The keyboard, the wheel and the scroll range stay
// the window's.
#include <windows.h>

#include <string>

#include "skin/engine/data/sSkinManager.h"
#include "skin/windows/acDials.h"
#include "ui/Graphics.h"

namespace tw {
class TWinControl;
}

namespace skin {

class TsCommonData;

// The timer that repeats a press on an arrow or the track, on the window of
// the bar: an id no control of the library or the system uses for its own.
inline constexpr UINT_PTR ScrollRepeatTimer = 0xAC5B;

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
// buttonLength is the length of each arrow along the bar; below 1 the arrows are
// as long as the bar is thick (always at most half the bar).
TsScrollGeometry ScrollGeometry(int width, int height, bool vertical, int min, int max, int page, int pos,
                                int buttonLength = 0);
// The scroll command a press on an arrow or on the track repeats (SB_LINEUP
// ... SB_PAGEDOWN); -1 for the thumb and outside.
int ScrollCommandOf(TsScrollPart part);

// One part of a scroll bar or track bar from the skin: the part's section
// over what is already in the cache, in the state, with its glyph mask
// centred when it has one that fits.
void PaintScrollPart(tw::TBitmap& cache, TsSkinManager& sm, const TsConstData::TScrollPart& part, int state,
                     const TRect& r);

// For a scrolling container: while its skin link is skinned (and the
// manager active) a scroll adapter on its window, else none. The adapter
// is made again when the window it had has ended.
void AttachScrollAdapter(TsCommonData* skinData, HWND wnd, std::unique_ptr<TacScrollWnd>& adapter);
// Reads the bars again; with repaint paints them (nothing without adapter).
void UpdateScrollState(TacScrollWnd* adapter, bool repaint);
// Paints an adapter's bars into a DC of the whole window (WM_PRINT).
void PaintNCScrollBars(TacScrollWnd* adapter, HDC dc);
// Whether a window shows (or may show) system scroll bars that want the skin.
bool WantsScrollAdapter(HWND wnd);

// comctl32's flat scroll bars would draw over the skin's: switched off while
// a window is skinned, on again when it is given back. Nothing happens where
// the library lacks them.
void InitializeFlatScrollBars(HWND wnd);
void UninitializeFlatScrollBars(HWND wnd);

} // namespace skin
