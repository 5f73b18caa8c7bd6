// TBufFileStream: a file stream with a read-ahead buffer, through which the
// packet readers open recordings, so that reading packet after packet costs
// one file read per buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/Streams.h"

namespace tw {

class TBufFileStream : public TFileStream {
public:
    // Opens with the file-stream modes (fmOpenRead, fmOpenReadWrite, ...);
    // bufferSize 0 (or below) reads every request from the file directly.
    TBufFileStream(const std::string& fileName, unsigned mode, int bufferSize);

    // Requests inside the buffer are served by a copy; others refill the whole
    // buffer with one file read from the request's position; requests larger
    // than the buffer bypass it.
    int64_t Read(void* buffer, int64_t count) override;
    // Writes go to the file directly and do not update the buffer.
    int64_t Write(const void* buffer, int64_t count) override;
    // Seeks only move a position kept here; the file is positioned when it is
    // really read or written, so reading buffered packets costs no system call.
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;

    // The packet readers' per-packet path, without virtual calls: moves to
    // position (>= 0), and copies count bytes when they lie wholly inside the
    // buffer as Read would serve them; false leaves the rest to Read.
    void SetPositionFast(int64_t position) { pos_ = position; }
    bool ReadBuffered(void* buffer, int count) {
        if (pos_ < bufStart_ || pos_ + count >= bufEnd_ || count > bufferSize_) return false;
        std::memcpy(buffer, buffer_.data() + (pos_ - bufStart_), static_cast<size_t>(count));
        pos_ += count;
        return true;
    }

    int BufferSize() const { return bufferSize_; }
    int64_t BufferStart() const { return bufStart_; }
    int64_t BufferEnd() const { return bufEnd_; }
    // The file's size when it was opened.
    int64_t FileSize() const { return fileSize_; }

private:
    int64_t FileRead(void* buffer, int64_t count);

    std::vector<uint8_t> buffer_;
    int bufferSize_ = 0;
    int64_t bufStart_ = 0;
    int64_t bufEnd_ = 0;
    int64_t fileSize_ = 0;
    int64_t pos_ = 0;      // the stream's position as callers see it
    int64_t osPos_ = 0;    // where the file handle stands
};

} // namespace tw
