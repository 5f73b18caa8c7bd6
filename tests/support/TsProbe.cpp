#include "tests/support/TsProbe.h"

// Written from the layout of the transport packet, its adaptation field and
// the PES header, on purpose without the library's parsers: a fault there
// must not hide in the program and in the check of its output alike.

namespace tw::test {

namespace {

constexpr int kPacketSize = 188;

int AdaptationFieldControl(const uint8_t* p) { return (p[3] >> 4) & 3; }

// A 33-bit stamp of five bytes: 4-bit prefix, 3 bits, marker, 15 bits,
// marker, 15 bits, marker. False when the prefix or a marker is wrong.
bool ReadStamp(const uint8_t* f, int prefix, int64_t& out) {
    if ((f[0] >> 4) != prefix || !(f[0] & 1) || !(f[2] & 1) || !(f[4] & 1)) return false;
    out = (int64_t{(f[0] >> 1) & 7} << 30) | (int64_t{f[1]} << 22) | (int64_t{f[2] >> 1} << 15) |
          (int64_t{f[3]} << 7) | (f[4] >> 1);
    return true;
}

} // namespace

int PacketPayloadStart(const uint8_t* packet) {
    if (packet[0] != 0x47) return -1;
    switch (AdaptationFieldControl(packet)) {
    case 1: return 4;
    case 3: {
        const int start = 5 + packet[4];
        return start < kPacketSize ? start : -1;
    }
    default: return -1;
    }
}

bool ReadPacketPcr(const uint8_t* packet, int64_t& pcr27) {
    const int afc = AdaptationFieldControl(packet);
    // The field's length byte, its flags byte, six bytes of PCR.
    if (packet[0] != 0x47 || (afc != 2 && afc != 3) || packet[4] < 7 || !(packet[5] & 0x10)) return false;
    const uint8_t* f = packet + 6;
    const int64_t base = (int64_t{f[0]} << 25) | (int64_t{f[1]} << 17) | (int64_t{f[2]} << 9) | (int64_t{f[3]} << 1) |
                         (f[4] >> 7);
    const int ext = ((f[4] & 1) << 8) | f[5];
    pcr27 = base * 300 + ext;
    return true;
}

bool ReadPacketTimestamps(const uint8_t* packet, int64_t& escr, int64_t& dts, int64_t& pts) {
    escr = dts = pts = -1;
    const int s = PacketPayloadStart(packet);
    if (s < 0 || !(packet[1] & 0x40) || s + 9 > kPacketSize) return false;
    const uint8_t* h = packet + s;
    // Start code prefix, and the '10' that opens the optional header.
    if (h[0] != 0 || h[1] != 0 || h[2] != 1 || (h[6] >> 6) != 2) return false;
    const int flags = h[7] >> 6;
    int at = s + 9;
    bool found = false;
    if (flags == 2 || flags == 3) {
        if (at + 5 > kPacketSize || !ReadStamp(packet + at, flags, pts)) {
            pts = -1;
            return false;
        }
        at += 5;
        found = true;
        if (flags == 3) {
            if (at + 5 > kPacketSize || !ReadStamp(packet + at, 1, dts)) {
                dts = -1;
                return false;
            }
            at += 5;
        }
    }
    if ((h[7] & 0x20) && at + 6 <= kPacketSize) {
        // ESCR: reserved bits, base 33 bits in pieces of 3, 15 and 15 with a
        // marker after each, then 9 bits of extension and a marker.
        const uint8_t* e = packet + at;
        const int64_t base = (int64_t{(e[0] >> 3) & 7} << 30) | (int64_t{e[0] & 3} << 28) |
                             (int64_t{e[1]} << 20) | (int64_t{e[2] >> 3} << 15) | (int64_t{e[2] & 3} << 13) |
                             (int64_t{e[3]} << 5) | (e[4] >> 3);
        escr = base * 300 + (((e[4] & 3) << 7) | (e[5] >> 1));
        found = true;
    }
    return found;
}

} // namespace tw::test
