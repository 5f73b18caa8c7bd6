#include "ts/TSPacketViews.h"

#include <cstring>

#include "ts/TSTimeStamp.h"

namespace tw {

namespace {

const std::string kTypeNames[32] = {
    "PAT",      "CAT",        "TSDT",     "reserved", "reserved", "reserved", "reserved", "reserved",
    "reserved", "reserved",   "reserved", "reserved", "reserved", "reserved", "reserved", "reserved",
    "NIT,ST",   "SDT,BAT,ST", "EIT,ST",   "RST,ST",   "TDT,TOT,ST", "network synchronization",
    "reserved", "reserved",   "reserved", "reserved", "reserved", "reserved", "inband signalling",
    "measurement", "DIT",     "SIT",
};
const std::string kEmpty;

} // namespace

const std::string& PacketTypeName(int pid) { return (pid >= 0 && pid < 32) ? kTypeNames[pid] : kEmpty; }

// Without a sync byte there is no packet (a cut-short last packet, a closed
// reader), so there is no PID to name either.
const std::string& TTSPacketHeader::PacketType() const { return synch_ ? PacketTypeName(pid_) : kEmpty; }

void TTSPacketPCR::Parse(const uint8_t* p) {
    const TPcrFields f = ReadPcrFields(p);
    base_ = f.Base;
    reserved_ = f.Reserved;
    extension_ = f.Extension;
    pcr_ = f.Value();
}

void TTSPacketPCR::Assign(int64_t pcr) {
    pcr_ = pcr;
    extension_ = static_cast<int>(pcr % kClockRatio);
    base_ = pcr / kClockRatio;
}

void TTSPacketHeader::ClearHeader() {
    valid_ = false;
    synch_ = false;
    transportError_ = payloadStart_ = transportPriority_ = false;
    pid_ = 0;
    continuityCounter_ = 0;
    scrambling_ = 0;
    afc_ = afc_RESERVED;
    adaptationField_.ZeroFields();
}

void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& h) {
    const uint8_t* b = raw.Data;
    h.valid_ = false;
    h.synch_ = b[0] == TS_SYNC_BYTE;
    if (!h.synch_) return;
    h.transportError_ = (b[1] & 0x80) != 0;
    h.payloadStart_ = (b[1] & 0x40) != 0;
    h.transportPriority_ = (b[1] & 0x20) != 0;
    h.pid_ = ((b[1] & 0x1F) << 8) + b[2];
    h.continuityCounter_ = b[3] & 0x0F;
    h.scrambling_ = b[3] >> 6;
    h.afc_ = static_cast<TAdaptationFieldControl>((b[3] & 0x30) >> 4);

    TTSPacketAdaptationField& af = h.adaptationField_;
    if (h.afc_ == afc_adaptation_field_only || h.afc_ == afc_adaptation_field_followed_by_payload) {
        af.fieldLength_ = b[4];
        if (af.fieldLength_ >= 1) {
            af.flags_ = b[5];
            // The optional fields follow at byte 6; PCR, OPCR and the splice
            // countdown together end at byte 18 at most, inside any packet.
            // A flag whose field does not fit in the adaptation field (in
            // the order the fields come) announces nothing: the bytes there
            // are payload, and whoever reads or rewrites a PCR must not
            // take them for one. The flag is dropped from the view, so that
            // every reader and writer goes by the same rule.
            const int end = 5 + (af.fieldLength_ < 183 ? af.fieldLength_ : 183);
            int p = 6;
            if (af.PCRFlag() && p + 6 <= end) {
                af.pcr_.Parse(b + p);
            } else {
                af.flags_ &= ~0x10;
                af.pcr_.Zero();
            }
            p += (b[5] & 0x10) ? 6 : 0;
            if (af.OPCRFlag() && p + 6 <= end) {
                af.opcr_.Parse(b + p);
            } else {
                af.flags_ &= ~0x08;
                af.opcr_.Zero();
            }
            p += (b[5] & 0x08) ? 6 : 0;
            if (!(af.SplicingPointFlag() && p + 1 <= end)) af.flags_ &= ~0x04;
            af.spliceCountdown_ = af.SplicingPointFlag() ? b[p] : 0;
        } else {
            af.flags_ = 0;
            af.pcr_.Zero();
            af.opcr_.Zero();
            af.spliceCountdown_ = 0;
        }
    } else {
        af.ZeroFields();
        af.spliceCountdown_ = 0;
    }

    TTSPacketPayload& pl = h.payload_;
    switch (h.afc_) {
    case afc_adaptation_field_only:
        pl.payloadStartByte_ = 0;
        pl.payloadLength_ = 0;
        break;
    case afc_adaptation_field_followed_by_payload:
        pl.payloadStartByte_ = af.fieldLength_ + 5;
        pl.payloadLength_ = TS_PACKET_SIZE - pl.payloadStartByte_;
        break;
    default:
        pl.payloadStartByte_ = 4;
        pl.payloadLength_ = 184;
        break;
    }
}

TPesStamps PesHeaderStamps(const uint8_t* b, int n, int64_t& ESCR, int64_t& DTS, int64_t& PTS, int& needed) {
    PTS = DTS = ESCR = -1;
    needed = 0;
    if (n < 0) n = 0;
    // What of the start code is there already decides.
    static constexpr uint8_t kStartCode[3] = {0, 0, 1};
    for (int k = 0; k < 3 && k < n; ++k)
        if (b[k] != kStartCode[k]) return TPesStamps::None;
    if (n < 9) {
        needed = 9;
        return TPesStamps::Incomplete;
    }
    if ((b[6] >> 6) != 2 || (b[6] & 0x30) != 0) return TPesStamps::None;
    const int flags = b[7] >> 6;
    const bool escr = (b[7] & 0x20) != 0;
    const int stamps = flags == 2 ? kPtsFieldSize : flags == 3 ? 2 * kPtsFieldSize : 0;
    const int end = 9 + stamps + (escr ? kEscrFieldSize : 0);
    // Reads one 33-bit stamp with its prefix nibble; false on a bad marker.
    auto stamp = [&](int at, int prefix, int64_t& out) -> bool {
        if (PtsFieldFaults(b + at, prefix) != 0) return false;
        out = ReadPts(b + at);
        return true;
    };
    // The stamps that lie inside the n bytes are read even when the rest
    // does not: a reader of one packet gets what the packet holds.
    if (9 + stamps <= n) {
        if (flags == 2 && !stamp(9, kPtsOnlyPrefix, PTS)) {
            PTS = -1;
            return TPesStamps::None;
        }
        if (flags == 3 && (!stamp(9, kPtsBeforeDtsPrefix, PTS) || !stamp(14, kDtsPrefix, DTS))) {
            PTS = DTS = -1;
            return TPesStamps::None;
        }
    }
    if (end > n) {
        needed = end;
        return TPesStamps::Incomplete;
    }
    if (escr) ESCR = ReadEscr(b + 9 + stamps);
    return (PTS >= 0 || ESCR >= 0) ? TPesStamps::Found : TPesStamps::None;
}

bool PacketTimestamps(const TTSPacketBuffer& buffer, const TTSPacketHeader& header, int64_t& ESCR, int64_t& DTS,
                      int64_t& PTS) {
    PTS = DTS = ESCR = -1;
    const TTSPacketPayload* pl = header.Payload();
    const int s = pl->PayloadStartByte();
    const int n = buffer.Length < TS_PACKET_SIZE ? buffer.Length : TS_PACKET_SIZE;
    if (!header.PayloadStart() || pl->PayloadLength() < 1 || s < 0 || s >= n) return false;
    int needed = 0;
    const TPesStamps got = PesHeaderStamps(buffer.Data + s, n - s, ESCR, DTS, PTS, needed);
    return got == TPesStamps::Found || (got == TPesStamps::Incomplete && PTS >= 0);
}

TSectionBytes LocateSections(const TTSPacketBuffer& raw) {
    TSectionBytes s;
    const int n = raw.Length < TS_PACKET_SIZE ? (raw.Length < 0 ? 0 : raw.Length) : TS_PACKET_SIZE;
    if (n < 5) return s;
    const uint8_t* b = raw.Data;
    const int afc = (b[3] >> 4) & 3;
    if (afc == afc_no_adaptation_field) s.PayloadStart = 4;
    else if (afc == afc_adaptation_field_followed_by_payload && 5 + b[4] < n) s.PayloadStart = 5 + b[4];
    else return s;
    s.End = n;
    s.UnitStart = (b[1] & 0x40) != 0;
    if (!s.UnitStart) {
        if (afc == afc_no_adaptation_field) s.SectionStart = 5;
        return s;
    }
    const int after = s.PayloadStart + 1 + b[s.PayloadStart];
    if (after <= n) s.TailEnd = after;
    if (after < n) s.SectionStart = after;
    return s;
}

const TTSPacketBuffer& SectionAtFront(const TTSPacketBuffer& raw, int from, int end, TTSPacketBuffer& scratch) {
    const int n = raw.Length < TS_PACKET_SIZE ? (raw.Length < 0 ? 0 : raw.Length) : TS_PACKET_SIZE;
    if (end > n) end = n;
    if (from == 5 && end >= 5 && ((raw.Data[3] >> 4) & 3) == afc_no_adaptation_field) return raw;
    std::memset(scratch.Data, 0xFF, sizeof scratch.Data);
    std::memcpy(scratch.Data, raw.Data, 4);
    scratch.Data[3] = static_cast<uint8_t>((raw.Data[3] & 0xCF) | 0x10);
    scratch.Data[4] = 0;
    scratch.Length = 5;
    if (from < 5 || from >= end) return scratch;
    std::memcpy(scratch.Data + 5, raw.Data + from, static_cast<size_t>(end - from));
    scratch.Length = 5 + end - from;
    return scratch;
}

bool RepeatsPacket(const uint8_t* previous, const uint8_t* packet) {
    // Bytes 0 to 3: sync, PID, flags, adaptation-field control and counter.
    if (std::memcmp(previous, packet, 4) != 0) return false;
    const int afc = (packet[3] >> 4) & 3;
    if (afc != 1 && afc != 3) return false;
    // An adaptation field long enough for a PCR and flagged to carry one.
    constexpr int kPcrAt = 6, kPcrEnd = 12;
    if (afc == 3 && packet[4] >= 7 && packet[4] <= 183 && previous[4] == packet[4] && (packet[5] & 0x10) &&
        previous[5] == packet[5])
        return std::memcmp(previous + 4, packet + 4, kPcrAt - 4) == 0 &&
               std::memcmp(previous + kPcrEnd, packet + kPcrEnd, TS_PACKET_SIZE - kPcrEnd) == 0;
    return std::memcmp(previous + 4, packet + 4, TS_PACKET_SIZE - 4) == 0;
}

} // namespace tw
