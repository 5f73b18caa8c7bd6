#include "tools/engine/PacketListings.h"

#include <cstring>
#include <memory>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tools/engine/ToolFiles.h"
#include "ts/TSPacketReader.h"

namespace tw {

namespace {

const char kCrLf[] = "\r\n";

// Text written in large pieces: a listing has a line per packet.
class TTextOut {
public:
    explicit TTextOut(const std::string& name) {
        if (FileExists(name)) RemoveFile(name);
        file_ = std::make_unique<TFileStream>(name, fmCreate);
        buf_.reserve(kChunk + 256);
    }
    void Add(const std::string& s) {
        buf_ += s;
        if (buf_.size() >= kChunk) Flush();
    }
    // The buffer to append to directly; call Added() afterwards.
    std::string& Buffer() { return buf_; }
    void Added() {
        if (buf_.size() >= kChunk) Flush();
    }
    void Flush() {
        if (!buf_.empty()) file_->WriteBuffer(buf_.data(), static_cast<int64_t>(buf_.size()));
        buf_.clear();
    }

private:
    static constexpr size_t kChunk = 1 << 20;
    std::unique_ptr<TFileStream> file_;
    std::string buf_;
};

const char* YesNo(bool v) { return v ? " Y" : " N"; }

bool OpenReader(TTSPacketReader& reader, const std::string& input, std::string& error) {
    reader.SetActive(false);
    reader.SetFileName(input);
    reader.SetActive(true);
    if (!reader.Active()) {
        error = "Could not open " + input;
        return false;
    }
    return true;
}

// Where the 188 bytes of the reader's current packet lie in the file.
int64_t PacketBytesPosition(const TTSPacketReader& r) { return r.PacketPosition() + (r.M2TSMode() ? 4 : 0); }

} // namespace

void AppendPacketProtocolLine(std::string& out, int64_t packetNo, const TTSPacketHeader& h, uint32_t crc) {
    static const char* const kAfc[4] = {" RES", " NO ", " AON", " AFP"};
    static const char kHex[] = "0123456789ABCDEF";
    // Written into a fixed buffer, then appended: a recording has millions
    // of lines.
    char line[64];
    char* p = line;
    auto hex = [&p](uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) *p++ = kHex[(v >> (4 * i)) & 15];
    };
    auto text = [&p](const char* t) {
        while (*t) *p++ = *t++;
    };
    hex(static_cast<uint64_t>(packetNo), 8);
    *p++ = ' ';
    hex(static_cast<uint64_t>(h.PID()), 4);
    *p++ = ' ';
    hex(crc, 8);
    text(YesNo(h.Valid()));
    *p++ = ' ';
    hex(static_cast<uint64_t>(h.ContinuityCounter()), 1);
    text(YesNo(h.TransportError()));
    text(YesNo(h.TransportPriority()));
    *p++ = ' ';
    hex(static_cast<uint64_t>(h.TransportScramblingControl()), 1);
    text(h.PayloadStart() ? " Y " : " N ");
    text(kAfc[h.AdaptationFieldControl() & 3]);
    text(kCrLf);
    out.append(line, static_cast<size_t>(p - line));
}

bool WritePacketProtocol(TTSPacketReader& reader, const std::string& input, const std::string& output,
                         std::string& error) {
    if (!OpenReader(reader, input, error)) return false;
    bool ok = true;
    try {
        TTextOut out(output);
        out.Add(std::string("V=Valid,C=ContinuityCounter,E=Transport Error,P=Transport Priority,"
                            "S=TransportScramblingControl,PS=PayloadStart,AFC=AdaptationFieldControl") +
                kCrLf + " " + kCrLf + "Packet   PID  CRC32    V C E P S PS AFC" + kCrLf);
        while (!reader.Eof()) {
            AppendPacketProtocolLine(out.Buffer(), reader.PacketIndex(), *reader.TSPacketHeader(),
                                     reader.PacketCrc32());
            out.Added();
            reader.Next();
        }
        out.Flush();
    } catch (const Exception& e) {
        error = e.Message();
        ok = false;
    }
    reader.SetActive(false);
    return ok;
}

namespace {

// CRC -> first distinct packet with that CRC; open addressing, grown at half
// load. Distinct packets sharing a CRC are chained through Next.
struct TDistinct {
    int64_t Index;
    int64_t Position;
    uint32_t Crc;
    int32_t Next;     // next distinct packet with the same CRC, -1 none
    int32_t FirstRep; // first repeat (index into the repeat list), -1 none
    int32_t LastRep;
};

struct TRepeat {
    int64_t Index;
    int32_t Next;
};

class TCrcTable {
public:
    TCrcTable() { Resize(1 << 16); }
    // Slot of crc: the head distinct index or -1 when free.
    int32_t& Head(uint32_t crc) {
        if ((used_ + 1) * 2 > slots_.size()) Resize(slots_.size() * 2);
        size_t i = Mix(crc) & (slots_.size() - 1);
        while (slots_[i].Head >= 0 && slots_[i].Crc != crc) i = (i + 1) & (slots_.size() - 1);
        if (slots_[i].Head < 0) {
            slots_[i].Crc = crc;
            ++used_;
        }
        return slots_[i].Head;
    }

private:
    struct TSlot {
        uint32_t Crc = 0;
        int32_t Head = -1;
    };
    static size_t Mix(uint32_t v) { return (static_cast<uint64_t>(v) * 0x9E3779B97F4A7C15ull) >> 20; }
    void Resize(size_t n) {
        std::vector<TSlot> old;
        old.swap(slots_);
        slots_.assign(n, TSlot());
        for (const TSlot& s : old) {
            if (s.Head < 0) continue;
            size_t i = Mix(s.Crc) & (n - 1);
            while (slots_[i].Head >= 0) i = (i + 1) & (n - 1);
            slots_[i] = s;
        }
    }
    std::vector<TSlot> slots_;
    size_t used_ = 0;
};

} // namespace

bool TDuplicateFinder::Run(const std::string& input, int pid, std::string& error) {
    groups_.clear();
    packetCount_ = 0;
    if (!OpenReader(reader_, input, error)) return false;
    packetCount_ = reader_.PacketCount();
    std::vector<TDistinct> distinct;
    std::vector<TRepeat> repeats;
    TCrcTable table;
    bool ok = true;
    try {
        // The earlier packets are read again by a handle of our own, only
        // when a CRC matches.
        TFileStream again(input, fmOpenRead | fmShareDenyNone);
        uint8_t earlier[TS_PACKET_SIZE];
        for (; !reader_.Eof(); reader_.Next()) {
            const TTSPacketHeader& h = *reader_.TSPacketHeader();
            const TTSPacketBuffer& raw = reader_.RawPacket();
            if (!h.Synch() || h.PID() != pid || raw.Length != TS_PACKET_SIZE) continue;
            const uint32_t crc = reader_.PacketCrc32();
            int32_t& head = table.Head(crc);
            int32_t* link = &head;
            bool found = false;
            for (int32_t d = head; d >= 0; d = distinct[static_cast<size_t>(d)].Next) {
                TDistinct& e = distinct[static_cast<size_t>(d)];
                again.Seek(e.Position, soBeginning);
                if (again.Read(earlier, TS_PACKET_SIZE) == TS_PACKET_SIZE &&
                    std::memcmp(earlier, raw.Data, TS_PACKET_SIZE) == 0) {
                    const int32_t r = static_cast<int32_t>(repeats.size());
                    repeats.push_back({reader_.PacketIndex(), -1});
                    if (e.LastRep >= 0) repeats[static_cast<size_t>(e.LastRep)].Next = r;
                    else e.FirstRep = r;
                    e.LastRep = r;
                    found = true;
                    break;
                }
                link = &e.Next;
            }
            if (!found) {
                // `link` may point into `distinct`: take the new index first.
                const int32_t n = static_cast<int32_t>(distinct.size());
                *link = n;
                distinct.push_back({reader_.PacketIndex(), PacketBytesPosition(reader_), crc, -1, -1, -1});
            }
        }
    } catch (const Exception& e) {
        error = e.Message();
        ok = false;
    }
    reader_.SetActive(false);
    for (const TDistinct& e : distinct) {
        if (e.FirstRep < 0) continue;
        TDuplicateGroup g;
        g.First = e.Index;
        for (int32_t r = e.FirstRep; r >= 0; r = repeats[static_cast<size_t>(r)].Next)
            g.Repeats.push_back(repeats[static_cast<size_t>(r)].Index);
        groups_.push_back(std::move(g));
    }
    return ok;
}

std::string TDuplicateFinder::Listing(int pid) const {
    std::string s = "Packets: ";
    s += std::to_string(packetCount_);
    s += kCrLf;
    s += "PID: ";
    s += DollarHex(pid, 4);
    s += kCrLf;
    s += " ";
    s += kCrLf;
    for (const TDuplicateGroup& g : groups_) {
        s += "Dupplicate packet: ";
        s += DollarHex(g.First, 8);
        s += " > ";
        for (int64_t r : g.Repeats) {
            s += DollarHex(r, 8);
            s += ", ";
        }
        s += kCrLf;
    }
    return s;
}

bool TDuplicateFinder::WriteListing(const std::string& input, int pid, const std::string& output,
                                    std::string& error) {
    if (!Run(input, pid, error)) return false;
    try {
        TTextOut out(output);
        out.Add(Listing(pid));
        out.Flush();
    } catch (const Exception& e) {
        error = e.Message();
        return false;
    }
    return true;
}

} // namespace tw
