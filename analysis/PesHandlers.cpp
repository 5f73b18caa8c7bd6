#include "analysis/CleaningChain.h"
#include "analysis/PesHandlers.h"

#include "analysis/AnalysisTexts.h"
#include "analysis/CleaningPass.h"
#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketWriter.h"
#include "ts/TSPesReader.h"

#include <cstdio>
#include <functional>
#include <vector>

namespace tw {

namespace {

constexpr int kNalCounters = 14;
constexpr int kNalSps = 7;
constexpr int64_t kMeterStepTicks = 90001; // more than one second
// Target value of the video_full_range_flag in DVB streams.
constexpr int kFullRangeTarget = 0;

const char* const kNalLabels[kNalCounters] = {
    "Unknown / other        : ", "Slices                 : ", "Data Partition A       : ",
    "Data Partition B       : ", "Data Partition C       : ", "IDR Picture            : ",
    "SEI                    : ", "Sequence Parameter Set : ", "Picture Parameter Set  : ",
    "AUD                    : ", "End of Sequence        : ", "End of Stream          : ",
    "Filler                 : ", "Seq. Param. Set Ext.   : "};

std::string Hex4(int64_t v) { return IntToHex(v, 4); }
std::string Hex8(int64_t v) { return IntToHex(v, 8); }

} // namespace

void TPesHandlers::Bind()
{
    using namespace std::placeholders;
    TAnalysisEngine& en = pass_.Engine();
    TCleaningChain& chain = en.Chain();
    TTSPesReader* video = &chain.VideoPes();
    video->OnPESPacketCompleted = std::bind(&TPesHandlers::TSPesReader_VideoPESPacketCompleted, this, _1, _2, _3, _4,
                                            _5, _6, _7);
    video->OnPTSWrapArround = std::bind(&TPesHandlers::TSPesReader_VideoPTSWrapArround, this, _1, _2, _3, _4, _5, _6);
    video->OnPayloadStart = std::bind(&TPesHandlers::TSPesReader_VideoPayloadStart, this, _1, _2, _3, _4, _5);
    video->OnPESHeaderError = std::bind(&TPesHandlers::TSPesReader_VideoPESHeaderError, this, _1, _2, _3, _4);
    video->OnPESPacketSizeError = std::bind(&TPesHandlers::TSPesReader_VideoPESPacketSizeError, this, _1, _2, _3, _4, _5);
    video->OnDisconinuity = std::bind(&TPesHandlers::TSPesReader_VideoDisconinuity, this, _1, _2, _3, _4, _5);
    video->OnBeforeNewPacket = std::bind(&TPesHandlers::TSPesReader_VideoBeforeNewPacket, this, _1);

    using TPayloadStartMember = void (TPesHandlers::*)(TObject*, int64_t, int64_t, int, int64_t);
    const TPayloadStartMember payloadStarts[AUDIO_SLOTS] = {
        &TPesHandlers::TSPesReader_Audio1PayloadStart, &TPesHandlers::TSPesReader_Audio2PayloadStart,
        &TPesHandlers::TSPesReader_Audio3PayloadStart, &TPesHandlers::TSPesReader_Audio4PayloadStart};
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        TTSPesReader* r = &chain.AudioPes(i);
        r->OnPESPacketCompleted = std::bind(&TPesHandlers::TSPesReader_VideoPESPacketCompleted, this, _1, _2, _3, _4,
                                            _5, _6, _7);
        r->OnPTSWrapArround = std::bind(&TPesHandlers::TSPesReader_VideoPTSWrapArround, this, _1, _2, _3, _4, _5, _6);
        r->OnPayloadStart = std::bind(payloadStarts[i], this, _1, _2, _3, _4, _5);
        r->OnPESHeaderError = std::bind(&TPesHandlers::TSPesReader_Audio1PESHeaderError, this, _1, _2, _3, _4);
        r->OnPESPacketSizeError = std::bind(&TPesHandlers::TSPesReader_Audio1PESPacketSizeError, this, _1, _2, _3, _4,
                                            _5);
        r->OnDisconinuity = std::bind(&TPesHandlers::TSPesReader_Audio1Disconinuity, this, _1, _2, _3, _4, _5);
    }
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        TTSPesReader* r = &chain.TextPes(i);
        r->OnPESPacketCompleted = std::bind(&TPesHandlers::TSPesReader_Text1PESPacketCompleted, this, _1, _2, _3, _4,
                                            _5, _6, _7);
        r->OnDisconinuity = std::bind(&TPesHandlers::TSPesReader_Text1Disconinuity, this, _1, _2, _3, _4, _5);
    }
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        TTSAC3Reader* a = &chain.Ac3(i);
        a->OnCRCError = std::bind(&TPesHandlers::TSAC3Reader1CRCError, this, _1, _2, _3, _4);
        a->OnAC3PropertyChange = std::bind(&TPesHandlers::TSAC3Reader1AC3PropertyChange, this, _1, _2, _3, _4, _5);
        a->OnAC3BufferOverflow = std::bind(&TPesHandlers::TSAC3Reader1AC3BufferOverflow, this, _1, _2, _3, _4);
    }
    chain.Ac3(0).OnFrameReceived = std::bind(&TPesHandlers::TSAC3Reader1FrameReceived, this, _1, _2, _3);
    chain.Ac3(1).OnFrameReceived = std::bind(&TPesHandlers::TSAC3Reader2FrameReceived, this, _1, _2, _3);

    TTSMPEG2Reader* m = &chain.Mpeg2();
    m->OnMpeg2BufferOverflowError = std::bind(&TPesHandlers::TSMPEG2Reader1Mpeg2BufferOverflowError, this, _1, _2, _3,
                                              _4);
    m->OnMpeg2BufferError = std::bind(&TPesHandlers::TSMPEG2Reader1Mpeg2BufferError, this, _1, _2, _3, _4);
    // OnNewSequence stays unbound: bound, the analyser names every start
    // code it meets, for a handler that does nothing with the name.

    TTSH264Reader* h = &chain.H264();
    h->OnSliceReceived = std::bind(&TPesHandlers::TSH264Reader1SliceReceived, this, _1, _2, _3, _4);
    h->OnH264Error = std::bind(&TPesHandlers::TSH264Reader1H264Error, this, _1, _2, _3, _4, _5, _6);
    h->OnVideoInfoChange = std::bind(&TPesHandlers::TSH264Reader1VideoInfoChange, this, _1, _2, _3, _4);
    h->OnSequenceParameterSet = std::bind(&TPesHandlers::TSH264Reader1SequenceParameterSet, this, _1, _2);
    h->OnFirstSliceSynch = std::bind(&TPesHandlers::TSH264Reader1FirstSliceSynch, this, _1, _2, _3, _4);
    h->OnPESNotStartingWithSynchBytes = std::bind(&TPesHandlers::TSH264Reader1PESNotStartingWithSynchBytes, this, _1,
                                                  _2);
    h->OnChangedSeqParameter = std::bind(&TPesHandlers::TSH264Reader1ChangedSeqParameter, this, _1, _2);
    h->OnChangedPicParameter = std::bind(&TPesHandlers::TSH264Reader1ChangedPicParameter, this, _1, _2);
    // OnSlicesSequence stays unbound: bound, the analyser spells out the
    // slice sequence of every picture, for a handler that does nothing.
}

// ---------------------------------------------------------------- the named handlers

void TPesHandlers::TSPesReader_VideoPayloadStart(TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(-1, pts); }
void TPesHandlers::TSPesReader_Audio1PayloadStart(TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(0, pts); }
void TPesHandlers::TSPesReader_Audio2PayloadStart(TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(1, pts); }
void TPesHandlers::TSPesReader_Audio3PayloadStart(TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(2, pts); }
void TPesHandlers::TSPesReader_Audio4PayloadStart(TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(3, pts); }

void TPesHandlers::TSPesReader_VideoPESPacketCompleted(TObject* sender, int64_t pts, int pid, int pesHeaderSize,
                                                       int pesSize, int packetCount, bool isValid)
{
    // Bound to the PES readers only: the sender is the reader.
    PesCompleted(static_cast<TTSPesReader*>(sender), pts, pid, pesHeaderSize, pesSize, packetCount, isValid);
}

void TPesHandlers::TSPesReader_VideoPTSWrapArround(TObject*, int64_t packetIndex, int64_t oldPts, int64_t newPts,
                                                   int pid, int bitsWrapped)
{
    PtsWrap(packetIndex, oldPts, newPts, pid, bitsWrapped);
}

void TPesHandlers::TSPesReader_Text1PESPacketCompleted(TObject* sender, int64_t pts, int pid, int, int, int,
                                                       bool isValid)
{
    TextPesCompleted(static_cast<TTSPesReader*>(sender), pts, pid, isValid);
}

void TPesHandlers::TSPesReader_VideoBeforeNewPacket(TObject*) {}
void TPesHandlers::TSPesReader_VideoDisconinuity(TObject*, int64_t, int, int, int) {}
void TPesHandlers::TSPesReader_VideoPESHeaderError(TObject*, const std::string&, int, int64_t) {}
void TPesHandlers::TSPesReader_VideoPESPacketSizeError(TObject*, int64_t, int, int, int) {}
void TPesHandlers::TSPesReader_Audio1Disconinuity(TObject*, int64_t, int, int, int) {}
void TPesHandlers::TSPesReader_Audio1PESHeaderError(TObject*, const std::string&, int, int64_t) {}
void TPesHandlers::TSPesReader_Audio1PESPacketSizeError(TObject*, int64_t, int, int, int) {}
void TPesHandlers::TSPesReader_Text1Disconinuity(TObject*, int64_t, int, int, int) {}

void TPesHandlers::TSAC3Reader1CRCError(TObject* sender, int pid, int64_t, int64_t framePts)
{
    // The log line counts the frames of the analyser that raised it.
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        if (sender == &pass_.Engine().Chain().Ac3(i))
            return Ac3CrcError(i, pid, framePts);
}

void TPesHandlers::TSAC3Reader1AC3PropertyChange(TObject*, int pid, int64_t framePts, const std::string& oldProperties,
                                                 const std::string& newProperties)
{
    Ac3PropertyChange(pid, framePts, oldProperties, newProperties);
}

void TPesHandlers::TSAC3Reader1AC3BufferOverflow(TObject*, int pid, int64_t framePts, int64_t packetIndex)
{
    Ac3BufferOverflow(pid, packetIndex, framePts);
}

void TPesHandlers::TSAC3Reader1FrameReceived(TObject*, int64_t, int64_t) {}
void TPesHandlers::TSAC3Reader2FrameReceived(TObject*, int64_t, int64_t) {}

void TPesHandlers::TSH264Reader1SliceReceived(TObject*, int64_t, int64_t, TH264NALUnitType sliceType)
{
    H264SliceReceived(static_cast<int>(sliceType));
}

void TPesHandlers::TSH264Reader1SequenceParameterSet(TObject*, int64_t pts) { H264SequenceParameterSet(pts); }

void TPesHandlers::TSH264Reader1H264Error(TObject*, int64_t pts, TH264ErrorType errorType, int64_t, int64_t, int64_t)
{
    H264Error(pts, static_cast<int>(errorType));
}

void TPesHandlers::TSH264Reader1VideoInfoChange(TObject*, int64_t pts, TTSH264VideoInfo* oldVideoInfo,
                                                TTSH264VideoInfo* newVideoInfo)
{
    if (oldVideoInfo && newVideoInfo)
        H264VideoInfoChange(pts, *oldVideoInfo, *newVideoInfo);
}

void TPesHandlers::TSH264Reader1FirstSliceSynch(TObject*, int64_t, int64_t, TH264NALUnitType) {}
void TPesHandlers::TSH264Reader1SlicesSequence(TObject*, int64_t, int, const std::string&) {}
void TPesHandlers::TSH264Reader1PESNotStartingWithSynchBytes(TObject*, int64_t) {}
void TPesHandlers::TSH264Reader1ChangedSeqParameter(TObject*, int64_t) {}
void TPesHandlers::TSH264Reader1ChangedPicParameter(TObject*, int64_t) {}

void TPesHandlers::TSMPEG2Reader1Mpeg2BufferOverflowError(TObject*, int64_t packetIndex, int size, int maxSize)
{
    Mpeg2BufferOverflow(packetIndex, size, maxSize);
}

void TPesHandlers::TSMPEG2Reader1Mpeg2BufferError(TObject*, int64_t, int, int) {}
void TPesHandlers::TSMPEG2Reader1NewSequence(TObject*, int, int, const std::string&) {}

// ---------------------------------------------------------------- the shared work

void TPesHandlers::ResetPass()
{
    ClearNalStatistics();
    pass_.State.LastMeterStepPts = 0;
    pass_.State.FullRangeCorrected = 0;
    pass_.State.DuplicatesDeleted = 0;
}

void TPesHandlers::ClearNalStatistics()
{
    for (int64_t& c : pass_.State.NalCounters)
        c = 0;
}

std::string TPesHandlers::NalStatisticsText() const
{
    std::string s = "---------  NAL Unit Type Statistic  ---------\r\n";
    for (int i = 1; i < kNalCounters; ++i)
        s += std::string(kNalLabels[i]) + IntToStr(pass_.State.NalCounters[i]) + "\r\n";
    s += std::string(kNalLabels[0]) + IntToStr(pass_.State.NalCounters[0]) + "\r\n";
    return s;
}

void TPesHandlers::LogNalStatistics(std::string& text) const { text += NalStatisticsText(); }

std::string TPesHandlers::PesInvalidLine(TTSPesReader* reader, int64_t pts, int pid) const
{
    const TTSPesHeader* h = reader->PESHeader();
    std::string size;
    if (h->PaketErrors().Contains(pseSizeMismatch))
        size = " Size: " + IntToStr(h->HeaderLength() + reader->PESDataLength() - 6) + " should be " +
               IntToStr(h->PacketLength());
    return "PES ERROR: For PID " + Hex4(pid) + " " + pass_.RelTime(pts) + " PES paket $" +
           Hex8(reader->PESPacketCount()) + " is invalid (" + TTSPesReader::PesErrorsText(h->PaketErrors()) +
           "), starting with TS paket $" + Hex8(reader->PayloadStartIndex()) + size;
}

void TPesHandlers::PesCompleted(TTSPesReader* reader, int64_t pts, int pid, int, int pesSize, int, bool isValid)
{
    TAnalysisEngine& en = pass_.Engine();
    if (!isValid) {
        en.CountError(pid);
        pass_.Log(PesInvalidLine(reader, pts, pid));
        if (en.DuplicatePacketHandling)
            DeleteRedundantPacket(reader);
    }
    int line = -1;
    if (reader == &en.Chain().VideoPes())
        line = 0;
    for (int i = 0; i < AUDIO_SLOTS; ++i)
        if (reader == &en.Chain().AudioPes(i))
            line = i + 1;
    if (line < 0)
        return;
    pass_.CleaningHost().MeterSample(line, int64_t(pesSize) * 8);
    if (line == 0 && isValid) {
        const int64_t fixed = en.Chain().VideoPes().PESHeader()->PTS_Fixed();
        if (fixed - pass_.State.LastMeterStepPts >= kMeterStepTicks) {
            pass_.CleaningHost().MeterStep();
            pass_.State.LastMeterStepPts = fixed;
        }
    }
}

void TPesHandlers::TextPesCompleted(TTSPesReader* reader, int64_t pts, int pid, bool isValid)
{
    if (isValid)
        return;
    pass_.Engine().CountError(pid);
    pass_.Log(PesInvalidLine(reader, pts, pid));
}

int TPesHandlers::DeleteRedundantPacket(TTSPesReader* reader)
{
    // Only a PES that is too long can hold a repeated packet; the repeats
    // must make up exactly the surplus, each must be a byte-for-byte copy of
    // an earlier queued packet of this PES, and packets without payload
    // (adaptation only, often carrying the PCR, all with the same checksum)
    // or with a PCR are never taken. Anything less certain stays: deleting
    // real data would break what the error report only describes.
    const int surplus = -reader->MissingPESBytes();
    if (surplus <= 0)
        return 0;
    reader->CalcPacketCrcs();
    if (reader->MarkDuplicatePackets() == 0)
        return 0;
    TTSPacketWriter* w = pass_.TSPacketWriter1;
    const int n = reader->TSPacketCount();
    std::vector<int64_t>& repeats = repeats_;
    repeats.clear();
    int sum = 0;
    for (int j = 0; j < n; ++j) {
        const TPesPacketRecord& rj = reader->PacketRecord(j);
        if (!rj.Duplicate || rj.PayloadLength == 0)
            continue;
        const int slotJ = w->FindQueuedPacket(rj.PacketIndex);
        if (slotJ < 0)
            continue;
        // Adaptation field with a PCR (flagged, with room for it): never
        // deleted.
        const uint8_t afc = (w->QueuedPacketByte(slotJ, 3) >> 4) & 3;
        if ((afc == 2 || afc == 3) && w->QueuedPacketByte(slotJ, 4) >= 7 && (w->QueuedPacketByte(slotJ, 5) & 0x10))
            continue;
        // The only unmarked record with this CRC is the first one; the copy
        // must match it byte for byte, or the CRCs merely collided.
        const int i = reader->DuplicateOf(j);
        if (i < 0)
            continue;
        const TPesPacketRecord& ri = reader->PacketRecord(i);
        if (ri.PayloadLength != rj.PayloadLength)
            continue;
        const int slotI = w->FindQueuedPacket(ri.PacketIndex);
        if (slotI < 0)
            continue;
        bool same = true;
        for (int b = 0; b < TS_PACKET_SIZE && same; ++b)
            same = w->QueuedPacketByte(slotI, b) == w->QueuedPacketByte(slotJ, b);
        if (!same)
            continue;
        repeats.push_back(rj.PacketIndex);
        sum += rj.PayloadLength;
    }
    if (repeats.empty() || sum != surplus)
        return 0;
    int deleted = 0;
    for (int64_t no : repeats) {
        if (w->DeleteQueuedPacket(no)) {
            ++deleted;
            ++pass_.State.DuplicatesDeleted;
            pass_.UncountPidPacket(reader->PID());
            pass_.Log("Deleting redundant paket $" + Hex8(no) + " to fix PES size missmatch!");
        } else {
            pass_.Log("Error deleting redundant paket $" + Hex8(no) + " to fix PES size missmatch! Paket not found!");
        }
    }
    return deleted;
}

void TPesHandlers::PtsWrap(int64_t packetIndex, int64_t oldPts, int64_t newPts, int pid, int bitsWrapped)
{
    const std::string dir = oldPts > newPts ? ">" : "<";
    const std::string bits = bitsWrapped == 33 ? "33" : "32";
    pass_.Log("PTS wrap " + dir + " (" + bits + " bit) at paket $" + Hex8(packetIndex) + " on PID $" + Hex4(pid) +
              " detected!");
}

void TPesHandlers::PayloadStart(int slot, int64_t pts)
{
    // Before the stream's first stamp there is no time to note.
    if (pts >= 0)
        pass_.State.LastPesPts = pts;
    if (slot >= 0 && pass_.Engine().Tables().PatchCount > 0)
        pass_.PatchAudioStreamId(slot);
}

void TPesHandlers::Ac3CrcError(int slot, int pid, int64_t framePts)
{
    if (!pass_.State.InRange())
        return;
    pass_.Log("ES  ERROR: For PID " + Hex4(pid) + " " + pass_.RelTime(framePts) + " AC3 paket $" +
              Hex8(pass_.Engine().Chain().Ac3(slot).AC3FrameCount()) + " has AC3 Crc error");
    pass_.Engine().CountError(pid);
}

void TPesHandlers::Ac3PropertyChange(int pid, int64_t framePts, const std::string& oldProps,
                                     const std::string& newProps)
{
    if (!pass_.State.InRange())
        return;
    pass_.Log("ES  WARNING: For PID " + Hex4(pid) + " AC3 properties changed at " + pass_.RelTime(framePts) + " (" +
              oldProps + " >>> " + newProps + ")");
    pass_.Engine().CountWarning(pid);
}

void TPesHandlers::Ac3BufferOverflow(int pid, int64_t packetIndex, int64_t framePts)
{
    if (!pass_.State.InRange())
        return;
    pass_.Log("ES  ERROR: For PID " + Hex4(pid) + " " + pass_.RelTime(framePts) + " AC3 paket $" + Hex8(packetIndex) +
              " generated a buffer overflow");
    pass_.Engine().CountError(pid);
}

void TPesHandlers::Mpeg2BufferOverflow(int64_t packetIndex, int size, int maxSize)
{
    pass_.State.Failed = true;
    pass_.Engine().CountError(pass_.VideoPid());
    pass_.Log("ES  ERROR: MPEG2 buffer overflow error at paket $" + Hex8(packetIndex) + "(" + IntToStr(size) + ">" +
              IntToStr(maxSize) + ") !");
}

void TPesHandlers::H264SliceReceived(int sliceType)
{
    if (!pass_.State.InRange())
        return;
    const int i = (sliceType >= 1 && sliceType <= 13) ? sliceType : 0;
    ++pass_.State.NalCounters[i];
}

void TPesHandlers::H264Error(int64_t pts, int errorType)
{
    if (errorType == 1) {
        pass_.Log("ES  ERROR: H264 Emulation prevention buffer overflow " + PtsToTimeText(pts));
        pass_.State.Failed = true;
    } else {
        pass_.Log("ES  ERROR: H264 Unknown error " + PtsToTimeText(pts));
    }
    // Counted on the video PID, so it reaches the panel, the totals and the
    // result (a PID without a record would lose it).
    pass_.Engine().CountError(pass_.VideoPid());
}

std::string TPesHandlers::VideoInfoText(const TTSH264VideoInfo& info)
{
    std::string level = LevelText(info.Level());
    for (char& c : level)
        if (c == ',')
            c = '.';
    return IntToStr(info.Resolution_H()) + "x" + IntToStr(info.Resolution_V()) +
           (info.Interlaced() ? ", Interlaced" : ", Progressiv") + " / " + NumberText(info.FramesPerSecond()) +
           " fps / " + info.Profile() + "@" + level;
}

void TPesHandlers::H264VideoInfoChange(int64_t pts, const TTSH264VideoInfo& oldInfo, const TTSH264VideoInfo& newInfo)
{
    if (!pass_.State.InRange())
        return;
    pass_.Log("ES  WARNING: H264 video resolution info changed at " + pass_.RelTime(pts));
    pass_.Log("             from " + VideoInfoText(oldInfo));
    pass_.Log("             to   " + VideoInfoText(newInfo));
    pass_.Engine().CountWarning(pass_.VideoPid());
}

void TPesHandlers::PatchSecondSending(int slot, const TTSPacketBuffer& original, int bit)
{
    // A packet sent twice in a row keeps its counter in the copy, so both
    // sendings must carry the same bytes: with the flag cleared in one only,
    // a decoder keeps whichever it likes and the flag may survive. The
    // second sending is never handed to the PES reader, so no position
    // points at it; it is the next queued packet of the PID. A set reaches
    // the handler only at the start of the PES after it, by which time that
    // packet is always queued behind its original.
    TTSPacketWriter* w = pass_.TSPacketWriter1;
    const int next = w->NextQueuedPacketOfPid(slot);
    TTSPacketBuffer second;
    if (next >= 0 && w->CopyQueuedPacket(next, second) && RepeatsPacket(original.Data, second.Data))
        w->SetQueuedPacketBit(next, bit, kFullRangeTarget != 0);
}

void TPesHandlers::H264SequenceParameterSet(int64_t)
{
    TAnalysisEngine& en = pass_.Engine();
    const TAnalysisTables& t = en.Tables();
    TTSH264Reader* h = &en.Chain().H264();
    const int vpid = pass_.VideoPid();
    const int64_t k = pass_.State.NalCounters[kNalSps];
    const int f = h->VideoFullRangeFlag() ? 1 : 0;
    if (!t.FullRangeCorrect) {
        // The bit is rewritten only after the user chose the correction; a
        // declined or never asked question leaves the packets as they are.
        if (f == kFullRangeTarget)
            return;
        if (!t.FullRangeIgnore) {
            pass_.Log(f == 1 ? "ES  WARNING: video_full_range_flag on" : "ES  WARNING: video_full_range_flag off");
            en.CountWarning(vpid);
        }
        return;
    }
    if (!pass_.State.InRange())
        return;
    // A set that could not be read whole gives no trustworthy bit position.
    const int64_t bitPos = h->Sps().Bad ? 0 : h->VideoFullRangeFlagPesBit();
    if (bitPos <= 0) {
        pass_.Log("ES  WARNING: Sequence Parameter Set (" + IntToStr(k) + ") video_full_range_flag not found!");
        en.CountWarning(vpid);
        return;
    }
    int64_t packetNo = 0;
    uint8_t offset = 0;
    if (!en.Chain().VideoPes().PacketOfPESOffset(static_cast<int>(bitPos / 8), packetNo, offset)) {
        pass_.Log("ES  ERROR: Changing Sequence Parameter Set (" + IntToStr(k) +
                  ") video_full_range_flag byte position not found!");
        en.CountError(vpid);
        return;
    }
    TTSPacketWriter* w = pass_.TSPacketWriter1;
    const int slot = w->FindQueuedPacket(packetNo);
    if (slot < 0) {
        pass_.Log("ES  ERROR: Changing Sequence Parameter Set (" + IntToStr(k) + ") video_full_range_flag in paket $" +
                  Hex8(packetNo) + " failed! Packet not found in buffer!");
        en.CountError(vpid);
        return;
    }
    const int byte = w->QueuedPacketByte(slot, offset);
    int& expected = pass_.State.FullRangeExpectedByte;
    if (expected >= 0 && byte != expected) {
        pass_.Log("ES  ERROR: Sequence Parameter Set (" + IntToStr(k) + ") video_full_range_flag byte is " +
                  IntToStr(byte) + " and should be " + IntToStr(expected) + " !");
        en.CountError(vpid);
    } else {
        expected = byte;
    }
    // The packet as it was read: its second sending, if it was sent twice,
    // is a copy of these bytes.
    TTSPacketBuffer original;
    w->CopyQueuedPacket(slot, original);
    const int bit = int(offset) * 8 + int(bitPos % 8);
    if (w->SetQueuedPacketBit(slot, bit, kFullRangeTarget != 0)) {
        ++pass_.State.FullRangeCorrected;
        PatchSecondSending(slot, original, bit);
    } else {
        pass_.Log("ES  ERROR: Changing Sequence Parameter Set (" + IntToStr(k) + ") video_full_range_flag in paket $" +
                  Hex8(packetNo) + " failed!");
        en.CountError(vpid);
    }
}

} // namespace tw
