#include "tools/engine/PacketListings.h"

#include <algorithm>
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

uint32_t DuplicateKey(const uint8_t* p) {
    // Pairs of 32-bit words, each offset by a constant of its position, are
    // multiplied and the products summed: 23 independent multiplications
    // instead of a chain of 188 table look-ups. A 64-bit finaliser spreads
    // the sum over the 32 bits kept.
    static constexpr uint32_t kOffsets[48] = {
        0xCA276A15u, 0xB4FBDAAFu, 0xD7A5DAEDu, 0xE2971EB7u, 0x38ACB887u, 0x43FCC28Fu, 0xEA32AB2Du, 0x00F65319u,
        0x3DCDEC1Bu, 0x12006CB1u, 0xB0B82FD5u, 0x44D51D39u, 0x644F0F51u, 0x4383DAE3u, 0xE71D131Fu, 0x59EAAEEFu,
        0x4CA29575u, 0x4409A11Fu, 0xFB73B049u, 0x1D61E63Du, 0x1B9393AFu, 0x0688E9C5u, 0xB17982D3u, 0x823D2C39u,
        0xB7D81581u, 0x7FE1DA95u, 0x7950D283u, 0x58062619u, 0x1C8B9AF7u, 0x3F13B009u, 0x4391594Du, 0xD3A6D5FFu,
        0xD19A883Du, 0x0A345C31u, 0x50218B83u, 0x66B91EBBu, 0x348A20B3u, 0x8262F391u, 0x79AC40B3u, 0xAB09A999u,
        0xE333EFB1u, 0xADEBD4BDu, 0x97BBB28Du, 0x12C8CC0Bu, 0x32E568E9u, 0x0C66ACA3u, 0xEE38BC0Fu, 0x2D41511Fu};
    static_assert(TS_PACKET_SIZE == 47 * 4);
    auto word = [p](int i) {
        uint32_t w;
        std::memcpy(&w, p + 4 * i, 4);
        return w;
    };
    uint64_t sum = 0;
    for (int i = 0; i < 46; i += 2) sum += uint64_t(word(i) + kOffsets[i]) * (word(i + 1) + kOffsets[i + 1]);
    sum += uint64_t(word(46) + kOffsets[46]) * kOffsets[47];
    sum ^= sum >> 33;
    sum *= 0xFF51AFD7ED558CCDull;
    sum ^= sum >> 33;
    sum *= 0xC4CEB9FE1A85EC53ull;
    sum ^= sum >> 33;
    return static_cast<uint32_t>(sum);
}

namespace {

// The distinct packets of the chosen PID seen so far, found by their key.
// Open addressing with linear probing; a slot holds a key and the number of
// a distinct packet (+1; 0 is a free slot). Different packets that share a
// key take a slot each, so a look-up walks all slots of its key. Per
// distinct packet this costs about 11 bytes of table and 12 of record, so
// that recordings of many gigabytes stay well inside memory.
class TKeyTable {
public:
    TKeyTable() { slots_.assign(1 << 16, TSlot()); }
    // Calls seen(distinct) for each distinct packet of this CRC until it
    // answers true; returns that distinct number, or -1.
    template <class F>
    int64_t Find(uint32_t key, F seen) const {
        for (size_t i = Start(key);; i = (i + 1) & (slots_.size() - 1)) {
            const TSlot& s = slots_[i];
            if (s.Distinct == 0) return -1;
            if (s.Key == key && seen(static_cast<int64_t>(s.Distinct) - 1)) return static_cast<int64_t>(s.Distinct) - 1;
        }
    }
    void Add(uint32_t key, uint32_t distinct) {
        if ((used_ + 1) * 4 > slots_.size() * 3) Grow();
        Put(key, distinct + 1);
        ++used_;
    }

private:
    struct TSlot {
        uint32_t Key = 0;
        uint32_t Distinct = 0;
    };
    size_t Start(uint32_t key) const {
        return static_cast<size_t>((static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull) >> 17) & (slots_.size() - 1);
    }
    void Put(uint32_t key, uint32_t distinctPlusOne) {
        size_t i = Start(key);
        while (slots_[i].Distinct != 0) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = {key, distinctPlusOne};
    }
    void Grow() {
        std::vector<TSlot> old(slots_.size() * 2);
        old.swap(slots_);
        for (const TSlot& s : old)
            if (s.Distinct != 0) Put(s.Key, s.Distinct);
    }
    std::vector<TSlot> slots_;
    size_t used_ = 0;
};

// Where a distinct packet lies: its number and the reader's resync offset
// then (the rest of its position is the same for every packet).
#pragma pack(push, 4)
struct TDistinct {
    int64_t Index;
    int64_t Resync;
};
#pragma pack(pop)

} // namespace

bool TDuplicateFinder::Run(const std::string& input, int pid, std::string& error) {
    groups_.clear();
    packetCount_ = 0;
    if (!OpenReader(reader_, input, error)) return false;
    packetCount_ = reader_.PacketCount();
    // A packet's 188 bytes lie at garbage offset + index x packet distance +
    // resync offset (+ the 4-byte prefix of 192-byte packets).
    const int64_t base = reader_.GarbageOffset() + (reader_.M2TSMode() ? 4 : 0);
    const int64_t distance = reader_.WorkingPacketSize();
    std::vector<TDistinct> distinct;
    // (distinct number, packet number) of each repeat, in file order.
    std::vector<std::pair<uint32_t, int64_t>> repeats;
    TKeyTable table;
    bool ok = true;
    try {
        // The earlier packets are read again by a handle of our own, only
        // when a key matches.
        TFileStream again(input, fmOpenRead | fmShareDenyNone);
        uint8_t earlier[TS_PACKET_SIZE];
        for (; !reader_.Eof(); reader_.Next()) {
            const TTSPacketHeader& h = *reader_.TSPacketHeader();
            const TTSPacketBuffer& raw = reader_.RawPacket();
            if (!h.Synch() || h.PID() != pid || raw.Length != TS_PACKET_SIZE) continue;
            const uint32_t key = DuplicateKey(raw.Data);
            const int64_t same = table.Find(key, [&](int64_t d) {
                const TDistinct& e = distinct[static_cast<size_t>(d)];
                again.Seek(base + e.Index * distance + e.Resync, soBeginning);
                return again.Read(earlier, TS_PACKET_SIZE) == TS_PACKET_SIZE &&
                       std::memcmp(earlier, raw.Data, TS_PACKET_SIZE) == 0;
            });
            if (same >= 0) {
                repeats.emplace_back(static_cast<uint32_t>(same), reader_.PacketIndex());
            } else {
                table.Add(key, static_cast<uint32_t>(distinct.size()));
                distinct.push_back({reader_.PacketIndex(), reader_.ResyncOffset()});
            }
        }
        if (!reader_.ReadErrorText().empty()) {
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
