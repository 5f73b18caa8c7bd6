// TPcrClock: judges the PCRs of the kept program's clock one by one during
// the cleaning pass and says where an out-of-range one belongs.
//
// The reference is always the last good PCR and the rate the one measured
// between two good PCRs: a bad value is never taken as the base of the next
// correction, so two bad PCRs in a row cannot carry the clock away. A
// correction lies on the line through the last good PCR at that rate, so it
// is inside the PCR range and never earlier than a correction before it.
// Where no such line exists yet (no rate measured), there is no correction.
//
// A real jump of the clock becomes the new reference, so a splice does not
// make every later PCR a "correction". The discontinuity indicator announces
// one, but the program's time stamps after the PCR decide: a clock that
// jumped on its own is put back whether the jump was announced or not. Only
// where no stamps can be found does the announcement (or a run of
// out-of-range PCRs that agree with each other) stand for a jump.
//
// The per-packet limit alone takes a low-rate recording for a broken one: at
// well under a megabit a second, a muxer that sends a PCR every 80 ms has
// only a few packets between two of them, and the step per packet passes the
// limit although the clock is perfectly sound. So a step that passes the
// limit is still good when the program's own time stamps went on as far: the
// decode times (DTS, else PTS) of its PES headers, fed in as they pass, are
// the recording's clock as the encoder saw it. A bad PCR moves away from
// them; a sound one moves with them.
//
// A PCR far out of range is judged by the time stamps that follow it (the
// pass looks ahead in the recording for them): where they made the same
// jump, the recording has a gap or a splice and the clock is sound; where
// they did not, the clock jumped on its own, and every PCR of it is put back
// by the same amount, running on by its own steps, each judged by the stamps
// after it, until they made its jump too. Only where no stamps can be found is a run of PCRs that
// agree with each other taken for a jump.
//
// A step inside the per-packet limit is not sound by that alone: where the
// recording is muxed at a constant rate, many packets lie between two PCRs,
// and the limit lets a clock that jumped a second or two on its own pass.
// A step that runs far ahead of the line the measured rate draws is judged
// by the stamps after it like one beyond the limit. The first PCR has no
// line before it: it is judged by the stamps after it alone, and one far
// from them is no reference.
#pragma once

#include <cstdint>
#include <functional>

namespace tw {

class TPcrClock {
public:
    struct TVerdict {
        bool Wrapped = false;    // the clock passed its wrap since the reference
        bool OutOfRange = false; // too far from the reference for the packets between
        int64_t Reference = -1;  // the last good PCR (27 MHz) the value was judged by
        int64_t ReferencePacket = -1;
        // Where the PCR belongs (27 MHz); -1 when no sound correction exists.
        int64_t Correction = -1;
        // The first decode time (90 kHz) of the program after the PCR, where
        // the judgement looked ahead for it; -1 otherwise.
        int64_t StampAhead = -1;
    };

    // The program's first decode time stamp (90 kHz) at or after the PCR
    // being judged, or -1 when none is found; asked only for a PCR out of
    // range.
    using TStampAhead = std::function<int64_t()>;

    // Judges the PCR found in packet packetNo and learns from it.
    TVerdict Judge(int64_t packetNo, int64_t pcr27, bool discontinuity, const TStampAhead& stampAhead = {});
    // Whether a decoder meeting the clock at pcr27 and then the decode time
    // stamp90 finds the two in step (the stamp not before the clock, and not
    // further ahead than a decoder's buffer holds).
    static bool InStep(int64_t pcr27, int64_t stamp90);
    // A decode time stamp (90 kHz) of the program, in the order of the packets
    // (a PCR packet's own PES header before its PCR is judged).
    void NoteTimeStamp(int64_t stamp90);

private:
    TVerdict Decide(int64_t packetNo, int64_t pcr27, bool discontinuity, const TStampAhead& stampAhead);
    void TakeAsReference(int64_t packetNo, int64_t pcr27);
    int64_t Extrapolate(int64_t packetNo) const;
    bool StampsWentAsFar(int64_t ticks27) const;
    bool NearTheClock(int64_t stamp90) const;
    bool StampsJumpedWith(int64_t pcr27, int64_t expected27, int64_t stamp90) const;

    int64_t good_ = -1, goodPacket_ = -1;
    // The first PCR was judged by the stamps after it.
    bool firstJudged_ = false;
    // The rate as the last good interval: rateTicks_ over ratePackets_.
    int64_t rateTicks_ = 0, ratePackets_ = 0;
    // Out-of-range PCRs in a row that agree with each other.
    int64_t runPcr_ = -1, runPacket_ = -1;
    int runLength_ = 0;
    // A clock that jumped on its own while the stamps did not: its PCRs are
    // put back by shift_ (27 MHz) while they run on by their own steps.
    bool putBack_ = false;
    int64_t shift_ = 0;
    // The furthest decode time seen (90 kHz; -1 none), and where it stood
    // when the reference was taken.
    int64_t stampHigh_ = -1, stampAtReference_ = -1;
};

} // namespace tw
