// The packet filter's copy: a recording without the packets of chosen PIDs
// and, when asked, without damaged ones. Runs on the caller's thread to the
// end, reading through the given reader and writing through its own writer
// (no continuity repair: the packets kept are copied as they are).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/engine/ToolFiles.h"

namespace tw {

class TTSPacketReader;
class TTSPacketWriter;
class TPacketHandlers;

class TPacketFilter {
public:
    // The dialog's list holds at most this many PIDs.
    static constexpr int kMaxPids = 255;

    // The reader must outlive the filter; the filter sets its file name,
    // buffer and activity. With `handlers` (bound to the reader: the main
    // window's FilterPacketReader), what the reader reports about the packets
    // is logged, counted and repaired as in the cleaning pass, the PCR check
    // included; their run state starts afresh with each copy.
    explicit TPacketFilter(TTSPacketReader& reader, TPacketHandlers* handlers = nullptr);
    ~TPacketFilter();

    // PIDs whose packets are dropped (more than kMaxPids are refused).
    std::vector<int> Pids;
    // Drop packets with any fault the reader found in them. A scrambled
    // packet counts as one unless the user chose to ignore the scrambling
    // control (the scrambled-packet question of the handlers), after which
    // the reader takes it as it is.
    bool DeleteInvalid = false;

    struct TResult {
        bool Ok = false;
        std::string Error;      // why nothing or not everything was written
        int64_t Read = 0;       // packets examined
        int64_t Written = 0;
        int64_t DroppedPid = 0;
        int64_t DroppedInvalid = 0;
        // Errors the packet checks counted during the copy: a copy with any
        // is no plain success.
        int64_t Errors = 0;
        // Programs that keep streams but whose clock's PID was left out.
        int ClocksLeftOut = 0;
    };
    TResult Run(const std::string& input, const std::string& output, const TToolProgress& progress);

    TTSPacketWriter& Writer() { return *writer_; }

private:
    TTSPacketReader& reader_;
    TPacketHandlers* handlers_;
    std::unique_ptr<TTSPacketWriter> writer_;
};

} // namespace tw
