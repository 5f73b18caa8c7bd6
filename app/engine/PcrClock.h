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
// A real jump of the clock (a PCR with the discontinuity indicator, or a run
// of out-of-range PCRs that agree with each other) becomes the new reference,
// so a splice does not make every later PCR a "correction".
#pragma once

#include <cstdint>

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
    };

    // Judges the PCR found in packet packetNo and learns from it.
    TVerdict Judge(int64_t packetNo, int64_t pcr27, bool discontinuity);

private:
    void TakeAsReference(int64_t packetNo, int64_t pcr27);
    int64_t Extrapolate(int64_t packetNo) const;

    int64_t good_ = -1, goodPacket_ = -1;
    // The rate as the last good interval: rateTicks_ over ratePackets_.
    int64_t rateTicks_ = 0, ratePackets_ = 0;
    // Out-of-range PCRs in a row that agree with each other.
    int64_t runPcr_ = -1, runPacket_ = -1;
    int runLength_ = 0;
};

} // namespace tw
