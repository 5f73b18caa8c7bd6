// Colours, fonts, pens, brushes, the canvas over a device context, and the
// pictures: TGraphic with TBitmap (a DIB section), TIcon and TPicture with
// its registry of file formats (bmp, jpeg, jpg, png).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "base/PixelView.h"
#include "ui/Types.h"

namespace tw {

class TStream;

// Colours are COLORREF values (0x00BBGGRR); system colours carry the high
// byte 0xFF and the COLOR_ index in the low byte.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                 clLtGray = 0xC0C0C0, clDkGray = 0x808080, clMoneyGreen = 0xC0DCC0, clSkyBlue = 0xF0CAA6,
                 clCream = 0xF0FBFF, clMedGray = 0xA4A0A0;
constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000);
constexpr TColor clScrollBar = clSystemColor | COLOR_SCROLLBAR, clBackground = clSystemColor | COLOR_BACKGROUND,
                 clActiveCaption = clSystemColor | COLOR_ACTIVECAPTION,
                 clInactiveCaption = clSystemColor | COLOR_INACTIVECAPTION, clMenu = clSystemColor | COLOR_MENU,
                 clWindow = clSystemColor | COLOR_WINDOW, clWindowFrame = clSystemColor | COLOR_WINDOWFRAME,
                 clMenuText = clSystemColor | COLOR_MENUTEXT, clWindowText = clSystemColor | COLOR_WINDOWTEXT,
                 clCaptionText = clSystemColor | COLOR_CAPTIONTEXT, clActiveBorder = clSystemColor | COLOR_ACTIVEBORDER,
                 clInactiveBorder = clSystemColor | COLOR_INACTIVEBORDER,
                 clAppWorkSpace = clSystemColor | COLOR_APPWORKSPACE, clHighlight = clSystemColor | COLOR_HIGHLIGHT,
                 clHighlightText = clSystemColor | COLOR_HIGHLIGHTTEXT, clBtnFace = clSystemColor | COLOR_BTNFACE,
                 clBtnShadow = clSystemColor | COLOR_BTNSHADOW, clGrayText = clSystemColor | COLOR_GRAYTEXT,
                 clBtnText = clSystemColor | COLOR_BTNTEXT,
                 clInactiveCaptionText = clSystemColor | COLOR_INACTIVECAPTIONTEXT,
                 clBtnHighlight = clSystemColor | COLOR_BTNHIGHLIGHT, cl3DDkShadow = clSystemColor | COLOR_3DDKSHADOW,
                 cl3DLight = clSystemColor | COLOR_3DLIGHT, clInfoText = clSystemColor | COLOR_INFOTEXT,
                 clInfoBk = clSystemColor | COLOR_INFOBK, clHotLight = clSystemColor | COLOR_HOTLIGHT;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Resolves system colours to their current RGB value (clNone -> black,
// clDefault -> window colour).
COLORREF ColorToRGB(TColor c);
inline TColor RGBColor(int r, int g, int b) { return static_cast<TColor>(RGB(r, g, b)); }

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;
enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Screen pixels per inch (font point sizes are converted with it).
int ScreenPixelsPerInch();

// A font description with a lazily created HFONT. Changing a property drops
// the handle and calls OnChange.
class TFont : public TObject {
public:
    TFont();
    ~TFont() override;
    const std::string& Name() const { return name_; }
    void SetName(const std::string& n);
    // Size in points; Height in pixels (negative: character height).
    int Size() const;
    void SetSize(int points);
    int Height() const { return height_; }
    void SetHeight(int h);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles s);
    BYTE Charset() const { return charset_; }
    void SetCharset(BYTE c);
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch p);
    HFONT Handle();
    void Assign(const TFont& other);
    bool SameAs(const TFont& other) const;
    std::function<void()> OnChange;

private:
    void Changed();
    std::string name_;
    int height_;
    TColor color_ = clWindowText;
    TFontStyles style_ = 0;
    BYTE charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
    HFONT handle_ = nullptr;
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmNot, pmXor, pmNotXor };

class TPen : public TObject {
public:
    ~TPen() override;
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    int Width() const { return width_; }
    void SetWidth(int w);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle s);
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode m) { mode_ = m; }
    HPEN Handle();
    void Assign(const TPen& o);

private:
    void Drop();
    TColor color_ = clBlack;
    int width_ = 1;
    TPenStyle style_ = psSolid;
    TPenMode mode_ = pmCopy;
    HPEN handle_ = nullptr;
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TObject {
public:
    ~TBrush() override;
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle s);
    HBRUSH Handle();
    void Assign(const TBrush& o);

private:
    void Drop();
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
    HBRUSH handle_ = nullptr;
};

class TGraphic;

// Drawing on a device context. The canvas selects its pen, brush and font
// into the DC before each operation, and restores the DC's original objects
// when the handle is taken away.
class TCanvas : public TObject {
public:
    TCanvas();
    ~TCanvas() override;

    HDC Handle() const { return dc_; }
    // Attaches a DC that the caller owns (SetHandle(nullptr) detaches).
    void SetHandle(HDC dc);
    bool HandleAllocated() const { return dc_ != nullptr; }

    TPen& Pen() { return pen_; }
    TBrush& Brush() { return brush_; }
    TFont& Font() { return font_; }
    TPoint PenPos() const { return penPos_; }
    void SetPenPos(TPoint p) { MoveTo(p.X, p.Y); }

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Polyline(const std::vector<TPoint>& points);
    void Polygon(const std::vector<TPoint>& points);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
    void RoundRect(int x1, int y1, int x2, int y2, int w, int h);
    void Ellipse(int x1, int y1, int x2, int y2);
    void FillRect(const TRect& r);
    void FrameRect(const TRect& r);
    void DrawFocusRect(const TRect& r);
    void TextOut(int x, int y, const std::string& text);
    // Text clipped to r, drawn at (x, y).
    void TextRect(const TRect& r, int x, int y, const std::string& text);
    // DrawTextW with the given DT_ flags; returns the text height.
    int DrawText(const std::string& text, TRect& r, UINT flags);
    SIZE TextExtent(const std::string& text);
    int TextWidth(const std::string& text) { return TextExtent(text).cx; }
    int TextHeight(const std::string& text) { return TextExtent(text).cy; }
    void Draw(int x, int y, TGraphic* graphic);
    void StretchDraw(const TRect& r, TGraphic* graphic);
    // Copies from another canvas (BitBlt / StretchBlt with SRCCOPY).
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& src);
    TColor Pixels(int x, int y);
    void SetPixel(int x, int y, TColor c);

    // Selects the canvas objects into the DC (done by every drawing call).
    void RequireState();
    std::function<void()> OnChange;

protected:
    // Derived canvases (of a control, of a bitmap) create their DC here.
    virtual void CreateHandle() {}
    void EnsureHandle();
    void DeselectObjects();

    HDC dc_ = nullptr;

private:
    TPen pen_;
    TBrush brush_;
    TFont font_;
    TPoint penPos_;
    HGDIOBJ oldPen_ = nullptr, oldBrush_ = nullptr, oldFont_ = nullptr;
};

// A picture of any kind: bitmap, icon, JPEG, PNG.
class TGraphic : public TObject {
public:
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    virtual void Draw(TCanvas& canvas, const TRect& r) = 0;
    virtual void LoadFromStream(TStream& s) = 0;
    virtual void SaveToStream(TStream& s) const;
    virtual void Assign(const TGraphic& source);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool t);
    std::function<void(TObject*)> OnChange;

protected:
    void Changed();
    bool transparent_ = false;
};

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TTransparentMode { tmAuto, tmFixed };

// A device-independent bitmap (DIB section). Rows are stored bottom-up as
// the platform keeps them; ScanLine(row) hides that and returns the row's
// first byte, so ScanLine(0) is the top row. Rows are padded to 4 bytes.
class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height, TPixelFormat pf = pf24bit);
    ~TBitmap() override;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Empty() const override { return width_ == 0 || height_ == 0; }
    void SetWidth(int w) { SetSize(w, height_); }
    void SetHeight(int h) { SetSize(width_, h); }
    // Resizing keeps the overlapping part of the content; new area is white.
    void SetSize(int w, int h);
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // Changing the format converts the content.
    void SetPixelFormat(TPixelFormat pf);
    int BitsPerPixel() const;
    // Bytes per row, padded to a multiple of 4.
    int RowBytes() const;
    uint8_t* ScanLine(int row);
    const uint8_t* ScanLine(int row) const;
    // The DIB section as the skin engine's pixel view (top row first, negative
    // stride); empty unless the bitmap is 24 or 32 bits.
    TPixelView PixelView();

    HBITMAP Handle() const { return handle_; }
    // Takes ownership of a DIB section or device bitmap (converted to a DIB).
    void SetHandle(HBITMAP h);
    // Gives up the handle; the bitmap becomes empty.
    HBITMAP ReleaseHandle();
    TCanvas& Canvas();

    TColor TransparentColor() const;
    void SetTransparentColor(TColor c);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode m) { transparentMode_ = m; }

    void Draw(TCanvas& canvas, const TRect& r) override;
    void LoadFromStream(TStream& s) override; // BMP file format
    void SaveToStream(TStream& s) const override;
    void Assign(const TGraphic& source) override;
    void LoadFromResourceName(HINSTANCE inst, const std::string& name);
    void LoadFromResourceID(HINSTANCE inst, int id);
    // Copies the 32-bit pixels of another graphic by drawing it.
    void Dormant() {}
    void FreeImage() {}

    // The palette of the 1/4/8-bit formats (grey ramp for 1 bit, the 16
    // standard colours, a 6x6x6 cube plus greys for 8 bits).
    std::vector<RGBQUAD> Palette() const;
    void SetPalette(const std::vector<RGBQUAD>& pal);

private:
    friend class TBitmapCanvas;
    void Allocate(int w, int h, TPixelFormat pf, const std::vector<RGBQUAD>* pal);
    // Frees the current section and takes this one in its place.
    void Replace(HBITMAP h, uint8_t* bits, int w, int ht, TPixelFormat pf);
    void FreeCanvasDC();
    void FreeHandle();
    HDC MemDC();
    HBITMAP handle_ = nullptr;
    uint8_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
    TPixelFormat pixelFormat_ = pf24bit;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
    std::unique_ptr<TCanvas> canvas_;
};

// An icon (HICON), owned.
class TIcon : public TGraphic {
public:
    ~TIcon() override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    bool Empty() const override { return handle_ == nullptr; }
    HICON Handle() const { return handle_; }
    void SetHandle(HICON h);
    HICON ReleaseHandle();
    void Draw(TCanvas& canvas, const TRect& r) override;
    void LoadFromStream(TStream& s) override;
    void Assign(const TGraphic& source) override;
    void LoadFromResourceID(HINSTANCE inst, int id);
    void LoadFromResourceName(HINSTANCE inst, const std::string& name);

private:
    HICON handle_ = nullptr;
    int width_ = 0, height_ = 0;
};

// Holds one graphic of any registered format; loads files by extension.
class TPicture : public TObject {
public:
    using TGraphicFactory = std::function<TGraphic*()>;
    TPicture();
    ~TPicture() override;
    TGraphic* Graphic() const { return graphic_.get(); }
    // Takes ownership; nullptr clears.
    void SetGraphic(TGraphic* g);
    // The graphic as a bitmap: replaces a graphic of another kind by an
    // empty bitmap (as the class library does).
    TBitmap* Bitmap();
    TIcon* Icon();
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName) const;
    void Assign(const TPicture& other);
    void Clear() { SetGraphic(nullptr); }
    std::function<void(TObject*)> OnChange;

    // The file-format registry: extension without dot, lower case.
    static void RegisterFileFormat(const std::string& ext, const std::string& description, TGraphicFactory factory);
    static void UnregisterFileFormat(const std::string& ext);
    static bool IsRegisteredFormat(const std::string& ext);
    // "All (*.bmp;*.jpg...)|...|Bitmaps (*.bmp)|*.bmp|..."
    static std::string GraphicFilter();

private:
    void Changed();
    std::unique_ptr<TGraphic> graphic_;
};

// Registers bmp, jpeg, jpg and png (idempotent; called by the application's
// initialisation and by the picture registry on first use).
void RegisterStandardPictureFormats();

} // namespace tw
