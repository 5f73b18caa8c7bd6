// TCleaningChain: the readers the recording is cleaned through. A packet
// reader of its own (the analysis keeps its scanning reader), the PES readers
// of the kept video, audio and text streams on it, and the analysers that
// check the video and AC-3 audio while the copy is written.
//
// The analysis sets them up as it fills the result panels (PIDs, which
// analysers are on); the cleaning pass binds its handlers to them and reads.
#pragma once

#include "analysis/AnalysisTables.h"
#include "base/Object.h"

namespace tw {

class TTSPacketReader;
class TTSPesReader;
class TTSH264Reader;
class TTSMPEG2Reader;
class TTSAC3Reader;

class TCleaningChain : public TComponent {
public:
    // Creates and wires the readers; they register with each other when the
    // owner's tree is loaded.
    explicit TCleaningChain(TComponent* owner);

    TTSPacketReader& Reader() const { return *reader_; }
    TTSPesReader& VideoPes() const { return *video_; }
    TTSPesReader& AudioPes(int slot) const { return *audio_[slot]; }
    TTSPesReader& TextPes(int slot) const { return *text_[slot]; }
    TTSH264Reader& H264() const { return *h264_; }
    TTSMPEG2Reader& Mpeg2() const { return *mpeg2_; }
    TTSAC3Reader& Ac3(int slot) const { return *ac3_[slot]; }

    // Every reader of the chain off (the packet reader too).
    void Deactivate();

private:
    TTSPacketReader* reader_ = nullptr;
    TTSPesReader* video_ = nullptr;
    TTSPesReader* audio_[AUDIO_SLOTS] = {};
    TTSPesReader* text_[TEXT_SLOTS] = {};
    TTSMPEG2Reader* mpeg2_ = nullptr;
    TTSH264Reader* h264_ = nullptr;
    TTSAC3Reader* ac3_[AUDIO_SLOTS] = {};
};

} // namespace tw
