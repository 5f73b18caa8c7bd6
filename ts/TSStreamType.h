// Stream-type sniffer: guesses the elementary-stream type of one PID from the
// stream_id and byte signatures of its PES packets, one vote per packet.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Object.h"
#include "ts/TSPesTypes.h"

namespace tw {

class TTSPesReader;

class TTSStreamTypeReader : public TComponent, public TTSPesConsumer {
public:
    using TIdentifiedEvent =
        std::function<void(TObject* Sender, TEsStreamType EsStreamType, const std::string& FirstEightBytes)>;
    using TNotIdentifiedEvent = std::function<void(TObject* Sender, const std::string& FirstEightBytes)>;

    explicit TTSStreamTypeReader(TComponent* owner);
    ~TTSStreamTypeReader() override;

    // Registers with the PES reader named in TSPesReader.
    void Loaded() override;

    bool Active() const { return active_; }
    // What the PES reader asks of a consumer.
    bool PesConsumerActive() const override { return active_; }
    void ConsumePesPacket(const TPesCollection* block, int dataStart, int dataLength, int64_t pts,
                          int64_t packetIndex) override {
        SniffStreamType(block, dataStart, dataLength, pts, packetIndex);
    }
    void SetActive(bool value);
    TTSPesReader* TSPesReader() const { return tsPesReader_; }
    // Also takes over the source's PID (0 when cleared).
    void SetTSPesReader(TTSPesReader* value);
    int PID() const { return pid_; }
    void SetPID(int value) { pid_ = value; }
    TEsStreamType ESStreamType() const { return esStreamType_; }
    int64_t ScannedPackets() const { return scannedPackets_; }
    const std::string& FirstEightBytes() const { return firstEightBytes_; }
    // Votes collected for one type since the last reset.
    int64_t Votes(TEsStreamType t) const { return votes_[static_cast<int>(t)]; }

    // One complete PES packet from the PES reader: its collection block, the
    // payload's offset and length. PTS and packet index are not used.
    void SniffStreamType(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS,
                         int64_t PacketIndex);

    // The type with the most votes (the lower type on a tie); estUnknown
    // when nothing was voted.
    TEsStreamType VotedStreamType() const;
    std::string StreamTypeName(TEsStreamType value) const { return tw::StreamTypeName(value); }

    TIdentifiedEvent OnIdentified;
    TNotIdentifiedEvent OnNotIdentified;

private:
    void Reset();

    bool active_ = false;
    TTSPesReader* tsPesReader_ = nullptr;
    int pid_ = 0;
    TEsStreamType esStreamType_ = estUnknown;
    int64_t scannedPackets_ = 0;
    std::string firstEightBytes_;
    int64_t votes_[kEsStreamTypeCount] = {};
};

} // namespace tw
