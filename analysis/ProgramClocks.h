// TProgramClocks: the clocks a copy's PCR check follows, each with the
// streams whose time stamps witness it.
//
// A clock is judged by its own program's decode times: those of another
// program run on another clock, and a clock on a PID of its own has no
// stamps at all. The cleaning pass follows the clock of the program it
// keeps; the packet filter keeps every program and follows each of their
// clocks. Both judge every clock by the same rule (TPcrClock), fed with the
// stamps of its program as they pass and with those ahead of a PCR that is
// out of range, read here.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/PcrClock.h"

namespace tw {

class TTSPacketReader;

using TPidSet = std::bitset<8192>;

// A program as its table names it: the PID of its clock and its streams.
struct TProgramMap {
    int Number = -1; // program_number of its table
    int PcrPid = -1;
    TPidSet Streams;
};

struct TProgramClock {
    TProgramClock();
    ~TProgramClock();

    int PcrPid = -1;
    // The PIDs whose decode times run on this clock.
    TPidSet Witnesses;
    TPcrClock Clock;
    // The last look ahead: from packet AheadFrom to AheadTo the first stamp
    // of the program was AheadStamp (-1: none). The look's reader stays
    // open while the clock is looked after, so that looks one after another
    // read on instead of opening and filling a buffer each time.
    int64_t AheadFrom = -1, AheadTo = -1, AheadStamp = -1;
    std::unique_ptr<TTSPacketReader> Ahead;
    // The earliest decode time (90 kHz; -1 none) of the program since the
    // clock's last PCR (LastPcr, 27 MHz, as copied), and the PID it came on;
    // and whether the stamps were
    // found far ahead of the clock at the last PCR judged in range (so that
    // one jump of the stamps is reported once, not at every PCR after it).
    int64_t StampSincePcr = -1, LastPcr = -1;
    int StampSincePcrPid = -1;
    bool StampsAhead = false;
};

class TProgramClocks {
public:
    // More programs than a multiplex carries; a recording that names more
    // has the first ones checked.
    static constexpr int kMaxClocks = 64;
    // How far a look ahead reads: some seconds of any recording (a
    // program's PES headers come many times a second).
    static constexpr int kStampAheadPackets = 20000;
    // How far into a recording its tables are looked for.
    static constexpr int kTableScanPackets = 100000;

    TProgramClocks();
    ~TProgramClocks();

    // Nothing followed, every look closed.
    void Clear();
    // Follows the clock on pcrPid with the stamps of witnesses; a clock
    // followed already takes these witnesses as well. nullptr when
    // kMaxClocks are followed already, or for a PID out of range.
    TProgramClock* Follow(int pcrPid, const TPidSet& witnesses);
    TProgramClock* Find(int pcrPid)
    {
        const int i = pcrPid >= 0 && pcrPid < 8192 ? index_[pcrPid] : 0;
        return i > 0 ? clocks_[static_cast<size_t>(i - 1)].get() : nullptr;
    }
    int Count() const { return static_cast<int>(clocks_.size()); }
    TProgramClock& At(int i) { return *clocks_[static_cast<size_t>(i)]; }
    // Whether some followed clock is witnessed by the PID's stamps.
    bool IsWitness(int pid) const { return pid >= 0 && pid < 8192 && witnesses_[static_cast<size_t>(pid)]; }

    // The clock's program's first decode time stamp (90 kHz) at or after
    // packetNo of the recording `reader` reads, read by a reader of the
    // clock's own; -1 when none is near. packetNo never goes back while the
    // clock is followed.
    static int64_t StampAhead(TProgramClock& clock, const TTSPacketReader& reader, int64_t packetNo);
    // Closes the readers of the looks ahead (the files stay open no longer
    // than the copy that reads them).
    void CloseLooks();

    // The programs the tables at the start of the recording fileName name:
    // the PAT's programs and each one's PMT, read by a reader of their own
    // set up like `like`. Empty when the recording has no readable tables
    // there.
    static std::vector<TProgramMap> ReadPrograms(const TTSPacketReader& like, const std::string& fileName);
    // A recording without readable tables there, carrying PCRs on one PID
    // alone: that clock with every PID that starts PES packets as its
    // witnesses (the recording is one program). PcrPid -1 where the start
    // of the recording carries no clock or several.
    static TProgramMap ReadOnlyClock(const TTSPacketReader& like, const std::string& fileName);

private:
    std::vector<std::unique_ptr<TProgramClock>> clocks_;
    uint8_t index_[8192] = {}; // PCR PID -> clock index + 1 (0: none)
    TPidSet witnesses_;
};

} // namespace tw
