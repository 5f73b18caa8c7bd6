#include "ts/TSMPEG2Reader.h"

#include <cstring>

#include "base/ByteSearch.h"
#include "base/SysUtils.h"
#include "ts/TSPesReader.h"

namespace tw {

TTSMPEG2Reader::TTSMPEG2Reader(TComponent* owner)
    : TComponent(owner), ownVideoInfo_(new TTSMPEG2VideoInfo), buffer_(new uint8_t[kMpeg2BufferCapacity]) {
    videoInfo_ = ownVideoInfo_.get();
}

TTSMPEG2Reader::~TTSMPEG2Reader() { SetActive(false); }

void TTSMPEG2Reader::Loaded() {
    TComponent::Loaded();
    if (tsPesReader_) tsPesReader_->AddReader(this);
}

void TTSMPEG2Reader::SetTSPesReader(TTSPesReader* value) {
    tsPesReader_ = value;
    pid_ = value ? value->PID() : 0;
}

void TTSMPEG2Reader::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    synched_ = false;
    count_ = 0;
    scanPos_ = 0;
    horizontalSize_ = verticalSize_ = aspectRatioInformation_ = frameRateCode_ = 0;
    bitRateValue_ = 0;
    extensionId_ = profileAndLevel_ = progressiveSequence_ = chromaFormat_ = 0;
    horizontalSizeExtension_ = verticalSizeExtension_ = 0;
    RefreshVideoInfo();
}

void TTSMPEG2Reader::RefreshVideoInfo() {
    if (!videoInfo_) return;
    TTSMPEG2VideoInfo& v = *videoInfo_;
    v.resolutionH_ = horizontalSize_;
    v.resolutionV_ = verticalSize_;
    switch (frameRateCode_) {
    case 1: v.framesPerSecond_ = 24000.0 / 1001.0; break;
    case 2: v.framesPerSecond_ = 24; break;
    case 3: v.framesPerSecond_ = 25; break;
    case 4: v.framesPerSecond_ = 30000.0 / 1001.0; break;
    case 5: v.framesPerSecond_ = 30; break;
    case 6: v.framesPerSecond_ = 50; break;
    case 7: v.framesPerSecond_ = 60000.0 / 1001.0; break;
    case 8: v.framesPerSecond_ = 60; break;
    default: v.framesPerSecond_ = 0; break;
    }
    switch (aspectRatioInformation_) {
    case 2: v.aspectRatio_ = "4/3"; break;
    case 3: v.aspectRatio_ = "16/9"; break;
    case 4: v.aspectRatio_ = "1/2.21"; break;
    default: v.aspectRatio_.clear(); break;
    }
}

namespace {

// First position p in [from, end - 4] holding 00 00 01 00 (a picture start
// code), or -1. A stream that never shows one is searched whole on every PES
// packet, so the 01 byte is looked for with FindByte rather than byte by byte.
int FindPictureStart(const uint8_t* pes, int from, int end) {
    if (end - from < 4) return -1;
    const uint8_t* p = pes + from + 2;
    const uint8_t* const last = pes + end - 1; // the 01 byte needs one byte after it
    while (p < last) {
        p = FindByte(p, last, 1);
        if (!p) return -1;
        if (p[-1] == 0 && p[-2] == 0 && p[1] == 0) return static_cast<int>(p - pes) - 2;
        ++p;
    }
    return -1;
}

} // namespace

void TTSMPEG2Reader::ProcessPES(const TPesCollection* Buffer, int DataStart, int DataLength, int64_t PTS,
                                int64_t PacketIndex) {
    if (!Buffer || DataLength <= 0 || DataStart < 0) return;
    if (static_cast<int64_t>(DataStart) + DataLength > Buffer->Count) return;
    const uint8_t* pes = Buffer->Bytes;
    const int end = DataStart + DataLength;

    if (!synched_) {
        count_ = 0;
        // Every position up to the second-last byte counts as examined (the
        // skipped-byte count always counted so); a code is only taken when
        // all four of its bytes lie inside the payload.
        const int at = FindPictureStart(pes, DataStart, end);
        if (at < 0) {
            if (end - 1 > DataStart) bytesBeforeSyncMark_ += end - 1 - DataStart;
            return;
        }
        bytesBeforeSyncMark_ += at - DataStart;
        synched_ = true;
        scanPos_ = 4;
    }

    // The new bytes are looked at where they lie in the PES collection; only
    // the unit still open at their end is kept in the buffer.
    if (static_cast<int64_t>(count_) + DataLength < static_cast<int64_t>(kMpeg2BufferCapacity) + 1) {
        ScanUnits(pes + DataStart, DataLength);
    } else {
        if (OnMpeg2BufferOverflowError)
            OnMpeg2BufferOverflowError(this, PacketIndex, count_ + DataLength, kMpeg2BufferCapacity + 1);
        ScanUnits(pes, 0);
    }
}

namespace {

// The buffered bytes followed by the new ones, read as one sequence without
// copying the new ones behind the others.
struct TJoinedBytes {
    const uint8_t* kept;
    int keptCount;
    const uint8_t* added;
    int addedCount;

    int Size() const { return keptCount + addedCount; }
    uint8_t At(int i) const { return i < keptCount ? kept[i] : added[i - keptCount]; }
    // The first position in [from, to) holding 01, or -1.
    int Find01(int from, int to) const {
        if (from < keptCount) {
            const int e = to < keptCount ? to : keptCount;
            if (from < e)
                if (const uint8_t* q = FindByte(kept + from, kept + e, 1)) return static_cast<int>(q - kept);
            from = keptCount;
        }
        if (from < to)
            if (const uint8_t* q = FindByte(added + (from - keptCount), added + (to - keptCount), 1))
                return static_cast<int>(q - added) + keptCount;
        return -1;
    }
    // The first code 00 00 01 whose 01 byte lies in [from, to), as the
    // position of its first zero, or -1.
    int FindCode(int from, int to) const {
        // Codes that begin among the kept bytes, the two across the join
        // included.
        const int joinEnd = keptCount + 2 < to ? keptCount + 2 : to;
        while (from < joinEnd) {
            const int p = Find01(from, joinEnd);
            if (p < 0) break;
            if (At(p - 1) == 0 && At(p - 2) == 0) return p - 2;
            from = p + 1;
        }
        if (from < joinEnd) from = joinEnd;
        if (from >= to) return -1;
        // Behind them everything lies among the new bytes: the plain search.
        const uint8_t* p = added + (from - keptCount);
        const uint8_t* const stop = added + (to - keptCount);
        if (const uint8_t* q = FindStartCode01(p, stop)) return static_cast<int>(q - added) + keptCount - 2;
        return -1;
    }
};

} // namespace

void TTSMPEG2Reader::ScanUnits(const uint8_t* added, int addedCount) {
    uint8_t* buf = buffer_.get();
    const TJoinedBytes v{buf, count_, added, addedCount};
    const int total = v.Size();
    // Align on the first start code.
    const int first = total >= 4 ? v.FindCode(2, total - 1) : -1;
    if (first < 0) {
        count_ = 0;
        scanPos_ = 0;
        return;
    }
    // Units are cut off the front; what is left from the last code on stays
    // for the next PES packet.
    int base = first;
    for (;;) {
        const int n = total - base;
        if (n < 8) break;
        // The unit at the front starts with its own code: never cut it empty.
        // This search was the pass's hottest spot: see FindCode.
        const int from = scanPos_ < 1 ? 1 : scanPos_;
        const int code = v.FindCode(base + from + 2, total - 2);
        if (code < 0) {
            scanPos_ = n - 5;
            break;
        }
        const int found = code - base;
        // Fields behind the bytes there are read as 0 (a unit this short is
        // damaged anyway).
        uint8_t head[kUnitHeadBytes] = {};
        for (int k = 0; k < kUnitHeadBytes && k < n; ++k) head[k] = v.At(base + k);
        ProcessUnit(head, n, found);
        base += found;
        scanPos_ = 4;
    }
    const int keep = total - base;
    if (base >= count_) {
        std::memcpy(buf, added + (base - count_), static_cast<size_t>(keep));
    } else {
        if (base > 0) std::memmove(buf, buf + base, static_cast<size_t>(count_ - base));
        if (addedCount > 0) std::memcpy(buf + (count_ - base), added, static_cast<size_t>(addedCount));
    }
    count_ = keep;
}

void TTSMPEG2Reader::ProcessUnit(const uint8_t* unit, int avail, int length) {
    auto s = [&](int k) -> int { return 4 + k < avail ? unit[4 + k] : 0; };
    const int v = 3 < avail ? unit[3] : 0;
    if (v == 0xB3) {
        horizontalSize_ = s(0) * 16 + (s(1) >> 4);
        verticalSize_ = (s(1) & 15) * 256 + s(2);
        aspectRatioInformation_ = s(3) >> 4;
        frameRateCode_ = s(3) & 15;
        bitRateValue_ = static_cast<uint32_t>(s(4)) * 1024 + s(5) * 4 + (s(6) >> 6);
        RefreshVideoInfo();
    } else if (v == 0xB5) {
        extensionId_ = s(0) >> 4;
        profileAndLevel_ = (s(0) & 15) * 16 + (s(1) >> 4);
        progressiveSequence_ = (s(1) >> 3) & 1;
        chromaFormat_ = (s(1) >> 1) & 3;
        horizontalSizeExtension_ = (s(1) & 1) * 2 + (s(2) >> 7);
        verticalSizeExtension_ = (s(2) >> 5) & 3;
        if (extensionId_ == 1 && videoInfo_) {
            videoInfo_->profile_ = (profileAndLevel_ >> 4) & 7;
            videoInfo_->level_ = profileAndLevel_ & 15;
            videoInfo_->interlaced_ = progressiveSequence_ == 0;
        }
    }
    if (OnNewSequence) OnNewSequence(this, v, length, Mpeg2StartCodeName(v));
}

std::string TTSMPEG2Reader::Mpeg2StartCodeName(int value) {
    value &= 0xFF;
    if (value == 0x00) return "picture_start_code";
    if (value <= 0xAF) return "slice_start_code_" + IntToHex(value, 2);
    switch (value) {
    case 0xB0:
    case 0xB1:
    case 0xB6: return "reserved";
    case 0xB2: return "user_data_start_code";
    case 0xB3: return "sequence_header_code";
    case 0xB4: return "sequence_error_code";
    case 0xB5: return "extension_start_code";
    case 0xB7: return "sequence_end_code";
    case 0xB8: return "group_start_code";
    default: break;
    }
    return "system_start_code_" + IntToHex(value - 0xB8, 2);
}

std::string TTSMPEG2Reader::ProfileLevelText() const {
    if (!videoInfo_ || videoInfo_->Profile() == 0 || videoInfo_->Level() == 0) return "";
    std::string s;
    switch (videoInfo_->Profile()) {
    case 1: s = "High@"; break;
    case 2: s = "Spatially Scalable@"; break;
    case 3: s = "SNR Scalable@"; break;
    case 4: s = "Main@"; break;
    case 5: s = "Simple@"; break;
    default: s = "@"; break;
    }
    switch (videoInfo_->Level()) {
    case 4: s += "High"; break;
    case 6: s += "High 1440"; break;
    case 8: s += "Main"; break;
    case 10: s += "Low"; break;
    default: break;
    }
    return s;
}

} // namespace tw
