#include "ts/TSPacketWriter.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/Exceptions.h"
#include "base/Sync.h"

namespace tw {

// --- write thread -----------------------------------------------------------

TWriteThread::TWriteThread(TTSPacketWriter* writer, const std::string& fileName) : writer_(writer) {
    try {
        stream_ = writer_->CreateStream(fileName);
        fileSize_ = stream_->Size();
        position_ = stream_->Position();
    } catch (const std::exception& e) {
        // The reason goes to the user's message: the writer stays inactive.
        stream_.reset();
        writer_->RecordError(e.what());
    }
}

TWriteThread::~TWriteThread() {
    if (Started()) {
        Terminate();
        event_.SetEvent();
        WaitFor();
    }
}

bool TWriteThread::SeekTo(int64_t position) {
    std::lock_guard<TLock> lk(streamLock_);
    // Blocks already handed over belong before the new position.
    if (!stream_ || writing_ || pending_ > 0) return false;
    stream_->Seek(position, soBeginning);
    position_ = position;
    return true;
}

void TWriteThread::WriteBlock() {
    writing_ = true;
    const TTSPacketWriter::TBlock& block = writer_->blocks_[writeBlock_];
    packetsWritten_ = block.Written;
    packetsDeleted_ = block.Deleted;
    // The packets lie in the ring's slots; a run that passes the ring's end
    // goes out in two writes.
    const int ringSlots = writer_->ringSlots_;
    const int first = std::min(block.Written, ringSlots - block.Start);
    const int64_t bytes = static_cast<int64_t>(block.Written) * TS_PACKET_SIZE;
    int64_t wholePackets = 0;
    try {
        std::lock_guard<TLock> lk(streamLock_);
        // After a failed write nothing more goes to the file: a later block
        // behind the hole would make a copy with a gap in it.
        if (bytes > 0 && !writer_->HasError()) {
            const int64_t before = stream_->Position();
            const int64_t firstBytes = static_cast<int64_t>(first) * TS_PACKET_SIZE;
            int64_t put = stream_->Write(writer_->SlotBytes(block.Start), firstBytes);
            if (put == firstBytes && bytes > firstBytes) put += stream_->Write(writer_->SlotBytes(0), bytes - firstBytes);
            if (put != bytes) {
                // The count says how much is missing, the platform why.
                const std::string reason = stream_->LastErrorText();
                writer_->RecordError("Write error in \"" + stream_->FileName() + "\": " + std::to_string(put) + " of " +
                                     std::to_string(bytes) + " bytes written" + (reason.empty() ? "" : " (" + reason + ")"));
                // Counted before the cut, which may throw: they are in the file.
                wholePackets = std::max<int64_t>(put, 0) / TS_PACKET_SIZE;
                TTSPacketWriter::KeepWholePackets(*stream_, before, put);
            } else {
                wholePackets = block.Written;
            }
        }
        fileSize_ = stream_->Size();
        position_ = stream_->Position();
    } catch (const std::exception& e) {
        writer_->RecordError(DescribeException(e));
    }
    // What reached the file, per PID, for the caller's counts.
    for (int64_t k = 0, slot = block.Start; k < wholePackets; ++k) {
        writer_->CountWritten(writer_->SlotBytes(static_cast<int>(slot)));
        if (++slot == ringSlots) slot = 0;
    }
    writer_->packetIndex_ = position_ / TS_PACKET_SIZE;
    writer_->packetCount_ = fileSize_ / TS_PACKET_SIZE;
    if (writer_->OnAfterBufferWritten) {
        const int written = packetsWritten_, deleted = packetsDeleted_;
        // A caller waiting for the block must service this hand-over.
        writer_->doneCv_.notify_all();
        try {
            Synchronize([this, written, deleted] {
                if (writer_->OnAfterBufferWritten) writer_->OnAfterBufferWritten(this, written, deleted);
            });
        } catch (...) {
            // A failing handler must not stop the output: the data is written.
        }
    }
    writeBlock_ ^= 1;
    writing_ = false;
    writer_->BlockDone();
}

void TWriteThread::Execute() {
    while (!Terminated()) {
        event_.WaitFor(500);
        while (pending_ > 0) WriteBlock();
    }
    // Blocks handed over together with the end request are still written.
    while (pending_ > 0) WriteBlock();
    std::lock_guard<TLock> lk(streamLock_);
    stream_.reset();
}

// --- writer -------------------------------------------------------------------

TTSPacketWriter::TTSPacketWriter(TComponent* owner) : TComponent(owner) {
    // The write thread's reports are handed to the UI thread: a host that
    // registered none fails here, at once, rather than in the write thread.
    RequireMainThread();
    ClearContinuityTable();
}

TTSPacketWriter::~TTSPacketWriter() { Close(); }

void TTSPacketWriter::RecordError(const std::string& text) {
    std::lock_guard<TLock> lk(errorLock_);
    if (writeError_.empty()) writeError_ = text;
    failed_ = true;
}

bool TTSPacketWriter::HasError() const { return failed_; }

int64_t TTSPacketWriter::KeepWholePackets(TFileStream& stream, int64_t before, int64_t put) {
    if (put < 0) put = 0;
    const int64_t whole = put / TS_PACKET_SIZE;
    if (put % TS_PACKET_SIZE != 0) {
        // A torn packet would be read as a packet with a wrong tail; the
        // file ends with the last whole one instead.
        const int64_t end = before + whole * TS_PACKET_SIZE;
        stream.SetSize(end);
        stream.Seek(end, soBeginning);
    }
    return whole;
}

std::string TTSPacketWriter::LastErrorText() const {
    std::lock_guard<TLock> lk(errorLock_);
    return writeError_;
}

void TTSPacketWriter::SetFileName(const std::string& value) {
    SetActive(false);
    fileName_ = value;
}

void TTSPacketWriter::SetPacketBufferSize(int value) {
    if (active_ || value == packetBufferSize_ || value < 0 || value > 1000000) return;
    packetBufferSize_ = value;
}

void TTSPacketWriter::SetActive(bool value) {
    if (value == active_) return;
    if (value) Open();
    else Close();
}

void TTSPacketWriter::ClearContinuityTable() {
    for (auto& r : cc_) r = TCCRecord();
    for (auto& i : ccIndex_) i = -1;
    ccUsed_ = 0;
}

void TTSPacketWriter::BlockDone() {
    {
        std::lock_guard<TLock> lk(doneLock_);
        --thread_->pending_;
    }
    doneCv_.notify_all();
}

std::unique_ptr<TFileStream> TTSPacketWriter::CreateStream(const std::string& fileName) const {
    if (CreateOutputStream) return CreateOutputStream(fileName);
    return std::make_unique<TFileStream>(fileName, fmCreate);
}

void TTSPacketWriter::Open() {
    if (stream_ || thread_) {
        Close();
        return;
    }
    {
        std::lock_guard<TLock> lk(errorLock_);
        writeError_.clear();
        failed_ = false;
    }
    try {
        // Room for the full queue and the two thirds the thread may still
        // be writing.
        const int chunk = packetBufferSize_ >= 3 ? packetBufferSize_ / 3 : packetBufferSize_;
        ringSlots_ = packetBufferSize_ > 0 ? packetBufferSize_ + 2 * chunk : 0;
        ringBytes_.assign(static_cast<size_t>(ringSlots_) * TS_PACKET_SIZE, 0);
        ringNo_.assign(static_cast<size_t>(ringSlots_), -1);
        ringDeleted_.assign(static_cast<size_t>(ringSlots_), 0);
        ringHeader_.assign(static_cast<size_t>(ringSlots_), 0);
        ringSeq_.assign(static_cast<size_t>(ringSlots_), -1);
        ringRepeatOf_.assign(static_cast<size_t>(ringSlots_), -1);
        queueSeq_ = 0;
        repeats_.clear();
        repeats_.reserve(CONTINUITY_TABLE_SIZE);
        repeatIndex_.assign(8192, -1);
        numbered_.assign(static_cast<size_t>(ringSlots_), 0);
        numberedHead_ = numberedCount_ = numberFalls_ = 0;
        for (TBlock& b : blocks_) b = TBlock();
        queued_ = 0;
        head_ = 0;
        fillBlock_ = 0;
        ClearContinuityTable();
        std::fill(writtenPerPid_.begin(), writtenPerPid_.end(), 0);
        if (packetBufferSize_ > 0) {
            thread_ = std::make_unique<TWriteThread>(this, fileName_);
            if (!thread_->Opened()) {
                thread_.reset();
                ringSlots_ = 0;
                return;
            }
            packetCount_ = thread_->RecordedFileSize() / TS_PACKET_SIZE;
            thread_->Start();
            active_ = true;
        } else {
            stream_ = CreateStream(fileName_);
            packetCount_ = stream_->Size() / TS_PACKET_SIZE;
            active_ = true;
        }
        SetPacketIndex(packetCount_);
    } catch (const std::exception& e) {
        // An output that cannot be created leaves the writer inactive; the
        // platform's reason is kept for the user.
        RecordError(e.what());
        thread_.reset();
        stream_.reset();
        ringSlots_ = 0;
        active_ = false;
    }
}

bool TTSPacketWriter::Close() {
    if (!active_ && !thread_ && !stream_) return !HasError();
    Flush();
    stream_.reset();
    if (thread_) {
        thread_->Terminate();
        thread_->Wake();
        thread_->WaitFor();
        thread_.reset();
    }
    packetCount_ = 0;
    packetIndex_ = 0;
    ringSlots_ = 0;
    ringBytes_.clear();
    ringBytes_.shrink_to_fit();
    ringNo_.clear();
    ringNo_.shrink_to_fit();
    ringDeleted_.clear();
    ringDeleted_.shrink_to_fit();
    ringHeader_.clear();
    ringHeader_.shrink_to_fit();
    ringSeq_.clear();
    ringSeq_.shrink_to_fit();
    ringRepeatOf_.clear();
    ringRepeatOf_.shrink_to_fit();
    repeats_.clear();
    repeats_.shrink_to_fit();
    repeatIndex_.clear();
    repeatIndex_.shrink_to_fit();
    numbered_.clear();
    numbered_.shrink_to_fit();
    numberedHead_ = numberedCount_ = numberFalls_ = 0;
    queued_ = 0;
    head_ = 0;
    active_ = false;
    return !HasError();
}

void TTSPacketWriter::SetPacketIndex(int64_t value) {
    if (!active_) {
        packetIndex_ = 0;
        return;
    }
    const int64_t position = value * TS_PACKET_SIZE;
    if (value < 0) return;
    if (stream_) {
        if (position < stream_->Size()) {
            stream_->Seek(position, soBeginning);
            packetIndex_ = value;
        }
    } else if (thread_) {
        if (position < thread_->RecordedFileSize() && !thread_->Writing()) thread_->SeekTo(position);
    }
}

// Per packet only the copy into the ring and its bookkeeping run here; the
// rare ways (no ring, a full ring, the hand-over) are calls of their own, so
// this needs no stack frame for what they do.
bool TTSPacketWriter::QueuePacket(const TTSPacketBuffer& buffer, int64_t packetNo) {
    if (!active_ || buffer.Length != TS_PACKET_SIZE) return false;
    if (stream_) return WriteUnqueued(buffer);
    // The ring is sized so that this never waits; the check only keeps a
    // slot still being written from being reused.
    if (queued_ + SlotsInFlight() >= ringSlots_) WaitForFreeSlot();
    int slot = head_ + queued_;
    if (slot >= ringSlots_) slot -= ringSlots_;
    std::memcpy(SlotBytes(slot), buffer.Data, TS_PACKET_SIZE);
    ringNo_[static_cast<size_t>(slot)] = packetNo;
    ringDeleted_[static_cast<size_t>(slot)] = 0;
    ringHeader_[static_cast<size_t>(slot)] = HeaderOf(buffer.Data);
    if (autoCC_) NoteQueuedPacket(slot, buffer.Data);
    else ringRepeatOf_[static_cast<size_t>(slot)] = -1;
    if (packetNo >= 0) PushNumbered(slot, packetNo);
    if (++queued_ >= packetBufferSize_) HandOverOldest();
    return !HasError();
}

void TTSPacketWriter::WaitForFreeSlot() {
    while (queued_ + SlotsInFlight() >= ringSlots_) WaitForWriteThread(thread_->pending_ - 1);
}

void TTSPacketWriter::HandOverOldest() {
    // The oldest third (at least one packet for tiny rings).
    int n = packetBufferSize_ / 3;
    if (n < 1) n = queued_;
    FlushRing(n);
}

bool TTSPacketWriter::WriteUnqueued(const TTSPacketBuffer& buffer) {
    // After a failed write nothing more goes to the file.
    if (HasError()) return false;
    bool ok = false;
    try {
        const int64_t before = stream_->Position();
        const int64_t put = stream_->Write(buffer.Data, TS_PACKET_SIZE);
        ok = put == TS_PACKET_SIZE;
        if (ok) {
            CountWritten(buffer.Data);
        } else {
            const std::string reason = stream_->LastErrorText();
            RecordError("Write error in \"" + fileName_ + "\": " + std::to_string(put) + " of " +
                        std::to_string(TS_PACKET_SIZE) + " bytes written" +
                        (reason.empty() ? "" : " (" + reason + ")"));
            KeepWholePackets(*stream_, before, put);
        }
        packetIndex_ = stream_->Position() / TS_PACKET_SIZE;
        packetCount_ = stream_->Size() / TS_PACKET_SIZE;
    } catch (const std::exception& e) {
        RecordError(DescribeException(e));
    }
    return ok;
}

void TTSPacketWriter::WaitForWriteThread(int maxPending) {
    if (!thread_) return;
    // The thread reports each finished block on doneCv_ (and rings it before
    // it asks for a synchronised report, which this thread must run), so the
    // wait ends as soon as a block is written. The short time-out only
    // covers a report queued just after a look at the queue.
    // The windows' pending messages run meanwhile, so that they keep
    // painting and answering while a slow disk takes its time.
    while (thread_->pending_ > maxPending) {
        ProcessPendingMessages();
        std::unique_lock<TLock> lk(doneLock_);
        if (thread_->pending_ <= maxPending) break;
        doneCv_.wait_for(lk, std::chrono::milliseconds(1));
    }
}

int TTSPacketWriter::SlotsInFlight() const {
    if (!thread_) return 0;
    const int pending = thread_->pending_;
    // The pending blocks are the last handed over: fillBlock_ ^ 1, then fillBlock_.
    int slots = 0;
    if (pending >= 1) slots += blocks_[fillBlock_ ^ 1].Slots;
    if (pending >= 2) slots += blocks_[fillBlock_].Slots;
    return slots;
}

bool TTSPacketWriter::FlushRing(int n) {
    if (!thread_ || n <= 0) return !HasError();
    // Reports of written blocks run here, on the caller's thread, even when
    // nothing has to wait for the thread.
    CheckSynchronize();
    // The block record to fill is free once at most one (the other) is pending.
    WaitForWriteThread(1);
    TBlock& block = blocks_[fillBlock_];
    int written = 0, deleted = 0;
    int slot = head_, out = head_;
    for (int k = 0; k < n; ++k) {
        if (ringNo_[static_cast<size_t>(slot)] >= 0) PopNumbered();
        if (ringDeleted_[static_cast<size_t>(slot)]) {
            ++deleted;
        } else {
            uint8_t* bytes = SlotBytes(slot);
            if (autoCC_)
                RepairContinuityCounter(bytes, ringHeader_[static_cast<size_t>(slot)], ringNo_[static_cast<size_t>(slot)],
                                        ringSeq_[static_cast<size_t>(slot)], ringRepeatOf_[static_cast<size_t>(slot)]);
            // Survivors move together behind a deleted packet so that the
            // thread writes one run.
            if (out != slot) std::memcpy(SlotBytes(out), bytes, TS_PACKET_SIZE);
            ++written;
            if (++out == ringSlots_) out = 0;
        }
        if (++slot == ringSlots_) slot = 0;
    }
    block.Start = head_;
    block.Slots = n;
    block.Written = written;
    block.Deleted = deleted;
    {
        std::lock_guard<TLock> lk(doneLock_);
        ++thread_->pending_;
    }
    fillBlock_ ^= 1;
    thread_->Wake();
    head_ = slot;
    queued_ -= n;
    return !HasError();
}

bool TTSPacketWriter::Flush() {
    if (!active_) return false;
    if (stream_) return !HasError();
    // Blocks already handed over may still be on their way to the disk even
    // with nothing queued (a ring of one or two packets hands over every
    // packet at once): only once they are written is the answer known.
    if (queued_ > 0) FlushRing(queued_);
    WaitForWriteThread();
    return !HasError();
}

void TTSPacketWriter::NoteQueuedPacket(int slot, const uint8_t* packet) {
    const int pid = ((packet[1] & 0x1F) << 8) | packet[2];
    const int64_t seq = queueSeq_++;
    ringSeq_[static_cast<size_t>(slot)] = seq;
    ringRepeatOf_[static_cast<size_t>(slot)] = -1;
    if (pid == kNullPacketPid) return;
    int index = repeatIndex_[static_cast<size_t>(pid)];
    if (index < 0) {
        // As many PIDs as the continuity table repairs; further ones pass
        // unrepaired anyway.
        if (static_cast<int>(repeats_.size()) >= CONTINUITY_TABLE_SIZE) return;
        index = static_cast<int>(repeats_.size());
        repeats_.emplace_back();
        repeatIndex_[static_cast<size_t>(pid)] = static_cast<int16_t>(index);
    }
    TRepeatRecord& r = repeats_[static_cast<size_t>(index)];
    // A third sending is no longer a repeat the standard allows.
    if (r.Seq >= 0 && !r.Repeated && RepeatsPacket(r.Bytes, packet)) {
        ringRepeatOf_[static_cast<size_t>(slot)] = r.Seq;
        r.Repeated = true;
    } else {
        std::memcpy(r.Bytes, packet, TS_PACKET_SIZE);
        r.Repeated = false;
    }
    r.Seq = seq;
}

void TTSPacketWriter::RepairContinuityCounter(uint8_t* packet, uint32_t header, int64_t packetNo, int64_t seq,
                                              int64_t repeatOf) {
    const uint32_t pid = (header >> 8) & 0x1FFF;
    // Null packets carry no count to keep: written as they came.
    if (pid == kNullPacketPid) return;
    const uint8_t byte3 = static_cast<uint8_t>(header);
    const int cc = byte3 & 0x0F;
    const int afc = (byte3 >> 4) & 3;
    int index = ccIndex_[pid];
    if (index < 0) {
        index = NewContinuityRecord(pid);
        if (index < 0) return;
    }
    TCCRecord& r = cc_[index];
    const int64_t lastSeq = r.LastSeq;
    r.LastSeq = seq;
    if (repeatOf >= 0 && repeatOf == lastSeq && r.LastCC != -1) {
        // The second sending of the packet just written: it carries the
        // counter its original was written with, and the count goes on from
        // there as if it were not there. Renumbering it would make it new
        // data, and every later packet of the PID would be renumbered too.
        packet[3] = static_cast<uint8_t>((byte3 & 0xF0) | r.LastCC);
        return;
    }
    if (r.LastCC == -1) {
        r.LastCC = cc;
        r.InCorrection = false;
        return;
    }
    // A packet that flags a discontinuity may start a new count: it keeps
    // its counter and the count goes on from it (its adaptation field is
    // read only for packets that have one).
    if ((afc & 2) && packet[4] > 0 && (packet[5] & 0x80)) {
        r.LastCC = cc;
        r.InCorrection = false;
        return;
    }
    const int expected = afc == 2 ? r.LastCC : (r.LastCC + 1) % 16;
    if (cc != expected) {
        CorrectContinuityCounter(packet, r, byte3, expected, packetNo);
    } else {
        r.InCorrection = false;
    }
    r.LastCC = expected;
}

int TTSPacketWriter::NewContinuityRecord(uint32_t pid) {
    // Records are taken in order of first appearance; once all are used,
    // further PIDs pass unrepaired.
    if (ccUsed_ >= CONTINUITY_TABLE_SIZE) return -1;
    const int index = ccUsed_++;
    ccIndex_[pid] = static_cast<int16_t>(index);
    TCCRecord& rec = cc_[index];
    rec.PID = pid;
    rec.LastCC = -1;
    rec.InCorrection = false;
    rec.LastSeq = -1;
    return index;
}

void TTSPacketWriter::CorrectContinuityCounter(uint8_t* packet, TCCRecord& r, uint8_t byte3, int expected,
                                               int64_t packetNo) {
    const int cc = byte3 & 0x0F;
    packet[3] = static_cast<uint8_t>((byte3 & 0xF0) | expected);
    if (!r.InCorrection && OnContinuityCounterCorrected)
        OnContinuityCounterCorrected(this, static_cast<int>(r.PID), packetNo, expected, cc);
    r.InCorrection = true;
}

void TTSPacketWriter::PushNumbered(int slot, int64_t packetNo) {
    // There are never more numbered packets queued than slots in the ring.
    if (numberedCount_ > 0 && packetNo < ringNo_[static_cast<size_t>(NumberedSlot(numberedCount_ - 1))])
        ++numberFalls_;
    int at = numberedHead_ + numberedCount_;
    if (at >= ringSlots_) at -= ringSlots_;
    numbered_[static_cast<size_t>(at)] = slot;
    ++numberedCount_;
}

void TTSPacketWriter::PopNumbered() {
    // The oldest numbered packet is handed over; a fall between it and the
    // next one goes with it.
    if (numberedCount_ <= 0) return;
    if (numberedCount_ > 1 &&
        ringNo_[static_cast<size_t>(NumberedSlot(1))] < ringNo_[static_cast<size_t>(NumberedSlot(0))])
        --numberFalls_;
    if (++numberedHead_ == ringSlots_) numberedHead_ = 0;
    --numberedCount_;
}

int TTSPacketWriter::FindQueuedPacket(int64_t packetNo) const {
    if (packetNo < 0 || numberFalls_ > 0) return ScanQueue(packetNo);
    // The first numbered packet whose number is not below packetNo: the
    // oldest of those queued under it, as the walk from the head finds.
    int lo = 0, hi = numberedCount_;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (ringNo_[static_cast<size_t>(NumberedSlot(mid))] < packetNo) lo = mid + 1;
        else hi = mid;
    }
    if (lo == numberedCount_) return -1;
    const int slot = NumberedSlot(lo);
    return ringNo_[static_cast<size_t>(slot)] == packetNo ? slot : -1;
}

int TTSPacketWriter::ScanQueue(int64_t packetNo) const {
    int slot = head_;
    for (int k = 0; k < queued_; ++k) {
        if (ringNo_[static_cast<size_t>(slot)] == packetNo) return slot;
        if (++slot == ringSlots_) slot = 0;
    }
    return -1;
}

bool TTSPacketWriter::SlotQueued(int slot) const {
    if (slot < 0 || slot >= ringSlots_) return false;
    int rel = slot - head_;
    if (rel < 0) rel += ringSlots_;
    return rel < queued_;
}

uint8_t TTSPacketWriter::QueuedPacketByte(int slot, int index) const {
    if (!SlotQueued(slot) || index < 0 || index >= TS_PACKET_SIZE) return 0;
    return ringBytes_[static_cast<size_t>(slot) * TS_PACKET_SIZE + static_cast<size_t>(index)];
}

bool TTSPacketWriter::SetQueuedPacketBit(int slot, int bit, bool value) {
    // Only queued packets: a slot handed over may be on its way to the disk.
    if (!SlotQueued(slot) || bit < 0 || bit >= TS_PACKET_SIZE * 8) return false;
    uint8_t& b = SlotBytes(slot)[bit / 8];
    const uint8_t mask = static_cast<uint8_t>(0x80 >> (bit % 8));
    b = value ? static_cast<uint8_t>(b | mask) : static_cast<uint8_t>(b & ~mask);
    if (bit / 8 >= 1 && bit / 8 <= 3) ringHeader_[static_cast<size_t>(slot)] = HeaderOf(SlotBytes(slot));
    if (autoCC_) PatchRepeatRecord(slot, bit / 8, b);
    return true;
}

void TTSPacketWriter::PatchRepeatRecord(int slot, int index, uint8_t value) {
    // The record of the PID's last queued packet is what its second sending
    // is compared with when it is queued: patched with the slot, so that
    // only a sending with the same patch counts as a repeat and keeps the
    // counter (one with the old bytes is new data to a decoder).
    const int pid = static_cast<int>((ringHeader_[static_cast<size_t>(slot)] >> 8) & 0x1FFF);
    const int record = repeatIndex_[static_cast<size_t>(pid)];
    if (record < 0) return;
    TRepeatRecord& r = repeats_[static_cast<size_t>(record)];
    if (r.Seq == ringSeq_[static_cast<size_t>(slot)]) r.Bytes[index] = value;
}

bool TTSPacketWriter::CopyQueuedPacket(int slot, TTSPacketBuffer& out) const {
    out.Length = 0;
    if (!SlotQueued(slot)) return false;
    std::memcpy(out.Data, ringBytes_.data() + static_cast<size_t>(slot) * TS_PACKET_SIZE, TS_PACKET_SIZE);
    out.Length = TS_PACKET_SIZE;
    return true;
}

int TTSPacketWriter::NextQueuedPacketOfPid(int slot) const {
    if (!SlotQueued(slot)) return -1;
    const uint32_t pid = (ringHeader_[static_cast<size_t>(slot)] >> 8) & 0x1FFF;
    int rel = slot - head_;
    if (rel < 0) rel += ringSlots_;
    int at = slot;
    for (int k = rel + 1; k < queued_; ++k) {
        if (++at == ringSlots_) at = 0;
        if (((ringHeader_[static_cast<size_t>(at)] >> 8) & 0x1FFF) == pid) return at;
    }
    return -1;
}

bool TTSPacketWriter::DeleteQueuedPacket(int64_t packetNo) {
    const int slot = FindQueuedPacket(packetNo);
    if (slot < 0) return false;
    ringDeleted_[static_cast<size_t>(slot)] = 1;
    return true;
}

bool TTSPacketWriter::SetPacketPID(TTSPacketBuffer& buffer, int pid) {
    buffer.Data[1] = static_cast<uint8_t>((buffer.Data[1] & 0xE0) + ((pid >> 8) & 0x1F));
    buffer.Data[2] = static_cast<uint8_t>(pid & 0xFF);
    return true;
}

bool TTSPacketWriter::SetPacketCC(TTSPacketBuffer& buffer, int cc) {
    buffer.Data[3] = static_cast<uint8_t>((buffer.Data[3] & 0xF0) + (cc & 15));
    return true;
}

} // namespace tw
