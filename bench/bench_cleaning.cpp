// Analysis plus cleaning of a 1 GB recording, beside ffmpeg's plain remux of
// the same file.
//
//   build/clean-native/bench/bench_cleaning [size-in-MB] [recording] [runs] [kind]
//
// Without a recording it makes one in /tmp (a program of MPEG-2-typed video
// at about 8 Mbit/s with PCR, MPEG audio and a teletext stream, with PAT and
// PMT repeated, in the packet pattern of a DVB recording) and keeps it for the
// next run. Each run also times a plain read of the file (1 MiB blocks into a
// page-aligned buffer). When ffmpeg is installed the bench also times
// `ffmpeg -i in.ts -map 0 -c copy -f mpegts out.ts` on the same file and
// prints the ratios of the median times of `runs` alternating runs (default
// 5), with the machine's load.
// The Windows build of this bench runs under Wine without ffmpeg;
// bench/compare-windows runs both builds side by side.
//
// A kind of "same" or "distinct" makes a hostile recording instead: every
// audio PES packet claims a few hundred bytes but runs on over 6,000
// transport packets, whose payloads are all alike or all different. Such a
// PES is broken and the duplicate-packet fix ("duplicate packets in PES") looks
// at each; the bench times the pass with that setting on and off, runs
// alternating, and prints both medians (no ffmpeg). An empty recording
// argument keeps the default name.
#include "analysis/AnalysisEngine.h"
#include "analysis/AppLog.h"
#include "analysis/CleaningPass.h"
#include "analysis/QuietHost.h"
#include "base/Sync.h"
#include "base/SysUtils.h"
#include "bench/BenchSupport.h"
#include "ts/dvb_crc32.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

using namespace tw;

namespace {

class BenchHost : public TQuietHost {
public:
    size_t Lines = 0;
    bool DuplicateHandling = false;
    bool SettingBool(const std::string& name, bool defaultValue) override
    {
        return name == "PESDuplicatePacketHandling" ? DuplicateHandling : defaultValue;
    }
    void LogLine(const std::string& line) override
    {
        ++Lines;
        AppendLogLine(line);
    }
    void ClearLog() override { tw::ClearLog(); }
    void ShowMessage(TMessageKind, const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
    std::string WindowsVersionText() override { return "bench"; }
    std::string ProgramNameVersion() override { return "bench"; }
};

// --- a synthetic recording ------------------------------------------------------

struct Muxer {
    FILE* f;
    int cc[8192] = {};
    uint8_t pkt[188];
    int64_t written = 0;

    void Packet(int pid, bool start, const uint8_t* data, int len, int64_t pcr27)
    {
        std::memset(pkt, 0xFF, 188);
        pkt[0] = 0x47;
        pkt[1] = uint8_t((start ? 0x40 : 0) | (pid >> 8));
        pkt[2] = uint8_t(pid);
        int pos = 4;
        const int room = pcr27 >= 0 ? 188 - 4 - 8 : 184;
        const int n = len < room ? len : room;
        const int afLen = 184 - n - 1; // bytes after the length byte
        if (pcr27 >= 0 || n < 184) {
            pkt[3] = uint8_t(0x30 | (cc[pid] & 15));
            pkt[4] = uint8_t(afLen);
            if (afLen > 0) {
                pkt[5] = pcr27 >= 0 ? 0x10 : 0x00;
                if (pcr27 >= 0) {
                    const int64_t base = pcr27 / 300, ext = pcr27 % 300;
                    pkt[6] = uint8_t(base >> 25);
                    pkt[7] = uint8_t(base >> 17);
                    pkt[8] = uint8_t(base >> 9);
                    pkt[9] = uint8_t(base >> 1);
                    pkt[10] = uint8_t(((base & 1) << 7) | 0x7E | (ext >> 8));
                    pkt[11] = uint8_t(ext);
                }
            }
            pos = 5 + afLen;
        } else {
            pkt[3] = uint8_t(0x10 | (cc[pid] & 15));
        }
        std::memcpy(pkt + pos, data, size_t(n));
        cc[pid] = (cc[pid] + 1) & 15;
        std::fwrite(pkt, 1, 188, f);
        ++written;
    }

    void Section(int pid, const std::vector<uint8_t>& sec)
    {
        std::vector<uint8_t> b(184, 0xFF);
        b[0] = 0;
        std::memcpy(b.data() + 1, sec.data(), sec.size());
        Packet(pid, true, b.data(), 184, -1);
    }

    static void PutCrc(std::vector<uint8_t>& s)
    {
        const uint32_t crc = Crc32Mpeg(s.data(), 0xFFFFFFFFu, int64_t(s.size()));
        s.push_back(uint8_t(crc >> 24));
        s.push_back(uint8_t(crc >> 16));
        s.push_back(uint8_t(crc >> 8));
        s.push_back(uint8_t(crc));
    }

    void Tables()
    {
        std::vector<uint8_t> pat = {0x00, 0xB0, 13, 0x00, 0x01, 0xC1, 0, 0, 0x00, 0x01, 0xE1, 0x00};
        PutCrc(pat);
        Section(0, pat);
        std::vector<uint8_t> pmt = {0x02, 0xB0, 0, 0x00, 0x01, 0xC1, 0, 0, 0xE1, 0x01, 0xF0, 0x00,
                                    0x02, 0xE1, 0x01, 0xF0, 0x00, 0x03, 0xE1, 0x02, 0xF0, 0x00,
                                    0x06, 0xE1, 0x03, 0xF0, 0x07, 0x56, 0x05, 'd', 'e', 'u', 0x09, 0x00};
        pmt[2] = uint8_t(pmt.size() - 3 + 4);
        PutCrc(pmt);
        Section(0x100, pmt);
    }

    // An MPEG audio PES packet whose length field claims one frame while it
    // runs on over `packets` transport packets in all; their payloads are all
    // alike (distinct false) or each different.
    void OverlongAudioPes(int pid, int64_t pts, int packets, bool distinct, int64_t& serial)
    {
        uint8_t b[184];
        std::memset(b, 0x5A, sizeof b);
        const int len = 8 + 576;
        const uint8_t head[] = {0, 0, 1, 0xC0, uint8_t(len >> 8), uint8_t(len), 0x80, 0x80, 5,
                                uint8_t(0x21 | (((pts >> 30) & 7) << 1)), uint8_t(pts >> 22),
                                uint8_t(((pts >> 15) & 0x7F) << 1 | 1), uint8_t(pts >> 7),
                                uint8_t((pts & 0x7F) << 1 | 1), 0xFF, 0xFD, 0xA4, 0x04};
        std::memcpy(b, head, sizeof head);
        Packet(pid, true, b, 184, -1);
        std::memset(b, 0x5A, sizeof b);
        for (int k = 1; k < packets; ++k) {
            if (distinct) {
                ++serial;
                std::memcpy(b, &serial, sizeof serial);
            }
            Packet(pid, false, b, 184, -1);
        }
    }

    void Pes(int pid, int streamId, int64_t pts, int esBytes, int64_t pcr27, bool bounded)
    {
        static std::vector<uint8_t> buf;
        buf.assign(size_t(14 + esBytes), 0x5A);
        buf[0] = 0;
        buf[1] = 0;
        buf[2] = 1;
        buf[3] = uint8_t(streamId);
        const int len = bounded ? 8 + esBytes : 0;
        buf[4] = uint8_t(len >> 8);
        buf[5] = uint8_t(len);
        buf[6] = 0x80;
        buf[7] = 0x80;
        buf[8] = 5;
        buf[9] = uint8_t(0x21 | (((pts >> 30) & 7) << 1));
        buf[10] = uint8_t(pts >> 22);
        buf[11] = uint8_t(((pts >> 15) & 0x7F) << 1 | 1);
        buf[12] = uint8_t(pts >> 7);
        buf[13] = uint8_t((pts & 0x7F) << 1 | 1);
        // A sequence header (720x576, 25 fps) and slice start codes every
        // few KB so the stream looks like MPEG-2 video; MPEG-1 layer II frame
        // headers (48 kHz, 192 kbit/s, 576 bytes a frame) for the audio.
        if (streamId == 0xE0) {
            static const uint8_t seq[] = {0, 0, 1, 0xB3, 0x2D, 0x02, 0x40, 0x23, 0xFF, 0xFF, 0xE0, 0x18};
            std::memcpy(buf.data() + 14, seq, sizeof seq);
            for (int k = 14 + 4096; k + 4 < int(buf.size()); k += 4096) {
                buf[size_t(k)] = 0;
                buf[size_t(k + 1)] = 0;
                buf[size_t(k + 2)] = 1;
                buf[size_t(k + 3)] = 0x01;
            }
        } else if (streamId == 0xC0) {
            for (int k = 14; k + 4 <= int(buf.size()); k += 576) {
                buf[size_t(k)] = 0xFF;
                buf[size_t(k + 1)] = 0xFD;
                buf[size_t(k + 2)] = 0xA4;
                buf[size_t(k + 3)] = 0x04;
            }
        }
        int off = 0;
        bool first = true;
        while (off < int(buf.size())) {
            const int before = off;
            const int room = (first && pcr27 >= 0) ? 176 : 184;
            const int n = int(buf.size()) - off < room ? int(buf.size()) - off : room;
            Packet(pid, first, buf.data() + off, n, first ? pcr27 : -1);
            off = before + n;
            first = false;
        }
    }
};

enum class Kind { Plain, Same, Distinct };

bool MakeRecording(const std::string& name, int64_t bytes, Kind kind)
{
    FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    Muxer m{f};
    int64_t pts = 1800000; // 20 s
    const int64_t targetPackets = bytes / 188;
    int frame = 0;
    int64_t serial = 0;
    while (m.written < targetPackets) {
        if (frame % 12 == 0)
            m.Tables();
        // 25 frames/s, 8 Mbit/s: 40,000 bytes per frame on average.
        const int size = (frame % 12 == 0) ? 110000 : 33000;
        m.Pes(0x101, 0xE0, pts + 9000, size, (pts - 900) * 300, false);
        // A hostile audio PES every fifth frame: 1.1 MB of it beside about
        // 0.2 MB of video.
        if (kind == Kind::Plain)
            m.Pes(0x102, 0xC0, pts, 576, -1, true);
        else if (frame % 5 == 0)
            m.OverlongAudioPes(0x102, pts, 6000, kind == Kind::Distinct, serial);
        if (frame % 5 == 0)
            m.Pes(0x103, 0xBD, pts, 800, -1, true);
        pts += 3600;
        ++frame;
    }
    std::fclose(f);
    return true;
}

double Seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// One timed analysis plus cleaning on a fresh engine (as a new window would).
double TimeOurs(const std::string& in, const std::string& out, double& analysis, bool duplicateHandling = false)
{
    BenchHost host;
    host.DuplicateHandling = duplicateHandling;
    TAnalysisEngine engine(&host);
    TCleaningPass* pass = new TCleaningPass(&engine, &engine, &host);
    const auto t0 = std::chrono::steady_clock::now();
    const bool analysed = engine.AnalyseStream(in);
    const auto t1 = std::chrono::steady_clock::now();
    const TCleaningResult r = analysed ? pass->Run(out) : TCleaningResult::NotRun;
    const auto t2 = std::chrono::steady_clock::now();
    analysis = Seconds(t0, t1);
    std::printf("  ours%s: analysis %.2f s, cleaning %.2f s, together %.2f s; result %d, output %lld bytes\n",
                duplicateHandling ? " (duplicate fix on)" : "", analysis, Seconds(t1, t2), Seconds(t0, t2),
                static_cast<int>(r), static_cast<long long>(FileSizeOf(out)));
    return Seconds(t0, t2);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The machine's load average, where the platform tells it: other builds
// running beside a bench change every figure.
std::string LoadText()
{
#ifdef _WIN32
    return "unknown";
#else
    std::string s = "unknown";
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        char buf[64] = {};
        if (std::fgets(buf, sizeof buf, f))
            s = std::string(buf, std::strcspn(buf, " \n"));
        std::fclose(f);
    }
    return s;
#endif
}

// Both tools start alike: input in the page cache, no dirty output of the
// other still waiting for the disk.
void Settle(const std::string& in)
{
#ifndef _WIN32
    std::system("sync");
#endif
    static std::vector<char> block(size_t(1) << 20);
    if (FILE* f = std::fopen(in.c_str(), "rb")) {
        while (std::fread(block.data(), 1, block.size(), f) == block.size()) {
        }
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv)
{
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    const int64_t mb = argc > 1 ? std::atoll(argv[1]) : 1024;
    std::string in = argc > 2 && argv[2][0] ? argv[2] : "/tmp/tw_bench_cleaning_" + std::to_string(mb) + "MB.ts";
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    const std::string kindName = argc > 4 ? argv[4] : "";
    const Kind kind = kindName == "same" ? Kind::Same : kindName == "distinct" ? Kind::Distinct : Kind::Plain;
    if (kind != Kind::Plain && !(argc > 2 && argv[2][0]))
        in = "/tmp/tw_bench_cleaning_" + std::to_string(mb) + "MB_" + kindName + ".ts";
    if (FileSizeOf(in) <= 0) {
        std::printf("making %s (%lld MB)...\n", in.c_str(), static_cast<long long>(mb));
        if (!MakeRecording(in, mb * 1024 * 1024, kind)) {
            std::printf("cannot write %s\n", in.c_str());
            return 1;
        }
    }
    const double sizeMb = double(FileSizeOf(in)) / 1048576.0;
    // Both outputs go to the same file system as regular files, named per
    // process so that two benches on one machine do not write one file.
    const std::string tag = std::to_string(static_cast<long long>(getpid()));
    const std::string out = "/tmp/tw_bench_cleaning_out_" + tag + ".ts";
    const std::string ffOut = "/tmp/tw_bench_cleaning_ffmpeg_" + tag + ".ts";
#ifdef _WIN32
    const bool haveFfmpeg = false; // the native run beside this one times it
#else
    const bool haveFfmpeg = std::system("ffmpeg -version > /dev/null 2>&1") == 0;
#endif

    if (kind != Kind::Plain) {
        // The duplicate fix's cost on this recording: the same pass with the
        // setting on and off, alternating.
        std::vector<double> on, off;
        for (int run = 0; run < runs; ++run) {
            double a = 0;
            Settle(in);
            off.push_back(TimeOurs(in, out, a, false));
            Settle(in);
            on.push_back(TimeOurs(in, out, a, true));
            RemoveFile(out);
            RemoveFile(ChangeFileExt(out, ".log"));
        }
        const double tOn = Median(on), tOff = Median(off);
        std::printf("%s PES packets, %.0f MB: duplicate fix on %.2f s, off %.2f s (on / off %.2f), median of %d "
                    "(load %s)\n",
                    kindName.c_str(), sizeMb, tOn, tOff, tOn / tOff, runs, LoadText().c_str());
        return 0;
    }

    // The medians of several alternating runs of each, so that a busy
    // machine does not decide the ratio.
    std::vector<double> oursRuns, ffRuns, plainRuns, analysisRuns;
    for (int run = 0; run < runs; ++run) {
        Settle(in);
        int64_t bytes = 0;
        const double p = bench::PlainRead(in, 1 << 20, bytes);
        std::printf("  plain read: %.3f s\n", p);
        plainRuns.push_back(p);
        double a = 0;
        oursRuns.push_back(TimeOurs(in, out, a));
        analysisRuns.push_back(a);
        RemoveFile(out);
        RemoveFile(ChangeFileExt(out, ".log"));
        if (!haveFfmpeg)
            continue;
        Settle(in);
        const auto f0 = std::chrono::steady_clock::now();
        const int rc = std::system(("ffmpeg -hide_banner -nostdin -loglevel fatal -y -i '" + in +
                                    "' -map 0 -c copy -f mpegts '" + ffOut + "'")
                                       .c_str());
        const auto f1 = std::chrono::steady_clock::now();
        std::printf("  ffmpeg remux: %.2f s, exit %d\n", Seconds(f0, f1), rc);
        ffRuns.push_back(Seconds(f0, f1));
        RemoveFile(ffOut);
    }
    const double plain = Median(plainRuns), ours = Median(oursRuns), analysis = Median(analysisRuns);
    const double ff = haveFfmpeg ? Median(ffRuns) : 0;
    std::printf("plain read: %.3f s (%.0f MB/s), median of %d\n", plain, sizeMb / plain, runs);
    std::printf("analysis + cleaning: %.2f s (analysis %.2f s, %.0f MB/s) on %.0f MB, median of %d\n", ours, analysis,
                sizeMb / ours, sizeMb, runs);
    std::printf("ours / plain read: %.2f (load %s)\n", ours / plain, LoadText().c_str());
    if (haveFfmpeg) {
        std::printf("ffmpeg remux: %.2f s (%.0f MB/s), median of %d\n", ff, sizeMb / ff, runs);
        std::printf("ratio ffmpeg / ours: %.2f; ffmpeg / plain read: %.2f\n", ff / ours, ff / plain);
    }
    return 0;
}
