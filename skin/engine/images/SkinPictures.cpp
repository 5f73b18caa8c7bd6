#include "skin/engine/images/SkinPictures.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "base/Exceptions.h"

namespace skin {

namespace {

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

[[noreturn]] void BadPicture(const char* what) { throw EInvalidPicture(std::string("Invalid picture: ") + what); }

} // namespace

std::unique_ptr<TPixelImage> LoadBmpPicture(const uint8_t* data, size_t size)
{
    if (size < 14 + 40 || data[0] != 'B' || data[1] != 'M') BadPicture("not a bitmap");
    const uint32_t offBits = Le32(data + 10);
    const uint8_t* h = data + 14;
    const uint32_t headerSize = Le32(h);
    if (headerSize < 40 || 14 + uint64_t(headerSize) > size) BadPicture("bitmap header");
    const int32_t width = static_cast<int32_t>(Le32(h + 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(h + 8));
    const int bpp = Le16(h + 14);
    const uint32_t compression = Le32(h + 16);
    uint32_t colours = Le32(h + 32);
    if (rawHeight == INT32_MIN || !PictureSizeAllowed(width, std::abs(int64_t(rawHeight)))) BadPicture("bitmap size");
    if (compression != 0 && !(compression == 3 && bpp == 32)) BadPicture("compressed bitmap");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) BadPicture("bitmap depth");
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    const uint64_t rowBytes = ((uint64_t(width) * bpp + 31) / 32) * 4;
    if (offBits > size || rowBytes * height > size - offBits) BadPicture("bitmap data short");

    std::vector<uint32_t> palette;
    if (bpp <= 8) {
        if (colours == 0 || colours > (1u << bpp)) colours = 1u << bpp;
        const uint64_t palAt = 14 + uint64_t(headerSize);
        if (palAt + uint64_t(colours) * 4 > size) BadPicture("bitmap palette");
        for (uint32_t i = 0; i < colours; ++i) palette.push_back(Le32(data + palAt + 4 * i));
    }
    auto img = std::make_unique<TPixelImage>(width, height, bpp == 32 ? 32 : 24);
    const TPixelView& v = img->View();
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = data + offBits + rowBytes * (bottomUp ? height - 1 - y : y);
        uint8_t* dst = v.Row(y);
        if (bpp == 24 || bpp == 32) {
            std::memcpy(dst, src, size_t(width) * (bpp / 8));
            continue;
        }
        for (int x = 0; x < width; ++x, dst += 3) {
            const int bit = x * bpp;
            const unsigned index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
            const uint32_t c = index < palette.size() ? palette[index] : 0;
            dst[0] = uint8_t(c);
            dst[1] = uint8_t(c >> 8);
            dst[2] = uint8_t(c >> 16);
        }
    }
    return img;
}

namespace {

struct TJpegError {
    jpeg_error_mgr Mgr;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    // The scan counted last and what its scans may still cost.
    int Scan;
    int64_t ScanPixelsLeft;
};

// libjpeg is C: leave it by longjmp, never by a C++ exception through its frames.
void JpegErrorExit(j_common_ptr info)
{
    auto* err = reinterpret_cast<TJpegError*>(info->err);
    info->err->format_message(info, err->Message);
    std::longjmp(err->Jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

// Called before every step of reading the input, so also at the start of
// every scan, when the scan's header has been read: a scan past the bound
// is stopped before it is decoded. It goes through the blocks of its
// components, in whole MCUs when it holds several.
void JpegCountScans(j_common_ptr info)
{
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    auto* err = reinterpret_cast<TJpegError*>(info->err);
    if (d->input_scan_number == err->Scan) return;
    err->Scan = d->input_scan_number;
    const int64_t cost = int64_t(d->MCUs_per_row) * d->MCU_rows_in_scan * d->blocks_in_MCU * DCTSIZE2;
    const char* refused = nullptr;
    if (err->Scan > kMaxJpegScans) refused = "too many scans";
    else if (cost > err->ScanPixelsLeft) refused = "too many scans for its size";
    if (!refused) {
        err->ScanPixelsLeft -= cost;
        return;
    }
    std::snprintf(err->Message, sizeof err->Message, "%s", refused);
    std::longjmp(err->Jump, 1);
}

struct TJpegDecoder {
    jpeg_decompress_struct Info{};
    TJpegError Err{};
    jpeg_progress_mgr Progress{};
    bool Created = false;
    ~TJpegDecoder()
    {
        if (Created) jpeg_destroy_decompress(&Info);
    }
};

bool JpegRefuse(TJpegDecoder& d, const char* why)
{
    std::snprintf(d.Err.Message, sizeof d.Err.Message, "%s", why);
    return false;
}

// Decodes into img; false with the reason in the decoder's message. What it
// fills belongs to the caller: a local of the function that calls setjmp has
// no defined value after the jump once it was changed.
bool DecodeJpeg(TJpegDecoder& d, const uint8_t* data, size_t size, int64_t packedSize,
                std::unique_ptr<TPixelImage>& img, std::vector<uint8_t>& row)
{
    d.Info.err = jpeg_std_error(&d.Err.Mgr);
    d.Err.Mgr.error_exit = JpegErrorExit;
    d.Err.Mgr.emit_message = JpegSilence;
    if (setjmp(d.Err.Jump)) return false;
    jpeg_create_decompress(&d.Info);
    d.Created = true;
    d.Progress.progress_monitor = JpegCountScans;
    d.Info.progress = &d.Progress;
    jpeg_mem_src(&d.Info, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&d.Info, TRUE);
    // The declared size is bounded before the decoder allocates anything
    // for it (a progressive picture holds all its coefficients at once),
    // and so is what the file's bytes can hold of it: those it took in its
    // archive, when it came from one, for a segment of padding packs away.
    const int64_t pixels = int64_t(d.Info.image_width) * d.Info.image_height;
    const int64_t bytes = packedSize >= 0 ? std::min(int64_t(size), packedSize) : int64_t(size);
    if (!PictureSizeAllowed(d.Info.image_width, d.Info.image_height) || pixels > kMaxJpegPixelsPerByte * bytes)
        return JpegRefuse(d, "size");
    d.Info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d.Info);
    if (d.Info.output_components != 3 || !PictureSizeAllowed(d.Info.output_width, d.Info.output_height))
        return JpegRefuse(d, "size");
    img = std::make_unique<TPixelImage>(int(d.Info.output_width), int(d.Info.output_height), 24);
    row.resize(size_t(d.Info.output_width) * 3);
    while (d.Info.output_scanline < d.Info.output_height) {
        const int y = int(d.Info.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&d.Info, rows, 1);
        uint8_t* dst = img->View().Row(y);
        for (size_t x = 0; x < d.Info.output_width; ++x) {
            dst[3 * x] = row[3 * x + 2];
            dst[3 * x + 1] = row[3 * x + 1];
            dst[3 * x + 2] = row[3 * x];
        }
    }
    jpeg_finish_decompress(&d.Info);
    return true;
}

} // namespace

std::unique_ptr<TPixelImage> LoadJpegPicture(const uint8_t* data, size_t size, int64_t* scanPixels, int64_t packedSize)
{
    TJpegDecoder decoder;
    const int64_t taken = scanPixels ? std::clamp<int64_t>(*scanPixels, 0, kMaxJpegScanPixels) : 0;
    decoder.Err.ScanPixelsLeft = kMaxJpegScanPixels - taken;
    std::unique_ptr<TPixelImage> img;
    std::vector<uint8_t> row;
    const bool decoded = DecodeJpeg(decoder, data, size, packedSize, img, row);
    if (scanPixels) *scanPixels = kMaxJpegScanPixels - decoder.Err.ScanPixelsLeft;
    if (!decoded) throw EInvalidPicture(std::string("Invalid JPEG picture: ") + decoder.Err.Message);
    return img;
}

std::unique_ptr<TPixelImage> ConvertPicture(const TPixelView& src, int bitsPerPixel)
{
    auto img = std::make_unique<TPixelImage>(src.Width, src.Height, bitsPerPixel);
    const TPixelView& d = img->View();
    const int sb = src.BytesPerPixel(), db = d.BytesPerPixel();
    for (int y = 0; y < d.Height; ++y) {
        const uint8_t* s = src.Row(y);
        uint8_t* p = d.Row(y);
        for (int x = 0; x < d.Width; ++x, s += sb, p += db) {
            p[0] = s[0];
            p[1] = s[1];
            p[2] = s[2];
            if (db == 4) p[3] = sb == 4 ? s[3] : 255;
        }
    }
    return img;
}

void SetPictureFormat(std::unique_ptr<TPixelImage>& picture, int bitsPerPixel)
{
    if (picture && picture->BitsPerPixel() != bitsPerPixel) picture = ConvertPicture(picture->View(), bitsPerPixel);
}

void CopyPixels(const TPixelView& dst, int x, int y, const TPixelView& src, TRect r)
{
    if (dst.Empty() || src.Empty()) return;
    r.Left = std::max(r.Left, 0);
    r.Top = std::max(r.Top, 0);
    r.Right = std::min(r.Right, src.Width);
    r.Bottom = std::min(r.Bottom, src.Height);
    const int sb = src.BytesPerPixel(), db = dst.BytesPerPixel();
    for (int sy = r.Top; sy < r.Bottom; ++sy) {
        const int dy = y + sy - r.Top;
        if (dy < 0 || dy >= dst.Height) continue;
        for (int sx = r.Left; sx < r.Right; ++sx) {
            const int dx = x + sx - r.Left;
            if (dx < 0 || dx >= dst.Width) continue;
            const uint8_t* s = src.Row(sy) + sx * sb;
            uint8_t* d = dst.Row(dy) + dx * db;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            if (db == 4) d[3] = sb == 4 ? s[3] : 255;
        }
    }
}

void ClearTransparentWhite(const TPixelView& v)
{
    // Every size: a one-pixel-wide PNG glyph has its transparent white too.
    if (v.Empty() || v.BitsPerPixel != 32) return;
    for (int y = 0; y < v.Height; ++y) {
        uint8_t* p = v.Row(y);
        for (int x = 0; x < v.Width; ++x, p += 4)
            if (p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 0) p[0] = p[1] = p[2] = 0;
    }
}

} // namespace skin
