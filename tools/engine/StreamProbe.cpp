#include "tools/engine/StreamProbe.h"


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

} // namespace tw
