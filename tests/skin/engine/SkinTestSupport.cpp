#include "tests/skin/engine/SkinTestSupport.h"

#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "base/SysUtils.h"

namespace skintest {

skin::TPixelImage Picture(int w, int h, int bpp, TColor fill)
{
    skin::TPixelImage img(w, h, bpp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) SetPx(img.View(), x, y, fill);
    return img;
}

void SetPx(const skin::TPixelView& v, int x, int y, TColor c, int alpha)
{
    uint8_t* p = v.Pixel(x, y);
    p[0] = uint8_t(c >> 16);
    p[1] = uint8_t(c >> 8);
    p[2] = uint8_t(c);
    if (v.BitsPerPixel == 32) p[3] = uint8_t(alpha);
}

TColor Px(const skin::TPixelView& v, int x, int y)
{
    const uint8_t* p = v.Pixel(x, y);
    return p[2] | p[1] << 8 | p[0] << 16;
}

int Alpha(const skin::TPixelView& v, int x, int y) { return v.Pixel(x, y)[3]; }

namespace {
void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i) s.push_back(char(v >> (8 * i)));
}
void Put16(std::string& s, uint16_t v)
{
    s.push_back(char(v));
    s.push_back(char(v >> 8));
}
} // namespace

std::string BmpFile(const skin::TPixelView& v)
{
    const int bytes = v.BytesPerPixel();
    const uint32_t row = (uint32_t(v.Width) * bytes + 3) & ~3u;
    std::string s = "BM";
    Put32(s, 54 + row * v.Height);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, uint32_t(v.Width));
    Put32(s, uint32_t(v.Height));
    Put16(s, 1);
    Put16(s, uint16_t(v.BitsPerPixel));
    for (int i = 0; i < 6; ++i) Put32(s, 0);
    for (int y = v.Height - 1; y >= 0; --y) {
        std::string line(reinterpret_cast<const char*>(v.Row(y)), size_t(v.Width) * bytes);
        line.resize(row, '\0');
        s += line;
    }
    return s;
}

namespace {

// One line repeated over the whole picture, baseline or progressive.
std::string EncodeJpeg(int w, int h, int components, const std::vector<unsigned char>& line, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    if (components == 1) {
        info.optimize_coding = TRUE;
    } else {
        jpeg_set_quality(&info, 95, TRUE);
    }
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {const_cast<unsigned char*>(line.data())};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string s(reinterpret_cast<const char*>(out), size);
    free(out);
    return s;
}

} // namespace

std::string JpegFile(int w, int h, TColor fill)
{
    std::vector<unsigned char> line(size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
        line[3 * x] = uint8_t(fill);
        line[3 * x + 1] = uint8_t(fill >> 8);
        line[3 * x + 2] = uint8_t(fill >> 16);
    }
    return EncodeJpeg(w, h, 3, line, false);
}

std::string GreyJpegFile(int w, int h, uint8_t level, bool progressive)
{
    return EncodeJpeg(w, h, 1, std::vector<unsigned char>(size_t(w), level), progressive);
}

void TPackedSkin::Attach(skin::TsSkinManager& sm) const
{
    sm.SkinIsPacked = true;
    sm.FindPackedEntry = [this](const std::string& name, skin::TsPackedEntry& entry) {
        for (const auto& [stored, data] : Files)
            if (tw::UpperCase(stored) == name) {
                entry.Data = reinterpret_cast<const uint8_t*>(data.data());
                entry.Size = data.size();
                return true;
            }
        return false;
    };
}

} // namespace skintest
