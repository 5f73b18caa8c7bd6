// TStreamTypeScan: the stream-type step of the analysis. It reads the first
// packets of the recording once for all found PIDs at the same time (not
// once per PID): every PID gets its own PES reader with a stream-type
// sniffer and a program-map reader on the scanning packet reader, so a
// recording with many table PIDs costs one pass, not one per PID.
//
// A PID is typed by its sniffer's vote after 20 PES packets (or what it saw
// until the limit); a PID without any PES is a program map when a section
// with an entry arrives on it, else "PCR" when it carries a clock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ts/TSPesTypes.h"

namespace tw {

class TAnalysisEngine;
class TObject;
class TScanPasses;
class TTSPesReader;
class TTSStreamTypeReader;
class TTSPmtReader;

class TStreamTypeScan {
public:
    TStreamTypeScan(TAnalysisEngine& engine, TScanPasses& scan);
    ~TStreamTypeScan();

    // Types every found stream from packets 1..limit of the scanning reader.
    void Run(int64_t limit);

    // A PES start on a probe's reader: the stream_id of the latest valid
    // header is the one the log names.
    void TSPesReader_ScanPayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    // The sniffers' verdicts change nothing by themselves (the vote is read
    // when the PID settles); left unbound, since a bound handler costs the
    // sniffer a text of the first bytes per verdict.
    void TSStreamTypeReader1Identified(TObject* sender, TEsStreamType esStreamType, const std::string& firstEightBytes);
    void TSStreamTypeReader1NotIdentified(TObject* sender, const std::string& firstEightBytes);

private:
    struct TProbe;
    // Probes stay registered with the scanning reader once made (its list
    // has no removal), so they are made once and reused by later analyses.
    void EnsureProbes(size_t count);
    // Pass `pass` of `passes` over the recording, for the progress gauge.
    void ScanBatch(int firstFound, int endFound, int64_t limit, int& errors, int pass, int passes);
    // One pass's reach (packets 1 .. Last) and its share of the gauge.
    struct TPassGauge {
        int64_t Last;
        int64_t Step;
        int Pass;
        int Passes;
    };
    // Reads the next packet up to `last`; false at the end.
    bool ReadNextPacket(int64_t last);
    // Shows the gauge every Step packets; false when the user cancelled.
    bool ShowPassProgress(const TPassGauge& g);

    TAnalysisEngine& engine_;
    TScanPasses& scan_;
    std::vector<std::unique_ptr<TProbe>> probes_;
    // Probe per PID of the running batch (nullptr for PIDs not probed).
    std::vector<TProbe*> byPid_;
};

} // namespace tw
