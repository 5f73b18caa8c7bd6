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

class TPacketHandlers {
public:
    explicit TPacketHandlers(TCleaningPass& pass) : pass_(pass) {}
    // Binds the handlers to RemuxPacketReader and TSPacketWriter1.
    void Bind();
    // Per-pass state back to its start values.
    void ResetPass();

    void ScrambledPacket(int64_t packetNo, int pid, int& scramblingControl, bool& ignore);
    void InvalidPacket(int64_t packetNo, const std::string& errors);
    void Resync(int64_t packetNo, int offset);
    void Discontinuity(int64_t packetNo, int pid, int currentCC, int lastCC);
    void NewPacket();
    void ContinuityCounterCorrected(int pid, int64_t packetNo, int corrected, int old);

private:
    TCleaningPass& pass_;
};

} // namespace tw
