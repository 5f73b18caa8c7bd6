// The views of one transport packet (header, adaptation field, PCR, payload)
// and the length-prefixed packet buffer that travels between the stream
// components. The views are filled by ParsePacketHeader; users only read them.
#pragma once

#include <cstdint>
#include <string>

#include "base/Object.h"

namespace tw {

constexpr int TS_PACKET_SIZE = 188;
// The PID of null packets, which fill a stream up to its rate.
constexpr int kNullPacketPid = 0x1FFF;
constexpr int TS_M2TS_PACKET_SIZE = 192;
constexpr int TS_PACKET_BUFFER_CAPACITY = 256;
// The payload of a packet without an adaptation field.
constexpr int TS_FULL_PAYLOAD_SIZE = TS_PACKET_SIZE - 4;
constexpr int TS_SYNC_BYTE = 0x47;

// A packet (or a packet's payload) as it travels between the components: the
// count of valid bytes, then room for 256 bytes. Readers hand their current
// packet on in this form, builders leave their packets in it and the packet
// writer queues it. Length is never above 256.
struct TTSPacketBuffer {
    int32_t Length = 0;
    uint8_t Data[TS_PACKET_BUFFER_CAPACITY] = {};

    void Clear() { Length = 0; }
};

enum TAdaptationFieldControl {
    afc_RESERVED = 0,
    afc_no_adaptation_field = 1,
    afc_adaptation_field_only = 2,
    afc_adaptation_field_followed_by_payload = 3,
};

enum TTSPaketError {
    peSyncByte = 0,
    pePayloadLength,
    peErrorIndicator,
    peInvalidAFT,
    peScrambled,
    peInvalidAFLength,
    // The next packet's sync byte lies inside this one: bytes of it are
    // missing, and its tail is the start of the next packet.
    peShortPacket,
};

// A set of TTSPaketError, bit n = value n.
class TTSPaketErrors {
public:
    TTSPaketErrors() = default;
    bool Contains(TTSPaketError e) const { return (bits_ & (1u << e)) != 0; }
    void Include(TTSPaketError e) { bits_ |= 1u << e; }
    void Exclude(TTSPaketError e) { bits_ &= ~(1u << e); }
    bool Empty() const { return bits_ == 0; }
    void Clear() { bits_ = 0; }
    uint32_t Bits() const { return bits_; }
    bool operator==(const TTSPaketErrors& o) const { return bits_ == o.bits_; }

private:
    uint32_t bits_ = 0;
};

class TTSPacketHeader;
class TTSPacketReader;
void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& header);

// One PCR (or OPCR) field: 33-bit base at 90 kHz, 9-bit extension.
class TTSPacketPCR : public TObject {
public:
    int64_t PCRBase() const { return base_; }
    int Reserved() const { return reserved_; }
    int PCRExtension() const { return extension_; }
    // 27 MHz ticks: base x kClockRatio + extension.
    int64_t PCR() const { return pcr_; }
    // The PCR as a time of day in fractions of days.
    double PCRTime() const { return static_cast<double>(pcr_) / 2332800000000.0; }

    void Zero() { base_ = 0; reserved_ = 0; extension_ = 0; pcr_ = 0; }
    // Parses the six PCR bytes at p.
    void Parse(const uint8_t* p);
    // Stores a new value (used when the reader patches a PCR in place).
    void Assign(int64_t pcr);

private:
    int64_t base_ = 0;
    int reserved_ = 0;
    int extension_ = 0;
    int64_t pcr_ = 0;
};

class TTSPacketAdaptationField : public TObject {
public:
    int FieldLength() const { return fieldLength_; }
    bool DiscontinuityIndicator() const { return (flags_ & 0x80) != 0; }
    bool RandomAccessIndicator() const { return (flags_ & 0x40) != 0; }
    bool ESPriorityIndicator() const { return (flags_ & 0x20) != 0; }
    bool PCRFlag() const { return (flags_ & 0x10) != 0; }
    bool OPCRFlag() const { return (flags_ & 0x08) != 0; }
    bool SplicingPointFlag() const { return (flags_ & 0x04) != 0; }
    bool PrivateDataFlag() const { return (flags_ & 0x02) != 0; }
    bool FieldExtensionFlag() const { return (flags_ & 0x01) != 0; }
    // The flag byte (byte 5), 0 when the field has no flags; the PCR, OPCR
    // and splicing point flags only where their fields fit in the field.
    int Flags() const { return flags_; }
    int SpliceCountdown() const { return spliceCountdown_; }
    TTSPacketPCR* PCR() { return &pcr_; }
    const TTSPacketPCR* PCR() const { return &pcr_; }
    TTSPacketPCR* OPCR() { return &opcr_; }
    const TTSPacketPCR* OPCR() const { return &opcr_; }

    // Length and flags to zero, both PCR views zeroed; the splice countdown
    // is kept (it belongs to the last packet that had one).
    void ZeroFields() { fieldLength_ = 0; flags_ = 0; pcr_.Zero(); opcr_.Zero(); }

private:
    friend void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& header);
    int fieldLength_ = 0;
    int flags_ = 0;
    int spliceCountdown_ = 0;
    TTSPacketPCR pcr_;
    TTSPacketPCR opcr_;
};

class TTSPacketPayload : public TObject {
public:
    int PayloadLength() const { return payloadLength_; }
    int PayloadStartByte() const { return payloadStartByte_; }
    // The payload of the last valid packet the reader read (Length =
    // PayloadLength), in the form PES readers take it.
    const TTSPacketBuffer& PayloadCopy() const { return copy_; }

private:
    friend void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& header);
    friend class TTSPacketReader;
    int payloadLength_ = 0;
    int payloadStartByte_ = 0;
    TTSPacketBuffer copy_;
};

class TTSPacketHeader : public TObject {
public:
    bool Synch() const { return synch_; }
    int PID() const { return pid_; }
    bool TransportError() const { return transportError_; }
    bool PayloadStart() const { return payloadStart_; }
    bool TransportPriority() const { return transportPriority_; }
    int ContinuityCounter() const { return continuityCounter_; }
    int TransportScramblingControl() const { return scrambling_; }
    TAdaptationFieldControl AdaptationFieldControl() const { return afc_; }
    TTSPacketAdaptationField* AdaptationField() { return &adaptationField_; }
    const TTSPacketAdaptationField* AdaptationField() const { return &adaptationField_; }
    TTSPacketPayload* Payload() { return &payload_; }
    const TTSPacketPayload* Payload() const { return &payload_; }
    // Name of a reserved PID (0..31), empty for others and when no packet
    // is current. Returns a shared constant, so reading it per packet costs
    // nothing.
    const std::string& PacketType() const;
    bool Valid() const { return valid_; }
    void SetValid(bool v) { valid_ = v; }
    const TTSPaketErrors& PaketErrors() const { return errors_; }
    TTSPaketErrors& PaketErrors() { return errors_; }

    // Zeroes what the reader clears when no packet is current (see
    // TTSPacketReader::Close): flags, PID, CC, scrambling, control reserved,
    // adaptation field; the splice countdown and the payload view stay.
    void ClearHeader();
    // Used by the reader when a scrambled-packet handler rewrites the control.
    void SetTransportScramblingControl(int v) { scrambling_ = v & 3; }

private:
    friend void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& header);
    bool synch_ = false;
    int pid_ = 0;
    bool transportError_ = false;
    bool payloadStart_ = false;
    bool transportPriority_ = false;
    int continuityCounter_ = 0;
    int scrambling_ = 0;
    TAdaptationFieldControl afc_ = afc_RESERVED;
    TTSPacketAdaptationField adaptationField_;
    TTSPacketPayload payload_;
    bool valid_ = false;
    TTSPaketErrors errors_;
};

// Name of a reserved PID ("PAT", "CAT", ...); empty for PIDs above 31.
const std::string& PacketTypeName(int pid);

// Where the bytes of table sections lie in a packet of a table PID. The
// payload follows the header, or the adaptation field when the packet has
// one. In a packet that starts a section (payload_unit_start_indicator) the
// payload's first byte is the pointer_field: that many bytes of an earlier
// section's tail come first, then the first new section; further sections
// may follow it back to back until a 0xFF. Every position lies inside the
// packet's first 188 bytes and its Length: an adaptation field or a
// pointer_field that claims more leaves the part it would cover empty.
struct TSectionBytes {
    bool UnitStart = false;
    // The payload, [PayloadStart, End); empty when the packet has none.
    int PayloadStart = 0;
    int End = 0;
    // In a unit start, the earlier section's tail is [PayloadStart + 1,
    // TailEnd); -1 when the pointer_field leads past the packet.
    int TailEnd = -1;
    // The first byte of the first section that starts in the packet; -1 for
    // none. A packet without the start flag and without an adaptation field
    // is read from byte 5, as the readers always read such packets.
    int SectionStart = -1;

    bool HasPayload() const { return End > PayloadStart; }
};
TSectionBytes LocateSections(const TTSPacketBuffer& raw);

// The table readers and builders keep a section as it usually lies: header,
// a pointer_field of 0 and the section from byte 5. With `from` at 5 in a
// packet without an adaptation field, `raw` is returned as it is; otherwise
// `scratch` gets raw's header (marked as one without an adaptation field), a
// pointer_field of 0 and raw's bytes [from, end) (Length counts only those,
// the rest is 0xFF), and is returned. `from` < 0 gives header and
// pointer_field alone, which hold no section. `end` is bounded by the packet.
const TTSPacketBuffer& SectionAtFront(const TTSPacketBuffer& raw, int from, int end, TTSPacketBuffer& scratch);

// Parses the first 188 bytes of a length-prefixed packet into a header view.
// Without a sync byte only Synch (false) and Valid (false) are written.
// Does not fill the payload copy (the reader does that for valid packets).
void ParsePacketHeader(const TTSPacketBuffer& raw, TTSPacketHeader& header);

// The time stamps of a PES header from its first n bytes (b[0] is the first
// byte of the start code). Every value is -1 when absent. None: no PES
// header, one with broken stamps, or one without PTS and ESCR. Incomplete:
// the stamps run past the n bytes, as they may where a header continues in
// the next packet of its PID; `needed` then says how many bytes from the
// start they take, and the stamps that lie wholly inside the n bytes are
// read. Found: everything the header carries was read.
enum class TPesStamps { None, Found, Incomplete };
TPesStamps PesHeaderStamps(const uint8_t* b, int n, int64_t& ESCR, int64_t& DTS, int64_t& PTS, int& needed);

// Reads PTS, DTS and ESCR of a PES header that starts in a packet described
// by a parsed header. Every value is -1 when absent; false when no PES header
// with valid time stamps (or an ESCR) starts there. A header whose stamps
// run into the next packet gives the PTS (and DTS) the packet holds, no ESCR.
bool PacketTimestamps(const TTSPacketBuffer& buffer, const TTSPacketHeader& header, int64_t& ESCR, int64_t& DTS,
                      int64_t& PTS);

// Whether `packet` is the second sending of `previous`, the packet before it
// on the same PID, as the standard allows a packet to be sent twice in a row:
// the same continuity counter, a payload, and every byte the same except a
// PCR, which the second sending may carry anew. A decoder drops such a
// repeat, so it is neither a gap in the count nor new data. Both point to
// 188 bytes.
bool RepeatsPacket(const uint8_t* previous, const uint8_t* packet);

} // namespace tw
