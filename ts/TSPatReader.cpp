#include "ts/TSPatReader.h"

#include <cstdio>
#include <cstring>

#include "base/SysUtils.h"
#include "ts/dvb_crc32.h"

namespace tw {

namespace {

void AppendHex8(std::string& s, uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08X", v);
    s += buf;
}

} // namespace

TTSPatReader::TTSPatReader(TComponent* owner) : TComponent(owner) {
    BindConsumerFields(&pid_, &active_, ckPat);
    for (auto& e : entries_) e = TPatEntry{0, 0, 0};
    // Six header fields and two per program, eight digits each, for the
    // most programs one packet holds: comparing tables allocates nothing.
    signature_.reserve(8 * (6 + 2 * 42));
    newSignature_.reserve(8 * (6 + 2 * 42));
}

TTSPatReader::~TTSPatReader() {
    active_ = false;
    FieldsChanged();
}

void TTSPatReader::Loaded() {
    TComponent::Loaded();
    if (packetReader_) packetReader_->AddReader(this);
}

void TTSPatReader::ResetSection() {
    packetIndex_ = 0;
    tableId_ = 0;
    syntax_ = false;
    sectionLength_ = 0;
    tsid_ = 0;
    version_ = 0;
    currentNext_ = false;
    sectionNumber_ = 0;
    lastSectionNumber_ = 0;
    crc_ = crcCalculated_ = 0;
    entryCount_ = 0;
    haveTable_ = false;
    reserved_[0] = false;
    reserved_[1] = reserved_[2] = reserved_[3] = reserved_[4] = true;
    for (auto& e : entries_) e = TPatEntry{0, 0, 7};
}

void TTSPatReader::Clear() {
    signature_.clear();
    ResetSection();
}

void TTSPatReader::ProcessPacket(const TTSPacketBuffer& packet, int64_t packetIndex) {
    // An adaptation field alone carries no table to read or to miss.
    if (packet.Length >= 5 && ((packet.Data[3] >> 4) & 3) == afc_adaptation_field_only) return;
    const TSectionBytes where = LocateSections(packet);
    int from = where.SectionStart;
    int length = 0;
    while ((length = ReadSection(SectionAtFront(packet, from, where.End, scratch_), packetIndex)) > 0) {
        // A table may be sent in several sections, back to back in one
        // packet: each is read, or the programs of all but the first would
        // never be found. After the last, the rest is stuffing (0xFF); a
        // byte that opens no PAT section ends the packet quietly.
        from += 3 + length;
        if (from + 1 >= where.End || packet.Data[from] != 0x00 || (packet.Data[from + 1] & 0x80) == 0) return;
    }
}

int TTSPatReader::ReadSection(const TTSPacketBuffer& raw, int64_t packetIndex) {
    if (raw.Length >= 13 && raw.Data[5] == 0x00 && (raw.Data[6] & 0x80) != 0) return Parse(raw, packetIndex);
    ResetSection();
    const int tid = raw.Length > 5 ? raw.Data[5] : 0;
    if (OnInvalidPat) OnInvalidPat(this, "Section Sync Indicator", tid, packetIndex);
    ResetSection();
    return 0;
}

int TTSPatReader::Parse(const TTSPacketBuffer& raw, int64_t packetIndex) {
    const uint8_t* b = raw.Data;
    const int sectionLength = (b[6] & 0x0F) * 256 + b[7];
    // The entries are read in steps of four until the section's length is
    // reached, and the CRC right after the last one (a length that is not
    // 9 + 4n puts it past the section's end). The section, CRC included,
    // must lie inside this one packet; a longer one continues in the next
    // packet, which this reader does not collect.
    int crcAt = 13;
    while (crcAt < sectionLength + 4) crcAt += 4;
    if (crcAt + 4 > TS_PACKET_SIZE || crcAt + 4 > raw.Length) {
        ResetSection();
        if (OnInvalidPat) OnInvalidPat(this, "PAT too big (" + std::to_string(sectionLength) + ")", b[5], packetIndex);
        ResetSection();
        return 0;
    }
    const uint32_t crc = (static_cast<uint32_t>(b[crcAt]) << 24) | (static_cast<uint32_t>(b[crcAt + 1]) << 16) |
                         (static_cast<uint32_t>(b[crcAt + 2]) << 8) | b[crcAt + 3];
    const uint32_t crcCalculated = Crc32Mpeg(b + 5, 0xFFFFFFFFu, crcAt - 5);
    if (crc != crcCalculated) {
        ResetSection();
        char text[64];
        std::snprintf(text, sizeof text, "PAT CRC error ($%08X <> $%08X)", crc, crcCalculated);
        if (OnInvalidPat) OnInvalidPat(this, text, b[5], packetIndex);
        ResetSection();
        return 0;
    }
    // A table announced for later (current_next_indicator 0) is not in
    // force: the table in force stays, and the next section is read.
    if ((b[10] & 1) == 0) return sectionLength;

    const int tsid = b[8] * 256 + b[9];
    const int version = (b[10] & 0x3E) >> 1;
    const int sectionNumber = b[11];
    const int lastSectionNumber = b[12];
    // The sections of one version make one table: their programs are kept
    // together, a section sent again replacing its own. Any other table
    // starts afresh.
    if (!haveTable_ || tsid != tsid_ || version != version_ || lastSectionNumber != lastSectionNumber_) {
        entryCount_ = 0;
    } else {
        int kept = 0;
        for (int k = 0; k < entryCount_; ++k)
            if (entrySection_[k] != sectionNumber) {
                entries_[kept] = entries_[k];
                entrySection_[kept++] = entrySection_[k];
            }
        entryCount_ = kept;
    }
    for (int k = entryCount_; k < MAX_ENTRIES; ++k) entries_[k] = TPatEntry{0, 0, 7};
    haveTable_ = true;
    input_ = raw;
    packetIndex_ = packetIndex;
    tableId_ = b[5];
    syntax_ = (b[6] & 0x80) != 0;
    reserved_[0] = (b[6] & 0x40) != 0;
    reserved_[1] = (b[6] & 0x20) != 0;
    reserved_[2] = (b[6] & 0x10) != 0;
    sectionLength_ = sectionLength;
    tsid_ = tsid;
    reserved_[3] = (b[10] & 0x80) != 0;
    reserved_[4] = (b[10] & 0x40) != 0;
    version_ = version;
    currentNext_ = true;
    sectionNumber_ = sectionNumber;
    lastSectionNumber_ = lastSectionNumber;
    crc_ = crc;
    crcCalculated_ = crcCalculated;

    newSignature_.clear();
    AppendHex8(newSignature_, static_cast<uint32_t>(sectionLength_));
    AppendHex8(newSignature_, static_cast<uint32_t>(tsid_));
    AppendHex8(newSignature_, static_cast<uint32_t>(version_));
    AppendHex8(newSignature_, 1u);
    AppendHex8(newSignature_, static_cast<uint32_t>(sectionNumber_));
    AppendHex8(newSignature_, static_cast<uint32_t>(lastSectionNumber_));
    for (int i = 13; i < crcAt; i += 4) {
        TPatEntry e;
        e.ProgramNumber = b[i] * 256 + b[i + 1];
        e.PID = ((b[i + 2] & 0x1F) << 8) + b[i + 3];
        e.Reserved = b[i + 2] >> 5;
        if (entryCount_ < MAX_ENTRIES) {
            entrySection_[entryCount_] = sectionNumber;
            entries_[entryCount_++] = e;
        }
        AppendHex8(newSignature_, static_cast<uint32_t>(e.ProgramNumber));
        AppendHex8(newSignature_, static_cast<uint32_t>(e.PID));
    }
    if (OnPatReceived) OnPatReceived(this);
    if (OnPatChange && newSignature_ != signature_) OnPatChange(this);
    signature_ = newSignature_;
    return sectionLength;
}

void TTSPatReader::BuildSingleProgramPat(int programNumber, int pmtPid) {
    std::memset(input_.Data, 0xFF, sizeof input_.Data);
    input_.Length = TS_PACKET_SIZE;
    const uint8_t head[17] = {0x47, 0x40, 0x00, 0x10, 0x00, 0x00, 0xB0, 0x0D, 0x00, 0x06, 0xD7, 0x00, 0x00,
                              static_cast<uint8_t>(programNumber >> 8), static_cast<uint8_t>(programNumber),
                              static_cast<uint8_t>(0xE0 | ((pmtPid >> 8) & 0x1F)), static_cast<uint8_t>(pmtPid)};
    std::memcpy(input_.Data, head, sizeof head);
    const uint32_t crc = Crc32Mpeg(input_.Data + 5, 0xFFFFFFFFu, 12);
    input_.Data[17] = static_cast<uint8_t>(crc >> 24);
    input_.Data[18] = static_cast<uint8_t>(crc >> 16);
    input_.Data[19] = static_cast<uint8_t>(crc >> 8);
    input_.Data[20] = static_cast<uint8_t>(crc);
    ResetSection();
    const TTSPacketBuffer built = input_;
    Parse(built, 0);
}

void TTSPatReader::BuildPatPacket() {
    output_.Length = input_.Length;
    if (output_.Length < TS_PACKET_SIZE) output_.Length = TS_PACKET_SIZE;
    std::memset(output_.Data, 0, sizeof output_.Data);
    uint8_t* o = output_.Data;
    std::memcpy(o, input_.Data, 4);
    o[5] = static_cast<uint8_t>(tableId_);
    o[6] = static_cast<uint8_t>(0x30 + (syntax_ ? 0x80 : 0) + ((sectionLength_ >> 8) & 0x0F));
    o[8] = static_cast<uint8_t>(tsid_ >> 8);
    o[9] = static_cast<uint8_t>(tsid_);
    o[10] = static_cast<uint8_t>(0xC0 + (version_ & 31) * 2 + (currentNext_ ? 1 : 0));
    o[11] = static_cast<uint8_t>(sectionNumber_);
    o[12] = static_cast<uint8_t>(lastSectionNumber_);
    int p = 13;
    const int n = entryCount_ < MAX_BUILD_ENTRIES ? entryCount_ : MAX_BUILD_ENTRIES;
    for (int k = 0; k < n; ++k) {
        const TPatEntry& e = entries_[k];
        o[p++] = static_cast<uint8_t>(e.ProgramNumber >> 8);
        o[p++] = static_cast<uint8_t>(e.ProgramNumber);
        o[p++] = static_cast<uint8_t>(0xE0 + ((e.PID >> 8) & 0x1F));
        o[p++] = static_cast<uint8_t>(e.PID);
    }
    // At most 42 programs, so the length always fits the low byte and the
    // high nibble written above is that of the stored section length.
    o[6] = static_cast<uint8_t>(0x30 + (syntax_ ? 0x80 : 0));
    o[7] = static_cast<uint8_t>(p - 4);
    const uint32_t crc = Crc32Mpeg(o + 5, 0xFFFFFFFFu, p - 5);
    crc_ = crcCalculated_ = crc;
    o[p++] = static_cast<uint8_t>(crc >> 24);
    o[p++] = static_cast<uint8_t>(crc >> 16);
    o[p++] = static_cast<uint8_t>(crc >> 8);
    o[p++] = static_cast<uint8_t>(crc);
    std::memset(o + p, 0xFF, static_cast<size_t>(TS_PACKET_SIZE - p));
}

std::string TTSPatReader::PatDumpText() const {
    std::string s;
    auto line = [&](const std::string& l) { s += l; s += "\r\n"; };
    auto bit = [](bool b) { return std::string(b ? "1" : "0"); };
    line("Table ID                 : " + std::to_string(tableId_));
    line("Section Syntax Indicator : " + bit(syntax_));
    line("Reserved Bit 0           : " + bit(reserved_[0]));
    line("Reserved Bit 1           : " + bit(reserved_[1]));
    line("Reserved Bit 2           : " + bit(reserved_[2]));
    line("Section Length           : " + std::to_string(sectionLength_));
    line("Transport Stream ID      : " + std::to_string(tsid_));
    line("Reserved Bit 3           : " + bit(reserved_[3]));
    line("Reserved Bit 4           : " + bit(reserved_[4]));
    line("Version Number           : " + std::to_string(version_));
    line("Current Next Indicator   : " + bit(currentNext_));
    line("Section Number           : " + std::to_string(sectionNumber_));
    line("Last Section Number      : " + std::to_string(lastSectionNumber_));
    for (int k = 0; k < entryCount_; ++k) {
        line("");
        line("  Program Number : $" + IntToHex(entries_[k].ProgramNumber, 4));
        line("  Map PID        : $" + IntToHex(entries_[k].PID, 4));
    }
    line("");
    line("CRC32                    : $" + IntToHex(crc_, 8) + (crc_ == crcCalculated_ ? " = $" : " <> $") +
         IntToHex(crcCalculated_, 8));
    return s;
}

} // namespace tw
