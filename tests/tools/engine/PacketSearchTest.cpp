// The packet editor's searches over recordings read as the editor reads them
// (unbuffered, on the packet grid it was opened with): each finds what
// reading the packets beyond the start one at a time finds, in 188- and
// 192-byte recordings with garbage before the first packet, damaged packets
// and a last packet cut short, from either end and across the blocks a long
// search reads; and a medium that fails part-way stops it as before.
#include <gtest/gtest.h>

#include <cstring>

#include "base/SysUtils.h"
#include "tests/support/FailingInput.h"
#include "tests/support/TsBuilder.h"
#include "tools/engine/PacketEditorModel.h"
#include "ts/TSPacketReader.h"

using namespace tw;
using namespace tw::test;

namespace {

constexpr int kGarbage = 5;

struct EditorReader {
    TTSPacketReader reader{nullptr};
    // noStartCheck: the first packet is where the file starts, even when
    // damaged (the opening would take it for garbage).
    explicit EditorReader(const std::string& name, int64_t failAt = -1, bool noStartCheck = false) {
        reader.SetPacketBufferSize(0);
        reader.SetNoStartByteCheck(noStartCheck);
        reader.SetAutoResync(false);
        if (failAt >= 0) FailInputAt(reader, failAt, "The device is not ready.");
        reader.SetFileName(name);
        reader.SetActive(true);
    }
};

// The slow way: every packet beyond the start read on its own and judged by
// its bytes, up to and including the end packet; -1 when none holds.
int64_t SteppedResult(const std::string& name, bool noStartCheck, TPacketSearch kind, bool forward, int64_t start) {
    EditorReader e(name, -1, noStartCheck);
    TTSPacketReader& r = e.reader;
    r.SetPacketIndex(start);
    const uint8_t* s = r.RawPacket().Data;
    const int pid = ((s[1] & 0x1F) << 8) | s[2];
    for (int64_t i = forward ? start + 1 : start - 1; i >= 0 && i < r.PacketCount(); i += forward ? 1 : -1) {
        r.SetPacketIndex(i);
        const uint8_t* b = r.RawPacket().Data;
        const bool sync = b[0] == 0x47;
        bool hit = false;
        switch (kind) {
        case psPayloadStart: hit = sync && (b[1] & 0x40) && (((b[1] & 0x1F) << 8) | b[2]) == pid; break;
        // The PCR must fit into the adaptation field that announces it.
        case psPcr: hit = sync && (b[3] & 0x20) && b[4] >= 7 && (b[5] & 0x10); break;
        case psError: hit = !r.TSPacketHeader()->Valid(); break;
        }
        if (hit) return i;
    }
    return -1;
}

TsPacketOptions Hit(TPacketSearch kind) {
    TsPacketOptions o;
    o.pid = 0x100;
    o.payload.assign(100, 0x11);
    if (kind == psPayloadStart) o.payloadStart = true;
    if (kind == psPcr) o.pcr = 27000000LL * 60;
    if (kind == psError) o.transportError = true;
    return o;
}

// 41 packets of PIDs $100 (even) and $200 behind `garbage` bytes,
// then a packet cut short that is what `kind` looks for. In the middle,
// packets that look like it but are not (payload starts of the other PID,
// a PCR flag without room for the PCR, a payload start without a sync byte)
// and, except for the error search, damaged packets. With `atEnds` the
// first and the last packet are what it looks for.
std::string Recording(const TempFile& f, int size, int garbage, TPacketSearch kind, bool atEnds) {
    TsStream ts(size);
    ts.SetLeadingGarbage(Bytes(static_cast<size_t>(garbage), 0x00));
    for (int i = 0; i < 41; ++i) {
        TsPacketOptions o = atEnds && (i == 0 || i == 40) ? Hit(kind) : TsPacketOptions{};
        if (o.payload.empty()) {
            o.pid = i % 2 ? 0x200 : 0x100;
            o.payload.assign(100, 0x11);
            o.payloadStart = i == 7 || i == 21; // the other PID
        }
        ts.Add(o);
    }
    // A PCR flag in an adaptation field of one byte of flags.
    Bytes& p = ts.Packet(9);
    p[3] = static_cast<uint8_t>(p[3] | 0x20);
    p[4] = 1;
    p[5] = 0x10;
    // Payload start on the start's PID, but no sync byte.
    ts.Packet(30)[1] |= 0x40;
    ts.BreakSync(30);
    if (kind != psError) {
        ts.BreakSync(11);
        ts.SetTransportError(13);
        ts.SetScrambled(15);
        ts.Packet(17)[3] |= 0x30;
        ts.Packet(17)[4] = 200;
    }
    Bytes all = ts.Render();
    if (kind == psError) {
        // Without the damage the error search would find packet 30.
        all[static_cast<size_t>(garbage + 30 * size + size - 188)] = 0x47;
    }
    Bytes tail = MakePacket(Hit(kind));
    if (size == 192) tail.insert(tail.begin(), 4, 0);
    all.insert(all.end(), tail.begin(), tail.begin() + 120);
    f.Write(all);
    return f.Name();
}

// The reader is on packet `index`: its bytes are the file's there.
void ExpectOn(const TTSPacketReader& r, const Bytes& file, int64_t index, int size, int garbage = kGarbage) {
    ASSERT_EQ(r.PacketIndex(), index);
    ASSERT_EQ(r.RawPacket().Length, 188);
    const size_t at = static_cast<size_t>(garbage + index * size + size - 188);
    EXPECT_EQ(std::memcmp(r.RawPacket().Data, file.data() + at, 188), 0) << "packet " << index;
}

} // namespace

TEST(PacketSearch, FindsWhatSteppingFinds) {
    const TPacketSearch kinds[] = {psPayloadStart, psPcr, psError};
    for (const int size : {188, 192})
        for (const TPacketSearch kind : kinds)
            for (const bool atEnds : {false, true}) {
                // A damaged first packet is found only where the file starts
                // with it.
                const bool damagedFirst = kind == psError && atEnds;
                const int garbage = damagedFirst ? 0 : kGarbage;
                TempFile f;
                const std::string name = Recording(f, size, garbage, kind, atEnds);
                const Bytes file = f.Read();
                EditorReader e(name, -1, damagedFirst);
                TTSPacketReader& r = e.reader;
                ASSERT_EQ(r.GarbageOffset(), garbage);
                ASSERT_EQ(r.PacketCount(), 41);
                ASSERT_EQ(r.M2TSMode(), size == 192);
                for (const int64_t start : {0, 20, 40})
                    for (const bool forward : {false, true}) {
                        SCOPED_TRACE(testing::Message() << size << " bytes, kind " << kind << (atEnds ? ", at ends" : "")
                                                        << ", from " << start << (forward ? " forward" : " backward"));
                        // The end packet counts; the start never does.
                        int64_t known = -1;
                        if (atEnds && forward && start < 40) known = 40;
                        if (atEnds && !forward && start > 0) known = 0;
                        const int64_t expected = SteppedResult(name, damagedFirst, kind, forward, start);
                        ASSERT_EQ(expected, known);
                        r.SetPacketIndex(start);
                        bool failed = false;
                        EXPECT_EQ(SearchPacket(r, kind, forward, &failed), expected >= 0);
                        EXPECT_FALSE(failed);
                        ExpectOn(r, file, expected >= 0 ? expected : start, size, garbage);
                    }
            }
}

// A search longer than the blocks it reads finds every packet in turn, also
// those at either side of a block's end, forward and backward.
TEST(PacketSearch, LongSearchesFindEveryPacketInTurn) {
    const std::vector<int64_t> starts = {1, 8191, 8192, 8193, 8194, 16384, 16385, 16386, 19998, 19999};
    TsStream ts(192);
    ts.SetLeadingGarbage(Bytes(kGarbage, 0x00));
    for (int64_t i = 0; i < 20000; ++i) {
        TsPacketOptions o;
        o.payload.assign(20, 0x11);
        o.payloadStart = std::find(starts.begin(), starts.end(), i) != starts.end();
        o.transportError = i == 8193 || i == 11806;
        if (i == 16385) o.pcr = 27000000;
        ts.Add(o);
    }
    TempFile f;
    ts.Save(f.Name());
    const Bytes file = f.Read();
    EditorReader e(f.Name());
    TTSPacketReader& r = e.reader;
    ASSERT_EQ(r.PacketCount(), 20000);
    for (const int64_t want : starts) {
        ASSERT_TRUE(SearchPacket(r, psPayloadStart, true)) << want;
        ExpectOn(r, file, want, 192);
    }
    EXPECT_FALSE(SearchPacket(r, psPayloadStart, true));
    for (size_t k = starts.size() - 1; k-- > 0;) {
        ASSERT_TRUE(SearchPacket(r, psPayloadStart, false)) << starts[k];
        ExpectOn(r, file, starts[k], 192);
    }
    EXPECT_FALSE(SearchPacket(r, psPayloadStart, false));
    ExpectOn(r, file, 1, 192);
    // From the first packet: past one and two blocks' ends.
    r.First();
    ASSERT_TRUE(SearchPacket(r, psError, true));
    ExpectOn(r, file, 8193, 192);
    r.First();
    ASSERT_TRUE(SearchPacket(r, psPcr, true));
    ExpectOn(r, file, 16385, 192);
    r.Last();
    ASSERT_TRUE(SearchPacket(r, psError, false));
    ExpectOn(r, file, 11806, 192);
    ASSERT_TRUE(SearchPacket(r, psError, false));
    ExpectOn(r, file, 8193, 192);
    r.First();
    int byte = -1;
    ASSERT_TRUE(SearchSyncByte(r, 1, byte));
    EXPECT_EQ(byte, 0);
    ExpectOn(r, file, 1, 192);
}

// Sync looks at the packets' own bytes only, never at a 192-byte packet's
// prefix, from the byte asked for on, then from byte 0 of each packet.
TEST(PacketSearch, SyncSearchCrossesPacketsWithoutSyncBytes) {
    for (const int size : {188, 192}) {
        SCOPED_TRACE(size);
        TsStream ts(size);
        ts.SetLeadingGarbage(Bytes(kGarbage, 0x00));
        for (int i = 0; i < 30; ++i) {
            TsPacketOptions o;
            o.payload.assign(150, 0x11);
            ts.Add(o);
        }
        for (int i = 10; i < 20; ++i) ts.BreakSync(static_cast<size_t>(i));
        ts.Packet(15)[100] = 0x47;
        Bytes all = ts.Render();
        if (size == 192) all[static_cast<size_t>(kGarbage + 12 * 192 + 1)] = 0x47; // a prefix byte
        TempFile f;
        f.Write(all);
        EditorReader e(f.Name());
        TTSPacketReader& r = e.reader;
        ASSERT_EQ(r.PacketCount(), 30);
        r.SetPacketIndex(9);
        int byte = -1;
        ASSERT_TRUE(SearchSyncByte(r, 1, byte));
        EXPECT_EQ(byte, 100);
        ExpectOn(r, all, 15, size);
        ASSERT_TRUE(SearchSyncByte(r, 101, byte));
        EXPECT_EQ(byte, 0);
        ExpectOn(r, all, 20, size);
        r.Last();
        bool failed = false;
        EXPECT_FALSE(SearchSyncByte(r, 1, byte, &failed));
        EXPECT_FALSE(failed);
        ExpectOn(r, all, 29, size);
    }
}

// Read as the editor reads: a packet found before the medium fails is found;
// a search that runs into the failure stops there, back on its start, and
// says so.
TEST(PacketSearch, AFailingMediumEndsTheSearchWhereItFails) {
    TsStream ts(188);
    for (int i = 0; i < 40; ++i) {
        TsPacketOptions o;
        o.pid = i % 3 == 0 ? 0x100 : 0x200;
        o.payloadStart = i == 12;
        o.payload.assign(150, 0x11);
        ts.Add(o);
    }
    TempFile f;
    ts.Save(f.Name());
    EditorReader e(f.Name(), 188 * 20 + 5);
    TTSPacketReader& r = e.reader;
    ASSERT_TRUE(r.Active());
    bool failed = false;
    ASSERT_TRUE(SearchPacket(r, psPayloadStart, true, &failed));
    EXPECT_EQ(r.PacketIndex(), 12);
    EXPECT_FALSE(failed);
    EXPECT_FALSE(SearchPacket(r, psPcr, true, &failed));
    EXPECT_TRUE(failed);
    EXPECT_EQ(r.PacketIndex(), 12);
    EXPECT_NE(r.ReadErrorText().find("The device is not ready."), std::string::npos);
    failed = false;
    int byte = -1;
    r.SetPacketIndex(19);
    EXPECT_FALSE(SearchSyncByte(r, 188, byte, &failed));
    EXPECT_TRUE(failed);
    EXPECT_EQ(r.PacketIndex(), 19);
    failed = false;
    EXPECT_FALSE(SearchPacket(r, psError, false, &failed));
    EXPECT_FALSE(failed);
    EXPECT_EQ(r.PacketIndex(), 19);
}

// A search asked to stop ends as one that found nothing: back on its start
// packet, with no read failure to tell; one let go on finds its packet.
TEST(PacketSearch, AStoppedSearchReturnsToItsStart) {
    TsStream ts(188);
    for (int i = 0; i < 20000; ++i) {
        TsPacketOptions o;
        o.payload.assign(20, 0x11);
        o.transportError = i == 15000;
        ts.Add(o);
    }
    for (const bool editorReader : {true, false}) {
        SCOPED_TRACE(editorReader ? "read in blocks" : "stepped");
        TempFile f;
        ts.Save(f.Name());
        EditorReader e(f.Name());
        TTSPacketReader& r = e.reader;
        // A reader that moves its grid by itself is stepped through.
        if (!editorReader) {
            r.SetActive(false);
            r.SetAutoResync(true);
            r.SetActive(true);
        }
        r.SetPacketIndex(100);
        int asked = 0;
        const TSearchGoOn stop = [&] {
            ++asked;
            return false;
        };
        bool failed = false;
        EXPECT_FALSE(SearchPacket(r, psError, true, &failed, stop));
        EXPECT_FALSE(failed);
        EXPECT_EQ(r.PacketIndex(), 100);
        EXPECT_EQ(asked, 1);
        if (editorReader) {
            int byte = -1;
            r.SetPacketIndex(14999);
            EXPECT_FALSE(SearchSyncByte(r, 1, byte, &failed, stop));
            EXPECT_EQ(r.PacketIndex(), 14999);
            EXPECT_FALSE(failed);
        }
        r.SetPacketIndex(100);
        asked = 0;
        ASSERT_TRUE(SearchPacket(r, psError, true, &failed, [&] { return ++asked > 0; }));
        EXPECT_EQ(r.PacketIndex(), 15000);
        EXPECT_GE(asked, 1);
    }
}

// A reader that moves its grid over a lost sync byte runs out of file before
// its last index: a search forward ends there instead of waiting for an
// index the reader cannot reach.
TEST(PacketSearch, ASearchEndsWhereAMovedGridRunsOutOfFile) {
    TsStream ts(188);
    for (int i = 0; i < 40; ++i) {
        TsPacketOptions o;
        o.payload.assign(100, 0x11);
        ts.Add(o);
    }
    ts.BreakSync(35);
    TempFile f;
    ts.Save(f.Name());
    TTSPacketReader r(nullptr);
    r.SetPacketBufferSize(0);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.AutoResync());
    r.SetPacketIndex(30);
    bool failed = false;
    EXPECT_FALSE(SearchPacket(r, psPcr, true, &failed));
    EXPECT_FALSE(failed);
    EXPECT_EQ(r.PacketIndex(), 30);
    // On the last packet the moved grid reaches (stepped to, so that the
    // grid stays moved), nothing follows.
    for (int i = 0; i < 8; ++i) r.Next();
    ASSERT_EQ(r.PacketIndex(), 38);
    int byte = -1;
    EXPECT_FALSE(SearchSyncByte(r, 1, byte, &failed));
    EXPECT_FALSE(failed);
    EXPECT_EQ(r.PacketIndex(), 38);
}
