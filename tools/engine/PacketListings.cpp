#include "tools/engine/PacketListings.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tools/engine/KeyedHash.h"
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
        // A listing that stops where the recording could not be read is
        // not the recording's.
        if (!reader.ReadErrorText().empty()) {
            error = "Reading " + input + " failed: " + reader.ReadErrorText();
            ok = false;
        }
    } catch (const Exception& e) {
        error = e.Message();
        ok = false;
    }
    reader.SetActive(false);
    return ok;
}

uint32_t DuplicateTag(const THash128& h) { return static_cast<uint32_t>(h.High >> 32); }

namespace {

// The distinct packets of the chosen PID seen so far, found by 32 bits of
// their keyed hash (the tag). Open addressing with linear probing; a slot
// holds a tag and the number of a distinct packet (+1; 0 is a free slot).
// Different packets whose tags meet take a slot each, and a look-up compares
// the rest of the hash for each slot of its tag; with a key the recording
// cannot know, such meetings are rare and cannot be made to pile up.
class TTagTable {
public:
    TTagTable() { slots_.assign(1 << 16, TSlot()); }
    // Calls same(distinct) for each distinct packet of this tag until it
    // answers true; returns that distinct number, or -1.
    template <class F>
    int64_t Find(uint32_t tag, F same) const {
        for (size_t i = Start(tag);; i = (i + 1) & (slots_.size() - 1)) {
            const TSlot& s = slots_[i];
            if (s.Distinct == 0) return -1;
            if (s.Tag == tag && same(static_cast<int64_t>(s.Distinct) - 1)) return static_cast<int64_t>(s.Distinct) - 1;
        }
    }
    void Add(uint32_t tag, uint32_t distinct) {
        if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
        Put(tag, distinct + 1);
        ++used_;
    }

private:
    struct TSlot {
        uint32_t Tag = 0;
        uint32_t Distinct = 0;
    };
    size_t Start(uint32_t tag) const {
        return static_cast<size_t>((static_cast<uint64_t>(tag) * 0x9E3779B97F4A7C15ull) >> 17) & (slots_.size() - 1);
    }
    void Put(uint32_t tag, uint32_t distinctPlusOne) {
        size_t i = Start(tag);
        while (slots_[i].Distinct != 0) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {tag, distinctPlusOne};
    }
    void Grow() {
        std::vector<TSlot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const TSlot& s : old)
            if (s.Distinct != 0) Put(s.Tag, s.Distinct);
    }
    std::vector<TSlot> slots_;
    size_t used_ = 0;
};

// A distinct packet: its number and the 96 bits of its hash the table's tag
// does not hold. Two packets are taken as equal when all 128 bits are; under
// a key drawn for the run, different packets meet so with probability 2^-128
// a pair (about 2^-65 for the 2^32 distinct packets the table can number),
// far below the chance of a misread byte, so the packets are neither kept
// nor read again. 20 bytes each, held in a deque (no copy of the whole set
// as it grows), and 11 to 21 bytes of table.
#pragma pack(push, 4)
struct TDistinct {
    int64_t Index;
    uint64_t HashLow;
    uint32_t HashRest; // the low half of the high word
};
#pragma pack(pop)
static_assert(sizeof(TDistinct) == 20);

uint32_t RestOf(const THash128& h) { return static_cast<uint32_t>(h.High); }

// The slot numbers a distinct packet by 32 bits, 0 meaning free.
constexpr size_t kMaxDistinct = 0xFFFFFFFEu;

} // namespace

bool TDuplicateFinder::Run(const std::string& input, int pid, std::string& error) {
    groups_.clear();
    packetCount_ = 0;
    if (!OpenReader(reader_, input, error)) return false;
    packetCount_ = reader_.PacketCount();
    // A new key for every search: nothing a recording holds can be made to
    // meet under it.
    const TKeyedHash hash = key_ ? *key_ : TKeyedHash::WithRandomKey();
    std::deque<TDistinct> distinct;
    // (distinct number, packet number) of each repeat, in file order.
    std::vector<std::pair<uint32_t, int64_t>> repeats;
    TTagTable table;
    bool ok = true;
    try {
        for (; !reader_.Eof(); reader_.Next()) {
            const TTSPacketHeader& h = *reader_.TSPacketHeader();
            const TTSPacketBuffer& raw = reader_.RawPacket();
            if (!h.Synch() || h.PID() != pid || raw.Length != TS_PACKET_SIZE) continue;
            const THash128 print = hash(raw.Data, TS_PACKET_SIZE);
            const int64_t same = table.Find(DuplicateTag(print), [&](int64_t d) {
                const TDistinct& e = distinct[static_cast<size_t>(d)];
                return e.HashLow == print.Low && e.HashRest == RestOf(print);
            });
            if (same >= 0) {
                repeats.emplace_back(static_cast<uint32_t>(same), reader_.PacketIndex());
                continue;
            }
            if (distinct.size() >= kMaxDistinct) {
                error = "Too many different packets of PID " + DollarHex(pid, 4) + " in " + input;
                ok = false;
                break;
            }
            table.Add(DuplicateTag(print), static_cast<uint32_t>(distinct.size()));
            distinct.push_back({reader_.PacketIndex(), print.Low, RestOf(print)});
        }
        if (ok && !reader_.ReadErrorText().empty()) {
            error = "Reading " + input + " failed: " + reader_.ReadErrorText();
            ok = false;
        }
    } catch (const Exception& e) {
        error = e.Message();
        ok = false;
    }
    reader_.SetActive(false);
    // One group per repeated packet, in the order of its first appearance;
    // the repeats keep their file order.
    std::stable_sort(repeats.begin(), repeats.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < repeats.size(); ++i) {
        if (i == 0 || repeats[i].first != repeats[i - 1].first)
            groups_.push_back({distinct[repeats[i].first].Index, {}});
        groups_.back().Repeats.push_back(repeats[i].second);
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
