#include "tools/engine/PacketEditorModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"

namespace tw {

std::string ScramblingText(int control) {
    switch (control) {
    case 0: return "Unscrambled";
    case 2: return "Scrambled even";
    case 3: return "Scrambled odd";
    default: return "Reserved";
    }
}

std::string AfcText(int control) {
    switch (control) {
    case 1: return "No AF";
    case 2: return "AF only";
    case 3: return "AF+Payload";
    default: return "Reserved";
    }
}

namespace {

std::string TimeOfDay(int64_t ms) {
    ms %= 86400000;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                  static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
    return buf;
}

} // namespace

std::string PcrTimeOfDay(int64_t pcr27) { return pcr27 < 0 ? "" : TimeOfDay(pcr27 / 27000); }
std::string PtsTimeOfDay(int64_t pts90) { return pts90 < 0 ? "" : TimeOfDay(pts90 / 90); }

std::string PcrHintText(const TTSPacketPCR& pcr) {
    std::string s = "PCR: ";
    s += DollarHex(pcr.PCR(), 16);
    s += "\r  Base: ";
    s += DollarHex(pcr.PCRBase(), 16);
    s += "\r  Extension: ";
    s += DollarHex(pcr.PCRExtension(), 4);
    return s;
}

bool HasPcr(const TTSPacketHeader& h) {
    const TAdaptationFieldControl afc = h.AdaptationFieldControl();
    return (afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload) &&
           h.AdaptationField()->FieldLength() > 0 && h.AdaptationField()->PCRFlag();
}

TPacketFields DecodePacket(TTSPacketReader& reader, const TTSPacketBuffer& bytes) {
    TPacketFields f;
    if (bytes.Length != reader.PacketSize()) return f;
    f.SizeOk = true;
    TTSPacketHeader h;
    ParsePacketHeader(bytes, h);
    f.Valid = reader.ValidatePacket(f.ErrorText, h);
    f.Pid = DollarHex(h.PID(), 4);
    f.Scrambling = ScramblingText(h.TransportScramblingControl());
    f.Afc = AfcText(h.AdaptationFieldControl());
    f.Continuity = std::to_string(h.ContinuityCounter());
    f.TransportError = h.TransportError();
    f.PayloadStart = h.PayloadStart();
    f.Priority = h.TransportPriority();
    const TAdaptationFieldControl afc = h.AdaptationFieldControl();
    f.HasAdaptationField = afc == afc_adaptation_field_only || afc == afc_adaptation_field_followed_by_payload;
    if (f.HasAdaptationField && h.Synch()) {
        const TTSPacketAdaptationField& af = *h.AdaptationField();
        f.AfLength = std::to_string(af.FieldLength());
        if (af.FieldLength() > 0) {
            f.Discontinuity = af.DiscontinuityIndicator();
            f.RandomAccess = af.RandomAccessIndicator();
            f.EsPriority = af.ESPriorityIndicator();
            if (af.PCRFlag()) {
                f.Pcr = PcrTimeOfDay(af.PCR()->PCR());
                f.PcrHint = PcrHintText(*af.PCR());
            }
            if (af.OPCRFlag()) f.Opcr = PcrTimeOfDay(af.OPCR()->PCR());
        }
    }
    int64_t escr = -1, dts = -1, pts = -1;
    if (h.Synch() && PacketTimestamps(bytes, h, escr, dts, pts)) {
        f.HasPes = true;
        f.Pts = PtsTimeOfDay(pts);
        f.Dts = PtsTimeOfDay(dts);
        f.Escr = PtsTimeOfDay(escr);
    }
    return f;
}

bool CanStep(int64_t index, int64_t count, int delta) {
    const int64_t to = index + delta;
    return delta != 0 && to >= 0 && to < count;
}

namespace {

// Steps one packet; false at the first or last packet, and at a packet
// inside the file that could not be read whole (`failed` set).
bool StepOne(TTSPacketReader& r, bool forward, bool* failed) {
    if (forward) {
        const int64_t before = r.PacketIndex();
        if (before + 1 >= r.PacketCount()) return false;
        r.Next();
        // A reader whose grid moved over lost sync bytes runs out of file
        // before its last index and stays where it was: that is the end.
        if (r.PacketIndex() == before) return false;
        if (!r.Eof() || r.RawPacket().Length == TS_PACKET_SIZE) return true;
        if (failed && !r.ReadErrorText().empty()) *failed = true;
        return false;
    }
    if (r.PacketIndex() <= 0) return false;
    r.Previous();
    return true;
}

// Packets a search reads at once: about 1.5 MB, so that a read costs little
// beside looking at its packets and a search through gigabytes makes only a
// few thousand of them (a read per packet made one of the editor's searches
// take half a minute for a recording of 800 MB).
constexpr int64_t kSearchBlockPackets = 8192;

// Whether stepping the reader gives each packet exactly the bytes at its
// place in the packet grid and nothing else happens on the way: then a
// search may read the file in blocks and look at the packets there and
// finds what stepping would find. A reader that moves its grid over damage
// by itself (or has moved it already), feeds readers or reports each packet
// is stepped through packet by packet.
bool BlocksMatchSteps(const TTSPacketReader& r) {
    return !r.AutoResync() && r.ResyncOffset() == 0 && !r.Eof() && r.ReaderCount() == 0 && !r.OnNewPacket &&
           !r.OnInvalidPacketEvent && !r.OnScrambledPacketEvent && !r.OnPayloadStartEvent && !r.OnDisconinuity &&
           !r.OnPacketResynchEvent;
}

enum TScanEnd { seFound, seNothing, seUnread, seStopped };
struct TScan {
    TScanEnd End = seNothing;
    // seFound: the packet found; seUnread: the last packet looked at (-1:
    // none), from which stepping goes on.
    int64_t Index = -1;
};

// Looks at the packets from `from` on, one after another in the direction,
// up to and including the first or last packet, and stops at the first for
// which test(bytes) holds; bytes are the packet's 188 (behind a 192-byte
// packet's prefix). A block the file cannot give whole ends the scan before
// its first packet missing, so that stepping meets the failure as it would
// have without the blocks (backwards that is the block's end, looked at
// first). goOn is asked before each block.
template <class Test>
TScan ScanBlocks(TTSPacketReader& r, int64_t from, bool forward, const TSearchGoOn& goOn, Test&& test) {
    const int ws = r.WorkingPacketSize();
    const int prefix = ws - TS_PACKET_SIZE;
    const int64_t count = r.PacketCount();
    std::vector<uint8_t> block(static_cast<size_t>(kSearchBlockPackets * ws));
    TScan scan;
    int64_t i = from;
    while (forward ? i < count : i >= 0) {
        if (goOn && !goOn()) return {seStopped, -1};
        const int64_t lo = forward ? i : std::max<int64_t>(0, i - kSearchBlockPackets + 1);
        const int64_t n = forward ? std::min(kSearchBlockPackets, count - i) : i - lo + 1;
        const int64_t whole = r.ReadBytes(r.GarbageOffset() + lo * ws, block.data(), n * ws) / ws;
        const int64_t usable = forward ? whole : (whole < n ? 0 : n);
        for (int64_t k = 0; k < usable; ++k) {
            const int64_t at = forward ? k : n - 1 - k;
            if (test(block.data() + at * ws + prefix)) return {seFound, lo + at};
            scan.Index = lo + at;
        }
        if (usable < n) {
            scan.End = seUnread;
            return scan;
        }
        i = forward ? lo + n : lo - 1;
    }
    return scan;
}

// Whether the packet the header was read from is the one a search looks for.
// It is found by what its header says, whatever else is wrong with it (the
// user may be hunting exactly such a packet); one without a sync byte has no
// header, its view still holds the packet before.
bool SearchHit(TPacketSearch kind, const TTSPacketHeader& h, int pid) {
    switch (kind) {
    case psPayloadStart: return h.Synch() && h.PID() == pid && h.PayloadStart();
    case psPcr: return h.Synch() && HasPcr(h);
    case psError: return !h.Valid();
    }
    return false;
}

// Where a block scan leaves the search: on the packet found (true), back on
// the start packet when nothing was found or the search was stopped
// (false), or, where the blocks ran short, on the last packet they covered
// for stepping to go on from there (nothing).
std::optional<bool> SettleScan(TTSPacketReader& reader, const TScan& scan, int64_t start) {
    if (scan.End == seFound) {
        reader.SetPacketIndex(scan.Index);
        return true;
    }
    if (scan.End == seNothing || scan.End == seStopped) {
        reader.SetPacketIndex(start);
        return false;
    }
    if (scan.Index >= 0) reader.SetPacketIndex(scan.Index);
    return std::nullopt;
}

} // namespace

bool SearchPacket(TTSPacketReader& reader, TPacketSearch kind, bool forward, bool* readFailed,
                  const TSearchGoOn& goOn) {
    if (!reader.Active()) return false;
    const int64_t start = reader.PacketIndex();
    const int pid = reader.TSPacketHeader()->PID();
    if (BlocksMatchSteps(reader)) {
        TTSPacketBuffer raw;
        raw.Length = TS_PACKET_SIZE;
        TTSPacketHeader h;
        std::string errors;
        const TScan scan = ScanBlocks(reader, forward ? start + 1 : start - 1, forward, goOn, [&](const uint8_t* bytes) {
            // Most packets are ruled out by their first bytes.
            if (kind == psPayloadStart &&
                (bytes[0] != TS_SYNC_BYTE || (bytes[1] & 0x40) == 0 || (((bytes[1] & 0x1F) << 8) | bytes[2]) != pid))
                return false;
            std::memcpy(raw.Data, bytes, TS_PACKET_SIZE);
            ParsePacketHeader(raw, h);
            // Valid as the reader would take it when reading the packet.
            if (kind == psError) h.SetValid(reader.ValidatePacket(errors, h) || reader.IgnorePacketErrors());
            return SearchHit(kind, h, pid);
        });
        if (const std::optional<bool> ended = SettleScan(reader, scan, start)) return *ended;
    }
    for (int64_t steps = 1; StepOne(reader, forward, readFailed); ++steps) {
        if (SearchHit(kind, *reader.TSPacketHeader(), pid)) return true;
        if (steps % kSearchBlockPackets == 0 && goOn && !goOn()) break;
    }
    reader.SetPacketIndex(start);
    return false;
}

bool SearchSyncByte(TTSPacketReader& reader, int from, int& byte, bool* readFailed, const TSearchGoOn& goOn) {
    if (!reader.Active()) return false;
    const int64_t start = reader.PacketIndex();
    auto find = [](const uint8_t* bytes, int b, int length) {
        const void* at = b < length ? std::memchr(bytes + b, TS_SYNC_BYTE, static_cast<size_t>(length - b)) : nullptr;
        return at ? static_cast<int>(static_cast<const uint8_t*>(at) - bytes) : -1;
    };
    // The current packet as it was read, from the byte asked for.
    int b = find(reader.RawPacket().Data, from < 0 ? 0 : from, reader.RawPacket().Length);
    if (b >= 0) {
        byte = b;
        return true;
    }
    if (BlocksMatchSteps(reader)) {
        int at = -1;
        const TScan scan = ScanBlocks(reader, start + 1, true, goOn, [&](const uint8_t* bytes) {
            at = find(bytes, 0, TS_PACKET_SIZE);
            return at >= 0;
        });
        const std::optional<bool> ended = SettleScan(reader, scan, start);
        if (ended && *ended) byte = at;
        if (ended) return *ended;
    }
    for (int64_t steps = 1; StepOne(reader, true, readFailed); ++steps) {
        b = find(reader.RawPacket().Data, 0, reader.RawPacket().Length);
        if (b >= 0) {
            byte = b;
            return true;
        }
        if (steps % kSearchBlockPackets == 0 && goOn && !goOn()) break;
    }
    reader.SetPacketIndex(start);
    return false;
}

bool WritePacketBack(TTSPacketReader& reader, const TTSPacketBuffer& bytes, std::string& error) {
    if (bytes.Length != reader.PacketSize()) {
        error = "Packet size error!";
        return false;
    }
    if (!reader.Active()) {
        error = "No packet";
        return false;
    }
    const int64_t index = reader.PacketIndex();
    // The packet proper, behind a 192-byte file's 4-byte prefix.
    const int64_t position = reader.PacketPosition() + (reader.M2TSMode() ? 4 : 0);
    bool ok = false;
    try {
        TFileStream f(reader.FileName(), fmOpenReadWrite | fmShareDenyNone);
        if (position < 0 || position + TS_PACKET_SIZE > f.Size()) {
            error = "The packet lies outside the file";
        } else {
            f.Seek(position, soBeginning);
            f.WriteBuffer(bytes.Data, TS_PACKET_SIZE);
            f.Flush();
            ok = true;
        }
    } catch (const Exception& e) {
        error = e.Message();
    }
    // Read the packet again: from the file when it was written.
    reader.SetPacketIndex(index);
    return ok;
}

} // namespace tw
