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
    TAnalysisEngine& en = pass_.Engine();
    TTSPesReader* av[1 + AUDIO_SLOTS] = {&en.Chain().VideoPes(), &en.Chain().AudioPes(0), &en.Chain().AudioPes(1),
                                         &en.Chain().AudioPes(2), &en.Chain().AudioPes(3)};
    for (int i = 0; i < 1 + AUDIO_SLOTS; ++i) {
        TTSPesReader* r = av[i];
        const int slot = i - 1;
        r->OnPESPacketCompleted = [this, r](TObject*, int64_t pts, int pid, int hs, int size, int count, bool ok) {
            PesCompleted(r, pts, pid, hs, size, count, ok);
        };
        r->OnPTSWrapArround = [this](TObject*, int64_t idx, int64_t oldPts, int64_t newPts, int pid, int bits) {
            PtsWrap(idx, oldPts, newPts, pid, bits);
        };
        r->OnPayloadStart = [this, slot](TObject*, int64_t pts, int64_t, int, int64_t) { PayloadStart(slot, pts); };
        r->OnPESHeaderError = [](TObject*, const std::string&, int, int64_t) {};
        r->OnPESPacketSizeError = [](TObject*, int64_t, int, int, int) {};
        r->OnDisconinuity = [](TObject*, int64_t, int, int, int) {};
    }
    en.Chain().VideoPes().OnBeforeNewPacket = [](TObject*) {};
    for (int i = 0; i < TEXT_SLOTS; ++i) {
        TTSPesReader* r = &en.Chain().TextPes(i);
        r->OnPESPacketCompleted = [this, r](TObject*, int64_t pts, int pid, int, int, int, bool ok) {
            TextPesCompleted(r, pts, pid, ok);
        };
        r->OnDisconinuity = [](TObject*, int64_t, int, int, int) {};
    }
    for (int i = 0; i < AUDIO_SLOTS; ++i) {
        TTSAC3Reader* a = &en.Chain().Ac3(i);
        a->OnCRCError = [this, i](TObject*, int pid, int64_t, int64_t framePts) { Ac3CrcError(i, pid, framePts); };
        a->OnAC3PropertyChange = [this](TObject*, int pid, int64_t framePts, const std::string& oldProps,
                                        const std::string& newProps) {
            Ac3PropertyChange(pid, framePts, oldProps, newProps);
        };
        a->OnAC3BufferOverflow = [this](TObject*, int pid, int64_t framePts, int64_t packetIndex) {
            Ac3BufferOverflow(pid, packetIndex, framePts);
        };
    }
    en.Chain().Mpeg2().OnMpeg2BufferOverflowError = [this](TObject*, int64_t idx, int size, int max) {
        Mpeg2BufferOverflow(idx, size, max);
    };
    TTSH264Reader* h = &en.Chain().H264();
    h->OnSliceReceived = [this](TObject*, int64_t, int64_t, TH264NALUnitType type) {
        H264SliceReceived(static_cast<int>(type));
    };
    h->OnH264Error = [this](TObject*, int64_t pts, TH264ErrorType type, int64_t, int64_t, int64_t) {
        H264Error(pts, static_cast<int>(type));
    };
    h->OnVideoInfoChange = [this](TObject*, int64_t pts, TTSH264VideoInfo* o, TTSH264VideoInfo* n) {
        if (o && n)
            H264VideoInfoChange(pts, *o, *n);
    };
    h->OnSequenceParameterSet = [this](TObject*, int64_t pts) { H264SequenceParameterSet(pts); };
}

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
            DeleteRedundantPackets(reader);
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

int TPesHandlers::DeleteRedundantPackets(TTSPesReader* reader)
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
    std::vector<int64_t> repeats;
    int sum = 0;
    for (int j = 0; j < n; ++j) {
        const TPesPacketRecord& rj = reader->PacketRecord(j);
        if (!rj.Duplicate || rj.PayloadLength == 0)
            continue;
        const int slotJ = w->FindQueuedPacket(rj.PacketIndex);
        if (slotJ < 0)
            continue;
        // Adaptation field with a PCR: never deleted.
        const uint8_t afc = (w->QueuedPacketByte(slotJ, 3) >> 4) & 3;
        if ((afc == 2 || afc == 3) && w->QueuedPacketByte(slotJ, 4) > 0 && (w->QueuedPacketByte(slotJ, 5) & 0x10))
            continue;
        bool confirmed = false;
        for (int i = 0; i < j && !confirmed; ++i) {
            const TPesPacketRecord& ri = reader->PacketRecord(i);
            if (ri.Duplicate || ri.PayloadCrc != rj.PayloadCrc || ri.PayloadLength != rj.PayloadLength)
                continue;
            const int slotI = w->FindQueuedPacket(ri.PacketIndex);
            if (slotI < 0)
                continue;
            bool same = true;
            for (int b = 0; b < TS_PACKET_SIZE && same; ++b)
                same = w->QueuedPacketByte(slotI, b) == w->QueuedPacketByte(slotJ, b);
            confirmed = same;
        }
        if (!confirmed)
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
    if (w->SetQueuedPacketBit(slot, int(offset) * 8 + int(bitPos % 8), kFullRangeTarget != 0)) {
        ++pass_.State.FullRangeCorrected;
    } else {
        pass_.Log("ES  ERROR: Changing Sequence Parameter Set (" + IntToStr(k) + ") video_full_range_flag in paket $" +
                  Hex8(packetNo) + " failed!");
        en.CountError(vpid);
    }
}

} // namespace tw
