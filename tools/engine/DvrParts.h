// Receiver recordings stored as a folder of numbered part files (000.dvr,
// 001.dvr, ...) with an index file "info.dvr" holding the title.
#pragma once

#include <string>

namespace tw {

constexpr int kMaxDvrParts = 1000;
constexpr int kDvrInfoSize = 32768;

// "000.dvr" for 0, "042.dvr" for 42, "999.dvr" for 999.
std::string DvrPartFileName(int index);
// Parts present from 000.dvr on, stopping at the first gap (0..1000). The
// folder ends with a path delimiter.
int CountDvrParts(const std::string& folder);
// The title of an "info.dvr" (any case) of exactly 32,768 bytes beside at
// least one part; empty otherwise. The title is 16 big-endian two-byte
// characters of which the low byte counts, ending at a zero low byte; each
// byte is taken as a Latin-1 character and returned as UTF-8.
std::string ReadDvrInfoTitle(const std::string& path);
// The merged recording's name: folder + title + ".ts", the title made a
// name one file in that folder can have (see DvrParts.cpp).
std::string DvrRecordingDestination(const std::string& infoPath, const std::string& title);

} // namespace tw
