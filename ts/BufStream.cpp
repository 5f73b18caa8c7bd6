#include "ts/BufStream.h"

#include <algorithm>
#include <cstring>

#include "base/Exceptions.h"

namespace tw {

TBufFileStream::TBufFileStream(const std::string& fileName, unsigned mode, int bufferSize)
    : TFileStream(fileName, mode), bufferSize_(bufferSize) {
    fileSize_ = TFileStream::Size();
    osPos_ = pos_ = TFileStream::Seek(0, soCurrent);
    if (bufferSize_ > 0) buffer_.resize(static_cast<size_t>(bufferSize_));
}

int64_t TBufFileStream::FileRead(void* buffer, int64_t count) {
    if (osPos_ != pos_) osPos_ = TFileStream::Seek(pos_, soBeginning);
    int64_t got = TFileStream::Read(buffer, count);
    if (got < 0) got = 0;
    osPos_ += got;
    return got;
}

int64_t TBufFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (bufferSize_ < 1 || bufferSize_ < count) {
        int64_t got = FileRead(buffer, count);
        pos_ += got;
        return got;
    }
    if (pos_ >= bufStart_ && pos_ + count < bufEnd_) {
        std::memcpy(buffer, buffer_.data() + (pos_ - bufStart_), static_cast<size_t>(count));
        pos_ += count;
        return count;
    }
    int64_t got = FileRead(buffer_.data(), bufferSize_);
    bufStart_ = pos_;
    bufEnd_ = pos_ + got;
    int64_t n = std::min(count, got);
    if (n > 0) std::memcpy(buffer, buffer_.data(), static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TBufFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (osPos_ != pos_) osPos_ = TFileStream::Seek(pos_, soBeginning);
    int64_t put = TFileStream::Write(buffer, count);
    if (put < 0) put = 0;
    osPos_ += put;
    pos_ += put;
    return put;
}

int64_t TBufFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t np;
    switch (origin) {
    case soBeginning: np = offset; break;
    case soCurrent: np = pos_ + offset; break;
    default: np = TFileStream::Size() + offset; break;
    }
    if (np < 0) throw EStreamError("Seek error in \"" + FileName() + "\"");
    pos_ = np;
    return pos_;
}

int64_t TBufFileStream::Size() { return TFileStream::Size(); }

void TBufFileStream::SetSize(int64_t newSize) {
    TFileStream::SetSize(newSize);
    // Bytes cut off must not be served from the buffer any more.
    bufEnd_ = std::min(bufEnd_, newSize);
    if (bufStart_ > bufEnd_) bufStart_ = bufEnd_;
}

} // namespace tw
