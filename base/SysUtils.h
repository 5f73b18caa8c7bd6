// Number and text conversion and file-name helpers.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

// Decimal, "$" hex or "0x" hex, optional sign, surrounding blanks ignored.
bool TryStrToInt64(const std::string& s, int64_t& value);
bool TryStrToInt(const std::string& s, int& value);
int64_t StrToInt64(const std::string& s); // EConvertError when not a number
int StrToInt(const std::string& s);
int64_t StrToInt64Def(const std::string& s, int64_t def);
int StrToIntDef(const std::string& s, int def);
bool TryStrToFloat(const std::string& s, double& value);

std::string IntToStr(int64_t v);
// Upper-case hex digits, at least `digits` wide; negatives print in two's
// complement of 64 bits (-1 -> sixteen F).
std::string IntToHex(int64_t v, int digits);
std::string Trim(const std::string& s);
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
// Appends a byte of ISO 8859-1 text (receiver titles, table descriptors) as
// UTF-8, the program's own encoding: bytes from 0x80 on take two bytes.
void AppendLatin1(std::string& s, uint8_t c);
bool SameText(const std::string& a, const std::string& b);
// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Rounds halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int64_t Round(double v);

// File names: both '\\' and '/' separate folders.
std::string ChangeFileExt(const std::string& fileName, const std::string& ext);
std::string ExtractFileName(const std::string& fileName);
std::string ExtractFilePath(const std::string& fileName); // with trailing separator
std::string ExtractFileDir(const std::string& fileName);  // without
std::string ExtractFileExt(const std::string& fileName);  // with the dot
std::string IncludeTrailingPathDelimiter(const std::string& path);
bool FileExists(const std::string& fileName);
bool DirectoryExists(const std::string& dir);
bool RemoveFile(const std::string& fileName); // delete a file (not named DeleteFile: a Win32 macro)
// True when both names lead to the same file (also through a different
// spelling or case); for names that do not exist yet, the absolute names
// are compared case-insensitively, as Windows file names are.
bool SameFilePath(const std::string& a, const std::string& b);
bool ForceDirectories(const std::string& dir);
int64_t FileSizeOf(const std::string& fileName); // -1 when missing
// What tells one state of a file from another without reading it: its size
// and the time of its last write (in the platform's own units, only ever
// compared). A file that cannot be looked at has size -1.
struct TFileStamp {
    int64_t Size = -1;
    int64_t WriteTime = 0;
    bool Valid() const { return Size >= 0; }
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp FileStampOf(const std::string& fileName);
char PathDelim();

// Milliseconds from a monotonic clock.
uint64_t GetTickCount64Ms();

} // namespace tw
