#include "analysis/PcrClock.h"

#include "ts/TSTimeStamp.h"

namespace tw {

namespace {
// 30 s below the largest PCR: a PCR above this followed by one in the first
// 30 s of the clock wrapped. (The system layer lets a tenth of a second pass
// between two PCRs, so the first one after the wrap may lie that far past it;
// a PCR of the first 30 s that is not the clock run on is judged out of range
// by its step like any other.)
constexpr int64_t kPcrNearWrap = 0x257D0000000LL;
constexpr int64_t kPcrAfterWrap = kPcrModulus - kPcrNearWrap;
// More than this many 27 MHz ticks per packet between two PCRs is out of range.
constexpr int64_t kPcrRateLimit = 280000;
// This many out-of-range PCRs in a row that run on with each other are a
// clock that jumped, not damage (at the usual 25 PCRs a second, 0.2 s).
constexpr int kPcrsOfAJump = 5;
// Beyond this distance in packets an extrapolation means nothing any more
// (and the products below stay far inside 64 bits).
constexpr int64_t kMaxExtrapolationPackets = int64_t(1) << 31;
// How far a PCR step may outrun the time stamps seen meanwhile (90 kHz,
// 0.1 s): decode times come in steps of a frame or an audio block, and the
// PCR may fall anywhere between two of them.
constexpr int64_t kStampSlack = 9000;
// Decode times run ahead of the clock by the decoder's buffer delay, a
// second or two; one further ahead than this is damage, not a clock.
constexpr int64_t kMaxStampLead = 10 * 90000;
// The longest a multiplex may leave between two PCRs (0.1 s, 27 MHz).
constexpr int64_t kMaxPcrInterval = 2700000;
// How far a step in range may run ahead of the clock's line through the
// last good PCR before the stamps after it are asked (0.3 s, 27 MHz). The
// line counts packets, and a variable-rate multiplex sends few in one PCR
// interval and many in the next, so a sound clock may lag its line by far;
// but it cannot run ahead of it by more than its own step, and a sound step
// is at most the 0.1 s a multiplex may leave between two PCRs. Three times
// that, seven or eight frames, is no jitter: a step that far ahead is a gap
// in the recording or a clock that jumped, and only the stamps tell which.
// (A clock that jumps alone by less is a fault the decoder rides out.)
constexpr int64_t kMaxDeparture = 3 * kMaxPcrInterval;
// The first PCR has no line to be judged by, only its stamps: further from
// them than a decoder's buffer (or a second behind them) it is out of line.
constexpr int64_t kFirstPcrBehind = 90000;

// a - b on the 33-bit clock of the stamps, the shorter way round.
int64_t StampDistance(int64_t a90, int64_t b90)
{
    const int64_t d = WrapClock(a90 - b90, kPtsModulus);
    return d >= kPtsModulus / 2 ? d - kPtsModulus : d;
}

// pcr - from across at most one wrap; sets wrapped when it crossed it.
int64_t ClockStep(int64_t from, int64_t pcr, bool& wrapped)
{
    wrapped = from > kPcrNearWrap && pcr < kPcrAfterWrap;
    return wrapped ? pcr + kPcrModulus - from : pcr - from;
}

// A clock never runs backwards; forwards it may not run faster than the limit.
bool InRange(int64_t ticks, int64_t packets)
{
    return packets <= 0 || (ticks >= 0 && ticks / packets <= kPcrRateLimit);
}

} // namespace

void TPcrClock::TakeAsReference(int64_t packetNo, int64_t pcr27)
{
    good_ = pcr27;
    goodPacket_ = packetNo;
    runLength_ = 0;
    stampAtReference_ = stampHigh_;
}

bool TPcrClock::InStep(int64_t pcr27, int64_t stamp90)
{
    const int64_t lead = StampDistance(stamp90, pcr27 / kClockRatio);
    return lead >= -kStampSlack && lead <= kMaxStampLead;
}

// Whether the stamp after a PCR far out of range belongs to that PCR's clock
// rather than to where the old clock would be (expected27): then clock and
// stamps jumped together.
bool TPcrClock::StampsJumpedWith(int64_t pcr27, int64_t expected27, int64_t stamp90) const
{
    if (!InStep(pcr27, stamp90))
        return false;
    if (good_ >= 0 && stampHigh_ >= 0 && NearTheClock(stampHigh_)) {
        // The lead the stamps had before: the clock that keeps it is theirs.
        const int64_t before = StampDistance(stampHigh_, good_ / kClockRatio);
        const int64_t leadNew = StampDistance(stamp90, pcr27 / kClockRatio) - before;
        const int64_t leadOld = StampDistance(stamp90, expected27 / kClockRatio) - before;
        return (leadNew < 0 ? -leadNew : leadNew) < (leadOld < 0 ? -leadOld : leadOld);
    }
    return !InStep(expected27, stamp90);
}

bool TPcrClock::NearTheClock(int64_t stamp90) const
{
    if (good_ < 0)
        return true;
    const int64_t lead = WrapClock(stamp90 - good_ / kClockRatio, kPtsModulus);
    return lead <= kMaxStampLead || lead >= kPtsModulus - kMaxStampLead;
}

void TPcrClock::NoteTimeStamp(int64_t stamp90)
{
    // Further from the clock than any buffer holds: a damaged stamp (or one
    // across a splice the clock has not made yet) says nothing.
    if (stamp90 < 0 || stamp90 >= kPtsModulus || !NearTheClock(stamp90))
        return;
    if (stampHigh_ < 0 || !NearTheClock(stampHigh_)) {
        // A new start: nothing is measured from a stamp of another clock.
        // The first stamp after the reference stands in for the time at it
        // (which can only make the stamps seem to have gone less far).
        stampHigh_ = stamp90;
        stampAtReference_ = good_ >= 0 ? stamp90 : -1;
        return;
    }
    // Only forward (the streams' stamps interleave: audio runs behind video),
    // across the wrap of the 33-bit clock.
    const int64_t step = WrapClock(stamp90 - stampHigh_, kPtsModulus);
    if (step > 0 && step <= kMaxStampLead)
        stampHigh_ = stamp90;
}

bool TPcrClock::StampsWentAsFar(int64_t ticks27) const
{
    if (stampHigh_ < 0 || stampAtReference_ < 0)
        return false;
    const int64_t went = WrapClock(stampHigh_ - stampAtReference_, kPtsModulus);
    return ticks27 / kClockRatio <= went + kStampSlack;
}

int64_t TPcrClock::Extrapolate(int64_t packetNo) const
{
    const int64_t k = packetNo - goodPacket_;
    if (good_ < 0 || ratePackets_ <= 0 || k <= 0 || k > kMaxExtrapolationPackets)
        return -1;
    // good + rateTicks * k / ratePackets, without the product's overflow.
    const int64_t whole = rateTicks_ / ratePackets_;
    const int64_t part = (rateTicks_ % ratePackets_) * k / ratePackets_;
    return (good_ + (whole * k) % kPcrModulus + part) % kPcrModulus;
}

TPcrClock::TVerdict TPcrClock::Judge(int64_t packetNo, int64_t pcr27, bool discontinuity,
                                     const TStampAhead& stampAhead)
{
    const int64_t reference = good_;
    TVerdict v = Decide(packetNo, pcr27, discontinuity, stampAhead);
    // The wrap is the clock's as it goes on: a PCR put back passes the wrap
    // where its correction does (the jumped value may have passed it long
    // before), and a value out of range with nothing in its place passes
    // none.
    const int64_t goesOn = v.OutOfRange ? v.Correction : pcr27;
    v.Wrapped = false;
    if (reference >= 0 && goesOn >= 0)
        ClockStep(reference, goesOn, v.Wrapped);
    return v;
}

TPcrClock::TVerdict TPcrClock::Decide(int64_t packetNo, int64_t pcr27, bool discontinuity,
                                      const TStampAhead& stampAhead)
{
    TVerdict v;
    v.Reference = good_;
    v.ReferencePacket = goodPacket_;
    if (good_ < 0) {
        // The first PCR: judged by the stamps after it alone. One far out of
        // line with them is no reference, and with no line yet there is
        // nothing to put in its place. The PCR after it is taken as it is: a
        // clock that lies that far from its stamps all along is reported
        // once, not at every PCR.
        putBack_ = false;
        const int64_t stamp = stampAhead && !firstJudged_ ? stampAhead() : -1;
        firstJudged_ = true;
        if (stamp >= 0) {
            const int64_t lead = StampDistance(stamp, pcr27 / kClockRatio);
            if (lead < -kFirstPcrBehind || lead > kMaxStampLead) {
                v.OutOfRange = true;
                v.StampAhead = stamp;
                return v;
            }
        }
        TakeAsReference(packetNo, pcr27);
        return v;
    }
    const int64_t k = packetNo - goodPacket_;
    bool wrapped = false;
    const int64_t d = ClockStep(good_, pcr27, wrapped);
    // While a jumped clock is put back, the reference is a put-back value:
    // a PCR that lies next to it (the extrapolated first one may have
    // overshot a little) is the old clock come back.
    const bool back = putBack_ && (d < 0 ? -d : d) <= kMaxPcrInterval;
    // A forward step the program's time stamps made too is the recording's
    // own pace, however few packets lie between.
    const bool stampsWent = d > 0 && StampsWentAsFar(d);
    bool inRange = back || InRange(d, k) || stampsWent;
    if (inRange && !back && !stampsWent && d > kMaxDeparture) {
        // In range, yet far ahead of the line the measured rate draws: a
        // jump inside the per-packet limit, judged by the stamps after it
        // like one beyond it (where there are none, the step stands).
        const int64_t expected = Extrapolate(packetNo);
        bool w = false;
        if (expected >= 0 && d - ClockStep(good_, expected, w) > kMaxDeparture && stampAhead && stampAhead() >= 0)
            inRange = false;
    }
    if (inRange) {
        putBack_ = false;
        // Only a clock that moved forward tells its rate.
        if (d > 0 && k > 0 && k <= kMaxExtrapolationPackets) {
            rateTicks_ = d;
            ratePackets_ = k;
        }
        TakeAsReference(packetNo, pcr27);
        return v;
    }
    if (putBack_ && packetNo > runPacket_) {
        const int64_t step = ClockStep(runPcr_, pcr27, wrapped);
        if (step > 0 && (InRange(step, packetNo - runPacket_) || step <= kMaxPcrInterval)) {
            // The jumped clock runs on. Each of its PCRs is judged by the
            // stamps after it, so that the correction ends at the first one
            // whose stamps made the jump as well.
            const int64_t correction = WrapClock(pcr27 - shift_, kPcrModulus);
            const int64_t stamp = stampAhead ? stampAhead() : -1;
            if (stamp >= 0 && StampsJumpedWith(pcr27, correction, stamp)) {
                putBack_ = false;
                TakeAsReference(packetNo, pcr27);
                stampHigh_ = stampAtReference_ = -1;
                return v;
            }
            runPcr_ = pcr27;
            runPacket_ = packetNo;
            v.OutOfRange = true;
            v.Correction = correction;
            v.StampAhead = stamp;
            // The put-back clock is the reference from here: against it the
            // jumped clock stays out of range however long it runs, and the
            // stamps are noted as near it.
            good_ = v.Correction;
            goodPacket_ = packetNo;
            stampAtReference_ = stampHigh_;
            return v;
        }
        putBack_ = false;
    }
    // Judged by the program's own stamps after it, where there are any.
    const int64_t stamp = stampAhead ? stampAhead() : -1;
    if (stamp >= 0) {
        int64_t expected = Extrapolate(packetNo);
        if (expected >= 0 && good_ >= 0 && stampAtReference_ >= 0 && NearTheClock(stampAtReference_)) {
            // Packets are a rough measure of time (a picture of many packets
            // follows one of few): the line may not carry the clock past
            // where the stamps after it put it, or it would run ahead of
            // them.
            const int64_t before = StampDistance(stampAtReference_, good_ / kClockRatio);
            const int64_t movedBy = StampDistance(stamp, good_ / kClockRatio) - before;
            bool wrapped = false;
            if (movedBy >= 0 && ClockStep(good_, expected, wrapped) > movedBy * kClockRatio)
                expected = WrapClock(good_ + movedBy * kClockRatio, kPcrModulus);
        }
        if (StampsJumpedWith(pcr27, expected >= 0 ? expected : good_, stamp)) {
            // A gap in the recording or a splice: the clock is sound, and
            // the stamps seen so far belong to it before the jump.
            TakeAsReference(packetNo, pcr27);
            stampHigh_ = stampAtReference_ = -1;
            return v;
        }
        v.OutOfRange = true;
        v.StampAhead = stamp;
        v.Correction = expected;
        if (expected >= 0) {
            // The clock jumped on its own: it is put back by this amount
            // until it agrees with the stamps again.
            putBack_ = true;
            shift_ = WrapClock(pcr27 - expected, kPcrModulus);
            runPcr_ = pcr27;
            runPacket_ = packetNo;
            good_ = expected;
            goodPacket_ = packetNo;
            stampAtReference_ = stampHigh_;
        }
        return v;
    }
    if (discontinuity) {
        // A jump the stream announces, with no stamps to say otherwise: the
        // stamps seen so far belong to the clock before it.
        TakeAsReference(packetNo, pcr27);
        stampHigh_ = stampAtReference_ = -1;
        return v;
    }
    bool runWrapped = false;
    if (runLength_ > 0 && packetNo > runPacket_) {
        const int64_t step = ClockStep(runPcr_, pcr27, runWrapped);
        // At a low rate the packet count says little: PCRs no further apart
        // than the system layer allows between two agree as well.
        const bool agrees = step > 0 && (InRange(step, packetNo - runPacket_) || step <= kMaxPcrInterval);
        runLength_ = agrees ? runLength_ + 1 : 1;
    } else {
        runLength_ = 1;
    }
    runPcr_ = pcr27;
    runPacket_ = packetNo;
    if (runLength_ >= kPcrsOfAJump) {
        TakeAsReference(packetNo, pcr27);
        // The stamps seen so far belong to the clock before the jump.
        stampHigh_ = stampAtReference_ = -1;
        return v;
    }
    v.OutOfRange = true;
    v.Correction = Extrapolate(packetNo);
    return v;
}

} // namespace tw
