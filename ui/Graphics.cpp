#include "ui/Graphics.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "base/WinText.h"
#include "ui/Consts.h"
#include "ui/Guards.h"

namespace tw {

COLORREF ColorToRGB(TColor c) {
    if (c == clNone) return RGB(0, 0, 0);
    if (c == clDefault) return GetSysColor(COLOR_WINDOW);
    if ((static_cast<uint32_t>(c) & 0xFF000000u) == 0xFF000000u) return GetSysColor(c & 0xFF);
    return static_cast<COLORREF>(c) & 0x00FFFFFFu;
}

int ScreenPixelsPerInch() {
    static int ppi = [] {
        TWindowDC dc;
        int v = GetDeviceCaps(dc, LOGPIXELSY);
        return v > 0 ? v : 96;
    }();
    return ppi;
}

// ---------------------------------------------------------------- TFont

TFont::TFont() : name_("Tahoma"), height_(-MulDiv(8, ScreenPixelsPerInch(), 72)) {}

TFont::~TFont() {
    if (handle_) DeleteObject(handle_);
}

void TFont::Changed() {
    if (handle_) {
        DeleteObject(handle_);
        handle_ = nullptr;
    }
    if (OnChange) OnChange();
}

void TFont::SetName(const std::string& n) {
    if (n == name_) return;
    name_ = n;
    Changed();
}
int TFont::Size() const { return -MulDiv(height_, 72, ScreenPixelsPerInch()); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch(), 72)); }
void TFont::SetHeight(int h) {
    if (h == height_) return;
    height_ = h;
    Changed();
}
void TFont::SetColor(TColor c) {
    if (c == color_) return;
    color_ = c;
    // The handle does not depend on the colour.
    if (OnChange) OnChange();
}
void TFont::SetStyle(TFontStyles s) {
    if (s == style_) return;
    style_ = s;
    Changed();
}
void TFont::SetCharset(BYTE c) {
    if (c == charset_) return;
    charset_ = c;
    Changed();
}
void TFont::SetPitch(TFontPitch p) {
    if (p == pitch_) return;
    pitch_ = p;
    Changed();
}

HFONT TFont::Handle() {
    if (!handle_) {
        LOGFONTW lf{};
        lf.lfHeight = height_;
        lf.lfWeight = (style_ & fsBold) ? FW_BOLD : FW_NORMAL;
        lf.lfItalic = (style_ & fsItalic) ? 1 : 0;
        lf.lfUnderline = (style_ & fsUnderline) ? 1 : 0;
        lf.lfStrikeOut = (style_ & fsStrikeOut) ? 1 : 0;
        lf.lfCharSet = charset_;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = pitch_ == fpFixed ? FIXED_PITCH : pitch_ == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
        std::wstring w = Utf8ToWide(name_);
        wcsncpy(lf.lfFaceName, w.c_str(), LF_FACESIZE - 1);
        handle_ = CreateFontIndirectW(&lf);
    }
    return handle_;
}

bool TFont::SameAs(const TFont& o) const {
    return name_ == o.name_ && height_ == o.height_ && color_ == o.color_ && style_ == o.style_ &&
           charset_ == o.charset_ && pitch_ == o.pitch_;
}

void TFont::Assign(const TFont& o) {
    if (SameAs(o)) return;
    name_ = o.name_;
    height_ = o.height_;
    color_ = o.color_;
    style_ = o.style_;
    charset_ = o.charset_;
    pitch_ = o.pitch_;
    Changed();
}

// ---------------------------------------------------------------- TPen / TBrush

TPen::~TPen() { Drop(); }
void TPen::Drop() {
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
}
void TPen::SetColor(TColor c) {
    if (c != color_) {
        color_ = c;
        Drop();
    }
}
void TPen::SetWidth(int w) {
    if (w != width_) {
        width_ = w;
        Drop();
    }
}
void TPen::SetStyle(TPenStyle s) {
    if (s != style_) {
        style_ = s;
        Drop();
    }
}
HPEN TPen::Handle() {
    if (!handle_) {
        int st = PS_SOLID;
        switch (style_) {
        case psDash: st = PS_DASH; break;
        case psDot: st = PS_DOT; break;
        case psDashDot: st = PS_DASHDOT; break;
        case psDashDotDot: st = PS_DASHDOTDOT; break;
        case psClear: st = PS_NULL; break;
        case psInsideFrame: st = PS_INSIDEFRAME; break;
        default: break;
        }
        handle_ = CreatePen(st, width_, ColorToRGB(color_));
    }
    return handle_;
}
void TPen::Assign(const TPen& o) {
    SetColor(o.color_);
    SetWidth(o.width_);
    SetStyle(o.style_);
    mode_ = o.mode_;
}

TBrush::~TBrush() { Drop(); }
void TBrush::Drop() {
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
}
void TBrush::SetColor(TColor c) {
    if (c == clNone) {
        SetStyle(bsClear);
        return;
    }
    if (c != color_) {
        color_ = c;
        Drop();
    }
    if (style_ == bsClear) SetStyle(bsSolid);
}
void TBrush::SetStyle(TBrushStyle s) {
    if (s != style_) {
        style_ = s;
        Drop();
    }
}
HBRUSH TBrush::Handle() {
    if (!handle_) {
        switch (style_) {
        case bsSolid: handle_ = CreateSolidBrush(ColorToRGB(color_)); break;
        case bsClear: handle_ = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)); break;
        default: {
            int hs = HS_HORIZONTAL;
            if (style_ == bsVertical) hs = HS_VERTICAL;
            if (style_ == bsFDiagonal) hs = HS_FDIAGONAL;
            if (style_ == bsBDiagonal) hs = HS_BDIAGONAL;
            if (style_ == bsCross) hs = HS_CROSS;
            if (style_ == bsDiagCross) hs = HS_DIAGCROSS;
            handle_ = CreateHatchBrush(hs, ColorToRGB(color_));
        }
        }
    }
    return handle_;
}
void TBrush::Assign(const TBrush& o) {
    color_ = o.color_;
    style_ = o.style_;
    Drop();
}

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas() = default;

TCanvas::~TCanvas() { DeselectObjects(); }

void TCanvas::DeselectObjects() {
    if (dc_) {
        if (oldPen_) SelectObject(dc_, oldPen_);
        if (oldBrush_) SelectObject(dc_, oldBrush_);
        if (oldFont_) SelectObject(dc_, oldFont_);
    }
    oldPen_ = oldBrush_ = oldFont_ = nullptr;
}

TCanvasAttachment::TCanvasAttachment(TCanvas& canvas, HDC dc, const TFont& font, TColor brushColor)
    : canvas_(canvas), previous_(canvas.Handle()) {
    canvas_.SetHandle(dc);
    canvas_.Font().Assign(font);
    canvas_.Brush().SetColor(brushColor);
}

TCanvasAttachment::~TCanvasAttachment() { canvas_.SetHandle(previous_); }

void TCanvas::SetHandle(HDC dc) {
    if (dc == dc_) return;
    DeselectObjects();
    dc_ = dc;
}

void TCanvas::EnsureHandle() {
    if (!dc_) CreateHandle();
    if (!dc_) throw EInvalidOperation("Canvas does not allow drawing");
}

void TCanvas::RequireState() {
    EnsureHandle();
    HGDIOBJ p = SelectObject(dc_, pen_.Handle());
    if (!oldPen_) oldPen_ = p;
    HGDIOBJ b = SelectObject(dc_, brush_.Handle());
    if (!oldBrush_) oldBrush_ = b;
    HGDIOBJ f = SelectObject(dc_, font_.Handle());
    if (!oldFont_) oldFont_ = f;
    SetTextColor(dc_, ColorToRGB(font_.Color()));
    if (brush_.Style() == bsClear) {
        SetBkMode(dc_, TRANSPARENT);
    } else {
        SetBkMode(dc_, OPAQUE);
        SetBkColor(dc_, ColorToRGB(brush_.Color()));
    }
    int rop = R2_COPYPEN;
    if (pen_.Mode() == pmNot) rop = R2_NOT;
    if (pen_.Mode() == pmXor) rop = R2_XORPEN;
    if (pen_.Mode() == pmNotXor) rop = R2_NOTXORPEN;
    SetROP2(dc_, rop);
}

void TCanvas::MoveTo(int x, int y) {
    RequireState();
    MoveToEx(dc_, x, y, nullptr);
    penPos_ = TPoint(x, y);
}

void TCanvas::LineTo(int x, int y) {
    RequireState();
    MoveToEx(dc_, penPos_.X, penPos_.Y, nullptr);
    ::LineTo(dc_, x, y);
    penPos_ = TPoint(x, y);
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
    if (points.empty()) return;
    RequireState();
    std::vector<POINT> p(points.size());
    for (size_t i = 0; i < points.size(); ++i) p[i] = POINT{points[i].X, points[i].Y};
    ::Polyline(dc_, p.data(), static_cast<int>(p.size()));
    penPos_ = points.back();
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
    if (points.empty()) return;
    RequireState();
    std::vector<POINT> p(points.size());
    for (size_t i = 0; i < points.size(); ++i) p[i] = POINT{points[i].X, points[i].Y};
    ::Polygon(dc_, p.data(), static_cast<int>(p.size()));
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    RequireState();
    ::Rectangle(dc_, x1, y1, x2, y2);
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int w, int h) {
    RequireState();
    ::RoundRect(dc_, x1, y1, x2, y2, w, h);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
    RequireState();
    ::Ellipse(dc_, x1, y1, x2, y2);
}

void TCanvas::FillRect(const TRect& r) {
    RequireState();
    RECT rc = r.ToRECT();
    ::FillRect(dc_, &rc, brush_.Handle());
}

void TCanvas::FrameRect(const TRect& r) {
    RequireState();
    RECT rc = r.ToRECT();
    ::FrameRect(dc_, &rc, brush_.Handle());
}

void TCanvas::DrawFocusRect(const TRect& r) {
    RequireState();
    RECT rc = r.ToRECT();
    ::DrawFocusRect(dc_, &rc);
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
    RequireState();
    std::wstring w = Utf8ToWide(text);
    ExtTextOutW(dc_, x, y, 0, nullptr, w.c_str(), static_cast<UINT>(w.size()), nullptr);
    penPos_ = TPoint(x + TextWidth(text), y);
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
    RequireState();
    std::wstring w = Utf8ToWide(text);
    RECT rc = r.ToRECT();
    UINT opts = ETO_CLIPPED | (brush_.Style() != bsClear ? ETO_OPAQUE : 0);
    ExtTextOutW(dc_, x, y, opts, &rc, w.c_str(), static_cast<UINT>(w.size()), nullptr);
}

int TCanvas::DrawText(const std::string& text, TRect& r, UINT flags) {
    RequireState();
    std::wstring w = Utf8ToWide(text);
    RECT rc = r.ToRECT();
    int h = ::DrawTextW(dc_, w.c_str(), static_cast<int>(w.size()), &rc, flags);
    if (flags & DT_CALCRECT) r = TRect(rc);
    return h;
}

SIZE TCanvas::TextExtent(const std::string& text) {
    RequireState();
    std::wstring w = Utf8ToWide(text);
    SIZE s{0, 0};
    GetTextExtentPoint32W(dc_, w.c_str(), static_cast<int>(w.size()), &s);
    return s;
}

void TCanvas::Draw(int x, int y, TGraphic* g) {
    if (!g || g->Empty()) return;
    EnsureHandle();
    g->Draw(*this, Bounds(x, y, g->Width(), g->Height()));
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* g) {
    if (!g || g->Empty()) return;
    EnsureHandle();
    g->Draw(*this, r);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& src) {
    RequireState();
    source.EnsureHandle();
    if (dest.Width() == src.Width() && dest.Height() == src.Height())
        BitBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), source.dc_, src.Left, src.Top, SRCCOPY);
    else
        StretchBlt(dc_, dest.Left, dest.Top, dest.Width(), dest.Height(), source.dc_, src.Left, src.Top, src.Width(),
                   src.Height(), SRCCOPY);
}

TColor TCanvas::Pixels(int x, int y) {
    EnsureHandle();
    return static_cast<TColor>(GetPixel(dc_, x, y));
}

void TCanvas::SetPixel(int x, int y, TColor c) {
    EnsureHandle();
    ::SetPixel(dc_, x, y, ColorToRGB(c));
}

// ---------------------------------------------------------------- TGraphic

void TGraphic::SaveToStream(TStream&) const { throw EInvalidGraphic("Saving is not supported for " + ClassName()); }

void TGraphic::Assign(const TGraphic& source) {
    throw EInvalidGraphic("Cannot assign a " + source.ClassName() + " to a " + ClassName());
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead);
    LoadFromStream(f);
}

void TGraphic::SaveToFile(const std::string& fileName) const {
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
}

void TGraphic::SetTransparent(bool t) {
    if (t == transparent_) return;
    transparent_ = t;
    Changed();
}

void TGraphic::Changed() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- TBitmap

class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap* b) : bmp_(b) {}
    ~TBitmapCanvas() override { Free(); }
    void Free() {
        if (!dc_) return;
        HDC dc = dc_;
        DeselectObjects();
        if (old_) SelectObject(dc, old_);
        old_ = nullptr;
        dc_ = nullptr;
        DeleteDC(dc);
    }

protected:
    void CreateHandle() override {
        if (!bmp_->handle_) bmp_->Allocate(1, 1, bmp_->pixelFormat_, nullptr);
        dc_ = CreateCompatibleDC(nullptr);
        old_ = SelectObject(dc_, bmp_->handle_);
    }

private:
    TBitmap* bmp_;
    HGDIOBJ old_ = nullptr;
};

namespace {

int BitsOf(TPixelFormat pf) {
    switch (pf) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
    }
}

std::vector<RGBQUAD> DefaultPalette(TPixelFormat pf) {
    std::vector<RGBQUAD> pal;
    if (pf == pf1bit) {
        pal = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    } else if (pf == pf4bit) {
        static const COLORREF vga[16] = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray,
                                         clSilver, clRed, clLime, clYellow, clBlue, clFuchsia, clAqua, clWhite};
        for (COLORREF c : vga) pal.push_back(RGBQUAD{GetBValue(c), GetGValue(c), GetRValue(c), 0});
    } else if (pf == pf8bit) {
        for (int r = 0; r < 6; ++r)
            for (int g = 0; g < 6; ++g)
                for (int b = 0; b < 6; ++b)
                    pal.push_back(RGBQUAD{static_cast<BYTE>(b * 51), static_cast<BYTE>(g * 51),
                                          static_cast<BYTE>(r * 51), 0});
        for (int i = 0; pal.size() < 256; ++i) {
            BYTE v = static_cast<BYTE>(i * 255 / 39);
            pal.push_back(RGBQUAD{v, v, v, 0});
        }
    }
    return pal;
}

struct BitmapInfo {
    BITMAPINFOHEADER h;
    union {
        RGBQUAD colors[256];
        DWORD masks[3];
    };
};

void FillInfo(BitmapInfo& bi, int w, int h, TPixelFormat pf, const std::vector<RGBQUAD>& pal) {
    std::memset(&bi, 0, sizeof(bi));
    bi.h.biSize = sizeof(BITMAPINFOHEADER);
    bi.h.biWidth = w;
    bi.h.biHeight = h; // positive: bottom-up rows
    bi.h.biPlanes = 1;
    bi.h.biBitCount = static_cast<WORD>(BitsOf(pf));
    bi.h.biCompression = BI_RGB;
    if (pf == pf16bit) {
        bi.h.biCompression = BI_BITFIELDS;
        bi.masks[0] = 0xF800;
        bi.masks[1] = 0x07E0;
        bi.masks[2] = 0x001F;
    } else if (!pal.empty()) {
        bi.h.biClrUsed = static_cast<DWORD>(pal.size());
        std::copy(pal.begin(), pal.end(), bi.colors);
    }
}

// A new DIB section; throws when the system has no room for it.
TGdiObject<HBITMAP> NewDibSection(int w, int h, TPixelFormat pf, const std::vector<RGBQUAD>& pal, uint8_t*& bits) {
    BitmapInfo bi;
    FillInfo(bi, w, h, pf, pal);
    void* b = nullptr;
    HBITMAP hb = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &b, nullptr, 0);
    if (!hb) throw EOutOfMemory(StdText(stOutOfResources));
    bits = static_cast<uint8_t*>(b);
    return TGdiObject<HBITMAP>(hb);
}

// Copies the top-left w x h pixels of one bitmap into another; neither may
// be selected into a DC (a bitmap lives in one DC at a time).
void CopyPixels(HBITMAP to, HBITMAP from, int w, int h) {
    TMemoryDC dst, src;
    TSelection toSel(dst, to), fromSel(src, from);
    BitBlt(dst, 0, 0, w, h, src, 0, 0, SRCCOPY);
}

} // namespace

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat pf) {
    pixelFormat_ = pf == pfDevice || pf == pfCustom ? pf24bit : pf;
    SetSize(width, height);
}

TBitmap::~TBitmap() {
    canvas_.reset();
    FreeHandle();
}

void TBitmap::FreeCanvasDC() {
    if (canvas_) static_cast<TBitmapCanvas*>(canvas_.get())->Free();
}

void TBitmap::FreeHandle() {
    FreeCanvasDC();
    if (handle_) DeleteObject(handle_);
    handle_ = nullptr;
    bits_ = nullptr;
}

void TBitmap::Replace(HBITMAP h, uint8_t* bits, int w, int ht, TPixelFormat pf) {
    FreeHandle();
    handle_ = h;
    bits_ = bits;
    width_ = w;
    height_ = ht;
    pixelFormat_ = pf;
}

int TBitmap::BitsPerPixel() const { return BitsOf(pixelFormat_); }

int TBitmap::RowBytes() const { return ((width_ * BitsPerPixel() + 31) / 32) * 4; }

void TBitmap::Allocate(int w, int h, TPixelFormat pf, const std::vector<RGBQUAD>* pal) {
    if (pf == pfDevice || pf == pfCustom) pf = pf24bit;
    if (w <= 0 || h <= 0) {
        FreeHandle();
        width_ = height_ = 0;
        pixelFormat_ = pf;
        return;
    }
    uint8_t* bits = nullptr;
    TGdiObject<HBITMAP> hb = NewDibSection(w, h, pf, pal ? *pal : DefaultPalette(pf), bits);
    Replace(hb.Release(), bits, w, h, pf);
}

HDC TBitmap::MemDC() { return Canvas().Handle(); }

TCanvas& TBitmap::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(this);
    if (!canvas_->HandleAllocated()) canvas_->RequireState();
    return *canvas_;
}

void TBitmap::SetSize(int w, int h) {
    if (w < 0) w = 0;
    if (h < 0) h = 0;
    if (w == width_ && h == height_ && (handle_ || w == 0 || h == 0)) return;
    if (w == 0 || h == 0) {
        Allocate(w, h, pixelFormat_, nullptr);
        Changed();
        return;
    }
    std::vector<RGBQUAD> pal = Palette();
    if (pal.empty()) pal = DefaultPalette(pixelFormat_);
    // The old picture stays in place until the new one holds its content.
    uint8_t* bits = nullptr;
    TGdiObject<HBITMAP> fresh = NewDibSection(w, h, pixelFormat_, pal, bits);
    {
        TMemoryDC dc;
        TSelection sel(dc, fresh);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    if (handle_) {
        FreeCanvasDC();
        CopyPixels(fresh, handle_, std::min(w, width_), std::min(h, height_));
    }
    Replace(fresh.Release(), bits, w, h, pixelFormat_);
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
    if (pf == pfDevice || pf == pfCustom) pf = pf24bit;
    if (pf == pixelFormat_) return;
    if (!handle_) {
        pixelFormat_ = pf;
        return;
    }
    uint8_t* bits = nullptr;
    TGdiObject<HBITMAP> fresh = NewDibSection(width_, height_, pf, DefaultPalette(pf), bits);
    FreeCanvasDC();
    CopyPixels(fresh, handle_, width_, height_);
    Replace(fresh.Release(), bits, width_, height_, pf);
    Changed();
}

uint8_t* TBitmap::ScanLine(int row) {
    if (!bits_ || row < 0 || row >= height_) throw EInvalidGraphic("Scan line index out of range");
    GdiFlush();
    return bits_ + static_cast<size_t>(height_ - 1 - row) * static_cast<size_t>(RowBytes());
}

const uint8_t* TBitmap::ScanLine(int row) const { return const_cast<TBitmap*>(this)->ScanLine(row); }

TPixelView TBitmap::PixelView() {
    TPixelView v;
    const int bpp = BitsPerPixel();
    if (!bits_ || width_ <= 0 || height_ <= 0 || (bpp != 24 && bpp != 32)) return v;
    GdiFlush();
    v.Bits = bits_ + static_cast<size_t>(height_ - 1) * static_cast<size_t>(RowBytes());
    v.Width = width_;
    v.Height = height_;
    v.Stride = -static_cast<ptrdiff_t>(RowBytes());
    v.BitsPerPixel = bpp;
    return v;
}

std::vector<RGBQUAD> TBitmap::Palette() const {
    if (BitsPerPixel() > 8) return {};
    if (!handle_) return DefaultPalette(pixelFormat_);
    std::vector<RGBQUAD> pal(static_cast<size_t>(1) << BitsPerPixel());
    UINT n = GetDIBColorTable(const_cast<TBitmap*>(this)->MemDC(), 0, static_cast<UINT>(pal.size()), pal.data());
    pal.resize(n);
    return pal;
}

void TBitmap::SetPalette(const std::vector<RGBQUAD>& pal) {
    if (!handle_ || BitsPerPixel() > 8 || pal.empty()) return;
    SetDIBColorTable(MemDC(), 0, static_cast<UINT>(pal.size()), pal.data());
    Changed();
}

void TBitmap::SetHandle(HBITMAP h) {
    FreeHandle();
    width_ = height_ = 0;
    if (!h) {
        Changed();
        return;
    }
    TGdiObject<HBITMAP> given(h);
    DIBSECTION ds{};
    if (GetObjectW(h, sizeof(ds), &ds) == sizeof(ds) && ds.dsBm.bmBits) {
        TPixelFormat pf = pf32bit;
        switch (ds.dsBmih.biBitCount) {
        case 1: pf = pf1bit; break;
        case 4: pf = pf4bit; break;
        case 8: pf = pf8bit; break;
        case 16: pf = ds.dsBmih.biCompression == BI_BITFIELDS && ds.dsBitfields[1] == 0x07E0 ? pf16bit : pf15bit; break;
        case 24: pf = pf24bit; break;
        default: break;
        }
        const int w = ds.dsBm.bmWidth, ht = std::abs(ds.dsBm.bmHeight);
        if (ds.dsBm.bmHeight < 0 || ds.dsBmih.biHeight < 0) {
            // A top-down section: copy it into our bottom-up layout.
            uint8_t* bits = nullptr;
            TGdiObject<HBITMAP> fresh = NewDibSection(w, ht, pf, DefaultPalette(pf), bits);
            CopyPixels(fresh, given, w, ht);
            Replace(fresh.Release(), bits, w, ht, pf);
        } else {
            Replace(given.Release(), static_cast<uint8_t*>(ds.dsBm.bmBits), w, ht, pf);
        }
    } else {
        // A device bitmap: its pixels go into a 24-bit section.
        BITMAP bm{};
        GetObjectW(h, sizeof(bm), &bm);
        pixelFormat_ = pf24bit;
        if (bm.bmWidth > 0 && bm.bmHeight > 0) {
            uint8_t* bits = nullptr;
            TGdiObject<HBITMAP> fresh = NewDibSection(bm.bmWidth, bm.bmHeight, pf24bit, {}, bits);
            CopyPixels(fresh, given, bm.bmWidth, bm.bmHeight);
            Replace(fresh.Release(), bits, bm.bmWidth, bm.bmHeight, pf24bit);
        }
    }
    Changed();
}

HBITMAP TBitmap::ReleaseHandle() {
    FreeCanvasDC();
    HBITMAP h = handle_;
    handle_ = nullptr;
    bits_ = nullptr;
    width_ = height_ = 0;
    return h;
}

TColor TBitmap::TransparentColor() const {
    if (transparentColor_ != clDefault && transparentMode_ == tmFixed) return transparentColor_;
    if (!handle_ || width_ == 0 || height_ == 0) return clDefault;
    // The bottom-left pixel, as the class library takes it. (A bitmap is
    // selected into one DC at a time: always go through the canvas's.)
    COLORREF c = GetPixel(const_cast<TBitmap*>(this)->MemDC(), 0, height_ - 1);
    return static_cast<TColor>(c);
}

void TBitmap::SetTransparentColor(TColor c) {
    transparentColor_ = c;
    transparentMode_ = c == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) {
    if (!handle_) return;
    HDC dst = canvas.Handle();
    HDC src = MemDC();
    if (transparent_) {
        TransparentBlt(dst, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, width_, height_,
                       ColorToRGB(TransparentColor()));
    } else if (r.Width() == width_ && r.Height() == height_) {
        BitBlt(dst, r.Left, r.Top, width_, height_, src, 0, 0, SRCCOPY);
    } else {
        int oldMode = SetStretchBltMode(dst, COLORONCOLOR);
        StretchBlt(dst, r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, width_, height_, SRCCOPY);
        SetStretchBltMode(dst, oldMode);
    }
}

void TBitmap::LoadFromStream(TStream& s) {
    BITMAPFILEHEADER fh{};
    if (s.Read(&fh, sizeof(fh)) != static_cast<int64_t>(sizeof(fh)) || fh.bfType != 0x4D42)
        throw EInvalidGraphic(StdText(stInvalidGraphic));
    int64_t rest = static_cast<int64_t>(fh.bfSize) - static_cast<int64_t>(sizeof(fh));
    int64_t avail = s.Size() - s.Position();
    if (rest <= 0 || rest > avail) rest = avail;
    if (rest < static_cast<int64_t>(sizeof(BITMAPINFOHEADER))) throw EInvalidGraphic(StdText(stInvalidGraphic));
    std::vector<uint8_t> data(static_cast<size_t>(rest));
    s.ReadBuffer(data.data(), rest);
    auto* bih = reinterpret_cast<BITMAPINFOHEADER*>(data.data());
    if (bih->biSize < sizeof(BITMAPINFOHEADER) || bih->biWidth <= 0 || bih->biHeight == 0 ||
        bih->biWidth > 65535 || std::abs(bih->biHeight) > 65535)
        throw EInvalidGraphic(StdText(stInvalidGraphic));
    size_t bitsOff = fh.bfOffBits >= sizeof(fh) ? fh.bfOffBits - sizeof(fh) : 0;
    int bpp = bih->biBitCount;
    size_t stride = ((static_cast<size_t>(bih->biWidth) * static_cast<size_t>(bpp) + 31) / 32) * 4;
    if (bih->biCompression != BI_RGB && bih->biCompression != BI_BITFIELDS)
        throw EInvalidGraphic(StdText(stInvalidGraphic));
    if (bitsOff == 0 || bitsOff + stride * static_cast<size_t>(std::abs(bih->biHeight)) > data.size())
        throw EInvalidGraphic(StdText(stInvalidGraphic));
    void* bits = nullptr;
    HBITMAP h = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(data.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!h) throw EInvalidGraphic(StdText(stInvalidGraphic));
    std::memcpy(bits, data.data() + bitsOff, stride * static_cast<size_t>(std::abs(bih->biHeight)));
    SetHandle(h);
}

void TBitmap::SaveToStream(TStream& s) const {
    std::vector<RGBQUAD> pal = Palette();
    BitmapInfo bi;
    FillInfo(bi, width_, height_, pixelFormat_, pal);
    size_t infoSize = sizeof(BITMAPINFOHEADER) + (pixelFormat_ == pf16bit ? 12 : pal.size() * sizeof(RGBQUAD));
    size_t imageSize = static_cast<size_t>(RowBytes()) * static_cast<size_t>(height_);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = static_cast<DWORD>(sizeof(fh) + infoSize);
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + imageSize);
    bi.h.biSizeImage = static_cast<DWORD>(imageSize);
    s.WriteBuffer(&fh, sizeof(fh));
    s.WriteBuffer(&bi, static_cast<int64_t>(infoSize));
    if (bits_) {
        GdiFlush();
        s.WriteBuffer(bits_, static_cast<int64_t>(imageSize));
    }
}

void TBitmap::Assign(const TGraphic& source) {
    if (&source == this) return;
    if (auto* b = dynamic_cast<const TBitmap*>(&source)) {
        std::vector<RGBQUAD> pal = b->Palette();
        FreeHandle();
        width_ = height_ = 0;
        Allocate(b->width_, b->height_, b->pixelFormat_, pal.empty() ? nullptr : &pal);
        if (bits_ && b->bits_) {
            GdiFlush();
            std::memcpy(bits_, b->bits_, static_cast<size_t>(RowBytes()) * static_cast<size_t>(height_));
        }
        transparent_ = b->transparent_;
        transparentColor_ = b->transparentColor_;
        transparentMode_ = b->transparentMode_;
        Changed();
        return;
    }
    // Any other graphic: draw it onto a 24-bit bitmap of its size.
    FreeHandle();
    width_ = height_ = 0;
    Allocate(source.Width(), source.Height(), pf24bit, nullptr);
    if (handle_) {
        TCanvas& c = Canvas();
        c.Brush().SetColor(clWhite);
        c.FillRect(TRect(0, 0, width_, height_));
        const_cast<TGraphic&>(source).Draw(c, TRect(0, 0, width_, height_));
    }
    Changed();
}

void TBitmap::LoadFromResourceName(HINSTANCE inst, const std::string& name) {
    auto h = static_cast<HBITMAP>(
        LoadImageW(inst, Utf8ToWide(name).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!h) throw EResNotFound("Resource " + name + " not found");
    SetHandle(h);
}

void TBitmap::LoadFromResourceID(HINSTANCE inst, int id) {
    auto h = static_cast<HBITMAP>(LoadImageW(inst, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!h) throw EResNotFound("Resource " + std::to_string(id) + " not found");
    SetHandle(h);
}

// ---------------------------------------------------------------- TIcon

TIcon::~TIcon() {
    if (handle_) DestroyIcon(handle_);
}

void TIcon::SetHandle(HICON h) {
    if (handle_ && handle_ != h) DestroyIcon(handle_);
    handle_ = h;
    width_ = height_ = 0;
    if (h) {
        ICONINFO ii{};
        if (GetIconInfo(h, &ii)) {
            // The information comes with copies of the icon's bitmaps.
            TGdiObject<HBITMAP> color(ii.hbmColor), mask(ii.hbmMask);
            BITMAP bm{};
            GetObjectW(color ? color.Get() : mask.Get(), sizeof(bm), &bm);
            width_ = bm.bmWidth;
            height_ = color ? bm.bmHeight : bm.bmHeight / 2;
        }
    }
    Changed();
}

HICON TIcon::ReleaseHandle() {
    HICON h = handle_;
    handle_ = nullptr;
    width_ = height_ = 0;
    return h;
}

void TIcon::Draw(TCanvas& canvas, const TRect& r) {
    if (handle_) DrawIconEx(canvas.Handle(), r.Left, r.Top, handle_, r.Width(), r.Height(), 0, nullptr, DI_NORMAL);
}

void TIcon::LoadFromStream(TStream& s) {
    int64_t n = s.Size() - s.Position();
    if (n <= 6) throw EInvalidGraphic(StdText(stInvalidGraphic));
    std::vector<BYTE> data(static_cast<size_t>(n));
    s.ReadBuffer(data.data(), n);
    // An .ico file: take its first image.
    auto* dir = reinterpret_cast<const WORD*>(data.data());
    if (dir[0] != 0 || dir[1] != 1 || dir[2] == 0 || n < 22) throw EInvalidGraphic(StdText(stInvalidGraphic));
    const BYTE* e = data.data() + 6;
    DWORD size = *reinterpret_cast<const DWORD*>(e + 8);
    DWORD off = *reinterpret_cast<const DWORD*>(e + 12);
    if (static_cast<int64_t>(off) + size > n) throw EInvalidGraphic(StdText(stInvalidGraphic));
    HICON h = CreateIconFromResourceEx(data.data() + off, size, TRUE, 0x00030000, 0, 0, LR_DEFAULTCOLOR);
    if (!h) throw EInvalidGraphic(StdText(stInvalidGraphic));
    SetHandle(h);
}

void TIcon::Assign(const TGraphic& source) {
    if (auto* i = dynamic_cast<const TIcon*>(&source)) {
        SetHandle(i->handle_ ? CopyIcon(i->handle_) : nullptr);
        return;
    }
    TGraphic::Assign(source);
}

void TIcon::LoadFromResourceID(HINSTANCE inst, int id) {
    auto h = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (!h) throw EResNotFound("Resource " + std::to_string(id) + " not found");
    SetHandle(h);
}

void TIcon::LoadFromResourceName(HINSTANCE inst, const std::string& name) {
    auto h = static_cast<HICON>(LoadImageW(inst, Utf8ToWide(name).c_str(), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    if (!h) throw EResNotFound("Resource " + name + " not found");
    SetHandle(h);
}

// ---------------------------------------------------------------- TPicture

namespace {
struct FormatEntry {
    std::string description;
    TPicture::TGraphicFactory factory;
};
std::map<std::string, FormatEntry>& Formats() {
    static std::map<std::string, FormatEntry> m;
    return m;
}
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::RegisterFileFormat(const std::string& ext, const std::string& description, TGraphicFactory factory) {
    Formats()[Lower(ext)] = FormatEntry{description, std::move(factory)};
}

void TPicture::UnregisterFileFormat(const std::string& ext) { Formats().erase(Lower(ext)); }

bool TPicture::IsRegisteredFormat(const std::string& ext) {
    RegisterStandardPictureFormats();
    return Formats().count(Lower(ext)) != 0;
}

std::string TPicture::GraphicFilter() {
    RegisterStandardPictureFormats();
    std::string all, parts;
    for (auto& [ext, e] : Formats()) {
        if (!all.empty()) all += ";";
        all += "*." + ext;
        parts += "|" + e.description + " (*." + ext + ")|*." + ext;
    }
    return "All (" + all + ")|" + all + parts;
}

void TPicture::SetGraphic(TGraphic* g) {
    graphic_.reset(g);
    if (graphic_) graphic_->OnChange = [this](TObject*) { Changed(); };
    Changed();
}

TBitmap* TPicture::Bitmap() {
    auto* b = dynamic_cast<TBitmap*>(graphic_.get());
    if (!b) {
        b = new TBitmap();
        SetGraphic(b);
    }
    return b;
}

TIcon* TPicture::Icon() {
    auto* i = dynamic_cast<TIcon*>(graphic_.get());
    if (!i) {
        i = new TIcon();
        SetGraphic(i);
    }
    return i;
}

void TPicture::LoadFromFile(const std::string& fileName) {
    RegisterStandardPictureFormats();
    std::string ext = Lower(ExtractFileExt(fileName));
    if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
    auto it = Formats().find(ext);
    if (it == Formats().end()) throw EInvalidGraphic(StdText(stUnknownExtension) + " (." + ext + ")");
    std::unique_ptr<TGraphic> g(it->second.factory());
    g->LoadFromFile(fileName);
    SetGraphic(g.release());
}

void TPicture::SaveToFile(const std::string& fileName) const {
    if (graphic_) graphic_->SaveToFile(fileName);
}

void TPicture::Assign(const TPicture& other) {
    if (&other == this) return;
    if (!other.graphic_) {
        SetGraphic(nullptr);
        return;
    }
    RegisterStandardPictureFormats();
    // Same kind of graphic: a fresh one of the class, assigned.
    TGraphic* g = nullptr;
    if (dynamic_cast<const TBitmap*>(other.graphic_.get()))
        g = new TBitmap();
    else if (dynamic_cast<const TIcon*>(other.graphic_.get()))
        g = new TIcon();
    else {
        for (auto& [ext, e] : Formats()) {
            std::unique_ptr<TGraphic> probe(e.factory());
            if (probe->ClassName() == other.graphic_->ClassName()) {
                g = probe.release();
                break;
            }
        }
    }
    if (!g) g = new TBitmap();
    std::unique_ptr<TGraphic> holder(g);
    g->Assign(*other.graphic_);
    SetGraphic(holder.release());
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

} // namespace tw
