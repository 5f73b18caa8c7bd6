#include "skin/engine/painting/sHtmlParse.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/SysUtils.h"

namespace skin {

namespace {

struct TNamedColor {
    const char* Name;
    TColor Color;
};

constexpr TNamedColor kNamedColors[] = {
    {"AQUA", 0xFFFF00},   {"BLACK", 0x000000}, {"BLUE", 0xFF0000},   {"FUCHSIA", 0xFF00FF},
    {"GRAY", 0x808080},   {"GREEN", 0x008000}, {"LIME", 0x00FF00},   {"MAROON", 0x000080},
    {"NAVY", 0x800000},   {"OLIVE", 0x008080}, {"PURPLE", 0x800080}, {"RED", 0x0000FF},
    {"SILVER", 0xC0C0C0}, {"TEAL", 0x808000}, {"WHITE", 0xFFFFFF},  {"YELLOW", 0x00FFFF},
};

const TCharSet& AttributeSeparators()
{
    static const TCharSet set("\n\r \"<=>");
    return set;
}

// The words of a tag, cut at the attribute separators, in one walk: a hint
// text may hold a tag of any length, and looking each word up from the
// start again would take time by the square of it.
std::vector<std::string> TagWords(const std::string& tag)
{
    const TCharSet& sep = AttributeSeparators();
    std::vector<std::string> words;
    size_t i = 0;
    while (i < tag.size()) {
        while (i < tag.size() && sep.Has(tag[i])) ++i;
        const size_t start = i;
        while (i < tag.size() && !sep.Has(tag[i])) ++i;
        if (i > start) words.push_back(tag.substr(start, i - start));
    }
    return words;
}

// Only ASCII letters change, so positions in the upper-case copy are the
// positions in the text (tags and attribute names are ASCII).
std::string AsciiUpper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool At(const std::string& s, size_t pos, const char* word)
{
    return s.compare(pos, std::strlen(word), word) == 0;
}

// Positions grow by the sizes of what was drawn; a font as large as a tag
// may ask for keeps them at the 32-bit limit instead of wrapping.
int Sum(int a, int b) { return static_cast<int>(std::clamp<int64_t>(int64_t(a) + b, INT_MIN, INT_MAX)); }

} // namespace

TColor HtmlColor(const std::string& value)
{
    std::string hex = value;
    if (!hex.empty() && hex[0] == '#') {
        hex.erase(0, 1);
    } else {
        for (const TNamedColor& c : kNamedColors)
            if (value == c.Name)
                return c.Color;
    }
    // RRGGBB as written; a colour value holds blue in the high byte.
    const auto rgb = static_cast<uint32_t>(HexToInt64(hex)) & 0xFFFFFF;
    return static_cast<TColor>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16));
}

void THtmlRenderer::Init(THtmlSurface* surface, const std::string& text, const TRect& bounds)
{
    surface_ = surface;
    text_ = text;
    upper_ = AsciiUpper(text);
    bounds_ = bounds;
    penX_ = bounds.Left;
    penY_ = bounds.Top;
    maxWidth_ = bottom_ = lineEnd_ = lineHeight_ = 0;
    alignment_ = 0;
    fontStack_.clear();
}

void THtmlRenderer::DrawRun(size_t from, size_t to)
{
    std::string run;
    for (size_t i = from; i < to && i < text_.size(); ++i)
        if (text_[i] != '\n' && text_[i] != '\r')
            run += text_[i];
    if (run.empty())
        return;
    surface_->TextOut(penX_, penY_, run);
    penX_ = Sum(penX_, surface_->TextWidth(run));
    lineEnd_ = penX_;
    lineHeight_ = std::max(lineHeight_, surface_->TextHeight("X"));
}

void THtmlRenderer::NewLine()
{
    penX_ = bounds_.Left;
    penY_ = Sum(Sum(penY_, lineHeight_), 2);
    maxWidth_ = std::max(maxWidth_, lineEnd_);
    lineEnd_ = 0;
    lineHeight_ = 0;
}

TRect THtmlRenderer::Render()
{
    if (!surface_)
        return TRect();
    const size_t n = upper_.size();
    size_t start = 0, i = 0;
    while (i < n) {
        if (upper_[i] != '<') {
            ++i;
            continue;
        }
        if (i + 1 < n && upper_[i + 1] == '<') {
            DrawRun(start, i);
            start = i + 1; // the second "<" begins the next run
            i += 2;
            continue;
        }
        DrawRun(start, i);
        const size_t close = upper_.find('>', i);
        if (close == std::string::npos) {
            // An unclosed tag ends the text; what came before still counts.
            start = n;
            break;
        }
        HandleTag(upper_.substr(i, close - i + 1));
        start = i = close + 1;
    }
    DrawRun(start, n);
    maxWidth_ = std::max(maxWidth_, lineEnd_);
    lineEnd_ = 0;
    bottom_ = Sum(penY_, lineHeight_);
    return TRect(0, 0, maxWidth_, bottom_);
}

void THtmlRenderer::HandleTag(const std::string& tag)
{
    // Only the first letters count: any tag beginning with B, I or P acts as
    // one ("BR" excepted).
    if (At(tag, 1, "/")) {
        THtmlFont font = surface_->Font();
        if (At(tag, 2, "B")) {
            font.Bold = false;
            surface_->SetFont(font);
        } else if (At(tag, 2, "I")) {
            font.Italic = false;
            surface_->SetFont(font);
        } else if (At(tag, 2, "FONT") && !fontStack_.empty()) {
            surface_->SetFont(fontStack_.back());
            fontStack_.pop_back();
        }
        return;
    }
    if (At(tag, 1, "BR")) {
        NewLine();
    } else if (At(tag, 1, "B")) {
        THtmlFont font = surface_->Font();
        font.Bold = true;
        surface_->SetFont(font);
    } else if (At(tag, 1, "I")) {
        THtmlFont font = surface_->Font();
        font.Italic = true;
        surface_->SetFont(font);
    } else if (At(tag, 1, "P")) {
        NewLine();
        ReadAlignment(tag);
    } else if (At(tag, 1, "FONT")) {
        fontStack_.push_back(surface_->Font());
        ApplyFontAttributes(tag);
    }
}

void THtmlRenderer::ApplyFontAttributes(const std::string& tag)
{
    THtmlFont font = surface_->Font();
    // Every word is looked at; the last one's value is the empty word.
    const std::vector<std::string> words = TagWords(tag);
    for (size_t w = 0; w < words.size(); ++w) {
        const std::string& name = words[w];
        const std::string value = w + 1 < words.size() ? words[w + 1] : std::string();
        if (name == "SIZE") {
            // "-" and "+" change the size by the number after them, anything
            // else is the size; what is no number raises the conversion
            // error, as the class library's does. The sum is kept within
            // the size's 32-bit range rather than wrapping.
            const bool relative = !value.empty() && (value[0] == '-' || value[0] == '+');
            const int64_t number = tw::StrToInt(relative ? value.substr(1) : value);
            const int64_t size = !relative ? number : value[0] == '-' ? int64_t(font.Size) - number
                                                                      : int64_t(font.Size) + number;
            font.Size = static_cast<int>(std::clamp<int64_t>(size, INT_MIN, INT_MAX));
        } else if (name == "COLOR") {
            font.Color = HtmlColor(value);
        }
    }
    // The face is the quoted text after FACE (upper case, as the tag is).
    const size_t face = tag.find("FACE");
    if (face != std::string::npos) {
        const size_t open = tag.find('"', face);
        const size_t close = open == std::string::npos ? open : tag.find('"', open + 1);
        if (close != std::string::npos && close > open + 1)
            font.Name = tag.substr(open + 1, close - open - 1);
    }
    surface_->SetFont(font);
}

void THtmlRenderer::ReadAlignment(const std::string& tag)
{
    const std::vector<std::string> words = TagWords(tag);
    for (size_t w = 0; w + 1 < words.size(); ++w) {
        if (words[w] != "ALIGN")
            continue;
        const std::string& value = words[w + 1];
        if (value == "LEFT")
            alignment_ = 0;
        else if (value == "RIGHT")
            alignment_ = 1;
        else if (value == "CENTER")
            alignment_ = 2;
    }
}

} // namespace skin
