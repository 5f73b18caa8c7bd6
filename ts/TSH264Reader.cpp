#include "ts/TSH264Reader.h"

#include <cstring>

#include "base/ByteSearch.h"
#include "base/SysUtils.h"
#include "ts/TSPesReader.h"

namespace tw {

namespace {

const char* const kSequenceNames[14] = {nullptr, "SLICE|", "DPA|", "DPB|", "DPC|", "IDR|", "SEI|",
                                        "SPS|",  "PPS|",   "AUD|", "EOSEQ|", "EOSTREAM|", "FILL|", "SPSE|"};

inline bool StartCode4(const uint8_t* b, int i) { return b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 0 && b[i + 3] == 1; }
inline bool StartCode3(const uint8_t* b, int i) { return b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1; }

} // namespace

// ---------------------------------------------------------------------------

TTSH264Slice::TTSH264Slice()
    : unit_(new uint8_t[kH264UnitCapacity]), removed_(new int32_t[kH264RemovedCapacity]) {}

void TTSH264Slice::MakeCopy() const {
    pending_ = false;
    uint8_t* out = unit_.get();
    int from = unitFirst_, o = 0;
    for (int k = 0; k < removedCount_; ++k) {
        const int at = removed_[k];
        std::memcpy(out + o, source_ + from, static_cast<size_t>(at - from));
        o += at - from;
        from = at + 1;
    }
    std::memcpy(out + o, source_ + from, static_cast<size_t>(unitLast_ + 1 - from));
}

int64_t TTSH264Slice::UnitBitToPesBit(int64_t bit) const {
    // The copy's byte c is the PES byte that c bytes were kept before;
    // every removed byte at or before the running position pushes it on.
    int64_t pos = unitFirst_ + bit / 8;
    for (int i = 0; i < removedCount_; ++i) {
        if (removed_[i] <= pos) ++pos;
        else break;
    }
    return pos * 8 + bit % 8;
}

void TTSH264VideoInfo::Assign(const TTSH264VideoInfo& o) {
    pts_ = o.pts_;
    interlaced_ = o.interlaced_;
    resolutionV_ = o.resolutionV_;
    resolutionH_ = o.resolutionH_;
    framesPerSecond_ = o.framesPerSecond_;
    level_ = o.level_;
    profile_ = o.profile_;
    colorimetry_ = o.colorimetry_;
}

void TTSH264VideoInfo::Clear() {
    pts_ = 0;
    interlaced_ = false;
    resolutionV_ = resolutionH_ = 0;
    framesPerSecond_ = 0;
    level_ = 0;
    profile_.clear();
    colorimetry_.clear();
}

bool TTSH264VideoInfo::SameVideo(const TTSH264VideoInfo& o) const {
    return interlaced_ == o.interlaced_ && resolutionV_ == o.resolutionV_ && resolutionH_ == o.resolutionH_ &&
           framesPerSecond_ == o.framesPerSecond_ && level_ == o.level_ && profile_ == o.profile_ &&
           colorimetry_ == o.colorimetry_;
}

// ---------------------------------------------------------------------------

bool TTSH264Reader::TStoredUnit::Differs(const uint8_t* data, int len) const {
    return len != length || std::memcmp(bytes, data, static_cast<size_t>(len)) != 0;
}

void TTSH264Reader::TStoredUnit::Store(const uint8_t* data, int len) {
    std::memcpy(bytes, data, static_cast<size_t>(len));
    length = len;
}

TTSH264Reader::TTSH264Reader(TComponent* owner)
    : TComponent(owner),
      ownSlice_(new TTSH264Slice),
      ownVideoInfo_(new TTSH264VideoInfo),
      previousInfo_(new TTSH264VideoInfo),
      sps_(new TH264SequenceParameterSet) {
    slice_ = ownSlice_.get();
    videoInfo_ = ownVideoInfo_.get();
    sequenceText_.reserve(4096);
}

TTSH264Reader::~TTSH264Reader() { SetActive(false); }

void TTSH264Reader::Loaded() {
    TComponent::Loaded();
    if (tsPesReader_) tsPesReader_->AddReader(this);
}

void TTSH264Reader::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    synched_ = false;
    slice_->unitLength_ = 0;
    slice_->pending_ = false;
    slice_->sliceSize_ = 0;
    slice_->pts_ = -1;
    if (videoInfo_) videoInfo_->Clear();
    previousInfo_->Clear();
    if (value) sps_->Clear();
}

std::string TTSH264Reader::NalTypeName(int value) {
    switch (value) {
    case 1: return "Slice";
    case 2: return "Data Partition A";
    case 3: return "Data Partition B";
    case 4: return "Data Partition C";
    case 5: return "IDR Picture";
    case 6: return "SEI";
    case 7: return "Sequence Parameter Set";
    case 8: return "Picture Parameter Set";
    case 9: return "AUD";
    case 10: return "End of Sequence";
    case 11: return "End of Stream";
    case 12: return "Filler";
    case 13: return "Sequence Parameter Set Extension";
    default: return "Unknown";
    }
}

void TTSH264Reader::ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS) {
    if (!Buffer || DataStart < 0 || DataLength < 0) return;
    int end = DataStart + DataLength;
    if (end > Buffer->Count) end = Buffer->Count;
    if (DataStart > end) return;
    const uint8_t* b = Buffer->Bytes;

    if (!synched_) {
        for (int p = DataStart; p <= end - 4; ++p) {
            if (StartCode4(b, p)) {
                synched_ = true;
                slice_->pts_ = PTS;
                break;
            }
            ++bytesBeforeSliceStart_;
        }
    }
    if (!(end - DataStart >= 4 && StartCode4(b, DataStart)) && OnPESNotStartingWithSynchBytes)
        OnPESNotStartingWithSynchBytes(this, PTS);
    if (synched_) {
        block_ = Buffer;
        WalkNalUnits(DataStart, end, PTS);
        block_ = nullptr;
    }
}

void TTSH264Reader::WalkNalUnits(int dataStart, int end, int64_t pts) {
    const uint8_t* b = block_->Bytes;
    const bool wantText = static_cast<bool>(OnSlicesSequence);
    sequenceText_.clear();
    int found = 0;

    int pos = end;
    for (int p = dataStart; p <= end - 5; ++p) {
        if (b[p + 2] > 1) { // no four-byte code can start at p, p+1 or p+2
            p += 2;
            continue;
        }
        if (StartCode4(b, p)) {
            pos = p;
            break;
        }
    }
    slice_->pts_ = pts;

    while (end >= 5 && pos < end) {
        int hdr;
        if (pos + 4 <= end && StartCode4(b, pos)) hdr = 4;
        else if (pos + 3 <= end && StartCode3(b, pos)) hdr = 3;
        else break;
        const int nalType = pos + hdr < end ? (b[pos + hdr] & 0x1F) : 0;
        slice_->sliceType_ = nalType <= 13 ? static_cast<TH264NALUnitType>(nalType) : frt_Unknown;
        if (wantText) {
            if (nalType >= 1 && nalType <= 13) sequenceText_ += kSequenceNames[nalType];
            else sequenceText_ += "Unknown[$" + IntToHex(nalType, 2) + "]|";
        }
        slice_->startCodeLength_ = hdr;
        pos = ScanUnit(pos, end);
        ++found;

        const int len = slice_->unitLength_;
        // Only delimiters and parameter sets are looked into (and only
        // those that fit their store); any other unit is copied when asked.
        const bool looked = (nalType == 7 || nalType == 8 || nalType == 9) && len <= kH264StoredUnitCapacity;
        const uint8_t* unit = looked ? slice_->UnitData() : nullptr;
        switch (nalType) {
        case 9: {
            // A delimiter longer than its store is damage; it is neither
            // stored nor compared rather than overrunning the copy.
            if (len <= kH264StoredUnitCapacity) {
                const bool changed = aud_.Differs(unit, len);
                aud_.Store(unit, len);
                if (changed && OnChangedAUD) OnChangedAUD(this, slice_->pts_);
            }
            break;
        }
        case 7: {
            if (len <= kH264StoredUnitCapacity) {
                const bool changed = sps_copy_.length > 0 && sps_copy_.Differs(unit, len);
                sps_copy_.Store(unit, len);
                SequenceParameterSet();
                if (OnSequenceParameterSet) OnSequenceParameterSet(this, slice_->pts_);
                if (changed && OnChangedSeqParameter) OnChangedSeqParameter(this, slice_->pts_);
            } else if (OnH264Error) {
                OnH264Error(this, slice_->pts_, her_SeqParameterSetBufferOverflow, len, 0, 0);
            }
            break;
        }
        case 8: {
            if (len <= kH264StoredUnitCapacity) {
                const bool changed = pps_.Differs(unit, len);
                pps_.Store(unit, len);
                if (changed && OnChangedPicParameter) OnChangedPicParameter(this, slice_->pts_);
            } else if (OnH264Error) {
                OnH264Error(this, slice_->pts_, her_PicParameterSetBufferOverflow, len, 0, 0);
            }
            break;
        }
        default: break;
        }

        if (sliceCount_ == 0 && OnFirstSliceSynch)
            OnFirstSliceSynch(this, slice_->pts_, bytesBeforeSliceStart_, slice_->sliceType_);
        if (OnSliceReceived) OnSliceReceived(this, slice_->pts_, slice_->previousPTS_, slice_->sliceType_);
        slice_->previousPTS_ = slice_->pts_;
        ++sliceCount_;
        slice_->pts_ = -1;
    }
    // The PES bytes are the PES reader's and change with its next packet.
    if (slice_->pending_) {
        slice_->pending_ = false;
        slice_->unitLength_ = 0;
    }
    slice_->source_ = nullptr;
    if (OnSlicesSequence) OnSlicesSequence(this, pts, found, sequenceText_);
}

int TTSH264Reader::ScanUnit(int s, int end) {
    const uint8_t* b = block_->Bytes;
    TTSH264Slice& sl = *slice_;
    sl.unitFirst_ = s;
    sl.removedCount_ = 0;
    // Start codes and emulation-prevention bytes all begin with two zero
    // bytes, so only where two zeros meet is anything looked at (a pair at
    // s is the unit's own code).
    int i = s;
    while (i < end) {
        const uint8_t* z = FindZeroPair(b + i, b + end);
        if (!z) {
            i = end;
            break;
        }
        const int q = static_cast<int>(z - b);
        if (q + 2 < end && b[q + 2] == 3) {
            if (sl.removedCount_ >= kH264RemovedCapacity) {
                if (OnH264Error) OnH264Error(this, sl.pts_, her_EmuPrevBufferOverflow, 0, 0, 0);
                i = q;
                break;
            }
            sl.removed_[sl.removedCount_++] = q + 2;
            i = q + 3;
            continue;
        }
        if (q > s && q + 4 < end && (StartCode4(b, q) || (q > s + 2 && StartCode3(b, q)))) {
            i = q;
            break;
        }
        i = q + 1;
    }
    // Every removed byte took one of the unit's bytes out of the copy.
    sl.unitLength_ = i - s - sl.removedCount_;
    sl.unitLast_ = i - 1;
    sl.source_ = b;
    sl.pending_ = true;
    return i;
}

void TTSH264Reader::SequenceParameterSet() {
    TTSH264Slice& sl = *slice_;
    sl.patch_[0][0] = 0;
    sl.patch_[0][1] = 0;
    ParseH264Sps(sps_copy_.bytes, sps_copy_.length, sl.startCodeLength_, *sps_);
    // A bad set may have been misread before the flag: no position from it.
    if (sps_->VideoFullRangeFlagBit > 0 && !sps_->Bad) {
        sl.patch_[0][0] = sps_->VideoFullRangeFlagBit;
        sl.patch_[0][1] = static_cast<int>(sl.UnitBitToPesBit(sps_->VideoFullRangeFlagBit));
    }
    DeriveVideoInfo();
    TTSH264VideoInfo& cur = *videoInfo_;
    TTSH264VideoInfo& prev = *previousInfo_;
    if (!cur.SameVideo(prev) && prev.Resolution_V() > 0 && prev.Resolution_H() > 0 && OnVideoInfoChange)
        OnVideoInfoChange(this, sl.pts_, &prev, &cur);
    prev.Assign(cur);
}

void TTSH264Reader::DeriveVideoInfo() {
    const TH264SequenceParameterSet& s = *sps_;
    TTSH264VideoInfo& v = *videoInfo_;
    v.colorimetry_.clear();
    v.pts_ = slice_->pts_;
    v.interlaced_ = !s.frame_mbs_only_flag;
    v.resolutionH_ = static_cast<int>((static_cast<int64_t>(s.pic_width_in_mbs_minus1) + 1) * 16);
    v.level_ = s.level_idc / 10.0;
    switch (s.profile_idc) {
    case 66: v.profile_ = "Baseline"; break;
    case 77: v.profile_ = "Main"; break;
    case 100: v.profile_ = "High"; break;
    default: v.profile_ = "Unknown(" + std::to_string(s.profile_idc) + ")"; break;
    }
    if (s.timing_info_present_flag) {
        // No tick length means no usable rate.
        v.framesPerSecond_ =
            s.num_units_in_tick == 0 ? 0.0 : static_cast<double>(s.time_scale) / s.num_units_in_tick / 2.0;
    }
    v.resolutionV_ =
        static_cast<int>((static_cast<int64_t>(s.pic_height_in_map_units_minus1) + 1) * (v.interlaced_ ? 32 : 16));
    if (s.video_signal_type_present_flag && s.colour_description_present_flag) {
        auto name = [](int code) -> const char* {
            switch (code) {
            case 1: return "BT.709";
            case 5: return "BT.470-2";
            case 6: return "170M";
            case 7: return "240M";
            default: return nullptr;
            }
        };
        // Appended piece by piece: the text keeps its capacity from one
        // parameter set to the next.
        if (const char* n = name(s.colour_primaries)) v.colorimetry_.append("ColourPrimaries=").append(n);
        if (const char* n = name(s.transfer_characteristics))
            v.colorimetry_.append(", TransferCharacteristics=").append(n);
        if (const char* n = name(s.matrix_coefficients)) v.colorimetry_.append(", MatrixCoefficients=").append(n);
    }
    if (v.colorimetry_.empty())
        v.colorimetry_ = v.resolutionH_ < 1280 ? "Assumed BT.601 but unspecified" : "Assumed BT.709 but unspecified";
}

} // namespace tw
