#ifdef _WIN32
#include "base/Platform.h"

#include <windows.h>

#include "base/Streams.h"
#include "base/WinText.h"

namespace tw::platform {

static std::string LastErrorText() {
    DWORD code = GetLastError();
    wchar_t* msg = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                   0, reinterpret_cast<wchar_t*>(&msg), 0, nullptr);
    std::string s = msg ? WideToUtf8(msg) : ("Error " + std::to_string(code));
    if (msg) LocalFree(msg);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// A file that is replaced is deleted and made new, not truncated: Wine
// implements CREATE_ALWAYS on an existing file as an open plus a truncation
// to zero, and ext4 then writes the whole new content out on the last
// CloseHandle (about 0.4 s per GB the user waits after a pass). Where the old
// file cannot be deleted, CREATE_ALWAYS decides and its error is the reason.
static HANDLE CreateReplacing(const std::wstring& name, DWORD access, DWORD share) {
    HANDLE h = CreateFileW(name.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return h;
    if (DeleteFileW(name.c_str())) {
        h = CreateFileW(name.c_str(), access, share, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
    }
    return CreateFileW(name.c_str(), access, share, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

intptr_t OpenFile(const std::string& name, unsigned mode, std::string& error) {
    const std::wstring wide = Utf8ToWide(name);
    HANDLE h;
    if (mode == fmCreate || (mode & 0xFF00) == fmCreate) {
        h = CreateReplacing(wide, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ);
    } else {
        DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        const DWORD access = (mode & 3) == fmOpenWrite       ? GENERIC_WRITE
                             : (mode & 3) == fmOpenReadWrite ? (GENERIC_READ | GENERIC_WRITE)
                                                             : GENERIC_READ;
        if (mode & fmShareDenyWrite) share = FILE_SHARE_READ;
        h = CreateFileW(wide.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        error = LastErrorText();
        return -1;
    }
    return reinterpret_cast<intptr_t>(h);
}

void CloseFile(intptr_t h) { CloseHandle(reinterpret_cast<HANDLE>(h)); }

int64_t ReadFile(intptr_t h, void* buf, int64_t count, std::string* error) {
    int64_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30)), got = 0;
        if (!::ReadFile(reinterpret_cast<HANDLE>(h), static_cast<char*>(buf) + done, chunk, &got, nullptr)) {
            if (error) *error = LastErrorText();
            break;
        }
        if (got == 0) break;   // the end of the file: no error
        done += got;
    }
    return done;
}

// A seek and a plain read: Wine serves a read with a position in an
// OVERLAPPED record far more slowly (measured: about 0.1 ms more per call)
// than a seek plus a read, which it does without a round trip to its server.
int64_t ReadFileAt(intptr_t h, int64_t position, void* buf, int64_t count, std::string* error) {
    if (SeekFile(h, position, 0) < 0) {
        if (error) *error = LastErrorText();
        return 0;
    }
    return ReadFile(h, buf, count, error);
}

int64_t WriteFile(intptr_t h, const void* buf, int64_t count, std::string* error) {
    int64_t done = 0;
    while (done < count) {
        DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count - done, 1 << 30)), put = 0;
        if (!::WriteFile(reinterpret_cast<HANDLE>(h), static_cast<const char*>(buf) + done, chunk, &put, nullptr)) {
            if (error) *error = LastErrorText();
            break;
        }
        if (put == 0) {
            if (error) *error = "nothing was written";
            break;
        }
        done += put;
    }
    return done;
}

int64_t SeekFile(intptr_t h, int64_t offset, int origin) {
    LARGE_INTEGER li, out;
    li.QuadPart = offset;
    DWORD method = origin == 0 ? FILE_BEGIN : origin == 1 ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(h), li, &out, method)) return -1;
    return out.QuadPart;
}

int64_t FileSizeOfHandle(intptr_t h) {
    LARGE_INTEGER li;
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(h), &li)) return -1;
    return li.QuadPart;
}

bool TruncateFile(intptr_t h, int64_t size) {
    int64_t pos = SeekFile(h, 0, 1);
    if (SeekFile(h, size, 0) < 0) return false;
    bool ok = SetEndOfFile(reinterpret_cast<HANDLE>(h)) != 0;
    SeekFile(h, pos < size ? pos : size, 0);
    return ok;
}

void FlushFile(intptr_t h) { FlushFileBuffers(reinterpret_cast<HANDLE>(h)); }

bool FileExists(const std::string& name) {
    DWORD a = GetFileAttributesW(Utf8ToWide(name).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
bool DirectoryExists(const std::string& name) {
    DWORD a = GetFileAttributesW(Utf8ToWide(name).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
bool RemoveFile(const std::string& name) { return DeleteFileW(Utf8ToWide(name).c_str()) != 0; }
bool MakeDirectory(const std::string& name) {
    return CreateDirectoryW(Utf8ToWide(name).c_str(), nullptr) != 0 || GetLastError() == ERROR_ALREADY_EXISTS;
}
int64_t FileSize(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(Utf8ToWide(name).c_str(), GetFileExInfoStandard, &d)) return -1;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}
bool FileStamp(const std::string& name, int64_t& size, int64_t& writeTime) {
    const std::wstring wide = Utf8ToWide(name);
    // Asked through a handle: the folder's entry of a file that another
    // program is still writing can lag behind its size and time. Reading the
    // attributes only conflicts with no other program's sharing.
    const HANDLE h = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD attributes = 0, sizeHigh = 0, sizeLow = 0;
    FILETIME written{};
    if (h != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        if (!ok) return false;
        attributes = info.dwFileAttributes;
        sizeHigh = info.nFileSizeHigh;
        sizeLow = info.nFileSizeLow;
        written = info.ftLastWriteTime;
    } else {
        WIN32_FILE_ATTRIBUTE_DATA d;
        if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &d)) return false;
        attributes = d.dwFileAttributes;
        sizeHigh = d.nFileSizeHigh;
        sizeLow = d.nFileSizeLow;
        written = d.ftLastWriteTime;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<int64_t>(sizeHigh) << 32) | sizeLow;
    writeTime = static_cast<int64_t>((static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime);
    return true;
}
uint64_t TickMs() { return GetTickCount64(); }
void SetThreadPriority(int p) {
    static const int map[] = {THREAD_PRIORITY_IDLE, THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                              THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_TIME_CRITICAL};
    if (p >= 0 && p < 7) ::SetThreadPriority(GetCurrentThread(), map[p]);
}

} // namespace tw::platform
#endif
