// Types shared between the PES reader and the elementary-stream analysers
// that it feeds: the collection block of one PES packet and the stream type
// that the sniffer guesses.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// Elementary-stream type as the stream-type sniffer reports it. The values
// are stored and compared as integers, so the order is fixed; AAC in LATM
// framing came last, so it is last (a table declares it apart from ADTS).
enum TEsStreamType : int {
    estUnknown,
    estMPEG2Video,
    estMPEG1Audio,
    estMPEG2Audio,
    estMP3,
    estAC3,
    estDTS,
    estH264,
    estVC1,
    astMPEG4,
    estAAC,
    estTeletext,
    estSubTitles,
    estEAC3,
    estAACLatm,
};
constexpr int kEsStreamTypeCount = 15;

// Display name of a stream type ("H264 Video"); empty for estUnknown.
std::string StreamTypeName(TEsStreamType value);

// Largest PES packet a reader collects, header included.
constexpr int kPesCollectionCapacity = 2000001;

// One PES packet as the PES reader collected it: the byte count followed by
// the packet's bytes, header first. Analysers receive a pointer to the
// reader's own block; it is valid only during the call. Bytes at Count and
// beyond are left over from earlier packets and mean nothing.
struct TPesCollection {
    int32_t Count = 0;
    uint8_t Bytes[kPesCollectionCapacity];

    // The byte at i, or 0 outside the collected bytes: header and signature
    // checks near the end of a packet must never see stale data.
    uint8_t At(int64_t i) const { return (i >= 0 && i < Count) ? Bytes[i] : 0; }
};

// What the PES reader feeds. The elementary-stream analysers derive from it
// besides TComponent and call `pesReader->AddReader(this)` from their
// Loaded(); the PES reader knows them only through these two calls.
class TTSPesConsumer {
public:
    virtual ~TTSPesConsumer() = default;
    // Asked for every PES packet, so it must be cheap (the Active property).
    virtual bool PesConsumerActive() const = 0;
    // One complete, valid PES packet: the reader's collection block (valid
    // only during the call), where the payload starts in it and how long it
    // is, the packet's PTS and the index of the transport packet that
    // completed it.
    virtual void ConsumePesPacket(const TPesCollection* block, int dataStart, int dataLength, int64_t pts,
                                  int64_t packetIndex) = 0;
};

} // namespace tw
