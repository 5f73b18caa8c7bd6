#include "tools/engine/PacketEditorModel.h"

#include <cstdio>

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
        if (r.PacketIndex() + 1 >= r.PacketCount()) return false;
        r.Next();
        if (!r.Eof() || r.RawPacket().Length == TS_PACKET_SIZE) return true;
        if (failed && !r.ReadErrorText().empty()) *failed = true;
        return false;
    }
    if (r.PacketIndex() <= 0) return false;
    r.Previous();
    return true;
}

} // namespace

bool SearchPacket(TTSPacketReader& reader, TPacketSearch kind, bool forward, bool* readFailed) {
    if (!reader.Active()) return false;
    const int64_t start = reader.PacketIndex();
    const int pid = reader.TSPacketHeader()->PID();
    // A packet is found by what its header says, whatever else is wrong with
    // it (the user may be hunting exactly such a packet); one without a sync
    // byte has no header, its view still holds the packet before.
    while (StepOne(reader, forward, readFailed)) {
        const TTSPacketHeader& h = *reader.TSPacketHeader();
        bool hit = false;
        switch (kind) {
        case psPayloadStart: hit = h.Synch() && h.PID() == pid && h.PayloadStart(); break;
        case psPcr: hit = h.Synch() && HasPcr(h); break;
        case psError: hit = !h.Valid(); break;
        }
        if (hit) return true;
    }
    reader.SetPacketIndex(start);
    return false;
}

bool SearchSyncByte(TTSPacketReader& reader, int from, int& byte, bool* readFailed) {
    if (!reader.Active()) return false;
    const int64_t start = reader.PacketIndex();
    int b = from < 0 ? 0 : from;
    for (;;) {
        const TTSPacketBuffer& raw = reader.RawPacket();
        for (; b < raw.Length; ++b) {
            if (raw.Data[b] == TS_SYNC_BYTE) {
                byte = b;
                return true;
            }
        }
        if (!StepOne(reader, true, readFailed)) break;
        b = 0;
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
