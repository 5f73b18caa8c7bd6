#include "tests/support/ProgramNumbers.h"

#include <cstddef>

#include "ts/dvb_crc32.h"

namespace tw::test {

namespace {

constexpr std::size_t kPacket = 188;

// The section a packet starts, when it starts and ends in this packet:
// its first byte and its length with the 3 header bytes.
uint8_t* SectionIn(uint8_t* p, int& total)
{
    if (p[0] != 0x47 || !(p[1] & 0x40) || !((p[3] >> 4) & 1))
        return nullptr;
    const int payload = ((p[3] >> 4) & 3) == 3 ? 5 + p[4] : 4;
    if (payload >= static_cast<int>(kPacket))
        return nullptr;
    const int start = payload + 1 + p[payload];
    if (start + 3 > static_cast<int>(kPacket))
        return nullptr;
    uint8_t* s = p + start;
    total = 3 + (((s[1] & 0x0F) << 8) | s[2]);
    // At least the fixed header and the CRC, and all of it in this packet.
    if (total < 12 + 4 || start + total > static_cast<int>(kPacket))
        return nullptr;
    return s;
}

void RedoCrc(uint8_t* s, int total)
{
    const uint32_t crc = Crc32Mpeg(s, 0xFFFFFFFFu, total - 4);
    for (int k = 0; k < 4; ++k)
        s[total - 4 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
}

} // namespace

TProgramNumberEdits RewriteProgramNumber(std::vector<uint8_t>& ts, int pmtPid, int patNumber, int pmtNumber)
{
    TProgramNumberEdits n;
    for (std::size_t i = 0; i + kPacket <= ts.size(); i += kPacket) {
        uint8_t* p = ts.data() + i;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        int total = 0;
        uint8_t* s = pid == 0 || pid == pmtPid ? SectionIn(p, total) : nullptr;
        if (!s)
            continue;
        bool changed = false;
        if (pid == 0 && s[0] == 0x00 && patNumber >= 0) {
            for (int e = 8; e + 4 <= total - 4; e += 4)
                if ((((s[e + 2] & 0x1F) << 8) | s[e + 3]) == pmtPid) {
                    s[e] = static_cast<uint8_t>(patNumber >> 8);
                    s[e + 1] = static_cast<uint8_t>(patNumber);
                    ++n.PatEntries;
                    changed = true;
                }
        } else if (pid == pmtPid && s[0] == 0x02 && pmtNumber >= 0) {
            s[3] = static_cast<uint8_t>(pmtNumber >> 8);
            s[4] = static_cast<uint8_t>(pmtNumber);
            ++n.PmtSections;
            changed = true;
        }
        if (changed)
            RedoCrc(s, total);
    }
    return n;
}

} // namespace tw::test
