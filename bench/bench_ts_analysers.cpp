// Throughput of the PES readers, the stream-type sniffers and the H.264 and
// AC-3 analysers behind the packet reader, scanning a whole H.264 + AC-3
// recording, beside a plain sequential read and a bare packet-reader pass of
// the same file in the same run.
//
//   build/ts2-native/bench/bench_ts_analysers [recording.ts]
//
// Without an argument it uses /tmp/tw_bench_h264_ac3.ts and, when that is
// missing, makes it with ffmpeg: a 20 s 1080i H.264 encode at 16 Mbit/s with
// AC-3 5.1, repeated by stream copy to about 600 MB. Video is expected on
// PID 0x100 and audio on 0x101 (ffmpeg's defaults). The file is never
// committed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSStreamType.h"

using namespace tw;

namespace {

const char* kDefaultFile = "/tmp/tw_bench_h264_ac3.ts";

bool MakeRecording(const std::string& out) {
    const std::string shortFile = "/tmp/tw_bench_short.ts";
    const std::string encode =
        "ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=25:duration=20 "
        "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=20,aformat=channel_layouts=5.1 "
        "-c:v libx264 -preset ultrafast -flags +ilme+ildct -b:v 16M -minrate 16M -maxrate 16M -bufsize 8M "
        "-c:a ac3 -b:a 448k -f mpegts " + shortFile;
    const std::string loop = "ffmpeg -hide_banner -loglevel error -y -stream_loop 14 -i " + shortFile +
                             " -map 0 -c copy -f mpegts " + out;
    std::printf("making %s with ffmpeg ...\n", out.c_str());
    std::fflush(stdout);
    return std::system(encode.c_str()) == 0 && std::system(loop.c_str()) == 0;
}

double Seconds(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

double PlainRead(const std::string& file, int64_t& bytes) {
    std::vector<char> buf(131072);
    auto t = std::chrono::steady_clock::now();
    FILE* f = std::fopen(file.c_str(), "rb");
    bytes = 0;
    size_t n;
    uint64_t sum = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        bytes += static_cast<int64_t>(n);
        sum += static_cast<unsigned char>(buf[n - 1]);
    }
    std::fclose(f);
    const double s = Seconds(t);
    if (sum == 1) std::printf(" ");
    return s;
}

struct Counts {
    int64_t packets = 0, videoPes = 0, audioPes = 0, nalUnits = 0, frames = 0, crcErrors = 0;
};

double Scan(const std::string& file, bool analysers, Counts& c) {
    TComponent owner(nullptr);
    auto* reader = new TTSPacketReader(&owner);
    reader->SetFileName(file);
    TTSPesReader* video = nullptr;
    TTSPesReader* audio = nullptr;
    TTSH264Reader* h264 = nullptr;
    TTSAC3Reader* ac3 = nullptr;
    TTSStreamTypeReader* sv = nullptr;
    TTSStreamTypeReader* sa = nullptr;
    if (analysers) {
        video = new TTSPesReader(&owner);
        audio = new TTSPesReader(&owner);
        video->SetTSPacketReader(reader);
        video->SetPID(0x100);
        audio->SetTSPacketReader(reader);
        audio->SetPID(0x101);
        sv = new TTSStreamTypeReader(&owner);
        sa = new TTSStreamTypeReader(&owner);
        sv->SetTSPesReader(video);
        sa->SetTSPesReader(audio);
        h264 = new TTSH264Reader(&owner);
        h264->SetTSPesReader(video);
        ac3 = new TTSAC3Reader(&owner);
        ac3->SetTSPesReader(audio);
        h264->OnSliceReceived = [&](TObject*, int64_t, int64_t, TH264NALUnitType) { ++c.nalUnits; };
        ac3->OnCRCError = [&](TObject*, int, int64_t, int64_t) { ++c.crcErrors; };
        owner.LoadTree();
        for (auto* p : {video, audio}) p->SetActive(true);
        sv->SetActive(true);
        sa->SetActive(true);
        h264->SetActive(true);
        ac3->SetActive(true);
    }
    auto t = std::chrono::steady_clock::now();
    reader->SetActive(true);
    while (!reader->Eof()) reader->Next();
    const double s = Seconds(t);
    c.packets = reader->PacketIndex() + 1;
    if (analysers) {
        c.videoPes = video->PESPacketCount();
        c.audioPes = audio->PESPacketCount();
        c.frames = ac3->AC3FrameCount();
        std::printf("  sniffers: video %s, audio %s; video %dx%d %s\n", StreamTypeName(sv->VotedStreamType()).c_str(),
                    StreamTypeName(sa->VotedStreamType()).c_str(), h264->H264VideoInfo()->Resolution_H(),
                    h264->H264VideoInfo()->Resolution_V(), h264->H264VideoInfo()->Profile().c_str());
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    std::string file = argc > 1 ? argv[1] : kDefaultFile;
    if (!FileExists(file)) {
        if (argc > 1 || !MakeRecording(file)) {
            std::fprintf(stderr, "no recording %s\n", file.c_str());
            return 1;
        }
    }
    int64_t bytes = 0;
    PlainRead(file, bytes); // warm the page cache so that all passes read from memory
    const double plain = PlainRead(file, bytes);
    const double mb = static_cast<double>(bytes) / 1e6;
    Counts bare, full;
    const double packetOnly = Scan(file, false, bare);
    const double analysed = Scan(file, true, full);

    std::printf("recording: %s, %.0f MB, %lld packets\n", file.c_str(), mb, static_cast<long long>(full.packets));
    std::printf("plain read (fread, 128 KiB):          %8.1f MB/s\n", mb / plain);
    std::printf("packet reader alone:                  %8.1f MB/s\n", mb / packetOnly);
    std::printf("packet reader + PES + sniffers + H.264 + AC-3: %8.1f MB/s\n", mb / analysed);
    std::printf("ratio full scan / plain read: %.2f, full scan / packet reader: %.2f\n", plain / analysed,
                packetOnly / analysed);
    std::printf("video PES %lld, audio PES %lld, NAL units %lld, AC-3 frames %lld, AC-3 CRC errors %lld\n",
                static_cast<long long>(full.videoPes), static_cast<long long>(full.audioPes),
                static_cast<long long>(full.nalUnits), static_cast<long long>(full.frames),
                static_cast<long long>(full.crcErrors));
    return 0;
}
