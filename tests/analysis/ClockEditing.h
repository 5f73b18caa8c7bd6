// Recordings changed by hand for the clock checks: PCRs and time stamps
// moved from a packet on (with or without the discontinuity indicator), the
// clock carried on a PID of its own, and an independent reading of how far
// each PCR lies behind the next decode time of its program.
#pragma once

#include <gtest/gtest.h>

#include <set>

#include "tests/analysis/CleaningTestSupport.h"
#include "ts/TSTimeStamp.h"

namespace tw::cleantest {

inline constexpr int64_t kSecond90 = 90000;
inline constexpr int64_t kSecond27 = kSecond90 * kClockRatio;
// The own PID the PCR is moved to in the variants that carry it apart.
inline constexpr int kOwnPcrPid = 0x1FF0;

inline int64_t Signed33(int64_t v)
{
    v = WrapClock(v, kPtsModulus);
    return v >= kPtsModulus / 2 ? v - kPtsModulus : v;
}

// Offset of the PES header's stamps in a packet that starts one; -1 none.
// flags gets the PTS_DTS_flags.
inline int StampOffset(const uint8_t* p, int& flags)
{
    const int s = PacketPayloadStart(p);
    if (s < 0 || !(p[1] & 0x40) || s + 19 > 188 || p[s] != 0 || p[s + 1] != 0 || p[s + 2] != 1)
        return -1;
    flags = p[s + 7] >> 6;
    return (flags & 2) ? s + 9 : -1;
}

inline bool HasPcr(const uint8_t* p)
{
    int64_t pcr;
    return ReadPacketPcr(p, pcr);
}

// From packet `from` on: every PCR moved by pcrShift27 (on the discontinuity
// indicator's word when `announce`, at the first one), every PTS and DTS by
// stampShift90.
// Only the packets of `pids`, where given.
inline void Shift(Bytes& b, size_t from, int64_t pcrShift27, int64_t stampShift90, bool announce,
           const std::set<int>* pids = nullptr)
{
    bool first = true;
    for (size_t i = from; i < b.size() / 188; ++i) {
        uint8_t* p = b.data() + i * 188;
        if (pids && !pids->count(Pid(p)))
            continue;
        int64_t pcr;
        if (pcrShift27 != 0 && ReadPacketPcr(p, pcr)) {
            WritePcr(p + 6, pcr + pcrShift27);
            if (announce && first)
                p[5] |= 0x80; // discontinuity_indicator
            first = false;
        }
        int flags = 0;
        const int at = StampOffset(p, flags);
        if (stampShift90 != 0 && at >= 0) {
            WritePts(p + at, ReadPts(p + at) + stampShift90);
            if (flags == 3)
                WritePts(p + at + 5, ReadPts(p + at + 5) + stampShift90);
        }
    }
}

// Every PCR of the recording moves to a PID of its own: an adaptation-only
// packet in front of the packet that carried it, whose PCR becomes stuffing,
// and the PMT names the new PID.
inline Bytes PcrOnItsOwnPid(const Bytes& in)
{
    Bytes out;
    int cc = 0;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        Bytes p(in.begin() + i * 188, in.begin() + (i + 1) * 188);
        // (ffmpeg's adaptation fields carry nothing after the PCR but stuffing.)
        if (HasPcr(p.data()) && (p[5] & 0x0F) == 0) {
            Bytes own(188, 0xFF);
            own[0] = 0x47;
            own[1] = static_cast<uint8_t>(kOwnPcrPid >> 8);
            own[2] = static_cast<uint8_t>(kOwnPcrPid & 0xFF);
            own[3] = static_cast<uint8_t>(0x20 | cc); // adaptation field only: the counter stays
            own[4] = 183;
            own[5] = 0x10;
            std::copy(p.begin() + 6, p.begin() + 12, own.begin() + 6);
            out.insert(out.end(), own.begin(), own.end());
            p[5] &= static_cast<uint8_t>(~0x10);
            std::fill(p.begin() + 6, p.begin() + 12, 0xFF);
        }
        // The PMT (ffmpeg's, one packet per section): PCR_PID and CRC.
        if (Pid(p.data()) == 0x1000 && (p[1] & 0x40)) {
            uint8_t* s = p.data() + 5 + p[4];
            const int len = ((s[1] & 0x0F) << 8) | s[2];
            s[8] = static_cast<uint8_t>(0xE0 | (kOwnPcrPid >> 8));
            s[9] = static_cast<uint8_t>(kOwnPcrPid & 0xFF);
            const uint32_t crc = Crc32Mpeg(s, 0xFFFFFFFFu, len - 1);
            for (int k = 0; k < 4; ++k)
                s[len - 1 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
        }
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

// The PCR packets' indices.
inline std::vector<size_t> PcrPackets(const Bytes& b)
{
    std::vector<size_t> v;
    for (size_t i = 0; i < b.size() / 188; ++i)
        if (HasPcr(b.data() + i * 188))
            v.push_back(i);
    return v;
}

// How far the program's next decode time lies ahead of each PCR (90 kHz,
// the smallest and the largest), as a decoder meets them.
struct ClockLeads {
    int64_t Min = INT64_MAX, Max = INT64_MIN;
    int Pcrs = 0;
};

// Of one program, where given: its clock's PID and its streams.
inline ClockLeads LeadsOf(const Bytes& b, int pcrPid = -1, const std::set<int>* streams = nullptr)
{
    ClockLeads l;
    std::vector<int64_t> open; // PCRs (90 kHz) still waiting for a stamp
    for (size_t i = 0; i < b.size() / 188; ++i) {
        const uint8_t* p = b.data() + i * 188;
        int64_t pcr;
        if ((pcrPid < 0 || Pid(p) == pcrPid) && ReadPacketPcr(p, pcr))
            open.push_back(pcr / kClockRatio);
        int64_t escr, dts, pts;
        if (streams && !streams->count(Pid(p)))
            continue;
        if (!open.empty() && ReadPacketTimestamps(p, escr, dts, pts) && pts >= 0) {
            for (int64_t c : open) {
                const int64_t lead = Signed33((dts >= 0 ? dts : pts) - c);
                l.Min = std::min(l.Min, lead);
                l.Max = std::max(l.Max, lead);
                ++l.Pcrs;
            }
            open.clear();
        }
    }
    return l;
}

// Sound: no PCR after its stamps, none further behind them than a decoder's
// buffer holds.
inline void ExpectClockOnTheStamps(const ClockLeads& l, const std::string& what)
{
    EXPECT_GT(l.Pcrs, 30) << what;
    EXPECT_GE(l.Min, -kSecond90 / 10) << what;
    EXPECT_LE(l.Max, 3 * kSecond90) << what;
}

} // namespace tw::cleantest

namespace tw::cleantest {

// Constant-rate muxing: `nulls` null packets after each PCR packet, so that
// the per-packet limit alone lets the clock step far.
inline Bytes NullsAfterPcrs(const Bytes& in, int nulls)
{
    Bytes out;
    Bytes null(188, 0xFF);
    null[0] = 0x47;
    null[1] = 0x1F;
    null[2] = 0xFF;
    null[3] = 0x10;
    for (size_t i = 0; i < in.size() / 188; ++i) {
        out.insert(out.end(), in.begin() + static_cast<long>(i * 188), in.begin() + static_cast<long>((i + 1) * 188));
        if (HasPcr(in.data() + i * 188))
            for (int k = 0; k < nulls; ++k)
                out.insert(out.end(), null.begin(), null.end());
    }
    return out;
}

} // namespace tw::cleantest
