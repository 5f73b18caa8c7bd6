// Throughput of the whole ten-step analysis on a large recording, beside a
// plain sequential read of the same file in the same run.
//
// Usage: bench_analysis <recording.ts>
// Make a 1 GB recording (H.264 and two audio streams) with ffmpeg, e.g.
//   ffmpeg -f lavfi -i testsrc2=size=1280x720:rate=25:duration=30
//     -f lavfi -i sine=f=440:sample_rate=48000:duration=30
//     -f lavfi -i sine=f=660:sample_rate=48000:duration=30 -map 0:v -map 1:a -map 2:a
//     -c:v libx264 -preset ultrafast -b:v 30M -minrate 30M -maxrate 30M -bufsize 30M
//     -c:a:0 ac3 -ac:a:0 6 -c:a:1 mp2 -f mpegts /tmp/short.ts
//   ffmpeg -stream_loop 16 -i /tmp/short.ts -map 0 -c copy -f mpegts /tmp/big.ts
// and compare with `time ffprobe -v error -show_packets /tmp/big.ts > /dev/null`.
// The analysis reads the file's start and end windows and the fixed scan
// limits, not all of it, so its MB/s is given over the file size.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisEngine.h"
#include "bench/BenchSupport.h"
#include "analysis/QuietHost.h"
#include "base/Streams.h"
#include "base/Sync.h"
#include "base/SysUtils.h"

namespace {

using namespace tw;

class TBenchHost : public TQuietHost {
public:
    int64_t lines = 0;
    void LogLine(const std::string&) override { ++lines; }
    void ShowMessage(TMessageKind, const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
};

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

} // namespace

int main(int argc, char** argv) {
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <recording.ts>\n", argv[0]);
        return 2;
    }
    const std::string file = argv[1];
    const double mb = static_cast<double>(FileSizeOf(file)) / 1e6;

    // A plain sequential read of the whole file, timed on the second pass so
    // that it and the analysis both read from the page cache.
    int64_t bytes = 0;
    bench::PlainRead(file, 1 << 20, bytes);
    auto t0 = std::chrono::steady_clock::now();
    bench::PlainRead(file, 1 << 20, bytes);
    auto t1 = std::chrono::steady_clock::now();

    TBenchHost host;
    auto engine = std::make_unique<TAnalysisEngine>(&host);
    const bool ok = engine->AnalyseStream(file);
    auto t2 = std::chrono::steady_clock::now();

    const double readS = Seconds(t0, t1), anaS = Seconds(t1, t2);
    std::printf("file %.1f MB, %lld packets\n", mb, static_cast<long long>(engine->TSPacketReader1->PacketCount()));
    std::printf("plain read (1 MiB blocks, page-aligned) %.3f s  %.0f MB/s\n", readS, mb / readS);
    std::printf("analysis (%s)  %.3f s  %.0f MB/s of the file, %lld log lines; %.2f of the plain read's time\n",
                ok ? "ok" : "failed", anaS, mb / anaS, static_cast<long long>(host.lines), anaS / readS);
    return ok ? 0 : 1;
}
