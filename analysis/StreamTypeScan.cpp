#include "analysis/StreamTypeScan.h"

#include "analysis/AnalysisEngine.h"
#include "analysis/ScanPasses.h"
#include "analysis/StreamCodes.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSStreamType.h"

#include <algorithm>
#include <limits>

namespace tw {

namespace {
// PES packets after which a PID's type is settled.
constexpr int64_t kSniffedPackets = 20;
// PIDs probed in one pass; a recording with more found PIDs takes more passes.
constexpr size_t kProbesPerPass = 64;
constexpr int kPidCount = 8192;
} // namespace

struct TStreamTypeScan::TProbe {
    std::unique_ptr<TTSPesReader> Pes;
    std::unique_ptr<TTSStreamTypeReader> Sniffer;
    std::unique_ptr<TTSPmtReader> Pmt;
    int FoundIndex = -1;
    int StreamId = -1;
    int StreamIdType = psid_unknown_stream;
    bool Settled = false; // enough PES packets seen
    bool SawPmt = false;

    void Start(int pid, int foundIndex)
    {
        FoundIndex = foundIndex;
        StreamId = -1;
        StreamIdType = psid_unknown_stream;
        Settled = SawPmt = false;
        Pes->SetPID(pid);
        Sniffer->SetPID(pid);
        Pmt->SetPID(pid);
        Pes->SetActive(true);
        Sniffer->SetActive(true);
        Pmt->SetActive(true);
    }
    void Stop()
    {
        Sniffer->SetActive(false);
        Pes->SetActive(false);
        Pmt->SetActive(false);
    }
};

TStreamTypeScan::TStreamTypeScan(TAnalysisEngine& engine, TScanPasses& scan)
    : engine_(engine), scan_(scan), byPid_(kPidCount, nullptr)
{
}

TStreamTypeScan::~TStreamTypeScan() = default;

void TStreamTypeScan::EnsureProbes(size_t count)
{
    while (probes_.size() < count) {
        auto p = std::make_unique<TProbe>();
        p->Pes = std::make_unique<TTSPesReader>(nullptr);
        p->Pes->SetTSPacketReader(scan_.Reader());
        p->Sniffer = std::make_unique<TTSStreamTypeReader>(nullptr);
        p->Sniffer->SetTSPesReader(p->Pes.get());
        p->Pmt = std::make_unique<TTSPmtReader>(nullptr);
        p->Pmt->SetTSPacketReader(scan_.Reader());
        // Told when read: a section that ends in a packet where the next
        // one starts is gone from the reader once the packet is read.
        TProbe* probe = p.get();
        p->Pmt->OnPmtReceived = [probe](TObject*) {
            if (probe->Pmt->PMTEntryCount() >= 1) probe->SawPmt = true;
        };
        p->Pes->OnPayloadStart = [this](TObject* sender, int64_t pts, int64_t dts, int pid, int64_t packetIndex) {
            TSPesReader_ScanPayloadStart(sender, pts, dts, pid, packetIndex);
        };
        p->Pes->Loaded();
        p->Sniffer->Loaded();
        p->Pmt->Loaded();
        probes_.push_back(std::move(p));
    }
}

void TStreamTypeScan::TSPesReader_ScanPayloadStart(TObject* sender, int64_t, int64_t, int pid, int64_t)
{
    if (pid < 0 || pid >= kPidCount)
        return;
    TProbe* probe = byPid_[static_cast<size_t>(pid)];
    if (!probe || probe->Pes.get() != sender)
        return;
    const TTSPesHeader* h = probe->Pes->PESHeader();
    if (!h->Valid())
        return;
    probe->StreamId = h->StreamID();
    probe->StreamIdType = h->StreamIDType();
}

void TStreamTypeScan::TSStreamTypeReader1Identified(TObject*, TEsStreamType, const std::string&) {}

void TStreamTypeScan::TSStreamTypeReader1NotIdentified(TObject*, const std::string&) {}

void TStreamTypeScan::Run(int64_t limit)
{
    TAnalysisTables& t = engine_.Tables();
    engine_.Progress().SetProgressStatus("Searching for stream types");
    t.LogSuppressed = false;
    // Broken packets end no pass: a stream whose packets lie behind a
    // dropout must still be named (audio written as private data is sound
    // only by its packets). The packet limit bounds each pass, as it does
    // for a recording without damage; the log is silenced once over all
    // passes together.
    int errors = 0;
    // The PAT's PID is named without a look at its packets.
    for (int i = 0; i < t.FoundStreamCount; ++i)
        if (t.FoundStreams[static_cast<size_t>(i)].Pid == kPatPid)
            t.FoundStreams[static_cast<size_t>(i)].TypeText = "PAT";
    // One gauge over all passes: each pass fills its share of it.
    const int passes = (t.FoundStreamCount + static_cast<int>(kProbesPerPass) - 1) / static_cast<int>(kProbesPerPass);
    for (int first = 0, pass = 0; first < t.FoundStreamCount && !engine_.CancelRequested(); ++pass) {
        const int end = first + static_cast<int>(kProbesPerPass) < t.FoundStreamCount
                            ? first + static_cast<int>(kProbesPerPass)
                            : t.FoundStreamCount;
        ScanBatch(first, end, limit, errors, pass, passes);
        first = end;
    }
    engine_.Progress().HideProgress();
    t.LogSuppressed = false;
}

void TStreamTypeScan::ScanBatch(int firstFound, int endFound, int64_t limit, int& errors, int pass, int passes)
{
    TAnalysisTables& t = engine_.Tables();
    EnsureProbes(static_cast<size_t>(endFound - firstFound));
    int open = 0;
    size_t used = 0;
    for (int i = firstFound; i < endFound; ++i) {
        const int pid = t.FoundStreams[static_cast<size_t>(i)].Pid;
        if (pid == kPatPid || pid < 0 || pid >= kPidCount)
            continue;
        TProbe* probe = probes_[used++].get();
        probe->Start(pid, i);
        byPid_[static_cast<size_t>(pid)] = probe;
        ++open;
    }

    TTSPacketReader* r = scan_.Reader();
    const TTSPacketHeader* h = r->TSPacketHeader();
    r->SetPacketIndex(0);
    TPassGauge g{limit, 1, pass, passes};
    if (r->PacketCount() < g.Last)
        g.Last = r->PacketCount() - 1;
    g.Step = g.Last / 100 > 0 ? g.Last / 100 : 1;
    // As in the other scans, only good packets count towards the limit.
    const int64_t bound = TScanPasses::ReadBound(g.Last, r->PacketCount());
    int64_t good = 0;
    while (open > 0 && good < g.Last && ReadNextPacket(bound)) {
        if (scan_.IsBrokenPacket()) {
            scan_.CountBrokenPacket(errors, std::numeric_limits<int>::max());
        } else {
            ++good;
            TProbe* probe = byPid_[static_cast<size_t>(h->PID())];
            if (probe && !probe->SawPmt && probe->Pmt->PMTEntryCount() >= 1)
                probe->SawPmt = true;
            if (probe && !probe->Settled && probe->Sniffer->ScannedPackets() >= kSniffedPackets) {
                // Settled: this PID's readers stop here, so its vote and
                // stream_id are those of its first 20 PES packets.
                probe->Settled = true;
                probe->Pes->SetActive(false);
                probe->Pmt->SetActive(false);
                --open;
            }
        }
        if (!ShowPassProgress(g))
            break;
    }

    for (size_t k = 0; k < used; ++k) {
        TProbe* probe = probes_[k].get();
        TFoundStream& f = t.FoundStreams[static_cast<size_t>(probe->FoundIndex)];
        const int pid = f.Pid;
        if (probe->Sniffer->ScannedPackets() >= 1) {
            f.TypeText =
                probe->Sniffer->StreamTypeName(probe->Sniffer->VotedStreamType()).substr(0, FOUND_TYPE_TEXT_MAX);
            t.SetFoundStreamType(pid, probe->StreamId, static_cast<TPesStreamIdType>(probe->StreamIdType));
        } else if (probe->SawPmt || probe->Pmt->PMTEntryCount() >= 1) {
            // No PES at all: a program map.
            f.TypeText = "PMT";
        } else if (f.TypeText.empty() && f.HasPcr) {
            // No PES and no table: only a clock.
            f.TypeText = "PCR";
        }
        probe->Stop();
        byPid_[static_cast<size_t>(pid)] = nullptr;
    }
}

bool TStreamTypeScan::ReadNextPacket(int64_t last)
{
    TTSPacketReader* r = scan_.Reader();
    if (r->PacketIndex() >= last || r->PacketIndex() >= r->PacketCount())
        return false;
    const int64_t next = r->PacketIndex() + 1;
    r->SetPacketIndex(next);
    // A resync can push the last packets past the end of the file: the
    // reader then stays where it was.
    return r->PacketIndex() == next;
}

bool TStreamTypeScan::ShowPassProgress(const TPassGauge& g)
{
    const int64_t at = scan_.Reader()->PacketIndex();
    if (at % g.Step != 0)
        return true;
    engine_.ShowProgress(g.Last * g.Passes, g.Last * g.Pass + std::min(at, g.Last));
    return !engine_.CancelRequested();
}

} // namespace tw
