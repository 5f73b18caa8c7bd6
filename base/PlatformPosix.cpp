#ifndef _WIN32
#include "base/Platform.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Streams.h"

namespace tw::platform {

// A regular file that is replaced is unlinked and made new, not truncated:
// ext4 writes out the whole new content on close of a file truncated to zero
// (its protection for programs that rewrite a file in place), so the caller
// would wait for the disk. Anything else (a device, a pipe, a file that
// cannot be unlinked) is opened and truncated as before, and that open's
// error is the reason.
static int CreateReplacing(const char* name) {
    constexpr int kFlags = O_RDWR | O_CREAT | O_CLOEXEC;
    int fd = ::open(name, kFlags | O_EXCL, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
    struct stat st {};
    if (::lstat(name, &st) == 0 && S_ISREG(st.st_mode) && ::unlink(name) == 0) {
        fd = ::open(name, kFlags | O_EXCL, 0644);
        if (fd >= 0) return fd;
    }
    return ::open(name, kFlags | O_TRUNC, 0644);
}

intptr_t OpenFile(const std::string& name, unsigned mode, std::string& error) {
    int fd;
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        fd = CreateReplacing(name.c_str());
    } else {
        int flags;
        if ((mode & 3) == fmOpenWrite) flags = O_WRONLY;
        else if ((mode & 3) == fmOpenReadWrite) flags = O_RDWR;
        else flags = O_RDONLY;
        fd = ::open(name.c_str(), flags | O_CLOEXEC, 0644);
    }
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        error = "Is a directory";
        return -1;
    }
    return fd;
}

void CloseFile(intptr_t h) { ::close(static_cast<int>(h)); }

int64_t ReadFile(intptr_t h, void* buf, int64_t count, std::string* error) {
    int64_t done = 0;
    while (done < count) {
        ssize_t r = ::read(static_cast<int>(h), static_cast<char*>(buf) + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && error) *error = std::strerror(errno);
        if (r <= 0) break;   // 0: the end of the file, no error
        done += r;
    }
    return done;
}

int64_t ReadFileAt(intptr_t h, int64_t position, void* buf, int64_t count, std::string* error) {
    int64_t done = 0;
    while (done < count) {
        ssize_t r = ::pread(static_cast<int>(h), static_cast<char*>(buf) + done, static_cast<size_t>(count - done),
                            static_cast<off_t>(position + done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && error) *error = std::strerror(errno);
        if (r <= 0) break;   // 0: the end of the file, no error
        done += r;
    }
    return done;
}

int64_t WriteFile(intptr_t h, const void* buf, int64_t count, std::string* error) {
    int64_t done = 0;
    while (done < count) {
        ssize_t r = ::write(static_cast<int>(h), static_cast<const char*>(buf) + done, static_cast<size_t>(count - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (error) *error = r < 0 ? std::strerror(errno) : "nothing was written";
            break;
        }
        done += r;
    }
    return done;
}

int64_t SeekFile(intptr_t h, int64_t offset, int origin) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t FileSizeOfHandle(intptr_t h) {
    struct stat st {};
    if (::fstat(static_cast<int>(h), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool TruncateFile(intptr_t h, int64_t size) { return ::ftruncate(static_cast<int>(h), static_cast<off_t>(size)) == 0; }
void FlushFile(intptr_t) {}

bool FileExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
bool DirectoryExists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool RemoveFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }
bool MakeDirectory(const std::string& name) { return ::mkdir(name.c_str(), 0755) == 0 || errno == EEXIST; }
int64_t FileSize(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}
bool FileStamp(const std::string& name, int64_t& size, int64_t& writeTime) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    size = static_cast<int64_t>(st.st_size);
    writeTime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}
uint64_t TickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
void SetThreadPriority(int) {}

} // namespace tw::platform
#endif
