// Feeds arbitrary bytes through the stream machinery three times: as a
// recording read by the packet reader (which hands valid packets of two PIDs
// to the PES readers and their analysers, and of the PAT's PID and a PMT PID
// to the table readers), directly as a run of transport payloads of fuzzed
// lengths and start flags, which reaches the PES and elementary-stream
// parsers with far less filtering, and directly as packets to the table
// readers, without the packet reader's checks of the header.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "ts/TSAC3Reader.h"
#include "ts/TSH264Reader.h"
#include "ts/TSMPEG2Reader.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPatReader.h"
#include "ts/TSPesReader.h"
#include "ts/TSPmtReader.h"
#include "ts/TSStreamType.h"

using namespace tw;

namespace {

// Built once: the buffers are large and the analysers are meant to run on
// and on; every input starts them afresh by switching them off and on.
struct Machinery {
    TComponent owner{nullptr};
    TTSPacketReader* reader = new TTSPacketReader(&owner);
    TTSPesReader* pes[2] = {new TTSPesReader(&owner), new TTSPesReader(&owner)};
    TTSStreamTypeReader* sniffer[2] = {new TTSStreamTypeReader(&owner), new TTSStreamTypeReader(&owner)};
    TTSMPEG2Reader* mpeg2 = new TTSMPEG2Reader(&owner);
    TTSH264Reader* h264 = new TTSH264Reader(&owner);
    TTSAC3Reader* ac3[2] = {new TTSAC3Reader(&owner), new TTSAC3Reader(&owner)};
    TTSPatReader* pat = new TTSPatReader(&owner);
    TTSPmtReader* pmt = new TTSPmtReader(&owner);
    std::string file = "/tmp/tw_fuzz_" + std::to_string(getpid()) + ".ts";
    uint64_t sink = 0;

    Machinery() {
        reader->SetFileName(file);
        for (int i = 0; i < 2; ++i) {
            pes[i]->SetTSPacketReader(reader);
            pes[i]->SetPID(0x100 + i);
            sniffer[i]->SetTSPesReader(pes[i]);
            ac3[i]->SetTSPesReader(pes[i]);
        }
        mpeg2->SetTSPesReader(pes[0]);
        h264->SetTSPesReader(pes[0]);
        pat->SetTSPacketReader(reader);
        pat->SetPID(0);
        pmt->SetTSPacketReader(reader);
        pmt->SetPID(0x100);
        owner.LoadTree();
        // What the analysis does with a table it read.
        pat->OnPatReceived = [this](TObject*) {
            sink += pat->PatDumpText().size();
            pat->BuildPatPacket();
            sink += pat->OutputPacket().Data[7];
        };
        pmt->OnPmtReceived = [this](TObject*) {
            sink += pmt->PmtDumpText().size();
            if (pmt->BuildPmtPackets()) sink += static_cast<uint64_t>(pmt->OutputPacketCount());
        };
        // Touch what the handlers of the application touch.
        h264->OnSequenceParameterSet = [this](TObject*, int64_t) {
            int64_t packet;
            uint8_t offset;
            const int bit = h264->VideoFullRangeFlagPesBit();
            if (bit > 0 && pes[0]->PacketOfPESOffset(bit / 8, packet, offset)) sink += packet + offset;
            sink += h264->SpsDumpText().size();
        };
        for (int i = 0; i < 2; ++i) {
            pes[i]->OnPESPacketCompleted = [this, i](TObject*, int64_t, int, int, int, int, bool valid) {
                if (!valid) {
                    pes[i]->CalcPacketCrcs();
                    sink += static_cast<uint64_t>(pes[i]->MarkDuplicatePackets()) + pes[i]->MissingPESBytes();
                }
            };
        }
    }
    void Restart() {
        for (int i = 0; i < 2; ++i) {
            pes[i]->SetActive(false);
            pes[i]->SetActive(true);
            sniffer[i]->SetActive(false);
            sniffer[i]->SetActive(true);
            ac3[i]->SetActive(false);
            ac3[i]->SetActive(true);
        }
        mpeg2->SetActive(false);
        mpeg2->SetActive(true);
        h264->SetActive(false);
        h264->SetActive(true);
        pat->SetActive(false);
        pat->SetActive(true);
        pmt->SetActive(false);
        pmt->SetActive(true);
    }
};

Machinery& M() {
    static Machinery* m = new Machinery;
    return *m;
}

void ThroughPacketReader(Machinery& m, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(m.file.c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    m.Restart();
    m.reader->SetActive(false);
    m.reader->SetActive(true);
    // A valid-looking file is read from its start; the packet count bounds the loop.
    for (int guard = 0; m.reader->Active() && !m.reader->Eof() && guard < 100000; ++guard) m.reader->Next();
    m.reader->SetActive(false);
}

void ThroughPayloads(Machinery& m, const uint8_t* data, size_t size) {
    m.Restart();
    size_t pos = 0;
    int64_t index = 0;
    int cc = 0;
    TTSPacketBuffer payload;
    while (pos + 1 < size) {
        // One control byte: start flag, which reader, payload length.
        const uint8_t ctl = data[pos++];
        const bool start = ctl & 0x80;
        const int which = (ctl >> 6) & 1;
        int len = (ctl & 0x3F) * 3;
        if (len > 184) len = 184;
        if (static_cast<size_t>(len) > size - pos) len = static_cast<int>(size - pos);
        payload.Length = len;
        for (int i = 0; i < len; ++i) payload.Data[i] = data[pos + static_cast<size_t>(i)];
        pos += static_cast<size_t>(len);
        m.pes[which]->ProcessPesTsPacket(payload, start, static_cast<uint8_t>(188 - len), index++, cc);
        cc = (cc + 1) & 15;
    }
    // Two closing starts hand the last packets on.
    payload.Length = 0;
    for (int which = 0; which < 2; ++which) m.pes[which]->ProcessPesTsPacket(payload, true, 4, index++, 0);
}

// Each 188 bytes a packet for both table readers. The readers do not look
// at the sync byte's place, so it says how the packet is handed on: with bit
// 3 set (never in a real packet), in a full buffer whose bytes after the
// packet hold its start again, which no read may take.
void ThroughTableReaders(Machinery& m, const uint8_t* data, size_t size) {
    m.Restart();
    TTSPacketBuffer packet;
    int64_t index = 0;
    for (size_t pos = 0; pos + TS_PACKET_SIZE <= size; pos += TS_PACKET_SIZE) {
        std::memcpy(packet.Data, data + pos, TS_PACKET_SIZE);
        std::memcpy(packet.Data + TS_PACKET_SIZE, data + pos, TS_PACKET_BUFFER_CAPACITY - TS_PACKET_SIZE);
        packet.Length = (data[pos] & 0x08) != 0 ? TS_PACKET_BUFFER_CAPACITY : TS_PACKET_SIZE;
        m.pat->ProcessPacket(packet, index);
        m.pmt->ProcessPacket(packet, index++);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Machinery& m = M();
    ThroughPacketReader(m, data, size);
    ThroughPayloads(m, data, size);
    ThroughTableReaders(m, data, size);
    return 0;
}
