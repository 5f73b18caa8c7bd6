#include "analysis/CleaningChain.h"

#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"

namespace tw {

namespace {
template <class T> T* Make(TComponent* owner, const char* name)
{
    T* c = new T(owner);
    c->SetName(name);
    return c;
}
} // namespace

TCleaningChain::TCleaningChain(TComponent* owner) : TComponent(owner)
{
    SetName("CleaningChain");
    static const char* const audioNames[AUDIO_SLOTS] = {"TSPesReader_Audio1", "TSPesReader_Audio2",
                                                        "TSPesReader_Audio3", "TSPesReader_Audio4"};
    static const char* const textNames[TEXT_SLOTS] = {"TSPesReader_Text1", "TSPesReader_Text2", "TSPesReader_Text3",
                                                      "TSPesReader_Text4"};
    static const char* const ac3Names[AUDIO_SLOTS] = {"TSAC3Reader1", "TSAC3Reader2", "TSAC3Reader3",
                                                      "TSAC3Reader4"};
    // Consumers are fed in the order they register: video, audio, text; on
    // the video, the MPEG-2 analyser before the H.264 one.
    reader_ = Make<TTSPacketReader>(this, "RemuxPacketReader");
    video_ = Make<TTSPesReader>(this, "TSPesReader_Video");
    video_->SetTSPacketReader(reader_);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        audio_[i] = Make<TTSPesReader>(this, audioNames[i]);
        audio_[i]->SetTSPacketReader(reader_);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        text_[i] = Make<TTSPesReader>(this, textNames[i]);
        text_[i]->SetTSPacketReader(reader_);
    }
    mpeg2_ = Make<TTSMPEG2Reader>(this, "TSMPEG2Reader1");
    mpeg2_->SetTSPesReader(video_);
    h264_ = Make<TTSH264Reader>(this, "TSH264Reader1");
    h264_->SetTSPesReader(video_);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        ac3_[i] = Make<TTSAC3Reader>(this, ac3Names[i]);
        ac3_[i]->SetTSPesReader(audio_[i]);
    }
}

void TCleaningChain::Deactivate()
{
    video_->SetActive(false);
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        audio_[i]->SetActive(false);
        ac3_[i]->SetActive(false);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i)
        text_[i]->SetActive(false);
    h264_->SetActive(false);
    mpeg2_->SetActive(false);
    reader_->SetActive(false);
}

} // namespace tw
