#include "ts/BufStream.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <thread>

#include "base/Exceptions.h"
#include "base/Lock.h"

namespace tw {

namespace {

constexpr int64_t kPage = 4096;
// What one read ahead covers at least: large enough that the hand-over to the
// thread is rare, small enough to stay in the processor's last-level cache
// until it is used.
constexpr int64_t kMinChunk = int64_t(1) << 20;

int64_t RoundUpToPage(int64_t n) { return (n + kPage - 1) / kPage * kPage; }

} // namespace

// One read at a time, on a thread that lives as long as the stream. It takes
// the kernel's copy off the packet code (a 1 GB pass 20% faster natively,
// also on two cores). Its hand-overs use the project's lock and condition
// (base/Lock.h): with the threads library's, the Windows build under Wine
// gained nothing by the thread, since every hand-over went through the Wine
// server and the thread woke on another core than the packet code's. The
// thread touches nothing of the stream but the handle (through ReadAt) and
// the destination it was given; the owner makes no call on the handle while
// a read is requested (it waits for it first: CancelReadAhead).
class TBufFileStream::TReadAhead {
public:
    explicit TReadAhead(const TBufFileStream& file) : file_(file), thread_([this] { Run(); }) {}
    ~TReadAhead() {
        {
            std::lock_guard<TLock> lk(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    TReadAhead(const TReadAhead&) = delete;
    TReadAhead& operator=(const TReadAhead&) = delete;

    void Request(uint8_t* destination, int64_t position, int64_t count) {
        {
            std::lock_guard<TLock> lk(m_);
            destination_ = destination;
            position_ = position;
            count_ = count;
            requested_ = true;
        }
        cv_.notify_all();
    }
    // Waits for the requested read: the bytes got, and the platform's reason
    // when it stopped short of the end of the file.
    int64_t Wait(std::string& error) {
        std::unique_lock<TLock> lk(m_);
        cv_.wait(lk, [this] { return !requested_; });
        error = error_;
        return got_;
    }

private:
    void Run() {
        std::unique_lock<TLock> lk(m_);
        for (;;) {
            cv_.wait(lk, [this] { return stop_ || requested_; });
            if (stop_) return;
            uint8_t* const destination = destination_;
            const int64_t position = position_, count = count_;
            lk.unlock();
            std::string error;
            int64_t got = 0;
            try {
                got = file_.ReadFromFile(position, destination, count, &error);
            } catch (const std::exception& e) {
                // Only the text could fail; the owner then reads itself.
                error = e.what();
            }
            lk.lock();
            got_ = got;
            error_ = std::move(error);
            requested_ = false;
            cv_.notify_all();
        }
    }

    const TBufFileStream& file_;
    TLock m_;
    TCondition cv_;
    bool stop_ = false;
    bool requested_ = false;
    uint8_t* destination_ = nullptr;
    int64_t position_ = 0;
    int64_t count_ = 0;
    int64_t got_ = 0;
    std::string error_;
    std::thread thread_;   // last: starts once everything above is made
};

void TBufFileStream::TFreeAligned::operator()(uint8_t* p) const {
    ::operator delete(p, std::align_val_t(kPage));
}

TBufFileStream::TMemory TBufFileStream::Allocate(int64_t bytes) {
    const size_t rounded = static_cast<size_t>(RoundUpToPage(std::max<int64_t>(bytes, 1)));
    return TMemory(static_cast<uint8_t*>(::operator new(rounded, std::align_val_t(kPage))));
}

TBufFileStream::TBufFileStream(const std::string& fileName, unsigned mode, int bufferSize)
    : TFileStream(fileName, mode), bufferSize_(bufferSize) {
    fileSize_ = TFileStream::Size();
    osPos_ = pos_ = TFileStream::Seek(0, soCurrent);
    if (bufferSize_ < 1) return;
    // Only a stream that is not written reads ahead: no write of its own
    // then has to wait for the thread or could leave a chunk stale. A stream
    // that is written keeps the plain buffer, refilled on every miss.
    readAhead_ = (mode & 0xFF00) != fmCreate && (mode & 3) == fmOpenRead;
    if (readAhead_) {
        headroom_ = RoundUpToPage(bufferSize_);
        chunkSize_ = RoundUpToPage(std::max<int64_t>(int64_t(2) * bufferSize_, kMinChunk));
    } else {
        chunkSize_ = bufferSize_;
    }
    memory_[0] = Allocate(headroom_ + chunkSize_);
    cur_.Memory = memory_[0].get();
    window_ = cur_.Memory + headroom_;
}

TBufFileStream::~TBufFileStream() {
    // The thread may still be reading into the chunks: it ends first.
    FinishReading();
}

void TBufFileStream::FinishReading() {
    CancelReadAhead();
    ahead_.reset();
}

void TBufFileStream::SetWindow(const TChunk& chunk, int64_t position, int64_t length) {
    window_ = chunk.Memory + headroom_ + (position - chunk.Start);
    bufStart_ = position;
    bufEnd_ = position + std::max<int64_t>(0, length);
}

void TBufFileStream::StartReadAhead() {
    if (!ahead_) {
        try {
            if (!memory_[1]) memory_[1] = Allocate(headroom_ + chunkSize_);
            ahead_ = std::make_unique<TReadAhead>(*this);
        } catch (const std::exception&) {
            // No thread or no memory for it: the stream reads as it did
            // without read-ahead.
            readAhead_ = false;
            return;
        }
    }
    next_.Memory = cur_.Memory == memory_[0].get() ? memory_[1].get() : memory_[0].get();
    next_.Start = next_.Low = cur_.End();
    next_.Got = 0;
    next_.AtEof = false;
    ahead_->Request(next_.Memory + headroom_, next_.Start, chunkSize_);
    aheadPending_ = true;
}

void TBufFileStream::CancelReadAhead() {
    if (!aheadPending_) return;
    std::string ignored;
    ahead_->Wait(ignored);
    aheadPending_ = false;
}

void TBufFileStream::Refill(int64_t position) {
    const int64_t size = bufferSize_;
    // Reading on forward: from inside the window or right at its end.
    const bool forward = position >= bufStart_ && position <= bufEnd_;
    if (readAhead_ && position >= cur_.Low) {
        // The chunk already holds a whole buffer from there, or all there is
        // up to the end of the file.
        if (position + size <= cur_.End() || (cur_.AtEof && position < cur_.End())) {
            SetWindow(cur_, position, std::min(size, cur_.End() - position));
            return;
        }
        // The chunk read ahead goes on where this one ends.
        const int64_t tail = cur_.End() - position;
        if (forward && aheadPending_ && next_.Start == cur_.End() && tail <= headroom_) {
            std::string error;
            const int64_t got = ahead_->Wait(error);
            aheadPending_ = false;
            // A failed read ahead is forgotten: the read below meets the
            // fault again and keeps its reason for the caller.
            if (error.empty()) {
                next_.Got = got;
                next_.AtEof = got < chunkSize_;
                std::memcpy(next_.Memory + headroom_ - tail, cur_.Memory + headroom_ + (position - cur_.Start),
                            static_cast<size_t>(tail));
                next_.Low = position;
                std::swap(cur_, next_);
                SetWindow(cur_, position, std::min(size, cur_.End() - position));
                SetLastErrorText({});
                if (!cur_.AtEof) StartReadAhead();
                return;
            }
        }
    }
    CancelReadAhead();
    // A step back over the start of the window: the caller scans backwards
    // (the readers look for the last time stamps so, packet by packet from
    // the end), and would otherwise read a whole buffer from the file for
    // every packet. The chunk is filled backwards from the new window's end.
    if (readAhead_ && position < bufStart_ && position + size > bufStart_) {
        const int64_t end = position + size;
        const int64_t start = std::max<int64_t>(0, end - chunkSize_);
        std::string error;
        const int64_t got = ReadFromFile(start, cur_.Memory + headroom_, end - start, &error);
        osPos_ = -1;
        cur_.Start = cur_.Low = start;
        cur_.Got = got;
        cur_.AtEof = got < end - start && error.empty();
        // A failure is left to the plain read below, which keeps its reason.
        if (error.empty() && cur_.End() > position) {
            SetLastErrorText({});
            SetWindow(cur_, position, std::min(size, cur_.End() - position));
            return;
        }
    }
    // Reading that goes on forward reads whole chunks, and from the third
    // buffer on, the next chunk on the thread: a short look into a file (the
    // scans at the start) costs no more than before, nor a thread, which
    // under Wine takes longer to start than such a scan to run.
    forwardRefills_ = readAhead_ && forward ? forwardRefills_ + 1 : 0;
    const int64_t want = forwardRefills_ >= 2 ? chunkSize_ : size;
    std::string error;
    const int64_t got = ReadFromFile(position, cur_.Memory + headroom_, want, &error);
    osPos_ = -1;
    SetLastErrorText(error);
    cur_.Start = cur_.Low = position;
    cur_.Got = got;
    cur_.AtEof = got < want && error.empty();
    SetWindow(cur_, position, std::min(size, got));
    if (forwardRefills_ >= 3 && !cur_.AtEof && error.empty()) StartReadAhead();
}

int64_t TBufFileStream::Read(void* buffer, int64_t count) {
    if (count <= 0) return 0;
    if (bufferSize_ < 1 || bufferSize_ < count) {
        // One read on the handle at a time (see ReadAt).
        CancelReadAhead();
        std::string error;
        int64_t got = ReadFromFile(pos_, buffer, count, &error);
        osPos_ = -1;
        SetLastErrorText(error);
        if (got < 0) got = 0;
        pos_ += got;
        return got;
    }
    if (pos_ >= bufStart_ && pos_ + count < bufEnd_) {
        std::memcpy(buffer, window_ + (pos_ - bufStart_), static_cast<size_t>(count));
        pos_ += count;
        return count;
    }
    Refill(pos_);
    const int64_t n = std::min(count, bufEnd_ - bufStart_);
    if (n > 0) std::memcpy(buffer, window_, static_cast<size_t>(n));
    pos_ += std::max<int64_t>(0, n);
    return std::max<int64_t>(0, n);
}

int64_t TBufFileStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    CancelReadAhead();
    if (osPos_ != pos_) osPos_ = TFileStream::Seek(pos_, soBeginning);
    int64_t put = TFileStream::Write(buffer, count);
    if (put < 0) put = 0;
    // Bytes already read into memory take the new values: a later read of
    // them must not serve the old ones, and a caller that reads, patches and
    // writes again would otherwise write the old bytes back over the patch.
    if (cur_.Memory != nullptr && put > 0) {
        const int64_t from = std::max(pos_, cur_.Low);
        const int64_t to = std::min(pos_ + put, cur_.End());
        if (from < to)
            std::memcpy(cur_.Memory + headroom_ + (from - cur_.Start), static_cast<const uint8_t*>(buffer) + (from - pos_),
                        static_cast<size_t>(to - from));
    }
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
    CancelReadAhead();
    TFileStream::SetSize(newSize);
    osPos_ = -1;
    // Bytes cut off must not be served from the buffer any more, nor from
    // what was read beyond it.
    bufEnd_ = std::min(bufEnd_, newSize);
    if (bufStart_ > bufEnd_) bufStart_ = bufEnd_;
    cur_.Got = std::max<int64_t>(0, std::min(cur_.Got, newSize - cur_.Start));
    cur_.AtEof = false;
}

} // namespace tw
