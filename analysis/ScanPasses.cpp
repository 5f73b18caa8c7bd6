// The scan passes of the analysis: fill packets at both ends, PIDs, stream
// types, PATs and PMTs. Each pass drives the scanning reader packet by packet
// (which dispatches every packet to the readers that are active), counts
// broken packets, stops at its packet limit and updates the progress window.
#include "analysis/ScanPasses.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/StreamTypeScan.h"
#include "ts/TSAC3Reader.h"
#include "ts/TSMPEG2Reader.h"

#include "base/SysUtils.h"
#include "ts/TSH264Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"

#include <algorithm>
#include <limits>

namespace tw {

namespace {
template <class T> T* Make(TComponent* owner, const char* name) {
    T* c = new T(owner);
    c->SetName(name);
    return c;
}
} // namespace

TScanPasses::TScanPasses(TAnalysisEngine& engine) : TComponent(&engine), engine_(engine) {
    SetName("ScanPasses");
    // Consumers are fed in the order they register: the PAT, PMT and PES
    // readers on the packet reader; the MPEG-2, H.264 and AC-3 analysers on
    // the PES reader.
    reader_ = Make<TTSPacketReader>(this, "TSPacketReader1");
    patScan_ = Make<TTSPatReader>(this, "TSPatReader_Scan");
    patScan_->SetTSPacketReader(reader_);
    pmtScan_ = Make<TTSPmtReader>(this, "TSPmtReader_Scan");
    pmtScan_->SetTSPacketReader(reader_);
    pesScan_ = Make<TTSPesReader>(this, "TSPesReader_Scan");
    pesScan_->SetTSPacketReader(reader_);
    mpeg2Scan_ = Make<TTSMPEG2Reader>(this, "TSMPEG2Reader_Scan");
    mpeg2Scan_->SetTSPesReader(pesScan_);
    h264Scan_ = Make<TTSH264Reader>(this, "TSH264Reader_Scan");
    h264Scan_->SetTSPesReader(pesScan_);
    ac3Scan_ = Make<TTSAC3Reader>(this, "TSAC3Reader_Scan");
    ac3Scan_->SetTSPesReader(pesScan_);
    typeScan_ = std::make_unique<TStreamTypeScan>(engine, *this);
}

TScanPasses::~TScanPasses() = default;

bool TScanPasses::CancelRequested() const { return engine_.CancelRequested(); }

void TScanPasses::Deactivate() {
    ac3Scan_->SetActive(false);
    mpeg2Scan_->SetActive(false);
    h264Scan_->SetActive(false);
    pesScan_->SetActive(false);
    pmtScan_->SetActive(false);
    patScan_->SetActive(false);
    reader_->SetActive(false);
}

namespace {

// The progress step of a pass: a hundred updates at most. Recordings with
// fewer packets than that still get one update per packet instead of a
// division by zero.
int64_t ProgressStep(int64_t limit) {
    const int64_t step = limit / 100;
    return step > 0 ? step : 1;
}

} // namespace

bool TScanPasses::IsBrokenPacket() const {
    const TTSPacketHeader* h = reader_->TSPacketHeader();
    if (h->Valid()) return false;
    // A packet that is invalid only because it is scrambled is good.
    TTSPaketErrors onlyScrambled;
    onlyScrambled.Include(peScrambled);
    return !(h->PaketErrors() == onlyScrambled);
}

bool TScanPasses::CountBrokenPacket(int& errors, int limit) {
    ++errors;
    if (errors > limit) {
        engine_.Log("Scan aborted (too many errors) !");
        return true;
    }
    if (errors > SCAN_LOG_ERROR_LIMIT && !engine_.Tables().LogSuppressed) {
        engine_.Tables().LogSuppressed = true;
        engine_.Log("");
        engine_.Log("Too many errors skipping log entries!");
        engine_.Log("");
    }
    return false;
}

// ---------------------------------------------------------------------------
// Fill packets

int64_t TScanPasses::CountFillPacketsAtStart() {
    TTSPacketReader* r = reader_;
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

int64_t TScanPasses::CountFillPacketsAtEnd() {
    TTSPacketReader* r = reader_;
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

int64_t TScanPasses::ReadBound(int64_t limit, int64_t packetCount) {
    // Broken packets do not count towards a pass's limit, or a long dropout
    // would use it up and hide what lies behind it; they still cost work, so
    // the packets read are bounded too.
    const int64_t most = limit > std::numeric_limits<int64_t>::max() / kReadBoundFactor
                             ? std::numeric_limits<int64_t>::max()
                             : limit * kReadBoundFactor;
    return std::min(most, packetCount - 1);
}

// Runs the packet loop from packet 1 on until `limit` good packets were
// seen: `onPacket` sees each good packet and may end the pass by returning
// false; `progress` maps the packet index to the progress window. Returns
// when the limit, the read bound, the end of the file, the error limit or a
// cancel ends the pass; true when the read bound ended it, before the good
// packets were all seen and before the end of the file.
template <class OnPacket, class Progress>
static bool RunScanLoop(TScanPasses& e, int64_t limit, int& errors, int errorLimit, OnPacket onPacket,
                        Progress progress) {
    TTSPacketReader* r = e.Reader();
    r->SetPacketIndex(0);
    if (r->PacketCount() < limit) limit = r->PacketCount() - 1;
    const int64_t bound = TScanPasses::ReadBound(limit, r->PacketCount());
    const int64_t step = ProgressStep(limit);
    int64_t good = 0;
    while (good < limit && r->PacketIndex() < bound && r->PacketIndex() < r->PacketCount()) {
        const int64_t next = r->PacketIndex() + 1;
        r->SetPacketIndex(next);
        // A resync can push the last packets past the end of the file: the
        // reader then stays where it was.
        if (r->PacketIndex() != next) return false;
        if (e.IsBrokenPacket()) {
            if (e.CountBrokenPacket(errors, errorLimit)) return false;
        } else {
            ++good;
            if (!onPacket()) return false;
        }
        if (next % step == 0) {
            progress(std::min(next, limit));
            if (e.CancelRequested()) return false;
        }
    }
    return good < limit && r->PacketIndex() >= bound && bound < r->PacketCount() - 1;
}

void TScanPasses::ScanPids(int64_t limit) {
    TAnalysisTables& t = engine_.Tables();
    engine_.Progress().SetProgressStatus("Searching for PIDs");
    t.LogSuppressed = false;
    int errors = 0;
    int64_t effective = reader_->PacketCount() < limit ? reader_->PacketCount() - 1 : limit;
    const TTSPacketHeader* h = reader_->TSPacketHeader();
    // A dropout ends no PID scan: a stream whose first packets lie behind
    // the damage must still be found, or the program's table loses it as
    // absent. When the damage outlasts what the scan may read, the streams
    // it did not meet are left out for that reason, and it is said.
    t.PidScanEndedInDamage = RunScanLoop(
        *this, limit, errors, std::numeric_limits<int>::max(),
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
        [&](int64_t pos) { engine_.ShowProgress(effective, pos); });
    engine_.Progress().HideProgress();
    t.LogSuppressed = false;
}

void TScanPasses::ScanStreamTypes(int64_t limit) { typeScan_->Run(limit); }

void TScanPasses::ScanPats(int64_t limit) {
    TAnalysisTables& t = engine_.Tables();
    engine_.Progress().SetProgressStatus("Searching for access tables");
    t.LogSuppressed = false;
    int errors = 0;
    const int64_t effective = reader_->PacketCount() < limit ? reader_->PacketCount() - 1 : limit;
    patScan_->SetPID(0);
    patScan_->SetActive(true);
    // As the PID scan: a table behind a dropout is still read.
    RunScanLoop(
        *this, limit, errors, std::numeric_limits<int>::max(), []() { return true; },
        [&](int64_t pos) { engine_.ShowProgress(effective, pos); });
    patScan_->SetActive(false);
    engine_.Progress().HideProgress();
    t.LogSuppressed = false;
}

void TScanPasses::ScanPmts(int64_t limit) {
    TAnalysisTables& t = engine_.Tables();
    engine_.Progress().SetProgressStatus("Searching for program maps");
    t.LogSuppressed = false;
    // A dropout ends no PMT scan either (the packet limit bounds each PID's
    // pass); the log is silenced once over all PMT PIDs together.
    int errors = 0;
    // The total is a 32-bit product, as the progress window was always given.
    const int64_t total = static_cast<int32_t>(static_cast<uint32_t>(t.PmtPidCount) * static_cast<uint32_t>(limit));
    for (int i = 0; i < t.PmtPidCount && !engine_.CancelRequested(); ++i) {
        pmtScan_->SetPID(t.PmtPids[static_cast<size_t>(i)]);
        pmtScan_->SetActive(true);
        RunScanLoop(
            *this, limit, errors, std::numeric_limits<int>::max(), []() { return true; },
            [&](int64_t pos) { engine_.ShowProgress(total, pos); });
        pmtScan_->SetActive(false);
    }
    engine_.Progress().HideProgress();
    t.LogSuppressed = false;
}

void TScanPasses::CollectPatPmtPids() {
    TAnalysisTables& t = engine_.Tables();
    for (int i = 0; i < patScan_->PATEntryCount(); ++i) {
        const int pid = patScan_->Entry(i).PID;
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

} // namespace tw
