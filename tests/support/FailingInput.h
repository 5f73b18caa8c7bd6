// A recording whose medium gives out part-way: every read from a given byte
// on brings nothing more, with the platform's reason (a failing disk or
// network share) or without one (a file that another program cut short).
// Handed to a packet reader through its input hook.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "ts/BufStream.h"
#include "ts/TSPacketReader.h"

namespace tw::test {

class FailingInputStream : public TBufFileStream {
public:
    FailingInputStream(const std::string& name, unsigned mode, int bufferSize, int64_t failAt, std::string reason)
        : TBufFileStream(name, mode, bufferSize), failAt_(failAt), reason_(std::move(reason)) {}
    ~FailingInputStream() override { FinishReading(); }

protected:
    int64_t ReadFromFile(int64_t position, void* buffer, int64_t count, std::string* error) const override {
        if (position + count <= failAt_) return TBufFileStream::ReadFromFile(position, buffer, count, error);
        const int64_t part = std::max<int64_t>(0, failAt_ - position);
        const int64_t got = part > 0 ? TBufFileStream::ReadFromFile(position, buffer, part, error) : 0;
        if (error) *error = reason_;
        return got;
    }

private:
    int64_t failAt_;
    std::string reason_;
};

// Makes the reader open its recordings so that they fail at byte failAt.
inline void FailInputAt(TTSPacketReader& reader, int64_t failAt, const std::string& reason) {
    reader.CreateInputStream = [failAt, reason](const std::string& name, unsigned mode, int bufferSize) {
        return std::unique_ptr<TBufFileStream>(
            std::make_unique<FailingInputStream>(name, mode, bufferSize, failAt, reason));
    };
}

} // namespace tw::test
