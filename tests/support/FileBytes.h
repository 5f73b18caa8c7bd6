// A whole file as bytes and back, for tests that copy recordings around and
// compare what a tool wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tw::test {

std::vector<uint8_t> ReadAll(const std::string& fileName);
// Creates or empties the file first.
void WriteAll(const std::string& fileName, const std::vector<uint8_t>& data);

} // namespace tw::test
