// The packet editor's model: the decoded field texts of one packet, the
// stepping rules, the searches over the recording and the write-back of an
// edited packet into the user's file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ts/TSPacketViews.h"

namespace tw {

class TTSPacketReader;

// What the editor's boxes show for a packet.
struct TPacketFields {
    bool SizeOk = false; // false: "Packet size error!" and nothing else
    bool Valid = false;
    std::string ErrorText;
    std::string Pid;            // "$" + 4 hex digits
    std::string Scrambling;     // "Unscrambled", ...
    std::string Afc;            // "No AF", ...
    std::string Continuity;     // decimal
    bool TransportError = false, PayloadStart = false, Priority = false;
    bool HasAdaptationField = false;
    bool Discontinuity = false, RandomAccess = false, EsPriority = false;
    std::string AfLength;       // decimal
    std::string Pcr, PcrHint, Opcr; // empty when absent
    bool HasPes = false;
    std::string Pts, Dts, Escr; // empty when absent
};

std::string ScramblingText(int control);
std::string AfcText(int control);
// 27 MHz ticks as a time of day "hh:nn:ss.zzz"; empty for a negative value.
std::string PcrTimeOfDay(int64_t pcr27);
// 90 kHz ticks the same way.
std::string PtsTimeOfDay(int64_t pts90);
std::string PcrHintText(const TTSPacketPCR& pcr);

// Parses and validates edited bytes the way the reader does its own (the
// reader supplies the validation and its packet size).
TPacketFields DecodePacket(TTSPacketReader& reader, const TTSPacketBuffer& bytes);

// Whether a header carries a PCR in its adaptation field.
bool HasPcr(const TTSPacketHeader& h);

// The stepping buttons: delta -10, -1, +1 or +10 from index in a recording
// of count packets; false where the button does nothing (never past the last
// packet, never before the first).
bool CanStep(int64_t index, int64_t count, int delta);

enum TPacketSearch { psPayloadStart, psPcr, psError };

// Asked now and then while a search runs (before each block of packets it
// reads); false stops the search as one that found nothing.
using TSearchGoOn = std::function<bool()>;

// Moves the reader packet by packet from one beyond the current one until the
// condition holds (true, the reader stays there) or the first or last packet
// was examined (false, the reader is back on its start packet). A packet the
// file cannot give ends the search too: `readFailed` then says so.
bool SearchPacket(TTSPacketReader& reader, TPacketSearch kind, bool forward, bool* readFailed = nullptr,
                  const TSearchGoOn& goOn = {});

// The next 0x47 from byte `from` of the current packet, then from byte 0 of
// each following packet up to the last; true with the reader on that packet
// and `byte` its position, else the reader back on its start packet (with
// `readFailed` set when a packet could not be read).
bool SearchSyncByte(TTSPacketReader& reader, int from, int& byte, bool* readFailed = nullptr,
                    const TSearchGoOn& goOn = {});

// Writes exactly the 188 bytes at the reader's current packet into the
// reader's file, through a handle of its own, and nothing else. False with
// the platform's reason when the bytes do not have the packet size or the
// file cannot be opened or written. The reader then reads the packet again.
bool WritePacketBack(TTSPacketReader& reader, const TTSPacketBuffer& bytes, std::string& error);

} // namespace tw
