// What the benchmarks share: the plain-read anchor every figure is measured
// against, with a page-aligned buffer. A large heap block starts 16 bytes past
// a page boundary, and the kernel's copy into such a buffer is several times
// slower, which would make the anchor slow and flatter every ratio to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

} // namespace tw::bench
