#include "tools/engine/PacketFilter.h"

#include <bitset>

#include "analysis/PacketHandlers.h"
#include "tools/engine/ToolCopy.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPacketWriter.h"

namespace tw {

TPacketFilter::TPacketFilter(TTSPacketReader& reader, TPacketHandlers* handlers)
    : reader_(reader), handlers_(handlers), writer_(std::make_unique<TTSPacketWriter>(nullptr)) {}

TPacketFilter::~TPacketFilter() = default;

TPacketFilter::TResult TPacketFilter::Run(const std::string& input, const std::string& output,
                                          const TToolProgress& progress) {
    TResult res;
    if (static_cast<int>(Pids.size()) > kMaxPids) {
        res.Error = "Too many PIDs";
        return res;
    }
    std::bitset<8192> drop;
    for (int pid : Pids)
        if (pid >= 0 && pid < 8192) drop.set(static_cast<size_t>(pid));

    int clocksLeftOut = 0;
    int64_t errorsBefore = 0;
    if (handlers_) {
        handlers_->BeginFilterRun(input);
        errorsBefore = handlers_->ErrorsCounted();
        // The packets the user chose to leave out stay out, also when one
        // carries a kept program's clock; but that copy is told as faulty.
        clocksLeftOut = handlers_->ClocksLeftOut(drop);
        handlers_->KeepInvalidPackets(!DeleteInvalid);
    }
    // However the copy ends, the handlers' looks ahead close their files.
    struct TEndRun {
        TPacketHandlers* h;
        ~TEndRun()
        {
            if (h)
                h->EndRun();
        }
    } endRun{handlers_};
    const bool deleteInvalid = DeleteInvalid;
    res = RunToolCopy<TResult>(reader_, *writer_, input, output, progress,
                      [&](const TTSPacketHeader& h, TResult& r, TTSPacketWriter&) {
                          if (drop.test(static_cast<size_t>(h.PID()))) {
                              ++r.DroppedPid;
                              return false;
                          }
                          if (deleteInvalid && !h.PaketErrors().Empty()) {
                              ++r.DroppedInvalid;
                              return false;
                          }
                          return true;
                      });
    res.ClocksLeftOut = clocksLeftOut;
    if (handlers_)
        res.Errors = handlers_->ErrorsCounted() - errorsBefore;
    return res;
}

} // namespace tw
