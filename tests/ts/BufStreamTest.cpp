// The read-ahead file stream and CRC-32/MPEG-2.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/TsBuilder.h"
#include "ts/BufStream.h"
#include "ts/dvb_crc32.h"
#include "base/Exceptions.h"
#include <algorithm>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

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

// Bytes written over what the buffer holds are read back as written, also
// where the write runs over either edge of the buffer.
TEST(TBufFileStream, BytesWrittenOverTheBufferAreReadBackAsWritten) {
    TempFile f;
    f.Write(Counting(5000));
    TBufFileStream s(f.Name(), fmOpenReadWrite, 1000);
    uint8_t buf[10];
    s.Seek(1000, soBeginning);
    ASSERT_EQ(s.Read(buf, 10), 10);
    ASSERT_EQ(s.BufferStart(), 1000);
    ASSERT_EQ(s.BufferEnd(), 2000);
    std::vector<uint8_t> x(40, 0xEE);
    for (int64_t at : {int64_t{1500}, int64_t{980}, int64_t{1980}}) {
        s.Seek(at, soBeginning);
        ASSERT_EQ(s.Write(x.data(), 40), 40);
        uint8_t back[40];
        const int64_t from = std::max<int64_t>(at, 1000);
        const int64_t to = std::min<int64_t>(at + 40, 1999);
        s.Seek(from, soBeginning);
        ASSERT_EQ(s.Read(back, to - from), to - from);
        EXPECT_EQ(s.BufferStart(), 1000) << at; // served from the buffer
        for (int64_t k = 0; k < to - from; ++k) EXPECT_EQ(back[k], 0xEE) << at << " +" << k;
    }
    // Bytes next to the written ones keep their values.
    s.Seek(1540, soBeginning);
    ASSERT_EQ(s.Read(buf, 1), 1);
    EXPECT_EQ(buf[0], Counting(5000)[1540]);
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

// A read-only stream reads ahead on a thread; a read-write one does not. Both
// must show callers the same buffer window and the same bytes, so the
// read-write twin on the same file is the reference for every step.
namespace {

struct TTwins {
    TBufFileStream Ahead;
    TBufFileStream Plain;
    TTwins(const std::string& name, int bufferSize)
        : Ahead(name, fmOpenRead | fmShareDenyNone, bufferSize), Plain(name, fmOpenReadWrite, bufferSize) {}

    // One read as the packet reader makes it: the fast path first, then Read.
    void ReadAt(int64_t position, int count, const Bytes& data) {
        uint8_t a[4096], p[4096];
        ASSERT_LE(count, 4096);
        Ahead.SetPositionFast(position);
        Plain.SetPositionFast(position);
        const bool fastA = Ahead.ReadBuffered(a, count);
        const bool fastP = Plain.ReadBuffered(p, count);
        ASSERT_EQ(fastA, fastP) << "at " << position;
        const int64_t gotA = fastA ? count : Ahead.Read(a, count);
        const int64_t gotP = fastP ? count : Plain.Read(p, count);
        const int64_t expected = std::max<int64_t>(0, std::min<int64_t>(count, static_cast<int64_t>(data.size()) - position));
        ASSERT_EQ(gotA, expected) << "at " << position;
        ASSERT_EQ(gotP, expected) << "at " << position;
        if (expected > 0) {
            ASSERT_EQ(0, std::memcmp(a, data.data() + position, static_cast<size_t>(expected))) << "at " << position;
        }
        ASSERT_EQ(Ahead.BufferStart(), Plain.BufferStart()) << "at " << position;
        ASSERT_EQ(Ahead.BufferEnd(), Plain.BufferEnd()) << "at " << position;
        ASSERT_EQ(Ahead.Position(), Plain.Position()) << "at " << position;
    }
};

} // namespace

TEST(TBufFileStream, ReadingAheadShowsTheSameWindowAndBytesWhenReadForward) {
    TempFile f;
    // A little over three chunks, ending in a broken packet.
    const Bytes data = Counting(3 * 1048576 + 188 * 1000 + 77);
    f.Write(data);
    for (int bufSize : {131072, 188 * 700, 4096}) {
        TTwins t(f.Name(), bufSize);
        ASSERT_TRUE(t.Ahead.ReadsAhead());
        ASSERT_FALSE(t.Plain.ReadsAhead());
        ASSERT_GE(t.Ahead.ChunkSize(), 2 * bufSize);
        // Packet after packet from an offset that is no divisor of anything,
        // as a reader after garbage at the start of a recording.
        for (int64_t pos = 5; pos < static_cast<int64_t>(data.size()) + 188; pos += 188) t.ReadAt(pos, 188, data);
        // A file of 192-byte packets is read in two pieces each.
        for (int64_t pos = 0; pos < static_cast<int64_t>(data.size()); pos += 192) {
            t.ReadAt(pos, 4, data);
            t.ReadAt(pos + 4, 188, data);
        }
    }
}

TEST(TBufFileStream, ReadingAheadSurvivesJumpsAroundItsChunks) {
    TempFile f;
    const Bytes data = Counting(4 * 1048576 + 1234);
    f.Write(data);
    TTwins t(f.Name(), 131072);
    const int64_t chunk = t.Ahead.ChunkSize();
    const int64_t size = static_cast<int64_t>(data.size());
    // Runs forward from just before and after every chunk edge, and back
    // across it, as the scans near the end of a recording do.
    for (int64_t edge = chunk; edge < size; edge += chunk) {
        for (int64_t start : {edge - 131072 - 3, edge - 190, edge - 188, edge - 1, edge, edge + 1}) {
            for (int64_t pos = start; pos < start + 3 * 131072 && pos < size; pos += 188) t.ReadAt(pos, 188, data);
            for (int64_t pos = start + 131072; pos > start - 2 * 131072 && pos >= 0; pos -= 188 * 50)
                t.ReadAt(pos, 188, data);
        }
    }
    // Packet by packet backwards, from the end and from inside the file, as
    // the readers look for the last time stamps; then forward again.
    for (int64_t from : {size - 188, size - 1000, 2 * chunk + 5, int64_t(131072 + 17)}) {
        for (int64_t pos = from; pos >= 0 && pos > from - 2 * chunk; pos -= 188) t.ReadAt(pos, 188, data);
        for (int64_t pos = from - 3 * 131072; pos < size && pos < from + 131072; pos += 188)
            if (pos >= 0) t.ReadAt(pos, 188, data);
    }
    // Scattered jumps, forward runs cut short, and reads at and past the end.
    uint32_t seed = 7;
    for (int k = 0; k < 400; ++k) {
        seed = seed * 1103515245u + 12345u;
        int64_t pos = static_cast<int64_t>(seed >> 8) % (size + 1000);
        const int run = static_cast<int>(seed % 2000);
        for (int r = 0; r < run && pos < size + 400; ++r, pos += 188) t.ReadAt(pos, 188, data);
    }
    uint8_t buf[188];
    t.Ahead.Seek(size, soBeginning);
    EXPECT_EQ(t.Ahead.Read(buf, 188), 0);
    EXPECT_EQ(t.Ahead.Position(), size);
    // A read larger than the buffer bypasses it, wherever the read ahead is.
    t.ReadAt(chunk - 10, 188, data);
    Bytes big(200000);
    t.Ahead.Seek(chunk - 5000, soBeginning);
    ASSERT_EQ(t.Ahead.Read(big.data(), static_cast<int64_t>(big.size())), static_cast<int64_t>(big.size()));
    EXPECT_EQ(0, std::memcmp(big.data(), data.data() + chunk - 5000, big.size()));
    t.ReadAt(chunk + 200000, 188, data);
}

TEST(TBufFileStream, StreamsWithoutBufferOrWrittenToDoNotReadAhead) {
    TempFile f;
    f.Write(Counting(100000));
    EXPECT_FALSE(TBufFileStream(f.Name(), fmOpenRead, 0).ReadsAhead());
    EXPECT_FALSE(TBufFileStream(f.Name(), fmOpenReadWrite, 131072).ReadsAhead());
    TBufFileStream s(f.Name(), fmOpenRead, 1000);
    EXPECT_TRUE(s.ReadsAhead());
}

TEST(TBufFileStream, ClosesWhileAChunkIsBeingReadAhead) {
    TempFile f;
    const Bytes data = Counting(5 * 1048576);
    f.Write(data);
    for (int64_t stop : {int64_t(2) * 1048576, int64_t(3) * 1048576 + 1000, int64_t(4) * 1048576 + 188}) {
        TBufFileStream s(f.Name(), fmOpenRead, 131072);
        uint8_t buf[188];
        for (int64_t pos = 0; pos < stop; pos += 188) {
            s.SetPositionFast(pos);
            if (!s.ReadBuffered(buf, 188)) ASSERT_EQ(s.Read(buf, 188), 188);
            ASSERT_EQ(0, std::memcmp(buf, data.data() + pos, 188)) << pos;
        }
    }
}

#ifdef __linux__
// A read that fails midway (here: the process's own memory read as a file,
// with a page taken out of it) ends the forward reading where it fails, with
// the platform's reason, whether a chunk was read ahead over the fault or
// not: the read-ahead forgets a failed chunk and the buffer's own read meets
// the fault again.
TEST(TBufFileStream, AReadFailureMidwayKeepsItsReason) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t bytes = 6 * 1048576;
    void* area = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(area, MAP_FAILED);
    auto* base = static_cast<uint8_t*>(area);
    for (size_t i = 0; i < bytes; ++i) base[i] = static_cast<uint8_t>(i * 7 + i / 256);
    const size_t hole = 4 * 1048576 + 3 * page;
    ASSERT_EQ(munmap(base + hole, page), 0);
    const int64_t start = static_cast<int64_t>(reinterpret_cast<uintptr_t>(base));
    try {
        TBufFileStream ahead("/proc/self/mem", fmOpenRead, 131072);
        TBufFileStream plain("/proc/self/mem", fmOpenReadWrite, 131072);
        ASSERT_TRUE(ahead.ReadsAhead());
        uint8_t a[188], p[188];
        int64_t pos = start;
        for (;; pos += 188) {
            ahead.SetPositionFast(pos);
            plain.SetPositionFast(pos);
            const int64_t gotA = ahead.ReadBuffered(a, 188) ? 188 : ahead.Read(a, 188);
            const int64_t gotP = plain.ReadBuffered(p, 188) ? 188 : plain.Read(p, 188);
            ASSERT_EQ(gotA, gotP) << pos - start;
            ASSERT_EQ(0, std::memcmp(a, base + (pos - start), static_cast<size_t>(gotA))) << pos - start;
            if (gotA < 188) break;
        }
        // It stops at the hole, not before, and says why.
        EXPECT_EQ(static_cast<size_t>(pos - start) / 188, hole / 188);
        EXPECT_FALSE(ahead.LastErrorText().empty());
        EXPECT_EQ(ahead.LastErrorText(), plain.LastErrorText());
        ahead.SetPositionFast(pos);
        try {
            ahead.ReadBuffer(a, 188);
            ADD_FAILURE() << "no error";
        } catch (const EReadError& e) {
            EXPECT_NE(std::string(e.what()).find(plain.LastErrorText()), std::string::npos) << e.what();
        }
    } catch (const EFOpenError&) {
        munmap(base, hole);
        munmap(base + hole + page, bytes - hole - page);
        GTEST_SKIP() << "the process's memory cannot be read as a file here";
    }
    munmap(base, hole);
    munmap(base + hole + page, bytes - hole - page);
}
#endif
