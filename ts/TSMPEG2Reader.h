// MPEG-2 video analyser: cuts the video elementary stream of the PES packets
// it receives into start-code units and reads sequence headers and sequence
// extensions (resolution, frame rate, aspect ratio, profile and level).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Object.h"
#include "ts/TSPesTypes.h"

namespace tw {

class TTSPesReader;

// What the last sequence header and sequence extension said. Only the reader
// writes it.
class TTSMPEG2VideoInfo : public TObject {
public:
    int64_t PTS() const { return pts_; }
    bool Interlaced() const { return interlaced_; }
    int Resolution_V() const { return resolutionV_; }
    int Resolution_H() const { return resolutionH_; }
    double FramesPerSecond() const { return framesPerSecond_; }
    const std::string& AspectRatio() const { return aspectRatio_; }
    int Profile() const { return profile_; }
    int Level() const { return level_; }

private:
    friend class TTSMPEG2Reader;
    int64_t pts_ = 0;
    bool interlaced_ = false;
    int resolutionV_ = 0;
    int resolutionH_ = 0;
    double framesPerSecond_ = 0;
    std::string aspectRatio_;
    int profile_ = 0;
    int level_ = 0;
};

// Capacity of the unit buffer.
constexpr int kMpeg2BufferCapacity = 2000000;

class TTSMPEG2Reader : public TComponent, public TTSPesConsumer {
public:
    using TNewSequenceEvent = std::function<void(TObject* Sender, int SequenceNo, int Size, const std::string& SequenceName)>;
    using TMPEG2BufferErrorEvent =
        std::function<void(TObject* Sender, int64_t PacketIndex, int CurrentBufferSize, int CurrentPosition)>;
    using TMPEG2BufferOverflowErrorEvent =
        std::function<void(TObject* Sender, int64_t PacketIndex, int Size, int MaxSize)>;

    explicit TTSMPEG2Reader(TComponent* owner);
    ~TTSMPEG2Reader() override;

    // Registers with the PES reader named in TSPesReader.
    void Loaded() override;

    bool Active() const { return active_; }
    // What the PES reader asks of a consumer.
    bool PesConsumerActive() const override { return active_; }
    void ConsumePesPacket(const TPesCollection* block, int dataStart, int dataLength, int64_t pts,
                          int64_t packetIndex) override {
        ProcessPES(block, dataStart, dataLength, pts, packetIndex);
    }
    void SetActive(bool value);
    bool Synched() const { return synched_; }
    void SetSynched(bool value) { synched_ = value; }
    TTSPesReader* TSPesReader() const { return tsPesReader_; }
    // Also takes over the source's PID (0 when cleared).
    void SetTSPesReader(TTSPesReader* value);
    int PID() const { return pid_; }
    void SetPID(int value) { pid_ = value; }
    int64_t BytesBeforeSyncMark() const { return bytesBeforeSyncMark_; }
    void SetBytesBeforeSyncMark(int64_t value) { bytesBeforeSyncMark_ = value; }
    TTSMPEG2VideoInfo* MPEG2VideoInfo() const { return videoInfo_; }
    void SetMPEG2VideoInfo(TTSMPEG2VideoInfo* value) { videoInfo_ = value; }

    // Fields of the last sequence header and sequence extension.
    int HorizontalSizeValue() const { return horizontalSize_; }
    int VerticalSizeValue() const { return verticalSize_; }
    int AspectRatioInformation() const { return aspectRatioInformation_; }
    int FrameRateCode() const { return frameRateCode_; }
    uint32_t BitRateValue() const { return bitRateValue_; }
    int ExtensionStartCodeIdentifier() const { return extensionId_; }
    int ProfileAndLevelIndication() const { return profileAndLevel_; }
    int ProgressiveSequence() const { return progressiveSequence_; }
    int ChromaFormat() const { return chromaFormat_; }
    int HorizontalSizeExtension() const { return horizontalSizeExtension_; }
    int VerticalSizeExtension() const { return verticalSizeExtension_; }
    // Bytes waiting in the unit buffer.
    int BufferedBytes() const { return count_; }

    // One complete PES packet from the PES reader.
    void ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS, int64_t PacketIndex);

    static std::string Mpeg2StartCodeName(int value);
    std::string ProfileLevelText() const;

    TNewSequenceEvent OnNewSequence;
    TMPEG2BufferErrorEvent OnMpeg2BufferError; // bindable; never raised
    TMPEG2BufferOverflowErrorEvent OnMpeg2BufferOverflowError;

private:
    void RefreshVideoInfo();
    // The first bytes of a unit are all ProcessUnit reads: code and up to
    // seven bytes behind it; avail counts the bytes there from the unit on.
    static constexpr int kUnitHeadBytes = 11;
    void ProcessUnit(const uint8_t* unit, int avail, int length);
    // Cuts the units out of the buffered bytes followed by `added`.
    void ScanUnits(const uint8_t* added, int addedCount);
    uint8_t At(int i) const { return i < count_ ? buffer_[i] : 0; }

    bool active_ = false;
    bool synched_ = false;
    TTSPesReader* tsPesReader_ = nullptr;
    int pid_ = 0;
    int64_t bytesBeforeSyncMark_ = 0;
    TTSMPEG2VideoInfo* videoInfo_ = nullptr;
    std::unique_ptr<TTSMPEG2VideoInfo> ownVideoInfo_;
    std::unique_ptr<uint8_t[]> buffer_;
    int count_ = 0;
    int scanPos_ = 0;

    int horizontalSize_ = 0;
    int verticalSize_ = 0;
    int aspectRatioInformation_ = 0;
    int frameRateCode_ = 0;
    uint32_t bitRateValue_ = 0;
    int extensionId_ = 0;
    int profileAndLevel_ = 0;
    int progressiveSequence_ = 0;
    int chromaFormat_ = 0;
    int horizontalSizeExtension_ = 0;
    int verticalSizeExtension_ = 0;
};

} // namespace tw
