// The handlers bound to the PES readers and elementary-stream analysers of
// the cleaning chain: they log PES and elementary-stream damage with a time
// position, count errors and warnings per PID, drop repeated transport
// packets from the clean writer's queue, clear the H.264
// video_full_range_flag in queued output packets, feed the bandwidth meter
// and count H.264 NAL units for the statistics at the end of the log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw {

class TCleaningPass;
class TObject;
class TTSPesReader;
class TTSH264VideoInfo;
struct TTSPacketBuffer;
enum TH264NALUnitType : int;
enum TH264ErrorType : int;

class TPesHandlers {
public:
    explicit TPesHandlers(TCleaningPass& pass) : pass_(pass) {}
    void Bind();
    void ResetPass();

    void ClearNalStatistics();
    std::string NalStatisticsText() const;
    // Appends the statistics block to `text`.
    void LogNalStatistics(std::string& text) const;

    // The handlers as the cleaning chain's readers raise them, Sender first.
    // The audio readers share one handler each (the payload starts aside),
    // so do the text readers and the AC-3 analysers (the sender tells them
    // apart); they hand on to the shared members below.
    void TSPesReader_VideoPayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    void TSPesReader_Audio1PayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    void TSPesReader_Audio2PayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    void TSPesReader_Audio3PayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    void TSPesReader_Audio4PayloadStart(TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex);
    // Video and audio readers.
    void TSPesReader_VideoPESPacketCompleted(TObject* sender, int64_t pts, int pid, int pesHeaderSize, int pesSize,
                                             int packetCount, bool isValid);
    void TSPesReader_VideoPTSWrapArround(TObject* sender, int64_t packetIndex, int64_t oldPts, int64_t newPts, int pid,
                                         int bitsWrapped);
    void TSPesReader_Text1PESPacketCompleted(TObject* sender, int64_t pts, int pid, int pesHeaderSize, int pesSize,
                                             int packetCount, bool isValid);
    // Events that change nothing here (some are never raised by the reader).
    void TSPesReader_VideoBeforeNewPacket(TObject* sender);
    void TSPesReader_VideoDisconinuity(TObject* sender, int64_t pts, int pid, int currentDiscontID, int lastDiscontID);
    void TSPesReader_VideoPESHeaderError(TObject* sender, const std::string& errorString, int pid, int64_t packetIndex);
    void TSPesReader_VideoPESPacketSizeError(TObject* sender, int64_t pts, int pid, int sizeInHeader, int sizeInStream);
    void TSPesReader_Audio1Disconinuity(TObject* sender, int64_t pts, int pid, int currentDiscontID, int lastDiscontID);
    void TSPesReader_Audio1PESHeaderError(TObject* sender, const std::string& errorString, int pid, int64_t packetIndex);
    void TSPesReader_Audio1PESPacketSizeError(TObject* sender, int64_t pts, int pid, int sizeInHeader,
                                              int sizeInStream);
    void TSPesReader_Text1Disconinuity(TObject* sender, int64_t pts, int pid, int currentDiscontID, int lastDiscontID);

    // AC-3 analysers 1 to 4.
    void TSAC3Reader1CRCError(TObject* sender, int pid, int64_t packetIndex, int64_t framePts);
    void TSAC3Reader1AC3PropertyChange(TObject* sender, int pid, int64_t framePts, const std::string& oldProperties,
                                       const std::string& newProperties);
    void TSAC3Reader1AC3BufferOverflow(TObject* sender, int pid, int64_t framePts, int64_t packetIndex);
    void TSAC3Reader1FrameReceived(TObject* sender, int64_t framePts, int64_t previousFramePts);
    void TSAC3Reader2FrameReceived(TObject* sender, int64_t framePts, int64_t previousFramePts);

    // The H.264 and MPEG-2 analysers.
    void TSH264Reader1SliceReceived(TObject* sender, int64_t slicePts, int64_t previousSlicePts,
                                    TH264NALUnitType sliceType);
    void TSH264Reader1SequenceParameterSet(TObject* sender, int64_t pts);
    void TSH264Reader1H264Error(TObject* sender, int64_t pts, TH264ErrorType errorType, int64_t param1, int64_t param2,
                                int64_t param3);
    void TSH264Reader1VideoInfoChange(TObject* sender, int64_t pts, TTSH264VideoInfo* oldVideoInfo,
                                      TTSH264VideoInfo* newVideoInfo);
    void TSH264Reader1FirstSliceSynch(TObject* sender, int64_t slicePts, int64_t byteBeforeSliceStart,
                                      TH264NALUnitType sliceType);
    void TSH264Reader1SlicesSequence(TObject* sender, int64_t pts, int slicesFound, const std::string& slicesSequence);
    void TSH264Reader1PESNotStartingWithSynchBytes(TObject* sender, int64_t pts);
    void TSH264Reader1ChangedSeqParameter(TObject* sender, int64_t pts);
    void TSH264Reader1ChangedPicParameter(TObject* sender, int64_t pts);
    void TSMPEG2Reader1Mpeg2BufferOverflowError(TObject* sender, int64_t packetIndex, int size, int maxSize);
    void TSMPEG2Reader1Mpeg2BufferError(TObject* sender, int64_t packetIndex, int currentBufferSize,
                                        int currentPosition);
    void TSMPEG2Reader1NewSequence(TObject* sender, int sequenceNo, int size, const std::string& sequenceName);

    // Video and audio readers (the PES reader is the sender).
    void PesCompleted(TTSPesReader* reader, int64_t pts, int pid, int headerSize, int pesSize, int packetCount,
                      bool isValid);
    void TextPesCompleted(TTSPesReader* reader, int64_t pts, int pid, bool isValid);
    void PtsWrap(int64_t packetIndex, int64_t oldPts, int64_t newPts, int pid, int bitsWrapped);
    // Video reader (slot -1) or audio reader 0..3.
    void PayloadStart(int slot, int64_t pts);
    // Deletes repeated transport packets of the completed PES from the clean
    // writer's queue; returns how many were deleted.
    int DeleteRedundantPacket(TTSPesReader* reader);

    void Ac3CrcError(int slot, int pid, int64_t framePts);
    void Ac3PropertyChange(int pid, int64_t framePts, const std::string& oldProps, const std::string& newProps);
    void Ac3BufferOverflow(int pid, int64_t packetIndex, int64_t framePts);
    void Mpeg2BufferOverflow(int64_t packetIndex, int size, int maxSize);
    void H264SliceReceived(int sliceType);
    void H264Error(int64_t pts, int errorType);
    void H264VideoInfoChange(int64_t pts, const TTSH264VideoInfo& oldInfo, const TTSH264VideoInfo& newInfo);
    void H264SequenceParameterSet(int64_t pts);

    static std::string VideoInfoText(const TTSH264VideoInfo& info);

private:
    std::string PesInvalidLine(TTSPesReader* reader, int64_t pts, int pid) const;
    // Gives the second sending of the queued packet in `slot` (as it was
    // before its patch: `original`) the same bit.
    void PatchSecondSending(int slot, const TTSPacketBuffer& original, int bit);
    TCleaningPass& pass_;
    // DeleteRedundantPacket's confirmed repeats, kept between PES packets.
    std::vector<int64_t> repeats_;
};

} // namespace tw
