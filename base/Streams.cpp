#include "base/Streams.h"

#include <algorithm>
#include <cstring>

#include "base/Exceptions.h"
#include "base/Platform.h"

namespace tw {

int64_t TStream::Size() {
    int64_t pos = Seek(0, soCurrent);
    int64_t end = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) {
        const std::string reason = LastErrorText();
        throw EReadError(reason.empty() ? "Stream read error" : "Stream read error: " + reason);
    }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) {
        const std::string reason = LastErrorText();
        throw EWriteError(reason.empty() ? "Stream write error" : "Stream write error: " + reason);
    }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
    int64_t left = count;
    while (left > 0) {
        int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return count;
}

TFileStream::TFileStream(const std::string& fileName, unsigned mode) : fileName_(fileName) {
    std::string err;
    handle_ = platform::OpenFile(fileName, mode, err);
    if (handle_ < 0) {
        if (mode == fmCreate || (mode & 0xFF00) == fmCreate)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + err);
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + err);
    }
}

TFileStream::~TFileStream() {
    if (handle_ >= 0) platform::CloseFile(handle_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    lastError_.clear();
    return platform::ReadFile(handle_, buffer, count, &lastError_);
}

int64_t TFileStream::ReadAt(int64_t position, void* buffer, int64_t count, std::string* error) const {
    if (count <= 0) return 0;
    return platform::ReadFileAt(handle_, position, buffer, count, error);
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    lastError_.clear();
    return platform::WriteFile(handle_, buffer, count, &lastError_);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t r = platform::SeekFile(handle_, offset, static_cast<int>(origin));
    if (r < 0) throw EStreamError("Seek error in \"" + fileName_ + "\"");
    return r;
}

int64_t TFileStream::Size() {
    int64_t r = platform::FileSizeOfHandle(handle_);
    return r < 0 ? TStream::Size() : r;
}

void TFileStream::SetSize(int64_t newSize) {
    if (!platform::TruncateFile(handle_, newSize)) throw EStreamError("Cannot set size of \"" + fileName_ + "\"");
}

void TFileStream::Flush() { platform::FlushFile(handle_); }

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    int64_t avail = static_cast<int64_t>(data_.size()) - pos_;
    int64_t n = std::max<int64_t>(0, std::min(count, avail));
    if (n > 0) std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (pos_ + count > static_cast<int64_t>(data_.size())) data_.resize(static_cast<size_t>(pos_ + count));
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : static_cast<int64_t>(data_.size());
    int64_t np = base + offset;
    if (np < 0) throw EStreamError("Seek before the start of a memory stream");
    pos_ = np;
    return pos_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    data_.resize(static_cast<size_t>(std::max<int64_t>(0, newSize)));
    if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::Reserve(int64_t bytes) {
    if (bytes > static_cast<int64_t>(data_.capacity())) data_.reserve(static_cast<size_t>(bytes));
}

void TMemoryStream::LoadFromStream(TStream& s) {
    s.SetPosition(0);
    int64_t n = s.Size();
    data_.resize(static_cast<size_t>(n));
    s.ReadBuffer(data_.data(), n);
    pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream& s) { s.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size())); }

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream f(fileName, fmCreate);
    SaveToStream(f);
}

} // namespace tw
