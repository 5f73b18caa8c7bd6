#pragma once
// A short text with a little HTML markup, drawn line by line from a starting
// point: B, I, FONT (SIZE, COLOR, FACE), BR and P change the font or break
// the line, "<<" shows one "<", everything else is plain text. The skinned
// hint windows draw a hint with it once to learn its size and once to show
// it. The scanning is portable and draws through a small surface; TsHtml
// puts it on a bitmap's canvas on Windows.
#include <memory>
#include <string>
#include <vector>

#include "skin/engine/common/SkinUtils.h"

#ifdef _WIN32
namespace tw {
class TBitmap;
}
#endif

namespace skin {

struct THtmlFont {
    std::string Name;
    int Size = 8;
    TColor Color = 0;
    bool Bold = false, Italic = false;
};

// What the renderer draws on: a font it changes and text it measures and
// draws in that font.
class THtmlSurface {
public:
    virtual ~THtmlSurface() = default;
    virtual THtmlFont Font() const = 0;
    virtual void SetFont(const THtmlFont& font) = 0;
    virtual void TextOut(int x, int y, const std::string& text) = 0;
    virtual int TextWidth(const std::string& text) = 0;
    virtual int TextHeight(const std::string& text) = 0;
};

// The colour of a COLOR attribute: a name of the table, or RRGGBB in hex
// with or without "#". Unknown text gives black, as hex 0 does.
TColor HtmlColor(const std::string& upperValue);

class THtmlRenderer {
public:
    void Init(THtmlSurface* surface, const std::string& text, const TRect& bounds);
    // Draws the text; the rectangle covers every line drawn, from the
    // surface's origin (so it includes the left and top of the bounds).
    TRect Render();

    // Paragraph alignment of the last P tag (0 left, 1 right, 2 centre).
    // Recorded only: every line starts at the left of the bounds.
    int Alignment() const { return alignment_; }

private:
    void DrawRun(size_t from, size_t to);
    void NewLine();
    void HandleTag(const std::string& tag);
    void ApplyFontAttributes(const std::string& tag);
    void ReadAlignment(const std::string& tag);

    THtmlSurface* surface_ = nullptr;
    std::string text_, upper_;
    std::vector<THtmlFont> fontStack_;
    TRect bounds_;
    int penX_ = 0, penY_ = 0, maxWidth_ = 0, bottom_ = 0, lineEnd_ = 0, lineHeight_ = 0;
    int alignment_ = 0;
};

#ifdef _WIN32
// The renderer on a bitmap's canvas; font changes stay on the canvas.
class TsHtml {
public:
    TsHtml();
    ~TsHtml();
    void Init(tw::TBitmap* bitmap, const std::string& text, const TRect& rect);
    TRect Render();

private:
    std::unique_ptr<THtmlSurface> surface_;
    THtmlRenderer renderer_;
};
#endif

} // namespace skin
