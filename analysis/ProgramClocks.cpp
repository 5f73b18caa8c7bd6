#include "analysis/ProgramClocks.h"

#include <exception>

#include "ts/TSPacketReader.h"
#include "ts/TSPacketViews.h"
#include "ts/TSPatReader.h"
#include "ts/TSPmtReader.h"

namespace tw {

namespace {

constexpr int kLookBuffer = 64 * 1024;
// No PCR: the PCR_PID of a program without a clock of its own.
constexpr int kNoPcrPid = 0x1FFF;

// A reader of its own over the recording `like` reads, so that the copy's
// reader keeps its place.
void SetUpLike(TTSPacketReader& r, const TTSPacketReader& like, const std::string& fileName)
{
    r.SetFileName(fileName);
    r.SetReadOnly(true);
    r.SetNoStartByteCheck(like.NoStartByteCheck());
    r.SetIgnorePacketErrors(like.IgnorePacketErrors());
    r.SetPacketBufferSize(kLookBuffer);
    r.CreateInputStream = like.CreateInputStream;
}

// Runs `onPacket` over the valid packets at the recording's start (at most
// kTableScanPackets), read by a reader of its own set up like `like`, until
// it returns false. A fault of the file ends the scan: what could be read
// counts, and the copy's own reader meets the fault.
template <class F>
void ScanStart(const TTSPacketReader& like, const std::string& fileName, F&& onPacket)
{
    TTSPacketReader r(nullptr);
    SetUpLike(r, like, fileName);
    try {
        r.SetActive(true);
        for (int i = 0; i < TProgramClocks::kTableScanPackets && r.Active() && !r.Eof(); ++i, r.Next())
            if (r.TSPacketHeader()->Valid() && !onPacket(r, *r.TSPacketHeader()))
                break;
    } catch (const std::exception&) {
    }
}

} // namespace

TProgramClock::TProgramClock() = default;
TProgramClock::~TProgramClock() = default;

TProgramClocks::TProgramClocks() = default;
TProgramClocks::~TProgramClocks() = default;

void TProgramClocks::Clear()
{
    clocks_.clear();
    std::fill(std::begin(index_), std::end(index_), uint8_t(0));
    witnesses_.reset();
}

TProgramClock* TProgramClocks::Follow(int pcrPid, const TPidSet& witnesses)
{
    if (pcrPid < 0 || pcrPid >= 8192)
        return nullptr;
    TProgramClock* c = Find(pcrPid);
    if (!c) {
        if (Count() >= kMaxClocks)
            return nullptr;
        clocks_.push_back(std::make_unique<TProgramClock>());
        c = clocks_.back().get();
        c->PcrPid = pcrPid;
        index_[pcrPid] = static_cast<uint8_t>(clocks_.size());
    }
    c->Witnesses |= witnesses;
    witnesses_ |= witnesses;
    return c;
}

void TProgramClocks::CloseLooks()
{
    for (auto& c : clocks_) {
        c->Ahead.reset();
        c->AheadFrom = c->AheadTo = c->AheadStamp = -1;
    }
}

int64_t TProgramClocks::StampAhead(TProgramClock& c, const TTSPacketReader& reader, int64_t packetNo)
{
    // What the last look found holds for every packet up to where it found
    // it (nothing of the program lay between): a run of PCRs reads once.
    if (c.AheadFrom >= 0 && packetNo >= c.AheadFrom && packetNo <= c.AheadTo)
        return c.AheadStamp;
    c.AheadFrom = c.AheadTo = packetNo;
    c.AheadStamp = -1;
    try {
        if (!c.Ahead || !c.Ahead->Active() || c.Ahead->FileName() != reader.FileName()) {
            c.Ahead = std::make_unique<TTSPacketReader>(nullptr);
            SetUpLike(*c.Ahead, reader, reader.FileName());
            c.Ahead->SetActive(true);
            if (!c.Ahead->Active()) {
                c.Ahead.reset();
                return -1;
            }
            c.Ahead->SetPacketIndex(packetNo);
        }
        TTSPacketReader& ahead = *c.Ahead;
        // Looks follow the copy forwards: the reader reads on to the packet
        // asked for rather than filling its buffer anew.
        const int64_t from = ahead.PacketIndex();
        if (packetNo < from || packetNo - from > kStampAheadPackets)
            ahead.SetPacketIndex(packetNo);
        while (ahead.Active() && !ahead.Eof() && ahead.PacketIndex() < packetNo)
            ahead.Next();
        for (int i = 0; i < kStampAheadPackets && ahead.Active() && !ahead.Eof(); ++i, ahead.Next()) {
            c.AheadTo = packetNo + i;
            const TTSPacketHeader* h = ahead.TSPacketHeader();
            if (!h->Valid() || !h->PayloadStart() || !c.Witnesses[static_cast<size_t>(h->PID())])
                continue;
            int64_t escr, dts, pts;
            if (PacketTimestamps(ahead.RawPacket(), *h, escr, dts, pts) && (dts >= 0 || pts >= 0)) {
                c.AheadStamp = dts >= 0 ? dts : pts;
                return c.AheadStamp;
            }
        }
    } catch (const std::exception&) {
        // A recording that cannot be read ahead offers no stamps; the copy's
        // own reader meets the fault where it lies.
        c.Ahead.reset();
    }
    return -1;
}

std::vector<TProgramMap> TProgramClocks::ReadPrograms(const TTSPacketReader& like, const std::string& fileName)
{
    std::vector<TProgramMap> programs;
    // The PMT PIDs the PAT names, each with its reader and whether its
    // table was read.
    struct TPmtPid {
        int Pid = -1;
        std::unique_ptr<TTSPmtReader> Reader;
        bool Read = false;
    };
    std::vector<TPmtPid> pmts;
    int pmtOf[8192];
    std::fill(std::begin(pmtOf), std::end(pmtOf), -1);
    int tablesRead = 0;
    bool patRead = false;

    TTSPatReader pat(nullptr);
    pat.SetPID(0);
    pat.SetActive(true);
    pat.OnPatReceived = [&](TObject*) {
        // A table announced for later is not yet in force.
        if (!pat.CurrentNextIndicator())
            return;
        patRead = true;
        for (int i = 0; i < pat.PATEntryCount(); ++i) {
            const TPatEntry& e = pat.Entry(i);
            // Program 0 names the network information, not a program.
            if (e.ProgramNumber == 0 || e.PID <= 0 || e.PID >= kNoPcrPid || pmtOf[e.PID] >= 0 ||
                static_cast<int>(pmts.size()) >= kMaxClocks)
                continue;
            pmtOf[e.PID] = static_cast<int>(pmts.size());
            TPmtPid p;
            p.Pid = e.PID;
            pmts.push_back(std::move(p));
        }
    };
    // A PMT reader holds a table's worth of entries: one is made when its
    // PID's first packet comes and freed once its table is read.
    auto pmtReader = [&](size_t slot) -> TTSPmtReader* {
        TPmtPid& p = pmts[slot];
        if (!p.Reader) {
            p.Reader = std::make_unique<TTSPmtReader>(nullptr);
            p.Reader->SetPID(p.Pid);
            p.Reader->SetActive(true);
            TTSPmtReader* reader = p.Reader.get();
            reader->OnPmtReceived = [&, reader, slot](TObject*) {
                if (pmts[slot].Read || !reader->CurrentNextIndicator())
                    return;
                pmts[slot].Read = true;
                ++tablesRead;
                TProgramMap m;
                m.Number = reader->ProgramNumber();
                m.PcrPid = reader->PcrPid();
                for (int k = 0; k < reader->PMTEntryCount(); ++k) {
                    const int pid = reader->Entry(k).PID;
                    if (pid >= 0 && pid < 8192)
                        m.Streams.set(static_cast<size_t>(pid));
                }
                if (m.PcrPid >= 0 && m.PcrPid < kNoPcrPid)
                    programs.push_back(m);
            };
        }
        return p.Reader.get();
    };

    ScanStart(like, fileName, [&](const TTSPacketReader& r, const TTSPacketHeader& h) {
        const int pid = h.PID();
        if (pid == 0)
            pat.ProcessPacket(r.RawPacket(), r.PacketIndex());
        else if (pmtOf[pid] >= 0 && !pmts[static_cast<size_t>(pmtOf[pid])].Read) {
            const size_t slot = static_cast<size_t>(pmtOf[pid]);
            pmtReader(slot)->ProcessPacket(r.RawPacket(), r.PacketIndex());
            if (pmts[slot].Read)
                pmts[slot].Reader.reset();
        }
        return !(patRead && tablesRead == static_cast<int>(pmts.size()));
    });
    return programs;
}

TProgramMap TProgramClocks::ReadOnlyClock(const TTSPacketReader& like, const std::string& fileName)
{
    TProgramMap m;
    TPidSet clocks;
    ScanStart(like, fileName, [&](const TTSPacketReader& r, const TTSPacketHeader& h) {
        if (h.PID() == 0 || h.PID() >= kNoPcrPid)
            return true;
        const size_t pid = static_cast<size_t>(h.PID());
        const TAdaptationFieldControl afc = h.AdaptationFieldControl();
        if ((afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
            h.AdaptationField()->PCRFlag())
            clocks.set(pid);
        if (h.PayloadStart() && !m.Streams[pid]) {
            const int s = h.Payload()->PayloadStartByte();
            const uint8_t* b = r.RawPacket().Data;
            if (s + 3 <= r.RawPacket().Length && b[s] == 0 && b[s + 1] == 0 && b[s + 2] == 1)
                m.Streams.set(pid);
        }
        return true;
    });
    if (clocks.count() != 1)
        return TProgramMap{};
    for (int pid = 0; pid < kNoPcrPid; ++pid)
        if (clocks[static_cast<size_t>(pid)])
            m.PcrPid = pid;
    m.Streams.set(static_cast<size_t>(m.PcrPid));
    return m;
}

} // namespace tw
