// TTSPacketWriter: queues 188-byte packets in a ring of slots (where they can
// still be found, patched or deleted), optionally repairs continuity counters
// per PID on the way out, and hands the oldest third of the queue to its
// TWriteThread whenever PacketBufferSize packets are queued. The thread
// writes a handed-over third straight from the ring's slots, which lie back
// to back in one array: the ring has room for two thirds in flight beside the
// full queue, so the caller goes on queueing while the thread writes, and a
// slot handed over is neither found, patched nor reused until it is written.
// With PacketBufferSize 0 it writes every packet at once through a plain file
// stream.
//
// The output file is created empty on activation. An output that cannot be
// created, or a failed write, is kept with the platform's reason
// (LastErrorText) and makes Flush, QueuePacket and Close answer false, so a
// full disk never ends in a reported success. Writing stops at the first
// failure: a packet written in part is cut off again and nothing later is
// written, so the file is a clean run of whole packets from its start.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Lock.h"
#include "base/Object.h"
#include "base/Streams.h"
#include "base/Thread.h"
#include "ts/TSPacketViews.h"

namespace tw {

class TTSPacketWriter;

class TWriteThread : public TThread {
public:
    // Creates (empties) the output file; Opened() tells whether that worked.
    TWriteThread(TTSPacketWriter* writer, const std::string& fileName);
    ~TWriteThread() override;

    bool Opened() const { return stream_ != nullptr; }
    bool Writing() const { return writing_; }
    // True while a handed-over block is not yet written.
    bool Busy() const { return pending_ > 0; }
    int PacketsWritten() const { return packetsWritten_; }
    int PacketsDeleted() const { return packetsDeleted_; }
    int64_t RecordedFileSize() const { return fileSize_; }
    int64_t RecordedPosition() const { return position_; }
    // Wakes the thread (after the writer handed over a block).
    void Wake() { event_.SetEvent(); }

protected:
    void Execute() override;

private:
    friend class TTSPacketWriter;
    void WriteBlock();
    bool SeekTo(int64_t position);

    TTSPacketWriter* writer_;
    std::unique_ptr<TFileStream> stream_;
    TLock streamLock_;
    TEvent event_{false, false};
    std::atomic<bool> writing_{false};
    // Handed-over blocks not yet written (0..2); they are written in the
    // order they were handed over.
    std::atomic<int> pending_{0};
    int writeBlock_ = 0;
    std::atomic<int> packetsWritten_{0};
    std::atomic<int> packetsDeleted_{0};
    std::atomic<int64_t> fileSize_{0};
    std::atomic<int64_t> position_{0};
};

class TTSPacketWriter : public TComponent {
public:
    static constexpr int CONTINUITY_TABLE_SIZE = 256;

    explicit TTSPacketWriter(TComponent* owner);
    ~TTSPacketWriter() override;

    bool Active() const { return active_; }
    void SetActive(bool value);
    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value);
    int PacketSize() const { return TS_PACKET_SIZE; }
    int64_t PacketIndex() const { return packetIndex_; }
    void SetPacketIndex(int64_t value);
    int64_t PacketCount() const { return packetCount_; }
    int PacketBufferSize() const { return packetBufferSize_; }
    void SetPacketBufferSize(int value);
    bool AutoContinuityCounter() const { return autoCC_; }
    void SetAutoContinuityCounter(bool v) { autoCC_ = v; }

    // Published but never fired.
    TNotifyEvent OnNewPacket;
    std::function<void(TObject* sender, int pid, int64_t packetNo, int correctedContCount, int oldContCount)>
        OnContinuityCounterCorrected;
    // Runs on the user-interface thread; Sender is the write thread.
    std::function<void(TObject* sender, int packetsWritten, int packetsDeleted)> OnAfterBufferWritten;
    // Creates the output file on activation (a new file by that name when
    // unset). Tests hand in a stream that fails part-way, as a full disk does.
    std::function<std::unique_ptr<TFileStream>(const std::string& fileName)> CreateOutputStream;

    // Takes a copy of a 188-byte packet (packets that were built rather than
    // read are queued with number -1). False for other lengths, an inactive
    // writer, or once a write has failed.
    bool QueuePacket(const TTSPacketBuffer& buffer, int64_t packetNo);
    // Writes everything queued and waits for it; false when inactive or when a
    // write failed.
    bool Flush();
    // Deactivates (flushing first); false when any write failed.
    bool Close();
    // Why the output could not be created, or the first failed write since
    // activation (with the platform's reason); empty when none.
    std::string LastErrorText() const;
    // Whole packets of a PID that reached the file since the last
    // activation (kept after deactivation). Read it when nothing is being
    // written: after Flush or Close.
    int64_t WrittenPackets(int pid) const {
        return pid >= 0 && pid < 8192 ? writtenPerPid_[static_cast<size_t>(pid)] : 0;
    }

    // Slot of a queued packet (-1 when not queued, also once handed over);
    // of several queued under one number, the oldest.
    int FindQueuedPacket(int64_t packetNo) const;
    // Byte and bit access to a queued slot; 0 / false for a slot that holds
    // no queued packet or an index outside the 188 bytes.
    uint8_t QueuedPacketByte(int slot, int index) const;
    bool SetQueuedPacketBit(int slot, int bit, bool value);
    // A queued slot's 188 bytes as they stand now; false (and Length 0)
    // for a slot that holds no queued packet.
    bool CopyQueuedPacket(int slot, TTSPacketBuffer& out) const;
    // The next queued slot behind `slot` whose packet has the same PID
    // (one marked deleted included: it was queued there), -1 when none. A
    // patch of a packet must reach its second sending too.
    int NextQueuedPacketOfPid(int slot) const;
    bool DeleteQueuedPacket(int64_t packetNo);
    int QueuedCount() const { return queued_; }

    static bool SetPacketPID(TTSPacketBuffer& buffer, int pid);
    static bool SetPacketCC(TTSPacketBuffer& buffer, int cc);

private:
    friend class TWriteThread;
    struct TCCRecord {
        uint32_t PID = 0xFFFFFFFFu;
        int32_t LastCC = -1;
        bool InCorrection = false;
        // Queue order of the last packet of the PID that was written.
        int64_t LastSeq = -1;
    };
    // The last packet queued on a PID, to know its second sending when it
    // is queued (its bytes are at hand then, not a ring later).
    struct TRepeatRecord {
        uint8_t Bytes[TS_PACKET_SIZE];
        int64_t Seq = -1;
        bool Repeated = false;
    };

    void Open();
    std::unique_ptr<TFileStream> CreateStream(const std::string& fileName) const;
    bool FlushRing(int n);
    // Waits (servicing hand-overs) until at most maxPending blocks are
    // still to be written.
    void WaitForWriteThread(int maxPending = 0);
    void BlockDone();
    // Slots handed over and not yet written.
    int SlotsInFlight() const;
    bool SlotQueued(int slot) const;
    uint8_t* SlotBytes(int slot) { return ringBytes_.data() + static_cast<size_t>(slot) * TS_PACKET_SIZE; }
    // header: bytes 1 to 3 of the packet (see ringHeader_); seq its place in
    // the queue order, repeatOf that of the packet it repeats (-1 none).
    void RepairContinuityCounter(uint8_t* packet, uint32_t header, int64_t packetNo, int64_t seq = -1,
                                 int64_t repeatOf = -1);
    void NoteQueuedPacket(int slot, const uint8_t* packet);
    // Keeps the PID's repeat record equal to its last queued packet when
    // that packet's byte `index` is patched in its slot.
    void PatchRepeatRecord(int slot, int index, uint8_t value);
    // The rare ways of RepairContinuityCounter and QueuePacket, out of line.
    [[gnu::noinline]] int NewContinuityRecord(uint32_t pid);
    [[gnu::cold, gnu::noinline]] void CorrectContinuityCounter(uint8_t* packet, TCCRecord& r, uint8_t byte3,
                                                               int expected, int64_t packetNo);
    [[gnu::noinline]] bool WriteUnqueued(const TTSPacketBuffer& buffer);
    [[gnu::cold, gnu::noinline]] void WaitForFreeSlot();
    [[gnu::noinline]] void HandOverOldest();
    void PushNumbered(int slot, int64_t packetNo);
    void PopNumbered();
    int NumberedSlot(int k) const {
        int at = numberedHead_ + k;
        if (at >= ringSlots_) at -= ringSlots_;
        return numbered_[static_cast<size_t>(at)];
    }
    int ScanQueue(int64_t packetNo) const;
    static uint32_t HeaderOf(const uint8_t* packet) {
        return (static_cast<uint32_t>(packet[1]) << 16) | (static_cast<uint32_t>(packet[2]) << 8) | packet[3];
    }
    void ClearContinuityTable();
    // After a write that put `put` of the bytes asked for: a packet put in
    // part is cut off the file again (whole packets only). Returns the
    // whole packets that the write added.
    static int64_t KeepWholePackets(TFileStream& stream, int64_t before, int64_t put);
    void CountWritten(const uint8_t* packet) { ++writtenPerPid_[static_cast<size_t>(((packet[1] & 0x1F) << 8) | packet[2])]; }
    void RecordError(const std::string& text);
    bool HasError() const;

    bool active_ = false;
    std::string fileName_;
    std::atomic<int64_t> packetIndex_{0};
    std::atomic<int64_t> packetCount_{0};
    int packetBufferSize_ = 0;
    bool autoCC_ = false;

    std::unique_ptr<TWriteThread> thread_;
    std::unique_ptr<TFileStream> stream_;
    // The ring: ringSlots_ packets of 188 bytes back to back, with the
    // number and deletion mark of each slot beside them. The queue is the
    // queued_ slots from head_ on; the slots just before head_ are in flight.
    std::vector<uint8_t> ringBytes_;
    std::vector<int64_t> ringNo_;
    std::vector<uint8_t> ringDeleted_;
    // Bytes 1 to 3 (PID, counter, adaptation-field control) of each queued
    // packet, kept up to date with every change to them, so that the
    // continuity repair at hand-over reads this small table, still in the
    // cache, rather than packets queued a whole ring ago.
    std::vector<uint32_t> ringHeader_;
    // With the counter repair on: each slot's place in the queue order, and
    // for the second sending of a packet (RepeatsPacket) the place of the
    // packet it repeats, else -1. The repeat keeps the counter its original
    // is written with, as long as that original is the PID's last written.
    std::vector<int64_t> ringSeq_;
    std::vector<int64_t> ringRepeatOf_;
    int64_t queueSeq_ = 0;
    std::vector<TRepeatRecord> repeats_;
    std::vector<int16_t> repeatIndex_;
    int ringSlots_ = 0;
    int queued_ = 0;
    int head_ = 0;
    // The slots of the queued packets that carry a number (>= 0), oldest
    // first, in a ring of their own: the duplicate fix and the flag patch
    // look a packet up for each one they touch, and a walk of a queue of
    // tens of thousands each time made a PES of thousands of packets cost
    // seconds. The readers queue their packets in increasing order, so a
    // bisection over these finds the slot; numberFalls_ counts the places
    // where a number is below the one queued before it, and while one is
    // queued the look-up walks the queue as before.
    std::vector<int32_t> numbered_;
    int numberedHead_ = 0;
    int numberedCount_ = 0;
    int numberFalls_ = 0;
    // A handed-over run of slots: Slots from Start on (wrapping at the
    // ring's end), of which the first Written hold the packets to write
    // (the survivors moved together) and Deleted were dropped.
    struct TBlock {
        int Start = 0;
        int Slots = 0;
        int Written = 0;
        int Deleted = 0;
    };
    TBlock blocks_[2];
    int fillBlock_ = 0;
    TLock doneLock_;
    TCondition doneCv_;
    TCCRecord cc_[CONTINUITY_TABLE_SIZE];
    // Continuity record of each PID (index into cc_, -1 none yet): the
    // repair runs for every packet written.
    int16_t ccIndex_[8192];
    int ccUsed_ = 0;
    mutable TLock errorLock_;
    std::string writeError_;
    std::atomic<bool> failed_{false};
    // Whole packets written per PID; the write thread counts them, the
    // caller reads them once the thread is idle.
    std::vector<int64_t> writtenPerPid_ = std::vector<int64_t>(8192, 0);
};

} // namespace tw
