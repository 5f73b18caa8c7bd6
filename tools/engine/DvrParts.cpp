#include "tools/engine/DvrParts.h"

#include <string_view>

#include "base/Streams.h"
#include "base/SysUtils.h"

namespace tw {

std::string DvrPartFileName(int index)
{
    std::string n = IntToStr(index);
    if (n.size() < 3)
        n.insert(0, 3 - n.size(), '0');
    return n + ".dvr";
}

int CountDvrParts(const std::string& folder)
{
    int n = 0;
    while (n < kMaxDvrParts && FileExists(folder + DvrPartFileName(n)))
        ++n;
    return n;
}

std::string ReadDvrInfoTitle(const std::string& path)
{
    std::string title;
    if (LowerCase(ExtractFileName(path)) != "info.dvr")
        return title;
    if (!FileExists(path) || CountDvrParts(ExtractFilePath(path)) == 0)
        return title;
    TFileStream f(path, fmOpenRead | fmShareDenyNone);
    if (f.Size() != kDvrInfoSize)
        return title;
    uint8_t head[32];
    f.ReadBuffer(head, sizeof head);
    for (int i = 0; i < 16; ++i) {
        const uint8_t c = head[i * 2 + 1];
        if (c == 0)
            break;
        AppendLatin1(title, c);
    }
    return title;
}

namespace {

// The names Windows keeps for devices, with or without an extension. The
// ports take a digit or a superscript one, two or three (U+00B9, U+00B2,
// U+00B3, two bytes each in UTF-8): Windows counts "COM¹" as a device too.
bool IsReservedDeviceName(const std::string& base)
{
    const std::string b = UpperCase(base);
    if (b == "CON" || b == "PRN" || b == "AUX" || b == "NUL")
        return true;
    if (b.size() < 4 || (b.compare(0, 3, "COM") != 0 && b.compare(0, 3, "LPT") != 0))
        return false;
    const std::string_view port = std::string_view(b).substr(3);
    if (port.size() == 1)
        return port[0] >= '0' && port[0] <= '9';
    return port == "\xC2\xB9" || port == "\xC2\xB2" || port == "\xC2\xB3";
}

// The title comes from the receiver's index file, so it is input: it must
// name one file in the recording's folder and nothing else. A character no
// file name can hold (a path delimiter, a drive or stream colon, a wildcard,
// a control character) becomes "_", and a device name gets a "_" so that
// it names a file.
std::string TitleFileName(const std::string& title)
{
    std::string name = title;
    for (char& c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    }
    size_t base = name.find('.');
    if (base == std::string::npos)
        base = name.size();
    // Windows ignores trailing blanks of the base when it looks for devices.
    while (base > 0 && name[base - 1] == ' ')
        --base;
    if (IsReservedDeviceName(name.substr(0, base)))
        name.insert(base, "_");
    return name;
}

} // namespace

std::string DvrRecordingDestination(const std::string& infoPath, const std::string& title)
{
    return ExtractFilePath(infoPath) + TitleFileName(title) + ".ts";
}

} // namespace tw
