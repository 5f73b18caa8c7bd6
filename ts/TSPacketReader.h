// TTSPacketReader: opens a recording of 188- or 192-byte packets, finds its
// first packet, reads any packet by index into the views of TSPacketViews.h,
// validates it, tracks continuity per PID and pushes every valid packet to
// the PAT, PMT and PES readers registered with it.
//
// Registering a consumer
// ----------------------
// PAT, PMT and PES readers derive from TTSPacketConsumer (below) besides
// TComponent and call `reader->AddReader(this)` from their Loaded() when their
// TSPacketReader property is set. AddReader keeps a non-owning list (no
// duplicate check, no removal; a consumer must outlive the reader's use of
// it, which holds for components owned by the same window). For every valid
// packet the reader walks the list in registration order and, for a consumer
// whose ConsumerActive() holds and whose ConsumerPID() equals the packet's PID
// when its turn comes (a handler of an earlier consumer may have changed them)
// (for consumers with bound fields found through a PID index, so that a
// packet costs nothing for the consumers it is not for):
//   - a PES consumer (ckPes) gets ProcessPesPayload(payload bytes, payload
//     length, payload_unit_start, payload offset in the packet, packet index,
//     CC);
//   - a PAT or PMT consumer (ckPat, ckPmt) gets ProcessPacket(raw 188-byte
//     packet, packet index).
// The buffers and bytes are the reader's own and valid only during the call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "ts/TSPacketViews.h"

namespace tw {

class TBufFileStream;

// What the packet reader feeds.
class TTSPacketConsumer {
public:
    enum TConsumerKind { ckPes, ckPat, ckPmt };

    virtual ~TTSPacketConsumer() = default;
    virtual TConsumerKind ConsumerKind() const = 0;
    // The reader asks both per packet, so they must be cheap (return the
    // component's Active and PID properties).
    virtual bool ConsumerActive() const = 0;
    virtual int ConsumerPID() const = 0;

    // PAT and PMT readers: the whole packet (Length 188) and its index.
    virtual void ProcessPacket(const TTSPacketBuffer& raw, int64_t packetIndex) {}
    // PES readers: the payload copy (Length = payload length), whether the
    // packet starts a PES packet, where the payload starts inside the packet,
    // the packet index and its continuity counter.
    virtual void ProcessPesTsPacket(const TTSPacketBuffer& payload, bool payloadStart, uint8_t payloadOffset,
                                    int64_t packetIndex, int continuityCounter) {}
    // What the packet reader calls: the payload where it lies in the packet,
    // so that it is not copied once more on its way to the PES collection.
    // length is the payload length of the header (negative for a damaged
    // packet let through with IgnorePacketErrors). By default handed on to
    // ProcessPesTsPacket as a copy.
    // (Kept out of line: its copy needs a large stack frame.)
    [[gnu::noinline]] virtual void ProcessPesPayload(const uint8_t* payload, int length, bool payloadStart,
                                                     uint8_t payloadOffset, int64_t packetIndex,
                                                     int continuityCounter);

    // What the reader asks for every packet and consumer; read straight from
    // the component's own fields when it bound them, so that no virtual call
    // is made for consumers the packet is not for.
    bool WantsPacket(int pid) const {
        if (pidField_) return *pidField_ == pid && *activeField_;
        return ConsumerPID() == pid && ConsumerActive();
    }
    TConsumerKind CachedKind() const { return pidField_ ? kind_ : ConsumerKind(); }
    // Bound consumers are found through the readers' PID index.
    bool FieldsBound() const { return pidField_ != nullptr; }
    int BoundPID() const { return *pidField_; }
    bool BoundActive() const { return *activeField_; }

    // Counts every change of a bound PID or Active field; a packet reader
    // rebuilds its PID index when the count moved.
    static uint64_t FieldChanges() { return fieldChanges_.load(std::memory_order_relaxed); }

protected:
    // For components whose ConsumerPID/ConsumerActive return these fields and
    // whose kind never changes. Such a component calls FieldsChanged after
    // every change of either field.
    void BindConsumerFields(const int* pid, const bool* active, TConsumerKind kind) {
        pidField_ = pid;
        activeField_ = active;
        kind_ = kind;
        FieldsChanged();
    }
    static void FieldsChanged() { fieldChanges_.fetch_add(1, std::memory_order_relaxed); }

private:
    static std::atomic<uint64_t> fieldChanges_;
    const int* pidField_ = nullptr;
    const bool* activeField_ = nullptr;
    TConsumerKind kind_ = ckPes;
};

// One record of the per-PID table.
struct TTSPidRecord {
    int32_t PID = 0;
    int64_t PacketCount = 0;
    int64_t FirstIndex = 0;
    int64_t LastIndex = 0;
    int32_t LastCC = -1;
    // The last packet was the second sending of the one before it (a third
    // is never taken for one).
    bool LastRepeated = false;
};

class TTSPacketReader : public TComponent {
public:
    static constexpr int PID_TABLE_SIZE = 256;
    static constexpr int PID_TABLE_USED = 255;
    static constexpr int DEFAULT_BUFFER_SIZE = 131072;

    explicit TTSPacketReader(TComponent* owner);
    ~TTSPacketReader() override;

    // --- properties ---
    bool Active() const { return active_; }
    void SetActive(bool value);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value);
    int64_t PacketIndex() const { return packetIndex_; }
    void SetPacketIndex(int64_t value);
    int64_t PacketCount() const { return packetCount_; }
    int64_t PacketPosition() const { return packetPosition_; }
    int64_t FileSize() const { return fileSize_; }
    // Always 188: the size of the packet proper (192-byte files carry a prefix).
    int PacketSize() const { return TS_PACKET_SIZE; }
    int GarbageOffset() const { return garbageOffset_; }
    void SetGarbageOffset(int value) { garbageOffset_ = value; }
    bool M2TSMode() const { return m2tsMode_; }
    void SetM2TSMode(bool value);
    bool IgnorePacketErrors() const { return ignorePacketErrors_; }
    void SetIgnorePacketErrors(bool v) { ignorePacketErrors_ = v; }
    bool NoStartByteCheck() const { return noStartByteCheck_; }
    void SetNoStartByteCheck(bool v) { noStartByteCheck_ = v; }
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool v);
    bool AutoResync() const { return autoResync_; }
    void SetAutoResync(bool v) { autoResync_ = v; }
    // Asked for every packet of a pass, as is Next: both inline.
    bool Eof() const { return active_ && stream_ != nullptr && endFlag_; }
    int PacketBufferSize() const { return packetBufferSize_; }
    void SetPacketBufferSize(int value);
    TTSPacketHeader* TSPacketHeader() const { return header_; }
    // Replaces the reference only (the reader keeps owning its own view).
    void SetTSPacketHeader(TTSPacketHeader* h) { header_ = h; }

    // The distance between packets in the file: 188, or 192 with prefixes.
    int WorkingPacketSize() const { return workSize_; }
    // The current packet as read (Length = bytes read, 188 for a whole one).
    const TTSPacketBuffer& RawPacket() const { return raw_; }
    // The current packet is the second sending of the packet before it on
    // its PID (RepeatsPacket): it is no gap in the count, and its payload is
    // not handed to the readers again (a decoder drops it too). Its
    // OnNewPacket fires as for any packet.
    bool RepeatedPacket() const { return repeated_; }
    // The 4-byte prefix of the current packet in 192-byte mode, else zero.
    const uint8_t* M2TSPrefix() const { return prefix_; }
    // Bytes after the last whole packet (a recording cut inside its last
    // packet): no packet index reaches them.
    int64_t TrailingBytes() const {
        const int64_t rest = fileSize_ - garbageOffset_ - packetCount_ * workSize_;
        return rest > 0 ? rest : 0;
    }
    // Byte count added to packet positions by resynchronisation. 64-bit:
    // the stray bytes skipped in a large damaged recording add up past 2 GB.
    int64_t ResyncOffset() const { return resyncOffset_; }
    // Why the last opening failed (the platform's reason), empty after an
    // opening that found its file.
    const std::string& LastErrorText() const { return lastErrorText_; }
    // The first read since opening that brought fewer bytes than the file
    // held when it was opened (a medium that fails, a file that shrank),
    // with the file's name and the platform's reason; empty when none. Such
    // a read ends the reading (Eof): a pass must not take what follows for
    // the end of the recording.
    const std::string& ReadErrorText() const { return readErrorText_; }
    // Opens the recording's stream (a buffered file stream by that name when
    // unset). Tests hand in a stream whose medium fails part-way.
    std::function<std::unique_ptr<TBufFileStream>(const std::string& fileName, unsigned mode, int bufferSize)>
        CreateInputStream;

    // --- events ---
    TNotifyEvent OnNewPacket;
    std::function<void(TObject* sender, int64_t packetNo, int pid)> OnPayloadStartEvent;
    std::function<void(TObject* sender, int64_t packetNo, int pid, int currentDiscontID, int lastDiscontID)>
        OnDisconinuity;
    std::function<void(TObject* sender, int offset, bool& Continue)> OnNoValidStartByte;
    std::function<void(TObject* sender, int64_t packetNo, const std::string& errors)> OnInvalidPacketEvent;
    std::function<void(TObject* sender, int64_t packetNo, int64_t offset)> OnPacketResynchEvent;
    std::function<void(TObject* sender, bool& Continue)> OnM2TSPacketsDetectEvent;
    std::function<void(TObject* sender, int64_t packetNo, int pid, int& transport_scrambling_control, bool& Ignore)>
        OnScrambledPacketEvent;

    // --- moving ---
    void Next() {
        if (active_ && stream_ && !endFlag_) ReadPacket(packetIndex_ + 1);
    }
    void Previous();
    void First();
    void Last();
    void Close();
    // Reads count bytes of the file from position on through the reader's
    // own stream, without moving the current packet: for a pass over many
    // packets at once, one read per block of them instead of one per packet.
    // The count read: short at the end of the file or on a failing medium,
    // 0 when the reader is not active.
    int64_t ReadBytes(int64_t position, void* buffer, int64_t count);
    // Searches the file from its start for the first packet; on success sets
    // the working packet size, GarbageOffset and reads that packet.
    bool FindFirstPacket();

    // --- wiring ---
    // Appends a PAT, PMT or PES reader (a TTSPacketConsumer); anything else is
    // ignored.
    void AddReader(TObject* reader);
    int ReaderCount() const { return static_cast<int>(readers_.size()); }

    // --- per-PID statistics ---
    int PidTableCount() const { return pidCount_; }
    const TTSPidRecord& PidRecord(int slot) const { return pids_[slot]; }

    // --- the current packet ---
    // Writes the current packet (and prefix) back to the file; needs ReadOnly
    // off. The packet is read again from the file afterwards.
    bool WriteCurrentPacket();
    bool SetPacketPCR(int64_t PCR);
    bool SetPacketPTS(int64_t PTS);
    bool SetPacketDTS(int64_t DTS);
    bool SetPacketESCR(int64_t ESCR);
    bool SetPacketByte(uint8_t value, int index);
    uint32_t PacketCrc32() const;
    // See ts/TSPacketViews.h; uses neither the file nor the reader's state.
    static bool PacketTimestamps(const TTSPacketBuffer& buffer, const TTSPacketHeader& header, int64_t& ESCR,
                                 int64_t& DTS, int64_t& PTS) {
        return tw::PacketTimestamps(buffer, header, ESCR, DTS, PTS);
    }
    // Validates a parsed header; Errors gets the comma-separated error text.
    // The scrambled-packet event and IgnorePacketErrors apply only to the
    // reader's own header.
    bool ValidatePacket(std::string& Errors, TTSPacketHeader& header);

protected:
    // Shared with tests: the searches of the opening.
    bool DetectM2TS();
    int FindFirstSync();
    bool ValidatePacketAt(int size, int64_t position);
    bool Resync(int startDelta, int64_t basePosition);

private:
    void Open();
    // regained: the packet found by resynchronisation, read again under the
    // index whose read lost the sync (prevIndex is then the index before).
    void ReadPacket(int64_t index, bool regained = false, int64_t prevIndex = 0);
    [[gnu::cold, gnu::noinline]] void ReadFailed(int64_t position, int64_t got, int64_t wanted);
    void CopyPayload();
    bool PlainlyValid(TTSPacketHeader& h);
    // The current packet is cut short when the next one's sync byte is not
    // where it belongs and the search for it finds it inside this packet.
    [[gnu::cold, gnu::noinline]] bool ProvenShort();
    bool NextSyncMissing();
    void ResetPidTable();
    void ResetPidContinuity();
    void CheckContinuity();
    [[gnu::cold, gnu::noinline]] void ReportDiscontinuity(int lastCC);
    int PidSlot(int pid);
    void DispatchPacket();
    int ReadAt(int64_t position, void* buf, int count);
    bool PesHeaderAt(int& s) const;
    bool SetPesTime(int offset, int64_t value);

    bool active_ = false;
    std::string fileName_;
    int64_t packetIndex_ = 0;
    int64_t packetCount_ = 0;
    int64_t packetPosition_ = 0;
    int64_t fileSize_ = 0;
    int garbageOffset_ = 0;
    bool m2tsMode_ = false;
    bool ignorePacketErrors_ = false;
    bool noStartByteCheck_ = false;
    bool readOnly_ = true;
    bool autoResync_ = true;
    int packetBufferSize_ = DEFAULT_BUFFER_SIZE;

    TTSPacketHeader* ownHeader_ = nullptr;
    TTSPacketHeader* header_ = nullptr;
    std::vector<TTSPacketConsumer*> readers_;
    TBufFileStream* stream_ = nullptr;
    bool endFlag_ = false;
    int64_t resyncOffset_ = 0;
    TTSPacketBuffer raw_;
    uint8_t prefix_[4] = {0, 0, 0, 0};
    int workSize_ = TS_PACKET_SIZE;
    TTSPidRecord pids_[PID_TABLE_SIZE];
    // The last packet of each PID slot as read, to know a repeat of it.
    std::vector<uint8_t> lastPackets_ = std::vector<uint8_t>(PID_TABLE_SIZE * TS_PACKET_SIZE, 0);
    bool repeated_ = false;
    // The grid shift that a packet proven short found for the next index,
    // applied when that index is read next (-1: none).
    int64_t shortShiftAt_ = -1;
    int64_t shortShift_ = 0;
    int pidCount_ = 0;
    // PID -> slot + 1 (0: no slot), so the per-packet lookup is one load.
    uint8_t pidSlotOf_[8192] = {};
    // The consumers of each PID as bits of their index in readers_ (the
    // first 64; the others, and consumers without bound fields, are asked
    // for every packet), rebuilt when a bound field changed.
    static constexpr int kIndexedConsumers = 64;
    void RebuildConsumerIndex(uint64_t changes);
    uint64_t consumersOf_[8192] = {};
    uint64_t askAlways_ = 0;
    std::vector<int> indexedPids_;
    uint64_t indexedChanges_ = ~uint64_t{0};
    bool indexValid_ = false;
    std::string errorText_;
    std::string lastErrorText_;
    std::string readErrorText_;
};

} // namespace tw
