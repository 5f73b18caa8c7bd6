#include "skin/engine/painting/sHtmlParse.h"
#include "ui/Graphics.h"

namespace skin {

namespace {

// The renderer's font is the canvas font itself: what the markup changes
// stays on the canvas after drawing.
class TCanvasSurface : public THtmlSurface {
public:
    explicit TCanvasSurface(tw::TCanvas& canvas) : canvas_(canvas) {}
    THtmlFont Font() const override
    {
        const tw::TFont& f = canvas_.Font();
        THtmlFont out;
        out.Name = f.Name();
        out.Size = f.Size();
        out.Color = static_cast<TColor>(f.Color());
        out.Bold = (f.Style() & tw::fsBold) != 0;
        out.Italic = (f.Style() & tw::fsItalic) != 0;
        return out;
    }
    void SetFont(const THtmlFont& font) override
    {
        tw::TFont& f = canvas_.Font();
        if (!font.Name.empty() && font.Name != f.Name())
            f.SetName(font.Name);
        if (font.Size != f.Size())
            f.SetSize(font.Size);
        f.SetColor(static_cast<tw::TColor>(font.Color));
        tw::TFontStyles style = f.Style() & ~tw::TFontStyles(tw::fsBold | tw::fsItalic);
        if (font.Bold)
            style |= tw::fsBold;
        if (font.Italic)
            style |= tw::fsItalic;
        f.SetStyle(style);
    }
    void TextOut(int x, int y, const std::string& text) override { canvas_.TextOut(x, y, text); }
    int TextWidth(const std::string& text) override { return canvas_.TextWidth(text); }
    int TextHeight(const std::string& text) override { return canvas_.TextHeight(text); }

private:
    tw::TCanvas& canvas_;
};

} // namespace

TsHtml::TsHtml() = default;
TsHtml::~TsHtml() = default;

void TsHtml::Init(tw::TBitmap* bitmap, const std::string& text, const TRect& rect)
{
    surface_ = bitmap ? std::make_unique<TCanvasSurface>(bitmap->Canvas()) : nullptr;
    renderer_.Init(surface_.get(), text, rect);
}

TRect TsHtml::Render() { return renderer_.Render(); }

} // namespace skin
