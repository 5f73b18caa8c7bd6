// The packet reader against streams made by the builder: finding the first
// packet (188 and 192 bytes, garbage), validation texts, continuity, resync,
// dispatch to consumers, the packet views and the in-place patches.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "tests/support/FailingInput.h"
#include "tests/support/TsBuilder.h"
#include "ts/TSPacketReader.h"
#include "ts/TSPesReader.h"
#include "ts/dvb_crc32.h"

using namespace tw;
using namespace tw::test;

namespace {

// Plain stream: PAT, PMT and a few video packets with growing CCs.
TsStream CleanStream(int packetSize = 188, int videoPackets = 40) {
    TsStream s(packetSize);
    s.AddPat({{1, 0x100}});
    s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
    for (int i = 0; i < videoPackets; ++i) {
        TsPacketOptions o;
        o.pid = 0x101;
        o.payload.assign(184, static_cast<uint8_t>(i));
        s.Add(o);
    }
    return s;
}

struct Recorder {
    std::vector<std::string> invalid;
    std::vector<int64_t> invalidNo;
    std::vector<std::vector<int>> discont;
    std::vector<int> noStart;
    int m2tsAsked = 0;
    std::vector<int64_t> resync;
    int newPackets = 0;

    void Attach(TTSPacketReader& r) {
        r.OnInvalidPacketEvent = [this](TObject*, int64_t no, const std::string& e) {
            invalid.push_back(e);
            invalidNo.push_back(no);
        };
        r.OnDisconinuity = [this](TObject*, int64_t no, int pid, int cur, int last) {
            discont.push_back({static_cast<int>(no), pid, cur, last});
        };
        r.OnNoValidStartByte = [this](TObject*, int offset, bool& cont) {
            noStart.push_back(offset);
            cont = true;
        };
        r.OnM2TSPacketsDetectEvent = [this](TObject*, bool&) { ++m2tsAsked; };
        r.OnPacketResynchEvent = [this](TObject*, int64_t no, int64_t) { resync.push_back(no); };
        r.OnNewPacket = [this](TObject*) { ++newPackets; };
    }
};

void ReadAll(TTSPacketReader& r) {
    while (!r.Eof()) r.Next();
}

class FakeConsumer;
// Called by every fake consumer for each packet it gets, before it records
// it: a test's stand-in for a handler that changes other consumers.
std::function<void(FakeConsumer*)> HandlerConsumerHook;

class FakeConsumer : public TComponent, public TTSPacketConsumer {
public:
    FakeConsumer(TConsumerKind kind, int pid) : TComponent(nullptr), kind_(kind), pid_(pid) {}
    TConsumerKind ConsumerKind() const override { return kind_; }
    bool ConsumerActive() const override { return active; }
    int ConsumerPID() const override { return pid_; }
    void ProcessPacket(const TTSPacketBuffer& raw, int64_t index) override {
        if (HandlerConsumerHook) HandlerConsumerHook(this);
        packets.push_back(index);
        lengths.push_back(raw.Length);
    }
    void ProcessPesTsPacket(const TTSPacketBuffer& payload, bool start, uint8_t offset, int64_t index,
                            int cc) override {
        if (HandlerConsumerHook) HandlerConsumerHook(this);
        packets.push_back(index);
        lengths.push_back(payload.Length);
        starts.push_back(start);
        offsets.push_back(offset);
        ccs.push_back(cc);
        firstBytes.push_back(payload.Length > 0 ? payload.Data[0] : -1);
    }
    bool active = true;
    std::vector<int64_t> packets;
    std::vector<int> lengths, offsets, ccs, firstBytes;
    std::vector<bool> starts;

private:
    TConsumerKind kind_;
    int pid_;
};

// Like the PAT, PMT and PES readers: the reader reads PID and Active straight
// from these fields, so changes made after registration must still count.
class BoundConsumer : public FakeConsumer {
public:
    BoundConsumer(TConsumerKind kind, int pid) : FakeConsumer(kind, pid), pid(pid) {
        BindConsumerFields(&this->pid, &active, kind);
    }
    int ConsumerPID() const override { return pid; }
    // Bound fields change with an announcement, as the components' setters do.
    void Move(int newPid) {
        pid = newPid;
        FieldsChanged();
    }
    void Switch(bool on) {
        active = on;
        FieldsChanged();
    }
    int pid;
};

} // namespace

TEST(TSPacketReaderOpen, CleanFileStartsAtZeroWithoutQuestions) {
    TsStream s = CleanStream();
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    EXPECT_EQ(r.GarbageOffset(), 0);
    EXPECT_FALSE(r.M2TSMode());
    EXPECT_TRUE(rec.noStart.empty());
    EXPECT_EQ(r.PacketCount(), static_cast<int64_t>(s.PacketCount()));
    EXPECT_EQ(r.PacketIndex(), 0);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
    EXPECT_EQ(r.TSPacketHeader()->PacketType(), "PAT");
    ReadAll(r);
    EXPECT_TRUE(rec.invalid.empty());
    EXPECT_TRUE(rec.discont.empty());
    EXPECT_EQ(rec.newPackets, static_cast<int>(s.PacketCount()));
}

TEST(TSPacketReaderOpen, LeadingGarbageIsOfferedAndSkipped) {
    TsStream s = CleanStream();
    s.SetLeadingGarbage(Garbage(100));
    TempFile f;
    f.Write(s.Render());
    const int64_t size = static_cast<int64_t>(s.Render().size());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    ASSERT_EQ(rec.noStart, std::vector<int>{100});
    EXPECT_EQ(r.GarbageOffset(), 100);
    EXPECT_EQ(r.PacketCount(), (size - 100) / 188);
    EXPECT_EQ(r.PacketPosition(), 100);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());

    // Without a handler the garbage is skipped all the same, and the count
    // holds only whole packets, so Last reads a real one.
    TTSPacketReader quiet(nullptr);
    quiet.SetFileName(f.Name());
    quiet.SetActive(true);
    EXPECT_EQ(quiet.GarbageOffset(), 100);
    EXPECT_EQ(quiet.PacketCount(), (size - 100) / 188);
    quiet.Last();
    EXPECT_TRUE(quiet.TSPacketHeader()->Valid());
}

TEST(TSPacketReaderOpen, RefusingTheGarbageQuestionClosesTheReader) {
    TsStream s = CleanStream();
    s.SetLeadingGarbage(Garbage(50));
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.OnNoValidStartByte = [](TObject*, int, bool& cont) { cont = false; };
    r.SetFileName(f.Name());
    r.SetActive(true);
    EXPECT_FALSE(r.Active());
    EXPECT_EQ(r.PacketCount(), 0);
}

TEST(TSPacketReaderOpen, NoStartByteCheckReadsFromOffsetZero) {
    TsStream s = CleanStream();
    s.SetLeadingGarbage(Garbage(30));
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetNoStartByteCheck(true);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    EXPECT_EQ(r.GarbageOffset(), 0);
    EXPECT_TRUE(rec.noStart.empty());
    // The garbage at offset 0 is reported; the packet found behind it is
    // packet 0.
    EXPECT_EQ(rec.invalidNo, (std::vector<int64_t>{0}));
    EXPECT_EQ(rec.resync, (std::vector<int64_t>{0}));
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.PacketPosition(), 30);
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
}

// In a 192-byte file a sync byte before the end of the first prefix has no
// prefix in front of it: the search passes over it even when a sync byte
// follows a packet further on, and finds the first real packet.
TEST(TSPacketReaderOpen, SyncByteInsideTheFirstPrefixIsNoPacket) {
    TsStream s = CleanStream(192, 40);
    Bytes garbage(250, 0x00);
    garbage[1] = 0x47;
    garbage[193] = 0x47; // a packet after byte 1, but none after byte 193
    s.SetLeadingGarbage(garbage);
    TempFile f(".m2ts");
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetNoStartByteCheck(true);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    ASSERT_EQ(r.WorkingPacketSize(), 192);
    EXPECT_EQ(rec.resync, (std::vector<int64_t>{0}));
    EXPECT_EQ(r.ResyncOffset(), 250);
    EXPECT_EQ(r.PacketPosition(), 250);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
}

TEST(TSPacketReaderOpen, MissingFileStaysInactive) {
    TTSPacketReader r(nullptr);
    r.SetFileName("/nonexistent/dir/none.ts");
    r.SetActive(true);
    EXPECT_FALSE(r.Active());
    r.SetPacketIndex(5);
    EXPECT_EQ(r.PacketIndex(), 0);
    EXPECT_FALSE(r.Eof());
}

TEST(TSPacketReaderM2TS, CleanFileReadsItsFirstPacket) {
    TsStream s = CleanStream(192, 60);
    TempFile f(".m2ts");
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    EXPECT_EQ(rec.m2tsAsked, 1);
    EXPECT_TRUE(r.M2TSMode());
    EXPECT_EQ(r.WorkingPacketSize(), 192);
    EXPECT_EQ(r.PacketSize(), 188);
    // The first packet (the PAT) is read at its prefix; nothing is asked.
    EXPECT_EQ(r.GarbageOffset(), 0);
    EXPECT_TRUE(rec.noStart.empty());
    EXPECT_EQ(r.PacketPosition(), 0);
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
    EXPECT_EQ(r.M2TSPrefix()[0], s.Render()[0]);
    EXPECT_EQ(r.PacketCount(), static_cast<int64_t>(s.PacketCount()));
    ReadAll(r);
    EXPECT_TRUE(rec.invalid.empty());
    EXPECT_EQ(rec.newPackets, static_cast<int>(s.PacketCount()));

    // Closing forgets the packet grid and the packet: nothing is left that
    // the next file, or a caller looking at the header, could take for its own.
    r.First();
    EXPECT_EQ(r.TSPacketHeader()->PacketType(), "PAT");
    r.Close();
    EXPECT_FALSE(r.M2TSMode());
    EXPECT_EQ(r.WorkingPacketSize(), 188);
    EXPECT_EQ(r.TSPacketHeader()->PacketType(), "");
}

TEST(TSPacketReaderM2TS, GarbageBeforeTheFirstPrefixIsOffered) {
    TsStream s = CleanStream(192, 60);
    s.SetLeadingGarbage(Garbage(77));
    TempFile f(".m2ts");
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    ASSERT_EQ(rec.noStart, std::vector<int>{77});
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.PacketCount(), static_cast<int64_t>(s.PacketCount()));
}

TEST(TSPacketReaderM2TS, DetectionCanBeRefused) {
    TsStream s = CleanStream(192, 60);
    TempFile f(".m2ts");
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.OnM2TSPacketsDetectEvent = [](TObject*, bool& cont) { cont = false; };
    r.SetFileName(f.Name());
    r.SetActive(true);
    EXPECT_FALSE(r.Active());
}

TEST(TSPacketReaderM2TS, LostSyncResynchronisesOnThePrefixGrid) {
    TsStream s = CleanStream(192, 60);
    // 50 stray bytes between packets 20 and 21 shift the rest of the file.
    s.InsertGarbageBefore(21, Garbage(50, 7));
    TempFile f(".m2ts");
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.M2TSMode());
    ReadAll(r);
    ASSERT_EQ(rec.resync.size(), 1u);
    EXPECT_EQ(rec.resync[0], 21);
    EXPECT_EQ(r.ResyncOffset(), 50);
    // The packet found behind the garbage is delivered under the number
    // whose read met the garbage: nothing is lost, no counter breaks.
    EXPECT_EQ(rec.invalid.size(), 1u);
    EXPECT_TRUE(rec.discont.empty());
    EXPECT_EQ(rec.newPackets, static_cast<int>(s.PacketCount()));
    EXPECT_TRUE(r.ReadErrorText().empty());
}

TEST(TSPacketReaderRead, EofKeepsTheIndex) {
    TsStream s = CleanStream();
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    const int64_t n = r.PacketCount();
    r.SetPacketIndex(5);
    r.SetPacketIndex(n);
    EXPECT_TRUE(r.Eof());
    EXPECT_EQ(r.PacketIndex(), 5);
    r.Last();
    EXPECT_EQ(r.PacketIndex(), n - 1);
    EXPECT_FALSE(r.Eof()); // the last packet ends exactly at the end of the file
    r.Next();
    EXPECT_TRUE(r.Eof());
    EXPECT_EQ(r.PacketIndex(), n - 1);
    r.First();
    EXPECT_FALSE(r.Eof());
    EXPECT_EQ(r.PacketIndex(), 0);
    r.Previous();
    EXPECT_EQ(r.PacketIndex(), 0);
}

TEST(TSPacketReaderRead, PartialLastPacketClearsTheViews) {
    TsStream s = CleanStream();
    Bytes data = s.Render();
    data.resize(data.size() + 100, 0x47); // a packet cut short
    TempFile f;
    f.Write(data);
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_EQ(r.PacketCount(), static_cast<int64_t>(s.PacketCount()));
    r.SetPacketIndex(r.PacketCount());
    EXPECT_TRUE(r.Eof());
    EXPECT_EQ(r.RawPacket().Length, 100);
    EXPECT_FALSE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
    // No packet, so no reserved PID's name either.
    EXPECT_EQ(r.TSPacketHeader()->PacketType(), "");
}

TEST(TSPacketReaderOpen, AFailingHandlerReachesTheCallerAndClosesTheReader) {
    TsStream s = CleanStream();
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.OnNewPacket = [](TObject*) { throw EAbort("stop"); };
    r.SetFileName(f.Name());
    EXPECT_THROW(r.SetActive(true), EAbort);
    EXPECT_FALSE(r.Active());
    EXPECT_FALSE(r.Eof());
    // Once the handler behaves, the same reader opens the file.
    r.OnNewPacket = nullptr;
    r.SetActive(true);
    EXPECT_TRUE(r.Active());
    EXPECT_TRUE(r.LastErrorText().empty());
}

TEST(TSPacketReaderValidate, ErrorTexts) {
    TsStream s = CleanStream(188, 4);
    TsPacketOptions bad;
    bad.pid = 0x101;
    bad.afc = 3;
    bad.adaptation = true;
    bad.afLength = 200;
    const size_t afBad = s.Add(bad);
    const size_t noSync = s.Add(bad);
    s.BreakSync(noSync);
    TsPacketOptions te;
    te.pid = 0x101;
    te.payload.assign(184, 1);
    const size_t teIdx = s.Add(te);
    s.SetTransportError(teIdx);
    TsPacketOptions reserved = te;
    reserved.afc = 0;
    const size_t resIdx = s.Add(reserved);
    s.AddNull(3);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetAutoResync(false);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    ASSERT_EQ(rec.invalid.size(), 4u);
    EXPECT_EQ(rec.invalid[0], "payload_length_error, adaptation_field_length_error200");
    EXPECT_EQ(rec.invalidNo[0], static_cast<int64_t>(afBad));
    EXPECT_EQ(rec.invalid[1], "sync_byte_error");
    EXPECT_EQ(rec.invalid[2], "transport_error_indicator");
    EXPECT_EQ(rec.invalidNo[3], static_cast<int64_t>(resIdx));
    EXPECT_EQ(rec.invalid[3], "illegal_adaptation_field_type");

    r.SetPacketIndex(static_cast<int64_t>(afBad));
    EXPECT_TRUE(r.TSPacketHeader()->PaketErrors().Contains(pePayloadLength));
    EXPECT_TRUE(r.TSPacketHeader()->PaketErrors().Contains(peInvalidAFLength));
    EXPECT_FALSE(r.TSPacketHeader()->PaketErrors().Contains(peSyncByte));
}

TEST(TSPacketReaderValidate, IgnorePacketErrorsStillFindsTheStart) {
    TsStream s = CleanStream(188, 10);
    s.SetLeadingGarbage(Garbage(20));
    s.SetTransportError(5);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetIgnorePacketErrors(true);
    r.SetFileName(f.Name());
    r.SetActive(true);
    EXPECT_EQ(r.GarbageOffset(), 20);
    ReadAll(r);
    EXPECT_TRUE(rec.invalid.empty());
}

TEST(TSPacketReaderValidate, ScrambledPacketsAndTheirHandler) {
    TsStream s = CleanStream(188, 6);
    s.SetScrambled(4, 3);
    s.SetScrambled(5, 2);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    std::vector<int> asked;
    r.OnScrambledPacketEvent = [&](TObject*, int64_t no, int pid, int& tsc, bool& ignore) {
        asked.push_back(tsc);
        if (no == 4) {
            ignore = true;
            tsc = 0;
        }
    };
    r.SetFileName(f.Name());
    r.SetActive(true);
    r.SetPacketIndex(4);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_TRUE(r.TSPacketHeader()->PaketErrors().Contains(peScrambled));
    EXPECT_EQ(r.TSPacketHeader()->TransportScramblingControl(), 0);
    EXPECT_EQ(r.RawPacket().Data[3] >> 6, 0);
    r.SetPacketIndex(5);
    EXPECT_FALSE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(rec.invalid.back(), "transport_scrambling_control");
    EXPECT_EQ(asked, (std::vector<int>{3, 2}));
}

TEST(TSPacketReaderContinuity, RepeatedPacketIsReportedOnce) {
    TsStream s(188);
    // The counter repeats on other data (a true second sending is no break:
    // see the next test).
    int n = 0;
    for (int cc : {5, 6, 6, 7}) {
        TsPacketOptions o;
        o.pid = 0x200;
        o.cc = cc;
        o.payload.assign(184, static_cast<uint8_t>(n++));
        s.Add(o, false);
    }
    // An adaptation-only packet keeping an old counter is never reported.
    TsPacketOptions af;
    af.pid = 0x200;
    af.cc = 2;
    af.pcr = 27000000;
    s.Add(af, false);
    TsPacketOptions next;
    next.pid = 0x200;
    next.cc = 3;
    next.payload.assign(184, 0);
    s.Add(next, false);
    s.AddNull(2);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    ASSERT_EQ(rec.discont.size(), 1u);
    EXPECT_EQ(rec.discont[0], (std::vector<int>{2, 0x200, 6, 6}));
    ASSERT_GE(r.PidTableCount(), 1);
    EXPECT_EQ(r.PidRecord(0).PID, 0x200);
    EXPECT_EQ(r.PidRecord(0).PacketCount, 6);
    EXPECT_EQ(r.PidRecord(0).FirstIndex, 0);
    EXPECT_EQ(r.PidRecord(0).LastIndex, 5);
}

// A packet sent twice in a row (the same counter, every byte the same but a
// PCR) is no break, and its payload reaches the readers once. A third
// sending, a repeat of an adaptation-only packet and a repeat after a jump
// are judged like any other packet; a real gap after a repeat is reported.
TEST(TSPacketReaderContinuity, ASecondSendingIsNoBreakAndReachesTheReadersOnce) {
    TsStream s(188);
    auto payload = [](int pid, int cc, uint8_t fill, bool start = false) {
        TsPacketOptions o;
        o.pid = pid;
        o.cc = cc;
        o.payloadStart = start;
        o.payload.assign(184, fill);
        return o;
    };
    s.Add(payload(0x200, 5, 1, true), false);      // 0
    s.Add(payload(0x200, 5, 1, true), false);      // 1: repeat
    s.Add(payload(0x200, 6, 2), false);            // 2
    s.Add(payload(0x300, 0, 9), false);            // 3: another PID between
    s.Add(payload(0x200, 6, 2), false);            // 4: repeat
    s.Add(payload(0x200, 6, 2), false);            // 5: third sending: a break
    s.Add(payload(0x200, 9, 3), false);            // 6: a real gap
    TsPacketOptions pcr = payload(0x200, 10, 4);
    pcr.adaptation = true;
    pcr.pcr = 27000000;
    s.Add(pcr, false);                             // 7
    pcr.pcr = 27000000 + 2700;
    s.Add(pcr, false);                             // 8: repeat with a new PCR
    TsPacketOptions af;
    af.pid = 0x200;
    af.cc = 10;
    af.pcr = 27010000;
    s.Add(af, false);                              // 9: adaptation only
    s.Add(af, false);                              // 10: the same again
    s.Add(payload(0x200, 11, 5), false);           // 11
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    std::vector<int64_t> repeats, starts;
    r.OnNewPacket = [&](TObject*) {
        if (r.RepeatedPacket()) repeats.push_back(r.PacketIndex());
    };
    r.OnPayloadStartEvent = [&](TObject*, int64_t no, int) { starts.push_back(no); };
    struct Collector : TObject, TTSPacketConsumer {
        std::vector<int64_t> packets;
        TConsumerKind ConsumerKind() const override { return ckPes; }
        bool ConsumerActive() const override { return true; }
        int ConsumerPID() const override { return 0x200; }
        void ProcessPesPayload(const uint8_t*, int, bool, uint8_t, int64_t packetIndex, int) override {
            packets.push_back(packetIndex);
        }
    } pes;
    r.AddReader(&pes);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    EXPECT_EQ(repeats, (std::vector<int64_t>{1, 4, 8}));
    EXPECT_EQ(starts, (std::vector<int64_t>{0}));
    ASSERT_EQ(rec.discont.size(), 2u);
    EXPECT_EQ(rec.discont[0], (std::vector<int>{5, 0x200, 6, 6}));
    EXPECT_EQ(rec.discont[1], (std::vector<int>{6, 0x200, 9, 6}));
    // The readers were handed every packet but the three repeats.
    EXPECT_EQ(pes.packets, (std::vector<int64_t>{0, 2, 5, 6, 7, 9, 10, 11}));

    // Read again from the repeat itself: the packet before is not known, so
    // it is no repeat; read on from its original, it is.
    r.SetPacketIndex(1);
    EXPECT_FALSE(r.RepeatedPacket());
    r.SetPacketIndex(0);
    r.Next();
    EXPECT_TRUE(r.RepeatedPacket());
}

// A packet whose adaptation field flags a discontinuity may restart the
// count: no gap; the same jump unflagged is one. An adaptation-only packet
// that flags one sets the count the next packet is judged by.
// Null packets carry no continuity of their own: muxers write any counter
// on them, often the same bytes again and again. They are counted, but
// neither a break nor a repeat; the stream around them is judged as ever.
TEST(TSPacketReaderContinuity, NullPacketsAreNeitherBreaksNorRepeats) {
    TsStream s(188);
    for (int cc : {0, 0, 0, 7, 3, 3}) {
        TsPacketOptions o;
        o.pid = 0x1FFF;
        o.cc = cc;
        o.payload.assign(184, 0xFF);
        s.Add(o, false);
    }
    TsPacketOptions a;
    a.pid = 0x200;
    a.cc = 4;
    a.payload.assign(184, 1);
    s.Add(a, false);
    a.cc = 6;
    s.Add(a, false);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    int repeats = r.RepeatedPacket() ? 1 : 0;
    while (!r.Eof()) {
        r.Next();
        if (r.RepeatedPacket()) ++repeats;
    }
    EXPECT_EQ(repeats, 0);
    ASSERT_EQ(rec.discont.size(), 1u);
    EXPECT_EQ(rec.discont[0], (std::vector<int>{7, 0x200, 6, 4}));
    ASSERT_GE(r.PidTableCount(), 1);
    EXPECT_EQ(r.PidRecord(0).PID, 0x1FFF);
    EXPECT_EQ(r.PidRecord(0).PacketCount, 6);
}

TEST(TSPacketReaderContinuity, AFlaggedDiscontinuityIsNoBreak) {
    TsStream s(188);
    auto packet = [&](int cc, bool flagged, bool withPayload = true) {
        TsPacketOptions o;
        o.pid = 0x200;
        o.cc = cc;
        if (flagged) {
            o.adaptation = true;
            o.afFlags = 0x80;
        }
        if (withPayload) o.payload.assign(100, static_cast<uint8_t>(cc));
        s.Add(o, false);
    };
    packet(1, false);
    packet(2, false);
    packet(9, true);         // 2: restarts the count
    packet(10, false);
    packet(4, false);        // 4: a gap
    packet(5, false);
    packet(0, true, false);  // 6: adaptation only, flagged
    packet(1, false);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    ASSERT_EQ(rec.discont.size(), 1u);
    EXPECT_EQ(rec.discont[0], (std::vector<int>{4, 0x200, 4, 10}));
}

TEST(TSPacketReaderContinuity, JumpsDoNotReportBreaks) {
    TsStream s = CleanStream(188, 30);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    r.SetPacketIndex(10);
    r.SetPacketIndex(20);
    r.Next();
    r.Previous();
    EXPECT_TRUE(rec.discont.empty());
}

TEST(TSPacketReaderContinuity, PidTableHoldsAtMost255Pids) {
    TsStream s(188);
    for (int pid = 0x20; pid < 0x20 + 256; ++pid) {
        TsPacketOptions o;
        o.pid = pid;
        o.payload.assign(184, 0);
        s.Add(o);
    }
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    EXPECT_EQ(r.PidTableCount(), 255);
    EXPECT_EQ(r.PidRecord(254).PID, 0x20 + 254);
}

TEST(TSPacketReaderResync, LostSyncIn188ByteFile) {
    TsStream s = CleanStream(188, 30);
    s.InsertGarbageBefore(12, Garbage(33, 3));
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    std::vector<int> pids;
    r.OnNewPacket = [&](TObject* sender) { pids.push_back(static_cast<TTSPacketReader*>(sender)->TSPacketHeader()->PID()); };
    ReadAll(r);
    ASSERT_EQ(rec.resync, (std::vector<int64_t>{12}));
    EXPECT_EQ(r.ResyncOffset(), 33);
    EXPECT_EQ(rec.invalid.size(), 1u);
    // Every packet after the first arrives, the one behind the stray bytes
    // under the number whose read met them; no counter breaks.
    EXPECT_EQ(pids.size(), s.PacketCount() - 1);
    EXPECT_TRUE(rec.discont.empty());
    EXPECT_EQ(r.PacketIndex(), static_cast<int64_t>(s.PacketCount()) - 1);
}

// Every kind of lost sync, in both packet sizes: stray bytes, missing bytes
// (a packet cut short) and two losses in a row. Each packet that is whole in
// the file reaches the consumers exactly once and in order.
TEST(TSPacketReaderResync, NoWholePacketIsLostOrRepeated) {
    struct Case {
        int size;
        int at;
        int strayBytes;  // > 0 stray bytes before packet `at`, < 0 bytes cut off its predecessor
        int secondAt;
    };
    for (const Case c : {Case{188, 12, 33, 0}, Case{188, 5, 1, 7}, Case{188, 9, 187, 0}, Case{188, 12, -10, 0},
                         Case{192, 21, 50, 0}, Case{192, 20, -30, 0}, Case{188, 3, 100, 20}}) {
        TsStream s = CleanStream(c.size, 30);
        if (c.strayBytes > 0) s.InsertGarbageBefore(c.at, Garbage(static_cast<size_t>(c.strayBytes), 3));
        if (c.secondAt > 0) s.InsertGarbageBefore(c.secondAt, Garbage(20, 5));
        Bytes bytes = s.Render();
        if (c.strayBytes < 0) {
            // Bytes cut off the end of packet at-1: its header stays, so it
            // is still read (with the next one's start as its tail).
            const size_t end = static_cast<size_t>(c.at) * static_cast<size_t>(c.size);
            bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(end) + c.strayBytes,
                        bytes.begin() + static_cast<std::ptrdiff_t>(end));
        }
        TempFile f(c.size == 192 ? ".m2ts" : ".ts");
        f.Write(bytes);
        TTSPacketReader r(nullptr);
        Recorder rec;
        rec.Attach(r);
        std::vector<int> payloads;
        r.OnNewPacket = [&](TObject*) {
            if (r.TSPacketHeader()->PID() == 0x101) payloads.push_back(r.RawPacket().Data[4]);
        };
        r.SetFileName(f.Name());
        r.SetActive(true);
        ReadAll(r);
        const std::string what = std::to_string(c.size) + "/" + std::to_string(c.at) + "/" +
                                 std::to_string(c.strayBytes) + "/" + std::to_string(c.secondAt);
        // Video packet i carries payload byte i.
        std::vector<int> expected;
        for (int i = 0; i < 30; ++i) expected.push_back(i);
        EXPECT_EQ(payloads, expected) << what;
        EXPECT_EQ(rec.resync.size(), c.secondAt > 0 ? 2u : 1u) << what;
        EXPECT_TRUE(r.ReadErrorText().empty()) << what;
    }
}

// A packet that lost bytes inside it is read whole up to the next packet's
// start: the search proves it short, so it comes as invalid (once, under its
// own index) while the packet behind it is read where it lies, valid and
// whole, with no report of its own.
TEST(TSPacketReaderResync, APacketProvenShortIsInvalidAndItsSuccessorWhole) {
    for (const int size : {188, 192}) {
        SCOPED_TRACE(size);
        TsStream s = CleanStream(size, 30);
        Bytes bytes = s.Render();
        const size_t cut = 12;
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(cut * size + 100),
                    bytes.begin() + static_cast<std::ptrdiff_t>(cut * size + 150));
        TempFile f(size == 192 ? ".m2ts" : ".ts");
        f.Write(bytes);
        TTSPacketReader r(nullptr);
        Recorder rec;
        rec.Attach(r);
        std::vector<int64_t> invalidSeen;
        std::vector<int> payloads;
        r.OnNewPacket = [&](TObject*) {
            const TTSPacketHeader* h = r.TSPacketHeader();
            if (!h->Valid()) {
                invalidSeen.push_back(r.PacketIndex());
                EXPECT_TRUE(h->PaketErrors().Contains(peShortPacket));
            }
            if (h->PID() == 0x101) payloads.push_back(r.RawPacket().Data[4]);
            if (r.PacketIndex() == static_cast<int64_t>(cut) + 1) {
                EXPECT_TRUE(h->Valid());
                EXPECT_EQ(r.RawPacket().Data[5], r.RawPacket().Data[187]); // its own bytes to the end
            }
        };
        r.SetFileName(f.Name());
        r.SetActive(true);
        ReadAll(r);
        EXPECT_EQ(invalidSeen, std::vector<int64_t>{static_cast<int64_t>(cut)});
        EXPECT_EQ(rec.invalidNo, std::vector<int64_t>{static_cast<int64_t>(cut)});
        EXPECT_EQ(rec.resync, std::vector<int64_t>{static_cast<int64_t>(cut) + 1});
        std::vector<int> expected;
        for (int i = 0; i < 30; ++i) expected.push_back(i);
        EXPECT_EQ(payloads, expected);
    }
}

// A read that fails while the search looks past stray bytes is a failure,
// not the end of the search: the reading stops with the file's name and the
// reason, even when the medium answers again for the next packet.
TEST(TSPacketReaderResync, AReadThatFailsDuringTheSearchIsReported) {
    // Fails once, the first read after opening that reaches failAt.
    class FailingOnce : public TBufFileStream {
    public:
        FailingOnce(const std::string& name, unsigned mode, int bufferSize, int64_t failAt)
            : TBufFileStream(name, mode, bufferSize), failAt_(failAt) {}
        ~FailingOnce() override { FinishReading(); }
        bool armed = false;

    protected:
        int64_t ReadFromFile(int64_t position, void* buffer, int64_t count, std::string* error) const override {
            if (!armed || failed_ || position + count <= failAt_)
                return TBufFileStream::ReadFromFile(position, buffer, count, error);
            failed_ = true;
            const int64_t part = std::max<int64_t>(0, failAt_ - position);
            const int64_t got = part > 0 ? TBufFileStream::ReadFromFile(position, buffer, part, error) : 0;
            if (error) *error = "The device is not ready.";
            return got;
        }

    private:
        int64_t failAt_;
        mutable bool failed_ = false;
    };
    for (int size : {188, 192}) {
        TsStream s = CleanStream(size, 40);
        s.InsertGarbageBefore(20, Garbage(300, 3));
        TempFile f(size == 192 ? ".m2ts" : ".ts");
        f.Write(s.Render());
        // Inside the stray bytes, behind the packet read there: only the
        // search reads it.
        const int64_t failAt = 20 * size + 240;
        FailingOnce* stream = nullptr;
        TTSPacketReader r(nullptr);
        r.SetPacketBufferSize(0);
        r.CreateInputStream = [&](const std::string& name, unsigned mode, int bufferSize) {
            auto made = std::make_unique<FailingOnce>(name, mode, bufferSize, failAt);
            stream = made.get();
            return std::unique_ptr<TBufFileStream>(std::move(made));
        };
        Recorder rec;
        rec.Attach(r);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.Active());
        ASSERT_NE(stream, nullptr);
        stream->armed = true;
        ReadAll(r);
        const std::string& text = r.ReadErrorText();
        EXPECT_NE(text.find(f.Name()), std::string::npos) << size << ": " << text;
        EXPECT_NE(text.find("The device is not ready."), std::string::npos) << size << ": " << text;
        EXPECT_TRUE(rec.resync.empty()) << size;
        EXPECT_EQ(r.PacketIndex(), 20) << size;
    }
}

// Stray bytes full of sync bytes that lead nowhere (none has another one a
// packet further on) in front of a packet, of every length up to beyond the
// reach of one search: the search passes over all of them wherever they lie,
// finds the packet behind them and loses none. At the end of the file such
// bytes find nothing, though the bytes a packet behind them are not there
// to rule them out. (The recording is long enough for the stray bytes to lie
// outside the middle part that tells 188 from 192-byte packets.)
TEST(TSPacketReaderResync, SyncBytesThatLeadNowhereArePassedOver) {
    constexpr int kVideo = 1100;
    std::vector<int> lengths;
    for (int n = 1; n <= 130; ++n) lengths.push_back(n);
    for (int n : {187, 188, 191, 192, 383, 1001, 1692, 1693, 1724, 1725, 1900, 2500}) lengths.push_back(n);
    for (int size : {188, 192}) {
        TsStream s(size);
        s.AddPat({{1, 0x100}});
        s.AddPmt(0x100, 1, 0x101, {{2, 0x101, {}}});
        std::vector<int> expected;
        for (int i = 0; i < kVideo; ++i) {
            TsPacketOptions o;
            o.pid = 0x101;
            o.payload.assign(184, static_cast<uint8_t>(i % 60)); // never a sync byte
            s.Add(o);
            expected.push_back(i % 60);
        }
        const Bytes clean = s.Render();
        // Where a packet read on the grid through the stray bytes would find
        // its sync byte: none is put there, so that every such read fails.
        const int gridSync = size - TS_PACKET_SIZE;
        for (bool atEnd : {false, true}) {
            for (int length : lengths) {
                Bytes bytes = clean;
                const size_t g = atEnd ? bytes.size() : static_cast<size_t>(12 * size);
                bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(g), static_cast<size_t>(length), 0x00);
                auto isSync = [&](int64_t at) {
                    return at >= 0 && at < static_cast<int64_t>(bytes.size()) && bytes[static_cast<size_t>(at)] == 0x47;
                };
                // From the back, so that the bytes a packet further on are final.
                for (int p = length - 1; p >= 0; --p) {
                    const int64_t at = static_cast<int64_t>(g) + p;
                    if (p % 5 == 3 || p % size == gridSync || isSync(at + size) || isSync(at - size)) continue;
                    bytes[static_cast<size_t>(at)] = 0x47;
                }
                TempFile f(size == 192 ? ".m2ts" : ".ts");
                f.Write(bytes);
                TTSPacketReader r(nullptr);
                Recorder rec;
                rec.Attach(r);
                std::vector<int> payloads;
                r.OnNewPacket = [&](TObject*) {
                    if (r.TSPacketHeader()->PID() == 0x101) payloads.push_back(r.RawPacket().Data[4]);
                };
                r.SetFileName(f.Name());
                r.SetActive(true);
                ReadAll(r);
                const std::string what =
                    std::to_string(size) + (atEnd ? " at the end, " : " in front, ") + std::to_string(length);
                ASSERT_EQ(r.WorkingPacketSize(), size) << what;
                ASSERT_EQ(payloads, expected) << what;
                ASSERT_EQ(rec.resync.size(), atEnd ? 0u : 1u) << what;
                if (!atEnd) {
                    // One search reaches nine packets' worth of bytes past
                    // the packet that lost its sync (from the prefix on in
                    // 192-byte files); each packet read further into longer
                    // stray bytes fails and searches again.
                    const int reach = 9 * size - (size - TS_PACKET_SIZE);
                    int failed = 0;
                    while (length > reach + failed * size) ++failed;
                    ASSERT_EQ(rec.invalid.size(), static_cast<size_t>(failed + 1)) << what;
                    ASSERT_EQ(r.ResyncOffset(), length - failed * size) << what;
                }
                ASSERT_TRUE(r.ReadErrorText().empty()) << what;
            }
        }
    }
}

// A resynchronisation on a jump (not reading on) delivers the packet found,
// and a handler that closes the reader on the resync event is obeyed.
TEST(TSPacketReaderResync, JumpAndClosingHandler) {
    TsStream s = CleanStream(188, 30);
    s.InsertGarbageBefore(12, Garbage(33, 3));
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    r.SetPacketIndex(12);
    EXPECT_TRUE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(r.PacketPosition(), 12 * 188 + 33);
    EXPECT_EQ(r.RawPacket().Data[4], 10); // video packet 10 (after PAT and PMT)
    int after = 0;
    r.OnPacketResynchEvent = [&](TObject*, int64_t, int64_t) { r.SetActive(false); };
    r.OnNewPacket = [&](TObject*) { ++after; };
    r.First();
    while (r.Active() && !r.Eof()) r.Next();
    EXPECT_FALSE(r.Active());
    EXPECT_EQ(after, 12);
}

TEST(TSPacketReaderFind, FindFirstPacketBoth188And192) {
    for (int size : {188, 192}) {
        TsStream s = CleanStream(size, 40);
        s.SetLeadingGarbage(Garbage(size == 188 ? 411 : 250));
        TempFile f;
        f.Write(s.Render());
        TTSPacketReader r(nullptr);
        r.SetNoStartByteCheck(true);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.FindFirstPacket()) << size;
        EXPECT_EQ(r.WorkingPacketSize(), size);
        const int64_t first = size == 188 ? 411 : 250;
        EXPECT_EQ(r.PacketPosition(), first) << size;
        EXPECT_EQ(r.GarbageOffset(), first % size);
        EXPECT_TRUE(r.TSPacketHeader()->Valid());
        EXPECT_EQ(r.TSPacketHeader()->PID(), 0);
    }
}

TEST(TSPacketReaderDispatch, ConsumersGetTheirPidsInOrder) {
    TsStream s(188);
    s.AddPat({{1, 0x100}});
    s.AddPes(0x101, PesPacket(0xE0, Bytes(400, 0x11), 90000), 27000000, true);
    s.AddPat({{1, 0x100}});
    TempFile f;
    f.Write(s.Render());

    TTSPacketReader r(nullptr);
    FakeConsumer pat(TTSPacketConsumer::ckPat, 0);
    FakeConsumer pes(TTSPacketConsumer::ckPes, 0x101);
    FakeConsumer idle(TTSPacketConsumer::ckPes, 0x101);
    idle.active = false;
    TComponent notAConsumer(nullptr);
    r.AddReader(&pat);
    r.AddReader(&pes);
    r.AddReader(&idle);
    r.AddReader(&notAConsumer);
    EXPECT_EQ(r.ReaderCount(), 3);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);

    EXPECT_EQ(pat.packets, (std::vector<int64_t>{0, static_cast<int64_t>(s.PacketCount()) - 1}));
    EXPECT_EQ(pat.lengths[0], 188);
    ASSERT_EQ(pes.packets.size(), s.PacketCount() - 2);
    EXPECT_TRUE(pes.starts[0]);
    EXPECT_FALSE(pes.starts[1]);
    EXPECT_EQ(pes.offsets[0], 4 + 1 + 7); // adaptation field with PCR
    EXPECT_EQ(pes.lengths[0], 188 - 12);
    EXPECT_EQ(pes.firstBytes[0], 0x00);   // the PES start code prefix
    EXPECT_EQ(pes.ccs[0], 0);
    EXPECT_EQ(pes.ccs[1], 1);
    EXPECT_TRUE(idle.packets.empty());
}

// A PES reader fed by the packet reader gets each payload from where it lies
// in the packet: behind a PCR field, behind stuffing, or behind four header
// bytes. A damaged packet let through by IgnorePacketErrors (adaptation
// field longer than the packet) adds nothing and reads nothing outside it.
TEST(TSPacketReaderDispatch, PesReaderCollectsThePayloadsWhereTheyLie) {
    Bytes es(700);
    for (size_t i = 0; i < es.size(); ++i) es[i] = static_cast<uint8_t>(i * 7);
    const Bytes pes = PesPacket(0xE0, es, 90000);
    TsStream s(188);
    s.AddPes(0x101, pes, 27000000, true);
    TsPacketOptions o;
    o.pid = 0x101;
    o.payload.assign(184, 0xEE);
    Bytes damaged = MakePacket(o);
    damaged[3] = static_cast<uint8_t>(damaged[3] | 0x30);
    damaged[4] = 190;
    s.AddRaw(damaged);
    TempFile f;
    f.Write(s.Render());

    TTSPacketReader r(nullptr);
    TTSPesReader collector(nullptr);
    collector.SetPID(0x101);
    collector.SetActive(true);
    FakeConsumer seen(TTSPacketConsumer::ckPes, 0x101);
    r.AddReader(&collector);
    r.AddReader(&seen);
    r.SetIgnorePacketErrors(true);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);

    ASSERT_EQ(seen.lengths.size(), s.PacketCount());
    EXPECT_EQ(seen.lengths.back(), 188 - (190 + 5)); // what the header says, damage and all
    ASSERT_EQ(collector.Collection().Count, static_cast<int>(pes.size()));
    EXPECT_EQ(Bytes(collector.Collection().Bytes, collector.Collection().Bytes + pes.size()), pes);
    EXPECT_EQ(collector.TSPacketCount(), static_cast<int>(s.PacketCount()));
}

TEST(TSPacketReaderDispatch, BoundFieldsChangedAfterRegistrationCount) {
    TsStream s(188);
    s.AddPat({{1, 0x100}});
    s.AddPes(0x101, PesPacket(0xE0, Bytes(400, 0x11), 90000), 27000000, true);
    s.AddPat({{1, 0x100}});
    TempFile f;
    f.Write(s.Render());

    TTSPacketReader r(nullptr);
    BoundConsumer pat(TTSPacketConsumer::ckPat, 0x1FFF);
    BoundConsumer pes(TTSPacketConsumer::ckPes, 0x101);
    r.AddReader(&pat);
    r.AddReader(&pes);
    r.SetFileName(f.Name());
    r.SetActive(true);
    // Packet 0 (the first PAT) went by before the move to PID 0; the last
    // PAT comes as a whole packet.
    pat.Move(0);
    r.Next();
    pes.Switch(false);
    ReadAll(r);
    EXPECT_EQ(pat.packets, (std::vector<int64_t>{static_cast<int64_t>(s.PacketCount()) - 1}));
    EXPECT_EQ(pat.lengths[0], 188);
    // Switched off after its first packet.
    ASSERT_EQ(pes.packets.size(), 1u);
    EXPECT_EQ(pes.packets[0], 1);
    EXPECT_TRUE(pes.starts[0]);
}

TEST(TSPacketReaderDispatch, ManyConsumersOfOnePidInRegistrationOrder) {
    // More consumers than the PID index holds: those beyond it are asked
    // for every packet, after the indexed ones, so the order still holds.
    TsStream s = CleanStream(188, 3);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    std::vector<std::unique_ptr<BoundConsumer>> consumers;
    std::vector<int> order;
    for (int k = 0; k < 70; ++k) {
        consumers.push_back(std::make_unique<BoundConsumer>(TTSPacketConsumer::ckPat, k % 2 ? 0x101 : 0));
        r.AddReader(consumers.back().get());
    }
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    for (int k = 0; k < 70; ++k) {
        const size_t expected = k % 2 ? 3 : 1;
        EXPECT_EQ(consumers[static_cast<size_t>(k)]->packets.size(), expected) << k;
    }
    // A consumer moved to another PID is found there from the next packet.
    consumers[0]->Move(0x101);
    r.First();
    ReadAll(r);
    EXPECT_EQ(consumers[0]->packets.size(), 1u + 3u);
}

TEST(TSPacketViews, AdaptationFieldWithPcr) {
    TTSPacketBuffer raw;
    raw.Length = 188;
    std::memset(raw.Data, 0xFF, 188);
    const uint8_t head[] = {0x47, 0x01, 0x00, 0x30, 7, 0x10, 0x00, 0x00, 0x00, 0x01, 0x7E, 0x05};
    std::memcpy(raw.Data, head, sizeof head);
    TTSPacketHeader h;
    ParsePacketHeader(raw, h);
    EXPECT_TRUE(h.Synch());
    EXPECT_EQ(h.PID(), 0x100);
    EXPECT_EQ(h.AdaptationFieldControl(), afc_adaptation_field_followed_by_payload);
    EXPECT_EQ(h.Payload()->PayloadStartByte(), 12);
    EXPECT_EQ(h.Payload()->PayloadLength(), 176);
    EXPECT_TRUE(h.AdaptationField()->PCRFlag());
    EXPECT_EQ(h.AdaptationField()->PCR()->PCRBase(), 2);
    EXPECT_EQ(h.AdaptationField()->PCR()->PCRExtension(), 5);
    EXPECT_EQ(h.AdaptationField()->PCR()->PCR(), 605);
    EXPECT_EQ(h.AdaptationField()->PCR()->Reserved(), 63);
    EXPECT_EQ(h.AdaptationField()->OPCR()->PCR(), 0);

    // Without sync the rest is left as it was.
    raw.Data[0] = 0;
    raw.Data[2] = 0x55;
    ParsePacketHeader(raw, h);
    EXPECT_FALSE(h.Synch());
    EXPECT_EQ(h.PID(), 0x100);
}

TEST(TSPacketViews, OpcrAndSpliceCountdownFollowThePcr) {
    TsPacketOptions o;
    o.pid = 31;
    o.pcr = 123456789;
    o.opcr = 987654321;
    o.spliceCountdown = 0xF0;
    o.payload.assign(100, 0);
    TTSPacketBuffer raw;
    Bytes p = MakePacket(o);
    raw.Length = 188;
    std::memcpy(raw.Data, p.data(), 188);
    TTSPacketHeader h;
    ParsePacketHeader(raw, h);
    EXPECT_EQ(h.AdaptationField()->PCR()->PCR(), 123456789);
    EXPECT_EQ(h.AdaptationField()->OPCR()->PCR(), 987654321);
    EXPECT_EQ(h.AdaptationField()->SpliceCountdown(), 0xF0);
    EXPECT_EQ(h.PacketType(), "SIT");
    EXPECT_EQ(h.Payload()->PayloadLength(), 100);
}

// A flag whose field does not fit in the adaptation field announces
// nothing: the bytes after a short field are payload, never a PCR (or OPCR,
// or splice countdown), each field's room checked in its order.
TEST(TSPacketViews, AFlagWithoutRoomForItsFieldIsNoField) {
    struct Case {
        uint8_t Length, Flags;
        bool Pcr, Opcr, Splice;
    };
    const Case cases[] = {
        {1, 0x10, false, false, false}, {6, 0x10, false, false, false}, {7, 0x10, true, false, false},
        {7, 0x18, true, false, false},  {12, 0x18, true, false, false}, {13, 0x18, true, true, false},
        {1, 0x04, false, false, false}, {2, 0x04, false, false, true},  {13, 0x1C, true, true, false},
        {14, 0x1C, true, true, true},   {6, 0x08, false, false, false}, {7, 0x0C, false, true, false},
    };
    for (const Case& c : cases) {
        TTSPacketBuffer raw;
        raw.Length = 188;
        for (int i = 0; i < 188; ++i) raw.Data[i] = static_cast<uint8_t>(0x21 + i);
        raw.Data[0] = 0x47;
        raw.Data[1] = 0x01;
        raw.Data[2] = 0x00;
        raw.Data[3] = 0x30;
        raw.Data[4] = c.Length;
        raw.Data[5] = c.Flags;
        TTSPacketHeader h;
        ParsePacketHeader(raw, h);
        const TTSPacketAdaptationField& af = *h.AdaptationField();
        const std::string what = std::to_string(c.Length) + "/" + std::to_string(c.Flags);
        EXPECT_EQ(af.PCRFlag(), c.Pcr) << what;
        EXPECT_EQ(af.OPCRFlag(), c.Opcr) << what;
        EXPECT_EQ(af.SplicingPointFlag(), c.Splice) << what;
        if (!c.Pcr) EXPECT_EQ(af.PCR()->PCR(), 0) << what;
        if (!c.Opcr) EXPECT_EQ(af.OPCR()->PCR(), 0) << what;
        if (!c.Splice) EXPECT_EQ(af.SpliceCountdown(), 0) << what;
        EXPECT_EQ(h.Payload()->PayloadStartByte(), 5 + c.Length) << what;
    }
}

class CurrentPacketTest : public ::testing::Test {
protected:
    void Open(const TsStream& s) {
        f_.Write(s.Render());
        r_.SetFileName(f_.Name());
        r_.SetActive(true);
        ASSERT_TRUE(r_.Active());
    }
    TempFile f_;
    TTSPacketReader r_{nullptr};
};

TEST_F(CurrentPacketTest, PcrPatchKeepsReservedBitsAndNeedsTheFlag) {
    TsStream s(188);
    TsPacketOptions o;
    o.pid = 0x101;
    o.pcr = 1000;
    o.payload.assign(10, 0);
    s.Add(o);
    TsPacketOptions plain;
    plain.pid = 0x101;
    plain.payload.assign(184, 0);
    s.Add(plain);
    s.AddNull(2);
    Open(s);
    const int64_t big = (int64_t{1} << 33) * 300 - 1; // largest PCR
    ASSERT_TRUE(r_.SetPacketPCR(big));
    TTSPacketHeader h;
    ParsePacketHeader(r_.RawPacket(), h);
    EXPECT_EQ(h.AdaptationField()->PCR()->PCR(), (int64_t{1} << 33) * 300 - 300 + 299 - 0);
    EXPECT_EQ(h.AdaptationField()->PCR()->Reserved(), 63);
    EXPECT_EQ(r_.TSPacketHeader()->AdaptationField()->PCR()->PCR(), big);
    r_.Next();
    const TTSPacketBuffer before = r_.RawPacket();
    EXPECT_FALSE(r_.SetPacketPCR(5));
    EXPECT_EQ(0, std::memcmp(before.Data, r_.RawPacket().Data, 188));
}

// The PCR patch writes only where a PCR is: a flag in a field of one byte
// leaves the payload after it as it was.
TEST_F(CurrentPacketTest, APcrFlagWithoutRoomIsNotPatched) {
    TsStream s(188);
    Bytes p(188, 0);
    for (int i = 0; i < 188; ++i) p[static_cast<size_t>(i)] = static_cast<uint8_t>(0x30 + i);
    const uint8_t head[] = {0x47, 0x01, 0x01, 0x30, 1, 0x10};
    std::copy(std::begin(head), std::end(head), p.begin());
    s.AddRaw(p);
    s.AddNull(2);
    Open(s);
    const TTSPacketBuffer before = r_.RawPacket();
    EXPECT_FALSE(r_.TSPacketHeader()->AdaptationField()->PCRFlag());
    EXPECT_FALSE(r_.SetPacketPCR(27000000));
    EXPECT_EQ(0, std::memcmp(before.Data, r_.RawPacket().Data, 188));
}

TEST_F(CurrentPacketTest, PtsDtsEscrPatchesReadBack) {
    TsStream s(188);
    Bytes pes = PesPacket(0xE0, Bytes(100, 0x22), 1000, 900);
    // Add an ESCR after the DTS: flag and 6 bytes (markers set).
    pes[7] |= 0x20;
    pes[8] = static_cast<uint8_t>(pes[8] + 6);
    const uint8_t escr[6] = {0xC4, 0x00, 0x04, 0x00, 0x04, 0x01};
    pes.insert(pes.begin() + 19, escr, escr + 6);
    s.AddPes(0x101, pes);
    s.AddNull(2);
    Open(s);
    const int64_t maxTs = (int64_t{1} << 33) - 1;
    ASSERT_TRUE(r_.SetPacketPTS(maxTs));
    ASSERT_TRUE(r_.SetPacketDTS(12345));
    ASSERT_TRUE(r_.SetPacketESCR(27000000LL * 3600 + 299));
    int64_t e, d, p;
    ASSERT_TRUE(TTSPacketReader::PacketTimestamps(r_.RawPacket(), *r_.TSPacketHeader(), e, d, p));
    EXPECT_EQ(p, maxTs);
    EXPECT_EQ(d, 12345);
    EXPECT_EQ(e, 27000000LL * 3600 + 299);
    // Every value bit set, prefix nibble and markers kept.
    const int s0 = r_.TSPacketHeader()->Payload()->PayloadStartByte() + 9;
    EXPECT_EQ(r_.RawPacket().Data[s0], 0x3F);
    EXPECT_EQ(r_.RawPacket().Data[s0 + 1], 0xFF);
    EXPECT_EQ(r_.RawPacket().Data[s0 + 2], 0xFF);
    EXPECT_EQ(r_.RawPacket().Data[s0 + 4], 0xFF);
}

TEST_F(CurrentPacketTest, TimestampsNeedAPesHeader) {
    TsStream s(188);
    TsPacketOptions o;
    o.pid = 0x101;
    o.payloadStart = true;
    o.payload.assign(184, 0x55);
    s.Add(o);
    s.AddPes(0x102, PesPacket(0xC0, Bytes(50, 1)));
    s.AddNull(2);
    Open(s);
    int64_t e = 0, d = 0, p = 0;
    EXPECT_FALSE(TTSPacketReader::PacketTimestamps(r_.RawPacket(), *r_.TSPacketHeader(), e, d, p));
    EXPECT_EQ(p, -1);
    EXPECT_EQ(d, -1);
    EXPECT_EQ(e, -1);
    EXPECT_FALSE(r_.SetPacketPTS(1));
    r_.Next(); // PES without time stamps
    EXPECT_FALSE(TTSPacketReader::PacketTimestamps(r_.RawPacket(), *r_.TSPacketHeader(), e, d, p));
    EXPECT_FALSE(r_.SetPacketPTS(1));
    EXPECT_FALSE(r_.SetPacketESCR(1));
}

// An ESCR field that would run past the packet's end is not read from the
// bytes behind it.
TEST(TSPacketViews, AnEscrRunningPastThePacketIsNotRead) {
    TTSPacketBuffer raw;
    raw.Length = 188;
    std::memset(raw.Data, 0xFF, sizeof raw.Data);
    // Adaptation field up to byte 175, a PES header from byte 176 on.
    const uint8_t head[] = {0x47, 0x41, 0x01, 0x30, 171, 0x00};
    std::memcpy(raw.Data, head, sizeof head);
    const uint8_t pes[] = {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x20, 0x06, 0x44, 0x00, 0x04};
    std::memcpy(raw.Data + 176, pes, sizeof pes);
    TTSPacketHeader h;
    ParsePacketHeader(raw, h);
    ASSERT_EQ(h.Payload()->PayloadStartByte(), 176);
    int64_t e = 0, d = 0, p = 0;
    EXPECT_FALSE(PacketTimestamps(raw, h, e, d, p));
    EXPECT_EQ(e, -1);
    EXPECT_EQ(p, -1);
}

// Where nothing was read the checksum is 0; a partial last packet is
// checksummed and patched over the bytes read only.
TEST_F(CurrentPacketTest, ChecksumAndBytePatchCoverTheBytesRead) {
    EXPECT_EQ(r_.PacketCrc32(), 0u);
    TsStream s = CleanStream(188, 10);
    Bytes bytes = s.Render();
    bytes.resize(bytes.size() + 100, 0x00);
    f_.Write(bytes);
    r_.SetFileName(f_.Name());
    r_.SetActive(true);
    ASSERT_TRUE(r_.Active());
    r_.SetPacketIndex(r_.PacketCount() - 1);
    r_.Next();
    ASSERT_EQ(r_.RawPacket().Length, 100);
    EXPECT_EQ(r_.PacketCrc32(), Crc32Mpeg(bytes.data() + bytes.size() - 100, 0xFFFFFFFFu, 100));
    EXPECT_TRUE(r_.SetPacketByte(1, 99));
    EXPECT_FALSE(r_.SetPacketByte(1, 100));
    r_.SetActive(false);
    EXPECT_EQ(r_.PacketCrc32(), 0u);
}

TEST_F(CurrentPacketTest, CrcComparesPacketsAndByteChangesIt) {
    TsStream s(188);
    TsPacketOptions o;
    o.pid = 0x101;
    o.payload.assign(184, 9);
    s.Add(o, false);
    s.Add(o, false);
    s.AddNull(2);
    Open(s);
    const uint32_t first = r_.PacketCrc32();
    r_.Next();
    EXPECT_EQ(r_.PacketCrc32(), first);
    EXPECT_TRUE(r_.SetPacketByte(0x10, 187));
    EXPECT_NE(r_.PacketCrc32(), first);
    EXPECT_FALSE(r_.SetPacketByte(0, 188));
    EXPECT_FALSE(r_.SetPacketByte(0, -1));
}

TEST(TSPacketReaderWrite, WriteCurrentPacketPutsThePatchIntoTheFile) {
    for (int size : {188, 192}) {
        TsStream s = CleanStream(size, 40);
        TempFile f;
        f.Write(s.Render());
        TTSPacketReader r(nullptr);
        r.SetPacketBufferSize(0);
        r.SetReadOnly(false);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.Active());
        r.SetPacketIndex(7);
        ASSERT_TRUE(r.SetPacketByte(0xAB, 100));
        ASSERT_TRUE(r.WriteCurrentPacket());
        EXPECT_EQ(r.RawPacket().Data[100], 0xAB); // read again from the file
        r.SetActive(false);
        Bytes back = f.Read();
        const size_t at = 7 * static_cast<size_t>(size) + (size == 192 ? 4 : 0) + 100;
        EXPECT_EQ(back[at], 0xAB) << size;
        EXPECT_EQ(back.size(), s.Render().size());
    }
}

// With the read-ahead buffer in use, the packet read again after writing,
// and every later read of it while the file stays open, shows the patch.
TEST(TSPacketReaderWrite, ThePatchIsReadBackThroughTheReadAheadBuffer) {
    for (int size : {188, 192}) {
        TsStream s = CleanStream(size, 400);
        TempFile f;
        f.Write(s.Render());
        TTSPacketReader r(nullptr);
        r.SetReadOnly(false);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.Active());
        for (int i = 0; i < 7; ++i) r.Next();
        ASSERT_EQ(r.PacketIndex(), 7);
        ASSERT_TRUE(r.SetPacketByte(0xAB, 100));
        ASSERT_TRUE(r.WriteCurrentPacket());
        EXPECT_EQ(r.RawPacket().Data[100], 0xAB) << size;
        r.First();
        for (int i = 0; i < 7; ++i) r.Next();
        EXPECT_EQ(r.RawPacket().Data[100], 0xAB) << size;
        r.SetPacketIndex(300);
        r.SetPacketIndex(7);
        EXPECT_EQ(r.RawPacket().Data[100], 0xAB) << size;
    }
}

// Where no packet was read (stray bytes after the last whole packet) there
// is nothing to write back: the file stays as it is and the answer says so.
TEST(TSPacketReaderWrite, NothingReadIsNothingWritten) {
    for (int size : {188, 192}) {
        TsStream s = CleanStream(size, 40);
        Bytes bytes = s.Render();
        bytes.resize(bytes.size() + 2, 0x00);
        TempFile f;
        f.Write(bytes);
        TTSPacketReader r(nullptr);
        r.SetReadOnly(false);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.Active());
        r.SetPacketIndex(r.PacketCount() - 1);
        r.Next();
        ASSERT_EQ(r.RawPacket().Length, size == 192 ? 0 : 2) << size;
        if (size == 188) {
            // The partial packet's own bytes may go back as they are.
            EXPECT_TRUE(r.WriteCurrentPacket()) << size;
        } else {
            EXPECT_FALSE(r.WriteCurrentPacket()) << size;
        }
        r.SetActive(false);
        EXPECT_EQ(f.Read(), bytes) << size;
    }
}

TEST(TSPacketReaderWrite, ReadOnlyReaderRefusesToWrite) {
    TsStream s = CleanStream();
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    r.SetPacketByte(0, 10);
    EXPECT_FALSE(r.WriteCurrentPacket());
    EXPECT_EQ(f.Read(), s.Render());
}

// A medium that fails, or a file cut short under the reader, is no end of
// the recording: the reading stops with the file's name and the reason, for
// a failure inside a packet, at a packet's start and in 192-byte files.
TEST(TSPacketReaderReadFailure, ShortReadsInsideTheFileAreFailures) {
    for (int size : {188, 192}) {
        for (int bufferSize : {0, 4096, TTSPacketReader::DEFAULT_BUFFER_SIZE}) {
            for (const std::string& reason : {std::string("The device is not ready."), std::string()}) {
                TsStream s = CleanStream(size, 4000);
                TempFile f(size == 192 ? ".m2ts" : ".ts");
                f.Write(s.Render());
                const int64_t failAt = static_cast<int64_t>(s.PacketCount()) * size * 3 / 4 + 77;
                TTSPacketReader r(nullptr);
                r.SetPacketBufferSize(bufferSize);
                FailInputAt(r, failAt, reason);
                int packets = 0;
                r.OnNewPacket = [&](TObject*) { ++packets; };
                r.SetFileName(f.Name());
                r.SetActive(true);
                ASSERT_TRUE(r.Active());
                ReadAll(r);
                const std::string what = std::to_string(size) + "/" + std::to_string(bufferSize) + "/" + reason;
                EXPECT_TRUE(r.Eof()) << what;
                EXPECT_LT(r.PacketIndex(), r.PacketCount() - 1) << what;
                EXPECT_EQ(r.PacketIndex(), (failAt - (failAt % size == 0 ? 0 : 0)) / size) << what;
                const std::string& text = r.ReadErrorText();
                EXPECT_NE(text.find(f.Name()), std::string::npos) << text;
                EXPECT_NE(text.find(reason.empty() ? "shorter than when it was opened" : reason), std::string::npos)
                    << text;
                EXPECT_FALSE(r.TSPacketHeader()->Valid()) << what;
                // Opening anew starts without the old failure.
                r.CreateInputStream = nullptr;
                r.SetActive(false);
                r.SetActive(true);
                EXPECT_TRUE(r.ReadErrorText().empty());
                ReadAll(r);
                EXPECT_TRUE(r.ReadErrorText().empty());
                EXPECT_EQ(r.PacketIndex(), r.PacketCount() - 1);
            }
        }
    }
}

// A partial last packet is the end of the file as it was opened, not a
// failure; neither is an index past the end.
TEST(TSPacketReaderReadFailure, APartialLastPacketIsNoFailure) {
    TsStream s = CleanStream(188, 30);
    Bytes bytes = s.Render();
    bytes.resize(bytes.size() + 100, 0x47);
    TempFile f;
    f.Write(bytes);
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    r.SetPacketIndex(r.PacketCount() + 5);
    EXPECT_TRUE(r.Eof());
    EXPECT_TRUE(r.ReadErrorText().empty());
}

// A few stray bytes after the last whole 192-byte packet are a partial
// packet too, even when they do not hold its whole prefix.
TEST(TSPacketReaderReadFailure, AFewStrayBytesAfterTheLast192BytePacketAreNoFailure) {
    for (size_t extra : {1u, 3u, 4u, 100u}) {
        TsStream s = CleanStream(192, 30);
        Bytes bytes = s.Render();
        bytes.resize(bytes.size() + extra, 0x00);
        TempFile f(".m2ts");
        f.Write(bytes);
        TTSPacketReader r(nullptr);
        r.SetFileName(f.Name());
        r.SetActive(true);
        ASSERT_TRUE(r.Active());
        ASSERT_TRUE(r.M2TSMode());
        ReadAll(r);
        EXPECT_TRUE(r.Eof()) << extra;
        EXPECT_TRUE(r.ReadErrorText().empty()) << extra << ": " << r.ReadErrorText();
    }
}

// The read-ahead size and the open mode take effect at the next opening:
// they are refused while the reader is open, and a size outside
// 0..100,000,000 is refused always.
TEST(TSPacketReaderSettings, BufferSizeAndOpenModeChangeOnlyWhileClosed) {
    TTSPacketReader r(nullptr);
    EXPECT_EQ(r.PacketBufferSize(), TTSPacketReader::DEFAULT_BUFFER_SIZE);
    r.SetPacketBufferSize(-1);
    EXPECT_EQ(r.PacketBufferSize(), TTSPacketReader::DEFAULT_BUFFER_SIZE);
    r.SetPacketBufferSize(100000001);
    EXPECT_EQ(r.PacketBufferSize(), TTSPacketReader::DEFAULT_BUFFER_SIZE);
    r.SetPacketBufferSize(100000000);
    EXPECT_EQ(r.PacketBufferSize(), 100000000);
    r.SetPacketBufferSize(4096);
    EXPECT_TRUE(r.ReadOnly());

    TsStream s = CleanStream();
    TempFile f;
    f.Write(s.Render());
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    r.SetPacketBufferSize(0);
    EXPECT_EQ(r.PacketBufferSize(), 4096);
    r.SetReadOnly(false);
    EXPECT_TRUE(r.ReadOnly());
    ASSERT_TRUE(r.SetPacketByte(0x12, 50));
    EXPECT_FALSE(r.WriteCurrentPacket());
    r.SetActive(false);
    EXPECT_EQ(f.Read(), s.Render());
    r.SetReadOnly(false);
    EXPECT_FALSE(r.ReadOnly());
}

// Each valid packet that starts a payload unit is announced with its number
// and PID, after the new-packet event; an invalid one is not.
TEST(TSPacketReaderEvents, PayloadStartsAreAnnouncedWithNumberAndPid) {
    TsStream s(188);
    s.AddPat({{1, 0x100}});
    for (int i = 0; i < 6; ++i) {
        TsPacketOptions o;
        o.pid = 0x101;
        o.cc = i;
        o.payloadStart = i % 3 == 0;
        o.payload.assign(184, 0x11);
        const size_t at = s.Add(o);
        if (i == 3) s.SetTransportError(at);
    }
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    std::vector<std::pair<int64_t, int>> starts;
    std::vector<int64_t> order;
    r.OnNewPacket = [&](TObject*) { order.push_back(-1); };
    r.OnPayloadStartEvent = [&](TObject*, int64_t no, int pid) {
        starts.push_back({no, pid});
        order.push_back(no);
    };
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    EXPECT_EQ(starts, (std::vector<std::pair<int64_t, int>>{{0, 0}, {1, 0x101}}));
    ASSERT_GE(order.size(), 4u);
    EXPECT_EQ(order[0], -1);
    EXPECT_EQ(order[1], 0);
}

// Without AutoResync a packet without sync stays where the grid says: the
// packets behind stray bytes are read shifted and reported invalid.
TEST(TSPacketReaderResync, WithoutAutoResyncTheGridStays) {
    TsStream s = CleanStream(188, 30);
    s.InsertGarbageBefore(12, Garbage(33, 3));
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetAutoResync(false);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    EXPECT_TRUE(rec.resync.empty());
    EXPECT_EQ(r.ResyncOffset(), 0);
    EXPECT_GT(rec.invalid.size(), 10u);
    EXPECT_EQ(rec.invalidNo.front(), 12);
}

// The start of the stream is where two packets in a row are sound: a sound
// packet followed by a damaged one is taken for stray bytes.
TEST(TSPacketReaderOpen, TheStartNeedsTwoSoundPacketsInARow) {
    TsStream s = CleanStream(188, 10);
    s.SetTransportError(1);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    EXPECT_EQ(rec.noStart, (std::vector<int>{376}));
    EXPECT_EQ(r.GarbageOffset(), 376);
    EXPECT_EQ(r.PacketCount(), static_cast<int64_t>(s.PacketCount()) - 2);
}

// The packet size is the distance seen most often between sync bytes; when
// 188 and 192 are seen equally often, the smaller one is taken.
TEST(TSPacketReaderM2TS, ATieBetweenTheSizesIsNo192ByteFile) {
    // 99 distances of each size.
    Bytes bytes(99 * (188 + 192) + 1, 0x00);
    size_t at = 0;
    for (int k = 0; at < bytes.size(); ++k) {
        bytes[at] = 0x47;
        at += k % 2 == 0 ? 188 : 192;
    }
    TempFile f;
    f.Write(bytes);
    TTSPacketReader r(nullptr);
    Recorder rec;
    rec.Attach(r);
    r.SetFileName(f.Name());
    r.SetActive(true);
    EXPECT_EQ(rec.m2tsAsked, 0);
    EXPECT_FALSE(r.M2TSMode());
}

// Reading packet 0 again starts the per-PID statistics anew.
TEST(TSPacketReaderContinuity, ReadingPacketZeroStartsTheStatisticsAnew) {
    TsStream s = CleanStream(188, 10);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    ReadAll(r);
    ASSERT_EQ(r.PidTableCount(), 3);
    r.First();
    ASSERT_EQ(r.PidTableCount(), 1);
    EXPECT_EQ(r.PidRecord(0).PID, 0);
    EXPECT_EQ(r.PidRecord(0).PacketCount, 1);
    EXPECT_EQ(r.PidRecord(0).FirstIndex, 0);
}

// The payload view keeps a copy of the payload of each valid packet (count
// and bytes); an invalid packet leaves the last copy as it was.
TEST(TSPacketReaderPayload, TheViewCopiesThePayloadOfValidPackets) {
    TsStream s(188);
    TsPacketOptions o;
    o.pid = 0x101;
    o.payload.assign(184, 0x5A);
    s.Add(o);
    TsPacketOptions p;
    p.pid = 0x101;
    p.pcr = 27000000;
    p.payload.assign(176, 0xA5);
    s.Add(p);
    TsPacketOptions broken;
    broken.pid = 0x101;
    broken.payload.assign(184, 0x33);
    Bytes b = MakePacket(broken);
    b[1] |= 0x80; // transport_error_indicator
    s.AddRaw(b);
    TempFile f;
    f.Write(s.Render());
    TTSPacketReader r(nullptr);
    r.SetFileName(f.Name());
    r.SetActive(true);
    const TTSPacketBuffer& copy = r.TSPacketHeader()->Payload()->PayloadCopy();
    ASSERT_EQ(copy.Length, 184);
    EXPECT_EQ(copy.Data[0], 0x5A);
    EXPECT_EQ(copy.Data[183], 0x5A);
    r.Next();
    ASSERT_EQ(copy.Length, r.TSPacketHeader()->Payload()->PayloadLength());
    EXPECT_EQ(Bytes(copy.Data, copy.Data + copy.Length), Bytes(r.RawPacket().Data + r.TSPacketHeader()->Payload()->PayloadStartByte(), r.RawPacket().Data + 188));
    EXPECT_EQ(copy.Data[0], 0xA5);
    const int kept = copy.Length;
    r.Next();
    EXPECT_FALSE(r.TSPacketHeader()->Valid());
    EXPECT_EQ(copy.Length, kept);
    EXPECT_EQ(copy.Data[0], 0xA5);
}

// A consumer switched off (or moved away) by the handler of an earlier
// consumer of the same packet does not get that packet; one switched on for
// that PID by it does. Both for consumers the reader asks and for those
// with bound fields.
TEST(TSPacketReaderDispatch, EachConsumerIsAskedWhenItsTurnComes) {
    TsStream s = CleanStream(188, 3);
    TempFile f;
    f.Write(s.Render());
    for (bool bound : {false, true}) {
        TTSPacketReader r(nullptr);
        std::unique_ptr<FakeConsumer> first, second, third, fourth;
        if (bound) {
            first = std::make_unique<BoundConsumer>(TTSPacketConsumer::ckPes, 0x101);
            second = std::make_unique<BoundConsumer>(TTSPacketConsumer::ckPes, 0x101);
            third = std::make_unique<BoundConsumer>(TTSPacketConsumer::ckPes, 0x101);
            fourth = std::make_unique<BoundConsumer>(TTSPacketConsumer::ckPes, 0x101);
        } else {
            first = std::make_unique<FakeConsumer>(TTSPacketConsumer::ckPes, 0x101);
            second = std::make_unique<FakeConsumer>(TTSPacketConsumer::ckPes, 0x101);
            third = std::make_unique<FakeConsumer>(TTSPacketConsumer::ckPes, 0x101);
            fourth = std::make_unique<FakeConsumer>(TTSPacketConsumer::ckPes, 0x101);
        }
        fourth->active = false;
        for (auto* c : {first.get(), second.get(), third.get(), fourth.get()}) r.AddReader(c);
        r.SetFileName(f.Name());
        r.SetActive(true);
        auto set = [&](FakeConsumer* c, bool on) {
            if (auto* b = dynamic_cast<BoundConsumer*>(c)) b->Switch(on);
            else c->active = on;
        };
        r.SetPacketIndex(2);
        EXPECT_EQ(second->packets, (std::vector<int64_t>{2})) << bound;
        first->packets.clear();
        second->packets.clear();
        third->packets.clear();
        // The first consumer's handler switches the second and third off
        // and the fourth on, for the packet being delivered.
        HandlerConsumerHook = [&](FakeConsumer* c) {
            if (c == first.get()) {
                set(second.get(), false);
                set(third.get(), false);
                set(fourth.get(), true);
            }
        };
        r.SetPacketIndex(3);
        HandlerConsumerHook = nullptr;
        EXPECT_EQ(first->packets, (std::vector<int64_t>{3})) << bound;
        EXPECT_TRUE(second->packets.empty()) << bound;
        EXPECT_TRUE(third->packets.empty()) << bound;
        EXPECT_EQ(fourth->packets, (std::vector<int64_t>{3})) << bound;
    }
}

namespace {

// A recording over 2 GB in which every second packet is followed by a run
// of stray bytes: two packets, then kGap zeros, over and over. The file on
// disk is sparse (all zeros, a few blocks); the bytes are made as they are
// read, so the test writes nothing large.
constexpr int64_t kGap = 1600;
constexpr int64_t kPeriod = 2 * TS_PACKET_SIZE + kGap;

class StrayBytesEverySecondPacket : public TBufFileStream {
public:
    StrayBytesEverySecondPacket(const std::string& name, unsigned mode, int bufferSize)
        : TBufFileStream(name, mode, bufferSize), pattern_(static_cast<size_t>(8 * kPeriod), 0) {
        // Eight periods carry the 16 continuity counters of the PID.
        for (int k = 0; k < 8; ++k)
            for (int p = 0; p < 2; ++p) {
                uint8_t* pkt = pattern_.data() + k * kPeriod + p * TS_PACKET_SIZE;
                std::memset(pkt, 0xFF, TS_PACKET_SIZE);
                pkt[0] = 0x47;
                pkt[1] = 0x01;
                pkt[2] = 0x01;
                pkt[3] = static_cast<uint8_t>(0x10 | ((2 * k + p) & 15));
            }
    }
    ~StrayBytesEverySecondPacket() override { FinishReading(); }

protected:
    int64_t ReadFromFile(int64_t position, void* buffer, int64_t count, std::string* error) const override {
        const int64_t size = FileSize();
        if (position >= size) return 0;
        count = std::min(count, size - position);
        auto* out = static_cast<uint8_t*>(buffer);
        const int64_t cycle = static_cast<int64_t>(pattern_.size());
        for (int64_t done = 0; done < count;) {
            const int64_t at = (position + done) % cycle;
            const int64_t n = std::min(count - done, cycle - at);
            std::memcpy(out + done, pattern_.data() + at, static_cast<size_t>(n));
            done += n;
        }
        return count;
    }

private:
    std::vector<uint8_t> pattern_;
};

} // namespace

// The stray bytes skipped by resynchronisation add up past 2 GB in a large
// damaged recording: every packet behind them must still be read where it
// lies and reported with the true shift, not end the reading early.
TEST(TSPacketReaderResync, ShiftsAddingUpPastTwoGigabytesKeepEveryPacketInPlace) {
    // Enough periods that the stray bytes skipped pass 2^31.
    const int64_t periods = (int64_t{1} << 31) / kGap + 40000;
    const int64_t fileSize = periods * kPeriod - kGap;
    TempFile f;
    f.Write({});
    std::filesystem::resize_file(f.Name(), static_cast<std::uintmax_t>(fileSize));
    TTSPacketReader r(nullptr);
    r.CreateInputStream = [](const std::string& name, unsigned mode, int bufferSize) {
        return std::unique_ptr<TBufFileStream>(std::make_unique<StrayBytesEverySecondPacket>(name, mode, bufferSize));
    };
    int64_t packets = 0, misplaced = 0, resyncs = 0, wrongShifts = 0, discontinuities = 0;
    int64_t lastShift = 0;
    r.OnNewPacket = [&](TObject*) {
        const int64_t i = r.PacketIndex();
        const int64_t expected = (i / 2) * kPeriod + (i % 2) * TS_PACKET_SIZE;
        if (r.PacketPosition() != expected) ++misplaced;
        ++packets;
    };
    r.OnPacketResynchEvent = [&](TObject*, int64_t no, int64_t offset) {
        ++resyncs;
        if (offset != (no / 2) * kGap) ++wrongShifts;
        lastShift = offset;
    };
    r.OnDisconinuity = [&](TObject*, int64_t, int, int, int) { ++discontinuities; };
    r.SetFileName(f.Name());
    r.SetActive(true);
    ASSERT_TRUE(r.Active());
    ASSERT_EQ(r.FileSize(), fileSize);
    ReadAll(r);
    EXPECT_EQ(packets, 2 * periods);
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(resyncs, periods - 1);
    EXPECT_EQ(wrongShifts, 0);
    EXPECT_EQ(discontinuities, 0);
    EXPECT_EQ(lastShift, (periods - 1) * kGap);
    const int64_t shift = r.ResyncOffset();
    EXPECT_EQ(shift, (periods - 1) * kGap);
    EXPECT_GT(shift, int64_t{INT32_MAX});
    EXPECT_EQ(r.PacketIndex(), 2 * periods - 1);
    EXPECT_TRUE(r.ReadErrorText().empty()) << r.ReadErrorText();
}
