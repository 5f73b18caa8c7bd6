// Small file helpers the tools share: probing a transport-stream file
// without ever opening it for writing and comparing file names the way
// Windows does.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// What a look at the start of a file finds.
struct TStreamProbe {
    bool Opened = false;   // the file could be opened for reading
    bool Found = false;    // a valid packet was found
    int PacketSize = 0;    // 188 or 192; 0 when no valid packet was found
    int GarbageOffset = 0; // position of the first valid packet modulo the packet size
    int64_t FileSize = 0;
};

// Opens the file read-only (shared), so a file another program holds or a
// read-only file is probed as well as any other.
TStreamProbe ProbeStreamFile(const std::string& fileName);

} // namespace tw
