#include "skin/engine/data/sGradient.h"

#include <algorithm>
#include <cmath>

#include "base/Exceptions.h"
#include "base/Rounding.h"
#include "base/SysUtils.h"

namespace skin {

namespace {

// Decimal or "$" hexadecimal only; "0x" is not part of the gradient text.
int32_t GradValue(const std::string& word)
{
    // A 32-bit number: "$" hexadecimal up to eight digits may state the
    // sign bit; a decimal beyond the range is no number, not a wrapped one.
    const std::string t = tw::Trim(word);
    int v = 0;
    if (t.find_first_of("xX") != std::string::npos || !tw::TryStrToInt(t, v))
        throw tw::EConvertError("'" + word + "' is not a valid integer value");
    return static_cast<int32_t>(v);
}

std::vector<std::string> SplitWords(const std::string& s, char sep)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == sep) ++i;
        if (i >= s.size()) break;
        size_t j = s.find(sep, i);
        if (j == std::string::npos) j = s.size();
        words.push_back(s.substr(i, j - i));
        i = j;
    }
    return words;
}

// The colour of one band, carried per channel in single precision: Color1
// on its first pixel, each following pixel a step of (Color2 - Color1) / n.
class TBandColour {
public:
    TBandColour(TColor c1, TColor c2, int n)
        : r_(float(c1 & 0xFF)), g_(float((c1 >> 8) & 0xFF)), b_(float((c1 >> 16) & 0xFF)),
          dr_((float(c2 & 0xFF) - r_) / float(n)), dg_((float((c2 >> 8) & 0xFF) - g_) / float(n)),
          db_((float((c2 >> 16) & 0xFF) - b_) / float(n))
    {
    }
    void Put(uint8_t* p, int bpp) const;
    void Next()
    {
        r_ += dr_;
        g_ += dg_;
        b_ += db_;
    }

private:
    float r_, g_, b_, dr_, dg_, db_;
};

uint8_t ToByte(float v)
{
    // Round to nearest, halves to even; the channels never leave 0..255.
    return tw::RoundToByte(v);
}

void TBandColour::Put(uint8_t* p, int bpp) const
{
    p[0] = ToByte(b_);
    p[1] = ToByte(g_);
    p[2] = ToByte(r_);
    if (bpp == 4) p[3] = 255;
}

} // namespace

void PrepareGradArray(const std::string& text, TsGradArray& data)
{
    data.clear();
    if (text.empty()) return;
    const std::vector<std::string> words = SplitWords(text, ';');
    const size_t n = words.size() / 5;
    std::vector<TsGradPie> result(n);
    for (size_t i = 0; i < n; ++i) {
        TsGradPie& p = result[i];
        p.Color1 = std::max(0, GradValue(words[5 * i]));
        p.Color2 = std::max(0, GradValue(words[5 * i + 1]));
        p.Percent = static_cast<uint8_t>(std::clamp(GradValue(words[5 * i + 2]), 0, 100));
        p.Mode = GradValue(words[5 * i + 3]);
    }
    data = TsGradArray(std::move(result));
}

void PaintGrad(const TPixelView& bmp, TRect r, const TsGradArray& data, int offsetX, int offsetY)
{
    if (bmp.Empty() || data.empty()) return;
    r.Right = std::min(r.Right, bmp.Width);
    r.Bottom = std::min(r.Bottom, bmp.Height);
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    if (r.Right <= r.Left || r.Bottom <= r.Top) return;
    const int bpp = bmp.BytesPerPixel();
    const size_t count = data.size();

    if (data[0].Mode == 0) {
        int y = r.Top + offsetY;
        const int64_t h = int64_t(r.Height()) + offsetY;
        for (size_t i = 0; i < count; ++i) {
            const int s = y;
            int e = static_cast<int>(std::min<int64_t>(s + h * data[i].Percent / 100, r.Bottom - 1));
            if (i == count - 1) e = r.Bottom - 1;
            if (e > s) {
                TBandColour c(data[i].Color1, data[i].Color2, e - s);
                for (int row = s; row <= e; ++row, c.Next()) {
                    if (row < 0 || row >= bmp.Height) continue;
                    uint8_t* p = bmp.Pixel(r.Left, row);
                    for (int x = r.Left; x < r.Right; ++x, p += bpp) c.Put(p, bpp);
                }
            }
            y = e;
        }
    } else if (data[0].Mode == 1) {
        const float k = float(r.Width()) / 100.0f;
        for (int row = r.Top; row < r.Bottom; ++row) {
            int x = r.Left;
            for (size_t i = 0; i < count; ++i) {
                const int s = x;
                int e = std::min(s + static_cast<int>(tw::RoundHalfEven(data[i].Percent * k)), r.Right - 1);
                if (i == count - 1) e = r.Right - 1;
                if (e > s) {
                    TBandColour c(data[i].Color1, data[i].Color2, e - s);
                    uint8_t* p = bmp.Pixel(s, row);
                    for (int col = s; col <= e; ++col, p += bpp, c.Next()) c.Put(p, bpp);
                }
                x = e;
            }
        }
    }
}

bool GradTriangleVertices(const TRect& r, const TsGradArray& data, TsGradVertex (&v)[5])
{
    if (data.empty() || data[0].Mode != 2) return false;
    const TPoint at[5] = {{r.Left, r.Top},
                          {r.Left + r.Width() / 2, r.Top + r.Height() / 2},
                          {r.Right, r.Top},
                          {r.Right, r.Bottom},
                          {r.Left, r.Bottom}};
    for (size_t i = 0; i < 5; ++i) {
        v[i].X = at[i].X;
        v[i].Y = at[i].Y;
        v[i].Color = i < data.size() ? data[i].Color1 : v[i - 1].Color;
    }
    return true;
}

} // namespace skin
