#pragma once
// A picture the skin generator draws into: 32-bit colour with alpha, plain
// shapes with anti-aliased rounded corners, and the files it becomes (BMP,
// PNG, JPEG).
#include <cstdint>
#include <string>
#include <vector>

namespace skingen {

struct Rgb {
    uint8_t R = 0, G = 0, B = 0;
};
constexpr Rgb kKey{255, 0, 255};   // transparent pixels of the master bitmap

// Colour of the options file: $00BBGGRR.
std::string OptColor(Rgb c);
Rgb Mix(Rgb a, Rgb b, double t);   // a towards b by t

class Canvas {
public:
    Canvas(int w, int h, Rgb fill = {}, uint8_t alpha = 255);
    int W() const { return w_; }
    int H() const { return h_; }
    void Set(int x, int y, Rgb c, uint8_t a = 255);
    Rgb Get(int x, int y) const;
    uint8_t AlphaAt(int x, int y) const;
    void Fill(int x, int y, int w, int h, Rgb c, uint8_t a = 255);
    // Coverage (0..1) of the pixel (x, y) by a rounded rect, sampled 4 x 4.
    static double RoundCoverage(double x, double y, double w, double h, double r);
    // A filled rounded rect with a one-pixel border; outside pixels get the
    // outside colour (or stay) and their coverage in cover when given.
    void RoundRect(int x, int y, int w, int h, int radius, Rgb fill, Rgb border, std::vector<double>* cover = nullptr);
    void Line(double x0, double y0, double x1, double y1, double width, Rgb c);
    void Disc(double cx, double cy, double r, Rgb c);
    void Blit(const Canvas& src, int x, int y);
    // Paints c over the pixel with coverage a (alpha compositing).
    void Blend(int x, int y, Rgb c, double a);

    std::vector<uint8_t> Bmp24() const;                 // key colour where alpha is 0
    std::vector<uint8_t> Png(bool alpha) const;
    std::vector<uint8_t> Jpeg(int quality) const;

private:
    int w_, h_;
    std::vector<uint8_t> px_;   // R, G, B, A
};

} // namespace skingen
