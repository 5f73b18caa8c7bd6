#pragma once
// The skin library's own PNG reader: the chunk loop with CRC checks, zlib's
// inflate behind a small decoder, the five row filters, Adam7, and a colour
// manager that turns decoded rows into bitmap scan lines (1, 4 or 8 bits with
// a palette, 24-bit BGR, or 32-bit BGRA with alpha).
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/PixelView.h"
#include "skin/engine/common/SkinUtils.h"

namespace skin {

using tw::Exception;
TW_EXCEPTION(EInvalidGraphic, Exception);
TW_EXCEPTION(EGraphicCompression, Exception);
TW_EXCEPTION(EColorConversionError, Exception);

// The CRC-32 of the PNG standard (reflected polynomial $EDB88320); continues
// crc over the buffer. A missing buffer yields 0.
uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t count);

// One zlib inflate stream.
class TLZ77Decoder {
public:
    TLZ77Decoder(int flushMode, bool autoReset);
    ~TLZ77Decoder();
    TLZ77Decoder(const TLZ77Decoder&) = delete;
    TLZ77Decoder& operator=(const TLZ77Decoder&) = delete;

    void BeginDecoding();                  // EGraphicCompression on failure
    // Inflates from source into target; both are advanced past what was used.
    void Decode(const uint8_t*& source, uint8_t*& target, uint32_t packedSize, uint32_t unpackedSize);
    void EndDecoding();                    // EGraphicCompression on failure
    uint32_t AvailableInput() const { return stream_.avail_in; }
    uint32_t AvailableOutput() const { return stream_.avail_out; }
    int LastResult() const { return zLibResult_; }

private:
    z_stream stream_;
    int zLibResult_ = 0;
    int flushMode_;
    bool autoReset_;
    bool begun_ = false;
};

enum class TColorLayout { Unknown, Indexed, Gray, GrayAlpha, RGB, RGBA, BGR, BGRA, CMY, CMYK, CIELab, YCbCr, PhotoYCC };

// Option flags of either side of a colour conversion.
enum TConversionOption : unsigned {
    coAlpha = 1,            // the layout carries alpha (recomputed on selection)
    coApplyGamma = 2,       // 8-bit colour samples go through the gamma table
    coNeedByteSwap = 4,     // 16-bit samples are stored high byte first
    coLabByteRange = 8,     // L* stored as 0..255
    coLabChromaOffset = 16, // a*, b* stored with an offset of 128
};

struct TPaletteEntry {
    uint8_t Red = 0, Green = 0, Blue = 0;
    bool operator==(const TPaletteEntry& o) const { return Red == o.Red && Green == o.Green && Blue == o.Blue; }
};
using TPalette = std::vector<TPaletteEntry>;

class TColorManager {
public:
    TColorManager();

    uint8_t SourceBitsPerSample() const { return sourceBPS_; }
    uint8_t TargetBitsPerSample() const { return targetBPS_; }
    uint8_t SourceSamplesPerPixel() const { return sourceSPP_; }
    uint8_t TargetSamplesPerPixel() const { return targetSPP_; }
    TColorLayout SourceColorScheme() const { return sourceScheme_; }
    TColorLayout TargetColorScheme() const { return targetScheme_; }
    unsigned SourceOptions() const { return sourceOptions_; }
    unsigned TargetOptions() const { return targetOptions_; }
    bool Changed() const { return changed_; }

    void SetSourceBitsPerSample(int value);
    void SetTargetBitsPerSample(int value);
    void SetSourceSamplesPerPixel(int value);
    void SetTargetSamplesPerPixel(int value);
    void SetSourceColorScheme(TColorLayout value);
    void SetTargetColorScheme(TColorLayout value);
    void SetSourceOptions(unsigned value);
    void SetTargetOptions(unsigned value);

    // Bits per pixel of the bitmap that fits one side (0 source, 1 target):
    // 1, 4, 8, 15, 24 or 32; 0 for a format no bitmap has.
    int TargetPixelFormat(int side) const;

    void SetGamma(float mainGamma, float displayGamma);
    const uint8_t* GammaTable() const { return gammaTable_; }
    TPalette MakeGrayPalette(bool minimumIsWhite) const;
    // Formats 0 and 1: one interleaved pointer (triples, or quads with the
    // fourth byte skipped); 2 and 3: three planar pointers; 4 to 7 the same
    // with 16-bit values.
    TPalette MakeColorPalette(const std::vector<const void*>& data, int dataFormat, int colorCount,
                              bool bgrOrder) const;

    // Converts one row: one source pointer for interleaved samples or one per
    // sample for planar ones; count target pixels; the mask selects which of
    // every eight target pixels are written (bit 7 first).
    void ConvertRow(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask);

private:
    using TConverter = void (TColorManager::*)(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void SelectConverter();
    void PrepareYCbCrTables(bool photoYCC);
    uint8_t Sample16To8(uint16_t v, bool gamma) const;
    uint16_t Read16(const uint8_t* p) const;

    void RowIndexed8(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowIndexed16To16(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowIndexed16To8(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowIndexed8To16(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowGray(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowRGB(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowCMYK(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowCIELab(const std::vector<const void*>&, void*, unsigned, uint8_t);
    void RowYCbCr(const std::vector<const void*>&, void*, unsigned, uint8_t);

    bool changed_ = true;
    uint8_t sourceBPS_ = 8, targetBPS_ = 8;
    uint8_t sourceSPP_ = 3, targetSPP_ = 3;
    float mainGamma_ = 1.0f, displayGamma_ = 2.2f;
    uint8_t gammaTable_[256] = {};
    float yCbCrCoefficients_[3] = {0.299f, 0.587f, 0.114f};
    int32_t crToRed_[256] = {}, cbToBlue_[256] = {}, crToGreen_[256] = {}, cbToGreen_[256] = {};
    TColorLayout sourceScheme_ = TColorLayout::RGB, targetScheme_ = TColorLayout::BGR;
    TConverter converter_ = nullptr;
    unsigned sourceOptions_ = 0, targetOptions_ = 0;
    // Swizzle of the colour converters: whether the source and target keep
    // red first (RGB order) or blue first.
    bool sourceRedFirst_ = true, targetRedFirst_ = false;
};

enum TProgressStage { psStarting, psRunning, psEnding };

// A PNG picture read into a bitmap. 1, 4 and 8 bits per pixel carry a
// palette; 24-bit rows hold blue, green, red; 32-bit rows blue, green, red,
// alpha. Rows are top-down and padded to four bytes, as in a DIB.
class TPNGGraphic {
public:
    TPNGGraphic();
    ~TPNGGraphic();
    TPNGGraphic(const TPNGGraphic&) = delete;
    TPNGGraphic& operator=(const TPNGGraphic&) = delete;
    TPNGGraphic(TPNGGraphic&&) = default;
    TPNGGraphic& operator=(TPNGGraphic&&) = default;

    // Reads one PNG picture from the current position of the stream. Raises
    // EInvalidGraphic (or EGraphicCompression, EColorConversionError,
    // tw::EReadError for a short stream) on broken data.
    void LoadFromStream(tw::TStream& stream);
    void LoadFromMemory(const void* data, size_t size);
    void LoadFromFile(const std::string& fileName);

    bool Empty() const { return width_ <= 0 || height_ <= 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }   // 1, 4, 8, 24, 32; 0 when empty
    ptrdiff_t RowBytes() const { return rowBytes_; }
    const uint8_t* ScanLine(int y) const { return bits_.data() + rowBytes_ * y; }
    uint8_t* ScanLine(int y) { return bits_.data() + rowBytes_ * y; }
    const TPalette& Palette() const { return palette_; }
    // Set by a tRNS chunk of a grey or RGB picture.
    bool Transparent() const { return transparent_; }
    TColor TransparentColor() const { return transparentColor_; }
    TColor BackgroundColor() const { return backgroundColor_; }

    // The picture as 24-bit (palette pictures expanded) or 32-bit pixels.
    TPixelImage Image() const;
    // The same, always 32-bit (alpha 255 where the picture has none).
    TPixelImage Image32() const;

    TColorManager& ColorManager() { return colorManager_; }
    uint8_t Reflected = 0;
    // The bytes the picture's data really took where it came from, when
    // that is less than the stream holds (a picture unpacked from an
    // archive): its image data is bounded by them as by its IDAT chunks.
    // -1: the stream's own bytes are all there is.
    int64_t SourceBytesLimit = -1;

    // Progress of a load: stage, percent, redraw flag, the rows reported, message.
    std::function<void(TPNGGraphic& sender, TProgressStage stage, int percent, bool redraw, const TRect& r,
                       const std::string& msg)>
        OnProgress;

private:
    struct TLoad;
    void ReleaseImage();
    void Allocate(int width, int height, int bitsPerPixel);

    TColorManager colorManager_;
    int width_ = 0, height_ = 0, bitsPerPixel_ = 0;
    ptrdiff_t rowBytes_ = 0;
    std::vector<uint8_t> bits_;
    TPalette palette_;
    bool transparent_ = false;
    TColor transparentColor_ = clNone;
    TColor backgroundColor_ = 0xFFFFFF;
};

} // namespace skin
