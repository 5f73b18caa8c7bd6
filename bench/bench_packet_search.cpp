// The packet editor's searches over a large recording in which none of them
// finds anything, so each runs from one end of the file to the other (the
// worst case a user meets): the error, PCR and payload-start searches
// forward from the first packet and backward from the last, in a 188-byte
// and a 192-byte recording, and the sync search over a file of zeros, each
// beside a plain 128 KiB read loop over the same file. The reader is set up
// as the editor's own: unbuffered and on a fixed packet grid.
//
//   bench_packet_search [size-in-MB (default 768)] [work folder (default /tmp)]
//
// The recording is written once and read twice before timing, so it sits in
// the page cache: the figures are the search's own cost, not the disk's.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "bench/BenchSupport.h"
#include "tools/engine/PacketEditorModel.h"
#include "ts/TSPacketReader.h"

using namespace tw;

namespace {

// Valid packets of two PIDs without payload starts, PCRs or 0x47 bytes past
// the sync byte, with a few bytes of garbage before the first.
void MakeRecording(const std::string& out, int64_t bytes, int packetSize) {
    std::vector<uint8_t> block(static_cast<size_t>(packetSize) * 4096 + 3, 0x11);
    int cc[2] = {0, 0};
    TFileStream f(out, fmCreate);
    f.WriteBuffer(block.data(), 3);
    int64_t written = 3;
    while (written < bytes) {
        for (int i = 0; i < 4096; ++i) {
            uint8_t* p = block.data() + static_cast<size_t>(i) * packetSize;
            if (packetSize == 192) {
                std::memset(p, 0, 4);
                p += 4;
            }
            const int k = i & 1;
            const int pid = k ? 0x200 : 0x100;
            p[0] = 0x47;
            p[1] = static_cast<uint8_t>(pid >> 8);
            p[2] = static_cast<uint8_t>(pid & 0xFF);
            p[3] = static_cast<uint8_t>(0x10 | cc[k]);
            cc[k] = (cc[k] + 1) & 15;
        }
        f.WriteBuffer(block.data(), static_cast<int64_t>(packetSize) * 4096);
        written += static_cast<int64_t>(packetSize) * 4096;
    }
}

double Search(TTSPacketReader& r, TPacketSearch kind, bool forward) {
    if (forward) r.First();
    else r.Last();
    const auto t0 = std::chrono::steady_clock::now();
    const bool found = SearchPacket(r, kind, forward);
    const double s = bench::SecondsSince(t0);
    if (found) std::printf("  (unexpected: found packet %lld)\n", static_cast<long long>(r.PacketIndex()));
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const int64_t mb = argc > 1 ? std::atoll(argv[1]) : 768;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    for (const int size : {188, 192}) {
        const std::string file = dir + "/tw_bench_search_" + std::to_string(size) + ".ts";
        std::printf("making %lld MB recording of %d-byte packets %s\n", static_cast<long long>(mb), size, file.c_str());
        MakeRecording(file, mb * 1000000, size);
        int64_t total = 0;
        bench::PlainRead(file, 128 * 1024, total);
        bench::PlainRead(file, 128 * 1024, total); // warm the page cache
        const double MB = static_cast<double>(total) / 1e6;
        std::printf("plain 128 KiB read loop : %8.0f MB/s\n", MB / bench::PlainRead(file, 128 * 1024, total));
        TTSPacketReader r(nullptr);
        r.SetPacketBufferSize(0);
        r.SetAutoResync(false);
        r.SetFileName(file);
        r.SetActive(true);
        if (!r.Active()) return 1;
        const struct {
            const char* name;
            TPacketSearch kind;
        } kinds[] = {{"error", psError}, {"PCR", psPcr}, {"payload start", psPayloadStart}};
        for (const auto& k : kinds)
            for (const bool forward : {false, true}) {
                const double s = Search(r, k.kind, forward);
                std::printf("%-13s %-8s: %6.2f s %8.0f MB/s\n", k.name, forward ? "forward" : "backward", s, MB / s);
            }
        r.SetActive(false);
        RemoveFile(file);
    }
    // The sync search meets the next packet's own sync byte at once in any
    // sound recording; it runs long only over bytes without one.
    const std::string zeros = dir + "/tw_bench_search_zeros.ts";
    {
        std::vector<uint8_t> block(1 << 20, 0);
        TFileStream f(zeros, fmCreate);
        for (int64_t w = 0; w < mb * 1000000; w += static_cast<int64_t>(block.size()))
            f.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
    }
    int64_t total = 0;
    bench::PlainRead(zeros, 128 * 1024, total);
    bench::PlainRead(zeros, 128 * 1024, total);
    TTSPacketReader r(nullptr);
    r.SetPacketBufferSize(0);
    r.SetAutoResync(false);
    r.SetFileName(zeros);
    r.SetActive(true);
    int byte = 0;
    const auto t0 = std::chrono::steady_clock::now();
    if (SearchSyncByte(r, 0, byte)) std::printf("  (unexpected: sync byte found)\n");
    const double s = bench::SecondsSince(t0);
    std::printf("sync over %lld MB of zeros: %6.2f s %8.0f MB/s\n", static_cast<long long>(mb), s,
                static_cast<double>(total) / 1e6 / s);
    r.SetActive(false);
    RemoveFile(zeros);
    return 0;
}
