// The handlers bound to the packet layer of the cleaning chain: the cleaning
// packet reader (scrambled and invalid packets, resync, continuity gaps, the
// PCR check and correction on every packet) and the clean packet writer
// (counter repairs). They log, count per PID and fix on the fly; none raises.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

class TCleaningPass;
class TObject;
class TTSPacketHeader;
class TTSPacketReader;

class TPacketHandlers {
public:
    explicit TPacketHandlers(TCleaningPass& pass) : pass_(pass) {}
    // Binds the handlers to RemuxPacketReader and TSPacketWriter1, and the
    // reader handlers to FilterPacketReader as well.
    void Bind();
    // Per-pass state back to its start values.
    void ResetPass();
    // Per-run state for a copy of the packet filter: as for a pass, with the
    // whole recording inside the cut range.
    void BeginFilterRun();

    void ScrambledPacket(int64_t packetNo, int pid, int& scramblingControl, bool& ignore);
    void InvalidPacket(TTSPacketReader& reader, int64_t packetNo, const std::string& errors);
    void Resync(int64_t packetNo, int64_t offset);
    void Discontinuity(int64_t packetNo, int pid, int currentCC, int lastCC);
    // The PCR check of a packet read (by the cleaning reader, or with
    // `filter` by the packet filter's, which checks the first PCR PID it
    // meets since it knows no program).
    void NewPacket(TTSPacketReader& reader, bool filter);
    // NewPacket for a packet that starts a PES packet or carries a PCR; out
    // of line, so that the other packets cost no stack frame.
    [[gnu::noinline]] void PacketWithTimes(TTSPacketReader& reader, bool filter);
    void ContinuityCounterCorrected(int pid, int64_t packetNo, int corrected, int old);

    // The handlers as the cleaning and filter readers and writers raise
    // them, Sender first; both readers (and both writers) share each one.
    void RemuxPacketReaderScrambledPacketEvent(TObject* sender, int64_t packetNo, int pid,
                                               int& transport_scrambling_control, bool& Ignore);
    void RemuxPacketReaderInvalidPacketEvent(TObject* sender, int64_t packetNo, const std::string& errors);
    void TSPacketReader1PacketResynchEvent(TObject* sender, int64_t packetNo, int64_t offset);
    void RemuxPacketReaderDisconinuity(TObject* sender, int64_t packetNo, int pid, int currentDiscontID,
                                       int lastDiscontID);
    // Runs for every packet read: the sender is the reader.
    void RemuxPacketReaderNewPacket(TObject* sender);
    void TSPacketWriter1ContinuityCounterCorrected(TObject* sender, int pid, int64_t packetNo, int correctedContCount,
                                                   int oldContCount);
    // Nothing to do when a block is on disk; left unbound, since a bound
    // handler costs the writer a hand-over to this thread per block.
    void TSPacketWriter1AfterBufferWritten(TObject* sender, int packetsWritten, int packetsDeleted);

private:
    void BindReader(TTSPacketReader& reader);
    void NoteTimeStamps(const TTSPacketReader& reader, const TTSPacketHeader& header);
    // The program's first decode time stamp (90 kHz) at or after packetNo of
    // the recording (of PID onlyPid alone, unless -1), read by a reader of
    // its own; -1 when none is near.
    int64_t StampAhead(const TTSPacketReader& reader, int64_t packetNo, int onlyPid);
    void CountPcrError(int pid);
    // Whether the PID's time stamps run on the kept program's clock.
    bool OnProgramClock(int pid) const;
    // The PID the kept program's PCRs are read under.
    int ReadPcrPid() const;

    // How far the look ahead reads: some seconds of any recording (the
    // program's PES headers come many times a second).
    static constexpr int kStampAheadPackets = 20000;
    static constexpr int kStampAheadBuffer = 64 * 1024;

    TCleaningPass& pass_;
    const TObject* filterReader_ = nullptr;
    int filterPcrPid_ = -1;
    // The last look ahead: from packet aheadFrom_ to aheadTo_ the first
    // stamp of the program was aheadStamp_ (-1: none).
    int64_t aheadFrom_ = -1, aheadTo_ = -1, aheadStamp_ = -1;
};

} // namespace tw
