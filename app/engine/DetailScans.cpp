// Steps 9 and 10: the picture format of the video stream and the audio mode
// of each AC-3 / E-AC-3 stream (sampled at seven places and settled by vote).
#include "app/engine/TableSelection.h"
#include "app/engine/CleaningChain.h"
#include "app/engine/AnalysisEngine.h"

#include "app/engine/AnalysisTexts.h"
#include "app/engine/MainTexts.h"
#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

bool TAnalysisEngine::ScanUntil(int64_t limit, const std::function<bool()>& found) {
    TTSPacketReader* r = TSPacketReader1;
    for (int64_t n = 0; n < limit && !r->Eof() && r->PacketCount() > 0; ++n) {
        if (found()) return true;
        const int64_t before = r->PacketIndex();
        r->Next();
        if (r->PacketIndex() == before) break; // a reader that no longer advances
        if ((n & 0x3FFF) == 0x3FFF) {
            host_.Progress->ProcessMessages();
            if (cancelRequested_) break;
        }
    }
    return false;
}

bool TAnalysisEngine::ScanH264Details(int pid, int64_t limit) {
    TVideoInfo& v = tables_->Video;
    v.Clear();
    scanFullRangeFlag_ = false;
    TSPacketReader1->SetPacketIndex(0);
    TSPesReader_Scan->SetPID(pid);
    TSPesReader_Scan->SetActive(true);
    TSH264Reader_Scan->SetActive(true);
    const bool found = ScanUntil(limit, [&] {
        const TTSH264VideoInfo* info = TSH264Reader_Scan->H264VideoInfo();
        if (info->Resolution_H() <= 0) return false;
        v.Resolution_H = info->Resolution_H();
        v.Resolution_V = info->Resolution_V();
        v.FramesPerSecond = info->FramesPerSecond();
        v.Interlaced = info->Interlaced();
        v.Level = info->Level();
        v.Profile = info->Profile();
        v.Colorimetry = info->Colorimetry();
        v.Kind = 2;
        scanFullRangeFlag_ = TSH264Reader_Scan->Sps().video_full_range_flag;
        return true;
    });
    TSH264Reader_Scan->SetActive(false);
    TSPesReader_Scan->SetActive(false);
    return found;
}

bool TAnalysisEngine::ScanMpeg2Details(int64_t limit) {
    TVideoInfo& v = tables_->Video;
    v.Clear();
    TSPacketReader1->SetPacketIndex(0);
    TSPesReader_Scan->SetPID(Chain().VideoPes().PID());
    TSPesReader_Scan->SetActive(true);
    TSMPEG2Reader_Scan->SetActive(true);
    const bool found = ScanUntil(limit, [&] {
        const TTSMPEG2VideoInfo* info = TSMPEG2Reader_Scan->MPEG2VideoInfo();
        if (info->Resolution_H() <= 0) return false;
        v.Resolution_H = info->Resolution_H();
        v.Resolution_V = info->Resolution_V();
        v.FramesPerSecond = info->FramesPerSecond();
        v.Interlaced = info->Interlaced();
        v.Profile = TSMPEG2Reader_Scan->ProfileLevelText();
        v.AspectRatio = info->AspectRatio();
        v.Kind = 1;
        return true;
    });
    TSMPEG2Reader_Scan->SetActive(false);
    TSPesReader_Scan->SetActive(false);
    return found;
}

void TAnalysisEngine::RunVideoStep() {
    TAnalysisTables& t = *tables_;
    const TPmtEntry& entry = Selection().Pmt().Entry(t.VideoEntryIndex);
    const TVideoInfo& v = t.Video;
    if (entry.StreamType == kStreamTypeH264) {
        if (ScanH264Details(entry.PID, VIDEO_DETAIL_LIMIT)) {
            std::string format = IntToStr(v.Resolution_H) + "x" + IntToStr(v.Resolution_V) + (v.Interlaced ? "i" : "p") +
                                 "/" + NumberText(v.FramesPerSecond) + " fps/" + v.Profile + "@" + LevelText(v.Level);
            if (!v.Colorimetry.empty()) format += "\r\nColorimetry : " + v.Colorimetry;
            LogH264Dump(TSH264Reader_Scan);
            Log("Video format: H264 " + format);
            videoPanel_.Details =
                VideoDetailsText(v.Resolution_H, v.Resolution_V, v.Profile, v.Level, v.FramesPerSecond, v.Interlaced);
            if (scanFullRangeFlag_) {
                Log("ES  WARNING: video_full_range_flag is set!");
                bool correct = false;
                if (!fullRangeAsked_) {
                    fullRangeAsked_ = true;
                    correct = host_.Questions->Ask(TAnalysisQuestion::VideoFullRange, MsgText(mmFullRangeSet) + "\r" +
                                                                                MsgText(mmFullRangeNotForDvb) + "\r" +
                                                                                MsgText(mmFullRangeCorrect));
                    if (correct) {
                        t.FullRangeCorrect = true;
                        Log("Reset video_full_range_flag !");
                    } else {
                        t.FullRangeIgnore = true;
                        Log("Ignore video_full_range_flag !");
                    }
                }
            }
        } else {
            Log("Video format: Could not detect video header details");
            videoPanel_.Details = "Format details not found";
        }
        host_.Streams->ShowPanel(TPanelKind::Video, 0, videoPanel_);
        SetStep(asVideoDetailsScan, TStepState::Done, "1 stream scanned");
    } else if (entry.StreamType == kStreamTypeMpeg2Video) {
        std::string format;
        if (ScanMpeg2Details(VIDEO_DETAIL_LIMIT)) {
            format = IntToStr(v.Resolution_H) + "x" + IntToStr(v.Resolution_V) + " / " + NumberText(v.FramesPerSecond) +
                     " fps";
            videoPanel_.Details =
                VideoDetailsText(v.Resolution_H, v.Resolution_V, v.Profile, 0, v.FramesPerSecond, v.Interlaced);
        } else {
            format = "Format unknown";
            videoPanel_.Details.clear();
        }
        host_.Streams->ShowPanel(TPanelKind::Video, 0, videoPanel_);
        SetStep(asVideoDetailsScan, TStepState::Done, "1 stream scanned");
        Log("Video format: MPEG2 " + format);
    }
    // Any other video type leaves the step running.
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

bool TAnalysisEngine::ScanAudioDetails(int slot, int64_t budget) {
    TAnalysisTables& t = *tables_;
    TAudioInfo& a = t.Audio[static_cast<size_t>(slot)];
    TTSPacketReader* r = TSPacketReader1;
    TAudioSample samples[7];
    int64_t counter = 0;
    for (int k = 0; k < 7; ++k) {
        int64_t point = 0;
        if (k > 0) point = ((r->PacketCount() - budget) / 7) * k - 100;
        // Short recordings put the later points before the first packet:
        // they start at packet 0 instead.
        if (point < 0) point = 0;
        r->SetPacketIndex(point);
        TSPesReader_Scan->SetPID(a.Pid);
        TSPesReader_Scan->SetActive(true);
        TSAC3Reader_Scan->SetActive(true);
        while (counter < budget && !r->Eof() && r->PacketCount() > 0) {
            const TTSAC3Frame* f = TSAC3Reader_Scan->AC3Frame();
            if (TSAC3Reader_Scan->AC3FrameCount() > 1 && !f->AC3AudioMode().empty()) {
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
        }
        TSAC3Reader_Scan->SetActive(false);
        TSPesReader_Scan->SetActive(false);
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
    Log("$" + IntToHex(a.Pid, 4) + " " + IntToStr(kinds) + " different AC3 types detected! ");
    Log("$" + IntToHex(a.Pid, 4) + " selecting AC3 type with mode " + a.Mode);
    return any;
}

void TAnalysisEngine::RunAudioStep() {
    TAnalysisTables& t = *tables_;
    for (int i = 0; i < AUDIO_SLOTS && !cancelRequested_; ++i) {
        TAudioInfo& a = t.Audio[static_cast<size_t>(i)];
        if (a.Pid == 0) continue;
        const int fidx = t.FoundStreamIndex(a.Pid);
        std::string description;
        if (a.Kind != akAC3 && a.Kind != akEAC3) {
            if (fidx >= 0 && LowerCase(t.FoundStreams[static_cast<size_t>(fidx)].TypeText).find("audio") != std::string::npos)
                description = t.FoundStreams[static_cast<size_t>(fidx)].TypeText;
        } else {
            if (ScanAudioDetails(i, AUDIO_DETAIL_BUDGET)) {
                description = std::string(a.Kind == akEAC3 ? "E-AC3 " : "AC3 ") + a.Mode + " " +
                              IntToStr(a.SampleRate) + "Hz (" + UpperCase(a.Language) + ")";
                a.Details = a.Mode + " (" + LanguageCodeName(a.Language, German()) + ")\r" + SampleRateText(a.SampleRate) +
                            "\r" + IntToStr(a.BitRate) + "kBit";
                audioPanel_[i].Details = a.Details;
                host_.Streams->ShowPanel(TPanelKind::Audio, i, audioPanel_[i]);
            }
            if (fidx >= 0 && t.FoundStreams[static_cast<size_t>(fidx)].StreamID != 0xBD) {
                const int oldId = t.FoundStreams[static_cast<size_t>(fidx)].StreamID;
                // Asked once per analysis; the answer holds for every stream.
                if (!ac3StreamIdAsked_) {
                    ac3StreamIdAsked_ = true;
                    ac3StreamIdAnswer_ = host_.Questions->Ask(TAnalysisQuestion::Ac3StreamId, MsgText(mmAc3StreamIdWrong) + "\r" +
                                                                                        MsgText(mmAc3StreamIdForDvb) +
                                                                                        "\r" +
                                                                                        MsgText(mmAc3StreamIdCorrect));
                }
                if (ac3StreamIdAnswer_) {
                    t.AddPatchEntry(a.Pid, PATCH_KIND_STREAM_ID, 0xBD, oldId);
                    Log("Audio stream " + IntToStr(i + 1) + ": Patch StreamID from $" + IntToHex(oldId & 0xFF, 2) +
                        " to $BD !");
                } else {
                    Log("Audio stream " + IntToStr(i + 1) + ": Ignore AC3 StreamID $" + IntToHex(oldId & 0xFF, 2) +
                        "<> $BD !");
                }
            }
        }
        Log("Audio stream " + IntToStr(i + 1) + ": " + description);
    }
}

} // namespace tw
