#include "app/engine/TimeStampCorrection.h"

#include "base/SysUtils.h"

#include <cstdlib>

namespace tw {

namespace {

constexpr int kPacket = 188;

// Field of a time text by 1-based position; -1 when it is not a number.
int64_t TextField(const std::string& text, size_t pos1, size_t len)
{
    int64_t v = 0;
    std::string part = text.substr(pos1 - 1, len);
    if (!TryStrToInt64(part, v))
        return -1;
    return v;
}

std::string MsToTimeText(int64_t ms)
{
    ms %= 86400000LL; // whole days are dropped
    const int64_t h = ms / 3600000LL;
    const int64_t m = (ms / 60000LL) % 60;
    const int64_t s = (ms / 1000LL) % 60;
    const int64_t z = ms % 1000;
    return Format("%02lld:%02lld:%02lld.%03lld", static_cast<long long>(h), static_cast<long long>(m),
                  static_cast<long long>(s), static_cast<long long>(z));
}

// Rounds |num| / den to whole units, halves to the even neighbour, as the
// date-time conversion of the time texts does.
int64_t RoundedQuotient(int64_t num, int64_t den)
{
    if (num < 0)
        num = -num;
    int64_t q = num / den;
    const int64_t r2 = (num % den) * 2;
    if (r2 > den || (r2 == den && (q & 1)))
        ++q;
    return q;
}

} // namespace

int64_t CleaningStartTime(int64_t firstPts, int64_t firstDts, int64_t firstPcr90)
{
    if (firstPcr90 < 0) {
        int64_t start = firstPts;
        if (firstDts > 0 && firstDts < start)
            start = firstDts;
        return start;
    }
    // The stamps are compared on the circle of the 33-bit clock around the
    // first PCR: when the recording begins just before the wrap, its first
    // PTS may already have wrapped to a small value although it lies after
    // the first PCR. A plain signed minimum would then take that PTS as the
    // start and shift the PCR to just below the modulus, so the output would
    // wrap at once.
    auto rel = [firstPcr90](int64_t v) {
        int64_t d = (v - firstPcr90) % kPtsWrap;
        if (d < 0)
            d += kPtsWrap;
        return d >= kPtsWrap / 2 ? d - kPtsWrap : d;
    };
    int64_t earliest = 0;
    if (firstPts >= 0 && rel(firstPts) < earliest)
        earliest = rel(firstPts);
    if (firstDts > 0 && rel(firstDts) < earliest)
        earliest = rel(firstDts);
    int64_t start = firstPcr90 + earliest;
    if (start < 0)
        start += kPtsWrap;
    return start;
}

int64_t TimerOffsetFor(int64_t cleaningStartTime)
{
    return kPtsModulus - cleaningStartTime + kTimerTargetStart;
}

bool TimerCorrectionApplies(int timerPatchMode, bool pcrAvailable, bool passCrossesWrap)
{
    if (!pcrAvailable)
        return false;
    return timerPatchMode == 2 || (timerPatchMode == 1 && passCrossesWrap);
}

bool PassCrossesWrap(int64_t firstPcr90, int64_t cutOut)
{
    return firstPcr90 + cutOut >= kPtsWrap;
}

int64_t ShiftPts(int64_t pts, int64_t offset90) { return (pts + offset90) % kPtsModulus; }

int64_t ShiftPcr(int64_t pcr27, int64_t offset27) { return (pcr27 + offset27) % kPcrModulus; }

int64_t ShiftEscr(int64_t escr27, int64_t offset90) { return (offset90 * 300 + escr27) % kPcrModulus; }

bool CutInReached(int64_t latestPcr90, int64_t firstPcr90, int64_t cutIn)
{
    if (latestPcr90 < 0)
        return false;
    const int64_t target = firstPcr90 + cutIn;
    if (target >= kPtsWrap && latestPcr90 > firstPcr90)
        return false; // the clock has not wrapped yet
    return latestPcr90 >= target % kPtsWrap;
}

bool CutOutReached(int64_t latestPcr90, int64_t firstPcr90, int64_t endLimit)
{
    if (latestPcr90 < 0)
        return false;
    if (endLimit >= kPtsWrap && latestPcr90 > firstPcr90)
        return false;
    return latestPcr90 >= endLimit % kPtsWrap;
}

std::string PtsToTimeText(int64_t pts90) { return MsToTimeText(RoundedQuotient(pts90, 90)); }

std::string PcrToTimeText(int64_t pcr27) { return MsToTimeText(RoundedQuotient(pcr27, 27000)); }

int64_t PcrToPts(int64_t pcr27)
{
    const int64_t q = RoundedQuotient(pcr27, 300);
    return pcr27 < 0 ? -q : q;
}

int64_t TimeTextToPts(const std::string& text)
{
    if (text.size() < 12)
        return 0;
    const int64_t h = TextField(text, 1, 2), m = TextField(text, 4, 2), s = TextField(text, 7, 2),
                  z = TextField(text, 10, 3);
    if (h < 0 || m < 0 || s < 0 || z < 0)
        return 0;
    return (h * 3600000LL + m * 60000LL + s * 1000LL + z) * 90;
}

// --- Raw packets --------------------------------------------------------------

int PacketPayloadStart(const uint8_t* p)
{
    switch ((p[3] >> 4) & 3) {
    case 1:
        return 4;
    case 3: {
        const int start = p[4] + 5;
        return start < kPacket ? start : -1;
    }
    default:
        return -1;
    }
}

static bool HasPcrField(const uint8_t* p)
{
    const int afc = (p[3] >> 4) & 3;
    return (afc == 2 || afc == 3) && p[4] >= 1 && (p[5] & 0x10) != 0;
}

bool ReadPacketPcr(const uint8_t* p, int64_t& pcr27)
{
    if (!HasPcrField(p))
        return false;
    const int64_t base = (int64_t(p[6]) << 25) | (int64_t(p[7]) << 17) | (int64_t(p[8]) << 9) |
                         (int64_t(p[9]) << 1) | (p[10] >> 7);
    const int64_t ext = ((p[10] & 1) << 8) | p[11];
    pcr27 = base * 300 + ext;
    return true;
}

bool WritePacketPcr(uint8_t* p, int64_t pcr27)
{
    if (!HasPcrField(p) || pcr27 < 0)
        return false;
    const int64_t base = pcr27 / 300;
    const int64_t ext = pcr27 % 300;
    p[6] = uint8_t(base >> 25);
    p[7] = uint8_t(base >> 17);
    p[8] = uint8_t(base >> 9);
    p[9] = uint8_t(base >> 1);
    p[10] = uint8_t((p[10] & 0x7E) | ((base & 1) << 7) | ((ext >> 8) & 1));
    p[11] = uint8_t(ext & 0xFF);
    return true;
}

namespace {

// A PES header starts at s: 00 00 01.
bool PesStartsAt(const uint8_t* p, int s)
{
    return s >= 0 && s + 9 <= kPacket && p[s] == 0 && p[s + 1] == 0 && p[s + 2] == 1;
}

// 33-bit stamp of five bytes with the given prefix nibble; false on a wrong
// nibble or marker bit.
bool ReadStamp(const uint8_t* b, int prefix, int64_t& v)
{
    if ((b[0] >> 4) != prefix || (b[0] & 1) == 0 || (b[2] & 1) == 0 || (b[4] & 1) == 0)
        return false;
    v = (int64_t((b[0] >> 1) & 7) << 30) | (int64_t(b[1]) << 22) | (int64_t(b[2] >> 1) << 15) |
        (int64_t(b[3]) << 7) | (b[4] >> 1);
    return true;
}

void WriteStamp(uint8_t* b, int64_t v)
{
    b[0] = uint8_t((b[0] & 0xF1) | (((v >> 30) & 7) << 1));
    b[1] = uint8_t(v >> 22);
    b[2] = uint8_t((((v >> 15) & 0x7F) << 1) | (b[2] & 1));
    b[3] = uint8_t(v >> 7);
    b[4] = uint8_t(((v & 0x7F) << 1) | (b[4] & 1));
}

int EscrPosition(const uint8_t* p, int s)
{
    const int flags = p[s + 7] >> 6;
    return s + 9 + (flags == 2 ? 5 : flags == 3 ? 10 : 0);
}

} // namespace

bool ReadPacketTimestamps(const uint8_t* p, int64_t& escr, int64_t& dts, int64_t& pts)
{
    escr = dts = pts = -1;
    if ((p[1] & 0x40) == 0)
        return false;
    const int s = PacketPayloadStart(p);
    if (s < 0 || kPacket - s < 9 || !PesStartsAt(p, s))
        return false;
    if ((p[s + 6] >> 6) != 2 || (p[s + 6] & 0x30) != 0)
        return false;
    const int flags = p[s + 7] >> 6;
    int pos = s + 9;
    bool found = false;
    if (flags == 2) {
        if (pos + 5 > kPacket || !ReadStamp(p + pos, 2, pts))
            return false;
        pos += 5;
        found = true;
    } else if (flags == 3) {
        if (pos + 10 > kPacket || !ReadStamp(p + pos, 3, pts) || !ReadStamp(p + pos + 5, 1, dts)) {
            pts = dts = -1;
            return false;
        }
        pos += 10;
        found = true;
    }
    if (p[s + 7] & 0x20) {
        if (pos + 6 > kPacket)
            return found;
        const uint8_t* e = p + pos;
        const int64_t base = (int64_t((e[0] >> 3) & 7) << 30) | (int64_t(e[0] & 3) << 28) | (int64_t(e[1]) << 20) |
                             (int64_t(e[2] >> 3) << 15) | (int64_t(e[2] & 3) << 13) | (int64_t(e[3]) << 5) |
                             (e[4] >> 3);
        const int64_t ext = (int64_t(e[4] & 3) << 7) | (e[5] >> 1);
        escr = base * 300 + ext;
        return true;
    }
    return found;
}

bool WritePacketPts(uint8_t* p, int64_t pts)
{
    const int s = PacketPayloadStart(p);
    if (!PesStartsAt(p, s) || (p[s + 7] >> 6) < 2 || s + 14 > kPacket)
        return false;
    WriteStamp(p + s + 9, pts);
    return true;
}

bool WritePacketDts(uint8_t* p, int64_t dts)
{
    const int s = PacketPayloadStart(p);
    if (!PesStartsAt(p, s) || (p[s + 7] >> 6) != 3 || s + 19 > kPacket)
        return false;
    WriteStamp(p + s + 14, dts);
    return true;
}

bool WritePacketEscr(uint8_t* p, int64_t escr27)
{
    const int s = PacketPayloadStart(p);
    if (!PesStartsAt(p, s) || (p[s + 7] & 0x20) == 0 || escr27 < 0)
        return false;
    const int pos = EscrPosition(p, s);
    if (pos + 6 > kPacket)
        return false;
    const int64_t base = escr27 / 300;
    const int64_t ext = escr27 % 300;
    uint8_t* e = p + pos;
    e[0] = uint8_t((e[0] & 0xC4) | (((base >> 30) & 7) << 3) | ((base >> 28) & 3));
    e[1] = uint8_t(base >> 20);
    e[2] = uint8_t((e[2] & 0x04) | (((base >> 15) & 0x1F) << 3) | ((base >> 13) & 3));
    e[3] = uint8_t(base >> 5);
    e[4] = uint8_t((e[4] & 0x04) | ((base & 0x1F) << 3) | ((ext >> 7) & 3));
    e[5] = uint8_t((e[5] & 0x01) | ((ext & 0x7F) << 1));
    return true;
}

bool PatchPacketPcr(uint8_t* p, int64_t offset27)
{
    int64_t pcr = 0;
    if (!ReadPacketPcr(p, pcr))
        return false;
    return WritePacketPcr(p, ShiftPcr(pcr, offset27));
}

bool PatchPesTimers(uint8_t* p, int64_t offset90)
{
    int64_t escr, dts, pts;
    if (!ReadPacketTimestamps(p, escr, dts, pts) || pts < 0)
        return true;
    bool ok = true;
    if (pts >= 0 && !WritePacketPts(p, ShiftPts(pts, offset90)))
        ok = false;
    if (dts >= 0 && !WritePacketDts(p, ShiftPts(dts, offset90)))
        ok = false;
    if (escr >= 0 && !WritePacketEscr(p, ShiftEscr(escr, offset90)))
        ok = false;
    return ok;
}

} // namespace tw
