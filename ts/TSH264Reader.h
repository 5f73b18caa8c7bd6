// H.264 analyser: walks the NAL units of each PES packet it receives, finds
// each unit's emulation-prevention bytes (copying the unit without them only
// where its contents are used or asked for), keeps the last access
// unit delimiter and parameter sets to see changes, reads every sequence
// parameter set into the video information and records where its
// video_full_range_flag lies in the PES packet, so that the bit can be
// patched in the output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Object.h"
#include "ts/TSH264Sps.h"
#include "ts/TSPesTypes.h"

namespace tw {

class TTSPesReader;

enum TH264NALUnitType : int {
    frt_Unknown,
    frt_Slice,
    frt_data_partition_A,
    frt_data_partition_B,
    frt_data_partition_C,
    frt_IDR_picture,
    frt_SEI,
    frt_SeqParameterSet,
    frt_PicParameterSet,
    frt_AUD,
    frt_EndOfSequence,
    frt_EndOfStream,
    frt_Filler,
    frt_SeqParameterSetExt,
};

enum TH264ErrorType : int {
    her_Unknown,
    her_EmuPrevBufferOverflow,
    her_SeqParameterSetBufferOverflow,
    her_PicParameterSetBufferOverflow,
};

constexpr int kH264UnitCapacity = 10000004;
constexpr int kH264RemovedCapacity = 32768;
constexpr int kH264StoredUnitCapacity = 256;
constexpr int kH264PatchPairs = 11;

// The NAL unit being reported: its copy without emulation-prevention bytes,
// where it lies in the PES packet and which bytes were removed from it.
class TTSH264Slice : public TObject {
public:
    TTSH264Slice();

    int64_t PTS() const { return pts_; }
    int64_t PreviousPTS() const { return previousPTS_; }
    int SliceSize() const { return sliceSize_; }
    TH264NALUnitType SliceType() const { return sliceType_; }

    // The copy is made when first asked for: the analysis itself needs only
    // the contents of delimiters and parameter sets, and copying every
    // picture slice would cost more than the rest of the walk. Ask while
    // the unit is being reported (in the reader's events); once the PES
    // packet is done, a unit nobody asked for has no copy (length 0).
    const uint8_t* UnitData() const {
        if (pending_) MakeCopy();
        return unit_.get();
    }
    int UnitLength() const { return unitLength_; }
    // 3 or 4: the start code the unit begins with.
    int StartCodeLength() const { return startCodeLength_; }
    // First and last byte of the unit in the PES packet (0 = first byte of
    // the PES header).
    int UnitFirstPosition() const { return unitFirst_; }
    int UnitLastPosition() const { return unitLast_; }
    int RemovedCount() const { return removedCount_; }
    int RemovedPosition(int i) const { return removed_[i]; }
    // Pair i: (bit position in the unit copy, bit position in the PES bytes);
    // pair 0 is the video_full_range_flag of the last sequence parameter set.
    int PatchBitInUnit(int i) const { return patch_[i][0]; }
    int PatchBitInPes(int i) const { return patch_[i][1]; }

    // Maps a bit position in the unit copy to the bit position of the same
    // bit in the PES bytes, counting every removed byte that lies before it.
    int64_t UnitBitToPesBit(int64_t bit) const;

private:
    friend class TTSH264Reader;
    // Copies the unit from the PES bytes, leaving out the removed bytes.
    void MakeCopy() const;
    // The unit has no copy yet; source_ holds the PES bytes it lies in.
    mutable bool pending_ = false;
    const uint8_t* source_ = nullptr;
    int64_t pts_ = -1;
    int64_t previousPTS_ = 0;
    int sliceSize_ = 0;
    TH264NALUnitType sliceType_ = frt_Unknown;
    std::unique_ptr<uint8_t[]> unit_;
    int unitLength_ = 0;
    int startCodeLength_ = 0;
    int unitFirst_ = 0;
    int unitLast_ = 0;
    std::unique_ptr<int32_t[]> removed_;
    int removedCount_ = 0;
    int patch_[kH264PatchPairs][2] = {};
};

class TTSH264VideoInfo : public TObject {
public:
    int64_t PTS() const { return pts_; }
    void SetPTS(int64_t v) { pts_ = v; }
    bool Interlaced() const { return interlaced_; }
    void SetInterlaced(bool v) { interlaced_ = v; }
    int Resolution_V() const { return resolutionV_; }
    void SetResolution_V(int v) { resolutionV_ = v; }
    int Resolution_H() const { return resolutionH_; }
    void SetResolution_H(int v) { resolutionH_ = v; }
    double FramesPerSecond() const { return framesPerSecond_; }
    void SetFramesPerSecond(double v) { framesPerSecond_ = v; }
    double Level() const { return level_; }
    const std::string& Profile() const { return profile_; }
    const std::string& Colorimetry() const { return colorimetry_; }

    void Assign(const TTSH264VideoInfo& o);
    void Clear();
    // Equal in everything a viewer sees (the time stamp is not compared).
    bool SameVideo(const TTSH264VideoInfo& o) const;

private:
    friend class TTSH264Reader;
    int64_t pts_ = 0;
    bool interlaced_ = false;
    int resolutionV_ = 0;
    int resolutionH_ = 0;
    double framesPerSecond_ = 0;
    double level_ = 0;
    std::string profile_;
    std::string colorimetry_;
};

class TTSH264Reader : public TComponent, public TTSPesConsumer {
public:
    using TFirstSliceSynchEvent =
        std::function<void(TObject* Sender, int64_t SlicePTS, int64_t ByteBeforeSliceStart, TH264NALUnitType SliceType)>;
    using TSliceReceivedEvent =
        std::function<void(TObject* Sender, int64_t SlicePTS, int64_t PreviousSlicePTS, TH264NALUnitType SliceType)>;
    using TSliceChangeEvent = std::function<void(TObject* Sender, int64_t PTS)>;
    using TSlicesSequenceEvent =
        std::function<void(TObject* Sender, int64_t PTS, int SlicesFound, const std::string& SlicesSequence)>;
    using TSequenceParameterSetReceivedEvent = std::function<void(TObject* Sender, int64_t PTS)>;
    using TPESNotStartingWithSynchBytesEvent = std::function<void(TObject* Sender, int64_t PTS)>;
    using TH264ErrorEvent = std::function<void(TObject* Sender, int64_t PTS, TH264ErrorType ErrorType, int64_t Param1,
                                               int64_t Param2, int64_t Param3)>;
    using TVideoInfoChangeEvent = std::function<void(TObject* Sender, int64_t PTS, TTSH264VideoInfo* oldVideoInfo,
                                                     TTSH264VideoInfo* newVideoInfo)>;

    explicit TTSH264Reader(TComponent* owner);
    ~TTSH264Reader() override;

    // Registers with the PES reader named in TSPesReader.
    void Loaded() override;

    bool Active() const { return active_; }
    // What the PES reader asks of a consumer.
    bool PesConsumerActive() const override { return active_; }
    void ConsumePesPacket(const TPesCollection* block, int dataStart, int dataLength, int64_t pts,
                          int64_t packetIndex) override {
        (void)packetIndex;
        ProcessPES(block, dataStart, dataLength, pts);
    }
    void SetActive(bool value);
    TTSPesReader* TSPesReader() const { return tsPesReader_; }
    void SetTSPesReader(TTSPesReader* value) { tsPesReader_ = value; }
    bool Synched() const { return synched_; }
    TTSH264Slice* H264Slice() const { return slice_; }
    void SetH264Slice(TTSH264Slice* value) { slice_ = value; }
    int64_t BytesBeforeSliceStart() const { return bytesBeforeSliceStart_; }
    int H264SliceCount() const { return sliceCount_; }
    TTSH264VideoInfo* H264VideoInfo() const { return videoInfo_; }
    void SetH264VideoInfo(TTSH264VideoInfo* value) { videoInfo_ = value; }
    const TTSH264VideoInfo& PreviousVideoInfo() const { return *previousInfo_; }

    // The last parsed sequence parameter set and its text dump.
    const TH264SequenceParameterSet& Sps() const { return *sps_; }
    std::string SpsDumpText() const { return tw::SpsDumpText(*sps_); }
    // video_full_range_flag of the last sequence parameter set.
    bool VideoFullRangeFlag() const { return sps_->video_full_range_flag; }
    // Its bit position in the PES bytes of the PES packet being analysed
    // (0 when the set carries none); divide by 8 for the byte offset that
    // TTSPesReader::PacketOfPESOffset maps to a transport packet.
    int VideoFullRangeFlagPesBit() const { return slice_->patch_[0][1]; }

    // One complete PES packet from the PES reader.
    void ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS);

    static std::string NalTypeName(int value);

    TFirstSliceSynchEvent OnFirstSliceSynch;
    TSliceReceivedEvent OnSliceReceived;
    TSliceChangeEvent OnChangedAUD;
    TSliceChangeEvent OnChangedSeqParameter;
    TSliceChangeEvent OnChangedPicParameter;
    TSlicesSequenceEvent OnSlicesSequence;
    TSequenceParameterSetReceivedEvent OnSequenceParameterSet;
    TPESNotStartingWithSynchBytesEvent OnPESNotStartingWithSynchBytes;
    TH264ErrorEvent OnH264Error;
    TVideoInfoChangeEvent OnVideoInfoChange;

private:
    struct TStoredUnit {
        uint8_t bytes[kH264StoredUnitCapacity];
        int length = 0;
        bool Differs(const uint8_t* data, int len) const;
        void Store(const uint8_t* data, int len);
    };

    void WalkNalUnits(int dataStart, int end, int64_t pts);
    int ScanUnit(int s, int end);
    void SequenceParameterSet();
    void DeriveVideoInfo();

    bool active_ = false;
    TTSPesReader* tsPesReader_ = nullptr;
    bool synched_ = false;
    TTSH264Slice* slice_ = nullptr;
    std::unique_ptr<TTSH264Slice> ownSlice_;
    int64_t bytesBeforeSliceStart_ = 0;
    int sliceCount_ = 0;
    TTSH264VideoInfo* videoInfo_ = nullptr;
    std::unique_ptr<TTSH264VideoInfo> ownVideoInfo_;
    std::unique_ptr<TTSH264VideoInfo> previousInfo_;
    const TPesCollection* block_ = nullptr;
    TStoredUnit aud_, sps_copy_, pps_;
    std::unique_ptr<TH264SequenceParameterSet> sps_;
    std::string sequenceText_;
};

} // namespace tw
