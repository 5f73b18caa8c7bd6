// Owners for what the library borrows from the platform for the length of a
// function: device contexts, GDI objects, selections into a DC, the saved
// state of a DC, and any other undo step. Each gives back what it took when
// its scope ends, also when an exception passes, so no code pairs the calls
// by hand.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <utility>

namespace tw {

class TCanvas;
class TFont;
using TColor = int32_t; // as in ui/Graphics.h

// What the device-context owners below share: the handle, and no copies.
class TDCOwner {
public:
    TDCOwner(const TDCOwner&) = delete;
    TDCOwner& operator=(const TDCOwner&) = delete;
    HDC Handle() const { return dc_; }
    operator HDC() const { return dc_; }

protected:
    explicit TDCOwner(HDC dc) : dc_(dc) {}
    ~TDCOwner() = default;
    HDC dc_;
};

// The device context of a window (nullptr: the screen), from GetDC.
class TWindowDC : public TDCOwner {
public:
    explicit TWindowDC(HWND wnd = nullptr) : TDCOwner(GetDC(wnd)), wnd_(wnd) {}
    ~TWindowDC() {
        if (dc_) ReleaseDC(wnd_, dc_);
    }

private:
    HWND wnd_;
};

// The device context of WM_PAINT, from BeginPaint.
class TPaintDC : public TDCOwner {
public:
    explicit TPaintDC(HWND wnd) : TDCOwner(nullptr), wnd_(wnd) { dc_ = BeginPaint(wnd_, &ps_); }
    ~TPaintDC() { EndPaint(wnd_, &ps_); }
    // The part of the window to be painted.
    const RECT& PaintRect() const { return ps_.rcPaint; }

private:
    HWND wnd_;
    PAINTSTRUCT ps_{};
};

// A memory device context compatible with another (nullptr: the screen).
class TMemoryDC : public TDCOwner {
public:
    explicit TMemoryDC(HDC compatibleWith = nullptr) : TDCOwner(CreateCompatibleDC(compatibleWith)) {}
    ~TMemoryDC() {
        if (dc_) DeleteDC(dc_);
    }
};

// One GDI object (pen, brush, font, bitmap, region), deleted with its owner
// unless Release hands it on.
template <class H>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(H h) : h_(h) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(TGdiObject&& o) noexcept : h_(o.Release()) {}
    TGdiObject& operator=(TGdiObject&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;

    H Get() const { return h_; }
    operator H() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    H Release() { return std::exchange(h_, nullptr); }
    void Reset(H h = nullptr) {
        if (h_ && h_ != h) DeleteObject(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

// An object selected into a DC; the one it replaced goes back at the end.
class TSelection {
public:
    TSelection(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
    ~TSelection() {
        if (old_ && old_ != HGDI_ERROR) SelectObject(dc_, old_);
    }
    TSelection(const TSelection&) = delete;
    TSelection& operator=(const TSelection&) = delete;
    // Selects another object; the end still restores the first one's
    // predecessor.
    void Select(HGDIOBJ obj) { SelectObject(dc_, obj); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// The DC's whole state (clipping, origins, selections) saved and restored.
class TSavedDCState {
public:
    explicit TSavedDCState(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
    ~TSavedDCState() {
        if (saved_) RestoreDC(dc_, saved_);
    }
    TSavedDCState(const TSavedDCState&) = delete;
    TSavedDCState& operator=(const TSavedDCState&) = delete;

private:
    HDC dc_;
    int saved_;
};

// A canvas drawing on a DC that its caller owns (one WM_PAINT), with the
// control's font and colour; given back the DC it had before (usually
// none) when the scope ends, so a paint inside another paint leaves the
// outer one its DC.
class TCanvasAttachment {
public:
    TCanvasAttachment(TCanvas& canvas, HDC dc, const TFont& font, TColor brushColor);
    ~TCanvasAttachment();
    TCanvasAttachment(const TCanvasAttachment&) = delete;
    TCanvasAttachment& operator=(const TCanvasAttachment&) = delete;

private:
    TCanvas& canvas_;
    HDC previous_;
};

// Runs an undo step when the scope ends. When the scope ends by an
// exception, that exception is the one the caller hears of: a failure of
// the undo step itself is dropped then.
template <class F>
class TScopeExit {
public:
    explicit TScopeExit(F f) : f_(std::move(f)), exceptions_(std::uncaught_exceptions()) {}
    ~TScopeExit() noexcept(false) {
        if (!armed_) return;
        if (std::uncaught_exceptions() > exceptions_) {
            try {
                f_();
            } catch (...) {
                // Dropped: the exception under way is the one to report.
            }
        } else {
            f_();
        }
    }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;
    // Runs the step now (its failure reaches the caller) instead of at the end.
    void Run() {
        if (!armed_) return;
        armed_ = false;
        f_();
    }

private:
    F f_;
    int exceptions_;
    bool armed_ = true;
};

} // namespace tw
