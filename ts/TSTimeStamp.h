// The bit layouts of the MPEG time stamps, written once: the PCR/OPCR of the
// adaptation field, the PTS/DTS of a PES header and the ESCR after them.
// Everything works on the field's own bytes (p points at its first byte), so
// the packet views, the packet reader's in-place patches, the PES reader and
// the cleaning pass all read and write the same way.
//
// Writers change only the value bits: reserved bits, the prefix nibble and
// the marker bits stay as they are in the packet, because a patched packet
// must differ from the original in nothing but its clock. Fresh fields (the
// own tables, test streams) are made by the Make... writers, which set the
// reserved and marker bits as a muxer does.
#pragma once

#include <cstdint>

namespace tw {

// 27 MHz system clock ticks per 90 kHz PTS tick.
constexpr int64_t kClockRatio = 300;
// The 33-bit wrap of the 90 kHz stamps (PTS, DTS, PCR base, ESCR base).
constexpr int64_t kPtsModulus = int64_t{1} << 33;
// The wrap of the 27 MHz values (PCR, ESCR): 2^33 bases of 300 ticks.
constexpr int64_t kPcrModulus = kPtsModulus * kClockRatio;

// Field sizes in bytes.
constexpr int kPcrFieldSize = 6;
constexpr int kPtsFieldSize = 5;
constexpr int kEscrFieldSize = 6;

// The prefix nibble in front of a PES time stamp: '0010' for a PTS alone,
// '0011' for the PTS of a PTS/DTS pair, '0001' for its DTS.
constexpr int kPtsOnlyPrefix = 2;
constexpr int kPtsBeforeDtsPrefix = 3;
constexpr int kDtsPrefix = 1;

// Reduces any value into [0, modulus); writers use it so that an offset that
// carried a value past the wrap still writes a valid stamp.
constexpr int64_t WrapClock(int64_t value, int64_t modulus) {
    const int64_t r = value % modulus;
    return r < 0 ? r + modulus : r;
}

// Whether a clock that read `before` and later `after` (both in [0, modulus))
// passed its wrap on the way. Only a step back can be one, and only when the
// way forward through the wrap is the shorter of the two: a clock near the
// top of its range that comes back near zero has wrapped, one that jumps back
// far from the wrap has not (counting that as a wrap would make it a day
// long and shift its stamps by the rest of the cycle).
constexpr bool PassedClockWrap(int64_t before, int64_t after, int64_t modulus) {
    return after < before && modulus - before + after < before - after;
}

// --- PCR / OPCR: 33-bit base (90 kHz), 6 reserved bits, 9-bit extension ---

struct TPcrFields {
    int64_t Base = 0;  // 0 .. 2^33-1
    int Reserved = 0;  // the six bits between base and extension
    int Extension = 0; // 0 .. 511 (0 .. 299 in a valid PCR)
    // base x 300 + extension
    int64_t Value() const { return Base * kClockRatio + Extension; }
};

TPcrFields ReadPcrFields(const uint8_t* p);
// The 27 MHz value of a PCR field.
inline int64_t ReadPcr(const uint8_t* p) { return ReadPcrFields(p).Value(); }
// Rewrites base and extension of pcr27 (reduced into the PCR range); the
// reserved bits keep their value.
void WritePcr(uint8_t* p, int64_t pcr27);
// A fresh field: reserved bits set, as muxers write them.
void MakePcr(uint8_t* p, int64_t pcr27);

// --- PTS / DTS: prefix nibble, 33 bits in three parts, three marker bits ---

// What can be wrong with a PES time stamp field, as bits.
enum TStampFault : int {
    sfPrefix = 1,  // the prefix nibble is not the expected one
    sfMarker1 = 2, // marker after bits 32..30
    sfMarker2 = 4, // marker after bits 29..15
    sfMarker3 = 8, // marker after bits 14..0
};

// The 33-bit value, whatever the prefix and markers say.
int64_t ReadPts(const uint8_t* p);
// TStampFault bits of the field against the expected prefix; 0 when sound.
int PtsFieldFaults(const uint8_t* p, int prefix);
// Rewrites the 33 value bits of pts90 (reduced into the PTS range); prefix
// nibble and marker bits stay.
void WritePts(uint8_t* p, int64_t pts90);
// A fresh field with the given prefix and all marker bits set.
void MakePts(uint8_t* p, int prefix, int64_t pts90);

// --- ESCR: 2 reserved bits, 33-bit base in three parts, 9-bit extension, markers ---

// The 27 MHz value of an ESCR field.
int64_t ReadEscr(const uint8_t* p);
// Rewrites base and extension of escr27 (reduced into the range); reserved
// and marker bits stay.
void WriteEscr(uint8_t* p, int64_t escr27);
// A fresh field: reserved and marker bits set.
void MakeEscr(uint8_t* p, int64_t escr27);

} // namespace tw
