#include "analysis/SplitPesStamps.h"

#include <algorithm>
#include <cstring>

#include "analysis/TimeStampCorrection.h"
#include "ts/TSPacketViews.h"
#include "ts/TSTimeStamp.h"

namespace tw {

int TSplitPesStamps::Find(int pid) const
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Pid == pid)
            return static_cast<int>(i);
    return -1;
}

int64_t TSplitPesStamps::StartPacket(int pid) const
{
    const int i = Find(pid);
    return i >= 0 && !entries_[static_cast<size_t>(i)].Pieces.empty()
               ? entries_[static_cast<size_t>(i)].Pieces.front().PacketNo
               : -1;
}

std::vector<int> TSplitPesStamps::PendingPids() const
{
    std::vector<int> pids;
    for (const TEntry& e : entries_)
        pids.push_back(e.Pid);
    return pids;
}

void TSplitPesStamps::Drop(int pid)
{
    const int i = Find(pid);
    if (i >= 0)
        entries_.erase(entries_.begin() + i);
}

void TSplitPesStamps::Begin(int pid, int64_t packetNo, int cc, int payloadStart, const uint8_t* payload, int length,
                            int needed)
{
    Drop(pid);
    TEntry e;
    e.Pid = pid;
    e.LastCc = cc & 15;
    e.Needed = std::clamp(needed, 0, kMaxHeaderBytes);
    // Bytes are taken up to the most a header's stamps can reach: what
    // the first bytes need may grow once its flags are read.
    const int n = std::clamp(length, 0, kMaxHeaderBytes);
    if (n > 0)
        std::memcpy(e.Bytes, payload, static_cast<size_t>(n));
    e.Count = n;
    e.Pieces.push_back({packetNo, payloadStart, n, 0});
    entries_.push_back(std::move(e));
}

TSplitPesStamps::TStep TSplitPesStamps::Continue(int pid, int64_t packetNo, int cc, bool unitStart, bool repeat,
                                                 int payloadStart, const uint8_t* payload, int length)
{
    const int i = Find(pid);
    if (i < 0)
        return TStep::Broken;
    TEntry& e = entries_[static_cast<size_t>(i)];
    if (static_cast<int>(e.Pieces.size()) >= kMaxPieces)
        return TStep::Broken;
    if (repeat) {
        // The same bytes again: the header has them already, the copy has
        // them twice, and both must say the same.
        TPiece twin = e.Pieces.back();
        twin.PacketNo = packetNo;
        e.Pieces.push_back(twin);
        return TStep::Waiting;
    }
    // Only the packet that follows on carries the rest of this header.
    if (unitStart || (cc & 15) != ((e.LastCc + 1) & 15))
        return TStep::Broken;
    e.LastCc = cc & 15;
    const int n = std::clamp(std::min(length, kMaxHeaderBytes - e.Count), 0, kMaxHeaderBytes);
    if (n > 0) {
        std::memcpy(e.Bytes + e.Count, payload, static_cast<size_t>(n));
        e.Pieces.push_back({packetNo, payloadStart, n, e.Count});
        e.Count += n;
    }
    if (e.Count < e.Needed)
        return TStep::Waiting;
    int64_t escr, dts, pts;
    int needed = 0;
    if (PesHeaderStamps(e.Bytes, e.Count, escr, dts, pts, needed) == TPesStamps::Incomplete &&
        e.Count < kMaxHeaderBytes) {
        e.Needed = std::clamp(needed, 0, kMaxHeaderBytes);
        return TStep::Waiting;
    }
    return TStep::Complete;
}

bool TSplitPesStamps::Shift(int pid, int64_t offset90, std::vector<TByteWrite>& writes)
{
    writes.clear();
    const int i = Find(pid);
    if (i < 0)
        return false;
    const TEntry e = entries_[static_cast<size_t>(i)];
    entries_.erase(entries_.begin() + i);
    int64_t escr = -1, dts = -1, pts = -1;
    int needed = 0;
    // A header with broken stamps or without a PTS is left as it is, as
    // one inside a single packet.
    if (PesHeaderStamps(e.Bytes, e.Count, escr, dts, pts, needed) != TPesStamps::Found || pts < 0)
        return true;
    uint8_t shifted[kMaxHeaderBytes];
    std::memcpy(shifted, e.Bytes, sizeof shifted);
    const int flags = e.Bytes[7] >> 6;
    WritePts(shifted + 9, ShiftPts(pts, offset90));
    if (dts >= 0)
        WritePts(shifted + 9 + kPtsFieldSize, ShiftPts(dts, offset90));
    if (escr >= 0)
        WriteEscr(shifted + 9 + (flags == 3 ? 2 : 1) * kPtsFieldSize, ShiftEscr(escr, offset90));
    for (const TPiece& p : e.Pieces)
        for (int k = 0; k < p.Length; ++k)
            if (shifted[p.At + k] != e.Bytes[p.At + k])
                writes.push_back({p.PacketNo, p.Index + k, shifted[p.At + k]});
    return true;
}

} // namespace tw
