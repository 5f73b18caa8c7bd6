#include "tools/engine/DvrParts.h"

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
        if (c < 0x80) {
            title += static_cast<char>(c);
        } else {
            title += static_cast<char>(0xC0 | (c >> 6));
            title += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return title;
}

std::string DvrRecordingDestination(const std::string& infoPath, const std::string& title)
{
    return ExtractFilePath(infoPath) + title + ".ts";
}

} // namespace tw
