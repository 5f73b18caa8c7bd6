// The duplicate finder on two kinds of recording, each beside a plain read of
// the same file:
//   - crafted: N packets of one PID, all different, made to share the key an
//     earlier finder filed packets under (tests/support/CollidingPackets.h),
//     every 50th repeated once at the end; run with N/2 and N packets, the
//     time ratio shows whether the search stays linear (2) or not (4);
//   - ordinary: four PIDs with running counters and random payloads, every
//     997th packet of the searched PID repeated.
//
//   bench_duplicates [crafted packets (default 8000)] [ordinary MB (default 256)] [work folder (default /tmp)]
//
// The recordings are made anew each run (they take a second or two).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/Streams.h"
#include "base/Sync.h"
#include "base/SysUtils.h"
#include "bench/BenchSupport.h"
#include "tests/support/CollidingPackets.h"
#include "tools/engine/PacketListings.h"
#include "ts/TSPacketReader.h"

using namespace tw;

namespace {

constexpr int kPid = 0x101;

void MakeCrafted(const std::string& name, uint32_t packets) {
    std::vector<uint8_t> data;
    data.reserve((packets + packets / 50) * 188);
    for (uint32_t n = 0; n < packets; ++n) {
        const auto p = test::CollidingPacket(kPid, n);
        data.insert(data.end(), p.begin(), p.end());
    }
    for (uint32_t n = 0; n < packets; n += 50) {
        const auto p = test::CollidingPacket(kPid, n);
        data.insert(data.end(), p.begin(), p.end());
    }
    TFileStream f(name, fmCreate);
    f.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

struct TResult {
    double Seconds = 0;
    size_t Groups = 0;
};

TResult Find(TTSPacketReader& reader, const std::string& name, int runs) {
    TResult best{1e9, 0};
    for (int i = 0; i < runs; ++i) {
        TDuplicateFinder d(reader);
        std::string error;
        const auto t0 = std::chrono::steady_clock::now();
        if (!d.Run(name, kPid, error)) {
            std::printf("duplicate finder failed: %s\n", error.c_str());
            std::exit(1);
        }
        best.Seconds = std::min(best.Seconds, bench::SecondsSince(t0));
        best.Groups = d.Groups().size();
    }
    return best;
}

double ReadSeconds(const std::string& name) {
    int64_t bytes = 0;
    double best = 1e9;
    for (int i = 0; i < 3; ++i) best = std::min(best, bench::PlainRead(name, 1 << 20, bytes));
    return best;
}

} // namespace

int main(int argc, char** argv) {
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    const uint32_t crafted = argc > 1 ? static_cast<uint32_t>(std::atol(argv[1])) : 8000;
    const int64_t mb = argc > 2 ? std::atoll(argv[2]) : 256;
    const std::string dir = IncludeTrailingPathDelimiter(argc > 3 ? argv[3] : "/tmp");
    if (crafted < 100 || crafted > (1u << 20) || mb < 1) {
        std::printf("crafted packets: 100 to 1048576; ordinary MB: at least 1\n");
        return 1;
    }
    TTSPacketReader reader(nullptr);

    const std::string half = dir + "tw_bench_dups_crafted_half.ts", full = dir + "tw_bench_dups_crafted.ts";
    // A first search untimed: the reader's first start (its read-ahead
    // thread, the file cache) would otherwise count against the smaller case.
    MakeCrafted(half, 100);
    Find(reader, half, 1);
    MakeCrafted(half, crafted / 2);
    MakeCrafted(full, crafted);
    const TResult h = Find(reader, half, 1), f = Find(reader, full, 1);
    const double fullRead = ReadSeconds(full);
    std::printf("crafted  %7u packets: %8.3f s  %8.2f us/packet (%zu groups)\n", crafted / 2, h.Seconds,
                h.Seconds * 1e6 / (crafted / 2), h.Groups);
    std::printf("crafted  %7u packets: %8.3f s  %8.2f us/packet (%zu groups)  %.1f x plain read\n",
                crafted, f.Seconds, f.Seconds * 1e6 / crafted, f.Groups, f.Seconds / fullRead);
    std::printf("crafted time ratio N / (N/2): %.2f (linear: 2, quadratic: 4)\n", f.Seconds / h.Seconds);
    RemoveFile(half);
    RemoveFile(full);

    const std::string ordinary = dir + "tw_bench_dups_ordinary.ts";
    if (!bench::MakeRecordingWithRepeats(ordinary, mb * 1024 * 1024)) std::exit(1);
    const double size = static_cast<double>(FileSizeOf(ordinary)) / 1048576.0;
    const double read = ReadSeconds(ordinary);
    const TResult o = Find(reader, ordinary, 3);
    std::printf("ordinary %7.0f MB:      %8.3f s  %8.3f s/GB  (%zu groups)  %.2f x plain read (%.3f s)\n",
                size, o.Seconds, o.Seconds / size * 1024, o.Groups, o.Seconds / read, read);
    RemoveFile(ordinary);
    return 0;
}
