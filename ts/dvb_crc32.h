// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, no
// reflection, no final inversion. PSI sections are checked and built with it,
// and single packets are compared by it.
#pragma once

#include <cstdint>

namespace tw {

// CRC over length bytes from the caller's start value (callers pass
// 0xFFFFFFFF); length 0 returns the start value. Over a complete section
// including its stored CRC the result is 0.
uint32_t Crc32Mpeg(const void* data, uint32_t start, int64_t length);

} // namespace tw
