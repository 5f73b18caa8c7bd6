// The handlers bound to the PES readers and elementary-stream analysers of
// the cleaning chain: they log PES and elementary-stream damage with a time
// position, count errors and warnings per PID, drop repeated transport
// packets from the clean writer's queue, clear the H.264
// video_full_range_flag in queued output packets, feed the bandwidth meter
// and count H.264 NAL units for the statistics at the end of the log.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

class TCleaningPass;
class TObject;
class TTSPesReader;
class TTSH264VideoInfo;

class TPesHandlers {
public:
    explicit TPesHandlers(TCleaningPass& pass) : pass_(pass) {}
    void Bind();
    void ResetPass();

    void ClearNalStatistics();
    std::string NalStatisticsText() const;

    // Video and audio readers (the PES reader is the sender).
    void PesCompleted(TTSPesReader* reader, int64_t pts, int pid, int headerSize, int pesSize, int packetCount,
                      bool isValid);
    void TextPesCompleted(TTSPesReader* reader, int64_t pts, int pid, bool isValid);
    void PtsWrap(int64_t packetIndex, int64_t oldPts, int64_t newPts, int pid, int bitsWrapped);
    // Video reader (slot -1) or audio reader 0..3.
    void PayloadStart(int slot, int64_t pts);
    // Deletes repeated transport packets of the completed PES from the clean
    // writer's queue; returns how many were deleted.
    int DeleteRedundantPackets(TTSPesReader* reader);

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
    TCleaningPass& pass_;
};

} // namespace tw
