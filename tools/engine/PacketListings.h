// The two listings of a recording: the packet protocol (every packet's
// header in fixed columns, "_protocoll.txt") and the duplicate finder (the
// packets of one PID that repeat an earlier packet, "_duplicates.txt").
// Both read through the given reader and write a text file with CR LF lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/engine/KeyedHash.h"

namespace tw {

class TTSPacketReader;
class TTSPacketHeader;

// One protocol line (without CR LF) of a parsed packet, appended to out.
void AppendPacketProtocolLine(std::string& out, int64_t packetNo, const TTSPacketHeader& h, uint32_t crc);

// Writes the protocol of `input` to `output` (replacing it). False with the
// reason when the input does not open or the output cannot be written.
bool WritePacketProtocol(TTSPacketReader& reader, const std::string& input, const std::string& output,
                         std::string& error);

// Duplicate groups of one PID: a packet and the later packets equal to it.
struct TDuplicateGroup {
    int64_t First = 0;
    std::vector<int64_t> Repeats;
};

// The 32 bits of a packet's hash its table slot holds; a look-up compares the
// other 96 only for slots of the same tag.
uint32_t DuplicateTag(const THash128& h);

// Finds the packets of `pid` whose bytes repeat an earlier packet of that PID.
// Each packet is known by a 128-bit hash under a key drawn for the search
// (KeyedHash.h), found in a hash table: one look-up per packet and no packet
// read twice, so the search is linear in the recording whatever it holds, and
// 31 to 41 bytes are kept per distinct packet. Groups come in the order of
// their first packet, repeats in file order (the order of the listing's lines).
class TDuplicateFinder {
public:
    explicit TDuplicateFinder(TTSPacketReader& reader) : reader_(reader) {}
    // The reader is opened on input and left inactive afterwards.
    bool Run(const std::string& input, int pid, std::string& error);
    int64_t PacketCount() const { return packetCount_; }
    const std::vector<TDuplicateGroup>& Groups() const { return groups_; }
    // The whole listing (header lines and one line per group).
    std::string Listing(int pid) const;
    // Run, then write the listing to output (replacing it).
    bool WriteListing(const std::string& input, int pid, const std::string& output, std::string& error);
    // Hashes under this key instead of one drawn for each search: only for
    // tests, which must know the key to make tags meet.
    void SetHashKey(const TKeyedHash& key) { key_ = key; }

private:
    TTSPacketReader& reader_;
    std::optional<TKeyedHash> key_;
    int64_t packetCount_ = 0;
    std::vector<TDuplicateGroup> groups_;
};

} // namespace tw
