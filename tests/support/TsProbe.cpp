#include "tests/support/TsProbe.h"

#include <cstring>

#include "ts/TSPacketViews.h"

namespace tw::test {

namespace {

TTSPacketBuffer Buffer(const uint8_t* packet) {
    TTSPacketBuffer b;
    std::memcpy(b.Data, packet, TS_PACKET_SIZE);
    b.Length = TS_PACKET_SIZE;
    return b;
}

} // namespace

int PacketPayloadStart(const uint8_t* packet) {
    TTSPacketHeader h;
    ParsePacketHeader(Buffer(packet), h);
    const TTSPacketPayload& pl = *h.Payload();
    const TAdaptationFieldControl afc = h.AdaptationFieldControl();
    if (!h.Synch() || (afc != afc_no_adaptation_field && afc != afc_adaptation_field_followed_by_payload) ||
        pl.PayloadLength() <= 0)
        return -1;
    return pl.PayloadStartByte();
}

bool ReadPacketPcr(const uint8_t* packet, int64_t& pcr27) {
    TTSPacketHeader h;
    ParsePacketHeader(Buffer(packet), h);
    const TAdaptationFieldControl afc = h.AdaptationFieldControl();
    if (!h.Synch() || (afc != afc_adaptation_field_only && afc != afc_adaptation_field_followed_by_payload) ||
        !h.AdaptationField()->PCRFlag())
        return false;
    pcr27 = h.AdaptationField()->PCR()->PCR();
    return true;
}

bool ReadPacketTimestamps(const uint8_t* packet, int64_t& escr, int64_t& dts, int64_t& pts) {
    const TTSPacketBuffer b = Buffer(packet);
    TTSPacketHeader h;
    ParsePacketHeader(b, h);
    if (!h.Synch()) {
        escr = dts = pts = -1;
        return false;
    }
    return PacketTimestamps(b, h, escr, dts, pts);
}

} // namespace tw::test
