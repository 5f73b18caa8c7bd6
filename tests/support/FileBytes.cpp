#include "tests/support/FileBytes.h"

#include "base/Streams.h"

namespace tw::test {

std::vector<uint8_t> ReadAll(const std::string& fileName) {
    TFileStream in(fileName, fmOpenRead);
    std::vector<uint8_t> data(static_cast<size_t>(in.Size()));
    if (!data.empty()) in.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
    return data;
}

void WriteAll(const std::string& fileName, const std::vector<uint8_t>& data) {
    TFileStream out(fileName, fmCreate);
    if (!data.empty()) out.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
}

} // namespace tw::test
