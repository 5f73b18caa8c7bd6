#pragma once
// Small owners of GDI objects and selections for the skin's Windows side: a
// handle deleted when its owner goes, a selection undone when its scope ends.
#include <windows.h>

namespace skin {

class TGdiObject {
public:
    explicit TGdiObject(HGDIOBJ h) : h_(h) {}
    ~TGdiObject()
    {
        if (h_) DeleteObject(h_);
    }
    TGdiObject(const TGdiObject&) = delete;
    TGdiObject& operator=(const TGdiObject&) = delete;
    HGDIOBJ Get() const { return h_; }

private:
    HGDIOBJ h_;
};

class TGdiSelection {
public:
    TGdiSelection(HDC dc, HGDIOBJ h) : dc_(dc), old_(SelectObject(dc, h)) {}
    ~TGdiSelection() { SelectObject(dc_, old_); }
    TGdiSelection(const TGdiSelection&) = delete;
    TGdiSelection& operator=(const TGdiSelection&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A solid brush of the colour last asked for, made again only when the
// colour changes and deleted with its owner.
class TSolidBrush {
public:
    TSolidBrush() = default;
    ~TSolidBrush()
    {
        if (brush_) DeleteObject(brush_);
    }
    TSolidBrush(const TSolidBrush&) = delete;
    TSolidBrush& operator=(const TSolidBrush&) = delete;
    HBRUSH Of(COLORREF color)
    {
        if (!brush_ || color != color_) {
            if (brush_) DeleteObject(brush_);
            brush_ = CreateSolidBrush(color);
            color_ = color;
        }
        return brush_;
    }

private:
    HBRUSH brush_ = nullptr;
    COLORREF color_ = 0;
};

// The DC of a whole window (nullptr: the screen), released when the scope
// ends; the DC's state is restored first.
class TWindowDC {
public:
    explicit TWindowDC(HWND wnd) : wnd_(wnd), dc_(GetWindowDC(wnd)), saved_(SaveDC(dc_)) {}
    ~TWindowDC()
    {
        RestoreDC(dc_, saved_);
        ReleaseDC(wnd_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Handle() const { return dc_; }

private:
    HWND wnd_;
    HDC dc_;
    int saved_;
};

} // namespace skin
