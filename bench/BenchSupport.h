// What the benchmarks share: the plain-read anchor every figure is measured
// against, with a page-aligned buffer. A large heap block starts 16 bytes past
// a page boundary, and the kernel's copy into such a buffer is several times
// slower, which would make the anchor slow and flatter every ratio to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/Object.h"
#include "base/Streams.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

#ifdef _WIN32
#include <malloc.h>
#endif

namespace tw::bench {

class TAlignedBuffer {
public:
    static constexpr size_t kPage = 4096;
    explicit TAlignedBuffer(size_t bytes) : size_(bytes) {
        const size_t rounded = (bytes + kPage - 1) / kPage * kPage;
#ifdef _WIN32
        data_ = static_cast<uint8_t*>(_aligned_malloc(rounded, kPage));
#else
        data_ = static_cast<uint8_t*>(std::aligned_alloc(kPage, rounded));
#endif
        if (!data_) throw std::bad_alloc();
    }
    ~TAlignedBuffer() {
#ifdef _WIN32
        _aligned_free(data_);
#else
        std::free(data_);
#endif
    }
    TAlignedBuffer(const TAlignedBuffer&) = delete;
    TAlignedBuffer& operator=(const TAlignedBuffer&) = delete;

    uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

inline double SecondsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Reads the whole file through a file stream in blocks of blockBytes into a
// page-aligned buffer; returns the seconds taken and the bytes read.
inline double PlainRead(const std::string& file, size_t blockBytes, int64_t& bytes) {
    TAlignedBuffer buf(blockBytes);
    const auto t0 = std::chrono::steady_clock::now();
    TFileStream f(file, fmOpenRead);
    bytes = 0;
    uint64_t sum = 0;
    for (;;) {
        const int64_t got = f.Read(buf.Data(), static_cast<int64_t>(buf.Size()));
        if (got <= 0) break;
        sum += buf.Data()[got - 1];
        bytes += got;
    }
    const double s = SecondsSince(t0);
    // Keeps the reads from being optimised away.
    if (sum == 1) std::printf(" ");
    return s;
}

// A packet reader with a PAT and a PMT reader on it, owned together.
struct TTableScan {
    TComponent owner{nullptr};
    TTSPacketReader* reader = new TTSPacketReader(&owner);
    TTSPatReader* pat = new TTSPatReader(&owner);
    TTSPmtReader* pmt = new TTSPmtReader(&owner);
    TTableScan() {
        pat->SetTSPacketReader(reader);
        pmt->SetTSPacketReader(reader);
    }
};

// A recording of four PIDs with random payloads (no stray sync bytes), most of
// it on $0101, where every 997th packet repeats the one before it of that PID:
// what the packet tools and the duplicate finder are timed on.
inline bool MakeRecordingWithRepeats(const std::string& name, int64_t bytes) {
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f) return false;
    static const int kPids[] = {0x101, 0x101, 0x101, 0x101, 0x101, 0x102, 0x103, 0x100};
    int cc[8192] = {};
    uint8_t pkt[188], last[188] = {};
    uint32_t seed = 12345;
    for (int64_t n = 0; n * 188 < bytes; ++n) {
        const int pid = kPids[n % 8];
        if (pid == 0x101 && n % 997 == 0 && last[0] == 0x47) {
            std::fwrite(last, 1, 188, f); // a repeated packet
            continue;
        }
        pkt[0] = 0x47;
        pkt[1] = static_cast<uint8_t>((n % 64 == 0 ? 0x40 : 0) | (pid >> 8));
        pkt[2] = static_cast<uint8_t>(pid);
        pkt[3] = static_cast<uint8_t>(0x10 | (cc[pid]++ & 15));
        for (int i = 4; i < 188; i += 4) {
            seed = seed * 1664525u + 1013904223u;
            std::memcpy(pkt + i, &seed, 4);
        }
        for (int i = 4; i < 188; ++i)
            if (pkt[i] == 0x47) pkt[i] = 0x46;
        if (pid == 0x101) std::memcpy(last, pkt, 188);
        std::fwrite(pkt, 1, 188, f);
    }
    return std::fclose(f) == 0;
}

} // namespace tw::bench
