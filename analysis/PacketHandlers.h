// The handlers bound to the packet layer of the cleaning chain: the cleaning
// packet reader (scrambled and invalid packets, resync, continuity gaps, the
// PCR check and correction on every packet) and the clean packet writer
// (counter repairs). They log, count per PID and fix on the fly; none raises.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/ProgramClocks.h"

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
    // Per-run state for a copy of the packet filter of the recording input:
    // as for a pass, with the whole recording inside the cut range, and
    // every program's clock followed (the programs as the recording's
    // tables name them).
    void BeginFilterRun(const std::string& input);
    // The filter's copy keeps damaged packets (its "Delete invalid packets"
    // is off): the log says they are copied, not skipped.
    void KeepInvalidPackets(bool keep) { keepsInvalid_ = keep; }
    // The filter's copy leaves out the PIDs in `dropped`: each program that
    // keeps a stream but loses the PID its clock rides on is logged and
    // counted as an error (the copy has no clock for it). Returns how many.
    int ClocksLeftOut(const TPidSet& dropped);
    // Errors counted so far in this pass or copy, on the PIDs and globally.
    int64_t ErrorsCounted() const;
    // The clock the cleaning pass checks: the kept program's, judged by the
    // stamps of its streams. Called once the pass's tables are final.
    void FollowKeptProgram();
    // A PID the kept program's clock moved to, met by the pass in a table
    // version the analysis did not read: judged by the same stamps.
    void FollowClock(int pcrPid);
    // The end of a pass or a filter copy: the looks ahead close their files.
    void EndRun();

    void ScrambledPacket(int64_t packetNo, int pid, int& scramblingControl, bool& ignore);
    void InvalidPacket(TTSPacketReader& reader, int64_t packetNo, const std::string& errors);
    void Resync(int64_t packetNo, int64_t offset);
    void Discontinuity(int64_t packetNo, int pid, int currentCC, int lastCC);
    // The PCR check of a packet read (by the cleaning reader or the packet
    // filter's): each followed clock by its own program's stamps.
    void NewPacket(TTSPacketReader& reader);
    // NewPacket for a packet that starts a PES packet or carries a PCR; out
    // of line, so that the other packets cost no stack frame.
    [[gnu::noinline]] void PacketWithTimes(TTSPacketReader& reader);
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
    // The clock on the PCR's PID, where one is followed (the filter follows
    // a PID it meets carrying PCRs that no table named as well).
    TProgramClock* ClockOf(int pcrPid);
    void CountPcrError(int pid);
    // At a PCR judged in range: whether the program's stamps since the PCR
    // before lie further ahead of it than a decoder's buffer holds.
    void CheckStampLead(TProgramClock& clock, int64_t pcr27, int64_t packetNo);
    // Whether the PID's time stamps run on the kept program's clock.
    bool OnProgramClock(int pid) const;
    // The PID the kept program's PCRs are read under.
    int ReadPcrPid() const;

    TCleaningPass& pass_;
    TProgramClocks clocks_;
    // The filter's copy: every clock met is followed, and the programs its
    // tables name tell each one's witnesses.
    bool followEveryClock_ = false;
    bool keepsInvalid_ = false;
    std::vector<TProgramMap> programs_;
    TPidSet keptWitnesses_; // the kept program's streams (the pass)
};

} // namespace tw
