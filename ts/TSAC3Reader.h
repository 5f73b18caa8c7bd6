// AC-3 / E-AC-3 analyser: synchronises on the sync word, cuts the audio
// elementary stream of the PES packets it receives into sync frames, reads
// each frame header, checks the frame's CRC words and reports frames, CRC
// errors and changes of the audio properties.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Object.h"
#include "ts/TSPesTypes.h"

namespace tw {

class TTSPesReader;

enum TSamplingRate : int { sr48k, sr44_1k, sr32k, sr24k, sr22_05k, sr16k, sr_reserved };

// Sampling frequency in Hz (0 for sr_reserved).
int SamplingRateHz(TSamplingRate rate);

constexpr int kAC3BufferCapacity = 2000001;
constexpr int kAC3FrameCapacity = 1000001;

// The frame being parsed and the last complete frame. Only the reader writes it.
class TTSAC3Frame : public TObject {
public:
    TTSAC3Frame();

    TSamplingRate SamplingRate() const { return samplingRate_; }
    uint16_t CRC2() const { return crc2_; }
    uint16_t CRC1() const { return crc1_; }
    int FrameSize() const { return frameSize_; }
    int frmsizcod() const { return frmsizcod_; }
    int64_t PTS() const { return pts_; }
    int64_t PreviousPTS() const { return previousPTS_; }
    int AudioCodingMode() const { return audioCodingMode_; }
    bool LFEPresent() const { return lfePresent_; }
    const std::string& AC3AudioMode() const { return ac3AudioMode_; }
    int BitRate() const { return bitRate_; }
    bool EAC3() const { return eac3_; }
    int BitStreamID() const { return bitStreamID_; }
    // The last complete frame.
    const uint8_t* FrameBytes() const { return bytes_.get(); }
    int FrameByteCount() const { return byteCount_; }

private:
    friend class TTSAC3Reader;
    TSamplingRate samplingRate_ = sr48k;
    uint16_t crc2_ = 0;
    uint16_t crc1_ = 0;
    int frameSize_ = 0;
    int frmsizcod_ = 0;
    int64_t pts_ = -1;
    int64_t previousPTS_ = 0;
    int audioCodingMode_ = 0;
    bool lfePresent_ = false;
    std::string ac3AudioMode_;
    int bitRate_ = 0;
    bool eac3_ = false;
    int bitStreamID_ = 0;
    std::unique_ptr<uint8_t[]> bytes_;
    int byteCount_ = 0;
};

class TTSAC3Reader : public TComponent, public TTSPesConsumer {
public:
    using TFrameReceivedEvent = std::function<void(TObject* Sender, int64_t FramePTS, int64_t PreviousFramePTS)>;
    using TFirstFrameSynchEvent = std::function<void(TObject* Sender, int64_t FramePTS, int64_t ByteBeforeFrameStart)>;
    using TAC3CrcErrorEvent = std::function<void(TObject* Sender, int PID, int64_t PacketIndex, int64_t FramePTS)>;
    using TAC3PropertyChangeEvent =
        std::function<void(TObject* Sender, int PID, int64_t FramePTS, const std::string& OldAudioProperties,
                           const std::string& NewAudioProperties)>;
    using TAC3BufferOverflowEvent = std::function<void(TObject* Sender, int PID, int64_t FramePTS, int64_t PacketIndex)>;

    explicit TTSAC3Reader(TComponent* owner);
    ~TTSAC3Reader() override;

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
    TTSPesReader* TSPesReader() const { return tsPesReader_; }
    void SetTSPesReader(TTSPesReader* value) { tsPesReader_ = value; }
    bool Synched() const { return synched_; }
    TTSAC3Frame* AC3Frame() const { return frame_; }
    void SetAC3Frame(TTSAC3Frame* value) { frame_ = value; }
    int AC3FrameCount() const { return frameCount_; }
    void SetAC3FrameCount(int value) { frameCount_ = value; }
    int64_t BytesBeforeFrameStart() const { return bytesBeforeFrameStart_; }
    int64_t PacketIndex() const { return packetIndex_; }
    void SetPacketIndex(int64_t value) { packetIndex_ = value; }
    // The source's PID, 0 without a source.
    int PID() const;
    // Bytes waiting in the frame buffer.
    int BufferedBytes() const { return count_; }

    // One complete PES packet from the PES reader.
    void ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS, int64_t PacketIndex);

    // "5.1" -> 6; 0 for anything that is not digit, character, digit.
    static int ChannelsFromAudioMode(const std::string& mode);

    // CRC-16 (polynomial 0x8005, start 0, MSB first) over bytes, from crc.
    uint16_t Crc16(const uint8_t* data, int length, uint16_t crc = 0) const;

    TFrameReceivedEvent OnFrameReceived;
    TFirstFrameSynchEvent OnFirstFrameSynch;
    TAC3CrcErrorEvent OnCRCError;
    TAC3PropertyChangeEvent OnAC3PropertyChange;
    TAC3BufferOverflowEvent OnAC3BufferOverflow;

private:
    struct THeader;
    void ParseFrames(int64_t pts, int64_t packetIndex);
    bool CrcOk(const uint8_t* f, int size, bool eac3, uint16_t crc1, uint16_t crc2) const;
    static std::string PropertiesText(const std::string& mode, TSamplingRate rate);

    bool active_ = false;
    TTSPesReader* tsPesReader_ = nullptr;
    bool synched_ = false;
    TTSAC3Frame* frame_ = nullptr;
    std::unique_ptr<TTSAC3Frame> ownFrame_;
    int frameCount_ = 0;
    int64_t bytesBeforeFrameStart_ = 0;
    int64_t packetIndex_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    int count_ = 0;
    // Properties of the last completed frame, against which a change is seen.
    bool haveLast_ = false;
    TSamplingRate lastRate_ = sr48k;
    bool lastLfe_ = false;
    std::string lastMode_;
};

} // namespace tw
