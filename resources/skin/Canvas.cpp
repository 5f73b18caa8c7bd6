#include "Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

namespace skingen {

std::string OptColor(Rgb c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%02X%02X%02X", c.B, c.G, c.R);
    return buf;
}

Rgb Mix(Rgb a, Rgb b, double t)
{
    auto m = [t](int x, int y) { return uint8_t(std::lround(x + (y - x) * t)); };
    return {m(a.R, b.R), m(a.G, b.G), m(a.B, b.B)};
}

Canvas::Canvas(int w, int h, Rgb fill, uint8_t alpha) : w_(w), h_(h), px_(size_t(w) * size_t(h) * 4)
{
    Fill(0, 0, w, h, fill, alpha);
}

void Canvas::Set(int x, int y, Rgb c, uint8_t a)
{
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    uint8_t* p = &px_[(size_t(y) * w_ + x) * 4];
    p[0] = c.R, p[1] = c.G, p[2] = c.B, p[3] = a;
}

Rgb Canvas::Get(int x, int y) const
{
    const uint8_t* p = &px_[(size_t(y) * w_ + x) * 4];
    return {p[0], p[1], p[2]};
}

uint8_t Canvas::AlphaAt(int x, int y) const { return px_[(size_t(y) * w_ + x) * 4 + 3]; }

void Canvas::Fill(int x, int y, int w, int h, Rgb c, uint8_t a)
{
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) Set(i, j, c, a);
}

void Canvas::Blend(int x, int y, Rgb c, double a)
{
    // Porter-Duff "over": on an opaque picture a plain mix, on a transparent
    // layer the coverage goes into alpha.
    if (x < 0 || y < 0 || x >= w_ || y >= h_ || a <= 0) return;
    a = std::min(a, 1.0);
    const double old = AlphaAt(x, y) / 255.0;
    const double out = a + old * (1 - a);
    const Rgb o = Get(x, y);
    auto ch = [&](int n, int p) { return uint8_t(std::lround((n * a + p * old * (1 - a)) / out)); };
    Set(x, y, {ch(c.R, o.R), ch(c.G, o.G), ch(c.B, o.B)}, uint8_t(std::lround(out * 255)));
}

double Canvas::RoundCoverage(double x, double y, double w, double h, double r)
{
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            const double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4;
            if (px < 0 || py < 0 || px > w || py > h) continue;
            const double cx = std::clamp(px, r, w - r), cy = std::clamp(py, r, h - r);
            if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r) ++inside;
        }
    return inside / 16.0;
}

void Canvas::RoundRect(int x, int y, int w, int h, int radius, Rgb fill, Rgb border, std::vector<double>* cover)
{
    if (cover) cover->assign(size_t(w) * size_t(h), 0.0);
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            const double outer = RoundCoverage(i, j, w, h, radius);
            const double inner = RoundCoverage(i - 1, j - 1, w - 2, h - 2, std::max(radius - 1, 0));
            if (cover) (*cover)[size_t(j) * w + i] = outer;
            if (outer <= 0) continue;
            // Border ring where the outer shape covers and the inner does not.
            Blend(x + i, y + j, Mix(border, fill, inner), outer);
        }
}

void Canvas::Line(double x0, double y0, double x1, double y1, double width, Rgb c)
{
    const int minX = int(std::floor(std::min(x0, x1) - width)), maxX = int(std::ceil(std::max(x0, x1) + width));
    const int minY = int(std::floor(std::min(y0, y1) - width)), maxY = int(std::ceil(std::max(y0, y1) + width));
    const double dx = x1 - x0, dy = y1 - y0, len2 = std::max(dx * dx + dy * dy, 1e-9);
    for (int y = minY; y <= maxY; ++y)
        for (int x = minX; x <= maxX; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double t = std::clamp(((px - x0) * dx + (py - y0) * dy) / len2, 0.0, 1.0);
            const double d = std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
            Blend(x, y, c, std::clamp(width / 2 + 0.5 - d, 0.0, 1.0));
        }
}

void Canvas::Disc(double cx, double cy, double r, Rgb c)
{
    for (int y = int(cy - r - 1); y <= int(cy + r + 1); ++y)
        for (int x = int(cx - r - 1); x <= int(cx + r + 1); ++x)
            Blend(x, y, c, std::clamp(r + 0.5 - std::hypot(x + 0.5 - cx, y + 0.5 - cy), 0.0, 1.0));
}

void Canvas::Blit(const Canvas& src, int x, int y)
{
    for (int j = 0; j < src.h_; ++j)
        for (int i = 0; i < src.w_; ++i) Set(x + i, y + j, src.Get(i, j), src.AlphaAt(i, j));
}

std::vector<uint8_t> Canvas::Bmp24() const
{
    const uint32_t row = (uint32_t(w_) * 3 + 3) & ~3u, size = 54 + row * uint32_t(h_);
    std::vector<uint8_t> f(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + i] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w_));
    put32(22, uint32_t(h_));
    f[26] = 1, f[28] = 24;
    put32(34, row * uint32_t(h_));
    for (int y = 0; y < h_; ++y)
        for (int x = 0; x < w_; ++x) {
            const Rgb c = AlphaAt(x, y) == 0 ? kKey : Get(x, y);
            uint8_t* p = &f[54 + size_t(h_ - 1 - y) * row + size_t(x) * 3];
            p[0] = c.B, p[1] = c.G, p[2] = c.R;
        }
    return f;
}

namespace {
void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void PngFlush(png_structp) {}
} // namespace

std::vector<uint8_t> Canvas::Png(bool alpha) const
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!png || !info || setjmp(png_jmpbuf(png))) throw std::runtime_error("PNG writing failed");
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, png_uint_32(w_), png_uint_32(h_), 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w_) * 4);
    for (int y = 0; y < h_; ++y) {
        size_t n = 0;
        for (int x = 0; x < w_; ++x) {
            const uint8_t* p = &px_[(size_t(y) * w_ + x) * 4];
            row[n++] = p[0], row[n++] = p[1], row[n++] = p[2];
            if (alpha) row[n++] = p[3];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> Canvas::Jpeg(int quality) const
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &mem, &size);
    info.image_width = JDIMENSION(w_);
    info.image_height = JDIMENSION(h_);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(size_t(w_) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        for (int x = 0; x < w_; ++x) {
            const Rgb c = Get(x, y);
            row[3 * x] = c.R, row[3 * x + 1] = c.G, row[3 * x + 2] = c.B;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(mem, mem + size);
    std::free(mem);
    return out;
}

} // namespace skingen
