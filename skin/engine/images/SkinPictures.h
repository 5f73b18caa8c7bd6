#pragma once
// Skin pictures from their file bytes: BMP and JPEG here, PNG through the
// library's own PNG reader. Broken data raises an exception; nothing is read
// past the bytes given.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Exceptions.h"
#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

class EInvalidPicture : public tw::Exception {
public:
    using tw::Exception::Exception;
};

// The largest picture a skin may bring, checked from its header before
// anything is allocated for it: at most 16384 pixels a side and 2^25 pixels
// in all (an 8K screen, 7680 x 4320, whole), 128 MB at 32 bits. A skin shows
// its pictures in windows, and none is larger than a screen; a file of a few
// hundred bytes that declares more is an attack on the memory, not a picture.
constexpr int kMaxPictureSide = 16384;
constexpr int64_t kMaxPicturePixels = int64_t(1) << 25;
inline bool PictureSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

// All the pictures of one skin together, held in its tables: no more than
// its largest single picture may be. A packed picture of a few kilobytes
// can decode to megapixels; named a thousand times it would otherwise be
// decoded and kept a thousand times.
constexpr int64_t kMaxSkinPixels = kMaxPicturePixels;
// Rows cost their decoding too, whatever their width: a picture one pixel
// wide and 16,384 high, named a thousand times, fits the pixels above but
// takes seconds row by row. All the pictures of a skin decode no more rows
// than eight pictures of the largest side; real skins use a few thousand.
constexpr int64_t kMaxSkinPictureRows = 8 * int64_t(kMaxPictureSide);

// The work of decoding a JPEG. A progressive picture is decoded scan by
// scan, each over the whole picture, and a scan costs its file a dozen
// bytes: 2,000 empty ones held skin loading for seconds. At most
// kMaxJpegScans scans (encoders write ten or so), and no more than sixteen
// over the largest picture a skin may bring would cost. A scan's cost is
// the pixels of the 8 x 8 blocks it goes through: a picture one pixel high
// is decoded in blocks of eight rows.
constexpr int kMaxJpegScans = 64;
constexpr int64_t kMaxJpegScanPixels = 16 * kMaxPicturePixels;
// The most pixels a JPEG may declare per byte of its file. Huffman coding
// spends at least one bit on every 8 x 8 block (its DC code), so a picture
// whose data is all there cannot declare more; libjpeg would fill the
// missing rest and take memory for all of it.
constexpr int64_t kMaxJpegPixelsPerByte = 512;

// 1-, 4-, 8-bit palette, 24- and 32-bit uncompressed BMP; 32-bit keeps its
// fourth byte, everything else becomes 24 bits.
std::unique_ptr<TPixelImage> LoadBmpPicture(const uint8_t* data, size_t size);
// A JPEG as 24 bits (greyscale and colour). With scanPixels, the scans of
// several pictures share the bound of kMaxJpegScanPixels: it holds what
// earlier pictures took and gets this one's added, also when it fails.
// packedSize as for a PNG below.
std::unique_ptr<TPixelImage> LoadJpegPicture(const uint8_t* data, size_t size, int64_t* scanPixels = nullptr,
                                             int64_t packedSize = -1);
// A PNG as 32 bits with alpha. packedSize: the bytes the file took packed in
// an archive (-1 when it was not packed); its image data must fit them as it
// must fit its IDAT chunks.
std::unique_ptr<TPixelImage> LoadPngPicture(const uint8_t* data, size_t size, int64_t packedSize = -1);

// A copy in the other format: 24 bits drop alpha, 32 bits add alpha 255.
std::unique_ptr<TPixelImage> ConvertPicture(const TPixelView& src, int bitsPerPixel);
void SetPictureFormat(std::unique_ptr<TPixelImage>& picture, int bitsPerPixel);

// Copies rect r of src (clipped to it) to (x, y) of dst (clipped to it);
// both 24 or 32 bits, alpha made 255 when only dst has it.
void CopyPixels(const TPixelView& dst, int x, int y, const TPixelView& src, TRect r);

// Fully transparent white pixels of a 32-bit picture become 0 in all four
// bytes, so that filtering never brings their white into view.
void ClearTransparentWhite(const TPixelView& v);

} // namespace skin
