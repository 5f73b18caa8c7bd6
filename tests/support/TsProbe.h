// Reads the clock fields of raw 188-byte packets in test output with a few
// lines of its own, not the library's packet views and time-stamp codec: a
// fault in those cannot hide in the program and in the check of its output.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tw::test {

// Offset of the payload in the packet; -1 when it carries none or its
// adaptation field is too long.
int PacketPayloadStart(const uint8_t* packet);
// The PCR of a packet whose adaptation field carries one (27 MHz).
bool ReadPacketPcr(const uint8_t* packet, int64_t& pcr27);
// PTS, DTS and ESCR of a PES header starting in the packet (each -1 when
// absent); false when none starts there or its stamps are broken.
bool ReadPacketTimestamps(const uint8_t* packet, int64_t& escr, int64_t& dts, int64_t& pts);

// The streams of a recording as the bytes on the disk tell them, read with
// this file's own PSI parser (not the library's PAT and PMT readers): what a
// copy of the recording is compared with.
enum class TProbeClass { Video, Audio, Teletext, Subtitles, Data };

struct TProbeStream {
    int Pid = 0;
    int StreamType = 0;
    TProbeClass Class = TProbeClass::Data;
};

struct TProbeProgram {
    int Number = 0;
    int PmtPid = 0;
    std::vector<TProbeStream> Streams; // empty when no whole PMT was found
};

struct TRecordingStreams {
    int PacketSize = 188; // 192 for packets with a 4-byte time code in front
    // The programs of the first PAT with a sound CRC, each with the first
    // sound PMT of its PID.
    std::vector<TProbeProgram> Programs;
    std::map<int, int64_t> PacketsPerPid; // packets with a sync byte where the packet size puts one
    std::map<int, int> StreamIdOf;        // stream_id of the PID's first PES header
    // The class of a PID seen from its PES headers alone (audio or video
    // stream_id), for a recording without a usable PMT.
    TProbeClass ClassByStreamId(int pid) const;
};

// Classes a PMT entry by its stream type and descriptors; where neither
// names the kind (private data, user-private types), by the stream_id of
// the PID's PES packets.
TRecordingStreams ReadRecordingStreams(const std::string& fileName);

} // namespace tw::test
