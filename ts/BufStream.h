// TBufFileStream: a file stream with a read-ahead buffer, through which the
// packet readers open recordings, so that reading packet after packet costs
// one file read per buffer.
//
// A stream opened read-only reads large chunks while it is read forward, and
// reads the next one on a thread of its own while the caller works on the
// current one, so the copy out of the page cache runs beside the
// packet code and a whole chunk costs one hand-over. The buffer window the
// callers see (BufferStart, BufferEnd, what Read serves from memory) is the
// same as without it; the window simply lies in the chunk, and a window the
// chunk holds whole is served from it. A jump out of the chunk reads from the
// file at once as before and starts no read-ahead until the reading goes on
// forward from there; a scan backwards packet by packet fills the chunk
// backwards, so that it does not read a whole buffer for every packet.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/Streams.h"

namespace tw {

class TBufFileStream : public TFileStream {
public:
    // Opens with the file-stream modes (fmOpenRead, fmOpenReadWrite, ...);
    // bufferSize 0 (or below) reads every request from the file directly.
    TBufFileStream(const std::string& fileName, unsigned mode, int bufferSize);
    ~TBufFileStream() override;

    // Requests inside the buffer are served by a copy; others refill the whole
    // buffer with one file read from the request's position; requests larger
    // than the buffer bypass it.
    int64_t Read(void* buffer, int64_t count) override;
    // Writes go to the file directly; bytes of them already in memory are
    // updated there too.
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
        std::memcpy(buffer, window_ + (pos_ - bufStart_), static_cast<size_t>(count));
        pos_ += count;
        return true;
    }

    // The byte at `position` when the buffer holds it, without moving.
    bool PeekBuffered(int64_t position, uint8_t& byte) const {
        if (position < bufStart_ || position >= bufEnd_) return false;
        byte = window_[position - bufStart_];
        return true;
    }

    int BufferSize() const { return bufferSize_; }
    int64_t BufferStart() const { return bufStart_; }
    int64_t BufferEnd() const { return bufEnd_; }
    // The file's size when it was opened.
    int64_t FileSize() const { return fileSize_; }
    // Whether forward reading reads whole chunks ahead (read-only streams
    // with a buffer); the bytes read ahead in one go.
    bool ReadsAhead() const { return readAhead_; }
    int64_t ChunkSize() const { return chunkSize_; }

protected:
    // Every read of the file goes through here (the read-ahead thread's
    // too), so that a stream whose medium fails or whose file shrinks
    // under the reader can be made in a test. A derived stream must call
    // FinishReading first in its destructor: the thread may be in a read.
    virtual int64_t ReadFromFile(int64_t position, void* buffer, int64_t count, std::string* error) const {
        return ReadAt(position, buffer, count, error);
    }
    void FinishReading();

private:
    class TReadAhead;
    // A page-aligned block of memory: headroom_ bytes, then up to chunkSize_
    // bytes of the file from Start on. The kernel copies into page-aligned
    // memory several times faster than into a heap block 16 bytes past a
    // page. A window that runs from one chunk into the next gets the few
    // bytes left of the old chunk copied into the headroom before the new
    // chunk's data, so every window lies in one piece of memory.
    struct TChunk {
        uint8_t* Memory = nullptr;
        int64_t Start = 0;   // file position of Memory[headroom_]
        int64_t Got = 0;     // bytes of the file from Start on
        int64_t Low = 0;     // first file position held (Start less the copied tail)
        bool AtEof = false;  // the read stopped at the end of the file
        int64_t End() const { return Start + Got; }
    };
    struct TFreeAligned {
        void operator()(uint8_t* p) const;
    };
    using TMemory = std::unique_ptr<uint8_t, TFreeAligned>;
    static TMemory Allocate(int64_t bytes);

    void Refill(int64_t position);
    void SetWindow(const TChunk& chunk, int64_t position, int64_t length);
    void StartReadAhead();
    // Waits for a chunk still being read ahead and forgets it.
    void CancelReadAhead();

    TMemory memory_[2];
    TChunk cur_, next_;
    uint8_t* window_ = nullptr;   // the memory of bufStart_
    int bufferSize_ = 0;
    int64_t headroom_ = 0;
    int64_t chunkSize_ = 0;
    bool readAhead_ = false;
    bool aheadPending_ = false;
    int forwardRefills_ = 0;     // refills from the file in a row, each going on forward
    int64_t bufStart_ = 0;
    int64_t bufEnd_ = 0;
    int64_t fileSize_ = 0;
    int64_t pos_ = 0;      // the stream's position as callers see it
    int64_t osPos_ = 0;    // where the file handle stands (-1: not known)
    std::unique_ptr<TReadAhead> ahead_;
};

} // namespace tw
