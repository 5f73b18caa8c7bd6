#include "tools/engine/StreamProbe.h"

#include <filesystem>

#include "base/SysUtils.h"
#include "ts/TSPacketReader.h"

namespace tw {

TStreamProbe ProbeStreamFile(const std::string& fileName)
{
    TStreamProbe p;
    if (!FileExists(fileName))
        return p;
    TTSPacketReader reader(nullptr);
    reader.SetReadOnly(true);
    reader.SetFileName(fileName);
    try {
        reader.SetActive(true);
    } catch (const std::exception&) {
        return p;
    }
    if (!reader.Active())
        return p;
    p.Opened = true;
    p.FileSize = reader.FileSize();
    if (reader.FindFirstPacket()) {
        p.Found = true;
        p.PacketSize = reader.WorkingPacketSize();
        p.GarbageOffset = reader.GarbageOffset();
    }
    reader.Close();
    return p;
}

bool SameFilePath(const std::string& a, const std::string& b)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path pa = fs::u8path(a), pb = fs::u8path(b);
    if (fs::exists(pa, ec) && fs::exists(pb, ec))
        return fs::equivalent(pa, pb, ec);
    const auto na = fs::absolute(pa, ec).lexically_normal().u8string();
    const auto nb = fs::absolute(pb, ec).lexically_normal().u8string();
    return SameText(std::string(na.begin(), na.end()), std::string(nb.begin(), nb.end()));
}

} // namespace tw
