// Byte streams with 64-bit positions: the file stream (by UTF-8 name, Unicode
// names on Windows) and a memory stream. ReadBuffer/WriteBuffer raise when the
// full count cannot be moved; Read/Write return what they moved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Object.h"

namespace tw {

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
public:
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

    void ReadBuffer(void* buffer, int64_t count);   // EReadError when short
    void WriteBuffer(const void* buffer, int64_t count); // EWriteError when short
    // The platform's reason why the last Read or Write stopped short; empty
    // when it did not, or at the end of the data.
    virtual std::string LastErrorText() const { return {}; }
    // Copies count bytes from source (0: all from its start); returns count.
    int64_t CopyFrom(TStream& source, int64_t count);
};

// Open modes. fmCreate creates or truncates; the others open an existing file.
enum TFileMode : unsigned {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmCreate = 0xFF00,
    // Share flags (honoured on Windows, ignored on POSIX).
    fmShareDenyWrite = 0x0020,
    fmShareDenyNone = 0x0040,
};

class TFileStream : public TStream {
public:
    // Raises EFOpenError / EFCreateError with the file name in the message.
    TFileStream(const std::string& fileName, unsigned mode);
    ~TFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;
    // Pushes written data to the disk cache (no-op when nothing pending).
    void Flush();
    // Reads at a file position. It changes nothing in the stream object, so a
    // second thread may make the read while the owner makes no other call
    // on the handle; the reason of a short read goes to error. The handle's
    // position afterwards is unspecified: Read or Write seek first.
    int64_t ReadAt(int64_t position, void* buffer, int64_t count, std::string* error) const;

    const std::string& FileName() const { return fileName_; }
    std::string LastErrorText() const override { return lastError_; }

protected:
    // For reads that went past Read (ReadAt), so that ReadBuffer's message
    // still carries the platform's reason.
    void SetLastErrorText(const std::string& text) { lastError_ = text; }

private:
    std::string fileName_;
    intptr_t handle_ = -1;
    std::string lastError_;
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    // Room for that many bytes without moving the data again; the size stays.
    void Reserve(int64_t bytes);

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    void Clear() { data_.clear(); pos_ = 0; }
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    void LoadFromStream(TStream& s);
    void SaveToStream(TStream& s);

private:
    std::vector<uint8_t> data_;
    int64_t pos_ = 0;
};

} // namespace tw
