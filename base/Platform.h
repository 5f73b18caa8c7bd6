// The few platform services portable code needs, with one POSIX and one
// Windows implementation. Internal to base/.
#pragma once

#include <cstdint>
#include <string>

namespace tw::platform {

intptr_t OpenFile(const std::string& utf8Name, unsigned mode, std::string& error); // -1 on failure
void CloseFile(intptr_t h);
// Both move what they can; when they stop short, `error` (when given) gets
// the platform's reason.
int64_t ReadFile(intptr_t h, void* buf, int64_t count, std::string* error = nullptr);
int64_t WriteFile(intptr_t h, const void* buf, int64_t count, std::string* error = nullptr);
// Reads at a file position. The handle's position afterwards is unspecified
// (POSIX reads without moving it, Windows seeks and reads), so two threads
// must not read one handle at once.
int64_t ReadFileAt(intptr_t h, int64_t position, void* buf, int64_t count, std::string* error = nullptr);
int64_t SeekFile(intptr_t h, int64_t offset, int origin); // -1 on failure
int64_t FileSizeOfHandle(intptr_t h);
bool TruncateFile(intptr_t h, int64_t size);
void FlushFile(intptr_t h);

bool FileExists(const std::string& utf8Name);
bool DirectoryExists(const std::string& utf8Name);
bool RemoveFile(const std::string& utf8Name);
bool MakeDirectory(const std::string& utf8Name);
int64_t FileSize(const std::string& utf8Name);
// Size and last write time of a file (not a folder); false when it cannot be
// looked at. The time is in the platform's units (nanoseconds on POSIX,
// 100 ns on Windows), good for comparing only.
bool FileStamp(const std::string& utf8Name, int64_t& size, int64_t& writeTime);
uint64_t TickMs();
void SetThreadPriority(int p);

} // namespace tw::platform
