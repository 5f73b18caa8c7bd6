#include "tools/engine/LowLevelFix.h"

#include "base/Exceptions.h"
#include "base/Streams.h"
#include "tools/engine/ToolCopy.h"

namespace tw {

TLowLevelFix::TLowLevelFix(TTSPacketReader& reader)
    : reader_(reader), writer_(std::make_unique<TTSPacketWriter>(nullptr)) {}

TLowLevelFix::~TLowLevelFix() = default;

TLowLevelFix::TResult TLowLevelFix::Run(const std::string& input, const std::string& output,
                                        const TToolProgress& progress) {
    auto savedStart = reader_.OnNoValidStartByte;
    reader_.OnNoValidStartByte = [this](TObject*, int offset, bool& cont) {
        cont = true;
        Log("Cutting " + std::to_string(offset) + " bytes at the start");
    };
    reader_.SetAutoResync(true);
    reader_.SetNoStartByteCheck(false);
    // The reader finds the packet grid again behind garbage or missing bytes
    // while it reads the packet that lost its sync byte, but that read has
    // used up the packet number: the sound packet that now sits at this
    // number is read here from the new grid, so that it is not lost.
    std::unique_ptr<TFileStream> again;
    try {
        again = std::make_unique<TFileStream>(input, fmOpenRead | fmShareDenyNone);
    } catch (const Exception&) {
        // The copy below reports the file that does not open.
    }
    int32_t lastOffset = 0;
    TTSPacketHeader regained;
    TTSPacketBuffer bytes;
    auto keep = [&](const TTSPacketHeader& h, TResult& r, TTSPacketWriter& w) {
        const int32_t offset = reader_.ResyncOffset();
        const int32_t moved = offset - lastOffset;
        lastOffset = offset;
        if (h.Synch()) {
            if (!h.Valid()) ++r.InvalidWritten;
            return true;
        }
        ++r.Skipped;
        if (moved != 0 && again) {
            const int64_t at = reader_.PacketPosition() + moved + (reader_.M2TSMode() ? 4 : 0);
            again->Seek(at, soBeginning);
            bytes.Length = static_cast<int32_t>(again->Read(bytes.Data, TS_PACKET_SIZE));
            if (bytes.Length == TS_PACKET_SIZE && bytes.Data[0] == TS_SYNC_BYTE) {
                ParsePacketHeader(bytes, regained);
                std::string errors;
                if (!reader_.ValidatePacket(errors, regained)) ++r.InvalidWritten;
                w.QueuePacket(bytes, reader_.PacketIndex());
            }
        }
        return false;
    };
    TResult res = RunToolCopy<TResult>(reader_, *writer_, input, output, progress, keep);
    reader_.OnNoValidStartByte = savedStart;
    if (res.Error.empty() || res.Read > 0) {
        Log(std::to_string(res.Skipped) + " packets skipped");
        Log(std::to_string(res.Written) + " packets written incl. " + std::to_string(res.InvalidWritten) +
            " invalid packets");
    }
    return res;
}

} // namespace tw
