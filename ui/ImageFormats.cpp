#include "ui/ImageFormats.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <jpeglib.h>
#include <png.h>
}

#include "base/Streams.h"
#include "base/WinText.h"
#include "ui/Consts.h"
#include "ui/Guards.h"

namespace tw {

namespace {

std::vector<uint8_t> ReadRest(TStream& s) {
    int64_t n = s.Size() - s.Position();
    std::vector<uint8_t> v(static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0) s.ReadBuffer(v.data(), n);
    return v;
}

// ---- JPEG: libjpeg reports errors through error_exit, which must not
// return; it jumps back to the decoder below, which has no C++ objects
// with destructors between the setjmp and the library calls.
struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* e = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, e->message);
    longjmp(e->jump, 1);
}

void JpegSilence(j_common_ptr, int) {}

struct JpegOut {
    int width, height;
    uint8_t* (*row)(void* ctx, int y);
    void* ctx;
    bool (*alloc)(void* ctx, int w, int h);
};

// Returns an empty string on success, else the library's message.
bool DecodeJpeg(const uint8_t* data, size_t size, JpegOut& out, char* err, size_t errSize) {
    jpeg_decompress_struct cinfo;
    JpegError jerr;
    std::memset(&cinfo, 0, sizeof(cinfo));
    cinfo.err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = JpegErrorExit;
    jerr.mgr.emit_message = JpegSilence;
    jerr.message[0] = 0;
    JSAMPROW line = nullptr;
    if (setjmp(jerr.jump)) {
        std::snprintf(err, errSize, "%s", jerr.message);
        jpeg_destroy_decompress(&cinfo);
        std::free(line);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB; // grey and YCbCr both come out as RGB
    jpeg_start_decompress(&cinfo);
    int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    if (!out.alloc(out.ctx, w, h)) {
        std::snprintf(err, errSize, "out of memory");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    line = static_cast<JSAMPROW>(std::malloc(static_cast<size_t>(w) * 3));
    while (cinfo.output_scanline < cinfo.output_height) {
        int y = static_cast<int>(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, &line, 1);
        uint8_t* dst = out.row(out.ctx, y);
        for (int x = 0; x < w; ++x) {
            dst[x * 3 + 0] = line[x * 3 + 2];
            dst[x * 3 + 1] = line[x * 3 + 1];
            dst[x * 3 + 2] = line[x * 3 + 0];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::free(line);
    return true;
}

// ---- PNG
struct PngSource {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
    auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
    if (s->pos + n > s->size) png_error(png, "unexpected end of PNG data");
    std::memcpy(out, s->data + s->pos, n);
    s->pos += n;
}

struct PngErr {
    char message[256];
};

void PngError(png_structp png, png_const_charp msg) {
    auto* e = static_cast<PngErr*>(png_get_error_ptr(png));
    std::snprintf(e->message, sizeof(e->message), "%s", msg);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

bool DecodePng(const uint8_t* data, size_t size, JpegOut& out, bool& alpha, char* err, size_t errSize) {
    if (size < 8 || png_sig_cmp(const_cast<png_bytep>(data), 0, 8) != 0) {
        std::snprintf(err, errSize, "not a PNG image");
        return false;
    }
    PngErr perr;
    perr.message[0] = 0;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &perr, PngError, PngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    PngSource src{data, size, 0};
    png_bytep row = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::snprintf(err, errSize, "%s", perr.message);
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(row);
        return false;
    }
    png_set_read_fn(png, &src, PngRead);
    png_read_info(png, info);
    png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    int colorType = png_get_color_type(png, info);
    int depth = png_get_bit_depth(png, info);
    alpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (w == 0 || h == 0 || w > 30000 || h > 30000 || !out.alloc(out.ctx, static_cast<int>(w), static_cast<int>(h))) {
        std::snprintf(err, errSize, "unsupported PNG size");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    // Interlaced images need the whole picture for their passes: read into
    // 32-bit rows of the target directly.
    for (int p = 0; p < passes; ++p)
        for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out.row(out.ctx, static_cast<int>(y)), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

struct BitmapTarget {
    TBitmap* bmp;
    TPixelFormat pf;
};

bool AllocTarget(void* ctx, int w, int h) {
    auto* t = static_cast<BitmapTarget*>(ctx);
    try {
        t->bmp->SetPixelFormat(t->pf);
        t->bmp->SetSize(0, 0);
        t->bmp->SetSize(w, h);
    } catch (...) {
        return false;
    }
    return true;
}

uint8_t* TargetRow(void* ctx, int y) { return static_cast<BitmapTarget*>(ctx)->bmp->ScanLine(y); }

} // namespace

// ---------------------------------------------------------------- TJPEGImage

TJPEGImage::TJPEGImage() : bitmap_(std::make_unique<TBitmap>()) {}
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromMemory(const uint8_t* data, size_t size) {
    auto fresh = std::make_unique<TBitmap>();
    BitmapTarget t{fresh.get(), pf24bit};
    JpegOut out{0, 0, TargetRow, &t, AllocTarget};
    char err[JMSG_LENGTH_MAX + 32] = {0};
    if (!DecodeJpeg(data, size, out, err, sizeof(err)))
        throw EInvalidGraphic(StdText(stInvalidGraphic) + " (JPEG: " + err + ")");
    bitmap_ = std::move(fresh);
    Changed();
}

void TJPEGImage::LoadFromStream(TStream& s) {
    std::vector<uint8_t> v = ReadRest(s);
    LoadFromMemory(v.data(), v.size());
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& r) { bitmap_->Draw(canvas, r); }

void TJPEGImage::Assign(const TGraphic& source) {
    if (auto* j = dynamic_cast<const TJPEGImage*>(&source)) {
        bitmap_->Assign(*j->bitmap_);
        Changed();
        return;
    }
    bitmap_->Assign(source);
    Changed();
}

// ---------------------------------------------------------------- TPngImage

TPngImage::TPngImage() : bitmap_(std::make_unique<TBitmap>()) {}
TPngImage::~TPngImage() = default;

void TPngImage::LoadFromMemory(const uint8_t* data, size_t size) {
    auto fresh = std::make_unique<TBitmap>();
    BitmapTarget t{fresh.get(), pf32bit};
    JpegOut out{0, 0, TargetRow, &t, AllocTarget};
    char err[300] = {0};
    bool alpha = false;
    if (!DecodePng(data, size, out, alpha, err, sizeof(err)))
        throw EInvalidGraphic(StdText(stInvalidGraphic) + " (PNG: " + err + ")");
    if (!alpha) fresh->SetPixelFormat(pf24bit);
    bitmap_ = std::move(fresh);
    hasAlpha_ = alpha;
    Changed();
}

void TPngImage::LoadFromStream(TStream& s) {
    std::vector<uint8_t> v = ReadRest(s);
    LoadFromMemory(v.data(), v.size());
}

void TPngImage::LoadFromResourceID(HINSTANCE inst, int id) {
    HRSRC r = FindResourceW(inst, MAKEINTRESOURCEW(id), L"PNG");
    if (!r) throw EResNotFound("PNG resource " + std::to_string(id) + " not found");
    HGLOBAL g = LoadResource(inst, r);
    auto* p = static_cast<const uint8_t*>(LockResource(g));
    LoadFromMemory(p, SizeofResource(inst, r));
}

void TPngImage::LoadFromResourceName(HINSTANCE inst, const std::string& name) {
    HRSRC r = FindResourceW(inst, Utf8ToWide(name).c_str(), L"PNG");
    if (!r) throw EResNotFound("PNG resource " + name + " not found");
    HGLOBAL g = LoadResource(inst, r);
    auto* p = static_cast<const uint8_t*>(LockResource(g));
    LoadFromMemory(p, SizeofResource(inst, r));
}

void TPngImage::Draw(TCanvas& canvas, const TRect& r) {
    if (bitmap_->Empty()) return;
    if (!hasAlpha_) {
        bitmap_->Draw(canvas, r);
        return;
    }
    // AlphaBlend wants premultiplied colours; the stored pixels stay
    // straight so that ScanLine readers see the file's values.
    TBitmap pre(bitmap_->Width(), bitmap_->Height(), pf32bit);
    for (int y = 0; y < bitmap_->Height(); ++y) {
        const uint8_t* s = bitmap_->ScanLine(y);
        uint8_t* d = pre.ScanLine(y);
        for (int x = 0; x < bitmap_->Width(); ++x) {
            unsigned a = s[x * 4 + 3];
            d[x * 4 + 0] = static_cast<uint8_t>(s[x * 4 + 0] * a / 255);
            d[x * 4 + 1] = static_cast<uint8_t>(s[x * 4 + 1] * a / 255);
            d[x * 4 + 2] = static_cast<uint8_t>(s[x * 4 + 2] * a / 255);
            d[x * 4 + 3] = static_cast<uint8_t>(a);
        }
    }
    TMemoryDC src(canvas.Handle());
    TSelection picture(src, pre.Handle());
    BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(canvas.Handle(), r.Left, r.Top, r.Width(), r.Height(), src, 0, 0, pre.Width(), pre.Height(), bf);
}

void TPngImage::Assign(const TGraphic& source) {
    if (auto* p = dynamic_cast<const TPngImage*>(&source)) {
        bitmap_->Assign(*p->bitmap_);
        hasAlpha_ = p->hasAlpha_;
        Changed();
        return;
    }
    bitmap_->Assign(source);
    hasAlpha_ = false;
    Changed();
}

void RegisterStandardPictureFormats() {
    static bool done = false;
    if (done) return;
    done = true;
    TPicture::RegisterFileFormat("bmp", "Bitmaps", [] { return static_cast<TGraphic*>(new TBitmap()); });
    TPicture::RegisterFileFormat("ico", "Icons", [] { return static_cast<TGraphic*>(new TIcon()); });
    TPicture::RegisterFileFormat("jpeg", "JPEG Image File", [] { return static_cast<TGraphic*>(new TJPEGImage()); });
    TPicture::RegisterFileFormat("jpg", "JPEG Image File", [] { return static_cast<TGraphic*>(new TJPEGImage()); });
    TPicture::RegisterFileFormat("png", "Portable Network Graphics",
                                 [] { return static_cast<TGraphic*>(new TPngImage()); });
}

bool LoadPngResource(TPicture& picture, const std::string& name) {
    try {
        auto* png = new TPngImage();
        picture.SetGraphic(png);
        png->LoadFromResourceName(GetModuleHandleW(nullptr), name);
        return true;
    } catch (const std::exception&) {
        picture.Clear();
        return false;
    }
}

} // namespace tw
