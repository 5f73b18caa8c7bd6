#pragma once
// A view of pixels the skin's picture work reads and writes: the class
// library's DIB sections on Windows, plain buffers in the portable code and
// its tests. Rows run top-down; a bottom-up DIB has a negative stride and
// Bits pointing at its top row. 24-bit rows hold blue, green, red; 32-bit
// rows blue, green, red, alpha.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tw {

struct TPixelView {
    uint8_t* Bits = nullptr;   // first byte of the top row
    int Width = 0;
    int Height = 0;
    ptrdiff_t Stride = 0;      // bytes from one row to the next, may be negative
    int BitsPerPixel = 24;     // 24 or 32

    bool Empty() const { return Bits == nullptr || Width <= 0 || Height <= 0; }
    int BytesPerPixel() const { return BitsPerPixel / 8; }
    uint8_t* Row(int y) const { return Bits + Stride * y; }
    uint8_t* Pixel(int x, int y) const { return Row(y) + x * BytesPerPixel(); }
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
};

// An owned picture with a view over it (rows padded to four bytes as in a DIB).
class TPixelImage {
public:
    TPixelImage() = default;
    TPixelImage(int width, int height, int bitsPerPixel) { Resize(width, height, bitsPerPixel); }
    // A copy owns its own rows: the view must point at them, not at the
    // original's (a plain member copy would leave it there).
    TPixelImage(const TPixelImage& other) : data_(other.data_), view_(other.view_)
    {
        view_.Bits = data_.empty() ? nullptr : data_.data();
    }
    TPixelImage& operator=(const TPixelImage& other)
    {
        if (this != &other) {
            data_ = other.data_;
            view_ = other.view_;
            view_.Bits = data_.empty() ? nullptr : data_.data();
        }
        return *this;
    }
    TPixelImage(TPixelImage&&) noexcept = default;
    TPixelImage& operator=(TPixelImage&&) noexcept = default;

    void Resize(int width, int height, int bitsPerPixel)
    {
        if (width < 0 || height < 0 || (bitsPerPixel != 24 && bitsPerPixel != 32))
            width = height = 0;
        view_.Width = width;
        view_.Height = height;
        view_.BitsPerPixel = bitsPerPixel == 32 ? 32 : 24;
        view_.Stride = (static_cast<ptrdiff_t>(width) * view_.BytesPerPixel() + 3) & ~ptrdiff_t(3);
        data_.assign(static_cast<size_t>(view_.Stride) * static_cast<size_t>(height), 0);
        view_.Bits = data_.empty() ? nullptr : data_.data();
    }

    const TPixelView& View() const { return view_; }
    int Width() const { return view_.Width; }
    int Height() const { return view_.Height; }
    int BitsPerPixel() const { return view_.BitsPerPixel; }

private:
    std::vector<uint8_t> data_;
    TPixelView view_;
};

} // namespace tw
