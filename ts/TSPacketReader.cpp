#include "ts/TSPacketReader.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>

#include "base/Exceptions.h"
#include "base/SysUtils.h"
#include "ts/BufStream.h"
#include "ts/TSTimeStamp.h"
#include "ts/dvb_crc32.h"

namespace tw {

TTSPacketReader::TTSPacketReader(TComponent* owner) : TComponent(owner) {
    ownHeader_ = new TTSPacketHeader();
    header_ = ownHeader_;
    readers_.reserve(16);
    errorText_.reserve(160);
    ResetPidTable();
}

TTSPacketReader::~TTSPacketReader() {
    Close();
    delete ownHeader_;
}

// --- properties ---------------------------------------------------------

void TTSPacketReader::SetActive(bool value) {
    if (value == active_) return;
    if (value) Open();
    else Close();
}

void TTSPacketReader::SetFileName(const std::string& value) {
    SetActive(false);
    fileName_ = value;
}

void TTSPacketReader::SetM2TSMode(bool value) {
    m2tsMode_ = value;
    workSize_ = value ? TS_M2TS_PACKET_SIZE : TS_PACKET_SIZE;
}

void TTSPacketReader::SetReadOnly(bool v) {
    if (!active_) readOnly_ = v;
}

void TTSPacketReader::SetPacketBufferSize(int value) {
    if (active_ || value == packetBufferSize_ || value < 0 || value > 100000000) return;
    packetBufferSize_ = value;
}

void TTSPacketReader::SetPacketIndex(int64_t value) {
    if (!active_) {
        packetIndex_ = 0;
        return;
    }
    if (stream_ == nullptr) return;
    ReadPacket(value);
}

// --- opening and closing -----------------------------------------------

namespace {

// The first position p in [from, end) where bytes[p] and bytes[p + step]
// (which must lie below got) are both sync bytes, or -1. Eight positions are
// ruled out at once where neither word holds a pair; damage full of sync
// bytes then costs no more than any other.
int FindConfirmedSync(const uint8_t* bytes, int from, int end, int got, int step) {
    constexpr uint64_t kSyncs = 0x0101010101010101ull * TS_SYNC_BYTE;
    constexpr uint64_t kLow = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    int p = from;
    while (p < end) {
        if (p + 8 <= end && p + 8 + step <= got) {
            uint64_t a, b;
            std::memcpy(&a, bytes + p, 8);
            std::memcpy(&b, bytes + p + step, 8);
            // A zero byte of x is a position with a sync byte in both.
            const uint64_t x = (a ^ kSyncs) | (b ^ kSyncs);
            if (((x - kLow) & ~x & kHigh) == 0) {
                p += 8;
                continue;
            }
        }
        for (const int stop = std::min(p + 8, end); p < stop; ++p)
            if (bytes[p] == TS_SYNC_BYTE && p + step < got && bytes[p + step] == TS_SYNC_BYTE) return p;
    }
    return -1;
}

} // namespace

void TTSPacketReader::Close() {
    delete stream_;
    stream_ = nullptr;
    active_ = false;
    endFlag_ = false;
    packetCount_ = 0;
    packetIndex_ = 0;
    raw_.Length = 0;
    std::memset(prefix_, 0, sizeof prefix_);
    garbageOffset_ = 0;
    packetPosition_ = 0;
    fileSize_ = 0;
    // No packet grid without a file: the next file starts from 188 bytes.
    m2tsMode_ = false;
    workSize_ = TS_PACKET_SIZE;
    if (header_) header_->ClearHeader();
}

void TTSPacketReader::Open() {
    if (stream_) {
        Close();
    }
    if (!FileExists(fileName_)) {
        active_ = false;
        return;
    }
    lastErrorText_.clear();
    readErrorText_.clear();
    try {
        const unsigned mode = readOnly_ ? (fmOpenRead | fmShareDenyNone) : fmOpenReadWrite;
        if (CreateInputStream) stream_ = CreateInputStream(fileName_, mode, packetBufferSize_).release();
        else stream_ = new TBufFileStream(fileName_, mode, packetBufferSize_);
    } catch (const EStreamError& e) {
        // A file that cannot be opened leaves the reader inactive; the
        // platform's reason stays for the caller's message.
        lastErrorText_ = e.Message();
        Close();
        return;
    }
    // What fails from here on, a read or an event handler, closes the
    // reader and reaches the caller: half-open it could only mislead.
    try {
        resyncOffset_ = 0;
        shortShiftAt_ = -1;
        std::memset(prefix_, 0, sizeof prefix_);
        m2tsMode_ = false;
        workSize_ = TS_PACKET_SIZE;
        fileSize_ = stream_->FileSize();
        packetCount_ = fileSize_ / workSize_;
        packetPosition_ = 0;
        packetIndex_ = 0;
        endFlag_ = false;
        ResetPidTable();

        if (DetectM2TS()) workSize_ = TS_M2TS_PACKET_SIZE;
        const int sync = FindFirstSync();
        garbageOffset_ = noStartByteCheck_ ? 0 : sync;

        if (workSize_ == TS_M2TS_PACKET_SIZE) {
            bool cont = true;
            if (OnM2TSPacketsDetectEvent) OnM2TSPacketsDetectEvent(this, cont);
            if (!cont) {
                Close();
                return;
            }
            m2tsMode_ = true;
            // The search answers the first sync byte; the packet starts with
            // its prefix four bytes earlier.
            if (garbageOffset_ >= 4) garbageOffset_ -= 4;
            packetCount_ = fileSize_ / TS_M2TS_PACKET_SIZE;
        }
        if (garbageOffset_ >= 1 && OnNoValidStartByte) {
            bool cont = true;
            OnNoValidStartByte(this, garbageOffset_, cont);
            if (!cont) {
                Close();
                return;
            }
            if (noStartByteCheck_) garbageOffset_ = 0;
        }
        // Count only whole packets behind the garbage, with or without a
        // handler, so that Last reads a real packet.
        packetCount_ = (fileSize_ - garbageOffset_) / workSize_;
        active_ = true;
        ReadPacket(0);
    } catch (...) {
        Close();
        throw;
    }
}

int TTSPacketReader::ReadAt(int64_t position, void* buf, int count) {
    if (position < 0 || stream_ == nullptr) return 0;
    stream_->Seek(position, soBeginning);
    return static_cast<int>(stream_->Read(buf, count));
}

int64_t TTSPacketReader::ReadBytes(int64_t position, void* buffer, int64_t count) {
    if (!active_ || stream_ == nullptr || position < 0 || count <= 0) return 0;
    stream_->Seek(position, soBeginning);
    return std::max<int64_t>(0, stream_->Read(buffer, count));
}

bool TTSPacketReader::DetectM2TS() {
    if (!stream_) return false;
    const int64_t saved = stream_->Position();
    int hist[193] = {};
    const int64_t start = fileSize_ / 2 - 94000;
    if (start >= 0) stream_->Seek(start, soBeginning);
    std::vector<uint8_t> window(188000);
    const int64_t got = stream_->Read(window.data(), static_cast<int64_t>(window.size()));
    int64_t prev = 0;
    for (int64_t k = 0; k < got; ++k) {
        if (window[static_cast<size_t>(k)] != TS_SYNC_BYTE) continue;
        const int64_t d = k - prev;
        if (d >= 1 && d <= 192) ++hist[d];
        prev = k;
    }
    int best = 0, bestCount = 0;
    for (int d = 1; d <= 192; ++d)
        if (hist[d] > bestCount) {
            bestCount = hist[d];
            best = d;
        }
    stream_->Seek(saved, soBeginning);
    return best == TS_M2TS_PACKET_SIZE;
}

bool TTSPacketReader::ValidatePacketAt(int size, int64_t position) {
    if (!stream_) return false;
    const int64_t saved = stream_->Position();
    TTSPacketHeader temp;
    TTSPacketBuffer buf;
    const int64_t at = position + (size - TS_PACKET_SIZE);
    buf.Length = ReadAt(at, buf.Data, TS_PACKET_SIZE);
    bool ok = false;
    if (buf.Length == TS_PACKET_SIZE) {
        ParsePacketHeader(buf, temp);
        std::string errors;
        ok = ValidatePacket(errors, temp);
    }
    stream_->Seek(saved, soBeginning);
    return ok;
}

int TTSPacketReader::FindFirstSync() {
    if (!stream_) return garbageOffset_;
    if (stream_->Position() != 0) return garbageOffset_;
    const int ws = workSize_;
    const int64_t limit = std::min<int64_t>(fileSize_, static_cast<int64_t>(ws) * 1000);
    uint8_t c = 0;
    for (int64_t p1 = 0; p1 < limit; ++p1) {
        if (ReadAt(p1, &c, 1) != 1) break;
        if (c != TS_SYNC_BYTE) continue;
        const int64_t p2 = p1 + ws;
        if (ReadAt(p2, &c, 1) != 1 || c != TS_SYNC_BYTE) continue;
        if (ReadAt(p2 + ws, &c, 1) != 1 || c != TS_SYNC_BYTE) continue;
        if (ws == TS_PACKET_SIZE) {
            if (ValidatePacketAt(ws, p1) && ValidatePacketAt(ws, p2)) {
                stream_->Seek(0, soBeginning);
                return static_cast<int>(p1);
            }
        } else if (p1 >= 4 && ValidatePacketAt(ws, p1 - 4) && ValidatePacketAt(ws, p2 - 4)) {
            // The first packet itself: opening steps back over its prefix.
            stream_->Seek(0, soBeginning);
            return static_cast<int>(p1);
        }
    }
    stream_->Seek(0, soBeginning);
    return 0;
}

bool TTSPacketReader::FindFirstPacket() {
    if (!stream_) return false;
    if (stream_->Seek(0, soBeginning) != 0) return false;
    const int64_t limit = std::min<int64_t>(fileSize_, static_cast<int64_t>(workSize_) * 10000);
    uint8_t c = 0;
    int size = 0;
    int64_t pos = 0;
    auto syncAt = [&](int64_t p) { return ReadAt(p, &c, 1) == 1 && c == TS_SYNC_BYTE; };
    for (int64_t p1 = 0; p1 < limit && size == 0; ++p1) {
        if (!syncAt(p1)) continue;
        if (syncAt(p1 + 188) && syncAt(p1 + 376) && ValidatePacketAt(TS_PACKET_SIZE, p1)) {
            size = TS_PACKET_SIZE;
            pos = p1;
        } else if (p1 >= 4 && syncAt(p1 + 192) && syncAt(p1 + 384) && ValidatePacketAt(TS_M2TS_PACKET_SIZE, p1 - 4)) {
            // A 192-byte packet is found by its sync byte but starts with
            // its prefix.
            size = TS_M2TS_PACKET_SIZE;
            pos = p1 - 4;
        }
    }
    stream_->Seek(0, soBeginning);
    if (size == 0) return false;
    SetM2TSMode(size == TS_M2TS_PACKET_SIZE);
    // A new packet grid: whatever resynchronisation found before is void.
    resyncOffset_ = 0;
    shortShiftAt_ = -1;
    garbageOffset_ = static_cast<int>(pos % size);
    packetCount_ = (fileSize_ - garbageOffset_) / size;
    SetPacketIndex(pos / size);
    return true;
}

// --- reading a packet -----------------------------------------------------

void TTSPacketReader::ReadPacket(int64_t i, bool regained, int64_t regainedPrev) {
    if (i < 0) return;
    repeated_ = false;
    const int64_t prevIndex = regained ? regainedPrev : packetIndex_;
    if (!regained && !(i == prevIndex + 1 || i == prevIndex - 1)) resyncOffset_ = 0;
    // The packet before was proven short: its successor starts where the
    // search found it, not one packet further (where its read would fail).
    const bool shifted = !regained && shortShiftAt_ == i && i == prevIndex + 1;
    shortShiftAt_ = -1;
    if (shifted) {
        resyncOffset_ += shortShift_;
        if (OnPacketResynchEvent) OnPacketResynchEvent(this, i, resyncOffset_);
    }
    packetPosition_ = resyncOffset_ + garbageOffset_ + i * workSize_;
    if (packetPosition_ >= fileSize_ || packetPosition_ < 0) {
        endFlag_ = true;
        return;
    }
    endFlag_ = packetPosition_ + workSize_ > fileSize_;
    stream_->SetPositionFast(packetPosition_);
    if (workSize_ == TS_M2TS_PACKET_SIZE) {
        if (!stream_->ReadBuffered(prefix_, 4) && stream_->Read(prefix_, 4) != 4) {
            std::memset(prefix_, 0, sizeof prefix_);
            raw_.Length = 0;
            packetIndex_ = i;
            header_->ClearHeader();
            // A few stray bytes after the last whole packet are a partial
            // packet; a prefix the file held when it was opened is a failure.
            if (fileSize_ - packetPosition_ >= 4 || !stream_->LastErrorText().empty())
                ReadFailed(packetPosition_, 0, std::min<int64_t>(4, fileSize_ - packetPosition_));
            return;
        }
    } else {
        std::memset(prefix_, 0, sizeof prefix_);
    }
    if (stream_->ReadBuffered(raw_.Data, TS_PACKET_SIZE)) raw_.Length = TS_PACKET_SIZE;
    else raw_.Length = static_cast<int32_t>(stream_->Read(raw_.Data, TS_PACKET_SIZE));
    packetIndex_ = i;
    TTSPacketHeader& h = *header_;
    if (raw_.Length < TS_PACKET_SIZE) {
        h.ClearHeader();
        // Only a partial last packet may be short; anything less than the
        // file held at opening is a failed read.
        const int64_t at = packetPosition_ + (workSize_ - TS_PACKET_SIZE);
        const int64_t held = std::min<int64_t>(TS_PACKET_SIZE, fileSize_ - at);
        if (raw_.Length < held || !stream_->LastErrorText().empty()) ReadFailed(at, raw_.Length, held);
        return;
    }
    ParsePacketHeader(raw_, h);
    if (PlainlyValid(h) || ValidatePacket(errorText_, h)) {
        h.SetValid(true);
        // A packet cut short still reaches OnNewPacket (nothing whole is
        // lost), but as invalid: its tail is another packet's, which no
        // reader takes and no copy keeps as this packet.
        if (autoResync_ && NextSyncMissing() && ProvenShort()) {
            h.SetValid(false);
            h.PaketErrors().Include(peShortPacket);
            errorText_ = "packet_cut_short";
            if (OnInvalidPacketEvent) OnInvalidPacketEvent(this, i, errorText_);
            if (i == 0) ResetPidTable();
            else if (i != prevIndex + 1) ResetPidContinuity();
            if (OnNewPacket) OnNewPacket(this);
            return;
        }
        CopyPayload();
        if (i == 0) ResetPidTable();
        else if (i != prevIndex + 1) ResetPidContinuity();
        CheckContinuity();
        if (OnNewPacket) OnNewPacket(this);
        // A repeat starts nothing and carries nothing new.
        if (!repeated_) {
            if (h.PayloadStart() && OnPayloadStartEvent) OnPayloadStartEvent(this, i, h.PID());
            if (!readers_.empty()) DispatchPacket();
        }
    } else {
        h.SetValid(false);
        if (OnInvalidPacketEvent) OnInvalidPacketEvent(this, i, errorText_);
        if (!regained && !h.Synch() && autoResync_ && Resync(1 - workSize_, packetPosition_)) {
            if (OnPacketResynchEvent) OnPacketResynchEvent(this, i, resyncOffset_);
            // The packet found there is this index's: read it now, or the
            // next index would start one packet further and lose it.
            if (active_ && stream_) ReadPacket(i, true, prevIndex);
        }
    }
}

void TTSPacketReader::ReadFailed(int64_t position, int64_t got, int64_t wanted) {
    endFlag_ = true;
    if (!readErrorText_.empty()) return;
    const std::string reason = stream_->LastErrorText();
    readErrorText_ = "Read error in \"" + fileName_ + "\" at byte " + std::to_string(position) + ": " +
                     std::to_string(std::max<int64_t>(got, 0)) + " of " + std::to_string(wanted) + " bytes read (" +
                     (reason.empty() ? std::string("the file is shorter than when it was opened") : reason) + ")";
}

void TTSPacketReader::CopyPayload() {
    TTSPacketHeader& h = *header_;
    TTSPacketBuffer& copy = h.Payload()->copy_;
    const int length = h.Payload()->PayloadLength();
    const int start = h.Payload()->PayloadStartByte();
    copy.Length = length;
    // A damaged header let through (IgnorePacketErrors) may claim more than
    // the packet holds: only bytes inside it are copied.
    if (length <= 0 || start < 0 || start + length > TS_PACKET_SIZE) return;
    // Per packet: a copy of a fixed size compiles to a few vector moves,
    // where one of the payload's own length costs a library call. It reads
    // past the packet into the buffer's spare room, which is harmless: the
    // copy's bytes beyond Length mean nothing.
    if (start + TS_FULL_PAYLOAD_SIZE <= TS_PACKET_BUFFER_CAPACITY)
        std::memcpy(copy.Data, raw_.Data + start, TS_FULL_PAYLOAD_SIZE);
    else
        std::memcpy(copy.Data, raw_.Data + start, static_cast<size_t>(length));
}

// The common case of ValidatePacket inline: a packet with none of the faults
// it looks for gets exactly what ValidatePacket would give it.
bool TTSPacketReader::PlainlyValid(TTSPacketHeader& h) {
    if (!h.Synch() || h.TransportError() || h.TransportScramblingControl() != 0 ||
        h.AdaptationFieldControl() == afc_RESERVED || h.Payload()->PayloadLength() < 0 ||
        h.AdaptationField()->FieldLength() > 183)
        return false;
    h.SetValid(true);
    errorText_.clear();
    h.PaketErrors().Clear();
    return true;
}

bool TTSPacketReader::ValidatePacket(std::string& Errors, TTSPacketHeader& header) {
    header.SetValid(true);
    Errors.clear();
    header.PaketErrors().Clear();
    const bool own = &header == header_;
    if (ignorePacketErrors_ && own) return true;
    if (!header.Synch()) {
        Errors = "sync_byte_error";
        header.PaketErrors().Include(peSyncByte);
        header.SetValid(false);
        return false;
    }
    bool valid = true;
    auto fail = [&](const char* item, TTSPaketError e) {
        Errors += item;
        header.PaketErrors().Include(e);
        valid = false;
    };
    if (header.Payload()->PayloadLength() < 0) {
        fail("payload_length_error", pePayloadLength);
        Errors += ", ";
    }
    if (header.TransportError()) {
        fail("transport_error_indicator", peErrorIndicator);
        Errors += ", ";
    }
    if (header.AdaptationFieldControl() == afc_RESERVED) {
        fail("illegal_adaptation_field_type", peInvalidAFT);
        Errors += ", ";
    }
    if (header.AdaptationField()->FieldLength() > 183) {
        fail("adaptation_field_length_error", peInvalidAFLength);
        char num[16];
        std::snprintf(num, sizeof num, "%d", header.AdaptationField()->FieldLength());
        Errors += num;
        Errors += ", ";
    }
    if (header.TransportScramblingControl() != 0) {
        header.PaketErrors().Include(peScrambled);
        bool ignore = false;
        if (OnScrambledPacketEvent && own) {
            int tsc = header.TransportScramblingControl();
            OnScrambledPacketEvent(this, packetIndex_, header.PID(), tsc, ignore);
            if (ignore && tsc != header.TransportScramblingControl()) {
                header.SetTransportScramblingControl(tsc & 3);
                raw_.Data[3] = static_cast<uint8_t>((raw_.Data[3] & 0x3F) | ((tsc & 3) << 6));
            }
        }
        if (!ignore) {
            Errors += "transport_scrambling_control, ";
            valid = false;
        }
    }
    if (!Errors.empty()) Errors.resize(Errors.size() - 2);
    header.SetValid(valid);
    return valid;
}

void TTSPacketReader::ResetPidTable() {
    for (auto& r : pids_) r = TTSPidRecord();
    pidCount_ = 0;
    std::memset(pidSlotOf_, 0, sizeof pidSlotOf_);
}

void TTSPacketReader::ResetPidContinuity() {
    for (auto& r : pids_) r.LastCC = -1;
}

int TTSPacketReader::PidSlot(int pid) {
    pid &= 0x1FFF;
    if (pidSlotOf_[pid] != 0) return pidSlotOf_[pid] - 1;
    if (pidCount_ >= PID_TABLE_USED) return -1;
    const int slot = pidCount_++;
    pids_[slot] = TTSPidRecord();
    pids_[slot].PID = pid;
    pidSlotOf_[pid] = static_cast<uint8_t>(slot + 1);
    return slot;
}

void TTSPacketReader::CheckContinuity() {
    const TTSPacketHeader& h = *header_;
    const int slot = PidSlot(h.PID());
    if (slot < 0) return;
    TTSPidRecord& r = pids_[slot];
    if (r.PacketCount == 0) r.FirstIndex = packetIndex_;
    ++r.PacketCount;
    r.LastIndex = packetIndex_;
    // Null packets carry no continuity: muxers write any counter on them,
    // often the same bytes again, which is neither a break nor a repeat.
    if (h.PID() == kNullPacketPid) return;
    const int old = r.LastCC;
    r.LastCC = h.ContinuityCounter();
    // The packet before on this PID is known only while reading on from it
    // (old is -1 after a jump, and its copy is stale then).
    uint8_t* last = lastPackets_.data() + static_cast<size_t>(slot) * TS_PACKET_SIZE;
    repeated_ = old == h.ContinuityCounter() && !r.LastRepeated && raw_.Length == TS_PACKET_SIZE &&
                RepeatsPacket(last, raw_.Data);
    r.LastRepeated = repeated_;
    if (!repeated_) std::memcpy(last, raw_.Data, TS_PACKET_SIZE);
    if (h.AdaptationFieldControl() == afc_adaptation_field_only || old == -1 || repeated_) return;
    // A flagged discontinuity may restart the count: no gap.
    if (h.ContinuityCounter() != ((old + 1) & 15) && !h.AdaptationField()->DiscontinuityIndicator())
        ReportDiscontinuity(old);
}

void TTSPacketReader::ReportDiscontinuity(int lastCC) {
    const TTSPacketHeader& h = *header_;
    if (OnDisconinuity) OnDisconinuity(this, packetIndex_, h.PID(), h.ContinuityCounter(), lastCC);
}

std::atomic<uint64_t> TTSPacketConsumer::fieldChanges_{0};

void TTSPacketConsumer::ProcessPesPayload(const uint8_t* payload, int length, bool payloadStart,
                                          uint8_t payloadOffset, int64_t packetIndex, int continuityCounter) {
    TTSPacketBuffer copy;
    copy.Length = length;
    if (length > 0) std::memcpy(copy.Data, payload, static_cast<size_t>(std::min(length, TS_PACKET_BUFFER_CAPACITY)));
    ProcessPesTsPacket(copy, payloadStart, payloadOffset, packetIndex, continuityCounter);
}

void TTSPacketReader::AddReader(TObject* reader) {
    if (auto* c = dynamic_cast<TTSPacketConsumer*>(reader)) {
        readers_.push_back(c);
        indexValid_ = false;
    }
}

void TTSPacketReader::RebuildConsumerIndex(uint64_t changes) {
    for (int pid : indexedPids_) consumersOf_[pid] = 0;
    indexedPids_.clear();
    askAlways_ = 0;
    const int n = std::min<int>(static_cast<int>(readers_.size()), kIndexedConsumers);
    for (int k = 0; k < n; ++k) {
        const TTSPacketConsumer* c = readers_[static_cast<size_t>(k)];
        const uint64_t bit = uint64_t{1} << k;
        if (!c->FieldsBound()) {
            askAlways_ |= bit;
            continue;
        }
        // An inactive consumer or one on no real PID gets no packet until
        // its fields change, which rebuilds the index.
        const int pid = c->BoundPID();
        if (!c->BoundActive() || pid < 0 || pid > 0x1FFF) continue;
        if (consumersOf_[pid] == 0) indexedPids_.push_back(pid);
        consumersOf_[pid] |= bit;
    }
    indexedChanges_ = changes;
    indexValid_ = true;
}

void TTSPacketReader::DispatchPacket() {
    const TTSPacketHeader& h = *header_;
    const int pid = h.PID();
    const int start = h.Payload()->PayloadStartByte();
    const int length = h.Payload()->PayloadLength();
    // Only a payload that lies inside the packet has an address in it.
    const uint8_t* payload = length > 0 ? raw_.Data + start : raw_.Data;
    auto deliver = [&](TTSPacketConsumer* c) {
        if (c->CachedKind() == TTSPacketConsumer::ckPes)
            c->ProcessPesPayload(payload, length, h.PayloadStart(), static_cast<uint8_t>(start), packetIndex_,
                                 h.ContinuityCounter());
        else
            c->ProcessPacket(raw_, packetIndex_);
    };
    const uint64_t changes = TTSPacketConsumer::FieldChanges();
    if (changes != indexedChanges_ || !indexValid_) RebuildConsumerIndex(changes);
    // In registration order: the bits are the consumers' places in the list.
    // Each consumer's Active and PID are looked at when its turn comes: a
    // handler of an earlier one may have switched it off or moved it. Such
    // a change rebuilds the index, and the consumers after this one are
    // taken from the new one.
    uint64_t wanted = consumersOf_[pid & 0x1FFF] | askAlways_;
    while (wanted != 0) {
        const int k = std::countr_zero(wanted);
        wanted &= wanted - 1;
        TTSPacketConsumer* c = readers_[static_cast<size_t>(k)];
        if (!c->WantsPacket(pid)) continue;
        deliver(c);
        const uint64_t now = TTSPacketConsumer::FieldChanges();
        if (now != indexedChanges_) {
            RebuildConsumerIndex(now);
            const uint64_t later = k + 1 >= kIndexedConsumers ? 0 : ~uint64_t{0} << (k + 1);
            wanted = (consumersOf_[pid & 0x1FFF] | askAlways_) & later;
        }
    }
    for (size_t k = kIndexedConsumers; k < readers_.size(); ++k)
        if (readers_[k]->WantsPacket(pid)) deliver(readers_[k]);
}

bool TTSPacketReader::NextSyncMissing() {
    // Where the next packet's sync byte belongs; nothing to say at the end.
    const int64_t at = packetPosition_ + 2 * workSize_ - TS_PACKET_SIZE;
    if (at >= fileSize_) return false;
    uint8_t c = 0;
    if (stream_->PeekBuffered(at, c)) return c != TS_SYNC_BYTE;
    return ReadAt(at, &c, 1) == 1 && c != TS_SYNC_BYTE;
}

bool TTSPacketReader::ProvenShort() {
    // The search the next index's read would make (from one byte into this
    // packet on), but only over the candidates inside this packet: the first
    // of them is the one it would find, and nothing further is read, so a
    // medium that fails beyond is met where the reading gets to it.
    const int step = workSize_;
    const int prefix = workSize_ == TS_M2TS_PACKET_SIZE ? 4 : 0;
    const int64_t origin = packetPosition_ + 1;
    const int end = step - 1 + prefix;
    uint8_t window[2 * TS_M2TS_PACKET_SIZE + 4];
    const int got = ReadAt(origin, window, end + step);
    const int from = origin < prefix ? static_cast<int>(prefix - origin) : 0;
    const int at = FindConfirmedSync(window, from, end, std::max(got, 0), step);
    if (at < 0) return false;
    shortShiftAt_ = packetIndex_ + 1;
    shortShift_ = 1 - step + at - prefix;
    return true;
}

bool TTSPacketReader::Resync(int startDelta, int64_t basePosition) {
    const int step = workSize_;
    const int prefix = workSize_ == TS_M2TS_PACKET_SIZE ? 4 : 0;
    int64_t delta = startDelta;
    if (basePosition + delta < 0) delta = -basePosition;
    // Ten blocks are searched, and a sync byte in the last is confirmed one
    // packet further on: all of it comes in one read. A look-up per
    // candidate made a stretch of damage full of 0x47 bytes cost a read for
    // each of them, tens of times the time of a clean copy of its size.
    constexpr int kRounds = 10;
    uint8_t window[(kRounds + 1) * TS_M2TS_PACKET_SIZE];
    const int got = ReadAt(basePosition + delta, window, (kRounds + 1) * step);
    // The blocks are searched in order, and the first the file cannot fill
    // ends the search: the candidates are the bytes of the whole blocks.
    const int end = std::min(kRounds, std::max(got, 0) / step) * step;
    // In 192-byte files the packet grid is that of the prefixes: a sync byte
    // before the first prefix has none.
    const int64_t origin = basePosition + delta;
    const int from = origin < prefix ? static_cast<int>(prefix - origin) : 0;
    const int at = FindConfirmedSync(window, from, end, got, step);
    if (at < 0) {
        // Fewer bytes than the file held at opening: the medium failed, and
        // the search ended on that, not on the end of the recording. A sync
        // byte found before that point is the one a whole read would find.
        const int wanted = (kRounds + 1) * step;
        const int64_t held = std::clamp<int64_t>(fileSize_ - origin, 0, wanted);
        if (got < held) ReadFailed(origin, got, held);
        return false;
    }
    resyncOffset_ += delta + at - prefix;
    return true;
}

// --- the current packet ---------------------------------------------------

bool TTSPacketReader::WriteCurrentPacket() {
    if (!active_ || readOnly_ || stream_ == nullptr) return false;
    bool ok = false;
    // Where nothing of a packet was read (stray bytes shorter than a prefix)
    // there is nothing to put back: writing the empty prefix would change
    // the file and report it as the packet written.
    if (packetPosition_ >= 0 && packetPosition_ < fileSize_ && raw_.Length > 0) {
        try {
            stream_->Seek(packetPosition_, soBeginning);
            bool prefixOk = true;
            if (workSize_ == TS_M2TS_PACKET_SIZE) prefixOk = stream_->Write(prefix_, 4) == 4;
            if (prefixOk) ok = stream_->Write(raw_.Data, raw_.Length) == raw_.Length;
        } catch (...) {
            ok = false;
        }
    }
    SetPacketIndex(packetIndex_);
    return ok;
}

bool TTSPacketReader::SetPacketPCR(int64_t PCR) {
    TTSPacketHeader& h = *header_;
    const TAdaptationFieldControl afc = h.AdaptationFieldControl();
    if ((afc != afc_adaptation_field_only && afc != afc_adaptation_field_followed_by_payload) ||
        !h.AdaptationField()->PCRFlag())
        return false;
    h.AdaptationField()->PCR()->Assign(PCR);
    WritePcr(raw_.Data + 6, PCR);
    return true;
}

// Offset of a PES header starting in the current packet's payload.
bool TTSPacketReader::PesHeaderAt(int& s) const {
    s = header_->Payload()->PayloadStartByte();
    const uint8_t* b = raw_.Data;
    return s >= 0 && s + 8 < TS_PACKET_SIZE && b[s] == 0 && b[s + 1] == 0 && b[s + 2] == 1;
}

bool TTSPacketReader::SetPesTime(int at, int64_t v) {
    if (at + kPtsFieldSize > TS_PACKET_SIZE) return false;
    WritePts(raw_.Data + at, v);
    return true;
}

bool TTSPacketReader::SetPacketPTS(int64_t PTS) {
    int s = 0;
    if (!PesHeaderAt(s) || (raw_.Data[s + 7] >> 6) < 2) return false;
    return SetPesTime(s + 9, PTS);
}

bool TTSPacketReader::SetPacketDTS(int64_t DTS) {
    int s = 0;
    if (!PesHeaderAt(s) || (raw_.Data[s + 7] >> 6) != 3) return false;
    return SetPesTime(s + 14, DTS);
}

bool TTSPacketReader::SetPacketESCR(int64_t ESCR) {
    int s = 0;
    if (!PesHeaderAt(s) || (raw_.Data[s + 7] & 0x20) == 0) return false;
    const int flags = raw_.Data[s + 7] >> 6;
    int p = s + 9 + (flags == 2 ? 5 : flags == 3 ? 10 : 0);
    if (p + kEscrFieldSize > TS_PACKET_SIZE) return false;
    WriteEscr(raw_.Data + p, ESCR);
    return true;
}

bool TTSPacketReader::SetPacketByte(uint8_t value, int index) {
    if (index < 0 || index >= raw_.Length) return false;
    raw_.Data[index] = value;
    return true;
}

uint32_t TTSPacketReader::PacketCrc32() const {
    if (raw_.Length <= 0) return 0;
    return Crc32Mpeg(raw_.Data, 0xFFFFFFFFu, raw_.Length);
}

void TTSPacketReader::Previous() {
    if (active_ && stream_ && packetIndex_ > 0) SetPacketIndex(packetIndex_ - 1);
}

void TTSPacketReader::First() {
    if (active_ && stream_) SetPacketIndex(0);
}

void TTSPacketReader::Last() {
    if (active_ && stream_) SetPacketIndex(packetCount_ - 1);
}

} // namespace tw
