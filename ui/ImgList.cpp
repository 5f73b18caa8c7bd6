#include "ui/ImgList.h"

#include <algorithm>
#include <vector>

#include "ui/Guards.h"

namespace tw {

namespace {

// The image's pixels in a DIB section of its own: the platform list selects
// what it adds into its own device context, which fails for a bitmap that
// still sits in its canvas. Sources of fewer bits are converted; 24-bit
// pixels get alpha 0, which the platform reads as "no alpha, use the mask".
TGdiObject<HBITMAP> SectionCopy(TBitmap& src, int bits) {
    TBitmap converted;
    TBitmap* from = &src;
    if (src.PixelFormat() != pf24bit && src.PixelFormat() != pf32bit) {
        converted.Assign(src);
        converted.SetPixelFormat(pf24bit);
        from = &converted;
    }
    int w = from->Width(), h = from->Height();
    TBitmap copy(w, h, bits == 32 ? pf32bit : pf24bit);
    int srcBytes = from->PixelFormat() == pf32bit ? 4 : 3;
    int dstBytes = bits / 8;
    GdiFlush();
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = from->ScanLine(y);
        uint8_t* d = copy.ScanLine(y);
        for (int x = 0; x < w; ++x, s += srcBytes, d += dstBytes) {
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            if (dstBytes == 4) d[3] = srcBytes == 4 ? s[3] : 0;
        }
    }
    return TGdiObject<HBITMAP>(copy.ReleaseHandle());
}

// A mask picture as the platform wants it: one bit per pixel, set where the
// image is transparent (white in the mask picture).
TGdiObject<HBITMAP> MonochromeMask(TBitmap& mask) {
    int w = mask.Width(), h = mask.Height();
    TGdiObject<HBITMAP> mono(CreateBitmap(w, h, 1, 1, nullptr));
    if (!mono) return mono;
    TMemoryDC dc;
    TSelection sel(dc, mono);
    SetBkColor(mask.Canvas().Handle(), RGB(255, 255, 255));
    BitBlt(dc, 0, 0, w, h, mask.Canvas().Handle(), 0, 0, SRCCOPY);
    return mono;
}

// Pixels of rect r of a platform bitmap as 32-bit top-down rows.
std::vector<uint32_t> ReadPixels(HBITMAP bmp, const RECT& r) {
    BITMAP info{};
    if (!bmp || GetObjectW(bmp, sizeof info, &info) == 0) return {};
    std::vector<uint32_t> whole(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = info.bmWidth;
    bi.bmiHeader.biHeight = -info.bmHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    TWindowDC screen;
    if (GetDIBits(screen, bmp, 0, static_cast<UINT>(info.bmHeight), whole.data(), &bi, DIB_RGB_COLORS) == 0) return {};
    std::vector<uint32_t> out;
    out.reserve(static_cast<size_t>(r.right - r.left) * static_cast<size_t>(r.bottom - r.top));
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) out.push_back(whole[static_cast<size_t>(y) * info.bmWidth + x]);
    return out;
}

} // namespace

TCustomImageList::TCustomImageList(TComponent* owner) : TComponent(owner) {}

TCustomImageList::~TCustomImageList() {
    if (handle_) ImageList_Destroy(handle_);
}

void TCustomImageList::Recreate() {
    if (handle_) ImageList_Destroy(handle_);
    handle_ = nullptr;
    Change();
}

void TCustomImageList::SetSize(int w, int h) {
    w = std::max(1, w);
    h = std::max(1, h);
    if (w == width_ && h == height_) return;
    width_ = w;
    height_ = h;
    Recreate();
}

void TCustomImageList::SetColorDepth(TColorDepth d) {
    if (d == depth_) return;
    depth_ = d;
    Recreate();
}

void TCustomImageList::SetMasked(bool m) {
    if (m == masked_) return;
    masked_ = m;
    Recreate();
}

void TCustomImageList::SetBkColor(TColor c) {
    bkColor_ = c;
    if (handle_) ImageList_SetBkColor(handle_, c == clNone ? CLR_NONE : ColorToRGB(c));
}

HIMAGELIST TCustomImageList::Handle() {
    if (!handle_) {
        UINT flags = (depth_ == cd32Bit ? ILC_COLOR32 : ILC_COLOR24) | (masked_ ? ILC_MASK : 0);
        handle_ = ImageList_Create(width_, height_, flags, 4, 4);
        if (handle_) ImageList_SetBkColor(handle_, bkColor_ == clNone ? CLR_NONE : ColorToRGB(bkColor_));
    }
    return handle_;
}

int TCustomImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

int TCustomImageList::AddBitmap(TBitmap& image, TBitmap* mask, TColor maskColor, bool byColor) {
    if (image.Empty() || !Handle()) return -1;
    TGdiObject<HBITMAP> section = SectionCopy(image, depth_ == cd32Bit ? 32 : 24);
    if (!section) return -1;
    int index;
    if (byColor) {
        index = ImageList_AddMasked(handle_, section, ColorToRGB(maskColor));
    } else {
        TGdiObject<HBITMAP> mono = mask && !mask->Empty() ? MonochromeMask(*mask) : TGdiObject<HBITMAP>(nullptr);
        index = ImageList_Add(handle_, section, mono);
    }
    if (index >= 0) Change();
    return index;
}

int TCustomImageList::Add(TBitmap& image, TBitmap* mask) { return AddBitmap(image, mask, clNone, false); }

int TCustomImageList::AddMasked(TBitmap& image, TColor maskColor) { return AddBitmap(image, nullptr, maskColor, true); }

bool TCustomImageList::Replace(int index, TBitmap& image, TBitmap* mask) {
    if (index < 0 || index >= Count() || image.Empty()) return false;
    TGdiObject<HBITMAP> section = SectionCopy(image, depth_ == cd32Bit ? 32 : 24);
    TGdiObject<HBITMAP> mono = mask && !mask->Empty() ? MonochromeMask(*mask) : TGdiObject<HBITMAP>(nullptr);
    if (!section || !ImageList_Replace(handle_, index, section, mono)) return false;
    Change();
    return true;
}

bool TCustomImageList::Delete(int index) {
    if (index < 0 || index >= Count()) return false;
    if (!ImageList_Remove(handle_, index)) return false;
    Change();
    return true;
}

void TCustomImageList::Clear() {
    if (handle_ && Count() > 0) {
        ImageList_Remove(handle_, -1);
        Change();
    }
}

void TCustomImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) {
    if (index < 0 || index >= Count() || !canvas.Handle()) return;
    UINT style = enabled ? ILD_NORMAL : ILD_BLEND50;
    ImageList_DrawEx(handle_, index, canvas.Handle(), x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, style);
}

bool TCustomImageList::GetImageBitmap(int index, TBitmap& bmp) {
    if (index < 0 || index >= Count()) return false;
    IMAGEINFO ii{};
    if (!ImageList_GetImageInfo(handle_, index, &ii)) return false;
    GdiFlush();
    std::vector<uint32_t> image = ReadPixels(ii.hbmImage, ii.rcImage);
    if (image.empty()) return false;
    std::vector<uint32_t> mask = ReadPixels(ii.hbmMask, ii.rcImage);
    // An image added without alpha keeps alpha 0 everywhere; its mask (or,
    // without one, nothing) says what is shown.
    bool hasAlpha = depth_ == cd32Bit && std::any_of(image.begin(), image.end(), [](uint32_t p) { return p >> 24; });
    int w = ii.rcImage.right - ii.rcImage.left, h = ii.rcImage.bottom - ii.rcImage.top;
    bmp.SetPixelFormat(pf32bit);
    bmp.SetSize(w, h);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(bmp.ScanLine(y));
        for (int x = 0; x < w; ++x) {
            size_t i = static_cast<size_t>(y) * w + x;
            uint32_t p = image[i];
            if (!hasAlpha) {
                bool transparent = !mask.empty() && (mask[i] & 0xFFFFFF) != 0;
                p = (p & 0xFFFFFF) | (transparent ? 0u : 0xFF000000u);
            }
            row[x] = p;
        }
    }
    return true;
}

void TCustomImageList::Change() {
    if (OnChange) OnChange(this);
}

} // namespace tw
