#include "base/SysUtils.h"

#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/Exceptions.h"
#include "base/Platform.h"
#include "base/Rounding.h"

namespace tw {

bool TryStrToInt64(const std::string& str, int64_t& value) {
    std::string s = Trim(str);
    size_t i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    uint64_t acc = 0;
    for (; i < s.size(); ++i) {
        int d;
        char c = s[i];
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        uint64_t next = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (base == 10 && (acc > (UINT64_MAX - static_cast<uint64_t>(d)) / 10)) return false;
        if (base == 16 && (acc >> 60) != 0) return false;
        acc = next;
    }
    if (base == 10) {
        if (!neg && acc > static_cast<uint64_t>(INT64_MAX)) return false;
        if (neg && acc > static_cast<uint64_t>(INT64_MAX) + 1) return false;
    }
    // Hex literals may state the full 64-bit pattern ($FFFFFFFFFFFFFFFF = -1).
    value = neg ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
    return true;
}

bool TryStrToInt(const std::string& s, int& value) {
    int64_t v;
    if (!TryStrToInt64(s, v)) return false;
    std::string t = Trim(s);
    bool hex = t.find('$') != std::string::npos || t.find("0x") != std::string::npos || t.find("0X") != std::string::npos;
    if (hex && v >= 0 && v <= 0xFFFFFFFFLL) v = static_cast<int32_t>(static_cast<uint32_t>(v));
    if (v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

int64_t StrToInt64(const std::string& s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int StrToInt(const std::string& s) {
    int v;
    if (!TryStrToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int64_t StrToInt64Def(const std::string& s, int64_t def) {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

int StrToIntDef(const std::string& s, int def) {
    int v;
    return TryStrToInt(s, v) ? v : def;
}

bool TryStrToFloat(const std::string& str, double& value) {
    std::string s = Trim(str);
    if (s.empty()) return false;
    for (char& c : s)
        if (c == ',') c = '.';
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(v)) return false;
    value = v;
    return true;
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string IntToHex(int64_t v, int digits) {
    static const char* hex = "0123456789ABCDEF";
    uint64_t u = static_cast<uint64_t>(v);
    char buf[17];
    int n = 0;
    do {
        buf[n++] = hex[u & 15];
        u >>= 4;
    } while (u != 0);
    std::string s;
    for (int i = n; i < digits; ++i) s += '0';
    while (n > 0) s += buf[--n];
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string UpperCase(const std::string& s) {
    std::string r = s;
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

void AppendLatin1(std::string& s, uint8_t c) {
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string LowerCase(const std::string& s) {
    std::string r = s;
    for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool SameText(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, ap2);
    va_end(ap2);
    return s;
}

int64_t Round(double v) { return RoundHalfEven(v); }

static bool IsDelim(char c) { return c == '\\' || c == '/'; }

static size_t LastDelim(const std::string& f) {
    for (size_t i = f.size(); i > 0; --i)
        if (IsDelim(f[i - 1]) || f[i - 1] == ':') return i - 1;
    return std::string::npos;
}

std::string ExtractFileExt(const std::string& f) {
    size_t d = LastDelim(f);
    size_t dot = f.rfind('.');
    if (dot == std::string::npos || (d != std::string::npos && dot < d)) return "";
    return f.substr(dot);
}

std::string ChangeFileExt(const std::string& f, const std::string& ext) {
    size_t d = LastDelim(f);
    size_t dot = f.rfind('.');
    if (dot == std::string::npos || (d != std::string::npos && dot < d)) return f + ext;
    return f.substr(0, dot) + ext;
}

std::string ExtractFileName(const std::string& f) {
    size_t d = LastDelim(f);
    return d == std::string::npos ? f : f.substr(d + 1);
}

std::string ExtractFilePath(const std::string& f) {
    size_t d = LastDelim(f);
    return d == std::string::npos ? std::string() : f.substr(0, d + 1);
}

std::string ExtractFileDir(const std::string& f) {
    size_t d = LastDelim(f);
    if (d == std::string::npos) return std::string();
    if (d == 0 || f[d] == ':' || (d > 0 && f[d - 1] == ':')) return f.substr(0, d + 1);
    return f.substr(0, d);
}

char PathDelim() {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

std::string IncludeTrailingPathDelimiter(const std::string& p) {
    if (!p.empty() && IsDelim(p.back())) return p;
    return p + PathDelim();
}

bool FileExists(const std::string& f) { return platform::FileExists(f); }
bool DirectoryExists(const std::string& d) { return platform::DirectoryExists(d); }
bool RemoveFile(const std::string& f) { return platform::RemoveFile(f); }
int64_t FileSizeOf(const std::string& f) { return platform::FileSize(f); }
TFileStamp FileStampOf(const std::string& f) {
    TFileStamp s;
    if (!platform::FileStamp(f, s.Size, s.WriteTime)) s = TFileStamp();
    return s;
}

bool ForceDirectories(const std::string& dir) {
    std::string d = dir;
    while (d.size() > 1 && IsDelim(d.back())) d.pop_back();
    if (d.empty()) return false;
    if (DirectoryExists(d)) return true;
    std::string parent = ExtractFileDir(d);
    if (!parent.empty() && parent != d && !(parent.size() <= 3 && parent.find(':') != std::string::npos) && parent != "/" &&
        !ForceDirectories(parent))
        return false;
    return platform::MakeDirectory(d);
}

uint64_t GetTickCount64Ms() { return platform::TickMs(); }

bool SameFilePath(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path pa = fs::u8path(a), pb = fs::u8path(b);
    if (fs::exists(pa, ec) && fs::exists(pb, ec)) return fs::equivalent(pa, pb, ec);
    const auto na = fs::absolute(pa, ec).lexically_normal().u8string();
    const auto nb = fs::absolute(pb, ec).lexically_normal().u8string();
    return SameText(std::string(na.begin(), na.end()), std::string(nb.begin(), nb.end()));
}

} // namespace tw
