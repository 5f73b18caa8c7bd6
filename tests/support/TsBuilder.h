// Builds transport streams for tests: packets with any header, adaptation
// field and PCR; PAT and PMT sections with correct or broken CRCs; PES packets
// with PTS/DTS spread over packets; 192-byte packets; and damage of every
// kind (garbage, lost sync, repeated and lost packets, transport errors,
// scrambling). Everything is plain bytes, so tests can break them further.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

using Bytes = std::vector<uint8_t>;

// One 188-byte packet. The adaptation field is written when adaptation is
// set, or when a PCR/OPCR/splice countdown/flags are asked for, or when the
// payload is short and padWithAdaptation is set (stuffing as muxers do it).
struct TsPacketOptions {
    int pid = 0x100;
    bool payloadStart = false;
    bool transportError = false;
    bool priority = false;
    int scrambling = 0;  // transport_scrambling_control (0..3)
    int cc = 0;
    int afc = -1;        // adaptation_field_control; -1 derives it
    bool adaptation = false;
    int afLength = -1;   // adaptation_field_length; -1 computes it
    int afFlags = 0;     // extra flag bits (0x80 discontinuity, 0x40 random access, ...)
    int64_t pcr = -1;    // 27 MHz; >= 0 writes the PCR field
    int64_t opcr = -1;
    int spliceCountdown = -1;
    Bytes payload;       // at most what fits; the rest is stuffed
    bool padWithAdaptation = true; // false: pad the payload with 0xFF (PSI style)
};

Bytes MakePacket(const TsPacketOptions& o);
// The six PCR bytes of a 27 MHz value (reserved bits set).
Bytes PcrBytes(int64_t pcr27);

// --- PSI sections (complete, with CRC) ---
struct PatProgram {
    int number = 1;
    int pmtPid = 0x100;
};
Bytes PatSection(int transportStreamId, int version, const std::vector<PatProgram>& programs, bool breakCrc = false);

struct PmtStream {
    int type = 2;
    int pid = 0x101;
    Bytes esInfo; // descriptor bytes
};
Bytes PmtSection(int programNumber, int version, int pcrPid, const Bytes& programInfo,
                 const std::vector<PmtStream>& streams, bool breakCrc = false);

Bytes Descriptor(int tag, const Bytes& payload);
// ISO 639 language descriptor (0x0A) with audio type 0.
Bytes LanguageDescriptor(const std::string& lang3);
Bytes Concat(std::initializer_list<Bytes> parts);

// A PES packet: header with PTS (and DTS) when >= 0, then the elementary
// bytes. lengthField -1 writes the real length (0 when it does not fit in 16
// bits, as for video).
Bytes PesPacket(int streamId, const Bytes& es, int64_t pts = -1, int64_t dts = -1, int lengthField = -1);

// A stream under construction. Packets are kept as 188-byte units; the
// 192-byte mode adds a 4-byte prefix (a running 30-bit arrival time) to each
// when the stream is rendered.
class TsStream {
public:
    explicit TsStream(int packetSize = 188) : packetSize_(packetSize) {}

    int PacketSize() const { return packetSize_; }
    size_t PacketCount() const { return packets_.size(); }
    Bytes& Packet(size_t i) { return packets_[i]; }

    // Next continuity counter of a PID (counts from 0).
    int NextCC(int pid);

    // Appends a packet; cc < 0 in the options (or by default here) takes the
    // PID's next CC. Returns its index.
    size_t Add(TsPacketOptions o, bool autoCC = true);
    size_t AddRaw(const Bytes& packet188);
    void AddNull(int count);
    // A section on a PID, split over packets (pointer_field 0 in the first).
    void AddSection(int pid, const Bytes& section);
    void AddPat(const std::vector<PatProgram>& programs, int tsid = 1, int version = 0, bool breakCrc = false);
    void AddPmt(int pmtPid, int program, int pcrPid, const std::vector<PmtStream>& streams, int version = 0,
                bool breakCrc = false, const Bytes& programInfo = {});
    // A PES packet spread over packets of a PID; the first packet carries the
    // PCR when pcr >= 0 and the random-access flag when randomAccess.
    void AddPes(int pid, const Bytes& pes, int64_t pcr = -1, bool randomAccess = false);

    // --- damage (by packet index) ---
    void BreakSync(size_t i) { packets_[i][0] = 0x00; }
    void SetTransportError(size_t i) { packets_[i][1] |= 0x80; }
    void SetScrambled(size_t i, int tsc = 2);
    void SetCC(size_t i, int cc) { packets_[i][3] = static_cast<uint8_t>((packets_[i][3] & 0xF0) | (cc & 15)); }
    void Drop(size_t i);
    void Repeat(size_t i); // inserts a copy right after packet i
    // Bytes put before the first packet / between packets i-1 and i.
    void SetLeadingGarbage(const Bytes& g) { leading_ = g; }
    void InsertGarbageBefore(size_t i, const Bytes& g) { between_[i] = g; }

    Bytes Render() const;
    void Save(const std::string& fileName) const;

private:
    int packetSize_;
    std::vector<Bytes> packets_;
    std::map<int, int> cc_;
    Bytes leading_;
    std::map<size_t, Bytes> between_;
};

// A small program built in code: PAT (program 1 on PMT PID $0100) and PMT
// with `streams` before every three frames; MPEG-2-typed video on $0101
// carrying the PCR and MPEG audio on $0102, 3,600 ticks per frame; after each
// three frames the PES that `extraPes` makes for the next frame's PTS on
// `extraPid` (none when extraPid < 0); until the stream holds `packets`
// packets.
TsStream SmallProgram(const std::vector<PmtStream>& streams, int extraPid,
                      const std::function<Bytes(int64_t pts)>& extraPes, size_t packets = 3000);

// Bytes of n pseudo-random garbage without any 0x47.
Bytes Garbage(size_t n, uint32_t seed = 1);

// A name in the temporary folder that no other test, nor a test process
// running beside this one, uses: "tw_<tag>_<run>_<n><suffix>".
std::string UniqueTempName(const std::string& tag, const std::string& suffix);

// A temporary file removed on destruction.
class TempFile {
public:
    explicit TempFile(const std::string& suffix = ".ts");
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Name() const { return name_; }
    void Write(const Bytes& data) const;
    Bytes Read() const;

private:
    std::string name_;
};

// The folder of the committed test data (tests/data).
std::string TestDataDir();

} // namespace tw::test
