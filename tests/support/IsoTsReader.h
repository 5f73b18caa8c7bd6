// A reader of transport streams written for the tests from ISO/IEC 13818-1
// alone, sharing no code with the program's own stream classes: what a copy
// holds is judged by something that cannot share their faults. It reads
// packets, the adaptation field and its PCR, the PAT and the PMTs (sections
// over several packets, CRC checked, only those in force), and the PES
// headers with their PTS and DTS, also where a header runs on into the next
// packet of its PID. For each header it keeps where every byte of it lies in
// the file, so that a test can rewrite a stamp that spans two packets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace tw::isots {

using Bytes = std::vector<uint8_t>;

constexpr int kPacket = 188;
constexpr int64_t kWrap90 = int64_t(1) << 33; // PTS, DTS and the PCR base
constexpr int64_t kWrap27 = kWrap90 * 300;

inline int64_t Wrap(int64_t v, int64_t modulus)
{
    v %= modulus;
    return v < 0 ? v + modulus : v;
}

// A difference of two 33-bit stamps as the shorter way round the circle.
inline int64_t Diff90(int64_t a, int64_t b)
{
    const int64_t d = Wrap(a - b, kWrap90);
    return d >= kWrap90 / 2 ? d - kWrap90 : d;
}

inline int Pid(const uint8_t* p) { return ((p[1] & 0x1F) << 8) | p[2]; }
inline bool UnitStart(const uint8_t* p) { return (p[1] & 0x40) != 0; }
inline int Afc(const uint8_t* p) { return (p[3] >> 4) & 3; }

// Offset of the payload in the packet; -1 where there is none or the
// adaptation field's length leaves no room for one.
inline int PayloadAt(const uint8_t* p)
{
    const int afc = Afc(p);
    if (!(afc & 1))
        return -1;
    if (!(afc & 2))
        return 4;
    const int s = 5 + p[4];
    return s < kPacket ? s : -1;
}

// The PCR (27 MHz) of the packet's adaptation field, and its discontinuity
// indicator.
inline bool ReadPcr(const uint8_t* p, int64_t& pcr27, bool* discontinuity = nullptr)
{
    if (!(Afc(p) & 2) || p[4] < 7 || p[4] > 183 || !(p[5] & 0x10))
        return false;
    const int64_t base = (int64_t(p[6]) << 25) | (int64_t(p[7]) << 17) | (int64_t(p[8]) << 9) | (int64_t(p[9]) << 1) |
                         (p[10] >> 7);
    const int ext = ((p[10] & 1) << 8) | p[11];
    pcr27 = base * 300 + ext;
    if (discontinuity)
        *discontinuity = (p[5] & 0x80) != 0;
    return true;
}

// Writes a PCR (27 MHz, taken modulo its range) into a packet that has one.
inline void WritePcr(uint8_t* p, int64_t pcr27)
{
    pcr27 = Wrap(pcr27, kWrap27);
    const int64_t base = pcr27 / 300;
    const int ext = static_cast<int>(pcr27 % 300);
    p[6] = static_cast<uint8_t>(base >> 25);
    p[7] = static_cast<uint8_t>(base >> 17);
    p[8] = static_cast<uint8_t>(base >> 9);
    p[9] = static_cast<uint8_t>(base >> 1);
    p[10] = static_cast<uint8_t>(((base & 1) << 7) | 0x7E | (ext >> 8));
    p[11] = static_cast<uint8_t>(ext & 0xFF);
}

// CRC_32 of the sections (polynomial 0x04C11DB7, no reflection, start all
// ones); over a whole section with its CRC field it gives 0.
inline uint32_t Crc32(const uint8_t* data, size_t n)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint32_t(data[i]) << 24;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

struct Stream {
    int Type = 0;
    int Pid = -1;
    Bytes Descriptors;
};

struct Program {
    int Number = -1;
    int PmtPid = -1;
    int PcrPid = -1;
    int Version = -1;
    std::vector<Stream> Streams;
    std::set<int> StreamPids() const
    {
        std::set<int> s;
        for (const Stream& e : Streams)
            s.insert(e.Pid);
        return s;
    }
};

struct PcrAt {
    size_t Packet = 0;
    int Pid = -1;
    int64_t Pcr27 = 0;
    bool Discontinuity = false;
};

// One PES header: the packet it starts in, its stamps (-1 where absent) and
// the file offset of each of its bytes.
struct StampsAt {
    size_t Packet = 0;
    int Pid = -1;
    int StreamId = 0;
    int64_t Pts = -1, Dts = -1;
    std::vector<size_t> At;
    // The stamp a decoder meets first: the DTS, else the PTS; -1 none.
    int64_t Decode() const { return Dts >= 0 ? Dts : Pts; }
};

struct TsView {
    size_t Packets = 0;
    bool Whole = false; // 188-byte packets, every one starting with 0x47
    std::map<int, int64_t> PerPid;
    std::vector<PcrAt> Pcrs;
    std::vector<StampsAt> Stamps;
    std::map<int, int> PatPrograms;  // program_number -> PMT PID, the last PAT in force
    std::map<int, Program> Programs; // by program_number, the last PMT in force
    int CrcErrors = 0;
    // Two different PMT sections with one program number and version on
    // one PID: a decoder cannot tell which is meant.
    bool TablesDisagree = false;

    const Program* ProgramOnPmtPid(int pmtPid) const
    {
        for (const auto& [n, p] : Programs)
            if (p.PmtPid == pmtPid)
                return &p;
        return nullptr;
    }
};

inline int64_t ReadStamp(const Bytes& file, const std::vector<size_t>& at, size_t k)
{
    auto b = [&](size_t i) { return int64_t(file[at[k + i]]); };
    return ((b(0) >> 1) & 7) << 30 | b(1) << 22 | (b(2) >> 1) << 15 | b(3) << 7 | (b(4) >> 1);
}

// Writes a 33-bit stamp over the five header bytes from k on, keeping the
// four prefix bits the header has there.
inline void WriteStamp(Bytes& file, const std::vector<size_t>& at, size_t k, int64_t v)
{
    v = Wrap(v, kWrap90);
    const uint8_t prefix = file[at[k]] & 0xF0;
    file[at[k]] = static_cast<uint8_t>(prefix | ((v >> 29) & 0x0E) | 1);
    file[at[k + 1]] = static_cast<uint8_t>(v >> 22);
    file[at[k + 2]] = static_cast<uint8_t>(((v >> 14) & 0xFE) | 1);
    file[at[k + 3]] = static_cast<uint8_t>(v >> 7);
    file[at[k + 4]] = static_cast<uint8_t>(((v << 1) & 0xFE) | 1);
}

namespace detail {

// Stream ids whose PES packets carry no optional header (13818-1 Table 2-21).
inline bool HasOptionalHeader(int id)
{
    return id != 0xBC && id != 0xBE && id != 0xBF && id != 0xF0 && id != 0xF1 && id != 0xF2 && id != 0xF8 &&
           id != 0xFF;
}

inline void ParsePat(const Bytes& s, TsView& v)
{
    const int len = ((s[1] & 0x0F) << 8) | s[2];
    std::map<int, int> programs;
    for (int q = 8; q + 4 <= len + 3 - 4; q += 4) {
        const int number = (s[q] << 8) | s[q + 1];
        if (number != 0)
            programs[number] = ((s[q + 2] & 0x1F) << 8) | s[q + 3];
    }
    v.PatPrograms = programs;
}

inline void ParsePmt(const Bytes& s, int pid, TsView& v, std::map<std::pair<int, int>, Bytes>& seen)
{
    const int len = ((s[1] & 0x0F) << 8) | s[2];
    if (len < 13)
        return;
    Program p;
    p.Number = (s[3] << 8) | s[4];
    p.Version = (s[5] >> 1) & 0x1F;
    p.PmtPid = pid;
    p.PcrPid = ((s[8] & 0x1F) << 8) | s[9];
    const int end = len + 3 - 4;
    int q = 12 + (((s[10] & 0x0F) << 8) | s[11]);
    while (q + 5 <= end) {
        Stream e;
        e.Type = s[q];
        e.Pid = ((s[q + 1] & 0x1F) << 8) | s[q + 2];
        const int infoLen = ((s[q + 3] & 0x0F) << 8) | s[q + 4];
        if (q + 5 + infoLen > end)
            break;
        e.Descriptors.assign(s.begin() + q + 5, s.begin() + q + 5 + infoLen);
        p.Streams.push_back(e);
        q += 5 + infoLen;
    }
    const Bytes whole(s.begin(), s.begin() + len + 3);
    auto [it, fresh] = seen.emplace(std::make_pair(pid, (p.Number << 8) | p.Version), whole);
    if (!fresh && it->second != whole)
        v.TablesDisagree = true;
    v.Programs[p.Number] = p;
}

} // namespace detail

inline TsView Read(const Bytes& file)
{
    TsView v;
    v.Packets = file.size() / kPacket;
    v.Whole = file.size() % kPacket == 0;
    std::map<int, Bytes> sections; // PSI being assembled, per PID
    struct Open {
        StampsAt Header;
        size_t Needs = 9; // bytes the header has, as far as known
    };
    std::map<int, Open> open; // PES headers being assembled, per PID
    std::map<std::pair<int, int>, Bytes> seenPmts;
    std::vector<int64_t> perPid(8192, 0);
    std::vector<bool> pmtPids(8192, false);

    auto takeSections = [&](int pid) {
        Bytes& a = sections[pid];
        while (a.size() >= 3 && a[0] != 0xFF) {
            const size_t len = ((a[1] & 0x0F) << 8) | a[2];
            if (a.size() < len + 3)
                return;
            const Bytes s(a.begin(), a.begin() + static_cast<long>(len + 3));
            a.erase(a.begin(), a.begin() + static_cast<long>(len + 3));
            if (len < 9 || Crc32(s.data(), s.size()) != 0) {
                ++v.CrcErrors;
                continue;
            }
            if (!(s[5] & 1)) // current_next_indicator: not yet in force
                continue;
            if (pid == 0 && s[0] == 0x00) {
                detail::ParsePat(s, v);
                for (const auto& [n, pmtPid] : v.PatPrograms)
                    pmtPids[static_cast<size_t>(pmtPid)] = true;
            }
            else if (pid != 0 && s[0] == 0x02)
                detail::ParsePmt(s, pid, v, seenPmts);
        }
        if (!a.empty() && a[0] == 0xFF)
            a.clear();
    };

    for (size_t i = 0; i < v.Packets; ++i) {
        const uint8_t* p = file.data() + i * kPacket;
        if (p[0] != 0x47) {
            v.Whole = false;
            continue;
        }
        const int pid = Pid(p);
        ++perPid[static_cast<size_t>(pid)];
        if (pid == 0x1FFF || (p[1] & 0x80)) // null packets; a packet marked broken is not read
            continue;
        PcrAt pcr;
        if (ReadPcr(p, pcr.Pcr27, &pcr.Discontinuity)) {
            pcr.Packet = i;
            pcr.Pid = pid;
            v.Pcrs.push_back(pcr);
        }
        const int s = PayloadAt(p);
        if (s < 0)
            continue;
        if (pid == 0 || pmtPids[static_cast<size_t>(pid)]) {
            Bytes& a = sections[pid];
            if (UnitStart(p)) {
                const int pointer = p[s];
                if (s + 1 + pointer > kPacket) {
                    a.clear();
                    continue;
                }
                if (!a.empty()) {
                    a.insert(a.end(), p + s + 1, p + s + 1 + pointer);
                    takeSections(pid);
                }
                a.assign(p + s + 1 + pointer, p + kPacket);
            } else if (!a.empty()) {
                a.insert(a.end(), p + s, p + kPacket);
            }
            takeSections(pid);
            continue;
        }
        if (UnitStart(p)) {
            Open& o = open[pid];
            o = Open();
            o.Header.Packet = i;
            o.Header.Pid = pid;
            o.Header.At.reserve(64);
        }
        auto it = open.find(pid);
        if (it == open.end())
            continue;
        StampsAt& h = it->second.Header;
        size_t& needs = it->second.Needs;
        bool dropped = false;
        for (int k = s; k < kPacket && h.At.size() < needs; ++k) {
            h.At.push_back(i * kPacket + static_cast<size_t>(k));
            if (h.At.size() == 9) {
                auto b = [&](size_t n) { return file[h.At[n]]; };
                if (b(0) != 0 || b(1) != 0 || b(2) != 1 || !detail::HasOptionalHeader(b(3)) || (b(6) & 0xC0) != 0x80) {
                    h.StreamId = b(0) == 0 && b(1) == 0 && b(2) == 1 ? b(3) : 0;
                    if (h.StreamId)
                        v.Stamps.push_back(std::move(h));
                    dropped = true;
                    break;
                }
                needs = 9 + file[h.At[8]];
            }
        }
        if (dropped) {
            open.erase(it);
            continue;
        }
        if (h.At.size() < 9 || h.At.size() < needs)
            continue;
        StampsAt done = std::move(h);
        open.erase(it);
        done.StreamId = file[done.At[3]];
        const int flags = file[done.At[7]] >> 6;
        const size_t hdr = file[done.At[8]];
        if ((flags & 2) && hdr >= 5)
            done.Pts = ReadStamp(file, done.At, 9);
        if (flags == 3 && hdr >= 10)
            done.Dts = ReadStamp(file, done.At, 14);
        v.Stamps.push_back(std::move(done));
    }
    for (size_t pid = 0; pid < perPid.size(); ++pid)
        if (perPid[pid] > 0)
            v.PerPid[static_cast<int>(pid)] = perPid[pid];
    return v;
}

} // namespace tw::isots
