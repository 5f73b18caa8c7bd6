// The whole-recording tools on a 1 GB recording made in /tmp, each beside a
// plain page-aligned read or copy of the same file:
//   - the packet filter (one PID and the invalid packets dropped) and the
//     low-level structure fix against a plain copy;
//   - the packet protocol against a plain read;
//   - the duplicate finder on 0.5 GB and 1 GB (its time per MB must stay
//     flat: the search is linear in the recording).
//
//   build/native/bench/bench_tools [size-in-MB]
//
// The recordings (four PIDs with running counters, every 997th packet of the
// video PID repeated) are kept in /tmp for the next run.
#include "base/Sync.h"
#include "base/SysUtils.h"
#include "bench/BenchSupport.h"
#include "tools/engine/LowLevelFix.h"
#include "tools/engine/PacketFilter.h"
#include "tools/engine/PacketListings.h"
#include "ts/TSPacketReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using namespace tw;

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// The anchors: 1 MiB page-aligned blocks read (and written) with the plain
// system calls.
struct Aligned {
    void* p = nullptr;
    explicit Aligned(size_t n) {
        if (posix_memalign(&p, 4096, n) != 0) p = nullptr;
    }
    ~Aligned() { std::free(p); }
};

double PlainCopy(const std::string& in, const std::string& out) {
    constexpr size_t kBlock = 1 << 20;
    Aligned buf(kBlock);
    const double t0 = Now();
    const int fi = ::open(in.c_str(), O_RDONLY);
    // A new file, as the tools make theirs: a truncated one would be written
    // out on close and the anchor would wait for the disk.
    if (!out.empty()) ::unlink(out.c_str());
    const int fo = out.empty() ? -1 : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ssize_t n;
    while ((n = ::read(fi, buf.p, kBlock)) > 0)
        if (fo >= 0 && ::write(fo, buf.p, static_cast<size_t>(n)) != n) break;
    ::close(fi);
    if (fo >= 0) ::close(fo);
    return Now() - t0;
}

void Settle() { std::system("sync"); }

template <class F>
double Best(int runs, F f) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        Settle();
        const double t0 = Now();
        f();
        best = std::min(best, Now() - t0);
    }
    return best;
}

std::string Recording(int64_t mb) {
    const std::string name = "/tmp/tw_bench_tools_" + std::to_string(mb) + "MB.ts";
    if (FileSizeOf(name) <= 0) {
        std::printf("making %s...\n", name.c_str());
        if (!bench::MakeRecordingWithRepeats(name, mb * 1024 * 1024)) std::exit(1);
    }
    return name;
}

} // namespace

int main(int argc, char** argv) {
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    const int64_t mb = argc > 1 ? std::atoll(argv[1]) : 1024;
    const std::string in = Recording(mb), half = Recording(mb / 2);
    const std::string out = "/tmp/tw_bench_tools_out.ts";
    const double size = static_cast<double>(FileSizeOf(in)) / 1048576.0;
    constexpr int kRuns = 3;
    PlainCopy(in, ""); // into the page cache

    const double read = Best(kRuns, [&] { PlainCopy(in, ""); });
    const double copy = Best(kRuns, [&] { PlainCopy(in, out); });
    std::printf("plain read  %.2f s  %5.0f MB/s\n", read, size / read);
    std::printf("plain copy  %.2f s  %5.0f MB/s\n", copy, size / copy);

    TTSPacketReader reader(nullptr);
    int64_t written = 0;
    const double filter = Best(kRuns, [&] {
        TPacketFilter f(reader);
        f.Pids = {0x102};
        f.DeleteInvalid = true;
        written = f.Run(in, out, {}).Written;
    });
    std::printf("packet filter   %.2f s  %5.0f MB/s  %.2f x plain copy (%lld packets written)\n", filter,
                size / filter, filter / copy, static_cast<long long>(written));
    const double fix = Best(kRuns, [&] {
        TLowLevelFix f(reader);
        written = f.Run(in, out, {}).Written;
    });
    std::printf("low-level fix   %.2f s  %5.0f MB/s  %.2f x plain copy\n", fix, size / fix, fix / copy);
    std::string error;
    const double protocol = Best(1, [&] { WritePacketProtocol(reader, in, out, error); });
    std::printf("packet protocol %.2f s  %5.0f MB/s  %.2f x plain read (%lld MB of text)\n", protocol,
                size / protocol, protocol / read, static_cast<long long>(FileSizeOf(out) >> 20));
    RemoveFile(out);

    size_t groups = 0;
    const double dupHalf = Best(1, [&] {
        TDuplicateFinder d(reader);
        d.Run(half, 0x101, error);
        groups = d.Groups().size();
    });
    const double halfSize = static_cast<double>(FileSizeOf(half)) / 1048576.0;
    std::printf("duplicate finder %5.0f MB: %.2f s  %.3f s/GB (%zu repeated packets)\n", halfSize, dupHalf,
                dupHalf / halfSize * 1024, groups);
    const double dupFull = Best(1, [&] {
        TDuplicateFinder d(reader);
        d.Run(in, 0x101, error);
        groups = d.Groups().size();
    });
    std::printf("duplicate finder %5.0f MB: %.2f s  %.3f s/GB (%zu repeated packets)\n", size, dupFull,
                dupFull / size * 1024, groups);
    std::printf("duplicate finder time ratio 1 GB / 0.5 GB: %.2f (linear: 2)\n", dupFull / dupHalf);
    return 0;
}
