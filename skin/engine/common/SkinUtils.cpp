#include "skin/engine/common/SkinUtils.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "base/SysUtils.h"

#ifndef _WIN32
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <cerrno>
#endif

namespace skin {

int ClampByte(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }
int IfThenInt(bool condition, int a, int b) { return condition ? a : b; }
std::string IfThenStr(bool condition, const std::string& a, const std::string& b) { return condition ? a : b; }
bool ValueInRange(int value, int min, int max) { return min <= value && value <= max; }
int MaxOf(int a, int b) { return a > b ? a : b; }
int MinOf(int a, int b) { return a < b ? a : b; }
// The minimum is tested first: with Min above Max the result is Min.
int ClampValue(int value, int min, int max) { return value < min ? min : std::min(value, max); }
void SwapInts(int& a, int& b) { std::swap(a, b); }
TRect SetRectValues(int left, int top, int right, int bottom) { return TRect(left, top, right, bottom); }

int RectWidth(const TRect& r, bool check)
{
    const int w = r.Right - r.Left;
    return check && w < 0 ? 0 : w;
}

int RectHeight(const TRect& r, bool check)
{
    const int h = r.Bottom - r.Top;
    return check && h < 0 ? 0 : h;
}

bool RectsOverlap(const TRect& r1, const TRect& r2)
{
    if (r2.Right <= r2.Left || r2.Bottom <= r2.Top) return false;
    return !(r2.Bottom <= r1.Top || r2.Right <= r1.Left || r2.Left >= r1.Right || r2.Top >= r1.Bottom);
}

bool RectInRect(const TRect& outer, const TRect& inner)
{
    auto inside = [&](int x, int y) { return x >= outer.Left && x <= outer.Right && y >= outer.Top && y <= outer.Bottom; };
    return inside(inner.Left, inner.Top) && inside(inner.Right, inner.Bottom);
}

TRect IntersectRects(const TRect& r1, const TRect& r2)
{
    return TRect(std::max(r1.Left, r2.Left), std::max(r1.Top, r2.Top), std::min(r1.Right, r2.Right),
                 std::min(r1.Bottom, r2.Bottom));
}

// Word scanning: skip separators, a word starts, skip non-separators.
int WordPosition(int n, const std::string& s, const TCharSet& separators)
{
    int count = 0;
    size_t i = 0;
    while (i < s.size() && count != n) {
        while (i < s.size() && separators.Has(s[i])) ++i;
        if (i < s.size()) {
            ++count;
            if (count == n) return int(i) + 1;
            while (i < s.size() && !separators.Has(s[i])) ++i;
        }
    }
    return 0;
}

int WordCount(const std::string& s, const TCharSet& separators)
{
    int count = 0;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && separators.Has(s[i])) ++i;
        if (i < s.size()) ++count;
        while (i < s.size() && !separators.Has(s[i])) ++i;
    }
    return count;
}

std::string ExtractWord(int n, const std::string& s, const TCharSet& separators)
{
    const int pos = WordPosition(n, s, separators);
    if (pos == 0) return "";
    size_t end = size_t(pos) - 1;
    while (end < s.size() && !separators.Has(s[end])) ++end;
    return s.substr(size_t(pos) - 1, end - (size_t(pos) - 1));
}

std::string DeleteChars(const std::string& s, char c)
{
    std::string r;
    r.reserve(s.size());
    for (char ch : s)
        if (ch != c) r += ch;
    return r;
}

std::string ReplaceAll(const std::string& s, const std::string& oldText, const std::string& newText)
{
    if (oldText.empty()) return s;
    std::string r;
    size_t from = 0;
    for (size_t at; (at = s.find(oldText, from)) != std::string::npos; from = at + oldText.size())
        r.append(s, from, at - from).append(newText);
    return r.append(s, from, std::string::npos);
}

bool HasChars(const std::string& s, const TCharSet& chars)
{
    return std::any_of(s.begin(), s.end(), [&](char c) { return chars.Has(c); });
}

void FillString(std::string& s, int count, char c) { s.assign(size_t(std::max(count, 0)), c); }

int64_t HexToInt64(const std::string& text)
{
    std::string s = tw::UpperCase(text);
    if (!s.empty() && s.back() == 'H') s.pop_back();
    if (s.empty()) return 0;
    uint64_t v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return 0;
        v = (v << 4) | uint64_t(d);
    }
    return int64_t(v);
}

void ParseIniSections(const std::vector<std::string>& lines, TIniSections& sections)
{
    sections.clear();
    TIniSection* current = nullptr;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back(TIniSection{line.substr(1, line.size() - 2), {}});
            current = &sections.back();
        } else if (current) {
            current->Lines.push_back(line);
        }
    }
}

std::string ReadSectionValue(const TIniSections& sections, const std::string& section, const std::string& key,
                             const std::string& def)
{
    for (const TIniSection& s : sections) {
        if (!tw::SameText(s.Name, section)) continue;
        for (const std::string& line : s.Lines) {
            const size_t eq = line.find('=');
            if (eq != std::string::npos && tw::SameText(line.substr(0, eq), key))
                return line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
        }
        return def;
    }
    return def;
}

int ReadSectionInteger(const TIniSections& sections, const std::string& section, const std::string& key, int def)
{
    std::string v = ReadSectionValue(sections, section, key, "");
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
        v[1] = '$';
        v.erase(0, 1);
    }
    int result;
    return !v.empty() && tw::TryStrToInt(v, result) ? result : def;
}

std::string NormalizeDir(const std::string& s)
{
    if (s.empty()) return s;
    if (s.back() == '\\') return s;
    if (s.back() == '/') return s.substr(0, s.size() - 1) + "\\";
    return s.size() == 1 ? s + ":\\" : s + "\\";
}

bool IsValidFileName(const std::string& s)
{
    return !s.empty() && s.find_first_of("<>\"|*?/") == std::string::npos;
}

TSearchRec::~TSearchRec() { FindCloseEntry(*this); }

#ifndef _WIN32
int FindFirstEntry(const std::string& pathMask, int attr, TSearchRec& rec)
{
    FindCloseEntry(rec);
    rec.Folder = tw::ExtractFilePath(pathMask);
    rec.Pattern = tw::ExtractFileName(pathMask);
    rec.ExcludeAttr = ~attr & (faHidden | faSysFile | faDirectory);
    rec.FindHandle = opendir(rec.Folder.empty() ? "." : rec.Folder.c_str());
    if (rec.FindHandle == nullptr) return ENOENT;
    return FindNextEntry(rec);
}

int FindNextEntry(TSearchRec& rec)
{
    if (rec.FindHandle == nullptr) return ENOENT;
    while (dirent* e = readdir(static_cast<DIR*>(rec.FindHandle))) {
        if (fnmatch(rec.Pattern.c_str(), e->d_name, 0) != 0) continue;
        struct stat st{};
        if (stat((rec.Folder + e->d_name).c_str(), &st) != 0) continue;
        int a = 0;
        if (S_ISDIR(st.st_mode)) a |= faDirectory;
        if (e->d_name[0] == '.' && std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) a |= faHidden;
        if (!(st.st_mode & S_IWUSR)) a |= faReadOnly;
        if (a & rec.ExcludeAttr) continue;
        rec.Name = e->d_name;
        rec.Size = S_ISDIR(st.st_mode) ? 0 : int64_t(st.st_size);
        rec.Attr = a;
        return 0;
    }
    return ENOENT;
}

void FindCloseEntry(TSearchRec& rec)
{
    if (rec.FindHandle) closedir(static_cast<DIR*>(rec.FindHandle));
    rec.FindHandle = nullptr;
}

std::string AppFolder()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("./") : tw::IncludeTrailingPathDelimiter(exe.parent_path().string());
}
#endif

} // namespace skin
