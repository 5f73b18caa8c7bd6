#include "tests/support/TsBuilder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "ts/TSTimeStamp.h"
#include "ts/dvb_crc32.h"

namespace tw::test {

namespace {
std::filesystem::path Path(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
} // namespace

Bytes PcrBytes(int64_t pcr27) {
    Bytes b(kPcrFieldSize);
    MakePcr(b.data(), pcr27);
    return b;
}

Bytes MakePacket(const TsPacketOptions& o) {
    Bytes p(188, 0xFF);
    p[0] = 0x47;
    p[1] = static_cast<uint8_t>((o.transportError ? 0x80 : 0) | (o.payloadStart ? 0x40 : 0) | (o.priority ? 0x20 : 0) |
                                ((o.pid >> 8) & 0x1F));
    p[2] = static_cast<uint8_t>(o.pid & 0xFF);

    // The optional adaptation-field body after the flag byte.
    Bytes opt;
    int flags = o.afFlags & 0xFF;
    if (o.pcr >= 0) {
        flags |= 0x10;
        Bytes b = PcrBytes(o.pcr);
        opt.insert(opt.end(), b.begin(), b.end());
    }
    if (o.opcr >= 0) {
        flags |= 0x08;
        Bytes b = PcrBytes(o.opcr);
        opt.insert(opt.end(), b.begin(), b.end());
    }
    if (o.spliceCountdown >= 0) {
        flags |= 0x04;
        opt.push_back(static_cast<uint8_t>(o.spliceCountdown));
    }
    const size_t payloadRoom = o.payload.size() > 184 ? 184 : o.payload.size();
    bool withAf = o.adaptation || flags != 0 || !opt.empty() || (o.padWithAdaptation && payloadRoom < 184);
    int afc = o.afc;
    if (afc < 0) afc = !withAf ? 1 : (o.payload.empty() ? 2 : 3);
    p[3] = static_cast<uint8_t>(((o.scrambling & 3) << 6) | ((afc & 3) << 4) | (o.cc & 15));

    size_t pos = 4;
    if (withAf) {
        int minLen = (flags != 0 || !opt.empty()) ? static_cast<int>(1 + opt.size()) : 0;
        int len = o.afLength;
        if (len < 0) {
            // Fill the packet: what the payload does not take is stuffing.
            len = static_cast<int>(184 - 1 - payloadRoom);
            if (len < minLen) len = minLen;
        }
        p[4] = static_cast<uint8_t>(len);
        if (len > 0) {
            p[5] = static_cast<uint8_t>(flags);
            for (size_t k = 0; k < opt.size() && 6 + k < 188; ++k) p[6 + k] = opt[k];
        }
        pos = 5 + static_cast<size_t>(len);
    }
    for (size_t k = 0; pos + k < 188 && k < o.payload.size(); ++k) p[pos + k] = o.payload[k];
    return p;
}

static void PutCrc(Bytes& s, bool breakCrc) {
    uint32_t crc = tw::Crc32Mpeg(s.data(), 0xFFFFFFFFu, static_cast<int64_t>(s.size()));
    if (breakCrc) crc ^= 0x00010000u;
    s.push_back(static_cast<uint8_t>(crc >> 24));
    s.push_back(static_cast<uint8_t>(crc >> 16));
    s.push_back(static_cast<uint8_t>(crc >> 8));
    s.push_back(static_cast<uint8_t>(crc));
}

Bytes PatSection(int tsid, int version, const std::vector<PatProgram>& programs, bool breakCrc) {
    const int len = 9 + 4 * static_cast<int>(programs.size());
    Bytes s = {0x00, static_cast<uint8_t>(0xB0 | ((len >> 8) & 0x0F)), static_cast<uint8_t>(len & 0xFF),
               static_cast<uint8_t>(tsid >> 8), static_cast<uint8_t>(tsid),
               static_cast<uint8_t>(0xC1 | ((version & 31) << 1)), 0x00, 0x00};
    for (const auto& pr : programs) {
        s.push_back(static_cast<uint8_t>(pr.number >> 8));
        s.push_back(static_cast<uint8_t>(pr.number));
        s.push_back(static_cast<uint8_t>(0xE0 | ((pr.pmtPid >> 8) & 0x1F)));
        s.push_back(static_cast<uint8_t>(pr.pmtPid));
    }
    PutCrc(s, breakCrc);
    return s;
}

Bytes PmtSection(int program, int version, int pcrPid, const Bytes& programInfo, const std::vector<PmtStream>& streams,
                 bool breakCrc) {
    Bytes body;
    for (const auto& st : streams) {
        body.push_back(static_cast<uint8_t>(st.type));
        body.push_back(static_cast<uint8_t>(0xE0 | ((st.pid >> 8) & 0x1F)));
        body.push_back(static_cast<uint8_t>(st.pid));
        body.push_back(static_cast<uint8_t>(0xF0 | ((st.esInfo.size() >> 8) & 0x0F)));
        body.push_back(static_cast<uint8_t>(st.esInfo.size()));
        body.insert(body.end(), st.esInfo.begin(), st.esInfo.end());
    }
    const int len = 9 + static_cast<int>(programInfo.size()) + static_cast<int>(body.size()) + 4;
    Bytes s = {0x02,
               static_cast<uint8_t>(0xB0 | ((len >> 8) & 0x0F)),
               static_cast<uint8_t>(len & 0xFF),
               static_cast<uint8_t>(program >> 8),
               static_cast<uint8_t>(program),
               static_cast<uint8_t>(0xC1 | ((version & 31) << 1)),
               0x00,
               0x00,
               static_cast<uint8_t>(0xE0 | ((pcrPid >> 8) & 0x1F)),
               static_cast<uint8_t>(pcrPid),
               static_cast<uint8_t>(0xF0 | ((programInfo.size() >> 8) & 0x0F)),
               static_cast<uint8_t>(programInfo.size())};
    s = Concat({s, programInfo, body});
    PutCrc(s, breakCrc);
    return s;
}

Bytes Descriptor(int tag, const Bytes& payload) {
    return Concat({{static_cast<uint8_t>(tag), static_cast<uint8_t>(payload.size())}, payload});
}

Bytes LanguageDescriptor(const std::string& lang3) {
    Bytes p(lang3.begin(), lang3.end());
    p.push_back(0);
    return Descriptor(0x0A, p);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes r;
    for (const auto& b : parts) r.insert(r.end(), b.begin(), b.end());
    return r;
}

static void PutStamp(Bytes& b, int prefix, int64_t v) {
    b.resize(b.size() + kPtsFieldSize);
    MakePts(b.data() + b.size() - kPtsFieldSize, prefix, v);
}

Bytes PesPacket(int streamId, const Bytes& es, int64_t pts, int64_t dts, int lengthField) {
    Bytes opt;
    int flags = 0;
    if (pts >= 0 && dts >= 0) {
        flags = 0xC0;
        PutStamp(opt, kPtsBeforeDtsPrefix, pts);
        PutStamp(opt, kDtsPrefix, dts);
    } else if (pts >= 0) {
        flags = 0x80;
        PutStamp(opt, kPtsOnlyPrefix, pts);
    }
    Bytes b = Concat({{0x00, 0x00, 0x01, static_cast<uint8_t>(streamId), 0, 0, 0x80, static_cast<uint8_t>(flags),
                       static_cast<uint8_t>(opt.size())},
                      opt, es});
    size_t len = b.size() - 6;
    int field = lengthField >= 0 ? lengthField : (len > 0xFFFF ? 0 : static_cast<int>(len));
    b[4] = static_cast<uint8_t>(field >> 8);
    b[5] = static_cast<uint8_t>(field);
    return b;
}

int TsStream::NextCC(int pid) {
    auto it = cc_.find(pid);
    int cc = it == cc_.end() ? 0 : it->second;
    cc_[pid] = (cc + 1) & 15;
    return cc;
}

size_t TsStream::Add(TsPacketOptions o, bool autoCC) {
    if (autoCC) {
        // Adaptation-only packets keep the counter, as the standard asks.
        bool afOnly = o.afc == 2 || (o.afc < 0 && o.payload.empty());
        if (afOnly) {
            auto it = cc_.find(o.pid);
            o.cc = it == cc_.end() ? 0 : ((it->second + 15) & 15);
        } else {
            o.cc = NextCC(o.pid);
        }
    }
    packets_.push_back(MakePacket(o));
    return packets_.size() - 1;
}

size_t TsStream::AddRaw(const Bytes& packet188) {
    packets_.push_back(packet188);
    packets_.back().resize(188, 0xFF);
    return packets_.size() - 1;
}

void TsStream::AddNull(int count) {
    for (int i = 0; i < count; ++i) {
        TsPacketOptions o;
        o.pid = 0x1FFF;
        o.payload.assign(184, 0xFF);
        Add(o);
    }
}

void TsStream::AddSection(int pid, const Bytes& section) {
    Bytes data;
    data.push_back(0); // pointer_field
    data.insert(data.end(), section.begin(), section.end());
    size_t at = 0;
    bool first = true;
    while (at < data.size()) {
        TsPacketOptions o;
        o.pid = pid;
        o.payloadStart = first;
        o.padWithAdaptation = false;
        size_t n = std::min<size_t>(184, data.size() - at);
        o.payload.assign(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
        Add(o);
        at += n;
        first = false;
    }
}

void TsStream::AddPat(const std::vector<PatProgram>& programs, int tsid, int version, bool breakCrc) {
    AddSection(0, PatSection(tsid, version, programs, breakCrc));
}

void TsStream::AddPmt(int pmtPid, int program, int pcrPid, const std::vector<PmtStream>& streams, int version,
                      bool breakCrc, const Bytes& programInfo) {
    AddSection(pmtPid, PmtSection(program, version, pcrPid, programInfo, streams, breakCrc));
}

void TsStream::AddPes(int pid, const Bytes& pes, int64_t pcr, bool randomAccess) {
    size_t at = 0;
    bool first = true;
    while (at < pes.size()) {
        TsPacketOptions o;
        o.pid = pid;
        o.payloadStart = first;
        size_t room = 184;
        if (first && (pcr >= 0 || randomAccess)) {
            o.pcr = pcr;
            o.afFlags = randomAccess ? 0x40 : 0;
            room = 184 - 2 - (pcr >= 0 ? 6 : 0);
        }
        size_t n = std::min(room, pes.size() - at);
        o.payload.assign(pes.begin() + static_cast<long>(at), pes.begin() + static_cast<long>(at + n));
        Add(o);
        at += n;
        first = false;
    }
}

void TsStream::SetScrambled(size_t i, int tsc) {
    packets_[i][3] = static_cast<uint8_t>((packets_[i][3] & 0x3F) | ((tsc & 3) << 6));
}

void TsStream::Drop(size_t i) { packets_.erase(packets_.begin() + static_cast<long>(i)); }

void TsStream::Repeat(size_t i) {
    Bytes copy = packets_[i];
    packets_.insert(packets_.begin() + static_cast<long>(i) + 1, copy);
}

Bytes TsStream::Render() const {
    Bytes out = leading_;
    out.reserve(leading_.size() + packets_.size() * static_cast<size_t>(packetSize_));
    uint32_t arrival = 0x01000000;
    for (size_t i = 0; i < packets_.size(); ++i) {
        auto g = between_.find(i);
        if (g != between_.end()) out.insert(out.end(), g->second.begin(), g->second.end());
        if (packetSize_ == 192) {
            out.push_back(static_cast<uint8_t>((arrival >> 24) & 0x3F));
            out.push_back(static_cast<uint8_t>(arrival >> 16));
            out.push_back(static_cast<uint8_t>(arrival >> 8));
            out.push_back(static_cast<uint8_t>(arrival));
            arrival += 1000;
        }
        out.insert(out.end(), packets_[i].begin(), packets_[i].end());
    }
    return out;
}

void TsStream::Save(const std::string& fileName) const {
    Bytes b = Render();
    std::ofstream f(Path(fileName), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    if (!f) throw std::runtime_error("cannot write " + fileName);
}

Bytes Garbage(size_t n, uint32_t seed) {
    Bytes g(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& c : g) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<uint8_t>(x);
        if (c == 0x47) c = 0x46;
    }
    return g;
}

std::string UniqueTempName(const std::string& tag, const std::string& suffix) {
    // Unique across the test processes that ctest runs side by side.
    static std::atomic<int> counter{0};
    static const unsigned run = std::random_device{}() ^
                                static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    char buf[64];
    std::snprintf(buf, sizeof buf, "_%08x_%d", run, counter.fetch_add(1));
    auto u8 = (std::filesystem::temp_directory_path() / ("tw_" + tag + buf + suffix)).u8string();
    return std::string(u8.begin(), u8.end());
}

TempFile::TempFile(const std::string& suffix) : name_(UniqueTempName("test", suffix)) {}

TempFile::~TempFile() {
    std::error_code ec;
    std::filesystem::remove(Path(name_), ec);
}

void TempFile::Write(const Bytes& data) const {
    std::ofstream f(Path(name_), std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!f) throw std::runtime_error("cannot write " + name_);
}

Bytes TempFile::Read() const {
    std::ifstream f(Path(name_), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string TestDataDir() { return TW_TEST_DATA_DIR; }

} // namespace tw::test
