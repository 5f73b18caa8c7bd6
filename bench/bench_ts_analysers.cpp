// Throughput of the PES readers, the stream-type sniffers and the video and
// audio analysers behind the packet reader, scanning a whole recording,
// beside a plain sequential read and a bare packet-reader pass of the same
// file in the same run.
//
//   build/native/bench/bench_ts_analysers [recording.ts]
//
// Without an argument it uses /tmp/tw_bench_h264_ac3.ts and, when that is
// missing, makes it with ffmpeg: a 20 s 1080i H.264 encode at 16 Mbit/s with
// AC-3 5.1, repeated by stream copy to about 600 MB. The file is never
// committed. The first program's video and audio streams are taken from its
// PMT, and each analyser runs only on a stream of its kind: H.264 or MPEG-2
// video, AC-3 audio (other audio gets the PES reader and sniffer only).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Sync.h"
#include "base/SysUtils.h"
#include "bench/BenchSupport.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
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

double Seconds(std::chrono::steady_clock::time_point a) { return bench::SecondsSince(a); }

// The first program's first video and first audio stream, from its PMT.
struct Streams {
    int videoPid = -1, videoType = 0;
    int audioPid = -1, audioType = 0;
    bool audioAc3 = false;
    bool H264() const { return videoType == 0x1B; }
    bool Mpeg2() const { return videoType == 0x01 || videoType == 0x02; }
};

Streams FindStreams(const std::string& file) {
    Streams st;
    bench::TTableScan scan;
    TTSPacketReader* reader = scan.reader;
    TTSPatReader* pat = scan.pat;
    TTSPmtReader* pmt = scan.pmt;
    bool done = false;
    pat->OnPatReceived = [&](TObject*) {
        for (int i = 0; i < pat->PATEntryCount() && !pmt->Active(); ++i)
            if (pat->Entry(i).ProgramNumber != 0) {
                pmt->SetPID(pat->Entry(i).PID);
                pmt->SetActive(true);
            }
    };
    pmt->OnPmtReceived = [&](TObject*) {
        for (int i = 0; i < pmt->PMTEntryCount(); ++i) {
            const TPmtEntry& e = pmt->Entry(i);
            if (e.IsVideo && st.videoPid < 0) {
                st.videoPid = e.PID;
                st.videoType = e.StreamType;
            } else if (e.IsAudio && st.audioPid < 0) {
                st.audioPid = e.PID;
                st.audioType = e.StreamType;
                st.audioAc3 = e.StreamType == 0x81 || e.AC3;
            }
        }
        done = true;
    };
    scan.owner.LoadTree();
    pat->SetActive(true);
    reader->SetFileName(file);
    reader->SetActive(true);
    for (int n = 0; n < 200000 && !done && !reader->Eof(); ++n) reader->Next();
    return st;
}

struct Counts {
    int64_t packets = 0, videoPes = 0, audioPes = 0, nalUnits = 0, sequences = 0, frames = 0, crcErrors = 0;
};

double Scan(const std::string& file, const Streams* st, Counts& c) {
    TComponent owner(nullptr);
    auto* reader = new TTSPacketReader(&owner);
    reader->SetFileName(file);
    TTSPesReader* video = nullptr;
    TTSPesReader* audio = nullptr;
    TTSH264Reader* h264 = nullptr;
    TTSMPEG2Reader* mpeg2 = nullptr;
    TTSAC3Reader* ac3 = nullptr;
    TTSStreamTypeReader* sv = nullptr;
    TTSStreamTypeReader* sa = nullptr;
    if (st) {
        video = new TTSPesReader(&owner);
        audio = new TTSPesReader(&owner);
        video->SetTSPacketReader(reader);
        video->SetPID(st->videoPid);
        audio->SetTSPacketReader(reader);
        audio->SetPID(st->audioPid);
        sv = new TTSStreamTypeReader(&owner);
        sa = new TTSStreamTypeReader(&owner);
        sv->SetTSPesReader(video);
        sa->SetTSPesReader(audio);
        if (st->H264()) {
            h264 = new TTSH264Reader(&owner);
            h264->SetTSPesReader(video);
            h264->OnSliceReceived = [&](TObject*, int64_t, int64_t, TH264NALUnitType) { ++c.nalUnits; };
        } else if (st->Mpeg2()) {
            mpeg2 = new TTSMPEG2Reader(&owner);
            mpeg2->SetTSPesReader(video);
            mpeg2->OnNewSequence = [&](auto&&...) { ++c.sequences; };
        }
        if (st->audioAc3) {
            ac3 = new TTSAC3Reader(&owner);
            ac3->SetTSPesReader(audio);
            ac3->OnCRCError = [&](TObject*, int, int64_t, int64_t) { ++c.crcErrors; };
        }
        owner.LoadTree();
        video->SetActive(st->videoPid >= 0);
        audio->SetActive(st->audioPid >= 0);
        sv->SetActive(true);
        sa->SetActive(true);
        if (h264) h264->SetActive(true);
        if (mpeg2) mpeg2->SetActive(true);
        if (ac3) ac3->SetActive(true);
    }
    auto t = std::chrono::steady_clock::now();
    reader->SetActive(true);
    while (!reader->Eof()) reader->Next();
    const double s = Seconds(t);
    c.packets = reader->PacketIndex() + 1;
    if (st) {
        c.videoPes = video->PESPacketCount();
        c.audioPes = audio->PESPacketCount();
        if (ac3) c.frames = ac3->AC3FrameCount();
        std::printf("  sniffers: video %s, audio %s", StreamTypeName(sv->VotedStreamType()).c_str(),
                    StreamTypeName(sa->VotedStreamType()).c_str());
        if (h264)
            std::printf("; H.264 %dx%d %s", h264->H264VideoInfo()->Resolution_H(), h264->H264VideoInfo()->Resolution_V(),
                        h264->H264VideoInfo()->Profile().c_str());
        std::printf("\n");
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    tw::SetMainThread(); // the thread that services the workers' hand-overs
    std::string file = argc > 1 ? argv[1] : kDefaultFile;
    if (!FileExists(file)) {
        if (argc > 1 || !MakeRecording(file)) {
            std::fprintf(stderr, "no recording %s\n", file.c_str());
            return 1;
        }
    }
    const Streams st = FindStreams(file);
    if (st.videoPid < 0 && st.audioPid < 0) {
        std::fprintf(stderr, "no program with video or audio found in %s\n", file.c_str());
        return 1;
    }
    const char* videoAnalyser = st.H264() ? "H.264" : st.Mpeg2() ? "MPEG-2" : "none";
    const char* audioAnalyser = st.audioAc3 ? "AC-3" : "none";
    int64_t bytes = 0;
    bench::PlainRead(file, 128 * 1024, bytes); // warm the page cache so that all passes read from memory
    const double plain = bench::PlainRead(file, 128 * 1024, bytes);
    const double mb = static_cast<double>(bytes) / 1e6;
    Counts bare, full;
    const double packetOnly = Scan(file, nullptr, bare);
    const double analysed = Scan(file, &st, full);

    std::printf("recording: %s, %.0f MB, %lld packets; video PID 0x%X type 0x%02X, audio PID 0x%X type 0x%02X\n",
                file.c_str(), mb, static_cast<long long>(full.packets), st.videoPid, st.videoType, st.audioPid,
                st.audioType);
    std::printf("plain read (128 KiB, page-aligned):   %8.1f MB/s\n", mb / plain);
    std::printf("packet reader alone:                  %8.1f MB/s\n", mb / packetOnly);
    std::printf("packet reader + PES + sniffers + %s video + %s audio analyser: %8.1f MB/s\n", videoAnalyser,
                audioAnalyser, mb / analysed);
    std::printf("time of the full scan: %.2fx the plain read, %.2fx the bare packet reader\n", analysed / plain,
                analysed / packetOnly);
    std::printf("video PES %lld, audio PES %lld, NAL units %lld, MPEG-2 sequences %lld, AC-3 frames %lld, "
                "AC-3 CRC errors %lld\n",
                static_cast<long long>(full.videoPes), static_cast<long long>(full.audioPes),
                static_cast<long long>(full.nalUnits), static_cast<long long>(full.sequences),
                static_cast<long long>(full.frames), static_cast<long long>(full.crcErrors));
    return 0;
}
