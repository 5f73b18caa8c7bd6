// The codes of the transport stream and of this program that the analysis
// and the cleaning pass compare against: PIDs with a fixed meaning, the
// stream_type values the rebuilt program is made of, and what the user chose
// for scrambled packets.
#pragma once

#include <cstdint>

namespace tw {

constexpr int kPatPid = 0x0000;
constexpr int kNullPid = 0x1FFF;

// stream_type values of a PMT entry.
constexpr int kStreamTypeMpeg2Video = 0x02;
constexpr int kStreamTypeMpeg2Audio = 0x04;
constexpr int kStreamTypePrivateData = 0x06; // teletext, subtitles, DVB-style AC-3/E-AC-3
constexpr int kStreamTypeAacAdts = 0x0F; // AAC with ADTS headers
constexpr int kStreamTypeAacLatm = 0x11; // AAC in LATM, another framing
constexpr int kStreamTypeH264 = 0x1B;
constexpr int kStreamTypeHevc = 0x24; // video the program cannot carry
constexpr int kStreamTypeAc3 = 0x81;

// Program numbers a program may take: 0 names the network PID in a PAT.
constexpr int kFirstProgramNumber = 1;
constexpr int kLastProgramNumber = 0xFFFF;
// The program number of the tables the program makes itself, also taken
// when the recording's tables give none a program may carry.
constexpr int kOwnProgramNumber = 1;

// The PMT PIDs an own PAT may use, in the order they are tried: the first
// that no stream of the recording occupies.
constexpr int kOwnPmtPids[] = {0xB1, 0x78, 0x14};

// What happens to packets with transport_scrambling_control set, asked once
// per opened file.
enum class TScrambledMode : uint8_t {
    NotAsked = 0,
    IgnoreControl = 1, // the bits are taken as noise: the packet is used
    SkipScrambled = 3, // scrambled packets are dropped without a log line
};

} // namespace tw
