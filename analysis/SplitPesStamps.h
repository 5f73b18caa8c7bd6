// PES headers whose time stamps continue in the next packet of their PID.
// The standard asks only that a PES packet start at the start of a payload:
// behind a long adaptation field the PTS, DTS or ESCR may run past the end of
// the packet. The cleaning pass shifts such stamps too: the header's bytes
// are collected from the packets that carry them, and each changed byte is
// written back into the packet it came from (the start packet then already
// waits in the writer's queue).
#pragma once

#include <cstdint>
#include <vector>

namespace tw {

class TSplitPesStamps {
public:
    // Header bytes up to the end of PTS, DTS and ESCR.
    static constexpr int kMaxHeaderBytes = 25;
    // Packets a header may be spread over (each brings at least one byte; a
    // second sending of a packet adds one more).
    static constexpr int kMaxPieces = 2 * kMaxHeaderBytes;

    struct TByteWrite {
        int64_t PacketNo;
        int Index; // byte of the 188-byte packet
        uint8_t Value;
    };
    enum class TStep {
        Waiting,  // more bytes are needed
        Complete, // the header's stamps are all there: Shift
        Broken    // the packets did not follow on (a gap, a new start): the stamps cannot be shifted
    };

    void Clear() { entries_.clear(); }
    bool Pending(int pid) const { return Find(pid) >= 0; }
    bool AnyPending() const { return !entries_.empty(); }
    // The packet where a pending header starts; -1 for none.
    int64_t StartPacket(int pid) const;
    // The PIDs with a header still pending.
    std::vector<int> PendingPids() const;

    // A header that starts in packet `packetNo` at byte `payloadStart` and
    // has `length` bytes there, of the `needed` its stamps take.
    void Begin(int pid, int64_t packetNo, int cc, int payloadStart, const uint8_t* payload, int length, int needed);
    // The next written packet of a PID with a pending header. A second
    // sending of the packet before (`repeat`) is patched like it.
    TStep Continue(int pid, int64_t packetNo, int cc, bool unitStart, bool repeat, int payloadStart,
                   const uint8_t* payload, int length);
    // For a complete header: the bytes to write so that its PTS, DTS and
    // ESCR are shifted by offset90 (90 kHz); the entry is done with. None
    // when its stamps are broken or it has no PTS; false when the PID has
    // no header pending.
    bool Shift(int pid, int64_t offset90, std::vector<TByteWrite>& writes);
    void Drop(int pid);

private:
    struct TPiece {
        int64_t PacketNo;
        int Index;  // the packet's byte of the piece's first header byte
        int Length;
        int At;     // the piece's first byte among the header's bytes
    };
    struct TEntry {
        int Pid = -1;
        int LastCc = 0;
        int Count = 0;
        int Needed = 0;
        uint8_t Bytes[kMaxHeaderBytes] = {};
        std::vector<TPiece> Pieces;
    };
    int Find(int pid) const;
    std::vector<TEntry> entries_;
};

} // namespace tw
