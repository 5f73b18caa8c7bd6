// PES reader: collects the transport packets of one PID into PES packets,
// checks each PES header, keeps one record per transport packet of the PES
// being collected and hands every complete, valid PES packet to the
// elementary-stream analysers registered with it (TTSPesConsumer, in
// ts/TSPesTypes.h: the reader knows them only through that interface).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesTypes.h"

namespace tw {

enum TPesStreamIdType : int {
    psid_unknown_stream,
    psid_program_stream,
    psid_private_stream_1,
    psid_padding_stream,
    psid_private_stream_2,
    psid_audio_stream,
    psid_video_stream,
    psid_ecm_stream,
    psid_emm_stream,
    psid_dsmcc_stream,
    psid_iso_13522_stream,
    psid_h222_1_a_stream,
    psid_h222_1_b_stream,
    psid_h222_1_c_stream,
    psid_h222_1_d_stream,
    psid_h222_1_e_stream,
    psid_ancillary_stream,
    psid_sl_packetized_stream,
    psid_flexmux_stream,
    psid_reserved_data_stream,
    psid_program_stream_directory,
};

enum TPESPaketError : int {
    psePSCPrefix,
    pseStreamType,
    pseCtrBitsHeader,
    pseCtrBitsPTS,
    pseMarkerBit1PTS,
    pseMarkerBit2PTS,
    pseMarkerBit3PTS,
    pseCtrBitsPTS2,
    pseMarkerBit1PTS2,
    pseMarkerBit2PTS2,
    pseMarkerBit3PTS2,
    pseCtrBitsDTS,
    pseMarkerBit1DTS,
    pseMarkerBit2DTS,
    pseMarkerBit3DTS,
    pseSizeMismatch,
    pseScrambled,
};

// Set of TPESPaketError held in 32 bits, bit n = value n.
struct TPESPaketErrors {
    uint32_t Bits = 0;
    TPESPaketErrors() = default;
    TPESPaketErrors(std::initializer_list<TPESPaketError> items) {
        for (auto e : items) Include(e);
    }
    bool Contains(TPESPaketError e) const { return (Bits >> e) & 1u; }
    void Include(TPESPaketError e) { Bits |= 1u << e; }
    void Exclude(TPESPaketError e) { Bits &= ~(1u << e); }
    bool Empty() const { return Bits == 0; }
    bool operator==(const TPESPaketErrors& o) const { return Bits == o.Bits; }
};

// The parsed header of the PES packet being collected. Only the reader writes
// it; users may set Valid, PaketErrors and PTS_Fix_Offset.
class TTSPesHeader : public TObject {
public:
    int StartCodePrefix() const { return startCodePrefix_; }
    int StreamID() const { return streamID_; }
    int PacketLength() const { return packetLength_; }
    TPesStreamIdType StreamIDType() const { return streamIDType_; }
    bool PESPriority() const { return pesPriority_; }
    int PESScramblingControl() const { return pesScramblingControl_; }
    bool Copyright() const { return copyright_; }
    bool DataAlignmentIndicator() const { return dataAlignmentIndicator_; }
    bool OriginalOrCopy() const { return originalOrCopy_; }
    bool PESCRCFlag() const { return pesCRCFlag_; }
    bool EsRateFlag() const { return esRateFlag_; }
    bool DsmTrickModeFlag() const { return dsmTrickModeFlag_; }
    bool AdditionalCopyInfoFlag() const { return additionalCopyInfoFlag_; }
    bool PESExtensionFlag() const { return pesExtensionFlag_; }
    bool EscrFlag() const { return escrFlag_; }
    int PESHeaderDataLength() const { return pesHeaderDataLength_; }
    int PtsDtsFlags() const { return ptsDtsFlags_; }
    // 0 when the header carries none: ask HasPTS / HasDTS first.
    int64_t PTS() const { return pts_; }
    int64_t DTS() const { return dts_; }
    bool HasPTS() const { return (ptsDtsFlags_ & 2) != 0; }
    bool HasDTS() const { return ptsDtsFlags_ == 3; }
    // The presentation time the stream stands at: this header's PTS, or for
    // a header without one (which the standard allows) the last PTS a header
    // of this reader carried; -1 before the first. An absent stamp is no
    // time of 0.
    int64_t StampPTS() const { return HasPTS() ? pts_ : lastStampPts_; }
    int64_t ESCR() const { return escr_; }
    int64_t ElementaryStreamRate() const { return elementaryStreamRate_; }
    int HeaderLength() const { return headerLength_; }
    int AdditionalCopyInfo() const { return additionalCopyInfo_; }
    uint16_t PESPreviousCRC() const { return pesPreviousCRC_; }
    int64_t PTS_Fixed() const { return ptsFixed_; }
    int64_t PTS_Fix_Offset() const { return ptsFixOffset_; }
    int64_t PTS_Fix_WrapOffset() const { return ptsFixWrapOffset_; }
    bool Valid() const { return valid_; }
    TPESPaketErrors PaketErrors() const { return paketErrors_; }
    // Byte offsets of the PTS and DTS fields inside the PES packet, 0 when absent.
    int PTSPosition() const { return ptsPosition_; }
    int DTSPosition() const { return dtsPosition_; }

    void SetValid(bool v) { valid_ = v; }
    void SetPaketErrors(TPESPaketErrors v) { paketErrors_ = v; }
    // The cleaning pass shifts time stamps by this offset; PTS_Fixed follows
    // at once when a PTS is known.
    void SetPTS_Fix_Offset(int64_t v);

private:
    friend class TTSPesReader;
    void Reset();
    void RecalcFixed() {
        const int64_t stamp = StampPTS() >= 0 ? StampPTS() : pts_;
        ptsFixed_ = stamp - ptsFixOffset_ + ptsFixWrapOffset_;
    }

    int startCodePrefix_ = 0;
    int streamID_ = 0;
    int packetLength_ = 0;
    TPesStreamIdType streamIDType_ = psid_unknown_stream;
    bool pesPriority_ = false;
    int pesScramblingControl_ = 0;
    bool copyright_ = false;
    bool dataAlignmentIndicator_ = false;
    bool originalOrCopy_ = false;
    bool pesCRCFlag_ = false;
    bool esRateFlag_ = false;
    bool dsmTrickModeFlag_ = false;
    bool additionalCopyInfoFlag_ = false;
    bool pesExtensionFlag_ = false;
    bool escrFlag_ = false;
    int pesHeaderDataLength_ = 0;
    int ptsDtsFlags_ = 0;
    int64_t pts_ = 0;
    int64_t dts_ = 0;
    int64_t escr_ = 0;
    int64_t elementaryStreamRate_ = 0;
    int headerLength_ = 0;
    int additionalCopyInfo_ = 0;
    uint16_t pesPreviousCRC_ = 0;
    int64_t ptsFixed_ = 0;
    int64_t ptsFixOffset_ = 0;
    int64_t ptsFixWrapOffset_ = 0;
    // Kept over Reset: cleared only when the reader is deactivated.
    int64_t lastStampPts_ = -1;
    bool valid_ = false;
    TPESPaketErrors paketErrors_;
    int ptsPosition_ = 0;
    int dtsPosition_ = 0;
};

// One transport packet of the PES packet being collected.
struct TPesPacketRecord {
    int64_t PacketIndex = 0;
    bool Duplicate = false;
    uint32_t PayloadCrc = 0;
    uint8_t PayloadOffset = 0;
    uint8_t PayloadLength = 0;
    uint8_t ContinuityCounter = 0;
};

constexpr int kPesPacketRecordCapacity = 6001;

class TTSPesReader : public TComponent, public TTSPacketConsumer {
public:
    using TPESPacketCompletedEvent = std::function<void(TObject* Sender, int64_t PTS, int PID, int PESHeaderSize,
                                                        int PESSize, int PacketCount, bool isValid)>;
    using TPIDDisconinuityEvent =
        std::function<void(TObject* Sender, int64_t PTS, int PID, int CurrentDiscontID, int LastDiscontID)>;
    using TBufferOverflowEvent = std::function<void(TObject* Sender, int64_t PTS, int PID)>;
    using TUnknownStreamIDEvent = std::function<void(TObject* Sender, int64_t PTS, int PID)>;
    using TPayloadStartEvent =
        std::function<void(TObject* Sender, int64_t PTS, int64_t DTS, int PID, int64_t PacketIndex)>;
    using TPESHeaderErrorEvent =
        std::function<void(TObject* Sender, const std::string& ErrorString, int PID, int64_t PacketIndex)>;
    using TPESPacketSizeErrorEvent =
        std::function<void(TObject* Sender, int64_t PTS, int PID, int SizeInHeader, int SizeInStream)>;
    using TPTSWrapArroundEvent = std::function<void(TObject* Sender, int64_t PacketIndex, int64_t OldPts,
                                                    int64_t NewPTS, int PID, int BitsWrapped)>;

    explicit TTSPesReader(TComponent* owner);
    ~TTSPesReader() override;

    // Registers with the packet reader named in TSPacketReader.
    void Loaded() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    TTSPacketReader* TSPacketReader() const { return tsPacketReader_; }
    void SetTSPacketReader(TTSPacketReader* value) { tsPacketReader_ = value; }
    int PID() const { return pid_; }
    void SetPID(int value) {
        pid_ = value;
        FieldsChanged();
    }
    TTSPesHeader* PESHeader() const { return header_; }
    void SetPESHeader(TTSPesHeader* value) { header_ = value; }

    int PESDataLength() const { return pesDataLength_; }
    int PESDataStart() const { return pesDataStart_; }
    int64_t FirstPTS() const { return firstPTS_; }
    int64_t PacketIndex() const { return packetIndex_; }
    int64_t PayloadStartIndex() const { return payloadStartIndex_; }
    int TSPacketCount() const { return tsPacketCount_; }
    int64_t PESPacketCount() const { return pesPacketCount_; }

    // The bytes collected so far (header included) and the per-packet records.
    const TPesCollection& Collection() const { return *collection_; }
    const TPesPacketRecord& PacketRecord(int i) const { return records_[i]; }
    // True when the PES packet being collected spread over more transport
    // packets than there are records; its later bytes have no record.
    bool RecordsOverflowed() const { return recordsOverflowed_; }

    // Analysers (TTSPesConsumer: AC-3, H.264, MPEG-2, stream-type sniffer)
    // register here from their Loaded, in the order they are fed; any other
    // object is ignored.
    void AddReader(TObject* reader);

    // One valid transport packet of this PID: its payload bytes, the
    // payload_unit_start_indicator, the payload's offset inside the packet,
    // the packet's index and its continuity counter.
    void ProcessPesTsPacket(const TTSPacketBuffer& payload, bool payloadStart, uint8_t payloadOffset,
                            int64_t packetIndex, int continuityCounter) override;
    // The same for payload bytes where they lie (the packet reader's way).
    void ProcessPesPayload(const uint8_t* payload, int length, bool payloadStart, uint8_t payloadOffset,
                           int64_t packetIndex, int continuityCounter) override;

    // What the packet reader asks of a consumer.
    TConsumerKind ConsumerKind() const override { return ckPes; }
    bool ConsumerActive() const override { return active_; }
    int ConsumerPID() const override { return pid_; }

    int MissingPESBytes() const;
    bool PacketOfPESOffset(int offset, int64_t& packetIndex, uint8_t& byteOffset) const;
    void CalcPacketCrcs();
    int MarkDuplicatePackets();
    // After MarkDuplicatePackets: the earlier record whose payload CRC a
    // marked record repeats (the first with that CRC), -1 for one not marked.
    int DuplicateOf(int i) const {
        return i >= 0 && i < tsPacketCount_ && records_[i].Duplicate ? duplicateOf_[static_cast<size_t>(i)] : -1;
    }

    static std::string PesErrorsText(TPESPaketErrors errors);
    static std::string StreamIdName(int streamID);
    static TPesStreamIdType StreamIdType(int streamID);

    TNotifyEvent OnBeforeNewPacket;
    TPESPacketCompletedEvent OnPESPacketCompleted;
    TPIDDisconinuityEvent OnDisconinuity; // bindable; this reader never raises it
    TBufferOverflowEvent OnBufferOverflow;
    TUnknownStreamIDEvent OnUnknownStreamID;
    TPayloadStartEvent OnPayloadStart;
    TPESHeaderErrorEvent OnPESHeaderError;
    TPESPacketSizeErrorEvent OnPESPacketSizeError;
    TPTSWrapArroundEvent OnPTSWrapArround;

private:
    void ClosePesPacket();
    void Dispatch();
    int HeaderBytesNeeded() const;
    void ParseHeader();
    bool HeaderParsedAndKept();
    void HeaderError(TPESPaketError e, const std::string& text);
    void ReadTimeStamp(int p, int prefix, TPESPaketError ctrl, TPESPaketError m1, TPESPaketError m2,
                       TPESPaketError m3, const char* ctrlText, const char* m1Text, const char* m2Text,
                       const char* m3Text, int64_t& value);
    void DropCollection();

    std::vector<TTSPesConsumer*> readers_;
    bool active_ = false;
    TTSPacketReader* tsPacketReader_ = nullptr;
    int pid_ = 0;
    int lastCC_ = -1;
    int64_t previousPTS_ = -1;
    TTSPesHeader* header_ = nullptr;
    std::unique_ptr<TTSPesHeader> ownHeader_;
    int pesDataLength_ = 0;
    int pesDataStart_ = 0;
    int64_t firstPTS_ = 0;
    int64_t packetIndex_ = 0;
    int64_t payloadStartIndex_ = 0;
    int tsPacketCount_ = 0;
    int64_t pesPacketCount_ = 0;
    bool recordsOverflowed_ = false;
    // The header of the PES packet being collected waits until its bytes are
    // all there (a header may outgrow the first transport packet's payload).
    bool headerPending_ = false;
    bool firstSinceActivation_ = false;
    std::unique_ptr<TPesPacketRecord[]> records_;
    // Where each record's payload starts among the collected bytes (the sum
    // of the lengths before it), kept as records are added: the full-range
    // patch maps a byte to its packet for every parameter set, and a PES
    // can hold tens of thousands of them.
    std::unique_ptr<int32_t[]> recordStart_;
    // MarkDuplicatePackets' work space, kept so that a PES of thousands of
    // packets costs no allocation: (CRC, record) pairs to sort, and for
    // each marked record the one it repeats.
    std::vector<uint64_t> crcOrder_;
    std::vector<int32_t> duplicateOf_;
    std::unique_ptr<TPesCollection> collection_;
};

} // namespace tw
