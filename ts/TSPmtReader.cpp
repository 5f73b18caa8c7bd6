#include "ts/TSPmtReader.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "base/SysUtils.h"
#include "ts/dvb_crc32.h"

namespace tw {

TTSPmtReader::TTSPmtReader(TComponent* owner) : TComponent(owner) {
    BindConsumerFields(&pid_, &active_, ckPmt);
    description_ = new TPmtDescription();
    entries_ = new TPmtEntry[MAX_ENTRIES];
    // The texts are made now, not by the first table read from a stream,
    // and each entry has room for the longest description with its suffix,
    // so reading tables allocates nothing.
    (void)StreamTypeDescription(0);
    for (int k = 0; k < MAX_ENTRIES; ++k) entries_[k].Description.reserve(128);
}

TTSPmtReader::~TTSPmtReader() {
    active_ = false;
    FieldsChanged();
    delete description_;
    delete[] entries_;
}

void TTSPmtReader::Loaded() {
    TComponent::Loaded();
    if (packetReader_) packetReader_->AddReader(this);
}

void TTSPmtReader::SetActive(bool v) {
    if (v && !active_) {
        Clear();
        continues_ = false;
    }
    active_ = v;
    FieldsChanged();
}

void TTSPmtReader::Clear() {
    packetIndex_ = 0;
    tableId_ = 0;
    sectionLength_ = 0;
    version_ = 0;
    sectionNumber_ = 0;
    lastSectionNumber_ = 0;
    syntax_ = false;
    currentNext_ = false;
    programNumber_ = 0;
    pcrPid_ = 0;
    size_ = 0;
    crc_ = crcCalculated_ = 0;
    entryCount_ = 0;
    packetCount_ = 0;
    cutShort_ = false;
    cutShortPid_ = -1;
    description_->SetDescriptionLength(0);
    outputCount_ = 0;
}

void TTSPmtReader::ProcessPacket(const TTSPacketBuffer& raw, int64_t packetIndex) {
    const TSectionBytes where = LocateSections(raw);
    // A handler that switches the reader off has what it wanted: it is
    // handed no further section of the packet.
    switchedOn_ = active_;
    if (!continues_) {
        // Each packet that continues no section starts afresh, as ever.
        Clear();
        ReadNewSections(raw, where.SectionStart, where.End, packetIndex);
        return;
    }
    if (count_ + 251 > SECTION_CAPACITY) {
        // Too long to hold: dropped; a section that starts after its tail
        // is still read.
        continues_ = false;
        Clear();
        if (where.UnitStart) ReadNewSections(raw, where.SectionStart, where.End, packetIndex);
        return;
    }
    if (indexCount_ < MAX_RECORDED_INDICES) indices_[indexCount_++] = packetIndex;
    ++packetCount_;
    // A packet of the PID with an adaptation field alone adds nothing. In a
    // packet where a new section starts, only the pointer_field's count of
    // bytes before it belong to this one.
    TParseResult r = prIncomplete;
    if (where.UnitStart && where.TailEnd < 0) {
        r = prFailed; // the pointer_field leads past the packet
    } else if (where.HasPayload()) {
        const int from = where.UnitStart ? where.PayloadStart + 1 : where.PayloadStart;
        const int end = where.UnitStart ? where.TailEnd : where.End;
        const int n = end - from < SECTION_CAPACITY - count_ ? end - from : SECTION_CAPACITY - count_;
        if (n > 0) {
            std::memcpy(section_ + count_, raw.Data + from, static_cast<size_t>(n));
            count_ += n;
        }
        r = Advance();
    }
    // A new section that starts before this one is complete cuts it short.
    if (r == prIncomplete && where.UnitStart) r = prFailed;
    if (r == prIncomplete) return;
    Finish(r);
    if ((switchedOn_ && !active_) || !where.UnitStart) return;
    ReadNewSections(raw, where.SectionStart, where.End, packetIndex);
}

void TTSPmtReader::ReadNewSections(const TTSPacketBuffer& raw, int from, int end, int64_t packetIndex) {
    bool firstInPacket = true;
    while (from >= 5 && from < end && raw.Data[from] != 0xFF) {
        // After the first, a section of another table is stepped over, so
        // that it does not take away the table read before it.
        if (!firstInPacket && raw.Data[from] != 0x02) {
            if (from + 3 > end) return;
            from += 3 + ((raw.Data[from + 1] & 0x0F) << 8) + raw.Data[from + 2];
            continue;
        }
        firstInPacket = false;
        Clear();
        const TTSPacketBuffer& first = SectionAtFront(raw, from, end, scratch_);
        indexCount_ = 0;
        indices_[indexCount_++] = packetIndex;
        // Only the packet's own bytes, whatever its buffer holds after them.
        count_ = first.Length < TS_PACKET_SIZE ? first.Length : TS_PACKET_SIZE;
        std::memcpy(section_, first.Data, static_cast<size_t>(count_));
        packetIndex_ = packetIndex;
        packetCount_ = 1;
        const TParseResult r = Advance();
        if (r == prIncomplete) {
            continues_ = true;
            return;
        }
        from += 3 + ((section_[6] & 0x0F) << 8) + section_[7];
        Finish(r);
        if (switchedOn_ && !active_) return;
    }
}

TTSPmtReader::TParseResult TTSPmtReader::Advance() {
    // The table_id, the syntax bits and the length must be there to tell
    // what the section is and where it ends.
    if (count_ < 8) return prIncomplete;
    if (section_[5] != 0x02 || (section_[6] & 0xC0) != 0x80) return prOther;
    // Shorter than the fields before the entries and the CRC.
    if (((section_[6] & 0x0F) << 8) + section_[7] < 13) return prFailed;
    return Parse();
}

void TTSPmtReader::Finish(TParseResult r) {
    continues_ = false;
    // Another table's section on the PID, or the next version of this one
    // announced before it is in force (current_next_indicator 0): read past
    // quietly, so that it is never taken for the table in force.
    if (r == prOther || (r == prOk && !currentNext_)) {
        Clear();
        return;
    }
    if (r == prFailed) {
        if (OnPmtErrorReceived) OnPmtErrorReceived(this);
        Clear();
        return;
    }
    if (OnPmtReceived) OnPmtReceived(this);
    if (OnPmtChange && (!haveChangeCrc_ || crc_ != changeCrc_)) OnPmtChange(this);
    changeCrc_ = crc_;
    haveChangeCrc_ = true;
}

TTSPmtReader::TParseResult TTSPmtReader::Parse() {
    const uint8_t* b = section_;
    tableId_ = b[5];
    syntax_ = (b[6] & 0x80) != 0;
    sectionLength_ = (b[6] & 0x0F) * 256 + b[7];
    if (sectionLength_ + 8 > count_) {
        continues_ = true;
        return prIncomplete;
    }
    continues_ = false;
    programNumber_ = b[8] * 256 + b[9];
    version_ = (b[10] & 0x3E) >> 1;
    currentNext_ = (b[10] & 1) != 0;
    sectionNumber_ = b[11];
    lastSectionNumber_ = b[12];
    pcrPid_ = ((b[13] & 0x1F) << 8) + b[14];
    const int programInfoLength = (b[15] & 0x0F) * 256 + b[16];
    // Entries end where the CRC begins; sectionLength_ + 8 <= count_ <= 2048
    // keeps every read below inside the assembled bytes.
    const int end = sectionLength_ + 4;
    if (17 + programInfoLength > end) return prFailed;
    description_->SetDescriptionLength(programInfoLength);
    std::memcpy(description_->Data(), b + 17, static_cast<size_t>(description_->DescriptionLength()));

    // The walk over the entries ends at the section's end, where the CRC
    // begins. A table whose CRC holds is the muxer's own: a last entry or
    // descriptor claiming more bytes than remain loses only what is cut
    // off, so the streams before it are never lost with it. What is cut off
    // may have been further entries, though: the table says it was cut, so
    // that its reader can look for the streams it no longer lists.
    cutShort_ = false;
    cutShortPid_ = -1;
    auto cut = [this](int pid) {
        if (!cutShort_) cutShortPid_ = pid;
        cutShort_ = true;
    };
    int p = 17 + programInfoLength;
    while (p + 5 <= end) {
        const int streamType = b[p];
        const int pid = ((b[p + 1] & 0x1F) << 8) + b[p + 2];
        int esInfoLength = ((b[p + 3] & 0x0F) << 8) + b[p + 4];
        p += 5;
        if (p + esInfoLength > end) {
            esInfoLength = end - p;
            cut(pid);
        }
        if (entryCount_ < MAX_PARSED_ENTRIES) {
            ParseEsEntry(streamType, pid, b + p, esInfoLength);
            const int infoLength = entries_[entryCount_].EsInfoLength;
            ParseEsDescriptors(entries_[entryCount_]);
            if (entries_[entryCount_].EsInfoLength != infoLength) cut(pid);
            ++entryCount_;
        } else {
            cut(-1);
        }
        p += esInfoLength;
    }
    if (p != end) cut(-1);
    crc_ = (static_cast<uint32_t>(b[end]) << 24) | (static_cast<uint32_t>(b[end + 1]) << 16) |
           (static_cast<uint32_t>(b[end + 2]) << 8) | b[end + 3];
    crcCalculated_ = Crc32Mpeg(b + 5, 0xFFFFFFFFu, end - 5);
    size_ = end + 4;
    return crc_ == crcCalculated_ ? prOk : prFailed;
}

void TTSPmtReader::ParseEsEntry(int streamType, int pid, const uint8_t* info, int infoLength) {
    TPmtEntry& e = entries_[entryCount_];
    e.Clear();
    e.StreamType = streamType;
    e.PID = pid;
    e.EsInfoLength = infoLength;
    std::memcpy(e.EsInfo, info, static_cast<size_t>(infoLength));
    e.Description = StreamTypeDescription(streamType);
    e.IsAudio = IsAudioType(streamType);
    e.IsVideo = IsVideoType(streamType);
    e.IsOther = IsOtherType(streamType);
}

namespace {

void SetAudioKind(TPmtEntry& e, bool& kind) {
    e.AC3 = e.EAC3 = e.AAC = e.DTS = false;
    kind = true;
}

void SetTextKind(TPmtEntry& e, bool& kind) {
    e.Teletext = e.Subtitle = false;
    kind = true;
}

std::string PrintableText(const uint8_t* p, int n, int low, int high) {
    std::string s;
    for (int k = 0; k < n; ++k)
        if (p[k] >= low && p[k] <= high) s += static_cast<char>(p[k]);
    return s;
}

} // namespace

void TTSPmtReader::ParseEsDescriptors(TPmtEntry& e) {
    const uint8_t* info = e.EsInfo;
    int j = 0;
    while (j < e.EsInfoLength - 1) {
        const int tag = info[j];
        const int len = info[j + 1];
        if (j + 2 + len > e.EsInfoLength) break;
        const uint8_t* d = info + j + 2;
        switch (tag) {
        case 0x02:
            if (len >= 1) {
                e.HasVideoDescriptor = true;
                e.MultipleFrameRate = (d[0] & 0x80) != 0;
                e.FrameRateCode = (d[0] >> 3) & 15;
                e.MPEG1Only = (d[0] & 0x04) != 0;
                e.ConstrainedParameter = (d[0] & 0x02) != 0;
            }
            break;
        case 0x03:
            if (len >= 1) {
                e.HasAudioDescriptor = true;
                e.FreeFormat = (d[0] & 0x80) != 0;
                e.AudioID = (d[0] >> 6) & 1;
                e.Layer = (d[0] >> 4) & 3;
                e.VariableRate = (d[0] & 0x08) != 0;
            }
            break;
        case 0x05:
            if (!e.AC3 && !e.EAC3 && !e.AAC && !e.DTS) {
                const std::string id = PrintableText(d, len, 32, 255);
                if (id.find("AC-3") != std::string::npos) SetAudioKind(e, e.AC3);
                else if (id.find("DTS") != std::string::npos) SetAudioKind(e, e.DTS);
            }
            break;
        case 0x0A:
        case 0x50:
            e.Language = PrintableText(d, len, 32, 127);
            break;
        case 0x52:
            if (len >= 1) e.ComponentTag = d[0];
            break;
        case 0x56:
            e.Language = PrintableText(d, len, 32, 127);
            SetTextKind(e, e.Teletext);
            break;
        case 0x59:
            e.Language = PrintableText(d, len, 32, 127);
            SetTextKind(e, e.Subtitle);
            break;
        case 0x6A: SetAudioKind(e, e.AC3); break;
        case 0x7A: SetAudioKind(e, e.EAC3); break;
        case 0x7B: SetAudioKind(e, e.DTS); break;
        case 0x7C: SetAudioKind(e, e.AAC); break;
        default: break;
        }
        ++e.DescriptorCount;
        j += len + 2;
    }
    // A descriptor cut short (or a lone tag byte) is dropped, so a table
    // rebuilt from the entry carries only whole descriptors.
    e.EsInfoLength = j;

    const int st = e.StreamType;
    auto audio = [&](const char* suffix) {
        e.Description += suffix;
        e.IsAudio = true;
        e.IsOther = false;
    };
    if (st == 6 && e.AC3) audio(" (AC3)");
    else if (st == 6 && e.DTS) audio(" (DTS)");
    else if (st == 6 && e.EAC3) audio(" (E-AC3)");
    else if (st == 6 && e.AAC) audio(" (AAC)");
    else if (st == 129) { e.Description += " (AC3)"; SetAudioKind(e, e.AC3); e.IsAudio = true; }
    else if (st == 131) { e.Description += " (LPCM)"; e.IsAudio = true; }
    // 0x87 is E-AC-3 as ATSC and ffmpeg write it.
    else if (st == 132 || st == 135) { e.Description += " (EAC3)"; SetAudioKind(e, e.EAC3); e.IsAudio = true; }
    else if (st == 133 || st == 130) { e.Description += " (DTS)"; SetAudioKind(e, e.DTS); e.IsAudio = true; }
    else if (st == 6 && e.Teletext) { e.Description += " (Teletext)"; e.IsAudio = false; e.IsOther = true; }
    else if (st == 6 && e.Subtitle) { e.Description += " (Subtitle)"; e.IsAudio = false; e.IsOther = true; }
}

int TTSPmtReader::AddEntry(const TPmtEntry& record) {
    if (IndexOfPid(record.PID) >= 0 || entryCount_ >= MAX_ENTRIES) return -1;
    entries_[entryCount_] = record;
    return entryCount_++;
}

void TTSPmtReader::AssignEntry(const TPmtEntry& record, int slot) {
    if (slot >= 0 && slot < MAX_ENTRIES) entries_[slot] = record;
}

void TTSPmtReader::ClearEntry(int slot) {
    if (slot >= 0 && slot < MAX_ENTRIES) entries_[slot].Clear();
}

void TTSPmtReader::DeleteEntry(int index) {
    if (index < 0 || index >= entryCount_) return;
    for (int k = index; k < entryCount_ - 1; ++k) entries_[k] = entries_[k + 1];
    --entryCount_;
    entries_[entryCount_].Clear();
}

int TTSPmtReader::IndexOfPid(int pid) const {
    for (int k = 0; k < entryCount_; ++k)
        if (entries_[k].PID == pid) return k;
    return -1;
}

int TTSPmtReader::VideoEntryCount() const {
    int n = 0;
    for (int k = 0; k < entryCount_; ++k)
        if (entries_[k].IsVideo) ++n;
    return n;
}

bool TTSPmtReader::SetEntryStreamType(int pid, int streamType) {
    const int k = IndexOfPid(pid);
    if (k < 0) return false;
    TPmtEntry& e = entries_[k];
    e.StreamType = streamType;
    e.Description = StreamTypeDescription(streamType);
    e.IsAudio = IsAudioType(streamType);
    e.IsVideo = IsVideoType(streamType);
    e.IsOther = IsOtherType(streamType);
    return true;
}

bool TTSPmtReader::SetEntryLanguage(int pid, const std::string& text) {
    const int k = IndexOfPid(pid);
    if (k < 0) return false;
    TPmtEntry& e = entries_[k];
    bool result = false;
    int j = 0;
    while (j < e.EsInfoLength - 1) {
        const int tag = e.EsInfo[j];
        const int len = e.EsInfo[j + 1];
        if (j + 2 + len > e.EsInfoLength) break;
        uint8_t* d = e.EsInfo + j + 2;
        int at = -1, room = 0;
        if (tag == 0x0A || tag == 0x56 || tag == 0x59) {
            at = 0;
            room = len;
        } else if (tag == 0x50 && len >= 6) {
            // A component descriptor starts with stream_content,
            // component_type and component_tag; its ISO 639 code follows.
            at = 3;
            room = 3;
        }
        if (at >= 0) {
            e.Language.clear();
            const int n = static_cast<int>(text.size()) < room ? static_cast<int>(text.size()) : room;
            for (int c = 0; c < n; ++c) {
                d[at + c] = static_cast<uint8_t>(text[static_cast<size_t>(c)]);
                e.Language += text[static_cast<size_t>(c)];
            }
            result = true;
        }
        j += len + 2;
    }
    return result;
}

bool TTSPmtReader::RemoveEntryLanguage(int pid) {
    const int k = IndexOfPid(pid);
    if (k < 0) return false;
    TPmtEntry& e = entries_[k];
    bool removed = false, otherLanguage = false;
    int j = 0;
    while (j < e.EsInfoLength - 1) {
        const int tag = e.EsInfo[j];
        const int len = e.EsInfo[j + 1];
        if (j + 2 + len > e.EsInfoLength) break;
        if (tag != 0x0A) {
            otherLanguage = otherLanguage || tag == 0x56 || tag == 0x59 || tag == 0x50;
            j += len + 2;
            continue;
        }
        std::memmove(e.EsInfo + j, e.EsInfo + j + 2 + len, static_cast<size_t>(e.EsInfoLength - j - 2 - len));
        e.EsInfoLength -= len + 2;
        removed = true;
    }
    if (removed && !otherLanguage) e.Language.clear();
    return removed;
}

// The texts are built once, so entries copy them into storage they keep.
static const char* DescriptionLiteral(int t) {
    switch (t) {
    case 0: return "ITU-T | ISO-IE Reserved";
    case 1: return "ISO/IEC 11172 Video";
    case 2: return "ITU-T Rec. H.262 | ISO/IEC 13818-2 Video | ISO/IEC 11172-2 constr. parameter video stream";
    case 3: return "ISO/IEC 11172 Audio";
    case 4: return "ISO/IEC 13818-3 Audio";
    case 5: return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 private sections";
    case 6: return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 PES packets containing private data";
    case 7: return "ISO/IEC 13512 MHEG";
    case 8: return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 Annex A  DSM CC";
    case 9: return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1/11172-1 auxiliary";
    case 10: return "ISO/IEC 13818-6 Multiprotocol encapsulation";
    case 11: return "ISO/IEC 13818-6 DSM-CC U-N Messages";
    case 12: return "ISO/IEC 13818-6 Stream Descriptors";
    case 13: return "ISO/IEC 13818-6 Sections (any type, including private data)";
    case 14: return "ISO/IEC 13818-1 auxiliary";
    case 15: return "ISO/IEC 13818-7 Audio with ADTS transport syntax";
    case 16: return "ISO/IEC 14496-2 Visual";
    case 17: return "ISO/IEC 14496-3 Audio with LATM transport syntax as def. in ISO/IEC 14496-3/AMD1";
    case 18: return "ISO/IEC 14496-1 SL-packetized stream or FlexMux stream carried in PES packets";
    case 19: return "ISO/IEC 14496-1 SL-packetized stream or FlexMux stream carried in ISO/IEC 14496 sections";
    case 20: return "ISO/IEC 13818-6 DSM-CC synchronized download protocol";
    case 21: return "Metadata carried in PES packets using the Metadata Access Unit Wrapper";
    case 22: return "Metadata carried in metadata_sections";
    case 23: return "Metadata carried in ISO/IEC 13818-6 (DSM-CC) Data Carousel";
    case 24: return "Metadata carried in ISO/IEC 13818-6 (DSM-CC) Object Carousel";
    case 25:
        return "Metadata carried in ISO/IEC 13818-6 Synchronized Download Protocol using the Metadata Access Unit "
               "Wrapper";
    case 26: return "IPMP stream (defined in ISO/IEC 13818-11, MPEG-2 IPMP)";
    case 27: return "AVC video stream as defined in ITU-T Rec. H.264 | ISO/IEC 14496-10 Video";
    case 28: return "ITU-T Rec. H.222.0 | ISO/IEC 13818-1 reserved";
    // Named so that the log says what the program leaves out.
    case 36: return "HEVC video stream as defined in ITU-T Rec. H.265 | ISO/IEC 23008-2";
    case 127: return "IPMP stream";
    case 129: return "Private stream type Audio AC3";
    case 130: return "Private stream type Audio HDMV DTS";
    case 138: return "Private stream type Audio DTS";
    case 139: return "Private stream type Audio LPCM";
    case 234: return "Private stream type Video VC-1";
    default: return "User private";
    }
}

const std::string& TTSPmtReader::StreamTypeDescription(int t) {
    static std::vector<std::string>* cache = [] {
        auto* v = new std::vector<std::string>();
        v->reserve(256);
        for (int k = 0; k < 256; ++k) v->emplace_back(DescriptionLiteral(k));
        return v;
    }();
    static const std::string userPrivate = "User private";
    return (t >= 0 && t < 256) ? (*cache)[static_cast<size_t>(t)] : userPrivate;
}

bool TTSPmtReader::IsVideoType(int t) { return t == 1 || t == 2 || t == 16 || t == 27 || t == 234; }

bool TTSPmtReader::IsAudioType(int t) {
    switch (t) {
    case 3: case 4: case 15: case 17: case 129: case 130: case 131: case 133: case 138: case 139: return true;
    default: return false;
    }
}

bool TTSPmtReader::IsOtherType(int t) { return t == 6; }

std::string TTSPmtReader::DefaultEsDescriptors(int type) {
    auto bytes = [](std::initializer_list<int> v) {
        std::string s;
        for (int c : v) s += static_cast<char>(c);
        return s;
    };
    switch (type) {
    case 2: return std::string();
    case 4: return bytes({0x0A, 0x04, 0x64, 0x65, 0x75, 0x00});
    case 6: return bytes({0x0A, 0x04, 0x67, 0x65, 0x72, 0x00, 0x05, 0x04, 0x41, 0x43, 0x2D, 0x33, 0x7A, 0x01, 0x00});
    // AAC, declared with ADTS headers (15) as the program writes it; LATM
    // (17) takes the same descriptors.
    case 15:
    case 17: return bytes({0x7C, 0x02, 0x58, 0x00, 0x0A, 0x04, 0x65, 0x6E, 0x67, 0x00, 0x52, 0x01, 0x14});
    case 27: return bytes({0x28, 0x04, 0x64, 0x00, 0x29, 0xBF, 0x0A, 0x04, 0x65, 0x6E, 0x67, 0x00});
    case 129: return bytes({0x05, 0x04, 0x41, 0x43, 0x2D, 0x33, 0x0A, 0x04, 0x67, 0x65, 0x72, 0x00});
    case TELETEXT_TYPE: return bytes({0x56, 0x05, 0x67, 0x65, 0x72, 0x09, 0x00});
    case SUBTITLE_TYPE: return bytes({0x59, 0x08, 0x64, 0x65, 0x75, 0x20, 0x00, 0x01, 0x00, 0x01, 0x52, 0x01, 0x06});
    // The registration descriptor of DTS with 512-sample frames, the core
    // frame size broadcasts carry.
    case DTS_AUDIO_TYPE: return bytes({0x05, 0x04, 0x44, 0x54, 0x53, 0x31});
    default: return "UNKNOWN";
    }
}

int TTSPmtReader::OwnEntryStreamType(int type) {
    return type == TELETEXT_TYPE || type == SUBTITLE_TYPE || type == DTS_AUDIO_TYPE ? 6 : type;
}

int TTSPmtReader::AddStreamEntry(int pid, int type) {
    const std::string d = DefaultEsDescriptors(type);
    if (d == "UNKNOWN" || IndexOfPid(pid) >= 0 || entryCount_ >= MAX_ENTRIES) return -1;
    ParseEsEntry(OwnEntryStreamType(type), pid, reinterpret_cast<const uint8_t*>(d.data()), static_cast<int>(d.size()));
    ParseEsDescriptors(entries_[entryCount_]);
    return entryCount_++;
}

bool TTSPmtReader::BuildPmtPackets() {
    for (auto& o : output_) o.Length = 0;
    outputCount_ = 0;
    uint8_t area[SECTION_CAPACITY];
    std::memset(area, 0xFF, sizeof area);
    std::memcpy(area, section_, 4);
    area[4] = 0;
    const int descLen = description_->DescriptionLength();
    area[5] = static_cast<uint8_t>(tableId_);
    area[6] = static_cast<uint8_t>(0x30 + (syntax_ ? 0x80 : 0));
    area[8] = static_cast<uint8_t>(programNumber_ >> 8);
    area[9] = static_cast<uint8_t>(programNumber_);
    area[10] = static_cast<uint8_t>(0xC0 + (version_ & 31) * 2 + (currentNext_ ? 1 : 0));
    area[11] = static_cast<uint8_t>(sectionNumber_);
    area[12] = static_cast<uint8_t>(lastSectionNumber_);
    area[13] = static_cast<uint8_t>(0xE0 + ((pcrPid_ >> 8) & 0x1F));
    area[14] = static_cast<uint8_t>(pcrPid_);
    area[15] = static_cast<uint8_t>(0xF0 + ((descLen >> 8) & 0x0F));
    area[16] = static_cast<uint8_t>(descLen);
    int p = 17;
    auto fits = [&](int n) { return p + n + 4 <= SECTION_CAPACITY; };
    if (!fits(descLen)) return false;
    std::memcpy(area + p, description_->Data(), static_cast<size_t>(descLen));
    p += descLen;
    for (int k = 0; k < entryCount_; ++k) {
        const TPmtEntry& e = entries_[k];
        const int n = e.EsInfoLength < 0 ? 0 : (e.EsInfoLength > 0x0FFF ? 0x0FFF : e.EsInfoLength);
        if (!fits(5 + n) || n > TPmtEntry::ES_INFO_CAPACITY) return false;
        area[p++] = static_cast<uint8_t>(e.StreamType);
        area[p++] = static_cast<uint8_t>(0xE0 + ((e.PID >> 8) & 0x1F));
        area[p++] = static_cast<uint8_t>(e.PID);
        area[p++] = static_cast<uint8_t>(0xF0 + ((n >> 8) & 0x0F));
        area[p++] = static_cast<uint8_t>(n);
        std::memcpy(area + p, e.EsInfo, static_cast<size_t>(n));
        p += n;
    }
    sectionLength_ = p - 4;
    area[6] = static_cast<uint8_t>((area[6] & 0xF0) | ((sectionLength_ >> 8) & 0x0F));
    area[7] = static_cast<uint8_t>(sectionLength_);
    const uint32_t crc = Crc32Mpeg(area + 5, 0xFFFFFFFFu, p - 5);
    crc_ = crcCalculated_ = crc;
    area[p++] = static_cast<uint8_t>(crc >> 24);
    area[p++] = static_cast<uint8_t>(crc >> 16);
    area[p++] = static_cast<uint8_t>(crc >> 8);
    area[p++] = static_cast<uint8_t>(crc);

    const int needed = p <= TS_PACKET_SIZE ? 1 : 1 + (p - TS_PACKET_SIZE + 183) / 184;
    if (needed > MAX_OUTPUT_PACKETS) return false;
    output_[0].Length = TS_PACKET_SIZE;
    std::memcpy(output_[0].Data, area, TS_PACKET_SIZE);
    int at = TS_PACKET_SIZE;
    for (int k = 1; k < needed; ++k) {
        TTSPacketBuffer& o = output_[k];
        o.Length = TS_PACKET_SIZE;
        std::memcpy(o.Data, area, 4);
        o.Data[1] &= static_cast<uint8_t>(~0x40);
        std::memcpy(o.Data + 4, area + at, 184);
        at += 184;
    }
    outputCount_ = needed;
    return true;
}

void TTSPmtReader::BuildPmtFromStreams(const TPmtStreams& st) {
    std::memset(section_, 0xFF, sizeof section_);
    count_ = TS_PACKET_SIZE;
    const uint8_t head[17] = {0x47,
                              static_cast<uint8_t>(0x40 + ((st.PmtPid >> 8) & 0x1F)),
                              static_cast<uint8_t>(st.PmtPid),
                              0x12,
                              0x00,
                              0x02,
                              0xB0,
                              0x00,
                              0x00,
                              0x01,
                              0xC1,
                              0x00,
                              0x00,
                              static_cast<uint8_t>(0xE0 + ((st.PcrPid >> 8) & 0x1F)),
                              static_cast<uint8_t>(st.PcrPid),
                              0xF0,
                              0x00};
    std::memcpy(section_, head, sizeof head);
    int p = 17;
    for (int k = 0; k < 9; ++k) {
        const auto& pair = st.Pairs[k];
        const std::string d = DefaultEsDescriptors(pair.Type);
        if (d == "UNKNOWN") continue;
        const int n = static_cast<int>(d.size());
        // Nine entries with the longest default descriptors take about 200
        // bytes: the section may run past the first packet, and
        // BuildPmtPackets splits it, so no stream is left out.
        if (p + 5 + n + 4 > SECTION_CAPACITY) break;
        section_[p++] = static_cast<uint8_t>(k < 5 ? OwnEntryStreamType(pair.Type) : 6);
        section_[p++] = static_cast<uint8_t>(0xE0 + ((pair.PID >> 8) & 0x1F));
        section_[p++] = static_cast<uint8_t>(pair.PID);
        section_[p++] = static_cast<uint8_t>(0xF0 + ((n >> 8) & 0x0F));
        section_[p++] = static_cast<uint8_t>(n);
        std::memcpy(section_ + p, d.data(), static_cast<size_t>(n));
        p += n;
    }
    const int len = p - 4;
    section_[6] = static_cast<uint8_t>(0xB0 | ((len >> 8) & 0x0F));
    section_[7] = static_cast<uint8_t>(len);
    const uint32_t crc = Crc32Mpeg(section_ + 5, 0xFFFFFFFFu, p - 5);
    section_[p++] = static_cast<uint8_t>(crc >> 24);
    section_[p++] = static_cast<uint8_t>(crc >> 16);
    section_[p++] = static_cast<uint8_t>(crc >> 8);
    section_[p++] = static_cast<uint8_t>(crc);
    count_ = p > TS_PACKET_SIZE ? p : TS_PACKET_SIZE;
    // The built table replaces whatever was parsed before.
    Clear();
    indexCount_ = 0;
    packetIndex_ = 0;
    SetPID(st.PmtPid);
    if (Parse() != prOk) Clear();
}

std::string TTSPmtReader::PmtDumpText() const {
    std::string s;
    auto line = [&](const std::string& l) { s += l; s += "\r\n"; };
    auto bit = [](bool b) { return std::string(b ? "1" : "0"); };
    auto bytesText = [](const uint8_t* d, int n) {
        std::string t;
        for (int k = 0; k < n; ++k) {
            if (k) t += ", ";
            t += "$" + IntToHex(d[k], 2);
        }
        return t;
    };
    std::string packets;
    for (int k = 0; k < indexCount_; ++k) {
        if (k) packets += ", ";
        packets += "$" + IntToHex(indices_[k], 8);
    }
    line("Packet                   : " + packets);
    line("PacketCount              : " + std::to_string(packetCount_));
    line("PID                      : $" + IntToHex(pid_, 4));
    line("Table ID                 : " + std::to_string(tableId_));
    line("Section Syntax Indicator : " + bit(syntax_));
    line("Section Length           : " + std::to_string(sectionLength_));
    line("Program Number           : $" + IntToHex(programNumber_, 4));
    line("Version Number           : " + std::to_string(version_));
    line("Current Next Indicator   : " + bit(currentNext_));
    line("Section Number           : " + std::to_string(sectionNumber_));
    line("Last Section Number      : " + std::to_string(lastSectionNumber_));
    line("PCR PID                  : $" + IntToHex(pcrPid_, 4));
    line("");
    const int dl = description_->DescriptionLength();
    line("Program Info Length      : " + std::to_string(dl));
    if (dl != 0) line("Program Info             : " + bytesText(description_->Data(), dl));
    for (int k = 0; k < entryCount_; ++k) {
        const TPmtEntry& e = entries_[k];
        line("");
        line("  Stream Type    : " + std::to_string(e.StreamType));
        line("  Description    : " + e.Description);
        line("  Elementary PID : $" + IntToHex(e.PID, 4));
        line("  ES Info Length : " + std::to_string(e.EsInfoLength));
        if (e.EsInfoLength != 0) {
            line("  ES Info        : " + bytesText(e.EsInfo, e.EsInfoLength));
            // The log is UTF-8: a descriptor's text bytes are shown as
            // ISO 8859-1, close enough to DVB's own tables for reading.
            std::string text;
            for (int c = 0; c < e.EsInfoLength; ++c) {
                if (e.EsInfo[c] > 31)
                    AppendLatin1(text, e.EsInfo[c]);
                else
                    text += '_';
            }
            line("  ES Info Text   : " + text);
        }
    }
    line("");
    line("CRC32                    : $" + IntToHex(crc_, 8) + (crc_ == crcCalculated_ ? " = $" : " <> $") +
         IntToHex(crcCalculated_, 8));
    return s;
}

} // namespace tw
