// The scan passes of the analysis: fill packets at both ends, PIDs, stream
// types, PATs and PMTs. Each pass drives the scanning reader packet by packet
// (which dispatches every packet to the readers that are active), counts
// broken packets, stops at its packet limit and updates the progress window.
#include "app/engine/AnalysisEngine.h"
#include "app/engine/StreamTypeScan.h"

#include "base/SysUtils.h"
#include "ts/TSH264Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

namespace {

// The progress step of a pass: a hundred updates at most. Recordings with
// fewer packets than that still get one update per packet instead of a
// division by zero.
int64_t ProgressStep(int64_t limit) {
    const int64_t step = limit / 100;
    return step > 0 ? step : 1;
}

} // namespace

bool TAnalysisEngine::IsBrokenPacket() const {
    const TTSPacketHeader* h = TSPacketReader1->TSPacketHeader();
    if (h->Valid()) return false;
    // A packet that is invalid only because it is scrambled is good.
    TTSPaketErrors onlyScrambled;
    onlyScrambled.Include(peScrambled);
    return !(h->PaketErrors() == onlyScrambled);
}

bool TAnalysisEngine::CountBrokenPacket(int& errors, int limit) {
    ++errors;
    if (errors > limit) {
        Log("Scan aborted (too many errors) !");
        return true;
    }
    if (errors > SCAN_LOG_ERROR_LIMIT && !tables_->LogSuppressed) {
        tables_->LogSuppressed = true;
        Log("");
        Log("Too many errors skipping log entries!");
        Log("");
    }
    return false;
}

void TAnalysisEngine::ShowProgress(int64_t total, int64_t position) {
    host_.Progress->ShowProgress(total, position);
    host_.Progress->ProcessMessages();
}

// ---------------------------------------------------------------------------
// Fill packets

int64_t TAnalysisEngine::CountFillPacketsAtStart() {
    TTSPacketReader* r = TSPacketReader1;
    int64_t n = 0;
    r->SetPacketIndex(0);
    while (r->PacketIndex() < r->PacketCount() && !r->Eof()) {
        if (r->TSPacketHeader()->PID() != 0) break;
        ++n;
        const int64_t before = r->PacketIndex();
        r->Next();
        if (r->PacketIndex() == before) break;
    }
    return n < 10 ? 0 : n;
}

int64_t TAnalysisEngine::CountFillPacketsAtEnd() {
    TTSPacketReader* r = TSPacketReader1;
    int64_t n = 0;
    if (r->PacketCount() < 2) return 0;
    r->SetPacketIndex(r->PacketCount() - 1);
    while (r->PacketIndex() > 0) {
        if (r->TSPacketHeader()->PID() != 0) break;
        ++n;
        r->Previous();
    }
    return n < 10 ? 0 : n;
}

// ---------------------------------------------------------------------------
// The common loop

// Runs the packet loop over packets 1..limit: `onPacket` sees each good
// packet and may end the pass by returning false; `progress` maps the
// packet index to the progress window. Returns when the limit, the end of the
// file, the error limit or a cancel ends the pass.
template <class OnPacket, class Progress>
static void RunScanLoop(TAnalysisEngine& e, int64_t limit, int& errors, int errorLimit, OnPacket onPacket,
                        Progress progress) {
    TTSPacketReader* r = e.TSPacketReader1;
    r->SetPacketIndex(0);
    if (r->PacketCount() < limit) limit = r->PacketCount() - 1;
    const int64_t step = ProgressStep(limit);
    while (r->PacketIndex() < limit && r->PacketIndex() < r->PacketCount()) {
        const int64_t next = r->PacketIndex() + 1;
        r->SetPacketIndex(next);
        // A resync can push the last packets past the end of the file: the
        // reader then stays where it was.
        if (r->PacketIndex() != next) break;
        if (e.IsBrokenPacket()) {
            if (e.CountBrokenPacket(errors, errorLimit)) break;
        } else if (!onPacket()) {
            break;
        }
        if (next % step == 0) {
            progress(next);
            if (e.CancelRequested()) break;
        }
    }
}

void TAnalysisEngine::ScanPids(int64_t limit) {
    TAnalysisTables& t = *tables_;
    host_.Progress->SetProgressStatus("Searching for PIDs");
    t.LogSuppressed = false;
    int errors = 0;
    int64_t effective = TSPacketReader1->PacketCount() < limit ? TSPacketReader1->PacketCount() - 1 : limit;
    const TTSPacketHeader* h = TSPacketReader1->TSPacketHeader();
    RunScanLoop(
        *this, limit, errors, SCAN_ERROR_LIMIT,
        [&]() {
            const int pid = h->PID();
            const bool pcr = (h->AdaptationFieldControl() == afc_adaptation_field_only ||
                              h->AdaptationFieldControl() == afc_adaptation_field_followed_by_payload) &&
                             h->AdaptationField()->PCRFlag();
            int idx = t.FoundIndexFast(pid);
            if (idx >= 0) {
                TFoundStream& f = t.FoundStreams[static_cast<size_t>(idx)];
                ++f.PacketCount;
                if (pcr) f.HasPcr = true;
            } else {
                idx = t.AddFoundPid(pid, 1, "");
                if (idx >= 0) t.FoundStreams[static_cast<size_t>(idx)].HasPcr = pcr;
            }
            return true;
        },
        [&](int64_t pos) { ShowProgress(effective, pos); });
    host_.Progress->HideProgress();
    t.LogSuppressed = false;
}

void TAnalysisEngine::ScanStreamTypes(int64_t limit) { typeScan_->Run(limit); }

void TAnalysisEngine::ScanPats(int64_t limit) {
    TAnalysisTables& t = *tables_;
    host_.Progress->SetProgressStatus("Searching for access tables");
    t.LogSuppressed = false;
    int errors = 0;
    const int64_t effective = TSPacketReader1->PacketCount() < limit ? TSPacketReader1->PacketCount() - 1 : limit;
    TSPatReader_Scan->SetPID(0);
    TSPatReader_Scan->SetActive(true);
    RunScanLoop(
        *this, limit, errors, SCAN_ERROR_LIMIT, []() { return true; },
        [&](int64_t pos) { ShowProgress(effective, pos); });
    TSPatReader_Scan->SetActive(false);
    host_.Progress->HideProgress();
    t.LogSuppressed = false;
}

void TAnalysisEngine::ScanPmts(int64_t limit) {
    TAnalysisTables& t = *tables_;
    host_.Progress->SetProgressStatus("Searching for program maps");
    t.LogSuppressed = false;
    int errors = 0; // over all PMT PIDs together
    // The total is a 32-bit product, as the progress window was always given.
    const int64_t total = static_cast<int32_t>(static_cast<uint32_t>(t.PmtPidCount) * static_cast<uint32_t>(limit));
    for (int i = 0; i < t.PmtPidCount && !cancelRequested_; ++i) {
        TSPmtReader_Scan->SetPID(t.PmtPids[static_cast<size_t>(i)]);
        TSPmtReader_Scan->SetActive(true);
        RunScanLoop(
            *this, limit, errors, PMT_SCAN_ERROR_LIMIT, []() { return true; },
            [&](int64_t pos) { ShowProgress(total, pos); });
        TSPmtReader_Scan->SetActive(false);
    }
    host_.Progress->HideProgress();
    t.LogSuppressed = false;
}

void TAnalysisEngine::CollectPatPmtPids() {
    TAnalysisTables& t = *tables_;
    for (int i = 0; i < TSPatReader_Scan->PATEntryCount(); ++i) {
        const int pid = TSPatReader_Scan->Entry(i).PID;
        if (t.HasPmtPid(pid)) continue;
        if (t.IsFoundPid(pid)) {
            if (t.PmtPidCount < MAX_PMT_PIDS) t.PmtPids[static_cast<size_t>(t.PmtPidCount++)] = pid;
        } else {
            // Listed once, however many PATs name it.
            const std::string item = "$" + IntToHex(pid, 4);
            if (t.IgnoredPmtPidList.find(item) != std::string::npos) continue;
            ++t.IgnoredPmtPidCount;
            if (!t.IgnoredPmtPidList.empty()) t.IgnoredPmtPidList += ", ";
            t.IgnoredPmtPidList += item;
        }
    }
}

// ---------------------------------------------------------------------------
// Dumps

void TAnalysisEngine::LogPatDump(TTSPatReader* reader, int number) {
    Log("\r\n----------- PAT " + IntToStr(number) + " -----------\r\n" + reader->PatDumpText() +
        "-----------------------------\r\n");
}

void TAnalysisEngine::LogPmtDump(TTSPmtReader* reader, int number) {
    Log("\r\n----------- PMT " + IntToStr(number) + " -----------\r\n" + reader->PmtDumpText() +
        "-----------------------------\r\n");
}

void TAnalysisEngine::LogH264Dump(TTSH264Reader* reader) {
    Log("\r\n-------- H264 Video ---------\r\n" + reader->SpsDumpText() + "-----------------------------\r\n");
}

} // namespace tw
