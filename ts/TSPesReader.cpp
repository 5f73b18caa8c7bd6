#include "ts/TSPesReader.h"

#include <algorithm>
#include <cstring>
#include <cstdlib>

#include "base/SysUtils.h"
#include "ts/TSTimeStamp.h"
#include "ts/dvb_crc32.h"

namespace tw {

namespace {

constexpr int64_t kWrapThreshold = 0x7FFFFFFFLL;
constexpr int64_t kWrap33Threshold = 0xFFFFFFFFLL;

// Classes whose packets carry no optional PES header after the length field.
bool HasOptionalHeader(TPesStreamIdType t) {
    switch (t) {
    case psid_program_stream:
    case psid_padding_stream:
    case psid_private_stream_2:
    case psid_ecm_stream:
    case psid_emm_stream:
    case psid_dsmcc_stream:
    case psid_h222_1_e_stream:
    case psid_program_stream_directory:
        return false;
    default:
        return true;
    }
}

std::string Hex2(int v) { return IntToHex(v & 0xFF, 2); }

} // namespace

// ---------------------------------------------------------------------------
// TTSPesHeader

void TTSPesHeader::SetPTS_Fix_Offset(int64_t v) {
    ptsFixOffset_ = v;
    if (StampPTS() > 0) RecalcFixed();
}

void TTSPesHeader::Reset() {
    startCodePrefix_ = 0;
    streamID_ = 0;
    packetLength_ = 0;
    streamIDType_ = psid_unknown_stream;
    pesPriority_ = false;
    pesScramblingControl_ = 0;
    copyright_ = false;
    dataAlignmentIndicator_ = false;
    originalOrCopy_ = false;
    pesCRCFlag_ = false;
    esRateFlag_ = false;
    dsmTrickModeFlag_ = false;
    additionalCopyInfoFlag_ = false;
    pesExtensionFlag_ = false;
    escrFlag_ = false;
    ptsDtsFlags_ = 0;
    pts_ = 0;
    dts_ = 0;
    escr_ = 0;
    elementaryStreamRate_ = 0;
    headerLength_ = 0;
    additionalCopyInfo_ = 0;
    pesPreviousCRC_ = 0;
    ptsFixed_ = 0;
    valid_ = false;
    paketErrors_ = TPESPaketErrors();
    ptsPosition_ = 0;
    dtsPosition_ = 0;
}

// ---------------------------------------------------------------------------
// TTSPesReader

TTSPesReader::TTSPesReader(TComponent* owner)
    : TComponent(owner),
      ownHeader_(new TTSPesHeader),
      records_(new TPesPacketRecord[kPesPacketRecordCapacity]),
      recordStart_(new int32_t[kPesPacketRecordCapacity]),
      collection_(new TPesCollection) {
    header_ = ownHeader_.get();
    collection_->Count = 0;
    BindConsumerFields(&pid_, &active_, ckPes);
}

TTSPesReader::~TTSPesReader() { SetActive(false); }

void TTSPesReader::Loaded() {
    TComponent::Loaded();
    if (tsPacketReader_) tsPacketReader_->AddReader(this);
}

void TTSPesReader::AddReader(TObject* reader) {
    if (auto* c = dynamic_cast<TTSPesConsumer*>(reader)) readers_.push_back(c);
}

void TTSPesReader::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    FieldsChanged();
    if (!value) {
        header_->Reset();
        header_->ptsFixWrapOffset_ = 0;
        header_->lastStampPts_ = -1;
        firstPTS_ = 0;
        pesDataLength_ = 0;
        pesDataStart_ = 0;
        payloadStartIndex_ = 0;
        pesPacketCount_ = 0;
        tsPacketCount_ = 0;
        collection_->Count = 0;
        lastCC_ = -1;
        previousPTS_ = -1;
        headerPending_ = false;
        recordsOverflowed_ = false;
    }
}

void TTSPesReader::ProcessPesTsPacket(const TTSPacketBuffer& payload, bool payloadStart, uint8_t payloadOffset,
                                      int64_t packetIndex, int continuityCounter) {
    ProcessPesPayload(payload.Data, payload.Length, payloadStart, payloadOffset, packetIndex, continuityCounter);
}

void TTSPesReader::ProcessPesPayload(const uint8_t* payload, int length, bool payloadStart, uint8_t payloadOffset,
                                     int64_t packetIndex, int continuityCounter) {
    packetIndex_ = packetIndex;
    if (length < 0) length = 0;
    if (length > TS_PACKET_BUFFER_CAPACITY) length = TS_PACKET_BUFFER_CAPACITY;

    if (payloadStart) {
        ClosePesPacket();
        lastCC_ = continuityCounter;
    } else if (collection_->Count == 0) {
        // Bytes before the first payload-unit start (or after a dropped
        // packet) belong to no PES packet we can check.
        return;
    }

    if (static_cast<int64_t>(collection_->Count) + length > kPesCollectionCapacity) {
        if (OnBufferOverflow) OnBufferOverflow(this, header_->StampPTS(), pid_);
        return;
    }

    // A full payload (most packets) as a constant-size copy: a few vector
    // moves instead of a string instruction.
    if (length == TS_FULL_PAYLOAD_SIZE)
        std::memcpy(collection_->Bytes + collection_->Count, payload, TS_FULL_PAYLOAD_SIZE);
    else if (length > 0)
        std::memcpy(collection_->Bytes + collection_->Count, payload, static_cast<size_t>(length));
    collection_->Count += length;
    lastCC_ = continuityCounter;
    if (payloadStart) {
        tsPacketCount_ = 0;
        recordsOverflowed_ = false;
    }
    // The table is fixed: a PES spread over more packets than it holds keeps
    // its first records, and offsets behind them cannot be mapped.
    if (tsPacketCount_ < kPesPacketRecordCapacity) {
        TPesPacketRecord& r = records_[tsPacketCount_];
        const int n = tsPacketCount_;
        recordStart_[n] = n == 0 ? 0 : recordStart_[n - 1] + records_[n - 1].PayloadLength;
        r.PacketIndex = packetIndex;
        r.Duplicate = false;
        r.PayloadCrc = 0;
        r.PayloadOffset = payloadOffset;
        r.PayloadLength = static_cast<uint8_t>(length > 255 ? 255 : length);
        r.ContinuityCounter = static_cast<uint8_t>(continuityCounter);
        ++tsPacketCount_;
    } else {
        recordsOverflowed_ = true;
    }

    if (payloadStart) {
        header_->Reset();
        headerPending_ = true;
    }
    if (headerPending_) {
        if (collection_->Count < HeaderBytesNeeded()) {
            pesDataStart_ = 0;
            pesDataLength_ = 0;
            return;
        }
        ParseHeader();
        headerPending_ = false;
        if (!HeaderParsedAndKept()) return;
        pesDataStart_ = header_->HeaderLength();
        pesDataLength_ = collection_->Count - header_->HeaderLength();
        if (OnPayloadStart) OnPayloadStart(this, header_->StampPTS(), header_->HasDTS() ? header_->DTS() : -1, pid_,
                                          payloadStartIndex_);
        return;
    }
    pesDataStart_ = header_->HeaderLength();
    pesDataLength_ = collection_->Count - header_->HeaderLength();
}

void TTSPesReader::ClosePesPacket() {
    firstSinceActivation_ = pesPacketCount_ == 0 && header_->PacketLength() < 1;

    if (headerPending_) {
        // The packet ended before its own header was complete: read what is
        // there for the error report, but it is short by definition.
        headerPending_ = false;
        ParseHeader();
        int inStream = collection_->Count - 6;
        header_->paketErrors_.Include(pseSizeMismatch);
        header_->valid_ = false;
        pesDataStart_ = collection_->Count;
        pesDataLength_ = 0;
        if (OnPESPacketSizeError)
            OnPESPacketSizeError(this, header_->StampPTS(), pid_, header_->PacketLength(), inStream);
    } else if (header_->PacketLength() > 0 &&
               header_->PacketLength() != pesDataLength_ + header_->HeaderLength() - 6) {
        header_->paketErrors_.Include(pseSizeMismatch);
        header_->valid_ = false;
        if (OnPESPacketSizeError)
            OnPESPacketSizeError(this, header_->StampPTS(), pid_, header_->PacketLength(),
                                 pesDataLength_ + header_->HeaderLength() - 6);
    }

    if (pesPacketCount_ > 0 && OnPESPacketCompleted)
        OnPESPacketCompleted(this, header_->StampPTS(), pid_, header_->HeaderLength(), pesDataLength_, tsPacketCount_,
                             header_->Valid());
    if (OnBeforeNewPacket) OnBeforeNewPacket(this);
    if (header_->Valid() && pesPacketCount_ > 0 && !readers_.empty()) Dispatch();

    ++pesPacketCount_;
    collection_->Count = 0;
    pesDataLength_ = 0;
    pesDataStart_ = 0;
    // A packet without a PTS leaves the comparison with the last one that had one.
    if (header_->HasPTS()) previousPTS_ = header_->PTS();
    payloadStartIndex_ = packetIndex_;
}

void TTSPesReader::Dispatch() {
    const int64_t pts = header_->StampPTS();
    for (TTSPesConsumer* c : readers_)
        if (c->PesConsumerActive())
            c->ConsumePesPacket(collection_.get(), pesDataStart_, pesDataLength_, pts, packetIndex_);
}

int TTSPesReader::HeaderBytesNeeded() const {
    const TPesCollection& c = *collection_;
    if (c.Count < 4) return 6;
    if (!HasOptionalHeader(StreamIdType(c.Bytes[3]))) return 6;
    if (c.Count < 9) return 9;
    return 9 + c.Bytes[8];
}

void TTSPesReader::HeaderError(TPESPaketError e, const std::string& text) {
    header_->paketErrors_.Include(e);
    if (OnPESHeaderError) OnPESHeaderError(this, text, pid_, packetIndex_);
}

void TTSPesReader::ReadTimeStamp(int p, int prefix, TPESPaketError ctrl, TPESPaketError m1, TPESPaketError m2,
                                 TPESPaketError m3, const char* ctrlText, const char* m1Text, const char* m2Text,
                                 const char* m3Text, int64_t& value) {
    // Copied through At, so a header cut short reads zero bytes, not stale ones.
    uint8_t field[kPtsFieldSize];
    for (int k = 0; k < kPtsFieldSize; ++k) field[k] = collection_->At(p + k);
    const int faults = PtsFieldFaults(field, prefix);
    if (faults & sfPrefix) HeaderError(ctrl, ctrlText);
    value = ReadPts(field);
    if (faults & sfMarker1) HeaderError(m1, m1Text);
    if (faults & sfMarker2) HeaderError(m2, m2Text);
    if (faults & sfMarker3) HeaderError(m3, m3Text);
}

void TTSPesReader::ParseHeader() {
    TTSPesHeader& h = *header_;
    const TPesCollection& c = *collection_;
    h.Reset();

    const int b0 = c.At(0), b1 = c.At(1), b2 = c.At(2);
    h.startCodePrefix_ = (b0 << 16) | (b1 << 8) | b2;
    if (h.startCodePrefix_ != 1) HeaderError(psePSCPrefix, "Wrong PSCPrefix (" + Hex2(b0) + Hex2(b1) + Hex2(b2) + ")");

    h.streamID_ = c.At(3);
    h.packetLength_ = (c.At(4) << 8) | c.At(5);
    h.streamIDType_ = StreamIdType(h.streamID_);
    h.headerLength_ = 6;
    if (h.streamIDType_ == psid_unknown_stream)
        HeaderError(pseStreamType, "Wrong stream type ($" + Hex2(h.streamID_) + ")");

    if (HasOptionalHeader(h.streamIDType_)) {
        const int b6 = c.At(6), b7 = c.At(7);
        if ((b6 >> 6) != 2) HeaderError(pseCtrBitsHeader, "Wrong controlbits (header)");
        h.pesScramblingControl_ = (b6 >> 4) & 3;
        if (h.pesScramblingControl_ != 0) HeaderError(pseScrambled, "Scrambling control not zero (header)");
        h.pesPriority_ = (b6 >> 3) & 1;
        h.dataAlignmentIndicator_ = (b6 >> 2) & 1;
        h.copyright_ = (b6 >> 1) & 1;
        h.originalOrCopy_ = b6 & 1;
        h.ptsDtsFlags_ = b7 >> 6;
        h.escrFlag_ = (b7 >> 5) & 1;
        h.esRateFlag_ = (b7 >> 4) & 1;
        h.dsmTrickModeFlag_ = (b7 >> 3) & 1;
        h.additionalCopyInfoFlag_ = (b7 >> 2) & 1;
        h.pesCRCFlag_ = (b7 >> 1) & 1;
        h.pesExtensionFlag_ = b7 & 1;
        h.pesHeaderDataLength_ = c.At(8);
        h.headerLength_ = h.pesHeaderDataLength_ + 9;
        int p = 9;
        if (h.ptsDtsFlags_ == 2) {
            h.ptsPosition_ = 9;
            ReadTimeStamp(9, kPtsOnlyPrefix, pseCtrBitsPTS, pseMarkerBit1PTS, pseMarkerBit2PTS, pseMarkerBit3PTS,
                          "Wrong controlbits (PTS)", "Wrong markerbit1 (PTS)", "Wrong markerbit2 (PTS)",
                          "Wrong markerbit3 (PTS)", h.pts_);
            p = 14;
        } else if (h.ptsDtsFlags_ == 3) {
            h.ptsPosition_ = 9;
            ReadTimeStamp(9, kPtsBeforeDtsPrefix, pseCtrBitsPTS2, pseMarkerBit1PTS2, pseMarkerBit2PTS2,
                          pseMarkerBit3PTS2,
                          "Wrong controlbits (PTS PTS/DTS)", "Wrong markerbit1 (PTS PTS/DTS)",
                          "Wrong markerbit2 (PTS PTS/DTS)", "Wrong markerbit3 (PTS PTS/DTS)", h.pts_);
            h.dtsPosition_ = 14;
            ReadTimeStamp(14, kDtsPrefix, pseCtrBitsDTS, pseMarkerBit1DTS, pseMarkerBit2DTS, pseMarkerBit3DTS,
                          "Wrong controlbits (DTS PTS/DTS)", "Wrong markerbit1 (DTS PTS/DTS)",
                          "Wrong markerbit2 (DTS PTS/DTS)", "Wrong markerbit3 (DTS PTS/DTS)", h.dts_);
            p = 19;
        }
        if (h.escrFlag_) {
            uint8_t field[kEscrFieldSize];
            for (int k = 0; k < kEscrFieldSize; ++k) field[k] = c.At(p + k);
            h.escr_ = ReadEscr(field);
            p += kEscrFieldSize;
        }
        if (h.esRateFlag_) {
            const int64_t r0 = c.At(p), r1 = c.At(p + 1), r2 = c.At(p + 2);
            h.elementaryStreamRate_ = (((r0 & 0x7F) << 15) + (r1 << 7) + (r2 >> 1)) * 400;
            p += 3;
        }
        if (h.dsmTrickModeFlag_) p += 1;
        if (h.additionalCopyInfoFlag_) {
            h.additionalCopyInfo_ = c.At(p) & 0x7F;
            p += 1;
        }
        if (h.pesCRCFlag_) h.pesPreviousCRC_ = static_cast<uint16_t>((c.At(p) << 8) | c.At(p + 1));
    }
    h.valid_ = h.paketErrors_.Empty();
}

bool TTSPesReader::HeaderParsedAndKept() {
    TTSPesHeader& h = *header_;
    // Only stamps take part: a header without a PTS is no jump to 0, and the
    // first stamp after none (activation, a dropped packet) no jump either.
    if (h.Valid() && h.HasPTS()) {
        firstPTS_ = h.PTS();
        const int64_t diff = std::llabs(h.PTS() - previousPTS_);
        if (previousPTS_ >= 0 && diff > kWrapThreshold && !firstSinceActivation_) {
            const int bits = diff > kWrap33Threshold ? 33 : 32;
            h.ptsFixWrapOffset_ = previousPTS_ > h.PTS() ? (int64_t(1) << bits) : 0;
            if (OnPTSWrapArround) OnPTSWrapArround(this, payloadStartIndex_, previousPTS_, h.PTS(), pid_, bits);
        }
        h.lastStampPts_ = h.PTS();
    }
    h.RecalcFixed();

    if (h.StreamIDType() == psid_unknown_stream) {
        if (OnUnknownStreamID) OnUnknownStreamID(this, h.StampPTS(), pid_);
        DropCollection();
        return false;
    }
    return true;
}

void TTSPesReader::DropCollection() {
    collection_->Count = 0;
    pesDataLength_ = 0;
    pesDataStart_ = 0;
    firstPTS_ = 0;
    tsPacketCount_ = 0;
    lastCC_ = -1;
    previousPTS_ = -1;
}

int TTSPesReader::MissingPESBytes() const {
    return header_->PacketLength() - (header_->HeaderLength() + pesDataLength_ - 6);
}

bool TTSPesReader::PacketOfPESOffset(int offset, int64_t& packetIndex, uint8_t& byteOffset) const {
    packetIndex = 0;
    byteOffset = 0;
    if (offset < 0) return false;
    // The last record starting at or before the offset is the only one that
    // can hold it: every later one starts behind it, and every earlier one
    // ends where the next begins.
    int lo = 0, hi = tsPacketCount_;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (recordStart_[mid] <= offset) lo = mid + 1;
        else hi = mid;
    }
    if (lo == 0) return false;
    const TPesPacketRecord& r = records_[lo - 1];
    const int start = recordStart_[lo - 1];
    if (offset >= start + r.PayloadLength) return false;
    packetIndex = r.PacketIndex;
    byteOffset = static_cast<uint8_t>(offset - start + r.PayloadOffset);
    return true;
}

void TTSPesReader::CalcPacketCrcs() {
    int64_t pos = 0;
    for (int i = 0; i < tsPacketCount_; ++i) {
        TPesPacketRecord& r = records_[i];
        const int len = r.PayloadLength;
        if (len == 0 || pos + len > collection_->Count) {
            r.PayloadCrc = 0;
        } else {
            r.PayloadCrc = Crc32Mpeg(collection_->Bytes + pos, 0xFFFFFFFFu, len);
        }
        pos += len;
    }
}

int TTSPesReader::MarkDuplicatePackets() {
    // A record is marked when an earlier one has its CRC: the first record
    // of each CRC stays, every later one is marked. Sorting the records by
    // (CRC, position) finds them in n log n, whatever the payloads; a
    // comparison of every pair cost 18 million steps for a PES of 6,000
    // distinct packets, which a recording can repeat at will.
    const int n = tsPacketCount_;
    if (crcOrder_.size() < static_cast<size_t>(kPesPacketRecordCapacity)) {
        crcOrder_.resize(kPesPacketRecordCapacity);
        duplicateOf_.resize(kPesPacketRecordCapacity);
    }
    for (int i = 0; i < n; ++i) {
        records_[i].Duplicate = false;
        crcOrder_[static_cast<size_t>(i)] =
            (static_cast<uint64_t>(records_[i].PayloadCrc) << 32) | static_cast<uint32_t>(i);
    }
    std::sort(crcOrder_.begin(), crcOrder_.begin() + n);
    int marked = 0;
    uint32_t runCrc = 0;
    int first = -1;
    for (int k = 0; k < n; ++k) {
        const uint64_t key = crcOrder_[static_cast<size_t>(k)];
        const uint32_t crc = static_cast<uint32_t>(key >> 32);
        const int i = static_cast<int>(static_cast<uint32_t>(key));
        if (first >= 0 && crc == runCrc) {
            records_[i].Duplicate = true;
            duplicateOf_[static_cast<size_t>(i)] = first;
            ++marked;
        } else {
            runCrc = crc;
            first = i;
        }
    }
    return marked;
}

std::string TTSPesReader::PesErrorsText(TPESPaketErrors errors) {
    static const struct {
        TPESPaketError e;
        const char* name;
    } kNames[] = {
        {psePSCPrefix, "PSCPrefix,"},           {pseStreamType, "StreamType,"},
        {pseScrambled, "Scrambled,"},           {pseCtrBitsHeader, "ControlBitsHd,"},
        {pseCtrBitsPTS, "ControlBitsPTS,"},     {pseMarkerBit1PTS, "MarkerBit1PTS,"},
        {pseMarkerBit2PTS, "MarkerBit2PTS,"},   {pseMarkerBit3PTS, "MarkerBit3PTS,"},
        {pseCtrBitsPTS2, "ControlBitsPTS2,"},   {pseMarkerBit1PTS2, "MarkerBit1PTS2,"},
        {pseMarkerBit2PTS2, "MarkerBit2PTS2,"}, {pseMarkerBit3PTS2, "MarkerBit3PTS2,"},
        {pseCtrBitsDTS, "ControlBitsDTS,"},     {pseMarkerBit1DTS, "MarkerBit1DTS,"},
        {pseMarkerBit2DTS, "MarkerBit2DTS,"},   {pseMarkerBit3DTS, "MarkerBit3DTS,"},
        {pseSizeMismatch, "SizeMismatch,"},
    };
    std::string s;
    for (const auto& n : kNames)
        if (errors.Contains(n.e)) s += n.name;
    if (!s.empty()) s.pop_back();
    return s;
}

TPesStreamIdType TTSPesReader::StreamIdType(int id) {
    if (id < 0xBC) return psid_unknown_stream;
    switch (id) {
    case 0xBC: return psid_program_stream;
    case 0xBD: return psid_private_stream_1;
    case 0xBE: return psid_padding_stream;
    case 0xBF: return psid_private_stream_2;
    case 0xF0: return psid_ecm_stream;
    case 0xF1: return psid_emm_stream;
    case 0xF2: return psid_dsmcc_stream;
    case 0xF3: return psid_iso_13522_stream;
    case 0xF4: return psid_h222_1_a_stream;
    case 0xF5: return psid_h222_1_b_stream;
    case 0xF6: return psid_h222_1_c_stream;
    case 0xF7: return psid_h222_1_d_stream;
    case 0xF8: return psid_h222_1_e_stream;
    case 0xF9: return psid_ancillary_stream;
    case 0xFA: return psid_sl_packetized_stream;
    case 0xFB: return psid_flexmux_stream;
    case 0xFF: return psid_program_stream_directory;
    default: break;
    }
    if (id >= 0xC0 && id <= 0xDF) return psid_audio_stream;
    if (id >= 0xE0 && id <= 0xEF) return psid_video_stream;
    if (id >= 0xFC && id <= 0xFE) return psid_reserved_data_stream;
    return psid_unknown_stream;
}

std::string TTSPesReader::StreamIdName(int id) {
    switch (StreamIdType(id)) {
    case psid_program_stream: return "Program_Stream";
    case psid_private_stream_1: return "Private_Stream_1";
    case psid_padding_stream: return "Padding_Stream";
    case psid_private_stream_2: return "Private_Stream_2";
    case psid_audio_stream: return "Audio_Stream_" + std::to_string(id & 31);
    case psid_video_stream: return "Video_Stream_" + std::to_string(id & 15);
    case psid_ecm_stream: return "ECM_Stream";
    case psid_emm_stream: return "EMM_Stream";
    case psid_dsmcc_stream: return "DSMCC_Stream";
    case psid_iso_13522_stream: return "ISO_13522_Stream";
    case psid_h222_1_a_stream: return "H222_1_a_Stream";
    case psid_h222_1_b_stream: return "H222_1_b_Stream";
    case psid_h222_1_c_stream: return "H222_1_c_Stream";
    case psid_h222_1_d_stream: return "H222_1_d_Stream";
    case psid_h222_1_e_stream: return "H222_1_e_Stream";
    case psid_ancillary_stream: return "Ancillary_Stream";
    case psid_sl_packetized_stream: return "SL_Packetized_Stream";
    case psid_flexmux_stream: return "Flexmux_Stream";
    case psid_reserved_data_stream: return "Reserved_Data_Stream";
    case psid_program_stream_directory: return "Program_Stream_Directory";
    case psid_unknown_stream: break;
    }
    return "Unknown_Stream";
}

} // namespace tw
