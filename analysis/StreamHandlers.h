// TScanHandlers: the handlers bound to the events of the scanning chain: the
// questions at opening, invalid packets and resyncs, received and broken
// PAT/PMT sections, the time stamps of the scanning PES reader and the errors
// of the scanning H.264 analyser. (The cleaning chain's handlers are the
// cleaning pass's TPacketHandlers and TPesHandlers.)
#pragma once

#include <cstdint>
#include <string>

namespace tw {

class TAnalysisEngine;
class TScanPasses;
class TObject;

class TScanHandlers {
public:
    TScanHandlers(TAnalysisEngine& engine, TScanPasses& scan) : engine_(engine), scan_(scan) {}
    // Binds the handlers to the scanning chain's readers.
    void Bind();

    void TSPacketReader1NoValidStartByte(TObject* sender, int offset, bool& Continue);
    void TSPacketReader1M2TSPacketsDetectEvent(TObject* sender, bool& Continue);
    void TSPacketReader1ScrambledPacketEvent(TObject* sender, int64_t packetNo, int pid,
                                             int& transport_scrambling_control, bool& Ignore);
    void TSPacketReader1InvalidPacketEvent(TObject* sender, int64_t packetNo, const std::string& errors);
    void TSPacketReader1PacketResynchEvent(TObject* sender, int64_t packetNo, int64_t offset);
    void TSPatReader_ScanPatReceived(TObject* sender);
    void TSPatReader_ScanInvalidPat(TObject* sender, const std::string& errorString, int tableId, int64_t packetIndex);
    void TSPmtReader_ScanPmtReceived(TObject* sender);
    void TSPmtReader_ScanPmtErrorReceived(TObject* sender);
    void TSPesReader_ScanPESPacketCompleted(TObject* sender, int64_t pts, int pid, int headerSize, int size,
                                            int packetCount, bool isValid);
    void TSH264Reader_ScanH264Error(TObject* sender, int64_t pts, int errorType, int64_t param1, int64_t param2,
                                    int64_t param3);

private:
    TAnalysisEngine& engine_;
    TScanPasses& scan_;
};

} // namespace tw
