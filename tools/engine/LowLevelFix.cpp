#include "tools/engine/LowLevelFix.h"

#include "analysis/MainTexts.h"
#include "base/SysUtils.h"
#include "tools/engine/ToolCopy.h"

namespace tw {

std::string LowLevelOutputName(const std::string& input) { return ToolOutputName(input, "_lowLevelFixed"); }

std::string LowLevelLogName(const std::string& input) { return ChangeFileExt(LowLevelOutputName(input), ".log"); }

std::string CheckLowLevelOutput(const std::string& input, const std::string& output, bool german) {
    return LogNameRefusal(input, output, LowLevelLogName(input), german);
}

TLowLevelFix::TLowLevelFix(TTSPacketReader& reader)
    : reader_(reader), writer_(std::make_unique<TTSPacketWriter>(nullptr)) {}

TLowLevelFix::~TLowLevelFix() = default;

TLowLevelFix::TResult TLowLevelFix::Run(const std::string& input, const std::string& output,
                                        const TToolProgress& progress) {
    auto savedStart = reader_.OnNoValidStartByte;
    reader_.OnNoValidStartByte = [this](TObject*, int offset, bool& cont) {
        cont = true;
        Log("Cutting " + std::to_string(offset) + " bytes at the start");
    };
    reader_.SetAutoResync(true);
    reader_.SetNoStartByteCheck(false);
    // The reader finds the packet grid again behind garbage or missing bytes
    // and delivers the packet found there under the number whose read met
    // the damage, so every whole packet comes by here once.
    auto keep = [&](const TTSPacketHeader& h, TResult& r, TTSPacketWriter&) {
        if (h.Synch()) {
            if (!h.Valid()) ++r.InvalidWritten;
            return true;
        }
        ++r.Skipped;
        return false;
    };
    TResult res = RunToolCopy<TResult>(reader_, *writer_, input, output, progress, keep);
    reader_.OnNoValidStartByte = savedStart;
    if (res.Error.empty() || res.Read > 0) {
        Log(std::to_string(res.Skipped) + " packets skipped");
        Log(std::to_string(res.Written) + " packets written incl. " + std::to_string(res.InvalidWritten) +
            " invalid packets");
    }
    return res;
}

} // namespace tw
