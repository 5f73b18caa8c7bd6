// Sequential scan throughput of the packet reader (with PAT and PMT readers
// wired) and of the packet writer, each beside a plain 128 KiB read (and
// write) loop into a page-aligned buffer over the same file in the same run.
//
//   bench_ts_reader [size-in-MB (default 768)] [work folder (default /tmp)]
//
// The recording is made from tests/data/mpeg2_mp2.ts repeated with its
// continuity counters fixed up, so the reader sees a clean stream; it is
// written once and read twice before timing, so it sits in the page cache.
// It also counts heap allocations made while packets are read: the first PAT
// and PMT are parsed into tables with texts (a few dozen allocations); after
// that, with the same tables repeating, reading allocates only once more: the
// read-ahead's second chunk and its thread (2).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/Object.h"
#include "bench/BenchSupport.h"
#include "base/Streams.h"
#include "base/Sync.h"
#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

namespace {
std::atomic<long long> g_allocations{0};
}

// Not inlined: GCC would otherwise pair its own idea of new with the free()
// here and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace tw;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::vector<uint8_t> LoadFile(const std::string& name) {
    TFileStream f(name, fmOpenRead);
    std::vector<uint8_t> d(static_cast<size_t>(f.Size()));
    f.ReadBuffer(d.data(), static_cast<int64_t>(d.size()));
    return d;
}

void MakeRecording(const std::string& src, const std::string& out, int64_t bytes) {
    std::vector<uint8_t> unit = LoadFile(src);
    const size_t packets = unit.size() / 188;
    int cc[8192];
    for (int& c : cc) c = -1;
    TFileStream f(out, fmCreate);
    int64_t written = 0;
    while (written < bytes) {
        for (size_t i = 0; i < packets; ++i) {
            uint8_t* p = unit.data() + i * 188;
            const int pid = ((p[1] & 0x1F) << 8) | p[2];
            const int afc = (p[3] >> 4) & 3;
            if (pid == 0x1FFF) continue;
            if (afc & 1) cc[pid] = (cc[pid] + 1) & 15;
            else if (cc[pid] < 0) cc[pid] = p[3] & 15;
            p[3] = static_cast<uint8_t>((p[3] & 0xF0) | (cc[pid] & 15));
        }
        f.WriteBuffer(unit.data(), static_cast<int64_t>(packets * 188));
        written += static_cast<int64_t>(packets * 188);
    }
}

double PlainCopy(const std::string& in, const std::string& out) {
    bench::TAlignedBuffer buf(128 * 1024);
    auto t0 = Clock::now();
    {
        TFileStream f(in, fmOpenRead);
        TFileStream o(out, fmCreate);
        for (;;) {
            const int64_t got = f.Read(buf.Data(), static_cast<int64_t>(buf.Size()));
            if (got <= 0) break;
            o.WriteBuffer(buf.Data(), got);
        }
    }
    return Seconds(t0, Clock::now());
}

struct ScanResult {
    double seconds = 0;
    int64_t packets = 0;
    long long firstTables = 0; // up to the second PMT: the first parse of each table
    long long allocations = 0; // from there to the end
    int pats = 0, pmts = 0;
};

ScanResult ReaderScan(const std::string& name, TTSPacketWriter* writer) {
    ScanResult r;
    bench::TTableScan tables;
    TTSPacketReader* reader = tables.reader;
    TTSPatReader* pat = tables.pat;
    TTSPmtReader* pmt = tables.pmt;
    pat->SetActive(true);
    pmt->SetPID(0x200);
    pmt->SetActive(true);
    pat->OnPatReceived = [&](TObject*) { ++r.pats; };
    long long steady = -1; // the count when the second PMT arrives
    pmt->OnPmtReceived = [&](TObject*) {
        if (++r.pmts == 2) steady = g_allocations.load();
    };
    tables.owner.LoadTree();
    auto t0 = Clock::now();
    reader->SetFileName(name);
    reader->SetActive(true);
    const long long before = g_allocations.load();
    int64_t n = 0;
    if (writer) {
        while (!reader->Eof()) {
            if (reader->TSPacketHeader()->Valid()) writer->QueuePacket(reader->RawPacket(), reader->PacketIndex());
            ++n;
            reader->Next();
        }
        r.allocations = g_allocations.load();
        writer->Flush();
    } else {
        while (!reader->Eof()) {
            ++n;
            reader->Next();
        }
        r.allocations = g_allocations.load();
    }
    if (steady < 0) steady = r.allocations;
    r.firstTables = steady - before;
    r.allocations -= steady;
    r.seconds = Seconds(t0, Clock::now());
    r.packets = n;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    const int64_t mb = argc > 1 ? std::atoll(argv[1]) : 768;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    // The source tree from this file's own path (CMake compiles by full path).
    std::string root = __FILE__;
    root = root.substr(0, root.rfind("bench/bench_ts_reader"));
    const std::string src = root + "tests/data/mpeg2_mp2.ts";
    const std::string file = dir + "/tw_bench_reader.ts";
    const std::string out = dir + "/tw_bench_writer.ts";
    std::printf("making %lld MB recording %s\n", static_cast<long long>(mb), file.c_str());
    MakeRecording(src, file, mb * 1000000);
    int64_t total = 0;
    bench::PlainRead(file, 128 * 1024, total);
    bench::PlainRead(file, 128 * 1024, total); // warm the page cache
    const double MB = static_cast<double>(total) / 1e6;

    const double plain = bench::PlainRead(file, 128 * 1024, total);
    const ScanResult scan = ReaderScan(file, nullptr);
    std::printf("plain 128 KiB read loop : %8.0f MB/s\n", MB / plain);
    std::printf("packet reader + PAT/PMT : %8.0f MB/s  (%.2f of plain; %lld packets, %d PAT, %d PMT, "
                "%lld allocations for the first tables, %lld after them)\n",
                MB / scan.seconds, plain / scan.seconds, static_cast<long long>(scan.packets), scan.pats, scan.pmts,
                scan.firstTables, scan.allocations);

    const double copy = PlainCopy(file, out);
    double written = 0;
    ScanResult both;
    {
        TTSPacketWriter writer(nullptr);
        writer.SetPacketBufferSize(3000);
        writer.SetFileName(out);
        writer.SetActive(true);
        both = ReaderScan(file, &writer);
        auto t0 = Clock::now();
        writer.Close();
        both.seconds += Seconds(t0, Clock::now());
        written = static_cast<double>(FileSizeOf(out)) / 1e6;
    }
    std::printf("plain 128 KiB copy loop : %8.0f MB/s\n", MB / copy);
    std::printf("reader + writer (ring 3000): %5.0f MB/s  (%.2f of plain copy; %.0f MB written, %lld allocations "
                "after the first tables)\n",
                MB / both.seconds, copy / both.seconds, written, both.allocations);
    RemoveFile(out);
    RemoveFile(file);
    return 0;
}
