// The low-level structure fix: copies a recording packet by packet and
// leaves out every packet whose sync byte is wrong, so that the output holds
// well-framed packets only. The reader resynchronises after garbage or
// missing bytes (its sync-byte search), so every sound packet behind the
// damage is read and kept; leading garbage is cut (and logged).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tools/engine/ToolFiles.h"

namespace tw {

class TTSPacketReader;
class TTSPacketWriter;

// The name the save dialog proposes ("rec.ts" -> "rec_lowLevelFixed.ts").
std::string LowLevelOutputName(const std::string& input);
// The log's name: beside the proposed name, whatever name the user chooses.
std::string LowLevelLogName(const std::string& input);
// The refusal (window language) of a chosen output that the log, saved after
// the copy, would replace; empty when the log replaces nothing of the run.
std::string CheckLowLevelOutput(const std::string& input, const std::string& output, bool german);

class TLowLevelFix {
public:
    explicit TLowLevelFix(TTSPacketReader& reader);
    ~TLowLevelFix();

    // Log lines of the pass ("Cutting 12 bytes at the start", the counts).
    std::function<void(const std::string& line)> OnLog;

    struct TResult {
        bool Ok = false;
        std::string Error;
        int64_t Read = 0;           // packets examined
        int64_t Skipped = 0;        // packets with a wrong sync byte
        int64_t Written = 0;
        int64_t InvalidWritten = 0; // written although not valid
    };
    TResult Run(const std::string& input, const std::string& output, const TToolProgress& progress);

private:
    void Log(const std::string& line) {
        if (OnLog) OnLog(line);
    }
    TTSPacketReader& reader_;
    std::unique_ptr<TTSPacketWriter> writer_;
};

} // namespace tw
