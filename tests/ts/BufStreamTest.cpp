// The read-ahead file stream and CRC-32/MPEG-2.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "ts/BufStream.h"
#include "ts/dvb_crc32.h"
#include "base/Exceptions.h"
#include <algorithm>

using namespace tw;
using namespace tw::test;

TEST(Crc32Mpeg, CheckValueAndSections) {
    const char* check = "123456789";
    EXPECT_EQ(Crc32Mpeg(check, 0xFFFFFFFFu, 9), 0x0376E6E7u);
    EXPECT_EQ(Crc32Mpeg(check, 0x12345678u, 0), 0x12345678u);
    const Bytes pat = PatSection(1, 0, {{1, 0x100}, {2, 0x200}});
    EXPECT_EQ(Crc32Mpeg(pat.data(), 0xFFFFFFFFu, static_cast<int64_t>(pat.size())), 0u);
    // Computing in pieces continues from the caller's start value.
    const uint32_t part = Crc32Mpeg(check, 0xFFFFFFFFu, 4);
    EXPECT_EQ(Crc32Mpeg(check + 4, part, 5), 0x0376E6E7u);
}

// The block-wise computation against the polynomial bit by bit: every length
// around the eight-byte steps, from every alignment, from several start values.
TEST(Crc32Mpeg, AgreesWithTheBitwiseDefinition) {
    auto bitwise = [](const uint8_t* p, uint32_t crc, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            crc ^= uint32_t(p[i]) << 24;
            for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
        }
        return crc;
    };
    Bytes data(220);
    uint32_t seed = 1;
    for (uint8_t& b : data) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 23);
    }
    for (uint32_t start : {0xFFFFFFFFu, 0u, 0x80000001u})
        for (size_t offset = 0; offset < 8; ++offset)
            for (size_t n : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(15), size_t(16), size_t(17),
                             size_t(184), size_t(188), size_t(212)})
                ASSERT_EQ(Crc32Mpeg(data.data() + offset, start, static_cast<int64_t>(n)),
                          bitwise(data.data() + offset, start, n))
                    << "start " << start << ", offset " << offset << ", length " << n;
}

namespace {

Bytes Counting(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return b;
}

} // namespace

TEST(TBufFileStream, ReadsMatchTheFileWhateverTheBufferSize) {
    TempFile f;
    const Bytes data = Counting(10000);
    f.Write(data);
    for (int bufSize : {0, 1, 188, 1000, 4096, 131072}) {
        TBufFileStream s(f.Name(), fmOpenRead, bufSize);
        EXPECT_EQ(s.FileSize(), 10000);
        uint8_t buf[700];
        int64_t pos = 0;
        // Forward in odd steps, with a jump back now and then.
        for (int round = 0; pos < 10000; ++round) {
            const int64_t want = 1 + (round * 37) % 600;
            s.Seek(pos, soBeginning);
            const int64_t got = s.Read(buf, want);
            ASSERT_EQ(got, std::min<int64_t>(want, 10000 - pos)) << bufSize;
            ASSERT_EQ(0, std::memcmp(buf, data.data() + pos, static_cast<size_t>(got))) << bufSize << " " << pos;
            EXPECT_EQ(s.Position(), pos + got);
            pos += got;
            if (round % 5 == 4 && pos > 300) pos -= 300;
        }
        // At the end: nothing more, and the position stays.
        s.Seek(10000, soBeginning);
        EXPECT_EQ(s.Read(buf, 10), 0);
        EXPECT_EQ(s.Position(), 10000);
    }
}

TEST(TBufFileStream, BufferWindowFollowsTheRequests) {
    TempFile f;
    f.Write(Counting(5000));
    TBufFileStream s(f.Name(), fmOpenRead, 1000);
    uint8_t buf[1001];
    s.Read(buf, 10);
    EXPECT_EQ(s.BufferStart(), 0);
    EXPECT_EQ(s.BufferEnd(), 1000);
    // A request ending exactly at the buffer's end refills from its position.
    s.Seek(990, soBeginning);
    s.Read(buf, 10);
    EXPECT_EQ(s.BufferStart(), 990);
    EXPECT_EQ(s.BufferEnd(), 1990);
    // Requests larger than the buffer bypass it.
    s.Seek(0, soBeginning);
    EXPECT_EQ(s.Read(buf, 1001), 1001);
    EXPECT_EQ(s.BufferStart(), 990);
    EXPECT_EQ(s.Position(), 1001);
}

TEST(TBufFileStream, WritesGoToTheFile) {
    TempFile f;
    f.Write(Counting(1000));
    {
        TBufFileStream s(f.Name(), fmOpenReadWrite, 0);
        s.Seek(100, soBeginning);
        const uint8_t x[3] = {1, 2, 3};
        EXPECT_EQ(s.Write(x, 3), 3);
        EXPECT_EQ(s.Position(), 103);
        uint8_t back[3];
        s.Seek(100, soBeginning);
        EXPECT_EQ(s.Read(back, 3), 3);
        EXPECT_EQ(0, std::memcmp(back, x, 3));
    }
    Bytes out = f.Read();
    EXPECT_EQ(out[101], 2);
    EXPECT_EQ(out.size(), 1000u);
}

TEST(TBufFileStream, MissingFileRaises) {
    EXPECT_THROW(TBufFileStream("/nonexistent/x.ts", fmOpenRead, 100), EFOpenError);
}

TEST(TBufFileStream, BufferedFastPathServesOnlyWhatReadWouldServeFromMemory) {
    TempFile f;
    const Bytes data = Counting(5000);
    f.Write(data);
    TBufFileStream s(f.Name(), fmOpenRead, 1000);
    uint8_t buf[188];
    // Nothing buffered yet: left to Read, which fills [0, 1000).
    s.SetPositionFast(0);
    EXPECT_FALSE(s.ReadBuffered(buf, 188));
    EXPECT_EQ(s.Read(buf, 188), 188);
    s.SetPositionFast(600);
    ASSERT_TRUE(s.ReadBuffered(buf, 188));
    EXPECT_EQ(0, std::memcmp(buf, data.data() + 600, 188));
    EXPECT_EQ(s.Position(), 788);
    // Ending exactly at the buffer's end is a refill for Read, so not served
    // here; the position stays for Read to take over.
    s.SetPositionFast(812);
    EXPECT_FALSE(s.ReadBuffered(buf, 188));
    EXPECT_EQ(s.Position(), 812);
    EXPECT_EQ(s.Read(buf, 188), 188);
    EXPECT_EQ(s.BufferStart(), 812);
    EXPECT_EQ(0, std::memcmp(buf, data.data() + 812, 188));
    // Before the buffer, and without any buffer at all.
    s.SetPositionFast(100);
    EXPECT_FALSE(s.ReadBuffered(buf, 188));
    TBufFileStream direct(f.Name(), fmOpenRead, 0);
    EXPECT_FALSE(direct.ReadBuffered(buf, 1));
}
