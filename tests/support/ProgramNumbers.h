// Rewrites the program number a recording's tables give one program, as a
// broken muxer writes them (0, which in a PAT names the network PID), with
// the CRCs made right again so that only the number is wrong.
#pragma once

#include <cstdint>
#include <vector>

namespace tw::test {

struct TProgramNumberEdits {
    int PatEntries = 0;  // PAT entries naming the PMT PID that were changed
    int PmtSections = 0; // PMT sections on the PMT PID that were changed
};

// In a recording of 188-byte packets: every PAT entry that names pmtPid gets
// patNumber, every PMT section on pmtPid gets pmtNumber (-1 leaves that
// table alone). Only sections that start and end in one packet are changed.
TProgramNumberEdits RewriteProgramNumber(std::vector<uint8_t>& ts, int pmtPid, int patNumber, int pmtNumber);

} // namespace tw::test
