// TScanPasses: the scan passes of the analysis over the scanning reader:
// fill packets at both ends, PIDs, stream types, PATs and PMTs. It owns the
// scanning chain (the packet reader, its PAT, PMT and PES readers and the
// MPEG-2, H.264 and AC-3 analysers on that PES reader), which the start/end
// and detail scans and the table selection use as well.
//
// Each pass drives the reader packet by packet (which dispatches every packet
// to the readers that are active), counts broken packets, stops at its packet
// limit and updates the progress window.
#pragma once

#include <cstdint>
#include <memory>

#include "base/Object.h"

namespace tw {

class TAnalysisEngine;
class TStreamTypeScan;
class TTSPacketReader;
class TTSPatReader;
class TTSPmtReader;
class TTSPesReader;
class TTSMPEG2Reader;
class TTSH264Reader;
class TTSAC3Reader;

class TScanPasses : public TComponent {
public:
    // Owned by the engine; the readers register with each other when the
    // engine's tree is loaded.
    explicit TScanPasses(TAnalysisEngine& engine);
    ~TScanPasses() override;

    TTSPacketReader* Reader() const { return reader_; }
    TTSPatReader* PatScan() const { return patScan_; }
    TTSPmtReader* PmtScan() const { return pmtScan_; }
    TTSPesReader* PesScan() const { return pesScan_; }
    TTSMPEG2Reader* Mpeg2Scan() const { return mpeg2Scan_; }
    TTSH264Reader* H264Scan() const { return h264Scan_; }
    TTSAC3Reader* Ac3Scan() const { return ac3Scan_; }

    // Every reader of the chain off.
    void Deactivate();
    bool CancelRequested() const;

    int64_t CountFillPacketsAtStart();
    int64_t CountFillPacketsAtEnd();
    void ScanPids(int64_t limit);
    void ScanStreamTypes(int64_t limit);
    void ScanPats(int64_t limit);
    void ScanPmts(int64_t limit);
    // The PMT PIDs the PATs name (those that occur) and the ignored ones.
    void CollectPatPmtPids();
    // The scanning reader's current packet is broken (invalid for another
    // reason than scrambling only).
    bool IsBrokenPacket() const;
    // Counts a broken packet against `errors` (logging the notice after 40);
    // true when the pass must end.
    bool CountBrokenPacket(int& errors, int limit);
    // The last packet index a pass with this good-packet limit may read.
    static constexpr int64_t kReadBoundFactor = 4;
    static int64_t ReadBound(int64_t limit, int64_t packetCount);

    // A question at opening was answered No (the handler logged it).
    bool OpenDeclined = false;
    // PTS and DTS of the last valid PES completed on the PES reader.
    int64_t ScanPesPts = -1, ScanPesDts = -1;

private:
    TAnalysisEngine& engine_;
    TTSPacketReader* reader_ = nullptr;
    TTSPatReader* patScan_ = nullptr;
    TTSPmtReader* pmtScan_ = nullptr;
    TTSPesReader* pesScan_ = nullptr;
    TTSMPEG2Reader* mpeg2Scan_ = nullptr;
    TTSH264Reader* h264Scan_ = nullptr;
    TTSAC3Reader* ac3Scan_ = nullptr;
    // The stream-type step, with its per-PID readers.
    std::unique_ptr<TStreamTypeScan> typeScan_;
};

} // namespace tw
