#include "ts/TSTimeStamp.h"

namespace tw {

TPcrFields ReadPcrFields(const uint8_t* p) {
    TPcrFields f;
    f.Base = (int64_t{p[0]} << 25) | (int64_t{p[1]} << 17) | (int64_t{p[2]} << 9) | (int64_t{p[3]} << 1) | (p[4] >> 7);
    f.Reserved = (p[4] >> 1) & 0x3F;
    f.Extension = ((p[4] & 1) << 8) | p[5];
    return f;
}

void WritePcr(uint8_t* p, int64_t pcr27) {
    pcr27 = WrapClock(pcr27, kPcrModulus);
    const int64_t base = pcr27 / kClockRatio;
    const int ext = static_cast<int>(pcr27 % kClockRatio);
    p[0] = static_cast<uint8_t>(base >> 25);
    p[1] = static_cast<uint8_t>(base >> 17);
    p[2] = static_cast<uint8_t>(base >> 9);
    p[3] = static_cast<uint8_t>(base >> 1);
    p[4] = static_cast<uint8_t>(((base & 1) << 7) | (p[4] & 0x7E) | ((ext >> 8) & 1));
    p[5] = static_cast<uint8_t>(ext & 0xFF);
}

void MakePcr(uint8_t* p, int64_t pcr27) {
    p[4] = 0x7E;
    WritePcr(p, pcr27);
}

int64_t ReadPts(const uint8_t* p) {
    return (int64_t{(p[0] >> 1) & 7} << 30) | (int64_t{p[1]} << 22) | (int64_t{p[2] >> 1} << 15) |
           (int64_t{p[3]} << 7) | (p[4] >> 1);
}

int PtsFieldFaults(const uint8_t* p, int prefix) {
    int faults = 0;
    if ((p[0] >> 4) != prefix) faults |= sfPrefix;
    if ((p[0] & 1) == 0) faults |= sfMarker1;
    if ((p[2] & 1) == 0) faults |= sfMarker2;
    if ((p[4] & 1) == 0) faults |= sfMarker3;
    return faults;
}

void WritePts(uint8_t* p, int64_t pts90) {
    const int64_t v = WrapClock(pts90, kPtsModulus);
    p[0] = static_cast<uint8_t>((p[0] & 0xF1) | (((v >> 30) & 7) << 1));
    p[1] = static_cast<uint8_t>(v >> 22);
    p[2] = static_cast<uint8_t>((((v >> 15) & 0x7F) << 1) | (p[2] & 1));
    p[3] = static_cast<uint8_t>(v >> 7);
    p[4] = static_cast<uint8_t>(((v & 0x7F) << 1) | (p[4] & 1));
}

void MakePts(uint8_t* p, int prefix, int64_t pts90) {
    p[0] = static_cast<uint8_t>(((prefix & 0x0F) << 4) | 1);
    p[2] = 1;
    p[4] = 1;
    WritePts(p, pts90);
}

int64_t ReadEscr(const uint8_t* p) {
    const int64_t base = (int64_t{(p[0] >> 3) & 7} << 30) | (int64_t{p[0] & 3} << 28) | (int64_t{p[1]} << 20) |
                         (int64_t{p[2] >> 3} << 15) | (int64_t{p[2] & 3} << 13) | (int64_t{p[3]} << 5) | (p[4] >> 3);
    const int ext = ((p[4] & 3) << 7) | (p[5] >> 1);
    return base * kClockRatio + ext;
}

void WriteEscr(uint8_t* p, int64_t escr27) {
    escr27 = WrapClock(escr27, kPcrModulus);
    const int64_t base = escr27 / kClockRatio;
    const int ext = static_cast<int>(escr27 % kClockRatio);
    p[0] = static_cast<uint8_t>((p[0] & 0xC4) | (((base >> 30) & 7) << 3) | ((base >> 28) & 3));
    p[1] = static_cast<uint8_t>(base >> 20);
    p[2] = static_cast<uint8_t>((p[2] & 0x04) | (((base >> 15) & 0x1F) << 3) | ((base >> 13) & 3));
    p[3] = static_cast<uint8_t>(base >> 5);
    p[4] = static_cast<uint8_t>((p[4] & 0x04) | ((base & 0x1F) << 3) | ((ext >> 7) & 3));
    p[5] = static_cast<uint8_t>((p[5] & 0x01) | ((ext & 0x7F) << 1));
}

void MakeEscr(uint8_t* p, int64_t escr27) {
    p[0] = 0xC4;
    p[2] = 0x04;
    p[4] = 0x04;
    p[5] = 0x01;
    WriteEscr(p, escr27);
}

} // namespace tw
