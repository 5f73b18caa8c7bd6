// Handlers bound to the events of the scanning chain: the questions at
// opening, invalid packets and resyncs, received and broken PAT/PMT sections,
// the time stamps and stream ids of the scanning PES reader and the errors of
// the scanning H.264 analyser. The cleaning chain's handlers bind to the
// cleaning components (RemuxPacketReader, TSPesReader_Video, ...) the same
// way from their own unit; they share the engine's counters and state.
#include "analysis/StreamHandlers.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/ScanPasses.h"

#include "analysis/MainTexts.h"
#include "analysis/TimeStampCorrection.h"
#include "base/SysUtils.h"
#include "ts/TSH264Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

void TScanHandlers::Bind() {
    using namespace std::placeholders;
    scan_.Reader()->OnNoValidStartByte = [this](TObject* s, int offset, bool& c) {
        TSPacketReader1NoValidStartByte(s, offset, c);
    };
    scan_.Reader()->OnM2TSPacketsDetectEvent = [this](TObject* s, bool& c) { TSPacketReader1M2TSPacketsDetectEvent(s, c); };
    scan_.Reader()->OnScrambledPacketEvent = [this](TObject* s, int64_t n, int pid, int& tsc, bool& ignore) {
        TSPacketReader1ScrambledPacketEvent(s, n, pid, tsc, ignore);
    };
    scan_.Reader()->OnInvalidPacketEvent = [this](TObject* s, int64_t n, const std::string& e) {
        TSPacketReader1InvalidPacketEvent(s, n, e);
    };
    scan_.Reader()->OnPacketResynchEvent = [this](TObject* s, int64_t n, int64_t offset) {
        TSPacketReader1PacketResynchEvent(s, n, offset);
    };
    scan_.PatScan()->OnPatReceived = [this](TObject* s) { TSPatReader_ScanPatReceived(s); };
    scan_.PatScan()->OnInvalidPat = [this](TObject* s, const std::string& e, int tableId, int64_t index) {
        TSPatReader_ScanInvalidPat(s, e, tableId, index);
    };
    scan_.PmtScan()->OnPmtReceived = [this](TObject* s) { TSPmtReader_ScanPmtReceived(s); };
    scan_.PmtScan()->OnPmtErrorReceived = [this](TObject* s) { TSPmtReader_ScanPmtErrorReceived(s); };
    scan_.PesScan()->OnPESPacketCompleted = [this](TObject* s, int64_t pts, int pid, int hs, int size, int count,
                                                    bool valid) {
        TSPesReader_ScanPESPacketCompleted(s, pts, pid, hs, size, count, valid);
    };
    scan_.H264Scan()->OnH264Error = [this](TObject* s, int64_t pts, TH264ErrorType type, int64_t p1, int64_t p2,
                                            int64_t p3) {
        TSH264Reader_ScanH264Error(s, pts, static_cast<int>(type), p1, p2, p3);
    };
}

void TScanHandlers::TSPacketReader1NoValidStartByte(TObject*, int offset, bool& Continue) {
    if (engine_.Tables().LogSuppressed) return;
    Continue = false;
    if (engine_.Questions().Ask(TAnalysisQuestion::NoValidStartByte, engine_.MsgText(mmStartByteNotFound))) {
        engine_.Log("Working with an offset of " + IntToStr(offset) + " bytes");
        Continue = true;
    }
    if (!Continue) {
        engine_.Log("ABORTED !!!");
        scan_.OpenDeclined = true;
    }
}

void TScanHandlers::TSPacketReader1M2TSPacketsDetectEvent(TObject*, bool& Continue) {
    Continue = false;
    if (engine_.Questions().Ask(TAnalysisQuestion::M2TSDetected, engine_.MsgText(mmM2tsDetected))) {
        engine_.Log("Working in M2TS mode with 192 byte pakets!");
        engine_.Log("Pakets will be converted from 192 byte pakets to 188 byte pakets!");
        Continue = true;
    } else {
        engine_.Log("ABORTED !!!");
        scan_.OpenDeclined = true;
    }
}

void TScanHandlers::TSPacketReader1ScrambledPacketEvent(TObject*, int64_t, int, int&, bool& Ignore) {
    if (engine_.AskScrambledMode() == TScrambledMode::IgnoreControl) Ignore = true;
}


void TScanHandlers::TSPacketReader1InvalidPacketEvent(TObject*, int64_t packetNo, const std::string& errors) {
    if (engine_.Tables().LogSuppressed) return;
    if (engine_.ScrambledMode == TScrambledMode::SkipScrambled && errors == "transport_scrambling_control") return;
    engine_.Log("TS  ERROR: Invalid paket $" + IntToHex(packetNo, 8) + "! Error: " + errors);
}

void TScanHandlers::TSPacketReader1PacketResynchEvent(TObject*, int64_t packetNo, int64_t offset) {
    if (engine_.Tables().LogSuppressed) return;
    const int64_t last = engine_.LastResyncOffset;
    if (offset >= last) {
        // The packet found is delivered under the number whose read lost
        // the sync: that is the one named.
        engine_.Log("Resync found for paket $" + IntToHex(packetNo, 8) + " with Offset: " + IntToStr(offset));
    } else {
        engine_.Log("TS  ERROR: Paket $" + IntToHex(packetNo - 1, 8) + " with " + IntToStr(last - offset) + " missing bytes");
        engine_.Log("Resync found for paket $" + IntToHex(packetNo, 8) + " with Offset: " + IntToStr(offset));
    }
    engine_.LastResyncOffset = offset;
}

void TScanHandlers::TSPatReader_ScanPatReceived(TObject* sender) {
    TAnalysisTables& t = engine_.Tables();
    TTSPatReader* pat = static_cast<TTSPatReader*>(sender);
    if (t.SavedPatCount >= MAX_SAVED_PATS) return;
    for (int i = 0; i < t.SavedPatCount; ++i) {
        if (t.SavedPats[static_cast<size_t>(i)].Crc32 == pat->CRC32()) {
            ++t.SavedPats[static_cast<size_t>(i)].Occurrences;
            return;
        }
    }
    TSavedPat& p = t.SavedPats[static_cast<size_t>(t.SavedPatCount)];
    p = TSavedPat();
    p.Pid = pat->PID();
    p.TransportStreamID = pat->TransportStreamID();
    p.VersionNumber = pat->VersionNumber();
    p.PacketIndex = pat->PacketIndex();
    p.Crc32 = pat->CRC32();
    p.Occurrences = 1;
    p.Used = true;
    // The programs of this section (the reader keeps those of the table's
    // other sections too, and the PMT PIDs are taken from all of them): a
    // one-packet section holds 42 programs at most, so 64 places never cut.
    p.EntryCount = 0;
    for (int k = 0; k < pat->PATEntryCount() && p.EntryCount < MAX_PAT_PROGRAMS; ++k) {
        if (pat->EntrySection(k) != pat->SectionNumber()) continue;
        p.ProgramNumbers[static_cast<size_t>(p.EntryCount)] = static_cast<uint16_t>(pat->Entry(k).ProgramNumber);
        p.PmtPids[static_cast<size_t>(p.EntryCount++)] = static_cast<uint16_t>(pat->Entry(k).PID);
    }
    scan_.CollectPatPmtPids();
    engine_.LogPatDump(pat, t.SavedPatCount);
    ++t.SavedPatCount;
}

void TScanHandlers::TSPatReader_ScanInvalidPat(TObject*, const std::string& errorString, int tableId,
                                                 int64_t packetIndex) {
    engine_.Log("Invalid PAT (" + IntToStr(tableId) + ") in paket $" + IntToHex(packetIndex, 8) + ": " + errorString);
}

void TScanHandlers::TSPmtReader_ScanPmtReceived(TObject* sender) {
    TAnalysisTables& t = engine_.Tables();
    TTSPmtReader* pmt = static_cast<TTSPmtReader*>(sender);
    if (t.SavedPmtCount >= MAX_SAVED_PMTS) return;
    for (int i = 0; i < t.SavedPmtCount; ++i) {
        if (t.SavedPmts[static_cast<size_t>(i)].Crc32 == pmt->CRC32()) {
            ++t.SavedPmts[static_cast<size_t>(i)].Occurrences;
            return;
        }
    }
    TSavedPmt& p = t.SavedPmts[static_cast<size_t>(t.SavedPmtCount)];
    p.Pid = pmt->PID();
    p.PacketIndex = pmt->PacketIndex();
    p.Crc32 = pmt->CRC32();
    p.Occurrences = 1;
    p.PacketCount = pmt->PMTPacketCount();
    p.Used = true;
    p.HasVideo = pmt->VideoEntryCount() > 0;
    // Which program each stream belongs to, for a table selected later that
    // turns out to be damaged.
    const int32_t program = TAnalysisTables::ProgramKey(pmt->PID(), pmt->ProgramNumber());
    t.NoteListedClock(program, pmt->PcrPid());
    for (int k = 0; k < pmt->PMTEntryCount(); ++k) {
        const TPmtEntry& e = pmt->Entry(k);
        t.NoteListedPid(e.PID, program);
        t.NoteListedType(e.PID, program,
                         TAnalysisTables::TypeKey(e.StreamType, e.AC3, e.EAC3, e.AAC, e.DTS, e.Teletext, e.Subtitle));
    }
    engine_.LogPmtDump(pmt, t.SavedPmtCount);
    ++t.SavedPmtCount;
}

void TScanHandlers::TSPmtReader_ScanPmtErrorReceived(TObject*) { engine_.Log("PES Error: Invalid PMT. Ignoring this PMT!"); }

void TScanHandlers::TSPesReader_ScanPESPacketCompleted(TObject*, int64_t, int, int, int, int, bool isValid) {
    if (!isValid) return;
    const TTSPesHeader* h = scan_.PesScan()->PESHeader();
    // A stamp the header does not carry leaves the latest one as it was:
    // absent is not 0.
    if (h->HasPTS()) scan_.ScanPesPts = h->PTS();
    if (h->HasDTS()) scan_.ScanPesDts = h->DTS();
}

void TScanHandlers::TSH264Reader_ScanH264Error(TObject*, int64_t pts, int errorType, int64_t param1, int64_t,
                                                 int64_t) {
    const std::string time = PtsToTimeText(pts);
    switch (errorType) {
    case 1: engine_.Log("ES  ERROR: H264 Emulation prevention buffer overflow " + time); break;
    case 2: engine_.Log("ES  ERROR: H264 sequence parameter buffer overflow " + time + " size: " + IntToStr(param1)); break;
    case 3: engine_.Log("ES  ERROR: H264 picture parameter buffer overflow " + time + " size: " + IntToStr(param1)); break;
    default: engine_.Log("ES  ERROR: H264 Unknown error " + time); break;
    }
}

} // namespace tw
