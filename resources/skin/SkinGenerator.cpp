// Makes Tarnwick's own skin: draws every picture in code, writes the options
// text and packs both into a skin archive ("ASzf": count, then per file its
// name length, name, unpacked size and one zlib stream). Also writes the two
// shadow pictures of extended form borders, and previews to look at.
//   tarnwick-skingen <output folder> [--preview]
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Canvas.h"

using namespace skingen;

namespace {

// The colours of the analysis step panels: dark slate, light grey text, one
// blue accent for hot and pressed.
const Rgb kForm{43, 48, 59};
const Rgb kPanel{50, 56, 68};
const Rgb kPanelLow{36, 40, 50};
const Rgb kControl{60, 67, 80};
const Rgb kEdit{30, 34, 42};
const Rgb kBorder{82, 90, 106};
const Rgb kText{216, 220, 227};
const Rgb kTextDim{136, 143, 156};
const Rgb kAccent{74, 144, 217};
const Rgb kTitle{32, 36, 45};
const Rgb kHot = Mix(kControl, kAccent, 0.28);
const Rgb kPressed = Mix(kControl, kAccent, 0.6);
const Rgb kWhite{255, 255, 255};

// ---- the options text, sections and keys in the order written ----
struct Options {
    std::vector<std::pair<std::string, std::vector<std::string>>> sections;
    void Set(const std::string& section, const std::string& line)
    {
        for (auto& s : sections)
            if (s.first == section) {
                s.second.push_back(line);
                return;
            }
        sections.push_back({section, {line}});
    }
    std::string Text() const
    {
        std::string t = "; Tarnwick's own skin, made by resources/skin/SkinGenerator.cpp\r\n";
        for (const auto& s : sections) {
            t += "[" + s.first + "]\r\n";
            for (const auto& l : s.second) t += l + "\r\n";
        }
        return t;
    }
};

// ---- pictures cut from the master bitmap ----
struct Piece {
    std::string Section, Key;
    Canvas Pic;
    // Completes the value from the picture's place in the master bitmap.
    std::function<std::string(int x, int y, int w, int h)> Value;
};

std::string Num(int v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", digits, v);
    return buf;
}

std::string Rect4(char c, int x, int y, int w, int h)
{
    return std::string(1, c) + Num(x, 4) + c + Num(y, 4) + c + Num(x + w, 4) + c + Num(y + h, 4);
}

// A layer (alpha = coverage) as the master bitmap wants it: MaskType 0 gives
// key-coloured transparency, MaskType 1 the colour above and its weights
// below (255 shows the background).
Canvas KeyPicture(const Canvas& layer)
{
    Canvas out(layer.W(), layer.H(), kKey, 0);
    for (int y = 0; y < layer.H(); ++y)
        for (int x = 0; x < layer.W(); ++x)
            if (layer.AlphaAt(x, y) >= 128) out.Set(x, y, layer.Get(x, y));
    return out;
}

Canvas BandPicture(const Canvas& layer)
{
    Canvas out(layer.W(), layer.H() * 2, kKey, 0);
    for (int y = 0; y < layer.H(); ++y)
        for (int x = 0; x < layer.W(); ++x) {
            const uint8_t a = layer.AlphaAt(x, y);
            if (a > 0) out.Set(x, y, layer.Get(x, y));
            const uint8_t m = uint8_t(255 - a);
            out.Set(x, y + layer.H(), {m, m, m});
        }
    return out;
}

struct StateLook {
    Rgb Fill, Border;
};

// Three state frames (normal, hot, pressed) of a rounded frame.
Canvas FrameLayer(int fw, int fh, int radius, const StateLook (&looks)[3], int frames = 3)
{
    Canvas layer(fw * frames, fh, {}, 0);
    for (int i = 0; i < frames; ++i) {
        Canvas f(fw, fh, {}, 0);
        f.RoundRect(0, 0, fw, fh, radius, looks[i].Fill, looks[i].Border);
        layer.Blit(f, i * fw, 0);
    }
    return layer;
}

struct Skin {
    Options opt;
    std::vector<Piece> pieces;
    std::map<std::string, std::vector<uint8_t>> files;

    // "^" border: ImageCount frames, piece widths w, mask type, stretch mode.
    void Border(const std::string& section, const std::string& key, const Canvas& layer, int frames, int w, int maskType,
                int stretch)
    {
        Canvas pic = maskType ? BandPicture(layer) : KeyPicture(layer);
        pieces.push_back({section, key, pic, [=](int x, int y, int pw, int ph) {
                              return Rect4('^', x, y, pw, ph) + "^" + Num(w, 4) + "^" + Num(w, 4) + "^" + Num(w, 4) +
                                     "^" + Num(w, 4) + "^" + std::to_string(frames) + "^" + std::to_string(maskType) +
                                     "^" + std::to_string(stretch) + "^0";
                          }});
    }
    // "@" glyph of ImageCount frames.
    void Glyph(const std::string& section, const std::string& key, const Canvas& layer, int frames, int maskType)
    {
        Canvas pic = maskType ? BandPicture(layer) : KeyPicture(layer);
        pieces.push_back({section, key, pic, [=](int x, int y, int pw, int ph) {
                              return Rect4('@', x, y, pw, ph) + "@" + std::to_string(frames) + "@" + std::to_string(maskType);
                          }});
    }
    // "~" texture tile with its weights below (mask type 1).
    void Texture(const std::string& section, const std::string& key, const Canvas& tile, int mode)
    {
        pieces.push_back({section, key, BandPicture(tile), [=](int x, int y, int pw, int ph) {
                              return Rect4('~', x, y, pw, ph) + "~" + Num(mode, 2) + "~1";
                          }});
    }

    // A rectangle of the master bitmap written in the "#" form.
    void RectForm(const std::string& section, const std::string& key, const Canvas& layer, int frames)
    {
        pieces.push_back({section, key, KeyPicture(layer), [=](int x, int y, int pw, int ph) {
                              return "GRIP# (" + std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(x + pw) +
                                     "," + std::to_string(y + ph) + ") (" + std::to_string(frames) + ",0,2,1)";
                          }});
    }

    Canvas Master(Options& o)
    {
        // Shelves of pieces, 512 wide, a key-coloured gap of 2 between them.
        const int width = 512, gap = 2;
        int x = 0, y = 0, rowH = 0;
        std::vector<std::pair<int, int>> at;
        for (const Piece& p : pieces) {
            if (x + p.Pic.W() > width) {
                x = 0;
                y += rowH + gap;
                rowH = 0;
            }
            at.push_back({x, y});
            x += p.Pic.W() + gap;
            rowH = std::max(rowH, p.Pic.H());
        }
        Canvas master(width, y + rowH, kKey, 0);
        for (size_t i = 0; i < pieces.size(); ++i) {
            const Piece& p = pieces[i];
            master.Blit(p.Pic, at[i].first, at[i].second);
            o.Set(p.Section, p.Key + "=" + p.Value(at[i].first, at[i].second, p.Pic.W(), p.Pic.H()));
        }
        return master;
    }
};

StateLook L(Rgb fill, Rgb border) { return {fill, border}; }

// Caption-button symbols, drawn into a w x h frame.
void CloseSymbol(Canvas& c, int x, int w, int h, Rgb col)
{
    const double m = w / 2.0, n = h / 2.0, s = std::min(w, h) * 0.22;
    c.Line(x + m - s, n - s, x + m + s, n + s, 1.4, col);
    c.Line(x + m - s, n + s, x + m + s, n - s, 1.4, col);
}
void MaxSymbol(Canvas& c, int x, int w, int h, Rgb col)
{
    const int s = int(std::min(w, h) * 0.22 + 0.5), l = x + w / 2 - s, t = h / 2 - s;
    c.RoundRect(l, t, 2 * s + 1, 2 * s + 1, 0, {}, col);
    for (int i = l; i <= l + 2 * s; ++i) c.Blend(i, t + 1, col, 1);
    for (int i = l + 1; i < l + 2 * s; ++i)
        for (int j = t + 2; j < t + 2 * s; ++j) c.Set(i, j, {}, 0);
}
void MinSymbol(Canvas& c, int x, int w, int h, Rgb col)
{
    const int s = int(std::min(w, h) * 0.22 + 0.5);
    for (int i = x + w / 2 - s; i <= x + w / 2 + s; ++i) c.Blend(i, h / 2 + s - 1, col, 1), c.Blend(i, h / 2 + s, col, 1);
}
void NormSymbol(Canvas& c, int x, int w, int h, Rgb col)
{
    const int s = int(std::min(w, h) * 0.18 + 0.5), l = x + w / 2 - s, t = h / 2 - s + 1;
    auto box = [&](int bl, int bt) {
        for (int i = bl; i <= bl + 2 * s - 1; ++i) c.Blend(i, bt, col, 1), c.Blend(i, bt + 2 * s - 1, col, 1);
        for (int j = bt; j <= bt + 2 * s - 1; ++j) c.Blend(bl, j, col, 1), c.Blend(bl + 2 * s - 1, j, col, 1);
    };
    box(l + 2, t - 2);
    for (int i = l; i <= l + 2 * s - 1; ++i)
        for (int j = t; j <= t + 2 * s - 1; ++j) c.Set(i, j, {}, 0);
    box(l, t);
}
void HelpSymbol(Canvas& c, int x, int w, int h, Rgb col)
{
    const double m = x + w / 2.0, n = h / 2.0, s = std::min(w, h) * 0.2;
    c.Line(m - s, n - s * 0.8, m - s * 0.4, n - s * 1.3, 1.3, col);
    c.Line(m - s * 0.4, n - s * 1.3, m + s * 0.6, n - s * 1.2, 1.3, col);
    c.Line(m + s * 0.6, n - s * 1.2, m + s * 0.7, n - s * 0.3, 1.3, col);
    c.Line(m + s * 0.7, n - s * 0.3, m, n + s * 0.2, 1.3, col);
    c.Line(m, n + s * 0.2, m, n + s * 0.5, 1.3, col);
    c.Disc(m, n + s * 1.2, 0.9, col);
}

using Symbol = void (*)(Canvas&, int, int, int, Rgb);

// Three frames of a caption button: plain symbol, on a soft hot plate, on the accent.
Canvas CaptionButton(int w, int h, Symbol sym, bool danger)
{
    Canvas c(w * 3, h, {}, 0);
    const Rgb hotPlate = danger ? Rgb{196, 64, 64} : Mix(kTitle, kAccent, 0.45);
    const Rgb downPlate = danger ? Rgb{160, 44, 44} : kAccent;
    c.RoundRect(w, 0, w, h, 3, hotPlate, hotPlate);
    c.RoundRect(2 * w, 0, w, h, 3, downPlate, downPlate);
    sym(c, 0, w, h, kText);
    sym(c, w, w, h, kWhite);
    sym(c, 2 * w, w, h, kWhite);
    return c;
}

// Each square frame of a strip turned by 90 degrees.
Canvas RotateFrames(const Canvas& strip, int frames)
{
    const int s = strip.W() / frames;
    Canvas out(strip.W(), strip.H(), {}, 0);
    for (int f = 0; f < frames; ++f)
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) out.Set(f * s + (s - 1 - y), x, strip.Get(f * s + x, y), strip.AlphaAt(f * s + x, y));
    return out;
}

Canvas Arrow(int w, int h, int dir, int frames)   // 0 up, 1 down, 2 left, 3 right
{
    Canvas c(w * frames, h, {}, 0);
    const Rgb cols[3] = {kTextDim, kText, kWhite};
    for (int f = 0; f < frames; ++f) {
        const double cx = f * w + w / 2.0, cy = h / 2.0, s = std::min(w, h) * 0.2;
        double ax = 0, ay = -s, bx = -s * 1.6, by = s * 0.6, dx = s * 1.6, dy = s * 0.6;   // pointing up
        auto turn = [&](double& x, double& y) {
            const double ox = x, oy = y;
            if (dir == 1) x = ox, y = -oy;
            if (dir == 2) x = oy, y = ox;
            if (dir == 3) x = -oy, y = ox;
        };
        turn(ax, ay), turn(bx, by), turn(dx, dy);
        c.Line(cx + bx, cy + by, cx + ax, cy + ay, 1.5, cols[f]);
        c.Line(cx + ax, cy + ay, cx + dx, cy + dy, 1.5, cols[f]);
    }
    return c;
}

// Check box, radio and small check frames: normal, hot, pressed.
Canvas CheckBox(int s, int kind, bool radio)   // kind 0 unchecked, 1 checked, 2 grayed
{
    Canvas c(s * 3, s, {}, 0);
    const StateLook looks[3] = {L(kEdit, kBorder), L(kEdit, kAccent), L(Mix(kEdit, kAccent, 0.3), kAccent)};
    for (int f = 0; f < 3; ++f) {
        Canvas b(s, s, {}, 0);
        b.RoundRect(0, 0, s, s, radio ? s / 2 : 2, looks[f].Fill, looks[f].Border);
        const Rgb mark = kind == 2 ? kTextDim : (f == 0 ? kText : kWhite);
        if (kind == 1 && radio) b.Disc(s / 2.0, s / 2.0, s * 0.2, mark);
        if (kind == 1 && !radio) {
            b.Line(s * 0.25, s * 0.52, s * 0.43, s * 0.7, 1.6, mark);
            b.Line(s * 0.43, s * 0.7, s * 0.76, s * 0.3, 1.6, mark);
        }
        if (kind == 2) {
            if (radio)
                b.Disc(s / 2.0, s / 2.0, s * 0.18, mark);
            else
                b.Line(s * 0.28, s / 2.0, s * 0.72, s / 2.0, 1.8, mark);
        }
        c.Blit(b, f * s, 0);
    }
    return c;
}

// A soft shadow around a window: transparent inside, darker towards the frame.
Canvas Shadow(bool active)
{
    const int w = 64, h = 64, l = 11, t = 7, r = 11, b = 11;
    Canvas c(w, h, {}, 0);
    const double strength = active ? 0.45 : 0.25;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = std::max({double(l - x), double(x - (w - 1 - r)), 0.0});
            const double dy = std::max({double(t - y) * 1.4, double(y - (h - 1 - b)), 0.0});
            const double d = std::hypot(dx, dy);
            const bool inside = x >= l && x < w - r && y >= t && y < h - b;
            if (inside) continue;
            const double a = strength * std::exp(-d * d / 30.0);
            c.Set(x, y, {0, 0, 0}, uint8_t(std::lround(a * 255)));
        }
    return c;
}

Canvas GlowPicture(int w, int h, int m, Rgb col)
{
    // A halo m pixels wide around a rounded body, fading outwards.
    Canvas c(w, h, {}, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = std::max({double(m - x), double(x - (w - 1 - m)), 0.0});
            const double dy = std::max({double(m - y), double(y - (h - 1 - m)), 0.0});
            const double d = std::hypot(dx, dy);
            if (d == 0) continue;
            const double a = std::max(0.0, 1 - d / m);
            c.Set(x, y, col, uint8_t(std::lround(a * a * 150)));
        }
    return c;
}

Canvas SlateTexture(int w, int h, unsigned seed)
{
    // Fine grain on the form colour (tiles seamlessly: periodic noise). The
    // sections lay it under their colour at a small share (IMAGEPERCENT), so
    // the grain itself is strong: at 18 % it still shows, calmly.
    Canvas c(w, h, kForm);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245u + 12345u;
            const double n = ((seed >> 16) & 0xFF) / 255.0 - 0.5;
            const double wave = 0.5 * std::sin(2 * M_PI * y / h * 3) * std::sin(2 * M_PI * x / w * 2);
            c.Set(x, y, Mix(kForm, n + wave * 0.3 > 0 ? Rgb{96, 104, 120} : Rgb{20, 23, 29}, std::fabs(n) * 1.5));
        }
    return c;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// The archive: "ASzf", the entry count, then per entry the name's length,
// the name, the unpacked size and the data as one zlib stream.
std::vector<uint8_t> Pack(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries)
{
    std::vector<uint8_t> out = {'A', 'S', 'z', 'f'};
    Put32(out, uint32_t(entries.size()));
    for (const auto& [name, data] : entries) {
        Put32(out, uint32_t(name.size()));
        out.insert(out.end(), name.begin(), name.end());
        Put32(out, uint32_t(data.size()));
        uLongf size = compressBound(uLong(data.size()));
        std::vector<uint8_t> z(size);
        if (compress2(z.data(), &size, data.data(), uLong(data.size()), Z_BEST_COMPRESSION) != Z_OK)
            throw std::runtime_error("zlib failed on " + name);
        out.insert(out.end(), z.begin(), z.begin() + long(size));
    }
    return out;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::cerr << "usage: tarnwick-skingen <output folder> [--preview]\n";
        return 2;
    }
    const std::string out = std::string(argv[1]) + "/";
    const bool preview = argc > 2 && std::string(argv[2]) == "--preview";
    try {
        Skin s;
        Options& o = s.opt;
        o.Set("GLOBALINFO", "VERSION=1.0");
        o.Set("GLOBALINFO", "AUTHOR=Tarnwick");
        o.Set("GLOBALINFO", "DESCRIPTION=Calm dark slate with one blue accent");
        o.Set("GLOBALINFO", "MASTERBITMAP=MASTER.BMP");
        for (const char* l : {"BORDERWIDTH=4", "TITLEHEIGHT=26", "MAXHEIGHT=24", "FORMOFFSET=4", "CENTEROFFSET=0",
                              "BORDERMODE=0", "SHADOW1OFFSET=0", "SHADOW1BLUR=-1", "SHADOW1TRANSPARENCY=0", "BISPACE=2",
                              "BIVALIGN=0", "BIRIGHT=4", "BILEFT=6", "BIKEEPHUE=0", "BICONCLOSEGLOW=6",
                              "BICONCLOSEGLOWMARGIN=3", "BICONMAXGLOW=0", "BICONMAXGLOWMARGIN=0", "BICONMINGLOW=0",
                              "BICONMINGLOWMARGIN=0"})
            o.Set("GLOBALINFO", l);
        o.Set("GLOBALINFO", "SHADOW1COLOR=" + OptColor({0, 0, 0}));
        o.Set("GLOBALINFO", "BORDERCOLOR=" + OptColor(kBorder));
        o.Set("GLOBALINFO", "COLOR=" + OptColor(kForm));
        o.Set("GLOBALINFO", "FONTCOLOR=" + OptColor(kText));
        o.Set("GLOBALINFO", "HOTCOLOR=" + OptColor(kHot));
        o.Set("GLOBALINFO", "HOTFONTCOLOR=" + OptColor(kWhite));

        // Sections: colours, then their pictures.
        struct Sec {
            const char* Name;
            const char* Parent;
            Rgb Color, Hot, Font, HotFont;
        };
        const Sec secs[] = {
            {"FORM", "", kForm, kForm, kText, kText},
            {"FORMTITLE", "", kTitle, kTitle, kText, kWhite},
            {"DIALOG", "FORM", kForm, kForm, kText, kText},
            {"MENULINE", "", kTitle, kTitle, kText, kWhite},
            {"MENUITEM", "", kPanel, kPressed, kText, kWhite},
            {"MAINMENU", "MENUITEM", kTitle, kHot, kText, kWhite},
            {"ICOLINE", "", kPanelLow, kPanelLow, kTextDim, kText},
            {"MDIAREA", "", kPanelLow, kPanelLow, kText, kText},
            {"PANEL", "", kPanel, kPanel, kText, kText},
            {"PANEL_LOW", "PANEL", kPanelLow, kPanelLow, kText, kText},
            {"GROUPBOX", "PANEL", kPanel, kPanel, kText, kText},
            // The analysis steps' bars: near black, with a trace of the
            // colour of the step's state.
            {"BARPANEL_BLACK_BLUE", "PANEL_LOW", Mix(kTitle, {0, 0, 0}, 0.5), Mix(kTitle, {0, 0, 0}, 0.5), {0, 255, 255},
             {0, 255, 255}},
            {"BARPANEL_BLACK_RED", "PANEL_LOW", Mix({16, 16, 18}, {255, 0, 0}, 0.12),
             Mix({16, 16, 18}, {255, 0, 0}, 0.12), {255, 0, 0}, {255, 0, 0}},
            {"BARPANEL_BLACK_GREEN", "PANEL_LOW", Mix({16, 16, 18}, {0, 255, 0}, 0.08),
             Mix({16, 16, 18}, {0, 255, 0}, 0.08), {0, 255, 0}, {0, 255, 0}},
            {"BARPANEL_BLACK_YELLOW", "PANEL_LOW", Mix({16, 16, 18}, {255, 255, 0}, 0.08),
             Mix({16, 16, 18}, {255, 255, 0}, 0.08), {255, 255, 0}, {255, 255, 0}},
            {"BUTTON", "", kControl, kHot, kText, kWhite},
            {"SPEEDBUTTON", "BUTTON", kControl, kHot, kText, kWhite},
            {"SPEEDBUTTON_SMALL", "SPEEDBUTTON", kControl, kHot, kText, kWhite},
            {"TOOLBUTTON", "SPEEDBUTTON", kPanel, kHot, kText, kWhite},
            {"WEBBUTTON", "", kPanel, kPanel, kAccent, Mix(kAccent, kWhite, 0.4)},
            {"EDIT", "", kEdit, kEdit, kText, kWhite},
            {"COMBOBOX", "EDIT", kEdit, kEdit, kText, kWhite},
            {"COMBOBTN", "BUTTON", kControl, kHot, kText, kWhite},
            {"CHECKBOX", "", kPanel, kPanel, kText, kWhite},
            {"RADIOBUTTON", "CHECKBOX", kPanel, kPanel, kText, kWhite},
            {"GAUGE", "", kEdit, kEdit, kText, kWhite},
            {"PROGRESSH", "", kAccent, kAccent, kWhite, kWhite},
            {"TRACKBAR", "", kPanel, kPanel, kText, kText},
            {"STATUSBAR", "", kTitle, kTitle, kTextDim, kText},
            {"TOOLBAR", "", kPanel, kPanel, kText, kText},
            {"DRAGBAR", "", kPanelLow, kHot, kText, kText},
            {"SPLITTER", "", kForm, kHot, kText, kText},
            {"PAGECONTROL", "", kPanel, kPanel, kText, kText},
            {"TABSHEET", "PAGECONTROL", kPanel, kPanel, kText, kText},
            {"TABTOP", "", kPanelLow, kPanel, kTextDim, kWhite},
            {"TABBOTTOM", "TABTOP", kPanelLow, kPanel, kTextDim, kWhite},
            {"TABLEFT", "TABTOP", kPanelLow, kPanel, kTextDim, kWhite},
            {"TABRIGHT", "TABTOP", kPanelLow, kPanel, kTextDim, kWhite},
            {"BAR", "", kPanel, kPanel, kText, kText},
            {"BARTITLE", "", kTitle, kHot, kText, kWhite},
            {"SCROLLBTNTOP", "", kPanelLow, kHot, kText, kWhite},
            {"SCROLLBTNBOTTOM", "SCROLLBTNTOP", kPanelLow, kHot, kText, kWhite},
            {"SCROLLBTNLEFT", "SCROLLBTNTOP", kPanelLow, kHot, kText, kWhite},
            {"SCROLLBTNRIGHT", "SCROLLBTNTOP", kPanelLow, kHot, kText, kWhite},
            {"SCROLLSLIDERV", "", kControl, kHot, kText, kWhite},
            {"SCROLLSLIDERH", "SCROLLSLIDERV", kControl, kHot, kText, kWhite},
            {"SCROLLBAR1H", "", kPanelLow, kPanelLow, kText, kText},
            {"SCROLLBAR1V", "SCROLLBAR1H", kPanelLow, kPanelLow, kText, kText},
            {"SCROLLBAR2H", "SCROLLBAR1H", kPanelLow, kPanelLow, kText, kText},
            {"SCROLLBAR2V", "SCROLLBAR1H", kPanelLow, kPanelLow, kText, kText},
            {"TIMELINEB", "", kControl, kHot, kText, kWhite},
            {"TIMELINEBBG", "", kEdit, kEdit, kTextDim, kText},
        };
        for (const Sec& x : secs) {
            if (*x.Parent) o.Set(x.Name, std::string("PARENTCLASS=") + x.Parent);
            o.Set(x.Name, "COLOR=" + OptColor(x.Color));
            o.Set(x.Name, "HOTCOLOR=" + OptColor(x.Hot));
            o.Set(x.Name, "FONTCOLOR=" + OptColor(x.Font));
            o.Set(x.Name, "HOTFONTCOLOR=" + OptColor(x.HotFont));
        }
        // Gradients of all three kinds, cross-fading buttons, a glow.
        o.Set("FORMTITLE", "GRADIENTDATA=" + std::to_string(0x342C25) + ";" + std::to_string(0x2D241F) + ";100;0;0");
        o.Set("FORMTITLE", "GRADIENTPERCENT=100");
        o.Set("PROGRESSH", "GRADIENTDATA=" + std::to_string(0xE0A05A) + ";" + std::to_string(0xC07838) + ";100;1;0");
        o.Set("PROGRESSH", "GRADIENTPERCENT=100");
        o.Set("GAUGE", "GRADIENTDATA=" + std::to_string(0x2A221E) + ";" + std::to_string(0x3A302B) + ";50;0;0;" +
                           std::to_string(0x3A302B) + ";" + std::to_string(0x2A221E) + ";50;0;0");
        o.Set("GAUGE", "GRADIENTPERCENT=60");
        o.Set("BARTITLE", "GRADIENTDATA=" + std::to_string(0x3B302B) + ";" + std::to_string(0x2D241F) + ";0;2;0;" +
                              std::to_string(0x44382F) + ";0;0;0;0");
        o.Set("BARTITLE", "GRADIENTPERCENT=100");
        o.Set("BUTTON", "HOTGRADIENTDATA=" + std::to_string(0x7A5D47) + ";" + std::to_string(0x5C4A3E) + ";100;0;0");
        o.Set("BUTTON", "HOTGRADIENTPERCENT=40");
        o.Set("BUTTON", "FADINGENABLED=TRUE");
        o.Set("BUTTON", "FADINGITERATIONS=5");
        o.Set("BUTTON", "GLOW=1");
        o.Set("BUTTON", "GLOWMARGIN=3");
        o.Set("EDIT", "SHOWFOCUS=TRUE");
        o.Set("PANEL_LOW", "TRANSPARENCY=0");
        o.Set("FORM", "IMAGEPERCENT=18");
        // An active form is painted in the hot state: it keeps the slate.
        o.Set("FORM", "HOTIMAGEPERCENT=18");
        // The system's dialogs wear the forms' slate, active (painted in the
        // hot state) or not.
        o.Set("DIALOG", "IMAGEPERCENT=18");
        o.Set("DIALOG", "HOTIMAGEPERCENT=18");
        o.Set("PANEL_LOW", "HOTIMAGEPERCENT=20");
        o.Set("MDIAREA", "IMAGEPERCENT=100");
        o.Set("TIMELINEBBG", "IMAGEPERCENT=35");

        // Borders: key-coloured rounded corners (mask type 0) and soft ones
        // with a weight band (mask type 1).
        const StateLook button[3] = {L(kControl, kBorder), L(kHot, kAccent), L(kPressed, kAccent)};
        const StateLook flat[3] = {L(kPanel, kBorder), L(kHot, kAccent), L(kPressed, kAccent)};
        const StateLook field[3] = {L(kEdit, kBorder), L(kEdit, Mix(kBorder, kAccent, 0.5)), L(kEdit, kAccent)};
        const StateLook plain[3] = {L(kPanel, kBorder), L(kPanel, kBorder), L(kPanel, kBorder)};
        const StateLook low[3] = {L(kPanelLow, kBorder), L(kPanelLow, kBorder), L(kPanelLow, kBorder)};
        const StateLook tab[3] = {L(kPanelLow, kBorder), L(Mix(kPanelLow, kAccent, 0.15), kBorder), L(kPanel, kAccent)};
        const StateLook form[3] = {L(kForm, Mix(kBorder, kAccent, 0.6)), L(kForm, kBorder), L(kForm, kBorder)};
        const StateLook slider[3] = {L(Mix(kControl, kBorder, 0.5), kBorder), L(kHot, kAccent), L(kAccent, kAccent)};
        s.Border("BUTTON", "BORDERSMASK", FrameLayer(12, 12, 3, button), 3, 4, 1, 5);
        s.Border("SPEEDBUTTON", "BORDERSMASK", FrameLayer(12, 12, 3, button), 3, 4, 0, 5);
        s.Border("TOOLBUTTON", "BORDERSMASK", FrameLayer(10, 10, 3, flat), 3, 3, 0, 7);   // flat until hot
        s.Border("EDIT", "BORDERSMASK", FrameLayer(9, 9, 2, field), 3, 3, 0, 1);
        s.Border("PANEL", "BORDERSMASK", FrameLayer(9, 9, 2, plain, 1), 1, 3, 0, 1);
        s.Border("PANEL_LOW", "BORDERSMASK", FrameLayer(9, 9, 2, low, 1), 1, 3, 0, 1);
        s.Border("GROUPBOX", "BORDERSMASK", FrameLayer(12, 12, 4, plain, 1), 1, 5, 1, 1);
        s.Border("FORM", "BORDERSMASK", FrameLayer(12, 12, 4, form, 2), 2, 4, 0, 1);
        s.Border("DIALOG", "BORDERSMASK", FrameLayer(12, 12, 4, form, 2), 2, 4, 0, 1);
        s.Border("MENUITEM", "BORDERSMASK", FrameLayer(8, 8, 2, flat), 3, 3, 0, 7);
        s.Border("TABTOP", "BORDERSMASK", FrameLayer(12, 12, 3, tab), 3, 4, 0, 5);
        s.Border("GAUGE", "BORDERSMASK", FrameLayer(9, 9, 2, field, 1), 1, 3, 0, 1);
        s.Border("PROGRESSH", "BORDERSMASK", FrameLayer(8, 8, 2, plain, 1), 1, 3, 1, 1);
        s.Border("STATUSBAR", "BORDERSMASK", FrameLayer(6, 6, 0, low, 1), 1, 1, 0, 1);
        s.Border("PAGECONTROL", "BORDERSMASK", FrameLayer(9, 9, 2, plain, 1), 1, 3, 0, 1);
        s.Border("SCROLLBTNTOP", "BORDERSMASK", FrameLayer(9, 9, 2, flat), 3, 3, 0, 7);
        s.Border("SCROLLSLIDERV", "BORDERSMASK", FrameLayer(9, 9, 3, slider), 3, 3, 1, 5);
        s.Border("SCROLLBAR1H", "BORDERSMASK", FrameLayer(6, 6, 0, low, 1), 1, 1, 0, 1);
        s.Border("TIMELINEB", "BORDERSMASK", FrameLayer(10, 10, 2, button), 3, 3, 0, 5);
        s.Border("TIMELINEBBG", "BORDERSMASK", FrameLayer(8, 8, 2, field, 1), 1, 3, 0, 1);
        s.Border("BAR", "BORDERSMASK", FrameLayer(9, 9, 2, plain, 1), 1, 3, 0, 1);
        s.Border("COMBOBTN", "BORDERSMASK", FrameLayer(10, 10, 2, flat), 3, 3, 0, 7);
        s.Border("GLOBALINFO", "TITLEBUTTON", FrameLayer(14, 14, 3, flat), 3, 4, 0, 7);

        // Glyphs: check and radio marks with soft edges (band), arrows and
        // caption symbols with key colour.
        const char* box[3] = {"BOXUNCHECKED", "BOXCHECKED", "BOXGRAYED"};
        const char* radio[3] = {"RADIOUNCHECKED", "RADIOCHECKED", "RADIOGRAYED"};
        const char* small[3] = {"SMALLUNCHECKED", "SMALLCHECKED", "SMALLGRAYED"};
        for (int k = 0; k < 3; ++k) {
            s.Glyph("GLOBALINFO", box[k], CheckBox(14, k, false), 3, 1);
            s.Glyph("GLOBALINFO", radio[k], CheckBox(14, k, true), 3, 1);
            s.Glyph("GLOBALINFO", small[k], CheckBox(11, k, false), 3, 0);
        }
        {
            Canvas check(12, 12, {}, 0);
            check.Line(2.5, 6.5, 5, 9, 1.6, kText);
            check.Line(5, 9, 10, 3, 1.6, kText);
            s.Glyph("GLOBALINFO", "CHECK", check, 1, 0);
            Canvas grip(12, 12, {}, 0);
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j <= i; ++j) grip.Fill(9 - 3 * j, 3 + 3 * i, 2, 2, kTextDim);
            s.Glyph("GLOBALINFO", "GRIPIMAGE", grip, 1, 0);
        }
        const struct {
            const char* Name;
            Symbol Sym;
        } caption[] = {{"CLOSE", CloseSymbol}, {"MAX", MaxSymbol}, {"NORM", NormSymbol}, {"MIN", MinSymbol}, {"HELP", HelpSymbol}};
        for (const auto& c : caption) {
            s.Glyph("GLOBALINFO", std::string("BICON") + c.Name, CaptionButton(26, 20, c.Sym, c.Sym == CloseSymbol), 3, 0);
            if (c.Sym != HelpSymbol)
                s.Glyph("GLOBALINFO", std::string("SICON") + c.Name, CaptionButton(18, 14, c.Sym, c.Sym == CloseSymbol), 3, 0);
        }
        s.Glyph("COMBOBOX", "GLYPHMASK", Arrow(12, 12, 1, 3), 3, 0);
        s.Glyph("SCROLLBTNTOP", "GLYPHMASK", Arrow(11, 11, 0, 3), 3, 0);
        s.Glyph("SCROLLBTNBOTTOM", "GLYPHMASK", Arrow(11, 11, 1, 3), 3, 0);
        s.Glyph("SCROLLBTNLEFT", "GLYPHMASK", Arrow(11, 11, 2, 3), 3, 0);
        s.Glyph("SCROLLBTNRIGHT", "GLYPHMASK", Arrow(11, 11, 3, 3), 3, 0);
        {
            Canvas lines(27, 9, {}, 0);
            const Rgb cols[3] = {kTextDim, kText, kWhite};
            for (int f = 0; f < 3; ++f)
                for (int i = 0; i < 3; ++i) lines.Fill(f * 9 + 2, 2 + 2 * i, 5, 1, cols[f]);
            s.Glyph("SCROLLSLIDERV", "GLYPHMASK", lines, 3, 0);
            s.Glyph("SCROLLSLIDERH", "GLYPHMASK", RotateFrames(lines, 3), 3, 0);
        }
        // Tiled patterns cut from the master bitmap.
        {
            Canvas hatch(8, 8, kPanelLow);
            for (int i = 0; i < 8; ++i) hatch.Set(i, (i + 4) % 8, Mix(kPanelLow, kBorder, 0.35));
            s.Texture("MDIAREA", "PATTERN", hatch, 0);
            Canvas ticks(10, 10, kEdit);
            for (int j = 0; j < 10; ++j) ticks.Set(0, j, Mix(kEdit, kBorder, j < 4 ? 0.9 : 0.4));
            s.Texture("TIMELINEBBG", "PATTERN", ticks, 0);
            Canvas bar(6, 6, kControl);
            for (int i = 0; i < 6; ++i) bar.Set(i, 0, Mix(kControl, kWhite, 0.08));
            s.Texture("SCROLLSLIDERV", "PATTERN", bar, 1);
        }
        {
            const StateLook drag[3] = {L(kPanelLow, kBorder), L(kHot, kAccent), L(kPressed, kAccent)};
            Canvas grip = FrameLayer(8, 8, 1, drag);
            for (int f = 0; f < 3; ++f) grip.Fill(f * 8 + 3, 3, 2, 2, kTextDim);
            s.RectForm("DRAGBAR", "BORDERSMASK", grip, 3);
        }
        Canvas master = s.Master(o);
        s.files["MASTER.BMP"] = master.Bmp24();

        // Pictures of their own: soft glows (32-bit PNG), a border bitmap with
        // its weight band, and two JPEG textures (a large pattern, a small tile).
        s.files["BTNGLOW.PNG"] = GlowPicture(36, 36, 12, kAccent).Png(true);
        o.Set("BUTTON", "GLOW0=!BTNGLOW.PNG!1!0!3!0012!0012!0012!0012");
        // Speed buttons take GLOW from BUTTON; the halo's mask is looked up
        // in the section itself, so they get their own.
        o.Set("SPEEDBUTTON", "GLOW0=!BTNGLOW.PNG!1!0!3!0012!0012!0012!0012");
        s.files["CLOSEGLOW.PNG"] = GlowPicture(32, 28, 8, Rgb{230, 90, 90}).Png(true);
        o.Set("GLOBALINFO", "BICONCLOSEGLOW0=!CLOSEGLOW.PNG!1!0!3!0008!0008!0008!0008");
        {
            const StateLook sp[3] = {L(kForm, kForm), L(kHot, kHot), L(kAccent, kAccent)};
            Canvas split = BandPicture(FrameLayer(9, 9, 1, sp));
            s.files["SPLITTER.BMP"] = split.Bmp24();
            o.Set("SPLITTER", "BORDERSMASK=splitter.bmp");
        }
        s.files["SLATE.JPG"] = SlateTexture(320, 320, 7).Jpeg(90);
        o.Set("FORM", "PATTERN=SLATE.JPG");
        o.Set("FORM", "HOTPATTERN=SLATE.JPG");
        o.Set("DIALOG", "PATTERN=SLATE.JPG");
        o.Set("DIALOG", "HOTPATTERN=SLATE.JPG");
        s.files["GRAIN.JPG"] = SlateTexture(64, 64, 11).Jpeg(92);
        o.Set("PANEL_LOW", "HOTPATTERN=grain.jpg");

        const std::string text = o.Text();
        std::vector<std::pair<std::string, std::vector<uint8_t>>> entries = {{"Options.dat", Bytes(text)}};
        for (const auto& [name, data] : s.files) entries.push_back({name, data});
        WriteFile(out + "Tarnwick.asz", Pack(entries));
        WriteFile(out + "acSHDA.png", Shadow(true).Png(true));
        WriteFile(out + "acSHDI.png", Shadow(false).Png(true));
        if (preview) {
            WriteFile(out + "Options.dat", Bytes(text));
            for (const auto& [name, data] : s.files) WriteFile(out + name, data);
            Canvas big(master.W() * 2, master.H() * 2);
            for (int y = 0; y < big.H(); ++y)
                for (int x = 0; x < big.W(); ++x) {
                    const bool key = master.AlphaAt(x / 2, y / 2) == 0;
                    big.Set(x, y, key ? Rgb{20, 20, 20} : master.Get(x / 2, y / 2));
                }
            WriteFile(out + "preview-master.png", big.Png(false));
        }
    } catch (const std::exception& e) {
        std::cerr << "tarnwick-skingen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
