#pragma once
// Builds small PNG files in code for the reader's tests: chunks with real
// CRCs and image data deflated by zlib.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace skin::test {

using Bytes = std::vector<uint8_t>;

// Appends by resizing first: GCC 12 warns wrongly about small inserts.
inline void Append(Bytes& to, const uint8_t* data, size_t n)
{
    if (n == 0) return;
    const size_t at = to.size();
    to.resize(at + n);
    std::memcpy(to.data() + at, data, n);
}
inline void Append(Bytes& to, const Bytes& b) { Append(to, b.data(), b.size()); }

inline void Put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

inline Bytes Chunk(const char* type, const Bytes& data)
{
    Bytes c(12 + data.size());
    Put32(c.data(), uint32_t(data.size()));
    std::memcpy(c.data() + 4, type, 4);
    if (!data.empty()) std::memcpy(c.data() + 8, data.data(), data.size());
    Put32(c.data() + 8 + data.size(), uint32_t(crc32(0, c.data() + 4, uInt(4 + data.size()))));
    return c;
}

inline Bytes Ihdr(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace = 0)
{
    Bytes d(13, 0);
    Put32(d.data(), w);
    Put32(d.data() + 4, h);
    d[8] = depth;
    d[9] = colorType;
    d[12] = interlace;
    return d;
}

inline Bytes Deflate(const Bytes& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
    out.resize(size);
    return out;
}

inline const Bytes& Signature()
{
    static const Bytes sig = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    return sig;
}

// A whole file: signature, IHDR, the chunks before the image data, one IDAT
// of the raw (already filtered) rows, the chunks after it, IEND.
inline Bytes Png(const Bytes& ihdr, const Bytes& rawRows, const std::vector<Bytes>& before = {},
                 const std::vector<Bytes>& after = {})
{
    Bytes f = Signature();
    auto add = [&](const Bytes& b) { Append(f, b); };
    add(Chunk("IHDR", ihdr));
    for (const Bytes& c : before) add(c);
    add(Chunk("IDAT", Deflate(rawRows)));
    for (const Bytes& c : after) add(c);
    add(Chunk("IEND", {}));
    return f;
}

} // namespace skin::test
