// Steps 9 and 10: the picture format of the video stream and the audio mode
// of each AC-3 / E-AC-3 stream (sampled at seven places and settled by vote).
#include "analysis/TableSelection.h"
#include "analysis/CleaningChain.h"
#include "analysis/DetailScans.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/ScanPasses.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

#include <limits>

namespace tw {

namespace {

// The log of a detail scan is silenced after its 41st broken packet, as that
// of every other scan: a dropout must not bury the log under a line per
// packet. The silence ends with the scan.
struct TDetailLogSilence {
    TScanPasses& Scan;
    TAnalysisTables& Tables;
    int Errors = 0;
    void Look() {
        if (Scan.IsBrokenPacket()) Scan.CountBrokenPacket(Errors, std::numeric_limits<int>::max());
    }
    ~TDetailLogSilence() { Tables.LogSuppressed = false; }
};

} // namespace

bool TDetailScans::ScanUntil(int64_t limit, const std::function<bool()>& found) {
    TTSPacketReader* r = scan_.Reader();
    TDetailLogSilence silence{scan_, engine_.Tables()};
    for (int64_t n = 0; n < limit && !r->Eof() && r->PacketCount() > 0; ++n) {
        if (found()) return true;
        const int64_t before = r->PacketIndex();
        r->Next();
        if (r->PacketIndex() == before) break; // a reader that no longer advances
        silence.Look();
        if ((n & 0x3FFF) == 0x3FFF) {
            engine_.Progress().ProcessMessages();
            if (engine_.CancelRequested()) break;
        }
    }
    return false;
}

bool TDetailScans::ScanH264Details(int pid, int64_t limit) {
    TVideoInfo& v = engine_.Tables().Video;
    v.Clear();
    fullRangeFlag_ = false;
    scan_.Reader()->SetPacketIndex(0);
    scan_.PesScan()->SetPID(pid);
    scan_.PesScan()->SetActive(true);
    scan_.H264Scan()->SetActive(true);
    const bool found = ScanUntil(limit, [&] {
        const TTSH264VideoInfo* info = scan_.H264Scan()->H264VideoInfo();
        if (info->Resolution_H() <= 0) return false;
        v.Resolution_H = info->Resolution_H();
        v.Resolution_V = info->Resolution_V();
        v.FramesPerSecond = info->FramesPerSecond();
        v.Interlaced = info->Interlaced();
        v.Level = info->Level();
        v.Profile = info->Profile();
        v.Colorimetry = info->Colorimetry();
        v.Kind = 2;
        fullRangeFlag_ = scan_.H264Scan()->Sps().video_full_range_flag;
        return true;
    });
    scan_.H264Scan()->SetActive(false);
    scan_.PesScan()->SetActive(false);
    return found;
}

bool TDetailScans::ScanMpeg2Details(int64_t limit) {
    TVideoInfo& v = engine_.Tables().Video;
    v.Clear();
    scan_.Reader()->SetPacketIndex(0);
    scan_.PesScan()->SetPID(engine_.Chain().VideoPes().PID());
    scan_.PesScan()->SetActive(true);
    scan_.Mpeg2Scan()->SetActive(true);
    const bool found = ScanUntil(limit, [&] {
        const TTSMPEG2VideoInfo* info = scan_.Mpeg2Scan()->MPEG2VideoInfo();
        if (info->Resolution_H() <= 0) return false;
        v.Resolution_H = info->Resolution_H();
        v.Resolution_V = info->Resolution_V();
        v.FramesPerSecond = info->FramesPerSecond();
        v.Interlaced = info->Interlaced();
        v.Profile = scan_.Mpeg2Scan()->ProfileLevelText();
        v.AspectRatio = info->AspectRatio();
        v.Kind = 1;
        return true;
    });
    scan_.Mpeg2Scan()->SetActive(false);
    scan_.PesScan()->SetActive(false);
    return found;
}

namespace {

struct TAudioSample {
    int Kind = 0; // 0 nothing, 2 AC-3, 5 E-AC-3
    int SampleRate = 0;
    int BitRate = 0;
    std::string Mode;
};

int DetailSampleRateHz(TSamplingRate sr) {
    switch (sr) {
    case sr48k: return 48000;
    case sr44_1k: return 44100;
    case sr32k: return 32000;
    default: return 0;
    }
}

} // namespace

bool TDetailScans::ScanAudioDetails(int slot, int64_t budget) {
    TAnalysisTables& t = engine_.Tables();
    TAudioInfo& a = t.Audio[static_cast<size_t>(slot)];
    TTSPacketReader* r = scan_.Reader();
    TAudioSample samples[7];
    int64_t counter = 0;
    TDetailLogSilence silence{scan_, t};
    for (int k = 0; k < 7; ++k) {
        int64_t point = 0;
        if (k > 0) point = ((r->PacketCount() - budget) / 7) * k - 100;
        // Short recordings put the later points before the first packet:
        // they start at packet 0 instead.
        if (point < 0) point = 0;
        r->SetPacketIndex(point);
        scan_.PesScan()->SetPID(a.Pid);
        scan_.PesScan()->SetActive(true);
        scan_.Ac3Scan()->SetActive(true);
        while (counter < budget && !r->Eof() && r->PacketCount() > 0) {
            const TTSAC3Frame* f = scan_.Ac3Scan()->AC3Frame();
            if (scan_.Ac3Scan()->AC3FrameCount() > 1 && !f->AC3AudioMode().empty()) {
                TAudioSample& s = samples[k];
                s.Kind = f->EAC3() ? 5 : 2;
                s.Mode = f->AC3AudioMode();
                s.BitRate = f->BitRate();
                s.SampleRate = DetailSampleRateHz(f->SamplingRate());
                break;
            }
            const int64_t before = r->PacketIndex();
            r->Next();
            ++counter;
            if (r->PacketIndex() == before) break;
            silence.Look();
        }
        scan_.Ac3Scan()->SetActive(false);
        scan_.PesScan()->SetActive(false);
    }
    a.Mode = samples[0].Mode;
    a.BitRate = samples[0].BitRate;
    a.SampleRate = samples[0].SampleRate;

    bool any = false;
    bool mixed = false;
    int votes[19] = {};
    for (const TAudioSample& s : samples) {
        if (s.Kind != 2 && s.Kind != 5) continue;
        any = true;
        if (s.Mode != a.Mode || s.BitRate != a.BitRate || s.SampleRate != a.SampleRate) mixed = true;
        const int idx = TTSAC3Reader::ChannelsFromAudioMode(s.Mode);
        if (idx >= 0 && idx < 19) ++votes[idx];
    }
    if (!mixed) return any;
    int win = 0, kinds = 0;
    for (int i = 0; i < 19; ++i) {
        if (votes[i] > 0) ++kinds;
        if (votes[i] >= votes[win]) win = i;
    }
    if (win > 0) {
        for (const TAudioSample& s : samples) {
            if ((s.Kind == 2 || s.Kind == 5) && TTSAC3Reader::ChannelsFromAudioMode(s.Mode) == win) {
                a.Mode = s.Mode;
                a.BitRate = s.BitRate;
                a.SampleRate = s.SampleRate;
            }
        }
    }
    a.MixedTypes = true;
    engine_.Log("$" + IntToHex(a.Pid, 4) + " " + IntToStr(kinds) + " different AC3 types detected! ");
    engine_.Log("$" + IntToHex(a.Pid, 4) + " selecting AC3 type with mode " + a.Mode);
    return any;
}

} // namespace tw
