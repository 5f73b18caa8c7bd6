// The packet editor's model: field texts, the stepping rules at both ends,
// the searches, and the write-back that changes exactly the edited packet's
// 188 bytes of the user's file (also in a 192-byte recording) and reports a
// failed write.
#include <gtest/gtest.h>

#include "base/Streams.h"
#include "base/SysUtils.h"
#include "tests/support/FailingInput.h"
#include "tests/support/TsBuilder.h"
#include "tools/engine/PacketEditorModel.h"
#include "ts/TSPacketReader.h"

using namespace tw;
using namespace tw::test;

namespace {

// Packet 17 carries 0x47 bytes in its payload (for the sync search).
TsStream Sample(int packetSize = 188, bool syncBytesInPayload = true) {
    TsStream ts(packetSize);
    for (int i = 0; i < 30; ++i) {
        TsPacketOptions o;
        o.pid = i % 3 == 0 ? 0x100 : 0x200;
        o.payloadStart = i == 4 || i == 12 || i == 21;
        if (i == 9) o.pcr = 27000000LL * 3600;
        o.payload.assign(150, static_cast<uint8_t>(i == 17 && syncBytesInPayload ? 0x47 : 0x11));
        ts.Add(o);
    }
    ts.SetTransportError(25);
    return ts;
}

struct OpenReader {
    TTSPacketReader reader{nullptr};
    explicit OpenReader(const std::string& name) {
        reader.SetPacketBufferSize(0);
        reader.SetFileName(name);
        reader.SetActive(true);
    }
};

} // namespace

TEST(PacketEditorModel, FieldTexts) {
    EXPECT_EQ(ScramblingText(0), "Unscrambled");
    EXPECT_EQ(ScramblingText(1), "Reserved");
    EXPECT_EQ(ScramblingText(2), "Scrambled even");
    EXPECT_EQ(ScramblingText(3), "Scrambled odd");
    EXPECT_EQ(AfcText(0), "Reserved");
    EXPECT_EQ(AfcText(1), "No AF");
    EXPECT_EQ(AfcText(2), "AF only");
    EXPECT_EQ(AfcText(3), "AF+Payload");
    EXPECT_EQ(PcrTimeOfDay(27000LL * (3600000LL + 61001)), "01:01:01.001");
    EXPECT_EQ(PtsTimeOfDay(90LL * 86400000 + 90), "00:00:00.001");
    EXPECT_EQ(PtsTimeOfDay(-1), "");

    TsStream ts = Sample();
    TempFile f;
    ts.Save(f.Name());
    OpenReader o(f.Name());
    o.reader.SetPacketIndex(9);
    const TPacketFields pf = DecodePacket(o.reader, o.reader.RawPacket());
    ASSERT_TRUE(pf.SizeOk);
    EXPECT_TRUE(pf.Valid);
    EXPECT_EQ(pf.Pid, "$0100");
    EXPECT_EQ(pf.Afc, "AF+Payload");
    EXPECT_TRUE(pf.HasAdaptationField);
    EXPECT_EQ(pf.Pcr, "01:00:00.000");
    EXPECT_EQ(pf.PcrHint.substr(0, 6), "PCR: $");
    TTSPacketBuffer shortOne = o.reader.RawPacket();
    shortOne.Length = 187;
    EXPECT_FALSE(DecodePacket(o.reader, shortOne).SizeOk);
    o.reader.SetPacketIndex(25);
    const TPacketFields bad = DecodePacket(o.reader, o.reader.RawPacket());
    EXPECT_FALSE(bad.Valid);
    EXPECT_NE(bad.ErrorText.find("transport_error_indicator"), std::string::npos);
}

TEST(PacketEditorModel, EachFlagComesFromItsOwnBit) {
    // Each packet sets one header flag and one adaptation-field flag, so
    // two fields that read each other's bit cannot both come out right.
    TsStream ts;
    const struct {
        bool error, start, priority;
        int afFlags;
    } rows[] = {{true, false, false, 0x80}, {false, true, false, 0x40}, {false, false, true, 0x20}};
    for (const auto& row : rows) {
        TsPacketOptions o;
        o.transportError = row.error;
        o.payloadStart = row.start;
        o.priority = row.priority;
        o.adaptation = true;
        o.afFlags = row.afFlags;
        o.payload.assign(100, 0x11);
        ts.Add(o);
    }
    TempFile f;
    ts.Save(f.Name());
    OpenReader o(f.Name());
    for (int i = 0; i < 3; ++i) {
        o.reader.SetPacketIndex(i);
        const TPacketFields pf = DecodePacket(o.reader, o.reader.RawPacket());
        ASSERT_TRUE(pf.HasAdaptationField) << i;
        EXPECT_EQ(pf.TransportError, rows[i].error) << i;
        EXPECT_EQ(pf.PayloadStart, rows[i].start) << i;
        EXPECT_EQ(pf.Priority, rows[i].priority) << i;
        EXPECT_EQ(pf.Discontinuity, rows[i].afFlags == 0x80) << i;
        EXPECT_EQ(pf.RandomAccess, rows[i].afFlags == 0x40) << i;
        EXPECT_EQ(pf.EsPriority, rows[i].afFlags == 0x20) << i;
    }
}

TEST(PacketEditorModel, SteppingStopsAtBothEnds) {
    EXPECT_FALSE(CanStep(29, 30, 1)); // "->" on the last packet
    EXPECT_TRUE(CanStep(28, 30, 1));
    EXPECT_FALSE(CanStep(20, 30, 10));
    EXPECT_TRUE(CanStep(19, 30, 10));
    EXPECT_FALSE(CanStep(0, 30, -1));
    EXPECT_FALSE(CanStep(5, 30, -10));
    EXPECT_TRUE(CanStep(10, 30, -10));
}

// A search that runs into a packet the file cannot give stops there, back on
// its start packet, and says that a read failed; one that reaches the last
// packet says nothing of the kind.
TEST(PacketEditorModel, ASearchStopsAtAPacketTheFileCannotGive) {
    TsStream ts = Sample();
    TempFile f;
    ts.Save(f.Name());
    TTSPacketReader r(nullptr);
    r.SetPacketBufferSize(0);
    test::FailInputAt(r, 188 * 20 + 5, "The device is not ready.");
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    r.SetPacketIndex(13);
    bool failed = false;
    EXPECT_FALSE(SearchPacket(r, psPcr, true, &failed));
    EXPECT_TRUE(failed);
    EXPECT_EQ(r.PacketIndex(), 13);
    EXPECT_NE(r.ReadErrorText().find("The device is not ready."), std::string::npos);
    failed = false;
    int byte = -1;
    r.SetPacketIndex(19);
    EXPECT_FALSE(SearchSyncByte(r, 188, byte, &failed));
    EXPECT_TRUE(failed);
    EXPECT_EQ(r.PacketIndex(), 19);
    // Backward to the first packet: no read fails on the way.
    failed = false;
    EXPECT_FALSE(SearchPacket(r, psError, false, &failed));
    EXPECT_FALSE(failed);

    OpenReader whole(f.Name());
    whole.reader.Last();
    failed = false;
    EXPECT_FALSE(SearchPacket(whole.reader, psPcr, true, &failed));
    EXPECT_FALSE(failed);
}

TEST(PacketEditorModel, SearchesForwardAndBackward) {
    TsStream ts = Sample();
    TempFile f;
    ts.Save(f.Name());
    OpenReader o(f.Name());
    TTSPacketReader& r = o.reader;
    r.SetPacketIndex(0);
    ASSERT_TRUE(SearchPacket(r, psPayloadStart, true));
    EXPECT_EQ(r.PacketIndex(), 12); // PID $0100: 4 is another PID
    ASSERT_TRUE(SearchPacket(r, psPayloadStart, true));
    EXPECT_EQ(r.PacketIndex(), 21);
    EXPECT_FALSE(SearchPacket(r, psPayloadStart, true));
    EXPECT_EQ(r.PacketIndex(), 21); // back where it began
    ASSERT_TRUE(SearchPacket(r, psPcr, false));
    EXPECT_EQ(r.PacketIndex(), 9);
    ASSERT_TRUE(SearchPacket(r, psError, true));
    EXPECT_EQ(r.PacketIndex(), 25);
    EXPECT_FALSE(SearchPacket(r, psError, true));
    r.Last();
    EXPECT_EQ(r.PacketIndex(), 29);
    EXPECT_FALSE(SearchPacket(r, psPcr, true));
    EXPECT_EQ(r.PacketIndex(), 29);

    // Sync: after the selection start, then on in the following packets.
    r.SetPacketIndex(16);
    int byte = -1;
    ASSERT_TRUE(SearchSyncByte(r, 1, byte));
    EXPECT_EQ(r.PacketIndex(), 17);
    EXPECT_EQ(byte, 0);
    ASSERT_TRUE(SearchSyncByte(r, byte + 1, byte));
    EXPECT_EQ(r.PacketIndex(), 17);
    EXPECT_GT(byte, 4); // in the payload of 0x47 bytes
}

TEST(PacketEditorModel, WriteBackChangesExactlyThePacketsBytes) {
    for (int size : {188, 192}) {
        TsStream ts = Sample(size, false);
        TempFile f;
        ts.Save(f.Name());
        const Bytes before = f.Read();
        OpenReader o(f.Name());
        TTSPacketReader& r = o.reader;
        ASSERT_TRUE(r.Active());
        ASSERT_EQ(r.M2TSMode(), size == 192);
        r.SetPacketIndex(7);
        TTSPacketBuffer edited = r.RawPacket();
        edited.Data[3] ^= 0x0F;
        edited.Data[100] = 0x99;
        std::string error;
        ASSERT_TRUE(WritePacketBack(r, edited, error)) << error;
        // The reader shows the written packet.
        EXPECT_EQ(r.PacketIndex(), 7);
        EXPECT_EQ(r.RawPacket().Data[100], 0x99);
        const Bytes after = f.Read();
        ASSERT_EQ(after.size(), before.size());
        const size_t at = static_cast<size_t>(7 * size + (size - 188));
        for (size_t i = 0; i < after.size(); ++i) {
            if (i >= at && i < at + 188) ASSERT_EQ(after[i], edited.Data[i - at]) << i;
            else ASSERT_EQ(after[i], before[i]) << "byte " << i << " outside the packet changed";
        }
        // A record of another size writes nothing.
        edited.Length = 187;
        EXPECT_FALSE(WritePacketBack(r, edited, error));
        EXPECT_EQ(error, "Packet size error!");
        EXPECT_EQ(f.Read(), after);
    }
}

TEST(PacketEditorModel, FailedWriteIsReported) {
    TsStream ts = Sample();
    TempFile f;
    ts.Save(f.Name());
    OpenReader o(f.Name());
    o.reader.SetPacketIndex(27);
    TTSPacketBuffer edited = o.reader.RawPacket();
    // The file was cut short behind the editor's back: the packet is gone,
    // and writing it must neither succeed nor make the file grow again.
    {
        TFileStream cut(f.Name(), fmOpenReadWrite | fmShareDenyNone);
        cut.SetSize(20 * 188);
    }
    std::string error;
    EXPECT_FALSE(WritePacketBack(o.reader, edited, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FileSizeOf(f.Name()), 20 * 188);
}
