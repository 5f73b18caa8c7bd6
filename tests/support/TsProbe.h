// Reads the clock fields of raw 188-byte packets in test output with a few
// lines of its own, not the library's packet views and time-stamp codec: a
// fault in those cannot hide in the program and in the check of its output.
#pragma once

#include <cstdint>

namespace tw::test {

// Offset of the payload in the packet; -1 when it carries none or its
// adaptation field is too long.
int PacketPayloadStart(const uint8_t* packet);
// The PCR of a packet whose adaptation field carries one (27 MHz).
bool ReadPacketPcr(const uint8_t* packet, int64_t& pcr27);
// PTS, DTS and ESCR of a PES header starting in the packet (each -1 when
// absent); false when none starts there or its stamps are broken.
bool ReadPacketTimestamps(const uint8_t* packet, int64_t& escr, int64_t& dts, int64_t& pts);

} // namespace tw::test
