#include "tests/support/TsProbe.h"

#include <cstdio>
#include <set>

// Written from the layout of the transport packet, its adaptation field and
// the PES header, on purpose without the library's parsers: a fault there
// must not hide in the program and in the check of its output alike.

namespace tw::test {

namespace {

constexpr int kPacketSize = 188;

int AdaptationFieldControl(const uint8_t* p) { return (p[3] >> 4) & 3; }

// A 33-bit stamp of five bytes: 4-bit prefix, 3 bits, marker, 15 bits,
// marker, 15 bits, marker. False when the prefix or a marker is wrong.
bool ReadStamp(const uint8_t* f, int prefix, int64_t& out) {
    if ((f[0] >> 4) != prefix || !(f[0] & 1) || !(f[2] & 1) || !(f[4] & 1)) return false;
    out = (int64_t{(f[0] >> 1) & 7} << 30) | (int64_t{f[1]} << 22) | (int64_t{f[2] >> 1} << 15) |
          (int64_t{f[3]} << 7) | (f[4] >> 1);
    return true;
}

} // namespace

int PacketPayloadStart(const uint8_t* packet) {
    if (packet[0] != 0x47) return -1;
    switch (AdaptationFieldControl(packet)) {
    case 1: return 4;
    case 3: {
        const int start = 5 + packet[4];
        return start < kPacketSize ? start : -1;
    }
    default: return -1;
    }
}

bool ReadPacketPcr(const uint8_t* packet, int64_t& pcr27) {
    const int afc = AdaptationFieldControl(packet);
    // The field's length byte, its flags byte, six bytes of PCR.
    if (packet[0] != 0x47 || (afc != 2 && afc != 3) || packet[4] < 7 || !(packet[5] & 0x10)) return false;
    const uint8_t* f = packet + 6;
    const int64_t base = (int64_t{f[0]} << 25) | (int64_t{f[1]} << 17) | (int64_t{f[2]} << 9) | (int64_t{f[3]} << 1) |
                         (f[4] >> 7);
    const int ext = ((f[4] & 1) << 8) | f[5];
    pcr27 = base * 300 + ext;
    return true;
}

bool ReadPacketTimestamps(const uint8_t* packet, int64_t& escr, int64_t& dts, int64_t& pts) {
    escr = dts = pts = -1;
    const int s = PacketPayloadStart(packet);
    if (s < 0 || !(packet[1] & 0x40) || s + 9 > kPacketSize) return false;
    const uint8_t* h = packet + s;
    // Start code prefix, and the '10' that opens the optional header.
    if (h[0] != 0 || h[1] != 0 || h[2] != 1 || (h[6] >> 6) != 2) return false;
    const int flags = h[7] >> 6;
    int at = s + 9;
    bool found = false;
    if (flags == 2 || flags == 3) {
        if (at + 5 > kPacketSize || !ReadStamp(packet + at, flags, pts)) {
            pts = -1;
            return false;
        }
        at += 5;
        found = true;
        if (flags == 3) {
            if (at + 5 > kPacketSize || !ReadStamp(packet + at, 1, dts)) {
                dts = -1;
                return false;
            }
            at += 5;
        }
    }
    if ((h[7] & 0x20) && at + 6 <= kPacketSize) {
        // ESCR: reserved bits, base 33 bits in pieces of 3, 15 and 15 with a
        // marker after each, then 9 bits of extension and a marker.
        const uint8_t* e = packet + at;
        const int64_t base = (int64_t{(e[0] >> 3) & 7} << 30) | (int64_t{e[0] & 3} << 28) |
                             (int64_t{e[1]} << 20) | (int64_t{e[2] >> 3} << 15) | (int64_t{e[2] & 3} << 13) |
                             (int64_t{e[3]} << 5) | (e[4] >> 3);
        escr = base * 300 + (((e[4] & 3) << 7) | (e[5] >> 1));
        found = true;
    }
    return found;
}

} // namespace tw::test

namespace tw::test {

namespace {

// CRC-32/MPEG-2 bit by bit: polynomial 0x04C11DB7, start 0xFFFFFFFF; over a
// whole section with its CRC the result is 0.
uint32_t SectionCrc(const uint8_t* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= uint32_t{p[i]} << 24;
        for (int b = 0; b < 8; ++b) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

std::vector<uint8_t> ReadAll(const std::string& name) {
    std::vector<uint8_t> b;
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    return b;
}

TProbeClass ClassOfEntry(int type, const uint8_t* info, int infoLength) {
    // Descriptors first: DVB signals AC-3, E-AC-3, DTS, AAC, teletext and
    // subtitles in private data this way.
    for (int j = 0; j + 2 <= infoLength;) {
        const int tag = info[j], len = info[j + 1];
        if (j + 2 + len > infoLength) break;
        if (tag == 0x6A || tag == 0x7A || tag == 0x7B || tag == 0x7C) return TProbeClass::Audio;
        if (tag == 0x56) return TProbeClass::Teletext;
        if (tag == 0x59) return TProbeClass::Subtitles;
        j += 2 + len;
    }
    switch (type) {
    case 0x01: case 0x02: case 0x10: case 0x1B: case 0x24: case 0xEA: return TProbeClass::Video;
    case 0x03: case 0x04: case 0x0F: case 0x11: case 0x81: case 0x82: case 0x84: case 0x85: case 0x87:
        return TProbeClass::Audio;
    default: return TProbeClass::Data;
    }
}

} // namespace

TProbeClass TRecordingStreams::ClassByStreamId(int pid) const {
    const auto it = StreamIdOf.find(pid);
    if (it == StreamIdOf.end()) return TProbeClass::Data;
    if (it->second >= 0xC0 && it->second <= 0xDF) return TProbeClass::Audio;
    if (it->second >= 0xE0 && it->second <= 0xEF) return TProbeClass::Video;
    return TProbeClass::Data;
}

TRecordingStreams ReadRecordingStreams(const std::string& fileName) {
    TRecordingStreams r;
    const std::vector<uint8_t> b = ReadAll(fileName);
    const bool m2ts = b.size() > 196 && b[0] != 0x47 && b[4] == 0x47 && b[196] == 0x47;
    r.PacketSize = m2ts ? 192 : 188;
    const size_t lead = m2ts ? 4 : 0;

    std::map<int, std::vector<uint8_t>> assembling;
    std::map<int, std::vector<uint8_t>> tables; // PID -> first sound section
    // Sections of PID 0 and of every PID the first PAT names.
    std::set<int> psiPids = {0};
    for (size_t i = lead; i + kPacketSize <= b.size(); i += static_cast<size_t>(r.PacketSize)) {
        const uint8_t* p = b.data() + i;
        if (p[0] != 0x47) continue;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        ++r.PacketsPerPid[pid];
        if (p[1] & 0x80) continue; // transport error: nothing of it is read
        const int s = PacketPayloadStart(p);
        if (s < 0) continue;
        if ((p[1] & 0x40) && s + 4 <= kPacketSize && p[s] == 0 && p[s + 1] == 0 && p[s + 2] == 1 &&
            !r.StreamIdOf.count(pid))
            r.StreamIdOf[pid] = p[s + 3];
        if (!psiPids.count(pid) || tables.count(pid)) continue;
        std::vector<uint8_t>& a = assembling[pid];
        if (p[1] & 0x40) {
            const int at = s + 1 + p[s];
            if (at >= kPacketSize) continue;
            a.assign(p + at, p + kPacketSize);
        } else if (!a.empty()) {
            a.insert(a.end(), p + s, p + kPacketSize);
        }
        if (a.size() < 3) continue;
        const size_t len = static_cast<size_t>(((a[1] & 0x0F) << 8) | a[2]) + 3;
        if (a.size() < len) continue;
        const bool sound = len >= 12 && SectionCrc(a.data(), len) == 0 && a[0] == (pid == 0 ? 0x00 : 0x02);
        if (sound) {
            tables[pid].assign(a.begin(), a.begin() + static_cast<long>(len));
            if (pid == 0)
                for (size_t q = 8; q + 4 <= len - 4; q += 4) {
                    const int number = (a[q] << 8) | a[q + 1];
                    const int pmt = ((a[q + 2] & 0x1F) << 8) | a[q + 3];
                    if (number == 0) continue; // the network PID
                    TProbeProgram prog;
                    prog.Number = number;
                    prog.PmtPid = pmt;
                    r.Programs.push_back(prog);
                    psiPids.insert(pmt);
                }
        }
        a.clear();
    }
    for (TProbeProgram& prog : r.Programs) {
        const auto t = tables.find(prog.PmtPid);
        if (t == tables.end()) continue;
        const std::vector<uint8_t>& a = t->second;
        const size_t end = a.size() - 4; // before the CRC
        size_t q = 12 + static_cast<size_t>(((a[10] & 0x0F) << 8) | a[11]);
        while (q + 5 <= end) {
            TProbeStream st;
            st.StreamType = a[q];
            st.Pid = ((a[q + 1] & 0x1F) << 8) | a[q + 2];
            const int infoLength = ((a[q + 3] & 0x0F) << 8) | a[q + 4];
            if (q + 5 + static_cast<size_t>(infoLength) > end) break;
            st.Class = ClassOfEntry(st.StreamType, a.data() + q + 5, infoLength);
            if (st.Class == TProbeClass::Data) st.Class = r.ClassByStreamId(st.Pid);
            prog.Streams.push_back(st);
            q += 5 + static_cast<size_t>(infoLength);
        }
    }
    return r;
}

} // namespace tw::test
