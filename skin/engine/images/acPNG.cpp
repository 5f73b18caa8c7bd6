#include "skin/engine/images/acPNG.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Rounding.h"
#include "base/SysUtils.h"
#include "skin/engine/images/SkinPictures.h"

namespace skin {

namespace {

const char* const kFormatName = "PNG";

[[noreturn]] void RaiseInvalid(const char* fmt)
{
    throw EInvalidGraphic(tw::Format(fmt, kFormatName));
}

[[noreturn]] void RaiseInvalidFormat() { RaiseInvalid("Cannot load image. Invalid or unexpected %s image format."); }

[[noreturn]] void RaiseConversion(const char* message) { throw EColorConversionError(message); }

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t BigEndian16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Rounds half to even, as the gamma and palette tables are specified.
int RoundEven(double v) { return static_cast<int>(tw::RoundHalfEven(v)); }

// The platform's MulDiv: rounded to the nearest integer.
int MulDiv(int64_t a, int64_t b, int64_t c)
{
    if (c == 0) return -1;
    int64_t p = a * b;
    int64_t q = (p >= 0) == (c > 0) ? (std::llabs(p) + std::llabs(c) / 2) / std::llabs(c)
                                    : -((std::llabs(p) + std::llabs(c) / 2) / std::llabs(c));
    return static_cast<int>(q);
}

struct TCrcTable {
    uint32_t Entries[256];
    TCrcTable()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            Entries[n] = c;
        }
    }
};

const TCrcTable& CrcTable()
{
    static const TCrcTable table;
    return table;
}

// A read-only stream over memory the caller keeps alive.
class TMemoryReader : public tw::TStream {
public:
    TMemoryReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(int64_t(size)) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        int64_t n = std::max<int64_t>(0, std::min(count, size_ - pos_));
        if (n > 0) std::memcpy(buffer, data_ + pos_, size_t(n));
        pos_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, tw::TSeekOrigin origin) override
    {
        int64_t base = origin == tw::soBeginning ? 0 : origin == tw::soCurrent ? pos_ : size_;
        if (base + offset < 0) throw tw::EStreamError("Seek before the start of a memory stream");
        return pos_ = base + offset;
    }
    int64_t Size() override { return size_; }
    void SetSize(int64_t) override {}

private:
    const uint8_t* data_;
    int64_t size_;
    int64_t pos_ = 0;
};

} // namespace

uint32_t Crc32Update(uint32_t crc, const void* buffer, size_t count)
{
    if (buffer == nullptr) return 0;
    const uint32_t* t = CrcTable().Entries;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    uint32_t c = ~crc;
    // Eight bytes a round; the table stays the PNG standard's single one.
    while (count >= 8) {
        c = t[(c ^ p[0]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[1]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[2]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[3]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[4]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[5]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[6]) & 0xFF] ^ (c >> 8);
        c = t[(c ^ p[7]) & 0xFF] ^ (c >> 8);
        p += 8;
        count -= 8;
    }
    while (count-- > 0) c = t[(c ^ *p++) & 0xFF] ^ (c >> 8);
    return ~c;
}

// ---------------------------------------------------------------------------
// TLZ77Decoder

TLZ77Decoder::TLZ77Decoder(int flushMode, bool autoReset) : flushMode_(flushMode), autoReset_(autoReset)
{
    std::memset(&stream_, 0, sizeof(stream_));
}

TLZ77Decoder::~TLZ77Decoder()
{
    if (begun_) inflateEnd(&stream_);
}

void TLZ77Decoder::BeginDecoding()
{
    if (begun_) inflateEnd(&stream_);
    begun_ = false;
    zLibResult_ = inflateInit(&stream_);
    if (zLibResult_ < 0) throw EGraphicCompression("LZ77 decompression error.");
    begun_ = true;
}

void TLZ77Decoder::Decode(const uint8_t*& source, uint8_t*& target, uint32_t packedSize, uint32_t unpackedSize)
{
    stream_.next_in = const_cast<Bytef*>(source);
    stream_.avail_in = packedSize;
    if (autoReset_) zLibResult_ = inflateReset(&stream_);
    if (zLibResult_ != Z_OK) return;
    stream_.next_out = target;
    stream_.avail_out = unpackedSize;
    zLibResult_ = inflate(&stream_, flushMode_);
    source = stream_.next_in;
    target = stream_.next_out;
}

void TLZ77Decoder::EndDecoding()
{
    if (!begun_) return;
    begun_ = false;
    if (inflateEnd(&stream_) < 0) throw EGraphicCompression("LZ77 decompression error.");
}

// ---------------------------------------------------------------------------
// TColorManager

TColorManager::TColorManager()
{
    SetGamma(1.0f, 2.2f);
    changed_ = true;
}

namespace {

const char* const kBadBitsPerSample = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
const char* const kBadSamplesPerPixel = "Sample count per pixel does not correspond to the given color scheme.";

// Stores a setting and marks the converter for reselection when it changes.
template <typename T, typename V>
void Assign(T& field, V value, bool& changed)
{
    if (field != T(value)) {
        field = T(value);
        changed = true;
    }
}

// A value outside min..max raises and keeps the old setting.
int Checked(int value, int min, int max, const char* message)
{
    if (value < min || value > max) RaiseConversion(message);
    return value;
}

} // namespace

void TColorManager::SetSourceBitsPerSample(int value) { Assign(sourceBPS_, Checked(value, 1, 16, kBadBitsPerSample), changed_); }
void TColorManager::SetTargetBitsPerSample(int value) { Assign(targetBPS_, Checked(value, 1, 16, kBadBitsPerSample), changed_); }
void TColorManager::SetSourceSamplesPerPixel(int value) { Assign(sourceSPP_, Checked(value, 1, 4, kBadSamplesPerPixel), changed_); }
void TColorManager::SetTargetSamplesPerPixel(int value) { Assign(targetSPP_, Checked(value, 1, 4, kBadSamplesPerPixel), changed_); }
void TColorManager::SetSourceColorScheme(TColorLayout value) { Assign(sourceScheme_, value, changed_); }
void TColorManager::SetTargetColorScheme(TColorLayout value) { Assign(targetScheme_, value, changed_); }
void TColorManager::SetSourceOptions(unsigned value) { Assign(sourceOptions_, value, changed_); }
void TColorManager::SetTargetOptions(unsigned value) { Assign(targetOptions_, value, changed_); }

int TColorManager::TargetPixelFormat(int side) const
{
    int spp = side == 0 ? sourceSPP_ : targetSPP_;
    int bps = side == 0 ? sourceBPS_ : targetBPS_;
    switch (spp) {
    case 1:
        if (bps == 1) return 1;
        if (bps >= 2 && bps <= 4) return 4;
        if (bps >= 8 && bps <= 16) return 8;
        return 0;
    case 3: return bps >= 6 ? 24 : 15;
    case 4: return bps >= 8 ? 32 : 0;
    default: return 0;
    }
}

void TColorManager::SetGamma(float mainGamma, float displayGamma)
{
    mainGamma_ = mainGamma > 0 ? mainGamma : 1.0f;
    displayGamma_ = displayGamma > 0 ? displayGamma : 2.2f;
    const float exponent = float(1.0 / (double(mainGamma_) * double(displayGamma_)));
    // Every lookup uses 8-bit values, so the table always spans 0..255 (a
    // narrower source would leave most of it unset).
    const int sourceTop = 255;
    const int targetTop = targetBPS_ >= 8 ? 255 : (1 << targetBPS_) - 1;
    for (int i = 0; i <= sourceTop; ++i)
        gammaTable_[i] = uint8_t(RoundEven(std::pow(double(i) / sourceTop, double(exponent)) * targetTop));
}

TPalette TColorManager::MakeGrayPalette(bool minimumIsWhite) const
{
    const int bits = std::min(8, targetBPS_ * targetSPP_);
    const int entries = 1 << bits;
    const int step = 255 / std::max(1, entries - 1);
    const bool gamma = targetOptions_ & coApplyGamma;
    TPalette palette(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
        uint8_t level = uint8_t(i * step);
        if (gamma) level = gammaTable_[level];
        palette[size_t(minimumIsWhite ? entries - 1 - i : i)] = TPaletteEntry{level, level, level};
    }
    return palette;
}

TPalette TColorManager::MakeColorPalette(const std::vector<const void*>& data, int dataFormat, int colorCount,
                                         bool bgrOrder) const
{
    const int entries = std::clamp(colorCount, 0, 256);
    TPalette palette(static_cast<size_t>(entries));
    const bool gamma = targetOptions_ & coApplyGamma;
    const bool wide = dataFormat >= 4;
    const bool planar = (dataFormat & 3) >= 2;
    if (data.empty() || (planar && data.size() < 3)) return palette;
    auto value = [&](int plane, int index) -> uint8_t {
        int stride = planar ? 1 : ((dataFormat & 1) ? 4 : 3);
        int pos = planar ? index : index * stride + plane;
        const uint8_t* base = static_cast<const uint8_t*>(data[size_t(planar ? plane : 0)]);
        uint8_t v;
        if (wide) v = Sample16To8(Read16(base + 2 * pos), false);
        else v = base[pos];
        return gamma ? gammaTable_[v] : v;
    };
    for (int i = 0; i < entries; ++i) {
        uint8_t a = value(0, i), b = value(1, i), c = value(2, i);
        palette[size_t(i)] = bgrOrder ? TPaletteEntry{c, b, a} : TPaletteEntry{a, b, c};
    }
    // Spread the entries over a wider index range the way the packed
    // converter rescales sample values (2-bit pictures land in 4-bit bitmaps).
    const int sourceTop = (1 << std::min<int>(sourceBPS_, 16)) - 1;
    const int targetTop = (1 << std::min<int>(targetBPS_, 16)) - 1;
    if (targetBPS_ <= 8 && sourceTop != targetTop) {
        TPalette adapted(static_cast<size_t>(targetTop) + 1);
        for (int i = 0; i <= targetTop; ++i) {
            size_t from = size_t(int64_t(i) * sourceTop / targetTop);
            if (from < palette.size()) adapted[size_t(i)] = palette[from];
        }
        palette.swap(adapted);
    }
    return palette;
}

uint16_t TColorManager::Read16(const uint8_t* p) const
{
    return (sourceOptions_ & coNeedByteSwap) ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
}

uint8_t TColorManager::Sample16To8(uint16_t v, bool gamma) const
{
    uint8_t r = uint8_t(uint32_t(v) * 255 / 65535);
    return gamma ? gammaTable_[r] : r;
}

void TColorManager::SelectConverter()
{
    converter_ = nullptr;
    auto isIndexedSource = [](TColorLayout l) {
        return l == TColorLayout::Indexed || l == TColorLayout::Gray || l == TColorLayout::GrayAlpha;
    };
    const bool sourceIndexed = isIndexedSource(sourceScheme_);
    const bool targetIndexed = targetScheme_ == TColorLayout::Indexed || targetScheme_ == TColorLayout::Gray;
    if (sourceIndexed != targetIndexed)
        RaiseConversion("Conversion between indexed and non-indexed pixel formats is not supported.");
    auto hasAlpha = [](TColorLayout l) {
        return l == TColorLayout::GrayAlpha || l == TColorLayout::RGBA || l == TColorLayout::BGRA;
    };
    sourceOptions_ = hasAlpha(sourceScheme_) ? sourceOptions_ | coAlpha : sourceOptions_ & ~unsigned(coAlpha);
    targetOptions_ = hasAlpha(targetScheme_) ? targetOptions_ | coAlpha : targetOptions_ & ~unsigned(coAlpha);
    const bool targetRGB = targetScheme_ == TColorLayout::RGB || targetScheme_ == TColorLayout::RGBA;
    const bool targetBGR = targetScheme_ == TColorLayout::BGR || targetScheme_ == TColorLayout::BGRA;
    targetRedFirst_ = targetRGB;
    switch (sourceScheme_) {
    case TColorLayout::Indexed:
        if (sourceBPS_ == 16 && targetBPS_ == 16) converter_ = &TColorManager::RowIndexed16To16;
        else if (sourceBPS_ == 16) converter_ = &TColorManager::RowIndexed16To8;
        else if (targetBPS_ == 16) converter_ = &TColorManager::RowIndexed8To16;
        else converter_ = &TColorManager::RowIndexed8;
        break;
    case TColorLayout::Gray:
        if (sourceBPS_ == 16 || targetBPS_ == 16) {
            if (sourceBPS_ >= 8 && targetBPS_ >= 8) converter_ = &TColorManager::RowGray;
        } else {
            converter_ = &TColorManager::RowIndexed8;
        }
        break;
    case TColorLayout::GrayAlpha:
        if ((sourceBPS_ == 8 || sourceBPS_ == 16) && (targetBPS_ == 8 || targetBPS_ == 16))
            converter_ = &TColorManager::RowGray;
        break;
    case TColorLayout::RGB:
    case TColorLayout::RGBA:
    case TColorLayout::BGR:
    case TColorLayout::BGRA:
        sourceRedFirst_ = sourceScheme_ == TColorLayout::RGB || sourceScheme_ == TColorLayout::RGBA;
        if (targetRGB || targetBGR) converter_ = &TColorManager::RowRGB;
        break;
    case TColorLayout::CMYK:
        if (targetRGB || targetBGR) converter_ = &TColorManager::RowCMYK;
        break;
    case TColorLayout::CIELab:
        if (targetRGB || targetBGR) converter_ = &TColorManager::RowCIELab;
        break;
    case TColorLayout::YCbCr:
    case TColorLayout::PhotoYCC:
        PrepareYCbCrTables(sourceScheme_ == TColorLayout::PhotoYCC);
        if (targetRGB || targetBGR) converter_ = &TColorManager::RowYCbCr;
        break;
    default: break;
    }
    changed_ = false;
}

void TColorManager::PrepareYCbCrTables(bool photoYCC)
{
    const float r = yCbCrCoefficients_[0], g = yCbCrCoefficients_[1], b = yCbCrCoefficients_[2];
    const double f1 = 2 - 2 * double(r), f2 = double(r) * f1 / double(g);
    const double f3 = 2 - 2 * double(b), f4 = double(b) * f3 / double(g);
    for (int i = 0; i < 256; ++i) {
        const int d1 = photoYCC ? i - 137 : i - 128;
        const int d2 = photoYCC ? i - 156 : i - 128;
        crToRed_[i] = RoundEven(d1 * f1);
        cbToBlue_[i] = RoundEven(d2 * f3);
        crToGreen_[i] = -RoundEven(d1 * f2);
        cbToGreen_[i] = -RoundEven(d2 * f4);
    }
}

void TColorManager::ConvertRow(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    if (changed_) SelectConverter();
    if (converter_ == nullptr) RaiseConversion("Color conversion failed. Could not find a proper method.");
    if (sources.empty() || sources[0] == nullptr || target == nullptr) return;
    (this->*converter_)(sources, target, count, mask);
}

namespace {

// Walks the column mask: bit 7 for the first of every eight target pixels.
struct TMaskRunner {
    uint8_t Mask, Bit = 0x80;
    explicit TMaskRunner(uint8_t mask) : Mask(mask) {}
    bool Next()
    {
        bool set = Mask & Bit;
        Bit = Bit == 1 ? 0x80 : uint8_t(Bit >> 1);
        return set;
    }
};

// Samples of 1 to 8 bits packed from the top bits of each byte down.
struct TPackedSamples {
    uint8_t* Byte;
    int Bits;
    int Shift;
    unsigned Max;
    TPackedSamples(const void* p, int bits)
        : Byte(static_cast<uint8_t*>(const_cast<void*>(p))), Bits(bits), Shift(8 - bits), Max((1u << bits) - 1) {}
    void Advance()
    {
        Shift -= Bits;
        if (Shift < 0) {
            Shift = 8 - Bits;
            ++Byte;
        }
    }
    unsigned Read()
    {
        const unsigned v = (*Byte >> Shift) & Max;
        Advance();
        return v;
    }
    // Writes into the current position, keeping the byte's other bits.
    void Put(unsigned v) { *Byte = uint8_t((*Byte & ~(Max << Shift)) | (v << Shift)); }
};

} // namespace

void TColorManager::RowIndexed8(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const uint8_t* s = static_cast<const uint8_t*>(sources[0]);
    uint8_t* t = static_cast<uint8_t*>(target);
    const int sb = sourceBPS_, tb = targetBPS_;
    if (sb == tb && mask == 0xFF) {
        std::memcpy(t, s, (size_t(sb) * count + 7) / 8);
        return;
    }
    TPackedSamples source(s, sb), packed(t, tb);
    TMaskRunner runner(mask);
    for (unsigned x = 0; x < count; ++x) {
        // The target moves on for every pixel, the source only for written ones.
        if (runner.Next()) packed.Put(source.Read() * packed.Max / source.Max);
        packed.Advance();
    }
}

void TColorManager::RowIndexed16To16(const std::vector<const void*>& sources, void* target, unsigned count,
                                     uint8_t mask)
{
    const uint8_t* s = static_cast<const uint8_t*>(sources[0]);
    uint16_t* t = static_cast<uint16_t*>(target);
    if (mask == 0xFF && !(sourceOptions_ & coNeedByteSwap)) {
        std::memcpy(t, s, size_t(count) * 2);
        return;
    }
    TMaskRunner runner(mask);
    for (unsigned x = 0; x < count; ++x, ++t)
        if (runner.Next()) { *t = Read16(s); s += 2; }
}

void TColorManager::RowIndexed16To8(const std::vector<const void*>& sources, void* target, unsigned count,
                                    uint8_t mask)
{
    const uint8_t* s = static_cast<const uint8_t*>(sources[0]);
    TPackedSamples packed(target, targetBPS_);
    TMaskRunner runner(mask);
    for (unsigned x = 0; x < count; ++x) {
        if (runner.Next()) {
            packed.Put(unsigned(Read16(s)) * packed.Max / 65535);
            s += 2;
        }
        packed.Advance();
    }
}

void TColorManager::RowIndexed8To16(const std::vector<const void*>& sources, void* target, unsigned count,
                                    uint8_t mask)
{
    TPackedSamples source(sources[0], std::min<int>(sourceBPS_, 8));
    uint16_t* t = static_cast<uint16_t*>(target);
    TMaskRunner runner(mask);
    for (unsigned x = 0; x < count; ++x, ++t)
        if (runner.Next()) *t = uint16_t(source.Read() * 65535 / source.Max);
}

void TColorManager::RowGray(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const uint8_t* s = static_cast<const uint8_t*>(sources[0]);
    const int sourceBytes = sourceBPS_ == 16 ? 2 : 1;
    const int step = (sourceOptions_ & coAlpha) ? 2 * sourceBytes : sourceBytes;
    TMaskRunner runner(mask);
    if (targetBPS_ == 16) {
        uint16_t* t = static_cast<uint16_t*>(target);
        for (unsigned x = 0; x < count; ++x, ++t) {
            if (!runner.Next()) continue;
            *t = sourceBytes == 2 ? Read16(s) : uint16_t(*s * 65535 / 255);
            s += step;
        }
        return;
    }
    uint8_t* t = static_cast<uint8_t*>(target);
    for (unsigned x = 0; x < count; ++x, ++t) {
        if (!runner.Next()) continue;
        *t = sourceBytes == 2 ? Sample16To8(Read16(s), false) : *s;
        s += step;
    }
}

void TColorManager::RowRGB(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const bool planar = sources.size() > 1;
    const bool sourceAlpha = sourceOptions_ & coAlpha;
    const bool targetAlpha = targetOptions_ & coAlpha;
    const bool gamma = targetOptions_ & coApplyGamma;
    const int sourceBytes = sourceBPS_ == 16 ? 2 : 1;
    const int sourceStep = planar ? 1 : (sourceAlpha ? 4 : 3);
    const int targetStep = targetAlpha ? 4 : 3;
    const bool wideTarget = targetBPS_ == 16;
    // Planar sources give one pointer per sample.
    const uint8_t* plane[4] = {};
    for (size_t i = 0; i < 4; ++i)
        plane[i] = static_cast<const uint8_t*>(planar ? (i < sources.size() ? sources[i] : nullptr) : sources[0]);
    if (planar && (plane[1] == nullptr || plane[2] == nullptr || (sourceAlpha && plane[3] == nullptr))) return;
    // Sample k of the current pixel: interleaved at pixel * step + k, planar at pixel.
    auto at = [&](int k, unsigned pixel) -> const uint8_t* {
        return planar ? plane[k] + size_t(pixel) * sourceBytes
                      : plane[0] + (size_t(pixel) * sourceStep + size_t(k)) * sourceBytes;
    };
    const int redIndex = sourceRedFirst_ ? 0 : 2, blueIndex = sourceRedFirst_ ? 2 : 0;
    TMaskRunner runner(mask);
    unsigned pixel = 0;
    uint8_t* t8 = static_cast<uint8_t*>(target);
    uint16_t* t16 = static_cast<uint16_t*>(target);
    for (unsigned x = 0; x < count; ++x) {
        if (runner.Next()) {
            uint16_t rgb[3];
            const int from[3] = {redIndex, 1, blueIndex};
            for (int c = 0; c < 3; ++c) {
                const uint8_t* p = at(from[c], pixel);
                if (wideTarget) rgb[c] = sourceBytes == 2 ? Read16(p) : uint16_t(*p * 65535 / 255);
                else if (sourceBytes == 2) rgb[c] = Sample16To8(Read16(p), gamma);
                else rgb[c] = gamma ? gammaTable_[*p] : *p;
            }
            const int order[3] = {targetRedFirst_ ? 0 : 2, 1, targetRedFirst_ ? 2 : 0};
            if (wideTarget) {
                uint16_t* t = t16 + size_t(x) * targetStep;
                for (int c = 0; c < 3; ++c) t[c] = rgb[order[c]];
                if (sourceAlpha && targetAlpha) t[3] = sourceBytes == 2 ? Read16(at(3, pixel)) : uint16_t(*at(3, pixel) * 257);
            } else {
                uint8_t* t = t8 + size_t(x) * targetStep;
                for (int c = 0; c < 3; ++c) t[c] = uint8_t(rgb[order[c]]);
                // Alpha is never gamma-corrected.
                if (sourceAlpha && targetAlpha)
                    t[3] = sourceBytes == 2 ? Sample16To8(Read16(at(3, pixel)), false) : *at(3, pixel);
            }
            ++pixel;
        }
    }
}

void TColorManager::RowCMYK(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const bool planar = sources.size() > 1;
    if (planar && sources.size() < 4) return;
    const int sourceBytes = sourceBPS_ == 16 ? 2 : 1;
    const int targetStep = (targetOptions_ & coAlpha) ? 4 : 3;
    uint8_t* t = static_cast<uint8_t*>(target);
    TMaskRunner runner(mask);
    unsigned pixel = 0;
    auto sample = [&](int k) -> unsigned {
        const uint8_t* p = planar ? static_cast<const uint8_t*>(sources[size_t(k)]) + size_t(pixel) * sourceBytes
                                  : static_cast<const uint8_t*>(sources[0]) + (size_t(pixel) * 4 + size_t(k)) * sourceBytes;
        return sourceBytes == 2 ? Read16(p) : *p;
    };
    for (unsigned x = 0; x < count; ++x) {
        if (!runner.Next()) continue;
        const unsigned k = sample(3);
        int rgb[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned v = sample(c);
            int ink = sourceBytes == 2 ? int(uint16_t(v - v * k / 65535 + k)) * 255 / 65535 : int(v - v * k / 255 + k);
            rgb[c] = std::clamp(255 - ink, 0, 255);
        }
        uint8_t* p = t + size_t(x) * targetStep;
        p[0] = uint8_t(targetRedFirst_ ? rgb[0] : rgb[2]);
        p[1] = uint8_t(rgb[1]);
        p[2] = uint8_t(targetRedFirst_ ? rgb[2] : rgb[0]);
        ++pixel;
    }
}

void TColorManager::RowCIELab(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const bool planar = sources.size() > 1;
    if (planar && sources.size() < 3) return;
    const int sourceStep = planar ? 1 : ((sourceOptions_ & coAlpha) ? 4 : 3);
    const int targetStep = (targetOptions_ & coAlpha) ? 4 : 3;
    uint8_t* t = static_cast<uint8_t*>(target);
    TMaskRunner runner(mask);
    unsigned pixel = 0;
    auto sample = [&](int k) -> uint8_t {
        return planar ? static_cast<const uint8_t*>(sources[size_t(k)])[pixel]
                      : static_cast<const uint8_t*>(sources[0])[size_t(pixel) * sourceStep + size_t(k)];
    };
    for (unsigned x = 0; x < count; ++x) {
        if (!runner.Next()) continue;
        double l = sample(0);
        if (sourceOptions_ & coLabByteRange) l /= 2.55;
        double a = (sourceOptions_ & coLabChromaOffset) ? sample(1) - 128.0 : double(int8_t(sample(1)));
        double b = (sourceOptions_ & coLabChromaOffset) ? sample(2) - 128.0 : double(int8_t(sample(2)));
        const double fy = (l + 16) / 116;
        double X, Y, Z;
        if (l < 7.9996) {
            Y = l / 903.3;
            X = a / 3893.5 + Y;
            Z = Y - b / 1557.4;
        } else {
            X = std::pow(a / 500 + fy, 3);
            Y = fy * fy * fy;
            Z = std::pow(fy - b / 200, 3);
        }
        const int red = std::clamp(RoundEven((2.998 * X - 1.458 * Y - 0.541 * Z) * 255), 0, 255);
        const int green = std::clamp(RoundEven((-0.952 * X + 1.893 * Y + 0.059 * Z) * 255), 0, 255);
        const int blue = std::clamp(RoundEven((0.099 * X - 0.198 * Y + 1.099 * Z) * 255), 0, 255);
        uint8_t* p = t + size_t(x) * targetStep;
        p[0] = uint8_t(targetRedFirst_ ? red : blue);
        p[1] = uint8_t(green);
        p[2] = uint8_t(targetRedFirst_ ? blue : red);
        ++pixel;
    }
}

void TColorManager::RowYCbCr(const std::vector<const void*>& sources, void* target, unsigned count, uint8_t mask)
{
    const bool planar = sources.size() > 1;
    if (planar && sources.size() < 3) return;
    const int targetStep = (targetOptions_ & coAlpha) ? 4 : 3;
    uint8_t* t = static_cast<uint8_t*>(target);
    TMaskRunner runner(mask);
    unsigned pixel = 0;
    auto sample = [&](int k) -> uint8_t {
        return planar ? static_cast<const uint8_t*>(sources[size_t(k)])[pixel]
                      : static_cast<const uint8_t*>(sources[0])[size_t(pixel) * 3 + size_t(k)];
    };
    for (unsigned x = 0; x < count; ++x) {
        if (!runner.Next()) continue;
        const int y = sample(0), cb = sample(1), cr = sample(2);
        const int red = std::clamp(y + crToRed_[cr], 0, 255);
        const int green = std::clamp(y + cbToGreen_[cb] + crToGreen_[cr], 0, 255);
        const int blue = std::clamp(y + cbToBlue_[cb], 0, 255);
        uint8_t* p = t + size_t(x) * targetStep;
        p[0] = uint8_t(targetRedFirst_ ? red : blue);
        p[1] = uint8_t(green);
        p[2] = uint8_t(targetRedFirst_ ? blue : red);
        ++pixel;
    }
}

// ---------------------------------------------------------------------------
// TPNGGraphic

namespace {

const uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Chunk types compare without the case bit of each byte.
constexpr uint32_t ChunkId(const char (&s)[5])
{
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint8_t(s[3]);
}
constexpr uint32_t kCaseBits = 0x20202020;
constexpr uint32_t kIHDR = ChunkId("IHDR"), kIDAT = ChunkId("IDAT"), kIEND = ChunkId("IEND"),
                   kPLTE = ChunkId("PLTE"), kgAMA = ChunkId("gAMA"), kbKGD = ChunkId("bKGD"),
                   ktRNS = ChunkId("tRNS");

const int kAdam7StartRow[7] = {0, 0, 4, 0, 2, 0, 1};
const int kAdam7RowStep[7] = {8, 8, 8, 4, 4, 2, 2};
const int kAdam7StartColumn[7] = {0, 4, 0, 2, 0, 1, 0};
const int kAdam7ColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};
const uint8_t kAdam7Mask[7] = {0x80, 0x08, 0x88, 0x22, 0xAA, 0x55, 0xFF};

// zlib never inflates more than this many bytes per input byte; a header that
// claims more image data than the rest of the stream could hold is refused
// before anything is allocated for it.
constexpr int64_t kMaxInflateRatio = 1032;

uint8_t PaethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return uint8_t(a);
    if (pb <= pc) return uint8_t(b);
    return uint8_t(c);
}

void Unfilter(uint8_t* row, const uint8_t* previous, size_t n, size_t bpp)
{
    const uint8_t filter = row[0];
    uint8_t* cur = row + 1;
    const uint8_t* up = previous + 1;
    switch (filter) {
    case 1:
        for (size_t i = bpp; i < n; ++i) cur[i] = uint8_t(cur[i] + cur[i - bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i) cur[i] = uint8_t(cur[i] + up[i]);
        break;
    case 3:
        for (size_t i = 0; i < n; ++i) {
            const int left = i >= bpp ? cur[i - bpp] : 0;
            cur[i] = uint8_t(cur[i] + (left + up[i]) / 2);
        }
        break;
    case 4:
        for (size_t i = 0; i < n; ++i) {
            const int left = i >= bpp ? cur[i - bpp] : 0;
            const int upperLeft = i >= bpp ? up[i - bpp] : 0;
            cur[i] = uint8_t(cur[i] + PaethPredictor(left, up[i], upperLeft));
        }
        break;
    default: break; // 0, and unknown types leave the row as inflated
    }
}

TColor RGBColor(int r, int g, int b) { return TColor(r | (g << 8) | (b << 16)); }

} // namespace

// The state of one load; everything here is released when the load ends.
struct TPNGGraphic::TLoad {
    TPNGGraphic& Graphic;
    tw::TStream& Stream;
    TColorManager& Manager;
    int64_t StreamStart = 0;
    TRect ProgressRect;

    // Image header.
    uint32_t Width = 0, Height = 0;
    uint8_t BitDepth = 0, ColorType = 0, Compression = 0, Interlace = 0;

    std::unique_ptr<TLZ77Decoder> Decoder;
    std::vector<uint8_t> Buffer;    // data of the last chunk read
    const uint8_t* ReadPosition = nullptr;
    const uint8_t* BufferEnd = nullptr;
    uint32_t ChunkLength = 0;
    uint32_t ChunkType = 0;
    uint32_t Crc = 0;

    int SourceBPP = 0;
    bool DepthSetUp = false;
    bool ImageDecoded = false;
    bool HavePalette = false;
    TPalette PendingPalette;
    // tRNS of a grey or RGB picture, resolved when the image data starts.
    bool HaveTransparency = false;
    int TransparentGray = 0;
    int TransparentRGB[3] = {0, 0, 0};

    TLoad(TPNGGraphic& g, tw::TStream& s) : Graphic(g), Stream(s), Manager(g.colorManager_) {}
    ~TLoad()
    {
        // On error the decoder's destructor ends its stream; the buffers go
        // with this object. A progress handler must not throw out of here.
        try {
            Progress(psEnding, 0, false, "");
        } catch (...) {
            // The load has already ended; there is nobody left to tell.
        }
    }

    void Progress(TProgressStage stage, int percent, bool redraw, const std::string& msg)
    {
        if (Graphic.OnProgress) Graphic.OnProgress(Graphic, stage, percent, redraw, ProgressRect, msg);
    }

    bool IsChunk(uint32_t id) const { return (ChunkType | kCaseBits) == (id | kCaseBits); }
    bool Ancillary() const { return (ChunkType >> 24) & 0x20; }

    void ReadChunkHeader()
    {
        uint8_t header[8];
        Stream.ReadBuffer(header, 8);
        ChunkLength = BigEndian32(header);
        ChunkType = BigEndian32(header + 4);
        Crc = Crc32Update(0, header + 4, 4);
    }

    // A chunk whose CRC fails in the properties scan makes the picture one
    // of an unexpected format; later, it is a CRC error.
    void ReadChunkData(bool scanning = false)
    {
        // A length is only believed as far as the stream has bytes for it:
        // a damaged length must not make us allocate gigabytes.
        const int64_t left = Stream.Size() - Stream.Position();
        if (int64_t(ChunkLength) + 4 > left) throw tw::EReadError("Stream read error");
        Buffer.resize(ChunkLength);
        Stream.ReadBuffer(Buffer.data(), ChunkLength);
        uint8_t stored[4];
        Stream.ReadBuffer(stored, 4);
        Crc = Crc32Update(Crc, Buffer.data(), Buffer.size());
        if (Crc == BigEndian32(stored)) return;
        if (scanning) RaiseInvalidFormat();
        RaiseInvalid("Cannot load image. CRC error found in %s file.");
    }

    void SkipChunk() { Stream.Seek(int64_t(ChunkLength) + 4, tw::soCurrent); }

    void ScanProperties();
    int64_t ImageDataBytes();
    void ReadHeader();
    void SetUpColorDepth();
    void ReadBackground();
    void ReadTransparency();
    void DecodeImageData();
    bool InflateRow(uint8_t* target, uint32_t count);
    void Run();
};

void TPNGGraphic::TLoad::ScanProperties()
{
    uint8_t signature[8];
    Stream.ReadBuffer(signature, 8);
    if (std::memcmp(signature, kSignature, 8) != 0) RaiseInvalidFormat();
    ReadChunkHeader();
    if (!IsChunk(kIHDR)) RaiseInvalidFormat();
    ReadChunkData(true);
    // A header too short for its fields is as broken as a missing one.
    if (Buffer.size() < 13) RaiseInvalidFormat();
    // The image header summary: the chunks read below reuse the buffer.
    Width = BigEndian32(Buffer.data());
    Height = BigEndian32(Buffer.data() + 4);
    if (Width == 0 || Height == 0) RaiseInvalidFormat();
    for (;;) {
        ReadChunkHeader();
        if (IsChunk(kgAMA)) {
            ReadChunkData(true);
            break;
        }
        if (IsChunk(kIEND)) break;
        SkipChunk();
    }
}

void TPNGGraphic::TLoad::ReadHeader()
{
    ReadChunkData();
    if (Buffer.size() < 13) RaiseInvalidFormat();
    Width = BigEndian32(Buffer.data());
    Height = BigEndian32(Buffer.data() + 4);
    BitDepth = Buffer[8];
    ColorType = Buffer[9];
    Compression = Buffer[10];
    Interlace = Buffer[12];
    if (Compression != 0)
        throw EInvalidGraphic(tw::Format("Cannot load image. %s not supported for %s files.",
                                         "The compression scheme is", kFormatName));
    // Sizes beyond what a skin can show, or beyond what the image data can
    // inflate to, are damage, not pictures. The image data of a row is
    // every sample of every pixel plus its filter byte; the picture's IDAT
    // chunks must hold at least the compressed form of all rows. Other
    // chunks count for nothing: a padding chunk that an archive packs away
    // to a few bytes would otherwise buy a picture of hundreds of megabytes.
    if (!PictureSizeAllowed(Width, Height)) RaiseInvalidFormat();
    const int samples = ColorType == 2 ? 3 : ColorType == 4 ? 2 : ColorType == 6 ? 4 : 1;
    const int64_t rawRow = (int64_t(Width) * BitDepth * samples + 7) / 8 + 1;
    // A picture without image data is never made, whatever its size.
    int64_t packed = ImageDataBytes();
    if (Graphic.SourceBytesLimit >= 0) packed = std::min(packed, Graphic.SourceBytesLimit);
    if (packed >= 0 && rawRow * int64_t(Height) > kMaxInflateRatio * packed) RaiseInvalidFormat();
    Decoder = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false);
    Decoder->BeginDecoding();
}

// The bytes of the image data the decoder will read: the run of IDAT chunks
// that comes first, each counted as far as the stream really holds it; -1
// when there is none. Only chunk headers are read; the stream is left where
// it stood.
int64_t TPNGGraphic::TLoad::ImageDataBytes()
{
    const int64_t start = Stream.Position(), size = Stream.Size();
    int64_t at = start, total = -1;
    bool inRun = false;
    while (size - at >= 8) {
        uint8_t header[8];
        Stream.SetPosition(at);
        Stream.ReadBuffer(header, 8);
        const int64_t length = BigEndian32(header);
        const uint32_t type = BigEndian32(header + 4);
        const bool idat = (type | kCaseBits) == (kIDAT | kCaseBits);
        if (idat) total = std::max<int64_t>(total, 0) + std::min(length, size - at - 8);
        else if (inRun || (type | kCaseBits) == (kIEND | kCaseBits)) break;
        inRun = idat;
        at += 8 + length + 4;
    }
    Stream.SetPosition(start);
    return total;
}

void TPNGGraphic::TLoad::SetUpColorDepth()
{
    const int d = BitDepth;
    auto accepts = [d](std::initializer_list<int> depths) {
        if (std::find(depths.begin(), depths.end(), d) == depths.end())
            RaiseInvalid("Invalid color format in %s file.");
    };
    auto configure = [&](TColorLayout source, TColorLayout target, int targetBits, int samples) {
        Manager.SetSourceColorScheme(source);
        Manager.SetTargetColorScheme(target);
        Manager.SetSourceBitsPerSample(d);
        Manager.SetTargetBitsPerSample(targetBits);
        Manager.SetSourceSamplesPerPixel(samples);
        Manager.SetTargetSamplesPerPixel(samples);
    };
    switch (ColorType) {
    case 0:
        accepts({1, 2, 4, 8, 16});
        configure(TColorLayout::Gray, TColorLayout::Gray, d == 2 ? 4 : d == 16 ? 8 : d, 1);
        SourceBPP = (d + 7) / 8;
        break;
    case 2:
        accepts({8, 16});
        configure(TColorLayout::RGB, TColorLayout::BGR, 8, 3);
        SourceBPP = d * 3 / 8;
        break;
    case 3:
        accepts({1, 2, 4, 8});
        configure(TColorLayout::Indexed, TColorLayout::Indexed, d == 2 ? 4 : d, 1);
        SourceBPP = 1;
        break;
    case 4:
        // Only the grey samples are kept: an opaque 8-bit grey picture.
        accepts({8, 16});
        configure(TColorLayout::GrayAlpha, TColorLayout::Indexed, 8, 1);
        SourceBPP = d * 2 / 8;
        break;
    case 6:
        accepts({8, 16});
        configure(TColorLayout::RGBA, TColorLayout::BGRA, 8, 4);
        SourceBPP = d * 4 / 8;
        break;
    default: RaiseInvalid("Invalid color format in %s file.");
    }
    if (ColorType == 0 || ColorType == 4) {
        PendingPalette = Manager.MakeGrayPalette(false);
        HavePalette = true;
    }
    DepthSetUp = true;
}

void TPNGGraphic::TLoad::ReadBackground()
{
    ReadChunkData();
    const uint8_t* p = Buffer.data();
    // A chunk too short for its colour is ignored, like any damaged
    // ancillary chunk.
    auto level = [&](uint16_t v) -> int {
        if (BitDepth == 2) return v * 15 / 3;
        if (BitDepth == 16) return v * 255 / 65535;
        return v & 0xFF;
    };
    auto sample = [&](uint16_t v) -> int { return BitDepth == 16 ? v * 255 / 65535 : v & 0xFF; };
    if (ColorType == 0 || ColorType == 4) {
        if (Buffer.size() >= 2) Graphic.backgroundColor_ = level(BigEndian16(p));
    } else if (ColorType == 2 || ColorType == 6) {
        if (Buffer.size() >= 6)
            Graphic.backgroundColor_ = RGBColor(sample(BigEndian16(p)), sample(BigEndian16(p + 2)), sample(BigEndian16(p + 4)));
    } else if (!Buffer.empty()) {
        Graphic.backgroundColor_ = p[0];
    }
}

void TPNGGraphic::TLoad::ReadTransparency()
{
    ReadChunkData();
    const uint8_t* p = Buffer.data();
    auto sample = [&](uint16_t v) -> int { return BitDepth == 16 ? v * 255 / 65535 : v & 0xFF; };
    if (ColorType == 0 && Buffer.size() >= 2) {
        const uint16_t v = BigEndian16(p);
        TransparentGray = BitDepth == 2 ? v * 15 / 3 : sample(v);
        HaveTransparency = true;
    } else if (ColorType == 2 && Buffer.size() >= 6) {
        for (int c = 0; c < 3; ++c) TransparentRGB[c] = sample(BigEndian16(p + 2 * c));
        HaveTransparency = true;
    }
}

// False when the image data ran out before the row was complete.
bool TPNGGraphic::TLoad::InflateRow(uint8_t* target, uint32_t count)
{
    uint8_t* out = target;
    uint32_t pending = count;
    while (pending > 0) {
        if (Decoder->AvailableInput() == 0 || ReadPosition == nullptr) {
            uint32_t imageDataLeft = 0;
            while (imageDataLeft == 0) {
                if (!IsChunk(kIDAT)) return false;
                ReadChunkData();
                ReadPosition = Buffer.data();
                BufferEnd = Buffer.data() + Buffer.size();
                imageDataLeft = ChunkLength;
                ReadChunkHeader();
            }
        }
        Decoder->Decode(ReadPosition, out, uint32_t(BufferEnd - ReadPosition), pending);
        if (Decoder->LastResult() == Z_STREAM_END) {
            if (Decoder->AvailableOutput() > 0 || Decoder->AvailableInput() > 0)
                RaiseInvalid("Cannot load image. Extra compressed data found in %s file.");
            return true;
        }
        if (Decoder->LastResult() != Z_OK) RaiseInvalid("Cannot load image. Compression error found in %s file.");
        pending = count - uint32_t(out - target);
    }
    return true;
}

void TPNGGraphic::TLoad::DecodeImageData()
{
    Progress(psStarting, 0, false, "Transfering...");
    if (!DepthSetUp) SetUpColorDepth();
    const int pixelBytes = BitDepth == 16 ? SourceBPP / 2 : SourceBPP;

    const int bpp = Manager.TargetPixelFormat(1);
    Graphic.Allocate(int(Width), int(Height), bpp);
    if (HavePalette) Graphic.palette_ = PendingPalette;

    // Fill with the background colour: where image data is missing the
    // picture shows it. Palette pictures take it as the level or index it is.
    const TColor bg = Graphic.backgroundColor_;
    for (int y = 0; y < Graphic.height_; ++y) {
        uint8_t* line = Graphic.ScanLine(y);
        if (bpp == 24 || bpp == 32) {
            const int step = bpp / 8;
            for (int x = 0; x < Graphic.width_; ++x) {
                line[x * step] = uint8_t(bg >> 16);
                line[x * step + 1] = uint8_t(bg >> 8);
                line[x * step + 2] = uint8_t(bg);
                if (step == 4) line[x * step + 3] = 0xFF;
            }
        } else {
            const int maxIndex = (1 << bpp) - 1;
            int index = bg >= 0 && bg <= maxIndex ? bg : maxIndex;
            uint8_t pattern = 0;
            for (int k = 0; k < 8 / bpp; ++k) pattern = uint8_t((pattern << bpp) | index);
            std::memset(line, pattern, size_t(Graphic.rowBytes_));
        }
    }

    // The transparent colour is the colour those pixels are shown in: the
    // palette's level for grey pictures, gamma applied where the pixels get it.
    if (HaveTransparency) {
        if (ColorType == 0) {
            const TPalette& pal = Graphic.palette_;
            if (size_t(TransparentGray) < pal.size()) {
                const TPaletteEntry& e = pal[size_t(TransparentGray)];
                Graphic.transparentColor_ = RGBColor(e.Red, e.Green, e.Blue);
            } else {
                Graphic.transparentColor_ = RGBColor(TransparentGray, TransparentGray, TransparentGray);
            }
        } else {
            int c[3] = {TransparentRGB[0], TransparentRGB[1], TransparentRGB[2]};
            if (Manager.TargetOptions() & coApplyGamma)
                for (int& v : c) v = Manager.GammaTable()[v];
            Graphic.transparentColor_ = RGBColor(c[0], c[1], c[2]);
        }
        Graphic.transparent_ = true;
    }

    const size_t rowSize = (size_t(Width) * BitDepth + 7) / 8 * size_t(pixelBytes) + 1;
    std::vector<uint8_t> rowA(rowSize, 0), rowB(rowSize, 0);
    uint8_t* current = rowA.data();
    uint8_t* previous = rowB.data();
    auto convert = [&](int y, uint8_t mask) {
        Manager.ConvertRow({current + 1}, Graphic.ScanLine(y), Width, mask);
    };

    // Image data that runs out leaves the rest of the picture as filled.
    if (Interlace == 1) {
        for (int pass = 0; pass < 7; ++pass) {
            if (uint32_t(kAdam7StartColumn[pass]) >= Width) continue;
            const uint32_t passWidth =
                (Width + uint32_t(kAdam7ColumnStep[pass]) - 1 - uint32_t(kAdam7StartColumn[pass])) /
                uint32_t(kAdam7ColumnStep[pass]);
            const size_t passRow = (size_t(passWidth) * BitDepth + 7) / 8 * size_t(pixelBytes) + 1;
            std::fill(previous, previous + rowSize, 0);
            for (uint32_t y = uint32_t(kAdam7StartRow[pass]); y < Height; y += uint32_t(kAdam7RowStep[pass])) {
                if (!InflateRow(current, uint32_t(passRow))) break;
                Unfilter(current, previous, passRow - 1, size_t(SourceBPP));
                convert(int(y), kAdam7Mask[pass]);
                std::swap(current, previous);
                if (pass == 6) {
                    Progress(psRunning, MulDiv(int64_t(y) + kAdam7RowStep[pass], 100, Height), true, "");
                    ProgressRect.Offset(0, 1);
                }
            }
        }
    } else {
        for (uint32_t y = 0; y < Height; ++y) {
            if (!InflateRow(current, uint32_t(rowSize))) break;
            Unfilter(current, previous, rowSize - 1, size_t(SourceBPP));
            convert(int(y), 0xFF);
            std::swap(current, previous);
            Progress(psRunning, MulDiv(y, 100, Height), true, "");
            ProgressRect.Offset(0, 1);
        }
    }
    while (IsChunk(kIDAT)) {
        ReadChunkData();
        ReadChunkHeader();
    }
}

void TPNGGraphic::TLoad::Run()
{
    StreamStart = Stream.Position();
    ScanProperties();
    Stream.SetPosition(StreamStart + 8);
    ProgressRect = TRect(0, 0, int(std::min<uint32_t>(Width, INT32_MAX)), 1);
    Progress(psStarting, 0, false, "Preparing...");

    Graphic.transparentColor_ = clNone;
    Graphic.backgroundColor_ = 0xFFFFFF;
    ReadChunkHeader();
    Buffer.clear();
    Manager.SetSourceOptions(coNeedByteSwap);
    // Each load stands alone: a gamma of an earlier picture must not change
    // this one's colours.
    Manager.SetTargetOptions(Manager.TargetOptions() & ~unsigned(coApplyGamma));
    ReadHeader();

    for (;;) {
        ReadChunkHeader();
        if (IsChunk(kIDAT) && ImageDecoded) {
            // Image data is one run. A later run, after another chunk, is
            // read with its CRC test and dropped: making and filling the
            // picture again for every such run would let a small file cost
            // the picture's size many times over.
            while (IsChunk(kIDAT)) {
                ReadChunkData();
                ReadChunkHeader();
            }
        } else if (IsChunk(kIDAT)) {
            Progress(psEnding, 0, false, "");
            DecodeImageData();
            ImageDecoded = true;
            // Falls through to the rule for other chunks with the header
            // that ended the image data.
        } else if (IsChunk(kPLTE)) {
            if (ChunkLength % 3 != 0) RaiseInvalid("Cannot load image. Palette in %s file is invalid.");
            ReadChunkData();
            if (ColorType == 3) {
                SetUpColorDepth();
                PendingPalette = Manager.MakeColorPalette({Buffer.data()}, 0, int(ChunkLength / 3), false);
                HavePalette = true;
            }
            continue;
        } else if (IsChunk(kgAMA)) {
            ReadChunkData();
            if (Buffer.size() >= 4) {
                const float gamma = float(double(BigEndian32(Buffer.data())) / 100000.0);
                // The table maps 8-bit samples and palette levels to 8 bits,
                // whatever depth the manager holds now. That depth stays: a
                // palette picture of 1, 2 or 4 bits set it up at its palette,
                // and its indices must not be rescaled past the palette.
                const int targetBits = Manager.TargetBitsPerSample();
                Manager.SetTargetBitsPerSample(8);
                Manager.SetGamma(gamma, 2.2f);
                Manager.SetTargetBitsPerSample(targetBits);
                Manager.SetTargetOptions(Manager.TargetOptions() | coApplyGamma);
            }
            continue;
        } else if (IsChunk(kbKGD)) {
            ReadBackground();
            continue;
        } else if (IsChunk(ktRNS)) {
            ReadTransparency();
            continue;
        }
        SkipChunk();
        if (IsChunk(kIEND)) break;
        if (!Ancillary()) throw EInvalidGraphic("Cannot load PNG image. Unexpected but critical chunk detected.");
    }
    // A picture without image data loads empty: the skin's options reader
    // skips a picture of no width and keeps the others.
    Decoder->EndDecoding();
    Decoder.reset();
}

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

void TPNGGraphic::ReleaseImage()
{
    width_ = height_ = bitsPerPixel_ = 0;
    rowBytes_ = 0;
    bits_.clear();
    bits_.shrink_to_fit();
    palette_.clear();
    transparent_ = false;
}

void TPNGGraphic::Allocate(int width, int height, int bitsPerPixel)
{
    ReleaseImage();
    width_ = width;
    height_ = height;
    bitsPerPixel_ = bitsPerPixel;
    rowBytes_ = ptrdiff_t((int64_t(width) * bitsPerPixel + 31) / 32 * 4);
    bits_.assign(size_t(rowBytes_) * size_t(height), 0);
}

void TPNGGraphic::LoadFromStream(tw::TStream& stream)
{
    ReleaseImage();
    TLoad load(*this, stream);
    load.Run();
}

void TPNGGraphic::LoadFromMemory(const void* data, size_t size)
{
    TMemoryReader reader(data, size);
    LoadFromStream(reader);
}

void TPNGGraphic::LoadFromFile(const std::string& fileName)
{
    tw::TMemoryStream s;
    s.LoadFromFile(fileName);
    LoadFromStream(s);
}

namespace {

// Expands the rows of a palette picture of Bits bits per pixel to 24-bit
// BGR through a table of what each source byte becomes (its 8, 2 or 1
// pixels): one look-up and one fixed-size copy per byte, not a shift, a mask
// and a palette check per pixel. A picture of a few kilobytes may declare
// the largest size a skin accepts; its expansion must cost no more than
// copying the result.
template <int Bits>
void ExpandPaletteRows(const TPNGGraphic& g, const TPalette& palette, const TPixelView& v)
{
    constexpr int kPerByte = 8 / Bits;
    constexpr int kEntry = kPerByte * 3;
    constexpr int kIndexMask = (1 << Bits) - 1;
    std::vector<uint8_t> table(256 * size_t(kEntry));
    for (int b = 0; b < 256; ++b) {
        for (int k = 0; k < kPerByte; ++k) {
            const int index = (b >> (8 - Bits * (k + 1))) & kIndexMask;
            // Indices beyond a short palette show black, as in a DIB.
            const TPaletteEntry e = size_t(index) < palette.size() ? palette[size_t(index)] : TPaletteEntry{};
            uint8_t* d = &table[size_t(b) * kEntry + size_t(k) * 3];
            d[0] = e.Blue;
            d[1] = e.Green;
            d[2] = e.Red;
        }
    }
    const int width = g.Width();
    const int wholeBytes = width / kPerByte;
    const int restPixels = width % kPerByte;
    for (int y = 0; y < g.Height(); ++y) {
        const uint8_t* src = g.ScanLine(y);
        uint8_t* dst = v.Row(y);
        for (int i = 0; i < wholeBytes; ++i, dst += kEntry) {
            const uint8_t* t = &table[size_t(src[i]) * kEntry];
            if constexpr (kEntry == 3) {
                dst[0] = t[0];
                dst[1] = t[1];
                dst[2] = t[2];
            } else {
                std::memcpy(dst, t, kEntry);
            }
        }
        if (restPixels > 0) std::memcpy(dst, &table[size_t(src[wholeBytes]) * kEntry], size_t(restPixels) * 3);
    }
}

} // namespace

TPixelImage TPNGGraphic::Image() const
{
    if (Empty()) return TPixelImage();
    if (bitsPerPixel_ == 32) return Image32();
    TPixelImage image(width_, height_, 24);
    const TPixelView& v = image.View();
    switch (bitsPerPixel_) {
    case 24:
        for (int y = 0; y < height_; ++y) std::memcpy(v.Row(y), ScanLine(y), size_t(width_) * 3);
        break;
    case 1: ExpandPaletteRows<1>(*this, palette_, v); break;
    case 4: ExpandPaletteRows<4>(*this, palette_, v); break;
    case 8: ExpandPaletteRows<8>(*this, palette_, v); break;
    default: break;   // no other depth is ever loaded
    }
    return image;
}

TPixelImage TPNGGraphic::Image32() const
{
    if (Empty()) return TPixelImage();
    TPixelImage image(width_, height_, 32);
    const TPixelView& v = image.View();
    if (bitsPerPixel_ == 32) {
        for (int y = 0; y < height_; ++y) std::memcpy(v.Row(y), ScanLine(y), size_t(width_) * 4);
        return image;
    }
    const TPixelImage rgb = Image();
    for (int y = 0; y < height_; ++y) {
        const uint8_t* src = rgb.View().Row(y);
        uint8_t* dst = v.Row(y);
        for (int x = 0; x < width_; ++x) {
            dst[x * 4] = src[x * 3];
            dst[x * 4 + 1] = src[x * 3 + 1];
            dst[x * 4 + 2] = src[x * 3 + 2];
            dst[x * 4 + 3] = 0xFF;
        }
    }
    return image;
}

} // namespace skin
